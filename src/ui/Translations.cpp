#include "ui/Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace quorvane {

QStringList TranslationFolders() {
    // The program runs from lib/quorvane; its data lives in share/quorvane.
    const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                              QStringLiteral("/../../share/quorvane/translations"));
    return {installed, QStringLiteral(":/i18n")};
}

namespace {

// Installs the first translation of `name` for the locale found in the folders. The
// translator lives as long as the application.
bool InstallFirst(QCoreApplication& app, const QLocale& locale, const QString& name,
                  const QStringList& folders) {
    auto* translator = new QTranslator(&app);
    for (const QString& folder : folders) {
        if (translator->load(locale, name, QStringLiteral("_"), folder) &&
            QCoreApplication::installTranslator(translator))
            return true;
    }
    delete translator;
    return false;
}

} // namespace

bool InstallTranslations(QCoreApplication& app, const QLocale& locale) {
    InstallFirst(app, locale, QStringLiteral("qtbase"),
                 {QLibraryInfo::path(QLibraryInfo::TranslationsPath)});
    return InstallFirst(app, locale, QStringLiteral("quorvane"), TranslationFolders());
}

} // namespace quorvane
