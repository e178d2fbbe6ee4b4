// Small things the road test found: the file dialogs' start folder, the date dialog's width,
// the series view's Copy.

#include "TestUtil.h"
#include "UiTestUtil.h"
#include "ui/DateDlg.h"
#include "ui/SeriesDlg.h"
#include "ui/UiPrompts.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace quorvane;

TEST(FileDialogs, AMissingStartFolderPreFillsNoFileName) {
    TTempDir dir;
    const QString root = QString::fromStdString(dir.Path().string());
    QDir(root).mkpath(QStringLiteral("data"));
    struct {
        QString Start, Shown;
    } const cases[] = {
        {root + QStringLiteral("/Documents"), root},
        {root + QStringLiteral("/gone/deeper"), root},
        {root + QStringLiteral("/data"), root + QStringLiteral("/data")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Str(c.Start));
        QString seenFolder, seenName = QStringLiteral("(not shown)");
        TModalHandlerScope scope([&](QDialog& dialog) {
            auto& files = dynamic_cast<QFileDialog&>(dialog);
            seenFolder = files.directory().absolutePath();
            seenName = Find<QLineEdit>(files, "fileNameEdit")->text();
            return int(QDialog::Rejected);
        });
        TFileDialogOptions options;
        options.InitialFolder = c.Start;
        options.DefaultExt = QStringLiteral("udx");
        QString chosen;
        for (bool save : {false, true}) {
            TQtProjectPrompts prompts(nullptr);
            EXPECT_FALSE(save ? prompts.ChooseFileToSave(options, chosen)
                              : prompts.ChooseFileToOpen(options, chosen));
            EXPECT_EQ(seenFolder, c.Shown);
            EXPECT_EQ(seenName, QString()) << "no file name typed for the user";
        }
    }
}

TEST(DateDialog, IsWideEnoughForItsTitle) {
    for (const char* title : {"Select the expiration date",
                              "Select the expiration date of the users chosen in the list"}) {
        SCOPED_TRACE(title);
        TfrmDateDialog dialog;
        dialog.setWindowTitle(QString::fromLatin1(title));
        dialog.adjustSize();
        QFont bold = dialog.font();
        bold.setBold(true);
        EXPECT_GT(dialog.width(), QFontMetrics(bold).horizontalAdvance(dialog.windowTitle()));
    }
}

TEST(SeriesResult, CopySaysHowManyUsersItCopied) {
    for (int count : {1, 50}) {
        std::vector<TSeriesUser> users;
        for (int i = 0; i < count; ++i)
            users.push_back({"user" + std::to_string(i), "pw" + std::to_string(i)});
        TfrmSeriesResult view(users);
        EXPECT_EQ(Find<QLabel>(view, "lblCopied")->text(), QString());
        Find<QPushButton>(view, "btnCopy")->click();
        EXPECT_EQ(Find<QLabel>(view, "lblCopied")->text(),
                  count == 1 ? QStringLiteral("1 user copied") : QStringLiteral("50 users copied"));
        EXPECT_TRUE(QApplication::clipboard()->text().startsWith(QStringLiteral("user0")));
    }
}
