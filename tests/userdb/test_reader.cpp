// Reading the users database text: the accepted forms, the rejected ones, and what a failure
// leaves in the list.

#include "ListText.h"
#include "TestUtil.h"
#include "base/DateUtil.h"
#include "base/Errors.h"
#include "userdb/DataLib.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>
#include <vector>

using namespace quorvane;

namespace {

// One user with the given entries.
std::string UserText(const std::string& entries) {
    return Wrap("Items = <item " + entries + " end>");
}

// Loads one user with the given entries; fails the test when it does not load.
TUserProp LoadUser(const std::string& entries) {
    TUserList list;
    const std::string error = Read(UserText(entries), list);
    EXPECT_EQ(error, "") << entries;
    if (list.Count() != 1) {
        ADD_FAILURE() << "expected one user: " << entries;
        return TUserProp();
    }
    return list.Users(0);
}

// The entry, after one that sets PassFile, is refused. A syntax error is found before anything
// is applied (PassFile stays "before"); an entry that is well formed but does not suit the list
// fails after what came before it was applied ("applied").
enum class TRefusal { Syntax, Application };
void ExpectRefused(TRefusal refusal, const std::string& entry) {
    TUserList list;
    First(list)->PassFile = "before";
    EXPECT_EQ(Read(Wrap("PassFile = 'applied'\r\n" + entry), list), "The file is not valid")
        << entry;
    EXPECT_EQ(First(list)->PassFile, refusal == TRefusal::Syntax ? "before" : "applied")
        << (refusal == TRefusal::Syntax ? "applied despite a syntax error: "
                                        : "refused as a syntax error: ")
        << entry;
}

TEST(Reader, StringForms) {
    EXPECT_EQ(LoadUser("Login = 'It''s'").Login, "It's");
    EXPECT_EQ(LoadUser("Login = ''''").Login, "'");
    EXPECT_EQ(LoadUser("Login = ''").Login, "");
    EXPECT_EQ(LoadUser("Login = #65#66'c'#39").Login, "ABc'");
    EXPECT_EQ(LoadUser("Login = #").Login, std::string(1, '\0')) << "no digits is code 0";
    EXPECT_EQ(LoadUser("Login = #0065").Login, "A");
    EXPECT_EQ(LoadUser("Login = #255").Login, "\xFF");
    EXPECT_EQ(LoadUser("Login = 'ab' + \r\n  'cd'+#33 +''").Login, "abcd!");
    EXPECT_EQ(LoadUser("Login = '\xC3\xA9\x80\\'").Login, "\xC3\xA9\x80\\");
    EXPECT_EQ(LoadUser("Login = 'a\tb'").Login, "a\tb");
    const std::string longValue(4000, 'x'); // a line must fit the reader's window
    EXPECT_EQ(LoadUser("Comments = '" + longValue + "'").Comments, longValue);
}

TEST(Reader, BooleanEnumerationAndDateValues) {
    TUserProp u = LoadUser("Disable = true Expire = TRUE");
    EXPECT_TRUE(u.Disable);
    EXPECT_TRUE(u.Expire);
    u = LoadUser("Disable = tRuE Disable = false");
    EXPECT_FALSE(u.Disable) << "the last occurrence wins";

    EXPECT_EQ(LoadUser("ExpireDate = 46393").ExpireDate, 46393.0);
    // The first and the last moment of the years 1 to 9999.
    EXPECT_EQ(LoadUser("ExpireDate = -693593").ExpireDate, -693593.0);
    EXPECT_EQ(LoadUser("ExpireDate = -693593.99998").ExpireDate, -693593.99998);
    EXPECT_EQ(LoadUser("ExpireDate = 2958465.99998").ExpireDate, 2958465.99998);
    EXPECT_EQ(LoadUser("ExpireDate = $FF").ExpireDate, 255.0);
    EXPECT_EQ(LoadUser("ExpireDate = 46393.4375").ExpireDate, 46393.4375);
    EXPECT_EQ(LoadUser("ExpireDate = -1.5E-5").ExpireDate, -1.5e-5);
    EXPECT_EQ(LoadUser("ExpireDate = 1e3").ExpireDate, 1000.0);
    EXPECT_EQ(LoadUser("ExpireDate = 12.").ExpireDate, 12.0);
    EXPECT_EQ(LoadUser("ExpireDate = 5E+2").ExpireDate, 500.0);
    EXPECT_EQ(LoadUser("ExpireDate = 1E-400").ExpireDate, 0.0) << "underflow reads as zero";

    for (const char* text : {"PassType = ptmd5", "PassType = PTMD5", "PassType = ptMD5"}) {
        TUserList list;
        list.PassType = TPasswordsType::ptPlainText;
        EXPECT_EQ(Read(Wrap(text), list), "");
        EXPECT_EQ(list.PassType, TPasswordsType::ptMD5) << text;
    }
    TUserList list;
    EXPECT_EQ(Read(Wrap("passtype = PTPLAINTEXT exporttofile = FALSE"), list), "");
    EXPECT_EQ(list.PassType, TPasswordsType::ptPlainText);
    EXPECT_FALSE(First(list)->ExportToFile);
}

TEST(Reader, ValuesThatDoNotSuitThePropertyFailAfterWhatCameBefore) {
    // The last four: forms the writer never produces but the syntax allows (positions, dotted
    // values, sets, binary data, lists); they fail only because the list has no such property.
    for (const char* entry : {"ExportToFile = 1",
                              "ExportToFile = 'True'",
                              "ExportToFile = Yes",
                              "ExportToFile = True.X",
                              "PassType = True",
                              "PassType = 1",
                              "FtpHost = x",
                              "FtpHost = 5",
                              "FtpHost = #300",
                              "FtpHost = 'a' + #256",
                              "FtpHost = <>",
                              "Items = 'x'",
                              "Items = ptMD5",
                              "Unknown = 1",
                              "FtpHost.Sub = 'x'",
                              "Name = 'x'",
                              "Tag = 1",
                              "Left = 1",
                              "Top = 1",
                              "FtpHost = (1 'a' (2) [x] {00})",
                              "FtpHost = []",
                              "FtpHost = [a, 1, b]",
                              "FtpHost = {00 ff A0}",
                              "FtpHost = {}",
                              "FtpHost = a.b.c",
                              "ExportToFile = <item end>",
                              "Items = <item Unknown = 1 end>",
                              "object Child: TX [2] Sub.Name = (1 2.5 'x' [a, 3] {0a0B}) end",
                              "inherited Child: TX end",
                              "FtpHost = 46393.5d",
                              "FtpHost = -1.5"}) {
        ExpectRefused(TRefusal::Application, entry);
    }
}

TEST(Reader, DateValuesThatDoNotSuit) {
    // Well formed, refused for a date: a suffix letter, a string, an integer beyond 32 bits,
    // a number beyond a double's range, a day outside the years 1 to 9999.
    for (const char* value : {"46393.5d",   "46393.5D",    "1.5s",
                              "2c",         "7d",          "'46393'",
                              "2147483648", "-2147483649", "9223372036854775807",
                              "$100000000", "1E400",       "True",
                              "1e300",      "-1e300",      "1.79769313486232E308",
                              "2147483647", "-2147483648", "2958466",
                              "-693594",    "-693594.5",   "$7FFFFFFF"}) {
        TUserList list;
        list.AddBlank().Login = "before";
        const std::string text =
            Wrap(std::string("Items = <item Login = 'first' ExpireDate = ") + value + " end>");
        EXPECT_EQ(Read(text, list), "The file is not valid") << value;
        ASSERT_EQ(list.Count(), 1) << value;
        EXPECT_EQ(list.Users(0).Login, "first") << value;
    }
    // CreatedDate is held to the same years.
    TUserList list;
    EXPECT_EQ(Read(UserText("CreatedDate = 1e300"), list), "The file is not valid");
}

// Dates in the writer's form are read by a shortcut; it must give the nearest double, as the
// general conversion does, for every number of digits before and after the point.
TEST(Reader, DatesInTheWritersFormReadToTheNearestDouble) {
    uint64_t seed = 42;
    std::string entries;
    std::vector<double> expected;
    for (int i = 0; i < 4000; ++i) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        const int digits = 1 + static_cast<int>((seed >> 33) % 15);
        const int point = static_cast<int>((seed >> 40) % (digits + 1));
        std::string number = std::to_string((seed >> 3) % 1000000000000000ULL);
        number = std::string(15, '0') + number;
        number = number.substr(number.size() - digits);
        if (point < digits) number.insert(number.size() - point, ".");
        if (number[0] == '.') number.insert(0, "0");
        if ((seed & 1) == 0) number.insert(0, "-");
        double value = 0;
        std::from_chars(number.data(), number.data() + number.size(), value);
        if (!IsValidDateTime(value)) continue;
        entries += "item ExpireDate = " + number + " end\r\n";
        expected.push_back(value);
    }
    TUserList list;
    ASSERT_EQ(Read(Wrap("Items = <" + entries + ">"), list), "");
    ASSERT_EQ(list.Count(), static_cast<int>(expected.size()));
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.Users(i).ExpireDate, expected[static_cast<size_t>(i)]) << i;
}

