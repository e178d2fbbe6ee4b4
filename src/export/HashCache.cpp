#include "export/HashCache.h"

#include "base/AsciiCase.h"
#include "base/Crypto.h"
#include "base/FileSafety.h"
#include "base/Random.h"
#include "export/HashSchemes.h"
#include "export/PasswordFile.h"
#include "userdb/DataLib.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

namespace {

constexpr size_t KTagBytes = THashTable::KTagBytes;

} // namespace

THashCache::TTag THashCache::Tag(std::string_view form, int workFactor, std::string_view login,
                                 std::string_view password, std::string_view hash) const {
    // One HMAC context a thread, its key set once: a fast form tags every user of the database.
    struct TMac {
        std::optional<crypto::TDigest> Mac;
        std::string Key;
        ~TMac() { explicit_bzero(Key.data(), Key.size()); }
    };
    thread_local TMac mac;
    if (!mac.Mac || mac.Key != FKey) {
        mac.Mac.reset();
        explicit_bzero(mac.Key.data(), mac.Key.size());
        mac.Key.clear();
        mac.Mac.emplace(crypto::TDigestKind::Sha256, FKey);
        mac.Key = FKey;
    } else {
        mac.Mac->Restart();
    }
    // Each field with its length in front, so that no two different inputs give the same message.
    const auto field = [&](std::string_view bytes) {
        unsigned char size[8];
        for (int i = 0; i < 8; ++i)
            size[i] = static_cast<unsigned char>((uint64_t{bytes.size()} >> (8 * i)) & 0xFF);
        mac.Mac->Add(size, sizeof size);
        mac.Mac->Add(bytes);
    };
    field("quorvane hash cache entry");
    field(form);
    field(std::to_string(workFactor));
    field(login);
    field(password);
    field(hash);
    static_assert(sizeof(TTag) == crypto::DigestBytes(crypto::TDigestKind::Sha256));
    TTag tag{};
    mac.Mac->Finish(tag.data());
    return tag;
}

std::optional<THashCache::THit> THashCache::Find(std::string_view form, int workFactor,
                                                 std::string_view login,
                                                 std::string_view password) const {
    if (!Keyed()) return std::nullopt;
    const auto matches = [&](const THashEntry& entry) {
        if (entry.Tag.size() != KTagBytes) return false;
        const TTag expected = Tag(form, workFactor, login, password, entry.Hash);
        unsigned char diff = 0;
        for (size_t i = 0; i < KTagBytes; ++i)
            diff |=
                static_cast<unsigned char>(expected[i] ^ static_cast<unsigned char>(entry.Tag[i]));
        return diff == 0;
    };
    // Put in this export already (a second file in the same form and work factor); not looked
    // up for a login past every one put, as each of a file's logins is when it is built.
    if (!FNew.empty() && CompareAscii(login, FLastPut) <= 0) {
        if (const size_t made = FNew.Slot(login); made != TLoginSlots::KNone) {
            const THashEntry entry = FNew.Entry(made);
            if (matches(entry)) return THit{entry.Hash, false, made};
        }
    }
    // A file's users mostly come in the order the last export wrote them: the entry after the
    // last one found is tried before the index.
    const THashTable& loaded = Loaded();
    const size_t slot = FNextLoaded < loaded.size() && loaded.Entry(FNextLoaded).Login == login
                            ? FNextLoaded
                            : loaded.Slot(login);
    if (slot == TLoginSlots::KNone) return std::nullopt;
    FNextLoaded = slot + 1;
    const THashEntry entry = loaded.Entry(slot);
    if (!matches(entry)) return std::nullopt;
    return THit{entry.Hash, true, slot};
}

void THashCache::Prepare() {
    // Room for as many as the last export had: a re-export mostly holds the same users, and a
    // table of a million grown step by step would, for a moment, need its room twice. Their
    // hashes are the last export's bytes, shared rather than copied.
    FNew.ReserveLike(Loaded());
    FNew.ShareHashesOf(Loaded());
}

void THashCache::Added(std::string_view login) {
    if (FNew.size() == 1 || CompareAscii(login, FLastPut) > 0) FLastPut = login;
}

std::string_view THashCache::Keep(std::string_view login, const THit& hit) {
    if (!hit.Remembered) return hit.Hash; // this export's entry already, its tag the one checked
    if (FNew.empty()) Prepare();
    const std::string_view kept = FNew.PutFrom(login, Loaded(), hit.Slot);
    Added(login);
    return kept;
}

