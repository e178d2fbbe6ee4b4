// What a target does once it holds its new file: the command after the export, run through
// /bin/sh on this machine or over the SFTP target's own connection to OpenSSH's sshd (started
// once for this program), and the mode and group the written file is given, on the real
// filesystem.

#include "job/AfterCommand.h"
#include "job/Deployment.h"

#include "TestUtil.h"
#include "TransportServers.h"
#include "base/AtomicFile.h"
#include "base/BaseTexts.h"
#include "job/JobTexts.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <tuple>

using namespace quorvane;
namespace fs = std::filesystem;
using transporttest::TSshd;

namespace {

// What a run's result says, to compare whole.
auto Said(const TAfterResult& r) {
    return std::tie(r.ExitStatus, r.Signal, r.TimedOut, r.Tail);
}

std::string Numbers(int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i)
        text += (i == from ? "" : "\n") + std::to_string(i);
    return text;
}

} // namespace

// A command runs through /bin/sh with the target's file in its environment, never spliced into
// the command line; its status, the signal that ended it, its time limit and the last lines of
// what it wrote are kept, and what it leaves running in the background does not hold it up.
TEST(AfterCommand, LocallyItsStatusTimeLimitAndLastLinesAreKept) {
    TTempDir dir;
    const std::string planted = dir.File("planted");
    const std::string file = dir.File("site $(touch " + planted + ") `touch " + planted + "`");
    const std::string tail20 = "..." + Numbers(81, 100);
    // One line longer than what is kept: its end, marked as cut.
    const std::string cut = "..." + std::string(KAfterTailBytes, 'x');
    const struct {
        const char* Command;
        int Seconds;
        TAfterResult Want; // the whole result: status, signal, timed out, last output
    } rows[] = {
        {"echo reloaded", 10, {0, "", false, "reloaded"}},
        {"echo out; echo err >&2; exit 3", 10, {3, "", false, "out\nerr"}},
        {"printf %s \"$QUORVANE_FILE\"", 10, {0, "", false, file.c_str()}},
        {"seq 1 100", 10, {0, "", false, tail20.c_str()}},
        {"kill -KILL $$", 10, {-1, "KILL", false, ""}},
        {"echo begun; sleep 30", 1, {-1, "", true, "begun"}},
        {"sleep 3 >/dev/null & echo started", 10, {0, "", false, "started"}},
        {"sleep 3 & echo started", 10, {0, "", false, "started"}},
        {"cat; echo read nothing", 10, {0, "", false, "read nothing"}},
        {"head -c 10000 /dev/zero | tr '\\0' x", 10, {0, "", false, cut.c_str()}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Command);
        const auto start = std::chrono::steady_clock::now();
        const TAfterResult result =
            RunAfterCommandLocally({row.Command, std::chrono::seconds(row.Seconds)}, file);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(Said(result), Said(row.Want));
        EXPECT_LT(took, std::chrono::seconds(row.Seconds + 5));
    }
    EXPECT_FALSE(fs::exists(planted)) << "the file's name was run as a command";

    // A failure says what the command was, how it ended and what it said last.
    const TAfterCommand failing{"systemctl reload nothing", std::chrono::seconds(7)};
    TAfterResult failed;
    failed.TimedOut = true;
    EXPECT_NE(EnglishText(AfterFailureMessage(failing, failed)).find("within 7 seconds"),
              std::string::npos);
    failed = {5, "", false, "Unit nothing.service not found."};
    EXPECT_EQ(EnglishText(AfterFailureMessage(failing, failed)),
              "The command \"systemctl reload nothing\" ended with status 5; its last output: "
              "Unit nothing.service not found.");
    EXPECT_TRUE(AfterFailureMessage(failing, {0, "", false, "x"}).Empty());
}

