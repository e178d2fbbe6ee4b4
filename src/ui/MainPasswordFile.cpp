// The main window's commands for users taken over from an existing password file: Import
// Password File, and Check Password for a user known only by the stored hash.

#include "ui/MainForm.h"

#include "export/HtpasswdImport.h"
#include "export/StoredHash.h"
#include "ui/ByteText.h"
#include "ui/CoreText.h"
#include "ui/ModalRunner.h"
#include "ui/UsersModel.h"
#include "userdb/UserList.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <map>
#include <optional>

namespace quorvane {

namespace {

// Thrown out of the conflict question when the user cancels the import.
struct TImportCancelled {};

// Asks about each login the database already holds; with "Apply to all" ticked, the answer
// covers the later ones too.
class TConflictQuestion {
public:
    explicit TConflictQuestion(QWidget* parent) : FParent(parent) {}

    bool Replace(const TUserProp& existing) {
        if (FForAll) return *FForAll;
        QMessageBox box(QMessageBox::Question, TfrmMain::tr("Confirm"),
                        TfrmMain::tr("User \"%1\" already exists. Replace its password with the "
                                     "one from the file?")
                            .arg(BytesToText(existing.Login)),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, FParent);
        box.setObjectName(QStringLiteral("dlgImportConflict"));
        box.button(QMessageBox::Yes)->setText(TfrmMain::tr("&Replace"));
        box.button(QMessageBox::No)->setText(TfrmMain::tr("&Skip"));
        box.setDefaultButton(QMessageBox::No); // keeping what the database has is the safe side
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

// The decision for every line whose login the database already holds, asked in file order
// before anything changes. The importer itself runs on a list of the logins alone, so the
// questions come exactly for the lines it would ask about. Nothing when the user cancelled.
std::optional<std::map<int, bool>>
AskConflicts(const TUserList& list, const std::vector<THtpasswdEntry>& entries, QWidget* parent) {
    TUserList logins;
    for (int i = 0; i < list.Count(); ++i)
        logins.Add(list.Users(i).Login, std::string());
    TConflictQuestion question(parent);
    std::map<int, bool> decisions;
    try {
        ImportHtpasswd(logins, entries, [&](const TUserProp& existing, const THtpasswdEntry& e) {
            return decisions[e.Line] = question.Replace(existing);
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
                result = ImportHtpasswd(*FUserList, entries,
                                        [&](const TUserProp&, const THtpasswdEntry& e) {
                                            const auto found = decisions->find(e.Line);
                                            return found != decisions->end() && found->second;
                                        });
            },
            [](const TUsersDelta&) { return tr("Import Password File"); });
        const QString report = HtpasswdImportDisplay(result);
        ShowResult(report);
        if (result.Weak > 0)
            ShowMessageBox(this, QMessageBox::Warning, TfrmMain::tr("Import Password File"), report,
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

} // namespace quorvane
