#pragma once
// Real servers for the secure transports, on free loopback ports, each in a process group of
// its own and stopped by its process id: vsftpd (FTP over TLS, explicit and implicit) with a
// configuration and a certificate made for the test, OpenSSH's sshd (key logins) and an
// asyncssh script (password logins) for SFTP.

#include "FtpTestServer.h"
#include "ServerProcess.h"
#include "TestUtil.h"

#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace transporttest {

namespace fs = std::filesystem;
using testsupport::LoopbackPortAccepts;

inline bool Executable(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

// Runs a shell command and returns what it printed; the tests' own fixed commands only.
inline std::string Capture(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, n);
        }
        ::pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) {
        out.pop_back();
    }
    return out;
}

// A server process in a group of its own; Kill() ends it and every session it forked.
class TPeer {
public:
    // Starts args (argv[0] a full path) with output to `out` and waits until `port` accepts.
    bool Start(std::vector<std::string> args, const fs::path& out, int port) {
        return FProcess.Start(std::move(args), out,
                              [port](pid_t) { return LoopbackPortAccepts(port); });
    }
    // Starts the server with argsFor(port) on a free port, trying others when one was taken
    // meanwhile; the port, or an exception naming `name` with the server's output.
    int StartOnFreePort(const std::string& name,
                        const std::function<std::vector<std::string>(int)>& argsFor,
                        const fs::path& out) {
        const int port = testsupport::StartOnFreePort(
            [&](int candidate) { return Start(argsFor(candidate), out, candidate); });
        if (port == 0) throw std::runtime_error(name + " did not start: " + ReadWholeFile(out));
        return port;
    }
    void Kill() { FProcess.Kill(); }

private:
    testsupport::TServerProcess FProcess{testsupport::TServerProcess::TGrouping::OwnGroup};
};

// The known-hosts line of an SSH server on a loopback port with the public key in `pubFile`.
inline std::string KnownHostsLine(int port, const fs::path& pubFile) {
    const std::string pub = ReadWholeFile(pubFile);
    const size_t comment = pub.find(' ', pub.find(' ') + 1);
    return "[127.0.0.1]:" + std::to_string(port) + " " + pub.substr(0, comment) + "\n";
}

// "SHA256:..." as ssh-keygen shows the public key in `pubFile`.
inline std::string FingerprintOf(const fs::path& pubFile) {
    const std::string line = Capture("ssh-keygen -l -E sha256 -f '" + pubFile.string() + "'");
    const size_t from = line.find("SHA256:");
    return from == std::string::npos ? line : line.substr(from, line.find(' ', from) - from);
}

// The public key of a PEM certificate in curl's pin form, "sha256//BASE64", by openssl.
inline std::string PinOf(const fs::path& cert) {
    return "sha256//" + Capture("openssl x509 -in '" + cert.string() +
                                "' -pubkey -noout | openssl pkey -pubin -outform der | "
                                "openssl dgst -sha256 -binary | openssl base64 -A");
}

// vsftpd with anonymous logins over TLS only; uploads go to "pub/". The password "wrong@pw" is
// refused (a banned e-mail address), which stands in for a wrong password.
class TVsftpd {
public:
    static constexpr const char* kBinary = "/usr/sbin/vsftpd";
    static constexpr const char* kWrongPassword = "wrong@pw";

