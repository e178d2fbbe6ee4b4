// The object stream of a users database: the compact tagged byte form that the text form is
// rendered from and that the change fingerprint and the change stamp are computed over.

#include "userdb/DataLib.h"
#include "userdb/DataLibInternal.h"
#include "userdb/UserList.h"

#include <cmath>
#include <cstring>

namespace quorvane {

namespace {

using namespace stream;

// Appends values in the stream's encoding to a string reserved in advance.
class TStreamWriter {
public:
    explicit TStreamWriter(size_t reserve) { FData.reserve(reserve); }

    void Byte(uint8_t b) { FData.push_back(static_cast<char>(b)); }
    void ShortString(std::string_view s) {
        // Names and identifiers are short by construction; a longer one is cut rather than
        // producing a stream that cannot be read back.
        const size_t n = s.size() > 255 ? 255 : s.size();
        Byte(static_cast<uint8_t>(n));
        FData.append(s.data(), n);
    }
    void Name(std::string_view name) { ShortString(name); }

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
        size_t bytes;
        if (value >= INT8_MIN && value <= INT8_MAX) {
            Byte(vaInt8);
            bytes = 1;
        } else if (value >= INT16_MIN && value <= INT16_MAX) {
            Byte(vaInt16);
            bytes = 2;
        } else {
            Byte(vaInt32);
            bytes = 4;
        }
        const uint32_t v = static_cast<uint32_t>(value);
        for (size_t i = 0; i < bytes; ++i)
            Byte(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
    }
    // Written only when not empty.
    void String(std::string_view name, const std::string& value) {
        if (value.empty()) return;
        Name(name);
        if (value.size() <= 255) {
            Byte(vaString);
            Byte(static_cast<uint8_t>(value.size()));
        } else {
            Byte(vaLString);
            const uint32_t n = static_cast<uint32_t>(value.size());
            char le[4] = {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                          static_cast<char>((n >> 16) & 0xFF), static_cast<char>(n >> 24)};
            FData.append(le, 4);
        }
        FData.append(value);
    }
    // Written only when not 0.
    void Date(std::string_view name, double value) {
        if (value == 0) return;
        Name(name);
        Byte(vaExtended);
        char ext[10];
        DoubleToExtended(value, ext);
        FData.append(ext, 10);
    }

