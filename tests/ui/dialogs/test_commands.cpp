// The main window's user commands: add, edit, delete, find, select all, the popup's state
// commands, Send Mail, Options and Help Topics.

#include "TestUtil.h"
#include "UiTestUtil.h"
#include "UrlCatcher.h"
#include "persist/RegistryLib.h"
#include "ui/CredentialsDlg.h"
#include "ui/DateDlg.h"
#include "ui/FindDlg.h"
#include "ui/HelpWindow.h"
#include "ui/MainForm.h"
#include "ui/OptionsDlg.h"
#include "ui/UserDlg.h"
#include "ui/UsersModel.h"
#include "userdb/Groups.h"
#include "userdb/UserList.h"

#include <QAction>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QTreeView>

#include <sys/stat.h>

#include <deque>
#include <functional>

using namespace quorvane;

namespace {

struct TUserSpec {
    const char* Login;
    const char* Email = "";
    const char* FullName = "";
    bool Disable = false;
    bool Expire = false;
};

class CommandsTest : public ::testing::Test {
protected:
    TTempDir Dir;
    TScopedSettingsFile Store{QString::fromStdString(Dir.File("settings.ini"))};
    // Answers for the dialogs, in the order they come; message boxes are recorded.
    std::deque<std::function<int(QDialog&)>> Scripts;
    TScriptedModals Modals;
    std::vector<TSeenBox>& Messages = Modals.Boxes;
    std::deque<QMessageBox::StandardButton>& Answers = Modals.Buttons;
    int OtherDialogs = 0;
    TfrmMain Window;

    // Every dialog shown so far, message boxes included.
    int Dialogs() const { return OtherDialogs + static_cast<int>(Modals.Boxes.size()); }

    CommandsTest() {
        Modals.OnDialog = [this](QDialog& dialog) {
            ++OtherDialogs;
            if (Scripts.empty()) {
                ADD_FAILURE() << "unexpected dialog " << Str(dialog.objectName());
                return int(QDialog::Rejected);
            }
            auto script = std::move(Scripts.front());
            Scripts.pop_front();
            ShowActive(dialog);
            return script(dialog);
        };
    }

    void SetUp() override {
        Window.show();
        QApplication::setActiveWindow(&Window);
    }

    TUserList& List() { return Window.UserList(); }

    void Fill(std::initializer_list<TUserSpec> users) {
        for (const TUserSpec& wanted : users) {
            TUserProp& user = List().AddBlank();
            user.Login = wanted.Login;
            user.Password = "pw";
            user.Email = wanted.Email;
            user.FullName = wanted.FullName;
            user.Disable = wanted.Disable;
            user.Expire = wanted.Expire;
            user.ExpireDate = At(2030, 1, 1);
        }
        Window.FillList();
    }

    std::vector<std::string> RowLogins() {
        std::vector<std::string> logins;
        for (int row = 0; row < Window.Model()->rowCount(); ++row)
            logins.push_back(Window.ItemUser(row)->Login);
        return logins;
    }

    int RowOf(const char* login) {
        for (int row = 0; row < Window.Model()->rowCount(); ++row)
            if (Window.ItemUser(row)->Login == login) return row;
        ADD_FAILURE() << "no row for " << login;
        return -1;
    }

    void Select(std::initializer_list<const char*> logins) {
        Window.UnselectAll();
        for (const char* login : logins)
            Window.SelectRow(RowOf(login));
    }

    QAction* Action(const char* name) {
        auto* action = Window.findChild<QAction*>(QLatin1String(name));
        EXPECT_NE(action, nullptr) << name;
        return action;
    }

    void Trigger(const char* name) {
        QAction* action = Action(name);
        ASSERT_TRUE(action->isEnabled()) << name << " is disabled";
        action->trigger();
    }

    QString Cell(const char* login, TUsersModel::TColumn column) {
        return Window.Model()->index(RowOf(login), TUsersModel::Index(column)).data().toString();
    }

    QString SelectedLogins() {
        QStringList logins;
        for (int row : Window.SelectedRows())
            logins << QString::fromStdString(Window.ItemUser(row)->Login);
        return logins.join(QLatin1Char(','));
    }

    // A user dialog script: change fields, then OK or Cancel.
    static std::function<int(QDialog&)> UserScript(std::function<void(TfrmUser&)> edit, bool ok) {
        return [edit, ok](QDialog& dialog) {
            auto& form = dynamic_cast<TfrmUser&>(dialog);
            if (edit) edit(form);
            QTest::mouseClick(Find<QPushButton>(form, ok ? "btnOK" : "btnCancel"), Qt::LeftButton);
            return form.result();
        };
    }