TEST(Reader, MalformedTextChangesNothing) {
    for (const char* entry : {"FtpHost = 'abc",
                              "FtpHost = 'ab\r\ncd'",
                              "FtpHost 'x'",
                              "FtpHost = ",
                              "= 'x'",
                              "FtpHost = 'a' +",
                              "FtpHost = 'a' + 5",
                              "FtpHost = 1.2.3",
                              "FtpHost = -",
                              "FtpHost = 1-2",
                              "FtpHost = 1e",
                              "FtpHost = $",
                              "FtpHost = $12345678901234567",
                              "FtpHost = 9223372036854775808",
                              "FtpHost = 1E5000",
                              "FtpHost = 1E39s",
                              "FtpHost = {0}",
                              "FtpHost = {0g}",
                              "FtpHost = (1",
                              "FtpHost = [a b]",
                              "FtpHost = [a,]",
                              "FtpHost = [1.5]",
                              "FtpHost = <item>",
                              "FtpHost = <x end>",
                              "FtpHost = <item [x] end>",
                              "Items = <item Login = 'a'>",
                              "FtpHost = ;",
                              "FtpHost. = 1",
                              "9 = 1",
                              "object C: TX",
                              "object : TX end"}) {
        ExpectRefused(TRefusal::Syntax, entry);
    }
    ExpectRefused(TRefusal::Syntax, std::string("FtpHost = 'a\0b'", 15));
}

