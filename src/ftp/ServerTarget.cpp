#include "ftp/ServerTarget.h"
#include "base/AsciiCase.h"

#include "ftp/FtpTexts.h"
#include "ftp/FtpUpload.h"
#include "ftp/TransfersPlugin.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
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
    throw EQuorvaneError(Msg(texts::UnknownUploadProtocol, name));
}

TMessage ProtocolDisplayMessage(TTransferProtocol protocol) {
    switch (protocol) {
    case TTransferProtocol::Ftp:
        return Msg(texts::ProtocolFtp);
    case TTransferProtocol::FtpExplicitTls:
        return Msg(texts::ProtocolFtpExplicitTls);
    case TTransferProtocol::FtpImplicitTls:
        return Msg(texts::ProtocolFtpImplicitTls);
    case TTransferProtocol::Sftp:
        return Msg(texts::ProtocolSftp);
    }
    return Msg(texts::ProtocolFtp);
}

namespace {

// A part the parser decoded; an escape that does not decode to a byte is refused.
std::string Decoded(const std::optional<std::string>& part) {
    if (!part) throw EQuorvaneError(Msg(texts::UrlUnsafe));
    return *part;
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
        throw EQuorvaneError(Msg(texts::NotAServerUrl, url));
    }
    const std::string scheme = ToAsciiLower(url.substr(0, colon));
    if (scheme != "ftp" && scheme != "ftpes" && scheme != "ftps" && scheme != "sftp") {
        throw EQuorvaneError(Msg(texts::UnknownUrlProtocol, scheme));
    }
    result.Protocol = ProtocolFromStoredName(scheme);
    const TServerUrlParts parsed = Transfers().SplitUrl(url);
    if (!parsed.Parsed) {
        throw EQuorvaneError(Msg(texts::UrlNoValidServer, url));
    }
    if (!Decoded(parsed.Password).empty()) {
        throw EQuorvaneError(Msg(texts::UrlHoldsPassword));
    }
    // Neither is part of a file name: "?" and "#" in a name are written %3F and %23.
    if (!parsed.Query.empty() || !parsed.Fragment.empty() ||
        url.find_first_of("?#") != std::string::npos) {
        throw EQuorvaneError(Msg(texts::UrlQueryOrFragment, url));
    }
    result.Login = Decoded(parsed.User);
    result.Host = parsed.Port.empty() ? parsed.Host : parsed.Host + ":" + parsed.Port;
    const TFtpAddress address = ParseFtpHost(result.Host);
    if (!address.Valid) {
        throw EQuorvaneError(Msg(texts::UrlNoValidServer, url));
    }
    // The path always starts with "/", which only separates it from the server.
    const std::string path = Decoded(parsed.Path).substr(1);
    if (result.Protocol == TTransferProtocol::Sftp) {
        result.RemoteFile = path.rfind("~/", 0) == 0 ? path.substr(2) : "/" + path;
    } else {
        result.RemoteFile = path;
    }
    if (result.RemoteFile.empty() || result.RemoteFile == "/" || result.RemoteFile.back() == '/') {
        throw EQuorvaneError(Msg(texts::UrlNoFile, url));
    }
    if (!SafeForServer(result.RemoteFile) || !SafeForServer(result.Login)) {
        throw EQuorvaneError(Msg(texts::UrlUnsafe));
    }
    return result;
}

std::string ServerUrlOf(const TTargetSettings& target) {
    const TTransferProtocol protocol = ProtocolFromStoredName(target.FtpProtocol);
    const std::string scheme = protocol == TTransferProtocol::Ftp ? "ftp" : target.FtpProtocol;
    std::string path = target.FtpPasswdFile;
    if (protocol == TTransferProtocol::Sftp) {
        path = !path.empty() && path[0] == '/' ? path.substr(1) : "~/" + path;
    }
    const TFtpAddress address = ParseFtpHost(target.FtpHost);
    if (!address.Valid) return scheme + "://" + target.FtpHost + "/" + path;
    const std::string host =
        address.Host.find(':') != std::string::npos ? "[" + address.Host + "]" : address.Host;
    const std::string text = Transfers().JoinUrl(scheme, host, address.Port, "/" + path);
    return text.empty() ? scheme + "://" + target.FtpHost + "/" + path : text;
}

std::vector<std::string> StoredHostKeys(const TTargetSettings& target) {
    std::vector<std::string> keys;
    std::istringstream in(target.FtpHostKeys);
    for (std::string key; in >> key;) {
        keys.push_back(key);
    }
    return keys;
}

