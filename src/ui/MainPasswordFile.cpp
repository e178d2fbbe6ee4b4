// The main window's commands for users taken over from an existing password file: Import
// Password File, Check Password for a user known only by the stored hash, and Keep Clear
// Passwords.

#include "ui/MainForm.h"

#include "export/ClearPasswords.h"
#include "export/HashSchemes.h"
#include "export/HtpasswdImport.h"
#include "export/StoredHash.h"
#include "ui/ByteText.h"
#include "ui/MessageText.h"
#include "ui/ModalRunner.h"
#include "ui/UsersModel.h"
#include "userdb/UserList.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

#include <map>
#include <optional>

namespace quorvane {

namespace {

// Thrown out of the conflict question when the user cancels the import.
struct TImportCancelled {};

// Asks about each line whose login the database or an earlier line already holds; with "Apply
// to all" ticked, the answer covers the later ones too.
class TConflictQuestion {
public:
    explicit TConflictQuestion(QWidget* parent) : FParent(parent) {}

    bool Replace(const THtpasswdClash& clash) {
        if (FForAll) return *FForAll;
        const QString question =
            clash.OtherLine == 0
                ? TfrmMain::tr("Line %1 of the file has the login \"%2\", and the database has "
                               "\"%3\". Web servers tell logins apart by case, this database does "
                               "not. Replace the user with the line from the file?")
                      .arg(clash.Line)
                      .arg(BytesToText(clash.Login), BytesToText(clash.OtherLogin))
                : TfrmMain::tr("Line %1 of the file has the login \"%2\", and line %3 has \"%4\". "
                               "Web servers tell logins apart by case, this database does not. "
                               "Replace the user of line %3 with line %1?")
                      .arg(clash.Line)
                      .arg(BytesToText(clash.Login))
                      .arg(clash.OtherLine)
                      .arg(BytesToText(clash.OtherLogin));
        QMessageBox box(QMessageBox::Question, TfrmMain::tr("Confirm"), question,
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, FParent);
        box.setObjectName(QStringLiteral("dlgImportConflict"));
        box.button(QMessageBox::Yes)->setText(TfrmMain::tr("&Replace"));
        box.button(QMessageBox::No)->setText(TfrmMain::tr("&Skip"));
        box.setDefaultButton(QMessageBox::No); // keeping what is there is the safe side
        box.setEscapeButton(QMessageBox::Cancel);
        box.setCheckBox(new QCheckBox(TfrmMain::tr("&Apply to all"), &box));
        const int answer = RunModal(box);
        if (answer != QMessageBox::Yes && answer != QMessageBox::No) throw TImportCancelled();
        const bool replace = answer == QMessageBox::Yes;
        if (box.checkBox()->isChecked()) FForAll = replace;
        return replace;
    }

private:
    QWidget* FParent;
    std::optional<bool> FForAll;
};

// The decision for every line whose login is already there, asked in file order before anything
// changes. The importer itself runs on a list of the logins alone, so the questions come exactly
// for the lines it would ask about. Nothing when the user cancelled.
std::optional<std::map<int, bool>>
AskConflicts(const TUserList& list, const std::vector<THtpasswdEntry>& entries, QWidget* parent) {
    TUserList logins;
    for (int i = 0; i < list.Count(); ++i)
        logins.Add(list.Users(i).Login, std::string());
    TConflictQuestion question(parent);
    std::map<int, bool> decisions;
    try {
        ImportHtpasswd(logins, entries, [&](const THtpasswdClash& clash) {
            return decisions[clash.Line] = question.Replace(clash);
        });
    } catch (const TImportCancelled&) {
        return std::nullopt;
    }
    return decisions;
}

} // namespace

void TfrmMain::miImportHtpasswdClick() {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("odgImportHtpasswd"));
    dialog.setWindowTitle(TfrmMain::tr("Import Password File"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({TfrmMain::tr("Password Files (.htpasswd *.htpasswd htpasswd)"),
                           TfrmMain::tr("All Files (*)")});
    dialog.setFilter(dialog.filter() | QDir::Hidden); // ".htpasswd" is a hidden file
    if (!ExistingFolder(LastFolder()).isEmpty()) dialog.setDirectory(ExistingFolder(LastFolder()));
    if (RunModal(dialog) != QDialog::Accepted) return;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return;
    RememberFolderOf(files.front());
    ImportPasswordFile(files.front());
}

void TfrmMain::ImportPasswordFile(const QString& fileName) {
    Guarded(this, [&] {
        // A bad line refuses the whole file here, before any question and any change.
        const std::vector<THtpasswdEntry> entries =
            ReadHtpasswdFile(QFile::encodeName(fileName).toStdString());
        const std::optional<std::map<int, bool>> decisions =
            AskConflicts(*FUserList, entries, this);
        if (!decisions) return;
        THtpasswdImportResult result;
        // One undoable step; the rows are rebuilt and the document marked modified.
        RunUsersChange(
            TChangeScope::AnyUser,
            [&] {
                result = ImportHtpasswd(*FUserList, entries, [&](const THtpasswdClash& clash) {
                    const auto found = decisions->find(clash.Line);
                    return found != decisions->end() && found->second;
                });
            },
            [](const TUsersDelta&) { return tr("Import Password File"); });
        QString report;
        for (const TMessage& sentence : HtpasswdImportMessages(result))
            report += MessageText(sentence);
        ShowResult(report);
        // Who was skipped, replaced, locked or kept as they were: worth reading, not only a
        // status line.
        QStringList paragraphs;
        for (const TMessage& note : HtpasswdImportNoteMessages(result))
            paragraphs << MessageText(note);
        const QString notes = paragraphs.join(QStringLiteral("\n\n"));
        if (result.Weak > 0 || !notes.isEmpty())
            ShowMessageBox(this, QMessageBox::Warning, TfrmMain::tr("Import Password File"),
                           notes.isEmpty() ? report : report + QStringLiteral("\n\n") + notes,
                           QMessageBox::Ok);
    });
}

TUserProp* TfrmMain::HashOnlySelection() const {
    const std::vector<int> rows = SelectedRows();
    if (rows.size() != 1) return nullptr;
    TUserProp* user = FModel->UserAt(rows.front());
    return user != nullptr && user->HashOnly() ? user : nullptr;
}

void TfrmMain::miCheckPasswordClick() {
    TUserProp* user = HashOnlySelection();
    if (user == nullptr) return;
    QInputDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgCheckPassword"));
    dialog.setWindowTitle(TfrmMain::tr("Check Password"));
    dialog.setLabelText(TfrmMain::tr("Password for user %1:").arg(BytesToText(user->Login)));
    dialog.setTextEchoMode(QLineEdit::Password);
    if (RunModal(dialog) != QDialog::Accepted) return;
    const std::string password = TextToBytes(dialog.textValue());
    if (VerifyStoredHash(password, user->PasswordHash()))
        ShowMessageBox(this, QMessageBox::Information, TfrmMain::tr("Check Password"),
                       TfrmMain::tr("Password for user %1 correct.").arg(BytesToText(user->Login)),
                       QMessageBox::Ok);
    else
        ShowMessageBox(this, QMessageBox::Warning, TfrmMain::tr("Check Password"),
                       TfrmMain::tr("Password verification failed."), QMessageBox::Ok);
}

void TfrmMain::miKeepClearPasswordsClick() {
    Guarded(this, [this] {
        TUserList& list = *FUserList;
        if (!list.KeepClearPasswords) {
            list.KeepClearPasswords = true; // new passwords in clear again; hashes stay hashes
            Project.SetModified(true);
            UpdateCommands();
            return;
        }
        UpdateCommands(); // the item stays checked unless the question is answered
        // The form of the hashes becomes the only one this database can export: a fast one is
        // named, and bcrypt offered first.
        const QString form = MessageText(SchemeOf(list.PassType).DisplayMessage());
        const bool fast = !IsSlowPassType(list.PassType);
        QString question =
            tr("Keep no clear passwords in this database? Every clear password is replaced by its "
               "hash now, and new passwords are kept only as their hashes. This cannot be "
               "undone.");
        if (fast)
            question += QStringLiteral("\n\n") +
                        tr("The hashes are made in one form, and the password file can then be "
                           "written in that form only. %1 is quick to break where the file is "
                           "stolen; bcrypt is not. Hash with bcrypt?")
                            .arg(form);
        const QMessageBox::StandardButton answer =
            fast ? ShowMessageBox(this, QMessageBox::Warning, tr("Keep Clear Passwords"), question,
                                  QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No,
                                  QMessageBox::Yes,
                                  {{QMessageBox::Yes, tr("Hash with &bcrypt")},
                                   {QMessageBox::YesToAll, tr("Hash with &%1").arg(form)},
                                   {QMessageBox::No, tr("&Keep clear passwords")}})
                 : ShowMessageBox(this, QMessageBox::Warning, tr("Keep Clear Passwords"), question,
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes && answer != QMessageBox::YesToAll) return;
        const TPasswordsType before = list.PassType;
        if (fast && answer == QMessageBox::Yes) list.PassType = TPasswordsType::ptBcrypt;
        int hashed = 0;
        try {
            hashed = StopKeepingClearPasswords(list);
        } catch (...) {
            list.PassType = before;
            throw;
        }
        // The steps held the clear passwords of before: none may bring them back.
        FUndoStack->clear();
        Project.SetModified(true);
        if (FUndoStack->isClean()) FUndoStack->resetClean();
        FillList();
        UpdateCommands();
        ShowResult(tr("Passwords replaced by their hashes: %1").arg(QLocale().toString(hashed)));
    });
}

} // namespace quorvane
