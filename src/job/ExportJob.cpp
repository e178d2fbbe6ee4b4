#include "job/ExportJob.h"

#include "job/JobTexts.h"
#include "job/StoreTarget.h"
#include "sitedb/SiteDbTexts.h"

#include "base/BaseTexts.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "base/FileSafety.h"
#include "base/TempFiles.h"
#include "export/Consumers.h"
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
#include <chrono>

#include <cerrno>
#include <condition_variable>
#include <exception>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <unordered_set>

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

// StartAsync's build. One thread builds; another carries its progress and its end to the
// owner through the dispatcher. The builder never waits for the owner's thread, so the owner can
// always wait for the builder (the job's destructor does), while the carrier, which may be held
// by a dispatcher that needs the owner's thread, is never waited for: it keeps this state alive
// and ends on its own.
struct TExportJob::TAsyncBuild {
    std::shared_ptr<IUiDispatcher> Dispatcher;
    TExportJob* Job = nullptr; // until Detached

    std::mutex Mutex;
    std::condition_variable Changed;
    std::optional<TExportEvent> Event; // the latest progress the owner has not had yet
    bool Ended = false;                // the builder is done: Built, or Failure
    bool Built = false;
    std::exception_ptr Failure;
    bool Handed = false; // the end has been handed to the owner (or never will be)

    // Taken on the owner's thread around each call there; Detach takes it too, so that no call
    // reaches a job being destroyed.
    std::recursive_mutex HandlerMutex;
    std::atomic<bool> Detached{false};
    bool Reported = false; // OnDone has been called (read and written on the owner's thread)

    std::thread Builder;

    void Post(const TExportEvent& event) {
        {
            const std::lock_guard<std::mutex> lock(Mutex);
            Event = event; // an event not handed over yet is superseded by this one
        }
        Changed.notify_all();
    }

    void End(bool built, std::exception_ptr failure) {
        {
            const std::lock_guard<std::mutex> lock(Mutex);
            Ended = true;
            Built = built;
            Failure = std::move(failure);
        }
        Changed.notify_all();
    }

    void Detach() noexcept {
        {
            const std::lock_guard<std::recursive_mutex> lock(HandlerMutex);
            Detached = true;
        }
        { const std::lock_guard<std::mutex> lock(Mutex); }
        Changed.notify_all();
    }

    void ToOwner(const std::function<void(TExportJob&)>& call) {
        if (Detached) return;
        Dispatcher->RunAndWait([&] {
            const std::lock_guard<std::recursive_mutex> lock(HandlerMutex);
            if (Detached) return;
            try {
                call(*Job);
            } catch (...) {
                // An owner's handler that throws has nobody above it here.
            }
        });
    }

    // The carrier: the events in their order (the latest of a burst), then the end, once.
    void Carry() {
        std::unique_lock<std::mutex> lock(Mutex);
        for (;;) {
            Changed.wait(lock, [&] { return Event || Ended || Detached; });
            if (Detached) break;
            if (Event) {
                const TExportEvent event = *std::exchange(Event, std::nullopt);
                lock.unlock();
                ToOwner([&](TExportJob& job) {
                    if (job.OnEvent) job.OnEvent(event);
                });
                lock.lock();
                continue;
            }
            lock.unlock();
            ToOwner([](TExportJob& job) { job.AsyncBuildEnded(); });
            lock.lock();
            break;
        }
        Handed = true;
        lock.unlock();
        Changed.notify_all();
    }

    bool WaitHanded(std::optional<std::chrono::milliseconds> timeout) {
        std::unique_lock<std::mutex> lock(Mutex);
        if (!timeout) {
            Changed.wait(lock, [&] { return Handed; });
            return true;
        }
        return Changed.wait_for(lock, *timeout, [&] { return Handed; });
    }
};

// The build's progress as events, its abort as the job's.
class TExportJob::TBuildProgress final : public IExportProgress {
public:
    explicit TBuildProgress(TExportJob& job) : FJob(job) {}
    void Entries(size_t done, size_t total) override {
        if (FJob.FChecking) return;
        TExportEvent event;
        event.EntriesDone = done;
        event.EntriesTotal = total;
        // Built on a thread of its own: the event goes to the owner without waiting for it.
        if (FJob.FAsync) {
            FJob.FAsync->Post(event);
            return;
        }
        if (FJob.OnEvent) FJob.OnEvent(event);
    }
    // The checks of StartAsync end at the first progress point: every check comes before it.
    bool CancelRequested() override { return FJob.FAbort || FJob.FChecking; }

private:
    TExportJob& FJob;
};

TExportJob::TExportJob(TUserList& list, TExportSettings settings,
                       std::shared_ptr<IUiDispatcher> dispatcher)
    : FList(list), FSettings(std::move(settings)), FDispatcher(std::move(dispatcher)) {}

