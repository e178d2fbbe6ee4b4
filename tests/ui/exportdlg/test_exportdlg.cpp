// The export dialog: its enabling and focus rules, the settings it keeps in the database, and
// exports to a local file and to a loopback FTP server, with failures and aborts.

#include "Support.h"
#include "persist/PrjLib.h"
#include "ui/ExportDlg.h"
#include "ui/ExportProgress.h"
#include "ui/RestoreDlg.h"

#include "base/Random.h"
#include "persist/ShellLib.h"
#include "userdb/UserList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace quorvane;

using namespace testsupport;

namespace {

// The dialog's controls by name.
struct TControls {
    explicit TControls(TfrmExportUser& d)
        : cbxFormat(Find<QComboBox>(d, "cbxFormat")), edtAddress(Find<QLineEdit>(d, "edtAddress")),
          btnBrowse(Find<QToolButton>(d, "btnBrowse")),
          cbxPassiveMode(Find<QCheckBox>(d, "cbxPassiveMode")),
          edtTargetLogin(Find<QLineEdit>(d, "edtTargetLogin")),
          edtTargetPassword(Find<QLineEdit>(d, "edtTargetPassword")),
          cbxSavePassword(Find<QCheckBox>(d, "cbxSavePassword")),
          lblProgress(Find<QLabel>(d, "lblProgress")),
          lblPlainTextNote(Find<QLabel>(d, "lblPlainTextNote")),
          pbrProgress(Find<QProgressBar>(d, "pbrProgress")),
          lblTransfer(Find<QLabel>(d, "lblTransfer")), btnExport(Find<QPushButton>(d, "btnExport")),
          btnCancel(Find<QPushButton>(d, "btnCancel")) {}
    QComboBox* cbxFormat;
    QLineEdit* edtAddress;
    QToolButton* btnBrowse;
    QCheckBox* cbxPassiveMode;
    QLineEdit* edtTargetLogin;
    QLineEdit* edtTargetPassword;
    QCheckBox* cbxSavePassword;
    QLabel* lblProgress;
    QLabel* lblPlainTextNote;
    QProgressBar* pbrProgress;
    QLabel* lblTransfer;
    QPushButton* btnExport;
    QPushButton* btnCancel;
};

// A dialog over a list, filled from its settings, salting from a fixed sequence.
struct TDialogOn {
    explicit TDialogOn(TUserList& list, TExportDialogOptions options = {})
        : dialog(list, Seeded(std::move(options), random)), c(dialog) {}
    static TExportDialogOptions Seeded(TExportDialogOptions options, IRandomSource& random) {
        options.Random = &random;
        return options;
    }
    TLcgRandom random{42};
    TfrmExportUser dialog;
    TControls c;
};

void AddUsers(TUserList& list, int count, const std::string& prefix = "user") {
    for (int i = 0; i < count; ++i)
        list.Add(prefix + std::to_string(i), "pw" + std::to_string(i));
}

} // namespace

// Export (and Preview) need an address some kind reads, with what that kind cannot do without;
// the rows the kind does not read are off.
TEST(ExportDialog, ExportIsEnabledOnlyWhenTheAddressWillDo) {
    struct TCase {
        const char *Address, *Login;
        bool Enabled, LogsIn;
        bool Said; // a line under the address says why it will not do, or what to mind
        const char* Why;
    };
    const TCase cases[] = {
        {"", "l", false, false, false, "a new database names no file"},
        {" ", "", true, false, false, "a text of blanks counts as not empty"},
        {"ftp://h/r", "l", true, true, true, "the password may be empty; it travels in clear"},
        {"ftp://h/r", "", false, true, true, "no login"},
        {"ftp://h/", "l", false, true, true, "no remote file"},
        {"sftp:///r", "l", false, true, true, "no host"},
        {"sqlite:/srv/auth.db", "", true, true, false, "a store that needs no login"},
        {"gopher://h/r", "l", false, false, true, "no kind reads the address"},
    };
    for (const TCase& c : cases) {
        TUserList list;
        TDialogOn t(list);
        EXPECT_FALSE(t.c.cbxSavePassword->isChecked()) << "a new server's password is not saved";
        t.c.edtAddress->setText(QString::fromUtf8(c.Address));
        t.c.edtTargetLogin->setText(QString::fromUtf8(c.Login));
        EXPECT_EQ(t.c.btnExport->isEnabled(), c.Enabled) << c.Why;
        EXPECT_EQ(t.c.btnExport->isDefault(), c.Enabled) << c.Why;
        EXPECT_EQ(t.dialog.findChild<QPushButton*>(QStringLiteral("btnPreview"))->isEnabled(),
                  c.Enabled)
            << c.Why;
        const bool local = UrlScheme(c.Address).empty();
        EXPECT_EQ(t.c.btnBrowse->isEnabled(), local) << c.Why;
        for (QWidget* w : std::initializer_list<QWidget*>{t.c.edtTargetLogin, t.c.edtTargetPassword,
                                                          t.c.cbxSavePassword})
            EXPECT_EQ(w->isEnabled(), c.LogsIn) << Str(w->objectName()) << ": " << c.Why;
        auto* hint = Find<QLabel>(t.dialog, "lblAddressHint");
        EXPECT_EQ(!hint->isHidden() && !hint->text().isEmpty(), c.Said) << c.Why;
    }
}

