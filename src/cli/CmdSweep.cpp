#include "cli/CliCommand.h"

#include "userdb/UserList.h"

#include <ostream>

namespace quorvane::cli {

namespace {

int CmdSweep(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string& path = args.Positional()[0];
    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    const int disabled = list.DisableExpired();
    db.Save(io.Err);
    if (!args.Has("quiet")) io.Out << disabled << "\n";
    return kExitOk;
}

} // namespace

TCommand SweepCommand() {
    return {"sweep",
            "DB [--quiet]",
            "disable every user whose expiration date has passed",
            "Prints the number of users it disabled (nothing with --quiet) and saves the\n"
            "database.\n",
            {},
            {"quiet"},
            CmdSweep};
}

} // namespace quorvane::cli
