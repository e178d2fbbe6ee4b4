#include "ftp/FtpUpload.h"

#include "base/TempFiles.h"
#include "ftp/Ftp.h"
#include "ftp/FtpTexts.h"
#include "ftp/Transport.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <stdexcept>

namespace quorvane {

void TDirectDispatcher::RunAndWait(const std::function<void()>& task) {
    std::lock_guard<std::mutex> lock(FMutex);
    task();
}

std::int64_t UploadPercent(std::int64_t sent, std::int64_t size) {
    if (size <= 0 || sent <= 0) return 0;
    return sent <= INT64_MAX / 100
               ? sent * 100 / size
               : static_cast<std::int64_t>(static_cast<long double>(sent) * 100 / size);
}

TMessage UploadStatusMessage(const std::string& remote, std::int64_t sent, std::int64_t size) {
    return Msg(texts::Uploading, remote, UploadPercent(sent, size));
}

TMessage UploadProgressMessage(const TUploadProgress& progress) {
    if (progress.Connecting) return Msg(texts::Connecting, progress.Host);
    return UploadStatusMessage(progress.Remote, progress.Sent, progress.Size);
}

struct TFtpUploader::TState {
    std::shared_ptr<IUiDispatcher> Dispatcher;
    TFtpSettings Settings;
    std::function<bool(const std::string&, const std::string&)> OnUnknownHostKey;
    TCommitGate Gate;
    std::atomic<bool> TempKept{false}; // an aborted upload's temporary remote file stayed
    std::string LocalFile;
    std::string RemoteFile;
    std::vector<std::string> DeleteWhenDone;
    std::vector<std::shared_ptr<const void>> KeepOpen;
    std::function<void(IUploadTransport&, const std::string&, std::int64_t, const std::string&,
                       TCommitGate*)>
        Store;
    TUploadProgressEvent OnProgress;
    TFtpStatusEvent OnStatus;
    TFtpDoneEvent OnTerminate;

    // Handlers run under this lock, so Detach returns only when none is running elsewhere.
    std::recursive_mutex HandlerMutex;
    std::atomic<bool> Detached{false};

    mutable std::mutex DoneMutex;
    std::condition_variable DoneChanged;
    bool Finished = false;
    TFtpUploader::TIdentityProblem Identity;

    // Worker's own.
    std::int64_t BytesSent = 0;
    std::int64_t FileSize = 0;
    std::string Remote;

    // Runs `call` on the owner's thread and waits; an exception of the handler comes back here.
    void RunOnOwner(const std::function<void()>& call) {
        if (Detached) {
            return;
        }
        std::exception_ptr error;
        Dispatcher->RunAndWait([&] {
            std::lock_guard<std::recursive_mutex> lock(HandlerMutex);
            if (Detached) {
                return;
            }
            try {
                call();
            } catch (...) {
                error = std::current_exception();
            }
        });
        if (error) {
            std::rethrow_exception(error);
        }
    }

    void Status(const TMessage& message, bool isError) {
        RunOnOwner([&] {
            if (OnStatus) {
                OnStatus(message, isError);
            }
        });
    }

    void Report(const TUploadProgress& progress) {
        RunOnOwner([&] {
            if (OnProgress) {
                OnProgress(progress);
            }
            if (OnStatus) {
                OnStatus(UploadProgressMessage(progress), false);
            }
        });
    }

    void Progress(std::int64_t bytes) {
        BytesSent += bytes;
        if (BytesSent > FileSize) {
            BytesSent = FileSize;
        }
        if (FileSize > 0) {
            TUploadProgress progress;
            progress.Remote = Remote;
            progress.Sent = BytesSent;
            progress.Size = FileSize;
            Report(progress);
        }
    }

    // Every text that travels to the server in a command line: a CR, LF or NUL in one of them
    // would end the command and start one of the sender's choosing.
    const TMessageText* UnsafeText() const {
        if (!SafeForServer(Settings.Host)) return &texts::HostUnsafe;
        if (!SafeForServer(Settings.User)) return &texts::LoginUnsafe;
        if (!SafeForServer(Settings.Password)) return &texts::PasswordUnsafe;
        if (!SafeForServer(RemoteFile)) return &texts::RemoteNameUnsafe;
        return nullptr;
    }

