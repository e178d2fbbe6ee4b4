// Credentials mails: what a template may hold, what a user's address may be, and what the files
// written for a mail merge hand on to the program that opens them.

#include "TestUtil.h"
#include "base/Errors.h"
#include "userdb/Credentials.h"
#include "userdb/UserList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using namespace quorvane;

namespace {

const TCredentialsTemplate KPlain = ParseCredentialsTemplate("Subject: Hi\n\n{login} {password}\n");

} // namespace

// A spreadsheet opening the mail-merge file runs a field that starts like a formula: such a
// field is written as text (a leading apostrophe); any other stays as it is.
TEST(Credentials, AMailMergeFieldThatLooksLikeAFormulaIsWrittenAsText) {
    const std::pair<std::string, std::string> cases[] = {
        {"=cmd|' /C calc'!A0", "\"'=cmd|' /C calc'!A0\""},
        {"+SUM(1,2)", "\"'+SUM(1,2)\""},
        {"-2+3", "\"'-2+3\""},
        {"@SUM(A1)", "\"'@SUM(A1)\""},
        {"\t=1", "\"'\t=1\""},
        {"\r=1", "\"'\r=1\""},
        {"pw \"A\" = B", "\"pw \"\"A\"\" = B\""},
    };
    TTempDir dir;
    for (const auto& [password, field] : cases) {
        SCOPED_TRACE(password);
        TUserList list;
        TUserProp& user = list.Add("ann", password);
        const auto mails = MakeCredentialsMails(KPlain, {&user}, "https://site/");
        const auto files =
            WriteCredentials(mails, TCredentialsFormat::Csv, dir.Path().string(), "");
        const std::string csv = ReadWholeFile(files.at(0));
        const std::string row = csv.substr(csv.find("\r\n") + 2);
        EXPECT_EQ(row.rfind("\"ann\"," + field + ",", 0), 0u) << row;
    }
}

