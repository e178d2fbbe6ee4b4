#include "cli/CliCommand.h"

#include "userdb/UserList.h"

namespace quorvane::cli {

namespace {

int CmdDelete(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    const std::string& login = args.Positional()[1];
    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    std::vector<TUserProp*> doomed;
    for (int i = 0; i < list.Count(); ++i)
        if (list.Users(i).Login == login) doomed.push_back(&list.Users(i));
    if (doomed.empty()) throw ECliError("User \"" + login + "\" not found");
    list.RemoveMany(doomed);
    db.Save(io.Err);
    return kExitOk;
}

} // namespace

TCommand DeleteCommand() {
    return {"delete",
            "DB LOGIN",
            "delete the users whose login is exactly LOGIN",
            "Fails when no user has that login. The database is saved.\n",
            {},
            {},
            CmdDelete};
}

} // namespace quorvane::cli
