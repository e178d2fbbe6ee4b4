#include "job/Deployment.h"

#include "base/AsciiCase.h"
#include "base/AtomicFile.h"
#include "base/BaseTexts.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "base/TempFiles.h"
#include "base/Workers.h"
#include "ftp/FtpTexts.h"
#include "ftp/ServerTarget.h"
#include "ftp/Sftp.h"
#include "ftp/SiteCheck.h"
#include "ftp/Transport.h"
#include "job/Backups.h"
#include "job/ExportJob.h"
#include "job/JobTexts.h"
#include "job/StoreTarget.h"
#include "sitedb/SiteDbTexts.h"
#include "sitedb/UserStore.h"

#include <algorithm>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quorvane {

namespace {

enum class TKind { File, Server, Store };

TKind KindOf(const TTargetSettings& target) {
    if (target.ExportToFile) return TKind::File;
    return target.StoreUrl.empty() ? TKind::Server : TKind::Store;
}

TMessage MessageOf(const std::exception& e) {
    if (const auto* q = dynamic_cast<const EQuorvaneError*>(&e)) return q->Message();
    return Verbatim(e.what());
}

// No password file is larger.
constexpr std::size_t KMaxRead = std::size_t{1} << 30;

} // namespace

namespace {

TMessage PasswordFileOutcome(const TTargetOutcome& o) {
    switch (o.Holds) {
    case TTargetHolds::New:
        if (!o.Error.Empty()) return Msg(texts::TargetPutBackFailed, o.Name, o.Where, o.Error);
        if (!o.CheckError.Empty())
            return Msg(texts::TargetCheckFailed, o.Name, o.Where, o.CheckError);
        if (!o.AfterError.Empty())
            return Msg(texts::TargetAfterFailed, o.Name, o.Where, o.AfterError);
        return Msg(texts::TargetHoldsNew, o.Name, o.Where);
    case TTargetHolds::Old:
        if (o.Aborted)
            return Msg(texts::TargetHoldsOldFailed, o.Name, o.Where, Msg(texts::ExportAborted));
        if (!o.Error.Empty()) return Msg(texts::TargetHoldsOldFailed, o.Name, o.Where, o.Error);
        return Msg(texts::TargetHoldsOld, o.Name, o.Where);
    case TTargetHolds::PutBack:
        return Msg(texts::TargetPutBack, o.Name, o.Where);
    case TTargetHolds::Unknown:
        return Msg(texts::TargetStateUnknown, o.Name, o.Where, o.Error);
    }
    return {};
}

} // namespace

TMessage TargetOutcomeMessage(const TTargetOutcome& o) {
    TMessage said = PasswordFileOutcome(o);
    if (o.GroupError.Empty()) return said;
    return Msg(texts::TargetGroupsNotPutBack, said, o.GroupError);
}

bool ReportedPerTarget(const TUserList& list, const std::vector<TTargetSettings>& chosen) {
    return chosen.size() != 1 || chosen.front().Name != FirstTarget(list).Name ||
           !chosen.front().Enabled || !chosen.front().CheckUrl.empty();
}

std::vector<TTargetSettings> DefaultTargets(const TUserList& list) {
    std::vector<TTargetSettings> chosen;
    for (const TTargetSettings& target : ListTargets(list))
        if (target.Enabled) chosen.push_back(target);
    if (chosen.size() < 2) return chosen;
    const TTargetSettings& first = chosen.front();
    if (first.Name == FirstTarget(list).Name && first.PassFile.empty() && first.FtpHost.empty() &&
        first.FtpPasswdFile.empty() && first.StoreUrl.empty())
        chosen.erase(chosen.begin());
    return chosen;
}

std::string TargetFileName(const TTargetSettings& target) {
    switch (KindOf(target)) {
    case TKind::File:
        return target.PassFile;
    case TKind::Server:
        return target.FtpPasswdFile;
    case TKind::Store:
        return TargetWhere(target);
    }
    return {};
}

bool TargetTakesGroupFile(const TTargetSettings& target) {
    return KindOf(target) != TKind::Store;
}

std::string TargetWhere(const TTargetSettings& target) {
    switch (KindOf(target)) {
    case TKind::File:
        return target.PassFile;
    case TKind::Server:
        return ServerUrlOf(target);
    case TKind::Store:
        // Never the user part of the address, nor a password an older version let it hold.
        if (const auto store = ParseStoreUrl(target.StoreUrl)) return StoreShownName(*store);
        return WithoutUserInfo(target.StoreUrl);
    }
    return {};
}

