// The users database file: the object stream, the text form, the reader and the atomic save.

#include "Fields.h"
#include "ListText.h"
#include "TestUtil.h"
#include "base/DateUtil.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "userdb/DataLib.h"
#include "userdb/DataLibInternal.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace quorvane;

namespace fs = std::filesystem;

namespace {

std::string DataFile(const std::string& name) {
    return std::string(QUORVANE_TEST_DATA_DIR) + "/" + name;
}

std::string Text(const TUserList& list) {
    return ObjectStreamToText(WriteObjectStream(list));
}

// The message of the error the function raises ("" when none).
// The text of a list whose only content is one user with the given comment.
std::string CommentText(const std::string& comment) {
    TUserList list;
    list.AddBlank().Comments = comment;
    return Text(list);
}

std::vector<std::string> Lines(const std::string& text);

// The lines of a one-user list from its Comments line on.
std::vector<std::string> CommentLines(const std::string& comment) {
    const std::vector<std::string> all = Lines(CommentText(comment));
    return std::vector<std::string>(all.begin() + 5, all.end());
}

// The lines of the text (without their CR LF).
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// ---------------------------------------------------------------------------------------------
// The example files

TEST(DataFile, ExampleFilesLoadAndSaveByteForByte) {
    TTempDir dir;
    struct Case {
        const char* name;
        uint32_t fingerprint;
        size_t streamSize;
    };
    for (const Case& c :
         {Case{"new-list.udx", 0xA160D7C5u, 85}, Case{"two-users.udx", 0x7BDD4DFCu, 424}}) {
        SCOPED_TRACE(c.name);
        const std::string original = ReadWholeFile(DataFile(c.name));
        ASSERT_FALSE(original.empty());
        TUserList list;
        list.LoadFromFile(DataFile(c.name));
        EXPECT_EQ(list.Fingerprint(), c.fingerprint);
        EXPECT_EQ(WriteObjectStream(list).size(), c.streamSize);
        const std::string saved = dir.File(c.name);
        list.SaveToFile(saved);
        EXPECT_EQ(ReadWholeFile(saved), original);
    }
}

TEST(DataFile, RepositoryCopiesMatchTheSharedExamples) {
    for (const char* name : {"new-list.udx", "two-users.udx"}) {
        const std::string shared = std::string(QUORVANE_EXAMPLES_DIR) + "/" + name;
        if (!fs::exists(shared)) GTEST_SKIP() << "shared examples not present";
        EXPECT_EQ(ReadWholeFile(DataFile(name)), ReadWholeFile(shared)) << name;
    }
}

TEST(DataFile, TwoUsersExampleLoadsEveryField) {
    TUserList list;
    list.LoadFromFile(DataFile("two-users.udx"));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(UserFields(list.Users(0)), UserFields("guest01", "Spr1ng!", false, true, 46393.4375,
                                                    46363.4375, "Guest One", "", "Don't remove"));
    EXPECT_EQ(UserFields(list.Users(1)),
              UserFields("guest02", "", true, false, 46393.5870023148, 46363.5870023148, "", "",
                         "Temporary account for the spring workshop.\r\nRemove it after "
                         "the last workshop day."));
    EXPECT_EQ(list.PassType, TPasswordsType::ptMD5);
    EXPECT_EQ(First(list)->PassFile, "C:\\site\\htpasswd");
    EXPECT_TRUE(First(list)->ExportToFile);
    EXPECT_FALSE(First(list)->FtpStorePass);
    EXPECT_TRUE(First(list)->FtpPassiveMode);
    EXPECT_EQ(list.Name(), "");
}

TEST(DataFile, NewListIsSevenLines) {
    TUserList list;
    EXPECT_EQ(Text(list), "object TUserList\r\n"
                          "  Items = <>\r\n"
                          "  PassType = ptMD5\r\n"
                          "  ExportToFile = True\r\n"
                          "  FtpStorePass = True\r\n"
                          "  FtpPassiveMode = True\r\n"
                          "end\r\n");
}

// ---------------------------------------------------------------------------------------------
// The object stream

TEST(ObjectStream, EntriesTagsAndOmissions) {
    TUserList list;
    list.PassType = TPasswordsType::ptPlainText;
    First(list)->FtpHost = "h";
    TUserProp& u = list.AddBlank();
    u.Login = "ab";
    u.Expire = true;
    u.ExpireDate = 1.0;
    const std::string s = WriteObjectStream(list);
    const std::string expected =
        std::string("TPF0\x09TUserList\x00", 15) + std::string("\x05Items\x0E\x01", 8) +
        std::string("\x05Login\x06\x02"
                    "ab",
                    10) +
        std::string("\x07"
                    "Disable\x08",
                    9) +
        std::string("\x06"
                    "Expire\x09",
                    8) +
        std::string("\x0A"
                    "ExpireDate\x05",
                    12) +
        std::string("\x00\x00\x00\x00\x00\x00\x00\x80\xFF\x3F", 10) + std::string("\x00\x00", 2) +
        std::string("\x08PassType\x07\x0BptPlainText", 22) +
        std::string("\x0C"
                    "ExportToFile\x09",
                    14) +
        std::string("\x07"
                    "FtpHost\x06\x01h",
                    11) +
        std::string("\x0C"
                    "FtpStorePass\x09",
                    14) +
        std::string("\x0E"
                    "FtpPassiveMode\x09",
                    16) +
        std::string("\x00\x00", 2);
    EXPECT_EQ(s, expected);
}

TEST(ObjectStream, LongStringsUseTheFourByteLength) {
    TUserList list;
    list.AddBlank().Comments = std::string(300, 'x');
    list.Users(0).FullName = std::string(255, 'y');
    const std::string s = WriteObjectStream(list);
    EXPECT_NE(s.find(std::string("\x08"
                                 "FullName\x06\xFF",
                                 11) +
                     std::string(255, 'y')),
              std::string::npos);
    EXPECT_NE(s.find(std::string("\x08"
                                 "Comments\x0C\x2C\x01\x00\x00",
                                 14) +
                     std::string(300, 'x')),
              std::string::npos);
}

TEST(ObjectStream, HeaderNameComesFromTheList) {
    TUserList list;
    list.SetName("Main");
    EXPECT_EQ(WriteObjectStream(list).substr(0, 19), std::string("TPF0\x09TUserList\x04Main", 19));
    EXPECT_EQ(Lines(Text(list))[0], "object Main: TUserList");
}

TEST(ObjectStream, ExtendedNumbersConvertExactly) {
    using namespace stream;
    char ext[10];
    DoubleToExtended(-2.0, ext);
    EXPECT_EQ(std::string(ext, 10), std::string("\x00\x00\x00\x00\x00\x00\x00\x80\x00\xC0", 10));
    for (double v : {1.0, -2.5, 46393.4375, 46363.58700231481, 1e-310, 4.9e-324,
                     1.7976931348623157e308, -0.0001, 1e300}) {
        DoubleToExtended(v, ext);
        EXPECT_EQ(ExtendedToDouble(reinterpret_cast<const unsigned char*>(ext)), v) << v;
    }
}

TEST(ObjectStream, FingerprintCompletesTheLastPieceWithThePreviousBytes) {
    // Pieces "TPF0", 01 02 03 04, and 05 06 completed with 03 04 from the piece before.
    const std::string s = std::string("TPF0\x01\x02\x03\x04\x05\x06", 10);
    EXPECT_EQ(StreamFingerprint(s), 0x30465054u + 0x04030201u + 0x04030605u);
    EXPECT_EQ(StreamFingerprint("TPF0"), 0x30465054u);
    // Three leftover bytes keep only the last byte of the previous piece.
    EXPECT_EQ(StreamFingerprint(std::string("TPF0\x01\x02\x03", 7)), 0x30465054u + 0x30030201u);
}

TEST(ObjectStream, StampIsAStrong64BitHash) {
    EXPECT_EQ(StreamStamp(""), 0xEF46DB3751D8E999ull); // the construction's published value
    // Every single-byte change in a long stream gives a different stamp.
    std::string base(100, 'a');
    std::set<uint64_t> stamps{StreamStamp(base)};
    for (size_t i = 0; i < base.size(); ++i) {
        std::string changed = base;
        changed[i] = 'b';
        stamps.insert(StreamStamp(changed));
    }
    EXPECT_EQ(stamps.size(), base.size() + 1);
    EXPECT_NE(StreamStamp("ab"), StreamStamp("ba"));
}

// A list that uses every kind of entry the writer produces.
void FillEveryKind(TUserList& list) {
    list.SetName("Main");
    list.PassType = TPasswordsType::ptSHA512;
    list.ShaRounds = 70000;
    list.HashCacheKey = std::string(64, 'c');
    First(list)->FtpHost = "ftp.example.org:2121";
    First(list)->FtpProtocol = "sftp";
    First(list)->FtpHostKeys = "SHA256:abc SHA256:def";
    First(list)->ExportToFile = false;
    TUserProp& a = list.AddBlank();
    a.Login = "ann";
    a.Password = "it's\t\x01";
    a.Expire = true;
    a.ExpireDate = 46393.4375;
    a.CreatedDate = -1e-5;
    a.Comments = std::string(70, 'x') + "\r\n\xC3\xA4" + std::string(300, 'y');
    TUserProp& b = list.AddBlank();
    b.Login = "bob";
    b.Disable = true;
    b.SetPasswordHash("$2y$05$abcdefghijklmnopqrstuu");
    b.FullName = std::string(255, 'f');
}

// The fingerprint of a list whose users go through TStreamedFingerprint one by one.
uint32_t StreamedFingerprint(TUserList& list) {
    TStreamedFingerprint sums;
    sums.Begin(list.Name());
    for (int i = 0; i < list.Count(); ++i)
        sums.User(list.Users(i));
    return sums.Finish(list);
}

// Lengths of the stream around the sums' 64 KiB pieces, every remainder of 4 and of 32 among them.
TEST(ObjectStream, SumsAndTextOfTheListAreThoseOfItsStream) {
    TUserList probe;
    probe.AddBlank().Comments = std::string(1000, 'z');
    const size_t base = WriteObjectStream(probe).size() - 1000;
    std::vector<size_t> lengths;
    for (size_t k : {size_t{65536}, size_t{131072}})
        for (size_t r = 0; r < 36; ++r)
            lengths.push_back(k - 3 + r);
    for (const size_t length : lengths) {
        SCOPED_TRACE(length);
        TUserList list;
        list.AddBlank().Comments = std::string(length - base, 'z');
        const std::string stream = WriteObjectStream(list);
        ASSERT_EQ(stream.size(), length);
        const TListSums sums = ListSums(list);
        EXPECT_EQ(sums.Fingerprint, StreamFingerprint(stream));
        EXPECT_EQ(sums.Stamp, StreamStamp(stream));
        EXPECT_EQ(StreamedFingerprint(list), StreamFingerprint(stream));
    }
    TUserList every;
    FillEveryKind(every);
    for (int i = 0; i < 3000; ++i) // the text in more than one piece
        every.Add("user" + std::to_string(i), "pw").Comments = "x'y";
    const std::string stream = WriteObjectStream(every);
    EXPECT_EQ(ListText(every), ObjectStreamToText(stream));
    EXPECT_EQ(every.Fingerprint(), StreamFingerprint(stream));
    EXPECT_EQ(every.ChangeStamp(), StreamStamp(stream));
    EXPECT_EQ(StreamedFingerprint(every), StreamFingerprint(stream));
}

TEST(ObjectStream, MalformedStreamsAreRefusedByTheRenderer) {
    const std::string good = WriteObjectStream(TUserList());
    EXPECT_EQ(SignatureOf([&] { ObjectStreamToText("XPF0"); }), "StreamReadError()");
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_EQ(SignatureOf([&] { ObjectStreamToText(good.substr(0, cut)); }),
                  "StreamReadError()")
            << cut;
    std::string badTag = good;
    badTag[21] = 3; // the collection tag of Items
    EXPECT_EQ(SignatureOf([&] { ObjectStreamToText(badTag); }), "StreamReadError()");
}

// ---------------------------------------------------------------------------------------------
// The text form

TEST(TextForm, NumbersTakeFifteenDigitsAndTheirTwoForms) {
    using stream::FormatNumber;
    EXPECT_EQ(FormatNumber(46393), "46393");
    EXPECT_EQ(FormatNumber(46393.4375), "46393.4375");
    EXPECT_EQ(FormatNumber(46363.58700231481), "46363.5870023148");
    EXPECT_EQ(FormatNumber(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(FormatNumber(-2.5), "-2.5");
    EXPECT_EQ(FormatNumber(0.0001), "0.0001");
    EXPECT_EQ(FormatNumber(0.00012), "0.00012");
    EXPECT_EQ(FormatNumber(0.00001), "1E-5");
    EXPECT_EQ(FormatNumber(-0.000015), "-1.5E-5");
    EXPECT_EQ(FormatNumber(1.5e20), "1.5E20");
    EXPECT_EQ(FormatNumber(999999999999999), "999999999999999");
    EXPECT_EQ(FormatNumber(1e15), "1E15");
    EXPECT_EQ(FormatNumber(9999999999999999.0), "1E16"); // rounding carries into the exponent
    EXPECT_EQ(FormatNumber(123456789012345678.0), "1.23456789012346E17");
    EXPECT_EQ(FormatNumber(100), "100");
    EXPECT_EQ(FormatNumber(0), "0");
    EXPECT_EQ(FormatNumber(1e-300), "1E-300");
}

TEST(TextForm, QuotingAndCodes) {
    EXPECT_EQ(CommentLines("'")[0], "      Comments = #39");
    EXPECT_EQ(CommentLines("a'b")[0], "      Comments = 'a'#39'b'");
    EXPECT_EQ(CommentLines("\t")[0], "      Comments = #9");
    EXPECT_EQ(CommentLines("x\r\ny")[0], "      Comments = 'x'#13#10'y'");
    EXPECT_EQ(CommentLines(std::string("a\0b", 3))[0], "      Comments = 'a'#0'b'");
    EXPECT_EQ(CommentLines("C:\\dir\\")[0], "      Comments = 'C:\\dir\\'");
    EXPECT_EQ(CommentLines("\x80\xE9\xFF")[0], "      Comments = '\x80\xE9\xFF'");
}

TEST(TextForm, StringsOf64And65And300Characters) {
    const std::string s64(64, 'a');
    auto lines = CommentLines(s64);
    EXPECT_EQ(lines[0], "      Comments = '" + s64 + "'");
    EXPECT_EQ(lines[1], "    end>");

    const std::string s65 = std::string(64, 'a') + "b";
    lines = CommentLines(s65);
    EXPECT_EQ(lines[0], "      Comments = ");
    EXPECT_EQ(lines[1], "        '" + std::string(64, 'a') + "' +");
    EXPECT_EQ(lines[2], "        'b'");
    EXPECT_EQ(lines[3], "    end>");

    std::string s300;
    for (int i = 0; i < 300; ++i)
        s300.push_back(static_cast<char>('a' + i % 26));
    lines = CommentLines(s300);
    EXPECT_EQ(lines[0], "      Comments = ");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(lines[static_cast<size_t>(1 + i)],
                  "        '" + s300.substr(static_cast<size_t>(64 * i), 64) + "' +");
    EXPECT_EQ(lines[5], "        '" + s300.substr(256) + "'");
}

// Where a long value's first line ends: a code counts as one character of the line, a value
// whose 64th character ends it takes no " +", and a character of several bytes is never split
// across lines (bytes that make no character split where the count says).
TEST(TextForm, WhereALongValuesFirstLineEnds) {
    const std::string a62(62, 'a'), a63(63, 'a'), x63(63, 'x'), x64(64, 'x');
    const std::string e = "\xC3\xA9", g = "\xF0\x9F\x98\x80", euro = "\xE2\x82\xAC";
    std::string codes;
    for (int i = 0; i < 62; ++i)
        codes += "#9";
    const struct {
        std::string Value;
        std::string Second, Third; // its second and third lines, without their indentation
    } cases[] = {
        // #13 makes 64 characters, so #10 starts the next line.
        {x63 + "\r\ntail", "'" + x63 + "'#13 +", "#10'tail'"},
        {x64 + "\t", "'" + x64 + "' +", "#9"},
        // The 64th byte would be the first of a character: it moves whole.
        {a63 + e + "z", "'" + a63 + "' +", "'" + e + "z'"},
        // A character ending exactly at the 64th byte stays.
        {a62 + e + "z", "'" + a62 + e + "' +", "'z'"},
        // A four-byte character cut after its second byte moves whole.
        {a62 + g + "z", "'" + a62 + "' +", "'" + g + "z'"},
        {a63 + "\xC3\x41\xA9z", "'" + a63 + "\xC3' +", "'\x41\xA9z'"},
        // After 62 codes a three-byte character does not fit: the line ends before it.
        {std::string(62, '\t') + euro + "x", codes + " +", "'" + euro + "x'"},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> lines = CommentLines(c.Value);
        ASSERT_GE(lines.size(), 3u) << c.Value;
        EXPECT_EQ(lines[1], "        " + c.Second) << c.Value;
        EXPECT_EQ(lines[2], "        " + c.Third) << c.Value;
    }
}

TEST(TextForm, ListPropertiesUseLevelOneIndentation) {
    TUserList list;
    First(list)->PassFile = std::string(70, 'p');
    const auto lines = Lines(Text(list));
    EXPECT_EQ(lines[3], "  PassFile = ");
    EXPECT_EQ(lines[4], "    '" + std::string(64, 'p') + "' +");
    EXPECT_EQ(lines[5], "    'pppppp'");
}

// ---------------------------------------------------------------------------------------------
// Save and load

TEST(SaveLoad, EveryStringAndFlagComesBackAndDatesTo15Digits) {
    TTempDir dir;
    TUserList list;
    std::string allBytes;
    for (int c = 0; c < 256; ++c)
        allBytes.push_back(static_cast<char>(c));
    list.SetName("Main");
    list.PassType = TPasswordsType::ptPlainText;
    First(list)->PassFile = allBytes;
    First(list)->ExportToFile = false;
    First(list)->FtpHost = "ftp.example.org";
    First(list)->FtpUser = "admin";
    First(list)->FtpPass = "se'cr\"et";
    First(list)->FtpPasswdFile = "/www/.htpasswd";
    First(list)->FtpStorePass = false;
    First(list)->FtpPassiveMode = false;
    for (int i = 0; i < 5; ++i) {
        TUserProp& u = list.AddBlank();
        u.Login = "user" + std::to_string(i);
        u.Password = allBytes.substr(static_cast<size_t>(i * 50));
        u.Disable = i % 2 == 0;
        u.Expire = i % 3 == 0;
        u.ExpireDate = 46363.58700231481 + i;
        u.CreatedDate = i == 1 ? 0 : -700.25 * i;
        u.FullName = std::string(static_cast<size_t>(i * 70), '\xC3');
        u.Email = i == 2 ? "" : "u@example.org";
        u.Comments = std::string(1000 * static_cast<size_t>(i), '\'') + "\r\n";
    }
    const std::string path = dir.File("all.udx");
    list.SaveToFile(path);
    TUserList back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.Name(), "Main");
    EXPECT_EQ(back.PassType, TPasswordsType::ptPlainText);
    EXPECT_EQ(First(back)->PassFile, allBytes);
    EXPECT_FALSE(First(back)->ExportToFile);
    EXPECT_EQ(First(back)->FtpHost, First(list)->FtpHost);
    EXPECT_EQ(First(back)->FtpUser, First(list)->FtpUser);
    EXPECT_EQ(First(back)->FtpPass, First(list)->FtpPass);
    EXPECT_EQ(First(back)->FtpPasswdFile, First(list)->FtpPasswdFile);
    EXPECT_FALSE(First(back)->FtpStorePass);
    EXPECT_FALSE(First(back)->FtpPassiveMode);
    ASSERT_EQ(back.Count(), list.Count());
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& a = list.Users(i);
        const TUserProp& b = back.Users(i);
        EXPECT_EQ(b.Login, a.Login);
        EXPECT_EQ(b.Password, a.Password);
        EXPECT_EQ(b.Disable, a.Disable);
        EXPECT_EQ(b.Expire, a.Expire);
        EXPECT_EQ(b.ExpireDate, std::stod(stream::FormatNumber(a.ExpireDate)));
        EXPECT_NEAR(b.ExpireDate, a.ExpireDate, 1e-9);
        EXPECT_EQ(b.CreatedDate, a.CreatedDate);
        EXPECT_EQ(b.FullName, a.FullName);
        EXPECT_EQ(b.Email, a.Email);
        EXPECT_EQ(b.Comments, a.Comments);
    }
    // A second round gives the same bytes.
    const std::string again = dir.File("again.udx");
    back.SaveToFile(again);
    EXPECT_EQ(ReadWholeFile(again), ReadWholeFile(path));
}

TEST(SaveLoad, LoadErrorsNameTheFile) {
    TTempDir dir;
    TUserList list;
    list.Add("keep", "me");
    const std::string missing = dir.File("missing.udx");
    EXPECT_EQ(SignatureOf([&] { list.LoadFromFile(missing); }), "CannotOpenFile(" + missing + ")");
    EXPECT_EQ(SignatureOf([&] { list.LoadFromFile(dir.Path().string()); }),
              "CannotOpenFile(" + dir.Path().string() + ")");
    WriteWholeFile(dir.File("bad.udx"), "objekt TUserList end");
    EXPECT_EQ(SignatureOf([&] { list.LoadFromFile(dir.File("bad.udx")); }), "FileNotValid()");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Users(0).Login, "keep");
}

