#include "job/KeyFileRule.h"

#include "base/Errors.h"
#include "base/FileSafety.h"
#include "export/DatabaseState.h"
#include "export/GroupFile.h"
#include "job/Backups.h"
#include "job/JobTexts.h"
#include "userdb/DatabaseLock.h"
#include "userdb/UserList.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

namespace quorvane {

namespace {

struct TFileId {
    dev_t Device = 0;
    ino_t Inode = 0;
    bool operator==(const TFileId&) const = default;
};

// The file at path after following links; nothing when there is none.
std::optional<TFileId> IdOf(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    return TFileId{st.st_dev, st.st_ino};
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether a file named `name` in a folder is one of the temporary files the program makes beside
// `owner` while replacing it: ".OWNER.XXXXXX" (and "..OWNER.XXXXXX", a staged target), six
// letters or digits at the end as mkstemp makes them.
bool IsSideFileName(std::string_view name, const std::string& owner) {
    for (const std::string& head : {"." + owner + ".", ".." + owner + "."}) {
        if (name.size() != head.size() + 6 || name.substr(0, head.size()) != head) continue;
        bool random = true;
        for (const char c : name.substr(head.size()))
            random = random &&
                     ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
        if (random) return true;
    }
    return false;
}

} // namespace

TMessage KeyFileProblemMessage(const std::string& keyFile, const std::string& databasePath,
                               const TUserList& list) {
    const std::optional<TFileId> key = IdOf(keyFile);
    if (!key) return {};
    char resolved[PATH_MAX];
    if (::realpath(keyFile.c_str(), resolved) == nullptr) return {};
    const std::string real = resolved;
    const std::optional<TFileId> keyFolder = IdOf(DirectoryOf(real));
    const std::string keyName = NameOf(real);
    const auto refused = [&keyFile] { return Msg(texts::KeyFileRewritten, keyFile); };

    // The files that are written whole; each also has its temporary files beside it.
    std::vector<std::string> written;
    if (!databasePath.empty()) {
        written.push_back(databasePath);
        written.push_back(TDatabaseLock::LockPathFor(databasePath));
        written.push_back(TDatabaseState::PathFor(databasePath));
        // The hash cache of earlier versions, removed once the state store holds its hashes.
        const std::string state = TDatabaseState::PathFor(databasePath);
        written.push_back(state.substr(0, state.size() - 6) + ".hashes");
    }
    for (const TTargetSettings& target : ListTargets(list)) {
        if (target.ExportToFile && target.StoreUrl.empty() && !target.PassFile.empty()) {
            written.push_back(target.PassFile);
            written.push_back(GroupFileName(list, target.PassFile));
        }
        if (target.StoreUrl.rfind("sqlite:", 0) == 0) written.push_back(target.StoreUrl.substr(7));
    }
    for (const std::string& file : written) {
        if (IdOf(file) == key) return refused();
        // The name of a file that is not there (a state store before the first export) or
        // that a link leads to.
        if (keyFolder && IdOf(DirectoryOf(file)) == keyFolder) {
            const std::string name = NameOf(file);
            if (keyName == name || IsSideFileName(keyName, name)) return refused();
        }
        char target[PATH_MAX];
        if (::realpath(file.c_str(), target) != nullptr) {
            const std::string real = target;
            if (IdOf(DirectoryOf(real)) == keyFolder && IsSideFileName(keyName, NameOf(real)))
                return refused();
        }
    }
    // Anything in the folder of kept versions is rewritten and removed as exports go on.
    if (const std::string backups = TTargetBackups::RootFolder(); !backups.empty()) {
        if (const std::optional<TFileId> root = IdOf(backups)) {
            for (std::string folder = DirectoryOf(real);; folder = DirectoryOf(folder)) {
                if (IdOf(folder) == root) return refused();
                if (folder == "/" || folder == ".") break;
            }
        }
    }
    return {};
}

void RequireUsableKeyFile(const std::string& keyFile, const std::string& databasePath,
                          const TUserList& list) {
    if (TMessage error = KeyFileProblemMessage(keyFile, databasePath, list); !error.Empty())
        throw EQuorvaneError(std::move(error));
}

} // namespace quorvane
