#include "cli/CliCommand.h"

#include "cli/UserSelection.h"
#include "userdb/UserList.h"

namespace quorvane::cli {

namespace {

int CmdDisable(const TArgs& args, TCliStreams& io) {
    const std::vector<std::string> logins = LoginArguments(args.Positional());
    const std::string& path = args.Positional()[0];
    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    bool changed = false;
    for (TUserProp* user : UsersWithLogins(list, logins)) {
        if (!user->Disable) {
            user->Disable = true;
            changed = true;
        }
    }
    if (changed) db.Save(io.Err);
    return kExitOk;
}

} // namespace

TCommand DisableCommand() {
    return {"disable",
            "DB LOGIN...",
            "disable users",
            "Disables every user whose login is exactly one of the LOGINs, so the next\n"
            "export leaves them out of the password file; fails, changing nothing, when a\n"
            "LOGIN matches no user. The database is saved when it changed.\n",
            {},
            {},
            CmdDisable};
}

} // namespace quorvane::cli
