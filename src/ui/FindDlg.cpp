#include "ui/FindDlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvane {

TFindDialog::TFindDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fdgUser"));
    setWindowTitle(tr("Find"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);

    edtFindText = new QLineEdit(this);
    edtFindText->setObjectName(QStringLiteral("edtFindText"));
    edtFindText->setMinimumWidth(fontMetrics().averageCharWidth() * 32);
    auto* label = new QLabel(tr("Fi&nd what:"), this);
    label->setBuddy(edtFindText);
    cbxWholeWord = new QCheckBox(tr("Match &whole word only"), this);
    cbxWholeWord->setObjectName(QStringLiteral("cbxWholeWord"));
    cbxMatchCase = new QCheckBox(tr("Match &case"), this);
    cbxMatchCase->setObjectName(QStringLiteral("cbxMatchCase"));
    btnFindNext = new QPushButton(tr("&Find Next"), this);
    btnFindNext->setObjectName(QStringLiteral("btnFindNext"));
    btnFindNext->setDefault(true);
    btnCancel = new QPushButton(tr("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto* grid = new QGridLayout;
    grid->addWidget(label, 0, 0);
    grid->addWidget(edtFindText, 0, 1);
    grid->addWidget(cbxWholeWord, 1, 0, 1, 2);
    grid->addWidget(cbxMatchCase, 2, 0, 1, 2);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btnFindNext);
    buttons->addWidget(btnCancel);
    buttons->addStretch(1);
    auto* main = new QHBoxLayout(this);
    main->addLayout(grid, 1);
    main->addLayout(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);

    connect(edtFindText, &QLineEdit::textChanged, this, &TFindDialog::UpdateButtons);
    connect(btnFindNext, &QPushButton::clicked, this, &TFindDialog::Find);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    UpdateButtons();
}

QString TFindDialog::FindText() const {
    return edtFindText->text();
}

bool TFindDialog::WholeWord() const {
    return cbxWholeWord->isChecked();
}

bool TFindDialog::MatchCase() const {
    return cbxMatchCase->isChecked();
}

void TFindDialog::Execute() {
    show();
    raise();
    activateWindow();
    edtFindText->setFocus();
    edtFindText->selectAll();
}

void TFindDialog::UpdateButtons() {
    // Nothing to look for until some text is typed.
    btnFindNext->setEnabled(!edtFindText->text().isEmpty());
}

} // namespace quorvane
