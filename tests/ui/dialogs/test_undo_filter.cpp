// Undo and Redo of the main window's user commands, and the quick filter above the list.

#include "TestUtil.h"
#include "UiTestUtil.h"
#include "persist/RegistryLib.h"
#include "ui/MainForm.h"
#include "ui/UserDlg.h"
#include "ui/UsersModel.h"
#include "userdb/UserList.h"
#include "userdb/UserView.h"

#include <QAction>
#include <QCalendarWidget>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUndoStack>

#include <algorithm>
#include <deque>
#include <functional>

using namespace quorvane;

namespace {

using Script = std::function<int(QDialog&)>;

class UndoFilterTest : public ::testing::Test {
protected:
    TTempDir Dir;
    TScopedSettingsFile Store{QString::fromStdString(Dir.File("settings.ini"))};
    std::deque<Script> Scripts;
    TModalHandlerScope Scope{[this](QDialog& dialog) {
        if (qobject_cast<QMessageBox*>(&dialog) != nullptr) return int(QMessageBox::Yes);
        if (Scripts.empty()) {
            ADD_FAILURE() << "unexpected dialog " << Str(dialog.objectName());
            return int(QDialog::Rejected);
        }
        Script script = std::move(Scripts.front());
        Scripts.pop_front();
        return script(dialog);
    }};
    TfrmMain Window;

    // alice, bob (disabled), carol (expires), dave (disabled, expires); a clean document.
    void SetUp() override {
        struct {
            const char *Login, *Email, *Name;
            bool Disable, Expire;
        } const users[] = {
            {"alice", "a@x.org", "Alice Smith", false, false},
            {"bob", "bob@smith.org", "Bob Brown", true, false},
            {"carol", "c@x.org", "Carol Jones", false, true},
            {"dave", "d@x.org", "Dave SMITHERS", true, true},
        };
        for (const auto& u : users) {
            TUserProp& user = Window.UserList().AddBlank();
            user.Login = u.Login;
            user.Password = "pw";
            user.Email = u.Email;
            user.FullName = u.Name;
            user.Disable = u.Disable;
            user.Expire = u.Expire;
            user.ExpireDate = 47000;
        }
        Window.FillList();
    }

    // Every user's fields in list order.
    std::vector<std::string> Dump() {
        std::vector<std::string> dump;
        for (int i = 0; i < Window.UserList().Count(); ++i) {
            const TUserProp& u = Window.UserList().Users(i);
            dump.push_back(u.Login + "|" + u.Password + "|" + std::to_string(u.Disable) +
                           std::to_string(u.Expire) + "|" + std::to_string(u.ExpireDate) + "|" +
                           u.FullName + "|" + u.Email + "|" + u.Comments);
        }
        return dump;
    }

    std::vector<std::string> Rows() {
        std::vector<std::string> logins;
        for (int row = 0; row < Window.Model()->rowCount(); ++row)
            logins.push_back(Window.ItemUser(row)->Login);
        return logins;
    }

    void Select(const std::vector<std::string>& logins) {
        Window.UnselectAll();
        for (int row = 0; row < Window.Model()->rowCount(); ++row)
            for (const std::string& login : logins)
                if (Window.ItemUser(row)->Login == login) Window.SelectRow(row);
    }

    QAction* Action(const char* name) { return Window.findChild<QAction*>(QLatin1String(name)); }

    static Script UserScript(const char* login) {
        return [login](QDialog& dialog) {
            auto& form = dynamic_cast<TfrmUser&>(dialog);
            Find<QLineEdit>(form, "edtLogin")->setText(QString::fromLatin1(login));
            Find<QLineEdit>(form, "edtPassword")->setText(QStringLiteral("secret"));
            Find<QPushButton>(form, "btnOK")->click();
            return form.result();
        };
    }
    static int Accept(QDialog& dialog) {
        dialog.accept();
        return dialog.result();
    }
};

} // namespace

