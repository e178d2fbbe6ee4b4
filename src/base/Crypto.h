#pragma once
// SHA-1 and SHA-2 digests, HMAC, PBKDF2 and base64 as OpenSSL's libcrypto computes them (its
// assembly kernels use the processor's SHA instructions where there are any). libcrypto, like
// libsodium and the system's crypt library (CryptoPlugin.h), is bound by a plugin of its own,
// quorvane-crypto.so, loaded the first time any of these is called: most commands hash nothing,
// and loading and binding those libraries at start cost more than the rest of such a command.
// Each call raises EQuorvaneError (texts::PluginNotLoaded) when the plugin cannot be loaded.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::crypto {

enum class TDigestKind { Sha1, Sha256, Sha512 };

constexpr std::size_t KMaxDigestBytes = 64;

constexpr std::size_t DigestBytes(TDigestKind kind) {
    return kind == TDigestKind::Sha1 ? 20 : kind == TDigestKind::Sha256 ? 32 : 64;
}

// A digest, or an HMAC under a key, of bytes handed over in pieces. Finish writes the value and
// starts again (under the same key), so one object serves many messages. Not shared between
// threads; its state is cleared when it goes.
class TDigest {
public:
    explicit TDigest(TDigestKind kind);
    TDigest(TDigestKind kind, std::string_view hmacKey);
    ~TDigest();
    TDigest(const TDigest&) = delete;
    TDigest& operator=(const TDigest&) = delete;

    TDigestKind Kind() const { return FKind; }
    // Forgets what was added since the last Finish.
    void Restart();
    void Add(const void* bytes, std::size_t size);
    void Add(std::string_view bytes) { Add(bytes.data(), bytes.size()); }
    // Writes DigestBytes(Kind()) bytes to `out`.
    void Finish(unsigned char* out);

private:
    TDigestKind FKind;
    void* FContext;
};

// The digest of `size` bytes in one call; writes DigestBytes(kind) bytes to `out`.
void Digest(TDigestKind kind, const void* bytes, std::size_t size, unsigned char* out);

// PBKDF2 (RFC 8018) with HMAC over `kind`: `outSize` bytes of key to `out`. False when libcrypto
// refuses the parameters (no iterations, sizes beyond its range).
bool Pbkdf2Hmac(TDigestKind kind, std::string_view password, const unsigned char* salt,
                std::size_t saltSize, int iterations, unsigned char* out, std::size_t outSize);

// Lower-case hexadecimal of `size` bytes, two digits a byte.
std::string LowerHex(const void* bytes, std::size_t size);

// Standard base64 (RFC 4648) with its padding and no line breaks.
std::string Base64Encode(const void* bytes, std::size_t size);
// The bytes of base64 text as OpenSSL's decoder reads it (blanks before and line ends after it
// ignored), without the zero bytes it makes of the padding; nothing when it refuses the text (a
// length not a multiple of four, a character outside the alphabet) or the text ends in more than
// two "=".
std::optional<std::string> Base64Decode(std::string_view text);

// Whether `size` bytes at `a` and `b` are equal, in a time that depends on `size` only.
bool ConstantTimeEqual(const void* a, const void* b, std::size_t size);

} // namespace quorvane::crypto
