// Random logins and passwords, and series of users with unique logins.

#include "TestUtil.h"
#include "base/DateUtil.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "userdb/GenSeries.h"
#include "userdb/LoginRule.h"
#include "userdb/PasswordStrength.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

using namespace quorvane;

namespace {

const std::string kVowels = "AEIOUYaeiouy";
const std::string kConsonants = "BCDFGHJKLMNPQRSTVWXZbcdfghjklmnpqrstvwxz";
const std::string kDigits = "123456789";

bool In(const std::string& set, char c) {
    return set.find(c) != std::string::npos;
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
    return s;
}

// Answers draws from a script and records the range of every draw.
class TScriptedRandom final : public IRandomSource {
public:
    explicit TScriptedRandom(std::deque<uint32_t> answers) : FAnswers(std::move(answers)) {}
    uint32_t Random(uint32_t n) override {
        Asked.push_back(n);
        if (FAnswers.empty()) return 0;
        const uint32_t answer = FAnswers.front();
        FAnswers.pop_front();
        return answer;
    }
    std::vector<uint32_t> Asked;

private:
    std::deque<uint32_t> FAnswers;
};

// Forwards to another source and counts the draws of each range; may go wrong after a number
// of draws by answering outside the range.
class TCountingRandom final : public IRandomSource {
public:
    explicit TCountingRandom(IRandomSource& inner, long failAfter = -1)
        : FInner(inner), FFailAfter(failAfter) {}
    uint32_t Random(uint32_t n) override {
        ++Draws;
        if (n == 9) ++DigitDraws;
        if (FFailAfter >= 0 && Draws > FFailAfter) return n;
        return FInner.Random(n);
    }
    long Draws = 0;
    long DigitDraws = 0;

private:
    IRandomSource& FInner;
    long FFailAfter;
};

class TRecordingFeedback final : public ISeriesFeedback {
public:
    void BeginBusy() override { Events.push_back("begin"); }
    void EndBusy() override { Events.push_back("end"); }
    void Warning(const TMessage& message) override {
        Events.push_back("warning: " + Signature(message));
    }
    std::vector<std::string> Events;
};

} // namespace

TEST(GenerateString, DigitsTakeThePlaceOfLettersByPosition) {
    // TCharsType::Random: a draw from 0 to 4 decides; 3 means a digit.
    TScriptedRandom random({3, 0, 0, 11, 4, 0, 3, 8});
    EXPECT_EQ(GenerateString(4, TCharsType::Random, TCaseType::Random, random), "1yB9");
    EXPECT_EQ(random.Asked, (std::vector<uint32_t>{5, 9, 5, 12, 5, 40, 5, 9}));

    TScriptedRandom letters({39, 0, 20, 7});
    EXPECT_EQ(GenerateString(4, TCharsType::Letter, TCaseType::Random, letters), "zAbe");
    EXPECT_EQ(letters.Asked, (std::vector<uint32_t>{40, 12, 40, 12}));

    TScriptedRandom digits({0, 8, 4});
    EXPECT_EQ(GenerateString(3, TCharsType::Numeral, TCaseType::Upper, digits), "195");
    EXPECT_EQ(digits.Asked, (std::vector<uint32_t>{9, 9, 9}));
}

TEST(GenerateString, CaseRules) {
    TScriptedRandom upper({0, 0, 3, 2, 1, 21, 0, 9});
    EXPECT_EQ(GenerateString(4, TCharsType::Random, TCaseType::Upper, upper), "B3CO");
    TScriptedRandom lower({0, 0, 1, 5});
    EXPECT_EQ(GenerateString(4, TCharsType::Letter, TCaseType::Lower, lower), "bacy");
}

TEST(GenerateString, NothingForLengthZeroOrLess) {
    TScriptedRandom random({});
    EXPECT_EQ(GenerateString(0, TCharsType::Random, TCaseType::Random, random), "");
    EXPECT_EQ(GenerateString(-5, TCharsType::Letter, TCaseType::Lower, random), "");
    EXPECT_TRUE(random.Asked.empty());
}

TEST(GenerateString, DrawOutsideTheSetFails) {
    for (uint32_t bad : {40u, 1000u, UINT32_MAX}) {
        TScriptedRandom random({bad});
        try {
            GenerateString(3, TCharsType::Letter, TCaseType::Lower, random);
            ADD_FAILURE() << "no error for draw " << bad;
        } catch (const EQuorvaneError& e) {
            EXPECT_EQ(Signature(e.Message()), "SeriesRandomCharOutOfRange()");
        }
    }
}