namespace {

std::unique_ptr<TSshd> gSshd;

class Deployed : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (transporttest::Executable(TSshd::kBinary)) gSshd = std::make_unique<TSshd>();
    }
    static void TearDownTestSuite() { gSshd.reset(); }

    TDeploymentTarget Local(const std::string& name, const std::string& file) const {
        TDeploymentTarget t;
        t.Given.Target.Name = name;
        t.Given.Target.Url = FileUrl(file);
        return t;
    }
    // A file on the sshd's machine, reached over SFTP with the test user's key.
    TDeploymentTarget Sftp(const std::string& name, const std::string& file) const {
        TDeploymentTarget t;
        TTargetSettings s;
        s.Name = name;
        s.ExportToFile = false;
        s.FtpProtocol = "sftp";
        s.FtpHost = gSshd->Host();
        s.FtpUser = gSshd->User();
        s.FtpKeyFile = gSshd->Key("user").string();
        s.FtpHostKeys = gSshd->Fingerprint();
        s.FtpPasswdFile = file;
        t.Given.Target = TargetOf(s);
        return t;
    }
    TDeploymentTarget Place(bool overSftp, const std::string& name, const std::string& file) const {
        return overSftp ? Sftp(name, file) : Local(name, file);
    }

    std::vector<TTargetOutcome> Deploy(std::vector<TDeploymentTarget> targets) {
        TDeploymentInput input;
        input.Content = std::make_shared<const std::string>(Content);
        input.LineEnd = "\n";
        input.Replace.Outside = TOutsideChanges::Overwrite;
        input.Timeout = 10000;
        std::vector<TTargetOutcome> outcomes;
        TDeployment::THandlers handlers;
        handlers.OnDone = [&](const std::vector<TTargetOutcome>& done) { outcomes = done; };
        TDeployment deployment(std::move(input), std::move(targets),
                               std::make_shared<TDirectDispatcher>(), std::move(handlers));
        deployment.Start();
        deployment.WaitFor();
        return outcomes;
    }

    TTempDir Dir;
    std::string Content = "ann:$apr1$abcdefgh$QHXxRkmAZy3DVa/Ns2fV40\n";
};

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}
gid_t GroupOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_gid : static_cast<gid_t>(-1);
}

} // namespace

// The command runs once every target holds its new file, where the target's file is: its
// failure is that target's alone, with the advice to restore, and the others keep their new
// file; an export that replaces nothing runs none.
TEST_F(Deployed, TheCommandAfterTheExportRunsWhereTheFileIs) {
    const std::string ran = Dir.File("ran");
    const auto after = [](const std::string& command) {
        return TAfterCommand{command, std::chrono::seconds(20)};
    };
    // A target that cannot be written (a folder), or one over FTP, where no command runs:
    // nothing is replaced, nothing run.
    fs::create_directories(Dir.File("folder"));
    TDeploymentTarget marking = Local("marking", Dir.File("c.htpasswd"));
    marking.After = after("touch " + ran);
    TDeploymentTarget ftp;
    ftp.Given.Target.Name = "ftp";
    ftp.Given.Target.Url = ServerUrl("ftp", "127.0.0.1:9", "www/.htpasswd");
    ftp.After = after("true");
    std::vector<TTargetOutcome> out;
    for (const TDeploymentTarget& other : {Local("folder", Dir.File("folder")), ftp}) {
        out = Deploy({marking, other});
        ASSERT_EQ(out.size(), 2u);
        EXPECT_EQ(out[0].Holds, TTargetHolds::Old);
        EXPECT_EQ(out[1].Holds, TTargetHolds::Old);
        EXPECT_FALSE(out[0].After.has_value());
        EXPECT_FALSE(fs::exists(ran));
        EXPECT_FALSE(fs::exists(Dir.File("c.htpasswd")));
    }
    EXPECT_TRUE(out[1].Error.Is(texts::AfterNeedsShell)) << EnglishText(out[1].Error);

    // Two targets, one whose command copies its new file and one whose command fails: on this
    // machine, where the file's name comes in the environment, and on the SFTP server's side,
    // over the same connection.
    const struct {
        bool OverSftp;
        const char* Failing;
        int Status;
        const char* Said;
    } rows[] = {
        {false, "echo reload refused >&2; exit 2", 2, "reload refused"},
        {true, "echo no such unit; exit 4", 4, "no such unit"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.OverSftp ? "over SFTP" : "on this machine");
        if (row.OverSftp && !gSshd) GTEST_SKIP() << "OpenSSH's sshd is not installed";
        const fs::path folder = row.OverSftp ? gSshd->Root() : Dir.Path();
        const std::string a = (folder / "a.htpasswd").string(),
                          b = (folder / "b.htpasswd").string();
        const std::string copy = (folder / "copy").string();
        TDeploymentTarget copying = Place(row.OverSftp, "copying", a);
        copying.After = after("cp " + (row.OverSftp ? a : std::string("\"$QUORVANE_FILE\"")) + " " +
                              copy + " && echo copied");
        TDeploymentTarget failing = Place(row.OverSftp, "failing", b);
        failing.After = after(row.Failing);
        out = Deploy({copying, failing});
        ASSERT_EQ(out.size(), 2u);
        EXPECT_TRUE(out[0].Succeeded()) << EnglishText(TargetOutcomeMessage(out[0]));
        ASSERT_TRUE(out[0].After.has_value());
        EXPECT_EQ(out[0].After->Tail, "copied");
        EXPECT_EQ(ReadWholeFile(copy), Content);
        EXPECT_EQ(out[1].Holds, TTargetHolds::New);
        EXPECT_FALSE(out[1].Succeeded());
        EXPECT_TRUE(TargetOutcomeMessage(out[1]).Is(texts::TargetAfterFailed));
        EXPECT_NE(
            EnglishText(TargetOutcomeMessage(out[1]))
                .find("status " + std::to_string(row.Status) + "; its last output: " + row.Said),
            std::string::npos)
            << EnglishText(TargetOutcomeMessage(out[1]));
        ASSERT_TRUE(out[1].After.has_value());
        EXPECT_EQ(out[1].After->ExitStatus, row.Status);
        EXPECT_EQ(out[1].After->Tail, row.Said);
        EXPECT_EQ(ReadWholeFile(b), Content);
    }
}

