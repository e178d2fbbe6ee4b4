#include "ui/UserDlg.h"

#include "TestUtil.h"
#include "UiTestUtil.h"
#include "base/Errors.h"
#include "persist/RegistryLib.h"
#include "ui/DateConv.h"
#include "ui/EditLib.h"
#include "ui/OptionsDlg.h"
#include "userdb/Groups.h"
#include "userdb/NewUser.h"
#include "userdb/UserList.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <functional>

using namespace quorvane;

namespace {

// Runs ShowUserDialog with a script that works the dialog as a user would; message boxes are
// answered with OK and recorded.
struct TUserDialogRun {
    std::function<void(TfrmUser&)> Script;
    TScriptedModals Messages;
    bool Changed = false;

    TUserProp* Run(TUserList& list, int index, TUserDialogMode mode) {
        Messages.OnDialog = [this](QDialog& dialog) {
            auto* form = qobject_cast<TfrmUser*>(&dialog);
            EXPECT_NE(form, nullptr);
            if (form == nullptr) return int(QDialog::Rejected);
            ShowActive(*form);
            Script(*form);
            return form->result();
        };
        return ShowUserDialog(list, index, mode, nullptr, &Changed);
    }
};

void Type(TfrmUser& form, const char* name, const QString& text) {
    auto* edit = Find<QLineEdit>(form, name);
    edit->setFocus();
    edit->selectAll();
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 128;
    if (ascii)
        QTest::keyClicks(edit, text);
    else
        edit->insert(text); // the test library types ASCII only
}

void ClickOK(TfrmUser& form) {
    QTest::mouseClick(Find<QPushButton>(form, "btnOK"), Qt::LeftButton);
}

TUserProp& AddUser(TUserList& list, const std::string& login, const std::string& password) {
    TUserProp& user = list.AddBlank();
    user.Login = login;
    user.Password = password;
    return user;
}

} // namespace

TEST(UserDialog, ANewUserGetsTheExpiryPeriodLastSetInOptions) {
    // Each row: the days typed in Options and confirmed with Return (none: Options never
    // opened), when the user is added; whether "Expire on" starts ticked, and at which date.
    struct TCase {
        const char* Days; // nullptr: nothing stored
        TDateTime Now;
        bool Expire;
        TDateTime Expected;
    } cases[] = {
        {nullptr, At(2024, 1, 31, 10, 30), true, At(2024, 3, 1, 10, 30)},
        {"365", At(2024, 3, 1, 8, 0), true, At(2025, 3, 1, 8, 0)},
        {"7", At(2024, 12, 28, 23, 59), true, At(2025, 1, 4, 23, 59)},
        {"0", At(2024, 1, 31, 10, 30), false, At(2024, 2, 29, 10, 30)},
    };
    for (const TCase& c : cases) {
        const QTemporaryDir dir;
        const TScopedSettingsFile settings(dir.filePath(QStringLiteral("settings.ini")));
        TFixedClock clock(c.Now);
        if (c.Days != nullptr) {
            TModalHandlerScope type([&](QDialog& dialog) {
                ShowActive(dialog);
                auto* days = Find<TNaturalEdit>(dialog, "edtExpirationDate");
                days->selectAll();
                QTest::keyClicks(days, QString::fromLatin1(c.Days));
                QTest::keyClick(days, Qt::Key_Return);
                return dialog.result();
            });
            ASSERT_TRUE(ShowOptionsDialog());
        }
        QString shown;
        TModalHandlerScope look([&](QDialog& dialog) {
            shown = Find<TNaturalEdit>(dialog, "edtExpirationDate")->text();
            return int(QDialog::Rejected);
        });
        EXPECT_FALSE(ShowOptionsDialog());
        EXPECT_EQ(shown, c.Days != nullptr ? QString::fromLatin1(c.Days) : QStringLiteral("30"))
            << "Options opens with the period in force";

        TUserList list;
        TUserDialogRun run;
        bool ticked = !c.Expire;
        run.Script = [&](TfrmUser& form) {
            ticked = Find<QCheckBox>(form, "cbxExpire")->isChecked();
            Type(form, "edtLogin", QStringLiteral("ann"));
            Type(form, "edtPassword", QStringLiteral("secret"));
            ClickOK(form);
        };
        TUserProp* user = run.Run(list, -1, TUserDialogMode::Add);
        ASSERT_NE(user, nullptr);
        EXPECT_EQ(ticked, c.Expire) << (c.Days ? c.Days : "none");
        EXPECT_EQ(user->Expire, c.Expire) << (c.Days ? c.Days : "none");
        EXPECT_EQ(user->ExpireDate, c.Expected) << FormatDateTime(user->ExpireDate);
        EXPECT_EQ(user->CreatedDate, c.Now);
        EXPECT_FALSE(user->Disable);
    }
}

