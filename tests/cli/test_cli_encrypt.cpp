// Encrypted databases from the command line: encrypt, decrypt and rekey, every other command on
// an encrypted database as on a plain one, and the master password from a file or a terminal.

#include "CliRun.h"
#include "Terminal.h"
#include "TestUtil.h"
#include "userdb/Envelope.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorvane;

namespace {

const std::string KWrong = "quorvane-cli: Wrong master password or damaged file\n";

class EncryptCli : public ::testing::Test {
protected:
    void SetUp() override {
        test_hooks::SetDefaultKdfParams({1, 8192});
        Secret("master", "Master-Pass-1");
        Secret("other", "Other-Pass-22");
        WriteWholeFile(Key, "key file bytes");
        ASSERT_EQ(Cli({"create", Db}).Status, 0);
        for (const char* login : {"alice", "bob", "carol"})
            ASSERT_EQ(
                Cli({"add", Db, login, "--password-stdin"}, std::string(login) + "-pw\n").Status,
                0);
    }
    void TearDown() override { test_hooks::SetDefaultKdfParams({}); }

    // A private file holding a password, named after what it holds.
    std::string Secret(const std::string& name, const std::string& password) {
        const std::string path = Dir.File(name);
        WriteWholeFile(path, password + "\n");
        ::chmod(path.c_str(), 0600);
        return path;
    }
    std::string File(const std::string& name) const { return Dir.File(name); }
    bool Encrypted(const std::string& path) const {
        return IsEncryptedDatabase(ReadWholeFile(path));
    }

    TTempDir Dir;
    std::string Db = Dir.File("users.udx");
    std::string Key = Dir.File("site.key");
};

TEST_F(EncryptCli, EveryCommandWorksOnAnEncryptedDatabaseAsOnAPlainOne) {
    const std::string plain = File("plain.udx");
    std::filesystem::copy_file(Db, plain);
    ASSERT_EQ(Cli({"encrypt", Db, "--master-password-file", File("master")}).Status, 0);
    ASSERT_TRUE(Encrypted(Db));
    WriteWholeFile(File("new.txt"), "dave dave-pw\r\nerin erin-pw\r\n");
    WriteWholeFile(File("site.htpasswd"), "frank:frank-pw\n");
    struct TStep {
        std::vector<std::string> Args; // after the command name: "DB" stands for the database
        std::string Input;
        bool SameOutput; // the plain database's run prints the same
    } steps[] = {
        {{"info", "DB"}, "", true},
        {{"add", "DB", "zoe", "--password-stdin", "--full-name", "Zoe Z"}, "zoe-pw\n", true},
        {{"edit", "DB", "zoe", "--email", "zoe@example.org"}, "", true},
        {{"passwd", "DB", "alice", "--password-stdin"}, "alice-new\n", true},
        {{"disable", "DB", "bob"}, "", true},
        {{"enable", "DB", "bob"}, "", true},
        {{"expire", "DB", "carol", "--on", "2001-01-01"}, "", true},
        {{"sweep", "DB"}, "", true},
        {{"group", "DB", "add", "staff", "alice", "bob"}, "", true},
        {{"import", "DB", File("new.txt")}, "", true},
        {{"import-htpasswd", "DB", File("site.htpasswd"), "--plain-text"}, "", true},
        {{"delete", "DB", "erin"}, "", true},
        {{"verify", "DB", "alice"}, "alice-new\n", true},
        {{"list", "DB", "--format", "tsv"}, "", false}, // the creation times differ
        {{"export", "DB", "--output", "OUT", "--format", "plain"}, "", true},
        {{"restore", "DB", "--list", "--target", File("site.htpasswd")}, "", true},
        {{"series", "DB", "--count", "2"}, "", false}, // new random logins
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.Args[0]);
        auto run = [&](const std::string& db, const std::string& out, bool withPassword) {
            std::vector<std::string> args;
            for (const std::string& a : step.Args)
                args.push_back(a == "DB" ? db : a == "OUT" ? out : a);
            if (withPassword) {
                args.push_back("--master-password-file");
                args.push_back(File("master"));
            }
            return Cli(args, step.Input);
        };
        const TResult ours = run(Db, File("encrypted.out"), true);
        const TResult theirs = run(plain, File("plain.out"), false);
        EXPECT_EQ(ours.Status, 0) << ours.Err << theirs.Err;
        EXPECT_EQ(ours.Status, theirs.Status);
        if (step.SameOutput) {
            std::string expected = theirs.Out;
            for (size_t at; (at = expected.find(plain)) != std::string::npos;)
                expected.replace(at, plain.size(), Db);
            EXPECT_EQ(ours.Out, expected);
        }
        EXPECT_TRUE(Encrypted(Db));
    }
    EXPECT_EQ(ReadWholeFile(File("encrypted.out")), ReadWholeFile(File("plain.out")));
    // None of the logins or passwords is in the file, and it opens to the same users.
    const std::string bytes = ReadWholeFile(Db);
    for (const char* secret : {"alice", "alice-new", "zoe-pw", "dave-pw", "frank", "staff"})
        EXPECT_EQ(bytes.find(secret), std::string::npos) << secret;
    ASSERT_EQ(Cli({"decrypt", Db, "--master-password-file", File("master")}).Status, 0);
    TUserList ours, theirs;
    ours.LoadFromFile(Db);
    theirs.LoadFromFile(plain);
    EXPECT_EQ(ours.Count(), theirs.Count());
    for (int i = 0; i < theirs.Count() - 2; ++i) {
        EXPECT_EQ(ours.Users(i).Login, theirs.Users(i).Login);
        EXPECT_EQ(ours.Users(i).Password, theirs.Users(i).Password);
        EXPECT_EQ(ours.Users(i).Disable, theirs.Users(i).Disable);
    }
}

