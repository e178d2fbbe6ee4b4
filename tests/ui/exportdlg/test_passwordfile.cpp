// The main window's Import Password File and Check Password commands, and how users known only
// by a stored hash show in the list and the user dialog.

#include "MainWindowFixture.h"
#include "Support.h"

#include "export/CryptSchemes.h"
#include "ui/MainForm.h"
#include "ui/UserDlg.h"
#include "ui/UsersModel.h"
#include "userdb/UserList.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTreeView>

#include <gtest/gtest.h>

#include <map>

using namespace quorvane;
using namespace testsupport;

namespace {

// A main window answering every modal dialog: file dialogs with File, the conflict question
// with the next scripted answer, the password prompt with Typed; message boxes are recorded.
struct TWindow : TMainWindowFixture {
    QString File;
    struct TAnswer {
        QMessageBox::StandardButton Button;
        bool ForAll;
    };
    std::vector<TAnswer> Conflicts;
    std::vector<QString> Asked; // the conflict questions, in order
    QString Typed;
    std::vector<TSeenBox> Boxes;
    TModalHandlerScope Scope{[this](QDialog& dialog) { return Answer(dialog); }};

    int Answer(QDialog& dialog) {
        if (auto* files = qobject_cast<QFileDialog*>(&dialog)) {
            files->selectFile(File);
            return QDialog::Accepted;
        }
        if (auto* input = qobject_cast<QInputDialog*>(&dialog)) {
            EXPECT_EQ(input->textEchoMode(), QLineEdit::Password);
            input->setTextValue(Typed);
            return QDialog::Accepted;
        }
        auto* box = qobject_cast<QMessageBox*>(&dialog);
        if (box != nullptr && box->objectName() == QStringLiteral("dlgImportConflict")) {
            Asked.push_back(box->text());
            if (Asked.size() > Conflicts.size()) return QMessageBox::Cancel;
            box->checkBox()->setChecked(Conflicts[Asked.size() - 1].ForAll);
            return Conflicts[Asked.size() - 1].Button;
        }
        if (box != nullptr) Boxes.push_back({box->windowTitle(), box->text(), box->icon()});
        return QMessageBox::Ok;
    }

    void Import(const std::string& content) {
        const fs::path path = Dir.Path() / ".htpasswd";
        WriteWholeFile(path, content);
        File = QString::fromStdString(path.string());
        Trigger("miImportHtpasswd");
    }
    TUserProp* User(const std::string& login) {
        for (int i = 0; i < Window.UserList().Count(); ++i)
            if (Window.UserList().Users(i).Login == login) return &Window.UserList().Users(i);
        return nullptr;
    }
};

const std::string KBcryptPw =
    CryptHash("pw", CryptSettingWithSalt(TCryptKind::Bcrypt, 4, "abcdefghijklmnopqrstuu"));

} // namespace

TEST(ImportPasswordFile, ConflictsAreAskedWithApplyToAllAndTheResultIsCounted) {
    struct TCase {
        const char* Name;
        std::vector<TWindow::TAnswer> Answers;
        size_t Questions; // asked
        bool Imported;    // false: cancelled, nothing changed
        const char* BobHash;
        const char* Report;
    };
    const TCase cases[] = {
        {"skip each",
         {{QMessageBox::No, false}, {QMessageBox::No, false}},
         2,
         true,
         "",
         "1 user added, 0 replaced, 2 skipped."},
        {"replace all at the first question",
         {{QMessageBox::Yes, true}},
         1,
         true,
         "{SHA}x",
         "1 user added, 2 replaced, 0 skipped."},
        {"skip the first, replace the second",
         {{QMessageBox::No, false}, {QMessageBox::Yes, false}},
         2,
         true,
         "",
         "1 user added, 1 replaced, 1 skipped."},
        {"cancel", {}, 1, false, "", ""},
    };
    for (const TCase& c : cases) {
        TWindow w;
        w.Window.UserList().Add("bob", "old");
        w.Window.UserList().Add("Carl", "old");
        w.Window.FillList();
        w.Conflicts = c.Answers;
        w.Import("# taken over\nBOB:{SHA}x\n\nann:" + KBcryptPw + "\ncarl:" + KBcryptPw + "\n");
        EXPECT_EQ(w.Asked.size(), c.Questions) << c.Name;
        if (!w.Asked.empty()) {
            EXPECT_EQ(Str(w.Asked[0]), "Line 2 of the file has the login \"BOB\", and the "
                                       "database has \"bob\". Web servers tell logins apart by "
                                       "case, this database does not. Replace the user with the "
                                       "line from the file?")
                << c.Name;
        }
        EXPECT_EQ(w.Window.Project.Modified(), c.Imported) << c.Name;
        EXPECT_EQ(w.Window.UserList().Count(), c.Imported ? 3 : 2) << c.Name;
        EXPECT_EQ(w.User("bob")->PasswordHash(), c.BobHash) << c.Name;
        EXPECT_TRUE(Str(w.Window.ResultText()).starts_with(c.Report)) << c.Name;
        if (c.Imported) {
            EXPECT_EQ(w.User("ann")->PasswordHash(), KBcryptPw) << c.Name;
            EXPECT_EQ(w.Window.Model()->rowCount(), 3) << c.Name << ": the rows are rebuilt";
            // The import is one step: Undo takes all of it back.
            w.Window.findChild<QAction*>(QStringLiteral("miUndo"))->trigger();
            EXPECT_EQ(w.Window.UserList().Count(), 2) << c.Name;
            EXPECT_FALSE(w.User("bob")->HashOnly()) << c.Name;
            EXPECT_FALSE(w.User("Carl")->HashOnly()) << c.Name;
        }
        // What became of the lines that met a login already there is told in a box, with the
        // weak schemes among the imported users.
        ASSERT_EQ(w.Boxes.size(), c.Imported ? 1u : 0u) << c.Name;
        if (c.Imported) {
            const std::string told = Str(w.Boxes[0].Text);
            EXPECT_NE(told.find("line 5 \"carl\" (like \"Carl\" in the database)"),
                      std::string::npos)
                << told;
            EXPECT_EQ(told.find("weak scheme") != std::string::npos,
                      !std::string(c.BobHash).empty())
                << told;
        }
    }
}

