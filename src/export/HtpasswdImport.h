#pragma once
// Taking over an existing password file ("login:hash" lines as Apache's htpasswd writes them):
// the users come in known by their stored value, exactly as the file holds it, so that what the
// servers let in (and keep out) stays as it was.

#include "base/Message.h"
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
    std::string Value; // after it, up to a further ":" (which servers also stop at); may be empty
    TStoredScheme Scheme = TStoredScheme::Unknown;
};

// The user lines of a password file's text. Lines end at LF (a CR before it is dropped); empty
// lines, lines of blanks only and lines whose first non-blank character is "#" are skipped. The
// whole text is refused, naming the line where there is one, and nothing is returned: a text
// that does not look like a password file (a NUL byte: binary data; most lines with a number
// after their second ":", as /etc/passwd, /etc/shadow and /etc/group have), a line that is not
// "login:value", a login the login rule forbids, a control character in a value, or a value
// longer than a password may be (KMaxPasswordBytes).
std::vector<THtpasswdEntry> ParseHtpasswd(std::string_view text);

// Reads (ReadInputFile: a regular file, lines of at most 64 KiB) and parses the named file.
// Raises what the two raise.
std::vector<THtpasswdEntry> ReadHtpasswdFile(const std::string& fileName);

// A line whose login the database or an earlier line already has, compared as the database
// decides uniqueness (letters a to z without regard to case). Web servers tell "Ann" and "ann"
// apart; one database user stands for both here, so one of the two has to go.
struct THtpasswdClash {
    int Line = 0; // the line that meets the login again
    std::string Login;
    int OtherLine = 0; // the earlier line with that login; 0: a user the database held before
    std::string OtherLogin;
};

// Every clash of the entries with each other and with the list's users, in file order, before
// anything changes. Takes time linear in the number of users and lines.
std::vector<THtpasswdClash> FindHtpasswdClashes(const TUserList& list,
                                                const std::vector<THtpasswdEntry>& entries);

// Decides a clash: true when the line replaces what is there.
using THtpasswdDecision = std::function<bool(const THtpasswdClash&)>;

struct THtpasswdImportResult {
    int Added = 0;
    int Replaced = 0;
    int Skipped = 0; // lines left out because of a clash
    int Weak = 0;    // of the added and replaced users, those on SHA-1, DES crypt or plain text
    std::vector<THtpasswdClash> SkippedClashes, ReplacedClashes;
    // Added or replaced users whose value is locked, or of a scheme this program does not know:
    // they are kept exactly as the file had them.
    std::vector<THtpasswdEntry> Locked, Unknown;
};

// How the values of a file are read.
struct THtpasswdImportOptions {
    // The file's convention is plain text (a file written for Apache on Windows, NetWare or TPF,
    // the only systems where Apache compares values as they stand): a value in no known scheme
    // is the user's clear password. Locked values stay locked whatever this says.
    bool PlainTextValues = false;
};

// Adds the entries to the list in file order, in time linear in the number of users and lines:
// a new login becomes a user (ExpireDate and CreatedDate as the list's Add sets them) known only
// by the stored value, which goes into the password file unchanged; a "{PLAIN}" value becomes the
// user's clear password. For a clash (see THtpasswdClash), decide says whether the line replaces
// the user that is there (which then takes the line's value and keeps its login and everything
// else) or is skipped; without decide every clash is skipped.
THtpasswdImportResult ImportHtpasswd(TUserList& list, const std::vector<THtpasswdEntry>& entries,
                                     const THtpasswdDecision& decide,
                                     const THtpasswdImportOptions& options = {});

// "line 5 "mixed" (like line 2 "Mixed")", or "(like "Bob" in the database)".
TMessage HtpasswdClashMessage(const THtpasswdClash& clash);

// The English of the clashes for the command line's own sentence: the first 20, then "and N
// more".
std::string HtpasswdClashList(const std::vector<THtpasswdClash>& clashes);

// "3 users added, 1 replaced, 2 skipped." followed, when some use weak schemes, by " 2 of them
// use a weak scheme (SHA-1, DES crypt or plain text): set new passwords for them.": the
// sentences in order, each to be put right after the one before (the second starts with its
// blank).
std::vector<TMessage> HtpasswdImportMessages(const THtpasswdImportResult& result);
// Their English, one after the other.
std::string HtpasswdImportReport(const THtpasswdImportResult& result);

// What else the import has to tell, one sentence each: the skipped and the replaced clashes, the
// locked users and those of an unknown scheme, by login and line (20 named at most, the rest
// counted). None when there is nothing to tell.
std::vector<TMessage> HtpasswdImportNoteMessages(const THtpasswdImportResult& result);
// Their English, each ending with a line feed; empty when there is nothing to tell.
std::string HtpasswdImportNotes(const THtpasswdImportResult& result);

} // namespace quorvane
