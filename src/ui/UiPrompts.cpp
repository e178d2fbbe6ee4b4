#include "ui/UiPrompts.h"

#include "base/Errors.h"
#include "ftp/ServerTarget.h"
#include "ui/MessageText.h"
#include "ui/ModalRunner.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

namespace quorvane {

QString ErrorMessageText(const QString& message) {
    QString text = message;
    if (!text.isEmpty() && text.back().unicode() > u'.') text += QLatin1Char('.');
    return text;
}

QString ErrorMessageText(const std::exception& error) {
    if (const auto* own = dynamic_cast<const EQuorvaneError*>(&error))
        return ErrorMessageText(MessageText(own->Message()));
    return ErrorMessageText(QString::fromLocal8Bit(error.what()));
}

QString OutOfMemoryText(const QString& task) {
    return QCoreApplication::translate("UiPrompts", "Not enough memory to %1.").arg(task);
}

void ShowErrorMessage(QWidget* parent, const QString& message) {
    ShowMessageBox(parent, QMessageBox::Critical, AppTitle(), message, QMessageBox::Ok);
}

void ShowWriteWarnings(QWidget* parent, const std::vector<TMessage>& warnings) {
    if (warnings.empty()) return;
    QStringList lines;
    for (const TMessage& warning : warnings)
        lines << ErrorMessageText(MessageText(warning));
    ShowMessageBox(parent, QMessageBox::Warning, AppTitle(), lines.join(QLatin1Char('\n')),
                   QMessageBox::Ok);
}

bool TQtSecretPrompt::AskSecret(const QString& question, QString& secret) {
    QInputDialog ask(FParent);
    ask.setObjectName(QStringLiteral("dlgServerPassword"));
    ask.setWindowTitle(AppTitle());
    ask.setLabelText(question);
    ask.setTextEchoMode(QLineEdit::Password);
    if (RunModal(ask) != QDialog::Accepted) return false;
    secret = ask.textValue();
    return true;
}

TSessionSecrets& ProgramSecrets() {
    static TSessionSecrets secrets;
    return secrets;
}

TSaveAnswer TQtProjectPrompts::AskSaveChanges(const QString& question) {
    // Buttons that say what they do: Save, Don't Save, Cancel.
    QMessageBox box(QMessageBox::Question, QCoreApplication::translate("UiPrompts", "Confirm"),
                    question, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                    FParent);
    box.setObjectName(QStringLiteral("dlgSaveChanges"));
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Save)->setText(QCoreApplication::translate("UiPrompts", "&Save"));
    box.button(QMessageBox::Discard)
        ->setText(QCoreApplication::translate("UiPrompts", "Do&n't Save"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    const int result = RunModal(box);
    const QMessageBox::StandardButton answer =
        box.clickedButton() != nullptr ? box.standardButton(box.clickedButton())
                                       : static_cast<QMessageBox::StandardButton>(result);
    switch (answer) {
    case QMessageBox::Save:
        return TSaveAnswer::Yes;
    case QMessageBox::Discard:
        return TSaveAnswer::No;
    default:
        return TSaveAnswer::Cancel; // Cancel, or the box closed
    }
}

QString ExistingFolder(const QString& folder) {
    QString path = folder;
    while (!path.isEmpty() && !QFileInfo(path).isDir()) {
        const QString up = QFileInfo(path).path();
        if (up == path || up == QStringLiteral(".")) return QString();
        path = up;
    }
    return path;
}

void RememberFolderOf(const QString& fileName) {
    if (fileName.isEmpty()) return;
    LastFolder() = QFileInfo(fileName).absolutePath();
}

namespace {

bool RunFileDialog(QWidget* parent, const TFileDialogOptions& options, bool save,
                   QString& fileName) {
    // A folder that does not exist would be taken as a folder and a file name ("Documents"
    // pre-filled, and Enter saving ~/Documents.udx): start in the nearest one that does.
    QFileDialog dialog(parent, options.Title, ExistingFolder(options.InitialFolder),
                       options.Filter);
    dialog.setObjectName(save ? QStringLiteral("dlgSave") : QStringLiteral("dlgOpen"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // The chosen file need not exist: the open then reports that it cannot open it.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(options.DefaultExt);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(save && options.ConfirmOverwrite));
    if (save && !options.SuggestedName.isEmpty()) dialog.selectFile(options.SuggestedName);
    if (RunModal(dialog) != QDialog::Accepted) return false;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return false;
    fileName = files.front();
    return true;
}

} // namespace

bool TQtProjectPrompts::ChooseFileToOpen(const TFileDialogOptions& options, QString& fileName) {
    return RunFileDialog(FParent, options, false, fileName);
}

bool TQtProjectPrompts::ChooseFileToSave(const TFileDialogOptions& options, QString& fileName) {
    return RunFileDialog(FParent, options, true, fileName);
}

TChangedFileAnswer TQtProjectPrompts::AskSaveOverChangedFile(const QString& question) {
    QMessageBox box(QMessageBox::Warning, AppTitle(), question, QMessageBox::NoButton, FParent);
    box.setObjectName(QStringLiteral("dlgChangedOnDisk"));
    box.setTextFormat(Qt::PlainText);
    QPushButton* overwrite = box.addButton(QCoreApplication::translate("UiPrompts", "&Overwrite"),
                                           QMessageBox::AcceptRole);
    overwrite->setObjectName(QStringLiteral("btnOverwrite"));
    QPushButton* saveAs = box.addButton(QCoreApplication::translate("UiPrompts", "Save &As…"),
                                        QMessageBox::ActionRole);
    saveAs->setObjectName(QStringLiteral("btnSaveAs"));
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    RunModal(box);
    if (box.clickedButton() == overwrite) return TChangedFileAnswer::Overwrite;
    if (box.clickedButton() == saveAs) return TChangedFileAnswer::SaveAs;
    return TChangedFileAnswer::Cancel;
}

bool TQtProjectPrompts::AskReloadChangedFile(const QString& question, bool losesChanges) {
    // Reloading over unsaved work is never the default.
    return ShowMessageBox(FParent, losesChanges ? QMessageBox::Warning : QMessageBox::Question,
                          AppTitle(), question, QMessageBox::Yes | QMessageBox::No,
                          losesChanges ? QMessageBox::No : QMessageBox::Yes) == QMessageBox::Yes;
}

void TQtProjectPrompts::ProcessPendingEvents() {
    QCoreApplication::processEvents();
}

} // namespace quorvane
