#include "cli/CliCommand.h"

#include "cli/UserSelection.h"
#include "userdb/Groups.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <ostream>

namespace quorvane::cli {

namespace {

int CmdEdit(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(2);
    const std::string& path = args.Positional()[0];
    const std::string& login = args.Positional()[1];
    const auto newLogin = args.Value("login");
    const auto fullName = args.Value("full-name");
    const auto email = args.Value("email");
    const auto comments = args.Value("comments");
    const auto groupText = args.Value("groups");
    if (!newLogin && !fullName && !email && !comments && !groupText)
        throw EUsage("give at least one of --full-name, --email, --comments, --groups and --login");
    std::optional<std::vector<std::string>> groups;
    if (groupText) groups = ParseGroupList(*groupText);
    if (newLogin) RequireValidLogin(*newLogin);

    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    TUserProp& user = OneUserWithLogin(list, login);
    if (groups) RequireGroupSpelling(list, *groups, &user);
    if (newLogin && !list.IsLoginUnique(*newLogin, user.Index()))
        throw ECliError("User \"" + *newLogin + "\" already exists");
    bool changed = false;
    const auto set = [&changed](std::string& field, const std::optional<std::string>& value) {
        if (value && field != *value) {
            field = *value;
            changed = true;
        }
    };
    set(user.Login, newLogin);
    set(user.FullName, fullName);
    set(user.Email, email);
    set(user.Comments, comments);
    if (groups && UserGroups(user) != *groups) {
        SetUserGroups(user, *groups);
        changed = true;
    }
    if (changed) db.Save(io.Err);
    if (newLogin)
        if (const TMessage warning = LoginWarningMessage(*newLogin); !warning.Empty())
            io.Err << "quorvane-cli: warning: " << EnglishText(warning) << "\n";
    return kExitOk;
}

} // namespace

TCommand EditCommand() {
    return {"edit",
            "DB LOGIN [--full-name N] [--email E] [--comments C] [--groups G1,G2] [--login NEW]",
            "change a user's full name, e-mail address, comments, groups or login",
            "Sets the fields given (an empty value clears the field) of the one user whose\n"
            "login is exactly LOGIN; --groups \"\" takes the user out of every group.\n"
            "--login renames the user: the new login must not be\n"
            "empty, must not hold \":\" or control characters, and no other user may have it\n"
            "(letters a-z compared without regard to case); one starting with \"#\" is taken\n"
            "with a warning, as web servers read such a line as a comment. The database is saved "
            "when it\n"
            "changed.\n",
            {"full-name", "email", "comments", "login", "groups"},
            {},
            CmdEdit};
}

} // namespace quorvane::cli