TEST_F(UndoFilterTest, EachCommandIsOneStepThatUndoesBackToClean) {
    WriteWholeFile(Dir.File("more.csv"), "erin,1\r\nfrank,2\r\n");
    const QString csv = QString::fromStdString(Dir.File("more.csv"));
    struct TCase {
        const char* Action;
        std::vector<std::string> Selected;
        std::vector<Script> Scripts;
        const char* Step; // the step's name in the Edit menu
    } const cases[] = {
        {"miAddUser", {}, {UserScript("zoe")}, "&Undo Add User"},
        {"miEditUser", {"bob"}, {UserScript("robert")}, "&Undo Edit User"},
        {"miDeleteUser", {"alice", "carol", "dave"}, {}, "&Undo Delete 3 Users"},
        {"miEnable", {"bob", "dave"}, {}, "&Undo Enable 2 Users"},
        {"miDisable", {"alice"}, {}, "&Undo Disable User"},
        {"miNeverExpire", {"carol", "dave"}, {}, "&Undo Never Expire for 2 Users"},
        {"miSetExpirationDate",
         {"alice", "bob", "carol"},
         {[](QDialog& d) {
             Find<QCalendarWidget>(d, "Calendar")->setSelectedDate(QDate(2031, 2, 3));
             return Accept(d);
         }},
         "&Undo Set Expiration Date of 3 Users"},
        {"miImport",
         {},
         {[csv](QDialog& d) {
             dynamic_cast<QFileDialog&>(d).selectFile(csv);
             return Accept(d);
         }},
         "&Undo Import 2 Users"},
        {"miCreateUsersSeries",
         {},
         {[](QDialog& d) { // the series dialog with its defaults, then the list of new users
              Find<QPushButton>(d, "btnOK")->click();
              return d.result();
          },
          Accept},
         "&Undo Create 10 Users"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Action);
        const std::vector<std::string> before = Dump();
        ASSERT_FALSE(Window.Project.Modified());
        Select(c.Selected);
        Scripts.assign(c.Scripts.begin(), c.Scripts.end());
        Action(c.Action)->trigger();
        EXPECT_TRUE(Scripts.empty());
        const std::vector<std::string> after = Dump();
        ASSERT_NE(after, before);
        EXPECT_EQ(Window.UndoStack()->count(), 1) << "one step";
        EXPECT_EQ(Action("miUndo")->text(), QString::fromLatin1(c.Step));
        EXPECT_TRUE(Window.Project.Modified());

        Action("miUndo")->trigger();
        EXPECT_EQ(Dump(), before);
        EXPECT_EQ(Window.ResultText(),
                  QStringLiteral("Undone: ") + QString::fromLatin1(c.Step + 6));
        EXPECT_EQ(Window.Model()->rowCount(), static_cast<int>(before.size()));
        EXPECT_FALSE(Window.Project.Modified()) << "back to clean";
        EXPECT_FALSE(Window.isWindowModified());
        Action("miRedo")->trigger();
        EXPECT_EQ(Dump(), after);
        EXPECT_TRUE(Window.Project.Modified());
        if (after.size() >= before.size()) {
            EXPECT_FALSE(Window.SelectedRows().empty()) << "the touched users are selected";
        }
        Action("miUndo")->trigger();
        Window.UndoStack()->clear();
    }
}

TEST_F(UndoFilterTest, ASaveKeepsTheHistoryAndMovesTheCleanPoint) {
    Window.Project.SetFileName(QString::fromStdString(Dir.File("site.udx")));
    Select({"alice"});
    Action("miDisable")->trigger();
    const std::vector<std::string> disabled = Dump();
    Select({"bob"});
    Scripts.push_back(UserScript("robert"));
    Action("miEditUser")->trigger();
    Action("miSave")->trigger();
    EXPECT_FALSE(Window.Project.Modified());
    EXPECT_EQ(Window.UndoStack()->count(), 2);

    Action("miUndo")->trigger();
    EXPECT_EQ(Dump(), disabled);
    EXPECT_TRUE(Window.Project.Modified()) << "away from the saved state";
    Action("miRedo")->trigger();
    EXPECT_FALSE(Window.Project.Modified()) << "back at the saved state";

    // A change no step takes back leaves no clean state to return to.
    Window.Project.SetModified(true);
    Action("miUndo")->trigger();
    Action("miRedo")->trigger();
    EXPECT_TRUE(Window.Project.Modified());
}

