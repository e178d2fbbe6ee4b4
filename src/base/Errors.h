#pragma once
// Failures are exceptions that carry the system's message text.

#include <stdexcept>
#include <string>

namespace quorvane {

// Root of every failure the program reports to the user with its own message.
class EQuorvaneError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// printf-style formatting of a message ("Cannot open file %s", "List index out of bounds (%d)").
std::string FormatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace quorvane
