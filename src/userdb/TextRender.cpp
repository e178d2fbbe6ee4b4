// Renders an object stream as the text of the users database file, in one pass from the
// stream's start. Each kind of stream value has exactly one text form.

#include "base/BaseTexts.h"
#include "base/Errors.h"
#include "userdb/DataLib.h"
#include "userdb/DataLibInternal.h"
#include "userdb/ListWalk.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorvane {

namespace stream {

size_t FormatNumber(double value, char* out) {
    char* p = out;
    auto put = [&p](const char* s) {
        while (*s != 0)
            *p++ = *s++;
    };
    if (std::isnan(value)) {
        put("NAN");
        return static_cast<size_t>(p - out);
    }
    if (std::isinf(value)) {
        put(value < 0 ? "-INF" : "INF");
        return static_cast<size_t>(p - out);
    }
    if (value == 0) {
        put("0");
        return 1;
    }

    // 15 significant digits, rounded to nearest: d.dddddddddddddde[+-]x
    char sci[40];
    const auto res =
        std::to_chars(sci, sci + sizeof sci, std::fabs(value), std::chars_format::scientific, 14);
    const char* const ePos = std::find(sci, res.ptr, 'e');
    char digits[16];
    size_t nd = 0;
    digits[nd++] = sci[0];
    for (const char* d = sci + 2; d < ePos; ++d)
        digits[nd++] = *d;
    while (nd > 1 && digits[nd - 1] == '0')
        --nd;
    int exp10 = 0;
    std::from_chars(ePos + (ePos[1] == '+' ? 2 : 1), res.ptr, exp10);

    if (value < 0) *p++ = '-';
    const int e = exp10 + 1; // the exponent of 0.d1d2... x 10^e
    if (e >= -3 && e <= 15) {
        if (exp10 >= 0) {
            const size_t whole = static_cast<size_t>(exp10) + 1;
            for (size_t i = 0; i < whole; ++i)
                *p++ = i < nd ? digits[i] : '0';
            if (nd > whole) {
                *p++ = '.';
                for (size_t i = whole; i < nd; ++i)
                    *p++ = digits[i];
            }
        } else {
            *p++ = '0';
            *p++ = '.';
            for (int i = 0; i < -exp10 - 1; ++i)
                *p++ = '0';
            for (size_t i = 0; i < nd; ++i)
                *p++ = digits[i];
        }
    } else {
        *p++ = digits[0];
        if (nd > 1) {
            *p++ = '.';
            for (size_t i = 1; i < nd; ++i)
                *p++ = digits[i];
        }
        *p++ = 'E';
        if (exp10 < 0) *p++ = '-';
        p = std::to_chars(p, p + 8, exp10 < 0 ? -exp10 : exp10).ptr;
    }
    return static_cast<size_t>(p - out);
}

std::string FormatNumber(double value) {
    char buf[kNumberChars];
    return std::string(buf, FormatNumber(value, buf));
}

} // namespace stream

namespace {

using namespace stream;

constexpr size_t kLineChars = 64;       // characters of a string value per line
constexpr size_t kFlushAt = 256 * 1024; // text handed on in pieces of about this size

[[noreturn]] void StreamError() {
    throw EQuorvaneError(Msg(texts::StreamReadError));
}

// Length of the well-formed UTF-8 sequence starting at p (2 to 4), or 0 when there is none.
// The first byte from p on, before limit, that cannot stand between apostrophes: a control
// character or the apostrophe itself.
const unsigned char* PlainRunEnd(const unsigned char* p, const unsigned char* limit) {
#if defined(__SSE2__)
    // Sixteen bytes at a time: a byte below 32 is one that its minimum with 31 leaves unchanged.
    const __m128i quote = _mm_set1_epi8('\''), top = _mm_set1_epi8(31);
    while (limit - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i stop =
            _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(v, top), v), _mm_cmpeq_epi8(v, quote));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(stop));
        if (mask != 0) return p + __builtin_ctz(mask);
        p += 16;
    }
#endif
    while (p < limit && *p >= 32 && *p != '\'')
        ++p;
    return p;
}