TEST(GenerateString, DeterministicSequence) {
    TLcgRandom random(20240601);
    EXPECT_EQ(GenerateString(12, TCharsType::Random, TCaseType::Random, random), "jIWowuHIL26y");
    EXPECT_EQ(GenerateString(12, TCharsType::Random, TCaseType::Random, random), "MEjacYhYPYly");
    EXPECT_EQ(GenerateString(12, TCharsType::Random, TCaseType::Random, random), "K2dA7YKAzEQo");
}

TEST(GenerateString, LettersAlternateFromAConsonant) {
    TLcgRandom random(4242);
    for (int round = 0; round < 300; ++round) {
        const std::string s =
            GenerateString(1 + round % 30, TCharsType::Letter, TCaseType::Upper, random);
        ASSERT_EQ(s.size(), static_cast<size_t>(1 + round % 30));
        for (size_t i = 0; i < s.size(); ++i) {
            ASSERT_TRUE(s[i] >= 'A' && s[i] <= 'Z') << s;
            ASSERT_TRUE(In(i % 2 == 0 ? kConsonants : kVowels, s[i])) << s;
        }
    }
    for (int round = 0; round < 300; ++round) {
        const std::string s = GenerateString(6, TCharsType::Letter, TCaseType::Lower, random);
        for (size_t i = 0; i < s.size(); ++i)
            ASSERT_TRUE(s[i] >= 'a' && s[i] <= 'z' && In(i % 2 == 0 ? kConsonants : kVowels, s[i]))
                << s;
    }
}

TEST(GenerateString, Proportions) {
    TLcgRandom random(777);
    long digits = 0, letters = 0, upper = 0, total = 0;
    std::set<char> seen;
    for (int round = 0; round < 2000; ++round) {
        const std::string s = GenerateString(10, TCharsType::Random, TCaseType::Random, random);
        for (size_t i = 0; i < s.size(); ++i) {
            const char c = s[i];
            seen.insert(c);
            ++total;
            if (In(kDigits, c)) {
                ++digits;
            } else {
                ASSERT_TRUE(In(i % 2 == 0 ? kConsonants : kVowels, c)) << s;
                ++letters;
                if (c >= 'A' && c <= 'Z') ++upper;
            }
        }
    }
    EXPECT_NEAR(static_cast<double>(digits) / static_cast<double>(total), 0.2, 0.02);
    EXPECT_NEAR(static_cast<double>(upper) / static_cast<double>(letters), 0.5, 0.02);
    // Every character of the three sets occurs, and nothing else (no zero).
    EXPECT_EQ(seen.size(), kVowels.size() + kConsonants.size() + kDigits.size());
    EXPECT_EQ(seen.count('0'), 0u);

    std::set<char> numerals;
    for (int round = 0; round < 200; ++round)
        for (char c : GenerateString(8, TCharsType::Numeral, TCaseType::Random, random))
            numerals.insert(c);
    EXPECT_EQ(std::string(numerals.begin(), numerals.end()), kDigits);
}

TEST(SeriesOptions, DefaultsAndBounds) {
    const TSeriesOptions defaults;
    EXPECT_EQ(defaults.UserCount, 10);
    EXPECT_EQ(defaults.LoginLength, 6);
    EXPECT_EQ(defaults.LoginCase, TCaseType::Lower);
    EXPECT_EQ(defaults.LoginChars, TCharsType::Letter);
    EXPECT_EQ(defaults.PasswordCase, TCaseType::Random);
    EXPECT_EQ(defaults.PasswordChars, TCharsType::Random);

    TSeriesOptions wild;
    wild.UserCount = 0;
    wild.LoginLength = 1;
    wild.PasswordLength = 500;
    const TSeriesOptions clamped = wild.Clamped();
    EXPECT_EQ(clamped.UserCount, 1);
    EXPECT_EQ(clamped.LoginLength, 4);
    EXPECT_EQ(clamped.PasswordLength, 99);
    wild.UserCount = 123456;
    wild.LoginLength = 99;
    wild.PasswordLength = 4;
    EXPECT_EQ(wild.Clamped().UserCount, 99999);
    EXPECT_EQ(wild.Clamped().LoginLength, 99);
    EXPECT_EQ(wild.Clamped().PasswordLength, 4);
}

