// The object stream of a users database: the compact tagged byte form that the text form is
// rendered from and that the change fingerprint and the change stamp are computed over.

#include "userdb/DataLib.h"
#include "userdb/DataLibInternal.h"
#include "userdb/ListWalk.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace quorvane {

namespace {

using namespace stream;

// Encodes the walk's values in the stream's form into an output that takes bytes
// (Put(data, size)).
template <class TOut> class TStreamEncoder {
public:
    explicit TStreamEncoder(TOut& out) : FOut(out) {}

    void Begin(std::string_view className, std::string_view objectName) {
        FOut.Put("TPF0", 4);
        ShortString(className);
        ShortString(objectName);
    }
    void Bool(std::string_view name, bool value) {
        Name(name);
        Byte(value ? vaTrue : vaFalse);
    }
    void Ident(std::string_view name, std::string_view ident) {
        Name(name);
        Byte(vaIdent);
        ShortString(ident);
    }
    // The smallest of the three integer forms that holds the value.
    void Integer(std::string_view name, int32_t value) {
        Name(name);
        const uint32_t v = static_cast<uint32_t>(value);
        const char le[5] = {0, static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                            static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
        if (value >= INT8_MIN && value <= INT8_MAX) {
            Byte(vaInt8);
            FOut.Put(le + 1, 1);
        } else if (value >= INT16_MIN && value <= INT16_MAX) {
            Byte(vaInt16);
            FOut.Put(le + 1, 2);
        } else {
            Byte(vaInt32);
            FOut.Put(le + 1, 4);
        }
    }
    void String(std::string_view name, std::string_view value) {
        // The name, the tag and the length go out as one piece.
        char head[1 + 255 + 5];
        const size_t n = name.size() > 255 ? 255 : name.size();
        head[0] = static_cast<char>(n);
        std::memcpy(head + 1, name.data(), n);
        char* p = head + 1 + n;
        const uint32_t size = static_cast<uint32_t>(value.size());
        if (size <= 255) {
            *p++ = static_cast<char>(vaString);
            *p++ = static_cast<char>(size);
        } else {
            *p++ = static_cast<char>(vaLString);
            for (int i = 0; i < 4; ++i)
                *p++ = static_cast<char>((size >> (8 * i)) & 0xFF);
        }
        FOut.Put(head, static_cast<size_t>(p - head));
        FOut.Put(value.data(), value.size());
    }
    void Date(std::string_view name, double value) {
        Name(name);
        char ext[11];
        ext[0] = static_cast<char>(vaExtended);
        DoubleToExtended(value, ext + 1);
        FOut.Put(ext, 11);
    }
    void BeginCollection(std::string_view name) {
        Name(name);
        Byte(vaCollection);
    }
    void BeginItem() { Byte(vaList); }
    void EndItem() { Byte(vaNull); }
    void EndCollection() { Byte(vaNull); }
    void End() {
        Byte(vaNull); // end of properties
        Byte(vaNull); // end of child objects
    }

private:
    void Byte(uint8_t b) {
        const char c = static_cast<char>(b);
        FOut.Put(&c, 1);
    }
    void ShortString(std::string_view s) {
        // Names and identifiers are short by construction; a longer one is cut rather than
        // producing a stream that cannot be read back.
        const size_t n = s.size() > 255 ? 255 : s.size();
        Byte(static_cast<uint8_t>(n));
        FOut.Put(s.data(), n);
    }
    void Name(std::string_view name) { ShortString(name); }

    TOut& FOut;
};

struct TStringOut {
    std::string& Data;
    void Put(const char* data, size_t size) { Data.append(data, size); }
};

size_t EstimateSize(const TUserList& list) {
    size_t size = 128 + list.Name().size() + list.GroupFile.size();
    // A target's settings take about what its address and options hold, and their names.
    for (const TTarget& t : list.Targets) {
        size += 512 + t.Name.size() + t.Url.size();
        for (const auto& [key, value] : t.Options)
            size += 2 * key.size() + value.size();
    }
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& u = list.Users(i);
        size += 112 + u.Login.size() + u.Password.size() + u.FullName.size() + u.Email.size() +
                u.Comments.size() + u.PasswordHash().size() + u.Groups().size();
    }
    return size;
}

inline uint64_t Rotl64(uint64_t x, int r) {
    return (x << r) | (x >> (64 - r));
}

inline uint64_t Read64(const unsigned char* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

inline uint32_t Read32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

namespace stream {

void DoubleToExtended(double value, char out[10]) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const int exp = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t frac = bits & ((uint64_t{1} << 52) - 1);
    uint64_t significand = 0;
    int exponent = 0;
    if (exp == 0x7FF) { // infinity and NaN keep their payload
        exponent = 0x7FFF;
        significand = (uint64_t{1} << 63) | (frac << 11);
    } else if (exp == 0) {
        if (frac != 0) { // subnormal double: normalise, the extended format has the range
            int shift = 0;
            while ((frac & (uint64_t{1} << 52)) == 0) {
                frac <<= 1;
                ++shift;
            }
            exponent = 1 - 1023 - shift + 16383;
            significand = frac << 11;
        }
    } else {
        exponent = exp - 1023 + 16383;
        significand = (uint64_t{1} << 63) | (frac << 11);
    }
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<char>((significand >> (8 * i)) & 0xFF);
    const unsigned top = static_cast<unsigned>(exponent) | (negative ? 0x8000u : 0u);
    out[8] = static_cast<char>(top & 0xFF);
    out[9] = static_cast<char>(top >> 8);
}

double ExtendedToDouble(const unsigned char in[10]) {
    uint64_t significand = 0;
    for (int i = 7; i >= 0; --i)
        significand = (significand << 8) | in[i];
    const unsigned top = static_cast<unsigned>(in[8]) | static_cast<unsigned>(in[9]) << 8;
    const bool negative = (top & 0x8000u) != 0;
    const int exponent = static_cast<int>(top & 0x7FFFu);
    double value;
    if (exponent == 0x7FFF) {
        value = (significand << 1) == 0 ? HUGE_VAL : std::nan("");
    } else {
        // significand * 2^(exponent - 16383 - 63); ldexp rounds once into the double range
        const int e = (exponent == 0 ? 1 : exponent) - 16383 - 63;
        const uint64_t hi = significand >> 11;   // upper 53 bits, exact in a double
        const uint64_t lo = significand & 0x7FF; // lower 11 bits
        value =
            std::ldexp(static_cast<double>(hi), e + 11) + std::ldexp(static_cast<double>(lo), e);
    }
    return negative ? -value : value;
}

} // namespace stream

void stream::AppendUserItem(const TUserProp& user, std::string& out) {
    TStringOut to{out};
    TStreamEncoder<TStringOut> encoder(to);
    WalkUser(user, encoder);
}

std::string WriteObjectStream(const TUserList& list) {
    std::string data;
    data.reserve(EstimateSize(list));
    TStringOut out{data};
    TStreamEncoder<TStringOut> encoder(out);
    WalkList(list, encoder);
    return data;
}

namespace {

// Hands the stream to a sink in pieces of a buffer.
class TSinkOut {
public:
    explicit TSinkOut(const TDataSink& sink) : FSink(sink) { FBuffer.reserve(kBuffer); }
    void Put(const char* data, size_t size) {
        if (FBuffer.size() + size > kBuffer) Flush();
        if (size >= kBuffer) {
            FSink(data, size);
            return;
        }
        FBuffer.append(data, size);
    }
    void Flush() {
        if (!FBuffer.empty()) FSink(FBuffer.data(), FBuffer.size());
        FBuffer.clear();
    }

private:
    static constexpr size_t kBuffer = 64 * 1024;
    const TDataSink& FSink;
    std::string FBuffer;
};

} // namespace

void WriteObjectStream(const TUserList& list, const TDataSink& sink) {
    TSinkOut out(sink);
    TStreamEncoder<TSinkOut> encoder(out);
    WalkList(list, encoder);
    out.Flush();
}

namespace {

// The fingerprint and the stamp of a stream handed over in pieces: Update with pieces whose
// sizes are multiples of 32 bytes, then Finish with the rest (of any size). A whole stream given
// to Finish alone gives the same values as any split of it.
class TStreamSums {
public:
    void Update(const unsigned char* p, size_t n) {
        Words(p, n);
        Stripes(p, n);
        FLength += n;
    }

