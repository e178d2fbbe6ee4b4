#include "base/Crypto.h"

#include "base/CryptoPlugin.h"
#include "base/Plugins.h"

#include <climits>
#include <stdexcept>

namespace quorvane::crypto {

namespace {

const TCryptoFunctions& Functions() {
    // A failed load leaves this unset, so the next call tries again and says why again.
    static const TCryptoFunctions* const functions =
        reinterpret_cast<TCryptoEntry>(PluginEntry(KCryptoPlugin, KCryptoEntry))();
    return *functions;
}

const char* Name(TDigestKind kind) {
    return kind == TDigestKind::Sha1     ? "SHA-1"
           : kind == TDigestKind::Sha256 ? "SHA-256"
                                         : "SHA-512";
}

[[noreturn]] void Failed(TDigestKind kind) {
    throw std::runtime_error(std::string("libcrypto's ") + Name(kind) + " failed");
}

int KindNumber(TDigestKind kind) {
    return static_cast<int>(kind);
}

} // namespace

const TSodiumFunctions& Sodium() {
    return *Functions().Sodium;
}

const TCryptLibraryFunctions& CryptLibrary() {
    return *Functions().CryptLibrary;
}

TDigest::TDigest(TDigestKind kind)
    : FKind(kind), FContext(Functions().NewDigest(KindNumber(kind), nullptr, 0)) {
    if (FContext == nullptr) Failed(kind);
}

TDigest::TDigest(TDigestKind kind, std::string_view hmacKey) : FKind(kind), FContext(nullptr) {
    static const unsigned char empty = 0;
    const auto* key =
        hmacKey.empty() ? &empty : reinterpret_cast<const unsigned char*>(hmacKey.data());
    FContext = Functions().NewDigest(KindNumber(kind), key, hmacKey.size());
    if (FContext == nullptr) Failed(kind);
}

TDigest::~TDigest() {
    Functions().FreeDigest(FContext);
}

void TDigest::Restart() {
    if (Functions().Restart(FContext) != 1) Failed(FKind);
}

void TDigest::Add(const void* bytes, std::size_t size) {
    if (Functions().Add(FContext, bytes, size) != 1) Failed(FKind);
}

void TDigest::Finish(unsigned char* out) {
    if (Functions().Finish(FContext, out) != 1) Failed(FKind);
}

void Digest(TDigestKind kind, const void* bytes, std::size_t size, unsigned char* out) {
    if (Functions().Digest(KindNumber(kind), bytes, size, out) != 1) Failed(kind);
}

bool Pbkdf2Hmac(TDigestKind kind, std::string_view password, const unsigned char* salt,
                std::size_t saltSize, int iterations, unsigned char* out, std::size_t outSize) {
    return Functions().Pbkdf2Hmac(KindNumber(kind), password.data(), password.size(), salt,
                                  saltSize, iterations, out, outSize) == 1;
}

std::string LowerHex(const void* bytes, std::size_t size) {
    static constexpr char digits[] = "0123456789abcdef";
    const auto* in = static_cast<const unsigned char*>(bytes);
    std::string out(2 * size, '0');
    for (std::size_t i = 0; i < size; ++i) {
        out[2 * i] = digits[in[i] >> 4];
        out[2 * i + 1] = digits[in[i] & 15];
    }
    return out;
}

std::string Base64Encode(const void* bytes, std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX / 4 * 3)) throw std::length_error("base64");
    std::string out(4 * ((size + 2) / 3) + 1, '\0');
    const int n =
        Functions().EncodeBase64(reinterpret_cast<unsigned char*>(out.data()),
                                 static_cast<const unsigned char*>(bytes), static_cast<int>(size));
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
    std::string out(text.size() / 4 * 3 + 3, '\0');
    const int n = Functions().DecodeBase64(reinterpret_cast<unsigned char*>(out.data()),
                                           reinterpret_cast<const unsigned char*>(text.data()),
                                           static_cast<int>(text.size()));
    if (n < 0) return std::nullopt;
    // The decoder makes a zero byte of each "="; line ends after the text are not part of it.
    std::size_t end = text.find_last_not_of(" \t\r\n");
    std::size_t padding = 0;
    while (end != std::string_view::npos && end > 0 && text[end] == '=' && padding < 3) {
        ++padding;
        --end;
    }
    if (padding > 2 || padding > static_cast<std::size_t>(n)) return std::nullopt;
    out.resize(static_cast<std::size_t>(n) - padding);
    return out;
}

bool ConstantTimeEqual(const void* a, const void* b, std::size_t size) {
    const auto* x = static_cast<const volatile unsigned char*>(a);
    const auto* y = static_cast<const volatile unsigned char*>(b);
    unsigned char difference = 0;
    for (std::size_t i = 0; i < size; ++i)
        difference = static_cast<unsigned char>(difference | (x[i] ^ y[i]));
    return difference == 0;
}

} // namespace quorvane::crypto
