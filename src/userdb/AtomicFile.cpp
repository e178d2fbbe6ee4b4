// Atomic replacement of a file: the data goes into a new temporary file in the target's folder,
// is flushed to disk and renamed over the target, so a failure or a crash leaves the old file
// whole.

#include "DataLib.h"
#include "DataLibInternal.h"
#include "Errors.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<long long> gFailAfter{-1};
std::atomic<bool> gFailFsync{false};

// The process's file mode creation mask, read without changing it.
mode_t CurrentUmask() {
    FILE* f = std::fopen("/proc/self/status", "re");
    mode_t mask = 022;
    if (f == nullptr) return mask;
    char line[256];
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, "Umask:", 6) == 0) {
            mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
            break;
        }
    }
    std::fclose(f);
    return mask;
}

// Writes all of data; false (errno set) when a write fails. total counts the bytes of the file
// written so far (the test seam fails at a position in the file, not in one piece).
bool WriteAll(int fd, const char* data, size_t size, unsigned long long& total) {
    const long long failAfter = gFailAfter.load();
    size_t written = 0;
    while (written < size) {
        size_t chunk = size - written;
        if (chunk > (size_t{1} << 30)) chunk = size_t{1} << 30;
        if (failAfter >= 0) {
            const unsigned long long limit = static_cast<unsigned long long>(failAfter);
            const unsigned long long allowed = limit > total ? limit - total : 0;
            if (allowed == 0) {
                errno = ENOSPC;
                return false;
            }
            if (chunk > allowed) chunk = static_cast<size_t>(allowed);
        }
        const ssize_t n = ::write(fd, data + written, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        written += static_cast<size_t>(n);
        total += static_cast<unsigned long long>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

} // namespace

namespace quorvane_testing {
void SetWriteFailureAfter(long long bytes) {
    gFailAfter.store(bytes);
}
void SetFsyncFailure(bool fail) {
    gFailFsync.store(fail);
}
} // namespace quorvane_testing

void WriteFileAtomically(const std::string& path, const std::string& data, unsigned newFileMode) {
    WriteFileAtomically(
        path, [&data](const TDataSink& sink) { sink(data.data(), data.size()); }, newFileMode);
}

void WriteFileAtomically(const std::string& path,
                         const std::function<void(const TDataSink&)>& produce,
                         unsigned newFileMode) {
    const std::string cannotCreate = FormatMessage("Cannot create file %s", path.c_str());
    if (path.empty()) throw EQuorvaneError(cannotCreate);

    // Saving through a symbolic link replaces the file it points at, not the link.
    std::string target = path;
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (real != nullptr) {
            target = real;
            std::free(real);
        }
    }

    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) throw EQuorvaneError(cannotCreate);

    const size_t slash = target.rfind('/');
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = DirectoryOf(target) + "/." + base + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) throw EQuorvaneError(cannotCreate);

    bool ok;
    if (exists) {
        ok = ::fchmod(fd, st.st_mode & 07777) == 0;
        if (ok && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
            // Keeping the owner needs privileges; without them the file becomes ours.
            if (::fchown(fd, st.st_uid, st.st_gid) != 0) errno = 0;
        }
    } else {
        ok = ::fchmod(fd, static_cast<mode_t>(newFileMode) & ~CurrentUmask() & 07777) == 0;
    }
    if (!ok) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw EQuorvaneError(cannotCreate);
    }

    unsigned long long total = 0;
    try {
        produce([fd, &total](const char* piece, size_t size) {
            if (!WriteAll(fd, piece, size, total)) throw EQuorvaneError("Stream write error");
        });
    } catch (...) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw;
    }
    if (ok && gFailFsync.load()) {
        errno = EIO;
        ok = false;
    }
    if (ok) ok = ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    // The old target stays until the new file is complete on disk.
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        throw EQuorvaneError("Stream write error");
    }

    // Make the rename itself durable; a failure here no longer endangers any data.
    const int dirFd = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
}
