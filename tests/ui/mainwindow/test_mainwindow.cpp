// The main window, headless: start-up state, opening and showing a database, sorting, the
// view filter, the modified state, the save question, the recent files and the placement.

#include "ScriptedPrompts.h"
#include "TestUtil.h"
#include "UiTestUtil.h"
#include "base/DateUtil.h"
#include "base/Errors.h"
#include "persist/RegistryLib.h"
#include "ui/DateConv.h"
#include "ui/FormKeeper.h"
#include "ui/MainForm.h"
#include "ui/ModalRunner.h"
#include "ui/UsersModel.h"
#include "userdb/UserList.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>

using namespace quorvane;

namespace {

// A fresh settings store, a temporary folder, answers for every dialog.
class MainWindowTest : public ::testing::Test {
protected:
    TTempDir Dir;
    TScopedSettingsFile Store{Q(Dir.File("settings.ini"))};
    TScriptedModals Dialogs;
    TScriptedPrompts Prompts;

    MainWindowTest() {
        Dialogs.OnDialog = [](QDialog& dialog) {
            ADD_FAILURE() << "unexpected dialog " << Str(dialog.objectName());
            return int(QDialog::Rejected);
        };
    }

    std::unique_ptr<TfrmMain> NewWindow() {
        auto window = std::make_unique<TfrmMain>();
        window->Project.SetPrompts(&Prompts);
        return window;
    }

    // Writes a database with users made by fill.
    QString Database(const std::string& name, const std::function<void(TUserList&)>& fill) {
        TUserList list;
        fill(list);
        list.SaveToFile(Dir.File(name));
        return Q(Dir.File(name));
    }

    static void Open(TfrmMain& window, TScriptedPrompts& prompts, const QString& file) {
        prompts.OpenChoices.push_back(file);
        window.miOpenClick();
    }

    static std::vector<std::string> Logins(const TfrmMain& window) {
        std::vector<std::string> logins;
        for (int row = 0; row < window.Model()->rowCount(); ++row)
            logins.push_back(window.ItemUser(row)->Login);
        return logins;
    }

    static QString Cell(const TfrmMain& window, int row, int column) {
        return window.Model()->index(row, column).data().toString();
    }

    // The title as the window manager shows it, without the unsaved-changes placeholder.
    static QString Caption(const QWidget& window) {
        QString title = window.windowTitle();
        title.remove(QStringLiteral("[*]"));
        return title;
    }
};

TUserProp& AddUser(TUserList& list, const char* login, bool disabled, bool expire,
                   TDateTime expireDate, const char* email, const char* fullName,
                   TDateTime created) {
    TUserProp& user = list.AddBlank();
    user.Login = login;
    user.Password = "pw";
    user.Disable = disabled;
    user.Expire = expire;
    user.ExpireDate = expireDate;
    user.Email = email;
    user.FullName = fullName;
    user.CreatedDate = created;
    return user;
}

// Four users whose order differs under every key.
void FourUsers(TUserList& list) {
    AddUser(list, "carol", false, true, At(2030, 5, 1), "a@x.org", "Zed", At(2020, 1, 3));
    AddUser(list, "Alice", true, false, 0, "d@x.org", "mary", At(2020, 1, 1));
    AddUser(list, "bob", false, true, At(2029, 1, 1, 12), "C@x.org", "Abe", At(2020, 1, 4));
    AddUser(list, "dave", true, true, At(2029, 1, 1, 6), "b@x.org", "kim", At(2020, 1, 2));
}

using Order = std::vector<std::string>;

} // namespace

TEST_F(MainWindowTest, StartsOnAnEmptyUnnamedDatabase) {
    auto window = NewWindow();
    EXPECT_EQ(Caption(*window), QStringLiteral("Quorvane"));
    EXPECT_EQ(window->StatusPanelText(0), QStringLiteral("0 users"));
    EXPECT_EQ(window->StatusPanelText(1), QString());
    EXPECT_FALSE(Find<QToolButton>(*window, "tbnSave")->isEnabled());
    EXPECT_FALSE(Find<QToolButton>(*window, "tbnDeleteUser")->isEnabled());
    EXPECT_TRUE(Find<QAction>(*window, "miSave")->isEnabled());
    EXPECT_FALSE(Find<QAction>(*window, "miEditUser")->isEnabled());
    EXPECT_FALSE(Find<QAction>(*window, "miDeleteUser")->isEnabled());
    EXPECT_FALSE(Find<QMenu>(*window, "miReopen")->menuAction()->isEnabled());
    EXPECT_EQ(window->Model()->rowCount(), 0);
    EXPECT_EQ(window->UserList().Count(), 0);
    EXPECT_EQ(window->SortColumn(), 1);
    // The first window shows the list well: two thirds of the screen, at least 800 x 500
    // where the screen has room, centred.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_GE(window->width(), std::min(800, screen.width()));
    EXPECT_GE(window->height(), std::min(500, screen.height()));
    EXPECT_TRUE(screen.contains(window->geometry())) << screen.width() << "x" << screen.height();
    EXPECT_LE((window->geometry().center() - screen.center()).manhattanLength(), 2);
    // The empty, untitled database says how to begin.
    EXPECT_EQ(window->ListHint(),
              QStringLiteral("No users yet \u2014 add one, create a series, or import a file"));
    EXPECT_TRUE(window->HelpFile().endsWith(QStringLiteral("/Quorvane.html")));
    EXPECT_TRUE(Find<QAction>(*window, "miAllUsers")->isChecked());
    // Empty columns are as wide as their caption plus 20, the login column at least 150.
    const QHeaderView* header = window->List()->header();
    const QFontMetrics metrics = header->fontMetrics();
    EXPECT_EQ(header->sectionSize(0), 150);
    for (int column = 1; column < 6; ++column)
        EXPECT_EQ(header->sectionSize(column), metrics.horizontalAdvance(TUsersModel::ColumnCaption(
                                                   *TUsersModel::ColumnAt(column))) +
                                                   20);
}

