// The password file: its lines, order, namesakes, progress, abort and the safe write.

#include "BatchCheck.h"
#include "NginxTestServer.h"
#include "TestUtil.h"
#include "base/BaseTexts.h"
#include "base/Errors.h"
#include "export/DatabaseState.h"
#include "export/ExportTexts.h"
#include "export/PasswordFile.h"
#include "export/htpasswd.h"
#include "userdb/DataLibInternal.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

using namespace quorvane;

namespace {

TUserProp& AddUser(TUserList& list, const std::string& login, const std::string& password,
                   bool disabled = false) {
    TUserProp& user = list.Add(login, password);
    user.Disable = disabled;
    return user;
}

std::string PlainFile(const TUserList& list, IExportProgress* progress = nullptr,
                      bool allowEmptyPasswords = false, TPasswordFileReport* report = nullptr) {
    TPasswordFileOptions options;
    options.Progress = progress;
    options.AllowEmptyPasswords = allowEmptyPasswords;
    options.Report = report;
    const auto text = BuildPasswordFile(list, TPasswordsType::ptPlainText, options);
    return text ? *text : "<aborted>";
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last line end";
    return lines;
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(PasswordLine, BothForms) {
    TUserList list;
    TUserProp& user = AddUser(list, "a user:x", "pass word", true);
    EXPECT_EQ(MakePasswordLine(user, TPasswordsType::ptPlainText),
              "a user:x:pass word"); // Disable is not read
    const std::string line = MakePasswordLine(user, TPasswordsType::ptMD5);
    ASSERT_TRUE(line.starts_with("a user:x:$apr1$"));
    const std::string hash = line.substr(9);
    EXPECT_EQ(hash.size(), KApr1Length);
    EXPECT_EQ(Apr1CryptWithSalt("pass word", hash), hash);
    EXPECT_EQ(MakePasswordLine(AddUser(list, "empty", ""), TPasswordsType::ptPlainText), "empty:");
}

// Users in the database's order and the plain-text file they give: sorted ignoring case, the
// last of logins that differ only in case decides (each enabled one left out is named with it),
// nothing escaped, disabled users left out. An empty password goes out only with the user's
// consent.
TEST(PasswordFile, PlainTextLines) {
    struct TUser {
        const char* Login;
        const char* Password;
        bool Disabled = false;
    };
    const struct {
        const char* What;
        std::vector<TUser> Users;
        const char* File;
        std::vector<std::string> Namesakes = {};
    } cases[] = {
        {"an empty password, a disabled user",
         {{"carl", ""}, {"Bob", "b", true}, {"alice", "a1"}},
         "alice:a1\r\ncarl:\r\n"},
        {"order ignoring case",
         {{"bob", "1"}, {"carol", "2"}, {"Alice", "3"}, {"BOBBY", "4"}, {"ALICIA", "5"}},
         "Alice:3\r\nALICIA:5\r\nbob:1\r\nBOBBY:4\r\ncarol:2\r\n"},
        {"the last namesake disabled: no line even though an earlier one is enabled",
         {{"Bob", "first"}, {"bob", "second", true}, {"zed", "z"}},
         "zed:z\r\n",
         {"Bob left out: the later bob is disabled"}},
        {"the last namesake enabled: its own login and password",
         {{"Bob", "first", true}, {"amy", "a"}, {"bob", "second"}},
         "amy:a\r\nbob:second\r\n"},
        {"three namesakes, and a trailing blank that makes another login",
         {{"EVE", "1", true}, {"Eve", "2"}, {"eve", "3"}, {"eve ", "4"}},
         "eve:3\r\neve :4\r\n",
         {"Eve left out: the later eve is written"}},
        {"namesakes among others, each named with the one written",
         {{"zoe", "1"}, {"Al", "2"}, {"ZOE", "3"}, {"al", "4"}, {"bo", "5"}, {"AL", "6"}},
         "AL:6\r\nbo:5\r\nZOE:3\r\n",
         {"zoe left out: the later ZOE is written", "Al left out: the later AL is written",
          "al left out: the later AL is written"}},
        {"nothing escaped",
         {{"x y", "p:w z"}, {"\xe9t\xe9", "\"q\"\\"}, {"empty", ""}},
         "empty:\r\nx y:p:w z\r\n\xe9t\xe9:\"q\"\\\r\n"},
    };
    for (const auto& c : cases) {
        TUserList list;
        bool emptyPassword = false;
        for (const TUser& user : c.Users) {
            AddUser(list, user.Login, user.Password, user.Disabled);
            emptyPassword = emptyPassword || (!user.Disabled && *user.Password == '\0');
        }
        TPasswordFileReport report;
        EXPECT_EQ(PlainFile(list, nullptr, true, &report), c.File) << c.What;
        std::vector<std::string> namesakes;
        for (const TMessage& note : report.Namesakes)
            namesakes.push_back(EnglishText(note));
        EXPECT_EQ(namesakes, c.Namesakes) << c.What;
        if (emptyPassword) {
            EXPECT_THROW(PlainFile(list), EEmptyPasswords) << c.What;
        } else {
            EXPECT_EQ(PlainFile(list), c.File) << c.What;
        }
    }
}

TEST(PasswordFile, OrderIsByteOrderAfterFoldingWhateverTheLocale) {
    // Folded bytes decide (punctuation and digits before letters, UTF-8 after z); the locale of
    // the machine never does. Of namesakes the last in the database stands, in their place.
    using namespace std::string_literals;
    const struct {
        std::vector<std::string> Database, File;
    } cases[] = {
        {{"b", "A_", "_z", "9", "a"}, {"9", "_z", "a", "A_", "b"}},
        {{"über", "zed", "Uwe", "ute"}, {"ute", "Uwe", "zed", "über"}},
        {{"Über", "über"}, {"Über", "über"}},
        {{"Bob", "carl", "bob"}, {"bob", "carl"}},
        // capitals: namesakes wherever they are, the last one standing
        {{"b", "a", "B", "A", "c"}, {"A", "B", "c"}},
        {{"bob", "Carl", "BOB", "carl", "Bob"}, {"Bob", "carl"}},
        // in file order already: no namesake lost, none kept twice
        {{"ann", "Ann", "ANN", "bob"}, {"ANN", "bob"}},
        {{"Amy", "amy", "Ben", "carl"}, {"amy", "Ben", "carl"}},
        // a login that is the start of another, and logins alike in their first eight bytes
        {{"abcdefghij", "abcdefgh", "ABCDEFGHI", "abc"},
         {"abc", "abcdefgh", "ABCDEFGHI", "abcdefghij"}},
        {{"abcdefghZ", "abcdefgha", "ABCDEFGHz"}, {"abcdefgha", "ABCDEFGHz"}},
        {{"ab\0"s, "ab", "AB\0c"s}, {"ab", "ab\0"s, "AB\0c"s}},
        // bytes above 0x7f after every ASCII byte, in their own order, also past eight bytes
        {{"\xff", "\xc3\xa9", "z", "\x80", "\x7f"}, {"z", "\x7f", "\x80", "\xc3\xa9", "\xff"}},
        {{"abcdefgh\xff", "abcdefghz", "ABCDEFGH\x80"},
         {"abcdefghz", "ABCDEFGH\x80", "abcdefgh\xff"}},
        {{"\xe9T\xe9", "\xe9t\xe9", "\xc9t\xe9"}, {"\xc9t\xe9", "\xe9t\xe9"}},
    };
    for (const auto& c : cases) {
        TUserList list;
        for (const std::string& login : c.Database)
            AddUser(list, login, "");
        std::vector<std::string> logins;
        for (const TUserProp* user : PasswordFileEntries(list))
            logins.push_back(user->Login);
        EXPECT_EQ(logins, c.File) << c.Database.front();
    }
}

// Values handed out as views stay where they are while their store lives: the arena of a
// build's values, and a hash table's hashes (which the entries of a build point into).
TEST(PasswordFile, KeptValuesStayWhereTheyAreWhileTheirStoreLives) {
    // Enough values to fill several blocks, two of them a block long or longer, each different;
    // the store moved to another owner halfway, as the entries it backs are.
    std::vector<std::string> values;
    for (int i = 0; i < 40000; ++i)
        values.push_back("$apr1$" + std::to_string(i) +
                         std::string(static_cast<size_t>(i % 61), 'x'));
    values.insert(values.begin() + 20000, std::string(size_t{3} << 20, 'L'));
    values.insert(values.begin() + 30000, std::string(size_t{1} << 20, 'B'));
    values.push_back("");
    const auto check = [&](const std::vector<std::string_view>& kept, const char* store) {
        for (size_t i = 0; i < values.size(); ++i)
            ASSERT_EQ(kept[i], values[i]) << store << ", " << i;
    };
    {
        std::vector<std::string_view> kept;
        TValueArena arena;
        for (size_t i = 0; i < values.size(); ++i) {
            if (i == values.size() / 2) {
                TValueArena moved = std::move(arena);
                arena = std::move(moved);
            }
            kept.push_back(arena.Keep(values[i]));
        }
        check(kept, "arena");
    }
    std::vector<std::string_view> kept;
    THashTable table, copy;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i == values.size() / 2) {
            THashTable moved = std::move(table);
            table = std::move(moved);
            copy = table;
        }
        kept.push_back(table.Put("user" + std::to_string(i), {}, values[i]));
    }
    check(kept, "hash table");
    // A copy holds the same hashes, and what it takes after is its own.
    copy.Put("user0", {}, "changed");
    EXPECT_EQ(table.Entry(0).Hash, values[0]);
    for (size_t i = 1; i < values.size() / 2; ++i)
        ASSERT_EQ(copy.Entry(i).Hash, values[i]) << i;
}

