#include "ui/ExportDlg.h"

#include "base/TempFiles.h"
#include "export/CryptSchemes.h"
#include "export/HashCache.h"
#include "export/HashOnlyUsers.h"
#include "export/HashSchemes.h"
#include "export/PasswordFile.h"
#include "ftp/ServerTarget.h"
#include "job/TransferMeter.h"
#include "persist/PrjLib.h"
#include "persist/ShellLib.h"
#include "ui/FitScreen.h"
#include "ui/MessageText.h"
#include "ui/ModalRunner.h"
#include "ui/PasswordField.h"
#include "ui/UiPrompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <initializer_list>
#include <iterator>
#include <utility>

namespace quorvane {

void TQtUiDispatcher::RunAndWait(const std::function<void()>& task) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return; // the program is ending: nobody is left to tell
    if (QThread::currentThread() == app->thread()) {
        task();
        return;
    }
    QMetaObject::invokeMethod(
        app, [&task] { task(); }, Qt::BlockingQueuedConnection);
}

namespace {

bool IsTlsProtocol(TTransferProtocol protocol) {
    return protocol == TTransferProtocol::FtpExplicitTls ||
           protocol == TTransferProtocol::FtpImplicitTls;
}

QFrame* NewRule(QWidget* parent, const char* name) {
    auto* rule = new QFrame(parent);
    rule->setObjectName(QLatin1String(name));
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    return rule;
}

QLabel* NewLabel(QWidget* parent, const char* name, const QString& caption) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QLineEdit* NewEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

} // namespace