TEST_F(MainWindowTest, MenusCarryAccessKeysAndShortcutsThatNeverCollide) {
    auto window = NewWindow();
    // Shortcuts: the original ones, and the usual ones added to them.
    const std::pair<const char*, QKeySequence> keys[] = {
        {"miOpen", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"miSave", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"miExit", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"miAddUser", QKeySequence(Qt::CTRL | Qt::Key_N)},
        {"miEditUser", QKeySequence(Qt::Key_F2)},
        {"miDeleteUser", QKeySequence(Qt::CTRL | Qt::Key_Delete)},
        {"miSearch", QKeySequence(Qt::CTRL | Qt::Key_F)},
        {"miSelectAll", QKeySequence(Qt::CTRL | Qt::Key_A)},
        {"miHelpTopics", QKeySequence(Qt::Key_F1)},
    };
    for (const auto& [name, key] : keys)
        EXPECT_EQ(Find<QAction>(*window, name)->shortcut(), key) << name;
    // No key does two things, and every item of a menu has its own access key.
    std::vector<QKeySequence> seen;
    for (QAction* action : window->findChildren<QAction*>()) {
        if (action->shortcut().isEmpty()) continue;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), action->shortcut()), 0)
            << action->objectName().toStdString();
        seen.push_back(action->shortcut());
    }
    std::vector<QMenu*> popups = {window->Popup()};
    for (QAction* top : window->menuBar()->actions())
        if (top->menu() != nullptr) popups.push_back(top->menu());
    for (QMenu* menu : popups) {
        QList<QChar> accessKeys;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator() || !action->isVisible()) continue;
            const QString text = action->text();
            const qsizetype amp = text.indexOf(QLatin1Char('&'));
            ASSERT_NE(amp, -1) << text.toStdString();
            const QChar key = text.at(amp + 1).toLower();
            EXPECT_FALSE(accessKeys.contains(key)) << text.toStdString();
            accessKeys << key;
        }
    }
    // Items that open a dialog say so.
    for (const char* name :
         {"miOpen", "miSaveAs", "miImport", "miAddUser", "miEditUser", "miSearch",
          "miCreateUsersSeries", "miExport", "miAbout", "miSetExpirationDate"})
        EXPECT_TRUE(Find<QAction>(*window, name)->text().endsWith(QStringLiteral("..."))) << name;
    EXPECT_EQ(Find<QToolButton>(*window, "tbnOpen")->menu(), Find<QMenu>(*window, "miReopen"));
}

