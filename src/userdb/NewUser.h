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

// The period, in days, after which a new user expires unless another one is given: the
// Options' "Now + N days", the same for users added on the desktop and on the command line.
// 0 means new users do not expire.
inline constexpr int KDefaultExpiryDays = 30;
inline constexpr int KMaxExpiryDays = 9999;

// How a user created at `created` starts when the default period is `days`: expiring `days`
// days later at the same time of day, or (0 days, or a value outside 0..KMaxExpiryDays) not
// expiring, with DefaultExpireDate kept as the date to start from when expiry is switched on.
struct TNewUserExpiry {
    bool Expire = false;
    TDateTime Date = 0;
};
TNewUserExpiry NewUserExpiry(TDateTime created, int days);

// The per-user options file both front ends share: $XDG_CONFIG_HOME/quorvane/quorvane.conf
// ($HOME/.config when XDG_CONFIG_HOME is not set). The desktop's settings store writes it.
std::string UserOptionsFile();

// The default expiry period stored in the options file `fileName` (the value
// DefaultExpiryDays of its [Options] section). A missing file or value gives
// KDefaultExpiryDays; a value that is not a whole number in 0..KMaxExpiryDays does too, so a
// damaged entry never makes users expire at a surprising time.
int ReadDefaultExpiryDays(const std::string& fileName);

// Raises when `login` cannot be a new user's login: "The login must not be blank", the login
// rule (RequireValidLogin), or, with a list, "User \"LOGIN\" already exists" (the letters a to z
// compared without regard to case).
void CheckNewLogin(const std::string& login, const TUserList* list = nullptr);

// Appends a user after CheckNewLogin: created now, enabled, with the expiry NewUserExpiry gives
// for `expiryDays` (by default none, with the default date), no password and no other field.
TUserProp& AddNewUser(TUserList& list, const std::string& login, int expiryDays = 0);

// Loads the database from `fileName`, then disables the users whose expiry date has passed;
// returns how many it disabled. With `loaded`, also says what the load read (its stamp).
int OpenDatabase(TUserList& list, const std::string& fileName, TLoadedFile* loaded = nullptr);

} // namespace quorvane
