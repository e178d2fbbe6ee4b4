#include "cli/CliCommand.h"

#include "base/Random.h"
#include "cli/UserSelection.h"
#include "export/ClearPasswords.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <ostream>

namespace quorvane::cli {

namespace {

constexpr int kDefaultGeneratedLength = 16;
constexpr int kMinGeneratedLength = 8;
constexpr int kMaxGeneratedLength = 128;

// Letters and digits without the ones that are easily mistaken for each other (0 O, 1 l I), as
// a generated password is usually read off a screen or a letter: 57 symbols, about 5.8 bits
// each, so the default 16 give about 93 bits.
constexpr char kPasswordAlphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";

std::string GenerateSecret(int length, IRandomSource& random) {
    constexpr uint32_t symbols = sizeof kPasswordAlphabet - 1;
    std::string password;
    password.reserve(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i)
        password += kPasswordAlphabet[random.Random(symbols)];
    return password;
}

int CmdPasswd(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    const std::string& login = args.Positional()[1];
    const bool generate = args.Has("generate");
    if (generate == args.Has("password-stdin"))
        throw EUsage("give exactly one of --password-stdin and --generate");
    if (!generate && args.Has("length")) throw EUsage("--length goes with --generate");
    const int length = ParseBoundedInt(args, "length", kDefaultGeneratedLength, kMinGeneratedLength,
                                       kMaxGeneratedLength);

    std::string password;
    if (generate) {
        password = GenerateSecret(length, SecureRandom());
    } else {
        password = ReadSecretLine(io.In);
        if (IsBlank(password)) throw ECliError("The password must not be blank");
    }

    RequireValidPasswordLength(password);

    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    // Replaces a stored hash; a database that keeps no clear passwords keeps only the new one's.
    GiveUserPassword(list, OneUserWithLogin(list, login), password);
    // A generated password exists nowhere else: it must be out before the database holds it,
    // or a failed write would lock the user out with a password nobody saw.
    if (generate) WriteOutput(io, password + "\n", "the password was not changed");
    db.Save(io.Err);
    return kExitOk;
}

} // namespace

TCommand PasswdCommand() {
    return {"passwd",
            "DB LOGIN (--password-stdin | --generate [--length N])",
            "set a user's password",
            "--password-stdin reads the new password from the first line of standard input;\n"
            "it must not be blank. --generate makes one from the system's secure random\n"
            "source, N characters long (default 16, from 8 to 128) of letters and digits\n"
            "without look-alikes (0 O 1 l I), and prints it once on standard output before\n"
            "the database is saved: when it cannot be written, nothing changes. LOGIN must\n"
            "name exactly one user. A password may be at most 4096 bytes long.\n",
            {"length"},
            {"password-stdin", "generate"},
            CmdPasswd};
}

} // namespace quorvane::cli
