#pragma once
// One export of a database, as both front ends run it: the expiry sweep, the checks of the
// entries, the password file in the chosen form (with the hash cache of the slow forms), then a
// local file written atomically, a stream, or an upload through the server transport. Progress
// comes as typed events; one Abort stops it. The front ends only collect the settings, show the
// events and report the result.

#include "export/HashCache.h"
#include "export/PasswordFile.h"
#include "ftp/FtpUpload.h"
#include "job/Deployment.h"
#include "job/Target.h"
#include "job/TargetFile.h"
#include "userdb/UserList.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace quorvane {

enum class TExportStage {
    Building,   // EntriesDone of EntriesTotal entries of the file made
    Connecting, // to Server
    Uploading,  // BytesSent of BytesTotal bytes of Remote stored
    Replacing,  // the new file of Target goes in place of the old one (several targets)
    Checking,   // the site of Target is asked to let its check user in (several targets)
};

struct TExportEvent {
    TExportStage Stage = TExportStage::Building;
    std::size_t EntriesDone = 0;
    std::size_t EntriesTotal = 0;
    std::int64_t BytesSent = 0;
    std::int64_t BytesTotal = 0;
    std::string Server;
    std::string Remote;
    std::string Target; // the target's name, in an export to several
};

// The progress an event tells: "Creating passwords file - N% completed", "Connecting to
// HOST...", "Uploading REMOTE - N% completed"; in an export to several targets, the target's
// name first ("web1: Uploading ...").
TMessage ExportProgressMessage(const TExportEvent& event);

// The percentage an event stands for; none while connecting (there is no measure yet).
std::optional<int> ExportProgressPercent(const TExportEvent& event);

// One of the list's targets as a restore sees it: where a version goes back (an export of it to
// that one target), where that is for people, and what its kept versions are known by. Both
// front ends take it from here.
struct TRestoreTarget {
    std::string Name; // the file, the remote file, or the store's address (never its user part)
    std::string Id;   // empty: the target names no file, server or store yet
    TTargetSettings Target;
    bool PerTarget = false; // reported as one of the list's several targets
};
// index: 0 for the list's first target, as FindTarget counts.
TRestoreTarget RestoreTargetOf(const TUserList& list, int index = 0);
// Any target, a local file or the first target's server named for the restore alone.
TRestoreTarget RestoreTargetOf(const TTargetSettings& target);

// A target that is the local file `path` alone (an export to a file the user names).
TTargetSettings FileTarget(const std::string& path);

struct TExportSettings {
    TPasswordsType PassType = TPasswordsType::ptMD5;
    // Scheme parameter, salts, workers, collation, AllowEmptyPasswords. Progress, Report,
    // Warnings and Stats are the job's own; CachePath is filled for a slow form of a database
    // with a file and a cache key when left empty.
    TPasswordFileOptions Build;
    // The database's file, when it has one: never the target of a local export; its hash cache
    // lies beside it.
    std::string DatabasePath;
    // Where the file goes: these targets (each with its password, or with a key file the key's
    // passphrase), all or nothing (see Deployment.h); or, when Stream is set, that stream alone,
    // as it is.
    std::vector<TDeployTarget> Targets;
    std::ostream* Stream = nullptr;
    // Reported target by target (see ReportedPerTarget): events named by their target, the
    // result's Outcomes. Off: one target, whose result and events are the export's own.
    bool PerTarget = false;
    // The client's time-out in ms (0: its default); the question for an SSH host key neither
    // known nor pinned, with the name of the target that met it (none: refused).
    std::uint32_t Timeout = 0;
    std::function<bool(const std::string& target, const std::string& server,
                       const std::string& fingerprint)>
        OnUnknownHostKey;
    // A file or a server target is read first and compared with what this database last wrote
    // there (kept in the database's state, TDatabaseState): a target changed since then stops
    // the export unless Replace says otherwise; with DryRun it is only compared. A stream is
    // never compared.
    TReplaceOptions Replace;
    // The content to put in place of a password file built from the list (a restored backup):
    // no sweep, no build; the target is checked, kept and replaced as for an export.
    std::optional<std::string> Content;
};

