#pragma once
// Secrets read from a file named on the command line (the server password of a scheduled
// export), so they never appear in the process list or the shell's history.

#include <string>

namespace quorvane::cli {

// The first line of the file, without its line end (LF or CR LF). Refuses, naming the file: one
// that cannot be read; a regular file that the group or other users may read or write, since
// anyone who can read it has the server's password ("chmod 600" is the remedy); an empty
// first line, or one holding a NUL byte. Pipes and other special files (a process substitution, a
// systemd credential handed over as a file descriptor) are read as they are.
std::string ReadSecretFile(const std::string& path);

} // namespace quorvane::cli
