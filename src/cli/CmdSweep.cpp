#include "cli/CliCommand.h"

#include "base/DateUtil.h"
#include "userdb/UserList.h"

#include <memory>
#include <ostream>

namespace quorvane::cli {

namespace {

int CmdSweep(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string& path = args.Positional()[0];
    TDatabaseSession db(path, TDatabaseSession::TAccess::Rewrite);
    // Each user is swept as it is read, and written out again at once.
    struct TSweep : TUserStream {
        TDateTime Now = quorvane::Now();
        int Disabled = 0;
        void Begin(std::string_view) override { Disabled = 0; }
        void User(TUserProp& user) override {
            if (DisableIfExpired(user, Now)) ++Disabled;
        }
        // Runs of users may be swept where they were read, at the same moment.
        std::unique_ptr<TUserStream> Part(size_t) const override {
            auto part = std::make_unique<TSweep>();
            part->Now = Now;
            return part;
        }
        void Join(TUserStream& part) override { Disabled += static_cast<TSweep&>(part).Disabled; }
    } sweep;
    db.Rewrite(sweep, io.Err);
    const int disabled = sweep.Disabled;
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
