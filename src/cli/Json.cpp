#include "cli/Json.h"

#include <cstdio>

namespace quorvane::cli {

namespace {

void AppendEscape(std::string& out, unsigned code) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04X", code);
    out += buffer;
}

// Length of the valid UTF-8 sequence starting at s[i] (1 to 4), or 0 when there is none:
// no overlong forms, no surrogates, nothing above U+10FFFF.
size_t Utf8SequenceLength(const std::string& s, size_t i) {
    const auto byte = [&s](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    size_t length;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (b0 < 0x80)
        return 1;
    else if (b0 >= 0xC2 && b0 <= 0xDF)
        length = 2;
    else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0) low = 0xA0;
        if (b0 == 0xED) high = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0) low = 0x90;
        if (b0 == 0xF4) high = 0x8F;
    } else
        return 0;
    if (i + length > s.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
}

} // namespace

std::string JsonString(const std::string& bytes) {
    std::string out = "\"";
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        const size_t length = Utf8SequenceLength(bytes, i);
        if (length == 0) {
            AppendEscape(out, 0xDC00u + c);
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(bytes, i, length);
            i += length;
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F)
                AppendEscape(out, c);
            else
                out += static_cast<char>(c);
        }
        ++i;
    }
    out += '"';
    return out;
}

} // namespace quorvane::cli
