#pragma once
// The export dialog: shows and edits the export settings of the database, runs the expiry
// sweep, has the password file built and writes it to a local file or hands it to the upload
// worker, following its progress. A failed export leaves the dialog open for another try.

#include "job/ExportJob.h"
#include "ui/ByteText.h"
#include "userdb/UserList.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

class IRandomSource;
class ISecretPrompt;
class TSessionSecrets;
class IUiDispatcher;
class TExportProgressView;
struct TExportForm;

// What the dialog is opened with besides the database.
struct TExportDialogOptions {
    // The database's file, when it has one: a local export onto it is refused.
    std::string DatabasePath{};
    // Knobs for tests and tools; the program leaves them alone.
    unsigned HashThreads = 0;        // hashing workers; 0: one per processor
    IRandomSource* Random = nullptr; // salts; none: the secure generator
    std::uint32_t Timeout = 0;       // a connection's time-out in ms; 0: its default
    // The server passwords typed while the program runs (none: the program's own set) and the
    // question for one not known yet (none: a password box).
    TSessionSecrets* Secrets = nullptr;
    ISecretPrompt* SecretPrompt = nullptr;
};

// What the dialog did.
struct TExportDialogOutcome {
    // What the last export that ended did ("57 users written to ..."); empty before.
    QString ResultText;
    bool Attempted = false; // an export was started (one that failed or was aborted included)
    // An export took what had changed at the target into the database: the database is to be
    // saved, or the next export would take those users away again.
    bool Merged = false;
    bool Aborted = false; // the user stopped an export
    // After an upload: where the file went ("The password file ... is on the server ... now.").
    QString Confirmation;
    // The users of the file written whose stored hash is still weak, in file order.
    std::vector<const TUserProp*> WeakUsers;
};

class TfrmExportUser : public QDialog {
    Q_OBJECT
public:
    // Shows the list's export settings; the list must outlive the dialog.
    explicit TfrmExportUser(TUserList& list, TExportDialogOptions options = {},
                            QWidget* parent = nullptr);
    // A worker still uploading is detached: it finishes on its own and deletes the temporary
    // file, and nothing of it reaches this dialog any more.
    ~TfrmExportUser() override;

    // The settings shown go into the database (what closing with OK does).
    void SaveSettings();
    const TExportDialogOutcome& Outcome() const { return FOutcome; }
    // An export is running, its upload included.
    bool IsBusy() const { return FBusy; }

protected:
    void reject() override; // Escape: as the Cancel button
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Connect();
    void LoadSettings();
    // The targets as edited here, the first one first; the fields show the one chosen in the
    // list of targets. The database gets them when the settings are saved.
    TTargetSettings& CurrentTarget();
    // A trust decision (a host key, a certificate's key) for a target, remembered at once in
    // the database as well: the export that asked runs on the database's settings, and the
    // next one must not ask again.
    void Trust(int index, const std::function<void(TTarget&)>& change);
    void LoadTarget(const TTargetSettings& target);
    void StoreTarget(TTargetSettings& target);
    int TargetCount() const { return static_cast<int>(FTargets.size()); }
    std::string TargetNameOf(int index) const;
    TTargetSettings TargetAt(int index) const;
    bool TargetTicked(int index) const;
    void FillTargets();
    void TargetChosen(int row);
    void AddTarget();
    void RenameTarget();
    void RemoveTarget();
    // A new name for a target, none when the user cancels or the name is taken.
    std::optional<std::string> AskTargetName(const QString& title, const std::string& name);
    // The password of a target's server or store: as typed, or as stored.
    std::string SecretOf(int index) const;
    TSessionSecrets& Secrets() const;
    // The secret of each chosen target that takes one and has none yet, asked for by name and
    // kept for the session; false when the user cancels a question.
    bool AskMissingSecrets(const std::vector<int>& indices);
    // A login refused with a secret of the session: the next export asks again.
    void ForgetRefusedSecrets(const TExportResult& result);
    // After an export to several targets: what each holds now.
    void ShowOutcomes(const TExportResult& result);
    void UpdateControls();
    TPasswordsType GetPassType() const;
    // Puts the keyboard focus into the field of the chosen target; with a server, into its
    // password box when the password is not stored.
    void FocusTarget();
    // The form's line of guidance, its work-factor box and the estimates follow the chosen form.
    void FormatChanged();
    // The forms the chosen program reads, with its own first; the realm where the form needs one.
    void FillTargetForms();
    void WorkFactorChanged(int value);
    void UpdateEstimate();
    // Enabled users whose password the export hashes (not those known by a stored hash).
    int UsersToHash() const;
    void Browse();
    // Chooses the SFTP key file (starting in ~/.ssh) or the CA file, as the protocol asks.
    void BrowseKeyFile();

