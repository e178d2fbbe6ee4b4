#pragma once
// Adding a user and opening a database, as both front ends do them.

#include "base/DateUtil.h"
#include "userdb/UserList.h"

#include <string>

namespace quorvane {

// True when every byte of `text` is a control character or a blank (codes 0 to 32).
bool IsBlank(const std::string& text);

// The expiry date a new user starts with, whether or not expiry is switched on: one calendar
// month after `created`, at the same time of day, so switching expiry on later starts from a
// sensible day.
TDateTime DefaultExpireDate(TDateTime created);

// Raises when `login` cannot be a new user's login: "The login must not be blank", the login
// rule (RequireValidLogin), or, with a list, "User \"LOGIN\" already exists" (the letters a to z
// compared without regard to case).
void CheckNewLogin(const std::string& login, const TUserList* list = nullptr);

// Appends a user after CheckNewLogin: created now, enabled, expiry off with the default date,
// no password and no other field.
TUserProp& AddNewUser(TUserList& list, const std::string& login);

// Loads the database from `fileName`, then disables the users whose expiry date has passed;
// returns how many it disabled. With `loaded`, also says what the load read (its stamp).
int OpenDatabase(TUserList& list, const std::string& fileName, TLoadedFile* loaded = nullptr);

} // namespace quorvane
