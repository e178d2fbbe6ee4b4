#pragma once
// A store web servers read users from (an SQL table, LDAP entries), as an export's target. It
// shows what it holds as the text of a password file, in the export's order and line ends, so
// the check before a replacement, the copies of what is replaced, the preview and the record of
// what was written apply to it as to a file; staging a content syncs the store to the users of
// that text, with the groups the database gives them.

#include "job/Target.h"
#include "sitedb/UserStore.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

class TUserList;
struct TTargetSettings;

class TStoreTarget final : public IExportTarget {
public:
    // groups: each enabled user's groups, sorted; lineEnd: the password file's.
    TStoreTarget(const TStoreSettings& settings,
                 std::map<std::string, std::vector<std::string>> groups, std::string lineEnd);
    std::string Id() const override { return FId; }
    std::string Name() const override { return FName; }
    TTargetContent Read() override;
    void Stage(const std::string& content) override;
    void StageHeld(const std::string& content) override;
    void PrepareStage(const std::string& content) override;
    // Read found the new content there (its digest checked by the caller): the next Read
    // reports it held without reading the store again, and StageHeld confirms it.
    void ExpectHeld() { FHeld = true; }
    void Commit() override { FStore->Commit(); }
    void Rollback() noexcept override { FStore->Rollback(); }
    // What the last Stage changes there.
    const TStoreChanges& Changes() const { return FChanges; }

private:
    std::string FId, FName;
    std::unique_ptr<IUserStore> FStore;
    std::map<std::string, std::vector<std::string>> FGroups;
    std::string FLineEnd;
    TStoreChanges FChanges;
    // The users of a content, made by PrepareStage: that content (its address and size) alone
    // takes them; they view into it.
    std::vector<TUserView> FPrepared;
    const std::string* FPreparedFor = nullptr;
    std::size_t FPreparedSize = 0;
    std::vector<TUserView> UsersOf(const std::string& content) const;
    // The last Read's text stands for what the store holds, groups included.
    bool FReadIsText = false;
    bool FHeld = false; // see ExpectHeld
};

// The store a target names (StoreUrl with its owner and login; the password given), or
// nothing when it names none. Raises when the address is not one of a store.
std::optional<TStoreSettings> TargetStore(const TTargetSettings& target,
                                          const std::string& password);

// The groups of the list's enabled users, for a store.
std::map<std::string, std::vector<std::string>> StoreGroups(const TUserList& list);

} // namespace quorvane
