#pragma once
// Pieces of the users database file shared between its writer, renderer and reader, and the
// seam through which tests make a save fail. Not part of the public interface.

#include "base/AtomicFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

namespace stream {

// Tag bytes of the values in the object stream.
enum : uint8_t {
    vaNull = 0,     // end of an item's entries, end of a collection
    vaList = 1,     // start of one item of a collection
    vaInt8 = 2,     // 1-byte signed integer
    vaInt16 = 3,    // 2-byte little-endian signed integer
    vaInt32 = 4,    // 4-byte little-endian signed integer
    vaExtended = 5, // 80-bit extended number
    vaString = 6,   // length byte + bytes
    vaIdent = 7,    // short string
    vaFalse = 8,
    vaTrue = 9,
    vaLString = 12,   // 4-byte little-endian length + bytes
    vaCollection = 14 // items, each vaList ... vaNull, closed by vaNull
};

// A double in the 80-bit extended layout (little-endian, explicit leading significand bit) and
// back; every double converts exactly.
void DoubleToExtended(double value, char out[10]);
double ExtendedToDouble(const unsigned char in[10]);

// The number form of the text: nearest 15 significant digits, "." separator, plain form for
// decimal exponents -3..15, else scientific ("1.5E20", "1E-5").
std::string FormatNumber(double value);
// The same into a buffer of at least kNumberChars bytes; returns the length.
constexpr size_t kNumberChars = 32;
size_t FormatNumber(double value, char* out);

} // namespace stream

} // namespace quorvane
