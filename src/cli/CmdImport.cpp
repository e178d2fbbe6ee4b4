#include "CliCommand.h"

#include "CSVImport.h"
#include "UserList.h"

#include <ostream>

namespace quorvane::cli {

namespace {

int CmdImport(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    TDatabaseSession db(path, TDatabaseSession::Change);
    TUserList& list = db.List();
    const int added = ImportUsers(args.Positional()[1], list);
    db.Save(io.Err);
    if (!args.Has("quiet")) io.Out << added << "\n";
    return kExitOk;
}

} // namespace

TCommand ImportCommand() {
    return {"import",
            "DB FILE [--quiet]",
            "append the users of a text file",
            "One user per line: login, password, e-mail address, full name, separated by commas\n"
            "or blanks; double-quoted fields may hold both. Prints the number of users added\n"
            "(nothing with --quiet) and saves the database.\n",
            {},
            {"quiet"},
            CmdImport};
}

} // namespace quorvane::cli
