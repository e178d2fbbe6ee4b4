// Exports for other programs than web servers from the command line, and what an export says
// about users taken over from a password file in another form than the one written.

#include "CliRun.h"
#include "ExportTestUtil.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// A site's file made with "htpasswd -m" taken over, then one user added with a clear password.
class ConsumerCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access("/usr/bin/htpasswd", X_OK) != 0) GTEST_SKIP() << "htpasswd is not installed";
        ASSERT_EQ(RunCommand("(htpasswd -bcm " + ShellQuote(Site) +
                             " carl 'carl pw' && htpasswd -bm " + ShellQuote(Site) +
                             " dora 'dora pw') 2>&1")
                      .ExitCode,
                  0);
        ASSERT_EQ(Cli({"create", Db}).Status, 0);
        ASSERT_EQ(Cli({"import-htpasswd", Db, Site}).Status, 0);
        ASSERT_EQ(Cli({"add", Db, "ann", "--password", "ann pw"}).Status, 0);
    }

    TTempDir Dir;
    std::string Site = Dir.File("site.htpasswd");
    std::string Db = Dir.File("site.udx");
    std::string Out = Dir.File("out");
};

} // namespace

// The taken-over "$apr1$" users cannot be written as bcrypt: where the program reads both forms
// they go out as they are and are named; where it reads bcrypt only nothing is written and they
// are named.
TEST_F(ConsumerCliTest, TakenOverUsersInAnotherFormAreNamed) {
    const struct {
        std::vector<std::string> Options;
        int Status;
        bool Written;
        const char* Said; // on standard error
    } rows[] = {
        {{"--format", "bcrypt"}, 0, true, "another form than bcrypt"},
        {{"--format", "bcrypt", "--quiet"}, 0, true, "which not every program reads: 2\n"},
        {{"--consumer", "registry"}, 1, false, "carl"},
        {{"--consumer", "prometheus"}, 1, false, "dora"},
        {{"--consumer", "caddy"}, 1, false, "carl"},
        {{"--consumer", "traefik", "--format", "bcrypt"}, 0, true, "carl"},
        {{"--consumer", "digest", "--realm", "site"}, 1, false, "carl"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = {"export", Db, "--output", Out};
        args.insert(args.end(), row.Options.begin(), row.Options.end());
        SCOPED_TRACE(args.back());
        std::error_code ec;
        fs::remove(Out, ec);
        const TResult r = Cli(args);
        EXPECT_EQ(r.Status, row.Status) << r.Err;
        EXPECT_EQ(fs::exists(Out), row.Written);
        EXPECT_NE(r.Err.find(row.Said), std::string::npos) << r.Err;
        if (row.Written) {
            // The taken-over lines are there unchanged: nobody is locked out without a word.
            EXPECT_NE(ReadWholeFile(Out).find("carl:$apr1$"), std::string::npos);
        }
    }
    const TResult json = Cli({"export", Db, "--output", Out, "--format", "bcrypt", "--json"});
    ASSERT_EQ(json.Status, 0) << json.Err;
    const size_t warnings = json.Out.find("\"warnings\": [");
    ASSERT_NE(warnings, std::string::npos) << json.Out;
    EXPECT_NE(json.Out.find("carl, dora", warnings), std::string::npos) << json.Out;
}

// The forms only other programs read go out through --consumer, checked by their own tools.
TEST_F(ConsumerCliTest, ExportsAFileInTheConsumersForm) {
    ASSERT_EQ(Cli({"create", Dir.File("fresh.udx")}).Status, 0);
    const std::string fresh = Dir.File("fresh.udx");
    ASSERT_EQ(Cli({"add", fresh, "ann", "--password", "ann pw"}).Status, 0);

    const std::string web = Dir.File("web.htpasswd");
    ASSERT_EQ(Cli({"export", fresh, "--output", web}).Status, 0);
    const std::string before = ReadWholeFile(web);
    TResult r = Cli({"export", fresh, "--output", Out, "--consumer", "mosquitto"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    // The web servers' file keeps its hashes: the other form took nothing from it.
    ASSERT_EQ(Cli({"export", fresh, "--output", web}).Status, 0);
    EXPECT_EQ(ReadWholeFile(web), before);
    const std::string mosquitto = ReadWholeFile(Out);
    EXPECT_TRUE(mosquitto.starts_with("ann:$7$101$")) << mosquitto;
    EXPECT_EQ(mosquitto.back(), '\n');
    EXPECT_EQ(mosquitto.find('\r'), std::string::npos);

    r = Cli({"export", fresh, "--output", Out, "--consumer", "digest"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("needs a realm"), std::string::npos) << r.Err;
    r = Cli({"export", fresh, "--output", Out, "--consumer", "digest", "--realm", "site"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    // htdigest's own line for the same user and realm
    const TCommandResult md5 = RunCommand("printf %s 'ann:site:ann pw' | md5sum");
    EXPECT_EQ(ReadWholeFile(Out), "ann:site:" + md5.Output.substr(0, 32) + "\n");

    r = Cli({"export", fresh, "--output", Out, "--consumer", "registry", "--format", "md5"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("does not read the form MD5"), std::string::npos) << r.Err;
    // Only to a file: the database's stored target might be a store, which reads user lines.
    r = Cli({"export", fresh, "--consumer", "caddy"});
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("give --output"), std::string::npos) << r.Err;
    r = Cli({"export", fresh, "--output", Out, "--consumer", "nosuch"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("htpasswd, digest, caddy"), std::string::npos) << r.Err;
}

// Apache's group file goes beside the files Apache reads; a program that carries the groups in
// its own file (HAProxy, Authelia) or takes none gets no group file beside its file.
TEST_F(ConsumerCliTest, AGroupFileOnlyBesideTheFilesApacheReads) {
    const std::string db = Dir.File("groups.udx");
    ASSERT_EQ(Cli({"create", db}).Status, 0);
    ASSERT_EQ(Cli({"add", db, "ann", "--password", "ann pw"}).Status, 0);
    ASSERT_EQ(Cli({"group", db, "add", "staff", "ann"}).Status, 0);
    const struct {
        std::vector<std::string> Options;
        bool GroupFile;
        const char* InOwnFile; // how its own file names the group, where it does
    } rows[] = {
        {{"--consumer", "htpasswd"}, true, ""},
        {{"--consumer", "digest", "--realm", "site"}, true, ""},
        {{"--consumer", "haproxy"}, false, "group staff users ann"},
        {{"--consumer", "authelia"}, false, "staff"},
        {{"--consumer", "caddy"}, false, ""},
        {{"--consumer", "mosquitto"}, false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Options[1]);
        const std::string out = Dir.File(row.Options[1] + ".out");
        std::vector<std::string> args = {"export", db, "--output", out};
        args.insert(args.end(), row.Options.begin(), row.Options.end());
        const TResult r = Cli(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(fs::exists(out + ".groups"), row.GroupFile);
        if (row.GroupFile) {
            EXPECT_EQ(ReadWholeFile(out + ".groups"), "staff: ann\r\n");
        }
        EXPECT_NE(ReadWholeFile(out).find(row.InOwnFile), std::string::npos);
    }
}

// A target keeps its program, form, mode and command after the export; the export refuses, before
// anything is written, a target whose program cannot read the taken-over users.
TEST_F(ConsumerCliTest, ATargetKeepsItsProgramAndFormAndIsRefusedWhatItCannotRead) {
    const std::string reg = Dir.File("registry.htpasswd");
    TResult r = Cli(
        {"target", Db, "add", "bad", "--file", Out, "--consumer", "registry", "--format", "md5"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("bad: Docker"), std::string::npos) << r.Err;
    r = Cli(
        {"target", Db, "add", "reg", "--file", reg, "--consumer", "registry", "--mode", "0600"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("file for: registry, bcrypt (cost "), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("mode: 0600"), std::string::npos) << r.Out;

    // The database's first target names no file: the export goes to "reg" alone.
    r = Cli({"export", Db});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("carl"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(reg));

    // Read as a web server reads it, the taken-over users go out as they are, and are named.
    r = Cli({"target", Db, "--target", "reg", "--consumer", "htpasswd", "--format", "bcrypt",
             "--cost", "5"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    r = Cli({"target", Db});
    EXPECT_NE(r.Out.find("htpasswd, bcrypt (cost 5)"), std::string::npos) << r.Out;
    r = Cli({"export", Db});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Err.find("carl"), std::string::npos) << r.Err;
    const std::string written = ReadWholeFile(reg);
    EXPECT_NE(written.find("ann:$2y$05$"), std::string::npos) << written;
    EXPECT_NE(written.find("carl:$apr1$"), std::string::npos) << written;
    EXPECT_EQ(fs::status(reg).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    // A command that fails fails its target; an empty value takes it away again.
    ASSERT_EQ(Cli({"add", Db, "bea", "--password", "bea pw"}).Status, 0);
    ASSERT_EQ(
        Cli({"target", Db, "--target", "reg", "--after", "echo reload failed; exit 3"}).Status, 0);
    r = Cli({"export", Db});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("reload failed"), std::string::npos) << r.Err;
    ASSERT_EQ(Cli({"target", Db, "--target", "reg", "--after", ""}).Status, 0);
    r = Cli({"target", Db, "--target", "reg"});
    EXPECT_EQ(r.Out.find("after:"), std::string::npos) << r.Out;
}
