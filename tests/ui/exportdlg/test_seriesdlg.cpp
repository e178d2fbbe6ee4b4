// The "User Series" dialog: its defaults, Test, OK and Cancel, the short-series warning, and
// the result view that hands out the new logins and passwords.

#include "Support.h"
#include "ui/SeriesDlg.h"

#include "base/Random.h"
#include "persist/RegistryLib.h"
#include "ui/EditLib.h"
#include "userdb/UserList.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateEdit>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>

using namespace quorvane;

using namespace testsupport;

namespace {

std::string Upper(std::string text) {
    for (char& ch : text)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    return text;
}

} // namespace

TEST(SeriesDialog, StartsFromTheDefaults) {
    TTempDir dir;
    TScopedSettingsFile store(QString::fromStdString((dir.Path() / "settings.ini").string()));
    TUserList list;
    TfrmUserSeries dialog(list);
    const TSeriesOptions options = dialog.Options();
    const TSeriesOptions defaults;
    EXPECT_EQ(options.UserCount, defaults.UserCount);
    EXPECT_EQ(options.LoginLength, defaults.LoginLength);
    EXPECT_EQ(options.PasswordLength, defaults.PasswordLength);
    EXPECT_EQ(options.LoginCase, defaults.LoginCase);
    EXPECT_EQ(options.LoginChars, defaults.LoginChars);
    EXPECT_EQ(options.PasswordCase, defaults.PasswordCase);
    EXPECT_EQ(options.PasswordChars, defaults.PasswordChars);
    auto* ok = Find<QPushButton>(dialog, "btnOK");
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_TRUE(ok->isDefault());
}

// The next series starts from the settings of the last one created (not of one cancelled);
// settings the store holds damaged give the defaults.
TEST(SeriesDialog, StartsFromTheSettingsOfTheLastSeries) {
    TTempDir dir;
    TScopedSettingsFile store(QString::fromStdString((dir.Path() / "settings.ini").string()));
    TUserList list;
    const auto run = [&list](bool ok, int count, int length) {
        TfrmUserSeries dialog(list);
        Find<TNaturalEdit>(dialog, "edtUserCount")->SetValue(count);
        Find<TNaturalEdit>(dialog, "edtPasswordLength")->SetValue(length);
        Find<TRadioGroup>(dialog, "rgpLoginCase")->SetItemIndex(static_cast<int>(TCaseType::Upper));
        if (ok)
            dialog.btnOKClick();
        else
            dialog.btnCancelClick();
    };
    run(true, 3, 12);
    run(false, 7, 30);
    const TSeriesOptions last = TfrmUserSeries(list).Options();
    EXPECT_EQ(last.UserCount, 3);
    EXPECT_EQ(last.PasswordLength, 12);
    EXPECT_EQ(last.LoginCase, TCaseType::Upper);
    EXPECT_EQ(StoredSeriesOptions().PasswordLength, 12) << "Generate in the user dialog uses them";
    {
        auto reg = OpenRegistryKey(TRegistryRootKey::CurrentUser,
                                   QStringLiteral("\\Software\\Ostrick\\Quorvane\\Series"));
        reg->WriteString(QStringLiteral("UserCount"), QStringLiteral("many"));
        reg->CloseKey();
    }
    EXPECT_EQ(TfrmUserSeries(list).Options().UserCount, TSeriesOptions().UserCount);
}

TEST(SeriesDialog, ControlsMapToTheOptions) {
    TUserList list;
    TfrmUserSeries dialog(list);
    Find<TNaturalEdit>(dialog, "edtLoginLength")->SetValue(2); // below the bound
    Find<TRadioGroup>(dialog, "rgpLoginCase")->SetItemIndex(static_cast<int>(TCaseType::Upper));
    Find<TRadioGroup>(dialog, "rgpLoginChars")->SetItemIndex(-1); // no selection
    Find<TRadioGroup>(dialog, "rgpPasswordChars")
        ->SetItemIndex(static_cast<int>(TCharsType::Numeral));
    const TSeriesOptions options = dialog.Options();
    EXPECT_EQ(options.LoginLength, 4);
    EXPECT_EQ(options.LoginCase, TCaseType::Upper);
    EXPECT_EQ(options.LoginChars, TCharsType::Random)
        << "a group without selection counts as Random";
    EXPECT_EQ(options.PasswordChars, TCharsType::Numeral);
}

