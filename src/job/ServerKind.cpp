// A password file on a server: "ftp://", "ftpes://", "ftps://", "sftp://HOST[:PORT]/FILE". The
// file goes up under its temporary name and is then renamed over the old one; the group file
// beside it goes up over the same connection.

#include "base/AsciiCase.h"
#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "base/TempFiles.h"
#include "base/Workers.h"
#include "ftp/FtpTexts.h"
#include "ftp/ServerTarget.h"
#include "ftp/Transport.h"
#include "job/Deployment.h"
#include "job/JobTexts.h"
#include "job/TargetKind.h"

namespace quorvane {

namespace {

class TServerSideFiles final : public ISideFiles {
public:
    TServerSideFiles(IUploadTransport& transport, std::string local)
        : FTransport(transport), FLocal(std::move(local)) {}
    std::unique_ptr<IExportTarget> Open(const std::string& path) override {
        return std::make_unique<TServerFileTarget>(FTransport, std::string(), path, FLocal);
    }
    std::vector<TMessage> Write(const std::string& path, const std::string& content) override {
        WritePrivateFile(FLocal, content);
        SafeUpload(FTransport, FLocal, static_cast<std::int64_t>(content.size()), path);
        return {};
    }

private:
    IUploadTransport& FTransport;
    std::string FLocal;
};

class TServerSession final : public ITargetSession {
public:
    TServerSession(const TTargetSettings& settings, std::string id, const TTargetContext& context)
        : FId(std::move(id)), FRemote(settings.FtpPasswdFile), FMode(context.Mode),
          FUploader(std::make_shared<TDirectDispatcher>()) {
        TFtpUploader& u = FUploader;
        ApplyServerSettings(settings, u);
        (settings.FtpKeyFile.empty() ? u.Password : u.KeyPassphrase) = context.Secret;
        u.Timeout = context.Timeout;
        u.LocalFile = context.LocalFile;
        u.RemoteFile = FRemote;
        u.OnUnknownHostKey = context.OnUnknownHostKey;
        u.OnProgress = context.OnProgress;
    }

    void Run(const std::function<void(IExportTarget&, ISideFiles&)>& body) override {
        FUploader.Store = [this, &body](IUploadTransport& transport, const std::string&,
                                        std::int64_t, const std::string& remote,
                                        TCommitGate* gate) {
            // What this target stages and puts back goes up from files of its own: the copy
            // every upload shares is never written while another may be sending it.
            TServerFileTarget target(transport, FId, remote, FFileCopy.Path(), gate);
            TServerSideFiles side(transport, FSideCopy.Path());
            FShell = dynamic_cast<IRemoteShell*>(&transport);
            try {
                body(target, side);
            } catch (...) {
                FShell = nullptr;
                throw;
            }
            FShell = nullptr;
        };
        FUploader.OnStatus = [this](const TMessage& message, bool isError) {
            if (isError && FError.Empty()) FError = message;
        };
        FUploader.Start();
        FUploader.WaitFor();
        if (FUploader.Aborted()) throw EUploadAborted(FRemote, FUploader.AbortTempKept());
        if (!FError.Empty()) throw EQuorvaneError(FError);
    }

    void Abort() noexcept override { FUploader.Abort(); }

    std::vector<TMessage> Replaced() override {
        if (!FMode || FShell == nullptr) return {};
        try {
            FShell->SetMode(FRemote, *FMode);
        } catch (const EQuorvaneError& e) {
            return {Msg(texts::RemoteModeNotSet, FRemote, FileModeText(*FMode), e.Message())};
        } catch (const std::exception& e) {
            return {
                Msg(texts::RemoteModeNotSet, FRemote, FileModeText(*FMode), Verbatim(e.what()))};
        }
        return {};
    }

    TAfterResult RunAfter(const TAfterCommand& command) override {
        if (FShell == nullptr) throw EQuorvaneError(Msg(texts::AfterNeedsShell, FRemote));
        return RunAfterCommandRemotely(*FShell, command, FRemote);
    }

