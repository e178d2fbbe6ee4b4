// quorvane-cli and the password forms: hash in every scheme, export with --format, --cost,
// --rounds and --save-choice, and the hash cache beside the database.

#include "CliRun.h"
#include "TestUtil.h"
#include "cli/Commands.h"
#include "export/StoredHash.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

using namespace quorvane;

namespace {

bool FileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::string Line(const TResult& r) {
    return r.Out.empty() ? r.Out : r.Out.substr(0, r.Out.size() - 1);
}

TEST(CliHash, EverySchemeGivesAStringThatVerifies) {
    struct TCase {
        std::vector<std::string> Options;
        const char* Prefix;
    };
    const TCase cases[] = {
        {{}, "$apr1$"},
        {{"--scheme", "md5"}, "$apr1$"},
        {{"--scheme", "bcrypt"}, "$2y$05$"},
        {{"--scheme", "bcrypt", "--cost", "4"}, "$2y$04$"},
        {{"--scheme", "sha256"}, "$5$"},
        {{"--scheme", "sha256", "--rounds", "1000"}, "$5$rounds=1000$"},
        {{"--scheme", "sha512", "--rounds=5000"}, "$6$"},
        {{"--scheme", "sha512", "--rounds", "6000"}, "$6$rounds=6000$"},
        // named as export names it
        {{"--format", "bcrypt", "--cost", "4"}, "$2y$04$"},
        {{"--format", "sha256", "--scheme", "sha256"}, "$5$"},
    };
    for (const TCase& c : cases) {
        std::vector<std::string> args = {"hash"};
        args.insert(args.end(), c.Options.begin(), c.Options.end());
        args.push_back("it's s3cret");
        const TResult r = Cli(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        const std::string hash = Line(r);
        EXPECT_EQ(hash.rfind(c.Prefix, 0), 0u) << hash;
        if (std::string(c.Prefix) == "$5$" || std::string(c.Prefix) == "$6$") {
            EXPECT_EQ(hash.find("rounds="), std::string::npos) << hash;
        }
        EXPECT_TRUE(VerifyStoredHash("it's s3cret", hash)) << hash;
    }
    const TResult stdinHash = Cli({"hash", "--scheme", "sha512", "--password-stdin"}, "pw\n");
    EXPECT_TRUE(VerifyStoredHash("pw", Line(stdinHash))) << stdinHash.Out;
}

TEST(CliHash, AGivenSaltGivesHtpasswdsString) {
    // htpasswd -nb5 / -nbB -C 5 wrote these.
    EXPECT_EQ(Line(Cli({"hash", "--scheme", "sha512", "--salt", "K7MwPNlgWpbz2cnR", "p@ss w0rd"})),
              "$6$K7MwPNlgWpbz2cnR$EjsMjoy6oihWmSPbeH4tQ4jixPjJ1gxCyi5561fFjoaW56w/"
              "wL43vTaAST4nVHlEI37EssBzdiNqM/QQaH5OF/");
    EXPECT_EQ(Line(Cli({"hash", "--scheme", "bcrypt", "--cost", "5", "--salt",
                        "oHg.7kd2dqbkYnPbOBcFSe", "correct horse"})),
              "$2y$05$oHg.7kd2dqbkYnPbOBcFSeE4j.O7saYU8tgHN4EWMuKL/0jerweUy");
}

TEST(CliHash, UsageErrors) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"hash", "--scheme", "sha1", "x"},
             {"hash", "--cost", "5", "x"},
             {"hash", "--scheme", "sha256", "--cost", "5", "x"},
             {"hash", "--scheme", "bcrypt", "--rounds", "5000", "x"},
             {"hash", "--scheme", "bcrypt", "--cost", "3", "x"},
             {"hash", "--scheme", "bcrypt", "--cost", "18", "x"},
             {"hash", "--scheme", "sha512", "--rounds", "999", "x"},
             {"hash", "--scheme", "sha512", "--rounds", "1000000000", "x"},
             {"hash", "--scheme", "sha512", "--salt", "has$dollar", "x"},
             {"hash", "--scheme", "bcrypt", "--salt", "tooshort", "x"},
             // md5 salts take the crypt alphabet only, as the help says
             {"hash", "--salt", "a$b", "x"},
             {"hash", "--salt", "a:b", "x"},
             {"hash", "--salt", "ab cd", "x"},
             {"hash", "--salt", "\xc3\xa4", "x"},
             {"hash", "--salt", "", "x"},
             {"hash", "--salt", "123456789", "x"},
             {"hash", "--scheme", "sha256"},
             {"hash", "--format", "plain", "x"},
             {"hash", "--format", "md5", "--scheme", "bcrypt", "x"}}) {
        const TResult r = Cli(args);
        EXPECT_EQ(r.Status, 2) << args[1] << " " << args.back() << ": " << r.Err;
        EXPECT_EQ(r.Out, "");
    }
}

} // namespace

