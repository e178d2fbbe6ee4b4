// The main window's commands that edit, delete, find and reach users, and Options and Help.

#include "ui/MainForm.h"

#include "ui/EditUsersDlg.h"

#include "base/BaseTexts.h"
#include "base/Errors.h"
#include "export/ClearPasswords.h"
#include "ui/ByteText.h"
#include "ui/CredentialsDlg.h"
#include "ui/DateDlg.h"
#include "ui/EditUsersDlg.h"
#include "ui/FindDlg.h"
#include "ui/HelpWindow.h"
#include "ui/ModalRunner.h"
#include "ui/OptionsDlg.h"
#include "ui/PasswordField.h"
#include "ui/UserDlg.h"
#include "ui/UsersModel.h"
#include "userdb/UserCommands.h"
#include "userdb/UserList.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

namespace quorvane {

namespace {
// Fields are searched as they are shown: invalid UTF-8 is read as Latin-1.
bool FieldMatches(const std::string& field, const std::string& text, bool wholeWord,
                  bool matchCase) {
    return FindTextMatches(TextToBytes(BytesToText(field)), text, wholeWord, matchCase);
}

// "Do you want to delete "X"?" for one row, "Do you want to delete these N users?" for more.
QString DeleteQuestion(const std::vector<QString>& logins) {
    if (logins.size() == 1)
        return TfrmMain::tr("Do you want to delete \"%1\"?").arg(logins.front());
    return TfrmMain::tr("Do you want to delete these %1 users?")
        .arg(QLocale().toString(static_cast<int>(logins.size())));
}

} // namespace

void TfrmMain::miAddUserClick() {
    Guarded(this, [this] {
        bool changed = false;
        TUserProp* user = ShowUserDialog(*FUserList, -1, TUserDialogMode::Add, this, &changed);
        if (user == nullptr) return;
        TUsersDelta delta;
        delta.AddAdded(FUserList->IndexOf(user));
        PushUsersChange(tr("Add User"), std::move(delta));
        UnselectAll();
        const int row = AddUserRow(user);
        SelectRow(row);
        lvwUsers->setFocus();
        RefreshList();
        lvwUsers->scrollTo(lvwUsers->currentIndex());
    });
}

void TfrmMain::miEditUserClick() {
    Guarded(this, [this] {
        const std::vector<int> rows = SelectedRows();
        if (rows.empty()) return;
        if (rows.size() > 1) {
            EditSeveralUsers(rows);
            return;
        }
        const int row = rows.front();
        TUserProp* user = ItemUser(row);
        const int index = FUserList->IndexOf(user);
        if (index < 0) return;
        bool changed = false;
        const TUserProp before = *user;
        TUserProp* edited =
            ShowUserDialog(*FUserList, index, TUserDialogMode::Edit, this, &changed);
        if (edited == nullptr) return;
        if (!edited->SameAs(before)) {
            TUsersDelta delta;
            delta.AddChanged(*FUserList, index, before);
            PushUsersChange(tr("Edit User"), std::move(delta));
        } else if (changed) {
            Project.SetModified(true);
        }
        ShowUserInItem(row, edited);
        RefreshList();
    });
}

void TfrmMain::EditSeveralUsers(const std::vector<int>& rows) {
    std::vector<int> indices;
    for (const int row : rows)
        if (const int index = FUserList->IndexOf(ItemUser(row)); index >= 0)
            indices.push_back(index);
    auto changed = ShowEditUsersDialog(*FUserList, indices, this);
    if (changed.empty()) return;
    TUsersDelta delta;
    for (auto& [index, before] : changed)
        delta.AddChanged(*FUserList, index, before);
    PushUsersChange(tr("Edit Users"), std::move(delta));
    for (const int row : rows)
        ShowUserInItem(row, ItemUser(row));
    RefreshList();
}

void TfrmMain::miDeleteUserClick() {
    Guarded(this, [this] {
        const std::vector<int> rows = SelectedRows();
        if (rows.empty()) return;
        std::vector<QString> logins;
        for (int row : rows) {
            const TUserProp* user = ItemUser(row);
            logins.push_back(user != nullptr ? BytesToText(user->Login) : QString());
        }
        if (ShowMessageBox(this, QMessageBox::Question, tr("Confirm"), DeleteQuestion(logins),
                           QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
            return;
        // Repainting waits for the whole removal; each removed row takes its user with it.
        lvwUsers->setUpdatesEnabled(false);
        try {
            DeleteRows(rows);
        } catch (...) {
            lvwUsers->setUpdatesEnabled(true);
            RefreshList();
            Project.SetModified(true);
            throw;
        }
        lvwUsers->setUpdatesEnabled(true);
        RefreshList();
        Project.SetModified(true);
    });
}

TFindDialog* TfrmMain::FindDialog() {
    if (fdgUser == nullptr) {
        fdgUser = new TFindDialog(this);
        connect(fdgUser, &TFindDialog::Find, this, &TfrmMain::fdgUserFind);
    }
    return fdgUser;
}

void TfrmMain::miSearchClick() {
    FSearchIndex = 0;
    FindDialog()->Execute();
}

void TfrmMain::fdgUserFind() {
    Guarded(this, [this] {
        TFindDialog* dialog = FindDialog();
        const std::string text = TextToBytes(dialog->FindText());
        const bool wholeWord = dialog->WholeWord();
        const bool matchCase = dialog->MatchCase();
        for (;;) {
            if (FSearchIndex < 0 || FSearchIndex >= FModel->rowCount()) {
                dialog->close();
                ShowMessageBox(this, QMessageBox::Information, tr("Information"),
                               tr("Search is completed"), QMessageBox::Ok);
                return;
            }
            const int row = FSearchIndex++;
            const TUserProp* user = ItemUser(row);
            if (user == nullptr) continue;
            if (FieldMatches(user->Login, text, wholeWord, matchCase) ||
                FieldMatches(user->Email, text, wholeWord, matchCase) ||
                FieldMatches(user->FullName, text, wholeWord, matchCase)) {
                UnselectAll();
                SelectRow(row);
                lvwUsers->setFocus();
                lvwUsers->scrollTo(FModel->index(row, 0), QAbstractItemView::EnsureVisible);
                return;
            }
        }
    });
}

void TfrmMain::miSelectAllClick() {
    lvwUsers->selectAll();
}

void TfrmMain::miEnableClick() {
    const auto* action = qobject_cast<const QAction*>(sender());
    if (action == nullptr) return;
    RunStateCommand(static_cast<TStateCommand>(action->data().toInt()));
}

void TfrmMain::RunStateCommand(TStateCommand command) {
    Guarded(this, [this, command] {
        const TListChangeCheck check(*FUserList);
        TDateTime date = Now();
        if (command == TStateCommand::SetExpireDate &&
            !SelectDate(tr("Select the expiration date"), date, this))
            return;
        const std::vector<int> rows = SelectedRows();
        std::vector<TUserProp*> users;
        for (int row : rows)
            if (TUserProp* user = ItemUser(row)) users.push_back(user);
        const TUsersRecorder recorder(*FUserList, users);
        // The rows are re-rendered where they stand: no re-sort, no recount.
        for (int row : rows) {
            TUserProp* user = ItemUser(row);
            if (user == nullptr) continue;
            ApplyStateCommand(*user, command, date);
            ShowUserInItem(row, user);
        }
        TUsersDelta delta = recorder.Finish();
        const int n = delta.Count();
        const QString count = QLocale().toString(n);
        const QString name =
            command == TStateCommand::Enable
                ? n == 1 ? tr("Enable User") : tr("Enable %1 Users").arg(count)
            : command == TStateCommand::Disable
                ? n == 1 ? tr("Disable User") : tr("Disable %1 Users").arg(count)
            : command == TStateCommand::NeverExpire
                ? n == 1 ? tr("Never Expire for User") : tr("Never Expire for %1 Users").arg(count)
            : n == 1 ? tr("Set Expiration Date of User")
                     : tr("Set Expiration Date of %1 Users").arg(count);
        PushUsersChange(name, std::move(delta));
        if (check.Changed()) Project.SetModified(true);
    });
}

void TfrmMain::miSendMailClick() {
    Guarded(this,
            [this] { QDesktopServices::openUrl(QUrl(BytesToText(MailtoText(SelectedUsers())))); });
}

void TfrmMain::miSendCredentialsClick() {
    Guarded(this, [this] {
        const QString result = ShowCredentialsDialog(SelectedUsers(), this);
        if (!result.isEmpty()) ShowResult(result);
    });
}

void TfrmMain::miChangePasswordClick() {
    Guarded(this, [this] {
        TUserProp* user = SingleSelection();
        if (user == nullptr) return;
        const int index = FUserList->IndexOf(user);
        if (index < 0) return;
        std::string password;
        bool generated = false;
        if (!ShowChangePasswordDialog(user->Login, password, this, &generated)) return;
        const TUserProp before = *user;
        // A stored hash gives way to the new password (or to its hash, when the database keeps
        // no clear passwords: a generated one is then shown this once).
        GiveUserPassword(*FUserList, *user, password);
        if (generated && user->HashOnly()) ShowPasswordOnce(user->Login, password, this);
        if (!user->SameAs(before)) {
            TUsersDelta delta;
            delta.AddChanged(*FUserList, index, before);
            PushUsersChange(tr("Change Password"), std::move(delta));
        }
        const std::vector<int> rows = SelectedRows();
        if (!rows.empty()) ShowUserInItem(rows.front(), user);
        UpdateCommands();
    });
}

void TfrmMain::miCopyPasswordClick() {
    const TUserProp* user = SingleSelection();
    if (user == nullptr || user->HashOnly() || user->Password.empty()) return;
    const QString password = BytesToText(user->Password);
    auto* data = new QMimeData;
    data->setText(password);
    // Clipboard managers that know the hint keep no history of it.
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    QGuiApplication::clipboard()->setMimeData(data);
    FCopiedPassword = password;
    if (FClipboardTimer == nullptr) {
        FClipboardTimer = new QTimer(this);
        FClipboardTimer->setSingleShot(true);
        connect(FClipboardTimer, &QTimer::timeout, this, &TfrmMain::ClearCopiedPassword);
    }
    FClipboardTimer->start(ClipboardClearMs);
    ShowResult(tr("Password of %1 copied; the clipboard is cleared in %2 s")
                   .arg(BytesToText(user->Login), QLocale().toString(ClipboardClearMs / 1000)));
}

void TfrmMain::ClearCopiedPassword() {
    if (FCopiedPassword.isEmpty()) return;
    // Whatever was copied since then stays.
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard != nullptr && clipboard->text() == FCopiedPassword) clipboard->clear();
    FCopiedPassword.clear();
}

void TfrmMain::miFocusFilterClick() {
    edtFilter->setFocus(Qt::ShortcutFocusReason);
    edtFilter->selectAll();
}

void TfrmMain::miOptionsClick() {
    Guarded(this, [this] {
        if (ShowOptionsDialog(this)) ApplyIdleLockOption();
    });
}

void TfrmMain::miHelpTopicsClick() {
    Guarded(this, [this] {
        if (!QFile::exists(FHelpFile))
            throw EQuorvaneError(Msg(texts::CannotOpenFile, FHelpFile.toStdString()));
        // Shown by the program itself: no web browser needed.
        if (FHelpWindow == nullptr) FHelpWindow = new THelpWindow(FHelpFile, this);
        FHelpWindow->show();
        FHelpWindow->raise();
        FHelpWindow->activateWindow();
    });
}

} // namespace quorvane
