#pragma once
// The master password of encrypted databases as a run of quorvane-cli gets it: from the first
// line of --master-password-file (a private file, as for the server password), or typed on the
// terminal without echo. --key-file names the key file of a database encrypted with one.

#include "userdb/Envelope.h"

#include <iosfwd>
#include <memory>
#include <string>

namespace quorvane::cli {

class TArgs;
class TDatabaseSession;

// The options every command that opens a database takes for an encrypted one.
inline constexpr const char* KMasterPasswordFileOption = "master-password-file";
inline constexpr const char* KKeyFileOption = "key-file";

// The options of the command being run, which MasterCredentials reads; null when none is run.
void SetMasterPasswordOptions(const TArgs* args);

// What opens the encrypted database at path. Raises "The database %s was encrypted with a key
// file: name it with --key-file" when one is needed and none was given, "The database %s is
// encrypted: type its master password on a terminal or give --master-password-file" when
// standard input is no terminal and no file was named, and what ReadSecretFile raises.
TMasterCredentials MasterCredentials(const std::string& path, bool needsKeyFile);

// A new master password: the first line of the file named by --passwordFileOption, or typed twice
// on the terminal. Raises "The master passwords do not match", "The master password must not be
// empty", or, without a terminal, "A new master password is needed: type it on a terminal or give
// --OPTION". A weak one is taken, with a warning on err.
TSecret NewMasterPassword(const TArgs& args, const char* passwordFileOption, std::ostream& err);

// The refusals of encrypt and of decrypt and rekey.
std::string AlreadyEncrypted(const std::string& path);
std::string NotEncrypted(const std::string& path);

// Saves the database under key (none: a plain database) and takes its state store and the
// versions its exports kept over to that key in the same step: all prepared first, then the
// database saved, then the side files put in place; a failure before that leaves every old file.
void SaveUnderKey(TDatabaseSession& db, std::shared_ptr<const TDatabaseKey> key, std::ostream& err);

// Whether the file at path is an encrypted database (false when it cannot be read).
bool FileIsEncrypted(const std::string& path);

} // namespace quorvane::cli
