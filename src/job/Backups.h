#pragma once
// What an export replaced, kept: the last versions of each target's file, in the user's state
// folder ($XDG_STATE_HOME/quorvane/backups, by default ~/.local/state/quorvane/backups), one
// folder per target (mode 0700), one file per version named by its time (mode 0600: a
// plain-text file holds clear passwords). The versions of an encrypted database's targets are
// kept sealed with the database's key.

#include "base/AtomicFile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvane {

class TDatabaseKey;

// One kept version of a target's file.
struct TBackupVersion {
    std::string Path;
    std::string Name;      // the file's name: its time, "20250102T030405.123Z"
    std::int64_t Time = 0; // when it was replaced, milliseconds since 1970 (UTC)
    std::int64_t Size = 0;
    std::size_t Users = 0; // user lines as servers read them
    // Whether it opens: a version sealed under an earlier master password, or one damaged (not
    // whole, or not readable), counts no users. Known when the users were counted.
    enum class TState : std::uint8_t { Readable, OtherKey, Damaged };
    TState State = TState::Readable;
};

// "2025-01-02 03:04:05" in local time.
std::string BackupTimeText(std::int64_t milliseconds);

class TTargetBackups {
public:
    // How many versions each target keeps.
    static constexpr std::size_t KKept = 10;

    // The backups of the target with this identity (IExportTarget::Id), for a database
    // encrypted with key (none: a plain one).
    explicit TTargetBackups(const std::string& targetId,
                            std::shared_ptr<const TDatabaseKey> key = nullptr);

    // Where they are kept; empty when neither XDG_STATE_HOME nor HOME names a folder.
    const std::string& Folder() const { return FFolder; }
    // The folder that holds every target's folder; empty as Folder is.
    static std::string RootFolder();

    // Keeps bytes as the newest version (sealed with the key, when there is one) and removes
    // those past the KKept newest; the version returned has its users not counted (List
    // counts them: an export that keeps the file it replaces does not). Raises
    // EQuorvaneError naming the folder when it cannot be written: what a replacement would
    // lose must be safe first.
    TBackupVersion Keep(const std::string& bytes) const;
    // The same for bytes that source hands to its sink in pieces, never held whole. What source
    // raises leaves no version behind.
    TBackupVersion Keep(const std::function<void(const TDataSink&)>& source) const;
    // The kept versions, newest first, with their users counted unless countUsers is false.
    std::vector<TBackupVersion> List(bool countUsers = true) const;
    // A version's bytes, opened with the key when it was kept sealed. Raises EQuorvaneError when
    // it cannot be read, "Version %s was kept under another master password" for a sealed one
    // this key does not open, "Version %s is damaged" for one that is not whole. A sealed
    // version counts no users without its key.
    std::string Read(const TBackupVersion& version) const;

    // The kept versions this key opens (every plain one, also those kept before the database
    // was encrypted), each as newKey (none: plain) is to keep it: its path and bytes. Versions
    // sealed under another key, or damaged, are left out.
    struct TResealed {
        std::string Path;
        std::string Bytes;
    };
    std::vector<TResealed> Resealed(const std::shared_ptr<const TDatabaseKey>& newKey) const;

private:
    // The bytes of a version as kept, opened; nothing when it cannot be read or opened, and then
    // *state says why. *sealed: whether it was kept sealed.
    std::optional<std::string> Opened(const TBackupVersion& version, bool* sealed,
                                      TBackupVersion::TState* state = nullptr) const;

    std::string FFolder;
    std::shared_ptr<const TDatabaseKey> FKey;
};

} // namespace quorvane