TEST(CreateSeries, ReproducibleWithTheDeterministicSource) {
    TFixedClock clock(EncodeDateTime({2024, 1, 2, 3, 4, 5, 0}));
    TUserList list;
    TLcgRandom random(7);
    TRecordingFeedback feedback;
    TSeriesOptions options;
    options.PasswordLength = 10;
    const auto created = CreateSeries(list, 2, options, random, &feedback, false);
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[0].Login, "lunidi");
    EXPECT_EQ(created[0].Password, "h1hU6I99PO");
    EXPECT_EQ(created[1].Login, "woziji");
    EXPECT_EQ(created[1].Password, "7eXuhASYja");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Users(1).Login, "woziji");
    EXPECT_EQ(list.Users(1).Password, "7eXuhASYja");
    EXPECT_DOUBLE_EQ(list.Users(1).CreatedDate, Now());
    EXPECT_DOUBLE_EQ(list.Users(1).ExpireDate, Now() + 30);
    EXPECT_FALSE(list.Users(1).Expire);
    EXPECT_EQ(feedback.Events, (std::vector<std::string>{"begin", "end"}));
}

TEST(CreateSeries, EveryLoginIsUsableAndEveryPasswordSet) {
    for (TCharsType chars : {TCharsType::Random, TCharsType::Letter, TCharsType::Numeral})
        for (TCaseType letterCase : {TCaseType::Random, TCaseType::Upper, TCaseType::Lower}) {
            TSeriesOptions options;
            options.LoginChars = chars;
            options.LoginCase = letterCase;
            options.PasswordChars = chars;
            options.PasswordCase = letterCase;
            options.LoginLength = TSeriesOptions::kMinLength;
            options.PasswordLength = TSeriesOptions::kMinLength;
            TUserList list;
            TLcgRandom random(static_cast<uint32_t>(static_cast<int>(chars) * 3 +
                                                    static_cast<int>(letterCase) + 1));
            CreateSeries(list, 300, options, random, nullptr, false);
            ASSERT_GT(list.Count(), 0);
            for (int i = 0; i < list.Count(); ++i) {
                EXPECT_EQ(CheckLogin(list.Users(i).Login), TLoginProblem::None)
                    << list.Users(i).Login;
                EXPECT_FALSE(LoginLooksLikeComment(list.Users(i).Login));
                EXPECT_FALSE(list.Users(i).Password.empty());
            }
        }
}

TEST(CreateSeries, TakenLoginsAreSkippedWhateverTheirCase) {
    TSeriesOptions options;
    options.PasswordLength = 10; // drawn once, as the scripted draws expect
    // The logins the source is about to produce, already in the list in upper case.
    TLcgRandom preview(31337);
    std::set<std::string> existing;
    TUserList list;
    for (int i = 0; i < 6; ++i) {
        const std::string login = GenerateLogin(options, preview);
        GeneratePassword(options, preview);
        existing.insert(Upper(login));
        list.Add(Upper(login), "old");
    }
    list.Add("lunidi", "old");
    existing.insert("LUNIDI");

    TLcgRandom random(31337);
    const auto created = CreateSeries(list, 10, options, random, nullptr, false);
    ASSERT_EQ(created.size(), 10u);
    ASSERT_EQ(list.Count(), 17);
    std::set<std::string> seen;
    for (int i = 0; i < 10; ++i) {
        const TUserProp& user = list.Users(7 + i);
        EXPECT_EQ(user.Login, created[static_cast<size_t>(i)].Login);
        EXPECT_EQ(user.Password, created[static_cast<size_t>(i)].Password);
        EXPECT_EQ(existing.count(Upper(user.Login)), 0u) << user.Login;
        EXPECT_TRUE(seen.insert(Upper(user.Login)).second) << user.Login;
        EXPECT_EQ(user.Login.size(), 6u);
        EXPECT_EQ(user.Password.size(), 10u);
    }
}

