// quorvane-cli and the files it works on: the database lock between programs, the password file
// that must not replace the database, standard output and special targets, warnings of what a
// write could not keep, signals during a save.

#include "CliRun.h"
#include "FtpTestServer.h"
#include "TestUtil.h"
#include "base/FileSafety.h"
#include "cli/Commands.h"
#include "cli/HeapStart.h"
#include "userdb/DatabaseLock.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace quorvane;

namespace {

namespace fs = std::filesystem;

// Starts the real program with its standard output and error going to files; returns its pid.
pid_t Spawn(const std::vector<std::string>& args, const std::string& outFile = "/dev/null",
            const std::string& errFile = "/dev/null") {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out >= 0) ::dup2(out, STDOUT_FILENO);
        if (err >= 0) ::dup2(err, STDERR_FILENO);
        std::vector<char*> argv;
        std::string program = QUORVANE_CLI_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (std::string& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

// The raw wait status of a child.
int Wait(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// The real program run as "nobody": a plain-text export of db to out, standard error to errFile;
// the raw wait status.
int PlainExportAsNobody(const std::string& db, const std::string& out, const std::string& errFile) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(126);
        // nobody keeps the replaced file in a state folder of its own, beside the output.
        ::setenv("XDG_STATE_HOME", (out.substr(0, out.rfind('/') + 1) + "state").c_str(), 1);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(err, STDERR_FILENO);
        ::execl(QUORVANE_CLI_PATH, "quorvane-cli", "export", db.c_str(), "--output", out.c_str(),
                "--format", "plain", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return Wait(pid);
}

class CliFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Cli({"create", Db}).Status, 0); }
    void TearDown() override { test_hooks::SetDefaultLockTimeout({}); }
    TTempDir Dir;
    std::string Db = Dir.File("users.udx");
};

// Ctrl+C once the file is on its way to the server: the transfer stops, the site keeps its old
// file, nothing is renamed, the partial upload goes, and the command fails.
TEST_F(CliFiles, InterruptDuringAnUploadLeavesTheServersFileAsItWas) {
    ftptest::TFtpServer server({"--throttle", "20000"});
    WriteWholeFile(server.Root() / "htpasswd", "old:content\n");
    ASSERT_EQ(Cli({"series", Db, "--count", "4000"}).Status, 0);
    ASSERT_EQ(Cli({"target", Db, "--url", "ftp://" + server.Host() + "/htpasswd", "--login",
                   ftptest::kUser, "--password-stdin"},
                  ftptest::kPassword + "\n")
                  .Status,
              0);
    const std::string err = Dir.File("err");
    // The site's file holds a user of its own: replaced all the same, had it come to that.
    const pid_t pid = Spawn({"export", Db, "--overwrite"}, "/dev/null", err);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (server.Commands().find("STOR htpasswd_safeupload") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // some of it on its way
    ::kill(pid, SIGINT);
    const int status = Wait(pid);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(ReadWholeFile(err).find("Export aborted; the server's file was not changed"),
              std::string::npos)
        << ReadWholeFile(err);
    EXPECT_EQ(ReadWholeFile(server.Root() / "htpasswd"), "old:content\n");
    EXPECT_FALSE(fs::exists(server.Root() / "htpasswd_safeupload"));
    EXPECT_EQ(server.Commands().find("RNFR"), std::string::npos) << server.Commands();
}

TEST_F(CliFiles, TwoProgramsAddingAtOnceLoseNoUser) {
    // A shell loop per program, each adding 25 users one command after the other.
    auto loop = [&](const std::string& prefix) {
        const std::string script = "for i in $(seq 1 25); do \"$0\" add \"$1\" " + prefix +
                                   "$i --password pw || exit 1; done";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sh", "sh", "-c", script.c_str(), QUORVANE_CLI_PATH, Db.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return pid;
    };
    const pid_t a = loop("a");
    const pid_t b = loop("b");
    const int sa = Wait(a), sb = Wait(b);
    ASSERT_TRUE(WIFEXITED(sa) && WEXITSTATUS(sa) == 0) << sa;
    ASSERT_TRUE(WIFEXITED(sb) && WEXITSTATUS(sb) == 0) << sb;
    TUserList list;
    list.LoadFromFile(Db);
    EXPECT_EQ(list.Count(), 50);
    for (const char* prefix : {"a", "b"})
        for (int i = 1; i <= 25; ++i)
            EXPECT_FALSE(list.IsLoginUnique(prefix + std::to_string(i))) << prefix << i;
    // The lock file goes when the last program is done; no temporary file stays.
    EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"users.udx"});
}

