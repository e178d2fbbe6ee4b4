#include "base/Errors.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace quorvane {

EQuorvaneError::EQuorvaneError(TMessage message)
    : std::runtime_error(EnglishText(message)),
      FMessage(std::make_shared<const TMessage>(std::move(message))) {}

EQuorvaneError::EQuorvaneError(const std::string& text)
    : std::runtime_error(text), FMessage(std::make_shared<const TMessage>(Verbatim(text))) {}

std::string FormatMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string result;
    if (size > 0) {
        std::vector<char> buffer(static_cast<size_t>(size) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        result.assign(buffer.data(), static_cast<size_t>(size));
    }
    va_end(args);
    return result;
}

std::string NameList(const std::vector<std::string>& names, std::size_t named,
                     const char* separator) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < named; ++i) {
        if (i > 0) text += separator;
        text += names[i];
    }
    if (names.size() > named) text += FormatMessage(" and %zu more", names.size() - named);
    return text;
}

std::string ShortArgument(const std::string& text) {
    constexpr std::size_t KShown = 100;
    if (text.size() <= KShown + 3) return text;
    return text.substr(0, KShown) + "...";
}

} // namespace quorvane
