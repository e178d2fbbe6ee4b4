#pragma once
// The program's help page in a window of its own, so that F1 works on a desktop without a web
// browser. Links within the page stay in the window; other links go to the desktop.

#include <QDialog>

class QTextBrowser;

namespace quorvane {

class THelpWindow : public QDialog {
    Q_OBJECT
public:
    THelpWindow(const QString& helpFile, QWidget* parent = nullptr);
    QTextBrowser* Browser() const { return FBrowser; }

private:
    QTextBrowser* FBrowser;
};

} // namespace quorvane
