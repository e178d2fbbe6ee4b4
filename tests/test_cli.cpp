// quorvane-cli end to end: exact output of each command, exit statuses, and the database
// files the commands leave behind.

#include "Commands.h"
#include "DateUtil.h"
#include "TestUtil.h"
#include "UserList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <sys/wait.h>

namespace {

struct TResult {
    int Status;
    std::string Out, Err;
};

TResult Run(std::vector<std::string> args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    TCliStreams io{in, out, err, false};
    const int status = RunCli(args, io);
    return {status, out.str(), err.str()};
}

class CliTest : public ::testing::Test {
protected:
    TTempDir Dir;
    std::string Db = Dir.File("users.udx");
};

TEST_F(CliTest, CreateMakesTheDefaultDatabaseAndRefusesToOverwrite) {
    TResult r = Run({"create", Db});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadWholeFile(Db), "object TUserList\r\n  Items = <>\r\n  PassType = ptMD5\r\n"
                                 "  ExportToFile = True\r\n  FtpStorePass = True\r\n"
                                 "  FtpPassiveMode = True\r\nend\r\n");
    r = Run({"info", Db});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "users: 0\nenabled: 0\ndisabled: 0\nfingerprint: A160D7C5\n");

    r = Run({"create", Db});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("already exists"), std::string::npos) << r.Err;
}

TEST_F(CliTest, AddListAndInfo) {
    ASSERT_EQ(Run({"create", Db}).Status, 0);
    TResult r = Run({"add", Db, "alice", "--password", "s3cret", "--full-name", "Alice A",
                     "--email", "alice@example.org", "--expire", "2030-05-06 07:08:09"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    r = Run({"add", Db, "bob", "--password-stdin", "--disabled", "--comments=line1\r\nline2"},
            "pw from stdin\r\nignored\n");
    ASSERT_EQ(r.Status, 0) << r.Err;

    TUserList list;
    list.LoadFromFile(Db);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Users(1).Password, "pw from stdin");
    EXPECT_EQ(list.Users(1).Comments, "line1\r\nline2");
    EXPECT_TRUE(list.Users(1).Disable);
    EXPECT_FALSE(list.Users(1).Expire);
    EXPECT_TRUE(list.Users(0).Expire);

    r = Run({"list", Db});
    ASSERT_EQ(r.Status, 0);
    const std::string created0 = FormatDateTime(list.Users(0).CreatedDate);
    const std::string created1 = FormatDateTime(list.Users(1).CreatedDate);
    EXPECT_EQ(r.Out, "alice\tEnabled\t2030-05-06 07:08:09\talice@example.org\tAlice A\t" +
                         created0 + "\nbob\tDisabled\tNever\t\t\t" + created1 + "\n");

    r = Run({"info", Db});
    EXPECT_EQ(r.Out.substr(0, r.Out.find("fingerprint")), "users: 2\nenabled: 1\ndisabled: 1\n");
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", list.Fingerprint());
    EXPECT_NE(r.Out.find(std::string("fingerprint: ") + hex + "\n"), std::string::npos);
}

TEST_F(CliTest, AddRefusesDuplicatesAndBlanksWithoutTouchingTheFile) {
    ASSERT_EQ(Run({"create", Db}).Status, 0);
    ASSERT_EQ(Run({"add", Db, "bob", "--password", "x"}).Status, 0);
    const std::string before = ReadWholeFile(Db);

    TResult r = Run({"add", Db, "Bob", "--password", "y"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "quorvane-cli: User \"Bob\" already exists\n");
    EXPECT_EQ(Run({"add", Db, "  ", "--password", "y"}).Status, 1);
    EXPECT_EQ(Run({"add", Db, "carol", "--password", " \t"}).Status, 1);
    EXPECT_EQ(ReadWholeFile(Db), before);

    // The uniqueness test neither trims nor folds anything but a-z.
    EXPECT_EQ(Run({"add", Db, " bob", "--password", "y"}).Status, 0);
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
    ASSERT_EQ(Run({"create", Db}).Status, 0);
    EXPECT_EQ(Run({}).Status, 2);
    EXPECT_EQ(Run({"frobnicate"}).Status, 2);
    EXPECT_EQ(Run({"info"}).Status, 2);
    EXPECT_EQ(Run({"info", Db, "extra"}).Status, 2);
    TResult r = Run({"add", Db, "x"});
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("usage: quorvane-cli add DB LOGIN"), std::string::npos) << r.Err;
    EXPECT_EQ(Run({"add", Db, "x", "--password", "p", "--password-stdin"}).Status, 2);
    EXPECT_EQ(Run({"add", Db, "x", "--password", "p", "--expire", "2030-02-30"}).Status, 2);
    EXPECT_EQ(Run({"add", Db, "x", "--bogus"}).Status, 2);
    EXPECT_EQ(Run({"add", Db, "x", "--password"}).Status, 2);
}

TEST_F(CliTest, ErrorsNameTheFile) {
    const std::string missing = Dir.File("missing.udx");
    TResult r = Run({"info", missing});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "quorvane-cli: Cannot open file " + missing + "\n");

    WriteWholeFile(Db, "not a database");
    r = Run({"list", Db});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "quorvane-cli: The file is not valid\n");
}

