#include "ui/UsersUndo.h"

#include <algorithm>
#include <unordered_map>

namespace quorvane {

TUsersDelta::TUsersDelta() = default;
TUsersDelta::~TUsersDelta() = default;
TUsersDelta::TUsersDelta(TUsersDelta&&) noexcept = default;
TUsersDelta& TUsersDelta::operator=(TUsersDelta&&) noexcept = default;

void TUsersDelta::AddChanged(const TUserList& list, int index, const TUserProp& before) {
    FChanged.push_back({index, before, list.Users(index)});
}

void TUsersDelta::AddAdded(int index) {
    FAdded.push_back({index, nullptr});
}

void TUsersDelta::AddRemoved(std::vector<int> indices,
                             std::vector<std::unique_ptr<TUserProp>> users) {
    for (size_t i = 0; i < indices.size() && i < users.size(); ++i)
        FRemoved.push_back({indices[i], std::move(users[i])});
    std::sort(FRemoved.begin(), FRemoved.end(),
              [](const TPlaced& a, const TPlaced& b) { return a.Index < b.Index; });
}

void TUsersDelta::TakeOut(TUserList& list, std::vector<TPlaced>& placed) {
    std::vector<int> indices;
    indices.reserve(placed.size());
    for (const TPlaced& p : placed)
        indices.push_back(p.Index);
    std::vector<std::unique_ptr<TUserProp>> taken = list.Detach(indices);
    for (size_t i = 0; i < placed.size(); ++i)
        placed[i].Held = std::move(taken[i]);
}

void TUsersDelta::PutBack(TUserList& list, std::vector<TPlaced>& placed) {
    std::vector<std::pair<int, std::unique_ptr<TUserProp>>> users;
    users.reserve(placed.size());
    for (TPlaced& p : placed)
        users.emplace_back(p.Index, std::move(p.Held));
    list.Attach(std::move(users));
}

std::vector<int> TUsersDelta::Touched(bool redone) const {
    std::vector<int> touched;
    for (const TPlaced& p : redone ? FAdded : FRemoved)
        touched.push_back(p.Index);
    // A changed user's position is the one it holds when the additions are in and the removals
    // out (the recorded state); it is shifted on the other side.
    for (const TChanged& c : FChanged) {
        int index = c.Index;
        if (!redone) {
            for (const TPlaced& p : FAdded)
                if (p.Index < c.Index) --index;
            for (const TPlaced& p : FRemoved)
                if (p.Index <= index) ++index;
        }
        touched.push_back(index);
    }
    std::sort(touched.begin(), touched.end());
    return touched;
}

std::vector<int> TUsersDelta::Undo(TUserList& list) {
    TakeOut(list, FAdded);
    // Positions of changed users are recorded after the change; with the additions out they
    // move up.
    for (const TChanged& c : FChanged) {
        int index = c.Index;
        for (const TPlaced& p : FAdded)
            if (p.Index < c.Index) --index;
        list.Users(index).CopyFieldsFrom(c.Before);
    }
    PutBack(list, FRemoved);
    return Touched(false);
}

std::vector<int> TUsersDelta::Redo(TUserList& list) {
    TakeOut(list, FRemoved);
    PutBack(list, FAdded);
    for (const TChanged& c : FChanged)
        list.Users(c.Index).CopyFieldsFrom(c.After);
    return Touched(true);
}

TUsersRecorder::TUsersRecorder(const TUserList& list) : FList(list), FWhole(true) {
    FBefore.reserve(static_cast<size_t>(list.Count()));
    FCopies.resize(static_cast<size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i) {
        FBefore.push_back(&list.Users(i));
        FCopies[static_cast<size_t>(i)] = std::make_unique<TUserProp>(list.Users(i));
    }
}

TUsersRecorder::TUsersRecorder(const TUserList& list, const std::vector<TUserProp*>& watched)
    : FList(list), FWhole(false) {
    FBefore.reserve(static_cast<size_t>(list.Count()));
    FCopies.resize(static_cast<size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i)
        FBefore.push_back(&list.Users(i));
    for (const TUserProp* user : watched) {
        const int index = list.IndexOf(user);
        if (index >= 0) FCopies[static_cast<size_t>(index)] = std::make_unique<TUserProp>(*user);
    }
}

TUsersRecorder::~TUsersRecorder() = default;

TUsersDelta TUsersRecorder::Finish() const {
    TUsersDelta delta;
    std::unordered_map<const TUserProp*, int> before;
    before.reserve(FBefore.size());
    for (size_t i = 0; i < FBefore.size(); ++i)
        before.emplace(FBefore[i], static_cast<int>(i));
    // Users that are still there keep their order; one found out of order (a new user where a
    // removed one's memory was) counts as removed and added.
    std::vector<bool> kept(FBefore.size(), false);
    int last = -1;
    for (int i = 0; i < FList.Count(); ++i) {
        const TUserProp* user = &FList.Users(i);
        const auto found = before.find(user);
        if (found == before.end() || found->second <= last) {
            delta.AddAdded(i);
            continue;
        }
        last = found->second;
        kept[static_cast<size_t>(last)] = true;
        const auto& copy = FCopies[static_cast<size_t>(last)];
        if (copy && *copy && !user->SameAs(**copy)) delta.AddChanged(FList, i, **copy);
    }
    std::vector<int> removed;
    std::vector<std::unique_ptr<TUserProp>> users;
    for (size_t i = 0; i < FBefore.size(); ++i) {
        if (kept[i]) continue;
        const auto& copy = FCopies[i];
        // Without a copy the user cannot come back; watched recording rules removals out.
        if (!FWhole || !copy || !*copy) continue;
        removed.push_back(static_cast<int>(i));
        users.push_back(std::make_unique<TUserProp>(**copy));
    }
    delta.AddRemoved(std::move(removed), std::move(users));
    return delta;
}

TUsersUndoCommand::TUsersUndoCommand(const QString& text, TUsersDelta delta,
                                     std::function<TUserList&()> list,
                                     std::function<void(const std::vector<int>&, bool)> applied)
    : QUndoCommand(text), FDelta(std::move(delta)), FList(std::move(list)),
      FApplied(std::move(applied)) {}

void TUsersUndoCommand::undo() {
    const std::vector<int> touched = FDelta.Undo(FList());
    FDone = false;
    if (FApplied) FApplied(touched, true);
}

void TUsersUndoCommand::redo() {
    if (FDone) return; // pushed after the change was made
    const std::vector<int> touched = FDelta.Redo(FList());
    FDone = true;
    if (FApplied) FApplied(touched, false);
}

} // namespace quorvane