    static void SetText(TfrmUser& form, const char* name, const QString& text) {
        Find<QLineEdit>(form, name)->setText(text);
    }
};

} // namespace

TEST_F(CommandsTest, AddUserAppendsSelectsAndMarksModified) {
    Fill({{"carl"}, {"alice"}});
    Window.SelectRow(RowOf("carl"));
    Scripts.push_back(UserScript(
        [](TfrmUser& form) {
            SetText(form, "edtLogin", QStringLiteral("bob"));
            SetText(form, "edtPassword", QStringLiteral("secret"));
        },
        true));
    Trigger("miAddUser");
    EXPECT_EQ(List().Count(), 3);
    EXPECT_EQ(RowLogins(), (std::vector<std::string>{"alice", "bob", "carl"})) << "sorted in";
    EXPECT_EQ(SelectedLogins(), QStringLiteral("bob"));
    EXPECT_TRUE(Window.Project.Modified());
    EXPECT_EQ(Window.StatusPanelText(0), QStringLiteral("3 users"));
    EXPECT_EQ(Window.StatusPanelText(1), QStringLiteral("Modified"));

    // A new user gets a row even when the view would hide it.
    Trigger("miDisabledUsers");
    EXPECT_EQ(Window.Model()->rowCount(), 0);
    Scripts.push_back(UserScript(
        [](TfrmUser& form) {
            SetText(form, "edtLogin", QStringLiteral("dora"));
            SetText(form, "edtPassword", QStringLiteral("pw"));
        },
        true));
    Trigger("miAddUser");
    EXPECT_EQ(RowLogins(), (std::vector<std::string>{"dora"}));
}

TEST_F(CommandsTest, AddUserCancelledAddsNothing) {
    Fill({{"alice"}});
    Scripts.push_back(UserScript(
        [](TfrmUser& form) {
            SetText(form, "edtLogin", QStringLiteral("bob"));
            SetText(form, "edtPassword", QStringLiteral("secret"));
        },
        false));
    Trigger("miAddUser");
    EXPECT_EQ(List().Count(), 1);
    EXPECT_EQ(Window.Model()->rowCount(), 1);
    EXPECT_FALSE(Window.Project.Modified());
}

// (Several selected rows are edited together: see the Edit Users dialog.)
TEST_F(CommandsTest, EditUserEditsTheSelectedRow) {
    Fill({{"carl"}, {"alice"}, {"bob"}, {"dave"}});
    Select({"bob"});
    Scripts.push_back(UserScript(
        [](TfrmUser& form) {
            EXPECT_EQ(Find<QLineEdit>(form, "edtLogin")->text(), QStringLiteral("bob"));
            SetText(form, "edtLogin", QStringLiteral("zed"));
        },
        true));
    Trigger("miEditUser");
    EXPECT_EQ(List().Users(2).Login, "zed");
    EXPECT_EQ(RowLogins(), (std::vector<std::string>{"alice", "carl", "dave", "zed"}));
    EXPECT_TRUE(Window.Project.Modified());
}

TEST_F(CommandsTest, EditWithoutChangeStaysCleanButCancellingSumMarksModified) {
    Fill({{"bob", "bob@example.org", "Bob"}});
    List().Users(0).Password = "aaaaaaaa";
    Window.SelectRow(0);
    Scripts.push_back(UserScript(nullptr, true));
    Trigger("miEditUser");
    EXPECT_EQ(Dialogs(), 1);
    EXPECT_FALSE(Window.Project.Modified());

    const uint32_t fingerprint = List().Fingerprint();
    Scripts.push_back(UserScript(
        [](TfrmUser& form) { SetText(form, "edtPassword", QStringLiteral("baaa`aaa")); }, true));
    Trigger("miEditUser");
    EXPECT_EQ(List().Fingerprint(), fingerprint) << "the 32-bit sum does not see this change";
    EXPECT_TRUE(Window.Project.Modified());
}