    // maxRate: bytes a second each upload may take (0: as fast as it goes).
    explicit TVsftpd(bool implicitTls, int maxRate = 0) {
        fs::permissions(FDir.Path(), fs::perms(0755));
        fs::create_directories(Root());
        fs::permissions(FDir.Path() / "root", fs::perms(0755));
        ::chown(Root().c_str(), FtpUid(), static_cast<gid_t>(-1));
        fs::permissions(Root(), fs::perms(0777));
        // Its own certificate authority at once: trusted through a CA file, else self-signed.
        Capture("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                "-addext subjectAltName=IP:127.0.0.1 -keyout '" +
                (FDir.Path() / "key.pem").string() + "' -out '" + CertFile().string() +
                "' 2>/dev/null");
        WriteWholeFile((FDir.Path() / "banned").string(), std::string(kWrongPassword) + "\n");
        fs::create_directories("/var/run/vsftpd/empty");
        const fs::path conf = FDir.Path() / "vsftpd.conf";
        FPort = FPeer.StartOnFreePort(
            "vsftpd",
            [&](int port) {
                std::string text =
                    "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nbackground=NO\n"
                    "listen_port=" +
                    std::to_string(port) +
                    "\nanonymous_enable=YES\nlocal_enable=NO\nwrite_enable=YES\n"
                    "anon_upload_enable=YES\nanon_other_write_enable=YES\n"
                    "anon_mkdir_write_enable=YES\nanon_umask=077\nanon_root=" +
                    (FDir.Path() / "root").string() +
                    "\nno_anon_password=NO\ndeny_email_enable=YES\nbanned_email_file=" +
                    (FDir.Path() / "banned").string() +
                    "\nssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\n"
                    "force_anon_data_ssl=YES\nrequire_ssl_reuse=NO\nrsa_cert_file=" +
                    CertFile().string() +
                    "\nrsa_private_key_file=" + (FDir.Path() / "key.pem").string() +
                    "\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\npasv_enable=YES\n"
                    "pasv_address=127.0.0.1\nxferlog_enable=NO\n"
                    "secure_chroot_dir=/var/run/vsftpd/empty\n";
                if (implicitTls) {
                    text += "implicit_ssl=YES\n";
                }
                if (maxRate > 0) {
                    text += "anon_max_rate=" + std::to_string(maxRate) + "\n";
                }
                if (::geteuid() != 0) {
                    text += "run_as_launching_user=YES\n";
                }
                WriteWholeFile(conf.string(), text);
                return std::vector<std::string>{kBinary, conf.string()};
            },
            FDir.Path() / "server.out");
    }

    fs::path Root() const { return FDir.Path() / "root" / "pub"; }
    fs::path CertFile() const { return FDir.Path() / "cert.pem"; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(FPort); }
    std::string Pin() const { return PinOf(CertFile()); }
    void Kill() { FPeer.Kill(); }

private:
    static uid_t FtpUid() {
        const std::string uid = Capture("id -u ftp 2>/dev/null");
        return uid.empty() ? ::geteuid() : static_cast<uid_t>(std::stoul(uid));
    }

    TTempDir FDir;
    TPeer FPeer;
    int FPort = 0;
};

// OpenSSH's sshd with a throwaway host key, logins by key only (for the user running the
// tests), files by its internal SFTP server. The client key "user" has no passphrase, "locked"
// has kLockedPassphrase.
class TSshd {
public:
    static constexpr const char* kBinary = "/usr/sbin/sshd";
    static constexpr const char* kLockedPassphrase = "correct horse";

    // logged: files by the separate sftp-server, which logs what it does (see Log()); sshd
    // starts it through the login shell, whose start-up files cost every connection their time.
    // throttle: files by the separate sftp-server taking uploads at most this many bytes a
    // second (0: as fast as it goes).
    explicit TSshd(bool logged = false, int throttle = 0) {
        const std::string dir = FDir.Path().string();
        Capture("ssh-keygen -q -t ed25519 -N '' -f '" + dir + "/hostkey' && ssh-keygen -q -t " +
                "ed25519 -N '' -f '" + dir + "/user' && ssh-keygen -q -t ed25519 -N '" +
                kLockedPassphrase + "' -f '" + dir + "/locked' && ssh-keygen -q -t ed25519 " +
                "-N '' -f '" + dir + "/stranger'");
        WriteWholeFile(dir + "/authorized_keys", ReadWholeFile(FDir.Path() / "user.pub") +
                                                     ReadWholeFile(FDir.Path() / "locked.pub"));
        fs::create_directories(Root());
        if (::geteuid() == 0) {
            fs::create_directories("/run/sshd"); // its privilege separation folder
        }
        FPort = FPeer.StartOnFreePort(
            "sshd",
            [&](int port) {
                const std::string conf = dir + "/sshd_config";
                WriteWholeFile(
                    conf, "Port " + std::to_string(port) + "\nListenAddress 127.0.0.1\nHostKey " +
                              dir + "/hostkey\nPidFile none\nAuthorizedKeysFile " + dir +
                              "/authorized_keys\nStrictModes no\nUsePAM no\n"
                              "PasswordAuthentication no\n"
                              "KbdInteractiveAuthentication no\nPubkeyAuthentication yes\n"
                              "PermitRootLogin prohibit-password\n"
                              "Subsystem sftp " +
                              Subsystem(logged, throttle) + "\nLogLevel ERROR\n");
                return std::vector<std::string>{kBinary, "-D", "-e", "-f", conf};
            },
            FDir.Path() / "server.out");
    }

