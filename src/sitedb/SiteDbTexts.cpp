#include "sitedb/SiteDbTexts.h"

namespace quorvane::texts {

// clang-format off
const TMessageText StoreUrlInvalid{"StoreUrlInvalid", QT_TRANSLATE_NOOP("CoreText", "%1 is not the address of a store: give sqlite:FILE, postgresql://HOST/DATABASE, ldap://HOST/BASE-DN or ldaps://HOST/BASE-DN")};
const TMessageText StoreUrlHoldsPassword{"StoreUrlHoldsPassword", QT_TRANSLATE_NOOP("CoreText", "Give the store's password with --password-stdin (in the export dialog: its Password box), not in the address")};
const TMessageText StoreOpenFailed{"StoreOpenFailed", QT_TRANSLATE_NOOP("CoreText", "Could not open %1: %2")};
const TMessageText StoreConnectFailed{"StoreConnectFailed", QT_TRANSLATE_NOOP("CoreText", "Could not connect to %1: %2")};
const TMessageText StoreRefused{"StoreRefused", QT_TRANSLATE_NOOP("CoreText", "%1 refused the change; nothing was changed: %2")};
const TMessageText StoreForeignLogin{"StoreForeignLogin", QT_TRANSLATE_NOOP("CoreText", "%1 already holds the login %2 for another owner (%3); nothing was changed")};
const TMessageText StoreNotOurs{"StoreNotOurs", QT_TRANSLATE_NOOP("CoreText", "%1 already holds an entry %2 that this database did not make; nothing was changed")};
const TMessageText StoreBadHash{"StoreBadHash", QT_TRANSLATE_NOOP("CoreText", "The password hash of %1 cannot go into %2: it holds a line break or a NUL")};
const TMessageText LdapNeedsCrypt{"LdapNeedsCrypt", QT_TRANSLATE_NOOP("CoreText", "A directory checks passwords with the system's crypt, which does not know the hash of %1 (%2); export to it with bcrypt or SHA-crypt")};
const TMessageText LdapNoTls{"LdapNoTls", QT_TRANSLATE_NOOP("CoreText", "%1 does not offer TLS (StartTLS): %2; nothing was sent. Use an ldaps:// address or a server with TLS")};
const TMessageText LdapLoginFailed{"LdapLoginFailed", QT_TRANSLATE_NOOP("CoreText", "Login to %1 as %2 failed: %3")};
const TMessageText LdapSizeLimit{"LdapSizeLimit", QT_TRANSLATE_NOOP("CoreText", "%1 stopped the search at its size limit, also read a page at a time; nothing was changed. Let %2 read more entries in a paged search (OpenLDAP: limits dn.exact=\"%2\" size.prtotal=unlimited)")};
const TMessageText LdapUndone{"LdapUndone", QT_TRANSLATE_NOOP("CoreText", "%1 refused the change of %2: %3. The %4 changes made before it were undone; the directory is as it was")};
const TMessageText LdapNotUndone{"LdapNotUndone", QT_TRANSLATE_NOOP("CoreText", "%1 refused the change of %2: %3. Putting back %4 failed too (%5): check the directory")};
// clang-format on

} // namespace quorvane::texts
