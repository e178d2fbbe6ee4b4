#include "cli/CliCommand.h"

#include "base/DateUtil.h"
#include "userdb/LoginRule.h"
#include "userdb/NewUser.h"
#include "userdb/UserList.h"

namespace quorvane::cli {

namespace {

int CmdAdd(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    const std::string& login = args.Positional()[1];
    std::string password;
    if (args.Has("password") == args.Has("password-stdin"))
        throw EUsage("give exactly one of --password and --password-stdin");
    password = args.Has("password") ? *args.Value("password") : ReadSecretLine(io.In);
    CheckNewLogin(login);
    if (IsBlank(password)) throw EQuorvaneError("The password must not be blank");
    RequireValidPasswordLength(password);

    TDateTime expireDate = 0;
    const bool expire = args.Has("expire");
    if (expire && !ParseDateTime(*args.Value("expire"), expireDate))
        throw EUsage("--expire takes \"YYYY-MM-DD[ HH:MM[:SS]]\"");

    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    TUserProp& user = AddNewUser(list, login);
    user.Password = password;
    user.Disable = args.Has("disabled");
    user.Expire = expire;
    if (expire) user.ExpireDate = expireDate;
    user.FullName = args.Value("full-name").value_or("");
    user.Email = args.Value("email").value_or("");
    user.Comments = args.Value("comments").value_or("");
    db.Save(io.Err);
    if (const std::string warning = LoginWarning(login); !warning.empty())
        io.Err << "quorvane-cli: warning: " << warning << "\n";
    return kExitOk;
}

} // namespace

TCommand AddCommand() {
    return {"add",
            "DB LOGIN (--password P | --password-stdin) [--full-name N] [--email E] "
            "[--comments C] [--disabled] [--expire \"YYYY-MM-DD[ HH:MM[:SS]]\"]",
            "add a user",
            "The login and the password must not be blank, and no other user may have the\n"
            "same login (letters a-z compared without regard to case). A login may not hold\n"
            "\":\" or a control character; one starting with \"#\" is added with a warning,\n"
            "since web servers read its line of the password file as a comment. --password-stdin "
            "reads\n"
            "the password from the first line of standard input. Without --expire the user\n"
            "never expires. The database is saved.\n",
            {"password", "full-name", "email", "comments", "expire"},
            {"password-stdin", "disabled"},
            CmdAdd};
}

} // namespace quorvane::cli
