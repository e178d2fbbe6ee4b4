// The main window in a day's use: what the status line says, files dropped on the window, a
// password on the clipboard for a while, where the list starts, how users at risk are marked, a
// database that keeps no clear passwords.

#include "ScriptedPrompts.h"
#include "TestUtil.h"
#include "UiTestUtil.h"
#include "export/StoredHash.h"
#include "persist/RegistryLib.h"
#include "ui/EditUsersDlg.h"
#include "ui/MainForm.h"
#include "ui/PasswordField.h"
#include "ui/UsersModel.h"
#include "userdb/UserList.h"

#include <QAction>
#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTreeView>
#include <QUndoStack>

#include <gtest/gtest.h>

using namespace quorvane;

namespace {

class EverydayTest : public ::testing::Test {
protected:
    TTempDir Dir;
    TScopedSettingsFile Store{Q(Dir.File("settings.ini"))};
    TScriptedModals Dialogs;
    TScriptedPrompts Prompts;
    TfrmMain Window;

    EverydayTest() { Window.Project.SetPrompts(&Prompts); }

    QString Database(const std::string& name, int users) {
        TUserList list;
        for (int i = 0; i < users; ++i)
            list.Add("user" + std::to_string(100000 + i), "pw" + std::to_string(i));
        list.SaveToFile(Dir.File(name));
        return Q(Dir.File(name));
    }
    QString SiteWithTwoUsers() {
        TUserList list;
        list.Add("alice", "Alice-Secret");
        list.Add("bob", "Bob-Secret");
        list.SaveToFile(Dir.File("two.udx"));
        return Q(Dir.File("two.udx"));
    }
    QString TextFile(const std::string& name, const std::string& text) {
        WriteWholeFile(Dir.File(name), text);
        return Q(Dir.File(name));
    }
    void Open(const QString& file) {
        Prompts.OpenChoices.push_back(file);
        Window.miOpenClick();
    }
    // The Export command: a local export to `file`, then Cancel (at once, when `file` is "").
    void Export(const QString& file) {
        Dialogs.OnDialog = [file](QDialog& dialog) {
            if (!file.isEmpty()) {
                Find<QLineEdit>(dialog, "edtAddress")->setText(file);
                QTest::mouseClick(Find<QPushButton>(dialog, "btnExport"), Qt::LeftButton);
            }
            return int(QDialog::Rejected);
        };
        Window.miExportClick();
        Dialogs.OnDialog = nullptr;
    }
    void Select(const std::string& login) {
        for (int row = 0; row < Window.Model()->rowCount(); ++row)
            if (Window.ItemUser(row)->Login == login) {
                Window.UnselectAll();
                Window.SelectRow(row);
                return;
            }
        ADD_FAILURE() << "no row for " << login;
    }
    void Trigger(const char* name) {
        auto* action = Find<QAction>(Window, name);
        ASSERT_TRUE(action->isEnabled()) << name;
        action->trigger();
    }
};

} // namespace

// Each step, and what the status line says after it: never a result of another database.
TEST_F(EverydayTest, TheStatusLineSaysWhatWasDoneToThisDatabase) {
    const QString big = Database("big.udx", 1204);
    const QString small = Database("small.udx", 1);
    const struct {
        const char* Step;
        std::function<void()> Run;
        QString Says;
    } steps[] = {
        {"open", [&] { Open(big); },
         QStringLiteral("Opened big.udx: %1 users").arg(QLocale().toString(1204))},
        {"export result", [&] { Window.ShowResult(QStringLiteral("1,204 users written")); },
         QStringLiteral("1,204 users written")},
        {"an export that failed", [&] { Export(Q(Dir.File("no such folder/htpasswd"))); },
         QString()},
        {"save", [&] { Window.miSaveClick(); }, QStringLiteral("Saved")},
        {"the export dialog closed at once", [&] { Export(QString()); }, QStringLiteral("Saved")},
        {"open another", [&] { Open(small); }, QStringLiteral("Opened small.udx: 1 user")},
        {"new", [&] { Window.miNewClick(); }, QString()},
        {"a file that cannot be read", [&] { Open(Q(Dir.File("missing.udx"))); }, QString()},
    };
    for (const auto& step : steps) {
        step.Run();
        EXPECT_EQ(Window.ResultText(), step.Says) << step.Step;
    }
    EXPECT_EQ(Window.StatusPanelText(0), QStringLiteral("0 users"));
    Open(big);
    EXPECT_EQ(Window.StatusPanelText(0), QStringLiteral("%1 users").arg(QLocale().toString(1204)));
}

