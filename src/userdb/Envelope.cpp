#include "userdb/Envelope.h"

#include "base/BaseTexts.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "userdb/UserDbTexts.h"

#include <openssl/evp.h>
#include <sodium.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
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

[[noreturn]] void ThrowWrongPasswordOrDamaged() {
    throw EWrongMasterPassword();
}

void RequireSodium() {
    static const int ready = sodium_init();
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
            throw EQuorvaneError(Msg(texts::CannotOpenFile, path));
        }
        if (n == 0) break;
        crypto_generichash_update(&state, buffer, static_cast<size_t>(n));
        total += static_cast<uint64_t>(n);
    }
    ::close(fd);
    sodium_memzero(buffer, sizeof buffer);
    crypto_generichash_final(&state, out, KKeySize);
    sodium_memzero(&state, sizeof state);
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

bool TDatabaseKey::Matches(const TMasterCredentials& credentials) const {
    if (credentials.KeyFile.empty() == FKeyFile) return false;
    const TDatabaseKey other(credentials, FParams, FSalt);
    return sodium_memcmp(other.FKey.Data(), FKey.Data(), KKeySize) == 0;
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

// XChaCha20-Poly1305 (IETF) computed as the pieces come, exactly as
// crypto_aead_xchacha20poly1305_ietf_encrypt computes it at once: a subkey from HChaCha20 and the
// nonce's first 16 bytes, then ChaCha20-Poly1305 (IETF, RFC 8439) under it with four zero bytes and
// the nonce's last 8 bytes as its nonce and the header as associated data. libsodium derives the
// subkey; the ChaCha20-Poly1305 itself is OpenSSL's, whose vector code seals about three times
// as fast here, and the same algorithm: what opens the file is libsodium's own decrypt.
//
// The sealing runs on a thread of its own while the caller renders the next pieces, so that on
// two cores a save takes hardly longer than a plain one: the caller fills chunks of locked memory,
// the sealer encrypts and authenticates them in order, and the caller hands the sealed ones to
// out between its pieces. The writing stays on the caller's thread: on the sealer's it made the
// sealing wait for the file and the save took the sum of both.
struct TDatabaseKey::TSealer::TState {
    // The cipher's state (OpenSSL wipes it when it is freed); used by the sealing thread, and by
    // the caller only before it starts and after it ended.
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> Cipher{EVP_CIPHER_CTX_new(),
                                                                      EVP_CIPHER_CTX_free};
    uint64_t Sealed = 0; // bytes handed to the sealing thread so far
    bool Finished = false;

    TSecret Filling; // the chunk the caller fills
    std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<TSecret> Full;  // chunks to seal, in order
    std::deque<TSecret> Done;  // sealed chunks, in order, to be handed to out
    std::vector<TSecret> Free; // written chunks, to be filled again
    bool Closing = false;
    bool Failed = false; // the cipher refused a chunk
    std::thread Worker;
};

namespace {
constexpr size_t KSealChunk = 1024 * 1024; // a multiple of ChaCha20's 64-byte block
constexpr size_t KSealQueue = 3;           // chunks filled ahead of the sealing

// OpenSSL's cipher refused its key or a piece, which it does only without memory.
[[noreturn]] void ThrowSealFailed() {
    throw EQuorvaneError(Msg(texts::EncryptionUnavailable));
}
} // namespace

TDatabaseKey::TSealer::TSealer(const TDatabaseKey& key, TDataSink out)
    : FState(std::make_unique<TState>()), FOut(std::move(out)) {
    THeader h;
    h.Flags = key.FKeyFile ? KFlagKeyFile : 0;
    h.Params = key.FParams;
    std::memcpy(h.Salt, key.FSalt, KSaltSize);
    randombytes_buf(h.Nonce, KNonceSize);
    const std::string header = HeaderBytes(h);
    TState& s = *FState;
    TSecret subKey;
    subKey.Resize(crypto_core_hchacha20_OUTPUTBYTES);
    crypto_core_hchacha20(subKey.Data(), h.Nonce, key.FKey.Data(), nullptr);
    unsigned char nonce[12] = {};
    std::memcpy(nonce + 4, h.Nonce + 16, 8);
    int n = 0;
    if (s.Cipher == nullptr ||
        EVP_EncryptInit_ex(s.Cipher.get(), EVP_chacha20_poly1305(), nullptr, subKey.Data(),
                           nonce) != 1 ||
        EVP_EncryptUpdate(s.Cipher.get(), nullptr, &n,
                          reinterpret_cast<const unsigned char*>(header.data()),
                          static_cast<int>(header.size())) != 1)
        ThrowSealFailed();
    FOut(header.data(), header.size());
    s.Filling.Resize(KSealChunk);
    s.Filling.Resize(0);
    s.Worker = std::thread([this] { Seal(); });
}

TDatabaseKey::TSealer::~TSealer() {
    TState& s = *FState;
    if (s.Worker.joinable()) {
        {
            std::lock_guard<std::mutex> lock(s.Mutex);
            s.Closing = true;
            s.Full.clear(); // unsealed chunks are dropped (wiped)
        }
        s.Changed.notify_all();
        s.Worker.join();
    }
}

void TDatabaseKey::TSealer::Seal() {
    TState& s = *FState;
    for (;;) {
        TSecret chunk;
        {
            std::unique_lock<std::mutex> lock(s.Mutex);
            s.Changed.wait(lock, [&s] { return !s.Full.empty() || s.Closing; });
            if (s.Full.empty()) return;
            chunk = std::move(s.Full.front());
            s.Full.pop_front();
        }
        // In place; a stream cipher's output has the input's length.
        int n = 0;
        const bool sealed = EVP_EncryptUpdate(s.Cipher.get(), chunk.Data(), &n, chunk.Data(),
                                              static_cast<int>(chunk.Size())) == 1 &&
                            static_cast<size_t>(n) == chunk.Size();
        {
            std::lock_guard<std::mutex> lock(s.Mutex);
            if (sealed)
                s.Done.push_back(std::move(chunk));
            else
                s.Failed = true;
        }
        if (!sealed) {
            s.Changed.notify_all();
            return;
        }
        s.Changed.notify_all();
    }
}

void TDatabaseKey::TSealer::WriteDone(bool wait) {
    TState& s = *FState;
    for (;;) {
        std::deque<TSecret> done;
        bool room = false;
        {
            std::unique_lock<std::mutex> lock(s.Mutex);
            if (wait)
                s.Changed.wait(lock, [&s] {
                    return !s.Done.empty() || s.Full.size() < KSealQueue || s.Failed;
                });
            if (s.Failed) ThrowSealFailed();
            done.swap(s.Done);
            room = s.Full.size() < KSealQueue;
        }
        for (TSecret& chunk : done) {
            FOut(reinterpret_cast<const char*>(chunk.Data()), chunk.Size());
            chunk.Resize(0);
        }
        if (!done.empty()) {
            std::lock_guard<std::mutex> lock(s.Mutex);
            for (TSecret& chunk : done)
                s.Free.push_back(std::move(chunk));
        }
        if (!wait || room) return;
    }
}

void TDatabaseKey::TSealer::Flush() {
    TState& s = *FState;
    {
        std::lock_guard<std::mutex> lock(s.Mutex);
        s.Sealed += s.Filling.Size();
        s.Full.push_back(std::move(s.Filling));
    }
    s.Changed.notify_all();
    WriteDone(true); // what is sealed goes out; at most KSealQueue chunks wait to be sealed
    {
        std::lock_guard<std::mutex> lock(s.Mutex);
        if (!s.Free.empty()) {
            s.Filling = std::move(s.Free.back());
            s.Free.pop_back();
        }
    }
    if (s.Filling.Empty()) {
        s.Filling.Resize(KSealChunk);
        s.Filling.Resize(0);
    }
}

void TDatabaseKey::TSealer::Write(const char* data, size_t size) {
    TState& s = *FState;
    // ChaCha20 (IETF) counts 2^32 blocks of 64 bytes: 256 GiB, far beyond any database.
    if (s.Sealed + s.Filling.Size() + size > (uint64_t{1} << 37)) throw std::length_error("seal");
    while (size > 0) {
        const size_t take = std::min(size, KSealChunk - s.Filling.Size());
        s.Filling.Append(data, take);
        data += take;
        size -= take;
        if (s.Filling.Size() == KSealChunk) Flush();
    }
}

void TDatabaseKey::TSealer::Finish() {
    TState& s = *FState;
    if (s.Finished) throw std::logic_error("TSealer finished twice");
    s.Finished = true;
    if (!s.Filling.Empty()) { // the last chunk, the only one that may end mid-block
        std::lock_guard<std::mutex> lock(s.Mutex);
        s.Sealed += s.Filling.Size();
        s.Full.push_back(std::move(s.Filling));
    }
    {
        std::lock_guard<std::mutex> lock(s.Mutex);
        s.Closing = true;
    }
    s.Changed.notify_all();
    s.Worker.join(); // every chunk is sealed now
    if (s.Failed) ThrowSealFailed();
    WriteDone(false);
    int n = 0;
    unsigned char tag[KEnvelopeTagSize];
    if (EVP_EncryptFinal_ex(s.Cipher.get(), tag, &n) != 1 || n != 0 ||
        EVP_CIPHER_CTX_ctrl(s.Cipher.get(), EVP_CTRL_AEAD_GET_TAG, sizeof tag, tag) != 1)
        ThrowSealFailed();
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
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(
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
