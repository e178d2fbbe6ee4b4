#pragma once
// Secrets read from a file named on the command line (the server password of a scheduled
// export), so they never appear in the process list or the shell's history.

#include <string>

namespace quorvane::cli {

// The first line of the file, without its line end (LF or CR LF). Refuses, naming the file: one
// that cannot be read; a fifo, a device or anything else but a regular file (a fifo nobody
// writes would never answer, /dev/zero never end), except a pipe this process was handed as
// one of its own descriptors (/dev/fd/N from a process substitution); a regular file that the
// group or other users may read or write, since anyone who can read it has the server's
// password ("chmod 600" is the remedy); a first line longer than a password may be
// (KMaxPasswordBytes), empty, or holding a NUL byte. Nothing after the first line is read.
std::string ReadSecretFile(const std::string& path);

} // namespace quorvane::cli
