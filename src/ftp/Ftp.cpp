#include "ftp/Ftp.h"
#include "base/AsciiCase.h"

#include "base/TempFiles.h"
#include "ftp/FtpTexts.h"

#include <curl/curl.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <mutex>
#include <new>
#include <sstream>

namespace quorvane {

namespace {

void InitCurlOnce() {
    // curl_global_init is not thread-safe; run it once before the first handle exists.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool IsReplyEnd(const std::string& line) {
    // The last line of a reply is "NNN text"; continuation lines are "NNN-text" or free text.
    return line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) != 0 &&
           std::isdigit(static_cast<unsigned char>(line[1])) != 0 &&
           std::isdigit(static_cast<unsigned char>(line[2])) != 0 && line[3] == ' ';
}

bool HoldsLineBreakOrNul(const std::string& text) {
    return !SafeForServer(text);
}

// What a peer said (a server's reply, libcurl's own text), without the line end it may carry.
TMessage PeerText(std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    if (text.empty()) return Msg(texts::UnknownError);
    return Verbatim(std::move(text));
}

// A short reason for a failure the library reports without a server reply.
TMessage NetworkReason(CURLcode rc, long osErrno, const char* errorBuffer) {
    switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return Msg(texts::HostNotFound);
    case CURLE_COULDNT_CONNECT:
        return Msg(texts::SystemFailure,
                   SystemError(osErrno != 0 ? static_cast<int>(osErrno) : ECONNREFUSED));
    case CURLE_OPERATION_TIMEDOUT:
        return Msg(texts::ServerTimedOut);
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_UPLOAD_FAILED:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_WEIRD_SERVER_REPLY:
        return Msg(texts::ConnectionLost);
    case CURLE_LOGIN_DENIED:
        return Msg(texts::ServerRefusedLogin);
    case CURLE_USE_SSL_FAILED:
        return Msg(texts::ServerOffersNoTls);
    case CURLE_SSL_CONNECT_ERROR:
        return Msg(texts::TlsHandshakeFailed);
    case CURLE_ABORTED_BY_CALLBACK:
        return Msg(texts::TransferAborted);
    default:
        break;
    }
    if (errorBuffer != nullptr && errorBuffer[0] != '\0') {
        return PeerText(errorBuffer);
    }
    return PeerText(curl_easy_strerror(rc));
}

// The public key of the certificate the TLS server showed, in curl's pin form "sha256//BASE64"
// (the SHA-256 of its DER SubjectPublicKeyInfo); empty when libcurl kept no certificate.
std::string ServerKeyPin(CURL* handle) {
    curl_certinfo* chain = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_CERTINFO, &chain) != CURLE_OK || chain == nullptr ||
        chain->num_of_certs < 1)
        return std::string();
    std::string pem;
    for (const curl_slist* item = chain->certinfo[0]; item != nullptr; item = item->next) {
        if (std::strncmp(item->data, "Cert:", 5) == 0) pem = item->data + 5;
    }
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* cert = bio != nullptr ? PEM_read_bio_X509(bio, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(bio);
    if (cert == nullptr) return std::string();
    unsigned char* der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert), &der);
    X509_free(cert);
    if (length <= 0) return std::string();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    EVP_Digest(der, static_cast<size_t>(length), digest, &digestLength, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    return "sha256//" + Base64(digest, digestLength, true);
}

std::string CommandVerb(const char* data, size_t size) {
    std::string verb;
    for (size_t i = 0; i < size && data[i] != ' ' && data[i] != '\r' && data[i] != '\n'; ++i) {
        verb += AsciiUpper(data[i]);
    }
    return verb;
}

} // namespace

std::string FtpUrlPath(const std::string& remoteName) {
    // Each part between the slashes escaped by libcurl: only letters, digits and "-._~" stay.
    std::string path;
    size_t from = 0;
    for (;;) {
        const size_t slash = remoteName.find('/', from);
        const std::string part = remoteName.substr(from, slash - from);
        if (!part.empty()) {
            char* escaped = curl_easy_escape(nullptr, part.data(), static_cast<int>(part.size()));
            if (escaped == nullptr) throw std::bad_alloc();
            path += escaped;
            curl_free(escaped);
        }
        if (slash == std::string::npos) return path;
        path += '/';
        from = slash + 1;
    }
}

