#pragma once
// A real FTP server for the tests, on a free loopback port with a fresh root folder, stopped by
// its process id: Debian's pyftpdlib as it comes, or our own script (ftp_server.py) whose
// switches make it misbehave on purpose and which logs every command line it receives.

#include "ServerProcess.h"
#include "TestUtil.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace ftptest {

namespace fs = std::filesystem;

inline const std::string kUser = "webmaster";
inline const std::string kPassword = "open sesame";

using testsupport::FreeLoopbackPort;
using testsupport::LoopbackPortAccepts;
using testsupport::StartOnFreePort;
using testsupport::TServerProcess;

// Password-file text of about `size` bytes, with the CR LF line ends of an exported file.
inline std::string SampleText(std::size_t size, char tag = 'a') {
    std::string text;
    for (int i = 0; text.size() < size; ++i)
        text += "user" + std::to_string(i) + tag + ":$apr1$salt" + std::to_string(i % 97) +
                "$abcdefghijklmnopqrstuv\r\n";
    text.resize(size);
    return text;
}

// An FTP server on a free loopback port with a fresh root folder, stopped by its process id.
// Plain: Debian's pyftpdlib as it comes. Otherwise our own script with its switches, which also
// logs every command line it receives.
class TFtpServer {
public:
    explicit TFtpServer(std::vector<std::string> switches = {}, bool plain = false) {
        fs::create_directories(Root());
        FPort = StartOnFreePort([&](int port) { return Launch(switches, plain, port); });
        if (FPort == 0) {
            throw std::runtime_error("the FTP server did not start: " +
                                     ReadWholeFile(FDir.Path() / "server.out"));
        }
    }

    fs::path Root() const { return FDir.Path() / "root"; }
    int Port() const { return FPort; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(FPort); }
    std::string Commands() const { return ReadWholeFile(FDir.Path() / "commands.log"); }
    bool Exited() { return FProcess.Exited(); }

private:
    bool Launch(const std::vector<std::string>& switches, bool plain, int port) {
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
        const fs::path out = FDir.Path() / "server.out";
        return FProcess.Start(args, out, [&](pid_t pid) {
            // Our own child's banner for this port: not another server that took the port.
            const std::string banner = "starting FTP server on 127.0.0.1:" + std::to_string(port) +
                                       ", pid=" + std::to_string(pid) + " ";
            return ReadWholeFile(out).find(banner) != std::string::npos &&
                   LoopbackPortAccepts(port);
        });
    }

    TTempDir FDir;
    TServerProcess FProcess;
    int FPort = 0;
};

} // namespace ftptest
