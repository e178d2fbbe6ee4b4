#include "job/Target.h"

#include "base/BaseTexts.h"
#include "base/Crypto.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "base/TempFiles.h"
#include "export/ExportTexts.h"
#include "ftp/Ftp.h"
#include "ftp/FtpTexts.h"
#include "ftp/ServerTarget.h"
#include "ftp/Transport.h"
#include "job/Backups.h"
#include "job/JobTexts.h"
#include "userdb/LoginRule.h"
#include "userdb/UserList.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace quorvane {

namespace {

// No password file is larger; a bigger target is no password file to compare.
constexpr std::size_t KMaxTargetBytes = std::size_t{1} << 30;

TMessage TooLarge(const std::string& name) {
    return Msg(texts::TargetTooLarge, name);
}

} // namespace

void WritePrivateFile(const std::string& path, const std::string& data) {
    // Never through a link, except to the file in memory an encrypted database uploads from.
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_TRUNC | O_CLOEXEC | (IsMemoryFile(path) ? 0 : O_NOFOLLOW));
    if (fd < 0) throw EQuorvaneError(Msg(texts::CannotCreateFile, path));
    bool ok = WriteFully(fd, data.data(), data.size());
    if (::close(fd) != 0) ok = false;
    if (!ok) throw EQuorvaneError(Msg(texts::StreamWriteError));
}

std::string TLocalFileTarget::Id() const {
    const TWriteTarget resolved = ResolveWriteTarget(FPath);
    if (resolved.Descriptor >= 0) return "fd:" + std::to_string(resolved.Descriptor);
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(resolved.Path, ec);
    return "file:" + (ec ? resolved.Path : absolute.lexically_normal().string());
}

namespace {

// SHA-256 (hex) of the regular file at path, read in pieces, each handed to copy too when
// given; nothing when it cannot be read to its end.
std::optional<std::string> FileSha256(const std::string& path, const TDataSink* copy = nullptr) {
    crypto::TDigest digest(crypto::TDigestKind::Sha256);
    if (!ReadFileInPieces(path, [&](std::string_view piece) {
            digest.Add(piece.data(), piece.size());
            if (copy != nullptr) (*copy)(piece.data(), piece.size());
        }))
        return std::nullopt;
    unsigned char value[crypto::DigestBytes(crypto::TDigestKind::Sha256)];
    digest.Finish(value);
    return crypto::LowerHex(value, sizeof value);
}

} // namespace

TTargetContent TLocalFileTarget::Read() {
    TTargetContent content;
    FRead.reset();
    const TWriteTarget resolved = ResolveWriteTarget(FPath);
    if (resolved.Descriptor >= 0) {
        content.Exists = true;
        content.Comparable = false;
        return content;
    }
    struct stat st {};
    if (::stat(resolved.Path.c_str(), &st) != 0) {
        if (errno != ENOENT) throw EQuorvaneError(Msg(texts::CannotOpenFile, FPath));
        FRead = TFileIdentity();
        return content;
    }
    content.Exists = true;
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
        content.Comparable = false;
        return content;
    }
    if (!S_ISREG(st.st_mode))
        throw EQuorvaneError(CannotCreateMessage(FPath, S_ISDIR(st.st_mode) ? EISDIR : 0));
    if (static_cast<std::size_t>(st.st_size) > KMaxTargetBytes)
        throw EQuorvaneError(TooLarge(FPath));
    if (const auto held = std::exchange(FHeld, std::nullopt); held && held->Exists) {
        const TFileIdentity now = ReadFileIdentity(resolved.Path);
        if (now == *held) {
            content.HoldsNew = true;
            FRead = now;
            return content;
        }
    }
    FRecordedPath.clear();
    if (const auto recorded = std::exchange(FRecorded, std::nullopt);
        recorded && st.st_size == recorded->second) {
        // What this database wrote last, most likely: its digest is all a check needs.
        const TFileIdentity before = ReadFileIdentity(resolved.Path);
        const std::optional<std::string> digest = FileSha256(resolved.Path);
        if (digest && *digest == recorded->first && ReadFileIdentity(resolved.Path) == before) {
            content.Recorded = true;
            content.Sha256 = *digest;
            FRecordedPath = resolved.Path;
            FRecordedSha256 = *digest;
            FRead = before;
            return content;
        }
    }
    const int fd = ::open(resolved.Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw EQuorvaneError(Msg(texts::CannotOpenFile, FPath));
    struct stat opened {};
    const TReadEnd end = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)
                             ? ReadToEnd(fd, KMaxTargetBytes, content.Bytes)
                             : TReadEnd::Failed;
    ::close(fd);
    if (end == TReadEnd::TooLarge) throw EQuorvaneError(TooLarge(FPath));
    if (end != TReadEnd::Whole) throw EQuorvaneError(Msg(texts::CannotOpenFile, FPath));
    FRead = ReadFileIdentity(resolved.Path);
    return content;
}