TEST_F(CommandsTest, EnterAndDoubleClickEditButNothingWithoutSelection) {
    Fill({{"alice"}, {"bob"}});
    QTest::keyClick(Window.List(), Qt::Key_Return);
    EXPECT_EQ(Dialogs(), 0) << "Enter without a selected row does nothing";
    EXPECT_FALSE(Action("miEditUser")->isEnabled());

    Window.SelectRow(RowOf("bob"));
    Scripts.push_back(UserScript(nullptr, false));
    QTest::keyClick(Window.List(), Qt::Key_Return);
    EXPECT_EQ(Dialogs(), 1);

    Scripts.push_back(UserScript(
        [](TfrmUser& form) {
            EXPECT_EQ(Find<QLineEdit>(form, "edtLogin")->text(), QStringLiteral("alice"));
        },
        false));
    const QRect rect = Window.List()->visualRect(Window.Model()->index(RowOf("alice"), 0));
    QTest::mouseClick(Window.List()->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(Window.List()->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(Dialogs(), 2);
    EXPECT_TRUE(Scripts.empty());
}

TEST_F(CommandsTest, DeleteAsksWithTheLoginOrTheCount) {
    Fill({{"alice"}, {"bob"}, {"carl"}, {"dave"}, {"eve"}});
    Select({"bob"});
    Answers.push_back(QMessageBox::No);
    Trigger("miDeleteUser");
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Title, QStringLiteral("Confirm"));
    EXPECT_EQ(Messages[0].Text, QStringLiteral("Do you want to delete \"bob\"?"));
    EXPECT_EQ(Messages[0].Icon, QMessageBox::Question);
    EXPECT_EQ(List().Count(), 5) << "No changes nothing";
    EXPECT_FALSE(Window.Project.Modified());

    Select({"alice", "carl", "dave", "eve"});
    Answers.push_back(QMessageBox::No);
    Trigger("miDeleteUser");
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_EQ(Messages[1].Text, QStringLiteral("Do you want to delete these 4 users?"));
    EXPECT_EQ(List().Count(), 5);

    Answers.push_back(QMessageBox::Yes);
    Trigger("miDeleteUser");
    EXPECT_EQ(List().Count(), 1);
    EXPECT_EQ(List().Users(0).Login, "bob");
    EXPECT_EQ(RowLogins(), (std::vector<std::string>{"bob"}));
    EXPECT_TRUE(Window.Project.Modified());
    EXPECT_EQ(Window.StatusPanelText(0), QStringLiteral("1 user"));
    EXPECT_FALSE(Action("miDeleteUser")->isEnabled()) << "nothing is selected any more";
}

TEST_F(CommandsTest, FindWalksLoginEmailAndFullNameWithBothOptions) {
    Fill({{"a1", "", "John Smith"},
          {"a2", "smith@example.org"},
          {"a3", "", "smith"},
          {"a4", "", "Smith"},
          {"smith", ""}});
    Trigger("miSearch");
    TFindDialog* find = Window.FindDialog();
    ASSERT_TRUE(find->isVisible());
    auto* text = Find<QLineEdit>(*find, "edtFindText");
    auto* next = Find<QPushButton>(*find, "btnFindNext");
    text->setText(QStringLiteral("SMITH"));

    QStringList found;
    for (int i = 0; i < 5; ++i) {
        QTest::mouseClick(next, Qt::LeftButton);
        found << SelectedLogins();
    }
    EXPECT_EQ(found.join(QLatin1Char(' ')), QStringLiteral("a1 a2 a3 a4 smith"));
    EXPECT_TRUE(Messages.empty());
    QTest::mouseClick(next, Qt::LeftButton);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Title, QStringLiteral("Information"));
    EXPECT_EQ(Messages[0].Text, QStringLiteral("Search is completed"));
    EXPECT_FALSE(find->isVisible()) << "the find dialog closes at the end";

    // Whole word: the field must be exactly the text, in any letter case.
    Trigger("miSearch");
    Find<QCheckBox>(*find, "cbxWholeWord")->setChecked(true);
    found.clear();
    for (int i = 0; i < 3; ++i) {
        QTest::mouseClick(next, Qt::LeftButton);
        found << SelectedLogins();
    }
    EXPECT_EQ(found.join(QLatin1Char(' ')), QStringLiteral("a3 a4 smith"));

    // Match case: "Smith" only where it is written so; the search starts again from the top.
    Trigger("miSearch");
    Find<QCheckBox>(*find, "cbxWholeWord")->setChecked(false);
    Find<QCheckBox>(*find, "cbxMatchCase")->setChecked(true);
    text->setText(QStringLiteral("Smith"));
    found.clear();
    for (int i = 0; i < 2; ++i) {
        QTest::mouseClick(next, Qt::LeftButton);
        found << SelectedLogins();
    }
    EXPECT_EQ(found.join(QLatin1Char(' ')), QStringLiteral("a1 a4"));
    QTest::mouseClick(next, Qt::LeftButton);
    EXPECT_EQ(Messages.size(), 2u);
}

