#include "job/AfterCommand.h"

#include "base/Errors.h"
#include "ftp/Transport.h"
#include "job/JobTexts.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

extern char** environ;

namespace quorvane {

void TOutputTail::Add(const char* data, std::size_t size) {
    FText.append(data, size);
    // Trimmed only once it is well past the bound, so that a chatty command costs little.
    if (FText.size() > 4 * KAfterTailBytes) {
        FText.erase(0, FText.size() - KAfterTailBytes);
        FCut = true;
    }
}

std::string TOutputTail::Text() const {
    std::string text = FText;
    bool cut = FCut;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    // Where the last KAfterTailLines lines begin.
    std::size_t start = text.size();
    for (std::size_t lines = 0; start > 0;) {
        const std::size_t eol = text.rfind('\n', start - 1);
        if (eol == std::string::npos) {
            start = 0;
        } else if (++lines == KAfterTailLines) {
            start = eol + 1;
            cut = true;
            break;
        } else {
            start = eol;
        }
    }
    text.erase(0, start);
    if (text.size() > KAfterTailBytes) {
        text.erase(0, text.size() - KAfterTailBytes);
        cut = true;
    }
    return cut && !text.empty() ? "..." + text : text;
}

namespace {

// Ends the command's process group: SIGTERM, then SIGKILL when it has not ended two seconds
// later. The status it ended with.
int EndGroup(pid_t pid) {
    ::kill(-pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 40; ++i) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            ::kill(-pid, SIGKILL); // what it left running in its group
            return status;
        }
        ::usleep(50000);
    }
    ::kill(-pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

TAfterResult RunAfterCommandLocally(const TAfterCommand& command, const std::string& file) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw EQuorvaneError(Msg(texts::AfterNotStarted, SystemError(errno)));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    // Nothing else of this program's open files (its database's lock, a connection) goes along.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                        POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);

    std::vector<std::string> env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e)
        if (std::strncmp(*e, "QUORVANE_FILE=", 14) != 0) env.emplace_back(*e);
    env.push_back("QUORVANE_FILE=" + file);
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string sh = "sh", c = "-c", line = command.Command;
    char* argv[] = {sh.data(), c.data(), line.data(), nullptr};

    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, "/bin/sh", &actions, &attr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        throw EQuorvaneError(Msg(texts::AfterNotStarted, SystemError(rc)));
    }

    TAfterResult result;
    TOutputTail tail;
    const auto deadline = std::chrono::steady_clock::now() + command.Timeout;
    bool open = true;
    int status = 0;
    bool ended = false;
    std::chrono::steady_clock::time_point endedAt;
    char buffer[4096];
    // Read until the output closes and the shell has ended. What the command left running in
    // the background (a daemon it started) may hold the output open: half a second after the
    // shell ended, it is left alone.
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (!ended && ::waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            endedAt = now;
        }
        if (ended && (!open || now - endedAt > std::chrono::milliseconds(500))) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        if (left.count() <= 0) {
            result.TimedOut = !ended;
            break;
        }
        if (!open) {
            ::usleep(20000);
            continue;
        }
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 100))) <= 0) continue;
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n > 0)
            tail.Add(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            open = false;
    }
    ::close(out[0]);
    if (result.TimedOut) status = EndGroup(pid);
    result.Tail = tail.Text();
    if (result.TimedOut) return result;
    if (WIFEXITED(status)) result.ExitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) {
        const char* name = sigabbrev_np(WTERMSIG(status));
        result.Signal = name != nullptr ? name : std::to_string(WTERMSIG(status));
    }
    return result;
}

TAfterResult RunAfterCommandRemotely(IRemoteShell& transport, const TAfterCommand& command,
                                     const std::string& file) {
    TOutputTail tail;
    const IRemoteShell::TExecResult run =
        transport.Exec(command.Command, {{"QUORVANE_FILE", file}},
                       std::chrono::duration_cast<std::chrono::milliseconds>(command.Timeout),
                       [&](const char* data, std::size_t size) { tail.Add(data, size); });
    TAfterResult result;
    result.ExitStatus = run.TimedOut || !run.Signal.empty() ? -1 : run.ExitStatus;
    result.Signal = run.Signal;
    result.TimedOut = run.TimedOut;
    result.Tail = tail.Text();
    return result;
}

TMessage AfterFailureMessage(const TAfterCommand& command, const TAfterResult& result) {
    if (result.Succeeded()) return {};
    TMessage why;
    if (result.TimedOut)
        why = Msg(texts::AfterTimedOut, static_cast<std::uint64_t>(command.Timeout.count()));
    else if (!result.Signal.empty())
        why = Msg(texts::AfterSignalled, result.Signal);
    else
        why = Msg(texts::AfterExitStatus, result.ExitStatus);
    if (result.Tail.empty()) return Msg(texts::AfterFailed, command.Command, why);
    return Msg(texts::AfterFailedSaying, command.Command, why, result.Tail);
}

} // namespace quorvane
