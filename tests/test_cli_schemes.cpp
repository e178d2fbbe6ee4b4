// quorvane-cli and the password forms: hash in every scheme, export with --format, --cost,
// --rounds and --save-choice, and the hash cache beside the database.

#include "Commands.h"
#include "StoredHash.h"
#include "TestUtil.h"
#include "UserList.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct TResult {
    int Status;
    std::string Out, Err;
};

TResult Cli(std::vector<std::string> args, const std::string& input = "") {
    std::istringstream in(input);
    std::ostringstream out, err;
    TCliStreams io{in, out, err, false};
    const int status = RunCli(args, io);
    return {status, out.str(), err.str()};
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
             {"hash", "--scheme", "sha256"}}) {
        const TResult r = Cli(args);
        EXPECT_EQ(r.Status, 2) << args[1] << " " << args.back() << ": " << r.Err;
        EXPECT_EQ(r.Out, "");
    }
}

} // namespace
