#pragma once
// What the web servers the tests start have in common: a private prefix folder with the page
// and the password file they protect it with, a process on a free loopback port stopped by its
// process id, and the HTTP status a request with Basic credentials gets. The servers read the
// password file on every request, so one server can judge several files in turn (rewrite the
// file, ask again).
//
//   TNginxServer server;                 // GTEST_SKIP() in the test when !server.Available()
//   server.SetPasswordFile(contents);    // or point it at a file with PasswordFilePath()
//   EXPECT_EQ(server.Status("alice", "secret"), 200);
//
// Status() answers the HTTP status of a GET on the protected page (200 let in, 401 refused,
// 500 when the server cannot read the file), or -1 when no answer came. Requests go through
// libcurl (link CURL::libcurl), also from several threads at once.

#include "ServerProcess.h"
#include "TestUtil.h"

#include <curl/curl.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>

namespace testsupport {

// The first of `candidates` that can be run, or empty when none is installed.
inline std::string InstalledBinary(std::initializer_list<const char*> candidates) {
    for (const char* candidate : candidates)
        if (::access(candidate, X_OK) == 0) return candidate;
    return {};
}

class TBasicAuthServer {
public:
    virtual ~TBasicAuthServer() {
        FProcess.Stop();
        curl_global_cleanup();
        if (!FPrefix.empty()) {
            std::error_code ec;
            fs::remove_all(FPrefix, ec);
        }
    }
    TBasicAuthServer(const TBasicAuthServer&) = delete;
    TBasicAuthServer& operator=(const TBasicAuthServer&) = delete;

    // False when the server is not installed: the test should GTEST_SKIP() with SkipReason().
    bool Available() const { return !FBinary.empty(); }
    std::string SkipReason() const { return FName + " is not installed"; }

    int Port() const { return FPort; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/"; }
    // The file the server checks the credentials against.
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

protected:
    // Makes the prefix folder (with html/index.html, logs/ and an empty password file) when
    // `binary` is installed; Start() then runs the server.
    TBasicAuthServer(std::string name, std::string binary)
        : FName(std::move(name)), FBinary(std::move(binary)) {
        curl_global_init(CURL_GLOBAL_DEFAULT); // before requests from several threads
        if (FBinary.empty()) return;
        std::string pattern = (fs::temp_directory_path() / ("qv" + FName + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        FPrefix = pattern;
        fs::create_directories(FPrefix / "html");
        fs::create_directories(FPrefix / "logs");
        WriteWholeFile(FPrefix / "html" / "index.html", "welcome\n");
        SetPasswordFile("");
    }

    // Writes the configuration for `port` with configFor(port), then starts args (the binary
    // first) and waits until our child wrote its pid to `pidFile` and listens: not some other
    // program on that port. Tries other ports when one was taken meanwhile.
    void Start(const std::function<std::string(int)>& configFor, const fs::path& config,
               const std::vector<std::string>& args, const fs::path& pidFile) {
        if (!Available()) return;
        FPort = StartOnFreePort([&](int port) {
            std::error_code ec;
            fs::remove(pidFile, ec);
            WriteWholeFile(config, configFor(port));
            return FProcess.Start(
                args, FPrefix / "logs" / (FName + ".out"),
                [&](pid_t pid) {
                    return ReadWholeFile(pidFile).find(std::to_string(pid)) == 0 &&
                           LoopbackPortAccepts(port);
                },
                true);
        });
        if (FPort == 0)
            throw std::runtime_error(FName + " did not start: " + ErrorLog() +
                                     ReadWholeFile(FPrefix / "logs" / (FName + ".out")));
    }

    const std::string& Binary() const { return FBinary; }
    const fs::path& Prefix() const { return FPrefix; }

private:
    static size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

    int Request(const std::string* login, const std::string* password) const {
        if (FProcess.Pid() <= 0) return -1;
        CURL* curl = curl_easy_init();
        if (curl == nullptr) return -1;
        curl_easy_setopt(curl, CURLOPT_URL, Url().c_str());
        curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &TBasicAuthServer::Discard);
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

    std::string FName;
    std::string FBinary;
    fs::path FPrefix;
    TServerProcess FProcess;
    int FPort = 0;
};

} // namespace testsupport
