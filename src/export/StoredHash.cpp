#include "export/StoredHash.h"

#include "export/htpasswd.h"

#include <crypt.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstring>
#include <memory>

namespace quorvane {

namespace {

bool InCryptAlphabet(char c) {
    return KCryptAlphabet.find(c) != std::string_view::npos;
}

// "{SHA}" and the base64 form of the password's SHA-1 digest, as htpasswd -s writes it.
std::string Sha1Base64(std::string_view password) {
    unsigned char digest[SHA_DIGEST_LENGTH];
    unsigned int length = 0;
    if (EVP_Digest(password.data(), password.size(), digest, &length, EVP_sha1(), nullptr) != 1 ||
        length != SHA_DIGEST_LENGTH)
        return std::string();
    unsigned char text[4 * ((SHA_DIGEST_LENGTH + 2) / 3) + 1];
    const int n = EVP_EncodeBlock(text, digest, SHA_DIGEST_LENGTH);
    OPENSSL_cleanse(digest, sizeof digest);
    return "{SHA}" + std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(n));
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
    const char* result = crypt_rn(phrase.c_str(), setting.c_str(), data.get(), sizeof(crypt_data));
    // A failure is NULL, or a string starting with "*" that never equals a valid setting.
    const bool match = result != nullptr && result[0] != '*' && SecretsEqual(result, stored);
    OPENSSL_cleanse(data.get(), sizeof(crypt_data));
    return match;
}

} // namespace

bool SecretsEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    return CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

TStoredScheme IdentifyStoredHash(std::string_view s) {
    if (s.starts_with(KApr1Magic)) return TStoredScheme::Apr1;
    if (s.starts_with("$2y$") || s.starts_with("$2a$") || s.starts_with("$2b$"))
        return TStoredScheme::Bcrypt;
    if (s.starts_with("$5$")) return TStoredScheme::Sha256Crypt;
    if (s.starts_with("$6$")) return TStoredScheme::Sha512Crypt;
    if (s.starts_with("$1$")) return TStoredScheme::Md5Crypt;
    if (s.starts_with("{SHA}")) return TStoredScheme::Sha1;
    if (s.size() == 13) {
        bool des = true;
        for (char c : s)
            des = des && InCryptAlphabet(c);
        if (des) return TStoredScheme::DesCrypt;
    }
    return TStoredScheme::PlainText;
}

const char* StoredSchemeName(TStoredScheme scheme) {
    switch (scheme) {
    case TStoredScheme::Apr1:
        return "MD5";
    case TStoredScheme::Bcrypt:
        return "bcrypt";
    case TStoredScheme::Sha256Crypt:
        return "SHA-256";
    case TStoredScheme::Sha512Crypt:
        return "SHA-512";
    case TStoredScheme::Md5Crypt:
        return "MD5 crypt";
    case TStoredScheme::Sha1:
        return "SHA-1";
    case TStoredScheme::DesCrypt:
        return "DES crypt";
    case TStoredScheme::PlainText:
        return "plain text";
    }
    return "plain text";
}

bool IsWeakScheme(TStoredScheme scheme) {
    switch (scheme) {
    case TStoredScheme::Sha1:
    case TStoredScheme::DesCrypt:
    case TStoredScheme::PlainText:
        return true;
    case TStoredScheme::Apr1:
    case TStoredScheme::Bcrypt:
    case TStoredScheme::Sha256Crypt:
    case TStoredScheme::Sha512Crypt:
    case TStoredScheme::Md5Crypt:
        return false;
    }
    return true;
}

bool VerifyStoredHash(std::string_view password, std::string_view stored) {
    switch (IdentifyStoredHash(stored)) {
    case TStoredScheme::Apr1: {
        std::string computed = Apr1CryptWithSalt(password, stored);
        const bool match = SecretsEqual(computed, stored);
        OPENSSL_cleanse(computed.data(), computed.size());
        return match;
    }
    case TStoredScheme::Sha1: {
        std::string computed = Sha1Base64(password);
        const bool match = !computed.empty() && SecretsEqual(computed, stored);
        OPENSSL_cleanse(computed.data(), computed.size());
        return match;
    }
    case TStoredScheme::Bcrypt:
    case TStoredScheme::Sha256Crypt:
    case TStoredScheme::Sha512Crypt:
    case TStoredScheme::Md5Crypt:
    case TStoredScheme::DesCrypt:
        return VerifyCrypt(password, stored);
    case TStoredScheme::PlainText:
        return SecretsEqual(password, stored);
    }
    return false;
}

} // namespace quorvane
