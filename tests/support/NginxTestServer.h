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

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace nginxtest {

namespace fs = std::filesystem;

// The nginx binary, or empty when it is not installed.
inline std::string NginxBinary() {
    for (const char* candidate : {"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"})
        if (::access(candidate, X_OK) == 0) return candidate;
    return {};
}

inline int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

inline bool LoopbackPortAccepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
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
        Write(FPrefix / "html" / "index.html", "welcome\n");
        Write(PasswordFilePath(), "");
        for (int attempt = 0; attempt < 5 && FPid <= 0; ++attempt)
            Launch();
        if (FPid <= 0)
            throw std::runtime_error("nginx did not start: " +
                                     Read(FPrefix / "logs" / "error.log"));
    }
    ~TNginxServer() {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            ::waitpid(FPid, nullptr, 0);
        }
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
    void SetPasswordFile(const std::string& contents) const { Write(PasswordFilePath(), contents); }
    std::string ErrorLog() const { return Read(FPrefix / "logs" / "error.log"); }

    // HTTP status of a GET with Basic credentials login:password (-1: no answer).
    int Status(const std::string& login, const std::string& password) const {
        return Request(&login, &password);
    }
    // HTTP status of a GET without credentials.
    int StatusWithoutCredentials() const { return Request(nullptr, nullptr); }

private:
    static void Write(const fs::path& path, const std::string& data) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << data;
        if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
    }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    void Launch() {
        const int port = FreeLoopbackPort();
        if (port == 0) return;
        const std::string prefix = FPrefix.string();
        const fs::path conf = FPrefix / "nginx.conf";
        const fs::path pidFile = FPrefix / "nginx.pid";
        std::error_code ec;
        fs::remove(pidFile, ec);
        // One process in the foreground: the child we spawn is the server we stop.
        Write(conf, "daemon off;\n"
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
        std::vector<std::string> args{
            FBinary, "-p", prefix + "/", "-e", prefix + "/logs/error.log", "-c", conf.string()};
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string out = (FPrefix / "logs" / "nginx.out").string();
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid, nullptr, WNOHANG) == pid) return; // port taken meanwhile: retry
            // Our child wrote its pid file and listens: not some other program on that port.
            if (Read(pidFile).find(std::to_string(pid)) == 0 && LoopbackPortAccepts(port)) {
                FPid = pid;
                FPort = port;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }

    static size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

    int Request(const std::string* login, const std::string* password) const {
        if (FPid <= 0) return -1;
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
    pid_t FPid = -1;
    int FPort = 0;
};

} // namespace nginxtest