// The sweep's change, counting what it disabled; a new collection of users starts it again.
struct TSweepCount : TUserStream {
    TDateTime Now = quorvane::Now();
    int Disabled = 0, Users = 0;
    bool InParts = false; // runs of users may be swept where they were read
    void Begin(std::string_view) override { Disabled = Users = 0; }
    void User(TUserProp& user) override {
        ++Users;
        if (DisableIfExpired(user, Now)) ++Disabled;
    }
    std::unique_ptr<TUserStream> Part(size_t) const override {
        if (!InParts) return nullptr;
        auto part = std::make_unique<TSweepCount>();
        part->Now = Now;
        return part;
    }
    void Join(TUserStream& part) override {
        Users += static_cast<TSweepCount&>(part).Users;
        Disabled += static_cast<TSweepCount&>(part).Disabled;
    }
};

// Small texts read as large ones are, in pieces on other threads.
struct TReadPieces {
    size_t Bytes;
    unsigned Workers;
    bool SweepInParts;
};

// Reading a file a user at a time gives what reading it whole does: a rewrite the file, the
// message and the users of a load, the change on each and a save; a streamed load the sums and
// the message of a load. Texts one pass cannot do go the other way, with the same outcome. So
// it is when the text is read in pieces, and when runs of users are changed, rendered and
// summed where they were read.
TEST(SaveLoad, OneUserAtATimeIsLoadChangeAndSave) {
    const std::string expired = " Expire = True ExpireDate = 1000.5 ";
    TUserList some; // in the writer's lines, every other user expired
    for (int i = 0; i < 12; ++i) {
        TUserProp& user = some.Add("user" + std::to_string(i), "pw");
        user.Expire = true;
        user.ExpireDate = i % 2 == 0 ? 1000.5 : 1e6;
        user.Comments = i % 5 == 0 ? "a\r\nb" : "";
    }
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"the writer's text", ListText(some)},
        {"users, then settings",
         Wrap("Items = <item Login = 'a'" + expired + "end item Login = 'b' end>\r\n" +
              "PassType = ptPlainText\r\nPassFile = 'out'")},
        {"settings, then users under a named header",
         "object Db: TUserList\r\nPassFile = 'out'\r\nItems = <item Login = 'a'" + expired +
             "FullName = 'x' + #39'y' end>\r\nend\r\n"},
        {"no users", Wrap("Items = <>\r\nPassFile = 'out'")},
        {"no collection", Wrap("PassFile = 'out'")},
        {"a second collection replaces the first",
         Wrap("Items = <item Login = 'a'" + expired + "end>\r\nItems = <item Login = 'b'" +
              expired + "end item Login = 'c' end item Login = 'd'" + expired + "end>")},
        {"an entry that does not suit", Wrap("Items = <item Login = 'a' end item Nope = 1 end>")},
        {"an unknown password form", Wrap("Items = <item Login = 'a' end>\r\nPassType = ptLater")},
        {"not well formed", Wrap("Items = <item Login = 'a' end")},
        {"no database", "hello"},
    };
    TTempDir dir;
    const TReadPieces settings[] = {{0, 0, true}, {1, 0, true}, {24, 2, true}, {24, 2, false}};
    for (size_t run = 0; run < std::size(settings) * cases.size(); ++run) {
        const TReadPieces& pieces = settings[run / cases.size()];
        const auto& [caseWhat, text] = cases[run % cases.size()];
        test_hooks::SetReadPieces(pieces.Bytes, pieces.Workers);
        const std::string what = std::string(caseWhat) + ", pieces of " +
                                 std::to_string(pieces.Bytes) +
                                 (pieces.SweepInParts ? ", in parts" : "");
        const std::string once = dir.File("once.udx"), twice = dir.File("twice.udx");
        WriteWholeFile(once, text);
        WriteWholeFile(twice, text);
        TUserList whole;
        TSweepCount swept;
        const std::string error = ErrorOf([&] { whole.LoadFromFile(twice); });
        const TListSums sums = ListSums(whole);
        if (error.empty()) {
            swept.Begin(whole.Name());
            for (int i = 0; i < whole.Count(); ++i)
                swept.User(whole.Users(i));
            whole.SaveToFile(twice);
        }

        TUserList streamed;
        TStreamedSums streamedSums;
        EXPECT_EQ(ErrorOf([&] { streamed.LoadFromFile(once, streamedSums); }), error) << what;
        if (error.empty()) {
            const TListSums got = streamedSums.Finish(streamed);
            EXPECT_EQ(got.Fingerprint, sums.Fingerprint) << what;
            EXPECT_EQ(got.Stamp, sums.Stamp) << what;
            EXPECT_EQ(streamed.Count(), 0) << what;
        }

        TUserList rewritten;
        TSweepCount sweep;
        sweep.InParts = pieces.SweepInParts;
        EXPECT_EQ(ErrorOf([&] { rewritten.RewriteFile(once, sweep); }), error) << what;
        EXPECT_EQ(ReadWholeFile(once), ReadWholeFile(twice)) << what;
        if (error.empty()) {
            EXPECT_EQ(sweep.Users, whole.Count()) << what;
            EXPECT_EQ(sweep.Disabled, swept.Disabled) << what;
        }
    }
    test_hooks::SetReadPieces(0, 0);
}

