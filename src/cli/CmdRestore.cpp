#include "cli/CliCommand.h"

#include "job/Backups.h"
#include "job/ExportJob.h"
#include "job/JobTexts.h"
#include "job/TargetKind.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace quorvane::cli {

namespace {

int CmdRestore(const TArgs& args, TCliStreams& io) {
    if (args.Positional().empty()) throw EUsage("missing argument");
    if (args.Positional().size() > 2) throw EUsage("unexpected argument " + args.Positional()[2]);
    const std::string& path = args.Positional()[0];
    // The database is only read; what the restore writes is kept in its state beside it.
    TDatabaseSession db(path, TDatabaseSession::TAccess::Read);
    TUserList& list = db.List();

    // The target an export that names none goes to first, or the one --target names: one of
    // its targets by name, the address of a kind ("server") the first target points at or keeps
    // beside it, or a local file.
    const auto chosen = args.Value("target");
    const std::vector<TTargetSettings> defaults = DefaultTargets(list);
    const int named = chosen             ? FindTarget(list, *chosen)
                      : defaults.empty() ? 0
                                         : FindTarget(list, defaults.front().Name);
    std::optional<TTarget> kept;
    if (chosen && named < 0) kept = KeptAddress(list.Targets.front(), *chosen);
    const TRestoreTarget target = !chosen || named >= 0 ? RestoreTargetOf(list, std::max(named, 0))
                                  : kept                ? RestoreTargetOf(SettingsOf(*kept))
                                                        : RestoreTargetOf(FileTarget(*chosen));
    if (target.Id.empty())
        throw ECliError(target.Name.empty()
                            ? "The database names no password file; give --target FILE"
                            : "The database names no password file that can be restored: " +
                                  target.Name);
    const std::string& id = target.Id;
    const std::string& name = target.Name;
    const TTargetBackups backups(id, list.Encryption());
    const std::vector<TBackupVersion> versions = backups.List();

    if (args.Has("list")) {
        if (args.Positional().size() > 1) throw EUsage("--list takes no version");
        std::string text;
        if (versions.empty()) text = "No earlier versions of " + name + " are kept.\n";
        for (std::size_t i = 0; i < versions.size(); ++i) {
            const TBackupVersion& v = versions[i];
            char line[160];
            std::snprintf(line, sizeof line, "%2zu  %s  %10lld bytes  ", i + 1,
                          BackupTimeText(v.Time).c_str(), static_cast<long long>(v.Size));
            text += line;
            // One that does not open counts no users: say why instead.
            if (v.State == TBackupVersion::TState::Damaged) {
                text += "damaged";
            } else if (v.State == TBackupVersion::TState::OtherKey) {
                text += "under another master password";
            } else {
                std::snprintf(line, sizeof line, "%zu %s", v.Users,
                              v.Users == 1 ? "user " : "users");
                text += line;
            }
            text += "  " + v.Name + "\n";
        }
        WriteOutput(io, text);
        return kExitOk;
    }

    // A version by its number in the list (1: the newest, the default) or by its name.
    const std::string wanted = args.Positional().size() > 1 ? args.Positional()[1] : "1";
    const TBackupVersion* version = nullptr;
    for (std::size_t i = 0; i < versions.size() && version == nullptr; ++i)
        if (wanted == std::to_string(i + 1) || wanted == versions[i].Name) version = &versions[i];
    if (version == nullptr)
        throw ECliError(versions.empty()
                            ? "No earlier versions of " + name + " are kept"
                            : "No version " + wanted + " of " + name +
                                  " is kept; see quorvane-cli restore " + path + " --list");

    TExportSettings settings;
    settings.DatabasePath = path;
    settings.Content = backups.Read(*version);
    settings.PerTarget = target.PerTarget;
    settings.Targets = TargetSecrets({target.Target}, args, io, !target.PerTarget);
    settings.Replace.Outside =
        args.Has("overwrite") ? TOutsideChanges::Overwrite : TOutsideChanges::Stop;
    TExportJob job(list, std::move(settings));
    job.Start();
    job.Wait();
    const TExportResult& result = job.Result();
    if (!result.Error.Empty()) throw ECliError(result.Error);
    if (target.PerTarget && !result.Done && !result.Stopped)
        throw ECliError(result.Outcomes.empty() ? Msg(texts::ExportAborted)
                                                : TargetOutcomeMessage(result.Outcomes.front()));
    if (result.Stopped) {
        io.Err << "quorvane-cli: " << EnglishText(TargetStoppedMessage(*result.Check)) << "\n"
               << IndentedLines(OutsideChangesMessages(*result.Check))
               << "Give --overwrite to put the earlier version back all the same (what is "
                  "there now is kept too).\n";
        return kExitFailure;
    }
    PrintWarnings(io.Err, result.Warnings);
    io.Err << "quorvane-cli: " << name << " is back as it was on " << BackupTimeText(version->Time)
           << " (" << version->Users << (version->Users == 1 ? " user" : " users") << ")\n";
    return kExitOk;
}

} // namespace

TCommand RestoreCommand() {
    return {"restore",
            "DB [--list] [--target NAME|FILE|KIND] [VERSION] [--overwrite] "
            "[--server-password-stdin | --server-password-file FILE]",
            "put back an earlier version of the password file an export replaced",
            "Every export that replaces a password file keeps what was there: the last 10\n"
            "versions of each target, in $XDG_STATE_HOME/quorvane/backups (by default\n"
            "~/.local/state/quorvane/backups; folders 0700, files 0600). --list shows them,\n"
            "newest first: number, time, size, users. Without --list the version numbered\n"
            "VERSION (or named so; default 1, the newest) goes back through the same safe\n"
            "replacement as an export, which keeps what it replaces in turn, and is recorded\n"
            "as written by this database, so the next export does not take it for a change\n"
            "made there. The target is the database's own (its file, server or store) unless\n"
            "--target names one of its targets (see the target command), a kind of address\n"
            "(file, server or store: the one of that kind its first target points at or\n"
            "keeps beside it) or a local file. A target that changed since this\n"
            "database last wrote it is not replaced without --overwrite. The server password\n"
            "is taken as for export.\n",
            {"target", "server-password-file"},
            {"list", "overwrite", "server-password-stdin", "ftp-password-stdin"},
            CmdRestore};
}

} // namespace quorvane::cli
