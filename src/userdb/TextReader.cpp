// Reads the text of a users database file in one pass over it (a large collection of users is
// read ahead in pieces on other threads, to the same outcome). Nothing reaches the list before
// the whole text has been checked: the entries are applied on the way to a fresh list, and only
// once the text has turned out well formed do they go over to the list being loaded, up to the
// first entry that did not suit it. The list thus ends up exactly as if the syntax of the whole
// text had been checked first and the entries applied afterwards in file order.

#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "userdb/DataLib.h"
#include "userdb/DataLibInternal.h"
#include "userdb/UserDbTexts.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorvane {

namespace {

// Raised inside the reader for a text that is not well formed; the caller turns it into "The
// file is not valid".
struct TInvalidText {};

[[noreturn]] void Invalid() {
    throw TInvalidText{};
}

constexpr int kMaxNesting = 200; // deeper nesting is refused rather than exhausting the stack

// Classes of the bytes, one table lookup per byte.
enum : uint8_t {
    kBlank = 1,      // 1 to 32: separates tokens
    kIdentStart = 2, // a letter or "_"
    kIdentPart = 4,  // a letter, a digit or "_"
    kDigit = 8,
    kHex = 16,
    kNumberPart = 32, // what continues a number: digits, ".", "E", "e", "+", "-"
};

constexpr std::array<uint8_t, 256> MakeClasses() {
    std::array<uint8_t, 256> t{};
    for (int c = 1; c <= 32; ++c)
        t[c] |= kBlank;
    for (int c = 0; c < 256; ++c) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
        const bool digit = c >= '0' && c <= '9';
        if (letter) t[c] |= kIdentStart | kIdentPart;
        if (digit) t[c] |= kIdentPart | kDigit | kHex | kNumberPart;
        if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) t[c] |= kHex;
        if (c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-') t[c] |= kNumberPart;
    }
    return t;
}
constexpr std::array<uint8_t, 256> kClasses = MakeClasses();

inline bool Is(unsigned char c, uint8_t what) {
    return (kClasses[c] & what) != 0;
}
inline bool IsDigit(unsigned char c) {
    return Is(c, kDigit);
}
inline unsigned char Upper(unsigned char c) {
    return static_cast<unsigned char>(AsciiUpper(static_cast<char>(c)));
}

bool SameText(std::string_view a, std::string_view b) {
    return SameTextAscii(a, b);
}

enum class TTok { Eof, Symbol, Ident, String, Integer, Float };

class TTokenizer {
public:
    explicit TTokenizer(std::string_view text)
        : FStart(reinterpret_cast<const unsigned char*>(text.data())), FP(FStart),
          FEnd(FP + text.size()) {}

    TTok Kind = TTok::Eof;
    std::string_view Span; // the token's text (a number without its suffix letter)
    char Symbol = 0;
    char Suffix = 0;   // s, c or d after a floating-point number
    bool Hex = false;  // an integer written with "$"
    bool Wide = false; // a string with a code of 256 or more
    bool Build = true; // make the bytes of string tokens (Bytes())

    // The bytes of a string token (only while Build is set): a view of the text itself when
    // the token is one quoted piece that needs no change, else the bytes put together.
    std::string_view Bytes() const { return FBytesAreView ? FView : std::string_view(FStr); }

    // How far the text has been read.
    size_t Offset() const { return static_cast<size_t>(FP - FStart); }
    // Where the current token starts.
    size_t TokenOffset() const { return static_cast<size_t>(FTokenStart - FStart); }

    // Goes on with the token that starts at this offset, as if the text before it had been read.
    void SeekTo(size_t offset) {
        FP = FStart + offset;
        Next();
    }

    void Next() {
        SkipBlanks();
        FTokenStart = FP;
        // A zero byte ends the text like its real end.
        if (FP >= FEnd || *FP == 0) {
            Kind = TTok::Eof;
            Span = {};
            return;
        }
        const unsigned char* const start = FP;
        const unsigned char c = *FP;
        if (Is(c, kIdentStart)) {
            ++FP;
            SkipIdentPart();
            Kind = TTok::Ident;
        } else if (c == '\'' || c == '#') {
            ReadString();
            Kind = TTok::String;
        } else if (c == '-' || IsDigit(c)) {
            ++FP;
            while (FP < FEnd && IsDigit(*FP))
                ++FP;
            Kind = TTok::Integer;
            Hex = false;
            Suffix = 0;
            while (FP < FEnd && Is(*FP, kNumberPart)) {
                ++FP;
                Kind = TTok::Float;
            }
            Span = View(start, FP);
            if (FP < FEnd && (*FP == 's' || *FP == 'S' || *FP == 'c' || *FP == 'C' || *FP == 'd' ||
                              *FP == 'D')) {
                Suffix = static_cast<char>(*FP | 0x20);
                Kind = TTok::Float;
                ++FP;
            }
            return;
        } else if (c == '$') {
            ++FP;
            while (FP < FEnd && Is(*FP, kHex))
                ++FP;
            Kind = TTok::Integer;
            Hex = true;
        } else {
            ++FP;
            Kind = TTok::Symbol;
            Symbol = static_cast<char>(c);
        }
        Span = View(start, FP);
    }

    // After a name: when the next token is the symbol c, steps over it without making it the
    // current token (the caller then reads the token after it) and says so.
    bool SkipSymbolAhead(char c) {
        SkipBlanks();
        if (FP >= FEnd || *FP != static_cast<unsigned char>(c)) return false;
        ++FP;
        return true;
    }

    bool IsSymbol(char s) const { return Kind == TTok::Symbol && Symbol == s; }
    bool IsKeyword(std::string_view word) const {
        return Kind == TTok::Ident && SameText(Span, word);
    }

    // The raw hexadecimal pairs of a binary value, read straight after its "{"; leaves the
    // position at the closing "}".
    void SkipBinary() {
        for (;;) {
            while (FP < FEnd && Is(*FP, kBlank))
                ++FP;
            if (FP < FEnd && *FP == '}') return;
            size_t pairs = 0;
            while (FEnd - FP >= 2 && Is(FP[0], kHex) && Is(FP[1], kHex)) {
                FP += 2;
                ++pairs;
            }
            if (pairs == 0) Invalid();
        }
    }

private:
    static std::string_view View(const unsigned char* a, const unsigned char* b) {
        return {reinterpret_cast<const char*>(a), static_cast<size_t>(b - a)};
    }

    void SkipBlanks() {
        // Most gaps between tokens are a single blank; longer runs go sixteen bytes at a time.
        if (FP < FEnd && Is(*FP, kBlank)) ++FP;
        if (FP >= FEnd || !Is(*FP, kBlank)) return;
#if defined(__SSE2__)
        // Sixteen bytes at a time: a blank is a byte from 1 to 32, that is one whose value less
        // one is at most 31 (a zero byte wraps to 255 and ends the run, as it ends the text).
        const __m128i one = _mm_set1_epi8(1), top = _mm_set1_epi8(31);
        while (FEnd - FP >= 16) {
            const __m128i t =
                _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(FP)), one);
            const unsigned blank =
                static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(t, top), t)));
            if (blank != 0xFFFF) {
                FP += __builtin_ctz(~blank);
                return;
            }
            FP += 16;
        }
