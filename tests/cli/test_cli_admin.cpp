// What administrators reach for on the command line: reports by state, expiry and group,
// quiet and JSON results for scripts, standard input, htpasswd -b's one-step update, line ends
// kept from a taken-over file, credentials mails, and groups judged by Apache's Require group.

#include "ApacheTestServer.h"
#include "CliRun.h"
#include "NginxTestServer.h"
#include "TestUtil.h"
#include "export/PasswordFile.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

class CliAdmin : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Cli({"create", Db}).Status, 0);
        for (const char* login : {"ann", "bob", "carl"})
            ASSERT_EQ(
                Cli({"add", Db, login, "--password-stdin"}, std::string(login) + "-pw\n").Status,
                0);
    }
    TTempDir Dir;
    std::string Db = Dir.File("site.udx");
};

std::string Logins(const std::string& tsv) {
    std::string logins;
    for (size_t start = 0; start < tsv.size();) {
        const size_t end = tsv.find('\n', start);
        logins += tsv.substr(start, tsv.find('\t', start) - start) + " ";
        start = end + 1;
    }
    return logins;
}

TEST_F(CliAdmin, ListSelectsByStateExpiryAndGroup) {
    const std::string soon = FormatDateTime(Now() + 3);
    const std::string later = FormatDateTime(Now() + 60);
    ASSERT_EQ(Cli({"expire", Db, "ann", "--on", soon}).Status, 0);
    ASSERT_EQ(Cli({"expire", Db, "bob", "--on", later}).Status, 0);
    ASSERT_EQ(Cli({"disable", Db, "carl"}).Status, 0);
    ASSERT_EQ(Cli({"group", Db, "add", "staff", "ann", "carl"}).Status, 0);
    const struct {
        std::vector<std::string> Options;
        std::string Logins;
    } cases[] = {
        {{"--expiring-within", "14d"}, "ann "},      {{"--expiring-within", "9w"}, "ann bob "},
        {{"--expiring-within", "36h"}, ""},          {{"--disabled"}, "carl "},
        {{"--enabled", "--group", "staff"}, "ann "}, {{"--group", "staff"}, "ann carl "},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"list", Db};
        args.insert(args.end(), c.Options.begin(), c.Options.end());
        SCOPED_TRACE(args[2]);
        const TResult r = Cli(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(Logins(r.Out), c.Logins == "" ? std::string() : c.Logins);
    }
    const TResult json = Cli({"list", Db, "--json", "--group", "staff", "--enabled"});
    EXPECT_NE(json.Out.find("\"login\": \"ann\""), std::string::npos) << json.Out;
    EXPECT_NE(json.Out.find("\"groups\": [\"staff\"]"), std::string::npos) << json.Out;
    EXPECT_EQ(json.Out.find("carl"), std::string::npos);
    EXPECT_EQ(Cli({"list", Db, "--expiring-within", "soon"}).Status, 2);
    EXPECT_EQ(Cli({"group", Db, "add", "a:b", "ann"}).Status, 1);
}

TEST_F(CliAdmin, QuietExportsNameWeakHashesAsACountAndJsonCarriesTheResult) {
    WriteWholeFile(Dir.File("old"), "dora:{SHA}W6ph5Mm5Pz8GgiULbPgzG37mj9g=\n"
                                    "ed:{SHA}W6ph5Mm5Pz8GgiULbPgzG37mj9g=\n");
    ASSERT_EQ(Cli({"import-htpasswd", Db, Dir.File("old")}).Status, 0);
    const std::string file = Dir.File("htpasswd");
    const TResult loud = Cli({"export", Db, "--output", file});
    ASSERT_EQ(loud.Status, 0) << loud.Err;
    EXPECT_NE(loud.Err.find("  dora (SHA-1)"), std::string::npos) << loud.Err;
    const TResult quiet = Cli({"export", Db, "--output", file, "--quiet"});
    ASSERT_EQ(quiet.Status, 0);
    EXPECT_EQ(quiet.Out, "");
    // Taken over in other forms than the database's MD5: counted too.
    EXPECT_EQ(quiet.Err, "quorvane-cli: warning: Users with a password in another form than MD5, "
                         "which not every program reads: 2\n"
                         "2 users still use weak hashes: set new passwords for them\n");
    const TResult json = Cli({"export", Db, "--output", file, "--quiet", "--json"});
    ASSERT_EQ(json.Status, 0) << json.Err;
    EXPECT_NE(json.Out.find("\"written\": 5"), std::string::npos) << json.Out;
    EXPECT_NE(json.Out.find("{\"login\": \"dora\", \"scheme\": \"SHA-1\"}"), std::string::npos)
        << json.Out;
    EXPECT_EQ(Cli({"export", Db, "--output", "-", "--json"}).Status, 2);
}

