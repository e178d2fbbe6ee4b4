// The desktop program: one main window on an empty, unnamed users database, or on the
// database named by the first argument (how the desktop opens a .udx file with it).

#include "persist/PrjLib.h"
#include "persist/ShellLib.h"
#include "ui/MainForm.h"
#include "ui/Translations.h"
#include "ui/UiPrompts.h"

#include "base/CoreDumps.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>
#include <new>

using namespace quorvane;

namespace {

// --help and --version are answered before any window exists, so they work without a display.
// Returns the exit status, or -1 to go on and start the program.
int AnswerInformationOptions(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) break; // what follows is a file name
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("quorvane %s\n", QUORVANE_VERSION);
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::printf("usage: quorvane [FILE.udx]\n\n"
                        "Keeps the users of a password-protected web site and writes the password\n"
                        "file the web server reads.\n\n"
                        "  FILE.udx     open this users database\n"
                        "  -h, --help   show this help and exit\n"
                        "  --version    show the program's version and exit\n\n"
                        "The command-line companion, quorvane-cli, does the same from scripts.\n");
        } else {
            continue;
        }
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    return -1;
}

int RunDesktop(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setOrganizationName(QStringLiteral("Ostrick"));
    // The program's icon for its windows and the about box; the desktop's theme wins when it
    // has one of that name (the installed icon).
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("quorvane"), QIcon(QStringLiteral(":/quorvane.svg"))));
    InstallTranslations(app);
    LastFolder() = GetPersonalFolder();

    TfrmMain window;
    window.show();
    QStringList args = QApplication::arguments();
    if (args.size() > 2 && args.at(1) == QStringLiteral("--")) args.removeAt(1);
    if (args.size() > 1) {
        const QString fileName = args.at(1);
        Guarded(&window, [&window, &fileName] { window.Project.OpenFile(fileName); });
    }
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    DisableCoreDumps(); // memory holds every user's clear password
    if (const int status = AnswerInformationOptions(argc, argv); status >= 0) return status;
    try {
        return RunDesktop(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("quorvane: Not enough memory to start the program or to keep it running. "
                   "Close other programs, then start it again.\n",
                   stderr);
        return 1;
    }
}