struct TFtp::TCurlState {
    CURL* Handle = nullptr;
    char ErrorBuffer[CURL_ERROR_SIZE] = {};
    curl_slist* Quote = nullptr;
    std::FILE* Upload = nullptr;
    TFtp* Owner = nullptr;
    std::exception_ptr CallbackError;
    bool Abortable = false;
    bool FreshConnection = false; // the next operation opens a new connection
    CURLcode LastResult = CURLE_OK;

    // The dialogue with the server, as far as error messages need it.
    std::string LastCommand; // verb of the last command sent
    std::string Reply;       // reply lines received since that command
    std::string PartialLine;
    std::string ErrorReply; // a refusal (4xx/5xx) that answered the last command
    std::string ErrorCommand;
    std::string CompleteReply; // the whole last reply, continuation lines included
    std::string CompleteReplyCommand;
    std::function<void(const char*, size_t)> Download; // where received data goes; none: dropped
    bool Quitting = false; // the farewell after a failure must not hide the refusal
    bool ErrorBufferStale = false;

    // What the identity checks saw.

    void BeginOperation() {
        ErrorBuffer[0] = '\0';
        CallbackError = nullptr;
        LastCommand.clear();
        Reply.clear();
        PartialLine.clear();
        ErrorReply.clear();
        ErrorCommand.clear();
        CompleteReply.clear();
        CompleteReplyCommand.clear();
        Quitting = false;
        ErrorBufferStale = false;
    }

    void CommandSent(const char* data, size_t size) {
        const std::string verb = CommandVerb(data, size);
        if (verb == "QUIT") {
            Quitting = true;
            return;
        }
        Quitting = false;
        // The library keeps the first error text of a transfer, also one it recovered from;
        // a text present while the dialogue goes on does not describe the final failure.
        if (ErrorBuffer[0] != '\0') {
            ErrorBufferStale = true;
        }
        LastCommand = verb;
        Reply.clear();
        PartialLine.clear();
        ErrorReply.clear();
        ErrorCommand.clear();
    }

    void ReplyReceived(const char* data, size_t size) {
        if (Quitting) {
            return;
        }
        PartialLine.append(data, size);
        size_t lf;
        while ((lf = PartialLine.find('\n')) != std::string::npos) {
            const std::string line = PartialLine.substr(0, lf + 1);
            PartialLine.erase(0, lf + 1);
            Reply += line;
            if (IsReplyEnd(line)) {
                CompleteReply = Reply;
                CompleteReplyCommand = LastCommand;
                if (line[0] >= '4') {
                    ErrorReply = Reply;
                    ErrorCommand = LastCommand;
                }
                Reply.clear();
            }
        }
    }

    static int Debug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
        auto* self = static_cast<TCurlState*>(user);
        if (type == CURLINFO_HEADER_OUT) {
            self->CommandSent(data, size);
        } else if (type == CURLINFO_HEADER_IN) {
            self->ReplyReceived(data, size);
        }
        return 0;
    }

    static size_t Received(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<TCurlState*>(user);
        if (!self->Download) return size * count;
        try {
            self->Download(data, size * count);
        } catch (...) {
            // Raised again once the transfer has ended (a file larger than its reader takes).
            self->CallbackError = std::current_exception();
            return 0;
        }
        return size * count;
    }

    static int XferInfo(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        auto* self = static_cast<TCurlState*>(user);
        return self->Abortable && self->Owner->Aborted && self->Owner->Aborted() ? 1 : 0;
    }

    static size_t Read(char* buffer, size_t size, size_t count, void* user) {
        auto* self = static_cast<TCurlState*>(user);
        if (self->Owner->Aborted && self->Owner->Aborted()) {
            return CURL_READFUNC_ABORT;
        }
        const size_t got = std::fread(buffer, 1, size * count, self->Upload);
        if (got == 0 && std::ferror(self->Upload) != 0) {
            return CURL_READFUNC_ABORT;
        }
        if (got > 0) {
            try {
                self->Owner->CountBytes(static_cast<std::int64_t>(got));
            } catch (...) {
                // An exception must not cross the C library; it is raised again after it.
                self->CallbackError = std::current_exception();
                return CURL_READFUNC_ABORT;
            }
        }
        return got;
    }
};

