#include "cli/CliCommand.h"

#include "userdb/CSVImport.h"
#include "userdb/UserList.h"

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

int CmdImport(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    TImportReport report;
    TImportOptions options;
    options.SkipExisting = args.Has("skip-existing");
    ImportUsers(args.Positional()[1], list, &report, options);
    if (report.Added > 0) db.Save(io.Err);
    if (!args.Has("quiet")) io.Out << report.Added << "\n";
    if (!report.Existing.empty())
        io.Err << "quorvane-cli: " << (options.SkipExisting ? "" : "warning: ")
               << ExistingLoginsText(report)
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
            "DB FILE [--skip-existing] [--quiet]",
            "append the users of a text file",
            "One user per line: login, password, e-mail address, full name, separated by commas\n"
            "or blanks; double-quoted fields may hold both. Prints the number of users added\n"
            "(nothing with --quiet) and saves the database. Blank lines are skipped and\n"
            "counted on standard error. A file with a line whose login is empty or holds \":\"\n"
            "or a control character, or a password longer than 4096 bytes, is refused as a\n"
            "whole, naming the line; nothing is added. Logins the database (or an earlier\n"
            "line) already has, letters a-z without regard to case, are added again and\n"
            "named on standard error; --skip-existing leaves them out.\n",
            {},
            {"quiet", "skip-existing"},
            CmdImport};
}

} // namespace quorvane::cli
