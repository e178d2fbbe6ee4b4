// quorvane-cli end to end: exact output of each command, exit statuses, and the database
// files the commands leave behind.

#include "CliRun.h"
#include "FtpTestServer.h"
#include "TestUtil.h"
#include "base/DateUtil.h"
#include "cli/Commands.h"
#include "export/htpasswd.h"
#include "userdb/DataLibInternal.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>

using namespace quorvane;

namespace {

class CliTest : public ::testing::Test {
protected:
    TTempDir Dir;
    std::string Db = Dir.File("users.udx");
};

TEST_F(CliTest, CreateMakesTheDefaultDatabaseAndRefusesToOverwrite) {
    TResult r = Cli({"create", Db});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadWholeFile(Db), "object TUserList\r\n  Items = <>\r\n  PassType = ptMD5\r\n"
                                 "  ExportToFile = True\r\n  FtpStorePass = True\r\n"
                                 "  FtpPassiveMode = True\r\nend\r\n");
    r = Cli({"info", Db});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "users: 0\nenabled: 0\ndisabled: 0\nfingerprint: A160D7C5\n");

    r = Cli({"create", Db});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("already exists"), std::string::npos) << r.Err;
}

TEST_F(CliTest, AddListAndInfo) {
    ASSERT_EQ(Cli({"create", Db}).Status, 0);
    TResult r = Cli({"add", Db, "alice", "--password", "s3cret", "--full-name", "Alice A",
                     "--email", "alice@example.org", "--expire", "2030-05-06 07:08:09"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    r = Cli({"add", Db, "bob", "--password-stdin", "--disabled", "--comments=line1\r\nline2",
             "--expire", "never"},
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

    r = Cli({"list", Db});
    ASSERT_EQ(r.Status, 0);
    const std::string created0 = FormatDateTime(list.Users(0).CreatedDate);
    const std::string created1 = FormatDateTime(list.Users(1).CreatedDate);
    EXPECT_EQ(r.Out, "alice\tEnabled\t2030-05-06 07:08:09\talice@example.org\tAlice A\t" +
                         created0 + "\tclear\nbob\tDisabled\tNever\t\t\t" + created1 + "\tclear\n");

    r = Cli({"info", Db});
    EXPECT_EQ(r.Out.substr(0, r.Out.find("fingerprint")), "users: 2\nenabled: 1\ndisabled: 1\n");
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", list.Fingerprint());
    EXPECT_NE(r.Out.find(std::string("fingerprint: ") + hex + "\n"), std::string::npos);
}

TEST_F(CliTest, AddGivesTheDesktopsDefaultExpiryUnlessToldOtherwise) {
    // Each row: the options file the desktop left (nullptr: none), the add's options; whether
    // the user expires, and after how many days (-1: on the day given).
    struct TCase {
        const char* Options;
        std::vector<std::string> Args;
        bool Expire;
        int Days;
    } cases[] = {
        {nullptr, {}, true, 30},
        {"[Options]\nDefaultExpiryDays=365\n", {}, true, 365},
        {"[Options]\nDefaultExpiryDays=0\n", {}, false, 0},
        {"[Options]\nDefaultExpiryDays=365\n", {"--expire", "never"}, false, 0},
        {"[Options]\nDefaultExpiryDays=365\n", {"--expire", "2031-01-02"}, true, -1},
    };
    const std::string config = Dir.File("config");
    const std::string saved = std::getenv("XDG_CONFIG_HOME");
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    for (const TCase& c : cases) {
        std::filesystem::remove_all(config);
        if (c.Options != nullptr) {
            std::filesystem::create_directories(config + "/quorvane");
            WriteWholeFile(config + "/quorvane/quorvane.conf", c.Options);
        }
        std::filesystem::remove(Db);
        ASSERT_EQ(Cli({"create", Db}).Status, 0);
        std::vector<std::string> args = {"add", Db, "ann", "--password", "pw"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        const TDateTime before = Now();
        const TResult r = Cli(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        TUserList list;
        list.LoadFromFile(Db);
        const TUserProp& user = list.Users(0);
        EXPECT_EQ(user.Expire, c.Expire) << (c.Options ? c.Options : "none");
        if (c.Days > 0) {
            EXPECT_EQ(user.ExpireDate, user.CreatedDate + c.Days);
            EXPECT_GE(user.CreatedDate, before - 2.0 / 86400); // stored to the second
        }
        EXPECT_EQ(r.Err, "");
        if (c.Days < 0) {
            EXPECT_EQ(user.ExpireDate, At(2031, 1, 2));
        }
    }
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

TEST_F(CliTest, AddRefusesDuplicatesAndBlanksWithoutTouchingTheFile) {
    ASSERT_EQ(Cli({"create", Db}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "bob", "--password", "x"}).Status, 0);
    const std::string before = ReadWholeFile(Db);

    TResult r = Cli({"add", Db, "Bob", "--password", "y"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "quorvane-cli: User \"Bob\" already exists\n");
    EXPECT_EQ(Cli({"add", Db, "  ", "--password", "y"}).Status, 1);
    EXPECT_EQ(Cli({"add", Db, "carol", "--password", " \t"}).Status, 1);
    EXPECT_EQ(ReadWholeFile(Db), before);

    // The uniqueness test neither trims nor folds anything but a-z.
    EXPECT_EQ(Cli({"add", Db, " bob", "--password", "y"}).Status, 0);
}

TEST_F(CliTest, UsageErrorsExitWithTwo) {
    ASSERT_EQ(Cli({"create", Db}).Status, 0);
    EXPECT_EQ(Cli({}).Status, 2);
    EXPECT_EQ(Cli({"frobnicate"}).Status, 2);
    EXPECT_EQ(Cli({"info"}).Status, 2);
    EXPECT_EQ(Cli({"info", Db, "extra"}).Status, 2);
    TResult r = Cli({"add", Db, "x"});
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("usage: quorvane-cli add DB LOGIN"), std::string::npos) << r.Err;
    EXPECT_EQ(Cli({"add", Db, "x", "--password", "p", "--password-stdin"}).Status, 2);
    EXPECT_EQ(Cli({"add", Db, "x", "--password", "p", "--expire", "2030-02-30"}).Status, 2);
    EXPECT_EQ(Cli({"add", Db, "x", "--bogus"}).Status, 2);
    EXPECT_EQ(Cli({"add", Db, "x", "--password"}).Status, 2);
}

TEST_F(CliTest, ErrorsNameTheFile) {
    const std::string missing = Dir.File("missing.udx");
    TResult r = Cli({"info", missing});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "quorvane-cli: Cannot open file " + missing + "\n");

    WriteWholeFile(Db, "not a database");
    r = Cli({"list", Db});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "quorvane-cli: The file is not valid\n");
}

TEST_F(CliTest, DeleteMatchesTheLoginExactly) {
    ASSERT_EQ(Cli({"create", Db}).Status, 0);
    // Told to take a file's namesakes as they are, the import brings in several of them.
    const std::string text = Dir.File("users.txt");
    WriteWholeFile(text, "ann p1\nAnn p2\nann p3\nbea p4\n");
    ASSERT_EQ(Cli({"import", Db, text, "--force"}).Status, 0);
    EXPECT_EQ(Cli({"delete", Db, "ann"}).Status, 0);
    TUserList list;
    list.LoadFromFile(Db);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Users(0).Login, "Ann");
    EXPECT_EQ(list.Users(1).Login, "bea");

    TResult r = Cli({"delete", Db, "nobody"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("nobody"), std::string::npos);
}

TEST_F(CliTest, SweepDisablesOnlyWhatHasPassed) {
    ASSERT_EQ(Cli({"create", Db}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "past", "--password", "p", "--expire", "2001-01-01"}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "future", "--password", "p", "--expire", "2999-01-01"}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "never", "--password", "p"}).Status, 0);
    TResult r = Cli({"sweep", Db});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "1\n");
    EXPECT_EQ(Cli({"sweep", Db}).Out, "0\n");
    TUserList list;
    list.LoadFromFile(Db);
    EXPECT_TRUE(list.Users(0).Disable);
    EXPECT_FALSE(list.Users(1).Disable);
    EXPECT_FALSE(list.Users(2).Disable);
}