#endif
        while (FP < FEnd && Is(*FP, kBlank))
            ++FP;
    }

    // Moves past the letters, digits and "_" at the position.
    void SkipIdentPart() {
#if defined(__SSE2__)
        // Sixteen bytes at a time: a letter once folded to lower case lies in a to z, a digit in
        // 0 to 9 (each range tested as one unsigned comparison after a shift to 0).
        const __m128i lowerBit = _mm_set1_epi8(0x20), a = _mm_set1_epi8('a'),
                      zero = _mm_set1_epi8('0'), letters = _mm_set1_epi8(25),
                      digits = _mm_set1_epi8(9), underscore = _mm_set1_epi8('_');
        while (FEnd - FP >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(FP));
            const __m128i l = _mm_sub_epi8(_mm_or_si128(v, lowerBit), a);
            const __m128i d = _mm_sub_epi8(v, zero);
            const __m128i part =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(l, letters), l),
                                          _mm_cmpeq_epi8(_mm_min_epu8(d, digits), d)),
                             _mm_cmpeq_epi8(v, underscore));
            const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(part));
            if (mask != 0xFFFF) {
                FP += __builtin_ctz(~mask);
                return;
            }
            FP += 16;
        }
#endif
        while (FP < FEnd && Is(*FP, kIdentPart))
            ++FP;
    }

    // Moves to the first apostrophe, CR, LF or zero byte at or after the position (or the end).
    void SkipQuotedRun() {
#if defined(__SSE2__)
        const __m128i quote = _mm_set1_epi8('\''), zero = _mm_setzero_si128(),
                      cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
        while (FEnd - FP >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(FP));
            const __m128i stop =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, zero)),
                             _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
            const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
            if (mask != 0) {
                FP += __builtin_ctz(mask);
                return;
            }
            FP += 16;
        }
#endif
        while (FP < FEnd && *FP != '\'' && *FP != 0 && *FP != '\r' && *FP != '\n')
            ++FP;
    }

    // Appends bytes to the string being built; the first piece is only looked at, and copied
    // once a second piece shows that the bytes must be put together.
    void Put(std::string_view piece) {
        if (!Build) return;
        if (FBytesAreView) {
            if (FView.empty()) {
                FView = piece;
                return;
            }
            FStr.assign(FView);
            FBytesAreView = false;
        }
        FStr.append(piece);
    }
    void PutByte(char c) {
        if (!Build) return;
        if (FBytesAreView) {
            FStr.assign(FView);
            FBytesAreView = false;
        }
        FStr.push_back(c);
    }

    void ReadString() {
        FBytesAreView = true;
        FView = {};
        FStr.clear();
        Wide = false;
        for (;;) {
            if (FP >= FEnd) break;
            if (*FP == '#') {
                ++FP;
                unsigned code = 0;
                while (FP < FEnd && IsDigit(*FP)) {
                    if (code < 0x10000) code = code * 10 + (*FP - '0');
                    ++FP;
                }
                if (code >= 256)
                    Wide = true;
                else
                    PutByte(static_cast<char>(code));
            } else if (*FP == '\'') {
                ++FP;
                for (;;) {
                    const unsigned char* run = FP;
                    SkipQuotedRun();
                    if (FP > run) Put(View(run, FP));
                    if (FP >= FEnd || *FP != '\'') Invalid(); // unterminated quoted piece
                    ++FP;
                    if (FP < FEnd && *FP == '\'') { // a doubled apostrophe stands for one
                        PutByte('\'');
                        ++FP;
                        continue;
                    }
                    break;
                }
            } else {
                break;
            }
        }
    }

    const unsigned char* const FStart;
    const unsigned char* FP;
    const unsigned char* const FEnd;
    const unsigned char* FTokenStart = FStart;
    bool FBytesAreView = true;
    std::string_view FView;
    std::string FStr;
};

// What a property entry is applied to.
// Apart: a string the user keeps apart from its record, reached through its accessors.
enum class TPropKind : uint8_t {
    None,
    String,
    Apart,
    Boolean,
    Date,
    PassType,
    Integer,
    Items,
    Targets
};

// The properties of a user and of the list that the file may set, by name (compared without
// regard to ASCII letter case). A new property is one more row.
struct TUserField {
    std::string_view Name;
    TPropKind Kind;
    std::string TUserProp::*Str = nullptr;
    bool TUserProp::*Flag = nullptr;
    TDateTime TUserProp::*Date = nullptr;
    const std::string& (TUserProp::*Get)() const = nullptr; // an Apart string's accessors
    void (TUserProp::*Set)(std::string) = nullptr;
};

const TUserField kUserFields[] = {
    {"Login", TPropKind::String, &TUserProp::Login},
    {"Password", TPropKind::String, &TUserProp::Password},
    {"Disable", TPropKind::Boolean, nullptr, &TUserProp::Disable},
    {"Expire", TPropKind::Boolean, nullptr, &TUserProp::Expire},
    {"ExpireDate", TPropKind::Date, nullptr, nullptr, &TUserProp::ExpireDate},
    {"CreatedDate", TPropKind::Date, nullptr, nullptr, &TUserProp::CreatedDate},
    {"FullName", TPropKind::String, &TUserProp::FullName},
    {"Email", TPropKind::String, &TUserProp::Email},
    {"Comments", TPropKind::String, &TUserProp::Comments},
    {"PasswordHash", TPropKind::Apart, nullptr, nullptr, nullptr, &TUserProp::PasswordHash,
     &TUserProp::SetStoredValue},
    {"Groups", TPropKind::Apart, nullptr, nullptr, nullptr, &TUserProp::Groups,
     &TUserProp::SetGroups},
};

struct TListField {
    std::string_view Name;
    TPropKind Kind;
    std::string TUserList::*Str = nullptr;
    bool TUserList::*Flag = nullptr;
    int TUserList::*Int = nullptr;
    int Min = 0, Max = 0; // the accepted range of an Integer
    // A setting of the first target, as a further target's is read (see kTargetFields).
    std::string TTargetSettings::*TargetStr = nullptr;
    bool TTargetSettings::*TargetFlag = nullptr;
    bool FirstTarget = false;
};

// The first target's settings in the list's rows.
constexpr TListField FirstTargetString(std::string_view name,
                                       std::string TTargetSettings::*member) {
    return {name, TPropKind::String, nullptr, nullptr, nullptr, 0, 0, member, nullptr, true};
}
constexpr TListField FirstTargetFlag(std::string_view name, bool TTargetSettings::*member) {
    return {name, TPropKind::Boolean, nullptr, nullptr, nullptr, 0, 0, nullptr, member, true};
}

