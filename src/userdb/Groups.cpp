#include "userdb/Groups.h"

#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "userdb/UserDbTexts.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <set>
#include <unordered_map>

namespace quorvane {

namespace {

// What separates the names of a list someone typed; any other control character stays in the
// name and makes it unusable.
bool IsSeparator(char c) {
    return c == ',' || c == ' ' || c == '\t';
}

std::vector<std::string> SplitStored(const std::string& field) {
    std::vector<std::string> names;
    size_t i = 0;
    while (i < field.size()) {
        while (i < field.size() && field[i] == ' ')
            ++i;
        const size_t start = i;
        while (i < field.size() && field[i] != ' ')
            ++i;
        if (i > start) names.push_back(field.substr(start, i - start));
    }
    return names;
}

} // namespace

TMessage GroupNameMessage(const std::string& name) {
    if (name.empty()) return Msg(texts::GroupNameEmpty);
    for (char c : name) {
        if (c == ':' || c == ',' || static_cast<unsigned char>(c) <= 32 || c == 127)
            return Msg(texts::GroupNameInvalid, name);
    }
    return {};
}

TMessage NewGroupNameMessage(const std::string& name) {
    if (TMessage error = GroupNameMessage(name); !error.Empty()) return error;
    if (name.front() == '#') return Msg(texts::GroupNameComment, name);
    return {};
}

bool SameGroup(const std::string& a, const std::string& b) {
    return SameTextAscii(a, b);
}

TMessage GroupSpellingMessage(const TUserList& list, const std::vector<std::string>& groups,
                              const TUserProp* except) {
    if (groups.empty()) return {};
    // One spelling per folded name is enough: the database holds one spelling of each group.
    std::unordered_map<std::string, std::string> spelled;
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& user = list.Users(i);
        if (&user == except || user.Groups().empty()) continue;
        for (std::string& g : SplitStored(user.Groups()))
            spelled.emplace(ToAsciiLower(g), std::move(g));
    }
    for (const std::string& g : groups) {
        const auto it = spelled.find(ToAsciiLower(g));
        if (it != spelled.end() && it->second != g)
            return Msg(texts::GroupSpellings, g, it->second);
    }
    return {};
}

void RequireGroupSpelling(const TUserList& list, const std::vector<std::string>& groups,
                          const TUserProp* except) {
    if (TMessage error = GroupSpellingMessage(list, groups, except); !error.Empty())
        throw EQuorvaneError(std::move(error));
}

TMessage GroupClashMessage(const TUserList& list) {
    std::unordered_map<std::string, std::string> spelled;
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& user = list.Users(i);
        if (user.Groups().empty()) continue;
        for (std::string& g : SplitStored(user.Groups())) {
            const auto [it, added] = spelled.emplace(ToAsciiLower(g), g);
            if (!added && it->second != g) return Msg(texts::GroupSpellings, it->second, g);
        }
    }
    return {};
}

std::vector<std::string> ParseGroupList(const std::string& text) {
    std::vector<std::string> names;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSeparator(text[i]))
            ++i;
        const size_t start = i;
        while (i < text.size() && !IsSeparator(text[i]))
            ++i;
        if (i == start) continue;
        std::string name = text.substr(start, i - start);
        if (TMessage error = NewGroupNameMessage(name); !error.Empty())
            throw EQuorvaneError(std::move(error));
        const auto same = std::find_if(names.begin(), names.end(),
                                       [&](const std::string& n) { return SameGroup(n, name); });
        if (same == names.end())
            names.push_back(std::move(name));
        else if (*same != name)
            throw EQuorvaneError(Msg(texts::GroupSpellings, *same, name));
    }
    return names;
}

std::vector<std::string> UserGroups(const TUserProp& user) {
    return SplitStored(user.Groups());
}

void SetUserGroups(TUserProp& user, const std::vector<std::string>& groups) {
    std::string field;
    for (const std::string& g : groups) {
        if (TMessage error = GroupNameMessage(g); !error.Empty())
            throw EQuorvaneError(std::move(error));
        if (!field.empty()) field += ' ';
        field += g;
    }
    user.SetGroups(std::move(field));
}

bool UserInGroup(const TUserProp& user, const std::string& group) {
    const auto names = UserGroups(user);
    return std::find(names.begin(), names.end(), group) != names.end();
}

bool AddUserToGroup(TUserProp& user, const std::string& group) {
    auto names = UserGroups(user);
    if (std::find(names.begin(), names.end(), group) != names.end()) return false;
    names.push_back(group);
    SetUserGroups(user, names);
    return true;
}

bool RemoveUserFromGroup(TUserProp& user, const std::string& group) {
    auto names = UserGroups(user);
    const auto it = std::find(names.begin(), names.end(), group);
    if (it == names.end()) return false;
    names.erase(it);
    SetUserGroups(user, names);
    return true;
}

bool AnyUserHasGroups(const TUserList& list) {
    for (int i = 0; i < list.Count(); ++i)
        if (!list.Users(i).Groups().empty()) return true;
    return false;
}

std::vector<std::string> AllGroups(const TUserList& list) {
    std::set<std::string> all;
    for (int i = 0; i < list.Count(); ++i)
        for (std::string& g : SplitStored(list.Users(i).Groups()))
            all.insert(std::move(g));
    return {all.begin(), all.end()};
}

} // namespace quorvane
