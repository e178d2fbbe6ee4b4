#include "ftp/CurlTransport.h"
#include "ftp/Ftp.h"
#include "ftp/Sftp.h"
#include "ftp/TransfersPlugin.h"
#include "ftp/Transport.h"

namespace quorvane {

TCurlTransport::TCurlTransport(const TFtpSettings& settings, TTransportHooks hooks) {
    static_cast<TFtpSettings&>(FFtp) = settings;
    FFtp.Aborted = std::move(hooks.Aborted);
    if (hooks.OnBytes)
        FFtp.OnProgress = [onBytes = std::move(hooks.OnBytes)](TFtp&, std::int64_t bytes) {
            onBytes(bytes);
        };
}

std::unique_ptr<IUploadTransport> transfers::MakeTransport(const TFtpSettings& settings,
                                                           TTransportHooks hooks) {
    if (settings.Protocol == TTransferProtocol::Sftp)
        return std::make_unique<TSftpTransport>(settings, std::move(hooks));
    return std::make_unique<TCurlTransport>(settings, std::move(hooks));
}

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

} // namespace quorvane
