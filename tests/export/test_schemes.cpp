// bcrypt, SHA-256-crypt and SHA-512-crypt: the strings the system's crypt makes for us, checked
// by the peers that read password files (Apache's htpasswd, nginx, lighttpd), and the hash cache
// that spares a re-export the work of what did not change.

#include "ExportTestUtil.h"
#include "LighttpdTestServer.h"
#include "NginxTestServer.h"
#include "TestUtil.h"
#include "base/Errors.h"
#include "export/Consumers.h"
#include "export/CryptSchemes.h"
#include "export/DatabaseState.h"
#include "export/HashCache.h"
#include "export/HashSchemes.h"
#include "export/PasswordFile.h"
#include "export/StoredHash.h"
#include "userdb/DataLib.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <sys/stat.h>

using namespace quorvane;

namespace {

using enum TPasswordsType;

TUserProp& AddUser(TUserList& list, const std::string& login, const std::string& password,
                   bool disabled = false) {
    TUserProp& user = list.AddBlank();
    user.Login = login;
    user.Password = password;
    user.Disable = disabled;
    return user;
}

std::string ToHex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

// login -> hash of a password file's text.
std::map<std::string, std::string> Lines(const std::string& text) {
    std::map<std::string, std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        const std::string line = text.substr(at, end - at);
        const size_t colon = line.find(':');
        lines[line.substr(0, colon)] = line.substr(colon + 1);
        at = end + 2;
    }
    return lines;
}

struct TSchemeCase {
    TPasswordsType Type;
    int WorkFactor;
    const char* Prefix; // what every line's hash starts with
};

// Each form at its cheapest bound and at its default (the expensive bounds are checked on the
// setting alone: bcrypt cost 17 takes seconds per hash, 999,999,999 rounds minutes).
const TSchemeCase KSchemes[] = {
    {ptBcrypt, 4, "$2y$04$"}, {ptBcrypt, 5, "$2y$05$"}, {ptSHA256, 1000, "$5$rounds=1000$"},
    {ptSHA256, 5000, "$5$"},  {ptSHA512, 5000, "$6$"},  {ptSHA512, 7777, "$6$rounds=7777$"},
};

const std::vector<std::pair<std::string, std::string>> KUsers = {
    {"alice", "wonderland"},
    {"Bob Smith", "it's $ecret"},
    {"carol", "\xe4\xf6\xfc\xc0\xff"},
    {"dave", std::string(100, 'd')},
    {"ivan", ""},
};

TEST(CryptSchemes, ApacheHtpasswdVectorsVerify) {
    // Made with htpasswd -nbB -C 5, -nb5, -nb2, -nb5 -r 1000 and -nbB -C 4.
    const std::pair<const char*, const char*> vectors[] = {
        {"correct horse", "$2y$05$oHg.7kd2dqbkYnPbOBcFSeE4j.O7saYU8tgHN4EWMuKL/0jerweUy"},
        {"p@ss w0rd", "$6$K7MwPNlgWpbz2cnR$EjsMjoy6oihWmSPbeH4tQ4jixPjJ1gxCyi5561fFjoaW56w/"
                      "wL43vTaAST4nVHlEI37EssBzdiNqM/QQaH5OF/"},
        {"Gr\xc3\xbc\xc3\x9f"
         "e",
         "$5$Y/7kiUd6v49VVi0V$pTSkov1Ii4ouqKR8Phbz0bDPKdpB/l84SYKXmNx5yR9"},
        {"x", "$6$rounds=1000$dPSZO4CcO45cC.9s$JfC5Efe9JYG2RaEBbxfLZFKaMOpPZdDSqQReAr1lcqFj/"
              "RyB/bHj5kDByUkme7poMXHUnn6zc.Im1IDOiddoa0"},
        {"", "$2y$04$xLcvZNL15/y2BAYNbAMz9el.GJK0JFEKHWk.OlM38/VtGGHB33MpG"},
    };
    for (const auto& [password, hash] : vectors) {
        EXPECT_EQ(CryptHash(password, hash), hash);
        EXPECT_TRUE(VerifyStoredHash(password, hash)) << hash;
        EXPECT_FALSE(VerifyStoredHash(std::string(password) + "!", hash)) << hash;
    }
    // And fresh ones from htpasswd itself, when it is here.
    if (!ToolAvailable("htpasswd")) GTEST_SKIP() << "apache2-utils is not installed";
    for (const char* flags : {"-nbB -C 5", "-nb5", "-nb2", "-nb2 -r 2000"}) {
        const std::string out =
            RunCommand(std::string("htpasswd ") + flags + " user 'tr0ub4dor&3'").Output;
        const std::string hash = out.substr(5, out.find('\n') - 5);
        EXPECT_TRUE(VerifyStoredHash("tr0ub4dor&3", hash)) << flags << ": " << hash;
        EXPECT_EQ(CryptHash("tr0ub4dor&3", hash), hash) << flags;
    }
}

