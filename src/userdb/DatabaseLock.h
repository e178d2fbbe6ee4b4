#pragma once
// The advisory lock that keeps two programs from changing one database at the same time: a lock
// file beside the database ("users.udx.lock", mode 0600), locked with flock and removed when the
// last holder is done. Readers share it; a writer holds it alone from before it reads the file
// until after its save has replaced it.

#include "base/Errors.h"

#include <chrono>
#include <memory>
#include <string>

namespace quorvane {

class TTempFileRegistration;

// Raised when the lock could not be had in time: "The database is in use by another program".
class EDatabaseBusy : public EQuorvaneError {
public:
    EDatabaseBusy();
};

enum class TLockMode { Shared, Exclusive };

class TDatabaseLock {
public:
    // Waits up to timeout for the lock on the database at path (the file need not exist yet).
    // Raises EDatabaseBusy when another program holds it all that time, "Cannot create file %s"
    // (naming the lock file) when the lock file cannot be made for an exclusive lock, and the
    // refusal of ResolveWriteTarget for a link that must not be followed. A shared lock in a
    // folder this user cannot write to goes without a lock file: nobody who could change the
    // database there is kept out by it, and reading must still work. So does any lock in a
    // folder that does not exist (there is no database to protect).
    TDatabaseLock(const std::string& path, TLockMode mode,
                  std::chrono::milliseconds timeout = DefaultTimeout());
    ~TDatabaseLock();
    TDatabaseLock(const TDatabaseLock&) = delete;
    TDatabaseLock& operator=(const TDatabaseLock&) = delete;

    TLockMode Mode() const { return FMode; }
    // The lock file's path, empty when the lock went without one.
    const std::string& LockPath() const { return FLockPath; }

    // The lock file that belongs to the database at path (beside the file a link leads to).
    static std::string LockPathFor(const std::string& path);
    // How long a command waits for the lock: 10 seconds.
    static std::chrono::milliseconds DefaultTimeout();

private:
    TLockMode FMode;
    std::string FLockPath;
    int FFd = -1;
    std::unique_ptr<TTempFileRegistration> FCleanup;
};

namespace test_hooks {
// Changes how long locks wait by default (a zero or negative value restores 10 seconds).
void SetDefaultLockTimeout(std::chrono::milliseconds timeout);
} // namespace test_hooks

} // namespace quorvane
