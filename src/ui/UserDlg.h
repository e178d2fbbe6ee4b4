#pragma once
// The user properties dialog: adds one user to the list or edits one.

#include "ui/ByteText.h"
#include "ui/PasswordField.h"

#include <QDate>
#include <QDialog>

#include "base/DateUtil.h"

class QCheckBox;
class QDateEdit;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace quorvane {

class TUserList;
class TUserProp;

enum class TUserDialogMode { Add, Edit };

class TfrmUser : public QDialog {
    Q_OBJECT
public:
    // Builds the controls; the expiry date starts one calendar month from now.
    explicit TfrmUser(QWidget* parent = nullptr);

    // The list being edited, the index of the edited user (-1 for a new one) and the mode.
    void SetTarget(TUserList* list, int index, TUserDialogMode mode);

    // Copies the nine editable fields (the eight of the record and the groups) between the
    // controls and a user. Fields the user did not touch keep their exact bytes.
    void FillFromUser(const TUserProp& user);
    // How a new user starts: expiring at `date`, or not (the date then shown for later).
    void SetExpiry(bool expire, TDateTime date);
    void WriteToUser(TUserProp& user) const;

    // OK is enabled (and the default button) when the login may be used: not blank, no ":",
    // no control character; and when every group name may be used. The line under the fields
    // says why OK is disabled, and warns of what is allowed but risky (an enabled user without a
    // password, a login starting with "#"). The date picker is enabled while "Expire on" is
    // checked.
    void UpdateControls();

    // Why OK is disabled (one sentence per reason; empty when it is enabled), and the warnings.
    QStringList Problems() const;
    QStringList Warnings() const;

    // False when another user of the list has the typed login (letters a-z folded, no trimming).
    bool IsLoginUnique() const;
    // A login that is not blank and that another user has: OK stays disabled, and the dialog
    // says so beside the field.
    bool LoginTaken() const;

    // The login as typed, in bytes.
    std::string TypedLogin() const;
    // True when the password box holds what Generate drew (not typed over since).
    bool PasswordGenerated() const;

private slots:
    void edtLoginChange();
    void cbxExpireClick();
    void btnOKClick();
    void btnGenerateClick();

private:
    TDateTime PickedExpireDate() const;
    void SetExpireDate(TDateTime value);

    TUserList* FList = nullptr;
    int FIndex = -1;
    TUserPasswordControls FPasswordBox; // the password box, Generate and the strength line
    TUserDialogMode FMode = TUserDialogMode::Add;

    QLineEdit* edtLogin;
    QLineEdit* edtPassword;
    QCheckBox* cbxDisable;
    QCheckBox* cbxExpire;
    QDateEdit* dtpExpireDate;
    QLineEdit* edtFullName;
    QLineEdit* edtEmail;
    QLineEdit* edtGroups;
    QPlainTextEdit* mmComments;
    QLabel* lblProblems;
    QLabel* lblLoginTaken;
    QLabel* lblStrength;
    QToolButton* btnGenerate;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QDialogButtonBox* FButtons;

    // What the controls were filled with, so untouched fields go back byte for byte.
    TByteField FLogin, FPassword, FFullName, FEmail, FComments, FGroups;
    // The edited user is known only by a stored hash: an empty password field keeps the hash.
    bool FHashOnly = false;
    // The picker's full value: its date is what the picker shows, its time of day is kept.
    TDateTime FExpireDate = 0;
    QDate FShownExpireDay;
};

// Runs the dialog for one showing. Index is the position of the user to edit, or -1 to add one.
// On OK the fields are written into that user, or into a new user appended to the list whose
// CreatedDate is now; the written user is returned. On Cancel nothing changes and nullptr is
// returned. *changed (when given) tells whether the list's content changed, so the caller marks
// the document modified only then.
TUserProp* ShowUserDialog(TUserList& list, int index, TUserDialogMode mode,
                          QWidget* parent = nullptr, bool* changed = nullptr);

} // namespace quorvane