const TListField kListFields[] = {
    {"Items", TPropKind::Items},
    {"PassType", TPropKind::PassType},
    {"BcryptCost", TPropKind::Integer, nullptr, nullptr, &TUserList::BcryptCost, KBcryptCostMin,
     KBcryptCostMax},
    {"ShaRounds", TPropKind::Integer, nullptr, nullptr, &TUserList::ShaRounds, KShaRoundsMin,
     KShaRoundsMax},
    {"HashCacheKey", TPropKind::String, &TUserList::HashCacheKey},
    {"KeepClearPasswords", TPropKind::Boolean, nullptr, &TUserList::KeepClearPasswords},
    FirstTargetString("PassFile", &TTargetSettings::PassFile),
    {"UnixLineEnds", TPropKind::Boolean, nullptr, &TUserList::UnixLineEnds},
    {"GroupFile", TPropKind::String, &TUserList::GroupFile},
    FirstTargetFlag("ExportToFile", &TTargetSettings::ExportToFile),
    FirstTargetString("FtpHost", &TTargetSettings::FtpHost),
    FirstTargetString("FtpUser", &TTargetSettings::FtpUser),
    FirstTargetString("FtpPass", &TTargetSettings::FtpPass),
    FirstTargetString("FtpPasswdFile", &TTargetSettings::FtpPasswdFile),
    FirstTargetFlag("FtpStorePass", &TTargetSettings::FtpStorePass),
    FirstTargetFlag("FtpPassiveMode", &TTargetSettings::FtpPassiveMode),
    FirstTargetString("FtpProtocol", &TTargetSettings::FtpProtocol),
    FirstTargetString("FtpTlsPin", &TTargetSettings::FtpTlsPin),
    FirstTargetString("FtpCaFile", &TTargetSettings::FtpCaFile),
    FirstTargetString("FtpKeyFile", &TTargetSettings::FtpKeyFile),
    FirstTargetString("FtpHostKeys", &TTargetSettings::FtpHostKeys),
    FirstTargetString("StoreUrl", &TTargetSettings::StoreUrl),
    FirstTargetString("StoreOwner", &TTargetSettings::StoreOwner),
    // Empty: "default"; Disabled: the inverse of Enabled, kept while read as a further
    // target's is.
    FirstTargetString("TargetName", &TTargetSettings::Name),
    {"TargetDisabled", TPropKind::Boolean, nullptr, nullptr, nullptr, 0, 0, nullptr, nullptr, true},
    FirstTargetString("CheckUrl", &TTargetSettings::CheckUrl),
    FirstTargetString("CheckUser", &TTargetSettings::CheckUser),
    FirstTargetString("TargetOptions", &TTargetSettings::Options),
    {"Targets", TPropKind::Targets},
};
constexpr size_t kListFieldCount = sizeof kListFields / sizeof kListFields[0];

// The properties of a further target, under the names the list gives its first one. Disabled
// is the inverse of Enabled, which the reader keeps in TTargetDisabled.
struct TTargetField {
    std::string_view Name;
    TPropKind Kind;
    std::string TTargetSettings::*Str = nullptr;
    bool TTargetSettings::*Flag = nullptr;
};

// Where a further target's Disabled goes while it is read: Enabled is its inverse.
struct TTargetRead : TTargetSettings {
    bool Disabled = false;
};

const TTargetField kTargetFields[] = {
    {"Name", TPropKind::String, &TTargetSettings::Name},
    {"Disabled", TPropKind::Boolean},
    {"PassFile", TPropKind::String, &TTargetSettings::PassFile},
    {"ExportToFile", TPropKind::Boolean, nullptr, &TTargetSettings::ExportToFile},
    {"FtpHost", TPropKind::String, &TTargetSettings::FtpHost},
    {"FtpUser", TPropKind::String, &TTargetSettings::FtpUser},
    {"FtpPass", TPropKind::String, &TTargetSettings::FtpPass},
    {"FtpPasswdFile", TPropKind::String, &TTargetSettings::FtpPasswdFile},
    {"FtpStorePass", TPropKind::Boolean, nullptr, &TTargetSettings::FtpStorePass},
    {"FtpPassiveMode", TPropKind::Boolean, nullptr, &TTargetSettings::FtpPassiveMode},
    {"FtpProtocol", TPropKind::String, &TTargetSettings::FtpProtocol},
    {"FtpTlsPin", TPropKind::String, &TTargetSettings::FtpTlsPin},
    {"FtpCaFile", TPropKind::String, &TTargetSettings::FtpCaFile},
    {"FtpKeyFile", TPropKind::String, &TTargetSettings::FtpKeyFile},
    {"FtpHostKeys", TPropKind::String, &TTargetSettings::FtpHostKeys},
    {"StoreUrl", TPropKind::String, &TTargetSettings::StoreUrl},
    {"StoreOwner", TPropKind::String, &TTargetSettings::StoreOwner},
    {"CheckUrl", TPropKind::String, &TTargetSettings::CheckUrl},
    {"CheckUser", TPropKind::String, &TTargetSettings::CheckUser},
    {"Options", TPropKind::String, &TTargetSettings::Options},
};
static_assert(kListFieldCount <= 64, "the fields set by a file are kept in one 64-bit mask");

// The row of a name, or -1. The search starts at the row after the one found last, where the
// writer's order puts the next name.
template <class TField, size_t N>
int FindField(const TField (&fields)[N], std::string_view name, size_t& hint) {
    // The name as the writer spells it, where the writer puts it.
    if (fields[hint].Name == name) {
        const int row = static_cast<int>(hint);
        hint = hint + 1 == N ? 0 : hint + 1;
        return row;
    }
    for (size_t k = 0; k < N; ++k) {
        size_t i = hint + k;
        if (i >= N) i -= N;
        if (SameText(fields[i].Name, name)) {
            hint = i + 1 == N ? 0 : i + 1;
            return static_cast<int>(i);
        }
    }
    return -1;
}

// One property entry's destination: a row of one of the tables with its object.
struct TDestination {
    TPropKind Kind = TPropKind::None;
    const TUserField* User = nullptr;
    TUserProp* UserObject = nullptr;
    const TTargetField* Item = nullptr; // a further target's property
    TTargetRead* ItemObject = nullptr;
    int ListRow = -1;
};

// An integer token as a signed 64-bit number ("$" and up to 16 hexadecimal digits wrap).
int64_t IntegerValue(std::string_view s, bool hex) {
    if (hex) {
        if (s.size() < 2 || s.size() > 17) Invalid();
        uint64_t v = 0;
        for (size_t i = 1; i < s.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            v = v * 16 + (IsDigit(c) ? c - '0' : (Upper(c) - 'A' + 10));
        }
        return static_cast<int64_t>(v);
    }
    const bool negative = !s.empty() && s[0] == '-';
    const size_t first = negative ? 1 : 0;
    if (s.size() <= first) Invalid();
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    uint64_t v = 0;
    for (size_t i = first; i < s.size(); ++i) {
        const unsigned d = static_cast<unsigned char>(s[i]) - '0';
        if (v > (limit - d) / 10) Invalid();
        v = v * 10 + d;
    }
    return negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
}

struct TFloat {
    double Value = 0;
    bool Overflow = false; // beyond a double's range, though within the extended range
};

