// The list view's rules: folded text order, sort keys, filters and the count text.

#include "userdb/UserList.h"
#include "userdb/UserView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace quorvane;

TEST(UserViewRules, FoldedTextOrder) {
    EXPECT_EQ(CompareFoldedText("abc", "ABC"), 0);
    EXPECT_LT(CompareFoldedText("ab", "abc"), 0);
    EXPECT_GT(CompareFoldedText("a_b", "aXb"), 0);    // "_" lies after the capitals
    EXPECT_LT(CompareFoldedText("a_b", "a{b"), 0);    // "{" is not a letter: no folding
    EXPECT_GT(CompareFoldedText("\xC3\xA9", "z"), 0); // bytes compare unsigned
    EXPECT_EQ(CompareFoldedText("", ""), 0);
}

TEST(UserViewRules, SortKeysAndDirections) {
    TUserProp a, b;
    a.Disable = false;
    b.Disable = true;
    EXPECT_LT(CompareUsers(a, b, 2), 0);
    EXPECT_GT(CompareUsers(a, b, -2), 0);
    a.Expire = false;
    b.Expire = true;
    b.ExpireDate = 1;
    EXPECT_GT(CompareUsers(a, b, 3), 0); // "Never" after every date
    EXPECT_LT(CompareUsers(a, b, -3), 0);
    a.Expire = true;
    a.ExpireDate = 1.5;
    EXPECT_GT(CompareUsers(a, b, 3), 0); // time of day counts
    a.Expire = b.Expire = false;
    EXPECT_EQ(CompareUsers(a, b, 3), 0);
    a.Email = "x@EXAMPLE.org";
    b.Email = "x@example.org";
    EXPECT_EQ(CompareUsers(a, b, 4), 0);
    a.FullName = "Bob";
    b.FullName = "alice";
    EXPECT_GT(CompareUsers(a, b, 5), 0);
    EXPECT_LT(CompareUsers(a, b, -5), 0);
    a.CreatedDate = 10.25;
    b.CreatedDate = 10.5;
    EXPECT_LT(CompareUsers(a, b, 6), 0);
}

TEST(UserViewRules, FilterAndCountText) {
    TUserProp on, off;
    off.Disable = true;
    EXPECT_TRUE(UserPassesFilter(on, TUserFilter::Enabled));
    EXPECT_FALSE(UserPassesFilter(off, TUserFilter::Enabled));
    EXPECT_TRUE(UserPassesFilter(off, TUserFilter::Disabled));
    EXPECT_FALSE(UserPassesFilter(on, TUserFilter::Disabled));
    EXPECT_TRUE(UserPassesFilter(off, TUserFilter::All));
    EXPECT_EQ(UserCountText(0, 0), "0 user(s)");
    EXPECT_EQ(UserCountText(12, 15), "12 user(s) (plus 3 hidden)");
    EXPECT_EQ(UserCountText(3, 3), "3 user(s)");
}

TEST(UserViewRules, SortedOrderAgreesWithTheComparisonForEveryKey) {
    // Texts that share long prefixes, differ only in case, hold blanks, underscores, zero bytes
    // and bytes above 127, and are longer and shorter than the prepared keys.
    const std::string pieces[] = {"a",        "A", "_", "z", "Z", "b", std::string(1, '\0'),
                                  "\xC3\xA9", " "};
    TUserList list;
    uint32_t seed = 7;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int i = 0; i < 600; ++i) {
        TUserProp& user = list.AddBlank();
        const std::string stem = next(2) ? "common-prefix-of-twenty" : "ab";
        auto text = [&] {
            std::string s = next(4) == 0 ? std::string() : stem;
            const uint32_t n = next(5);
            for (uint32_t k = 0; k < n; ++k)
                s += pieces[next(9)];
            return s;
        };
        user.Login = text();
        user.Email = text();
        user.FullName = text();
        user.SetGroups(text());
        user.Disable = next(2);
        user.Expire = next(2);
        user.ExpireDate = next(4) + next(3) * 0.25;
        user.CreatedDate = next(5) * 0.5;
    }
    std::vector<TUserProp*> users;
    for (int i = 0; i < list.Count(); ++i)
        users.push_back(&list.Users(i));
    for (int key : {1, -1, 2, -2, 3, -3, 4, -4, 5, -5, 6, -6, 8, -8}) {
        const std::vector<int> order = SortedOrder(users, key);
        ASSERT_EQ(order.size(), users.size());
        std::vector<int> seen(order);
        std::sort(seen.begin(), seen.end());
        for (size_t i = 0; i < seen.size(); ++i)
            ASSERT_EQ(seen[i], static_cast<int>(i));
        for (size_t i = 0; i + 1 < order.size(); ++i) {
            const TUserProp& a = *users[static_cast<size_t>(order[i])];
            const TUserProp& b = *users[static_cast<size_t>(order[i + 1])];
            const int result = CompareUsers(a, b, key);
            ASSERT_LE(result, 0) << "key " << key << " at " << i << ": " << a.Login << " / "
                                 << b.Login;
            if (result == 0) {
                EXPECT_LT(order[i], order[i + 1]) << "equal users keep their order";
            }
        }
    }
}