// Read in pieces on other threads, with each run of users listed, counted or swept where it
// was read, a database gives what one pass gives: the output of each command and the file a
// sweep saves. An export saves the users its sweep disabled as the sweep does, where logins
// repeat too.
TEST_F(CliTest, CommandsReadInPiecesGiveWhatOnePassGives) {
    TUserList list;
    for (int i = 0; i < 30; ++i) {
        TUserProp& user = list.Add("user" + std::to_string(i), "pw");
        user.Disable = i % 7 == 3;
        user.Expire = i % 3 != 0;
        user.ExpireDate = i % 2 == 0 ? 1000.5 : 1e6;
        user.Email = i % 4 == 0 ? "a\tb@example.org" : "";
        user.Comments = i % 5 == 0 ? "kept" : "";
    }
    // user2 has expired; these have its login and have not, or have no expiry.
    list.Add("user2", "pw").ExpireDate = 1000.5;
    TUserProp& later = list.Add("user2", "pw");
    later.Expire = true;
    later.ExpireDate = 1e6;
    list.SaveToFile(Db);
    const std::string swept = Dir.File("swept.udx"), exported = Dir.File("exported.udx");
    const std::vector<std::vector<std::string>> commands = {
        {"list", Db},
        {"list", Db, "--json"},
        {"list", Db, "--json", "--disabled"},
        {"list", Db, "--expired"},
        {"info", Db},
        {"info", Db, "--json"},
        {"sweep", swept},
        {"export", exported, "--quiet", "--output", Dir.File("out")}};
    std::vector<std::string> onePass;
    for (const auto& [bytes, workers] : {std::pair<size_t, unsigned>{0, 0}, {1, 0}, {60, 2}}) {
        test_hooks::SetReadPieces(bytes, workers);
        for (const std::string& copy : {swept, exported}) {
            std::remove(copy.c_str());
            WriteWholeFile(copy, ReadWholeFile(Db));
        }
        std::vector<std::string> got;
        for (const auto& command : commands) {
            const TResult r = Cli(command);
            got.push_back(std::to_string(r.Status) + r.Out + r.Err);
        }
        got.push_back(ReadWholeFile(swept));
        EXPECT_EQ(ReadWholeFile(exported), got.back()) << "pieces of " << bytes;
        test_hooks::SetReadPieces(0, 0);
        if (onePass.empty()) {
            onePass = got;
            continue;
        }
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i], onePass[i]) << "pieces of " << bytes << ", " << i;
    }
}