// The field of the chosen target has the focus when the dialog opens; a server's password
// box only when the password is not stored (it has to be typed).
TEST(ExportDialog, OpensWithTheFocusOnTheChosenTargetsField) {
    struct TCase {
        bool ToFile;
        bool PasswordStored;
        const char* Expected;
    };
    for (const TCase& c :
         {TCase{true, true, "edtAddress"}, TCase{true, false, "edtAddress"},
          TCase{false, true, "edtAddress"}, TCase{false, false, "edtTargetPassword"}}) {
        TUserList list;
        First(list)->ExportToFile = c.ToFile;
        First(list)->FtpHost = "ftp.example.org";
        First(list)->FtpStorePass = c.PasswordStored;
        TDialogOn t(list);
        t.dialog.show();
        QApplication::setActiveWindow(&t.dialog);
        ASSERT_TRUE(WaitUntil([&] { return t.dialog.isActiveWindow(); }, 5000));
        WaitUntil([] { return false; }, 50);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(Str(QApplication::focusWidget()->objectName()), c.Expected)
            << c.ToFile << c.PasswordStored;
    }
}

TEST(ExportDialog, SettingsLoadAndStoreEveryField) {
    TUserList list;
    list.PassType = TPasswordsType::ptPlainText;
    First(list)->PassFile = "/srv/www/.htpasswd";
    First(list)->ExportToFile = false;
    First(list)->FtpHost = "ftp.example.org";
    First(list)->FtpUser = "webmaster";
    First(list)->FtpPass = "secret";
    First(list)->FtpPasswdFile = "/www/.htpasswd";
    First(list)->FtpStorePass = true;
    First(list)->FtpPassiveMode = false;
    list.Add("carl", "x");
    const uint32_t before = list.Fingerprint();

    TDialogOn t(list);
    TControls& c = t.c;
    EXPECT_EQ(c.cbxFormat->currentIndex(), 1);
    EXPECT_EQ(Str(c.edtAddress->text()), "ftp://ftp.example.org//www/.htpasswd");
    EXPECT_EQ(Str(c.edtTargetLogin->text()), "webmaster");
    EXPECT_EQ(Str(c.edtTargetPassword->text()), "secret");
    EXPECT_TRUE(c.cbxSavePassword->isChecked());
    EXPECT_FALSE(c.cbxPassiveMode->isChecked());
    EXPECT_TRUE(c.lblProgress->text().isEmpty());

    t.dialog.SaveSettings();
    EXPECT_EQ(list.Fingerprint(), before) << "storing unchanged controls changes nothing";

    c.cbxFormat->setCurrentIndex(0);
    // Back to the file the database kept beside the server, which stays as it was.
    c.edtAddress->setText(QStringLiteral("/srv/www/.htpasswd"));
    c.cbxSavePassword->setChecked(false);
    c.cbxPassiveMode->setChecked(true);
    t.dialog.SaveSettings();
    EXPECT_EQ(list.PassType, TPasswordsType::ptMD5);
    EXPECT_TRUE(First(list)->ExportToFile);
    EXPECT_EQ(First(list)->PassFile, "/srv/www/.htpasswd");
    EXPECT_EQ(First(list)->FtpHost, "ftp.example.org");
    EXPECT_EQ(First(list)->FtpPasswdFile, "/www/.htpasswd");
    EXPECT_FALSE(First(list)->FtpStorePass);
    EXPECT_EQ(First(list)->FtpPass, "") << "the password is stored only while Save? is ticked";
    EXPECT_TRUE(First(list)->FtpPassiveMode);

    // The next opening shows an empty password.
    TDialogOn again(list);
    EXPECT_TRUE(again.c.edtTargetPassword->text().isEmpty());
    EXPECT_FALSE(again.c.cbxSavePassword->isChecked());
}

TEST(ExportDialog, BytesThatAreNotUtf8SurviveAnUntouchedField) {
    TUserList list;
    First(list)->FtpUser = "M\xfcller"; // Latin-1 bytes
    First(list)->PassFile = "/tmp/\xe9t\xe9";
    TDialogOn t(list);
    t.dialog.SaveSettings();
    EXPECT_EQ(First(list)->FtpUser, "M\xfcller");
    EXPECT_EQ(First(list)->PassFile, "/tmp/\xe9t\xe9");
}

TEST(ExportDialog, ShowExportDialogStoresTheSettingsOnlyOnOk) {
    TUserList list;
    TScriptedModals modals;
    modals.OnDialog = [](QDialog& dialog) {
        dialog.findChild<QLineEdit*>(QStringLiteral("edtAddress"))->setText(QStringLiteral("/x"));
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnCancel")),
                          Qt::LeftButton);
        WaitUntil([&] { return !dialog.isVisible(); }, 100);
        return dialog.result();
    };
    ShowExportDialog(list, nullptr);
    EXPECT_TRUE(modals.Boxes.empty()) << "Cancel while idle asks nothing";
    EXPECT_EQ(First(list)->PassFile, "") << "Cancel before any export leaves the database alone";

    modals.OnDialog = [](QDialog& dialog) {
        dialog.findChild<QLineEdit*>(QStringLiteral("edtAddress"))->setText(QStringLiteral("/x"));
        return int(QDialog::Accepted);
    };
    ShowExportDialog(list, nullptr);
    EXPECT_EQ(First(list)->PassFile, "/x");
}

