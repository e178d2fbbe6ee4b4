#pragma once
// The upload target a database stores: protocol, server, login, remote file and the server's
// trusted identity, as URL text and as settings of the upload worker.

#include "ftp/Ftp.h"

#include <map>
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

// Whether a login to the target's server takes a secret the user types: a password, or the
// passphrase of a key file that has one. False for a local file and a store.
bool TargetAsksForSecret(const TTargetSettings& target);

// What a secret typed for a target belongs to, so that it is asked once while the program runs:
// a key file's passphrase to the file, a server password to the protocol, the host (its letters
// folded), the port and the login. Empty for a target that logs in nowhere (a local file) and
// for a store, whose password is its own business.
std::string SecretIdOf(const TTargetSettings& target);

// The passwords and passphrases typed for targets while the program runs: kept in memory only,
// never in the database or the settings, and wiped when forgotten or at the end.
class TSessionSecrets {
public:
    TSessionSecrets() = default;
    TSessionSecrets(const TSessionSecrets&) = delete;
    TSessionSecrets& operator=(const TSessionSecrets&) = delete;
    ~TSessionSecrets();

    // The secret kept for the target's server and login (or its key file); null when none is.
    const std::string* Find(const TTargetSettings& target) const;
    // Keeps a secret for the target's server and login; an empty one, or one for a target
    // without an id, is not kept.
    void Keep(const TTargetSettings& target, const std::string& secret);
    // After a refused login: the next export asks again.
    void Forget(const TTargetSettings& target);

private:
    std::map<std::string, std::string> FSecrets;
};

// Whether a text is a public key pin in curl's form ("sha256//" and 44 base64 characters) or an
// SSH fingerprint as OpenSSH shows it ("SHA256:" and 43 base64 characters).
bool ValidTlsPin(const std::string& pin);
bool ValidHostKeyFingerprint(const std::string& fingerprint);

} // namespace quorvane