void IExportTarget::KeepRecorded(const TTargetBackups&) {
    throw std::logic_error("a target that never reads a content as recorded keeps none so");
}

void TLocalFileTarget::KeepRecorded(const TTargetBackups& backups) {
    if (FRecordedPath.empty() || !FRead)
        throw std::logic_error("no recorded content was read to keep");
    // Copied as it is now, and taken only if it is still what was read.
    const TFileIdentity read = *FRead;
    const std::string path = FRecordedPath;
    backups.Keep([&](const TDataSink& sink) {
        const bool same = ReadFileIdentity(path) == read &&
                          FileSha256(path, &sink) == FRecordedSha256 &&
                          ReadFileIdentity(path) == read;
        if (!same) throw EQuorvaneError(Msg(texts::TargetChangedWhileExporting, FPath));
    });
}

void IExportTarget::PutBack(const TTargetContent& previous) {
    if (!previous.Exists) {
        Remove();
        return;
    }
    Stage(previous.Bytes);
    try {
        Commit();
    } catch (...) {
        Rollback();
        throw;
    }
}

void TLocalFileTarget::Stage(const std::string& content) {
    FFile.Stage([&content](const TDataSink& sink) { sink(content.data(), content.size()); });
    // The staged file holds exactly the new content, or it does not replace the old one.
    if (FFile.InPlace() || FFile.StagedPath().empty()) return;
    // Compared in pieces: a million users' file is not held a second time for it. Unreadable
    // is not shown to hold the content.
    if (!FileHoldsExactly(FFile.StagedPath(), content)) {
        FFile.Rollback();
        throw EQuorvaneError(Msg(texts::StagedFileDiffers, FPath));
    }
}

void TLocalFileTarget::StageHeld(const std::string& content) {
    // Only a file as Read saw it: anything else is staged and compared as always.
    if (!FRead || !FRead->Exists || !FFile.StageHeld()) Stage(content);
}

void TLocalFileTarget::Remove() {
    const TWriteTarget resolved = ResolveWriteTarget(FPath);
    if (FRead && ReadFileIdentity(resolved.Path) != *FRead)
        throw EQuorvaneError(Msg(texts::TargetChangedWhileExporting, FPath));
    if (::unlink(resolved.Path.c_str()) != 0 && errno != ENOENT)
        throw EQuorvaneError(Msg(texts::CannotCreateFile, FPath));
    FRead = TFileIdentity();
}

void TLocalFileTarget::Commit() {
    // Whoever changed the file since it was read and compared would lose that change.
    if (FRead && !FFile.InPlace()) {
        const TWriteTarget resolved = ResolveWriteTarget(FPath);
        if (ReadFileIdentity(resolved.Path) != *FRead) {
            FFile.Rollback();
            throw EQuorvaneError(Msg(texts::TargetChangedWhileExporting, FPath));
        }
    }
    const TWriteReport report = FFile.Commit();
    FWarnings.insert(FWarnings.end(), report.Warnings.begin(), report.Warnings.end());
    // A later PutBack replaces only what this Commit wrote.
    if (FRead && !FFile.InPlace()) FRead = ReadFileIdentity(ResolveWriteTarget(FPath).Path);
}

TTargetContent TServerFileTarget::Read() {
    TTargetContent content;
    std::optional<std::string> bytes;
    try {
        bytes = FTransport.Read(FRemote, KMaxTargetBytes);
    } catch (const EFtpError& e) {
        throw EFtpError(Msg(texts::ReadBeforeReplaceFailed, FRemote, e.Message()));
    }
    if (bytes) {
        content.Exists = true;
        content.Bytes = std::move(*bytes);
    }
    return content;
}

void TServerFileTarget::Stage(const std::string& content) {
    WritePrivateFile(FLocal, content);
    StageUpload(FTransport, FLocal, static_cast<std::int64_t>(content.size()), FRemote, FGate);
    FStaged = true;
}