TExportJob::~TExportJob() {
    Detach();
    if (FAsync) {
        // A build still running writes nothing: it stops at its next progress point.
        FAbort = true;
        if (FAsync->Builder.joinable()) FAsync->Builder.join();
    }
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

TRestoreTarget RestoreTargetOf(const TTargetSettings& target) {
    TRestoreTarget restore;
    restore.Target = target;
    restore.Name = TargetFileName(target);
    if (!TargetProblem(target)) restore.Id = TargetIdOf(target);
    return restore;
}

TRestoreTarget RestoreTargetOf(const TUserList& list, int index) {
    TRestoreTarget restore =
        RestoreTargetOf(SettingsOf(list.Targets.at(static_cast<std::size_t>(index))));
    restore.PerTarget = index > 0;
    return restore;
}

TTargetSettings FileTarget(const std::string& path) {
    TTargetSettings target;
    target.Name = path;
    target.ExportToFile = true;
    target.PassFile = path;
    return target;
}

void TExportJob::CheckTargets() {
    const TExportSettings& s = FSettings;
    FFiles.clear();
    if (s.Stream != nullptr) return;
    if (s.Targets.empty()) throw EQuorvaneError(Msg(texts::TargetNoFile));
    std::vector<TTarget> chosen;
    chosen.reserve(s.Targets.size());
    for (const TDeployTarget& given : s.Targets) {
        const TTarget& target = given.Target;
        // One target is the export's own: its problem needs no name.
        if (const auto problem = TargetProblem(target))
            throw EQuorvaneError(s.PerTarget ? Msg(texts::TargetPrefixed, target.Name, *problem)
                                             : *problem);
        if (const std::string local = TargetLocalFile(target); !local.empty())
            CheckExportTarget(local, s.DatabasePath);
        // A restored version goes back as it is; its mode, group and command after still hold.
        FFiles.push_back(TargetFileOf(FList, target));
        chosen.push_back(target);
    }
    if (const auto clash = SamePlaceProblem(chosen)) throw EQuorvaneError(*clash);
}

namespace {

// The users as an export found them: each login once (its first user's), with the value its line
// is checked against (the stored hash of a user known by it alone, else the password), in a few
// flat buffers: a million users cost a few allocations, not two a user.
struct TListUsers {
    TLoginSlots Logins;
    std::string Values;
    std::vector<std::size_t> Ends; // by slot: where its value ends in Values
    std::vector<bool> HashOnly;    // by slot
    std::string_view Value(std::size_t slot) const {
        const std::size_t begin = slot == 0 ? 0 : Ends[slot - 1];
        return std::string_view(Values).substr(begin, Ends[slot] - begin);
    }
};

std::shared_ptr<const TListUsers> ListUsers(const TUserList& list) {
    auto now = std::make_shared<TListUsers>();
    const auto count = static_cast<std::size_t>(list.Count());
    std::size_t loginBytes = 0, valueBytes = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& user = list.Users(i);
        loginBytes += user.Login.size();
        valueBytes += user.HashOnly() ? user.PasswordHash().size() : user.Password.size();
    }
    now->Logins.reserve(count, loginBytes);
    now->Values.reserve(valueBytes);
    now->Ends.reserve(count);
    now->HashOnly.reserve(count);
    for (int i = 0; i < list.Count(); ++i) {
        const TUserProp& user = list.Users(i);
        if (!now->Logins.Add(user.Login).second) continue; // a namesake: the first one counts
        now->Values += user.HashOnly() ? user.PasswordHash() : user.Password;
        now->Ends.push_back(now->Values.size());
        now->HashOnly.push_back(user.HashOnly());
    }
    return now;
}

// The list's users as a check takes them: their logins, and whether a line there is what the
// list holds for its login now (the hash verifies against the user's password; in plain text,
// or for a user known by its hash alone, the same value).
TUsersNow UsersNowOf(const TUserList& list, bool plain) {
    const std::shared_ptr<const TListUsers> now = ListUsers(list);
    TUsersNow users;
    users.Logins = std::shared_ptr<const TLoginSlots>(now, &now->Logins);
    users.Ours = [now, plain](const std::string& login, const std::string& value) {
        const std::size_t slot = now->Logins.Find(login);
        if (slot == TLoginSlots::KNone) return false;
        const std::string_view ours = now->Value(slot);
        if (now->HashOnly[slot] || plain) return SecretsEqual(value, ours);
        return !ours.empty() && VerifyStoredHash(ours, value);
    };
    return users;
}

} // namespace

void TExportJob::Prepare() {
    TExportSettings& s = FSettings;
    if (!s.Content) Sweep();
    CheckTargets();
    FAbort = false;
    FResult = TExportResult();
    FMemos.clear(); // a restored version is built by nobody
    FHeld.clear();
    FHeldStores.clear();
    if (s.Stream != nullptr) {
        FResult.Target = "-";
    } else if (!s.PerTarget) {
        FResult.Target = TargetFileName(s.Targets.front().Target);
    } else {
        for (const TDeployTarget& target : s.Targets)
            FResult.Target += (FResult.Target.empty() ? "" : ", ") + target.Target.Name;
    }
    FResult.DryRun = s.Replace.DryRun;

    // The users as this export builds from them (after the sweep), for the files whose last
    // build may be taken again: digested on a thread of its own while the state is read.
    const bool digest = !s.Content && !s.DatabasePath.empty() && s.Stream == nullptr;
    std::future<std::string> listDigest;
    // Names count only where a file holds them.
    const bool withNames =
        digest && ((s.Build.Consumer != nullptr && s.Build.Consumer->ReadsNames()) ||
                   std::any_of(s.Targets.begin(), s.Targets.end(),
                               [](const TDeployTarget& t) { return TargetReadsNames(t.Target); }));
    if (digest) {
        try {
            listDigest = std::async(std::launch::async,
                                    [this, withNames] { return ListDigest(FList, withNames); });
        } catch (const std::system_error&) {
            // No thread to be had: digested below.
        }
    }

    // What this database remembers of its last exports: the hashes to reuse, the records of
    // what it wrote where.
    FState = TDatabaseState(s.DatabasePath, FList.Encryption()).Load();

    // The group file is made first: a group name it cannot hold stops the export before anything
    // is written, and it is replaced before the password file, so a user taken out of a group
    // never gets in as a member with the new password file. Two spellings of one group would be
    // two groups here and one to the server, which would let the members of either in.
    if (TMessage clash = GroupClashMessage(FList); !clash.Empty())
        throw EQuorvaneError(std::move(clash));
    FGroups = BuildGroups(s.Build);
    if (s.Content) {
        FContents = {std::make_shared<const std::string>(*s.Content)};
        FContentOf.assign(s.Targets.size(), 0);
    } else {
        // The hashes of the last exports in this form and work factor (TFormHashCaches: the
        // database's own form in its part, a form given for this export or a target in its own,
        // so that it leaves the database's file and the other forms' hashes alone). The slow
        // forms' tags are made with the database's key, else with one the state keeps for a
        // form given for this export; the fast forms' with the database's key, else this
        // account's.
        FCaches = std::make_unique<TFormHashCaches>(FList, FState);
        FListDigest.clear();
        if (digest)
            FListDigest = listDigest.valid() ? listDigest.get() : ListDigest(FList, withNames);
    }
}

void TExportJob::Start() {
    if (Building()) throw std::logic_error("an export job started while its build runs");
    FAsync.reset();
    Prepare();
    if (!FSettings.Content && !BuildContents()) {
        FResult.Aborted = true;
        Done();
        return;
    }
    Deliver();
}