TEST(CryptSchemes, WorkFactorsAtAndBeyondTheirBounds) {
    struct TCase {
        TCryptKind Kind;
        int Factor;
        const char* Prefix; // "" when refused
    };
    const TCase cases[] = {
        {TCryptKind::Bcrypt, 3, ""},
        {TCryptKind::Bcrypt, 4, "$2y$04$"},
        {TCryptKind::Bcrypt, 17, "$2y$17$"},
        {TCryptKind::Bcrypt, 18, ""},
        {TCryptKind::Sha256, 999, ""},
        {TCryptKind::Sha256, 1000, "$5$rounds=1000$"},
        {TCryptKind::Sha256, 5000, "$5$"},
        {TCryptKind::Sha512, 5001, "$6$rounds=5001$"},
        {TCryptKind::Sha512, 999999999, "$6$rounds=999999999$"},
        {TCryptKind::Sha512, 1000000000, ""},
        {TCryptKind::Sha512, -1, ""},
    };
    for (const TCase& c : cases) {
        std::string setting;
        const std::string error = ErrorOf([&] { setting = CryptSetting(c.Kind, c.Factor); });
        if (*c.Prefix == 0) {
            EXPECT_NE(error, "") << c.Factor;
            continue;
        }
        ASSERT_EQ(error, "") << c.Factor;
        EXPECT_EQ(setting.rfind(c.Prefix, 0), 0u) << setting;
        // The default rounds are never written out, as crypt does.
        if (c.Factor == 5000) {
            EXPECT_EQ(setting.find("rounds="), std::string::npos);
        }
    }
    EXPECT_EQ(SignatureOf([] { CryptSetting(TCryptKind::Bcrypt, 18); }), "BcryptCostRange(4, 17)");
    EXPECT_EQ(SignatureOf([] { CryptSetting(TCryptKind::Sha256, 999); }),
              "ShaRoundsRange(1000, 999999999)");
}

TEST(CryptSchemes, ChosenSaltsAndWhatCryptRefuses) {
    EXPECT_EQ(CryptHash("x", CryptSettingWithSalt(TCryptKind::Sha512, 1000, "saltsalt")),
              CryptHash("x", "$6$rounds=1000$saltsalt"));
    EXPECT_EQ(CryptSettingWithSalt(TCryptKind::Sha256, 5000, "abc"), "$5$abc");
    EXPECT_EQ(CryptSettingWithSalt(TCryptKind::Bcrypt, 5, "oHg.7kd2dqbkYnPbOBcFSe"),
              "$2y$05$oHg.7kd2dqbkYnPbOBcFSe");
    for (const auto& row :
         std::vector<std::pair<TCryptKind, std::string>>{{TCryptKind::Bcrypt, "short"},
                                                         {TCryptKind::Bcrypt, std::string(22, '$')},
                                                         {TCryptKind::Sha256, ""},
                                                         {TCryptKind::Sha256, std::string(17, 'a')},
                                                         {TCryptKind::Sha512, "a$b"},
                                                         {TCryptKind::Sha512, "a:b"}})
        EXPECT_NE(ErrorOf([&] {
                      CryptSettingWithSalt(row.first, row.first == TCryptKind::Bcrypt ? 5 : 5000,
                                           row.second);
                  }),
                  "")
            << row.second;
    EXPECT_NE(ErrorOf([] { CryptHash(std::string("a\0b", 3), "$5$abc"); }), "");
    EXPECT_NE(ErrorOf([] { CryptHash("a", "$7$nonsense"); }), "");
}

