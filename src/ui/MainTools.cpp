// The main window's commands that fill the database in bulk and export it: Import Users,
// Create Users Series, Export, and the About box.

#include "ui/MainForm.h"

#include "ui/About.h"
#include "ui/CredentialsDlg.h"
#include "ui/ExportDlg.h"
#include "ui/ModalRunner.h"
#include "ui/SeriesDlg.h"
#include "userdb/CSVImport.h"
#include "userdb/UserCommands.h"
#include "userdb/UserList.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace quorvane {

void TfrmMain::miImportClick() {
    QFileDialog odgImport(this);
    odgImport.setObjectName(QStringLiteral("odgImport"));
    odgImport.setAcceptMode(QFileDialog::AcceptOpen);
    odgImport.setFileMode(QFileDialog::ExistingFile);
    odgImport.setNameFilter(ToQtFileFilter(tr("Text Files|*.txt; *.csv|All Files|*.*")));
    if (!ExistingFolder(LastFolder()).isEmpty())
        odgImport.setDirectory(ExistingFolder(LastFolder()));
    if (RunModal(odgImport) != QDialog::Accepted) return;
    const QStringList files = odgImport.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return;
    const std::string fileName = QFile::encodeName(files.front()).toStdString();
    Guarded(this, [&] {
        int added = 0;
        RunUsersChange(
            TChangeScope::AppendsOnly, [&] { added = ImportUsers(fileName, *FUserList); },
            [this](const TUsersDelta& delta) {
                const int n = delta.AddedCount();
                return n == 1 ? tr("Import User")
                              : tr("Import %1 Users").arg(QLocale().toString(n));
            });
        ShowResult(
            tr("%1 imported from %2").arg(UsersText(added), QFileInfo(files.front()).fileName()));
    });
}

void TfrmMain::miCreateUsersSeriesClick() {
    Guarded(this, [this] {
        std::vector<TSeriesUser> created;
        bool accepted = false;
        const bool changed = RunUsersChange(
            TChangeScope::AppendsOnly,
            [&] { accepted = ShowUserSeriesDialog(*FUserList, this, &created); },
            [this](const TUsersDelta& delta) {
                const int n = delta.AddedCount();
                return n == 1 ? tr("Create User")
                              : tr("Create %1 Users").arg(QLocale().toString(n));
            });
        if (!accepted) return;
        if (!changed) FillList();
        Project.SetModified(true); // whether or not a user could be created
        ShowResult(tr("%1 created").arg(UsersText(static_cast<int>(created.size()))));
        // The series' users are the last of the list (it only appends).
        const int first = FUserList->Count() - static_cast<int>(created.size());
        ShowSeriesResult(created, this, [this, first] {
            std::vector<const TUserProp*> users;
            for (int i = std::max(first, 0); i < FUserList->Count(); ++i)
                users.push_back(&FUserList->Users(i));
            Guarded(this, [&] {
                const QString result = ShowCredentialsDialog(users, this);
                if (!result.isEmpty()) ShowResult(result);
            });
        });
    });
}

void TfrmMain::miExportClick() {
    Guarded(this, [this] {
        const TListChangeCheck check(*FUserList);
        // The rows are not rebuilt: users the export's sweep disabled show their new state at
        // the next rebuild.
        QString result;
        try {
            result = ShowExportDialog(*FUserList, this,
                                      QFile::encodeName(Project.FileName()).toStdString());
        } catch (...) {
            if (check.Changed()) Project.SetModified(true);
            throw;
        }
        if (check.Changed()) Project.SetModified(true);
        if (!result.isEmpty()) ShowResult(result);
    });
}

void TfrmMain::miAboutClick() {
    ShowAboutBox(this);
}

} // namespace quorvane
