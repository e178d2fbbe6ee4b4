#include "ui/EditUsersDlg.h"

#include "ui/ByteText.h"
#include "ui/DateConv.h"
#include "ui/EditLib.h"
#include "ui/ModalRunner.h"
#include "ui/OptionsDlg.h"
#include "ui/UiPrompts.h"
#include "userdb/Groups.h"
#include "userdb/NewUser.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quorvane {

TfrmEditUsers::TfrmEditUsers(int count, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmEditUsers"));
    setWindowTitle(tr("Edit %1 Users").arg(QLocale().toString(count)));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    edtJoin = new QLineEdit(this);
    edtJoin->setObjectName(QStringLiteral("edtJoin"));
    edtJoin->setPlaceholderText(tr("staff, editors"));
    edtLeave = new QLineEdit(this);
    edtLeave->setObjectName(QStringLiteral("edtLeave"));
    for (QLineEdit* edit : {edtJoin, edtLeave}) // room for a few group names
        edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 36);
    rbnKeepExpiry = new QRadioButton(tr("&Keep each user's expiry"), this);
    rbnKeepExpiry->setObjectName(QStringLiteral("rbnKeepExpiry"));
    rbnKeepExpiry->setChecked(true);
    rbnNeverExpire = new QRadioButton(tr("&Never expire"), this);
    rbnNeverExpire->setObjectName(QStringLiteral("rbnNeverExpire"));
    rbnExpireOn = new QRadioButton(tr("Expire &on"), this);
    rbnExpireOn->setObjectName(QStringLiteral("rbnExpireOn"));
    dtpExpireDate = new TDatePicker(this);
    dtpExpireDate->setObjectName(QStringLiteral("dtpExpireDate"));
    SetUpDatePicker(*dtpExpireDate);
    dtpExpireDate->setDate(DayCountToDate(NewUserExpiry(Now(), StoredDefaultExpiryDays()).Date));
    dtpExpireDate->setEnabled(false);
    connect(rbnExpireOn, &QRadioButton::toggled, dtpExpireDate, &QWidget::setEnabled);
    CreateOkCancel(this, tr("OK"), tr("Cancel"), btnOK, btnCancel);
    btnOK->setEnabled(true);
    btnOK->setDefault(true);

    auto* groups = new QGroupBox(tr(" Groups "), this);
    auto* groupsGrid = new QGridLayout(groups);
    auto* join = new QLabel(tr("&Join"), groups);
    join->setBuddy(edtJoin);
    groupsGrid->addWidget(join, 0, 0);
    groupsGrid->addWidget(edtJoin, 0, 1);
    auto* leave = new QLabel(tr("&Leave"), groups);
    leave->setBuddy(edtLeave);
    groupsGrid->addWidget(leave, 1, 0);
    groupsGrid->addWidget(edtLeave, 1, 1);
    auto* expiry = new QGroupBox(tr(" Expiry "), this);
    auto* expiryGrid = new QGridLayout(expiry);
    expiryGrid->addWidget(rbnKeepExpiry, 0, 0, 1, 2);
    expiryGrid->addWidget(rbnNeverExpire, 1, 0, 1, 2);
    expiryGrid->addWidget(rbnExpireOn, 2, 0);
    expiryGrid->addWidget(dtpExpireDate, 2, 1);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(btnOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(btnCancel, QDialogButtonBox::RejectRole);
    auto* main = new QVBoxLayout(this);
    main->addWidget(groups);
    main->addWidget(expiry);
    main->addWidget(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    // OK is connected by ShowEditUsersDialog: the change is applied before the dialog closes.
    edtJoin->setFocus();
}

TSeveralUsersChange TfrmEditUsers::Change() const {
    TSeveralUsersChange change;
    change.Join = ParseGroupList(TextToBytes(edtJoin->text()));
    change.Leave = ParseGroupList(TextToBytes(edtLeave->text()));
    if (rbnNeverExpire->isChecked()) change.Expiry = TSeveralUsersChange::TExpiry::Never;
    if (rbnExpireOn->isChecked()) {
        change.Expiry = TSeveralUsersChange::TExpiry::On;
        change.ExpireDate = ReplaceDay(0, dtpExpireDate->date());
    }
    return change;
}

std::vector<std::pair<int, TUserProp>>
ShowEditUsersDialog(TUserList& list, const std::vector<int>& indices, QWidget* parent) {
    TfrmEditUsers dialog(static_cast<int>(indices.size()), parent);
    std::vector<std::pair<int, TUserProp>> changed;
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("btnOK"));
    QObject::connect(ok, &QPushButton::clicked, &dialog, [&] {
        if (Guarded(&dialog, [&] { changed = ChangeSeveralUsers(list, indices, dialog.Change()); }))
            dialog.accept();
    });
    RunModal(dialog);
    return changed;
}

} // namespace quorvane
