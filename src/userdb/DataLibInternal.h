#pragma once
// Pieces of the users database file shared between its writer, renderer and reader, and the
// seam through which tests make a save fail. Not part of the public interface.

#include "base/AtomicFile.h"
#include "userdb/DataLib.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane {

namespace stream {

// Tag bytes of the values in the object stream.
inline constexpr uint8_t vaNull = 0;     // end of an item's entries, end of a collection
inline constexpr uint8_t vaList = 1;     // start of one item of a collection
inline constexpr uint8_t vaInt8 = 2;     // 1-byte signed integer
inline constexpr uint8_t vaInt16 = 3;    // 2-byte little-endian signed integer
inline constexpr uint8_t vaInt32 = 4;    // 4-byte little-endian signed integer
inline constexpr uint8_t vaExtended = 5; // 80-bit extended number
inline constexpr uint8_t vaString = 6;   // length byte + bytes
inline constexpr uint8_t vaIdent = 7;    // short string
inline constexpr uint8_t vaFalse = 8;
inline constexpr uint8_t vaTrue = 9;
inline constexpr uint8_t vaLString = 12;    // 4-byte little-endian length + bytes
inline constexpr uint8_t vaCollection = 14; // items, each vaList ... vaNull, closed by vaNull

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

// Appends the item of one user, as the object stream of its list holds it.
void AppendUserItem(const TUserProp& user, std::string& out);

} // namespace stream

// ReadListText with the users of a collection read ahead in pieces of about pieceBytes of text
// (0: in one pass), by this many threads besides the calling one (0: the calling one reads
// every piece). Every choice gives the same outcome; ReadListText's suits large files.
void ReadListTextInPieces(std::string_view text, TUserList& list, size_t pieceBytes,
                          unsigned workers, const TReleaseHint& release = {},
                          TUserStream* users = nullptr);

namespace test_hooks {
// Makes ReadListText read in pieces of this many bytes by this many threads besides the calling
// one, so that small texts are read as large ones are (0 bytes restores its own choice).
void SetReadPieces(size_t pieceBytes, unsigned workers);
} // namespace test_hooks

} // namespace quorvane
