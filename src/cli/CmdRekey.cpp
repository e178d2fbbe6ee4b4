#include "cli/CliCommand.h"
#include "cli/MasterPassword.h"

#include "job/KeyFileRule.h"
#include "userdb/UserList.h"

namespace quorvane::cli {

namespace {

constexpr const char* KNewPasswordFileOption = "new-master-password-file";
constexpr const char* KNewKeyFileOption = "new-key-file";
constexpr const char* KNoKeyFileFlag = "no-key-file";

int CmdRekey(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string& path = args.Positional()[0];
    if (args.Has(KNewKeyFileOption) && args.Has(KNoKeyFileFlag))
        throw EUsage("--new-key-file and --no-key-file exclude each other");
    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    if (db.List().Encryption() == nullptr) throw ECliError(NotEncrypted(path));
    TMasterCredentials credentials;
    // The key file stays unless another one, or none, is asked for.
    if (db.List().Encryption()->UsesKeyFile()) credentials.KeyFile = *args.Value(KKeyFileOption);
    if (args.Has(KNoKeyFileFlag)) credentials.KeyFile.clear();
    if (const auto file = args.Value(KNewKeyFileOption)) credentials.KeyFile = *file;
    if (!credentials.KeyFile.empty()) RequireUsableKeyFile(credentials.KeyFile, path, db.List());
    credentials.Password = NewMasterPassword(args, KNewPasswordFileOption, io.Err);
    // A fresh salt, and the parameters of today's new files.
    SaveUnderKey(db, TDatabaseKey::Create(credentials), io.Err);
    return kExitOk;
}

} // namespace

std::string NotEncrypted(const std::string& path) {
    return FormatMessage("The database %s is not encrypted", path.c_str());
}

TCommand RekeyCommand() {
    return {"rekey",
            "DB [--new-master-password-file FILE] [--new-key-file FILE | --no-key-file]",
            "give the encrypted database a new master password",
            "Opens the database with its master password (and key file), asks for the new one\n"
            "twice on the terminal (or reads --new-master-password-file) and saves it encrypted\n"
            "with a new key. The key file stays as it is unless --new-key-file names another or\n"
            "--no-key-file leaves it out. The state store beside the database and the versions\n"
            "its exports kept are sealed with the new key in the same step.\n",
            {KNewPasswordFileOption, KNewKeyFileOption},
            {KNoKeyFileFlag},
            CmdRekey};
}

} // namespace quorvane::cli
