// Adding a user (the login checks, the default expiry) and opening a database (load, sweep).

#include "userdb/NewUser.h"

#include "TestUtil.h"
#include "base/Errors.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

using namespace quorvane;

TEST(NewUser, LoginChecks) {
    TUserList list;
    list.Add("Alice", "a");
    struct TCase {
        std::string Login;
        bool WithList;
        std::string Error; // empty: accepted
    };
    const TCase cases[] = {
        {"bob", true, ""},
        {" \t", false, "LoginBlank()"},
        {"", true, "LoginBlank()"},
        {"a:b", false, "LoginColon()"},
        {"ALICE", true, "UserExists(ALICE)"},
        {"ALICE", false, ""},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(SignatureOf([&] { CheckNewLogin(c.Login, c.WithList ? &list : nullptr); }),
                  c.Error)
            << c.Login;
}

TEST(NewUser, AddsEnabledWithTheDefaultExpiryAndRefusesATakenLogin) {
    TUserList list;
    const TDateTime before = Now();
    TUserProp& user = AddNewUser(list, "carl");
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(user.Login, "carl");
    EXPECT_FALSE(user.Disable);
    EXPECT_FALSE(user.Expire);
    EXPECT_GE(user.CreatedDate, before);
    EXPECT_EQ(user.ExpireDate, DefaultExpireDate(user.CreatedDate));
    EXPECT_GT(user.ExpireDate, user.CreatedDate + 27);
    EXPECT_THROW(AddNewUser(list, "CARL"), EQuorvaneError);
    EXPECT_EQ(list.Count(), 1);
}

TEST(NewUser, OpenDatabaseSweepsExpiredUsers) {
    TTempDir dir;
    TUserList saved;
    for (const bool expired : {true, false, true}) {
        TUserProp& user = saved.Add(expired ? "old" + std::to_string(saved.Count()) : "new", "p");
        user.Expire = true;
        user.ExpireDate = expired ? 1.0 : Now() + 100;
    }
    saved.SaveToFile(dir.File("db.udx"));
    TUserList list;
    EXPECT_EQ(OpenDatabase(list, dir.File("db.udx")), 2);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_TRUE(list.Users(0).Disable);
    EXPECT_FALSE(list.Users(1).Disable);
    EXPECT_TRUE(list.Users(2).Disable);
}

TEST(NewUser, TheDefaultPeriodComesFromTheOptionsFileOrIsThirtyDays) {
    // Each row: the options file's text (nullptr: no file), the period read.
    struct TCase {
        const char* Text;
        int Days;
    } cases[] = {
        {nullptr, KDefaultExpiryDays},
        {"", KDefaultExpiryDays},
        {"[Options]\nIdleLockMinutes=5\n", KDefaultExpiryDays},
        {"[Options]\nDefaultExpiryDays=365\n", 365},
        {"[General]\nx=1\r\n[Options]\r\nIdleLockMinutes=5\r\nDefaultExpiryDays=0\r\n", 0},
        {"[Other]\nDefaultExpiryDays=7\n", KDefaultExpiryDays},
        {"[Options]\nDefaultExpiryDays=9999\n", 9999},
        {"[Options]\nDefaultExpiryDays=10000\n", KDefaultExpiryDays},
        {"[Options]\nDefaultExpiryDays=-1\n", KDefaultExpiryDays},
        {"[Options]\nDefaultExpiryDays=12x\n", KDefaultExpiryDays},
        {"[Options]\nDefaultExpiryDays=\n", KDefaultExpiryDays},
    };
    TTempDir dir;
    for (const TCase& c : cases) {
        const std::string file = dir.File("quorvane.conf");
        std::remove(file.c_str());
        if (c.Text != nullptr) WriteWholeFile(file, c.Text);
        EXPECT_EQ(ReadDefaultExpiryDays(file), c.Days) << (c.Text ? c.Text : "no file");
    }
}

TEST(NewUser, APeriodOfDaysExpiresTheUserThatManyDaysOnAndZeroNever) {
    const TDateTime created = At(2024, 1, 31, 10, 30);
    struct TCase {
        int Days;
        bool Expire;
        TDateTime Date;
    } cases[] = {
        {30, true, At(2024, 3, 1, 10, 30)},
        {1, true, At(2024, 2, 1, 10, 30)},
        {0, false, At(2024, 2, 29, 10, 30)},
        {-5, false, At(2024, 2, 29, 10, 30)},
    };
    for (const TCase& c : cases) {
        TFixedClock clock(created);
        TUserList list;
        const TUserProp& user = AddNewUser(list, "u", c.Days);
        EXPECT_EQ(user.Expire, c.Expire) << c.Days;
        EXPECT_EQ(user.ExpireDate, c.Date) << c.Days;
    }
}
