#include "ftp/Transport.h"

namespace quorvane {

void TCurlTransport::Put(const std::string& remote, const std::string& local) {
    // Binary: the server gets the file's bytes as written, line ends included.
    FFtp.PutFile(remote, local, false);
}

void TCurlTransport::Rename(const std::string& from, const std::string& to) {
    FSourceRefused = false;
    try {
        FFtp.RenameFile(from, to);
    } catch (const EFtpError&) {
        FSourceRefused = FFtp.LastRefusedCommand() == "RNFR";
        throw;
    }
}

std::string SafeUploadName(const std::string& remote) {
    return remote + "_safeupload";
}

namespace {

void DeleteQuietly(IUploadTransport& transport, const std::string& remote) noexcept {
    try {
        transport.Delete(remote);
    } catch (...) {
        // The server keeps it, or the connection is gone; nothing more can be done here.
    }
}

} // namespace

void DeleteStagedUpload(IUploadTransport& transport, const std::string& remote) noexcept {
    DeleteQuietly(transport, SafeUploadName(remote));
}

void SafeUpload(IUploadTransport& transport, const std::string& local, std::int64_t localSize,
                const std::string& remote) {
    StageUpload(transport, local, localSize, remote);
    CommitUpload(transport, local, remote);
}

void StageUpload(IUploadTransport& transport, const std::string& local, std::int64_t localSize,
                 const std::string& remote) {
    const std::string temp = SafeUploadName(remote);
    // The old target stays until the new file is complete on the server.
    try {
        transport.Put(temp, local);
    } catch (const EFtpError& e) {
        // A partly written temporary file may hold clear passwords: remove it.
        DeleteQuietly(transport, temp);
        throw EFtpError("Upload of " + remote + " failed: " + e.what());
    }
    // A server may confirm a transfer it did not store whole.
    if (const std::optional<std::int64_t> stored = transport.Size(temp);
        stored && *stored != localSize) {
        DeleteQuietly(transport, temp);
        throw EFtpError("Upload of " + remote + " failed: the server stored " +
                        std::to_string(*stored) + " of " + std::to_string(localSize) +
                        " bytes; the old file was kept");
    }
}

void CommitUpload(IUploadTransport& transport, const std::string& local,
                  const std::string& remote) {
    const std::string temp = SafeUploadName(remote);
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
            throw EFtpError("Could not rename " + temp + " to " + remote + ": " + e.what());
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
            throw EFtpError("Could not rename " + temp + " to " + remote + ": " + e.what());
        }
    }
    // The target is gone and the new file cannot take its name: the site must not stay
    // without its password file, so store it under the target's own name.
    try {
        transport.Put(remote, local);
    } catch (const EFtpError& e) {
        DeleteQuietly(transport, temp);
        throw EFtpError("Upload of " + remote + " failed: " + e.what());
    }
    DeleteQuietly(transport, temp);
}

} // namespace quorvane
