// Where the database's own writes land: read-only databases, the temporaries a killed save
// leaves, and the database lock.

#include "FileTestUtil.h"
#include "TestUtil.h"
#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "userdb/DataLib.h"
#include "userdb/DatabaseLock.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utime.h>

using namespace quorvane;
using namespace filetest;

namespace {

// --- read-only databases -----------------------------------------------------------------

TEST(ReadOnly, AReadOnlyDatabaseIsNotReplaced) {
    TTempDir dir;
    const std::string db = dir.File("users.udx");
    TUserList list;
    list.SaveToFile(db);
    const std::string before = ReadWholeFile(db);
    for (unsigned mode : {0400u, 0444u, 0500u}) {
        ::chmod(db.c_str(), mode);
        EXPECT_TRUE(IsReadOnlyFile(db)) << mode;
        list.AddBlank().Login = "new";
        EXPECT_EQ(ErrorOf<std::exception>([&] { list.SaveToFile(db); }), "The file is read-only")
            << mode;
        EXPECT_EQ(ReadWholeFile(db), before);
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"users.udx"});
    }
    ::chmod(db.c_str(), 0600);
    EXPECT_FALSE(IsReadOnlyFile(db));
    EXPECT_FALSE(IsReadOnlyFile(dir.File("missing")));
    EXPECT_EQ(ErrorOf<std::exception>([&] { list.SaveToFile(db); }), "");
    // Saving under another name is still possible.
    ::chmod(db.c_str(), 0400);
    EXPECT_EQ(ErrorOf<std::exception>([&] { list.SaveToFile(dir.File("copy.udx")); }), "");
}

// --- temporary files ---------------------------------------------------------------------