TEST(UserDialog, TheCommandLineReadsThePeriodOptionsStored) {
    // The desktop's own store (the options file in the private XDG_CONFIG_HOME), not the test
    // file: what Options keeps there is what quorvane-cli's reader finds.
    const QTemporaryDir dir;
    const TScopedSettingsFile restore(dir.filePath(QStringLiteral("unused.ini")));
    SetSettingsFactory({});
    for (const int days : {365, 0, 30}) {
        StoreDefaultExpiryDays(days);
        EXPECT_EQ(StoredDefaultExpiryDays(), days);
        EXPECT_EQ(ReadDefaultExpiryDays(UserOptionsFile()), days);
    }
    QFile::remove(QString::fromStdString(UserOptionsFile()));
}

TEST(UserDialog, OkFollowsTheLoginRuleAndTheLineSaysWhy) {
    // Each row: login, password, "Disabled" ticked; whether OK is enabled; what the line under
    // the fields says (parts of it), or nothing.
    struct TCase {
        std::string Login, Password; // Latin-1
        bool Disabled;
        bool Ok;
        std::vector<const char*> Says;
        const char* Groups = "";
    };
    const TCase cases[] = {
        {"", "x", false, false, {"The login is empty"}},
        {"   ", "x", false, false, {"The login is empty"}},
        {"admin:$apr1$x", "x", false, false, {"colon"}},
        {"bo\tb", "x", false, false, {"control character"}},
        {"bo\x01", "x", false, false, {"control character"}},
        // Refused and warned at once: every reason is listed.
        {"a:b", "", false, false, {"colon", "no password"}},
        {"bob", "x", false, true, {}},
        {" a ", "x", false, true, {}},
        // Allowed, with a warning.
        {"bob", "", false, true, {"no password"}},
        {"#bob", "x", false, true, {"starts with \"#\""}},
        {"bob", "", true, true, {}}, // a disabled user lets nobody in
        {"bob", " \t ", false, true, {}},
        {"bob", "x", false, true, {}, "staff, web"},
        {"bob", "x", false, false, {"group name"}, "staff, ops:admin"},
        // Another user is in "staff": one group to the web server, one spelling here.
        {"bob", "x", false, false, {"one group to the web server"}, "web, Staff"},
        {"bob", "x", false, false, {"a comment"}, "#staff"},
        {std::string(256, 'l'), "x", false, false, {"longer than 255 bytes"}},
    };
    TUserList list;
    SetUserGroups(list.Add("ann", "pw"), {"staff"});
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Login + " / " + c.Password);
        TfrmUser form;
        form.SetTarget(&list, -1, TUserDialogMode::Add);
        ShowActive(form);
        Find<QLineEdit>(form, "edtLogin")->setText(QString::fromStdString(c.Login));
        Find<QLineEdit>(form, "edtPassword")->setText(QString::fromStdString(c.Password));
        Find<QCheckBox>(form, "cbxDisable")->setChecked(c.Disabled);
        Find<QLineEdit>(form, "edtGroups")->setText(QString::fromLatin1(c.Groups));
        auto* ok = Find<QPushButton>(form, "btnOK");
        auto* line = Find<QLabel>(form, "lblProblems");
        EXPECT_EQ(ok->isEnabled(), c.Ok);
        EXPECT_EQ(ok->isDefault(), c.Ok);
        EXPECT_EQ(line->isVisible(), !c.Says.empty()) << Str(line->text());
        for (const char* part : c.Says)
            EXPECT_NE(line->text().indexOf(QLatin1String(part)), -1) << Str(line->text());
        if (c.Says.empty()) {
            EXPECT_TRUE(line->text().isEmpty()) << Str(line->text());
        }
        EXPECT_EQ(line->text().count(QLatin1Char('\n')) + 1,
                  c.Says.empty() ? 1 : static_cast<qsizetype>(c.Says.size()));
    }

    TfrmUser form;
    auto* expire = Find<QCheckBox>(form, "cbxExpire");
    auto* picker = Find<QDateEdit>(form, "dtpExpireDate");
    EXPECT_TRUE(picker->isEnabled());
    QTest::mouseClick(expire, Qt::LeftButton);
    EXPECT_FALSE(picker->isEnabled());
}