size_t Utf8SequenceAt(const unsigned char* p, const unsigned char* end) {
    const unsigned char b = *p;
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (static_cast<size_t>(end - p) < n) return 0;
    if (p[1] < lo || p[1] > hi) return 0;
    for (size_t i = 2; i < n; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    return n;
}

// Builds the text from the values of the list walk (ListWalk.h), handing it to the sink in
// pieces of about kFlushAt bytes.
class TTextWriter {
public:
    explicit TTextWriter(const TDataSink& sink) : FSink(sink) { FOut.reserve(kFlushAt + 4096); }
    // A writer of items at the level of the list's own entries, where its collection is, that
    // holds all it renders (Held) and never hands it on.
    struct TItems {};
    TTextWriter(TItems, size_t reserve)
        : FSink(kNoSink), FFlushAt(std::string::npos), FLevel(kListLevel) {
        FOut.reserve(reserve);
    }

    void Begin(std::string_view className, std::string_view objectName) {
        FOut.append("object ");
        if (!objectName.empty()) {
            FOut.append(objectName);
            FOut.append(": ");
        }
        FOut.append(className);
        NewLine();
        FLevel = kListLevel;
    }
    void Bool(std::string_view name, bool value) {
        Head(name);
        FOut.append(value ? std::string_view("True") : std::string_view("False"));
        Tail();
    }
    void Ident(std::string_view name, std::string_view ident) {
        Head(name);
        FOut.append(ident);
        Tail();
    }
    void Integer(std::string_view name, int32_t value) {
        Head(name);
        char number[12];
        const auto r = std::to_chars(number, number + sizeof number, value);
        FOut.append(number, static_cast<size_t>(r.ptr - number));
        Tail();
    }
    void String(std::string_view name, std::string_view value) {
        Head(name);
        Quoted(value, FLevel);
        Tail();
    }
    void Date(std::string_view name, double value) {
        Head(name);
        char number[kNumberChars];
        FOut.append(number, FormatNumber(value, number));
        Tail();
    }
    void BeginCollection(std::string_view name) {
        Head(name);
        FOut.push_back('<');
    }
    void BeginItem() {
        NewLine();
        Indent(FLevel + 1);
        FOut.append("item");
        NewLine();
        FLevel += 2;
    }
    void EndItem() {
        FLevel -= 2;
        Indent(FLevel + 1);
        FOut.append("end");
    }
    void EndCollection() {
        FOut.push_back('>');
        Tail();
    }
    void End() {
        FOut.append("end");
        NewLine();
        Flush();
    }

    const std::string& Held() const { return FOut; }
    // Text rendered by another writer goes on after this one's.
    void Put(std::string_view text) {
        Flush();
        if (!text.empty()) FSink(text.data(), text.size());
    }

private:
    static constexpr int kListLevel = 1;
    void NewLine() { FOut.append("\r\n", 2); }
    void Flush() {
        if (!FOut.empty()) FSink(FOut.data(), FOut.size());
        FOut.clear();
    }
    void Indent(int level) { FOut.append(static_cast<size_t>(level) * 2, ' '); }
    void Head(std::string_view name) {
        Indent(FLevel);
        FOut.append(name);
        FOut.append(" = ", 3);
    }
    void Tail() {
        NewLine();
        if (FOut.size() >= FFlushAt) Flush();
    }

    // The quoted form: runs of printable bytes between apostrophes, #codes for control
    // characters and the apostrophe, at most 64 characters of the string per line.
    void Quoted(std::string_view s, int level) {
        if (s.empty()) {
            FOut.append("''");
            return;
        }
        const auto* p = reinterpret_cast<const unsigned char*>(s.data());
        const unsigned char* const end = p + s.size();
        if (s.size() > kLineChars) { // a long string starts on the line after its name
            NewLine();
            Indent(level + 1);
        }
        size_t count = 0;
        while (p < end) {
            const unsigned char c = *p;
            if (c < 32 || c == '\'') {
                char code[5];
                code[0] = '#';
                const auto r = std::to_chars(code + 1, code + sizeof code, static_cast<int>(c));
                FOut.append(code, static_cast<size_t>(r.ptr - code));
                ++p;
                ++count;
            } else {
                const unsigned char* const start = p;
                const size_t room = kLineChars - count;
                const unsigned char* limit = static_cast<size_t>(end - p) > room ? p + room : end;
                p = PlainRunEnd(p, limit);
                if (p == limit && p < end && *p >= 0x80 && *p <= 0xBF) {
                    // The run reached the line's limit: a well-formed multi-byte character
                    // that it would cut moves whole to the next line.
                    for (size_t back = 1; back <= 3 && back <= static_cast<size_t>(p - start);
                         ++back) {
                        const unsigned char* const s0 = p - back;
                        const size_t n = Utf8SequenceAt(s0, end);
                        if (n > back) {
                            p = s0;
                            break;
                        }
                    }
                }
                if (p == start) { // the character fits no more on this line
                    count = kLineChars;
                } else {
                    FOut.push_back('\'');
                    FOut.append(reinterpret_cast<const char*>(start),
                                static_cast<size_t>(p - start));
                    FOut.push_back('\'');
                    count += static_cast<size_t>(p - start);
                }
            }
            if (count >= kLineChars && p < end) {
                FOut.append(" +", 2);
                NewLine();
                Indent(level + 1);
                count = 0;
            }
        }
    }

    static inline const TDataSink kNoSink;
    const TDataSink& FSink;
    const size_t FFlushAt = kFlushAt;
    std::string FOut;
    int FLevel = 0;
};

// Reads an object stream from its start and hands its values to the text writer.
class TStreamReader {
public:
    TStreamReader(const std::string& stream, TTextWriter& out)
        : FP(reinterpret_cast<const unsigned char*>(stream.data())), FEnd(FP + stream.size()),
          FOut(out) {}

    void Render() {
        if (Left() < 4 || std::memcmp(FP, "TPF0", 4) != 0) StreamError();
        FP += 4;
        const std::string_view className = ReadShort();
        const std::string_view name = ReadShort();
        FOut.Begin(className, name);
        Properties();
        if (ReadByte() != vaNull) StreamError(); // a list has no child objects
        FOut.End();
    }

private:
    size_t Left() const { return static_cast<size_t>(FEnd - FP); }
    uint8_t ReadByte() {
        if (FP >= FEnd) StreamError();
        return *FP++;
    }
    uint8_t PeekByte() const {
        if (FP >= FEnd) StreamError();
        return *FP;
    }
    std::string_view ReadBytes(size_t n) {
        if (Left() < n) StreamError();
        std::string_view s(reinterpret_cast<const char*>(FP), n);
        FP += n;
        return s;
    }
    std::string_view ReadShort() { return ReadBytes(ReadByte()); }

    void Properties() {
        while (PeekByte() != vaNull)
            Property(ReadShort());
        ++FP;
    }

    void Property(std::string_view name) {
        const uint8_t tag = ReadByte();
        switch (tag) {
        case vaFalse:
        case vaTrue:
            FOut.Bool(name, tag == vaTrue);
            break;
        case vaIdent:
            FOut.Ident(name, ReadShort());
            break;
        case vaInt8:
        case vaInt16:
        case vaInt32: {
            const size_t n = tag == vaInt8 ? 1 : tag == vaInt16 ? 2 : 4;
            const std::string_view bytes = ReadBytes(n);
            uint32_t v = 0;
            for (size_t i = 0; i < n; ++i)
                v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
            if (n < 4 && (v >> (8 * n - 1)) != 0) v |= ~uint32_t{0} << (8 * n); // sign
            FOut.Integer(name, static_cast<int32_t>(v));
            break;
        }
        case vaExtended: {
            if (Left() < 10) StreamError();
            FOut.Date(name, ExtendedToDouble(FP));
            FP += 10;
            break;
        }
        case vaString:
            FOut.String(name, ReadShort());
            break;
        case vaLString: {
            const std::string_view len = ReadBytes(4);
            const auto* l = reinterpret_cast<const unsigned char*>(len.data());
            const size_t n = static_cast<size_t>(l[0]) | static_cast<size_t>(l[1]) << 8 |
                             static_cast<size_t>(l[2]) << 16 | static_cast<size_t>(l[3]) << 24;
            FOut.String(name, ReadBytes(n));
            break;
        }
        case vaCollection:
            FOut.BeginCollection(name);
            while (ReadByte() != vaNull) {
                if (FP[-1] != vaList) StreamError();
                FOut.BeginItem();
                Properties();
                FOut.EndItem();
            }
            FOut.EndCollection();
            break;
        default:
            StreamError();
        }
    }

    const unsigned char* FP;
    const unsigned char* const FEnd;
    TTextWriter& FOut;
};

} // namespace