void TServerFileTarget::Commit() {
    CommitUpload(FTransport, FLocal, FRemote, FGate);
    FStaged = false;
}

void TServerFileTarget::Remove() {
    try {
        FTransport.Delete(FRemote);
    } catch (const EFtpError& e) {
        throw EFtpError(Msg(texts::UploadFailed, FRemote, e.Message()));
    }
}

void TServerFileTarget::Rollback() noexcept {
    if (FStaged) DeleteStagedUpload(FTransport, FRemote);
    FStaged = false;
}

std::string LocalFilePlace(const std::string& path) {
    if (path.empty()) return {};
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return "inode:" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec) return "path:" + path;
    const std::filesystem::path real = std::filesystem::weakly_canonical(absolute, ec);
    return "path:" + (ec ? absolute.lexically_normal() : real).string();
}

std::string ServerTargetId(const TFtpSettings& server, const std::string& remote) {
    const TFtpAddress address = ParseFtpHost(server.Host);
    const unsigned port = address.Port != 0  ? address.Port
                          : server.Port != 0 ? server.Port
                                             : DefaultPort(server.Protocol);
    const std::string scheme = ProtocolStoredName(server.Protocol);
    const std::string host = address.Host.find(':') != std::string::npos
                                 ? "[" + address.Host + "]"
                                 : (address.Valid ? address.Host : server.Host);
    return (scheme.empty() ? std::string("ftp") : scheme) + "://" + server.User + "@" + host + ":" +
           std::to_string(port) + "/" + remote;
}

ETargetChanged::ETargetChanged(TTargetCheck check)
    : EQuorvaneError(TargetStoppedMessage(check)), FCheck(std::move(check)) {}

TMessage TargetChangedMessage(const TTargetCheck& check) {
    if (check.Recorded)
        return Msg(texts::TargetChangedThere, check.Target, ChangeCountsMessage(check.Outside));
    if (check.Outside.Added == 1) return Msg(texts::TargetHoldsUnknownUser, check.Target);
    return Msg(texts::TargetHoldsUnknownUsers, check.Target, Count(check.Outside.Added));
}

TMessage TargetStoppedMessage(const TTargetCheck& check) {
    return Msg(texts::NothingReplaced, TargetChangedMessage(check));
}

std::vector<TMessage> OutsideChangesMessages(const TTargetCheck& check) {
    constexpr std::size_t KNamed = 20;
    std::vector<TMessage> lines;
    const auto& list = check.Outside.List;
    for (std::size_t i = 0; i < list.size() && i < KNamed; ++i) {
        const TUserChange& change = list[i];
        switch (change.Kind) {
        case TUserChangeKind::Added:
            lines.push_back(Msg(texts::OutsideAdded, EscapeForOneLine(change.Login)));
            break;
        case TUserChangeKind::Removed:
            lines.push_back(Msg(texts::OutsideRemoved, EscapeForOneLine(change.Login)));
            break;
        case TUserChangeKind::Changed:
            lines.push_back(Msg(texts::OutsideChanged, EscapeForOneLine(change.Login)));
            break;
        }
    }
    if (list.size() > KNamed) lines.push_back(Msg(texts::OutsideMore, Count(list.size() - KNamed)));
    if (check.OtherLines == 1)
        lines.push_back(Msg(texts::OutsideOtherLine));
    else if (check.OtherLines > 1)
        lines.push_back(Msg(texts::OutsideOtherLines, Count(check.OtherLines)));
    return lines;
}

TTargetRecord RecordOf(const std::string& content, const std::string& sha256) {
    TTargetRecord record;
    record.Sha256 = sha256.empty() ? Sha256Hex(content) : sha256;
    record.Size = static_cast<std::int64_t>(content.size());
    record.Time = std::chrono::duration_cast<std::chrono::seconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
    record.Users = UserDigestsOf(std::string_view(content));
    return record;
}