TEST(UserDialog, AnEnabledUserWithoutPasswordIsStoredAfterTheWarning) {
    TUserList list;
    TUserDialogRun run;
    run.Script = [](TfrmUser& form) {
        Type(form, "edtLogin", QStringLiteral("guest"));
        ClickOK(form);
    };
    TUserProp* user = run.Run(list, -1, TUserDialogMode::Add);
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->Login, "guest");
    EXPECT_EQ(user->Password, "");
    EXPECT_TRUE(run.Messages.Boxes.empty()); // the warning is in the dialog, not a box
}

TEST(UserDialog, AUserKnownByItsHashKeepsItUnlessGivenAPassword) {
    TUserList list;
    TUserProp& user = AddUser(list, "old", "");
    user.SetPasswordHash("$apr1$salt$hash");
    TUserDialogRun keep;
    keep.Script = [](TfrmUser& form) {
        // No "no password" warning: the user has one, as a hash.
        EXPECT_FALSE(Find<QLabel>(form, "lblProblems")->isVisible());
        Type(form, "edtEmail", QStringLiteral("o@example.org"));
        ClickOK(form);
    };
    ASSERT_NE(keep.Run(list, 0, TUserDialogMode::Edit), nullptr);
    EXPECT_EQ(user.PasswordHash(), "$apr1$salt$hash");
    TUserDialogRun change;
    change.Script = [](TfrmUser& form) {
        Type(form, "edtPassword", QStringLiteral("new"));
        ClickOK(form);
    };
    ASSERT_NE(change.Run(list, 0, TUserDialogMode::Edit), nullptr);
    EXPECT_EQ(user.Password, "new");
    EXPECT_TRUE(user.PasswordHash().empty());
}

TEST(UserDialog, ALoginTakenIsShownBesideTheFieldAtOnce) {
    TUserList list;
    AddUser(list, "bob", "pw");
    TUserDialogRun run;
    run.Script = [&](TfrmUser& form) {
        auto* taken = Find<QLabel>(form, "lblLoginTaken");
        auto* ok = Find<QPushButton>(form, "btnOK");
        const int width = form.width();
        // Each step: the login typed, whether it is shown as taken (and OK disabled).
        const struct {
            const char* Login;
            bool Taken;
        } steps[] = {{"bo", false},
                     {"Bob", true},
                     {"BOBBY", false},
                     {"bob", true},
                     // With a leading blank the login is a different one: the test does not trim.
                     {" bob", false}};
        for (const auto& step : steps) {
            Type(form, "edtLogin", QString::fromLatin1(step.Login));
            Type(form, "edtPassword", QStringLiteral("pw2"));
            EXPECT_EQ(taken->isVisible(), step.Taken) << step.Login;
            EXPECT_EQ(ok->isEnabled(), !step.Taken) << step.Login;
            EXPECT_EQ(form.width(), width) << "the dialog keeps its width: " << step.Login;
        }
        QTest::keyClick(Find<QLineEdit>(form, "edtLogin"), Qt::Key_Return);
    };
    TUserProp* user = run.Run(list, -1, TUserDialogMode::Add);
    EXPECT_TRUE(run.Messages.Boxes.empty());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->Login, " bob");
    EXPECT_EQ(list.Count(), 2);
}

