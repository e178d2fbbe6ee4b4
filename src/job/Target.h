#pragma once
// Where an export goes, as one interface: read what is there now, put the new state beside it,
// make it the target's, or take it back. The check before a replacement (what changed there
// since this database wrote it), the copy of what is replaced, the preview of what an export
// changes and the record of what was written are made once, here, against that interface: a
// new kind of target implements its five calls and gets all of them.
//
// A target's content is the text of a password file. A target whose content is not a file of
// bytes (rows of a table, entries of a directory) reads the users it holds into that form, so
// that the same comparison applies.

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "export/DatabaseState.h"
#include "export/HtpasswdImport.h"
#include "export/SiteChanges.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

class TCommitGate;

class IUploadTransport;
class TUserList;
class TTargetBackups;
struct TFtpSettings;

// Writes data into an existing private file (a temporary file of an upload, or a file in
// memory), from its start; never through another link.
void WritePrivateFile(const std::string& path, const std::string& data);

// What a target holds now.
struct TTargetContent {
    bool Exists = false;    // false: nothing there yet
    bool Comparable = true; // false: written in place, never compared (a pipe, a device)
    std::string Bytes;
    // Found holding the new content, byte for byte, as the caller had shown it
    // (TLocalFileTarget::ExpectHeld): Bytes are left empty, they are that content.
    bool HoldsNew = false;
    // Found holding what the record names, as the caller had shown it (ExpectRecorded): Bytes
    // are left empty, Sha256 (hex) is theirs, and the target keeps them (KeepRecorded).
    bool Recorded = false;
    std::string Sha256;
};

class TTargetBackups;

class IExportTarget {
public:
    virtual ~IExportTarget() = default;
    // What the database's state and the backups know the target by: "file:/srv/www/.htpasswd",
    // "sftp://web@host:22/www/.htpasswd".
    virtual std::string Id() const = 0;
    // The target as its user names it (the file, the remote file).
    virtual std::string Name() const = 0;
    virtual TTargetContent Read() = 0;
    // Puts the new content beside the old one, which stays as it is.
    virtual void Stage(const std::string& content) = 0;
    // Stage for a content that Read found there already, byte for byte: a target that can
    // tell that a replacement would leave it exactly as it is stages nothing, and its Commit
    // replaces nothing (it still refuses a target that changed since Read).
    virtual void StageHeld(const std::string& content) { Stage(content); }
    // What a Stage of content can make ready before it is asked for, touching nothing there
    // (the rows a store is synced to), while the export does something else; the next Stage
    // of that same content takes it.
    virtual void PrepareStage(const std::string& content) { (void)content; }
    // Makes the staged content the target's.
    virtual void Commit() = 0;
    // Removes what Stage made; the old content stays.
    virtual void Rollback() noexcept = 0;
    // After a Commit: puts back what Read found there (a content that did not exist is
    // removed), through the same safe replacement. Raises what Stage and Commit raise.
    virtual void PutBack(const TTargetContent& previous);
    // What the replacement could not keep of the old content (a file's owner, its group).
    virtual std::vector<TMessage> Warnings() const { return {}; }
    // Whether a Commit that raised may have replaced the content all the same (a rename on a
    // server whose answer was lost): what the target holds is then read back.
    virtual bool CommitUncertain() const { return false; }
    // The record says the target last held these bytes (SHA-256 in hex, size): a target that
    // can tell without holding them that it still holds exactly them says so from its next Read
    // (TTargetContent::Recorded). Nothing that may have to be put back is asked for so.
    virtual void ExpectRecorded(const std::string& sha256, std::int64_t size) {
        (void)sha256;
        (void)size;
    }
    // Keeps what the last Read found Recorded as the newest version in backups, read again in
    // pieces; raises EQuorvaneError, keeping nothing, when it is no longer there.
    virtual void KeepRecorded(const TTargetBackups& backups);

protected:
    // Removes the target's content altogether; for a table or a directory, an empty content.
    virtual void Remove() {
        Stage(std::string());
        Commit();
    }
};

