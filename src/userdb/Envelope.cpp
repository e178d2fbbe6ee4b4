#include "userdb/Envelope.h"

#include "base/BaseTexts.h"
#include "base/Crypto.h"
#include "base/CryptoPlugin.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "userdb/UserDbTexts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace quorvane {

namespace {

constexpr unsigned char KMagic[8] = {0x89, 'Q', 'V', 'D', 'B', '\r', '\n', 0x1a};
constexpr uint16_t KVersion = 1;
constexpr uint16_t KFlagKeyFile = 1;
constexpr uint32_t KKdfArgon2id = 2;
constexpr size_t KSaltSize = 16;
constexpr size_t KNonceSize = 24;
constexpr size_t KKeySize = 32;

// Measured with bench_envelope on a two-core machine: one pass over 64 MiB takes about 27 ms of
// one core, 20 passes 0.54 s. They are also the most a file may ask for: no more than this program
// writes (or wrote before: 3 passes), so that a damaged header cannot make one try take minutes or
// all memory. A file asking for more is refused before anything is spent.
constexpr TKdfParams KMeasuredParams{20, uint64_t{64} << 20};
TKdfParams gTestParams{};

static_assert(KSaltSize == crypto_pwhash_SALTBYTES);
static_assert(KNonceSize == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
static_assert(KKeySize == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);
static_assert(KEnvelopeTagSize == crypto_aead_xchacha20poly1305_ietf_ABYTES);
static_assert(KEnvelopeHeaderSize == 8 + 2 + 2 + 4 + 8 + 8 + KSaltSize + KNonceSize);

[[noreturn]] void ThrowWrongPasswordOrDamaged() {
    throw EWrongMasterPassword();
}

void RequireSodium() {
    static const int ready = crypto::Sodium().sodium_init();
    if (ready < 0) throw EQuorvaneError(Msg(texts::EncryptionUnavailable));
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
    return p.OpsLimit >= crypto_pwhash_OPSLIMIT_MIN && p.OpsLimit <= KMeasuredParams.OpsLimit &&
           p.MemLimit >= crypto_pwhash_MEMLIMIT_MIN && p.MemLimit <= KMeasuredParams.MemLimit;
}

// "64 MiB", "8 KiB", "1000 bytes".
std::string MemoryAmount(uint64_t bytes) {
    if (bytes != 0 && bytes % (uint64_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes != 0 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
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
        GetLe(file, 12, 4) != KKdfArgon2id)
        ThrowWrongPasswordOrDamaged();
    if (!ParamsUsable(h.Params))
        throw EQuorvaneError(
            Msg(texts::KdfOutOfBounds, std::to_string(h.Params.OpsLimit),
                MemoryAmount(h.Params.MemLimit), std::to_string(crypto_pwhash_OPSLIMIT_MIN),
                std::to_string(KMeasuredParams.OpsLimit), MemoryAmount(crypto_pwhash_MEMLIMIT_MIN),
                MemoryAmount(KMeasuredParams.MemLimit)));
    std::memcpy(h.Salt, file.data() + 32, KSaltSize);
    std::memcpy(h.Nonce, file.data() + 48, KNonceSize);
    return h;
}

// BLAKE2b-256 of a key file's whole content.
void HashKeyFile(const std::string& path, unsigned char out[KKeySize]) {
    const int fd = OpenInputFile(path);
    crypto_generichash_state state;
    crypto::Sodium().crypto_generichash_init(&state, nullptr, 0, KKeySize);
    unsigned char buffer[65536];
    uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            explicit_bzero(buffer, sizeof buffer);
            throw EQuorvaneError(Msg(texts::CannotOpenFile, path));
        }
        if (n == 0) break;
        crypto::Sodium().crypto_generichash_update(&state, buffer, static_cast<size_t>(n));
        total += static_cast<uint64_t>(n);
    }
    ::close(fd);
    explicit_bzero(buffer, sizeof buffer);
    crypto::Sodium().crypto_generichash_final(&state, out, KKeySize);
    explicit_bzero(&state, sizeof state);
    if (total == 0) throw EQuorvaneError(Msg(texts::KeyFileEmpty, path));
}

} // namespace

