#include "UiPrompts.h"

#include "ByteText.h"
#include "ModalRunner.h"

#include <QCoreApplication>
#include <QFileDialog>

QString ErrorMessageText(const QString& message) {
    QString text = message;
    if (!text.isEmpty() && text.back().unicode() > u'.') text += QLatin1Char('.');
    return text;
}

QString ErrorMessageText(const std::exception& error) {
    return ErrorMessageText(BytesToText(error.what()));
}

void ShowErrorMessage(QWidget* parent, const QString& message) {
    ShowMessageBox(parent, QMessageBox::Critical, AppTitle(), message, QMessageBox::Ok);
}

TSaveAnswer TQtProjectPrompts::AskSaveChanges(const QString& question) {
    switch (ShowMessageBox(FParent, QMessageBox::Question, QStringLiteral("Confirm"), question,
                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                           QMessageBox::Yes)) {
    case QMessageBox::Yes:
        return TSaveAnswer::Yes;
    case QMessageBox::No:
        return TSaveAnswer::No;
    default:
        return TSaveAnswer::Cancel; // Cancel, or the box closed
    }
}

namespace {

bool RunFileDialog(QWidget* parent, const TFileDialogOptions& options, bool save,
                   QString& fileName) {
    QFileDialog dialog(parent, options.Title, options.InitialFolder, options.Filter);
    dialog.setObjectName(save ? QStringLiteral("dlgSave") : QStringLiteral("dlgOpen"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // The chosen file need not exist: the open then reports that it cannot open it.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(options.DefaultExt);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(save && options.ConfirmOverwrite));
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

void TQtProjectPrompts::ProcessPendingEvents() {
    QCoreApplication::processEvents();
}
