// quorvane-cli and the credentials that reach the password file: logins that would forge or
// break a line, empty passwords, logins servers take for comments, and fields that would fake
// a row of `list`.

#include "CliRun.h"
#include "NginxTestServer.h"
#include "Terminal.h"
#include "TestUtil.h"
#include "base/Random.h"
#include "cli/Commands.h"
#include "export/htpasswd.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace quorvane;

namespace {

using namespace std::string_literals;

class CredentialsCli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Cli({"create", Db}).Status, 0); }
    TTempDir Dir;
    std::string Db = Dir.File("users.udx");
};

TEST_F(CredentialsCli, AddRefusesUnsafeLoginsWithoutTouchingTheFile) {
    ASSERT_EQ(Cli({"add", Db, "bob", "--password", "x"}).Status, 0);
    const std::string before = ReadWholeFile(Db);
    const std::vector<std::string> logins = {
        "admin:$apr1$attacker$x", ":", "a\tb", "a\r\nb", "ab\x01", "tail\n"};
    for (const std::string& login : logins) {
        const TResult r = Cli({"add", Db, login, "--password", "pw"});
        EXPECT_EQ(r.Status, 1) << EscapeForOneLine(login);
        EXPECT_EQ(r.Err, "quorvane-cli: " + EnglishText(LoginErrorMessage(login)) + "\n");
    }
    EXPECT_EQ(ReadWholeFile(Db), before);
}

TEST_F(CredentialsCli, AddWarnsAboutALoginServersTakeForAComment) {
    const TResult r = Cli({"add", Db, "#team", "--password", "pw"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Err, "quorvane-cli: warning: " + EnglishText(LoginWarningMessage("#team")) + "\n");
    TUserList list;
    list.LoadFromFile(Db);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Users(0).Login, "#team");
}

// The reported attack: a row whose login carries a colon and a hash of the attacker's choosing,
// so that the server reads "admin" and checks the attacker's password, even with the real
// admin disabled.
TEST_F(CredentialsCli, ImportOfAForgedLoginIsRefusedAndNginxKeepsTheAttackerOut) {
    nginxtest::TNginxServer server;
    if (!server.Available()) GTEST_SKIP() << server.SkipReason();
    ASSERT_EQ(Cli({"add", Db, "admin", "--password", "S3", "--disabled"}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "alice", "--password", "wonderland"}).Status, 0);
    TLcgRandom random(11);
    const std::string forged = "admin:" + Apr1Crypt("pwned", random);
    const std::string csv = Dir.File("i.csv");
    WriteWholeFile(csv, "carol,c4\r\n\"" + forged + "\",x\r\n");
    const std::string before = ReadWholeFile(Db);

    TResult r = Cli({"import", Db, csv});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("Nothing was imported: line 2 of the file"), std::string::npos) << r.Err;
    EXPECT_EQ(ReadWholeFile(Db), before);

    const std::string target = server.PasswordFilePath().string();
    r = Cli({"export", Db, "--output", target});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(server.Status("admin", "pwned"), 401);
    EXPECT_EQ(server.Status("admin", "S3"), 401);
    EXPECT_EQ(server.Status("alice", "wonderland"), 200) << server.ErrorLog();
}

