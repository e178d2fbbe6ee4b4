#pragma once
// Rules of the commands that change or reach selected users: the change check that decides
// "modified", the find match, the state commands of the list's popup menu and the mail address.

#include "userdb/UserList.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// Takes the list's fingerprint and strong change stamp now; Changed() tells whether either
// differs later. The 32-bit sum alone misses changes whose bytes cancel out.
class TListChangeCheck {
public:
    explicit TListChangeCheck(const TUserList& list);
    bool Changed() const;

private:
    const TUserList& FList;
    uint32_t FFingerprint;
    uint64_t FStamp;
};

// Whether a field matches the find text. Unless matchCase, the letters a-z of both are taken as
// A-Z (nothing else is folded). wholeWord: the field must equal the text; otherwise the text
// must occur in it.
bool FindTextMatches(const std::string& field, const std::string& text, bool wholeWord,
                     bool matchCase);

// The state commands of the popup menu, by their tag.
enum class TStateCommand : int {
    Enable = 0,        // clears Disable
    Disable = 1,       // sets Disable
    NeverExpire = 2,   // clears Expire, keeps ExpireDate
    SetExpireDate = 3, // sets Expire and ExpireDate
};

// Applies a state command to one user; date is used by TStateCommand::SetExpireDate only.
// Returns whether the user changed.
bool ApplyStateCommand(TUserProp& user, TStateCommand command, TDateTime date);

// What an edit of several users at once changes; what it does not name stays as each user has
// it.
struct TSeveralUsersChange {
    std::vector<std::string> Join;  // groups every user joins (checked names)
    std::vector<std::string> Leave; // groups every user leaves
    enum class TExpiry { Keep, Never, On } Expiry = TExpiry::Keep;
    TDateTime ExpireDate = 0; // with TExpiry::On
};

// Applies the change to each user of the list given (by index). Checks come first, so a refusal
// changes nobody: a group both joined and left, or joined in another spelling than the list's
// users give it (GroupSpellingMessage). Returns, for each user the change altered, its index
// and the user as it was before.
std::vector<std::pair<int, TUserProp>> ChangeSeveralUsers(TUserList& list,
                                                          const std::vector<int>& indices,
                                                          const TSeveralUsersChange& change);

// Leading and trailing blanks and control characters (codes 0 to 32) removed.
std::string TrimBlanks(const std::string& text);

// "mailto:" followed by the users' e-mail addresses, trimmed, empty ones skipped, joined by ";".
// The addresses are passed as stored, without escaping.
std::string MailtoText(const std::vector<const TUserProp*>& users);

} // namespace quorvane
