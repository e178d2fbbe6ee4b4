#include "cli/CliCommand.h"

#include "cli/Json.h"
#include "export/GroupFile.h"
#include "export/HtpasswdImport.h"
#include "userdb/Groups.h"
#include "userdb/UserList.h"

#include <fstream>
#include <ostream>

namespace quorvane::cli {

namespace {

// Whether the file's first line ends with LF alone, as Unix tools write them (false for CR LF
// and for a file without a line end).
bool EndsLinesWithLf(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || in.eof()) return false;
    return line.empty() || line.back() != '\r';
}

int CmdImportHtpasswd(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    const std::string& file = args.Positional()[1];
    const std::string policy = args.Value("on-conflict").value_or("skip");
    if (policy != "skip" && policy != "replace")
        throw EUsage("--on-conflict takes skip or replace");
    // The whole file (and the group file) is read and checked before the database is touched.
    const std::vector<THtpasswdEntry> entries = ReadHtpasswdFile(file);
    const bool lf = EndsLinesWithLf(file);
    std::vector<TGroupMembership> memberships;
    if (const auto groupFile = args.Value("groups")) memberships = ReadGroupFile(*groupFile);

    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    const bool replace = policy == "replace";
    const THtpasswdImportResult result = ImportHtpasswd(
        list, entries, [&](const TUserProp&, const THtpasswdEntry&) { return replace; });
    // A taken-over file keeps its line ends on the next export.
    bool changed = result.Added + result.Replaced > 0;
    if (lf && !list.UnixLineEnds) {
        list.UnixLineEnds = true;
        changed = true;
    }
    int grouped = 0;
    std::vector<std::string> strangers; // members of the group file without a user here
    for (const TGroupMembership& m : memberships) {
        TUserProp* user = nullptr;
        for (int i = 0; i < list.Count() && user == nullptr; ++i)
            if (list.Users(i).Login == m.Login) user = &list.Users(i);
        if (user == nullptr) {
            strangers.push_back(m.Login);
            continue;
        }
        bool joined = false;
        for (const std::string& g : m.Groups)
            joined = AddUserToGroup(*user, g) || joined;
        if (joined) ++grouped;
    }
    changed = changed || grouped > 0;
    if (changed) db.Save(io.Err);
    if (!strangers.empty() && !args.Has("quiet"))
        io.Err << "quorvane-cli: warning: the group file names " << strangers.size()
               << (strangers.size() == 1 ? " login" : " logins")
               << " that no user of the database has; they were left out\n";
    if (args.Has("json")) {
        io.Out << "{\n  \"added\": " << result.Added << ",\n  \"replaced\": " << result.Replaced
               << ",\n  \"skipped\": " << result.Skipped << ",\n  \"weak\": " << result.Weak
               << ",\n  \"line_ends\": \"" << (list.UnixLineEnds ? "lf" : "crlf")
               << "\",\n  \"grouped\": " << grouped << ",\n  \"unknown_group_members\": [";
        for (size_t i = 0; i < strangers.size(); ++i)
            io.Out << (i == 0 ? "" : ", ") << JsonString(strangers[i]);
        io.Out << "]\n}\n";
    } else if (!args.Has("quiet")) {
        io.Out << HtpasswdImportReport(result) << "\n";
    }
    return kExitOk;
}

} // namespace

TCommand ImportHtpasswdCommand() {
    return {"import-htpasswd",
            "DB FILE [--on-conflict skip|replace] [--groups GROUPFILE] [--quiet] [--json]",
            "take over the users of an existing password file",
            "Reads \"login:hash\" lines as Apache's htpasswd writes them ($apr1$, $2y$/$2a$/$2b$\n"
            "bcrypt, $5$ and $6$ SHA-crypt, {SHA}, DES crypt); a value in none of these forms\n"
            "is a clear password. Blank lines and lines starting with # are skipped. Users\n"
            "come in known only by their hash, which export writes unchanged; a new password\n"
            "replaces it. A login already in the database (letters a-z without regard to case)\n"
            "is skipped, or with --on-conflict replace gets the file's hash. A line that is\n"
            "not login:password, or a login that cannot be used, refuses the whole file,\n"
            "naming the line, before anything changes. Prints how many users were added,\n"
            "replaced and skipped, and how many use weak schemes (nothing with --quiet).\n"
            "A file whose lines end with LF alone makes LF the database's line ends, so the\n"
            "next export keeps them. --groups takes over Apache's group file\n"
            "(\"group: user user ...\"): its users join those groups. --json prints the result\n"
            "as one JSON document: added, replaced, skipped, weak, line_ends, grouped,\n"
            "unknown_group_members.\n",
            {"on-conflict", "groups"},
            {"quiet", "json"},
            CmdImportHtpasswd};
}

} // namespace quorvane::cli
