// The export job: which users go into the file and how the result counts the others, the
// progress events and the abort, and an upload to a loopback FTP server.

#include "job/ExportJob.h"

#include "ExportTestUtil.h"
#include "FtpTestServer.h"
#include "ScopedEnv.h"
#include "TestUtil.h"
#include "TransportServers.h"
#include "base/Random.h"
#include "export/DatabaseState.h"
#include "export/HashCache.h"
#include "export/HashOnlyUsers.h"
#include "export/SiteChanges.h"
#include "ftp/ServerTarget.h"
#include "job/JobTexts.h"
#include "userdb/Envelope.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <thread>

using namespace quorvane;
using namespace ftptest;
namespace fs = std::filesystem;

namespace {

// Users named by their state: "e" enabled, "d" disabled, "x" enabled but past its expiry.
void AddUsers(TUserList& list, const std::string& states) {
    for (size_t i = 0; i < states.size(); ++i) {
        TUserProp& user = list.Add("u" + std::to_string(i), "pw" + std::to_string(i));
        user.Disable = states[i] == 'd';
        user.Expire = states[i] == 'x';
        user.ExpireDate = 1.0; // long past
    }
}

std::string ToHex(const std::string& bytes) {
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += "0123456789abcdef"[c >> 4];
        hex += "0123456789abcdef"[c & 15];
    }
    return hex;
}

struct TRecorder {
    std::vector<TExportEvent> Events;
    std::vector<TExportResult> Done;
    void Attach(TExportJob& job) {
        job.OnEvent = [this](const TExportEvent& event) { Events.push_back(event); };
        job.OnDone = [this](const TExportResult& result) { Done.push_back(result); };
    }
};

// Plain text to the local file `file`.
TExportSettings PlainTo(const std::string& file) {
    TExportSettings settings;
    settings.PassType = TPasswordsType::ptPlainText;
    settings.Targets = {{FileTarget(file), {}}};
    return settings;
}

// An MD5 export of `list`, saved as `db`, to the local file `file`, run to its end.
TExportResult ExportMd5(TUserList& list, const std::string& db, const std::string& file) {
    TExportSettings settings = PlainTo(file);
    settings.PassType = TPasswordsType::ptMD5;
    settings.DatabasePath = db;
    TExportJob job(list, settings);
    job.Start();
    job.Wait();
    return job.Result();
}

// Plain text to the list's server (its remote file, or `remote`).
TExportSettings PlainToServer(const TUserList& list, const std::string& secret,
                              const std::string& remote = {}) {
    TExportSettings settings;
    settings.PassType = TPasswordsType::ptPlainText;
    TTargetSettings target = FirstTarget(list);
    target.ExportToFile = false;
    if (!remote.empty()) target.FtpPasswdFile = remote;
    settings.Targets = {{target, secret}};
    return settings;
}

} // namespace

