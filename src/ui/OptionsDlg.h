#pragma once
// The options dialog: the default expiration period in days of users added from now on (0: they
// do not expire), and after how many idle minutes an encrypted database is locked.

#include <QDialog>

class QCheckBox;
class QPushButton;
class QSpinBox;

namespace quorvane {

class TNaturalEdit;

class TfrmOptions : public QDialog {
    Q_OBJECT
public:
    explicit TfrmOptions(QWidget* parent = nullptr);

    TNaturalEdit* ExpirationDate() const { return edtExpirationDate; }
    int DefaultExpiryDays() const;
    void SetDefaultExpiryDays(int days);
    // Minutes without input after which an encrypted database is locked; 0: never.
    int IdleLockMinutes() const;
    void SetIdleLockMinutes(int minutes);

private:
    TNaturalEdit* edtExpirationDate;
    QCheckBox* cbxIdleLock;
    QSpinBox* spnIdleMinutes;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};

// Shows the options dialog with the stored values; returns true for OK, which stores them.
bool ShowOptionsDialog(QWidget* parent = nullptr);

// The stored default expiry period in days (KDefaultExpiryDays when none is stored or the entry
// is damaged). It lives in the per-user options file that quorvane-cli reads too.
int StoredDefaultExpiryDays();
void StoreDefaultExpiryDays(int days);

// The stored idle lock (0: off, the default; a damaged entry reads as off).
int StoredIdleLockMinutes();
void StoreIdleLockMinutes(int minutes);

} // namespace quorvane
