// Apache's group file: what BuildGroupFile writes for the password file's users, and how
// ReadGroupFile takes an existing one over.

#include "TestUtil.h"
#include "base/Errors.h"
#include "export/GroupFile.h"
#include "export/PasswordFile.h"
#include "userdb/Groups.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <string>

using namespace quorvane;

TEST(GroupFile, GroupsSortedEnabledMembersInFileOrderEmptyGroupsLeftOut) {
    TUserList list;
    const auto add = [&](const char* login, bool disabled, const char* groups) {
        TUserProp& u = list.Add(login, "pw");
        u.Disable = disabled;
        SetUserGroups(u, ParseGroupList(groups));
    };
    add("carl", false, "staff");
    add("Bob", false, "staff,web");
    add("ann", true, "staff");  // disabled: in no group of the file
    add("dora", true, "board"); // the only member, disabled: no line for the group
    add("ed", false, "");
    const auto entries = PasswordFileEntries(list);
    EXPECT_EQ(BuildGroupFile(entries, "\r\n"), "staff: Bob carl\r\nweb: Bob\r\n");
    EXPECT_EQ(BuildGroupFile(entries, "\n"), "staff: Bob carl\nweb: Bob\n");
    // Apache splits a member list at blanks and unquotes quotes: such a login would make other
    // users members, so it stops the file (when it is in a group at all).
    for (const char* login : {"john smith", "\"ed\"", "a\\\\b"}) {
        SCOPED_TRACE(login);
        add(login, false, "");
        EXPECT_NO_THROW(BuildGroupFile(PasswordFileEntries(list), "\n"));
        SetUserGroups(list.Users(list.Count() - 1), {"staff"});
        EXPECT_THROW(BuildGroupFile(PasswordFileEntries(list), "\n"), EQuorvaneError);
        list.Remove(&list.Users(list.Count() - 1));
    }
}

TEST(GroupFile, AGroupTooLongForApachesLineGoesOnOverLinesOfItsOwn) {
    TUserList list;
    for (int i = 0; i < 1500; ++i)
        SetUserGroups(list.Add("member" + std::to_string(10000 + i), "pw"), {"all"});
    const std::string text = BuildGroupFile(PasswordFileEntries(list), "\n");
    size_t members = 0, start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        EXPECT_LE(line.size() + 1, KGroupLineLimit);
        ASSERT_EQ(line.rfind("all: member", 0), 0u) << line.substr(0, 40);
        members += static_cast<size_t>(std::count(line.begin(), line.end(), ' '));
        start = end + 1;
    }
    EXPECT_EQ(members, 1500u);
    EXPECT_GT(std::count(text.begin(), text.end(), '\n'), 1);
}

TEST(GroupFile, AnExistingFileIsTakenOverPerUserAndABrokenLineIsNamed) {
    TTempDir dir;
    WriteWholeFile(dir.File("groups"),
                   "# site groups\r\nstaff: ann bob\r\n\r\nweb:bob\nstaff: carl\n");
    const auto users = ReadGroupFile(dir.File("groups"));
    ASSERT_EQ(users.size(), 3u);
    EXPECT_EQ(users[0].Login, "ann");
    EXPECT_EQ(users[1].Groups, (std::vector<std::string>{"staff", "web"}));
    EXPECT_EQ(users[2].Groups, (std::vector<std::string>{"staff"}));
    // Refused whole, naming the line: one without a group, and a second spelling of a group,
    // which Apache joins with the first and the database would keep apart.
    const std::string broken = dir.File("broken");
    const std::pair<const char*, std::string> cases[] = {
        {"staff: ann\nno colon here\n", "GroupFileBadLine(" + broken + ", 2)"},
        {"staff: ann\nweb: bob\n\nStaff: carl\n",
         "GroupFileSpellings(" + broken + ", 4, Staff, staff, 1)"},
    };
    for (const auto& [text, signature] : cases) {
        WriteWholeFile(broken, text);
        try {
            ReadGroupFile(broken);
            ADD_FAILURE() << "taken: " << text;
        } catch (const EQuorvaneError& e) {
            EXPECT_EQ(Signature(e.Message()), signature);
        }
    }
}