struct TExportResult {
    bool Done = false; // the file is written or stored on the server
    // Stopped in time: while building nothing was written or sent; during an upload the
    // server's file was not changed (ExportAbortedMessage).
    bool Aborted = false;
    std::string Target; // the file name, the remote file, the store; the targets' names
    std::size_t Written = 0;
    std::size_t Disabled = 0; // left out, disabled before this export
    std::size_t Expired = 0;  // left out, disabled by this export's sweep
    std::vector<std::string> CommentLogins;
    // Enabled users left out for a later namesake (TPasswordFileReport::Namesakes).
    std::vector<TMessage> Namesakes;
    // Users of the file whose stored hash uses a weak scheme (WeakHashUsers), in file order.
    std::vector<const TUserProp*> WeakUsers;
    // Where Apache's group file went (beside the password file, or the list's GroupFile); empty
    // when none was written. Groups: its groups with enabled members.
    std::string GroupFile;
    std::size_t Groups = 0;
    // What the local write could not keep of the old file; a partial upload an abort could not
    // remove from the server.
    std::vector<TMessage> Warnings;
    TPasswordFileStats Stats;
    TMessage Error; // the upload's failure, as the worker gave it (Empty: none)
    TFtpUploader::TIdentityProblem Identity;
    // What the target held and what the new file changes there; none for a stream, or when the
    // target could not be read.
    std::optional<TTargetCheck> Check;
    // The target changed since this database last wrote it: nothing was replaced (Check says
    // what changed there).
    bool Stopped = false;
    bool DryRun = false; // compared only: nothing written
    // Per target: what each target holds now, in the targets' order. Done only when every one
    // holds the new file (and its site check, where it has one, let the user in).
    std::vector<TTargetOutcome> Outcomes;
};

// "57 users written to /srv/www/.htpasswd; 2 disabled and 1 expired left out", the left-out
// part only when there are such users, then ". " and the first line of WeakHashReport when
// users still use weak hashes; the numbers are counts.
TMessage ExportResultMessage(const TExportResult& result);

// What an upload stopped by Abort leaves: "Export aborted; the server's file was not changed".
TMessage ExportAbortedMessage();

class TStoreTarget;

class TExportJob {
public:
    // The dispatcher runs the upload's events on the owner's thread (see IUiDispatcher).
    TExportJob(TUserList& list, TExportSettings settings,
               std::shared_ptr<IUiDispatcher> dispatcher = std::make_shared<TDirectDispatcher>());
    // A running upload is detached: it finishes on its own and removes its temporary file. A
    // build of StartAsync still running is aborted (nothing is written) and waited for, which
    // takes until its next progress point.
    ~TExportJob();
    TExportJob(const TExportJob&) = delete;
    TExportJob& operator=(const TExportJob&) = delete;

    // Progress, on the owner's thread.
    std::function<void(const TExportEvent&)> OnEvent;
    // The upload failed, with the worker's message; before OnDone.
    std::function<void(const TMessage&)> OnError;
    // The export ended (written, aborted, or its upload ended either way), once per Start that
    // returned normally. It may destroy the job.
    std::function<void(const TExportResult&)> OnDone;

    TExportSettings& Settings() { return FSettings; }

    // Raises what makes the targets unusable (as Start does first), so that an owner who saves
    // the database between Sweep and Start can refuse before anything is written, the database
    // included.
    void CheckTargets();

    // Disables the users whose expiry date has passed, the first time only; their count. Start
    // calls it when the owner has not (the command line saves the database in between).
    int Sweep();

    // Builds the file on this thread (events and abort checks every 100 entries) and hands it to
    // the deployment: a stream, or one local file or store alone, is done on return (and its
    // failure raised, as a local write's always was); an upload or several targets run on workers
    // and are done when OnDone runs. Raises what the checks find (EUnsafeUsers, EEmptyPasswords,
    // an unusable target or server setting) with nothing written; Start may then be called
    // again, e.g. with AllowEmptyPasswords. The list is read until OnDone (a target found
    // holding something else than its record is compared with the users as they are then):
    // it stays as it is until then.
    void Start();

