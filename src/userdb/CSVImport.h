#pragma once
// Import of users from a plain text file: one user per line, up to four fields (login,
// password, e-mail address, full name) separated by commas or blanks, double-quoted fields
// allowed.

#include "base/Message.h"

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
};

struct TImportOptions {
    // Leaves out the lines whose login the database or an earlier line already has.
    bool SkipExisting = false;
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
std::vector<std::string> ExistingImportLogins(std::string_view text, const TUserList& list);

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
