#pragma once
// The command a target runs once it holds its new file (reloading the program that reads it:
// "systemctl reload haproxy"): locally through /bin/sh -c, or on the server over the SFTP
// target's own SSH connection, with a time limit. Only the command the user wrote goes to a
// shell; what the export knows (the target's file) reaches it in the environment, never spliced
// into the command line.

#include "base/Message.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace quorvane {

class IRemoteShell;

// The last lines of a command's output a result keeps, and at most this many bytes of them.
inline constexpr std::size_t KAfterTailLines = 20;
inline constexpr std::size_t KAfterTailBytes = 4096;

struct TAfterCommand {
    std::string Command; // as the user wrote it, for /bin/sh -c (locally) or the server's shell
    std::chrono::seconds Timeout{60};
    bool operator==(const TAfterCommand&) const = default;
};

struct TAfterResult {
    // The exit status; -1 when it did not end by itself (timed out, killed by a signal).
    int ExitStatus = -1;
    std::string Signal; // the signal that ended it, where one did ("KILL")
    bool TimedOut = false;
    // The last lines of its standard output and error, in the order they came (at most
    // KAfterTailLines lines and KAfterTailBytes bytes; a line cut at the front starts with "...").
    std::string Tail;
    bool Succeeded() const { return ExitStatus == 0 && !TimedOut; }
};

// Keeps the end of a stream of output: the last KAfterTailLines lines, at most KAfterTailBytes.
class TOutputTail {
public:
    void Add(const char* data, std::size_t size);
    std::string Text() const;

private:
    std::string FText;
    bool FCut = false;
};

// Runs command through /bin/sh -c in its own process group, standard input from /dev/null,
// standard output and error collected, with `file` (the target's file, may be empty) in the
// environment as QUORVANE_FILE. After timeout the group gets SIGTERM, two seconds later
// SIGKILL. Raises EQuorvaneError when the shell cannot be started.
TAfterResult RunAfterCommandLocally(const TAfterCommand& command, const std::string& file);

// The same on the server over transport's connection (an exec channel; the server's shell
// runs the command, QUORVANE_FILE is asked for as an environment variable, which servers
// may refuse). A command still running at the time limit is left to the server when the
// channel closes. Raises EFtpError when the channel cannot be opened.
TAfterResult RunAfterCommandRemotely(IRemoteShell& transport, const TAfterCommand& command,
                                     const std::string& file);

// Why a result is a failure ("ended with status 3: LAST LINES", "did not end within 60
// seconds", "was ended by signal 9"); an empty message for a success.
TMessage AfterFailureMessage(const TAfterCommand& command, const TAfterResult& result);

} // namespace quorvane
