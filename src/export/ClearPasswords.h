#pragma once
// Databases that keep no clear passwords (TUserList::KeepClearPasswords off): every password
// given to a user is replaced at once by its hash in the database's chosen form and work factor,
// so the user is known only by that hash, as after the import of a password file. Every way a
// password comes in (a user's own password, a series, the text import) goes through here, in
// both front ends.

#include "base/Random.h"
#include "userdb/CSVImport.h"
#include "userdb/GenSeries.h"
#include "userdb/UserList.h"

#include <string>
#include <vector>

namespace quorvane {

// Replaces the clear password of every user from position `first` on by its hash when the list
// keeps no clear passwords (nothing otherwise). An empty password stays empty: its hash would let
// anybody in without one, while an empty one is refused by the export. Hashes on up to `threads`
// workers (0: one per processor). Raises what hashing raises (a NUL byte for bcrypt, say); users
// hashed before stay hashed. Returns how many it hashed.
int SealClearPasswords(TUserList& list, int first = 0, IRandomSource& random = SecureRandom(),
                       unsigned threads = 0);

// Gives the user a new password, as the list keeps passwords: in clear, or only its hash.
void GiveUserPassword(TUserList& list, TUserProp& user, const std::string& password,
                      IRandomSource& random = SecureRandom());

// CreateSeries (GenSeries.h), then the new users' passwords as the list keeps them. The returned
// logins and passwords are the one place the clear passwords of such a list appear.
std::vector<TSeriesUser> CreateSeriesFor(TUserList& list, int count, const TSeriesOptions& options,
                                         IRandomSource& random,
                                         ISeriesFeedback* feedback = nullptr);

// ImportUsersFromText (CSVImport.h), then the new users' passwords as the list keeps them.
int ImportUsersFor(std::string_view text, TUserList& list, TImportReport* report = nullptr,
                   const TImportOptions& options = {});

// Turns keeping clear passwords off: every clear password becomes its hash now, which cannot be
// undone. Refused, with nothing changed, while the chosen form is plain text (its file holds the
// clear passwords). Returns how many passwords it hashed.
int StopKeepingClearPasswords(TUserList& list, unsigned threads = 0);

// The users whose password the database does not keep and whose stored hash is not of the form
// passType: an export in that form would need their clear passwords. None while the list keeps
// clear passwords, or when passType is the list's chosen form (its stored hashes go out as they
// are, whatever their form).
std::vector<std::string> UsersNeedingClearPasswords(const TUserList& list, TPasswordsType passType);

// Raises, naming those users (the first 20 and a count), when UsersNeedingClearPasswords is not
// empty.
void CheckFormKeepsHashes(const TUserList& list, TPasswordsType passType);

} // namespace quorvane
