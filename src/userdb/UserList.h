#pragma once
// The in-memory users database: the users in list order and the export settings.

#include "base/DateUtil.h"
#include "base/Random.h"
#include "userdb/DataLib.h"
#include "userdb/PasswordsType.h"
#include "userdb/TargetValue.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quorvane {

// Logins compared the way uniqueness is decided: letters a to z folded to upper case, nothing
// else changed, no trimming.
bool SameLoginFolded(const std::string& a, const std::string& b);

class TUserList;

// One user. It belongs to exactly one list and knows its position in it.
class TUserProp {
public:
    std::string Login;
    std::string Password;
    bool Disable = false;
    bool Expire = false;
    TDateTime ExpireDate = 0;
    TDateTime CreatedDate = 0;
    std::string FullName;
    std::string Email;
    std::string Comments; // may contain line breaks

    TUserProp() = default;
    TUserProp(const TUserProp& other);
    TUserProp& operator=(const TUserProp& other);
    TUserProp(TUserProp&&) noexcept = default;
    TUserProp& operator=(TUserProp&&) noexcept = default;

    // A password-file hash taken over from an existing file, for a user whose clear password
    // this database does not know (empty otherwise). While it is set, Password is empty and the
    // hash goes into the password file unchanged; giving the user a password clears it. Few
    // users have one, so it is kept apart and costs the others a pointer.
    const std::string& PasswordHash() const;
    void SetPasswordHash(std::string hash); // an empty hash clears it
    // Makes the user known only by this value, as a password file held it (Password is left to
    // the caller). Unlike SetPasswordHash it keeps an empty value: a line with nothing after the
    // colon (a locked account) goes out as it was.
    void SetStoredValue(std::string value);
    // The groups the user belongs to, blank-separated in the order given (see Groups.h); empty for
    // none. Written to the file only when not empty, so a database without groups keeps its
    // bytes; kept apart like the hash, since most users of most databases have none.
    const std::string& Groups() const;
    void SetGroups(std::string groups);

    // True for a user known only by the stored hash.
    bool HashOnly() const { return FPasswordHash != nullptr; }
    // Gives the user a clear password, which replaces a stored hash.
    void SetPassword(const std::string& password) {
        Password = password;
        FPasswordHash.reset();
    }

    // 0-based position in the owning list.
    int Index() const { return FIndex; }
    TUserList* List() const { return FList; }

    // Field-wise equality (used to tell whether an edit changed anything).
    bool SameAs(const TUserProp& other) const;
    // Copies every field of another user (a detached copy, say) into this one; the position and
    // the owning list stay.
    void CopyFieldsFrom(const TUserProp& other);

private:
    friend class TUserList;
    std::unique_ptr<std::string> FPasswordHash; // empty only when SetStoredValue made it so
    std::unique_ptr<std::string> FGroups;       // never an empty string
    TUserList* FList = nullptr;
    int FIndex = -1;
};

// The users database with its export settings and its targets. It owns its users: removing a
// user destroys it and moves every later user up one position.
class TUserList : public TDataStore {
public:
    TUserList();
    ~TUserList() override;
    TUserList(const TUserList&) = delete;
    TUserList& operator=(const TUserList&) = delete;

    // Export settings; only the export reads and writes them.
    TPasswordsType PassType = TPasswordsType::ptMD5;
    // Work factors of the slow forms. Each goes into the file only while its form is the chosen
    // one and it differs from the default, so MD5 and plain-text databases keep their bytes.
    int BcryptCost = KBcryptCostDefault;
    int ShaRounds = KShaRoundsDefault;
    // Key of the digests in the hash cache beside the database (64 hexadecimal digits), made
    // when a slow form is first stored; written only while a slow form is chosen.
    std::string HashCacheKey;
    // Off: the database keeps no clear password; a password given to a user is replaced by its
    // hash at once (see ClearPasswords.h in the export library). Stored only when off.
    bool KeepClearPasswords = true;
    // The password file's line ends: CR LF unless this is set (LF alone, as Unix tools write
    // them); stored only when set.
    bool UnixLineEnds = false;
    // Where an export writes Apache's group file when users have groups: empty for the default,
    // the password file's name followed by ".groups" beside it; stored only when set.
    std::string GroupFile;
    // Where exports go, in their order: one at least. The database file keeps the first one's
    // settings where a database with one target always had them (its name only when it is not
    // "default", whether it is disabled only when it is), the others after them only when there
    // are any, so a database with one target keeps its bytes.
    std::vector<TTarget> Targets;