TEST_F(MainWindowTest, OpenShowsTheRowsSortedByLogin) {
    const QString file = Database("site.udx", FourUsers);
    auto window = NewWindow();
    QAbstractItemModelTester tester(window->Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    Open(*window, Prompts, file);
    EXPECT_TRUE(Dialogs.Boxes.empty());
    EXPECT_EQ(Caption(*window), QStringLiteral("Quorvane - ") + file);
    EXPECT_EQ(Logins(*window), (Order{"Alice", "bob", "carol", "dave"}));
    EXPECT_EQ(window->StatusPanelText(0), QStringLiteral("4 users"));
    EXPECT_EQ(Prompts.LastOptions.Filter, QStringLiteral("Users Databases (*.udx);;All Files (*)"));
    EXPECT_EQ(Prompts.LastOptions.DefaultExt, QStringLiteral("udx"));
    // Alice: disabled, no expiry.
    EXPECT_EQ(Cell(*window, 0, 1), QStringLiteral("Disabled"));
    EXPECT_EQ(Cell(*window, 0, 2), QStringLiteral("Never"));
    EXPECT_EQ(Cell(*window, 0, 4), QStringLiteral("mary"));
    EXPECT_EQ(Cell(*window, 0, 5),
              QLocale().toString(QDate(2020, 1, 1), ShortDateFormatFullYear()));
    // bob expires at noon; only the date is shown.
    EXPECT_EQ(Cell(*window, 1, 1), QStringLiteral("Enabled"));
    EXPECT_EQ(Cell(*window, 1, 2),
              QLocale().toString(QDate(2029, 1, 1), ShortDateFormatFullYear()));
    EXPECT_EQ(Cell(*window, 1, 3), QStringLiteral("C@x.org"));
    // The columns were sized to their contents.
    const QFontMetrics metrics = window->List()->fontMetrics();
    EXPECT_EQ(window->List()->header()->sectionSize(1),
              std::max(metrics.horizontalAdvance(QStringLiteral("Disabled")),
                       window->List()->header()->fontMetrics().horizontalAdvance(
                           QStringLiteral("Status"))) +
                  20);
}

TEST_F(MainWindowTest, ColumnsTakeTheWidthOfTheirWidestText) {
    // Many narrow characters against fewer wide ones, text beyond ASCII, and a hidden user:
    // the widths measure every user, shown or not.
    const QString file = Database("wide.udx", [](TUserList& list) {
        AddUser(list, "iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii", false, false, 0, "x@x",
                "\xC3\x9C\xC3\x9C\xC3\x9C", 1);
        AddUser(list, "WWWWWWWWWWWWWWWWWWWWWWWW", true, false, 0, "mmmmmmmmmmmmmm@x", "WW", 1);
        for (int i = 0; i < 2000; ++i)
            AddUser(list, ("user" + std::to_string(i)).c_str(), false, false, 0, "a@b", "Ann", 1);
    });
    auto window = NewWindow();
    Find<QAction>(*window, "miEnabledUsers")->trigger();
    Open(*window, Prompts, file);
    const QFontMetrics metrics = window->List()->fontMetrics();
    const QHeaderView* header = window->List()->header();
    auto widest = [&metrics](std::initializer_list<QString> texts) {
        int width = 0;
        for (const QString& text : texts)
            width = std::max(width, metrics.horizontalAdvance(text));
        return width + 20;
    };
    // The login column also has room for the mark before each login.
    EXPECT_EQ(header->sectionSize(0),
              std::max(150, widest({QStringLiteral("iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii"),
                                    QStringLiteral("WWWWWWWWWWWWWWWWWWWWWWWW"),
                                    QStringLiteral("user1999")}) +
                                20));
    EXPECT_EQ(header->sectionSize(3),
              std::max(widest({QStringLiteral("mmmmmmmmmmmmmm@x")}),
                       header->fontMetrics().horizontalAdvance(QStringLiteral("Email")) + 20));
    EXPECT_EQ(header->sectionSize(4),
              std::max(widest({QStringLiteral("ÜÜÜ"), QStringLiteral("WW"), QStringLiteral("Ann")}),
                       header->fontMetrics().horizontalAdvance(QStringLiteral("Full name")) + 20));
}

TEST_F(MainWindowTest, EachKeySortsBothWays) {
    const QString file = Database("site.udx", FourUsers);
    auto window = NewWindow();
    QAbstractItemModelTester tester(window->Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    Open(*window, Prompts, file);
    window->SelectRow(1);
    const Order expected[6] = {
        {"Alice", "bob", "carol", "dave"}, // login, letters folded
        {},                                // status: checked separately, equal states have no order
        {"dave", "bob", "carol", "Alice"}, // 6:00 before 12:00, "Never" after every date
        {"carol", "dave", "bob", "Alice"}, // e-mail, folded
        {"bob", "dave", "Alice", "carol"}, // full name, folded
        {"Alice", "dave", "carol", "bob"}, // created
    };
    for (int column = 0; column < 6; ++column) {
        window->lvwUsersColumnClick(column);
        if (column == 0) {
            // Login was already the key: the first click reverses it.
            EXPECT_EQ(window->SortColumn(), -1);
            window->lvwUsersColumnClick(column);
        }
        EXPECT_EQ(window->SortColumn(), column + 1);
        const Order ascending = Logins(*window);
        if (column == 1) {
            // Enabled users first; the order among equal states is not defined.
            for (int row = 0; row < 4; ++row)
                EXPECT_EQ(window->ItemUser(row)->Disable, row >= 2);
            window->lvwUsersColumnClick(column);
            for (int row = 0; row < 4; ++row)
                EXPECT_EQ(window->ItemUser(row)->Disable, row < 2);
            continue;
        }
        window->lvwUsersColumnClick(column);
        EXPECT_EQ(window->SortColumn(), -(column + 1));
        Order descending = Logins(*window);
        EXPECT_EQ(ascending, expected[column]) << "column " << column;
        std::reverse(descending.begin(), descending.end());
        EXPECT_EQ(descending, expected[column]) << "column " << column;
        EXPECT_EQ(window->List()->header()->sortIndicatorSection(), column);
        EXPECT_EQ(window->List()->header()->sortIndicatorOrder(), Qt::DescendingOrder);
    }
}

TEST_F(MainWindowTest, AHeaderClickSortsAndTheSelectionFollowsItsRow) {
    const QString file = Database("site.udx", FourUsers);
    auto window = NewWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    Open(*window, Prompts, file);
    window->SelectRow(0); // Alice
    QHeaderView* header = window->List()->header();
    const QPoint emailHeader(header->sectionViewportPosition(3) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, emailHeader);
    EXPECT_EQ(window->SortColumn(), 4);
    EXPECT_EQ(Logins(*window), (Order{"carol", "dave", "bob", "Alice"}));
    EXPECT_EQ(window->SelectedRows(), (std::vector<int>{3}));
    EXPECT_TRUE(Find<QAction>(*window, "miEditUser")->isEnabled());
    EXPECT_TRUE(Find<QToolButton>(*window, "tbnDeleteUser")->isEnabled());
    window->UnselectAll();
    EXPECT_FALSE(Find<QAction>(*window, "miDeleteUser")->isEnabled());
}

TEST_F(MainWindowTest, TheViewFilterRebuildsAndCountsHiddenUsers) {
    const QString file = Database("site.udx", [](TUserList& list) {
        for (int i = 0; i < 8; ++i)
            AddUser(list, ("u" + std::to_string(i)).c_str(), i < 5, false, 0, "", "",
                    At(2020, 1, 1));
    });
    auto window = NewWindow();
    Open(*window, Prompts, file);
    QSignalSpy resets(window->Model(), &QAbstractItemModel::modelReset);
    Find<QAction>(*window, "miEnabledUsers")->trigger();
    EXPECT_EQ(window->Model()->rowCount(), 3);
    EXPECT_EQ(window->StatusPanelText(0), QStringLiteral("3 users (plus 5 hidden)"));
    EXPECT_TRUE(Find<QAction>(*window, "miEnabledUsers")->isChecked());
    EXPECT_FALSE(Find<QAction>(*window, "miAllUsers")->isChecked());
    Find<QAction>(*window, "miDisabledUsers")->trigger();
    EXPECT_EQ(window->Model()->rowCount(), 5);
    EXPECT_EQ(window->StatusPanelText(0), QStringLiteral("5 users (plus 3 hidden)"));
    const auto rebuilt = resets.count();
    Find<QAction>(*window, "miDisabledUsers")->trigger(); // already checked: nothing happens
    EXPECT_EQ(resets.count(), rebuilt);
    // The filter survives New and Open.
    window->miNewClick();
    Open(*window, Prompts, file);
    EXPECT_EQ(window->Filter(), TUserFilter::Disabled);
    EXPECT_EQ(window->Model()->rowCount(), 5);
    Find<QAction>(*window, "miAllUsers")->trigger();
    EXPECT_EQ(window->StatusPanelText(0), QStringLiteral("8 users"));
}

TEST_F(MainWindowTest, ModifiedStateShowsInThePanelAndTheSaveButton) {
    auto window = NewWindow();
    window->Project.SetModified(true);
    EXPECT_EQ(window->StatusPanelText(1), QStringLiteral("Modified"));
    EXPECT_TRUE(Find<QToolButton>(*window, "tbnSave")->isEnabled());
    const QString file = Q(Dir.File("saved"));
    Prompts.SaveChoices = {file};
    Find<QToolButton>(*window, "tbnSave")->click();
    EXPECT_EQ(window->StatusPanelText(1), QString());
    EXPECT_FALSE(Find<QToolButton>(*window, "tbnSave")->isEnabled());
    EXPECT_EQ(Caption(*window), QStringLiteral("Quorvane - ") + file + QStringLiteral(".udx"));
    // The empty database was written and reads back.
    TUserList back;
    back.LoadFromFile((file + QStringLiteral(".udx")).toStdString());
    EXPECT_EQ(back.Count(), 0);
}

TEST_F(MainWindowTest, SaveQuestionOnCloseAnswersCancelNoYes) {
    auto window = NewWindow();
    window->show();
    window->UserList().Add("kept", "pw");
    window->Project.SetModified(true);

    Prompts.Answers = {TSaveAnswer::Cancel};
    EXPECT_FALSE(window->close());
    EXPECT_EQ(Prompts.LastQuestion,
              QStringLiteral("The database has been modified. Do you want to save the changes?"));

    // Yes, then the save dialog cancelled: the window stays and the changes with it.
    Prompts.Answers = {TSaveAnswer::Yes};
    Prompts.SaveChoices = {QString()};
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->Project.Modified());
    EXPECT_EQ(window->StatusPanelText(1), QStringLiteral("Modified"));

    // Yes with a name: saved, then the window may close.
    const QString file = Q(Dir.File("kept.udx"));
    Prompts.Answers = {TSaveAnswer::Yes};
    Prompts.SaveChoices = {file};
    EXPECT_TRUE(window->close());
    TUserList back;
    back.LoadFromFile(file.toStdString());
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.Users(0).Login, "kept");

    // No: closes without writing.
    auto second = NewWindow();
    second->show();
    second->Project.SetModified(true);
    Prompts.Answers = {TSaveAnswer::No};
    EXPECT_TRUE(second->close());
    EXPECT_TRUE(Dialogs.Boxes.empty());
}

