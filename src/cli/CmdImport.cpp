#include "cli/CliCommand.h"

#include "cli/Json.h"
#include "userdb/CSVImport.h"
#include "userdb/UserList.h"

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
        if (io.In.bad()) throw EQuorvaneError("Cannot read standard input");
    }
    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    TImportReport report;
    if (file == "-")
        ImportUsersFromText(text, list, &report);
    else
        ImportUsers(file, list, &report);
    db.Save(io.Err);
    if (args.Has("json"))
        io.Out << "{\n  \"added\": " << report.Added
               << ",\n  \"blank_lines\": " << report.BlankLines
               << ",\n  \"no_password_lines\": " << NumberList(report.NoPassword)
               << ",\n  \"comment_login_lines\": " << NumberList(report.CommentLogins) << "\n}\n";
    else if (!args.Has("quiet"))
        io.Out << report.Added << "\n";
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
            "DB FILE [--quiet] [--json]",
            "append the users of a text file",
            "One user per line: login, password, e-mail address, full name, separated by commas\n"
            "or blanks; double-quoted fields may hold both. Prints the number of users added\n"
            "(nothing with --quiet) and saves the database. Blank lines are skipped and\n"
            "counted on standard error. A file with a line whose login is empty or holds \":\"\n"
            "or a control character is refused as a whole, naming the line; nothing is added.\n"
            "FILE \"-\" reads the users from standard input. --json prints the result as one\n"
            "JSON document instead of the count: added, blank_lines, no_password_lines,\n"
            "comment_login_lines (line numbers).\n",
            {},
            {"quiet", "json"},
            CmdImport};
}

} // namespace quorvane::cli
