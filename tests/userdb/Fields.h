#pragma once
// Every field of a user and of a target's settings, to compare whole: a failure prints them all.

#include "userdb/TargetValue.h"
#include "userdb/UserList.h"

#include <string>
#include <tuple>
#include <utility>

// The same from the values a test expects, in the order of the user's fields.
inline auto UserFields(std::string login, std::string password, bool disable, bool expire,
                       quorvane::TDateTime expireDate, quorvane::TDateTime createdDate,
                       std::string fullName, std::string email, std::string comments) {
    return std::make_tuple(std::move(login), std::move(password), disable, expire, expireDate,
                           createdDate, std::move(fullName), std::move(email), std::move(comments));
}

inline auto UserFields(const quorvane::TUserProp& u) {
    return UserFields(u.Login, u.Password, u.Disable, u.Expire, u.ExpireDate, u.CreatedDate,
                      u.FullName, u.Email, u.Comments);
}

inline auto TargetFields(const quorvane::TTargetSettings& t) {
    return std::make_tuple(t.Name, t.Enabled, t.ExportToFile, t.PassFile, t.FtpHost, t.FtpUser,
                           t.FtpPass, t.FtpPasswdFile, t.FtpStorePass, t.FtpPassiveMode,
                           t.FtpProtocol, t.FtpTlsPin, t.FtpCaFile, t.FtpKeyFile, t.FtpHostKeys,
                           t.StoreUrl, t.StoreOwner, t.CheckUrl, t.CheckUser, t.Options);
}
