#pragma once
// A small synchronous FTP client over libcurl: log in once, then store, delete and rename files
// over the same connection. Every failure raises EFtpError with the server's reply text (without
// its code) or the network library's own text.

#include "Errors.h"

#include <cstdint>
#include <functional>
#include <string>

class EFtpError : public EQuorvaneError {
public:
    using EQuorvaneError::EQuorvaneError;
};

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

// The URL path for a remote name as typed: "/www/x" stays absolute from the server's root,
// "x" is relative to the login folder; every byte but letters, digits, "-._~" and "/" is
// percent-encoded.
std::string FtpUrlPath(const std::string& remoteName);

class TFtp {
public:
    TFtp();
    ~TFtp();
    TFtp(const TFtp&) = delete;
    TFtp& operator=(const TFtp&) = delete;

    std::string Host; // "name", "name:port" or "[v6]:port"; a port in the text wins over Port
    std::string User;
    std::string Password; // an empty password is sent as an empty text
    std::uint16_t Port = 21;
    TFtpProgressEvent OnProgress;
    bool Passive = false; // passive data connections when true, active (PORT/EPRT) otherwise
    // Milliseconds the server may stay silent (connecting, answering, taking data) before an
    // operation fails; 0 takes the default of 60 seconds.
    std::uint32_t Timeout = 0;
    std::string Proxy; // empty: a direct connection, whatever the environment says

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
    void RunCommands(const std::string& first, const std::string& second);

    TCurlState* FCurl = nullptr;
    std::string FBaseUrl;
    std::string FRefusedCommand;
    std::int64_t FBytesLeft = 0;
    bool FConnected = false;
};
