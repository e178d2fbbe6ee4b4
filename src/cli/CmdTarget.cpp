#include "cli/CliCommand.h"

#include "base/Random.h"
#include "ftp/ServerTarget.h"
#include "sitedb/UserStore.h"
#include "userdb/UserList.h"

#include <ostream>

namespace quorvane::cli {

namespace {

void PrintTarget(const TUserList& list, std::ostream& out) {
    if (list.ExportToFile) {
        out << "kind: file\n"
            << "file: " << list.PassFile << "\n";
        return;
    }
    if (!list.StoreUrl.empty()) {
        out << "kind: store\n"
            << "url: " << list.StoreUrl << "\n"
            << "owner: " << list.StoreOwner << "\n";
        if (!list.FtpUser.empty()) out << "login: " << list.FtpUser << "\n";
        out << "password stored: " << (list.FtpStorePass && !list.FtpPass.empty() ? "yes" : "no")
            << "\n";
        return;
    }
    const TTransferProtocol protocol = ProtocolFromStoredName(list.FtpProtocol);
    const TFtpAddress address = ParseFtpHost(list.FtpHost);
    out << "kind: server\n"
        << "protocol: " << EnglishText(ProtocolDisplayMessage(protocol)) << "\n"
        << "url: " << ServerUrlOf(list) << "\n"
        << "host: " << (address.Valid ? address.Host : list.FtpHost) << "\n"
        << "port: " << (address.Port != 0 ? address.Port : DefaultPort(protocol)) << "\n"
        << "login: " << list.FtpUser << "\n"
        << "remote file: " << list.FtpPasswdFile << "\n"
        << "password stored: " << (list.FtpStorePass && !list.FtpPass.empty() ? "yes" : "no")
        << "\n";
    if (protocol != TTransferProtocol::Sftp) {
        out << "mode: " << (list.FtpPassiveMode ? "passive" : "active") << "\n";
    }
    if (!list.FtpTlsPin.empty()) out << "tls pin: " << list.FtpTlsPin << "\n";
    if (!list.FtpCaFile.empty()) out << "ca file: " << list.FtpCaFile << "\n";
    if (!list.FtpKeyFile.empty()) out << "key file: " << list.FtpKeyFile << "\n";
    for (const std::string& key : StoredHostKeys(list)) {
        out << "host key: " << key << "\n";
    }
}

bool ChangesServer(const TArgs& args) {
    for (const char* name :
         {"login", "owner", "password-stdin", "no-password", "passive", "active", "key", "host-key",
          "add-host-key", "remove-host-key", "clear-host-keys", "tls-pin", "ca-file"}) {
        if (args.Has(name)) return true;
    }
    return false;
}

// A table or a directory: the address, the login and password of the server (none for SQLite),
// and the owner that marks this database's rows and entries there (a new one of its own unless
// given: --owner takes over those of another database, after a restore say).
void SetStore(TUserList& list, const std::string& url, const TArgs& args, TCliStreams& io) {
    for (const char* name : {"passive", "active", "key", "host-key", "add-host-key",
                             "remove-host-key", "clear-host-keys", "tls-pin", "ca-file"})
        if (args.Has(name)) throw EUsage(std::string("--") + name + " is not for a store");
    list.ExportToFile = false;
    list.StoreUrl = url;
    if (const auto owner = args.Value("owner")) {
        if (owner->empty() || !SafeForServer(*owner))
            throw EUsage("--owner needs a name without a line break or NUL");
        list.StoreOwner = *owner;
    }
    if (list.StoreOwner.empty()) {
        unsigned char id[8];
        for (unsigned char& b : id)
            b = static_cast<unsigned char>(SecureRandom().Random(256));
        static const char* const hex = "0123456789abcdef";
        list.StoreOwner = "quorvane-";
        for (const unsigned char b : id) {
            list.StoreOwner += hex[b >> 4];
            list.StoreOwner += hex[b & 15];
        }
    }
    if (const auto login = args.Value("login")) {
        if (!SafeForServer(*login))
            throw ECliError("The login must not be empty nor hold a line break or NUL");
        list.FtpUser = *login;
    }
    if (args.Has("password-stdin")) {
        const std::string password = ReadSecretLine(io.In);
        if (!SafeForServer(password))
            throw ECliError("The password must not hold a line break or NUL");
        list.FtpPass = password;
        list.FtpStorePass = true;
    } else if (args.Has("no-password")) {
        list.FtpPass.clear();
        list.FtpStorePass = false;
    }
}

void SetServer(TUserList& list, const TArgs& args, TCliStreams& io) {
    if (args.Has("password-stdin") && args.Has("no-password"))
        throw EUsage("--password-stdin and --no-password exclude each other");
    if (args.Has("passive") && args.Has("active"))
        throw EUsage("--passive and --active exclude each other");
    const auto url = args.Value("url");
    if (url && ParseStoreUrl(*url)) {
        SetStore(list, *url, args, io);
        return;
    }
    if (!url && !list.ExportToFile && !list.StoreUrl.empty()) {
        SetStore(list, list.StoreUrl, args, io);
        return;
    }
    if (args.Has("owner")) throw EUsage("--owner is for a store (sqlite:, postgresql://, ldap://)");
    if (url) {
        const TServerUrl server = ParseServerUrl(*url);
        list.StoreUrl.clear();
        list.StoreOwner.clear();
        list.ExportToFile = false;
        SetServerProtocol(list, server.Protocol);
        list.FtpHost = server.Host;
        list.FtpPasswdFile = server.RemoteFile;
        if (!server.Login.empty()) list.FtpUser = server.Login;
    } else if (list.ExportToFile || list.FtpHost.empty()) {
        throw EUsage("the database names no server yet; give --url");
    }
    const TTransferProtocol protocol = ProtocolFromStoredName(list.FtpProtocol);
    const bool tls = protocol == TTransferProtocol::FtpExplicitTls ||
                     protocol == TTransferProtocol::FtpImplicitTls;
    const bool sftp = protocol == TTransferProtocol::Sftp;
    if (const auto login = args.Value("login")) {
        if (login->empty() || !SafeForServer(*login))
            throw ECliError("The login must not be empty nor hold a line break or NUL");
        list.FtpUser = *login;
    }
    if (args.Has("password-stdin")) {
        const std::string password = ReadSecretLine(io.In);
        if (!SafeForServer(password))
            throw ECliError("The password must not hold a line break or NUL");
        list.FtpPass = password;
        list.FtpStorePass = true;
    } else if (args.Has("no-password")) {
        list.FtpPass.clear();
        list.FtpStorePass = false;
    }
    if (args.Has("passive")) list.FtpPassiveMode = true;
    if (args.Has("active")) list.FtpPassiveMode = false;
    if (const auto key = args.Value("key")) {
        if (!sftp) throw EUsage("--key is for sftp:// servers");
        if (!key->empty() && !FileExists(*key))
            throw ECliError("The key file " + *key + " does not exist");
        list.FtpKeyFile = *key;
    }
    const auto hostKey = args.Value("host-key");
    const auto addHostKey = args.Value("add-host-key");
    const auto removeHostKey = args.Value("remove-host-key");
    if (hostKey && addHostKey)
        throw EUsage("--host-key replaces the trusted keys and --add-host-key adds one; give one "
                     "of them");
    if (hostKey || addHostKey || removeHostKey || args.Has("clear-host-keys")) {
        if (!sftp) throw EUsage("the host key options are for sftp:// servers");
        for (const auto& key : {hostKey, addHostKey, removeHostKey})
            if (key && !ValidHostKeyFingerprint(*key))
                throw EUsage("a host key is a fingerprint as ssh-keygen -l shows it: SHA256:...");
    }
    if (args.Has("clear-host-keys")) SetStoredHostKeys(list, {});
    // After a key rotation the old key must not stay trusted beside the new one.
    if (hostKey) SetStoredHostKeys(list, {*hostKey});
    if (addHostKey) AddStoredHostKey(list, *addHostKey);
    if (removeHostKey && !RemoveStoredHostKey(list, *removeHostKey))
        throw ECliError("The host key " + *removeHostKey + " is not among the trusted ones");
    if (const auto pin = args.Value("tls-pin")) {
        if (!tls) throw EUsage("--tls-pin is for ftpes:// and ftps:// servers");
        if (!pin->empty() && !ValidTlsPin(*pin))
            throw EUsage("--tls-pin takes the server's public key as sha256//BASE64");
        list.FtpTlsPin = *pin;
    }
    if (const auto ca = args.Value("ca-file")) {
        if (!tls) throw EUsage("--ca-file is for ftpes:// and ftps:// servers");
        if (!ca->empty() && !FileExists(*ca))
            throw ECliError("The certificate file " + *ca + " does not exist");
        list.FtpCaFile = *ca;
    }
    if (list.FtpUser.empty()) throw EUsage("the server needs a login; give --login");
    if (protocol == TTransferProtocol::Ftp) {
        io.Err << "quorvane-cli: warning: plain FTP sends the password and the password file "
                  "in clear; use ftpes://, ftps:// or sftp:// where the server offers it\n";
    }
}

int CmdTarget(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string& path = args.Positional()[0];
    const bool setFile = args.Has("file");
    const bool setServer = args.Has("url") || ChangesServer(args);
    if (setFile && setServer) throw EUsage("--file and the server options exclude each other");
    if (!setFile && !setServer) {
        TDatabaseSession db(path, TDatabaseSession::TAccess::Read);
        PrintTarget(db.List(), io.Out);
        return kExitOk;
    }
    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    if (setFile) {
        const std::string file = *args.Value("file");
        if (file.empty()) throw EUsage("--file needs a file name");
        list.ExportToFile = true;
        list.PassFile = file;
    } else {
        SetServer(list, args, io);
    }
    db.Save(io.Err);
    PrintTarget(list, io.Out);
    return kExitOk;
}

} // namespace

TCommand TargetCommand() {
    return {
        "target",
        "DB [--file PATH | --url URL [--login L] [--password-stdin | --no-password] [--owner NAME] "
        "[--passive | --active] [--key FILE] [--host-key SHA256:... | --add-host-key SHA256:...] "
        "[--remove-host-key SHA256:...] [--clear-host-keys] [--tls-pin sha256//...] "
        "[--ca-file PATH]]",
        "show or set where export writes the password file",
        "Without options, prints the stored target: its kind (file or server), and for a\n"
        "server the protocol, URL, host, port, login, remote file, whether a password is\n"
        "stored (never the password), the mode and the trusted server identities.\n"
        "--file PATH makes export write a local file. --url sets a server:\n"
        "  ftp://host[:port]/path     plain FTP (password and file travel in clear)\n"
        "  ftpes://host[:port]/path   FTP over TLS (AUTH TLS; TLS required)\n"
        "  ftps://host[:port]/path    FTP over implicit TLS (port 990)\n"
        "  sftp://host[:port]/path    SFTP; /~/path is relative to the login folder\n"
        "For FTP, a path is relative to the login folder; start it with // for an\n"
        "absolute one. --password-stdin stores the first line of standard input as the\n"
        "server password, --no-password stores none (export then asks for it with\n"
        "--server-password-stdin). --key logs in to an SFTP server with a private key file\n"
        "(its passphrase is never stored). --host-key makes an SFTP host key the one\n"
        "trusted beside ~/.ssh/known_hosts (it replaces those trusted before: after a key\n"
        "change the old key is no longer accepted); --add-host-key trusts one more,\n"
        "--remove-host-key no longer trusts one, --clear-host-keys none; a server that\n"
        "shows another key than the trusted ones is refused as a CHANGED key.\n"
        "--tls-pin trusts a TLS server by its public key (the export's\n"
        "error shows it); --ca-file trusts the certificates in a file. The server options\n"
        "without --url change the stored server.\n"
        "--url may also name a store web servers read users from; export then syncs it:\n"
        "  sqlite:FILE                     an SQLite database file\n"
        "  postgresql://[user@]host[:port]/database[?sslmode=...]\n"
        "  ldap://host[:port]/BASE-DN      LDAP with StartTLS (required)\n"
        "  ldaps://host[:port]/BASE-DN     LDAP over TLS\n"
        "--login is the PostgreSQL user or the LDAP bind DN, --password-stdin its password;\n"
        "--owner names the mark of this database's rows or entries there (a new one is made\n"
        "otherwise). The database is saved.\n",
        {"file", "url", "login", "key", "host-key", "add-host-key", "remove-host-key", "tls-pin",
         "ca-file", "owner"},
        {"password-stdin", "no-password", "passive", "active", "clear-host-keys"},
        CmdTarget};
}

} // namespace quorvane::cli
