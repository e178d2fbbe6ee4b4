#include "export/StoredHash.h"

#include "base/Crypto.h"
#include "base/CryptoPlugin.h"
#include "export/ExportTexts.h"
#include "export/ServiceForms.h"
#include "export/htpasswd.h"

#include <cstring>
#include <memory>
#include <optional>

namespace quorvane {

namespace {

bool InCryptAlphabet(char c) {
    return KCryptAlphabet.find(c) != std::string_view::npos;
}

constexpr size_t KSha1Bytes = crypto::DigestBytes(crypto::TDigestKind::Sha1);

// "{SHA}" and the base64 form of the password's SHA-1 digest, as htpasswd -s writes it.
std::string Sha1Base64(std::string_view password) {
    unsigned char digest[KSha1Bytes];
    crypto::Digest(crypto::TDigestKind::Sha1, password.data(), password.size(), digest);
    std::string value = "{SHA}" + crypto::Base64Encode(digest, sizeof digest);
    explicit_bzero(digest, sizeof digest);
    return value;
}

// "{SSHA}" and the base64 of SHA-1 over the password and the salt, followed by the salt.
bool VerifySaltedSha1(std::string_view password, std::string_view stored) {
    const std::string_view text = stored.substr(6);
    if (text.empty() || text.size() % 4 != 0 || text.size() > 1024) return false;
    std::optional<std::string> decoded = crypto::Base64Decode(text);
    if (!decoded) return false;
    const size_t size = decoded->size();
    if (size <= KSha1Bytes) {
        explicit_bzero(decoded->data(), decoded->size());
        return false;
    }
    const std::string salt = decoded->substr(KSha1Bytes, size - KSha1Bytes);
    std::string message(password);
    message += salt;
    unsigned char digest[KSha1Bytes];
    crypto::Digest(crypto::TDigestKind::Sha1, message.data(), message.size(), digest);
    explicit_bzero(message.data(), message.size());
    const bool match =
        SecretsEqual(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest),
                     std::string_view(*decoded).substr(0, KSha1Bytes));
    explicit_bzero(digest, sizeof digest);
    explicit_bzero(decoded->data(), decoded->size());
    return match;
}

// The system crypt library over a setting that is the whole stored value.
bool VerifyCrypt(std::string_view password, std::string_view stored) {
    // crypt reads both as C strings: a NUL would cut them short.
    if (password.find('\0') != std::string_view::npos ||
        stored.find('\0') != std::string_view::npos)
        return false;
    const std::string phrase(password), setting(stored);
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof(crypt_data));
    const char* result = crypto::CryptLibrary().crypt_rn(phrase.c_str(), setting.c_str(),
                                                         data.get(), sizeof(crypt_data));
    // A failure is NULL, or a string starting with "*" that never equals a valid setting.
    const bool match = result != nullptr && result[0] != '*' && SecretsEqual(result, stored);
    explicit_bzero(data.get(), sizeof(crypt_data));
    return match;
}

} // namespace

bool SecretsEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    return crypto::ConstantTimeEqual(a.data(), b.data(), a.size());
}

namespace {

// Dovecot's names of the forms it reads in braces before a value, with the scheme the value
// itself must then be of.
struct TDovecotTag {
    std::string_view Tag;
    TStoredScheme Scheme;
};
constexpr TDovecotTag KDovecotTags[] = {
    {"{BLF-CRYPT}", TStoredScheme::Bcrypt},         {"{SHA256-CRYPT}", TStoredScheme::Sha256Crypt},
    {"{SHA512-CRYPT}", TStoredScheme::Sha512Crypt}, {"{MD5-CRYPT}", TStoredScheme::Md5Crypt},
    {"{ARGON2ID}", TStoredScheme::Argon2},          {"{ARGON2I}", TStoredScheme::Argon2},
};

// The value after a Dovecot tag and the scheme the tag names; the value itself when it has none.
std::string_view WithoutDovecotTag(std::string_view s, const TStoredScheme** named) {
    *named = nullptr;
    for (const TDovecotTag& tag : KDovecotTags)
        if (s.starts_with(tag.Tag)) {
            *named = &tag.Scheme;
            return s.substr(tag.Tag.size());
        }
    return s;
}

TStoredScheme IdentifyUntagged(std::string_view s);

} // namespace