TEST(Reader, HeaderAndKeywords) {
    TUserList list;
    EXPECT_EQ(Read("OBJECT TUserList Items = <Item Login = 'x' END> END", list), "");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Users(0).Login, "x");

    TUserList other;
    EXPECT_EQ(Read("object TSomething\r\nFtpHost = 'h'\r\nend\r\n", other), "");
    EXPECT_EQ(First(other)->FtpHost, "h");
    EXPECT_EQ(other.Name(), "");

    TUserList named;
    EXPECT_EQ(Read("inherited Main: TUserList [7] end", named), "");
    EXPECT_EQ(named.Name(), "Main");
    EXPECT_EQ(Read("inline Other: TUserList end", named), "");
    EXPECT_EQ(named.Name(), "Other");
    EXPECT_EQ(ObjectStreamToText(WriteObjectStream(named)).substr(0, 26),
              "object Other: TUserList\r\n ");

    TUserList positioned;
    EXPECT_EQ(
        Read(Wrap("Items = <item [0] Login = 'a' end item [-5] Login = 'b' end item [$1] end>"),
             positioned),
        "");
    EXPECT_EQ(positioned.Count(), 3);
}

TEST(Reader, LayoutCarriesNoMeaning) {
    TUserList written;
    written.Add("guest01", "pw");
    written.Users(0).Comments = "line\r\nline";
    First(written)->FtpHost = "host";
    const std::string text = ObjectStreamToText(WriteObjectStream(written));
    std::string tabs, flat, oneLine;
    for (char c : text) {
        if (c == ' ' && (tabs.empty() || tabs.back() == '\n' || tabs.back() == '\t'))
            tabs.push_back('\t');
        else
            tabs.push_back(c);
    }
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && c == ' ') continue;
        lineStart = c == '\n';
        flat.push_back(c);
        oneLine.push_back(c == '\r' || c == '\n' ? ' ' : c);
    }
    for (const std::string* variant : {&tabs, &flat, &oneLine}) {
        TUserList list;
        ASSERT_EQ(Read(*variant, list), "") << *variant;
        EXPECT_EQ(ObjectStreamToText(WriteObjectStream(list)), text) << *variant;
    }
}