void TExportJob::StartAsync() {
    if (Building()) throw std::logic_error("an export job started while its build runs");
    FAsync.reset();
    Prepare();
    if (!FSettings.Content) {
        // Every file's checks, here, before anything runs: the build stops at the first progress
        // point of each file, which comes after all of its checks.
        FChecking = true;
        try {
            BuildContents();
        } catch (...) {
            FChecking = false;
            throw;
        }
        FChecking = false;
    }
    auto async = std::make_shared<TAsyncBuild>();
    async->Dispatcher = FDispatcher;
    async->Job = this;
    FAsync = async;
    FBuilding = true;
    if (FSettings.Content) {
        async->End(true, nullptr); // nothing to build: a restored version goes out as it is
    } else {
        async->Builder = std::thread([this, async] {
            bool built = false;
            std::exception_ptr failure;
            try {
                built = BuildContents();
            } catch (...) {
                failure = std::current_exception();
            }
            async->End(built, std::move(failure));
        });
    }
    // Never waited for (see TAsyncBuild); it holds the state until it ends.
    std::thread([async] { async->Carry(); }).detach();
}

bool TExportJob::Building() const {
    return FBuilding;
}

void TExportJob::AsyncBuildEnded() {
    const std::shared_ptr<TAsyncBuild> async = FAsync;
    FBuilding = false;
    if (async->Builder.joinable()) async->Builder.join();
    bool built = false;
    std::exception_ptr failure;
    {
        const std::lock_guard<std::mutex> lock(async->Mutex);
        built = async->Built;
        failure = async->Failure;
    }
    TMessage error;
    try {
        if (failure) std::rethrow_exception(failure);
        if (!built) {
            FResult.Aborted = true;
            Done();
            return;
        }
        Deliver();
        return;
    } catch (const EQuorvaneError& e) {
        // Raised by the owner's OnDone: the job may be gone.
        if (async->Reported) throw;
        error = e.Message();
    } catch (const std::exception& e) {
        if (async->Reported) throw;
        error = Msg(texts::ExportFailed, Verbatim(e.what()));
    }
    // What a synchronous Start raises after its checks (a write that failed, a target's own
    // file that cannot be made) ends this export as a failure.
    FDeploying = false;
    FResult.Done = false;
    FResult.Error = error;
    if (OnError) OnError(error);
    Done();
}

void TExportJob::Deliver() {
    TExportSettings& s = FSettings;
    if (!s.Content) Finish(FReport);
    if (s.Stream != nullptr) {
        // A stream is a sink: written as it is, never compared nor kept.
        if (!FResult.DryRun) {
            *s.Stream << *FContents.front() << std::flush;
            if (!*s.Stream) throw EQuorvaneError(Msg(texts::StreamWriteError));
            RememberExport(std::string(), std::nullopt);
            FResult.Done = true;
        }
        Done();
        return;
    }
    // Abort asked for after the last progress point: built all the same, written nowhere.
    if (FAbort) {
        FResult.Aborted = true;
        Done();
        return;
    }
    StartDeployment();
}

TPasswordFileOptions TExportJob::OwnOptions(std::size_t i) const {
    const TExportSettings& s = FSettings;
    const TTargetFile& f = FFiles[i];
    TPasswordFileOptions o = s.Build;
    if (f.Consumer != nullptr) {
        // Its program's form unless it names one.
        o.Consumer = f.Consumer;
        o.Form = f.Form;
        o.SchemeParam.reset();
    } else if (f.Form != nullptr) {
        o.Form = f.Form;
        o.SchemeParam.reset();
    }
    if (o.Consumer == nullptr && o.Form == nullptr) o.Form = &SchemeOf(s.PassType);
    if (f.SchemeParam) o.SchemeParam = f.SchemeParam;
    if (!f.Realm.empty()) o.Realm = f.Realm;
    if (f.UnixLineEnds) o.UnixLineEnds = f.UnixLineEnds;
    // A file that names its list (HAProxy's userlist, ...) names it after the target.
    if (o.Consumer != nullptr && !o.Consumer->DefaultListName.empty() && o.ListName.empty())
        o.ListName = s.Targets[i].Target.Name;
    o.Cache = nullptr;
    return o;
}

namespace {

// What goes into the digest of a file's inputs before its options: a file built by another
// version may differ, however alike the rest.
constexpr std::string_view KBuiltHead = "quorvane built file 3\n" QUORVANE_VERSION "\n";

TFileIdentity IdentityOf(const struct stat& st) {
    TFileIdentity id;
    id.Exists = true;
    id.Device = static_cast<std::uint64_t>(st.st_dev);
    id.Inode = static_cast<std::uint64_t>(st.st_ino);
    id.Size = static_cast<std::int64_t>(st.st_size);
    id.ModifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

// The bytes of the regular file at path when it holds exactly size bytes, and the file as it
// was while they were read (the same before and after); none otherwise (a pipe or a device, a
// file that cannot be read, one changed while it was read).
std::optional<std::pair<std::string, TFileIdentity>> ReadWhole(const std::string& path,
                                                               std::int64_t size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat before {
    }, after{};
    std::string bytes;
    const bool read = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode) &&
                      before.st_size == size &&
                      ReadToEnd(fd, static_cast<std::size_t>(size), bytes) == TReadEnd::Whole &&
                      ::fstat(fd, &after) == 0;
    ::close(fd);
    if (!read || bytes.size() != static_cast<std::size_t>(size)) return std::nullopt;
    const TFileIdentity identity = IdentityOf(before);
    if (IdentityOf(after) != identity) return std::nullopt;
    return std::pair{std::move(bytes), identity};
}

} // namespace

TExportJob::TContentMemo TExportJob::MemoOf(const std::string& key, const TPasswordFileOptions& o,
                                            bool own) {
    const TExportSettings& s = FSettings;
    TContentMemo memo;
    // Only a file built from this database's users with the hashes its state keeps: a cache
    // given from outside lives no longer than this export.
    memo.Usable = !FListDigest.empty() && FCaches != nullptr && !(own && o.Cache != nullptr);
    if (!memo.Usable) return memo;
    const TConsumer& reader = o.Consumer != nullptr ? *o.Consumer : HtpasswdConsumer();
    memo.Form = own ? (o.Form != nullptr ? o.Form : &SchemeOf(s.PassType))
                    : (o.Form != nullptr ? o.Form : &reader.DefaultForm(FList));
    memo.Param = o.SchemeParam.value_or(FormParam(FList, *memo.Form));
    // Every option the builders read.
    std::string options = own ? "own\n" : "target\n" + key + '\n';
    options += std::string(o.Consumer != nullptr ? o.Consumer->Name : "") + '\n' +
               std::string(memo.Form->StoredName) + '\n' + std::string(memo.Form->CliName) + '\n' +
               std::to_string(memo.Param) + '\n' + std::to_string(static_cast<int>(s.PassType)) +
               '\n' + o.Realm + '\n' + std::string(PasswordFileLineEnd(FList, o)) + '\n' +
               o.ListName + '\n' + (o.WithDisabled ? "1" : "0") +
               (o.AllowEmptyPasswords ? "1" : "0") + '\n';
    memo.Key = Sha256Hex(options);
    memo.Inputs = std::string(KBuiltHead) + FListDigest + '\n' + options;
    return memo;
}