TStoredScheme IdentifyStoredHash(std::string_view s) {
    const TStoredScheme* named = nullptr;
    const std::string_view value = WithoutDovecotTag(s, &named);
    const TStoredScheme scheme = IdentifyUntagged(value);
    if (named != nullptr && scheme != *named) return TStoredScheme::Unknown;
    return scheme;
}

namespace {

TStoredScheme IdentifyUntagged(std::string_view s) {
    // Locks first: "!" or "*" in front of a hash locks it, as usermod -L and passwd -l do.
    bool blank = true;
    for (unsigned char c : s)
        blank = blank && c <= 32;
    if (blank || s[0] == '!' || s[0] == '*') return TStoredScheme::Locked;
    if (s.starts_with(KApr1Magic)) return TStoredScheme::Apr1;
    if (s.starts_with("$2y$") || s.starts_with("$2a$") || s.starts_with("$2b$"))
        return TStoredScheme::Bcrypt;
    if (s.starts_with("$5$")) return TStoredScheme::Sha256Crypt;
    if (s.starts_with("$6$")) return TStoredScheme::Sha512Crypt;
    if (s.starts_with("$1$")) return TStoredScheme::Md5Crypt;
    if (s.starts_with("$y$")) return TStoredScheme::Yescrypt;
    if (s.starts_with("{SHA}")) return TStoredScheme::Sha1;
    if (s.starts_with("{SSHA}")) return TStoredScheme::SaltedSha1;
    if (s.starts_with("{PLAIN}")) return TStoredScheme::PlainText;
    // "$7$" is also scrypt's ("$7$C6..../...."); Mosquitto's has its iterations and a "$".
    if (s.starts_with(KPbkdf2Prefix)) {
        const size_t digits = s.find_first_not_of("0123456789", KPbkdf2Prefix.size());
        if (digits != KPbkdf2Prefix.size() && digits != std::string_view::npos && s[digits] == '$')
            return TStoredScheme::Pbkdf2Sha512;
        return TStoredScheme::Unknown;
    }
    if (s.starts_with("$argon2id$") || s.starts_with("$argon2i$")) return TStoredScheme::Argon2;
    if (s.size() == 13) {
        bool des = true;
        for (char c : s)
            des = des && InCryptAlphabet(c);
        if (des) return TStoredScheme::DesCrypt;
    }
    return TStoredScheme::Unknown;
}

} // namespace

namespace {

// A scheme's name: a text to translate, or a name that is the same in every language.
struct TSchemeName {
    const TMessageText* Text = nullptr;
    const char* Name = nullptr;
};

TSchemeName SchemeName(TStoredScheme scheme) {
    switch (scheme) {
    case TStoredScheme::Apr1:
        return {nullptr, "MD5"};
    case TStoredScheme::Bcrypt:
        return {nullptr, "bcrypt"};
    case TStoredScheme::Sha256Crypt:
        return {nullptr, "SHA-256"};
    case TStoredScheme::Sha512Crypt:
        return {nullptr, "SHA-512"};
    case TStoredScheme::Md5Crypt:
        return {&texts::SchemeMd5Crypt};
    case TStoredScheme::Yescrypt:
        return {nullptr, "yescrypt"};
    case TStoredScheme::Pbkdf2Sha512:
        return {nullptr, "PBKDF2-SHA512"};
    case TStoredScheme::Argon2:
        return {nullptr, "argon2"};
    case TStoredScheme::Sha1:
        return {nullptr, "SHA-1"};
    case TStoredScheme::SaltedSha1:
        return {&texts::SchemeSaltedSha1};
    case TStoredScheme::DesCrypt:
        return {&texts::SchemeDesCrypt};
    case TStoredScheme::PlainText:
        return {&texts::SchemePlainText};
    case TStoredScheme::Locked:
        return {&texts::SchemeLocked};
    case TStoredScheme::Unknown:
        break;
    }
    // Only files and reports name it so; what is shown of such a value is its prefix.
    return {nullptr, "unknown scheme"};
}

} // namespace

