#pragma once
// A real FTP server for the tests, on a free loopback port with a fresh root folder, stopped by
// its process id: Debian's pyftpdlib as it comes, or our own script (ftp_server.py) whose
// switches make it misbehave on purpose and which logs every command line it receives.

#include "TestUtil.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace ftptest {

namespace fs = std::filesystem;

inline const std::string kUser = "webmaster";
inline const std::string kPassword = "open sesame";

inline std::string ReadAll(const fs::path& path) {
    return ReadWholeFile(path.string());
}

inline int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return 0;
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

inline bool PortAccepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}

// An FTP server on a free loopback port with a fresh root folder, stopped by its process id.
// Plain: Debian's pyftpdlib as it comes. Otherwise our own script with its switches, which also
// logs every command line it receives.
class TFtpServer {
public:
    explicit TFtpServer(std::vector<std::string> switches = {}, bool plain = false) {
        fs::create_directories(Root());
        for (int attempt = 0; attempt < 5 && FPid == 0; ++attempt) {
            Launch(switches, plain);
        }
        if (FPid == 0) {
            throw std::runtime_error("the FTP server did not start: " +
                                     ReadAll(FDir.Path() / "server.out"));
        }
    }
    ~TFtpServer() {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            ::waitpid(FPid, nullptr, 0);
        }
    }

    fs::path Root() const { return FDir.Path() / "root"; }
    int Port() const { return FPort; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(FPort); }
    std::string Commands() const { return ReadAll(FDir.Path() / "commands.log"); }
    bool Exited() {
        if (FPid <= 0) {
            return true;
        }
        if (::waitpid(FPid, nullptr, WNOHANG) == FPid) {
            FPid = -1;
            return true;
        }
        return false;
    }

private:
    void Launch(const std::vector<std::string>& switches, bool plain) {
        const int port = FreeLoopbackPort();
        std::vector<std::string> args{"/usr/bin/python3"};
        if (plain) {
            args.insert(args.end(),
                        {"-m", "pyftpdlib", "-i", "127.0.0.1", "-p", std::to_string(port), "-u",
                         kUser, "-P", kPassword, "-d", Root().string(), "-w"});
        } else {
            args.insert(args.end(), {QUORVANE_FTP_SERVER_SCRIPT, "--port", std::to_string(port),
                                     "--root", Root().string(), "--user", kUser, "--password",
                                     kPassword, "--log", (FDir.Path() / "commands.log").string()});
            args.insert(args.end(), switches.begin(), switches.end());
        }
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string out = (FDir.Path() / "server.out").string();
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid, nullptr, WNOHANG) == pid) {
                return; // it died, most likely on a port taken meanwhile: try another
            }
            // Our own child's banner for this port: not another server that took the port.
            const std::string banner = "starting FTP server on 127.0.0.1:" + std::to_string(port) +
                                       ", pid=" + std::to_string(pid) + " ";
            if (ReadAll(FDir.Path() / "server.out").find(banner) != std::string::npos &&
                PortAccepts(port)) {
                FPid = pid;
                FPort = port;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }

    TTempDir FDir;
    pid_t FPid = 0;
    int FPort = 0;
};

} // namespace ftptest
