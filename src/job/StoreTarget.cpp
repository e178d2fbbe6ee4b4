#include "job/StoreTarget.h"

#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "sitedb/SiteDbTexts.h"
#include "userdb/Groups.h"
#include "userdb/UserList.h"

#include <algorithm>

namespace quorvane {

TStoreTarget::TStoreTarget(const TStoreSettings& settings,
                           std::map<std::string, std::vector<std::string>> groups,
                           std::string lineEnd)
    : FId(StoreDisplayName(settings)), FName(StoreShownName(settings)),
      FStore(OpenUserStore(settings)), FGroups(std::move(groups)), FLineEnd(std::move(lineEnd)) {}

TTargetContent TStoreTarget::Read() {
    std::vector<TStoredUser> users = FStore->Read();
    TTargetContent content;
    content.Exists = FStore->Exists() && !users.empty();
    // The order of the password file: bytes with a to z folded, the bytes themselves breaking ties.
    std::vector<std::pair<std::string, const TStoredUser*>> order;
    order.reserve(users.size());
    for (const TStoredUser& user : users)
        order.emplace_back(ToAsciiLower(user.Login), &user);
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        if (int c = a.first.compare(b.first); c != 0) return c < 0;
        return a.second->Login < b.second->Login;
    });
    for (const auto& [folded, user] : order)
        content.Bytes += user->Login + ":" + user->Hash + FLineEnd;
    return content;
}

void TStoreTarget::Stage(const std::string& content) {
    std::vector<TStoredUser> users;
    // The content is this program's own, one "LOGIN:HASH" a line (a login never holds ":").
    // A login starting with "#" is a user like any other here: only a file's readers take its
    // line for a comment.
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t end = std::min(content.find('\n', start), content.size());
        std::string line = content.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t colon = line.find(':');
        if (colon == 0 || colon == std::string::npos) continue;
        TStoredUser user{line.substr(0, colon), line.substr(colon + 1), {}};
        if (const auto found = FGroups.find(user.Login); found != FGroups.end())
            user.Groups = found->second;
        users.push_back(std::move(user));
    }
    FChanges = FStore->Stage(users);
}

std::optional<TStoreSettings> TargetStore(const TTargetSettings& target,
                                          const std::string& password) {
    if (target.StoreUrl.empty()) return std::nullopt;
    std::optional<TStoreSettings> settings = ParseStoreUrl(target.StoreUrl);
    if (!settings)
        throw EQuorvaneError(Msg(texts::StoreUrlInvalid, WithoutUserInfo(target.StoreUrl)));
    settings->Owner = target.StoreOwner;
    if (!target.FtpUser.empty()) settings->Login = target.FtpUser;
    settings->Password = password;
    return settings;
}

std::map<std::string, std::vector<std::string>> StoreGroups(const TUserList& list) {
    std::map<std::string, std::vector<std::string>> groups;
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& user = list.Users(i);
        if (user.Disable) continue;
        std::vector<std::string> names = UserGroups(user);
        if (names.empty()) continue;
        std::sort(names.begin(), names.end());
        groups[user.Login] = std::move(names);
    }
    return groups;
}

} // namespace quorvane
