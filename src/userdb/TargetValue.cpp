#include "userdb/TargetValue.h"

#include "base/AsciiCase.h"

namespace quorvane {

const std::string& TTarget::Option(std::string_view key) const {
    static const std::string KNone;
    const auto it = Options.find(key);
    return it == Options.end() ? KNone : it->second;
}

void TTarget::SetOption(std::string_view key, std::string value) {
    if (value.empty()) {
        if (const auto it = Options.find(key); it != Options.end()) Options.erase(it);
        return;
    }
    Options.insert_or_assign(std::string(key), std::move(value));
}

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsSchemeChar(char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The stores' own addresses, as the stores read them (exactly these prefixes).
bool IsStoreAddress(std::string_view url) {
    for (const std::string_view prefix :
         {"sqlite:", "postgresql://", "postgres://", "ldap://", "ldaps://"})
        if (StartsWith(url, prefix)) return true;
    return false;
}

// A store's address that names no store, kept as it was given.
constexpr std::string_view KOddStore = "store:";

constexpr std::string_view KHex = "0123456789ABCDEF";

// Percent-escapes "%", "?", "#", blanks, control and non-ASCII bytes, and the bytes in `more`.
std::string Escaped(const std::string& text, std::string_view more) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7f || c == '%' || c == '?' || c == '#' ||
            more.find(c) != std::string_view::npos) {
            out += '%';
            out += KHex[b >> 4];
            out += KHex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string Unescaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() + 0 && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsSftp(std::string_view scheme) {
    return ToAsciiLower(std::string(scheme)) == "sftp";
}

// The option names of the stored fields that are not part of an address.
constexpr std::string_view KUser = "user", KPassword = "password", KKeepPassword = "keep-password",
                           KPassive = "passive", KTlsPin = "tls-pin", KCaFile = "ca-file",
                           KKeyFile = "key-file", KHostKeys = "host-keys", KOwner = "owner",
                           KCheckUrl = "check-url", KCheckUser = "check-user", KFile = "file",
                           KServer = "server", KStore = "store";

std::string StoreUrlOf(const std::string& storeUrl) {
    return IsStoreAddress(storeUrl) ? storeUrl : std::string(KOddStore) + storeUrl;
}

std::string StoreFromUrl(std::string_view url) {
    return std::string(StartsWith(url, KOddStore) ? url.substr(KOddStore.size()) : url);
}

bool IsStoreUrl(std::string_view url) {
    return IsStoreAddress(url) || StartsWith(url, KOddStore);
}

std::string ServerUrlOfFields(const TTargetSettings& s) {
    return ServerUrl(s.FtpProtocol.empty() ? "ftp" : s.FtpProtocol, s.FtpHost, s.FtpPasswdFile);
}

bool HasServer(const TTargetSettings& s) {
    return !s.FtpProtocol.empty() || !s.FtpHost.empty() || !s.FtpPasswdFile.empty();
}

void SetServerFields(TTargetSettings& s, std::string_view url) {
    const TServerAddress address = ServerAddressOf(url);
    s.FtpProtocol = ToAsciiLower(address.Scheme) == "ftp" ? std::string() : address.Scheme;
    s.FtpHost = address.Host;
    s.FtpPasswdFile = address.RemoteFile;
}

bool IsFieldOption(std::string_view key) {
    for (const std::string_view k :
         {KUser, KPassword, KKeepPassword, KPassive, KTlsPin, KCaFile, KKeyFile, KHostKeys, KOwner,
          KCheckUrl, KCheckUser, KFile, KServer, KStore})
        if (key == k) return true;
    return false;
}

// The options without fields of their own, as TTargetSettings::Options keeps them.
std::string EncodedOptions(const TTarget& t) {
    std::string out;
    for (const auto& [key, value] : t.Options) {
        if (IsFieldOption(key)) continue;
        if (!out.empty()) out += '&';
        out += Escaped(key, "&=") + "=" + Escaped(value, "&=");
    }
    return out;
}

void DecodeOptions(std::string_view text, TTarget& t) {
    while (!text.empty()) {
        const std::size_t amp = text.find('&');
        const std::string_view pair = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
        const std::size_t eq = pair.find('=');
        const std::string key = Unescaped(pair.substr(0, eq));
        if (key.empty() || IsFieldOption(key)) continue;
        t.SetOption(key,
                    eq == std::string_view::npos ? std::string() : Unescaped(pair.substr(eq + 1)));
    }
}

} // namespace

std::string UrlScheme(std::string_view url) {
    if (url.empty() || !IsAsciiLetter(url[0])) return {};
    std::size_t i = 1;
    while (i < url.size() && IsSchemeChar(url[i]))
        ++i;
    if (i >= url.size() || url[i] != ':') return {};
    return ToAsciiLower(std::string(url.substr(0, i)));
}

std::string FileUrl(const std::string& path) {
    return UrlScheme(path).empty() ? path : "file:" + path;
}

std::string FileUrlPath(std::string_view url) {
    if (UrlScheme(url) != "file") return std::string(url);
    const std::string_view rest = url.substr(5);
    // "file:///srv/x"; a path FileUrl escaped never starts with "//".
    return std::string(StartsWith(rest, "//") ? rest.substr(2) : rest);
}

std::string ServerUrl(const std::string& scheme, const std::string& host,
                      const std::string& remoteFile) {
    std::string path = remoteFile;
    if (IsSftp(scheme)) path = !path.empty() && path[0] == '/' ? path.substr(1) : "~/" + path;
    return scheme + "://" + Escaped(host, "/@") + "/" + Escaped(path, "");
}

TServerAddress ServerAddressOf(std::string_view url) {
    TServerAddress a;
    const std::size_t sep = url.find("://");
    if (sep == std::string_view::npos) {
        a.Host = Unescaped(url);
        return a;
    }
    a.Scheme = std::string(url.substr(0, sep));
    std::string_view rest = url.substr(sep + 3);
    const std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    const std::string_view path =
        slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        a.Login = Unescaped(authority.substr(0, at));
        authority = authority.substr(at + 1);
    }
    a.Host = Unescaped(authority);
    a.RemoteFile = Unescaped(path);
    if (IsSftp(a.Scheme))
        a.RemoteFile = StartsWith(a.RemoteFile, "~/") ? a.RemoteFile.substr(2) : "/" + a.RemoteFile;
    return a;
}