TEST_F(UndoFilterTest, TheFilterNarrowsTheRowsWithTheViewFilterAndTheSort) {
    struct TCase {
        const char* View;
        const char* Text;
        int Sort;
        std::vector<std::string> Rows;
        const char* Count;
        const char* Status; // the status line's first panel
    } const cases[] = {
        {"miAllUsers",
         "smith",
         1,
         {"alice", "bob", "dave"},
         "3 of 4 users",
         "Filter: smith — 3 of 4"},
        {"miAllUsers", "smithe", 1, {"dave"}, "1 of 4 users", "Filter: smithe — 1 of 4"},
        {"miAllUsers",
         "SMITH",
         -1,
         {"dave", "bob", "alice"},
         "3 of 4 users",
         "Filter: SMITH — 3 of 4"},
        {"miEnabledUsers", "Smith", 1, {"alice"}, "1 of 4 users", "Filter: Smith — 1 of 4"},
        {"miDisabledUsers", "smith", -5, {"dave", "bob"}, "2 of 4 users", "Filter: smith — 2 of 4"},
        {"miAllUsers", "C@X", 1, {"carol"}, "1 of 4 users", "Filter: C@X — 1 of 4"},
        {"miAllUsers", "zzz", 1, {}, "0 of 4 users", "Filter: zzz — 0 of 4"},
        {"miAllUsers", "", -1, {"dave", "carol", "bob", "alice"}, "4 users", "4 users"},
        {"miEnabledUsers", "", -1, {"carol", "alice"}, "2 of 4 users", "2 users (plus 2 hidden)"},
    };
    QLineEdit* box = Window.FilterBox();
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.View) + " " + c.Text);
        Action(c.View)->trigger();
        Window.SortBy(c.Sort);
        box->clear();
        QTest::keyClicks(box, QString::fromLatin1(c.Text)); // each keystroke filters at once
        EXPECT_EQ(Rows(), c.Rows);
        EXPECT_EQ(Window.FilterCountText(), QString::fromLatin1(c.Count));
        EXPECT_EQ(Window.StatusPanelText(0), QString::fromUtf8(c.Status));
    }
    // The filter widens again key by key, and Escape empties it.
    Action("miAllUsers")->trigger();
    Window.SortBy(1);
    box->setText(QStringLiteral("smithe"));
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"alice", "bob", "dave"}));
    QTest::keyClick(box, Qt::Key_Escape);
    EXPECT_EQ(box->text(), QString());
    EXPECT_EQ(Rows().size(), 4u);
}

