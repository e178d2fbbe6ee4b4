// The text import: splitting into lines and fields, and users appended from a file.

#include "QuoteFields.h"
#include "TestUtil.h"
#include "base/DateUtil.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "userdb/CSVImport.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>
#include <vector>

using namespace quorvane;

using Fields = std::vector<std::string>;
using namespace std::string_literals;

namespace {

std::string ImportError(const std::string& path, TUserList& list) {
    try {
        ImportUsers(path, list);
    } catch (const EQuorvaneError& e) {
        return Signature(e.Message());
    }
    return "no error";
}

} // namespace

TEST(ImportLines, EveryLineEndEndsExactlyOneLine) {
    const Fields expected{"alpha", "beta", "gamma"};
    EXPECT_EQ(SplitImportLines("alpha\r\nbeta\r\ngamma"), expected);
    EXPECT_EQ(SplitImportLines("alpha\rbeta\rgamma"), expected);
    EXPECT_EQ(SplitImportLines("alpha\nbeta\ngamma"), expected);
    EXPECT_EQ(SplitImportLines("alpha\rbeta\r\ngamma\n"), expected);
    // LF CR is two line ends, CR CR LF too.
    EXPECT_EQ(SplitImportLines("a\n\rb"), (Fields{"a", "", "b"}));
    EXPECT_EQ(SplitImportLines("a\r\r\nb"), (Fields{"a", "", "b"}));
}

TEST(ImportLines, FinalLineEndAddsNoLine) {
    EXPECT_EQ(SplitImportLines("one\r\n"), Fields{"one"});
    EXPECT_EQ(SplitImportLines("one\r"), Fields{"one"});
    EXPECT_EQ(SplitImportLines("one\n"), Fields{"one"});
    EXPECT_EQ(SplitImportLines("one\n\n"), (Fields{"one", ""}));
    EXPECT_TRUE(SplitImportLines("").empty());
    // A lone line end is one empty line.
    EXPECT_EQ(SplitImportLines("\r\n"), Fields{""});
    EXPECT_EQ(SplitImportLines("a\n\nb"), (Fields{"a", "", "b"}));
}

TEST(ImportLines, NulEndsTheText) {
    EXPECT_EQ(SplitImportLines("one\ntwo\0three\nfour"s), (Fields{"one", "two"}));
    EXPECT_EQ(SplitImportLines("one\n\0two"s), Fields{"one"});
    EXPECT_TRUE(SplitImportLines("\0one\ntwo"s).empty());
}

TEST(ImportFields, BlanksAndCommasSeparate) {
    const Fields two{"jsmith", "secret"};
    EXPECT_EQ(SplitImportFields("jsmith secret"), two);
    EXPECT_EQ(SplitImportFields("jsmith,secret"), two);
    EXPECT_EQ(SplitImportFields("jsmith\tsecret"), two);
    EXPECT_EQ(SplitImportFields("jsmith \t  secret"), two);
    EXPECT_EQ(SplitImportFields("jsmith , secret"), two);
    EXPECT_EQ(SplitImportFields("  jsmith secret \t "), two);
    // Every code from 1 to 32 is a blank.
    for (int code = 1; code <= 32; ++code) {
        const std::string line = "a"s + static_cast<char>(code) + "b";
        EXPECT_EQ(SplitImportFields(line), (Fields{"a", "b"})) << "code " << code;
    }
    // Bytes above 127 are ordinary characters.
    EXPECT_EQ(SplitImportFields("J\xC3\xBCrgen \xA0\xFF"), (Fields{"J\xC3\xBCrgen", "\xA0\xFF"}));
    EXPECT_EQ(SplitImportFields("a\x7F"
                                "b"),
              Fields{"a\x7F"
                     "b"});
}

TEST(ImportFields, EmptyFieldsBetweenCommas) {
    EXPECT_EQ(SplitImportFields("ann,,box,Ann"), (Fields{"ann", "", "box", "Ann"}));
    EXPECT_EQ(SplitImportFields("ann , \t , box"), (Fields{"ann", "", "box"}));
    EXPECT_EQ(SplitImportFields(",pass"), (Fields{"", "pass"}));
    EXPECT_EQ(SplitImportFields(" , pass"), (Fields{"", "pass"}));
    EXPECT_EQ(SplitImportFields("ann,"), Fields{"ann"});
    EXPECT_EQ(SplitImportFields("ann, ,"), (Fields{"ann", ""}));
    EXPECT_EQ(SplitImportFields(","), Fields{""});
    EXPECT_TRUE(SplitImportFields("").empty());
    EXPECT_TRUE(SplitImportFields(" \t ").empty());
}