std::optional<std::string> TExportJob::TakeBuilt(std::size_t k, TContentMemo& memo) {
    if (!memo.Usable) return std::nullopt;
    // Before anything else: it is what the build would have been given.
    memo.CacheIdentity = FCaches->Identity(*memo.Form, memo.Param);
    const auto found = FState.Built.find(memo.Key);
    if (found == FState.Built.end()) return std::nullopt;
    const TBuiltFile& built = found->second;
    if (built.Inputs != Sha256Hex(memo.Inputs + memo.CacheIdentity)) return std::nullopt;
    // Every target that takes it holds exactly what this database last wrote there, which is
    // the file built: read here, as a build would not need to.
    const TExportSettings& s = FSettings;
    std::optional<std::string> text;
    std::vector<std::pair<std::size_t, TFileIdentity>> held;
    std::vector<std::pair<std::size_t, std::shared_ptr<TStoreTarget>>> heldStores;
    for (std::size_t i = 0; i < FContentOf.size(); ++i) {
        if (FContentOf[i] != k) continue;
        const TTarget& target = s.Targets[i].Target;
        const auto record = FState.Targets.find(TargetIdOf(target));
        if (record == FState.Targets.end() || record->second.Sha256 != built.Sha256 ||
            record->second.Size != built.Size)
            return std::nullopt;
        if (auto store = HeldStore(i, built.Sha256)) {
            if (!text) text = std::move(store->second);
            heldStores.emplace_back(i, std::move(store->first));
            continue;
        }
        const std::string local = TargetLocalFile(target);
        if (local.empty()) return std::nullopt;
        auto there = ReadWhole(local, built.Size);
        if (!there || Sha256Hex(there->first) != built.Sha256) return std::nullopt;
        held.emplace_back(i, there->second);
        if (!text) text = std::move(there->first);
    }
    if (!text) return std::nullopt;
    TPasswordFileReport report;
    report.Written = built.Written;
    report.CommentLogins = built.CommentLogins;
    for (const auto& [places, users] : {std::pair{&built.LeftOut, &report.LeftOut},
                                        std::pair{&built.WeakUsers, &report.WeakUsers}}) {
        for (const std::uint32_t place : *places) {
            if (place >= static_cast<std::uint32_t>(FList.Count())) return std::nullopt;
            users->push_back(&FList.Users(static_cast<int>(place)));
        }
    }
    if (k == 0) FReport = std::move(report);
    FResult.Stats.Reused += built.Reused;
    FResult.Stats.Rehashed += built.Rehashed;
    memo.Skipped = true;
    // Each of them holds it: the deployment need not read them again while they are so.
    for (const auto& [i, identity] : held)
        FHeld[i] = identity;
    for (auto& [i, store] : heldStores)
        FHeldStores[i] = std::move(store);
    return text;
}