TEST(ExportJob, ResultCountsWrittenDisabledAndExpired) {
    struct TCase {
        std::string States;
        size_t Written, Disabled, Expired;
        std::string Signature;
    };
    // One sentence for each combination of what was left out, and for one user or several.
    const TCase cases[] = {
        {"eee", 3, 0, 0, "ResultWritten(3, F)"},
        {"e", 1, 0, 0, "ResultWrittenOne(F)"},
        {"edx", 1, 1, 1, "ResultWrittenOneDisabledExpired(F, 1, 1)"},
        {"eeddx", 2, 2, 1, "ResultWrittenDisabledExpired(2, F, 2, 1)"},
        {"eddd", 1, 3, 0, "ResultWrittenOneDisabled(F, 3)"},
        {"eed", 2, 1, 0, "ResultWrittenDisabled(2, F, 1)"},
        {"xxe", 1, 0, 2, "ResultWrittenOneExpired(F, 2)"},
        {"xee", 2, 0, 1, "ResultWrittenExpired(2, F, 1)"},
        {"", 0, 0, 0, "ResultWritten(0, F)"},
    };
    for (const TCase& c : cases) {
        TTempDir dir;
        TUserList list;
        AddUsers(list, c.States);
        TExportJob job(list, PlainTo(dir.File("htpasswd")));
        TRecorder rec;
        rec.Attach(job);
        job.Start();
        ASSERT_EQ(rec.Done.size(), 1u) << c.States;
        TExportResult result = rec.Done[0];
        EXPECT_TRUE(result.Done) << c.States;
        EXPECT_EQ(result.Written, c.Written) << c.States;
        EXPECT_EQ(result.Disabled, c.Disabled) << c.States;
        EXPECT_EQ(result.Expired, c.Expired) << c.States;
        const std::string file = ReadWholeFile(dir.File("htpasswd"));
        EXPECT_EQ(static_cast<size_t>(std::count(file.begin(), file.end(), '\n')), c.Written);
        result.Target = "F";
        EXPECT_EQ(Signature(ExportResultMessage(result)), c.Signature);
        // The sweep ran once: the expired users stay disabled in the list.
        for (int i = 0; i < list.Count(); ++i)
            EXPECT_EQ(list.Users(i).Disable, c.States[static_cast<size_t>(i)] != 'e');
    }
}

// Users still on a weak hash: the result sentence, then the first line of the weak-hash report.
TEST(ExportJob, ResultNamesTheUsersStillOnWeakHashes) {
    TUserList list;
    list.Add("amy", "").SetPasswordHash("{SHA}Ic5o83sXgQ4ET+PvVlWA+X1NfNc=");
    TExportResult result;
    result.Target = "F";
    result.Written = 1;
    result.WeakUsers = {&list.Users(0)};
    const TMessage message = ExportResultMessage(result);
    ASSERT_TRUE(message.Is(texts::ResultWithWeakHashes)) << Signature(message);
    EXPECT_EQ(Signature(message.Parts[0].Items[0]), "ResultWrittenOne(F)");
    const std::string weak = WeakHashReport(result.WeakUsers);
    EXPECT_EQ(EnglishText(message.Parts[1].Items[0]), weak.substr(0, weak.find('\n')));
}

TEST(ExportJob, SweepByTheOwnerCountsOnceAndStartDoesNotSweepAgain) {
    TUserList list;
    AddUsers(list, "xxe");
    std::ostringstream out;
    TExportSettings settings;
    settings.PassType = TPasswordsType::ptPlainText;
    settings.Stream = &out;
    TExportJob job(list, settings);
    EXPECT_EQ(job.Sweep(), 2);
    EXPECT_EQ(job.Sweep(), 0);
    job.Start();
    EXPECT_EQ(job.Result().Expired, 2u);
    EXPECT_EQ(out.str(), "u2:pw2\r\n");
}

TEST(ExportJob, BuildEventsEveryHundredEntriesAndAbortWritesNothing) {
    struct TCase {
        int Users;
        size_t AbortAtEvent; // SIZE_MAX: never
        std::vector<int> Percents;
        bool Written;
    };
    const TCase cases[] = {
        {250, SIZE_MAX, {0, 40, 80}, true}, {250, 1, {0, 40}, false}, {250, 0, {0}, false},
        {99, SIZE_MAX, {0}, true},          {0, SIZE_MAX, {}, true},
    };
    for (const TCase& c : cases) {
        TTempDir dir;
        WriteWholeFile(dir.File("htpasswd"), "old\r\n");
        TUserList list;
        AddUsers(list, std::string(static_cast<size_t>(c.Users), 'e'));
        TExportJob job(list, PlainTo(dir.File("htpasswd")));
        TRecorder rec;
        rec.Attach(job);
        job.OnEvent = [&](const TExportEvent& event) {
            rec.Events.push_back(event);
            if (rec.Events.size() > c.AbortAtEvent) job.Abort();
        };
        job.Start();
        std::vector<int> percents;
        for (const TExportEvent& event : rec.Events) {
            EXPECT_EQ(event.Stage, TExportStage::Building);
            EXPECT_EQ(event.EntriesTotal, static_cast<size_t>(c.Users));
            percents.push_back(ExportProgressPercent(event).value_or(-1));
        }
        EXPECT_EQ(percents, c.Percents) << c.Users << " " << c.AbortAtEvent;
        ASSERT_EQ(rec.Done.size(), 1u);
        EXPECT_EQ(rec.Done[0].Done, c.Written);
        EXPECT_EQ(rec.Done[0].Aborted, !c.Written);
        EXPECT_EQ(ReadWholeFile(dir.File("htpasswd")) == "old\r\n", !c.Written);
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"htpasswd"}) << "no temporary left";
    }
}

