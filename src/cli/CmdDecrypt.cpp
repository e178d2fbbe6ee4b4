#include "cli/CliCommand.h"
#include "cli/MasterPassword.h"

#include "userdb/UserList.h"

namespace quorvane::cli {

namespace {

int CmdDecrypt(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string& path = args.Positional()[0];
    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    if (db.List().Encryption() == nullptr) throw ECliError(NotEncrypted(path));
    SaveUnderKey(db, nullptr, io.Err);
    return kExitOk;
}

} // namespace

TCommand DecryptCommand() {
    return {"decrypt",
            "DB",
            "remove the encryption of the database",
            "Opens the encrypted database with its master password and saves it as a plain\n"
            "database again (mode 0600: it holds clear passwords), with the state store beside\n"
            "it and the versions its exports kept, in the same step.\n",
            {},
            {},
            CmdDecrypt};
}

} // namespace quorvane::cli
