// The multi-buffer "$apr1$" paths against the one-user computation: every path the processor has,
// every password length from 0 to 200, every byte value, lanes of mixed lengths and salts, groups
// left partly empty, and a few hashes made by openssl.

#include "BatchCheck.h"
#include "ExportTestUtil.h"
#include "TestUtil.h"
#include "export/Md5Multi.h"
#include "export/PasswordFile.h"
#include "export/htpasswd.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace quorvane;

namespace {

// The one-user computation, and a batch's results held to it.
const auto Reference = OneUser<Apr1CryptWithSalt>;
const auto ExpectSameAsReference = ExpectSameAsOneUser<Apr1CryptWithSalt>;

std::string RandomBytes(std::mt19937& rng, size_t length) {
    std::string text(length, '\0');
    for (char& c : text)
        c = static_cast<char>(rng() & 0xff);
    return text;
}

std::string RandomSalt(std::mt19937& rng) {
    std::string salt(8, '.');
    for (char& c : salt)
        c = KCryptAlphabet[rng() % 64];
    return salt;
}

std::vector<std::string> Hash(const TBatch& batch, TLanePath path) {
    const std::vector<std::string_view> views(batch.Passwords.begin(), batch.Passwords.end());
    std::vector<std::string> results(batch.Size());
    Apr1CryptMulti(views, batch.Settings, results, path);
    return results;
}

class Md5MultiPath : public ::testing::TestWithParam<TLanePath> {
protected:
    void SetUp() override {
        if (!Md5Paths().Available(GetParam()))
            GTEST_SKIP() << "this processor cannot run the " << LanePathName(GetParam()) << " path";
    }
    size_t Lanes() const { return Md5PathLanes(GetParam()); }
};

TEST_P(Md5MultiPath, EveryLengthUpTo200WithRandomBytesAndSalts) {
    // One batch of mixed lengths: the sort puts neighbours of different lengths into one group,
    // so groups whose lanes need different numbers of blocks are covered as well as full ones.
    std::mt19937 rng(1234);
    TBatch batch;
    for (size_t length = 0; length <= 200; ++length)
        batch.Add(RandomBytes(rng, length), RandomSalt(rng));
    for (int extra = 0; extra < 37; ++extra)
        batch.Add(RandomBytes(rng, rng() % 24), RandomSalt(rng));
    ASSERT_NE(batch.Size() % Lanes(), 0u);
    ExpectSameAsReference(batch, Hash(batch, GetParam()));
}

TEST_P(Md5MultiPath, EveryByteValue) {
    TBatch batch;
    std::mt19937 rng(77);
    for (int b = 0; b < 256; ++b) {
        // The byte alone, and the byte among others at a varying place.
        batch.Add(std::string(1, static_cast<char>(b)), RandomSalt(rng));
        std::string password = RandomBytes(rng, 5 + b % 11);
        password[static_cast<size_t>(b) % password.size()] = static_cast<char>(b);
        batch.Add(password, RandomSalt(rng));
    }
    ExpectSameAsReference(batch, Hash(batch, GetParam()));
}

TEST_P(Md5MultiPath, FullGroupsOfOneLengthForEveryDigestOffset) {
    // Lanes of one length take the vector path for placing the digest; lengths 0 to 40 put it
    // at every byte offset modulo 4 and cross from one block to two. Salts differ per lane.
    std::mt19937 rng(99);
    const std::string salts[3] = {RandomSalt(rng), RandomSalt(rng), RandomSalt(rng)};
    TBatch batch;
    for (size_t length = 0; length <= 40; ++length) {
        const std::string passwords[2] = {RandomBytes(rng, length), RandomBytes(rng, length)};
        for (size_t lane = 0; lane < Lanes(); ++lane)
            batch.Add(passwords[lane % 2], salts[lane % 3]);
    }
    ExpectSameAsReference(batch, Hash(batch, GetParam()));
}

TEST_P(Md5MultiPath, BatchesThatLeaveAGroupPartlyEmpty) {
    std::mt19937 rng(5);
    for (size_t size : {size_t{1}, Lanes() - 1, Lanes() + 1, 2 * Lanes() + 3}) {
        TBatch batch;
        for (size_t k = 0; k < size; ++k)
            batch.Add(RandomBytes(rng, 8), RandomSalt(rng));
        SCOPED_TRACE(size);
        ExpectSameAsReference(batch, Hash(batch, GetParam()));
    }
    TBatch empty;
    EXPECT_TRUE(Hash(empty, GetParam()).empty());
}

TEST_P(Md5MultiPath, SaltsOfEveryFormAndLengthInOneGroup) {
    // Salts are read as verifiers read them, and lanes with salts of different lengths (same
    // password length) do not share message layouts.
    TBatch batch;
    const char* salts[] = {"",         "a",           "ab",        "abcdefg",
                           "abcdefgh", "abcdefghijk", "ab$cdefgh", "$apr1$Zz9./Aa1$sometext",
                           "$apr1$",   "$apr1$xy",    "$",         "./././.."};
    for (const char* salt : salts)
        batch.Add("password", salt);
    for (const char* salt : salts)
        batch.Add("", salt);
    ExpectSameAsReference(batch, Hash(batch, GetParam()));
}

TEST_P(Md5MultiPath, PasswordsTooLongForTheLanesAmongShortOnes) {
    std::mt19937 rng(3);
    TBatch batch;
    for (size_t length :
         {KMaxLanePasswordLength, KMaxLanePasswordLength + 1, size_t{300}, size_t{1000}})
        batch.Add(RandomBytes(rng, length), RandomSalt(rng));
    for (int k = 0; k < 5; ++k)
        batch.Add(RandomBytes(rng, 12), RandomSalt(rng));
    ExpectSameAsReference(batch, Hash(batch, GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Paths, Md5MultiPath, ::testing::ValuesIn(KLanePaths), PathParamName);

TEST(Md5MultiParallel, RefusesMismatchedSizesAndAcceptsAnEmptyBatch) {
    const std::vector<std::string_view> passwords = {"a", "b"};
    const std::vector<std::string> oneSalt = {"12345678"};
    const std::vector<std::string> twoSalts = {"12345678", "abcdefgh"};
    std::vector<std::string> two(2), one(1);
    EXPECT_THROW(Apr1CryptMulti(passwords, oneSalt, two), std::invalid_argument);
    EXPECT_THROW(Apr1CryptMulti(passwords, twoSalts, one), std::invalid_argument);
    EXPECT_THROW(Apr1CryptMultiParallel(passwords, oneSalt, two, 2), std::invalid_argument);
    std::vector<std::string> none;
    EXPECT_NO_THROW(Apr1CryptMultiParallel({}, {}, none, 2));
}

// A path's name reads back as the path; the MD5 kernel runs the path chosen as its default.
TEST(Md5MultiPaths, NamesAvailabilityAndTheDefault) {
    for (TLanePath path : {TLanePath::Auto, TLanePath::Scalar, TLanePath::Generic, TLanePath::Avx2,
                           TLanePath::Avx512}) {
        TLanePath back = TLanePath::Auto;
        ASSERT_TRUE(LanePathFromName(LanePathName(path), back));
        EXPECT_EQ(back, path);
    }
    TLanePath unused = TLanePath::Scalar;
    EXPECT_FALSE(LanePathFromName("sse9", unused));
    TBatch batch;
    std::mt19937 rng(8);
    for (int k = 0; k < 20; ++k)
        batch.Add(RandomBytes(rng, 9), RandomSalt(rng));
    ExpectPathChoice(
        Md5Paths(), [&](TLanePath path) { return Hash(batch, path); }, Md5PathLanes,
        [&](const std::vector<std::string>& results) { ExpectSameAsReference(batch, results); });
}

// openssl's "$apr1$" strings, for passwords on either side of the block steps, with quotes, and
// with bytes beyond ASCII: the one-user computation and every path the processor has give them.
TEST(Md5MultiPaths, TheOneUserComputationAndEveryPathMatchOpenssl) {
    if (!ToolAvailable("openssl")) GTEST_SKIP() << "openssl is not installed";
    TBatch batch;
    TLcgRandom random(7);
    for (const std::string& password :
         {std::string("x"), std::string("abcde"), std::string("it's a 'quoted' $HOME \"pass\""),
          std::string(15, '5'), std::string(16, '6'), std::string(17, '7'), std::string(24, 'z'),
          std::string(64, '#'), std::string("\xe4\xf6\xfc\xdf\x80\xff"), std::string(100, '@'),
          std::string("correct horse battery staple")})
        batch.Add(password, MakeSalt(random));
    batch.Add("secret", "./0aZz9y");
    std::vector<std::string> expected;
    for (size_t k = 0; k < batch.Size(); ++k) {
        const TCommandResult run =
            RunCommand("openssl passwd -apr1 -salt " + ShellQuote(batch.Settings[k]) + " " +
                       ShellQuote(batch.Passwords[k]));
        ASSERT_EQ(run.ExitCode, 0);
        expected.push_back(run.Output.substr(0, run.Output.find_last_not_of("\r\n") + 1));
        EXPECT_EQ(Apr1CryptWithSalt(batch.Passwords[k], batch.Settings[k]), expected.back())
            << batch.Passwords[k];
    }
    for (TLanePath path : KLanePaths) {
        if (Md5Paths().Available(path)) {
            EXPECT_EQ(Hash(batch, path), expected) << LanePathName(path);
        }
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at) + "<no line end>");
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

TEST(Md5MultiPasswordFile, LargeMd5ExportKeepsOrderSaltsProgressAndAbort) {
    // More users than are hashed in one go, some disabled, passwords of many lengths: every
    // enabled user gets its line in login order with a hash of its own password, the progress
    // comes every 100 entries, and an abort in the middle writes nothing.
    TUserList list;
    std::mt19937 rng(31);
    for (int k = 0; k < 2345; ++k) {
        std::ostringstream login;
        login << "user" << (k * 7919) % 2345;
        TUserProp& user = list.Add(login.str(), RandomBytes(rng, rng() % 30));
        for (char& c : user.Password)
            if (c == '\r' || c == '\n') c = 'x';
        user.Disable = k % 9 == 4;
    }
    TTempDir dir;
    const std::string target = dir.File("passwords");
    TLcgRandom random(3);
    TRecordingProgress progress;
    TPasswordFileOptions options;
    options.Progress = &progress;
    options.Random = &random;
    options.Threads = 2;
    options.AllowEmptyPasswords = true; // some of the random passwords are empty
    ASSERT_TRUE(CreatePasswordFile(target, list, TPasswordsType::ptMD5, options));

    ASSERT_EQ(progress.Texts.size(), 24u);
    EXPECT_EQ(progress.Texts[11], "Creating passwords file - 46% completed");
    const std::vector<const TUserProp*> entries = PasswordFileEntries(list);
    std::vector<const TUserProp*> enabled;
    for (const TUserProp* user : entries)
        if (!user->Disable) enabled.push_back(user);
    const std::vector<std::string> lines = Lines(ReadWholeFile(target));
    ASSERT_EQ(lines.size(), enabled.size());
    std::vector<std::string> salts;
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string prefix = enabled[k]->Login + ":";
        ASSERT_EQ(lines[k].substr(0, prefix.size()), prefix) << "line " << k;
        const std::string hash = lines[k].substr(prefix.size());
        ASSERT_EQ(hash.size(), KApr1Length) << "line " << k;
        salts.push_back(hash.substr(6, 8));
        // The one-user computation is slow in the sanitized build: every 25th line is checked
        // against it, and every line of the first and the last hundred.
        if (k % 25 == 0 || k < 100 || k + 100 >= lines.size()) {
            EXPECT_EQ(Reference(enabled[k]->Password, hash), hash) << "line " << k;
        }
    }
    // Salts are drawn in file order: the same source gives them in the same order.
    TLcgRandom again(3);
    for (size_t k = 0; k < salts.size(); ++k)
        ASSERT_EQ(salts[k], MakeSalt(again)) << "line " << k;

    // Abort at the check of entry 1100, inside the second batch of hashes: nothing is written.
    WriteWholeFile(target, "old contents");
    TRecordingProgress aborting(12);
    options.Progress = &aborting;
    EXPECT_FALSE(CreatePasswordFile(target, list, TPasswordsType::ptMD5, options));
    EXPECT_EQ(aborting.Texts.size(), 12u);
    EXPECT_EQ(ReadWholeFile(target), "old contents");
}

TEST(Md5MultiPasswordFile, SecureSaltsAreAllDifferentAcrossALargeExport) {
    // The salts of an export come from the system's generator read in blocks: over more users
    // than one block serves, every salt is a fresh one (48 random bits make a repeat among a
    // few hundred practically impossible) and every line verifies.
    TUserList list;
    for (int k = 0; k < 300; ++k)
        list.Add("u" + std::to_string(1000 + k), "pw" + std::to_string(k % 3));
    TTempDir dir;
    const std::string target = dir.File("passwords");
    ASSERT_TRUE(CreatePasswordFile(target, list, TPasswordsType::ptMD5));
    const std::vector<std::string> lines = Lines(ReadWholeFile(target));
    ASSERT_EQ(lines.size(), 300u);
    std::set<std::string> salts;
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::string hash = lines[k].substr(lines[k].find(':') + 1);
        ASSERT_EQ(hash.size(), KApr1Length);
        const std::string salt = hash.substr(6, 8);
        ASSERT_EQ(salt.find_first_not_of(KCryptAlphabet), std::string::npos) << salt;
        salts.insert(salt);
        if (k % 20 == 0) {
            EXPECT_EQ(Reference("pw" + std::to_string(k % 3), hash), hash) << lines[k];
        }
    }
    EXPECT_EQ(salts.size(), 300u);
}

} // namespace
