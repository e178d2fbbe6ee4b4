// Atomic replacement of a file: the data goes into a new temporary file in the target's folder,
// is flushed to disk and renamed over the target, so a failure or a crash leaves the old file
// whole.

#include "base/AtomicFile.h"
#include "base/BaseTexts.h"
#include "base/Errors.h"
#include "base/FileSafety.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvane {

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
    if (failAfter >= 0) {
        const unsigned long long limit = static_cast<unsigned long long>(failAfter);
        const unsigned long long allowed = limit > total ? limit - total : 0;
        if (size > allowed) {
            // The disk fills up after the allowed bytes.
            if (WriteFully(fd, data, static_cast<size_t>(allowed))) errno = ENOSPC;
            total += allowed;
            return false;
        }
    }
    if (!WriteFully(fd, data, size)) return false;
    total += size;
    return true;
}

} // namespace

namespace test_hooks {
void SetWriteFailureAfter(long long bytes) {
    gFailAfter.store(bytes);
}
void SetFsyncFailure(bool fail) {
    gFailFsync.store(fail);
}
} // namespace test_hooks

TWriteReport WriteFileAtomically(const std::string& path, const std::string& data,
                                 unsigned newFileMode) {
    return WriteFileAtomically(
        path, [&data](const TDataSink& sink) { sink(data.data(), data.size()); }, newFileMode);
}

namespace {

// Hands the data of produce to an open descriptor; raises "Stream write error" (or that the
// disk is full) on failure.
void Produce(int fd, const std::string& path,
             const std::function<void(const TDataSink&)>& produce) {
    unsigned long long total = 0;
    produce([fd, &total, &path](const char* piece, size_t size) {
        if (!WriteAll(fd, piece, size, total)) throw EQuorvaneError(WriteErrorMessage(path, errno));
    });
}

std::string UserName(uid_t uid) {
    std::vector<char> buffer(16384);
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return found->pw_name;
    return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    std::vector<char> buffer(16384);
    struct group gr {};
    struct group* found = nullptr;
    if (::getgrgid_r(gid, &gr, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return found->gr_name;
    return std::to_string(gid);
}

// Whether this process is a member of group (its supplementary groups).
bool InGroup(gid_t group) {
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 &&
           std::find(groups.begin(), groups.begin() + got, group) != groups.begin() + got;
}

// The id of the group called name; raises "There is no group NAME".
gid_t GroupIdByName(const std::string& name) {
    std::vector<char> buffer(16384);
    struct group gr {};
    struct group* found = nullptr;
    if (::getgrnam_r(name.c_str(), &gr, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr)
        return found->gr_gid;
    throw EQuorvaneError(Msg(texts::GroupUnknown, name));
}

// Gives the new file the owner and group of the one it replaces, as far as the system allows,
// and says what could not be kept.
void KeepOwnership(int fd, const struct stat& old, const std::string& path, TWriteReport& report) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) return;
    if (now.st_uid == old.st_uid && now.st_gid == old.st_gid) return;
    // Changing the owner needs privileges; the group alone only membership in it.
    // Whatever could not be kept shows in the second fstat below.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    }
    if (::fstat(fd, &now) != 0) return;
    if (now.st_uid != old.st_uid)
        report.Warnings.push_back(
            Msg(texts::OwnerNotKept, UserName(old.st_uid), path, UserName(now.st_uid)));
    if (now.st_gid != old.st_gid)
        report.Warnings.push_back(
            Msg(texts::GroupNotKept, GroupName(old.st_gid), path, GroupName(now.st_gid)));
}

// Writes into something that is not replaced: an open descriptor, a device, a pipe.
bool WriteInPlace(int fd, const std::string& data) {
    unsigned long long total = 0;
    return WriteAll(fd, data.data(), data.size(), total);
}

} // namespace

std::optional<unsigned> ParseFileMode(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    unsigned mode = 0;
    for (const char c : text) {
        if (c < '0' || c > '7') return std::nullopt;
        mode = mode * 8 + static_cast<unsigned>(c - '0');
    }
    if (mode > 07777) return std::nullopt;
    return mode;
}

std::string FileModeText(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

void TStagedFile::SetModeAndGroup(std::optional<unsigned> mode, std::string group) {
    FMode = mode;
    FGroup = std::move(group);
}

TStagedFile::TStagedFile(std::string path, unsigned newFileMode, unsigned keptModeBits)
    : FPath(std::move(path)), FNewFileMode(newFileMode), FKeptModeBits(keptModeBits) {}

TStagedFile::~TStagedFile() {
    Rollback();
}

void TStagedFile::Stage(const std::function<void(const TDataSink&)>& produce) {
    Rollback();
    const TMessage cannotCreate = Msg(texts::CannotCreateFile, FPath);
    if (FPath.empty()) throw EQuorvaneError(cannotCreate);
    FReport = TWriteReport();

    // Saving through a symbolic link replaces the file it points at, not the link; links that
    // another user could have planted are refused.
    const TWriteTarget resolved = ResolveWriteTarget(FPath);
    FDescriptor = resolved.Descriptor;
    FTarget = resolved.Path;
    FInPlace = FDescriptor >= 0;
    if (!FInPlace) {
        struct stat st {};
        FExists = ::stat(FTarget.c_str(), &st) == 0;
        // A folder (or a block device, a socket) is no file to write: refused, untouched.
        if (FExists && S_ISDIR(st.st_mode))
            throw EQuorvaneError(CannotCreateMessage(FPath, EISDIR));
        // A device or a pipe is written as it is; replacing it would break what reads it.
        FInPlace = FExists && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode));
        if (FExists && !FInPlace && !S_ISREG(st.st_mode)) throw EQuorvaneError(cannotCreate);
        FOld = st;
    }
    if (FInPlace) {
        // Nothing can be prepared beside it: the data waits for Commit.
        FInPlaceData.clear();
        produce([this](const char* piece, size_t size) { FInPlaceData.append(piece, size); });
        FStaged = true;
        return;
    }

