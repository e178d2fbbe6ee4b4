#include "ui/ExportForm.h"

#include "export/Consumers.h"
#include "export/HashSchemes.h"
#include "job/TargetKind.h"
#include "ui/ExportDlg.h"
#include "ui/FitScreen.h"
#include "ui/MessageText.h"
#include "ui/PasswordField.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <initializer_list>
#include <iterator>

namespace quorvane {

namespace {

// What saving the server password means for who can read it.
QString SavedPasswordHint() {
    return TfrmExportUser::tr("The database file then holds this password: anyone who can read "
                              "the file can read it.");
}

QFrame* NewRule(QWidget* parent, const char* name) {
    auto* rule = new QFrame(parent);
    rule->setObjectName(QLatin1String(name));
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    return rule;
}

QLabel* NewLabel(QWidget* parent, const char* name, const QString& caption = {}) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QLineEdit* NewEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

template <typename Widget> Widget* New(QWidget* parent, const char* name) {
    auto* widget = new Widget(parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// Hidden, the widget keeps its room: the dialog does not change size as parts come and go.
void KeepRoomWhenHidden(std::initializer_list<QWidget*> widgets) {
    for (QWidget* w : widgets) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }
}

} // namespace

TExportForm::TExportForm(QDialog& dialog) : FScale(dialog.fontMetrics().height() / 13.0) {
    BuildFormat(dialog);
    BuildTargets(dialog);
    BuildAddress(dialog);
    BuildReader(dialog);
    BuildProgress(dialog);
    LayOut(dialog);
}

int TExportForm::Px(int pixels) const {
    return static_cast<int>(pixels * FScale + 0.5);
}

void TExportForm::BuildFormat(QDialog& dialog) {
    FFormatCaption = NewLabel(&dialog, "Label1", TfrmExportUser::tr("Pass&word hash"));
    cbxFormat = New<QComboBox>(&dialog, "cbxFormat");
    for (const THashScheme& scheme : HashSchemes())
        cbxFormat->addItem(MessageText(scheme.DisplayMessage()), static_cast<int>(scheme.Id));
    cbxFormat->setMinimumWidth(Px(145));
    FFormatCaption->setBuddy(cbxFormat);
    lblPlainTextNote = NewLabel(
        &dialog, "lblPlainTextNote",
        TfrmExportUser::tr("Web servers on Linux and other Unix systems (Apache, nginx, lighttpd) "
                           "refuse plain-text password files; they accept them only on Windows."));
    lblPlainTextNote->setWordWrap(true);
    lblSchemeHint = NewLabel(&dialog, "lblSchemeHint");
    lblSchemeHint->setWordWrap(true);
    lblWorkFactor = NewLabel(&dialog, "lblWorkFactor");
    spnWorkFactor = New<QSpinBox>(&dialog, "spnWorkFactor");
    spnWorkFactor->setGroupSeparatorShown(true);
    lblWorkFactor->setBuddy(spnWorkFactor);
    lblEstimate = NewLabel(&dialog, "lblEstimate");
    lblEstimate->setWordWrap(true);
    lblEstimate->setMinimumHeight(2 * lblEstimate->fontMetrics().lineSpacing()); // two lines
    KeepRoomWhenHidden({lblPlainTextNote, lblWorkFactor, spnWorkFactor, lblEstimate});
}

void TExportForm::BuildTargets(QDialog& dialog) {
    FTargetsCaption = NewLabel(&dialog, "lblTargets", TfrmExportUser::tr("&Targets"));
    lstTargets = New<QListWidget>(&dialog, "lstTargets");
    lstTargets->setToolTip(TfrmExportUser::tr(
        "Where an export goes: every ticked target gets the new file, or none does"));
    lstTargets->setMaximumHeight(lstTargets->fontMetrics().height() * 3 + Px(8));
    // A long address shows its start and end; the whole line is its tip.
    lstTargets->setTextElideMode(Qt::ElideMiddle);
    lstTargets->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FTargetsCaption->setBuddy(lstTargets);
    btnAddTarget = new QPushButton(TfrmExportUser::tr("&Add..."), &dialog);
    btnAddTarget->setObjectName(QStringLiteral("btnAddTarget"));
    btnRenameTarget = new QPushButton(TfrmExportUser::tr("Re&name..."), &dialog);
    btnRenameTarget->setObjectName(QStringLiteral("btnRenameTarget"));
    btnRemoveTarget = new QPushButton(TfrmExportUser::tr("&Remove"), &dialog);
    btnRemoveTarget->setObjectName(QStringLiteral("btnRemoveTarget"));
    for (QPushButton* button : {btnAddTarget, btnRenameTarget, btnRemoveTarget})
        button->setAutoDefault(false);
}

void TExportForm::BuildAddress(QDialog& dialog) {
    FAddressCaption = NewLabel(&dialog, "lblAddress", TfrmExportUser::tr("Addr&ess"));
    edtAddress = NewEdit(&dialog, "edtAddress");
    edtAddress->setMinimumWidth(Px(280));
    QStringList forms;
    for (const std::string& form : TargetAddressForms())
        forms << QString::fromStdString(form);
    edtAddress->setToolTip(
        TfrmExportUser::tr("Where the file goes: a file on this computer, or an address: %1")
            .arg(forms.join(QStringLiteral(", "))));
    FAddressCaption->setBuddy(edtAddress);
    btnBrowse = New<QToolButton>(&dialog, "btnBrowse");
    btnBrowse->setText(TfrmExportUser::tr("&Browse"));
    btnBrowse->setFocusPolicy(Qt::NoFocus);
    btnBrowse->setMinimumWidth(Px(65));
    btnBrowse->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    cbxPassiveMode = new QCheckBox(TfrmExportUser::tr("Passive &mode"), &dialog);
    cbxPassiveMode->setObjectName(QStringLiteral("cbxPassiveMode"));
    FLoginCaption = NewLabel(&dialog, "Label4", TfrmExportUser::tr("&Login"));
    edtTargetLogin = NewEdit(&dialog, "edtTargetLogin");
    FLoginCaption->setBuddy(edtTargetLogin);
    FPasswordCaption = NewLabel(&dialog, "Label5", TfrmExportUser::tr("Passwor&d"));
    edtTargetPassword = NewEdit(&dialog, "edtTargetPassword");
    AddShowPasswordToggle(*edtTargetPassword); // hidden, shown on request
    FPasswordCaption->setBuddy(edtTargetPassword);
    cbxSavePassword = new QCheckBox(TfrmExportUser::tr("&Save?"), &dialog);
    cbxSavePassword->setObjectName(QStringLiteral("cbxSavePassword"));
    cbxSavePassword->setToolTip(SavedPasswordHint());
    lblSavedPasswordHint = NewLabel(&dialog, "lblSavedPasswordHint", SavedPasswordHint());
    lblSavedPasswordHint->setWordWrap(true);
    // Wrapped within the width the fields give the dialog, never widening it.
    lblSavedPasswordHint->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    lblKeyFile = NewLabel(&dialog, "lblKeyFile", TfrmExportUser::tr("Ke&y file"));
    edtKeyFile = NewEdit(&dialog, "edtKeyFile");
    edtKeyFile->setPlaceholderText(TfrmExportUser::tr("none: log in with the password"));
    lblKeyFile->setBuddy(edtKeyFile);
    lblCaFile = NewLabel(&dialog, "lblCaFile", TfrmExportUser::tr("CA f&ile"));
    edtCaFile = NewEdit(&dialog, "edtCaFile");
    edtCaFile->setPlaceholderText(TfrmExportUser::tr("none: the system's certificate authorities"));
    lblCaFile->setBuddy(edtCaFile);
    // One button beside the key file and the CA file, of which one row at most shows.
    btnBrowseKeyFile = New<QToolButton>(&dialog, "btnBrowseKeyFile");
    btnBrowseKeyFile->setText(TfrmExportUser::tr("&Browse"));
    btnBrowseKeyFile->setFocusPolicy(Qt::NoFocus);
    btnBrowseKeyFile->setMinimumWidth(Px(65));
    btnBrowseKeyFile->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    edtCaFile->setToolTip(
        TfrmExportUser::tr("A file of certificates (PEM) that vouch for the server, for a "
                           "server whose certificate no public authority signed"));
    lblHostKeys = NewLabel(&dialog, "lblHostKeys", TfrmExportUser::tr("&Host keys"));
    lstHostKeys = New<QListWidget>(&dialog, "lstHostKeys");
    lstHostKeys->setToolTip(
        TfrmExportUser::tr("SSH host keys trusted for this server besides known_hosts; "
                           "a server showing another key is refused"));
    lstHostKeys->setMaximumHeight(lstHostKeys->fontMetrics().height() * 3 + Px(8));
    // A fingerprint wider than the list shows its start and end; the whole one is its tip.
    lstHostKeys->setTextElideMode(Qt::ElideMiddle);
    lstHostKeys->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lblHostKeys->setBuddy(lstHostKeys);
    btnRemoveHostKey = new QPushButton(TfrmExportUser::tr("Re&move"), &dialog);
    btnRemoveHostKey->setObjectName(QStringLiteral("btnRemoveHostKey"));
    btnRemoveHostKey->setAutoDefault(false);
    lblAddressHint = NewLabel(&dialog, "lblAddressHint");
    lblAddressHint->setWordWrap(true);
    lblAddressHint->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    KeepRoomWhenHidden({lblAddressHint});

    cbxCheckAfter = new QCheckBox(TfrmExportUser::tr("Chec&k after export"), &dialog);
    cbxCheckAfter->setObjectName(QStringLiteral("cbxCheckAfter"));
    cbxCheckAfter->setToolTip(TfrmExportUser::tr(
        "Once the new file is in place, ask this address to let this user of the database in; "
        "a refusal counts as a failed export"));
    edtCheckUrl = NewEdit(&dialog, "edtCheckUrl");
    edtCheckUrl->setPlaceholderText(TfrmExportUser::tr("https://www.example.org/members/"));
    edtCheckUser = NewEdit(&dialog, "edtCheckUser");
    edtCheckUser->setPlaceholderText(TfrmExportUser::tr("login"));
}

void TExportForm::BuildReader(QDialog& dialog) {
    FConsumerCaption = NewLabel(&dialog, "lblConsumer", TfrmExportUser::tr("Read by"));
    cbxConsumer = New<QComboBox>(&dialog, "cbxConsumer");
    for (const TConsumer& consumer : Consumers())
        cbxConsumer->addItem(
            QString::fromUtf8(consumer.DisplayName.data(),
                              static_cast<int>(consumer.DisplayName.size())),
            QString::fromUtf8(consumer.Name.data(), static_cast<int>(consumer.Name.size())));
    cbxConsumer->setToolTip(TfrmExportUser::tr(
        "The program that reads this target's file: the file is written in its syntax, in a "
        "form it reads"));
    FConsumerCaption->setBuddy(cbxConsumer);
    FTargetFormCaption = NewLabel(&dialog, "lblTargetForm", TfrmExportUser::tr("Form"));
    cbxTargetForm = New<QComboBox>(&dialog, "cbxTargetForm");
    // The programs' and forms' names are long: the boxes are as wide as their names where
    // there is room (known before the dialog is first shown, when its size is fitted to the
    // screen), and a minimum of their own lets them give way on a small screen.
    for (QComboBox* box : {cbxConsumer, cbxTargetForm}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        box->setMinimumWidth(Px(90));
    }
    FTargetFormCaption->setBuddy(cbxTargetForm);
    FRealmCaption = NewLabel(&dialog, "lblRealm", TfrmExportUser::tr("Realm"));
    edtRealm = NewEdit(&dialog, "edtRealm");
    FRealmCaption->setBuddy(edtRealm);
    FModeCaption = NewLabel(&dialog, "lblMode", TfrmExportUser::tr("File mode"));
    edtMode = NewEdit(&dialog, "edtMode");
    edtMode->setPlaceholderText(TfrmExportUser::tr("as it was"));
    edtMode->setToolTip(TfrmExportUser::tr(
        "The written file's permission bits in octal, such as 0640 (a local file or SFTP)"));
    edtMode->setMaximumWidth(Px(80));
    FModeCaption->setBuddy(edtMode);
    FGroupCaption = NewLabel(&dialog, "lblGroup", TfrmExportUser::tr("File group"));
    edtGroup = NewEdit(&dialog, "edtGroup");
    edtGroup->setPlaceholderText(TfrmExportUser::tr("as it was"));
    FGroupCaption->setBuddy(edtGroup);
    FAfterCaption = NewLabel(&dialog, "lblAfter", TfrmExportUser::tr("Then run"));
    edtAfter = NewEdit(&dialog, "edtAfter");
    edtAfter->setPlaceholderText(TfrmExportUser::tr("systemctl reload haproxy"));
    edtAfter->setToolTip(TfrmExportUser::tr(
        "A command run once every target holds its new file, beside a local file or over the "
        "SFTP connection; its failure fails this target"));
    FAfterCaption->setBuddy(edtAfter);
}

void TExportForm::BuildProgress(QDialog& dialog) {
    // One line each, as wide as the row leaves them (never widening the dialog): a long file
    // name is shortened in its middle, so the rest of the line shows; the whole text is the
    // tool tip.
    lblProgress = NewLabel(&dialog, "lblProgress");
    lblTransfer = NewLabel(&dialog, "lblTransfer");
    for (QLabel* label : {lblProgress, lblTransfer}) {
        label->setMinimumWidth(Px(200));
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->setWordWrap(false);
    }
    pbrProgress = New<QProgressBar>(&dialog, "pbrProgress");
    pbrProgress->setFixedWidth(Px(70));
    pbrProgress->setTextVisible(false);
    KeepRoomWhenHidden({pbrProgress});
    pbrProgress->hide();
    btnPreview = new QPushButton(TfrmExportUser::tr("Preview Chan&ges..."), &dialog);
    btnPreview->setObjectName(QStringLiteral("btnPreview"));
    btnExport = new QPushButton(TfrmExportUser::tr("E&xport"), &dialog);
    btnExport->setObjectName(QStringLiteral("btnExport"));
    btnCancel = new QPushButton(TfrmExportUser::tr("Cancel"), &dialog);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    for (QPushButton* button : {btnExport, btnCancel})
        button->setMinimumWidth(Px(75));
}

void TExportForm::LayOut(QDialog& dialog) {
    auto* heading = new QHBoxLayout;
    heading->addWidget(FFormatCaption);
    heading->addWidget(NewRule(&dialog, "Bevel4"), 1);

    auto* grid = new QGridLayout;
    grid->setColumnMinimumWidth(0, Px(50));
    grid->setHorizontalSpacing(Px(6));
    grid->setColumnStretch(1, 1);
    auto* format = new QHBoxLayout;
    format->addWidget(cbxFormat);
    format->addSpacing(Px(12));
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

    grid->addWidget(FTargetsCaption, 2, 0, Qt::AlignTop);
    grid->addWidget(lstTargets, 2, 1, 1, 2);
    auto* targetButtons = new QVBoxLayout;
    targetButtons->addWidget(btnAddTarget);
    targetButtons->addWidget(btnRenameTarget);
    targetButtons->addWidget(btnRemoveTarget);
    targetButtons->addStretch(1);
    grid->addLayout(targetButtons, 2, 3);
    grid->addWidget(NewRule(&dialog, "Bevel1"), 3, 0, 1, 4);
    grid->addWidget(FAddressCaption, 4, 0);
    grid->addWidget(edtAddress, 4, 1, 1, 2);
    grid->addWidget(btnBrowse, 4, 3);
    grid->addWidget(FLoginCaption, 5, 0);
    grid->addWidget(edtTargetLogin, 5, 1);
    grid->addWidget(cbxPassiveMode, 5, 2, 1, 2);
    grid->addWidget(FPasswordCaption, 6, 0);
    grid->addWidget(edtTargetPassword, 6, 1);
    grid->addWidget(cbxSavePassword, 6, 2, 1, 2);
    grid->addWidget(lblSavedPasswordHint, 7, 1, 1, 3);
    // The key file and the CA file share a row: a kind reads one of them at most.
    grid->addWidget(lblKeyFile, 8, 0);
    grid->addWidget(edtKeyFile, 8, 1, 1, 2);
    grid->addWidget(lblCaFile, 8, 0);
    grid->addWidget(edtCaFile, 8, 1, 1, 2);
    grid->addWidget(btnBrowseKeyFile, 8, 3);
    grid->addWidget(lblHostKeys, 9, 0, Qt::AlignTop);
    grid->addWidget(lstHostKeys, 9, 1, 1, 2);
    grid->addWidget(btnRemoveHostKey, 9, 3, Qt::AlignTop);
    grid->addWidget(lblAddressHint, 10, 1, 1, 3);
    grid->addWidget(cbxCheckAfter, 11, 0, 1, 4);
    grid->addWidget(edtCheckUrl, 12, 1);
    grid->addWidget(edtCheckUser, 12, 2, 1, 2);
    auto* reader = new QHBoxLayout;
    reader->addWidget(cbxConsumer, 1);
    reader->addWidget(FTargetFormCaption);
    reader->addWidget(cbxTargetForm, 1);
    reader->addWidget(FRealmCaption);
    reader->addWidget(edtRealm, 1);
    grid->addWidget(FConsumerCaption, 13, 0);
    grid->addLayout(reader, 13, 1, 1, 3);
    auto* file = new QHBoxLayout;
    file->addWidget(edtMode);
    file->addWidget(FGroupCaption);
    file->addWidget(edtGroup, 1);
    grid->addWidget(FModeCaption, 14, 0);
    grid->addLayout(file, 14, 1, 1, 3);
    grid->addWidget(FAfterCaption, 15, 0);
    grid->addWidget(edtAfter, 15, 1, 1, 3);
    for (QLabel* label :
         {FTargetsCaption, FAddressCaption, FLoginCaption, FPasswordCaption, lblKeyFile, lblCaFile,
          lblHostKeys, FConsumerCaption, FModeCaption, FAfterCaption})
        label->setContentsMargins(Px(5), 0, 0, 0);

    // Below the rule: what the export is doing, with the bar, over the width of the dialog;
    // under it the sizes and speed of an upload, beside the buttons.
    auto* bottom = new QGridLayout;
    bottom->setVerticalSpacing(Px(2));
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
    auto* main = new QVBoxLayout(&dialog);
    main->setContentsMargins(Px(10), Px(9), Px(10), Px(7));
    main->addWidget(ScrollingBody(&dialog, body));
    main->addSpacing(Px(6));
    main->addWidget(NewRule(&dialog, "Bevel3"));
    main->addLayout(bottom);
    main->setSizeConstraint(QLayout::SetFixedSize); // a fixed dialog frame

    // Format, targets, address, Cancel, Export, then what the target logs in with and reads.
    QWidget* order[] = {cbxFormat,       lstTargets,        btnAddTarget,    btnRenameTarget,
                        btnRemoveTarget, edtAddress,        btnCancel,       btnExport,
                        edtTargetLogin,  edtTargetPassword, cbxSavePassword, cbxPassiveMode,
                        edtKeyFile,      edtCaFile,         lstHostKeys,     btnRemoveHostKey,
                        cbxCheckAfter,   edtCheckUrl,       edtCheckUser,    cbxConsumer,
                        cbxTargetForm,   edtRealm,          edtMode,         edtGroup,
                        edtAfter,        spnWorkFactor,     btnPreview};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

} // namespace quorvane
