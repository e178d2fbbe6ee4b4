#pragma once
// The one walk over a list's written properties, in file order and under the rules of which are
// written. The object stream writer, the change sums and the text renderer are visitors of it,
// so the order and the rules live here alone. Not part of the public interface.
//
// A visitor has:
//   Begin(className, objectName)                 the header
//   Bool(name, value)  Ident(name, text)  Integer(name, value)
//   String(name, value)                          only called for a non-empty value, but for
//                                                the stored value of a user taken over from an
//                                                empty one (a locked account)
//   Date(name, value)                            only called for a value other than 0
//   BeginCollection(name)  BeginItem()  EndItem()  EndCollection()
//   End()                                        the end of the properties and of the object

#include "userdb/PasswordsType.h"
#include "userdb/UserList.h"

#include <string_view>

namespace quorvane::stream {

// A target's server or store, for the list's first target and for a further one alike.
template <class TVisitor> void WalkServer(const TTargetSettings& t, TVisitor& v) {
    const auto str = [&v](std::string_view name, const std::string& value) {
        if (!value.empty()) v.String(name, value);
    };
    str("FtpHost", t.FtpHost);
    str("FtpUser", t.FtpUser);
    str("FtpPass", t.FtpPass);
    str("FtpPasswdFile", t.FtpPasswdFile);
    v.Bool("FtpStorePass", t.FtpStorePass);
    v.Bool("FtpPassiveMode", t.FtpPassiveMode);
    if (!t.FtpProtocol.empty()) { // a plain FTP database stays as the earlier versions wrote it
        str("FtpProtocol", t.FtpProtocol);
        str("FtpTlsPin", t.FtpTlsPin);
        str("FtpCaFile", t.FtpCaFile);
        str("FtpKeyFile", t.FtpKeyFile);
        str("FtpHostKeys", t.FtpHostKeys);
    }
    // A table or a directory as the target, only when one is (the server's login and password
    // are FtpUser and FtpPass).
    if (!t.StoreUrl.empty()) {
        str("StoreUrl", t.StoreUrl);
        str("StoreOwner", t.StoreOwner);
    }
}

// The header (with the list's name) and the start of the Items collection.
template <class TVisitor> void WalkHead(std::string_view name, TVisitor& v) {
    v.Begin("TUserList", name);
    v.BeginCollection("Items");
}

// One item of the Items collection.
template <class TVisitor> void WalkUser(const TUserProp& u, TVisitor& v) {
    const auto str = [&v](std::string_view name, const std::string& value) {
        if (!value.empty()) v.String(name, value);
    };
    const auto date = [&v](std::string_view name, double value) {
        if (value != 0) v.Date(name, value);
    };
    v.BeginItem();
    str("Login", u.Login);
    str("Password", u.Password);
    v.Bool("Disable", u.Disable);
    v.Bool("Expire", u.Expire);
    date("ExpireDate", u.ExpireDate);
    date("CreatedDate", u.CreatedDate);
    str("FullName", u.FullName);
    str("Email", u.Email);
    str("Comments", u.Comments);
    // Taken over by its hash; also empty, for a locked account taken over so.
    if (u.HashOnly()) v.String("PasswordHash", u.PasswordHash());
    str("Groups", u.Groups()); // only for users in a group
    v.EndItem();
}

// The end of the Items collection and everything after it.
template <class TVisitor> void WalkTail(const TUserList& list, TVisitor& v) {
    const auto str = [&v](std::string_view name, const std::string& value) {
        if (!value.empty()) v.String(name, value);
    };
    v.EndCollection();

    v.Ident("PassType", PasswordsTypeName(list.PassType));
    // The slow forms' settings, only while such a form is chosen: every other database keeps
    // the bytes (and the fingerprint) it always had.
    if (list.PassType == TPasswordsType::ptBcrypt && list.BcryptCost != KBcryptCostDefault)
        v.Integer("BcryptCost", list.BcryptCost);
    if ((list.PassType == TPasswordsType::ptSHA256 || list.PassType == TPasswordsType::ptSHA512) &&
        list.ShaRounds != KShaRoundsDefault)
        v.Integer("ShaRounds", list.ShaRounds);
    if (IsSlowPassType(list.PassType)) str("HashCacheKey", list.HashCacheKey);
    if (!list.KeepClearPasswords) v.Bool("KeepClearPasswords", false); // on is not written
    // The first target where a database with one target always had it.
    const TTargetSettings first = SettingsOf(list.Targets.front());
    str("PassFile", first.PassFile);
    if (list.UnixLineEnds) v.Bool("UnixLineEnds", true); // CR LF, the default, is not written
    str("GroupFile", list.GroupFile);
    v.Bool("ExportToFile", first.ExportToFile);
    WalkServer(first, v);
    // The first target as one of several, and the further targets, only when used.
    if (first.Name != KFirstTargetName) str("TargetName", first.Name);
    if (!first.Enabled) v.Bool("TargetDisabled", true);
    str("CheckUrl", first.CheckUrl);
    str("CheckUser", first.CheckUser);
    str("TargetOptions", first.Options);
    if (list.Targets.size() > 1) {
        v.BeginCollection("Targets");
        for (std::size_t i = 1; i < list.Targets.size(); ++i) {
            const TTargetSettings t = SettingsOf(list.Targets[i]);
            v.BeginItem();
            // Under the first target's rules and names.
            str("Name", t.Name);
            if (!t.Enabled) v.Bool("Disabled", true);
            str("PassFile", t.PassFile);
            v.Bool("ExportToFile", t.ExportToFile);
            WalkServer(t, v);
            str("CheckUrl", t.CheckUrl);
            str("CheckUser", t.CheckUser);
            str("Options", t.Options);
            v.EndItem();
        }
        v.EndCollection();
    }
    v.End();
}

template <class TVisitor> void WalkList(const TUserList& list, TVisitor& v) {
    WalkHead(list.Name(), v);
    for (int i = 0; i < list.Count(); ++i)
        WalkUser(list.Users(i), v);
    WalkTail(list, v);
}

} // namespace quorvane::stream