std::optional<std::pair<std::shared_ptr<TStoreTarget>, std::string>>
TExportJob::HeldStore(std::size_t i, const std::string& sha256) {
    const TDeployTarget& given = FSettings.Targets[i];
    const TTargetSettings settings = SettingsOf(given.Target);
    // The checks before an export in the background run on the owner's thread, which waits for
    // no server.
    if (settings.StoreUrl.empty() || FChecking) return std::nullopt;
    // Whatever keeps the store from answering here is the deployment's to report: the file is
    // built then, as it would be without the store's answer.
    try {
        const std::optional<TStoreSettings> store = TargetStore(settings, given.Secret);
        if (!store) return std::nullopt;
        if (!FStoreGroups) FStoreGroups = StoreGroups(FList);
        auto target = std::make_shared<TStoreTarget>(
            *store, *FStoreGroups, std::string(PasswordFileLineEnd(FList, FSettings.Build)));
        TTargetContent there = target->Read();
        if (!there.Exists || Sha256Hex(there.Bytes) != sha256) return std::nullopt;
        target->ExpectHeld();
        return std::pair{std::move(target), std::move(there.Bytes)};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void TExportJob::NoteBuilt(TContentMemo& memo, const std::string& text,
                           const TPasswordFileReport& report, const TPasswordFileStats& stats,
                           bool warned) {
    // Only a file that the same inputs build again byte for byte, with what a build of it
    // would say then: nothing said of it that is not kept here (warnings, namesakes).
    memo.Keep = memo.Usable && !warned && report.Namesakes.empty();
    if (!memo.Keep) return;
    TBuiltFile& built = memo.Outcome;
    built = TBuiltFile();
    const bool keepsNone = memo.Form->StoresClearText() || memo.Form->HashForUser != nullptr;
    const THashCache* cache = keepsNone ? nullptr : FCaches->For(*memo.Form, memo.Param);
    if (keepsNone) {
        // Made from the users alone.
    } else if (cache != nullptr && cache->Keyed()) {
        // Every hash of this build is in the cache with its tag now: the next build finds them
        // all, and hashes none.
        built.Reused = stats.Reused + stats.Hashed;
    } else if (cache != nullptr && !memo.Form->Keyed && stats.Hashed == 0) {
        // Checked by hashing again with the remembered salt, as the next build does too.
        built.Reused = stats.Reused;
        built.Rehashed = stats.Rehashed;
    } else {
        // Fresh salts every time.
        memo.Keep = false;
        return;
    }
    built.Sha256 = Sha256Hex(text);
    built.Size = static_cast<std::int64_t>(text.size());
    built.Written = report.Written;
    built.CommentLogins = report.CommentLogins;
    for (const auto& [users, places] : {std::pair{&report.LeftOut, &built.LeftOut},
                                        std::pair{&report.WeakUsers, &built.WeakUsers}}) {
        places->reserve(users->size());
        for (const TUserProp* user : *users) {
            const int place = FList.IndexOf(user);
            if (place < 0) {
                memo.Keep = false;
                return;
            }
            places->push_back(static_cast<std::uint32_t>(place));
        }
    }
}

bool TExportJob::BuildContents() {
    const TExportSettings& s = FSettings;
    TBuildProgress progress(*this);
    // Each distinct file once: the export's own for the targets that ask nothing else, then one
    // for each (program, form, work factor, realm, line ends, list name) the targets ask for.
    std::vector<std::string> keys;
    std::vector<std::size_t> firstOf;
    const std::size_t n = s.Stream != nullptr ? 0 : s.Targets.size();
    FContentOf.assign(n, 0);
    const auto keyOf = [&](std::size_t i) -> std::string {
        if (i >= n || !FFiles[i].OwnFile()) return {};
        const TPasswordFileOptions o = OwnOptions(i);
        const TConsumer& reader = o.Consumer != nullptr ? *o.Consumer : HtpasswdConsumer();
        const THashScheme& form = o.Form != nullptr ? *o.Form : reader.DefaultForm(FList);
        return std::string(reader.Name) + '\n' + std::string(form.CliName) + '\n' +
               std::to_string(o.SchemeParam.value_or(FormParam(FList, form))) + '\n' + o.Realm +
               '\n' + std::string(PasswordFileLineEnd(FList, o)) + '\n' + o.ListName;
    };
    for (std::size_t i = 0; i < std::max<std::size_t>(n, 1); ++i) {
        const std::string key = keyOf(i);
        const auto found = std::find(keys.begin(), keys.end(), key);
        if (i < n) FContentOf[i] = static_cast<std::size_t>(found - keys.begin());
        if (found != keys.end()) continue;
        keys.push_back(key);
        firstOf.push_back(i);
    }
    FContents.clear();
    FHeld.assign(n, std::nullopt);
    FHeldStores.assign(n, nullptr);
    FStoreGroups.reset();
    FMemos.assign(keys.size(), TContentMemo());
    std::vector<TMessage>* const warnings = s.Build.Warnings;
    // Built: the hashes read from the state have done their part. The state is read again when
    // it is updated. The last file's entries hold none of them, so its text is made without.
    const auto settle = [this] {
        FCaches->Settle();
        FState.Hashes = THashTable();
        FState.FormHashes.clear();
    };
    const auto settleAfter = [&](std::size_t k) -> std::function<void()> {
        if (FChecking || FCaches == nullptr || k + 1 != keys.size()) return {};
        return settle;
    };
    for (std::size_t k = 0; k < keys.size(); ++k) {
        TContentMemo& memo = FMemos[k];
        memo = MemoOf(keys[k], keys[k].empty() ? s.Build : OwnOptions(firstOf[k]), keys[k].empty());
        if (std::optional<std::string> taken = TakeBuilt(k, memo)) {
            FContents.push_back(std::make_shared<const std::string>(std::move(*taken)));
            continue;
        }
        const std::size_t warned = warnings != nullptr ? warnings->size() : 0;
        TPasswordFileReport scratch;
        TPasswordFileStats stats;
        std::optional<std::string> text;
        if (keys[k].empty()) {
            TPasswordFileOptions options = s.Build;
            options.Progress = &progress;
            options.Report = k == 0 ? &FReport : &scratch;
            options.Stats = &stats;
            options.EntriesBuilt = settleAfter(k);
            if (!s.DatabasePath.empty() && !options.Cache) {
                const THashScheme& form = options.Form ? *options.Form : SchemeOf(s.PassType);
                options.Cache =
                    FCaches->For(form, options.SchemeParam.value_or(FormParam(FList, form)));
            }
            text = BuildPasswordFile(FList, s.PassType, options);
        } else {
            TPasswordFileOptions options = OwnOptions(firstOf[k]);
            options.Progress = &progress;
            options.Report = k == 0 ? &FReport : &scratch;
            options.Stats = &stats;
            options.EntriesBuilt = settleAfter(k);
            const TConsumer& reader =
                options.Consumer != nullptr ? *options.Consumer : HtpasswdConsumer();
            try {
                text = BuildConsumerFile(FList, reader, options, *FCaches);
            } catch (const EQuorvaneError& e) {
                // Named by its target: the others may be fine.
                throw EQuorvaneError(
                    Msg(texts::TargetPrefixed, s.Targets[firstOf[k]].Target.Name, e.Message()));
            }
        }
        if (!text && FChecking) continue; // checked: the next file's checks
        if (!text) return false;
        FResult.Stats.Reused += stats.Reused;
        FResult.Stats.Hashed += stats.Hashed;
        FResult.Stats.Rehashed += stats.Rehashed;
        NoteBuilt(memo, *text, k == 0 ? FReport : scratch, stats,
                  warnings != nullptr && warnings->size() != warned);
        FContents.push_back(std::make_shared<const std::string>(std::move(*text)));
    }
    if (!FChecking && FCaches != nullptr) settle();
    return true;
}

void TExportJob::Done() {
    if (FAsync) FAsync->Reported = true;
    // The handler may destroy this job: nothing of it is touched after the call.
    const auto done = OnDone;
    const TExportResult result = FResult;
    if (done) done(result);
}

void TExportJob::RememberExport(std::vector<std::pair<std::string, TTargetRecord>> records,
                                const std::vector<std::size_t>& delivered) {
    if (FSettings.DatabasePath.empty()) return;
    // What the store holds already is not written again: an unchanged export writes nothing.
    const bool hashes = !FSettings.Content && FCaches && FCaches->Changed();
    const bool newRecord = std::any_of(records.begin(), records.end(), [&](const auto& r) {
        const auto found = FState.Targets.find(r.first);
        return found == FState.Targets.end() || found->second.Sha256 != r.second.Sha256 ||
               found->second.Size != r.second.Size;
    });
    // The files built that a target now holds, to be taken next time when nothing changed:
    // their inputs' digest with their hash cache as the state will keep it.
    std::vector<std::size_t> kept;
    bool newBuilt = false;
    for (const std::size_t k : delivered) {
        if (k >= FMemos.size() || !FMemos[k].Keep) continue;
        kept.push_back(k);
        TBuiltFile built = FMemos[k].Outcome;
        built.Inputs = Sha256Hex(FMemos[k].Inputs + FMemos[k].CacheIdentity);
        const auto found = FState.Built.find(FMemos[k].Key);
        newBuilt = newBuilt || found == FState.Built.end() || !(found->second == built);
    }
    if (!hashes && !newRecord && !newBuilt && FPendingIds.empty() && !FState.Older) return;
    const std::vector<std::string> pending = std::exchange(FPendingIds, {});
    // Not kept costs time, or one question, at the next export: said, not failed.
    if (!TDatabaseState(FSettings.DatabasePath, FList.Encryption())
             .Update([&](TDatabaseStateData& data) {
                 if (hashes) FCaches->Store(data);
                 for (auto& [id, record] : records)
                     data.Targets[id] = std::move(record);
                 for (const std::string& id : pending)
                     data.Pending.erase(id);
                 for (const std::size_t k : kept) {
                     const TContentMemo& memo = FMemos[k];
                     const std::string identity = FCaches->IdentityIn(data, *memo.Form, memo.Param);
                     // Hashes another export put there meanwhile were not this build's.
                     if (!hashes && identity != memo.CacheIdentity) {
                         data.Built.erase(memo.Key);
                         continue;
                     }
                     TBuiltFile& built = data.Built[memo.Key] = memo.Outcome;
                     built.Inputs = Sha256Hex(memo.Inputs + identity);
                 }
                 // A file that no target's record names is never taken again.
                 std::unordered_set<std::string> held;
                 for (const auto& [id, record] : data.Targets)
                     held.insert(record.Sha256);
                 std::erase_if(data.Built, [&](const auto& built) {
                     return held.count(built.second.Sha256) == 0;
                 });
             }))
        StateNotKept();
}

void TExportJob::NotePending(const std::vector<std::string>& targetIds) {
    if (FSettings.DatabasePath.empty() || FSettings.Replace.DryRun || targetIds.empty()) return;
    // A target whose record holds this content already is known as this database's when it is
    // found holding it: no note for it.
    std::vector<std::pair<std::string, std::size_t>> due; // target, its content
    for (const std::string& id : targetIds) {
        const auto content = FContentById.find(id);
        if (content == FContentById.end()) continue;
        const auto found = FState.Targets.find(id);
        if (found != FState.Targets.end() && found->second.Sha256 == ContentSha256(content->second))
            continue;
        due.emplace_back(id, content->second);
    }
    if (due.empty()) return;
    // Each content's record goes into the note itself and comes back once the note is written:
    // a million users' record is not copied for it.
    std::vector<std::pair<std::string, TTargetRecord>> notes = RecordsOf(due);
    const auto takeBack = [&](auto&& recordOf) {
        for (std::size_t i = 0; i < due.size(); ++i) {
            const std::size_t k = due[i].second;
            const bool last = std::none_of(due.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                           due.end(), [k](const auto& d) { return d.second == k; });
            if (last) FRecords[k].Record = std::move(recordOf(i));
        }
    };
    bool noted = false;
    const bool kept = TDatabaseState(FSettings.DatabasePath, FList.Encryption())
                          .Update(
                              [&](TDatabaseStateData& data) {
                                  for (auto& [id, record] : notes)
                                      data.Pending[id] = std::move(record);
                                  noted = true;
                              },
                              [&](TDatabaseStateData& data) {
                                  takeBack([&](std::size_t i) -> TTargetRecord& {
                                      return data.Pending[notes[i].first];
                                  });
                              });
    if (!noted) takeBack([&](std::size_t i) -> TTargetRecord& { return notes[i].second; });
    if (!kept) {
        StateNotKept();
        return;
    }
    for (const auto& note : notes)
        FPendingIds.push_back(note.first);
}

std::vector<std::pair<std::string, TTargetRecord>>
TExportJob::RecordsOf(const std::vector<std::pair<std::string, std::size_t>>& due) {
    // Targets with one content share one record, made once and copied only for the others: the
    // last one takes it. A million users' record is not held three times.
    const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
    std::vector<std::pair<std::string, TTargetRecord>> records;
    for (std::size_t i = 0; i < due.size(); ++i) {
        const std::size_t k = due[i].second;
        if (FRecords.size() < FContents.size()) FRecords.resize(FContents.size());
        TMadeRecord& made = FRecords[k];
        if (made.Making.valid()) made.Record = made.Making.get();
        if (!made.Record) made.Record = RecordOf(*FContents[k], ContentSha256(k));
        made.Record->Time = now; // when it is taken, as a record made here would be
        const bool last = std::none_of(due.begin() + static_cast<std::ptrdiff_t>(i) + 1, due.end(),
                                       [k](const auto& d) { return d.second == k; });
        if (last) {
            records.emplace_back(due[i].first, std::move(*made.Record));
            made.Record.reset();
        } else {
            records.emplace_back(due[i].first, *made.Record);
        }
    }
    return records;
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
    const bool fileRead =
        s.Stream != nullptr ||
        std::any_of(s.Targets.begin(), s.Targets.end(),
                    [](const TDeployTarget& t) { return TargetTakesGroupFile(t.Target); });
    if (fileRead) FResult.CommentLogins = report.CommentLogins;
    FResult.Namesakes = report.Namesakes;
    for (const TUserProp* user : report.LeftOut)
        ++(FExpired.count(user) ? FResult.Expired : FResult.Disabled);
    FResult.WeakUsers = report.WeakUsers;
}

std::optional<std::string> TExportJob::BuildGroups(const TPasswordFileOptions& options) {
    const TExportSettings& s = FSettings;
    FResult.GroupFile.clear();
    FGroupFiles.assign(s.Targets.size(), std::string());
    // Standard output holds the password file alone; a program other than the web servers
    // reads its groups from its own file, or none.
    if (s.Stream != nullptr) return std::nullopt;
    const bool groups = AnyUserHasGroups(FList) || !FList.GroupFile.empty();
    bool due = false;
    for (std::size_t i = 0; i < s.Targets.size(); ++i) {
        const TTarget& t = s.Targets[i].Target;
        // A store keeps the groups with its users; a program other than the web servers reads
        // them from its own file, or none.
        if (!TargetTakesGroupFile(t)) continue;
        const TConsumer* reader = FFiles[i].Consumer ? FFiles[i].Consumer : s.Build.Consumer;
        if (reader != nullptr && !reader->GroupFileBeside) continue;
        std::string name = GroupFileName(FList, TargetFileName(t));
        const std::string local = TargetLocalFile(t);
        // Without groups a local file's group file that is there already is written all the
        // same: left as it was, it would keep letting in users that are no longer members.
        if (!groups && !(!local.empty() && ::access(name.c_str(), F_OK) == 0)) continue;
        if (!local.empty()) {
            CheckExportTarget(name, s.DatabasePath);
            if (name == local) throw EQuorvaneError(Msg(texts::GroupFileIsPasswordFile));
        }
        FGroupFiles[i] = std::move(name);
        due = true;
    }
    if (!due) return std::nullopt;
    std::string text =
        BuildGroupFile(PasswordFileEntries(FList), PasswordFileLineEnd(FList, options));
    if (!s.PerTarget) FResult.GroupFile = FGroupFiles.front();
    FResult.Groups = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    return text;
}

const std::string& TExportJob::ContentSha256(std::size_t k) const {
    return FContentSha256.at(k);
}

void TExportJob::StartDeployment() {
    const TExportSettings& s = FSettings;
    TDeploymentInput input;
    input.Content = FContents.front(); // shared: nothing changes it any more
    FContentById.clear();
    // The digest of each file, made here once: a file taken from the last build or noted for
    // the next has it already.
    FContentSha256.assign(FContents.size(), std::string());
    for (std::size_t k = 0; k < FContents.size(); ++k) {
        const bool memo = k < FMemos.size();
        FContentSha256[k] = memo && FMemos[k].Skipped ? FState.Built.at(FMemos[k].Key).Sha256
                            : memo && FMemos[k].Keep  ? FMemos[k].Outcome.Sha256
                                                      : Sha256Hex(*FContents[k]);
    }
    // The record of each content a target's record does not name yet (the pending note, then
    // the state, take it) is made on a thread of its own while the targets are read and
    // checked: it depends on the content alone.
    FRecords.clear();
    FRecords.resize(FContents.size());
    if (!s.DatabasePath.empty() && !s.Replace.DryRun) {
        std::vector<bool> due(FContents.size(), false);
        for (std::size_t i = 0; i < s.Targets.size(); ++i) {
            const std::size_t k = FContentOf[i];
            const auto found = FState.Targets.find(TargetIdOf(s.Targets[i].Target));
            due[k] = due[k] || found == FState.Targets.end() ||
                     found->second.Sha256 != FContentSha256[k] ||
                     found->second.Size != static_cast<std::int64_t>(FContents[k]->size());
        }
        for (std::size_t k = 0; k < FContents.size(); ++k) {
            if (!due[k]) continue;
            try {
                FRecords[k].Making = std::async(
                    std::launch::async, [content = FContents[k], sha256 = FContentSha256[k]] {
                        return RecordOf(*content, sha256);
                    });
            } catch (const std::system_error&) {
                // No thread to be had: made when it is asked for.
            }
        }
    }
    input.Groups = FGroups;
    input.LineEnd = std::string(PasswordFileLineEnd(FList, s.Build));
    input.StoreGroups = FStoreGroups ? std::move(*FStoreGroups) : StoreGroups(FList);
    FStoreGroups.reset();
    input.Replace = s.Replace;
    // The users as they are now: a line there that they account for is no change made there,
    // and without a record the logins decide which users there are someone else's. Only a
    // check that finds a target holding neither what its record says nor the new content
    // needs them; a target that holds what was recorded (the usual case) never does. They are
    // taken when a check asks, on this thread (OnUsersNow), while the owner keeps the list as
    // it is. A background export's owner runs meanwhile: there they are taken now, and only
    // where a target may hold what this export has not just seen: not one whose file was
    // taken from the last build (found holding exactly what its record says a moment ago), nor
    // a local file that is not there. One changed or made meanwhile is then compared without
    // them: a line there that only matches the users now still counts as changed there, and a
    // file made there holds users this database does not know. Never wrongly replaced, at most
    // asked about once more.
    const bool plain = s.PassType == TPasswordsType::ptPlainText;
    FUsersNow.reset();
    bool needUsers = false;
    for (std::size_t i = 0; FAsync && i < s.Targets.size() && !needUsers; ++i) {
        if (i < FHeld.size() && FHeld[i]) continue;
        const std::string local = TargetLocalFile(s.Targets[i].Target);
        struct stat st {};
        if (!local.empty() && ::lstat(local.c_str(), &st) != 0 && errno == ENOENT) continue;
        needUsers = true;
    }
    if (needUsers) {
        TUsersNow now = UsersNowOf(FList, plain);
        input.Known = std::move(now.Logins);
        if (!input.Replace.Ours) input.Replace.Ours = std::move(now.Ours);
    }
    input.Key = FList.Encryption();
    input.Timeout = s.Timeout;
    input.PerTarget = s.PerTarget;
    input.OwnThread = FAsync != nullptr; // the owner's thread waits for nothing after StartAsync
    std::vector<TDeploymentTarget> targets;
    for (std::size_t i = 0; i < s.Targets.size(); ++i) {
        const TTarget& t = s.Targets[i].Target;
        TDeploymentTarget target;
        target.Given = s.Targets[i];
        target.GroupFile = FGroupFiles[i];
        if (FContentOf[i] != 0) target.Content = FContents[FContentOf[i]];
        target.ContentSha256 = FContentSha256[FContentOf[i]];
        const TTargetFile& file = FFiles[i];
        target.Mode = file.Mode;
        target.Group = file.Group;
        target.After = file.After;
        if (i < FHeld.size()) target.Held = FHeld[i];
        if (i < FHeldStores.size()) target.HeldTarget = std::move(FHeldStores[i]);
        const std::string id = TargetIdOf(t);
        FContentById[id] = FContentOf[i];
        const auto found = FState.Targets.find(id);
        if (found != FState.Targets.end()) target.Record = found->second;
        const auto pending = FState.Pending.find(id);
        if (pending != FState.Pending.end()) target.Pending = pending->second;
        if (const std::string& checkUser = t.Option("check-user"); !checkUser.empty()) {
            for (int k = 0; k < FList.Count(); ++k) {
                const TUserProp& user = FList.Users(k);
                if (user.Login == checkUser && !user.HashOnly() && !user.Password.empty())
                    input.CheckPasswords[user.Login] = user.Password;
            }
        }
        targets.push_back(std::move(target));
    }
    // A deployment that ends within its Start (one local file or store) ends the export after
    // it, here, where its failure can still be raised.
    // With a dispatcher that runs handlers on the deployment's thread, its end may come while
    // Start is still returning: the gate decides, under its lock, who reports it.
    struct TStartGate {
        std::mutex Lock;
        bool Starting = true;
        std::optional<std::vector<TTargetOutcome>> Ended;
    };
    auto gate = std::make_shared<TStartGate>();
    TDeployment::THandlers handlers;
    handlers.OnEvent = [this](const TExportEvent& event) {
        if (OnEvent) OnEvent(event);
    };
    handlers.OnUnknownHostKey = s.OnUnknownHostKey;
    handlers.OnReplacing = [this](const std::vector<std::string>& ids) { NotePending(ids); };
    if (!FAsync)
        handlers.OnUsersNow = [this, plain] {
            if (!FUsersNow) FUsersNow = UsersNowOf(FList, plain);
            return *FUsersNow;
        };
    handlers.OnDone = [this, gate](const std::vector<TTargetOutcome>& outcomes) {
        {
            const std::lock_guard<std::mutex> lock(gate->Lock);
            if (gate->Starting) {
                gate->Ended = outcomes;
                return;
            }
        }
        DeploymentEnded(outcomes);
    };
    // Set before the workers start: a handler of theirs may ask it to abort.
    FDeployment = std::make_shared<TDeployment>(std::move(input), std::move(targets), FDispatcher,
                                                std::move(handlers));
    FDeploying = true;
    FDeployment->Start();
    std::optional<std::vector<TTargetOutcome>> ended;
    {
        const std::lock_guard<std::mutex> lock(gate->Lock);
        gate->Starting = false;
        ended = std::move(gate->Ended);
    }
    if (!ended) return;
    const std::vector<TTargetOutcome> outcomes = std::move(*ended);
    if (!s.PerTarget && outcomes.size() == 1) {
        // As a local write always did: its failure is raised, nothing is reported done.
        const TTargetOutcome& o = outcomes.front();
        if (!o.Aborted && !o.Stopped && !o.Error.Empty()) {
            FDeploying = false;
            throw EQuorvaneError(o.Error);
        }
    }
    DeploymentEnded(outcomes); // last: the owner's handler may destroy this job
}

void TExportJob::DeploymentEnded(const std::vector<TTargetOutcome>& outcomes) {
    FDeploying = false;
    bool all = !outcomes.empty(), replaced = false, aborted = false, stopped = false;
    for (const TTargetOutcome& o : outcomes) {
        all = all && o.Succeeded();
        replaced = replaced || o.Holds != TTargetHolds::Old;
        aborted = aborted || o.Aborted;
        if (o.Stopped && !stopped) FResult.Check = o.Check;
        stopped = stopped || o.Stopped;
        if (FResult.Identity.Fingerprint.empty() && FResult.Identity.PublicKeyPin.empty())
            FResult.Identity = o.Identity;
        FResult.Warnings.insert(FResult.Warnings.end(), o.Warnings.begin(), o.Warnings.end());
    }
    FResult.Aborted = aborted && !replaced;
    // A dry run of one target only compares: what it found is its Check, nothing stopped.
    FResult.Stopped = stopped && !FResult.Aborted && (FSettings.PerTarget || !FResult.DryRun);
    FResult.Done = all && !FResult.DryRun;
    if (FSettings.PerTarget) {
        FResult.Outcomes = outcomes;
    } else if (outcomes.size() == 1) {
        // One target: its outcome is the export's own.
        const TTargetOutcome& o = outcomes.front();
        FResult.Check = o.Check;
        if (!FResult.Aborted && !o.Stopped && !o.Succeeded())
            FResult.Error = !o.Error.Empty()        ? o.Error
                            : !o.GroupError.Empty() ? o.GroupError
                                                    : o.CheckError;
    }
    if (!FResult.DryRun) {
        // The record of what each target holds now: the new file where it went; a target put
        // back holds what this database's record already says of it. A pipe or a device keeps
        // no record: what it held cannot be read back.
        std::vector<std::pair<std::string, std::size_t>> due; // target, its content
        std::vector<std::size_t> delivered;
        for (const TTargetOutcome& o : outcomes) {
            if (o.Holds != TTargetHolds::New || (o.Check && !o.Check->Current.Comparable)) continue;
            const auto content = FContentById.find(o.Id);
            if (content == FContentById.end() || FSettings.DatabasePath.empty()) continue;
            const std::size_t k = content->second;
            if (std::find(delivered.begin(), delivered.end(), k) == delivered.end())
                delivered.push_back(k);
            // A target whose record says it holds these bytes keeps that record: its user lines
            // need not be read again.
            const auto old = FState.Targets.find(o.Id);
            if (old != FState.Targets.end() && old->second.Sha256 == ContentSha256(k) &&
                old->second.Size == static_cast<std::int64_t>(FContents[k]->size()))
                continue;
            due.emplace_back(o.Id, k);
        }
        RememberExport(RecordsOf(due), delivered);
    }
    // A record still being made (its target was not replaced) is waited for here, once.
    FRecords.clear();
    if (!FResult.Error.Empty() && OnError) OnError(FResult.Error);
    Done();
}

bool TExportJob::Abort() noexcept {
    FAbort = true;
    return !FDeployment || FDeployment->Abort();
}

bool TExportJob::Uploading() const {
    return FDeploying;
}

const std::string& TExportJob::TempFile() const {
    static const std::string none;
    return FDeployment ? FDeployment->LocalFile() : none;
}

void TExportJob::Wait() {
    // The deployment, if any, is started when the build's end reaches the owner.
    if (FAsync) FAsync->WaitHanded(std::nullopt);
    if (FDeployment) FDeployment->WaitFor();
}

bool TExportJob::Wait(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    if (FAsync && !FAsync->WaitHanded(timeout)) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    return !FDeployment || FDeployment->WaitFor(std::max(left, std::chrono::milliseconds(0)));
}

void TExportJob::Detach() noexcept {
    if (FAsync) FAsync->Detach();
    if (FDeployment) FDeployment->Detach();
}

} // namespace quorvane
