#include "cli/CliCommand.h"

#include "export/HtpasswdImport.h"
#include "export/PasswordFile.h"
#include "export/StoredHash.h"
#include "userdb/UserList.h"

#include <fstream>
#include <ostream>
#include <sstream>

namespace quorvane::cli {

namespace {

// A users database begins with its object keyword; anything else is read as a password file.
bool LooksLikeDatabase(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string word;
    char c;
    while (in.get(c) && static_cast<unsigned char>(c) <= 32) {
    }
    while (in && word.size() < 10 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
        word += static_cast<char>(c | 0x20);
        in.get(c);
    }
    return word == "object" || word == "inherited" || word == "inline";
}

int CmdVerify(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    const std::string& login = args.Positional()[1];
    if (!FileExists(path)) throw EQuorvaneError(FormatMessage("Cannot open file %s", path.c_str()));

    std::string stored;
    bool found = false, hashed = true, disabled = false;
    if (LooksLikeDatabase(path)) {
        TDatabaseSession db(path, TDatabaseSession::TAccess::Read);
        const TUserList& list = db.List();
        // The user as the password file would hold it: the last of its namesakes.
        for (const TUserProp* user : PasswordFileEntries(list))
            if (user->Login == login) {
                found = true;
                hashed = user->HashOnly();
                stored = hashed ? user->PasswordHash() : user->Password;
                disabled = user->Disable;
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
    if (!found) throw EQuorvaneError("User " + login + " not found");

    const std::string password = ReadSecretLine(io.In);
    const bool match = hashed ? VerifyStoredHash(password, stored) : password == stored;
    if (!match) {
        io.Out << "Password verification failed.\n";
        return kExitFailure;
    }
    io.Out << "Password for user " << login << " correct.\n";
    if (disabled)
        io.Err << "User " << login << " is disabled: the password file does not hold it.\n";
    return kExitOk;
}

} // namespace

TCommand VerifyCommand() {
    return {"verify",
            "FILE|DB LOGIN",
            "check a user's password against a password file or a database",
            "Reads the password from the first line of standard input (its line end is not\n"
            "part of it). FILE is a password file (every scheme htpasswd writes: $apr1$,\n"
            "bcrypt, $5$, $6$, {SHA}, DES crypt, plain text) or a users database, for users\n"
            "with a clear password or known only by their hash. Exit status 0 and \"Password\n"
            "for user LOGIN correct.\" when it matches, 1 and \"Password verification\n"
            "failed.\" when not; 1 with a message when the user is not there.\n",
            {},
            {},
            CmdVerify};
}

} // namespace quorvane::cli
