// The main window and an encrypted database: the master password asked for on opening (again
// after a wrong one, Cancel leaving it unopened), the lock in the title, and encrypting, changing
// the master password and removing the encryption from the File menu, and the idle lock.

#include "ScriptedPrompts.h"
#include "TestUtil.h"
#include "UiTestUtil.h"
#include "export/DatabaseState.h"
#include "ui/MainForm.h"
#include "ui/MasterPasswordDlg.h"
#include "ui/OptionsDlg.h"
#include "ui/UsersModel.h"
#include "userdb/Envelope.h"
#include "userdb/UserList.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <deque>

using namespace quorvane;

namespace {

const QString KLock = QStringLiteral(" (encrypted)");

// One answer to a master password dialog: what is typed (twice in a new-password dialog), or
// nothing for Cancel.
struct TTyped {
    bool Cancel = false;
    std::string Password;
    std::string KeyFile;
};

class EncryptedWindowTest : public ::testing::Test {
protected:
    TTempDir Dir;
    TScopedSettingsFile Store{Q(Dir.File("settings.ini"))};
    TScriptedModals Dialogs;
    TScriptedPrompts Prompts;
    std::deque<TTyped> Answers;
    std::vector<QString> Shown; // each dialog: its name and the message it showed
    bool ListBehind = false;    // a dialog showed over the window's list of users
    QString Db = Q(Dir.File("site.udx"));

    void SetUp() override {
        test_hooks::SetDefaultKdfParams({1, 8192});
        Dialogs.OnDialog = [this](QDialog& dialog) {
            const QString name = dialog.objectName();
            if (QWidget* window = dialog.parentWidget())
                if (auto* list = window->findChild<QTreeView*>(QStringLiteral("lvwUsers")))
                    ListBehind = ListBehind || !list->isHidden();
            auto* message = dialog.findChild<QLabel*>(QStringLiteral("lblMessage"));
            Shown.push_back(
                name + QStringLiteral(": ") +
                (message != nullptr && !message->isHidden() ? message->text() : QString()));
            if (Answers.empty()) {
                ADD_FAILURE() << "unexpected dialog " << Str(name);
                return int(QDialog::Rejected);
            }
            const TTyped typed = Answers.front();
            Answers.pop_front();
            if (typed.Cancel) return int(QDialog::Rejected);
            for (const char* box : {"edtMasterPassword", "edtNewPassword", "edtRepeatPassword"})
                if (auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(box)))
                    edit->setText(Q(typed.Password));
            if (auto* keyFile = dialog.findChild<QLineEdit*>(QStringLiteral("edtKeyFile")))
                keyFile->setText(Q(typed.KeyFile));
            auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("btnOK"));
            EXPECT_TRUE(ok != nullptr && ok->isEnabled()) << Str(name);
            return int(QDialog::Accepted);
        };
        TUserList list;
        list.Add("alice", "Alice-Secret");
        list.Add("bob", "Bob-Secret");
        list.SetEncryption(TDatabaseKey::Create(
            TMasterCredentials{TSecret(std::string_view("master")), std::string()}));
        list.SaveToFile(Dir.File("site.udx"));
    }
    void TearDown() override { test_hooks::SetDefaultKdfParams({}); }

    std::unique_ptr<TfrmMain> NewWindow() {
        auto window = std::make_unique<TfrmMain>();
        window->Project.SetPrompts(&Prompts);
        return window;
    }
    void Open(TfrmMain& window, const QString& file) {
        Prompts.OpenChoices.push_back(file);
        window.miOpenClick();
    }
    static QString Caption(const QWidget& window) {
        QString title = window.windowTitle();
        title.remove(QStringLiteral("[*]"));
        return title;
    }
    bool FileEncrypted() const { return IsEncryptedDatabase(ReadWholeFile(Dir.File("site.udx"))); }
};

