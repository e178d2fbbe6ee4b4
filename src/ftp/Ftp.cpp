#include "Ftp.h"

#include "FileLib.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>

namespace {

constexpr std::uint32_t kDefaultTimeoutMs = 60000;

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
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

std::string CommandVerb(const char* data, size_t size) {
    std::string verb;
    for (size_t i = 0; i < size && data[i] != ' ' && data[i] != '\r' && data[i] != '\n'; ++i) {
        verb += static_cast<char>(std::toupper(static_cast<unsigned char>(data[i])));
    }
    return verb;
}

} // namespace

TFtpAddress ParseFtpHost(const std::string& text) {
    TFtpAddress result;
    std::string host;
    std::string port;
    bool hasPort = false;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos) {
            return result;
        }
        host = text.substr(1, close - 1);
        const std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return result;
            }
            hasPort = true;
            port = rest.substr(1);
        }
    } else {
        const size_t first = text.find(':');
        if (first != std::string::npos && text.find(':', first + 1) == std::string::npos) {
            host = text.substr(0, first);
            hasPort = true;
            port = text.substr(first + 1);
        } else {
            host = text; // a name, or a bare IPv6 address (several colons)
        }
    }
    if (host.empty()) {
        return result;
    }
    for (const char c : host) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f || std::strchr("/?#@[]\\", c) != nullptr) {
            return result;
        }
    }
    if (hasPort) {
        if (port.empty() || port.size() > 5) {
            return result;
        }
        unsigned value = 0;
        for (const char c : port) {
            if (c < '0' || c > '9') {
                return result;
            }
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value == 0 || value > 65535) {
            return result;
        }
        result.Port = static_cast<std::uint16_t>(value);
    }
    result.Host = host;
    result.Valid = true;
    return result;
}

std::string FtpReplyMessage(std::string reply) {
    // Empty lines at the end would otherwise count as the last line and leave no text.
    while (!reply.empty() && (reply.back() == '\r' || reply.back() == '\n')) {
        reply.pop_back();
    }
    // Keep the last line only.
    for (size_t lf = reply.find('\n'); lf != std::string::npos && lf != reply.size() - 1;
         lf = reply.find('\n')) {
        reply.erase(0, lf + 1);
    }
    // The reply code, and whatever digits and blanks follow it.
    size_t skip = 0;
    while (skip < reply.size() && std::strchr("1234567890 ", reply[skip]) != nullptr &&
           reply[skip] != '\0') {
        ++skip;
    }
    reply.erase(0, skip);
    const size_t nul = reply.find('\0');
    if (nul != std::string::npos) {
        reply.resize(nul);
    }
    while (!reply.empty() && (reply.back() == '\r' || reply.back() == '\n')) {
        reply.pop_back();
    }
    return reply;
}

std::string FtpUrlPath(const std::string& remoteName) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string path;
    for (const char c : remoteName) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) != 0 || std::strchr("-._~/", c) != nullptr) {
            path += c;
        } else {
            path += '%';
            path += kHex[u >> 4];
            path += kHex[u & 0x0f];
        }
    }
    return path;
}

struct TFtp::TCurlState {
    CURL* Handle = nullptr;
    char ErrorBuffer[CURL_ERROR_SIZE] = {};
    curl_slist* Quote = nullptr;
    std::FILE* Upload = nullptr;
    TFtp* Owner = nullptr;
    std::exception_ptr CallbackError;

    // The dialogue with the server, as far as error messages need it.
    std::string LastCommand; // verb of the last command sent
    std::string Reply;       // reply lines received since that command
    std::string PartialLine;
    std::string ErrorReply; // a refusal (4xx/5xx) that answered the last command
    std::string ErrorCommand;
    bool Quitting = false; // the farewell after a failure must not hide the refusal
    bool ErrorBufferStale = false;