TEST_F(CommandsTest, SelectAllSelectsEveryRow) {
    Fill({{"alice"}, {"bob"}, {"carl"}});
    EXPECT_FALSE(Action("miDeleteUser")->isEnabled());
    Trigger("miSelectAll");
    EXPECT_EQ(SelectedLogins(), QStringLiteral("alice,bob,carl"));
    EXPECT_TRUE(Action("miDeleteUser")->isEnabled());
    EXPECT_FALSE(Window.Project.Modified());
}

TEST_F(CommandsTest, PopupCommandsKeepRowsInPlace) {
    Fill({{"alice"}, {"bob"}, {"carl", "", "", true}});
    Trigger("miEnabledUsers");
    Window.lvwUsersColumnClick(1); // by status
    EXPECT_EQ(RowLogins(), (std::vector<std::string>{"alice", "bob"}));
    const QString status = Window.StatusPanelText(0);
    Select({"alice"});
    Trigger("miDisable");
    EXPECT_TRUE(List().Users(0).Disable);
    EXPECT_EQ(RowLogins(), (std::vector<std::string>{"alice", "bob"})) << "not re-sorted or hidden";
    EXPECT_EQ(Cell("alice", TUsersModel::TColumn::Status), QStringLiteral("Disabled"));
    EXPECT_EQ(Window.StatusPanelText(0), status);
    EXPECT_TRUE(Window.Project.Modified());
}

TEST_F(CommandsTest, NeverExpireWithoutExpiryLeavesTheDocumentClean) {
    Fill({{"alice"}, {"bob", "", "", false, true}});
    Select({"alice"});
    Trigger("miNeverExpire");
    EXPECT_FALSE(Window.Project.Modified());
    Trigger("miEnable");
    EXPECT_FALSE(Window.Project.Modified());
    Select({"alice", "bob"});
    Trigger("miNeverExpire");
    EXPECT_FALSE(List().Users(1).Expire);
    EXPECT_EQ(List().Users(1).ExpireDate, At(2030, 1, 1)) << "the date is kept";
    EXPECT_EQ(Cell("bob", TUsersModel::TColumn::ExpireDate), QStringLiteral("Never"));
    EXPECT_TRUE(Window.Project.Modified());
}

TEST_F(CommandsTest, SetExpirationDateUsesTheDateDialog) {
    TFixedClock clock(At(2026, 3, 5, 14, 30));
    Fill({{"alice"}, {"bob"}});
    Select({"alice", "bob"});
    Scripts.push_back([](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Select the expiration date"));
        Find<QCalendarWidget>(dialog, "Calendar")->setSelectedDate(QDate(2026, 4, 9));
        dialog.reject();
        return dialog.result();
    });
    Trigger("miSetExpirationDate");
    EXPECT_FALSE(List().Users(0).Expire);
    EXPECT_FALSE(Window.Project.Modified()) << "Cancel changes no user";

    Scripts.push_back([](QDialog& dialog) {
        auto* calendar = Find<QCalendarWidget>(dialog, "Calendar");
        EXPECT_EQ(calendar->selectedDate(), QDate(2026, 3, 5)) << "starts today";
        calendar->setSelectedDate(QDate(2026, 4, 9));
        dialog.accept();
        return dialog.result();
    });
    Trigger("miSetExpirationDate");
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(List().Users(i).Expire);
        EXPECT_EQ(List().Users(i).ExpireDate, At(2026, 4, 9, 14, 30));
    }
    EXPECT_NE(Cell("alice", TUsersModel::TColumn::ExpireDate), QStringLiteral("Never"));
    EXPECT_TRUE(Window.Project.Modified());
}

TEST_F(CommandsTest, SendMailHandsTheJoinedAddressesToTheDesktop) {
    TUrlCatcher catcher;
    Fill({{"a", "A@example.org"}, {"b", ""}, {"c", "  B@example.org \t"}, {"d", "C@example.org"}});
    Select({"a", "b", "c"});
    Trigger("miSendMail");
    ASSERT_EQ(catcher.Opened.size(), 1);
    EXPECT_EQ(catcher.Opened[0], QStringLiteral("mailto:A@example.org;B@example.org"));
    Select({"b"});
    Trigger("miSendMail");
    ASSERT_EQ(catcher.Opened.size(), 2);
    EXPECT_EQ(catcher.Urls[1].scheme(), QStringLiteral("mailto"));
    EXPECT_TRUE(catcher.Urls[1].path().isEmpty());
    EXPECT_FALSE(Window.Project.Modified());
}

