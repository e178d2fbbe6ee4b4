#include "cli/CliCommand.h"

#include "base/DateUtil.h"
#include "export/ClearPasswords.h"
#include "userdb/Groups.h"
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
    if (IsBlank(password)) throw ECliError("The password must not be blank");
    RequireValidPasswordLength(password);

    // --expire never: the user does not expire, whatever the default period.
    TDateTime expireDate = 0;
    const bool never = args.Value("expire") == std::optional<std::string>("never");
    const bool expire = args.Has("expire") && !never;
    if (expire && !ParseDateTime(*args.Value("expire"), expireDate))
        throw EUsage("--expire takes \"YYYY-MM-DD[ HH:MM[:SS]]\" or never");

    std::optional<std::vector<std::string>> groups;
    if (const auto text = args.Value("groups")) groups = ParseGroupList(*text);

    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    // --update: the user with exactly this login gets the new password (and the fields given),
    // as htpasswd -b does; without such a user it is added.
    TUserProp* existing = nullptr;
    if (args.Has("update"))
        for (int i = 0; i < list.Count() && existing == nullptr; ++i)
            if (list.Users(i).Login == login) existing = &list.Users(i);
    if (groups) RequireGroupSpelling(list, *groups, existing);
    if (existing != nullptr) {
        TUserProp& user = *existing;
        if (user.Password != password || user.HashOnly()) GiveUserPassword(list, user, password);
        if (args.Has("disabled")) user.Disable = true;
        if (expire) {
            user.Expire = true;
            user.ExpireDate = expireDate;
        }
        if (never) user.Expire = false;
        if (const auto v = args.Value("full-name")) user.FullName = *v;
        if (const auto v = args.Value("email")) user.Email = *v;
        if (const auto v = args.Value("comments")) user.Comments = *v;
        if (groups) SetUserGroups(user, *groups);
        db.Save(io.Err);
        return kExitOk;
    }
    // The default period is the desktop's, from the options file both share.
    TUserProp& user = AddNewUser(list, login, never ? 0 : ReadDefaultExpiryDays(UserOptionsFile()));
    GiveUserPassword(list, user, password);
    user.Disable = args.Has("disabled");
    if (expire) {
        user.Expire = true;
        user.ExpireDate = expireDate;
    }
    user.FullName = args.Value("full-name").value_or("");
    user.Email = args.Value("email").value_or("");
    user.Comments = args.Value("comments").value_or("");
    if (groups) SetUserGroups(user, *groups);
    db.Save(io.Err);
    if (const TMessage warning = LoginWarningMessage(login); !warning.Empty())
        io.Err << "quorvane-cli: warning: " << EnglishText(warning) << "\n";
    return kExitOk;
}

} // namespace

TCommand AddCommand() {
    return {"add",
            "DB LOGIN (--password P | --password-stdin) [--full-name N] [--email E] "
            "[--comments C] [--groups G1,G2] [--disabled] "
            "[--expire \"YYYY-MM-DD[ HH:MM[:SS]]\" | --expire never] "
            "[--update]",
            "add a user, or with --update set its password",
            "The login and the password must not be blank, and no other user may have the\n"
            "same login (letters a-z compared without regard to case). A login may not hold\n"
            "\":\" or a control character, nor be longer than 255 bytes; one starting with\n"
            "\"#\" is added with a warning,\n"
            "since web servers read its line of the password file as a comment. --password-stdin "
            "reads\n"
            "the password from the first line of standard input. Without --expire a new user\n"
            "expires after the default period of the desktop's Options (\"Now + N days\",\n"
            "30 unless set; 0: never), read from ~/.config/quorvane/quorvane.conf;\n"
            "--expire never: the user does not expire. --groups makes the user a member of\n"
            "these groups (names separated by commas or blanks, without \":\" or control\n"
            "characters). With --update, a user\n"
            "whose login is exactly LOGIN gets the new password and the fields given instead,\n"
            "as htpasswd -b does; without such a user it is added. The database is saved.\n",
            {"password", "full-name", "email", "comments", "expire", "groups"},
            {"password-stdin", "disabled", "update"},
            CmdAdd};
}

} // namespace quorvane::cli
