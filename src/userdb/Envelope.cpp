#include "userdb/Envelope.h"

#include "base/Errors.h"
#include "base/FileSafety.h"

#include <sodium.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace quorvane {

namespace {

constexpr unsigned char KMagic[8] = {0x89, 'Q', 'V', 'D', 'B', '\r', '\n', 0x1a};
constexpr uint16_t KVersion = 1;
constexpr uint16_t KFlagKeyFile = 1;
constexpr uint32_t KKdfArgon2id = 2;
constexpr size_t KSaltSize = 16;
constexpr size_t KNonceSize = 24;
constexpr size_t KKeySize = 32;

// What a header may ask for. A damaged byte must not make one guess take minutes or all memory:
// at most 1 GiB, and at most as much work as 256 passes over 64 MiB (about 7 s here); anything
// beyond is refused unread. There is room above today's parameters to raise them.
constexpr uint64_t KMaxOpsLimit = 256;
constexpr uint64_t KMaxMemLimit = uint64_t{1} << 30;
constexpr uint64_t KMaxWork = 256 * (uint64_t{64} << 20);

// Measured with bench_envelope on a two-core machine: one pass over 64 MiB takes about 27 ms of
// one core, 20 passes 0.54 s.
constexpr TKdfParams KMeasuredParams{20, uint64_t{64} << 20};
TKdfParams gTestParams{};

static_assert(KSaltSize == crypto_pwhash_SALTBYTES);
static_assert(KNonceSize == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
static_assert(KKeySize == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);
static_assert(KEnvelopeTagSize == crypto_aead_xchacha20poly1305_ietf_ABYTES);
static_assert(KEnvelopeHeaderSize == 8 + 2 + 2 + 4 + 8 + 8 + KSaltSize + KNonceSize);

// The one refusal of a file that does not open, whatever the reason: telling a wrong password
// from a damaged byte would tell an attacker which bytes matter.
[[noreturn]] void ThrowWrongPasswordOrDamaged() {
    throw EQuorvaneError("Wrong master password or damaged file");
}

void RequireSodium() {
    static const int ready = sodium_init();
    if (ready < 0) throw EQuorvaneError("The encryption library could not be started");
}

void PutLe(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint64_t GetLe(std::string_view in, size_t at, int bytes) {
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(in[at + static_cast<size_t>(i)]);
    return value;
}

// The header fields of a file, checked as far as they can be without the key.
struct THeader {
    uint16_t Flags = 0;
    TKdfParams Params;
    unsigned char Salt[KSaltSize] = {};
    unsigned char Nonce[KNonceSize] = {};
};

std::string HeaderBytes(const THeader& h) {
    std::string out(reinterpret_cast<const char*>(KMagic), sizeof KMagic);
    PutLe(out, KVersion, 2);
    PutLe(out, h.Flags, 2);
    PutLe(out, KKdfArgon2id, 4);
    PutLe(out, h.Params.OpsLimit, 8);
    PutLe(out, h.Params.MemLimit, 8);
    out.append(reinterpret_cast<const char*>(h.Salt), KSaltSize);
    out.append(reinterpret_cast<const char*>(h.Nonce), KNonceSize);
    return out;
}

bool ParamsUsable(const TKdfParams& p) {
    return p.OpsLimit >= crypto_pwhash_OPSLIMIT_MIN && p.OpsLimit <= KMaxOpsLimit &&
           p.MemLimit >= crypto_pwhash_MEMLIMIT_MIN && p.MemLimit <= KMaxMemLimit &&
           p.OpsLimit * p.MemLimit <= KMaxWork;
}

THeader ParseHeader(std::string_view file) {
    if (file.size() < KEnvelopeHeaderSize + KEnvelopeTagSize ||
        std::memcmp(file.data(), KMagic, sizeof KMagic) != 0)
        ThrowWrongPasswordOrDamaged();
    THeader h;
    h.Flags = static_cast<uint16_t>(GetLe(file, 10, 2));
    h.Params.OpsLimit = GetLe(file, 16, 8);
    h.Params.MemLimit = GetLe(file, 24, 8);
    if (GetLe(file, 8, 2) != KVersion || (h.Flags & ~KFlagKeyFile) != 0 ||
        GetLe(file, 12, 4) != KKdfArgon2id || !ParamsUsable(h.Params))
        ThrowWrongPasswordOrDamaged();
    std::memcpy(h.Salt, file.data() + 32, KSaltSize);
    std::memcpy(h.Nonce, file.data() + 48, KNonceSize);
    return h;
}

// BLAKE2b-256 of a key file's whole content.
void HashKeyFile(const std::string& path, unsigned char out[KKeySize]) {
    const int fd = OpenInputFile(path);
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, KKeySize);
    unsigned char buffer[65536];
    uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            sodium_memzero(buffer, sizeof buffer);
            throw EQuorvaneError(FormatMessage("Cannot open file %s", path.c_str()));
        }
        if (n == 0) break;
        crypto_generichash_update(&state, buffer, static_cast<size_t>(n));
        total += static_cast<uint64_t>(n);
    }
    ::close(fd);
    sodium_memzero(buffer, sizeof buffer);
    crypto_generichash_final(&state, out, KKeySize);
    sodium_memzero(&state, sizeof state);
    if (total == 0) throw EQuorvaneError(FormatMessage("The key file %s is empty", path.c_str()));
}

} // namespace

