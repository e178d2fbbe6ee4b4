#include "userdb/DatabaseLock.h"

#include "base/BaseTexts.h"
#include "base/FileSafety.h"
#include "userdb/UserDbTexts.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quorvane {

namespace {

std::atomic<long long> gTimeoutMs{0};
constexpr std::chrono::milliseconds kDefaultTimeout{10000};
constexpr std::chrono::milliseconds kPollInterval{25};

} // namespace

namespace test_hooks {
void SetDefaultLockTimeout(std::chrono::milliseconds timeout) {
    gTimeoutMs.store(timeout.count());
}
} // namespace test_hooks

EDatabaseBusy::EDatabaseBusy() : EQuorvaneError(Msg(texts::DatabaseBusy)) {}

std::chrono::milliseconds TDatabaseLock::DefaultTimeout() {
    const long long ms = gTimeoutMs.load();
    return ms > 0 ? std::chrono::milliseconds(ms) : kDefaultTimeout;
}

std::string TDatabaseLock::LockPathFor(const std::string& path) {
    const TWriteTarget target = ResolveWriteTarget(path);
    return (target.Path.empty() ? path : target.Path) + ".lock";
}

TDatabaseLock::TDatabaseLock(const std::string& path, TLockMode mode,
                             std::chrono::milliseconds timeout)
    : FMode(mode) {
    std::string lockPath;
    try {
        lockPath = LockPathFor(path);
    } catch (const EQuorvaneError&) {
        // A link that must not be followed for writing: a reader goes on without a lock, and the
        // load meets the system's own rule for opening it.
        if (mode == TLockMode::Shared) return;
        throw;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const int operation = (mode == TLockMode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int replaced = 0;
    for (;;) {
        // Never waits on a fifo planted there; the lock file is never read.
        constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
        int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | kFlags, 0600);
        // A lock file another user left (or made) can still be locked through a reading handle.
        int error = fd < 0 ? errno : 0;
        if (fd < 0 && error == EACCES) {
            fd = ::open(lockPath.c_str(), O_RDONLY | kFlags);
            if (fd < 0 && errno != ENOENT) error = errno;
        }
        struct stat kind {};
        if (fd >= 0 && (::fstat(fd, &kind) != 0 || !S_ISREG(kind.st_mode))) {
            // A fifo, a device or a socket is no lock file: it goes, and a proper one is made.
            ::close(fd);
            if (++replaced > 1 || ::unlink(lockPath.c_str()) != 0)
                throw EQuorvaneError(Msg(texts::LockFileNotRegular, lockPath));
            continue;
        }
        if (fd < 0) {
            // No folder: no database either, and nothing to protect; the load or the save
            // reports the missing folder in its own words.
            if (error == ENOENT || error == ENOTDIR) return;
            if (mode == TLockMode::Shared && (error == EACCES || error == EROFS || error == EPERM))
                return; // nothing here can change the database: read without a lock
            throw EQuorvaneError(CannotCreateMessage(lockPath, error));
        }
        if (::flock(fd, operation) == 0) {
            // The holder before us may have removed the file we locked; then lock the new one.
            struct stat held {
            }, now{};
            if (::fstat(fd, &held) == 0 && ::lstat(lockPath.c_str(), &now) == 0 &&
                held.st_dev == now.st_dev && held.st_ino == now.st_ino) {
                FFd = fd;
                FLockPath = lockPath;
                // A signal that ends the program removes the file with its temporary files;
                // that is safe while nobody else can hold the lock.
                if (mode == TLockMode::Exclusive)
                    FCleanup = std::make_unique<TTempFileRegistration>(lockPath);
                return;
            }
            ::close(fd);
            continue;
        }
        error = errno;
        ::close(fd);
        if (error != EWOULDBLOCK && error != EINTR)
            throw EQuorvaneError(Msg(texts::CannotCreateFile, lockPath));
        if (std::chrono::steady_clock::now() >= deadline) throw EDatabaseBusy();
        std::this_thread::sleep_for(kPollInterval);
    }
}

TDatabaseLock::~TDatabaseLock() {
    if (FFd < 0) return;
    FCleanup.reset();
    // The file goes when nobody else holds it: an exclusive holder removes it, a reader only when
    // it can take the lock alone. Whoever waits on the removed file notices and locks anew.
    if (FMode == TLockMode::Exclusive || ::flock(FFd, LOCK_EX | LOCK_NB) == 0)
        ::unlink(FLockPath.c_str());
    ::close(FFd);
}

} // namespace quorvane
