// The export as the desktop starts it (StartAsync): what stops it is raised on the caller's
// thread before anything runs; the file is built on a thread of its own; progress and the one
// end come on the owner's thread for every kind of target; an abort during the build, or the
// job's end, writes nothing. The owner's thread is this test's, serving a queue as a window's
// event loop would; the peers are a loopback FTP server (started once) and SQLite stores.

#include "job/ExportJob.h"

#include "FtpTestServer.h"
#include "QueuedDispatcher.h"
#include "ScopedEnv.h"
#include "TestUtil.h"
#include "export/PasswordFile.h"
#include "sitedb/UserStore.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace quorvane;
using namespace std::chrono_literals;
using testsupport::TQueuedDispatcher;
namespace fs = std::filesystem;

namespace {

ftptest::TFtpServer& FtpServer() {
    static ftptest::TFtpServer server; // once for the program
    return server;
}

TTargetSettings FtpTarget(const std::string& remote) {
    TTargetSettings target;
    target.Name = "web";
    target.ExportToFile = false;
    target.FtpHost = FtpServer().Host();
    target.FtpUser = ftptest::kUser;
    target.FtpPasswdFile = remote;
    target.FtpPassiveMode = true;
    return target;
}

TTargetSettings StoreTarget(const std::string& database) {
    TTargetSettings target;
    target.Name = "store";
    target.ExportToFile = false;
    target.StoreUrl = "sqlite:" + database;
    target.StoreOwner = "site";
    return target;
}

std::vector<std::string> StoreLogins(const std::string& database) {
    TStoreSettings settings = *ParseStoreUrl("sqlite:" + database);
    settings.Owner = "site";
    std::vector<std::string> logins;
    for (const TStoredUser& user : OpenUserStore(settings)->Read())
        logins.push_back(user.Login);
    return logins;
}

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

void AddUsers(TUserList& list, int count) {
    for (int i = 0; i < count; ++i)
        list.Add("user" + std::to_string(i), "pw" + std::to_string(i));
}

// A case's folders (its targets', and TMPDIR for its export's temporary files) and a name of its
// own on the FTP server, which starts first so that its own folder is not in the temporary one.
struct TCaseFolders {
    ftptest::TFtpServer& Server = FtpServer();
    TTempDir Dir, Tmp;
    const TScopedEnv TmpDir{"TMPDIR", Tmp.Path().string()};
    const std::string Remote = Dir.Path().filename().string();
};

// The owner's thread: its queue, what reached it, and whether any of it came on another thread.
struct TOwnerSide {
    std::shared_ptr<TQueuedDispatcher> Queue = std::make_shared<TQueuedDispatcher>();
    std::thread::id Owner = std::this_thread::get_id();
    bool OffThread = false;
    std::vector<TExportEvent> Events;
    std::vector<std::string> Errors;
    std::vector<TExportResult> Done;

    // A job whose calls come to this owner.
    std::unique_ptr<TExportJob> Job(TUserList& list, const TExportSettings& settings) {
        auto job = std::make_unique<TExportJob>(list, settings, Queue);
        job->OnEvent = [this](const TExportEvent& event) { Keep(Events, event); };
        job->OnError = [this](const TMessage& message) { Keep(Errors, EnglishText(message)); };
        job->OnDone = [this](const TExportResult& result) { Keep(Done, result); };
        return job;
    }
    // Keeps what came, and notes whether it came on another thread.
    template <class T> void Keep(std::vector<T>& into, T value) {
        OffThread = OffThread || std::this_thread::get_id() != Owner;
        into.push_back(std::move(value));
    }
    // Serves the queue for a while, as a window's event loop would.
    void Serve() {
        Queue->ProcessUntil([] { return false; }, 200ms);
    }

    // Serves the queue until the end has come, a little longer (a second end would come
    // meanwhile), and until the job has let go; whether exactly one end came.
    bool EndsOnce(TExportJob& job) {
        if (!Queue->ProcessUntil([&] { return !Done.empty(); }, 60s)) return false;
        Serve();
        job.Wait();
        return Done.size() == 1;
    }
};

} // namespace

