#pragma once
// Checks that keep the program from writing where it must not: links planted by other users,
// a password file written over its own database, a database the user made read-only; the
// identity of a file on disk, to notice that another program changed it; and the cleanup of
// temporary files when a save is cut short.

#include "base/Message.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace quorvane {

// What identifies the content of a file on disk: which file it is and when it last changed.
struct TFileIdentity {
    bool Exists = false;
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t Size = 0;
    int64_t ModifiedNs = 0; // modification time, nanoseconds since 1970
    bool operator==(const TFileIdentity&) const = default;
};
// The identity of the file at path (links followed); Exists false when there is none.
TFileIdentity ReadFileIdentity(const std::string& path);

// Where a write to path lands. Links are followed only where the kernel's protected-symlink rule
// would follow them: the link belongs to this user or to the owner of its folder, or the folder
// is not both sticky and writable by everybody. Otherwise raises EQuorvaneError naming the link.
// Descriptor is set (and Path is empty) when path names one of this process's own open
// descriptors (/dev/stdout, /dev/fd/N, /proc/self/fd/N): that descriptor is to be written.
struct TWriteTarget {
    std::string Path;
    int Descriptor = -1;
};
TWriteTarget ResolveWriteTarget(const std::string& path);

// Raises EQuorvaneError, before anything is written, when an export to target would write over
// the database at databasePath: the same file (device and inode, through links and hard links
// too), or the same path when the database does not exist yet. "-" (standard output) passes.
void CheckExportTarget(const std::string& target, const std::string& databasePath);

// True when a file exists at path and this user may not write to it (for the superuser: no write
// permission bit is set at all), or it lies on a read-only file system.
bool IsReadOnlyFile(const std::string& path);
// Raises "The file is read-only" when IsReadOnlyFile(path).
void CheckNotReadOnly(const std::string& path);

// The folder part of a path: "." for a bare name, "/" for a name in the root.
std::string DirectoryOf(const std::string& path);

// "Cannot create file PATH", followed by the cause the system gave (errno) where it is one a
// person can act on: ": the folder F does not exist", ": F is not a folder", ": no permission
// to write in the folder F", ": the disk is full", ": the disk quota is used up", ": the file
// system is read-only", ": it is a folder".
TMessage CannotCreateMessage(const std::string& path, int error);
// "Cannot write file PATH: the disk is full" (or the quota is used up) when that is the cause;
// "Stream write error" otherwise.
TMessage WriteErrorMessage(const std::string& path, int error);
// Files beside a database (its hash cache, its lock, its state): another user may plant a link,
// a fifo or a file of their own under such a name in a shared folder. They are opened without
// following a link and without waiting (a fifo or a device opens at once), and used only when
// fstat shows a regular file of this user.
//
// Opens the side file at path with flags (O_RDONLY, O_RDWR, O_CREAT with mode, ...; O_NOFOLLOW,
// O_NONBLOCK and O_CLOEXEC are added, O_NONBLOCK is taken off again once it is open). Returns the
// descriptor, or -1 with errno set: ENOENT when there is none, ELOOP for a link, EEXIST for a
// fifo, a device, a socket or a folder, EPERM for a file of another user, or what open reported.
int OpenSideFile(const std::string& path, int flags, mode_t mode = 0600);
// The whole content of the side file at path when it is a regular file of this user of at most
// maxBytes; nothing otherwise (none there, a link, a fifo, another user's file, too large,
// unreadable). The caller treats it as absent, and replaces it when it writes one.
std::optional<std::string> ReadSideFile(const std::string& path, std::size_t maxBytes);

// How reading an open file to its end went.
enum class TReadEnd { Whole, Failed, TooLarge };
// Reads from where the descriptor stands to the end of the file, appending to `data` and
// retrying interrupted reads; stops as soon as more than maxBytes have been read.
TReadEnd ReadToEnd(int fd, std::size_t maxBytes, std::string& data);

// Whether the regular file at path (not followed if it is a link) holds exactly bytes: compared
// a piece at a time, never read whole. False when it cannot be opened or read.
bool FileHoldsExactly(const std::string& path, std::string_view bytes);
// Hands the regular file at path (not followed if it is a link) to piece a part at a time,
// never read whole. False when it cannot be opened or read to its end.
bool ReadFileInPieces(const std::string& path, const std::function<void(std::string_view)>& piece);

// The longest line a file of users may have (a password file, a text import): 64 KiB.
inline constexpr std::size_t KMaxInputLineBytes = 64 * 1024;

// Opens a file the user named as input (a database, users to import, a password file to take
// over) for reading. It must be a regular file, or one of this process's own open descriptors
// (/dev/stdin, /dev/fd/N) that is a pipe the caller handed over; opening never waits. Raises
// "Cannot open file %s" when it cannot be opened or is a folder, "%s is not a regular file" for
// a fifo, a device or a socket. Returns the descriptor, which the caller closes.
int OpenInputFile(const std::string& path);
// Reads such a file (OpenInputFile) as a whole. Raises what OpenInputFile raises, "Line %d of %s
// is longer than 64 KiB" when a line (up to a CR or LF) is longer than KMaxInputLineBytes, and
// "Stream read error" when reading fails. With stopAtNul, reading ends at the first NUL byte
// (what follows it is not read).
std::string ReadInputFile(const std::string& path, bool stopAtNul = false);

// Writes all of data to an open descriptor, again after an interrupting signal; false (errno
// set) when a write fails.
bool WriteFully(int fd, const char* data, std::size_t size);

// The name of the temporary files of a write to target: ".NAME.XXXXXX" in its folder.
std::string TemporaryPattern(const std::string& target);
// Removes temporary files of earlier writes to target that a killed run left behind: same folder,
// same name pattern, regular files of this user that no run holds locked (a run holds its staged
// file locked until it commits or rolls back), last changed at least minAge ago. Returns how
// many were removed; failures are ignored.
int RemoveStaleTemporaries(const std::string& target,
                           std::chrono::seconds minAge = std::chrono::seconds(5));
// The same for any temporary files named head, six letters or digits, tail in folder; with
// onlyUnlocked, a file some process holds locked is left alone.
int RemoveStaleFiles(const std::string& folder, const std::string& head, const std::string& tail,
                     std::chrono::seconds minAge, bool onlyUnlocked = false);

// Keeps a temporary file's name registered while it exists, so that SIGINT, SIGTERM or SIGHUP
// remove it before the process ends (the signal is then raised again with its usual effect).
// The handlers are installed with the first registration; a signal the process ignores stays
// ignored, and a handler that was there before is called after the files are removed.
class TTempFileRegistration {
public:
    explicit TTempFileRegistration(const std::string& path);
    ~TTempFileRegistration();
    TTempFileRegistration(const TTempFileRegistration&) = delete;
    TTempFileRegistration& operator=(const TTempFileRegistration&) = delete;
    // Forgets the file (it was renamed into place or removed).
    void Release();

private:
    int FSlot = -1;
};

} // namespace quorvane