namespace {

class CliExportSchemes : public ::testing::Test {
protected:
    void SetUp() override {
        TUserList list;
        for (const auto& [login, password] : Users) {
            TUserProp& user = list.AddBlank();
            user.Login = login;
            user.Password = password;
        }
        list.SaveToFile(Db);
    }
    // login -> hash of the password file at Out.
    std::map<std::string, std::string> Lines() const {
        std::map<std::string, std::string> lines;
        std::istringstream in(ReadWholeFile(Out));
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines[line.substr(0, line.find(':'))] = line.substr(line.find(':') + 1);
        }
        return lines;
    }
    void ExpectLinesVerify(const char* prefix) const {
        const auto lines = Lines();
        ASSERT_EQ(lines.size(), Users.size());
        for (const auto& [login, password] : Users) {
            EXPECT_EQ(lines.at(login).rfind(prefix, 0), 0u) << lines.at(login);
            EXPECT_TRUE(VerifyStoredHash(password, lines.at(login))) << login;
        }
    }

    TTempDir Dir;
    std::string Db = Dir.File("site.udx"), Out = Dir.File("htpasswd");
    std::vector<std::pair<std::string, std::string>> Users = {
        {"alice", "wonderland"}, {"bob", "it's $ecret"}, {"carol", "x"}};
};

