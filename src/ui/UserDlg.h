#pragma once
// The user properties dialog: adds one user to the list or edits one.

#include "ByteText.h"

#include <QDate>
#include <QDialog>

#include "DateUtil.h"

class QCheckBox;
class QDateEdit;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TUserList;
class TUserProp;

enum TUserDialogMode { udmAdd, udmEdit };

class TfrmUser : public QDialog {
    Q_OBJECT
public:
    // Builds the controls; the expiry date starts one calendar month from now.
    explicit TfrmUser(QWidget* parent = nullptr);

    // The list being edited, the index of the edited user (-1 for a new one) and the mode.
    void SetTarget(TUserList* list, int index, TUserDialogMode mode);

    // Copies the eight editable fields between the controls and a user. Fields the user did not
    // touch keep their exact bytes.
    void FillFromUser(const TUserProp& user);
    void WriteToUser(TUserProp& user) const;

    // OK is enabled (and the default button) when login and password are not blank; the date
    // picker is enabled while "Expire on" is checked.
    void UpdateControls();

    // False when another user of the list has the typed login (letters a-z folded, no trimming).
    bool IsLoginUnique() const;

    // The login as typed, in bytes.
    std::string TypedLogin() const;

private slots:
    void edtLoginChange();
    void cbxExpireClick();
    void btnOKClick();

private:
    TDateTime PickedExpireDate() const;
    void SetExpireDate(TDateTime value);

    TUserList* FList = nullptr;
    int FIndex = -1;
    TUserDialogMode FMode = udmAdd;

    QLineEdit* edtLogin;
    QLineEdit* edtPassword;
    QCheckBox* cbxDisable;
    QCheckBox* cbxExpire;
    QDateEdit* dtpExpireDate;
    QLineEdit* edtFullName;
    QLineEdit* edtEmail;
    QPlainTextEdit* mmComments;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // What the controls were filled with, so untouched fields go back byte for byte.
    TByteField FLogin, FPassword, FFullName, FEmail, FComments;
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