std::string TargetIdOf(const TTargetSettings& target) {
    switch (KindOf(target)) {
    case TKind::File:
        return TLocalFileTarget(target.PassFile).Id();
    case TKind::Server: {
        TFtpSettings server;
        ApplyServerSettings(target, server);
        return ServerTargetId(server, target.FtpPasswdFile);
    }
    case TKind::Store:
        return StoreDisplayName(*TargetStore(target, {}));
    }
    return {};
}

std::optional<TMessage> TargetProblem(const TTargetSettings& target) {
    switch (KindOf(target)) {
    case TKind::File:
        if (target.PassFile.empty()) return Msg(texts::TargetNoFile);
        break;
    case TKind::Server:
        if (target.FtpHost.empty()) return Msg(texts::NoFtpServer);
        if (target.FtpPasswdFile.empty()) return Msg(texts::NoServerPasswordFile);
        break;
    case TKind::Store:
        if (!ParseStoreUrl(target.StoreUrl))
            return Msg(texts::StoreUrlInvalid, WithoutUserInfo(target.StoreUrl));
        break;
    }
    return std::nullopt;
}

namespace {

std::string FilePlace(const std::string& path) {
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

// The index of a target clashing with target i among the earlier ones; -1 for none.
int ClashOf(const std::vector<std::string>& places, std::size_t i) {
    if (places[i].empty()) return -1;
    for (std::size_t k = 0; k < i; ++k)
        if (places[k] == places[i]) return static_cast<int>(k);
    return -1;
}

TMessage SamePlaceMessage(const TTargetSettings& a, const TTargetSettings& b) {
    return Msg(texts::TargetsSamePlace, a.Name, b.Name, TargetWhere(b));
}

} // namespace

std::string TargetPlace(const TTargetSettings& target) {
    switch (KindOf(target)) {
    case TKind::File:
        return FilePlace(target.PassFile);
    case TKind::Server: {
        if (target.FtpHost.empty() || target.FtpPasswdFile.empty()) return {};
        TFtpSettings server;
        try {
            ApplyServerSettings(target, server);
        } catch (const EQuorvaneError&) {
            return {};
        }
        server.User.clear();
        return "server:" + ToAsciiLower(ServerTargetId(server, target.FtpPasswdFile));
    }
    case TKind::Store: {
        const std::optional<TStoreSettings> store = ParseStoreUrl(target.StoreUrl);
        if (!store) return {};
        if (store->Kind == TStoreKind::Sqlite) return FilePlace(store->Location);
        return "store:" + ToAsciiLower(StoreShownName(*store));
    }
    }
    return {};
}

std::optional<TMessage> SamePlaceProblem(const std::vector<TTargetSettings>& targets) {
    std::vector<std::string> places;
    places.reserve(targets.size());
    for (const TTargetSettings& target : targets)
        places.push_back(TargetPlace(target));
    for (std::size_t i = 0; i < targets.size(); ++i)
        if (const int k = ClashOf(places, i); k >= 0)
            return SamePlaceMessage(targets[static_cast<std::size_t>(k)], targets[i]);
    return std::nullopt;
}

void CheckTargetChange(const std::vector<TTargetSettings>& before,
                       const std::vector<TTargetSettings>& after) {
    const auto stored = [&](const TTargetSettings& target) -> const TTargetSettings* {
        for (const TTargetSettings& t : before)
            if (t.Name == target.Name) return &t;
        return nullptr;
    };
    for (const TTargetSettings& target : after) {
        const TTargetSettings* was = stored(target);
        if (KindOf(target) == TKind::Store &&
            (was == nullptr || KindOf(*was) != TKind::Store || was->StoreUrl != target.StoreUrl)) {
            try {
                CheckNewStoreUrl(target.StoreUrl);
            } catch (const EQuorvaneError& e) {
                throw EQuorvaneError(Msg(texts::TargetPrefixed, target.Name, e.Message()));
            }
        }
    }
    std::vector<std::string> places, placesBefore;
    places.reserve(after.size());
    placesBefore.reserve(after.size());
    for (const TTargetSettings& target : after) {
        places.push_back(TargetPlace(target));
        const TTargetSettings* was = stored(target);
        placesBefore.push_back(was != nullptr ? TargetPlace(*was) : std::string());
    }
    for (std::size_t i = 0; i < after.size(); ++i) {
        const int k = ClashOf(places, i);
        if (k < 0) continue;
        // Two targets an earlier version let share a place may stay as they are.
        const auto kk = static_cast<std::size_t>(k);
        if (!placesBefore[i].empty() && placesBefore[i] == placesBefore[kk] &&
            placesBefore[i] == places[i])
            continue;
        throw EQuorvaneError(SamePlaceMessage(after[kk], after[i]));
    }
}

namespace {

// One target while it is deployed. Its worker alone touches it until it reports a phase's end
// under the state's lock; the coordinator reads it only after that.
struct TSlot {
    TDeploymentTarget In;
    TKind Kind = TKind::File;
    TTargetOutcome Out;
    TTargetContent Previous; // what the target held, to put back
    bool Started = false;
    bool PrepareEnded = false, Prepared = false;
    bool CommitEnded = false;
    bool Ended = false;
    std::unique_ptr<TFtpUploader> Uploader;
    std::thread Thread;
    TTargetContent GroupPrevious; // what the group file held, to put back
    bool GroupWritten = false;
    std::int64_t LastPercent = -1; // of the last upload event (its worker's own)
};

} // namespace

struct TDeployment::TState {
    TDeploymentInput In;
    std::vector<std::unique_ptr<TSlot>> Slots;
    std::shared_ptr<IUiDispatcher> Dispatcher;
    THandlers Handlers;
    // One gate for every target: an abort that comes first keeps them all; once the
    // replacements have begun, an abort is refused.
    TCommitGate Gate;
    // The private local copies every upload sends (an encrypted database's in memory), made
    // before the workers start and removed after they all ended.
    std::string LocalFile, GroupLocal;
    std::vector<std::shared_ptr<const void>> Memory;
    std::vector<std::unique_ptr<TTempFileRegistration>> Registrations;

