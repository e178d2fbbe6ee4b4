// The desktop program: one main window on an empty, unnamed users database.

#include "MainForm.h"
#include "PrjLib.h"
#include "ShellLib.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setOrganizationName(QStringLiteral("Ostrick"));
    LastFolder() = GetPersonalFolder();

    TfrmMain window;
    window.show();
    return QApplication::exec();
}
