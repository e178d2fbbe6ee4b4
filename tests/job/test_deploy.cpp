// An export to several targets, all or nothing, against real peers on loopback: two SFTP servers
// (asyncssh; the second takes uploads slowly, refuses to rename onto, write or remove files
// named "locked", and takes "locked.groups" once only), a local file, and nginx in front of each
// target's file, started once for the whole program.

#include "job/ExportJob.h"

#include "MemKind.h"
#include "NginxTestServer.h"
#include "TestUtil.h"
#include "TransportServers.h"
#include "ftp/ServerTarget.h"
#include "job/JobTexts.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

using namespace quorvane;
namespace fs = std::filesystem;
using transporttest::TAsyncSftp;

namespace {

// The peers, once for the program.
struct TSites {
    TAsyncSftp Web1;
    TAsyncSftp Web2{{"--throttle", "1000000", "--refuse-name", "locked", "--refuse-name-again",
                     "locked.groups"}};
    TTempDir Local;
    std::unique_ptr<nginxtest::TNginxServer> Nginx1, Nginx2, Nginx3, Misconfigured;

    TSites() {
        for (const fs::path& root : {Web1.Root(), Web2.Root()})
            fs::create_directories(root / "www");
        WriteWholeFile(Web2.Root() / "www" / "old.htpasswd", "");
        Nginx1 = std::make_unique<nginxtest::TNginxServer>(Web1.Root() / "www" / ".htpasswd");
        Nginx2 = std::make_unique<nginxtest::TNginxServer>(Web2.Root() / "www" / ".htpasswd");
        Nginx3 = std::make_unique<nginxtest::TNginxServer>(Local.File("htpasswd"));
        // Reads a file no export writes: a wrong path in its configuration.
        Misconfigured =
            std::make_unique<nginxtest::TNginxServer>(Web2.Root() / "www" / "old.htpasswd");
    }
};

TSites* gSites = nullptr;

class Deploy : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!transporttest::Executable("/usr/bin/python3")) return;
        gSites = new TSites();
    }
    static void TearDownTestSuite() {
        delete gSites;
        gSites = nullptr;
    }
    void SetUp() override {
        if (gSites == nullptr) GTEST_SKIP() << "python3 with asyncssh is not installed";
        if (!gSites->Nginx1->Available()) GTEST_SKIP() << gSites->Nginx1->SkipReason();
    }
};

TTargetSettings SftpTarget(const std::string& name, const TAsyncSftp& server,
                           const std::string& remote) {
    TTargetSettings t;
    t.Name = name;
    t.ExportToFile = false;
    t.FtpProtocol = "sftp";
    t.FtpHost = server.Host();
    t.FtpUser = TAsyncSftp::kUser;
    t.FtpPasswdFile = remote;
    t.FtpHostKeys = server.Fingerprint();
    return t;
}

struct TRun {
    TExportResult Result;
    std::vector<TExportEvent> Events;
};

// Exports the list to the targets and waits for the end; abortOn, when given, is asked at each
// event whether to abort now.
TRun Export(TUserList& list, const std::vector<TTarget>& targets, TPasswordsType type,
            const std::string& database,
            const std::function<bool(const TExportEvent&)>& abortOn = {}) {
    TExportSettings settings;
    settings.PassType = type;
    settings.PerTarget = true;
    settings.DatabasePath = database;
    settings.Timeout = 10000;
    // The files there hold users of their own: replaced all the same.
    settings.Replace.Outside = TOutsideChanges::Overwrite;
    for (const TTarget& t : targets)
        settings.Targets.push_back({t, UrlScheme(t.Url) == "sftp" ? TAsyncSftp::kPassword : ""});
    TExportJob job(list, settings);
    TRun run;
    std::atomic<bool> aborted{false};
    job.OnEvent = [&](const TExportEvent& event) {
        run.Events.push_back(event);
        if (abortOn && !aborted && abortOn(event)) {
            aborted = true;
            EXPECT_TRUE(job.Abort());
        }
    };
    job.OnDone = [&](const TExportResult& result) { run.Result = result; };
    job.Start();
    job.Wait();
    return run;
}

