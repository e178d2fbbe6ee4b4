#include "cli/CliCommand.h"

#include "base/FileSafety.h"
#include "cli/SecretFile.h"
#include "export/HashCache.h"
#include "export/HashOnlyUsers.h"
#include "export/HashSchemes.h"
#include "export/PasswordFile.h"
#include "ftp/FileLib.h"
#include "ftp/FtpUpload.h"
#include "ftp/ServerTarget.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <ostream>
#include <unistd.h>

namespace quorvane::cli {

namespace {

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

// Says on standard error which users the file lets nobody in as.
void ReportCommentLogins(const TPasswordFileReport& report, TCliStreams& io) {
    for (const std::string& login : report.CommentLogins)
        io.Err << "quorvane-cli: warning: the login \"" << EscapeForOneLine(login)
               << "\" starts with \"#\"; web servers read its line as a comment, so this user "
                  "cannot log in\n";
}

void UploadToFtp(const TUserList& list, TPasswordsType passType, const std::string& password,
                 TPasswordFileOptions options, TCliStreams& io, const std::string& dbPath) {
    if (list.FtpHost.empty()) throw EQuorvaneError("The database names no FTP server");
    if (list.FtpPasswdFile.empty())
        throw EQuorvaneError("The database names no password file on the FTP server");

    const std::string temp = GetTempFile("kxv");
    TTempFileGuard guard(temp);
    // It holds the password file: a signal that ends the program removes it too.
    const TTempFileRegistration registration(temp);
    TCliExportProgress progress(io.Err, io.ErrIsTerminal);
    options.Progress = &progress;
    const std::optional<std::string> content = BuildPasswordFile(list, passType, options);
    WriteIntoFile(temp, content.value_or(std::string()));

    TFtpUploader uploader(std::make_shared<TDirectDispatcher>());
    ApplyServerSettings(list, uploader);
    // With a key file the secret given is the key's passphrase; it is never stored.
    (list.FtpKeyFile.empty() ? uploader.Password : uploader.KeyPassphrase) = password;
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
    if (error.empty()) return;
    // A server this program does not trust yet: say how to trust it, once checked.
    const TFtpUploader::TIdentityProblem identity = uploader.IdentityProblem();
    if (!identity.Changed && !identity.Fingerprint.empty())
        error +=
            "\nTo trust it: quorvane-cli target " + dbPath + " --host-key " + identity.Fingerprint;
    else if (!identity.Changed && !identity.PublicKeyPin.empty())
        error +=
            "\nTo trust it: quorvane-cli target " + dbPath + " --tls-pin " + identity.PublicKeyPin;
    throw EQuorvaneError(error);
}

int CmdExport(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string& path = args.Positional()[0];
    // Held until the export is done: it may save the database, and two exports of one database
    // should not write the same password file at once.
    TDatabaseSession db(path, TDatabaseSession::TAccess::Update);
    TUserList& list = db.List();

    TPasswordsType passType = list.PassType;
    if (const auto format = args.Value("format")) {
        const THashScheme* scheme = SchemeByCliName(*format);
        if (!scheme) throw EUsage("--format takes " + SchemeCliNamesSentence());
        passType = scheme->Id;
    }
    // The slow forms' work factor: --cost for bcrypt, --rounds for SHA-crypt; otherwise the one
    // the database stores.
    const THashScheme& scheme = SchemeOf(passType);
    TPasswordFileOptions base;
    for (const char* option : {"cost", "rounds"}) {
        if (!args.Has(option)) continue;
        if (scheme.Param == nullptr || scheme.Param->Name != option)
            throw EUsage(std::string("--") + option + " does not go with the " +
                         std::string(scheme.CliName) + " format");
        base.SchemeParam = ParseBoundedInt(args, option, scheme.Param->Default, scheme.Param->Min,
                                           scheme.Param->Max);
    }
    // --save-choice makes the format and its work factor the database's stored choice.
    bool changed = false;
    if (args.Has("save-choice")) {
        const int param = base.SchemeParam.value_or(StoredSchemeParam(list, passType));
        changed = list.PassType != passType;
        list.PassType = passType;
        if (passType == TPasswordsType::ptBcrypt) {
            changed = changed || list.BcryptCost != param;
            list.BcryptCost = param;
        } else if (IsSlowPassType(passType)) {
            changed = changed || list.ShaRounds != param;
            list.ShaRounds = param;
        }
    }
    // A stored slow form gets the key of its hash cache (beside the database) once.
    changed = EnsureHashCacheKey(list) || changed;
    if (IsSlowPassType(passType) && !list.HashCacheKey.empty())
        base.CachePath = HashCachePath(path);
    const auto output = args.Value("output");
    const bool toFile = output.has_value() || list.ExportToFile;
    std::string ftpPassword = list.FtpKeyFile.empty() ? list.FtpPass : std::string();
    const auto passwordFile = args.Value("server-password-file");
    const bool passwordGiven = args.Has("ftp-password-stdin") || args.Has("server-password-stdin");
    if (passwordGiven && passwordFile)
        throw EUsage("give the server password on standard input or in a file, not both");
    if (!toFile && (passwordGiven || passwordFile))
        ftpPassword = passwordFile ? ReadSecretFile(*passwordFile) : ReadSecretLine(io.In);
    else if (!toFile && !list.FtpKeyFile.empty() && PrivateKeyNeedsPassphrase(list.FtpKeyFile))
        throw EQuorvaneError("The key file " + list.FtpKeyFile +
                             " is protected by a passphrase; give it with "
                             "--server-password-stdin");
    else if (!toFile && list.FtpKeyFile.empty() && ftpPassword.empty())
        throw EQuorvaneError("The database stores no server password; give it with "
                             "--server-password-stdin (or --ftp-password-stdin)");

    const std::string target = toFile ? output.value_or(list.PassFile) : std::string();
    if (toFile && target.empty())
        throw EQuorvaneError("The database names no password file; give --output FILE");
    if (toFile) CheckExportTarget(target, path);

    // Expired users are disabled first, so they are left out of the file; the database keeps
    // that change unless it is read-only.
    const int disabled = list.DisableExpired();
    if (disabled > 0 && db.ReadOnly())
        PrintWarnings(io.Err, {"The database is read-only; the expired users are left out of "
                               "the password file but stay enabled in the database"});
    else if (changed && db.ReadOnly() && args.Has("save-choice"))
        PrintWarnings(io.Err, {"The database is read-only; the format is not stored"});
    else if ((disabled > 0 || changed) && !db.ReadOnly())
        db.Save(io.Err);

    TPasswordFileReport report;
    TPasswordFileOptions options = base;
    options.AllowEmptyPasswords = args.Has("allow-empty-passwords");
    options.Report = &report;
    try {
        if (toFile) {
            TCliExportProgress progress(io.Err, io.ErrIsTerminal);
            options.Progress = &progress;
            if (target == "-") {
                // Standard output: the file as it is, nothing replaced.
                const std::optional<std::string> content =
                    BuildPasswordFile(list, passType, options);
                if (content) io.Out << *content << std::flush;
                if (!io.Out) throw EQuorvaneError("Stream write error");
            } else {
                std::vector<std::string> warnings;
                options.Warnings = &warnings;
                options.DatabasePath = path;
                CreatePasswordFile(target, list, passType, options);
                PrintWarnings(io.Err, warnings);
            }
        } else {
            UploadToFtp(list, passType, ftpPassword, options, io, path);
        }
    } catch (const EEmptyPasswords& e) {
        throw EQuorvaneError(std::string(e.what()) +
                             ". Nothing was written. Give these users passwords, or give "
                             "--allow-empty-passwords to export them as they are.");
    }
    ReportCommentLogins(report, io);
    io.Err << WeakHashReport(WeakHashUsers(list));
    return kExitOk;
}

} // namespace

TCommand ExportCommand() {
    return {"export",
            "DB [--output FILE] [--format " + SchemeCliNames("|") +
                "] [--cost N] [--rounds N] [--save-choice] [--server-password-stdin | "
                "--server-password-file FILE] [--allow-empty-passwords]",
            "write the password file, locally or to the server",
            "Disables expired users first (and saves the database when that changed it), then\n"
            "writes one line per enabled user. The target and the format are the database's\n"
            "export settings unless --output or --format say otherwise; --output always writes\n"
            "a local file (\"-\": standard output; a device or a pipe is written in place).\n"
            "The password file may not be the database itself. An upload to the stored server\n"
            "(see the target command: FTP, FTP over TLS, SFTP) goes up under a temporary name\n"
            "first and replaces the old file only when complete. The server password is the\n"
            "stored one, or the first line of standard input with --server-password-stdin\n"
            "(also --ftp-password-stdin), or the first line of FILE with\n"
            "--server-password-file, which only its owner may read (chmod 600 FILE: a file\n"
            "others may read or write is refused). For an SFTP key file that needs one, that\n"
            "line is its passphrase. A server whose certificate or host key is not trusted yet is "
            "refused;\n"
            "the error says how to trust it. Progress goes to standard error when it is a\n"
            "terminal.\n"
            "Nothing is written when an enabled user's line would be unsafe (a login that is\n"
            "empty or holds \":\" or a control character, a plain-text password with a line\n"
            "break or NUL), nor, unless --allow-empty-passwords is given, when an enabled user\n"
            "has no password: anyone who knows such a login gets in. Logins starting with \"#\"\n"
            "are named on standard error: servers take their lines for comments.\n"
            "bcrypt takes --cost 4 to 17 (default 5), sha256 and sha512 --rounds 1000 to\n"
            "999999999 (default 5000); without them the database's stored value. With\n"
            "--save-choice the format and its cost or rounds become the database's stored\n"
            "choice. bcrypt and SHA-crypt hashes of users that did not change since the last\n"
            "export are taken from a cache beside the database (.DB.hashes, mode 0600).\n",
            {"output", "format", "server-password-file", "cost", "rounds"},
            {"ftp-password-stdin", "server-password-stdin", "allow-empty-passwords", "save-choice"},
            CmdExport};
}

} // namespace quorvane::cli