TEST(ExportJob, EventTexts) {
    struct TCase {
        TExportEvent Event;
        std::string Signature;
        std::optional<int> Percent;
    };
    TExportEvent building, connecting, uploading;
    building.EntriesDone = 300;
    building.EntriesTotal = 1000;
    connecting.Stage = TExportStage::Connecting;
    connecting.Server = "ftp.example:2121";
    uploading.Stage = TExportStage::Uploading;
    uploading.Remote = "/www/.htpasswd";
    uploading.BytesSent = 999;
    uploading.BytesTotal = 1000;
    const TCase cases[] = {
        {building, "ExportBuilding(30)", 30},
        {connecting, "Connecting(ftp.example:2121)", std::nullopt},
        {uploading, "Uploading(/www/.htpasswd, 99)", 99},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(Signature(ExportProgressMessage(c.Event)), c.Signature);
        EXPECT_EQ(ExportProgressPercent(c.Event), c.Percent) << c.Signature;
    }
}

TEST(ExportJob, EmptyPasswordsStopUntilAllowedThenTheSameJobWrites) {
    TTempDir dir;
    TUserList list;
    list.Add("nopass", "");
    TExportJob job(list, PlainTo(dir.File("htpasswd")));
    EXPECT_THROW(job.Start(), EEmptyPasswords);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
    job.Settings().Build.AllowEmptyPasswords = true;
    job.Start();
    EXPECT_EQ(ReadWholeFile(dir.File("htpasswd")), "nopass:\r\n");
}

TEST(ExportJobUpload, EventsInOrderFileArrivesTempFileGoes) {
    struct TCase {
        std::string Password;
        bool Done;
    };
    for (const TCase& c : {TCase{ftptest::kPassword, true}, TCase{"wrong", false}}) {
        TFtpServer server;
        TUserList list;
        AddUsers(list, "edx");
        First(list)->FtpHost = server.Host();
        First(list)->FtpUser = ftptest::kUser;
        First(list)->FtpPasswdFile = "htpasswd";
        First(list)->FtpPassiveMode = true;
        TExportSettings settings = PlainToServer(list, c.Password);
        TExportJob job(list, settings);
        TRecorder rec;
        std::vector<std::string> errors;
        rec.Attach(job);
        job.OnError = [&](const TMessage& message) { errors.push_back(Signature(message)); };
        job.Start();
        const std::string temp = job.TempFile();
        EXPECT_FALSE(temp.empty());
        job.Wait();
        ASSERT_EQ(rec.Done.size(), 1u);
        const TExportResult& result = rec.Done[0];
        EXPECT_EQ(result.Done, c.Done);
        EXPECT_EQ(errors.size(), c.Done ? 0u : 1u);
        EXPECT_EQ(result.Error.Empty(), c.Done);
        if (!c.Done) {
            EXPECT_EQ(errors, std::vector<std::string>{Signature(result.Error)})
                << "the result keeps the error the job reported";
        }
        EXPECT_EQ(result.Written, 1u);
        EXPECT_EQ(result.Expired, 1u);
        EXPECT_FALSE(fs::exists(temp)) << "the temporary file is removed either way";
        std::vector<TExportStage> stages;
        for (const TExportEvent& event : rec.Events)
            if (stages.empty() || stages.back() != event.Stage) stages.push_back(event.Stage);
        const std::vector<TExportStage> expected =
            c.Done ? std::vector{TExportStage::Building, TExportStage::Connecting,
                                 TExportStage::Uploading}
                   : std::vector{TExportStage::Building, TExportStage::Connecting};
        EXPECT_EQ(stages, expected);
        if (c.Done) {
            EXPECT_EQ(ExportProgressPercent(rec.Events.back()), 100);
            const std::string uploaded = ReadWholeFile(server.Root() / "htpasswd");
            EXPECT_TRUE(uploaded == "u0:pw0\n" || uploaded == "u0:pw0\r\n") << uploaded;
        }
    }
}

