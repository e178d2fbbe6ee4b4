#pragma once
// A small synchronous FTP client over libcurl: log in once, then store, delete and rename files
// over the same connection. Every failure raises EFtpError with the server's reply text (without
// its code, verbatim) or a reason of our own for what the network library reports.

#include "base/Errors.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

class EFtpError : public EQuorvaneError {
public:
    using EQuorvaneError::EQuorvaneError;
};

// The server's identity could not be established: a TLS certificate that the trust store does
// not vouch for (PublicKeyPin then holds the key the server showed, in curl's "sha256//BASE64"
// form, for the user to pin after checking it), or an SSH host key that is unknown or changed
// (Fingerprint holds "SHA256:..." as OpenSSH prints it).
class EServerIdentityError : public EFtpError {
public:
    EServerIdentityError(TMessage message, std::string publicKeyPin, std::string fingerprint,
                         bool changed)
        : EFtpError(std::move(message)), PublicKeyPin(std::move(publicKeyPin)),
          Fingerprint(std::move(fingerprint)), Changed(changed) {}
    std::string PublicKeyPin;
    std::string Fingerprint;
    bool Changed = false; // an SSH host key other than the one on record
};

// How files reach the server.
enum class TTransferProtocol {
    Ftp,            // plain FTP: the password and the file travel in clear
    FtpExplicitTls, // FTP, then AUTH TLS before the login; TLS required for login and data
    FtpImplicitTls, // TLS from the first byte, port 990
    Sftp,           // SSH file transfer, port 22
};
// 21, 21, 990 or 22.
std::uint16_t DefaultPort(TTransferProtocol protocol);

// Whether a text may be sent to a server: no CR, LF or NUL, which would end a command line and
// start one of the sender's choosing.
bool SafeForServer(const std::string& text);

// Base64 of bytes, with or without its padding.
std::string Base64(const unsigned char* data, std::size_t size, bool pad);

// SHA256:BASE64 (unpadded) of an SSH public key blob, as OpenSSH shows fingerprints.
std::string SshKeyFingerprint(const std::string& keyBlob);

// Whether a private key file is protected by a passphrase (PEM "ENCRYPTED" or an OpenSSH key
// with a cipher). False for files that cannot be read: the login reports those.
bool PrivateKeyNeedsPassphrase(const std::string& keyFile);

// The user's default SSH keys that open without a passphrase, as ssh tries them:
// ~/.ssh/id_ed25519, id_ecdsa and id_rsa, those that are there and readable.
std::vector<std::string> DefaultSshKeyFiles();
// Whether a login without a key file can try keys: ssh-agent is there (SSH_AUTH_SOCK) or a
// default key opens without a passphrase.
bool SshKeysAtHand();

class TFtp;

// Receives byte counts during an upload; the counts of one upload add up to the file's size.
using TFtpProgressEvent = std::function<void(TFtp& sender, std::int64_t bytes)>;

// Where a host text points: "name", "name:port", "[v6-address]", "[v6-address]:port" or a bare
// IPv6 address. Port is 0 when the text names none.
struct TFtpAddress {
    std::string Host; // name or address, without brackets
    std::uint16_t Port = 0;
    bool Valid = false; // false for an empty host, a bad port or characters no host can hold
};
TFtpAddress ParseFtpHost(const std::string& text);

// The message of a server's reply: its last line without the leading reply code, digits and
// blanks, cut at a NUL and without trailing CR/LF ("550 Permission denied.\r\n" gives
// "Permission denied.").
std::string FtpReplyMessage(std::string reply);

// The size fact of an MLST reply ("250-...", " size=1234;type=file; name", "250 End").
std::optional<std::int64_t> MlstSize(const std::string& reply);
// The size of the regular file `name` (a path: its last part counts) in a LIST reply, in the
// Unix "ls -l" form or the DOS form; nothing when no line names it.
std::optional<std::int64_t> ListingSize(const std::string& listing, const std::string& name);

// The URL path for a remote name as typed: "/www/x" stays absolute from the server's root,
// "x" is relative to the login folder; every byte but letters, digits, "-._~" and "/" is
// percent-encoded.
std::string FtpUrlPath(const std::string& remoteName);

