#pragma once
// An export to several targets, all or nothing. Every target is read and compared first (the
// check before a replacement), what it holds is kept, and it gets the new content beside the old
// one (a file under its temporary name, checked: its size on a server, its bytes on a local
// disk; a table or a directory is only read and compared). Only when every target holds a good
// new file is each one put in place, the files first and the stores after them; should one of
// them fail then, those already replaced are put back from what was kept. One worker per target
// (at most KMaxParallelTargets at once preparing), one stream of events, one Abort for all.

#include "export/DatabaseState.h"
#include "ftp/FtpUpload.h"
#include "job/AfterCommand.h"
#include "job/Target.h"
#include "job/TargetKind.h"
#include "userdb/TargetValue.h"
#include "userdb/UserList.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

class TDatabaseKey;
struct TExportEvent;

// Targets being prepared at once; the others wait for a turn.
inline constexpr std::size_t KMaxParallelTargets = 4;

// One target of an export to several.
struct TDeployTarget {
    TTarget Target;
    // The server's password (with a key file, the key's passphrase), or the store's password.
    std::string Secret;

    TDeployTarget() = default;
    TDeployTarget(TTarget target, std::string secret)
        : Target(std::move(target)), Secret(std::move(secret)) {}
    // A target as the database stores it.
    TDeployTarget(const TTargetSettings& stored, std::string secret)
        : Target(TargetOf(stored)), Secret(std::move(secret)) {}
};

// What a target holds once the export has ended.
enum class TTargetHolds {
    Old,     // not replaced: what it held before
    New,     // the new file
    PutBack, // replaced, then put back as it was, since another target failed
    Unknown, // its replacement failed and what it held could not be put back
};

struct TTargetOutcome {
    std::string Name;  // the target's name
    std::string Where; // its file, the remote file on its server, or its store
    std::string Id;    // what its backups and the database's state know it by
    TTargetHolds Holds = TTargetHolds::Old;
    TMessage Error;      // why it does not hold the new file, or why it could not be put back
    TMessage CheckError; // the site check after the replacement did not let the user in
    TMessage GroupError; // its group file holds the new groups: putting it back failed
    TMessage AfterError; // the command after the export failed (AfterFailureMessage)
    std::optional<TAfterResult> After; // what the command after the export ended with, when run
    bool Aborted = false;
    bool Stopped = false;              // changed there since this database wrote it
    std::optional<TTargetCheck> Check; // what was found there before
    // What its replacement could not keep of the old file, a partial upload an abort could not
    // remove.
    std::vector<TMessage> Warnings;
    TFtpUploader::TIdentityProblem Identity;
    // Holds the new file, and the site check (where there is one) let the user in.
    bool Succeeded() const {
        return Holds == TTargetHolds::New && Error.Empty() && CheckError.Empty() &&
               GroupError.Empty() && AfterError.Empty();
    }
};

// One sentence per outcome: "web1 (/www/.htpasswd): holds the new file", "... not replaced; it
// holds its previous file. REASON", "... replaced, then put back; ...", and so on.
TMessage TargetOutcomeMessage(const TTargetOutcome& outcome);

// What the target's kind says of it (see ITargetKind): where it writes for people, the identity
// its backups and the database's state know it by (raises when a store's address is not one),
// what it cannot be exported to as it is (none when usable; also an address no kind reads),
// what place it writes (two targets on one place are known by it: a local file or an SQLite
// store by device and inode, or by absolute path while it does not exist yet; a file on a
// server by server, port and path; a store by its address without user or parameters; empty
// when it names none), the file as its user names it (never a store's user part), whether
// Apache's group file goes beside it, and the local file it writes (empty for none).
std::string TargetWhere(const TTarget& target);
std::string TargetIdOf(const TTarget& target);
std::optional<TMessage> TargetProblem(const TTarget& target);
std::string TargetPlace(const TTarget& target);
std::string TargetFileName(const TTarget& target);
bool TargetTakesGroupFile(const TTarget& target);
std::string TargetLocalFile(const TTarget& target);
// What the target logs in with (see ITargetKind::Secret); nothing for an address no kind reads.
TTargetSecret TargetSecretOf(const TTarget& target);
// The same for targets as the database stores them.
inline std::string TargetWhere(const TTargetSettings& t) {
    return TargetWhere(TargetOf(t));
}
inline std::string TargetIdOf(const TTargetSettings& t) {
    return TargetIdOf(TargetOf(t));
}
inline std::optional<TMessage> TargetProblem(const TTargetSettings& t) {
    return TargetProblem(TargetOf(t));
}
inline std::string TargetFileName(const TTargetSettings& t) {
    return TargetFileName(TargetOf(t));
}

// Raises EQuorvaneError for a list of targets that the user made out of `before` (the targets
// as stored): an export to two targets on one place fails for good, and a store's address
// holding a password would be stored and shown with it. A target as `before` held it passes,
// so that a database of an earlier version can still be changed.
void CheckTargetChange(const std::vector<TTargetSettings>& before,
                       const std::vector<TTargetSettings>& after);
// The same rule at an export's start: the first two of these targets on one place.
std::optional<TMessage> SamePlaceProblem(const std::vector<TTarget>& targets);

// Whether an export to these targets of the list is reported target by target (events named
// by their target, a line for each target's outcome, the site checks): false only for the list's
// first target alone, enabled and without a site check, which is reported as the export of a
// database with one target always was. Either way the export is one deployment.
bool ReportedPerTarget(const TUserList& list, const std::vector<TTargetSettings>& chosen);