// The file an upload of an encrypted database sends is never on a disk: the temporary folder
// stays empty while it is sent, and what arrives is the password file all the same.
TEST(ExportJobUpload, AnEncryptedDatabaseUploadsFromMemory) {
    test_hooks::SetDefaultKdfParams({1, 8192});
    TFtpServer server; // its folder is not the temporary folder of the export
    TTempDir tmp;
    const TScopedEnv tmpdir("TMPDIR", tmp.Path().string());
    TUserList list;
    AddUsers(list, "ee");
    list.SetEncryption(
        TDatabaseKey::Create(TMasterCredentials{TSecret(std::string_view("master")), {}}));
    First(list)->FtpHost = server.Host();
    First(list)->FtpUser = ftptest::kUser;
    First(list)->FtpPasswdFile = "htpasswd";
    TExportSettings settings = PlainToServer(list, ftptest::kPassword);
    TExportJob job(list, settings);
    TRecorder rec;
    rec.Attach(job);
    job.Start();
    EXPECT_EQ(job.TempFile().rfind("/proc/self/fd/", 0), 0u) << job.TempFile();
    EXPECT_EQ(tmp.Entries(), std::vector<std::string>{});
    job.Wait();
    test_hooks::SetDefaultKdfParams({});
    ASSERT_EQ(rec.Done.size(), 1u);
    EXPECT_TRUE(rec.Done[0].Done) << EnglishText(rec.Done[0].Error);
    EXPECT_EQ(tmp.Entries(), std::vector<std::string>{});
    const std::string uploaded = ReadWholeFile(server.Root() / "htpasswd");
    EXPECT_TRUE(uploaded == "u0:pw0\r\nu1:pw1\r\n" || uploaded == "u0:pw0\nu1:pw1\n") << uploaded;
}

TEST(ExportJobUpload, MissingServerSettingsFailBeforeAnything) {
    struct TCase {
        std::string Host, Remote, Error;
    };
    const TCase cases[] = {
        {"", "htpasswd", "NoFtpServer()"},
        {"127.0.0.1:1", "", "NoServerPasswordFile()"},
    };
    for (const TCase& c : cases) {
        TUserList list;
        AddUsers(list, "e");
        First(list)->FtpHost = c.Host;
        First(list)->FtpPasswdFile = c.Remote;
        TExportJob job(list, PlainToServer(list, {}));
        TRecorder rec;
        rec.Attach(job);
        try {
            job.Start();
            ADD_FAILURE() << "no error for " << c.Error;
        } catch (const EQuorvaneError& e) {
            EXPECT_EQ(Signature(e.Message()), c.Error);
        }
        EXPECT_TRUE(rec.Events.empty());
        EXPECT_TRUE(job.TempFile().empty());
    }
}

