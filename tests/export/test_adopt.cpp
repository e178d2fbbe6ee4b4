// Taking over an existing site: users known only by their stored hash (file, export, weak
// report) and the import of a password file.

#include "TestUtil.h"
#include "base/Errors.h"
#include "export/HashOnlyUsers.h"
#include "export/HtpasswdImport.h"
#include "export/PasswordFile.h"
#include "userdb/DataLib.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quorvane;

namespace {

const char* const kBcrypt = "$2y$04$6ZkXYL.VmcU7v9FzeDbBO.uawyatMbosZ3LfQY1OrkLbrwLiSGS3S";
const char* const kSha1 = "{SHA}Ic5o83sXgQ4ET+PvVlWA+X1NfNc=";
const char* const kDes = "BdLn.EIveFex2";

TUserProp& HashUser(TUserList& list, const std::string& login, const std::string& hash) {
    TUserProp& user = list.Add(login, "");
    user.SetPasswordHash(hash);
    return user;
}

TEST(HashOnlyUser, RoundTripsThroughSaveAndLoad) {
    TTempDir dir;
    TUserList list;
    HashUser(list, "ann", kBcrypt).Comments = "taken over";
    list.Add("bob", "clear");
    const std::string path = dir.File("h.udx");
    list.SaveToFile(path);
    const std::string text = ReadWholeFile(path);
    EXPECT_NE(text.find("      Comments = 'taken over'\r\n      PasswordHash = '" +
                        std::string(kBcrypt) + "'\r\n    end"),
              std::string::npos)
        << text;

    TUserList back;
    back.LoadFromFile(path);
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.Users(0).PasswordHash(), kBcrypt);
    EXPECT_TRUE(back.Users(0).Password.empty());
    EXPECT_TRUE(back.Users(0).HashOnly());
    EXPECT_FALSE(back.Users(1).HashOnly());
    const std::string again = dir.File("again.udx");
    back.SaveToFile(again);
    EXPECT_EQ(ReadWholeFile(again), text);
}

TEST(HashOnlyUser, DatabasesWithoutThemStayByteIdentical) {
    TTempDir dir;
    for (const char* name : {"new-list.udx", "two-users.udx"}) {
        const std::string original =
            ReadWholeFile(std::string(QUORVANE_TEST_DATA_DIR) + "/" + name);
        ASSERT_FALSE(original.empty()) << name;
        const std::string copy = dir.File(name);
        WriteWholeFile(copy, original);
        TUserList list;
        list.LoadFromFile(copy);
        list.SaveToFile(copy);
        EXPECT_EQ(ReadWholeFile(copy), original) << name;
        EXPECT_EQ(original.find("PasswordHash"), std::string::npos);
    }
}

TEST(HashOnlyUser, HashChangesTheFingerprintAndNewPasswordReplacesIt) {
    TUserList list;
    TUserProp& user = HashUser(list, "ann", kSha1);
    const uint32_t before = list.Fingerprint();
    user.SetPasswordHash(kDes);
    EXPECT_NE(list.Fingerprint(), before);
    user.SetPassword("new one");
    EXPECT_FALSE(user.HashOnly());
    EXPECT_EQ(user.Password, "new one");
}

TEST(HashOnlyUser, ExportedWithTheStoredHashUnchanged) {
    TUserList list;
    list.Add("carl", "c1");
    HashUser(list, "Ann", kBcrypt);
    HashUser(list, "dora", kSha1).Disable = true;
    const auto text = BuildPasswordFile(list, TPasswordsType::ptMD5);
    ASSERT_TRUE(text.has_value());
    const std::string expectedStart = std::string("Ann:") + kBcrypt + "\r\ncarl:$apr1$";
    EXPECT_EQ(text->substr(0, expectedStart.size()), expectedStart) << *text;
    EXPECT_EQ(text->find("dora"), std::string::npos);
    EXPECT_TRUE(MakePasswordLine(list.Users(1), TPasswordsType::ptPlainText) ==
                std::string("Ann:") + kBcrypt);
}