TEST_F(EncryptedWindowTest, OpeningAsksUntilTheRightPasswordOrCancel) {
    const QString wrong =
        QStringLiteral("frmMasterPassword: Wrong master password or damaged file");
    const QString first = QStringLiteral("frmMasterPassword: ");
    struct TCase {
        const char* Name;
        std::vector<TTyped> Typed;
        bool Opens;
        std::vector<QString> Shown;
    } cases[] = {
        {"right at once", {{false, "master", ""}}, true, {first}},
        {"wrong, then right", {{false, "Master", ""}, {false, "master", ""}}, true, {first, wrong}},
        {"wrong twice, then cancel",
         {{false, "x", ""}, {false, "y", ""}, {true, "", ""}},
         false,
         {first, wrong, wrong}},
        {"cancel", {{true, "", ""}}, false, {first}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Answers.assign(c.Typed.begin(), c.Typed.end());
        Shown.clear();
        ListBehind = false;
        Dialogs.Boxes.clear();
        auto window = NewWindow();
        Open(*window, Db);
        EXPECT_EQ(Shown, c.Shown);
        EXPECT_FALSE(ListBehind) << "the list it cannot repaint is hidden behind the question";
        EXPECT_FALSE(window->findChild<QTreeView*>(QStringLiteral("lvwUsers"))->isHidden());
        EXPECT_TRUE(Dialogs.Boxes.empty()) << "a cancel or a wrong password is no error box";
        EXPECT_EQ(window->UserList().Count(), c.Opens ? 2 : 0);
        EXPECT_EQ(window->Project.FileName(), c.Opens ? Db : QString());
        EXPECT_EQ(Caption(*window).endsWith(KLock), c.Opens) << Str(Caption(*window));
        EXPECT_EQ(
            window->findChild<QAction*>(QStringLiteral("miChangeMasterPassword"))->isEnabled(),
            c.Opens);
        EXPECT_FALSE(window->Project.Modified());
    }
}

TEST_F(EncryptedWindowTest, EncryptChangeAndRemoveFromTheFileMenu) {
    auto window = NewWindow();
    Answers = {{false, "master", ""}};
    Open(*window, Db);
    ASSERT_EQ(window->UserList().Count(), 2);
    // The state store beside the database follows its key with each save: the current key
    // (none: plain) always reads what an export recorded.
    const std::string db = Dir.File("site.udx");
    TTargetRecord record;
    record.Sha256 = Sha256Hex("site");
    ASSERT_TRUE(
        TDatabaseState(db, window->UserList().Encryption()).Update([&](TDatabaseStateData& d) {
            d.Targets["site"] = record;
        }));
    const auto stateFollows = [&] {
        const auto key = window->UserList().Encryption();
        EXPECT_EQ(IsEncryptedDatabase(ReadWholeFile(TDatabaseState::PathFor(db))), key != nullptr);
        EXPECT_EQ(TDatabaseState(db, key).Load().Targets["site"], record);
    };
    auto trigger = [&](const char* action) {
        auto* item = window->findChild<QAction*>(QString::fromLatin1(action));
        ASSERT_NE(item, nullptr);
        ASSERT_TRUE(item->isEnabled()) << action;
        item->trigger();
    };
    // A new master password: the current one first (a wrong one is asked again), then the new.
    Answers = {{false, "wrong", ""}, {false, "master", ""}, {false, "Second-Master-7", ""}};
    trigger("miChangeMasterPassword");
    EXPECT_TRUE(Answers.empty());
    EXPECT_TRUE(window->Project.Modified());
    window->miSaveClick();
    EXPECT_TRUE(FileEncrypted());
    stateFollows();
    {
        TUserList check;
        check.SetCredentialSource([](bool) {
            return TMasterCredentials{TSecret(std::string_view("Second-Master-7")), std::string()};
        });
        check.LoadFromFile(Dir.File("site.udx"));
        EXPECT_EQ(check.Count(), 2);
    }
    // Removing it asks for the password; the next save writes the plain database.
    Answers = {{false, "Second-Master-7", ""}};
    trigger("miRemoveEncryption");
    EXPECT_TRUE(Caption(*window).endsWith(KLock)) << "the file is still encrypted";
    window->miSaveClick();
    EXPECT_FALSE(FileEncrypted());
    EXPECT_FALSE(Caption(*window).endsWith(KLock));
    stateFollows();
    EXPECT_NE(ReadWholeFile(Dir.File("site.udx")).find("Alice-Secret"), std::string::npos);
    // A key file the program rewrites (here the database itself) is refused; nothing changes.
    Answers = {{false, "Third-Master-8", db}};
    trigger("miEncryptDatabase");
    ASSERT_FALSE(Dialogs.Boxes.empty());
    EXPECT_TRUE(Dialogs.Boxes.back().Text.contains(QStringLiteral("is a file this program writes")))
        << Str(Dialogs.Boxes.back().Text);
    EXPECT_FALSE(Caption(*window).endsWith(KLock));
    // And encrypting it again, now with a key file.
    WriteWholeFile(Dir.File("site.key"), "key file bytes");
    Answers = {{false, "Third-Master-8", Dir.File("site.key")}};
    trigger("miEncryptDatabase");
    EXPECT_FALSE(Caption(*window).endsWith(KLock)) << "not before the file is encrypted";
    EXPECT_FALSE(window->findChild<QAction*>(QStringLiteral("miEncryptDatabase"))->isEnabled());
    window->miSaveClick();
    EXPECT_TRUE(Caption(*window).endsWith(KLock));
    const std::string bytes = ReadWholeFile(Dir.File("site.udx"));
    EXPECT_TRUE(IsEncryptedDatabase(bytes));
    EXPECT_TRUE(NeedsKeyFile(bytes));
    stateFollows();
    EXPECT_EQ(bytes.find("Alice-Secret"), std::string::npos);
    EXPECT_EQ(bytes.find("alice"), std::string::npos);
}

TEST_F(EncryptedWindowTest, TheNewPasswordMustBeTypedTheSameTwice) {
    TfrmNewMasterPassword dialog(QStringLiteral("Encrypt Database"));
    auto* first = dialog.findChild<QLineEdit*>(QStringLiteral("edtNewPassword"));
    auto* again = dialog.findChild<QLineEdit*>(QStringLiteral("edtRepeatPassword"));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("btnOK"));
    auto* mismatch = dialog.findChild<QLabel*>(QStringLiteral("lblMismatch"));
    auto* strength = dialog.findChild<QLabel*>(QStringLiteral("lblStrength"));
    struct TCase {
        std::string First, Again;
        bool Ok, Mismatch;
    } cases[] = {
        {"", "", false, false},
        {"abc", "", false, false},
        {"abc", "abd", false, true},
        {"abc", "abc", true, false},
    };
    for (const TCase& c : cases) {
        first->setText(Q(c.First));
        again->setText(Q(c.Again));
        EXPECT_EQ(ok->isEnabled(), c.Ok) << c.First << "/" << c.Again;
        EXPECT_EQ(!mismatch->isHidden(), c.Mismatch) << c.First << "/" << c.Again;
    }
    // The strength is the password box's own estimate, as the user dialog shows it.
    first->setText(QStringLiteral("correct horse battery staple"));
    EXPECT_FALSE(strength->text().isEmpty());
    first->setText(QStringLiteral("aaaa"));
    EXPECT_NE(strength->text(), QString());
    const QString weak = strength->text();
    first->setText(QStringLiteral("Tq8#vLw2!zRp4@kN"));
    EXPECT_NE(strength->text(), weak);
    // What leaves the dialog is the bytes typed, and the boxes are emptied.
    again->setText(first->text());
    const TMasterCredentials taken = dialog.TakeCredentials();
    EXPECT_EQ(taken.Password.View(), "Tq8#vLw2!zRp4@kN");
    EXPECT_TRUE(first->text().isEmpty());
    EXPECT_TRUE(again->text().isEmpty());
}

