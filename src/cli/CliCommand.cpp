#include "cli/CliCommand.h"

#include "base/DateUtil.h"
#include "base/FileSafety.h"
#include "cli/MasterPassword.h"
#include "userdb/DatabaseLock.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <iostream>
#include <istream>
#include <ostream>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace quorvane::cli {

namespace {

// True when this user cannot make files in the folder of path.
bool FolderReadOnly(const std::string& path) {
    if (::faccessat(AT_FDCWD, DirectoryOf(path).c_str(), W_OK, AT_EACCESS) == 0) return false;
    return errno == EACCES || errno == EROFS || errno == EPERM;
}

} // namespace

TDatabaseSession::TDatabaseSession(const std::string& path, TAccess access, TUserStream* users)
    : FPath(path), FAccess(access) {
    try {
        FLock = std::make_unique<TDatabaseLock>(
            path, access == TAccess::Read ? TLockMode::Shared : TLockMode::Exclusive);
    } catch (const EDatabaseBusy&) {
        throw;
    } catch (const EQuorvaneError&) {
        // No lock file can be made where nothing can be saved either: an export reads the
        // database as readers do and saves nothing (ReadOnly).
        if (access != TAccess::Update || !FolderReadOnly(path)) throw;
        FLock = std::make_unique<TDatabaseLock>(path, TLockMode::Shared);
        FUnlocked = true;
    }
    FList = std::make_unique<TUserList>();
    if (access == TAccess::Create) {
        if (FileExists(path))
            throw ECliError(FormatMessage("File %s already exists", path.c_str()));
        return;
    }
    if (access == TAccess::Change || access == TAccess::Rewrite) CheckNotReadOnly(path);
    if (access == TAccess::Rewrite) return;
    // Update (export) may end up saving nothing, so a read-only database is no reason to refuse.
    Load(*FList, path, access == TAccess::Read || access == TAccess::Update ? users : nullptr);
}

void TDatabaseSession::Reload() {
    FList->Reset();
    Load(*FList, FPath);
}

void TDatabaseSession::SaveChanged(TUserStream& change, std::ostream& err) {
    if (FAccess != TAccess::Update)
        throw std::logic_error("only an export saves the file in place of its list");
    TUserList whole;
    whole.SetCredentialSource(
        [path = FPath](bool needsKeyFile) { return MasterCredentials(path, needsKeyFile); });
    whole.RewriteFile(FPath, change);
    PrintWarnings(err, whole.SaveWarnings());
}

void TDatabaseSession::SaveWhole(const std::function<void(TUserList&)>& change, std::ostream& err) {
    if (FAccess != TAccess::Update)
        throw std::logic_error("only an export saves the file in place of its list");
    TUserList whole;
    Load(whole, FPath);
    change(whole);
    whole.SaveToFile(FPath);
    PrintWarnings(err, whole.SaveWarnings());
}

TDatabaseSession::~TDatabaseSession() = default;

bool TDatabaseSession::ReadOnly() const {
    return FUnlocked || IsReadOnlyFile(FPath);
}

void TDatabaseSession::Save(std::ostream& err) {
    if (FAccess == TAccess::Read)
        throw std::logic_error("a database opened for reading is not saved");
    FList->SaveToFile(FPath);
    PrintWarnings(err, FList->SaveWarnings());
}

void TDatabaseSession::Rewrite(TUserStream& change, std::ostream& err) {
    if (FAccess != TAccess::Rewrite)
        throw std::logic_error("only a database opened for a rewrite is rewritten");
    FList->SetCredentialSource(
        [path = FPath](bool needsKeyFile) { return MasterCredentials(path, needsKeyFile); });
    FList->RewriteFile(FPath, change);
    PrintWarnings(err, FList->SaveWarnings());
}

void PrintWarnings(std::ostream& err, const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings)
        err << "quorvane-cli: warning: " << w << "\n";
}

void PrintWarnings(std::ostream& err, const std::vector<TMessage>& warnings) {
    for (const TMessage& w : warnings)
        err << "quorvane-cli: warning: " << EnglishText(w) << "\n";
}

std::string IndentedLines(const std::vector<TMessage>& lines) {
    std::string out;
    for (const TMessage& line : lines)
        out += "  " + EnglishText(line) + "\n";
    return out;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

void Load(TUserList& list, const std::string& path, TUserStream* users) {
    list.SetCredentialSource(
        [path](bool needsKeyFile) { return MasterCredentials(path, needsKeyFile); });
    if (users != nullptr)
        list.LoadFromFile(path, *users);
    else
        list.LoadFromFile(path);
}

std::string ExpirationText(const TUserProp& user) {
    return user.Expire ? FormatDateTime(user.ExpireDate) : "Never";
}

namespace {

// One line of in without its line end, read no further than the longest password allowed.
std::string ReadPasswordLine(std::istream& in) {
    std::string line;
    line.reserve(KMaxPasswordBytes + 2); // never moved while it grows: no stray copies
    char c = 0;
    while (line.size() <= KMaxPasswordBytes + 1 && in.get(c) && c != '\n')
        line += c;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    RequireValidPasswordLength(line);
    return line;
}

// The terminal's settings while echo is off, for the signal handler to put back.
struct termios gSavedTerminal;
volatile sig_atomic_t gEchoOff = 0;

void RestoreTerminalAndDie(int signal) {
    if (gEchoOff) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSavedTerminal);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

} // namespace

namespace {
bool gNoPrompt = false;
} // namespace

void SetNoPrompt(bool noPrompt) {
    gNoPrompt = noPrompt;
}

bool NoPrompt() {
    return gNoPrompt;
}

std::string ReadPasswordFromTerminal(const char* prompt) {
    if (gNoPrompt) {
        std::string what = prompt;
        while (!what.empty() && (what.back() == ' ' || what.back() == ':'))
            what.pop_back();
        throw ECliError("\"" + what + "\" is not asked under --no-prompt");
    }
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
    std::exception_ptr tooLong;
    try {
        line = ReadPasswordLine(std::cin);
    } catch (const EQuorvaneError&) {
        tooLong = std::current_exception(); // once the terminal echoes again
    }
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
    if (tooLong) std::rethrow_exception(tooLong);
    return line;
}

std::string ReadSecretLine(std::istream& in) {
    if (&in == &std::cin && ::isatty(STDIN_FILENO)) return ReadPasswordFromTerminal("Password: ");
    return ReadPasswordLine(in);
}

void WriteOutput(TCliStreams& io, const std::string& text, const char* consequence) {
    io.Out << text;
    io.Out.flush();
    if (!io.Out) {
        std::string message = "Cannot write to standard output";
        if (consequence != nullptr) message += std::string("; ") + consequence;
        throw ECliError(message);
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
