// Every dialog fits the screen it opens on, with its buttons on it: run as well on a small
// screen at scale 2 (1280 x 800 pixels, 640 x 400 units; see ui.cmake).

#include "TestUtil.h"
#include "UiTestUtil.h"
#include "persist/RegistryLib.h"
#include "ui/About.h"
#include "ui/DateDlg.h"
#include "ui/ExportDlg.h"
#include "ui/OptionsDlg.h"
#include "ui/PasswordField.h"
#include "ui/SeriesDlg.h"
#include "ui/UserDlg.h"
#include "userdb/UserList.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include <functional>

using namespace quorvane;

TEST(FitScreen, EveryDialogKeepsItsButtonsOnTheScreen) {
    TTempDir dir;
    TScopedSettingsFile store(QString::fromStdString(dir.File("settings.ini")));
    TUserList list;
    list.Add("ann", "pw");
    std::vector<TSeriesUser> many(200, TSeriesUser{"someone", "password"});
    const struct {
        const char* Name;
        std::function<void()> Show;
    } dialogs[] = {
        {"export", [&] { ShowExportDialog(list, nullptr); }},
        {"user", [&] { ShowUserDialog(list, 0, TUserDialogMode::Edit); }},
        {"series", [&] { ShowUserSeriesDialog(list); }},
        {"series result", [&] { ShowSeriesResult(many); }},
        {"date",
         [] {
             TDateTime date = 46000;
             SelectDate(QStringLiteral("Select the expiration date"), date);
         }},
        {"options", [] { ShowOptionsDialog(); }},
        {"about", [] { ShowAboutBox(nullptr); }},
        {"change password",
         [] {
             std::string password;
             ShowChangePasswordDialog("ann", password);
         }},
    };
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.Name);
        int shown = 0;
        TModalHandlerScope scope([&](QDialog& dialog) {
            ++shown;
            ShowActive(dialog);
            // Room for a title bar is left above it.
            EXPECT_LE(dialog.frameGeometry().height() + 24, screen.height())
                << dialog.height() << " of " << screen.height();
            EXPECT_LE(dialog.frameGeometry().width(), screen.width());
            EXPECT_TRUE(screen.contains(dialog.frameGeometry()))
                << dialog.x() << "," << dialog.y() << " " << dialog.width() << "x"
                << dialog.height();
            const QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
            EXPECT_FALSE(buttons.isEmpty());
            for (QPushButton* button : buttons) {
                if (button->isHidden()) continue;
                // Whole, and not cut off by a scroll area.
                const QRect where(button->mapTo(&dialog, QPoint(0, 0)), button->size());
                EXPECT_TRUE(dialog.rect().contains(where)) << Str(button->text());
                EXPECT_EQ(button->visibleRegion().boundingRect().size(), button->size())
                    << Str(button->text());
            }
            return int(QDialog::Rejected);
        });
        d.Show();
        EXPECT_EQ(shown, 1);
    }
}
