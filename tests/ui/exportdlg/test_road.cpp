// The whole road through the desktop program: add users, create a series, save, reopen, export
// to a loopback FTP server, and check the uploaded password file with Apache's htpasswd.

#include "ExportTestUtil.h"
#include "Support.h"
#include "ui/MainForm.h"
#include "ui/ModalRunner.h"

#include "persist/RegistryLib.h"
#include "ui/EditLib.h"
#include "ui/UsersModel.h"
#include "userdb/UserList.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace quorvane;

using namespace testsupport;

namespace {

void Click(QDialog& dialog, const char* name) {
    auto* button = dialog.findChild<QAbstractButton*>(QLatin1String(name));
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

void Type(QDialog& dialog, const char* name, const std::string& text) {
    auto* edit = dialog.findChild<QLineEdit*>(QLatin1String(name));
    ASSERT_NE(edit, nullptr) << name;
    edit->setText(QString::fromStdString(text));
}

struct TNewUser {
    std::string Login;
    std::string Password;
    bool Disabled;
};

} // namespace

TEST(RoadTest, AddSeriesSaveReopenExportAndCheckWithHtpasswd) {
    const std::string htpasswd = "/usr/bin/htpasswd";
    if (!fs::exists(htpasswd)) GTEST_SKIP() << "Apache's htpasswd is not installed";

    TThreadsSettle settle;
    TScopedTmpDir tmp;
    TFtpServer server;
    TTempDir dir;
    TScopedSettingsFile store{QString::fromStdString((dir.Path() / "settings.ini").string())};
    TfrmMain window;
    const auto trigger = [&](const char* name) {
        auto* action = window.findChild<QAction*>(QLatin1String(name));
        ASSERT_NE(action, nullptr) << name;
        ASSERT_TRUE(action->isEnabled()) << name;
        action->trigger();
    };

    const std::vector<TNewUser> added{
        {"alice", "wonder land", false}, {"Bob", "b0b", true}, {"carol", "c:a$r%o\"l", false}};
    std::size_t nextUser = 0;
    TScriptedModals modals;
    modals.OnDialog = [&](QDialog& dialog) -> int {
        const QString name = dialog.objectName();
        if (name == QStringLiteral("frmUser")) {
            const TNewUser& user = added.at(nextUser++);
            Type(dialog, "edtLogin", user.Login);
            Type(dialog, "edtPassword", user.Password);
            dialog.findChild<QCheckBox*>(QStringLiteral("cbxDisable"))->setChecked(user.Disabled);
            Click(dialog, "btnOK");
        } else if (name == QStringLiteral("frmUserSeries")) {
            dialog.findChild<TNaturalEdit*>(QStringLiteral("edtUserCount"))->SetValue(6);
            Click(dialog, "btnOK");
        } else if (name == QStringLiteral("frmSeriesResult")) {
            return QDialog::Accepted;
        } else if (name == QStringLiteral("frmExportUser")) {
            Type(dialog, "edtAddress", "ftp://" + server.Host() + "/site/.htpasswd");
            Type(dialog, "edtTargetLogin", ftptest::kUser);
            Type(dialog, "edtTargetPassword", ftptest::kPassword);
            dialog.show();
            Click(dialog, "btnExport");
            WaitUntil([&] { return !dialog.isVisible(); });
        } else {
            ADD_FAILURE() << "unexpected dialog " << Str(name);
        }
        return dialog.result();
    };

    for (std::size_t i = 0; i < added.size(); ++i)
        trigger("miAddUser");
    ASSERT_EQ(window.UserList().Count(), 3);
    trigger("miCreateUsersSeries");
    ASSERT_EQ(window.UserList().Count(), 9);
    EXPECT_TRUE(window.Project.Modified());

    const fs::path database = dir.Path() / "members.udx";
    modals.FileNames = {QString::fromStdString(database.string())};
    trigger("miSaveAs");
    ASSERT_TRUE(fs::exists(database));
    EXPECT_FALSE(window.Project.Modified());

    trigger("miNew");
    ASSERT_EQ(window.UserList().Count(), 0);
    modals.FileNames.push_back(QString::fromStdString(database.string()));
    trigger("miOpen");
    ASSERT_EQ(window.UserList().Count(), 9);
    EXPECT_EQ(window.Model()->rowCount(), 9);

    fs::create_directories(server.Root() / "site");
    trigger("miExport");
    const fs::path uploaded = server.Root() / "site" / ".htpasswd";
    ASSERT_TRUE(fs::exists(uploaded)) << "the password file arrived";
    EXPECT_EQ(TempFilesIn(tmp.Dir()), 0);
    // The upload ends with a word on where the file went, and nothing else.
    ASSERT_EQ(modals.Boxes.size(), 1u);
    EXPECT_EQ(modals.Boxes[0].Icon, QMessageBox::Information);
    EXPECT_EQ(Str(modals.Boxes[0].Text), "The password file site/.htpasswd is on the server " +
                                             First(window.UserList())->FtpHost + " now.");

    int enabled = 0;
    const TUserList& list = window.UserList();
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& user = list.Users(i);
        const int status = HtpasswdVerify(uploaded.string(), user.Login, user.Password);
        if (user.Disable) {
            EXPECT_NE(status, 0) << user.Login << " is disabled and must not be in the file";
        } else {
            ++enabled;
            EXPECT_EQ(status, 0) << user.Login << " / " << user.Password;
            EXPECT_NE(HtpasswdVerify(uploaded.string(), user.Login, user.Password + "x"), 0)
                << "a wrong password is refused for " << user.Login;
        }
    }
    EXPECT_EQ(enabled, 8);
    const std::string text = ReadWholeFile(uploaded);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8);

    // A user added there by hand is merged in, and the database is saved before the word that
    // the file is on the server: by then the file on disk has the user.
    WriteWholeFile(uploaded, text + "handmade:hm\n");
    bool asked = false, savedFirst = false;
    const TModalHandlerScope merge([&](QDialog& dialog) -> int {
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            if (box->text().contains(QStringLiteral("is on the server"))) {
                savedFirst = ReadWholeFile(database).find("handmade") != std::string::npos;
                return QMessageBox::Ok;
            }
            asked = box->text().contains(QStringLiteral("handmade"));
            return QMessageBox::Apply; // Merge
        }
        if (dialog.objectName() != QStringLiteral("frmExportUser")) return QDialog::Rejected;
        Type(dialog, "edtTargetPassword", ftptest::kPassword); // not kept in the database
        dialog.show();
        Click(dialog, "btnExport");
        WaitUntil([&] { return !dialog.isVisible(); });
        return dialog.result();
    });
    trigger("miExport");
    EXPECT_TRUE(asked);
    EXPECT_TRUE(savedFirst);
    EXPECT_FALSE(window.Project.Modified());
    EXPECT_NE(ReadWholeFile(uploaded).find("handmade:hm"), std::string::npos);
}
