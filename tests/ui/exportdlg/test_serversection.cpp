// The export dialog's rows for a server: the address, key file and host keys it keeps in the
// database, the clear-text hint, and the first-connection questions (an unknown SSH host key,
// a certificate no authority vouches for), answered through the scripted prompts.

#include "ScriptedPrompts.h"
#include "Support.h"
#include "ftp/ServerTarget.h"
#include "persist/RegistryLib.h"
#include "ui/ExportDlg.h"

#include "TransportServers.h"
#include "base/Random.h"
#include "userdb/DataLib.h"
#include "userdb/UserList.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>

using namespace quorvane;

using namespace testsupport;

namespace {

struct TServerDialog {
    explicit TServerDialog(TUserList& list) : dialog(list, {.Random = &random}) {}
    QLineEdit* Address() { return Find<QLineEdit>(dialog, "edtAddress"); }
    void Point(const char* address) { Address()->setText(QString::fromUtf8(address)); }
    QLineEdit* KeyFile() { return Find<QLineEdit>(dialog, "edtKeyFile"); }
    QLabel* Hint() { return Find<QLabel>(dialog, "lblAddressHint"); }
    QCheckBox* Passive() { return Find<QCheckBox>(dialog, "cbxPassiveMode"); }
    QPushButton* Export() { return Find<QPushButton>(dialog, "btnExport"); }

    TLcgRandom random{42};
    TfrmExportUser dialog;
};

} // namespace

TEST(ExportDialogServer, AddressKeyFileAndHostKeysRoundTrip) {
    TUserList list;
    list.Add("carl", "c");
    FillServer(list, "sftp", "example.org:2222", "web", "", "site/.htpasswd");
    First(list)->FtpKeyFile = "/home/web/.ssh/id_ed25519";
    const std::string oldKey = "SHA256:" + std::string(43, 'k');
    const std::string newKey = "SHA256:" + std::string(43, 'n');
    First(list)->FtpHostKeys = oldKey + " " + newKey;
    TServerDialog t(list);
    t.dialog.show();
    EXPECT_EQ(Str(t.Address()->text()), "sftp://example.org:2222/~/site/.htpasswd");
    EXPECT_TRUE(t.KeyFile()->isVisible());
    EXPECT_FALSE(t.Passive()->isEnabled()) << "SSH has no data connections";
    EXPECT_FALSE(t.Hint()->isVisible());
    t.dialog.SaveSettings();
    EXPECT_EQ(First(list)->FtpHost, "example.org:2222");
    EXPECT_EQ(First(list)->FtpProtocol, "sftp");
    EXPECT_EQ(First(list)->FtpKeyFile, "/home/web/.ssh/id_ed25519");
    EXPECT_EQ(First(list)->FtpHostKeys, oldKey + " " + newKey) << "the same server keeps its keys";
    // The trusted keys are listed; one taken away is no longer trusted.
    auto* keys = Find<QListWidget>(t.dialog, "lstHostKeys");
    auto* remove = Find<QPushButton>(t.dialog, "btnRemoveHostKey");
    ASSERT_EQ(keys->count(), 2);
    EXPECT_TRUE(keys->isVisible());
    EXPECT_FALSE(remove->isEnabled()) << "nothing chosen yet";
    keys->setCurrentRow(0);
    ASSERT_TRUE(remove->isEnabled());
    QTest::mouseClick(remove, Qt::LeftButton);
    ASSERT_EQ(keys->count(), 1);
    EXPECT_EQ(Str(keys->item(0)->text()), newKey);
    t.dialog.SaveSettings();
    EXPECT_EQ(First(list)->FtpHostKeys, newKey);

    // Plain FTP: the hint says the password travels in clear; no key file.
    t.Point("ftp://example.org/site/.htpasswd");
    EXPECT_TRUE(t.Hint()->isVisible());
    EXPECT_FALSE(t.KeyFile()->isVisible());
    t.dialog.SaveSettings();
    EXPECT_EQ(First(list)->FtpProtocol, "");
    EXPECT_EQ(First(list)->FtpHost, "example.org");
    EXPECT_EQ(First(list)->FtpPasswdFile, "site/.htpasswd");
    EXPECT_EQ(First(list)->FtpKeyFile, "");
    EXPECT_EQ(First(list)->FtpHostKeys, "") << "another kind of server: its identity starts anew";

    // FTP over TLS: a CA file (as the command line's --ca-file) vouches for the server.
    auto* caFile = Find<QLineEdit>(t.dialog, "edtCaFile");
    EXPECT_FALSE(caFile->isVisible());
    t.Point("ftpes://example.org/site/.htpasswd");
    EXPECT_TRUE(caFile->isVisible());
    EXPECT_FALSE(t.KeyFile()->isVisible());
    caFile->setText(QStringLiteral("/etc/ssl/site-ca.pem"));
    t.dialog.SaveSettings();
    EXPECT_EQ(First(list)->FtpProtocol, "ftpes");
    EXPECT_EQ(First(list)->FtpCaFile, "/etc/ssl/site-ca.pem");
    t.Point("sftp://example.org/site/.htpasswd");
    EXPECT_FALSE(caFile->isVisible());
    t.dialog.SaveSettings();
    EXPECT_EQ(First(list)->FtpCaFile, "") << "no CA file for another kind of server";
}