TFtp::TFtp() {
    InitCurlOnce();
}

TFtp::~TFtp() {
    Disconnect();
}

void TFtp::CountBytes(std::int64_t bytes) {
    if (FBytesLeft < 0) {
        return;
    }
    const std::int64_t before = FBytesLeft;
    FBytesLeft -= bytes;
    if (FBytesLeft < 0) {
        bytes = before; // never report more than the file holds
    }
    if (OnProgress) {
        OnProgress(*this, bytes);
    }
}

namespace {

const char* Scheme(TTransferProtocol protocol) {
    switch (protocol) {
    case TTransferProtocol::Ftp:
    case TTransferProtocol::FtpExplicitTls:
        return "ftp";
    case TTransferProtocol::FtpImplicitTls:
        return "ftps";
    case TTransferProtocol::Sftp:
        return "sftp";
    }
    return "ftp";
}

bool UsesTls(TTransferProtocol protocol) {
    return protocol == TTransferProtocol::FtpExplicitTls ||
           protocol == TTransferProtocol::FtpImplicitTls;
}

} // namespace

void TFtp::Configure(void* handle, bool probe) {
    CURL* h = handle;
    const std::uint32_t timeoutMs = Timeout != 0 ? Timeout : TFtpSettings::kDefaultTimeoutMs;
    const long timeoutSeconds = static_cast<long>((timeoutMs + 999) / 1000);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, Scheme(Protocol));
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, FCurl->ErrorBuffer);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L); // feeds the debug callback, which reads the replies
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &TCurlState::Debug);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, FCurl);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &TCurlState::Read);
    curl_easy_setopt(h, CURLOPT_READDATA, FCurl);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &TCurlState::Received);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, FCurl);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &TCurlState::XferInfo);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, FCurl);
    curl_easy_setopt(h, CURLOPT_USERNAME, User.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, Password.c_str());
    curl_easy_setopt(h, CURLOPT_PROXY, Proxy.c_str());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, timeoutSeconds);
    // Remote names go to the server as typed, in one command, without changing folders.
    curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(h, CURLOPT_FTPPORT, Passive ? nullptr : "-");
    curl_easy_setopt(h, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(timeoutMs));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeoutSeconds);
    if (UsesTls(Protocol)) {
        // TLS for the login and every transfer, or no session at all: never clear text.
        curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        // TLS 1.2 at least; at most too: over TLS 1.3, vsftpd (3.0.3) answers "426 Failure
        // reading network stream" to every upload larger than about 100 KB from this libcurl
        // and keeps only part of the file.
        curl_easy_setopt(h, CURLOPT_SSLVERSION,
                         static_cast<long>(CURL_SSLVERSION_TLSv1_2) |
                             static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
        if (!CaFile.empty()) {
            curl_easy_setopt(h, CURLOPT_CAINFO, CaFile.c_str());
        }
        // The certificates the server showed, for the key a refusal names.
        curl_easy_setopt(h, CURLOPT_CERTINFO, 1L);
        if (probe) {
            // Only to learn the key the server shows: no pin matches this one, so no login follows.
            curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
            curl_easy_setopt(h, CURLOPT_PINNEDPUBLICKEY,
                             "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=");
        } else if (!TlsPin.empty()) {
            // The pinned key is the server's identity: its certificate may be self-signed.
            curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
            curl_easy_setopt(h, CURLOPT_PINNEDPUBLICKEY, TlsPin.c_str());
        } else {
            curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
            curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
        }
    }
}

