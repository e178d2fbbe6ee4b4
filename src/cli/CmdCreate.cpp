#include "cli/CliCommand.h"

#include "userdb/UserList.h"

#include <sys/stat.h>

namespace quorvane::cli {

namespace {

int CmdCreate(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string& path = args.Positional()[0];
    TDatabaseSession db(path, TDatabaseSession::TAccess::Create);
    db.Save(io.Err);
    return kExitOk;
}

} // namespace

TCommand CreateCommand() {
    return {"create",
            "DB",
            "create a new, empty users database",
            "Fails when DB already exists. The new database has the default export settings:\n"
            "MD5 passwords, export to a local file, passive FTP.\n",
            {},
            {},
            CmdCreate};
}

} // namespace quorvane::cli
