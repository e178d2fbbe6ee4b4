#include "export/HashOnlyUsers.h"

#include "export/PasswordFile.h"

namespace quorvane {

std::vector<const TUserProp*> HashOnlyUsers(const TUserList& list) {
    std::vector<const TUserProp*> users;
    for (int i = 0; i < list.Count(); ++i)
        if (list.Users(i).HashOnly()) users.push_back(&list.Users(i));
    return users;
}

TStoredScheme UserHashScheme(const TUserProp& user) {
    return IdentifyStoredHash(user.PasswordHash());
}

std::string HashOnlyText(const TUserProp& user) {
    if (!user.HashOnly()) return std::string();
    switch (const TStoredScheme scheme = UserHashScheme(user)) {
    case TStoredScheme::Locked:
        return "locked";
    case TStoredScheme::Unknown:
        return "unknown scheme (" + UnknownSchemeTag(user.PasswordHash()) + ")";
    default:
        return std::string("hash only (") + StoredSchemeName(scheme) + ")";
    }
}

std::string PasswordKindText(const TUserProp& user) {
    return user.HashOnly() ? HashOnlyText(user) : std::string("clear");
}

bool HasWeakHash(const TUserProp& user) {
    return user.HashOnly() && IsWeakScheme(UserHashScheme(user));
}

std::vector<const TUserProp*> WeakHashUsers(const TUserList& list) {
    std::vector<const TUserProp*> weak;
    for (const TUserProp* user : PasswordFileEntries(list))
        if (!user->Disable && HasWeakHash(*user)) weak.push_back(user);
    return weak;
}

std::string WeakHashReport(const std::vector<const TUserProp*>& users) {
    if (users.empty()) return std::string();
    std::string text = users.size() == 1
                           ? std::string("1 user still uses a weak hash: set a new password for it")
                           : std::to_string(users.size()) +
                                 " users still use weak hashes: set new passwords for them";
    text += '\n';
    for (const TUserProp* user : users) {
        text += "  ";
        text += user->Login;
        text += " (";
        text += StoredSchemeName(UserHashScheme(*user));
        text += ")\n";
    }
    return text;
}

} // namespace quorvane
