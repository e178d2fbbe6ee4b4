// The FTP client, the upload worker and the temporary-file helpers. The transfer tests talk to
// real FTP servers on the loopback interface: Debian's pyftpdlib as it comes, and a script of
// our own (ftp_server.py) that refuses renames or deletions or dies in the middle of an upload.

#include "FtpTestServer.h"
#include "QueuedDispatcher.h"
#include "ScopedEnv.h"
#include "UploadRun.h"
#include "base/TempFiles.h"
#include "ftp/Ftp.h"
#include "ftp/FtpTexts.h"
#include "ftp/FtpUpload.h"
#include "ftp/ServerTarget.h"
#include "userdb/UserList.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace quorvane;

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Pair;
using ::testing::StartsWith;

namespace {

using ftptest::FreeLoopbackPort;
using ftptest::kPassword;
using ftptest::kUser;
using ftptest::SampleText;
using ftptest::TFtpServer;
using testsupport::TQueuedDispatcher;
using testsupport::TUploadRun;

// A plain-FTP run with the test server's login, driven to its end.
std::unique_ptr<TUploadRun> Uploaded(const std::string& host, const std::string& content,
                                     const std::string& remote, bool passive = true,
                                     const std::string& password = kPassword) {
    auto run = std::make_unique<TUploadRun>(host, content, remote);
    run->Uploader.User = kUser;
    run->Uploader.Password = password;
    run->Uploader.Passive = passive;
    run->Go();
    return run;
}

// A worker, not started yet, that stores `size` bytes of sample text as "htpasswd" on a server
// of its own, through `dispatcher`.
struct TPrepared {
    TPrepared(std::shared_ptr<IUiDispatcher> dispatcher, std::size_t size)
        : Content(SampleText(size)),
          Run(Server.Host(), Content, "htpasswd", std::move(dispatcher)) {
        Run.Uploader.User = kUser;
        Run.Uploader.Password = kPassword;
    }
    TFtpServer Server;
    std::string Content;
    TUploadRun Run;
};

// Points the client at the server with the test login.
void Address(TFtp& ftp, const TFtpServer& server, const std::string& password = kPassword) {
    ftp.Host = server.Host();
    ftp.User = kUser;
    ftp.Password = password;
}

// The percentages of one file, as signatures "Uploading(R, N)", N rising from 0 to 100.
void ExpectRisingPercentages(const std::vector<std::string>& texts, const std::string& remote) {
    const std::string prefix = "Uploading(" + remote + ", ";
    ASSERT_FALSE(texts.empty());
    int last = -1;
    for (const std::string& text : texts) {
        ASSERT_THAT(text, StartsWith(prefix));
        const std::string rest = text.substr(prefix.size());
        ASSERT_THAT(rest, testing::EndsWith(")"));
        const int percent = std::stoi(rest);
        EXPECT_GE(percent, last) << text;
        last = percent;
    }
    EXPECT_EQ(texts.front(), prefix + "0)");
    EXPECT_EQ(texts.back(), prefix + "100)");
}

int CountLines(const std::string& text, const std::string& start) {
    int count = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(start, 0) == 0) {
            ++count;
        }
    }
    return count;
}

// Lines equal to `line`.
int CountExact(const std::string& text, const std::string& line) {
    int count = 0;
    std::istringstream lines(text);
    for (std::string each; std::getline(lines, each);) {
        count += each == line ? 1 : 0;
    }
    return count;
}

// ---------------------------------------------------------------------------------------------
// Temporary files