TEST(ExportDialog, BrowseProposesHtpasswdAndFillsTheChosenName) {
    TTempDir home;
    TUserList list;
    TDialogOn t(list);
    TScriptedModals modals;
    const std::string chosen = (home.Path() / "site.passwd").string();
    modals.FileNames = {QString::fromStdString(chosen)};
    t.c.edtAddress->setText(QStringLiteral("   "));
    LastFolder().clear(); // no file dialog used yet: the documents folder
    QTest::mouseClick(t.c.btnBrowse, Qt::LeftButton);
    ASSERT_EQ(modals.FileDialogSelections.size(), 1u);
    ASSERT_FALSE(modals.FileDialogSelections[0].isEmpty());
    EXPECT_TRUE(modals.FileDialogSelections[0].front().endsWith(QStringLiteral("/htpasswd")))
        << Str(modals.FileDialogSelections[0].front());
    const QString documents = GetPersonalFolder();
    if (!documents.isEmpty() && QDir(documents).exists()) {
        EXPECT_EQ(modals.FileDialogDirectories[0], QDir(documents).absolutePath());
    }
    EXPECT_EQ(Str(t.c.edtAddress->text()), chosen);
    EXPECT_TRUE(t.c.btnExport->isEnabled());

    // With a name typed the dialog starts from it; cancelling changes nothing.
    QTest::mouseClick(t.c.btnBrowse, Qt::LeftButton);
    ASSERT_EQ(modals.FileDialogSelections.size(), 2u);
    EXPECT_EQ(Str(modals.FileDialogSelections[1].value(0)), chosen);
    EXPECT_EQ(Str(modals.FileDialogDirectories[1]), home.Path().string());
    EXPECT_EQ(Str(t.c.edtAddress->text()), chosen);
    // Emptied, it starts where the last file was chosen.
    t.c.edtAddress->clear();
    QTest::mouseClick(t.c.btnBrowse, Qt::LeftButton);
    EXPECT_EQ(Str(modals.FileDialogDirectories[2]), home.Path().string());
}

TEST(ExportDialog, LocalExportWritesTheFileSweepsAndCloses) {
    TTempDir dir;
    const fs::path target = dir.Path() / "htpasswd";
    TUserList list;
    list.Add("carl", "c");
    list.Add("Bob", "b").Disable = true;
    list.Add("alice", "a1");
    TUserProp& expired = list.Add("zed", "z");
    expired.Expire = true;
    expired.ExpireDate = 1.0; // long past
    list.PassType = TPasswordsType::ptPlainText;
    First(list)->PassFile = target.string();

    TDialogOn t(list);
    t.dialog.show();
    QTest::mouseClick(t.c.btnExport, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !t.dialog.isVisible(); }, 5000));
    EXPECT_EQ(t.dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ReadWholeFile(target), "alice:a1\r\ncarl:c\r\n");
    EXPECT_TRUE(list.Users(3).Disable) << "the sweep disabled the expired user";
    EXPECT_FALSE(t.dialog.IsBusy());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy pointer is gone";

    // MD5: one "$apr1$" line per enabled user.
    list.PassType = TPasswordsType::ptMD5;
    TDialogOn md5(list);
    md5.dialog.show();
    QTest::mouseClick(md5.c.btnExport, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !md5.dialog.isVisible(); }, 5000));
    const std::string text = ReadWholeFile(target);
    EXPECT_EQ(text.rfind("alice:$apr1$", 0), 0u) << text;
    EXPECT_NE(text.find("\r\ncarl:$apr1$"), std::string::npos) << text;
}

// An enabled user without a password goes out only when the user agrees; No writes nothing and
// leaves the dialog open.
TEST(ExportDialog, EmptyPasswordsNeedConsent) {
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        TTempDir dir;
        const fs::path target = dir.Path() / "htpasswd";
        TUserList list;
        list.Add("carl", "");
        list.Add("alice", "a1");
        list.Add("dave", "").Disable = true; // disabled: not asked about
        list.PassType = TPasswordsType::ptPlainText;
        First(list)->PassFile = target.string();
        TDialogOn t(list);
        t.dialog.show();
        TScriptedModals modals;
        modals.Buttons = {answer};
        QTest::mouseClick(t.c.btnExport, Qt::LeftButton);
        WaitUntil([&] { return !t.dialog.isVisible(); }, answer == QMessageBox::Yes ? 5000 : 200);
        ASSERT_EQ(modals.Boxes.size(), 1u);
        EXPECT_EQ(Str(modals.Boxes[0].Text),
                  "Anyone who knows these logins gets in without a password: carl. "
                  "Export anyway?");
        if (answer == QMessageBox::Yes) {
            EXPECT_EQ(t.dialog.result(), QDialog::Accepted);
            EXPECT_EQ(ReadWholeFile(target), "alice:a1\r\ncarl:\r\n");
        } else {
            EXPECT_TRUE(t.dialog.isVisible());
            EXPECT_FALSE(t.dialog.IsBusy());
            EXPECT_FALSE(fs::exists(target));
        }
    }
}

