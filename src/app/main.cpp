// The desktop program: one main window on an empty, unnamed users database, or on the
// database named by the first argument (how the desktop opens a .udx file with it).

#include "MainForm.h"
#include "PrjLib.h"
#include "ShellLib.h"
#include "UiPrompts.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setOrganizationName(QStringLiteral("Ostrick"));
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