    // Start for an owner with an event loop (the desktop), whose thread must never wait for the
    // build: the same sweep and checks as Start, on this thread, raising what Start raises with
    // nothing run yet (every file's checks: EUnsafeUsers, EEmptyPasswords, an unusable target);
    // then the files are built on a thread of their own, and the rest (the write, the upload,
    // the store, several targets) runs on the deployment's thread. Its events and its end reach
    // the owner through the dispatcher only: OnDone comes once, on the owner's thread and never
    // within this call, for every kind of target; a failure after the checks (a write, a
    // target's own file) comes as the result's Error, through OnError first. The list must stay
    // as it is until OnDone (the build reads it from its thread; the owner holds it, e.g. by a
    // modal dialog); Result() is the owner's once OnDone has come.
    void StartAsync();
    // From StartAsync until the build's end has reached the owner's thread.
    bool Building() const;

    // Stops the build at its next progress point (nothing is written) or the transfer in
    // progress (the old file stays on the server, the partial upload is removed). False when it
    // came too late: the upload was already replacing the server's file, and ends as usual.
    // OnDone follows either way; its result says Aborted when the abort held.
    bool Abort() noexcept;

    // Whether an upload has started and not yet ended.
    bool Uploading() const;
    // The private local copy of the file an upload sends (removed when the upload has ended);
    // empty for an export that uploads nothing.
    const std::string& TempFile() const;
    // Waits for the upload's end (after StartAsync, for the build's and the export's end); only
    // with a dispatcher that does not need this thread.
    void Wait();
    // Waits at most `timeout` for the upload's end; whether it has ended (or never began).
    bool Wait(std::chrono::milliseconds timeout);
    // From now on no event reaches the owner; a running upload still finishes, a build of
    // StartAsync goes nowhere.
    void Detach() noexcept;

    const TExportResult& Result() const { return FResult; }

private:
    class TBuildProgress;
    struct TAsyncBuild;
    // What Start and StartAsync do before the build: the sweep, the checks of the targets and
    // the group names, the group file, what the state remembers.
    void Prepare();
    // What follows the build (or a restored version's content): the result's counts, then the
    // stream, or the deployment.
    void Deliver();
    // StartAsync's build has ended (on the owner's thread): its failure, its abort, or Deliver.
    void AsyncBuildEnded();
    // The files this export's targets get, each (program, form, work factor, ...) built once:
    // FContents, and FContentOf for each target. False when the build was aborted.
    bool BuildContents();
    // The build options of target i's own file (its program, form, work factor, ...).
    TPasswordFileOptions OwnOptions(std::size_t i) const;
    // What one file of this export depends on and what its build gave, to take the last build's
    // outcome in its place when nothing it depends on changed.
    struct TContentMemo {
        std::string Key;           // the digest of the file's options: its place in the state
        std::string Inputs;        // the digest of its inputs but the hash cache's
        std::string CacheIdentity; // of the hash cache it is built with, as loaded
        const THashScheme* Form = nullptr;
        int Param = 0;
        bool Usable = false;  // its outcome may be remembered and taken
        bool Skipped = false; // taken from the last build
        TBuiltFile Outcome;   // this build's, when it may be taken next time
        bool Keep = false;    // Outcome is to be remembered
    };
    // The memo of content k, built first by the targets at firstOf (or the export's own).
    TContentMemo MemoOf(const std::string& key, const TPasswordFileOptions& options, bool own);
    // The last build's file for content k, when its inputs are all unchanged and every target
    // that takes it holds exactly that file; fills the report and the stats as a build would.
    std::optional<std::string> TakeBuilt(std::size_t k, TContentMemo& memo);
    // Target i's store, read, with its text, when it is a store found holding exactly the file
    // of that digest.
    std::optional<std::pair<std::shared_ptr<TStoreTarget>, std::string>>
    HeldStore(std::size_t i, const std::string& sha256);
    // The outcome of a build just made, to remember when it can be taken next time.
    void NoteBuilt(TContentMemo& memo, const std::string& text, const TPasswordFileReport& report,
                   const TPasswordFileStats& stats, bool warned);
    void Finish(const TPasswordFileReport& report);
    void StartDeployment();
    void DeploymentEnded(const std::vector<TTargetOutcome>& outcomes);
    // Apache's group file for this export's targets, or nothing when none is due; sets
    // FGroupFiles, FResult.GroupFile and FResult.Groups.
    std::optional<std::string> BuildGroups(const TPasswordFileOptions& options);
    // Keeps the hashes of this build and, when given, the record of what was written where.
    void RememberExport(const std::string& targetId, const std::optional<TTargetRecord>& record) {
        RememberExport(std::vector<std::string>{targetId}, record);
    }
    // One update of the state for every target that received the same content; it also
    // settles what NotePending recorded.
    void RememberExport(const std::vector<std::string>& targetIds,
                        const std::optional<TTargetRecord>& record) {
        std::vector<std::pair<std::string, TTargetRecord>> records;
        if (record)
            for (const std::string& id : targetIds)
                records.emplace_back(id, *record);
        RememberExport(std::move(records));
    }
    // One update of the state: the hashes, what each target received (the records move into
    // the state), and the outcome of the files built that a target now holds (delivered: their
    // contents).
    void RememberExport(std::vector<std::pair<std::string, TTargetRecord>> records,
                        const std::vector<std::size_t>& delivered = {});
    // The record of each target's content (target id, content), each content's made once (see
    // FRecords), timed now; they move out (whoever keeps one for later puts it back).
    std::vector<std::pair<std::string, TTargetRecord>>
    RecordsOf(const std::vector<std::pair<std::string, std::size_t>>& due);
    // SHA-256 of content k (made once as the deployment starts).
    const std::string& ContentSha256(std::size_t k) const;
    // Records in the state, before the targets are replaced, what is about to be written there:
    // an export ended between a replacement and its record is not taken for a change made
    // there.
    void NotePending(const std::vector<std::string>& targetIds);
    // The state could not be written: said once per export.
    void StateNotKept();
    void Done();

