#include "job/SideFiles.h"

#include "base/BaseTexts.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "export/DatabaseState.h"
#include "job/Backups.h"
#include "job/Deployment.h"
#include "userdb/UserList.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <unistd.h>

namespace quorvane {

TSideFilesRekey::TSideFilesRekey(const std::string& databasePath, const TUserList& list,
                                 const std::shared_ptr<const TDatabaseKey>& oldKey,
                                 const std::shared_ptr<const TDatabaseKey>& newKey) {
    if (oldKey == nullptr && newKey == nullptr) return;
    try {
        if (!databasePath.empty())
            if (const auto state = TDatabaseState(databasePath, oldKey).Resealed(newKey))
                Prepare(TDatabaseState::PathFor(databasePath), *state);
        std::set<std::string> folders; // two targets may keep their versions in one folder
        for (const TTargetSettings& target : ListTargets(list)) {
            std::string id;
            try {
                id = TargetIdOf(target);
            } catch (const EQuorvaneError&) {
                continue; // an address that names no store has kept nothing
            }
            const TTargetBackups backups(id, oldKey);
            if (backups.Folder().empty() || !folders.insert(backups.Folder()).second) continue;
            for (const TTargetBackups::TResealed& version : backups.Resealed(newKey))
                Prepare(version.Path, version.Bytes);
        }
    } catch (...) {
        for (const TPrepared& p : FPrepared)
            ::unlink(p.Temporary.c_str());
        throw;
    }
}

TSideFilesRekey::~TSideFilesRekey() {
    for (const TPrepared& p : FPrepared)
        ::unlink(p.Temporary.c_str());
}

void TSideFilesRekey::Prepare(const std::string& target, const std::string& bytes) {
    std::string name = TemporaryPattern(target);
    const int fd = ::mkstemp(name.data()); // 0600, made exclusively
    if (fd < 0) throw EQuorvaneError(CannotCreateMessage(name, errno));
    FPrepared.push_back({target, name});
    const bool written = WriteFully(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    const int error = errno;
    if (::close(fd) != 0 || !written) throw EQuorvaneError(WriteErrorMessage(name, error));
}

void TSideFilesRekey::Commit() {
    std::optional<TMessage> failure;
    for (const TPrepared& p : FPrepared)
        if (::rename(p.Temporary.c_str(), p.Target.c_str()) != 0 && !failure)
            failure = WriteErrorMessage(p.Target, errno);
    // Renamed or not, nothing is left to remove.
    for (const TPrepared& p : FPrepared)
        ::unlink(p.Temporary.c_str());
    FPrepared.clear();
    if (failure) throw EQuorvaneError(std::move(*failure));
}

} // namespace quorvane