TEST(SeriesDialog, TestShowsASampleAndAddsNothing) {
    TUserList list;
    list.Add("keep", "me");
    const uint32_t before = list.Fingerprint();
    TfrmUserSeries dialog(list);
    TLcgRandom random(7);
    dialog.Random = &random;
    Find<TRadioGroup>(dialog, "rgpLoginCase")->SetItemIndex(static_cast<int>(TCaseType::Upper));
    QTest::mouseClick(Find<QToolButton>(dialog, "btnTest"), Qt::LeftButton);
    const std::string login = Str(Find<QLineEdit>(dialog, "edtTestLogin")->text());
    const std::string password = Str(Find<QLineEdit>(dialog, "edtTestPassword")->text());
    ASSERT_EQ(login.size(), 6u);
    EXPECT_EQ(password.size(), static_cast<size_t>(TSeriesOptions::kDefaultPasswordLength));
    EXPECT_EQ(login, Upper(login));
    EXPECT_NE(std::string("AEIOUY").find(login[1]), std::string::npos) << login;
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Fingerprint(), before);
}

TEST(SeriesDialog, OkAddsTheSeriesAndCancelAddsNothing) {
    TUserList list;
    list.Add("taken", "x");
    {
        TScriptedModals modals;
        modals.OnDialog = [](QDialog& dialog) {
            QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnCancel")),
                              Qt::LeftButton);
            return dialog.result();
        };
        EXPECT_FALSE(ShowUserSeriesDialog(list));
        EXPECT_EQ(list.Count(), 1);
    }
    TScriptedModals modals;
    modals.OnDialog = [](QDialog& dialog) {
        dialog.findChild<TNaturalEdit*>(QStringLiteral("edtUserCount"))->SetValue(25);
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
        return dialog.result();
    };
    std::vector<TSeriesUser> created;
    EXPECT_TRUE(ShowUserSeriesDialog(list, nullptr, &created));
    EXPECT_TRUE(modals.Boxes.empty());
    ASSERT_EQ(list.Count(), 26);
    ASSERT_EQ(created.size(), 25u);
    std::set<std::string> logins{"TAKEN"};
    for (int i = 1; i < list.Count(); ++i) {
        const TUserProp& user = list.Users(i);
        EXPECT_EQ(user.Login, created[i - 1].Login);
        EXPECT_EQ(user.Password, created[i - 1].Password);
        EXPECT_EQ(user.Login.size(), 6u);
        EXPECT_EQ(user.Password.size(),
                  static_cast<size_t>(TSeriesOptions::kDefaultPasswordLength));
        EXPECT_TRUE(logins.insert(Upper(user.Login)).second) << "duplicate " << user.Login;
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy cursor is gone";
}

TEST(SeriesDialog, ExhaustedLoginSpaceWarnsAndStillClosesWithOk) {
    TUserList list;
    TScriptedModals modals;
    modals.OnDialog = [](QDialog& dialog) {
        dialog.findChild<TNaturalEdit*>(QStringLiteral("edtUserCount"))->SetValue(99999);
        dialog.findChild<TNaturalEdit*>(QStringLiteral("edtLoginLength"))->SetValue(4);
        dialog.findChild<TRadioGroup*>(QStringLiteral("rgpLoginChars"))
            ->SetItemIndex(static_cast<int>(TCharsType::Numeral));
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnOK")), Qt::LeftButton);
        return dialog.result();
    };
    EXPECT_TRUE(ShowUserSeriesDialog(list));
    ASSERT_EQ(modals.Boxes.size(), 1u);
    EXPECT_EQ(Str(modals.Boxes[0].Title), "Warning");
    EXPECT_EQ(Str(modals.Boxes[0].Text),
              "Only " + Str(QLocale().toString(list.Count())) +
                  " users has been created. Increase the login length to create more.");
    EXPECT_GT(list.Count(), 0);
    EXPECT_LE(list.Count(), 6561);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "no busy cursor over the warning";
}

