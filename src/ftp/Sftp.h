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

class TSftpTransport : public IUploadTransport, public IRemoteShell {
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
    TExecResult Exec(const std::string& command,
                     const std::vector<std::pair<std::string, std::string>>& env,
                     std::chrono::milliseconds timeout,
                     const std::function<void(const char*, std::size_t)>& sink) override;
    void SetMode(const std::string& remote, unsigned mode) override;
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