    void BeginOperation() {
        ErrorBuffer[0] = '\0';
        CallbackError = nullptr;
        LastCommand.clear();
        Reply.clear();
        PartialLine.clear();
        ErrorReply.clear();
        ErrorCommand.clear();
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

    static size_t Read(char* buffer, size_t size, size_t count, void* user) {
        auto* self = static_cast<TCurlState*>(user);
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

void TFtp::Connect() {
    Disconnect();
    FRefusedCommand.clear();
    const TFtpAddress address = ParseFtpHost(Host);
    if (!address.Valid) {
        throw EFtpError(curl_easy_strerror(CURLE_URL_MALFORMAT));
    }
    std::string host = address.Host;
    if (host.find(':') != std::string::npos) {
        std::string escaped;
        for (const char c : host) {
            escaped += (c == '%') ? std::string("%25") : std::string(1, c);
        }
        host = "[" + escaped + "]";
    }
    const unsigned port = address.Port != 0 ? address.Port : Port;
    FBaseUrl = "ftp://" + host + ":" + std::to_string(port) + "/";

    FCurl = new TCurlState;
    FCurl->Owner = this;
    FCurl->Handle = curl_easy_init();
    if (FCurl->Handle == nullptr) {
        delete FCurl;
        FCurl = nullptr;
        throw EFtpError("Unknown error");
    }
    CURL* h = FCurl->Handle;
    const std::uint32_t timeoutMs = Timeout != 0 ? Timeout : kDefaultTimeoutMs;
    const long timeoutSeconds = static_cast<long>((timeoutMs + 999) / 1000);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, FCurl->ErrorBuffer);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L); // feeds the debug callback, which reads the replies
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &TCurlState::Debug);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, FCurl);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &TCurlState::Read);
    curl_easy_setopt(h, CURLOPT_READDATA, FCurl);
    curl_easy_setopt(h, CURLOPT_USERNAME, User.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, Password.c_str());
    curl_easy_setopt(h, CURLOPT_PROXY, Proxy.c_str());
    // Remote names go to the server as typed, in one command, without changing folders.
    curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(h, CURLOPT_FTPPORT, Passive ? nullptr : "-");
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
    curl_easy_setopt(h, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(timeoutMs));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeoutSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, timeoutSeconds);

    // Logging in without a transfer: a refused login fails here.
    curl_easy_setopt(h, CURLOPT_URL, FBaseUrl.c_str());
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    Perform();
    FConnected = true;
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

void TFtp::Perform() {
    FRefusedCommand.clear();
    FCurl->BeginOperation();
    const CURLcode rc = curl_easy_perform(FCurl->Handle);
    if (FCurl->CallbackError) {
        std::rethrow_exception(FCurl->CallbackError);
    }
    if (rc == CURLE_OK) {
        return;
    }
    std::string message;
    if (!FCurl->ErrorReply.empty()) {
        message = FtpReplyMessage(FCurl->ErrorReply);
        FRefusedCommand = FCurl->ErrorCommand;
    } else if (FCurl->ErrorBuffer[0] != '\0' && !FCurl->ErrorBufferStale) {
        message = FCurl->ErrorBuffer;
    } else {
        message = curl_easy_strerror(rc);
    }
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n')) {
        message.pop_back();
    }
    if (message.empty()) {
        message = "Unknown error";
    }
    throw EFtpError(message);
}

void TFtp::PutFile(const std::string& remoteName, const std::string& localName, bool ascii) {
    FBytesLeft = FileSizeOf(localName);
    if (!FConnected) {
        throw EFtpError("Not connected");
    }
    if (HoldsLineBreakOrNul(remoteName)) {
        throw EFtpError("Invalid remote file name");
    }
    std::FILE* file = std::fopen(localName.c_str(), "rb");
    if (file == nullptr) {
        throw EFtpError("Unknown error");
    }
    FCurl->Upload = file;
    CURL* h = FCurl->Handle;
    const std::string url = FBaseUrl + FtpUrlPath(remoteName);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(FBytesLeft));
    curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, ascii ? 1L : 0L);
    try {
        Perform();
    } catch (...) {
        std::fclose(FCurl->Upload);
        FCurl->Upload = nullptr;
        curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
        throw;
    }
    std::fclose(FCurl->Upload);
    FCurl->Upload = nullptr;
    curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
}

void TFtp::RunCommands(const std::string& first, const std::string& second) {
    if (!FConnected) {
        throw EFtpError("Not connected");
    }
    // Commands travel verbatim: a line break in a name would start a command of its own.
    if (HoldsLineBreakOrNul(first) || HoldsLineBreakOrNul(second)) {
        throw EFtpError("Invalid remote file name");
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
        throw EFtpError("Unknown error");
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
    try {
        Perform();
    } catch (...) {
        release();
        throw;
    }
    release();
}

void TFtp::DeleteFile(const std::string& remoteName) {
    RunCommands("DELE " + remoteName, std::string());
}

void TFtp::RenameFile(const std::string& existingName, const std::string& newName) {
    RunCommands("RNFR " + existingName, "RNTO " + newName);
}