TEST_F(CliFiles, ACommandWaitsForTheLockThenGivesUp) {
    test_hooks::SetDefaultLockTimeout(std::chrono::milliseconds(300));
    const std::string busy = "quorvane-cli: The database is in use by another program\n";
    const std::string before = ReadWholeFile(Db);
    {
        TDatabaseLock writer(Db, TLockMode::Exclusive);
        struct stat st {};
        ASSERT_EQ(::stat(TDatabaseLock::LockPathFor(Db).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        // Changing commands and reading commands alike wait for a writer.
        struct TCase {
            std::vector<std::string> Args;
        };
        const TCase cases[] = {
            {{"add", Db, "x", "--password", "p"}},
            {{"delete", Db, "x"}},
            {{"sweep", Db}},
            {{"series", Db, "--count", "2"}},
            {{"export", Db, "--output", Dir.File("h")}},
            {{"list", Db}},
            {{"info", Db}},
        };
        for (const TCase& c : cases) {
            const auto start = std::chrono::steady_clock::now();
            const TResult r = Cli(c.Args);
            EXPECT_EQ(r.Status, 1) << c.Args[0];
            EXPECT_EQ(r.Err, busy) << c.Args[0];
            EXPECT_EQ(r.Out, "") << c.Args[0];
            EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
        }
    }
    EXPECT_EQ(ReadWholeFile(Db), before);
    EXPECT_FALSE(fs::exists(Dir.File("h")));

    // Readers share: a reader holding the lock lets list and info through, not add.
    {
        TDatabaseLock reader(Db, TLockMode::Shared);
        EXPECT_EQ(Cli({"info", Db}).Status, 0);
        EXPECT_EQ(Cli({"list", Db}).Status, 0);
        EXPECT_EQ(Cli({"add", Db, "x", "--password", "p"}).Err, busy);
    }
    EXPECT_EQ(Cli({"add", Db, "x", "--password", "p"}).Status, 0);
    EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"users.udx"});
    // A database in a folder that does not exist is reported as before, not as a lock file.
    const std::string nowhere = Dir.File("none/users.udx");
    EXPECT_EQ(Cli({"add", nowhere, "x", "--password", "p"}).Err,
              "quorvane-cli: Cannot open file " + nowhere + "\n");
}