TEST(Reader, WhatMayFollowTheFinalEnd) {
    TUserList list;
    EXPECT_EQ(Read("object TUserList end junk ~ 'x' 1.2.3", list), "");
    EXPECT_EQ(Read(std::string("object TUserList end\0'", 22), list), "")
        << "a zero byte ends the text";
    EXPECT_EQ(Read("object TUserList end 'unterminated", list), "The file is not valid");
    EXPECT_EQ(Read(std::string("object TUserList\0 end", 21), list), "The file is not valid");
}

TEST(Reader, TextsThatAreNoDatabase) {
    for (const std::string& text :
         {std::string(""), std::string("   \r\n"), std::string("\xEF\xBB\xBFobject TUserList end"),
          std::string("TUserList end"), std::string("object end"), std::string("object TUserList"),
          std::string("object TUserList Items = <> "), std::string("object 5 end"),
          std::string("object A: end")}) {
        TUserList list;
        EXPECT_EQ(Read(text, list), "The file is not valid") << text;
        EXPECT_EQ(list.Fingerprint(), 0xA160D7C5u) << text;
    }
}

TEST(Reader, ItemsReplaceTheUsersOnlyWhenNotEmpty) {
    TUserList list;
    list.Add("old1", "x");
    list.Add("old2", "x");
    EXPECT_EQ(Read(Wrap("Items = <>"), list), "");
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(Read(Wrap("Items = <item Login = 'new' end>"), list), "");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Users(0).Login, "new");
    EXPECT_EQ(list.Users(0).ExpireDate, 0) << "an item starts from a blank user";
    EXPECT_EQ(
        Read(Wrap("Items = <item Login = 'a' end item Login = 'b' end>\r\n"
                  "PassType = ptPlainText\r\nItems = <item Login = 'c' end>\r\nPassType = ptMD5"),
             list),
        "");
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Users(0).Login, "c");
    EXPECT_EQ(list.PassType, TPasswordsType::ptMD5);
    EXPECT_EQ(list.Users(0).Index(), 0);
}

TEST(Reader, FailureInTheThirdUserKeepsWhatWasRead) {
    TUserList list;
    const std::string text =
        Wrap("PassFile = 'out'\r\n"
             "Items = <\r\n"
             "item Login = 'u1' Password = 'p1' end\r\n"
             "item Login = 'u2' end\r\n"
             "item Login = 'u3' Password = 'p3' Shoe = 'x' FullName = 'never' end\r\n"
             "item Login = 'u4' end>\r\n"
             "FtpHost = 'never'");
    EXPECT_EQ(Read(text, list), "The file is not valid");
    EXPECT_EQ(First(list)->PassFile, "out");
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Users(0).Password, "p1");
    EXPECT_EQ(list.Users(1).Login, "u2");
    EXPECT_EQ(list.Users(2).Login, "u3");
    EXPECT_EQ(list.Users(2).Password, "p3");
    EXPECT_EQ(list.Users(2).FullName, "");
    EXPECT_EQ(First(list)->FtpHost, "");
}