TEST_F(CliTest, HelpAndVersion) {
    TResult r = Cli({"--help"});
    EXPECT_EQ(r.Status, 0);
    for (const char* name : {"create", "info", "list", "add", "delete", "sweep"})
        EXPECT_NE(r.Out.find(std::string("  ") + name), std::string::npos) << name;
    EXPECT_EQ(Cli({"--version"}).Out, "quorvane-cli " QUORVANE_VERSION "\n");
    r = Cli({"help", "add"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out.rfind("usage: quorvane-cli add DB LOGIN", 0), 0u);
    EXPECT_EQ(Cli({"help", "nothing"}).Status, 2);
    EXPECT_EQ(Cli({"sweep", "--help"}).Status, 0);
}

TEST_F(CliTest, ImportAppendsAndCounts) {
    ASSERT_EQ(Cli({"create", Db}).Status, 0);
    const std::string text = Dir.File("users.txt");
    WriteWholeFile(text, "ann pw1 ann@example.org \"Ann Smith\"\r\nbob,pw2\n");
    TResult r = Cli({"import", Db, text});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "2 users added\n");
    TUserList list;
    list.LoadFromFile(Db);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Users(0).FullName, "Ann Smith");
    EXPECT_EQ(list.Users(1).Password, "pw2");

    const std::string before = ReadWholeFile(Db);
    r = Cli({"import", Db, Dir.File("nope.txt")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "quorvane-cli: Cannot open file " + Dir.File("nope.txt") + "\n");
    EXPECT_EQ(ReadWholeFile(Db), before);
}