TEST_F(CommandsTest, TheViewNarrowsToUsersExpiringSoonAndToOneGroup) {
    Fill({{"ann"}, {"bob"}, {"carl"}, {"dora", "", "", true}});
    const TDateTime now = Now();
    const struct {
        const char* Login;
        double ExpiresIn; // days; 0: never
        const char* Groups;
    } users[] = {
        {"ann", 3, "staff"}, {"bob", 40, "staff, web"}, {"carl", 0, ""}, {"dora", 2, "web"}};
    for (const auto& u : users) {
        TUserProp& user = List().Users(RowOf(u.Login));
        user.Expire = u.ExpiresIn != 0;
        user.ExpireDate = now + u.ExpiresIn;
        SetUserGroups(user, ParseGroupList(u.Groups));
    }
    const int groupsColumn = TUsersModel::Index(TUsersModel::TColumn::Groups);
    Window.FillList();
    Window.RefreshList();
    EXPECT_FALSE(Window.List()->isColumnHidden(groupsColumn));
    EXPECT_EQ(Cell("bob", TUsersModel::TColumn::Groups), QStringLiteral("staff, web"));

    const auto askDays = [this](int days, bool ok) {
        Scripts.push_back([days, ok](QDialog& dialog) {
            auto& input = dynamic_cast<QInputDialog&>(dialog);
            input.setIntValue(days);
            return int(ok ? QDialog::Accepted : QDialog::Rejected);
        });
    };
    askDays(14, true);
    Trigger("miExpiringUsers");
    EXPECT_EQ(RowLogins(), (std::vector<std::string>{"ann"})); // dora is disabled
    askDays(60, false);                                        // cancelled: the view stays
    Trigger("miExpiringUsers");
    EXPECT_EQ(RowLogins(), (std::vector<std::string>{"ann"}));
    EXPECT_TRUE(Action("miExpiringUsers")->isChecked());
    Trigger("miAllUsers");
    EXPECT_EQ(RowLogins().size(), 4u);

    // The group menu lists the database's groups; one of them narrows the rows to its members.
    auto* menu = Window.findChild<QMenu*>(QStringLiteral("miGroupFilter"));
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    QStringList captions;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) captions << action->text();
    EXPECT_EQ(captions.mid(1), (QStringList{QStringLiteral("staff"), QStringLiteral("web")}));
    menu->actions().back()->trigger();
    EXPECT_EQ(RowLogins(), (std::vector<std::string>{"bob", "dora"}));
    Trigger("miEnabledUsers"); // with the state filter: both must hold
    EXPECT_EQ(RowLogins(), (std::vector<std::string>{"bob"}));
    Action("miAllGroups")->trigger();
    EXPECT_EQ(RowLogins().size(), 3u);

    for (int i = 0; i < List().Count(); ++i)
        List().Users(i).SetGroups("");
    Window.RefreshList();
    EXPECT_TRUE(Window.List()->isColumnHidden(groupsColumn));
}