// A file's mode, its group and a command after the export are offered where the target's kind
// takes them (the mode and the command over SFTP, none over FTP); one held where it is not taken
// stays open for the user to take away.
TEST(ExportDialogServer, ModeAndGroupWhereTheKindTakesThem) {
    TUserList list;
    FillServer(list, "sftp", "example.org", "web", "", "www/.htpasswd");
    TServerDialog t(list);
    auto* mode = Find<QLineEdit>(t.dialog, "edtMode");
    auto* group = Find<QLineEdit>(t.dialog, "edtGroup");
    auto* after = Find<QLineEdit>(t.dialog, "edtAfter");
    const struct {
        const char* Address;
        const char* Mode;
        bool ModeOpen, GroupOpen, AfterOpen;
    } cases[] = {
        {"sftp://example.org/www/.htpasswd", "", true, false, true},
        {"ftp://example.org/www/.htpasswd", "", false, false, false},
        {"ftpes://example.org/www/.htpasswd", "0640", true, false, false},
        {"/srv/www/.htpasswd", "", true, true, true},
    };
    for (const auto& c : cases) {
        t.Point(c.Address);
        mode->setText(QString::fromLatin1(c.Mode));
        EXPECT_EQ(mode->isEnabled(), c.ModeOpen) << c.Address;
        EXPECT_EQ(group->isEnabled(), c.GroupOpen) << c.Address;
        EXPECT_EQ(after->isEnabled(), c.AfterOpen) << c.Address;
    }
}

// Browse beside the key file starts in ~/.ssh and puts the chosen key in the field; over FTP with
// TLS the same button chooses the CA file; plain FTP has neither.
TEST(ExportDialogServer, BrowseChoosesTheKeyFileInSshOrTheCaFile) {
    TTempDir home;
    fs::create_directories(home.Path() / ".ssh");
    const std::string key = (home.Path() / ".ssh" / "id_site").string();
    const std::string ca = (home.Path() / "ca.pem").string();
    WriteWholeFile(key, "key");
    WriteWholeFile(ca, "ca");
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome != nullptr ? oldHome : "";
    ::setenv("HOME", home.Path().c_str(), 1);
    TUserList list;
    FillServer(list, "sftp", "example.org", "web", "", "htpasswd");
    TServerDialog t(list);
    t.dialog.show();
    auto* browse = Find<QToolButton>(t.dialog, "btnBrowseKeyFile");
    TScriptedModals modals;
    modals.FileNames = {QString::fromStdString(key)};
    QTest::mouseClick(browse, Qt::LeftButton);
    ::setenv("HOME", savedHome.c_str(), 1);
    ASSERT_EQ(modals.FileDialogDirectories.size(), 1U);
    EXPECT_EQ(Str(modals.FileDialogDirectories[0]), (home.Path() / ".ssh").string());
    EXPECT_EQ(Str(t.KeyFile()->text()), key);
    t.Point("ftpes://example.org/htpasswd");
    modals.FileNames = {QString::fromStdString(ca)};
    QTest::mouseClick(browse, Qt::LeftButton);
    EXPECT_EQ(Str(Find<QLineEdit>(t.dialog, "edtCaFile")->text()), ca);
    EXPECT_EQ(Str(t.KeyFile()->text()), key) << "the key file stays as it was";
    t.Point("ftp://example.org/htpasswd");
    EXPECT_FALSE(browse->isVisible());
}

