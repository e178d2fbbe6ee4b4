#pragma once
// Import of users from a plain text file: one user per line, up to four fields (login,
// password, e-mail address, full name) separated by commas or blanks, double-quoted fields
// allowed.

#include "base/Message.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

class TUserList;

// Splits the text of an import file into lines. A line ends at CR LF, at a lone CR or at a
// lone LF; the last line needs no line end, and a line end at the very end of the text makes
// no further empty line. A NUL byte ends the text. An empty text has no lines.
std::vector<std::string> SplitImportLines(std::string_view text);

// Splits one line into its fields. A blank is any character with code 1 to 32; a separator is
// a comma, a run of blanks, or a comma with blanks around it; blanks at both ends of the line
// are ignored. A field starting with a double quote runs to the next double quote that is not
// doubled ("" inside stands for "), or to the end of the line when the closing quote is
// missing; reading goes on right after the closing quote. A comma at the start of the line, or
// two commas with only blanks between them, enclose an empty field; a comma at the end of the
// line adds none. A NUL byte ends the line.
std::vector<std::string> SplitImportFields(std::string_view line);

// How the fields of a line are separated: by the text rules above (a comma or blanks), or by
// one character only, as a spreadsheet writes its CSV: a comma, a semicolon, a tab or a run of
// blanks.
enum class TImportSeparator : uint8_t { TextRules, Comma, Semicolon, Tab, Blank };

// Splits one line by `separator`. TextRules is SplitImportFields. With one character, every
// separator starts a new field (an empty one between two separators, one at the end after a
// trailing separator), blanks around a field are dropped, and a field starting with a double
// quote runs as above; Blank takes a run of blanks as one separator and ignores blanks at both
// ends of the line.
std::vector<std::string> SplitImportFields(std::string_view line, TImportSeparator separator);

// What may be wrong with one line of an import file.
enum class TImportProblem : uint8_t {
    MoreFields,     // more fields than the other lines: some would be lost or shifted
    FewerFields,    // fewer fields than the other lines (a separator given or found only)
    BlankInLogin,   // the login holds a blank: a name, or a password run into the login
    ColumnName,     // the password is a column name ("password"): a header's leftovers
    DuplicateLogin, // another line of the file has the same login
};

struct TImportLineProblem {
    int Line; // from 1
    TImportProblem Problem;
    int OtherLine = 0; // DuplicateLogin: the first other line with that login
};

// What a look at the whole text found, before anything is added.
struct TImportAnalysis {
    TImportSeparator Separator = TImportSeparator::TextRules; // what the lines were split by
    // The separator every line holds (a tab, then a semicolon, then a comma), or TextRules.
    TImportSeparator Found = TImportSeparator::TextRules;
    int HeaderLine = 0;  // 1 when the first line names the columns (it is not a user)
    int UsualFields = 0; // the number of fields most lines have
    std::vector<TImportLineProblem> Problems; // in line order; a line may have several
    // The lines hold a semicolon or a tab each, but are read by the text rules: each would
    // become one login.
    bool SeparatorMissed() const;
    // The lines named by Problems, each once, in order.
    std::vector<int> ProblemLines() const;
};

// Looks at the text as the import would read it with `separator`: whether line 1 is a header
// (its login or password field is a column name such as "login", "user", "password",
// "e-mail"), which separator all lines hold, and every line (the header aside) with more
// fields than most (or, with a separator given or found, fewer), a login with a blank in it
// (read by one character: the login field; by the text rules, in a file whose lines all hold a
// comma: the text before the first comma), a password that is a column name, or a login that
// another line of the file has too (letters a to z without regard to case). Blank lines are
// no problem. Linear in the text.
TImportAnalysis AnalyseImport(std::string_view text,
                              TImportSeparator separator = TImportSeparator::TextRules);

// Field n (from 0) of a split line, or the empty text when the line has fewer fields.
std::string ImportField(const std::vector<std::string>& fields, int n);

// What an import did, for its caller to tell the user.
struct TImportReport {
    int Added = 0;                  // users appended
    int BlankLines = 0;             // lines that were empty or held only blanks, skipped
    std::vector<int> NoPassword;    // line numbers (from 1) of users added without a password
    std::vector<int> CommentLogins; // lines whose login starts with "#" (LoginWarningMessage)
    // Logins that the database or an earlier line already had (letters a to z without regard
    // to case), in file order; added, or skipped with SkipExisting.
    std::vector<std::string> Existing;
    bool SkippedExisting = false;
    int SkippedLines = 0; // lines left out as TImportOptions::SkipLines asked
};

struct TImportOptions {
    // Leaves out the lines whose login the database or an earlier line already has.
    bool SkipExisting = false;
    TImportSeparator Separator = TImportSeparator::TextRules;
    // Lines (from 1) left out: a header, the lines a preview said to skip. Counted in
    // TImportReport::SkippedLines.
    std::vector<int> SkipLines;
};

// Appends one user per line of the text to the list, in text order: login = field 0,
// password = field 1 (through the list's Add), Email = field 2, FullName = field 3. Lines that
// are empty or hold only blanks are skipped and counted. Every line is checked first: when a
// line's login is empty or holds ":" or a control character (see CheckLogin), or its password is
// longer than a password may be (KMaxPasswordBytes), nothing is added and EQuorvaneError names
// the line. A login already there (see TImportReport::Existing) is added like any other unless
// options.SkipExisting. Takes time linear in the users and lines. Returns the number added;
// report, when given, receives the details.
int ImportUsersFromText(std::string_view text, TUserList& list, TImportReport* report = nullptr,
                        const TImportOptions& options = {});

// The logins of the text that the list or an earlier line already has, in text order (as the
// import would report them), before anything is added.
std::vector<std::string> ExistingImportLogins(std::string_view text, const TUserList& list,
                                              const TImportOptions& options = {});

// The text of an import file (ReadInputFile: a regular file, lines of at most 64 KiB; reading
// stops at a NUL byte, after which nothing is used). Raises "Cannot open file %s" when the file
// cannot be opened (missing, no access, a folder), and what ReadInputFile raises otherwise.
std::string ReadImportFile(const std::string& fileName);

// Reads the named file (ReadImportFile) and imports it as ImportUsersFromText does; the file is
// closed before any user is added, and the list is unchanged when reading fails. Returns the
// number of users added.
int ImportUsers(const std::string& fileName, TUserList& list, TImportReport* report = nullptr,
                const TImportOptions& options = {});

// "3 logins were already there: ann, bob, carl" (with "and were skipped" before the colon when
// they were), 20 named at most; an empty message when there were none.
TMessage ExistingLoginsMessage(const TImportReport& report);

} // namespace quorvane
