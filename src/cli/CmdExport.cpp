#include "cli/CliCommand.h"

#include "base/FileSafety.h"
#include "cli/HeapStart.h"
#include "cli/Json.h"
#include "cli/MasterPassword.h"
#include "cli/SecretFile.h"
#include "export/Consumers.h"
#include "export/ExportTexts.h"
#include "export/HashCache.h"
#include "export/HashOnlyUsers.h"
#include "export/HashSchemes.h"
#include "export/PasswordFile.h"
#include "ftp/ServerTarget.h"
#include "job/ExportJob.h"
#include "job/TargetFile.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <optional>
#include <ostream>

namespace quorvane::cli {

namespace {

// Disables the users at these places (ascending) as a file's users go by. The runs of users
// are not changed on the threads that read them: what those threads rendered of a million users
// would be left in their heaps for the export's peak.
struct TDisableAt : TUserStream {
    std::vector<int> At;
    std::size_t Next = 0;
    int Place = 0;
    void Begin(std::string_view) override {
        Next = 0; // a later collection of users replaces the one before
        Place = 0;
    }
    void User(TUserProp& user) override {
        if (Next < At.size() && At[Next] == Place) {
            user.Disable = true;
            ++Next;
        }
        ++Place;
    }
};

// SIGINT and SIGTERM once the upload has begun: the first one asks the export to stop (the
// transfer ends, the server's file stays as it was, the command fails); before that, or a second
// time, the signal has its usual effect.
volatile std::sig_atomic_t gInterrupted = 0;
std::atomic<bool> gUploading{false};
struct sigaction gPreviousInt {};
struct sigaction gPreviousTerm {};

void OnInterrupt(int sig) {
    if (gUploading.load() && gInterrupted == 0) {
        gInterrupted = sig;
        return;
    }
    // Delivered again once this handler returns, to the handler that was there before.
    ::sigaction(sig, sig == SIGINT ? &gPreviousInt : &gPreviousTerm, nullptr);
    ::raise(sig);
}

class TInterruptGuard {
public:
    TInterruptGuard() {
        gInterrupted = 0;
        gUploading = false;
        Install();
    }
    ~TInterruptGuard() {
        gUploading = false;
        Restore(SIGINT, gPreviousInt);
        Restore(SIGTERM, gPreviousTerm);
    }
    TInterruptGuard(const TInterruptGuard&) = delete;
    TInterruptGuard& operator=(const TInterruptGuard&) = delete;
    // Ours again on top of what was installed meanwhile (the temporary files' clean-up, which
    // must not remove the file being sent on the first signal; a second one still gets there).
    void UploadBegins() {
        Install();
        gUploading = true;
    }
    bool Interrupted() const { return gInterrupted != 0; }

private:
    static void Install() {
        struct sigaction act {};
        act.sa_handler = OnInterrupt;
        sigemptyset(&act.sa_mask);
        act.sa_flags = SA_RESTART;
        for (const int sig : {SIGINT, SIGTERM}) {
            struct sigaction current {};
            if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler == OnInterrupt)
                continue;
            ::sigaction(sig, &act, sig == SIGINT ? &gPreviousInt : &gPreviousTerm);
        }
    }

    // Only while ours is in place: a handler installed after it stays.
    static void Restore(int sig, const struct sigaction& previous) {
        struct sigaction current {};
        if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler == OnInterrupt)
            ::sigaction(sig, &previous, nullptr);
    }
};

// The export's progress on standard error, only on a terminal or when asked (--progress): the
// build's percentage rewritten in place on a terminal (a line for each new percentage
// otherwise), then each step of an upload on a line of its own. A dry run uploads nothing and
// says nothing of it.
class TCliExportListener {
public:
    TCliExportListener(std::ostream& err, std::ostream& raw, bool terminal, bool quiet,
                       bool progress, bool dryRun)
        : FErr(err), FRaw(raw), FTerminal(terminal), FShow((terminal || progress) && !quiet),
          FDryRun(dryRun) {}
    ~TCliExportListener() { EndLine(); }
    TCliExportListener(const TCliExportListener&) = delete;
    TCliExportListener& operator=(const TCliExportListener&) = delete;
    void Event(const TExportEvent& event) {
        if (!FShow) return;
        if (FDryRun && event.Stage == TExportStage::Uploading) return;
        const std::string text = EnglishText(ExportProgressMessage(event));
        if (event.Stage == TExportStage::Building) {
            if (!FTerminal) {
                if (text != FLast) FErr << text << "\n";
                FLast = text;
                return;
            }
            // Rewritten in place: the CR goes to the terminal as it is.
            FErr.flush();
            FRaw << "\r" << text << std::flush;
            FShown = true;
            return;
        }
        EndLine();
        FErr << text << "\n";
    }
    void EndLine() {
        if (FShown) FErr << "\n";
        FShown = false;
    }

private:
    std::ostream& FErr;
    std::ostream& FRaw;
    bool FTerminal;
    bool FShow;
    bool FDryRun;
    bool FShown = false;
    std::string FLast;
};