namespace {

// A loopback server that takes uploads slowly, and how a database reaches it.
struct TSlowSite {
    std::shared_ptr<void> Server;
    fs::path Folder;    // where the remote file lies on this machine
    std::string Remote; // its name for the server
    std::function<void(TUserList&)> Fill;
};

TSlowSite SlowSite(TTransferProtocol protocol, bool openSsh = false) {
    TSlowSite site;
    if (protocol == TTransferProtocol::Ftp) {
        auto server = std::make_shared<TFtpServer>(std::vector<std::string>{"--throttle", "50000"});
        site = {server, server->Root(), "htpasswd", [host = server->Host()](TUserList& list) {
                    First(list)->FtpHost = host;
                    First(list)->FtpUser = kUser;
                    First(list)->FtpPass = kPassword;
                }};
    } else if (protocol != TTransferProtocol::Sftp) {
        auto server = std::make_shared<transporttest::TVsftpd>(
            protocol == TTransferProtocol::FtpImplicitTls, 50000);
        site = {server, server->Root(), "pub/htpasswd",
                [host = server->Host(), pin = server->Pin()](TUserList& list) {
                    First(list)->FtpHost = host;
                    First(list)->FtpUser = "anonymous";
                    First(list)->FtpPass = "quorvane@example.org";
                    First(list)->FtpTlsPin = pin;
                }};
    } else if (openSsh) {
        auto server = std::make_shared<transporttest::TSshd>(false, 50000);
        site = {server, server->Root(), (server->Root() / "htpasswd").string(),
                [server](TUserList& list) {
                    First(list)->FtpHost = server->Host();
                    First(list)->FtpUser = server->User();
                    First(list)->FtpKeyFile = server->Key("user").string();
                    First(list)->FtpHostKeys = server->Fingerprint();
                }};
    } else {
        auto server = std::make_shared<transporttest::TAsyncSftp>(
            std::vector<std::string>{"--throttle", "50000"});
        site = {server, server->Root(), "htpasswd", [server](TUserList& list) {
                    First(list)->FtpHost = server->Host();
                    First(list)->FtpUser = transporttest::TAsyncSftp::kUser;
                    First(list)->FtpPass = transporttest::TAsyncSftp::kPassword;
                    First(list)->FtpHostKeys = server->Fingerprint();
                }};
    }
    return site;
}

} // namespace

