#pragma once
// The boundary of the transfers' plugin: the FTP client over libcurl, SFTP over libssh2, the
// live site check over HTTP and libcurl's URL parser live in a library of their own, loaded on
// first use by MakeTransport, CheckSiteLogin and the server addresses (ServerTarget.h).

#include "ftp/SiteCheck.h"
#include "ftp/Transport.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quorvane {

// An address as libcurl's URL parser takes it apart. The parts it decodes (percent escapes) are
// nothing when they hold an escape that does not decode to a byte.
struct TServerUrlParts {
    bool Parsed = false; // the parser took the address
    std::optional<std::string> User;
    std::optional<std::string> Password;
    std::optional<std::string> Path; // always starting with "/"
    std::string Host;                // as written, without brackets' contents decoded
    std::string Port;                // empty: none in the address
    std::string Query;
    std::string Fragment;
};

class ITransfers {
public:
    virtual ~ITransfers() = default;
    virtual std::unique_ptr<IUploadTransport> MakeTransport(const TFtpSettings& settings,
                                                            TTransportHooks hooks) const = 0;
    virtual TSiteCheckResult CheckSiteLogin(const std::string& url, const std::string& login,
                                            const std::string& password,
                                            long timeoutSeconds) const = 0;
    // The parts of `url` (any scheme).
    virtual TServerUrlParts SplitUrl(const std::string& url) const = 0;
    // scheme://host[:port]/path with the path's bytes escaped as URLs need; empty when the
    // parser refuses the parts.
    virtual std::string JoinUrl(const std::string& scheme, const std::string& host,
                                std::uint16_t port, const std::string& path) const = 0;
};

// The plugin, loaded on first use (raises EQuorvaneError texts::PluginNotLoaded when it cannot
// be).
const ITransfers& Transfers();

// Inside the plugin.
namespace transfers {
std::unique_ptr<IUploadTransport> MakeTransport(const TFtpSettings& settings,
                                                TTransportHooks hooks);
TSiteCheckResult CheckSiteLogin(const std::string& url, const std::string& login,
                                const std::string& password, long timeoutSeconds);
TServerUrlParts SplitUrl(const std::string& url);
std::string JoinUrl(const std::string& scheme, const std::string& host, std::uint16_t port,
                    const std::string& path);
} // namespace transfers

inline const char* const KTransfersPlugin = "quorvane-transfers.so";
inline const char* const KTransfersEntry = "quorvane_transfers";
using TTransfersEntry = const ITransfers* (*)();

} // namespace quorvane

// The plugin's one entry: its transfers, which live as long as the process.
extern "C" const quorvane::ITransfers* quorvane_transfers();