// A local target that cannot be written, or that names the database itself, is refused with
// the reason; nothing is written and the dialog stays ready for another try.
TEST(ExportDialog, LocalTargetsThatCannotBeWrittenAreRefusedAndTheDialogStaysOpen) {
    struct TCase {
        const char* Name;
        bool IsDatabase; // else a file in a folder that does not exist
    };
    for (const TCase& c : {TCase{"the database", true}, TCase{"a missing folder", false}}) {
        SCOPED_TRACE(c.Name);
        TTempDir dir;
        const std::string database = (dir.Path() / "site.udx").string();
        const std::string target =
            c.IsDatabase ? database : (dir.Path() / "missing" / "htpasswd").string();
        TUserList list;
        list.Add("carl", "c");
        list.PassType = TPasswordsType::ptPlainText;
        list.SaveToFile(database);
        const std::string saved = ReadWholeFile(database);
        First(list)->PassFile = target;
        TDialogOn t(list, {.DatabasePath = database});
        t.dialog.show();
        TScriptedModals modals;
        QTest::mouseClick(t.c.btnExport, Qt::LeftButton);
        WaitUntil([] { return false; }, 100);
        ASSERT_EQ(modals.Boxes.size(), 1u);
        EXPECT_EQ(Str(modals.Boxes[0].Title), "Quorvane");
        const std::string text = Str(modals.Boxes[0].Text);
        if (c.IsDatabase)
            EXPECT_NE(text.find("would replace the database itself"), std::string::npos) << text;
        else
            EXPECT_EQ(text, "Cannot create file " + target + ": the folder " +
                                target.substr(0, target.rfind('/')) + " does not exist.");
        EXPECT_TRUE(t.dialog.isVisible()) << "the dialog stays open for another try";
        EXPECT_FALSE(t.dialog.IsBusy());
        EXPECT_TRUE(t.c.btnExport->isEnabled());
        EXPECT_TRUE(t.c.lblProgress->text().isEmpty());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(ReadWholeFile(database), saved) << "the database is untouched";
        EXPECT_EQ(fs::exists(target), c.IsDatabase);
    }
}

// --- FTP exports against a loopback server ---

