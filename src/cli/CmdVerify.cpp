#include "cli/CliCommand.h"

#include "base/FileSafety.h"
#include "cli/Json.h"
#include "export/HtpasswdImport.h"
#include "export/StoredHash.h"
#include "userdb/DataLib.h"
#include "userdb/Envelope.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <cerrno>
#include <ostream>
#include <unistd.h>

namespace quorvane::cli {

namespace {

// A users database begins with its object keyword, or is encrypted; anything else is read as a
// password file.
// A fifo or a device is refused here as for any file to read (OpenInputFile).
bool LooksLikeDatabase(const std::string& path) {
    const int fd = OpenInputFile(path);
    char head[64];
    ssize_t n;
    while ((n = ::read(fd, head, sizeof head)) < 0 && errno == EINTR) {
    }
    ::close(fd);
    if (n > 0 && IsEncryptedDatabase(std::string_view(head, static_cast<size_t>(n)))) return true;
    std::string word;
    for (ssize_t i = 0; i < n; ++i) {
        const char c = head[i];
        if (word.empty() && static_cast<unsigned char>(c) <= 32) continue;
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) || word.size() >= 10) break;
        word += static_cast<char>(c | 0x20);
    }
    return word == "object" || word == "inherited" || word == "inline";
}

// The users of a database whose login is the one asked for, letters a to z without regard to
// case, as the reader hands them over one at a time: no other user is kept.
class TNamesakes final : public TUserStream {
public:
    struct TFound {
        std::string Login;
        int Index = 0; // in the database, from 0
        bool Hashed = true;
        std::string Stored; // the hash, or the clear password
        bool Disabled = false;
    };
    explicit TNamesakes(std::string login) : FLogin(std::move(login)) {}
    void Begin(std::string_view) override {
        FFound.clear();
        FNext = 0;
    }
    void User(TUserProp& user) override {
        const int index = FNext++;
        if (!SameLoginFolded(user.Login, FLogin)) return;
        const bool hashed = user.HashOnly();
        FFound.push_back({user.Login, index, hashed, hashed ? user.PasswordHash() : user.Password,
                          user.Disable});
    }
    // In database order.
    const std::vector<TFound>& Found() const { return FFound; }

private:
    std::string FLogin;
    std::vector<TFound> FFound;
    int FNext = 0;
};

// Exit statuses of verify; 0, 3 and 6 are those of htpasswd -v.
constexpr int kExitWrongPassword = 3;
constexpr int kExitDisabled = 4;
constexpr int kExitNoSuchUser = 6;
// The stored value is locked, or of a scheme that no password can be checked against (htpasswd
// -v gives 7 for an empty one).
constexpr int kExitUncheckable = 7;

