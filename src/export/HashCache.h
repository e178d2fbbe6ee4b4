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
// A fast form (MD5) is tagged the same way, with the database's key when it has one and this
// account's (FastFormTagKey) when it has none, so that an unchanged user costs one HMAC rather
// than a thousand rounds of MD5 and a copied state file tells nothing without the key. An entry
// without a tag (of an earlier version, or made without a key) is checked as before: the
// remembered hash gives its salt, the password is hashed again with that salt, and the hash is
// kept exactly when it comes out the same. The hashes are those of the password file.

#include "export/DatabaseState.h"
#include "userdb/UserList.h"

#include <array>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane {

class THashCache {
public:
    // key: the database's HashCacheKey (any bytes), or FastFormTagKey for a fast form; empty:
    // the entries carry no tag.
    explicit THashCache(std::string key = {}) : FKey(std::move(key)) {}

    // Takes the entries remembered from the last export.
    void Load(const THashTable& entries) {
        // A part of the state not parsed yet is parsed where it lies, once, then copied.
        (void)entries.size();
        FLoaded = entries;
        FLoadedAt = nullptr;
        FNextLoaded = 0;
    }
    // The same without a copy: the entries are read where they lie, and must outlive this
    // cache unchanged (the state an export loaded).
    void Refer(const THashTable& entries) {
        // Parsed here, once, before any build's workers read it.
        (void)entries.size();
        FLoaded = THashTable();
        FLoadedAt = &entries;
        FNextLoaded = 0;
    }
    // A hash Find gave and where it lies: in the table Load or Refer took (Remembered; valid
    // until Release), else in this export's own (valid while its entries are: they never move).
    struct THit {
        std::string_view Hash;
        bool Remembered = false;
        std::size_t Slot = 0; // of the table it lies in
    };
    // The stored hash of this user when its tag shows it was made from exactly these inputs:
    // one Put in this export first (a second file in the same form and work factor), then one
    // remembered from the last; nothing without a key.
    std::optional<THit> Find(std::string_view form, int workFactor, std::string_view login,
                             std::string_view password) const;
    // Makes the hash a Find of this export gave for login (the login Find was given) one of
    // this export's, with the tag Find checked: nothing is hashed or looked up again. The hash
    // as this export's entries keep it (see Put).
    std::string_view Keep(std::string_view login, const THit& hit);
    // The hash last written for this login (Put in this export, else remembered), not checked:
    // a fast form checks it by hashing the password again with its salt. Nothing when none is
    // remembered; valid until the next call.
    const std::string* Remembered(const std::string& login) const;
    // Remembers the hash written for this user (with its tag when there is a key). hash is not
    // one of this cache's own entries. The hash as the cache keeps it, valid while its entries
    // are (they never move, TakeEntries included).
    std::string_view Put(std::string_view form, int workFactor, std::string_view login,
                         std::string_view password, std::string_view hash);
    // Room for this many entries, when no last export gives the measure.
    void Expect(std::size_t entries) {
        if (FNew.empty() && Loaded().empty()) FNew.reserve(entries);
    }
    // The entries Put since construction: the users of this export, no stale ones.
    const THashTable& Entries() const { return FNew; }
    // Lets go of the entries Load or Refer took: no Find or Put follows.
    void Release() {
        FLoaded = THashTable();
        FLoadedAt = nullptr;
        FNextLoaded = 0;
    }
    // Entries, given away: the cache holds none of this export's afterwards.
    THashTable TakeEntries() {
        FLastPut.clear();
        return std::exchange(FNew, THashTable());
    }

    bool Keyed() const { return !FKey.empty(); }
    // The key of the tags, and the entries taken by Load.
    const std::string& Key() const { return FKey; }
    const THashTable& Loaded() const { return FLoadedAt != nullptr ? *FLoadedAt : FLoaded; }

private:
    using TTag = std::array<unsigned char, THashTable::KTagBytes>;
    TTag Tag(std::string_view form, int workFactor, std::string_view login,
             std::string_view password, std::string_view hash) const;

