#pragma once
// Which file may be an encrypted database's key file. The key is derived from the file's bytes,
// so a file this program rewrites (the database itself, its lock, state store and temporary
// files, the versions an export keeps, the files an export writes) would change under the key
// and leave the database unopenable for good.

#include "base/Message.h"

#include <string>

namespace quorvane {

class TUserList;

// Why keyFile cannot be the key file of the database at databasePath (empty: not saved yet)
// holding list: KeyFileRewritten naming the file; an empty message when it can. Files are
// compared by device and inode after following links, side files by their place and name (they
// come and go). A key file that cannot be found passes: opening it says why.
TMessage KeyFileProblemMessage(const std::string& keyFile, const std::string& databasePath,
                               const TUserList& list);
// Raises EQuorvaneError with that message when there is one.
void RequireUsableKeyFile(const std::string& keyFile, const std::string& databasePath,
                          const TUserList& list);

} // namespace quorvane
