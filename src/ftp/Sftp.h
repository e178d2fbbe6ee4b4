#pragma once
// SFTP over libssh2: one SSH connection, the host key checked against known_hosts and the
// pinned keys, a login by key file or password, and files stored, measured, renamed and
// removed through the SFTP subsystem. Where the server offers OpenSSH's posix-rename extension,
// a rename replaces its target in one step.

#include "ftp/Transport.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvane {

// The user's default SSH keys that open without a passphrase, as ssh tries them:
// ~/.ssh/id_ed25519, id_ecdsa and id_rsa, those that are there and readable.
std::vector<std::string> DefaultSshKeyFiles();
// Whether a login without a key file can try keys: ssh-agent is there (SSH_AUTH_SOCK) or a
// default key opens without a passphrase.
bool SshKeysAtHand();

class TSftpTransport : public IUploadTransport {
public:
    TSftpTransport(const TFtpSettings& settings, TTransportHooks hooks);
    ~TSftpTransport() override;
    TSftpTransport(const TSftpTransport&) = delete;
    TSftpTransport& operator=(const TSftpTransport&) = delete;

    // Connects, checks the host key and logs in. Raises EFtpError ("Could not connect to ...",
    // "Login to ... failed: ...") or EServerIdentityError.
    void Connect() override;
    void Disconnect() noexcept override;
    void Put(const std::string& remote, const std::string& local) override;
    // posix-rename@openssh.com where the server offers it (the target is replaced at once),
    // else the protocol's own rename, which many servers refuse over an existing file.
    void Rename(const std::string& from, const std::string& to) override;
    void Delete(const std::string& remote) override;
    // stat, else the file read back and counted.
    std::optional<std::int64_t> Size(const std::string& remote) override;
    bool RenameSourceRefused() const override { return FSourceRefused; }

    void Read(const std::string& remote,
              const std::function<void(const char*, std::size_t)>& sink) override;
    std::optional<std::string> Read(const std::string& remote, std::size_t limit) override;
    // What a command run on the server (Exec) ended with.
    struct TExecResult {
        int ExitStatus = -1;
        std::string Signal; // the signal that ended it, as the server names it ("KILL")
        bool TimedOut = false;
    };
    // Runs command on the server through an exec channel of this connection (the server's shell
    // runs it, standard input empty), handing its standard output and error to sink as they
    // come; env is asked for in its environment (a server may refuse such variables: not an
    // error). Returns when the command has ended, or when timeout has passed (the channel is
    // then closed, and the server decides what becomes of the command). Raises EFtpError when no
    // channel can be opened or the connection fails.
    TExecResult Exec(const std::string& command,
                     const std::vector<std::pair<std::string, std::string>>& env,
                     std::chrono::milliseconds timeout,
                     const std::function<void(const char*, std::size_t)>& sink);
    // Sets the permission bits of a file on the server (SFTP setstat). Raises EFtpError.
    void SetMode(const std::string& remote, unsigned mode);
    // After the first Rename: whether the server replaced atomically (offers posix-rename).
    bool AtomicRename() const;
    // "host:port" as connected to ("[v6]:port" for IPv6 addresses).
    const std::string& ServerName() const { return FServerName; }

private:
    struct TSession;
    TSession& Session();
    void Open(bool abortable);

    TFtpSettings FSettings;
    TTransportHooks FHooks;
    std::string FServerName;
    std::unique_ptr<TSession> FSession;
    bool FSourceRefused = false;
};

} // namespace quorvane
