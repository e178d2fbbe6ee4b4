#include "Commands.h"

#include "CSVImport.h"
#include "DateUtil.h"
#include "Errors.h"
#include "FileLib.h"
#include "FtpUpload.h"
#include "GenSeries.h"
#include "PasswordFile.h"
#include "UserList.h"
#include "htpasswd.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kVersion = "1.3";

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

private:
    static bool Contains(const std::vector<std::string>& v, const std::string& s) {
        for (const auto& x : v)
            if (x == s) return true;
        return false;
    }
    std::vector<std::string> FPositional;
    std::map<std::string, std::string> FOptions;
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

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

void Load(TUserList& list, const std::string& path) {
    list.LoadFromFile(path);
}

bool IsBlank(const std::string& s) {
    for (unsigned char c : s)
        if (c > 32) return false;
    return true;
}

std::string ExpirationText(const TUserProp& user) {
    return user.Expire ? FormatDateTime(user.ExpireDate) : "Never";
}

std::string ReadSecretLine(std::istream& in) {
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// ---- commands ---------------------------------------------------------------------------

int CmdCreate(const TArgs& args, TCliStreams&) {
    args.ExpectPositional(1);
    const std::string& path = args.Positional()[0];
    if (FileExists(path))
        throw EQuorvaneError(FormatMessage("File %s already exists", path.c_str()));
    TUserList list;
    list.SaveToFile(path);
    return kExitOk;
}

int CmdInfo(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    TUserList list;
    Load(list, args.Positional()[0]);
    int enabled = 0;
    for (int i = 0; i < list.Count(); ++i)
        if (!list.Users(i).Disable) ++enabled;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", list.Fingerprint());
    io.Out << "users: " << list.Count() << "\n"
           << "enabled: " << enabled << "\n"
           << "disabled: " << list.Count() - enabled << "\n"
           << "fingerprint: " << hex << "\n";
    return kExitOk;
}

int CmdList(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    TUserList list;
    Load(list, args.Positional()[0]);
    std::string out;
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& u = list.Users(i);
        out += u.Login;
        out += '\t';
        out += u.Disable ? "Disabled" : "Enabled";
        out += '\t';
        out += ExpirationText(u);
        out += '\t';
        out += u.Email;
        out += '\t';
        out += u.FullName;
        out += '\t';
        out += FormatDateTime(u.CreatedDate);
        out += '\n';
    }
    io.Out << out;
    return kExitOk;
}

int CmdAdd(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    const std::string& login = args.Positional()[1];
    std::string password;
    if (args.Has("password") == args.Has("password-stdin"))
        throw EUsage("give exactly one of --password and --password-stdin");
    password = args.Has("password") ? *args.Value("password") : ReadSecretLine(io.In);
    if (IsBlank(login)) throw EQuorvaneError("The login must not be blank");
    if (IsBlank(password)) throw EQuorvaneError("The password must not be blank");

    TDateTime expireDate = 0;
    const bool expire = args.Has("expire");
    if (expire && !ParseDateTime(*args.Value("expire"), expireDate))
        throw EUsage("--expire takes \"YYYY-MM-DD[ HH:MM[:SS]]\"");

    TUserList list;
    Load(list, path);
    if (!list.IsLoginUnique(login)) throw EQuorvaneError("User \"" + login + "\" already exists");
    TUserProp& user = list.AddBlank();
    user.CreatedDate = Now();
    user.Login = login;
    user.Password = password;
    user.Disable = args.Has("disabled");
    user.Expire = expire;
    // Without an expiry the date still gets the usual default, one month ahead, so switching
    // expiry on later starts from a sensible day.
    user.ExpireDate = expire ? expireDate : IncMonth(user.CreatedDate, 1);
    user.FullName = args.Value("full-name").value_or("");
    user.Email = args.Value("email").value_or("");
    user.Comments = args.Value("comments").value_or("");
    list.SaveToFile(path);
    return kExitOk;
}

