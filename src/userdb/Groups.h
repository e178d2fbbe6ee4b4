#pragma once
// The groups a user belongs to, for Apache's group file ("group: user user ...") and
// `Require group`. A user keeps its groups in one field, the names separated by single blanks in
// the order they were given; a group name is never empty and holds no blank, ",", ":" or control
// character, which would split the name or the group file's line. Apache compares group names
// without regard to case, so two spellings of one name ("staff", "Staff") are one group: the
// database holds one spelling of each group, as it holds one spelling of each login.

#include "base/Message.h"

#include <string>
#include <vector>

namespace quorvane {

class TUserProp;
class TUserList;

// Why the name cannot be a group's (GroupNameEmpty, GroupNameInvalid); an empty message when it
// can.
TMessage GroupNameMessage(const std::string& name);
// GroupNameMessage's reasons, and for a name someone types, one starting with "#" too
// (GroupNameComment): Apache reads its line of the group file as a comment.
TMessage NewGroupNameMessage(const std::string& name);

// Whether two group names are one group to the web server: equal once a to z are folded.
bool SameGroup(const std::string& a, const std::string& b);

// The first of `groups` that a user of the list other than `except` spells otherwise, as
// GroupSpellings naming both spellings; an empty message when there is none. Every place that
// gives a user a group it names asks this before the change.
TMessage GroupSpellingMessage(const TUserList& list, const std::vector<std::string>& groups,
                              const TUserProp* except = nullptr);
// Raises EQuorvaneError with that message when there is one.
void RequireGroupSpelling(const TUserList& list, const std::vector<std::string>& groups,
                          const TUserProp* except = nullptr);
// The first group the list's users spell two ways (GroupSpellings naming both); an empty message
// when each group has one spelling. The export asks this before it writes anything.
TMessage GroupClashMessage(const TUserList& list);

// The group names of a list given as text ("staff, editors" or "staff editors"): separated by
// commas and blanks, repeated names once, in the order given. Raises EQuorvaneError naming the
// first unusable name (NewGroupNameMessage) or two spellings of one group.
std::vector<std::string> ParseGroupList(const std::string& text);

// The user's groups, in their order.
std::vector<std::string> UserGroups(const TUserProp& user);
// Replaces the user's groups (checked names, see ParseGroupList); an empty list clears them.
void SetUserGroups(TUserProp& user, const std::vector<std::string>& groups);
bool UserInGroup(const TUserProp& user, const std::string& group);
// Adds the user to the group (a checked name) or takes it out; true when that changed the user.
bool AddUserToGroup(TUserProp& user, const std::string& group);
bool RemoveUserFromGroup(TUserProp& user, const std::string& group);

// Whether any user of the list belongs to a group.
bool AnyUserHasGroups(const TUserList& list);
// Every group name of the list, sorted byte-wise, each once.
std::vector<std::string> AllGroups(const TUserList& list);

} // namespace quorvane
