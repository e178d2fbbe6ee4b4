#pragma once
// The messages of the stores that keep users for web servers (SQL databases, LDAP directories).

#include "base/Message.h"

namespace quorvane::texts {

extern const TMessageText StoreUrlInvalid;
extern const TMessageText StoreUrlHoldsPassword;
extern const TMessageText StoreOpenFailed;
extern const TMessageText StoreConnectFailed;
extern const TMessageText StoreRefused;
extern const TMessageText StoreForeignLogin;
extern const TMessageText StoreNotOurs;
extern const TMessageText StoreBadHash;
extern const TMessageText LdapNeedsCrypt;
extern const TMessageText LdapNoTls;
extern const TMessageText LdapLoginFailed;
extern const TMessageText LdapSizeLimit;
extern const TMessageText LdapUndone;
extern const TMessageText LdapNotUndone;

} // namespace quorvane::texts
