#include "cli/CliCommand.h"
#include "cli/MasterPassword.h"

#include "job/KeyFileRule.h"
#include "userdb/UserList.h"

namespace quorvane::cli {

namespace {

int CmdEncrypt(const TArgs& args, TCliStreams& io) {
    args.ExpectPositional(1);
    const std::string& path = args.Positional()[0];
    // Asked before anything else: there is no password to ask for.
    if (FileIsEncrypted(path)) throw ECliError(AlreadyEncrypted(path));
    TDatabaseSession db(path, TDatabaseSession::TAccess::Change);
    if (db.List().Encryption() != nullptr) throw ECliError(AlreadyEncrypted(path));
    TMasterCredentials credentials;
    credentials.KeyFile = args.Value(KKeyFileOption).value_or("");
    if (!credentials.KeyFile.empty()) RequireUsableKeyFile(credentials.KeyFile, path, db.List());
    credentials.Password = NewMasterPassword(args, KMasterPasswordFileOption, io.Err);
    SaveUnderKey(db, TDatabaseKey::Create(credentials), io.Err);
    return kExitOk;
}

} // namespace

std::string AlreadyEncrypted(const std::string& path) {
    return FormatMessage(
        "The database %s is already encrypted; rekey gives it a new master password", path.c_str());
}

TCommand EncryptCommand() {
    return {"encrypt",
            "DB [--key-file FILE] [--master-password-file FILE]",
            "encrypt the database with a master password",
            "Asks for the new master password twice on the terminal (or reads the first line of\n"
            "--master-password-file, a file only its owner may read) and saves the database\n"
            "encrypted: none of its users, passwords or settings can be read without that\n"
            "password, and with --key-file, without that file too. Every command then asks for\n"
            "the master password when it opens the database. Keep the password (and the key\n"
            "file) safe: without them the database cannot be opened, by anyone. The key file\n"
            "may not be one this program writes (the database, its side files, kept versions,\n"
            "the files an export writes). The state store beside the database and the versions\n"
            "its exports kept are sealed in the same step.\n",
            {KKeyFileOption, KMasterPasswordFileOption},
            {},
            CmdEncrypt};
}

} // namespace quorvane::cli