TEST_F(CliTest, ImportRefusesASpreadsheetsSurprisesNamingTheLines) {
    // Each row: the file, the options; the exit status, what standard error says (parts), the
    // logins added.
    struct TCase {
        std::string Text;
        std::vector<std::string> Options;
        int Status;
        std::vector<std::string> Says;
        std::string Logins;
    } cases[] = {
        {"login,password,email,name\nmary ann,Pw-Lange-0751!,m@x,Mary\nbob,Pw-2,b@x,Bob\n",
         {},
         1,
         {"line 2: more fields than the other lines (4)", "line 2: the login holds a blank",
          "One line looks wrong (line 2); nothing was added"},
         ""},
        {"login,password,email,name\nmary ann,Pw-Lange-0751!,m@x,Mary\nbob,Pw-2,b@x,Bob\n",
         {"--separator", "comma", "--force"},
         0,
         {"line 1 names the columns; it was not added"},
         "mary ann,bob"},
        {"Benutzer;Kennwort\nanna;Geheim-1\n", {}, 1, {"give --separator semicolon"}, ""},
        {"Benutzer;Kennwort\nanna;Geheim-1\n", {"--separator", "semicolon"}, 0, {}, "anna"},
        {"ann a1\nbob b1\nann a2\n",
         {},
         1,
         {"line 1: the same login as line 3", "line 3: the same login as line 1", "(lines 1, 3)"},
         ""},
        {"ann a1\nbob b1\nann a2\n", {"--force"}, 0, {"already there: ann"}, "ann,bob,ann"},
        {"a 1\n", {"--separator", "colon"}, 2, {"--separator takes comma"}, ""},
    };
    const std::string text = Dir.File("users.csv");
    for (const TCase& c : cases) {
        std::filesystem::remove(Db);
        ASSERT_EQ(Cli({"create", Db}).Status, 0);
        const std::string before = ReadWholeFile(Db);
        WriteWholeFile(text, c.Text);
        std::vector<std::string> args = {"import", Db, text};
        args.insert(args.end(), c.Options.begin(), c.Options.end());
        const TResult r = Cli(args);
        EXPECT_EQ(r.Status, c.Status) << c.Text << r.Err;
        for (const std::string& part : c.Says)
            EXPECT_NE(r.Err.find(part), std::string::npos) << part << "\n" << r.Err;
        TUserList list;
        list.LoadFromFile(Db);
        std::string logins;
        for (int i = 0; i < list.Count(); ++i)
            logins += (i ? "," : "") + list.Users(i).Login;
        EXPECT_EQ(logins, c.Logins) << c.Text;
        if (c.Status != 0) {
            EXPECT_EQ(ReadWholeFile(Db), before) << "untouched";
        }
    }
}

