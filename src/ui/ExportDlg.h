#pragma once
// The export dialog: shows and edits the export settings of the database, runs the expiry
// sweep, has the password file built and writes it to a local file or hands it to the upload
// worker, following its progress. A failed export leaves the dialog open for another try.

#include "ftp/FtpUpload.h"
#include "job/ExportJob.h"
#include "job/TransferMeter.h"
#include "ui/ByteText.h"
#include "userdb/UserList.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;

namespace quorvane {

struct TPasswordFileOptions;

class IRandomSource;

// Runs the upload worker's calls on the thread of the application object (the interface
// thread) and waits for them: a blocking queued call, served by whatever event loop runs there,
// modal loops included.
class TQtUiDispatcher final : public IUiDispatcher {
public:
    void RunAndWait(const std::function<void()>& task) override;
};

// One line on which web servers accept a form (empty for plain text, which has its own note).
QString SchemeGuidance(TPasswordsType type);

// What saving the server password means for who can read it.
QString SavedPasswordHint();

class TfrmExportUser : public QDialog {
    Q_OBJECT
public:
    explicit TfrmExportUser(QWidget* parent = nullptr);
    // A worker still uploading is detached: it finishes on its own and deletes the temporary
    // file, and nothing of it reaches this dialog any more.
    ~TfrmExportUser() override;

    TUserList* UserList = nullptr; // the database being exported, not owned
    // The database's file, when it has one: a local export onto it is refused.
    std::string DatabasePath;
    bool CancelRequested = false; // the user confirmed "Abort?" during the current export
    bool Busy = false;            // an export is in progress
    std::string TempFile;         // the local temporary file of the current FTP export
    bool ErrorShown = false;      // the worker reported an error during the current export
    bool Attempted = false;       // an export was started while the dialog was open
    // What the last completed export did ("57 users written to ..."); empty before.
    QString ResultText;
    // The users of the file written whose stored hash is still weak, in file order.
    std::vector<const quorvane::TUserProp*> WeakUsers;
    // After an upload: where the file went ("The password file ... is on the server ... now.").
    QString Confirmation;
    // An export took what had changed at the target into the database (Merge): the database
    // is to be saved, or the next export would take those users away again.
    bool Merged = false;

    // The export job while its upload runs, or none.
    quorvane::TExportJob* Uploader() const { return FJob.get(); }

    // Knobs for tests and tools; the program leaves them alone.
    unsigned HashThreads = 0;        // hashing workers; 0: one per processor
    IRandomSource* Random = nullptr; // salts; none: the secure generator
    std::uint32_t FtpTimeout = 0;    // the FTP client's time-out in ms; 0: its default

    void LoadSettings();
    void SaveSettings();
    void UpdateControls();
    TPasswordsType GetPassType() const;

    void BeginExport();
    void EndExport();
    // Progress of the running export into the label and the bar.
    void ShowEvent(const quorvane::TExportEvent& event);
    // The upload failed: the worker's message, shown as a warning once the upload has ended,
    // or as the reason of the question whether to trust an unverified TLS server's key.
    void UploadError(const quorvane::TMessage& message);
    // "Trust the server whose public key is ..." with Trust and Cancel; true on Trust.
    bool AskTrustTlsKey(const QString& reason, const QString& pin);
    // The worker met an SSH host key neither known nor pinned: asks the user, and stores the
    // key as trusted when they accept it.
    bool AcceptHostKey(const std::string& server, const std::string& fingerprint);
    // True when the dialog may be left; asks "Export is not completed. Abort?" while busy.
    bool ConfirmAbort();
    bool FormCloseQuery() { return ConfirmAbort(); }
    // Puts the keyboard focus into the FTP password box when FTP is chosen and the password
    // is not stored.
    void FormActivate();
    // The form's line of guidance, its work-factor box and the estimates follow the chosen form.
    void FormatChanged();

    // The result the dialog closes with once the running handler has returned and the close
    // query agrees (QDialog::Accepted or Rejected).
    void SetModalResult(int result);

public slots:
    void rbnToFileClick();
    void btnBrowseClick();
    void btnExportClick();
    void btnPreviewClick();
    void btnCancelClick();

protected:
    void reject() override; // Escape: as the Cancel button
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void BuildControls();
    void WorkFactorChanged(int value);
    void UpdateEstimate();
    // Enabled users whose password the export hashes (not those known by a stored hash).
    int UsersToHash() const;
    void CheckModalResult();
    std::string FileName() const;
    // Runs the export job with the dialog's settings; enabled users without a password go out
    // only when the user agrees (otherwise nothing is written and the dialog stays open).
    void StartExport();
    void ExportDone(const quorvane::TExportResult& result);
    // The target changed since this database last wrote it: asks once (Merge, Overwrite,
    // Cancel) and exports again after Merge or Overwrite.
    void TargetChanged(const quorvane::TTargetCheck& check);

