// Taking over an existing site, end to end: password files written by Apache's htpasswd,
// imported, exported and judged by nginx; verify against htpasswd -vb; check against a live
// server, redirects included.

#include "CliRun.h"
#include "ExportTestUtil.h"
#include "NginxTestServer.h"
#include "TestUtil.h"
#include "cli/Commands.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

using namespace quorvane;

namespace {

bool HaveHtpasswd() {
    return ::access("/usr/bin/htpasswd", X_OK) == 0;
}

// Runs a command through the shell; its exit status.
int Shell(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct TSiteUser {
    const char* Flags; // how htpasswd hashes it
    const char* Login;
    const char* Password;
};

// One user per form htpasswd writes.
const TSiteUser kUsers[] = {
    {"-m", "md5user", "Md5-pass"},      {"-B -C 4", "bcrypt4", "Bc4 pass"},
    {"-B -C 5", "bcrypt5", "bc5:pass"}, {"-B -C 6", "Bcrypt6", "b6\xc3\xa4pass"},
    {"-2", "sha256", "Sha2-56!"},       {"-5", "sha512", "Sha5-12?"},
    {"-s", "sha1user", "sha-one"},      {"-d", "desuser", "des-pw"},
    {"-p", "plainuser", "plain-pw"},
};

class AdoptCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveHtpasswd()) GTEST_SKIP() << "htpasswd is not installed";
        bool first = true;
        for (const TSiteUser& u : kUsers) {
            ASSERT_EQ(Shell("htpasswd -b" + std::string(first ? "c " : " ") + u.Flags + " " +
                            Quote(File) + " " + u.Login + " " + Quote(u.Password)),
                      0)
                << u.Flags;
            first = false;
        }
        // Comments and blank lines as people leave them in such files.
        WriteWholeFile(File, "# site users\n\n" + ReadWholeFile(File) + "   \n# end\n");
        ASSERT_EQ(Cli({"create", Db}).Status, 0);
    }

    TTempDir Dir;
    std::string File = Dir.File("htpasswd");
    std::string Db = Dir.File("site.udx");
};