TEST_F(EncryptCli, WhatIsRefusedAndWhatStaysUntouched) {
    ASSERT_EQ(
        Cli({"encrypt", Db, "--master-password-file", File("master"), "--key-file", Key}).Status,
        0);
    const std::string readable = Secret("readable", "Master-Pass-1");
    ::chmod(readable.c_str(), 0644);
    WriteWholeFile(File("other.key"), "other key bytes");
    struct TCase {
        const char* Name;
        std::vector<std::string> Args;
        std::string Err;
    } cases[] = {
        {"wrong password",
         {"add", Db, "x", "--password", "p", "--master-password-file", File("other"), "--key-file",
          Key},
         KWrong},
        {"wrong key file",
         {"sweep", Db, "--master-password-file", File("master"), "--key-file", File("other.key")},
         KWrong},
        {"key file left out",
         {"sweep", Db, "--master-password-file", File("master")},
         "quorvane-cli: The database " + Db +
             " was encrypted with a key file: name it with --key-file\n"},
        {"password file others may read",
         {"sweep", Db, "--master-password-file", readable, "--key-file", Key},
         "quorvane-cli: The password file " + readable +
             " may be read or changed by other users (mode 0644); make it private with \"chmod "
             "600 " +
             readable + "\"\n"},
        {"encrypted twice",
         {"encrypt", Db, "--master-password-file", File("master")},
         "quorvane-cli: The database " + Db +
             " is already encrypted; rekey gives it a new master password\n"},
    };
    const std::string before = ReadWholeFile(Db);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TResult r = Cli(c.Args);
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Err, c.Err);
        EXPECT_EQ(ReadWholeFile(Db), before);
        EXPECT_EQ(Dir.Entries().size(), 6u); // no temporary file, lock file or copy stays
    }
    // decrypt and rekey want an encrypted database.
    const std::string plain = File("plain.udx");
    ASSERT_EQ(Cli({"create", plain}).Status, 0);
    for (const char* command : {"decrypt", "rekey"}) {
        std::vector<std::string> args = {command, plain};
        if (std::string(command) == "rekey")
            args.insert(args.end(), {"--new-master-password-file", File("other")});
        const TResult r = Cli(args);
        EXPECT_EQ(r.Err, "quorvane-cli: The database " + plain + " is not encrypted\n") << command;
    }
}

