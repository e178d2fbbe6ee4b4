#pragma once
// The upload target a database stores: protocol, server, login, remote file and the server's
// trusted identity, as URL text and as settings of the upload worker.

#include "ftp/Ftp.h"

#include <string>
#include <vector>

namespace quorvane {

class TUserList;
struct TFtpSettings;
struct TTargetSettings;

// The stored name of a protocol: "" for plain FTP, "ftpes", "ftps" or "sftp" (URL schemes).
std::string ProtocolStoredName(TTransferProtocol protocol);
// The protocol of a stored name; raises EQuorvaneError for a name it does not know.
TTransferProtocol ProtocolFromStoredName(const std::string& name);
// For people: "FTP", "FTP over TLS", "FTP over TLS (implicit)", "SFTP".
TMessage ProtocolDisplayMessage(TTransferProtocol protocol);

// ftp://host[:port]/path, ftpes://, ftps:// or sftp://. The remote file is the path as the
// server takes it: for FTP "ftp://h/www/x" names "www/x" in the login folder and "ftp://h//www/x"
// the absolute "/www/x"; for SFTP "sftp://h/www/x" is absolute and "sftp://h/~/x" names "x" in
// the login folder. Percent escapes are decoded. Host keeps a port given in the URL
// ("host:port"). Raises EQuorvaneError naming what is wrong.
struct TServerUrl {
    TTransferProtocol Protocol = TTransferProtocol::Ftp;
    std::string Host;
    std::string RemoteFile;
    std::string Login; // from "user@" in the URL, when given
};
TServerUrl ParseServerUrl(const std::string& url);

// The stored target as a URL (without login or password). These take a list for its first
// target (a TUserList is one) as well as any other target.
std::string ServerUrlOf(const TTargetSettings& target);

// Makes protocol the target's server protocol. Another kind of server than the stored one has its
// identity established anew: the trusted TLS key, the CA file, the SSH key file and the trusted
// host keys are forgotten. True when that happened.
bool SetServerProtocol(TTargetSettings& target, TTransferProtocol protocol);

// The stored host key pins, one fingerprint each.
std::vector<std::string> StoredHostKeys(const TTargetSettings& target);
// Adds a fingerprint to the stored pins (once).
void AddStoredHostKey(TTargetSettings& target, const std::string& fingerprint);
// Makes these the stored pins (blank-separated in FtpHostKeys, as before).
void SetStoredHostKeys(TTargetSettings& target, const std::vector<std::string>& fingerprints);
// Removes a fingerprint from the stored pins; false when it was not among them.
bool RemoveStoredHostKey(TTargetSettings& target, const std::string& fingerprint);

// Copies the stored server settings into a connection's settings: host, login, passive mode,
// protocol, pins, CA file and key file (the password and passphrase are the caller's: they may not
// be stored).
void ApplyServerSettings(const TTargetSettings& target, TFtpSettings& server);

// Whether a text is a public key pin in curl's form ("sha256//" and 44 base64 characters) or an
// SSH fingerprint as OpenSSH shows it ("SHA256:" and 43 base64 characters).
bool ValidTlsPin(const std::string& pin);
bool ValidHostKeyFingerprint(const std::string& fingerprint);

} // namespace quorvane
