#pragma once
// The message-box recorder and named-child lookup the older dialog tests use, beside the shared
// helpers.

#include "QtText.h"
#include "UiTestUtil.h"
#include "ui/ModalRunner.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace quorvane;

template <typename T> T* Child(QWidget& parent, const char* name) {
    T* child = parent.findChild<T*>(QLatin1String(name));
    EXPECT_NE(child, nullptr) << "no child named " << name;
    return child;
}

// A message box a handler saw: its title, text and icon.
struct TSeenMessage {
    QString Title;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
};

// Answers every message box with the given button and records it; other dialogs go to next.
class TMessageRecorder {
public:
    explicit TMessageRecorder(QMessageBox::StandardButton answer = QMessageBox::Ok)
        : FAnswer(answer) {}

    // Returns true when the dialog was a message box and has been answered.
    bool Answer(QDialog& dialog, int& result) {
        auto* box = qobject_cast<QMessageBox*>(&dialog);
        if (box == nullptr) return false;
        Seen.push_back({box->windowTitle(), box->text(), box->icon()});
        result = FAnswer;
        return true;
    }

    std::vector<TSeenMessage> Seen;

private:
    QMessageBox::StandardButton FAnswer;
};