// After the idle time the list is hidden and the users are gone from memory, an unsaved change
// included; a wrong master password leaves it locked, the right one brings back what was open.
TEST_F(EncryptedWindowTest, IdleTimeLocksUntilTheMasterPasswordIsGiven) {
    const struct {
        const char* Name;
        bool Change;
    } cases[] = {{"saved", false}, {"with an unsaved change", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        auto window = NewWindow();
        Answers = {{false, "master", ""}};
        Open(*window, Db);
        ASSERT_EQ(window->UserList().Count(), 2);
        if (c.Change)
            window->RunUsersChange(
                TfrmMain::TChangeScope::AnyUser,
                [&] { window->UserList().Users(1).FullName = "Bob Changed"; },
                [](const TUsersDelta&) { return QStringLiteral("change"); });
        ASSERT_EQ(window->Project.Modified(), c.Change);
        // One minute of idle time, through the Options dialog (a minute made short).
        window->IdleMinuteMs = 40;
        const auto answerMaster = Dialogs.OnDialog;
        Dialogs.OnDialog = [](QDialog& dialog) {
            auto* options = qobject_cast<TfrmOptions*>(&dialog);
            EXPECT_NE(options, nullptr);
            if (options == nullptr) return int(QDialog::Rejected);
            options->SetIdleLockMinutes(1);
            return int(QDialog::Accepted);
        };
        window->findChild<QAction*>(QStringLiteral("miOptions"))->trigger();
        Dialogs.OnDialog = answerMaster;

        ASSERT_TRUE(QTest::qWaitFor([&] { return window->Locked(); }, 5000));
        auto* list = window->findChild<QTreeView*>(QStringLiteral("lvwUsers"));
        auto* panel = window->findChild<QWidget*>(QStringLiteral("pnlLocked"));
        EXPECT_TRUE(list->isHidden());
        EXPECT_FALSE(panel->isHidden());
        EXPECT_EQ(window->UserList().Count(), 0);
        EXPECT_EQ(window->Model()->rowCount(), 0);
        EXPECT_FALSE(window->findChild<QAction*>(QStringLiteral("miSave"))->isEnabled());
        EXPECT_TRUE(Caption(*window).endsWith(KLock));
        for (const char* open : {"miExit", "miHelpTopics", "miAbout"}) // never locked in
            EXPECT_TRUE(window->findChild<QAction*>(QString::fromLatin1(open))->isEnabled())
                << open;

        auto* unlock = window->findChild<QPushButton*>(QStringLiteral("btnUnlock"));
        Answers = {{false, "wrong", ""}, {true, "", ""}};
        unlock->click();
        EXPECT_TRUE(window->Locked());
        Answers = {{false, "master", ""}};
        unlock->click();
        EXPECT_TRUE(Answers.empty());
        ASSERT_FALSE(window->Locked());
        EXPECT_FALSE(list->isHidden());
        EXPECT_TRUE(panel->isHidden());
        ASSERT_EQ(window->UserList().Count(), 2);
        EXPECT_EQ(window->Model()->rowCount(), 2);
        EXPECT_EQ(window->UserList().Users(1).FullName, c.Change ? "Bob Changed" : "");
        EXPECT_EQ(window->UserList().Users(0).Password, "Alice-Secret");
        EXPECT_EQ(window->Project.Modified(), c.Change);
        EXPECT_TRUE(window->findChild<QAction*>(QStringLiteral("miSave"))->isEnabled());
        // The kept change is saved like any other.
        window->miSaveClick();
        EXPECT_FALSE(window->Project.Modified());
        EXPECT_TRUE(FileEncrypted());
        StoreIdleLockMinutes(0);
    }
}

} // namespace
