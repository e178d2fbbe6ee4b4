#include "FtpUpload.h"

#include "FileLib.h"
#include "Ftp.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <stdexcept>

void TDirectDispatcher::RunAndWait(const std::function<void()>& task) {
    std::lock_guard<std::mutex> lock(FMutex);
    task();
}

void TQueuedDispatcher::RunAndWait(const std::function<void()>& task) {
    auto item = std::make_shared<TItem>();
    item->Task = &task;
    std::unique_lock<std::mutex> lock(FMutex);
    FQueue.push_back(item);
    FChanged.notify_all();
    FChanged.wait(lock, [&] { return item->Done; });
}

std::size_t TQueuedDispatcher::ProcessPending() {
    std::size_t count = 0;
    for (;;) {
        std::shared_ptr<TItem> item;
        {
            std::lock_guard<std::mutex> lock(FMutex);
            if (FQueue.empty()) {
                return count;
            }
            item = FQueue.front();
            FQueue.pop_front();
        }
        // The task's owner waits for it, so its exceptions must not stop the hand-back.
        try {
            (*item->Task)();
        } catch (...) {
        }
        {
            std::lock_guard<std::mutex> lock(FMutex);
            item->Done = true;
        }
        FChanged.notify_all();
        ++count;
    }
}

bool TQueuedDispatcher::ProcessUntil(const std::function<bool()>& done,
                                     std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        ProcessPending();
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        // `done` may turn true without a task (a detached worker ending): look again soon.
        std::unique_lock<std::mutex> lock(FMutex);
        FChanged.wait_for(lock, std::chrono::milliseconds(20), [&] { return !FQueue.empty(); });
    }
}

std::string UploadStatusText(const std::string& remote, std::int64_t sent, std::int64_t size) {
    std::int64_t percent = 0;
    if (size > 0 && sent > 0) {
        percent = sent <= INT64_MAX / 100
                      ? sent * 100 / size
                      : static_cast<std::int64_t>(static_cast<long double>(sent) * 100 / size);
    }
    return "Uploading " + remote + " - " + std::to_string(percent) + "% completed";
}

struct TFtpUploader::TState {
    std::shared_ptr<IUiDispatcher> Dispatcher;
    std::string User;
    std::string Host;
    std::string Password;
    bool Passive = false;
    std::uint32_t Timeout = 0;
    std::vector<std::string> LocalFiles;
    std::vector<std::string> RemoteFiles;
    std::vector<std::string> DeleteWhenDone;
    TFtpStatusEvent OnStatus;
    TFtpDoneEvent OnTerminate;

    // Handlers run under this lock, so Detach returns only when none is running elsewhere.
    std::recursive_mutex HandlerMutex;
    std::atomic<bool> Detached{false};

    mutable std::mutex DoneMutex;
    bool Finished = false;

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

    void Status(const std::string& text, bool isError) {
        RunOnOwner([&] {
            if (OnStatus) {
                OnStatus(text, isError);
            }
        });
    }

    void Progress(std::int64_t bytes) {
        BytesSent += bytes;
        if (BytesSent > FileSize) {
            BytesSent = FileSize;
        }
        if (FileSize > 0) {
            Status(UploadStatusText(Remote, BytesSent, FileSize), false);
        }
    }

    // Moves the uploaded temporary file over the target. Most servers replace an existing file
    // on rename in one step, so the target never goes missing; only when the server refuses to
    // rename over the target is the old one deleted first.
    static void ReplaceTarget(TFtp& ftp, const std::string& temp, const std::string& target) {
        try {
            ftp.RenameFile(temp, target);
            return;
        } catch (const EFtpError&) {
            // A refused RNFR means the new file cannot be moved at all: deleting the old
            // target then would only leave the site without one.
            if (ftp.LastRefusedCommand() != "RNTO") {
                throw;
            }
        }
        try {
            ftp.DeleteFile(target);
        } catch (const EFtpError&) {
            // No old file, or the server keeps it: the rename below tells.
        }
        ftp.RenameFile(temp, target);
    }

    void Execute() {
        TFtp ftp;
        ftp.Host = Host;
        ftp.User = User;
        ftp.Password = Password;
        ftp.Passive = Passive;
        ftp.Timeout = Timeout;
        ftp.OnProgress = [this](TFtp&, std::int64_t bytes) { Progress(bytes); };
        try {
            Status("Connecting to " + Host + "...", false);
            ftp.Connect();
            try {
                for (std::size_t i = 0; i < LocalFiles.size(); ++i) {
                    const std::string& local = LocalFiles[i];
                    const std::string& remote = RemoteFiles[i];
                    Remote = remote;
                    BytesSent = 0;
                    FileSize = FileSizeOf(local);
                    Progress(0);
                    const std::string temp = remote + "_safeupload";
                    // The old target stays until the new file is complete on the server.
                    ftp.PutFile(temp, local, true);
                    ReplaceTarget(ftp, temp, remote);
                }
            } catch (...) {
                ftp.Disconnect();
                throw;
            }
            ftp.Disconnect();
        } catch (const std::exception& e) {
            DeliverError(e.what());
        } catch (...) {
            DeliverError("Unknown error");
        }
        ftp.Disconnect();
    }

    void DeliverError(const std::string& text) {
        try {
            Status(text, true);
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
        std::lock_guard<std::mutex> lock(DoneMutex);
        Finished = true;
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
    if (LocalFiles.size() != RemoteFiles.size()) {
        throw std::logic_error("TFtpUploader: local and remote file lists differ in length");
    }
    TState& s = *FState;
    s.User = User;
    s.Host = Host;
    s.Password = Password;
    s.Passive = Passive;
    s.Timeout = Timeout;
    s.LocalFiles = LocalFiles;
    s.RemoteFiles = RemoteFiles;
    s.DeleteWhenDone = DeleteWhenDone;
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

bool TFtpUploader::Finished() const {
    std::lock_guard<std::mutex> lock(FState->DoneMutex);
    return FState->Finished;
}

void TFtpUploader::WaitFor() {
    if (!FStarted || !FThread.joinable() || FThread.get_id() == std::this_thread::get_id()) {
        return;
    }
    FThread.join();
}