// --- TSecret ---

TSecret::TSecret(std::string_view bytes) {
    Append(bytes);
}

TSecret::~TSecret() {
    Clear();
}

TSecret::TSecret(TSecret&& other) noexcept
    : FData(other.FData), FSize(other.FSize), FCapacity(other.FCapacity) {
    other.FData = nullptr;
    other.FSize = other.FCapacity = 0;
}

TSecret& TSecret::operator=(TSecret&& other) noexcept {
    if (this != &other) {
        Clear();
        FData = other.FData;
        FSize = other.FSize;
        FCapacity = other.FCapacity;
        other.FData = nullptr;
        other.FSize = other.FCapacity = 0;
    }
    return *this;
}

void TSecret::Clear() {
    if (FData != nullptr) sodium_free(FData); // wipes before it frees
    FData = nullptr;
    FSize = FCapacity = 0;
}

void TSecret::Reserve(size_t capacity) {
    if (capacity <= FCapacity) return;
    RequireSodium();
    size_t grown = FCapacity < 4096 ? 4096 : FCapacity;
    while (grown < capacity)
        grown = grown > SIZE_MAX / 2 ? capacity : grown * 2;
    auto* data = static_cast<unsigned char*>(sodium_malloc(grown));
    if (data == nullptr) throw std::bad_alloc();
    if (FSize != 0) std::memcpy(data, FData, FSize);
    const size_t size = FSize;
    Clear();
    FData = data;
    FSize = size;
    FCapacity = grown;
}

void TSecret::Append(const char* data, size_t size) {
    if (size == 0) return;
    Reserve(FSize + size);
    std::memcpy(FData + FSize, data, size);
    FSize += size;
}

void TSecret::Resize(size_t size) {
    Reserve(size);
    FSize = size;
}

// --- key derivation ---

TKdfParams DefaultKdfParams() {
    if (gTestParams.OpsLimit != 0) return gTestParams;
    return KMeasuredParams;
}

namespace test_hooks {
void SetDefaultKdfParams(const TKdfParams& params) {
    gTestParams = params;
}
} // namespace test_hooks