int CmdDelete(const TArgs& args, TCliStreams&) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    const std::string& login = args.Positional()[1];
    TUserList list;
    Load(list, path);
    std::vector<TUserProp*> doomed;
    for (int i = 0; i < list.Count(); ++i)
        if (list.Users(i).Login == login) doomed.push_back(&list.Users(i));
    if (doomed.empty()) throw EQuorvaneError("User \"" + login + "\" not found");
    list.RemoveMany(doomed);
    list.SaveToFile(path);
    return kExitOk;
}

int CmdSweep(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string& path = args.Positional()[0];
    TUserList list;
    Load(list, path);
    const int disabled = list.DisableExpired();
    list.SaveToFile(path);
    io.Out << disabled << "\n";
    return kExitOk;
}

int CmdImport(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    TUserList list;
    Load(list, path);
    const int added = ImportUsers(args.Positional()[1], list);
    list.SaveToFile(path);
    io.Out << added << "\n";
    return kExitOk;
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

TCaseType ParseCase(const TArgs& args, const std::string& name, TCaseType fallback) {
    const auto text = args.Value(name);
    if (!text) return fallback;
    if (*text == "random") return caRandom;
    if (*text == "upper") return caUpper;
    if (*text == "lower") return caLower;
    throw EUsage("--" + name + " takes random, upper or lower");
}

TCharsType ParseChars(const TArgs& args, const std::string& name, TCharsType fallback) {
    const auto text = args.Value(name);
    if (!text) return fallback;
    if (*text == "random") return ctRandom;
    if (*text == "letter") return ctLetter;
    if (*text == "numeral") return ctNumeral;
    throw EUsage("--" + name + " takes random, letter or numeral");
}

class TCliSeriesFeedback : public ISeriesFeedback {
public:
    explicit TCliSeriesFeedback(std::ostream& err) : FErr(err) {}
    void Warning(const std::string& text) override { FErr << "quorvane-cli: " << text << "\n"; }

private:
    std::ostream& FErr;
};

int CmdSeries(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string& path = args.Positional()[0];
    using O = TSeriesOptions;
    TSeriesOptions options;
    options.UserCount =
        ParseBoundedInt(args, "count", O::kDefaultUserCount, O::kMinUserCount, O::kMaxUserCount);
    options.LoginLength =
        ParseBoundedInt(args, "login-length", O::kDefaultLoginLength, O::kMinLength, O::kMaxLength);
    options.LoginCase = ParseCase(args, "login-case", options.LoginCase);
    options.LoginChars = ParseChars(args, "login-chars", options.LoginChars);
    options.PasswordLength = ParseBoundedInt(args, "password-length", O::kDefaultPasswordLength,
                                             O::kMinLength, O::kMaxLength);
    options.PasswordCase = ParseCase(args, "password-case", options.PasswordCase);
    options.PasswordChars = ParseChars(args, "password-chars", options.PasswordChars);

    TUserList list;
    Load(list, path);
    TCliSeriesFeedback feedback(io.Err);
    const std::vector<TSeriesUser> created =
        CreateSeries(list, options.UserCount, options, SecureRandom(), &feedback);
    list.SaveToFile(path);
    std::string out;
    for (const TSeriesUser& u : created)
        out += u.Login + "\t" + u.Password + "\n";
    io.Out << out;
    return kExitOk;
}

// Progress of the password file on standard error, rewritten in place on a terminal.
class TCliExportProgress : public IExportProgress {
public:
    TCliExportProgress(std::ostream& err, bool show) : FErr(err), FShow(show) {}
    ~TCliExportProgress() override {
        if (FShown) FErr << "\n";
    }
    void Progress(const std::string& text) override {
        if (!FShow) return;
        FErr << "\r" << text << std::flush;
        FShown = true;
    }
    bool CancelRequested() override { return false; }

private:
    std::ostream& FErr;
    bool FShow;
    bool FShown = false;
};

// Writes data into an existing file (the private temporary file of an FTP export).
void WriteIntoFile(const std::string& path, const std::string& data) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) throw EQuorvaneError(FormatMessage("Cannot create file %s", path.c_str()));
    size_t done = 0;
    bool ok = true;
    while (ok && done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) ok = false;
    if (!ok) throw EQuorvaneError("Stream write error");
}

