#include "ui/UserDlg.h"

#include "base/Errors.h"
#include "base/Random.h"
#include "export/ClearPasswords.h"
#include "export/HashOnlyUsers.h"
#include "ui/ByteText.h"
#include "ui/DateConv.h"
#include "ui/EditLib.h"
#include "ui/FitScreen.h"
#include "ui/MessageText.h"
#include "ui/ModalRunner.h"
#include "ui/OptionsDlg.h"
#include "ui/PasswordField.h"
#include "ui/UsersModel.h"
#include "userdb/Groups.h"
#include "userdb/LoginRule.h"
#include "userdb/NewUser.h"
#include "userdb/UserCommands.h"
#include "userdb/UserList.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace quorvane {

namespace {
// Comments keep the line breaks of the database file (CR LF); the box itself works with LF.
QString CommentsForFile(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

} // namespace

TfrmUser::TfrmUser(QWidget* parent) : QDialog(parent), FPasswordBox(*this, "edtPassword") {
    setObjectName(QStringLiteral("frmUser"));
    setWindowTitle(tr("User Properties"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    edtLogin = new QLineEdit(this);
    edtLogin->setObjectName(QStringLiteral("edtLogin"));
    edtPassword = FPasswordBox.Edit;
    btnGenerate = FPasswordBox.Generate;
    lblStrength = FPasswordBox.Strength;
    lblLoginTaken = new QLabel(tr("Already exists"), this);
    lblLoginTaken->setObjectName(QStringLiteral("lblLoginTaken"));
    {
        QPalette palette = lblLoginTaken->palette();
        const bool dark = palette.color(QPalette::Window).lightness() < 128;
        palette.setColor(QPalette::WindowText, dark ? QColor(255, 120, 120) : QColor(190, 30, 30));
        lblLoginTaken->setPalette(palette);
        QSizePolicy policy = lblLoginTaken->sizePolicy();
        policy.setRetainSizeWhenHidden(true); // the dialog keeps its width when it goes
        lblLoginTaken->setSizePolicy(policy);
        lblLoginTaken->hide();
    }
    cbxDisable = new QCheckBox(tr("&Disabled"), this);
    cbxDisable->setObjectName(QStringLiteral("cbxDisable"));
    cbxExpire = new QCheckBox(tr("E&xpire on"), this);
    cbxExpire->setObjectName(QStringLiteral("cbxExpire"));
    cbxExpire->setChecked(true);
    dtpExpireDate = new TDatePicker(this);
    dtpExpireDate->setObjectName(QStringLiteral("dtpExpireDate"));
    SetUpDatePicker(*dtpExpireDate);
    edtFullName = new QLineEdit(this);
    edtFullName->setObjectName(QStringLiteral("edtFullName"));
    edtEmail = new QLineEdit(this);
    edtEmail->setObjectName(QStringLiteral("edtEmail"));
    edtGroups = new QLineEdit(this);
    edtGroups->setObjectName(QStringLiteral("edtGroups"));
    edtGroups->setPlaceholderText(tr("Names separated by commas, such as staff, editors"));
    mmComments = new QPlainTextEdit(this);
    mmComments->setObjectName(QStringLiteral("mmComments"));
    mmComments->setTabChangesFocus(true);
    mmComments->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmComments->setFixedHeight(mmComments->fontMetrics().lineSpacing() * 5 + 12);

    lblProblems = new QLabel(this);
    lblProblems->setObjectName(QStringLiteral("lblProblems"));
    lblProblems->setWordWrap(true);
    lblProblems->setTextFormat(Qt::PlainText);
    // The lines wrap within the width the fields give the dialog; they never widen it.
    lblProblems->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    FButtons = new QDialogButtonBox(this);
    btnOK = FButtons->addButton(QDialogButtonBox::Ok);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnCancel = FButtons->addButton(QDialogButtonBox::Cancel);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    // Tab reaches the buttons after the fields; Enter in a field presses OK, Ctrl+Enter does
    // so from the comments too, where Enter begins a new line.
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        auto* accept = new QShortcut(keys, this);
        connect(accept, &QShortcut::activated, this, [this] {
            if (btnOK->isEnabled()) btnOK->click();
        });
    }

    // Room for 40 characters, or for the whole hint of the groups field in the user's language
    // (within reason): a hint cut off in the middle says nothing.
    const int average = fontMetrics().averageCharWidth();
    const int fieldWidth = std::clamp(
        edtGroups->fontMetrics().horizontalAdvance(edtGroups->placeholderText()) + 2 * average,
        40 * average, 70 * average);
    edtLogin->setMinimumWidth(fieldWidth);

    auto* grid = new QGridLayout;
    int row = 0;
    grid->addWidget(BuddyLabel(tr("&Login"), edtLogin, this), row, 0);
    grid->addWidget(edtLogin, row, 1, 1, 2);
    grid->addWidget(lblLoginTaken, row++, 3);
    grid->addWidget(BuddyLabel(tr("&Password"), edtPassword, this), row, 0);
    grid->addWidget(edtPassword, row, 1, 1, 2);
    grid->addWidget(btnGenerate, row++, 3);
    grid->addWidget(lblStrength, row++, 1, 1, 2);
    grid->addWidget(cbxDisable, row++, 1, 1, 2);
    grid->addWidget(cbxExpire, row, 1);
    grid->addWidget(dtpExpireDate, row++, 2);
    grid->addWidget(BuddyLabel(tr("&Full Name"), edtFullName, this), row, 0);
    grid->addWidget(edtFullName, row++, 1, 1, 2);
    grid->addWidget(BuddyLabel(tr("&Email"), edtEmail, this), row, 0);
    grid->addWidget(edtEmail, row++, 1, 1, 2);
    grid->addWidget(BuddyLabel(tr("Gro&ups"), edtGroups, this), row, 0);
    grid->addWidget(edtGroups, row++, 1, 1, 2);
    QLabel* commentsLabel = BuddyLabel(tr("&Comments"), mmComments, this);
    grid->addWidget(commentsLabel, row, 0, Qt::AlignTop);
    grid->addWidget(mmComments, row++, 1, 1, 2);
    grid->setColumnStretch(2, 1);

    // The fields scroll on a screen too small for them; the buttons always show.
    auto* body = new QVBoxLayout;
    body->addLayout(grid);
    body->addWidget(lblProblems);
    auto* main = new QVBoxLayout(this);
    main->addWidget(ScrollingBody(this, body));
    main->addSpacing(6);
    main->addWidget(FButtons);
    main->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(edtLogin, edtPassword);
    setTabOrder(edtPassword, cbxDisable);
    setTabOrder(cbxDisable, cbxExpire);
    setTabOrder(cbxExpire, dtpExpireDate);
    setTabOrder(dtpExpireDate, edtFullName);
    setTabOrder(edtFullName, edtEmail);
    setTabOrder(edtEmail, edtGroups);
    setTabOrder(edtGroups, mmComments);
    setTabOrder(mmComments, btnOK);
    setTabOrder(btnOK, btnCancel);
    setTabOrder(edtPassword, btnGenerate);
    setTabOrder(btnGenerate, cbxDisable);

    connect(edtLogin, &QLineEdit::textChanged, this, &TfrmUser::edtLoginChange);
    connect(edtPassword, &QLineEdit::textChanged, this, &TfrmUser::edtLoginChange);
    connect(cbxExpire, &QCheckBox::toggled, this, &TfrmUser::cbxExpireClick);
    connect(cbxDisable, &QCheckBox::toggled, this, &TfrmUser::edtLoginChange);
    connect(edtGroups, &QLineEdit::textChanged, this, &TfrmUser::edtLoginChange);
    connect(btnOK, &QPushButton::clicked, this, &TfrmUser::btnOKClick);
    connect(btnGenerate, &QToolButton::clicked, this, &TfrmUser::btnGenerateClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    SetExpireDate(DefaultExpireDate(Now()));
    UpdateControls();
    edtLogin->setFocus();
}

void TfrmUser::SetTarget(TUserList* list, int index, TUserDialogMode mode) {
    FList = list;
    FIndex = index;
    FMode = mode;
    UpdateControls();
}

void TfrmUser::SetExpireDate(TDateTime value) {
    FExpireDate = value;
    const QDate day = DayCountToDate(value);
    // A value no calendar can show stays as it is unless the user picks a day.
    dtpExpireDate->setDate(day.isValid() ? day : QDate(1899, 12, 30));
    FShownExpireDay = dtpExpireDate->date();
}

void TfrmUser::SetExpiry(bool expire, TDateTime date) {
    cbxExpire->setChecked(expire);
    SetExpireDate(date);
    UpdateControls();
}

TDateTime TfrmUser::PickedExpireDate() const {
    const QDate day = dtpExpireDate->date();
    if (day == FShownExpireDay) return FExpireDate;
    return ReplaceDay(FExpireDate, day);
}

void TfrmUser::FillFromUser(const TUserProp& user) {
    edtLogin->setText(BytesToText(user.Login));
    FLogin = TByteField(user.Login, edtLogin->text());
    edtPassword->setText(BytesToText(user.Password));
    FPassword = TByteField(user.Password, edtPassword->text());
    FHashOnly = user.HashOnly();
    // In place of a password this database does not know: what it has instead.
    edtPassword->setPlaceholderText(MessageText(HashOnlyMessage(user)));
    cbxDisable->setChecked(user.Disable);
    cbxExpire->setChecked(user.Expire);
    SetExpireDate(user.ExpireDate);
    edtFullName->setText(BytesToText(user.FullName));
    FFullName = TByteField(user.FullName, edtFullName->text());
    edtEmail->setText(BytesToText(user.Email));
    FEmail = TByteField(user.Email, edtEmail->text());
    edtGroups->setText(GroupsText(user));
    FGroups = TByteField(TextToBytes(edtGroups->text()), edtGroups->text());
    mmComments->setPlainText(BytesToText(user.Comments));
    FComments = TByteField(user.Comments, mmComments->toPlainText());
    edtLogin->selectAll();
}

void TfrmUser::WriteToUser(TUserProp& user) const {
    user.Login = FLogin.Read(edtLogin->text());
    // A new password replaces a stored hash; an untouched one keeps it.
    const std::string password = FPassword.Read(edtPassword->text());
    if (password != user.Password) user.SetPassword(password);
    user.Disable = cbxDisable->isChecked();
    user.Expire = cbxExpire->isChecked();
    user.ExpireDate = PickedExpireDate();
    user.FullName = FFullName.Read(edtFullName->text());
    user.Email = FEmail.Read(edtEmail->text());
    // Groups left as they were shown keep their stored form.
    if (edtGroups->text() != FGroups.Shown())
        SetUserGroups(user, ParseGroupList(TextToBytes(edtGroups->text())));
    const QString comments = mmComments->toPlainText();
    user.Comments = comments == FComments.Shown() ? FComments.Read(comments)
                                                  : TextToBytes(CommentsForFile(comments));
}

QStringList TfrmUser::Problems() const {
    QStringList problems;
    const TLoginProblem problem =
        IsBlank(TypedLogin()) ? TLoginProblem::Empty : CheckLogin(TypedLogin());
    if (problem != TLoginProblem::None) problems << MessageText(LoginProblemMessage(problem));
    // Groups left as they were shown are not typed: a stored name stays as it is.
    if (edtGroups->text() != FGroups.Shown()) {
        try {
            const auto groups = ParseGroupList(TextToBytes(edtGroups->text()));
            const bool editing = FList != nullptr && FIndex >= 0 && FIndex < FList->Count();
            if (FList != nullptr)
                RequireGroupSpelling(*FList, groups, editing ? &FList->Users(FIndex) : nullptr);
        } catch (const EQuorvaneError& error) {
            problems << MessageText(error.Message());
        } catch (const std::exception& error) {
            problems << QString::fromLocal8Bit(error.what());
        }
    }
    // The same bound as on every other way in; reading the field is cheap (no hashing).
    if (const TMessage tooLong = PasswordLengthMessage(FPassword.Read(edtPassword->text()));
        !tooLong.Empty())
        problems << MessageText(tooLong);
    return problems;
}

QStringList TfrmUser::Warnings() const {
    QStringList warnings;
    if (const TMessage warning = LoginWarningMessage(TypedLogin()); !warning.Empty())
        warnings << MessageText(warning);
    if (!cbxDisable->isChecked() && edtPassword->text().isEmpty() && !FHashOnly)
        warnings << tr("The user has no password: anyone who knows the login gets "
                       "in. Enter a password, or tick \"Disabled\".");
    return warnings;
}

bool TfrmUser::LoginTaken() const {
    return !IsBlank(TypedLogin()) && !IsLoginUnique();
}

bool TfrmUser::PasswordGenerated() const {
    return FPasswordBox.Generated();
}

void TfrmUser::btnGenerateClick() {
    FPasswordBox.GenerateFrom(SecureRandom());
}

void TfrmUser::UpdateControls() {
    const QStringList problems = Problems();
    // A login another user has is said at once, beside the field.
    const bool taken = LoginTaken();
    lblLoginTaken->setVisible(taken);
    const bool complete = problems.isEmpty() && !taken;
    lblStrength->setText(
        FHashOnly && edtPassword->text().isEmpty()
            ? QString()
            : PasswordStrengthText(FPassword.Read(edtPassword->text()), TypedLogin()));
    btnOK->setEnabled(complete);
    btnOK->setDefault(complete);
    dtpExpireDate->setEnabled(cbxExpire->isChecked());
    // What keeps OK disabled comes first, then what is allowed but worth knowing.
    const QStringList lines = problems + Warnings();
    lblProblems->setText(lines.join(QLatin1Char('\n')));
    lblProblems->setVisible(!lines.isEmpty());
}

std::string TfrmUser::TypedLogin() const {
    return FLogin.Read(edtLogin->text());
}

bool TfrmUser::IsLoginUnique() const {
    if (FList == nullptr) return true;
    return FList->IsLoginUnique(TypedLogin(), FIndex);
}

void TfrmUser::edtLoginChange() {
    UpdateControls();
}

void TfrmUser::cbxExpireClick() {
    UpdateControls();
}

void TfrmUser::btnOKClick() {
    if (IsLoginUnique()) {
        accept();
        return;
    }
    ShowMessageBox(this, QMessageBox::Warning, tr("Warning"),
                   tr("User \"%1\" already exists").arg(edtLogin->text()), QMessageBox::Ok);
    edtLogin->setFocus();
}

TUserProp* ShowUserDialog(TUserList& list, int index, TUserDialogMode mode, QWidget* parent,
                          bool* changed) {
    if (changed != nullptr) *changed = false;
    TfrmUser dialog(parent);
    dialog.SetTarget(&list, index, mode);
    if (index >= 0) {
        dialog.FillFromUser(list.Users(index));
    } else {
        const TNewUserExpiry expiry = NewUserExpiry(Now(), StoredDefaultExpiryDays());
        dialog.SetExpiry(expiry.Expire, expiry.Date);
    }
    dialog.UpdateControls();

    // The 32-bit sum alone misses changes that cancel out; the check takes the stamp too.
    std::optional<TListChangeCheck> check;
    if (changed != nullptr) check.emplace(list);

    if (RunModal(dialog) != QDialog::Accepted) return nullptr;

    TUserProp* target = nullptr;
    if (mode == TUserDialogMode::Edit) {
        target = &list.Users(index);
    } else {
        target = &AddNewUser(list, dialog.TypedLogin());
    }
    dialog.WriteToUser(*target);
    // A database that keeps no clear passwords keeps only the hash of a new one; a generated one
    // is shown this once.
    if (!list.KeepClearPasswords && !target->HashOnly() && !target->Password.empty()) {
        const std::string password = target->Password;
        GiveUserPassword(list, *target, password);
        if (dialog.PasswordGenerated()) ShowPasswordOnce(target->Login, password, parent);
    }

    if (changed != nullptr) *changed = check->Changed();
    return target;
}

} // namespace quorvane
