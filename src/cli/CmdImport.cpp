#include "cli/CliCommand.h"

#include "base/FileSafety.h"
#include "cli/Json.h"
#include "export/ClearPasswords.h"
#include "userdb/CSVImport.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <istream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace quorvane::cli {

namespace {

// "line 4" or "lines 4, 7, 9", the list cut after 20 numbers.
std::string LineList(const std::vector<int>& lines) {
    std::string text = lines.size() == 1 ? "line" : "lines";
    for (size_t i = 0; i < lines.size() && i < 20; ++i)
        text += (i == 0 ? " " : ", ") + std::to_string(lines[i]);
    if (lines.size() > 20) text += " and " + std::to_string(lines.size() - 20) + " more";
    return text;
}

std::string NumberList(const std::vector<int>& numbers) {
    std::string text = "[";
    for (size_t i = 0; i < numbers.size(); ++i)
        text += (i == 0 ? "" : ", ") + std::to_string(numbers[i]);
    return text + "]";
}

int CmdImport(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    const std::string& file = args.Positional()[1];
    // Standard input is read whole before the database is locked: a slow producer does not keep
    // other programs out of it.
    std::string text;
    if (file == "-") {
        text.assign(std::istreambuf_iterator<char>(io.In), std::istreambuf_iterator<char>());
        if (io.In.bad()) throw ECliError("Cannot read standard input");
        // The bound a file's lines have holds for standard input too.
        size_t start = 0;
        for (int line = 1; start <= text.size(); ++line) {
            const size_t end = std::min(text.find_first_of("\r\n", start), text.size());
            if (end - start > KMaxInputLineBytes)
                throw ECliError(
                    FormatMessage("Line %d of %s is longer than 64 KiB", line, "standard input"));
            start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        }
    }
    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    TImportReport report;
    TImportOptions options;
    options.SkipExisting = args.Has("skip-existing");
    if (file != "-") text = ReadImportFile(file); // the file is closed before any user is added
    ImportUsersFor(text, list, &report, options);
    if (report.Added > 0) db.Save(io.Err);
    if (args.Has("json")) {
        std::string existing = "[";
        for (size_t i = 0; i < report.Existing.size(); ++i)
            existing += (i == 0 ? "" : ", ") + JsonString(report.Existing[i]);
        io.Out << "{\n  \"added\": " << report.Added
               << ",\n  \"blank_lines\": " << report.BlankLines
               << ",\n  \"no_password_lines\": " << NumberList(report.NoPassword)
               << ",\n  \"comment_login_lines\": " << NumberList(report.CommentLogins)
               << ",\n  \"existing\": " << existing << "]"
               << ",\n  \"skipped_existing\": " << (report.SkippedExisting ? "true" : "false")
               << "\n}\n";
    } else if (!args.Has("quiet")) {
        io.Out << report.Added << "\n";
    }
    if (!report.Existing.empty())
        io.Err << "quorvane-cli: " << (options.SkipExisting ? "" : "warning: ")
               << EnglishText(ExistingLoginsMessage(report))
               << (options.SkipExisting ? "" : "; --skip-existing leaves them out") << "\n";
    if (report.BlankLines > 0 && !args.Has("quiet"))
        io.Err << "quorvane-cli: skipped " << report.BlankLines << " blank line"
               << (report.BlankLines == 1 ? "" : "s") << "\n";
    if (!report.NoPassword.empty())
        io.Err << "quorvane-cli: warning: " << LineList(report.NoPassword)
               << " added a user without a password; give them passwords before the next "
                  "export, which refuses them unless --allow-empty-passwords is given\n";
    if (!report.CommentLogins.empty())
        io.Err << "quorvane-cli: warning: " << LineList(report.CommentLogins)
               << " added a login starting with \"#\", which web servers read as a comment\n";
    return kExitOk;
}

} // namespace

TCommand ImportCommand() {
    return {"import",
            "DB FILE [--skip-existing] [--quiet] [--json]",
            "append the users of a text file",
            "One user per line: login, password, e-mail address, full name, separated by commas\n"
            "or blanks; double-quoted fields may hold both. Prints the number of users added\n"
            "(nothing with --quiet) and saves the database. Blank lines are skipped and\n"
            "counted on standard error. A file with a line whose login is empty or holds \":\"\n"
            "or a control character, or a password longer than 4096 bytes, is refused as a\n"
            "whole, naming the line; nothing is added. Logins the database (or an earlier\n"
            "line) already has, letters a-z without regard to case, are added again and\n"
            "named on standard error; --skip-existing leaves them out. FILE \"-\" reads the\n"
            "users from standard input. --json prints the result as one JSON document instead\n"
            "of the count: added, blank_lines, no_password_lines, comment_login_lines (line\n"
            "numbers), existing (logins), skipped_existing.\n",
            {},
            {"quiet", "skip-existing", "json"},
            CmdImport};
}

} // namespace quorvane::cli