// "90,000": a count as the summary lines write it.
std::string CountText(std::size_t n) {
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

// Says on standard error which users the file lets nobody in as; with quiet, how many.
void ReportCommentLogins(const std::vector<std::string>& logins, TCliStreams& io, bool quiet) {
    if (quiet && !logins.empty()) {
        io.Err << "quorvane-cli: warning: " << logins.size()
               << (logins.size() == 1 ? " login starts" : " logins start")
               << " with \"#\"; web servers read such lines as comments\n";
        return;
    }
    for (const std::string& login : logins)
        io.Err << "quorvane-cli: warning: the login \"" << EscapeForOneLine(login)
               << "\" starts with \"#\"; web servers read its line as a comment, so this user "
                  "cannot log in\n";
}

// A server this program does not trust yet: how to trust it, once checked.
std::string TrustHint(const TExportResult& result, const std::string& dbPath) {
    const auto& identity = result.Identity;
    if (!identity.Changed && !identity.Fingerprint.empty())
        return "\nTo trust it: quorvane-cli target " + dbPath + " --host-key " +
               identity.Fingerprint;
    if (!identity.Changed && !identity.PublicKeyPin.empty())
        return "\nTo trust it: quorvane-cli target " + dbPath + " --tls-pin " +
               identity.PublicKeyPin;
    return {};
}

// The result as one JSON document: what was written where, who was left out and why, what needs
// the administrator's attention.
std::string ExportJson(const TExportResult& result) {
    std::string out = "{\n  \"target\": " + JsonString(result.Target);
    out += ",\n  \"written\": " + std::to_string(result.Written);
    out += ",\n  \"disabled\": " + std::to_string(result.Disabled);
    out += ",\n  \"expired\": " + std::to_string(result.Expired);
    out += ",\n  \"group_file\": ";
    out += result.GroupFile.empty() ? "null" : JsonString(result.GroupFile);
    out += ",\n  \"groups\": " + std::to_string(result.Groups);
    out += ",\n  \"comment_logins\": [";
    for (size_t i = 0; i < result.CommentLogins.size(); ++i)
        out += (i == 0 ? "" : ", ") + JsonString(result.CommentLogins[i]);
    out += "],\n  \"namesakes\": [";
    for (size_t i = 0; i < result.Namesakes.size(); ++i)
        out += (i == 0 ? "" : ", ") + JsonString(EnglishText(result.Namesakes[i]));
    out += "],\n  \"weak_hashes\": [";
    for (size_t i = 0; i < result.WeakUsers.size(); ++i) {
        const TUserProp& user = *result.WeakUsers[i];
        out += (i == 0 ? "" : ", ");
        out += "{\"login\": " + JsonString(user.Login) +
               ", \"scheme\": " + JsonString(StoredSchemeName(UserHashScheme(user))) + "}";
    }
    out += "],\n  \"warnings\": [";
    for (size_t i = 0; i < result.Warnings.size(); ++i)
        out += (i == 0 ? "" : ", ") + JsonString(EnglishText(result.Warnings[i]));
    out += "]\n}\n";
    return out;
}

const char* ChangeMark(TUserChangeKind kind) {
    switch (kind) {
    case TUserChangeKind::Added:
        return "+";
    case TUserChangeKind::Removed:
        return "-";
    case TUserChangeKind::Changed:
        return "~";
    }
    return "?";
}

std::string ChangesJson(const TUserChanges& changes) {
    std::string text = "[";
    for (size_t i = 0; i < changes.List.size(); ++i) {
        const TUserChange& change = changes.List[i];
        text += std::string(i == 0 ? "" : ",") + "{\"change\":\"" + ChangeMark(change.Kind) +
                "\",\"login\":" + JsonString(change.Login) + "}";
    }
    return text + "]";
}

// What --dry-run prints: each user the export would add, remove or give a new hash, then the
// counts; or the same as one JSON document on one line, which for one of several targets begins
// with that target's name and where it writes.
void PrintPreview(const TTargetCheck& check, bool json, TCliStreams& io,
                  const TTargetOutcome* of = nullptr) {
    if (json) {
        const TUserChanges& p = check.Preview;
        const std::string named = of == nullptr ? std::string()
                                                : "\"name\":" + JsonString(of->Name) +
                                                      ",\"where\":" + JsonString(of->Where) + ",";
        WriteOutput(io, "{" + named + "\"target\":" + JsonString(check.Target) +
                            ",\"exists\":" + (check.Current.Exists ? "true" : "false") +
                            ",\"changes\":" + ChangesJson(p) + ",\"added\":" +
                            std::to_string(p.Added) + ",\"removed\":" + std::to_string(p.Removed) +
                            ",\"changed\":" + std::to_string(p.Changed) +
                            ",\"changedThere\":" + ChangesJson(check.Outside) +
                            ",\"otherLinesThere\":" + std::to_string(check.OtherLines) +
                            ",\"wouldStop\":" + (check.Stops ? "true" : "false") + "}\n");
        return;
    }
    WriteOutput(io, ChangeListText(check.Preview));
}

// Why nothing was replaced, on standard error.
void ReportStop(const TTargetCheck& check, TCliStreams& io) {
    io.Err << "quorvane-cli: " << EnglishText(TargetStoppedMessage(check)) << "\n"
           << IndentedLines(OutsideChangesMessages(check));
}

// The targets an export goes to when it is more than the database's one target as always:
// those --target names, in the order given, or every enabled one; a database with one target,
// enabled and without a site check, exports to it.
std::vector<TTargetSettings> ChosenTargets(const TUserList& list, const TArgs& args) {
    const std::vector<std::string> names = args.Values("target");
    // A site check is asked for by the export to several targets alone.
    const TTargetSettings first = FirstTarget(list);
    if (names.empty() && list.Targets.size() == 1 && first.CheckUrl.empty() && first.Enabled)
        return {first};
    std::vector<TTargetSettings> chosen;
    if (names.empty()) {
        chosen = DefaultTargets(list);
        if (chosen.empty())
            throw ECliError("Every target of the database is disabled; name one with --target");
    } else {
        const std::vector<TTargetSettings> all = ListTargets(list);
        for (const std::string& name : names) {
            const int index = FindTarget(list, name);
            if (index < 0)
                throw ECliError("The database has no target named " + name +
                                "; see quorvane-cli target DB");
            bool twice = false;
            for (const TTargetSettings& t : chosen)
                twice = twice || t.Name == name;
            if (!twice) chosen.push_back(all[static_cast<std::size_t>(index)]);
        }
    }
    return chosen;
}

const char* HoldsName(TTargetHolds holds) {
    switch (holds) {
    case TTargetHolds::Old:
        return "old";
    case TTargetHolds::New:
        return "new";
    case TTargetHolds::PutBack:
        return "put back";
    case TTargetHolds::Unknown:
        return "unknown";
    }
    return "unknown";
}

std::string OutcomesJson(const std::vector<TTargetOutcome>& outcomes) {
    std::string out = "[";
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const TTargetOutcome& o = outcomes[i];
        out += std::string(i == 0 ? "" : ", ") + "{\"name\": " + JsonString(o.Name) +
               ", \"where\": " + JsonString(o.Where) + ", \"holds\": \"" + HoldsName(o.Holds) +
               "\", \"ok\": " + (o.Succeeded() ? "true" : "false") +
               ", \"message\": " + JsonString(EnglishText(TargetOutcomeMessage(o))) + "}";
    }
    return out + "]";
}

} // namespace