void TFtp::Connect() {
    Disconnect();
    FRefusedCommand.clear();
    if (Protocol == TTransferProtocol::Sftp) throw EFtpError(Msg(texts::SftpNotThroughFtp));
    const TFtpAddress address = ParseFtpHost(Host);
    const unsigned port = address.Port != 0 ? address.Port
                          : Port != 0       ? Port
                                            : DefaultPort(Protocol);
    std::string host = address.Valid ? address.Host : Host;
    if (host.find(':') != std::string::npos) {
        std::string escaped;
        for (const char c : host) {
            escaped += (c == '%') ? std::string("%25") : std::string(1, c);
        }
        host = "[" + escaped + "]";
    }
    FServerName = host + ":" + std::to_string(port);
    if (!address.Valid || !SafeForServer(User) || !SafeForServer(Password)) {
        // A line break in a login or password would end the command and start another.
        throw EFtpError(
            Msg(texts::CouldNotConnect, FServerName,
                Msg(address.Valid ? texts::LoginOrPasswordUnsafe : texts::InvalidHostName)));
    }
    FBaseUrl = std::string(Scheme(Protocol)) + "://" + host + ":" + std::to_string(port) + "/";

    FCurl = new TCurlState;
    FCurl->Owner = this;
    FCurl->Handle = curl_easy_init();
    if (FCurl->Handle == nullptr) {
        delete FCurl;
        FCurl = nullptr;
        throw EFtpError(Msg(texts::UnknownError));
    }
    CURL* h = FCurl->Handle;
    Configure(h, false);

    // Logging in without a transfer: a refused login fails here.
    curl_easy_setopt(h, CURLOPT_URL, FBaseUrl.c_str());
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    // A server that keeps the client waiting does not hold up an abort.
    struct TAbortableLogin {
        TCurlState* State;
        ~TAbortableLogin() { State->Abortable = false; }
    } abortable{FCurl};
    FCurl->Abortable = true;
    try {
        Perform();
    } catch (const EServerIdentityError&) {
        throw;
    } catch (const EFtpError& e) {
        const bool login = FRefusedCommand == "USER" || FRefusedCommand == "PASS" ||
                           FCurl->ErrorCommand == "PASS" ||
                           e.Message().Is(texts::ServerRefusedLogin);
        if (login) {
            throw EFtpError(Msg(texts::LoginFailed, FServerName, User, e.Message()));
        }
        throw EFtpError(Msg(texts::CouldNotConnect, FServerName, e.Message()));
    }
    FConnected = true;
}

std::string TFtp::ProbePublicKey() {
    TCurlState probe;
    probe.Owner = this;
    probe.Handle = curl_easy_init();
    if (probe.Handle == nullptr) {
        return std::string();
    }
    TCurlState* saved = FCurl;
    FCurl = &probe;
    Configure(probe.Handle, true);
    curl_easy_setopt(probe.Handle, CURLOPT_URL, FBaseUrl.c_str());
    curl_easy_setopt(probe.Handle, CURLOPT_NOBODY, 1L);
    curl_easy_perform(probe.Handle);
    std::string pin = ServerKeyPin(probe.Handle);
    curl_easy_cleanup(probe.Handle);
    FCurl = saved;
    return pin;
}

void TFtp::Disconnect() noexcept {
    if (FCurl != nullptr) {
        if (FCurl->Handle != nullptr) {
            curl_easy_cleanup(FCurl->Handle); // says QUIT on a connection still open
        }
        if (FCurl->Quote != nullptr) {
            curl_slist_free_all(FCurl->Quote);
        }
        if (FCurl->Upload != nullptr) {
            std::fclose(FCurl->Upload);
        }
        delete FCurl;
        FCurl = nullptr;
    }
    FConnected = false;
}

void TFtp::PerformThen(const std::function<void()>& reset) {
    try {
        Perform();
    } catch (...) {
        reset();
        throw;
    }
    reset();
}

