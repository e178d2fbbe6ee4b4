#pragma once
// Users named on the command line. A login names the users whose login is exactly that text
// (no trimming, no case folding), the way "delete" matches.

#include "base/DateUtil.h"
#include "userdb/UserCommands.h"

#include <functional>
#include <string>
#include <vector>

namespace quorvane {
struct TCliStreams;
class TUserList;
class TUserProp;
} // namespace quorvane

namespace quorvane::cli {

class TArgs;

// Every user whose login is one of the logins, each user once, in list order. Fails with
// "User "LOGIN" not found" naming the first login that matches nobody.
std::vector<TUserProp*> UsersWithLogins(TUserList& list, const std::vector<std::string>& logins);

// The one user with exactly this login. Fails when there is none, or when several users have
// it (the import does not check for namesakes), since a change meant for one would hit others.
TUserProp& OneUserWithLogin(TUserList& list, const std::string& login);

// Applies a state command (with `date` for an expiration date) to every user named by the
// logins after the database on the command line, and saves the database when any of them
// changed; fails, changing nothing, when a login matches nobody. `each` sees every named user
// after the change.
void ApplyToNamedUsers(const TArgs& args, TCliStreams& io, TStateCommand command, TDateTime date,
                       const std::function<void(const TUserProp& user)>& each = {});

// The logins of a command line after the database: positional arguments 1 to the end; at
// least one is required (a usage error otherwise).
std::vector<std::string> LoginArguments(const std::vector<std::string>& positional);

} // namespace quorvane::cli