// Abort while the file travels, on every transport: the transfer stops at once, the server's
// file stays as it was, the partial upload is removed, and the result says aborted, not failed.
TEST(ExportJobUpload, AbortDuringTheTransferLeavesTheServersFileAsItWas) {
    const struct {
        const char* What;
        TTransferProtocol Protocol;
        bool OpenSsh = false;
    } cases[] = {
        {"FTP", TTransferProtocol::Ftp},
        {"FTP over TLS", TTransferProtocol::FtpExplicitTls},
        {"FTP over implicit TLS", TTransferProtocol::FtpImplicitTls},
        {"SFTP, asyncssh", TTransferProtocol::Sftp},
        {"SFTP, OpenSSH", TTransferProtocol::Sftp, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const char* binary =
            c.OpenSsh ? transporttest::TSshd::kBinary
            : c.Protocol == TTransferProtocol::Ftp || c.Protocol == TTransferProtocol::Sftp
                ? "/usr/bin/python3"
                : transporttest::TVsftpd::kBinary;
        if (!transporttest::Executable(binary))
            GTEST_SKIP() << binary << " is not installed (scripts/deps.sh installs it)";
        const TSlowSite site = SlowSite(c.Protocol, c.OpenSsh);
        const fs::path target = site.Folder / "htpasswd";
        WriteWholeFile(target, "old:content\r\n");
        TUserList list;
        for (int i = 0; i < 20000; ++i)
            list.Add("user" + std::to_string(i), "password of user " + std::to_string(i));
        First(list)->ExportToFile = false;
        First(list)->FtpProtocol = ProtocolStoredName(c.Protocol);
        First(list)->FtpPassiveMode = true;
        site.Fill(list);
        TExportSettings settings = PlainToServer(
            list, First(list)->FtpKeyFile.empty() ? First(list)->FtpPass : "", site.Remote);
        settings.Timeout = 10000;
        // The site's file holds a user of its own: replaced all the same, had it come to that.
        settings.Replace.Outside = TOutsideChanges::Overwrite;
        TExportJob job(list, settings);
        std::atomic<bool> sending{false};
        job.OnEvent = [&](const TExportEvent& event) {
            if (event.Stage == TExportStage::Uploading && event.BytesSent > 0) sending = true;
        };
        std::vector<TExportResult> done;
        job.OnDone = [&](const TExportResult& result) { done.push_back(result); };
        job.Start();
        while (!sending && !job.Wait(std::chrono::milliseconds(10))) {
        }
        ASSERT_TRUE(sending) << EnglishText(job.Result().Error);
        // Building the file and reading the site's took their time; the abort is heard at once.
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(job.Abort()) << "in time: the file was still on its way";
        EXPECT_TRUE(job.Wait(std::chrono::seconds(20))) << "the transfer stops";
        job.Wait();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
        ASSERT_EQ(done.size(), 1u);
        EXPECT_TRUE(done[0].Aborted);
        EXPECT_FALSE(done[0].Done);
        EXPECT_TRUE(done[0].Error.Empty()) << "an abort is not a failure";
        EXPECT_TRUE(done[0].Warnings.empty()) << testing::PrintToString(done[0].Warnings);
        EXPECT_EQ(ReadWholeFile(target), "old:content\r\n");
        EXPECT_FALSE(fs::exists(site.Folder / "htpasswd_safeupload"));
    }
}

// An export ended between the replacement and its record (kill -9) leaves the target holding
// the database's own new content, and the state the record of the content before. What it was
// about to write was recorded first: the next export takes it for its own, not for a change
// made there; a change made there after it still stops the export.
TEST(ExportJob, WhatAKilledExportWroteIsNotAChangeMadeThere) {
    const struct {
        bool Pending;        // the record of what was about to be written is there
        const char* HandAdd; // a line added there afterwards
        bool Stops;
        std::vector<std::string> NamedThere;
    } cases[] = {
        {true, "", false, {}},
        {true, "dave:{PLAIN}d\n", true, {"dave"}},
        // Without it (a run of an earlier version was ended): the lines the users' current
        // passwords verify are the database's own all the same.
        {false, "", false, {}},
        {false, "dave:{PLAIN}d\n", true, {"dave"}},
    };
    for (const auto& c : cases) {
        TTempDir dir;
        const std::string db = dir.File("users.udx"), file = dir.File("htpasswd");
        TUserList list;
        AddUsers(list, "ee");
        list.SaveToFile(db);
        ASSERT_TRUE(ExportMd5(list, db, file).Done);
        const TDatabaseState state(db);
        const TDatabaseStateData before = state.Load();
        list.Users(0).SetPassword("new");
        list.Add("carl", "c1");
        ASSERT_TRUE(ExportMd5(list, db, file).Done);
        // The state as the kill left it.
        TDatabaseStateData killed = before;
        if (c.Pending)
            killed.Pending = {{TLocalFileTarget(file).Id(), RecordOf(ReadWholeFile(file))}};
        ASSERT_TRUE(state.Update([&](TDatabaseStateData& data) { data = killed; }));
        WriteWholeFile(file, ReadWholeFile(file) + c.HandAdd);

        const TExportResult result = ExportMd5(list, db, file);
        EXPECT_EQ(result.Stopped, c.Stops) << c.HandAdd;
        std::vector<std::string> named;
        if (result.Check)
            for (const TUserChange& change : result.Check->Outside.List)
                named.push_back(change.Login);
        std::sort(named.begin(), named.end());
        std::vector<std::string> expected = c.NamedThere;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(named, expected) << c.HandAdd;
        // Settled once the export recorded what it wrote.
        if (!c.Stops) {
            EXPECT_TRUE(state.Load().Pending.empty());
        }
    }
}

// What an export is about to write is noted in the state before the target is replaced: the
// state a kill right after the replacement leaves (copied by the command after the export)
// holds the record of the new file, and the next export takes that file for the database's
// own even once a password it changed there changed again here; a line added there after it
// still stops that export.
TEST(ExportJob, AKillAfterTheReplacementLeavesANoteTheNextExportHonours) {
    const struct {
        const char* HandAdd;
        bool Stops;
    } cases[] = {{"", false}, {"dave:{PLAIN}d\n", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.HandAdd);
        TTempDir dir;
        const std::string db = dir.File("users.udx"), file = dir.File("htpasswd");
        const std::string statePath = TDatabaseState::PathFor(db), copy = dir.File("as-killed");
        TUserList list;
        AddUsers(list, "eee");
        list.SaveToFile(db);
        ASSERT_TRUE(ExportMd5(list, db, file).Done);
        list.Users(0).SetPassword("new");
        list.Add("carl", "c1");
        list.Remove(&list.Users(1));
        TExportSettings settings = PlainTo(file);
        settings.PassType = TPasswordsType::ptMD5;
        settings.DatabasePath = db;
        TTarget target = settings.Targets.front().Target;
        target.SetOption("after", "cp " + ShellQuote(statePath) + " " + ShellQuote(copy));
        settings.Targets.front().Target = target;
        {
            TExportJob job(list, settings);
            job.Start();
            job.Wait();
            ASSERT_TRUE(job.Result().Done) << EnglishText(job.Result().Error);
        }
        // The kill: the state as it was right after the replacement.
        WriteWholeFile(statePath, ReadWholeFile(copy));
        const TDatabaseStateData killed = TDatabaseState(db).Load();
        const std::string id = TLocalFileTarget(file).Id();
        const TTargetRecord written = RecordOf(ReadWholeFile(file));
        ASSERT_EQ(killed.Pending.count(id), 1u);
        EXPECT_EQ(killed.Pending.at(id).Sha256, written.Sha256);
        EXPECT_EQ(killed.Pending.at(id).Size, written.Size);
        EXPECT_TRUE(killed.Pending.at(id).Users == written.Users);
        ASSERT_NE(killed.Targets.at(id).Sha256, written.Sha256);

        list.Users(0).SetPassword("newer");
        WriteWholeFile(file, ReadWholeFile(file) + c.HandAdd);
        const TExportResult result = ExportMd5(list, db, file);
        EXPECT_EQ(result.Stopped, c.Stops);
        EXPECT_EQ(result.Done, !c.Stops);
        if (!c.Stops) {
            const TDatabaseStateData after = TDatabaseState(db).Load();
            EXPECT_TRUE(after.Pending.empty());
            EXPECT_EQ(after.Targets.at(id).Sha256, Sha256Hex(ReadWholeFile(file)));
        }
    }
}

// An MD5 user whose password did not change keeps its hash by its keyed tag, not hashed again;
// a remembered hash without a tag that checks (an earlier version's state, read once and written
// anew; another account's key) is confirmed by hashing it again. An export that changes nothing
// writes no state, and the state never holds the key of its tags.
TEST(ExportJob, UnchangedMd5UsersAreConfirmedByTheirTags) {
    TTempDir dir, otherAccount;
    const std::string db = dir.File("users.udx"), file = dir.File("htpasswd");
    const std::string statePath = TDatabaseState::PathFor(db);
    TUserList list;
    AddUsers(list, "eeee");
    list.SaveToFile(db);
    const TScopedEnv stateHome("XDG_STATE_HOME", std::getenv("XDG_STATE_HOME"));
    // Which file the state is, and when it was written.
    const auto stamp = [&] {
        struct stat st {};
        if (::stat(statePath.c_str(), &st) != 0) return std::string();
        return std::to_string(st.st_ino) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
               std::to_string(st.st_mtim.tv_nsec);
    };
    // The state as an earlier version wrote it: its text, the target's record and the hashes
    // without tags.
    const auto earlierState = [&] {
        const std::string content = ReadWholeFile(file);
        const TTargetRecord record = RecordOf(content);
        std::string text = "quorvane state 1\ntarget " + ToHex(TLocalFileTarget(file).Id()) + " " +
                           record.Sha256 + " " + std::to_string(record.Size) + " 1\n";
        std::string hashes;
        for (const TSiteUser& user : ParseSiteFile(content).Users) {
            char digest[17];
            std::snprintf(digest, sizeof digest, "%016llx",
                          static_cast<unsigned long long>(UserValueDigest(user.Value)));
            text += std::string("user ") + digest + " " + ToHex(user.Login) + "\n";
            hashes += "hash - " + user.Value + " " + ToHex(user.Login) + "\n";
        }
        WriteWholeFile(statePath, text + hashes);
    };
    const struct {
        const char* Name;
        std::function<void()> Before;
        std::size_t Reused, Rehashed, Hashed;
        bool StateWritten;
    } steps[] = {
        {"the first export", [] {}, 0, 0, 4, true},
        {"nothing changed", [] {}, 4, 0, 0, false},
        // Its tag no longer checks: hashed again with its salt, then with a fresh one.
        {"one password changed", [&] { list.Users(1).SetPassword("new"); }, 3, 1, 1, true},
        {"an earlier version's state", earlierState, 4, 4, 0, true},
        {"the state it was written to", [] {}, 4, 0, 0, false},
        {"another account's key", [&] { stateHome.Set(otherAccount.Path().c_str()); }, 4, 4, 0,
         true},
        {"that account again", [] {}, 4, 0, 0, false},
        // A file with namesakes is built every time (its build is not kept): built again with
        // the same hashes, it leaves the state alone all the same.
        {"a namesake added", [&] { list.Add("U0", "pw-upper"); }, 3, 0, 1, true},
        {"nothing changed, built again", [] {}, 4, 0, 0, false},
    };
    std::string written;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.Name);
        step.Before();
        const std::string before = stamp();
        const TExportResult result = ExportMd5(list, db, file);
        ASSERT_TRUE(result.Done);
        EXPECT_EQ(result.Stats.Reused, step.Reused);
        EXPECT_EQ(result.Stats.Rehashed, step.Rehashed);
        EXPECT_EQ(result.Stats.Hashed, step.Hashed);
        EXPECT_EQ(stamp() != before, step.StateWritten);
        // A user whose hash was kept has the same line.
        const std::string now = ReadWholeFile(file);
        if (step.Hashed == 0 && !written.empty()) {
            EXPECT_EQ(now, written);
        }
        written = now;
        const std::string key = FastFormTagKey();
        ASSERT_EQ(key.size(), 64u);
        std::string binaryKey;
        for (std::size_t i = 0; i < key.size(); i += 2)
            binaryKey += static_cast<char>(std::stoi(key.substr(i, 2), nullptr, 16));
        const std::string state = ReadWholeFile(statePath);
        EXPECT_EQ(state.find(key), std::string::npos);
        EXPECT_EQ(state.find(binaryKey), std::string::npos);
    }
}

// A state that cannot be written is said once in the result, not passed over.
TEST(ExportJob, AStateThatCannotBeKeptIsSaidOnce) {
    for (const bool blocked : {false, true}) {
        TTempDir dir;
        const std::string db = dir.File("users.udx"), file = dir.File("htpasswd");
        TUserList list;
        AddUsers(list, "ee");
        list.SaveToFile(db);
        // A folder where the state goes cannot be replaced by it.
        if (blocked) fs::create_directory(TDatabaseState::PathFor(db));
        const TExportResult result = ExportMd5(list, db, file);
        EXPECT_TRUE(result.Done);
        std::size_t said = 0;
        for (const TMessage& warning : result.Warnings)
            said += warning.Is(texts::StateNotKept) ? 1 : 0;
        EXPECT_EQ(said, blocked ? 1U : 0U);
    }
}
