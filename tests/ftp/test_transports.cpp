// The secure transports end to end: FTP over TLS (explicit and implicit) against vsftpd, SFTP
// against OpenSSH's sshd (key logins) and an asyncssh server (password logins). One table for
// what they all do (a new target, replacing it, refused credentials, a server dying in the
// middle of an upload, abort); then what is each one's own: server identities, key
// passphrases, atomic replacement.

#include "ScopedEnv.h"
#include "TestUtil.h"
#include "TransportServers.h"
#include "UploadRun.h"
#include "base/TempFiles.h"
#include "ftp/Ftp.h"
#include "ftp/FtpTexts.h"
#include "ftp/FtpUpload.h"
#include "ftp/Sftp.h"
#include "ftp/Transport.h"

#include <csignal>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/types.h>

using namespace quorvane;

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

using ftptest::SampleText;
using testing::Not;
using testsupport::TUploadRun;
using transporttest::Capture;
using transporttest::Executable;
using transporttest::TAsyncSftp;
using transporttest::TSshd;
using transporttest::TVsftpd;

// Passes every call on to a real transport and notes it; once the call numbered KillAfter has
// returned, the server is killed, as a connection lost between two steps would leave it.
class TStepTransport : public IUploadTransport {
public:
    TStepTransport(IUploadTransport& inner, std::function<void()> kill = {}, size_t killAfter = 0)
        : FInner(inner), FKill(std::move(kill)), FKillAfter(killAfter) {}
    std::vector<std::string> Calls;
    void Connect() override { FInner.Connect(); }
    void Disconnect() noexcept override { FInner.Disconnect(); }
    void Put(const std::string& remote, const std::string& local) override {
        Step("put " + remote, [&] { FInner.Put(remote, local); });
    }
    void Rename(const std::string& from, const std::string& to) override {
        Step("rename " + from + " " + to, [&] { FInner.Rename(from, to); });
    }
    void Delete(const std::string& remote) override {
        Step("delete " + remote, [&] { FInner.Delete(remote); });
    }
    std::optional<std::int64_t> Size(const std::string& remote) override {
        std::optional<std::int64_t> size;
        Step("size " + remote, [&] { size = FInner.Size(remote); });
        return size;
    }
    bool RenameSourceRefused() const override { return FInner.RenameSourceRefused(); }
    void Read(const std::string& remote,
              const std::function<void(const char*, std::size_t)>& sink) override {
        Step("read " + remote, [&] { FInner.Read(remote, sink); });
    }
    std::optional<std::string> Read(const std::string& remote, std::size_t limit) override {
        std::optional<std::string> data;
        Step("read " + remote, [&] { data = FInner.Read(remote, limit); });
        return data;
    }

private:
    void Step(const std::string& call, const std::function<void()>& run) {
        run();
        Calls.push_back(call);
        if (Calls.size() == FKillAfter && FKill) FKill();
    }
    IUploadTransport& FInner;
    std::function<void()> FKill;
    size_t FKillAfter;
};

// ---------------------------------------------------------------------------------------------
// What every secure transport does alike: a new target and its replacement, credentials the
// server refuses, a server dying in the middle of an upload, abort.

enum class TTransportKind { FtpExplicitTls, FtpImplicitTls, SftpKey, SftpPassword };