TEST_F(CommandsTest, SendCredentialsWritesPrivateMailsOrOpensThemOneByOne) {
    Fill({{"ann", "ann@example.org", "Ann Smith"}, {"bob", "bob@example.org"}, {"carl"}});
    const QString folder = QString::fromStdString(Dir.File("mails"));
    const auto send = [this](int output, const QString& folder, bool expectError = false) {
        Scripts.push_back([=, this](QDialog& dialog) {
            auto& form = dynamic_cast<TfrmCredentials&>(dialog);
            Find<QComboBox>(form, "cbxOutput")->setCurrentIndex(output);
            Find<QLineEdit>(form, "edtFolder")->setText(folder);
            Find<QLineEdit>(form, "edtUrl")->setText(QStringLiteral("https://site.example/"));
            const size_t boxes = Messages.size();
            QTest::mouseClick(Find<QPushButton>(form, "btnOK"), Qt::LeftButton);
            if (expectError) {
                EXPECT_EQ(Messages.size(), boxes + 1) << "no error shown";
                EXPECT_FALSE(form.isHidden()); // the dialog stays for another try
                form.reject();
            }
            return form.result();
        });
        Trigger("miSendCredentials");
    };
    Select({"ann", "bob"});
    send(int(TfrmCredentials::TOutput::Eml), folder);
    for (const char* login : {"ann", "bob"}) {
        const std::string file = Dir.File(std::string("mails/") + login + ".eml");
        SCOPED_TRACE(file);
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        const std::string text = ReadWholeFile(file);
        EXPECT_NE(text.find(std::string("  login:    ") + login + "\r\n"), std::string::npos);
        EXPECT_NE(text.find("  password: pw\r\n"), std::string::npos);
        EXPECT_NE(text.find("Subject: Your access to https://site.example/\r\n"),
                  std::string::npos);
    }
    EXPECT_NE(ReadWholeFile(Dir.File("mails/ann.eml")).find("To: \"Ann Smith\" <ann@example.org>"),
              std::string::npos);
    EXPECT_EQ(Window.ResultText(), QStringLiteral("2 mails written to %1").arg(folder));

    // To the mail program: one mail, then the question before each further one.
    TUrlCatcher catcher;
    Select({"ann", "bob", "carl"});
    Answers = {QMessageBox::Yes, QMessageBox::No};
    send(int(TfrmCredentials::TOutput::MailProgram), QString());
    ASSERT_EQ(catcher.Urls.size(), 2);
    EXPECT_EQ(catcher.Urls[0].path(), QStringLiteral("ann@example.org"));
    EXPECT_NE(catcher.Urls[1].query(QUrl::FullyDecoded).indexOf(QStringLiteral("password: pw")),
              -1);
    EXPECT_EQ(Window.ResultText(), QStringLiteral("2 of 3 mails opened in the mail program"));

    // A user known only by a hash taken over has no password to send: said, nothing written.
    List().Users(RowOf("carl")).SetPasswordHash("{SHA}W6ph5Mm5Pz8GgiULbPgzG37mj9g=");
    List().Users(RowOf("carl")).Password.clear();
    Select({"carl"});
    send(int(TfrmCredentials::TOutput::Csv), folder, true);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/credentials.csv")));
    EXPECT_FALSE(Window.Project.Modified());
}

TEST_F(CommandsTest, OptionsShowsTheDialogAndChangesNothing) {
    Scripts.push_back([](QDialog& dialog) {
        EXPECT_NE(qobject_cast<TfrmOptions*>(&dialog), nullptr);
        dialog.accept();
        return dialog.result();
    });
    Action("miOptions")->trigger();
    EXPECT_EQ(Dialogs(), 1);
    EXPECT_FALSE(Window.Project.Modified());
}

TEST_F(CommandsTest, HelpTopicsShowsTheHelpPageOrSaysItIsMissing) {
    TUrlCatcher catcher;
    const QString help = Window.HelpFile();
    EXPECT_EQ(QFileInfo(help).dir(), QDir(QCoreApplication::applicationDirPath()));
    const bool existed = QFile::exists(help);
    if (!existed) {
        Trigger("miHelpTopics");
        EXPECT_EQ(Window.HelpWindow(), nullptr);
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_EQ(Messages[0].Title, QStringLiteral("Quorvane"));
        EXPECT_EQ(Messages[0].Text,
                  QStringLiteral("Cannot open file ") + help + QStringLiteral("."));
        QFile page(help);
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("<html><body><h1>Quorvane Help</h1><a href=\"#export\">Export</a> "
                   "<a href=\"https://httpd.apache.org/\">Apache</a></body></html>");
    }
    // Shown by the program itself, without a web browser; a web link goes to the desktop.
    Trigger("miHelpTopics");
    if (!existed) QFile::remove(help);
    ASSERT_NE(Window.HelpWindow(), nullptr);
    EXPECT_TRUE(Window.HelpWindow()->isVisible());
    QTextBrowser* page = Window.HelpWindow()->Browser();
    EXPECT_TRUE(page->toPlainText().contains(QStringLiteral("Quorvane Help")));
    EXPECT_TRUE(catcher.Urls.isEmpty());
    emit page->anchorClicked(QUrl(QStringLiteral("https://httpd.apache.org/")));
    ASSERT_EQ(catcher.Urls.size(), 1);
    EXPECT_EQ(catcher.Urls[0].host(), QStringLiteral("httpd.apache.org"));
    EXPECT_TRUE(page->toPlainText().contains(QStringLiteral("Quorvane Help")));
    // F1 again brings the same window back.
    THelpWindow* first = Window.HelpWindow();
    Trigger("miHelpTopics");
    EXPECT_EQ(Window.HelpWindow(), first);
}
