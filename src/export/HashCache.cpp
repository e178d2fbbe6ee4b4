#include "export/HashCache.h"

#include "base/Random.h"
#include "export/HashSchemes.h"
#include "export/PasswordFile.h"

#include <cstring>
#include <openssl/evp.h>

#include <memory>
#include <new>
#include <utility>

namespace quorvane {

namespace {

constexpr size_t KTagDigits = 64;

std::string Hex(const unsigned char* data, size_t size) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out(2 * size, '0');
    for (size_t i = 0; i < size; ++i) {
        out[2 * i] = digits[data[i] >> 4];
        out[2 * i + 1] = digits[data[i] & 15];
    }
    return out;
}

// Each field with its length in front, so that no two different inputs give the same message.
void AppendField(std::string& message, std::string_view field) {
    const uint64_t n = field.size();
    for (int i = 0; i < 8; ++i)
        message.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
    message.append(field);
}

} // namespace

struct THashCache::TKeyedHash {
    EVP_MD_CTX* Inner = nullptr; // SHA-256 after the key XOR ipad
    EVP_MD_CTX* Outer = nullptr; // SHA-256 after the key XOR opad

    explicit TKeyedHash(std::string_view key) {
        unsigned char block[64] = {};
        if (key.size() > sizeof block) {
            unsigned int size = 0;
            EVP_Digest(key.data(), key.size(), block, &size, EVP_sha256(), nullptr);
        } else {
            std::memcpy(block, key.data(), key.size());
        }
        unsigned char pad[64];
        Inner = EVP_MD_CTX_new();
        Outer = EVP_MD_CTX_new();
        for (auto [ctx, mask] : {std::pair{Inner, 0x36}, std::pair{Outer, 0x5c}}) {
            for (size_t i = 0; i < sizeof pad; ++i)
                pad[i] = static_cast<unsigned char>(block[i] ^ mask);
            if (ctx == nullptr || EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1 ||
                EVP_DigestUpdate(ctx, pad, sizeof pad) != 1) {
                explicit_bzero(block, sizeof block);
                explicit_bzero(pad, sizeof pad);
                EVP_MD_CTX_free(Inner);
                EVP_MD_CTX_free(Outer);
                throw std::bad_alloc();
            }
        }
        explicit_bzero(block, sizeof block);
        explicit_bzero(pad, sizeof pad);
    }
    ~TKeyedHash() {
        EVP_MD_CTX_free(Inner);
        EVP_MD_CTX_free(Outer);
    }
    TKeyedHash(const TKeyedHash&) = delete;
    TKeyedHash& operator=(const TKeyedHash&) = delete;

