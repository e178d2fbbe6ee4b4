#pragma once
// The hashes of the last export, kept in the database's state store (DatabaseState.h), so that
// an export of an unchanged database writes the same bytes and hashes only what changed.
//
// The slow forms (bcrypt, SHA-crypt) are too slow to check a remembered hash by computing it
// again: their entries carry a tag, HMAC-SHA-256 under the database's HashCacheKey of the form,
// the work factor, the login, the password and the hash. A hash is reused only when the tag
// recomputed from the user as it is now matches, so a changed password, login, form or work
// factor, a damaged entry or a cache of another database all miss and are hashed afresh.
// Without the key, which only the database holds, the tags tell nothing about the passwords.
//
// A fast form (MD5) needs no key, so its databases store none: the remembered hash gives its
// salt, the password is hashed again with that salt, and the hash is kept exactly when it comes
// out the same. The hashes are those of the password file.

#include "export/DatabaseState.h"
#include "userdb/UserList.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorvane {

class THashCache {
public:
    // key: the database's HashCacheKey (any bytes); empty for a fast form, whose entries carry
    // no tag.
    explicit THashCache(std::string key = {});

    // Takes the entries remembered from the last export.
    void Load(const std::unordered_map<std::string, THashEntry>& entries) { FLoaded = entries; }
    // The stored hash of this user when its tag shows it was made from exactly these inputs:
    // one Put in this export first (a second file in the same form and work factor), then one
    // remembered from the last; nothing without a key.
    // A hit remembered from the last export counts as one of this export's entries from then on.
    std::optional<std::string> Find(std::string_view form, int workFactor, std::string_view login,
                                    std::string_view password);
    // The hash last written for this login (Put in this export, else remembered), not checked:
    // a fast form checks it by hashing the password again with its salt. Nothing when none is
    // remembered.
    const std::string* Remembered(const std::string& login) const;
    // Remembers the hash written for this user (with its tag when there is a key).
    void Put(std::string_view form, int workFactor, std::string_view login,
             std::string_view password, const std::string& hash);
    // The entries Put since construction: the users of this export, no stale ones.
    const std::unordered_map<std::string, THashEntry>& Entries() const { return FNew; }

    bool Keyed() const { return FKeyed != nullptr; }

private:
    std::string Tag(std::string_view form, int workFactor, std::string_view login,
                    std::string_view password, std::string_view hash) const;
    bool TagMatches(const THashEntry& entry, std::string_view form, int workFactor,
                    std::string_view login, std::string_view password) const;

    // HMAC-SHA-256 under the key with its two padded key blocks hashed once: a tag then costs
    // the message's blocks and one more (shared by copies of the cache).
    struct TKeyedHash;
    std::shared_ptr<const TKeyedHash> FKeyed;
    std::unordered_map<std::string, THashEntry> FLoaded; // by login
    std::unordered_map<std::string, THashEntry> FNew;
};

struct THashScheme;

// The hash caches of an export that writes several forms (a file per target, each in its own
// form and work factor): one THashCache per (form, work factor), each loaded from the part of
// the database's state that keeps it and given back to that part, so that each (form, work
// factor) is hashed once per export, however many files take it, and a re-export reuses every
// form's hashes (the same bytes when nothing changed). The list's own form and work factor is
// the state's Hashes, every other one its part of FormHashes; the slow forms' tags are made with
// the list's HashCacheKey, or, for a list without one, with the state's FormHashKey (made here
// when the state has none).
class TFormHashCaches {
public:
    // list and state must outlive this; state is what the last exports kept (empty for a
    // database never saved, whose hashes are then kept only for this export).
    TFormHashCaches(const TUserList& list, const TDatabaseStateData& state);

    // The cache of form with work factor param, made and loaded at its first call; none for a
    // form that keeps no hashes (plain text, a form made from the login) or a slow form of a
    // list whose own key is needed and missing.
    THashCache* For(const THashScheme& form, int param);
    // Puts the hashes of every form used into data (each form's part replaced whole) and the
    // key of FormHashes when one was made; false when no form was used, data untouched.
    bool Store(TDatabaseStateData& data) const;
    // Whether any form's cache holds hashes of this export (Store would change data).
    bool Used() const;

private:
    const TUserList& FList;
    const TDatabaseStateData& FState;
    std::string FFormKey; // FormHashes' key when the list has none, made at its first need
    std::map<std::string, THashCache> FCaches; // by HashFormId ("" the list's own)
};

// Gives the list a new random HashCacheKey when a slow form is chosen and it has none; true
// when it changed the list.
bool EnsureHashCacheKey(TUserList& list);
// A new random key for a hash cache: 64 hexadecimal digits.
std::string NewHashCacheKey();

// Where the state store keeps the hashes of an export in form with work factor param: empty for
// the list's own choice (TDatabaseStateData::Hashes), else the key of its own part
// (TDatabaseStateData::FormHashes).
std::string HashFormId(const TUserList& list, TPasswordsType form, int param);
// The same for any form: a form no database chooses is kept by its stored name
// ("PBKDF2-SHA512/101").
std::string HashFormId(const TUserList& list, const THashScheme& form, int param);

} // namespace quorvane
