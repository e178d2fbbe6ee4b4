// Stored password-file values: the scheme told by the form, and verifying a password against
// values written by Apache's htpasswd and by the system's crypt.

#include "ExportTestUtil.h"
#include "export/HashSchemes.h"
#include "export/StoredHash.h"
#include "export/htpasswd.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <unistd.h>

using namespace quorvane;

namespace {

struct TStoredCase {
    const char* Stored;
    const char* Password;
    TStoredScheme Scheme;
    bool Weak;
};

// Written by htpasswd -nb (-m, -B -C 4, -2, -5, -s, -d, -p) and openssl passwd -1.
const TStoredCase kCases[] = {
    {"$apr1$WmeOjj75$5cpk8XAoS6RQcPGkLm5i40", "p\xc3\xa4ssw0rd!", TStoredScheme::Apr1, false},
    {"$2y$04$6ZkXYL.VmcU7v9FzeDbBO.uawyatMbosZ3LfQY1OrkLbrwLiSGS3S", "p\xc3\xa4ssw0rd!",
     TStoredScheme::Bcrypt, false},
    {"$5$31cppLj7Gg..ENNX$RmYDp0mXFZH3vZahzmWuz0gnePQUSL.a7eGxRKCqLoD", "p\xc3\xa4ssw0rd!",
     TStoredScheme::Sha256Crypt, false},
    {"$6$lARcILguDwWAcQrt$QnxNurAZSyvn2rkt52kpdD0.WHtah0sDmNVeHpT/qPbwJND2Td4GQEVLEZ0CslXJgieG/"
     "cv4ltJ8bODxvGIjX0",
     "p\xc3\xa4ssw0rd!", TStoredScheme::Sha512Crypt, false},
    {"$1$RS9EqHKf$q0p0ExIhpDhRNOFU71SqM.", "x", TStoredScheme::Md5Crypt, false},
    {"{SHA}Ic5o83sXgQ4ET+PvVlWA+X1NfNc=", "p\xc3\xa4ssw0rd!", TStoredScheme::Sha1, true},
    {"BdLn.EIveFex2", "longpassword1", TStoredScheme::DesCrypt, true},
    {"{PLAIN}p\xc3\xa4ssw0rd!", "p\xc3\xa4ssw0rd!", TStoredScheme::PlainText, true},
    // python3: crypt.crypt(pw, "$y$j9T$F31F/jItUvwu2lEyWf7Vk."), and base64 of SHA-1 over the
    // password and the salt, then the salt
    {"$y$j9T$F31F/jItUvwu2lEyWf7Vk.$wzhCzntE5k3ohrySmEnpogQQTdy37Tar/q43bWLaTf3",
     "p\xc3\xa4ssw0rd!", TStoredScheme::Yescrypt, false},
    {"{SSHA}vxmnRNu+M9v6Fn+yk8E59PeW/ykBAv6aU0FMVA==", "p\xc3\xa4ssw0rd!",
     TStoredScheme::SaltedSha1, true},
};

TEST(StoredHash, IdentifiesAndVerifiesEveryScheme) {
    for (const TStoredCase& c : kCases) {
        SCOPED_TRACE(c.Stored);
        EXPECT_EQ(IdentifyStoredHash(c.Stored), c.Scheme);
        EXPECT_EQ(IsWeakScheme(c.Scheme), c.Weak);
        const std::string right = c.Password;
        EXPECT_TRUE(VerifyStoredHash(right, c.Stored));
        EXPECT_FALSE(VerifyStoredHash("x" + right, c.Stored)) << "another password";
        EXPECT_FALSE(VerifyStoredHash("", c.Stored));
        EXPECT_FALSE(VerifyStoredHash(std::string(1, '\0') + right, c.Stored));
    }
}

// A value is a clear password only where it says so ("{PLAIN}"): anything else without a known
// prefix stays what it is, and locks stay locks. None of these lets in even its own text.
TEST(StoredHash, FormsAtTheEdges) {
    struct {
        const char* Stored;
        TStoredScheme Scheme;
        const char* Tag; // for an unknown scheme
    } cases[] = {
        {"$2a$05$abcdefghijklmnopqrstuu", TStoredScheme::Bcrypt, ""},
        {"$2b$05$abcdefghijklmnopqrstuu", TStoredScheme::Bcrypt, ""},
        {"$2x$05$abcdefghijklmnopqrstuu", TStoredScheme::Unknown, "$2x$"},
        {"abcdefghijklm", TStoredScheme::DesCrypt, ""},          // 13 characters of the alphabet
        {"abcdefghijkl", TStoredScheme::Unknown, "no prefix"},   // 12
        {"abcdefghijklmn", TStoredScheme::Unknown, "no prefix"}, // 14
        {"abcdefghijk;m", TStoredScheme::Unknown, "no prefix"},  // outside the alphabet
        {"{sha}Ic5o83sXgQ4ET+PvVlWA+X1NfNc=", TStoredScheme::Unknown, "{sha}"},
        {"$apr", TStoredScheme::Unknown, "no prefix"},
        {"$7$CU..../....abc$def", TStoredScheme::Unknown, "$7$"},
        {"$averyveryverylongid$x", TStoredScheme::Unknown, "no prefix"},
        {"x", TStoredScheme::Unknown, "no prefix"},
        {"", TStoredScheme::Locked, ""},
        {"   ", TStoredScheme::Locked, ""},
        {"*", TStoredScheme::Locked, ""},
        {"!", TStoredScheme::Locked, ""},
        {"*LK*", TStoredScheme::Locked, ""},
        {"!$apr1$WmeOjj75$5cpk8XAoS6RQcPGkLm5i40", TStoredScheme::Locked, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Stored);
        EXPECT_EQ(IdentifyStoredHash(c.Stored), c.Scheme);
        if (c.Scheme == TStoredScheme::Unknown) {
            EXPECT_EQ(UnknownSchemeTag(c.Stored), c.Tag);
        }
        if (c.Scheme == TStoredScheme::Locked || c.Scheme == TStoredScheme::Unknown) {
            EXPECT_FALSE(VerifyStoredHash(c.Stored, c.Stored));
            EXPECT_FALSE(VerifyStoredHash("", c.Stored));
            EXPECT_FALSE(IsWeakScheme(c.Scheme));
        }
    }
    EXPECT_FALSE(VerifyStoredHash("WmeOjj75", "!$apr1$WmeOjj75$5cpk8XAoS6RQcPGkLm5i40"));
}

TEST(StoredHash, DesCryptReadsEightCharactersOnly) {
    // That is why it counts as weak: anything after the eighth character is ignored.
    EXPECT_TRUE(VerifyStoredHash("longpassXYZ", "BdLn.EIveFex2"));
    EXPECT_FALSE(VerifyStoredHash("longpas", "BdLn.EIveFex2"));
}

TEST(StoredHash, MalformedValuesNeverMatch) {
    for (const char* stored :
         {"$apr1$", "$apr1$abc", "$2y$04$short", "$5$", "$6$x", "{SHA}", "{SHA}not-base64", "$1$",
          "$y$", "$y$j9T$short", "{SSHA}", "{SSHA}AAAA", "{SSHA}not base64!",
          "{SSHA}AAAAAAAAAAAAAAAAAAAAAAAAAAA="}) {
        EXPECT_FALSE(VerifyStoredHash("", stored)) << stored;
        EXPECT_FALSE(VerifyStoredHash("x", stored)) << stored;
    }
}

TEST(StoredHash, OwnApr1OutputVerifies) {
    for (const char* pw : {"", "a", "0123456789abcdef", "0123456789abcdefX", "\xff\x80 spaced"}) {
        const std::string hash = Apr1Crypt(pw);
        EXPECT_TRUE(VerifyStoredHash(pw, hash)) << pw;
        EXPECT_FALSE(VerifyStoredHash(std::string(pw) + "!", hash)) << pw;
    }
}

// Runs htpasswd -nb with the given flags; the "login:hash" line without its line end.
std::string HtpasswdLine(const std::string& flags, const std::string& password) {
    std::string out =
        RunCommand("htpasswd -nb " + flags + " u '" + password + "' 2>/dev/null").Output;
    out = out.substr(0, out.find('\n'));
    if (!out.empty() && out.back() == '\r') out.pop_back();
    return out;
}

TEST(StoredHash, AgreesWithHtpasswdOnFreshHashes) {
    if (access("/usr/bin/htpasswd", X_OK) != 0) GTEST_SKIP() << "htpasswd is not installed";
    using enum TPasswordsType;
    const struct {
        const char* Flags;
        TStoredScheme Scheme;
        std::optional<TPasswordsType> Row; // the form this program writes such values in
    } forms[] = {{"-m", TStoredScheme::Apr1, ptMD5},
                 {"-B -C 4", TStoredScheme::Bcrypt, ptBcrypt},
                 {"-B -C 5", TStoredScheme::Bcrypt, ptBcrypt},
                 {"-2", TStoredScheme::Sha256Crypt, ptSHA256},
                 {"-5", TStoredScheme::Sha512Crypt, ptSHA512},
                 {"-s", TStoredScheme::Sha1, std::nullopt},
                 {"-d", TStoredScheme::DesCrypt, std::nullopt},
                 {"-p", TStoredScheme::Unknown, std::nullopt}};
    for (const auto& form : forms) {
        for (const std::string password : {"s3cret", "with space", "0123456789abcdefghij"}) {
            SCOPED_TRACE(std::string(form.Flags) + " " + password);
            const std::string line = HtpasswdLine(form.Flags, password);
            ASSERT_TRUE(line.starts_with("u:")) << line;
            const std::string stored = line.substr(2);
            EXPECT_EQ(IdentifyStoredHash(stored), form.Scheme);
            // A plain-text value lets nobody in here, as for htpasswd -v on this system.
            EXPECT_EQ(VerifyStoredHash(password, stored), form.Scheme != TStoredScheme::Unknown);
            EXPECT_FALSE(VerifyStoredHash("?" + password, stored));
            // The value is told as one of that form, whose row verifies it too.
            const THashScheme* row = SchemeOfHash(stored);
            EXPECT_EQ(row != nullptr ? std::optional(row->Id) : std::nullopt, form.Row);
            if (row != nullptr) {
                EXPECT_TRUE(row->Verify(password, stored, ""));
                EXPECT_FALSE(row->Verify("?" + password, stored, ""));
            }
        }
    }
}

} // namespace
