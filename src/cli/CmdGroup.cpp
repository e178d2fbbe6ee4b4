#include "cli/CliCommand.h"

#include "cli/UserSelection.h"
#include "userdb/Groups.h"
#include "userdb/UserList.h"

#include <ostream>

namespace quorvane::cli {

namespace {

int CmdGroup(const TArgs& args, TCliStreams& io) {
    const auto& pos = args.Positional();
    if (pos.size() < 2) throw EUsage("missing argument");
    const std::string& path = pos[0];
    const std::string& action = pos[1];
    if (action == "file") {
        // Where the export writes the group file: a path of its own, or "" for the default.
        if (pos.size() != 3)
            throw EUsage("group DB file takes one path (\"\": beside the "
                         "password file)");
        TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
        if (db.List().GroupFile != pos[2]) {
            db.List().GroupFile = pos[2];
            db.Save(io.Err);
        }
        return kExitOk;
    }
    if (action != "add" && action != "remove") throw EUsage("the action is add, remove or file");
    if (pos.size() < 4) throw EUsage("give a group and at least one login");
    const std::string& group = pos[2];
    // A stored name that could no longer be typed can still be taken away.
    if (TMessage error = action == "add" ? NewGroupNameMessage(group) : GroupNameMessage(group);
        !error.Empty())
        throw ECliError(std::move(error));
    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    if (action == "add") RequireGroupSpelling(list, {group});
    const std::vector<std::string> logins(pos.begin() + 3, pos.end());
    bool changed = false;
    for (TUserProp* user : UsersWithLogins(list, logins))
        changed =
            (action == "add" ? AddUserToGroup(*user, group) : RemoveUserFromGroup(*user, group)) ||
            changed;
    if (changed) db.Save(io.Err);
    return kExitOk;
}

} // namespace

TCommand GroupCommand() {
    return {"group",
            "DB (add|remove) GROUP LOGIN... | DB file PATH",
            "put users into a group or take them out; where the group file goes",
            "add makes the users whose login is exactly one of the LOGINs members of GROUP,\n"
            "remove takes them out; a login that matches nobody changes nothing and fails.\n"
            "A group name may not hold \":\", \",\", blanks or control characters, nor start\n"
            "with \"#\"; a group has one spelling (letters a-z without regard to case, as\n"
            "Apache compares them). The database is saved when it changed. When users have\n"
            "groups, export writes Apache's group file for Require group: beside the password\n"
            "file as FILE.groups, or at the PATH given with \"group DB file PATH\" (on the\n"
            "server, for an upload; \"\" goes back to the default).\n",
            {},
            {},
            CmdGroup};
}

} // namespace quorvane::cli