TEST(HashOnlyUser, PlainTextExportStopsAndNamesThem) {
    TUserList list;
    list.Add("carl", "c1");
    HashUser(list, "ann", kBcrypt);
    HashUser(list, "bea", kDes);
    HashUser(list, "off", kDes).Disable = true;
    const std::string error =
        ErrorOf([&] { BuildPasswordFile(list, TPasswordsType::ptPlainText); });
    EXPECT_NE(error.find("ann, bea"), std::string::npos) << error;
    EXPECT_EQ(error.find("off"), std::string::npos) << error;
    // A database without them exports in plain text as before.
    list.Users(1).SetPassword("a");
    list.Users(2).SetPassword("b");
    EXPECT_EQ(*BuildPasswordFile(list, TPasswordsType::ptPlainText),
              "ann:a\r\nbea:b\r\ncarl:c1\r\n");
}

TEST(HashOnlyUser, HashThatWouldBreakTheLineIsRefused) {
    TUserList list;
    HashUser(list, "ann", "$apr1$x\r\nevil:$apr1$y");
    EXPECT_NE(ErrorOf([&] { BuildPasswordFile(list, TPasswordsType::ptMD5); }).find("ann"),
              std::string::npos);
}

TEST(HashOnlyUser, ShownAsHashOnlyWithTheScheme) {
    TUserList list;
    const struct {
        const char* Hash;
        const char* Text;
    } cases[] = {
        {kBcrypt, "hash only (bcrypt)"},
        {kSha1, "hash only (SHA-1)"},
        {kDes, "hash only (DES crypt)"},
        {"$apr1$WmeOjj75$5cpk8XAoS6RQcPGkLm5i40", "hash only (MD5)"},
        {"$5$31cppLj7Gg..ENNX$RmYDp0mXFZH3vZahzmWuz0gnePQUSL.a7eGxRKCqLoD", "hash only (SHA-256)"},
        {"!$apr1$WmeOjj75$5cpk8XAoS6RQcPGkLm5i40", "locked"},
        {"*", "locked"},
        {"$7$CU..../....abc$def", "unknown scheme ($7$)"},
        {"plain pass", "unknown scheme (no prefix)"}};
    for (const auto& c : cases)
        EXPECT_EQ(HashOnlyText(HashUser(list, "u", c.Hash)), c.Text);
    EXPECT_EQ(HashOnlyText(list.Add("clear", "pw")), "");
    EXPECT_EQ(PasswordKindText(list.Users(list.Count() - 1)), "clear");
}

TEST(WeakHashes, ListsEnabledUsersOnWeakSchemesInFileOrder) {
    TUserList list;
    HashUser(list, "zed", kSha1);
    HashUser(list, "amy", kDes);
    HashUser(list, "bob", kBcrypt);
    HashUser(list, "off", kSha1).Disable = true;
    HashUser(list, "pat", "{SSHA}vxmnRNu+M9v6Fn+yk8E59PeW/ykBAv6aU0FMVA==");
    HashUser(list, "lou", "*");               // locked: nobody gets in, nothing to renew
    HashUser(list, "unk", "just-a-password"); // no scheme known: not judged
    list.Add("cid", "clear");
    const auto weak = WeakHashUsers(list);
    ASSERT_EQ(weak.size(), 3u);
    EXPECT_EQ(WeakHashReport(weak), "3 users still use weak hashes: set new passwords for them\n"
                                    "  amy (DES crypt)\n  pat (salted SHA-1)\n  zed (SHA-1)\n");
    EXPECT_EQ(WeakHashReport({weak[0]}),
              "1 user still uses a weak hash: set a new password for it\n  amy (DES crypt)\n");
    EXPECT_EQ(WeakHashReport({}), "");
}