void TFtp::Perform() {
    FRefusedCommand.clear();
    FCurl->BeginOperation();
    curl_easy_setopt(FCurl->Handle, CURLOPT_FRESH_CONNECT, FCurl->FreshConnection ? 1L : 0L);
    FCurl->FreshConnection = false;
    const CURLcode rc = curl_easy_perform(FCurl->Handle);
    FCurl->LastResult = rc;
    if (FCurl->CallbackError) {
        std::rethrow_exception(FCurl->CallbackError);
    }
    if (rc == CURLE_OK) {
        return;
    }
    if (UsesTls(Protocol) &&
        (rc == CURLE_PEER_FAILED_VERIFICATION || rc == CURLE_SSL_PINNEDPUBKEYNOTMATCH)) {
        const std::string detail = FCurl->ErrorBuffer;
        if (rc == CURLE_SSL_PINNEDPUBKEYNOTMATCH) {
            const std::string shown = ServerKeyPin(FCurl->Handle);
            throw EServerIdentityError(Msg(texts::PublicKeyNotPinned, FServerName, shown, TlsPin),
                                       shown, std::string(), true);
        }
        const std::string shown = ProbePublicKey();
        throw EServerIdentityError(
            shown.empty() ? Msg(texts::CertificateUnverified, FServerName, detail)
                          : Msg(texts::CertificateUnverifiedKey, FServerName, detail, shown),
            shown, std::string(), false);
    }
    if (rc == CURLE_USE_SSL_FAILED) {
        throw EFtpError(NetworkReason(rc, 0, nullptr)); // whatever the server answered to AUTH
    }
    if (!FCurl->ErrorReply.empty()) {
        FRefusedCommand = FCurl->ErrorCommand;
        throw EFtpError(PeerText(FtpReplyMessage(FCurl->ErrorReply)));
    }
    long osErrno = 0;
    curl_easy_getinfo(FCurl->Handle, CURLINFO_OS_ERRNO, &osErrno);
    throw EFtpError(
        NetworkReason(rc, osErrno, FCurl->ErrorBufferStale ? nullptr : FCurl->ErrorBuffer));
}

std::string TFtp::RemoteUrl(const std::string& remoteName) const {
    return FBaseUrl + FtpUrlPath(remoteName);
}

void TFtp::PutFile(const std::string& remoteName, const std::string& localName, bool ascii) {
    FBytesLeft = FileSizeOf(localName);
    if (!FConnected) {
        throw EFtpError(Msg(texts::NotConnected));
    }
    if (HoldsLineBreakOrNul(remoteName)) {
        throw EFtpError(Msg(texts::InvalidRemoteName));
    }
    std::FILE* file = std::fopen(localName.c_str(), "rb");
    if (file == nullptr) {
        throw EFtpError(Msg(texts::UnknownError));
    }
    FCurl->Upload = file;
    CURL* h = FCurl->Handle;
    const std::string url = RemoteUrl(remoteName);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(FBytesLeft));
    curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, ascii ? 1L : 0L);
    FCurl->Abortable = true;
    auto done = [&] {
        FCurl->Abortable = false;
        std::fclose(FCurl->Upload);
        FCurl->Upload = nullptr;
        curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
        curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L);
    };
    try {
        PerformThen(done);
    } catch (...) {
        // A transfer cut short by an abort may leave the server busy on this connection and
        // deaf to the next command (vsftpd limiting its rate): the next one gets its own.
        if (FCurl->LastResult == CURLE_ABORTED_BY_CALLBACK) FCurl->FreshConnection = true;
        throw;
    }
}

std::optional<std::int64_t> TFtp::StoredSize(const std::string& remoteName) {
    if (std::optional<std::int64_t> size = FileSize(remoteName)) return size;
    {
        try {
            RunCommands("MLST " + remoteName, std::string());
            if (FCurl->CompleteReplyCommand == "MLST")
                if (std::optional<std::int64_t> size = MlstSize(FCurl->CompleteReply)) return size;
        } catch (const EFtpError&) {
            // Not offered, or refused: the listing may tell.
        }
        std::string listing;
        try {
            Receive(std::string(), "LIST " + remoteName,
                    [&](const char* data, size_t size) { listing.append(data, size); });
            if (std::optional<std::int64_t> size = ListingSize(listing, remoteName)) return size;
        } catch (const EFtpError&) {
        }
    }
    // The last resort: read the file back and count its bytes.
    std::int64_t count = 0;
    try {
        Receive(remoteName, std::string(),
                [&](const char*, size_t size) { count += static_cast<std::int64_t>(size); });
    } catch (const EFtpError&) {
        return std::nullopt;
    }
    return count;
}

