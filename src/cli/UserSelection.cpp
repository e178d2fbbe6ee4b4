#include "cli/UserSelection.h"

#include "cli/CliCommand.h"
#include "cli/Commands.h"
#include "userdb/UserList.h"

namespace quorvane::cli {

std::vector<TUserProp*> UsersWithLogins(TUserList& list, const std::vector<std::string>& logins) {
    std::vector<bool> picked(static_cast<size_t>(list.Count()), false);
    for (const std::string& login : logins) {
        bool found = false;
        for (int i = 0; i < list.Count(); ++i) {
            if (list.Users(i).Login == login) {
                picked[static_cast<size_t>(i)] = true;
                found = true;
            }
        }
        if (!found) throw ECliError("User \"" + login + "\" not found");
    }
    std::vector<TUserProp*> users;
    for (int i = 0; i < list.Count(); ++i)
        if (picked[static_cast<size_t>(i)]) users.push_back(&list.Users(i));
    return users;
}

TUserProp& OneUserWithLogin(TUserList& list, const std::string& login) {
    TUserProp* user = nullptr;
    int count = 0;
    for (int i = 0; i < list.Count(); ++i) {
        if (list.Users(i).Login == login) {
            if (user == nullptr) user = &list.Users(i);
            ++count;
        }
    }
    if (user == nullptr) throw ECliError("User \"" + login + "\" not found");
    if (count > 1)
        throw ECliError(std::to_string(count) + " users have the login \"" + login +
                        "\"; give each its own login in the desktop program first");
    return *user;
}

std::vector<std::string> LoginArguments(const std::vector<std::string>& positional) {
    if (positional.size() < 2) throw EUsage("missing argument");
    return {positional.begin() + 1, positional.end()};
}

void ApplyToNamedUsers(const TArgs& args, TCliStreams& io, TStateCommand command, TDateTime date,
                       const std::function<void(const TUserProp& user)>& each) {
    const std::vector<std::string> logins = LoginArguments(args.Positional());
    TDatabaseSession db(args.Positional()[0], TDatabaseSession::TAccess::Change);
    bool changed = false;
    for (TUserProp* user : UsersWithLogins(db.List(), logins)) {
        changed = ApplyStateCommand(*user, command, date) || changed;
        if (each) each(*user);
    }
    if (changed) db.Save(io.Err);
}

} // namespace quorvane::cli