// Whatever the targets, the job's calls come on the owner's thread, the end once and never
// within StartAsync, and the targets hold the new file.
TEST(ExportJobAsync, EveryKindOfTargetEndsOnceOnTheOwnersThread) {
    enum class TTargetsOf { File, Upload, Store, Several };
    const struct {
        const char* Name;
        TTargetsOf Kind;
    } cases[] = {
        {"a local file", TTargetsOf::File},
        {"an upload", TTargetsOf::Upload},
        {"an SQLite store", TTargetsOf::Store},
        {"a local file and an upload", TTargetsOf::Several},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TCaseFolders at;
        TUserList list;
        AddUsers(list, 250);
        TExportSettings settings;
        settings.PassType = TPasswordsType::ptMD5;
        switch (c.Kind) {
        case TTargetsOf::File:
            settings.Targets = {{FileTarget(at.Dir.File("htpasswd")), {}}};
            break;
        case TTargetsOf::Upload:
            settings.Targets = {{FtpTarget(at.Remote), ftptest::kPassword}};
            break;
        case TTargetsOf::Store:
            settings.Targets = {{StoreTarget(at.Dir.File("auth.db")), {}}};
            break;
        case TTargetsOf::Several:
            settings.Targets = {{FileTarget(at.Dir.File("htpasswd")), {}},
                                {FtpTarget(at.Remote), ftptest::kPassword}};
            settings.PerTarget = true;
            break;
        }
        TOwnerSide side;
        const auto job = side.Job(list, settings);
        job->StartAsync();
        EXPECT_TRUE(side.Done.empty()) << "the end never comes within the start";
        ASSERT_TRUE(side.EndsOnce(*job));
        EXPECT_FALSE(side.OffThread);
        const TExportResult& result = side.Done[0];
        std::string why = EnglishText(result.Error);
        for (const TTargetOutcome& outcome : result.Outcomes)
            why += "\n" + EnglishText(TargetOutcomeMessage(outcome));
        EXPECT_TRUE(result.Done) << why;
        EXPECT_TRUE(side.Errors.empty()) << side.Errors.front();
        EXPECT_FALSE(job->Building());
        ASSERT_FALSE(side.Events.empty());
        EXPECT_EQ(side.Events.front().Stage, TExportStage::Building);
        if (c.Kind == TTargetsOf::File || c.Kind == TTargetsOf::Several) {
            EXPECT_EQ(Lines(ReadWholeFile(at.Dir.File("htpasswd"))), 250u);
        }
        if (c.Kind == TTargetsOf::Upload || c.Kind == TTargetsOf::Several) {
            EXPECT_EQ(Lines(ReadWholeFile(at.Server.Root() / at.Remote)), 250u);
        }
        if (c.Kind == TTargetsOf::Store) {
            EXPECT_EQ(StoreLogins(at.Dir.File("auth.db")).size(), 250u);
        }
        EXPECT_EQ(at.Tmp.Entries(), std::vector<std::string>{}) << "the upload's copy is gone";
    }
}

