#include "cli/CliCommand.h"

#include "export/CryptSchemes.h"
#include "export/HashSchemes.h"
#include "export/htpasswd.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <ostream>

namespace quorvane::cli {

namespace {

int CmdHash(const TArgs& args, TCliStreams& io) {
    // The form is named as export's --format names it; --scheme is its older name.
    const auto format = args.Value("format"), older = args.Value("scheme");
    if (format && older && *format != *older)
        throw EUsage("--format and --scheme name two different forms");
    const std::string name = format.value_or(older.value_or("md5"));
    const THashScheme* scheme = SchemeByCliName(name);
    if (scheme == nullptr || scheme->StoresClearText())
        throw EUsage("--format takes " + SchemeCliNamesSentence() + ", except plain");
    for (const char* option : {"cost", "rounds"}) {
        if (args.Has(option) && (scheme->Param == nullptr || scheme->Param->Name != option))
            throw EUsage(std::string("--") + option + " does not go with the " +
                         std::string(scheme->CliName) + " format");
    }
    const bool md5 = scheme->Id == TPasswordsType::ptMD5;
    const TCryptKind kind = scheme->Id == TPasswordsType::ptSHA256   ? TCryptKind::Sha256
                            : scheme->Id == TPasswordsType::ptSHA512 ? TCryptKind::Sha512
                                                                     : TCryptKind::Bcrypt;
    const int workFactor =
        scheme->Param == nullptr
            ? 0
            : ParseBoundedInt(args, std::string(scheme->Param->Name), scheme->Param->Default,
                              scheme->Param->Min, scheme->Param->Max);

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
            "[--format md5|bcrypt|sha256|sha512] [--cost N] [--rounds N] [--salt SALT] "
            "(PASSWORD | --password-stdin)",
            "print the hash of a password as a password file holds it",
            "The form (as export's --format; --scheme is its older name) is md5\n"
            "(\"$apr1$\", the default), bcrypt (\"$2y$\", --cost 4 to 17, default 5), sha256\n"
            "(\"$5$\") or sha512 (\"$6$\") (--rounds 1000 to 999999999, default 5000). A random\n"
            "salt unless --salt gives one: 1 to 8 characters for md5, 22 for bcrypt, 1 to 16\n"
            "for SHA-crypt, of ./0-9A-Za-z.\n",
            {"salt", "format", "scheme", "cost", "rounds"},
            {"password-stdin"},
            CmdHash};
}

} // namespace quorvane::cli
