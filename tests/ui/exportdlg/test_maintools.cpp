// The main window's Import Users, Create Users Series and Export commands: what they add, when
// they mark the document modified and when they rebuild the rows.

#include "MainWindowFixture.h"
#include "Support.h"
#include "ui/MainForm.h"

#include "persist/PrjLib.h"
#include "persist/RegistryLib.h"
#include "ui/EditLib.h"
#include "ui/SeriesDlg.h"
#include "ui/UsersModel.h"
#include "userdb/UserList.h"

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorvane;

using namespace testsupport;

namespace {

using TWindow = TMainWindowFixture;

} // namespace

TEST(ImportCommand, MarksModifiedOnlyWhenUsersWereAdded) {
    TWindow w;
    const fs::path empty = w.Dir.Path() / "empty.csv";
    const fs::path two = w.Dir.Path() / "two.txt";
    WriteWholeFile(empty, "");
    WriteWholeFile(two, "jsmith,secret,john@example.org,\"John Smith\"\r\nann box\r\n");

    TScriptedModals modals;
    w.Trigger("miImport"); // cancelled file dialog
    EXPECT_EQ(w.Window.UserList().Count(), 0);
    EXPECT_FALSE(w.Window.Project.Modified());

    modals.FileNames = {QString::fromStdString(empty.string())};
    w.Trigger("miImport");
    EXPECT_EQ(w.Window.UserList().Count(), 0);
    EXPECT_FALSE(w.Window.Project.Modified()) << "an empty file adds nothing";

    modals.FileNames.push_back(QString::fromStdString(two.string()));
    LastFolder() = QStringLiteral("/");
    w.Trigger("miImport");
    ASSERT_EQ(w.Window.UserList().Count(), 2);
    EXPECT_EQ(w.Window.UserList().Users(0).FullName, "John Smith");
    EXPECT_EQ(w.Window.UserList().Users(1).Password, "box");
    EXPECT_TRUE(w.Window.Project.Modified());
    EXPECT_EQ(w.Rows(), 2) << "the rows are rebuilt";
    EXPECT_TRUE(modals.Boxes.empty());

    // The file dialog offers text files first, then all files, and says what it is for.
    ASSERT_EQ(modals.FileDialogFilters.size(), 3u);
    EXPECT_EQ(modals.FileDialogFilters[0], QStringList({QStringLiteral("Text Files (*.txt *.csv)"),
                                                        QStringLiteral("All Files (*)")}));
    EXPECT_EQ(modals.FileDialogTitles[0], QStringLiteral("Import Users"));

    // A file that cannot be opened: the error, nothing added.
    modals.FileNames.push_back(QString::fromStdString((w.Dir.Path() / "gone.txt").string()));
    w.Trigger("miImport");
    // The next file dialog starts where the last file was chosen.
    EXPECT_EQ(modals.FileDialogDirectories.back(), QString::fromStdString(w.Dir.Path().string()));
    ASSERT_EQ(modals.Boxes.size(), 1u);
    EXPECT_EQ(Str(modals.Boxes[0].Title), "Quorvane");
    EXPECT_TRUE(modals.Boxes[0].Text.startsWith(QStringLiteral("Cannot open file ")));
    EXPECT_EQ(w.Window.UserList().Count(), 2);
}

// Logins the database already has would become namesakes: the user decides before anything is
// added, and the result names them.
TEST(ImportCommand, LoginsAlreadyThereAreAskedAbout) {
    const struct {
        QMessageBox::StandardButton Answer;
        int Users; // afterwards
        const char* Result;
    } cases[] = {
        {QMessageBox::Yes, 4, "2 users imported from again.txt; 1 login was already there: ANN"},
        {QMessageBox::No, 3,
         "1 user imported from again.txt; 1 login was already there and was skipped: ANN"},
        {QMessageBox::Cancel, 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Answer);
        TWindow w;
        w.Window.UserList().Add("ann", "a1");
        w.Window.UserList().Add("bob", "b1");
        const fs::path again = w.Dir.Path() / "again.txt";
        WriteWholeFile(again, "ANN a2\ncarl c1\n");
        TScriptedModals modals;
        modals.FileNames = {QString::fromStdString(again.string())};
        modals.Buttons = {c.Answer};
        w.Trigger("miImport");
        ASSERT_EQ(modals.Boxes.size(), 1u);
        EXPECT_TRUE(
            modals.Boxes[0].Text.startsWith(QStringLiteral("1 login was already there: ANN")))
            << Str(modals.Boxes[0].Text);
        EXPECT_EQ(w.Window.UserList().Count(), c.Users);
        if (c.Answer != QMessageBox::Cancel) {
            EXPECT_EQ(Str(w.Window.ResultText()), c.Result);
        }
        EXPECT_EQ(w.Window.Project.Modified(), c.Answer != QMessageBox::Cancel);
    }
}

