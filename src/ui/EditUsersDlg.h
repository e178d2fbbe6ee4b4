#pragma once
// Edit Users: the groups and the expiry of several selected users, changed at once. What the
// dialog leaves empty or "as it is" stays as each user has it.

#include "userdb/UserCommands.h"

#include <QDialog>

class QDateEdit;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quorvane {

class TfrmEditUsers : public QDialog {
    Q_OBJECT
public:
    TfrmEditUsers(int count, QWidget* parent = nullptr);

    // The change the controls hold; raises EQuorvaneError for a group name the rules refuse.
    TSeveralUsersChange Change() const;

private:
    QLineEdit* edtJoin;
    QLineEdit* edtLeave;
    QRadioButton* rbnKeepExpiry;
    QRadioButton* rbnNeverExpire;
    QRadioButton* rbnExpireOn;
    QDateEdit* dtpExpireDate;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};

// Shows the dialog for the users at `indices` and applies what it holds when it ends with OK.
// Returns each user it changed with the user as it was before (for Undo); nothing after
// Cancel. A refused change shows why and keeps the dialog open.
std::vector<std::pair<int, TUserProp>>
ShowEditUsersDialog(TUserList& list, const std::vector<int>& indices, QWidget* parent = nullptr);

} // namespace quorvane