TEST_F(CliFiles, AWaitingCommandGoesOnOnceTheLockIsFree) {
    auto holder = std::make_unique<TDatabaseLock>(Db, TLockMode::Exclusive);
    const pid_t pid = Spawn({"add", Db, "late", "--password", "p"});
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    // Still waiting: nothing written yet.
    TUserList list;
    list.LoadFromFile(Db);
    EXPECT_EQ(list.Count(), 0);
    holder.reset();
    const int status = Wait(pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    TUserList after;
    after.LoadFromFile(Db);
    EXPECT_EQ(after.Count(), 1);
}

TEST_F(CliFiles, ExportNeverWritesOverItsOwnDatabase) {
    ASSERT_EQ(Cli({"add", Db, "alice", "--password", "a1"}).Status, 0);
    // An expired user: the export would save the database first; it must not even do that.
    ASSERT_EQ(Cli({"add", Db, "old", "--password", "o", "--expire", "2000-01-01"}).Status, 0);
    struct TCase {
        std::vector<std::string> Args;
        std::string Target;
    };
    const TCase cases[] = {
        {{"export", Db, "--output", Db}, Db},
        {{"export", Db}, Db}, // the database's stored target, set below
    };
    {
        TUserList list;
        list.LoadFromFile(Db);
        First(list)->PassFile = Db;
        list.SaveToFile(Db);
    }
    const std::string stored = ReadWholeFile(Db);
    for (const TCase& c : cases) {
        const TResult r = Cli(c.Args);
        EXPECT_EQ(r.Status, 1) << c.Target;
        EXPECT_EQ(r.Err, "quorvane-cli: The password file " + c.Target +
                             " would replace the database itself; choose another file\n");
        EXPECT_EQ(ReadWholeFile(Db), stored);
    }
    EXPECT_EQ(Dir.Entries(), (std::vector<std::string>{"users.udx"}));
}

TEST_F(CliFiles, OutputDashAndSpecialTargets) {
    ASSERT_EQ(Cli({"add", Db, "carl", "--password", "c"}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "alice", "--password", "a1"}).Status, 0);
    const std::string file = "alice:a1\r\ncarl:c\r\n";

    TResult r = Cli({"export", Db, "--output", "-", "--format", "plain"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, file);
    EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"users.udx"});

    // The real program appending to a log through /dev/stdout: the log is added to, not replaced.
    const std::string log = Dir.File("log");
    WriteWholeFile(log, "earlier\n");
    const std::string command = std::string("'") + QUORVANE_CLI_PATH + "' export '" + Db +
                                "' --output /dev/stdout --format plain >> '" + log + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadWholeFile(log), "earlier\n" + file);

    // A pipe is written in place.
    const std::string fifo = Dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = ReadWholeFile(fifo); });
    r = Cli({"export", Db, "--output", fifo, "--format", "plain"});
    reader.join();
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(received, file);
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A folder is refused.
    fs::create_directory(Dir.File("folder"));
    r = Cli({"export", Db, "--output", Dir.File("folder")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err,
              "quorvane-cli: Cannot create file " + Dir.File("folder") + ": it is a folder\n");
    EXPECT_TRUE(fs::is_empty(Dir.File("folder")));
}

// Waits at most the given time for a child; one that is still running then is killed, and the
// result is -1.
int WaitWithin(pid_t pid, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            Wait(pid);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status;
}

