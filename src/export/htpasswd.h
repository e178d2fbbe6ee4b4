#pragma once
// The Apache MD5-crypt ("$apr1$") password hash and its salts.

#include "base/Random.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// The crypt alphabet: character k encodes the 6-bit value k.
inline constexpr std::string_view KCryptAlphabet =
    "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
inline constexpr std::string_view KApr1Magic = "$apr1$";
// "$apr1$", 8 salt characters, "$" and 22 digest characters.
inline constexpr size_t KApr1Length = 37;

// The n lowest 6-bit groups of value, lowest first, each as its character of the crypt alphabet.
std::string To64(uint32_t value, int n);

// Eight characters, each drawn uniformly from the whole crypt alphabet (48 bits of salt).
// The operating system's secure generator unless the caller passes another source.
std::string MakeSalt(IRandomSource& random = SecureRandom());

// The "$apr1$" string of password with a new salt from MakeSalt. Never fails; an empty password
// is hashed like any other. The password's bytes are hashed as they are.
std::string Apr1Crypt(std::string_view password, IRandomSource& random = SecureRandom());

// The "$apr1$" string of password with the given salt. The salt may also be a whole "$apr1$"
// string: a leading "$apr1$" is skipped, and the salt ends at the first "$" or after 8
// characters, as every "$apr1$" verifier reads it. So Apr1CryptWithSalt(pw, hash) == hash tells
// whether pw matches hash.
std::string Apr1CryptWithSalt(std::string_view password, std::string_view salt);

// The pieces every "$apr1$" computation shares, whether one user at a time or many side by side.
// The salt as every verifier reads it: after an optional "$apr1$", up to the first "$", at most
// 8 characters.
std::string_view Apr1Salt(std::string_view saltText);
// The digest that enters the thousand rounds: the main MD5 context over the password, "$apr1$",
// the salt, the alternate digest and one byte per bit of the password's length.
void Apr1InitialDigest(std::string_view password, std::string_view salt, uint8_t out[16]);
// "$apr1$", the salt, "$" and the final digest in the crypt alphabet's 22 characters.
std::string Apr1Format(std::string_view salt, const uint8_t digest[16]);

// Hashes passwords[i] with salts[i] into out[i] (resized to passwords.size()) on up to
// `threads` workers (0: one per processor). The output is exactly that of Apr1CryptWithSalt for
// each pair, whatever the number of workers. salts must be as long as passwords.
void Apr1CryptBatch(const std::vector<std::string_view>& passwords,
                    const std::vector<std::string>& salts, std::vector<std::string>& out,
                    unsigned threads = 0);

} // namespace quorvane