TEST(PasswordFile, LineBreaksCannotForgeLines) {
    TTempDir dir;
    const std::string target = dir.File("htpasswd");
    WriteWholeFile(target, "old:line\r\n");
    {
        TUserList list;
        AddUser(list, "ok", "1");
        AddUser(list, "evil\r\nadmin", "x");
        TRecordingProgress progress;
        TPasswordFileOptions options;
        options.Progress = &progress;
        for (TPasswordsType form : {TPasswordsType::ptPlainText, TPasswordsType::ptMD5}) {
            try {
                CreatePasswordFile(target, list, form, options);
                FAIL() << "a login with a line break was written";
            } catch (const EQuorvaneError& e) {
                EXPECT_EQ(Signature(e.Message()),
                          "UnsafeUsers([UnsafeUser(2, evil\\r\\nadmin, UnsafeLoginControl())])");
            }
        }
        EXPECT_TRUE(progress.Texts.empty());
        list.Users(1).Disable = true; // a disabled user is not written, so it does no harm
        EXPECT_EQ(PlainFile(list), "ok:1\r\n");
    }
    {
        TUserList list;
        AddUser(list, "bob", "pw\nadmin:secret");
        EXPECT_THROW(CreatePasswordFile(target, list, TPasswordsType::ptPlainText), EQuorvaneError);
        ASSERT_TRUE(CreatePasswordFile(target, list,
                                       TPasswordsType::ptMD5)); // the hash holds no line break
        const auto lines = SplitLines(ReadWholeFile(target));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(Apr1CryptWithSalt("pw\nadmin:secret", lines[0].substr(4)), lines[0].substr(4));
    }
    WriteWholeFile(target, "old:line\r\n");
    TUserList list;
    AddUser(list, "lf\n", "");
    EXPECT_THROW(CreatePasswordFile(target, list, TPasswordsType::ptMD5), EUnsafeUsers);
    EXPECT_EQ(ReadWholeFile(target), "old:line\r\n");
}

