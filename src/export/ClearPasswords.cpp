#include "export/ClearPasswords.h"

#include "base/Errors.h"
#include "export/ExportTexts.h"
#include "export/HashSchemes.h"
#include "export/PasswordFile.h"
#include "export/StoredHash.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace quorvane {

namespace {

// The stored scheme the hashes of a form are told by; none for plain text.
std::optional<TStoredScheme> StoredSchemeOfForm(TPasswordsType passType) {
    switch (passType) {
    case TPasswordsType::ptMD5:
        return TStoredScheme::Apr1;
    case TPasswordsType::ptBcrypt:
        return TStoredScheme::Bcrypt;
    case TPasswordsType::ptSHA256:
        return TStoredScheme::Sha256Crypt;
    case TPasswordsType::ptSHA512:
        return TStoredScheme::Sha512Crypt;
    case TPasswordsType::ptPlainText:
        break;
    }
    return std::nullopt;
}

// Hashes the users' clear passwords in the list's form and work factor, all of them before
// any user changes, so a failure leaves every user as it was.
int SealUsers(TUserList& list, const std::vector<TUserProp*>& users, IRandomSource& random,
              unsigned threads) {
    if (users.empty()) return 0;
    const THashScheme& scheme = SchemeOf(list.PassType);
    // The switch refuses plain text; a file edited by hand could still combine them.
    if (scheme.StoresClearText()) throw EQuorvaneError(Msg(texts::NoClearPasswordsPlainText));
    const int param = StoredSchemeParam(list, list.PassType);
    std::vector<std::string_view> passwords;
    std::vector<std::string> settings, hashes;
    passwords.reserve(users.size());
    settings.reserve(users.size());
    for (const TUserProp* user : users) {
        passwords.emplace_back(user->Password);
        settings.push_back(scheme.MakeSetting(random, param)); // in list order, on this thread
    }
    if (scheme.HashBatch) {
        scheme.HashBatch(passwords, settings, hashes, threads);
    } else {
        hashes.resize(passwords.size());
        for (size_t k = 0; k < passwords.size(); ++k)
            hashes[k] = scheme.HashWithSetting(passwords[k], settings[k]);
    }
    for (size_t k = 0; k < users.size(); ++k) {
        TUserProp& user = *users[k];
        // The clear text is overwritten before it is let go.
        std::fill(user.Password.begin(), user.Password.end(), '\0');
        user.Password.clear();
        user.SetStoredValue(std::move(hashes[k]));
    }
    return static_cast<int>(users.size());
}

} // namespace

int SealClearPasswords(TUserList& list, int first, IRandomSource& random, unsigned threads) {
    if (list.KeepClearPasswords) return 0;
    std::vector<TUserProp*> users;
    for (int i = std::max(first, 0); i < list.Count(); ++i) {
        TUserProp& user = list.Users(i);
        if (!user.HashOnly() && !user.Password.empty()) users.push_back(&user);
    }
    return SealUsers(list, users, random, threads);
}

void GiveUserPassword(TUserList& list, TUserProp& user, const std::string& password,
                      IRandomSource& random) {
    if (list.KeepClearPasswords || password.empty()) {
        user.SetPassword(password); // a stored hash gives way to the new password
        return;
    }
    TUserProp hashed = user; // the user stays as it was when hashing fails
    hashed.SetPassword(password);
    TUserProp* one = &hashed;
    SealUsers(list, {one}, random, 1);
    user.SetStoredValue(hashed.PasswordHash());
    std::fill(user.Password.begin(), user.Password.end(), '\0');
    user.Password.clear();
}

std::vector<TSeriesUser> CreateSeriesFor(TUserList& list, int count, const TSeriesOptions& options,
                                         IRandomSource& random, ISeriesFeedback* feedback) {
    const int first = list.Count();
    std::vector<TSeriesUser> created;
    try {
        created = CreateSeries(list, count, options, random, feedback);
    } catch (...) {
        SealClearPasswords(list, first); // the users added before the failure stay: sealed too
        throw;
    }
    SealClearPasswords(list, first);
    return created;
}

int ImportUsersFor(std::string_view text, TUserList& list, TImportReport* report,
                   const TImportOptions& options) {
    const int first = list.Count();
    const int added = ImportUsersFromText(text, list, report, options);
    SealClearPasswords(list, first);
    return added;
}

int StopKeepingClearPasswords(TUserList& list, unsigned threads) {
    if (!list.KeepClearPasswords) return 0;
    if (SchemeOf(list.PassType).StoresClearText())
        throw EQuorvaneError(Msg(texts::NoClearPasswordsPlainText));
    // Every hash is made before any user changes, so a failure changes nothing.
    list.KeepClearPasswords = false;
    try {
        TBufferedSecureRandom salts; // one system call for many salts
        return SealClearPasswords(list, 0, salts, threads);
    } catch (...) {
        list.KeepClearPasswords = true;
        throw;
    }
}

std::vector<std::string> UsersNeedingClearPasswords(const TUserList& list,
                                                    TPasswordsType passType) {
    std::vector<std::string> logins;
    if (list.KeepClearPasswords || passType == list.PassType) return logins;
    const std::optional<TStoredScheme> wanted = StoredSchemeOfForm(passType);
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& user = list.Users(i);
        if (!user.HashOnly()) continue; // a clear password can be hashed in any form
        if (!wanted || IdentifyStoredHash(user.PasswordHash()) != *wanted)
            logins.push_back(user.Login);
    }
    return logins;
}

void CheckFormKeepsHashes(const TUserList& list, TPasswordsType passType) {
    const std::vector<std::string> logins = UsersNeedingClearPasswords(list, passType);
    if (!logins.empty())
        throw EQuorvaneError(Msg(texts::FormNeedsClearPasswords,
                                 SchemeOf(passType).DisplayMessage(), Names(logins)));
}

} // namespace quorvane
