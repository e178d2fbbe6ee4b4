#pragma once
// The export dialog's form: its controls, built and laid out once. Only the dialog uses it;
// tests reach the controls through their object names.

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;

namespace quorvane {

struct TExportForm {
    // Builds the controls as children of `dialog` and lays them out in it.
    explicit TExportForm(QDialog& dialog);

    // The password file's form and its work factor.
    QComboBox* cbxFormat = nullptr;
    QLabel* lblPlainTextNote = nullptr;
    QLabel* lblSchemeHint = nullptr; // which servers accept the chosen form
    QLabel* lblWorkFactor = nullptr;
    QSpinBox* spnWorkFactor = nullptr; // bcrypt's cost or SHA-crypt's rounds
    QLabel* lblEstimate = nullptr;     // export time for this database, server work per login

    // The targets, one a line, ticked where an export goes; the fields below are those of the
    // target chosen in the list.
    QListWidget* lstTargets = nullptr;
    QPushButton* btnAddTarget = nullptr;
    QPushButton* btnRenameTarget = nullptr;
    QPushButton* btnRemoveTarget = nullptr;

    // A local file.
    QRadioButton* rbnToFile = nullptr;
    QLineEdit* edtFile = nullptr;
    QToolButton* btnBrowse = nullptr;

    // A server.
    QRadioButton* rbnToFTP = nullptr;
    QComboBox* cbxFtpProtocol = nullptr; // FTP, FTP over TLS, FTP over TLS (implicit), SFTP
    QSpinBox* spnFtpPort = nullptr;      // 0 shows "Default": the protocol's own port
    QLineEdit* edtFtpHost = nullptr;
    QCheckBox* cbxFTPPassiveMode = nullptr;
    QLineEdit* edtFtpLogin = nullptr;
    QLineEdit* edtFtpPassword = nullptr;
    QCheckBox* cbxFTPPassSave = nullptr;
    QLabel* lblSavedPasswordHint = nullptr;
    QLabel* lblFtpKeyFile = nullptr;
    QLineEdit* edtFtpKeyFile = nullptr; // SFTP: a private key file instead of the password
    QLabel* lblFtpCaFile = nullptr;
    QLineEdit* edtFtpCaFile = nullptr;       // FTP over TLS: certificates that vouch for the server
    QToolButton* btnBrowseKeyFile = nullptr; // chooses the key file, or the CA file
    QLabel* lblFtpHostKeys = nullptr;
    QListWidget* lstFtpHostKeys = nullptr; // SFTP: the trusted host keys, removable
    QPushButton* btnRemoveHostKey = nullptr;
    QLineEdit* edtFtpFile = nullptr;
    QLabel* lblClearTextHint = nullptr; // plain FTP: the password travels in clear

    // A store web servers read the users from: an SQL database or an LDAP directory, reached
    // with the login and password above.
    QRadioButton* rbnToStore = nullptr;
    QLineEdit* edtStoreUrl = nullptr; // sqlite:PATH, postgresql://..., ldap://HOST/BASE-DN

    // After the replacement, the site is asked to let one of the database's users in.
    QCheckBox* cbxCheckAfter = nullptr;
    QLineEdit* edtCheckUrl = nullptr;
    QLineEdit* edtCheckUser = nullptr;

    // The program that reads the chosen target's file and the form it gets; the written file's
    // mode and group; the command run once every target holds its new file.
    QComboBox* cbxConsumer = nullptr;   // data: the program's command-line name
    QComboBox* cbxTargetForm = nullptr; // data: a form's command-line name; "": the program's own
    QLineEdit* edtRealm = nullptr;      // for a form that holds one (Digest)
    QLineEdit* edtMode = nullptr;       // octal permission bits; empty: kept as the file had them
    QLineEdit* edtGroup = nullptr;
    QLineEdit* edtAfter = nullptr;

    // What the export is doing, and the buttons.
    QLabel* lblProgress = nullptr;
    QLabel* lblTransfer = nullptr; // an upload's sizes, speed and time left
    QProgressBar* pbrProgress = nullptr;
    QPushButton* btnPreview = nullptr;
    QPushButton* btnExport = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    int Px(int pixels) const; // a length of the design, in the font's scale
    void BuildFormat(QDialog& dialog);
    void BuildTargets(QDialog& dialog);
    void BuildFileTarget(QDialog& dialog);
    void BuildServerTarget(QDialog& dialog);
    void BuildReader(QDialog& dialog);
    void BuildProgress(QDialog& dialog);
    void LayOut(QDialog& dialog);

    double FScale = 1.0;
    // The captions beside the fields.
    QLabel* FFormatCaption = nullptr;
    QLabel* FTargetsCaption = nullptr;
    QLabel* FFileCaption = nullptr;
    QLabel* FProtocolCaption = nullptr;
    QLabel* FPortCaption = nullptr;
    QLabel* FHostCaption = nullptr;
    QLabel* FLoginCaption = nullptr;
    QLabel* FPasswordCaption = nullptr;
    QLabel* FRemoteCaption = nullptr;
    QLabel* FStoreCaption = nullptr;
    QLabel* FConsumerCaption = nullptr;
    QLabel* FTargetFormCaption = nullptr;
    QLabel* FRealmCaption = nullptr;
    QLabel* FModeCaption = nullptr;
    QLabel* FGroupCaption = nullptr;
    QLabel* FAfterCaption = nullptr;
};

} // namespace quorvane
