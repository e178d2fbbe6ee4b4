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

    // Where the chosen target's file goes: a path on this computer or an address, whose kind
    // decides which of the rows below it reads.
    QLineEdit* edtAddress = nullptr;
    QToolButton* btnBrowse = nullptr; // chooses a file on this computer

    // What the target logs in with, where its kind takes a login.
    QLineEdit* edtTargetLogin = nullptr;
    QLineEdit* edtTargetPassword = nullptr;
    QCheckBox* cbxSavePassword = nullptr;
    QLabel* lblSavedPasswordHint = nullptr;
    // The rows a kind may read besides: each shows or is enabled only where it does.
    QCheckBox* cbxPassiveMode = nullptr;
    QLabel* lblKeyFile = nullptr;
    QLineEdit* edtKeyFile = nullptr; // a private key file instead of the password
    QLabel* lblCaFile = nullptr;
    QLineEdit* edtCaFile = nullptr;          // certificates that vouch for the server
    QToolButton* btnBrowseKeyFile = nullptr; // chooses the key file, or the CA file
    QLabel* lblHostKeys = nullptr;
    QListWidget* lstHostKeys = nullptr; // the trusted host keys, removable
    QPushButton* btnRemoveHostKey = nullptr;
    QLabel* lblAddressHint = nullptr; // why the address will not do, or what its kind cautions of

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
    void BuildAddress(QDialog& dialog);
    void BuildReader(QDialog& dialog);
    void BuildProgress(QDialog& dialog);
    void LayOut(QDialog& dialog);

    double FScale = 1.0;
    // The captions beside the fields.
    QLabel* FFormatCaption = nullptr;
    QLabel* FTargetsCaption = nullptr;
    QLabel* FAddressCaption = nullptr;
    QLabel* FLoginCaption = nullptr;
    QLabel* FPasswordCaption = nullptr;
    QLabel* FConsumerCaption = nullptr;
    QLabel* FTargetFormCaption = nullptr;
    QLabel* FRealmCaption = nullptr;
    QLabel* FModeCaption = nullptr;
    QLabel* FGroupCaption = nullptr;
    QLabel* FAfterCaption = nullptr;
};

} // namespace quorvane
