#include "base/FileSafety.h"

#include "base/BaseTexts.h"
#include "base/Errors.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

namespace {

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Splits a path into its names, leaving out empty ones and ".".
void PushComponents(const std::string& path, std::deque<std::string>& out, bool front) {
    std::deque<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
        start = end + 1;
    }
    if (front)
        out.insert(out.begin(), parts.begin(), parts.end());
    else
        out.insert(out.end(), parts.begin(), parts.end());
}

// Whether prefix is the descriptor folder of this process (/proc/PID/fd, /proc/PID/task/TID/fd).
bool IsOwnDescriptorFolder(const std::string& prefix) {
    const std::string own = "/proc/" + std::to_string(::getpid()) + "/";
    if (prefix.compare(0, own.size(), own) != 0) return false;
    const std::string rest = prefix.substr(own.size());
    if (rest == "fd") return true;
    if (rest.compare(0, 5, "task/") != 0) return false;
    const size_t slash = rest.find('/', 5);
    return slash != std::string::npos && rest.substr(slash) == "/fd";
}

bool ParseDescriptor(const std::string& name, int& fd) {
    if (name.empty() || name.size() > 9) return false;
    int value = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    fd = value;
    return true;
}

} // namespace

TFileIdentity ReadFileIdentity(const std::string& path) {
    TFileIdentity id;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return id;
    id.Exists = true;
    id.Device = static_cast<uint64_t>(st.st_dev);
    id.Inode = static_cast<uint64_t>(st.st_ino);
    id.Size = static_cast<int64_t>(st.st_size);
    id.ModifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

TWriteTarget ResolveWriteTarget(const std::string& path) {
    std::deque<std::string> rest;
    PushComponents(path, rest, false);
    // prefix holds the part resolved so far, free of links: "/..." or relative ("" is here).
    std::string prefix = !path.empty() && path[0] == '/' ? "/" : "";
    int links = 0;
    auto join = [](const std::string& p, const std::string& name) {
        if (p.empty()) return name;
        return p.back() == '/' ? p + name : p + "/" + name;
    };
    while (!rest.empty()) {
        const std::string name = rest.front();
        rest.pop_front();
        if (name == "..") {
            const std::string last = NameOf(prefix);
            if (prefix.empty() || last == "..")
                prefix = join(prefix, "..");
            else if (prefix != "/")
                prefix = prefix.find('/') == std::string::npos ? "" : DirectoryOf(prefix);
            continue;
        }
        const std::string candidate = join(prefix, name);
        struct stat lst {};
        if (::lstat(candidate.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode)) {
            // Not a link (or nothing there yet: the rest is taken as it stands).
            prefix = candidate;
            continue;
        }
        const std::string folder = prefix.empty() ? "." : prefix;
        int fd = -1;
        if (IsOwnDescriptorFolder(folder) && ParseDescriptor(name, fd)) return {"", fd};
        struct stat dst {};
        if (::stat(folder.c_str(), &dst) != 0)
            throw EQuorvaneError(Msg(texts::CannotCreateFile, path));
        const bool shared = (dst.st_mode & S_ISVTX) != 0 && (dst.st_mode & S_IWOTH) != 0;
        if (shared && lst.st_uid != ::geteuid() && lst.st_uid != dst.st_uid)
            throw EQuorvaneError(Msg(texts::ForeignLink, candidate));
        if (++links > 40) throw EQuorvaneError(Msg(texts::CannotCreateFile, path));
        std::string linkText(PATH_MAX, '\0');
        const ssize_t n = ::readlink(candidate.c_str(), linkText.data(), linkText.size());
        if (n <= 0 || static_cast<size_t>(n) >= linkText.size())
            throw EQuorvaneError(Msg(texts::CannotCreateFile, path));
        linkText.resize(static_cast<size_t>(n));
        if (linkText[0] == '/') prefix = "/";
        PushComponents(linkText, rest, true);
    }
    if (prefix.empty()) prefix = ".";
    return {prefix, -1};
}

void CheckExportTarget(const std::string& target, const std::string& databasePath) {
    if (target == "-" || target.empty() || databasePath.empty()) return;
    bool same = false;
    const TFileIdentity t = ReadFileIdentity(target);
    const TFileIdentity d = ReadFileIdentity(databasePath);
    if (t.Exists && d.Exists) {
        same = t.Device == d.Device && t.Inode == d.Inode;
    } else if (!t.Exists) {
        std::error_code ec1, ec2;
        const auto a = std::filesystem::weakly_canonical(target, ec1);
        const auto b = std::filesystem::weakly_canonical(databasePath, ec2);
        same = !ec1 && !ec2 && a == b;
    }
    if (same) throw EQuorvaneError(Msg(texts::TargetIsDatabase, target));
}

bool IsReadOnlyFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return errno == EACCES || errno == EROFS || errno == EPERM;
    // The superuser may write anything; a file without any write permission is still meant to
    // stay as it is.
    return ::geteuid() == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

void CheckNotReadOnly(const std::string& path) {
    if (IsReadOnlyFile(path)) throw EQuorvaneError(Msg(texts::FileReadOnly));
}

std::string TemporaryPattern(const std::string& target) {
    return DirectoryOf(target) + "/." + NameOf(target) + ".XXXXXX";
}

int RemoveStaleFiles(const std::string& folder, const std::string& head, const std::string& tail,
                     std::chrono::seconds minAge, bool onlyUnlocked) {
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return 0;
    DIR* dir = ::fdopendir(dirFd);
    if (dir == nullptr) {
        ::close(dirFd);
        return 0;
    }
    const time_t limit = ::time(nullptr) - static_cast<time_t>(minAge.count());
    const size_t size = head.size() + 6 + tail.size();
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != size || name.compare(0, head.size(), head) != 0 ||
            name.compare(head.size() + 6, tail.size(), tail) != 0)
            continue;
        bool pattern = true;
        for (size_t i = head.size(); i < head.size() + 6; ++i) {
            const char c = name[i];
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
                pattern = false;
        }
        struct stat st {};
        if (!pattern || ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_mtime > limit) continue;
        int held = -1;
        if (onlyUnlocked) {
            // The lock is kept while the file is removed: its writer is gone, or never had it.
            held = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (held < 0) continue;
            if (::flock(held, LOCK_EX | LOCK_NB) != 0) {
                ::close(held);
                continue;
            }
        }
        if (::unlinkat(dirFd, name.c_str(), 0) == 0) ++removed;
        if (held >= 0) ::close(held);
    }
    ::closedir(dir);
    return removed;
}