    std::mutex Mutex;
    std::condition_variable Changed;
    int Step = 0;          // 1: the files' verdict, 2: the stores', 3: the last
    bool Go = false;       // every target holds a good new file: replace them
    bool StoresGo = false; // every file was replaced: sync the stores
    bool Revert = false;   // something failed after a replacement: put back what was replaced

    std::recursive_mutex HandlerMutex;
    std::atomic<bool> Detached{false};
    mutable std::mutex DoneMutex;
    std::condition_variable DoneChanged;
    bool Finished = false;

    // Runs a handler on the owner's thread and waits for it; its failure is the owner's.
    void ToOwner(const std::function<void()>& call) {
        if (Detached) return;
        Dispatcher->RunAndWait([&] {
            const std::lock_guard<std::recursive_mutex> lock(HandlerMutex);
            if (Detached) return;
            try {
                call();
            } catch (...) {
            }
        });
    }

    void Event(const TExportEvent& event) {
        if (!Handlers.OnEvent) return;
        ToOwner([&] { Handlers.OnEvent(event); });
    }

    void StageEvent(const TSlot& slot, TExportStage stage) {
        if (!In.PerTarget) return;
        TExportEvent event;
        event.Stage = stage;
        event.Target = slot.Out.Name;
        event.Remote = slot.Out.Where;
        // A store is reached at its address; a server by its host.
        event.Server = slot.Kind == TKind::Server ? slot.In.Given.Target.FtpHost : slot.Out.Where;
        Event(event);
    }

    // Marks a phase of a slot as ended and wakes the coordinator.
    void Report(const std::function<void()>& mark) {
        {
            const std::lock_guard<std::mutex> lock(Mutex);
            mark();
        }
        Changed.notify_all();
    }

    void WaitStep(int step) {
        std::unique_lock<std::mutex> lock(Mutex);
        Changed.wait(lock, [&] { return Step >= step; });
    }

    // What a server now holds at the target, after its replacement failed: the old file, the
    // new one, or neither, which the old file is then put back over.
    void SettleFailedCommit(TSlot& slot, IExportTarget& target, IUploadTransport* transport) {
        if (transport == nullptr) return; // a local rename either happened or did not
        std::optional<std::string> now;
        try {
            now = transport->Read(slot.In.Given.Target.FtpPasswdFile, KMaxRead);
        } catch (const std::exception&) {
            slot.Out.Holds = TTargetHolds::Unknown;
            return;
        }
        if (now && *now == In.Content) {
            slot.Out.Holds = TTargetHolds::New; // replaced after all
            slot.Out.Error = TMessage();
        } else if (now ? slot.Previous.Exists && *now == slot.Previous.Bytes
                       : !slot.Previous.Exists) {
            slot.Out.Holds = TTargetHolds::Old;
        } else {
            try {
                target.PutBack(slot.Previous);
                slot.Out.Holds = TTargetHolds::Old;
            } catch (const std::exception&) {
                slot.Out.Holds = TTargetHolds::Unknown;
            }
        }
    }