// The targets an export that names none goes to: every enabled one, in their order. The first
// is left out while it names nothing at all (no file, no server, no store: a new database's own)
// and another enabled target remains: a database made for a store alone exports to the store.
std::vector<TTargetSettings> DefaultTargets(const TUserList& list);

// What a deployment needs besides its targets; all of it copied or shared as it is, none of it
// changed by the owner while the deployment runs.
struct TDeploymentInput {
    std::shared_ptr<const std::string> Content; // the password file
    std::optional<std::string> Groups;          // Apache's group file, when one is due
    std::string LineEnd;
    std::map<std::string, std::vector<std::string>> StoreGroups;
    // The database's logins, when taken up front; else a check that needs them asks the
    // owner (THandlers::OnUsersNow).
    std::shared_ptr<const TLoginSlots> Known;
    TReplaceOptions Replace;
    std::shared_ptr<const TDatabaseKey> Key;
    std::uint32_t Timeout = 0;
    // The check users' passwords, by login.
    std::map<std::string, std::string> CheckPasswords;
    // Events carry the target's name, and the steps of replacing and checking come as events of
    // their own. Off for one target reported as a database's one export: its events are the
    // upload's alone, as they always were.
    bool PerTarget = true;
    // On a thread of its own even when it could end within Start (one local file or store
    // reported as one export): for an owner whose thread must not wait for it.
    bool OwnThread = false;
};

// One target with what the owner knows of it.
struct TDeploymentTarget {
    TDeployTarget Given;
    // Its own file, when it is not the deployment's Content (another program reads it, or
    // another form).
    std::shared_ptr<const std::string> Content;
    std::string GroupFile; // where its group file goes (none when empty)
    std::optional<TTargetRecord> Record;
    std::optional<TTargetRecord> Pending; // written there by an export that did not record it
    // SHA-256 (hex) of what it gets, when known: a target found holding exactly that is not
    // hashed again.
    std::string ContentSha256;
    // Run once every target of the export holds its new file (none was put back): beside a local
    // file or a store on this machine, over the connection for an SFTP target. Its failure is
    // this target's (AfterError); the others keep their new files. An FTP target refuses it
    // before anything is written.
    std::optional<TAfterCommand> After;
    // The written file's permission bits (such as 0640) and group name, in place of what it
    // kept of the file it replaced (or the default of a new file); later replacements keep them
    // as they keep any file's. The group on a local file only, the mode on a local file and over
    // SFTP; another target refuses them before anything is written.
    std::optional<unsigned> Mode;
    std::string Group;
    // A local file that the export read holding exactly Content (its digest checked), as it
    // was then: while it is still so, it is taken to hold Content and not read again.
    std::optional<TFileIdentity> Held;
    // A store that the export read holding exactly Content (its digest checked), to be taken as
    // it was read: its stage confirms that it still holds that.
    std::shared_ptr<IExportTarget> HeldTarget;
};

class TDeployment {
public:
    struct THandlers {
        // Progress, on the owner's thread (through the dispatcher).
        std::function<void(const TExportEvent&)> OnEvent;
        // Asked on the owner's thread for an SSH host key neither known nor pinned, with the
        // name of the target that met it.
        std::function<bool(const std::string& target, const std::string& server,
                           const std::string& fingerprint)>
            OnUnknownHostKey;
        // Once every target is ready and before the first is replaced, on the owner's thread:
        // the ids of the targets about to be replaced whose content is compared (not a pipe or
        // a device), so that an export ended in between is not taken for a change made there.
        std::function<void(const std::vector<std::string>&)> OnReplacing;
        // The database's users as they are now, asked only by a check that finds a target
        // holding neither what its record says nor the new content (and only when the input
        // has no Known). On the owner's thread; for a deployment that ends within Start, on its
        // worker while the owner's thread waits in Start. Not asked: none known.
        std::function<TUsersNow()> OnUsersNow;
        // The end, once, on the owner's thread: each target's outcome, in the targets' order.
        std::function<void(const std::vector<TTargetOutcome>&)> OnDone;
    };

    TDeployment(TDeploymentInput input, std::vector<TDeploymentTarget> targets,
                std::shared_ptr<IUiDispatcher> dispatcher, THandlers handlers);
    // Starts the deployment, once: on a thread of its own, or, for one target reported as one
    // export that reaches no server (and not OwnThread), on this thread, done on return (as a
    // local write always was; its handlers then run here).
    void Start();
    ~TDeployment();
    TDeployment(const TDeployment&) = delete;
    TDeployment& operator=(const TDeployment&) = delete;

    // Stops every target before any is replaced: true when none will be; false when the
    // replacements had already begun (they then run to their end).
    bool Abort() noexcept;
    // No handler runs from now on; the deployment still ends as it would.
    void Detach() noexcept;
    bool Finished() const;
    // Waits for the end (only with a dispatcher that does not need this thread).
    void WaitFor();
    bool WaitFor(std::chrono::milliseconds timeout);
    // The private local copy of the file the uploads send (one for every content a server
    // gets; removed at the end); the first, or empty when no target is a server.
    const std::string& LocalFile() const;

    struct TState;

private:
    std::shared_ptr<TState> FState;
    std::thread FThread;
    bool FStarted = false;
};

} // namespace quorvane
