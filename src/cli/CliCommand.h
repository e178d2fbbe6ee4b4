#pragma once
// What every quorvane-cli command is built on: its argument parser, its entry in the command
// table and the helpers that several commands share. One file per command defines its entry.

#include "base/Errors.h"
#include "cli/Commands.h"
#include "job/Deployment.h"
#include "userdb/NewUser.h"

#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvane {
class TDatabaseLock;
class TUserList;
class TUserProp;
class TUserStream;
} // namespace quorvane

namespace quorvane::cli {

extern const char* const kVersion; // the project's version (CMakeLists.txt)

// A failure in the command line's own words (it speaks English only).
class ECliError : public EQuorvaneError {
public:
    explicit ECliError(const std::string& text) : EQuorvaneError(text) {}
    explicit ECliError(TMessage message) : EQuorvaneError(std::move(message)) {}
};

// A command line that cannot be understood; reported with the command's usage line.
class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The arguments of one sub-command: positional values and "--name value" / "--name=value"
// options, checked against what the command declares.
class TArgs {
public:
    TArgs(const std::vector<std::string>& args, size_t first,
          const std::vector<std::string>& valueOptions, const std::vector<std::string>& flags) {
        for (size_t i = first; i < args.size(); ++i) {
            const std::string& a = args[i];
            if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
                std::string name = a.substr(2), value;
                const auto eq = name.find('=');
                const bool inlineValue = eq != std::string::npos;
                if (inlineValue) {
                    value = name.substr(eq + 1);
                    name.resize(eq);
                }
                if (Contains(valueOptions, name)) {
                    if (!inlineValue) {
                        if (i + 1 >= args.size())
                            throw EUsage("option --" + name + " needs a value");
                        value = args[++i];
                    }
                    FOptions[name] = value;
                    FRepeated[name].push_back(value);
                } else if (Contains(flags, name) && !inlineValue) {
                    FOptions[name] = "";
                } else {
                    throw EUsage("unknown option " + a);
                }
            } else if (a == "--") {
                for (++i; i < args.size(); ++i)
                    FPositional.push_back(args[i]);
            } else {
                FPositional.push_back(a);
            }
        }
    }

    const std::vector<std::string>& Positional() const { return FPositional; }
    void ExpectPositional(size_t count) const {
        if (FPositional.size() < count) throw EUsage("missing argument");
        if (FPositional.size() > count) throw EUsage("unexpected argument " + FPositional[count]);
    }
    bool Has(const std::string& name) const { return FOptions.count(name) != 0; }
    std::optional<std::string> Value(const std::string& name) const {
        auto it = FOptions.find(name);
        if (it == FOptions.end()) return std::nullopt;
        return it->second;
    }
    // Every value an option was given, in order (an option given more than once).
    std::vector<std::string> Values(const std::string& name) const {
        auto it = FRepeated.find(name);
        return it == FRepeated.end() ? std::vector<std::string>() : it->second;
    }

private:
    static bool Contains(const std::vector<std::string>& v, const std::string& s) {
        for (const auto& x : v)
            if (x == s) return true;
        return false;
    }
    std::vector<std::string> FPositional;
    std::map<std::string, std::string> FOptions;
    std::map<std::string, std::vector<std::string>> FRepeated;
};

struct TCommand {
    std::string Name;
    std::string Usage;   // arguments after the command name
    std::string Summary; // one line
    std::string Details; // shown by "help COMMAND"
    std::vector<std::string> ValueOptions;
    std::vector<std::string> Flags;
    std::function<int(const TArgs&, TCliStreams&)> Run;
};

// A database as one command works on it, under the lock that suits the work: shared to read it,
// exclusive from before it is read until after the save has replaced it, so that two programs
// never lose each other's changes. A command that finds the database locked waits up to 10
// seconds, then fails with "The database is in use by another program".
class TDatabaseSession {
public:
    enum class TAccess {
        Read,   // shared lock; the database is loaded
        Change, // exclusive lock; the database is loaded and may be saved
        Update, // as Change, for a command whose main work is not the save (export): a
                // read-only database is not refused up front (see ReadOnly); in a folder where
                // no lock file can be made it is read as for Read and never saved (Unlocked)
        Create, // exclusive lock; the file must not exist yet; the list starts new
        Rewrite // as Change, but nothing is loaded until Rewrite reads and saves in one go
    };
    // Locks and loads (Read, Change) or checks that nothing is there yet (Create). Change refuses
    // a database this user may not write to ("The file is read-only") before anything is done.
    // With a stream (Read, Update) the users go to it as they are read, and the list keeps none.
    // A list read so for an Update is not to be saved: SaveChanged and SaveWhole save the file.
    TDatabaseSession(const std::string& path, TAccess access, TUserStream* users = nullptr);
    ~TDatabaseSession();
    TDatabaseSession(const TDatabaseSession&) = delete;
    TDatabaseSession& operator=(const TDatabaseSession&) = delete;

