#pragma once
// What differs between two states of a site's password file, told as users: the comparison
// behind the check before a target is replaced (what changed there since this database wrote
// it) and behind the preview of an export (what the new file changes).

#include "base/Message.h"
#include "export/DatabaseState.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// One line of a password file as web servers read it (Apache, nginx): the login before the first
// ":", and the value after it up to a further ":" (what follows, such as a full name, the servers
// pass over). Nothing for a blank line, a comment ("#" first after blanks), a line without ":" or
// one with nothing before it. The line comes without its line end (LF, and a CR before it). The
// one reader of the line: the import, the site check, the merge and the comparison all use it.
struct TPasswordLine {
    std::string_view Login;
    std::string_view Value;
};
std::optional<TPasswordLine> ReadPasswordLine(std::string_view line);

// One user line of a password file, as ReadPasswordLine reads it.
struct TSiteUser {
    int Line = 0; // 1-based
    std::string Login;
    std::string Value;
};

// A password file's text as servers read it: the first line of each login counts; comments,
// blank lines and lines that are no "login:value" are only counted (they never stop anything),
// and so are the later lines of a login that occurs twice.
struct TSiteFile {
    std::vector<TSiteUser> Users; // in file order
    std::size_t OtherLines = 0;
};
// Lines end at LF; a CR before it is dropped.
TSiteFile ParseSiteFile(std::string_view text);
// ParseSiteFile(text).OtherLines, without keeping the users.
std::size_t SiteFileOtherLines(std::string_view text);

// Login -> UserValueDigest of its value, as a target record keeps them (TUserDigests).
TUserDigests UserDigestsOf(const TSiteFile& file);
// The same straight from a password file's text.
TUserDigests UserDigestsOf(std::string_view text);

enum class TUserChangeKind { Added, Removed, Changed };

struct TUserChange {
    TUserChangeKind Kind = TUserChangeKind::Added;
    std::string Login;
};

struct TUserChanges {
    // In the order the password file gives its logins.
    std::vector<TUserChange> List;
    std::size_t Added = 0, Removed = 0, Changed = 0;
    bool Empty() const { return List.empty(); }
};

// From `before` to `after`: logins only in `after` are added, only in `before` removed, in both
// with another value changed.
TUserChanges CompareUsers(const TUserDigests& before, const TUserDigests& after);

// What a target holds that this database did not write there, when there is no record of what
// it wrote: the logins of `there` that the database does not hold at all (`known`, exact bytes,
// as servers compare them). The values cannot be compared: the database's hashes differ from
// any other's by their salts.
TUserChanges UnknownUsers(const TUserDigests& there, const TLoginSlots& known);

// "+ login", "- login" or "~ login" for each change, one a line, then the counts as
// ChangeCountsMessage gives them; at most `limit` logins (0: all), "  ... and N more" for the rest.
std::string ChangeListText(const TUserChanges& changes, std::size_t limit = 0);
// "2 added, 1 removed, 3 changed" (the parts that are not 0; "no user changes" for none).
TMessage ChangeCountsMessage(const TUserChanges& changes);

} // namespace quorvane
