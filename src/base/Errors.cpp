#include "base/Errors.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace quorvane {

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

} // namespace quorvane