    TUserList& List() { return *FList; }
    const std::string& Path() const { return FPath; }
    // Whether saving would be refused with "The file is read-only", or is not to be tried.
    bool ReadOnly() const;
    // True for an Update of a database in a read-only folder: it went without the exclusive lock.
    bool Unlocked() const { return FUnlocked; }
    // Saves the list (Change and Create only). What the save could not keep of the old file (its
    // owner, its group) is reported on err as a warning; the save itself has succeeded then.
    void Save(std::ostream& err);
    // Loads, hands every user to change and saves (Rewrite only), as Change, a change on each
    // user and Save would, without holding all users at once (see TDataStore::RewriteFile).
    void Rewrite(TUserStream& change, std::ostream& err);
    // For a list read through a stream (Update): reads the file again as a whole, in place of
    // what the list holds, for work that needs every field.
    void Reload();
    // Saves the file as it is with change made to each of its users (Update of a plain
    // database), without holding them all; the list is left as it is.
    void SaveChanged(TUserStream& change, std::ostream& err);
    // Saves the file as it is with change made to the whole of it (Update of a plain database);
    // the list is left as it is.
    void SaveWhole(const std::function<void(TUserList&)>& change, std::ostream& err);

private:
    std::string FPath;
    TAccess FAccess;
    bool FUnlocked = false;
    std::unique_ptr<TDatabaseLock> FLock;
    std::unique_ptr<TUserList> FList;
};

// Prints each warning as "quorvane-cli: warning: TEXT" on err.
void PrintWarnings(std::ostream& err, const std::vector<TMessage>& warnings);
// The command line's own warnings.
void PrintWarnings(std::ostream& err, const std::vector<std::string>& warnings);

// The messages in English, each on a line of its own indented by two blanks.
std::string IndentedLines(const std::vector<TMessage>& lines);

// Whether something exists at the path.
bool FileExists(const std::string& path);
// Loads the database at path into list (without a lock: commands use TDatabaseSession); an
// encrypted one with the master password MasterCredentials gets. With a stream the users go to
// it in place of the list.
void Load(TUserList& list, const std::string& path, TUserStream* users = nullptr);
// "Never", or the expiration moment as YYYY-MM-DD HH:MM:SS.
std::string ExpirationText(const TUserProp& user);
// One line of standard input without its line end (LF or CR LF). When the stream is the
// process's standard input and that is a terminal, it first prompts "Password: " on standard
// error and reads without echo.
std::string ReadSecretLine(std::istream& in);
// Prompts on standard error and reads one line from the terminal on standard input without
// showing it, as htpasswd does. Under --no-prompt it asks nothing and raises "PROMPT is not
// asked under --no-prompt" at once.
std::string ReadPasswordFromTerminal(const char* prompt);

// --no-prompt: nothing is asked on the terminal; what would be asked fails at once (shell
// completion and other callers that cannot answer use it).
void SetNoPrompt(bool noPrompt);
bool NoPrompt();
// Writes text to io.Out and flushes it; raises "Cannot write to standard output" (followed by
// "; " and consequence, when given) when that failed.
void WriteOutput(TCliStreams& io, const std::string& text, const char* consequence = nullptr);
// The whole number given with --name, within low..high; fallback when the option is absent.
// Raises EUsage otherwise.
int ParseBoundedInt(const TArgs& args, const std::string& name, int fallback, int low, int high);

// Each target with the secret it logs in with: the one --server-password-stdin
// (--ftp-password-stdin) or --server-password-file give (a key file's passphrase with a key
// file), or the stored one. Raises, naming the target, when one is to be reached and neither is
// there; `one`: the database's one target, named as the database's.
std::vector<TDeployTarget> TargetSecrets(const std::vector<TTargetSettings>& targets,
                                         const TArgs& args, TCliStreams& io, bool one);

// The command table's entries, one per command file.
TCommand CreateCommand();
TCommand InfoCommand();
TCommand ListCommand();
TCommand AddCommand();
TCommand DeleteCommand();
TCommand SweepCommand();
TCommand ImportCommand();
TCommand SeriesCommand();
TCommand ExportCommand();
TCommand HashCommand();
TCommand PasswdCommand();
TCommand EnableCommand();
TCommand DisableCommand();
TCommand ExpireCommand();
TCommand EditCommand();
TCommand ImportHtpasswdCommand();
TCommand VerifyCommand();
TCommand CheckCommand();
TCommand TargetCommand();
TCommand SettingsCommand();
TCommand GroupCommand();
TCommand CredentialsCommand();
TCommand RestoreCommand();
TCommand EncryptCommand();
TCommand DecryptCommand();
TCommand RekeyCommand();

} // namespace quorvane::cli
