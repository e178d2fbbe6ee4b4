#pragma once
// bcrypt ("$2y$"), SHA-256-crypt ("$5$") and SHA-512-crypt ("$6$") through the system's
// libxcrypt, and for batches of SHA-crypt the multi-buffer code that gives the same strings.
// Checking a password against a hash: VerifyStoredHash (StoredHash.h).

#include "base/Message.h"
#include "base/Random.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

enum class TCryptKind { Bcrypt, Sha256, Sha512 };

// "$2y$", "$5$" or "$6$".
std::string_view CryptPrefix(TCryptKind kind);

// Raises "The bcrypt cost must be from 4 to 17" or "The SHA-crypt rounds must be from 1000 to
// 999999999" when workFactor is out of bounds for the kind.
void CheckWorkFactor(TCryptKind kind, int workFactor);

// The setting of a new hash: prefix, work factor (the bcrypt cost, or the SHA-crypt rounds,
// written only when not 5,000, as crypt writes it) and a salt made by libxcrypt from 16 bytes
// of random. Raises EQuorvaneError when the work factor is out of its bounds (bcrypt 4 to 17,
// rounds 1,000 to 999,999,999).
std::string CryptSetting(TCryptKind kind, int workFactor, IRandomSource& random = SecureRandom());

// The setting with a salt the caller chose (the characters of the crypt alphabet: exactly 22 for
// bcrypt, 1 to 16 for SHA-crypt). Raises EQuorvaneError when libxcrypt refuses it.
std::string CryptSettingWithSalt(TCryptKind kind, int workFactor, std::string_view salt);

// crypt_rn of password under setting (a setting or a whole hash): the whole hash string.
// Raises EQuorvaneError when the password holds a zero byte (crypt reads a C string) or when
// libxcrypt refuses the setting.
std::string CryptHash(std::string_view password, std::string_view setting);

// Hashes passwords[i] under settings[i] into out[i] on up to `threads` workers (0: one per
// processor): SHA-crypt with the multi-buffer code (ShaMulti.h), byte for byte what crypt_rn
// gives, bcrypt with libxcrypt, each worker with its own work area. The result does not depend
// on the number of workers. Raises as CryptHash: for SHA-crypt the first user in batch order
// whose password or setting crypt would refuse, before anything is hashed; for bcrypt the first
// failure (the other workers stop early).
void CryptHashBatch(const std::vector<std::string_view>& passwords,
                    const std::vector<std::string>& settings, std::vector<std::string>& out,
                    unsigned threads = 0);

// Seconds one hash of this kind and work factor takes on one core of this machine, measured on
// the fly: a few hashes at a cheap work factor (once per kind and process), scaled by the work
// (bcrypt doubles with each cost step, SHA-crypt grows with the rounds). Takes a few
// milliseconds, whatever the work factor.
double CryptSecondsPerHash(TCryptKind kind, int workFactor);

// What the export dialog tells about a slow form, from the seconds of one hash:
// "about 40 s for 12000 users; later exports reuse unchanged hashes" (the users shared among
// `workers` processors; the count is the locale's on the desktop) and "each page request costs
// the server about 2 ms".
TMessage ExportEstimateMessage(double secondsPerHash, size_t users, unsigned workers);
TMessage ServerCostMessage(double secondsPerHash);
// A duration in words: "less than 1 ms", "about 2 ms", "about 40 s", "about 3 min", "about 2 h".
TMessage DurationMessage(double seconds);

} // namespace quorvane