TEST_F(MainWindowTest, AFailedSaveIsShownAndTheDocumentStaysModified) {
    auto window = NewWindow();
    window->show();
    window->Project.SetModified(true);
    const QString unwritable = Q(Dir.File("no-such-folder/site.udx"));
    Prompts.SaveChoices = {unwritable};
    window->miSaveClick();
    ASSERT_EQ(Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(Dialogs.Boxes[0].Title, QStringLiteral("Quorvane"));
    EXPECT_TRUE(Dialogs.Boxes[0].Text.startsWith(QStringLiteral("Cannot create file")));
    EXPECT_TRUE(Dialogs.Boxes[0].Text.endsWith(QLatin1Char('.')));
    EXPECT_TRUE(window->Project.Modified());
    EXPECT_EQ(window->StatusPanelText(1), QStringLiteral("Modified"));
    // Closing asks again; Yes saves again, fails again, and the window stays.
    Prompts.Answers = {TSaveAnswer::Yes};
    EXPECT_FALSE(window->close());
    EXPECT_EQ(Dialogs.Boxes.size(), 2u);
    Prompts.Answers = {TSaveAnswer::No};
    EXPECT_TRUE(window->close());
}

TEST_F(MainWindowTest, OpenFailuresAreShownInAnErrorBox) {
    WriteWholeFile(Dir.File("bad.udx"), "this is not a users database");
    auto window = NewWindow();
    Open(*window, Prompts, Q(Dir.File("bad.udx")));
    ASSERT_EQ(Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(Dialogs.Boxes[0].Title, QStringLiteral("Quorvane"));
    EXPECT_EQ(Dialogs.Boxes[0].Text, QStringLiteral("The file is not valid."));
    EXPECT_EQ(window->Model()->rowCount(), 0);
    EXPECT_FALSE(window->Updating());
    // The window is on an untitled, clean document: nothing later writes to the file
    // it could not read.
    EXPECT_EQ(Caption(*window), QStringLiteral("Quorvane"));
    EXPECT_TRUE(window->Project.FileName().isEmpty());
    EXPECT_FALSE(window->Project.Modified());

    Open(*window, Prompts, Q(Dir.File("missing.udx")));
    ASSERT_EQ(Dialogs.Boxes.size(), 2u);
    EXPECT_EQ(Dialogs.Boxes[1].Text,
              QStringLiteral("Cannot open file ") + Q(Dir.File("missing.udx")) + QLatin1Char('.'));
    EXPECT_TRUE(window->Project.FileName().isEmpty());
}

TEST_F(MainWindowTest, AFileThatFailedToOpenIsNeverWrittenWithoutAChosenName) {
    // A good database the window has open, then a damaged one.
    const QString good = Database("good.udx", [](TUserList& list) {
        AddUser(list, "alice", false, false, 0, "", "", 0);
        AddUser(list, "bob", false, false, 0, "", "", 0);
    });
    const std::string damaged = "object Users: TUserList\r\n  garbage";
    WriteWholeFile(Dir.File("bad.udx"), damaged);
    auto window = NewWindow();
    Open(*window, Prompts, good);
    Open(*window, Prompts, Q(Dir.File("bad.udx")));
    ASSERT_EQ(Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(window->UserList().Count(), 0);
    EXPECT_EQ(window->Model()->rowCount(), 0);

    // New, add a user, Save: the save dialog is asked for a name; cancelled, nothing is written.
    window->miNewClick();
    window->UserList().AddBlank().Login = "carol";
    window->Project.SetModified(true);
    Prompts.SaveChoices = {QString()};
    window->miSaveClick();
    EXPECT_EQ(Prompts.SaveDialogs, 1);
    EXPECT_EQ(ReadWholeFile(Dir.File("bad.udx")), damaged);
    // The recent list still offers both files.
    QStringList recent;
    window->Project.LoadProjectList(recent);
    EXPECT_TRUE(recent.contains(good));
    Prompts.Answers = {TSaveAnswer::No};
}

TEST_F(MainWindowTest, AChangeOnDiskIsSeenAndOfferedForReload) {
    const QString file = Database(
        "site.udx", [](TUserList& list) { AddUser(list, "alice", false, false, 0, "", "", 0); });
    auto window = NewWindow();
    Open(*window, Prompts, file);
    ASSERT_EQ(window->Model()->rowCount(), 1);

    // Another program adds a user; the watcher notices and the reload shows it.
    Database("site.udx", [](TUserList& list) {
        AddUser(list, "alice", false, false, 0, "", "", 0);
        AddUser(list, "bob", false, false, 0, "", "", 0);
    });
    Prompts.ReloadAnswers = {true};
    ASSERT_TRUE(QTest::qWaitFor([&] { return Prompts.ReloadQuestions == 1; }, 5000));
    EXPECT_EQ(window->Model()->rowCount(), 2);
    EXPECT_FALSE(window->Project.Modified());

    // With unsaved changes the question says they would be lost; declined, Save then asks
    // before writing over the other program's file.
    window->Project.SetModified(true);
    Database("site.udx", [](TUserList& list) { AddUser(list, "zed", false, false, 0, "", "", 0); });
    Prompts.ReloadAnswers = {false};
    ASSERT_TRUE(QTest::qWaitFor([&] { return Prompts.ReloadQuestions == 2; }, 5000));
    EXPECT_TRUE(Prompts.LastReloadLosesChanges);
    EXPECT_EQ(window->Model()->rowCount(), 2);
    Prompts.ChangedFileAnswers = {TChangedFileAnswer::Cancel};
    window->miSaveClick();
    EXPECT_EQ(Prompts.ChangedFileQuestions, 1);
    TUserList onDisk;
    onDisk.LoadFromFile(file.toStdString());
    ASSERT_EQ(onDisk.Count(), 1);
    EXPECT_EQ(onDisk.Users(0).Login, "zed");
    Prompts.Answers = {TSaveAnswer::No};
}

TEST_F(MainWindowTest, TheSweepOnOpenDisablesExpiredUsersWithoutMarkingModified) {
    const TDateTime now = At(2026, 3, 10, 12, 0);
    const QString file = Database("site.udx", [now](TUserList& list) {
        AddUser(list, "expired", false, true, now - 1.0 / 1440, "", "", now - 10);
        AddUser(list, "future", false, true, now + 1.0 / 1440, "", "", now - 10);
        AddUser(list, "noexpiry", false, false, now - 5, "", "", now - 10);
    });
    TFixedClock clock(now);
    auto window = NewWindow();
    Open(*window, Prompts, file);
    ASSERT_EQ(Logins(*window), (Order{"expired", "future", "noexpiry"}));
    EXPECT_EQ(Cell(*window, 0, 1), QStringLiteral("Disabled"));
    EXPECT_EQ(Cell(*window, 1, 1), QStringLiteral("Enabled"));
    EXPECT_EQ(Cell(*window, 2, 1), QStringLiteral("Enabled"));
    EXPECT_FALSE(window->Project.Modified());
    EXPECT_EQ(window->StatusPanelText(1), QString());
    EXPECT_FALSE(Find<QToolButton>(*window, "tbnSave")->isEnabled());
}

TEST_F(MainWindowTest, RecentFilesFillTheReopenMenuAndReopen) {
    const QString a = Database("a.udx", [](TUserList& l) { l.Add("fromA", "x"); });
    const QString b = Database("b.udx", [](TUserList& l) { l.Add("fromB", "x"); });
    {
        auto window = NewWindow();
        Open(*window, Prompts, a);
        Open(*window, Prompts, b); // closing a puts it into the list
        QMenu* reopen = Find<QMenu>(*window, "miReopen");
        ASSERT_EQ(reopen->actions().size(), 1);
        EXPECT_EQ(reopen->actions()[0]->text(), QStringLiteral("&1 ") + a);
        EXPECT_TRUE(reopen->menuAction()->isEnabled());
        reopen->actions()[0]->trigger();
        EXPECT_EQ(window->Project.FileName(), a);
        EXPECT_EQ(Logins(*window), (Order{"fromA"}));
        QCoreApplication::processEvents(); // the replaced entries go
        ASSERT_EQ(reopen->actions().size(), 2);
        EXPECT_EQ(reopen->actions()[0]->text(), QStringLiteral("&1 ") + b);
        EXPECT_EQ(reopen->actions()[1]->text(), QStringLiteral("&2 ") + a);
    }
    // Leaving the program put a at the head; a deleted file is skipped.
    auto window = NewWindow();
    QMenu* reopen = Find<QMenu>(*window, "miReopen");
    ASSERT_EQ(reopen->actions().size(), 2);
    EXPECT_EQ(reopen->actions()[0]->text(), QStringLiteral("&1 ") + a);
    EXPECT_EQ(reopen->actions()[1]->objectName(), QStringLiteral("a2"));
    QSettings raw(Store.FileName(), QSettings::IniFormat);
    EXPECT_EQ(
        raw.value(QStringLiteral("HKEY_CURRENT_USER/Software/Ostrick/Quorvane/Projects/File_001"))
            .toString(),
        b);
    window.reset();
    std::remove(a.toStdString().c_str());
    window = NewWindow();
    reopen = Find<QMenu>(*window, "miReopen");
    ASSERT_EQ(reopen->actions().size(), 1);
    EXPECT_EQ(reopen->actions()[0]->text(), QStringLiteral("&1 ") + b);
}

TEST_F(MainWindowTest, TheQtPromptsUseTheFileDialog) {
    const QString file = Database("dialog.udx", [](TUserList& l) { l.Add("viaDialog", "x"); });
    auto window = std::make_unique<TfrmMain>(); // with the program's own prompts
    LastFolder() = Q(Dir.Path().string());
    Dialogs.FileNames = {file};
    window->miOpenClick();
    EXPECT_EQ(window->Project.FileName(), file);
    EXPECT_EQ(Logins(*window), (Order{"viaDialog"}));
    // The save question through a message box.
    window->Project.SetModified(true);
    Dialogs.Buttons = {QMessageBox::Cancel};
    EXPECT_FALSE(window->close());
    ASSERT_EQ(Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(Dialogs.Boxes[0].Title, QStringLiteral("Confirm"));
    Dialogs.Buttons = {QMessageBox::Discard}; // "Don't Save"
    EXPECT_TRUE(window->close());
}

TEST_F(MainWindowTest, EnterWithoutASelectionDoesNothing) {
    auto window = NewWindow();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->List()->setFocus();
    QTest::keyClick(window->List(), Qt::Key_Return);
    EXPECT_TRUE(Dialogs.Boxes.empty());
}

// Window placement.

TEST_F(MainWindowTest, PlacementIsStoredAndRestored) {
    const QString key =
        QStringLiteral("HKEY_CURRENT_USER/Software/Ostrick/Quorvane/Forms/frmMain/");
    {
        auto window = NewWindow();
        window->move(0, 60);
        window->resize(800, 520);
    }
    {
        // At scale 1 the screen pixels are the window's own units.
        QSettings raw(Store.FileName(), QSettings::IniFormat);
        EXPECT_EQ(raw.value(key + QStringLiteral("Left")).toInt(), 0);
        EXPECT_EQ(raw.value(key + QStringLiteral("Top")).toInt(), 60);
        EXPECT_EQ(raw.value(key + QStringLiteral("Width")).toInt(), 800);
        EXPECT_EQ(raw.value(key + QStringLiteral("Height")).toInt(), 520);
        EXPECT_EQ(raw.value(key + QStringLiteral("WindowState")).toInt(), 0);
    }
    {
        auto window = NewWindow();
        EXPECT_EQ(window->pos(), QPoint(0, 60));
        EXPECT_EQ(window->size(), QSize(800, 520));
        // Closed maximised: only the state is written, the normal bounds stay.
        window->show();
        window->setWindowState(Qt::WindowMaximized);
    }
    {
        QSettings raw(Store.FileName(), QSettings::IniFormat);
        EXPECT_EQ(raw.value(key + QStringLiteral("WindowState")).toInt(), 1);
        EXPECT_EQ(raw.value(key + QStringLiteral("Width")).toInt(), 800);
    }
    auto window = NewWindow();
    EXPECT_EQ(window->size(), QSize(800, 520));
    EXPECT_FALSE(window->isMaximized()); // the maximise request waits for the event loop
    window->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->isMaximized(); }));
}

TEST_F(MainWindowTest, PlacementKeepsTheWindowOnAVisibleScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize minimum(440, 330);
    // However small it was left (a run at scale 2 stored 638 x 387), it opens no smaller than
    // 800 x 500, where the screen has room for that.
    const QSize floor = QSize(800, 500).boundedTo(screen.size());
    // Stored values from another desktop: far to the right, larger than this screen (as a
    // 1000 x 700 window stored at scale 2 is for a 1280 x 800 screen at scale 2, 640 x 400),
    // off to the left, too small; a window that fits stays where it was.
    struct TCase {
        QRect Stored;
        QRect Expected;
    } const cases[] = {
        {QRect(screen.left() + 3000, screen.top() + 10, 500, 400),
         QRect(QPoint(screen.right() - floor.width() + 1, screen.top() + 10), floor)},
        {QRect(screen.left() + 20, screen.top() + 20, screen.width() + 200, screen.height() + 100),
         QRect(screen.topLeft(), screen.size())},
        {QRect(screen.left() - 3000, screen.top() + 5, 440, 330),
         QRect(QPoint(screen.left(), screen.top() + 5), floor)},
        {QRect(screen.left(), screen.top(), 638, 387), QRect(screen.topLeft(), floor)},
        {QRect(screen.left(), screen.top() + 40, floor.width(), floor.height() + 20),
         QRect(screen.left(), screen.top() + 40, floor.width(), floor.height() + 20)},
    };
    for (const TCase& c : cases) {
        {
            auto reg =
                OpenRegistryKey(TRegistryRootKey::CurrentUser,
                                QStringLiteral("\\Software\\Ostrick\\Quorvane\\Forms\\frmMain"));
            reg->WriteInteger(QStringLiteral("Left"), c.Stored.left());
            reg->WriteInteger(QStringLiteral("Top"), c.Stored.top());
            reg->WriteInteger(QStringLiteral("Width"), c.Stored.width());
            reg->WriteInteger(QStringLiteral("Height"), c.Stored.height());
            reg->WriteInteger(QStringLiteral("WindowState"), 2); // unknown: ignored
            reg->CloseKey();
        }
        auto window = NewWindow();
        EXPECT_EQ(window->geometry(), c.Expected) << c.Stored.x() << "," << c.Stored.y() << " "
                                                  << c.Stored.width() << "x" << c.Stored.height();
        EXPECT_EQ(VisiblePlacement(c.Stored, minimum, floor), c.Expected);
        window->show();
        QCoreApplication::processEvents();
        EXPECT_FALSE(window->isMaximized());
        window->setWindowState(Qt::WindowMinimized); // leaves the stored values alone
    }
}

// The placement is stored in screen pixels: a window of 638 x 387 units at scale 2 is as large
// on the screen as one of 1276 x 774 at scale 1. Positions keep the screen's corner.
TEST(WindowPlacement, ScreenPixelsAndBack) {
    const struct {
        QRect Units;
        QPoint Origin;
        qreal Ratio;
        QRect Pixels;
    } cases[] = {
        {QRect(0, 0, 638, 387), QPoint(0, 0), 2, QRect(0, 0, 1276, 774)},
        {QRect(1300, 10, 600, 400), QPoint(1280, 0), 2, QRect(1320, 20, 1200, 800)},
        {QRect(-1900, 100, 800, 500), QPoint(-1920, 0), 1.5, QRect(-1890, 150, 1200, 750)},
        {QRect(50, 60, 700, 500), QPoint(0, 0), 1, QRect(50, 60, 700, 500)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToScreenPixels(c.Units, c.Origin, c.Ratio), c.Pixels);
        EXPECT_EQ(FromScreenPixels(c.Pixels, c.Origin, c.Ratio), c.Units);
    }
}

TEST_F(MainWindowTest, MinimisedWindowsStoreNothing) {
    {
        auto window = NewWindow();
        window->move(10, 20);
    }
    {
        auto window = NewWindow();
        window->show();
        window->move(300, 300);
        window->setWindowState(Qt::WindowMinimized);
    }
    auto reg = OpenRegistryKey(TRegistryRootKey::CurrentUser,
                               QStringLiteral("\\Software\\Ostrick\\Quorvane\\Forms\\frmMain"));
    EXPECT_EQ(reg->ReadInteger(QStringLiteral("Left")), 10);
    EXPECT_EQ(reg->ReadInteger(QStringLiteral("Top")), 20);
}

TEST_F(MainWindowTest, KeeperStoresTextBoxesAndOwnValues) {
    QWidget form;
    form.setObjectName(QStringLiteral("frmTest"));
    auto* name = new QLineEdit(&form);
    name->setObjectName(QStringLiteral("edtName"));
    name->setText(QStringLiteral("kept text"));
    TFormKeeper keeper(&form);
    EXPECT_EQ(keeper.FormName, QStringLiteral("frmTest"));
    keeper.RegistryAddress.Path.clear(); // the key goes straight under the root
    keeper.ComponentsStore = true;
    std::vector<std::string> order;
    keeper.OnSave = [&order](TFormKeeper*, TRegistry& reg) {
        order.push_back("save");
        reg.WriteInteger(QStringLiteral("Extra"), 7);
    };
    keeper.Store();
    name->clear();
    keeper.OnLoad = [&order, name](TFormKeeper*, TRegistry& reg) {
        // Runs after the text boxes and before the placement.
        order.push_back(name->text() == QStringLiteral("kept text") ? "load after texts"
                                                                    : "load early");
        EXPECT_EQ(reg.ReadInteger(QStringLiteral("Extra")), 7);
    };
    keeper.Restore();
    EXPECT_EQ(name->text(), QStringLiteral("kept text"));
    EXPECT_EQ(order, (std::vector<std::string>{"save", "load after texts"}));
    QSettings raw(Store.FileName(), QSettings::IniFormat);
    EXPECT_EQ(raw.value(QStringLiteral("HKEY_CURRENT_USER/Forms/frmTest/edtName.Text")).toString(),
              QStringLiteral("kept text"));
    // No stored value empties the box.
    keeper.OnLoad = nullptr;
    keeper.FormName = QStringLiteral("frmOther");
    keeper.Restore();
    EXPECT_EQ(name->text(), QString());
    // Only a window can carry a keeper.
    EXPECT_THROW(TFormKeeper keeperOnABox(name), std::logic_error);
}

TEST_F(MainWindowTest, SaysWhatHappened) {
    // An enabled user past its date shows "Expired" until the sweep disables it.
    auto window = NewWindow();
    TUserProp& late = window->UserList().AddBlank();
    late.Login = "late";
    late.Expire = true;
    late.ExpireDate = Now() - 1;
    TUserProp& later = window->UserList().AddBlank();
    later.Login = "later";
    later.Expire = true;
    later.ExpireDate = Now() + 1;
    window->FillList();
    EXPECT_EQ(window->ListHint(), QString());
    std::vector<QString> states;
    for (int row = 0; row < window->Model()->rowCount(); ++row)
        states.push_back(Cell(*window, row, 1));
    EXPECT_EQ(states, (std::vector<QString>{QStringLiteral("Expired"), QStringLiteral("Enabled")}));

    // The title carries the unsaved-changes mark.
    window->Project.SetModified(true);
    EXPECT_TRUE(window->isWindowModified());
    window->Project.SetModified(false);
    EXPECT_FALSE(window->isWindowModified());

    // An import reports what it did in the status line.
    WriteWholeFile(Dir.File("new.csv"), "a,1\r\nb,2\r\nc,3\r\n");
    Dialogs.FileNames = {Q(Dir.File("new.csv"))};
    window->miImportClick();
    EXPECT_EQ(window->ResultText(), QStringLiteral("3 users imported from new.csv"));
    EXPECT_EQ(UsersText(1), QStringLiteral("1 user"));
    Prompts.Answers = {TSaveAnswer::No};
}

TEST_F(MainWindowTest, DeleteKeyAsksWithNoAsTheDefault) {
    const QString file = Database("site.udx", FourUsers);
    auto window = NewWindow();
    Open(*window, Prompts, file);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->List()->setFocus();
    window->SelectRow(0);
    // The box is answered with its own default button.
    TModalHandlerScope scope([](QDialog& dialog) {
        auto* box = qobject_cast<QMessageBox*>(&dialog);
        EXPECT_NE(box, nullptr);
        if (box == nullptr) return int(QDialog::Rejected);
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        return int(box->standardButton(box->defaultButton()));
    });
    QTest::keyClick(window->List(), Qt::Key_Delete);
    EXPECT_EQ(window->UserList().Count(), 4);
    EXPECT_FALSE(window->Project.Modified());
}

TEST_F(MainWindowTest, AFileNamedRelativelyIsKeptByItsFullPath) {
    const QString file = Database("rel.udx", FourUsers);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(Q(Dir.Path().string()));
    auto window = NewWindow();
    window->Project.OpenFile(QStringLiteral("rel.udx"));
    QDir::setCurrent(previous);
    EXPECT_EQ(window->Project.FileName(), file);
}