// A database dropped on the window opens; a text file or a password file is imported.
TEST_F(EverydayTest, AFileDroppedOnTheWindowOpensOrIsImported) {
    const QString database = Database("dropped.udx", 3);
    const struct {
        QString File;
        bool Opens;
        std::vector<std::string> Added; // logins imported
    } cases[] = {
        {database, true, {}},
        {TextFile("people.csv", "ann,secret1\nbob,secret2\n"), false, {"ann", "bob"}},
        {TextFile("people.txt", "carl secret3\n"), false, {"carl"}},
        {TextFile(".htpasswd", "dora:$apr1$abcdefgh$0123456789abcdefghijkl\n"), false, {"dora"}},
        {TextFile("list", "eve,secret4\n"), false, {"eve"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Str(c.File));
        if (Window.Project.Modified()) Prompts.Answers.push_back(TSaveAnswer::No);
        Window.miNewClick();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(c.File)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&Window, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(&Window, &drop);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return !Window.Project.FileName().isEmpty() || Window.UserList().Count() > 0; }));
        EXPECT_EQ(Window.Project.FileName(), c.Opens ? c.File : QString());
        if (c.Opens) {
            EXPECT_EQ(Window.UserList().Count(), 3);
            continue;
        }
        std::vector<std::string> logins;
        for (int i = 0; i < Window.UserList().Count(); ++i)
            logins.push_back(Window.UserList().Users(i).Login);
        EXPECT_EQ(logins, c.Added);
        EXPECT_TRUE(Window.Project.Modified());
    }
    EXPECT_TRUE(Dialogs.Boxes.empty()) << Str(Dialogs.Boxes.front().Text);
}

// The password goes to the clipboard marked as a secret, and is taken off it again when its
// time is up, unless something else was copied meanwhile.
TEST_F(EverydayTest, ACopiedPasswordLeavesTheClipboardAfterItsTime) {
    Open(Database("site.udx", 2));
    Window.ClipboardClearMs = 200;
    QClipboard* clipboard = QGuiApplication::clipboard();
    for (const bool replaced : {false, true}) {
        Select("user100001");
        Trigger("miCopyPassword");
        EXPECT_EQ(clipboard->text(), QStringLiteral("pw1"));
        EXPECT_EQ(clipboard->mimeData()->data(QStringLiteral("x-kde-passwordManagerHint")),
                  QByteArrayLiteral("secret"));
        if (replaced) clipboard->setText(QStringLiteral("something else"));
        QTest::qWait(400);
        EXPECT_EQ(clipboard->text(), replaced ? QStringLiteral("something else") : QString());
    }
    // A user known only by a stored hash has no password to copy.
    Window.UserList().Users(0).Password.clear();
    Window.UserList().Users(0).SetPasswordHash("$apr1$abcdefgh$0123456789abcdefghijkl");
    Select("user100000");
    EXPECT_FALSE(Find<QAction>(Window, "miCopyPassword")->isEnabled());
}

