#pragma once
// What every password box of the program shares: hidden text with a show toggle, and for the
// users' passwords a strength line and a Generate button that draws a password with the
// settings of the last user series. The Change Password dialog is made of them.

#include <QDialog>

#include <QString>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace quorvane {

class IRandomSource;

// Hides the box's text and adds a toggle (an eye at its right end, named "actShowPassword")
// that shows it in clear and hides it again.
void AddShowPasswordToggle(QLineEdit& edit);
// Shows or hides the text as the toggle does.
void SetPasswordShown(QLineEdit& edit, bool shown);

// "Strength: fair" for a password (the login counts as known to a guesser); "" when empty.
QString PasswordStrengthText(const std::string& password, const std::string& login);

// A new password with the password settings of the last user series.
std::string GenerateUserPassword(IRandomSource& random);

// A user's password box (hidden, with the show toggle), its Generate button, which draws a
// password with the settings of the last user series and shows it in clear, and its strength
// line: the controls are children of the parent; the caller lays them out.
class TUserPasswordControls {
public:
    TUserPasswordControls(QWidget& parent, const char* editName);
    QLineEdit* const Edit;
    QToolButton* const Generate;
    QLabel* const Strength;
    // What Generate does: a new password into the box, shown.
    void GenerateFrom(IRandomSource& random);
    // The box holds the password Generate drew (not typed over since).
    bool Generated() const;

private:
    QString FGenerated;
};

// The Change Password dialog: a new password for one user.
class TfrmChangePassword : public QDialog {
    Q_OBJECT
public:
    TfrmChangePassword(const std::string& login, QWidget* parent = nullptr);
    // The password as typed, in bytes.
    std::string Password() const;
    // True when the password is the one Generate drew (not typed over since).
    bool Generated() const;
    IRandomSource* Random; // Generate's source; the secure generator unless a test sets one

public slots:
    void btnGenerateClick();

private:
    void UpdateControls();

    std::string FLogin;
    TUserPasswordControls FPassword;
    QPushButton* btnOK;
};

// Shows the dialog; true and the password on OK. generated, when given, tells whether the
// password is the one Generate drew.
bool ShowChangePasswordDialog(const std::string& login, std::string& password,
                              QWidget* parent = nullptr, bool* generated = nullptr);

// The dialog that shows a generated password of a database that keeps only its hash: the one
// time it can be read ("frmPasswordOnce", its text in "edtPassword", "btnCopy" puts it on the
// clipboard).
void ShowPasswordOnce(const std::string& login, const std::string& password,
                      QWidget* parent = nullptr);

} // namespace quorvane
