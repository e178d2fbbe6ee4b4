#include "job/Backups.h"

#include "base/BaseTexts.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "export/DatabaseState.h"
#include "export/SiteChanges.h"
#include "job/JobTexts.h"
#include "userdb/Envelope.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

namespace {

// A backup holds what a password file held; none is larger than this.
constexpr std::size_t KMaxBackupBytes = std::size_t{1} << 30;

std::string StateHome() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return state;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/state";
    return {};
}

// A folder name for a target: its identity in letters, digits and "._-", cut short, and a part
// of its digest that keeps two targets apart whatever their names.
std::string FolderName(const std::string& id) {
    std::string name;
    for (const char c : id) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        name += plain ? c : '_';
    }
    while (!name.empty() && name.front() == '.')
        name.erase(0, 1);
    if (name.size() > 48) name.resize(48);
    return name + "-" + Sha256Hex(id).substr(0, 12);
}

// Makes each missing folder of path with mode 0700; an existing one of this user that others
// may enter is closed to them. False when a folder cannot be had.
bool MakePrivateFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0) return false;
    return true;
}

std::string TimeName(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[80];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms % 1000 + 1000) % 1000);
    return text;
}

// The time a version's name gives; -1 for a name that is none of ours.
std::int64_t TimeOfName(const std::string& name) {
    std::tm utc{};
    int ms = 0;
    char zone = 0;
    if (name.size() != 20 ||
        std::sscanf(name.c_str(), "%4d%2d%2dT%2d%2d%2d.%3d%c", &utc.tm_year, &utc.tm_mon,
                    &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &ms, &zone) != 8 ||
        zone != 'Z')
        return -1;
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    return static_cast<std::int64_t>(::timegm(&utc)) * 1000 + ms;
}

} // namespace

