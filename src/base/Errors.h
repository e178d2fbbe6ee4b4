#pragma once
// Failures are exceptions that carry a message (base/Message.h): what() is its English text.

#include "base/Message.h"

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvane {

// Root of every failure the program reports to the user with its own message.
class EQuorvaneError : public std::runtime_error {
public:
    explicit EQuorvaneError(TMessage message);
    const TMessage& Message() const noexcept { return *FMessage; }

protected:
    // A sentence that is not one of the program's texts: only the command line, which speaks
    // English alone, makes such failures (ECliError). The core raises messages.
    explicit EQuorvaneError(const std::string& text);

private:
    // Shared, so that copying the exception cannot fail.
    std::shared_ptr<const TMessage> FMessage;
};

// printf-style formatting of a message ("Cannot open file %s", "List index out of bounds (%d)").
std::string FormatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The names for a message, at most `named` of them: "ann, bob, carl" or "ann, bob and 3 more".
std::string NameList(const std::vector<std::string>& names, std::size_t named = 20,
                     const char* separator = ", ");

// An argument to quote in a message, cut to its first 100 bytes and "..." when it is longer, so
// that a huge one does not drown the message.
std::string ShortArgument(const std::string& text);

} // namespace quorvane