// Fifos and devices where a file is expected, planted in the database's folder: a command
// refuses what it was told to read, replaces or ignores a side file, and never hangs.
TEST_F(CliFiles, AFifoOrADeviceWhereAFileIsExpectedNeverHangs) {
    ASSERT_EQ(Cli({"add", Db, "ann", "--password", "a1"}).Status, 0);
    ASSERT_EQ(Cli({"export", Db, "--output", Dir.File("first"), "--format", "bcrypt", "--cost", "4",
                   "--save-choice"})
                  .Status,
              0);
    ASSERT_EQ(Cli({"target", Db, "--url", "ftp://127.0.0.1:9/htpasswd", "--login", "u"}).Status, 0);
    const std::string fifo = Dir.File("fifo");
    const struct {
        const char* Name;
        std::string Planted; // a fifo is made here, unless it is a device
        std::vector<std::string> Args;
        int Status;
        std::string Error; // part of standard error
    } cases[] = {
        {"hash cache",
         Dir.File(".users.udx.hashes"),
         {"export", Db, "--output", Dir.File("out")},
         0,
         ""},
        {"lock file", Dir.File("users.udx.lock"), {"add", Db, "bob", "--password", "b"}, 0, ""},
        {"text import", fifo, {"import", Db, fifo}, 1, fifo + " is not a regular file"},
        {"password file import",
         fifo,
         {"import-htpasswd", Db, fifo},
         1,
         fifo + " is not a regular file"},
        {"password file import from a device",
         "/dev/zero",
         {"import-htpasswd", Db, "/dev/zero"},
         1,
         "/dev/zero is not a regular file"},
        {"database", fifo, {"list", fifo}, 1, fifo + " is not a regular file"},
        {"file to verify against",
         fifo,
         {"verify", fifo, "ann"},
         1,
         fifo + " is not a regular file"},
        {"server password",
         fifo,
         {"export", Db, "--server-password-file", fifo},
         1,
         fifo + " is not a regular file"},
        {"server password from a device",
         "/dev/zero",
         {"export", Db, "--server-password-file", "/dev/zero"},
         1,
         "/dev/zero is not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        if (!c.Planted.starts_with("/dev/")) {
            ::unlink(c.Planted.c_str()); // the hash cache of the first export
            ASSERT_EQ(::mkfifo(c.Planted.c_str(), 0600), 0);
        }
        const std::string err = Dir.File("err");
        const int status = WaitWithin(Spawn(c.Args, "/dev/null", err), std::chrono::seconds(20));
        ASSERT_NE(status, -1) << "the command hung";
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.Status) << ReadWholeFile(err);
        EXPECT_NE(ReadWholeFile(err).find(c.Error), std::string::npos) << ReadWholeFile(err);
        if (!c.Planted.starts_with("/dev/")) ::unlink(c.Planted.c_str());
    }
    EXPECT_NE(Cli({"list", Db}).Out.find("bob"), std::string::npos);
}