// Whatever way the text got into the filter box (typed on, erased, erased inside, pasted over,
// with a sort, a view, a new user or an undo in between), the list shows what a search of the
// whole list finds: the same users, in the order of the sort key.
TEST_F(UndoFilterTest, EveryKeystrokeShowsWhatASearchOfTheWholeListFinds) {
    const char* const names[] = {"Ann Smith", "Anne Smithers", "Sam Nash", "Tom Mason",
                                 "Nina Amos"};
    for (int i = 0; i < 300; ++i) {
        TUserProp& user = Window.UserList().AddBlank();
        user.Login = (i % 3 == 0 ? "sm" : i % 3 == 1 ? "an" : "ma") + std::to_string(i * 7 % 300);
        user.Password = "pw";
        user.FullName = names[i % 5];
        user.Email = std::string(i % 2 == 0 ? "mail" : "post") + std::to_string(i % 11) + "@x.org";
        user.Disable = i % 4 == 0;
    }
    // Long texts, the word at every place of them, in any case, beside look-alike bytes.
    for (int at = 0; at < 20; ++at) {
        TUserProp& user = Window.UserList().AddBlank();
        user.Login = "long" + std::to_string(at);
        user.Password = "pw";
        user.FullName = std::string(static_cast<size_t>(at), at % 2 == 0 ? 's' : '`') +
                        (at % 3 == 0 ? "SMITH" : "sMiTh") + std::string(10, '@');
        user.Email = std::string(static_cast<size_t>(at) + 3, '0') + "@x.org";
    }
    Window.FillList();
    // "+keys": typed one by one; "-N": N backspaces; "<N": the cursor to N; "=text": pasted
    // over the whole text; "sort N", "view NAME", "add LOGIN", "delete LOGIN", "undo". A user
    // deleted and brought back moves every later user's place in the list.
    const std::string script =
        "+sm, delete sm21, -1, +m, undo, -2, sort 3, +s, sort 1, +m, -2, +smith, -2, +ers, -3, <2, "
        "-1, +m, =smith, -5, +ann, sort 5, -1, +e, -3, =MA, -1, +as, "
        "view miEnabledUsers, -3, +sm, add smz, -2, +ma, undo, -1, =0@, sort -1, -2, "
        "view miAllUsers, +1, -1, +zzz, sort 5, -3, =`sm, -2, +SMITH@, -6, =0000000000@, -11, "
        "+@@@, -3, =hs, =s, +`";
    std::vector<std::string> steps;
    for (size_t from = 0, to = 0; from < script.size(); from = to + 2) {
        to = std::min(script.find(", ", from), script.size());
        steps.push_back(script.substr(from, to - from));
    }
    QLineEdit* box = Window.FilterBox();
    TUserFilter view = TUserFilter::All;
    auto check = [&](const std::string& step) {
        SCOPED_TRACE(step + " -> \"" + box->text().toStdString() + "\"");
        // The login, e-mail address or full name holds the text, the letters a to z in either
        // case.
        const auto fold = [](std::string text) {
            for (char& c : text)
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            return text;
        };
        const std::string wanted = fold(box->text().toStdString());
        std::vector<const TUserProp*> expected;
        for (int i = 0; i < Window.UserList().Count(); ++i) {
            const TUserProp& user = Window.UserList().Users(i);
            const bool holds = fold(user.Login).find(wanted) != std::string::npos ||
                               fold(user.Email).find(wanted) != std::string::npos ||
                               fold(user.FullName).find(wanted) != std::string::npos;
            if (UserPassesFilter(user, view) && holds) expected.push_back(&user);
        }
        std::vector<const TUserProp*> shown;
        for (int row = 0; row < Window.Model()->rowCount(); ++row)
            shown.push_back(Window.ItemUser(row));
        const int key = Window.SortColumn();
        EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end(), [key](auto* a, auto* b) {
            return CompareUsers(*a, *b, key) < 0;
        }));
        std::sort(shown.begin(), shown.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(shown, expected);
    };
    for (const std::string& step : steps) {
        const std::string arg = step.substr(step.find(' ') + 1);
        if (step[0] == '+') {
            for (char c : step.substr(1)) {
                QTest::keyClick(box, c);
                check(step);
            }
        } else if (step[0] == '-') {
            for (int n = std::stoi(step.substr(1)); n > 0; --n) {
                QTest::keyClick(box, Qt::Key_Backspace);
                check(step);
            }
        } else if (step[0] == '<') {
            box->setCursorPosition(std::stoi(step.substr(1)));
        } else if (step[0] == '=') {
            box->selectAll();
            box->insert(QString::fromStdString(step.substr(1)));
            check(step);
        } else if (step.rfind("sort", 0) == 0) {
            Window.SortBy(std::stoi(arg));
        } else if (step.rfind("view", 0) == 0) {
            Action(arg.c_str())->trigger();
            view = arg == "miEnabledUsers" ? TUserFilter::Enabled : TUserFilter::All;
        } else if (step.rfind("delete", 0) == 0) {
            Select({arg});
            Action("miDeleteUser")->trigger();
        } else if (step.rfind("add", 0) == 0) {
            Scripts.push_back(UserScript(arg.c_str()));
            Action("miAddUser")->trigger();
        } else {
            ASSERT_EQ(step, "undo");
            Action("miUndo")->trigger();
        }
        check(step);
    }
}

