// Taking over an existing site: users known only by their stored hash (file, export, weak
// report) and the import of a password file.

#include "TestUtil.h"
#include "base/Errors.h"
#include "export/DatabaseState.h"
#include "export/HashOnlyUsers.h"
#include "export/HtpasswdImport.h"
#include "export/PasswordFile.h"
#include "export/SiteChanges.h"
#include "userdb/DataLib.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <array>

#include <optional>
#include <string>
#include <vector>

using namespace quorvane;

namespace {

const char* const kBcrypt = "$2y$04$6ZkXYL.VmcU7v9FzeDbBO.uawyatMbosZ3LfQY1OrkLbrwLiSGS3S";
const char* const kSha1 = "{SHA}Ic5o83sXgQ4ET+PvVlWA+X1NfNc=";
const char* const kDes = "BdLn.EIveFex2";

std::vector<std::string> Signatures(const std::vector<TMessage>& messages) {
    std::vector<std::string> out;
    for (const TMessage& m : messages)
        out.push_back(Signature(m));
    return out;
}

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
    EXPECT_EQ(SignatureOf([&] { BuildPasswordFile(list, TPasswordsType::ptPlainText); }),
              "PlainTextHashOnly([Verbatim(ann), Verbatim(bea)])");
    // A database without them exports in plain text as before.
    list.Users(1).SetPassword("a");
    list.Users(2).SetPassword("b");
    EXPECT_EQ(*BuildPasswordFile(list, TPasswordsType::ptPlainText),
              "ann:a\r\nbea:b\r\ncarl:c1\r\n");
}

TEST(HashOnlyUser, HashThatWouldBreakTheLineIsRefused) {
    TUserList list;
    HashUser(list, "ann", "$apr1$x\r\nevil:$apr1$y");
    EXPECT_EQ(SignatureOf([&] { BuildPasswordFile(list, TPasswordsType::ptMD5); }),
              "StoredHashBreaksLine(ann)");
}

TEST(HashOnlyUser, ShownAsHashOnlyWithTheScheme) {
    TUserList list;
    const struct {
        const char* Hash;
        const char* Shown;
    } cases[] = {{kBcrypt, "HashOnly(Verbatim(bcrypt))"},
                 {kSha1, "HashOnly(Verbatim(SHA-1))"},
                 {kDes, "HashOnly(SchemeDesCrypt())"},
                 {"$apr1$WmeOjj75$5cpk8XAoS6RQcPGkLm5i40", "HashOnly(Verbatim(MD5))"},
                 {"$5$31cppLj7Gg..ENNX$RmYDp0mXFZH3vZahzmWuz0gnePQUSL.a7eGxRKCqLoD",
                  "HashOnly(Verbatim(SHA-256))"},
                 {"!$apr1$WmeOjj75$5cpk8XAoS6RQcPGkLm5i40", "SchemeLocked()"},
                 {"*", "SchemeLocked()"},
                 {"$7$CU..../....abc$def", "HashOnlyUnknownScheme(Verbatim($7$))"},
                 {"plain pass", "HashOnlyUnknownScheme(NoPrefix())"}};
    for (const auto& c : cases)
        EXPECT_EQ(Signature(HashOnlyMessage(HashUser(list, "u", c.Hash))), c.Shown) << c.Hash;
    EXPECT_TRUE(HashOnlyMessage(list.Add("clear", "pw")).Empty());
    EXPECT_EQ(PasswordKindText(list.Users(list.Count() - 1)), "clear");
    EXPECT_EQ(PasswordKindText(list.Users(0)), "hash only (bcrypt)");
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
    EXPECT_EQ(Signatures(WeakHashMessages(weak)),
              (std::vector<std::string>{"WeakHashMany(3)", "WeakHashUser(amy, SchemeDesCrypt())",
                                        "WeakHashUser(pat, SchemeSaltedSha1())",
                                        "WeakHashUser(zed, Verbatim(SHA-1))"}));
    EXPECT_EQ(Signatures(WeakHashMessages({weak[0]})),
              (std::vector<std::string>{"WeakHashOne()", "WeakHashUser(amy, SchemeDesCrypt())"}));
    EXPECT_TRUE(WeakHashMessages({}).empty());
    EXPECT_TRUE(WeakHashSummary({}).Empty());
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

// Every reader of a password file takes a line as the servers do: the import, the check of what
// changed on the site and the merge agree on each line's login and value.
TEST(HtpasswdParse, EveryReaderTakesALineAsTheServersDo) {
    struct TCase {
        std::string Line;
        std::optional<std::pair<std::string, std::string>> Read; // none: not a user's line
    };
    const TCase cases[] = {
        {"ann:" + std::string(kSha1), std::pair{"ann", std::string(kSha1)}},
        {"ann:" + std::string(kSha1) + ":Ann Example", std::pair{"ann", std::string(kSha1)}},
        {"ann:" + std::string(kSha1) + "::", std::pair{"ann", std::string(kSha1)}},
        {"ann:hash\r", std::pair{"ann", "hash"}},
        {"ann:hash\r\r", std::pair{"ann", "hash\r"}}, // one CR ends the line, the other is data
        {"ann:", std::pair{"ann", ""}},
        {"# ann:hash", std::nullopt},
        {"  \t", std::nullopt},
        {":hash", std::nullopt},
        {"no colon", std::nullopt},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Line);
        // Without its line end, as the readers of a file hand it on.
        const std::string_view line(c.Line.data(),
                                    c.Line.size() - (c.Line.ends_with('\r') ? 1 : 0));
        const auto read = ReadPasswordLine(line);
        ASSERT_EQ(read.has_value(), c.Read.has_value());
        const TSiteFile site = ParseSiteFile(c.Line + "\n");
        ASSERT_EQ(site.Users.size(), c.Read ? 1u : 0u);
        if (!c.Read) continue;
        EXPECT_EQ(read->Login, c.Read->first);
        EXPECT_EQ(read->Value, c.Read->second);
        EXPECT_EQ(site.Users[0].Value, c.Read->second);
        // The import takes the same value, or refuses one it cannot keep (a control byte).
        if (c.Read->second.find('\r') != std::string::npos) {
            EXPECT_THROW(ParseHtpasswd(c.Line + "\n"), EQuorvaneError);
        } else {
            const auto entries = ParseHtpasswd(c.Line + "\n");
            ASSERT_EQ(entries.size(), 1u);
            EXPECT_EQ(entries[0].Login, c.Read->first);
            EXPECT_EQ(entries[0].Value, c.Read->second);
        }
        EXPECT_EQ(UserDigestsOf(std::string_view(c.Line)).at(c.Read->first),
                  UserValueDigest(c.Read->second));
    }
}