TEST(ExportDialogFtp, UploadArrivesTempFileGoesDialogCloses) {
    TThreadsSettle settle;
    TScopedTmpDir tmp;
    TFtpServer server;
    TUserList list;
    list.Add("carl", "c");
    list.Add("alice", "a 1");
    list.PassType = TPasswordsType::ptPlainText;
    FillServer(list, "", server.Host(), ftptest::kUser, ftptest::kPassword);
    TDialogOn t(list);
    t.dialog.show();
    QTest::mouseClick(t.c.btnExport, Qt::LeftButton);
    EXPECT_TRUE(t.dialog.IsBusy());
    EXPECT_FALSE(t.c.btnExport->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return !t.dialog.isVisible(); }));
    EXPECT_EQ(t.dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(t.dialog.IsBusy());
    // ASCII transfer: the server stores its own line ends.
    const std::string uploaded = ReadWholeFile(server.Root() / "htpasswd");
    EXPECT_TRUE(uploaded == "alice:a 1\ncarl:c\n" || uploaded == "alice:a 1\r\ncarl:c\r\n")
        << uploaded;
    EXPECT_FALSE(fs::exists(server.Root() / "htpasswd_safeupload"));
    EXPECT_EQ(TempFilesIn(tmp.Dir()), 0) << "the temporary file is deleted";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// An upload that hangs at the greeting (until the server goes or the time-out passes), from a
// private temporary file. The server going ends it with a warning. Leaving the dialog (Cancel,
// or the close box) asks once: No keeps the dialog and the upload; Yes stops the upload, and
// once it has stopped the dialog says so and closes.
TEST(ExportDialogFtp, StalledUploadEndsByTheServerOrByLeavingTheDialog) {
    enum class TEnd { ServerGoes, Cancel, CloseBox };
    for (const TEnd end : {TEnd::ServerGoes, TEnd::Cancel, TEnd::CloseBox}) {
        SCOPED_TRACE(static_cast<int>(end));
        TThreadsSettle settle;
        TScopedTmpDir tmp;
        auto silent = std::make_unique<TSilentServer>();
        TUserList list;
        list.Add("carl", "c");
        FillServer(list, "", silent->Host(), ftptest::kUser, "x");
        TScriptedModals modals;
        if (end != TEnd::ServerGoes) modals.Buttons = {QMessageBox::No, QMessageBox::Yes};
        auto t = std::make_unique<TDialogOn>(list, TExportDialogOptions{.Timeout = 30000});
        t->dialog.show();
        QTest::mouseClick(t->c.btnExport, Qt::LeftButton);
        ASSERT_TRUE(t->dialog.IsBusy());
        // Once built, the file waits for the upload (which waits for the server's greeting).
        ASSERT_TRUE(WaitUntil([&] { return TempFilesIn(tmp.Dir()) == 1; }, 10000));
        for (const auto& entry : fs::directory_iterator(tmp.Dir().Path()))
            EXPECT_EQ(entry.status().permissions(), fs::perms::owner_read | fs::perms::owner_write)
                << "the file waiting for the upload is private";
        if (end == TEnd::ServerGoes) {
            silent.reset(); // the connection fails, the export ends with a warning
            EXPECT_TRUE(WaitUntil([&] { return !t->dialog.IsBusy(); }));
            EXPECT_EQ(modals.Boxes.size(), 1u);
            EXPECT_EQ(TempFilesIn(tmp.Dir()), 0);
            continue;
        }
        const auto leave = [&] {
            if (end == TEnd::Cancel)
                QTest::mouseClick(t->c.btnCancel, Qt::LeftButton);
            else
                t->dialog.close();
        };
        leave(); // No
        WaitUntil([] { return false; }, 50);
        EXPECT_TRUE(t->dialog.isVisible());
        EXPECT_TRUE(t->dialog.IsBusy());
        EXPECT_EQ(modals.Boxes.size(), 1u);
        leave(); // Yes: the worker stops waiting for the server
        ASSERT_TRUE(WaitUntil([&] { return !t->dialog.isVisible(); }, 5000));
        EXPECT_EQ(t->dialog.result(), QDialog::Rejected);
        ASSERT_EQ(modals.Boxes.size(), 3u) << "one question per leaving, then the outcome";
        EXPECT_EQ(Str(modals.Boxes[0].Text), "Export is not completed. Abort?");
        EXPECT_EQ(Str(modals.Boxes[1].Text), "Export is not completed. Abort?");
        EXPECT_EQ(Str(modals.Boxes[2].Text), "Export aborted; the server's file was not changed");
        EXPECT_EQ(modals.Boxes[2].Icon, QMessageBox::Information);
        EXPECT_FALSE(t->dialog.IsBusy()) << "the worker has ended";
        EXPECT_EQ(TempFilesIn(tmp.Dir()), 0);
        t.reset();
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

// Abort while the file travels to a slow server: one question, the transfer stops, the
// server's file stays as it was, and only then does the dialog say so.
TEST(ExportDialogFtp, AbortDuringTheTransferLeavesTheServersFile) {
    TThreadsSettle settle;
    TScopedTmpDir tmp;
    TFtpServer server({"--throttle", "20000"});
    WriteWholeFile(server.Root() / "htpasswd", "old content\r\n");
    TUserList list;
    AddUsers(list, 30000); // the upload lasts long after the abort, even on a busy machine
    list.PassType = TPasswordsType::ptPlainText;
    FillServer(list, "", server.Host(), ftptest::kUser, ftptest::kPassword);
    TScriptedModals modals(QMessageBox::Yes);
    TDialogOn t(list);
    t.dialog.show();
    QTest::mouseClick(t.c.btnExport, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return t.c.lblProgress->text().contains(QStringLiteral("%")); }));
    ASSERT_TRUE(WaitUntil(
        [&] { return server.Commands().find("STOR htpasswd_safeupload") != std::string::npos; }));
    QTest::keyClick(&t.dialog, Qt::Key_Escape);
    EXPECT_TRUE(t.dialog.isVisible()) << "open until the transfer has stopped";
    ASSERT_TRUE(WaitUntil([&] { return !t.dialog.isVisible(); }, 10000));
    ASSERT_EQ(modals.Boxes.size(), 2u);
    EXPECT_EQ(Str(modals.Boxes[0].Text), "Export is not completed. Abort?");
    EXPECT_EQ(Str(modals.Boxes[1].Text), "Export aborted; the server's file was not changed");
    EXPECT_EQ(t.dialog.result(), QDialog::Rejected);
    EXPECT_EQ(ReadWholeFile(server.Root() / "htpasswd"), "old content\r\n");
    EXPECT_FALSE(fs::exists(server.Root() / "htpasswd_safeupload"));
    EXPECT_EQ(server.Commands().find("RNFR"), std::string::npos) << server.Commands();
    EXPECT_EQ(TempFilesIn(tmp.Dir()), 0);
}

// Cancel while a kept version travels back to a slow server: the transfer stops, nothing is put
// back, no success is told, and the Restore dialog stays open until the restore has ended.
TEST(ExportDialogFtp, CancelDuringARestoreLeavesTheServersFile) {
    TThreadsSettle settle;
    TScopedTmpDir tmp;
    TFtpServer server({"--throttle", "20000"});
    std::string large; // what the export replaces and keeps: seconds of upload at that pace
    for (int i = 0; i < 30000; ++i)
        large += "old" + std::to_string(i) + ":x\r\n";
    WriteWholeFile(server.Root() / "htpasswd", large);
    TTempDir dir;
    const std::string db = dir.File("site.udx");
    TUserList list;
    list.Add("carl", "c");
    list.PassType = TPasswordsType::ptPlainText;
    FillServer(list, "", server.Host(), ftptest::kUser, ftptest::kPassword);
    list.SaveToFile(db);
    {
        TScriptedModals modals;
        modals.Buttons = {QMessageBox::Discard}; // Overwrite the users found there
        TDialogOn t(list, {.DatabasePath = db});
        t.dialog.show();
        QTest::mouseClick(t.c.btnExport, Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return !t.dialog.isVisible(); }, 30000));
    }
    const std::string exported = ReadWholeFile(server.Root() / "htpasswd");
    ASSERT_EQ(exported.find("old1:"), std::string::npos) << exported;

    TfrmRestore dialog(list, db);
    ASSERT_EQ(Find<QTreeWidget>(dialog, "lvwVersions")->topLevelItemCount(), 1);
    dialog.show();
    const auto stores = [&] {
        const std::string log = server.Commands();
        std::size_t count = 0;
        for (std::size_t at = log.find("STOR"); at != std::string::npos;
             at = log.find("STOR", at + 1))
            ++count;
        return count;
    };
    const std::size_t before = stores();
    bool cancelled = false;
    QTimer watch; // the restore runs within the click: Cancel comes from the event loop it runs
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (cancelled || stores() == before) return;
        cancelled = true;
        QTest::mouseClick(Find<QPushButton>(dialog, "btnCancel"), Qt::LeftButton);
    });
    watch.start();
    TScriptedModals modals;
    QTest::mouseClick(Find<QPushButton>(dialog, "btnRestore"), Qt::LeftButton);
    watch.stop();
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(dialog.isVisible()) << "nothing was put back: the dialog stays";
    EXPECT_TRUE(dialog.ResultText.isEmpty());
    EXPECT_TRUE(modals.Boxes.empty());
    EXPECT_EQ(ReadWholeFile(server.Root() / "htpasswd"), exported);
    EXPECT_FALSE(fs::exists(server.Root() / "htpasswd_safeupload"));
    EXPECT_EQ(TempFilesIn(tmp.Dir()), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    QTest::mouseClick(Find<QPushButton>(dialog, "btnCancel"), Qt::LeftButton); // idle: closes
    EXPECT_FALSE(dialog.isVisible());
}

