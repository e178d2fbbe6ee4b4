#include "ftp/Transport.h"

namespace quorvane {

bool TCommitGate::Abort() noexcept {
    const std::lock_guard<std::mutex> lock(FMutex);
    if (FCommitted) return false;
    FAborted = true;
    return true;
}

bool TCommitGate::Commit() noexcept {
    const std::lock_guard<std::mutex> lock(FMutex);
    if (FAborted) return false;
    FCommitted = true;
    return true;
}

bool TCommitGate::Aborted() const noexcept {
    const std::lock_guard<std::mutex> lock(FMutex);
    return FAborted;
}

std::string SafeUploadName(const std::string& remote) {
    return remote + "_safeupload";
}

namespace {

// False when the server keeps the file, or the connection is gone; nothing more can be done.
bool DeleteQuietly(IUploadTransport& transport, const std::string& remote) noexcept {
    try {
        transport.Delete(remote);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace

void DeleteStagedUpload(IUploadTransport& transport, const std::string& remote) noexcept {
    DeleteQuietly(transport, SafeUploadName(remote));
}

void SafeUpload(IUploadTransport& transport, const std::string& local, std::int64_t localSize,
                const std::string& remote, TCommitGate* gate) {
    StageUpload(transport, local, localSize, remote, gate);
    CommitUpload(transport, local, remote, gate);
}

void StageUpload(IUploadTransport& transport, const std::string& local, std::int64_t localSize,
                 const std::string& remote, TCommitGate* gate) {
    const std::string temp = SafeUploadName(remote);
    const auto aborted = [&] { return gate != nullptr && gate->Aborted(); };
    // The old target stays until the new file is complete on the server.
    try {
        transport.Put(temp, local);
    } catch (const EFtpError& e) {
        // A partly written temporary file may hold clear passwords: remove it.
        const bool removed = DeleteQuietly(transport, temp);
        if (aborted()) throw EUploadAborted(remote, !removed);
        throw EFtpError(Msg(texts::UploadFailed, remote, e.Message()));
    }
    // A server may confirm a transfer it did not store whole; one that cannot tell what it
    // stored gets no chance to install a short file either.
    std::optional<std::int64_t> stored;
    try {
        stored = transport.Size(temp);
    } catch (const EFtpError&) {
        // As if the server did not tell, unless the abort below explains it.
    }
    if (!stored || *stored != localSize || aborted()) {
        const bool removed = DeleteQuietly(transport, temp);
        if (aborted()) throw EUploadAborted(remote, !removed);
        if (!stored) throw EFtpError(Msg(texts::UploadSizeUnknown, remote));
        throw EFtpError(Msg(texts::UploadIncomplete, remote, stored.value_or(0), localSize));
    }
}

void CommitUpload(IUploadTransport& transport, const std::string& local, const std::string& remote,
                  TCommitGate* gate) {
    const std::string temp = SafeUploadName(remote);
    // The last moment an abort keeps the target: from here on the replacement runs to its end.
    if (gate != nullptr && !gate->Commit()) {
        const bool removed = DeleteQuietly(transport, temp);
        throw EUploadAborted(remote, !removed);
    }
    // Most servers replace an existing file on rename in one step, so the target never goes
    // missing.
    try {
        transport.Rename(temp, remote);
        return;
    } catch (const EFtpError& e) {
        if (transport.RenameSourceRefused()) {
            // The new file cannot be moved at all: deleting the target would only leave the
            // site without one.
            DeleteQuietly(transport, temp);
            throw EFtpError(Msg(texts::RenameFailed, temp, remote, e.Message()));
        }
    }
    bool targetDeleted = false;
    try {
        transport.Delete(remote);
        targetDeleted = true;
    } catch (const EFtpError&) {
        // No old file, or the server keeps it: the rename below tells.
    }
    try {
        transport.Rename(temp, remote);
        return;
    } catch (const EFtpError& e) {
        if (!targetDeleted) {
            DeleteQuietly(transport, temp);
            throw EFtpError(Msg(texts::RenameFailed, temp, remote, e.Message()));
        }
    }
    // The target is gone and the new file cannot take its name: the site must not stay
    // without its password file, so store it under the target's own name.
    try {
        transport.Put(remote, local);
    } catch (const EFtpError& e) {
        DeleteQuietly(transport, temp);
        throw EFtpError(Msg(texts::UploadFailed, remote, e.Message()));
    }
    DeleteQuietly(transport, temp);
}

} // namespace quorvane