TEST_F(CliTest, DeleteMatchesTheLoginExactly) {
    ASSERT_EQ(Run({"create", Db}).Status, 0);
    for (const char* login : {"ann", "Ann", "bea"})
        ASSERT_EQ(Run({"add", Db, login, "--password", "p"}).Status, 0);
    EXPECT_EQ(Run({"delete", Db, "ann"}).Status, 0);
    TUserList list;
    list.LoadFromFile(Db);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Users(0).Login, "Ann");
    EXPECT_EQ(list.Users(1).Login, "bea");

    TResult r = Run({"delete", Db, "nobody"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("nobody"), std::string::npos);
}

TEST_F(CliTest, SweepDisablesOnlyWhatHasPassed) {
    ASSERT_EQ(Run({"create", Db}).Status, 0);
    ASSERT_EQ(Run({"add", Db, "past", "--password", "p", "--expire", "2001-01-01"}).Status, 0);
    ASSERT_EQ(Run({"add", Db, "future", "--password", "p", "--expire", "2999-01-01"}).Status, 0);
    ASSERT_EQ(Run({"add", Db, "never", "--password", "p"}).Status, 0);
    TResult r = Run({"sweep", Db});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "1\n");
    EXPECT_EQ(Run({"sweep", Db}).Out, "0\n");
    TUserList list;
    list.LoadFromFile(Db);
    EXPECT_TRUE(list.Users(0).Disable);
    EXPECT_FALSE(list.Users(1).Disable);
    EXPECT_FALSE(list.Users(2).Disable);
}

TEST_F(CliTest, HelpAndVersion) {
    TResult r = Run({"--help"});
    EXPECT_EQ(r.Status, 0);
    for (const char* name : {"create", "info", "list", "add", "delete", "sweep"})
        EXPECT_NE(r.Out.find(std::string("  ") + name), std::string::npos) << name;
    EXPECT_EQ(Run({"--version"}).Out, "quorvane-cli 1.3\n");
    r = Run({"help", "add"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out.rfind("usage: quorvane-cli add DB LOGIN", 0), 0u);
    EXPECT_EQ(Run({"help", "nothing"}).Status, 2);
    EXPECT_EQ(Run({"sweep", "--help"}).Status, 0);
}

// The real binary: exit statuses and standard input.
int Shell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST_F(CliTest, TheProgramItself) {
    const std::string cli = QUORVANE_CLI_PATH;
    EXPECT_EQ(Shell(cli + " --help >/dev/null"), 0);
    EXPECT_EQ(Shell(cli + " >/dev/null 2>&1"), 2);
    EXPECT_EQ(Shell(cli + " create '" + Db + "'"), 0);
    EXPECT_EQ(Shell("printf 'pw\\n' | " + cli + " add '" + Db + "' eve --password-stdin"), 0);
    EXPECT_EQ(Shell(cli + " add '" + Db + "' EVE --password x 2>/dev/null"), 1);
    TUserList list;
    list.LoadFromFile(Db);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Users(0).Password, "pw");
}

} // namespace