TEST_F(CliAdmin, ImportReadsStandardInputAndUpdateSetsAPasswordInOneStep) {
    const TResult r = Cli({"import", Db, "-", "--json"}, "dora,dora-pw,d@example.org\n\n");
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("\"added\": 1"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("\"blank_lines\": 1"), std::string::npos) << r.Out;
    // htpasswd -b: a new login is added, an existing one gets the new password, once.
    ASSERT_EQ(Cli({"add", Db, "bob", "--password-stdin", "--update"}, "new-pw\n").Status, 0);
    ASSERT_EQ(Cli({"add", Db, "eve", "--password-stdin", "--update"}, "eve-pw\n").Status, 0);
    EXPECT_EQ(Cli({"add", Db, "bob", "--password-stdin"}, "x\n").Status, 1); // still refused
    const std::string file = Dir.File("htpasswd");
    ASSERT_EQ(Cli({"export", Db, "--output", file, "--format", "plain"}).Status, 0);
    EXPECT_EQ(ReadWholeFile(file), "ann:ann-pw\r\nbob:new-pw\r\ncarl:carl-pw\r\n"
                                   "dora:dora-pw\r\neve:eve-pw\r\n");
}

TEST_F(CliAdmin, ATakenOverFileKeepsItsLineEndsAndLineEndsCanBeChosen) {
    const std::string file = Dir.File("htpasswd");
    ASSERT_EQ(Cli({"export", Db, "--output", file, "--format", "plain"}).Status, 0);
    EXPECT_NE(ReadWholeFile(file).find("\r\n"), std::string::npos);
    const std::string before = ReadWholeFile(Db);
    WriteWholeFile(Dir.File("unix"), "zed:zed-pw\n");
    ASSERT_EQ(Cli({"import-htpasswd", Db, Dir.File("unix"), "--plain-text"}).Status, 0);
    ASSERT_EQ(Cli({"export", Db, "--output", file, "--format", "plain"}).Status, 0);
    EXPECT_EQ(ReadWholeFile(file), "ann:ann-pw\nbob:bob-pw\ncarl:carl-pw\nzed:zed-pw\n");
    ASSERT_EQ(
        Cli({"export", Db, "--output", file, "--format", "plain", "--line-ends", "crlf"}).Status,
        0);
    EXPECT_EQ(ReadWholeFile(file).find('\n'), ReadWholeFile(file).find("\r\n") + 1);
    ASSERT_EQ(Cli({"delete", Db, "zed"}).Status, 0);
    EXPECT_EQ(ReadWholeFile(Db), before); // CR LF again: nothing of the choice is stored
}

TEST_F(CliAdmin, CredentialsGoOutAsPrivateMailsWithEachUsersPassword) {
    ASSERT_EQ(Cli({"edit", Db, "ann", "--email", "ann@example.org", "--full-name", "Ann A"}).Status,
              0);
    WriteWholeFile(Dir.File("tmpl"), "Subject: Access to {url}\n\nHello {name},\n"
                                     "login {login}, password {password}\nFrom now on.\n");
    const std::string out = Dir.File("mails");
    for (const char* format : {"eml", "mbox", "csv"}) {
        SCOPED_TRACE(format);
        const TResult r = Cli({"credentials", Db, "ann", "bob", "--template", Dir.File("tmpl"),
                               "--out", out, "--format", format, "--url", "https://site/"});
        ASSERT_EQ(r.Status, 0) << r.Err;
        const std::string first = r.Out.substr(0, r.Out.find('\n'));
        struct stat st {};
        ASSERT_EQ(::stat(first.c_str(), &st), 0) << first;
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        const std::string text = ReadWholeFile(first);
        EXPECT_NE(text.find("login ann, password ann-pw"), std::string::npos) << text;
        if (std::string(format) == "eml") {
            EXPECT_NE(text.find("To: \"Ann A\" <ann@example.org>\r\n"), std::string::npos);
            EXPECT_NE(text.find("Subject: Access to https://site/\r\n"), std::string::npos);
            EXPECT_NE(r.Err.find("1 user has no e-mail address"), std::string::npos) << r.Err;
        }
        if (std::string(format) == "mbox") {
            EXPECT_NE(text.find("\n>From now on."), std::string::npos);
        }
    }
    // A user known only by a taken-over hash has no password to send.
    WriteWholeFile(Dir.File("old"), "dora:{SHA}W6ph5Mm5Pz8GgiULbPgzG37mj9g=\n");
    ASSERT_EQ(Cli({"import-htpasswd", Db, Dir.File("old")}).Status, 0);
    EXPECT_EQ(Cli({"credentials", Db, "dora", "--template", Dir.File("tmpl"), "--out", out}).Status,
              1);
}