// A new password is one step that Undo takes back; Generate draws it with the settings of the
// last series.
TEST_F(EverydayTest, ChangePasswordIsOneStepThatUndoTakesBack) {
    Open(Database("site.udx", 2));
    {
        auto reg = OpenRegistryKey(TRegistryRootKey::CurrentUser,
                                   QStringLiteral("\\Software\\Ostrick\\Quorvane\\Series"));
        reg->WriteInteger(QStringLiteral("PasswordLength"), 17);
        reg->WriteInteger(QStringLiteral("PasswordChars"), 2); // digits
        reg->CloseKey();
    }
    Dialogs.OnDialog = [](QDialog& dialog) {
        auto* form = qobject_cast<TfrmChangePassword*>(&dialog);
        EXPECT_NE(form, nullptr);
        if (form == nullptr) return int(QDialog::Rejected);
        auto* edit = Find<QLineEdit>(*form, "edtNewPassword");
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        form->btnGenerateClick();
        EXPECT_EQ(edit->echoMode(), QLineEdit::Normal) << "a generated password is shown";
        return int(QDialog::Accepted);
    };
    Select("user100000");
    Trigger("miChangePassword");
    const std::string password = Window.UserList().Users(0).Password;
    EXPECT_EQ(password.size(), 17u);
    EXPECT_EQ(password.find_first_not_of("123456789"), std::string::npos) << password;
    EXPECT_TRUE(Window.Project.Modified());
    Window.UndoStack()->undo();
    EXPECT_EQ(Window.UserList().Users(0).Password, "pw0");
    EXPECT_FALSE(Window.Project.Modified());
}

// A database opens at its first row, and typing in the filter shows the first match at once,
// wherever the list was scrolled to.
TEST_F(EverydayTest, OpeningAndFilteringStartAtTheFirstRow) {
    const QString file = Database("many.udx", 600);
    Window.resize(800, 500);
    Window.show();
    QApplication::setActiveWindow(&Window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window));
    QScrollBar* bar = Window.List()->verticalScrollBar();
    for (const char* step : {"open", "filter"}) {
        SCOPED_TRACE(step);
        Open(file);
        bar->setValue(bar->maximum());
        ASSERT_GT(bar->value(), 0);
        if (std::string(step) == "open")
            Open(file);
        else
            QTest::keyClicks(Window.FilterBox(), QStringLiteral("user1002"));
        QCoreApplication::processEvents();
        EXPECT_EQ(bar->value(), 0);
        EXPECT_EQ(Window.List()->indexAt(QPoint(5, 5)).row(), 0);
    }
    EXPECT_EQ(Window.Model()->rowCount(), 100); // user100200 to user100299
    // Ctrl+L puts the keyboard in the filter box.
    Window.List()->setFocus();
    QTest::keyClick(&Window, Qt::Key_L, Qt::ControlModifier);
    EXPECT_TRUE(Window.FilterBox()->hasFocus());
}

