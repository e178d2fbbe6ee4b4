#pragma once
// The MD5 message digest (RFC 1321).

#include <array>
#include <cstddef>
#include <cstdint>

namespace quorvane {

// The running state of one digest: chaining words A, B, C, D, the message length in bits
// (low word first) and the partial block not yet transformed.
struct TMD5Context {
    uint32_t State[4];
    uint32_t Count[2];
    uint8_t Buffer[64];
};

using TMD5Digest = std::array<uint8_t, 16>;

// The step constants: the integer part of 2^32 * |sin(i)| for i = 1 to 64.
extern const uint32_t KMD5Step[64];

// Sets the context to its initial values.
void MD5Init(TMD5Context& context);
// Feeds length bytes (0 allowed) into the digest.
void MD5Update(TMD5Context& context, const void* data, size_t length);
// Pads, appends the length and returns the digest (A, B, C, D, each little-endian).
// Afterwards every byte of the context is zero.
TMD5Digest MD5Final(TMD5Context& context);

// The digest of one buffer in a single call.
TMD5Digest MD5Digest(const void* data, size_t length);

// One application of the compression function to a 64-byte block. Exposed for callers that lay
// out their own padded messages (the "$apr1$" loop).
void MD5Transform(uint32_t state[4], const uint8_t block[64]);

} // namespace quorvane
