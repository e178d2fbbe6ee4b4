#include "cli/MasterPassword.h"

#include "base/Errors.h"
#include "base/FileSafety.h"
#include "cli/CliCommand.h"
#include "cli/SecretFile.h"
#include "job/SideFiles.h"
#include "userdb/PasswordStrength.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <unistd.h>

namespace quorvane::cli {

namespace {

const TArgs* gArgs = nullptr;

// The string's bytes moved into locked memory; the string is wiped.
TSecret ToSecret(std::string&& text) {
    TSecret secret(text);
    ::explicit_bzero(text.data(), text.size());
    return secret;
}

bool TerminalIn() {
    return ::isatty(STDIN_FILENO) == 1;
}

} // namespace

void SetMasterPasswordOptions(const TArgs* args) {
    gArgs = args;
}

TMasterCredentials MasterCredentials(const std::string& path, bool needsKeyFile) {
    TMasterCredentials credentials;
    if (gArgs != nullptr) credentials.KeyFile = gArgs->Value(KKeyFileOption).value_or("");
    if (needsKeyFile && credentials.KeyFile.empty())
        throw ECliError(
            FormatMessage("The database %s was encrypted with a key file: name it with --key-file",
                          path.c_str()));
    const auto file = gArgs != nullptr ? gArgs->Value(KMasterPasswordFileOption) : std::nullopt;
    if (file) {
        credentials.Password = ToSecret(ReadSecretFile(*file));
    } else if (NoPrompt()) {
        throw ECliError(FormatMessage("The database %s is encrypted: give --master-password-file "
                                      "(--no-prompt asks for nothing)",
                                      path.c_str()));
    } else if (TerminalIn()) {
        const std::string prompt = "Master password for " + path + ": ";
        credentials.Password = ToSecret(ReadPasswordFromTerminal(prompt.c_str()));
    } else {
        throw ECliError(FormatMessage("The database %s is encrypted: type its master password "
                                      "on a terminal or give --master-password-file",
                                      path.c_str()));
    }
    return credentials;
}

TSecret NewMasterPassword(const TArgs& args, const char* passwordFileOption, std::ostream& err) {
    TSecret password;
    if (const auto file = args.Value(passwordFileOption)) {
        password = ToSecret(ReadSecretFile(*file));
    } else {
        if (!TerminalIn())
            throw ECliError(FormatMessage("A new master password is needed: type it on a "
                                          "terminal or give --%s",
                                          passwordFileOption));
        password = ToSecret(ReadPasswordFromTerminal("New master password: "));
        if (password.Empty()) throw ECliError("The master password must not be empty");
        const TSecret again =
            ToSecret(ReadPasswordFromTerminal("Repeat the new master password: "));
        if (again.View() != password.View()) throw ECliError("The master passwords do not match");
    }
    std::string copy(password.View());
    const TStrengthEstimate estimate = EstimatePasswordStrength(copy);
    ::explicit_bzero(copy.data(), copy.size());
    if (estimate.Level < TPasswordStrength::Fair)
        err << "quorvane-cli: warning: the master password is weak (about " << estimate.Bits
            << " bits); anyone with a copy of the database may guess it\n";
    return password;
}

void SaveUnderKey(TDatabaseSession& db, std::shared_ptr<const TDatabaseKey> key,
                  std::ostream& err) {
    TSideFilesRekey sideFiles(db.Path(), db.List(), db.List().Encryption(), key);
    db.List().SetEncryption(std::move(key));
    db.Save(err);
    sideFiles.Commit();
}

bool FileIsEncrypted(const std::string& path) {
    int fd = -1;
    try {
        fd = OpenInputFile(path);
    } catch (const EQuorvaneError&) {
        return false;
    }
    char head[8];
    ssize_t n;
    while ((n = ::read(fd, head, sizeof head)) < 0 && errno == EINTR) {
    }
    ::close(fd);
    return n > 0 && IsEncryptedDatabase(std::string_view(head, static_cast<size_t>(n)));
}

} // namespace quorvane::cli
