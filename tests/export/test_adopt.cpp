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
        {"$5$31cppLj7Gg..ENNX$RmYDp0mXFZH3vZahzmWuz0gnePQUSL.a7eGxRKCqLoD", "hash only (SHA-256)"}};
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
    HashUser(list, "pat", "just-a-password");
    list.Add("cid", "clear");
    const auto weak = WeakHashUsers(list);
    ASSERT_EQ(weak.size(), 3u);
    EXPECT_EQ(WeakHashReport(weak), "3 users still use weak hashes: set new passwords for them\n"
                                    "  amy (DES crypt)\n  pat (plain text)\n  zed (SHA-1)\n");
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
    EXPECT_EQ(entries[3].Scheme, TStoredScheme::PlainText);
    EXPECT_EQ(entries[4].Line, 9);
    EXPECT_TRUE(ParseHtpasswd("").empty());
}

TEST(HtpasswdParse, BadLineRefusesTheWholeFileNamingIt) {
    const struct {
        const char* Text;
        const char* Expected;
    } cases[] = {
        {"ann:x\nnocolon\n", "Line 2 "}, {"ann:x\n\nbob:\n", "Line 3 "},     {":hash\n", "Line 1 "},
        {"ann:x\nb\tob:y\n", "Line 2 "}, {"ann:x\r\nbob:y\rz\n", "Line 2 "},
    };
    for (const auto& c : cases) {
        const std::string text(c.Text);
        const std::string error = ErrorOf([&] { ParseHtpasswd(text); });
        EXPECT_EQ(error.substr(0, 7), c.Expected) << c.Text << " -> " << error;
    }
}

TEST(HtpasswdParse, NulInTheValueIsRefused) {
    EXPECT_EQ(ErrorOf([] { ParseHtpasswd(std::string("ann:a\0b\n", 7)); }).substr(0, 7), "Line 1 ");
}

TEST(HtpasswdImport, ConflictsSkippedByDefaultOrReplaced) {
    const auto entries = ParseHtpasswd(std::string("ANN:") + kBcrypt + "\nnew:" + kSha1 +
                                       "\nann:second\n" + "pl:clear-one\n");
    for (const bool replaceAll : {false, true}) {
        TUserList list;
        TUserProp& ann = list.Add("ann", "old");
        ann.Email = "ann@example.org";
        std::vector<std::string> asked;
        const auto result = ImportHtpasswd(list, entries, [&](const TUserProp& u, const auto& e) {
            asked.push_back(u.Login + "<-" + e.Login);
            return replaceAll;
        });
        EXPECT_EQ(asked, std::vector<std::string>{"ann<-ANN"});
        EXPECT_EQ(result.Added, 2);
        EXPECT_EQ(result.Replaced, replaceAll ? 1 : 0);
        EXPECT_EQ(result.Skipped, replaceAll ? 1 : 2);
        EXPECT_EQ(result.Weak, 2); // SHA-1 and the plain-text line
        ASSERT_EQ(list.Count(), 3);
        EXPECT_EQ(list.Users(0).Login, "ann");
        EXPECT_EQ(list.Users(0).Email, "ann@example.org");
        EXPECT_EQ(list.Users(0).Password, replaceAll ? "" : "old");
        EXPECT_EQ(list.Users(0).PasswordHash(), replaceAll ? kBcrypt : "");
        EXPECT_EQ(list.Users(1).PasswordHash(), kSha1);
        EXPECT_EQ(list.Users(2).Login, "pl");
        EXPECT_EQ(list.Users(2).Password, "clear-one") << "a plain-text line is a clear password";
        EXPECT_FALSE(list.Users(2).HashOnly());
    }
}

TEST(HtpasswdImport, ReportSaysWhatHappened) {
    EXPECT_EQ(HtpasswdImportReport({3, 1, 2, 0}), "3 users added, 1 replaced, 2 skipped.");
    EXPECT_EQ(HtpasswdImportReport({1, 0, 0, 1}),
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