// The server's password is hidden until asked for, and a new server's password is not saved in
// the database unless the user ticks "Save?"; a database without a server stays as it was.
TEST(ExportDialogServer, TheServerPasswordIsHiddenAndSavedOnlyWhenAsked) {
    const struct {
        const char* Case;
        std::function<void(TUserList&)> Before;
        std::function<void(TServerDialog&)> Edit;
        bool OpensTicked;   // "Save?" as the dialog opens
        bool StorePass;     // what the database says afterwards
        std::string Stored; // the password the database holds afterwards
    } cases[] = {
        {"no server, a file export", [](TUserList&) {}, [](TServerDialog&) {}, false, true, ""},
        {"a new server", [](TUserList&) {},
         [](TServerDialog& t) {
             t.Point("ftp://ftp.site.test/htpasswd");
             Find<QLineEdit>(t.dialog, "edtTargetLogin")->setText(QStringLiteral("web"));
             Find<QLineEdit>(t.dialog, "edtTargetPassword")->setText(QStringLiteral("s3cret"));
         },
         false, false, ""},
        {"a new server, saved on request", [](TUserList&) {},
         [](TServerDialog& t) {
             t.Point("ftp://ftp.site.test/htpasswd");
             Find<QLineEdit>(t.dialog, "edtTargetPassword")->setText(QStringLiteral("s3cret"));
             Find<QCheckBox>(t.dialog, "cbxSavePassword")->setChecked(true);
         },
         false, true, "s3cret"},
        {"a server whose password was saved",
         [](TUserList& l) { FillServer(l, "", "ftp.site.test", "web", "old", "htpasswd"); },
         [](TServerDialog&) {}, true, true, "old"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        TUserList list;
        c.Before(list);
        const std::string before = WriteObjectStream(list);
        TServerDialog t(list);
        EXPECT_EQ(Find<QLineEdit>(t.dialog, "edtTargetPassword")->echoMode(), QLineEdit::Password);
        EXPECT_EQ(Find<QCheckBox>(t.dialog, "cbxSavePassword")->isChecked(), c.OpensTicked);
        c.Edit(t);
        t.dialog.SaveSettings();
        EXPECT_EQ(First(list)->FtpStorePass, c.StorePass);
        EXPECT_EQ(First(list)->FtpPass, c.Stored);
        if (!First(list)->FtpHost.empty()) continue;
        EXPECT_EQ(WriteObjectStream(list), before) << "a database without a server stays the same";
    }
    // The toggle shows the password in clear, and hides it again.
    TUserList list;
    TServerDialog t(list);
    auto* password = Find<QLineEdit>(t.dialog, "edtTargetPassword");
    auto* toggle = password->findChild<QAction*>(QStringLiteral("actShowPassword"));
    ASSERT_NE(toggle, nullptr);
    toggle->trigger();
    EXPECT_EQ(password->echoMode(), QLineEdit::Normal);
    toggle->trigger();
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
}

// A plain FTP database goes through the dialog unchanged, byte for byte.
TEST(ExportDialogServer, PlainFtpDatabaseStaysTheSame) {
    TUserList list;
    list.Add("carl", "c");
    FillServer(list, "", "127.0.0.1:2121", "web", "pw", "htpasswd");
    const std::uint32_t before = list.Fingerprint();
    TServerDialog t(list);
    t.dialog.SaveSettings();
    EXPECT_EQ(First(list)->FtpHost, "127.0.0.1:2121");
    EXPECT_EQ(list.Fingerprint(), before);
}

// A server password that is not saved is asked for once while the program runs, naming the
// login and the server, and kept in memory only: the next export (another dialog) asks nothing,
// and neither the database nor the settings hold it. One the server refuses is forgotten, so
// the export after that asks again.
TEST(ExportDialogServer, TheServerPasswordIsAskedOnceASessionAndKeptInMemoryOnly) {
    TThreadsSettle settle;
    TScopedTmpDir tmp;
    TTempDir dir;
    const QString settingsFile = QString::fromStdString(dir.File("settings.ini"));
    TScopedSettingsFile store(settingsFile);
    ftptest::TFtpServer server;
    TUserList list;
    list.Add("carl", "c");
    FillServer(list, "", server.Host(), ftptest::kUser, "", "htpasswd");
    First(list)->FtpStorePass = false; // "Save?" not ticked
    TSessionSecrets secrets;
    TScriptedSecretPrompt prompt;
    TScriptedModals modals; // the warning of a refused login
    TLcgRandom random{7};
    // True when the dialog closed after its export.
    const auto exportOnce = [&] {
        TfrmExportUser dialog(list,
                              {.Random = &random, .Secrets = &secrets, .SecretPrompt = &prompt});
        dialog.show();
        QTest::mouseClick(Find<QPushButton>(dialog, "btnExport"), Qt::LeftButton);
        EXPECT_TRUE(WaitUntil([&] { return !dialog.IsBusy(); }));
        const bool closed = !dialog.isVisible();
        dialog.SaveSettings();
        return closed;
    };
    const QString question =
        QStringLiteral("Password for %1 on 127.0.0.1").arg(QString::fromStdString(ftptest::kUser));

    prompt.Answers = {QString::fromStdString(ftptest::kPassword)};
    ASSERT_TRUE(exportOnce());
    EXPECT_EQ(prompt.Questions, std::vector<QString>{question});
    list.Add("dora", "d");
    ASSERT_TRUE(exportOnce()) << "the password of the session";
    EXPECT_EQ(prompt.Questions.size(), 1U) << "one question for two exports";
    EXPECT_NE(ReadWholeFile(server.Root() / "htpasswd").find("dora:"), std::string::npos);
    EXPECT_EQ(First(list)->FtpPass, "");
    EXPECT_EQ(WriteObjectStream(list).find(ftptest::kPassword), std::string::npos);
    if (fs::exists(settingsFile.toStdString())) {
        EXPECT_EQ(ReadWholeFile(settingsFile.toStdString()).find(ftptest::kPassword),
                  std::string::npos);
    }

    // A wrong password kept for the session: refused, forgotten, asked for at the next export.
    secrets.Forget(FirstTarget(list));
    secrets.Keep(FirstTarget(list), "not it");
    EXPECT_FALSE(exportOnce());
    EXPECT_EQ(prompt.Questions.size(), 1U);
    EXPECT_EQ(secrets.Find(FirstTarget(list)), nullptr);
    ASSERT_FALSE(modals.Boxes.empty());
    EXPECT_TRUE(modals.Boxes.back().Text.contains(QStringLiteral("Login to")));
    prompt.Answers = {QString::fromStdString(ftptest::kPassword)};
    EXPECT_TRUE(exportOnce());
    EXPECT_EQ(prompt.Questions.size(), 2U);
}

TEST(ExportDialogServer, UnknownHostKeyIsAskedAndRememberedWhenTrusted) {
    TThreadsSettle settle;
    TScopedTmpDir tmp;
    TTempDir home;
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    ::setenv("HOME", home.Path().c_str(), 1); // no known_hosts
    transporttest::TAsyncSftp server;
    TUserList list;
    list.Add("carl", "c");
    FillServer(list, "sftp", server.Host(), transporttest::TAsyncSftp::kUser,
               transporttest::TAsyncSftp::kPassword, "htpasswd");
    {
        TServerDialog t(list);
        t.dialog.show();
        TScriptedModals modals;
        modals.Buttons = {QMessageBox::No, QMessageBox::Ok};
        QTest::mouseClick(t.Export(), Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return !t.dialog.IsBusy(); }));
        ASSERT_EQ(modals.Boxes.size(), 2u);
        EXPECT_TRUE(modals.Boxes[0].Text.contains(QStringLiteral("SHA256:")));
        EXPECT_TRUE(modals.Boxes[1].Text.contains(QStringLiteral("is not known")));
        EXPECT_FALSE(fs::exists(server.Root() / "htpasswd"));
        EXPECT_EQ(First(list)->FtpHostKeys, "");
    }
    TServerDialog t(list);
    t.dialog.show();
    TScriptedModals modals;
    modals.Buttons = {QMessageBox::Yes};
    QTest::mouseClick(t.Export(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !t.dialog.isVisible(); }));
    ::setenv("HOME", savedHome.c_str(), 1);
    ASSERT_EQ(modals.Boxes.size(), 1u);
    EXPECT_EQ(ReadWholeFile(server.Root() / "htpasswd").substr(0, 6), "carl:$");
    EXPECT_EQ(First(list)->FtpHostKeys.rfind("SHA256:", 0), 0u) << First(list)->FtpHostKeys;
    EXPECT_TRUE(modals.Boxes[0].Text.contains(QString::fromStdString(First(list)->FtpHostKeys)));
}

