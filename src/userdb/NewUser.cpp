#include "userdb/NewUser.h"

#include "base/Errors.h"
#include "userdb/LoginRule.h"
#include "userdb/UserDbTexts.h"

namespace quorvane {

bool IsBlank(const std::string& text) {
    for (unsigned char c : text)
        if (c > 32) return false;
    return true;
}

TDateTime DefaultExpireDate(TDateTime created) {
    return IncMonth(created, 1);
}

void CheckNewLogin(const std::string& login, const TUserList* list) {
    if (IsBlank(login)) throw EQuorvaneError(Msg(texts::LoginBlank));
    RequireValidLogin(login);
    if (list != nullptr && !list->IsLoginUnique(login))
        throw EQuorvaneError(Msg(texts::UserExists, login));
}

TUserProp& AddNewUser(TUserList& list, const std::string& login) {
    CheckNewLogin(login, &list);
    TUserProp& user = list.AddBlank();
    user.CreatedDate = Now();
    user.Login = login;
    user.ExpireDate = DefaultExpireDate(user.CreatedDate);
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
