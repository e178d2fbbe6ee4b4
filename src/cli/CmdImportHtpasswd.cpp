#include "cli/CliCommand.h"

#include "export/HtpasswdImport.h"
#include "userdb/UserList.h"

#include <ostream>

namespace quorvane::cli {

namespace {

int CmdImportHtpasswd(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    const std::string policy = args.Value("on-conflict").value_or("skip");
    if (policy != "skip" && policy != "replace")
        throw EUsage("--on-conflict takes skip or replace");
    // The whole file is read and checked before the database is touched.
    const std::vector<THtpasswdEntry> entries = ReadHtpasswdFile(args.Positional()[1]);

    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    const bool replace = policy == "replace";
    const THtpasswdImportResult result = ImportHtpasswd(
        list, entries, [&](const TUserProp&, const THtpasswdEntry&) { return replace; });
    if (result.Added + result.Replaced > 0) db.Save(io.Err);
    if (!args.Has("quiet")) io.Out << HtpasswdImportReport(result) << "\n";
    return kExitOk;
}

} // namespace

TCommand ImportHtpasswdCommand() {
    return {"import-htpasswd",
            "DB FILE [--on-conflict skip|replace] [--quiet]",
            "take over the users of an existing password file",
            "Reads \"login:hash\" lines as Apache's htpasswd writes them ($apr1$, $2y$/$2a$/$2b$\n"
            "bcrypt, $5$ and $6$ SHA-crypt, {SHA}, DES crypt); a value in none of these forms\n"
            "is a clear password. Blank lines and lines starting with # are skipped. Users\n"
            "come in known only by their hash, which export writes unchanged; a new password\n"
            "replaces it. A login already in the database (letters a-z without regard to case)\n"
            "is skipped, or with --on-conflict replace gets the file's hash. A line that is\n"
            "not login:password, or a login that cannot be used, refuses the whole file,\n"
            "naming the line, before anything changes. Prints how many users were added,\n"
            "replaced and skipped, and how many use weak schemes (nothing with --quiet).\n",
            {"on-conflict"},
            {"quiet"},
            CmdImportHtpasswd};
}

} // namespace quorvane::cli
