#include "ftp/ServerTarget.h"
#include "base/AsciiCase.h"

#include "ftp/FtpUpload.h"
#include "userdb/UserList.h"

#include <cctype>
#include <sstream>

namespace quorvane {

std::string ProtocolStoredName(TTransferProtocol protocol) {
    switch (protocol) {
    case TTransferProtocol::Ftp:
        return std::string();
    case TTransferProtocol::FtpExplicitTls:
        return "ftpes";
    case TTransferProtocol::FtpImplicitTls:
        return "ftps";
    case TTransferProtocol::Sftp:
        return "sftp";
    }
    return std::string();
}

TTransferProtocol ProtocolFromStoredName(const std::string& name) {
    for (const TTransferProtocol p : {TTransferProtocol::Ftp, TTransferProtocol::FtpExplicitTls,
                                      TTransferProtocol::FtpImplicitTls, TTransferProtocol::Sftp}) {
        if (name == ProtocolStoredName(p) || (p == TTransferProtocol::Ftp && name == "ftp")) {
            return p;
        }
    }
    throw EQuorvaneError("Unknown upload protocol \"" + name +
                         "\"; this version knows ftp, ftpes, ftps and sftp");
}

std::string ProtocolDisplayName(TTransferProtocol protocol) {
    switch (protocol) {
    case TTransferProtocol::Ftp:
        return "FTP";
    case TTransferProtocol::FtpExplicitTls:
        return "FTP over TLS";
    case TTransferProtocol::FtpImplicitTls:
        return "FTP over TLS (implicit)";
    case TTransferProtocol::Sftp:
        return "SFTP";
    }
    return "FTP";
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            const int hi = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
            const int lo = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
            if (hi < 0 || lo < 0) {
                throw EQuorvaneError("The URL holds a bad percent escape");
            }
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool Base64Text(const std::string& text) {
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '+' && c != '/' && c != '=') {
            return false;
        }
    }
    return true;
}

} // namespace

TServerUrl ParseServerUrl(const std::string& url) {
    TServerUrl result;
    const size_t colon = url.find("://");
    if (colon == std::string::npos) {
        throw EQuorvaneError("Not a server URL: " + url +
                             " (use ftp://, ftpes://, ftps:// or sftp://)");
    }
    const std::string scheme = ToAsciiLower(url.substr(0, colon));
    if (scheme != "ftp" && scheme != "ftpes" && scheme != "ftps" && scheme != "sftp") {
        throw EQuorvaneError("Unknown protocol " + scheme +
                             ":// (use ftp://, ftpes://, ftps:// or sftp://)");
    }
    result.Protocol = ProtocolFromStoredName(scheme);
    const std::string rest = url.substr(colon + 3);
    const size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    std::string path = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        std::string userinfo = authority.substr(0, at);
        if (userinfo.find(':') != std::string::npos) {
            throw EQuorvaneError("Give the password with --password-stdin, not in the URL");
        }
        result.Login = PercentDecode(userinfo);
        authority = authority.substr(at + 1);
    }
    const TFtpAddress address = ParseFtpHost(authority);
    if (!address.Valid) {
        throw EQuorvaneError("The URL names no valid server: " + url);
    }
    result.Host = authority;
    if (result.Protocol == TTransferProtocol::Sftp) {
        path = PercentDecode(path);
        if (path.rfind("~/", 0) == 0) {
            result.RemoteFile = path.substr(2);
        } else {
            result.RemoteFile = "/" + path;
        }
    } else {
        result.RemoteFile = PercentDecode(path);
    }
    if (result.RemoteFile.empty() || result.RemoteFile == "/" || result.RemoteFile.back() == '/') {
        throw EQuorvaneError("The URL names no file on the server: " + url);
    }
    if (!SafeForServer(result.RemoteFile) || !SafeForServer(result.Login)) {
        throw EQuorvaneError("The URL holds a line break or NUL character");
    }
    return result;
}

std::string ServerUrlOf(const TUserList& list) {
    const TTransferProtocol protocol = ProtocolFromStoredName(list.FtpProtocol);
    const std::string scheme = protocol == TTransferProtocol::Ftp ? "ftp" : list.FtpProtocol;
    std::string path = list.FtpPasswdFile;
    if (protocol == TTransferProtocol::Sftp) {
        path = !path.empty() && path[0] == '/' ? path.substr(1) : "~/" + path;
    }
    return scheme + "://" + list.FtpHost + "/" + path;
}

std::vector<std::string> StoredHostKeys(const TUserList& list) {
    std::vector<std::string> keys;
    std::istringstream in(list.FtpHostKeys);
    for (std::string key; in >> key;) {
        keys.push_back(key);
    }
    return keys;
}

void AddStoredHostKey(TUserList& list, const std::string& fingerprint) {
    for (const std::string& key : StoredHostKeys(list)) {
        if (key == fingerprint) return;
    }
    list.FtpHostKeys += (list.FtpHostKeys.empty() ? "" : " ") + fingerprint;
}

void ApplyServerSettings(const TUserList& list, TFtpSettings& server) {
    server.Host = list.FtpHost;
    server.User = list.FtpUser;
    server.Passive = list.FtpPassiveMode;
    server.Protocol = ProtocolFromStoredName(list.FtpProtocol);
    server.TlsPin = list.FtpTlsPin;
    server.CaFile = list.FtpCaFile;
    server.KeyFile = list.FtpKeyFile;
    server.HostKeyPins = StoredHostKeys(list);
}

bool ValidTlsPin(const std::string& pin) {
    return pin.size() == 8 + 44 && pin.rfind("sha256//", 0) == 0 && Base64Text(pin.substr(8));
}

bool ValidHostKeyFingerprint(const std::string& fingerprint) {
    return fingerprint.size() == 7 + 43 && fingerprint.rfind("SHA256:", 0) == 0 &&
           Base64Text(fingerprint.substr(7));
}

} // namespace quorvane
