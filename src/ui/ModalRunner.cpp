#include "ui/ModalRunner.h"

#include "ui/FitScreen.h"

#include <QAbstractButton>
#include <QDialog>

#include <utility>

namespace quorvane {

namespace {
TModalHandler& Handler() {
    static TModalHandler handler;
    return handler;
}
} // namespace

int RunModal(QDialog& dialog) {
    FitToScreen(dialog); // whatever the screen and its scale, the buttons stay on it
    // Copied so that a handler may replace itself while it runs.
    const TModalHandler handler = Handler();
    if (handler) return handler(dialog);
    return dialog.exec();
}

TModalHandler SetModalHandler(TModalHandler handler) {
    return std::exchange(Handler(), std::move(handler));
}

TModalHandlerScope::TModalHandlerScope(TModalHandler handler)
    : FPrevious(SetModalHandler(std::move(handler))) {}

TModalHandlerScope::~TModalHandlerScope() {
    SetModalHandler(std::move(FPrevious));
}

QMessageBox::StandardButton
ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
               QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
               const std::vector<std::pair<QMessageBox::StandardButton, QString>>& captions) {
    QMessageBox box(icon, title, text, buttons, parent);
    for (const auto& [which, caption] : captions)
        if (QAbstractButton* button = box.button(which)) button->setText(caption);
    // The text is the system's own, never markup.
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
    const int result = RunModal(box);
    // A handler may answer with a standard button code directly, or click one of the box's
    // buttons; exec() returns the code of the button clicked.
    if (box.clickedButton() != nullptr) return box.standardButton(box.clickedButton());
    return static_cast<QMessageBox::StandardButton>(result);
}

} // namespace quorvane
