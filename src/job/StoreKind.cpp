// A store web servers read users from: "sqlite:PATH", "postgresql://…", "ldap://…",
// "ldaps://…". Its rows or entries are replaced last, once every file holds its new content.

#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "ftp/Ftp.h"
#include "job/StoreTarget.h"
#include "job/TargetKind.h"
#include "sitedb/SiteDbTexts.h"
#include "sitedb/UserStore.h"

namespace quorvane {

namespace {

// A store keeps the groups with its users: nothing goes beside it.
class TNoSideFiles final : public ISideFiles {
public:
    std::unique_ptr<IExportTarget> Open(const std::string&) override {
        throw std::logic_error("a store has no files beside it");
    }
    std::vector<TMessage> Write(const std::string&, const std::string&) override {
        throw std::logic_error("a store has no files beside it");
    }
};

class TStoreSession final : public ITargetSession {
public:
    TStoreSession(TTargetSettings settings, std::string where, const TTargetContext& context)
        : FSettings(std::move(settings)), FWhere(std::move(where)), FContext(context) {}
    void Run(const std::function<void(IExportTarget&, ISideFiles&)>& body) override {
        if (FContext.OnConnecting) FContext.OnConnecting();
        TNoSideFiles side;
        if (FContext.HeldTarget) {
            body(*FContext.HeldTarget, side);
            return;
        }
        TStoreTarget target(*TargetStore(FSettings, FContext.Secret), FContext.StoreGroups,
                            FContext.LineEnd);
        body(target, side);
    }
    // On this machine, the store's address (never a password) as the file it was given.
    TAfterResult RunAfter(const TAfterCommand& command) override {
        return RunAfterCommandLocally(command, FWhere);
    }

private:
    TTargetSettings FSettings;
    std::string FWhere;
    const TTargetContext& FContext;
};

class TStoreTargetKind final : public ITargetKind {
public:
    std::string FileName(const TTarget& t) const override { return Where(t); }
    std::string Where(const TTarget& t) const override {
        const std::string url = SettingsOf(t).StoreUrl;
        // Never the user part of the address, nor a password an older version let it hold.
        if (const auto store = ParseStoreUrl(url)) return StoreShownName(*store);
        return WithoutUserInfo(url);
    }
    std::string Id(const TTarget& t) const override {
        return StoreDisplayName(*TargetStore(SettingsOf(t), {}));
    }
    std::string Place(const TTarget& t) const override {
        const std::optional<TStoreSettings> store = ParseStoreUrl(SettingsOf(t).StoreUrl);
        if (!store) return {};
        if (store->Kind == TStoreKind::Sqlite) return LocalFilePlace(store->Location);
        return "store:" + ToAsciiLower(StoreShownName(*store));
    }
    std::optional<TMessage> Problem(const TTarget& t) const override {
        const std::string url = SettingsOf(t).StoreUrl;
        if (!ParseStoreUrl(url)) return Msg(texts::StoreUrlInvalid, WithoutUserInfo(url));
        return std::nullopt;
    }
    void CheckNew(const TTarget& t) const override { CheckNewStoreUrl(SettingsOf(t).StoreUrl); }
    // The store's own owner, kept when the target was at this store before; the file and the
    // server stay beside it.
    void Adopt(TTarget& t, const TTarget& before, IRandomSource& random) const override {
        TTargetSettings s = SettingsOf(before);
        s.ExportToFile = false;
        SetStoreUrl(s, t.Url, random);
        t = TargetOf(s);
    }
    bool TakesGroupFile() const override { return false; }
    bool ReplacedLast() const override { return true; }
    // A command runs on this machine; a store's rows have no mode nor group.
    // A store may need no password (an SQLite file, a PostgreSQL login by ~/.pgpass).
    TTargetSecret Secret(const TTarget& t) const override {
        TTargetSecret secret;
        secret.Stored = t.Option("password");
        secret.TakesSecret = true;
        return secret;
    }
    TTargetExtras Extras(const TTarget&) const override { return {true, false, false}; }
    std::string_view Name() const override { return "store"; }
    std::vector<std::string> AddressForms() const override {
        return {"sqlite:PATH", "postgresql://HOST/DATABASE", "ldap://HOST/BASE-DN",
                "ldaps://HOST/BASE-DN"};
    }
    std::vector<TTargetDetail> Details(const TTarget& t) const override {
        const TTargetSettings s = SettingsOf(t);
        // The address without its user part: a password an earlier version let it hold is never
        // shown.
        const std::optional<TStoreSettings> store = ParseStoreUrl(s.StoreUrl);
        const std::string login = !s.FtpUser.empty() ? s.FtpUser
                                  : store            ? store->Login
                                                     : std::string();
        std::vector<TTargetDetail> details = {{"url", Where(t)}, {"owner", s.StoreOwner}};
        if (!login.empty()) details.push_back({"login", login});
        details.push_back(
            {"password stored",
             StoreUrlHoldsPassword(s.StoreUrl)
                 ? "in the address; set it with --password-stdin and give the address without it"
             : s.FtpStorePass && !s.FtpPass.empty() ? "yes"
                                                    : "no"});
        if (store && store->Kind == TStoreKind::Postgres) {
            const std::string& mode = store->TlsMode;
            details.push_back(
                {"tls", mode.empty() || mode == "verify-full"
                            ? "verify-full (required, the server's certificate checked)"
                            : mode + " (as the address asks: weaker than verify-full; " +
                                  (mode == "verify-ca" ? "the server's name is not checked"
                                   : mode == "require" ? "the server's certificate is not checked"
                                                       : "the password may travel in clear") +
                                  ")"});
        }
        return details;
    }
    std::vector<TTargetOptionRow> Options(const TTarget&) const override {
        const auto safe = [](std::string_view v) { return SafeForServer(std::string(v)); };
        return {{"user", false, false, safe},
                {"password", true},
                {"keep-password", false, true},
                {"owner", false, false, safe}};
    }
    std::unique_ptr<ITargetSession> Open(const TTarget& t,
                                         const TTargetContext& context) const override {
        return std::make_unique<TStoreSession>(SettingsOf(t), Where(t), context);
    }
};

} // namespace

std::shared_ptr<const ITargetKind> StoreKind() {
    return std::make_shared<TStoreTargetKind>();
}

} // namespace quorvane
