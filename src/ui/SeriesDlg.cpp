#include "ui/SeriesDlg.h"

#include "base/Errors.h"
#include "base/Random.h"
#include "export/ClearPasswords.h"
#include "persist/PrjLib.h"
#include "persist/RegistryLib.h"
#include "persist/ShellLib.h"
#include "ui/ByteText.h"
#include "ui/DateConv.h"
#include "ui/EditLib.h"
#include "ui/FitScreen.h"
#include "ui/MessageText.h"
#include "ui/ModalRunner.h"
#include "ui/OptionsDlg.h"
#include "ui/UiPrompts.h"
#include "userdb/DataLib.h"
#include "userdb/Groups.h"
#include "userdb/NewUser.h"
#include "userdb/UserList.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

namespace quorvane {

TRadioGroup::TRadioGroup(const QString& title, const QStringList& items, QWidget* parent)
    : QGroupBox(title, parent), FButtons(new QButtonGroup(this)) {
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], this);
        FButtons->addButton(radio, i);
        layout->addWidget(radio);
    }
}

int TRadioGroup::ItemIndex() const {
    return FButtons->checkedId();
}

void TRadioGroup::SetItemIndex(int index) {
    if (QAbstractButton* button = FButtons->button(index)) {
        button->setChecked(true);
    } else if (QAbstractButton* checked = FButtons->checkedButton()) {
        FButtons->setExclusive(false); // an exclusive group cannot be emptied otherwise
        checked->setChecked(false);
        FButtons->setExclusive(true);
    }
}

namespace {

TNaturalEdit* NewNumberBox(QWidget* parent, const char* name, int min, int max, int digits,
                           int value) {
    auto* edit = new TNaturalEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->SetMinValue(min);
    edit->SetMaxValue(max);
    edit->SetMaxLength(digits);
    edit->SetValue(value);
    return edit;
}

QStringList CaseItems() {
    return {QCoreApplication::translate("quorvane::TfrmUserSeries", "Random"),
            QCoreApplication::translate("quorvane::TfrmUserSeries", "Upper"),
            QCoreApplication::translate("quorvane::TfrmUserSeries", "Lower")};
}

QStringList CharsItems() {
    return {QCoreApplication::translate("quorvane::TfrmUserSeries", "Random"),
            QCoreApplication::translate("quorvane::TfrmUserSeries", "Letter"),
            QCoreApplication::translate("quorvane::TfrmUserSeries", "Numeral")};
}

TRadioGroup* NewRadioGroup(QWidget* parent, const char* name, const QString& title,
                           const QStringList& items, int index) {
    auto* group = new TRadioGroup(title, items, parent);
    group->setObjectName(QLatin1String(name));
    const QList<QAbstractButton*> buttons = group->Buttons()->buttons();
    for (int i = 0; i < buttons.size(); ++i)
        buttons[i]->setObjectName(QLatin1String(name) + QString::number(i));
    group->SetItemIndex(index);
    return group;
}

// A radio group's position as the core's enumerations; no selection counts as random.
TCaseType CaseOf(const TRadioGroup& group) {
    const int index = group.ItemIndex();
    return index == static_cast<int>(TCaseType::Upper) ||
                   index == static_cast<int>(TCaseType::Lower)
               ? static_cast<TCaseType>(index)
               : TCaseType::Random;
}

TCharsType CharsOf(const TRadioGroup& group) {
    const int index = group.ItemIndex();
    return index == static_cast<int>(TCharsType::Letter) ||
                   index == static_cast<int>(TCharsType::Numeral)
               ? static_cast<TCharsType>(index)
               : TCharsType::Random;
}

// The series run's busy cursor; the warning waits until the normal cursor is back.
class TSeriesFeedback final : public ISeriesFeedback {
public:
    void BeginBusy() override {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        FBusy = true;
    }
    void EndBusy() override {
        if (FBusy) QApplication::restoreOverrideCursor();
        FBusy = false;
    }
    void Warning(const TMessage& message) override { FWarning = message; }
    ~TSeriesFeedback() override { EndBusy(); }
    const TMessage& WarningMessage() const { return FWarning; }

private:
    bool FBusy = false;
    TMessage FWarning;
};

const QString KSeriesKey = QStringLiteral("\\Software\\Ostrick\\Quorvane\\Series");

} // namespace