TEST(ImportFields, QuotedFields) {
    EXPECT_EQ(SplitImportFields("jd pw jd@example.org \"John Doe\""),
              (Fields{"jd", "pw", "jd@example.org", "John Doe"}));
    EXPECT_EQ(SplitImportFields("\"a, b\",c"), (Fields{"a, b", "c"}));
    EXPECT_EQ(SplitImportFields("\"say \"\"hi\"\"\""), Fields{"say \"hi\""});
    EXPECT_EQ(SplitImportFields("\"\"\"\""), Fields{"\""});
    EXPECT_EQ(SplitImportFields("\"\",x"), (Fields{"", "x"}));
    EXPECT_EQ(SplitImportFields("x \"\""), (Fields{"x", ""}));
    // A missing closing quote runs to the end of the line, blanks included.
    EXPECT_EQ(SplitImportFields("a \"open field, still  "), (Fields{"a", "open field, still  "}));
    EXPECT_EQ(SplitImportFields("\""), Fields{""});
    // Characters right after the closing quote start the next field.
    EXPECT_EQ(SplitImportFields("\"ab\"cd"), (Fields{"ab", "cd"}));
    EXPECT_EQ(SplitImportFields("\"ab\"\"cd"), Fields{"ab\"cd"});
    // A quote inside an unquoted field is an ordinary character.
    EXPECT_EQ(SplitImportFields("a\"b c\""), (Fields{"a\"b", "c\""}));
    // Control characters inside quotes are kept.
    EXPECT_EQ(SplitImportFields("\"a\tb\""), Fields{"a\tb"});
}

TEST(ImportFields, QuotedFieldsGiveBackWhatWasWritten) {
    TLcgRandom random(99);
    for (int round = 0; round < 500; ++round) {
        Fields fields(random.Random(6));
        for (auto& field : fields) {
            const uint32_t length = random.Random(8);
            for (uint32_t i = 0; i < length; ++i) {
                // Any byte a line can hold: everything but NUL, CR and LF.
                char c;
                do {
                    c = static_cast<char>(random.Random(256));
                } while (c == '\0' || c == '\r' || c == '\n');
                field += c;
            }
        }
        EXPECT_EQ(SplitImportFields(QuoteFields(fields)), fields) << QuoteFields(fields);
    }
}

TEST(ImportFields, FieldByNumber) {
    const Fields fields{"a", "b"};
    EXPECT_EQ(ImportField(fields, 0), "a");
    EXPECT_EQ(ImportField(fields, 1), "b");
    EXPECT_EQ(ImportField(fields, 2), "");
    EXPECT_EQ(ImportField(fields, -1), "");
    EXPECT_EQ(ImportField({}, 0), "");
}

class ImportUsersTest : public ::testing::Test {
protected:
    TTempDir Dir;
    TFixedClock Clock{EncodeDateTime({2024, 5, 17, 10, 30, 0, 0})};

    std::string WriteFile(const std::string& content, const std::string& name = "users.txt") {
        const std::string path = Dir.File(name);
        WriteWholeFile(path, content);
        return path;
    }
};

