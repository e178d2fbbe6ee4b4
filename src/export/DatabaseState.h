#pragma once
// What a database remembers about its exports, kept beside it (".NAME.state", mode 0600) and
// never in the database file itself, so an export does not change the database: per target the
// digest and size of the bytes this database last wrote there and the users they held, and the
// hashes of the last export, which the next one reuses for users that did not change.
//
// The store is a cache of the program's own: a missing, damaged or foreign store reads as empty,
// which costs only time (hashes made afresh) or one question (a target without a record that
// holds users this database does not). It is read and replaced under one lock, so two programs
// exporting the same database do not lose each other's records. The store of an encrypted
// database is sealed with the database's key: its logins and digests are the database's secrets
// too.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorvane {

class TDatabaseKey;

// SHA-256 of data, 64 lowercase hexadecimal digits.
std::string Sha256Hex(std::string_view data);

// What this database last wrote to one target.
struct TTargetRecord {
    std::string Sha256; // of the bytes written
    std::int64_t Size = 0;
    std::int64_t Time = 0; // when, seconds since 1970 (UTC)
    // Each user line written: login and a digest of its value (UserValueDigest).
    std::unordered_map<std::string, std::string> Users;
    bool operator==(const TTargetRecord&) const = default;
};

// The digest a record keeps of a user's value (the hash, or a plain-text password): 16
// hexadecimal digits of its SHA-256, enough to tell a changed line from the one written.
std::string UserValueDigest(std::string_view value);

// One remembered hash: the last value written for a login, with the keyed tag of the slow forms
// (empty for the fast forms, whose hashes are checked by computing them again with their own
// salt).
struct THashEntry {
    std::string Tag;
    std::string Hash;
    bool operator==(const THashEntry&) const = default;
};

struct TDatabaseStateData {
    std::unordered_map<std::string, TTargetRecord> Targets; // by target identity
    // What an export is about to write to a target, kept from before the replacement until its
    // record is: a target found holding it was written by this database, even when the program
    // was ended in between. Kept only while an export runs (or was ended).
    std::unordered_map<std::string, TTargetRecord> Pending;
    std::unordered_map<std::string, THashEntry> Hashes; // by login
    // The hashes of exports in a form or work factor other than the database's own (given for
    // one export), by form (HashFormId) and then by login: each form keeps its own, so exports
    // in two forms do not push out each other's hashes. Written only when there are such.
    std::map<std::string, std::unordered_map<std::string, THashEntry>> FormHashes;
    // The key of the tags in FormHashes when the database holds none of its own (its chosen form
    // is a fast one, and a one-off form leaves the database file alone): 64 hexadecimal digits,
    // or empty.
    std::string FormHashKey;
    bool operator==(const TDatabaseStateData&) const = default;
};

class TDatabaseState {
public:
    // The store of the database at databasePath, encrypted with key (none: a plain database);
    // an empty path (a database never saved) keeps nothing. A sealed store that key does not
    // open reads as empty.
    explicit TDatabaseState(const std::string& databasePath,
                            std::shared_ptr<const TDatabaseKey> key = nullptr);

    // The store's file: ".NAME.state" in the database's folder.
    static std::string PathFor(const std::string& databasePath);

    // Reads the store as it is now; empty when there is none or it cannot be used.
    TDatabaseStateData Load() const;

    // Reads the store under its lock, lets change alter it, and replaces the store with the
    // result (atomically, mode 0600) before the lock is let go. False, with nothing changed on
    // disk, when the store cannot be written (the folder is read-only, the lock is not had within
    // a few seconds): the next export then only knows less.
    bool Update(const std::function<void(TDatabaseStateData&)>& change) const;

    // The store's file as it is to be kept once the database's key becomes newKey (none: a plain
    // database): opened with this store's key and sealed with the new one. Nothing when there
    // is no store, or this key does not open it (it reads as empty either way).
    std::optional<std::string> Resealed(const std::shared_ptr<const TDatabaseKey>& newKey) const;

    bool Usable() const { return !FPath.empty(); }
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
    std::string FDatabasePath;
    std::shared_ptr<const TDatabaseKey> FKey;
};

// The store's text and back; a damaged text parses as far as it is sound.
std::string StateText(const TDatabaseStateData& data);
TDatabaseStateData ParseStateText(std::string_view text);

} // namespace quorvane