// The keyboard alone gets through the dialog: Tab reaches the buttons after the comments,
// Enter on a focused button presses that button, Ctrl+Enter accepts from the comments (where
// Enter begins a line), and a date typed with the month's name does not spill into the next
// field.
TEST(UserDialog, TheKeyboardReachesEveryFieldAndButton) {
    const struct {
        const char* Name;
        std::function<void(TfrmUser&)> Keys;
        bool Accepted;
    } cases[] = {
        {"Tab to OK, Enter",
         [](TfrmUser& form) {
             Find<QPlainTextEdit>(form, "mmComments")->setFocus();
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
             EXPECT_EQ(QApplication::focusWidget(), Find<QPushButton>(form, "btnOK"));
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
         },
         true},
        {"Tab to Cancel, Enter",
         [](TfrmUser& form) {
             Find<QPlainTextEdit>(form, "mmComments")->setFocus();
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
             EXPECT_EQ(QApplication::focusWidget(), Find<QPushButton>(form, "btnCancel"));
             QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
         },
         false},
        {"Ctrl+Enter in the comments",
         [](TfrmUser& form) {
             auto* comments = Find<QPlainTextEdit>(form, "mmComments");
             comments->setFocus();
             QTest::keyClicks(comments, QStringLiteral("first"));
             QTest::keyClick(comments, Qt::Key_Return);
             QTest::keyClicks(comments, QStringLiteral("second"));
             EXPECT_TRUE(form.isVisible()) << "Enter begins a line there";
             QTest::keyClick(comments, Qt::Key_Return, Qt::ControlModifier);
         },
         true},
        {"a date typed with the month's name",
         [](TfrmUser& form) {
             auto* picker = Find<QDateEdit>(form, "dtpExpireDate");
             auto* name = Find<QLineEdit>(form, "edtFullName");
             name->setText(QStringLiteral("Ann Lee"));
             picker->setFocus();
             // The format of the tests' locale spells the month: "d MMM yyyy".
             QTest::keyClicks(picker, QStringLiteral("30 Jun 2027"));
             EXPECT_EQ(QApplication::focusWidget(), picker);
             EXPECT_EQ(picker->date(), QDate(2027, 6, 30));
             QTest::keyClick(picker, Qt::Key_Tab);
             EXPECT_EQ(QApplication::focusWidget(), name);
             EXPECT_EQ(name->text(), QStringLiteral("Ann Lee"));
             QTest::keyClick(name, Qt::Key_Return);
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TUserList list;
        TUserDialogRun run;
        run.Script = [&c](TfrmUser& form) {
            Type(form, "edtLogin", QStringLiteral("ann"));
            Type(form, "edtPassword", QStringLiteral("pw"));
            c.Keys(form);
        };
        TUserProp* user = run.Run(list, -1, TUserDialogMode::Add);
        EXPECT_EQ(user != nullptr, c.Accepted);
        EXPECT_EQ(list.Count(), c.Accepted ? 1 : 0);
    }
}

TEST(UserDialog, UniquenessFoldsOnlyAToZAndSkipsTheEditedUser) {
    TUserList list;
    AddUser(list,
            "\xc3\xa4"
            "bc",
            "pw"); // "äbc" in UTF-8
    AddUser(list, "carol", "pw");
    TfrmUser form;
    form.SetTarget(&list, -1, TUserDialogMode::Add);
    auto* login = Find<QLineEdit>(form, "edtLogin");
    login->setText(QString::fromUtf8("\xc3\x84"
                                     "BC")); // "ÄBC"
    EXPECT_TRUE(form.IsLoginUnique()) << "letters beyond a-z are not folded";
    login->setText(QString::fromUtf8("\xc3\xa4"
                                     "BC"));
    EXPECT_FALSE(form.IsLoginUnique());
    login->setText(QStringLiteral("CAROL"));
    EXPECT_FALSE(form.IsLoginUnique());

    form.SetTarget(&list, 1, TUserDialogMode::Edit);
    EXPECT_TRUE(form.IsLoginUnique()) << "the edited user's own login is no duplicate";
}

TEST(UserDialog, EditWithoutChangeLeavesTheListUnchanged) {
    TUserList list;
    AddUser(list, "alice", "pw");
    TUserProp& bob = AddUser(list, "bob", "secret");
    bob.Expire = true;
    bob.ExpireDate = At(2024, 3, 10, 15, 45) + 0.123456789e-3; // an odd fraction
    bob.CreatedDate = At(2023, 1, 1);
    bob.FullName = "Bob Builder";
    bob.Email = "bob@example.org";
    bob.Comments = "first line\r\nsecond line";
    bob.SetGroups("staff  web"); // as a hand-edited file may hold it
    const uint64_t before = list.ChangeStamp();

    TUserDialogRun run;
    run.Script = [](TfrmUser& form) {
        EXPECT_EQ(Find<QLineEdit>(form, "edtLogin")->text(), QStringLiteral("bob"));
        EXPECT_EQ(Find<QPlainTextEdit>(form, "mmComments")->toPlainText(),
                  QStringLiteral("first line\nsecond line"));
        EXPECT_EQ(Find<QDateEdit>(form, "dtpExpireDate")->date(), QDate(2024, 3, 10));
        EXPECT_EQ(Find<QLineEdit>(form, "edtGroups")->text(), QStringLiteral("staff, web"));
        ClickOK(form);
    };
    TUserProp* user = run.Run(list, 1, TUserDialogMode::Edit);
    EXPECT_EQ(user, &list.Users(1));
    EXPECT_FALSE(run.Changed);
    EXPECT_EQ(list.ChangeStamp(), before);
    EXPECT_TRUE(run.Messages.Boxes.empty());
}

TEST(UserDialog, ChangeThatCancelsInTheSumStillCountsAsChange) {
    TUserList list;
    AddUser(list, "bob", "aaaaaaaa");
    const uint32_t fingerprint = list.Fingerprint();
    TUserDialogRun run;
    // Byte 0 of the password up by one, byte 4 down by one: the 32-bit word sum is the same.
    run.Script = [](TfrmUser& form) {
        Type(form, "edtPassword", QStringLiteral("baaa`aaa"));
        ClickOK(form);
    };
    ASSERT_NE(run.Run(list, 0, TUserDialogMode::Edit), nullptr);
    EXPECT_EQ(list.Users(0).Password, "baaa`aaa");
    EXPECT_EQ(list.Fingerprint(), fingerprint) << "the sum misses this change";
    EXPECT_TRUE(run.Changed);
}

TEST(UserDialog, CancelAndEscapeChangeNothing) {
    TUserList list;
    AddUser(list, "bob", "pw");
    const uint64_t before = list.ChangeStamp();
    for (bool escape : {false, true}) {
        TUserDialogRun add;
        add.Script = [escape](TfrmUser& form) {
            Type(form, "edtLogin", QStringLiteral("new"));
            Type(form, "edtPassword", QStringLiteral("pw"));
            if (escape)
                QTest::keyClick(Find<QLineEdit>(form, "edtPassword"), Qt::Key_Escape);
            else
                QTest::mouseClick(Find<QPushButton>(form, "btnCancel"), Qt::LeftButton);
        };
        EXPECT_EQ(add.Run(list, -1, TUserDialogMode::Add), nullptr);
        EXPECT_FALSE(add.Changed);

        TUserDialogRun edit;
        edit.Script = [](TfrmUser& form) {
            Type(form, "edtLogin", QStringLiteral("robert"));
            form.reject();
        };
        EXPECT_EQ(edit.Run(list, 0, TUserDialogMode::Edit), nullptr);
    }
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Users(0).Login, "bob");
    EXPECT_EQ(list.ChangeStamp(), before);
}

TEST(UserDialog, UncheckedExpiryStillStoresThePickedDateWithItsTimeOfDay) {
    TUserList list;
    TUserProp& user = AddUser(list, "bob", "pw");
    user.Expire = true;
    user.ExpireDate = At(2024, 3, 10, 15, 45);
    TUserDialogRun run;
    run.Script = [](TfrmUser& form) {
        Find<QDateEdit>(form, "dtpExpireDate")->setDate(QDate(2024, 4, 1));
        QTest::mouseClick(Find<QCheckBox>(form, "cbxExpire"), Qt::LeftButton);
        EXPECT_FALSE(Find<QDateEdit>(form, "dtpExpireDate")->isEnabled());
        ClickOK(form);
    };
    ASSERT_NE(run.Run(list, 0, TUserDialogMode::Edit), nullptr);
    EXPECT_FALSE(user.Expire);
    EXPECT_EQ(user.ExpireDate, At(2024, 4, 1, 15, 45));
    EXPECT_TRUE(run.Changed);
}

TEST(UserDialog, UntouchedFieldsKeepTheirBytes) {
    TUserList list;
    TUserProp& user = AddUser(list, "M\xfcller", "pa\x01ss"); // Latin-1, not UTF-8
    user.FullName = "J\xc3\xbcrgen";                          // UTF-8
    user.Comments = "one\r\ntwo\nthree";
    TUserDialogRun run;
    run.Script = [](TfrmUser& form) {
        EXPECT_EQ(Find<QLineEdit>(form, "edtLogin")->text(), QString::fromUtf8("M\xc3\xbcller"));
        EXPECT_EQ(Find<QLineEdit>(form, "edtFullName")->text(), QString::fromUtf8("J\xc3\xbcrgen"));
        Type(form, "edtEmail", QStringLiteral("m@example.org"));
        ClickOK(form);
    };
    ASSERT_NE(run.Run(list, 0, TUserDialogMode::Edit), nullptr);
    EXPECT_EQ(user.Login, "M\xfcller");
    EXPECT_EQ(user.Password, "pa\x01ss");
    EXPECT_EQ(user.FullName, "J\xc3\xbcrgen");
    EXPECT_EQ(user.Comments, "one\r\ntwo\nthree");
    EXPECT_EQ(user.Email, "m@example.org");

    // Edited text is stored as UTF-8, with the file's line breaks in the comments.
    TUserDialogRun edit;
    edit.Script = [](TfrmUser& form) {
        Type(form, "edtLogin", QString::fromUtf8("M\xc3\xbcller2"));
        auto* comments = Find<QPlainTextEdit>(form, "mmComments");
        comments->setPlainText(QStringLiteral("a\nb"));
        ClickOK(form);
    };
    ASSERT_NE(edit.Run(list, 0, TUserDialogMode::Edit), nullptr);
    EXPECT_EQ(user.Login, "M\xc3\xbcller2");
    EXPECT_EQ(user.Comments, "a\r\nb");

    // Groups typed with commas and blanks are stored once each, in the order given.
    TUserDialogRun groups;
    groups.Script = [](TfrmUser& form) {
        Type(form, "edtGroups", QStringLiteral("web,  staff web"));
        ClickOK(form);
    };
    ASSERT_NE(groups.Run(list, 0, TUserDialogMode::Edit), nullptr);
    EXPECT_EQ(user.Groups(), "web staff");
}

TEST(UserDialog, EditModeOutsideTheListFails) {
    TUserList list;
    EXPECT_THROW(ShowUserDialog(list, 3, TUserDialogMode::Edit), EQuorvaneError);
    EXPECT_EQ(list.Count(), 0);
}
