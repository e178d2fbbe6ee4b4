#pragma once
// Send Credentials: one mail per user with its login and password, from a template, handed to
// the mail program one by one or written into a folder as .eml files, one mailbox file or a CSV
// file for a mail merge.

#include <QDialog>

#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quorvane {

class TUserProp;

class TfrmCredentials : public QDialog {
    Q_OBJECT
public:
    // Where the mails go; the order of the choices in the dialog.
    enum class TOutput { MailProgram, Eml, Mbox, Csv };

    explicit TfrmCredentials(std::vector<const TUserProp*> users, QWidget* parent = nullptr);

    // The template, address, sender, choice and folder of the last time, from the settings
    // store (a built-in template the first time), and back.
    void LoadSettings();
    void SaveSettings() const;

    // Makes the mails and sends or writes them; raises what the core raises (a user without a
    // password to send, a template line that would break a header, a folder that cannot be
    // written). Returns what was done, for the status line.
    QString Send();
    // What the accepted dialog did (Send's text).
    const QString& Result() const { return FResult; }

    // The built-in template.
    static QString DefaultTemplate();

private slots:
    void btnLoadTemplateClick();
    void btnBrowseClick();
    void btnOKClick();
    void UpdateControls();

private:
    TOutput Output() const;

    std::vector<const TUserProp*> FUsers;
    QLabel* lblUsers;
    QPlainTextEdit* memTemplate;
    QPushButton* btnLoadTemplate;
    QLineEdit* edtUrl;
    QLineEdit* edtFrom;
    QComboBox* cbxOutput;
    QLineEdit* edtFolder;
    QPushButton* btnBrowse;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QString FResult;
};

// Runs the dialog for these users (nothing without users); returns what was done, or an empty
// text after Cancel.
QString ShowCredentialsDialog(const std::vector<const TUserProp*>& users,
                              QWidget* parent = nullptr);

} // namespace quorvane
