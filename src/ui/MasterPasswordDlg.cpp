#include "ui/MasterPasswordDlg.h"

#include "ui/ModalRunner.h"
#include "ui/PasswordField.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace quorvane {

namespace {

QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

// The box's text as bytes in locked memory; the box is emptied.
TSecret TakeText(QLineEdit& edit) {
    QByteArray bytes = edit.text().toUtf8();
    TSecret secret(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    bytes.fill('\0');
    edit.clear();
    return secret;
}

// A box for a key file's path with a Browse button beside it.
QLineEdit* KeyFileRow(QWidget* parent, QGridLayout& grid, int row, const QString& caption) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("edtKeyFile"));
    auto* browse = new QToolButton(parent);
    browse->setObjectName(QStringLiteral("btnKeyFile"));
    browse->setText(QCoreApplication::translate("MasterPasswordDlg", "&Browse..."));
    QObject::connect(browse, &QToolButton::clicked, parent, [parent, edit] {
        QFileDialog dialog(parent);
        dialog.setObjectName(QStringLiteral("dlgKeyFile"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        if (RunModal(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            edit->setText(dialog.selectedFiles().front());
    });
    grid.addWidget(Caption(caption, edit, parent), row, 0);
    auto* line = new QHBoxLayout;
    line->addWidget(edit);
    line->addWidget(browse);
    grid.addLayout(line, row, 1);
    return edit;
}

std::string KeyFilePath(const QLineEdit* edit) {
    if (edit == nullptr || edit->text().trimmed().isEmpty()) return {};
    return QFile::encodeName(edit->text()).toStdString();
}

QDialogButtonBox* Buttons(QDialog* dialog, QPushButton*& ok) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("btnOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace

TfrmMasterPassword::TfrmMasterPassword(const QString& fileName, bool needsKeyFile,
                                       const QString& message, QWidget* parent)
    : QDialog(parent), FNeedsKeyFile(needsKeyFile) {
    setObjectName(QStringLiteral("frmMasterPassword"));
    setWindowTitle(tr("Master Password"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* intro = new QLabel(tr("%1 is encrypted. Enter its master password to open it.")
                                 .arg(QFileInfo(fileName).fileName()),
                             this);
    intro->setObjectName(QStringLiteral("lblIntro"));
    intro->setTextFormat(Qt::PlainText);
    auto* lblMessage = new QLabel(message, this);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setTextFormat(Qt::PlainText);
    lblMessage->setStyleSheet(QStringLiteral("color: #b00020"));
    lblMessage->setVisible(!message.isEmpty());
    edtMasterPassword = new QLineEdit(this);
    edtMasterPassword->setObjectName(QStringLiteral("edtMasterPassword"));
    edtMasterPassword->setMinimumWidth(fontMetrics().averageCharWidth() * 36);
    AddShowPasswordToggle(*edtMasterPassword);

    auto* grid = new QGridLayout;
    grid->addWidget(Caption(tr("&Master password"), edtMasterPassword, this), 0, 0);
    grid->addWidget(edtMasterPassword, 0, 1);
    if (needsKeyFile) edtKeyFile = KeyFileRow(this, *grid, 1, tr("&Key file"));
    auto* main = new QVBoxLayout(this);
    main->addWidget(intro);
    main->addWidget(lblMessage);
    main->addLayout(grid);
    main->addWidget(Buttons(this, btnOK));
    main->setSizeConstraint(QLayout::SetFixedSize);
    connect(edtMasterPassword, &QLineEdit::textChanged, this, &TfrmMasterPassword::UpdateControls);
    if (edtKeyFile != nullptr)
        connect(edtKeyFile, &QLineEdit::textChanged, this, &TfrmMasterPassword::UpdateControls);
    UpdateControls();
    edtMasterPassword->setFocus();
}

void TfrmMasterPassword::UpdateControls() {
    btnOK->setEnabled(!edtMasterPassword->text().isEmpty() &&
                      (!FNeedsKeyFile || !KeyFilePath(edtKeyFile).empty()));
}

TMasterCredentials TfrmMasterPassword::TakeCredentials() {
    TMasterCredentials credentials;
    credentials.KeyFile = KeyFilePath(edtKeyFile);
    credentials.Password = TakeText(*edtMasterPassword);
    return credentials;
}

TfrmNewMasterPassword::TfrmNewMasterPassword(const QString& title, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmNewMasterPassword"));
    setWindowTitle(title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* intro = new QLabel(tr("Without this password (and the key file, when you choose one) "
                                "nobody can open the database, you neither. Keep it safe."),
                             this);
    intro->setObjectName(QStringLiteral("lblIntro"));
    intro->setWordWrap(true);
    edtNewPassword = new QLineEdit(this);
    edtNewPassword->setObjectName(QStringLiteral("edtNewPassword"));
    edtNewPassword->setMinimumWidth(fontMetrics().averageCharWidth() * 36);
    AddShowPasswordToggle(*edtNewPassword);
    edtRepeatPassword = new QLineEdit(this);
    edtRepeatPassword->setObjectName(QStringLiteral("edtRepeatPassword"));
    AddShowPasswordToggle(*edtRepeatPassword);
    lblStrength = new QLabel(this);
    lblStrength->setObjectName(QStringLiteral("lblStrength"));
    lblMismatch = new QLabel(tr("The two passwords differ."), this);
    lblMismatch->setObjectName(QStringLiteral("lblMismatch"));

    auto* grid = new QGridLayout;
    grid->addWidget(Caption(tr("&New master password"), edtNewPassword, this), 0, 0);
    grid->addWidget(edtNewPassword, 0, 1);
    grid->addWidget(lblStrength, 1, 1);
    grid->addWidget(Caption(tr("&Repeat it"), edtRepeatPassword, this), 2, 0);
    grid->addWidget(edtRepeatPassword, 2, 1);
    grid->addWidget(lblMismatch, 3, 1);
    edtKeyFile = KeyFileRow(this, *grid, 4, tr("&Key file (optional)"));
    auto* main = new QVBoxLayout(this);
    main->addWidget(intro);
    main->addLayout(grid);
    main->addWidget(Buttons(this, btnOK));
    main->setSizeConstraint(QLayout::SetFixedSize);
    for (QLineEdit* edit : {edtNewPassword, edtRepeatPassword})
        connect(edit, &QLineEdit::textChanged, this, &TfrmNewMasterPassword::UpdateControls);
    UpdateControls();
    edtNewPassword->setFocus();
}

void TfrmNewMasterPassword::UpdateControls() {
    const QString typed = edtNewPassword->text();
    const bool same = typed == edtRepeatPassword->text();
    QByteArray bytes = typed.toUtf8();
    lblStrength->setText(PasswordStrengthText(bytes.toStdString(), std::string()));
    bytes.fill('\0');
    lblMismatch->setVisible(!same && !edtRepeatPassword->text().isEmpty());
    btnOK->setEnabled(!typed.isEmpty() && same);
}

TMasterCredentials TfrmNewMasterPassword::TakeCredentials() {
    TMasterCredentials credentials;
    credentials.KeyFile = KeyFilePath(edtKeyFile);
    credentials.Password = TakeText(*edtNewPassword);
    edtRepeatPassword->clear();
    return credentials;
}

bool AskMasterPassword(QWidget* parent, const QString& fileName, bool needsKeyFile,
                       const QString& message, TMasterCredentials& credentials) {
    TfrmMasterPassword dialog(fileName, needsKeyFile, message, parent);
    if (RunModal(dialog) != QDialog::Accepted) return false;
    credentials = dialog.TakeCredentials();
    return true;
}

bool AskNewMasterPassword(QWidget* parent, const QString& title, TMasterCredentials& credentials) {
    TfrmNewMasterPassword dialog(title, parent);
    if (RunModal(dialog) != QDialog::Accepted) return false;
    credentials = dialog.TakeCredentials();
    return true;
}

} // namespace quorvane