void RenderObjectStream(const std::string& stream, const TDataSink& sink) {
    TTextWriter out(sink);
    TStreamReader(stream, out).Render();
}

std::string ObjectStreamToText(const std::string& stream) {
    std::string text;
    text.reserve(stream.size() * 2);
    RenderObjectStream(stream, [&text](const char* data, size_t size) { text.append(data, size); });
    return text;
}

void RenderListText(const TUserList& list, const TDataSink& sink) {
    TTextWriter out(sink);
    WalkList(list, out);
}

struct TStreamedText::TState {
    explicit TState(const TDataSink& sink) : Sink(sink), Out(Sink) {}
    TDataSink Sink;
    TTextWriter Out;
    bool Begun = false;
};

TStreamedText::TStreamedText(const TDataSink& sink) : F(std::make_unique<TState>(sink)) {}
TStreamedText::~TStreamedText() = default;

void TStreamedText::Begin(std::string_view listName) {
    if (F->Begun) throw ETextRestarted{};
    F->Begun = true;
    WalkHead(listName, F->Out);
}

void TStreamedText::User(TUserProp& user) {
    WalkUser(user, F->Out);
}

namespace {

// The text of a run of users, rendered where the users were read.
struct TTextPart : TUserStream {
    // The text of a run is about as long as the text it was read from.
    explicit TTextPart(size_t textBytes) : Out(TTextWriter::TItems{}, textBytes + textBytes / 8) {}
    TTextWriter Out;
    void Begin(std::string_view) override {}
    void User(TUserProp& user) override { WalkUser(user, Out); }
};

} // namespace

std::unique_ptr<TUserStream> TStreamedText::Part(size_t textBytes) const {
    return std::make_unique<TTextPart>(textBytes);
}

void TStreamedText::Join(TUserStream& part) {
    F->Out.Put(static_cast<TTextPart&>(part).Out.Held());
}

void TStreamedText::Finish(const TUserList& list) {
    if (!F->Begun) Begin(list.Name());
    WalkTail(list, F->Out);
}

std::string ListText(const TUserList& list) {
    std::string text;
    RenderListText(list, [&text](const char* data, size_t size) { text.append(data, size); });
    return text;
}

} // namespace quorvane