// Fewer numeral logins exist than users are asked for: the series makes what it can, stops
// after 51 misses in a row with the warning, and costs no more than the users it made.
TEST(CreateSeries, ExhaustedLoginSpaceStopsWithTheWarning) {
    const struct {
        int LoginLength;
        bool AllTaken; // every login of the space already in the list
        int Count;
        unsigned Seed;
        size_t MinCreated, MaxCreated;
        long Draws; // -1: not counted
    } cases[] = {
        {4, false, 99999, 2024, 5001, 6561, -1}, // 9^4 = 6561 logins exist
        {1, true, 3, 5, 0, 0, 51},               // one draw per login tried, no password drawn
        {1, false, INT_MAX, 8, 9, 9, -1},        // a huge count costs no more than nine users
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Seed);
        TSeriesOptions options;
        options.PasswordLength = 10; // drawn once, as the scripted draws expect
        options.LoginLength = c.LoginLength;
        options.LoginChars = TCharsType::Numeral;
        TUserList list;
        if (c.AllTaken) {
            for (char ch : kDigits)
                list.Add(std::string(1, ch), "x");
        }
        const int before = list.Count();
        TLcgRandom inner(c.Seed);
        TCountingRandom random(inner);
        TRecordingFeedback feedback;
        const auto created = CreateSeries(list, c.Count, options, random, &feedback, false);

        EXPECT_GE(created.size(), c.MinCreated);
        EXPECT_LE(created.size(), c.MaxCreated);
        EXPECT_EQ(list.Count(), before + static_cast<int>(created.size()));
        std::set<std::string> logins;
        for (const auto& user : created) {
            EXPECT_EQ(user.Login.size(), static_cast<size_t>(c.LoginLength));
            EXPECT_EQ(user.Login.find_first_not_of(kDigits), std::string::npos) << user.Login;
            logins.insert(user.Login);
        }
        EXPECT_EQ(logins.size(), created.size());
        if (c.Draws >= 0) {
            EXPECT_EQ(random.Draws, c.Draws);
        }
        EXPECT_EQ(
            feedback.Events,
            (std::vector<std::string>{
                "begin", "warning: SeriesShort(" + std::to_string(created.size()) + ")", "end"}));
    }
}

TEST(CreateSeries, MissesDoNotUseUpTheCount) {
    // Nine numeral logins of length 1 and nine users asked for: every one is found, after
    // however many misses on the way, as long as no 51 come in a row.
    TSeriesOptions options;
    options.PasswordLength = 10; // drawn once, as the scripted draws expect
    options.LoginLength = 1;
    options.LoginChars = TCharsType::Numeral;
    options.PasswordChars = TCharsType::Numeral;
    options.PasswordLength = 4;
    TUserList list;
    TLcgRandom random(11);
    TRecordingFeedback feedback;
    const auto created = CreateSeries(list, 9, options, random, &feedback, false);
    ASSERT_EQ(created.size(), 9u);
    std::set<std::string> logins;
    for (const auto& user : created)
        logins.insert(user.Login);
    EXPECT_EQ(logins.size(), 9u);
    EXPECT_EQ(feedback.Events, (std::vector<std::string>{"begin", "end"}));
}

TEST(CreateSeries, NothingAskedNothingDone) {
    TUserList list;
    TScriptedRandom random({});
    TRecordingFeedback feedback;
    EXPECT_TRUE(CreateSeries(list, 0, TSeriesOptions(), random, &feedback, false).empty());
    EXPECT_TRUE(CreateSeries(list, -3, TSeriesOptions(), random, &feedback, false).empty());
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(random.Asked.empty());
}

TEST(CreateSeries, FailureKeepsTheUsersAddedSoFar) {
    // Logins and passwords of letters only: exactly 6 + 10 draws per user; the source goes
    // wrong within the fourth user's login.
    TSeriesOptions options;
    options.PasswordLength = 10; // drawn once, as the scripted draws expect
    options.PasswordChars = TCharsType::Letter;
    TUserList list;
    TLcgRandom inner(3);
    TCountingRandom random(inner, 16 * 3 + 2);
    TRecordingFeedback feedback;
    try {
        CreateSeries(list, 10, options, random, &feedback, false);
        ADD_FAILURE() << "no error";
    } catch (const EQuorvaneError& e) {
        EXPECT_EQ(Signature(e.Message()), "SeriesRandomCharOutOfRange()");
    }
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(feedback.Events, (std::vector<std::string>{"begin", "end"}));
}

TEST(CreateSeries, DeterministicSourceIsSeededFromTheClock) {
    TSeriesOptions options;
    options.PasswordLength = 10; // drawn once, as the scripted draws expect
    options.LoginLength = 8;
    TUserList list;
    // A seed the clock cannot give (more milliseconds than a day has).
    TLcgRandom random(0xFFFFFFF0u);
    const uint32_t before = UtcMillisecondsOfDay();
    const auto created = CreateSeries(list, 1, options, random);
    const uint32_t after = UtcMillisecondsOfDay();
    ASSERT_EQ(created.size(), 1u);

    bool matched = false;
    for (uint32_t ms = before;; ms = (ms + 1) % 86400000u) {
        TLcgRandom expected(ms);
        if (GenerateLogin(options, expected) == created[0].Login &&
            GeneratePassword(options, expected) == created[0].Password) {
            matched = true;
            break;
        }
        if (ms == after) break;
    }
    EXPECT_TRUE(matched) << created[0].Login;
}

