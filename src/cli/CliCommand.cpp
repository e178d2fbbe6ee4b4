#include "cli/CliCommand.h"

#include "base/DateUtil.h"
#include "base/FileSafety.h"
#include "userdb/DatabaseLock.h"
#include "userdb/UserList.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <istream>
#include <ostream>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace quorvane::cli {

TDatabaseSession::TDatabaseSession(const std::string& path, TAccess access)
    : FPath(path), FAccess(access) {
    FLock = std::make_unique<TDatabaseLock>(path, access == TAccess::Read ? TLockMode::Shared
                                                                          : TLockMode::Exclusive);
    FList = std::make_unique<TUserList>();
    if (access == TAccess::Create) {
        if (FileExists(path))
            throw EQuorvaneError(FormatMessage("File %s already exists", path.c_str()));
        return;
    }
    if (access == TAccess::Change) CheckNotReadOnly(path);
    // Update (export) may end up saving nothing, so a read-only database is no reason to refuse.
    FList->LoadFromFile(path);
}

TDatabaseSession::~TDatabaseSession() = default;

bool TDatabaseSession::ReadOnly() const {
    return IsReadOnlyFile(FPath);
}

void TDatabaseSession::Save(std::ostream& err) {
    if (FAccess == TAccess::Read)
        throw std::logic_error("a database opened for reading is not saved");
    FList->SaveToFile(FPath);
    PrintWarnings(err, FList->SaveWarnings());
}

void PrintWarnings(std::ostream& err, const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings)
        err << "quorvane-cli: warning: " << w << "\n";
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

void Load(TUserList& list, const std::string& path) {
    list.LoadFromFile(path);
}

std::string ExpirationText(const TUserProp& user) {
    return user.Expire ? FormatDateTime(user.ExpireDate) : "Never";
}

namespace {

// The terminal's settings while echo is off, for the signal handler to put back.
struct termios gSavedTerminal;
volatile sig_atomic_t gEchoOff = 0;

void RestoreTerminalAndDie(int signal) {
    if (gEchoOff) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSavedTerminal);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Prompts on standard error and reads one line from the terminal on standard input without
// showing it, as htpasswd does.
std::string ReadPasswordFromTerminal(const char* prompt) {
    struct termios saved {};
    const bool canHide = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    struct sigaction restore {
    }, oldInt{}, oldTerm{}, oldQuit{}, oldHup{};
    if (canHide) {
        gSavedTerminal = saved;
        restore.sa_handler = RestoreTerminalAndDie;
        ::sigemptyset(&restore.sa_mask);
        ::sigaction(SIGINT, &restore, &oldInt);
        ::sigaction(SIGTERM, &restore, &oldTerm);
        ::sigaction(SIGQUIT, &restore, &oldQuit);
        ::sigaction(SIGHUP, &restore, &oldHup);
        struct termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        gEchoOff = 1;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    // Only now: what is typed after the prompt must not be shown.
    std::cerr << prompt << std::flush;
    std::string line;
    std::getline(std::cin, line);
    if (canHide) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        gEchoOff = 0;
        ::sigaction(SIGINT, &oldInt, nullptr);
        ::sigaction(SIGTERM, &oldTerm, nullptr);
        ::sigaction(SIGQUIT, &oldQuit, nullptr);
        ::sigaction(SIGHUP, &oldHup, nullptr);
    } else {
        std::cerr << "\n";
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

} // namespace

std::string ReadSecretLine(std::istream& in) {
    if (&in == &std::cin && ::isatty(STDIN_FILENO)) return ReadPasswordFromTerminal("Password: ");
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void WriteOutput(TCliStreams& io, const std::string& text, const char* consequence) {
    io.Out << text;
    io.Out.flush();
    if (!io.Out) {
        std::string message = "Cannot write to standard output";
        if (consequence != nullptr) message += std::string("; ") + consequence;
        throw EQuorvaneError(message);
    }
}

int ParseBoundedInt(const TArgs& args, const std::string& name, int fallback, int low, int high) {
    const auto text = args.Value(name);
    if (!text) return fallback;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text->c_str(), &end, 10);
    if (text->empty() || *end != '\0' || errno != 0 || value < low || value > high)
        throw EUsage("--" + name + " takes a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high));
    return static_cast<int>(value);
}

} // namespace quorvane::cli
