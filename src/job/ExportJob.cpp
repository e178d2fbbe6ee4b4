#include "job/ExportJob.h"

#include "job/JobTexts.h"
#include "job/StoreTarget.h"
#include "sitedb/SiteDbTexts.h"

#include "base/BaseTexts.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "base/TempFiles.h"
#include "export/GroupFile.h"
#include "export/HashCache.h"
#include "export/HashOnlyUsers.h"
#include "export/HashSchemes.h"
#include "export/StoredHash.h"
#include "ftp/ServerTarget.h"
#include "ftp/Transport.h"
#include "job/Backups.h"
#include "userdb/Groups.h"

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <unordered_map>

namespace quorvane {

TMessage ExportProgressMessage(const TExportEvent& event) {
    if (!event.Target.empty()) {
        TExportEvent inner = event;
        inner.Target.clear();
        return Msg(texts::TargetPrefixed, event.Target, ExportProgressMessage(inner));
    }
    switch (event.Stage) {
    case TExportStage::Replacing:
        return Msg(texts::TargetReplacing, event.Remote);
    case TExportStage::Checking:
        return Msg(texts::TargetChecking);
    case TExportStage::Building:
        return Msg(texts::ExportBuilding, ExportProgressPercent(event).value_or(0));
    case TExportStage::Connecting:
        return UploadProgressMessage({true, event.Server, {}, 0, 0});
    case TExportStage::Uploading:
        return UploadStatusMessage(event.Remote, event.BytesSent, event.BytesTotal);
    }
    return {};
}

std::optional<int> ExportProgressPercent(const TExportEvent& event) {
    switch (event.Stage) {
    case TExportStage::Building:
        return event.EntriesTotal == 0
                   ? 0
                   : static_cast<int>(event.EntriesDone * 100 / event.EntriesTotal);
    case TExportStage::Connecting:
    case TExportStage::Replacing:
    case TExportStage::Checking:
        return std::nullopt;
    case TExportStage::Uploading:
        return static_cast<int>(UploadPercent(event.BytesSent, event.BytesTotal));
    }
    return std::nullopt;
}

TMessage ExportResultMessage(const TExportResult& result) {
    const bool one = result.Written == 1;
    const std::string& target = result.Target;
    const TMessagePart written = Count(result.Written);
    const TMessagePart disabled = Count(result.Disabled);
    const TMessagePart expired = Count(result.Expired);
    TMessage message;
    if (result.Disabled > 0 && result.Expired > 0)
        message =
            one ? Msg(texts::ResultWrittenOneDisabledExpired, target, disabled, expired)
                : Msg(texts::ResultWrittenDisabledExpired, written, target, disabled, expired);
    else if (result.Disabled > 0)
        message = one ? Msg(texts::ResultWrittenOneDisabled, target, disabled)
                      : Msg(texts::ResultWrittenDisabled, written, target, disabled);
    else if (result.Expired > 0)
        message = one ? Msg(texts::ResultWrittenOneExpired, target, expired)
                      : Msg(texts::ResultWrittenExpired, written, target, expired);
    else
        message =
            one ? Msg(texts::ResultWrittenOne, target) : Msg(texts::ResultWritten, written, target);
    if (result.WeakUsers.empty()) return message;
    return Msg(texts::ResultWithWeakHashes, std::move(message), WeakHashSummary(result.WeakUsers));
}

TMessage ExportAbortedMessage() {
    return Msg(texts::ExportAborted);
}

// The build's progress as events, its abort as the job's.
class TExportJob::TBuildProgress final : public IExportProgress {
public:
    explicit TBuildProgress(TExportJob& job) : FJob(job) {}
    void Entries(size_t done, size_t total) override {
        if (!FJob.OnEvent) return;
        TExportEvent event;
        event.EntriesDone = done;
        event.EntriesTotal = total;
        FJob.OnEvent(event);
    }
    bool CancelRequested() override { return FJob.FAbort; }

private:
    TExportJob& FJob;
};

TExportJob::TExportJob(TUserList& list, TExportSettings settings,
                       std::shared_ptr<IUiDispatcher> dispatcher)
    : FList(list), FSettings(std::move(settings)), FDispatcher(std::move(dispatcher)) {}

TExportJob::~TExportJob() {
    Detach();
}

int TExportJob::Sweep() {
    if (FSwept) return 0;
    FSwept = true;
    std::vector<bool> wasEnabled(static_cast<size_t>(FList.Count()));
    for (int i = 0; i < FList.Count(); ++i)
        wasEnabled[static_cast<size_t>(i)] = !FList.Users(i).Disable;
    const int count = FList.DisableExpired();
    for (int i = 0; i < FList.Count() && count > 0; ++i)
        if (wasEnabled[static_cast<size_t>(i)] && FList.Users(i).Disable)
            FExpired.insert(&FList.Users(i));
    return count;
}

// What the worker found and did at the server, handed to the owner's thread through the
// dispatcher's synchronised calls.
struct TExportJob::TServerOutcome {
    std::optional<TTargetCheck> Check;
    std::optional<TTargetRecord> Record;
    std::string TargetId;
    bool Stopped = false;
};

TRestoreTarget RestoreTargetOf(const TUserList& list, int index) {
    TRestoreTarget restore;
    if (index > 0) {
        restore.Kind = TExportTarget::Several;
        restore.Target = list.Targets.at(static_cast<std::size_t>(index - 1));
        restore.Name = TargetWhere(restore.Target);
        if (!TargetProblem(restore.Target)) restore.Id = TargetIdOf(restore.Target);
        return restore;
    }
    restore.Target = FirstTarget(list);
    if (list.ExportToFile) {
        restore.Kind = TExportTarget::File;
        restore.Name = list.PassFile;
        if (!restore.Name.empty()) restore.Id = TLocalFileTarget(restore.Name).Id();
    } else if (const std::optional<TStoreSettings> store = ListStore(list, {})) {
        restore.Kind = TExportTarget::Store;
        restore.Name = StoreShownName(*store);
        restore.Id = StoreDisplayName(*store);
    } else {
        restore.Kind = TExportTarget::Server;
        restore.Name = list.FtpPasswdFile;
        if (!list.FtpHost.empty() && !restore.Name.empty()) {
            TFtpSettings server;
            ApplyServerSettings(list, server);
            restore.Id = ServerTargetId(server, restore.Name);
        }
    }
    return restore;
}

void TExportJob::Start() {
    TExportSettings& s = FSettings;
    if (!s.Content) Sweep();
    if (s.Target == TExportTarget::Server) {
        if (FList.FtpHost.empty()) throw EQuorvaneError(Msg(texts::NoFtpServer));
        if (s.RemoteFile.empty()) s.RemoteFile = FList.FtpPasswdFile;
        if (s.RemoteFile.empty()) throw EQuorvaneError(Msg(texts::NoServerPasswordFile));
    }
    if (s.Target == TExportTarget::File) CheckExportTarget(s.FileName, s.DatabasePath);
    if (s.Target == TExportTarget::Several) {
        if (s.Targets.empty()) throw EQuorvaneError(Msg(texts::TargetNoFile));
        for (const TDeployTarget& target : s.Targets) {
            if (const auto problem = TargetProblem(target.Target))
                throw EQuorvaneError(Msg(texts::TargetPrefixed, target.Target.Name, *problem));
            if (target.Target.ExportToFile)
                CheckExportTarget(target.Target.PassFile, s.DatabasePath);
        }
        std::vector<TTargetSettings> chosen;
        chosen.reserve(s.Targets.size());
        for (const TDeployTarget& target : s.Targets)
            chosen.push_back(target.Target);
        if (const auto clash = SamePlaceProblem(chosen)) throw EQuorvaneError(*clash);
    }
    std::optional<TStoreSettings> store;
    if (s.Target == TExportTarget::Store) {
        store = ListStore(FList, s.ServerSecret);
        if (!store)
            throw EQuorvaneError(Msg(texts::StoreUrlInvalid, WithoutUserInfo(FList.StoreUrl)));
    }
    // A line there that the users as they are now account for is no change made there.
    if (!s.Replace.Ours) {
        struct TNow {
            bool HashOnly;
            std::string Value;
        };
        auto now = std::make_shared<std::unordered_map<std::string, TNow>>();
        for (int i = 0; i < FList.Count(); ++i) {
            const TUserProp& user = FList.Users(i);
            now->emplace(user.Login, TNow{user.HashOnly(),
                                          user.HashOnly() ? user.PasswordHash() : user.Password});
        }
        const bool plain = s.PassType == TPasswordsType::ptPlainText;
        s.Replace.Ours = [now, plain](const std::string& login, const std::string& value) {
            const auto found = now->find(login);
            if (found == now->end()) return false;
            if (found->second.HashOnly || plain) return SecretsEqual(value, found->second.Value);
            return !found->second.Value.empty() && VerifyStoredHash(found->second.Value, value);
        };
    }
    FAbort = false;
    FResult = TExportResult();
    FResult.Target = s.Target == TExportTarget::Server ? s.RemoteFile
                     : store                           ? StoreShownName(*store)
                                                       : s.FileName;
    if (s.Target == TExportTarget::Several) {
        FResult.Target.clear();
        for (const TDeployTarget& target : s.Targets)
            FResult.Target += (FResult.Target.empty() ? "" : ", ") + target.Target.Name;
    }
    FResult.DryRun = s.Replace.DryRun;

    // What this database remembers of its last exports: the hashes to reuse, the records of
    // what it wrote where.
    FState = TDatabaseState(s.DatabasePath, FList.Encryption()).Load();
    FKnownLogins.clear();
    for (int i = 0; i < FList.Count(); ++i)
        FKnownLogins.insert(FList.Users(i).Login);

    // The group file is made first: a group name it cannot hold stops the export before anything
    // is written, and it is replaced before the password file, so a user taken out of a group
    // never gets in as a member with the new password file. Two spellings of one group would be
    // two groups here and one to the server, which would let the members of either in.
    if (TMessage clash = GroupClashMessage(FList); !clash.Empty())
        throw EQuorvaneError(std::move(clash));
    FGroups = BuildGroups(s.Build);
    if (FGroups && s.Target == TExportTarget::File) {
        CheckExportTarget(FResult.GroupFile, s.DatabasePath);
        if (FResult.GroupFile == s.FileName)
            throw EQuorvaneError(Msg(texts::GroupFileIsPasswordFile));
    }
    std::optional<std::string> text;
    if (s.Content) {
        text = *s.Content;
    } else {
        TBuildProgress progress(*this);
        TPasswordFileOptions options = s.Build;
        options.Progress = &progress;
        options.Report = &FReport;
        options.Stats = &FResult.Stats;
        // The slow forms' hashes are tagged with the database's key; without one they are not
        // kept. A form given for this export keeps its hashes apart from those of the database's
        // own; when the database has no key (its own form is a fast one) their tags are made
        // with one the state keeps, so that a one-off form leaves the database file alone.
        const bool slow = IsSlowPassType(s.PassType);
        FHashForm = HashFormId(FList, s.PassType,
                               s.Build.SchemeParam.value_or(StoredSchemeParam(FList, s.PassType)));
        FFormHashKey.clear();
        if (slow && !FHashForm.empty() && FList.HashCacheKey.empty() && !s.DatabasePath.empty())
            FFormHashKey = FState.FormHashKey.empty() ? NewHashCacheKey() : FState.FormHashKey;
        const std::string& key = !FFormHashKey.empty() ? FFormHashKey : FList.HashCacheKey;
        FCache = THashCache(slow ? key : std::string());
        if (!s.DatabasePath.empty() && !(slow && key.empty())) {
            if (FHashForm.empty()) {
                FCache.Load(FState.Hashes);
            } else if (const auto form = FState.FormHashes.find(FHashForm);
                       form != FState.FormHashes.end() &&
                       (FFormHashKey.empty() || FFormHashKey == FState.FormHashKey)) {
                FCache.Load(form->second);
            }
            if (!options.Cache) options.Cache = &FCache;
        }
        text = BuildPasswordFile(FList, s.PassType, options);
        if (!text) {
            FResult.Aborted = true;
            Done();
            return;
        }
        Finish(FReport);
    }
    // Abort asked for after the last progress point: built all the same, written nowhere.
    switch (s.Target) {
    case TExportTarget::Server:
        if (FAbort) break;
        StartUpload(*text);
        return;
    case TExportTarget::Stream:
        if (FResult.DryRun) break;
        if (s.Stream != nullptr) {
            *s.Stream << *text << std::flush;
            if (!*s.Stream) throw EQuorvaneError(Msg(texts::StreamWriteError));
        }
        RememberExport(std::string(), std::nullopt);
        FResult.Done = true;
        break;
    case TExportTarget::File:
        if (FAbort) break;
        DeployToFile(*text);
        break;
    case TExportTarget::Store:
        if (FAbort) break;
        DeployToStore(*text);
        break;
    case TExportTarget::Several:
        if (FAbort) break;
        StartDeployment(*text);
        return;
    }
    FResult.Aborted = !FResult.Done && !FResult.Stopped && !FResult.DryRun;
    Done();
}

void TExportJob::Done() {
    // The handler may destroy this job: nothing of it is touched after the call.
    const auto done = OnDone;
    const TExportResult result = FResult;
    if (done) done(result);
}

void TExportJob::DeployToFile(const std::string& text) {
    TLocalFileTarget target(FSettings.FileName);
    Deploy(target, text, [this] {
        if (!FGroups) return;
        const TWriteReport report = WriteFileAtomically(FResult.GroupFile, *FGroups, 0644);
        FResult.Warnings.insert(FResult.Warnings.end(), report.Warnings.begin(),
                                report.Warnings.end());
    });
    const std::vector<TMessage> warnings = target.Warnings();
    FResult.Warnings.insert(FResult.Warnings.end(), warnings.begin(), warnings.end());
}

void TExportJob::DeployToStore(const std::string& text) {
    const std::optional<TStoreSettings> store = ListStore(FList, FSettings.ServerSecret);
    TStoreTarget target(*store, StoreGroups(FList),
                        std::string(PasswordFileLineEnd(FList, FSettings.Build)));
    Deploy(target, text);
}

void TExportJob::Deploy(IExportTarget& target, const std::string& text,
                        const std::function<void()>& beforeReplace) {
    const std::string id = target.Id();
    const auto record = FState.Targets.find(id);
    const auto pending = FState.Pending.find(id);
    TTargetCheck check = CheckTarget(
        target, record == FState.Targets.end() ? nullptr : &record->second, text, FKnownLogins,
        FSettings.Replace, pending == FState.Pending.end() ? nullptr : &pending->second);
    FResult.Check = check;
    if (FResult.DryRun) return;
    if (check.Stops) {
        FResult.Stopped = true;
        RememberExport(std::string(), std::nullopt);
        return;
    }
    // A pipe or a device is written as it is and keeps no record: nothing to settle.
    if (check.Current.Comparable) NotePending({id}, text);
    if (beforeReplace) beforeReplace();
    TTargetRecord written =
        ReplaceTarget(target, check, text, TTargetBackups(id, FList.Encryption()));
    // A pipe or a device keeps no record: what it held cannot be read back.
    RememberExport(id, check.Current.Comparable ? std::optional(std::move(written)) : std::nullopt);
    FResult.Done = true;
}

void TExportJob::RememberExport(const std::vector<std::string>& targetIds,
                                const std::optional<TTargetRecord>& record) {
    if (FSettings.DatabasePath.empty()) return;
    const bool hashes = !FSettings.Content && !FCache.Entries().empty();
    if (!hashes && !record && FPendingIds.empty()) return;
    const std::vector<std::string> pending = std::exchange(FPendingIds, {});
    // Not kept costs time, or one question, at the next export: said, not failed.
    if (!TDatabaseState(FSettings.DatabasePath, FList.Encryption())
             .Update([&](TDatabaseStateData& data) {
                 if (hashes && FHashForm.empty()) {
                     data.Hashes = FCache.Entries();
                 } else if (hashes) {
                     // Another program may have made the key meanwhile: the tags made with the
                     // other one no longer check.
                     if (!FFormHashKey.empty() && data.FormHashKey != FFormHashKey) {
                         data.FormHashes.clear();
                         data.FormHashKey = FFormHashKey;
                     }
                     data.FormHashes[FHashForm] = FCache.Entries();
                 }
                 if (record)
                     for (const std::string& id : targetIds)
                         data.Targets[id] = *record;
                 for (const std::string& id : pending)
                     data.Pending.erase(id);
             }))
        StateNotKept();
}

void TExportJob::NotePending(const std::vector<std::string>& targetIds, const std::string& text) {
    if (FSettings.DatabasePath.empty() || FSettings.Replace.DryRun || targetIds.empty()) return;
    const TTargetRecord record = RecordOf(text);
    if (!TDatabaseState(FSettings.DatabasePath, FList.Encryption())
             .Update([&](TDatabaseStateData& data) {
                 for (const std::string& id : targetIds)
                     data.Pending[id] = record;
             })) {
        StateNotKept();
        return;
    }
    FPendingIds.insert(FPendingIds.end(), targetIds.begin(), targetIds.end());
}

void TExportJob::StateNotKept() {
    if (std::exchange(FStateWarned, true)) return;
    FResult.Warnings.push_back(
        Msg(texts::StateNotKept, TDatabaseState::PathFor(FSettings.DatabasePath)));
}

void TExportJob::Finish(const TPasswordFileReport& report) {
    FResult.Written = report.Written;
    // Only a file's readers take a line starting with "#" for a comment; a store takes the user.
    const TExportSettings& s = FSettings;
    bool fileRead = s.Target != TExportTarget::Store;
    if (s.Target == TExportTarget::Several)
        fileRead = std::any_of(s.Targets.begin(), s.Targets.end(), [](const TDeployTarget& t) {
            return t.Target.ExportToFile || t.Target.StoreUrl.empty();
        });
    if (fileRead) FResult.CommentLogins = report.CommentLogins;
    FResult.Namesakes = report.Namesakes;
    for (const TUserProp* user : report.LeftOut)
        ++(FExpired.count(user) ? FResult.Expired : FResult.Disabled);
    FResult.WeakUsers = report.WeakUsers;
}

std::optional<std::string> TExportJob::BuildGroups(const TPasswordFileOptions& options) {
    const TExportSettings& s = FSettings;
    FResult.GroupFile.clear();
    std::string target;
    switch (s.Target) {
    case TExportTarget::File:
        target = GroupFileName(FList, s.FileName);
        break;
    case TExportTarget::Stream: // standard output holds the password file alone
    case TExportTarget::Store:  // a store keeps the groups with its users
        break;
    case TExportTarget::Several: // each file target gets its own, beside it
        if (!AnyUserHasGroups(FList) && FList.GroupFile.empty()) return std::nullopt;
        target = "*";
        break;
    case TExportTarget::Server:
        target = GroupFileName(FList, s.RemoteFile);
        break;
    }
    if (target.empty()) return std::nullopt;
    // Without groups the file is still written when it is the database's own target or a local
    // one that is there already: left as it was, it would keep letting in users that are no
    // longer members.
    const bool wanted = AnyUserHasGroups(FList) || !FList.GroupFile.empty() ||
                        (s.Target == TExportTarget::File && ::access(target.c_str(), F_OK) == 0);
    if (!wanted) return std::nullopt;
    std::string text =
        BuildGroupFile(PasswordFileEntries(FList), PasswordFileLineEnd(FList, options));
    FResult.GroupFile = s.Target == TExportTarget::Several ? std::string() : target;
    FResult.Groups = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    return text;
}

void TExportJob::StartUpload(const std::string& text) {
    auto uploader = std::make_unique<TFtpUploader>(FDispatcher);
    if (FList.Encryption() != nullptr) {
        // The passwords of an encrypted database never reach the disk: the upload reads them
        // from files in memory, which the worker holds until it ends.
        auto file = std::make_shared<const TMemoryFile>("kxv", text);
        FTempFile = file->Path();
        uploader->KeepOpen.push_back(file);
        if (FGroups) {
            auto groups = std::make_shared<const TMemoryFile>("kxv", *FGroups);
            FGroupTempFile = groups->Path();
            uploader->KeepOpen.push_back(groups);
        }
    } else {
        // What a killed export left there holds passwords too: it goes before a new one is made.
        RemoveStaleTempFiles("kxv");
        FTempFile = GetTempFile("kxv");
        // The worker removes the file itself, also if the owner stops waiting for it; a signal
        // that ends the program meanwhile removes it too.
        uploader->DeleteWhenDone = {FTempFile};
        FTempRegistration = std::make_unique<TTempFileRegistration>(FTempFile);
        WritePrivateFile(FTempFile, text);
        if (FGroups) {
            FGroupTempFile = GetTempFile("kxv");
            uploader->DeleteWhenDone.push_back(FGroupTempFile);
            FGroupTempRegistration = std::make_unique<TTempFileRegistration>(FGroupTempFile);
            WritePrivateFile(FGroupTempFile, *FGroups);
        }
    }
    ApplyServerSettings(FList, *uploader);
    (FList.FtpKeyFile.empty() ? uploader->Password : uploader->KeyPassphrase) =
        FSettings.ServerSecret;
    uploader->Timeout = FSettings.Timeout;
    uploader->OnUnknownHostKey = FSettings.OnUnknownHostKey;
    uploader->LocalFile = FTempFile;
    uploader->RemoteFile = FSettings.RemoteFile;

    // The worker reads the server's file over its own connection, compares it and replaces it
    // only when nothing changed there that the user did not agree to lose.
    auto outcome = std::make_shared<TServerOutcome>();
    outcome->TargetId = ServerTargetId(*uploader, FSettings.RemoteFile);
    const auto found = FState.Targets.find(outcome->TargetId);
    const std::optional<TTargetRecord> record =
        found == FState.Targets.end() ? std::nullopt : std::optional(found->second);
    const auto foundPending = FState.Pending.find(outcome->TargetId);
    const std::optional<TTargetRecord> pending =
        foundPending == FState.Pending.end() ? std::nullopt : std::optional(foundPending->second);
    // The group file goes up on the same connection once the password file may be replaced,
    // right before it, as on a local disk.
    const std::string groupLocal = FGroups ? FGroupTempFile : std::string();
    const std::string groupRemote = FGroups ? FResult.GroupFile : std::string();
    uploader->Store = [outcome, record, pending, content = text, known = FKnownLogins,
                       replace = FSettings.Replace, groupLocal, groupRemote,
                       key = FList.Encryption()](IUploadTransport& transport,
                                                 const std::string& local, std::int64_t,
                                                 const std::string& remote, TCommitGate* gate) {
        TServerFileTarget target(transport, outcome->TargetId, remote, local, gate);
        TTargetCheck check = CheckTarget(target, record ? &*record : nullptr, content, known,
                                         replace, pending ? &*pending : nullptr);
        outcome->Check = check;
        if (replace.DryRun) return;
        outcome->Stopped = check.Stops;
        if (!check.Stops && !groupLocal.empty())
            SafeUpload(transport, groupLocal, FileSizeOf(groupLocal), groupRemote, gate);
        outcome->Record =
            ReplaceTarget(target, check, content, TTargetBackups(outcome->TargetId, key));
    };
    FServer = outcome;
    NotePending({outcome->TargetId}, text);
    uploader->OnProgress = [this](const TUploadProgress& progress) {
        if (!OnEvent) return;
        TExportEvent event;
        event.Stage = progress.Connecting ? TExportStage::Connecting : TExportStage::Uploading;
        event.Server = progress.Host;
        event.Remote = progress.Remote;
        event.BytesSent = progress.Sent;
        event.BytesTotal = progress.Size;
        OnEvent(event);
    };
    uploader->OnStatus = [this](const TMessage& message, bool isError) {
        // An abort that held is no failure, nor a stop before the replacement: the result says
        // so.
        if (!isError || FUploader->Aborted() || (FServer && FServer->Stopped)) return;
        if (FResult.Error.Empty()) FResult.Error = message;
        if (OnError) OnError(message);
    };
    uploader->OnTerminate = [this] { UploadEnded(); };
    FUploader = std::move(uploader);
    FUploader->Start();
}

void TExportJob::StartDeployment(const std::string& text) {
    const TExportSettings& s = FSettings;
    TDeploymentInput input;
    input.Content = text;
    input.Groups = FGroups;
    input.LineEnd = std::string(PasswordFileLineEnd(FList, s.Build));
    input.StoreGroups = StoreGroups(FList);
    input.Known = FKnownLogins;
    input.Replace = s.Replace;
    input.Key = FList.Encryption();
    input.Timeout = s.Timeout;
    std::vector<TDeploymentTarget> targets;
    std::vector<std::string> ids;
    ids.reserve(s.Targets.size());
    for (const TDeployTarget& given : s.Targets) {
        const TTargetSettings& t = given.Target;
        TDeploymentTarget target{given, {}, std::nullopt, std::nullopt};
        if (FGroups && t.StoreUrl.empty())
            target.GroupFile = GroupFileName(FList, t.ExportToFile ? t.PassFile : t.FtpPasswdFile);
        const std::string id = TargetIdOf(t);
        ids.push_back(id);
        const auto found = FState.Targets.find(id);
        if (found != FState.Targets.end()) target.Record = found->second;
        const auto pending = FState.Pending.find(id);
        if (pending != FState.Pending.end()) target.Pending = pending->second;
        if (!t.CheckUser.empty()) {
            for (int i = 0; i < FList.Count(); ++i) {
                const TUserProp& user = FList.Users(i);
                if (user.Login == t.CheckUser && !user.HashOnly() && !user.Password.empty())
                    input.CheckPasswords[user.Login] = user.Password;
            }
        }
        targets.push_back(std::move(target));
    }
    FDeployedContent = text;
    NotePending(ids, text);
    TDeployment::THandlers handlers;
    handlers.OnEvent = [this](const TExportEvent& event) {
        if (OnEvent) OnEvent(event);
    };
    handlers.OnUnknownHostKey = s.OnUnknownHostKey;
    handlers.OnDone = [this](const std::vector<TTargetOutcome>& outcomes) {
        DeploymentEnded(outcomes);
    };
    // Set before the workers start: a handler of theirs may ask it to abort.
    FDeployment = std::make_shared<TDeployment>(std::move(input), std::move(targets), FDispatcher,
                                                std::move(handlers));
    FDeployment->Start();
}

void TExportJob::DeploymentEnded(const std::vector<TTargetOutcome>& outcomes) {
    FResult.Outcomes = outcomes;
    bool all = !outcomes.empty(), replaced = false, aborted = false, stopped = false;
    for (const TTargetOutcome& o : outcomes) {
        all = all && o.Succeeded();
        replaced = replaced || o.Holds != TTargetHolds::Old;
        aborted = aborted || o.Aborted;
        if (o.Stopped && !stopped) FResult.Check = o.Check;
        stopped = stopped || o.Stopped;
        if (FResult.Identity.Fingerprint.empty() && FResult.Identity.PublicKeyPin.empty())
            FResult.Identity = o.Identity;
    }
    FResult.Aborted = aborted && !replaced;
    FResult.Stopped = stopped && !FResult.Aborted;
    FResult.Done = all && !FResult.DryRun;
    if (!FResult.DryRun) {
        // The record of what each target holds now: the new file where it went; a target put
        // back holds what this database's record already says of it.
        // One record serves every target: they all hold the same content.
        std::vector<std::string> received;
        for (const TTargetOutcome& o : outcomes)
            if (o.Holds == TTargetHolds::New) received.push_back(o.Id);
        std::optional<TTargetRecord> record;
        if (!received.empty() && !FSettings.DatabasePath.empty())
            record = RecordOf(FDeployedContent);
        RememberExport(received, received.empty() ? std::nullopt : record);
    }
    Done();
}

void TExportJob::UploadEnded() {
    FResult.Identity = FUploader->IdentityProblem();
    if (FUploader->Aborted()) {
        FResult.Aborted = true;
        FResult.Error = TMessage();
        if (FUploader->AbortTempKept())
            FResult.Warnings.push_back(
                Msg(texts::PartialUploadKept, SafeUploadName(FResult.Target)));
    }
    const TServerOutcome& outcome = *FServer;
    FResult.Check = outcome.Check;
    FResult.Stopped = outcome.Stopped && !FResult.Aborted;
    FResult.Done = !FResult.Aborted && FResult.Error.Empty() && !FResult.Stopped && !FResult.DryRun;
    // The name stays: with a dispatcher that runs this on the worker's thread, the owner may be
    // reading it at this moment.
    // A file in memory has no name to remove.
    if (FTempRegistration) ::unlink(FTempFile.c_str()); // gone already, normally
    FTempRegistration.reset();
    if (FGroupTempRegistration) ::unlink(FGroupTempFile.c_str());
    FGroupTempFile.clear();
    FGroupTempRegistration.reset();
    if (!FResult.DryRun && (FResult.Done || FResult.Stopped))
        RememberExport(outcome.TargetId, outcome.Record);
    Done();
}

bool TExportJob::Abort() noexcept {
    FAbort = true;
    if (FDeployment) return FDeployment->Abort();
    return !FUploader || FUploader->Abort();
}

bool TExportJob::Uploading() const {
    if (FDeployment) return !FDeployment->Finished();
    return FUploader && !FUploader->Finished() && !FTempFile.empty();
}

void TExportJob::Wait() {
    if (FUploader) FUploader->WaitFor();
    if (FDeployment) FDeployment->WaitFor();
}

bool TExportJob::Wait(std::chrono::milliseconds timeout) {
    if (FDeployment) return FDeployment->WaitFor(timeout);
    return !FUploader || FUploader->WaitFor(timeout);
}

void TExportJob::Detach() noexcept {
    if (FUploader) FUploader->Detach();
    if (FDeployment) FDeployment->Detach();
}

} // namespace quorvane