    // The group asked for is looked up before anything is made.
    std::optional<gid_t> group;
    if (!FGroup.empty()) group = GroupIdByName(FGroup);

    // A run that was killed may have left its temporary file behind.
    RemoveStaleTemporaries(FTarget);

    std::string temp = TemporaryPattern(FTarget);
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) throw EQuorvaneError(CannotCreateMessage(FPath, errno));
    auto registration = std::make_unique<TTempFileRegistration>(temp);
    // Held until the commit or the rollback: a later run tells a file a killed run left behind
    // (the kernel let go of its lock) from one being staged now.
    (void)::flock(fd, LOCK_EX);

    // The file keeps mode 0600 until it replaces the target: it may hold passwords, and a run
    // killed before the commit leaves nobody else a copy to read.
    try {
        Produce(fd, FPath, produce);
    } catch (...) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw;
    }
    if (FExists) KeepOwnership(fd, FOld, FPath, FReport);
    if (group && ::fchown(fd, static_cast<uid_t>(-1), *group) != 0) {
        const int failure = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        throw EQuorvaneError(Msg(texts::GroupNotSet, FPath, FGroup, SystemError(failure)));
    }
    // After the owner change, which may clear the set-id bits; applied at the commit.
    FFinalMode = FMode     ? static_cast<mode_t>(*FMode) & 07777
                 : FExists ? FOld.st_mode & FKeptModeBits & 07777
                           : static_cast<mode_t>(FNewFileMode) & ~CurrentUmask() & 07777;
    bool ok = true;
    if (gFailFsync.load()) {
        errno = EIO;
        ok = false;
    }
    if (ok) ok = ::fsync(fd) == 0;
    if (!ok) {
        const int failure = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        throw EQuorvaneError(WriteErrorMessage(FPath, failure));
    }
    FTempDescriptor = fd;
    FTemp = std::move(temp);
    FRegistration = std::move(registration);
    FStaged = true;
}

bool TStagedFile::StageHeld() {
    Rollback();
    if (FPath.empty()) return false;
    const TWriteTarget resolved = ResolveWriteTarget(FPath);
    struct stat st {};
    if (resolved.Descriptor >= 0 || ::stat(resolved.Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::optional<gid_t> asked;
    if (!FGroup.empty()) asked = GroupIdByName(FGroup);
    const uid_t me = ::geteuid();
    // A replacement keeps the owner only with the privilege to give a file away, and sets a
    // group (kept or asked for) only where this user is a member of it or has that privilege.
    if (st.st_uid != me && me != 0) return false;
    const gid_t group = asked.value_or(st.st_gid);
    if (st.st_gid != group || !(me == 0 || group == ::getegid() || InGroup(group))) return false;
    // Set-id bits may be cleared on the way; such a file is replaced as it always was.
    const mode_t mode =
        FMode ? static_cast<mode_t>(*FMode) & 07777 : st.st_mode & FKeptModeBits & 07777;
    if ((st.st_mode & 07777) != mode || (mode & (S_ISUID | S_ISGID)) != 0) return false;
    FReport = TWriteReport();
    FTarget = resolved.Path;
    FInPlace = false;
    FExists = true;
    FOld = st;
    FHeld = true;
    FStaged = true;
    return true;
}

TWriteReport TStagedFile::Commit() {
    if (!FStaged) throw EQuorvaneError(Msg(texts::CannotCreateFile, FPath));
    if (FHeld) {
        FHeld = false;
        FStaged = false;
        return FReport;
    }
    if (FInPlace) {
        int fd = FDescriptor;
        if (fd < 0) fd = ::open(FTarget.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) throw EQuorvaneError(CannotCreateMessage(FPath, errno));
        const bool ok = WriteInPlace(fd, FInPlaceData);
        int failure = ok ? 0 : errno;
        const bool closed = FDescriptor >= 0 || ::close(fd) == 0;
        if (ok && !closed) failure = errno;
        FInPlaceData.clear();
        FStaged = false;
        if (!ok || !closed) throw EQuorvaneError(WriteErrorMessage(FPath, failure));
        return FReport;
    }
    // The old target stays until the new file is complete on disk.
    if (::fchmod(FTempDescriptor, FFinalMode) != 0) {
        const int failure = errno;
        Rollback();
        throw EQuorvaneError(WriteErrorMessage(FPath, failure));
    }
    if (::rename(FTemp.c_str(), FTarget.c_str()) != 0) {
        const int failure = errno;
        Rollback();
        throw EQuorvaneError(WriteErrorMessage(FPath, failure));
    }
    FRegistration->Release();
    FRegistration.reset();
    FTemp.clear();
    ::close(FTempDescriptor);
    FTempDescriptor = -1;
    FStaged = false;

    // Make the rename itself durable; a failure here no longer endangers any data.
    const int dirFd = ::open(DirectoryOf(FTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
    return FReport;
}

void TStagedFile::Rollback() noexcept {
    if (!FTemp.empty()) ::unlink(FTemp.c_str());
    if (FTempDescriptor >= 0) ::close(FTempDescriptor);
    FTempDescriptor = -1;
    FTemp.clear();
    FRegistration.reset();
    FInPlaceData.clear();
    FStaged = false;
    FHeld = false;
}

TWriteReport WriteFileAtomically(const std::string& path,
                                 const std::function<void(const TDataSink&)>& produce,
                                 unsigned newFileMode, unsigned keptModeBits) {
    TStagedFile file(path, newFileMode, keptModeBits);
    file.Stage(produce);
    return file.Commit();
}

} // namespace quorvane
