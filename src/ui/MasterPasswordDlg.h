#pragma once
// The dialogs of an encrypted database: the master password that opens it (with its key file,
// when it has one), and a new master password, typed twice, with its strength and an optional
// key file. What is typed leaves the dialog as locked memory and the boxes are emptied.

#include "userdb/Envelope.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace quorvane {

// The master password of the database fileName.
class TfrmMasterPassword : public QDialog {
    Q_OBJECT
public:
    // needsKeyFile: the database was encrypted with a key file, which must be named too.
    // message: why it is asked again (the failed try's message), or empty.
    TfrmMasterPassword(const QString& fileName, bool needsKeyFile, const QString& message,
                       QWidget* parent = nullptr);
    // What was typed and chosen; the boxes are emptied.
    TMasterCredentials TakeCredentials();

private:
    void UpdateControls();

    bool FNeedsKeyFile;
    QLineEdit* edtMasterPassword;
    QLineEdit* edtKeyFile = nullptr;
    QPushButton* btnOK;
};

// A new master password (Encrypt Database, Change Master Password).
class TfrmNewMasterPassword : public QDialog {
    Q_OBJECT
public:
    TfrmNewMasterPassword(const QString& title, QWidget* parent = nullptr);
    TMasterCredentials TakeCredentials();

private:
    void UpdateControls();

    QLineEdit* edtNewPassword;
    QLineEdit* edtRepeatPassword;
    QLabel* lblStrength;
    QLabel* lblMismatch;
    QLineEdit* edtKeyFile;
    QPushButton* btnOK;
};

// Shows the dialog; true and the credentials on OK.
bool AskMasterPassword(QWidget* parent, const QString& fileName, bool needsKeyFile,
                       const QString& message, TMasterCredentials& credentials);
bool AskNewMasterPassword(QWidget* parent, const QString& title, TMasterCredentials& credentials);

} // namespace quorvane