namespace {

// The secret each target logs in with: the one given on standard input or in a file (read once,
// when a target takes one), or the stored one; refused by name where neither is there. `one`:
// the database's one target, named as such.
class TSecrets {
public:
    TSecrets(const TArgs& args, TCliStreams& io, bool one) : FIo(io), FOne(one) {
        FFile = args.Value("server-password-file");
        FStdin = args.Has("ftp-password-stdin") || args.Has("server-password-stdin");
        if (FStdin && FFile)
            throw EUsage("give the server password on standard input or in a file, not both");
    }
    std::string For(const TTarget& t) {
        const TTargetSecret secret = TargetSecretOf(t);
        if (secret.TakesSecret && (FStdin || FFile)) {
            if (!FGiven) FGiven = FFile ? ReadSecretFile(*FFile) : ReadSecretLine(FIo.In);
            return *FGiven;
        }
        const std::string of = FOne ? std::string() : " of target " + t.Name;
        if (secret.Ask == TTargetSecret::TAsk::Passphrase)
            throw ECliError("The key file " + t.Option("key-file") + of +
                            " is protected by a passphrase; give it with "
                            "--server-password-stdin");
        if (secret.Ask == TTargetSecret::TAsk::Password)
            throw ECliError(FOne ? "The database stores no server password; give it with "
                                   "--server-password-stdin (or --ftp-password-stdin)"
                                 : "The target " + t.Name +
                                       " stores no server password; give it with "
                                       "--server-password-stdin");
        return secret.Stored;
    }

private:
    TCliStreams& FIo;
    bool FOne;
    std::optional<std::string> FFile;
    bool FStdin = false;
    std::optional<std::string> FGiven;
};

} // namespace

