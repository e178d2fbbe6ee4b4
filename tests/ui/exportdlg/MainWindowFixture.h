#pragma once
// A main window on a settings store of the test's own, for the tests of its commands.

#include "Support.h"
#include "persist/RegistryLib.h"
#include "ui/MainForm.h"
#include "ui/UsersModel.h"

#include <QAction>

using namespace quorvane;

namespace testsupport {

struct TMainWindowFixture {
    TTempDir Dir;
    quorvane::TScopedSettingsFile Store{
        QString::fromStdString((Dir.Path() / "settings.ini").string())};
    quorvane::TfrmMain Window;

    int Rows() const { return Window.Model()->rowCount(); }
    void Trigger(const char* action) {
        auto* item = Window.findChild<QAction*>(QLatin1String(action));
        ASSERT_NE(item, nullptr) << action;
        ASSERT_TRUE(item->isEnabled()) << action;
        item->trigger();
    }
};

} // namespace testsupport