int CmdVerify(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    const std::string& login = args.Positional()[1];
    const bool json = args.Has("json");
    // What standard error is told (with --json, the document's "notes"), and the end of it all:
    // the line on standard output, or the document.
    std::vector<std::string> notes;
    std::string checkedName;
    const auto finish = [&](int status, const char* result, const std::string& line) {
        if (!json) {
            if (!line.empty()) io.Out << line << "\n";
            for (const std::string& note : notes)
                io.Err << "quorvane-cli: " << note << "\n";
            return status;
        }
        std::string doc = "{\"login\": " + JsonString(login) + ", \"checked\": " +
                          (checkedName.empty() ? std::string("null") : JsonString(checkedName)) +
                          ", \"result\": \"" + result +
                          "\", \"exit_status\": " + std::to_string(status) + ", \"notes\": [";
        for (std::size_t i = 0; i < notes.size(); ++i)
            doc += (i == 0 ? "" : ", ") + JsonString(notes[i]);
        WriteOutput(io, doc + "]}\n");
        return status;
    };
    if (!FileExists(path)) throw ECliError(FormatMessage("Cannot open file %s", path.c_str()));

    std::string stored, checked = login;
    bool found = false, hashed = true, disabled = false;
    if (LooksLikeDatabase(path)) {
        // Read through, one user at a time: only the namesakes are kept.
        TNamesakes namesakes(login);
        { TDatabaseSession db(path, TDatabaseSession::TAccess::Read, &namesakes); }
        // The user as the password file would hold it: the last of its namesakes (letters a to z
        // without regard to case) in database order, which stands for all of them.
        const std::vector<TNamesakes::TFound>& all = namesakes.Found();
        if (!all.empty()) {
            const TNamesakes::TFound& standing = all.back();
            found = true;
            checked = standing.Login;
            hashed = standing.Hashed;
            stored = standing.Stored;
            disabled = standing.Disabled;
            std::vector<std::string> others;
            for (std::size_t i = 0; i + 1 < all.size(); ++i)
                others.push_back(FormatMessage(
                    "\"%s\" (user %d)", EscapeForOneLine(all[i].Login).c_str(), all[i].Index + 1));
            if (!others.empty() || checked != login)
                notes.push_back("checked \"" + EscapeForOneLine(checked) + "\" (user " +
                                std::to_string(standing.Index + 1) +
                                "), the one the password file holds; web servers take only that "
                                "spelling" +
                                (others.empty() ? std::string()
                                                : ". The same login without regard to case: " +
                                                      NameList(others)));
        }
    } else {
        // Servers take the first line with the login, compared exactly.
        for (const THtpasswdEntry& entry : ReadHtpasswdFile(path))
            if (entry.Login == login) {
                found = true;
                stored = entry.Value;
                break;
            }
    }
    if (!found) {
        notes.push_back("User " + EscapeForOneLine(ShortArgument(login)) + " not found");
        return finish(kExitNoSuchUser, "no such user", {});
    }
    checkedName = checked;

    const std::string password = ReadSecretLine(io.In);
    if (hashed) {
        const TStoredScheme scheme = IdentifyStoredHash(stored);
        if (scheme == TStoredScheme::Locked || scheme == TStoredScheme::Unknown) {
            notes.push_back("the user " + EscapeForOneLine(checked) +
                            (scheme == TStoredScheme::Locked
                                 ? " is locked: no password lets them in"
                                 : " has a value of an unknown scheme (" +
                                       UnknownSchemeTag(stored) +
                                       "): no password can be checked against it"));
            return finish(kExitUncheckable,
                          scheme == TStoredScheme::Locked ? "locked" : "unknown scheme",
                          "Password verification failed.");
        }
    }
    const bool match = hashed ? VerifyStoredHash(password, stored) : SecretsEqual(password, stored);
    if (!match)
        return finish(kExitWrongPassword, "wrong password", "Password verification failed.");
    if (disabled) {
        notes.push_back("the user is disabled: the password file does not hold " +
                        EscapeForOneLine(checked) + ", so nobody gets in with it");
        return finish(kExitDisabled, "disabled",
                      "Password for user " + checked + " correct, but the user is disabled.");
    }
    return finish(kExitOk, "correct", "Password for user " + checked + " correct.");
}

} // namespace

TCommand VerifyCommand() {
    return {"verify",
            "FILE|DB LOGIN [--json]",
            "check a user's password against a password file or a database",
            "Reads the password from the first line of standard input (its line end is not\n"
            "part of it). FILE is a password file (every scheme htpasswd writes: $apr1$,\n"
            "bcrypt, $5$, $6$, $1$, $y$, {SHA}, DES crypt; nginx's {SSHA} and {PLAIN}) or a\n"
            "users database, for users with a clear password or known only by their hash.\n"
            "In a database, LOGIN is compared without regard to case (letters a-z), and the\n"
            "user the password file holds is checked; when it is spelled otherwise or has\n"
            "namesakes, standard error says which one that is. Exit status, as htpasswd -v:\n"
            "  0  \"Password for user LOGIN correct.\"\n"
            "  3  \"Password verification failed.\"\n"
            "  6  the user is not there\n"
            "and further:\n"
            "  4  the password is right, but the user is disabled\n"
            "  7  the user is locked, or its value is of an unknown scheme: no password matches\n"
            "  1  the file cannot be read; 2  the command line is not understood.\n"
            "--json prints one document instead: the login asked for, the one checked, the\n"
            "result (\"correct\", \"wrong password\", \"no such user\", \"disabled\", \"locked\",\n"
            "\"unknown scheme\"), the exit status and the notes standard error would get.\n",
            {},
            {"json"},
            CmdVerify};
}

} // namespace quorvane::cli
