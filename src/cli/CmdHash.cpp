#include "CliCommand.h"

#include "htpasswd.h"

#include <ostream>

namespace quorvane::cli {

namespace {

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

} // namespace

TCommand HashCommand() {
    return {"hash",
            "[--salt SALT] (PASSWORD | --password-stdin)",
            "print the \"$apr1$\" MD5-crypt string of a password",
            "A random salt unless --salt gives one (1 to 8 characters).\n",
            {"salt"},
            {"password-stdin"},
            CmdHash};
}

} // namespace quorvane::cli
