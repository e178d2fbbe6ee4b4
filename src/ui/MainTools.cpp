// The main window's commands that fill the database in bulk and export it: Import Users,
// Create Users Series, Export, and the About box.

#include "ui/MainForm.h"

#include "base/BaseTexts.h"
#include "base/Errors.h"
#include "export/ClearPasswords.h"
#include "export/HtpasswdImport.h"
#include "ui/About.h"
#include "ui/CredentialsDlg.h"
#include "ui/ExportDlg.h"
#include "ui/ImportPreviewDlg.h"
#include "ui/MessageText.h"
#include "ui/ModalRunner.h"
#include "ui/RestoreDlg.h"
#include "ui/SeriesDlg.h"
#include "userdb/CSVImport.h"
#include "userdb/UserCommands.h"
#include "userdb/UserList.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace quorvane {

void TfrmMain::miImportClick() {
    QFileDialog odgImport(this);
    odgImport.setObjectName(QStringLiteral("odgImport"));
    odgImport.setWindowTitle(tr("Import Users"));
    odgImport.setAcceptMode(QFileDialog::AcceptOpen);
    odgImport.setFileMode(QFileDialog::ExistingFile);
    odgImport.setNameFilter(ToQtFileFilter(tr("Text Files|*.txt; *.csv|All Files|*.*")));
    if (!ExistingFolder(LastFolder()).isEmpty())
        odgImport.setDirectory(ExistingFolder(LastFolder()));
    if (RunModal(odgImport) != QDialog::Accepted) return;
    const QStringList files = odgImport.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return;
    RememberFolderOf(files.front());
    ImportTextFile(files.front());
}

void TfrmMain::ImportTextFile(const QString& file) {
    const std::string fileName = QFile::encodeName(file).toStdString();
    Guarded(this, [&] {
        const std::string text = ReadImportFile(fileName);
        // A spreadsheet's file is looked at first: lines that look wrong are shown, with the
        // separator, before anything is added; a header row is never a user.
        TImportOptions options;
        const TImportAnalysis analysis = AnalyseImport(text);
        if (ImportNeedsPreview(analysis)) {
            if (!ShowImportPreview(text, QFileInfo(file).fileName(), options, this)) return;
        } else {
            options.SkipLines = ImportLinesToSkip(analysis, false);
        }
        // Logins that are there already would become namesakes, of which the password file
        // holds only one: the user decides before anything is added.
        if (const std::vector<std::string> existing =
                ExistingImportLogins(text, *FUserList, options);
            !existing.empty()) {
            TImportReport preview;
            preview.Existing = existing;
            QMessageBox box(QMessageBox::Question, tr("Import Users"),
                            tr("%1.\n\nAdd them again (the password file holds only the last of "
                               "users with the same login), or skip them?")
                                .arg(MessageText(ExistingLoginsMessage(preview))),
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
            TChangeScope::AppendsOnly, [&] { ImportUsersFor(text, *FUserList, &report, options); },
            [](const TUsersDelta& delta) {
                const int n = delta.AddedCount();
                return n == 1 ? tr("Import User")
                              : tr("Import %1 Users").arg(QLocale().toString(n));
            });
        QString result =
            tr("%1 imported from %2").arg(UsersText(report.Added), QFileInfo(file).fileName());
        if (report.SkippedLines > 0)
            result += QStringLiteral("; ") +
                      (report.SkippedLines == 1
                           ? tr("1 line left out")
                           : tr("%1 lines left out").arg(QLocale().toString(report.SkippedLines)));
        if (!report.Existing.empty())
            result += QStringLiteral("; ") + MessageText(ExistingLoginsMessage(report));
        ShowResult(result);
    });
}

namespace {

// A users database by its name or by how its text starts.
bool LooksLikeDatabase(const QString& fileName) {
    if (QFileInfo(fileName).suffix().compare(QStringLiteral("udx"), Qt::CaseInsensitive) == 0)
        return true;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return false;
    return file.read(64).trimmed().startsWith("object TUserList");
}

} // namespace

void TfrmMain::OpenDroppedFile(const QString& fileName) {
    const QFileInfo info(fileName);
    if (!info.isFile()) {
        ShowErrorMessage(
            this, ErrorMessageText(MessageText(
                      Msg(texts::CannotOpenFile, QFile::encodeName(fileName).toStdString()))));
        return;
    }
    if (LooksLikeDatabase(fileName)) {
        Guarded(this, [&] { Project.OpenFile(info.absoluteFilePath()); });
        return;
    }
    const QString suffix = info.suffix().toLower();
    if (suffix != QStringLiteral("txt") && suffix != QStringLiteral("csv")) {
        // Lines of "login:hash" are a web server's password file; anything else is read as a
        // text import, which names the line it cannot use.
        bool passwordFile = false;
        try {
            passwordFile = !ReadHtpasswdFile(QFile::encodeName(fileName).toStdString()).empty();
        } catch (const EQuorvaneError&) {
        }
        if (passwordFile) {
            ImportPasswordFile(fileName);
            return;
        }
    }
    ImportTextFile(fileName);
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (FLocked) return;
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.front().isLocalFile()) event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return;
    event->acceptProposedAction();
    // The drop ends before any question is asked, so the other program is not kept waiting.
    const QString fileName = urls.front().toLocalFile();
    QTimer::singleShot(0, this, [this, fileName] { OpenDroppedFile(fileName); });
}