TEST(CreateSeries, SecureSourceGivesDistinctUsers) {
    TUserList list;
    const auto created = CreateSeries(list, 50, TSeriesOptions(), SecureRandom());
    ASSERT_EQ(created.size(), 50u);
    std::set<std::string> logins, passwords;
    for (const auto& user : created) {
        logins.insert(user.Login);
        passwords.insert(user.Password);
    }
    EXPECT_EQ(logins.size(), 50u);
    EXPECT_EQ(passwords.size(), 50u);
}

// What the options give every user of a series: the prefix and the next free number, an
// alphabet without characters read alike, the series' expiry and groups; and with the defaults
// nothing but passwords the meter rates strong.
TEST(CreateSeries, TheOptionsHoldForEveryUser) {
    struct TCase {
        const char* Name;
        TSeriesOptions Options;
        int Count;
        std::function<void(const TUserProp&)> Check;
    };
    TSeriesOptions numbered;
    numbered.LoginPrefix = "guest";
    numbered.NumberedLogins = true;
    TSeriesOptions prefixed;
    prefixed.LoginPrefix = "g-";
    prefixed.LoginChars = TCharsType::Random;
    prefixed.LoginCase = TCaseType::Random;
    TSeriesOptions clear = prefixed;
    clear.LoginPrefix.clear();
    clear.Unambiguous = true;
    TSeriesOptions guests;
    guests.Expire = true;
    guests.ExpireDate = EncodeDateTime({2027, 1, 31, 0, 0, 0, 0});
    guests.Groups = {"guests", "wifi"};
    const TCase cases[] = {
        {"numbered, skipping GUEST02", numbered, 3,
         [](const TUserProp& u) {
             EXPECT_TRUE(u.Login == "guest01" || u.Login == "guest03" || u.Login == "guest04")
                 << u.Login;
         }},
        {"prefixed", prefixed, 50,
         [](const TUserProp& u) {
             EXPECT_EQ(u.Login.rfind("g-", 0), 0u);
             EXPECT_EQ(u.Login.size(), 8u);
         }},
        {"read alike left out", clear, 400,
         [](const TUserProp& u) {
             EXPECT_EQ((u.Login + u.Password).find_first_of("IiLlOo01"), std::string::npos)
                 << u.Login << " " << u.Password;
         }},
        {"expiry and groups", guests, 5,
         [&](const TUserProp& u) {
             EXPECT_TRUE(u.Expire);
             EXPECT_DOUBLE_EQ(u.ExpireDate, guests.ExpireDate);
             EXPECT_EQ(u.Groups(), "guests wifi");
         }},
        {"defaults: strong passwords", TSeriesOptions(), 2000,
         [](const TUserProp& u) {
             EXPECT_EQ(EstimatePasswordStrength(u.Password, u.Login).Level,
                       TPasswordStrength::Strong)
                 << u.Password;
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TUserList list;
        list.Add("GUEST02", "taken");
        TLcgRandom random(4711);
        const auto created = CreateSeries(list, c.Count, c.Options, random, nullptr, false);
        ASSERT_EQ(static_cast<int>(created.size()), c.Count);
        for (int i = 1; i < list.Count(); ++i)
            c.Check(list.Users(i));
    }
}

// A prefix that cannot start a login, or a group another user spells otherwise, is refused
// before the first user is added.
TEST(CreateSeries, WhatEveryUserWouldGetIsCheckedFirst) {
    TSeriesOptions badPrefix;
    badPrefix.LoginPrefix = "a:b";
    TSeriesOptions otherSpelling;
    otherSpelling.Groups = {"Staff"};
    for (const TSeriesOptions& options : {badPrefix, otherSpelling}) {
        TUserList list;
        TUserProp& ann = list.Add("ann", "pw");
        ann.SetGroups("staff");
        TLcgRandom random(1);
        EXPECT_THROW(CreateSeries(list, 3, options, random, nullptr, false), EQuorvaneError);
        EXPECT_EQ(list.Count(), 1);
    }
}
