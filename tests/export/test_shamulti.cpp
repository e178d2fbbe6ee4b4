// The multi-buffer SHA-crypt paths against the system's crypt (libxcrypt's crypt_rn, one user at a
// time): the published vectors of "Unix crypt using SHA-256 and SHA-512", the settings crypt
// accepts and refuses, passwords and salts across the block boundaries in full and partly empty
// groups of every path, and the batch of the password file writer.

#include "BatchCheck.h"
#include "TestUtil.h"
#include "base/Errors.h"
#include "export/CryptSchemes.h"
#include "export/ShaMulti.h"
#include "export/htpasswd.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

using namespace quorvane;

namespace {

// crypt_rn one user at a time, and a batch's results held to it.
const auto ShaReference = OneUser<CryptHash>;
const auto ExpectSameAsCrypt = ExpectSameAsOneUser<CryptHash>;

// The first `count` users hashed together on `path`.
std::vector<std::string> Hash(const TBatch& batch, TLanePath path, size_t count) {
    const std::vector<std::string_view> views(batch.Passwords.begin(),
                                              batch.Passwords.begin() + count);
    const std::vector<std::string> settings(batch.Settings.begin(), batch.Settings.begin() + count);
    std::vector<std::string> results(count);
    ShaCryptMulti(views, settings, results, path);
    return results;
}

// Passwords of every length from 0 to 130 bytes (any byte but zero), so that each hash's messages
// cross their 64- and 128-byte block boundaries at every offset; salts of 0 to 20 characters
// (crypt uses 16); both hashes; the default rounds and a few others.
TBatch MixedBatch() {
    std::mt19937 rng(30);
    TBatch batch;
    for (size_t length = 0; length <= 130; ++length) {
        std::string password(length, 'x');
        for (char& c : password)
            c = static_cast<char>(1 + rng() % 255);
        std::string salt(rng() % 21, '.');
        for (char& c : salt)
            c = KCryptAlphabet[rng() % 64];
        const char* prefix = length % 2 != 0 ? "$5$" : "$6$";
        const std::string rounds =
            length % 3 == 0 ? "" : "rounds=" + std::to_string(1000 + length % 5) + "$";
        batch.Add(password, prefix + rounds + salt);
    }
    return batch;
}

class ShaMultiPath : public ::testing::TestWithParam<TLanePath> {
protected:
    void SetUp() override {
        if (!ShaPaths().Available(GetParam()))
            GTEST_SKIP() << "this processor cannot run the " << LanePathName(GetParam()) << " path";
    }
};

struct TVector {
    const char* Setting;
    const char* Password;
    const char* Expected;
};

// The published vectors. Their "rounds=10" case is clamped to 1000 by the reference code; the
// system's crypt refuses it (see the settings table), so it is here with 1000 given.
const TVector KVectors[] = {
    {"$5$saltstring", "Hello world!", "$5$saltstring$5B8vYYiY.CVt1RlTTf8KbXBH3hsxY/GNooZaBBGWEc5"},
    {"$5$rounds=10000$saltstringsaltstring", "Hello world!",
     "$5$rounds=10000$saltstringsaltst$3xv.VbSHBb41AL9AvLeujZkZRBAwqFMz2.opqey6IcA"},
    {"$5$rounds=5000$toolongsaltstring", "This is just a test",
     "$5$rounds=5000$toolongsaltstrin$Un/5jzAHMgOGZ5.mWJpuVolil07guHPvOW8mGRcvxa5"},
    {"$5$rounds=1400$anotherlongsaltstring",
     "a very much longer text to encrypt.  This one even stretches over morethan one line.",
     "$5$rounds=1400$anotherlongsalts$Rx.j8H.h8HjEDGomFU8bDkXm3XIUnzyxf12oP84Bnq1"},
    {"$5$rounds=77777$short", "we have a short salt string but not a short password",
     "$5$rounds=77777$short$JiO1O3ZpDAxGJeaDIuqCoEFysAe1mZNJRs3pw0KQRd/"},
    {"$5$rounds=123456$asaltof16chars..", "a short string",
     "$5$rounds=123456$asaltof16chars..$gP3VQ/6X7UUEW3HkBn2w1/Ptq2jxPyzV/cZKmF/wJvD"},
    {"$5$rounds=1000$roundstoolow", "the minimum number is still observed",
     "$5$rounds=1000$roundstoolow$yfvwcWrQ8l/K0DAWyuPMDNHpIVlTQebY9l/gL972bIC"},
    {"$6$saltstring", "Hello world!",
     "$6$saltstring$svn8UoSVapNtMuq1ukKS4tPQd8iKwSMHWjl/"
     "O817G3uBnIFNjnQJuesI68u4OTLiBFdcbYEdFCoEOfaS35inz1"},
    {"$6$rounds=10000$saltstringsaltstring", "Hello world!",
     "$6$rounds=10000$saltstringsaltst$OW1/"
     "O6BYHV6BcXZu8QVeXbDWra3Oeqh0sbHbbMCVNSnCM/UrjmM0Dp8vOuZeHBy/YTBmSK6H9qs/y3RnOaw5v."},
    {"$6$rounds=5000$toolongsaltstring", "This is just a test",
     "$6$rounds=5000$toolongsaltstrin$"
     "lQ8jolhgVRVhY4b5pZKaysCLi0QBxGoNeKQzQ3glMhwllF7oGDZxUhx1yxdYcz/"
     "e1JSbq3y6JMxxl8audkUEm0"},
    {"$6$rounds=1400$anotherlongsaltstring",
     "a very much longer text to encrypt.  This one even stretches over morethan one line.",
     "$6$rounds=1400$anotherlongsalts$POfYwTEok97VWcjxIiSOjiykti.o/"
     "pQs.wPvMxQ6Fm7I6IoYN3CmLs66x9t0oSwbtEW7o7UmJEiDwGqd8p4ur1"},
    {"$6$rounds=77777$short", "we have a short salt string but not a short password",
     "$6$rounds=77777$short$WuQyW2YR.hBNpjjRhpYD/"
     "ifIw05xdfeEyQoMxIXbkvr0gge1a1x3yRULJ5CCaUeOxFmtlcGZelFl5CxtgfiAc0"},
    {"$6$rounds=123456$asaltof16chars..", "a short string",
     "$6$rounds=123456$asaltof16chars..$BtCwjqMJGx5hrJhZywWvt0RLE8uZ4oPwcelCjmw2kSYu."
     "Ec6ycULevoBK25fs2xXgMNrCzIMVcgEJAstJeonj1"},
    {"$6$rounds=1000$roundstoolow", "the minimum number is still observed",
     "$6$rounds=1000$roundstoolow$kUMsbe306n21p9R.FRkW3IGn."
     "S9NPN0x50YhH1xhLsPuWGsUSklZt58jaTfF4ZEQpyUNG"
     "c0dqbpBYYBaHHrsX."},
};

TEST_P(ShaMultiPath, ThePublishedVectorsInOneBatch) {
    // The vectors of 77,777 and more rounds on the processor's own path only: they are slow on
    // the others and add nothing there.
    TBatch batch;
    std::vector<const TVector*> used;
    for (const TVector& v : KVectors) {
        TShaSetting setting;
        ASSERT_TRUE(ParseShaSetting(v.Setting, setting)) << v.Setting;
        if (setting.Rounds > 10000 && GetParam() != ShaPaths().Best()) continue;
        batch.Add(v.Password, v.Setting);
        used.push_back(&v);
    }
    const std::vector<std::string> results = Hash(batch, GetParam(), used.size());
    for (size_t k = 0; k < used.size(); ++k) {
        EXPECT_EQ(results[k], used[k]->Expected) << used[k]->Setting;
        EXPECT_EQ(ShaReference(used[k]->Password, used[k]->Setting), used[k]->Expected);
    }
}

TEST_P(ShaMultiPath, EveryLengthAcrossTheBlocksAsCryptHashesIt) {
    const TBatch batch = MixedBatch();
    ExpectSameAsCrypt(batch, Hash(batch, GetParam(), batch.Passwords.size()));
}

TEST_P(ShaMultiPath, ABatchOfAnySizeGivesWhatEachUserGetsAlone) {
    // Sizes around the lane counts: one user, a group short of one, full, one over, two and one.
    const TBatch batch = MixedBatch();
    for (TShaCryptKind kind : {TShaCryptKind::Sha256, TShaCryptKind::Sha512}) {
        const size_t lanes = ShaPathLanes(kind, GetParam());
        for (size_t count : {size_t{1}, lanes - 1, lanes, lanes + 1, 2 * lanes + 1}) {
            if (count == 0) continue;
            // The same password length and salt in every lane: the shift-free insertion of the
            // digest; the mixed batch covers lanes of different lengths.
            TBatch same;
            for (size_t k = 0; k < count; ++k)
                same.Add("pw" + std::to_string(1000 + k),
                         std::string(kind == TShaCryptKind::Sha256 ? "$5$" : "$6$") +
                             "rounds=1000$salt" + std::to_string(10 + k % 90));
            ExpectSameAsCrypt(same, Hash(same, GetParam(), count));
            ExpectSameAsCrypt(batch, Hash(batch, GetParam(), count));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, ShaMultiPath, ::testing::ValuesIn(KLanePaths), PathParamName);

struct TSettingCase {
    std::string Setting;
    bool Accepted;
    const char* Salt; // what is used of it when accepted
    uint32_t Rounds;
};

// What libxcrypt accepts and refuses (it refuses, rather than clamps, rounds out of range).
const TSettingCase KSettings[] = {
    {"$6$abc", true, "abc", 5000},
    {"$6$rounds=5000$abc", true, "abc", 5000}, // given, so written again
    {"$5$rounds=1000$abc", true, "abc", 1000},
    {"$6$rounds=999999999$abc", true, "abc", 999999999},
    {"$6$rounds=999$abc", false, "", 0},
    {"$5$rounds=1000000000$abc", false, "", 0},
    {"$6$rounds=18446744073709551617$abc", false, "", 0},
    {"$6$rounds=0$abc", false, "", 0},
    {"$6$rounds=01000$abc", false, "", 0},
    {"$6$rounds=+1000$abc", false, "", 0},
    {"$6$rounds=$abc", false, "", 0},
    {"$6$rounds=1000", false, "", 0},
    {"$6$rounds=1000x$abc", false, "", 0},
    {"$6$rounds=2000$", true, "", 2000},
    {"$6$", true, "", 5000},
    {"$6$abcdefghijklmnopqrstu$xyz", true, "abcdefghijklmnop", 5000},
    {"$5$ROUNDS=2000$abc", true, "ROUNDS=2000", 5000},
    {"$6$rounds=1000$rounds=2000$abc", true, "rounds=2000", 1000},
    {"$6$a=b#c%d", true, "a=b#c%d", 5000},
    {"$6$ab*c", false, "", 0},
    {"$6$ab:c", false, "", 0},
    {"$6$ab;c", false, "", 0},
    {"$6$ab\\c", false, "", 0},
    {"$6$ab!c", false, "", 0},
    {"$6$ab c", false, "", 0},
    {"$6$ab\nc", false, "", 0},
    {"$6$ab\x7f", false, "", 0},
    {"$6$ab\xc3\xa4", false, "", 0},
    {"$6$abc$de*f", false, "", 0}, // the whole setting is checked, the hash part too
    {std::string("$6$abc\0*", 8), true, "abc", 5000}, // read as a C string
    {"$2y$05$abcdefghijklmnopqrstuv", false, "", 0},
    {"$7$abc", false, "", 0},
};

TEST(ShaSettings, AcceptedAndRefusedAsLibxcryptDoes) {
    for (const TSettingCase& c : KSettings) {
        TShaSetting parsed;
        ASSERT_EQ(ParseShaSetting(c.Setting, parsed), c.Accepted) << c.Setting;
        if (!c.Accepted) {
            // crypt agrees: it refuses too (the SHA-crypt settings; others are not ours).
            if (c.Setting.starts_with("$5$") || c.Setting.starts_with("$6$")) {
                EXPECT_NE(ErrorOf([&] { CryptHash("pw", c.Setting); }), "") << c.Setting;
            }
            continue;
        }
        EXPECT_EQ(parsed.Salt, c.Salt) << c.Setting;
        EXPECT_EQ(parsed.Rounds, c.Rounds) << c.Setting;
        if (c.Rounds > 5000) continue; // 999,999,999 rounds take minutes
        const std::vector<std::string_view> pw{"pw"};
        const std::vector<std::string> setting{c.Setting};
        std::vector<std::string> out(1);
        ShaCryptMulti(pw, setting, out);
        EXPECT_EQ(out[0], CryptHash("pw", c.Setting)) << c.Setting;
    }
}

TEST(ShaSettings, PasswordsCryptRefuses) {
    EXPECT_TRUE(ShaPasswordAccepted(""));
    EXPECT_TRUE(ShaPasswordAccepted(std::string(511, 'a')));
    EXPECT_FALSE(ShaPasswordAccepted(std::string(512, 'a')));
    EXPECT_FALSE(ShaPasswordAccepted(std::string("a\0b", 3)));
    // The longest password crypt takes, through the lanes.
    TBatch batch;
    batch.Add(std::string(511, '\xff'), "$6$rounds=1000$long");
    batch.Add(std::string(511, 'z'), "$5$rounds=1000$long");
    ExpectSameAsCrypt(batch, Hash(batch, TLanePath::Auto, 2));
    EXPECT_NE(ErrorOf([] { CryptHash(std::string(512, 'a'), "$6$abc"); }), "");
}

// The password file writer's batch: SHA-crypt in the lanes, bcrypt through libxcrypt, and what
// crypt refuses refused before anything is hashed, with crypt's message.
TEST(ShaMultiParallel, TheWritersBatchMixesFormsAndRefusesAsCryptDoes) {
    std::vector<std::string> passwords{"a", "b", "c", "d"};
    std::vector<std::string> settings{"$6$rounds=1000$one", "$2y$04$abcdefghijklmnopqrstuu",
                                      "$5$rounds=1000$three", "$6$four"};
    std::vector<std::string_view> views(passwords.begin(), passwords.end());
    std::vector<std::string> out;
    CryptHashBatch(views, settings, out, 2);
    for (size_t k = 0; k < passwords.size(); ++k)
        EXPECT_EQ(out[k], CryptHash(passwords[k], settings[k]));

    settings[3] = "$6$rounds=999$four";
    EXPECT_EQ(ErrorOf([&] { CryptHashBatch(views, settings, out, 2); }),
              "The system's crypt does not accept the setting $6$rounds=999$four");
    passwords[3] = std::string("d\0d", 3);
    views.assign(passwords.begin(), passwords.end());
    EXPECT_EQ(ErrorOf([&] { CryptHashBatch(views, settings, out, 2); }),
              "A password with a zero byte cannot be hashed with bcrypt or SHA-crypt");
}

// The SHA-crypt kernel runs the path chosen as its default.
TEST(ShaPaths, AvailabilityAndTheDefault) {
    TBatch batch;
    batch.Add("pw", "$6$rounds=1000$default");
    ExpectPathChoice(
        ShaPaths(), [&](TLanePath path) { return Hash(batch, path, 1); },
        [](TLanePath path) { return ShaPathLanes(TShaCryptKind::Sha512, path); },
        [&](const std::vector<std::string>& results) { ExpectSameAsCrypt(batch, results); });
}

} // namespace
