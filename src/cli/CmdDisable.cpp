#include "cli/CliCommand.h"

#include "cli/Commands.h"
#include "cli/UserSelection.h"

namespace quorvane::cli {

namespace {

int CmdDisable(const TArgs& args, TCliStreams& io) {
    ApplyToNamedUsers(args, io, TStateCommand::Disable, 0);
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
