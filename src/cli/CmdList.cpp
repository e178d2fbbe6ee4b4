#include "CliCommand.h"

#include "DateUtil.h"
#include "UserList.h"

#include <ostream>

namespace quorvane::cli {

namespace {

int CmdList(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    TUserList list;
    Load(list, args.Positional()[0]);
    std::string out;
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& u = list.Users(i);
        out += u.Login;
        out += '\t';
        out += u.Disable ? "Disabled" : "Enabled";
        out += '\t';
        out += ExpirationText(u);
        out += '\t';
        out += u.Email;
        out += '\t';
        out += u.FullName;
        out += '\t';
        out += FormatDateTime(u.CreatedDate);
        out += '\n';
    }
    io.Out << out;
    return kExitOk;
}

} // namespace

TCommand ListCommand() {
    return {"list",
            "DB",
            "list the users, one per line",
            "One line per user in database order, fields separated by tabs: login,\n"
            "Enabled or Disabled, expiration (\"Never\" or YYYY-MM-DD HH:MM:SS, local time),\n"
            "e-mail, full name, created (YYYY-MM-DD HH:MM:SS).\n",
            {},
            {},
            CmdList};
}

} // namespace quorvane::cli