// A progress text every 100 entries, disabled users counted, and none for an empty list.
TEST(PasswordFile, ProgressEveryHundredEntries) {
    const struct {
        int Users;
        int DisabledEvery; // every user whose number divides by it; 0: none
        std::vector<int> Percents;
        std::size_t Lines;
    } cases[] = {
        {0, 0, {}, 0},
        {100, 1, {0}, 0},
        {250, 3, {0, 40, 80}, 166},
        {301, 0, {0, 33, 66, 99}, 301},
    };
    for (const auto& c : cases) {
        TUserList list;
        for (int i = 0; i < c.Users; ++i)
            AddUser(list, "user" + std::to_string(1000 + i), "p",
                    c.DisabledEvery != 0 && i % c.DisabledEvery == 0);
        TRecordingProgress progress;
        const std::string text = PlainFile(list, &progress);
        std::vector<std::string> texts;
        for (const int percent : c.Percents)
            texts.push_back("Creating passwords file - " + std::to_string(percent) + "% completed");
        EXPECT_EQ(progress.Texts, texts) << c.Users;
        EXPECT_EQ(SplitLines(text).size(), c.Lines) << c.Users;
    }
}

TEST(PasswordFile, AbortLeavesTheTargetAsItWas) {
    TTempDir dir;
    const std::string target = dir.File("htpasswd");
    WriteWholeFile(target, "old:line\r\n");
    TUserList list;
    for (int i = 0; i < 250; ++i)
        AddUser(list, "user" + std::to_string(i), "p");

    for (TPasswordsType form : {TPasswordsType::ptPlainText, TPasswordsType::ptMD5}) {
        TRecordingProgress progress(2); // confirmed at the check of entry 100
        TPasswordFileOptions options;
        options.Progress = &progress;
        EXPECT_FALSE(CreatePasswordFile(target, list, form, options));
        EXPECT_EQ(progress.Texts.size(), 2u);
        EXPECT_EQ(ReadWholeFile(target), "old:line\r\n");

        TRecordingProgress atOnce(1);
        options.Progress = &atOnce;
        EXPECT_FALSE(CreatePasswordFile(dir.File("new"), list, form, options));
        EXPECT_FALSE(std::filesystem::exists(dir.File("new")));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1)
        << "a temporary file was left behind";
}

