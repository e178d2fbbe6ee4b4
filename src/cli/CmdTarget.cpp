#include "cli/CliCommand.h"

#include "base/Random.h"
#include "ftp/ServerTarget.h"
#include "job/Deployment.h"
#include "job/TargetFile.h"
#include "job/TargetKind.h"
#include "sitedb/UserStore.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <ostream>

namespace quorvane::cli {

namespace {

// The target's kind, then what the kind shows of it.
void PrintTarget(const TTargetSettings& settings, std::ostream& out) {
    const TTarget target = TargetOf(settings);
    const ITargetKind& kind = KindOf(target);
    out << "kind: " << kind.Name() << "\n";
    for (const TTargetDetail& detail : kind.Details(target))
        out << detail.Label << ": " << detail.Value << "\n";
}

// A target as today's single target showed it, then its name, state and site check when it is
// one of several or has them.
void PrintDetails(const TTargetSettings& target, bool several, std::ostream& out) {
    if (several) out << "name: " << target.Name << "\n";
    PrintTarget(target, out);
    if (several || !target.Enabled) out << "enabled: " << (target.Enabled ? "yes" : "no") << "\n";
    if (!target.CheckUrl.empty()) out << "check url: " << target.CheckUrl << "\n";
    if (!target.CheckUser.empty()) out << "check user: " << target.CheckUser << "\n";
}

// What the target's file is (its program and form), or why its options are not usable.
std::string FileSummary(const TUserList& list, const TTarget& target) {
    try {
        return TargetFileSummary(list, TargetFileOf(list, target));
    } catch (const EQuorvaneError& e) {
        return "unusable: " + EnglishText(e.Message());
    }
}

// Whether the target asks anything of its file (a program, a form, a mode, a command after):
// one that does not gets the web servers' file in the database's form, as always.
bool HasFileOptions(const TTarget& target) {
    for (const std::string_view key : TargetFileOptions())
        if (!target.Option(key).empty()) return true;
    return false;
}

// The program that reads the target's file and its form, then the options the target sets.
void PrintFile(const TUserList& list, const TTarget& target, std::ostream& out) {
    if (!HasFileOptions(target)) return;
    out << "file for: " << FileSummary(list, target) << "\n";
    for (const std::string_view key : TargetFileOptions()) {
        const std::string& value = target.Option(key);
        if (!value.empty() && key != targetopt::Consumer && key != targetopt::Format)
            out << key << ": " << value << "\n";
    }
}

std::string KindName(const TTargetSettings& target) {
    const ITargetKind* kind = FindKind(TargetOf(target));
    return kind != nullptr ? std::string(kind->Name()) : "?";
}

// One line per target: name, kind, where it writes, and whether an export leaves it out.
void PrintTable(const TUserList& list, std::ostream& out) {
    const std::vector<TTargetSettings> targets = ListTargets(list);
    std::size_t width = 4;
    for (const TTargetSettings& t : targets)
        width = std::max(width, t.Name.size());
    for (const TTargetSettings& t : targets) {
        const std::string kind = KindName(t);
        out << t.Name << std::string(width - t.Name.size() + 2, ' ') << kind
            << std::string(kind.size() < 8 ? 8 - kind.size() : 1, ' ') << TargetWhere(t);
        if (HasFileOptions(TargetOf(t))) out << "  " << FileSummary(list, TargetOf(t));
        if (!t.Enabled) out << "  (disabled)";
        if (!t.CheckUrl.empty()) out << "  check " << t.CheckUrl << " as " << t.CheckUser;
        out << "\n";
    }
}

// The options of a server or a store (not --file, --url, the site check or the state).
bool ChangesServerOnly(const TArgs& args) {
    for (const char* name :
         {"login", "owner", "password-stdin", "no-password", "passive", "active", "key", "host-key",
          "add-host-key", "remove-host-key", "clear-host-keys", "tls-pin", "ca-file"}) {
        if (args.Has(name)) return true;
    }
    return false;
}

bool ChangesServer(const TArgs& args) {
    for (const char* name :
         {"login", "owner", "password-stdin", "no-password", "passive", "active", "key", "host-key",
          "add-host-key", "remove-host-key", "clear-host-keys", "tls-pin", "ca-file", "check-url",
          "check-user", "enable", "disable"}) {
        if (args.Has(name)) return true;
    }
    return false;
}

// --login and --password-stdin / --no-password, for a server and a store alike. A store may do
// without a login (SQLite, a PostgreSQL login by ~/.pgpass); a server may not.
void SetLoginAndPassword(TTargetSettings& list, const TArgs& args, TCliStreams& io,
                         bool loginRequired) {
    if (const auto login = args.Value("login")) {
        if ((loginRequired && login->empty()) || !SafeForServer(*login))
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

// --option KEY=VALUE, as often as needed: any option the target's kind reads, by the name the
// target keeps it under (the kind says which, and what a value must look like). Applying them
// twice changes nothing, so each step that sets an address applies them before its own checks.
void SetGivenOptions(TTargetSettings& settings, const TArgs& args) {
    const std::vector<std::string> given = args.Values("option");
    if (given.empty()) return;
    TTarget target = TargetOf(settings);
    for (const std::string& option : given) {
        const std::size_t eq = option.find('=');
        if (eq == std::string::npos || eq == 0)
            throw EUsage("--option takes KEY=VALUE (" + option + ")");
        try {
            SetTargetOption(target, option.substr(0, eq), option.substr(eq + 1));
        } catch (const EQuorvaneError& e) {
            throw EUsage(EnglishText(e.Message()));
        }
    }
    settings = SettingsOf(target);
}

// The options of a server or a store spelled as options of their own (--passive, --key,
// --tls-pin, ...): set through the target's kind, which refuses those it does not read; what
// only this machine can tell (a file that is not there) is checked here.
void SetSpelledOptions(TTargetSettings& settings, const TArgs& args) {
    TTarget target = TargetOf(settings);
    const auto set = [&](std::string_view key, std::string value) {
        try {
            SetTargetOption(target, key, std::move(value));
        } catch (const EQuorvaneError& e) {
            throw EUsage(EnglishText(e.Message()));
        }
    };
    if (args.Has("passive")) set("passive", "yes");
    if (args.Has("active")) set("passive", "no");
    const auto file = [&](const char* name, std::string_view key, const char* what) {
        const auto path = args.Value(name);
        if (!path) return;
        set(key, *path);
        if (!path->empty() && !FileExists(*path))
            throw ECliError(std::string("The ") + what + " " + *path + " does not exist");
    };
    file("key", "key-file", "key file");
    file("ca-file", "ca-file", "certificate file");
    if (const auto pin = args.Value("tls-pin")) set("tls-pin", *pin);
    const auto hostKey = args.Value("host-key");
    const auto addHostKey = args.Value("add-host-key");
    const auto removeHostKey = args.Value("remove-host-key");
    if (hostKey && addHostKey)
        throw EUsage("--host-key replaces the trusted keys and --add-host-key adds one; give one "
                     "of them");
    if (hostKey || addHostKey || removeHostKey || args.Has("clear-host-keys")) {
        for (const auto& key : {hostKey, addHostKey, removeHostKey})
            if (key && !ValidHostKeyFingerprint(*key))
                throw EUsage("a host key is a fingerprint as ssh-keygen -l shows it: SHA256:...");
        TTargetSettings keys = SettingsOf(target);
        if (args.Has("clear-host-keys")) SetStoredHostKeys(keys, {});
        // After a key rotation the old key must not stay trusted beside the new one.
        if (hostKey) SetStoredHostKeys(keys, {*hostKey});
        if (addHostKey) AddStoredHostKey(keys, *addHostKey);
        if (removeHostKey && !RemoveStoredHostKey(keys, *removeHostKey))
            throw ECliError("The host key " + *removeHostKey + " is not among the trusted ones");
        set("host-keys", keys.FtpHostKeys);
    }
    settings = SettingsOf(target);
}

// A table or a directory: the address, the login and password of the server (none for SQLite),
// and the owner that marks this database's rows and entries there (a new one of its own unless
// given: --owner takes over those of another database, after a restore say).
void SetStore(TTargetSettings& list, const std::string& url, const TArgs& args, TCliStreams& io) {
    list.ExportToFile = false;
    if (const auto owner = args.Value("owner")) {
        if (owner->empty() || !SafeForServer(*owner))
            throw EUsage("--owner needs a name without a line break or NUL");
        list.StoreOwner = *owner;
    }
    SetStoreUrl(list, url, SecureRandom());
    SetLoginAndPassword(list, args, io, false);
    SetGivenOptions(list, args);
    SetSpelledOptions(list, args);
}

void SetServer(TTargetSettings& list, const TArgs& args, TCliStreams& io) {
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
    SetLoginAndPassword(list, args, io, true);
    SetGivenOptions(list, args);
    SetSpelledOptions(list, args);
    if (list.FtpUser.empty()) throw EUsage("the server needs a login; give --login");
    if (ProtocolFromStoredName(list.FtpProtocol) == TTransferProtocol::Ftp) {
        io.Err << "quorvane-cli: warning: plain FTP sends the password and the password file "
                  "in clear; use ftpes://, ftps:// or sftp:// where the server offers it\n";
    }
}

bool ChangesFile(const TArgs& args) {
    for (const std::string_view key : TargetFileOptions())
        if (args.Has(std::string(key))) return true;
    return false;
}

bool ChangesTarget(const TArgs& args) {
    return args.Has("url") || args.Has("file") || args.Has("option") || ChangesServer(args) ||
           ChangesFile(args);
}

// --consumer, --format, --cost, ...: what the target's file is and what is done with it once
// written, checked against the target's kind before anything is stored (an empty value takes
// the option away).
void ApplyFileOptions(const TUserList& list, TTargetSettings& target, const TArgs& args) {
    TTarget value = TargetOf(target);
    for (const std::string_view key : TargetFileOptions())
        if (const auto given = args.Value(std::string(key))) value.SetOption(key, *given);
    TargetFileOf(list, value);
    target = SettingsOf(value);
}

// --file, or --url and the server's options; --check-url and --check-user; --enable, --disable.
void ApplyOptions(TTargetSettings& target, const TArgs& args, TCliStreams& io) {
    const bool setFile = args.Has("file");
    if (setFile && (args.Has("url") || ChangesServerOnly(args)))
        throw EUsage("--file and the server options exclude each other");
    if (args.Has("enable") && args.Has("disable"))
        throw EUsage("--enable and --disable exclude each other");
    if (setFile) {
        const std::string file = *args.Value("file");
        if (file.empty()) throw EUsage("--file needs a file name");
        target.ExportToFile = true;
        target.PassFile = file;
    } else if (args.Has("url") || ChangesServerOnly(args)) {
        SetServer(target, args, io);
    }
    if (const auto url = args.Value("check-url")) {
        if (!url->empty() && url->rfind("http://", 0) != 0 && url->rfind("https://", 0) != 0)
            throw EUsage("--check-url takes an http:// or https:// address");
        if (!SafeForServer(*url)) throw EUsage("--check-url holds a line break or NUL");
        target.CheckUrl = *url;
    }
    if (const auto user = args.Value("check-user")) {
        if (!SafeForServer(*user)) throw EUsage("--check-user holds a line break or NUL");
        target.CheckUser = *user;
    }
    if (target.CheckUrl.empty() != target.CheckUser.empty())
        throw EUsage("a site check needs both --check-url and --check-user");
    if (args.Has("enable")) target.Enabled = true;
    if (args.Has("disable")) target.Enabled = false;
    SetGivenOptions(target, args);
}

// A name for a new target, or for one renamed: not empty, printable, not taken.
void CheckNewName(const TUserList& list, const std::string& name) {
    if (name.empty() || name[0] == '-' || name.find_first_of(" \t:,") != std::string::npos ||
        !SafeForServer(name))
        throw EUsage("a target's name is a word without blanks, \":\" or \",\" (" + name + ")");
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 32) throw EUsage("a target's name is a printable word");
    if (FindTarget(list, name) >= 0)
        throw ECliError("The database has a target named " + name + " already");
}

int TargetIndex(const TUserList& list, const std::string& name) {
    const int index = FindTarget(list, name);
    if (index < 0)
        throw ECliError("The database has no target named " + name + "; see quorvane-cli target " +
                        "DB");
    return index;
}

TTargetSettings TargetAt(const TUserList& list, int index) {
    return SettingsOf(list.Targets[static_cast<std::size_t>(index)]);
}

void SetTargetAt(TUserList& list, int index, const TTargetSettings& target) {
    list.Targets[static_cast<std::size_t>(index)] = TargetOf(target);
}

int CmdTarget(const TArgs& args, TCliStreams& io) {
    if (args.Positional().empty()) throw EUsage("missing argument");
    const std::string& path = args.Positional()[0];
    const std::string action = args.Positional().size() > 1 ? args.Positional()[1] : "";
    if (action == "add") {
        args.ExpectPositional(3);
        const std::string& name = args.Positional()[2];
        if (!args.Has("file") && !args.Has("url")) throw EUsage("add needs --file or --url");
        TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
        TUserList& list = db.List();
        CheckNewName(list, name);
        TTargetSettings target;
        target.Name = name;
        target.FtpProtocol.clear();
        ApplyOptions(target, args, io);
        ApplyFileOptions(list, target, args);
        std::vector<TTargetSettings> targets = ListTargets(list);
        targets.push_back(target);
        CheckTargetChange(ListTargets(list), targets);
        list.Targets.push_back(TargetOf(target));
        db.Save(io.Err);
        PrintDetails(target, true, io.Out);
        PrintFile(list, TargetOf(target), io.Out);
        return kExitOk;
    }
    if (action == "remove" || action == "rename") {
        args.ExpectPositional(action == "remove" ? 3 : 4);
        if (ChangesTarget(args) || args.Has("target"))
            throw EUsage(action + " takes no target options");
        TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
        TUserList& list = db.List();
        const int index = TargetIndex(list, args.Positional()[2]);
        if (action == "remove") {
            if (list.Targets.size() == 1)
                throw ECliError("The database's only target cannot be removed; change it with "
                                "--file or --url");
            RemoveTarget(list, index);
        } else {
            const std::string& name = args.Positional()[3];
            CheckNewName(list, name);
            TTargetSettings target = TargetAt(list, index);
            target.Name = name;
            SetTargetAt(list, index, target);
        }
        db.Save(io.Err);
        PrintTable(list, io.Out);
        return kExitOk;
    }
    if (!action.empty()) {
        if (action == "set" || args.Positional().size() > 2)
            throw EUsage("unexpected argument " + args.Positional()[1]);
        throw EUsage("unknown action " + action + " (add, remove or rename)");
    }
    const auto name = args.Value("target");
    if (!ChangesTarget(args)) {
        TDatabaseSession db(path, TDatabaseSession::TAccess::Read);
        const TUserList& list = db.List();
        if (name) {
            const int index = TargetIndex(list, *name);
            PrintDetails(TargetAt(list, index), true, io.Out);
            PrintFile(list, list.Targets[static_cast<std::size_t>(index)], io.Out);
        } else if (list.Targets.size() == 1) {
            PrintDetails(FirstTarget(list), list.Targets.front().Name != KFirstTargetName, io.Out);
            PrintFile(list, list.Targets.front(), io.Out);
        } else
            PrintTable(list, io.Out);
        return kExitOk;
    }
    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    const int index = name ? TargetIndex(list, *name) : 0;
    TTargetSettings target = TargetAt(list, index);
    ApplyOptions(target, args, io);
    ApplyFileOptions(list, target, args);
    std::vector<TTargetSettings> targets = ListTargets(list);
    targets[static_cast<std::size_t>(index)] = target;
    CheckTargetChange(ListTargets(list), targets);
    SetTargetAt(list, index, target);
    db.Save(io.Err);
    PrintDetails(target, list.Targets.size() > 1, io.Out);
    PrintFile(list, TargetOf(target), io.Out);
    return kExitOk;
}

} // namespace

TCommand TargetCommand() {
    return {
        "target",
        "DB [add NAME | --target NAME] [--file PATH | --url URL [--login L] [--password-stdin | "
        "--no-password] [--owner NAME] [--passive | --active] [--key FILE] [--host-key "
        "SHA256:... | --add-host-key SHA256:...] [--remove-host-key SHA256:...] "
        "[--clear-host-keys] [--tls-pin sha256//...] [--ca-file PATH]] [--check-url URL "
        "--check-user LOGIN] [--consumer PROGRAM] [--format FORM] [--cost N | --rounds N] "
        "[--realm REALM] [--line-ends lf|crlf] [--mode 0640] [--group GROUP] [--after COMMAND] "
        "[--option KEY=VALUE]... [--enable | --disable] | DB remove NAME | DB rename OLD NEW",
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
        "  postgresql://[user@]host[:port]/database[?sslmode=...]  TLS with the server's\n"
        "                                  certificate checked (verify-full) unless\n"
        "                                  sslmode asks for less\n"
        "  ldap://host[:port]/BASE-DN      LDAP with StartTLS (required)\n"
        "  ldaps://host[:port]/BASE-DN     LDAP over TLS\n"
        "--login is the PostgreSQL user or the LDAP bind DN, --password-stdin its password\n"
        "(an address holding a password is refused: it would be shown with the address);\n"
        "--owner names the mark of this database's rows or entries there (a new one is made\n"
        "otherwise). The database is saved.\n"
        "A database may export to several targets (several web servers, a staging copy):\n"
        "\"target DB add NAME\" with --file or --url and the options above adds one, \"remove\n"
        "NAME\" and \"rename OLD NEW\" take one away or rename it, and --target NAME shows or\n"
        "changes that one (without it, the first, named \"default\" unless renamed). With\n"
        "several, \"target DB\" lists name, kind and where of each. An export goes to every\n"
        "enabled target, all or nothing (--disable leaves a target out until --enable).\n"
        "--check-url URL --check-user LOGIN make each export ask that page, as that user of\n"
        "the database, whether the new file lets it in; a refusal fails the export of that\n"
        "target (see the check command).\n"
        "A file target (local or on a server) may be for another program than the web\n"
        "servers: --consumer names it (htpasswd, the default; digest, caddy, haproxy,\n"
        "registry, prometheus, mosquitto, dovecot, pam-pwdfile, radicale, traefik,\n"
        "kubernetes, authelia), and the file is written in its syntax and in a form it\n"
        "reads. --format chooses the form (the program's default otherwise; without a\n"
        "program, the database's), --cost (bcrypt) or --rounds (SHA-crypt) its work\n"
        "factor, --realm the Digest realm, --line-ends the line ends. HAProxy's userlist\n"
        "and the Kubernetes Secret are named after the target. --mode 0640 and --group\n"
        "GROUP set the written file's permission bits and group (the group on a local\n"
        "file only, the mode also over SFTP); --after COMMAND runs once every target holds\n"
        "its new file, beside a local file or over the SFTP connection (\"systemctl reload\n"
        "haproxy\"); its failure fails that target. An empty value takes an option away.\n"
        "Each form is hashed once per export, however many targets use it.\n"
        "--option KEY=VALUE sets any option the target's kind reads, by the name the\n"
        "target keeps it under (the options above are its spellings): user, keep-password,\n"
        "passive, tls-pin, ca-file, key-file, host-keys (blank-separated) for a server,\n"
        "user, keep-password, owner for a store, and consumer, format, cost, rounds, realm,\n"
        "line-ends, mode, group, after for a file. An option the kind does not read is\n"
        "refused with the ones it does; passwords are never given as options.\n",
        {"file",    "url",     "login",  "key",    "host-key",  "add-host-key", "remove-host-key",
         "tls-pin", "ca-file", "owner",  "target", "check-url", "check-user",   "consumer",
         "format",  "cost",    "rounds", "realm",  "line-ends", "mode",         "group",
         "after",   "option"},
        {"password-stdin", "no-password", "passive", "active", "clear-host-keys", "enable",
         "disable"},
        CmdTarget};
}

} // namespace quorvane::cli