// A floating-point token: sign, digits with at most one ".", an optional exponent.
// The form the writer produces, "-ddd.ddd" with at most 15 digits and no exponent, exactly:
// the digits make an integer below 2^53 and the power of ten a double without rounding, so the
// one division rounds once, to the nearest double, as the general conversion does. False for
// every other form.
bool PlainDecimal(std::string_view s, double& value) {
    const char* p = s.data();
    const char* const end = p + s.size();
    const bool negative = p < end && *p == '-';
    if (negative) ++p;
    // The digits, then those after the point: one integer, wrapping harmlessly when there are
    // too many (the form is refused then).
    uint64_t mantissa = 0;
    const char* const first = p;
    for (; p < end && static_cast<unsigned>(*p - '0') <= 9; ++p)
        mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    size_t digits = static_cast<size_t>(p - first), fraction = 0;
    if (p < end && *p == '.') {
        const char* const point = ++p;
        for (; p < end && static_cast<unsigned>(*p - '0') <= 9; ++p)
            mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        fraction = static_cast<size_t>(p - point);
        digits += fraction;
    }
    if (p != end || digits == 0 || digits > 15) return false;
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    value = static_cast<double>(mantissa);
    if (fraction > 0) value /= kPowers[fraction];
    if (negative) value = -value;
    return true;
}

