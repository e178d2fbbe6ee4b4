#pragma once
// What the widget tests share: controls found by name, dialogs shown active, and every modal
// dialog of the program answered by a script given in advance.

#include "QtText.h"
#include "ui/ModalRunner.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

using namespace quorvane;

// The child of that type and name; the test fails when there is none.
template <typename T> T* Find(const QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QLatin1String(name));
    if (child == nullptr) ADD_FAILURE() << "no control named " << name;
    return child;
}

// Shows a dialog that a modal handler received and makes it the active window, so that focus
// and keys behave as for a dialog on screen.
inline void ShowActive(QDialog& dialog) {
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    (void)QTest::qWaitForWindowActive(&dialog);
}

// A message box a handler saw.
struct TSeenBox {
    QString Title;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
};

// Answers every modal dialog of the program for the lifetime of the object: message boxes
// with the next scripted button (then with `fallback`), file dialogs with the next scripted
// file name (rejected when there is none or it is ""), and any other dialog with `OnDialog`.
// Every message box is recorded.
class TScriptedModals {
public:
    explicit TScriptedModals(QMessageBox::StandardButton fallback = QMessageBox::Ok)
        : FFallback(fallback), FScope([this](QDialog& dialog) { return Answer(dialog); }) {}

    std::deque<QMessageBox::StandardButton> Buttons; // answers, in order
    std::deque<QString> FileNames;                   // answers of file dialogs, in order
    std::function<int(QDialog&)> OnDialog;           // other dialogs; none: rejected

    std::vector<TSeenBox> Boxes;
    // What the file dialogs showed when they opened: folder and proposed file names.
    std::vector<QString> FileDialogDirectories;
    std::vector<QStringList> FileDialogSelections;
    std::vector<QStringList> FileDialogFilters;
    std::vector<QString> FileDialogTitles;

private:
    int Answer(QDialog& dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            Boxes.push_back({box->windowTitle(), box->text(), box->icon()});
            if (Buttons.empty()) return FFallback;
            const QMessageBox::StandardButton answer = Buttons.front();
            Buttons.pop_front();
            return answer;
        }
        if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
            FileDialogDirectories.push_back(files->directory().absolutePath());
            FileDialogSelections.push_back(files->selectedFiles());
            FileDialogFilters.push_back(files->nameFilters());
            FileDialogTitles.push_back(files->windowTitle());
            if (FileNames.empty()) return QDialog::Rejected;
            const QString name = FileNames.front();
            FileNames.pop_front();
            if (name.isEmpty()) return QDialog::Rejected;
            files->selectFile(name);
            return QDialog::Accepted;
        }
        if (OnDialog) return OnDialog(dialog);
        return QDialog::Rejected;
    }

    QMessageBox::StandardButton FFallback;
    TModalHandlerScope FScope;
};