// Users who cannot get in are shown inactive; users at risk carry a mark and say why.
TEST_F(EverydayTest, InactiveUsersAreGreyAndUsersAtRiskMarked) {
    TUserList list;
    const struct {
        const char* Login;
        std::function<void(TUserProp&)> Make;
        bool Grey;
        const char* Says; // the mark's tool tip, or none
    } cases[] = {
        {"active", [](TUserProp&) {}, false, nullptr},
        {"disabled", [](TUserProp& u) { u.Disable = true; }, true, nullptr},
        {"expired",
         [](TUserProp& u) {
             u.Expire = true;
             u.ExpireDate = Now() - 1;
         },
         true, nullptr},
        {"open", [](TUserProp& u) { u.Password.clear(); }, false, "No password"},
        {"closed", // disabled: nobody gets in, nothing to warn of
         [](TUserProp& u) {
             u.Password.clear();
             u.Disable = true;
         },
         true, nullptr},
        {"sha1",
         [](TUserProp& u) {
             u.Password.clear();
             u.SetPasswordHash("{SHA}W6ph5Mm5Pz8GgiULbPgzG37mj9g=");
         },
         false, "weak"},
        {"bcrypt",
         [](TUserProp& u) {
             u.Password.clear();
             u.SetPasswordHash("$2y$05$abcdefghijklmnopqrstuu5gVQ1MlXgLcM0f1gPb6Kcc.1mkNgXOy");
         },
         false, nullptr},
    };
    for (const auto& c : cases)
        c.Make(list.Add(c.Login, "pw"));
    list.SaveToFile(Dir.File("marks.udx"));
    Open(Q(Dir.File("marks.udx")));
    const auto row = [this](const char* login) {
        int row = 0;
        while (Window.ItemUser(row)->Login != login)
            ++row;
        return row;
    };
    const auto icon = [this](int row) {
        return Window.Model()->index(row, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey();
    };
    const qint64 unmarked = icon(row("active"));
    for (const auto& c : cases) {
        const QModelIndex login = Window.Model()->index(row(c.Login), 0);
        const QModelIndex email = Window.Model()->index(row(c.Login), 3);
        EXPECT_EQ(email.data(Qt::ForegroundRole).isValid(), c.Grey) << c.Login;
        EXPECT_EQ(icon(login.row()) != unmarked, c.Says != nullptr) << c.Login;
        const QString tip = login.data(Qt::ToolTipRole).toString();
        if (c.Says != nullptr)
            EXPECT_TRUE(tip.contains(QLatin1String(c.Says))) << c.Login << ": " << Str(tip);
        else
            EXPECT_TRUE(tip.isEmpty()) << c.Login << ": " << Str(tip);
    }
}

// File -> Keep Clear Passwords, unticked: a question that says it cannot be undone, then only the
// hashes are kept (the undo steps, which held clear passwords, go too).
TEST_F(EverydayTest, NotKeepingClearPasswordsAsksThenKeepsOnlyHashes) {
    Open(SiteWithTwoUsers());
    struct TCase {
        QMessageBox::StandardButton Answer;
        bool Hashed;
    } cases[] = {{QMessageBox::No, false}, {QMessageBox::Yes, true}};
    // A step that could bring a clear password back.
    Window.RunUsersChange(
        TfrmMain::TChangeScope::AnyUser,
        [this] { Window.UserList().Users(0).SetPassword("Alice-Changed"); },
        [](const TUsersDelta&) { return QStringLiteral("step"); });
    ASSERT_EQ(Window.UndoStack()->count(), 1);
    for (const TCase& c : cases) {
        Dialogs.Buttons = {c.Answer};
        Dialogs.Boxes.clear();
        Find<QAction>(Window, "miKeepClearPasswords")->trigger();
        ASSERT_EQ(Dialogs.Boxes.size(), 1u);
        EXPECT_NE(Dialogs.Boxes[0].Text.indexOf(QStringLiteral("cannot be undone")), -1);
        EXPECT_EQ(Find<QAction>(Window, "miKeepClearPasswords")->isChecked(), !c.Hashed);
        EXPECT_EQ(Window.UserList().Users(1).HashOnly(), c.Hashed);
        EXPECT_EQ(Window.UndoStack()->count() == 0, c.Hashed);
    }
    EXPECT_TRUE(VerifyStoredHash("Bob-Secret", Window.UserList().Users(1).PasswordHash()));
    EXPECT_TRUE(VerifyStoredHash("Alice-Changed", Window.UserList().Users(0).PasswordHash()));
    EXPECT_TRUE(Window.Project.Modified());
    Window.miSaveClick();
    const std::string bytes = ReadWholeFile(Dir.File("two.udx"));
    for (const char* secret : {"Alice-Secret", "Alice-Changed", "Bob-Secret"})
        EXPECT_EQ(bytes.find(secret), std::string::npos) << secret;
    // On again: no question; new passwords are kept in clear, the hashes stay.
    Dialogs.Boxes.clear();
    Find<QAction>(Window, "miKeepClearPasswords")->trigger();
    EXPECT_TRUE(Dialogs.Boxes.empty());
    EXPECT_TRUE(Window.UserList().KeepClearPasswords);
    EXPECT_TRUE(Window.UserList().Users(1).HashOnly());
}

// Going hash-only from MD5 names the form that becomes the only one, and offers bcrypt first.
TEST_F(EverydayTest, GoingHashOnlyOffersBcryptBeforeTheCurrentForm) {
    const struct {
        QMessageBox::StandardButton Answer;
        TPasswordsType Form;
        const char* Prefix;
    } cases[] = {{QMessageBox::Yes, TPasswordsType::ptBcrypt, "$2y$"},
                 {QMessageBox::YesToAll, TPasswordsType::ptMD5, "$apr1$"}};
    for (const auto& c : cases) {
        Open(SiteWithTwoUsers());
        Dialogs.Buttons = {c.Answer};
        Dialogs.Boxes.clear();
        Find<QAction>(Window, "miKeepClearPasswords")->trigger();
        ASSERT_EQ(Dialogs.Boxes.size(), 1u);
        EXPECT_NE(Dialogs.Boxes[0].Text.indexOf(QStringLiteral("MD5 is quick to break")), -1)
            << Str(Dialogs.Boxes[0].Text);
        EXPECT_EQ(Window.UserList().PassType, c.Form);
        EXPECT_EQ(Window.UserList().Users(1).PasswordHash().rfind(c.Prefix, 0), 0u);
        EXPECT_TRUE(VerifyStoredHash("Bob-Secret", Window.UserList().Users(1).PasswordHash()));
        Window.Project.SetModified(false); // the next Open asks nothing
    }
}

// In a database that keeps no clear passwords a generated password is shown once, to be copied.
TEST_F(EverydayTest, AGeneratedPasswordIsShownOnceWhenOnlyItsHashIsKept) {
    Open(SiteWithTwoUsers());
    Dialogs.Buttons = {QMessageBox::Yes};
    Find<QAction>(Window, "miKeepClearPasswords")->trigger();
    ASSERT_FALSE(Window.UserList().KeepClearPasswords);
    QString shown;
    Dialogs.OnDialog = [&shown](QDialog& dialog) {
        if (auto* form = qobject_cast<TfrmChangePassword*>(&dialog)) {
            form->btnGenerateClick();
            return int(QDialog::Accepted);
        }
        EXPECT_EQ(dialog.objectName(), QStringLiteral("frmPasswordOnce"));
        shown = Find<QLineEdit>(dialog, "edtPassword")->text();
        Find<QPushButton>(dialog, "btnCopy")->click();
        return int(QDialog::Rejected);
    };
    Window.UnselectAll();
    Window.SelectRow(0);
    Find<QAction>(Window, "miChangePassword")->trigger();
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), shown);
    const TUserProp& user = *Window.ItemUser(0);
    EXPECT_TRUE(user.HashOnly());
    EXPECT_TRUE(user.Password.empty());
    EXPECT_TRUE(VerifyStoredHash(shown.toStdString(), user.PasswordHash()));
}