TEST(HtpasswdParse, SkipsCommentsAndBlankLinesAndReadsEveryForm) {
    const std::string text = std::string("# written by htpasswd\r\n\r\n   \n") + "ann:" + kBcrypt +
                             "\r\n  # indented comment\nbob:" + kSha1 + ":extra field\n" +
                             "cid:" + kDes + "\ndan:plain pass\neve:$apr1$WmeOjj75$x";
    const auto entries = ParseHtpasswd(text);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].Line, 4);
    EXPECT_EQ(entries[0].Login, "ann");
    EXPECT_EQ(entries[0].Value, kBcrypt);
    EXPECT_EQ(entries[0].Scheme, TStoredScheme::Bcrypt);
    EXPECT_EQ(entries[1].Value, kSha1) << "a further colon ends the value";
    EXPECT_EQ(entries[2].Scheme, TStoredScheme::DesCrypt);
    EXPECT_EQ(entries[3].Value, "plain pass");
    EXPECT_EQ(entries[3].Scheme, TStoredScheme::Unknown);
    EXPECT_EQ(entries[4].Line, 9);
    EXPECT_TRUE(ParseHtpasswd("").empty());
}

TEST(HtpasswdParse, BadLineRefusesTheWholeFileNamingIt) {
    const std::string passwd = "root:x:0:0:root:/root:/bin/bash\n"
                               "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
                               "ann:$apr1$WmeOjj75$5cpk8XAoS6RQcPGkLm5i40\n";
    const struct {
        std::string Text;
        std::string Expected; // the start of the error
    } cases[] = {
        {"ann:x\nnocolon\n", "Line 2 "},
        {":hash\n", "Line 1 "},
        {"ann:x\nb\tob:y\n", "Line 2 "},
        {"ann:x\r\nbob:y\rz\n", "Line 2 "},
        {"ann:x\nbob:" + std::string(4097, 'v') + "\n",
         "Line 2 of the password file holds a password longer than 4096 bytes"},
        {std::string("ann:a\0b\n", 7),
         "The file does not look like a password file: it holds binary data"},
        {passwd, "The file does not look like a password file: most of its lines"},
        {"root:$y$j9T$abc:19000:0:99999:7:::\nbin:*:19000:0:99999:7:::\n",
         "The file does not look like a password file"},
    };
    for (const auto& c : cases) {
        const std::string error = ErrorOf([&] { ParseHtpasswd(c.Text); });
        EXPECT_EQ(error.substr(0, c.Expected.size()), c.Expected) << c.Text << " -> " << error;
    }
    // One such line among many is a login that happens to look so, not a system file.
    EXPECT_EQ(ParseHtpasswd(passwd + "bob:b\ncid:c\ndan:d\n").size(), 6u);
    // An empty value is a locked account, not a bad line.
    EXPECT_EQ(ParseHtpasswd("bob:\n").at(0).Scheme, TStoredScheme::Locked);
}

