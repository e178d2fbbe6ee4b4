// The login rule shared by every place that makes or changes a login.

#include "base/Errors.h"
#include "userdb/LoginRule.h"
#include "userdb/UserDbTexts.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

using namespace quorvane;

namespace {

using namespace std::string_literals;

struct LoginCase {
    std::string login;
    TLoginProblem problem;
    bool commentWarning;
};

// The case's name in test listings: the login, bytes outside printable ASCII as \xHH.
void PrintTo(const LoginCase& c, std::ostream* os) {
    static const char hex[] = "0123456789ABCDEF";
    *os << '"';
    for (const unsigned char byte : c.login) {
        if (byte >= 0x20 && byte < 0x7f)
            *os << static_cast<char>(byte);
        else
            *os << "\\x" << hex[byte >> 4] << hex[byte & 15];
    }
    *os << '"';
}

class LoginRuleTable : public testing::TestWithParam<LoginCase> {};

TEST_P(LoginRuleTable, ClassifiesTheLogin) {
    const LoginCase& c = GetParam();
    EXPECT_EQ(CheckLogin(c.login), c.problem);
    const TMessage error = LoginErrorMessage(c.login);
    EXPECT_EQ(error.Empty(), c.problem == TLoginProblem::None) << EnglishText(error);
    if (c.problem == TLoginProblem::None) {
        EXPECT_NO_THROW(RequireValidLogin(c.login));
    } else {
        try {
            RequireValidLogin(c.login);
            ADD_FAILURE() << "accepted a bad login";
        } catch (const EQuorvaneError& e) {
            EXPECT_TRUE(e.Message().Is(*error.Text)) << e.what();
        }
    }
    EXPECT_EQ(LoginLooksLikeComment(c.login), c.commentWarning);
    EXPECT_EQ(LoginWarningMessage(c.login).Is(texts::LoginLooksLikeComment), c.commentWarning);
}

INSTANTIATE_TEST_SUITE_P(
    Logins, LoginRuleTable,
    testing::Values(LoginCase{"jsmith", TLoginProblem::None, false},
                    LoginCase{"Jos\xc3\xa9 Smith", TLoginProblem::None, false}, // space, UTF-8
                    LoginCase{"~!@$%^&*()", TLoginProblem::None, false},
                    LoginCase{"\x7f\xff", TLoginProblem::None, false}, // 127 and up are not control
                    LoginCase{"#admin", TLoginProblem::None, true},
                    LoginCase{"a#", TLoginProblem::None, false},
                    LoginCase{"", TLoginProblem::Empty, false},
                    LoginCase{"admin:$apr1$x$y", TLoginProblem::Colon, false},
                    LoginCase{":", TLoginProblem::Colon, false},
                    LoginCase{"a\tb", TLoginProblem::Control, false},
                    LoginCase{"a\r\nb:x", TLoginProblem::Control, false},
                    LoginCase{"a\nb", TLoginProblem::Control, false},
                    LoginCase{"ab\0c"s, TLoginProblem::Control, false},
                    LoginCase{"\x1f", TLoginProblem::Control, false},
                    LoginCase{"#\n", TLoginProblem::Control, true},
                    LoginCase{std::string(255, 'a'), TLoginProblem::None, false},
                    LoginCase{std::string(256, 'a'), TLoginProblem::TooLong, false},
                    LoginCase{std::string(300, 'a') + ":", TLoginProblem::Colon, false}));

TEST(LoginRule, EveryProblemHasItsOwnMessage) {
    EXPECT_TRUE(LoginProblemMessage(TLoginProblem::None).Empty());
    const std::pair<TLoginProblem, const TMessageText*> cases[] = {
        {TLoginProblem::Empty, &texts::LoginEmpty},
        {TLoginProblem::Colon, &texts::LoginColon},
        {TLoginProblem::Control, &texts::LoginControl},
        {TLoginProblem::TooLong, &texts::LoginTooLong},
    };
    for (const auto& [problem, text] : cases)
        EXPECT_TRUE(LoginProblemMessage(problem).Is(*text)) << text->Id;
}

TEST(EscapeForOneLine, NoFieldCanFakeALineOrAColumn) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"plain text", "plain text"},
        {"a\tb", "a\\tb"},
        {"a\tb\r\nc", "a\\tb\\r\\nc"},
        {"\\", "\\\\"},
        {"\\n", "\\\\n"},
        {"x\0y"s, "x\\x00y"},
        {"\x1b[31m", "\\x1b[31m"},
        {"\x7f\xc3\xa9", "\x7f\xc3\xa9"},
    };
    for (const auto& [text, escaped] : cases) {
        EXPECT_EQ(EscapeForOneLine(text), escaped);
        EXPECT_EQ(EscapeForOneLine(text).find_first_of("\t\r\n"s), std::string::npos);
    }
}

} // namespace