TEST(SeriesCommand, OkRebuildsAndMarksModifiedCancelDoesNot) {
    TWindow w;
    TScriptedModals modals;
    int resultViews = 0;
    bool cancel = true;
    modals.OnDialog = [&](QDialog& dialog) {
        if (qobject_cast<TfrmSeriesResult*>(&dialog) != nullptr) {
            ++resultViews;
            return int(QDialog::Accepted);
        }
        dialog.findChild<TNaturalEdit*>(QStringLiteral("edtUserCount"))->SetValue(12);
        QTest::mouseClick(dialog.findChild<QPushButton*>(cancel ? QStringLiteral("btnCancel")
                                                                : QStringLiteral("btnOK")),
                          Qt::LeftButton);
        return dialog.result();
    };
    w.Trigger("miCreateUsersSeries");
    EXPECT_EQ(w.Window.UserList().Count(), 0);
    EXPECT_FALSE(w.Window.Project.Modified());
    EXPECT_EQ(resultViews, 0);

    cancel = false;
    w.Trigger("miCreateUsersSeries");
    EXPECT_EQ(w.Window.UserList().Count(), 12);
    EXPECT_EQ(w.Rows(), 12);
    EXPECT_TRUE(w.Window.Project.Modified());
    EXPECT_EQ(resultViews, 1) << "the new logins and passwords are shown to hand out";
}

TEST(ExportCommand, MarksModifiedWhenTheExportChangedTheDatabase) {
    TWindow w;
    w.Window.UserList().Add("carl", "c");
    TScriptedModals modals;
    modals.OnDialog = [](QDialog& dialog) { return dialog.result(); }; // closed at once
    w.Trigger("miExport");
    EXPECT_FALSE(w.Window.Project.Modified()) << "nothing changed";

    const fs::path target = w.Dir.Path() / "htpasswd";
    modals.OnDialog = [&](QDialog& dialog) {
        dialog.findChild<QLineEdit*>(QStringLiteral("edtFile"))
            ->setText(QString::fromStdString(target.string()));
        dialog.show();
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnExport")),
                          Qt::LeftButton);
        WaitUntil([&] { return !dialog.isVisible(); }, 5000);
        return dialog.result();
    };
    w.Trigger("miExport");
    EXPECT_TRUE(fs::exists(target));
    EXPECT_EQ(w.Window.UserList().PassFile, target.string());
    EXPECT_TRUE(w.Window.Project.Modified()) << "the settings went into the database";
}

TEST(SeriesCommand, OkWithEveryLoginTakenStillMarksModified) {
    TWindow w;
    // Every login of four digits 1 to 9 is taken already.
    for (int i = 0; i < 9 * 9 * 9 * 9; ++i) {
        std::string login;
        for (int n = i, k = 0; k < 4; ++k, n /= 9)
            login += static_cast<char>('1' + n % 9);
        w.Window.UserList().Add(login, "x");
    }
    const int before = w.Window.UserList().Count();
    TScriptedModals modals;
    int resultViews = 0;
    modals.OnDialog = [&](QDialog& dialog) {
        if (qobject_cast<TfrmSeriesResult*>(&dialog) != nullptr) {
            ++resultViews;
            return int(QDialog::Accepted);
        }
        dialog.findChild<TNaturalEdit*>(QStringLiteral("edtLoginLength"))->SetValue(4);
        dialog.findChild<TRadioGroup*>(QStringLiteral("rgpLoginChars"))
            ->SetItemIndex(static_cast<int>(TCharsType::Numeral));
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
        return dialog.result();
    };
    w.Trigger("miCreateUsersSeries");
    EXPECT_EQ(w.Window.UserList().Count(), before);
    ASSERT_EQ(modals.Boxes.size(), 1u);
    EXPECT_EQ(Str(modals.Boxes[0].Text),
              "Only 0 users has been created. Increase the login length to create more.");
    EXPECT_TRUE(w.Window.Project.Modified());
    EXPECT_EQ(resultViews, 0) << "no result view for an empty series";
    EXPECT_EQ(w.Rows(), before);
}

TEST(AboutCommand, ShowsTheAboutBoxOverTheWindowAndChangesNothing) {
    TWindow w;
    TScriptedModals modals;
    std::vector<QString> shown;
    QWidget* parent = nullptr;
    modals.OnDialog = [&](QDialog& dialog) {
        shown.push_back(dialog.objectName());
        parent = dialog.parentWidget();
        return int(QDialog::Accepted);
    };
    w.Trigger("miAbout");
    ASSERT_EQ(shown, std::vector<QString>{QStringLiteral("AboutForm")});
    EXPECT_EQ(parent, &w.Window);
    EXPECT_FALSE(w.Window.Project.Modified());
}