// The whole text is checked before anything is applied, also past an entry that does not suit
// the list; Read holds every case to the reader as it was, too.
TEST(Reader, WhatFollowsAnEntryThatDoesNotSuitIsStillChecked) {
    const std::string notValid = "The file is not valid";
    const std::string unknownForm = "The file is not valid: it asks for the password form ptSHA3, "
                                    "which this version of Quorvane does not know";
    struct TCase {
        const char* Entries;
        std::string Error;
        bool Unchanged; // the list is as it was before the read
    };
    for (const TCase& c : {
             TCase{"FtpHost = 'h' Unknown = 1 FtpUser = 'u'", notValid, false},
             TCase{"FtpHost = 'h' Unknown = 1 FtpUser = 'unterminated", notValid, true},
             TCase{"Items = <item Login = 'a' Shoe = 1 end item Login = 'b' end> FtpHost = 5x",
                   notValid, true},
             TCase{"Items = <item Login = 'a' Shoe = 1 end item Login = 'b' end>", notValid, false},
             TCase{"FtpHost = 'h' PassType = ptSHA3 FtpUser = 'u'", unknownForm, false},
             TCase{"FtpHost = 'h' PassType = ptSHA3 FtpUser = 'u' +", notValid, true},
             TCase{"Items = <item Login = 'a' + 'b' PasswordHash = '$1$' + 'x' end> Items = <>", "",
                   false},
             TCase{"Items = <item Login = 'a'#300'b' end>", notValid, false},
             TCase{"FtpHost = 'h' object X: TUserList FtpHost = 'never' end", notValid, false},
             TCase{"FtpHost = 'h' object X: TUserList FtpHost = 'never end", notValid, true},
         }) {
        SCOPED_TRACE(c.Entries);
        TUserList list;
        list.Add("old", "pw");
        First(list)->FtpHost = "before";
        const std::string before = ListText(list);
        EXPECT_EQ(Read(Wrap(c.Entries), list), c.Error);
        EXPECT_EQ(ListText(list) == before, c.Unchanged);
    }
}

TEST(Reader, NestedObjectFailsAfterTheListsProperties) {
    TUserList list;
    EXPECT_EQ(Read("object TUserList FtpHost = 'h' object X: TUserList end end", list),
              "The file is not valid");
    EXPECT_EQ(First(list)->FtpHost, "h");
}

TEST(Reader, DeepNestingIsRefusedNotCrashed) {
    std::string deep = "object TUserList FtpHost = ";
    for (int i = 0; i < 100000; ++i)
        deep += "(";
    TUserList list;
    EXPECT_EQ(Read(deep, list), "The file is not valid");
    std::string objects;
    for (int i = 0; i < 100000; ++i)
        objects += "object A ";
    EXPECT_EQ(Read(objects, list), "The file is not valid");
    std::string collections = "object TUserList Items = ";
    for (int i = 0; i < 100000; ++i)
        collections += "<item X = ";
    EXPECT_EQ(Read(collections, list), "The file is not valid");
    std::string reasonable = "object TUserList Foo = ";
    for (int i = 0; i < 50; ++i)
        reasonable += "(";
    for (int i = 0; i < 50; ++i)
        reasonable += ")";
    ExpectRefused(TRefusal::Application, reasonable.substr(17));
}

TEST(Reader, LinesMustFitTheReadersWindow) {
    // "  Comments = '" is 14 bytes, the closing apostrophe one more.
    auto fileWithLine = [](size_t lineBytes) {
        const std::string head = "object TUserList\r\nItems = <item\r\n";
        const std::string line = "  Comments = '" + std::string(lineBytes - 15, 'x') + "'";
        return head + line + "\n end> end\r\n";
    };
    TUserList list;
    EXPECT_EQ(Read(fileWithLine(4094), list), "");
    EXPECT_EQ(list.Users(0).Comments.size(), 4094u - 15);
    EXPECT_EQ(Read(fileWithLine(4095), list), "The file is not valid");
    EXPECT_EQ(list.Users(0).Comments.size(), 4094u - 15) << "nothing applied";

    // A long last line is read when the text ends within the window.
    const std::string head = "object TUserList Items = <item Comments = '";
    std::string last = head + std::string(4095 - head.size() - 12, 'y') + "' end> end  ";
    ASSERT_EQ(last.size(), 4095u);
    EXPECT_EQ(Read(last, list), "");
    EXPECT_EQ(Read(last + " ", list), "The file is not valid");
    EXPECT_EQ(Read(last + "\n", list), "The file is not valid");
}

} // namespace