    void Finish(TTargetOutcome& outcome, bool prepared) override {
        outcome.Identity = FUploader.IdentityProblem();
        if (FUploader.Aborted() && FUploader.AbortTempKept())
            outcome.Warnings.push_back(Msg(texts::PartialUploadKept, SafeUploadName(FRemote)));
        if (FUploader.Aborted() && !prepared) outcome.Aborted = true;
    }

private:
    std::string FId, FRemote;
    std::optional<unsigned> FMode;
    // The connection's SSH side while Run's body runs over SFTP (the command and the mode go
    // over it); none over FTP.
    IRemoteShell* FShell = nullptr;
    TMemoryFile FFileCopy{"kxv", std::string()}, FSideCopy{"kxv", std::string()};
    TFtpUploader FUploader;
    TMessage FError; // the first error the upload reported
};

class TServerKind final : public ITargetKind {
public:
    std::string FileName(const TTarget& t) const override { return SettingsOf(t).FtpPasswdFile; }
    std::string Where(const TTarget& t) const override { return ServerUrlOf(SettingsOf(t)); }
    std::string Id(const TTarget& t) const override {
        const TTargetSettings s = SettingsOf(t);
        TFtpSettings server;
        ApplyServerSettings(s, server);
        return ServerTargetId(server, s.FtpPasswdFile);
    }
    std::string Place(const TTarget& t) const override {
        const TTargetSettings s = SettingsOf(t);
        if (s.FtpHost.empty() || s.FtpPasswdFile.empty()) return {};
        TFtpSettings server;
        try {
            ApplyServerSettings(s, server);
        } catch (const EQuorvaneError&) {
            return {};
        }
        server.User.clear();
        return "server:" + ToAsciiLower(ServerTargetId(server, s.FtpPasswdFile));
    }
    std::optional<TMessage> Problem(const TTarget& t) const override {
        const TTargetSettings s = SettingsOf(t);
        if (s.FtpHost.empty()) return Msg(texts::NoFtpServer);
        if (s.FtpPasswdFile.empty()) return Msg(texts::NoServerPasswordFile);
        return std::nullopt;
    }
    // The login an address holds becomes the target's user; a store the target pointed at is
    // forgotten (the database keeps none beside a server), the file stays.
    void Adopt(TTarget& t, const TTarget& before, IRandomSource&) const override {
        const TServerUrl server = ParseServerUrl(t.Url);
        TTargetSettings s = SettingsOf(before);
        s.StoreUrl.clear();
        s.StoreOwner.clear();
        s.ExportToFile = false;
        SetServerProtocol(s, server.Protocol);
        s.FtpHost = server.Host;
        s.FtpPasswdFile = server.RemoteFile;
        if (!server.Login.empty()) s.FtpUser = server.Login;
        t = TargetOf(s);
    }
    std::optional<TMessage> Caution(const TTarget& t) const override {
        if (ProtocolFromStoredName(SettingsOf(t).FtpProtocol) != TTransferProtocol::Ftp)
            return std::nullopt;
        return Msg(texts::PlainFtpInClear);
    }
    std::string Reached(const TTarget& t) const override { return SettingsOf(t).FtpHost; }
    bool TakesGroupFile() const override { return true; }
    bool UploadsLocalCopy() const override { return true; }
    // Over SFTP the server's shell runs a command and sets the mode; FTP has neither, and no
    // server takes a group of this machine's.
    // A key file's passphrase is never stored; SFTP without a key file and without a password
    // tries ssh-agent's keys and the default ones first.
    TTargetSecret Secret(const TTarget& t) const override {
        const TTargetSettings s = SettingsOf(t);
        TTargetSecret secret;
        secret.TakesSecret = true;
        secret.Login = s.FtpUser;
        secret.Host = ParseFtpHost(s.FtpHost).Host;
        secret.KeyFile = s.FtpKeyFile;
        if (s.FtpKeyFile.empty()) secret.Stored = s.FtpPass;
        if (secret.Stored.empty() && TargetAsksForSecret(s))
            secret.Ask = s.FtpKeyFile.empty() ? TTargetSecret::TAsk::Password
                                              : TTargetSecret::TAsk::Passphrase;
        return secret;
    }
    TTargetExtras Extras(const TTarget& t) const override {
        const bool ssh =
            ProtocolFromStoredName(SettingsOf(t).FtpProtocol) == TTransferProtocol::Sftp;
        return {ssh, ssh, false};
    }
    std::string_view Name() const override { return "server"; }
    std::vector<std::string> AddressForms() const override {
        return {"ftp://HOST[:PORT]/FILE", "ftpes://HOST[:PORT]/FILE", "ftps://HOST[:PORT]/FILE",
                "sftp://HOST[:PORT]/FILE"};
    }
    std::vector<TTargetDetail> Details(const TTarget& t) const override {
        const TTargetSettings s = SettingsOf(t);
        const TTransferProtocol protocol = ProtocolFromStoredName(s.FtpProtocol);
        const TFtpAddress address = ParseFtpHost(s.FtpHost);
        std::vector<TTargetDetail> details = {
            {"protocol", EnglishText(ProtocolDisplayMessage(protocol))},
            {"url", ServerUrlOf(s)},
            {"host", address.Valid ? address.Host : s.FtpHost},
            {"port", std::to_string(address.Port != 0 ? address.Port : DefaultPort(protocol))},
            {"login", s.FtpUser},
            {"remote file", s.FtpPasswdFile},
            {"password stored", s.FtpStorePass && !s.FtpPass.empty() ? "yes" : "no"}};
        if (protocol != TTransferProtocol::Sftp)
            details.push_back({"mode", s.FtpPassiveMode ? "passive" : "active"});
        if (!s.FtpTlsPin.empty()) details.push_back({"tls pin", s.FtpTlsPin});
        if (!s.FtpCaFile.empty()) details.push_back({"ca file", s.FtpCaFile});
        if (!s.FtpKeyFile.empty()) details.push_back({"key file", s.FtpKeyFile});
        for (const std::string& key : StoredHostKeys(s))
            details.push_back({"host key", key});
        return details;
    }
    std::vector<TTargetOptionRow> Options(const TTarget& t) const override {
        std::vector<TTargetOptionRow> rows = {
            {"user", false, false, [](std::string_view v) { return SafeForServer(std::string(v)); },
             true},
            {"password", true},
            {"keep-password", false, true}};
        const std::string scheme = UrlScheme(t.Url);
        if (scheme == "sftp") {
            rows.push_back({"key-file"});
            // Fingerprints as ssh-keygen -l shows them, separated by blanks.
            rows.push_back(
                {"host-keys", false, false, [](std::string_view v) {
                     std::size_t at = 0;
                     while (at < v.size()) {
                         const std::size_t end = std::min(v.find(' ', at), v.size());
                         if (!ValidHostKeyFingerprint(std::string(v.substr(at, end - at))))
                             return false;
                         at = end + 1;
                     }
                     return true;
                 }});
            return rows;
        }
        rows.push_back({"passive", false, true});
        if (scheme == "ftpes" || scheme == "ftps") {
            rows.push_back({"tls-pin", false, false,
                            [](std::string_view v) { return ValidTlsPin(std::string(v)); }});
            rows.push_back({"ca-file"});
        }
        return rows;
    }
    std::unique_ptr<ITargetSession> Open(const TTarget& t,
                                         const TTargetContext& context) const override {
        return std::make_unique<TServerSession>(SettingsOf(t), Id(t), context);
    }
};

} // namespace

std::shared_ptr<const ITargetKind> ServerKind() {
    return std::make_shared<TServerKind>();
}

} // namespace quorvane
