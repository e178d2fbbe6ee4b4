// The main window's commands that fill the database in bulk and export it: Import Users,
// Create Users Series, Export, and the About box.

#include "ui/MainForm.h"

#include "ui/About.h"
#include "ui/CoreText.h"
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
#include <QMessageBox>
#include <QPushButton>

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
        const std::string text = ReadImportFile(fileName);
        // Logins that are there already would become namesakes, of which the password file
        // holds only one: the user decides before anything is added.
        TImportOptions options;
        if (const std::vector<std::string> existing = ExistingImportLogins(text, *FUserList);
            !existing.empty()) {
            TImportReport preview;
            preview.Existing = existing;
            QMessageBox box(QMessageBox::Question, tr("Import Users"),
                            tr("%1.\n\nAdd them again (the password file holds only the last of "
                               "users with the same login), or skip them?")
                                .arg(TranslateCoreText(ExistingLoginsText(preview))),
                            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
            box.setObjectName(QStringLiteral("dlgImportExisting"));
            box.button(QMessageBox::Yes)->setText(tr("&Add Again"));
            box.button(QMessageBox::No)->setText(tr("&Skip Them"));
            box.setDefaultButton(QMessageBox::No);
            box.setEscapeButton(QMessageBox::Cancel);
            const int answer = RunModal(box);
            if (answer != QMessageBox::Yes && answer != QMessageBox::No) return;
            options.SkipExisting = answer == QMessageBox::No;
        }
        TImportReport report;
        RunUsersChange(
            TChangeScope::AppendsOnly,
            [&] { ImportUsersFromText(text, *FUserList, &report, options); },
            [this](const TUsersDelta& delta) {
                const int n = delta.AddedCount();
                return n == 1 ? tr("Import User")
                              : tr("Import %1 Users").arg(QLocale().toString(n));
            });
        QString result = tr("%1 imported from %2")
                             .arg(UsersText(report.Added), QFileInfo(files.front()).fileName());
        if (!report.Existing.empty())
            result += QStringLiteral("; ") + TranslateCoreText(ExistingLoginsText(report));
        ShowResult(result);
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
        ShowSeriesResult(created, this);
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