TEST_F(AdoptCliTest, ImportedFileExportedLetsEveryUserIntoNginx) {
    nginxtest::TNginxServer nginx;
    if (!nginx.Available()) GTEST_SKIP() << nginx.SkipReason();

    // What the site's own file lets in, user by user, before anything is taken over.
    nginx.SetPasswordFile(ReadWholeFile(File));
    std::vector<int> before;
    for (const TSiteUser& u : kUsers)
        for (const std::string& pw : {std::string(u.Password), "x" + std::string(u.Password)})
            before.push_back(nginx.Status(u.Login, pw));

    TResult r = Cli({"import-htpasswd", Db, File});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "9 users added, 0 replaced, 0 skipped. 2 of them use a weak scheme (SHA-1, "
                     "DES crypt or plain text): set new passwords for them.\n"
                     "Kept exactly as they were, in a scheme Quorvane does not know: line 11 "
                     "\"plainuser\" (no prefix)\n");

    r = Cli({"list", Db});
    EXPECT_NE(r.Out.find("bcrypt4\tEnabled"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("\thash only (bcrypt)\n"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("\thash only (DES crypt)\n"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("\tunknown scheme (no prefix)\n"), std::string::npos) << r.Out;

    r = Cli({"export", Db, "--output", nginx.PasswordFilePath().string()});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "quorvane-cli: warning: Users with a password in another form than MD5, "
                     "which not every program reads (8): bcrypt4, bcrypt5, Bcrypt6, desuser, "
                     "plainuser, sha1user, sha256, sha512\n"
                     "2 users still use weak hashes: set new passwords for them\n"
                     "  desuser (DES crypt)\n  sha1user (SHA-1)\n"
                     "quorvane-cli: 9 users written to " +
                         nginx.PasswordFilePath().string() + "\n");
    // The exported file lets in exactly whom the original let in: everybody with the right
    // password but the plain-text line, which nginx hands to crypt() here.
    std::vector<int> after;
    for (const TSiteUser& u : kUsers)
        for (const std::string& pw : {std::string(u.Password), "x" + std::string(u.Password)})
            after.push_back(nginx.Status(u.Login, pw));
    EXPECT_EQ(after, before);
    EXPECT_EQ(nginx.Status("plainuser", "plain-pw"), 401);
    EXPECT_EQ(nginx.Status("md5user", "Md5-pass"), 200);
    // Every stored value went out unchanged, byte for byte, with the file's own LF line ends.
    const std::string exported = ReadWholeFile(nginx.PasswordFilePath().string());
    const std::string original = ReadWholeFile(File);
    for (const TSiteUser& u : kUsers) {
        const size_t at = original.find(std::string(u.Login) + ":");
        const std::string line = original.substr(at, original.find('\n', at) - at);
        EXPECT_NE(exported.find(line + "\n"), std::string::npos) << line;
    }

    // Told that the file is one for Apache on Windows, the plain-text value is a clear password
    // and goes out hashed.
    const std::string windows = Dir.File("windows.udx");
    ASSERT_EQ(Cli({"create", windows}).Status, 0);
    ASSERT_EQ(Cli({"import-htpasswd", windows, File, "--plain-text"}).Status, 0);
    ASSERT_EQ(Cli({"export", windows, "--output", nginx.PasswordFilePath().string()}).Status, 0);
    EXPECT_EQ(nginx.Status("plainuser", "plain-pw"), 200);
    EXPECT_NE(ReadWholeFile(nginx.PasswordFilePath()).find("plainuser:$apr1$"), std::string::npos);

    // A plain-text export cannot hold the hash-only users and says who they are.
    r = Cli({"export", Db, "--output", Dir.File("plain"), "--format", "plain"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("bcrypt4"), std::string::npos) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(Dir.File("plain")));

    // A new password replaces the hash; the user is then no longer hash-only.
    ASSERT_EQ(Cli({"passwd", Db, "desuser", "--password-stdin"}, "fresh one\n").Status, 0);
    ASSERT_EQ(Cli({"passwd", Db, "plainuser", "--password-stdin"}, "plain-pw\n").Status, 0);
    // The other database wrote the file last: replaced all the same.
    r = Cli({"export", Db, "--output", nginx.PasswordFilePath().string(), "--overwrite"});
    EXPECT_NE(r.Err.find("1 user still uses a weak hash: set a new password for it\n"
                         "  sha1user (SHA-1)\n"),
              std::string::npos)
        << r.Err;
    EXPECT_EQ(nginx.Status("desuser", "fresh one"), 200);
    EXPECT_EQ(nginx.Status("desuser", "des-pw"), 401);
}

TEST_F(AdoptCliTest, VerifyAgreesWithHtpasswdOnEveryLine) {
    ASSERT_EQ(Cli({"import-htpasswd", Db, File}).Status, 0);
    for (const TSiteUser& u : kUsers) {
        SCOPED_TRACE(u.Login);
        for (const std::string& password :
             {std::string(u.Password), "x" + std::string(u.Password)}) {
            const int apache = HtpasswdVerify(File, u.Login, password);
            const TResult ours = Cli({"verify", File, u.Login}, password + "\n");
            const TResult fromDb = Cli({"verify", Db, u.Login}, password + "\r\n");
            // 0 and 3 as htpasswd -v gives them; a plain-text value, which htpasswd hands to
            // crypt() here and so never matches, can be checked by no password at all: 7.
            const bool plain = std::string(u.Flags) == "-p";
            EXPECT_EQ(ours.Status, plain ? 7 : apache) << ours.Err;
            EXPECT_EQ(fromDb.Status, ours.Status) << fromDb.Err;
            EXPECT_EQ(ours.Out, ours.Status == 0
                                    ? "Password for user " + std::string(u.Login) + " correct.\n"
                                    : std::string("Password verification failed.\n"));
            // The same answer as one document, with the same exit status.
            const TResult doc = Cli({"verify", Db, u.Login, "--json"}, password + "\n");
            EXPECT_EQ(doc.Status, ours.Status);
            if (ours.Status == 0 || ours.Status == 3) {
                EXPECT_EQ(doc.Out, "{\"login\": \"" + std::string(u.Login) + "\", \"checked\": \"" +
                                       u.Login + "\", \"result\": \"" +
                                       (ours.Status == 0 ? "correct" : "wrong password") +
                                       "\", \"exit_status\": " + std::to_string(ours.Status) +
                                       ", \"notes\": []}\n");
            }
        }
    }
    TResult r = Cli({"verify", File, "nobody", "--json"}, "x\n");
    EXPECT_EQ(r.Status, 6);
    EXPECT_EQ(r.Out, "{\"login\": \"nobody\", \"checked\": null, \"result\": \"no such user\", "
                     "\"exit_status\": 6, \"notes\": [\"User nobody not found\"]}\n");
    r = Cli({"verify", File, "nobody"}, "x\n");
    EXPECT_EQ(r.Status, 6);
    EXPECT_EQ(HtpasswdVerify(File, "nobody", "x"), 6);
    EXPECT_NE(r.Err.find("User nobody not found"), std::string::npos);
    // Logins in a password file are compared exactly, as servers compare them.
    EXPECT_EQ(Cli({"verify", File, "MD5USER"}, "Md5-pass\n").Status, 6);
}

TEST_F(AdoptCliTest, ConflictsAndBadLines) {
    ASSERT_EQ(Cli({"add", Db, "MD5user", "--password", "kept"}).Status, 0);
    const std::string before = ReadWholeFile(Db);

    // A bad line anywhere refuses the whole file before the database changes; so does a login
    // that the database has in another case, unless --on-conflict says what becomes of it.
    const std::string bad = Dir.File("bad");
    WriteWholeFile(bad, ReadWholeFile(File) + "carol\n");
    TResult r = Cli({"import-htpasswd", Db, bad});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("Line 14 "), std::string::npos) << r.Err;
    WriteWholeFile(bad, "ok:x\nbad\x01login:$apr1$abc$def\n");
    r = Cli({"import-htpasswd", Db, bad});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("Line 2 "), std::string::npos) << r.Err;
    r = Cli({"import-htpasswd", Db, File});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "quorvane-cli: Nothing was imported: 1 login is there already (letters a to "
                     "z without regard to case): line 3 \"md5user\" (like \"MD5user\" in the "
                     "database). Say what becomes of them with --on-conflict skip or "
                     "--on-conflict replace\n");
    EXPECT_EQ(ReadWholeFile(Db), before);

    r = Cli({"import-htpasswd", Db, File, "--on-conflict", "sometimes"});
    EXPECT_EQ(r.Status, 2);

    r = Cli({"import-htpasswd", Db, File, "--on-conflict", "skip"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out.substr(0, 36), "8 users added, 0 replaced, 1 skipped");
    EXPECT_NE(r.Out.find("\nSkipped, as the login is there already (letters a to z without "
                         "regard to case): line 3 \"md5user\" (like \"MD5user\" in the "
                         "database)\n"),
              std::string::npos)
        << r.Out;
    EXPECT_EQ(Cli({"verify", Db, "MD5user"}, "kept\n").Status, 0);

    r = Cli({"import-htpasswd", Db, File, "--on-conflict", "replace"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out.substr(0, 36), "0 users added, 9 replaced, 0 skipped");
    TUserList list;
    list.LoadFromFile(Db);
    EXPECT_EQ(list.Count(), 9);
    EXPECT_EQ(list.Users(0).Login, "MD5user") << "the login stays as the database had it";
    EXPECT_TRUE(list.Users(0).HashOnly());
    r = Cli({"verify", Db, "md5user"}, "Md5-pass\n");
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Err, "quorvane-cli: checked \"MD5user\" (user 1), the one the password file "
                     "holds; web servers take only that spelling\n");
}

