#include "export/HashOnlyUsers.h"

#include "export/ExportTexts.h"
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

TMessage HashOnlyMessage(const TUserProp& user) {
    if (!user.HashOnly()) return {};
    switch (const TStoredScheme scheme = UserHashScheme(user)) {
    case TStoredScheme::Locked:
        return StoredSchemeMessage(scheme);
    case TStoredScheme::Unknown:
        return Msg(texts::HashOnlyUnknownScheme, UnknownSchemeTagMessage(user.PasswordHash()));
    default:
        return Msg(texts::HashOnly, StoredSchemeMessage(scheme));
    }
}

std::string PasswordKindText(const TUserProp& user) {
    return user.HashOnly() ? EnglishText(HashOnlyMessage(user)) : std::string("clear");
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

std::vector<TMessage> WeakHashMessages(const std::vector<const TUserProp*>& users) {
    std::vector<TMessage> lines;
    if (users.empty()) return lines;
    lines.reserve(users.size() + 1);
    lines.push_back(WeakHashSummary(users));
    for (const TUserProp* user : users)
        lines.push_back(
            Msg(texts::WeakHashUser, user->Login, StoredSchemeMessage(UserHashScheme(*user))));
    return lines;
}

TMessage WeakHashSummary(const std::vector<const TUserProp*>& users) {
    if (users.empty()) return {};
    if (users.size() == 1) return Msg(texts::WeakHashOne);
    return Msg(texts::WeakHashMany, Count(users.size()));
}

std::string WeakHashReport(const std::vector<const TUserProp*>& users) {
    return EnglishLines(WeakHashMessages(users));
}

} // namespace quorvane