TEST_F(EncryptCli, RekeyTakesANewPasswordAndKeepsOrChangesTheKeyFile) {
    ASSERT_EQ(
        Cli({"encrypt", Db, "--master-password-file", File("master"), "--key-file", Key}).Status,
        0);
    const std::string otherKey = File("other.key");
    WriteWholeFile(otherKey, "the other key");
    struct TStep {
        std::vector<std::string> Rekey; // options after the current password and key file
        std::string NewKeyFile;         // what opens it afterwards
    } steps[] = {
        {{}, Key},
        {{"--new-key-file", otherKey}, otherKey},
        {{"--no-key-file"}, ""},
        {{"--new-key-file", Key}, Key},
    };
    std::string password = "master", key = Key;
    for (const TStep& step : steps) {
        const std::string next = password == "master" ? "other" : "master";
        std::vector<std::string> args = {
            "rekey",   Db, "--master-password-file", File(password), "--new-master-password-file",
            File(next)};
        if (!key.empty()) args.insert(args.end(), {"--key-file", key});
        args.insert(args.end(), step.Rekey.begin(), step.Rekey.end());
        const TResult r = Cli(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        std::vector<std::string> list = {"info", Db, "--master-password-file", File(password)};
        if (!key.empty()) list.insert(list.end(), {"--key-file", key});
        EXPECT_EQ(Cli(list).Status, 1); // the old password (and key file) no longer opens it
        password = next;
        key = step.NewKeyFile;
        list = {"info", Db, "--master-password-file", File(password)};
        if (!key.empty()) list.insert(list.end(), {"--key-file", key});
        EXPECT_EQ(Cli(list).Status, 0) << Cli(list).Err;
    }
    EXPECT_EQ(Cli({"rekey", Db, "--new-key-file", Key, "--no-key-file"}).Status, 2);
}

// encrypt, rekey and decrypt take the state store and the kept versions over to the new key
// with the database: after each, the kept versions count their users and restore, and the
// state still tells a change made on the site from the database's own.
TEST_F(EncryptCli, SideFilesGoOverToTheNewKeyWithTheDatabase) {
    const std::string site = File("htpasswd");
    const std::string state = File(".users.udx.state");
    ASSERT_EQ(Cli({"target", Db, "--file", site}).Status, 0);
    ASSERT_EQ(Cli({"export", Db, "--quiet"}).Status, 0);
    ASSERT_EQ(Cli({"passwd", Db, "alice", "--password-stdin"}, "alice-2\n").Status, 0);
    ASSERT_EQ(Cli({"export", Db, "--quiet"}).Status, 0); // keeps the first version
    struct TStep {
        std::vector<std::string> Args;
        std::vector<std::string> Opens; // what opens the database afterwards
        bool Sealed;                    // the side files are sealed afterwards
    };
    const std::vector<std::string> master = {"--master-password-file", File("master")};
    const std::vector<std::string> other = {"--master-password-file", File("other")};
    const TStep steps[] = {
        {{"encrypt", Db, "--master-password-file", File("master")}, master, true},
        {{"rekey", Db, "--master-password-file", File("master"), "--new-master-password-file",
          File("other")},
         other,
         true},
        {{"decrypt", Db, "--master-password-file", File("other")}, {}, false},
    };
    int round = 0;
    ASSERT_EQ(Dir.Entries().size(), 6u);
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.Args[0]);
        const TResult r = Cli(step.Args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        const auto with = [&](std::vector<std::string> args) {
            args.insert(args.end(), step.Opens.begin(), step.Opens.end());
            return args;
        };
        EXPECT_EQ(IsEncryptedDatabase(ReadWholeFile(state)), step.Sealed);
        const TResult list = Cli(with({"restore", Db, "--list"}));
        ASSERT_EQ(list.Status, 0) << list.Err;
        EXPECT_NE(list.Out.find("3 users"), std::string::npos) << list.Out;
        EXPECT_EQ(list.Out.find(" 0 users"), std::string::npos) << list.Out;
        // A change made on the site is still told from the database's own.
        const std::string before = ReadWholeFile(site);
        WriteWholeFile(site, before + "mallory:$apr1$x$y" + std::to_string(round++) + "\n");
        const TResult exported = Cli(with({"export", Db}));
        EXPECT_EQ(exported.Status, 1) << exported.Err;
        EXPECT_NE(exported.Err.find("+ mallory"), std::string::npos) << exported.Err;
        // restore brings back the oldest version, the first export's file.
        const auto oldest = std::count(list.Out.begin(), list.Out.end(), '\n');
        const TResult restored = Cli(with({"restore", Db, std::to_string(oldest), "--overwrite"}));
        EXPECT_EQ(restored.Status, 0) << restored.Err;
        EXPECT_EQ(ReadWholeFile(site).find("mallory"), std::string::npos);
        EXPECT_EQ(Dir.Entries().size(), 6u); // nothing prepared is left beside the database
    }
}