TFloat FloatValue(std::string_view s, char suffix) {
    if (TFloat plain; suffix == 0 && PlainDecimal(s, plain.Value)) return plain;
    size_t i = 0;
    const size_t n = s.size();
    if (i < n && s[i] == '-') ++i;
    size_t mantissaDigits = 0;
    long long lead = 0; // decimal exponent of the first non-zero digit, without the E part
    bool seenNonZero = false, seenPoint = false;
    long long intDigits = 0, zerosAfterPoint = 0;
    for (; i < n; ++i) {
        const char c = s[i];
        if (IsDigit(static_cast<unsigned char>(c))) {
            ++mantissaDigits;
            if (!seenPoint) {
                if (seenNonZero || c != '0') ++intDigits;
            } else if (!seenNonZero && c == '0') {
                ++zerosAfterPoint;
            }
            if (c != '0') seenNonZero = true;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (mantissaDigits == 0) Invalid();
    long long exponent = 0;
    if (i < n) {
        if (s[i] != 'e' && s[i] != 'E') Invalid();
        ++i;
        bool negative = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
        if (i >= n) Invalid();
        for (; i < n; ++i) {
            if (!IsDigit(static_cast<unsigned char>(s[i]))) Invalid();
            if (exponent < 100000000) exponent = exponent * 10 + (s[i] - '0');
        }
        if (negative) exponent = -exponent;
    }
    lead = intDigits > 0 ? intDigits - 1 : -zerosAfterPoint - 1;

    TFloat result;
    const char* const first = s.data();
    const char* const last = first + i;
    const auto r = std::from_chars(first, last, result.Value);
    if (r.ec == std::errc::invalid_argument || r.ptr != last) Invalid();
    if (r.ec == std::errc::result_out_of_range) {
        // The text's number is read in the 80-bit extended range first, then taken to a double.
        long double wide = 0;
        const auto rw = std::from_chars(first, last, wide);
        const bool negative = s[0] == '-';
        if (rw.ec == std::errc::result_out_of_range) {
            if (lead + exponent >= 0) Invalid(); // beyond even the extended range
            result.Value = negative ? -0.0 : 0.0;
        } else if (std::fabs(wide) <= static_cast<long double>(DBL_MAX)) {
            result.Value = static_cast<double>(wide); // a tiny value: subnormal or zero
        } else if (std::fabs(wide) <= 1.79769313486232E308L) {
            // The largest double as written with 15 digits reads back as the largest double.
            result.Value = negative ? -DBL_MAX : DBL_MAX;
        } else {
            result.Overflow = true;
        }
    }
    const double mag = result.Value < 0 ? -result.Value : result.Value;
    switch (suffix) {
    case 's':
        if (result.Overflow || mag > FLT_MAX) Invalid();
        break;
    case 'c':
        if (result.Overflow || mag >= 922337203685477.5808) Invalid();
        break;
    case 'd':
        if (result.Overflow) Invalid();
        break;
    default:
        break;
    }
    return result;
}

// The reader sees the text through a 4096-byte window that must always hold a line end: a line
// of 4095 bytes or more before its line feed cannot be read unless the text ends within the
// window. Each step looks at the window from a line's start and goes on after the last line
// feed in it; every line that starts before that line feed ends inside the window. A line too
// long is thus always met, from whatever line the steps start: this checks the lines that start
// in [from, to), from the start of a line.
bool LinesFitWindow(std::string_view text, size_t from, size_t to, const TReleaseHint& release) {
    constexpr size_t kWindow = 4096;
    constexpr size_t kReleaseStep = size_t{8} << 20;
    const size_t size = text.size();
    size_t start = from, released = from;
    while (start < to && size - start >= kWindow) {
        const void* lf = ::memrchr(text.data() + start, '\n', kWindow - 1);
        if (lf == nullptr) return false;
        start = static_cast<size_t>(static_cast<const char*>(lf) - text.data()) + 1;
        if (release && start - released >= kReleaseStep) {
            release(released, start);
            released = start;
        }
    }
    if (release) release(released, std::min(to, size));
    return true;
}

// Why the entries stopped being applied: the first entry that did not suit the list.
enum class TRefusal { None, Invalid, UnknownPassType };

// The users of a large collection are read in pieces, each from a line that starts with "item",
// on other threads while this one takes in the pieces before. A piece is read as the
// collection's loop would read on from that item. It counts only when the reading before it
// arrives at exactly that item, at the collection's own level; else the reading just goes on
// past it. So the outcome is always that of one pass from the start.
struct TPiece {
    size_t From = 0;               // where its first item starts
    size_t To = std::string::npos; // where the next piece's starts (npos: none)
    size_t Line = 0, LinesEnd = 0; // the lines it checks: from its first one to the next's
    bool LinesFit = true;
    std::vector<TUserProp> Streamed; // its users, when they go to a stream: the first Count
    size_t Count = 0;
    std::unique_ptr<TUserStream> Part; // the stream's part that took them, if it has parts
    TUserList Staged;                  // its users, when they go to the list
    bool Read = false;
    bool Invalid = false; // not well formed
    std::exception_ptr Error;
    TRefusal Refusal = TRefusal::None; // an entry that did not suit, and what it was
    std::string UnknownPassType;
    bool Landed = false; // arrived at the item at To; else stopped at the collection's end
    size_t StopAt = 0;   // where the collection's ">" is, when it did not land
};

// How large a text's collection must be, and the pieces, for the read ahead.
struct TPieceSettings {
    size_t Bytes = 0;     // 0: read in one pass only
    unsigned Workers = 0; // threads besides the calling one (0: the calling one reads each piece)
};

class TParser;

const TUserProp& BlankUser() {
    static const TUserProp blank;
    return blank;
}

// The pieces of one collection and the threads that read them ahead, at most a few pieces
// beyond the one being taken in. Each piece is found when it is first needed, so that the text
// is looked at front to back.
class TReadAhead {
public:
    // Users: the stream the users go to (nullptr: the list).
    TReadAhead(std::string_view text, size_t first, const TPieceSettings& settings, int depth,
               const TUserStream* users);
    ~TReadAhead();
    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;

    // Where the next piece starts; npos when none is left.
    size_t NextStart() const { return FNextStart; }
    // The next piece, read (here, when no thread has begun it).
    TPiece& Take();
    // Done with the piece taken: it goes, and the threads may read one further.
    void Done();

private:
    TPiece* Piece(size_t index);
    void Reuse(TPiece& piece);
    void Work();
    void Read(TPiece& piece) const;

    const std::string_view FText;
    const size_t FBytes;
    const int FDepth;
    const TUserStream* const FUsers;
    const size_t FWindow;
    std::deque<TPiece> FPieces;                 // from the next one to take on
    std::vector<std::vector<TUserProp>> FSpare; // users of pieces gone, to be filled again
    size_t FFound;                              // where the piece after the last one found starts
    size_t FTaken = 0;                          // pieces taken in and gone
    size_t FClaim = 0;                          // the piece a thread may begin next
    size_t FNextStart;                          // FTaken's start, for the taking thread alone
    bool FStop = false;
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::vector<std::thread> FThreads;
};

class TParser {
public:
    // With slots, a parser of a piece whose users go there, in place of a stream or the list.
    // With a part as well, each of those users goes to it too.
    TParser(std::string_view text, const TReleaseHint& release, TUserStream* users,
            std::string_view listName, TPieceSettings pieces = {},
            std::vector<TUserProp>* slots = nullptr, TUserStream* part = nullptr)
        : FText(text), FTok(text), FRelease(release), FUsers(users), FListName(listName),
          FPieces(pieces), FSlots(slots), FPart(part) {}

    // Reads the items of a piece as the loop of its collection (at this nesting depth) would,
    // up to the next piece's first item or the collection's end.
    void ReadPiece(TPiece& piece, int depth) {
        FDepth = depth;
        FTok.SeekTo(piece.From);
        bool users = true;
        size_t to = piece.To;
        while (!FTok.IsSymbol('>')) {
            if (FTok.TokenOffset() >= to) {
                if (FTok.TokenOffset() == to) {
                    piece.Landed = true;
                    break;
                }
                to = std::string::npos; // went past it, inside an item: on to the end
            }
            Item(users);
        }
        if (!piece.Landed) piece.StopAt = FTok.TokenOffset();
        piece.Refusal = FRefusal;
        piece.UnknownPassType = FUnknownPassType;
        if (FSlots == nullptr) piece.Staged.TakeUsers(FStaged);
        piece.Count = FSlotCount;
    }

    void Parse() {
        FTok.Next();
        Object(true);
    }

    // The lines no piece read ahead has checked (all of them, when none was).
    void CheckLines() {
        size_t from = 0;
        for (const auto& [first, end] : FLinesChecked) {
            if (!LinesFitWindow(FText, from, first, FRelease)) Invalid();
            from = end;
        }
        if (!LinesFitWindow(FText, from, FText.size(), FRelease)) Invalid();
    }

    // Carries what was applied over to the list being loaded; then raises the refusal, if any.
    void Commit(TUserList& list) {
        if (FNamed) list.SetName(FStaged.Name());
        if (FUsersReplaced) list.TakeUsers(FStaged);
        // The first target's settings the text gave, over those the list had.
        std::optional<TTargetSettings> first;
        for (size_t row = 0; row < kListFieldCount; ++row) {
            if ((FSetFields & (uint64_t{1} << row)) == 0) continue;
            const TListField& f = kListFields[row];
            if (f.FirstTarget) {
                if (!first) first = SettingsOf(list.Targets.front());
                if (f.TargetStr != nullptr)
                    (*first).*f.TargetStr = std::move(FFirst.*f.TargetStr);
                else if (f.TargetFlag != nullptr)
                    (*first).*f.TargetFlag = FFirst.*f.TargetFlag;
                else
                    first->Enabled = !FFirst.Disabled;
                continue;
            }
            switch (f.Kind) {
            case TPropKind::String:
                list.*f.Str = std::move(FStaged.*f.Str);
                break;
            case TPropKind::Boolean:
                list.*f.Flag = FStaged.*f.Flag;
                break;
            case TPropKind::Integer:
                list.*f.Int = FStaged.*f.Int;
                break;
            case TPropKind::PassType:
                list.PassType = FStaged.PassType;
                break;
            case TPropKind::Targets:
                list.Targets.resize(1);
                for (const TTargetSettings& t : FFurther)
                    list.Targets.push_back(TargetOf(t));
                break;
            default:
                break;
            }
        }
        if (first) {
            if (first->Name.empty()) first->Name = KFirstTargetName;
            list.Targets.front() = TargetOf(*first);
        }
        if (FRefusal == TRefusal::UnknownPassType)
            throw EQuorvaneError(Msg(texts::FileUnknownPasswordForm, FUnknownPassType));
        if (FRefusal == TRefusal::Invalid) throw EQuorvaneError(Msg(texts::FileNotValid));
    }

private:
    // The entry at hand does not suit the list: from here on the text is only checked.
    void Refuse(TRefusal why = TRefusal::Invalid) {
        FRefusal = why;
        FApplying = false;
        FTok.Build = false;
    }

    void Enter() {
        if (++FDepth > kMaxNesting) Invalid();
    }
    void Leave() { --FDepth; }

    void Expect(TTok kind) {
        if (FTok.Kind != kind) Invalid();
    }
    void ExpectSymbol(char s) {
        if (!FTok.IsSymbol(s)) Invalid();
    }
    bool AtObjectKeyword() const {
        return FTok.IsKeyword("object") || FTok.IsKeyword("inherited") || FTok.IsKeyword("inline");
    }

    // The pages of a mapped file read so far may go; the text is read front to back once.
    void MaybeRelease() {
        constexpr size_t kReleaseStep = size_t{8} << 20;
        if (!FRelease) return;
        const size_t at = FTok.Offset();
        if (at - FReleased < kReleaseStep) return;
        FRelease(FReleased, at);
        FReleased = at;
    }

    // "[" integer "]" after a class name or "item"; the position itself is ignored.
    void OptionalPosition() {
        if (!FTok.IsSymbol('[')) return;
        FTok.Next();
        Expect(TTok::Integer);
        IntegerValue(FTok.Span, FTok.Hex);
        FTok.Next();
        ExpectSymbol(']');
        FTok.Next();
    }

    void Object(bool root) {
        Enter();
        if (!AtObjectKeyword()) Invalid();
        FTok.Next();
        Expect(TTok::Ident);
        const std::string_view first = FTok.Span;
        std::string_view name;
        FTok.Next();
        if (FTok.IsSymbol(':')) {
            name = first;
            FTok.Next();
            Expect(TTok::Ident);
            FTok.Next();
        }
        OptionalPosition();
        if (root && FApplying && !name.empty()) {
            FStaged.SetName(std::string(name));
            FNamed = true;
        }
        while (!FTok.IsKeyword("end") && !AtObjectKeyword())
            Property(root, nullptr);
        while (!FTok.IsKeyword("end")) {
            if (FApplying) Refuse(); // the list has no child objects
            Object(false);
        }
        FTok.Next(); // the token after "end" must still be well formed
        Leave();
    }

    // Reads the ".name" parts that may follow a name; true when there was one.
    bool SkipDottedTail() {
        bool dotted = false;
        while (FTok.IsSymbol('.')) {
            FTok.Next();
            Expect(TTok::Ident);
            FTok.Next();
            dotted = true;
        }
        return dotted;
    }

    // An entry of the list (root), of a user (user) or of a further target (item), or of
    // none of them (a nested object's).
    void Property(bool root, TUserProp* user, TTargetRead* item = nullptr) {
        Expect(TTok::Ident);
        const std::string_view name = FTok.Span;
        bool dotted = false;
        if (!FTok.SkipSymbolAhead('=')) { // "name = " as written; else dotted parts may come
            FTok.Next();
            dotted = SkipDottedTail();
            ExpectSymbol('=');
        }
        FTok.Next();
        TDestination target;
        if (FApplying && (root || user != nullptr || item != nullptr)) {
            const int row = dotted            ? -1
                            : item != nullptr ? FindField(kTargetFields, name, FItemHint)
                            : user != nullptr ? FindField(kUserFields, name, FUserHint)
                                              : FindField(kListFields, name, FListHint);
            if (row < 0) {
                Refuse();
            } else if (item != nullptr) {
                target.Item = &kTargetFields[row];
                target.Kind = target.Item->Kind;
                target.ItemObject = item;
            } else if (user != nullptr) {
                target.User = &kUserFields[row];
                target.Kind = target.User->Kind;
                target.UserObject = user;
            } else {
                target.ListRow = row;
                target.Kind = kListFields[row].Kind;
            }
        }
        Value(target);
    }

    // The field of the list the target names, marked as set by the file.
    template <class T> T& ListField(const TDestination& target, T TUserList::*member) {
        FSetFields |= uint64_t{1} << target.ListRow;
        return FStaged.*member;
    }
    // The same for a setting of the first target.
    template <class T> T& FirstField(const TDestination& target, T TTargetSettings::*member) {
        FSetFields |= uint64_t{1} << target.ListRow;
        return FFirst.*member;
    }
    std::string& StringField(const TDestination& target) {
        const TListField& f = kListFields[target.ListRow];
        return f.FirstTarget ? FirstField(target, f.TargetStr) : ListField(target, f.Str);
    }

    void SetString(const TDestination& target, std::string_view bytes) {
        if (target.Kind == TPropKind::Apart) {
            // An empty PasswordHash stands for a value taken over empty (a locked account),
            // which is kept: its setter keeps an empty value.
            (target.UserObject->*target.User->Set)(std::string(bytes));
        } else if (target.User != nullptr) {
            (target.UserObject->*target.User->Str).assign(bytes);
        } else if (target.Item != nullptr) {
            (target.ItemObject->*target.Item->Str).assign(bytes);
        } else {
            StringField(target).assign(bytes);
        }
    }
    void AppendString(const TDestination& target, std::string_view bytes) {
        if (target.Kind == TPropKind::Apart) {
            TUserProp& user = *target.UserObject;
            (user.*target.User->Set)((user.*target.User->Get)() + std::string(bytes));
        } else if (target.User != nullptr) {
            (target.UserObject->*target.User->Str).append(bytes);
        } else if (target.Item != nullptr) {
            (target.ItemObject->*target.Item->Str).append(bytes);
        } else {
            StringField(target).append(bytes);
        }
    }
    bool& FlagField(const TDestination& target) {
        const TListField& f = kListFields[target.ListRow];
        if (!f.FirstTarget) return ListField(target, f.Flag);
        FSetFields |= uint64_t{1} << target.ListRow;
        return f.TargetFlag != nullptr ? FFirst.*f.TargetFlag : FFirst.Disabled;
    }

    void SetFlag(const TDestination& target, bool value) {
        if (target.User != nullptr)
            target.UserObject->*target.User->Flag = value;
        else if (target.Item != nullptr && target.Item->Flag == nullptr)
            target.ItemObject->Disabled = value;
        else if (target.Item != nullptr)
            target.ItemObject->*target.Item->Flag = value;
        else
            FlagField(target) = value;
    }

    void Value(const TDestination& target) {
        switch (FTok.Kind) {
        case TTok::Ident: {
            const std::string_view ident = FTok.Span;
            FTok.Next();
            const bool dotted = SkipDottedTail();
            if (target.Kind == TPropKind::Boolean && !dotted) {
                if (SameText(ident, "True"))
                    SetFlag(target, true);
                else if (SameText(ident, "False"))
                    SetFlag(target, false);
                else
                    Refuse();
            } else if (target.Kind == TPropKind::PassType && !dotted) {
                if (const auto type = PasswordsTypeFromName(ident)) {
                    ListField(target, &TUserList::PassType) = *type;
                } else if (ident.size() > 2 && SameText(ident.substr(0, 2), "pt")) {
                    // Members are named "pt...": this one is a form of a later version.
                    FUnknownPassType = std::string(ident.substr(0, 64));
                    Refuse(TRefusal::UnknownPassType);
                } else {
                    Refuse();
                }
            } else if (target.Kind != TPropKind::None) {
                Refuse();
            }
            return;
        }
        case TTok::String: {
            const bool apply = target.Kind == TPropKind::String || target.Kind == TPropKind::Apart;
            if (target.Kind != TPropKind::None && !apply) Refuse();
            bool wide = FTok.Wide;
            // The first part goes straight into the property (its bytes copied once); parts
            // after "+" are joined on.
            if (apply) SetString(target, FTok.Bytes());
            FTok.Next();
            while (FTok.IsSymbol('+')) {
                FTok.Next();
                Expect(TTok::String);
                wide = wide || FTok.Wide;
                if (apply) AppendString(target, FTok.Bytes());
                FTok.Next();
            }
            // Codes of 256 or more do not fit the byte string; what came before them stays.
            if (apply && wide) Refuse();
            return;
        }
        case TTok::Integer: {
            const int64_t v = IntegerValue(FTok.Span, FTok.Hex);
            FTok.Next();
            if (target.Kind == TPropKind::Date && v >= INT32_MIN && v <= INT32_MAX &&
                IsValidDateTime(static_cast<double>(v))) {
                target.UserObject->*target.User->Date = static_cast<double>(v);
            } else if (target.Kind == TPropKind::Integer && v >= kListFields[target.ListRow].Min &&
                       v <= kListFields[target.ListRow].Max) {
                ListField(target, kListFields[target.ListRow].Int) = static_cast<int>(v);
            } else if (target.Kind != TPropKind::None) {
                Refuse();
            }
            return;
        }
        case TTok::Float: {
            const TFloat f = FloatValue(FTok.Span, FTok.Suffix);
            const char suffix = FTok.Suffix;
            FTok.Next();
            // A date outside the years 1 to 9999 is no date this program wrote.
            if (target.Kind == TPropKind::Date && suffix == 0 && !f.Overflow &&
                IsValidDateTime(f.Value))
                target.UserObject->*target.User->Date = f.Value;
            else if (target.Kind != TPropKind::None)
                Refuse();
            return;
        }
        case TTok::Symbol:
            break;
        case TTok::Eof:
            Invalid();
        }

        const char symbol = FTok.Symbol;
        if (symbol == '<') {
            Collection(target);
            return;
        }
        if (target.Kind != TPropKind::None) Refuse(); // no property takes these values
        Enter();
        if (symbol == '(') {
            FTok.Next();
            while (!FTok.IsSymbol(')'))
                Value(TDestination{});
            FTok.Next();
        } else if (symbol == '[') {
            FTok.Next();
            if (!FTok.IsSymbol(']')) {
                for (;;) {
                    if (FTok.Kind != TTok::Integer && FTok.Kind != TTok::Ident) Invalid();
                    FTok.Next();
                    if (FTok.IsSymbol(']')) break;
                    ExpectSymbol(',');
                    FTok.Next();
                }
            }
            FTok.Next();
        } else if (symbol == '{') {
            FTok.SkipBinary();
            FTok.Next();
            ExpectSymbol('}');
            FTok.Next();
        } else {
            Invalid();
        }
        Leave();
    }

    // The further targets: each item one, in file order.
    void TargetsCollection(const TDestination& target) {
        FSetFields |= uint64_t{1} << target.ListRow;
        FFurther.clear();
        Enter();
        FTok.Next();
        while (!FTok.IsSymbol('>')) {
            if (!FTok.IsKeyword("item")) Invalid();
            FTok.Next();
            OptionalPosition();
            TTargetRead item;
            FItemHint = 0;
            while (!FTok.IsKeyword("end"))
                Property(false, nullptr, FApplying ? &item : nullptr);
            FTok.Next();
            if (FApplying) {
                item.Enabled = !item.Disabled;
                FFurther.push_back(static_cast<TTargetSettings&&>(item));
            }
        }
        FTok.Next();
        Leave();
    }

    void Collection(const TDestination& target) {
        if (target.Kind == TPropKind::Targets && FApplying) {
            TargetsCollection(target);
            return;
        }
        if (target.Kind != TPropKind::None && target.Kind != TPropKind::Items) Refuse();
        bool users = FApplying && target.Kind == TPropKind::Items;
        Enter();
        FTok.Next();
        // Only a collection with items replaces the users; "<>" leaves them as they are.
        if (users && !FTok.IsSymbol('>')) {
            FStaged.Clear();
            FUsersReplaced = true;
            if (FUsers != nullptr) FUsers->Begin(FNamed ? FStaged.Name() : FListName);
        }
        std::optional<TReadAhead> ahead;
        if (users && FPieces.Bytes > 0 && FText.size() - FTok.TokenOffset() >= 2 * FPieces.Bytes)
            ahead.emplace(FText, FTok.TokenOffset(), FPieces, FDepth, FUsers);
        while (!FTok.IsSymbol('>')) {
            if (ahead) {
                const size_t next = ahead->NextStart();
                if (FTok.TokenOffset() == next) {
                    TakePiece(ahead->Take());
                    ahead->Done();
                    MaybeRelease();
                    continue;
                }
                if (FTok.TokenOffset() > next) ahead.reset(); // the pieces left cannot count
            }
            Item(users);
            MaybeRelease();
        }
        FTok.Next();
        Leave();
    }

    static void Prefetch(const TUserProp& user) {
        __builtin_prefetch(&user);
        __builtin_prefetch(reinterpret_cast<const char*>(&user) + 64);
        __builtin_prefetch(reinterpret_cast<const char*>(&user) + 128);
        __builtin_prefetch(reinterpret_cast<const char*>(&user) + 192);
        for (const std::string* s : {&user.FullName, &user.Email, &user.Comments})
            if (s->size() > 15) __builtin_prefetch(s->data());
    }

    // One item of a collection: a user, while users is set and the entries still apply.
    void Item(bool& users) {
        if (!FTok.IsKeyword("item")) Invalid();
        FTok.Next();
        OptionalPosition();
        users = users && FApplying;
        TUserProp* user = nullptr;
        if (users && FSlots != nullptr) {
            // Into the piece's next user, which keeps the buffers of the one it held before.
            if (FSlotCount == FSlots->size())
                FSlots->emplace_back();
            else
                (*FSlots)[FSlotCount].CopyFieldsFrom(BlankUser());
            user = &(*FSlots)[FSlotCount];
        } else if (users && FUsers != nullptr) {
            // One user at a time, in the same object: its strings keep their buffers.
            FUser.CopyFieldsFrom(BlankUser());
            user = &FUser;
        } else if (users) {
            user = &FStaged.AddBlank();
        }
        FUserHint = 0;
        while (!FTok.IsKeyword("end"))
            Property(false, FApplying ? user : nullptr);
        FTok.Next();
        if (user == &FUser && FApplying) FUsers->User(FUser);
        if (user != nullptr && FSlots != nullptr && FApplying) {
            ++FSlotCount;
            if (FPart != nullptr) FPart->User(*user); // here, while its bytes are at hand
        }
    }

    // A piece read ahead, taken in as if its items had been read here.
    void TakePiece(TPiece& piece) {
        if (piece.Error) std::rethrow_exception(piece.Error);
        if (piece.Invalid || !piece.LinesFit) Invalid();
        if (!FLinesChecked.empty() && FLinesChecked.back().second == piece.Line)
            FLinesChecked.back().second = piece.LinesEnd;
        else
            FLinesChecked.emplace_back(piece.Line, piece.LinesEnd);
        if (FApplying) {
            if (piece.Part != nullptr) {
                FUsers->Join(*piece.Part);
            } else if (FUsers != nullptr) {
                for (size_t i = 0; i < piece.Count; ++i) {
                    // Another thread wrote them: their bytes are fetched a few users ahead.
                    if (i + 4 < piece.Count) Prefetch(piece.Streamed[i + 4]);
                    FUsers->User(piece.Streamed[i]);
                }
            } else {
                FStaged.AppendUsers(piece.Staged);
            }
            if (piece.Refusal != TRefusal::None) {
                FUnknownPassType = std::move(piece.UnknownPassType);
                Refuse(piece.Refusal);
            }
        }
        FTok.SeekTo(piece.Landed ? piece.To : piece.StopAt);
    }

    const std::string_view FText;
    TTokenizer FTok;
    const TReleaseHint& FRelease;
    TUserStream* const FUsers;        // takes the users in place of the list, when set
    const std::string_view FListName; // the name of the list being loaded, before this text
    TUserProp FUser;                  // the user being read, when they go to FUsers
    size_t FReleased = 0;
    int FDepth = 0;
    size_t FUserHint = 0, FListHint = 0, FItemHint = 0;

    bool FApplying = true;
    TRefusal FRefusal = TRefusal::None;
    std::string FUnknownPassType;
    TUserList FStaged;                     // where the entries go while the text is read
    TTargetRead FFirst;                    // the first target's settings, under the list's names
    std::vector<TTargetSettings> FFurther; // the further targets
    bool FNamed = false;                   // the header named the object
    bool FUsersReplaced = false;           // a collection with items replaced the users
    uint64_t FSetFields = 0;               // rows of kListFields the file set
    const TPieceSettings FPieces;
    std::vector<TUserProp>* FSlots = nullptr; // a piece's users, when they go there
    TUserStream* FPart = nullptr;             // and the stream's part for them, if it has one
    size_t FSlotCount = 0;
    std::vector<std::pair<size_t, size_t>> FLinesChecked; // by the pieces taken in, in order
};

// The first line at or after `from` whose first word is "item": where an item may start.
size_t FindItemLine(std::string_view text, size_t from) {
    while (from < text.size()) {
        const void* lf = std::memchr(text.data() + from, '\n', text.size() - from);
        if (lf == nullptr) break;
        size_t i = static_cast<size_t>(static_cast<const char*>(lf) - text.data()) + 1;
        while (i < text.size() && text[i] == ' ')
            ++i;
        if (text.size() - i > 4 && text.compare(i, 4, "item") == 0 &&
            Is(static_cast<unsigned char>(text[i + 4]), kBlank))
            return i;
        from = i;
    }
    return std::string::npos;
}

// The start of the line of an item FindItemLine found.
size_t LineStart(std::string_view text, size_t at) {
    while (at > 0 && text[at - 1] == ' ')
        --at;
    return at;
}

TReadAhead::TReadAhead(std::string_view text, size_t first, const TPieceSettings& settings,
                       int depth, const TUserStream* users)
    : FText(text), FBytes(settings.Bytes), FDepth(depth), FUsers(users),
      FWindow(2 * static_cast<size_t>(settings.Workers) + 2),
      FFound(FindItemLine(text, first + settings.Bytes)), FNextStart(FFound) {
    const unsigned workers = FFound == std::string::npos ? 0 : settings.Workers;
    try {
        for (unsigned i = 0; i < workers; ++i)
            FThreads.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
        // Fewer threads: this one reads what no other has begun.
    }
}

TReadAhead::~TReadAhead() {
    {
        const std::lock_guard<std::mutex> lock(FMutex);
        FStop = true;
    }
    FChanged.notify_all();
    for (std::thread& thread : FThreads)
        thread.join();
}

// Under the lock: gives the piece the users of one gone, if there is one.
void TReadAhead::Reuse(TPiece& piece) {
    if (FSpare.empty()) return;
    piece.Streamed = std::move(FSpare.back());
    FSpare.pop_back();
}

// Under the lock.
TPiece* TReadAhead::Piece(size_t index) {
    while (FTaken + FPieces.size() <= index) {
        if (FFound == std::string::npos) return nullptr;
        TPiece& piece = FPieces.emplace_back();
        piece.From = FFound;
        piece.To = FFound = FindItemLine(FText, FFound + FBytes);
        piece.Line = LineStart(FText, piece.From);
        piece.LinesEnd = piece.To == std::string::npos ? FText.size() : LineStart(FText, piece.To);
    }
    return &FPieces[index - FTaken];
}

void TReadAhead::Work() {
    for (;;) {
        TPiece* piece = nullptr;
        {
            std::unique_lock<std::mutex> lock(FMutex);
            FChanged.wait(lock, [this] { return FStop || FClaim < FTaken + FWindow; });
            if (FStop) return;
            piece = Piece(FClaim);
            if (piece == nullptr) return; // the text has no further piece
            ++FClaim;
            Reuse(*piece);
        }
        Read(*piece);
        {
            const std::lock_guard<std::mutex> lock(FMutex);
            piece->Read = true;
        }
        FChanged.notify_all();
    }
}

void TReadAhead::Read(TPiece& piece) const {
    static const TReleaseHint kNoRelease;
    try {
        if (FUsers != nullptr) {
            piece.Part = FUsers->Part((piece.To == std::string::npos ? FText.size() : piece.To) -
                                      piece.From);
            TParser parser(FText, kNoRelease, nullptr, {}, {}, &piece.Streamed, piece.Part.get());
            parser.ReadPiece(piece, FDepth);
        } else {
            TParser parser(FText, kNoRelease, nullptr, {});
            parser.ReadPiece(piece, FDepth);
        }
        piece.LinesFit = LinesFitWindow(FText, piece.Line, piece.LinesEnd, kNoRelease);
    } catch (const TInvalidText&) {
        piece.Invalid = true;
    } catch (...) {
        piece.Error = std::current_exception();
    }
}

TPiece& TReadAhead::Take() {
    std::unique_lock<std::mutex> lock(FMutex);
    TPiece& piece = *Piece(FTaken);
    if (FClaim == FTaken) { // no thread has begun it
        ++FClaim;
        Reuse(piece);
        lock.unlock();
        Read(piece);
        return piece;
    }
    FChanged.wait(lock, [&piece] { return piece.Read; });
    return piece;
}

void TReadAhead::Done() {
    {
        const std::lock_guard<std::mutex> lock(FMutex);
        if (FUsers != nullptr) FSpare.push_back(std::move(FPieces.front().Streamed));
        FPieces.pop_front();
        ++FTaken;
        const TPiece* next = Piece(FTaken);
        FNextStart = next != nullptr ? next->From : std::string::npos;
    }
    FChanged.notify_all();
}

} // namespace

void ReadListTextInPieces(std::string_view text, TUserList& list, size_t pieceBytes,
                          unsigned workers, const TReleaseHint& release, TUserStream* users) {
    std::optional<TParser> parser;
    try {
        // Where pieces may be read ahead, they check their own lines and this thread the rest
        // afterwards; else all lines are checked before anything is read.
        const bool pieces = pieceBytes > 0 && text.size() >= 2 * pieceBytes;
        if (!pieces && !LinesFitWindow(text, 0, text.size(), release)) Invalid();
        parser.emplace(text, release, users, list.Name(), TPieceSettings{pieceBytes, workers});
        parser->Parse();
        if (pieces) parser->CheckLines();
    } catch (const TInvalidText&) {
        throw EQuorvaneError(Msg(texts::FileNotValid));
    } catch (const EQuorvaneError&) {
        throw EQuorvaneError(Msg(texts::FileNotValid));
    }
    parser->Commit(list);
}

namespace {
std::atomic<size_t> gPieceBytes{0};
std::atomic<unsigned> gPieceWorkers{0};
} // namespace

namespace test_hooks {
void SetReadPieces(size_t pieceBytes, unsigned workers) {
    gPieceWorkers.store(workers);
    gPieceBytes.store(pieceBytes);
}
} // namespace test_hooks

void ReadListText(std::string_view text, TUserList& list, const TReleaseHint& release,
                  TUserStream* users) {
    if (const size_t bytes = gPieceBytes.load(); bytes > 0) {
        ReadListTextInPieces(text, list, bytes, gPieceWorkers.load(), release, users);
        return;
    }
    // Pieces of a megabyte (some 3,500 users) keep the threads busy and what is read ahead small.
    constexpr size_t kPiece = size_t{1} << 20;
    const unsigned processors = std::thread::hardware_concurrency();
    const unsigned workers = processors > 1 ? std::min(processors, 4u) : 0;
    ReadListTextInPieces(text, list, workers > 0 ? kPiece : 0, workers, release, users);
}

} // namespace quorvane