TSeriesOptions StoredSeriesOptions() {
    TSeriesOptions options;
    try {
        const std::unique_ptr<TRegistry> reg =
            OpenRegistryKey(TRegistryRootKey::CurrentUser, KSeriesKey);
        const auto read = [&reg](const char* name, int& value) {
            if (reg->ValueExists(QLatin1String(name)))
                value = reg->ReadInteger(QLatin1String(name));
        };
        const auto readEnum = [&read](const char* name, auto& value) {
            int number = static_cast<int>(value);
            read(name, number);
            value = static_cast<std::remove_reference_t<decltype(value)>>(number);
        };
        read("UserCount", options.UserCount);
        read("LoginLength", options.LoginLength);
        readEnum("LoginCase", options.LoginCase);
        readEnum("LoginChars", options.LoginChars);
        read("PasswordLength", options.PasswordLength);
        readEnum("PasswordCase", options.PasswordCase);
        readEnum("PasswordChars", options.PasswordChars);
        int unambiguous = 0;
        read("Unambiguous", unambiguous);
        options.Unambiguous = unambiguous != 0;
    } catch (const EQuorvaneError&) {
        return TSeriesOptions(); // a damaged entry: the defaults, as on a first run
    }
    const TSeriesOptions defaults;
    const auto known = [](int value, int last) { return value >= 0 && value <= last; };
    if (!known(static_cast<int>(options.LoginCase), 2)) options.LoginCase = defaults.LoginCase;
    if (!known(static_cast<int>(options.LoginChars), 2)) options.LoginChars = defaults.LoginChars;
    if (!known(static_cast<int>(options.PasswordCase), 2))
        options.PasswordCase = defaults.PasswordCase;
    if (!known(static_cast<int>(options.PasswordChars), 2))
        options.PasswordChars = defaults.PasswordChars;
    return options.Clamped();
}

void StoreSeriesOptions(const TSeriesOptions& options) {
    const std::unique_ptr<TRegistry> reg =
        OpenRegistryKey(TRegistryRootKey::CurrentUser, KSeriesKey);
    reg->WriteInteger(QStringLiteral("UserCount"), options.UserCount);
    reg->WriteInteger(QStringLiteral("LoginLength"), options.LoginLength);
    reg->WriteInteger(QStringLiteral("LoginCase"), static_cast<int>(options.LoginCase));
    reg->WriteInteger(QStringLiteral("LoginChars"), static_cast<int>(options.LoginChars));
    reg->WriteInteger(QStringLiteral("PasswordLength"), options.PasswordLength);
    reg->WriteInteger(QStringLiteral("PasswordCase"), static_cast<int>(options.PasswordCase));
    reg->WriteInteger(QStringLiteral("PasswordChars"), static_cast<int>(options.PasswordChars));
    reg->WriteInteger(QStringLiteral("Unambiguous"), options.Unambiguous ? 1 : 0);
    reg->CloseKey();
}

