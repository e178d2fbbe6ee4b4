#include "ui/OptionsDlg.h"

#include "base/Errors.h"
#include "persist/RegistryLib.h"
#include "ui/EditLib.h"
#include "ui/ModalRunner.h"
#include "userdb/NewUser.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quorvane {

namespace {

const QString KOptionsKey = QStringLiteral("\\Software\\Ostrick\\Quorvane\\Options");
const QString KIdleLockValue = QStringLiteral("IdleLockMinutes");
// The command line reads this value from the same file (ReadDefaultExpiryDays).
const QString KExpiryDaysValue = QStringLiteral("DefaultExpiryDays");
constexpr int KMaxIdleMinutes = 999;

} // namespace

int StoredIdleLockMinutes() {
    try {
        const std::unique_ptr<TRegistry> reg =
            OpenRegistryKey(TRegistryRootKey::CurrentUser, KOptionsKey);
        if (!reg->ValueExists(KIdleLockValue)) return 0;
        const int minutes = reg->ReadInteger(KIdleLockValue);
        return minutes >= 0 && minutes <= KMaxIdleMinutes ? minutes : 0;
    } catch (const EQuorvaneError&) {
        return 0;
    }
}

void StoreIdleLockMinutes(int minutes) {
    const std::unique_ptr<TRegistry> reg =
        OpenRegistryKey(TRegistryRootKey::CurrentUser, KOptionsKey);
    reg->WriteInteger(KIdleLockValue, minutes);
}

int StoredDefaultExpiryDays() {
    try {
        const std::unique_ptr<TRegistry> reg =
            OpenRegistryKey(TRegistryRootKey::CurrentUser, KOptionsKey);
        if (!reg->ValueExists(KExpiryDaysValue)) return KDefaultExpiryDays;
        const int days = reg->ReadInteger(KExpiryDaysValue);
        return days >= 0 && days <= KMaxExpiryDays ? days : KDefaultExpiryDays;
    } catch (const EQuorvaneError&) {
        return KDefaultExpiryDays;
    }
}

void StoreDefaultExpiryDays(int days) {
    const std::unique_ptr<TRegistry> reg =
        OpenRegistryKey(TRegistryRootKey::CurrentUser, KOptionsKey);
    reg->WriteInteger(KExpiryDaysValue, days);
    reg->CloseKey();
}

TfrmOptions::TfrmOptions(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(tr("Options"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    edtExpirationDate = new TNaturalEdit(this);
    edtExpirationDate->setObjectName(QStringLiteral("edtExpirationDate"));
    edtExpirationDate->SetMinValue(0);
    edtExpirationDate->SetMaxValue(KMaxExpiryDays);
    edtExpirationDate->SetMaxLength(4);
    edtExpirationDate->SetValue(KDefaultExpiryDays);
    edtExpirationDate->setToolTip(tr("For users added from now on; 0: they do not expire"));

    auto* before = new QLabel(tr("Default expiration date: Now +  "), this);
    before->setObjectName(QStringLiteral("lblExpirationDate"));
    before->setBuddy(edtExpirationDate);
    auto* after = new QLabel(tr("days"), this);
    after->setObjectName(QStringLiteral("lblDays"));

    cbxIdleLock = new QCheckBox(tr("&Lock after idle time:"), this);
    cbxIdleLock->setObjectName(QStringLiteral("cbxIdleLock"));
    cbxIdleLock->setToolTip(tr("An encrypted database is hidden and cleared from memory until "
                               "its master password is given again"));
    spnIdleMinutes = new QSpinBox(this);
    spnIdleMinutes->setObjectName(QStringLiteral("spnIdleMinutes"));
    spnIdleMinutes->setRange(1, KMaxIdleMinutes);
    spnIdleMinutes->setValue(10);
    spnIdleMinutes->setSuffix(tr(" minutes"));
    spnIdleMinutes->setEnabled(false);
    connect(cbxIdleLock, &QCheckBox::toggled, spnIdleMinutes, &QSpinBox::setEnabled);

    CreateOkCancel(this, tr("OK"), tr("Cancel"), btnOK, btnCancel);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(before);
    row->addWidget(edtExpirationDate);
    row->addWidget(after);
    row->addStretch(1);
    auto* lockRow = new QHBoxLayout;
    lockRow->addWidget(cbxIdleLock);
    lockRow->addWidget(spnIdleMinutes);
    lockRow->addStretch(1);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(btnOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(btnCancel, QDialogButtonBox::RejectRole);
    auto* main = new QVBoxLayout(this);
    main->addLayout(row);
    main->addLayout(lockRow);
    main->addSpacing(10);
    main->addWidget(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);

    edtExpirationDate->setFocus();
}

int TfrmOptions::DefaultExpiryDays() const {
    return edtExpirationDate->Value();
}

void TfrmOptions::SetDefaultExpiryDays(int days) {
    edtExpirationDate->SetValue(days);
}

int TfrmOptions::IdleLockMinutes() const {
    return cbxIdleLock->isChecked() ? spnIdleMinutes->value() : 0;
}

void TfrmOptions::SetIdleLockMinutes(int minutes) {
    cbxIdleLock->setChecked(minutes > 0);
    if (minutes > 0) spnIdleMinutes->setValue(minutes);
}

bool ShowOptionsDialog(QWidget* parent) {
    TfrmOptions dialog(parent);
    dialog.SetDefaultExpiryDays(StoredDefaultExpiryDays());
    dialog.SetIdleLockMinutes(StoredIdleLockMinutes());
    if (RunModal(dialog) != QDialog::Accepted) return false;
    StoreDefaultExpiryDays(dialog.DefaultExpiryDays());
    StoreIdleLockMinutes(dialog.IdleLockMinutes());
    return true;
}

} // namespace quorvane
