// The widget tests run in-process on the offscreen platform, with a settings store of their own:
// a test that names none still never touches the user's settings.

#include "persist/RegistryLib.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    const QTemporaryDir settingsDir;
    const quorvane::TScopedSettingsFile settings(
        settingsDir.filePath(QStringLiteral("settings.ini")));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