    // The group file beside the target, on the same connection.
    std::unique_ptr<IExportTarget> GroupTarget(const TSlot& slot,
                                               IUploadTransport* transport) const {
        if (transport == nullptr) return std::make_unique<TLocalFileTarget>(slot.In.GroupFile);
        return std::make_unique<TServerFileTarget>(*transport, std::string(), slot.In.GroupFile,
                                                   GroupLocal);
    }

    // The group file as it was, once the password file beside it is (best effort: the
    // password file decides who gets in at all); a failure is part of the target's outcome.
    void PutBackGroups(TSlot& slot, IUploadTransport* transport) noexcept {
        if (!slot.GroupWritten) return;
        try {
            GroupTarget(slot, transport)->PutBack(slot.GroupPrevious);
            slot.GroupWritten = false;
        } catch (const std::exception& e) {
            slot.Out.GroupError = MessageOf(e);
        }
    }

    void PutBackIfReverted(TSlot& slot, IExportTarget& target, IUploadTransport* transport) {
        WaitStep(3);
        if (!Revert || slot.Out.Holds != TTargetHolds::New) return;
        try {
            target.PutBack(slot.Previous);
            slot.Out.Holds = TTargetHolds::PutBack;
            PutBackGroups(slot, transport);
        } catch (const std::exception& e) {
            slot.Out.Error = MessageOf(e);
        }
    }

    void CheckSite(TSlot& slot) {
        const TTargetSettings& given = slot.In.Given.Target;
        StageEvent(slot, TExportStage::Checking);
        const auto password = In.CheckPasswords.find(given.CheckUser);
        if (password == In.CheckPasswords.end()) {
            slot.Out.CheckError = Msg(texts::TargetCheckNoPassword, given.CheckUser);
            return;
        }
        try {
            const TSiteCheckResult result =
                CheckSiteLogin(given.CheckUrl, given.CheckUser, password->second, 30);
            if (result.Outcome != TSiteCheckOutcome::LetIn &&
                result.Outcome != TSiteCheckOutcome::NotProtected)
                slot.Out.CheckError = SiteCheckMessage(result, given.CheckUser);
        } catch (const std::exception& e) {
            slot.Out.CheckError = MessageOf(e);
        }
    }

    // What a target cannot do that it was asked to (a command, a mode or a group where there is
    // no shell or no such attribute): refused before it is reached, so nothing is written
    // anywhere.
    static void CheckExtras(const TSlot& slot) {
        const bool sftp =
            slot.Kind == TKind::Server &&
            ProtocolFromStoredName(slot.In.Given.Target.FtpProtocol) == TTransferProtocol::Sftp;
        if (slot.Kind == TKind::Server && slot.In.After && !sftp)
            throw EQuorvaneError(Msg(texts::AfterNeedsShell, slot.Out.Where));
        if ((slot.Kind != TKind::File && !slot.In.Group.empty()) ||
            (slot.In.Mode && (slot.Kind == TKind::Store || (slot.Kind == TKind::Server && !sftp))))
            throw EQuorvaneError(Msg(texts::ModeOrGroupOverFtp, slot.Out.Where));
    }

    // The command after the export, once every target holds its new file: beside the file on
    // this machine, or over the target's own SSH connection.
    void RunAfter(TSlot& slot, IUploadTransport* transport) {
        if (!slot.In.After || Revert || slot.Out.Holds != TTargetHolds::New) return;
        const TTargetSettings& given = slot.In.Given.Target;
        try {
            auto* sftp = dynamic_cast<TSftpTransport*>(transport);
            const TAfterResult result =
                sftp != nullptr
                    ? RunAfterCommandRemotely(*sftp, *slot.In.After, given.FtpPasswdFile)
                    : RunAfterCommandLocally(*slot.In.After, slot.Kind == TKind::File
                                                                 ? given.PassFile
                                                                 : slot.Out.Where);
            slot.Out.After = result;
            slot.Out.AfterError = AfterFailureMessage(*slot.In.After, result);
        } catch (const std::exception& e) {
            slot.Out.AfterError = MessageOf(e);
        }
    }

