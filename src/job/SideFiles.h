#pragma once
// The files an encrypted database keeps under its key beside the database file: its state store
// and the versions its exports kept of its targets. When the key changes (encrypt, a new master
// password, decrypt), they go over to the new key with the database, all or nothing: left under
// the old one, the kept versions could not be restored and the state store could not be read,
// so the next export would take nothing for a change made on the site.

#include <memory>
#include <string>
#include <vector>

namespace quorvane {

class TDatabaseKey;
class TUserList;

class TSideFilesRekey {
public:
    // Prepares every side file of the database at databasePath (holding list, now under oldKey;
    // none: plain) as newKey (none: plain) keeps it, each in a new file beside the old one.
    // Raises EQuorvaneError when one cannot be prepared, with nothing left behind and every old
    // file as it was. Side files oldKey does not open are not this database's, or damaged, and
    // stay as they are.
    TSideFilesRekey(const std::string& databasePath, const TUserList& list,
                    const std::shared_ptr<const TDatabaseKey>& oldKey,
                    const std::shared_ptr<const TDatabaseKey>& newKey);
    // Removes what was prepared and not committed: the old files stay.
    ~TSideFilesRekey();
    TSideFilesRekey(const TSideFilesRekey&) = delete;
    TSideFilesRekey& operator=(const TSideFilesRekey&) = delete;

    // Puts each prepared file in place of its old one; called once the database itself was
    // saved under the new key. Raises EQuorvaneError naming a file that could not be replaced
    // (the rest are replaced all the same).
    void Commit();

    // How many files were prepared.
    std::size_t Count() const { return FPrepared.size(); }

private:
    struct TPrepared {
        std::string Target, Temporary;
    };
    void Prepare(const std::string& target, const std::string& bytes);

    std::vector<TPrepared> FPrepared;
};

} // namespace quorvane
