#pragma once
// Taking over an existing password file ("login:hash" lines as Apache's htpasswd writes them):
// the users come in known by their stored hash, or by their clear password for a line whose
// value has none of the hash forms.

#include "export/StoredHash.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

class TUserList;
class TUserProp;

// One user line of a password file.
struct THtpasswdEntry {
    int Line = 0;      // 1-based line number in the file
    std::string Login; // before the first ":"
    std::string Value; // after it, up to a further ":" (which servers also stop at)
    TStoredScheme Scheme = TStoredScheme::PlainText;
};

// The user lines of a password file's text. Lines end at LF (a CR before it is dropped); empty
// lines, lines of blanks only and lines whose first non-blank character is "#" are skipped. A
// line that is not "login:value" with a non-empty value, a login the login rule forbids, or a
// NUL or other control character in the value raises EQuorvaneError naming the line number, and
// nothing is returned.
std::vector<THtpasswdEntry> ParseHtpasswd(std::string_view text);

// Reads and parses the named file. Raises "Cannot open file %s" when it cannot be read, or the
// parser's error.
std::vector<THtpasswdEntry> ReadHtpasswdFile(const std::string& fileName);

struct THtpasswdImportResult {
    int Added = 0;
    int Replaced = 0;
    int Skipped = 0; // logins already in the database (or earlier in the file) left alone
    int Weak = 0;    // of the added and replaced users, those on SHA-1, DES crypt or plain text
};

// Decides, for a login the database already holds (compared as the user dialog compares, letters
// a to z without regard to case), whether the file's value replaces the user's password.
using THtpasswdConflict = std::function<bool(const TUserProp& existing, const THtpasswdEntry&)>;

// Adds the entries to the list in file order: a new login becomes a user (ExpireDate and
// CreatedDate as the list's Add sets them) known by the stored hash, or by the clear password
// for a plain-text value; for a login already in the list, replace decides, and a replaced user
// keeps everything but its password. Of a login that occurs twice in the file only the first
// counts, as servers read it; the later ones are skipped.
THtpasswdImportResult ImportHtpasswd(TUserList& list, const std::vector<THtpasswdEntry>& entries,
                                     const THtpasswdConflict& replace);

// "3 users added, 1 replaced, 2 skipped." followed, when some use weak schemes, by " 2 of them
// use weak schemes (SHA-1, DES crypt or plain text): set new passwords for them."
std::string HtpasswdImportReport(const THtpasswdImportResult& result);

} // namespace quorvane
