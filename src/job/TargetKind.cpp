#include "job/TargetKind.h"

#include "base/Errors.h"
#include "job/JobTexts.h"

#include <map>
#include <mutex>
#include <stdexcept>

namespace quorvane {

namespace {

struct TKindRegistry {
    std::mutex Mutex;
    std::map<std::string, std::shared_ptr<const ITargetKind>, std::less<>> BySchema;
    // A kind replaced stays alive: a caller may still hold it.
    std::vector<std::shared_ptr<const ITargetKind>> Retired;

    TKindRegistry() {
        Add({"", "file"}, FileKind());
        Add({"ftp", "ftpes", "ftps", "sftp"}, ServerKind());
        Add({"sqlite", "postgresql", "postgres", "ldap", "ldaps", "store"}, StoreKind());
    }

    void Add(std::initializer_list<std::string_view> schemes,
             const std::shared_ptr<const ITargetKind>& kind) {
        for (const std::string_view scheme : schemes) {
            auto& slot = BySchema[std::string(scheme)];
            if (slot) Retired.push_back(slot);
            slot = kind;
        }
    }
};

TKindRegistry& Registry() {
    static TKindRegistry registry;
    return registry;
}

} // namespace

void RegisterTargetKind(std::initializer_list<std::string_view> schemes,
                        const std::shared_ptr<const ITargetKind>& kind) {
    TKindRegistry& r = Registry();
    const std::lock_guard<std::mutex> lock(r.Mutex);
    r.Add(schemes, kind);
}

const ITargetKind* FindKind(const TTarget& target) {
    TKindRegistry& r = Registry();
    const std::string scheme = UrlScheme(target.Url);
    const std::lock_guard<std::mutex> lock(r.Mutex);
    const auto it = r.BySchema.find(scheme);
    if (it != r.BySchema.end()) return it->second.get();
    // "C:\site\htpasswd", "www:80/x": a path whose first part reads like a scheme no kind has.
    return nullptr;
}

TAfterResult ITargetSession::RunAfter(const TAfterCommand&) {
    throw std::logic_error("this kind of target runs no command");
}

const ITargetKind& KindOf(const TTarget& target) {
    if (const ITargetKind* kind = FindKind(target)) return *kind;
    throw EQuorvaneError(Msg(texts::TargetKindUnknown, UrlScheme(target.Url)));
}

} // namespace quorvane
