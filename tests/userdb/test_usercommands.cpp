// Find, the state commands, change detection and the mail link over a user list.

#include "userdb/UserCommands.h"

#include <gtest/gtest.h>

using namespace quorvane;

TEST(FindMatch, SubstringWholeWordAndCase) {
    EXPECT_TRUE(FindTextMatches("John Smith", "SMITH", false, false));
    EXPECT_FALSE(FindTextMatches("John Smith", "SMITH", true, false))
        << "whole word: the whole field";
    EXPECT_TRUE(FindTextMatches("smith", "SMITH", true, false));
    EXPECT_FALSE(FindTextMatches("Smith", "SMITH", false, true));
    EXPECT_TRUE(FindTextMatches("Smith", "Smith", true, true));
    EXPECT_FALSE(FindTextMatches("Smit", "Smith", false, false));
    // Only a-z fold: accented letters and symbols compare as they are.
    EXPECT_FALSE(FindTextMatches("\xc3\xa4rger", "\xc3\x84RGER", false, false));
    EXPECT_TRUE(FindTextMatches("a_b", "A_B", true, false));
    EXPECT_FALSE(FindTextMatches("[", "{", false, false));
}

TEST(StateCommands, EachTagChangesItsField) {
    TUserList list;
    TUserProp& user = list.AddBlank();
    user.ExpireDate = 100.5;
    EXPECT_TRUE(ApplyStateCommand(user, TStateCommand::Disable, 0));
    EXPECT_TRUE(user.Disable);
    EXPECT_TRUE(ApplyStateCommand(user, TStateCommand::Enable, 0));
    EXPECT_FALSE(user.Disable);
    EXPECT_TRUE(ApplyStateCommand(user, TStateCommand::SetExpireDate, 45000.25));
    EXPECT_TRUE(user.Expire);
    EXPECT_EQ(user.ExpireDate, 45000.25);
    EXPECT_TRUE(ApplyStateCommand(user, TStateCommand::NeverExpire, 0));
    EXPECT_FALSE(user.Expire);
    EXPECT_EQ(user.ExpireDate, 45000.25) << "Never Expire keeps the date";
}

// What a command reports as a change decides whether the database is saved.
TEST(StateCommands, ReportsOnlyRealChanges) {
    struct TCase {
        TStateCommand Command;
        TDateTime Date;
        bool Changed;
    } const cases[] = {
        {TStateCommand::Enable, 0, false}, // already enabled
        {TStateCommand::Disable, 0, true},
        {TStateCommand::SetExpireDate, 100.5, false}, // the same date again
        {TStateCommand::SetExpireDate, 100.75, true}, // another date
        {TStateCommand::NeverExpire, 0, true},
        {TStateCommand::NeverExpire, 0, false},
    };
    TUserList list;
    TUserProp& user = list.AddBlank();
    user.Expire = true;
    user.ExpireDate = 100.5;
    for (const TCase& c : cases) {
        const TUserProp before = user;
        EXPECT_EQ(ApplyStateCommand(user, c.Command, c.Date), c.Changed)
            << static_cast<int>(c.Command) << " from Disable=" << before.Disable
            << " Expire=" << before.Expire;
    }
}

TEST(ChangeCheck, SeesRealChangesOnlyIncludingCancellingSums) {
    TUserList list;
    TUserProp& user = list.Add("bob", "aaaaaaaa");
    user.Expire = false;
    {
        const TListChangeCheck check(list);
        ApplyStateCommand(user, TStateCommand::NeverExpire, 0); // already without expiry
        user.Login = "bob";
        EXPECT_FALSE(check.Changed());
    }
    {
        const uint32_t fingerprint = list.Fingerprint();
        const TListChangeCheck check(list);
        user.Password = "baaa`aaa"; // +1 and -1 in the same lane of two words
        EXPECT_EQ(list.Fingerprint(), fingerprint);
        EXPECT_TRUE(check.Changed());
    }
}

TEST(SendMail, JoinsTrimmedAddressesAndSkipsEmptyOnes) {
    TUserList list;
    list.AddBlank().Email = "a@example.org";
    list.AddBlank().Email = "";
    list.AddBlank().Email = " \tb@example.org \r\n";
    list.AddBlank().Email = "   ";
    std::vector<const TUserProp*> users;
    for (int i = 0; i < list.Count(); ++i)
        users.push_back(&list.Users(i));
    EXPECT_EQ(MailtoText(users), "mailto:a@example.org;b@example.org");
    EXPECT_EQ(MailtoText({&list.Users(1), &list.Users(3)}), "mailto:");
    EXPECT_EQ(MailtoText({&list.Users(2)}), "mailto:b@example.org");
    EXPECT_EQ(TrimBlanks(std::string("\x01 x y\x1f", 6)), "x y");
}