TEST(HtpasswdParse, BadLineRefusesTheWholeFileNamingIt) {
    const std::string passwd = "root:x:0:0:root:/root:/bin/bash\n"
                               "daemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
                               "ann:$apr1$WmeOjj75$5cpk8XAoS6RQcPGkLm5i40\n";
    const struct {
        std::string Text;
        std::string Expected;
    } cases[] = {
        {"ann:x\nnocolon\n", "HtpasswdNotLoginPassword(2)"},
        {":hash\n", "HtpasswdBadLogin(1, LoginEmpty())"},
        {"ann:x\nb\tob:y\n", "HtpasswdBadLogin(2, LoginControl())"},
        {"ann:x\r\nbob:y\rz\n", "HtpasswdControlInPassword(2)"},
        {"ann:x\nbob:" + std::string(4097, 'v') + "\n", "HtpasswdPasswordTooLong(2, 4096)"},
        {std::string("ann:a\0b\n", 7), "HtpasswdBinary()"},
        {passwd, "HtpasswdSystemAccounts()"},
        {"root:$y$j9T$abc:19000:0:99999:7:::\nbin:*:19000:0:99999:7:::\n",
         "HtpasswdSystemAccounts()"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SignatureOf([&] { ParseHtpasswd(c.Text); }), c.Expected) << c.Text;
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
    std::vector<TMessage> found;
    for (const THtpasswdClash& clash : FindHtpasswdClashes(before, entries))
        found.push_back(HtpasswdClashMessage(clash));
    EXPECT_EQ(Signatures(found), (std::vector<std::string>{"HtpasswdClashDatabase(1, ANN, ann)",
                                                           "HtpasswdClashDatabase(3, ann, ann)",
                                                           "HtpasswdClashLine(5, mixed, 4, Mixed)",
                                                           "HtpasswdClashLine(7, pl, 6, pl)"}));
    // The notes name the same clashes.
    std::string clashes;
    for (const std::string& clash : Signatures(found))
        clashes += (clashes.empty() ? "[" : ", ") + clash;
    clashes += "]";
    const struct {
        bool Replace;
        // login and value (or clear password) of each user afterwards
        std::vector<std::string> Users;
        std::array<int, 4> Counts; // added, replaced, skipped, weak
        std::vector<std::string> Notes;
    } cases[] = {
        {false,
         {"ann=old", "new#" + std::string(kSha1), "Mixed#*", "pl#plain-one"},
         {3, 0, 4, 1},
         {"HtpasswdSkippedClashes(" + clashes + ")", "HtpasswdLocked([HtpasswdEntry(4, Mixed)])",
          "HtpasswdUnknownKept([HtpasswdEntryScheme(6, pl, NoPrefix())])"}},
        {true,
         {"ann=second", "new#" + std::string(kSha1), "Mixed#", "pl#other"},
         {3, 4, 0, 2},
         {"HtpasswdReplacedClashes(" + clashes + ")", "HtpasswdLocked([HtpasswdEntry(5, mixed)])",
          "HtpasswdUnknownKept([HtpasswdEntryScheme(7, pl, NoPrefix())])"}},
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
        EXPECT_EQ((std::array{result.Added, result.Replaced, result.Skipped, result.Weak}),
                  c.Counts);
        EXPECT_EQ(Signatures(HtpasswdImportNoteMessages(result)), c.Notes);
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
    const struct {
        THtpasswdImportResult Result;
        std::vector<std::string> Report;
    } cases[] = {
        {result(3, 1, 2, 0), {"HtpasswdAdded(3, 1, 2)"}},
        {result(1, 0, 0, 1), {"HtpasswdAddedOne(0, 0)", "HtpasswdWeakOne()"}},
        {result(4, 1, 0, 2), {"HtpasswdAdded(4, 1, 0)", "HtpasswdWeak(2)"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Signatures(HtpasswdImportMessages(c.Result)), c.Report);
    EXPECT_TRUE(HtpasswdImportNoteMessages(result(3, 1, 2, 0)).empty());
    // The sentences follow one another as they are.
    EXPECT_EQ(HtpasswdImportReport(result(1, 0, 0, 1)),
              "1 user added, 0 replaced, 0 skipped. 1 of them uses a weak scheme (SHA-1, DES "
              "crypt or plain text): set new passwords for it.");
}

TEST(HtpasswdImport, UnreadableFile) {
    TTempDir dir;
    EXPECT_EQ(SignatureOf([&] { ReadHtpasswdFile(dir.File("missing")); }),
              "CannotOpenFile(" + dir.File("missing") + ")");
    EXPECT_EQ(SignatureOf([&] { ReadHtpasswdFile(dir.Path().string()); }),
              "CannotOpenFile(" + dir.Path().string() + ")");
}

} // namespace

// A file's users are the first line of each login; every other line (a comment, a blank, a
// later line of a login seen before) is counted, never taken.
TEST(SiteFile, TheFirstLineOfALoginCountsAndEveryOtherLineIsCounted) {
    std::string many;
    for (int i = 0; i < 3000; ++i)
        many += "u" + std::to_string(i % 1000) + ":h" + std::to_string(i) + "\r\n";
    const struct {
        std::string Text;
        std::string Users; // login=value of each user, in file order
        std::size_t Other;
    } cases[] = {
        {"", "", 0},
        {"ann:a\nbob:b\n", "ann=a bob=b", 0},
        {"ann:a\r\n# ann:x\r\n\r\nann:b\r\n", "ann=a", 3},
        {"al:1\nalice:2\nal:3\nalice:4\na:5\n", "al=1 alice=2 a=5", 2},
        {"ann:a:full name\nann::\n:x\nno colon\nann", "ann=a", 4},
        {many, "", 2000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text.substr(0, 40));
        const TSiteFile site = ParseSiteFile(c.Text);
        std::string users;
        for (const TSiteUser& user : site.Users)
            users += (users.empty() ? "" : " ") + user.Login + "=" + user.Value;
        if (c.Text != many) {
            EXPECT_EQ(users, c.Users);
        }
        if (c.Text == many) {
            ASSERT_EQ(site.Users.size(), 1000u);
            EXPECT_EQ(site.Users[999].Value, "h999");
        }
        EXPECT_EQ(site.OtherLines, c.Other);
        EXPECT_EQ(SiteFileOtherLines(c.Text), c.Other);
        EXPECT_EQ(UserDigestsOf(c.Text), UserDigestsOf(site));
    }
}