int RemoveStaleTemporaries(const std::string& target, std::chrono::seconds minAge) {
    return RemoveStaleFiles(DirectoryOf(target), "." + NameOf(target) + ".", "", minAge, true);
}

// The registry of live temporary files. The signal handler only reads it: each slot's state
// says whether its path is complete (2), being written (1) or free (0).
namespace {

constexpr int kSlots = 64;
struct TSlot {
    std::atomic<int> State{0};
    char Path[PATH_MAX]{};
};
// Zeros from the start, never written at start-up: 64 slots of a page each would otherwise cost
// 64 page faults in every run of the programs.
constinit TSlot gSlots[kSlots];
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction gPrevious[3];
std::atomic<bool> gInstalled[3];
std::once_flag gInstallOnce;

int SignalIndex(int sig) {
    for (int i = 0; i < 3; ++i)
        if (kSignals[i] == sig) return i;
    return -1;
}

void OnSignal(int sig, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    for (TSlot& slot : gSlots)
        if (slot.State.load() == 2) ::unlink(slot.Path);
    const int i = SignalIndex(sig);
    if (i >= 0) {
        const struct sigaction& prev = gPrevious[i];
        if ((prev.sa_flags & SA_SIGINFO) != 0 && prev.sa_sigaction != nullptr) {
            prev.sa_sigaction(sig, info, context);
        } else if (prev.sa_handler != SIG_DFL && prev.sa_handler != SIG_IGN &&
                   prev.sa_handler != nullptr) {
            prev.sa_handler(sig);
        } else {
            // The usual effect: end the process by this signal once the handler returns.
            ::sigaction(sig, &prev, nullptr);
            ::raise(sig);
        }
    }
    errno = savedErrno;
}

void InstallHandlers() {
    for (int i = 0; i < 3; ++i) {
        struct sigaction prev {};
        if (::sigaction(kSignals[i], nullptr, &prev) != 0) continue;
        if ((prev.sa_flags & SA_SIGINFO) == 0 && prev.sa_handler == SIG_IGN) continue;
        gPrevious[i] = prev;
        struct sigaction act {};
        act.sa_sigaction = OnSignal;
        act.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&act.sa_mask);
        if (::sigaction(kSignals[i], &act, nullptr) == 0) gInstalled[i].store(true);
    }
}

} // namespace

