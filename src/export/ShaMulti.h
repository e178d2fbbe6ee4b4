#pragma once
// Multi-buffer SHA-crypt: many SHA-256-crypt ("$5$") and SHA-512-crypt ("$6$") hashes computed
// side by side, one user per lane of the processor's vector registers. Every result is byte for
// byte what the system's crypt (libxcrypt's crypt_rn) gives for the same password and setting,
// and a setting the system's crypt refuses is refused here too.

#include "export/LanePaths.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quorvane {

// The kernel's path choice: which paths it has, which TLanePath::Auto stands for.
TLanePaths& ShaPaths();

enum class TShaCryptKind : uint8_t { Sha256, Sha512 };

// Users hashed side by side in one group by the path: AVX2 8 SHA-256 or 4 SHA-512 users,
// AVX-512 16 or 8; the scalar path one at a time.
size_t ShaPathLanes(TShaCryptKind kind, TLanePath path);

// The system's crypt refuses passwords longer than this.
inline constexpr size_t KShaCryptMaxPassword = 511;
// Salt characters used; the rest of a longer salt is ignored, as crypt ignores it.
inline constexpr size_t KShaCryptMaxSalt = 16;

// A SHA-crypt setting as the system's crypt reads it.
struct TShaSetting {
    TShaCryptKind Kind = TShaCryptKind::Sha512;
    uint32_t Rounds = 5000;
    bool RoundsGiven = false; // "rounds=" was there, so the hash repeats it
    std::string_view Salt;    // at most KShaCryptMaxSalt characters, a view into the setting
};

// Reads a "$5$" or "$6$" setting (or a whole hash of that form, whose hash part is ignored) the
// way libxcrypt does: read as a C string (up to a zero byte); no byte below "!" or above "~" and
// none of "!*:;\" anywhere; after the prefix an optional "rounds=N$" with N from 1000 to
// 999,999,999 and no leading zero; the salt up to the next "$" or the end, its first 16
// characters used. False for anything crypt refuses, and for any other prefix.
bool ParseShaSetting(std::string_view setting, TShaSetting& out);

// Whether crypt hashes the password at all: no zero byte and at most 511 bytes.
bool ShaPasswordAccepted(std::string_view password);

// Computes the hash of passwords[k] under settings[k] into results[k] for every k, on the
// calling thread. The batch may mix both hashes, rounds, salts and any password lengths; it is
// sorted internally so that the lanes of a group share the hash and rounds and mostly the
// lengths. Throws std::invalid_argument when the three spans differ in size, a setting is
// refused by ParseShaSetting or a password by ShaPasswordAccepted (callers check first to give
// their own message), or the path is not available; std::bad_alloc when memory runs out.
void ShaCryptMulti(std::span<const std::string_view> passwords,
                   std::span<const std::string> settings, std::span<std::string> results,
                   TLanePath path = TLanePath::Auto);

// The same on up to `threads` workers (0: one per processor), the calling thread being one of
// them. Whole lane groups of the sorted batch are dealt out to the workers in turn. The results
// do not depend on the number of workers.
void ShaCryptMultiParallel(std::span<const std::string_view> passwords,
                           std::span<const std::string> settings, std::span<std::string> results,
                           unsigned threads = 0, TLanePath path = TLanePath::Auto);

} // namespace quorvane
