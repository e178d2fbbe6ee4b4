#pragma once
// A target as a value: its name, its address and its options. The kind of a target (a local
// file, a server, a store) is chosen by its address's scheme alone, so a new kind needs nothing
// here. The database file keeps a target under its older field names (TTargetSettings); the two
// forms map onto each other without loss.

#include "base/Random.h"

#include <map>
#include <string>
#include <string_view>

namespace quorvane {

// A target as the database file stores it: a local file, a server (FTP, FTP over TLS, SFTP)
// or a store, with its name and whether an export that names no targets goes there. The list's
// first target is stored under these names (its name as TargetName, Enabled as TargetDisabled),
// the others as items of Targets.
struct TTargetSettings {
    std::string Name;
    bool Enabled = true;
    bool ExportToFile = true;
    std::string PassFile;
    std::string FtpHost;
    std::string FtpUser;
    std::string FtpPass;
    std::string FtpPasswdFile;
    bool FtpStorePass = true;
    bool FtpPassiveMode = true;
    // Secure transports, stored only when FtpProtocol is not plain FTP (empty): "ftpes" (FTP
    // over explicit TLS), "ftps" (implicit TLS) or "sftp". The port stays in FtpHost
    // ("host:port"). FtpHostKeys holds trusted SSH host key fingerprints ("SHA256:..."),
    // separated by blanks.
    std::string FtpProtocol;
    std::string FtpTlsPin;
    std::string FtpCaFile;
    std::string FtpKeyFile;
    std::string FtpHostKeys;
    // A store web servers read users from, as the target when ExportToFile is off:
    // "sqlite:PATH", "postgresql://…", "ldap://HOST/BASE-DN" or "ldaps://…"; the server's login
    // and password are FtpUser and FtpPass. StoreOwner marks the rows or entries this database
    // made there. Both stored only when a store is set.
    std::string StoreUrl;
    std::string StoreOwner;
    // After a replacement the site at CheckUrl is asked to let CheckUser in (with that user's
    // password from the database); empty: not checked. Stored only when set.
    std::string CheckUrl;
    std::string CheckUser;
    // The target's other options (what reads its file, its form, the command run after it, ...)
    // as "key=value" pairs joined by "&", "%", "&", "=" and control bytes percent-escaped, in
    // the order of their keys. Stored only when the target has such options.
    std::string Options;
};

// Points `target` at the store `url` (empty: at none, which forgets the owner too). A target
// without an owner gets one of its own, "quorvane-" and 16 hexadecimal digits from `random`, so
// two databases on one store never take each other's users for their own. An owner already set
// stays, and so does the empty owner of a target that an earlier version pointed at this same
// store: the rows it wrote there carry that empty owner.
void SetStoreUrl(TTargetSettings& target, const std::string& url, IRandomSource& random);

// The name of a list's first target when it has none of its own.
inline constexpr const char* KFirstTargetName = "default";

struct TTarget {
    std::string Name;
    // A plain path, "file:PATH", "ftp://HOST[:PORT]/FILE" (also ftpes, ftps, sftp),
    // "sqlite:PATH", "postgresql://…", "ldap://…", "ldaps://…"; empty: a file not named yet.
    std::string Url;
    bool Enabled = true;
    // By name: "user", "password" (a secret, stored only while "keep-password" is not "no"),
    // "passive", "tls-pin", "ca-file", "key-file", "host-keys", "owner", "check-url",
    // "check-user", and the addresses the target keeps while another is chosen ("file",
    // "server", "store"); any other key (TTargetSettings::Options keeps them) is kept as it is,
    // whether this version knows it or not. An option that is not set reads as empty.
    std::map<std::string, std::string, std::less<>> Options;

    const std::string& Option(std::string_view key) const;
    // An empty value removes the option.
    void SetOption(std::string_view key, std::string value);

    bool operator==(const TTarget&) const = default;
};

// The scheme of an address, in lower case ("sftp", "sqlite"); empty for a plain path. A scheme
// is a letter, then letters, digits, "+", "-" or ".", then ":".
std::string UrlScheme(std::string_view url);

// A local file as an address: the path itself, or "file:" and the path when the path would
// read as an address of another scheme ("C:\site\htpasswd", "sqlite:x").
std::string FileUrl(const std::string& path);
// The path a file address names (the inverse of FileUrl; "file:///srv/x" names "/srv/x").
std::string FileUrlPath(std::string_view url);

// A server's address in parts. The remote file is as the server takes it: for FTP
// "ftp://h/www/x" names "www/x" in the login folder and "ftp://h//www/x" the absolute "/www/x";
// for SFTP "sftp://h/www/x" is absolute and "sftp://h/~/x" names "x" in the login folder.
struct TServerAddress {
    std::string Scheme; // "ftp", "ftpes", "ftps", "sftp" or whatever the address gave
    std::string Host;   // with its port: "host:port"
    std::string RemoteFile;
    std::string Login; // "user@" in the address, when given
};
// Composes an address from its parts (without login) that ServerAddressOf reads back as they
// are, whatever bytes the host and the file hold.
std::string ServerUrl(const std::string& scheme, const std::string& host,
                      const std::string& remoteFile);
// Reads an address of the form "SCHEME://[LOGIN@]HOST/PATH" without judging its parts;
// percent escapes are decoded. Raises nothing: an address without "://" gives its whole text as
// the host.
TServerAddress ServerAddressOf(std::string_view url);

// The value of settings as stored, and back; TargetOf(SettingsOf(t)) == t for every value
// TargetOf gives, and SettingsOf(TargetOf(s)) == s for all settings whose Options are in the
// form SettingsOf writes and name none of the options kept in fields of their own.
TTarget TargetOf(const TTargetSettings& settings);
TTargetSettings SettingsOf(const TTarget& target);

} // namespace quorvane