namespace {

// The changes there less those an unrecorded export of this database made: a user line it was
// writing, a user it was removing.
TUserChanges WithoutPending(const TUserChanges& changes, const TTargetRecord& pending,
                            const TUserDigests& there) {
    TUserChanges kept;
    for (const TUserChange& change : changes.List) {
        const auto ours = pending.Users.find(change.Login);
        if (change.Kind == TUserChangeKind::Removed) {
            if (ours == pending.Users.end()) continue;
            ++kept.Removed;
        } else {
            const auto line = there.find(change.Login);
            if (ours != pending.Users.end() && line != there.end() && line->second == ours->second)
                continue;
            ++(change.Kind == TUserChangeKind::Added ? kept.Added : kept.Changed);
        }
        kept.List.push_back(change);
    }
    return kept;
}

// The changes there less those that match the database as it is now: a line whose hash its
// user's current password verifies, a user the database no longer holds either.
TUserChanges WithoutOurs(const TUserChanges& changes, const TSiteFile& there,
                         const TLoginSlots& known,
                         const std::function<bool(const std::string&, const std::string&)>& ours) {
    std::unordered_map<std::string_view, std::string_view> values;
    for (const TSiteUser& user : there.Users)
        values.emplace(user.Login, user.Value);
    TUserChanges kept;
    for (const TUserChange& change : changes.List) {
        if (change.Kind == TUserChangeKind::Removed) {
            if (known.count(change.Login) == 0) continue;
            ++kept.Removed;
        } else {
            const auto value = values.find(change.Login);
            if (value != values.end() && ours(change.Login, std::string(value->second))) continue;
            ++(change.Kind == TUserChangeKind::Added ? kept.Added : kept.Changed);
        }
        kept.List.push_back(change);
    }
    return kept;
}

} // namespace

TTargetCheck CheckTarget(IExportTarget& target, const TTargetRecord* record,
                         const std::string& newContent, const TLoginSlots& known,
                         const TReplaceOptions& options, const TTargetRecord* pending,
                         const std::string& newSha256) {
    // Not owned: the caller's, for the call.
    const std::shared_ptr<const TLoginSlots> logins(std::shared_ptr<const TLoginSlots>(), &known);
    return CheckTarget(
        target, record, newContent,
        [&logins] {
            return TUsersNow{logins, nullptr};
        },
        options, pending, newSha256);
}

TTargetCheck CheckTarget(IExportTarget& target, const TTargetRecord* record,
                         const std::string& newContent, const std::function<TUsersNow()>& users,
                         const TReplaceOptions& options, const TTargetRecord* pending,
                         const std::string& newSha256) {
    TTargetCheck check;
    check.Target = target.Name();
    check.Current = target.Read();
    check.Recorded = record != nullptr;
    if (!check.Current.Comparable) return check;
    // What the export would change, user by user, only for a preview: an export itself needs
    // to know no more than whether anything changed there.
    std::optional<TUserDigests> after;
    if (!check.Current.Exists) {
        // A first export there, or the file was removed: nothing to lose.
        if (options.DryRun) check.Preview = CompareUsers({}, UserDigestsOf(newContent));
        return check;
    }
    if (check.Current.Recorded) {
        // What this database wrote last is there, known by its digest: nothing to lose.
        check.CurrentSha256 = check.Current.Sha256;
        check.Unchanged = true;
        if (record == nullptr || record->Sha256 != check.CurrentSha256 || options.DryRun)
            throw std::logic_error("a content read as recorded that no record names");
        return check;
    }
    const bool holdsNew = check.Current.HoldsNew || check.Current.Bytes == newContent;
    check.CurrentSha256 = holdsNew && !newSha256.empty() ? newSha256
                          : holdsNew                     ? Sha256Hex(newContent)
                                                         : Sha256Hex(check.Current.Bytes);
    check.Unchanged = (record != nullptr && record->Sha256 == check.CurrentSha256) ||
                      (pending != nullptr && pending->Sha256 == check.CurrentSha256);
    // What this database wrote last, or the new content itself, is there: nothing to lose, and
    // the file is read no further.
    const bool mayLose = !check.Unchanged && !holdsNew;
    if (!mayLose && !options.DryRun) return check;
    if (holdsNew) {
        // The new content is there already: it changes no user there.
        check.OtherLines = SiteFileOtherLines(newContent);
        return check;
    }
    if (options.DryRun) after = UserDigestsOf(std::string_view(newContent));
    const TSiteFile there = ParseSiteFile(check.Current.Bytes);
    check.OtherLines = there.OtherLines;
    const TUserDigests thereUsers = UserDigestsOf(there);
    if (after) check.Preview = CompareUsers(thereUsers, *after);
    if (mayLose) {
        // Only here are the database's users needed: a target that holds what was recorded
        // (the usual case) never asks for them.
        const TUsersNow now = users ? users() : TUsersNow();
        static const TLoginSlots nobody;
        const TLoginSlots& known = now.Logins ? *now.Logins : nobody;
        const auto& ours = options.Ours ? options.Ours : now.Ours;
        check.Outside = record != nullptr ? CompareUsers(record->Users, thereUsers)
                                          : UnknownUsers(thereUsers, known);
        if (pending != nullptr) check.Outside = WithoutPending(check.Outside, *pending, thereUsers);
        if (record != nullptr && ours)
            check.Outside = WithoutOurs(check.Outside, there, known, ours);
    }
    check.Stops = !check.Outside.Empty() && options.Outside == TOutsideChanges::Stop &&
                  check.CurrentSha256 != options.AcceptedSha256;
    return check;
}

