#pragma once
// Every modal dialog and message box of the program is shown through RunModal. A test installs
// a handler that answers the dialog in advance instead of racing a nested event loop.

#include <QMessageBox>

#include <functional>
#include <utility>
#include <vector>

class QDialog;
class QWidget;

namespace quorvane {

// Receives the dialog in place of exec() and returns its result code.
using TModalHandler = std::function<int(QDialog&)>;

// Shows the dialog modally (centred over its parent) and returns its result code.
int RunModal(QDialog& dialog);

// Installs a handler (nullptr restores exec()). Returns the handler it replaces.
TModalHandler SetModalHandler(TModalHandler handler);

// Installs a handler for the lifetime of the object.
class TModalHandlerScope {
public:
    explicit TModalHandlerScope(TModalHandler handler);
    ~TModalHandlerScope();
    TModalHandlerScope(const TModalHandlerScope&) = delete;
    TModalHandlerScope& operator=(const TModalHandlerScope&) = delete;

private:
    TModalHandler FPrevious;
};

// A modal message box through RunModal; returns the button chosen (Escape answers with the
// box's escape button, as QMessageBox decides). Captions give standard buttons texts of their
// own ("Merge" on Apply), keeping their roles.
QMessageBox::StandardButton
ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
               QMessageBox::StandardButtons buttons,
               QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
               const std::vector<std::pair<QMessageBox::StandardButton, QString>>& captions = {});

} // namespace quorvane