EWrongMasterPassword::EWrongMasterPassword() : EQuorvaneError(Msg(texts::WrongMasterPassword)) {}

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
    if (FData != nullptr) crypto::Sodium().sodium_free(FData); // wipes before it frees
    FData = nullptr;
    FSize = FCapacity = 0;
}

void TSecret::Reserve(size_t capacity) {
    if (capacity <= FCapacity) return;
    RequireSodium();
    size_t grown = FCapacity < 4096 ? 4096 : FCapacity;
    while (grown < capacity)
        grown = grown > SIZE_MAX / 2 ? capacity : grown * 2;
    auto* data = static_cast<unsigned char*>(crypto::Sodium().sodium_malloc(grown));
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
    if (crypto::Sodium().crypto_pwhash(stretched.Data(), KKeySize, password,
                                       credentials.Password.Size(), FSalt, params.OpsLimit,
                                       static_cast<size_t>(params.MemLimit),
                                       crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::bad_alloc(); // Argon2id fails only when its memory cannot be had
    // The key file, when there is one, is mixed in by a keyed hash: neither the password nor
    // the file alone gives the key.
    FKey.Resize(KKeySize);
    crypto::Sodium().crypto_generichash(FKey.Data(), KKeySize, fileHash.Data(), fileHash.Size(),
                                        stretched.Data(), KKeySize);
}

bool TDatabaseKey::Matches(const TMasterCredentials& credentials) const {
    if (credentials.KeyFile.empty() == FKeyFile) return false;
    const TDatabaseKey other(credentials, FParams, FSalt);
    return crypto::ConstantTimeEqual(other.FKey.Data(), FKey.Data(), KKeySize);
}

std::shared_ptr<const TDatabaseKey> TDatabaseKey::Create(const TMasterCredentials& credentials) {
    return Create(credentials, DefaultKdfParams());
}

std::shared_ptr<const TDatabaseKey> TDatabaseKey::Create(const TMasterCredentials& credentials,
                                                         const TKdfParams& params) {
    RequireSodium();
    if (!ParamsUsable(params)) throw std::invalid_argument("key derivation parameters");
    unsigned char salt[KSaltSize];
    crypto::Sodium().randombytes_buf(salt, sizeof salt);
    return std::make_shared<const TDatabaseKey>(credentials, params, salt);
}

std::string TDatabaseKey::Seal(std::string_view text) const {
    std::string out;
    out.reserve(KEnvelopeHeaderSize + text.size() + KEnvelopeTagSize);
    TSealer sealer(*this, [&out](const char* data, size_t size) { out.append(data, size); });
    sealer.Write(text.data(), text.size());
    sealer.Finish();
    return out;
}

// XChaCha20-Poly1305 (IETF) computed as the pieces come, byte for byte what
// crypto_aead_xchacha20poly1305_ietf_decrypt opens: a subkey from HChaCha20 and the nonce's first
// 16 bytes, then ChaCha20-Poly1305 (RFC 8439) under it with four zero bytes and the nonce's last 8
// bytes as its nonce and the header as associated data. Every step is libsodium's: the one-time
// Poly1305 key is the first block of the key stream, the text is enciphered from block 1 on, and
// Poly1305 takes the header, the sealed text, each padded to 16 bytes, and both lengths.
//
// The text collects in a chunk of locked memory, which is sealed in place and handed to out when
// full, so the clear text never lies in ordinary memory nor is held whole.
struct TDatabaseKey::TSealer::TState {
    TSecret SubKey;
    unsigned char Nonce[crypto_stream_chacha20_ietf_NONCEBYTES] = {};
    crypto_onetimeauth_poly1305_state Mac{};
    TSecret Chunk;                  // the text not sealed yet: less than a chunk
    std::vector<unsigned char> Out; // sealed bytes of a large piece on their way to out
    uint64_t Block = 1;             // the key stream's block that seals the chunk's first byte
    uint64_t Sealed = 0;            // bytes of text sealed so far
    bool Finished = false;

    ~TState() { explicit_bzero(&Mac, sizeof Mac); }

    // Enciphers size bytes of text from in to sealed (which may be in) and authenticates them.
    void Seal(const unsigned char* in, size_t size, unsigned char* sealed);
};

namespace {
constexpr size_t KSealChunk = 64 * 1024; // a multiple of ChaCha20's 64-byte block
constexpr size_t KChaChaBlock = 64;
// ChaCha20 (IETF) counts 2^32 blocks of 64 bytes, the first of which keys Poly1305: 256 GiB of
// text, far beyond any database.
constexpr uint64_t KMaxSealed = (uint64_t{1} << 38) - KChaChaBlock;

void PadTo16(crypto_onetimeauth_poly1305_state& mac, uint64_t length) {
    static const unsigned char zeros[16] = {};
    if (length % 16 != 0)
        crypto::Sodium().crypto_onetimeauth_poly1305_update(&mac, zeros, 16 - length % 16);
}
} // namespace

void TDatabaseKey::TSealer::TState::Seal(const unsigned char* in, size_t size,
                                         unsigned char* sealed) {
    crypto::Sodium().crypto_stream_chacha20_ietf_xor_ic(
        sealed, in, size, Nonce, static_cast<uint32_t>(Block), SubKey.Data());
    crypto::Sodium().crypto_onetimeauth_poly1305_update(&Mac, sealed, size);
    Block += (size + KChaChaBlock - 1) / KChaChaBlock;
    Sealed += size;
}

TDatabaseKey::TSealer::TSealer(const TDatabaseKey& key, TDataSink out)
    : FState(std::make_unique<TState>()), FOut(std::move(out)) {
    RequireSodium();
    THeader h;
    h.Flags = key.FKeyFile ? KFlagKeyFile : 0;
    h.Params = key.FParams;
    std::memcpy(h.Salt, key.FSalt, KSaltSize);
    crypto::Sodium().randombytes_buf(h.Nonce, KNonceSize);
    const std::string header = HeaderBytes(h);
    TState& s = *FState;
    static_assert(crypto_core_hchacha20_OUTPUTBYTES == crypto_stream_chacha20_ietf_KEYBYTES);
    s.SubKey.Resize(crypto_core_hchacha20_OUTPUTBYTES);
    crypto::Sodium().crypto_core_hchacha20(s.SubKey.Data(), h.Nonce, key.FKey.Data(), nullptr);
    static_assert(sizeof s.Nonce == 4 + KNonceSize - crypto_core_hchacha20_INPUTBYTES);
    std::memcpy(s.Nonce + 4, h.Nonce + crypto_core_hchacha20_INPUTBYTES, sizeof s.Nonce - 4);
    TSecret macKey;
    macKey.Resize(KChaChaBlock);
    std::memset(macKey.Data(), 0, KChaChaBlock);
    crypto::Sodium().crypto_stream_chacha20_ietf_xor_ic(macKey.Data(), macKey.Data(), KChaChaBlock,
                                                        s.Nonce, 0, s.SubKey.Data());
    static_assert(crypto_onetimeauth_poly1305_KEYBYTES <= KChaChaBlock);
    crypto::Sodium().crypto_onetimeauth_poly1305_init(&s.Mac, macKey.Data());
    crypto::Sodium().crypto_onetimeauth_poly1305_update(
        &s.Mac, reinterpret_cast<const unsigned char*>(header.data()), header.size());
    PadTo16(s.Mac, header.size());
    s.Chunk.Resize(KSealChunk);
    s.Chunk.Resize(0);
    FOut(header.data(), header.size());
}

TDatabaseKey::TSealer::~TSealer() = default; // the unsealed rest is wiped with the chunk

void TDatabaseKey::TSealer::SealChunk() {
    TState& s = *FState;
    const size_t size = s.Chunk.Size();
    if (size == 0) return;
    s.Seal(s.Chunk.Data(), size, s.Chunk.Data());
    // Sealed now: the chunk is emptied even when out raises.
    try {
        FOut(reinterpret_cast<const char*>(s.Chunk.Data()), size);
    } catch (...) {
        s.Chunk.Resize(0);
        throw;
    }
    s.Chunk.Resize(0);
}

void TDatabaseKey::TSealer::Write(const char* data, size_t size) {
    TState& s = *FState;
    if (s.Finished) throw std::logic_error("TSealer written after Finish");
    if (size > KMaxSealed - s.Sealed - s.Chunk.Size()) throw std::length_error("seal");
    while (size > 0) {
        if (s.Chunk.Empty() && size >= KSealChunk) {
            // Whole chunks of a large piece are sealed straight from it: the clear text is
            // copied nowhere, the sealed bytes go to out from a buffer of their own.
            const size_t take = size - size % KSealChunk;
            const size_t step = std::min(take, KSealChunk * 16);
            s.Out.resize(step);
            for (size_t at = 0; at < take; at += step) {
                const size_t n = std::min(step, take - at);
                s.Seal(reinterpret_cast<const unsigned char*>(data) + at, n, s.Out.data());
                FOut(reinterpret_cast<const char*>(s.Out.data()), n);
            }
            data += take;
            size -= take;
            continue;
        }
        const size_t take = std::min(size, KSealChunk - s.Chunk.Size());
        s.Chunk.Append(data, take);
        data += take;
        size -= take;
        if (s.Chunk.Size() == KSealChunk) SealChunk();
    }
}

void TDatabaseKey::TSealer::Finish() {
    TState& s = *FState;
    if (s.Finished) throw std::logic_error("TSealer finished twice");
    s.Finished = true;
    SealChunk(); // the last chunk, the only one that may end mid-block
    PadTo16(s.Mac, s.Sealed);
    unsigned char lengths[16];
    const uint64_t fields[2] = {KEnvelopeHeaderSize, s.Sealed};
    for (size_t i = 0; i < 16; ++i)
        lengths[i] = static_cast<unsigned char>((fields[i / 8] >> (8 * (i % 8))) & 0xFF);
    crypto::Sodium().crypto_onetimeauth_poly1305_update(&s.Mac, lengths, sizeof lengths);
    unsigned char tag[KEnvelopeTagSize];
    static_assert(crypto_onetimeauth_poly1305_BYTES == KEnvelopeTagSize);
    crypto::Sodium().crypto_onetimeauth_poly1305_final(&s.Mac, tag);
    FOut(reinterpret_cast<const char*>(tag), sizeof tag);
}

TSecret TDatabaseKey::Open(std::string_view file) const {
    THeader h;
    try {
        h = ParseHeader(file);
    } catch (const EWrongMasterPassword&) {
        throw EDamagedEnvelope();
    }
    if (!(h.Params == FParams) || std::memcmp(h.Salt, FSalt, KSaltSize) != 0 ||
        ((h.Flags & KFlagKeyFile) != 0) != FKeyFile)
        ThrowWrongPasswordOrDamaged();
    TSecret text;
    const size_t sealedSize = file.size() - KEnvelopeHeaderSize;
    text.Resize(sealedSize - KEnvelopeTagSize);
    unsigned long long opens = 0;
    if (crypto::Sodium().crypto_aead_xchacha20poly1305_ietf_decrypt(
            text.Data(), &opens, nullptr,
            reinterpret_cast<const unsigned char*>(file.data()) + KEnvelopeHeaderSize, sealedSize,
            reinterpret_cast<const unsigned char*>(file.data()), KEnvelopeHeaderSize, h.Nonce,
            FKey.Data()) != 0)
        throw EDamagedEnvelope(); // this key's own header: the rest is not what it sealed
    text.Resize(static_cast<size_t>(opens));
    return text;
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

void CheckKeyDerivation(std::string_view file) {
    try {
        ParseHeader(file);
    } catch (const EWrongMasterPassword&) {
        // Damage of another kind is found when the file is opened, as a wrong password is.
    }
}

TOpenedEnvelope OpenEnvelope(std::string_view file, const TMasterCredentials& credentials) {
    RequireSodium();
    const THeader h = ParseHeader(file);
    TOpenedEnvelope opened;
    // A key file given where none was used, or none where one was, is a wrong key like any.
    opened.Key = std::make_shared<const TDatabaseKey>(credentials, h.Params, h.Salt);
    opened.Text = opened.Key->Open(file);
    return opened;
}

} // namespace quorvane