TEST(ExportDialogFtp, ErrorShowsWarningAndLeavesTheDialogReady) {
    TThreadsSettle settle;
    TScopedTmpDir tmp;
    TFtpServer server;
    TUserList list;
    list.Add("carl", "c");
    FillServer(list, "", server.Host(), ftptest::kUser, "wrong password");
    TDialogOn t(list);
    t.dialog.show();
    TScriptedModals modals;
    QTest::mouseClick(t.c.btnExport, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !t.dialog.IsBusy(); }));
    WaitUntil([] { return false; }, 100);
    EXPECT_TRUE(t.dialog.isVisible());
    ASSERT_EQ(modals.Boxes.size(), 1u);
    EXPECT_EQ(Str(modals.Boxes[0].Title), "Warning");
    EXPECT_EQ(modals.Boxes[0].Icon, QMessageBox::Warning);
    EXPECT_FALSE(modals.Boxes[0].Text.isEmpty());
    EXPECT_TRUE(t.c.btnExport->isEnabled()) << "Export is enabled again";
    EXPECT_TRUE(t.c.lblProgress->text().isEmpty());
    EXPECT_EQ(Str(t.c.edtAddress->text()), "ftp://" + server.Host() + "/htpasswd")
        << "fields intact";
    EXPECT_EQ(TempFilesIn(tmp.Dir()), 0);
    EXPECT_FALSE(fs::exists(server.Root() / "htpasswd"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Another try with the right password goes through from the same dialog.
    t.c.edtTargetPassword->setText(QString::fromStdString(ftptest::kPassword));
    QTest::mouseClick(t.c.btnExport, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !t.dialog.isVisible(); }));
    EXPECT_EQ(t.dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(fs::exists(server.Root() / "htpasswd"));
}

// The file is built off the window's thread: the Export click returns at once, and while the
// build runs the window's event loop goes on (a zero-interval timer keeps ticking) and the
// progress comes from the job. Leaving then (Cancel, or the close box) asks once: Yes stops the
// build, writes nothing to a file or a server and leaves no temporary file, and the dialog
// closes once the build has stopped; No lets the export finish.
TEST(ExportDialog, TheWindowRunsDuringTheBuildAndLeavingItAbortsOrLetsItFinish) {
    const struct {
        bool Ftp;
        bool CloseBox; // else Cancel
        QMessageBox::StandardButton Answer;
    } cases[] = {{false, false, QMessageBox::Yes},
                 {false, true, QMessageBox::Yes},
                 {false, false, QMessageBox::No},
                 {true, false, QMessageBox::Yes}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Ftp ? "FTP, " : "file, ") + (c.CloseBox ? "close box, " : "") +
                     (c.Answer == QMessageBox::Yes ? "Yes" : "No"));
        TThreadsSettle settle;
        TScopedTmpDir tmp;
        const auto server = c.Ftp ? std::make_unique<TFtpServer>() : nullptr;
        TTempDir dir;
        const fs::path target = dir.Path() / "htpasswd";
        WriteWholeFile(target, "old content\r\n");
        TUserList list;
        constexpr int kUsers = 3000; // seconds of bcrypt on one thread
        AddUsers(list, kUsers);
        list.PassType = TPasswordsType::ptBcrypt;
        list.BcryptCost = 4;
        First(list)->PassFile = target.string();
        if (server) FillServer(list, "", server->Host(), ftptest::kUser, ftptest::kPassword);
        TDialogOn t(list, {.HashThreads = 1});
        t.dialog.show();
        TScriptedModals modals;
        modals.Buttons = {c.Answer};
        QTest::mouseClick(t.c.btnExport, Qt::LeftButton);
        ASSERT_TRUE(t.dialog.IsBusy()) << "the click returns while the file is built";
        EXPECT_FALSE(t.c.btnExport->isEnabled());
        int ticks = 0;
        QTimer timer;
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start();
        ASSERT_TRUE(WaitUntil([&] {
            return ticks > 20 &&
                   t.c.lblProgress->text().startsWith(QStringLiteral("Creating passwords file - "));
        }));
        EXPECT_TRUE(t.dialog.IsBusy()) << "still building";
        timer.stop();
        if (c.CloseBox)
            t.dialog.close(); // asked once the close box's handler has returned
        else
            QTest::mouseClick(t.c.btnCancel, Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return !modals.Boxes.empty(); }, 5000));
        EXPECT_EQ(Str(modals.Boxes[0].Title), "Warning");
        EXPECT_EQ(Str(modals.Boxes[0].Text), "Export is not completed. Abort?");
        if (c.Answer == QMessageBox::Yes && !c.CloseBox) {
            EXPECT_TRUE(t.dialog.isVisible()) << "open until the build has stopped";
            EXPECT_EQ(Str(t.c.lblProgress->text()), "Aborting...");
        }
        ASSERT_TRUE(WaitUntil([&] { return !t.dialog.isVisible(); }, 60000));
        EXPECT_FALSE(t.dialog.IsBusy());
        EXPECT_EQ(modals.Boxes.size(), 1u) << "nothing more to say after an abort while building";
        EXPECT_EQ(TempFilesIn(tmp.Dir()), 0);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        if (c.Answer == QMessageBox::Yes) {
            EXPECT_EQ(t.dialog.result(), QDialog::Rejected);
            EXPECT_TRUE(t.dialog.Outcome().Aborted);
            EXPECT_EQ(ReadWholeFile(target), "old content\r\n") << "the target is untouched";
            EXPECT_EQ(dir.Entries(), std::vector<std::string>{"htpasswd"}) << "no temporary left";
        } else {
            EXPECT_EQ(t.dialog.result(), QDialog::Accepted);
            const std::string written = ReadWholeFile(target);
            EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), kUsers);
        }
        if (server) {
            EXPECT_EQ(server->Commands(), "") << "nothing reached the server";
        }
    }
}

