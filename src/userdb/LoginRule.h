#pragma once
// What a login may hold. The password file is a list of "login:hash" lines read by web
// servers: a colon in a login would end it early and let the rest pose as the hash, a control
// character (line break, tab, NUL …) would split or cut the line, and an empty login makes a
// line that lets in anyone who leaves the name empty. Every place that makes or changes a login
// checks it here; the password file builder checks again before anything is written.

#include "base/Message.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvane {

// The longest password any entry point takes. MD5-crypt's work grows with the length, so a
// password of megabytes would keep an export busy for minutes; no real password comes near it.
inline constexpr std::size_t KMaxPasswordBytes = 4096;

// "The password is longer than 4096 bytes, the most a password may have" (PasswordTooLong) when
// it is; an empty message otherwise.
TMessage PasswordLengthMessage(const std::string& password);
// Raises EQuorvaneError with that message when the password is too long.
void RequireValidPasswordLength(const std::string& password);

// The longest login any entry point takes. Web servers read a password-file line into a buffer
// of their own (Apache: 8192 bytes, and it stops reading the file at a longer line, locking out
// every user after it); no real login comes near this bound.
inline constexpr std::size_t KMaxLoginBytes = 255;

enum class TLoginProblem {
    None,    // the login is acceptable
    Empty,   // no characters at all
    Colon,   // holds ":"
    Control, // holds a byte below 32 (tab, CR, LF, NUL …)
    TooLong, // more than KMaxLoginBytes bytes
};

// The first problem found in the login, or TLoginProblem::None.
TLoginProblem CheckLogin(const std::string& login);

// Why the login cannot be used and what to do (LoginEmpty, LoginColon, LoginControl,
// LoginTooLong); an empty message for None.
TMessage LoginProblemMessage(TLoginProblem problem);

// CheckLogin and LoginProblemMessage in one: an empty message when the login is acceptable.
TMessage LoginErrorMessage(const std::string& login);

// Raises EQuorvaneError with LoginErrorMessage when the login is not acceptable.
void RequireValidLogin(const std::string& login);

// True when the login starts with "#": servers read such a password-file line as a comment, so
// the user cannot log in. Allowed, but worth a warning.
bool LoginLooksLikeComment(const std::string& login);

// The warning for such a login (LoginLooksLikeComment); an empty message when there is nothing
// to warn about.
TMessage LoginWarningMessage(const std::string& login);

// The text on one line: backslash, tab, CR and LF become \\, \t, \r and \n, every other byte
// below 32 becomes \xNN; all else is kept. No field shown this way can fake a line or a column.
std::string EscapeForOneLine(const std::string& text);
// The same, appended to out.
void AppendForOneLine(std::string& out, std::string_view text);

} // namespace quorvane