    // HMAC-SHA-256 of message into mac (32 bytes).
    void Mac(std::string_view message, unsigned char* mac) const {
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        unsigned char inner[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        const bool ok =
            ctx != nullptr && EVP_MD_CTX_copy_ex(ctx, Inner) == 1 &&
            EVP_DigestUpdate(ctx, message.data(), message.size()) == 1 &&
            EVP_DigestFinal_ex(ctx, inner, &size) == 1 && EVP_MD_CTX_copy_ex(ctx, Outer) == 1 &&
            EVP_DigestUpdate(ctx, inner, size) == 1 && EVP_DigestFinal_ex(ctx, mac, &size) == 1;
        EVP_MD_CTX_free(ctx);
        if (!ok) throw std::bad_alloc();
    }
};

THashCache::THashCache(std::string key)
    : FKeyed(key.empty() ? nullptr : std::make_shared<const TKeyedHash>(key)) {
    explicit_bzero(key.data(), key.size());
}

std::string THashCache::Tag(std::string_view form, int workFactor, std::string_view login,
                            std::string_view password, std::string_view hash) const {
    std::string message;
    message.reserve(64 + form.size() + login.size() + password.size() + hash.size());
    AppendField(message, "quorvane hash cache entry");
    AppendField(message, form);
    AppendField(message, std::to_string(workFactor));
    AppendField(message, login);
    AppendField(message, password);
    AppendField(message, hash);
    unsigned char mac[32];
    FKeyed->Mac(message, mac);
    explicit_bzero(message.data(), message.size());
    return Hex(mac, sizeof mac);
}

bool THashCache::TagMatches(const THashEntry& entry, std::string_view form, int workFactor,
                            std::string_view login, std::string_view password) const {
    if (entry.Tag.size() != KTagDigits) return false;
    const std::string expected = Tag(form, workFactor, login, password, entry.Hash);
    unsigned char diff = 0;
    for (size_t i = 0; i < KTagDigits; ++i)
        diff |= static_cast<unsigned char>(expected[i] ^ entry.Tag[i]);
    return diff == 0;
}

std::optional<std::string> THashCache::Find(std::string_view form, int workFactor,
                                            std::string_view login, std::string_view password) {
    if (!Keyed()) return std::nullopt;
    const std::string key(login);
    if (const auto it = FNew.find(key);
        it != FNew.end() && TagMatches(it->second, form, workFactor, login, password))
        return it->second.Hash;
    const auto it = FLoaded.find(key);
    if (it == FLoaded.end() || !TagMatches(it->second, form, workFactor, login, password))
        return std::nullopt;
    // Kept for this export as it is: its Put finds it there and need not tag it again.
    FNew[key] = it->second;
    return it->second.Hash;
}

const std::string* THashCache::Remembered(const std::string& login) const {
    if (const auto it = FNew.find(login); it != FNew.end()) return &it->second.Hash;
    const auto it = FLoaded.find(login);
    return it == FLoaded.end() ? nullptr : &it->second.Hash;
}

void THashCache::Put(std::string_view form, int workFactor, std::string_view login,
                     std::string_view password, const std::string& hash) {
    // A hash a Find just gave for this login: its tag is the one found (the hash holds its salt
    // and settings, so the same hash comes from the same inputs).
    if (const auto it = FNew.find(std::string(login));
        it != FNew.end() && it->second.Hash == hash && Keyed())
        return;
    FNew[std::string(login)] =
        THashEntry{Keyed() ? Tag(form, workFactor, login, password, hash) : std::string(), hash};
}

std::string NewHashCacheKey() {
    unsigned char key[32];
    for (unsigned char& b : key)
        b = static_cast<unsigned char>(SecureRandom().Random(256));
    std::string text = Hex(key, sizeof key);
    explicit_bzero(key, sizeof key);
    return text;
}

bool EnsureHashCacheKey(TUserList& list) {
    if (!IsSlowPassType(list.PassType) || !list.HashCacheKey.empty()) return false;
    list.HashCacheKey = NewHashCacheKey();
    return true;
}

std::string HashFormId(const TUserList& list, TPasswordsType form, int param) {
    if (form == list.PassType && param == StoredSchemeParam(list, form)) return {};
    return std::string(PasswordsTypeName(form)) + "/" + std::to_string(param);
}

std::string HashFormId(const TUserList& list, const THashScheme& form, int param) {
    if (form.IsDatabaseForm()) return HashFormId(list, form.Id, param);
    return std::string(form.StoredName) + "/" + std::to_string(param);
}

TFormHashCaches::TFormHashCaches(const TUserList& list, const TDatabaseStateData& state)
    : FList(list), FState(state) {}

THashCache* TFormHashCaches::For(const THashScheme& form, int param) {
    if (form.StoresClearText() || form.HashForUser != nullptr) return nullptr;
    const std::string id = HashFormId(FList, form, param);
    if (const auto it = FCaches.find(id); it != FCaches.end()) return &it->second;
    std::string key;
    if (form.Keyed) {
        // The list's own form takes the list's key only; another form the list's key, or the
        // state's own when the list has none, so that a form given for one export leaves the
        // database file alone.
        if (!FList.HashCacheKey.empty()) {
            key = FList.HashCacheKey;
        } else if (!id.empty()) {
            if (FFormKey.empty())
                FFormKey = FState.FormHashKey.empty() ? NewHashCacheKey() : FState.FormHashKey;
            key = FFormKey;
        } else {
            return nullptr;
        }
    }
    THashCache& cache = FCaches.emplace(id, THashCache(key)).first->second;
    if (id.empty()) {
        cache.Load(FState.Hashes);
    } else if (const auto part = FState.FormHashes.find(id);
               part != FState.FormHashes.end() &&
               (!form.Keyed || !FList.HashCacheKey.empty() || FFormKey == FState.FormHashKey)) {
        cache.Load(part->second);
    }
    return &cache;
}

bool TFormHashCaches::Used() const {
    for (const auto& [id, cache] : FCaches)
        if (!cache.Entries().empty()) return true;
    return false;
}

bool TFormHashCaches::Store(TDatabaseStateData& data) const {
    bool stored = false;
    // Another program may have made the state's key meanwhile: the tags made with the other
    // one no longer check.
    if (!FFormKey.empty() && data.FormHashKey != FFormKey) {
        data.FormHashes.clear();
        data.FormHashKey = FFormKey;
    }
    for (const auto& [id, cache] : FCaches) {
        if (cache.Entries().empty()) continue;
        (id.empty() ? data.Hashes : data.FormHashes[id]) = cache.Entries();
        stored = true;
    }
    return stored;
}

} // namespace quorvane