TEST_F(ImportUsersTest, AllFourFieldsAndTheDates) {
    TUserList list;
    list.Add("existing", "pw");
    const TDateTime now = Now();
    const std::string path =
        WriteFile("jdoe s3cret jdoe@example.org \"John Doe\"\r\nann,,box,Ann\r\n"
                  "jsmith\r\nbob pw bob@x Bob Builder\r\n");
    EXPECT_EQ(ImportUsers(path, list), 4);
    ASSERT_EQ(list.Count(), 5);
    EXPECT_EQ(list.Users(0).Login, "existing");

    const TUserProp& jdoe = list.Users(1);
    EXPECT_EQ(jdoe.Comments, "");
    EXPECT_FALSE(jdoe.Disable);
    EXPECT_FALSE(jdoe.Expire);
    EXPECT_DOUBLE_EQ(jdoe.CreatedDate, now);
    EXPECT_DOUBLE_EQ(jdoe.ExpireDate, now + 30);
    EXPECT_EQ(jdoe.Index(), 1);

    // Login, password, e-mail address and full name of each user imported.
    std::vector<std::vector<std::string>> imported;
    for (int i = 1; i < list.Count(); ++i) {
        const TUserProp& u = list.Users(i);
        imported.push_back({u.Login, u.Password, u.Email, u.FullName});
    }
    EXPECT_EQ(imported, (std::vector<std::vector<std::string>>{
                            {"jdoe", "s3cret", "jdoe@example.org", "John Doe"},
                            {"ann", "", "box", "Ann"},
                            {"jsmith", "", "", ""},
                            // An unquoted full name is cut at the blank; the rest is a fifth
                            // field and ignored.
                            {"bob", "pw", "bob@x", "Bob"}}));
}

TEST_F(ImportUsersTest, BlankLinesAndLineEnds) {
    // Blank lines (empty, or holding only blanks) are skipped and counted: a user with an empty
    // login and password would let anyone in.
    TUserList list;
    TImportReport report;
    EXPECT_EQ(ImportUsers(WriteFile("first\n\n \t\x01 \nthird\n\n"), list, &report), 2);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Users(0).Login, "first");
    EXPECT_EQ(list.Users(1).Login, "third");
    EXPECT_EQ(report.Added, 2);
    EXPECT_EQ(report.BlankLines, 3);

    for (const char* ending : {"\r\n", "\r", "\n"}) {
        TUserList other;
        const std::string text = "a 1" + std::string(ending) + "b 2" + ending + "c 3" + ending;
        ImportUsers(WriteFile(text), other);
        ASSERT_EQ(other.Count(), 3);
        EXPECT_EQ(other.Users(2).Login, "c");
        EXPECT_EQ(other.Users(2).Password, "3");
    }
}

TEST_F(ImportUsersTest, EmptyFileChangesNothing) {
    TUserList list;
    list.Add("keep", "me");
    const uint32_t before = list.Fingerprint();
    EXPECT_EQ(ImportUsers(WriteFile(""), list), 0);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Fingerprint(), before);
    // Text after a NUL byte is not read.
    EXPECT_EQ(ImportUsers(WriteFile("\0ghost pw\r\n"s), list), 0);
    EXPECT_EQ(list.Fingerprint(), before);
    // A device where a file is expected is refused before it is read.
    EXPECT_EQ(ErrorOf([&] { ImportUsers("/dev/zero", list); }), "/dev/zero is not a regular file");
    // So is a line longer than 64 KiB, by its number.
    const std::string longLine = WriteFile("ann a\r\n" + std::string(65537, 'x') + "\n");
    EXPECT_EQ(ErrorOf([&] { ImportUsers(longLine, list); }),
              "Line 2 of " + longLine + " is longer than 64 KiB");
    EXPECT_EQ(list.Count(), 1);
}

TEST_F(ImportUsersTest, ImportingTwiceDoublesTheUsers) {
    TUserList list;
    const std::string path = WriteFile("ann pw1\r\nbob pw2\r\n");
    ImportUsers(path, list);
    const uint32_t before = list.Fingerprint();
    ImportUsers(path, list);
    ASSERT_EQ(list.Count(), 4);
    EXPECT_NE(list.Fingerprint(), before);
    EXPECT_EQ(list.Users(2).Login, "ann");
    EXPECT_EQ(list.Users(3).Login, "bob");
    EXPECT_EQ(list.Users(3).Password, "pw2");
}