TEST(ExportDialog, EscapeAndTheCloseBoxCloseAnIdleDialogWithoutAQuestion) {
    TUserList list;
    TScriptedModals modals;
    for (const bool escape : {true, false}) {
        TDialogOn t(list);
        t.dialog.show();
        if (escape)
            QTest::keyClick(&t.dialog, Qt::Key_Escape);
        else
            t.dialog.close();
        ASSERT_TRUE(WaitUntil([&] { return !t.dialog.isVisible(); }, 2000)) << escape;
        EXPECT_EQ(t.dialog.result(), QDialog::Rejected);
    }
    EXPECT_TRUE(modals.Boxes.empty());
}

// The dialog's progress line and bar, fed as a running export feeds them.
TEST(ExportDialog, ProgressShowsTheStageOnOneLineAndAnUploadsFigures) {
    TUserList list;
    TDialogOn t(list);
    TExportProgressView view(*t.c.lblProgress, *t.c.lblTransfer, *t.c.pbrProgress);
    view.Begin();
    EXPECT_FALSE(t.c.pbrProgress->isHidden()) << "the bar shows while busy";
    TExportEvent event;
    event.Stage = TExportStage::Connecting;
    event.Server = "127.0.0.1:21";
    view.Show(event);
    EXPECT_EQ(Str(t.c.lblProgress->text()), "Connecting to 127.0.0.1:21...");
    EXPECT_EQ(t.c.pbrProgress->maximum(), 0) << "no measure while connecting";
    event.Stage = TExportStage::Uploading;
    event.Remote = "/www/.htpasswd";
    event.BytesSent = 500;
    event.BytesTotal = 1000;
    view.Show(event);
    EXPECT_EQ(Str(t.c.lblProgress->text()), "Uploading /www/.htpasswd - 50% completed");
    EXPECT_EQ(t.c.pbrProgress->maximum(), 100);
    EXPECT_EQ(t.c.pbrProgress->value(), 50);
    // A text wider than the label is cut at its edge: the label keeps its size and one line.
    t.dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&t.dialog));
    // The dialog settles at its first size (fitted to the screen) over several passes of the
    // event loop: measured once the sizes hold still.
    const auto settled = [&] {
        for (int still = 0, rounds = 0; still < 5 && rounds < 200; ++rounds) {
            const QSize before = t.dialog.size(), label = t.c.lblProgress->size();
            QTest::qWait(10);
            still = before == t.dialog.size() && label == t.c.lblProgress->size() ? still + 1 : 0;
        }
    };
    settled();
    const QSize labelSize = t.c.lblProgress->size();
    const QSize dialogSize = t.dialog.size();
    event.Remote = "/www/a/very/long/remote/folder/name/for/the/members/area/.htpasswd";
    event.BytesSent = 100;
    view.Show(event);
    settled();
    EXPECT_EQ(t.c.lblProgress->size(), labelSize);
    EXPECT_EQ(t.dialog.size(), dialogSize);
    EXPECT_FALSE(t.c.lblProgress->wordWrap());
    // The name gives way in its middle; the percentage still shows, the tool tip has it all.
    EXPECT_TRUE(t.c.lblProgress->text().startsWith(QStringLiteral("Uploading /www/")));
    EXPECT_TRUE(t.c.lblProgress->text().endsWith(QStringLiteral("- 10% completed")))
        << Str(t.c.lblProgress->text());
    EXPECT_TRUE(t.c.lblProgress->text().contains(QChar(0x2026)));
    EXPECT_EQ(Str(t.c.lblProgress->toolTip()), "Uploading " + event.Remote + " - 10% completed");
    // Under it, the sizes, and once a little time has passed, the speed and the time left.
    event.BytesTotal = 48'100'000;
    event.BytesSent = 1'000'000;
    view.Show(event);
    EXPECT_EQ(Str(t.c.lblTransfer->text()), "1.0 of 48.1 MB");
    QTest::qWait(700);
    event.BytesSent = 1'700'000;
    view.Show(event);
    const QRegularExpression figures(
        QStringLiteral("^1\\.7 of 48\\.1 MB, [0-9.]+ (kB|MB)/s, about [0-9]+ (s|min) left$"));
    EXPECT_TRUE(figures.match(t.c.lblTransfer->text()).hasMatch()) << Str(t.c.lblTransfer->text());
    view.End();
    EXPECT_TRUE(t.c.lblTransfer->text().isEmpty());
    EXPECT_TRUE(t.c.lblProgress->text().isEmpty());
    EXPECT_TRUE(t.c.pbrProgress->isHidden());
}