// The group file the export writes, judged by Apache's own Require group: one server for the
// program, each test writing both files anew.
class CliApacheGroups : public CliAdmin {
protected:
    static void SetUpTestSuite() {
        Server = new apachetest::TApacheServer({"authz_groupfile"},
                                               "AuthGroupFile GROUPFILE\nRequire group staff");
    }
    static void TearDownTestSuite() {
        delete Server;
        Server = nullptr;
    }
    static apachetest::TApacheServer* Server;
};
apachetest::TApacheServer* CliApacheGroups::Server = nullptr;

TEST_F(CliApacheGroups, ApacheLetsInExactlyTheEnabledMembersOfTheRequiredGroup) {
    apachetest::TApacheServer& apache = *Server;
    if (!apache.Available()) GTEST_SKIP() << apache.SkipReason();
    const std::string password = apache.PasswordFilePath().string();
    ASSERT_EQ(Cli({"group", Db, "add", "staff", "ann", "bob"}).Status, 0);
    ASSERT_EQ(Cli({"group", Db, "file", apache.GroupFilePath().string()}).Status, 0);
    // Enough members that the group needs more than one line of Apache's 8 KB.
    std::string many;
    for (int i = 0; i < 800; ++i)
        many += "member" + std::to_string(1000 + i) + ",pw" + std::to_string(i) + "\n";
    ASSERT_EQ(Cli({"import", Db, "-", "--quiet"}, many).Status, 0);
    std::vector<std::string> args = {"group", Db, "add", "staff"};
    for (int i = 0; i < 800; ++i)
        args.push_back("member" + std::to_string(1000 + i));
    ASSERT_EQ(Cli(args).Status, 0);
    ASSERT_EQ(Cli({"disable", Db, "bob"}).Status, 0);
    const TResult r = Cli({"export", Db, "--output", password, "--json", "--overwrite"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("\"groups\": "), std::string::npos) << r.Out;
    ::chmod(password.c_str(), 0644);
    ::chmod(apache.GroupFilePath().c_str(), 0644);
    EXPECT_EQ(apache.Status("ann", "ann-pw"), 200) << apache.ErrorLog();
    EXPECT_EQ(apache.Status("member1799", "pw799"), 200) << apache.ErrorLog();
    EXPECT_EQ(apache.Status("carl", "carl-pw"), 401); // not a member
    EXPECT_EQ(apache.Status("bob", "bob-pw"), 401);   // a disabled member
    // Taken out of the group: the next export takes the membership away too.
    ASSERT_EQ(Cli({"group", Db, "remove", "staff", "ann"}).Status, 0);
    ASSERT_EQ(Cli({"export", Db, "--output", password, "--quiet"}).Status, 0);
    EXPECT_EQ(apache.Status("ann", "ann-pw"), 401);
}

// Apache takes "staff" and "Staff" for one group: a second spelling is refused on every way a
// group is named, and what is exported lets in nobody the database did not put in the group.
TEST_F(CliApacheGroups, ASecondSpellingOfAGroupNeverLetsAnybodyIn) {
    apachetest::TApacheServer& apache = *Server;
    if (!apache.Available()) GTEST_SKIP() << apache.SkipReason();
    ASSERT_EQ(Cli({"group", Db, "add", "staff", "ann"}).Status, 0);
    ASSERT_EQ(Cli({"group", Db, "file", apache.GroupFilePath().string()}).Status, 0);
    WriteWholeFile(Dir.File("site"), "dora:{SHA}W6ph5Mm5Pz8GgiULbPgzG37mj9g=\n");
    WriteWholeFile(Dir.File("site.groups"), "Staff: bob dora\n");
    WriteWholeFile(Dir.File("twice.groups"), "web: dora\nWEB: carl\n");
    struct TCase {
        std::vector<std::string> Args;
        std::string Error; // what the refusal names
    };
    const TCase cases[] = {
        {{"add", Db, "ed", "--password", "pw", "--groups", "Staff"}, "\"Staff\" and \"staff\""},
        {{"add", Db, "bob", "--update", "--password", "pw", "--groups", "STAFF"}, "\"STAFF\""},
        {{"edit", Db, "bob", "--groups", "web,sTaff"}, "\"sTaff\""},
        {{"edit", Db, "carl", "--groups", "web Web"}, "\"web\" and \"Web\""},
        {{"group", Db, "add", "Staff", "bob"}, "\"Staff\" and \"staff\""},
        {{"group", Db, "add", "#staff", "bob"}, "starts with \"#\""},
        {{"add", Db, "ed", "--password", "pw", "--groups", "#staff"}, "starts with \"#\""},
        {{"import-htpasswd", Db, Dir.File("site"), "--groups", Dir.File("site.groups")},
         "\"Staff\" and \"staff\""},
        {{"import-htpasswd", Db, Dir.File("site"), "--groups", Dir.File("twice.groups")},
         "line 2: the group \"WEB\" is the group \"web\" of line 1"},
    };
    const std::string before = ReadWholeFile(Db);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args[0] + " " + c.Args.back());
        const TResult r = Cli(c.Args);
        EXPECT_EQ(r.Status, 1) << r.Err;
        EXPECT_NE(r.Err.find(c.Error), std::string::npos) << r.Err;
        EXPECT_EQ(ReadWholeFile(Db), before); // nothing changed
    }
    // The only member may spell its group anew; the next member takes that spelling.
    ASSERT_EQ(Cli({"edit", Db, "ann", "--groups", "Staff"}).Status, 0);
    ASSERT_EQ(Cli({"group", Db, "add", "Staff", "carl"}).Status, 0);
    const std::string password = apache.PasswordFilePath().string();
    // Over what an earlier test left there.
    const TResult r = Cli({"export", Db, "--output", password, "--quiet", "--overwrite"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    ::chmod(password.c_str(), 0644);
    ::chmod(apache.GroupFilePath().c_str(), 0644);
    EXPECT_EQ(apache.Status("ann", "ann-pw"), 200) << apache.ErrorLog();
    EXPECT_EQ(apache.Status("carl", "carl-pw"), 200);
    EXPECT_EQ(apache.Status("bob", "bob-pw"), 401);
}

// Apache stops reading a password file at a line of 8192 bytes: every user after it is locked
// out. A line the export writes always fits (written and read by Apache), one byte more is
// refused (and, written by hand, does lock the later user out).
TEST_F(CliApacheGroups, ApacheReadsEveryLineTheExportWritesAndNoLongerOneIsWritten) {
    apachetest::TApacheServer& apache = *Server;
    if (!apache.Available()) GTEST_SKIP() << apache.SkipReason();
    WriteWholeFile(apache.GroupFilePath().string(), "staff: zlater\n");
    ::chmod(apache.GroupFilePath().c_str(), 0644);
    for (const bool lf : {false, true}) {
        SCOPED_TRACE(lf ? "LF" : "CR LF");
        const size_t eol = lf ? 1 : 2;
        const size_t hash = 37; // "$apr1$" MD5-crypt
        const auto listWith = [&](size_t loginBytes) {
            auto list = std::make_unique<quorvane::TUserList>();
            list->UnixLineEnds = lf;
            list->Add(std::string(loginBytes, 'x'), "long-pw"); // made before the login bound
            list->Add("zlater", "later-pw");
            return list;
        };
        const size_t fits = quorvane::KMaxPasswordFileLine - eol - 1 - hash;
        const auto text =
            quorvane::BuildPasswordFile(*listWith(fits), quorvane::TPasswordsType::ptMD5, {});
        ASSERT_TRUE(text);
        EXPECT_EQ(text->find('\n') + 1, quorvane::KMaxPasswordFileLine);
        apache.SetPasswordFile(*text);
        ::chmod(apache.PasswordFilePath().c_str(), 0644);
        EXPECT_EQ(apache.Status("zlater", "later-pw"), 200) << apache.ErrorLog();
        EXPECT_THROW(
            quorvane::BuildPasswordFile(*listWith(fits + 1), quorvane::TPasswordsType::ptMD5, {}),
            quorvane::EUnsafeUsers);
        apache.SetPasswordFile("x" + *text);
        EXPECT_NE(apache.Status("zlater", "later-pw"), 200);
    }
}

// A login of more than 255 bytes is refused on every way in, naming the bound.
TEST_F(CliAdmin, ALoginLongerThanTheBoundIsRefusedOnEveryWayIn) {
    const std::string longLogin(256, 'l');
    WriteWholeFile(Dir.File("users.txt"), longLogin + " pw\n");
    WriteWholeFile(Dir.File("site"), longLogin + ":{SHA}W6ph5Mm5Pz8GgiULbPgzG37mj9g=\n");
    ASSERT_EQ(Cli({"target", Db, "--file", Dir.File("merged")}).Status, 0);
    ASSERT_EQ(Cli({"export", Db, "--quiet"}).Status, 0);
    WriteWholeFile(Dir.File("merged"), ReadWholeFile(Dir.File("merged")) + longLogin +
                                           ":{SHA}W6ph5Mm5Pz8GgiULbPgzG37mj9g=\r\n");
    const std::vector<std::string> ways[] = {
        {"add", Db, longLogin, "--password", "pw"},
        {"edit", Db, "ann", "--login", longLogin},
        {"import", Db, Dir.File("users.txt")},
        {"import-htpasswd", Db, Dir.File("site")},
        {"export", Db, "--merge"},
    };
    const std::string before = ReadWholeFile(Db);
    for (const auto& args : ways) {
        SCOPED_TRACE(args[0] + " " + args.back());
        const TResult r = Cli(args);
        EXPECT_EQ(r.Status, 1);
        EXPECT_NE(r.Err.find("longer than 255 bytes"), std::string::npos) << r.Err;
        EXPECT_EQ(ReadWholeFile(Db), before);
    }
    EXPECT_EQ(Cli({"add", Db, longLogin.substr(1), "--password", "pw"}).Status, 0);
}

// A site's file is anybody's bytes: its logins reach the terminal with every control byte
// escaped, in every report, on standard error and standard output alike.
TEST_F(CliAdmin, ASitesLoginsReachTheTerminalEscaped) {
    const std::string site = Dir.File("site");
    ASSERT_EQ(Cli({"target", Db, "--file", site}).Status, 0);
    ASSERT_EQ(Cli({"export", Db, "--quiet"}).Status, 0);
    WriteWholeFile(site, ReadWholeFile(site) + "\x1b[2Jevil:$apr1$x$y\r\nc\rarl:x\n");
    struct TCase {
        std::vector<std::string> Args;
        bool OnOutput; // the report goes to standard output
        bool Named;    // it names the login
    };
    const TCase cases[] = {
        {{"export", Db}, false, true},
        {{"export", Db, "--dry-run"}, true, true},
        {{"export", Db, "--merge"}, false, true},
    };
    const auto raw = [](const std::string& text) {
        return std::any_of(text.begin(), text.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 32 && c != '\n'; });
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Args.back());
        const TResult r = Cli(c.Args);
        const std::string& report = c.OnOutput ? r.Out : r.Err;
        EXPECT_EQ(report.find("\\x1b[2Jevil") != std::string::npos, c.Named) << report;
        EXPECT_FALSE(raw(r.Out)) << r.Out;
        EXPECT_FALSE(raw(r.Err)) << r.Err;
    }
}

