// The scheme table: every password form has one consistent row, and each row's functions agree
// with each other and with the peers that read the password file.

#include "export/HashSchemes.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

using namespace quorvane;

TEST(HashSchemes, EveryFormHasOneRowUnderItsStoredName) {
    ASSERT_EQ(HashSchemes().size(), KPasswordsTypes.size());
    std::set<std::string_view> stored, display, cli;
    for (TPasswordsType id : KPasswordsTypes) {
        const THashScheme& row = SchemeOf(id);
        EXPECT_EQ(row.Id, id);
        EXPECT_EQ(row.StoredName, PasswordsTypeName(id));
        EXPECT_EQ(PasswordsTypeFromName(row.StoredName), id);
        EXPECT_TRUE(stored.insert(row.StoredName).second) << row.StoredName;
        EXPECT_TRUE(display.insert(row.DisplayName).second) << row.DisplayName;
        if (row.DisplayText != nullptr) {
            EXPECT_EQ(row.DisplayText->English, row.DisplayName);
        }
        EXPECT_TRUE(cli.insert(row.CliName).second) << row.CliName;
        EXPECT_FALSE(row.DisplayName.empty());
        // A scheme with a setting says its range in its own words.
        EXPECT_EQ(row.Param != nullptr, row.ParamRange != nullptr) << row.StoredName;
        EXPECT_EQ(SchemeByCliName(row.CliName), &row);
        EXPECT_EQ(row.MakeSetting == nullptr, row.HashWithSetting == nullptr) << row.StoredName;
        ASSERT_NE(row.Verify, nullptr) << row.StoredName;
        if (row.Param) {
            EXPECT_LE(row.Param->Min, row.Param->Default) << row.StoredName;
            EXPECT_LE(row.Param->Default, row.Param->Max) << row.StoredName;
        }
    }
}

TEST(HashSchemes, StoredNamesAreReadWithoutRegardToCase) {
    const struct {
        const char* Name;
        std::optional<TPasswordsType> Expected;
    } cases[] = {
        {"ptMD5", TPasswordsType::ptMD5},
        {"PTmd5", TPasswordsType::ptMD5},
        {"ptplaintext", TPasswordsType::ptPlainText},
        {"ptPlainText ", std::nullopt},
        {"ptSHA", std::nullopt},
        {"", std::nullopt},
        {"md5", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PasswordsTypeFromName(c.Name), c.Expected) << c.Name;
}

TEST(HashSchemes, UnknownCommandLineNamesAreRefused) {
    for (const char* name : {"", "MD5", "ptMD5", "plain ", "sha"})
        EXPECT_EQ(SchemeByCliName(name), nullptr) << name;
}

TEST(HashSchemes, EachHashVerifiesItsPasswordAndNoOther) {
    for (const THashScheme& row : HashSchemes()) {
        TLcgRandom random(7);
        const std::string passwords[] = {"", "secret", "pass word", std::string("\xE9t\xE9", 3),
                                         std::string(40, 'x')};
        for (const std::string& password : passwords) {
            const std::string hash = row.Hash(password, random, row.DefaultParam());
            EXPECT_TRUE(hash.starts_with(row.Prefix)) << hash;
            EXPECT_TRUE(row.Verify(password, hash, "")) << row.StoredName << " " << password;
            EXPECT_FALSE(row.Verify(password + "x", hash, "")) << row.StoredName << " " << password;
            if (row.StoresClearText()) {
                EXPECT_EQ(hash, password);
            } else {
                EXPECT_NE(hash, password);
                EXPECT_EQ(SchemeOfHash(hash), &row);
            }
        }
    }
}

// The writer's batch, on any number of workers, gives each user what hashing it alone gives:
// every length up to and past the lanes' block, every byte value but zero, one long password.
TEST(HashSchemes, BatchHashingGivesWhatOneByOneGives) {
    std::mt19937 rng(11);
    std::vector<std::string> owned;
    for (int i = 0; i < 150; ++i) {
        std::string password(rng() % 40, '\0');
        for (char& c : password)
            c = static_cast<char>(1 + rng() % 255);
        owned.push_back(password);
    }
    owned.push_back(std::string(500, 'x'));
    const std::vector<std::string_view> passwords(owned.begin(), owned.end());
    for (const THashScheme& row : HashSchemes()) {
        if (!row.HashBatch) continue;
        TLcgRandom random(11);
        std::vector<std::string> settings;
        std::vector<std::string> alone; // one by one, once for every number of workers
        for (size_t i = 0; i < passwords.size(); ++i) { // the cheapest work factor: many hashes
            settings.push_back(row.MakeSetting(random, row.Param ? row.Param->Min : 0));
            alone.push_back(row.HashWithSetting(passwords[i], settings[i]));
        }
        for (unsigned threads : {0u, 1u, 2u, 3u, 16u}) {
            std::vector<std::string> batch;
            row.HashBatch(passwords, settings, batch, threads);
            ASSERT_EQ(batch.size(), passwords.size());
            for (size_t i = 0; i < passwords.size(); ++i)
                EXPECT_EQ(batch[i], alone[i])
                    << row.StoredName << ", " << threads << " workers, password " << i;
        }
    }
}

// Every form, those only other programs read included: its value verifies its password and no
// other, is told by its stored scheme, and with Dovecot's tag in front still verifies.
TEST(HashSchemes, EveryFormsValueIsRecognisedAndVerified) {
    for (const THashScheme& row : AllForms()) {
        SCOPED_TRACE(std::string(row.CliName));
        TLcgRandom random(3);
        const int param = row.Param ? row.Param->Min : 0;
        const std::string value = row.HashFor("alice", "the realm", "pass word", random, param);
        EXPECT_TRUE(row.Verify("pass word", value, "alice")) << value;
        EXPECT_FALSE(row.Verify("pass wort", value, "alice")) << value;
        EXPECT_EQ(FormByCliName(row.CliName), &row);
        if (row.Stored == TStoredScheme::Unknown) {
            EXPECT_TRUE(row.Prefix.empty());
            continue;
        }
        EXPECT_EQ(IdentifyStoredHash(value), row.Stored) << value;
        EXPECT_EQ(SchemeOfHash(value), &row) << value;
        EXPECT_TRUE(VerifyStoredHash("pass word", value)) << value;
        if (!row.DovecotName.empty()) {
            const std::string tagged = "{" + std::string(row.DovecotName) + "}" + value;
            EXPECT_EQ(IdentifyStoredHash(tagged), row.Stored) << tagged;
            EXPECT_TRUE(VerifyStoredHash("pass word", tagged)) << tagged;
            EXPECT_FALSE(VerifyStoredHash("pass wort", tagged)) << tagged;
        }
    }
}
