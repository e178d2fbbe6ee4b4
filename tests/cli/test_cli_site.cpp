// The site's password file is data too: what changed there since the database last wrote it
// stops the export (on a local file, an SFTP server and an FTP server alike), --merge takes it
// in, --overwrite replaces it, restore brings back what was replaced; and an unchanged database
// exports the same bytes on every machine.

#include "CliRun.h"
#include "ExportTestUtil.h"
#include "FtpTestServer.h"
#include "NginxTestServer.h"
#include "TransportServers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;

namespace {

// Where the database exports to: its `target` options, the file as the server's side sees it,
// and the server password for standard input (empty: none asked).
struct TSite {
    std::vector<std::string> TargetArgs;
    fs::path File;
    std::string Password;
};

// The servers, once for the whole program.
class SiteServers {
public:
    static SiteServers& Get() {
        static SiteServers servers;
        return servers;
    }
    transporttest::TAsyncSftp Sftp;
    ftptest::TFtpServer Ftp{{}, true};
    nginxtest::TNginxServer Nginx;
    TTempDir Dir;
};

// "SHA256:..." of the SFTP server's host key, as ssh-keygen shows it.
std::string SftpHostKey() {
    const std::string known = SiteServers::Get().Dir.File("known_hosts");
    WriteWholeFile(known, SiteServers::Get().Sftp.KnownHostsLine());
    const std::string line = RunCommand("ssh-keygen -l -E sha256 -f " + ShellQuote(known)).Output;
    const size_t at = line.find("SHA256:");
    return line.substr(at, line.find(' ', at) - at);
}

TSite SiteOf(const std::string& kind, const TTempDir& dir) {
    SiteServers& s = SiteServers::Get();
    if (kind == "file") return {{"--file", dir.File("live.pw")}, dir.File("live.pw"), ""};
    const std::string name = "live-" + std::to_string(::getpid()) + "-" + kind + ".pw";
    if (kind == "sftp")
        return {{"--url", "sftp://" + s.Sftp.Host() + "/~/" + name, "--login",
                 transporttest::TAsyncSftp::kUser, "--host-key", SftpHostKey()},
                s.Sftp.Root() / name,
                transporttest::TAsyncSftp::kPassword};
    return {{"--url", "ftp://" + s.Ftp.Host() + "/" + name, "--login", ftptest::kUser},
            s.Ftp.Root() / name,
            ftptest::kPassword};
}

class SiteTarget : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        ASSERT_EQ(Cli({"create", Db}).Status, 0);
        for (const char* login : {"alice", "bob"})
            ASSERT_EQ(Cli({"add", Db, login, "--password", std::string(login) + "-pw"}).Status, 0);
        Site = SiteOf(GetParam(), Dir);
        std::vector<std::string> args{"target", Db};
        args.insert(args.end(), Site.TargetArgs.begin(), Site.TargetArgs.end());
        ASSERT_EQ(Cli(args).Status, 0);
    }
    void TearDown() override { fs::remove(Site.File); }

    TResult Export(std::vector<std::string> more = {}) {
        std::vector<std::string> args{"export", Db};
        if (!Site.Password.empty()) args.push_back("--server-password-stdin");
        args.insert(args.end(), more.begin(), more.end());
        return Cli(args, Site.Password + "\n");
    }
    // Apache's htpasswd on the file where the server keeps it: "-b" LOGIN PASSWORD, "-D" LOGIN.
    void Htpasswd(const std::string& flag, const std::string& rest) {
        ASSERT_EQ(RunCommand("htpasswd " + flag + " " + ShellQuote(Site.File.string()) + " " +
                             rest + " 2>/dev/null")
                      .ExitCode,
                  0);
    }

    TTempDir Dir;
    std::string Db = Dir.File("users.udx");
    TSite Site;
};

