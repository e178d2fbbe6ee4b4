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
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
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

// A spreadsheet's file: the lines that look wrong are shown with the separator every line
// holds, and nothing is added before the user chooses to add them, skip them or cancel.
TEST(ImportCommand, LinesThatLookWrongAreShownBeforeAnythingIsAdded) {
    const std::string csv =
        "login,password,email,name\nmary ann,Pw-Lange-0751!,m@x,Mary\nbob,Pw-2,b@x,Bob\n";
    const struct {
        const char* Name;
        std::string Text;
        const char* Button;     // btnAdd, btnSkip, btnCancel
        const char* Separator;  // the one offered first
        std::vector<int> Lines; // the lines shown
        const char* Logins;     // afterwards
    } cases[] = {
        {"skip", csv, "btnSkip", "Comma", {2}, "bob"},
        {"add", csv, "btnAdd", "Comma", {2}, "mary ann,bob"},
        {"cancel", csv, "btnCancel", "Comma", {2}, ""},
        {"semicolons",
         "Benutzer;Kennwort\nanna;Geheim 1\nbert;Geheim-2\n",
         "btnAdd",
         "Semicolon",
         {},
         "anna,bert"},
        {"a login twice",
         "ann a1\nbob b1\nann a2\n",
         "btnSkip",
         "Commas or blanks (text rules)",
         {1, 3},
         "bob"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TWindow w;
        const fs::path file = w.Dir.Path() / "users.csv";
        WriteWholeFile(file, c.Text);
        TScriptedModals modals;
        modals.FileNames = {QString::fromStdString(file.string())};
        int previews = 0;
        modals.OnDialog = [&](QDialog& dialog) {
            if (dialog.objectName() != QStringLiteral("frmImportPreview"))
                return int(QDialog::Rejected);
            ++previews;
            ShowActive(dialog);
            EXPECT_EQ(Find<QComboBox>(dialog, "cbxSeparator")->currentText(),
                      QString::fromLatin1(c.Separator));
            auto* grid = Find<QTableWidget>(dialog, "grdLines");
            std::vector<int> lines;
            for (int row = 0; row < grid->rowCount(); ++row)
                if (lines.empty() || lines.back() != grid->item(row, 0)->text().toInt())
                    lines.push_back(grid->item(row, 0)->text().toInt());
            EXPECT_EQ(lines, c.Lines);
            EXPECT_EQ(w.Window.UserList().Count(), 0) << "nothing added yet";
            QTest::mouseClick(Find<QPushButton>(dialog, c.Button), Qt::LeftButton);
            return dialog.result();
        };
        w.Trigger("miImport");
        EXPECT_EQ(previews, 1);
        std::string logins;
        for (int i = 0; i < w.Window.UserList().Count(); ++i)
            logins += (i ? "," : "") + w.Window.UserList().Users(i).Login;
        EXPECT_EQ(logins, c.Logins);
        EXPECT_EQ(w.Window.Project.Modified(), *c.Logins != '\0');
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
        dialog.findChild<QLineEdit*>(QStringLiteral("edtAddress"))
            ->setText(QString::fromStdString(target.string()));
        dialog.show();
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnExport")),
                          Qt::LeftButton);
        WaitUntil([&] { return !dialog.isVisible(); }, 5000);
        return dialog.result();
    };
    w.Trigger("miExport");
    EXPECT_TRUE(fs::exists(target));
    EXPECT_EQ(First(w.Window.UserList())->PassFile, target.string());
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
