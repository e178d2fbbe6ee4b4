// Taking over an existing site, end to end: password files written by Apache's htpasswd,
// imported, exported and judged by nginx; verify against htpasswd -vb; check against a live
// server, redirects included.

#include "CliRun.h"
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

    TResult r = Cli({"import-htpasswd", Db, File});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "9 users added, 0 replaced, 0 skipped. 3 of them use a weak scheme (SHA-1, "
                     "DES crypt or plain text): set new passwords for them.\n");

    r = Cli({"list", Db});
    EXPECT_NE(r.Out.find("bcrypt4\tEnabled"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("\thash only (bcrypt)\n"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("\thash only (DES crypt)\n"), std::string::npos) << r.Out;

    r = Cli({"export", Db, "--output", nginx.PasswordFilePath().string()});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "2 users still use weak hashes: set new passwords for them\n"
                     "  desuser (DES crypt)\n  sha1user (SHA-1)\n");
    for (const TSiteUser& u : kUsers) {
        SCOPED_TRACE(u.Login);
        EXPECT_EQ(nginx.Status(u.Login, u.Password), 200);
        EXPECT_EQ(nginx.Status(u.Login, std::string("x") + u.Password), 401);
    }
    // The stored hashes went out unchanged, with the file's own LF line ends; the plain-text line
    // became an MD5 hash.
    const std::string exported = ReadWholeFile(nginx.PasswordFilePath().string());
    const std::string original = ReadWholeFile(File);
    for (const char* login : {"bcrypt4", "sha512", "desuser"}) {
        const size_t at = original.find(std::string(login) + ":");
        const std::string line = original.substr(at, original.find('\n', at) - at);
        EXPECT_NE(exported.find(line + "\n"), std::string::npos) << line;
    }
    EXPECT_NE(exported.find("plainuser:$apr1$"), std::string::npos);

    // A plain-text export cannot hold the hash-only users and says who they are.
    r = Cli({"export", Db, "--output", Dir.File("plain"), "--format", "plain"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("bcrypt4"), std::string::npos) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(Dir.File("plain")));

    // A new password replaces the hash; the user is then no longer hash-only.
    ASSERT_EQ(Cli({"passwd", Db, "desuser", "--password-stdin"}, "fresh one\n").Status, 0);
    r = Cli({"export", Db, "--output", nginx.PasswordFilePath().string()});
    EXPECT_EQ(r.Err, "1 user still uses a weak hash: set a new password for it\n"
                     "  sha1user (SHA-1)\n");
    EXPECT_EQ(nginx.Status("desuser", "fresh one"), 200);
    EXPECT_EQ(nginx.Status("desuser", "des-pw"), 401);
}

TEST_F(AdoptCliTest, VerifyAgreesWithHtpasswdOnEveryLine) {
    ASSERT_EQ(Cli({"import-htpasswd", Db, File}).Status, 0);
    for (const TSiteUser& u : kUsers) {
        SCOPED_TRACE(u.Login);
        for (const std::string& password :
             {std::string(u.Password), "x" + std::string(u.Password)}) {
            const bool right = password == u.Password;
            const int apache =
                Shell("htpasswd -vb " + Quote(File) + " " + u.Login + " " + Quote(password));
            const TResult ours = Cli({"verify", File, u.Login}, password + "\n");
            const TResult fromDb = Cli({"verify", Db, u.Login}, password + "\r\n");
            EXPECT_EQ(ours.Status, right ? 0 : 1) << ours.Err;
            EXPECT_EQ(fromDb.Status, ours.Status) << fromDb.Err;
            EXPECT_EQ(ours.Out, right ? "Password for user " + std::string(u.Login) + " correct.\n"
                                      : std::string("Password verification failed.\n"));
            // Apache's tools hand an unrecognised value to the system's crypt() on this
            // platform, so they never take a plain-text line; every other line must agree.
            if (std::string(u.Flags) != "-p") {
                EXPECT_EQ(apache == 0, ours.Status == 0);
            }
        }
    }
    TResult r = Cli({"verify", File, "nobody"}, "x\n");
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("User nobody not found"), std::string::npos);
    // Logins are compared exactly, as servers compare them.
    EXPECT_EQ(Cli({"verify", File, "MD5USER"}, "Md5-pass\n").Status, 1);
}

TEST_F(AdoptCliTest, ConflictsAndBadLines) {
    ASSERT_EQ(Cli({"add", Db, "MD5user", "--password", "kept"}).Status, 0);
    const std::string before = ReadWholeFile(Db);

    // A bad line anywhere refuses the whole file before the database changes.
    const std::string bad = Dir.File("bad");
    WriteWholeFile(bad, ReadWholeFile(File) + "carol\n");
    TResult r = Cli({"import-htpasswd", Db, bad});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("Line 14 "), std::string::npos) << r.Err;
    WriteWholeFile(bad, "ok:x\nbad\x01login:$apr1$abc$def\n");
    r = Cli({"import-htpasswd", Db, bad});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("Line 2 "), std::string::npos) << r.Err;
    EXPECT_EQ(ReadWholeFile(Db), before);

    r = Cli({"import-htpasswd", Db, File, "--on-conflict", "sometimes"});
    EXPECT_EQ(r.Status, 2);

    r = Cli({"import-htpasswd", Db, File});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out.substr(0, 36), "8 users added, 0 replaced, 1 skipped");
    EXPECT_EQ(Cli({"verify", Db, "MD5user"}, "kept\n").Status, 0);

    r = Cli({"import-htpasswd", Db, File, "--on-conflict", "replace"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out.substr(0, 36), "0 users added, 9 replaced, 0 skipped");
    TUserList list;
    list.LoadFromFile(Db);
    EXPECT_EQ(list.Count(), 9);
    EXPECT_EQ(list.Users(0).Login, "MD5user") << "the login stays as the database had it";
    EXPECT_TRUE(list.Users(0).HashOnly());
    EXPECT_EQ(Cli({"verify", Db, "MD5user"}, "Md5-pass\n").Status, 0);
}

// A small HTTP server on loopback for the redirect cases: /away redirects to the same port under
// another host name, /same to /ok on this host; /ok wants the Basic credentials ann:pw; every
// request that carries credentials is noted in the log.
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
}

} // namespace
