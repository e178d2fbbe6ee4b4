#include "job/StoreTarget.h"

#include "base/Errors.h"
#include "sitedb/SiteDbTexts.h"
#include "userdb/Groups.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace quorvane {

TStoreTarget::TStoreTarget(const TStoreSettings& settings,
                           std::map<std::string, std::vector<std::string>> groups,
                           std::string lineEnd)
    : FId(StoreDisplayName(settings)), FName(StoreShownName(settings)),
      FStore(OpenUserStore(settings)), FGroups(std::move(groups)), FLineEnd(std::move(lineEnd)) {}

namespace {

char FoldedByte(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The order of the password file: bytes with A to Z folded, the bytes themselves breaking ties.
bool FoldedBefore(const TUserView* a, const TUserView* b) {
    const std::string_view x = a->Login;
    const std::string_view y = b->Login;
    const std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto fx = static_cast<unsigned char>(FoldedByte(x[i]));
        const auto fy = static_cast<unsigned char>(FoldedByte(y[i]));
        if (fx != fy) return fx < fy;
    }
    if (x.size() != y.size()) return x.size() < y.size();
    return x < y;
}

} // namespace

TTargetContent TStoreTarget::Read() {
    TTargetContent content;
    if (std::exchange(FHeld, false)) {
        content.Exists = true;
        content.HoldsNew = true;
        return content;
    }
    const std::vector<TUserView>& users = FStore->ReadInPlace();
    content.Exists = FStore->Exists() && !users.empty();
    std::vector<const TUserView*> order;
    order.reserve(users.size());
    std::size_t bytes = 0;
    // Whether the text stands for these users whole: each one a line of its own, and the
    // groups the database gives each user those the store holds.
    FReadIsText = true;
    static const std::vector<std::string> none;
    for (const TUserView& user : users) {
        order.push_back(&user);
        bytes += user.Login.size() + 1 + user.Hash.size() + FLineEnd.size();
        if (!FReadIsText) continue;
        const auto found = FGroups.empty() ? FGroups.end() : FGroups.find(std::string(user.Login));
        FReadIsText =
            user.Login.find_first_of(":\r\n") == std::string_view::npos &&
            user.Hash.find_first_of("\r\n") == std::string_view::npos &&
            std::ranges::equal(user.Groups, found != FGroups.end() ? found->second : none);
    }
    // The store gives them in byte order, which is that order already unless a login holds
    // capitals.
    if (!std::is_sorted(order.begin(), order.end(), FoldedBefore))
        std::sort(order.begin(), order.end(), FoldedBefore);
    content.Bytes.reserve(bytes);
    for (const TUserView* user : order) {
        content.Bytes += user->Login;
        content.Bytes += ':';
        content.Bytes += user->Hash;
        content.Bytes += FLineEnd;
    }
    return content;
}

std::vector<TUserView> TStoreTarget::UsersOf(const std::string& content) const {
    std::vector<TUserView> users;
    users.reserve(static_cast<std::size_t>(std::count(content.begin(), content.end(), '\n')) + 1);
    // The content is this program's own, one "LOGIN:HASH" a line (a login never holds ":").
    // A login starting with "#" is a user like any other here: only a file's readers take its
    // line for a comment.
    const std::string_view text = content;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos) continue;
        TUserView user{line.substr(0, colon), line.substr(colon + 1), {}};
        if (!FGroups.empty())
            if (const auto found = FGroups.find(std::string(user.Login)); found != FGroups.end())
                user.Groups = found->second;
        users.push_back(user);
    }
    return users;
}

void TStoreTarget::PrepareStage(const std::string& content) {
    FPrepared = UsersOf(content);
    FPreparedFor = &content;
    FPreparedSize = content.size();
}

void TStoreTarget::Stage(const std::string& content) {
    FReadIsText = false;
    const bool prepared = FPreparedFor == &content && FPreparedSize == content.size();
    const std::vector<TUserView> users = prepared ? std::move(FPrepared) : UsersOf(content);
    FPrepared.clear();
    FPreparedFor = nullptr;
    FChanges = FStore->StageUsers(users);
}

void TStoreTarget::StageHeld(const std::string& content) {
    // What Read found is that content: the store confirms it still holds it, or is put back to
    // it. The text holds no groups: where they differ, the content is staged as any other.
    if (!std::exchange(FReadIsText, false)) {
        Stage(content);
        return;
    }
    FChanges = FStore->StageRead();
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