TEST(PasswordFile, WritesAndReplacesTheFile) {
    TTempDir dir;
    const std::string target = dir.File("passwords");
    TUserList list;
    AddUser(list, "a", "1");
    ASSERT_TRUE(CreatePasswordFile(target, list, TPasswordsType::ptPlainText));
    EXPECT_EQ(ReadWholeFile(target), "a:1\r\n");

    // An existing file keeps its permission bits.
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    AddUser(list, "b", "2");
    ASSERT_TRUE(CreatePasswordFile(target, list, TPasswordsType::ptPlainText));
    EXPECT_EQ(ReadWholeFile(target), "a:1\r\nb:2\r\n");
    EXPECT_EQ(ModeOf(target), 0640u);

    // A new file is readable by the web server (as far as the umask allows).
    const mode_t mask = umask(022);
    umask(mask);
    ASSERT_TRUE(CreatePasswordFile(dir.File("new"), list, TPasswordsType::ptPlainText));
    EXPECT_EQ(ModeOf(dir.File("new")), 0644u & ~mask);

    TUserList empty;
    ASSERT_TRUE(CreatePasswordFile(target, empty, TPasswordsType::ptPlainText));
    EXPECT_EQ(std::filesystem::file_size(target), 0u);
}

TEST(PasswordFile, FailedWriteLeavesTheTargetAlone) {
    TTempDir dir;
    TUserList list;
    AddUser(list, "a", "1");

    const std::string missing = dir.File("no such folder/htpasswd");
    try {
        CreatePasswordFile(missing, list, TPasswordsType::ptPlainText);
        FAIL() << "no error for a missing folder";
    } catch (const EQuorvaneError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + missing + ": the folder " +
                                             dir.File("no such folder") + " does not exist");
    }

    // A folder in the target's place cannot be replaced by a file; it stays as it was.
    const std::string folder = dir.File("taken");
    std::filesystem::create_directory(folder);
    WriteWholeFile(folder + "/inside", "keep");
    EXPECT_THROW(CreatePasswordFile(folder, list, TPasswordsType::ptPlainText), EQuorvaneError);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(ReadWholeFile(folder + "/inside"), "keep");

    // A disk that fills up halfway, or a flush that fails: the old file stays whole.
    const std::string target = dir.File("htpasswd");
    WriteWholeFile(target, "old:line\r\n");
    AddUser(list, "b", std::string(5000, 'x'));
    test_hooks::SetWriteFailureAfter(100);
    EXPECT_THROW(CreatePasswordFile(target, list, TPasswordsType::ptPlainText), EQuorvaneError);
    test_hooks::SetWriteFailureAfter(-1);
    test_hooks::SetFsyncFailure(true);
    EXPECT_THROW(CreatePasswordFile(target, list, TPasswordsType::ptMD5), EQuorvaneError);
    test_hooks::SetFsyncFailure(false);
    EXPECT_EQ(ReadWholeFile(target), "old:line\r\n");

    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2)
        << "a temporary file was left behind";
}