    fs::path Root() const { return FDir.Path() / "site"; }
    fs::path Key(const std::string& name) const { return FDir.Path() / name; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(FPort); }
    // The known-hosts line for this server, with its key or another one (a changed key).
    std::string KnownHostsLine(bool ownKey = true) const {
        return transporttest::KnownHostsLine(FPort, FDir.Path() /
                                                        (ownKey ? "hostkey.pub" : "stranger.pub"));
    }
    // "SHA256:..." as ssh-keygen shows the host key.
    std::string Fingerprint() const {
        return transporttest::FingerprintOf(FDir.Path() / "hostkey.pub");
    }
    std::string User() const { return Capture("id -un"); }
    std::string Subsystem(bool logged, int throttle) const {
        const std::string server = "/usr/lib/openssh/sftp-server";
        if (logged) return server + " -e -l INFO 2>>" + FDir.Path().string() + "/sftp.log";
        if (throttle > 0)
            return std::string("/usr/bin/python3 ") + QUORVANE_THROTTLE_SCRIPT + " " +
                   std::to_string(throttle) + " " + server;
        return "internal-sftp";
    }
    // A logged server's every rename and removal.
    std::string Log() const { return ReadWholeFile(FDir.Path() / "sftp.log"); }
    void Kill() { FPeer.Kill(); }

private:
    TTempDir FDir;
    TPeer FPeer;
    int FPort = 0;
};

// asyncssh's SFTP server with password logins; the session sees Root() as "/" and starts there.
class TAsyncSftp {
public:
    static constexpr const char* kUser = "webmaster";
    static constexpr const char* kPassword = "open sesame";

    // switches: the script's ways to misbehave (--truncate, --no-stat, --no-posix-rename,
    // --throttle N).
    explicit TAsyncSftp(std::vector<std::string> switches = {}) {
        fs::create_directories(Root());
        FPort = FPeer.StartOnFreePort(
            "the SFTP server",
            [&](int port) {
                std::vector<std::string> args{
                    "/usr/bin/python3", QUORVANE_SFTP_SERVER_SCRIPT,
                    "--port",           std::to_string(port),
                    "--root",           Root().string(),
                    "--user",           kUser,
                    "--password",       kPassword,
                    "--host-key",       (FDir.Path() / "hostkey").string()};
                args.insert(args.end(), switches.begin(), switches.end());
                return args;
            },
            FDir.Path() / "server.out");
    }
    fs::path Root() const { return FDir.Path() / "root"; }
    std::string Host() const { return "127.0.0.1:" + std::to_string(FPort); }
    std::string KnownHostsLine() const {
        return transporttest::KnownHostsLine(FPort, FDir.Path() / "hostkey.pub");
    }
    std::string Fingerprint() const {
        return transporttest::FingerprintOf(FDir.Path() / "hostkey.pub");
    }
    void Kill() { FPeer.Kill(); }

private:
    TTempDir FDir;
    TPeer FPeer;
    int FPort = 0;
};

} // namespace transporttest
