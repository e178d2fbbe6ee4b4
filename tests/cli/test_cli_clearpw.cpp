// Databases that keep no clear passwords, through quorvane-cli: the switch, every way a password
// comes in, and the exported file judged by Apache's htpasswd and nginx.

#include "CliRun.h"
#include "ExportTestUtil.h"
#include "NginxTestServer.h"
#include "TestUtil.h"
#include "cli/Commands.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <sstream>

using namespace quorvane;

namespace {

bool Holds(const std::string& file, const std::string& bytes) {
    return ReadWholeFile(file).find(bytes) != std::string::npos;
}

// A new database in a folder of its own with these users, switched to keep no clear passwords
// when asked. Run() puts the database for "DB" and a file beside it for "OUT".
struct TSite {
    using TUsers = std::vector<std::pair<std::string, std::string>>;
    TSite(const TUsers& users, bool switched) {
        EXPECT_EQ(Cli({"create", Db}).Status, 0);
        for (const auto& [login, pw] : users)
            EXPECT_EQ(Cli({"add", Db, login, "--password-stdin"}, pw + "\n").Status, 0);
        if (switched) {
            EXPECT_EQ(Cli({"settings", Db, "--keep-clear-passwords", "no", "--yes"}).Status, 0);
        }
    }
    TResult Run(std::vector<std::string> args, const std::string& input = {}) const {
        for (std::string& a : args)
            a = a == "DB" ? Db : a == "OUT" ? Out : a;
        return Cli(args, input);
    }
    TTempDir Dir;
    const std::string Db = Dir.File("site.udx");
    const std::string Out = Dir.File("other");
};

// The users a database of each form starts with, then the switch: none of the passwords is in
// the file any more, and the exported file lets each of them in (and no wrong password).
TEST(KeepNoClearPasswords, SwitchedDatabaseExportsAFileHtpasswdAndNginxAccept) {
    if (::access("/usr/bin/htpasswd", X_OK) != 0) GTEST_SKIP() << "htpasswd is not installed";
    nginxtest::TNginxServer nginx;
    if (!nginx.Available()) GTEST_SKIP() << nginx.SkipReason();
    const std::vector<std::vector<std::string>> forms = {
        {"--format", "md5"},
        {"--format", "bcrypt", "--cost", "5"},
        {"--format", "sha512", "--rounds", "5000"},
    };
    const TSite::TUsers users = {
        {"ann", "Ann-s3cret-pw"}, {"bob", "b0b's pass word"}, {"carl", "c\xc3\xa4rl-pw"}};
    for (const auto& form : forms) {
        const TSite site(users, false);
        const std::string& db = site.Db;
        const std::string out = nginx.PasswordFilePath().string();
        std::vector<std::string> choose = {"export", db, "--save-choice", "--output", out};
        choose.insert(choose.end(), form.begin(), form.end());
        ASSERT_EQ(Cli(choose).Status, 0) << form[1];

        const TResult r = Cli({"settings", db, "--keep-clear-passwords", "no", "--yes"});
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(r.Err, "quorvane-cli: 3 passwords replaced by their hashes\n");
        for (const auto& [login, pw] : users)
            EXPECT_FALSE(Holds(db, pw)) << form[1] << " " << login;

        ASSERT_EQ(Cli({"export", db, "--output", out, "--overwrite"}).Status, 0) << form[1];
        for (const auto& [login, pw] : users) {
            EXPECT_EQ(HtpasswdVerify(out, login, pw), 0) << form[1] << " " << login;
            EXPECT_EQ(HtpasswdVerify(out, login, pw + "x"), 3) << form[1] << " " << login;
            EXPECT_EQ(nginx.Status(login, pw), 200) << form[1] << " " << login;
            EXPECT_EQ(nginx.Status(login, "x" + pw), 401) << form[1] << " " << login;
        }
    }
}

// Each way a password comes in, in a database that keeps none: the database file holds no clear
// password afterwards, and the user's hash takes the password that was given or printed once.
TEST(KeepNoClearPasswords, EveryWayInKeepsOnlyTheHash) {
    struct TCase {
        const char* Name;
        std::vector<std::string> Args; // after the database
        std::string Input;
        std::string Login;    // the user to check; empty: the logins the command printed
        std::string Password; // the password given; empty: the one the command printed
    };
    const TCase cases[] = {
        {"add", {"add", "DB", "dora", "--password-stdin"}, "Dora-pw-1\n", "dora", "Dora-pw-1"},
        {"passwd",
         {"passwd", "DB", "ann", "--password-stdin"},
         "New-ann-pw\n",
         "ann",
         "New-ann-pw"},
        {"passwd --generate", {"passwd", "DB", "ann", "--generate"}, "", "ann", ""},
        {"add --update",
         {"add", "DB", "ann", "--update", "--password-stdin"},
         "Upd-pw\n",
         "ann",
         "Upd-pw"},
        {"import",
         {"import", "DB", "-"},
         "eve,Eve-import-pw,eve@example.org\n",
         "eve",
         "Eve-import-pw"},
        {"series", {"series", "DB", "--count", "3", "--password-length", "12"}, "", "", ""},
    };
    for (const TCase& c : cases) {
        const TSite site({{"ann", "Old-ann-pw"}}, true);
        const std::string& db = site.Db;
        const TResult r = site.Run(c.Args, c.Input);
        ASSERT_EQ(r.Status, 0) << c.Name << ": " << r.Err;

        std::vector<std::pair<std::string, std::string>> given;
        if (!c.Login.empty()) {
            given.emplace_back(c.Login,
                               c.Password.empty() ? r.Out.substr(0, r.Out.size() - 1) : c.Password);
        } else { // "login<TAB>password" lines
            std::istringstream lines(r.Out);
            for (std::string line; std::getline(lines, line);)
                given.emplace_back(line.substr(0, line.find('\t')),
                                   line.substr(line.find('\t') + 1));
        }
        ASSERT_FALSE(given.empty()) << c.Name;
        for (const auto& [login, pw] : given) {
            ASSERT_FALSE(pw.empty()) << c.Name;
            EXPECT_FALSE(Holds(db, pw)) << c.Name << ": the file holds the password of " << login;
            EXPECT_EQ(Cli({"verify", db, login}, pw + "\n").Status, 0) << c.Name << " " << login;
        }
        EXPECT_FALSE(Holds(db, "Old-ann-pw")) << c.Name;
        EXPECT_TRUE(Holds(db, "KeepClearPasswords = False")) << c.Name;
    }
}

// What is refused leaves the database as it was.
TEST(KeepNoClearPasswords, RefusalsChangeNothing) {
    struct TCase {
        const char* Name;
        bool SwitchFirst;
        std::vector<std::string> Args; // after the database
        std::string Error;             // part of the message
    };
    const TCase cases[] = {
        {"without --yes", false, {"settings", "DB", "--keep-clear-passwords", "no"}, "--yes"},
        {"plain text",
         false,
         {"settings", "DB", "--keep-clear-passwords", "no", "--yes"},
         "plain text"},
        {"another form",
         true,
         {"export", "DB", "--format", "bcrypt", "--output", "OUT"},
         "bcrypt needs the clear passwords of these users, which this database does not keep: "
         "ann"},
        {"another stored form",
         true,
         {"export", "DB", "--format", "sha256", "--save-choice", "--output", "OUT"},
         "SHA-256-crypt needs the clear passwords"},
    };
    for (const TCase& c : cases) {
        const TSite site({{"ann", "ann-pw"}, {"bob", "bob-pw"}}, c.SwitchFirst);
        if (std::string(c.Name) == "plain text") {
            ASSERT_EQ(site.Run({"export", "DB", "--format", "plain", "--save-choice", "--output",
                                site.Dir.File("htpasswd")})
                          .Status,
                      0);
        }
        const std::string before = ReadWholeFile(site.Db);
        const TResult r = site.Run(c.Args);
        EXPECT_EQ(r.Status, 1) << c.Name;
        EXPECT_NE(r.Err.find(c.Error), std::string::npos) << c.Name << ": " << r.Err;
        EXPECT_EQ(ReadWholeFile(site.Db), before) << c.Name;
        EXPECT_FALSE(std::filesystem::exists(site.Out)) << c.Name;
    }
}

} // namespace