TEST(PasswordFile, Md5FormIsTheSameOnAnyNumberOfWorkers) {
    TUserList list;
    for (int i = 0; i < 230; ++i)
        AddUser(list, "member" + std::to_string(i % 200), std::string(i % 40, 'k'), i % 7 == 0);

    // The reference: one line after another, salts from the same reproducible source.
    TLcgRandom sequential(424242);
    std::string expected;
    for (const TUserProp* user : PasswordFileEntries(list))
        if (!user->Disable)
            expected += MakePasswordLine(*user, TPasswordsType::ptMD5, sequential) + "\r\n";

    for (unsigned threads : {1u, 2u, 5u}) {
        TLcgRandom random(424242);
        TPasswordFileOptions options;
        options.Random = &random;
        options.Threads = threads;
        options.AllowEmptyPasswords = true;
        const auto text = BuildPasswordFile(list, TPasswordsType::ptMD5, options);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(*text, expected) << threads << " workers";
    }
}

TEST(PasswordFile, TwoMd5ExportsDifferOnlyInSaltsAndDigests) {
    TUserList list;
    AddUser(list, "one", "1");
    AddUser(list, "two", "22");
    const auto first = SplitLines(*BuildPasswordFile(list, TPasswordsType::ptMD5));
    const auto second = SplitLines(*BuildPasswordFile(list, TPasswordsType::ptMD5));
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(second.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const size_t colon = first[i].find(':');
        EXPECT_EQ(first[i].substr(0, colon + 7), second[i].substr(0, colon + 7)); // login:$apr1$
        EXPECT_NE(first[i].substr(colon + 7), second[i].substr(colon + 7));
    }
}

TEST(PasswordFileTarget, NeverTheDatabaseAndSpecialTargetsInPlace) {
    TTempDir dir;
    TUserList list;
    AddUser(list, "alice", "a1");
    const std::string db = dir.File("users.udx");
    list.SaveToFile(db);
    const std::string saved = ReadWholeFile(db);
    TPasswordFileOptions options;
    options.DatabasePath = db;
    // Which paths are the database is the file check's table; the writer asks it first.
    EXPECT_EQ(
        SignatureOf([&] { CreatePasswordFile(db, list, TPasswordsType::ptPlainText, options); }),
        Signature(Msg(texts::TargetIsDatabase, db)));
    EXPECT_EQ(ReadWholeFile(db), saved);
    // Another file is written, and what could not be kept would be reported (nothing here).
    std::vector<TMessage> warnings;
    options.Warnings = &warnings;
    EXPECT_TRUE(
        CreatePasswordFile(dir.File("htpasswd"), list, TPasswordsType::ptPlainText, options));
    EXPECT_EQ(ReadWholeFile(dir.File("htpasswd")), "alice:a1\r\n");
    EXPECT_TRUE(warnings.empty());
}

