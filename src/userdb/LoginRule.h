#pragma once
// What a login may hold. The password file is a list of "login:hash" lines read by web
// servers: a colon in a login would end it early and let the rest pose as the hash, a control
// character (line break, tab, NUL …) would split or cut the line, and an empty login makes a
// line that lets in anyone who leaves the name empty. Every place that makes or changes a login
// checks it here; the password file builder checks again before anything is written.

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvane {

// The longest password any entry point takes. MD5-crypt's work grows with the length, so a
// password of megabytes would keep an export busy for minutes; no real password comes near it.
inline constexpr std::size_t KMaxPasswordBytes = 4096;

// "The password is longer than 4096 bytes, the most a password may have" when it is; empty
// otherwise.
std::string PasswordLengthError(const std::string& password);
// Raises EQuorvaneError with that text when the password is too long.
void RequireValidPasswordLength(const std::string& password);

enum class TLoginProblem {
    None,    // the login is acceptable
    Empty,   // no characters at all
    Colon,   // holds ":"
    Control, // holds a byte below 32 (tab, CR, LF, NUL …)
};

// The first problem found in the login, or TLoginProblem::None.
TLoginProblem CheckLogin(const std::string& login);

// A sentence saying why the login cannot be used and what to do; empty for None.
std::string LoginProblemText(TLoginProblem problem);

// CheckLogin and LoginProblemText in one: empty when the login is acceptable.
std::string LoginError(const std::string& login);

// Raises EQuorvaneError with LoginError's text when the login is not acceptable.
void RequireValidLogin(const std::string& login);

// True when the login starts with "#": servers read such a password-file line as a comment, so
// the user cannot log in. Allowed, but worth a warning.
bool LoginLooksLikeComment(const std::string& login);

// The warning for such a login; empty when there is nothing to warn about.
std::string LoginWarning(const std::string& login);

// The text on one line: backslash, tab, CR and LF become \\, \t, \r and \n, every other byte
// below 32 becomes \xNN; all else is kept. No field shown this way can fake a line or a column.
std::string EscapeForOneLine(const std::string& text);
// The same, appended to out.
void AppendForOneLine(std::string& out, std::string_view text);

} // namespace quorvane
