#pragma once
// Temporary files that may hold passwords (private, and removed when a killed run left them),
// the size of a file and the temporary folder.

#include <chrono>
#include <cstdint>
#include <string>

namespace quorvane {

// Creates a new, empty file with a unique name in `folder` (the temporary folder when empty)
// and returns its full name: the folder, the first three characters of `prefix`, a unique part
// and the extension ".tmp". The file is readable and writable by its owner only, since it may
// come to hold passwords. Raises EQuorvaneError "Cannot create file %s" when it cannot be made.
std::string GetTempFile(const std::string& prefix, const std::string& folder = std::string());

// Removes the temporary files GetTempFile made with this prefix in folder (the temporary folder
// when empty) that a killed program left behind: regular files of this user, last changed at
// least minAge ago (so a file another export is still sending stays). Returns how many went.
int RemoveStaleTempFiles(const std::string& prefix,
                         std::chrono::seconds minAge = std::chrono::hours(1),
                         const std::string& folder = std::string());

// A file that lives in memory only (memfd_create): what it holds never reaches a disk. Others
// open it by Path() ("/proc/self/fd/N") for as long as the object lives; it goes with the object.
// For what would otherwise be a temporary file holding the passwords of an encrypted database.
// Raises "Cannot create file %s" (naming it) when it cannot be made or filled.
class TMemoryFile {
public:
    TMemoryFile(const std::string& name, const std::string& content);
    ~TMemoryFile();
    TMemoryFile(const TMemoryFile&) = delete;
    TMemoryFile& operator=(const TMemoryFile&) = delete;
    const std::string& Path() const { return FPath; }

private:
    int FFd = -1;
    std::string FPath;
};

// Whether path is the Path() of a TMemoryFile of this process (a link that may be followed).
bool IsMemoryFile(const std::string& path);

// Size in bytes of the file `fileName`; 0 when it cannot be opened or is not a regular file.
std::int64_t FileSizeOf(const std::string& fileName);

// The temporary folder: $TMPDIR when set and not empty, else "/tmp"; always ends with "/".
std::string GetTempDir();

} // namespace quorvane