std::vector<TDeployTarget> TargetSecrets(const std::vector<TTargetSettings>& targets,
                                         const TArgs& args, TCliStreams& io, bool one) {
    TSecrets secrets(args, io, one);
    std::vector<TDeployTarget> result;
    for (const TTargetSettings& t : targets) {
        TDeployTarget target{t, {}};
        target.Secret = secrets.For(target.Target);
        result.push_back(std::move(target));
    }
    return result;
}

namespace {

// What an export to several targets did: a line for each target, then the advice its outcome
// calls for; 0 only when every target holds the new file.
int ReportSeveral(const TExportResult& result, const std::string& path, bool dryRun, bool json,
                  bool quiet, TCliStreams& io) {
    if (dryRun) {
        // A target that could not be read is said, and the others shown all the same; the
        // status tells that not every one was compared.
        bool compared = true;
        for (const TTargetOutcome& o : result.Outcomes) {
            if (!o.Check) {
                io.Err << "quorvane-cli: " << EnglishText(TargetOutcomeMessage(o)) << "\n";
                compared = false;
                continue;
            }
            if (o.Check->Stops)
                io.Err << "quorvane-cli: warning: " << o.Name << ": "
                       << EnglishText(TargetChangedMessage(*o.Check))
                       << "; an export would stop there\n"
                       << IndentedLines(OutsideChangesMessages(*o.Check));
            if (!json) WriteOutput(io, "== " + o.Name + " (" + o.Where + ")\n");
            PrintPreview(*o.Check, json, io, &o);
        }
        return compared ? kExitOk : kExitFailure;
    }
    for (const TTargetOutcome& o : result.Outcomes) {
        io.Err << "quorvane-cli: " << EnglishText(TargetOutcomeMessage(o)) << "\n";
        if (o.Stopped && o.Check) io.Err << IndentedLines(OutsideChangesMessages(*o.Check));
        if (!o.CheckError.Empty())
            io.Err << "To put the previous file back: quorvane-cli restore " << path << " --target "
                   << o.Name << "\n";
        if (!o.Identity.Changed && !o.Identity.Fingerprint.empty())
            io.Err << "To trust it: quorvane-cli target " << path << " --target " << o.Name
                   << " --host-key " << o.Identity.Fingerprint << "\n";
        else if (!o.Identity.Changed && !o.Identity.PublicKeyPin.empty())
            io.Err << "To trust it: quorvane-cli target " << path << " --target " << o.Name
                   << " --tls-pin " << o.Identity.PublicKeyPin << "\n";
    }
    PrintWarnings(io.Err, result.Warnings);
    PrintWarnings(io.Err, result.Namesakes);
    if (json) {
        std::string text = ExportJson(result);
        text.insert(text.rfind("\n}"), ",\n  \"targets\": " + OutcomesJson(result.Outcomes));
        io.Out << text;
    }
    if (result.Done) {
        if (!quiet && !json)
            io.Err << "quorvane-cli: " << CountText(result.Written)
                   << (result.Written == 1 ? " user" : " users") << " written to "
                   << result.Outcomes.size() << " targets\n";
        return kExitOk;
    }
    if (result.Stopped)
        io.Err << "Give --overwrite to replace what changed there (the files there are kept: see "
                  "quorvane-cli restore), or --merge with --target NAME to take one target's "
                  "changes in first.\n";
    if (result.Aborted) throw ECliError(ExportAbortedMessage());
    return kExitFailure;
}

int CmdExport(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const bool quiet = args.Has("quiet");
    const bool json = args.Has("json");
    const std::string& path = args.Positional()[0];
    const bool merge = args.Has("merge"), overwrite = args.Has("overwrite");
    const bool dryRun = args.Has("dry-run");
    if (merge && overwrite) throw EUsage("--merge and --overwrite contradict each other");
    if (dryRun && (merge || overwrite))
        throw EUsage("--dry-run changes nothing; it does not go with --merge or --overwrite");
    // A plain database is read lean: its users without what no password file holds (comments,
    // and names unless a program the export writes for reads them), which a million users
    // would hold in memory for nothing. What the export saves goes to the file as it is
    // (SaveChanged, SaveWhole), never from this list; what needs names reads it again whole
    // (Reload).
    bool lean = !FileIsEncrypted(path);
    TLeanUsers leanUsers(false);
    // Held until the export is done: it may save the database, and two exports of one database
    // should not write the same password file at once.
    TDatabaseSession db(path, TDatabaseSession::TAccess::Update, lean ? &leanUsers : nullptr);
    TUserList& list = db.List();
    if (lean) leanUsers.Finish(list);
    if (db.Unlocked())
        PrintWarnings(io.Err, {"The database's folder is read-only: the database is read without "
                               "a lock file and nothing is saved to it"});

    TPasswordsType passType = list.PassType;
    // --consumer: the file for another program than a web server, in a form it reads.
    const TConsumer* consumer = nullptr;
    if (const auto name = args.Value("consumer")) consumer = &RequireConsumer(*name);
    const THashScheme* form = consumer ? &consumer->DefaultForm(list) : nullptr;
    if (const auto format = args.Value("format")) {
        form = consumer ? FormByCliName(*format) : SchemeByCliName(*format);
        if (!form) throw EUsage("--format takes " + SchemeCliNamesSentence());
    }
    if (form != nullptr && form->IsDatabaseForm()) passType = form->Id;
    if (args.Has("save-choice") && form != nullptr && !form->IsDatabaseForm())
        throw EUsage("--save-choice takes a form a database can choose: " +
                     SchemeCliNamesSentence());
    // The slow forms' work factor: --cost for bcrypt, --rounds for SHA-crypt; otherwise the one
    // the database stores.
    const THashScheme& scheme = form ? *form : SchemeOf(passType);
    TPasswordFileOptions base;
    base.Consumer = consumer;
    base.Form = form;
    base.Realm = args.Value("realm").value_or("");
    // A form no database can choose keeps no hashes in the database's state: the job's cache
    // there belongs to the database's form, which this export must not crowd out.
    THashCache oneOffCache;
    if (form != nullptr && !form->IsDatabaseForm()) base.Cache = &oneOffCache;
    // What the build tells besides the file (users whose taken-over values are in another form).
    std::vector<TMessage> buildWarnings;
    base.Warnings = &buildWarnings;
    for (const char* option : {"cost", "rounds"}) {
        if (!args.Has(option)) continue;
        if (scheme.Param == nullptr || scheme.Param->Name != option)
            throw EUsage(std::string("--") + option + " does not go with the " +
                         std::string(scheme.CliName) + " format");
        base.SchemeParam = ParseBoundedInt(args, option, scheme.Param->Default, scheme.Param->Min,
                                           scheme.Param->Max);
    }
    const auto storeChoices = [&] {
        // --save-choice makes the format and its work factor the database's stored choice.
        bool stored = false;
        if (args.Has("save-choice")) {
            stored = StoreSchemeChoice(
                list, passType, base.SchemeParam.value_or(StoredSchemeParam(list, passType)));
        }
        // --line-ends is the database's choice from now on (only LF is stored).
        if (const auto ends = args.Value("line-ends")) {
            if (*ends != "lf" && *ends != "crlf") throw EUsage("--line-ends takes lf or crlf");
            const bool lf = *ends == "lf";
            stored = stored || list.UnixLineEnds != lf;
            list.UnixLineEnds = lf;
        }
        // A stored slow form gets the key of its hash cache (beside the database) once.
        return EnsureHashCacheKey(list) || stored;
    };
    bool changed = storeChoices();
    // A choice to store, or names to write: the whole list, read again.
    if (lean && (changed || ExportReadsNames(list, consumer))) {
        db.Reload();
        lean = false;
        changed = storeChoices();
    }
    const auto output = args.Value("output");
    // A consumer's file goes to one file; the targets' own consumers come with their options.
    if (consumer != nullptr && !output)
        throw EUsage("--consumer writes one file: give --output FILE (\"-\": standard output)");
    if (output && args.Has("target")) throw EUsage("--output and --target exclude each other");
    const std::vector<TTargetSettings> chosen =
        output ? std::vector<TTargetSettings>() : ChosenTargets(list, args);
    const bool several = !output && ReportedPerTarget(list, chosen);
    if (several && merge && chosen.size() != 1)
        throw EUsage("--merge takes in the changes of one target; name it with --target");
    const std::vector<TDeployTarget> deployTargets =
        output ? std::vector<TDeployTarget>() : TargetSecrets(chosen, args, io, !several);
    const bool toStream = output && *output == "-";
    if (!output && !several && TargetOf(chosen.front()).Url.empty())
        throw ECliError("The database names no password file; give --output FILE");
    if (output && !toStream) CheckExportTarget(*output, path);
    if (json && toStream)
        throw EUsage("--json and a password file on standard output (--output -) contradict each "
                     "other");
    if (dryRun && toStream)
        throw EUsage("--dry-run compares with a file or a server; standard output is neither");
    if (merge && db.ReadOnly())
        throw ECliError("The database is read-only; --merge cannot take changes into it");

    TExportSettings settings;
    settings.PassType = passType;
    settings.Build = base;
    settings.Build.AllowEmptyPasswords = args.Has("allow-empty-passwords");
    settings.DatabasePath = path;
    if (toStream)
        settings.Stream = &io.Out;
    else if (output)
        settings.Targets = {{FileTarget(*output), {}}};
    else
        settings.Targets = deployTargets;
    settings.PerTarget = several;
    settings.Replace.DryRun = dryRun;
    settings.Replace.Outside = overwrite ? TOutsideChanges::Overwrite : TOutsideChanges::Stop;
    TExportJob job(list, std::move(settings));
    TCliExportListener listener(io.Err, io.RawErr != nullptr ? *io.RawErr : io.Err,
                                io.ErrIsTerminal, quiet, args.Has("progress"), dryRun);
    TInterruptGuard interrupts;
    job.OnEvent = [&listener, &interrupts](const TExportEvent& event) {
        if (event.Stage == TExportStage::Connecting) interrupts.UploadBegins();
        listener.Event(event);
    };

    // Nothing is saved for an export that cannot go where it is to go.
    job.CheckTargets();
    // Expired users are disabled first, so they are left out of the file; the database keeps
    // that change unless it is read-only.
    std::vector<bool> enabled;
    if (lean) {
        enabled.resize(static_cast<std::size_t>(list.Count()));
        for (int i = 0; i < list.Count(); ++i)
            enabled[static_cast<std::size_t>(i)] = !list.Users(i).Disable;
    }
    const int disabled = job.Sweep();
    if (dryRun) {
        // Nothing is written, the database included.
    } else if (disabled > 0 && db.ReadOnly())
        PrintWarnings(io.Err, {"The database is read-only; the expired users are left out of "
                               "the password file but stay enabled in the database"});
    else if (changed && db.ReadOnly() && (args.Has("save-choice") || args.Has("line-ends")))
        PrintWarnings(io.Err, {"The database is read-only; the choice is not stored"});
    else if ((disabled > 0 || changed) && !db.ReadOnly()) {
        if (lean) {
            // The users the sweep disabled, by their place, disabled in the file as it is.
            TDisableAt sweep;
            for (int i = 0; i < list.Count(); ++i)
                if (enabled[static_cast<std::size_t>(i)] && list.Users(i).Disable)
                    sweep.At.push_back(i);
            db.SaveChanged(sweep, io.Err);
        } else {
            db.Save(io.Err);
        }
        // The save read the whole file again (its pieces on other threads) and wrote it: the
        // build after it has no use for that memory.
        GiveBackFreedHeap();
    }
    enabled = {};

    auto run = [&] {
        buildWarnings.clear(); // a second run builds again
        try {
            job.Start();
            bool abortAsked = false;
            while (!job.Wait(std::chrono::milliseconds(50))) {
                if (!interrupts.Interrupted() || abortAsked) continue;
                abortAsked = true;
                listener.EndLine();
                if (!job.Abort())
                    io.Err << "quorvane-cli: the new file is already being put in place on the "
                              "server; waiting for it\n";
            }
            job.Wait();
        } catch (const EEmptyPasswords& e) {
            throw ECliError(std::string(e.what()) +
                            ". Nothing was written. Give these users passwords, or give "
                            "--allow-empty-passwords to export them as they are.");
        }
        listener.EndLine();
        const TExportResult& result = job.Result();
        if (several) return;
        if (!result.Error.Empty()) {
            const std::string hint = TrustHint(result, path);
            if (hint.empty()) throw ECliError(result.Error);
            throw ECliError(EnglishText(result.Error) + hint);
        }
    };
    run();
    if (job.Result().Stopped && merge && !job.Result().Aborted) {
        // The changes made there come into the database, which is saved before the export
        // replaces what it took them from.
        const TTargetCheck check = *job.Result().Check;
        io.Err << "quorvane-cli: " << check.Target << " changed since this database last wrote "
               << "it; taking in:\n"
               << IndentedLines(OutsideChangesMessages(check));
        TMergeResult merged;
        if (lean) {
            // Into the file as a whole first, then into the list the export builds from.
            db.SaveWhole([&check](TUserList& whole) { MergeOutsideChanges(whole, check); }, io.Err);
            merged = MergeOutsideChanges(list, check);
        } else {
            merged = MergeOutsideChanges(list, check);
            db.Save(io.Err);
        }
        io.Err << "quorvane-cli: " << EnglishText(MergeReportMessage(merged)) << "\n";
        job.Settings().Replace.AcceptedSha256 = check.CurrentSha256;
        run();
    }
    TExportResult result = job.Result();
    result.Warnings.insert(result.Warnings.begin(), buildWarnings.begin(), buildWarnings.end());
    // A daily run's mail gets the count of users in another form, not their names.
    if (quiet && !json)
        for (TMessage& warning : result.Warnings)
            if (warning.Is(texts::OtherFormsWarning) && warning.Parts.size() == 3)
                warning = TMessage(texts::OtherFormsCount, {warning.Parts[0], warning.Parts[1]});
    if (several) return ReportSeveral(result, path, dryRun, json, quiet, io);
    if (result.Aborted) throw ECliError(ExportAbortedMessage());
    if (result.Stopped) {
        ReportStop(*result.Check, io);
        io.Err << "Give --merge to take these changes into the database first, or --overwrite "
                  "to replace them (the file there is kept: see quorvane-cli restore).\n";
        return kExitFailure;
    }
    if (dryRun) {
        if (!result.Check) throw ECliError("Nothing to compare with");
        if (result.Check->Stops) {
            io.Err << "quorvane-cli: warning: " << EnglishText(TargetChangedMessage(*result.Check))
                   << "; an export would stop there\n"
                   << IndentedLines(OutsideChangesMessages(*result.Check));
        }
        PrintPreview(*result.Check, args.Has("json"), io);
        return kExitOk;
    }
    if (overwrite && result.Check && !result.Check->Outside.Empty()) {
        io.Err << "quorvane-cli: warning: replaced what changed there since this database last "
                  "wrote it (the old file is kept: see quorvane-cli restore):\n"
               << IndentedLines(OutsideChangesMessages(*result.Check));
    }
    PrintWarnings(io.Err, result.Warnings);
    PrintWarnings(io.Err, result.Namesakes);
    ReportCommentLogins(result.CommentLogins, io, quiet);
    // A daily run's mail should not name hundreds of users every day: with --quiet, a count.
    const std::vector<TMessage> weak = WeakHashMessages(result.WeakUsers);
    if (!weak.empty()) io.Err << (quiet ? EnglishLines({weak.front()}) : EnglishLines(weak));
    if (json) io.Out << ExportJson(result);
    // One line that says it is done, after whatever was said on the way.
    else if (!quiet) {
        // The weak hashes were named above already.
        TExportResult summary;
        summary.Written = result.Written;
        summary.Disabled = result.Disabled;
        summary.Expired = result.Expired;
        summary.Target = result.Target;
        io.Err << "quorvane-cli: " << EnglishText(ExportResultMessage(summary)) << "\n";
    }
    return kExitOk;
}

} // namespace

