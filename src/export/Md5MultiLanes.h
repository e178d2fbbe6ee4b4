#pragma once
// The plain interface between the multi-buffer dispatcher (Md5Multi.cpp) and the units compiled
// for one instruction set each. Only raw pointers and integers cross it.

#include <cstddef>
#include <cstdint>

namespace quorvane {

// The users of one call, already sorted by password length. Digest[u] holds the digest that
// enters round 0 of the "$apr1$" loop and receives the digest after round 999.
struct TApr1LaneJob {
    size_t Count;
    const uint8_t* const* Password;
    const uint32_t* PasswordLength;
    const uint8_t* const* Salt;
    const uint32_t* SaltLength;
    uint8_t* const* Digest;
};

// Each runs the 1000 rounds for every user of the job and returns false only when the work area
// could not be allocated (the digests are then unchanged). The Lanes functions give the number
// of users hashed side by side.
bool Apr1RoundsScalar(const TApr1LaneJob& job);
size_t Apr1LanesScalar();
bool Apr1RoundsGeneric(const TApr1LaneJob& job);
size_t Apr1LanesGeneric();
#if defined(QUORVANE_LANES_X86)
bool Apr1RoundsAvx2(const TApr1LaneJob& job);
size_t Apr1LanesAvx2();
bool Apr1RoundsAvx512(const TApr1LaneJob& job);
size_t Apr1LanesAvx512();
#endif

} // namespace quorvane
