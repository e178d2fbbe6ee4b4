#include "cli/CliCommand.h"

#include "base/DateUtil.h"
#include "cli/UserSelection.h"

namespace quorvane::cli {

namespace {

int CmdExpire(const TArgs& args, TCliStreams& io) {
    LoginArguments(args.Positional()); // a missing login is reported before the options
    if (args.Has("on") == args.Has("never")) throw EUsage("give exactly one of --on and --never");
    TDateTime date = 0;
    if (args.Has("on") && !ParseDateTime(*args.Value("on"), date))
        throw EUsage("--on takes \"YYYY-MM-DD[ HH:MM[:SS]]\"");
    // --never keeps the date, so switching expiry on in the desktop starts from it.
    ApplyToNamedUsers(
        args, io, args.Has("on") ? TStateCommand::SetExpireDate : TStateCommand::NeverExpire, date);
    return kExitOk;
}

} // namespace

TCommand ExpireCommand() {
    return {"expire",
            "DB LOGIN... (--on \"YYYY-MM-DD[ HH:MM[:SS]]\" | --never)",
            "give users an expiration date, or let them never expire",
            "--on sets the expiration date (local time; midnight when no time is given) of\n"
            "every user whose login is exactly one of the LOGINs; after that moment the sweep\n"
            "before every export disables them. A date already past takes effect at the next\n"
            "sweep or export. --never switches expiry off and keeps the date. Fails, changing\n"
            "nothing, when a LOGIN matches no user. The database is saved when it changed.\n",
            {"on"},
            {"never"},
            CmdExpire};
}

} // namespace quorvane::cli
