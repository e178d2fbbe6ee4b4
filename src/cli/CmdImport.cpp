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

// 90,000: thousands grouped as the English messages write them.
std::string CountText(int n) {
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0 && digits[0] != '-'; at -= 3)
        digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

std::string NumberList(const std::vector<int>& numbers) {
    std::string text = "[";
    for (size_t i = 0; i < numbers.size(); ++i)
        text += (i == 0 ? "" : ", ") + std::to_string(numbers[i]);
    return text + "]";
}

TImportSeparator SeparatorOption(const TArgs& args) {
    const auto text = args.Value("separator");
    if (!text) return TImportSeparator::TextRules;
    if (*text == "comma") return TImportSeparator::Comma;
    if (*text == "semicolon") return TImportSeparator::Semicolon;
    if (*text == "tab") return TImportSeparator::Tab;
    if (*text == "blank") return TImportSeparator::Blank;
    throw EUsage("--separator takes comma, semicolon, tab or blank");
}

std::string ProblemText(const TImportLineProblem& problem, int usualFields) {
    switch (problem.Problem) {
    case TImportProblem::MoreFields:
        return "more fields than the other lines (" + std::to_string(usualFields) + ")";
    case TImportProblem::FewerFields:
        return "fewer fields than the other lines (" + std::to_string(usualFields) + ")";
    case TImportProblem::BlankInLogin:
        return "the login holds a blank";
    case TImportProblem::ColumnName:
        return "the password is a column name";
    case TImportProblem::DuplicateLogin:
        return "the same login as line " + std::to_string(problem.OtherLine);
    }
    return {};
}

// Refuses, naming every line that looks wrong, unless --force takes them as they are.
void CheckImportText(const TImportAnalysis& analysis, TCliStreams& io) {
    if (analysis.SeparatorMissed())
        throw ECliError("Every line holds a semicolon, by which the text rules do not separate "
                        "fields: give --separator semicolon (or --force to read the lines as "
                        "they are); nothing was added");
    if (analysis.Problems.empty()) return;
    int shown = 0;
    for (const TImportLineProblem& problem : analysis.Problems)
        if (++shown <= 40)
            io.Err << "quorvane-cli: line " << problem.Line << ": "
                   << ProblemText(problem, analysis.UsualFields) << "\n";
    if (shown > 40) io.Err << "quorvane-cli: and " << shown - 40 << " more\n";
    const std::vector<int> lines = analysis.ProblemLines();
    throw ECliError(std::string(lines.size() == 1 ? "One line looks" : "Lines look") + " wrong (" +
                    LineList(lines) +
                    "); nothing was added. Mend the file or choose --separator, or give "
                    "--force to add them as they are");
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
    options.Separator = SeparatorOption(args);
    if (file != "-") text = ReadImportFile(file); // the file is closed before any user is added
    // Before anything is added: a header row, and lines a spreadsheet's file would have wrong.
    const TImportAnalysis analysis = AnalyseImport(text, options.Separator);
    if (!args.Has("force")) CheckImportText(analysis, io);
    if (analysis.HeaderLine > 0) options.SkipLines.push_back(analysis.HeaderLine);
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
               << ",\n  \"header_line\": " << analysis.HeaderLine << "\n}\n";
    } else if (!args.Has("quiet")) {
        io.Out << CountText(report.Added) << (report.Added == 1 ? " user" : " users") << " added\n";
    }
    if (analysis.HeaderLine > 0 && !args.Has("quiet"))
        io.Err << "quorvane-cli: line " << analysis.HeaderLine
               << " names the columns; it was not added\n";
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
            "DB FILE [--separator comma|semicolon|tab|blank] [--force] [--skip-existing] "
            "[--quiet] [--json]",
            "append the users of a text file",
            "One user per line: login, password, e-mail address, full name, separated by commas\n"
            "or blanks; double-quoted fields may hold both. --separator reads the fields as a\n"
            "spreadsheet writes them, separated by that character only (blank: by runs of\n"
            "blanks). Prints \"N users added\" (nothing with --quiet) and saves the database.\n"
            "A first line that names the columns (login, password, ...) is not added. Before\n"
            "anything is added, lines with more fields than the others (with --separator, or\n"
            "fewer), a login holding a blank, a password that is a column name, or a login\n"
            "another line has too are named, and nothing is added unless --force takes them\n"
            "as they are; so is a file whose every line holds a semicolon and no --separator.\n"
            "Blank lines are skipped and\n"
            "counted on standard error. A file with a line whose login is empty or holds \":\"\n"
            "or a control character, or a password longer than 4096 bytes, is refused as a\n"
            "whole, naming the line; nothing is added. Logins the database (or an earlier\n"
            "line) already has, letters a-z without regard to case, are added again and\n"
            "named on standard error; --skip-existing leaves them out. FILE \"-\" reads the\n"
            "users from standard input. --json prints the result as one JSON document instead\n"
            "of the count: added, blank_lines, no_password_lines, comment_login_lines (line\n"
            "numbers), existing (logins), skipped_existing, header_line (0: none).\n",
            {"separator"},
            {"quiet", "skip-existing", "json", "force"},
            CmdImport};
}

} // namespace quorvane::cli
