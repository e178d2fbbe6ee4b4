// quorvane-cli as scripts use it: the commands that change one field of named users, the
// generated password, the machine-readable output, --quiet, and that errors stay on standard
// error.

#include "CliRun.h"
#include "FtpTestServer.h"
#include "TestUtil.h"
#include "base/DateUtil.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "cli/SecretFile.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace quorvane;

namespace {

class CliScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Cli({"create", Db}).Status, 0);
        for (const char* login : {"ann", "bob", "cid"})
            ASSERT_EQ(Cli({"add", Db, login, "--password", std::string("pw-") + login, "--expire",
                           "never"})
                          .Status,
                      0);
    }
    TUserList& Reload() {
        FList = std::make_unique<TUserList>();
        FList->LoadFromFile(Db);
        return *FList;
    }
    TTempDir Dir;
    std::string Db = Dir.File("users.udx");

private:
    std::unique_ptr<TUserList> FList;
};

// Every command that names users fails with status 1, says why on standard error only, and
// leaves the file as it was; a command line it does not understand gives status 2.
TEST_F(CliScriptTest, RefusalsLeaveTheDatabaseAlone) {
    ASSERT_EQ(Cli({"import", Db,
                   [&] {
                       WriteWholeFile(Dir.File("twins.txt"), "twin a\ntwin b\n");
                       return Dir.File("twins.txt");
                   }(),
                   "--force"})
                  .Status,
              0);
    const std::string before = ReadWholeFile(Db);
    const struct {
        std::vector<std::string> Args;
        std::string Input;
        int Status;
        std::string ErrorPart;
    } cases[] = {
        {{"disable", Db, "ann", "nobody"}, "", 1, "User \"nobody\" not found"},
        {{"enable", Db, "Ann"}, "", 1, "User \"Ann\" not found"},
        {{"expire", Db, "bob", "ghost", "--never"}, "", 1, "User \"ghost\" not found"},
        {{"passwd", Db, "nobody", "--generate"}, "", 1, "User \"nobody\" not found"},
        {{"passwd", Db, "twin", "--generate"}, "", 1, "2 users have the login \"twin\""},
        {{"passwd", Db, "ann", "--password-stdin"}, " \t\n", 1, "must not be blank"},
        {{"passwd", Db, "ann", "--password-stdin"}, "", 1, "must not be blank"},
        {{"edit", Db, "ann", "--login", "Bob"}, "", 1, "User \"Bob\" already exists"},
        {{"edit", Db, "ann", "--login", "a:b"}, "", 1, "colon"},
        {{"edit", Db, "ann", "--login", ""}, "", 1, "The login is empty"},
        {{"edit", Db, "ann", "--login", "a\tb"}, "", 1, "control character"},
        {{"edit", Db, "ann", "--login", std::string("a\0b", 3)}, "", 1, "control character"},
        {{"edit", Db, "twin", "--email", "x@y"}, "", 1, "2 users have the login"},
        {{"disable", Db}, "", 2, "missing argument"},
        {{"expire", Db, "ann"}, "", 2, "exactly one of --on and --never"},
        {{"expire", Db, "ann", "--on", "2030-01-01", "--never"}, "", 2, "exactly one"},
        {{"expire", Db, "ann", "--on", "2030-02-30"}, "", 2, "--on takes"},
        {{"passwd", Db, "ann"}, "", 2, "exactly one of --password-stdin and --generate"},
        {{"passwd", Db, "ann", "--generate", "--password-stdin"}, "x\n", 2, "exactly one"},
        {{"passwd", Db, "ann", "--generate", "--length", "7"}, "", 2, "from 8 to 128"},
        {{"passwd", Db, "ann", "--generate", "--length", "129"}, "", 2, "from 8 to 128"},
        {{"passwd", Db, "ann", "--password-stdin", "--length", "12"}, "x\n", 2, "--length"},
        {{"passwd", Db, "ann", "--password", "x"}, "", 2, "unknown option --password"},
        {{"edit", Db, "ann"}, "", 2, "at least one of"},
        {{"list", Db, "--format", "xml"}, "", 2, "tsv or json"},
        {{"list", Db, "--json", "--format", "tsv"}, "", 2, "contradict"},
        {{"info", Db, "--quiet"}, "", 2, "unknown option --quiet"},
    };
    for (const auto& c : cases) {
        const TResult r = Cli(c.Args, c.Input);
        std::string line;
        for (const auto& a : c.Args)
            line += a + " ";
        EXPECT_EQ(r.Status, c.Status) << line << "\n" << r.Err;
        EXPECT_EQ(r.Out, "") << line;
        EXPECT_NE(r.Err.find(c.ErrorPart), std::string::npos) << line << "\n" << r.Err;
        EXPECT_EQ(ReadWholeFile(Db), before) << line;
    }
}

