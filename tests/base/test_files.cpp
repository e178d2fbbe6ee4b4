// Where a write may land and what it keeps: links that must not be followed, devices and pipes
// written in place, owner and group of a replaced file, the password file that would replace
// its own database, side files another user planted, and temporary files of interrupted writes.

#include "FileTestUtil.h"
#include "TestUtil.h"
#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "base/FileSafety.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utime.h>

using namespace quorvane;
using namespace filetest;

namespace {

// --- links --------------------------------------------------------------------------------

TEST_F(Shared, LinksAreFollowedOnlyWhereTheProtectedSymlinkRuleAllows) {
    if (!IsRoot()) GTEST_SKIP() << "giving a link to another user needs root";
    // folder mode, folder owner, link owner, followed?
    struct TCase {
        const char* Name;
        unsigned FolderMode;
        uid_t FolderOwner;
        uid_t LinkOwner;
        bool Followed;
    };
    const TCase cases[] = {
        {"own link in a sticky shared folder", 01777, 0, 0, true},
        {"another user's link in a sticky shared folder", 01777, 0, kNobody, false},
        {"the folder owner's link in a sticky shared folder", 01777, kNobody, kNobody, true},
        {"another user's link in a shared folder without the sticky bit", 0777, 0, kNobody, true},
        {"another user's link in a sticky folder only its owner writes", 01755, 0, kNobody, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string folder = Dir.File("f");
        fs::remove_all(folder);
        fs::create_directory(folder);
        const std::string secret = Dir.File("secret");
        WriteWholeFile(secret, "root only");
        const std::string link = folder + "/htpasswd";
        fs::create_symlink(secret, link);
        ASSERT_EQ(::lchown(link.c_str(), c.LinkOwner, static_cast<gid_t>(-1)), 0);
        ASSERT_EQ(::chown(folder.c_str(), c.FolderOwner, static_cast<gid_t>(-1)), 0);
        ASSERT_EQ(::chmod(folder.c_str(), c.FolderMode), 0);

        const std::string error =
            ErrorOf<std::exception>([&] { WriteFileAtomically(link, "new", 0644); });
        if (c.Followed) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(ReadWholeFile(secret), "new");
            EXPECT_TRUE(fs::is_symlink(link));
        } else {
            EXPECT_EQ(error, "The link " + link +
                                 " belongs to another user in a folder open to everybody; it is "
                                 "not followed and nothing was written");
            EXPECT_EQ(ReadWholeFile(secret), "root only");
            EXPECT_TRUE(fs::is_symlink(link));
        }
        // The same rule for a link on the way to the file, not only at its end.
        const std::string viaFolder = Dir.File("f/sub");
        fs::create_directory(Dir.File("elsewhere"));
        fs::create_symlink(Dir.File("elsewhere"), viaFolder);
        ASSERT_EQ(::lchown(viaFolder.c_str(), c.LinkOwner, static_cast<gid_t>(-1)), 0);
        EXPECT_EQ(
            ErrorOf<std::exception>([&] { WriteFileAtomically(viaFolder + "/x", "x"); }).empty(),
            c.Followed);
        EXPECT_EQ(fs::exists(Dir.File("elsewhere/x")), c.Followed);
        fs::remove_all(Dir.File("elsewhere"));
    }
}

TEST(WriteTarget, ResolvesLinksAndNamesOwnDescriptors) {
    TTempDir dir;
    WriteWholeFile(dir.File("real"), "x");
    fs::create_symlink("real", dir.File("rel"));
    fs::create_symlink(dir.File("rel"), dir.File("chain"));
    fs::create_directory(dir.File("sub"));
    fs::create_symlink("../real", dir.File("sub/up"));
    EXPECT_EQ(ResolveWriteTarget(dir.File("chain")).Path, dir.File("real"));
    EXPECT_EQ(ResolveWriteTarget(dir.File("sub/up")).Path, dir.File("real"));
    EXPECT_EQ(ResolveWriteTarget(dir.File("sub/../new")).Path, dir.File("new"));
    EXPECT_EQ(ResolveWriteTarget("plain").Path, "plain");
    EXPECT_EQ(ResolveWriteTarget("a/./b").Path, "a/b");
    // A dangling link leads to the file it names, which the write then creates.
    fs::create_symlink("made", dir.File("dangling"));
    EXPECT_EQ(ResolveWriteTarget(dir.File("dangling")).Path, dir.File("made"));
    // Own descriptors are written as they are, never resolved into a file name.
    for (const char* path : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
        const TWriteTarget t = ResolveWriteTarget(path);
        EXPECT_EQ(t.Descriptor, 1) << path;
        EXPECT_EQ(t.Path, "") << path;
    }
    EXPECT_EQ(ResolveWriteTarget("/dev/stderr").Descriptor, 2);
    // A loop of links is refused.
    fs::create_symlink("loop2", dir.File("loop1"));
    fs::create_symlink("loop1", dir.File("loop2"));
    EXPECT_EQ(ErrorOf<std::exception>([&] { ResolveWriteTarget(dir.File("loop1")); }),
              "Cannot create file " + dir.File("loop1"));
}

// --- special targets ---------------------------------------------------------------------

TEST(SpecialTargets, DevicesAndPipesAreWrittenInPlaceAndFoldersRefused) {
    TTempDir dir;
    // A character device stays what it is.
    EXPECT_EQ(ErrorOf<std::exception>([] { WriteFileAtomically("/dev/null", "data", 0644); }), "");
    EXPECT_TRUE(S_ISCHR(Lstat("/dev/null").st_mode));

    // A pipe: the reader gets the data; the pipe stays a pipe.
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = ReadWholeFile(fifo); });
    EXPECT_EQ(ErrorOf<std::exception>([&] { WriteFileAtomically(fifo, "alice:x\r\n", 0644); }), "");
    reader.join();
    EXPECT_EQ(received, "alice:x\r\n");
    EXPECT_TRUE(S_ISFIFO(Lstat(fifo).st_mode));

    // A descriptor of this process: written at its position, the file behind it not replaced.
    const std::string log = dir.File("log");
    WriteWholeFile(log, "earlier\n");
    const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    const ino_t inode = Lstat(log).st_ino;
    WriteFileAtomically("/dev/fd/" + std::to_string(fd), "more\n");
    ::close(fd);
    EXPECT_EQ(ReadWholeFile(log), "earlier\nmore\n");
    EXPECT_EQ(Lstat(log).st_ino, inode);

    // A folder is refused and left as it was.
    fs::create_directory(dir.File("folder"));
    EXPECT_EQ(ErrorOf<std::exception>([&] { WriteFileAtomically(dir.File("folder"), "x"); }),
              "Cannot create file " + dir.File("folder") + ": it is a folder");
    EXPECT_TRUE(fs::is_directory(dir.File("folder")));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"fifo", "folder", "log"}));
}

