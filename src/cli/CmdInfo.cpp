#include "cli/CliCommand.h"

#include "userdb/UserList.h"

#include <cstdio>
#include <ostream>

namespace quorvane::cli {

namespace {

int CmdInfo(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    TDatabaseSession db(args.Positional()[0], TDatabaseSession::TAccess::Read);
    const TUserList& list = db.List();
    int enabled = 0;
    for (int i = 0; i < list.Count(); ++i)
        if (!list.Users(i).Disable) ++enabled;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", list.Fingerprint());
    if (args.Has("json")) {
        io.Out << "{\"users\": " << list.Count() << ", \"enabled\": " << enabled
               << ", \"disabled\": " << list.Count() - enabled << ", \"fingerprint\": \"" << hex
               << "\"}\n";
        return kExitOk;
    }
    io.Out << "users: " << list.Count() << "\n"
           << "enabled: " << enabled << "\n"
           << "disabled: " << list.Count() - enabled << "\n"
           << "fingerprint: " << hex << "\n";
    return kExitOk;
}

} // namespace

TCommand InfoCommand() {
    return {"info",
            "DB [--json]",
            "print the number of users and the database's fingerprint",
            "Prints four lines: \"users: N\", \"enabled: N\", \"disabled: N\" and\n"
            "\"fingerprint: XXXXXXXX\". With --json one JSON document instead:\n"
            "  {\"users\": N, \"enabled\": N, \"disabled\": N, \"fingerprint\": \"XXXXXXXX\"}\n",
            {},
            {"json"},
            CmdInfo};
}

} // namespace quorvane::cli
