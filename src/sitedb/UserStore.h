#pragma once
// Users kept where web servers read them without scanning a file: a table of an SQL database
// (SQLite, PostgreSQL) or entries of an LDAP directory. A store holds users of several owners;
// a database reads and changes only the rows or entries marked as its own, and never takes over
// a login another owner holds. A change is staged whole (an open transaction, a prepared change
// set) and then committed or rolled back.

#include "base/Message.h"

#include <algorithm>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane {

// One user as a store keeps it: the login, the password hash as the password file has it, and
// the groups it belongs to.
struct TStoredUser {
    std::string Login;
    std::string Hash;
    std::vector<std::string> Groups; // sorted
    bool operator==(const TStoredUser&) const = default;
};

// A user as a sync compares it: views into bytes a list or text of the caller's keeps (see
// TReadUsers for a store's own), so that a million users are not copied to be compared.
struct TUserView {
    std::string_view Login;
    std::string_view Hash;
    std::span<const std::string> Groups; // sorted
    bool operator==(const TUserView& other) const {
        return Login == other.Login && Hash == other.Hash &&
               std::equal(Groups.begin(), Groups.end(), other.Groups.begin(), other.Groups.end());
    }
};
TUserView ViewOf(const TStoredUser& user);
std::vector<TUserView> ViewsOf(const std::vector<TStoredUser>& users);

// Users a store read, with their bytes: the views stay valid while the list lives, and when it
// is moved.
class TReadUsers {
public:
    const std::vector<TUserView>& Users() const { return FUsers; }
    std::size_t Size() const { return FUsers.size(); }
    void Add(std::string_view login, std::string_view hash);
    // Gives the user at `index` these groups (sorted here).
    void SetGroups(std::size_t index, std::vector<std::string> groups);
    // Orders the users by login; of a login read twice, the last read stays. The places the
    // users had, in their new order; none when they stay as they were.
    std::vector<std::size_t> SortByLogin();

private:
    char* Room(std::size_t size);
    std::vector<TUserView> FUsers;
    std::vector<std::unique_ptr<char[]>> FChunks;
    std::size_t FUsed = 0, FRoom = 0;
    std::deque<std::vector<std::string>> FGroups;
};

// What a sync changes (users and memberships alike).
struct TStoreChanges {
    std::size_t Added = 0;
    std::size_t Changed = 0;
    std::size_t Removed = 0;
    std::size_t Unchanged = 0;
};

// The changes that make `have` (this owner's users in the store) into `want`, by login. Both
// lists may come in any order; the result names the users in login byte order.
struct TStoreDiff {
    std::vector<const TUserView*> Add; // of want
    // A new hash or other groups: the user in have, then in want.
    std::vector<std::pair<const TUserView*, const TUserView*>> Change;
    std::vector<const TUserView*> Remove; // of have
    std::size_t Unchanged = 0;
};
TStoreDiff DiffUsers(const std::vector<TUserView>& have, const std::vector<TUserView>& want);

enum class TStoreKind { Sqlite, Postgres, Ldap };

struct TStoreSettings {
    TStoreKind Kind = TStoreKind::Sqlite;
    // sqlite: the database file; postgresql: the whole connection URL; ldap: the server's URL
    // (ldap://host:port or ldaps://host:port) without the base DN.
    std::string Location;
    std::string BaseDn;   // ldap: where the users' entries are
    std::string Login;    // ldap: the bind DN; postgresql: the user, when the URL names none
    std::string Password; // for the bind or the connection; empty: none
    // postgresql: the sslmode the URL asks for ("?sslmode=require"); empty: verify-full, TLS
    // with the server's certificate checked against the host's name.
    std::string TlsMode;
    // The mark of this database's rows and entries.
    std::string Owner;
    int TimeoutSeconds = 15;
};

// "sqlite:/srv/auth.db", "postgresql://web@db.example/site", "ldap://ldap.example/ou=web,dc=
// example,dc=org", "ldaps://…": the settings of that store, or nothing when `url` names no store
// (nor an sslmode libpq knows). A PostgreSQL user in the URL is the settings' Login.
std::optional<TStoreSettings> ParseStoreUrl(const std::string& url);

// Raises EQuorvaneError when `url` may not be a target's address: not a store's, or holding a
// password (in its user part, or a password parameter), which would be stored and shown with
// the address. The error never holds the password.
void CheckNewStoreUrl(const std::string& url);
// Whether the URL holds a password (an address stored before that was refused).
bool StoreUrlHoldsPassword(const std::string& url);

// What the database's state and backups know the store by: its address without a password and
// without parameters (kept as it was, so that stored records still match).
std::string StoreDisplayName(const TStoreSettings& settings);
// The store for people: its address without the user part or parameters.
std::string StoreShownName(const TStoreSettings& settings);
// Any address for people, the user part (and with it any password) left out.
std::string WithoutUserInfo(const std::string& url);
// The address to edit: the user kept, a password in it (user part or parameter) left out.
std::string StoreUrlWithoutPassword(const std::string& url);

class IUserStore {
public:
    virtual ~IUserStore() = default;
    // This owner's users, in login byte order; none when the store has none yet (or no table).
    // A Stage that follows takes what Read found as the store's, once it has made sure that the
    // store still holds exactly that.
    std::vector<TStoredUser> Read();
    // Read without a copy: the list stays the store's, and lives until the store's next Read,
    // Stage or Commit, and no longer than the store.
    virtual const std::vector<TUserView>& ReadInPlace() = 0;
    // Whether the store (the table, the base entry) exists; known after Read.
    virtual bool Exists() const = 0;
    // Prepares the change that makes this owner's users `want`: adds, changes, removes; a user
    // that has not changed is not written. Refused, with nothing changed, when a login of `want`
    // is held by another owner.
    TStoreChanges Stage(const std::vector<TStoredUser>& want) { return StageUsers(ViewsOf(want)); }
    // Stage without a copy: the bytes of `want` are the caller's, kept for the call.
    virtual TStoreChanges StageUsers(const std::vector<TUserView>& want) = 0;
    // Stage with `want` the users Read found: a store that still holds exactly them stages
    // nothing (and is not compared row by row); one changed since is put back to them.
    virtual TStoreChanges StageRead() = 0;
    // Makes the staged change the store's (all of it, or none: an LDAP change that fails half
    // way puts back what it had applied).
    virtual void Commit() = 0;
    // Drops the staged change; the store stays as it was.
    virtual void Rollback() noexcept = 0;
};

// The store of the settings, through the stores' plugin (loaded on first use; raises
// EQuorvaneError texts::PluginNotLoaded when it cannot be).
std::unique_ptr<IUserStore> OpenUserStore(const TStoreSettings& settings);

} // namespace quorvane