TTarget TargetOf(const TTargetSettings& s) {
    TTarget t;
    t.Name = s.Name;
    t.Enabled = s.Enabled;
    // The chosen address; the others the target holds stay as options.
    if (s.ExportToFile) {
        t.Url = FileUrl(s.PassFile);
    } else if (!s.StoreUrl.empty()) {
        t.Url = StoreUrlOf(s.StoreUrl);
        t.SetOption(KFile, FileUrl(s.PassFile));
    } else {
        t.Url = ServerUrlOfFields(s);
        t.SetOption(KFile, FileUrl(s.PassFile));
    }
    if (s.ExportToFile || !s.StoreUrl.empty()) {
        if (HasServer(s)) t.SetOption(KServer, ServerUrlOfFields(s));
    }
    if (s.ExportToFile && !s.StoreUrl.empty()) t.SetOption(KStore, StoreUrlOf(s.StoreUrl));
    t.SetOption(KUser, s.FtpUser);
    t.SetOption(KPassword, s.FtpPass);
    if (!s.FtpStorePass) t.SetOption(KKeepPassword, "no");
    if (!s.FtpPassiveMode) t.SetOption(KPassive, "no");
    t.SetOption(KTlsPin, s.FtpTlsPin);
    t.SetOption(KCaFile, s.FtpCaFile);
    t.SetOption(KKeyFile, s.FtpKeyFile);
    t.SetOption(KHostKeys, s.FtpHostKeys);
    t.SetOption(KOwner, s.StoreOwner);
    t.SetOption(KCheckUrl, s.CheckUrl);
    t.SetOption(KCheckUser, s.CheckUser);
    DecodeOptions(s.Options, t);
    return t;
}

TTargetSettings SettingsOf(const TTarget& t) {
    TTargetSettings s;
    s.Name = t.Name;
    s.Enabled = t.Enabled;
    const std::string scheme = UrlScheme(t.Url);
    s.ExportToFile = scheme.empty() || scheme == "file";
    if (s.ExportToFile) {
        s.PassFile = FileUrlPath(t.Url);
    } else {
        s.PassFile = FileUrlPath(t.Option(KFile));
        if (IsStoreUrl(t.Url))
            s.StoreUrl = StoreFromUrl(t.Url);
        else
            SetServerFields(s, t.Url);
    }
    if (const std::string& server = t.Option(KServer); !server.empty()) SetServerFields(s, server);
    if (const std::string& store = t.Option(KStore); !store.empty())
        s.StoreUrl = StoreFromUrl(store);
    s.FtpUser = t.Option(KUser);
    s.FtpPass = t.Option(KPassword);
    s.FtpStorePass = t.Option(KKeepPassword) != "no";
    s.FtpPassiveMode = t.Option(KPassive) != "no";
    s.FtpTlsPin = t.Option(KTlsPin);
    s.FtpCaFile = t.Option(KCaFile);
    s.FtpKeyFile = t.Option(KKeyFile);
    s.FtpHostKeys = t.Option(KHostKeys);
    s.StoreOwner = t.Option(KOwner);
    s.CheckUrl = t.Option(KCheckUrl);
    s.CheckUser = t.Option(KCheckUser);
    s.Options = EncodedOptions(t);
    return s;
}

} // namespace quorvane