std::string BackupTimeText(std::int64_t milliseconds) {
    const std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

TTargetBackups::TTargetBackups(const std::string& targetId, std::shared_ptr<const TDatabaseKey> key)
    : FKey(std::move(key)) {
    const std::string root = RootFolder();
    if (!root.empty()) FFolder = root + "/" + FolderName(targetId);
}

std::string TTargetBackups::RootFolder() {
    const std::string home = StateHome();
    return home.empty() ? std::string() : home + "/quorvane/backups";
}

TBackupVersion TTargetBackups::Keep(const std::string& bytes) const {
    return Keep([&bytes](const TDataSink& sink) { sink(bytes.data(), bytes.size()); });
}

TBackupVersion TTargetBackups::Keep(const std::function<void(const TDataSink&)>& source) const {
    if (FFolder.empty()) throw EQuorvaneError(Msg(texts::BackupNoStateFolder));
    if (!MakePrivateFolders(FFolder))
        throw EQuorvaneError(Msg(texts::BackupFailed, FFolder, SystemError(errno)));
    std::int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
    // Never over an older version: a later name when two replacements share a millisecond.
    const std::vector<TBackupVersion> before = List(false);
    if (!before.empty() && before.front().Time >= ms) ms = before.front().Time + 1;
    TBackupVersion version;
    for (;; ++ms) {
        version.Name = TimeName(ms);
        version.Path = FFolder + "/" + version.Name;
        // An encrypted database's backups are sealed before any byte reaches the disk; this is
        // the one place backups are written.
        const int fd = ::open(version.Path.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) throw EQuorvaneError(Msg(texts::BackupFailed, FFolder, SystemError(errno)));
        bool ok = true;
        int error = 0;
        const TDataSink toFile = [&](const char* data, std::size_t size) {
            if (ok && !WriteFully(fd, data, size)) {
                ok = false;
                error = errno;
            }
        };
        std::int64_t size = 0;
        try {
            if (FKey != nullptr) {
                TDatabaseKey::TSealer sealer(*FKey, toFile);
                source([&](const char* data, std::size_t n) {
                    size += static_cast<std::int64_t>(n);
                    sealer.Write(data, n);
                });
                sealer.Finish();
            } else {
                source([&](const char* data, std::size_t n) {
                    size += static_cast<std::int64_t>(n);
                    toFile(data, n);
                });
            }
        } catch (...) {
            ::close(fd);
            ::unlink(version.Path.c_str());
            throw;
        }
        if (ok && ::fsync(fd) != 0) {
            ok = false;
            error = errno;
        }
        if (::close(fd) != 0 && ok) {
            ok = false;
            error = errno;
        }
        if (!ok) {
            ::unlink(version.Path.c_str());
            throw EQuorvaneError(Msg(texts::BackupFailed, FFolder, SystemError(error)));
        }
        version.Size = size;
        break;
    }
    version.Time = ms;
    // Past the newest ones, versions go: a plain-text file's old passwords do not linger.
    const std::vector<TBackupVersion> all = List(false);
    for (size_t i = KKept; i < all.size(); ++i)
        ::unlink(all[i].Path.c_str());
    return version;
}

std::vector<TBackupVersion> TTargetBackups::List(bool countUsers) const {
    std::vector<TBackupVersion> versions;
    if (FFolder.empty()) return versions;
    DIR* dir = ::opendir(FFolder.c_str());
    if (dir == nullptr) return versions;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        const std::int64_t time = TimeOfName(name);
        if (time < 0) continue;
        TBackupVersion version;
        version.Name = name;
        version.Path = FFolder + "/" + name;
        version.Time = time;
        struct stat st {};
        if (::lstat(version.Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        version.Size = static_cast<std::int64_t>(st.st_size);
        versions.push_back(std::move(version));
    }
    ::closedir(dir);
    std::sort(versions.begin(), versions.end(),
              [](const TBackupVersion& a, const TBackupVersion& b) { return a.Time > b.Time; });
    if (countUsers)
        for (TBackupVersion& version : versions)
            if (const auto bytes = Opened(version, nullptr, &version.State))
                version.Users = ParseSiteFile(*bytes).Users.size();
    return versions;
}

std::optional<std::string> TTargetBackups::Opened(const TBackupVersion& version, bool* sealed,
                                                  TBackupVersion::TState* state) const {
    TBackupVersion::TState why = TBackupVersion::TState::Readable;
    std::optional<std::string> bytes = ReadSideFile(version.Path, KMaxBackupBytes);
    if (!bytes) {
        why = TBackupVersion::TState::Damaged;
    } else if (IsEncryptedDatabase(*bytes)) {
        if (sealed != nullptr) *sealed = true;
        if (FKey == nullptr) {
            why = TBackupVersion::TState::OtherKey;
            bytes.reset();
        } else {
            try {
                const TSecret text = FKey->Open(*bytes);
                bytes = std::string(text.View());
            } catch (const EDamagedEnvelope&) {
                why = TBackupVersion::TState::Damaged;
                bytes.reset();
            } catch (const EQuorvaneError&) {
                why = TBackupVersion::TState::OtherKey; // kept under an earlier master password
                bytes.reset();
            }
        }
    }
    if (state != nullptr) *state = why;
    return bytes;
}

std::vector<TTargetBackups::TResealed>
TTargetBackups::Resealed(const std::shared_ptr<const TDatabaseKey>& newKey) const {
    std::vector<TResealed> versions;
    for (const TBackupVersion& version : List(false)) {
        bool sealed = false;
        std::optional<std::string> bytes = Opened(version, &sealed);
        if (!bytes) continue;
        if (!sealed && newKey == nullptr) continue; // plain it is and plain it stays
        versions.push_back({version.Path, newKey != nullptr ? newKey->Seal(*bytes) : *bytes});
    }
    return versions;
}

std::string TTargetBackups::Read(const TBackupVersion& version) const {
    bool sealed = false;
    TBackupVersion::TState state{};
    const std::optional<std::string> bytes = Opened(version, &sealed, &state);
    if (!bytes && sealed)
        throw EQuorvaneError(Msg(state == TBackupVersion::TState::Damaged ? texts::BackupDamaged
                                                                          : texts::BackupOtherKey,
                                 version.Name));
    if (!bytes) throw EQuorvaneError(Msg(texts::CannotOpenFile, version.Path));
    return *bytes;
}

} // namespace quorvane
