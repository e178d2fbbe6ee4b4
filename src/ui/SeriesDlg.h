#pragma once
// The "User Series" dialog: how many users to create and how their logins and passwords are
// built, a Test button to try the settings, and OK to add the series to the database. After a
// series the generated logins and passwords can be copied or saved from a small result view,
// since the administrator has to hand them out.

#include "userdb/GenSeries.h"

#include <QDialog>
#include <QGroupBox>

#include <functional>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace quorvane {

class IRandomSource;
class TNaturalEdit;
class TUserList;

// A titled group of radio buttons; the position of the checked one is the value.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(const QString& title, const QStringList& items, QWidget* parent = nullptr);
    // The checked position, or -1 when none is checked.
    int ItemIndex() const;
    void SetItemIndex(int index);
    QButtonGroup* Buttons() const { return FButtons; }

private:
    QButtonGroup* FButtons;
};

class TfrmUserSeries : public QDialog {
    Q_OBJECT
public:
    explicit TfrmUserSeries(TUserList& list, QWidget* parent = nullptr);

    // The source of logins and passwords; the secure generator unless a test sets another.
    IRandomSource* Random;

    // The options the controls hold, every number within its bounds; a radio group with no
    // selection counts as "Random".
    TSeriesOptions Options() const;
    // The users the last OK created, in order.
    const std::vector<TSeriesUser>& Created() const { return FCreated; }

    // Adds up to count users to the list with the busy cursor; shows the warning of an
    // exhausted login space. Failures propagate.
    void CreateSeries(int count);

public slots:
    void btnTestClick();
    void btnOKClick();
    void btnCancelClick();

private:
    TUserList& FList;
    std::vector<TSeriesUser> FCreated;

    TNaturalEdit* edtUserCount;
    TNaturalEdit* edtLoginLength;
    TRadioGroup* rgpLoginCase;
    TRadioGroup* rgpLoginChars;
    TNaturalEdit* edtPasswordLength;
    TRadioGroup* rgpPasswordCase;
    TRadioGroup* rgpPasswordChars;
    // What every user of the series gets.
    QLineEdit* edtPrefix;
    QCheckBox* cbxNumbered;
    QCheckBox* cbxUnambiguous;
    QCheckBox* cbxExpire;
    QDateEdit* dtpExpireDate;
    QLineEdit* edtGroups;
    QLineEdit* edtTestLogin;
    QLineEdit* edtTestPassword;
    QToolButton* btnTest;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};

// The settings of the last series created (stored per user), the defaults before the first;
// damaged values give the defaults. The user dialog's Generate uses them too.
TSeriesOptions StoredSeriesOptions();
// Raises the settings store's error when it cannot be written.
void StoreSeriesOptions(const TSeriesOptions& options);

// Shows the dialog for the list; true when it closed with OK (users may have been added).
// `created`, when given, receives the users the run created.
bool ShowUserSeriesDialog(TUserList& list, QWidget* parent = nullptr,
                          std::vector<TSeriesUser>* created = nullptr);

// The text of a created series as handed out: one "login<TAB>password" line per user, each
// ended by a line feed.
std::string SeriesText(const std::vector<TSeriesUser>& users);

// The small result view of a series: the logins and passwords, with Copy and Save As.
class TfrmSeriesResult : public QDialog {
    Q_OBJECT
public:
    // sendCredentials, when given, is what the Send Credentials button does.
    TfrmSeriesResult(std::vector<TSeriesUser> users, QWidget* parent = nullptr,
                     std::function<void()> sendCredentials = {});

    // Writes the text to the file, readable by its owner only (it holds clear passwords).
    // Raises the file system's error.
    void SaveTo(const QString& fileName) const;

public slots:
    void btnCopyClick();
    void btnSaveClick();

private:
    std::vector<TSeriesUser> FUsers;
    QPlainTextEdit* memUsers;
    QPushButton* btnCopy;
    QPushButton* btnSave;
    QPushButton* btnSendCredentials = nullptr;
    QPushButton* btnClose;
    QLabel* lblCopied; // says what Copy put on the clipboard
};

// Shows the result view modally (nothing when the series is empty); sendCredentials, when given,
// sends the new users their credentials from the view.
void ShowSeriesResult(const std::vector<TSeriesUser>& users, QWidget* parent = nullptr,
                      std::function<void()> sendCredentials = {});

} // namespace quorvane