std::string ExportedStream(const TUserList& list, bool withNames) {
    std::string stream;
    WriteExportedStream(list, withNames,
                        [&stream](const char* data, size_t size) { stream.append(data, size); });
    return stream;
}

// A large text is read in pieces, each from a line that starts with "item", on other threads.
// However the pieces fall, and whatever stands on such a line, the outcome is that of one pass:
// the message, the list (the users before an entry that does not suit stay), or the sums.
TEST(SaveLoad, ReadInPiecesIsReadInOnePass) {
    TUserList many;
    for (int i = 0; i < 40; ++i) {
        TUserProp& user = many.Add("user" + std::to_string(i), "pw");
        user.Comments = i % 7 == 0 ? "a\r\nb" : "";
        user.FullName = i % 5 == 0 ? "Name " + std::to_string(i) : "";
        user.Email = i % 3 == 0 ? "user" + std::to_string(i) + "@example.org" : "";
    }
    const std::string users = ListText(many);
    // The text with an entry put in at the end of a user.
    const auto edit = [&](int user, const std::string& entry) {
        std::string text = users;
        return text.insert(text.find("end", text.find("'user" + std::to_string(user) + "'")),
                           entry);
    };
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"the writer's text", users},
        {"an entry that does not suit", edit(25, "Nope = 1\r\n")},
        {"an item line inside a user's value", edit(12, "Nope = <\r\n    item\r\n    end>\r\n")},
        {"an item line as a value", edit(30, "Disable =\r\n    item\r\n")},
        {"not well formed late", users.substr(0, users.rfind("end>"))},
        {"a line too long for the reader, late",
         edit(35, "Comments = '" + std::string(5000, 'x') + "'\r\n")},
        {"a line too long for the reader, before the users",
         "object TUserList\r\n  PassFile = '" + std::string(5000, 'x') + "'\r\n" +
             users.substr(users.find("  Items"))},
        {"a line too long for the reader, and no users",
         "object TUserList\r\n  PassFile = '" + std::string(5000, 'x') + "'\r\nend\r\n"},
        {"settings after the users, and a second collection",
         users.substr(0, users.rfind("end\r\n")) + "PassFile = 'out'\r\nItems = <item\r\n" +
             "Login = 'z' end>\r\nend\r\n"},
    };
    for (const auto& [what, row_text] : cases) {
        const std::string& text = row_text; // a variable the lambdas below can capture
        TUserList whole;
        TStreamedSums wholeSums;
        const std::string error = ErrorOf([&] { ReadListText(text, whole); });
        TUserList streamedWhole;
        ErrorOf([&] { ReadListTextInPieces(text, streamedWhole, 0, 0, {}, &wholeSums); });
        const TListSums expected = wholeSums.Finish(streamedWhole);
        for (const auto& pieces : {std::pair<size_t, unsigned>{1, 0}, {150, 1}, {400, 3}}) {
            const size_t bytes = pieces.first;
            const unsigned workers = pieces.second;
            const std::string how = std::string(what) + ", pieces of " + std::to_string(bytes);
            TUserList list;
            EXPECT_EQ(ErrorOf([&] { ReadListTextInPieces(text, list, bytes, workers); }), error)
                << how;
            EXPECT_EQ(ListText(list), ListText(whole)) << how;
            TUserList streamed;
            TStreamedSums sums;
            EXPECT_EQ(
                ErrorOf([&] { ReadListTextInPieces(text, streamed, bytes, workers, {}, &sums); }),
                error)
                << how;
            if (!error.empty()) continue;
            const TListSums got = sums.Finish(streamed);
            EXPECT_EQ(got.Fingerprint, expected.Fingerprint) << how;
            EXPECT_EQ(got.Stamp, expected.Stamp) << how;
            TUserList alone;
            TStreamedFingerprint fingerprint;
            ReadListTextInPieces(text, alone, bytes, workers, {}, &fingerprint);
            EXPECT_EQ(fingerprint.Finish(alone), expected.Fingerprint) << how;
            // Read lean, the users are those of the whole list but for the fields left out,
            // and what a file built from them depends on is the same.
            for (const bool names : {false, true}) {
                TUserList lean;
                TLeanUsers leanUsers(names);
                ReadListTextInPieces(text, lean, bytes, workers, {}, &leanUsers);
                leanUsers.Finish(lean);
                ASSERT_EQ(lean.Count(), whole.Count()) << how;
                for (int i = 0; i < whole.Count(); ++i) {
                    TUserProp want;
                    want.CopyFieldsFrom(whole.Users(i));
                    want.Comments.clear();
                    if (!names) want.FullName.clear(), want.Email.clear();
                    EXPECT_TRUE(lean.Users(i).SameAs(want)) << how << ", user " << i;
                }
                EXPECT_EQ(ExportedStream(lean, names), ExportedStream(whole, names)) << how;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Atomic save

class AtomicSave : public ::testing::Test {
protected:
    void TearDown() override {
        test_hooks::SetWriteFailureAfter(-1);
        test_hooks::SetFsyncFailure(false);
    }
    // Names in the folder other than the given ones (left-over temporary files).
    static std::vector<std::string> Others(const TTempDir& dir,
                                           std::initializer_list<std::string> known) {
        std::vector<std::string> others;
        for (const auto& entry : fs::directory_iterator(dir.Path())) {
            const std::string name = entry.path().filename().string();
            if (std::find(known.begin(), known.end(), name) == known.end()) others.push_back(name);
        }
        return others;
    }
    static unsigned Mode(const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        return st.st_mode & 07777;
    }
};

TEST_F(AtomicSave, NewFileIsPrivateAndAnExistingOneKeepsItsMode) {
    TTempDir dir;
    TUserList list;
    list.Add("a", "secret");
    const std::string path = dir.File("db.udx");
    list.SaveToFile(path);
    EXPECT_EQ(Mode(path), 0600u);
    // A group that may change the database shares it on purpose.
    ASSERT_EQ(::chmod(path.c_str(), 0660), 0);
    list.Add("b", "more");
    list.SaveToFile(path);
    EXPECT_EQ(Mode(path), 0660u);
    EXPECT_TRUE(list.SaveWarnings().empty());
    EXPECT_EQ(ReadWholeFile(path), Text(list));
    EXPECT_TRUE(Others(dir, {"db.udx"}).empty());
}

TEST_F(AtomicSave, WriteFailureLeavesTheTargetAsItWas) {
    TTempDir dir;
    const std::string path = dir.File("db.udx");
    TUserList list;
    list.Add("old", "user");
    list.SaveToFile(path);
    const std::string before = ReadWholeFile(path);

    for (int i = 0; i < 200; ++i)
        list.Add("user" + std::to_string(i), "password");
    // The hook fails the writes as a full disk does, and the message says so.
    const std::string diskFull = "Cannot write file " + path + ": the disk is full";
    for (long long after : {0LL, 1LL, 100LL, 5000LL}) {
        test_hooks::SetWriteFailureAfter(after);
        EXPECT_EQ(ErrorOf([&] { list.SaveToFile(path); }), diskFull) << after;
        EXPECT_EQ(ReadWholeFile(path), before);
        EXPECT_TRUE(Others(dir, {"db.udx"}).empty()) << "temporary file left behind";
    }
    test_hooks::SetWriteFailureAfter(-1);
    test_hooks::SetFsyncFailure(true);
    EXPECT_EQ(ErrorOf([&] { list.SaveToFile(path); }), "Stream write error");
    EXPECT_EQ(ReadWholeFile(path), before);
    EXPECT_TRUE(Others(dir, {"db.udx"}).empty());

    test_hooks::SetFsyncFailure(false);
    list.SaveToFile(path);
    EXPECT_EQ(ReadWholeFile(path), Text(list));

    // A large database goes to the file in several pieces; a failure in a later piece is
    // handled like one in the first, and a complete save writes every piece in order.
    test_hooks::SetWriteFailureAfter(-1);
    const std::string small = ReadWholeFile(path);
    for (int i = 0; i < 3000; ++i)
        list.Add("bulk" + std::to_string(i), "pw").Comments =
            std::string(100, 'c') + "\r\n" + std::to_string(i);
    const std::string bigText = Text(list);
    ASSERT_GT(bigText.size(), 700000u);
    test_hooks::SetWriteFailureAfter(600000);
    EXPECT_EQ(ErrorOf([&] { list.SaveToFile(path); }), diskFull);
    EXPECT_EQ(ReadWholeFile(path), small);
    EXPECT_TRUE(Others(dir, {"db.udx"}).empty());
    test_hooks::SetWriteFailureAfter(-1);
    list.SaveToFile(path);
    EXPECT_EQ(ReadWholeFile(path), bigText);

    // A failed first save creates nothing.
    test_hooks::SetWriteFailureAfter(10);
    EXPECT_EQ(ErrorOf([&] { list.SaveToFile(dir.File("new.udx")); }),
              "Cannot write file " + dir.File("new.udx") + ": the disk is full");
    EXPECT_FALSE(fs::exists(dir.File("new.udx")));
}

TEST_F(AtomicSave, TargetThatCannotBeCreatedSaysWhy) {
    TTempDir dir;
    TUserList list;
    const std::string folder = dir.File("folder");
    fs::create_directory(folder);
    WriteWholeFile(dir.File("folder/inside"), "x");
    WriteWholeFile(dir.File("plain"), "x");
    const struct {
        std::string Target, Error;
    } cases[] = {
        {folder, "Cannot create file " + folder + ": it is a folder"},
        {dir.File("plain/db.udx"), "Cannot create file " + dir.File("plain/db.udx") + ": " +
                                       dir.File("plain") + " is not a folder"},
        {dir.File("nowhere/db.udx"), "Cannot create file " + dir.File("nowhere/db.udx") +
                                         ": the folder " + dir.File("nowhere") + " does not exist"},
        {dir.File("no/such/db.udx"), "Cannot create file " + dir.File("no/such/db.udx") +
                                         ": the folder " + dir.File("no") + " does not exist"},
        {"", "Cannot create file "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorOf([&] { list.SaveToFile(c.Target); }), c.Error);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(ReadWholeFile(dir.File("folder/inside")), "x");
    EXPECT_EQ(ReadWholeFile(dir.File("plain")), "x");
    // Causes a test cannot bring about as the superuser, in the same words.
    EXPECT_EQ(Signature(CannotCreateMessage(dir.File("db.udx"), EACCES)),
              "CannotCreateFileNoPermission(" + dir.File("db.udx") + ", " + dir.Path().string() +
                  ")");
    EXPECT_EQ(Signature(CannotCreateMessage("/x/db.udx", EROFS)),
              "CannotCreateFileReadOnly(/x/db.udx)");
    EXPECT_EQ(Signature(CannotCreateMessage("/x/db.udx", EIO)), "CannotCreateFile(/x/db.udx)");
}

TEST_F(AtomicSave, SavingThroughALinkReplacesTheFileItPointsAt) {
    TTempDir dir;
    const std::string real = dir.File("real.udx");
    const std::string link = dir.File("link.udx");
    WriteWholeFile(real, "old");
    fs::create_symlink(real, link);
    TUserList list;
    list.SaveToFile(link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(real), Text(list));
}

TEST_F(AtomicSave, WriteFileAtomicallyTakesTheModeOfANewFile) {
    TTempDir dir;
    const mode_t old = ::umask(022);
    WriteFileAtomically(dir.File("public"), "data", 0644);
    ::umask(old);
    EXPECT_EQ(Mode(dir.File("public")), 0644u);
    EXPECT_EQ(ReadWholeFile(dir.File("public")), "data");
    WriteFileAtomically(dir.File("empty"), "");
    EXPECT_EQ(ReadWholeFile(dir.File("empty")), "");
    EXPECT_EQ(Mode(dir.File("empty")), 0600u);
}

} // namespace

// A database with one target keeps the bytes it had; the first target's name, state and site
// check and the further targets are written only when used, and come back as they were.
TEST(SaveLoad, TargetsAreWrittenOnlyWhenUsedAndComeBack) {
    TTargetSettings sftp;
    sftp.Name = "web2";
    sftp.ExportToFile = false;
    sftp.FtpHost = "web2.example.org:2222";
    sftp.FtpUser = "deploy";
    sftp.FtpPasswdFile = "/srv/www/.htpasswd";
    sftp.FtpStorePass = false;
    sftp.FtpProtocol = "sftp";
    sftp.FtpKeyFile = "/home/deploy/.ssh/id_ed25519";
    sftp.FtpHostKeys = "SHA256:" + std::string(43, 'k');
    sftp.CheckUrl = "https://web2.example.org/members/";
    sftp.CheckUser = "ann";
    TTargetSettings store;
    store.Name = "db";
    store.ExportToFile = false;
    store.StoreUrl = "sqlite:/var/lib/site/auth.db";
    store.StoreOwner = "quorvane-0123456789abcdef";
    TTargetSettings staging;
    staging.Name = "staging";
    staging.Enabled = false;
    staging.PassFile = "/srv/staging/.htpasswd";
    // Options without fields of their own, with every byte their encoding escapes.
    const std::map<std::string, std::string, std::less<>> options = {
        {"after", "systemctl reload haproxy && echo a=b%26\n\r"}, {"consumer", "haproxy"}};
    TTargetSettings withOptions = staging;
    withOptions.Name = "lb";
    withOptions.Options = SettingsOf([&] {
                              TTarget t;
                              t.Options = options;
                              return t;
                          }())
                              .Options;
    const struct {
        const char* What;
        std::string FirstName;
        bool FirstDisabled;
        std::string CheckUrl;
        bool FirstOptions;
        std::vector<TTargetSettings> Further;
        std::vector<std::string> Written; // the new property names the text holds
    } cases[] = {
        {"one target", "", false, "", false, {}, {}},
        {"the first renamed, disabled, checked",
         "web1",
         true,
         "https://web1.example.org/m/",
         false,
         {},
         {"TargetName", "TargetDisabled", "CheckUrl", "CheckUser"}},
        {"three further targets", "", false, "", false, {sftp, store, staging}, {"Targets"}},
        {"options of their own", "", false, "", true, {withOptions}, {"TargetOptions", "Targets"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TTempDir dir;
        TUserList list;
        list.AddBlank().Login = "ann";
        First(list)->ExportToFile = false;
        First(list)->FtpHost = "web1.example.org";
        First(list)->FtpUser = "deploy";
        First(list)->FtpPasswdFile = "www/.htpasswd";
        First(list)->Name = c.FirstName;
        First(list)->Enabled = !c.FirstDisabled;
        First(list)->CheckUrl = c.CheckUrl;
        First(list)->CheckUser = c.CheckUrl.empty() ? "" : "ann";
        if (c.FirstOptions) First(list)->Options = withOptions.Options;
        for (const TTargetSettings& further : c.Further)
            list.Targets.push_back(TargetOf(further));
        const std::string text = Text(list);
        for (const char* name : {"TargetName", "TargetDisabled", "CheckUrl", "CheckUser",
                                 "TargetOptions", "Targets"}) {
            const bool wanted =
                std::find(c.Written.begin(), c.Written.end(), name) != c.Written.end();
            EXPECT_EQ(text.find(std::string("\r\n  ") + name + " = ") != std::string::npos, wanted)
                << name << "\n"
                << text;
        }
        const std::string path = dir.File("targets.udx");
        list.SaveToFile(path);
        TUserList back;
        back.LoadFromFile(path);
        EXPECT_EQ(back.Targets, list.Targets);
        if (c.FirstOptions) {
            for (const TTarget& t : back.Targets) {
                for (const auto& [key, value] : options)
                    EXPECT_EQ(t.Option(key), value) << t.Name << " " << key;
            }
        }
        EXPECT_EQ(back.Targets[0].Name, c.FirstName.empty() ? "default" : c.FirstName);
        const std::string again = dir.File("again.udx");
        back.SaveToFile(again);
        EXPECT_EQ(ReadWholeFile(again), ReadWholeFile(path));
    }
}
