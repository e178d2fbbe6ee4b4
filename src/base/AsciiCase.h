#pragma once
// ASCII case folding: only the letters a to z and A to Z change, every other byte stays as it
// is, whatever the locale. Logins, identifiers in the database file and searches all fold this
// way.

#include <string>
#include <string_view>

namespace quorvane {

constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ToAsciiUpper(std::string text) {
    for (char& c : text)
        c = AsciiUpper(c);
    return text;
}

inline std::string ToAsciiLower(std::string text) {
    for (char& c : text)
        c = AsciiLower(c);
    return text;
}

// Equal once the letters a to z are folded; no trimming.
constexpr bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

// a against b once the letters a to z are folded, byte by byte as unsigned values, a prefix
// first: negative, zero or positive, as std::string::compare. No copy of either.
constexpr int CompareAscii(std::string_view a, std::string_view b) {
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
        const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

} // namespace quorvane