    // A target's whole part, on its worker: prepare, wait for the verdict, replace or roll
    // back, wait for the last verdict, put back when told.
    void RunPhases(TSlot& slot, IExportTarget& target, IUploadTransport* transport) {
        bool ok = false;
        try {
            if (Gate.Aborted()) throw EUploadAborted(slot.Out.Where, false);
            const TTargetRecord* record = slot.In.Record ? &*slot.In.Record : nullptr;
            TTargetCheck check = CheckTarget(target, record, In.Content, In.Known, In.Replace,
                                             slot.In.Pending ? &*slot.In.Pending : nullptr);
            slot.Previous = check.Current;
            slot.Out.Check = check;
            if (check.Stops) {
                slot.Out.Stopped = true;
                slot.Out.Error = TargetChangedMessage(check);
            } else if (!In.Replace.DryRun) {
                if (slot.Kind != TKind::Store) {
                    // What is replaced is kept first; a store keeps it once it is synced.
                    if (check.Current.Exists && check.Current.Comparable &&
                        check.Current.Bytes != In.Content)
                        TTargetBackups(slot.Out.Id, In.Key).Keep(check.Current.Bytes);
                    if (In.Groups && !slot.In.GroupFile.empty())
                        slot.GroupPrevious = GroupTarget(slot, transport)->Read();
                    if (Gate.Aborted()) throw EUploadAborted(slot.Out.Where, false);
                    target.Stage(In.Content);
                }
                ok = true;
            }
        } catch (const EUploadAborted&) {
            slot.Out.Aborted = true;
        } catch (const std::exception& e) {
            slot.Out.Error = MessageOf(e);
        }
        Report([&] {
            slot.PrepareEnded = true;
            slot.Prepared = ok;
        });
        WaitStep(1);
        if (!Go) {
            if (ok && slot.Kind != TKind::Store) target.Rollback();
            if (Gate.Aborted() && slot.Out.Error.Empty()) slot.Out.Aborted = true;
            return;
        }
        if (slot.Kind == TKind::Store) {
            WaitStep(2);
            if (!StoresGo) return;
            StageEvent(slot, TExportStage::Replacing);
            try {
                if (slot.Previous.Exists && slot.Previous.Bytes != In.Content)
                    TTargetBackups(slot.Out.Id, In.Key).Keep(slot.Previous.Bytes);
                target.Stage(In.Content);
                target.Commit();
                slot.Out.Holds = TTargetHolds::New;
            } catch (const std::exception& e) {
                slot.Out.Error = MessageOf(e);
                target.Rollback();
            }
            Report([&] { slot.CommitEnded = true; });
            PutBackIfReverted(slot, target, nullptr);
            RunAfter(slot, nullptr);
            return;
        }
        StageEvent(slot, TExportStage::Replacing);
        try {
            // The group file first, as for one target: a user taken out of a group never gets
            // in as a member with the new password file.
            if (In.Groups && !slot.In.GroupFile.empty()) {
                if (transport != nullptr) {
                    SafeUpload(*transport, GroupLocal, static_cast<std::int64_t>(In.Groups->size()),
                               slot.In.GroupFile);
                } else {
                    const TWriteReport report =
                        WriteFileAtomically(slot.In.GroupFile, *In.Groups, 0644);
                    slot.Out.Warnings.insert(slot.Out.Warnings.end(), report.Warnings.begin(),
                                             report.Warnings.end());
                }
                slot.GroupWritten = true;
            }
            target.Commit();
            slot.Out.Holds = TTargetHolds::New;
            const std::vector<TMessage> warnings = target.Warnings();
            slot.Out.Warnings.insert(slot.Out.Warnings.end(), warnings.begin(), warnings.end());
            // A file on a server gets its mode once it stands there: the replacement gives it
            // the mode of the file it replaced.
            if (auto* sftp = dynamic_cast<TSftpTransport*>(transport); sftp && slot.In.Mode) {
                const std::string& remote = slot.In.Given.Target.FtpPasswdFile;
                try {
                    sftp->SetMode(remote, *slot.In.Mode);
                } catch (const std::exception& e) {
                    slot.Out.Warnings.push_back(Msg(texts::RemoteModeNotSet, remote,
                                                    FileModeText(*slot.In.Mode), MessageOf(e)));
                }
            }
        } catch (const std::exception& e) {
            slot.Out.Error = MessageOf(e);
            target.Rollback();
            SettleFailedCommit(slot, target, transport);
            if (slot.Out.Holds != TTargetHolds::New) PutBackGroups(slot, transport);
        }
        Report([&] { slot.CommitEnded = true; });
        PutBackIfReverted(slot, target, transport);
        RunAfter(slot, transport);
    }