TEST_F(CliFiles, AReadOnlyDatabaseIsNotChanged) {
    ASSERT_EQ(Cli({"add", Db, "alice", "--password", "a1"}).Status, 0);
    ASSERT_EQ(Cli({"add", Db, "old", "--password", "o", "--expire", "2000-01-01"}).Status, 0);
    ASSERT_EQ(::chmod(Db.c_str(), 0400), 0);
    const std::string before = ReadWholeFile(Db);
    const std::vector<std::vector<std::string>> changes = {
        {"add", Db, "bob", "--password", "b"},
        {"delete", Db, "alice"},
        {"sweep", Db},
        {"series", Db, "--count", "1"},
    };
    for (const auto& args : changes) {
        const TResult r = Cli(args);
        EXPECT_EQ(r.Status, 1) << args[0];
        EXPECT_EQ(r.Err, "quorvane-cli: The file is read-only\n") << args[0];
        EXPECT_EQ(r.Out, "") << args[0];
        EXPECT_EQ(ReadWholeFile(Db), before);
    }
    // Reading it still works, and so does an export: the expired user is left out of the
    // password file, the database stays as it is, and the user hears why.
    EXPECT_EQ(Cli({"list", Db}).Status, 0);
    const std::string out = Dir.File("htpasswd");
    const TResult r = Cli({"export", Db, "--output", out, "--format", "plain"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadWholeFile(out), "alice:a1\r\n");
    EXPECT_NE(r.Err.find("warning: The database is read-only"), std::string::npos) << r.Err;
    EXPECT_EQ(ReadWholeFile(Db), before);
}

TEST_F(CliFiles, AGroupThatCannotBeKeptIsReported) {
    if (::geteuid() != 0) GTEST_SKIP() << "a file of another group needs root to set up";
    // The folder and the database open to "nobody", who exports over a file of group root.
    fs::permissions(Dir.Path(), fs::perms::all);
    ASSERT_EQ(Cli({"add", Db, "alice", "--password", "a1"}).Status, 0);
    ASSERT_EQ(::chown(Db.c_str(), 65534, 65534), 0);
    const std::string out = Dir.File("htpasswd");
    WriteWholeFile(out, "old\n");
    ASSERT_EQ(::chown(out.c_str(), 65534, 0), 0);
    ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
    const std::string errFile = Dir.File("err");
    const int status = PlainExportAsNobody(Db, out, errFile);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadWholeFile(errFile);
    EXPECT_EQ(ReadWholeFile(out), "alice:a1\r\n");
    EXPECT_EQ(ReadWholeFile(errFile),
              "quorvane-cli: warning: The group \"root\" of " + out +
                  " could not be kept; the file now has the group \"nogroup\"\n"
                  "quorvane-cli: 1 user written to " +
                  out + "\n");
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// An export to a file elsewhere needs no lock file beside a database it will not save: from a
// folder its user may only read, it writes the password file and says that it went so.
TEST_F(CliFiles, AnExportFromAReadOnlyFolderWritesElsewhere) {
    if (::geteuid() != 0) GTEST_SKIP() << "a folder of another user needs root to set up";
    fs::permissions(Dir.Path(), fs::perms::all);
    const std::string folder = Dir.File("readonly");
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    const std::string db = folder + "/users.udx";
    ASSERT_EQ(Cli({"create", db}).Status, 0);
    ASSERT_EQ(Cli({"add", db, "alice", "--password", "a1"}).Status, 0);
    ASSERT_EQ(Cli({"add", db, "old", "--password", "o", "--expire", "2000-01-01"}).Status, 0);
    ASSERT_EQ(::chmod(db.c_str(), 0644), 0);
    const std::string before = ReadWholeFile(db);
    const std::string out = Dir.File("htpasswd"), errFile = Dir.File("err");
    const int status = PlainExportAsNobody(db, out, errFile);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadWholeFile(errFile);
    EXPECT_EQ(ReadWholeFile(out), "alice:a1\r\n");
    EXPECT_NE(ReadWholeFile(errFile).find("The database's folder is read-only"), std::string::npos)
        << ReadWholeFile(errFile);
    EXPECT_EQ(ReadWholeFile(db), before);
    EXPECT_EQ(fs::directory_iterator(folder)->path().filename(), "users.udx");
}

TEST_F(CliFiles, ASignalEndsTheCommandAndLeavesNoLockOrTemporaryFile) {
    ASSERT_EQ(Cli({"add", Db, "alice", "--password", "a1"}).Status, 0);
    const std::string before = ReadWholeFile(Db);
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        // An export into a pipe nobody reads: the command waits inside the lock.
        const std::string fifo = Dir.File("fifo");
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        const pid_t pid = Spawn({"export", Db, "--output", fifo});
        const std::string lock = Db + ".lock";
        for (int i = 0; i < 500 && !fs::exists(lock); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(fs::exists(lock));
        // Made a moment before it is locked: give the command time to reach the pipe.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(pid, sig);
        const int status = Wait(pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        fs::remove(fifo);
        EXPECT_EQ(Dir.Entries(), std::vector<std::string>{"users.udx"});
        EXPECT_EQ(ReadWholeFile(Db), before);
    }
}

TEST_F(CliFiles, ALinkPlantedByAnotherUserIsNotFollowed) {
    if (::geteuid() != 0) GTEST_SKIP() << "giving a link to another user needs root";
    const std::string shared = Dir.File("shared");
    fs::create_directory(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const std::string link = shared + "/users.udx";
    fs::create_symlink(Db, link);
    ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
    const std::string before = ReadWholeFile(Db);
    const std::string refused = "quorvane-cli: The link " + link +
                                " belongs to another user in a folder open to everybody; it is "
                                "not followed and nothing was written\n";
    EXPECT_EQ(Cli({"add", link, "x", "--password", "p"}).Err, refused);
    EXPECT_EQ(Cli({"export", Db, "--output", shared + "/htpasswd"}).Status, 0);
    fs::create_symlink(Dir.File("elsewhere"), shared + "/planted");
    ASSERT_EQ(::lchown((shared + "/planted").c_str(), 65534, 65534), 0);
    const TResult r = Cli({"export", Db, "--output", shared + "/planted"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_FALSE(fs::exists(Dir.File("elsewhere")));
    EXPECT_EQ(ReadWholeFile(Db), before);
    // The same link made by this user is followed as always.
    ASSERT_EQ(::lchown(link.c_str(), 0, 0), 0);
    EXPECT_EQ(Cli({"add", link, "x", "--password", "p"}).Status, 0);
    EXPECT_TRUE(fs::is_symlink(link));
}

// An export runs itself again for huge pages on its heap, only where that is needed and only
// on top of what the user asked of the C library.
TEST(HeapStart, OnlyAnExportRunsAgainAndTheUsersTunablesStayFirst) {
    const char* madvise = "always [madvise] never\n";
    struct TCase {
        const char* Command;
        const char* Tunables; // nullptr: unset
        const char* Marker;
        const char* HugePages;
        bool Again;
        std::string Tunables2, Marker2;
    } cases[] = {
        {"export", nullptr, nullptr, madvise, true, "glibc.malloc.hugetlb=1", "-"},
        {"export", "glibc.malloc.arena_max=2", nullptr, madvise, true,
         "glibc.malloc.arena_max=2:glibc.malloc.hugetlb=1", "glibc.malloc.arena_max=2"},
        // The user's own choice on huge pages stands; the second run never starts a third.
        {"export", "glibc.malloc.hugetlb=0", nullptr, madvise, false, "", ""},
        {"export", "glibc.malloc.hugetlb=1", "-", madvise, false, "", ""},
        // A kernel that gives huge pages unasked; a short command.
        {"export", nullptr, nullptr, "[always] madvise never\n", false, "", ""},
        {"info", nullptr, nullptr, madvise, false, "", ""},
    };
    for (const TCase& c : cases) {
        const cli::THeapRestart plan =
            cli::PlanHeapRestart(c.Command, c.Tunables, c.Marker, c.HugePages);
        SCOPED_TRACE(std::string(c.Command) + " " + (c.Tunables ? c.Tunables : "(unset)") + " " +
                     c.HugePages);
        EXPECT_EQ(plan.RunAgain, c.Again);
        EXPECT_EQ(plan.Tunables, c.Tunables2);
        EXPECT_EQ(plan.Marker, c.Marker2);
    }
}

// The real program: what a target's --after command sees of the environment is what the user
// gave the export, whether or not it ran itself again.
TEST_F(CliFiles, TheCommandAfterAnExportSeesTheUsersEnvironment) {
    ASSERT_EQ(Cli({"add", Db, "ann", "--password", "pw"}).Status, 0);
    const std::string seen = Dir.File("seen");
    ASSERT_EQ(Cli({"target", Db, "--url", Dir.File("htpasswd"), "--after",
                   "echo \"[${GLIBC_TUNABLES-unset}] [${" + std::string(cli::kHeapRunVariable) +
                       "-unset}]\" > '" + seen + "'"})
                  .Status,
              0);
    const struct {
        const char* Tunables;
        const char* Seen;
    } cases[] = {{nullptr, "[unset] [unset]\n"},
                 {"", "[] [unset]\n"},
                 {"glibc.malloc.arena_max=2", "[glibc.malloc.arena_max=2] [unset]\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Tunables ? c.Tunables : "(unset)");
        fs::remove(seen);
        ASSERT_EQ(
            Cli({"add", Db, "bob", "--update", "--password", std::string("pw ") + c.Seen}).Status,
            0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("XDG_STATE_HOME", Dir.File("state").c_str(), 1);
            if (c.Tunables == nullptr)
                ::unsetenv("GLIBC_TUNABLES");
            else
                ::setenv("GLIBC_TUNABLES", c.Tunables, 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            ::execl(QUORVANE_CLI_PATH, "quorvane-cli", "export", Db.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const int status = Wait(pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(ReadWholeFile(seen), c.Seen);
        EXPECT_NE(ReadWholeFile(Dir.File("htpasswd")).find("bob:$apr1$"), std::string::npos);
    }
}

} // namespace
