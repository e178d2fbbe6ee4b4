#include "cli/CliCommand.h"

#include "userdb/UserList.h"

#include <cstdio>
#include <ostream>

namespace quorvane::cli {

namespace {

// Counts the users as they are read and sums them into the fingerprint; none is kept.
struct TCounts : TStreamedFingerprint {
    int Users = 0;
    int Enabled = 0;
    void Begin(std::string_view listName) override {
        TStreamedFingerprint::Begin(listName);
        Users = Enabled = 0;
    }
    void User(TUserProp& user) override {
        TStreamedFingerprint::User(user);
        ++Users;
        if (!user.Disable) ++Enabled;
    }
};

int CmdInfo(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    TCounts counts;
    TDatabaseSession db(args.Positional()[0], TDatabaseSession::TAccess::Read, &counts);
    const int users = counts.Users, enabled = counts.Enabled;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", counts.Finish(db.List()));
    if (args.Has("json")) {
        io.Out << "{\"users\": " << users << ", \"enabled\": " << enabled
               << ", \"disabled\": " << users - enabled << ", \"fingerprint\": \"" << hex
               << "\"}\n";
        return kExitOk;
    }
    io.Out << "users: " << users << "\n"
           << "enabled: " << enabled << "\n"
           << "disabled: " << users - enabled << "\n"
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