TEST_F(CliScriptTest, EnableDisableAndExpireChangeOnlyTheNamedUsers) {
    TResult r = Cli({"disable", Db, "ann", "cid", "ann"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out + r.Err, "");
    TUserList* list = &Reload();
    EXPECT_TRUE(list->Users(0).Disable);
    EXPECT_FALSE(list->Users(1).Disable);
    EXPECT_TRUE(list->Users(2).Disable);

    // Nothing to change: the file is not rewritten.
    const auto stamp = std::filesystem::last_write_time(Db);
    const std::string bytes = ReadWholeFile(Db);
    ASSERT_EQ(Cli({"disable", Db, "ann"}).Status, 0);
    EXPECT_EQ(ReadWholeFile(Db), bytes);
    EXPECT_EQ(std::filesystem::last_write_time(Db), stamp);

    ASSERT_EQ(Cli({"enable", Db, "cid"}).Status, 0);
    ASSERT_EQ(Cli({"expire", Db, "bob", "cid", "--on", "2031-07-08 09:10"}).Status, 0);
    list = &Reload();
    EXPECT_TRUE(list->Users(0).Disable);
    EXPECT_FALSE(list->Users(2).Disable);
    for (int i : {1, 2}) {
        EXPECT_TRUE(list->Users(i).Expire);
        EXPECT_EQ(FormatDateTime(list->Users(i).ExpireDate), "2031-07-08 09:10:00");
    }
    EXPECT_FALSE(list->Users(0).Expire);

    // --never switches expiry off and keeps the date.
    ASSERT_EQ(Cli({"expire", Db, "cid", "--never"}).Status, 0);
    list = &Reload();
    EXPECT_FALSE(list->Users(2).Expire);
    EXPECT_EQ(FormatDateTime(list->Users(2).ExpireDate), "2031-07-08 09:10:00");
    EXPECT_TRUE(list->Users(1).Expire);

    // Enabling a user whose date has passed works, with a warning that the sweep undoes it.
    ASSERT_EQ(Cli({"expire", Db, "ann", "--on", "2001-01-01"}).Status, 0);
    r = Cli({"enable", Db, "ann"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "");
    EXPECT_NE(r.Err.find("warning: user \"ann\" expired on 2001-01-01 00:00:00"), std::string::npos)
        << r.Err;
    EXPECT_FALSE(Reload().Users(0).Disable);
    EXPECT_EQ(Cli({"sweep", Db}).Out, "1\n");
}

TEST_F(CliScriptTest, PasswdSetsOneUsersPassword) {
    {
        // bob is known only by a hash taken over from a password file.
        TUserList& list = Reload();
        list.Users(1).Password.clear();
        list.Users(1).SetPasswordHash("$apr1$abcdefgh$0123456789abcdefghijkl");
        list.SaveToFile(Db);
    }
    const auto hashOnly = [this](int i) {
        const std::string json = Cli({"list", Db, "--json"}).Out;
        size_t at = 0;
        for (int k = 0; k <= i; ++k)
            at = json.find("\"password\": \"", at) + 13;
        return json.compare(at, 9, "hash only") == 0;
    };
    EXPECT_TRUE(hashOnly(1));
    EXPECT_FALSE(hashOnly(0));
    TResult r = Cli({"passwd", Db, "bob", "--password-stdin"}, "new secret\r\nignored\n");
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "") << "a password read from standard input is never echoed";
    TUserList& list = Reload();
    EXPECT_EQ(list.Users(1).Password, "new secret");
    EXPECT_EQ(list.Users(1).PasswordHash(), "") << "the new password replaces the stored hash";
    EXPECT_FALSE(hashOnly(1));
    EXPECT_EQ(list.Users(0).Password, "pw-ann");
    EXPECT_EQ(list.Users(2).Password, "pw-cid");
}

TEST_F(CliScriptTest, GeneratedPasswordsArePrintedOnceAndStored) {
    const std::string lookAlikes = "0O1lI";
    std::set<std::string> seen;
    for (const auto& [lengthArgs, length] :
         std::vector<std::pair<std::vector<std::string>, size_t>>{
             {{}, 16}, {{"--length", "8"}, 8}, {{"--length=128"}, 128}, {{}, 16}}) {
        std::vector<std::string> args = {"passwd", Db, "cid", "--generate"};
        args.insert(args.end(), lengthArgs.begin(), lengthArgs.end());
        const TResult r = Cli(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        ASSERT_EQ(r.Out.size(), length + 1) << r.Out;
        ASSERT_EQ(r.Out.back(), '\n');
        const std::string password = r.Out.substr(0, length);
        for (char c : password) {
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << password;
            EXPECT_EQ(lookAlikes.find(c), std::string::npos) << password;
        }
        EXPECT_EQ(Reload().Users(2).Password, password);
        EXPECT_TRUE(seen.insert(password).second) << "the same password twice: " << password;
    }
}

TEST_F(CliScriptTest, EditChangesTheGivenFieldsOnly) {
    ASSERT_EQ(Cli({"edit", Db, "bob", "--full-name", "Bob Bauer", "--email=bob@example.org",
                   "--comments", "line 1\r\nline 2"})
                  .Status,
              0);
    TUserList* list = &Reload();
    EXPECT_EQ(list->Users(1).FullName, "Bob Bauer");
    EXPECT_EQ(list->Users(1).Email, "bob@example.org");
    EXPECT_EQ(list->Users(1).Comments, "line 1\r\nline 2");
    EXPECT_EQ(list->Users(1).Password, "pw-bob");

    // A new login: its own case may change, it must not collide with anyone else's.
    TResult r = Cli({"edit", Db, "bob", "--login", "Bob", "--email", ""});
    ASSERT_EQ(r.Status, 0) << r.Err;
    list = &Reload();
    EXPECT_EQ(list->Users(1).Login, "Bob");
    EXPECT_EQ(list->Users(1).Email, "");
    EXPECT_EQ(list->Users(1).FullName, "Bob Bauer");
    EXPECT_EQ(Cli({"edit", Db, "Bob", "--login", "CID"}).Status, 1);
    EXPECT_EQ(Cli({"edit", Db, "Bob", "--login", " cid"}).Status, 0);
    EXPECT_EQ(Reload().Users(1).Login, " cid");
    r = Cli({"edit", Db, " cid", "--login", "#cid"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_NE(r.Err.find("warning: The login starts with \"#\""), std::string::npos) << r.Err;
}

// Python's json module as an independent reader: the text must be strict UTF-8 holding one
// JSON document, without raw control characters. A document that is a string comes back as its
// bytes (an escaped U+DCxx stands for the byte xx, as the writer carries bytes that are not
// UTF-8); any other document comes back empty. No value: Python refused the text.
std::optional<std::string> ReadWithPython(const std::string& json) {
    const TTempDir dir;
    WriteWholeFile(dir.File("read.py"),
                   "import json, sys\n"
                   "v = json.loads(open(sys.argv[1], 'rb').read().decode('utf-8'))\n"
                   "open(sys.argv[2], 'wb').write(\n"
                   "    v.encode('utf-8', 'surrogateescape') if isinstance(v, str) else b'')\n");
    WriteWholeFile(dir.File("doc.json"), json);
    const std::string command = "python3 " + dir.File("read.py") + " " + dir.File("doc.json") +
                                " " + dir.File("doc.out") + " 2>/dev/null";
    if (std::system(command.c_str()) != 0) return std::nullopt;
    return ReadWholeFile(dir.File("doc.out"));
}

TEST(CliJson, StringsRoundTripEveryByte) {
    static constexpr char kControls[] = "controls \x01\x1f\x7f\t\r\n and NUL \0 end";
    const std::string cases[] = {
        "",
        "plain",
        "quote \" backslash \\ slash /",
        std::string(kControls, sizeof kControls - 1),
        "UTF-8: J\xC3\xBCrgen \xE2\x82\xAC \xF0\x9F\x98\x80",
        "Latin-1: J\xFCrgen",
        "cut short: \xE2\x82",
        "overlong: \xC0\xAF \xE0\x80\xAF",
        "surrogate: \xED\xA0\x80",
        "above U+10FFFF: \xF4\x90\x80\x80 \xF5\x80\x80\x80",
        "stray continuation: \x80\xBF",
    };
    for (const std::string& bytes : cases) {
        const std::string json = quorvane::cli::JsonString(bytes);
        EXPECT_EQ(ReadWithPython(json), bytes) << json;
    }
    EXPECT_EQ(ReadWithPython("\"J\xFCrgen\""), std::nullopt) << "the reader refuses Latin-1";
    EXPECT_EQ(quorvane::cli::JsonString("J\xFCrgen"), "\"J\\uDCFCrgen\"");
    EXPECT_EQ(quorvane::cli::JsonString("\xC3\xBC\x01"), "\"\xC3\xBC\\u0001\"");
}

TEST_F(CliScriptTest, ListAndInfoAsJson) {
    ASSERT_EQ(Cli({"edit", Db, "ann", "--full-name", "Ann \"A\" M\xFCller", "--comments",
                   "two\r\nlines\t\\"})
                  .Status,
              0);
    ASSERT_EQ(Cli({"expire", Db, "bob", "--on", "2030-05-06 07:08:09"}).Status, 0);
    ASSERT_EQ(Cli({"disable", Db, "cid"}).Status, 0);
    TUserList& list = Reload();

    const auto created = [&](int i) { return FormatDateTime(list.Users(i).CreatedDate); };
    const std::string users =
        "{\n  \"users\": [\n"
        "    {\"login\": \"ann\", \"enabled\": true, \"expires\": null, \"email\": \"\", "
        "\"full_name\": \"Ann \\\"A\\\" M\\uDCFCller\", \"comments\": \"two\\r\\nlines\\t\\\\\", "
        "\"created\": \"" +
        created(0) +
        "\", \"password\": \"clear\", \"groups\": []},\n"
        "    {\"login\": \"bob\", \"enabled\": true, \"expires\": \"2030-05-06 07:08:09\", "
        "\"email\": \"\", \"full_name\": \"\", \"comments\": \"\", \"created\": \"" +
        created(1) +
        "\", \"password\": \"clear\", \"groups\": []},\n"
        "    {\"login\": \"cid\", \"enabled\": false, \"expires\": null, \"email\": \"\", "
        "\"full_name\": \"\", \"comments\": \"\", \"created\": \"" +
        created(2) +
        "\", \"password\": \"clear\", \"groups\": []}\n"
        "  ]\n}\n";
    for (const auto& args : {std::vector<std::string>{"list", Db, "--json"},
                             std::vector<std::string>{"list", "--format=json", Db}}) {
        const TResult r = Cli(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(r.Err, "");
        EXPECT_EQ(r.Out, users);
    }
    EXPECT_TRUE(ReadWithPython(users)) << "one well-formed document";
    // The default stays the tab-separated text.
    EXPECT_EQ(Cli({"list", Db}).Out, Cli({"list", Db, "--format", "tsv"}).Out);
    EXPECT_EQ(Cli({"list", Db}).Out.substr(0, 4), "ann\t");

    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", list.Fingerprint());
    EXPECT_EQ(Cli({"info", Db, "--json"}).Out,
              std::string("{\"users\": 3, \"enabled\": 2, \"disabled\": 1, \"fingerprint\": \"") +
                  hex + "\"}\n");

    // An empty database is still one document.
    ASSERT_EQ(Cli({"create", Dir.File("empty.udx")}).Status, 0);
    EXPECT_EQ(Cli({"list", Dir.File("empty.udx"), "--json"}).Out, "{\n  \"users\": []\n}\n");
}

TEST_F(CliScriptTest, QuietCountsAndShortHelp) {
    ASSERT_EQ(Cli({"expire", Db, "ann", "--on", "2001-01-01"}).Status, 0);
    TResult r = Cli({"sweep", Db, "--quiet"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out + r.Err, "");
    EXPECT_TRUE(Reload().Users(0).Disable);
    WriteWholeFile(Dir.File("more.txt"), "dan pw\neve pw\n");
    r = Cli({"import", Db, Dir.File("more.txt"), "--quiet"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out + r.Err, "");
    EXPECT_EQ(Reload().Count(), 5);
    WriteWholeFile(Dir.File("htpasswd"), "fay:$apr1$abcdefgh$0123456789abcdefghijkl\n");
    r = Cli({"import-htpasswd", Db, Dir.File("htpasswd"), "--quiet"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(Reload().Count(), 6);

    for (const char* command : {"passwd", "enable", "disable", "expire", "edit", "list"}) {
        r = Cli({command, "-h"});
        EXPECT_EQ(r.Status, 0) << command;
        EXPECT_EQ(r.Out.rfind(std::string("usage: quorvane-cli ") + command, 0), 0u) << r.Out;
        EXPECT_EQ(Cli({"help", command}).Out, r.Out);
    }
    // After "--", "-h" is a login like any other.
    r = Cli({"disable", Db, "--", "-h"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("User \"-h\" not found"), std::string::npos);
}

// The real program: results on standard output, every error on standard error.
TEST_F(CliScriptTest, TheProgramKeepsErrorsOffStandardOutput) {
    const std::string cli = QUORVANE_CLI_PATH;
    const std::string out = Dir.File("out"), err = Dir.File("err");
    const auto run = [&](const std::string& args) {
        const int raw = std::system((cli + " " + args + " >'" + out + "' 2>'" + err + "'").c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    EXPECT_EQ(run("passwd '" + Db + "' ann --generate --length 20"), 0);
    EXPECT_EQ(ReadWholeFile(out).size(), 21u);
    EXPECT_EQ(Reload().Users(0).Password + "\n", ReadWholeFile(out));
    for (const std::string& args :
         {"disable '" + Db + "' nobody", "edit '" + Db + "' ann --login bob",
          "list '" + Dir.File("missing.udx") + "' --json", "expire '" + Db + "' ann",
          std::string("frobnicate")}) {
        EXPECT_NE(run(args), 0) << args;
        EXPECT_EQ(ReadWholeFile(out), "") << args;
        EXPECT_NE(ReadWholeFile(err), "") << args;
    }
}

TEST(CliSecretFile, OnlyAPrivateFileGivesItsFirstLine) {
    TTempDir dir;
    const std::string path = dir.File("server-password");
    const struct {
        std::string Content;
        mode_t Mode;
        std::string Password; // empty: refused
        std::string ErrorPart;
    } cases[] = {
        {"s3cret\n", 0600, "s3cret", ""},
        {"s3cret\r\nsecond line\n", 0400, "s3cret", ""},
        {"no line end", 0600, "no line end", ""},
        {" blanks kept \n", 0600, " blanks kept ", ""},
        {"s3cret\n", 0640, "", "(mode 0640); make it private with \"chmod 600 " + path + "\""},
        {"s3cret\n", 0604, "", "mode 0604"},
        {"s3cret\n", 0620, "", "mode 0620"},
        {"", 0600, "", "is empty"},
        {"\nsecond\n", 0600, "", "is empty"},
        {std::string("a\0b\n", 4), 0600, "", "NUL"},
        {std::string(4096, 'p') + "\r\n", 0600, std::string(4096, 'p'), ""},
        {std::string(4097, 'p') + "\n", 0600, "", "longer than 4096 bytes"},
        {std::string(100000, 'p'), 0600, "", "longer than 4096 bytes"},
    };
    for (const auto& c : cases) {
        ::unlink(path.c_str());
        WriteWholeFile(path, c.Content);
        ASSERT_EQ(::chmod(path.c_str(), c.Mode), 0);
        try {
            const std::string password = quorvane::cli::ReadSecretFile(path);
            EXPECT_EQ(password, c.Password) << c.Content;
            EXPECT_FALSE(c.Password.empty()) << "accepted: " << c.Content;
        } catch (const std::exception& e) {
            EXPECT_TRUE(c.Password.empty()) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.ErrorPart), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(quorvane::cli::ReadSecretFile(dir.File("missing")), std::exception);

    // A pipe handed over as one of the process's descriptors (a process substitution) has no
    // mode to check; a fifo named in a folder is refused, since nobody may ever write to it.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::write(ends[1], "piped\n", 6), 6);
    ::close(ends[1]);
    EXPECT_EQ(quorvane::cli::ReadSecretFile("/dev/fd/" + std::to_string(ends[0])), "piped");
    ::close(ends[0]);
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ErrorOf([&] { quorvane::cli::ReadSecretFile(fifo); }),
              fifo + " is not a regular file");
}

// A scheduled export: the server password comes from a private file, never from the command
// line; a file others may read is refused before anything is uploaded.
TEST_F(CliScriptTest, ExportReadsTheServerPasswordFromAPrivateFile) {
    ftptest::TFtpServer server({}, true);
    ASSERT_EQ(Cli({"target", Db, "--url", "ftp://" + server.Host() + "/htpasswd", "--login",
                   ftptest::kUser, "--no-password"})
                  .Status,
              0);
    const std::string secret = Dir.File("server-password");
    WriteWholeFile(secret, ftptest::kPassword + "\n");
    ASSERT_EQ(::chmod(secret.c_str(), 0644), 0);
    TResult r = Cli({"export", Db, "--server-password-file", secret});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("chmod 600 " + secret), std::string::npos) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(server.Root() / "htpasswd"));

    r = Cli({"export", Db, "--server-password-file", secret, "--server-password-stdin"},
            ftptest::kPassword + "\n");
    EXPECT_EQ(r.Status, 2) << r.Err;

    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    WriteWholeFile(secret, "wrong\n");
    r = Cli({"export", Db, "--server-password-file", secret});
    EXPECT_EQ(r.Status, 1);
    EXPECT_FALSE(std::filesystem::exists(server.Root() / "htpasswd"));

    WriteWholeFile(secret, ftptest::kPassword + "\r\n");
    r = Cli({"export", Db, "--server-password-file=" + secret});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "");
    const std::string uploaded = ReadWholeFile(server.Root() / "htpasswd");
    EXPECT_EQ(uploaded.substr(0, 10), "ann:$apr1$") << uploaded;
    EXPECT_NE(uploaded.find("cid:$apr1$"), std::string::npos) << uploaded;
    EXPECT_EQ(ReadWholeFile(Db).find(ftptest::kPassword), std::string::npos)
        << "the password from the file is not stored";
}

} // namespace