    void Execute() {
        TTransportHooks hooks;
        if (OnUnknownHostKey) {
            hooks.OnUnknownHostKey = [this](const std::string& server, const std::string& key) {
                bool accepted = false;
                RunOnOwner([&] { accepted = OnUnknownHostKey(server, key); });
                return accepted;
            };
        }
        hooks.Aborted = [this] { return Gate.Aborted(); };
        hooks.OnBytes = [this](std::int64_t bytes) { Progress(bytes); };
        const std::unique_ptr<IUploadTransport> connection = MakeTransport(Settings, hooks);
        IUploadTransport& transport = *connection;
        try {
            if (const TMessageText* unsafe = UnsafeText()) throw EFtpError(Msg(*unsafe));
            TUploadProgress connecting;
            connecting.Connecting = true;
            connecting.Host = Settings.Host;
            Report(connecting);
            transport.Connect();
            try {
                Remote = RemoteFile;
                BytesSent = 0;
                FileSize = FileSizeOf(LocalFile);
                Progress(0);
                if (Gate.Aborted()) throw EUploadAborted(RemoteFile, false);
                if (Store)
                    Store(transport, LocalFile, FileSize, RemoteFile, &Gate);
                else
                    SafeUpload(transport, LocalFile, FileSize, RemoteFile, &Gate);
            } catch (...) {
                transport.Disconnect();
                throw;
            }
            transport.Disconnect();
        } catch (const EUploadAborted& e) {
            TempKept = e.TempKept;
            DeliverError(e.Message());
        } catch (const EServerIdentityError& e) {
            {
                std::lock_guard<std::mutex> lock(DoneMutex);
                Identity = {e.PublicKeyPin, e.Fingerprint, e.Changed};
            }
            DeliverError(e.Message());
        } catch (const EQuorvaneError& e) {
            DeliverError(e.Message());
        } catch (const std::exception& e) {
            DeliverError(Verbatim(e.what()));
        } catch (...) {
            DeliverError(Msg(texts::UnknownError));
        }
        transport.Disconnect();
    }

    void DeliverError(const TMessage& message) {
        try {
            Status(message, true);
        } catch (...) {
            // The owner's handler failed on the error itself; there is nobody left to tell.
        }
    }

    void DeleteLocalFiles() noexcept {
        for (const std::string& name : DeleteWhenDone) {
            std::remove(name.c_str());
        }
    }

    void Run() noexcept {
        try {
            Execute();
        } catch (...) {
            // Execute reports its own failures; nothing may leave the thread.
        }
        DeleteLocalFiles();
        try {
            RunOnOwner([&] {
                if (OnTerminate) {
                    OnTerminate();
                }
            });
        } catch (...) {
        }
        {
            std::lock_guard<std::mutex> lock(DoneMutex);
            Finished = true;
        }
        DoneChanged.notify_all();
    }
};

TFtpUploader::TFtpUploader(std::shared_ptr<IUiDispatcher> dispatcher)
    : FState(std::make_shared<TState>()) {
    if (!dispatcher) {
        throw std::logic_error("TFtpUploader needs a dispatcher");
    }
    FState->Dispatcher = std::move(dispatcher);
}

TFtpUploader::~TFtpUploader() {
    if (!FStarted) {
        FState->DeleteWhenDone = DeleteWhenDone;
        FState->DeleteLocalFiles();
        return;
    }
    Detach();
    if (FThread.joinable()) {
        FThread.detach(); // the worker keeps its state alive and ends on its own
    }
}

void TFtpUploader::Start() {
    if (FStarted) {
        throw std::logic_error("TFtpUploader started twice");
    }
    if (LocalFile.empty() || RemoteFile.empty()) {
        throw std::logic_error("TFtpUploader needs a local and a remote file");
    }
    TState& s = *FState;
    s.Settings = static_cast<const TFtpSettings&>(*this);
    s.OnUnknownHostKey = OnUnknownHostKey;
    s.LocalFile = LocalFile;
    s.RemoteFile = RemoteFile;
    s.DeleteWhenDone = DeleteWhenDone;
    s.KeepOpen = KeepOpen;
    s.Store = Store;
    s.OnProgress = OnProgress;
    s.OnStatus = OnStatus;
    s.OnTerminate = OnTerminate;
    std::shared_ptr<TState> state = FState;
    FThread = std::thread([state] { state->Run(); });
    FStarted = true;
}

void TFtpUploader::Detach() noexcept {
    std::lock_guard<std::recursive_mutex> lock(FState->HandlerMutex);
    FState->Detached = true;
}

bool TFtpUploader::Abort() noexcept {
    return FState->Gate.Abort();
}

bool TFtpUploader::Aborted() const noexcept {
    return FState->Gate.Aborted();
}

bool TFtpUploader::AbortTempKept() const noexcept {
    return FState->TempKept;
}

TFtpUploader::TIdentityProblem TFtpUploader::IdentityProblem() const {
    std::lock_guard<std::mutex> lock(FState->DoneMutex);
    return FState->Identity;
}

bool TFtpUploader::Finished() const {
    std::lock_guard<std::mutex> lock(FState->DoneMutex);
    return FState->Finished;
}

bool TFtpUploader::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(FState->DoneMutex);
    return FState->DoneChanged.wait_for(lock, timeout, [&] { return FState->Finished; });
}

void TFtpUploader::WaitFor() {
    if (!FStarted || !FThread.joinable() || FThread.get_id() == std::this_thread::get_id()) {
        return;
    }
    FThread.join();
}

} // namespace quorvane