const char* StoredSchemeName(TStoredScheme scheme) {
    const TSchemeName name = SchemeName(scheme);
    return name.Text != nullptr ? name.Text->English : name.Name;
}

TMessage StoredSchemeMessage(TStoredScheme scheme) {
    const TSchemeName name = SchemeName(scheme);
    return name.Text != nullptr ? Msg(*name.Text) : Verbatim(name.Name);
}

namespace {

// The "$id$" or "{NAME}" prefix of s, at most 16 characters; empty when it has none.
std::string_view SchemePrefix(std::string_view s) {
    constexpr size_t KLongest = 16;
    size_t end = std::string_view::npos;
    if (s.size() > 1 && s[0] == '$') end = s.find('$', 1);
    if (s.size() > 1 && s[0] == '{') end = s.find('}', 1);
    if (end == std::string_view::npos || end + 1 > KLongest) return {};
    return s.substr(0, end + 1);
}

} // namespace

std::string UnknownSchemeTag(std::string_view s) {
    return EnglishText(UnknownSchemeTagMessage(s));
}

TMessage UnknownSchemeTagMessage(std::string_view s) {
    const std::string_view prefix = SchemePrefix(s);
    if (prefix.empty()) return Msg(texts::NoPrefix);
    return Verbatim(std::string(prefix));
}

bool IsWeakScheme(TStoredScheme scheme) {
    switch (scheme) {
    case TStoredScheme::Sha1:
    case TStoredScheme::SaltedSha1:
    case TStoredScheme::DesCrypt:
    case TStoredScheme::PlainText:
        return true;
    case TStoredScheme::Apr1:
    case TStoredScheme::Bcrypt:
    case TStoredScheme::Sha256Crypt:
    case TStoredScheme::Sha512Crypt:
    case TStoredScheme::Md5Crypt:
    case TStoredScheme::Yescrypt:
    case TStoredScheme::Pbkdf2Sha512:
    case TStoredScheme::Argon2:
    case TStoredScheme::Locked:
    case TStoredScheme::Unknown:
        return false;
    }
    return true;
}

bool VerifyStoredHash(std::string_view password, std::string_view stored) {
    const TStoredScheme scheme = IdentifyStoredHash(stored);
    const TStoredScheme* named = nullptr;
    stored = WithoutDovecotTag(stored, &named);
    switch (scheme) {
    case TStoredScheme::Apr1: {
        std::string computed = Apr1CryptWithSalt(password, stored);
        const bool match = SecretsEqual(computed, stored);
        explicit_bzero(computed.data(), computed.size());
        return match;
    }
    case TStoredScheme::Sha1: {
        std::string computed = Sha1Base64(password);
        const bool match = !computed.empty() && SecretsEqual(computed, stored);
        explicit_bzero(computed.data(), computed.size());
        return match;
    }
    case TStoredScheme::SaltedSha1:
        return VerifySaltedSha1(password, stored);
    case TStoredScheme::Bcrypt:
    case TStoredScheme::Sha256Crypt:
    case TStoredScheme::Sha512Crypt:
    case TStoredScheme::Md5Crypt:
    case TStoredScheme::Yescrypt:
    case TStoredScheme::DesCrypt:
        return VerifyCrypt(password, stored);
    case TStoredScheme::PlainText:
        return SecretsEqual(password, stored.substr(7));
    case TStoredScheme::Pbkdf2Sha512:
        return VerifyPbkdf2(password, stored);
    case TStoredScheme::Argon2:
        return VerifyArgon2(password, stored);
    case TStoredScheme::Locked:
    case TStoredScheme::Unknown:
        return false;
    }
    return false;
}

} // namespace quorvane