class Transport : public testing::TestWithParam<TTransportKind> {
protected:
    void SetUp() override { Start(); }
    // Starts the server of this kind (in place of the one running); with throttle, one that takes
    // uploads at most that many bytes a second, so that an upload lasts without a huge file.
    void Start(int throttle = 0) {
        Vsftpd.reset();
        Sshd.reset();
        Async.reset();
        switch (GetParam()) {
        case TTransportKind::FtpExplicitTls:
        case TTransportKind::FtpImplicitTls:
            if (!Executable(TVsftpd::kBinary)) GTEST_SKIP() << "vsftpd is not installed";
            Vsftpd =
                std::make_unique<TVsftpd>(GetParam() == TTransportKind::FtpImplicitTls, throttle);
            Host = Vsftpd->Host();
            Remote = "pub/htpasswd";
            Stored = Vsftpd->Root() / "htpasswd";
            Login = "anonymous";
            break;
        case TTransportKind::SftpKey:
            if (!Executable(TSshd::kBinary)) GTEST_SKIP() << "OpenSSH's sshd is not installed";
            Sshd = std::make_unique<TSshd>(false, throttle);
            Host = Sshd->Host();
            Stored = Sshd->Root() / ".htpasswd";
            Remote = Stored.string(); // absolute
            Login = Sshd->User();
            WriteWholeFile(KnownHosts, Sshd->KnownHostsLine());
            break;
        case TTransportKind::SftpPassword:
            Async = std::make_unique<TAsyncSftp>(
                throttle > 0 ? std::vector<std::string>{"--throttle", std::to_string(throttle)}
                             : std::vector<std::string>{});
            Host = Async->Host();
            Remote = "htpasswd"; // relative to the login's folder
            Stored = Async->Root() / "htpasswd";
            Login = TAsyncSftp::kUser;
            WriteWholeFile(KnownHosts, Async->KnownHostsLine());
            break;
        }
    }
    // Right credentials or ones the server refuses. FTP over TLS trusts the server by its
    // pinned key, or (otherWay) through its certificate's authority.
    void Fill(TUploadRun& run, bool right = true, bool otherWay = false) {
        TFtpUploader& u = run.Uploader;
        switch (GetParam()) {
        case TTransportKind::FtpExplicitTls:
        case TTransportKind::FtpImplicitTls:
            u.Protocol = GetParam() == TTransportKind::FtpExplicitTls
                             ? TTransferProtocol::FtpExplicitTls
                             : TTransferProtocol::FtpImplicitTls;
            u.User = Login;
            u.Password = right ? "quorvane@example.org" : TVsftpd::kWrongPassword;
            if (otherWay)
                u.CaFile = Vsftpd->CertFile().string();
            else
                u.TlsPin = Vsftpd->Pin();
            break;
        case TTransportKind::SftpKey:
            u.Protocol = TTransferProtocol::Sftp;
            u.User = Login;
            u.KeyFile = Sshd->Key(right ? "user" : "stranger").string(); // one not authorised
            u.KnownHostsFile = KnownHosts;
            break;
        case TTransportKind::SftpPassword:
            u.Protocol = TTransferProtocol::Sftp;
            u.User = Login;
            u.Password = right ? TAsyncSftp::kPassword : "wrong";
            u.KnownHostsFile = KnownHosts;
            break;
        }
    }
    void KillServer() {
        if (Vsftpd) Vsftpd->Kill();
        if (Sshd) Sshd->Kill();
        if (Async) Async->Kill();
    }
    TTempDir Dir;
    std::string KnownHosts = Dir.File("known_hosts");
    std::string Host, Remote, Login;
    fs::path Stored; // where the server keeps Remote
    std::unique_ptr<TVsftpd> Vsftpd;
    std::unique_ptr<TSshd> Sshd;
    std::unique_ptr<TAsyncSftp> Async;
};

TEST_P(Transport, NewTargetThenReplacingIt) {
    for (const bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing" : "new");
        const std::string content = SampleText(replacing ? 90000 : 150000, replacing ? 's' : 'f');
        TUploadRun run(Host, content, Remote);
        Fill(run, true, replacing);
        run.Go();
        EXPECT_TRUE(run.Errors().empty()) << testing::PrintToString(run.Errors());
        EXPECT_EQ(run.Texts().front(), "Connecting(" + Host + ")");
        EXPECT_EQ(run.Texts().back(), "Uploading(" + Remote + ", 100)");
        EXPECT_TRUE(ReadWholeFile(Stored) == content) << "the exact bytes, CR LF kept";
        EXPECT_FALSE(fs::exists(Stored.string() + "_safeupload"));
    }
}