const std::string* THashCache::Remembered(const std::string& login) const {
    std::optional<THashEntry> entry = FNew.Find(login);
    if (!entry) entry = Loaded().Find(login);
    if (!entry) return nullptr;
    FRemembered = std::string(entry->Hash);
    return &FRemembered;
}

std::string_view THashCache::Put(std::string_view form, int workFactor, std::string_view login,
                                 std::string_view password, std::string_view hash) {
    if (FNew.empty()) Prepare();
    std::string_view kept;
    if (!Keyed()) {
        kept = FNew.Put(login, {}, hash);
    } else {
        const TTag tag = Tag(form, workFactor, login, password, hash);
        kept = FNew.Put(
            login, std::string_view(reinterpret_cast<const char*>(tag.data()), tag.size()), hash);
    }
    Added(login);
    return kept;
}

std::string NewHashCacheKey() {
    unsigned char key[32];
    for (unsigned char& b : key)
        b = static_cast<unsigned char>(SecureRandom().Random(256));
    std::string text = crypto::LowerHex(key, sizeof key);
    explicit_bzero(key, sizeof key);
    return text;
}

std::string FastFormTagKey() {
    std::string folder;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/')
        folder = state;
    else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        folder = std::string(home) + "/.local/state";
    else
        return {};
    folder += "/quorvane";
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return {};
        if (slash == std::string::npos) break;
    }
    const std::string path = folder + "/hash-tag-key";
    const auto read = [&]() -> std::string {
        std::optional<std::string> text = ReadSideFile(path, 64);
        if (!text || text->size() != 64 ||
            text->find_first_not_of("0123456789abcdef") != std::string::npos)
            return {};
        return std::move(*text);
    };
    if (std::string key = read(); !key.empty()) return key;
    // Made whole beside it and linked into place, so that two programs starting at once agree
    // on one key and no program reads half of one.
    std::string key = NewHashCacheKey();
    const std::string made = path + "." + std::to_string(::getpid());
    const int fd = OpenSideFile(made, O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return {};
    const bool written =
        ::write(fd, key.data(), key.size()) == static_cast<ssize_t>(key.size()) && ::fsync(fd) == 0;
    ::close(fd);
    const bool linked = written && ::link(made.c_str(), path.c_str()) == 0;
    ::unlink(made.c_str());
    if (!linked) {
        explicit_bzero(key.data(), key.size());
        return read();
    }
    return key;
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

namespace {

// SHA-256 of pieces handed over one after the other, in hexadecimal.
class TSha256 {
public:
    void Update(const char* data, std::size_t size) { FDigest.Add(data, size); }
    std::string Hex() {
        unsigned char digest[crypto::DigestBytes(crypto::TDigestKind::Sha256)];
        FDigest.Finish(digest);
        return crypto::LowerHex(digest, sizeof digest);
    }

private:
    crypto::TDigest FDigest{crypto::TDigestKind::Sha256};
};

} // namespace

std::string HashCacheIdentity(std::string_view key, const THashTable& table) {
    // The digest of the table as the store keeps it: of a table read and never parsed, the one
    // the store recorded beside it, so that a table nobody needs is not hashed again.
    TSha256 sha;
    const auto size = static_cast<std::uint32_t>(key.size());
    sha.Update(reinterpret_cast<const char*>(&size), sizeof size);
    sha.Update(key.data(), key.size());
    const std::string digest = table.Digest();
    sha.Update(digest.data(), digest.size());
    return sha.Hex();
}

std::string ListDigest(const TUserList& list, bool withNames) {
    TSha256 sha;
    WriteExportedStream(list, withNames,
                        [&sha](const char* data, std::size_t size) { sha.Update(data, size); });
    return sha.Hex();
}

TFormHashCaches::TFormHashCaches(const TUserList& list, const TDatabaseStateData& state)
    : FList(list), FState(state) {}

std::optional<std::string> TFormHashCaches::KeyOf(const THashScheme& form, const std::string& id) {
    if (!form.Keyed) {
        // A fast form's tags: the list's key, else this account's (the file is then left
        // alone); without either its hashes are checked by hashing again.
        if (!FFastKey)
            FFastKey = FList.HashCacheKey.empty() ? FastFormTagKey() : FList.HashCacheKey;
        return *FFastKey;
    }
    // The list's own form takes the list's key only; another form the list's key, or the
    // state's own when the list has none, so that a form given for one export leaves the
    // database file alone.
    if (!FList.HashCacheKey.empty()) return FList.HashCacheKey;
    if (id.empty()) return std::nullopt;
    if (FFormKey.empty())
        FFormKey = FState.FormHashKey.empty() ? NewHashCacheKey() : FState.FormHashKey;
    return FFormKey;
}

const THashTable* TFormHashCaches::PartOf(const THashScheme& form, const std::string& id) const {
    if (id.empty()) return &FState.Hashes;
    const auto part = FState.FormHashes.find(id);
    if (part == FState.FormHashes.end()) return nullptr;
    // Tags made with another key than the one now used check nothing.
    if (form.Keyed && FList.HashCacheKey.empty() && FFormKey != FState.FormHashKey) return nullptr;
    return &part->second;
}

THashCache* TFormHashCaches::For(const THashScheme& form, int param) {
    if (form.StoresClearText() || form.HashForUser != nullptr) return nullptr;
    const std::string id = HashFormId(FList, form, param);
    if (const auto it = FCaches.find(id); it != FCaches.end()) return &it->second;
    const std::optional<std::string> key = KeyOf(form, id);
    if (!key) return nullptr;
    THashCache& cache = FCaches.emplace(id, THashCache(*key)).first->second;
    // Read where it lies in the state: the state outlives the caches and is not changed.
    if (const THashTable* part = PartOf(form, id)) cache.Refer(*part);
    return &cache;
}

bool TFormHashCaches::Used() const {
    for (const auto& [id, cache] : FCaches)
        if (!cache.Entries().empty()) return true;
    return false;
}

void TFormHashCaches::Settle() {
    FChanged = Changed();
    for (auto& [id, cache] : FCaches)
        cache.Release();
}

bool TFormHashCaches::Changed() const {
    if (FChanged) return *FChanged;
    // A key of FormHashes other than the state's: every part of FormHashes is written anew.
    const bool newKey = !FFormKey.empty() && FFormKey != FState.FormHashKey;
    for (const auto& [id, cache] : FCaches) {
        if (cache.Entries().empty()) continue;
        if (id.empty()) {
            if (!(FState.Hashes == cache.Entries())) return true;
            continue;
        }
        const auto part = FState.FormHashes.find(id);
        if (newKey || part == FState.FormHashes.end() || !(part->second == cache.Entries()))
            return true;
    }
    return false;
}

bool TFormHashCaches::Store(TDatabaseStateData& data) {
    bool stored = false;
    // Another program may have made the state's key meanwhile: the tags made with the other
    // one no longer check.
    if (!FFormKey.empty() && data.FormHashKey != FFormKey) {
        data.FormHashes.clear();
        data.FormHashKey = FFormKey;
    }
    for (auto& [id, cache] : FCaches) {
        if (cache.Entries().empty()) continue;
        (id.empty() ? data.Hashes : data.FormHashes[id]) = cache.TakeEntries();
        stored = true;
    }
    return stored;
}

std::string TFormHashCaches::Identity(const THashScheme& form, int param) {
    if (form.StoresClearText() || form.HashForUser != nullptr) return {};
    const std::string id = HashFormId(FList, form, param);
    if (const auto it = FCaches.find(id); it != FCaches.end())
        return HashCacheIdentity(it->second.Key(), it->second.Loaded());
    // What For would load, read where it lies rather than copied.
    const std::optional<std::string> key = KeyOf(form, id);
    if (!key) return {};
    static const THashTable none;
    const THashTable* part = PartOf(form, id);
    return HashCacheIdentity(*key, part != nullptr ? *part : none);
}

std::string TFormHashCaches::IdentityIn(const TDatabaseStateData& data, const THashScheme& form,
                                        int param) {
    const THashCache* cache = For(form, param);
    if (cache == nullptr) return {};
    const std::string id = HashFormId(FList, form, param);
    if (id.empty()) return HashCacheIdentity(cache->Key(), data.Hashes);
    const auto part = data.FormHashes.find(id);
    return HashCacheIdentity(cache->Key(),
                             part == data.FormHashes.end() ? THashTable() : part->second);
}

} // namespace quorvane
