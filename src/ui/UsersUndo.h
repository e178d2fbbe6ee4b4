#pragma once
// Undo and Redo of changes to the users. Each step keeps what its change did to the list (users
// appended or inserted, users taken out, users whose fields changed), by position, so that it
// can be taken back and done again exactly while the list stands where the step left it.

#include "userdb/UserList.h"

#include <QUndoCommand>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace quorvane {

// What one change did to the users of a list. Positions are 0-based; a step is only applied to
// the list in the state it was recorded against (the undo stack sees to that).
class TUsersDelta {
public:
    TUsersDelta();
    ~TUsersDelta();
    TUsersDelta(TUsersDelta&&) noexcept;
    TUsersDelta& operator=(TUsersDelta&&) noexcept;

    bool Empty() const { return FAdded.empty() && FRemoved.empty() && FChanged.empty(); }
    // How many users the change touched.
    int Count() const {
        return static_cast<int>(FAdded.size() + FRemoved.size() + FChanged.size());
    }
    int AddedCount() const { return static_cast<int>(FAdded.size()); }
    int RemovedCount() const { return static_cast<int>(FRemoved.size()); }

    // Takes the change back / does it again. Both return the positions of the touched users
    // that are in the list afterwards, ascending.
    std::vector<int> Undo(TUserList& list);
    std::vector<int> Redo(TUserList& list);

    // Building a delta (positions ascending within each kind).
    // The user now at this position had the fields of `before`; its present fields are kept as
    // the state Redo restores.
    void AddChanged(const TUserList& list, int index, const TUserProp& before);
    // The user now at this position was not in the list before.
    void AddAdded(int index);
    // Users taken out of the list, with the positions they held; the delta keeps them.
    void AddRemoved(std::vector<int> indices, std::vector<std::unique_ptr<TUserProp>> users);

private:
    struct TChanged {
        int Index; // position after the change
        TUserProp Before;
        TUserProp After;
    };
    struct TPlaced {
        int Index;
        std::unique_ptr<TUserProp> Held; // set while the user is out of the list
    };
    static void TakeOut(TUserList& list, std::vector<TPlaced>& placed);
    static void PutBack(TUserList& list, std::vector<TPlaced>& placed);
    std::vector<int> Touched(bool redone) const;

    std::vector<TPlaced> FAdded;   // positions after the change
    std::vector<TPlaced> FRemoved; // positions before the change
    std::vector<TChanged> FChanged;
};

// Watches a list while a change runs and gives the delta afterwards.
//  - Whole list: every user is copied first, so the change may add, change and remove any
//    users (a bulk command of unknown extent, such as an import that updates existing users).
//  - Watched users: only these users' fields are compared, and users may be appended or
//    inserted, but none may be removed (cheap for the commands that touch a known few).
// Users keep their relative order through any change.
class TUsersRecorder {
public:
    explicit TUsersRecorder(const TUserList& list);
    TUsersRecorder(const TUserList& list, const std::vector<TUserProp*>& watched);
    ~TUsersRecorder();
    TUsersDelta Finish() const;

private:
    const TUserList& FList;
    std::vector<const TUserProp*> FBefore;                          // users in order
    std::vector<std::optional<std::unique_ptr<TUserProp>>> FCopies; // by position
    bool FWhole;
};

// One step on the undo stack. The change is already done when the step is pushed, so the first
// redo does nothing. After each undo and redo, Applied is told the touched positions and
// whether the step was undone.
class TUsersUndoCommand final : public QUndoCommand {
public:
    TUsersUndoCommand(const QString& text, TUsersDelta delta, std::function<TUserList&()> list,
                      std::function<void(const std::vector<int>&, bool)> applied);
    void undo() override;
    void redo() override;

private:
    TUsersDelta FDelta;
    std::function<TUserList&()> FList;
    std::function<void(const std::vector<int>&, bool)> FApplied;
    bool FDone = true;
};

} // namespace quorvane