TEST(CryptSchemes, TheBatchGivesTheSameStringsOnAnyNumberOfWorkers) {
    std::vector<std::string> passwords, settings;
    for (int i = 0; i < 9; ++i) {
        passwords.push_back("password " + std::to_string(i));
        settings.push_back(
            CryptSetting(i % 2 ? TCryptKind::Sha256 : TCryptKind::Bcrypt, i % 2 ? 1000 : 4));
    }
    const std::vector<std::string_view> views(passwords.begin(), passwords.end());
    std::vector<std::string> one, four;
    CryptHashBatch(views, settings, one, 1);
    CryptHashBatch(views, settings, four, 4);
    EXPECT_EQ(one, four);
    for (size_t i = 0; i < one.size(); ++i)
        EXPECT_TRUE(VerifyStoredHash(passwords[i], one[i])) << one[i];
    std::vector<std::string> out;
    std::vector<std::string> bad = settings;
    bad[5] = "$2y$99$garbage";
    EXPECT_NE(ErrorOf([&] { CryptHashBatch(views, bad, out, 2); }), "");
}

// Every line of every hashed form, MD5 too (with passwords of 16, 17, 64 and 100 bytes, where its
// rounds take another block), is one Apache's htpasswd accepts for the right password only.
TEST(SlowForms, EveryLineIsAcceptedByApacheHtpasswd) {
    if (!ToolAvailable("htpasswd")) GTEST_SKIP() << "apache2-utils is not installed";
    std::vector<TSchemeCase> forms(std::begin(KSchemes), std::end(KSchemes));
    forms.push_back({ptMD5, 0, "$apr1$"});
    auto users = KUsers;
    users.insert(users.end(), {{"bob", "x"},
                               {"erin", std::string(16, 'e')},
                               {"frank", std::string(17, 'f')},
                               {"grace", std::string(64, 'g')}});
    for (const TSchemeCase& scheme : forms) {
        TTempDir dir;
        const std::string target = dir.File("htpasswd");
        TUserList list;
        for (const auto& [login, password] : users)
            AddUser(list, login, password);
        TPasswordFileOptions options;
        if (scheme.WorkFactor != 0) options.SchemeParam = scheme.WorkFactor;
        options.AllowEmptyPasswords = true; // ivan's empty password is hashed like any other
        ASSERT_TRUE(CreatePasswordFile(target, list, scheme.Type, options));
        const auto lines = Lines(ReadWholeFile(target));
        ASSERT_EQ(lines.size(), users.size());
        for (const auto& [login, password] : users) {
            EXPECT_EQ(lines.at(login).rfind(scheme.Prefix, 0), 0u) << lines.at(login);
            EXPECT_EQ(HtpasswdVerify(target, login, password), 0) << scheme.Prefix << " " << login;
        }
        EXPECT_NE(HtpasswdVerify(target, "alice", "wonderlan"), 0) << scheme.Prefix;
    }
}

enum class TWebServer { Nginx, Lighttpd };

std::unique_ptr<testsupport::TBasicAuthServer> StartWebServer(TWebServer kind) {
    switch (kind) {
    case TWebServer::Nginx:
        return std::make_unique<nginxtest::TNginxServer>();
    case TWebServer::Lighttpd:
        return std::make_unique<lighttpdtest::TLighttpdServer>();
    }
    return nullptr;
}

class WebServer : public testing::TestWithParam<TWebServer> {};