TEST(ExportDialogServer, SelfSignedCertificateIsPinnedWhenTheUserTrustsIt) {
    if (!transporttest::Executable(transporttest::TVsftpd::kBinary)) {
        GTEST_SKIP() << "vsftpd is not installed (scripts/deps.sh installs it)";
    }
    TThreadsSettle settle;
    TScopedTmpDir tmp;
    transporttest::TVsftpd server(false);
    TUserList list;
    list.Add("carl", "c");
    FillServer(list, "ftpes", server.Host(), "anonymous", "web@example.org", "pub/htpasswd");
    TServerDialog t(list);
    t.dialog.show();
    TScriptedModals modals;
    modals.Buttons = {QMessageBox::Yes}; // "Trust"
    QTest::mouseClick(t.Export(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !t.dialog.isVisible(); }, 40000));
    // One question, with the reason and the key; no warning before it.
    ASSERT_EQ(modals.Boxes.size(), 1u);
    EXPECT_EQ(modals.Boxes[0].Icon, QMessageBox::Question);
    EXPECT_TRUE(modals.Boxes[0].Text.contains(QStringLiteral("could not be verified")));
    EXPECT_TRUE(modals.Boxes[0].Text.contains(QString::fromStdString(server.Pin())));
    EXPECT_EQ(First(list)->FtpTlsPin, server.Pin());
    EXPECT_EQ(ReadWholeFile(server.Root() / "htpasswd").substr(0, 6), "carl:$");
    EXPECT_TRUE(t.dialog.Outcome().Confirmation.contains(QString::fromStdString(server.Host())))
        << Str(t.dialog.Outcome().Confirmation);
}
