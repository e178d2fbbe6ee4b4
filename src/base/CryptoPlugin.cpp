#include "base/CryptoPlugin.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <climits>
#include <cstring>
#include <new>

namespace {

using quorvane::crypto::TCryptoFunctions;

const char* MdName(int kind) {
    switch (kind) {
    case 0:
        return "SHA1";
    case 1:
        return "SHA256";
    case 2:
        return "SHA512";
    default:
        return nullptr;
    }
}

// Fetched once: the implicit fetch of EVP_sha256() and its kin looks the algorithm up again on
// every call, which costs more than hashing a short message.
const EVP_MD* Md(int kind) {
    static EVP_MD* const sha1 = EVP_MD_fetch(nullptr, "SHA1", nullptr);
    static EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    static EVP_MD* const sha512 = EVP_MD_fetch(nullptr, "SHA512", nullptr);
    switch (kind) {
    case 0:
        return sha1;
    case 1:
        return sha256;
    case 2:
        return sha512;
    default:
        return nullptr;
    }
}

struct TContext {
    const EVP_MD* Md = nullptr;
    EVP_MD_CTX* Digest = nullptr; // a plain digest
    EVP_MAC_CTX* Mac = nullptr;   // or an HMAC
};

void FreeDigest(void* context) {
    auto* c = static_cast<TContext*>(context);
    if (c == nullptr) return;
    EVP_MD_CTX_free(c->Digest); // both clear what they held
    EVP_MAC_CTX_free(c->Mac);
    delete c;
}

void* NewDigest(int kind, const unsigned char* key, std::size_t keySize) {
    const EVP_MD* md = Md(kind);
    if (md == nullptr) return nullptr;
    auto* c = new (std::nothrow) TContext;
    if (c == nullptr) return nullptr;
    c->Md = md;
    if (key == nullptr) {
        c->Digest = EVP_MD_CTX_new();
        if (c->Digest != nullptr && EVP_DigestInit_ex2(c->Digest, md, nullptr) == 1) return c;
    } else {
        static EVP_MAC* const hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
        c->Mac = hmac != nullptr ? EVP_MAC_CTX_new(hmac) : nullptr;
        char name[8];
        std::strcpy(name, MdName(kind));
        const OSSL_PARAM params[] = {
            OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, name, 0),
            OSSL_PARAM_construct_end()};
        if (c->Mac != nullptr && EVP_MAC_init(c->Mac, key, keySize, params) == 1) return c;
    }
    FreeDigest(c);
    return nullptr;
}

int Restart(void* context) {
    auto* c = static_cast<TContext*>(context);
    if (c->Mac != nullptr) return EVP_MAC_init(c->Mac, nullptr, 0, nullptr);
    return EVP_DigestInit_ex2(c->Digest, c->Md, nullptr);
}

int Add(void* context, const void* bytes, std::size_t size) {
    auto* c = static_cast<TContext*>(context);
    if (size == 0) return 1;
    if (c->Mac != nullptr)
        return EVP_MAC_update(c->Mac, static_cast<const unsigned char*>(bytes), size);
    return EVP_DigestUpdate(c->Digest, bytes, size);
}

int Finish(void* context, unsigned char* out) {
    auto* c = static_cast<TContext*>(context);
    const int expected = EVP_MD_get_size(c->Md);
    if (c->Mac != nullptr) {
        std::size_t size = 0;
        return EVP_MAC_final(c->Mac, out, &size, static_cast<std::size_t>(expected)) == 1 &&
                       size == static_cast<std::size_t>(expected)
                   ? Restart(context)
                   : 0;
    }
    unsigned int size = 0;
    return EVP_DigestFinal_ex(c->Digest, out, &size) == 1 && static_cast<int>(size) == expected
               ? Restart(context)
               : 0;
}

int Digest(int kind, const void* bytes, std::size_t size, unsigned char* out) {
    const EVP_MD* md = Md(kind);
    unsigned int length = 0;
    return md != nullptr && EVP_Digest(bytes, size, out, &length, md, nullptr) == 1 &&
                   static_cast<int>(length) == EVP_MD_get_size(md)
               ? 1
               : 0;
}

int Pbkdf2Hmac(int kind, const char* password, std::size_t passwordSize, const unsigned char* salt,
               std::size_t saltSize, int iterations, unsigned char* out, std::size_t outSize) {
    const EVP_MD* md = Md(kind);
    if (md == nullptr || passwordSize > INT_MAX || saltSize > INT_MAX || outSize > INT_MAX ||
        iterations < 1)
        return 0;
    return PKCS5_PBKDF2_HMAC(password, static_cast<int>(passwordSize), salt,
                             static_cast<int>(saltSize), iterations, md, static_cast<int>(outSize),
                             out);
}

int EncodeBase64(unsigned char* out, const unsigned char* bytes, int size) {
    return EVP_EncodeBlock(out, bytes, size);
}

int DecodeBase64(unsigned char* out, const unsigned char* text, int size) {
    return EVP_DecodeBlock(out, text, size);
}

using quorvane::crypto::TCryptLibraryFunctions;
using quorvane::crypto::TSodiumFunctions;

const TSodiumFunctions KSodium = {
    .sodium_init = &::sodium_init,
    .sodium_malloc = &::sodium_malloc,
    .sodium_free = &::sodium_free,
    .randombytes_buf = &::randombytes_buf,
    .sodium_base642bin = &::sodium_base642bin,
    .sodium_bin2base64 = &::sodium_bin2base64,
    .crypto_pwhash = &::crypto_pwhash,
    .crypto_pwhash_argon2id_str_verify = &::crypto_pwhash_argon2id_str_verify,
    .crypto_pwhash_argon2i_str_verify = &::crypto_pwhash_argon2i_str_verify,
    .crypto_generichash = &::crypto_generichash,
    .crypto_generichash_init = &::crypto_generichash_init,
    .crypto_generichash_update = &::crypto_generichash_update,
    .crypto_generichash_final = &::crypto_generichash_final,
    .crypto_core_hchacha20 = &::crypto_core_hchacha20,
    .crypto_stream_chacha20_ietf_xor_ic = &::crypto_stream_chacha20_ietf_xor_ic,
    .crypto_onetimeauth_poly1305_init = &::crypto_onetimeauth_poly1305_init,
    .crypto_onetimeauth_poly1305_update = &::crypto_onetimeauth_poly1305_update,
    .crypto_onetimeauth_poly1305_final = &::crypto_onetimeauth_poly1305_final,
    .crypto_aead_xchacha20poly1305_ietf_decrypt = &::crypto_aead_xchacha20poly1305_ietf_decrypt,
};

const TCryptLibraryFunctions KCryptLibrary = {
    .crypt_rn = &::crypt_rn,
    .crypt_gensalt_rn = &::crypt_gensalt_rn,
};

const TCryptoFunctions KFunctions = {
    .NewDigest = NewDigest,
    .FreeDigest = FreeDigest,
    .Restart = Restart,
    .Add = Add,
    .Finish = Finish,
    .Digest = Digest,
    .Pbkdf2Hmac = Pbkdf2Hmac,
    .EncodeBase64 = EncodeBase64,
    .DecodeBase64 = DecodeBase64,
    .Sodium = &KSodium,
    .CryptLibrary = &KCryptLibrary,
};

} // namespace

extern "C" __attribute__((visibility("default"))) const TCryptoFunctions* quorvane_crypto() {
    return &KFunctions;
}
