#include "ui/CredentialsDlg.h"

#include "base/BaseTexts.h"
#include "base/Errors.h"
#include "persist/RegistryLib.h"
#include "persist/ShellLib.h"
#include "ui/ByteText.h"
#include "ui/EditLib.h"
#include "ui/ModalRunner.h"
#include "ui/UiPrompts.h"
#include "userdb/Credentials.h"
#include "userdb/UserList.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace quorvane {

namespace {

const QString& SettingsKey() {
    static const QString key = QStringLiteral("\\Software\\Ostrick\\Quorvane\\Credentials");
    return key;
}

} // namespace

QString TfrmCredentials::DefaultTemplate() {
    return tr("Subject: Your access to {url}\n"
              "\n"
              "Hello {name},\n"
              "\n"
              "you can now enter {url} with\n"
              "\n"
              "  login:    {login}\n"
              "  password: {password}\n"
              "\n"
              "Your access ends: {expires}.\n");
}

TfrmCredentials::TfrmCredentials(std::vector<const TUserProp*> users, QWidget* parent)
    : QDialog(parent), FUsers(std::move(users)) {
    setObjectName(QStringLiteral("frmCredentials"));
    setWindowTitle(tr("Send Credentials"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    const int count = static_cast<int>(FUsers.size());
    lblUsers = new QLabel(count == 1 ? tr("One mail for the selected user, from this template. "
                                          "{login}, {password}, {url}, {name}, {email} and "
                                          "{expires} are filled in.")
                                     : tr("One mail for each of the %1 users, from this "
                                          "template. {login}, {password}, {url}, {name}, {email} "
                                          "and {expires} are filled in.")
                                           .arg(QLocale().toString(count)),
                          this);
    lblUsers->setObjectName(QStringLiteral("lblUsers"));
    lblUsers->setWordWrap(true);
    memTemplate = new QPlainTextEdit(this);
    memTemplate->setObjectName(QStringLiteral("memTemplate"));
    memTemplate->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    memTemplate->setTabChangesFocus(true);
    memTemplate->setMinimumSize(fontMetrics().averageCharWidth() * 60,
                                fontMetrics().lineSpacing() * 12);
    btnLoadTemplate = new QPushButton(tr("&Load..."), this);
    btnLoadTemplate->setObjectName(QStringLiteral("btnLoadTemplate"));
    edtUrl = new QLineEdit(this);
    edtUrl->setObjectName(QStringLiteral("edtUrl"));
    edtUrl->setPlaceholderText(QStringLiteral("https://www.example.org/members/"));
    edtFrom = new QLineEdit(this);
    edtFrom->setObjectName(QStringLiteral("edtFrom"));
    cbxOutput = new QComboBox(this);
    cbxOutput->setObjectName(QStringLiteral("cbxOutput"));
    cbxOutput->addItem(tr("To the mail program, one by one"));
    cbxOutput->addItem(tr("E-mail files (.eml) in a folder"));
    cbxOutput->addItem(tr("One mailbox file (.mbox) in a folder"));
    cbxOutput->addItem(tr("A CSV file for a mail merge, in a folder"));
    edtFolder = new QLineEdit(this);
    edtFolder->setObjectName(QStringLiteral("edtFolder"));
    btnBrowse = new QPushButton(tr("&Browse..."), this);
    btnBrowse->setObjectName(QStringLiteral("btnBrowse"));

    auto* buttons = new QDialogButtonBox(this);
    btnOK = buttons->addButton(QDialogButtonBox::Ok);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnCancel = buttons->addButton(QDialogButtonBox::Cancel);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto* grid = new QGridLayout;
    int row = 0;
    grid->addWidget(lblUsers, row++, 0, 1, 3);
    grid->addWidget(BuddyLabel(tr("&Template"), memTemplate, this), row, 0, Qt::AlignTop);
    grid->addWidget(memTemplate, row, 1);
    grid->addWidget(btnLoadTemplate, row++, 2, Qt::AlignTop);
    grid->addWidget(BuddyLabel(tr("Site &address"), edtUrl, this), row, 0);
    grid->addWidget(edtUrl, row++, 1, 1, 2);
    grid->addWidget(BuddyLabel(tr("&Sender"), edtFrom, this), row, 0);
    grid->addWidget(edtFrom, row++, 1, 1, 2);
    grid->addWidget(BuddyLabel(tr("Se&nd"), cbxOutput, this), row, 0);
    grid->addWidget(cbxOutput, row++, 1, 1, 2);
    grid->addWidget(BuddyLabel(tr("&Folder"), edtFolder, this), row, 0);
    grid->addWidget(edtFolder, row, 1);
    grid->addWidget(btnBrowse, row++, 2);
    grid->setColumnStretch(1, 1);
    auto* main = new QVBoxLayout(this);
    main->addLayout(grid);
    main->addWidget(buttons);

    connect(btnLoadTemplate, &QPushButton::clicked, this, &TfrmCredentials::btnLoadTemplateClick);
    connect(btnBrowse, &QPushButton::clicked, this, &TfrmCredentials::btnBrowseClick);
    connect(btnOK, &QPushButton::clicked, this, &TfrmCredentials::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cbxOutput, &QComboBox::currentIndexChanged, this, &TfrmCredentials::UpdateControls);
    connect(edtFolder, &QLineEdit::textChanged, this, &TfrmCredentials::UpdateControls);
    connect(memTemplate, &QPlainTextEdit::textChanged, this, &TfrmCredentials::UpdateControls);

    memTemplate->setPlainText(DefaultTemplate());
    edtFolder->setText(GetPersonalFolder());
    UpdateControls();
}

TfrmCredentials::TOutput TfrmCredentials::Output() const {
    return static_cast<TOutput>(cbxOutput->currentIndex());
}

void TfrmCredentials::UpdateControls() {
    const bool folder = Output() != TOutput::MailProgram;
    edtFolder->setEnabled(folder);
    btnBrowse->setEnabled(folder);
    edtFrom->setEnabled(folder); // the mail program sends from its own account
    btnOK->setEnabled(!memTemplate->toPlainText().trimmed().isEmpty() &&
                      (!folder || !edtFolder->text().trimmed().isEmpty()));
}

void TfrmCredentials::LoadSettings() {
    try {
        const auto key = OpenRegistryKey(TRegistryRootKey::CurrentUser, SettingsKey());
        if (key->ValueExists(QStringLiteral("Template")))
            memTemplate->setPlainText(key->ReadString(QStringLiteral("Template")));
        edtUrl->setText(key->ReadString(QStringLiteral("Url")));
        edtFrom->setText(key->ReadString(QStringLiteral("From")));
        if (key->ValueExists(QStringLiteral("Folder")))
            edtFolder->setText(key->ReadString(QStringLiteral("Folder")));
        if (key->ValueExists(QStringLiteral("Output"))) {
            const int output = key->ReadInteger(QStringLiteral("Output"));
            if (output >= 0 && output < cbxOutput->count()) cbxOutput->setCurrentIndex(output);
        }
    } catch (const std::exception&) {
        // Settings that cannot be read leave the dialog as it starts.
    }
    UpdateControls();
}

void TfrmCredentials::SaveSettings() const {
    try {
        const auto key = OpenRegistryKey(TRegistryRootKey::CurrentUser, SettingsKey());
        key->WriteString(QStringLiteral("Template"), memTemplate->toPlainText());
        key->WriteString(QStringLiteral("Url"), edtUrl->text());
        key->WriteString(QStringLiteral("From"), edtFrom->text());
        key->WriteString(QStringLiteral("Folder"), edtFolder->text());
        key->WriteInteger(QStringLiteral("Output"), cbxOutput->currentIndex());
        key->CloseKey();
    } catch (const std::exception&) {
        // Not kept for the next time; the mails themselves are not affected.
    }
}

QString TfrmCredentials::Send() {
    const TCredentialsTemplate tmpl =
        ParseCredentialsTemplate(TextToBytes(memTemplate->toPlainText()));
    const std::vector<TCredentialsMail> mails =
        MakeCredentialsMails(tmpl, FUsers, TextToBytes(edtUrl->text().trimmed()));
    const int count = static_cast<int>(mails.size());
    if (Output() == TOutput::MailProgram) {
        // One at a time: a composer window per user at once would bury the screen.
        int opened = 0;
        for (const TCredentialsMail& mail : mails) {
            QDesktopServices::openUrl(
                QUrl::fromEncoded(QByteArray::fromStdString(CredentialsMailto(mail))));
            ++opened;
            if (opened == count) break;
            if (ShowMessageBox(this, QMessageBox::Question, tr("Send Credentials"),
                               tr("Mail %1 of %2 is open in the mail program. Open the next one?")
                                   .arg(opened)
                                   .arg(count),
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) != QMessageBox::Yes)
                break;
        }
        return tr("%1 of %2 mails opened in the mail program").arg(opened).arg(count);
    }
    const TCredentialsFormat format = Output() == TOutput::Eml    ? TCredentialsFormat::Eml
                                      : Output() == TOutput::Mbox ? TCredentialsFormat::Mbox
                                                                  : TCredentialsFormat::Csv;
    const QString folder = edtFolder->text().trimmed();
    WriteCredentials(mails, format, QFile::encodeName(folder).toStdString(),
                     TextToBytes(edtFrom->text().trimmed()));
    return count == 1 ? tr("1 mail written to %1").arg(folder)
                      : tr("%1 mails written to %2").arg(QLocale().toString(count), folder);
}

void TfrmCredentials::btnOKClick() {
    // A failure is shown and the dialog stays open with everything as typed.
    if (!Guarded(this, [this] { FResult = Send(); })) return;
    SaveSettings();
    accept();
}

void TfrmCredentials::btnLoadTemplateClick() {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgLoadTemplate"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({tr("Text Files (*.txt)"), tr("All Files (*)")});
    if (RunModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString name = dialog.selectedFiles().front();
    Guarded(this, [&] {
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            throw EQuorvaneError(Msg(texts::CannotOpenFile, QFile::encodeName(name).toStdString()));
        memTemplate->setPlainText(QString::fromUtf8(file.readAll()));
    });
}

void TfrmCredentials::btnBrowseClick() {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgCredentialsFolder"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    const QString start = ExistingFolder(edtFolder->text());
    if (!start.isEmpty()) dialog.setDirectory(start);
    if (RunModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    edtFolder->setText(dialog.selectedFiles().front());
}

QString ShowCredentialsDialog(const std::vector<const TUserProp*>& users, QWidget* parent) {
    if (users.empty()) return QString();
    TfrmCredentials dialog(users, parent);
    dialog.LoadSettings();
    if (RunModal(dialog) != QDialog::Accepted) return QString();
    return dialog.Result();
}

} // namespace quorvane