    void Finish(const unsigned char* p, size_t n) {
        const size_t whole = n / 4;
        Words(p, whole * 4);
        const size_t rest = n % 4;
        if (rest != 0) {
            // The short last read overwrites only the first bytes of the 4-byte buffer; the
            // others still hold the corresponding bytes of the piece before it.
            unsigned char buffer[4];
            std::memcpy(buffer, FLastWord, 4);
            std::memcpy(buffer, p + 4 * whole, rest);
            FSum += Read32(buffer);
        }
        const size_t striped = n / 32 * 32;
        Stripes(p, striped);
        FLength += n;
        FStamp = Final(p + striped, n - striped);
    }

    // Finish for a whole stream whose fingerprint is not asked for: the stamp alone, in one
    // pass over the bytes.
    void FinishStampOnly(const unsigned char* p, size_t n) {
        const size_t striped = n / 32 * 32;
        Stripes(p, striped);
        FLength += n;
        FStamp = Final(p + striped, n - striped);
    }

    uint32_t Fingerprint() const { return FSum; }
    uint64_t Stamp() const { return FStamp; }

private:
    // A 64-bit multiply-rotate hash in four independent lanes (the xxHash64 construction).
    static constexpr uint64_t P1 = 0x9E3779B185EBCA87ULL;
    static constexpr uint64_t P2 = 0xC2B2AE3D27D4EB4FULL;
    static constexpr uint64_t P3 = 0x165667B19E3779F9ULL;
    static constexpr uint64_t P4 = 0x85EBCA77C2B2AE63ULL;
    static constexpr uint64_t P5 = 0x27D4EB2F165667C5ULL;
    static uint64_t Round(uint64_t acc, uint64_t input) {
        acc += input * P2;
        acc = Rotl64(acc, 31);
        return acc * P1;
    }
    static uint64_t Merge(uint64_t acc, uint64_t v) {
        acc ^= Round(0, v);
        return acc * P1 + P4;
    }

