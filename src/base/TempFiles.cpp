#include "base/TempFiles.h"

#include "base/BaseTexts.h"
#include "base/Errors.h"
#include "base/FileSafety.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvane {

std::string GetTempDir() {
    const char* env = std::getenv("TMPDIR");
    std::string dir = (env != nullptr && *env != '\0') ? std::string(env) : std::string("/tmp");
    if (dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

std::string GetTempFile(const std::string& prefix, const std::string& folder) {
    std::string dir = folder.empty() ? GetTempDir() : folder;
    if (dir.back() != '/') {
        dir += '/';
    }
    static const std::string kExtension = ".tmp";
    const std::string pattern = dir + prefix.substr(0, 3) + "XXXXXX" + kExtension;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkstemps creates the file exclusively with mode 0600.
    const int fd = ::mkstemps(name.data(), static_cast<int>(kExtension.size()));
    if (fd < 0) {
        throw EQuorvaneError(Msg(texts::CannotCreateFile, pattern));
    }
    ::close(fd);
    return std::string(name.data());
}

int RemoveStaleTempFiles(const std::string& prefix, std::chrono::seconds minAge,
                         const std::string& folder) {
    const std::string dir = folder.empty() ? GetTempDir() : folder;
    return RemoveStaleFiles(dir, prefix.substr(0, 3), ".tmp", minAge);
}

TMemoryFile::TMemoryFile(const std::string& name, const std::string& content)
    : FFd(::memfd_create(name.c_str(), MFD_CLOEXEC)) {
    if (FFd < 0 || !WriteFully(FFd, content.data(), content.size())) {
        if (FFd >= 0) ::close(FFd);
        throw EQuorvaneError(Msg(texts::CannotCreateFile, name));
    }
    FPath = "/proc/self/fd/" + std::to_string(FFd);
}

TMemoryFile::~TMemoryFile() {
    ::close(FFd);
}

bool IsMemoryFile(const std::string& path) {
    if (path.rfind("/proc/self/fd/", 0) != 0) return false;
    char target[64];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    return n > 7 && std::string(target, 7) == "/memfd:";
}

std::int64_t FileSizeOf(const std::string& fileName) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    struct stat info {};
    const bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return ok ? static_cast<std::int64_t>(info.st_size) : 0;
}

} // namespace quorvane