// A key file the program itself rewrites would change under the key: the database could never
// be opened again. Such a file is refused, by what it is and not by how it is named.
TEST_F(EncryptCli, AFileTheProgramRewritesIsRefusedAsKeyFile) {
    const std::string site = File("htpasswd");
    ASSERT_EQ(Cli({"target", Db, "--file", site}).Status, 0);
    ASSERT_EQ(Cli({"group", Db, "add", "staff", "alice"}).Status, 0);
    ASSERT_EQ(Cli({"export", Db, "--quiet"}).Status, 0); // the password file, its groups, state
    const std::string state = File(".users.udx.state");
    ASSERT_TRUE(std::filesystem::exists(state));
    ASSERT_EQ(::symlink(Db.c_str(), File("link.key").c_str()), 0);
    ASSERT_EQ(::link(Db.c_str(), File("hard.key").c_str()), 0);
    ASSERT_EQ(::symlink(state.c_str(), File("state.key").c_str()), 0);
    WriteWholeFile(File(".users.udx.Ab12Cd"), "left by a crash");
    const std::string kept = std::string(std::getenv("XDG_STATE_HOME")) + "/quorvane/backups";
    std::filesystem::create_directories(kept + "/some-target");
    WriteWholeFile(kept + "/some-target/20260101T000000.000Z", "kept");
    const std::string refused[] = {
        Db,
        File("link.key"),
        File("hard.key"),
        state,
        File("state.key"),
        File(".users.udx.Ab12Cd"),
        File("users.udx.lock"),
        site,
        site + ".groups",
        kept + "/some-target/20260101T000000.000Z",
    };
    const std::string before = ReadWholeFile(Db);
    for (const std::string& key : refused) {
        SCOPED_TRACE(key);
        if (key == File("users.udx.lock")) WriteWholeFile(key, ""); // gone after each command
        const TResult r =
            Cli({"encrypt", Db, "--master-password-file", File("master"), "--key-file", key});
        EXPECT_EQ(r.Status, 1);
        EXPECT_NE(r.Err.find("The key file " + key + " is a file this program writes"),
                  std::string::npos)
            << r.Err;
        EXPECT_EQ(ReadWholeFile(Db), before);
    }
    // A file that stays as it is serves, whatever its name; rekey refuses the same files.
    const std::string ours = File(".users.udx.key");
    WriteWholeFile(ours, "key file bytes");
    ASSERT_EQ(
        Cli({"encrypt", Db, "--master-password-file", File("master"), "--key-file", ours}).Status,
        0);
    for (const std::string& key : {Db, state}) {
        const TResult r =
            Cli({"rekey", Db, "--master-password-file", File("master"), "--key-file", ours,
                 "--new-master-password-file", File("other"), "--new-key-file", key});
        EXPECT_EQ(r.Status, 1) << key;
        EXPECT_NE(r.Err.find("is a file this program writes"), std::string::npos) << r.Err;
    }
    EXPECT_EQ(
        Cli({"info", Db, "--master-password-file", File("master"), "--key-file", ours}).Status, 0);
}

