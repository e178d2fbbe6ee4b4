#pragma once
// Writing a file that a user cares about (the database, the password file) so that a failure or a
// crash never leaves it half written.

#include "base/Message.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace quorvane {

// What a write could not keep of the file it replaced; the write itself succeeded.
struct TWriteReport {
    // E.g. that the file's group could not be kept.
    std::vector<TMessage> Warnings;
};

// Receives the data of a file in pieces.
using TDataSink = std::function<void(const char* data, size_t size)>;

// Writes data to path atomically: a temporary file in the same folder (mode 0600 while it is
// written), flushed and renamed over the target. An existing target keeps its permission bits,
// and its owner and group where the system allows (a report says what could not be kept); a new
// one gets newFileMode (less the umask). Stale temporary files of earlier, killed writes to the
// same target are removed first; a signal that ends the program removes the temporary file.
//
// Where the target goes:
// - a link is followed only where the kernel's protected-symlink rule would follow it
//   (ResolveWriteTarget); otherwise the write is refused;
// - one of the process's own descriptors (/dev/stdout, /dev/fd/N) is written as it stands, at
//   its position, and a character device or a pipe is opened and written in place: neither is
//   replaced;
// - a folder, a block device or a socket is refused.
//
// Raises "Cannot create file %s" when the temporary file cannot be made and "Stream write error"
// when writing, flushing or renaming fails; the target is then untouched and the temporary file
// removed.
TWriteReport WriteFileAtomically(const std::string& path, const std::string& data,
                                 unsigned newFileMode = 0600);
// The same, with the data handed to the sink piece by piece by produce, so that a large file
// need not be held in memory whole. An exception from produce also leaves the target untouched
// (and propagates after the temporary file is removed).
// keptModeBits: of an existing target's permission bits, only these are kept (a file that must
// not stay readable by others passes 0770, say).
TWriteReport WriteFileAtomically(const std::string& path,
                                 const std::function<void(const TDataSink&)>& produce,
                                 unsigned newFileMode = 0600, unsigned keptModeBits = 07777);

// A file mode as written on the command line: one to four octal digits ("640", "0640"), at most
// 07777; none for anything else.
std::optional<unsigned> ParseFileMode(std::string_view text);
// A mode as four octal digits: "0640".
std::string FileModeText(unsigned mode);

class TTempFileRegistration;

// The two steps of WriteFileAtomically, for a caller that prepares more before the old file
// goes: Stage writes the new data completely into a temporary file beside the target (flushed,
// with the target's permission bits, owner and group as far as the system allows), Commit
// renames it over the target. What is staged and not committed is removed by Rollback or the
// destructor, the target untouched. A target written in place (a device, a pipe, one of the
// process's own descriptors) is written only by Commit. Failures raise as WriteFileAtomically
// describes.
class TStagedFile {
public:
    TStagedFile(std::string path, unsigned newFileMode, unsigned keptModeBits = 07777);
    ~TStagedFile();
    TStagedFile(const TStagedFile&) = delete;
    TStagedFile& operator=(const TStagedFile&) = delete;

    // The permission bits and group the staged file is given in place of the old file's (or
    // newFileMode), from the next Stage on: none and empty keep today's rule. Stage raises "There
    // is no group G" or "The group of F cannot be set to G: reason" before the target is
    // touched. A target written in place keeps its own.
    void SetModeAndGroup(std::optional<unsigned> mode, std::string group);
    void Stage(const std::function<void(const TDataSink&)>& produce);
    // Stage for a target the caller found holding the new content already: stages nothing when
    // the target is a regular file whose permission bits, owner and group are those Stage and
    // Commit would give the new file, so that Commit leaves it as it is (true). False, nothing
    // staged, when a replacement would change any of them: Stage then. Raises what Stage raises
    // for a group that cannot be had.
    bool StageHeld();
    TWriteReport Commit();
    void Rollback() noexcept;
    // Whether the target is written in place rather than replaced (known after Stage).
    bool InPlace() const { return FInPlace; }
    // The temporary file that holds what was staged (empty when written in place).
    const std::string& StagedPath() const { return FTemp; }

private:
    std::string FPath;
    unsigned FNewFileMode;
    unsigned FKeptModeBits;
    std::string FTarget; // where the path leads
    int FDescriptor = -1;
    bool FInPlace = false;
    bool FExists = false;
    bool FStaged = false;
    bool FHeld = false; // staged by StageHeld: Commit leaves the target as it is
    struct stat FOld {};
    std::string FTemp;
    int FTempDescriptor = -1;      // the staged file, open and locked until the commit or rollback
    mode_t FFinalMode = 0600;      // the staged file's mode once it replaces the target
    std::optional<unsigned> FMode; // SetModeAndGroup's
    std::string FGroup;
    std::string FInPlaceData;
    std::unique_ptr<TTempFileRegistration> FRegistration;
    TWriteReport FReport;
};

// Seams through which tests make a save fail.
namespace test_hooks {

// Makes the writes of the next atomic saves fail (as with a full disk) once this many bytes
// of the data were written; a negative value switches the failure off.
void SetWriteFailureAfter(long long bytes);
// Makes the next atomic saves fail at the flush to disk.
void SetFsyncFailure(bool fail);

} // namespace test_hooks

} // namespace quorvane
