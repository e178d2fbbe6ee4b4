#pragma once
// How the users are shown in the main window: the state filter, the sort order of the six
// columns and the count line. Kept free of any toolkit so every rule is tested on its own.

#include "userdb/UserList.h"

#include <optional>
#include <string>
#include <vector>

namespace quorvane {

enum class TUserFilter { All, Enabled, Disabled };

// True when the user is shown under the filter.
bool UserPassesFilter(const TUserProp& user, TUserFilter filter);

// The users a report asks for (`list`, the main window's "Expiring within..." view); every
// condition set must hold.
struct TUserReportFilter {
    TUserFilter State = TUserFilter::All;
    // Enabled users whose expiry is on and falls between now and now plus this many days (the
    // ones about to lose their access); none: not asked. 0 or more.
    std::optional<double> ExpiringWithinDays;
    // Users whose expiry is on and has passed, whether the sweep disabled them yet or not.
    bool Expired = false;
    // Members of this group; empty: any user.
    std::string Group;

    bool Matches(const TUserProp& user, TDateTime now) const;
};

// Texts compared with the letters a to z taken as A to Z, then byte by byte as unsigned
// values; a text that is a prefix of the other comes first. Negative, 0 or positive.
int CompareFoldedText(const std::string& a, const std::string& b);

// The order of two users under a sort key: the absolute value is the 1-based column (1 Login,
// 2 Status, 3 Expiration Date, 4 Email, 5 Full name, 6 Created, 7 Password: users with a clear
// password before those known by a stored hash, 8 Groups: as stored, in the order given), a
// negative key reverses the result. Status: enabled before disabled. Expiration: the earlier
// date first, "Never" after every date. Dates
// compare with their time of day. Negative, 0 or positive.
int CompareUsers(const TUserProp& a, const TUserProp& b, int sortKey);

// The positions of the users in the order of a sort key, as CompareUsers orders them; users
// that compare equal keep their relative order. Fast for many users: most comparisons are
// decided on keys prepared in one pass.
std::vector<int> SortedOrder(const std::vector<TUserProp*>& users, int sortKey);

// The quick filter of the list: a user passes when its login, e-mail address or full name
// contains the text, the letters a to z folded as everywhere else; an empty text passes every
// user. Texts are compared as stored bytes.
class TUserTextFilter {
public:
    explicit TUserTextFilter(const std::string& text = std::string());
    bool Empty() const { return FFolded.empty(); }
    bool Matches(const TUserProp& user) const;
    // True when every user this filter passes also passes `wider`.
    bool Narrows(const TUserTextFilter& wider) const;

private:
    bool FieldMatches(const std::string& field) const;
    std::string FFolded;
};

// "Enabled" or "Disabled".
const char* UserStatusText(const TUserProp& user);
// The same, with "Expired" for an enabled user whose expiry date lies before now (the sweep
// has not disabled it yet, and the password file leaves it out).
const char* UserStatusText(const TUserProp& user, TDateTime now);

// "N user(s)", with " (plus M hidden)" when users are hidden by the filter.
std::string UserCountText(int shown, int total);

} // namespace quorvane
