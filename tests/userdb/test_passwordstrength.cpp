#include "userdb/PasswordStrength.h"

#include <gtest/gtest.h>

using namespace quorvane;

// What a person would call each password: long but predictable ones are weak, short random
// ones weak to fair, long random ones strong; the login and the words every guessing list
// starts with count as known wherever they stand.
TEST(PasswordStrength, LengthVarietyAndWhatAGuesserTriesFirst) {
    using L = TPasswordStrength;
    const struct {
        const char* Password;
        const char* Login;
        L Level;
    } cases[] = {
        {"", "", L::Empty},
        {"aaaaaaaaaaaaaaaaaaaa", "", L::VeryWeak},
        {"abcdefghijklmnopqrst", "", L::VeryWeak},
        {"98765432109876543210", "", L::VeryWeak},
        {"abababababababababab", "", L::VeryWeak},
        {"Password2024", "", L::VeryWeak},
        {"xqQWERTYzk", "", L::VeryWeak},
        {"jsmith99", "jsmith", L::VeryWeak},
        {"JSmith99", "jsmith", L::VeryWeak},
        {"mkvqztw", "", L::Weak},
        {"kx7bq2mz", "", L::Fair},
        {"Tz8!qL3#vR9p", "", L::Strong},
        {"correct horse battery staple", "", L::Strong},
        {"k\xc3\xa4s\xc3\xbc\xc3\x9f", "", L::Fair}, // bytes beyond ASCII widen the pool
    };
    for (const auto& c : cases) {
        const TStrengthEstimate estimate = EstimatePasswordStrength(c.Password, c.Login);
        EXPECT_EQ(estimate.Level, c.Level) << c.Password << " (" << estimate.Bits << " bits)";
    }
    // The login makes a difference only when it is in the password.
    EXPECT_GT(EstimatePasswordStrength("jsmith99").Bits,
              EstimatePasswordStrength("jsmith99", "jsmith").Bits);
    EXPECT_EQ(EstimatePasswordStrength("kx7bq2mz", "ann").Bits,
              EstimatePasswordStrength("kx7bq2mz").Bits);
}