// Edit on several selected users changes the groups and expiry of each of them in one step
// that Undo takes back; a group both joined and left changes nobody.
TEST_F(EverydayTest, EditOnSeveralUsersChangesEachOfThemInOneStep) {
    Open(Database("site.udx", 4));
    Window.UnselectAll();
    for (int row = 0; row < 3; ++row)
        Window.SelectRow(row);
    std::vector<std::pair<const char*, const char*>> answers = {{"staff", "Staff"},
                                                                {"staff, web", ""}};
    Dialogs.OnDialog = [&answers](QDialog& dialog) {
        auto* form = qobject_cast<TfrmEditUsers*>(&dialog);
        EXPECT_NE(form, nullptr);
        if (form == nullptr) return int(QDialog::Rejected);
        const auto [join, leave] = answers.front();
        answers.erase(answers.begin());
        Find<QLineEdit>(*form, "edtJoin")->setText(QString::fromLatin1(join));
        Find<QLineEdit>(*form, "edtLeave")->setText(QString::fromLatin1(leave));
        Find<QRadioButton>(*form, "rbnNeverExpire")->setChecked(true);
        QTest::mouseClick(Find<QPushButton>(*form, "btnOK"), Qt::LeftButton);
        return form->result();
    };
    Trigger("miEditUser"); // refused: one box, nobody changed
    EXPECT_EQ(Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(Window.UserList().Users(0).Groups(), "");
    EXPECT_EQ(Window.UndoStack()->count(), 0);
    Trigger("miEditUser");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Window.UserList().Users(i).Groups(), i < 3 ? "staff web" : "") << i;
    ASSERT_EQ(Window.UndoStack()->count(), 1);
    Window.UndoStack()->undo();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Window.UserList().Users(i).Groups(), "") << i;
}