// Removes a file when it goes out of scope.
class TTempFileGuard {
public:
    explicit TTempFileGuard(std::string path) : FPath(std::move(path)) {}
    ~TTempFileGuard() {
        if (!FPath.empty()) ::unlink(FPath.c_str());
    }
    void Release() { FPath.clear(); }
    TTempFileGuard(const TTempFileGuard&) = delete;
    TTempFileGuard& operator=(const TTempFileGuard&) = delete;

private:
    std::string FPath;
};

void UploadToFtp(const TUserList& list, TPasswordsType passType, const std::string& password,
                 TCliStreams& io) {
    if (list.FtpHost.empty()) throw EQuorvaneError("The database names no FTP server");
    if (list.FtpPasswdFile.empty())
        throw EQuorvaneError("The database names no password file on the FTP server");

    const std::string temp = GetTempFile("kxv");
    TTempFileGuard guard(temp);
    TPasswordFileOptions options;
    TCliExportProgress progress(io.Err, io.ErrIsTerminal);
    options.Progress = &progress;
    const std::optional<std::string> content = BuildPasswordFile(list, passType, options);
    WriteIntoFile(temp, content.value_or(std::string()));

    TFtpUploader uploader(std::make_shared<TDirectDispatcher>());
    uploader.Host = list.FtpHost;
    uploader.User = list.FtpUser;
    uploader.Password = password;
    uploader.Passive = list.FtpPassiveMode;
    uploader.LocalFiles = {temp};
    uploader.RemoteFiles = {list.FtpPasswdFile};
    // The worker removes the file itself, also if this process stops waiting for it.
    uploader.DeleteWhenDone = {temp};
    guard.Release();
    std::string error;
    uploader.OnStatus = [&](const std::string& text, bool isError) {
        if (isError) {
            if (error.empty()) error = text;
        } else {
            io.Err << text << "\n";
        }
    };
    uploader.Start();
    uploader.WaitFor();
    if (!error.empty()) throw EQuorvaneError(error);
}

int CmdExport(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string& path = args.Positional()[0];
    TUserList list;
    Load(list, path);

    TPasswordsType passType = list.PassType;
    if (const auto format = args.Value("format")) {
        if (*format == "md5")
            passType = ptMD5;
        else if (*format == "plain")
            passType = ptPlainText;
        else
            throw EUsage("--format takes md5 or plain");
    }
    const auto output = args.Value("output");
    const bool toFile = output.has_value() || list.ExportToFile;
    std::string ftpPassword = list.FtpPass;
    if (!toFile && args.Has("ftp-password-stdin"))
        ftpPassword = ReadSecretLine(io.In);
    else if (!toFile && ftpPassword.empty())
        throw EQuorvaneError(
            "The database stores no FTP password; give it with --ftp-password-stdin");

    // Expired users are disabled first, so they are left out of the file; the database keeps
    // that change.
    const int disabled = list.DisableExpired();
    if (disabled > 0) list.SaveToFile(path);

    if (toFile) {
        const std::string target = output.value_or(list.PassFile);
        if (target.empty())
            throw EQuorvaneError("The database names no password file; give --output FILE");
        TPasswordFileOptions options;
        TCliExportProgress progress(io.Err, io.ErrIsTerminal);
        options.Progress = &progress;
        CreatePasswordFile(target, list, passType, options);
    } else {
        UploadToFtp(list, passType, ftpPassword, io);
    }
    return kExitOk;
}

