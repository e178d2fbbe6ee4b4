#pragma once
// Password-file values as web servers store them: which scheme a stored value uses, told by its
// form as Apache's htpasswd writes it, and whether a password matches it. Used wherever a hash
// that this program did not make is read: the import of a password file, users known only by
// their hash, the verify command.

#include "base/Message.h"

#include <string>
#include <string_view>

namespace quorvane {

enum class TStoredScheme {
    Apr1,         // "$apr1$": Apache MD5-crypt
    Bcrypt,       // "$2y$", "$2a$", "$2b$"
    Sha256Crypt,  // "$5$"
    Sha512Crypt,  // "$6$"
    Md5Crypt,     // "$1$": the MD5-crypt of the system's crypt(), as strong as "$apr1$"
    Yescrypt,     // "$y$": the system's crypt() on Debian and others
    Sha1,         // "{SHA}" and the base64 SHA-1 digest, unsalted
    SaltedSha1,   // "{SSHA}": base64 of SHA-1 over password and salt, then the salt (nginx)
    DesCrypt,     // 13 characters of the crypt alphabet: traditional DES crypt
    PlainText,    // "{PLAIN}" and the password itself: nginx's mark of a clear password
    Pbkdf2Sha512, // "$7$": Mosquitto's PBKDF2-SHA512
    Argon2,       // "$argon2id$", "$argon2i$" (libsodium, Authelia, Dovecot)
    Locked,       // nothing, blanks only, or a value starting with "!" or "*": a locked account
    Unknown,      // anything else: no scheme this program knows, so no password matches it
};

// The scheme of a stored value, by its prefix (or, for DES crypt, its form). Dovecot's name in
// braces before a crypt or argon2 value ("{BLF-CRYPT}$2y$...") is read as the value's own scheme
// when the two agree, and as Unknown when they do not. A value without a
// known prefix is never taken for a clear password: on the systems Quorvane runs on, Apache and
// nginx hand such a value to crypt(), which refuses it, so nobody gets in with it there; taking
// it for a password would open a locked account ("*", "!", "x") to whoever types it.
TStoredScheme IdentifyStoredHash(std::string_view stored);

// A short name for lists and messages: "MD5", "bcrypt", "SHA-256", "SHA-512", "MD5 crypt",
// "yescrypt", "SHA-1", "salted SHA-1", "DES crypt", "plain text", "locked", "unknown scheme".
// The command line's name (its JSON reports); the desktop shows StoredSchemeMessage, whose English
// it is.
const char* StoredSchemeName(TStoredScheme scheme);
// The name as a message: a text of its own where the name is words ("DES crypt"), the name as it
// is where it is the same in every language ("bcrypt").
TMessage StoredSchemeMessage(TStoredScheme scheme);

// For a value of an unknown scheme, what it starts with: its "$id$" or "{NAME}" prefix (cut to
// 16 characters), or "no prefix". Never more of the value than that, which might be a password.
std::string UnknownSchemeTag(std::string_view stored);
// The same as a message: the prefix as it is, or NoPrefix.
TMessage UnknownSchemeTagMessage(std::string_view stored);

// True for the schemes a password file should no longer hold: SHA-1 (fast, salted or not), DES
// crypt (8 characters of the password at most) and plain text. A locked value lets nobody in,
// and one of an unknown scheme is not judged.
bool IsWeakScheme(TStoredScheme scheme);

// Equal length and equal bytes, compared in a time that does not depend on where they differ.
bool SecretsEqual(std::string_view a, std::string_view b);

// Whether password matches the stored value, in the stored value's scheme. "$apr1$" is computed
// by this program's own MD5-crypt, "{SHA}" and "{SSHA}" from SHA-1, the crypt forms by the
// system's crypt library, "{PLAIN}" by comparison; every final comparison takes the same time
// wherever the values differ. A locked value or one of an unknown scheme, a malformed stored
// value, or a password with a NUL byte for a scheme that cannot hash one, never matches. Raises
// nothing.
bool VerifyStoredHash(std::string_view password, std::string_view stored);

} // namespace quorvane