    void Words(const unsigned char* p, size_t n) {
        uint32_t sum = FSum;
        for (size_t i = 0; i + 4 <= n; i += 4)
            sum += Read32(p + i);
        FSum = sum;
        if (n >= 4) std::memcpy(FLastWord, p + n / 4 * 4 - 4, 4);
    }
    void Stripes(const unsigned char* p, size_t n) {
        for (size_t i = 0; i + 32 <= n; i += 32) {
            FV[0] = Round(FV[0], Read64(p + i));
            FV[1] = Round(FV[1], Read64(p + i + 8));
            FV[2] = Round(FV[2], Read64(p + i + 16));
            FV[3] = Round(FV[3], Read64(p + i + 24));
        }
    }
    uint64_t Final(const unsigned char* p, size_t n) const {
        const unsigned char* const end = p + n;
        uint64_t h;
        if (FLength >= 32) {
            h = Rotl64(FV[0], 1) + Rotl64(FV[1], 7) + Rotl64(FV[2], 12) + Rotl64(FV[3], 18);
            for (const uint64_t v : FV)
                h = Merge(h, v);
        } else {
            h = P5;
        }
        h += static_cast<uint64_t>(FLength);
        while (p + 8 <= end) {
            h ^= Round(0, Read64(p));
            h = Rotl64(h, 27) * P1 + P4;
            p += 8;
        }
        if (p + 4 <= end) {
            h ^= static_cast<uint64_t>(Read32(p)) * P1;
            h = Rotl64(h, 23) * P2 + P3;
            p += 4;
        }
        while (p < end) {
            h ^= static_cast<uint64_t>(*p) * P5;
            h = Rotl64(h, 11) * P1;
            ++p;
        }
        h ^= h >> 33;
        h *= P2;
        h ^= h >> 29;
        h *= P3;
        h ^= h >> 32;
        return h;
    }

