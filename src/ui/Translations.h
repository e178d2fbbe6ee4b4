#pragma once
// The desktop program speaks the language of the system's locale when a translation for it is
// installed (share/quorvane/translations beside the program's folder) or built in; otherwise
// it stays in English. Qt's own texts (standard buttons, file dialogs) follow from Qt's
// translations where the system has them.

#include <QLocale>
#include <QString>

class QCoreApplication;

namespace quorvane {

// Loads and installs the program's and Qt's translations for the locale. Returns true when the
// program's own translation was found (English needs none and returns false).
bool InstallTranslations(QCoreApplication& app, const QLocale& locale = QLocale::system());

// Folders searched for the program's translation, in order: the installed one first, so an
// updated file there wins over the copy built into the program.
QStringList TranslationFolders();

} // namespace quorvane