    int Count() const { return static_cast<int>(FItems.size()); }
    // The user at a 0-based position; raises "List index out of bounds (%d)" outside the list.
    TUserProp& Users(int index);
    const TUserProp& Users(int index) const;

    // Appends a user with the given login and password (unchanged, no uniqueness test),
    // ExpireDate 30 days ahead, CreatedDate now, Expire and Disable false.
    TUserProp& Add(const std::string& login, const std::string& password);
    // Empties the database and restores the export defaults.
    void Reset();
    // The expiry sweep: disables every enabled user whose expiry is on and whose ExpireDate is
    // strictly earlier than now; returns how many it disabled.
    int DisableExpired();

    // The Items collection.
    TUserProp& AddBlank();                                 // appends a blank user
    int IndexOf(const TUserProp* user) const;              // -1 when not in this list
    void Remove(TUserProp* user);                          // removes and destroys one user
    void RemoveMany(const std::vector<TUserProp*>& users); // one pass for many users
    void Clear();                                          // removes and destroys all users
    // Destroys this list's users and takes over all users of another list, in their order
    // (the other list is left without users).
    void TakeUsers(TUserList& other);
    // Takes over all users of another list after this list's own, in their order.
    void AppendUsers(TUserList& other);

    // Takes the users at these positions (ascending, no duplicates) out of the list without
    // destroying them; later users move up. Returned in position order.
    std::vector<std::unique_ptr<TUserProp>> Detach(const std::vector<int>& indices);
    // Puts detached users back, each at the position it holds afterwards; the pairs come in
    // ascending position order. Positions past the end append.
    void Attach(std::vector<std::pair<int, std::unique_ptr<TUserProp>>> users);

    // True when no user other than the one at exceptIndex has this login (a-z folded).
    bool IsLoginUnique(const std::string& login, int exceptIndex = -1) const;

    // Counts the changes that give users other places or take them away (AddBlank does not):
    // places learnt at one count still hold while the count is the same.
    uint64_t PlaceChanges() const { return FPlaceChanges; }

private:
    void Renumber(size_t from);
    std::vector<std::unique_ptr<TUserProp>> FItems;
    uint64_t FPlaceChanges = 0;
};

// The expiry sweep's rule for one user: disables it when it is enabled, its expiry is on and its
// ExpireDate is strictly earlier than now; says whether it did.
bool DisableIfExpired(TUserProp& user, TDateTime now);

// The list's first target: its own export settings, named (KFirstTargetName when it has no name).
TTargetSettings FirstTarget(const TUserList& list);
// Makes these the first target's settings; the default name is not stored.
void SetFirstTarget(TUserList& list, const TTargetSettings& target);
// Every target of the list, the first one first.
std::vector<TTargetSettings> ListTargets(const TUserList& list);
// Makes these the list's targets, the first as its own settings (there must be one).
void SetTargets(TUserList& list, const std::vector<TTargetSettings>& targets);
// Removes a target (0 for the first: the next one takes its place); raises std::logic_error
// for the only one or an index out of range, which callers are to refuse before.
void RemoveTarget(TUserList& list, int index);
// The target of that name (exact bytes): 0 for the first, then 1, 2, ...; -1 when there is none.
int FindTarget(const TUserList& list, const std::string& name);

} // namespace quorvane
