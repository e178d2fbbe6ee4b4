#pragma once
// The boundary of the cryptography's plugin (Crypto.h): plain functions over libcrypto, libsodium
// and the system's crypt library, so that nothing of C++ crosses it.

#include <crypt.h>
#include <sodium.h>

#include <cstddef>

namespace quorvane::crypto {

// The functions of libsodium the programs use (sealed databases, argon2id), called by their own
// names through Sodium().
struct TSodiumFunctions {
    decltype(&::sodium_init) sodium_init;
    decltype(&::sodium_malloc) sodium_malloc;
    decltype(&::sodium_free) sodium_free;
    decltype(&::randombytes_buf) randombytes_buf;
    decltype(&::sodium_base642bin) sodium_base642bin;
    decltype(&::sodium_bin2base64) sodium_bin2base64;
    decltype(&::crypto_pwhash) crypto_pwhash;
    decltype(&::crypto_pwhash_argon2id_str_verify) crypto_pwhash_argon2id_str_verify;
    decltype(&::crypto_pwhash_argon2i_str_verify) crypto_pwhash_argon2i_str_verify;
    decltype(&::crypto_generichash) crypto_generichash;
    decltype(&::crypto_generichash_init) crypto_generichash_init;
    decltype(&::crypto_generichash_update) crypto_generichash_update;
    decltype(&::crypto_generichash_final) crypto_generichash_final;
    decltype(&::crypto_core_hchacha20) crypto_core_hchacha20;
    decltype(&::crypto_stream_chacha20_ietf_xor_ic) crypto_stream_chacha20_ietf_xor_ic;
    decltype(&::crypto_onetimeauth_poly1305_init) crypto_onetimeauth_poly1305_init;
    decltype(&::crypto_onetimeauth_poly1305_update) crypto_onetimeauth_poly1305_update;
    decltype(&::crypto_onetimeauth_poly1305_final) crypto_onetimeauth_poly1305_final;
    decltype(&::crypto_aead_xchacha20poly1305_ietf_decrypt)
        crypto_aead_xchacha20poly1305_ietf_decrypt;
};

// The system crypt library's (libxcrypt) functions the programs use, through CryptLibrary().
struct TCryptLibraryFunctions {
    decltype(&::crypt_rn) crypt_rn;
    decltype(&::crypt_gensalt_rn) crypt_gensalt_rn;
};

// Every int result: 1 done, 0 failed. `kind` is a TDigestKind.
struct TCryptoFunctions {
    // A digest context, or an HMAC one when `key` is not null; null when libcrypto has none.
    void* (*NewDigest)(int kind, const unsigned char* key, std::size_t keySize);
    void (*FreeDigest)(void* context);
    int (*Restart)(void* context);
    int (*Add)(void* context, const void* bytes, std::size_t size);
    // Writes the value and starts again.
    int (*Finish)(void* context, unsigned char* out);
    int (*Digest)(int kind, const void* bytes, std::size_t size, unsigned char* out);
    int (*Pbkdf2Hmac)(int kind, const char* password, std::size_t passwordSize,
                      const unsigned char* salt, std::size_t saltSize, int iterations,
                      unsigned char* out, std::size_t outSize);
    // EVP_EncodeBlock and EVP_DecodeBlock.
    int (*EncodeBase64)(unsigned char* out, const unsigned char* bytes, int size);
    int (*DecodeBase64)(unsigned char* out, const unsigned char* text, int size);
    const TSodiumFunctions* Sodium;
    const TCryptLibraryFunctions* CryptLibrary;
};

// The plugin's functions, loaded on first use (raises EQuorvaneError texts::PluginNotLoaded
// when it cannot be).
const TSodiumFunctions& Sodium();
const TCryptLibraryFunctions& CryptLibrary();

inline const char* const KCryptoPlugin = "quorvane-crypto.so";
inline const char* const KCryptoEntry = "quorvane_crypto";
using TCryptoEntry = const TCryptoFunctions* (*)();

} // namespace quorvane::crypto

// The plugin's one entry: its functions, which live as long as the process.
extern "C" const quorvane::crypto::TCryptoFunctions* quorvane_crypto();
