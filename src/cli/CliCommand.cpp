#include "CliCommand.h"

#include "DateUtil.h"
#include "UserList.h"

#include <cerrno>
#include <cstdlib>
#include <istream>
#include <sys/stat.h>

namespace quorvane::cli {

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

void Load(TUserList& list, const std::string& path) {
    list.LoadFromFile(path);
}

bool IsBlank(const std::string& s) {
    for (unsigned char c : s)
        if (c > 32) return false;
    return true;
}

std::string ExpirationText(const TUserProp& user) {
    return user.Expire ? FormatDateTime(user.ExpireDate) : "Never";
}

std::string ReadSecretLine(std::istream& in) {
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

int ParseBoundedInt(const TArgs& args, const std::string& name, int fallback, int low, int high) {
    const auto text = args.Value(name);
    if (!text) return fallback;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text->c_str(), &end, 10);
    if (text->empty() || *end != '\0' || errno != 0 || value < low || value > high)
        throw EUsage("--" + name + " takes a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high));
    return static_cast<int>(value);
}

} // namespace quorvane::cli
