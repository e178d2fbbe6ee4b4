#pragma once
// The hash cache of the slow password forms: each user's last exported bcrypt or SHA-crypt
// string, kept in a file beside the database, so that an export recomputes only what changed.
//
// An entry is the login, the hash, and a tag: HMAC-SHA-256 under the database's HashCacheKey of
// the form, the work factor, the login, the password and the hash. A hash is reused only when
// the tag recomputed from the user as it is now matches, so a changed password, login, form or
// work factor, a damaged entry or a cache of another database all miss and are hashed afresh.
// Without the key, which only the database holds, the tags tell nothing about the passwords;
// the hashes are those of the password file.

#include "userdb/UserList.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorvane {

class THashCache {
public:
    // key: the database's HashCacheKey (any bytes; empty means no cache).
    explicit THashCache(std::string key) : FKey(std::move(key)) {}

    // Reads the cache file. A missing, unreadable or damaged file, or damaged lines in it, only
    // leave fewer entries; this never fails.
    void Load(const std::string& path);
    // The stored hash of this user when it was made from exactly these inputs.
    std::optional<std::string> Find(std::string_view form, int workFactor, std::string_view login,
                                    std::string_view password) const;
    // Remembers the hash for the next Save.
    void Put(std::string_view form, int workFactor, std::string_view login,
             std::string_view password, const std::string& hash);
    // Writes the entries Put since construction (the users of this export, no stale ones)
    // atomically with mode 0600. False when it could not be written: a cache that is not
    // written only costs time at the next export.
    bool Save(const std::string& path) const;

    bool Usable() const { return !FKey.empty(); }

private:
    struct TEntry {
        std::string Tag; // 64 hexadecimal digits
        std::string Hash;
    };
    std::string Tag(std::string_view form, int workFactor, std::string_view login,
                    std::string_view password, std::string_view hash) const;

    std::string FKey;
    std::unordered_map<std::string, TEntry> FLoaded; // by login
    std::unordered_map<std::string, TEntry> FNew;
};

// The cache file of a database: ".NAME.hashes" in the database's folder.
std::string HashCachePath(const std::string& databasePath);

// Gives the list a new random HashCacheKey when a slow form is chosen and it has none; true
// when it changed the list.
bool EnsureHashCacheKey(TUserList& list);

} // namespace quorvane