int CmdHash(const TArgs& args, TCliStreams& io) {
    std::string password;
    if (args.Has("password-stdin")) {
        args.ExpectPositional(0);
        password = ReadSecretLine(io.In);
    } else {
        args.ExpectPositional(1);
        password = args.Positional()[0];
    }
    if (const auto salt = args.Value("salt")) {
        if (salt->empty() || salt->size() > 8 || salt->find('$') != std::string::npos)
            throw EUsage("--salt takes 1 to 8 characters, without \"$\"");
        io.Out << Apr1CryptWithSalt(password, *salt) << "\n";
    } else {
        io.Out << Apr1Crypt(password) << "\n";
    }
    return kExitOk;
}

std::vector<TCommand>& Commands();

void PrintUsage(std::ostream& os, const TCommand& c) {
    os << "usage: quorvane-cli " << c.Name << (c.Usage.empty() ? "" : " ") << c.Usage << "\n";
}

void PrintOverview(std::ostream& os) {
    os << "quorvane-cli " << kVersion
       << " - keep the users of a password-protected site and write its password file\n\n"
       << "usage: quorvane-cli COMMAND [ARGUMENTS]\n\ncommands:\n";
    for (const TCommand& c : Commands()) {
        std::string head = "  " + c.Name;
        head.resize(12, ' ');
        os << head << c.Summary << "\n";
    }
    os << "\nquorvane-cli help COMMAND    details of one command\n"
       << "quorvane-cli --version       the program's version\n\n"
       << "Errors go to standard error with exit status 1; a command line that is not\n"
       << "understood gives exit status 2.\n";
}

int CmdHelp(const TArgs& args, TCliStreams& io) {
    if (args.Positional().empty()) {
        PrintOverview(io.Out);
        return kExitOk;
    }
    args.ExpectPositional(1);
    for (const TCommand& c : Commands()) {
        if (c.Name == args.Positional()[0]) {
            PrintUsage(io.Out, c);
            io.Out << "\n" << c.Summary << "\n";
            if (!c.Details.empty()) io.Out << "\n" << c.Details;
            return kExitOk;
        }
    }
    throw EUsage("unknown command " + args.Positional()[0]);
}