// Values that keep users out stay so through import and export: nginx refuses every one of them
// before and after, the line goes out byte for byte, and verify accepts no password for them.
TEST(AdoptLocked, LockedAndUnknownValuesStayAsTheyWere) {
    nginxtest::TNginxServer nginx;
    if (!nginx.Available()) GTEST_SKIP() << nginx.SkipReason();
    const std::string pw = "p\xc3\xa4ssw0rd!";
    const struct {
        std::string Line;
        std::string Password; // tried against both files
        int Status;           // nginx's answer, the same for both
        std::string Shown;    // by list
        int Verify;
    } cases[] = {
        {"locked:*", "*", 401, "locked", 7},
        {"bang:!", "!", 401, "locked", 7},
        {"lockedmd5:!$apr1$WmeOjj75$5cpk8XAoS6RQcPGkLm5i40", pw, 401, "locked", 7},
        {"blank:   ", "   ", 401, "locked", 7},
        {"empty:", "", 401, "locked", 7},
        {"plain:plain-pw", "plain-pw", 401, "unknown scheme (no prefix)", 7},
        {"yes:$y$j9T$F31F/jItUvwu2lEyWf7Vk.$wzhCzntE5k3ohrySmEnpogQQTdy37Tar/q43bWLaTf3", pw, 200,
         "hash only (yescrypt)", 0},
        {"ssha:{SSHA}vxmnRNu+M9v6Fn+yk8E59PeW/ykBAv6aU0FMVA==", pw, 200, "hash only (salted SHA-1)",
         0},
        {"ngx:{PLAIN}plain-ngx", "plain-ngx", 200, "clear", 0},
    };
    std::string file;
    for (const auto& c : cases)
        file += c.Line + "\n";
    TTempDir dir;
    const std::string db = dir.File("site.udx"), original = dir.File("htpasswd");
    WriteWholeFile(original, file);
    ASSERT_EQ(Cli({"create", db}).Status, 0);
    const TResult imported = Cli({"import-htpasswd", db, original});
    ASSERT_EQ(imported.Status, 0) << imported.Err;
    EXPECT_NE(imported.Out.find("Locked, and kept locked: line 1 \"locked\", line 2 \"bang\", "
                                "line 3 \"lockedmd5\", line 4 \"blank\", line 5 \"empty\"\n"),
              std::string::npos)
        << imported.Out;
    const std::string listed = Cli({"list", db}).Out;
    ASSERT_EQ(Cli({"export", db, "--output", dir.File("exported")}).Status, 0);
    const std::string exported = ReadWholeFile(dir.File("exported"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Line);
        const std::string login = c.Line.substr(0, c.Line.find(':'));
        nginx.SetPasswordFile(file);
        EXPECT_EQ(nginx.Status(login, c.Password), c.Status) << "the original file";
        nginx.SetPasswordFile(exported);
        EXPECT_EQ(nginx.Status(login, c.Password), c.Status) << "the exported file";
        if (c.Line.find("{PLAIN}") == std::string::npos) { // with the file's LF line ends
            EXPECT_NE(exported.find(c.Line + "\n"), std::string::npos) << exported;
        }
        EXPECT_NE(listed.find(login + "\tEnabled"), std::string::npos);
        EXPECT_NE(listed.find("\t" + c.Shown + "\n", listed.find(login + "\t")), std::string::npos)
            << listed;
        EXPECT_EQ(Cli({"verify", db, login}, c.Password + "\n").Status, c.Verify);
        EXPECT_EQ(Cli({"verify", original, login}, c.Password + "\n").Status, c.Verify);
    }
    // The database keeps an empty value across a save and a load.
    TUserList list;
    list.LoadFromFile(db);
    EXPECT_TRUE(list.Users(4).HashOnly());
    EXPECT_EQ(list.Users(4).PasswordHash(), "");
    EXPECT_NE(ReadWholeFile(db).find("PasswordHash = ''"), std::string::npos);
}

