#pragma once
// The upload interface every transport offers (FTP, FTP over TLS, SFTP), and the safe
// replacement of a remote file written once against it.

#include "ftp/Ftp.h"
#include "ftp/FtpTexts.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvane {

// One connection to one server. Every operation raises EFtpError with a short reason (the
// server's refusal, or what went wrong on the way); the caller names the step.
class IUploadTransport {
public:
    virtual ~IUploadTransport() = default;
    virtual void Connect() = 0;
    virtual void Disconnect() noexcept = 0;
    // Stores the local file's exact bytes under the remote name.
    virtual void Put(const std::string& remote, const std::string& local) = 0;
    virtual void Rename(const std::string& from, const std::string& to) = 0;
    virtual void Delete(const std::string& remote) = 0;
    // The size of a stored remote file, found by every means the transport has; nothing when
    // none of them tells.
    virtual std::optional<std::int64_t> Size(const std::string& remote) = 0;
    // The bytes of a remote file, or nothing when there is no such file; raises when it exists
    // but cannot be read, or holds more than `limit` bytes.
    virtual std::optional<std::string> Read(const std::string& remote, std::size_t limit) = 0;
    // After a failed Rename: whether the server refused to move the source at all (FTP's RNFR),
    // as opposed to refusing the new name.
    virtual bool RenameSourceRefused() const = 0;
    // Reads a remote file's bytes into sink, chunk by chunk (FTP RETR, SFTP read).
    virtual void Read(const std::string& remote,
                      const std::function<void(const char*, std::size_t)>& sink) = 0;
};

// What an SSH connection offers beside its files (the SFTP transport has it).
class IRemoteShell {
public:
    virtual ~IRemoteShell() = default;
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
    virtual TExecResult Exec(const std::string& command,
                             const std::vector<std::pair<std::string, std::string>>& env,
                             std::chrono::milliseconds timeout,
                             const std::function<void(const char*, std::size_t)>& sink) = 0;
    // Sets the permission bits of a file on the server (SFTP setstat). Raises EFtpError.
    virtual void SetMode(const std::string& remote, unsigned mode) = 0;
};

// What a transport asks and reports while it works, on the thread that drives it.
struct TTransportHooks {
    // An SSH host key neither known nor pinned: server ("host:port") and its fingerprint; true
    // trusts it for this connection. None: refused.
    std::function<bool(const std::string& server, const std::string& fingerprint)> OnUnknownHostKey;
    // Asked while connecting and transferring; true stops the operation ("aborted").
    std::function<bool()> Aborted;
    // Bytes of the local file sent; the counts of one Put add up to the file's size.
    std::function<void(std::int64_t bytes)> OnBytes;
};

// The transport for the settings' protocol: SFTP over libssh2, the others over libcurl (through
// the transfers' plugin, loaded on first use).
std::unique_ptr<IUploadTransport> MakeTransport(const TFtpSettings& settings,
                                                TTransportHooks hooks);

// Decides once whether an upload may touch its target. Abort and Commit meet under one lock: an
// abort that comes first keeps the target as it is whatever happens after, and an abort that
// comes once the replacement has begun is refused, so the one who asked knows which holds.
class TCommitGate {
public:
    // True when the target will not be touched (the upload may still be running; it stops at
    // its next step); false when the replacement has already begun.
    bool Abort() noexcept;
    // Called right before the target is first touched: true lets the replacement go ahead and
    // makes later aborts fail; false when an abort came first.
    bool Commit() noexcept;
    bool Aborted() const noexcept;

private:
    mutable std::mutex FMutex;
    bool FAborted = false;
    bool FCommitted = false;
};

// The upload was stopped by an abort before its target was touched. TempKept: the temporary
// remote file could not be removed.
class EUploadAborted : public EFtpError {
public:
    EUploadAborted(const std::string& remote, bool tempKept)
        : EFtpError(Msg(texts::UploadAborted, remote)), TempKept(tempKept) {}
    bool TempKept = false;
};

// The temporary remote name of a target: the name followed by "_safeupload".
std::string SafeUploadName(const std::string& remote);

// Stores `local` (of `localSize` bytes) as `remote` so that the server holds the old file or
// the complete new one: upload under SafeUploadName, check its stored size (a file the server
// cannot measure is not installed), rename it over the target; where the server will not rename
// over a file, delete the target first, and should the rename still fail, store the file under
// the target's name directly. A failure after the temporary file was created removes it where
// the server allows. Raises EFtpError with a message naming the step and the target ("Upload of
// /www/.htpasswd failed: ..."), or EUploadAborted when `gate` was aborted before the target was
// touched (the gate is asked right before the first step that touches it).
void SafeUpload(IUploadTransport& transport, const std::string& local, std::int64_t localSize,
                const std::string& remote, TCommitGate* gate = nullptr);

// The two steps of SafeUpload, for a caller that checks more between them: StageUpload stores
// the file under SafeUploadName and compares its size (the target untouched; a failure removes
// the temporary file), CommitUpload moves it over the target. DeleteStagedUpload removes a
// staged file that is not to be committed, as far as the server allows.
// With a gate, CommitUpload asks it before the target is first touched (EUploadAborted when an
// abort came first) and StageUpload stops at an abort.
void StageUpload(IUploadTransport& transport, const std::string& local, std::int64_t localSize,
                 const std::string& remote, TCommitGate* gate = nullptr);
void CommitUpload(IUploadTransport& transport, const std::string& local, const std::string& remote,
                  TCommitGate* gate = nullptr);
void DeleteStagedUpload(IUploadTransport& transport, const std::string& remote) noexcept;

} // namespace quorvane
