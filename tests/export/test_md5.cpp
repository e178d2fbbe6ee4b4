// MD5, the crypt alphabet, salts and the "$apr1$" hash.

#include "export/htpasswd.h"
#include "export/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

using namespace quorvane;

namespace {

std::string Hex(const TMD5Digest& digest) {
    static const char* digits = "0123456789abcdef";
    std::string text;
    for (uint8_t b : digest) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

struct TMd5Vector {
    const char* Message;
    const char* Digest;
};

// The test suite of RFC 1321, appendix A.5.
const TMd5Vector KRfcVectors[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(MD5, RfcVectorsInOneCall) {
    for (const auto& v : KRfcVectors)
        EXPECT_EQ(Hex(MD5Digest(v.Message, std::strlen(v.Message))), v.Digest) << v.Message;
}

TEST(MD5, RfcVectorsFedInEverySplit) {
    // Any split of the message into two updates, and one byte at a time, gives the same digest:
    // the buffer handling of partial blocks is right at every offset.
    for (const auto& v : KRfcVectors) {
        const size_t length = std::strlen(v.Message);
        for (size_t cut = 0; cut <= length; ++cut) {
            TMD5Context context;
            MD5Init(context);
            MD5Update(context, v.Message, cut);
            MD5Update(context, v.Message + cut, length - cut);
            ASSERT_EQ(Hex(MD5Final(context)), v.Digest) << v.Message << " cut at " << cut;
        }
        TMD5Context context;
        MD5Init(context);
        for (size_t i = 0; i < length; ++i)
            MD5Update(context, v.Message + i, 1);
        MD5Update(context, v.Message, 0);
        EXPECT_EQ(Hex(MD5Final(context)), v.Digest) << v.Message;
    }
}

TEST(MD5, LengthsAroundThePaddingBoundary) {
    // 55 bytes still fit the length into the last block, 56 need another one. The digests were
    // computed with `head -c N /dev/zero | tr '\0' 'a' | md5sum`.
    const std::string a55(55, 'a'), a56(56, 'a'), a64(64, 'a'), a1000(1000, 'a');
    EXPECT_EQ(Hex(MD5Digest(a55.data(), a55.size())), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(Hex(MD5Digest(a56.data(), a56.size())), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(Hex(MD5Digest(a64.data(), a64.size())), "014842d480b571495a4a0363793f7367");
    EXPECT_EQ(Hex(MD5Digest(a1000.data(), a1000.size())), "cabe45dcc9ae5b66ba86600cca6b8ba8");
}

TEST(MD5, FinalClearsTheContext) {
    TMD5Context context;
    MD5Init(context);
    MD5Update(context, "secret password", 15);
    MD5Final(context);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&context);
    EXPECT_TRUE(std::all_of(bytes, bytes + sizeof context, [](uint8_t b) { return b == 0; }));
}

TEST(CryptAlphabet, To64WritesLowestGroupFirst) {
    EXPECT_EQ(To64(0, 4), "....");
    EXPECT_EQ(To64(63, 2), "z.");
    EXPECT_EQ(To64(64, 2), "./");
    // 1 + 2*64 + 3*4096 + 63*262144
    EXPECT_EQ(To64(1 + 2 * 64 + 3 * 4096 + 63u * 262144, 4), "/01z");
    EXPECT_EQ(To64(0xffffffffu, 6), "zzzzz1"); // the sixth group holds only the top two bits
    EXPECT_EQ(To64(12345, 0), "");
}

TEST(Salt, EightCharactersOfTheWholeAlphabet) {
    // Every position varies over the whole alphabet (the old salts held 15 bits and ended in
    // five dots).
    std::vector<std::set<char>> seen(8);
    std::set<std::string> salts;
    for (int i = 0; i < 4000; ++i) {
        const std::string salt = MakeSalt();
        ASSERT_EQ(salt.size(), 8u);
        for (size_t k = 0; k < 8; ++k) {
            ASSERT_NE(KCryptAlphabet.find(salt[k]), std::string_view::npos) << salt;
            seen[k].insert(salt[k]);
        }
        salts.insert(salt);
    }
    for (size_t k = 0; k < 8; ++k)
        EXPECT_EQ(seen[k].size(), 64u) << "position " << k;
    EXPECT_EQ(salts.size(), 4000u); // 48 bits: a collision among 4000 would be a fault
}

TEST(Salt, AReproducibleSourceGivesReproducibleSalts) {
    TLcgRandom first(1234), second(1234), other(1235);
    std::vector<std::string> a, b, c;
    for (int i = 0; i < 20; ++i) {
        a.push_back(MakeSalt(first));
        b.push_back(MakeSalt(second));
        c.push_back(MakeSalt(other));
    }
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(std::set<std::string>(a.begin(), a.end()).size(), a.size());
}

struct TApr1Vector {
    const char* Password;
    size_t Length;
    const char* Salt;
    const char* Expected;
};

const TApr1Vector KApr1Vectors[] = {
#include "apr1_vectors.inc"

};

TEST(Apr1Crypt, MatchesOpensslForCommittedVectors) {
    // Lengths 0 to 100 (one and two blocks per round), bytes 128-255, short salts.
    for (const auto& v : KApr1Vectors) {
        const std::string_view password(v.Password, v.Length);
        EXPECT_EQ(Apr1CryptWithSalt(password, v.Salt), v.Expected)
            << "length " << v.Length << " salt " << v.Salt;
    }
}

TEST(Apr1Crypt, PublishedApacheExample) {
    EXPECT_EQ(Apr1CryptWithSalt("myPassword", "r31....."), "$apr1$r31.....$HqJZimcKQFAMYayBlzkrA/");
}

TEST(Apr1Crypt, SaltIsReadAsVerifiersReadIt) {
    const std::string hash = Apr1CryptWithSalt("secret", "AbCd1234");
    EXPECT_EQ(Apr1CryptWithSalt("secret", hash), hash);          // a whole "$apr1$" string
    EXPECT_NE(Apr1CryptWithSalt("Secret", hash), hash);          // a different password
    EXPECT_EQ(Apr1CryptWithSalt("secret", "AbCd1234XYZ"), hash); // more than 8 characters
    EXPECT_EQ(Apr1CryptWithSalt("secret", "ab$cd"), Apr1CryptWithSalt("secret", "ab"));
}

TEST(Apr1Crypt, FormOfEveryResult) {
    for (size_t length : {0, 1, 5, 15, 16, 17, 23, 24, 64, 100, 300}) {
        const std::string password(length, 'p');
        const std::string hash = Apr1Crypt(password);
        ASSERT_EQ(hash.size(), KApr1Length);
        EXPECT_TRUE(hash.starts_with("$apr1$"));
        EXPECT_EQ(hash[14], '$');
        for (size_t k = 6; k < hash.size(); ++k)
            if (k != 14) {
                EXPECT_NE(KCryptAlphabet.find(hash[k]), std::string_view::npos) << hash;
            }
        EXPECT_EQ(Apr1CryptWithSalt(password, hash), hash);
    }
}

TEST(Apr1Crypt, NewSaltOnEveryCall) {
    const std::string first = Apr1Crypt("same"), second = Apr1Crypt("same");
    EXPECT_NE(first.substr(6, 8), second.substr(6, 8));
    EXPECT_NE(first, second);
    TLcgRandom a(99), b(99);
    EXPECT_EQ(Apr1Crypt("same", a), Apr1Crypt("same", b));
}

TEST(Apr1CryptBatch, SameAsOneByOneForAnyNumberOfWorkers) {
    std::vector<std::string> storage;
    for (size_t length : {0, 3, 16, 17, 40, 64, 100, 8, 1, 55, 56, 23, 24})
        storage.push_back(std::string(length, static_cast<char>('a' + length % 26)));
    storage.push_back("\x80\xfe\xff");
    std::vector<std::string_view> passwords(storage.begin(), storage.end());
    TLcgRandom random(5);
    std::vector<std::string> salts;
    for (size_t i = 0; i < passwords.size(); ++i)
        salts.push_back(MakeSalt(random));

    std::vector<std::string> expected;
    for (size_t i = 0; i < passwords.size(); ++i)
        expected.push_back(Apr1CryptWithSalt(passwords[i], salts[i]));
    for (unsigned threads : {0u, 1u, 2u, 3u, 32u}) {
        std::vector<std::string> out = {"stale"};
        Apr1CryptBatch(passwords, salts, out, threads);
        EXPECT_EQ(out, expected) << threads << " workers";
    }

    std::vector<std::string> out = {"stale"};
    Apr1CryptBatch({}, {}, out);
    EXPECT_TRUE(out.empty());
    EXPECT_THROW(Apr1CryptBatch(passwords, {}, out), std::invalid_argument);
}

} // namespace