TfrmExportUser::TfrmExportUser(QWidget* parent)
    : QDialog(parent), FDispatcher(std::make_shared<TQtUiDispatcher>()) {
    setObjectName(QStringLiteral("frmExportUser"));
    setWindowTitle(tr("Export"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    BuildControls();
}

TfrmExportUser::~TfrmExportUser() {
    // Closed while the upload runs: the worker finishes the upload and the safe rename on its
    // own and deletes the temporary file.
    FJob.reset();
    if (FCursorSet) QApplication::restoreOverrideCursor();
}

void TfrmExportUser::BuildControls() {
    const double scale = fontMetrics().height() / 13.0;
    const auto px = [scale](int pixels) { return static_cast<int>(pixels * scale + 0.5); };

    auto* Label1 = NewLabel(this, "Label1", tr("Password hash"));
    cbxFormat = new QComboBox(this);
    cbxFormat->setObjectName(QStringLiteral("cbxFormat"));
    for (const THashScheme& scheme : HashSchemes())
        cbxFormat->addItem(MessageText(scheme.DisplayMessage()), static_cast<int>(scheme.Id));
    cbxFormat->setMinimumWidth(px(145));
    lblPlainTextNote =
        new QLabel(tr("Web servers on Linux and other Unix systems (Apache, nginx, lighttpd) "
                      "refuse plain-text password files; they accept them only on Windows."),
                   this);
    lblPlainTextNote->setObjectName(QStringLiteral("lblPlainTextNote"));
    lblPlainTextNote->setWordWrap(true);
    QSizePolicy notePolicy = lblPlainTextNote->sizePolicy();
    notePolicy.setRetainSizeWhenHidden(true); // the dialog keeps its size when the note goes
    lblPlainTextNote->setSizePolicy(notePolicy);
    lblSchemeHint = new QLabel(this);
    lblSchemeHint->setObjectName(QStringLiteral("lblSchemeHint"));
    lblSchemeHint->setWordWrap(true);
    lblWorkFactor = new QLabel(this);
    lblWorkFactor->setObjectName(QStringLiteral("lblWorkFactor"));
    spnWorkFactor = new QSpinBox(this);
    spnWorkFactor->setObjectName(QStringLiteral("spnWorkFactor"));
    spnWorkFactor->setGroupSeparatorShown(true);
    lblWorkFactor->setBuddy(spnWorkFactor);
    lblEstimate = new QLabel(this);
    lblEstimate->setObjectName(QStringLiteral("lblEstimate"));
    lblEstimate->setWordWrap(true);
    lblEstimate->setMinimumHeight(2 * lblEstimate->fontMetrics().lineSpacing()); // two lines
    for (QWidget* w : std::initializer_list<QWidget*>{lblWorkFactor, spnWorkFactor, lblEstimate}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true); // the dialog keeps its size between the forms
        w->setSizePolicy(policy);
    }

    rbnToFile = new QRadioButton(tr("To File"), this);
    rbnToFile->setObjectName(QStringLiteral("rbnToFile"));
    rbnToFile->setChecked(true);
    auto* Label2 = NewLabel(this, "Label2", tr("File"));
    edtFile = NewEdit(this, "edtFile");
    edtFile->setMinimumWidth(px(280));
    btnBrowse = new QToolButton(this);
    btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
    btnBrowse->setText(tr("Browse"));
    btnBrowse->setFocusPolicy(Qt::NoFocus);
    btnBrowse->setMinimumWidth(px(65));
    btnBrowse->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    rbnToFTP = new QRadioButton(tr("To FTP Server"), this);
    rbnToFTP->setObjectName(QStringLiteral("rbnToFTP"));
    auto* Label3 = NewLabel(this, "Label3", tr("Host"));
    edtFtpHost = NewEdit(this, "edtFtpHost");
    edtFtpHost->setMinimumWidth(px(170));
    cbxFTPPassiveMode = new QCheckBox(tr("Passive mode"), this);
    cbxFTPPassiveMode->setObjectName(QStringLiteral("cbxFTPPassiveMode"));
    auto* Label4 = NewLabel(this, "Label4", tr("Login"));
    edtFtpLogin = NewEdit(this, "edtFtpLogin");
    auto* Label5 = NewLabel(this, "Label5", tr("Password"));
    edtFtpPassword = NewEdit(this, "edtFtpPassword");
    AddShowPasswordToggle(*edtFtpPassword); // hidden, shown on request
    cbxFTPPassSave = new QCheckBox(tr("Save?"), this);
    cbxFTPPassSave->setObjectName(QStringLiteral("cbxFTPPassSave"));
    cbxFTPPassSave->setToolTip(SavedPasswordHint());
    lblSavedPasswordHint = new QLabel(SavedPasswordHint(), this);
    lblSavedPasswordHint->setObjectName(QStringLiteral("lblSavedPasswordHint"));
    lblSavedPasswordHint->setWordWrap(true);
    // Wrapped within the width the fields give the dialog, never widening it.
    lblSavedPasswordHint->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* Label6 = NewLabel(this, "Label6", tr("File"));
    edtFtpFile = NewEdit(this, "edtFtpFile");
    auto* lblFtpProtocol = NewLabel(this, "lblFtpProtocol", tr("Protocol"));
    cbxFtpProtocol = new QComboBox(this);
    cbxFtpProtocol->setObjectName(QStringLiteral("cbxFtpProtocol"));
    for (const TTransferProtocol protocol :
         {TTransferProtocol::Ftp, TTransferProtocol::FtpExplicitTls,
          TTransferProtocol::FtpImplicitTls, TTransferProtocol::Sftp})
        cbxFtpProtocol->addItem(MessageText(ProtocolDisplayMessage(protocol)),
                                static_cast<int>(protocol));
    auto* lblFtpPort = NewLabel(this, "lblFtpPort", tr("Port"));
    spnFtpPort = new QSpinBox(this);
    spnFtpPort->setObjectName(QStringLiteral("spnFtpPort"));
    spnFtpPort->setRange(0, 65535);
    spnFtpPort->setSpecialValueText(tr("Default"));
    lblFtpKeyFile = NewLabel(this, "lblFtpKeyFile", tr("Key file"));
    edtFtpKeyFile = NewEdit(this, "edtFtpKeyFile");
    edtFtpKeyFile->setPlaceholderText(tr("none: log in with the password"));
    lblFtpCaFile = NewLabel(this, "lblFtpCaFile", tr("CA file"));
    edtFtpCaFile = NewEdit(this, "edtFtpCaFile");
    edtFtpCaFile->setPlaceholderText(tr("none: the system's certificate authorities"));
    edtFtpCaFile->setToolTip(tr("A file of certificates (PEM) that vouch for the server, for a "
                                "server whose certificate no public authority signed"));
    lblFtpHostKeys = NewLabel(this, "lblFtpHostKeys", tr("Host keys"));
    lstFtpHostKeys = new QListWidget(this);
    lstFtpHostKeys->setObjectName(QStringLiteral("lstFtpHostKeys"));
    lstFtpHostKeys->setToolTip(tr("SSH host keys trusted for this server besides known_hosts; "
                                  "a server showing another key is refused"));
    lstFtpHostKeys->setMaximumHeight(lstFtpHostKeys->fontMetrics().height() * 3 + px(8));
    // A fingerprint wider than the list shows its start and end; the whole one is its tip.
    lstFtpHostKeys->setTextElideMode(Qt::ElideMiddle);
    lstFtpHostKeys->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    btnRemoveHostKey = new QPushButton(tr("Remove"), this);
    btnRemoveHostKey->setObjectName(QStringLiteral("btnRemoveHostKey"));
    btnRemoveHostKey->setAutoDefault(false);
    lblClearTextHint =
        new QLabel(tr("Plain FTP sends the password and the password file in clear."), this);
    lblClearTextHint->setObjectName(QStringLiteral("lblClearTextHint"));
    QSizePolicy hintPolicy = lblClearTextHint->sizePolicy();
    hintPolicy.setRetainSizeWhenHidden(true);
    lblClearTextHint->setSizePolicy(hintPolicy);

    // One line each, as wide as the row leaves them (never widening the dialog): a long file
    // name is shortened in its middle, so the rest of the line shows; the whole text is the
    // tool tip.
    lblProgress = new QLabel(this);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    lblTransfer = new QLabel(this);
    lblTransfer->setObjectName(QStringLiteral("lblTransfer"));
    for (QLabel* label : {lblProgress, lblTransfer}) {
        label->setMinimumWidth(px(200));
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->setWordWrap(false);
    }
    pbrProgress = new QProgressBar(this);
    pbrProgress->setObjectName(QStringLiteral("pbrProgress"));
    pbrProgress->setFixedWidth(px(70));
    pbrProgress->setTextVisible(false);
    QSizePolicy barPolicy = pbrProgress->sizePolicy();
    barPolicy.setRetainSizeWhenHidden(true);
    pbrProgress->setSizePolicy(barPolicy);
    pbrProgress->hide();
    btnPreview = new QPushButton(tr("Preview Changes..."), this);
    btnPreview->setObjectName(QStringLiteral("btnPreview"));
    btnExport = new QPushButton(tr("Export"), this);
    btnExport->setObjectName(QStringLiteral("btnExport"));
    btnCancel = new QPushButton(tr("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    for (QPushButton* button : {btnExport, btnCancel})
        button->setMinimumWidth(px(75));

    // Layout, top to bottom.
    auto* heading = new QHBoxLayout;
    heading->addWidget(Label1);
    heading->addWidget(NewRule(this, "Bevel4"), 1);

    auto* grid = new QGridLayout;
    grid->setColumnMinimumWidth(0, px(50));
    grid->setHorizontalSpacing(px(6));
    grid->setColumnStretch(1, 1);
    auto* format = new QHBoxLayout;
    format->addWidget(cbxFormat);
    format->addSpacing(px(12));
    format->addWidget(lblWorkFactor);
    format->addWidget(spnWorkFactor);
    format->addStretch(1);
    grid->addLayout(format, 0, 1, 1, 3);
    // The note on plain text and the guidance on the other forms share one place.
    auto* guidance = new QGridLayout;
    guidance->addWidget(lblPlainTextNote, 0, 0);
    guidance->addWidget(lblSchemeHint, 0, 0);
    guidance->addWidget(lblEstimate, 1, 0);
    grid->addLayout(guidance, 1, 1, 1, 3);

    auto* toFile = new QHBoxLayout;
    toFile->addWidget(rbnToFile);
    toFile->addWidget(NewRule(this, "Bevel1"), 1);
    grid->addLayout(toFile, 2, 0, 1, 4);
    grid->addWidget(Label2, 3, 0);
    grid->addWidget(edtFile, 3, 1, 1, 2);
    grid->addWidget(btnBrowse, 3, 3);

    auto* toFtp = new QHBoxLayout;
    toFtp->addWidget(rbnToFTP);
    toFtp->addWidget(NewRule(this, "Bevel2"), 1);
    grid->addLayout(toFtp, 4, 0, 1, 4);
    grid->addWidget(lblFtpProtocol, 5, 0);
    grid->addWidget(cbxFtpProtocol, 5, 1, Qt::AlignLeft);
    auto* port = new QHBoxLayout;
    port->addWidget(lblFtpPort);
    port->addWidget(spnFtpPort);
    grid->addLayout(port, 5, 2, 1, 2);
    grid->addWidget(Label3, 6, 0);
    grid->addWidget(edtFtpHost, 6, 1);
    grid->addWidget(cbxFTPPassiveMode, 6, 2, 1, 2);
    grid->addWidget(Label4, 7, 0);
    grid->addWidget(edtFtpLogin, 7, 1);
    grid->addWidget(Label5, 8, 0);
    grid->addWidget(edtFtpPassword, 8, 1);
    grid->addWidget(cbxFTPPassSave, 8, 2, 1, 2);
    grid->addWidget(lblSavedPasswordHint, 9, 1, 1, 3);
    // The key file (SFTP) and the CA file (FTP over TLS) share a row: one of them at most shows.
    grid->addWidget(lblFtpKeyFile, 10, 0);
    grid->addWidget(edtFtpKeyFile, 10, 1, 1, 2);
    grid->addWidget(lblFtpCaFile, 10, 0);
    grid->addWidget(edtFtpCaFile, 10, 1, 1, 2);
    grid->addWidget(lblFtpHostKeys, 11, 0, Qt::AlignTop);
    grid->addWidget(lstFtpHostKeys, 11, 1, 1, 2);
    grid->addWidget(btnRemoveHostKey, 11, 3, Qt::AlignTop);
    grid->addWidget(Label6, 12, 0);
    grid->addWidget(edtFtpFile, 12, 1, 1, 2);
    grid->addWidget(lblClearTextHint, 13, 1, 1, 3);
    for (QLabel* label : {Label2, Label3, Label4, Label5, Label6, lblFtpProtocol, lblFtpKeyFile,
                          lblFtpCaFile, lblFtpHostKeys})
        label->setContentsMargins(px(5), 0, 0, 0);

    // Below the rule: what the export is doing, with the bar, over the width of the dialog;
    // under it the sizes and speed of an upload, beside the buttons.
    auto* bottom = new QGridLayout;
    bottom->setVerticalSpacing(px(2));
    bottom->addWidget(lblProgress, 0, 0, 1, 3);
    bottom->addWidget(pbrProgress, 0, 3, Qt::AlignRight);
    bottom->addWidget(lblTransfer, 1, 0);
    bottom->addWidget(btnPreview, 1, 1);
    bottom->addWidget(btnExport, 1, 2);
    bottom->addWidget(btnCancel, 1, 3);
    bottom->setColumnStretch(0, 1);

    // The settings scroll on a screen too small for them; the row of buttons always shows.
    auto* body = new QVBoxLayout;
    body->addLayout(heading);
    body->addLayout(grid);
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(px(10), px(9), px(10), px(7));
    main->addWidget(ScrollingBody(this, body));
    main->addSpacing(px(6));
    main->addWidget(NewRule(this, "Bevel3"));
    main->addLayout(bottom);
    main->setSizeConstraint(QLayout::SetFixedSize); // a fixed dialog frame

    // Tab order: format, file, Cancel, Export, the two targets, then the FTP fields and boxes.
    QWidget* order[] = {cbxFormat,      edtFile,    btnCancel,      btnExport,
                        rbnToFile,      rbnToFTP,   edtFtpHost,     edtFtpLogin,
                        edtFtpPassword, edtFtpFile, cbxFTPPassSave, cbxFTPPassiveMode,
                        cbxFtpProtocol, spnFtpPort, edtFtpKeyFile,  edtFtpCaFile,
                        spnWorkFactor,  btnPreview};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(rbnToFile, &QRadioButton::clicked, this, &TfrmExportUser::rbnToFileClick);
    connect(rbnToFTP, &QRadioButton::clicked, this, &TfrmExportUser::rbnToFileClick);
    // Keyboard selection of a target moves the check without a click.
    connect(rbnToFile, &QRadioButton::toggled, this, &TfrmExportUser::rbnToFileClick);
    for (QLineEdit* edit : {edtFile, edtFtpHost, edtFtpLogin, edtFtpPassword, edtFtpFile})
        connect(edit, &QLineEdit::textChanged, this, &TfrmExportUser::rbnToFileClick);
    connect(cbxFormat, &QComboBox::currentIndexChanged, this, &TfrmExportUser::FormatChanged);
    connect(spnWorkFactor, &QSpinBox::valueChanged, this, &TfrmExportUser::WorkFactorChanged);
    connect(cbxFtpProtocol, &QComboBox::currentIndexChanged, this, &TfrmExportUser::UpdateControls);
    connect(cbxFTPPassSave, &QCheckBox::toggled, this, &TfrmExportUser::UpdateControls);
    connect(lstFtpHostKeys, &QListWidget::currentRowChanged, this, &TfrmExportUser::UpdateControls);
    connect(btnRemoveHostKey, &QPushButton::clicked, this, [this] {
        delete lstFtpHostKeys->takeItem(lstFtpHostKeys->currentRow());
        UpdateControls();
    });
    connect(btnBrowse, &QToolButton::clicked, this, &TfrmExportUser::btnBrowseClick);
    connect(btnExport, &QPushButton::clicked, this, &TfrmExportUser::btnExportClick);
    connect(btnPreview, &QPushButton::clicked, this, &TfrmExportUser::btnPreviewClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmExportUser::btnCancelClick);

    FormatChanged();
    UpdateControls();
}

void TfrmExportUser::LoadSettings() {
    TUserList& list = *UserList;
    const auto load = [](QLineEdit* edit, TByteField& field, const std::string& bytes) {
        edit->setText(BytesToText(bytes));
        field = TByteField(bytes, edit->text());
    };
    load(edtFile, FPassFile, list.PassFile);
    FBcryptCost = list.BcryptCost;
    FShaRounds = list.ShaRounds;
    cbxFormat->setCurrentIndex(cbxFormat->findData(static_cast<int>(list.PassType)));
    FormatChanged(); // also when the form stays the same: the work factors are the list's
    // A port in the stored host shows in the port box.
    const TFtpAddress address = ParseFtpHost(list.FtpHost);
    const bool hasPort = address.Valid && address.Port != 0;
    load(edtFtpHost, FFtpHost,
         hasPort ? list.FtpHost.substr(0, list.FtpHost.rfind(':')) : list.FtpHost);
    spnFtpPort->setValue(hasPort ? address.Port : 0);
    TTransferProtocol protocol = TTransferProtocol::Ftp;
    try {
        protocol = ProtocolFromStoredName(list.FtpProtocol);
    } catch (const EQuorvaneError&) {
        // A protocol of a later version: shown as plain FTP until the user chooses.
    }
    cbxFtpProtocol->setCurrentIndex(cbxFtpProtocol->findData(static_cast<int>(protocol)));
    load(edtFtpKeyFile, FFtpKeyFile, list.FtpKeyFile);
    load(edtFtpCaFile, FFtpCaFile, list.FtpCaFile);
    load(edtFtpLogin, FFtpUser, list.FtpUser);
    load(edtFtpPassword, FFtpPass, list.FtpPass);
    load(edtFtpFile, FFtpPasswdFile, list.FtpPasswdFile);
    // A server not set up yet: its password is not saved unless the user asks for it.
    FNewServer = list.FtpHost.empty() && list.FtpUser.empty() && list.FtpPass.empty() &&
                 list.FtpPasswdFile.empty();
    cbxFTPPassSave->setChecked(FNewServer ? false : list.FtpStorePass);
    cbxFTPPassiveMode->setChecked(list.FtpPassiveMode);
    lstFtpHostKeys->clear();
    for (const std::string& key : StoredHostKeys(list)) {
        auto* item = new QListWidgetItem(QString::fromStdString(key), lstFtpHostKeys);
        item->setToolTip(item->text());
    }
    if (list.ExportToFile)
        rbnToFile->setChecked(true);
    else
        rbnToFTP->setChecked(true);
    lblProgress->clear();
    UpdateControls();
}

void TfrmExportUser::SaveSettings() {
    TUserList& list = *UserList;
    list.PassFile = FPassFile.Read(edtFile->text());
    const TPasswordsType passType = GetPassType();
    StoreSchemeChoice(list, passType,
                      passType == TPasswordsType::ptBcrypt ? FBcryptCost : FShaRounds);
    EnsureHashCacheKey(list); // a slow form keeps its hashes for the next export
    list.FtpHost = FFtpHost.Read(edtFtpHost->text());
    if (spnFtpPort->value() != 0 && ParseFtpHost(list.FtpHost).Port == 0)
        list.FtpHost += ":" + std::to_string(spnFtpPort->value()); // a port typed in the host wins
    const auto protocol = static_cast<TTransferProtocol>(cbxFtpProtocol->currentData().toInt());
    if (SetServerProtocol(list, protocol)) {
        lstFtpHostKeys->clear(); // another kind of server: none of its keys is trusted yet
    } else {
        // The keys still listed: those removed here are no longer trusted.
        std::vector<std::string> keys;
        for (int i = 0; i < lstFtpHostKeys->count(); ++i)
            keys.push_back(lstFtpHostKeys->item(i)->text().toStdString());
        SetStoredHostKeys(list, keys);
    }
    list.FtpKeyFile =
        protocol == TTransferProtocol::Sftp ? FFtpKeyFile.Read(edtFtpKeyFile->text()) : "";
    if (IsTlsProtocol(protocol)) list.FtpCaFile = FFtpCaFile.Read(edtFtpCaFile->text());
    list.FtpUser = FFtpUser.Read(edtFtpLogin->text());
    list.FtpPass =
        cbxFTPPassSave->isChecked() ? FFtpPass.Read(edtFtpPassword->text()) : std::string();
    list.FtpPasswdFile = FFtpPasswdFile.Read(edtFtpFile->text());
    // While no server is set up the database keeps what it said (a file export leaves it as
    // it was).
    const bool noServer = edtFtpHost->text().isEmpty() && edtFtpLogin->text().isEmpty() &&
                          edtFtpPassword->text().isEmpty() && edtFtpFile->text().isEmpty();
    if (!(FNewServer && noServer)) list.FtpStorePass = cbxFTPPassSave->isChecked();
    list.FtpPassiveMode = cbxFTPPassiveMode->isChecked();
    list.ExportToFile = rbnToFile->isChecked();
}

TPasswordsType TfrmExportUser::GetPassType() const {
    return static_cast<TPasswordsType>(cbxFormat->currentData().toInt());
}

void TfrmExportUser::UpdateControls() {
    const bool toFile = rbnToFile->isChecked();
    bool canExport = toFile ? !edtFile->text().isEmpty()
                            : !edtFtpHost->text().isEmpty() && !edtFtpLogin->text().isEmpty() &&
                                  !edtFtpFile->text().isEmpty();
    if (Busy) canExport = false;
    btnExport->setEnabled(canExport);
    btnExport->setDefault(canExport);
    btnPreview->setEnabled(canExport);
    edtFile->setEnabled(toFile);
    btnBrowse->setEnabled(toFile);
    for (QWidget* w : std::initializer_list<QWidget*>{
             edtFtpHost, edtFtpLogin, edtFtpPassword, edtFtpFile, cbxFTPPassiveMode, cbxFTPPassSave,
             cbxFtpProtocol, spnFtpPort, edtFtpKeyFile, edtFtpCaFile})
        w->setEnabled(!toFile);
    const auto protocol = static_cast<TTransferProtocol>(cbxFtpProtocol->currentData().toInt());
    const bool sftp = protocol == TTransferProtocol::Sftp;
    lblFtpKeyFile->setVisible(sftp);
    edtFtpKeyFile->setVisible(sftp);
    const bool tls = IsTlsProtocol(protocol);
    lblFtpCaFile->setVisible(tls);
    edtFtpCaFile->setVisible(tls);
    lblSavedPasswordHint->setVisible(cbxFTPPassSave->isChecked());
    for (QWidget* w :
         std::initializer_list<QWidget*>{lblFtpHostKeys, lstFtpHostKeys, btnRemoveHostKey})
        w->setVisible(sftp && lstFtpHostKeys->count() > 0);
    lstFtpHostKeys->setEnabled(!toFile);
    btnRemoveHostKey->setEnabled(!toFile && lstFtpHostKeys->currentRow() >= 0);
    if (sftp) cbxFTPPassiveMode->setEnabled(false); // SSH has no data connections
    lblClearTextHint->setVisible(!toFile && protocol == TTransferProtocol::Ftp);
}

void TfrmExportUser::rbnToFileClick() {
    UpdateControls();
}

void TfrmExportUser::FormActivate() {
    // The field of the chosen target, so that a name typed at once lands there; with FTP the
    // password when it was not stored (it has to be typed).
    if (rbnToFile->isChecked())
        edtFile->setFocus();
    else if (!cbxFTPPassSave->isChecked() && !edtFtpHost->text().isEmpty())
        edtFtpPassword->setFocus();
    else
        edtFtpHost->setFocus(); // a server still to be named, or one whose password is known
}

QString SavedPasswordHint() {
    // What keeps a saved password from others; a database that protects its secrets adds its
    // sentence here.
    return TfrmExportUser::tr("The database file then holds this password: anyone who can read "
                              "the file can read it.");
}

QString SchemeGuidance(TPasswordsType type) {
    switch (type) {
    case TPasswordsType::ptMD5:
        return TfrmExportUser::tr("Accepted by every Apache, nginx and lighttpd, but fast to "
                                  "guess from a stolen file: prefer bcrypt.");
    case TPasswordsType::ptBcrypt:
        return TfrmExportUser::tr("Accepted by Apache 2.4 and by nginx on Linux (through the "
                                  "system's crypt); the usual choice today.");
    case TPasswordsType::ptSHA256:
    case TPasswordsType::ptSHA512:
        return TfrmExportUser::tr("Accepted by Apache and nginx on Linux (through the system's "
                                  "crypt), not by Apache on Windows.");
    case TPasswordsType::ptPlainText:
        break;
    }
    return {};
}

int TfrmExportUser::UsersToHash() const {
    int count = 0;
    for (int i = 0; i < UserList->Count(); ++i) {
        const TUserProp& user = UserList->Users(i);
        if (!user.Disable && !user.HashOnly()) ++count; // a stored hash goes out as it is
    }
    return count;
}

void TfrmExportUser::FormatChanged() {
    const TPasswordsType type = GetPassType();
    const THashScheme& scheme = SchemeOf(type);
    lblPlainTextNote->setVisible(scheme.StoresClearText());
    lblSchemeHint->setText(SchemeGuidance(type));
    lblSchemeHint->setVisible(!scheme.StoresClearText());
    const bool slow = IsSlowPassType(type);
    lblWorkFactor->setVisible(slow);
    spnWorkFactor->setVisible(slow);
    lblEstimate->setVisible(slow);
    if (!slow) return;
    const bool bcrypt = type == TPasswordsType::ptBcrypt;
    lblWorkFactor->setText(bcrypt ? tr("Cost") : tr("Rounds"));
    const QSignalBlocker quiet(spnWorkFactor); // the value is the form's, not a new choice
    spnWorkFactor->setRange(scheme.Param->Min, scheme.Param->Max);
    spnWorkFactor->setValue(bcrypt ? FBcryptCost : FShaRounds);
    UpdateEstimate();
}

void TfrmExportUser::WorkFactorChanged(int value) {
    (GetPassType() == TPasswordsType::ptBcrypt ? FBcryptCost : FShaRounds) = value;
    UpdateEstimate();
}

void TfrmExportUser::UpdateEstimate() {
    const TPasswordsType type = GetPassType();
    if (!IsSlowPassType(type) || UserList == nullptr) {
        lblEstimate->clear();
        return;
    }
    const TCryptKind kind = type == TPasswordsType::ptBcrypt   ? TCryptKind::Bcrypt
                            : type == TPasswordsType::ptSHA256 ? TCryptKind::Sha256
                                                               : TCryptKind::Sha512;
    // Measured once per form and process from a few hashes at the cheapest work factor (a few
    // milliseconds), then scaled: quick enough for the interface thread.
    const double seconds = CryptSecondsPerHash(kind, spnWorkFactor->value());
    const unsigned workers =
        HashThreads != 0 ? HashThreads : std::max(1, QThread::idealThreadCount());
    lblEstimate->setText(tr("Export: %1.\nServer: %2.")
                             .arg(MessageText(ExportEstimateMessage(
                                      seconds, static_cast<size_t>(UsersToHash()), workers)),
                                  MessageText(ServerCostMessage(seconds))));
}

bool TfrmExportUser::event(QEvent* event) {
    const bool result = QDialog::event(event);
    // The first activation after the dialog is shown (switching between programs later does
    // not move the focus).
    if (event->type() == QEvent::WindowActivate && !FActivated) {
        FActivated = true;
        FormActivate();
    } else if (event->type() == QEvent::Hide) {
        FActivated = false;
    }
    return result;
}

void TfrmExportUser::btnBrowseClick() {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("SaveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(tr("All Files (*)"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false); // ask before overwriting
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setSizeGripEnabled(true);
    const QString typed = edtFile->text();
    if (!typed.trimmed().isEmpty()) {
        // As typed, blanks included.
        const QFileInfo info(typed);
        if (!info.path().isEmpty() && info.path() != QStringLiteral("."))
            dialog.setDirectory(info.path());
        dialog.selectFile(typed);
    } else {
        // The folder of the file dialogs' last use, else the documents folder.
        QString folder = ExistingFolder(LastFolder());
        if (folder.isEmpty()) folder = GetPersonalFolder();
        if (!folder.isEmpty()) dialog.setDirectory(folder);
        dialog.selectFile(QStringLiteral("htpasswd"));
    }
    if (RunModal(dialog) != QDialog::Accepted) return;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return;
    RememberFolderOf(files.front());
    edtFile->setText(QDir::toNativeSeparators(files.front())); // runs UpdateControls
}

void TfrmExportUser::BeginExport() {
    SaveSettings();
    Attempted = true;
    ErrorShown = false;
    Busy = true;
    CancelRequested = false;
    if (!FCursorSet) {
        QApplication::setOverrideCursor(Qt::BusyCursor); // arrow with the busy sign
        FCursorSet = true;
    }
    pbrProgress->setRange(0, 100);
    pbrProgress->setValue(0);
    pbrProgress->show();
    FMeter.Reset();
    FClock.start();
    UpdateControls();
}

void TfrmExportUser::EndExport() {
    if (FCursorSet) {
        QApplication::restoreOverrideCursor();
        FCursorSet = false;
    }
    Busy = false;
    lblProgress->clear();
    lblProgress->setToolTip(QString());
    lblTransfer->clear();
    pbrProgress->hide();
    UpdateControls();
}

namespace {

// "12.4 of 48.1 MB, 1.2 MB/s, about 30 s left", in the user's language and number format.
QString TransferText(std::int64_t sent, std::int64_t total, std::optional<double> rate,
                     std::optional<double> secondsLeft) {
    const QLocale locale;
    const auto amount = [&locale](const TByteAmount& a) {
        return locale.toString(a.Value, 'f', std::string_view(a.Unit) == "B" ? 0 : 1);
    };
    const TByteAmount of = ByteAmount(total, total);
    QString text =
        TfrmExportUser::tr("%1 of %2 %3")
            .arg(amount(ByteAmount(sent, total)), amount(of), QString::fromLatin1(of.Unit));
    if (!rate) return text;
    const auto perSecond = static_cast<std::int64_t>(*rate);
    const TByteAmount speed = ByteAmount(perSecond, perSecond);
    text += TfrmExportUser::tr(", %1 %2/s").arg(amount(speed), QString::fromLatin1(speed.Unit));
    if (!secondsLeft) return text;
    const TTimeLeft left = RoundedTimeLeft(*secondsLeft);
    if (left.Hours > 0)
        text += TfrmExportUser::tr(", about %1 h %2 min left").arg(left.Hours).arg(left.Minutes);
    else if (left.Minutes > 0)
        text += TfrmExportUser::tr(", about %1 min left").arg(left.Minutes);
    else if (left.Seconds > 0)
        text += TfrmExportUser::tr(", about %1 s left").arg(left.Seconds);
    return text;
}

} // namespace

void TfrmExportUser::ShowEvent(const quorvane::TExportEvent& event) {
    QString text = MessageText(ExportProgressMessage(event));
    lblProgress->setToolTip(text);
    const QFontMetrics metrics = lblProgress->fontMetrics();
    if (layout() != nullptr) layout()->activate(); // the label's width, shown or not
    const int room = std::max(lblProgress->width(), lblProgress->minimumWidth()) - 2;
    if (event.Stage == quorvane::TExportStage::Uploading &&
        metrics.horizontalAdvance(text) > room) {
        // The file name gives way, in its middle; "Uploading" and the percentage stay.
        const QString remote = BytesToText(event.Remote);
        const int rest = metrics.horizontalAdvance(text) - metrics.horizontalAdvance(remote);
        text.replace(remote, metrics.elidedText(remote, Qt::ElideMiddle, std::max(room - rest, 0)));
    }
    lblProgress->setText(metrics.elidedText(text, Qt::ElideRight, room));
    if (event.Stage == quorvane::TExportStage::Uploading) {
        FMeter.Add(FClock.elapsed(), event.BytesSent);
        lblTransfer->setText(TransferText(event.BytesSent, event.BytesTotal,
                                          FMeter.BytesPerSecond(),
                                          FMeter.SecondsLeft(event.BytesTotal)));
    } else {
        lblTransfer->clear();
    }
    if (const std::optional<int> percent = quorvane::ExportProgressPercent(event)) {
        pbrProgress->setRange(0, 100);
        pbrProgress->setValue(*percent);
    } else {
        pbrProgress->setRange(0, 0); // connecting: no measure yet
    }
    // While the file is built on this thread, pending events run here: a click on Cancel is
    // noticed at the next progress point.
    if (event.Stage == quorvane::TExportStage::Building) {
        // The line and the bar are painted together, at once: while the hashing keeps this
        // thread busy between the progress points, the window's own updates would show them
        // at different moments.
        if (isVisible() && lblProgress->parentWidget() == pbrProgress->parentWidget())
            lblProgress->parentWidget()->repaint(
                lblProgress->geometry().united(pbrProgress->geometry()));
        QCoreApplication::processEvents();
    }
}

std::string TfrmExportUser::FileName() const {
    return FPassFile.Read(edtFile->text());
}

void TfrmExportUser::btnExportClick() {
    // Enter on a disabled default button, or a second click while busy, starts nothing.
    if (Busy || !btnExport->isEnabled() || UserList == nullptr) return;
    FInExportClick = true;
    Guarded(this, [this] {
        BeginExport();
        try {
            StartExport();
        } catch (...) {
            FJob.reset(); // a worker that never started removes its temporary file
            TempFile.clear();
            EndExport(); // idle again before the error is shown; the dialog stays open
            throw;
        }
    });
    FInExportClick = false;
    // A close asked for while the file was built is decided now that the handler is done.
    if (FModalResult != kNoResult) CheckModalResult();
}

void TfrmExportUser::StartExport() {
    using namespace quorvane;
    TExportSettings settings;
    settings.PassType = GetPassType();
    settings.Build.Random = Random;
    settings.Build.Threads = HashThreads;
    settings.DatabasePath = DatabasePath;
    settings.Target = rbnToFile->isChecked() ? TExportTarget::File : TExportTarget::Server;
    settings.FileName = FileName();
    // Typed, stored or not; with a key file it unlocks the key.
    settings.ServerSecret = FFtpPass.Read(edtFtpPassword->text());
    settings.RemoteFile = FFtpPasswdFile.Read(edtFtpFile->text());
    settings.Timeout = FtpTimeout;
    settings.OnUnknownHostKey = [this](const std::string& server, const std::string& fingerprint) {
        return AcceptHostKey(server, fingerprint);
    };
    settings.Replace.DryRun = FDryRun;
    settings.Replace.AcceptedSha256 = std::exchange(FAcceptedSha256, std::string());
    FJob = std::make_unique<TExportJob>(*UserList, std::move(settings), FDispatcher);
    FJob->OnEvent = [this](const TExportEvent& event) { ShowEvent(event); };
    FJob->OnError = [this](const TMessage& message) { UploadError(message); };
    FJob->OnDone = [this](const TExportResult& result) { ExportDone(result); };
    try {
        FJob->Start();
    } catch (const EEmptyPasswords& e) {
        const QString question = tr("%1. Export anyway?").arg(MessageText(e.Message()));
        if (ShowMessageBox(this, QMessageBox::Warning, tr("Warning"), question,
                           QMessageBox::Yes | QMessageBox::No,
                           QMessageBox::No) != QMessageBox::Yes) {
            FJob.reset();
            EndExport(); // the user declined: nothing written, the dialog stays open
            return;
        }
        FJob->Settings().Build.AllowEmptyPasswords = true;
        FJob->Start();
    }
    TempFile = FJob->TempFile();
    if (!FJob->Uploading()) FJob.reset();
}

void TfrmExportUser::btnPreviewClick() {
    if (Busy || !btnPreview->isEnabled()) return;
    FDryRun = true;
    btnExportClick();
    FDryRun = false;
}

void TfrmExportUser::ExportDone(const quorvane::TExportResult& result) {
    const bool upload = !FInExportClick; // a local export ends within the click
    if ((result.DryRun || result.Stopped) && result.Check) {
        // Nothing was replaced: the dialog stays open with what was found. A local job is still
        // running its Start; StartExport lets it go.
        std::unique_ptr<quorvane::TExportJob> finished;
        if (upload) finished = std::move(FJob);
        TempFile.clear();
        EndExport();
        const quorvane::TTargetCheck check = *result.Check;
        if (result.Stopped) {
            QMetaObject::invokeMethod(
                this, [this, check] { TargetChanged(check); }, Qt::QueuedConnection);
            return;
        }
        const TUserChanges& p = check.Preview;
        QString lines;
        for (const TUserChange& change : p.List)
            lines += QStringLiteral("%1 %2\n").arg(
                change.Kind == TUserChangeKind::Added     ? QStringLiteral("+")
                : change.Kind == TUserChangeKind::Removed ? QStringLiteral("-")
                                                          : QStringLiteral("~"),
                BytesToText(change.Login));
        QString footer = tr("%1 added, %2 removed, %3 with a new hash.")
                             .arg(QLocale().toString(static_cast<qulonglong>(p.Added)),
                                  QLocale().toString(static_cast<qulonglong>(p.Removed)),
                                  QLocale().toString(static_cast<qulonglong>(p.Changed)));
        if (check.Stops)
            footer += QStringLiteral("\n") +
                      tr("The file there changed since this database last wrote it: an export "
                         "will ask before it replaces it.");
        const QString target = BytesToText(check.Target);
        ShowUserChanges(this, tr("Preview Changes"),
                        p.Empty() ? tr("An export changes no user in %1.").arg(target)
                                  : tr("An export makes these changes to %1:").arg(target),
                        lines, footer);
        return;
    }
    if (result.Done) {
        ResultText = MessageText(ExportResultMessage(result));
        WeakUsers = result.WeakUsers;
    }
    ShowWriteWarnings(this, result.Warnings);  // written, but not all of the old file was kept
    ShowWriteWarnings(this, result.Namesakes); // written, without users a server would tell apart
    if (!upload) {
        // Written, or aborted while building: a local export closes the dialog either way; an
        // aborted upload leaves the result to the one who cancelled.
        if (!result.Aborted || rbnToFile->isChecked()) SetModalResult(QDialog::Accepted);
        EndExport();
        return;
    }
    // The worker waits for this handler; the job is destroyed once its thread has let go.
    const std::unique_ptr<quorvane::TExportJob> finished = std::move(FJob);
    TempFile.clear();
    if (result.Done && UserList != nullptr)
        Confirmation = tr("The password file %1 is on the server %2 now.")
                           .arg(BytesToText(result.Target), BytesToText(UserList->FtpHost));
    if (result.Aborted) {
        EndExport();
        FUploadError.clear();
        // Only now is it certain: the transfer has stopped and the target was never touched.
        ResultText = MessageText(quorvane::ExportAbortedMessage());
        ShowMessageBox(this, QMessageBox::Information, tr("Export"), ResultText, QMessageBox::Ok);
        SetModalResult(QDialog::Rejected);
        return;
    }
    if (!ErrorShown) SetModalResult(QDialog::Accepted);
    EndExport();
    const QString error = std::exchange(FUploadError, QString());
    const auto& identity = result.Identity;
    if (ErrorShown && !identity.Changed && !identity.PublicKeyPin.empty() && UserList) {
        // A certificate that no authority vouches for (a self-signed one): one question, with
        // the reason and the key, which (once the user has checked it) identifies the server
        // from now on.
        if (AskTrustTlsKey(error, QString::fromStdString(identity.PublicKeyPin))) {
            UserList->FtpTlsPin = identity.PublicKeyPin;
            QMetaObject::invokeMethod(this, &TfrmExportUser::btnExportClick, Qt::QueuedConnection);
        }
        FormActivate();
        return;
    }
    if (!error.isEmpty()) {
        ShowMessageBox(this, QMessageBox::Warning, tr("Warning"), error, QMessageBox::Ok);
        FormActivate();
    }
}

bool TfrmExportUser::AskTrustTlsKey(const QString& reason, const QString& pin) {
    QMessageBox box(QMessageBox::Question, tr("Confirm"),
                    tr("%1\n\nTrust the server whose public key is\n%2\n\nOnly if its "
                       "administrator confirms this key. The export is then tried again.")
                        .arg(reason, pin),
                    QMessageBox::Yes | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("dlgTrustServer"));
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(tr("&Trust"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    const int result = RunModal(box);
    const QMessageBox::StandardButton answer =
        box.clickedButton() != nullptr ? box.standardButton(box.clickedButton())
                                       : static_cast<QMessageBox::StandardButton>(result);
    return answer == QMessageBox::Yes;
}

void TfrmExportUser::TargetChanged(const quorvane::TTargetCheck& check) {
    using namespace quorvane;
    const QString target = BytesToText(check.Target);
    QString text = check.Recorded ? tr("%1 changed since this database last wrote it:").arg(target)
                                  : tr("%1 holds users this database does not have:").arg(target);
    text += QStringLiteral("\n\n");
    constexpr std::size_t KNamed = 20;
    const auto& list = check.Outside.List;
    for (std::size_t i = 0; i < list.size() && i < KNamed; ++i) {
        const QString login = BytesToText(list[i].Login);
        switch (list[i].Kind) {
        case TUserChangeKind::Added:
            text += tr("+ %1 (added there)").arg(login);
            break;
        case TUserChangeKind::Removed:
            text += tr("- %1 (removed there)").arg(login);
            break;
        case TUserChangeKind::Changed:
            text += tr("~ %1 (password changed there)").arg(login);
            break;
        }
        text += QStringLiteral("\n");
    }
    if (list.size() > KNamed)
        text += tr("... and %1 more")
                    .arg(QLocale().toString(static_cast<qulonglong>(list.size() - KNamed))) +
                QStringLiteral("\n");
    if (check.OtherLines > 0)
        text += tr("(%1 other lines there: comments, blank lines; they do not count)")
                    .arg(QLocale().toString(static_cast<qulonglong>(check.OtherLines))) +
                QStringLiteral("\n");
    text += QStringLiteral("\n") +
            tr("Nothing has been replaced. Merge takes these changes into the database, which is "
               "then saved, and exports; Overwrite replaces the file there (a copy is kept and "
               "can be restored).");
    const QMessageBox::StandardButton answer = ShowMessageBox(
        this, QMessageBox::Warning, tr("Warning"), text,
        QMessageBox::Apply | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Cancel,
        {{QMessageBox::Apply, tr("&Merge")}, {QMessageBox::Discard, tr("&Overwrite")}});
    if (answer != QMessageBox::Apply && answer != QMessageBox::Discard) return;
    if (answer == QMessageBox::Apply && UserList != nullptr) {
        Guarded(this, [&] {
            MergeOutsideChanges(*UserList, check);
            Merged = true;
        });
        if (!Merged) return;
    }
    // Only what was shown may be replaced; a file that changed once more asks again.
    FAcceptedSha256 = check.CurrentSha256;
    btnExportClick();
}

void TfrmExportUser::UploadError(const quorvane::TMessage& message) {
    // Told once the upload has ended, when it is known whether the server's key can be offered
    // for trust instead.
    ErrorShown = true;
    if (FUploadError.isEmpty()) FUploadError = MessageText(message);
}

bool TfrmExportUser::AcceptHostKey(const std::string& server, const std::string& fingerprint) {
    if (UserList == nullptr) return false;
    const QMessageBox::StandardButton answer = ShowMessageBox(
        this, QMessageBox::Question, tr("Confirm"),
        tr("The server %1 is not known yet. Its host key has the fingerprint\n%2\n\n"
           "Trust it only if the server's administrator confirms this "
           "fingerprint. Trust this server?")
            .arg(QString::fromStdString(server), QString::fromStdString(fingerprint)),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return false;
    AddStoredHostKey(*UserList, fingerprint);
    lstFtpHostKeys->addItem(QString::fromStdString(fingerprint));
    UpdateControls();
    return true;
}

bool TfrmExportUser::ConfirmAbort() {
    if (!Busy) return true;
    // Asked once: after Yes the dialog closes as soon as the export has stopped.
    if (CancelRequested) return false;
    const QMessageBox::StandardButton answer = ShowMessageBox(
        this, QMessageBox::Warning, tr("Warning"), tr("Export is not completed. Abort?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes || !Busy) return !Busy;
    CancelRequested = true;
    if (!FJob || !FJob->Uploading()) {
        // The build stops at its next progress point, or the export has just ended.
        if (FJob) FJob->Abort();
        return true;
    }
    // The transfer stops at once; the dialog closes when the worker has cleaned up and says
    // then what the server holds.
    lblProgress->setText(FJob->Abort() ? tr("Aborting...")
                                       : tr("The new file is already being put in place..."));
    return false;
}

void TfrmExportUser::btnCancelClick() {
    if (ConfirmAbort()) SetModalResult(QDialog::Rejected);
}

void TfrmExportUser::reject() {
    btnCancelClick();
}

void TfrmExportUser::closeEvent(QCloseEvent* event) {
    // The close box asks for Cancel; the close query decides once the handlers are done.
    event->ignore();
    SetModalResult(QDialog::Rejected);
}

void TfrmExportUser::SetModalResult(int result) {
    FModalResult = result;
    if (FInExportClick || FCheckQueued) return; // decided when the export handler returns
    FCheckQueued = true;
    QMetaObject::invokeMethod(this, &TfrmExportUser::CheckModalResult, Qt::QueuedConnection);
}

void TfrmExportUser::CheckModalResult() {
    FCheckQueued = false;
    if (FModalResult == kNoResult || FInExportClick) return;
    const int result = FModalResult;
    FModalResult = kNoResult; // a refused close leaves the dialog as it was
    if (FormCloseQuery()) QDialog::done(result);
}

void ShowUserChanges(QWidget* parent, const QString& title, const QString& heading,
                     const QString& lines, const QString& footer) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("frmUserChanges"));
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* top = new QLabel(heading, &dialog);
    top->setTextFormat(Qt::PlainText);
    layout->addWidget(top);
    if (!lines.isEmpty()) {
        auto* list = new QPlainTextEdit(lines, &dialog);
        list->setObjectName(QStringLiteral("edtChanges"));
        list->setReadOnly(true);
        list->setLineWrapMode(QPlainTextEdit::NoWrap);
        list->setMinimumSize(QSize(360, 200));
        layout->addWidget(list);
    }
    auto* bottom = new QLabel(footer, &dialog);
    bottom->setObjectName(QStringLiteral("lblCounts"));
    bottom->setTextFormat(Qt::PlainText);
    bottom->setWordWrap(true);
    layout->addWidget(bottom);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    RunModal(dialog);
}

QString ShowExportDialog(TUserList& list, QWidget* owner, const std::string& databasePath,
                         bool* attempted, bool* merged) {
    TfrmExportUser dialog(owner);
    dialog.UserList = &list;
    dialog.DatabasePath = databasePath;
    dialog.LoadSettings();
    const int result = RunModal(dialog);
    if (attempted != nullptr) *attempted = dialog.Attempted;
    if (merged != nullptr) *merged = dialog.Merged;
    if (result != QDialog::Accepted) return dialog.ResultText;
    dialog.SaveSettings();
    if (dialog.CancelRequested) return dialog.ResultText;
    // An upload ends with a word on where the file went.
    if (!dialog.Confirmation.isEmpty())
        ShowMessageBox(owner, QMessageBox::Information, TfrmExportUser::tr("Export"),
                       dialog.Confirmation, QMessageBox::Ok);
    // Once the file is out: the users whose stored hash is still weak, by name.
    const std::vector<TMessage> weak = WeakHashMessages(dialog.WeakUsers);
    if (!weak.empty())
        ShowMessageBox(owner, QMessageBox::Warning, TfrmExportUser::tr("Export"),
                       MessageLines(weak), QMessageBox::Ok);
    return dialog.ResultText;
}

} // namespace quorvane
