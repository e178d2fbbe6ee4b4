#include "userdb/LoginRule.h"

#include "base/Errors.h"
#include "userdb/UserDbTexts.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorvane {

TLoginProblem CheckLogin(const std::string& login) {
    if (login.empty()) return TLoginProblem::Empty;
    for (const char c : login)
        if (static_cast<unsigned char>(c) < 32) return TLoginProblem::Control;
    if (login.find(':') != std::string::npos) return TLoginProblem::Colon;
    if (login.size() > KMaxLoginBytes) return TLoginProblem::TooLong;
    return TLoginProblem::None;
}

TMessage LoginProblemMessage(TLoginProblem problem) {
    switch (problem) {
    case TLoginProblem::None:
        return {};
    case TLoginProblem::Empty:
        return Msg(texts::LoginEmpty);
    case TLoginProblem::Colon:
        return Msg(texts::LoginColon);
    case TLoginProblem::Control:
        return Msg(texts::LoginControl);
    case TLoginProblem::TooLong:
        return Msg(texts::LoginTooLong, KMaxLoginBytes);
    }
    return {};
}

TMessage LoginErrorMessage(const std::string& login) {
    return LoginProblemMessage(CheckLogin(login));
}

void RequireValidLogin(const std::string& login) {
    TMessage error = LoginErrorMessage(login);
    if (!error.Empty()) throw EQuorvaneError(std::move(error));
}

bool LoginLooksLikeComment(const std::string& login) {
    return !login.empty() && login.front() == '#';
}

TMessage LoginWarningMessage(const std::string& login) {
    if (!LoginLooksLikeComment(login)) return {};
    return Msg(texts::LoginLooksLikeComment);
}

void AppendForOneLine(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        // Runs of bytes that stand as they are go over in one piece.
        const char* run = p;
#if defined(__SSE2__)
        // Sixteen bytes at a time: a byte below 32 or a backslash ends the run.
        const __m128i top = _mm_set1_epi8(31), backslash = _mm_set1_epi8('\\');
        while (end - p >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i stop =
                _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(v, top), v), _mm_cmpeq_epi8(v, backslash));
            const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
            if (mask != 0) {
                p += __builtin_ctz(mask);
                break;
            }
            p += 16;
        }
#endif
        while (p < end && static_cast<unsigned char>(*p) >= 32 && *p != '\\')
            ++p;
        out.append(run, static_cast<size_t>(p - run));
        if (p == end) break;
        const auto byte = static_cast<unsigned char>(*p++);
        switch (byte) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
}

std::string EscapeForOneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    AppendForOneLine(out, text);
    return out;
}

TMessage PasswordLengthMessage(const std::string& password) {
    if (password.size() <= KMaxPasswordBytes) return {};
    return Msg(texts::PasswordTooLong, KMaxPasswordBytes);
}

void RequireValidPasswordLength(const std::string& password) {
    TMessage error = PasswordLengthMessage(password);
    if (!error.Empty()) throw EQuorvaneError(std::move(error));
}

} // namespace quorvane