    void ExportClicked();
    void PreviewClicked();
    void BeginExport();
    void EndExport();
    // Runs the export job with the dialog's settings; enabled users without a password go out
    // only when the user agrees (otherwise nothing is written and the dialog stays open).
    void StartExport();
    void ExportDone(const TExportResult& result);
    // Nothing was replaced (a preview, or the target changed outside): shows what was found.
    void ShowCheck(const TExportResult& result);
    void ShowSeveralChecks(const TExportResult& result);
    static QString ChangeLines(const TUserChanges& changes);
    static QString CheckFooter(const TTargetCheck& check);
    // The upload failed: the worker's message, shown as a warning once the upload has ended,
    // or as the reason of the question whether to trust an unverified TLS server's key.
    void UploadError(const TMessage& message);
    // "Trust the server whose public key is ..." with Trust and Cancel; true on Trust.
    bool AskTrustTlsKey(const QString& reason, const QString& pin);
    // The worker met an SSH host key neither known nor pinned for the named target: asks the
    // user, and stores the key as trusted for that target when they accept it.
    bool AcceptHostKey(const std::string& target, const std::string& server,
                       const std::string& fingerprint);
    // The target changed since this database last wrote it: asks once (Merge, Overwrite,
    // Cancel) and exports again after Merge or Overwrite.
    void TargetChanged(const TTargetCheck& check);

    // True when the dialog may be left; asks "Export is not completed. Abort?" while busy.
    bool ConfirmAbort();
    void CancelClicked();
    // The result the dialog closes with once the running handler has returned and the close
    // query agrees (QDialog::Accepted or Rejected).
    void SetModalResult(int result);
    void CheckModalResult();

    TUserList& FList;
    const TExportDialogOptions FOptions;
    std::unique_ptr<TExportForm> F;
    std::unique_ptr<TExportProgressView> FProgress;
    TExportDialogOutcome FOutcome;

    std::unique_ptr<TExportJob> FJob; // from the export's start until its end
    std::shared_ptr<IUiDispatcher> FDispatcher;
    bool FBusy = false;
    bool FCancelRequested = false; // the user confirmed "Abort?" during the current export
    bool FUploadAborted = false;   // ... while its upload ran (the server's file is told of)
    bool FToServer = false;        // the current export's one target is a file on a server
    bool FErrorShown = false;      // the worker reported an error during the current export
    QString FUploadError;          // the upload's failure, told when the upload has ended
    static constexpr int kNoResult = -1;
    int FModalResult = kNoResult;
    bool FCheckQueued = false;
    bool FInExportClick = false;
    bool FCursorSet = false;
    bool FActivated = false;
    bool FDryRun = false;        // the running job only compares (Preview Changes)
    std::string FAcceptedSha256; // the target's content the user agreed to replace

    std::vector<TTargetSettings> FTargets; // every target, the first one first
    std::vector<std::string> FTyped;       // per target: its password as last typed here
    std::vector<int> FExporting;           // the targets of the running export
    int FCurrent = 0;                      // the target the fields show

    // The texts the database gave each box, so an untouched box writes back the same bytes.
    TByteField FAddress, FLogin, FSecret, FKeyFile, FCaFile, FCheckUrl, FCheckUser;
    // The work factors as chosen in this dialog, kept while another form is shown.
    int FBcryptCost = KBcryptCostDefault;
    int FShaRounds = KShaRoundsDefault;
    bool FNewLogin = false; // the target had no login when its fields were shown
};

// The Export command's dialog: fills it from the list's settings, shows it modally over the
// owner, stores the settings when it closes with OK and destroys it in every case; after an
// upload it says where the file went, and it names the users still on weak hashes. The caller
// compares the list's fingerprint to tell whether the database changed, and saves it when an
// export merged changes made at the target: `exported`, when given, runs once the dialog has
// closed with OK and before anything is said, so a merge is saved before the word that the
// file is on the server.
TExportDialogOutcome
ShowExportDialog(TUserList& list, QWidget* owner, const std::string& databasePath = {},
                 const std::function<void(const TExportDialogOutcome&)>& exported = {});

} // namespace quorvane