// A small HTTP server on loopback for the redirect cases: /away redirects to the same port under
// another host name, /same to /ok on this host; /ok wants the Basic credentials ann:pw; /open
// lets everybody in; every request that carries credentials is noted in the log.
const char* const kRedirectServer = R"(
import base64, http.server, sys
log = open(sys.argv[2], 'a')
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        auth = self.headers.get('Authorization')
        if auth:
            log.write(self.headers.get('Host') + self.path + ' ' + auth + '\n'); log.flush()
        port = self.server.server_address[1]
        if self.path == '/away':
            self.send_response(302); self.send_header('Location', 'http://localhost:%d/ok' % port)
        elif self.path == '/same':
            self.send_response(302); self.send_header('Location', '/ok')
        elif self.path == '/open':
            self.send_response(200)
        elif self.path == '/ok' and auth == 'Basic ' + base64.b64encode(b'ann:pw').decode():
            self.send_response(200)
        elif self.path == '/ok':
            self.send_response(401); self.send_header('WWW-Authenticate', 'Basic realm="t"')
        else:
            self.send_response(404)
        self.send_header('Content-Length', '0'); self.end_headers()
    def log_message(self, *args): pass
s = http.server.HTTPServer(('127.0.0.1', 0), H)
open(sys.argv[1], 'w').write(str(s.server_address[1]))
s.serve_forever()
)";

class TRedirectServer {
public:
    explicit TRedirectServer(const TTempDir& dir)
        : FPortFile(dir.File("port")), FLog(dir.File("auth.log")) {
        const std::string script = dir.File("server.py");
        WriteWholeFile(script, kRedirectServer);
        WriteWholeFile(FLog, "");
        std::vector<std::string> args{"/usr/bin/python3", script, FPortFile, FLog};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&FPid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) FPid = -1;
        for (int i = 0; i < 100 && Port == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const std::string text = ReadWholeFile(FPortFile);
            if (!text.empty()) Port = std::stoi(text);
        }
    }
    ~TRedirectServer() {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            ::waitpid(FPid, nullptr, 0);
        }
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(Port) + path;
    }
    std::string Log() const { return ReadWholeFile(FLog); }
    int Port = 0;

