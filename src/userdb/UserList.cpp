#include "userdb/UserList.h"

#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "userdb/UserDbTexts.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <unordered_set>

namespace quorvane {

void SetStoreUrl(TTargetSettings& target, const std::string& url, IRandomSource& random) {
    if (url.empty()) {
        target.StoreUrl.clear();
        target.StoreOwner.clear();
        return;
    }
    const bool sameStore = url == target.StoreUrl;
    target.StoreUrl = url;
    if (!target.StoreOwner.empty() || sameStore) return;
    static const char* const KHex = "0123456789abcdef";
    std::string owner = "quorvane-";
    for (int i = 0; i < 16; ++i)
        owner += KHex[random.Random(16)];
    target.StoreOwner = owner;
}

bool SameLoginFolded(const std::string& a, const std::string& b) {
    return SameTextAscii(a, b);
}

bool TUserList::IsLoginUnique(const std::string& login, int exceptIndex) const {
    for (const auto& user : FItems)
        if (user->FIndex != exceptIndex && SameLoginFolded(user->Login, login)) return false;
    return true;
}

bool TUserProp::SameAs(const TUserProp& o) const {
    return Login == o.Login && Password == o.Password && Disable == o.Disable &&
           Expire == o.Expire && ExpireDate == o.ExpireDate && CreatedDate == o.CreatedDate &&
           FullName == o.FullName && Email == o.Email && Comments == o.Comments &&
           HashOnly() == o.HashOnly() && PasswordHash() == o.PasswordHash() &&
           Groups() == o.Groups();
}

TUserProp::TUserProp(const TUserProp& other)
    : Login(other.Login), Password(other.Password), Disable(other.Disable), Expire(other.Expire),
      ExpireDate(other.ExpireDate), CreatedDate(other.CreatedDate), FullName(other.FullName),
      Email(other.Email), Comments(other.Comments), FList(other.FList), FIndex(other.FIndex) {
    if (other.HashOnly()) FPasswordHash = std::make_unique<std::string>(*other.FPasswordHash);
    SetGroups(other.Groups());
}

TUserProp& TUserProp::operator=(const TUserProp& other) {
    if (this != &other) {
        CopyFieldsFrom(other);
        FList = other.FList;
        FIndex = other.FIndex;
    }
    return *this;
}

namespace {

const std::string& ApartValue(const std::unique_ptr<std::string>& apart) {
    static const std::string none;
    return apart != nullptr ? *apart : none;
}

void SetApart(std::unique_ptr<std::string>& apart, std::string value) {
    if (value.empty())
        apart.reset();
    else if (apart != nullptr)
        *apart = std::move(value);
    else
        apart = std::make_unique<std::string>(std::move(value));
}

} // namespace

const std::string& TUserProp::PasswordHash() const {
    return ApartValue(FPasswordHash);
}

void TUserProp::SetPasswordHash(std::string hash) {
    SetApart(FPasswordHash, std::move(hash));
}

const std::string& TUserProp::Groups() const {
    return ApartValue(FGroups);
}

void TUserProp::SetGroups(std::string groups) {
    SetApart(FGroups, std::move(groups));
}

void TUserProp::SetStoredValue(std::string value) {
    FPasswordHash = std::make_unique<std::string>(std::move(value));
}

void TUserProp::CopyFieldsFrom(const TUserProp& o) {
    Login = o.Login;
    Password = o.Password;
    Disable = o.Disable;
    Expire = o.Expire;
    ExpireDate = o.ExpireDate;
    CreatedDate = o.CreatedDate;
    FullName = o.FullName;
    Email = o.Email;
    Comments = o.Comments;
    if (o.HashOnly())
        SetStoredValue(o.PasswordHash()); // an empty one too
    else
        FPasswordHash.reset();
    SetGroups(o.Groups());
}

TUserList::TUserList() {
    Reset();
}

TUserList::~TUserList() = default;

TUserProp& TUserList::Users(int index) {
    if (index < 0 || index >= Count())
        throw EQuorvaneError(Msg(texts::ListIndexOutOfBounds, std::to_string(index)));
    return *FItems[static_cast<size_t>(index)];
}

const TUserProp& TUserList::Users(int index) const {
    return const_cast<TUserList*>(this)->Users(index);
}

TUserProp& TUserList::AddBlank() {
    auto user = std::make_unique<TUserProp>();
    user->FList = this;
    user->FIndex = Count();
    FItems.push_back(std::move(user));
    return *FItems.back();
}

TUserProp& TUserList::Add(const std::string& login, const std::string& password) {
    TUserProp& user = AddBlank();
    user.Login = login;
    user.Password = password;
    user.ExpireDate = Now() + 30;
    user.CreatedDate = Now(); // the clock is read a second time on purpose
    return user;
}

void TUserList::Reset() {
    Clear();
    PassType = TPasswordsType::ptMD5;
    BcryptCost = KBcryptCostDefault;
    ShaRounds = KShaRoundsDefault;
    HashCacheKey.clear();
    KeepClearPasswords = true;
    UnixLineEnds = false;
    GroupFile.clear();
    Targets.assign(1, TTarget());
    Targets[0].Name = KFirstTargetName;
}

int TUserList::DisableExpired() {
    const TDateTime now = Now();
    int count = 0;
    for (auto& user : FItems)
        if (DisableIfExpired(*user, now)) ++count;
    return count;
}

bool DisableIfExpired(TUserProp& user, TDateTime now) {
    if (user.Disable || !user.Expire || !(now > user.ExpireDate)) return false;
    user.Disable = true;
    return true;
}

int TUserList::IndexOf(const TUserProp* user) const {
    if (user == nullptr || user->FList != this) return -1;
    return user->FIndex;
}

void TUserList::TakeUsers(TUserList& other) {
    if (&other == this) return;
    FItems = std::move(other.FItems);
    other.FItems.clear();
    ++FPlaceChanges;
    ++other.FPlaceChanges;
    for (const auto& user : FItems)
        user->FList = this;
}

void TUserList::AppendUsers(TUserList& other) {
    if (&other == this) return;
    const size_t from = FItems.size();
    FItems.insert(FItems.end(), std::make_move_iterator(other.FItems.begin()),
                  std::make_move_iterator(other.FItems.end()));
    other.FItems.clear();
    ++other.FPlaceChanges;
    for (size_t i = from; i < FItems.size(); ++i)
        FItems[i]->FList = this;
    Renumber(from);
}

void TUserList::Renumber(size_t from) {
    ++FPlaceChanges;
    for (size_t i = from; i < FItems.size(); ++i)
        FItems[i]->FIndex = static_cast<int>(i);
}

void TUserList::Remove(TUserProp* user) {
    const int index = IndexOf(user);
    if (index < 0) return;
    FItems.erase(FItems.begin() + index);
    Renumber(static_cast<size_t>(index));
}

void TUserList::RemoveMany(const std::vector<TUserProp*>& users) {
    std::unordered_set<const TUserProp*> doomed;
    size_t first = FItems.size();
    for (TUserProp* user : users) {
        const int index = IndexOf(user);
        if (index < 0) continue;
        doomed.insert(user);
        first = std::min(first, static_cast<size_t>(index));
    }
    if (doomed.empty()) return;
    FItems.erase(std::remove_if(FItems.begin() + static_cast<std::ptrdiff_t>(first), FItems.end(),
                                [&](const std::unique_ptr<TUserProp>& u) {
                                    return doomed.count(u.get()) != 0;
                                }),
                 FItems.end());
    Renumber(first);
}

void TUserList::Clear() {
    FItems.clear();
    ++FPlaceChanges;
}

std::vector<std::unique_ptr<TUserProp>> TUserList::Detach(const std::vector<int>& indices) {
    std::vector<std::unique_ptr<TUserProp>> taken;
    if (indices.empty()) return taken;
    for (size_t i = 0; i < indices.size(); ++i)
        if (indices[i] < 0 || indices[i] >= Count() || (i > 0 && indices[i] <= indices[i - 1]))
            throw EQuorvaneError(Msg(texts::ListIndexOutOfBounds, std::to_string(indices[i])));
    taken.reserve(indices.size());
    const auto first = static_cast<size_t>(indices.front());
    size_t next = 0, kept = first;
    for (size_t i = first; i < FItems.size(); ++i) {
        if (next < indices.size() && static_cast<size_t>(indices[next]) == i) {
            FItems[i]->FList = nullptr;
            FItems[i]->FIndex = -1;
            taken.push_back(std::move(FItems[i]));
            ++next;
        } else {
            FItems[kept++] = std::move(FItems[i]);
        }
    }
    FItems.resize(kept);
    Renumber(first);
    return taken;
}

void TUserList::Attach(std::vector<std::pair<int, std::unique_ptr<TUserProp>>> users) {
    if (users.empty()) return;
    std::vector<std::unique_ptr<TUserProp>> merged;
    merged.reserve(FItems.size() + users.size());
    const auto first = static_cast<size_t>(std::max(0, users.front().first));
    size_t old = 0;
    for (auto& [index, user] : users) {
        while (merged.size() < static_cast<size_t>(std::max(index, 0)) && old < FItems.size())
            merged.push_back(std::move(FItems[old++]));
        user->FList = this;
        merged.push_back(std::move(user));
    }
    while (old < FItems.size())
        merged.push_back(std::move(FItems[old++]));
    FItems = std::move(merged);
    Renumber(std::min(first, FItems.size()));
}

TTargetSettings FirstTarget(const TUserList& list) {
    return SettingsOf(list.Targets.front());
}

void SetFirstTarget(TUserList& list, const TTargetSettings& target) {
    list.Targets.front() = TargetOf(target);
    if (target.Name.empty()) list.Targets.front().Name = KFirstTargetName;
}

std::vector<TTargetSettings> ListTargets(const TUserList& list) {
    std::vector<TTargetSettings> targets;
    targets.reserve(list.Targets.size());
    for (const TTarget& target : list.Targets)
        targets.push_back(SettingsOf(target));
    return targets;
}

void SetTargets(TUserList& list, const std::vector<TTargetSettings>& targets) {
    if (targets.empty()) throw std::logic_error("a list has one target at least");
    list.Targets.clear();
    for (const TTargetSettings& target : targets)
        list.Targets.push_back(TargetOf(target));
    if (list.Targets.front().Name.empty()) list.Targets.front().Name = KFirstTargetName;
}

void RemoveTarget(TUserList& list, int index) {
    if (list.Targets.size() < 2 || index < 0 || index >= static_cast<int>(list.Targets.size()))
        throw std::logic_error("no target to remove there");
    list.Targets.erase(list.Targets.begin() + index);
}

int FindTarget(const TUserList& list, const std::string& name) {
    for (std::size_t i = 0; i < list.Targets.size(); ++i)
        if (list.Targets[i].Name == name) return static_cast<int>(i);
    return -1;
}

} // namespace quorvane
