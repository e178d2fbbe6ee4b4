#include "cli/CliCommand.h"

#include "export/CryptSchemes.h"
#include "export/htpasswd.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <ostream>

namespace quorvane::cli {

namespace {

int CmdHash(const TArgs& args, TCliStreams& io) {
    const std::string scheme = args.Value("scheme").value_or("md5");
    TCryptKind kind = TCryptKind::Bcrypt;
    if (scheme == "bcrypt")
        kind = TCryptKind::Bcrypt;
    else if (scheme == "sha256")
        kind = TCryptKind::Sha256;
    else if (scheme == "sha512")
        kind = TCryptKind::Sha512;
    else if (scheme != "md5")
        throw EUsage("--scheme takes md5, bcrypt, sha256 or sha512");
    const bool md5 = scheme == "md5";
    if (args.Has("cost") && scheme != "bcrypt") throw EUsage("--cost goes with --scheme bcrypt");
    if (args.Has("rounds") && (md5 || kind == TCryptKind::Bcrypt))
        throw EUsage("--rounds goes with --scheme sha256 or sha512");
    const int workFactor =
        kind == TCryptKind::Bcrypt
            ? ParseBoundedInt(args, "cost", KBcryptCostDefault, KBcryptCostMin, KBcryptCostMax)
            : ParseBoundedInt(args, "rounds", KShaRoundsDefault, KShaRoundsMin, KShaRoundsMax);

    std::string password;
    if (args.Has("password-stdin")) {
        args.ExpectPositional(0);
        password = ReadSecretLine(io.In);
    } else {
        args.ExpectPositional(1);
        password = args.Positional()[0];
        RequireValidPasswordLength(password);
    }
    const auto salt = args.Value("salt");
    if (md5) {
        if (salt) {
            const bool alphabet = std::all_of(salt->begin(), salt->end(), [](char c) {
                return KCryptAlphabet.find(c) != std::string_view::npos;
            });
            if (salt->empty() || salt->size() > 8 || !alphabet)
                throw EUsage("--salt takes 1 to 8 characters of ./0-9A-Za-z for md5");
            io.Out << Apr1CryptWithSalt(password, *salt) << "\n";
        } else {
            io.Out << Apr1Crypt(password) << "\n";
        }
        return kExitOk;
    }
    std::string setting;
    if (salt) {
        try {
            setting = CryptSettingWithSalt(kind, workFactor, *salt);
        } catch (const EQuorvaneError& e) {
            throw EUsage(std::string("--salt: ") + e.what());
        }
    } else {
        setting = CryptSetting(kind, workFactor);
    }
    io.Out << CryptHash(password, setting) << "\n";
    return kExitOk;
}

} // namespace

TCommand HashCommand() {
    return {"hash",
            "[--scheme md5|bcrypt|sha256|sha512] [--cost N] [--rounds N] [--salt SALT] "
            "(PASSWORD | --password-stdin)",
            "print the hash of a password as a password file holds it",
            "The scheme is md5 (\"$apr1$\", the default), bcrypt (\"$2y$\", --cost 4 to 17,\n"
            "default 5), sha256 (\"$5$\") or sha512 (\"$6$\") (--rounds 1000 to 999999999,\n"
            "default 5000). A random salt unless --salt gives one: 1 to 8 characters for md5,\n"
            "22 for bcrypt, 1 to 16 for SHA-crypt, of ./0-9A-Za-z.\n",
            {"salt", "scheme", "cost", "rounds"},
            {"password-stdin"},
            CmdHash};
}

} // namespace quorvane::cli
