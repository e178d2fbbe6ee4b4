#include "export/GroupFile.h"

#include "base/AsciiCase.h"
#include "base/BaseTexts.h"
#include "base/Errors.h"
#include "export/ExportTexts.h"
#include "userdb/Groups.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

namespace quorvane {

namespace {

// Apache splits a group file line at blanks and reads quotes as quoting: a login holding either
// would name other users than this one.
bool LoginFitsGroupFile(const std::string& login) {
    for (const char c : login)
        if (c == ' ' || c == '\t' || c == '"' || c == '\'' || c == '\\') return false;
    return true;
}

} // namespace

std::string BuildGroupFile(const std::vector<const TUserProp*>& entries, std::string_view eol) {
    std::map<std::string, std::vector<const std::string*>> members; // sorted by name
    for (const TUserProp* user : entries) {
        if (user->Disable || user->Groups().empty()) continue;
        const std::vector<std::string> groups = UserGroups(*user);
        for (const std::string& group : groups)
            if (TMessage error = GroupNameMessage(group); !error.Empty())
                throw EQuorvaneError(Msg(texts::GroupsOfUser, user->Login, std::move(error)));
        if (!groups.empty() && !LoginFitsGroupFile(user->Login))
            throw EQuorvaneError(Msg(texts::LoginNotForGroupFile, user->Login));
        for (const std::string& group : groups)
            members[group].push_back(&user->Login);
    }
    std::string text;
    for (const auto& [group, logins] : members) {
        std::string line = group + ":";
        for (const std::string* login : logins) {
            if (line.size() > group.size() + 1 &&
                line.size() + 1 + login->size() + eol.size() > KGroupLineLimit) {
                text += line;
                text += eol;
                line = group + ":";
            }
            line += ' ';
            line += *login;
        }
        text += line;
        text += eol;
    }
    return text;
}

std::string GroupFileName(const TUserList& list, const std::string& passwordFile) {
    return list.GroupFile.empty() ? passwordFile + ".groups" : list.GroupFile;
}

std::vector<TGroupMembership> ReadGroupFile(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw EQuorvaneError(Msg(texts::CannotOpenFile, fileName));
    std::vector<TGroupMembership> users;
    std::map<std::string, size_t> byLogin;
    // Folded group name -> its spelling and the line that gave it first: Apache takes two
    // spellings for one group, the database would keep two.
    std::map<std::string, std::pair<std::string, int>> spelled;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        const size_t colon = line.find(':');
        const std::string group =
            colon == std::string::npos ? std::string() : line.substr(first, colon - first);
        if (colon == std::string::npos || !GroupNameMessage(group).Empty())
            throw EQuorvaneError(Msg(texts::GroupFileBadLine, fileName, number));
        const auto [seen, isNew] = spelled.emplace(ToAsciiLower(group), std::pair{group, number});
        if (!isNew && seen->second.first != group)
            throw EQuorvaneError(Msg(texts::GroupFileSpellings, fileName, number, group,
                                     seen->second.first, seen->second.second));
        std::istringstream logins(line.substr(colon + 1));
        std::string login;
        while (logins >> login) {
            auto [it, added] = byLogin.emplace(login, users.size());
            if (added) users.push_back({login, {}});
            auto& groups = users[it->second].Groups;
            if (std::find(groups.begin(), groups.end(), group) == groups.end())
                groups.push_back(group);
        }
    }
    if (in.bad()) throw EQuorvaneError(Msg(texts::StreamReadError));
    return users;
}

} // namespace quorvane
