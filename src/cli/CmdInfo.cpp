#include "cli/CliCommand.h"

#include "userdb/UserList.h"

#include <cstdio>
#include <memory>
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
    // A run of users counted and encoded where it was read.
    struct TPart : TUserStream {
        std::unique_ptr<TUserStream> Items;
        int Users = 0;
        int Enabled = 0;
        void Begin(std::string_view) override {}
        void User(TUserProp& user) override {
            Items->User(user);
            ++Users;
            if (!user.Disable) ++Enabled;
        }
    };
    std::unique_ptr<TUserStream> Part(size_t textBytes) const override {
        auto part = std::make_unique<TPart>();
        part->Items = TStreamedFingerprint::Part(textBytes);
        return part;
    }
    void Join(TUserStream& part) override {
        auto& p = static_cast<TPart&>(part);
        TStreamedFingerprint::Join(*p.Items);
        Users += p.Users;
        Enabled += p.Enabled;
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