// The real program at a terminal: the master password is asked for, twice for a new one, and
// never shown; without a terminal or a file it is not waited for.
TEST_F(EncryptCli, TheMasterPasswordIsTypedWithoutEcho) {
    test_hooks::SetDefaultKdfParams({}); // the program's own parameters
    const std::string cli = QUORVANE_CLI_PATH;
    TTerminalRun run = RunOnTerminal({cli, "encrypt", Db},
                                     {{"New master password: ", "Typed-Master-9"},
                                      {"Repeat the new master password: ", "Typed-Master-9"}});
    EXPECT_EQ(run.Answered, 2u) << run.Shown;
    EXPECT_TRUE(WIFEXITED(run.Status) && WEXITSTATUS(run.Status) == 0) << run.Shown;
    EXPECT_TRUE(Encrypted(Db));
    run =
        RunOnTerminal({cli, "list", Db}, {{"Master password for " + Db + ": ", "Typed-Master-9"}});
    EXPECT_EQ(run.Answered, 1u) << run.Shown;
    EXPECT_NE(run.Shown.find("carol"), std::string::npos) << run.Shown;
    run = RunOnTerminal({cli, "decrypt", Db}, {{"Master password for ", "typed-master-9"}});
    EXPECT_NE(run.Shown.find("Wrong master password or damaged file"), std::string::npos);
    run = RunOnTerminal({cli, "rekey", Db}, {{"Master password for ", "Typed-Master-9"},
                                             {"New master password: ", "one"},
                                             {"Repeat the new master password: ", "two"}});
    EXPECT_NE(run.Shown.find("The master passwords do not match"), std::string::npos) << run.Shown;
    EXPECT_EQ(run.Shown.find("Typed-Master-9"), std::string::npos) << run.Shown;
    EXPECT_TRUE(Encrypted(Db));
    // Standard input not a terminal, no password file: a clear refusal, at once.
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        const int err = ::open(File("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(null, 0);
        ::dup2(err, 2);
        ::execl(cli.c_str(), cli.c_str(), "list", Db.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_EQ(ReadWholeFile(File("err")),
              "quorvane-cli: The database " + Db +
                  " is encrypted: type its master password on a terminal or give "
                  "--master-password-file\n");
}

// --no-prompt on a terminal: nothing is asked, whatever would be fails at once and says why.
TEST_F(EncryptCli, NoPromptAsksNothingEvenOnATerminal) {
    const std::string cli = QUORVANE_CLI_PATH;
    const std::string plain = File("plain.udx");
    std::filesystem::copy_file(Db, plain);
    ASSERT_EQ(Cli({"encrypt", Db, "--master-password-file", File("master")}).Status, 0);
    const std::string locked = "The database " + Db +
                               " is encrypted: give --master-password-file (--no-prompt asks for "
                               "nothing)";
    struct TCase {
        std::vector<std::string> Args;
        std::string Says;
    } cases[] = {
        {{cli, "--no-prompt", "list", Db}, locked},
        {{cli, "list", Db, "--no-prompt"}, locked},
        {{cli, "--no-prompt", "passwd", Db, "alice", "--password-stdin"},
         "\"Password\" is not asked under --no-prompt"},
        {{cli, "--no-prompt", "encrypt", plain}, "\"New master password\" is not asked"},
        {{cli, "--no-prompt", "add", plain, "dave", "--password-stdin"},
         "\"Password\" is not asked under --no-prompt"},
    };
    for (const TCase& c : cases) {
        const TTerminalRun run = RunOnTerminal(c.Args, {});
        EXPECT_TRUE(WIFEXITED(run.Status) && WEXITSTATUS(run.Status) == 1) << run.Shown;
        EXPECT_NE(run.Shown.find(c.Says), std::string::npos) << run.Shown;
        EXPECT_EQ(run.Shown.find("assword:"), std::string::npos) << run.Shown;
    }
    TUserList list;
    list.LoadFromFile(plain);
    EXPECT_EQ(list.Count(), 3) << "nothing was added";
    EXPECT_FALSE(Encrypted(plain));
}

} // namespace
