#include "cli/CliCommand.h"

#include "base/Random.h"
#include "ftp/ServerTarget.h"
#include "job/Deployment.h"
#include "job/JobTexts.h"
#include "job/TargetFile.h"
#include "job/TargetKind.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <ostream>

namespace quorvane::cli {

namespace {

// The target's kind, then what the kind shows of it.
void PrintTarget(const TTarget& target, std::ostream& out) {
    const ITargetKind& kind = KindOf(target);
    out << "kind: " << kind.Name() << "\n";
    for (const TTargetDetail& detail : kind.Details(target))
        out << detail.Label << ": " << detail.Value << "\n";
}

// A target as today's single target showed it, then its name, state and site check when it is
// one of several or has them.
void PrintDetails(const TTarget& target, bool several, std::ostream& out) {
    if (several) out << "name: " << target.Name << "\n";
    PrintTarget(target, out);
    if (several || !target.Enabled) out << "enabled: " << (target.Enabled ? "yes" : "no") << "\n";
    if (!target.Option("check-url").empty())
        out << "check url: " << target.Option("check-url") << "\n";
    if (!target.Option("check-user").empty())
        out << "check user: " << target.Option("check-user") << "\n";
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

std::string KindName(const TTarget& target) {
    const ITargetKind* kind = FindKind(target);
    return kind != nullptr ? std::string(kind->Name()) : "?";
}

// One line per target: name, kind, where it writes, and whether an export leaves it out.
void PrintTable(const TUserList& list, std::ostream& out) {
    std::size_t width = 4;
    for (const TTarget& t : list.Targets)
        width = std::max(width, t.Name.size());
    for (const TTarget& t : list.Targets) {
        const std::string kind = KindName(t);
        out << t.Name << std::string(width - t.Name.size() + 2, ' ') << kind
            << std::string(kind.size() < 8 ? 8 - kind.size() : 1, ' ')
            << TargetWhere(SettingsOf(t));
        if (HasFileOptions(t)) out << "  " << FileSummary(list, t);
        if (!t.Enabled) out << "  (disabled)";
        if (!t.Option("check-url").empty())
            out << "  check " << t.Option("check-url") << " as " << t.Option("check-user");
        out << "\n";
    }
}

// What the target logs in with and how it reaches its place, spelled as options of their own
// (not --file, --url, the site check or the state).
bool ChangesKindOptions(const TArgs& args) {
    for (const char* name :
         {"login", "owner", "password-stdin", "no-password", "passive", "active", "key", "host-key",
          "add-host-key", "remove-host-key", "clear-host-keys", "tls-pin", "ca-file", "option"}) {
        if (args.Has(name)) return true;
    }
    return false;
}

bool ChangesFile(const TArgs& args) {
    for (const std::string_view key : TargetFileOptions())
        if (args.Has(std::string(key))) return true;
    return false;
}

bool ChangesTarget(const TArgs& args) {
    for (const char* name : {"url", "file", "check-url", "check-user", "enable", "disable"})
        if (args.Has(name)) return true;
    return ChangesKindOptions(args) || ChangesFile(args);
}

// One option set through the target's kind, which refuses one it does not read.
void SetOption(TTarget& target, std::string_view key, std::string value) {
    try {
        SetTargetOption(target, key, std::move(value));
    } catch (const EQuorvaneError& e) {
        throw EUsage(EnglishText(e.Message()));
    }
}

// --login, --owner and --password-stdin / --no-password, for every kind that reads them.
void SetLoginAndPassword(TTarget& target, const TArgs& args, TCliStreams& io) {
    if (const auto login = args.Value("login")) {
        if (!SafeForServer(*login)) throw ECliError("The login must not hold a line break or NUL");
        SetOption(target, "user", *login);
    }
    if (const auto owner = args.Value("owner")) {
        if (owner->empty() || !SafeForServer(*owner))
            throw EUsage("--owner needs a name without a line break or NUL");
        SetOption(target, "owner", *owner);
    }
    if (!args.Has("password-stdin") && !args.Has("no-password")) return;
    const ITargetKind& kind = KindOf(target);
    if (!kind.Secret(target).TakesSecret)
        throw EUsage(EnglishText(Msg(texts::TargetPrefixed, target.Name,
                                     Msg(texts::TargetTakesNoSecret, std::string(kind.Name())))));
    std::string password;
    if (args.Has("password-stdin")) {
        password = ReadSecretLine(io.In);
        if (!SafeForServer(password))
            throw ECliError("The password must not hold a line break or NUL");
    }
    target.SetOption("keep-password", password.empty() ? "no" : "");
    target.SetOption("password", std::move(password));
}

// --option KEY=VALUE, as often as needed: any option the target's kind reads, by the name the
// target keeps it under (the kind says which, and what a value must look like).
void SetGivenOptions(TTarget& target, const TArgs& args) {
    for (const std::string& option : args.Values("option")) {
        const std::size_t eq = option.find('=');
        if (eq == std::string::npos || eq == 0)
            throw EUsage("--option takes KEY=VALUE (" + option + ")");
        SetOption(target, option.substr(0, eq), option.substr(eq + 1));
    }
}

// The options of a server or a store spelled as options of their own (--passive, --key,
// --tls-pin, ...): set through the target's kind, which refuses those it does not read; what
// only this machine can tell (a file that is not there) is checked here.
void SetSpelledOptions(TTarget& target, const TArgs& args) {
    if (args.Has("passive")) SetOption(target, "passive", "yes");
    if (args.Has("active")) SetOption(target, "passive", "no");
    const auto file = [&](const char* name, std::string_view key, const char* what) {
        const auto path = args.Value(name);
        if (!path) return;
        SetOption(target, key, *path);
        if (!path->empty() && !FileExists(*path))
            throw ECliError(std::string("The ") + what + " " + *path + " does not exist");
    };
    file("key", "key-file", "key file");
    file("ca-file", "ca-file", "certificate file");
    if (const auto pin = args.Value("tls-pin")) SetOption(target, "tls-pin", *pin);
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
        SetOption(target, "host-keys", keys.FtpHostKeys);
    }
}

// --consumer, --format, --cost, ...: what the target's file is and what is done with it once
// written, checked against the target's kind before anything is stored (an empty value takes
// the option away).
void ApplyFileOptions(const TUserList& list, TTarget& target, const TArgs& args) {
    for (const std::string_view key : TargetFileOptions())
        if (const auto given = args.Value(std::string(key))) target.SetOption(key, *given);
    TargetFileOf(list, target);
}

// --file or --url, taken in by the kind of the address; what the target logs in with and its
// kind's options; --check-url and --check-user; --enable, --disable.
void ApplyOptions(TTarget& target, const TArgs& args, TCliStreams& io) {
    for (const auto& [one, other] : {std::pair{"file", "url"},
                                     {"enable", "disable"},
                                     {"password-stdin", "no-password"},
                                     {"passive", "active"}}) {
        if (args.Has(one) && args.Has(other))
            throw EUsage(std::string("--") + one + " and --" + other + " exclude each other");
    }
    if (const auto file = args.Value("file")) {
        if (file->empty()) throw EUsage("--file needs a file name");
        SetTargetAddress(target, FileUrl(*file), SecureRandom());
    } else if (const auto url = args.Value("url")) {
        SetTargetAddress(target, *url, SecureRandom());
    }
    SetLoginAndPassword(target, args, io);
    SetGivenOptions(target, args);
    SetSpelledOptions(target, args);
    if (args.Has("url") || ChangesKindOptions(args)) {
        const ITargetKind& kind = KindOf(target);
        for (const std::string& key : MissingTargetOptions(target))
            throw EUsage(
                EnglishText(Msg(texts::TargetPrefixed, target.Name,
                                Msg(texts::TargetOptionNeeded, std::string(kind.Name()), key))));
        if (const std::optional<TMessage> caution = kind.Caution(target))
            io.Err << "quorvane-cli: warning: " << EnglishText(*caution) << "\n";
    }
    if (const auto url = args.Value("check-url")) {
        if (!url->empty() && url->rfind("http://", 0) != 0 && url->rfind("https://", 0) != 0)
            throw EUsage("--check-url takes an http:// or https:// address");
        if (!SafeForServer(*url)) throw EUsage("--check-url holds a line break or NUL");
        target.SetOption("check-url", *url);
    }
    if (const auto user = args.Value("check-user")) {
        if (!SafeForServer(*user)) throw EUsage("--check-user holds a line break or NUL");
        target.SetOption("check-user", *user);
    }
    if (target.Option("check-url").empty() != target.Option("check-user").empty())
        throw EUsage("a site check needs both --check-url and --check-user");
    if (args.Has("enable")) target.Enabled = true;
    if (args.Has("disable")) target.Enabled = false;
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

// Stores the target at index (the end for a new one) once the targets together still work.
void StoreTarget(TUserList& list, std::size_t index, const TTarget& target) {
    std::vector<TTargetSettings> targets = ListTargets(list);
    targets.resize(std::max(targets.size(), index + 1));
    targets[index] = SettingsOf(target);
    CheckTargetChange(ListTargets(list), targets);
    list.Targets.resize(targets.size());
    list.Targets[index] = target;
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
        TTarget target;
        target.Name = name;
        ApplyOptions(target, args, io);
        ApplyFileOptions(list, target, args);
        StoreTarget(list, list.Targets.size(), target);
        db.Save(io.Err);
        PrintDetails(target, true, io.Out);
        PrintFile(list, target, io.Out);
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
            list.Targets[static_cast<std::size_t>(index)].Name = name;
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
            const TTarget& target =
                list.Targets[static_cast<std::size_t>(TargetIndex(list, *name))];
            PrintDetails(target, true, io.Out);
            PrintFile(list, target, io.Out);
        } else if (list.Targets.size() == 1) {
            PrintDetails(list.Targets.front(), list.Targets.front().Name != KFirstTargetName,
                         io.Out);
            PrintFile(list, list.Targets.front(), io.Out);
        } else
            PrintTable(list, io.Out);
        return kExitOk;
    }
    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    const auto index = static_cast<std::size_t>(name ? TargetIndex(list, *name) : 0);
    TTarget target = list.Targets[index];
    ApplyOptions(target, args, io);
    ApplyFileOptions(list, target, args);
    StoreTarget(list, index, target);
    db.Save(io.Err);
    PrintDetails(target, list.Targets.size() > 1, io.Out);
    PrintFile(list, target, io.Out);
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
