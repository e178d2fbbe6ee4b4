#include "cli/CliCommand.h"

#include "cli/Json.h"
#include "export/GroupFile.h"
#include "export/HtpasswdImport.h"
#include "userdb/Groups.h"
#include "userdb/UserList.h"

#include <fstream>
#include <optional>
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
    const std::optional<std::string> policy = args.Value("on-conflict");
    if (policy && *policy != "skip" && *policy != "replace")
        throw EUsage("--on-conflict takes skip or replace");
    // The whole file (and the group file) is read and checked before the database is touched.
    const std::vector<THtpasswdEntry> entries = ReadHtpasswdFile(file);
    const bool lf = EndsLinesWithLf(file);
    std::vector<TGroupMembership> memberships;
    if (const auto groupFile = args.Value("groups")) memberships = ReadGroupFile(*groupFile);

    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    // A group the database spells otherwise would be two groups here and one to Apache.
    std::vector<std::string> fileGroups;
    for (const TGroupMembership& m : memberships)
        fileGroups.insert(fileGroups.end(), m.Groups.begin(), m.Groups.end());
    RequireGroupSpelling(list, fileGroups);
    if (!policy) {
        // Servers tell "Ann" from "ann"; this database does not. Nobody is dropped unasked.
        const std::vector<THtpasswdClash> clashes = FindHtpasswdClashes(list, entries);
        if (!clashes.empty())
            throw ECliError(
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
               << " that no user of the database has, left out\n";
    if (args.Has("json")) {
        const auto logins = [](const auto& items) {
            std::string text = "[";
            for (size_t i = 0; i < items.size(); ++i)
                text += (i == 0 ? "" : ", ") + JsonString(items[i].Login);
            return text + "]";
        };
        std::string unknownMembers = "[";
        for (size_t i = 0; i < strangers.size(); ++i)
            unknownMembers += (i == 0 ? "" : ", ") + JsonString(strangers[i]);
        io.Out << "{\n  \"added\": " << result.Added << ",\n  \"replaced\": " << result.Replaced
               << ",\n  \"skipped\": " << result.Skipped << ",\n  \"weak\": " << result.Weak
               << ",\n  \"skipped_logins\": " << logins(result.SkippedClashes)
               << ",\n  \"replaced_logins\": " << logins(result.ReplacedClashes)
               << ",\n  \"locked\": " << logins(result.Locked)
               << ",\n  \"unknown_scheme\": " << logins(result.Unknown) << ",\n  \"line_ends\": \""
               << (list.UnixLineEnds ? "lf" : "crlf") << "\",\n  \"grouped\": " << grouped
               << ",\n  \"unknown_group_members\": " << unknownMembers << "]\n}\n";
    } else if (!args.Has("quiet")) {
        io.Out << HtpasswdImportReport(result) << "\n" << HtpasswdImportNotes(result);
    }
    return kExitOk;
}

} // namespace

TCommand ImportHtpasswdCommand() {
    return {"import-htpasswd",
            "DB FILE [--on-conflict skip|replace] [--plain-text] [--groups GROUPFILE] "
            "[--quiet] [--json]",
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
            "(nothing with --quiet). A file whose lines end with LF alone makes LF the\n"
            "database's line ends, so the next export keeps them. --groups takes over\n"
            "Apache's group file (\"group: user user ...\"): its users join those groups.\n"
            "--json prints the result as one JSON document: added, replaced, skipped, weak,\n"
            "skipped_logins, replaced_logins, locked, unknown_scheme, line_ends, grouped,\n"
            "unknown_group_members.\n",
            {"on-conflict", "groups"},
            {"quiet", "plain-text", "json"},
            CmdImportHtpasswd};
}

} // namespace quorvane::cli