TEST_P(Transport, RefusedCredentialsAreALoginFailureAndChangeNothing) {
    WriteWholeFile(Stored, "old:content\r\n");
    TUploadRun run(Host, "new\r\n", Remote);
    Fill(run, false);
    run.Go();
    ASSERT_EQ(run.Errors().size(), 1u);
    EXPECT_THAT(run.Errors()[0], StartsWith("LoginFailed(" + Host + ", " + Login + ", "));
    EXPECT_EQ(ReadWholeFile(Stored), "old:content\r\n");
}

// Abort at 5% stops the upload, a server dying at 10% fails it: either way the old file stays
// whole, and after an abort no temporary file is left.
TEST_P(Transport, AnAbortedOrFailedUploadKeepsTheOldFileWhole) {
    Start(100000);
    for (const bool abort : {true, false}) { // the server dies last
        SCOPED_TRACE(abort ? "abort" : "server dies");
        WriteWholeFile(Stored, "old:content\r\n");
        TUploadRun run(Host, SampleText(3000000), Remote);
        Fill(run);
        if (abort)
            run.AbortAtPercent = 5;
        else
            run.AtTenPercent = [this] { KillServer(); };
        run.Go();
        ASSERT_EQ(run.Errors().size(), 1u) << testing::PrintToString(run.Texts());
        if (abort) {
            EXPECT_EQ(run.Errors()[0], "UploadAborted(" + Remote + ")");
            EXPECT_FALSE(fs::exists(Stored.string() + "_safeupload"));
        } else {
            EXPECT_THAT(run.Errors()[0], StartsWith("UploadFailed(" + Remote + ", "));
        }
        EXPECT_EQ(ReadWholeFile(Stored), "old:content\r\n");
    }
}