TEST_F(CliExportSchemes, FormatAndWorkFactorForOneExportLeaveTheDatabaseAlone) {
    const std::string before = ReadWholeFile(Db);
    TResult r = Cli({"export", Db, "--output", Out, "--format", "bcrypt", "--cost", "4"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    ExpectLinesVerify("$2y$04$");
    r = Cli({"export", Db, "--output", Out, "--format", "sha256", "--rounds", "1000"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    ExpectLinesVerify("$5$rounds=1000$");
    EXPECT_EQ(ReadWholeFile(Db), before) << "stored without --save-choice";
    EXPECT_FALSE(FileExists(Dir.File(".site.udx.hashes")));
}

// Every form keeps the hashes of users that did not change, whether it is the database's own or
// given for one export, each apart from the others; a changed password, form or work factor
// gets a new hash.
TEST_F(CliExportSchemes, EveryFormKeepsTheHashesOfUnchangedUsers) {
    const struct {
        const char* Passwd;              // a user given a new password first
        std::vector<std::string> Format; // the export's options
        const char* Against;             // the export whose lines it is compared with
        const char* Changed;             // the users whose line differs from those
    } steps[] = {
        {nullptr, {}, nullptr, nullptr},
        {nullptr, {}, "", ""},
        {nullptr, {"--format", "sha512"}, nullptr, nullptr},
        {nullptr, {"--format", "sha512"}, "--format sha512", ""},
        {nullptr, {"--format", "bcrypt", "--cost", "4"}, nullptr, nullptr},
        {nullptr, {"--format", "bcrypt", "--cost", "4"}, "--format bcrypt --cost 4", ""},
        {nullptr, {"--format", "sha256", "--rounds", "1000"}, nullptr, nullptr},
        {nullptr, {"--format", "sha256", "--rounds", "1000"}, "--format sha256 --rounds 1000", ""},
        // Other forms in between push out neither the given forms' hashes nor the stored one's.
        {nullptr, {"--format", "sha512"}, "--format sha512", ""},
        {nullptr, {}, "", ""},
        {"bob", {"--format", "sha512"}, "--format sha512", "bob"},
        {nullptr, {"--format", "bcrypt", "--cost", "4"}, "--format bcrypt --cost 4", "bob"},
        {nullptr, {}, "", "bob"},
        {nullptr,
         {"--format", "bcrypt", "--cost", "5"},
         "--format bcrypt --cost 4",
         "alice bob carol"},
        {nullptr, {"--format", "sha256", "--rounds", "1000"}, "--format sha512", "alice bob carol"},
        {nullptr, {"--format", "sha512", "--rounds", "1000"}, "--format sha512", "alice bob carol"},
    };
    std::map<std::string, std::map<std::string, std::string>> last; // by options
    for (const auto& step : steps) {
        if (step.Passwd != nullptr) {
            ASSERT_EQ(Cli({"passwd", Db, step.Passwd, "--password-stdin"}, "new one\n").Status, 0);
        }
        std::string name;
        for (const std::string& option : step.Format)
            name += (name.empty() ? "" : " ") + option;
        std::vector<std::string> args = {"export", Db, "--output", Out};
        args.insert(args.end(), step.Format.begin(), step.Format.end());
        const TResult r = Cli(args);
        ASSERT_EQ(r.Status, 0) << name << ": " << r.Err;
        const auto lines = Lines();
        if (step.Against != nullptr) {
            std::string changed;
            for (const auto& [login, hash] : lines)
                if (last.at(step.Against).at(login) != hash)
                    changed += (changed.empty() ? "" : " ") + login;
            EXPECT_EQ(changed, step.Changed) << name << " against " << step.Against;
        }
        last[name] = lines;
    }
    // Exported twice with nothing changed in between: the same bytes.
    const std::string before = ReadWholeFile(Out);
    ASSERT_EQ(Cli({"export", Db, "--output", Out, "--format", "sha512", "--rounds", "1000"}).Status,
              0);
    EXPECT_EQ(ReadWholeFile(Out), before);
}

TEST_F(CliExportSchemes, SaveChoiceStoresTheFormAndTheNextExportReusesItsHashes) {
    TResult r = Cli(
        {"export", Db, "--output", Out, "--format", "sha512", "--rounds", "1000", "--save-choice"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    ExpectLinesVerify("$6$rounds=1000$");
    TUserList stored;
    stored.LoadFromFile(Db);
    EXPECT_EQ(stored.PassType, TPasswordsType::ptSHA512);
    EXPECT_EQ(stored.ShaRounds, 1000);
    EXPECT_EQ(stored.HashCacheKey.size(), 64u);
    const std::string first = ReadWholeFile(Out);

    // The stored choice is the default now; unchanged users keep their lines.
    r = Cli({"export", Db, "--output", Out});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadWholeFile(Out), first);
    // Back to MD5 for good: the database reads as any MD5 database again.
    r = Cli({"export", Db, "--output", Out, "--format", "md5", "--save-choice"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    ExpectLinesVerify("$apr1$");
    EXPECT_EQ(ReadWholeFile(Db).find("ShaRounds"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(Db).find("HashCacheKey"), std::string::npos);
}

TEST_F(CliExportSchemes, WorkFactorsThatDoNotFitAreUsageErrors) {
    for (const std::vector<std::string>& extra :
         std::vector<std::vector<std::string>>{{"--format", "sha256", "--cost", "5"},
                                               {"--format", "bcrypt", "--rounds", "5000"},
                                               {"--format", "md5", "--cost", "5"},
                                               {"--cost", "5"}, // the stored form is MD5
                                               {"--format", "bcrypt", "--cost", "18"},
                                               {"--format", "sha512", "--rounds", "999"}}) {
        std::vector<std::string> args = {"export", Db, "--output", Out};
        args.insert(args.end(), extra.begin(), extra.end());
        const TResult r = Cli(args);
        EXPECT_EQ(r.Status, 2) << extra[0] << " " << extra[1] << ": " << r.Err;
        EXPECT_FALSE(FileExists(Out));
    }
}

} // namespace
