// The password form settings in the users database file: the slow forms, their work factors as
// integer entries, the hash cache key, and that every MD5 or plain-text database keeps its bytes.

#include "ListText.h"
#include "TestUtil.h"
#include "base/Errors.h"
#include "userdb/DataLib.h"
#include "userdb/DataLibInternal.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

using namespace quorvane;

namespace {

using enum TPasswordsType;

std::string Text(const TUserList& list) {
    return ObjectStreamToText(WriteObjectStream(list));
}

// The bytes of the object stream that follow the entry name.
std::string StreamValueOf(const std::string& stream, const std::string& name) {
    const std::string key = std::string(1, static_cast<char>(name.size())) + name;
    const size_t at = stream.find(key);
    if (at == std::string::npos) return "";
    return stream.substr(at + key.size(), 5);
}

TEST(PassSettings, MD5AndPlainDatabasesKeepTheirBytesWhateverTheSlowSettingsHold) {
    for (const char* name : {"new-list.udx", "two-users.udx"}) {
        const std::string original =
            ReadWholeFile(std::string(QUORVANE_TEST_DATA_DIR) + "/" + name);
        TUserList list;
        ASSERT_EQ(Read(original, list), "") << name;
        const uint32_t fingerprint = list.Fingerprint();
        EXPECT_EQ(Text(list), original) << name;
        // Settings of a form that is not chosen are not written.
        list.BcryptCost = 12;
        list.ShaRounds = 80000;
        list.HashCacheKey = std::string(64, 'a');
        EXPECT_EQ(Text(list), original) << name;
        EXPECT_EQ(list.Fingerprint(), fingerprint) << name;
        list.PassType = ptPlainText;
        TUserList plain;
        ASSERT_EQ(Read(Text(list), plain), "");
        EXPECT_EQ(Text(plain), Text(list));
    }
    TUserList fresh;
    EXPECT_EQ(fresh.Fingerprint(), 0xA160D7C5u);
}

TEST(PassSettings, EachSlowFormRoundTripsWithItsSettings) {
    struct TCase {
        TPasswordsType Type;
        int Cost, Rounds;
        const char* Lines; // what the file holds after PassType
    };
    const std::string key(64, 'f');
    const TCase cases[] = {
        {ptBcrypt, 5, 5000, "  PassType = ptBcrypt\r\n  HashCacheKey = 'fff"},
        {ptBcrypt, 17, 5000, "  PassType = ptBcrypt\r\n  BcryptCost = 17\r\n"},
        {ptBcrypt, 4, 123456, "  PassType = ptBcrypt\r\n  BcryptCost = 4\r\n"},
        {ptSHA256, 9, 5000, "  PassType = ptSHA256\r\n  HashCacheKey"},
        {ptSHA256, 5, 1000, "  PassType = ptSHA256\r\n  ShaRounds = 1000\r\n"},
        {ptSHA512, 5, 999999999, "  PassType = ptSHA512\r\n  ShaRounds = 999999999\r\n"},
        {ptSHA512, 5, 40000, "  PassType = ptSHA512\r\n  ShaRounds = 40000\r\n"},
    };
    for (const TCase& c : cases) {
        TUserList list;
        TUserProp& user = list.AddBlank();
        user.Login = "alice";
        user.Password = "secret";
        list.PassType = c.Type;
        list.BcryptCost = c.Cost;
        list.ShaRounds = c.Rounds;
        list.HashCacheKey = key;
        const std::string text = Text(list);
        EXPECT_NE(text.find(c.Lines), std::string::npos) << text;
        TUserList back;
        ASSERT_EQ(Read(text, back), "") << text;
        EXPECT_EQ(back.PassType, c.Type);
        EXPECT_EQ(back.BcryptCost, c.Type == ptBcrypt ? c.Cost : KBcryptCostDefault);
        EXPECT_EQ(back.ShaRounds, c.Type != ptBcrypt ? c.Rounds : KShaRoundsDefault);
        EXPECT_EQ(back.HashCacheKey, key);
        EXPECT_EQ(Text(back), text);
        EXPECT_EQ(back.Fingerprint(), list.Fingerprint());
    }
}

TEST(PassSettings, IntegersTakeTheSmallestTagThatHoldsThem) {
    struct TCase {
        TPasswordsType Type;
        int Value;
        std::string Bytes; // tag and payload
    };
    using namespace stream;
    const TCase cases[] = {
        {ptBcrypt, 17, std::string("\x02\x11", 2)},
        {ptSHA512, 1000, std::string("\x03\xE8\x03", 3)},
        {ptSHA512, 32767, std::string("\x03\xFF\x7F", 3)},
        {ptSHA512, 32768, std::string("\x04\x00\x80\x00\x00", 5)},
        {ptSHA256, 999999999, std::string("\x04\xFF\xC9\x9A\x3B", 5)},
    };
    for (const TCase& c : cases) {
        TUserList list;
        list.PassType = c.Type;
        (c.Type == ptBcrypt ? list.BcryptCost : list.ShaRounds) = c.Value;
        const std::string stream = WriteObjectStream(list);
        const std::string value =
            StreamValueOf(stream, c.Type == ptBcrypt ? "BcryptCost" : "ShaRounds");
        EXPECT_EQ(value.substr(0, c.Bytes.size()), c.Bytes) << c.Value;
    }
}

TEST(PassSettings, TheReaderTakesIntegersInRangeAndRefusesAnythingElse) {
    struct TCase {
        const char* Entry;
        bool Loads;
    };
    const TCase cases[] = {
        {"BcryptCost = 4", true},          {"BcryptCost = 17", true},
        {"bcryptcost = $0A", true},        {"BcryptCost = 3", false},
        {"BcryptCost = 18", false},        {"BcryptCost = -5", false},
        {"BcryptCost = 5.0", false},       {"BcryptCost = '5'", false},
        {"BcryptCost = True", false},      {"BcryptCost = ptMD5", false},
        {"BcryptCost = <>", false},        {"ShaRounds = 1000", true},
        {"ShaRounds = 999999999", true},   {"ShaRounds = 999", false},
        {"ShaRounds = 1000000000", false}, {"ShaRounds = 99999999999999999999999", false},
        {"ShaRounds = 5000d", false},      {"HashCacheKey = 'abc'", true},
        {"HashCacheKey = 5", false},
    };
    for (const TCase& c : cases) {
        TUserList list;
        const std::string error = Read(Wrap(std::string("PassType = ptBcrypt ") + c.Entry), list);
        if (c.Loads)
            EXPECT_EQ(error, "") << c.Entry;
        else
            EXPECT_EQ(error, "The file is not valid") << c.Entry;
    }
    TUserList list;
    ASSERT_EQ(Read(Wrap("PassType = PTSHA512 ShaRounds = 65536 BcryptCost = 11"), list), "");
    EXPECT_EQ(list.PassType, ptSHA512);
    EXPECT_EQ(list.ShaRounds, 65536);
    EXPECT_EQ(list.BcryptCost, 11);
}

TEST(PassSettings, AFormOfALaterVersionIsRefusedByName) {
    for (const char* form : {"ptSHA", "ptArgon2id", "PTYESCRYPT"}) {
        TUserList list;
        First(list)->PassFile = "before";
        const std::string error =
            Read(Wrap(std::string("PassFile = 'applied' PassType = ") + form), list);
        EXPECT_EQ(error, std::string("The file is not valid: it asks for the password form ") +
                             form + ", which this version of Quorvane does not know");
        EXPECT_EQ(list.PassType, ptMD5) << "misread as a form it is not";
    }
    // Identifiers that cannot be a form keep the reader's plain message.
    for (const char* value : {"True", "p", "pt", "md5"}) {
        TUserList list;
        EXPECT_EQ(Read(Wrap(std::string("PassType = ") + value), list), "The file is not valid")
            << value;
    }
}

} // namespace
