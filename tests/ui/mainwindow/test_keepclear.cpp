// The main window and a database that keeps no clear passwords: File -> Keep Clear Passwords
// asks before it hashes them all, and a generated password is shown once, to be copied.

#include "ScriptedPrompts.h"
#include "TestUtil.h"
#include "UiTestUtil.h"
#include "export/StoredHash.h"
#include "ui/MainForm.h"
#include "ui/PasswordField.h"
#include "userdb/UserList.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QUndoStack>

#include <gtest/gtest.h>

using namespace quorvane;

namespace {

class KeepClearTest : public ::testing::Test {
protected:
    TTempDir Dir;
    TScopedSettingsFile Store{Q(Dir.File("settings.ini"))};
    TScriptedModals Dialogs;
    TScriptedPrompts Prompts;
    TfrmMain Window;

    KeepClearTest() {
        Window.Project.SetPrompts(&Prompts);
        TUserList list;
        list.Add("alice", "Alice-Secret");
        list.Add("bob", "Bob-Secret");
        list.SaveToFile(Dir.File("site.udx"));
        Prompts.OpenChoices.push_back(Q(Dir.File("site.udx")));
        Window.miOpenClick();
    }
    QAction* Item() { return Find<QAction>(Window, "miKeepClearPasswords"); }
};

TEST_F(KeepClearTest, TurningItOffAsksThenKeepsOnlyHashes) {
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
        Item()->trigger();
        ASSERT_EQ(Dialogs.Boxes.size(), 1u);
        EXPECT_NE(Dialogs.Boxes[0].Text.indexOf(QStringLiteral("cannot be undone")), -1);
        EXPECT_EQ(Item()->isChecked(), !c.Hashed);
        EXPECT_EQ(Window.UserList().Users(1).HashOnly(), c.Hashed);
        EXPECT_EQ(Window.UndoStack()->count() == 0, c.Hashed);
    }
    EXPECT_TRUE(VerifyStoredHash("Bob-Secret", Window.UserList().Users(1).PasswordHash()));
    EXPECT_TRUE(VerifyStoredHash("Alice-Changed", Window.UserList().Users(0).PasswordHash()));
    EXPECT_TRUE(Window.Project.Modified());
    Window.miSaveClick();
    const std::string bytes = ReadWholeFile(Dir.File("site.udx"));
    for (const char* secret : {"Alice-Secret", "Alice-Changed", "Bob-Secret"})
        EXPECT_EQ(bytes.find(secret), std::string::npos) << secret;
    // On again: no question; new passwords are kept in clear, the hashes stay.
    Dialogs.Boxes.clear();
    Item()->trigger();
    EXPECT_TRUE(Dialogs.Boxes.empty());
    EXPECT_TRUE(Window.UserList().KeepClearPasswords);
    EXPECT_TRUE(Window.UserList().Users(1).HashOnly());
}

TEST_F(KeepClearTest, AGeneratedPasswordIsShownOnceThenOnlyItsHashIsKept) {
    Dialogs.Buttons = {QMessageBox::Yes};
    Item()->trigger();
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

} // namespace
