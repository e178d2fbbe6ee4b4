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
#include "ftp/SiteCheck.h"
#include "ftp/Transport.h"
#include "job/Backups.h"
#include "job/ExportJob.h"
#include "job/JobTexts.h"
#include "job/StoreTarget.h"
#include "job/TargetKind.h"
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

TMessage MessageOf(const std::exception& e) {
    if (const auto* q = dynamic_cast<const EQuorvaneError*>(&e)) return q->Message();
    return Verbatim(e.what());
}

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

std::string TargetFileName(const TTarget& target) {
    return KindOf(target).FileName(target);
}

bool TargetTakesGroupFile(const TTarget& target) {
    return KindOf(target).TakesGroupFile();
}

std::string TargetLocalFile(const TTarget& target) {
    return KindOf(target).LocalFile(target);
}

TTargetSecret TargetSecretOf(const TTarget& target) {
    const ITargetKind* kind = FindKind(target);
    return kind != nullptr ? kind->Secret(target) : TTargetSecret();
}

std::string TargetWhere(const TTarget& target) {
    if (const ITargetKind* kind = FindKind(target)) return kind->Where(target);
    return target.Url;
}

std::string TargetIdOf(const TTarget& target) {
    return KindOf(target).Id(target);
}

std::optional<TMessage> TargetProblem(const TTarget& target) {
    if (const ITargetKind* kind = FindKind(target)) return kind->Problem(target);
    return Msg(texts::TargetKindUnknown, UrlScheme(target.Url));
}

std::string TargetPlace(const TTarget& target) {
    if (const ITargetKind* kind = FindKind(target)) return kind->Place(target);
    return {};
}

namespace {

// The index of a target clashing with target i among the earlier ones; -1 for none.
int ClashOf(const std::vector<std::string>& places, std::size_t i) {
    if (places[i].empty()) return -1;
    for (std::size_t k = 0; k < i; ++k)
        if (places[k] == places[i]) return static_cast<int>(k);
    return -1;
}

TMessage SamePlaceMessage(const TTarget& a, const TTarget& b) {
    return Msg(texts::TargetsSamePlace, a.Name, b.Name, TargetWhere(b));
}

std::vector<TTarget> TargetsOf(const std::vector<TTargetSettings>& settings) {
    std::vector<TTarget> targets;
    targets.reserve(settings.size());
    for (const TTargetSettings& s : settings)
        targets.push_back(TargetOf(s));
    return targets;
}

} // namespace

std::optional<TMessage> SamePlaceProblem(const std::vector<TTarget>& targets) {
    std::vector<std::string> places;
    places.reserve(targets.size());
    for (const TTarget& target : targets)
        places.push_back(TargetPlace(target));
    for (std::size_t i = 0; i < targets.size(); ++i)
        if (const int k = ClashOf(places, i); k >= 0)
            return SamePlaceMessage(targets[static_cast<std::size_t>(k)], targets[i]);
    return std::nullopt;
}