bool SetServerProtocol(TTargetSettings& target, TTransferProtocol protocol) {
    const std::string name = ProtocolStoredName(protocol);
    if (name == target.FtpProtocol) return false;
    target.FtpProtocol = name;
    target.FtpTlsPin.clear();
    target.FtpCaFile.clear();
    target.FtpKeyFile.clear();
    target.FtpHostKeys.clear();
    return true;
}

void AddStoredHostKey(TTargetSettings& target, const std::string& fingerprint) {
    for (const std::string& key : StoredHostKeys(target)) {
        if (key == fingerprint) return;
    }
    target.FtpHostKeys += (target.FtpHostKeys.empty() ? "" : " ") + fingerprint;
}

void SetStoredHostKeys(TTargetSettings& target, const std::vector<std::string>& fingerprints) {
    target.FtpHostKeys.clear();
    for (const std::string& key : fingerprints)
        AddStoredHostKey(target, key);
}

bool RemoveStoredHostKey(TTargetSettings& target, const std::string& fingerprint) {
    std::vector<std::string> keys = StoredHostKeys(target);
    const auto end = std::remove(keys.begin(), keys.end(), fingerprint);
    if (end == keys.end()) return false;
    keys.erase(end, keys.end());
    SetStoredHostKeys(target, keys);
    return true;
}

void ApplyServerSettings(const TTargetSettings& target, TFtpSettings& server) {
    server.Host = target.FtpHost;
    server.User = target.FtpUser;
    server.Passive = target.FtpPassiveMode;
    server.Protocol = ProtocolFromStoredName(target.FtpProtocol);
    server.TlsPin = target.FtpTlsPin;
    server.CaFile = target.FtpCaFile;
    server.KeyFile = target.FtpKeyFile;
    server.HostKeyPins = StoredHostKeys(target);
}

bool ValidTlsPin(const std::string& pin) {
    return pin.size() == 8 + 44 && pin.rfind("sha256//", 0) == 0 && Base64Text(pin.substr(8));
}

bool ValidHostKeyFingerprint(const std::string& fingerprint) {
    return fingerprint.size() == 7 + 43 && fingerprint.rfind("SHA256:", 0) == 0 &&
           Base64Text(fingerprint.substr(7));
}

} // namespace quorvane

namespace quorvane {

namespace {

void Wipe(std::string& secret) {
    if (!secret.empty()) explicit_bzero(secret.data(), secret.size());
    secret.clear();
}

} // namespace

bool TargetAsksForSecret(const TTargetSettings& target) {
    if (target.ExportToFile || !target.StoreUrl.empty()) return false;
    if (!target.FtpKeyFile.empty()) return PrivateKeyNeedsPassphrase(target.FtpKeyFile);
    // SFTP without a key file tries ssh-agent and the default keys first.
    return !(target.FtpProtocol == ProtocolStoredName(TTransferProtocol::Sftp) && SshKeysAtHand());
}

std::string SecretIdOf(const TTargetSettings& target) {
    if (target.ExportToFile || !target.StoreUrl.empty()) return {};
    if (!target.FtpKeyFile.empty()) return "key:" + target.FtpKeyFile;
    TTransferProtocol protocol = TTransferProtocol::Ftp;
    try {
        protocol = ProtocolFromStoredName(target.FtpProtocol);
    } catch (const EQuorvaneError&) {
        return {}; // a protocol this version does not speak logs in nowhere
    }
    const TFtpAddress address = ParseFtpHost(target.FtpHost);
    if (!address.Valid || address.Host.empty()) return {};
    const std::string scheme =
        protocol == TTransferProtocol::Ftp ? "ftp" : ProtocolStoredName(protocol);
    return scheme + "://" + target.FtpUser + "@" + ToAsciiLower(address.Host) + ":" +
           std::to_string(address.Port);
}

TSessionSecrets::~TSessionSecrets() {
    for (auto& entry : FSecrets)
        Wipe(entry.second);
}

const std::string* TSessionSecrets::Find(const TTargetSettings& target) const {
    const std::string id = SecretIdOf(target);
    if (id.empty()) return nullptr;
    const auto found = FSecrets.find(id);
    return found == FSecrets.end() ? nullptr : &found->second;
}

void TSessionSecrets::Keep(const TTargetSettings& target, const std::string& secret) {
    const std::string id = SecretIdOf(target);
    if (id.empty() || secret.empty()) return;
    std::string& kept = FSecrets[id];
    Wipe(kept);
    kept = secret;
}

void TSessionSecrets::Forget(const TTargetSettings& target) {
    const auto found = FSecrets.find(SecretIdOf(target));
    if (found == FSecrets.end()) return;
    Wipe(found->second);
    FSecrets.erase(found);
}

} // namespace quorvane