// Typing in the filter box, Ctrl+Z and Ctrl+E still reach the window: Undo brings back the user
// just deleted (shown, as it matches the filter), Export opens the export dialog.
TEST_F(UndoFilterTest, CtrlZAndCtrlEInTheFilterBoxAreTheWindowsCommands) {
    Window.show();
    QApplication::setActiveWindow(&Window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window));
    QLineEdit* box = Window.FilterBox();
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("smith"));
    Select({"bob"});
    Action("miDeleteUser")->trigger();
    ASSERT_EQ(Rows(), (std::vector<std::string>{"alice", "dave"}));
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(box->text(), QStringLiteral("smith")) << "the box's own undo did not run";
    EXPECT_EQ(Window.UserList().Count(), 4);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"alice", "bob", "dave"}));

    bool exportShown = false;
    Scripts.push_back([&](QDialog& dialog) {
        exportShown = dialog.objectName() == QStringLiteral("frmExportUser");
        return int(QDialog::Rejected);
    });
    box->setFocus();
    box->setCursorPosition(0);
    QTest::keyClick(box, Qt::Key_E, Qt::ControlModifier);
    EXPECT_TRUE(exportShown);
    EXPECT_EQ(box->cursorPosition(), 0) << "not moved to the end of the line";
}

// "Saved" is said only while it is true: the next change takes it away.
TEST_F(UndoFilterTest, TheStatusLineNeverSaysModifiedAndSavedAtOnce) {
    Window.Project.SetFileName(QString::fromStdString(Dir.File("site.udx")));
    Select({"alice"});
    Action("miDisable")->trigger();
    Action("miSave")->trigger();
    EXPECT_EQ(Window.ResultText(), QStringLiteral("Saved"));
    EXPECT_EQ(Window.StatusPanelText(1), QString());
    Select({"bob"});
    Action("miEnable")->trigger();
    EXPECT_EQ(Window.StatusPanelText(1), QStringLiteral("Modified"));
    EXPECT_EQ(Window.ResultText(), QString());
}

TEST_F(UndoFilterTest, ABulkChangeOfAnyUsersIsOneStepThatUndoesExactly) {
    using TChange = std::function<void(TUserList&)>;
    struct TCase {
        const char* Name;
        TChange Change;
    } const cases[] = {
        {"remove the first and last, change one, append two",
         [](TUserList& list) {
             list.Remove(&list.Users(3));
             list.Remove(&list.Users(0));
             list.Users(1).Email = "new@x.org";
             list.Add("erin", "1");
             list.Add("frank", "2");
         }},
        {"change fields only",
         [](TUserList& list) {
             list.Users(0).SetPassword("other");
             list.Users(2).Disable = true;
         }},
        {"remove everyone", [](TUserList& list) { list.Clear(); }},
        {"remove one and append one, perhaps in its memory",
         [](TUserList& list) {
             list.Remove(&list.Users(1));
             list.Add("bob", "new").FullName = "Bob Again";
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::vector<std::string> before = Dump();
        EXPECT_TRUE(Window.RunUsersChange(
            TfrmMain::TChangeScope::AnyUser, [&] { c.Change(Window.UserList()); },
            [](const TUsersDelta&) { return QStringLiteral("Bulk Change"); }));
        const std::vector<std::string> after = Dump();
        EXPECT_EQ(Action("miUndo")->text(), QStringLiteral("&Undo Bulk Change"));
        EXPECT_EQ(Rows().size(), after.size());
        Action("miUndo")->trigger();
        EXPECT_EQ(Dump(), before);
        EXPECT_FALSE(Window.Project.Modified());
        Action("miRedo")->trigger();
        EXPECT_EQ(Dump(), after);
        Action("miUndo")->trigger();
        Window.UndoStack()->clear();
    }
}