TEST(SeriesResult, ListsCopiesAndSavesTheNewUsers) {
    const std::vector<TSeriesUser> users{{"bakuxo", "Q7eRt1uIo9"}, {"dafeme", "x y"}};
    EXPECT_EQ(SeriesText(users), "bakuxo\tQ7eRt1uIo9\ndafeme\tx y\n");
    EXPECT_EQ(SeriesText({}), "");

    TfrmSeriesResult view(users);
    EXPECT_EQ(Str(Find<QPlainTextEdit>(view, "memUsers")->toPlainText()),
              "bakuxo\tQ7eRt1uIo9\ndafeme\tx y\n");
    QTest::mouseClick(Find<QPushButton>(view, "btnCopy"), Qt::LeftButton);
    EXPECT_EQ(Str(QApplication::clipboard()->text()), SeriesText(users));

    TTempDir dir;
    const fs::path file = dir.Path() / "new-users.txt";
    {
        TScriptedModals modals;
        modals.FileNames = {QString::fromStdString(file.string())};
        QTest::mouseClick(Find<QPushButton>(view, "btnSave"), Qt::LeftButton);
        EXPECT_TRUE(modals.Boxes.empty());
    }
    EXPECT_EQ(ReadWholeFile(file), SeriesText(users));
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the list holds clear passwords";

    // A folder that does not exist: the error is shown, nothing is written.
    TScriptedModals modals;
    const fs::path bad = dir.Path() / "missing" / "x.txt";
    modals.FileNames = {QString::fromStdString(bad.string())};
    QTest::mouseClick(Find<QPushButton>(view, "btnSave"), Qt::LeftButton);
    ASSERT_EQ(modals.Boxes.size(), 1u);
    EXPECT_EQ(Str(modals.Boxes[0].Title), "Quorvane");
    EXPECT_FALSE(fs::exists(bad));
}

// What the dialog gives every user of a series reaches each of them; a groups line that the
// group rules refuse leaves the dialog open with nothing added.
TEST(SeriesDialog, EveryUserGetsThePrefixExpiryAndGroups) {
    TTempDir dir;
    TScopedSettingsFile store(QString::fromStdString((dir.Path() / "settings.ini").string()));
    TUserList list;
    TScriptedModals modals;
    {
        TfrmUserSeries dialog(list);
        Find<TNaturalEdit>(dialog, "edtUserCount")->SetValue(3);
        Find<QLineEdit>(dialog, "edtGroups")->setText(QStringLiteral("a:b"));
        dialog.btnOKClick();
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(modals.Boxes.size(), 1u);
    }
    TfrmUserSeries dialog(list);
    Find<TNaturalEdit>(dialog, "edtUserCount")->SetValue(3);
    Find<QLineEdit>(dialog, "edtPrefix")->setText(QStringLiteral("guest"));
    Find<QCheckBox>(dialog, "cbxNumbered")->setChecked(true);
    Find<QCheckBox>(dialog, "cbxExpire")->setChecked(true);
    Find<QDateEdit>(dialog, "dtpExpireDate")->setDate(QDate(2027, 1, 31));
    Find<QLineEdit>(dialog, "edtGroups")->setText(QStringLiteral("guests, wifi"));
    dialog.btnOKClick();
    ASSERT_EQ(list.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        const TUserProp& user = list.Users(i);
        EXPECT_EQ(user.Login, "guest0" + std::to_string(i + 1));
        EXPECT_TRUE(user.Expire);
        EXPECT_EQ(FormatDateTime(user.ExpireDate).substr(0, 10), "2027-01-31");
        EXPECT_EQ(user.Groups(), "guests wifi");
    }
}
