#include "cli/SecretFile.h"

#include "base/Errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane::cli {

namespace {

// Closes the descriptor when it goes out of scope.
struct TFd {
    int Fd;
    ~TFd() {
        if (Fd >= 0) ::close(Fd);
    }
};

} // namespace

std::string ReadSecretFile(const std::string& path) {
    TFd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY)};
    if (file.Fd < 0)
        throw EQuorvaneError(FormatMessage("Cannot open the password file %s: %s", path.c_str(),
                                           std::strerror(errno)));
    struct stat st {};
    if (::fstat(file.Fd, &st) != 0)
        throw EQuorvaneError(FormatMessage("Cannot open the password file %s: %s", path.c_str(),
                                           std::strerror(errno)));
    if (S_ISREG(st.st_mode) && (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        throw EQuorvaneError(
            FormatMessage("The password file %s may be read or changed by other users (mode %04o); "
                          "make it private with \"chmod 600 %s\"",
                          path.c_str(), static_cast<unsigned>(st.st_mode & 07777), path.c_str()));
    // Only the first line matters; stop reading there.
    std::string line;
    char buffer[256];
    bool ended = false;
    while (!ended) {
        const ssize_t n = ::read(file.Fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw EQuorvaneError(FormatMessage("Cannot read the password file %s: %s", path.c_str(),
                                               std::strerror(errno)));
        if (n == 0) break;
        for (ssize_t i = 0; i < n && !ended; ++i) {
            if (buffer[i] == '\n')
                ended = true;
            else
                line += buffer[i];
        }
    }
    ::explicit_bzero(buffer, sizeof buffer);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty())
        throw EQuorvaneError(FormatMessage("The password file %s is empty", path.c_str()));
    if (line.find('\0') != std::string::npos)
        throw EQuorvaneError(FormatMessage("The password file %s holds a NUL byte", path.c_str()));
    return line;
}

} // namespace quorvane::cli
