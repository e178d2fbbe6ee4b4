#pragma once
// The FTP transport, inside the transfers' plugin only: the programs reach it through
// MakeTransport, and see no class whose code they do not hold.

#include "ftp/Ftp.h"
#include "ftp/Transport.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quorvane {

// The transport over the libcurl client: FTP and FTP over TLS.
class TCurlTransport : public IUploadTransport {
public:
    TCurlTransport(const TFtpSettings& settings, TTransportHooks hooks);
    TFtp& Client() { return FFtp; }
    void Connect() override { FFtp.Connect(); }
    void Disconnect() noexcept override { FFtp.Disconnect(); }
    void Put(const std::string& remote, const std::string& local) override;
    void Rename(const std::string& from, const std::string& to) override;
    void Delete(const std::string& remote) override { FFtp.DeleteFile(remote); }
    std::optional<std::int64_t> Size(const std::string& remote) override {
        return FFtp.StoredSize(remote);
    }
    std::optional<std::string> Read(const std::string& remote, std::size_t limit) override {
        return FFtp.ReadFile(remote, limit);
    }
    bool RenameSourceRefused() const override { return FSourceRefused; }
    void Read(const std::string& remote,
              const std::function<void(const char*, std::size_t)>& sink) override {
        FFtp.ReadFile(remote, sink);
    }

private:
    TFtp FFtp;
    bool FSourceRefused = false;
};

} // namespace quorvane