// A local password file, replaced atomically (or written in place when it is a pipe or a
// device). It is not replaced when it changed between Read and Commit.
class TLocalFileTarget final : public IExportTarget {
public:
    explicit TLocalFileTarget(std::string path) : FPath(std::move(path)), FFile(FPath, 0644) {}
    std::string Id() const override;
    std::string Name() const override { return FPath; }
    TTargetContent Read() override;
    void Stage(const std::string& content) override;
    // Nothing is staged when the file's mode, owner and group are those a replacement would
    // give it (TStagedFile::StageHeld).
    void StageHeld(const std::string& content) override;
    void Commit() override;
    void Rollback() noexcept override { FFile.Rollback(); }
    void Remove() override;
    std::vector<TMessage> Warnings() const override { return FWarnings; }
    // The mode and group the new file gets (TStagedFile::SetModeAndGroup).
    void SetModeAndGroup(std::optional<unsigned> mode, std::string group) {
        FFile.SetModeAndGroup(mode, std::move(group));
    }
    // The caller read the file holding exactly the new content while it was as identity says:
    // the next Read that finds it so takes that content for what is there, without reading it
    // again. A file changed since is read as always.
    void ExpectHeld(const TFileIdentity& identity) { FHeld = identity; }
    // A regular file of the recorded size is digested in pieces, and held only when it is not
    // what the record names.
    void ExpectRecorded(const std::string& sha256, std::int64_t size) override {
        FRecorded = {sha256, size};
    }
    void KeepRecorded(const TTargetBackups& backups) override;

private:
    std::string FPath;
    TStagedFile FFile;
    std::optional<TFileIdentity> FRead;                            // the file as Read saw it
    std::optional<TFileIdentity> FHeld;                            // see ExpectHeld
    std::optional<std::pair<std::string, std::int64_t>> FRecorded; // see ExpectRecorded
    std::string FRecordedPath, FRecordedSha256; // the file Read found Recorded, its digest
    std::vector<TMessage> FWarnings;
};

// A file on a server, over a connected transport: staged under the safe-upload name, then
// renamed over the target (see SafeUpload). localFile is a private local file that carries the
// content up.
class TServerFileTarget final : public IExportTarget {
public:
    // gate: asked right before the target is first touched (an abort that came first keeps it).
    TServerFileTarget(IUploadTransport& transport, std::string id, std::string remote,
                      std::string localFile, TCommitGate* gate = nullptr)
        : FTransport(transport), FId(std::move(id)), FRemote(std::move(remote)),
          FLocal(std::move(localFile)), FGate(gate) {}
    std::string Id() const override { return FId; }
    std::string Name() const override { return FRemote; }
    TTargetContent Read() override;
    void Stage(const std::string& content) override;
    void Commit() override;
    void Rollback() noexcept override;
    void Remove() override;
    bool CommitUncertain() const override { return true; }

private:
    IUploadTransport& FTransport;
    std::string FId, FRemote, FLocal;
    TCommitGate* FGate;
    bool FStaged = false;
};

// What place a local file is, so that two targets on one file are known: its device and inode,
// or its absolute path while it does not exist yet; empty for an empty path.
std::string LocalFilePlace(const std::string& path);

// The identity of a server target: "sftp://login@host:port/remote" (the protocol's own port
// when the host names none).
std::string ServerTargetId(const TFtpSettings& server, const std::string& remote);

// How a target that changed since this database wrote it is treated.
enum class TOutsideChanges {
    Stop,      // nothing is replaced; the changes are reported
    Overwrite, // replaced all the same (its content is kept as a backup)
};

// What was found at a target before it is replaced.
struct TTargetCheck {
    std::string Target; // its name
    TTargetContent Current;
    std::string CurrentSha256; // of Current.Bytes, when it exists
    bool Recorded = false;     // this database has written there before
    bool Unchanged = false;    // it holds exactly what this database last wrote
    // Users changed there since this database wrote it (with no record: users there the
    // database does not hold); not empty means the export stops unless told otherwise.
    TUserChanges Outside;
    std::size_t OtherLines = 0; // comments and blank lines there: reported, never stopping
    // What the new content changes, from what is there now.
    TUserChanges Preview;
    bool Stops = false;
};

// Raised when a target changed since this database last wrote it and nothing was replaced.
class ETargetChanged : public EQuorvaneError {
public:
    explicit ETargetChanged(TTargetCheck check);
    const TTargetCheck& Check() const { return FCheck; }

private:
    TTargetCheck FCheck;
};