// A name after the hash ("ann:HASH:Ann Example") is nothing to the servers (nginx lets ann in
// with the password), and nothing changed on the site to the export or the merge either.
TEST_F(CliAdmin, ANameAfterTheHashIsNoChangeMadeThere) {
    const std::string site = Dir.File("site");
    ASSERT_EQ(Cli({"target", Db, "--file", site}).Status, 0);
    ASSERT_EQ(Cli({"export", Db, "--quiet"}).Status, 0);
    const auto named = [&] {
        std::string text = ReadWholeFile(site);
        const size_t ann = text.find("ann:");
        text.insert(text.find("\r\n", ann), ":Ann Example");
        WriteWholeFile(site, text);
        return text;
    };
    const std::string text = named();
    nginxtest::TNginxServer nginx;
    if (nginx.Available()) {
        nginx.SetPasswordFile(text);
        EXPECT_EQ(nginx.Status("ann", "ann-pw"), 200);
    }
    for (const char* merge : {"", "--merge"}) {
        SCOPED_TRACE(merge);
        named();
        std::vector<std::string> args = {"export", Db};
        if (*merge != 0) args.push_back(merge);
        const TResult r = Cli(args);
        EXPECT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(r.Err.find("ann"), std::string::npos) << r.Err;
        EXPECT_EQ(r.Err.find("replaced"), std::string::npos) << r.Err;
    }
}

} // namespace