// Every form but plain text lets in the right password only; plain text nobody (on Linux the
// servers take a line without a known prefix for a crypt() string).
TEST_P(WebServer, LetsInTheRightPasswordOnly) {
    const auto server = StartWebServer(GetParam());
    if (!server->Available()) GTEST_SKIP() << server->SkipReason();
    std::vector<TSchemeCase> forms(std::begin(KSchemes), std::end(KSchemes));
    forms.push_back({ptMD5, 0, "$apr1$"});
    forms.push_back({ptPlainText, 0, ""});
    struct TAsk {
        const char* Login;
        const char* Password;
        bool Right;
    };
    const TAsk asks[] = {{"alice", "wonderland", true},
                         {"Bob Smith", "it's $ecret", true},
                         {"alice", "wonderlan", false},
                         {"ALICE", "wonderland", false}, // logins are compared exactly
                         {"carol", "gone", false}};      // disabled
    for (const TSchemeCase& scheme : forms) {
        TUserList list;
        AddUser(list, "alice", "wonderland");
        AddUser(list, "Bob Smith", "it's $ecret");
        AddUser(list, "carol", "gone", true);
        TPasswordFileOptions options;
        if (scheme.WorkFactor != 0) options.SchemeParam = scheme.WorkFactor;
        const auto text = BuildPasswordFile(list, scheme.Type, options);
        ASSERT_TRUE(text);
        server->SetPasswordFile(*text);
        // All at once: lighttpd answers each refusal only after a second.
        auto anonymous = std::async(std::launch::async,
                                    [&server] { return server->StatusWithoutCredentials(); });
        std::vector<std::future<int>> answers;
        for (const TAsk& ask : asks)
            answers.push_back(std::async(std::launch::async, [&server, &ask] {
                return server->Status(ask.Login, ask.Password);
            }));
        for (size_t i = 0; i < answers.size(); ++i)
            EXPECT_EQ(answers[i].get(), asks[i].Right && scheme.Type != ptPlainText ? 200 : 401)
                << scheme.Prefix << " " << asks[i].Login << " " << asks[i].Password << "\n"
                << server->ErrorLog();
        EXPECT_EQ(anonymous.get(), 401) << scheme.Prefix << " without credentials";
    }
}

INSTANTIATE_TEST_SUITE_P(SlowForms, WebServer,
                         testing::Values(TWebServer::Nginx, TWebServer::Lighttpd),
                         [](const testing::TestParamInfo<TWebServer>& info) {
                             return info.param == TWebServer::Nginx ? "nginx" : "lighttpd";
                         });

TEST(SlowForms, TheStoredWorkFactorAppliesAndZeroBytesAreRefused) {
    TUserList list;
    AddUser(list, "alice", "a");
    list.BcryptCost = 4;
    list.ShaRounds = 1234;
    EXPECT_EQ(Lines(*BuildPasswordFile(list, ptBcrypt))["alice"].substr(0, 7), "$2y$04$");
    EXPECT_EQ(Lines(*BuildPasswordFile(list, ptSHA512))["alice"].substr(0, 15), "$6$rounds=1234$");
    list.BcryptCost = 30; // beyond what a file can hold: refused before anything is hashed
    EXPECT_EQ(SignatureOf([&] { BuildPasswordFile(list, ptBcrypt); }), "BcryptCostRange(4, 17)");
    list.ShaRounds = 999;
    EXPECT_EQ(SignatureOf([&] { BuildPasswordFile(list, ptSHA512); }),
              "Sha512RoundsRange(1000, 999999999)");
    list.ShaRounds = 1234;
    AddUser(list, "zed", std::string("a\0b", 3));
    EXPECT_EQ(SignatureOf([&] { BuildPasswordFile(list, ptSHA256); }),
              "UnsafeUsers([UnsafeUser(2, zed, UnsafeCryptNul())])");
    // MD5 hashes every byte; a disabled user is not written and does not stop the export.
    EXPECT_TRUE(BuildPasswordFile(list, ptMD5));
    list.Users(1).Disable = true;
    EXPECT_EQ(ErrorOf([&] { BuildPasswordFile(list, ptSHA256); }), "");
}

TEST(SlowForms, AReproducibleSourceGivesTheSameFileOnAnyNumberOfWorkers) {
    TUserList list;
    for (int i = 0; i < 150; ++i)
        AddUser(list, "user" + std::to_string(i), "pw" + std::to_string(i), i % 7 == 0);
    std::string files[2];
    for (unsigned threads : {1u, 3u}) {
        TLcgRandom random(42);
        TPasswordFileOptions options;
        options.Random = &random;
        options.Threads = threads;
        options.SchemeParam = 1000;
        files[threads == 1 ? 0 : 1] = *BuildPasswordFile(list, ptSHA256, options);
    }
    EXPECT_EQ(files[0], files[1]);
}

