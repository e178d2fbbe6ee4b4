// The reader of the users database file as it was before it became a single pass: the first
// pass checks the syntax of the whole text and changes nothing; the second reads it again and
// applies each entry in file order. Tests and the differential fuzz target hold the program's
// reader to it: same lists, same errors, for every input.

#include "ReferenceReader.h"

#include "base/AsciiCase.h"
#include "base/Errors.h"
#include "userdb/UserList.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace quorvane::reference {

namespace {

// Raised inside the reader; the caller turns every one into "The file is not valid".
struct TInvalidText {};
// A password form this version does not know (one a later version wrote): the file is refused
// with its name rather than read without it.
struct TUnknownPassType {
    std::string Name;
};

[[noreturn]] void Invalid() {
    throw TInvalidText{};
}

constexpr int kMaxNesting = 200; // deeper nesting is refused rather than exhausting the stack

inline bool IsLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
inline bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
inline bool IsHex(unsigned char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline unsigned char Upper(unsigned char c) {
    return static_cast<unsigned char>(AsciiUpper(static_cast<char>(c)));
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(static_cast<unsigned char>(a[i])) != Upper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

enum class TTok { Eof, Symbol, Ident, String, Integer, Float };

class TTokenizer {
public:
    explicit TTokenizer(std::string_view text)
        : FP(reinterpret_cast<const unsigned char*>(text.data())), FEnd(FP + text.size()) {}

    TTok Kind = TTok::Eof;
    std::string_view Span; // the token's text (a number without its suffix letter)
    char Symbol = 0;
    char Suffix = 0;   // s, c or d after a floating-point number
    bool Hex = false;  // an integer written with "$"
    bool Wide = false; // a string with a code of 256 or more
    std::string Str;   // the bytes of a string token (only when Build is set)
    bool Build = true;

    void Next() {
        while (FP < FEnd && *FP >= 1 && *FP <= 32)
            ++FP;
        // A zero byte ends the text like its real end.
        if (FP >= FEnd || *FP == 0) {
            Kind = TTok::Eof;
            Span = {};
            return;
        }
        const unsigned char* const start = FP;
        const unsigned char c = *FP;
        if (IsLetter(c)) {
            ++FP;
            while (FP < FEnd && (IsLetter(*FP) || IsDigit(*FP)))
                ++FP;
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
            while (FP < FEnd && (IsDigit(*FP) || *FP == '.' || *FP == 'e' || *FP == 'E' ||
                                 *FP == '+' || *FP == '-')) {
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
            while (FP < FEnd && IsHex(*FP))
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

    bool IsSymbol(char s) const { return Kind == TTok::Symbol && Symbol == s; }
    bool IsKeyword(std::string_view word) const {
        return Kind == TTok::Ident && SameText(Span, word);
    }

    // The raw hexadecimal pairs of a binary value, read straight after its "{"; leaves the
    // position at the closing "}".
    void SkipBinary() {
        for (;;) {
            while (FP < FEnd && *FP >= 1 && *FP <= 32)
                ++FP;
            if (FP < FEnd && *FP == '}') return;
            size_t pairs = 0;
            while (FEnd - FP >= 2 && IsHex(FP[0]) && IsHex(FP[1])) {
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

    void ReadString() {
        Str.clear();
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
                else if (Build)
                    Str.push_back(static_cast<char>(code));
            } else if (*FP == '\'') {
                ++FP;
                for (;;) {
                    const unsigned char* run = FP;
                    while (FP < FEnd && *FP != '\'' && *FP != 0 && *FP != '\r' && *FP != '\n')
                        ++FP;
                    if (Build)
                        Str.append(reinterpret_cast<const char*>(run),
                                   static_cast<size_t>(FP - run));
                    if (FP >= FEnd || *FP != '\'') Invalid(); // unterminated quoted piece
                    ++FP;
                    if (FP < FEnd && *FP == '\'') { // a doubled apostrophe stands for one
                        if (Build) Str.push_back('\'');
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

    const unsigned char* FP;
    const unsigned char* const FEnd;
};

// What a property entry is applied to.
struct TDestination {
    enum class TPropKind {
        None,
        String,
        Hash,
        Groups,
        Boolean,
        Date,
        PassType,
        Integer,
        Items
    } Kind = TPropKind::None;
    void* Field = nullptr;
    int Min = 0, Max = 0; // the accepted range of an Integer
};

TDestination LookupUser(TUserProp& u, std::string_view name) {
    if (SameText(name, "Login")) return {TDestination::TPropKind::String, &u.Login};
    if (SameText(name, "Password")) return {TDestination::TPropKind::String, &u.Password};
    if (SameText(name, "Disable")) return {TDestination::TPropKind::Boolean, &u.Disable};
    if (SameText(name, "Expire")) return {TDestination::TPropKind::Boolean, &u.Expire};
    if (SameText(name, "ExpireDate")) return {TDestination::TPropKind::Date, &u.ExpireDate};
    if (SameText(name, "CreatedDate")) return {TDestination::TPropKind::Date, &u.CreatedDate};
    if (SameText(name, "FullName")) return {TDestination::TPropKind::String, &u.FullName};
    if (SameText(name, "Email")) return {TDestination::TPropKind::String, &u.Email};
    if (SameText(name, "Comments")) return {TDestination::TPropKind::String, &u.Comments};
    if (SameText(name, "PasswordHash")) return {TDestination::TPropKind::Hash, &u};
    if (SameText(name, "Groups")) return {TDestination::TPropKind::Groups, &u};
    Invalid();
}

TDestination LookupList(TUserList& l, TTargetSettings& t, std::string_view name) {
    if (SameText(name, "Items")) return {TDestination::TPropKind::Items, &l};
    if (SameText(name, "PassType")) return {TDestination::TPropKind::PassType, &l.PassType};
    if (SameText(name, "BcryptCost"))
        return {TDestination::TPropKind::Integer, &l.BcryptCost, KBcryptCostMin, KBcryptCostMax};
    if (SameText(name, "ShaRounds"))
        return {TDestination::TPropKind::Integer, &l.ShaRounds, KShaRoundsMin, KShaRoundsMax};
    if (SameText(name, "HashCacheKey")) return {TDestination::TPropKind::String, &l.HashCacheKey};
    if (SameText(name, "PassFile")) return {TDestination::TPropKind::String, &t.PassFile};
    if (SameText(name, "UnixLineEnds")) return {TDestination::TPropKind::Boolean, &l.UnixLineEnds};
    if (SameText(name, "GroupFile")) return {TDestination::TPropKind::String, &l.GroupFile};
    if (SameText(name, "ExportToFile")) return {TDestination::TPropKind::Boolean, &t.ExportToFile};
    if (SameText(name, "FtpHost")) return {TDestination::TPropKind::String, &t.FtpHost};
    if (SameText(name, "FtpUser")) return {TDestination::TPropKind::String, &t.FtpUser};
    if (SameText(name, "FtpPass")) return {TDestination::TPropKind::String, &t.FtpPass};
    if (SameText(name, "FtpPasswdFile")) return {TDestination::TPropKind::String, &t.FtpPasswdFile};
    if (SameText(name, "FtpStorePass")) return {TDestination::TPropKind::Boolean, &t.FtpStorePass};
    if (SameText(name, "FtpPassiveMode"))
        return {TDestination::TPropKind::Boolean, &t.FtpPassiveMode};
    if (SameText(name, "FtpProtocol")) return {TDestination::TPropKind::String, &t.FtpProtocol};
    if (SameText(name, "FtpTlsPin")) return {TDestination::TPropKind::String, &t.FtpTlsPin};
    if (SameText(name, "FtpCaFile")) return {TDestination::TPropKind::String, &t.FtpCaFile};
    if (SameText(name, "FtpKeyFile")) return {TDestination::TPropKind::String, &t.FtpKeyFile};
    if (SameText(name, "FtpHostKeys")) return {TDestination::TPropKind::String, &t.FtpHostKeys};
    Invalid();
}

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
TFloat FloatValue(std::string_view s, char suffix) {
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

class TParser {
public:
    TParser(std::string_view text, TUserList* list) : FTok(text), FList(list) {
        FTok.Build = list != nullptr; // the syntax check needs no string contents
        if (list != nullptr) FFirst = FirstTarget(*list);
    }

    // What was read of the target is the list's, also when the text is refused after it.
    void Parse() {
        try {
            FTok.Next();
            Object(true);
        } catch (...) {
            if (FList != nullptr) SetFirstTarget(*FList, FFirst);
            throw;
        }
        if (FList != nullptr) SetFirstTarget(*FList, FFirst);
    }

private:
    bool Applying() const { return FList != nullptr; }

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
        if (root && Applying() && !name.empty()) FList->SetName(std::string(name));
        while (!FTok.IsKeyword("end") && !AtObjectKeyword())
            Property(root ? FList : nullptr, nullptr);
        while (!FTok.IsKeyword("end")) {
            if (Applying()) Invalid(); // the list has no child objects
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

    void Property(TUserList* list, TUserProp* user) {
        Expect(TTok::Ident);
        const std::string_view name = FTok.Span;
        FTok.Next();
        const bool dotted = SkipDottedTail();
        ExpectSymbol('=');
        FTok.Next();
        TDestination target;
        if (Applying()) {
            if (dotted) Invalid();
            target = user != nullptr ? LookupUser(*user, name) : LookupList(*list, FFirst, name);
        }
        Value(target);
    }

    void Value(const TDestination& target) {
        switch (FTok.Kind) {
        case TTok::Ident: {
            const std::string_view ident = FTok.Span;
            FTok.Next();
            const bool dotted = SkipDottedTail();
            if (target.Kind == TDestination::TPropKind::Boolean && !dotted) {
                if (SameText(ident, "True"))
                    *static_cast<bool*>(target.Field) = true;
                else if (SameText(ident, "False"))
                    *static_cast<bool*>(target.Field) = false;
                else
                    Invalid();
            } else if (target.Kind == TDestination::TPropKind::PassType && !dotted) {
                if (const auto type = PasswordsTypeFromName(ident))
                    *static_cast<TPasswordsType*>(target.Field) = *type;
                else if (ident.size() > 2 && SameText(ident.substr(0, 2), "pt"))
                    // Members are named "pt...": this one is a form of a later version.
                    throw TUnknownPassType{std::string(ident.substr(0, 64))};
                else
                    Invalid();
            } else if (target.Kind != TDestination::TPropKind::None) {
                Invalid();
            }
            return;
        }
        case TTok::String: {
            const bool hash = target.Kind == TDestination::TPropKind::Hash ||
                              target.Kind == TDestination::TPropKind::Groups;
            const bool apply = target.Kind == TDestination::TPropKind::String || hash;
            if (target.Kind != TDestination::TPropKind::None && !apply) Invalid();
            bool wide = FTok.Wide;
            // The first part goes straight into the property; parts after "+" are joined on.
            std::string joined;
            std::string* out = hash    ? &joined
                               : apply ? static_cast<std::string*>(target.Field)
                                       : nullptr;
            if (out != nullptr) out->assign(FTok.Str);
            FTok.Next();
            while (FTok.IsSymbol('+')) {
                FTok.Next();
                Expect(TTok::String);
                wide = wide || FTok.Wide;
                if (out != nullptr) out->append(FTok.Str);
                FTok.Next();
            }
            if (target.Kind == TDestination::TPropKind::Hash)
                static_cast<TUserProp*>(target.Field)->SetPasswordHash(joined);
            else if (target.Kind == TDestination::TPropKind::Groups)
                static_cast<TUserProp*>(target.Field)->SetGroups(joined);
            if (apply && wide) Invalid(); // codes of 256 or more do not fit the byte string
            return;
        }
        case TTok::Integer: {
            const int64_t v = IntegerValue(FTok.Span, FTok.Hex);
            FTok.Next();
            if (target.Kind == TDestination::TPropKind::Date && v >= INT32_MIN && v <= INT32_MAX &&
                IsValidDateTime(static_cast<double>(v)))
                *static_cast<double*>(target.Field) = static_cast<double>(v);
            else if (target.Kind == TDestination::TPropKind::Integer && v >= target.Min &&
                     v <= target.Max)
                *static_cast<int*>(target.Field) = static_cast<int>(v);
            else if (target.Kind != TDestination::TPropKind::None)
                Invalid();
            return;
        }
        case TTok::Float: {
            const TFloat f = FloatValue(FTok.Span, FTok.Suffix);
            const char suffix = FTok.Suffix;
            FTok.Next();
            // A date outside the years 1 to 9999 is no date this program wrote.
            if (target.Kind == TDestination::TPropKind::Date && suffix == 0 && !f.Overflow &&
                IsValidDateTime(f.Value))
                *static_cast<double*>(target.Field) = f.Value;
            else if (target.Kind != TDestination::TPropKind::None)
                Invalid();
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
        if (target.Kind != TDestination::TPropKind::None)
            Invalid(); // no property takes these values
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

    void Collection(const TDestination& target) {
        if (target.Kind != TDestination::TPropKind::None &&
            target.Kind != TDestination::TPropKind::Items)
            Invalid();
        TUserList* const list = target.Kind == TDestination::TPropKind::Items
                                    ? static_cast<TUserList*>(target.Field)
                                    : nullptr;
        Enter();
        FTok.Next();
        // Only a collection with items replaces the users; "<>" leaves them as they are.
        if (list != nullptr && !FTok.IsSymbol('>')) list->Clear();
        while (!FTok.IsSymbol('>')) {
            if (!FTok.IsKeyword("item")) Invalid();
            FTok.Next();
            OptionalPosition();
            TUserProp* const user = list != nullptr ? &list->AddBlank() : nullptr;
            while (!FTok.IsKeyword("end"))
                Property(nullptr, user);
            FTok.Next();
        }
        FTok.Next();
        Leave();
    }

    TTokenizer FTok;
    TUserList* const FList;
    // The list's target, under the list's names.
    TTargetSettings FFirst;
    int FDepth = 0;
};

// The reader sees the text through a 4096-byte window that must always hold a line end: a line
// of 4095 bytes or more before its line feed cannot be read unless the text ends within the
// window.
bool LinesFitWindow(std::string_view text) {
    constexpr size_t kWindow = 4096;
    size_t start = 0;
    const size_t size = text.size();
    while (start < size) {
        const void* lf = std::memchr(text.data() + start, '\n', size - start);
        const size_t end =
            lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - text.data()) : size;
        if (end - start >= kWindow - 1 && size - start >= kWindow) return false;
        start = end + 1;
    }
    return true;
}

} // namespace

void ReadListTextReference(std::string_view text, TUserList& list) {
    try {
        if (!LinesFitWindow(text)) Invalid();
        TParser(text, nullptr).Parse(); // syntax only: nothing is applied yet
        TParser(text, &list).Parse();
    } catch (const TInvalidText&) {
        throw EQuorvaneError(Verbatim("The file is not valid"));
    } catch (const TUnknownPassType& e) {
        throw EQuorvaneError(
            Verbatim(FormatMessage("The file is not valid: it asks for the password form "
                                   "%s, which this version of Quorvane does not know",
                                   e.Name.c_str())));
    } catch (const EQuorvaneError&) {
        throw EQuorvaneError(Verbatim("The file is not valid"));
    }
}

} // namespace quorvane::reference