TEST_F(ImportUsersTest, ABadLoginRefusesTheWholeFileNamingTheLine) {
    struct Case {
        const char* what;
        std::string text;
        std::string error;
    };
    std::string many = "ok pw\n";
    for (int i = 0; i < 23; ++i)
        many += "x:" + std::to_string(i) + " pw\n";
    std::string others;
    for (int line = 3; line <= 22; ++line)
        others += (line > 3 ? ", Verbatim(" : "Verbatim(") + std::to_string(line) + ")";
    const std::vector<Case> cases = {
        {"forged hash", "ok pw\r\n\"admin:$apr1$attacker$x\",x\r\n",
         "ImportBadLogin(2, LoginColon())"},
        {"colon", "a:b pw\n", "ImportBadLogin(1, LoginColon())"},
        {"quoted tab", "ok pw\n\n\"a\tb\" pw\n", "ImportBadLogin(3, LoginControl())"},
        {"empty first field", "ok pw\n,pw\n", "ImportBadLogin(2, LoginEmpty())"},
        {"quoted empty login", "\"\" pw\n", "ImportBadLogin(1, LoginEmpty())"},
        {"several", "a:1 x\nok y\nb:2 z\n\"\" w\n",
         "ImportBadLogins(1, LoginColon(), [Verbatim(3), Verbatim(4)])"},
        // The other lines: 20 of them named, the rest counted.
        {"many", many, "ImportBadLogins(2, LoginColon(), [" + others + " +2])"},
        {"password too long", "ok pw\nann " + std::string(KMaxPasswordBytes + 1, 'p') + "\n",
         "ImportLineFailed(2, PasswordTooLong(" + std::to_string(KMaxPasswordBytes) + "))"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TUserList list;
        list.Add("keep", "me");
        const uint32_t before = list.Fingerprint();
        EXPECT_EQ(ImportError(WriteFile(c.text), list), c.error);
        EXPECT_EQ(list.Count(), 1);
        EXPECT_EQ(list.Fingerprint(), before);
    }
}

TEST_F(ImportUsersTest, ReportNamesUsersWithoutPasswordAndCommentLogins) {
    TUserList list;
    TImportReport report;
    ImportUsers(WriteFile("jsmith\r\nann,,box\r\n#team pw\r\nbob pw\r\n"), list, &report);
    EXPECT_EQ(report.Added, 4);
    EXPECT_EQ(report.BlankLines, 0);
    EXPECT_EQ(report.NoPassword, (std::vector<int>{1, 2}));
    EXPECT_EQ(report.CommentLogins, (std::vector<int>{3}));
}

TEST_F(ImportUsersTest, FileThatCannotBeOpened) {
    TUserList list;
    list.Add("keep", "me");
    const uint32_t before = list.Fingerprint();

    const std::string missing = Dir.File("missing.txt");
    EXPECT_EQ(ImportError(missing, list), "CannotOpenFile(" + missing + ")");
    const std::string folder = Dir.Path().string();
    EXPECT_EQ(ImportError(folder, list), "CannotOpenFile(" + folder + ")");

    // A file another program holds locked against reading.
    const std::string locked = WriteFile("ghost pw\n", "locked.txt");
    const int fd = ::open(locked.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(ImportError(locked, list), "CannotOpenFile(" + locked + ")");
    ::close(fd);

    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Fingerprint(), before);

    // Once the lock is gone the same file imports.
    EXPECT_EQ(ImportUsers(locked, list), 1);
    EXPECT_EQ(list.Users(1).Login, "ghost");
}

namespace {

const char* ProblemName(TImportProblem problem) {
    switch (problem) {
    case TImportProblem::MoreFields:
        return "more";
    case TImportProblem::FewerFields:
        return "fewer";
    case TImportProblem::BlankInLogin:
        return "blank";
    case TImportProblem::ColumnName:
        return "column";
    case TImportProblem::DuplicateLogin:
        return "same";
    }
    return "?";
}

// "2:more 3:same(5)": each problem as line:kind, a namesake's line in brackets.
std::string ProblemsText(const TImportAnalysis& analysis) {
    std::string text;
    for (const TImportLineProblem& p : analysis.Problems) {
        if (!text.empty()) text += ' ';
        text += std::to_string(p.Line) + ':' + ProblemName(p.Problem);
        if (p.OtherLine != 0) text += '(' + std::to_string(p.OtherLine) + ')';
    }
    return text;
}

} // namespace

// A spreadsheet's CSV as the import looks at it first: the header, the separator every line
// holds, the lines that look wrong; then what it adds with the header left out (and the lines
// as they are).
TEST(ImportAnalysis, ASpreadsheetsFileIsLookedAtBeforeAnythingIsAdded) {
    using S = TImportSeparator;
    struct TCase {
        const char* Name;
        std::string Text;
        S Separator;
        int Header;
        S Found;
        const char* Problems;
        const char* Added; // "login/password/email/name" per user, "|" between users
    } cases[] = {
        {"rule-following lines of two to four fields",
         "alice a1\r\nbob b1 bob@x\r\ncarl,c1,c@x,Carl\r\n", S::TextRules, 0, S::TextRules, "",
         "alice/a1//|bob/b1/bob@x/|carl/c1/c@x/Carl"},
        {"a header row", "login,password,email,name\nann,Pw-1,a@x,Ann\n", S::TextRules, 1, S::Comma,
         "", "ann/Pw-1/a@x/Ann"},
        {"a blank in a login",
         "login,password,email,name\nmary ann,Pw-Lange-0751!,m@x,Mary\n"
         "bob,Pw-2,b@x,Bob\n",
         S::TextRules, 1, S::Comma, "2:more 2:blank",
         "mary/ann/Pw-Lange-0751!/m@x|bob/Pw-2/b@x/Bob"},
        {"the same, read by commas", "mary ann,Pw-Lange-0751!,m@x,Mary\nbob,Pw-2,b@x,Bob\n",
         S::Comma, 0, S::Comma, "1:blank", "mary ann/Pw-Lange-0751!/m@x/Mary|bob/Pw-2/b@x/Bob"},
        {"semicolons by the text rules", "Benutzer;Kennwort\nanna;Geheim-1\nbert;Geheim-2\n",
         S::TextRules, 0, S::Semicolon, "",
         "Benutzer;Kennwort///|anna;Geheim-1///|bert;Geheim-2///"},
        {"semicolons read by semicolons", "Benutzer;Kennwort\nanna;Geheim 1\nbert;Geheim-2\n",
         S::Semicolon, 1, S::Semicolon, "", "anna/Geheim 1//|bert/Geheim-2//"},
        {"short and long rows", "a;1;a@x\nb;2\nc;3;c@x;C;extra\nd;4;d@x\n", S::Semicolon, 0,
         S::Semicolon, "2:fewer 3:more", "a/1/a@x/|b/2//|c/3/c@x/C|d/4/d@x/"},
        {"tabs, empty fields kept", "a\t1\t\tA\nb\t2\tb@x\tB\n", S::Tab, 0, S::Tab, "",
         "a/1//A|b/2/b@x/B"},
        {"blank-separated, commas inside", "a 1,5 x@y\nb 2 z@y\n", S::Blank, 0, S::TextRules, "",
         "a/1,5/x@y/|b/2/z@y/"},
        {"a password that is a column name", "ann password\nbob b1\n", S::TextRules, 0,
         S::TextRules, "1:column", "ann/password//|bob/b1//"},
        {"duplicates within the file", "ann a1\nbob b1\nANN a2\ncarl c1\nann a3\n", S::TextRules, 0,
         S::TextRules, "1:same(3) 3:same(1) 5:same(1)",
         "ann/a1//|bob/b1//|ANN/a2//|carl/c1//|ann/a3//"},
        {"blank lines are no rows", "\n  \na,1\n\nb,2\n", S::Comma, 0, S::Comma, "", "a/1//|b/2//"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TImportAnalysis analysis = AnalyseImport(c.Text, c.Separator);
        EXPECT_EQ(analysis.HeaderLine, c.Header);
        EXPECT_EQ(analysis.Found, c.Found);
        EXPECT_EQ(ProblemsText(analysis), c.Problems);
        EXPECT_EQ(analysis.SeparatorMissed(),
                  c.Separator == S::TextRules && c.Found == S::Semicolon);
        TUserList list;
        TImportOptions options;
        options.Separator = c.Separator;
        if (analysis.HeaderLine > 0) options.SkipLines.push_back(analysis.HeaderLine);
        TImportReport report;
        ImportUsersFromText(c.Text, list, &report, options);
        EXPECT_EQ(report.SkippedLines, c.Header);
        std::string added;
        for (int i = 0; i < list.Count(); ++i) {
            const TUserProp& u = list.Users(i);
            added += (i ? "|" : "") + u.Login + "/" + u.Password + "/" + u.Email + "/" + u.FullName;
        }
        EXPECT_EQ(added, c.Added);
    }
}