TEST_P(SiteTarget, ChangesThereStopMergeOverwriteAndRestore) {
    TResult r = Export();
    ASSERT_EQ(r.Status, 0) << r.Err;

    // A user added there by hand stops the export, named, with the file left as it was.
    Htpasswd("-b", "handmade hm");
    const std::string handEdited = ReadWholeFile(Site.File);
    r = Export();
    EXPECT_EQ(r.Status, 1);
    EXPECT_THAT(r.Err, HasSubstr("changed since this database last wrote it: 1 added there"));
    EXPECT_THAT(r.Err, HasSubstr("  + handmade (added there)\n"));
    EXPECT_EQ(ReadWholeFile(Site.File), handEdited);

    // --merge takes it in: the database keeps it, the file holds everyone, nginx lets them in.
    r = Export({"--merge"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_THAT(Cli({"list", Db}).Out, HasSubstr("handmade\tEnabled"));
    const nginxtest::TNginxServer& nginx = SiteServers::Get().Nginx;
    nginx.SetPasswordFile(ReadWholeFile(Site.File));
    EXPECT_EQ(nginx.Status("handmade", "hm"), 200);
    EXPECT_EQ(nginx.Status("alice", "alice-pw"), 200);
    EXPECT_EQ(nginx.Status("handmade", "alice-pw"), 401);

    // Removed and changed there: named as such; --overwrite replaces them, keeping the file.
    Htpasswd("-D", "bob");
    Htpasswd("-b", "alice changed");
    const std::string overwritten = ReadWholeFile(Site.File);
    r = Export();
    EXPECT_EQ(r.Status, 1);
    EXPECT_THAT(r.Err, HasSubstr("  ~ alice (password changed there)\n  - bob (removed there)\n"));
    r = Export({"--overwrite"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    nginx.SetPasswordFile(ReadWholeFile(Site.File));
    EXPECT_EQ(nginx.Status("alice", "alice-pw"), 200);
    EXPECT_EQ(nginx.Status("bob", "bob-pw"), 200);

    // restore puts the overwritten file back byte for byte, and records it as ours: the next
    // export replaces it without a question.
    std::vector<std::string> restore{"restore", Db, "1"};
    if (!Site.Password.empty()) restore.push_back("--server-password-stdin");
    r = Cli(restore, Site.Password + "\n");
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadWholeFile(Site.File), overwritten);
    r = Export();
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_THAT(ReadWholeFile(Site.File), HasSubstr("bob:"));
}

INSTANTIATE_TEST_SUITE_P(EveryTransport, SiteTarget, ::testing::Values("file", "sftp", "ftp"));

// The file's bytes follow from the database alone: not from the run, nor from the machine's
// locale, which once moved "über" between "u" and after "z".
TEST(SameBytes, AnUnchangedDatabaseExportsIdenticalFilesInEveryFormAndLocale) {
    TTempDir dir;
    const std::string locales = dir.File("locales");
    fs::create_directories(locales);
    RunCommand("localedef -c -i de_DE -f UTF-8 " + ShellQuote(locales + "/de_DE.UTF-8") +
               " >/dev/null 2>&1");
    // glibc keeps a small list of locale folder names for the process's life (found by the leak
    // checker of a sanitized build); nothing of ours.
    WriteWholeFile(dir.File("lsan.supp"), "leak:__argz_add_sep\n");
    const std::string german = "LSAN_OPTIONS=suppressions=" + ShellQuote(dir.File("lsan.supp")) +
                               " LOCPATH=" + ShellQuote(locales) + " LC_ALL=de_DE.UTF-8 ";
    // The German collation is really in effect, or the comparison below proves nothing.
    ASSERT_EQ(RunCommand("printf 'zed\\n\\303\\274ber\\n' | " + german + "sort").Output,
              "über\nzed\n");

    const std::string db = dir.File("users.udx"), file = dir.File("htpasswd");
    std::string users = "über p1\nzed p2\nUwe p3\nute p4\n";
    for (int i = 0; i < 1000; ++i)
        users += "user" + std::to_string(i * 7919 % 1000) + " pw" + std::to_string(i) + "\n";
    WriteWholeFile(dir.File("users.txt"), users);
    ASSERT_EQ(Cli({"create", db}).Status, 0);
    ASSERT_EQ(Cli({"import", db, dir.File("users.txt")}).Status, 0);
    const std::vector<std::vector<std::string>> forms = {
        {"--format", "md5"},
        {"--format", "plain"},
        {"--format", "bcrypt", "--cost", "4", "--save-choice"},
        {"--format", "sha256", "--rounds", "1000", "--save-choice"},
        {"--format", "sha512", "--rounds", "1000", "--save-choice"},
    };
    for (const auto& form : forms) {
        std::string options;
        for (const std::string& option : form)
            options += " " + option;
        std::string first;
        for (const std::string& env : {std::string("LC_ALL=C.UTF-8 "), german, german}) {
            const TCommandResult run =
                RunCommand(env + QUORVANE_CLI_PATH + " export " + ShellQuote(db) + " --output " +
                           ShellQuote(file) + options + " 2>&1");
            ASSERT_EQ(run.ExitCode, 0) << options << ": " << run.Output;
            const std::string bytes = ReadWholeFile(file);
            if (first.empty())
                first = bytes;
            else
                EXPECT_EQ(bytes, first) << options << " under " << env;
        }
        EXPECT_LT(first.find("Uwe:"), first.find("zed:")) << options;
        EXPECT_LT(first.find("zed:"), first.find("über:")) << options;
    }
}

} // namespace

// A login added there that the database holds in another case is one user to the database:
// --merge stops and names the line, with nothing taken in and nothing replaced.
TEST(SiteMerge, ALoginThereInAnotherCaseStopsTheMerge) {
    const struct {
        const char* Added; // by htpasswd there
        int Status;
        const char* Says;
    } cases[] = {
        {"Alice", 1, "line 2 \"Alice\" (like \"alice\" in the database)"},
        {"carl", 0, "1 user added"},
    };
    for (const auto& c : cases) {
        TTempDir dir;
        const std::string db = dir.File("users.udx"), file = dir.File("htpasswd");
        ASSERT_EQ(Cli({"create", db}).Status, 0);
        ASSERT_EQ(Cli({"add", db, "alice", "--password", "a1"}).Status, 0);
        ASSERT_EQ(Cli({"target", db, "--file", file}).Status, 0);
        ASSERT_EQ(Cli({"export", db}).Status, 0);
        ASSERT_EQ(RunCommand("htpasswd -b " + ShellQuote(file) + " " + c.Added + " x 2>/dev/null")
                      .ExitCode,
                  0);
        const std::string there = ReadWholeFile(file), before = ReadWholeFile(db);
        const TResult r = Cli({"export", db, "--merge"});
        EXPECT_EQ(r.Status, c.Status) << r.Err;
        EXPECT_THAT(r.Err, HasSubstr(c.Says)) << r.Err;
        if (c.Status != 0) {
            EXPECT_EQ(ReadWholeFile(file), there) << "nothing replaced";
            EXPECT_EQ(ReadWholeFile(db), before) << "nothing taken in";
        } else {
            EXPECT_THAT(ReadWholeFile(file), HasSubstr(std::string(c.Added) + ":"));
        }
    }
}
