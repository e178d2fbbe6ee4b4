#pragma once
// The options dialog: the default expiration period in days (shown only), and after how many
// idle minutes an encrypted database is locked.

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

// Shows the options dialog, which always opens with 30 days; returns true for OK. The period
// is not kept: the periods the program applies are fixed where they are used. The idle lock
// opens as stored and is stored on OK.
bool ShowOptionsDialog(QWidget* parent = nullptr);

// The stored idle lock (0: off, the default; a damaged entry reads as off).
int StoredIdleLockMinutes();
void StoreIdleLockMinutes(int minutes);

} // namespace quorvane
