#include "cli/SecretFile.h"

#include "base/Errors.h"
#include "base/FileSafety.h"
#include "cli/CliCommand.h"
#include "userdb/LoginRule.h"

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
    // A fifo or a device is refused here: one might never be written, the other never end.
    TFd file{OpenInputFile(path)};
    struct stat st {};
    if (::fstat(file.Fd, &st) != 0)
        throw ECliError(FormatMessage("Cannot open the password file %s: %s", path.c_str(),
                                      std::strerror(errno)));
    if (S_ISREG(st.st_mode) && (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        throw ECliError(
            FormatMessage("The password file %s may be read or changed by other users (mode %04o); "
                          "make it private with \"chmod 600 %s\"",
                          path.c_str(), static_cast<unsigned>(st.st_mode & 07777), path.c_str()));
    // Only the first line matters, and it may be no longer than a password: reading stops at its
    // end or right after the longest line allowed.
    std::string line;
    char c = 0;
    bool ended = false;
    while (!ended && line.size() <= KMaxPasswordBytes + 1) {
        const ssize_t n = ::read(file.Fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0)
            throw ECliError(FormatMessage("Cannot read the password file %s: %s", path.c_str(),
                                          std::strerror(errno)));
        if (n == 0) break;
        if (c == '\n')
            ended = true;
        else
            line += c;
    }
    c = 0;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > KMaxPasswordBytes) {
        ::explicit_bzero(line.data(), line.size());
        throw ECliError(FormatMessage("The first line of the password file %s is longer than "
                                      "%zu bytes, the most a password may have",
                                      path.c_str(), KMaxPasswordBytes));
    }
    if (line.empty()) throw ECliError(FormatMessage("The password file %s is empty", path.c_str()));
    if (line.find('\0') != std::string::npos)
        throw ECliError(FormatMessage("The password file %s holds a NUL byte", path.c_str()));
    return line;
}

} // namespace quorvane::cli