// The mode and group asked for are the written file's from its first replacement on, and
// later replacements keep them; a group that does not exist stops the export before anything
// is written.
TEST_F(Deployed, TheWrittenFileGetsTheModeAndGroupAskedFor) {
    // A group the user running the tests may give a file: one of its own other than its
    // current one (any, for root).
    std::string group;
    std::vector<gid_t> mine(static_cast<std::size_t>(::getgroups(0, nullptr)));
    ::getgroups(static_cast<int>(mine.size()), mine.data());
    if (::geteuid() == 0) mine.push_back(1);
    for (const gid_t gid : mine)
        if (gid != ::getegid())
            if (const struct group* g = ::getgrgid(gid)) {
                group = g->gr_name;
                break;
            }
    if (group.empty()) GTEST_SKIP() << "the test user is in no second group";
    const gid_t gid = ::getgrnam(group.c_str())->gr_gid;

    EXPECT_EQ(ParseFileMode("0640"), 0640u);
    EXPECT_EQ(ParseFileMode("755"), 0755u);
    EXPECT_EQ(ParseFileMode("0800"), std::nullopt);
    EXPECT_EQ(ParseFileMode("17777"), std::nullopt);
    EXPECT_EQ(ParseFileMode(""), std::nullopt);

    // Each row one replacement of the same file, here and then over SFTP, in turn; a row that
    // is not written leaves the file as the row before left it.
    const struct {
        bool OverSftp;
        std::optional<unsigned> Mode;
        std::string Group;
        mode_t WantMode;
        const TMessageText* Error; // none: written
    } rows[] = {
        {false, 0640, group, 0640, nullptr},
        {false, std::nullopt, "", 0640, nullptr}, // kept
        {false, 0604, "", 0604, nullptr},
        {false, 0600, "no-such-group-here", 0604, &texts::GroupUnknown},
        {true, 0600, "", 0600, nullptr},
        {true, std::nullopt, "", 0600, nullptr}, // kept
        {true, 0640, "", 0640, nullptr},
        {true, std::nullopt, group, 0640, &texts::ModeOrGroupOverFtp}, // a group: local only
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.OverSftp ? "SFTP " : "local ") + row.Group + " " +
                     (row.Mode ? FileModeText(*row.Mode) : "-"));
        if (row.OverSftp && !gSshd) GTEST_SKIP() << "OpenSSH's sshd is not installed";
        const std::string file =
            row.OverSftp ? (gSshd->Root() / "moded.htpasswd").string() : Dir.File("site.htpasswd");
        Content += "x:y\n";
        TDeploymentTarget target = Place(row.OverSftp, "web", file);
        target.Mode = row.Mode;
        target.Group = row.Group;
        const std::vector<TTargetOutcome> out = Deploy({target});
        ASSERT_EQ(out.size(), 1u);
        const bool written = row.Error == nullptr;
        EXPECT_EQ(out[0].Succeeded(), written) << EnglishText(TargetOutcomeMessage(out[0]));
        EXPECT_EQ(ReadWholeFile(file) == Content, written);
        EXPECT_EQ(ModeOf(file), row.WantMode);
        if (!row.OverSftp) {
            EXPECT_EQ(GroupOf(file), gid);
        }
        if (written) {
            EXPECT_TRUE(out[0].Warnings.empty());
        } else {
            EXPECT_EQ(out[0].Holds, TTargetHolds::Old);
            EXPECT_TRUE(out[0].Error.Is(*row.Error)) << EnglishText(TargetOutcomeMessage(out[0]));
        }
    }
}
