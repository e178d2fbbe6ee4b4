#include "ui/OptionsDlg.h"

#include "ui/EditLib.h"
#include "ui/ModalRunner.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvane {

TfrmOptions::TfrmOptions(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(tr("Options"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    edtExpirationDate = new TNaturalEdit(this);
    edtExpirationDate->setObjectName(QStringLiteral("edtExpirationDate"));
    edtExpirationDate->SetMinValue(0);
    edtExpirationDate->SetMaxValue(9999);
    edtExpirationDate->SetMaxLength(4);
    edtExpirationDate->SetValue(30);

    auto* before = new QLabel(tr("Default expiration date: Now +  "), this);
    before->setObjectName(QStringLiteral("lblExpirationDate"));
    before->setBuddy(edtExpirationDate);
    auto* after = new QLabel(tr("days"), this);
    after->setObjectName(QStringLiteral("lblDays"));

    CreateOkCancel(this, tr("OK"), tr("Cancel"), btnOK, btnCancel);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(before);
    row->addWidget(edtExpirationDate);
    row->addWidget(after);
    row->addStretch(1);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(btnOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(btnCancel, QDialogButtonBox::RejectRole);
    auto* main = new QVBoxLayout(this);
    main->addLayout(row);
    main->addSpacing(10);
    main->addWidget(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);

    edtExpirationDate->setFocus();
}

bool ShowOptionsDialog(QWidget* parent) {
    TfrmOptions dialog(parent);
    return RunModal(dialog) == QDialog::Accepted;
}

} // namespace quorvane
