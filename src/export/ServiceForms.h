#pragma once
// The password forms that programs other than web servers read: the Digest line's value
// (Apache's AuthDigestProvider file, lighttpd's htdigest), Mosquitto's "$7$" PBKDF2-SHA512 and
// argon2id (Authelia, Dovecot). Each is a row of the scheme table (HashSchemes.h); these are its
// functions.

#include "base/Random.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// The value of a Digest line after "login:": "realm:" and the lower-case hexadecimal MD5 of
// "login:realm:password", as htdigest writes it.
std::string DigestValue(std::string_view login, std::string_view realm, std::string_view password);
// Whether password matches a Digest value ("realm:md5hex") of login. False for a malformed value.
bool VerifyDigestValue(std::string_view password, std::string_view value, std::string_view login);

// Mosquitto's PBKDF2-SHA512 form as mosquitto_passwd writes it: "$7$", the iterations, "$", the
// base64 of a 12-byte salt, "$", the base64 of the 64-byte derived key.
inline constexpr std::string_view KPbkdf2Prefix = "$7$";
inline constexpr int KPbkdf2IterationsMin = 1;
inline constexpr int KPbkdf2IterationsMax = 10000000;
inline constexpr int KPbkdf2IterationsDefault = 101; // mosquitto_passwd's
// "$7$ITERATIONS$SALT" with 12 bytes of random.
std::string Pbkdf2Setting(IRandomSource& random, int iterations);
// The whole value for password under a setting (or a whole value, whose setting part is used).
// Raises EQuorvaneError for a setting that is not of this form.
std::string Pbkdf2Hash(std::string_view password, std::string_view setting);
// Whether password matches a "$7$" value; false for a malformed one.
bool VerifyPbkdf2(std::string_view password, std::string_view value);

// argon2id through libsodium: "$argon2id$v=19$m=65536,t=PASSES,p=1$SALT$KEY" with a 16-byte salt
// and a 32-byte key, base64 without padding, as libsodium's crypto_pwhash_str writes it; 64 MiB
// of memory, the passes the parameter.
inline constexpr std::string_view KArgon2idPrefix = "$argon2id$";
inline constexpr int KArgon2PassesMin = 1;
inline constexpr int KArgon2PassesMax = 16;
inline constexpr int KArgon2PassesDefault = 3; // Authelia's
inline constexpr int KArgon2MemoryKiB = 65536;
std::string Argon2idSetting(IRandomSource& random, int passes);
// Raises EQuorvaneError for a setting that is not of this form or that libsodium refuses
// (out of memory, too few passes).
std::string Argon2idHash(std::string_view password, std::string_view setting);
// libsodium's own check (crypto_pwhash_str_verify) of an "$argon2id$" or "$argon2i$" value.
bool VerifyArgon2(std::string_view password, std::string_view value);

// out[i] = hash(passwords[i], settings[i]) for every i, users dealt out one at a time to up to
// `threads` workers (0: one per processor). The first failure is raised; the others stop early.
void HashEachOnWorkers(const std::vector<std::string_view>& passwords,
                       const std::vector<std::string>& settings, std::vector<std::string>& out,
                       unsigned threads,
                       std::string (*hash)(std::string_view password, std::string_view setting));

} // namespace quorvane
