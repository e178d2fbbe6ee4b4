#pragma once
// The options dialog: shows the default expiration period in days.

#include <QDialog>

class QPushButton;

namespace quorvane {

class TNaturalEdit;

class TfrmOptions : public QDialog {
    Q_OBJECT
public:
    explicit TfrmOptions(QWidget* parent = nullptr);

    TNaturalEdit* ExpirationDate() const { return edtExpirationDate; }

private:
    TNaturalEdit* edtExpirationDate;
    QPushButton* btnOK;
    QPushButton* btnCancel;
};

// Shows the options dialog, which always opens with 30 days; returns true for OK. The period
// is not kept: the periods the program applies are fixed where they are used.
bool ShowOptionsDialog(QWidget* parent = nullptr);

} // namespace quorvane
