#include "persist/RegistryLib.h"
#include "ui/About.h"
#include "ui/DateDlg.h"
#include "ui/EditLib.h"
#include "ui/OptionsDlg.h"

#include "TestUtil.h"
#include "UiTestUtil.h"
#include "UrlCatcher.h"

#include <QCalendarWidget>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>

using namespace quorvane;

TEST(DateDialog, ShowsTheCallersTitleAndReturnsTheDayOnOk) {
    const TDateTime start = At(2025, 6, 14, 9, 41) + 1.5e-8;
    QString title;
    TModalHandlerScope scope([&](QDialog& dialog) {
        title = dialog.windowTitle();
        ShowActive(dialog);
        auto* calendar = Find<QCalendarWidget>(dialog, "Calendar");
        EXPECT_EQ(calendar->selectedDate(), QDate(2025, 6, 14));
        QTest::keyClick(calendar, Qt::Key_Return);
        return dialog.result();
    });
    TDateTime date = start;
    EXPECT_TRUE(SelectDate(QStringLiteral("Select the expiration date"), date));
    EXPECT_EQ(title, QStringLiteral("Select the expiration date"));
    EXPECT_EQ(date, start) << "the day and its time of day come back unchanged";
}

TEST(DateDialog, AnotherDayKeepsTheTimeOfDayAndCancelReturnsFalse) {
    TModalHandlerScope scope([&](QDialog& dialog) {
        ShowActive(dialog);
        auto* calendar = Find<QCalendarWidget>(dialog, "Calendar");
        calendar->setSelectedDate(QDate(2025, 7, 2));
        QTest::mouseClick(Find<QPushButton>(dialog, "btnOK"), Qt::LeftButton);
        return dialog.result();
    });
    TDateTime date = At(2025, 6, 14, 9, 41);
    EXPECT_TRUE(SelectDate(QStringLiteral("t"), date));
    EXPECT_EQ(date, At(2025, 7, 2, 9, 41));

    TModalHandlerScope cancel([&](QDialog& dialog) {
        ShowActive(dialog);
        Find<QCalendarWidget>(dialog, "Calendar")->setSelectedDate(QDate(2025, 8, 3));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        return dialog.result();
    });
    date = At(2025, 6, 14, 9, 41);
    EXPECT_FALSE(SelectDate(QStringLiteral("t"), date));
    EXPECT_EQ(date, At(2025, 8, 3, 9, 41)) << "the calendar's day is written back anyway";
}

TEST(OptionsDialog, TheDaysTakeFourDigitsAndEscapeKeepsWhatWasStored) {
    const QTemporaryDir dir;
    const TScopedSettingsFile settings(dir.filePath(QStringLiteral("settings.ini")));
    StoreDefaultExpiryDays(90);
    TModalHandlerScope scope([&](QDialog& dialog) {
        ShowActive(dialog);
        auto* days = Find<TNaturalEdit>(dialog, "edtExpirationDate");
        EXPECT_EQ(QApplication::focusWidget(), days);
        days->selectAll();
        QTest::keyClicks(days, QStringLiteral("123456"));
        EXPECT_EQ(days->text(), QStringLiteral("1234"));
        QTest::keyClick(days, Qt::Key_Escape);
        return dialog.result();
    });
    EXPECT_FALSE(ShowOptionsDialog());
    EXPECT_EQ(StoredDefaultExpiryDays(), 90);
}

TEST(AboutBox, ShowsTheProductAndHandsTheLinksToTheDesktop) {
    TUrlCatcher catcher;
    int shown = 0;
    TModalHandlerScope scope([&](QDialog& dialog) {
        ++shown;
        ShowActive(dialog);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About"));
        EXPECT_EQ(Find<QLabel>(dialog, "lblProduct")->text(), QStringLiteral("Quorvane 1.3"));
        EXPECT_TRUE(
            Find<QLabel>(dialog, "lblMail")->text().contains(QStringLiteral("help@site.test")));
        emit Find<QLabel>(dialog, "lblMail")->linkActivated(QStringLiteral("#"));
        emit Find<QLabel>(dialog, "lblSite")->linkActivated(QStringLiteral("#"));
        EXPECT_TRUE(dialog.isVisible()) << "the box stays open after a click";
        // Enter, Escape and the Close button all close the box.
        if (shown == 1) QTest::keyClick(&dialog, Qt::Key_Return);
        if (shown == 2) QTest::keyClick(&dialog, Qt::Key_Escape);
        if (shown == 3) QTest::mouseClick(Find<QPushButton>(dialog, "btnClose"), Qt::LeftButton);
        EXPECT_FALSE(dialog.isVisible());
        return dialog.result();
    });
    for (int i = 0; i < 3; ++i) {
        TAboutForm box;
        box.FProductName = QStringLiteral("Quorvane 1.3");
        box.FSiteAddress = QStringLiteral("https://site.test/quorvane");
        box.FMailAddress = QStringLiteral("help@site.test");
        box.ShowAbout();
    }
    EXPECT_EQ(shown, 3);
    ASSERT_EQ(catcher.Opened.size(), 6);
    EXPECT_EQ(catcher.Opened[0], QStringLiteral("mailto:help@site.test"));
    EXPECT_EQ(catcher.Opened[1], QStringLiteral("https://site.test/quorvane"));
}

// The box says what the licence file says, whole, and links only to addresses the build names.
TEST(AboutBox, TheLicenceIsTheProgramsOwnAndNoLinkIsMadeUp) {
    QFile file(QStringLiteral(QUORVANE_TEST_DATA_DIR "/../../LICENSE"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString licence = QString::fromUtf8(file.readAll());
    ASSERT_TRUE(licence.startsWith(QStringLiteral("MIT License")));
    int shown = 0;
    TModalHandlerScope scope([&](QDialog& dialog) {
        ++shown;
        if (shown == 1) {
            const QString copyright = Find<QLabel>(dialog, "lblCopyright")->text();
            EXPECT_TRUE(copyright.startsWith(QStringLiteral("Copyright \u00a9 ")));
            EXPECT_TRUE(licence.contains(copyright.mid(12))) << Str(copyright);
            EXPECT_FALSE(copyright.contains(QStringLiteral("reserved")));
            for (const char* name : {"lblMail", "lblSite"})
                EXPECT_EQ(Find<QLabel>(dialog, name)->isVisible(),
                          !QLatin1String(name == std::string("lblMail") ? kMakerMailAddress
                                                                        : kMakerSiteAddress)
                               .isEmpty())
                    << name;
            dialog.show();
            emit Find<QLabel>(dialog, "lblLicence")->linkActivated(QStringLiteral("#"));
        } else {
            EXPECT_EQ(Find<QPlainTextEdit>(dialog, "memLicence")->toPlainText(), licence);
        }
        return int(QDialog::Accepted);
    });
    ShowAboutBox(nullptr);
    EXPECT_EQ(shown, 2);
    for (const char* address : {kMakerMailAddress, kMakerSiteAddress})
        EXPECT_EQ(std::string(address).find("example."), std::string::npos) << address;
}
