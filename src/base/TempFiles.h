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

// Size in bytes of the file `fileName`; 0 when it cannot be opened or is not a regular file.
std::int64_t FileSizeOf(const std::string& fileName);

// The temporary folder: $TMPDIR when set and not empty, else "/tmp"; always ends with "/".
std::string GetTempDir();

} // namespace quorvane