    std::string Take() { return std::move(FData); }

private:
    std::string FData;
};

size_t EstimateSize(const TUserList& list) {
    size_t size = 128 + list.Name().size() + list.PassFile.size() + list.FtpHost.size() +
                  list.FtpUser.size() + list.FtpPass.size() + list.FtpPasswdFile.size() +
                  list.FtpTlsPin.size() + list.FtpCaFile.size() + list.FtpKeyFile.size() +
                  list.FtpHostKeys.size();
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& u = list.Users(i);
        size += 112 + u.Login.size() + u.Password.size() + u.FullName.size() + u.Email.size() +
                u.Comments.size() + u.PasswordHash.size();
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

std::string WriteObjectStream(const TUserList& list) {
    TStreamWriter w(EstimateSize(list));
    w.Byte('T');
    w.Byte('P');
    w.Byte('F');
    w.Byte('0');
    w.ShortString("TUserList");
    w.ShortString(list.Name());

    w.Name("Items");
    w.Byte(vaCollection);
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& u = list.Users(i);
        w.Byte(vaList);
        w.String("Login", u.Login);
        w.String("Password", u.Password);
        w.Bool("Disable", u.Disable);
        w.Bool("Expire", u.Expire);
        w.Date("ExpireDate", u.ExpireDate);
        w.Date("CreatedDate", u.CreatedDate);
        w.String("FullName", u.FullName);
        w.String("Email", u.Email);
        w.String("Comments", u.Comments);
        w.String("PasswordHash", u.PasswordHash); // only for users taken over by their hash
        w.Byte(vaNull);
    }
    w.Byte(vaNull);

    w.Ident("PassType", PasswordsTypeName(list.PassType));
    // The slow forms' settings, only while such a form is chosen: every other database keeps
    // the bytes (and the fingerprint) it always had.
    if (list.PassType == TPasswordsType::ptBcrypt && list.BcryptCost != KBcryptCostDefault)
        w.Integer("BcryptCost", list.BcryptCost);
    if ((list.PassType == TPasswordsType::ptSHA256 || list.PassType == TPasswordsType::ptSHA512) &&
        list.ShaRounds != KShaRoundsDefault)
        w.Integer("ShaRounds", list.ShaRounds);
    if (IsSlowPassType(list.PassType)) w.String("HashCacheKey", list.HashCacheKey);
    w.String("PassFile", list.PassFile);
    w.Bool("ExportToFile", list.ExportToFile);
    w.String("FtpHost", list.FtpHost);
    w.String("FtpUser", list.FtpUser);
    w.String("FtpPass", list.FtpPass);
    w.String("FtpPasswdFile", list.FtpPasswdFile);
    w.Bool("FtpStorePass", list.FtpStorePass);
    w.Bool("FtpPassiveMode", list.FtpPassiveMode);
    if (!list.FtpProtocol.empty()) { // a plain FTP database stays as the earlier versions wrote it
        w.String("FtpProtocol", list.FtpProtocol);
        w.String("FtpTlsPin", list.FtpTlsPin);
        w.String("FtpCaFile", list.FtpCaFile);
        w.String("FtpKeyFile", list.FtpKeyFile);
        w.String("FtpHostKeys", list.FtpHostKeys);
    }
    w.Byte(vaNull); // end of properties
    w.Byte(vaNull); // end of child objects
    return w.Take();
}

uint32_t StreamFingerprint(const std::string& stream) {
    const auto* p = reinterpret_cast<const unsigned char*>(stream.data());
    const size_t n = stream.size();
    const size_t whole = n / 4;
    uint32_t sum = 0;
    for (size_t i = 0; i < whole; ++i)
        sum += Read32(p + 4 * i);
    const size_t rest = n % 4;
    if (rest != 0) {
        // The short last read overwrites only the first bytes of the 4-byte buffer; the others
        // still hold the corresponding bytes of the piece before it.
        unsigned char buffer[4] = {0, 0, 0, 0};
        if (whole > 0) std::memcpy(buffer, p + 4 * (whole - 1), 4);
        std::memcpy(buffer, p + 4 * whole, rest);
        sum += Read32(buffer);
    }
    return sum;
}

uint64_t StreamStamp(const std::string& stream) {
    // A 64-bit multiply-rotate hash in four independent lanes (the xxHash64 construction).
    constexpr uint64_t P1 = 0x9E3779B185EBCA87ULL;
    constexpr uint64_t P2 = 0xC2B2AE3D27D4EB4FULL;
    constexpr uint64_t P3 = 0x165667B19E3779F9ULL;
    constexpr uint64_t P4 = 0x85EBCA77C2B2AE63ULL;
    constexpr uint64_t P5 = 0x27D4EB2F165667C5ULL;
    auto round = [](uint64_t acc, uint64_t input) {
        acc += input * P2;
        acc = Rotl64(acc, 31);
        return acc * P1;
    };
    auto merge = [&](uint64_t acc, uint64_t v) {
        acc ^= round(0, v);
        return acc * P1 + P4;
    };

    const auto* p = reinterpret_cast<const unsigned char*>(stream.data());
    const size_t len = stream.size();
    const unsigned char* const end = p + len;
    uint64_t h;
    if (len >= 32) {
        uint64_t v1 = P1 + P2, v2 = P2, v3 = 0, v4 = 0 - P1;
        const unsigned char* const limit = end - 32;
        do {
            v1 = round(v1, Read64(p));
            v2 = round(v2, Read64(p + 8));
            v3 = round(v3, Read64(p + 16));
            v4 = round(v4, Read64(p + 24));
            p += 32;
        } while (p <= limit);
        h = Rotl64(v1, 1) + Rotl64(v2, 7) + Rotl64(v3, 12) + Rotl64(v4, 18);
        h = merge(h, v1);
        h = merge(h, v2);
        h = merge(h, v3);
        h = merge(h, v4);
    } else {
        h = P5;
    }
    h += static_cast<uint64_t>(len);
    while (p + 8 <= end) {
        h ^= round(0, Read64(p));
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

} // namespace quorvane