void TfrmMain::miCreateUsersSeriesClick() {
    Guarded(this, [this] {
        std::vector<TSeriesUser> created;
        bool accepted = false;
        const bool changed = RunUsersChange(
            TChangeScope::AppendsOnly,
            [&] { accepted = ShowUserSeriesDialog(*FUserList, this, &created); },
            [](const TUsersDelta& delta) {
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
        ShowSeriesResult(created, this, [this, first, &created] {
            // A database that keeps no clear passwords has only their hashes: the mails take
            // the passwords from the series' own list, the one place they are.
            std::vector<TUserProp> copies;
            for (int i = std::max(first, 0); i < FUserList->Count(); ++i) {
                copies.push_back(FUserList->Users(i));
                const size_t k = static_cast<size_t>(i - first);
                if (copies.back().HashOnly() && k < created.size())
                    copies.back().SetPassword(created[k].Password);
            }
            std::vector<const TUserProp*> users;
            for (const TUserProp& user : copies)
                users.push_back(&user);
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
        TExportDialogOutcome outcome;
        bool saved = false;
        // Users taken over from the site are saved at once, before the word that the file is
        // on the server: a database that lost them again would take them off the site at its
        // next export.
        const auto saveMerged = [&](const TExportDialogOutcome& done) {
            if (!done.Merged) return;
            Project.SetModified(true);
            FillList();
            Project.Save();
            saved = true;
        };
        try {
            outcome = ShowExportDialog(
                *FUserList, this, QFile::encodeName(Project.FileName()).toStdString(), saveMerged);
        } catch (...) {
            ShowResult(QString());
            if (check.Changed() && !saved) Project.SetModified(true);
            throw;
        }
        if (check.Changed() && !saved) Project.SetModified(true);
        if (outcome.Merged && !saved) {
            FillList();
            Project.Save();
        }
        // An export that failed or was aborted: an earlier export's result would mislead. A
        // dialog closed without exporting leaves the line as it was.
        if (outcome.Attempted || !outcome.ResultText.isEmpty()) ShowResult(outcome.ResultText);
    });
}

void TfrmMain::miRestoreClick() {
    Guarded(this, [this] {
        const QString result = ShowRestoreDialog(
            *FUserList, this, QFile::encodeName(Project.FileName()).toStdString());
        if (!result.isEmpty()) ShowResult(result);
    });
}

void TfrmMain::miAboutClick() {
    ShowAboutBox(this);
}

} // namespace quorvane
