#pragma once
// The upload worker: stores one local file on one server from a thread of its own, safely
// (first under a temporary remote name, then moved over the target), and reports what it does
// to its owner through a dispatcher that runs calls on the owner's thread. An export to several
// servers runs one worker per server.

#include "ftp/Ftp.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorvane {

class TCommitGate;

class IUploadTransport;

// How the worker reaches its owner: RunAndWait runs `task` on the owner's thread and returns
// once it has run. The owner must not block waiting for the worker while a task may be pending.
class IUiDispatcher {
public:
    virtual ~IUiDispatcher() = default;
    virtual void RunAndWait(const std::function<void()>& task) = 0;
};

// Runs every task at once on the calling thread (the worker's), one at a time. For owners
// without an event loop, such as the command-line tool, which then waits with WaitFor.
class TDirectDispatcher : public IUiDispatcher {
public:
    void RunAndWait(const std::function<void()>& task) override;

private:
    std::mutex FMutex;
};

// sent * 100 / size truncated, for sizes of any 64-bit magnitude; 0 for an empty file.
std::int64_t UploadPercent(std::int64_t sent, std::int64_t size);

// The progress of one file: "Uploading REMOTE - N% completed", N being sent * 100 / size
// truncated (sizes of any 64-bit magnitude).
TMessage UploadStatusMessage(const std::string& remote, std::int64_t sent, std::int64_t size);

// Where the worker is: connecting to Host, or Sent of Size bytes of Remote stored.
struct TUploadProgress {
    bool Connecting = false;
    std::string Host;   // as the owner gave it
    std::string Remote; // the file being stored
    std::int64_t Sent = 0;
    std::int64_t Size = 0;
};

// "Connecting to HOST..." or UploadStatusMessage of the file.
TMessage UploadProgressMessage(const TUploadProgress& progress);

using TUploadProgressEvent = std::function<void(const TUploadProgress& progress)>;
// Status messages (UploadProgressMessage of each progress) and the error: the message, and
// whether it is an error.
using TFtpStatusEvent = std::function<void(const TMessage& message, bool isError)>;
// The completion notification, after the last status, on the owner's thread.
using TFtpDoneEvent = std::function<void()>;

// The connection settings (TFtpSettings) are filled by the owner before Start; later changes have
// no effect on the run.
class TFtpUploader : public TFtpSettings {
public:
    explicit TFtpUploader(std::shared_ptr<IUiDispatcher> dispatcher);
    // A worker still running is detached (see Detach) and finishes on its own. An uploader that
    // was never started deletes the DeleteWhenDone files here.
    ~TFtpUploader();
    TFtpUploader(const TFtpUploader&) = delete;
    TFtpUploader& operator=(const TFtpUploader&) = delete;

    // Asked on the owner's thread when an SSH server shows a key neither known nor pinned:
    // server ("host:port") and the key's fingerprint; true accepts it for this run.
    std::function<bool(const std::string& server, const std::string& fingerprint)> OnUnknownHostKey;
    std::string LocalFile;
    std::string RemoteFile; // where LocalFile goes on the server
    // Local files removed when the worker ends, whatever the outcome: the temporary password
    // file, which must not outlive the export even when its owner has gone.
    std::vector<std::string> DeleteWhenDone;
    // What the worker holds until it ends, whoever else lets go: the memory files (TMemoryFile)
    // that LocalFile names.
    std::vector<std::shared_ptr<const void>> KeepOpen;
    // How the file goes onto the connected server, on the worker's thread; what it raises is
    // the upload's failure. None: SafeUpload.
    // With the upload's gate, which the store asks right before it first touches the target.
    std::function<void(IUploadTransport& transport, const std::string& local, std::int64_t size,
                       const std::string& remote, TCommitGate* gate)>
        Store;
    TUploadProgressEvent OnProgress; // before the status text of the same progress
    TFtpStatusEvent OnStatus;
    TFtpDoneEvent OnTerminate;

    // Starts the worker thread. Raises std::logic_error when started twice or without a local
    // or a remote file.
    void Start();

    // From now on no status and no completion reaches the owner; the upload, the safe rename
    // and the deletion of DeleteWhenDone still run to their end. Waits for a handler that is
    // running on another thread at that moment. Safe to call from a handler.
    void Detach() noexcept;

    // Asks the worker to stop: a transfer in progress ends at once, its temporary remote file is
    // removed where the server allows, and the error "Upload of R was aborted" is delivered.
    // True when the target stays as it was; false when its replacement had already begun (the
    // upload then runs to its end and reports as usual). Safe from any thread.
    bool Abort() noexcept;
    // Whether an abort came in time (the target was not touched and will not be).
    bool Aborted() const noexcept;
    // After an abort: the temporary remote file could not be removed.
    bool AbortTempKept() const noexcept;

    // After an error about the server's identity (an unverified TLS certificate, an unknown or
    // changed SSH host key): what the server showed, for a front end that offers to trust it.
    // Empty before that; read it in OnTerminate or after WaitFor.
    struct TIdentityProblem {
        std::string PublicKeyPin; // "sha256//..." of a TLS server
        std::string Fingerprint;  // "SHA256:..." of an SSH host key
        bool Changed = false;     // not the key on record (or pinned): never to be offered
    };
    TIdentityProblem IdentityProblem() const;

    // Whether the worker has ended (after its completion notification).
    bool Finished() const;

    // Waits until the worker has ended and joins it. Only for owners whose dispatcher does not
    // need the waiting thread (TDirectDispatcher); a no-op when called from the worker itself.
    void WaitFor();
    // Waits at most `timeout` for the worker's end (its completion notification has run then);
    // whether it has ended. Does not join.
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    struct TState;
    std::shared_ptr<TState> FState;
    std::thread FThread;
    bool FStarted = false;
};

} // namespace quorvane