TEST_F(CredentialsCli, ImportSkipsBlankLinesAndSaysWhatItFound) {
    const std::string text = Dir.File("users.txt");
    WriteWholeFile(text, "ann pw1\r\n\r\n \t \r\njsmith\r\n#team t\r\n");
    const TResult r = Cli({"import", Db, text});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "3 users added\n");
    EXPECT_NE(r.Err.find("skipped 2 blank lines\n"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("line 4 added a user without a password"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("line 5 added a login starting with \"#\""), std::string::npos) << r.Err;
    TUserList list;
    list.LoadFromFile(Db);
    ASSERT_EQ(list.Count(), 3);
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_FALSE(list.Users(i).Login.empty());
}

// Logins that are there already (a to z folded) are named by the import, kept out of it with
// --skip-existing, and named again by the export that has to leave one of two namesakes out.
TEST_F(CredentialsCli, NamesakesAreNamedByImportAndExport) {
    const std::string text = Dir.File("users.txt");
    WriteWholeFile(text, "ann a1\nbob b1\ncarl c1\n");
    ASSERT_EQ(Cli({"import", Db, text}).Status, 0);
    WriteWholeFile(text, "ANN a2\nbob b2\ndora d1\ncarl c2\nDora d2\n");
    // Two lines of one file with the same login are named, and neither is added unless asked.
    TResult r = Cli({"import", Db, text, "--skip-existing"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("line 3: the same login as line 5\nquorvane-cli: line 5: the same "
                         "login as line 3\n"),
              std::string::npos)
        << r.Err;
    r = Cli({"import", Db, text, "--skip-existing", "--force"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "1 user added\n");
    EXPECT_EQ(r.Err, "quorvane-cli: 4 logins were already there and were skipped: ANN, bob, carl, "
                     "Dora\n");
    r = Cli({"import", Db, text, "--force"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "5 users added\n");
    EXPECT_EQ(r.Err, "quorvane-cli: warning: 5 logins were already there: ANN, bob, dora, carl, "
                     "Dora; --skip-existing leaves them out\n");
    TUserList list;
    list.LoadFromFile(Db);
    EXPECT_EQ(list.Count(), 9);

    r = Cli({"export", Db, "--output", Dir.File("htpasswd"), "--format", "plain"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadWholeFile(Dir.File("htpasswd")), "ANN:a2\r\nbob:b2\r\ncarl:c2\r\nDora:d2\r\n");
    for (const char* note :
         {"warning: ann left out: the later ANN is written\n",
          "warning: bob left out: the later bob is written\n",
          "warning: dora left out: the later Dora is written\n"}) // and every other namesake
        EXPECT_NE(r.Err.find(note), std::string::npos) << r.Err;
    ASSERT_EQ(Cli({"disable", Db, "Dora"}).Status, 0);
    r = Cli({"export", Db, "--output", Dir.File("htpasswd"), "--format", "plain"});
    EXPECT_NE(r.Err.find("warning: dora left out: the later Dora is disabled\n"), std::string::npos)
        << r.Err;
}

// One bound for a password, on every way in, named in the refusal; nothing changes.
TEST_F(CredentialsCli, APasswordLongerThan4096BytesIsRefusedEverywhere) {
    const std::string longest(4096, 'p'), tooLong(4097, 'p');
    ASSERT_EQ(Cli({"add", Db, "ann", "--password", longest}).Status, 0);
    const std::string before = ReadWholeFile(Db);
    const std::string text = Dir.File("users.txt"), file = Dir.File("htpasswd");
    WriteWholeFile(text, "bob pw\ncarl " + tooLong + "\n");
    WriteWholeFile(file, "bob:$apr1$WmeOjj75$5cpk8XAoS6RQcPGkLm5i40\ncarl:" + tooLong + "\n");
    const struct {
        std::vector<std::string> Args;
        std::string Input;
    } cases[] = {
        {{"add", Db, "bob", "--password", tooLong}, ""},
        {{"add", Db, "bob", "--password-stdin"}, tooLong + "\n"},
        {{"passwd", Db, "ann", "--password-stdin"}, tooLong + "\n"},
        {{"import", Db, text}, ""},
        {{"import-htpasswd", Db, file}, ""},
        {{"hash", tooLong}, ""},
        {{"hash", "--password-stdin"}, tooLong + std::string(100000, 'x')},
        {{"verify", Db, "ann"}, tooLong + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args[0] + " " + c.Args.back().substr(0, 20));
        const TResult r = Cli(c.Args, c.Input);
        EXPECT_EQ(r.Status, 1);
        EXPECT_NE(r.Err.find("longer than 4096 bytes, the most a password may have"),
                  std::string::npos)
            << r.Err.substr(0, 300);
        EXPECT_LT(r.Err.size(), 400u) << "the password is not echoed";
        EXPECT_EQ(ReadWholeFile(Db), before);
    }
}

// A huge argument is named, not repeated, by the error that quotes it.
TEST_F(CredentialsCli, ErrorsQuoteAHugeArgumentCutShort) {
    const std::string huge(120000, 'z');
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"delete", Db, huge},
                                               {"list", huge},
                                               {"add", Db, "x", "--" + huge},
                                               {huge},
                                               {"import", Db, Dir.File(huge)},
                                               {"verify", Db, huge}}) {
        const TResult r = Cli(args, "pw\n");
        EXPECT_NE(r.Status, 0);
        EXPECT_LT(r.Err.size(), 1000u) << r.Err.substr(0, 200);
        EXPECT_NE(r.Err.find("zzz..."), std::string::npos) << r.Err.substr(0, 200);
    }
}

// A database that others can read holds clear passwords for them: the next save makes it
// private again and says so; a group that may change it keeps its rights.
TEST_F(CredentialsCli, ADatabaseOpenToOthersIsSavedPrivateWithAWarning) {
    const struct {
        mode_t Before, After;
        bool Warned;
    } cases[] = {{0644, 0600, true}, {0604, 0600, true},  {0640, 0600, true},
                 {0664, 0660, true}, {0660, 0660, false}, {0600, 0600, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Before);
        ASSERT_EQ(::chmod(Db.c_str(), c.Before), 0);
        const TResult r = Cli({"add", Db, "u" + std::to_string(c.Before), "--password", "pw"});
        ASSERT_EQ(r.Status, 0) << r.Err;
        struct stat st {};
        ASSERT_EQ(::stat(Db.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.After);
        EXPECT_EQ(r.Err.find("could be read by other users") != std::string::npos, c.Warned)
            << r.Err;
    }
}

TEST_F(CredentialsCli, ExportOfEmptyPasswordsNeedsConsent) {
    const std::string text = Dir.File("users.txt");
    WriteWholeFile(text, "jsmith\r\nalice a1\r\nann,,box\r\n");
    ASSERT_EQ(Cli({"import", Db, text}).Status, 0);
    const std::string out = Dir.File("htpasswd");

    for (const char* format : {"md5", "plain"}) {
        SCOPED_TRACE(format);
        TResult r = Cli({"export", Db, "--output", out, "--format", format});
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Err.rfind("quorvane-cli: Anyone who knows these logins gets in without a "
                              "password: ann, jsmith.",
                              0),
                  0u)
            << r.Err;
        EXPECT_NE(r.Err.find("--allow-empty-passwords"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    TResult r =
        Cli({"export", Db, "--output", out, "--format", "plain", "--allow-empty-passwords"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadWholeFile(out), "alice:a1\r\nann:\r\njsmith:\r\n");
}

TEST_F(CredentialsCli, ExportNamesLoginsServersTakeForComments) {
    ASSERT_EQ(Cli({"add", Db, "#team", "--password", "pw"}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "alice", "--password", "pw"}).Status, 0);
    const std::string out = Dir.File("htpasswd");
    const TResult r = Cli({"export", Db, "--output", out, "--format", "plain"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "quorvane-cli: warning: the login \"#team\" starts with \"#\"; web servers "
                     "read its line as a comment, so this user cannot log in\n"
                     "quorvane-cli: 2 users written to " +
                         out + "\n");
    EXPECT_EQ(ReadWholeFile(out), "#team:pw\r\nalice:pw\r\n");
}

// A database written by another program may hold what no command would make: it still opens,
// lists, can be mended, and then exports.
TEST_F(CredentialsCli, ADatabaseHoldingUnsafeUsersOpensAndCanBeMended) {
    TUserList list;
    list.LoadFromFile(Db);
    list.Add("admin:$apr1$x$y", "p").Comments = "forged";
    list.Add("ok", "pw");
    list.SaveToFile(Db);
    const std::string out = Dir.File("htpasswd");
    TResult r = Cli({"export", Db, "--output", out, "--allow-empty-passwords"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("user 1 \"admin:$apr1$x$y\" (the login holds a colon)"), std::string::npos)
        << r.Err;
    EXPECT_FALSE(std::filesystem::exists(out));
    ASSERT_EQ(Cli({"list", Db}).Status, 0);
    ASSERT_EQ(Cli({"delete", Db, "admin:$apr1$x$y"}).Status, 0) << Cli({"list", Db}).Out;
    r = Cli({"export", Db, "--output", out, "--format", "plain"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadWholeFile(out), "ok:pw\r\n");
}

TEST_F(CredentialsCli, ListEscapesWhatWouldFakeARowOrAColumn) {
    TUserList list;
    list.LoadFromFile(Db);
    TUserProp& user = list.Add("we\tird\\", "p");
    user.FullName = "Jo\r\nevil\tEnabled";
    user.Email = "a\\nb\x1b";
    list.SaveToFile(Db);
    const TResult r = Cli({"list", Db});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string row = r.Out.substr(0, r.Out.find('\n') + 1);
    EXPECT_EQ(row, r.Out) << "one user, one line";
    EXPECT_EQ(row.rfind("we\\tird\\\\\tEnabled\tNever\ta\\\\nb\\x1b\tJo\\r\\nevil\\tEnabled\t", 0),
              0u)
        << row;
}

// Standard output that takes nothing: a full disk, a closed pipe.
class TRefusingBuffer : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TResult CliToBrokenOutput(std::vector<std::string> args) {
    std::istringstream in;
    TRefusingBuffer refusing;
    std::ostream out(&refusing);
    std::ostringstream err;
    TCliStreams io{in, out, err, false};
    const int status = RunCli(args, io);
    return {status, "", err.str()};
}

TEST_F(CredentialsCli, OutputThatCannotBeWrittenFailsTheCommand) {
    ASSERT_EQ(Cli({"add", Db, "alice", "--password", "pw"}).Status, 0);
    const std::string before = ReadWholeFile(Db);
    // The series hands out passwords nobody else knows: nothing is saved unless they got out.
    TResult r = CliToBrokenOutput({"series", Db, "--count", "5"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "quorvane-cli: Cannot write to standard output; the new users were not "
                     "saved\n");
    EXPECT_EQ(ReadWholeFile(Db), before);

    // So does a generated password: the user is not locked out with one nobody saw.
    r = CliToBrokenOutput({"passwd", Db, "alice", "--generate"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "quorvane-cli: Cannot write to standard output; the password was not "
                     "changed\n");
    EXPECT_EQ(ReadWholeFile(Db), before);

    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"list", Db},
                                               {"info", Db},
                                               {"hash", "--salt", "abc", "pw"},
                                               {"--version"},
                                               {"--help"},
                                               {"help", "add"},
                                               {"list", "-h"}}) {
        r = CliToBrokenOutput(args);
        EXPECT_EQ(r.Status, 1) << args[0];
        EXPECT_NE(r.Err.find("Cannot write to standard output"), std::string::npos) << r.Err;
    }
}

TEST_F(CredentialsCli, GeneratedSecretsToAFullDiskExitOneAndSaveNothing) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    const std::string cli = QUORVANE_CLI_PATH;
    const std::string errFile = Dir.File("err.txt");
    ASSERT_EQ(Cli({"add", Db, "alice", "--password", "pw"}).Status, 0);
    const std::string withAlice = ReadWholeFile(Db);
    for (const std::string& command : std::vector<std::string>{
             " series '" + Db + "' --count 5", " passwd '" + Db + "' alice --generate"}) {
        SCOPED_TRACE(command);
        const int raw = std::system((cli + command + " >/dev/full 2>'" + errFile + "'").c_str());
        ASSERT_TRUE(WIFEXITED(raw));
        EXPECT_EQ(WEXITSTATUS(raw), 1);
        EXPECT_NE(ReadWholeFile(errFile).find("Cannot write to standard output"),
                  std::string::npos);
        EXPECT_EQ(ReadWholeFile(Db), withAlice);
    }
    // The same command with somewhere to write saves its users.
    const int ok = std::system((cli + " series '" + Db + "' --count 5 >/dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(ok));
    EXPECT_EQ(WEXITSTATUS(ok), 0);
    TUserList list;
    list.LoadFromFile(Db);
    EXPECT_EQ(list.Count(), 6);
}

TEST_F(CredentialsCli, PasswordFromATerminalIsAskedForAndNotShown) {
    const TTerminalRun run = RunOnTerminal(
        {QUORVANE_CLI_PATH, "add", Db, "eve", "--password-stdin"}, {{"Password: ", "T0p-s3cret"}});
    const std::string& shown = run.Shown;
    EXPECT_EQ(run.Answered, 1u) << shown;
    EXPECT_EQ(shown.find("T0p-s3cret"), std::string::npos) << "the password was echoed: " << shown;
    TUserList list;
    list.LoadFromFile(Db);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Users(0).Password, "T0p-s3cret");
}

} // namespace