std::vector<TCommand>& Commands() {
    static std::vector<TCommand> commands = {
        {"create",
         "DB",
         "create a new, empty users database",
         "Fails when DB already exists. The new database has the default export settings:\n"
         "MD5 passwords, export to a local file, passive FTP.\n",
         {},
         {},
         CmdCreate},
        {"info",
         "DB",
         "print the number of users and the database's fingerprint",
         "Prints four lines: \"users: N\", \"enabled: N\", \"disabled: N\" and\n"
         "\"fingerprint: XXXXXXXX\".\n",
         {},
         {},
         CmdInfo},
        {"list",
         "DB",
         "list the users, one per line",
         "One line per user in database order, fields separated by tabs: login,\n"
         "Enabled or Disabled, expiration (\"Never\" or YYYY-MM-DD HH:MM:SS, local time),\n"
         "e-mail, full name, created (YYYY-MM-DD HH:MM:SS).\n",
         {},
         {},
         CmdList},
        {"add",
         "DB LOGIN (--password P | --password-stdin) [--full-name N] [--email E] "
         "[--comments C] [--disabled] [--expire \"YYYY-MM-DD[ HH:MM[:SS]]\"]",
         "add a user",
         "The login and the password must not be blank, and no other user may have the\n"
         "same login (letters a-z compared without regard to case). --password-stdin reads\n"
         "the password from the first line of standard input. Without --expire the user\n"
         "never expires. The database is saved.\n",
         {"password", "full-name", "email", "comments", "expire"},
         {"password-stdin", "disabled"},
         CmdAdd},
        {"delete",
         "DB LOGIN",
         "delete the users whose login is exactly LOGIN",
         "Fails when no user has that login. The database is saved.\n",
         {},
         {},
         CmdDelete},
        {"sweep",
         "DB",
         "disable every user whose expiration date has passed",
         "Prints the number of users it disabled and saves the database.\n",
         {},
         {},
         CmdSweep},
        {"import",
         "DB FILE",
         "append the users of a text file",
         "One user per line: login, password, e-mail address, full name, separated by commas\n"
         "or blanks; double-quoted fields may hold both. Prints the number of users added\n"
         "and saves the database.\n",
         {},
         {},
         CmdImport},
        {"series",
         "DB [--count N] [--login-length L] [--login-case random|upper|lower] "
         "[--login-chars random|letter|numeral] [--password-length L] "
         "[--password-case random|upper|lower] [--password-chars random|letter|numeral]",
         "create a series of users with random logins and passwords",
         "Defaults: 10 users; logins of 6 lower-case letters; passwords of 10 random\n"
         "characters in random case. Counts run from 1 to 99999, lengths from 4 to 99.\n"
         "Prints \"LOGIN<TAB>PASSWORD\" for every user created and saves the database.\n"
         "When no free login is left, it says how many users were created.\n",
         {"count", "login-length", "login-case", "login-chars", "password-length", "password-case",
          "password-chars"},
         {},
         CmdSeries},
        {"export",
         "DB [--output FILE] [--format md5|plain] [--ftp-password-stdin]",
         "write the password file, locally or to the FTP server",
         "Disables expired users first (and saves the database when that changed it), then\n"
         "writes one line per enabled user. The target and the format are the database's\n"
         "export settings unless --output or --format say otherwise; --output always writes\n"
         "a local file. An FTP export uploads safely under a temporary name first; the FTP\n"
         "password is the stored one, or the first line of standard input with\n"
         "--ftp-password-stdin. Progress goes to standard error when it is a terminal.\n",
         {"output", "format"},
         {"ftp-password-stdin"},
         CmdExport},
        {"hash",
         "[--salt SALT] (PASSWORD | --password-stdin)",
         "print the \"$apr1$\" MD5-crypt string of a password",
         "A random salt unless --salt gives one (1 to 8 characters).\n",
         {"salt"},
         {"password-stdin"},
         CmdHash},
        {"help",
         "[COMMAND]",
         "show this overview, or the details of one command",
         "",
         {},
         {},
         CmdHelp},
    };
    return commands;
}

} // namespace

int RunCli(const std::vector<std::string>& args, TCliStreams& io) {
    if (args.empty()) {
        PrintOverview(io.Err);
        return kExitUsage;
    }
    const std::string& name = args[0];
    if (name == "--help" || name == "-h") {
        PrintOverview(io.Out);
        return kExitOk;
    }
    if (name == "--version") {
        io.Out << "quorvane-cli " << kVersion << "\n";
        return kExitOk;
    }
    const TCommand* command = nullptr;
    for (const TCommand& c : Commands())
        if (c.Name == name) command = &c;
    if (command == nullptr) {
        io.Err << "quorvane-cli: unknown command \"" << name << "\"\n"
               << "usage: quorvane-cli COMMAND [ARGUMENTS]; see quorvane-cli --help\n";
        return kExitUsage;
    }
    try {
        std::vector<std::string> flags = command->Flags;
        flags.push_back("help");
        const TArgs parsed(args, 1, command->ValueOptions, flags);
        if (parsed.Has("help")) {
            return CmdHelp(TArgs({"help", name}, 1, {}, {}), io);
        }
        return command->Run(parsed, io);
    } catch (const EUsage& e) {
        io.Err << "quorvane-cli " << name << ": " << e.what() << "\n";
        PrintUsage(io.Err, *command);
        return kExitUsage;
    } catch (const std::exception& e) {
        io.Err << "quorvane-cli: " << e.what() << "\n";
        return kExitFailure;
    }
}