struct UnsafeCase {
    const char* what;
    std::string login;
    std::string password;
    bool plainOnly; // unsafe only when the password is written in clear
    const TMessageText* reason;
};

TEST(PasswordFile, UnsafeLinesStopTheExportBeforeAnythingIsWritten) {
    using namespace std::string_literals;
    const std::vector<UnsafeCase> cases = {
        {"colon", "admin:$apr1$x$y", "p", false, &texts::UnsafeLoginColon},
        {"empty login", "", "p", false, &texts::UnsafeLoginEmpty},
        {"tab", "a\tb", "p", false, &texts::UnsafeLoginControl},
        {"NUL in login", "ad\0min"s, "p", false, &texts::UnsafeLoginControl},
        {"CR", "a\rb", "p", false, &texts::UnsafeLoginControl},
        {"NUL in password", "bob", "pw\0x"s, true, &texts::UnsafePlainTextBreak},
        {"LF in password", "bob", "pw\nadmin:x", true, &texts::UnsafePlainTextBreak},
    };
    TTempDir dir;
    const std::string target = dir.File("htpasswd");
    for (const UnsafeCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (TPasswordsType form : {TPasswordsType::ptPlainText, TPasswordsType::ptMD5}) {
            WriteWholeFile(target, "old:line\r\n");
            TUserList list;
            AddUser(list, "ok", "1");
            AddUser(list, c.login, c.password);
            TRecordingProgress progress;
            TPasswordFileOptions options;
            options.Progress = &progress;
            options.AllowEmptyPasswords = true; // no consent overrides these
            if (c.plainOnly && form == TPasswordsType::ptMD5) {
                EXPECT_TRUE(CreatePasswordFile(target, list, form, options));
                continue;
            }
            try {
                CreatePasswordFile(target, list, form, options);
                ADD_FAILURE() << "an unsafe line was written";
            } catch (const EUnsafeUsers& e) {
                // The one unsafe user, by its place in the list and its reason.
                const TMessage& message = e.Message();
                ASSERT_TRUE(message.Is(texts::UnsafeUsers)) << Signature(message);
                ASSERT_EQ(message.Parts.at(0).Items.size(), 1u) << Signature(message);
                const TMessage& user = message.Parts[0].Items[0];
                EXPECT_EQ(user.Parts.at(0).Value, 2u) << Signature(message);
                EXPECT_TRUE(user.Parts.at(2).Items.at(0).Is(*c.reason)) << Signature(message);
            }
            EXPECT_TRUE(progress.Texts.empty());
            EXPECT_EQ(ReadWholeFile(target), "old:line\r\n");
            // Disabled, the user does no harm and the rest goes out.
            list.Users(1).Disable = true;
            EXPECT_TRUE(CreatePasswordFile(target, list, form, options));
        }
    }
}

TEST(PasswordFile, UnsafeUsersAreAllNamed) {
    TUserList list;
    AddUser(list, "fine", "1");
    AddUser(list, "a:b", "1");
    AddUser(list, "c\nd", "1");
    AddUser(list, "off:line", "1", true);
    const TMessage message =
        UnsafeUsersMessage(list, PasswordFileEntries(list), TPasswordsType::ptMD5);
    EXPECT_EQ(Signature(message), "UnsafeUsers([UnsafeUser(2, a:b, UnsafeLoginColon()), "
                                  "UnsafeUser(3, c\\nd, UnsafeLoginControl())])");
    for (int i = 0; i < 30; ++i)
        AddUser(list, "x:" + std::to_string(i), "1");
    const TMessage many =
        UnsafeUsersMessage(list, PasswordFileEntries(list), TPasswordsType::ptMD5);
    ASSERT_EQ(many.Parts.size(), 1u);
    EXPECT_EQ(many.Parts[0].Items.size(), 20u);
    EXPECT_EQ(many.Parts[0].Value, 12u) << Signature(many);
}

