#include "userdb/NewUser.h"

#include "base/Errors.h"
#include "userdb/LoginRule.h"
#include "userdb/UserDbTexts.h"

#include <charconv>
#include <cstdlib>
#include <fstream>

namespace quorvane {

bool IsBlank(const std::string& text) {
    for (unsigned char c : text)
        if (c > 32) return false;
    return true;
}

TDateTime DefaultExpireDate(TDateTime created) {
    return IncMonth(created, 1);
}

TNewUserExpiry NewUserExpiry(TDateTime created, int days) {
    if (days <= 0 || days > KMaxExpiryDays) return {false, DefaultExpireDate(created)};
    return {true, created + days};
}

std::string UserOptionsFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config != nullptr && *config == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home != nullptr ? home : "") + "/.config";
    }
    return folder + "/quorvane/quorvane.conf";
}

int ReadDefaultExpiryDays(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    std::string line;
    bool inOptions = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inOptions = line == "[Options]";
            continue;
        }
        static const std::string KKey = "DefaultExpiryDays=";
        if (!inOptions || line.compare(0, KKey.size(), KKey) != 0) continue;
        const char* first = line.data() + KKey.size();
        const char* last = line.data() + line.size();
        int days = -1;
        const auto [end, error] = std::from_chars(first, last, days);
        if (error != std::errc() || end != last || first == last || days < 0 ||
            days > KMaxExpiryDays)
            return KDefaultExpiryDays;
        return days;
    }
    return KDefaultExpiryDays;
}

void CheckNewLogin(const std::string& login, const TUserList* list) {
    if (IsBlank(login)) throw EQuorvaneError(Msg(texts::LoginBlank));
    RequireValidLogin(login);
    if (list != nullptr && !list->IsLoginUnique(login))
        throw EQuorvaneError(Msg(texts::UserExists, login));
}

TUserProp& AddNewUser(TUserList& list, const std::string& login, int expiryDays) {
    CheckNewLogin(login, &list);
    TUserProp& user = list.AddBlank();
    user.CreatedDate = Now();
    user.Login = login;
    const TNewUserExpiry expiry = NewUserExpiry(user.CreatedDate, expiryDays);
    user.Expire = expiry.Expire;
    user.ExpireDate = expiry.Date;
    return user;
}

int OpenDatabase(TUserList& list, const std::string& fileName, TLoadedFile* loaded) {
    if (loaded != nullptr)
        list.LoadFromFile(fileName, *loaded);
    else
        list.LoadFromFile(fileName);
    return list.DisableExpired();
}

} // namespace quorvane