TEST(FileLib, GetTempFileCreatesUniquePrivateEmptyFiles) {
    TTempDir dir;
    const std::string folder = dir.Path().string();
    const std::string first = GetTempFile("kxvzzz", folder);
    const std::string second = GetTempFile("kxvzzz", folder + "/");
    EXPECT_NE(first, second);
    for (const std::string& name : {first, second}) {
        EXPECT_THAT(name, StartsWith(folder + "/kxv"));
        EXPECT_THAT(name, Not(HasSubstr("zzz")));
        EXPECT_THAT(name, testing::EndsWith(".tmp"));
        struct stat info {};
        ASSERT_EQ(::stat(name.c_str(), &info), 0) << name;
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(info.st_size, 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << "the file may come to hold passwords";
    }
}

TEST(FileLib, TempDirFollowsTmpdirAndEndsWithSeparator) {
    TTempDir dir;
    const TScopedEnv tmpdir("TMPDIR", dir.Path().string());
    EXPECT_EQ(GetTempDir(), dir.Path().string() + "/");
    const std::string name = GetTempFile("kxv");
    EXPECT_THAT(name, StartsWith(dir.Path().string() + "/kxv"));
    EXPECT_TRUE(fs::exists(name));
    for (const char* unset : {"", static_cast<const char*>(nullptr)}) {
        tmpdir.Set(unset);
        EXPECT_EQ(GetTempDir(), "/tmp/");
    }
}

TEST(FileLib, GetTempFileInAMissingFolderRaises) {
    TTempDir dir;
    const std::string missing = (dir.Path() / "gone").string();
    try {
        GetTempFile("kxv", missing);
        FAIL() << "no error";
    } catch (const EQuorvaneError& e) {
        EXPECT_THAT(Signature(e.Message()), StartsWith("CannotCreateFile(" + missing + "/kxv"));
    }
}

TEST(FileLib, FileSizeOfIs64BitAndZeroForWhatCannotBeRead) {
    TTempDir dir;
    EXPECT_EQ(FileSizeOf((dir.Path() / "missing").string()), 0);
    EXPECT_EQ(FileSizeOf(dir.Path().string()), 0) << "a folder is not a file";
    WriteWholeFile(dir.Path() / "small", std::string(1000, 'x'));
    EXPECT_EQ(FileSizeOf((dir.Path() / "small").string()), 1000);
    // A sparse file beyond 4 GB takes no room on disk.
    const std::int64_t big = (std::int64_t{5} << 30) + 7;
    const fs::path large = dir.Path() / "large";
    WriteWholeFile(large, "");
    ASSERT_EQ(::truncate(large.c_str(), big), 0);
    EXPECT_EQ(FileSizeOf(large.string()), big);
}

// ---------------------------------------------------------------------------------------------
// The client's rules, without a server

TEST(FtpRules, ReplyMessageKeepsTheLastLineWithoutItsCode) {
    EXPECT_EQ(FtpReplyMessage("550 Permission denied.\r\n"), "Permission denied.");
    EXPECT_EQ(FtpReplyMessage("550 No newline at all"), "No newline at all");
    EXPECT_EQ(FtpReplyMessage("530-Login incorrect.\r\n530 Please try again.\r\n"),
              "Please try again.");
    EXPECT_EQ(FtpReplyMessage("550 404 not found"), "not found");
    EXPECT_EQ(FtpReplyMessage("451 Local error.\r\n\r\n\n\r"), "Local error.");
    EXPECT_EQ(FtpReplyMessage(std::string("550 Cut\0here\r\n", 14)), "Cut");
    EXPECT_EQ(FtpReplyMessage("550 Two\r\n\r\n"), "Two");
    EXPECT_EQ(FtpReplyMessage("550 "), "");
}

TEST(FtpRules, HostTextsNameAPortOrLeaveIt) {
    const struct {
        const char* Text;
        const char* Host;
        int Port;
    } good[] = {{"ftp.example.org", "ftp.example.org", 0},
                {"127.0.0.1:2121", "127.0.0.1", 2121},
                {"[::1]:990", "::1", 990},
                {"[fe80::1]", "fe80::1", 0},
                {"::1", "::1", 0},
                {"host:65535", "host", 65535}};
    for (const auto& c : good) {
        const TFtpAddress a = ParseFtpHost(c.Text);
        EXPECT_TRUE(a.Valid) << c.Text;
        EXPECT_EQ(a.Host, c.Host) << c.Text;
        EXPECT_EQ(a.Port, c.Port) << c.Text;
    }
    for (const char* bad : {"", ":21", "host:", "host:0", "host:65536", "host:21x", "[::1",
                            "[::1]x", "user@host", "host/path", "a host"}) {
        EXPECT_FALSE(ParseFtpHost(bad).Valid) << bad;
    }
}

TEST(FtpRules, UrlPathKeepsSlashesAndEncodesTheRest) {
    EXPECT_EQ(FtpUrlPath("htpasswd"), "htpasswd");
    EXPECT_EQ(FtpUrlPath("/www/.htpasswd"), "/www/.htpasswd");
    EXPECT_EQ(FtpUrlPath("my file#1?.txt"), "my%20file%231%3F.txt");
    EXPECT_EQ(FtpUrlPath("caf\xc3\xa9%"), "caf%C3%A9%25");
}

TEST(FtpRules, ByteCountsAddUpToTheFileSizeAndStop) {
    TFtp ftp;
    std::vector<std::int64_t> reported;
    ftp.OnProgress = [&](TFtp& sender, std::int64_t bytes) {
        EXPECT_EQ(&sender, &ftp);
        reported.push_back(bytes);
    };
    ftp.SetBytesLeft(1000);
    for (const std::int64_t count : {300, 0, 300, 300, 300, 50}) {
        ftp.CountBytes(count);
    }
    EXPECT_THAT(reported, ElementsAre(300, 0, 300, 300, 100));
    reported.clear();
    ftp.SetBytesLeft(0);
    ftp.CountBytes(5);
    ftp.CountBytes(5);
    EXPECT_THAT(reported, ElementsAre(0)) << "one count of 0, then silence";
}

TEST(FtpRules, PercentTextsHold64BitSizes) {
    const std::int64_t big = std::int64_t{5} << 30; // beyond what 32 bits hold
    const std::int64_t huge = INT64_MAX / 10;
    const struct {
        std::int64_t Sent, Size;
        const char* Signature;
    } cases[] = {
        {500, 1000, "Uploading(h, 50)"},      {999, 1000, "Uploading(h, 99)"},
        {0, 1000, "Uploading(h, 0)"},         {1000, 1000, "Uploading(h, 100)"},
        {big / 2, big, "Uploading(h, 50)"},   {big - 1, big, "Uploading(h, 99)"},
        {huge / 4, huge, "Uploading(h, 25)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Signature(UploadStatusMessage("h", c.Sent, c.Size)), c.Signature) << c.Sent;

    TFtp ftp;
    std::int64_t total = 0;
    ftp.OnProgress = [&](TFtp&, std::int64_t bytes) { total += bytes; };
    ftp.SetBytesLeft(big);
    for (int i = 0; i < 6; ++i) {
        ftp.CountBytes(std::int64_t{1} << 30);
    }
    EXPECT_EQ(total, big);
}

// ---------------------------------------------------------------------------------------------
// The client against a server

TEST(FtpClient, WrongPasswordFailsInConnect) {
    TFtpServer server({}, true);
    TFtp ftp;
    Address(ftp, server, "wrong");
    try {
        ftp.Connect();
        FAIL() << "logged in with a wrong password";
    } catch (const EFtpError& e) {
        // The step and the server name the failure, then the server's own reason.
        EXPECT_EQ(Signature(e.Message()), "LoginFailed(" + server.Host() +
                                              ", webmaster, Verbatim(Authentication failed.))");
    }
    EXPECT_FALSE(ftp.Connected());
    EXPECT_THROW(ftp.DeleteFile("anything"), EFtpError) << "a failed login opens nothing";
    ftp.Disconnect();
    ftp.Disconnect();
    EXPECT_FALSE(ftp.Connected());
}

TEST(FtpClient, NetworkFailuresCarryTheLibraryText) {
    TFtp ftp;
    ftp.Host = "127.0.0.1:" + std::to_string(FreeLoopbackPort()); // nobody listens there
    ftp.User = kUser;
    try {
        ftp.Connect();
        FAIL() << "connected to a closed port";
    } catch (const EFtpError& e) {
        EXPECT_EQ(Signature(e.Message()), "CouldNotConnect(" + ftp.Host + ", SystemFailure(#" +
                                              std::to_string(ECONNREFUSED) + "))");
    }

    ftp.Host = "[::1]:" + std::to_string(FreeLoopbackPort());
    try {
        ftp.Connect();
        FAIL() << "connected to a closed port";
    } catch (const EFtpError& e) {
        ASSERT_TRUE(e.Message().Is(texts::CouldNotConnect)) << e.what();
        EXPECT_EQ(e.Message().Parts[0].Text, ftp.Host) << "the address in brackets is the host";
    }

    ftp.Host = "bad host";
    try {
        ftp.Connect();
        FAIL() << "accepted a host with a blank";
    } catch (const EFtpError& e) {
        EXPECT_EQ(Signature(e.Message()), "CouldNotConnect(bad host:21, InvalidHostName())");
    }
}

TEST(FtpClient, SilentServerRunsIntoTheTimeout) {
    const testsupport::TSilentServer silent; // accepts connections but never greets
    TFtp ftp;
    ftp.Host = "127.0.0.1";
    ftp.Port = silent.Port(); // the port field serves when the host names none
    ftp.Timeout = 1000;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(ftp.Connect(), EFtpError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(FtpClient, OneConnectionServesEveryOperation) {
    TFtpServer server;
    TTempDir local;
    const std::string content = SampleText(300007);
    WriteWholeFile(local.Path() / "file", content);
    TFtp ftp;
    Address(ftp, server);
    ftp.Passive = true;
    std::int64_t total = 0;
    int calls = 0;
    ftp.OnProgress = [&](TFtp&, std::int64_t bytes) {
        total += bytes;
        ++calls;
    };
    ftp.Connect();
    EXPECT_TRUE(ftp.Connected());
    ftp.PutFile("first", (local.Path() / "file").string(), false);
    EXPECT_EQ(total, 300007) << "the counts add up to the file's size";
    EXPECT_GT(calls, 1);
    ftp.RenameFile("first", "second");
    ftp.DeleteFile("second");
    total = 0;
    WriteWholeFile(local.Path() / "small", std::string(1000, 'q'));
    ftp.PutFile("third", (local.Path() / "small").string(), false);
    EXPECT_EQ(total, 1000);
    ftp.Disconnect();
    EXPECT_FALSE(ftp.Connected());
    EXPECT_FALSE(fs::exists(server.Root() / "first"));
    EXPECT_FALSE(fs::exists(server.Root() / "second"));
    EXPECT_EQ(ReadWholeFile(server.Root() / "third"), std::string(1000, 'q'));
    const std::string commands = server.Commands();
    EXPECT_EQ(CountLines(commands, "USER "), 1) << commands;
    EXPECT_EQ(CountLines(commands, "RNFR first"), 1) << commands;
    EXPECT_EQ(CountLines(commands, "RNTO second"), 1) << commands;
    EXPECT_EQ(CountLines(commands, "DELE second"), 1) << commands;
}

TEST(FtpClient, AsciiFlagChoosesTheTransferType) {
    TFtpServer server;
    TTempDir local;
    WriteWholeFile(local.Path() / "lf", "alice:x\nbob:y\n");
    WriteWholeFile(local.Path() / "crlf", "alice:x\r\nbob:y\r\n");
    TFtp ftp;
    Address(ftp, server);
    ftp.Connect();
    ftp.PutFile("text", (local.Path() / "lf").string(), true);
    ftp.PutFile("binary", (local.Path() / "crlf").string(), false);
    // Text travels with network line ends and lands with the server's own.
    EXPECT_EQ(ReadWholeFile(server.Root() / "text"), "alice:x\nbob:y\n");
    EXPECT_EQ(ReadWholeFile(server.Root() / "binary"), "alice:x\r\nbob:y\r\n");
    const std::string commands = server.Commands();
    const size_t typeA = commands.find("TYPE A");
    const size_t typeI = commands.find("TYPE I");
    ASSERT_NE(typeA, std::string::npos) << commands;
    ASSERT_NE(typeI, std::string::npos) << commands;
    EXPECT_LT(typeA, commands.find("STOR text"));
    EXPECT_LT(commands.find("STOR text"), typeI);
    EXPECT_LT(typeI, commands.find("STOR binary"));
}

TEST(FtpClient, RemoteNamesAreUsedAsTyped) {
    TFtpServer server({"--login-dir", "home"});
    fs::create_directories(server.Root() / "home" / "sub");
    fs::create_directories(server.Root() / "www");
    TTempDir local;
    WriteWholeFile(local.Path() / "file", "content");
    const std::string name = (local.Path() / "file").string();
    TFtp ftp;
    Address(ftp, server);
    ftp.Connect();
    ftp.PutFile("relative", name, false);
    ftp.PutFile("sub/nested", name, false);
    ftp.PutFile("/www/.htpasswd", name, false);
    ftp.PutFile("odd name #1?%", name, false);
    EXPECT_EQ(ReadWholeFile(server.Root() / "home" / "relative"), "content");
    EXPECT_EQ(ReadWholeFile(server.Root() / "home" / "sub" / "nested"), "content");
    EXPECT_EQ(ReadWholeFile(server.Root() / "www" / ".htpasswd"), "content");
    EXPECT_EQ(ReadWholeFile(server.Root() / "home" / "odd name #1?%"), "content");
    ftp.RenameFile("/www/.htpasswd", "/www/moved");
    EXPECT_EQ(ReadWholeFile(server.Root() / "www" / "moved"), "content");
    ftp.DeleteFile("/www/moved");
    EXPECT_FALSE(fs::exists(server.Root() / "www" / "moved"));
}

TEST(FtpClient, RefusalsCarryTheServersTextAndTheRefusedCommand) {
    TFtpServer server({"--refuse-rename"});
    TTempDir local;
    WriteWholeFile(local.Path() / "file", "x");
    TFtp ftp;
    Address(ftp, server);
    ftp.Connect();
    try {
        ftp.DeleteFile("missing");
        FAIL() << "deleted a missing file";
    } catch (const EFtpError& e) {
        EXPECT_EQ(Signature(e.Message()), "Verbatim(No such file or directory.)");
        EXPECT_EQ(ftp.LastRefusedCommand(), "DELE");
    }
    try {
        ftp.PutFile("no/such/folder/file", (local.Path() / "file").string(), false);
        FAIL() << "stored into a missing folder";
    } catch (const EFtpError& e) {
        EXPECT_EQ(Signature(e.Message()), "Verbatim(No such file or directory.)");
        EXPECT_EQ(ftp.LastRefusedCommand(), "STOR");
    }
    ftp.PutFile("file", (local.Path() / "file").string(), false);
    try {
        ftp.RenameFile("file", "other");
        FAIL() << "renamed on a server that refuses it";
    } catch (const EFtpError& e) {
        EXPECT_EQ(Signature(e.Message()), "Verbatim(Renaming is not permitted.)");
        EXPECT_EQ(ftp.LastRefusedCommand(), "RNFR");
    }
    // The client stays usable after refusals (logging in again where the library dropped
    // the connection).
    ftp.DeleteFile("file");
    EXPECT_FALSE(fs::exists(server.Root() / "file"));
}

TEST(FtpClient, UnsafeNamesAndClosedClientsAreRefusedLocally) {
    TFtpServer server;
    TFtp ftp;
    EXPECT_THROW(ftp.DeleteFile("x"), EFtpError) << "not connected yet";
    Address(ftp, server);
    ftp.Connect();
    EXPECT_THROW(ftp.DeleteFile("x\r\nDELE important"), EFtpError);
    EXPECT_THROW(ftp.RenameFile("a", "b\nDELE important"), EFtpError);
    ftp.Disconnect();
    EXPECT_THROW(ftp.RenameFile("a", "b"), EFtpError);
    const std::string commands = server.Commands();
    EXPECT_THAT(commands, Not(HasSubstr("DELE"))) << commands;
    EXPECT_THAT(commands, Not(HasSubstr("RNFR"))) << commands;
}

TEST(FtpClient, MissingLocalFileIsAnError) {
    TFtpServer server;
    TFtp ftp;
    Address(ftp, server);
    ftp.Connect();
    EXPECT_THROW(ftp.PutFile("x", "/nonexistent/quorvane/file", false), EFtpError);
    EXPECT_FALSE(fs::exists(server.Root() / "x"));
}

// ---------------------------------------------------------------------------------------------
// The upload worker

// How often the server saw a command line: exactly `Line`, or any line starting with it.
struct TCommandCount {
    const char* Line;
    int Count;
    bool Exact = false;
};

// An upload of `Content` as "htpasswd" to a server that may misbehave on purpose.
struct TTargetCase {
    const char* What;
    std::vector<std::string> Switches = {};
    bool Plain = false;    // Debian's pyftpdlib as it comes (it logs no commands)
    bool OldTarget = true; // "old content\n" is there before
    std::string Content;
    testing::Matcher<const std::vector<std::string>&> Errors = testing::IsEmpty();
    std::vector<TCommandCount> Commands = {};
    bool TemporaryFileGone = true; // checked unless the server refuses to delete it
};

// The target is replaced only by a new file that arrived whole; the old one stays otherwise,
// and the temporary file that held the new passwords does not stay behind.
TEST(FtpUpload, TheTargetIsReplacedOnlyByAWholeNewFile) {
    const std::string renameFailed = "RenameFailed(htpasswd_safeupload, htpasswd, ";
    const std::vector<TCommandCount> storedDirectly = {{"DELE htpasswd", 1, true},
                                                       {"STOR htpasswd", 1, true},
                                                       {"DELE htpasswd_safeupload", 1, true}};
    const testing::Matcher<const std::vector<std::string>&> halfStored =
        ElementsAre("UploadIncomplete(htpasswd, 24045, 48090)");
    const TTargetCase cases[] = {
        {.What = "a first upload",
         .Plain = true,
         .OldTarget = false,
         .Content = SampleText(300000)},
        {.What = "renamed over the target, which never goes missing",
         .Content = SampleText(5000, 'n'),
         .Commands = {{"STOR htpasswd_safeupload", 1},
                      {"RNFR htpasswd_safeupload", 1},
                      {"RNTO htpasswd", 1},
                      {"DELE", 0}}},
        {.What = "no rename over a target: delete, then rename",
         .Switches = {"--refuse-rename-over-existing"},
         .Content = SampleText(5000, 'n'),
         .Commands = {{"RNFR htpasswd_safeupload", 2}, {"DELE htpasswd", 1}}},
        {.What = "no rename at all: the old target stays",
         .Switches = {"--refuse-rename"},
         .Content = "new content\n",
         .Errors = ElementsAre(renameFailed + "Verbatim(Renaming is not permitted.))"),
         .Commands = {{"DELE htpasswd", 0, true}}},
        {.What = "neither a rename over a file nor a delete",
         .Switches = {"--refuse-rename-over-existing", "--refuse-dele"},
         .Content = "new content\n",
         .Errors = ElementsAre(renameFailed + "Verbatim(Target exists.))"),
         .TemporaryFileGone = false},
        // Not even after deleting the target: the new file is stored under the target's own
        // name rather than leaving the site without a password file.
        {.What = "no rename after the delete either",
         .Switches = {"--refuse-rnto"},
         .Content = SampleText(20000, 'n'),
         .Commands = storedDirectly},
        {.What = "the rename still busy after the delete",
         .Switches = {"--refuse-rename-over-existing", "--rnto-450-after-dele"},
         .Content = SampleText(20000, 'n'),
         .Commands = storedDirectly},
        // 226 for half a file: the size check keeps the old target.
        {.What = "a truncated upload",
         .Switches = {"--truncate-stor"},
         .Content = SampleText(48090),
         .Errors = halfStored,
         .Commands = {{"RNFR", 0}}},
        // A server that will not answer SIZE is measured another way: MLST, its LIST line, or
        // the file read back; one that allows none of them gets no file installed.
        {.What = "a truncated upload, SIZE refused: MLST tells",
         .Switches = {"--truncate-stor", "--refuse", "SIZE"},
         .Content = SampleText(48090),
         .Errors = halfStored,
         .Commands = {{"MLST htpasswd_safeupload", 1, true}, {"RNFR", 0}}},
        {.What = "a truncated upload, SIZE and MLST refused: LIST tells",
         .Switches = {"--truncate-stor", "--refuse", "SIZE,MLST"},
         .Content = SampleText(48090),
         .Errors = halfStored,
         .Commands = {{"LIST htpasswd_safeupload", 1, true}, {"RETR", 0}, {"RNFR", 0}}},
        {.What = "a truncated upload measured by reading it back",
         .Switches = {"--truncate-stor", "--refuse", "SIZE,MLST,LIST"},
         .Content = SampleText(48090),
         .Errors = halfStored,
         .Commands = {{"RETR htpasswd_safeupload", 1, true}, {"RNFR", 0}}},
        {.What = "a whole upload measured by reading it back",
         .Switches = {"--refuse", "SIZE,MLST,LIST"},
         .Content = SampleText(48090),
         .Commands = {{"RETR htpasswd_safeupload", 1, true}, {"RNTO htpasswd", 1}}},
        {.What = "a server that tells the size no way",
         .Switches = {"--refuse", "SIZE,MLST,LIST,RETR"},
         .Content = SampleText(48090),
         .Errors = ElementsAre("UploadSizeUnknown(htpasswd)"),
         .Commands = {{"RNFR", 0}, {"DELE htpasswd_safeupload", 1, true}}},
        // Refused half-way (disk full).
        {.What = "a transfer refused half-way",
         .Switches = {"--fail-stor-after-bytes", "100000"},
         .Content = SampleText(2000000),
         .Errors = ElementsAre(StartsWith("UploadFailed(htpasswd, ")),
         .Commands = {{"DELE htpasswd_safeupload", 1, true}}},
        // A server that stores bytes as received (vsftpd's default) gets the CR LF lines exactly
        // as written: the transfer is binary, so no CR is added before the LF.
        {.What = "CR LF lines stored as received",
         .Switches = {"--store-raw"},
         .OldTarget = false,
         .Content = SampleText(48000),
         .Commands = {{"TYPE A", 0}}},
        {.What = "an empty file", .Content = "", .Commands = {{"RNTO htpasswd", 1}}},
    };
    for (const TTargetCase& c : cases) {
        SCOPED_TRACE(c.What);
        TFtpServer server(c.Switches, c.Plain);
        const fs::path target = server.Root() / "htpasswd";
        if (c.OldTarget) WriteWholeFile(target, "old content\n");
        const auto run = Uploaded(server.Host(), c.Content, "htpasswd");
        const std::vector<std::string> errors = run->Errors();
        EXPECT_THAT(errors, c.Errors);
        EXPECT_EQ(run->Completions, 1);
        if (errors.empty()) {
            ASSERT_TRUE(fs::exists(target));
            EXPECT_EQ(ReadWholeFile(target), c.Content);
            // "Connecting(...)", then the file's percentages (an empty file has none).
            const std::vector<std::string> texts = run->Texts();
            ASSERT_FALSE(texts.empty());
            EXPECT_EQ(texts.front(), "Connecting(" + server.Host() + ")");
            if (c.Content.empty()) {
                EXPECT_EQ(texts.size(), 1u);
            } else {
                ExpectRisingPercentages({texts.begin() + 1, texts.end()}, "htpasswd");
            }
        } else {
            EXPECT_EQ(ReadWholeFile(target), "old content\n");
        }
        EXPECT_TRUE(!c.TemporaryFileGone || !fs::exists(server.Root() / "htpasswd_safeupload"));
        const std::string commands = server.Commands();
        for (const TCommandCount& count : c.Commands)
            EXPECT_EQ(count.Exact ? CountExact(commands, count.Line)
                                  : CountLines(commands, count.Line),
                      count.Count)
                << count.Line << "\n"
                << commands;
    }
}

TEST(FtpUpload, SubfolderAndAbsoluteTargets) {
    TFtpServer server({"--login-dir", "home"});
    fs::create_directories(server.Root() / "home" / "private");
    fs::create_directories(server.Root() / "www");
    WriteWholeFile(server.Root() / "www" / ".htpasswd", "old\n");
    const auto run = Uploaded(server.Host(), "one\n", "private/htpasswd");
    EXPECT_TRUE(run->Errors().empty()) << testing::PrintToString(run->Errors());
    const auto absolute = Uploaded(server.Host(), "two\n", "/www/.htpasswd");
    EXPECT_TRUE(absolute->Errors().empty()) << testing::PrintToString(absolute->Errors());
    EXPECT_EQ(ReadWholeFile(server.Root() / "home" / "private" / "htpasswd"), "one\n");
    EXPECT_EQ(ReadWholeFile(server.Root() / "www" / ".htpasswd"), "two\n");
    EXPECT_FALSE(fs::exists(server.Root() / "home" / "www"));
    EXPECT_FALSE(fs::exists(server.Root() / "www" / ".htpasswd_safeupload"));
    const std::string commands = server.Commands();
    EXPECT_EQ(CountLines(commands, "STOR /www/.htpasswd_safeupload"), 1) << commands;
    EXPECT_EQ(CountLines(commands, "RNTO /www/.htpasswd"), 1) << commands;
    EXPECT_THAT(absolute->Texts(), testing::Contains("Uploading(/www/.htpasswd, 100)"));
}

TEST(FtpUpload, WrongPasswordIsReportedOnceAndNothingIsTried) {
    TFtpServer server;
    const auto run = Uploaded(server.Host(), "content\n", "htpasswd", true, "wrong");
    EXPECT_THAT(run->Statuses,
                ElementsAre(Pair("Connecting(" + server.Host() + ")", false),
                            Pair("LoginFailed(" + server.Host() +
                                     ", webmaster, Verbatim(Authentication failed.))",
                                 true)));
    EXPECT_EQ(run->Completions, 1);
    EXPECT_EQ(CountLines(server.Commands(), "STOR"), 0);
    EXPECT_FALSE(fs::exists(server.Root() / "htpasswd_safeupload"));
}

TEST(FtpUpload, MissingRemoteFolderGivesTheServersText) {
    TFtpServer server({}, true);
    const auto run = Uploaded(server.Host(), "content\n", "nowhere/htpasswd");
    EXPECT_THAT(
        run->Errors(),
        ElementsAre("UploadFailed(nowhere/htpasswd, Verbatim(No such file or directory.))"));
    EXPECT_EQ(run->Completions, 1);
    EXPECT_TRUE(fs::is_empty(server.Root()));
}

class FtpUploadModes : public testing::TestWithParam<bool> {};

TEST_P(FtpUploadModes, UploadsInBothModes) {
    const bool passive = GetParam();
    TFtpServer server;
    const std::string content = SampleText(100000);
    const auto run = Uploaded(server.Host(), content, "htpasswd", passive);
    EXPECT_TRUE(run->Errors().empty()) << testing::PrintToString(run->Errors());
    EXPECT_EQ(ReadWholeFile(server.Root() / "htpasswd"), content);
    const std::string commands = server.Commands();
    const int passiveCommands = CountLines(commands, "EPSV") + CountLines(commands, "PASV");
    const int activeCommands = CountLines(commands, "EPRT") + CountLines(commands, "PORT");
    EXPECT_EQ(passiveCommands > 0, passive) << commands;
    EXPECT_EQ(activeCommands > 0, !passive) << commands;
}

TEST_P(FtpUploadModes, ServerDyingMidTransferLeavesTheTargetWhole) {
    TFtpServer server({"--die-after-bytes", "200000"});
    WriteWholeFile(server.Root() / "htpasswd", "old content\n");
    const std::string content = SampleText(3000000);
    const auto run = Uploaded(server.Host(), content, "htpasswd", GetParam());
    const std::vector<std::string> errors = run->Errors();
    ASSERT_EQ(errors.size(), 1u) << testing::PrintToString(run->Texts());
    EXPECT_THAT(errors[0], Not(testing::IsEmpty()));
    EXPECT_EQ(errors[0], "UploadFailed(htpasswd, ConnectionLost())");
    EXPECT_TRUE(run->Statuses.back().second) << "the error is the last text";
    EXPECT_EQ(run->Completions, 1);
    EXPECT_TRUE(server.Exited());
    EXPECT_EQ(ReadWholeFile(server.Root() / "htpasswd"), "old content\n");
    EXPECT_LT(ReadWholeFile(server.Root() / "htpasswd_safeupload").size(), content.size());
}

INSTANTIATE_TEST_SUITE_P(PassiveAndActive, FtpUploadModes, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Passive") : std::string("Active");
                         });

// Through the owner's event loop: the handlers run on the owner's thread, and an owner that
// went away (detached) hears nothing, yet the work is done and the temporary file deleted.
TEST(FtpUpload, HandlersRunOnTheOwnersThreadAndADetachedOwnerHearsNothing) {
    for (const bool detach : {false, true}) {
        auto dispatcher = std::make_shared<TQueuedDispatcher>();
        TPrepared upload(dispatcher, 200000);
        TFtpUploader& uploader = upload.Run.Uploader;
        const TUploadRun& seen = upload.Run;
        uploader.Start();
        if (detach) uploader.Detach(); // the dialog went away
        // The owner's loop goes on running other work.
        ASSERT_TRUE(dispatcher->ProcessUntil([&] { return uploader.Finished(); },
                                             std::chrono::seconds(60)));
        uploader.WaitFor();
        if (detach) {
            EXPECT_TRUE(seen.Statuses.empty());
            EXPECT_EQ(seen.Completions, 0);
        } else {
            EXPECT_EQ(seen.Completions, 1);
            EXPECT_TRUE(seen.Errors().empty());
            ASSERT_FALSE(seen.Threads.empty());
            for (const std::thread::id id : seen.Threads)
                EXPECT_EQ(id, std::this_thread::get_id());
        }
        EXPECT_FALSE(fs::exists(upload.Run.File)) << "the temporary file is deleted: " << detach;
        EXPECT_EQ(ReadWholeFile(upload.Server.Root() / "htpasswd"), upload.Content) << detach;
    }
}

TEST(FtpUpload, DetachFromAHandlerStopsFurtherNotifications) {
    TPrepared upload(std::make_shared<TDirectDispatcher>(), 300000);
    TFtpUploader& uploader = upload.Run.Uploader;
    std::vector<std::string> texts;
    int completions = 0;
    uploader.OnStatus = [&](const TMessage& message, bool) {
        texts.push_back(Signature(message));
        if (message.Is(texts::Uploading)) {
            uploader.Detach(); // the owner closes at the first percentage
        }
    };
    uploader.OnTerminate = [&] { ++completions; };
    uploader.Start();
    uploader.WaitFor();
    EXPECT_THAT(texts,
                ElementsAre("Connecting(" + upload.Server.Host() + ")", "Uploading(htpasswd, 0)"));
    EXPECT_EQ(completions, 0);
    EXPECT_FALSE(fs::exists(upload.Run.File));
    EXPECT_EQ(fs::file_size(upload.Server.Root() / "htpasswd"), 300000u);
}

TEST(FtpUpload, FailingStatusHandlerEndsTheRunWithOneError) {
    TPrepared upload(std::make_shared<TDirectDispatcher>(), 1000);
    TFtpUploader& uploader = upload.Run.Uploader;
    std::vector<std::pair<std::string, bool>> seen;
    int completions = 0;
    uploader.OnStatus = [&](const TMessage& message, bool isError) {
        seen.emplace_back(Signature(message), isError);
        if (!isError && message.Is(texts::Uploading)) {
            throw std::runtime_error("label is gone");
        }
    };
    uploader.OnTerminate = [&] { ++completions; };
    uploader.Start();
    uploader.WaitFor();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), std::make_pair(std::string("Verbatim(label is gone)"), true));
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(fs::exists(upload.Run.File));
    EXPECT_FALSE(fs::exists(upload.Server.Root() / "htpasswd"));
}

TEST(FtpUpload, UnstartedUploaderStillDeletesItsFilesAndChecksItsFiles) {
    TTempDir local;
    const std::string file = GetTempFile("kxv", local.Path().string());
    {
        TFtpUploader uploader(std::make_shared<TDirectDispatcher>());
        uploader.LocalFile = file;
        uploader.DeleteWhenDone = {file};
        EXPECT_THROW(uploader.Start(), std::logic_error) << "no remote name for the file";
    }
    EXPECT_FALSE(fs::exists(file));
    TFtpUploader twice(std::make_shared<TDirectDispatcher>());
    twice.Host = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
    twice.Timeout = 5000;
    twice.LocalFile = GetTempFile("kxv", local.Path().string());
    twice.RemoteFile = "htpasswd";
    twice.DeleteWhenDone = {twice.LocalFile};
    twice.Start();
    EXPECT_THROW(twice.Start(), std::logic_error);
    twice.WaitFor();
    EXPECT_TRUE(twice.Finished());
}

// ---------------------------------------------------------------------------------------------
// Safe replacement against servers that misbehave on purpose

// Every text that reaches a command line is checked before anything is sent: a CR, LF or NUL
// would let a stored login or password smuggle in commands of its own.
TEST(FtpUploadFaults, LineBreaksInAnyTextSentToTheServerAreRefusedBeforeConnecting) {
    struct TCase {
        const char* What;
        std::string User, Password, Host, Remote;
    };
    TFtpServer server;
    const std::string host = server.Host();
    const std::vector<TCase> cases = {
        {"PasswordUnsafe", kUser, "pw\r\nDELE important", host, "htpasswd"},
        {"PasswordUnsafe", kUser, std::string("pw\0x", 4), host, "htpasswd"},
        {"LoginUnsafe", "web\nmaster", kPassword, host, "htpasswd"},
        {"HostUnsafe", kUser, kPassword, host + "\r\nDELE important", "htpasswd"},
        {"RemoteNameUnsafe", kUser, kPassword, host, "htpasswd\r\nDELE important"},
    };
    WriteWholeFile(server.Root() / "important", "keep me\n");
    for (const TCase& c : cases) {
        TUploadRun run(c.Host, "alice:x\n", c.Remote);
        run.Uploader.User = c.User;
        run.Uploader.Password = c.Password;
        run.Go();
        EXPECT_THAT(run.Errors(), ElementsAre(std::string(c.What) + "()"));
        EXPECT_EQ(run.Completions, 1);
    }
    EXPECT_EQ(ReadWholeFile(server.Root() / "important"), "keep me\n");
    EXPECT_EQ(server.Commands(), "") << "not even a connection was made";

    // The client refuses on its own too.
    TFtp ftp;
    ftp.Host = host;
    ftp.User = kUser;
    ftp.Password = "pw\r\nDELE important";
    EXPECT_THROW(ftp.Connect(), EFtpError);
    EXPECT_EQ(server.Commands(), "");
}

TEST(FtpUploadFaults, ConnectionErrorsNameTheStepAndTheServer) {
    const int port = FreeLoopbackPort();
    const auto run = Uploaded("127.0.0.1:" + std::to_string(port), "x\n", "/www/.htpasswd");
    EXPECT_THAT(run->Errors(),
                ElementsAre("CouldNotConnect(127.0.0.1:" + std::to_string(port) +
                            ", SystemFailure(#" + std::to_string(ECONNREFUSED) + "))"));
}

TEST(FtpUploadFaults, AbortStopsTheTransferAndKeepsTheOldTarget) {
    TPrepared upload(std::make_shared<TDirectDispatcher>(), 3000000);
    const TFtpServer& server = upload.Server;
    WriteWholeFile(server.Root() / "htpasswd", "old content\n");
    upload.Run.AbortAtPercent = 1;
    upload.Run.Go();
    EXPECT_THAT(upload.Run.Errors(), ElementsAre("UploadAborted(htpasswd)"));
    EXPECT_EQ(ReadWholeFile(server.Root() / "htpasswd"), "old content\n");
    EXPECT_FALSE(fs::exists(server.Root() / "htpasswd_safeupload"));
}

} // namespace

// Whatever identified a server (its TLS key, a CA file, an SSH key file, its host keys) goes when
// the target becomes another kind of server; the same kind keeps it.
TEST(ServerProtocol, AnotherKindOfServerForgetsWhatIdentifiedTheOldOne) {
    using P = TTransferProtocol;
    const struct {
        P From, To;
        bool Forgets;
    } cases[] = {
        {P::Sftp, P::Sftp, false}, {P::FtpExplicitTls, P::FtpExplicitTls, false},
        {P::Sftp, P::Ftp, true},   {P::FtpExplicitTls, P::FtpImplicitTls, true},
        {P::Ftp, P::Sftp, true},
    };
    for (const auto& c : cases) {
        const std::string pin = "sha256//" + std::string(43, 'A') + "=",
                          ca = "/etc/ssl/site-ca.pem", key = "/home/web/.ssh/id_ed25519",
                          hostKeys = "SHA256:" + std::string(43, 'b');
        TUserList list;
        First(list)->FtpProtocol = ProtocolStoredName(c.From);
        First(list)->FtpTlsPin = pin;
        First(list)->FtpCaFile = ca;
        First(list)->FtpKeyFile = key;
        First(list)->FtpHostKeys = hostKeys;
        EXPECT_EQ(SetServerProtocol(*First(list), c.To), c.Forgets) << ProtocolStoredName(c.From);
        EXPECT_EQ(First(list)->FtpProtocol, ProtocolStoredName(c.To));
        const auto keptOr = [&](const std::string& was) { return c.Forgets ? "" : was; };
        EXPECT_EQ(First(list)->FtpTlsPin, keptOr(pin));
        EXPECT_EQ(First(list)->FtpCaFile, keptOr(ca));
        EXPECT_EQ(First(list)->FtpKeyFile, keptOr(key));
        EXPECT_EQ(First(list)->FtpHostKeys, keptOr(hostKeys));
    }
}

// A secret typed for a target goes back only to the same server and login: the host's letters
// do not matter, its port, protocol and login do; a key file's passphrase goes with the file;
// a local file or a store takes none, and a forgotten one is gone.
TEST(SessionSecrets, ASecretGoesBackToTheServerAndLoginItWasTypedFor) {
    const auto server = [](const std::string& protocol, const std::string& host,
                           const std::string& user, const std::string& key = {}) {
        TTargetSettings t;
        t.ExportToFile = false;
        t.FtpProtocol = protocol;
        t.FtpHost = host;
        t.FtpUser = user;
        t.FtpKeyFile = key;
        return t;
    };
    TTargetSettings file;
    file.ExportToFile = true;
    file.PassFile = "/srv/htpasswd";
    TTargetSettings store = server("", "ftp.example.org", "alice");
    store.StoreUrl = "sqlite:/srv/auth.db";
    TSessionSecrets secrets;
    secrets.Keep(server("", "FTP.Example.org", "alice"), "pw");
    secrets.Keep(server("sftp", "ssh.example.org", "alice", "/home/a/.ssh/id_ed25519"), "phrase");
    secrets.Keep(file, "never");
    secrets.Keep(store, "never");
    const struct {
        const char* Case;
        TTargetSettings Target;
        const char* Kept; // nullptr: none
        bool Asks;
    } cases[] = {
        {"the same server and login", server("", "ftp.example.org", "alice"), "pw", true},
        {"another login", server("", "ftp.example.org", "bob"), nullptr, true},
        {"another port", server("", "ftp.example.org:2121", "alice"), nullptr, true},
        {"another protocol", server("ftpes", "ftp.example.org", "alice"), nullptr, true},
        {"another host", server("", "www.example.org", "alice"), nullptr, true},
        {"the key file elsewhere",
         server("sftp", "other.example.org", "bob", "/home/a/.ssh/id_ed25519"), "phrase", false},
        {"a local file", file, nullptr, false},
        {"a store", store, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        const std::string* kept = secrets.Find(c.Target);
        EXPECT_EQ(kept != nullptr ? *kept : std::string("(none)"),
                  std::string(c.Kept != nullptr ? c.Kept : "(none)"));
        EXPECT_EQ(TargetAsksForSecret(c.Target), c.Asks);
    }
    secrets.Forget(server("", "ftp.example.org", "alice"));
    EXPECT_EQ(secrets.Find(server("", "FTP.example.org", "alice")), nullptr);
}