    uint32_t FSum = 0;
    unsigned char FLastWord[4] = {0, 0, 0, 0};
    uint64_t FV[4] = {P1 + P2, P2, 0, 0 - P1};
    uint64_t FLength = 0;
    uint64_t FStamp = 0;
};

TStreamSums SumsOf(std::string_view stream) {
    TStreamSums sums;
    sums.Finish(reinterpret_cast<const unsigned char*>(stream.data()), stream.size());
    return sums;
}

// Takes the stream as the encoder produces it, in a small buffer summed whenever it is full,
// so the stream is never held whole.
class TSumsOut {
public:
    void Put(const char* data, size_t size) {
        if (size < sizeof FBuffer - FUsed) { // the common case: a small piece that fits
            std::memcpy(FBuffer + FUsed, data, size);
            FUsed += size;
            return;
        }
        while (size > 0) {
            const size_t n = std::min(size, sizeof FBuffer - FUsed);
            std::memcpy(FBuffer + FUsed, data, n);
            FUsed += n;
            data += n;
            size -= n;
            if (FUsed == sizeof FBuffer) {
                FSums.Update(FBuffer, FUsed);
                FUsed = 0;
            }
        }
    }
    TStreamSums Finish() {
        FSums.Finish(FBuffer, FUsed);
        return FSums;
    }

private:
    static constexpr size_t kBuffer = 64 * 1024; // a multiple of 32
    unsigned char FBuffer[kBuffer];
    size_t FUsed = 0;
    TStreamSums FSums;
};

// Sums the stream's little-endian words straight from the pieces the encoder hands over, with
// the same short last word as TStreamSums.
class TFingerprintOut {
public:
    void Put(const char* data, size_t size) {
        const auto* p = reinterpret_cast<const unsigned char*>(data);
        const unsigned char* const end = p + size;
        if (FFill != 0) { // first complete the word the pieces before began
            while (FFill < 4 && p < end)
                FWord |= static_cast<uint32_t>(*p++) << (8 * FFill++);
            if (FFill < 4) return;
            FSum += FWord;
            FLast = FWord;
            FWord = 0;
            FFill = 0;
        }
        if (end - p >= 4) {
            uint32_t sum = 0, word = 0;
            for (; end - p >= 4; p += 4) {
                word = Read32(p);
                sum += word;
            }
            FSum += sum;
            FLast = word;
        }
        while (p < end)
            FWord |= static_cast<uint32_t>(*p++) << (8 * FFill++);
    }
    uint32_t Finish() const {
        // The bytes left over take the place of the first bytes of the last whole word.
        if (FFill == 0) return FSum;
        return FSum + ((FLast & (~uint32_t{0} << (8 * FFill))) | FWord);
    }

private:
    uint32_t FSum = 0;
    uint32_t FLast = 0; // the last whole word
    uint32_t FWord = 0; // the bytes of a word not yet whole, in their places
    unsigned FFill = 0; // how many they are (0 to 3)
};

} // namespace

uint32_t StreamFingerprint(std::string_view stream) {
    return SumsOf(stream).Fingerprint();
}

uint64_t StreamStamp(std::string_view stream) {
    TStreamSums sums;
    sums.FinishStampOnly(reinterpret_cast<const unsigned char*>(stream.data()), stream.size());
    return sums.Stamp();
}

TListSums ListSums(const TUserList& list) {
    auto out = std::make_unique<TSumsOut>();
    TStreamEncoder<TSumsOut> encoder(*out);
    WalkList(list, encoder);
    const TStreamSums sums = out->Finish();
    return {sums.Fingerprint(), sums.Stamp()};
}

namespace {

// The items of a run of users in the object stream, encoded where the users were read.
struct TItemsPart : TUserStream {
    // The items take some two thirds of the text they were read from.
    explicit TItemsPart(size_t textBytes) { Items.reserve(textBytes * 3 / 4); }
    std::string Items;
    void Begin(std::string_view) override {}
    void User(TUserProp& user) override { stream::AppendUserItem(user, Items); }
};

} // namespace

struct TStreamedSums::TState {
    TSumsOut Out;
    TStreamEncoder<TSumsOut> Encoder{Out};
};

TStreamedSums::TStreamedSums() = default;
TStreamedSums::~TStreamedSums() = default;

void TStreamedSums::Begin(std::string_view listName) {
    F = std::make_unique<TState>(); // the users before, if any, are replaced
    WalkHead(listName, F->Encoder);
}

void TStreamedSums::User(TUserProp& user) {
    WalkUser(user, F->Encoder);
}

std::unique_ptr<TUserStream> TStreamedSums::Part(size_t textBytes) const {
    return std::make_unique<TItemsPart>(textBytes);
}

void TStreamedSums::Join(TUserStream& part) {
    const std::string& items = static_cast<TItemsPart&>(part).Items;
    F->Out.Put(items.data(), items.size());
}

TListSums TStreamedSums::Finish(const TUserList& list) {
    if (F == nullptr) Begin(list.Name());
    WalkTail(list, F->Encoder);
    const TStreamSums sums = F->Out.Finish();
    F.reset();
    return {sums.Fingerprint(), sums.Stamp()};
}

struct TStreamedFingerprint::TState {
    TFingerprintOut Out;
    TStreamEncoder<TFingerprintOut> Encoder{Out};
};

TStreamedFingerprint::TStreamedFingerprint() = default;
TStreamedFingerprint::~TStreamedFingerprint() = default;

void TStreamedFingerprint::Begin(std::string_view listName) {
    F = std::make_unique<TState>(); // the users before, if any, are replaced
    WalkHead(listName, F->Encoder);
}

void TStreamedFingerprint::User(TUserProp& user) {
    WalkUser(user, F->Encoder);
}

std::unique_ptr<TUserStream> TStreamedFingerprint::Part(size_t textBytes) const {
    return std::make_unique<TItemsPart>(textBytes);
}

void TStreamedFingerprint::Join(TUserStream& part) {
    const std::string& items = static_cast<TItemsPart&>(part).Items;
    F->Out.Put(items.data(), items.size());
}

uint32_t TStreamedFingerprint::Finish(const TUserList& list) {
    if (F == nullptr) Begin(list.Name());
    WalkTail(list, F->Encoder);
    const uint32_t fingerprint = F->Out.Finish();
    F.reset();
    return fingerprint;
}

namespace {

// Passes a user's items on to an encoder, but for the fields no password file holds.
template <class TVisitor> struct TExportedFields {
    TVisitor& V;
    bool WithNames;
    void BeginItem() { V.BeginItem(); }
    void EndItem() { V.EndItem(); }
    void Bool(std::string_view name, bool value) { V.Bool(name, value); }
    void Date(std::string_view name, double value) { V.Date(name, value); }
    void String(std::string_view name, const std::string& value) {
        if (name == "Comments") return;
        if (!WithNames && (name == "FullName" || name == "Email")) return;
        V.String(name, value);
    }
};

// A user as a lean list keeps it, added to that list.
void AddLean(TUserList& list, TUserProp& user, bool keepNames) {
    std::string().swap(user.Comments);
    if (!keepNames) {
        std::string().swap(user.FullName);
        std::string().swap(user.Email);
    }
    list.AddBlank().CopyFieldsFrom(user);
}

// A run of users read on another thread, kept lean.
struct TLeanPart : TUserStream {
    explicit TLeanPart(bool keepNames) : KeepNames(keepNames) {}
    bool KeepNames;
    TUserList Users;
    void Begin(std::string_view) override {}
    void User(TUserProp& user) override { AddLean(Users, user, KeepNames); }
};

} // namespace

void WriteExportedStream(const TUserList& list, bool withNames, const TDataSink& sink) {
    TSinkOut out(sink);
    TStreamEncoder<TSinkOut> encoder(out);
    TExportedFields<TStreamEncoder<TSinkOut>> users{encoder, withNames};
    WalkHead(list.Name(), encoder);
    for (int i = 0; i < list.Count(); ++i)
        WalkUser(list.Users(i), users);
    WalkTail(list, encoder);
    out.Flush();
}

TLeanUsers::TLeanUsers(bool keepNames)
    : FKeepNames(keepNames), FUsers(std::make_unique<TUserList>()) {}
TLeanUsers::~TLeanUsers() = default;

void TLeanUsers::Begin(std::string_view) {
    FUsers->Clear(); // a later collection replaces the users before
}

void TLeanUsers::User(TUserProp& user) {
    AddLean(*FUsers, user, FKeepNames);
}

std::unique_ptr<TUserStream> TLeanUsers::Part(size_t) const {
    return std::make_unique<TLeanPart>(FKeepNames);
}

void TLeanUsers::Join(TUserStream& part) {
    FUsers->AppendUsers(static_cast<TLeanPart&>(part).Users);
}

void TLeanUsers::Finish(TUserList& list) {
    list.TakeUsers(*FUsers);
}

} // namespace quorvane