// Logins equal with a to z folded are one user here, two for the servers: every such line is a
// clash, found before anything changes and decided line by line; nothing goes silently.
TEST(HtpasswdImport, LoginsEqualWithoutRegardToCaseClash) {
    const auto entries =
        ParseHtpasswd(std::string("ANN:") + kBcrypt + "\nnew:" + kSha1 +
                      "\nann:{PLAIN}second\nMixed:*\nmixed:\npl:plain-one\n" + "pl:other\n");
    TUserList before;
    before.Add("ann", "old").Email = "ann@example.org";
    std::vector<std::string> found;
    for (const THtpasswdClash& clash : FindHtpasswdClashes(before, entries))
        found.push_back(HtpasswdClashText(clash));
    EXPECT_EQ(found, (std::vector<std::string>{"line 1 \"ANN\" (like \"ann\" in the database)",
                                               "line 3 \"ann\" (like \"ann\" in the database)",
                                               "line 5 \"mixed\" (like line 4 \"Mixed\")",
                                               "line 7 \"pl\" (like line 6 \"pl\")"}));
    const struct {
        bool Replace;
        // login and value (or clear password) of each user afterwards
        std::vector<std::string> Users;
        int Added, Replaced, Skipped, Weak;
        std::string Notes;
    } cases[] = {
        {false,
         {"ann=old", "new#" + std::string(kSha1), "Mixed#*", "pl#plain-one"},
         3,
         0,
         4,
         1,
         "Skipped, as the login is there already (letters a to z without regard to case): line 1 "
         "\"ANN\" (like \"ann\" in the database), line 3 \"ann\" (like \"ann\" in the database), "
         "line 5 \"mixed\" (like line 4 \"Mixed\"), line 7 \"pl\" (like line 6 \"pl\")\n"
         "Locked, and kept locked: line 4 \"Mixed\"\n"
         "Kept exactly as they were, in a scheme Quorvane does not know: line 6 \"pl\" (no "
         "prefix)\n"},
        {true,
         {"ann=second", "new#" + std::string(kSha1), "Mixed#", "pl#other"},
         3,
         4,
         0,
         2,
         "Replaced, as the login was there already (letters a to z without regard to case): line 1 "
         "\"ANN\" (like \"ann\" in the database), line 3 \"ann\" (like \"ann\" in the database), "
         "line 5 \"mixed\" (like line 4 \"Mixed\"), line 7 \"pl\" (like line 6 \"pl\")\n"
         "Locked, and kept locked: line 5 \"mixed\"\n"
         "Kept exactly as they were, in a scheme Quorvane does not know: line 7 \"pl\" (no "
         "prefix)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Replace ? "replace" : "skip");
        TUserList list;
        list.Add("ann", "old").Email = "ann@example.org";
        const auto result =
            ImportHtpasswd(list, entries, [&](const THtpasswdClash&) { return c.Replace; });
        std::vector<std::string> users;
        for (int i = 0; i < list.Count(); ++i) {
            const TUserProp& u = list.Users(i);
            users.push_back(u.Login + (u.HashOnly() ? "#" + u.PasswordHash() : "=" + u.Password));
        }
        EXPECT_EQ(users, c.Users);
        EXPECT_EQ(list.Users(0).Email, "ann@example.org") << "a replaced user keeps the rest";
        EXPECT_EQ(list.Users(2).HashOnly(), true) << "an empty value is a locked account";
        EXPECT_EQ(result.Added, c.Added);
        EXPECT_EQ(result.Replaced, c.Replaced);
        EXPECT_EQ(result.Skipped, c.Skipped);
        EXPECT_EQ(result.Weak, c.Weak);
        EXPECT_EQ(HtpasswdImportNotes(result), c.Notes);
    }
    // A file for Apache on Windows: values in no known scheme are its clear passwords.
    TUserList windows;
    ImportHtpasswd(windows, ParseHtpasswd("pl:plain-one\nlk:*\n"), {}, {true});
    EXPECT_EQ(windows.Users(0).Password, "plain-one");
    EXPECT_FALSE(windows.Users(0).HashOnly());
    EXPECT_EQ(windows.Users(1).PasswordHash(), "*") << "a lock stays a lock";
}

TEST(HtpasswdImport, ReportSaysWhatHappened) {
    const auto result = [](int added, int replaced, int skipped, int weak) {
        THtpasswdImportResult r;
        r.Added = added;
        r.Replaced = replaced;
        r.Skipped = skipped;
        r.Weak = weak;
        return r;
    };
    EXPECT_EQ(HtpasswdImportReport(result(3, 1, 2, 0)), "3 users added, 1 replaced, 2 skipped.");
    EXPECT_EQ(HtpasswdImportNotes(result(3, 1, 2, 0)), "");
    EXPECT_EQ(HtpasswdImportReport(result(1, 0, 0, 1)),
              "1 user added, 0 replaced, 0 skipped. 1 of them uses a weak scheme (SHA-1, DES "
              "crypt or plain text): set new passwords for it.");
}

TEST(HtpasswdImport, UnreadableFile) {
    TTempDir dir;
    EXPECT_EQ(ErrorOf([&] { ReadHtpasswdFile(dir.File("missing")); }),
              "Cannot open file " + dir.File("missing"));
    EXPECT_EQ(ErrorOf([&] { ReadHtpasswdFile(dir.Path().string()); }),
              "Cannot open file " + dir.Path().string());
}

} // namespace