std::vector<TTargetHolds> Holdings(const TExportResult& result) {
    std::vector<TTargetHolds> holds;
    for (const TTargetOutcome& o : result.Outcomes)
        holds.push_back(o.Holds);
    return holds;
}

} // namespace

// Three targets, two SFTP servers and a local file: whatever fails before every target holds
// the new file replaces none, a failure after some were replaced puts those back, and only a
// whole success leaves the new file everywhere.
TEST_F(Deploy, AllOrNothing) {
    using H = TTargetHolds;
    constexpr H N = H::New, O = H::Old, P = H::PutBack;
    const struct {
        const char* What;
        std::string Web2Remote; // the second SFTP server's file
        std::size_t Users;      // many make the second upload last
        bool AbortDuringWeb2;   // Abort once the second upload is on its way
        // web1, local, web2; a file holds the new content where its target says New, and the
        // export is done where all do.
        std::vector<H> Holds;
        int GroupsLeftNew; // the target whose group file could not be put back; -1: none
    } cases[] = {
        {"every target takes it", "/www/.htpasswd", 3, false, {N, N, N}, -1},
        {"an upload fails on one", "/missing/.htpasswd", 3, false, {O, O, O}, -1},
        // and then will not take its old group file back: said, not hidden
        {"the third refuses the rename", "/www/locked", 3, false, {P, P, O}, 2},
        {"an abort during the second upload", "/www/slow.htpasswd", 60000, true, {O, O, O}, -1},
    };
    TSites& sites = *gSites;
    // The middle target: a local file, or a file of a kind only these tests know, which the
    // deployment treats alike.
    RegisterTargetKind({"mem"}, std::make_shared<memkind::TMemKind>());
    const std::string localFile = sites.Local.File("htpasswd");
    struct TMiddle {
        std::string Url;
        std::function<std::optional<std::string>(const std::string& path)> Read;
        std::function<void(const std::string& path, const std::string& content)> Write;
        // The second server's files of this pass, in a folder of their own below the case's
        // (its refusals are counted by path).
        std::string Web2Folder;
    };
    const TMiddle middles[] = {
        {localFile,
         [](const std::string& path) -> std::optional<std::string> {
             if (!fs::exists(path)) return std::nullopt;
             return ReadWholeFile(path);
         },
         [](const std::string& path, const std::string& content) { WriteWholeFile(path, content); },
         ""},
        {"mem:site/htpasswd", [](const std::string& path) { return memkind::Files().Get(path); },
         [](const std::string& path, const std::string& content) {
             memkind::Files().Set(path, content);
         },
         "mem/"},
    };
    for (const TMiddle& middle : middles)
        for (const auto& c : cases) {
            SCOPED_TRACE(middle.Url);
            SCOPED_TRACE(c.What);
            TTempDir dir;
            TTarget local;
            local.Name = "local";
            local.Url = middle.Url;
            const std::string middlePath = TargetFileName(local);
            std::string web2Remote = c.Web2Remote;
            web2Remote.insert(web2Remote.rfind('/') + 1, middle.Web2Folder);
            const fs::path servers[] = {sites.Web1.Root() / "www" / ".htpasswd",
                                        sites.Web2.Root() / web2Remote.substr(1)};
            if (!middle.Web2Folder.empty() && fs::exists(servers[1].parent_path().parent_path()))
                fs::create_directories(servers[1].parent_path());
            // Beside each file its group file, replaced before it and put back after it.
            // A file that is not there reads as "(none)"; none: its server has no such folder.
            const auto read = [&](std::size_t i,
                                  const std::string& suffix) -> std::optional<std::string> {
                if (i == 1) return middle.Read(middlePath + suffix).value_or("(none)");
                const fs::path& file = servers[i / 2];
                if (!fs::exists(file.parent_path())) return std::nullopt;
                if (!fs::exists(file.string() + suffix)) return "(none)";
                return ReadWholeFile(file.string() + suffix);
            };
            for (std::size_t i = 0; i < 3; ++i) {
                if (i == 1) {
                    middle.Write(middlePath, "old:content\n");
                    middle.Write(middlePath + ".groups", "staff: old\n");
                } else if (fs::exists(servers[i / 2].parent_path())) {
                    WriteWholeFile(servers[i / 2], "old:content\n");
                    WriteWholeFile(servers[i / 2].string() + ".groups", "staff: old\n");
                }
            }
            TUserList list;
            list.Add("ann", "ann's password").SetGroups("staff");
            list.Add("bob", "bob's password");
            for (std::size_t i = 2; i < c.Users; ++i)
                list.Add("user" + std::to_string(i), "password of user " + std::to_string(i));
            const TRun run =
                Export(list,
                       {TargetOf(SftpTarget("web1", sites.Web1, "/www/.htpasswd")), local,
                        TargetOf(SftpTarget("web2", sites.Web2, web2Remote))},
                       c.AbortDuringWeb2 ? TPasswordsType::ptPlainText : TPasswordsType::ptMD5,
                       dir.File("site.udx"), [&](const TExportEvent& event) {
                           return c.AbortDuringWeb2 && event.Target == "web2" &&
                                  event.Stage == TExportStage::Uploading && event.BytesSent > 0;
                       });
            const bool done = c.Holds == std::vector<H>{N, N, N};
            EXPECT_EQ(run.Result.Done, done);
            EXPECT_EQ(run.Result.Aborted, c.AbortDuringWeb2);
            ASSERT_EQ(Holdings(run.Result), c.Holds);
            std::string said;
            for (const TTargetOutcome& o : run.Result.Outcomes)
                said += EnglishText(TargetOutcomeMessage(o)) + "\n";
            SCOPED_TRACE(said);
            for (std::size_t i = 0; i < 3; ++i) {
                const std::optional<std::string> now = read(i, "");
                if (!now) continue;
                const bool isNew = c.Holds[i] == H::New;
                const bool groupsNew = isNew || static_cast<int>(i) == c.GroupsLeftNew;
                EXPECT_EQ(*now != "old:content\n", isNew) << i << ": " << now->substr(0, 80);
                EXPECT_EQ(read(i, ".groups"), groupsNew ? "staff: ann\r\n" : "staff: old\n") << i;
                EXPECT_EQ(
                    TargetOutcomeMessage(run.Result.Outcomes[i]).Is(texts::TargetGroupsNotPutBack),
                    groupsNew != isNew);
                EXPECT_EQ(read(i, "_safeupload"), "(none)") << i;
            }
            // What the web servers read: the files of the first pass.
            if (done && middle.Web2Folder.empty()) {
                for (const auto* nginx :
                     {sites.Nginx1.get(), sites.Nginx2.get(), sites.Nginx3.get()}) {
                    EXPECT_EQ(nginx->Status("ann", "ann's password"), 200);
                    EXPECT_EQ(nginx->Status("ann", "wrong"), 401);
                }
            }
        }
}