// Where the server is and how to log in and talk to it: what an owner fills in before a
// connection (the client itself, or the upload worker that hands it to its client).
struct TFtpSettings {
    std::string Host; // "name", "name:port" or "[v6]:port"; a port in the text wins over Port
    std::string User;
    std::string Password;   // an empty password is sent as an empty text
    std::uint16_t Port = 0; // 0: the protocol's own (DefaultPort)
    TTransferProtocol Protocol = TTransferProtocol::Ftp;
    // TLS: the certificate must chain to the system's trust store (or CaFile when given), unless
    // TlsPin ("sha256//BASE64") names the server's public key, which is then all that counts.
    std::string TlsPin;
    std::string CaFile;
    // SFTP: a private key file logs in instead of the password (KeyPassphrase unlocks it; it is
    // never stored). The host key must be in KnownHostsFile (empty: ~/.ssh/known_hosts) or among
    // HostKeyPins ("SHA256:..."); a key other than the one on record, or than the pins when there
    // are any, is refused as changed; an unknown key of a server without pins is put to the
    // transport's OnUnknownHostKey.
    std::string KeyFile;
    std::string KeyPassphrase;
    std::string KnownHostsFile;
    std::vector<std::string> HostKeyPins;
    bool Passive = false; // passive data connections when true, active (PORT/EPRT) otherwise
    // Milliseconds the server may stay silent (connecting, answering, taking data) before an
    // operation fails; 0 takes the default of 60 seconds.
    std::uint32_t Timeout = 0;
    static constexpr std::uint32_t kDefaultTimeoutMs = 60000;
    std::string Proxy; // empty: a direct connection, whatever the environment says
};

// The FTP family only (plain, explicit and implicit TLS); SFTP has a transport of its own.
class TFtp : public TFtpSettings {
public:
    TFtp();
    ~TFtp();
    TFtp(const TFtp&) = delete;
    TFtp& operator=(const TFtp&) = delete;

    // Asked during an upload; true stops it (the operation then fails with "aborted").
    std::function<bool()> Aborted;
    TFtpProgressEvent OnProgress;

    bool Connected() const { return FConnected; }

    // Connects and logs in; a refused login fails here. Raises EFtpError.
    void Connect();
    // Closes the connection. Never raises; safe in any state, also twice.
    void Disconnect() noexcept;
    // Stores the local file under the remote name (remote name first); transfer type A when
    // `ascii`, else I. Raises EFtpError.
    void PutFile(const std::string& remoteName, const std::string& localName, bool ascii);
    // Raises EFtpError when the server does not delete the file.
    void DeleteFile(const std::string& remoteName);
    // RNFR existing, RNTO new name. Raises EFtpError when the server refuses either.
    void RenameFile(const std::string& existingName, const std::string& newName);
    // The size of a remote file (SIZE, or SFTP stat); nothing when the server does not tell.
    std::optional<std::int64_t> FileSize(const std::string& remoteName);
    // The size of a remote file by every means the server may offer: SIZE, then MLST, then its
    // line in a LIST, and at last by reading the file back; nothing when all of them fail.
    std::optional<std::int64_t> StoredSize(const std::string& remoteName);
    // Reads a remote file (RETR, binary) into sink, chunk by chunk. Raises EFtpError.
    void ReadFile(const std::string& remoteName,
                  const std::function<void(const char*, size_t)>& sink) {
        Receive(remoteName, std::string(), sink);
    }
    // The bytes of a remote file (binary transfer), or nothing when the server says there is no
    // such file. Raises EFtpError when it cannot be read, or holds more than `limit` bytes.
    std::optional<std::string> ReadFile(const std::string& remoteName, std::size_t limit);
    // "host:port" as connected to ("[v6]:port" for IPv6 addresses).
    const std::string& ServerName() const { return FServerName; }

    // The command (its verb, such as "RNFR" or "RNTO") whose refusal made the last operation
    // fail; empty when it failed without a refusal (network trouble) or did not fail.
    const std::string& LastRefusedCommand() const { return FRefusedCommand; }

    // Byte counting of an upload: counts are passed on to OnProgress until they add up to the
    // bytes expected; the one that overshoots is cut, later ones are dropped.
    void CountBytes(std::int64_t bytes);
    std::int64_t BytesLeft() const { return FBytesLeft; }
    void SetBytesLeft(std::int64_t bytes) { FBytesLeft = bytes; }

private:
    struct TCurlState;
    void Perform();
    // Perform, then `reset` (the options of this operation put back), whether it failed or not.
    void PerformThen(const std::function<void()>& reset);
    void RunCommands(const std::string& first, const std::string& second);
    // Downloads the remote file, or with listCommand the listing it asks for, into sink.
    void Receive(const std::string& remoteName, const std::string& listCommand,
                 const std::function<void(const char*, size_t)>& sink);
    void Configure(void* handle, bool probe);
    std::string ProbePublicKey();
    std::string RemoteUrl(const std::string& remoteName) const;

    TCurlState* FCurl = nullptr;
    std::string FBaseUrl;
    std::string FServerName;
    std::string FRefusedCommand;
    std::int64_t FBytesLeft = 0;
    bool FConnected = false;
};

} // namespace quorvane