TEST(PasswordFile, EmptyPasswordsGoOutOnlyWithConsent) {
    TTempDir dir;
    const std::string target = dir.File("htpasswd");
    TUserList list;
    AddUser(list, "zed", "");
    AddUser(list, "alice", "a");
    AddUser(list, "carl", "");
    AddUser(list, "off", "", true); // disabled: not asked about
    for (TPasswordsType form : {TPasswordsType::ptPlainText, TPasswordsType::ptMD5}) {
        WriteWholeFile(target, "old:line\r\n");
        TRecordingProgress progress;
        TPasswordFileOptions options;
        options.Progress = &progress;
        try {
            CreatePasswordFile(target, list, form, options);
            ADD_FAILURE() << "empty passwords went out without consent";
        } catch (const EEmptyPasswords& e) {
            EXPECT_EQ(e.Logins(), (std::vector<std::string>{"carl", "zed"}));
            EXPECT_EQ(Signature(e.Message()), "EmptyPasswords([Verbatim(carl), Verbatim(zed)])");
        }
        EXPECT_TRUE(progress.Texts.empty());
        EXPECT_EQ(ReadWholeFile(target), "old:line\r\n");
        options.AllowEmptyPasswords = true;
        ASSERT_TRUE(CreatePasswordFile(target, list, form, options));
        EXPECT_EQ(SplitLines(ReadWholeFile(target)).size(), 3u);
    }
}

TEST(PasswordFile, ReportListsLoginsServersTakeForComments) {
    TUserList list;
    AddUser(list, "#team", "1");
    AddUser(list, "alice", "2");
    AddUser(list, "#off", "3", true);
    AddUser(list, "a#b", "4");
    TPasswordFileReport report;
    report.CommentLogins = {"stale"};
    TPasswordFileOptions options;
    options.Report = &report;
    ASSERT_TRUE(BuildPasswordFile(list, TPasswordsType::ptPlainText, options));
    EXPECT_EQ(report.CommentLogins, std::vector<std::string>{"#team"});
}

// A login that smuggles a second hash in after a colon: the server would read the login up to
// the colon and check the attacker's hash for the real account.
TEST(PasswordFile, NginxRefusesAForgedPasswordBecauseTheForgeryNeverGoesOut) {
    nginxtest::TNginxServer server;
    if (!server.Available()) GTEST_SKIP() << server.SkipReason();
    TLcgRandom random(7);
    const std::string forgedHash = Apr1Crypt("pwned", random);
    TUserList list;
    AddUser(list, "admin", "S3cret-admin", true); // the real admin is disabled
    AddUser(list, "alice", "wonderland");
    AddUser(list, "admin:" + forgedHash, "irrelevant");

    // The check can fail: the forged line, were it written, lets the attacker in.
    server.SetPasswordFile("admin:" + forgedHash + ":" + Apr1Crypt("irrelevant", random) + "\r\n");
    ASSERT_EQ(server.Status("admin", "pwned"), 200) << server.ErrorLog();

    const std::string target = server.PasswordFilePath().string();
    server.SetPasswordFile("");
    ASSERT_TRUE(CreatePasswordFile(target, TUserList(),
                                   TPasswordsType::ptMD5)); // an empty file to start with
    const std::string before = ReadWholeFile(target);
    EXPECT_THROW(CreatePasswordFile(target, list, TPasswordsType::ptMD5), EUnsafeUsers);
    EXPECT_EQ(ReadWholeFile(target), before);
    EXPECT_EQ(server.Status("admin", "pwned"), 401);
    EXPECT_EQ(server.Status("admin", "S3cret-admin"), 401);

    // Mended (the forged user disabled), the file goes out and only the right people get in.
    list.Users(2).Disable = true;
    ASSERT_TRUE(CreatePasswordFile(target, list, TPasswordsType::ptMD5));
    EXPECT_EQ(server.Status("alice", "wonderland"), 200);
    EXPECT_EQ(server.Status("admin", "pwned"), 401);
    EXPECT_EQ(server.Status("admin", "S3cret-admin"), 401);
}

} // namespace