// --- owner and group ---------------------------------------------------------------------

TEST_F(Shared, ReplacingAFileKeepsOwnerAndGroupOrSaysSo) {
    if (!IsRoot()) GTEST_SKIP() << "files of other users and groups need root to set up";
    const std::string file = Open + "/htpasswd";
    const gid_t web = 4242; // a group "nobody" is made a member of below

    // Root keeps both, whoever owned the file.
    WriteWholeFile(file, "old");
    ASSERT_EQ(::chown(file.c_str(), kNobody, web), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    const TWriteReport report = WriteFileAtomically(file, "new", 0644);
    EXPECT_TRUE(report.Warnings.empty());
    EXPECT_EQ(Lstat(file).st_uid, kNobody);
    EXPECT_EQ(Lstat(file).st_gid, web);
    EXPECT_EQ(Lstat(file).st_mode & 07777, 0640u);

    // An ordinary user, member of the file's group: the group is kept. Outside the group, or
    // writing over another user's file: the write succeeds and says what it could not keep.
    struct TCase {
        const char* Name;
        uid_t Owner;
        gid_t Group;
        size_t Warnings;
        const char* Says;
    };
    const TCase cases[] = {
        {"member of the group", kNobody, web, 0, ""},
        {"outside the group", kNobody, 0, 1, "The group \"root\" of "},
        {"another user's file", 0, web, 1, "The owner \"root\" of "},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteWholeFile(file, "old");
        ASSERT_EQ(::chown(file.c_str(), c.Owner, c.Group), 0);
        ASSERT_EQ(::chmod(file.c_str(), 0664), 0);
        const std::string warningsFile = Dir.File("warnings");
        const int status = InChild([&] {
            const gid_t groups[] = {web};
            if (::setgroups(1, groups) != 0 || ::setgid(kNogroup) != 0 || ::setuid(kNobody) != 0)
                return 10;
            try {
                const TWriteReport r = WriteFileAtomically(file, "new", 0644);
                std::string text;
                for (const TMessage& w : r.Warnings)
                    text += EnglishText(w) + "\n";
                WriteWholeFile(warningsFile, text);
            } catch (...) {
                return 11;
            }
            return 0;
        });
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(ReadWholeFile(file), "new");
        const std::string warnings = ReadWholeFile(warningsFile);
        EXPECT_EQ(static_cast<size_t>(std::count(warnings.begin(), warnings.end(), '\n')),
                  c.Warnings)
            << warnings;
        EXPECT_NE(warnings.find(c.Says), std::string::npos) << warnings;
        if (c.Warnings == 0) {
            EXPECT_EQ(Lstat(file).st_gid, c.Group);
        }
        EXPECT_EQ(Lstat(file).st_mode & 07777, 0664u);
    }
}

TEST(TempFiles, ATemporaryFileHoldsItsDataWithMode0600Only) {
    TTempDir dir;
    const std::string file = dir.File("htpasswd");
    WriteWholeFile(file, "old");
    ::chmod(file.c_str(), 0644);
    mode_t seen = 0;
    WriteFileAtomically(
        file,
        [&](const TDataSink& sink) {
            sink("alice:", 6);
            for (const std::string& name : dir.Entries())
                if (name != "htpasswd") seen = Lstat(dir.File(name)).st_mode & 07777;
            sink("x\r\n", 3);
        },
        0644);
    EXPECT_EQ(seen, 0600u);
    EXPECT_EQ(Lstat(file).st_mode & 07777, 0644u);
    EXPECT_EQ(ReadWholeFile(file), "alice:x\r\n");
}

// --- the password file and its database --------------------------------------------------

TEST(ExportTarget, TheDatabaseItselfIsRefused) {
    TTempDir dir;
    const std::string db = dir.File("users.udx");
    WriteWholeFile(db, "db");
    fs::create_symlink(db, dir.File("link"));
    fs::create_hard_link(db, dir.File("hard"));
    fs::create_directory(dir.File("sub"));
    const std::string refused = " would replace the database itself; choose another file";
    struct TCase {
        std::string Target, Database;
        bool Refused;
    };
    const TCase cases[] = {
        {db, db, true},
        {dir.File("sub/../users.udx"), db, true},
        {dir.File("link"), db, true},
        {dir.File("hard"), db, true},
        {db, dir.File("link"), true},
        {dir.File("htpasswd"), db, false},
        {"-", db, false},
        // Neither exists yet: the same path is the same file.
        {dir.File("new.udx"), dir.File("sub/../new.udx"), true},
        {dir.File("new.txt"), dir.File("new.udx"), false},
    };
    for (const TCase& c : cases) {
        const std::string error =
            ErrorOf<std::exception>([&] { CheckExportTarget(c.Target, c.Database); });
        EXPECT_EQ(error, c.Refused ? "The password file " + c.Target + refused : "") << c.Target;
    }
    EXPECT_EQ(ReadWholeFile(db), "db");
}

TEST(FileIdentity, TellsAChangedOrReplacedFile) {
    TTempDir dir;
    const std::string file = dir.File("users.udx");
    EXPECT_FALSE(ReadFileIdentity(file).Exists);
    WriteWholeFile(file, "one");
    const TFileIdentity first = ReadFileIdentity(file);
    EXPECT_TRUE(first.Exists);
    EXPECT_EQ(first.Size, 3);
    EXPECT_EQ(ReadFileIdentity(file), first);
    WriteFileAtomically(file, "two");
    EXPECT_NE(ReadFileIdentity(file).Inode, first.Inode);
    EXPECT_NE(ReadFileIdentity(file), first);
}

// --- side files beside the database ----------------------------------------------------

// What another user can plant under a side file's name: none of it is read, nothing waits.
TEST(SideFiles, OnlyARegularFileOfThisUserIsRead) {
    TTempDir dir;
    const std::string real = dir.File("real");
    WriteWholeFile(real, "cache");
    const struct {
        const char* Name;
        std::function<void(const std::string&)> Plant;
        bool Read;
    } cases[] = {
        {"own file", [](const std::string& p) { WriteWholeFile(p, "cache"); }, true},
        {"fifo", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }, false},
        {"link to a file", [&](const std::string& p) { ::symlink(real.c_str(), p.c_str()); },
         false},
        {"folder", [](const std::string& p) { fs::create_directory(p); }, false},
        {"too large", [](const std::string& p) { WriteWholeFile(p, std::string(65, 'x')); }, false},
        {"another user's file",
         [](const std::string& p) {
             WriteWholeFile(p, "cache");
             if (::chown(p.c_str(), kNobody, kNogroup) != 0) ::unlink(p.c_str());
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir.File(std::string(".") + c.Name);
        c.Plant(path);
        // A child, so that a read that waits fails the test instead of hanging it.
        const int status = InChild([&] {
            ::alarm(10);
            const auto data = ReadSideFile(path, 64);
            return data.has_value() == c.Read && (!c.Read || *data == "cache") ? 0 : 1;
        });
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
}

// Reading to the end from where the descriptor stands, appended to what the buffer holds: a
// large file at once, a pipe piece by piece, and no more than asked for.
TEST(ReadToEnd, ReadsTheRestOfAFileOrPipeAndNoMore) {
    TTempDir dir;
    std::string large(3 * 1024 * 1024 + 123, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>('a' + i % 23);
    const struct {
        const char* Name;
        std::string Content;
        off_t From;           // where the descriptor stands (-1: the content through a pipe)
        std::size_t MaxBytes; // 0: no limit
        TReadEnd End;
    } cases[] = {
        {"a large file", large, 0, 0, TReadEnd::Whole},
        {"from its middle", large, 1000001, 0, TReadEnd::Whole},
        {"exactly the limit", large, 1000001, large.size() - 1000001, TReadEnd::Whole},
        {"beyond the limit", large, 0, large.size() - 1, TReadEnd::TooLarge},
        {"an empty file", "", 0, 0, TReadEnd::Whole},
        {"a pipe", large.substr(0, 60000), -1, 0, TReadEnd::Whole},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        int fd = -1;
        if (c.From >= 0) {
            const std::string path = dir.File("file");
            WriteWholeFile(path, c.Content);
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::lseek(fd, c.From, SEEK_SET), c.From);
        } else {
            int ends[2];
            ASSERT_EQ(::pipe(ends), 0);
            ASSERT_EQ(::write(ends[1], c.Content.data(), c.Content.size()),
                      static_cast<ssize_t>(c.Content.size()));
            ::close(ends[1]);
            fd = ends[0];
        }
        std::string data = "kept";
        const TReadEnd end =
            ReadToEnd(fd, c.MaxBytes != 0 ? c.MaxBytes : std::size_t{1} << 30, data);
        ::close(fd);
        EXPECT_EQ(end, c.End);
        if (c.End == TReadEnd::Whole)
            EXPECT_TRUE(data == "kept" + c.Content.substr(c.From > 0 ? c.From : 0));
    }
}

// A file holds exactly the bytes only when every byte is there and nothing more, whatever piece
// the difference falls in; anything but a regular file holds nothing.
TEST(FileHoldsExactly, EveryByteAndNothingMoreOfARegularFile) {
    TTempDir dir;
    std::string large(3 * 65536 + 123, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>('a' + i % 23);
    const auto turned = [&large](std::size_t at) {
        std::string t = large;
        t[at] = '#';
        return t;
    };
    const std::string file = dir.File("file");
    const std::string link = dir.File("link");
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        const char* Name;
        std::string Path, Holds; // Holds: written to Path when it is file
        std::string_view Bytes;
        bool Same;
    } cases[] = {
        {"the same", file, large, large, true},
        {"both empty", file, "", "", true},
        {"the first byte", file, turned(0), large, false},
        {"the first byte of a later piece", file, turned(65536), large, false},
        {"the last byte", file, turned(large.size() - 1), large, false},
        {"shorter", file, large.substr(0, large.size() - 1), large, false},
        {"longer", file, large + "x", large, false},
        {"a link to the same bytes", link, large, large, false},
        {"a pipe", fifo, "", "", false},
        {"a folder", dir.Path().string(), "", "", false},
        {"nothing there", dir.File("none"), "", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteWholeFile(file, c.Holds);
        std::filesystem::remove(link);
        std::filesystem::create_symlink(file, link);
        EXPECT_EQ(FileHoldsExactly(c.Path, c.Bytes), c.Same);
    }
}

TEST(TempFiles, ASignalDuringAWriteRemovesTheTemporaryFile) {
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        TTempDir dir;
        const std::string file = dir.File("users.udx");
        WriteWholeFile(file, "old");
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            WriteFileAtomically(file, [&](const TDataSink& sink) {
                sink("half of the", 11);
                (void)!::write(ready[1], "x", 1);
                for (;;)
                    ::pause();
            });
            ::_exit(0);
        }
        char c = 0;
        ASSERT_EQ(::read(ready[0], &c, 1), 1);
        ::close(ready[0]);
        ::close(ready[1]);
        // The temporary file exists while the write hangs.
        EXPECT_EQ(dir.Entries().size(), 2u);
        ::kill(pid, sig);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"users.udx"});
        EXPECT_EQ(ReadWholeFile(file), "old");
    }
}

TEST(TempFiles, AnIgnoredSignalStaysIgnored) {
    TTempDir dir;
    const int status = InChild([&] {
        ::signal(SIGINT, SIG_IGN);
        WriteFileAtomically(dir.File("a"), "x");
        ::raise(SIGINT);
        return 7;
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << status;
}

} // namespace