TDatabaseKey::TDatabaseKey(const TMasterCredentials& credentials, const TKdfParams& params,
                           const unsigned char* salt)
    : FParams(params), FKeyFile(!credentials.KeyFile.empty()) {
    RequireSodium();
    std::memcpy(FSalt, salt, KSaltSize);
    TSecret stretched;
    stretched.Resize(KKeySize);
    TSecret fileHash;
    if (FKeyFile) {
        fileHash.Resize(KKeySize);
        HashKeyFile(credentials.KeyFile, fileHash.Data());
    }
    const char* password = credentials.Password.Empty()
                               ? ""
                               : reinterpret_cast<const char*>(credentials.Password.Data());
    if (crypto_pwhash(stretched.Data(), KKeySize, password, credentials.Password.Size(), FSalt,
                      params.OpsLimit, static_cast<size_t>(params.MemLimit),
                      crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::bad_alloc(); // Argon2id fails only when its memory cannot be had
    // The key file, when there is one, is mixed in by a keyed hash: neither the password nor
    // the file alone gives the key.
    FKey.Resize(KKeySize);
    crypto_generichash(FKey.Data(), KKeySize, fileHash.Data(), fileHash.Size(), stretched.Data(),
                       KKeySize);
}

std::shared_ptr<const TDatabaseKey> TDatabaseKey::Create(const TMasterCredentials& credentials) {
    return Create(credentials, DefaultKdfParams());
}

std::shared_ptr<const TDatabaseKey> TDatabaseKey::Create(const TMasterCredentials& credentials,
                                                         const TKdfParams& params) {
    RequireSodium();
    if (!ParamsUsable(params)) throw std::invalid_argument("key derivation parameters");
    unsigned char salt[KSaltSize];
    randombytes_buf(salt, sizeof salt);
    return std::make_shared<const TDatabaseKey>(credentials, params, salt);
}

std::string TDatabaseKey::Seal(std::string_view text) const {
    THeader h;
    h.Flags = FKeyFile ? KFlagKeyFile : 0;
    h.Params = FParams;
    std::memcpy(h.Salt, FSalt, KSaltSize);
    randombytes_buf(h.Nonce, KNonceSize);
    std::string out = HeaderBytes(h);
    out.resize(KEnvelopeHeaderSize + text.size() + KEnvelopeTagSize);
    unsigned long long sealed = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(
        reinterpret_cast<unsigned char*>(out.data()) + KEnvelopeHeaderSize, &sealed,
        reinterpret_cast<const unsigned char*>(text.data()), text.size(),
        reinterpret_cast<const unsigned char*>(out.data()), KEnvelopeHeaderSize, nullptr, h.Nonce,
        FKey.Data());
    out.resize(KEnvelopeHeaderSize + static_cast<size_t>(sealed));
    return out;
}

// --- the file ---

bool IsEncryptedDatabase(std::string_view bytes) {
    if (bytes.size() < sizeof KMagic) return false;
    int differing = 0;
    for (size_t i = 0; i < sizeof KMagic; ++i)
        differing += static_cast<unsigned char>(bytes[i]) != KMagic[i] ? 1 : 0;
    return differing <= 1;
}

bool NeedsKeyFile(std::string_view file) {
    return file.size() >= 12 && (GetLe(file, 10, 2) & KFlagKeyFile) != 0;
}

TOpenedEnvelope OpenEnvelope(std::string_view file, const TMasterCredentials& credentials) {
    RequireSodium();
    const THeader h = ParseHeader(file);
    TOpenedEnvelope opened;
    // A key file given where none was used, or none where one was, is a wrong key like any.
    opened.Key = std::make_shared<const TDatabaseKey>(credentials, h.Params, h.Salt);
    const size_t sealedSize = file.size() - KEnvelopeHeaderSize;
    opened.Text.Resize(sealedSize - KEnvelopeTagSize);
    unsigned long long opens = 0;
    if (opened.Key->UsesKeyFile() != ((h.Flags & KFlagKeyFile) != 0) ||
        crypto_aead_xchacha20poly1305_ietf_decrypt(
            opened.Text.Data(), &opens, nullptr,
            reinterpret_cast<const unsigned char*>(file.data()) + KEnvelopeHeaderSize, sealedSize,
            reinterpret_cast<const unsigned char*>(file.data()), KEnvelopeHeaderSize, h.Nonce,
            opened.Key->FKey.Data()) != 0)
        ThrowWrongPasswordOrDamaged();
    opened.Text.Resize(static_cast<size_t>(opens));
    return opened;
}

} // namespace quorvane
