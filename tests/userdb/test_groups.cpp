// Groups: which names a user may be given, how they are kept in the database file (only when
// used), and the report filter of `list` and the view.

#include "TestUtil.h"
#include "base/Errors.h"
#include "userdb/Groups.h"
#include "userdb/UserCommands.h"
#include "userdb/UserList.h"
#include "userdb/UserView.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace quorvane;

TEST(Groups, ANameListIsSplitAtCommasAndBlanksAndRefusesWhatWouldBreakTheGroupFile) {
    struct TCase {
        std::string Text;
        std::optional<std::vector<std::string>> Names; // none: refused
    };
    const TCase cases[] = {
        {"staff, editors", std::vector<std::string>{"staff", "editors"}},
        {" staff\teditors,,staff ", std::vector<std::string>{"staff", "editors"}},
        {"", std::vector<std::string>{}},
        {"ops:admin", std::nullopt},  // ":" ends the group's name in the file
        {"ops\nadmin", std::nullopt}, // a line break would start a forged line
        {std::string("a\0b", 3), std::nullopt},
        {"\xC3\xA9quipe", std::vector<std::string>{"\xC3\xA9quipe"}}, // bytes above 127 pass
        {"#staff", std::nullopt},      // Apache reads the group's line as a comment
        {"staff Staff", std::nullopt}, // one group to Apache, two spellings
        {"sta#ff", std::vector<std::string>{"sta#ff"}},
        {"\xC3\xA9quipe \xC3\x89quipe", std::vector<std::string>{"\xC3\xA9quipe", "\xC3\x89quipe"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        if (c.Names) {
            EXPECT_EQ(ParseGroupList(c.Text), *c.Names);
        } else {
            EXPECT_THROW(ParseGroupList(c.Text), EQuorvaneError);
        }
    }
}

// A group has one spelling in the database, letters a to z folded as Apache folds them; the
// user being changed does not count, so its own groups can be spelled anew.
TEST(Groups, AGroupNamedIsRefusedWhenAnotherUserSpellsItOtherwise) {
    TUserList list;
    SetUserGroups(list.Add("ann", "pw"), {"staff", "web"});
    TUserProp& bob = list.Add("bob", "pw");
    SetUserGroups(bob, {"board"});
    struct TCase {
        std::vector<std::string> Groups;
        const TUserProp* Except;
        std::string Signature; // empty: accepted
    };
    const TCase cases[] = {
        {{"staff"}, nullptr, ""},
        {{"Staff"}, nullptr, "GroupSpellings(Staff, staff)"},
        {{"web", "STAFF"}, nullptr, "GroupSpellings(STAFF, staff)"},
        {{"Board"}, &bob, ""}, // bob alone spells it: a new spelling of his own group
        {{"Board"}, &list.Users(0), "GroupSpellings(Board, board)"},
        {{"St\xC3\xA4"
          "ff"},
         nullptr,
         ""}, // only a to z fold
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Groups.back());
        const TMessage m = GroupSpellingMessage(list, c.Groups, c.Except);
        EXPECT_EQ(m.Empty() ? std::string() : Signature(m), c.Signature);
    }
    EXPECT_TRUE(GroupClashMessage(list).Empty());
    // A database that holds two spellings already names them.
    SetUserGroups(bob, {"board", "Web"});
    EXPECT_EQ(Signature(GroupClashMessage(list)), "GroupSpellings(web, Web)");
}

TEST(Groups, MembershipIsStoredOnlyWhenUsedAndComesBackFromTheFile) {
    TTempDir dir;
    TUserList list;
    list.Add("ann", "pw");
    list.Add("bob", "pw");
    const std::string plain = dir.File("plain.udx");
    list.SaveToFile(plain);
    const uint32_t before = list.Fingerprint();
    EXPECT_EQ(ReadWholeFile(plain).find("Groups"), std::string::npos);

    EXPECT_TRUE(AddUserToGroup(list.Users(0), "staff"));
    EXPECT_FALSE(AddUserToGroup(list.Users(0), "staff"));
    EXPECT_TRUE(AddUserToGroup(list.Users(0), "editors"));
    EXPECT_NE(list.Fingerprint(), before);
    const std::string grouped = dir.File("grouped.udx");
    list.SaveToFile(grouped);
    EXPECT_NE(ReadWholeFile(grouped).find("Groups = 'staff editors'"), std::string::npos);
    TUserList back;
    back.LoadFromFile(grouped);
    EXPECT_EQ(UserGroups(back.Users(0)), (std::vector<std::string>{"staff", "editors"}));
    EXPECT_EQ(AllGroups(back), (std::vector<std::string>{"editors", "staff"}));

    // Out of every group again: the same bytes as before any group.
    EXPECT_TRUE(RemoveUserFromGroup(list.Users(0), "staff"));
    EXPECT_TRUE(RemoveUserFromGroup(list.Users(0), "editors"));
    EXPECT_FALSE(AnyUserHasGroups(list));
    list.SaveToFile(grouped);
    EXPECT_EQ(ReadWholeFile(grouped), ReadWholeFile(plain));
    EXPECT_EQ(list.Fingerprint(), before);
}

TEST(ReportFilter, EachConditionSelectsItsUsersAndAllMustHold) {
    const TDateTime now = At(2026, 6, 1, 12);
    TUserList list;
    auto add = [&](const char* login, bool disabled, std::optional<double> expiresInDays,
                   const char* groups) {
        TUserProp& u = list.Add(login, "pw");
        u.Disable = disabled;
        u.Expire = expiresInDays.has_value();
        if (expiresInDays) u.ExpireDate = now + *expiresInDays;
        SetUserGroups(u, ParseGroupList(groups));
    };
    add("soon", false, 3, "staff");
    add("later", false, 30, "");
    add("never", false, std::nullopt, "staff");
    add("gone", false, -1, "");      // passed, not swept yet
    add("swept", true, -2, "staff"); // passed and disabled
    add("off", true, 5, "");         // disabled, would expire soon
    const auto select = [&](const TUserReportFilter& f) {
        std::string logins;
        for (int i = 0; i < list.Count(); ++i)
            if (f.Matches(list.Users(i), now)) logins += list.Users(i).Login + " ";
        return logins;
    };
    TUserReportFilter within14;
    within14.ExpiringWithinDays = 14;
    TUserReportFilter expired;
    expired.Expired = true;
    TUserReportFilter staff;
    staff.Group = "staff";
    TUserReportFilter enabledStaff = staff;
    enabledStaff.State = TUserFilter::Enabled;
    TUserReportFilter disabledExpired = expired;
    disabledExpired.State = TUserFilter::Disabled;
    EXPECT_EQ(select(within14), "soon ");
    EXPECT_EQ(select(expired), "gone swept ");
    EXPECT_EQ(select(staff), "soon never swept ");
    EXPECT_EQ(select(enabledStaff), "soon never ");
    EXPECT_EQ(select(disabledExpired), "swept ");
    EXPECT_EQ(select({}), "soon later never gone swept off ");
}

// An edit of several users at once: groups joined and left in any spelling, the expiry set or
// kept, and a refusal that changes nobody.
TEST(Groups, AnEditOfSeveralUsersChangesEachOrNone) {
    using TExpiry = TSeveralUsersChange::TExpiry;
    struct TCase {
        std::vector<std::string> Join, Leave;
        TExpiry Expiry;
        std::string Groups; // of ann and bob afterwards; carl is never selected
        bool Expire;
        bool Refused;
    };
    const TCase cases[] = {
        {{"web"}, {}, TExpiry::Keep, "staff web", true, false},
        {{}, {"STAFF"}, TExpiry::Never, "", false, false},
        {{"Web"}, {"staff"}, TExpiry::On, "Web", true, false},
        {{"Board"}, {}, TExpiry::Keep, "staff", true, true}, // carl spells it "board"
        {{"web"}, {"WEB"}, TExpiry::Keep, "staff", true, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Groups);
        TUserList list;
        for (const char* login : {"ann", "bob", "carl"}) {
            TUserProp& user = list.Add(login, "pw");
            user.Expire = true;
            user.ExpireDate = 100;
            user.SetGroups(std::string(login) == "carl" ? "board" : "staff");
        }
        TSeveralUsersChange change;
        change.Join = c.Join;
        change.Leave = c.Leave;
        change.Expiry = c.Expiry;
        change.ExpireDate = 200;
        if (c.Refused) {
            EXPECT_THROW(ChangeSeveralUsers(list, {0, 1}, change), EQuorvaneError);
        } else {
            const auto changed = ChangeSeveralUsers(list, {0, 1}, change);
            ASSERT_EQ(changed.size(), 2u);
            EXPECT_EQ(changed[1].second.Groups(), "staff"); // bob as he was
        }
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(list.Users(i).Groups(), c.Groups);
            EXPECT_EQ(list.Users(i).Expire, c.Expire);
            EXPECT_EQ(list.Users(i).ExpireDate, c.Expiry == TExpiry::On && !c.Refused ? 200 : 100);
        }
        EXPECT_EQ(list.Users(2).Groups(), "board");
    }
}