    void StartSlot(TSlot& slot) {
        slot.Started = true;
        CheckExtras(slot);
        const TTargetSettings& given = slot.In.Given.Target;
        if (slot.Kind != TKind::Server) {
            slot.Thread = std::thread([this, &slot] {
                try {
                    if (slot.Kind == TKind::File) {
                        TLocalFileTarget target(slot.In.Given.Target.PassFile);
                        target.SetModeAndGroup(slot.In.Mode, slot.In.Group);
                        RunPhases(slot, target, nullptr);
                    } else {
                        StageEvent(slot, TExportStage::Connecting);
                        TStoreTarget target(
                            *TargetStore(slot.In.Given.Target, slot.In.Given.Secret),
                            In.StoreGroups, In.LineEnd);
                        RunPhases(slot, target, nullptr);
                    }
                } catch (const std::exception& e) {
                    // The store could not be opened: nothing was done there.
                    slot.Out.Error = MessageOf(e);
                }
                Report([&] {
                    slot.PrepareEnded = true;
                    slot.CommitEnded = true;
                    slot.Ended = true;
                });
            });
            return;
        }
        auto uploader = std::make_unique<TFtpUploader>(std::make_shared<TDirectDispatcher>());
        ApplyServerSettings(given, *uploader);
        (given.FtpKeyFile.empty() ? uploader->Password : uploader->KeyPassphrase) =
            slot.In.Given.Secret;
        uploader->Timeout = In.Timeout;
        uploader->LocalFile = LocalFile;
        uploader->RemoteFile = given.FtpPasswdFile;
        if (Handlers.OnUnknownHostKey)
            uploader->OnUnknownHostKey = [this](const std::string& server, const std::string& key) {
                bool accepted = false;
                ToOwner([&] { accepted = Handlers.OnUnknownHostKey(server, key); });
                return accepted;
            };
        uploader->OnProgress = [this, &slot](const TUploadProgress& progress) {
            // One event per whole percent and target is all a progress display can show; the
            // workers do not wait for one another's handlers more often than that.
            const std::int64_t percent = UploadPercent(progress.Sent, progress.Size);
            if (In.PerTarget && !progress.Connecting && progress.Sent != 0 &&
                percent == slot.LastPercent)
                return;
            slot.LastPercent = progress.Connecting ? -1 : percent;
            TExportEvent event;
            event.Stage = progress.Connecting ? TExportStage::Connecting : TExportStage::Uploading;
            if (In.PerTarget) event.Target = slot.Out.Name;
            event.Server = progress.Host;
            event.Remote = progress.Remote;
            event.BytesSent = progress.Sent;
            event.BytesTotal = progress.Size;
            Event(event);
        };
        uploader->Store = [this, &slot](IUploadTransport& transport, const std::string& local,
                                        std::int64_t, const std::string& remote,
                                        TCommitGate* gate) {
            TServerFileTarget target(transport, slot.Out.Id, remote, local, gate);
            RunPhases(slot, target, &transport);
        };
        TFtpUploader* const raw = uploader.get();
        uploader->OnStatus = [this, &slot, raw](const TMessage& message, bool isError) {
            if (!isError) return;
            Report([&] {
                if (raw->Aborted())
                    slot.Out.Aborted = true;
                else if (slot.Out.Error.Empty())
                    slot.Out.Error = message;
            });
        };
        uploader->OnTerminate = [this, &slot, raw] {
            const TFtpUploader::TIdentityProblem identity = raw->IdentityProblem();
            Report([&] {
                slot.Out.Identity = identity;
                if (raw->Aborted() && raw->AbortTempKept())
                    slot.Out.Warnings.push_back(
                        Msg(texts::PartialUploadKept,
                            SafeUploadName(slot.In.Given.Target.FtpPasswdFile)));
                if (raw->Aborted() && !slot.Prepared) slot.Out.Aborted = true;
                slot.PrepareEnded = true;
                slot.CommitEnded = true;
                slot.Ended = true;
            });
        };
        {
            const std::lock_guard<std::mutex> lock(Mutex);
            slot.Uploader = std::move(uploader);
            if (Gate.Aborted()) slot.Uploader->Abort();
        }
        raw->Start();
    }

