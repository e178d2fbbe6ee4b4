#pragma once
// The upload interface every transport offers (FTP, FTP over TLS, SFTP), and the safe
// replacement of a remote file written once against it.

#include "ftp/Ftp.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

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
    // The size of a remote file; nothing when the server does not tell.
    virtual std::optional<std::int64_t> Size(const std::string& remote) = 0;
    // The bytes of a remote file, or nothing when there is no such file; raises when it exists
    // but cannot be read, or holds more than `limit` bytes.
    virtual std::optional<std::string> Read(const std::string& remote, std::size_t limit) = 0;
    // After a failed Rename: whether the server refused to move the source at all (FTP's RNFR),
    // as opposed to refusing the new name.
    virtual bool RenameSourceRefused() const = 0;
};

// The transport over the libcurl client: every protocol of TTransferProtocol.
class TCurlTransport : public IUploadTransport {
public:
    TFtp& Client() { return FFtp; }
    void Connect() override { FFtp.Connect(); }
    void Disconnect() noexcept override { FFtp.Disconnect(); }
    void Put(const std::string& remote, const std::string& local) override;
    void Rename(const std::string& from, const std::string& to) override;
    void Delete(const std::string& remote) override { FFtp.DeleteFile(remote); }
    std::optional<std::int64_t> Size(const std::string& remote) override {
        return FFtp.FileSize(remote);
    }
    std::optional<std::string> Read(const std::string& remote, std::size_t limit) override {
        return FFtp.ReadFile(remote, limit);
    }
    bool RenameSourceRefused() const override { return FSourceRefused; }

private:
    TFtp FFtp;
    bool FSourceRefused = false;
};

// The temporary remote name of a target: the name followed by "_safeupload".
std::string SafeUploadName(const std::string& remote);

// Stores `local` (of `localSize` bytes) as `remote` so that the server holds the old file or
// the complete new one: upload under SafeUploadName, compare its size, rename it over the
// target; where the server will not rename over a file, delete the target first, and should
// the rename still fail, store the file under the target's name directly. A failure after the
// temporary file was created removes it where the server allows. Raises EFtpError with a
// message naming the step and the target ("Upload of /www/.htpasswd failed: ...").
void SafeUpload(IUploadTransport& transport, const std::string& local, std::int64_t localSize,
                const std::string& remote);

// The two steps of SafeUpload, for a caller that checks more between them: StageUpload stores
// the file under SafeUploadName and compares its size (the target untouched; a failure removes
// the temporary file), CommitUpload moves it over the target. DeleteStagedUpload removes a
// staged file that is not to be committed, as far as the server allows.
void StageUpload(IUploadTransport& transport, const std::string& local, std::int64_t localSize,
                 const std::string& remote);
void CommitUpload(IUploadTransport& transport, const std::string& local, const std::string& remote);
void DeleteStagedUpload(IUploadTransport& transport, const std::string& remote) noexcept;

} // namespace quorvane