// The site check after the replacement: a server that reads the new file lets the check user
// in; one whose configuration names another file refuses, and that target's export failed.
TEST_F(Deploy, TheLiveCheckCatchesASiteThatDoesNotReadTheNewFile) {
    TSites& sites = *gSites;
    TTempDir dir;
    TUserList list;
    list.Add("ann", "ann's password");
    TTargetSettings web1 = SftpTarget("web1", sites.Web1, "/www/.htpasswd");
    web1.CheckUrl = sites.Nginx1->Url();
    web1.CheckUser = "ann";
    TTargetSettings web2 = SftpTarget("web2", sites.Web2, "/www/.htpasswd");
    web2.CheckUrl = sites.Misconfigured->Url();
    web2.CheckUser = "ann";
    const TRun run =
        Export(list, {TargetOf(web1), TargetOf(web2)}, TPasswordsType::ptMD5, dir.File("site.udx"));
    ASSERT_EQ(run.Result.Outcomes.size(), 2u);
    EXPECT_TRUE(run.Result.Outcomes[0].Succeeded())
        << EnglishText(TargetOutcomeMessage(run.Result.Outcomes[0]));
    const TTargetOutcome& misread = run.Result.Outcomes[1];
    EXPECT_EQ(misread.Holds, TTargetHolds::New);
    EXPECT_EQ(Signature(misread.CheckError), "SiteRefused(ann, 401)");
    EXPECT_TRUE(TargetOutcomeMessage(misread).Is(texts::TargetCheckFailed));
    EXPECT_FALSE(run.Result.Done);
}