    // The private local copies the uploads send, once for all of them; an encrypted database's
    // stay in memory.
    void MakeLocalFiles() {
        const bool groups =
            In.Groups && std::any_of(Slots.begin(), Slots.end(), [](const auto& slot) {
                return slot->Kind == TKind::Server && !slot->In.GroupFile.empty();
            });
        if (In.Key != nullptr) {
            auto file = std::make_shared<const TMemoryFile>("kxv", In.Content);
            LocalFile = file->Path();
            Memory.push_back(file);
            if (groups) {
                auto group = std::make_shared<const TMemoryFile>("kxv", *In.Groups);
                GroupLocal = group->Path();
                Memory.push_back(group);
            }
            return;
        }
        // What a killed export left there holds passwords too: it goes before a new one is made.
        RemoveStaleTempFiles("kxv");
        LocalFile = GetTempFile("kxv");
        Registrations.push_back(std::make_unique<TTempFileRegistration>(LocalFile));
        WritePrivateFile(LocalFile, In.Content);
        if (groups) {
            GroupLocal = GetTempFile("kxv");
            Registrations.push_back(std::make_unique<TTempFileRegistration>(GroupLocal));
            WritePrivateFile(GroupLocal, *In.Groups);
        }
    }

    void RemoveLocalFiles() {
        for (const std::string& name : {LocalFile, GroupLocal})
            if (!name.empty() && In.Key == nullptr) ::unlink(name.c_str());
        Registrations.clear();
    }

    // Whether every slot of these kinds has passed the mark.
    bool All(bool TSlot::*mark, bool stores) const {
        for (const auto& slot : Slots)
            if ((slot->Kind == TKind::Store) == stores && !(slot.get()->*mark)) return false;
        return true;
    }

    void Decide(int step, bool& verdict, bool value) {
        {
            const std::lock_guard<std::mutex> lock(Mutex);
            verdict = value;
            Step = step;
        }
        Changed.notify_all();
    }

