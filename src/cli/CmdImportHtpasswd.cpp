#include "cli/CliCommand.h"

#include "export/HtpasswdImport.h"
#include "userdb/UserList.h"

#include <optional>
#include <ostream>

namespace quorvane::cli {

namespace {

int CmdImportHtpasswd(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    const std::optional<std::string> policy = args.Value("on-conflict");
    if (policy && *policy != "skip" && *policy != "replace")
        throw EUsage("--on-conflict takes skip or replace");
    // The whole file is read and checked before the database is touched.
    const std::vector<THtpasswdEntry> entries = ReadHtpasswdFile(args.Positional()[1]);

    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    if (!policy) {
        // Servers tell "Ann" from "ann"; this database does not. Nobody is dropped unasked.
        const std::vector<THtpasswdClash> clashes = FindHtpasswdClashes(list, entries);
        if (!clashes.empty())
            throw EQuorvaneError(
                "Nothing was imported: " + std::to_string(clashes.size()) +
                (clashes.size() == 1 ? " login is" : " logins are") +
                " there already (letters a to z without regard to case): " +
                HtpasswdClashList(clashes) +
                ". Say what becomes of them with --on-conflict skip or --on-conflict replace");
    }
    const bool replace = policy == "replace";
    THtpasswdImportOptions options;
    options.PlainTextValues = args.Has("plain-text");
    const THtpasswdImportResult result = ImportHtpasswd(
        list, entries, [&](const THtpasswdClash&) { return replace; }, options);
    if (result.Added + result.Replaced > 0) db.Save(io.Err);
    if (!args.Has("quiet"))
        io.Out << HtpasswdImportReport(result) << "\n" << HtpasswdImportNotes(result);
    return kExitOk;
}

} // namespace

TCommand ImportHtpasswdCommand() {
    return {"import-htpasswd",
            "DB FILE [--on-conflict skip|replace] [--plain-text] [--quiet]",
            "take over the users of an existing password file",
            "Reads \"login:hash\" lines as Apache's htpasswd writes them ($apr1$, $2y$/$2a$/$2b$\n"
            "bcrypt, $5$, $6$, $1$ and $y$ crypt, {SHA}, DES crypt) and nginx's {SSHA} and\n"
            "{PLAIN}. Users come in known only by their value, which export writes exactly\n"
            "as the file had it; a new password replaces it. A {PLAIN} value is the user's\n"
            "clear password. A locked value (empty, blanks, or starting with ! or *) stays\n"
            "locked, and one in no known scheme stays as it was and matches no password:\n"
            "on Linux, Apache and nginx let nobody in with such a value either. Both are\n"
            "named in the report. Only a file written for Apache on Windows, NetWare or TPF\n"
            "holds clear passwords as they are: --plain-text takes values in no known scheme\n"
            "for clear passwords. Blank lines and lines starting with # are skipped.\n"
            "A login that an earlier line or the database already has (letters a-z without\n"
            "regard to case: web servers tell Ann from ann, the database does not) refuses\n"
            "the whole file, naming the lines, unless --on-conflict says what becomes of them:\n"
            "skip keeps what is there, replace gives it the line's value. A line\n"
            "that is not login:password, a login that cannot be used, a value longer than\n"
            "4096 bytes, or a file that is not a password file (binary data, or the lines of\n"
            "/etc/passwd, /etc/shadow or /etc/group) refuses the whole file before anything\n"
            "changes. Prints how many users were added, replaced and skipped, how many use\n"
            "weak schemes, and who was skipped, replaced, locked or kept as they were\n"
            "(nothing with --quiet).\n",
            {"on-conflict"},
            {"quiet", "plain-text"},
            CmdImportHtpasswd};
}

} // namespace quorvane::cli