// Whatever order an export's files put their users in, a hash put in this export is found again
// for the same inputs and for no others, and one remembered from the last export as well.
TEST(HashCacheFind, EveryHashPutIsFoundInAnyOrder) {
    const std::vector<std::vector<std::string>> orders = {
        {"a", "b", "c"},
        {"c", "b", "a"},
        {"b", "a", "c"},
        {"Bob", "amy", "CARL", "bob"},
        {"zed", "Amy", "\xe9t\xe9", "ab", "abc"},
    };
    for (const auto& logins : orders) {
        THashCache last("key");
        last.Put("md5", 0, "old", "pw-old", "$apr1$old");
        THashCache cache("key");
        cache.Refer(last.Entries());
        for (const std::string& login : logins)
            cache.Put("md5", 0, login, "pw-" + login, "$apr1$" + login);
        for (const std::string& login : logins) {
            const auto hit = cache.Find("md5", 0, login, "pw-" + login);
            ASSERT_TRUE(hit) << login << " of " << logins.front();
            EXPECT_EQ(hit->Hash, "$apr1$" + login);
            EXPECT_FALSE(hit->Remembered);
            EXPECT_FALSE(cache.Find("md5", 0, login, "another"));
        }
        const auto old = cache.Find("md5", 0, "old", "pw-old");
        ASSERT_TRUE(old);
        EXPECT_TRUE(old->Remembered);
        EXPECT_EQ(old->Hash, "$apr1$old");
    }
}

// The hash cache, driven through the export as a user would: a database file on disk, its
// cache beside it, exports one after another.
class HashCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        Db = Dir.File("site.udx");
        Target = Dir.File("htpasswd");
        for (int i = 0; i < 6; ++i)
            AddUser(List, "user" + std::to_string(i), "secret" + std::to_string(i));
        List.PassType = ptBcrypt;
        List.BcryptCost = 4;
        ASSERT_TRUE(EnsureHashCacheKey(List));
        List.SaveToFile(Db);
    }

    // Loads the database from disk and exports it with the hashes its state remembers, keeping
    // this export's (as the program does); returns the lines.
    std::map<std::string, std::string> Export(TPasswordFileStats& stats, int workFactor = 0,
                                              TPasswordsType type = ptBcrypt) {
        TUserList list;
        list.LoadFromFile(Db);
        const TDatabaseState state(Db);
        THashCache cache(IsSlowPassType(type) ? list.HashCacheKey : std::string());
        cache.Load(state.Load().Hashes);
        TPasswordFileOptions options;
        options.Cache = &cache;
        options.Stats = &stats;
        if (workFactor != 0) options.SchemeParam = workFactor;
        EXPECT_TRUE(CreatePasswordFile(Target, list, type, options));
        state.Update([&](TDatabaseStateData& data) { data.Hashes = cache.Entries(); });
        auto lines = Lines(ReadWholeFile(Target));
        for (int i = 0; i < list.Count(); ++i) {
            const TUserProp& u = list.Users(i);
            if (!u.Disable) {
                EXPECT_TRUE(VerifyStoredHash(u.Password, lines[u.Login]))
                    << "wrong line for " << u.Login;
            }
        }
        return lines;
    }

    // Replaces text in the database file, as an editor would.
    void EditDatabaseText(const std::string& from, const std::string& to) {
        std::string text = ReadWholeFile(Db);
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        WriteWholeFile(Db, text);
    }

    TTempDir Dir;
    std::string Db, Target;
    TUserList List;
};