TCommand ExportCommand() {
    return {
        "export",
        "DB [--output FILE | --target NAME...] [--format " + SchemeCliNames("|") +
            "] [--cost N] [--rounds N] [--consumer NAME [--realm R]] [--save-choice] "
            "[--server-password-stdin | "
            "--server-password-file FILE] [--allow-empty-passwords] [--line-ends lf|crlf] "
            "[--merge | --overwrite | --dry-run] [--progress] [--quiet] [--json]",
        "write the password file, locally or to the server",
        "Disables expired users first (and saves the database when that changed it), then\n"
        "writes one line per enabled user. The target and the format are the database's\n"
        "export settings unless --output or --format say otherwise; --output always writes\n"
        "a local file (\"-\": standard output; a device or a pipe is written in place).\n"
        "The password file may not be the database itself. An upload to the stored server\n"
        "(see the target command: FTP, FTP over TLS, SFTP) goes up under a temporary name\n"
        "first and replaces the old file only when complete. The server password is the\n"
        "stored one, or the first line of standard input with --server-password-stdin\n"
        "(also --ftp-password-stdin), or the first line of FILE with\n"
        "--server-password-file, which only its owner may read (chmod 600 FILE: a file\n"
        "others may read or write is refused). For an SFTP key file that needs one, that\n"
        "line is its passphrase. A server whose certificate or host key is not trusted yet is "
        "refused;\n"
        "the error says how to trust it. Progress goes to standard error when it is a\n"
        "terminal, or with --progress; a successful export ends with one line there\n"
        "(\"57 users written to /srv/www/.htpasswd\"; none with --quiet or --json).\n"
        "Nothing is written when an enabled user's line would be unsafe (a login that is\n"
        "empty or holds \":\" or a control character, a plain-text password with a line\n"
        "break or NUL), nor, unless --allow-empty-passwords is given, when an enabled user\n"
        "has no password: anyone who knows such a login gets in. Logins starting with \"#\"\n"
        "are named on standard error: servers take their lines for comments.\n"
        "bcrypt takes --cost 4 to 17 (default 5), sha256 and sha512 --rounds 1000 to\n"
        "999999999 (default 5000); without them the database's stored value. With\n"
        "--save-choice the format and its cost or rounds become the database's stored\n"
        "choice. bcrypt and SHA-crypt hashes of users that did not change since the last\n"
        "export keep their hash in every form, so an unchanged database gives the same\n"
        "file; the hashes are remembered beside the database (.DB.state, mode 0600).\n"
        "Before a file or a server's file is replaced it is read and compared with what\n"
        "this database last wrote there. When it changed there since (or, written for the\n"
        "first time, holds users this database does not have), nothing is replaced: the\n"
        "users added, removed and changed there are named and the exit status is 1.\n"
        "--merge takes them into the database (as import-htpasswd does; users removed\n"
        "there are disabled), saves it and exports; --overwrite replaces the file anyway.\n"
        "Comments and blank lines there are reported, never counted. A pipe or a device\n"
        "is not compared. What is replaced is kept: the last 10 versions of each target\n"
        "(see the restore command).\n"
        "--dry-run compares and writes nothing: \"+ LOGIN\" for a user the export would add,\n"
        "\"- LOGIN\" for one it would remove, \"~ LOGIN\" for a new hash, then the counts;\n"
        "with --json one JSON document instead (to several targets one line each, with\n"
        "the target's name and where; one that cannot be read makes the status 1).\n"
        "Lines end with CR LF unless the database chose LF: --line-ends lf makes LF the\n"
        "database's choice from now on, --line-ends crlf takes it back.\n"
        "When users belong to groups, Apache's group file (\"group: user user ...\", the\n"
        "enabled users only) goes beside the password file as FILE.groups, or to the\n"
        "database's own group file (see the group command), right before the password file.\n"
        "--quiet prints nothing but errors and warnings, the users with weak hashes and\n"
        "logins starting with \"#\" as a count; --json (without --dry-run) prints the result\n"
        "on standard output as one JSON document: target, written, disabled, expired,\n"
        "group_file, groups, comment_logins, namesakes, weak_hashes [{login, scheme}],\n"
        "warnings.\n"
        "A database with several targets (see the target command) exports to every enabled\n"
        "one, or to those named by --target NAME (repeatable), all or nothing: each gets the\n"
        "new file under its temporary name first (checked: its size on a server, its bytes\n"
        "on a local disk), and only when every one holds it is each put in place, the\n"
        "stores last; should one fail then, those replaced are put back as they were. The\n"
        "targets are served in parallel (at most 4 at once). A line per target says what it\n"
        "holds now; the exit status is 0 only when every one holds the new file and its\n"
        "site check, where it has one, let the check user in. --server-password-stdin and\n"
        "--server-password-file give the password of every target that stores none.\n"
        "--consumer NAME writes the file another program reads (to --output only), in its\n"
        "own layout and form (" +
            ConsumerNames() +
            "); --format then takes the\n"
            "forms it reads, digest, pbkdf2-sha512 and argon2id among them, and the digest form\n"
            "needs --realm, the realm the server names. Users known only by a hash of another\n"
            "form than the one written are named: a warning where the program reads that form\n"
            "too, a refusal (nothing written) where it does not.\n",
        {"output", "format", "server-password-file", "cost", "rounds", "line-ends", "target",
         "consumer", "realm"},
        {"ftp-password-stdin", "server-password-stdin", "allow-empty-passwords", "save-choice",
         "merge", "overwrite", "dry-run", "progress", "quiet", "json"},
        CmdExport};
}

} // namespace quorvane::cli