std::string KindName(const testing::TestParamInfo<TTransportKind>& info) {
    static const char* const names[] = {"FtpExplicitTls", "FtpImplicitTls", "SftpKey",
                                        "SftpPassword"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(EachTransport, Transport,
                         testing::Values(TTransportKind::FtpExplicitTls,
                                         TTransportKind::FtpImplicitTls, TTransportKind::SftpKey,
                                         TTransportKind::SftpPassword),
                         KindName);

// ---------------------------------------------------------------------------------------------
// FTP over TLS

class FtpTls : public testing::TestWithParam<TTransferProtocol> {
protected:
    void SetUp() override {
        if (!Executable(TVsftpd::kBinary)) {
            GTEST_SKIP() << "vsftpd is not installed (scripts/deps.sh installs it)";
        }
        Server = std::make_unique<TVsftpd>(GetParam() == TTransferProtocol::FtpImplicitTls);
    }
    void Fill(TUploadRun& run, const std::string& password = "quorvane@example.org") {
        run.Uploader.Protocol = GetParam();
        run.Uploader.User = "anonymous";
        run.Uploader.Password = password;
    }
    std::unique_ptr<TVsftpd> Server;
};

// A self-signed certificate without a pin is refused and its key shown; one whose key is not
// the pinned one is refused too. Neither gets a file.
TEST_P(FtpTls, AnUnpinnedOrOtherKeyIsRefusedAndItsKeyShown) {
    const std::string otherPin = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    const struct {
        std::string Pin;
        testing::Matcher<std::string> Error;
    } cases[] = {
        {"", testing::AllOf(StartsWith("CertificateUnverifiedKey(" + Server->Host() + ", "),
                            testing::EndsWith(", " + Server->Pin() + ")"))},
        {otherPin, testing::Eq("PublicKeyNotPinned(" + Server->Host() + ", " + Server->Pin() +
                               ", " + otherPin + ")")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Pin);
        TUploadRun run(Server->Host(), "alice:x\r\n", "pub/htpasswd");
        Fill(run);
        run.Uploader.TlsPin = c.Pin;
        run.Go();
        EXPECT_THAT(run.Errors(), ElementsAre(c.Error));
        EXPECT_FALSE(fs::exists(Server->Root() / "htpasswd"));
        EXPECT_FALSE(fs::exists(Server->Root() / "htpasswd_safeupload"));
    }

    // The same error, typed, for a front end that offers to pin the key.
    TFtp ftp;
    ftp.Protocol = GetParam();
    ftp.Host = Server->Host();
    ftp.User = "anonymous";
    ftp.Password = "x@y";
    try {
        ftp.Connect();
        FAIL() << "connected to an unverified server";
    } catch (const EServerIdentityError& e) {
        EXPECT_EQ(e.PublicKeyPin, Server->Pin());
        EXPECT_FALSE(e.Changed);
    }
}

INSTANTIATE_TEST_SUITE_P(ExplicitAndImplicit, FtpTls,
                         testing::Values(TTransferProtocol::FtpExplicitTls,
                                         TTransferProtocol::FtpImplicitTls),
                         [](const testing::TestParamInfo<TTransferProtocol>& info) {
                             return info.param == TTransferProtocol::FtpExplicitTls
                                        ? std::string("Explicit")
                                        : std::string("Implicit");
                         });

// TLS is required: a server that does not offer it gets no login, not even in clear.
TEST(FtpTlsRequired, ServerWithoutTlsNeverSeesTheLogin) {
    ftptest::TFtpServer server;
    TUploadRun run(server.Host(), "alice:x\r\n", "pub/htpasswd");
    run.Uploader.Protocol = TTransferProtocol::FtpExplicitTls;
    run.Uploader.User = ftptest::kUser;
    run.Uploader.Password = ftptest::kPassword;
    run.Go();
    EXPECT_THAT(run.Errors(),
                ElementsAre("CouldNotConnect(" + server.Host() + ", ServerOffersNoTls())"));
    EXPECT_THAT(server.Commands(), Not(HasSubstr("PASS"))) << server.Commands();
    EXPECT_THAT(server.Commands(), Not(HasSubstr("USER"))) << server.Commands();
}

// ---------------------------------------------------------------------------------------------
// SFTP

class SftpOpenSsh : public testing::Test {
protected:
    void SetUp() override {
        if (!Executable(TSshd::kBinary)) {
            GTEST_SKIP() << "OpenSSH's sshd is not installed (scripts/deps.sh installs it)";
        }
        Server = std::make_unique<TSshd>();
        KnownHosts = Dir.File("known_hosts");
        WriteWholeFile(KnownHosts, Server->KnownHostsLine());
    }
    void Fill(TUploadRun& run, const std::string& key = "user") {
        run.Uploader.Protocol = TTransferProtocol::Sftp;
        run.Uploader.User = Server->User();
        run.Uploader.KeyFile = Server->Key(key).string();
        run.Uploader.KnownHostsFile = KnownHosts;
    }
    std::string Target() const { return (Server->Root() / ".htpasswd").string(); }

    TTempDir Dir;
    std::string KnownHosts;
    std::unique_ptr<TSshd> Server;
};

TEST_F(SftpOpenSsh, KeyWithAPassphrase) {
    EXPECT_TRUE(PrivateKeyNeedsPassphrase(Server->Key("locked").string()));
    EXPECT_FALSE(PrivateKeyNeedsPassphrase(Server->Key("user").string()));
    EXPECT_FALSE(PrivateKeyNeedsPassphrase(Dir.File("missing")));
    {
        TUploadRun run(Server->Host(), "alice:x\r\n", Target());
        Fill(run, "locked");
        run.Uploader.KeyPassphrase = "wrong";
        run.Go();
        ASSERT_EQ(run.Errors().size(), 1u);
        EXPECT_THAT(run.Errors()[0],
                    StartsWith("LoginFailed(" + Server->Host() + ", " + Server->User() + ", "));
        EXPECT_FALSE(fs::exists(Target()));
    }
    TUploadRun run(Server->Host(), "alice:x\r\n", Target());
    Fill(run, "locked");
    run.Uploader.KeyPassphrase = TSshd::kLockedPassphrase;
    run.Go();
    EXPECT_TRUE(run.Errors().empty()) << testing::PrintToString(run.Errors());
    EXPECT_EQ(ReadWholeFile(Target()), "alice:x\r\n");
}

// Without a key file the login tries what ssh would: the keys ssh-agent holds, then the user's
// default keys in ~/.ssh (one locked by a passphrase is left to the agent); a server that takes
// none of them refuses the login. HOME and SSH_AUTH_SOCK are the test's own in each case.
TEST_F(SftpOpenSsh, WithoutAKeyFileTheAgentAndTheDefaultKeysAreTried) {
    const std::string socket = Dir.File("agent.sock");
    const std::string started = Capture("ssh-agent -a '" + socket + "'");
    const size_t at = started.find("SSH_AGENT_PID=");
    ASSERT_NE(at, std::string::npos) << started;
    const pid_t agent = std::stoi(started.substr(at + 14));
    struct TStop {
        pid_t Pid;
        ~TStop() { ::kill(Pid, SIGTERM); }
    } stop{agent};
    Capture("SSH_AUTH_SOCK='" + socket + "' ssh-add -q '" + Server->Key("user").string() +
            "' 2>&1");
    const TScopedEnv home("HOME", nullptr), agentSocket("SSH_AUTH_SOCK", nullptr);
    const struct {
        const char* Case;
        const char* DefaultKey; // the server's key copied to ~/.ssh/id_ed25519; nullptr: none
        bool Agent;
        bool In;
    } cases[] = {
        {"a default key the server knows", "user", false, true},
        {"a default key it does not know", "stranger", false, false},
        {"a default key locked by a passphrase", "locked", false, false},
        {"the agent's key", nullptr, true, true},
        {"the agent's key after a default key it does not know", "stranger", true, true},
        {"no key at all", nullptr, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        TTempDir homeDir;
        if (c.DefaultKey != nullptr) {
            fs::create_directories(homeDir.Path() / ".ssh");
            fs::copy_file(Server->Key(c.DefaultKey), homeDir.Path() / ".ssh" / "id_ed25519");
            fs::permissions(homeDir.Path() / ".ssh" / "id_ed25519", fs::perms::owner_read);
        }
        home.Set(homeDir.Path().c_str());
        agentSocket.Set(c.Agent ? socket.c_str() : nullptr);
        EXPECT_EQ(SshKeysAtHand(),
                  c.Agent || (c.DefaultKey != nullptr && std::string(c.DefaultKey) != "locked"));
        fs::remove(Target());
        TUploadRun run(Server->Host(), "alice:x\r\n", Target());
        Fill(run);
        run.Uploader.KeyFile.clear();
        run.Go();
        if (c.In) {
            EXPECT_TRUE(run.Errors().empty()) << testing::PrintToString(run.Errors());
            EXPECT_EQ(ReadWholeFile(Target()), "alice:x\r\n");
        } else {
            ASSERT_EQ(run.Errors().size(), 1u);
            EXPECT_THAT(run.Errors()[0], StartsWith("LoginFailed(" + Server->Host() + ", " +
                                                    Server->User() + ", ServerRefusedLogin"));
            EXPECT_FALSE(fs::exists(Target()));
        }
    }
}

TEST_F(SftpOpenSsh, UnknownHostKeyIsAskedAboutOrPinned) {
    WriteWholeFile(KnownHosts, "");
    const std::string fingerprint = Server->Fingerprint();
    ASSERT_THAT(fingerprint, StartsWith("SHA256:"));
    { // Nobody to ask: refused, fingerprint shown.
        TUploadRun run(Server->Host(), "alice:x\r\n", Target());
        Fill(run);
        run.Go();
        EXPECT_THAT(run.Errors(),
                    ElementsAre("HostKeyUnknown(" + Server->Host() + ", " + fingerprint + ")"));
        EXPECT_FALSE(fs::exists(Target()));
    }
    { // The user says no.
        TUploadRun run(Server->Host(), "alice:x\r\n", Target());
        Fill(run);
        run.AskAboutHostKeys();
        run.Go();
        EXPECT_THAT(run.Asked, ElementsAre(fingerprint));
        EXPECT_EQ(run.Errors().size(), 1u);
        EXPECT_FALSE(fs::exists(Target()));
    }
    { // The user says yes.
        TUploadRun run(Server->Host(), "one\r\n", Target());
        Fill(run);
        run.AskAboutHostKeys();
        run.Accept = true;
        run.Go();
        EXPECT_THAT(run.Asked, ElementsAre(fingerprint)) << "asked once for the whole run";
        EXPECT_TRUE(run.Errors().empty()) << testing::PrintToString(run.Errors());
        EXPECT_EQ(ReadWholeFile(Target()), "one\r\n");
    }
    { // A pinned key needs no question.
        TUploadRun run(Server->Host(), "two\r\n", Target());
        Fill(run);
        run.AskAboutHostKeys();
        run.Uploader.HostKeyPins = {fingerprint};
        run.Go();
        EXPECT_TRUE(run.Asked.empty());
        EXPECT_TRUE(run.Errors().empty()) << testing::PrintToString(run.Errors());
        EXPECT_EQ(ReadWholeFile(Target()), "two\r\n");
    }
}

// A key other than the one on record, in known_hosts or among the keys trusted with the target,
// is a CHANGED key: refused loudly, never offered for acceptance.
TEST_F(SftpOpenSsh, ChangedHostKeyIsRefusedLoudlyWithoutAsking) {
    const std::string stranger =
        Capture("ssh-keygen -l -E sha256 -f '" + Server->Key("stranger").string() + ".pub'");
    const std::string strangerPrint = stranger.substr(stranger.find("SHA256:"), 50);
    const struct {
        const char* What;
        bool KnownHostsOtherKey;
        std::string Expected;
    } cases[] = {
        {"known_hosts", true,
         "HostKeyChanged(" + Server->Host() + ", " + Server->Fingerprint() + ")"},
        {"trusted keys", false,
         "HostKeyChangedFromTrusted(" + Server->Host() + ", [Verbatim(" + strangerPrint + ")], " +
             Server->Fingerprint() + ")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        WriteWholeFile(KnownHosts, c.KnownHostsOtherKey ? Server->KnownHostsLine(false) : "");
        TUploadRun run(Server->Host(), "alice:x\r\n", Target());
        Fill(run);
        if (!c.KnownHostsOtherKey) run.Uploader.HostKeyPins = {strangerPrint};
        run.AskAboutHostKeys();
        run.Accept = true;
        run.Go();
        EXPECT_TRUE(run.Asked.empty()) << "a changed key is never offered for acceptance";
        ASSERT_EQ(run.Errors().size(), 1u);
        EXPECT_EQ(run.Errors()[0], c.Expected);
        EXPECT_TRUE(run.Uploader.IdentityProblem().Changed);
        EXPECT_FALSE(fs::exists(Target()));
    }
}

// OpenSSH gets posix-rename: the target is replaced in one step, never removed first, so a
// server that dies after any step leaves the old file or the new one, whole.
TEST_F(SftpOpenSsh, ReplacementIsAtomicWhereverTheServerDies) {
    const std::string old = SampleText(50000, 'o');
    const std::string fresh = SampleText(60000, 'n');
    TTempDir local;
    const std::string file = local.File("new");
    WriteWholeFile(file, fresh);
    const auto replace = [&](TSshd& server, size_t killAfter) {
        WriteWholeFile(KnownHosts, server.KnownHostsLine());
        const std::string target = (server.Root() / ".htpasswd").string();
        WriteWholeFile(target, old);
        TFtpSettings settings;
        settings.Protocol = TTransferProtocol::Sftp;
        settings.Host = server.Host();
        settings.User = server.User();
        settings.KeyFile = server.Key("user").string();
        settings.KnownHostsFile = KnownHosts;
        settings.Timeout = 10000;
        TSftpTransport sftp(settings, {});
        TStepTransport steps(
            sftp, [&] { server.Kill(); }, killAfter);
        sftp.Connect();
        try {
            SafeUpload(steps, file, static_cast<std::int64_t>(fresh.size()), target);
        } catch (const EFtpError&) {
            EXPECT_NE(killAfter, 0u) << "only a dead server fails it";
        }
        return steps.Calls;
    };
    TSshd logged(true);
    const std::vector<std::string> calls = replace(logged, 0);
    const std::string target = (logged.Root() / ".htpasswd").string();
    const std::string temp = target + "_safeupload";
    EXPECT_THAT(calls, ElementsAre("put " + temp, "size " + temp, "rename " + temp + " " + target));
    EXPECT_TRUE(ReadWholeFile(target) == fresh);
    EXPECT_THAT(logged.Log(), HasSubstr("posix-rename old")) << logged.Log();
    EXPECT_THAT(logged.Log(), Not(HasSubstr("remove name"))) << logged.Log();
    for (size_t killAfter = 1; killAfter <= calls.size(); ++killAfter) {
        SCOPED_TRACE(calls[killAfter - 1]);
        TSshd server;
        replace(server, killAfter);
        const fs::path target = server.Root() / ".htpasswd";
        ASSERT_TRUE(fs::exists(target)) << "the site always has its password file";
        const std::string content = ReadWholeFile(target);
        EXPECT_TRUE(content == old || content == fresh) << content.size() << " bytes";
        EXPECT_EQ(content == fresh, killAfter == calls.size());
    }
}

// What the server stored is measured (stat, else the file read back) before it replaces the
// target; a server without posix-rename gets the old file deleted just before the rename.
TEST(SftpServerKinds, ShortFilesAreRefusedAndRenamesFallBack) {
    const std::string content = SampleText(70001, 'n');
    const std::string shortError = "UploadIncomplete(htpasswd, 35000, 70001)";
    const struct {
        std::vector<std::string> Switches;
        const char* Error; // none: replaced
        std::vector<std::string> Calls;
    } cases[] = {
        {{},
         nullptr,
         {"put htpasswd_safeupload", "size htpasswd_safeupload",
          "rename htpasswd_safeupload htpasswd"}},
        {{"--no-posix-rename"},
         nullptr,
         {"put htpasswd_safeupload", "size htpasswd_safeupload", "delete htpasswd",
          "rename htpasswd_safeupload htpasswd"}},
        {{"--no-stat"},
         nullptr,
         {"put htpasswd_safeupload", "size htpasswd_safeupload",
          "rename htpasswd_safeupload htpasswd"}},
        {{"--truncate"},
         "stat",
         {"put htpasswd_safeupload", "size htpasswd_safeupload", "delete htpasswd_safeupload"}},
        {{"--truncate", "--no-stat"},
         "read back",
         {"put htpasswd_safeupload", "size htpasswd_safeupload", "delete htpasswd_safeupload"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.Switches));
        TAsyncSftp server(c.Switches);
        TTempDir local;
        WriteWholeFile(local.File("known_hosts"), server.KnownHostsLine());
        WriteWholeFile(local.File("new"), content);
        WriteWholeFile((server.Root() / "htpasswd").string(), "old:content\r\n");
        TFtpSettings settings;
        settings.Protocol = TTransferProtocol::Sftp;
        settings.Host = server.Host();
        settings.User = TAsyncSftp::kUser;
        settings.Password = TAsyncSftp::kPassword;
        settings.KnownHostsFile = local.File("known_hosts");
        settings.Timeout = 10000;
        TSftpTransport sftp(settings, {});
        TStepTransport steps(sftp);
        sftp.Connect();
        std::string error;
        try {
            SafeUpload(steps, local.File("new"), static_cast<std::int64_t>(content.size()),
                       "htpasswd");
        } catch (const EFtpError& e) {
            error = Signature(e.Message());
        }
        EXPECT_EQ(error, c.Error ? shortError : "");
        EXPECT_EQ(steps.Calls, c.Calls);
        EXPECT_TRUE(ReadWholeFile(server.Root() / "htpasswd") ==
                    (c.Error ? std::string("old:content\r\n") : content));
        EXPECT_FALSE(fs::exists(server.Root() / "htpasswd_safeupload"));
    }
}

} // namespace