    std::unique_ptr<quorvane::TExportJob> FJob;
    std::shared_ptr<IUiDispatcher> FDispatcher;
    static constexpr int kNoResult = -1;
    int FModalResult = kNoResult;
    bool FCheckQueued = false;
    bool FInExportClick = false;
    bool FCursorSet = false;
    bool FActivated = false;
    bool FDryRun = false;        // the running job only compares (Preview Changes)
    std::string FAcceptedSha256; // the target's content the user agreed to replace

    // The texts the database gave each box, so an untouched box writes back the same bytes.
    TByteField FPassFile, FFtpHost, FFtpUser, FFtpPass, FFtpPasswdFile;

    QComboBox* cbxFormat = nullptr;
    QLabel* lblPlainTextNote = nullptr;
    QLabel* lblSchemeHint = nullptr; // which servers accept the chosen form
    QLabel* lblWorkFactor = nullptr;
    QSpinBox* spnWorkFactor = nullptr; // bcrypt's cost or SHA-crypt's rounds
    QLabel* lblEstimate = nullptr;     // export time for this database, server work per login
    // The work factors as chosen in this dialog, kept while another form is shown.
    int FBcryptCost = KBcryptCostDefault;
    int FShaRounds = KShaRoundsDefault;
    QRadioButton* rbnToFile = nullptr;
    QLineEdit* edtFile = nullptr;
    QToolButton* btnBrowse = nullptr;
    QRadioButton* rbnToFTP = nullptr;
    QLineEdit* edtFtpHost = nullptr;
    QCheckBox* cbxFTPPassiveMode = nullptr;
    QLineEdit* edtFtpLogin = nullptr;
    QLineEdit* edtFtpPassword = nullptr;
    QCheckBox* cbxFTPPassSave = nullptr;
    QLineEdit* edtFtpFile = nullptr;
    QComboBox* cbxFtpProtocol = nullptr; // FTP, FTP over TLS, FTP over TLS (implicit), SFTP
    QSpinBox* spnFtpPort = nullptr;      // 0 shows "Default": the protocol's own port
    QLabel* lblFtpKeyFile = nullptr;
    QLineEdit* edtFtpKeyFile = nullptr; // SFTP: a private key file instead of the password
    QLabel* lblFtpHostKeys = nullptr;
    QListWidget* lstFtpHostKeys = nullptr; // SFTP: the trusted host keys, removable
    QPushButton* btnRemoveHostKey = nullptr;
    QLabel* lblClearTextHint = nullptr; // plain FTP: the password travels in clear
    TByteField FFtpKeyFile;
    QLabel* lblFtpCaFile = nullptr;
    QLineEdit* edtFtpCaFile = nullptr; // FTP over TLS: certificates that vouch for the server
    TByteField FFtpCaFile;
    QLabel* lblSavedPasswordHint = nullptr;
    bool FNewServer = false; // the database had no server settings when the dialog opened
    QString FUploadError;    // the upload's failure, told when the upload has ended
    QLabel* lblProgress = nullptr;
    QLabel* lblTransfer = nullptr; // an upload's sizes, speed and time left
    QProgressBar* pbrProgress = nullptr;
    TTransferMeter FMeter;
    QElapsedTimer FClock;
    QPushButton* btnPreview = nullptr;
    QPushButton* btnExport = nullptr;
    QPushButton* btnCancel = nullptr;
};

// A list of users and what happens to them ("+ ann", "- bob", "~ carl"), one a line, in a
// scrolling box under a heading, the counts below.
void ShowUserChanges(QWidget* parent, const QString& title, const QString& heading,
                     const QString& lines, const QString& footer);

// The Export command's dialog: fills it from the list's settings, shows it modally over the
// owner, stores the settings when it closes with OK and destroys it in every case. The caller
// compares the list's fingerprint to tell whether the database changed. Returns what the export
// did (TfrmExportUser::ResultText), empty when nothing was exported; *attempted (when given)
// tells whether an export was started at all (one that failed or was aborted included), *merged
// whether an export took changes made at the target into the database (which the caller then
// saves).
QString ShowExportDialog(TUserList& list, QWidget* owner, const std::string& databasePath = {},
                         bool* attempted = nullptr, bool* merged = nullptr);

} // namespace quorvane