private:
    pid_t FPid = -1;
    std::string FPortFile, FLog;
};

TEST(SiteCheck, AgainstNginx) {
    nginxtest::TNginxServer nginx;
    if (!nginx.Available()) GTEST_SKIP() << nginx.SkipReason();
    TTempDir dir;
    const std::string db = dir.File("d.udx");
    ASSERT_EQ(Cli({"create", db}).Status, 0);
    ASSERT_EQ(Cli({"add", db, "ann", "--password", "right pw"}).Status, 0);
    ASSERT_EQ(Cli({"export", db, "--output", nginx.PasswordFilePath().string()}).Status, 0);

    TResult r = Cli({"check", nginx.Url(), "ann"}, "right pw\n");
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, "The site let user ann in (HTTP 200).\n");
    r = Cli({"check", nginx.Url(), "ann"}, "wrong\n");
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "The site refused user ann (HTTP 401).\n");
    r = Cli({"check", nginx.Url() + "missing.html", "ann"}, "right pw\n");
    EXPECT_EQ(r.Status, 3);
    EXPECT_EQ(r.Out, "The site neither let user ann in nor refused them (HTTP 404).\n");
    EXPECT_EQ(Cli({"check", "ftp://127.0.0.1/", "ann"}, "x\n").Status, 3);
}

TEST(SiteCheck, RedirectsOnlyWithinTheSameHost) {
    if (::access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "python3 is not installed";
    TTempDir dir;
    TRedirectServer server(dir);
    ASSERT_NE(server.Port, 0);

    TResult r = Cli({"check", server.Url("/same"), "ann"}, "pw\n");
    EXPECT_EQ(r.Status, 0) << r.Out;
    r = Cli({"check", server.Url("/same"), "ann"}, "other\n");
    EXPECT_EQ(r.Status, 1) << r.Out;

    const std::string before = server.Log();
    r = Cli({"check", server.Url("/away"), "ann"}, "pw\n");
    EXPECT_EQ(r.Status, 3);
    EXPECT_NE(r.Out.find("redirects to another host (http://localhost:"), std::string::npos)
        << r.Out;
    EXPECT_EQ(server.Log(),
              before + "127.0.0.1:" + std::to_string(server.Port) + "/away Basic YW5uOnB3\n")
        << "the credentials went only to the host they were given for";

    // A page that lets everybody in says nothing about the user; the password is not sent.
    const std::string beforeOpen = server.Log();
    r = Cli({"check", server.Url("/open"), "ann"}, "any password\n");
    EXPECT_EQ(r.Status, 4);
    EXPECT_EQ(r.Out, "The page is not protected: the site let everybody in without a password "
                     "(HTTP 200), so the check says nothing about user ann.\n");
    EXPECT_EQ(server.Log(), beforeOpen);
}

// verify's exit status tells why, as htpasswd -v does for what it knows.
TEST(VerifyStatus, SaysWhyAPasswordDoesNotLetTheUserIn) {
    TTempDir dir;
    const std::string db = dir.File("d.udx");
    ASSERT_EQ(Cli({"create", db}).Status, 0);
    // Namesakes come in by an import only, told to take them.
    WriteWholeFile(dir.File("users.txt"), "ann a1\ndis d1\nCarl c1\ncarl c2\n");
    ASSERT_EQ(Cli({"import", db, dir.File("users.txt"), "--force"}).Status, 0);
    ASSERT_EQ(Cli({"disable", db, "dis"}).Status, 0);
    const struct {
        std::string Login, Password;
        int Status;
        std::string Err; // part of standard error
    } cases[] = {
        {"ann", "a1", 0, ""},
        {"ann", "a2", 3, ""},
        {"nobody", "x", 6, "User nobody not found"},
        {"dis", "d1", 4, "the user is disabled"},
        {"dis", "d2", 3, ""},
        {"carl", "c2", 0, "checked \"carl\" (user 4), the one the password file holds"},
        {"CARL", "c2", 0, "The same login without regard to case: \"Carl\" (user 3)"},
        {"Carl", "c1", 3, "checked \"carl\" (user 4)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Login + " " + c.Password);
        const TResult r = Cli({"verify", db, c.Login}, c.Password + "\n");
        EXPECT_EQ(r.Status, c.Status) << r.Err;
        EXPECT_NE(r.Err.find(c.Err), std::string::npos) << r.Err;
        if (c.Err.empty()) {
            EXPECT_EQ(r.Err, "");
        }
    }
}

} // namespace
