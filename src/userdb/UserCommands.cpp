#include "userdb/UserCommands.h"
#include "base/AsciiCase.h"
#include "base/Errors.h"

#include "userdb/DataLib.h"
#include "userdb/Groups.h"
#include "userdb/UserDbTexts.h"

#include <algorithm>

namespace quorvane {

namespace {
bool SameChar(char a, char b, bool matchCase) {
    return matchCase ? a == b : AsciiUpper(a) == AsciiUpper(b);
}
} // namespace

TListChangeCheck::TListChangeCheck(const TUserList& list) : FList(list) {
    const TListSums sums = ListSums(list);
    FFingerprint = sums.Fingerprint;
    FStamp = sums.Stamp;
}

bool TListChangeCheck::Changed() const {
    const TListSums sums = ListSums(FList);
    return sums.Fingerprint != FFingerprint || sums.Stamp != FStamp;
}

bool FindTextMatches(const std::string& field, const std::string& text, bool wholeWord,
                     bool matchCase) {
    const auto same = [matchCase](char a, char b) { return SameChar(a, b, matchCase); };
    if (wholeWord)
        return field.size() == text.size() &&
               std::equal(field.begin(), field.end(), text.begin(), same);
    return std::search(field.begin(), field.end(), text.begin(), text.end(), same) != field.end() ||
           text.empty();
}

bool ApplyStateCommand(TUserProp& user, TStateCommand command, TDateTime date) {
    const TUserProp before = user;
    switch (command) {
    case TStateCommand::Enable:
        user.Disable = false;
        break;
    case TStateCommand::Disable:
        user.Disable = true;
        break;
    case TStateCommand::NeverExpire:
        user.Expire = false;
        break;
    case TStateCommand::SetExpireDate:
        user.Expire = true;
        user.ExpireDate = date;
        break;
    }
    return user.Disable != before.Disable || user.Expire != before.Expire ||
           user.ExpireDate != before.ExpireDate;
}

std::vector<std::pair<int, TUserProp>> ChangeSeveralUsers(TUserList& list,
                                                          const std::vector<int>& indices,
                                                          const TSeveralUsersChange& change) {
    for (const std::string& join : change.Join)
        for (const std::string& leave : change.Leave)
            if (SameGroup(join, leave)) throw EQuorvaneError(Msg(texts::GroupJoinedAndLeft, join));
    RequireGroupSpelling(list, change.Join);
    std::vector<std::pair<int, TUserProp>> changed;
    for (const int index : indices) {
        TUserProp& user = list.Users(index);
        TUserProp before = user;
        for (const std::string& group : change.Join)
            AddUserToGroup(user, group);
        for (const std::string& group : change.Leave)
            for (const std::string& held : UserGroups(user))
                if (SameGroup(held, group)) RemoveUserFromGroup(user, held);
        if (change.Expiry == TSeveralUsersChange::TExpiry::Never)
            ApplyStateCommand(user, TStateCommand::NeverExpire, 0);
        else if (change.Expiry == TSeveralUsersChange::TExpiry::On)
            ApplyStateCommand(user, TStateCommand::SetExpireDate, change.ExpireDate);
        if (!user.SameAs(before)) changed.emplace_back(index, std::move(before));
    }
    return changed;
}

std::string TrimBlanks(const std::string& text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    auto first = std::find_if_not(text.begin(), text.end(), blank);
    auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

std::string MailtoText(const std::vector<const TUserProp*>& users) {
    std::string text = "mailto:";
    bool first = true;
    for (const TUserProp* user : users) {
        if (user == nullptr) continue;
        const std::string address = TrimBlanks(user->Email);
        if (address.empty()) continue;
        if (!first) text += ';';
        text += address;
        first = false;
    }
    return text;
}

} // namespace quorvane