// "/srv/www/.htpasswd changed since this database last wrote it: 1 added there" (without a
// record: "/srv/www/.htpasswd holds 2 users this database does not have"). ETargetChanged's
// message is TargetStoppedMessage: that, then ". Nothing was replaced.".
TMessage TargetChangedMessage(const TTargetCheck& check);
TMessage TargetStoppedMessage(const TTargetCheck& check);
// The users of a check, a message each: "+ handmade (added there)", "- bob (removed there)",
// "~ carl (password changed there)", at most 20, then "... and N more", and the count of the
// other lines there when there are any.
std::vector<TMessage> OutsideChangesMessages(const TTargetCheck& check);

struct TReplaceOptions {
    TOutsideChanges Outside = TOutsideChanges::Stop;
    // The digest of a content the user saw and agreed to replace (after a Merge or an
    // Overwrite was chosen): that content does not stop the replacement; any other still does.
    std::string AcceptedSha256;
    // Read and compare only: nothing is staged, nothing replaced.
    bool DryRun = false;
    // Whether a user line there is what this database holds for that login now (the hash
    // verifies against the user's current password): no change made there, even without a
    // record of it, as after an export ended between its replacement and its record. Called
    // only for the lines that differ from the record; from any thread.
    std::function<bool(const std::string& login, const std::string& value)> Ours;
};

// The database's users as a check needs them: its logins (without a record, they decide which
// users there are someone else's; none: no user there is the database's) and, when the options
// give none, Ours (see TReplaceOptions).
struct TUsersNow {
    std::shared_ptr<const TLoginSlots> Logins;
    std::function<bool(const std::string& login, const std::string& value)> Ours;
};

// Reads the target and compares what is there with the record of what this database wrote
// (none: never written there) and with the new content. The database's users are asked for
// (`users`, on this thread) only when the target holds neither what its record or `pending`
// says nor the new content; with `known`, they are those logins. `pending` is what an export
// of this database was about to write there and never recorded (it was ended between the
// replacement and the record): that content, or a user line of it, is this database's own,
// not a change made there. newSha256, when not empty, is the SHA-256 (hex) of newContent: a
// target found holding exactly newContent is then not hashed.
TTargetCheck CheckTarget(IExportTarget& target, const TTargetRecord* record,
                         const std::string& newContent, const std::function<TUsersNow()>& users,
                         const TReplaceOptions& options, const TTargetRecord* pending = nullptr,
                         const std::string& newSha256 = std::string());
TTargetCheck CheckTarget(IExportTarget& target, const TTargetRecord* record,
                         const std::string& newContent, const TLoginSlots& known,
                         const TReplaceOptions& options, const TTargetRecord* pending = nullptr,
                         const std::string& newSha256 = std::string());

// The record of content as written: its digest, size, time and users. sha256, when not empty,
// is the SHA-256 (hex) of content, known already.
TTargetRecord RecordOf(const std::string& content, const std::string& sha256 = std::string());

// The safe replacement after CheckTarget: raises ETargetChanged when the check stops it;
// otherwise keeps what is there (when it exists and can be compared) in backups, stages the
// new content and commits it. What it raises leaves the target as it was. Returns the record
// to keep for the target.
TTargetRecord ReplaceTarget(IExportTarget& target, const TTargetCheck& check,
                            const std::string& newContent, const TTargetBackups& backups);

// What MergeOutsideChanges did to the database.
struct TMergeResult {
    THtpasswdImportResult Imported;    // users added or changed there
    std::vector<std::string> Disabled; // users removed there, disabled here
};

// Takes what changed at a target since this database wrote it into the list, so that the next
// export keeps it: users added or changed there come in as import-htpasswd takes them (known by
// their stored hash, or by the clear password of a plain-text line); users removed there are
// disabled, not let in again. Raises, with the list unchanged, when a line there cannot be
// taken in (the parser's error).
TMergeResult MergeOutsideChanges(TUserList& list, const TTargetCheck& check);

// "2 users added, 1 replaced, 0 skipped. 1 user removed there disabled here: bob."
TMessage MergeReportMessage(const TMergeResult& result);

} // namespace quorvane