TfrmUserSeries::TfrmUserSeries(TUserList& list, QWidget* parent)
    : QDialog(parent), Random(&SecureRandom()), FList(list) {
    setObjectName(QStringLiteral("frmUserSeries"));
    setWindowTitle(tr("User Series"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    using O = TSeriesOptions;
    // The settings of the last series that was created (the defaults the first time).
    const TSeriesOptions last = StoredSeriesOptions();
    edtUserCount =
        NewNumberBox(this, "edtUserCount", O::kMinUserCount, O::kMaxUserCount, 5, last.UserCount);
    edtLoginLength =
        NewNumberBox(this, "edtLoginLength", O::kMinLength, O::kMaxLength, 2, last.LoginLength);
    edtPasswordLength = NewNumberBox(this, "edtPasswordLength", O::kMinLength, O::kMaxLength, 2,
                                     last.PasswordLength);
    rgpLoginCase = NewRadioGroup(this, "rgpLoginCase", tr(" Ca&se "), CaseItems(),
                                 static_cast<int>(last.LoginCase));
    rgpLoginChars = NewRadioGroup(this, "rgpLoginChars", tr(" C&hars type "), CharsItems(),
                                  static_cast<int>(last.LoginChars));
    // The password's groups have access keys of their own: both sides are shown at once.
    rgpPasswordCase = NewRadioGroup(this, "rgpPasswordCase", tr(" C&ase "), CaseItems(),
                                    static_cast<int>(last.PasswordCase));
    rgpPasswordChars = NewRadioGroup(this, "rgpPasswordChars", tr(" Cha&rs type "), CharsItems(),
                                     static_cast<int>(last.PasswordChars));

    // What every user of this series gets: nothing of it outlives the dialog but the alphabet.
    edtPrefix = new QLineEdit(this);
    edtPrefix->setObjectName(QStringLiteral("edtPrefix"));
    edtPrefix->setPlaceholderText(tr("none"));
    cbxNumbered = new QCheckBox(tr("N&umbered (prefix 01, 02, ...)"), this);
    cbxNumbered->setObjectName(QStringLiteral("cbxNumbered"));
    cbxUnambiguous = new QCheckBox(tr("Lea&ve out I, l, 1, O and 0"), this);
    cbxUnambiguous->setObjectName(QStringLiteral("cbxUnambiguous"));
    cbxUnambiguous->setChecked(last.Unambiguous);
    cbxExpire = new QCheckBox(tr("E&xpire on"), this);
    cbxExpire->setObjectName(QStringLiteral("cbxExpire"));
    dtpExpireDate = new TDatePicker(this);
    dtpExpireDate->setObjectName(QStringLiteral("dtpExpireDate"));
    SetUpDatePicker(*dtpExpireDate);
    dtpExpireDate->setDate(DayCountToDate(NewUserExpiry(Now(), StoredDefaultExpiryDays()).Date));
    dtpExpireDate->setEnabled(false);
    edtGroups = new QLineEdit(this);
    edtGroups->setObjectName(QStringLiteral("edtGroups"));
    edtGroups->setPlaceholderText(tr("none"));
    connect(cbxExpire, &QCheckBox::toggled, dtpExpireDate, &QWidget::setEnabled);
    const auto numberedOnlyWithPrefix = [this] {
        cbxNumbered->setEnabled(!edtPrefix->text().isEmpty());
    };
    connect(edtPrefix, &QLineEdit::textChanged, this, numberedOnlyWithPrefix);
    numberedOnlyWithPrefix();

    edtTestLogin = new QLineEdit(this);
    edtTestLogin->setObjectName(QStringLiteral("edtTestLogin"));
    edtTestPassword = new QLineEdit(this);
    edtTestPassword->setObjectName(QStringLiteral("edtTestPassword"));
    btnTest = new QToolButton(this);
    btnTest->setObjectName(QStringLiteral("btnTest"));
    btnTest->setText(tr("&Test"));
    btnTest->setAutoRaise(true); // flat
    btnTest->setToolTip(tr("Show a sample login and password; nothing is added"));
    btnTest->setFocusPolicy(Qt::NoFocus);

    CreateOkCancel(this, tr("OK"), tr("Cancel"), btnOK, btnCancel);
    btnOK->setEnabled(true);
    btnOK->setDefault(true);

    // Layout: the count, the login and password groups side by side, the test group, buttons.
    auto* countRow = new QHBoxLayout;
    auto* countLabel = new QLabel(tr("User &count"), this);
    countLabel->setBuddy(edtUserCount);
    countRow->addWidget(countLabel);
    countRow->addWidget(edtUserCount);
    countRow->addStretch(1);

    const auto side = [this](const char* name, const QString& title, const QString& lengthCaption,
                             TNaturalEdit* length, TRadioGroup* caseGroup,
                             TRadioGroup* charsGroup) {
        auto* group = new QGroupBox(title, this);
        group->setObjectName(QLatin1String(name));
        auto* lengthRow = new QHBoxLayout;
        auto* label = new QLabel(lengthCaption, group);
        label->setBuddy(length);
        lengthRow->addWidget(label);
        lengthRow->addWidget(length);
        lengthRow->addStretch(1);
        auto* radios = new QHBoxLayout;
        radios->addWidget(caseGroup);
        radios->addWidget(charsGroup);
        auto* layout = new QVBoxLayout(group);
        layout->addLayout(lengthRow);
        layout->addLayout(radios);
        return group;
    };
    auto* groups = new QHBoxLayout;
    groups->addWidget(side("grpLogin", tr(" &Login "), tr("L&ength"), edtLoginLength, rgpLoginCase,
                           rgpLoginChars));
    groups->addWidget(side("grpPassword", tr(" &Password "), tr("Le&ngth"), edtPasswordLength,
                           rgpPasswordCase, rgpPasswordChars));

    auto* every = new QGroupBox(tr(" Every user "), this);
    every->setObjectName(QStringLiteral("grpEvery"));
    auto* everyGrid = new QGridLayout(every);
    auto* prefixLabel = new QLabel(tr("Login pre&fix"), every);
    prefixLabel->setBuddy(edtPrefix);
    everyGrid->addWidget(prefixLabel, 0, 0);
    everyGrid->addWidget(edtPrefix, 0, 1);
    everyGrid->addWidget(cbxNumbered, 0, 2);
    everyGrid->addWidget(cbxExpire, 1, 0);
    everyGrid->addWidget(dtpExpireDate, 1, 1);
    everyGrid->addWidget(cbxUnambiguous, 1, 2);
    auto* groupsLabel = new QLabel(tr("Gr&oups"), every);
    groupsLabel->setBuddy(edtGroups);
    everyGrid->addWidget(groupsLabel, 2, 0);
    everyGrid->addWidget(edtGroups, 2, 1, 1, 2);

    auto* test = new QGroupBox(tr(" Test "), this);
    test->setObjectName(QStringLiteral("grpTest"));
    auto* testLayout = new QHBoxLayout(test);
    auto* testLogin = new QLabel(tr("Lo&gin"), test);
    testLogin->setBuddy(edtTestLogin);
    testLayout->addWidget(testLogin);
    testLayout->addWidget(edtTestLogin, 1);
    auto* testPassword = new QLabel(tr("Pass&word"), test);
    testPassword->setBuddy(edtTestPassword);
    testLayout->addWidget(testPassword);
    testLayout->addWidget(edtTestPassword, 1);
    testLayout->addWidget(btnTest);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(btnOK, QDialogButtonBox::AcceptRole);
    buttons->addButton(btnCancel, QDialogButtonBox::RejectRole);

    // The settings scroll on a screen too small for them; the buttons always show.
    auto* body = new QVBoxLayout;
    body->addLayout(countRow);
    body->addLayout(groups);
    body->addWidget(every);
    body->addWidget(test);
    auto* main = new QVBoxLayout(this);
    main->addWidget(ScrollingBody(this, body));
    main->addWidget(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnTest, &QToolButton::clicked, this, &TfrmUserSeries::btnTestClick);
    connect(btnOK, &QPushButton::clicked, this, &TfrmUserSeries::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmUserSeries::btnCancelClick);

    edtUserCount->setFocus();
}

TSeriesOptions TfrmUserSeries::Options() const {
    TSeriesOptions options;
    options.UserCount = edtUserCount->Value();
    options.LoginLength = edtLoginLength->Value();
    options.LoginCase = CaseOf(*rgpLoginCase);
    options.LoginChars = CharsOf(*rgpLoginChars);
    options.PasswordLength = edtPasswordLength->Value();
    options.PasswordCase = CaseOf(*rgpPasswordCase);
    options.PasswordChars = CharsOf(*rgpPasswordChars);
    options.LoginPrefix = TextToBytes(edtPrefix->text());
    options.NumberedLogins = cbxNumbered->isEnabled() && cbxNumbered->isChecked();
    options.Unambiguous = cbxUnambiguous->isChecked();
    options.Expire = cbxExpire->isChecked();
    if (options.Expire) options.ExpireDate = ReplaceDay(0, dtpExpireDate->date());
    return options.Clamped();
}

void TfrmUserSeries::btnTestClick() {
    Guarded(this, [this] {
        const TSeriesOptions options = Options();
        edtTestLogin->setText(BytesToText(GenerateLogin(options, *Random)));
        edtTestPassword->setText(BytesToText(GeneratePassword(options, *Random)));
    });
}

void TfrmUserSeries::CreateSeries(int count) {
    TSeriesOptions options = Options();
    options.Groups = ParseGroupList(TextToBytes(edtGroups->text()));
    TSeriesFeedback feedback;
    FCreated = CreateSeriesFor(FList, count, options, *Random, &feedback);
    feedback.EndBusy();
    if (!feedback.WarningMessage().Empty()) {
        ShowMessageBox(this, QMessageBox::Warning, tr("Warning"),
                       MessageText(feedback.WarningMessage()), QMessageBox::Ok);
    }
}

void TfrmUserSeries::btnOKClick() {
    // A failure leaves the dialog open; the users added before it stay.
    if (!Guarded(this, [this] { CreateSeries(Options().UserCount); })) return;
    // The next series (and the user dialog's Generate) starts from these settings; a store
    // that cannot be written costs only that.
    try {
        StoreSeriesOptions(Options());
    } catch (const EQuorvaneError&) {
    }
    accept();
}

void TfrmUserSeries::btnCancelClick() {
    reject();
}

bool ShowUserSeriesDialog(TUserList& list, QWidget* parent, std::vector<TSeriesUser>* created) {
    TfrmUserSeries dialog(list, parent);
    const bool ok = RunModal(dialog) == QDialog::Accepted;
    if (ok && created != nullptr) *created = dialog.Created();
    return ok;
}

std::string SeriesText(const std::vector<TSeriesUser>& users) {
    std::string text;
    for (const TSeriesUser& user : users) {
        text += user.Login;
        text += '\t';
        text += user.Password;
        text += '\n';
    }
    return text;
}

TfrmSeriesResult::TfrmSeriesResult(std::vector<TSeriesUser> users, QWidget* parent,
                                   std::function<void()> sendCredentials)
    : QDialog(parent), FUsers(std::move(users)) {
    setObjectName(QStringLiteral("frmSeriesResult"));
    setWindowTitle(tr("New Users"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    const int count = static_cast<int>(FUsers.size());
    auto* intro = new QLabel(
        (count == 1 ? tr("1 user created. Hand out this login and password; the database keeps "
                         "the password too.")
                    : tr("%1 users created. Hand out these logins and passwords; the database "
                         "keeps the passwords too.")
                          .arg(QLocale().toString(count))),
        this);
    intro->setObjectName(QStringLiteral("lblIntro"));
    intro->setWordWrap(true);

    memUsers = new QPlainTextEdit(this);
    memUsers->setObjectName(QStringLiteral("memUsers"));
    memUsers->setReadOnly(true);
    memUsers->setLineWrapMode(QPlainTextEdit::NoWrap);
    memUsers->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    memUsers->setPlainText(BytesToText(SeriesText(FUsers)));
    memUsers->setMinimumSize(320, 220);

    btnCopy = new QPushButton(tr("Copy"), this);
    btnCopy->setObjectName(QStringLiteral("btnCopy"));
    btnSave = new QPushButton(tr("Save As..."), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnClose = new QPushButton(tr("Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setDefault(true);

    lblCopied = new QLabel(this);
    lblCopied->setObjectName(QStringLiteral("lblCopied"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnCopy);
    buttons->addWidget(btnSave);
    if (sendCredentials) {
        btnSendCredentials = new QPushButton(tr("Send C&redentials..."), this);
        btnSendCredentials->setObjectName(QStringLiteral("btnSendCredentials"));
        buttons->addWidget(btnSendCredentials);
        connect(btnSendCredentials, &QPushButton::clicked, this, std::move(sendCredentials));
    }
    buttons->addWidget(lblCopied);
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    auto* main = new QVBoxLayout(this);
    main->addWidget(intro);
    main->addWidget(memUsers, 1);
    main->addLayout(buttons);

    connect(btnCopy, &QPushButton::clicked, this, &TfrmSeriesResult::btnCopyClick);
    connect(btnSave, &QPushButton::clicked, this, &TfrmSeriesResult::btnSaveClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmSeriesResult::SaveTo(const QString& fileName) const {
    WriteFileAtomically(QFile::encodeName(fileName).toStdString(), SeriesText(FUsers), 0600);
}

void TfrmSeriesResult::btnCopyClick() {
    QApplication::clipboard()->setText(BytesToText(SeriesText(FUsers)));
    const int count = static_cast<int>(FUsers.size());
    lblCopied->setText(count == 1 ? tr("1 user copied")
                                  : tr("%1 users copied").arg(QLocale().toString(count)));
}

void TfrmSeriesResult::btnSaveClick() {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgSaveSeries"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({tr("Text Files (*.txt)"), tr("All Files (*)")});
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    const QString folder = ExistingFolder(LastFolder());
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    dialog.selectFile(QStringLiteral("new-users.txt"));
    if (RunModal(dialog) != QDialog::Accepted) return;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return;
    RememberFolderOf(files.front());
    Guarded(this, [&] { SaveTo(files.front()); });
}

void ShowSeriesResult(const std::vector<TSeriesUser>& users, QWidget* parent,
                      std::function<void()> sendCredentials) {
    if (users.empty()) return;
    TfrmSeriesResult view(users, parent, std::move(sendCredentials));
    RunModal(view);
}

} // namespace quorvane
