#pragma once
// quorvane-cli: the command-line companion. Every sub-command reads and writes through the
// streams it is given, so tests compare its exact output.

#include <iosfwd>
#include <string>
#include <vector>

namespace quorvane {

struct TCliStreams {
    std::istream& In;
    std::ostream& Out;
    std::ostream& Err;
    bool ErrIsTerminal = false; // progress lines go to Err only when it is a terminal
    // Standard error as it is, for the progress rewritten in place (after a CR) on a terminal;
    // RunCli sets it and hands the command an Err that escapes every other control byte.
    std::ostream* RawErr = nullptr;
};

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1; // the command failed; its message went to Err
constexpr int kExitUsage = 2;   // the command line was not understood

// Runs one command line (without the program name) and returns the exit status.
int RunCli(const std::vector<std::string>& args, TCliStreams& io);

} // namespace quorvane