// What a template or a user's address would turn into another header or another recipient is
// refused before anything is written.
TEST(Credentials, AHeaderNameOrAnAddressThatWouldMakeMoreIsRefused) {
    struct TCase {
        const char* Name;
        std::string Template;
        std::string Email;
        std::string Error; // the text's name; empty: accepted
    };
    const TCase cases[] = {
        {"plain", "Subject: Hi\n\nbody\n", "ann@example.org", ""},
        {"bare CR in a name", "Subject: Hi\nBcc\r: x\n\nbody\n", "", "TemplateHeaderInvalid"},
        {"blank in a name", "Subject: Hi\nX Y: z\n\nbody\n", "", "TemplateHeaderInvalid"},
        {"two addresses", "Subject: Hi\n\nbody\n", "ann@example.org,eve@example.org",
         "MailAddressList"},
        {"a list", "Subject: Hi\n\nbody\n", "ann@example.org; eve@example.org", "MailAddressList"},
        {"another mailbox", "Subject: Hi\n\nbody\n", "Eve <eve@example.org>", "MailAddressList"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TUserList list;
        TUserProp& user = list.Add("ann", "pw");
        user.Email = c.Email;
        std::string error;
        try {
            MakeCredentialsMails(ParseCredentialsTemplate(c.Template), {&user}, "");
        } catch (const EQuorvaneError& e) {
            error = e.Message().Text->Id;
        }
        EXPECT_EQ(error, c.Error);
    }
}

// One mail, one file: logins that come to one file name (letters folded, as some file systems
// fold them, or a name given by position) each get a file of their own.
TEST(Credentials, EveryMailGetsAFileOfItsOwn) {
    TUserList list;
    std::vector<const TUserProp*> users;
    for (const char* login : {"Ann", "ann", "a/b", "user-3", "ANN"})
        users.push_back(&list.Add(login, std::string(login) + "-pw"));
    TTempDir dir;
    const auto files = WriteCredentials(MakeCredentialsMails(KPlain, users, ""),
                                        TCredentialsFormat::Eml, dir.Path().string(), "");
    ASSERT_EQ(files.size(), users.size());
    std::set<std::string> folded;
    for (size_t i = 0; i < files.size(); ++i) {
        std::string name = files[i];
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
        EXPECT_TRUE(folded.insert(name).second) << files[i];
        EXPECT_NE(ReadWholeFile(files[i]).find(users[i]->Password), std::string::npos) << files[i];
    }
}

// A field the user has nothing for leaves no blank before a mark or a line's end ("Hello,"
// for a guest without a name); anywhere else the text stays as written.
TEST(Credentials, AnEmptyFieldLeavesNoStrayBlank) {
    const std::pair<std::string, std::string> cases[] = {
        {"Hello {name},\n", "Hello,\n"},  {"Hello {name}!", "Hello!"},
        {"Mail: {email}\n", "Mail:\n"},   {"Dear {name} and welcome", "Dear  and welcome"},
        {"Hello {login},", "Hello ann,"},
    };
    for (const auto& [body, expected] : cases) {
        SCOPED_TRACE(body);
        TUserList list;
        TUserProp& user = list.Add("ann", "pw");
        const auto mails = MakeCredentialsMails(ParseCredentialsTemplate("Subject: Hi\n\n" + body),
                                                {&user}, "https://site/");
        EXPECT_EQ(mails.at(0).Body, expected);
    }
}

// Each mail is addressed to its user: a "To:" line with the address (and the full name when
// there is one) in every message written, none without an address; the greeting has no stray
// blank without a name; a template's own "To:" gives way to the user's address, and a header
// that comes out empty is left out.
TEST(Credentials, EachMailIsAddressedToItsUser) {
    struct TCase {
        const char* Name;
        std::string FullName, Email, Template;
        std::vector<std::string> Lines;  // in the head, in this order
        std::vector<std::string> Absent; // nowhere in the message
        std::string Greeting;            // the body's first line
    };
    const std::string hello = "Subject: Hi\n\nHello {name},\n";
    const TCase cases[] = {
        {"name and address",
         "Ann Lee",
         "ann@example.org",
         hello,
         {"To: \"Ann Lee\" <ann@example.org>", "Subject: Hi"},
         {},
         "Hello Ann Lee,"},
        {"address alone",
         "",
         "ann@example.org",
         hello,
         {"To: ann@example.org", "Subject: Hi"},
         {"Hello ,"},
         "Hello,"},
        {"no address", "Ann", "", hello, {"Subject: Hi"}, {"To:"}, "Hello Ann,"},
        {"a name outside ASCII",
         "Zoë",
         "z@example.org",
         hello,
         {"To: =?UTF-8?B?Wm/Dqw==?= <z@example.org>"},
         {},
         "Hello Zoë,"},
        {"a quote in the name",
         "Ann \"Nan\" Lee",
         "ann@example.org",
         hello,
         {"To: \"Ann \\\"Nan\\\" Lee\" <ann@example.org>"},
         {},
         "Hello Ann \"Nan\" Lee,"},
        {"the template's To gives way",
         "",
         "ann@example.org",
         "Subject: Hi\nTo: office@example.org\n\nHello {name},\n",
         {"To: ann@example.org"},
         {"office@"},
         "Hello,"},
        {"an empty header is left out",
         "",
         "",
         "Subject: Hi\nTo: {email}\nX-Name: {name}\n\nHi\n",
         {"Subject: Hi"},
         {"To:", "X-Name:"},
         "Hi"},
    };
    for (const TCredentialsFormat format : {TCredentialsFormat::Eml, TCredentialsFormat::Mbox}) {
        for (const TCase& c : cases) {
            SCOPED_TRACE(std::string(c.Name) +
                         (format == TCredentialsFormat::Eml ? " (eml)" : " (mbox)"));
            TUserList list;
            TUserProp& user = list.Add("ann", "pw");
            user.FullName = c.FullName;
            user.Email = c.Email;
            TTempDir dir;
            const auto files = WriteCredentials(
                MakeCredentialsMails(ParseCredentialsTemplate(c.Template), {&user}, ""), format,
                dir.Path().string(), "");
            ASSERT_EQ(files.size(), 1U);
            std::string text = ReadWholeFile(files[0]);
            text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
            const size_t bodyAt = text.find("\n\n");
            ASSERT_NE(bodyAt, std::string::npos);
            std::vector<std::string> head;
            for (size_t start = 0; start <= bodyAt;) {
                const size_t end = text.find('\n', start);
                head.push_back(text.substr(start, end - start));
                start = end + 1;
            }
            auto next = head.begin();
            for (const std::string& line : c.Lines) {
                const auto found = std::find(next, head.end(), line);
                EXPECT_NE(found, head.end()) << line << " in\n" << text.substr(0, bodyAt);
                if (found != head.end()) next = found + 1;
            }
            for (const std::string& absent : c.Absent)
                EXPECT_EQ(text.find(absent), std::string::npos) << absent << " in\n" << text;
            EXPECT_EQ(text.substr(bodyAt + 2, text.find('\n', bodyAt + 2) - bodyAt - 2),
                      c.Greeting);
        }
    }
}
