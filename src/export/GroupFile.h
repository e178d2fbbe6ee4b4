#pragma once
// Apache's group file (AuthGroupFile): one "group: user user ..." line per group, for
// `Require group`. It goes beside the password file and names the same users: only those the
// password file lets in.

#include "userdb/UserList.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// Apache reads a group file line into a buffer of 8192 bytes and stops reading the file at a
// longer one; a group with more members than fit goes on over several lines of its own, which
// Apache joins.
constexpr std::size_t KGroupLineLimit = 8000;

// The text of the group file for the password file's entries (PasswordFileEntries, in file
// order): the enabled users of each group, groups sorted byte-wise, members in the password
// file's order; a group without enabled members has no line. Each line ends with eol. Raises
// EQuorvaneError naming the user when a stored group name is unusable (see GroupNameMessage).
std::string BuildGroupFile(const std::vector<const TUserProp*>& entries, std::string_view eol);

// Where the group file of a password file goes: the list's GroupFile when set, otherwise the
// password file's name followed by ".groups".
std::string GroupFileName(const TUserList& list, const std::string& passwordFile);

// The group file's users and groups, read from a file as Apache reads it ("group: user user",
// several lines of one group joined, blank lines and "#" lines skipped): for each user the
// groups in file order. Raises "Cannot open file %s", or a message naming the line that is not
// "group: users".
struct TGroupMembership {
    std::string Login;
    std::vector<std::string> Groups;
};
std::vector<TGroupMembership> ReadGroupFile(const std::string& fileName);

} // namespace quorvane
