#include "cli/CliCommand.h"

#include "base/DateUtil.h"
#include "cli/UserSelection.h"
#include "userdb/UserList.h"

#include <ostream>

namespace quorvane::cli {

namespace {

int CmdEnable(const TArgs& args, TCliStreams& io) {
    const TDateTime now = Now();
    ApplyToNamedUsers(args, io, TStateCommand::Enable, 0, [&](const TUserProp& user) {
        // The sweep before every export would disable such a user again at once.
        if (user.Expire && now > user.ExpireDate)
            io.Err << "quorvane-cli: warning: user \"" << user.Login << "\" expired on "
                   << FormatDateTime(user.ExpireDate)
                   << "; the next sweep or export disables it again (see \"expire\")\n";
    });
    return kExitOk;
}

} // namespace

TCommand EnableCommand() {
    return {"enable",
            "DB LOGIN...",
            "enable users",
            "Enables every user whose login is exactly one of the LOGINs; fails, changing\n"
            "nothing, when a LOGIN matches no user. A user whose expiration date has passed\n"
            "is enabled with a warning: the next sweep or export disables it again unless\n"
            "its expiry is changed with \"expire\". The database is saved when it changed.\n",
            {},
            {},
            CmdEnable};
}

} // namespace quorvane::cli