TEST_F(HashCacheTest, AnUnchangedReExportReusesEveryHash) {
    TPasswordFileStats first, second;
    const auto before = Export(first);
    EXPECT_EQ(first.Reused, 0u);
    EXPECT_EQ(first.Hashed, 6u);
    const auto after = Export(second);
    EXPECT_EQ(second.Reused, 6u);
    EXPECT_EQ(second.Hashed, 0u);
    EXPECT_EQ(before, after);

    const std::string statePath = TDatabaseState::PathFor(Db);
    struct stat st {};
    ASSERT_EQ(::stat(statePath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(statePath, Dir.File(".site.udx.state"));
    // The cache holds no password, in any form a reader could take for one.
    const std::string cache = ReadWholeFile(statePath);
    EXPECT_EQ(cache.find("secret"), std::string::npos);

    // The cache file of earlier versions is read once, then its entries live in the store.
    const std::string old = Dir.File(".site.udx.hashes");
    std::string oldText = "quorvane hash cache 1\n";
    for (const THashEntry entry : ParseStateText(cache).Hashes)
        oldText += ToHex(std::string(entry.Tag)) + " " + std::string(entry.Hash) + " " +
                   ToHex(std::string(entry.Login)) + "\n";
    ::unlink(statePath.c_str());
    WriteWholeFile(old, oldText);
    TPasswordFileStats third;
    EXPECT_EQ(Export(third), before);
    EXPECT_EQ(third.Reused, 6u);
    EXPECT_FALSE(std::filesystem::exists(old));
}

TEST_F(HashCacheTest, ChangesRehashExactlyTheUsersTheyTouch) {
    TPasswordFileStats stats;
    const auto original = Export(stats);

    // A password edited by hand in the database text.
    EditDatabaseText("'secret2'", "'secret2!'");
    auto lines = Export(stats);
    EXPECT_EQ(stats.Hashed, 1u);
    EXPECT_EQ(stats.Reused, 5u);
    EXPECT_NE(lines["user2"], original.at("user2"));
    EXPECT_EQ(lines["user3"], original.at("user3"));

    // A renamed user.
    EditDatabaseText("'user4'", "'user4b'");
    lines = Export(stats);
    EXPECT_EQ(stats.Hashed, 1u);
    EXPECT_EQ(lines.count("user4"), 0u);

    // Another cost, then another form: every user.
    Export(stats, 5);
    EXPECT_EQ(stats.Hashed, 6u);
    Export(stats, 5);
    EXPECT_EQ(stats.Reused, 6u);
    Export(stats, 1000, ptSHA512);
    EXPECT_EQ(stats.Hashed, 6u);
}

TEST_F(HashCacheTest, ADamagedMissingOrForeignCacheOnlyCostsTime) {
    TPasswordFileStats stats;
    Export(stats);
    const std::string cachePath = TDatabaseState::PathFor(Db);
    const std::string good = ReadWholeFile(cachePath);

    // Flip one character of every hash: no damaged hash may reach the file.
    std::string damaged = good;
    for (size_t at = damaged.find("$2y$"); at != std::string::npos;
         at = damaged.find("$2y$", at + 1))
        damaged[at + 19] = damaged[at + 19] == 'A' ? 'B' : 'A';
    struct TCase {
        const char* Name;
        std::string Content; // "-" removes the file
        size_t Reused;
    };
    const TCase cases[] = {
        {"intact", good, 6},
        {"deleted", "-", 0},
        {"empty", "", 0},
        {"damaged hashes", damaged, 0},
        {"cut short", good.substr(0, good.size() / 2), 0}, // a few whole lines survive
        {"garbage", std::string(5000, '\xff'), 0},
    };
    for (const TCase& c : cases) {
        if (c.Content == "-")
            ::unlink(cachePath.c_str());
        else
            WriteWholeFile(cachePath, c.Content);
        Export(stats); // checks every line against its password
        if (std::string(c.Name) == "cut short") {
            EXPECT_LT(stats.Reused, 6u) << c.Name;
        } else {
            EXPECT_EQ(stats.Reused, c.Reused) << c.Name;
        }
        EXPECT_EQ(stats.Reused + stats.Hashed, 6u) << c.Name;
    }

    // Another database's key (a copy with its own key) reuses nothing of this cache.
    WriteWholeFile(cachePath, good);
    TUserList list;
    list.LoadFromFile(Db);
    list.HashCacheKey.clear();
    EnsureHashCacheKey(list);
    list.SaveToFile(Db);
    Export(stats);
    EXPECT_EQ(stats.Reused, 0u);

    // A cache that others could read is replaced by one only the owner can.
    ::chmod(cachePath.c_str(), 0644);
    Export(stats);
    struct stat st {};
    ASSERT_EQ(::stat(cachePath.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A folder the cache cannot be written to: the export still succeeds.
    ::unlink(cachePath.c_str());
    ::mkdir(cachePath.c_str(), 0700);
    Export(stats);
    EXPECT_EQ(stats.Hashed, 6u);
}

TEST(SameBytes, AnUnchangedDatabaseKeepsEveryHashAChangedPasswordGetsAFreshSalt) {
    const struct {
        TPasswordsType Type;
        int WorkFactor;
    } forms[] = {{ptPlainText, 0}, {ptMD5, 0}, {ptBcrypt, 4}, {ptSHA256, 1000}, {ptSHA512, 1000}};
    for (const auto& f : forms) {
        const std::string name(PasswordsTypeName(f.Type));
        TUserList list;
        for (const auto& [login, password] : KUsers)
            AddUser(list, login, password.empty() ? "x" : password);
        // Known only by a hash taken over from another file: written as it came, whatever the
        // hashed form (a plain-text file cannot hold it).
        if (f.Type != ptPlainText)
            AddUser(list, "kept", "").SetPasswordHash("$apr1$abcdefgh$0123456789abcdefghijkl");
        list.PassType = f.Type;
        EnsureHashCacheKey(list);
        const std::string key = IsSlowPassType(f.Type) ? list.HashCacheKey : std::string();
        THashTable remembered;
        auto build = [&](TPasswordFileStats& stats) {
            THashCache cache(key);
            cache.Load(remembered);
            TPasswordFileOptions options;
            options.Cache = &cache;
            options.Stats = &stats;
            if (f.WorkFactor != 0) options.SchemeParam = f.WorkFactor;
            options.AllowEmptyPasswords = true;
            const std::string text = *BuildPasswordFile(list, f.Type, options);
            remembered = cache.Entries();
            return text;
        };
        TPasswordFileStats first, second, third;
        const std::string before = build(first);
        EXPECT_EQ(build(second), before) << name;
        const bool hashed = f.Type != ptPlainText;
        EXPECT_EQ(second.Reused, hashed ? KUsers.size() : 0u) << name;
        EXPECT_EQ(second.Hashed, 0u) << name;

        list.Users(0).SetPassword("looking glass");
        const std::string after = build(third);
        const auto old = Lines(before), now = Lines(after);
        for (const auto& [login, hash] : now) {
            if (login != KUsers[0].first) {
                EXPECT_EQ(hash, old.at(login)) << name << " " << login;
            }
        }
        const std::string& changed = now.at(KUsers[0].first);
        // A plain-text line holds the password itself.
        EXPECT_TRUE(hashed ? VerifyStoredHash("looking glass", changed)
                           : changed == "looking glass")
            << name;
        if (hashed) {
            EXPECT_EQ(third.Hashed, 1u) << name;
            EXPECT_NE(changed,
                      SchemeOf(f.Type).HashWithSetting("looking glass", old.at(KUsers[0].first)))
                << name << ": the old salt was kept for a new password";
        }
    }
}

// One export writing a file per target, each in its own form and work factor: each (form, work
// factor) is hashed once however many files take it, each keeps its hashes in its own part of
// the database's state, and a re-export of an unchanged database gives every file's bytes
// again without hashing; a changed password is hashed once per form.
TEST(SameBytes, SeveralFormsInOneExportEachHashedOnceAndKeptApart) {
    const struct {
        const char* Consumer;
        const char* Form;
        int WorkFactor; // 0: the form's own
        size_t SameAs;  // an earlier file with the same form and work factor, or itself
    } files[] = {
        {"htpasswd", "md5", 0, 0},       {"htpasswd", "bcrypt", 4, 1},
        {"htpasswd", "sha512", 1000, 2}, {"htpasswd", "bcrypt", 4, 1},
        {"htpasswd", "bcrypt", 5, 4},    {"mosquitto", "pbkdf2-sha512", 0, 5},
        {"htpasswd", "sha512", 1001, 6},
    };
    const size_t count = std::size(files);
    // A database of a fast form (no key of its own) and one of a slow form (its key tags all).
    for (const TPasswordsType own : {ptMD5, ptBcrypt}) {
        SCOPED_TRACE(PasswordsTypeName(own));
        TUserList list;
        for (const char* login : {"alice", "bob", "carol", "dave"})
            AddUser(list, login, std::string(login) + " pw");
        list.PassType = own;
        EnsureHashCacheKey(list);
        TDatabaseStateData state;
        std::vector<TPasswordFileStats> stats(count);
        const auto exportAll = [&] {
            std::vector<std::string> texts;
            TDatabaseStateData next = state;
            {
                TFormHashCaches caches(list, state);
                for (size_t i = 0; i < count; ++i) {
                    TPasswordFileOptions options;
                    options.Form = FormByCliName(files[i].Form);
                    if (files[i].WorkFactor != 0) options.SchemeParam = files[i].WorkFactor;
                    options.Stats = &stats[i];
                    texts.push_back(*BuildConsumerFile(list, RequireConsumer(files[i].Consumer),
                                                       options, caches));
                }
                EXPECT_TRUE(caches.Store(next));
            }
            state = next;
            return texts;
        };
        const std::vector<std::string> first = exportAll();
        for (size_t i = 0; i < count; ++i) {
            SCOPED_TRACE(i);
            const bool shared = files[i].SameAs != i;
            EXPECT_EQ(stats[i].Hashed, shared ? 0u : 4u);
            EXPECT_EQ(stats[i].Reused, shared ? 4u : 0u);
            EXPECT_EQ(first[i], first[files[i].SameAs]);
            for (size_t j = 0; j < i; ++j)
                if (files[j].SameAs != files[i].SameAs) {
                    EXPECT_NE(first[i], first[j]);
                }
        }
        // Each form and work factor its own part: the database's own (MD5, or bcrypt at its
        // stored cost 5) in the state's Hashes, the five others apart; the others' tags with
        // the database's key when it has one, else with a key of the state's own.
        EXPECT_EQ(state.Hashes.empty(), false);
        EXPECT_EQ(state.FormHashes.size(), 5u);
        EXPECT_EQ(state.FormHashKey.empty(), own == ptBcrypt);

        EXPECT_EQ(exportAll(), first);
        for (const TPasswordFileStats& s : stats) {
            EXPECT_EQ(s.Hashed, 0u);
            EXPECT_EQ(s.Reused, 4u);
        }

        list.Users(1).SetPassword("new bob pw");
        const std::vector<std::string> after = exportAll();
        for (size_t i = 0; i < count; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(stats[i].Hashed, files[i].SameAs != i ? 0u : 1u);
            EXPECT_NE(after[i], first[i]);
            EXPECT_EQ(after[i], after[files[i].SameAs]);
        }
    }
}

TEST(HashCacheKey, MadeOnlyForASlowFormAndOnlyOnce) {
    TUserList list;
    EXPECT_FALSE(EnsureHashCacheKey(list));
    EXPECT_EQ(list.HashCacheKey, "");
    list.PassType = ptSHA256;
    EXPECT_TRUE(EnsureHashCacheKey(list));
    EXPECT_EQ(list.HashCacheKey.size(), 64u);
    const std::string key = list.HashCacheKey;
    EXPECT_FALSE(EnsureHashCacheKey(list));
    EXPECT_EQ(list.HashCacheKey, key);
    TUserList other;
    other.PassType = ptBcrypt;
    EnsureHashCacheKey(other);
    EXPECT_NE(other.HashCacheKey, key);
}

} // namespace

namespace {

TEST(Estimates, DurationsAndTextsInWords) {
    const std::pair<double, const char*> durations[] = {
        {0.0001, "DurationUnderMs()"}, {0.002, "DurationMs(2)"}, {0.0604, "DurationMs(60)"},
        {0.9996, "DurationS(1)"},      {40.2, "DurationS(40)"},  {59.6, "DurationMin(1)"},
        {185, "DurationMin(3)"},       {7200, "DurationH(2)"},
    };
    for (const auto& [seconds, shown] : durations)
        EXPECT_EQ(Signature(DurationMessage(seconds)), shown) << seconds;
    EXPECT_EQ(Signature(ExportEstimateMessage(0.00666, 12000, 2)),
              "EstimateUsers(DurationS(40), 12000)");
    EXPECT_EQ(Signature(ExportEstimateMessage(0.002, 1, 2)), "EstimateOneUser(DurationMs(1))");
    EXPECT_EQ(Signature(ExportEstimateMessage(0.05, 1234567, 0)),
              "EstimateUsers(DurationH(17), 1234567)");
    EXPECT_EQ(Signature(ServerCostMessage(0.0021)), "ServerCost(DurationMs(2))");
}

TEST(Estimates, MeasuredOnTheFlyWithoutPayingForTheWorkFactor) {
    const auto start = std::chrono::steady_clock::now();
    const double bcrypt17 = CryptSecondsPerHash(TCryptKind::Bcrypt, 17);
    const double sha = CryptSecondsPerHash(TCryptKind::Sha512, 999999999);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took.count(), 2.0) << "the estimate must not compute the expensive hash itself";
    EXPECT_GT(bcrypt17, 0.0);
    EXPECT_GT(sha, 0.0);
    EXPECT_NE(ErrorOf([] { CryptSecondsPerHash(TCryptKind::Bcrypt, 18); }), "");
}

} // namespace