void CheckTargetChange(const std::vector<TTargetSettings>& beforeSettings,
                       const std::vector<TTargetSettings>& afterSettings) {
    const std::vector<TTarget> before = TargetsOf(beforeSettings);
    const std::vector<TTarget> after = TargetsOf(afterSettings);
    const auto stored = [&](const TTarget& target) -> const TTarget* {
        for (const TTarget& t : before)
            if (t.Name == target.Name) return &t;
        return nullptr;
    };
    // A new address is the kind's to judge; one as stored passes.
    for (const TTarget& target : after) {
        const TTarget* was = stored(target);
        if (was != nullptr && was->Url == target.Url) continue;
        const ITargetKind* kind = FindKind(target);
        if (kind == nullptr) continue;
        try {
            kind->CheckNew(target);
        } catch (const EQuorvaneError& e) {
            throw EQuorvaneError(Msg(texts::TargetPrefixed, target.Name, e.Message()));
        }
    }
    std::vector<std::string> places, placesBefore;
    places.reserve(after.size());
    placesBefore.reserve(after.size());
    for (const TTarget& target : after) {
        places.push_back(TargetPlace(target));
        const TTarget* was = stored(target);
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
    const ITargetKind* Kind = nullptr;
    TTargetContext Context;
    std::unique_ptr<ITargetSession> Session; // from its start
    TTargetOutcome Out;
    TTargetContent Previous; // what the target held, to put back
    bool Started = false;
    bool PrepareEnded = false, Prepared = false;
    bool CommitEnded = false;
    bool Ended = false;
    std::thread Thread;
    TTargetContent GroupPrevious; // what the group file held, to put back
    bool GroupWritten = false;
    std::string LocalCopy;         // the private local copy of its content an upload sends
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
    // The private local copies the uploads send (an encrypted database's in memory), one per
    // content, made before the workers start and removed after they all ended.
    std::string LocalFile; // the first
    std::vector<std::string> LocalFiles;
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

    // The deployment runs within Start: its owner's thread waits there for its end.
    bool Inline = false;

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

    // The database's users for a check (THandlers::OnUsersNow); none when not asked.
    TUsersNow UsersNow() {
        if (In.Known) return {In.Known, nullptr};
        TUsersNow now;
        if (!Handlers.OnUsersNow) return now;
        const auto ask = [&] { now = Handlers.OnUsersNow(); };
        if (!Inline) {
            ToOwner(ask);
            return now;
        }
        // The owner's thread waits in Start for the end and serves no dispatcher: asked here,
        // one worker at a time.
        const std::lock_guard<std::recursive_mutex> lock(HandlerMutex);
        if (Detached) return now;
        try {
            ask();
        } catch (...) {
        }
        return now;
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
        event.Server = slot.Kind->Reached(slot.In.Given.Target);
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

    // What the target held before, to compare or put back.
    const std::string& PreviousBytes(const TSlot& slot) const {
        return slot.Previous.HoldsNew ? ContentOf(slot) : slot.Previous.Bytes;
    }
    // Whether the target held the new content already.
    bool HeldContent(const TSlot& slot) const {
        return slot.Previous.Exists && slot.Previous.Comparable && !slot.Previous.Recorded &&
               PreviousBytes(slot) == ContentOf(slot);
    }
    // What the target held kept as a version before it is replaced.
    void KeepPrevious(const TSlot& slot, IExportTarget& target) const {
        const TTargetBackups backups(slot.Out.Id, In.Key);
        if (slot.Previous.Recorded)
            target.KeepRecorded(backups);
        else
            backups.Keep(slot.Previous.Bytes);
    }
    TTargetContent PreviousOf(const TSlot& slot) const {
        // Asked for only of a deployment of one target, which never puts one back.
        if (slot.Previous.Recorded) throw std::logic_error("a recorded content is not put back");
        if (!slot.Previous.HoldsNew) return slot.Previous;
        TTargetContent previous = slot.Previous;
        previous.HoldsNew = false;
        previous.Bytes = ContentOf(slot);
        return previous;
    }
    // What the target gets: its own content, or the deployment's.
    const std::string& ContentOf(const TSlot& slot) const {
        static const std::string none;
        const std::shared_ptr<const std::string>& content =
            slot.In.Content ? slot.In.Content : In.Content;
        return content ? *content : none;
    }

    void WaitStep(int step) {
        std::unique_lock<std::mutex> lock(Mutex);
        Changed.wait(lock, [&] { return Step >= step; });
    }

    // What the target now holds after its replacement failed where that is not known (a
    // server's rename may have happened even so): the old file, the new one, or neither, which
    // the old file is then put back over.
    void SettleFailedCommit(TSlot& slot, IExportTarget& target) {
        if (!target.CommitUncertain()) return;
        TTargetContent now;
        try {
            now = target.Read();
        } catch (const std::exception&) {
            slot.Out.Holds = TTargetHolds::Unknown;
            return;
        }
        if (now.Exists && now.Bytes == ContentOf(slot)) {
            slot.Out.Holds = TTargetHolds::New; // replaced after all
            slot.Out.Error = TMessage();
        } else if (now.Exists ? slot.Previous.Exists && now.Bytes == PreviousBytes(slot)
                              : !slot.Previous.Exists) {
            slot.Out.Holds = TTargetHolds::Old;
        } else {
            try {
                target.PutBack(PreviousOf(slot));
                slot.Out.Holds = TTargetHolds::Old;
            } catch (const std::exception&) {
                slot.Out.Holds = TTargetHolds::Unknown;
            }
        }
    }

    // The group file as it was, once the password file beside it is (best effort: the
    // password file decides who gets in at all); a failure is part of the target's outcome.
    void PutBackGroups(TSlot& slot, ISideFiles& side) noexcept {
        if (!slot.GroupWritten) return;
        try {
            side.Open(slot.In.GroupFile)->PutBack(slot.GroupPrevious);
            slot.GroupWritten = false;
        } catch (const std::exception& e) {
            slot.Out.GroupError = MessageOf(e);
        }
    }

    void PutBackIfReverted(TSlot& slot, IExportTarget& target, ISideFiles& side) {
        WaitStep(3);
        if (Revert && slot.Out.Holds == TTargetHolds::New) {
            try {
                target.PutBack(PreviousOf(slot));
                slot.Out.Holds = TTargetHolds::PutBack;
                PutBackGroups(slot, side);
            } catch (const std::exception& e) {
                slot.Out.Error = MessageOf(e);
            }
        }
        // The verdict is the last: what the target held is put back or never will be, and a
        // million users' file is not held while the export keeps its state.
        std::string().swap(slot.Previous.Bytes);
        std::string().swap(slot.GroupPrevious.Bytes);
    }

    void CheckSite(TSlot& slot) {
        const std::string& url = slot.In.Given.Target.Option("check-url");
        const std::string& user = slot.In.Given.Target.Option("check-user");
        StageEvent(slot, TExportStage::Checking);
        const auto password = In.CheckPasswords.find(user);
        if (password == In.CheckPasswords.end()) {
            slot.Out.CheckError = Msg(texts::TargetCheckNoPassword, user);
            return;
        }
        try {
            const TSiteCheckResult result = CheckSiteLogin(url, user, password->second, 30);
            if (result.Outcome != TSiteCheckOutcome::LetIn &&
                result.Outcome != TSiteCheckOutcome::NotProtected)
                slot.Out.CheckError = SiteCheckMessage(result, user);
        } catch (const std::exception& e) {
            slot.Out.CheckError = MessageOf(e);
        }
    }

    // What a target cannot do that it was asked to (a command where there is no shell, a mode
    // or a group where the file has none): refused before it is reached, so nothing is written
    // anywhere.
    static void CheckExtras(const TSlot& slot) {
        const TTargetExtras takes = slot.Kind->Extras(slot.In.Given.Target);
        if (slot.In.After && !takes.Command)
            throw EQuorvaneError(Msg(texts::AfterNeedsShell, slot.Out.Where));
        if ((slot.In.Mode && !takes.Mode) || (!slot.In.Group.empty() && !takes.Group))
            throw EQuorvaneError(Msg(texts::ModeOrGroupOverFtp, slot.Out.Where));
    }

    // The command after the export, once every target holds its new file, where the target's
    // file is (the session knows where).
    void RunAfter(TSlot& slot) {
        if (!slot.In.After || Revert || slot.Out.Holds != TTargetHolds::New) return;
        try {
            const TAfterResult result = slot.Session->RunAfter(*slot.In.After);
            slot.Out.After = result;
            slot.Out.AfterError = AfterFailureMessage(*slot.In.After, result);
        } catch (const std::exception& e) {
            slot.Out.AfterError = MessageOf(e);
        }
    }

    // A target's whole part, on its worker: prepare, wait for the verdict, replace or roll
    // back, wait for the last verdict, put back when told.
    void RunPhases(TSlot& slot, IExportTarget& target, ISideFiles& side) {
        const bool last = slot.Kind->ReplacedLast();
        const std::string& content = ContentOf(slot);
        bool ok = false;
        try {
            if (Gate.Aborted()) throw EUploadAborted(slot.Out.Where, false);
            const TTargetRecord* record = slot.In.Record ? &*slot.In.Record : nullptr;
            // A lone target that holds what the record names is not read whole: its bytes are
            // needed only for the version kept, which is copied from it then. With several,
            // each keeps what it held, to put back.
            if (Slots.size() == 1 && !In.Replace.DryRun && record != nullptr &&
                !slot.In.ContentSha256.empty() && record->Sha256 != slot.In.ContentSha256)
                target.ExpectRecorded(record->Sha256, record->Size);
            slot.Out.Check = CheckTarget(
                target, record, content, [this] { return UsersNow(); }, In.Replace,
                slot.In.Pending ? &*slot.In.Pending : nullptr, slot.In.ContentSha256);
            const TTargetCheck& check = *slot.Out.Check;
            // The bytes found there are kept once, to put back; the outcome keeps them too only
            // where a merge takes lines from them (users added or changed there).
            TTargetContent& found = slot.Out.Check->Current;
            slot.Previous.Exists = found.Exists;
            slot.Previous.Comparable = found.Comparable;
            slot.Previous.HoldsNew = found.HoldsNew;
            slot.Previous.Recorded = found.Recorded;
            slot.Previous.Bytes =
                check.Outside.Empty() ? std::move(found.Bytes) : std::string(found.Bytes);
            if (check.Outside.Empty()) found.Bytes.clear();
            if (check.Stops) {
                slot.Out.Stopped = true;
                slot.Out.Error = TargetChangedMessage(check);
            } else if (!In.Replace.DryRun) {
                if (!last) {
                    // What is replaced is kept first; what is replaced last keeps it then.
                    const bool same = HeldContent(slot);
                    if (slot.Previous.Exists && slot.Previous.Comparable && !same)
                        KeepPrevious(slot, target);
                    if (In.Groups && !slot.In.GroupFile.empty())
                        slot.GroupPrevious = side.Open(slot.In.GroupFile)->Read();
                    if (Gate.Aborted()) throw EUploadAborted(slot.Out.Where, false);
                    if (same)
                        target.StageHeld(content);
                    else
                        target.Stage(content);
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
        // What is replaced last is staged only once every target is ready and the owner has
        // noted what is about to be written: what its stage can make ready before, it makes
        // meanwhile.
        if (ok && last && !HeldContent(slot)) {
            try {
                target.PrepareStage(content);
            } catch (const std::exception&) {
                // Made again by the stage, whose failure is the target's.
            }
        }
        WaitStep(1);
        if (!Go) {
            if (ok && !last) target.Rollback();
            if (Gate.Aborted() && slot.Out.Error.Empty()) slot.Out.Aborted = true;
            return;
        }
        if (last) {
            WaitStep(2);
            if (!StoresGo) return;
            StageEvent(slot, TExportStage::Replacing);
            try {
                const bool same = HeldContent(slot);
                if (slot.Previous.Exists && !same) KeepPrevious(slot, target);
                if (same)
                    target.StageHeld(content);
                else
                    target.Stage(content);
                target.Commit();
                slot.Out.Holds = TTargetHolds::New;
            } catch (const std::exception& e) {
                slot.Out.Error = MessageOf(e);
                target.Rollback();
            }
            Report([&] { slot.CommitEnded = true; });
            PutBackIfReverted(slot, target, side);
            RunAfter(slot);
            return;
        }
        StageEvent(slot, TExportStage::Replacing);
        try {
            // The group file first, as for one target: a user taken out of a group never gets
            // in as a member with the new password file.
            // A group file found holding these groups already is left as it is.
            const TTargetContent& groups = slot.GroupPrevious;
            if (In.Groups && !slot.In.GroupFile.empty() &&
                !(groups.Exists && groups.Comparable && groups.Bytes == *In.Groups)) {
                const std::vector<TMessage> warnings = side.Write(slot.In.GroupFile, *In.Groups);
                slot.Out.Warnings.insert(slot.Out.Warnings.end(), warnings.begin(), warnings.end());
                slot.GroupWritten = true;
            }
            target.Commit();
            slot.Out.Holds = TTargetHolds::New;
            const std::vector<TMessage> warnings = target.Warnings();
            slot.Out.Warnings.insert(slot.Out.Warnings.end(), warnings.begin(), warnings.end());
            // What the kind does to the file once it stands there (a mode set over SFTP).
            const std::vector<TMessage> done = slot.Session->Replaced();
            slot.Out.Warnings.insert(slot.Out.Warnings.end(), done.begin(), done.end());
        } catch (const std::exception& e) {
            slot.Out.Error = MessageOf(e);
            target.Rollback();
            SettleFailedCommit(slot, target);
            if (slot.Out.Holds != TTargetHolds::New) PutBackGroups(slot, side);
        }
        Report([&] { slot.CommitEnded = true; });
        PutBackIfReverted(slot, target, side);
        RunAfter(slot);
    }

    // The target's context: its secret, the local copies, and where it reports.
    void MakeContext(TSlot& slot) {
        TTargetContext& c = slot.Context;
        c.Secret = slot.In.Given.Secret;
        c.Timeout = In.Timeout;
        c.LocalFile = slot.LocalCopy;
        c.StoreGroups = In.StoreGroups;
        c.LineEnd = In.LineEnd;
        c.Gate = &Gate;
        c.Mode = slot.In.Mode;
        c.Group = slot.In.Group;
        c.Held = slot.In.Held;
        c.HeldTarget = slot.In.HeldTarget;
        c.OnConnecting = [this, &slot] { StageEvent(slot, TExportStage::Connecting); };
        if (Handlers.OnUnknownHostKey)
            c.OnUnknownHostKey = [this, &slot](const std::string& server, const std::string& key) {
                bool accepted = false;
                ToOwner([&] {
                    accepted = Handlers.OnUnknownHostKey(slot.In.Given.Target.Name, server, key);
                });
                return accepted;
            };
        c.OnProgress = [this, &slot](const TUploadProgress& progress) {
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
    }

    void StartSlot(TSlot& slot) {
        slot.Started = true;
        CheckExtras(slot);
        MakeContext(slot);
        {
            std::unique_ptr<ITargetSession> session =
                slot.Kind->Open(slot.In.Given.Target, slot.Context);
            const std::lock_guard<std::mutex> lock(Mutex);
            slot.Session = std::move(session);
            if (Gate.Aborted()) slot.Session->Abort();
        }
        slot.Thread = std::thread([this, &slot] {
            try {
                slot.Session->Run([this, &slot](IExportTarget& target, ISideFiles& side) {
                    RunPhases(slot, target, side);
                });
            } catch (const EUploadAborted&) {
                Report([&] { slot.Out.Aborted = true; });
            } catch (const std::exception& e) {
                // Not reached or not opened: nothing was done there.
                const TMessage message = MessageOf(e);
                Report([&] {
                    if (slot.Out.Error.Empty()) slot.Out.Error = message;
                });
            }
            Report([&] {
                slot.Session->Finish(slot.Out, slot.Prepared);
                slot.PrepareEnded = true;
                slot.CommitEnded = true;
                slot.Ended = true;
            });
        });
    }

    // The private local copies the uploads send, one for each content they send; an encrypted
    // database's stay in memory.
    void MakeLocalFiles() {
        // What a killed export left there holds passwords too: it goes before a new one is made.
        if (In.Key == nullptr) RemoveStaleTempFiles("kxv");
        std::vector<std::pair<const std::string*, std::string>> made;
        for (const auto& slot : Slots) {
            if (!slot->Kind->UploadsLocalCopy()) continue;
            const std::string& content = ContentOf(*slot);
            const auto same = std::find_if(made.begin(), made.end(), [&](const auto& m) {
                return m.first == &content || *m.first == content;
            });
            if (same != made.end()) {
                slot->LocalCopy = same->second;
                continue;
            }
            std::string path;
            if (In.Key != nullptr) {
                auto file = std::make_shared<const TMemoryFile>("kxv", content);
                path = file->Path();
                Memory.push_back(file);
            } else {
                path = GetTempFile("kxv");
                Registrations.push_back(std::make_unique<TTempFileRegistration>(path));
                LocalFiles.push_back(path);
                WritePrivateFile(path, content);
            }
            made.emplace_back(&content, path);
            slot->LocalCopy = path;
            if (LocalFile.empty()) LocalFile = path;
        }
    }

    void RemoveLocalFiles() {
        for (const std::string& path : LocalFiles)
            ::unlink(path.c_str());
        Registrations.clear();
    }

    // Whether every slot of these kinds has passed the mark.
    bool All(bool TSlot::*mark, bool stores) const {
        for (const auto& slot : Slots)
            if (slot->Kind->ReplacedLast() == stores && !(slot.get()->*mark)) return false;
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
                    if (!slot->Kind->ReplacedLast())
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
        }
        RemoveLocalFiles();
        // Asked live, every site at once (one that does not answer must not hold up the
        // others): does it let the check user in with the new file?
        std::vector<TSlot*> checked;
        for (const auto& slot : Slots)
            if (slot->Out.Holds == TTargetHolds::New &&
                !slot->In.Given.Target.Option("check-url").empty())
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
        slot->Kind = &KindOf(target.Given.Target);
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
    const bool servers = std::any_of(s.Slots.begin(), s.Slots.end(), [](const auto& slot) {
        return slot->Kind->UploadsLocalCopy();
    });
    if (servers) {
        try {
            s.MakeLocalFiles();
        } catch (...) {
            s.RemoveLocalFiles();
            throw;
        }
    }
    if (!s.In.PerTarget && !servers && !s.In.OwnThread) {
        s.Inline = true;
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
            if (slot->Session) slot->Session->Abort();
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
