#pragma once
// A real nginx for the tests: Basic authentication against a password file, on a free loopback
// port, with its own prefix folder, configuration and pid file, stopped by its process id.
// nginx reads the password file on every request, so one server can judge several files in
// turn (rewrite the file, ask again).
//
//   TNginxServer server;                 // GTEST_SKIP() in the test when !server.Available()
//   server.SetPasswordFile(contents);    // or point it at a file with PasswordFilePath()
//   EXPECT_EQ(server.Status("alice", "secret"), 200);
//
// Status() answers the HTTP status of a GET on the protected page (200 let in, 401 refused,
// 500 when nginx cannot read the file), or -1 when no answer came. Requests go through libcurl
// (link CURL::libcurl).

#include "ServerProcess.h"
#include "TestUtil.h"

#include <curl/curl.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace nginxtest {

namespace fs = std::filesystem;

// The nginx binary, or empty when it is not installed.
inline std::string NginxBinary() {
    for (const char* candidate : {"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"})
        if (::access(candidate, X_OK) == 0) return candidate;
    return {};
}

class TNginxServer {
public:
    TNginxServer() {
        FBinary = NginxBinary();
        if (FBinary.empty()) return;
        std::string pattern = (fs::temp_directory_path() / "qvnginx-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        FPrefix = pattern;
        fs::create_directories(FPrefix / "html");
        fs::create_directories(FPrefix / "logs");
        fs::create_directories(FPrefix / "tmp");
        WriteWholeFile(FPrefix / "html" / "index.html", "welcome\n");
        SetPasswordFile("");
        FPort = testsupport::StartOnFreePort([this](int port) { return Launch(port); });
        if (FPort == 0) throw std::runtime_error("nginx did not start: " + ErrorLog());
    }
    ~TNginxServer() {
        FProcess.Stop();
        if (!FPrefix.empty()) {
            std::error_code ec;
            fs::remove_all(FPrefix, ec);
        }
    }
    TNginxServer(const TNginxServer&) = delete;
    TNginxServer& operator=(const TNginxServer&) = delete;

    // False when nginx is not installed: the test should GTEST_SKIP() with SkipReason().
    bool Available() const { return !FBinary.empty(); }
    static const char* SkipReason() { return "nginx is not installed"; }

    int Port() const { return FPort; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/"; }
    // The file named by auth_basic_user_file.
    fs::path PasswordFilePath() const { return FPrefix / "htpasswd"; }
    void SetPasswordFile(const std::string& contents) const {
        WriteWholeFile(PasswordFilePath(), contents);
    }
    std::string ErrorLog() const { return ReadWholeFile(FPrefix / "logs" / "error.log"); }

    // HTTP status of a GET with Basic credentials login:password (-1: no answer).
    int Status(const std::string& login, const std::string& password) const {
        return Request(&login, &password);
    }
    // HTTP status of a GET without credentials.
    int StatusWithoutCredentials() const { return Request(nullptr, nullptr); }

private:
    bool Launch(int port) {
        const std::string prefix = FPrefix.string();
        const fs::path conf = FPrefix / "nginx.conf";
        const fs::path pidFile = FPrefix / "nginx.pid";
        std::error_code ec;
        fs::remove(pidFile, ec);
        // One process in the foreground: the child we spawn is the server we stop.
        WriteWholeFile(conf, "daemon off;\n"
                             "master_process off;\n"
                             "worker_processes 1;\n"
                             "pid " +
                                 pidFile.string() +
                                 ";\n"
                                 "error_log " +
                                 prefix +
                                 "/logs/error.log info;\n"
                                 "events { worker_connections 32; }\n"
                                 "http {\n"
                                 "  access_log off;\n"
                                 "  client_body_temp_path " +
                                 prefix +
                                 "/tmp/body;\n"
                                 "  proxy_temp_path " +
                                 prefix +
                                 "/tmp/proxy;\n"
                                 "  fastcgi_temp_path " +
                                 prefix +
                                 "/tmp/fastcgi;\n"
                                 "  uwsgi_temp_path " +
                                 prefix +
                                 "/tmp/uwsgi;\n"
                                 "  scgi_temp_path " +
                                 prefix +
                                 "/tmp/scgi;\n"
                                 "  server {\n"
                                 "    listen 127.0.0.1:" +
                                 std::to_string(port) +
                                 ";\n"
                                 "    root " +
                                 prefix +
                                 "/html;\n"
                                 "    location / {\n"
                                 "      auth_basic \"Quorvane test\";\n"
                                 "      auth_basic_user_file " +
                                 PasswordFilePath().string() +
                                 ";\n"
                                 "    }\n"
                                 "  }\n"
                                 "}\n");
        const std::vector<std::string> args{
            FBinary, "-p", prefix + "/", "-e", prefix + "/logs/error.log", "-c", conf.string()};
        // Our child wrote its pid file and listens: not some other program on that port.
        return FProcess.Start(
            args, FPrefix / "logs" / "nginx.out",
            [&](pid_t pid) {
                return ReadWholeFile(pidFile).find(std::to_string(pid)) == 0 &&
                       testsupport::LoopbackPortAccepts(port);
            },
            true);
    }

    static size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

    int Request(const std::string* login, const std::string* password) const {
        if (FProcess.Pid() <= 0) return -1;
        CURL* curl = curl_easy_init();
        if (curl == nullptr) return -1;
        curl_easy_setopt(curl, CURLOPT_URL, Url().c_str());
        curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &TNginxServer::Discard);
        if (login != nullptr) {
            curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
            curl_easy_setopt(curl, CURLOPT_USERNAME, login->c_str());
            curl_easy_setopt(curl, CURLOPT_PASSWORD, password->c_str());
        }
        long status = -1;
        if (curl_easy_perform(curl) == CURLE_OK)
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_cleanup(curl);
        return static_cast<int>(status);
    }

    std::string FBinary;
    fs::path FPrefix;
    testsupport::TServerProcess FProcess;
    int FPort = 0;
};

} // namespace nginxtest
