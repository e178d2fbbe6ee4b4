#pragma once
// JSON text for the machine-readable output of quorvane-cli.
//
// The database holds bytes, normally UTF-8. A string is written as UTF-8 with the escapes JSON
// requires (", \, control characters); each byte that is not part of a valid UTF-8 sequence is
// written as the escape \uDC80 to \uDCFF (0xDC00 plus the byte), a lone low surrogate that no
// valid text contains. Readers that keep such escapes (Python's json with the
// "surrogateescape" error handler) get the exact bytes back; others see U+FFFD in its place.

#include <string>

namespace quorvane::cli {

// The string as a JSON string literal, quotes included.
std::string JsonString(const std::string& bytes);

} // namespace quorvane::cli