TEST(TempFiles, StaleTemporariesOfTheSameFileAreRemoved) {
    TTempDir dir;
    const std::string db = dir.File("users.udx");
    auto make = [&](const std::string& name, int ageMinutes) {
        WriteWholeFile(dir.File(name), "secret");
        const time_t when = ::time(nullptr) - ageMinutes * 60;
        const struct utimbuf times { when, when };
        ::utime(dir.File(name).c_str(), &times);
    };
    make(".users.udx.aB3xY9", 120);   // a killed run's: goes
    make(".users.udx.Zz0000", 61);    // goes
    make(".users.udx.recent", 1);     // a run killed a minute ago: goes too
    make(".users.udx.justno", 0);     // too young: another save may have just made it
    make(".users.udx.locked", 120);   // held by a run that stages it: left alone
    make(".users.udx.abc", 120);      // another pattern
    make(".other.udx.aB3xY9", 120);   // another file's
    make("users.udx.aB3xY9", 120);    // not hidden: not ours
    make(".users.udx.aB3xY9.x", 120); // longer
    const int held = ::open(dir.File(".users.udx.locked").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    std::vector<std::string> expected = {
        ".other.udx.aB3xY9", ".users.udx.aB3xY9.x", ".users.udx.abc",  ".users.udx.justno",
        ".users.udx.locked", "users.udx",           "users.udx.aB3xY9"};
    if (IsRoot()) {
        make(".users.udx.foreig", 120); // another user's
        ASSERT_EQ(::chown(dir.File(".users.udx.foreig").c_str(), kNobody, kNogroup), 0);
        expected.push_back(".users.udx.foreig");
        std::sort(expected.begin(), expected.end());
    }
    TUserList list;
    list.SaveToFile(db);
    EXPECT_EQ(dir.Entries(), expected);
    ::close(held);

    // An export's upload temporaries in the temporary folder, by the same rules.
    TTempDir temp;
    for (const auto& [name, age] :
         std::vector<std::pair<std::string, int>>{{"kxvAb12Cd.tmp", 120},
                                                  {"kxvrecent.tmp", 10},
                                                  {"kxvAb12C.tmp", 120},
                                                  {"kxvAb12Cd.txt", 120},
                                                  {"abcAb12Cd.tmp", 120}}) {
        WriteWholeFile(temp.File(name), "alice:secret\r\n");
        const time_t when = ::time(nullptr) - age * 60;
        const struct utimbuf times { when, when };
        ::utime(temp.File(name).c_str(), &times);
    }
    EXPECT_EQ(RemoveStaleFiles(temp.Path().string(), "kxv", ".tmp", std::chrono::hours(1)), 1);
    EXPECT_EQ(temp.Entries(), (std::vector<std::string>{"abcAb12Cd.tmp", "kxvAb12C.tmp",
                                                        "kxvAb12Cd.txt", "kxvrecent.tmp"}));
}

// A staged file may hold passwords: it is 0600 until it replaces the target, and then has the
// mode the target keeps or a new file gets.
TEST(TempFiles, AStagedFileIsPrivateUntilItsCommit) {
    const struct {
        int Existing; // the target's mode; -1: no target yet
        unsigned NewFileMode;
        int After;
    } cases[] = {
        {-1, 0644, 0644},
        {0640, 0600, 0640},
        {0604, 0600, 0604},
    };
    const mode_t mask = ::umask(022);
    for (const auto& c : cases) {
        TTempDir dir;
        const std::string target = dir.File(".htpasswd");
        if (c.Existing >= 0) {
            WriteWholeFile(target, "old\n");
            ::chmod(target.c_str(), static_cast<mode_t>(c.Existing));
        }
        TStagedFile file(target, c.NewFileMode);
        file.Stage([](const TDataSink& sink) { sink("alice:secret\n", 13); });
        struct stat st {};
        ASSERT_EQ(::stat(file.StagedPath().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u) << c.Existing;
        // Another run meanwhile finds it held and leaves it.
        EXPECT_EQ(RemoveStaleTemporaries(target, std::chrono::seconds(0)), 0);
        file.Commit();
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, static_cast<mode_t>(c.After)) << c.Existing;
        EXPECT_EQ(ReadWholeFile(target), "alice:secret\n");
    }
    ::umask(mask);
}

// A fifo where the lock file goes is replaced by a proper lock file; nothing waits on it.
TEST(SideFiles, AFifoInPlaceOfTheLockFileIsReplaced) {
    TTempDir dir;
    const std::string db = dir.File("users.udx");
    const std::string lock = TDatabaseLock::LockPathFor(db);
    for (TLockMode mode : {TLockMode::Exclusive, TLockMode::Shared}) {
        ASSERT_EQ(::mkfifo(lock.c_str(), 0600), 0);
        const int status = InChild([&] {
            ::alarm(10);
            TDatabaseLock held(db, mode, std::chrono::milliseconds(100));
            return S_ISREG(Lstat(lock).st_mode) ? 0 : 1;
        });
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        ::unlink(lock.c_str());
    }
}

// --- the database lock -------------------------------------------------------------------

TEST(Lock, WritersExcludeEachOtherAndReadersShare) {
    TTempDir dir;
    const std::string db = dir.File("users.udx");
    using namespace std::chrono_literals;
    const std::string busy = "The database is in use by another program";
    {
        TDatabaseLock a(db, TLockMode::Shared, 0ms);
        TDatabaseLock b(db, TLockMode::Shared, 0ms);
        EXPECT_EQ(ErrorOf<std::exception>([&] { TDatabaseLock w(db, TLockMode::Exclusive, 50ms); }),
                  busy);
        EXPECT_EQ(Lstat(dir.File("users.udx.lock")).st_mode & 07777, 0600u);
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
    {
        TDatabaseLock w(db, TLockMode::Exclusive, 0ms);
        EXPECT_EQ(ErrorOf<std::exception>([&] { TDatabaseLock r(db, TLockMode::Shared, 50ms); }),
                  busy);
        EXPECT_EQ(ErrorOf<std::exception>([&] { TDatabaseLock r(db, TLockMode::Exclusive, 50ms); }),
                  busy);
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
    // The lock of a database reached through a link lies beside the file itself.
    WriteWholeFile(db, "x");
    fs::create_symlink(db, dir.File("link.udx"));
    EXPECT_EQ(TDatabaseLock::LockPathFor(dir.File("link.udx")), db + ".lock");
}

TEST(Lock, AWaiterLocksTheNewFileWhenTheOldOneWasRemoved) {
    // Many threads taking turns: each must hold the lock alone, also when the file it waited on
    // was removed by the holder before it.
    TTempDir dir;
    const std::string db = dir.File("users.udx");
    std::atomic<int> inside{0}, overlaps{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                TDatabaseLock lock(db, TLockMode::Exclusive, std::chrono::seconds(20));
                if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
                std::this_thread::yield();
                inside.fetch_sub(1);
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
}

TEST_F(Shared, AReaderInAFolderItCannotWriteGoesWithoutALockFile) {
    const std::string folder = Dir.File("readonly");
    fs::create_directory(folder);
    const std::string db = folder + "/users.udx";
    WriteWholeFile(db, "x");
    ASSERT_EQ(::chmod(db.c_str(), 0644), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    // Root may write anywhere: the check runs as "nobody" then.
    const int status = InChild([&] {
        if (IsRoot() && (::setgid(kNogroup) != 0 || ::setuid(kNobody) != 0)) return 10;
        {
            TDatabaseLock reader(db, TLockMode::Shared);
            if (!reader.LockPath().empty()) return 11;
        }
        const std::string error =
            ErrorOf<std::exception>([&] { TDatabaseLock w(db, TLockMode::Exclusive); });
        if (error !=
            "Cannot create file " + db + ".lock: no permission to write in the folder " + folder)
            return 12;
        // A folder that does not exist: no database to protect, and no lock file to make.
        TDatabaseLock missing(Dir.File("none/users.udx"), TLockMode::Exclusive);
        return missing.LockPath().empty() ? 0 : 13;
    });
    ::chmod(folder.c_str(), 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