TEST_F(CliTest, SeriesPrintsWhatItCreated) {
    ASSERT_EQ(Cli({"create", Db}).Status, 0);
    TResult r = Cli({"series", Db, "--count", "5", "--login-length", "8", "--login-case", "upper",
                     "--password-chars", "numeral", "--password-length", "12"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    TUserList list;
    list.LoadFromFile(Db);
    ASSERT_EQ(list.Count(), 5);
    std::string expected;
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& u = list.Users(i);
        EXPECT_EQ(u.Login.size(), 8u);
        EXPECT_EQ(u.Password.size(), 12u);
        for (char c : u.Login)
            EXPECT_TRUE(c >= 'A' && c <= 'Z') << u.Login;
        for (char c : u.Password)
            EXPECT_TRUE(c >= '1' && c <= '9') << u.Password;
        expected += u.Login + "\t" + u.Password + "\n";
    }
    EXPECT_EQ(r.Out, expected);

    EXPECT_EQ(Cli({"series", Db, "--count", "0"}).Status, 2);
    EXPECT_EQ(Cli({"series", Db, "--login-length", "3"}).Status, 2);
    EXPECT_EQ(Cli({"series", Db, "--login-case", "mixed"}).Status, 2);
    EXPECT_EQ(Cli({"series", Db, "--numbered"}).Status, 2); // a number needs a prefix
    EXPECT_EQ(Cli({"series", Db, "--expire", "soon"}).Status, 2);

    // Guests: numbered logins after a prefix, one expiry and one group for all of them.
    r = Cli({"series", Db, "--count", "2", "--prefix", "guest", "--numbered", "--expire",
             "2027-01-31", "--groups", "guests"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out.substr(0, 8), "guest01\t");
    TUserList guests;
    guests.LoadFromFile(Db);
    ASSERT_EQ(guests.Count(), 7);
    EXPECT_EQ(guests.Users(6).Login, "guest02");
    EXPECT_TRUE(guests.Users(6).Expire);
    EXPECT_EQ(guests.Users(6).Groups(), "guests");
}

TEST_F(CliTest, SeriesThatRunsOutOfLoginsWarns) {
    ASSERT_EQ(Cli({"create", Db}).Status, 0);
    // Four numerals from 1 to 9 leave 6561 logins; asking for more than that must stop short.
    TResult r = Cli({"series", Db, "--count", "7000", "--login-length", "4", "--login-chars",
                     "numeral", "--password-length", "4"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    TUserList list;
    list.LoadFromFile(Db);
    EXPECT_LT(list.Count(), 7000);
    EXPECT_EQ(r.Err, "quorvane-cli: Only " + std::to_string(list.Count()) +
                         " users has been created. Increase the login length to create more.\n");
}

TEST_F(CliTest, ExportWritesTheFileAndSweeps) {
    ASSERT_EQ(Cli({"create", Db}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "carl", "--password", "c pw"}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "Bob", "--password", "b", "--disabled"}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "alice", "--password", "a1"}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "old", "--password", "o", "--expire", "2000-01-01"}).Status, 0);

    const std::string out = Dir.File("htpasswd");
    TResult r = Cli({"export", Db, "--output", out, "--format", "plain"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadWholeFile(out), "alice:a1\r\ncarl:c pw\r\n");
    TUserList list;
    list.LoadFromFile(Db);
    EXPECT_TRUE(list.Users(3).Disable) << "the sweep's result is saved";

    r = Cli({"export", Db, "--output", out});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string md5 = ReadWholeFile(out);
    ASSERT_EQ(md5.rfind("alice:$apr1$", 0), 0u) << md5;
    const std::string aliceHash = md5.substr(6, md5.find("\r\n") - 6);
    EXPECT_EQ(Apr1CryptWithSalt("a1", aliceHash), aliceHash);

    // Without --output the database's own target is used; a database naming none fails.
    r = Cli({"export", Db});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("--output"), std::string::npos);
    EXPECT_EQ(Cli({"export", Db, "--format", "sha"}).Status, 2);
    r = Cli({"export", Db, "--output", Dir.File("no/such/folder/htpasswd")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("Cannot create file"), std::string::npos) << r.Err;
}

// An export reads a plain database without what no password file holds (comments, and names
// unless a program it writes for reads them) and saves its changes into the file as it is
// there. Whichever way it saves, every user keeps every field; a program that reads names gets
// them, as they are now.
TEST_F(CliTest, WhateverAnExportSavesEveryUserKeepsEveryField) {
    const std::string site = Dir.File("site"), out = Dir.File("out");
    const auto make = [&] {
        std::filesystem::remove(Db);
        std::filesystem::remove(site);
        ASSERT_EQ(Cli({"create", Db}).Status, 0);
        ASSERT_EQ(
            Cli({"add", Db, "ann", "--password", "a1", "--full-name", "Ann Example", "--email",
                 "ann@example.org", "--comments=first\r\nsecond", "--groups", "staff"})
                .Status,
            0);
        ASSERT_EQ(Cli({"add", Db, "old", "--password", "o1", "--expire", "2000-01-01",
                       "--full-name", "Old Timer", "--comments=left"})
                      .Status,
                  0);
        WriteWholeFile(Dir.File("taken"),
                       "hashed:$2y$05$VPMNWhOG.tt2HnmyWtzwsuJhr.bqDhcU2pUDPBklMYWMyeh.ElBem\n");
        ASSERT_EQ(Cli({"import-htpasswd", Db, Dir.File("taken")}).Status, 0);
        ASSERT_EQ(Cli({"edit", Db, "hashed", "--email", "h@example.org"}).Status, 0);
        ASSERT_EQ(Cli({"target", Db, "--file", site}).Status, 0);
    };
    struct TCase {
        const char* What;
        std::vector<std::string> Args;
        bool Merge = false; // a user added on the site first, taken in by --merge
    };
    const TCase cases[] = {
        {"the sweep alone", {"export", Db}},
        {"to a file of its own", {"export", Db, "--output", out}},
        {"a form stored", {"export", Db, "--format", "sha512", "--save-choice"}},
        {"line ends stored", {"export", Db, "--line-ends", "lf"}},
        {"names written", {"export", Db, "--consumer", "authelia", "--output", out}},
        {"a change on the site taken in", {"export", Db, "--merge"}, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        make();
        TUserList expected;
        expected.LoadFromFile(Db);
        expected.Users(1).Disable = true; // expired
        if (c.Merge) {
            ASSERT_EQ(Cli({"export", Db, "--quiet"}).Status, 0);
            WriteWholeFile(site, ReadWholeFile(site) + "zed:{SHA}W6ph5Mm5Pz8GgiULbPgzG37mj9g=\r\n");
        }
        const TResult r = Cli(c.Args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        TUserList saved;
        saved.LoadFromFile(Db);
        ASSERT_EQ(saved.Count(), expected.Count() + (c.Merge ? 1 : 0));
        for (int i = 0; i < expected.Count(); ++i)
            EXPECT_TRUE(saved.Users(i).SameAs(expected.Users(i))) << saved.Users(i).Login;
        if (c.Merge) EXPECT_EQ(saved.Users(3).Login, "zed");
    }
    // Names go to the program that reads them as they are now, not as a file built before.
    make();
    ASSERT_EQ(Cli({"export", Db, "--consumer", "authelia", "--output", out}).Status, 0);
    const std::string before = ReadWholeFile(out);
    EXPECT_NE(before.find("Ann Example"), std::string::npos) << before;
    EXPECT_NE(before.find("h@example.org"), std::string::npos) << before;
    ASSERT_EQ(Cli({"edit", Db, "ann", "--email", "ann@example.net"}).Status, 0);
    ASSERT_EQ(Cli({"export", Db, "--consumer", "authelia", "--output", out}).Status, 0);
    const std::string after = ReadWholeFile(out);
    EXPECT_NE(after.find("ann@example.net"), std::string::npos) << after;
}

// The file this database wrote last is replaced by what takes its place, even nothing (every
// user disabled), and the version kept of it is what it held. A new content of users is
// checked against such a file by the target's own test.
TEST_F(CliTest, AFileThisDatabaseWroteIsKeptThenReplacedByNothing) {
    const std::string site = Dir.File("site");
    const std::string folder = std::string(std::getenv("XDG_STATE_HOME")) + "/quorvane/backups";
    // The state folder is the whole program's: other cases keep versions there too.
    std::filesystem::remove_all(folder);
    ASSERT_EQ(Cli({"create", Db}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "ann", "--password", "a1"}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "bob", "--password", "b1"}).Status, 0);
    ASSERT_EQ(Cli({"target", Db, "--file", site}).Status, 0);
    ASSERT_EQ(Cli({"export", Db, "--quiet"}).Status, 0);
    const std::string before = ReadWholeFile(site);
    ASSERT_FALSE(before.empty());
    ASSERT_EQ(Cli({"disable", Db, "ann", "bob"}).Status, 0);
    const TResult r = Cli({"export", Db, "--quiet"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadWholeFile(site), "");
    std::vector<std::string> kept;
    for (const auto& target : std::filesystem::directory_iterator(folder))
        for (const auto& version : std::filesystem::directory_iterator(target))
            kept.push_back(version.path().string());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadWholeFile(kept.front()), before);
}

TEST_F(CliTest, HashMatchesTheGivenSalt) {
    TResult r = Cli({"hash", "--salt", "abcdefgh", "secret"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, Apr1CryptWithSalt("secret", "abcdefgh") + "\n");
    EXPECT_EQ(r.Out.rfind("$apr1$abcdefgh$", 0), 0u);
    r = Cli({"hash", "secret"});
    ASSERT_EQ(r.Status, 0);
    const std::string hash = r.Out.substr(0, r.Out.size() - 1);
    EXPECT_EQ(hash.size(), 37u);
    EXPECT_EQ(Apr1CryptWithSalt("secret", hash), hash);
    EXPECT_EQ(Cli({"hash", "--password-stdin"}, "secret\n").Out.size(), 38u);
    EXPECT_EQ(Cli({"hash"}).Status, 2);
}

TEST_F(CliTest, ExportUploadsToTheDatabasesFtpServer) {
    ftptest::TFtpServer server({}, true);
    ASSERT_EQ(Cli({"create", Db}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "alice", "--password", "a1"}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "bob", "--password", "b2"}).Status, 0);
    {
        TUserList list;
        list.LoadFromFile(Db);
        First(list)->ExportToFile = false;
        First(list)->FtpHost = server.Host();
        First(list)->FtpUser = ftptest::kUser;
        First(list)->FtpPass = ftptest::kPassword;
        First(list)->FtpPasswdFile = "site/.htpasswd";
        list.PassType = TPasswordsType::ptPlainText;
        list.SaveToFile(Db);
    }
    std::filesystem::create_directories(server.Root() / "site");
    // A file there whose users the database all has: replaced without a question.
    WriteWholeFile((server.Root() / "site" / ".htpasswd").string(), "alice:old\r\n");

    // The private temporary file of the upload must be gone afterwards.
    const std::filesystem::path tmp = Dir.Path() / "tmp";
    std::filesystem::create_directories(tmp);
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string savedTmp = oldTmp ? oldTmp : "";
    setenv("TMPDIR", tmp.c_str(), 1);
    TResult r = Cli({"export", Db, "--progress"});
    if (savedTmp.empty())
        unsetenv("TMPDIR");
    else
        setenv("TMPDIR", savedTmp.c_str(), 1);
    EXPECT_TRUE(std::filesystem::is_empty(tmp));
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string done = "quorvane-cli: 2 users written to site/.htpasswd\n";
    const std::string building = "Creating passwords file - 0% completed\n";
    EXPECT_EQ(r.Err, building + "Connecting to " + server.Host() +
                         "...\n"
                         "Uploading site/.htpasswd - 0% completed\n"
                         "Uploading site/.htpasswd - 100% completed\n" +
                         done)
        << "the worker's status texts go to standard error when asked";
    // Without a terminal or --progress: the line that says it is done; with --quiet nothing; a
    // dry run shows no upload, since there is none.
    const struct {
        std::vector<std::string> Options;
        std::string Err;
    } quietly[] = {
        {{}, done},
        {{"--quiet"}, ""},
        {{"--dry-run", "--progress"}, building + "Connecting to " + server.Host() + "...\n"},
    };
    for (const auto& c : quietly) {
        std::vector<std::string> args = {"export", Db};
        args.insert(args.end(), c.Options.begin(), c.Options.end());
        r = Cli(args);
        EXPECT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(r.Err, c.Err);
    }
    // Uploaded in text mode: the server stores its own line ends.
    const std::string uploaded = ReadWholeFile((server.Root() / "site" / ".htpasswd").string());
    EXPECT_TRUE(uploaded == "alice:a1\nbob:b2\n" || uploaded == "alice:a1\r\nbob:b2\r\n")
        << uploaded;
    EXPECT_FALSE(std::filesystem::exists(server.Root() / "site" / ".htpasswd_safeupload"));

    // A password that is not stored comes from standard input; a wrong one fails the export.
    {
        TUserList list;
        list.LoadFromFile(Db);
        First(list)->FtpStorePass = false;
        First(list)->FtpPass.clear();
        list.SaveToFile(Db);
    }
    r = Cli({"export", Db});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("--ftp-password-stdin"), std::string::npos) << r.Err;
    r = Cli({"export", Db, "--ftp-password-stdin"}, "wrong\n");
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("quorvane-cli: "), std::string::npos) << r.Err;
    EXPECT_EQ(ReadWholeFile((server.Root() / "site" / ".htpasswd").string()), uploaded);
    r = Cli({"export", Db, "--ftp-password-stdin"}, ftptest::kPassword + "\n");
    EXPECT_EQ(r.Status, 0) << r.Err;
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