    void Coordinate() {
        // Prepare: at most KMaxParallelTargets at once, the next as soon as one is done.
        {
            std::unique_lock<std::mutex> lock(Mutex);
            for (;;) {
                std::size_t active = 0;
                for (const auto& slot : Slots)
                    if (slot->Started && !slot->PrepareEnded) ++active;
                TSlot* next = nullptr;
                for (const auto& slot : Slots)
                    if (!slot->Started) {
                        next = slot.get();
                        break;
                    }
                if (next != nullptr && Gate.Aborted()) {
                    // Never begun: it holds what it held.
                    next->Started = next->PrepareEnded = next->CommitEnded = next->Ended = true;
                    next->Out.Aborted = true;
                    continue;
                }
                if (next != nullptr && active < KMaxParallelTargets) {
                    lock.unlock();
                    try {
                        StartSlot(*next);
                    } catch (const std::exception& e) {
                        next->Out.Error = MessageOf(e);
                        next->Started = next->PrepareEnded = next->CommitEnded = next->Ended = true;
                    }
                    lock.lock();
                    continue;
                }
                if (next == nullptr && active == 0) break;
                Changed.wait(lock);
            }
        }
        bool prepared = true;
        for (const auto& slot : Slots)
            prepared = prepared && slot->Prepared;
        // The last moment an abort holds: from here on every target is replaced.
        const bool go = prepared && !In.Replace.DryRun && Gate.Commit();
        if (go && Handlers.OnReplacing) {
            std::vector<std::string> ids;
            for (const auto& slot : Slots)
                if (slot->Out.Check && slot->Out.Check->Current.Comparable)
                    ids.push_back(slot->Out.Id);
            ToOwner([&] { Handlers.OnReplacing(ids); });
        }
        Decide(1, Go, go);
        bool replaced = go;
        if (go) {
            {
                std::unique_lock<std::mutex> lock(Mutex);
                Changed.wait(lock, [&] { return All(&TSlot::CommitEnded, false); });
                for (const auto& slot : Slots)
                    if (slot->Kind != TKind::Store)
                        replaced = replaced && slot->Out.Holds == TTargetHolds::New;
            }
            Decide(2, StoresGo, replaced);
            if (replaced) {
                std::unique_lock<std::mutex> lock(Mutex);
                Changed.wait(lock, [&] { return All(&TSlot::CommitEnded, true); });
                for (const auto& slot : Slots)
                    replaced = replaced && slot->Out.Holds == TTargetHolds::New;
            }
        } else {
            Decide(2, StoresGo, false);
        }
        Decide(3, Revert, go && !replaced);
        {
            std::unique_lock<std::mutex> lock(Mutex);
            Changed.wait(lock,
                         [&] { return All(&TSlot::Ended, false) && All(&TSlot::Ended, true); });
        }
        for (const auto& slot : Slots) {
            if (slot->Thread.joinable()) slot->Thread.join();
            if (slot->Uploader) slot->Uploader->WaitFor();
        }
        RemoveLocalFiles();
        // Asked live, every site at once (one that does not answer must not hold up the
        // others): does it let the check user in with the new file?
        std::vector<TSlot*> checked;
        for (const auto& slot : Slots)
            if (slot->Out.Holds == TTargetHolds::New && !slot->In.Given.Target.CheckUrl.empty())
                checked.push_back(slot.get());
        for (std::size_t from = 0; from < checked.size(); from += KMaxParallelTargets)
            RunShares(std::min(KMaxParallelTargets, checked.size() - from),
                      [&](std::size_t i) { CheckSite(*checked[from + i]); });
        std::vector<TTargetOutcome> outcomes;
        for (const auto& slot : Slots)
            outcomes.push_back(slot->Out);
        if (Handlers.OnDone) ToOwner([&] { Handlers.OnDone(outcomes); });
        {
            const std::lock_guard<std::mutex> lock(DoneMutex);
            Finished = true;
        }
        DoneChanged.notify_all();
    }
};

TDeployment::TDeployment(TDeploymentInput input, std::vector<TDeploymentTarget> targets,
                         std::shared_ptr<IUiDispatcher> dispatcher, THandlers handlers) {
    auto state = std::make_shared<TState>();
    state->In = std::move(input);
    state->Dispatcher = std::move(dispatcher);
    state->Handlers = std::move(handlers);
    for (TDeploymentTarget& target : targets) {
        auto slot = std::make_unique<TSlot>();
        slot->Kind = KindOf(target.Given.Target);
        slot->Out.Name = target.Given.Target.Name;
        slot->Out.Where = TargetWhere(target.Given.Target);
        slot->Out.Id = TargetIdOf(target.Given.Target);
        slot->In = std::move(target);
        state->Slots.push_back(std::move(slot));
    }
    FState = state;
}

void TDeployment::Start() {
    TState& s = *FState;
    if (FStarted) return;
    FStarted = true;
    const bool servers = std::any_of(s.Slots.begin(), s.Slots.end(),
                                     [](const auto& slot) { return slot->Kind == TKind::Server; });
    if (servers) {
        try {
            s.MakeLocalFiles();
        } catch (...) {
            s.RemoveLocalFiles();
            throw;
        }
    }
    if (!s.In.PerTarget && !servers) {
        s.Coordinate();
        return;
    }
    FThread = std::thread([state = FState] { state->Coordinate(); });
}

const std::string& TDeployment::LocalFile() const {
    return FState->LocalFile;
}

TDeployment::~TDeployment() {
    Detach();
    if (FThread.joinable()) FThread.detach(); // it keeps its state alive and ends on its own
}

bool TDeployment::Abort() noexcept {
    TState& s = *FState;
    if (!s.Gate.Abort()) return false;
    {
        const std::lock_guard<std::mutex> lock(s.Mutex);
        for (const auto& slot : s.Slots)
            if (slot->Uploader) slot->Uploader->Abort();
    }
    s.Changed.notify_all();
    return true;
}

void TDeployment::Detach() noexcept {
    const std::lock_guard<std::recursive_mutex> lock(FState->HandlerMutex);
    FState->Detached = true;
}

bool TDeployment::Finished() const {
    const std::lock_guard<std::mutex> lock(FState->DoneMutex);
    return FState->Finished;
}

void TDeployment::WaitFor() {
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

bool TDeployment::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(FState->DoneMutex);
    return FState->DoneChanged.wait_for(lock, timeout, [&] { return FState->Finished; });
}

} // namespace quorvane
