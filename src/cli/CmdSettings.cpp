#include "cli/CliCommand.h"

#include "export/ClearPasswords.h"
#include "export/HashSchemes.h"
#include "userdb/UserList.h"

#include <ostream>

namespace quorvane::cli {

namespace {

void PrintSettings(const TUserList& list, std::ostream& out) {
    out << "keep clear passwords: " << (list.KeepClearPasswords ? "yes" : "no") << "\n"
        << "form: " << SchemeOf(list.PassType).CliName << "\n";
}

int CmdSettings(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string& path = args.Positional()[0];
    const auto keep = args.Value("keep-clear-passwords");
    if (!keep) {
        if (args.Has("yes")) throw EUsage("--yes goes with --keep-clear-passwords no");
        TDatabaseSession db(path, TDatabaseSession::TAccess::Read);
        PrintSettings(db.List(), io.Out);
        return kExitOk;
    }
    if (*keep != "yes" && *keep != "no") throw EUsage("--keep-clear-passwords takes yes or no");
    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    TUserList& list = db.List();
    if (*keep == "yes") {
        // From now on new passwords are kept in clear; the hashed ones stay hashes.
        if (list.KeepClearPasswords) return kExitOk;
        list.KeepClearPasswords = true;
        db.Save(io.Err);
        return kExitOk;
    }
    if (!list.KeepClearPasswords) return kExitOk;
    if (!args.Has("yes"))
        throw ECliError("Keeping no clear passwords replaces every clear password of the database "
                        "by its hash, which cannot be undone; give --yes to go on");
    const int hashed = StopKeepingClearPasswords(list);
    db.Save(io.Err);
    io.Err << "quorvane-cli: " << hashed << (hashed == 1 ? " password" : " passwords")
           << " replaced by " << (hashed == 1 ? "its hash" : "their hashes") << "\n";
    return kExitOk;
}

} // namespace

TCommand SettingsCommand() {
    return {"settings",
            "DB [--keep-clear-passwords yes|no [--yes]]",
            "show or change how the database keeps its users' passwords",
            "Without options prints \"keep clear passwords: yes|no\" and the chosen form of the\n"
            "password file (\"form: md5\").\n"
            "--keep-clear-passwords no: the database keeps no clear passwords from now on. Every\n"
            "clear password is replaced by its hash in the database's form and work factor now,\n"
            "which cannot be undone, so it needs --yes; a plain-text form is refused. Then a\n"
            "password given to a user (add, passwd, import, series) is hashed at once: only the\n"
            "output of passwd --generate and series shows it, once. The export writes the stored\n"
            "hashes and refuses another form that would need the clear passwords, naming the\n"
            "users. --keep-clear-passwords yes keeps new passwords in clear again; those already\n"
            "hashed stay hashes.\n",
            {"keep-clear-passwords"},
            {"yes"},
            CmdSettings};
}

} // namespace quorvane::cli