TTempFileRegistration::TTempFileRegistration(const std::string& path) {
    std::call_once(gInstallOnce, InstallHandlers);
    if (path.empty() || path.size() >= PATH_MAX) return;
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (gSlots[i].State.compare_exchange_strong(expected, 1)) {
            std::memcpy(gSlots[i].Path, path.c_str(), path.size() + 1);
            gSlots[i].State.store(2);
            FSlot = i;
            return;
        }
    }
}

TTempFileRegistration::~TTempFileRegistration() {
    Release();
}

void TTempFileRegistration::Release() {
    if (FSlot >= 0) gSlots[FSlot].State.store(0);
    FSlot = -1;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

namespace {

// The first folder on the way to path that does not exist ("" when its folder exists).
std::string FirstMissingFolder(const std::string& path) {
    std::string folder = DirectoryOf(path);
    std::string missing;
    struct stat st {};
    while (::stat(folder.c_str(), &st) != 0) {
        missing = folder;
        const std::string up = DirectoryOf(folder);
        if (up == folder) break;
        folder = up;
    }
    return missing;
}

} // namespace

TMessage CannotCreateMessage(const std::string& path, int error) {
    if (path.empty()) return Msg(texts::CannotCreateFile, path);
    const std::string folder = DirectoryOf(path);
    struct stat st {};
    switch (error) {
    case ENOENT: {
        const std::string missing = FirstMissingFolder(path);
        if (!missing.empty()) return Msg(texts::CannotCreateFileNoFolder, path, missing);
        break;
    }
    case ENOTDIR: {
        // The deepest part of the path that exists is something other than a folder.
        std::string part = folder;
        while (::stat(part.c_str(), &st) != 0 && DirectoryOf(part) != part)
            part = DirectoryOf(part);
        return Msg(texts::CannotCreateFileNotAFolder, path, part);
    }
    case EACCES:
    case EPERM:
        return Msg(texts::CannotCreateFileNoPermission, path, folder);
    case ENOSPC:
        return Msg(texts::CannotCreateFileDiskFull, path);
    case EDQUOT:
        return Msg(texts::CannotCreateFileQuota, path);
    case EROFS:
        return Msg(texts::CannotCreateFileReadOnly, path);
    case EISDIR:
        return Msg(texts::CannotCreateFileIsFolder, path);
    default:
        break;
    }
    return Msg(texts::CannotCreateFile, path);
}

TMessage WriteErrorMessage(const std::string& path, int error) {
    if (error == ENOSPC) return Msg(texts::CannotWriteFileDiskFull, path);
    if (error == EDQUOT) return Msg(texts::CannotWriteFileQuota, path);
    return Msg(texts::StreamWriteError);
}

int OpenInputFile(const std::string& path) {
    const TMessage cannotOpen = Msg(texts::CannotOpenFile, path);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) throw EQuorvaneError(cannotOpen);
    struct stat st {};
    std::optional<TMessage> refusal;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        refusal = cannotOpen;
    } else if (!S_ISREG(st.st_mode)) {
        // A pipe this process was handed (a process substitution) was opened by its maker; a
        // fifo or a device named here might never end or never answer.
        bool own = false;
        try {
            own = S_ISFIFO(st.st_mode) && ResolveWriteTarget(path).Descriptor >= 0;
        } catch (const EQuorvaneError&) {
        }
        if (!own) refusal = Msg(texts::NotARegularFile, path);
    }
    if (refusal) {
        ::close(fd);
        throw EQuorvaneError(*refusal);
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

std::string ReadInputFile(const std::string& path, bool stopAtNul) {
    const int fd = OpenInputFile(path);
    struct TCloser {
        int Fd;
        ~TCloser() { ::close(Fd); }
    } closer{fd};
    struct stat st {};
    ::fstat(fd, &st);
    // Others may read the file meanwhile but not write it: a writer holding a lock on it makes
    // the file unavailable, and writers that honour locks wait until it has been read.
    int locked;
    while ((locked = ::flock(fd, LOCK_SH | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked != 0 && errno == EWOULDBLOCK) throw EQuorvaneError(Msg(texts::CannotOpenFile, path));

    std::string content;
    if (S_ISREG(st.st_mode) && st.st_size > 0) content.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    int line = 1;
    size_t length = 0; // of the line read so far
    bool afterCr = false;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw EQuorvaneError(Msg(texts::StreamReadError));
        }
        if (n == 0) break;
        size_t used = static_cast<size_t>(n);
        bool ended = false;
        for (size_t i = 0; i < used; ++i) {
            const char c = buffer[i];
            if (c == '\r' || (c == '\n' && !afterCr)) {
                ++line;
                length = 0;
            } else if (c == '\0' && stopAtNul) {
                used = i;
                ended = true;
                break;
            } else if (c != '\n' && ++length > KMaxInputLineBytes) {
                throw EQuorvaneError(Msg(texts::LineTooLong, line, path));
            }
            afterCr = c == '\r';
        }
        content.append(buffer, used);
        if (ended) break;
    }
    return content;
}

bool WriteFully(int fd, const char* data, std::size_t size) {
    std::size_t written = 0;
    while (written < size) {
        // One write never exceeds 1 GiB, whatever the system allows.
        const std::size_t chunk = std::min(size - written, std::size_t{1} << 30);
        const ssize_t n = ::write(fd, data + written, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace quorvane

namespace quorvane {

int OpenSideFile(const std::string& path, int flags, mode_t mode) {
    const int fd =
        ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
    if (fd < 0) return -1;
    struct stat st {};
    int problem = 0;
    if (::fstat(fd, &st) != 0)
        problem = errno;
    else if (!S_ISREG(st.st_mode))
        problem = EEXIST;
    else if (st.st_uid != ::geteuid())
        problem = EPERM;
    if (problem == 0) {
        const int status = ::fcntl(fd, F_GETFL);
        if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) problem = errno;
    }
    if (problem != 0) {
        ::close(fd);
        errno = problem;
        return -1;
    }
    return fd;
}

std::optional<std::string> ReadSideFile(const std::string& path, std::size_t maxBytes) {
    const int fd = OpenSideFile(path, O_RDONLY);
    if (fd < 0) return std::nullopt;
    std::string data;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && static_cast<std::size_t>(st.st_size) <= maxBytes &&
                    ReadToEnd(fd, maxBytes, data) == TReadEnd::Whole;
    ::close(fd);
    if (!ok) return std::nullopt;
    return data;
}

namespace {

// Makes the pages of a large buffer about to be filled present at once: one call, where
// touching them one by one costs a fault each (most of the time of reading a large file that
// the system has cached). Only a hint: nothing is lost where it is not followed.
void PrepareForWriting(char* bytes, std::size_t size) {
#ifdef MADV_POPULATE_WRITE
    constexpr std::size_t KWorthIt = std::size_t{1} << 20;
    if (size < KWorthIt) return;
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto at = reinterpret_cast<std::uintptr_t>(bytes);
    // The whole pages inside the buffer.
    char* const from = bytes + (page - at % page) % page;
    char* const to = bytes + size - (at + size) % page;
    if (to > from) (void)::madvise(from, static_cast<std::size_t>(to - from), MADV_POPULATE_WRITE);
#else
    (void)bytes;
    (void)size;
#endif
}

} // namespace

bool FileHoldsExactly(const std::string& path, std::string_view bytes) {
    std::size_t at = 0;
    bool same = true;
    const bool read = ReadFileInPieces(path, [&](std::string_view piece) {
        same = same && piece.size() <= bytes.size() - at &&
               std::memcmp(piece.data(), bytes.data() + at, piece.size()) == 0;
        at += piece.size();
    });
    return read && same && at == bytes.size();
}

bool ReadFileInPieces(const std::string& path, const std::function<void(std::string_view)>& piece) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    std::string buffer(std::size_t{1} << 16, '\0');
    try {
        while (ok) {
            const ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            piece(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        }
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    return ok;
}

TReadEnd ReadToEnd(int fd, std::size_t maxBytes, std::string& data) {
    const std::size_t start = data.size();
    // A regular file's size is known: its bytes are read straight to their place, not through
    // a buffer that they are then copied from (the copy costs as much as the read).
    struct stat st {};
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && at >= 0 && st.st_size > at &&
        static_cast<std::uint64_t>(st.st_size - at) <= maxBytes) {
        const auto expected = static_cast<std::size_t>(st.st_size - at);
        data.reserve(start + expected);
        PrepareForWriting(data.data() + start, expected);
        data.resize(start + expected);
        std::size_t filled = 0;
        while (filled < expected) {
            const ssize_t n = ::read(fd, data.data() + start + filled, expected - filled);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                data.resize(start + filled);
                return TReadEnd::Failed;
            }
            if (n == 0) break; // shortened meanwhile
            filled += static_cast<std::size_t>(n);
        }
        data.resize(start + filled);
        if (filled < expected) return TReadEnd::Whole;
        // Grown meanwhile: the rest as from any other file.
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return TReadEnd::Failed;
        if (n == 0) return TReadEnd::Whole;
        data.append(buffer, static_cast<std::size_t>(n));
        if (data.size() - start > maxBytes) return TReadEnd::TooLarge;
    }
}

} // namespace quorvane
