#pragma once
// Password-file values as web servers store them: which scheme a stored value uses, told by its
// form as Apache's htpasswd writes it, and whether a password matches it. Used wherever a hash
// that this program did not make is read: the import of a password file, users known only by
// their hash, the verify command.

#include <string>
#include <string_view>

namespace quorvane {

enum class TStoredScheme {
    Apr1,        // "$apr1$": Apache MD5-crypt
    Bcrypt,      // "$2y$", "$2a$", "$2b$"
    Sha256Crypt, // "$5$"
    Sha512Crypt, // "$6$"
    Md5Crypt,    // "$1$": the MD5-crypt of the system's crypt(), as strong as "$apr1$"
    Sha1,        // "{SHA}" and the base64 SHA-1 digest, unsalted
    DesCrypt,    // 13 characters of the crypt alphabet: traditional DES crypt
    PlainText,   // anything else: the password itself
};

// The scheme of a stored value, by its prefix (or, for DES crypt, its form); a value that
// matches none of the forms is a clear password, as Apache takes it on the platforms that allow
// it.
TStoredScheme IdentifyStoredHash(std::string_view stored);

// A short name for lists and messages: "MD5", "bcrypt", "SHA-256", "SHA-512", "MD5 crypt",
// "SHA-1", "DES crypt", "plain text".
const char* StoredSchemeName(TStoredScheme scheme);

// True for the schemes a password file should no longer hold: SHA-1 (unsalted, fast), DES crypt
// (8 characters of the password at most) and plain text.
bool IsWeakScheme(TStoredScheme scheme);

// Equal length and equal bytes, compared in a time that does not depend on where they differ.
bool SecretsEqual(std::string_view a, std::string_view b);

// Whether password matches the stored value, in the stored value's scheme. "$apr1$" is computed
// by this program's own MD5-crypt, "{SHA}" from SHA-1, the crypt forms by the system's crypt
// library, plain text by comparison; every final comparison takes the same time wherever the
// values differ. A malformed stored value, or a password with a NUL byte for a scheme that cannot
// hash one, never matches. Raises nothing.
bool VerifyStoredHash(std::string_view password, std::string_view stored);

} // namespace quorvane