TEST(ImportPasswordFile, BadLineRefusesTheWholeFileBeforeAnyQuestion) {
    TWindow w;
    w.Window.UserList().Add("bob", "old");
    const uint32_t before = w.Window.UserList().Fingerprint();
    w.Import("bob:" + KBcryptPw + "\nann:x\nno colon here\n");
    EXPECT_TRUE(w.Asked.empty());
    ASSERT_EQ(w.Boxes.size(), 1u);
    EXPECT_TRUE(w.Boxes[0].Text.startsWith(QStringLiteral("Line 3 of the password file ")))
        << Str(w.Boxes[0].Text);
    EXPECT_EQ(w.Window.UserList().Fingerprint(), before);
    EXPECT_FALSE(w.Window.Project.Modified());
}

TEST(HashOnlyUsers, ListDialogAndCheckPassword) {
    TWindow w;
    w.Window.UserList().Add("clear", "secret");
    w.Window.FillList();
    EXPECT_TRUE(w.Window.List()->isColumnHidden(TUsersModel::Index(TUsersModel::TColumn::Password)))
        << "no password column while every user has a clear password";
    w.Import("hashed:" + KBcryptPw + "\nlk:*\n");
    ASSERT_NE(w.User("hashed"), nullptr);
    EXPECT_FALSE(
        w.Window.List()->isColumnHidden(TUsersModel::Index(TUsersModel::TColumn::Password)));
    std::map<std::string, int> rowOf;
    for (int row = 0; row < w.Window.Model()->rowCount(); ++row)
        rowOf[w.Window.ItemUser(row)->Login] = row;
    const auto cell = [&](const char* login) {
        return Str(w.Window.Model()->CellText(*w.User(login), TUsersModel::TColumn::Password));
    };
    EXPECT_EQ(cell("hashed"), "hash only (bcrypt)");
    EXPECT_EQ(cell("lk"), "locked");
    EXPECT_EQ(cell("clear"), "") << "the list never shows a clear password";

    // The popup offers Check Password only for the user known by the hash.
    auto* check = w.Window.findChild<QAction*>(QStringLiteral("miCheckPassword"));
    w.Window.SelectRow(rowOf["clear"]);
    EXPECT_FALSE(check->isVisible());
    w.Window.UnselectAll();
    w.Window.SelectRow(rowOf["hashed"]);
    ASSERT_TRUE(check->isVisible());
    struct TTry {
        const char* Typed;
        const char* Said;
    };
    for (const TTry& t : {TTry{"pw", "Password for user hashed correct."},
                          TTry{"pW", "Password verification failed."}}) {
        w.Boxes.clear();
        w.Typed = QString::fromLatin1(t.Typed);
        check->trigger();
        ASSERT_EQ(w.Boxes.size(), 1u) << t.Typed;
        EXPECT_EQ(Str(w.Boxes[0].Text), t.Said);
    }

    // The user dialog shows what the database has instead of a password; a typed one replaces
    // the hash, an untouched field keeps it.
    for (const char* typed : {"", "new"}) {
        TfrmUser dialog;
        dialog.FillFromUser(*w.User("hashed"));
        auto* password = dialog.findChild<QLineEdit*>(QStringLiteral("edtPassword"));
        EXPECT_EQ(Str(password->placeholderText()), "hash only (bcrypt)");
        password->setText(QString::fromLatin1(typed));
        TUserProp copy = *w.User("hashed");
        dialog.WriteToUser(copy);
        EXPECT_EQ(copy.HashOnly(), *typed == '\0') << typed;
        EXPECT_EQ(copy.Password, typed);
    }
}