    TUserList& FList;
    TExportSettings FSettings;
    std::shared_ptr<IUiDispatcher> FDispatcher;
    bool FSwept = false;
    std::unordered_set<const TUserProp*> FExpired;
    std::atomic<bool> FAbort{false};
    TExportResult FResult;
    TPasswordFileReport FReport;
    // The hashes of this export, by form and work factor, loaded from FState and kept in it.
    std::unique_ptr<TFormHashCaches> FCaches;
    TDatabaseStateData FState;
    std::optional<std::string> FGroups;   // the group file of this export, when one is due
    std::vector<std::string> FGroupFiles; // where it goes for each target (none when empty)
    std::shared_ptr<TDeployment> FDeployment;
    // From the deployment's start until its end has reached this thread (DeploymentEnded):
    // an abort in between is answered by the deployment's outcome, never taken for an end.
    std::atomic<bool> FDeploying = false;
    // The files built, and which of them each target gets (an index into FContents).
    std::vector<std::shared_ptr<const std::string>> FContents;
    std::vector<TContentMemo> FMemos;        // by content
    std::vector<std::string> FContentSha256; // by content, made as the deployment starts
    std::string FListDigest;                 // of the list as this export builds from it
    // By content: its record, made on a thread of its own from the deployment's start (a
    // content that no target's record names yet), or when first asked for (RecordsOf).
    struct TMadeRecord {
        std::future<TTargetRecord> Making;
        std::optional<TTargetRecord> Record;
    };
    std::vector<TMadeRecord> FRecords;
    // The users as a check asked for them (OnUsersNow), once per deployment.
    std::optional<TUsersNow> FUsersNow;
    std::vector<std::size_t> FContentOf;
    // By target: a local file found holding its content, as it was then (TakeBuilt).
    std::vector<std::optional<TFileIdentity>> FHeld;
    // By target: a store found holding its content, as it was read then (TakeBuilt).
    std::vector<std::shared_ptr<TStoreTarget>> FHeldStores;
    // The stores' groups, once a store is read for TakeBuilt.
    std::optional<std::map<std::string, std::vector<std::string>>> FStoreGroups;
    std::map<std::string, std::size_t> FContentById;
    std::vector<TTargetFile> FFiles;      // what each target's options ask of its file
    std::vector<std::string> FPendingIds; // recorded by NotePending, not settled yet
    bool FStateWarned = false;
    // While StartAsync's checks run: the build stops at its first progress point, having checked
    // every file, and reports no progress.
    bool FChecking = false;
    // The build of StartAsync, its threads and what it hands to the owner.
    std::shared_ptr<TAsyncBuild> FAsync;
    bool FBuilding = false; // see Building
};

} // namespace quorvane
