// The desktop program: one main window on an empty, unnamed users database, or on the
// database named by the first argument (how the desktop opens a .udx file with it).

#include "MainForm.h"
#include "PrjLib.h"
#include "ShellLib.h"
#include "UiPrompts.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setOrganizationName(QStringLiteral("Ostrick"));
    // The program's icon for its windows and the about box; the desktop's theme wins when it
    // has one of that name (the installed icon).
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("quorvane"), QIcon(QStringLiteral(":/quorvane.svg"))));
    LastFolder() = GetPersonalFolder();

    TfrmMain window;
    window.show();
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) {
        const QString fileName = args.at(1);
        Guarded(&window, [&window, &fileName] { window.Project.OpenFile(fileName); });
    }
    return QApplication::exec();
}