    std::string FKey;
    THashTable FLoaded;
    const THashTable* FLoadedAt = nullptr; // the entries Refer took, in place of FLoaded
    // Notes login as put into FNew.
    void Added(std::string_view login);
    // Makes FNew ready for its first entry.
    void Prepare();

    mutable std::string FRemembered;
    THashTable FNew;
    // The last of FNew's logins with a to z folded (CompareAscii): a login past it is not there.
    std::string FLastPut;
    // The slot of Loaded() after the last one Find found: the one it tries first.
    mutable std::size_t FNextLoaded = 0;
};

// The key of this account's tags for the fast forms when the database has none of its own: 64
// hexadecimal digits kept in the account's state folder ($XDG_STATE_HOME/quorvane, 0700; the
// file 0600), made on first use. Empty when no such folder can be had: the fast forms are then
// checked by hashing again.
std::string FastFormTagKey();

struct THashScheme;

// The hash caches of an export that writes several forms (a file per target, each in its own
// form and work factor): one THashCache per (form, work factor), each loaded from the part of
// the database's state that keeps it and given back to that part, so that each (form, work
// factor) is hashed once per export, however many files take it, and a re-export reuses every
// form's hashes (the same bytes when nothing changed). The list's own form and work factor is
// the state's Hashes, every other one its part of FormHashes; the slow forms' tags are made with
// the list's HashCacheKey, or, for a list without one, with the state's FormHashKey (made here
// when the state has none); the fast forms' with the list's HashCacheKey, or this account's
// FastFormTagKey.
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
    // key of FormHashes when one was made; false when no form was used, data untouched. The
    // hashes move: no form's cache holds any of this export's afterwards (a million users'
    // hashes are never held twice).
    bool Store(TDatabaseStateData& data);
    // Whether any form's cache holds hashes of this export.
    bool Used() const;
    // The builds are over: whether Store would change the state (Changed) is settled now, and
    // every cache lets go of what it read from the state, so that the state's tables may be let
    // go too. A million users' last hashes are not kept through the deployment.
    void Settle();
    // HashCacheIdentity of the cache For gives (made and loaded at the first call), as it was
    // loaded; empty for a form that keeps no hashes.
    std::string Identity(const THashScheme& form, int param);
    // The same of the part of data that keeps form's hashes, as Store left it there.
    std::string IdentityIn(const TDatabaseStateData& data, const THashScheme& form, int param);
    // Whether Store would change what the state held when this was made: a form's hashes that
    // differ from its part, or a key of FormHashes made anew. An export that changes nothing
    // writes no state.
    bool Changed() const;

private:
    // The key of form's tags (made or looked up at its first need); none for the list's own
    // slow form without the list's key. id: HashFormId of the form.
    std::optional<std::string> KeyOf(const THashScheme& form, const std::string& id);
    // The part of the state For loads into form's cache; none when there is none to load.
    const THashTable* PartOf(const THashScheme& form, const std::string& id) const;

    const TUserList& FList;
    const TDatabaseStateData& FState;
    std::string FFormKey; // FormHashes' key when the list has none, made at its first need
    std::optional<std::string> FFastKey;       // the fast forms' key, looked up at its first need
    std::map<std::string, THashCache> FCaches; // by HashFormId ("" the list's own)
    std::optional<bool> FChanged;              // settled: what Changed says from then on
};

// What the hashes a cache with this key finds in table depend on: SHA-256 (hex) of the key and
// of the digest of the table as the state keeps it (THashTable::Digest), so that a cache wiped,
// lost, replaced or keyed anew tells apart from the one a file was built with.
std::string HashCacheIdentity(std::string_view key, const THashTable& table);

// SHA-256 (hex) of what a file built from the list depends on: its object stream, every user
// and every setting, without the users' comments, nor their full names and e-mail addresses
// unless withNames (an export writes them somewhere: ExportReadsNames).
std::string ListDigest(const TUserList& list, bool withNames);
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
