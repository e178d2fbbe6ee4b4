#pragma once
// The plain interface between the multi-buffer SHA-crypt dispatcher (ShaMulti.cpp) and the units
// compiled for one instruction set each. Only raw pointers and integers cross it.

#include <cstddef>
#include <cstdint>

namespace quorvane {

// One group of users with the same number of rounds, at most the unit's lane count of them (a
// short group is filled up inside the unit). The rounds read only the two byte sequences the
// preparation made from the password and the salt (P, as long as the password, and S, as long
// as the salt) and the digest: Digest[u] holds the digest that enters round 0 (32 bytes for
// SHA-256, 64 for SHA-512) and receives the digest after the last round.
struct TShaLaneJob {
    size_t Count;
    uint32_t Rounds;
    const uint8_t* const* P;
    const uint32_t* PLength;
    const uint8_t* const* S;
    const uint32_t* SLength;
    uint8_t* const* Digest;
};

// What one instruction-set unit offers. Each Rounds function returns false only when its work
// area could not be allocated (the digests are then unchanged).
struct TShaUnit {
    bool (*Sha256Rounds)(const TShaLaneJob& job);
    size_t Sha256Lanes;
    bool (*Sha512Rounds)(const TShaLaneJob& job);
    size_t Sha512Lanes;
};

TShaUnit ShaUnitScalar();
TShaUnit ShaUnitGeneric();
#if defined(QUORVANE_LANES_X86)
TShaUnit ShaUnitAvx2();
TShaUnit ShaUnitAvx512();
#endif

} // namespace quorvane