TTargetRecord ReplaceTarget(IExportTarget& target, const TTargetCheck& check,
                            const std::string& newContent, const TTargetBackups& backups) {
    if (check.Stops) throw ETargetChanged(check);
    // What is replaced is kept first (unless it is the new content itself); a pipe or a device
    // has nothing to keep.
    if (check.Current.Exists && check.Current.Comparable && !check.Current.HoldsNew &&
        check.Current.Bytes != newContent)
        backups.Keep(check.Current.Bytes);
    target.Stage(newContent);
    try {
        target.Commit();
    } catch (...) {
        target.Rollback();
        throw;
    }
    return RecordOf(newContent);
}

TMergeResult MergeOutsideChanges(TUserList& list, const TTargetCheck& check) {
    std::unordered_set<std::string> take, changed, removed;
    for (const TUserChange& change : check.Outside.List) {
        if (change.Kind == TUserChangeKind::Removed)
            removed.insert(change.Login);
        else
            take.insert(change.Login);
        if (change.Kind == TUserChangeKind::Changed) changed.insert(change.Login);
    }
    std::vector<THtpasswdEntry> entries;
    if (!take.empty()) {
        std::unordered_set<std::string> seen;
        for (THtpasswdEntry& entry : ParseHtpasswd(check.Current.Bytes))
            if (take.count(entry.Login) != 0 && seen.insert(entry.Login).second)
                entries.push_back(std::move(entry));
    }
    // A login there that this database holds in another case (or that two lines there hold) is
    // one user to a database that folds a to z: neither is dropped unasked, as import-htpasswd
    // stops for it too. Only a change there of the same login replaces the user here.
    std::vector<TMessage> clashes;
    for (const THtpasswdClash& clash : FindHtpasswdClashes(list, entries))
        if (!(clash.OtherLine == 0 && clash.OtherLogin == clash.Login &&
              changed.count(clash.Login) != 0))
            clashes.push_back(HtpasswdClashMessage(clash));
    if (!clashes.empty())
        throw EQuorvaneError(Msg(texts::MergeClashes, check.Target, Messages(std::move(clashes))));
    TMergeResult result;
    // A target this database writes in plain text holds clear passwords by its own convention.
    THtpasswdImportOptions options;
    options.PlainTextValues = list.PassType == TPasswordsType::ptPlainText;
    result.Imported = ImportHtpasswd(
        list, entries, [&](const THtpasswdClash& clash) { return changed.count(clash.Login) != 0; },
        options);
    for (int i = 0; i < list.Count(); ++i) {
        TUserProp& user = list.Users(i);
        if (!user.Disable && removed.count(user.Login) != 0) {
            user.Disable = true;
            result.Disabled.push_back(user.Login);
        }
    }
    return result;
}

TMessage MergeReportMessage(const TMergeResult& result) {
    // The import's sentences, the second (the weak schemes) right after the first.
    std::vector<TMessage> sentences = HtpasswdImportMessages(result.Imported);
    TMessage imported = sentences.size() == 1 ? std::move(sentences[0])
                                              : Msg(texts::SentencesJoined, std::move(sentences[0]),
                                                    std::move(sentences[1]));
    const std::vector<std::string>& disabled = result.Disabled;
    if (disabled.empty()) return imported;
    if (disabled.size() == 1)
        return Msg(texts::MergeDisabledOne, std::move(imported), Names(disabled, disabled.size()));
    return Msg(texts::MergeDisabled, std::move(imported), Count(disabled.size()),
               Names(disabled, disabled.size()));
}

} // namespace quorvane