// Stopped while the file is built (Abort at the first progress the owner sees, or the job
// destroyed, as a dialog destroyed in the middle destroys it): nothing is written or sent, no
// temporary file is left, and the end (after an abort) comes once.
TEST(ExportJobAsync, AbortOrTheJobsEndDuringTheBuildWritesNothing) {
    const struct {
        const char* Name;
        bool Upload;
        bool Destroy; // else Abort
    } cases[] = {
        {"abort, local file", false, false},
        {"abort, upload", true, false},
        {"job destroyed, local file", false, true},
        {"job destroyed, upload", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TCaseFolders at;
        WriteWholeFile(at.Dir.File("htpasswd"), "old\n");
        TUserList list;
        AddUsers(list, 5000); // seconds of bcrypt on one thread; the abort comes in the first 100
        TExportSettings settings;
        settings.PassType = TPasswordsType::ptBcrypt;
        settings.Build.SchemeParam = 4;
        settings.Build.Threads = 1;
        settings.Targets = {c.Upload ? TDeployTarget(FtpTarget(at.Remote), ftptest::kPassword)
                                     : TDeployTarget(FileTarget(at.Dir.File("htpasswd")), {})};
        TOwnerSide side;
        auto job = side.Job(list, settings);
        job->StartAsync();
        ASSERT_TRUE(side.Queue->ProcessUntil([&] { return !side.Events.empty(); }, 60s));
        EXPECT_TRUE(job->Building());
        if (c.Destroy) {
            job.reset();
        } else {
            EXPECT_TRUE(job->Abort());
            ASSERT_TRUE(side.EndsOnce(*job));
            EXPECT_TRUE(side.Done[0].Aborted);
            EXPECT_FALSE(side.Done[0].Done);
        }
        side.Serve();
        if (c.Destroy) {
            EXPECT_TRUE(side.Done.empty()) << "nothing reaches an owner that has gone";
        }
        EXPECT_FALSE(side.OffThread);
        EXPECT_LT(side.Events.back().EntriesDone, 5000u);
        EXPECT_EQ(ReadWholeFile(at.Dir.File("htpasswd")), "old\n");
        EXPECT_EQ(at.Dir.Entries(), std::vector<std::string>{"htpasswd"});
        EXPECT_EQ(at.Tmp.Entries(), std::vector<std::string>{});
        EXPECT_EQ(at.Server.Commands().find(at.Remote), std::string::npos) << "nothing was sent";
    }
}

// The checks raise on the caller's thread, every file's (a second target's own form too), with
// nothing started: no event, no end, nothing written. The same job goes once the cause is
// answered (an empty password allowed).
TEST(ExportJobAsync, ChecksRaiseOnTheCallersThreadBeforeAnythingRuns) {
    enum class TCause { EmptyPassword, UnsafeLogin, NoFile, SecondTargetsForm };
    const struct {
        const char* Name;
        TCause Cause;
        const char* Said; // a part of the message
    } cases[] = {
        {"an enabled user without a password", TCause::EmptyPassword, "without a password: nopass"},
        {"a login with a colon", TCause::UnsafeLogin, "a:b"},
        {"a target that names no file", TCause::NoFile, "names no password file"},
        {"a second target's form without its realm", TCause::SecondTargetsForm, "realm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        TUserList list;
        list.PassType = TPasswordsType::ptPlainText;
        list.Add("ann", "a1");
        if (c.Cause == TCause::EmptyPassword) list.Add("nopass", "");
        if (c.Cause == TCause::UnsafeLogin) list.Add("a:b", "x");
        TExportSettings settings;
        settings.PassType = TPasswordsType::ptPlainText;
        settings.Targets = {
            {FileTarget(c.Cause == TCause::NoFile ? "" : dir.File("htpasswd")), {}}};
        if (c.Cause == TCause::SecondTargetsForm) {
            TTarget second{"digest", dir.File("digest"), true, {{"consumer", "digest"}}};
            settings.Targets.emplace_back(second, std::string());
            settings.PerTarget = true;
        }
        TOwnerSide side;
        const auto job = side.Job(list, settings);
        std::string said;
        try {
            job->StartAsync();
            ADD_FAILURE() << "nothing raised";
        } catch (const EQuorvaneError& e) {
            said = EnglishText(e.Message());
            EXPECT_EQ(c.Cause == TCause::EmptyPassword,
                      dynamic_cast<const EEmptyPasswords*>(&e) != nullptr);
            EXPECT_EQ(c.Cause == TCause::UnsafeLogin,
                      dynamic_cast<const EUnsafeUsers*>(&e) != nullptr);
        }
        EXPECT_NE(said.find(c.Said), std::string::npos) << said;
        EXPECT_FALSE(job->Building());
        side.Serve();
        EXPECT_TRUE(side.Events.empty());
        EXPECT_TRUE(side.Done.empty());
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
        if (c.Cause != TCause::EmptyPassword) continue;
        job->Settings().Build.AllowEmptyPasswords = true;
        job->StartAsync();
        ASSERT_TRUE(side.EndsOnce(*job));
        EXPECT_TRUE(side.Done[0].Done) << EnglishText(side.Done[0].Error);
        EXPECT_EQ(ReadWholeFile(dir.File("htpasswd")), "ann:a1\r\nnopass:\r\n");
    }
}

// A write that fails after the checks (the target's folder is gone by then) is the result's
// error, told through OnError, then the end, once; nothing is raised at the owner.
TEST(ExportJobAsync, AWriteThatFailsAfterTheChecksEndsWithItsError) {
    TTempDir dir;
    fs::create_directories(dir.Path() / "site");
    TUserList list;
    AddUsers(list, 3);
    TExportSettings settings;
    settings.PassType = TPasswordsType::ptPlainText;
    settings.Targets = {{FileTarget((dir.Path() / "site" / "htpasswd").string()), {}}};
    TOwnerSide side;
    const auto job = side.Job(list, settings);
    job->StartAsync();
    // The write comes once the build's end has reached this thread, after this.
    fs::remove_all(dir.Path() / "site");
    ASSERT_TRUE(side.EndsOnce(*job));
    EXPECT_FALSE(side.Done[0].Done);
    EXPECT_FALSE(side.Done[0].Error.Empty());
    EXPECT_EQ(side.Errors, std::vector<std::string>{EnglishText(side.Done[0].Error)});
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
}
