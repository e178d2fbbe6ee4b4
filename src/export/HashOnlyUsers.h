#pragma once
// Users known only by the hash an existing password file held for them: how they are shown, and
// which of them still rely on a weak scheme.

#include "export/StoredHash.h"
#include "userdb/UserList.h"

#include <string>
#include <vector>

namespace quorvane {

// The users known only by their stored hash, in database order.
std::vector<const TUserProp*> HashOnlyUsers(const TUserList& list);

// The scheme of the user's stored hash; meaningful for users known only by it.
TStoredScheme UserHashScheme(const TUserProp& user);

// "hash only (bcrypt)" for a user known only by the stored hash (the scheme told by its prefix),
// "locked" for a locked value, "unknown scheme ($7$)" for one of no scheme this program knows;
// an empty message for a user with a clear password.
TMessage HashOnlyMessage(const TUserProp& user);

// What `list` shows for the password: "clear" or the English of the hash-only message.
std::string PasswordKindText(const TUserProp& user);

// True when the user is known only by a stored hash of a weak scheme (see WeakHashUsers).
bool HasWeakHash(const TUserProp& user);

// The users of the password file (enabled, in file order) whose stored hash uses a weak scheme:
// SHA-1, DES crypt or plain text.
std::vector<const TUserProp*> WeakHashUsers(const TUserList& list);

// "3 users still use weak hashes: set new passwords for them" (WeakHashSummary), then one
// message per user, "  login (scheme)"; none when there are no such users.
std::vector<TMessage> WeakHashMessages(const std::vector<const TUserProp*>& users);
// The first of them alone (the count); an empty message when there are none.
TMessage WeakHashSummary(const std::vector<const TUserProp*>& users);
// The English lines of WeakHashMessages, each ended by a line feed: what the export job's result
// sentence takes its first line from.
std::string WeakHashReport(const std::vector<const TUserProp*>& users);

} // namespace quorvane