TEST(ExportDialog, EachFormShowsItsGuidanceWorkFactorAndEstimate) {
    struct TCase {
        TPasswordsType Type;
        const char* FactorLabel; // none: no work factor for the form
        int Min, Max;
    };
    const TCase cases[] = {
        {TPasswordsType::ptMD5, nullptr, 0, 0},
        {TPasswordsType::ptPlainText, nullptr, 0, 0},
        {TPasswordsType::ptBcrypt, "Cost", 4, 17},
        {TPasswordsType::ptSHA256, "Rounds", 1000, 999999999},
        {TPasswordsType::ptSHA512, "Rounds", 1000, 999999999},
    };
    TUserList list;
    AddUsers(list, 3);
    list.Add("old", "").SetPasswordHash("$2y$05$abcdefghijklmnopqrstuu"); // goes out as it is
    list.Add("off", "pw").Disable = true;
    TDialogOn t(list);
    auto* hint = Find<QLabel>(t.dialog, "lblSchemeHint");
    auto* factorLabel = Find<QLabel>(t.dialog, "lblWorkFactor");
    auto* factor = Find<QSpinBox>(t.dialog, "spnWorkFactor");
    auto* estimate = Find<QLabel>(t.dialog, "lblEstimate");
    for (const TCase& c : cases) {
        t.c.cbxFormat->setCurrentIndex(t.c.cbxFormat->findData(static_cast<int>(c.Type)));
        const std::string name = PasswordsTypeName(c.Type).data();
        const bool plain = c.Type == TPasswordsType::ptPlainText;
        EXPECT_EQ(t.c.lblPlainTextNote->isHidden(), !plain) << name;
        EXPECT_EQ(hint->isHidden(), plain) << name;
        EXPECT_EQ(hint->text().isEmpty(), plain) << name;
        const bool slow = c.FactorLabel != nullptr;
        EXPECT_EQ(factor->isHidden(), !slow) << name;
        EXPECT_EQ(estimate->isHidden(), !slow) << name;
        if (!slow) continue;
        EXPECT_EQ(Str(factorLabel->text().remove(QLatin1Char('&'))), c.FactorLabel) << name;
        EXPECT_EQ(factor->minimum(), c.Min) << name;
        EXPECT_EQ(factor->maximum(), c.Max) << name;
        // Three enabled users with a password; the stored hash and the disabled user cost nothing.
        EXPECT_TRUE(estimate->text().contains(QStringLiteral(" for 3 users; later exports reuse")))
            << Str(estimate->text());
        EXPECT_TRUE(estimate->text().contains(QStringLiteral("each page request costs the server")))
            << Str(estimate->text());
    }
}

TEST(ExportDialog, WorkFactorsAreKeptPerFormAndStoredOnlyForTheChosenOne) {
    TUserList list;
    list.PassType = TPasswordsType::ptBcrypt;
    list.BcryptCost = 7;
    list.ShaRounds = 20000;
    TDialogOn t(list);
    auto* factor = Find<QSpinBox>(t.dialog, "spnWorkFactor");
    auto* estimate = Find<QLabel>(t.dialog, "lblEstimate");
    const auto choose = [&](TPasswordsType type) {
        t.c.cbxFormat->setCurrentIndex(t.c.cbxFormat->findData(static_cast<int>(type)));
    };
    EXPECT_EQ(factor->value(), 7);
    const QString before = estimate->text();
    factor->setValue(12);
    EXPECT_NE(estimate->text(), before) << "the estimate follows the cost";
    choose(TPasswordsType::ptSHA512);
    EXPECT_EQ(factor->value(), 20000);
    factor->setValue(6000);
    choose(TPasswordsType::ptBcrypt);
    EXPECT_EQ(factor->value(), 12) << "the cost typed before is kept";
    t.dialog.SaveSettings();
    EXPECT_EQ(list.BcryptCost, 12);
    EXPECT_EQ(list.ShaRounds, 20000) << "rounds of a form not chosen are not stored";

    // A database on MD5 stays as it was when a slow form was only looked at.
    TUserList md5;
    md5.Add("ann", "pw");
    const uint32_t fingerprint = md5.Fingerprint();
    TDialogOn u(md5);
    u.c.cbxFormat->setCurrentIndex(
        u.c.cbxFormat->findData(static_cast<int>(TPasswordsType::ptBcrypt)));
    Find<QSpinBox>(u.dialog, "spnWorkFactor")->setValue(9);
    u.c.cbxFormat->setCurrentIndex(0);
    u.dialog.SaveSettings();
    EXPECT_EQ(md5.Fingerprint(), fingerprint);
}

TEST(ExportDialog, UsersOnWeakHashesAreNamedOnceTheFileIsOut) {
    struct TCase {
        const char* Hash; // of the user known only by it
        bool Named;
    };
    for (const TCase& c :
         {TCase{"{SHA}1DE0yxzjl/a86wBZ7f+ja7b9zuU=", true}, TCase{"op6htbgNyaF7g", true},
          TCase{"$apr1$abcdefgh$0123456789012345678901", false}}) {
        TTempDir dir;
        TUserList list;
        list.Add("ann", "pw");
        list.Add("old", "").SetPasswordHash(c.Hash);
        TScriptedModals modals;
        modals.OnDialog = [&](QDialog& dialog) {
            dialog.findChild<QLineEdit*>(QStringLiteral("edtAddress"))
                ->setText(QString::fromStdString((dir.Path() / "htpasswd").string()));
            dialog.show(); // closes when the export has ended
            QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnExport")),
                              Qt::LeftButton);
            WaitUntil([&] { return !dialog.isVisible(); }, 5000);
            return dialog.result();
        };
        ShowExportDialog(list, nullptr);
        EXPECT_NE(ReadWholeFile(dir.Path() / "htpasswd").find(std::string("old:") + c.Hash),
                  std::string::npos);
        ASSERT_EQ(modals.Boxes.size(), c.Named ? 1u : 0u) << c.Hash;
        if (c.Named) {
            EXPECT_EQ(Str(modals.Boxes[0].Text),
                      "1 user still uses a weak hash: set a new password for it\n  old (" +
                          std::string(c.Hash[0] == '{' ? "SHA-1" : "DES crypt") + ")");
        }
    }
}
