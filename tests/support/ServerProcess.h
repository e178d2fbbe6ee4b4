#pragma once
// The peers the tests start: a free loopback port, whether a port accepts connections, a port
// that accepts but never answers, and a server process started with its output in a file and
// stopped by its process id.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace testsupport {

namespace fs = std::filesystem;

// A port nobody listens on now (0 when none could be had).
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

// A loopback port that accepts connections but never says a word: an FTP server that hangs.
class TSilentServer {
public:
    TSilentServer() {
        FFd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (::bind(FFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            ::listen(FFd, 8) != 0 ||
            ::getsockname(FFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot listen on the loopback interface");
        FPort = ntohs(address.sin_port);
    }
    ~TSilentServer() { ::close(FFd); }
    TSilentServer(const TSilentServer&) = delete;
    TSilentServer& operator=(const TSilentServer&) = delete;
    int Port() const { return FPort; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(FPort); }

private:
    int FFd = -1;
    int FPort = 0;
};

// Kills the children of `pid`, and theirs, found through /proc.
inline void KillDescendants(pid_t pid) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(entry.path() / "stat");
        std::ostringstream text;
        text << in.rdbuf();
        const std::string stat = text.str();
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(stat.substr(close + 2));
        std::string state;
        long parent = 0;
        fields >> state >> parent;
        if (parent == pid) {
            const pid_t child = static_cast<pid_t>(std::stol(name));
            KillDescendants(child);
            ::kill(child, SIGKILL);
        }
    }
}

// A server process started by a test and stopped by its process id: with SIGTERM, or, for a
// server in a process group of its own, by killing the group and every session it forked
// (also sessions that left the group).
class TServerProcess {
public:
    enum class TGrouping { Single, OwnGroup };

    explicit TServerProcess(TGrouping kind = TGrouping::Single) : FKind(kind) {}
    TServerProcess(const TServerProcess&) = delete;
    TServerProcess& operator=(const TServerProcess&) = delete;
    ~TServerProcess() { Stop(); }

    // Starts args (argv[0] a full path) with standard output and error going to `out` (appended
    // to with `append`), then waits up to 20 seconds until ready(pid) holds. False when it did
    // not start, exited meanwhile (most likely on a port taken meanwhile) or never got ready.
    bool Start(std::vector<std::string> args, const fs::path& out,
               const std::function<bool(pid_t)>& ready, bool append = false) {
        Stop();
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(),
                                         O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        if (FKind == TGrouping::OwnGroup) {
            posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
            posix_spawnattr_setpgroup(&attr, 0);
        }
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        if (rc != 0) return false;
        FPid = pid;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (Exited()) return false;
            if (ready(pid)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        Kill();
        return false;
    }

    // Ends the server: SIGTERM for a single process, the whole group killed otherwise.
    void Stop() {
        if (FKind == TGrouping::OwnGroup) {
            Kill();
        } else if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            ::waitpid(FPid, nullptr, 0);
            FPid = 0;
        }
    }
    // Ends the server at once (SIGKILL), with every process it started when in its own group.
    void Kill() {
        if (FPid <= 0) return;
        if (FKind == TGrouping::OwnGroup) {
            KillDescendants(FPid);
            ::kill(-FPid, SIGKILL);
        } else {
            ::kill(FPid, SIGKILL);
        }
        ::waitpid(FPid, nullptr, 0);
        FPid = 0;
    }
    // True once the server has ended (or never ran); reaps it.
    bool Exited() {
        if (FPid <= 0) return true;
        if (::waitpid(FPid, nullptr, WNOHANG) != FPid) return false;
        FPid = 0;
        return true;
    }
    pid_t Pid() const { return FPid; }

private:
    TGrouping FKind;
    pid_t FPid = 0;
};

// Calls start(port) with a fresh free port until it succeeds, five times at most; the port it
// succeeded on, or 0.
inline int StartOnFreePort(const std::function<bool(int)>& start) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int port = FreeLoopbackPort();
        if (port != 0 && start(port)) return port;
    }
    return 0;
}

} // namespace testsupport