void TFtp::Receive(const std::string& remoteName, const std::string& listCommand,
                   const std::function<void(const char*, size_t)>& sink) {
    if (!FConnected) throw EFtpError(Msg(texts::NotConnected));
    if (HoldsLineBreakOrNul(remoteName) || HoldsLineBreakOrNul(listCommand))
        throw EFtpError(Msg(texts::InvalidRemoteName));
    CURL* h = FCurl->Handle;
    // A listing: the folder URL of the login, and the whole command as the listing's verb.
    const std::string url = listCommand.empty() ? RemoteUrl(remoteName) : FBaseUrl;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L);
    if (!listCommand.empty()) curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, listCommand.c_str());
    FCurl->Download = sink;
    FCurl->Abortable = true; // an abort stops this transfer too
    auto done = [&] {
        FCurl->Download = nullptr;
        FCurl->Abortable = false;
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, nullptr);
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    };
    PerformThen(done);
}

std::optional<std::int64_t> TFtp::FileSize(const std::string& remoteName) {
    if (!FConnected) {
        throw EFtpError(Msg(texts::NotConnected));
    }
    if (HoldsLineBreakOrNul(remoteName)) {
        throw EFtpError(Msg(texts::InvalidRemoteName));
    }
    CURL* h = FCurl->Handle;
    const std::string url = RemoteUrl(remoteName);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L); // SIZE counts bytes only in binary mode
    try {
        Perform();
    } catch (const EFtpError&) {
        return std::nullopt;
    }
    curl_off_t size = -1;
    if (curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size) != CURLE_OK || size < 0) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(size);
}

std::optional<std::string> TFtp::ReadFile(const std::string& remoteName, std::size_t limit) {
    std::string data;
    try {
        Receive(remoteName, std::string(), [&](const char* piece, size_t size) {
            if (data.size() + size > limit) throw EFtpError(Msg(texts::RemoteFileTooLarge, limit));
            data.append(piece, size);
        });
    } catch (const EFtpError&) {
        if (FCurl->LastResult != CURLE_REMOTE_FILE_NOT_FOUND) throw;
        // FTP answers 550 both for a missing file and for one it will not hand out: a file
        // whose size the server tells is there, only not readable.
        if (Protocol != TTransferProtocol::Sftp && FileSize(remoteName)) throw;
        return std::nullopt;
    }
    return data;
}

void TFtp::RunCommands(const std::string& first, const std::string& second) {
    if (!FConnected) {
        throw EFtpError(Msg(texts::NotConnected));
    }
    // Commands travel verbatim: a line break in a name would start a command of its own.
    if (HoldsLineBreakOrNul(first) || HoldsLineBreakOrNul(second)) {
        throw EFtpError(Msg(texts::InvalidRemoteName));
    }
    curl_slist* list = curl_slist_append(nullptr, first.c_str());
    if (list != nullptr && !second.empty()) {
        curl_slist* more = curl_slist_append(list, second.c_str());
        if (more == nullptr) {
            curl_slist_free_all(list);
            list = nullptr;
        }
    }
    if (list == nullptr) {
        throw EFtpError(Msg(texts::UnknownError));
    }
    FCurl->Quote = list;
    CURL* h = FCurl->Handle;
    curl_easy_setopt(h, CURLOPT_URL, FBaseUrl.c_str());
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(h, CURLOPT_QUOTE, list);
    auto release = [&] {
        curl_easy_setopt(h, CURLOPT_QUOTE, nullptr);
        curl_slist_free_all(FCurl->Quote);
        FCurl->Quote = nullptr;
    };
    PerformThen(release);
}

void TFtp::DeleteFile(const std::string& remoteName) {
    RunCommands("DELE " + remoteName, std::string());
}

void TFtp::RenameFile(const std::string& existingName, const std::string& newName) {
    RunCommands("RNFR " + existingName, "RNTO " + newName);
}

} // namespace quorvane
