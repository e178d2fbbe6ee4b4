#include "job/TargetKind.h"

#include "base/Errors.h"
#include "job/JobTexts.h"
#include "job/TargetFile.h"

#include <algorithm>

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

// Whether key is the name of a registered kind: a target keeps the address of that kind it does
// not point at under it.
bool IsKindName(std::string_view key) {
    TKindRegistry& r = Registry();
    const std::lock_guard<std::mutex> lock(r.Mutex);
    return std::any_of(r.BySchema.begin(), r.BySchema.end(),
                       [&](const auto& kind) { return kind.second->Name() == key; });
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

std::vector<std::string> TargetAddressForms() {
    TKindRegistry& r = Registry();
    const std::lock_guard<std::mutex> lock(r.Mutex);
    std::vector<const ITargetKind*> kinds;
    std::vector<std::string> forms;
    for (const auto& [scheme, kind] : r.BySchema) {
        if (std::find(kinds.begin(), kinds.end(), kind.get()) != kinds.end()) continue;
        kinds.push_back(kind.get());
        for (std::string& form : kind->AddressForms())
            forms.push_back(std::move(form));
    }
    return forms;
}

TAfterResult ITargetSession::RunAfter(const TAfterCommand&) {
    throw std::logic_error("this kind of target runs no command");
}

const ITargetKind& KindOf(const TTarget& target) {
    if (const ITargetKind* kind = FindKind(target)) return *kind;
    throw EQuorvaneError(Msg(texts::TargetKindUnknown, UrlScheme(target.Url)));
}

void SetTargetOption(TTarget& target, std::string_view key, std::string value) {
    const ITargetKind& kind = KindOf(target);
    std::vector<TTargetOptionRow> rows = kind.Options(target);
    // A file's options are read by every kind that writes one; a store's are refused by
    // TargetFileOf with the reason.
    for (const std::string_view file : TargetFileOptions())
        rows.push_back({std::string(file)});
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [&](const TTargetOptionRow& r) { return r.Key == key; });
    if (row == rows.end()) {
        std::string known;
        for (const TTargetOptionRow& r : rows)
            if (!r.Secret) known += (known.empty() ? "" : ", ") + r.Key;
        throw EQuorvaneError(Msg(
            texts::TargetPrefixed, target.Name,
            Msg(texts::TargetOptionNotRead, std::string(key), std::string(kind.Name()), known)));
    }
    const bool wellFormed =
        value.empty() ||
        (row->YesNo ? value == "yes" || value == "no"
         : row->WellFormed != nullptr
             ? row->WellFormed(value)
             : value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
    if (row->Secret)
        throw EQuorvaneError(Msg(texts::TargetPrefixed, target.Name,
                                 Msg(texts::TargetOptionSecret, std::string(key))));
    if (!wellFormed)
        throw EQuorvaneError(Msg(texts::TargetPrefixed, target.Name,
                                 Msg(texts::TargetOptionValue, value, std::string(key))));
    // A password is kept only while keep-password allows it.
    if (row->YesNo && key == "keep-password" && value == "no") target.SetOption("password", {});
    target.SetOption(key, std::move(value));
}

void ITargetKind::Adopt(TTarget& target, const TTarget& before, IRandomSource&) const {
    const ITargetKind* earlier = FindKind(before);
    if (earlier != nullptr && earlier->Name() != Name() && !before.Url.empty())
        target.SetOption(earlier->Name(), before.Url);
    target.SetOption(Name(), {});
}

void SetTargetAddress(TTarget& target, std::string url, IRandomSource& random) {
    TTarget next = target;
    next.Url = std::move(url);
    const ITargetKind& kind = KindOf(next);
    kind.CheckNew(next);
    kind.Adopt(next, target, random);
    target = std::move(next);
}

std::vector<std::string> MissingTargetOptions(const TTarget& target) {
    std::vector<std::string> missing;
    for (const TTargetOptionRow& row : KindOf(target).Options(target))
        if (row.Required && target.Option(row.Key).empty()) missing.push_back(row.Key);
    return missing;
}

std::optional<TTarget> KeptAddress(const TTarget& target, std::string_view kindName) {
    const ITargetKind* kind = FindKind(target);
    if (kind != nullptr && kind->Name() == kindName) return target;
    const std::string& kept = target.Option(kindName);
    if (kept.empty() || !IsKindName(kindName)) return std::nullopt;
    // The kept address alone: none of the others the target keeps comes with it.
    TTarget other = target;
    other.Url = kept;
    for (auto it = other.Options.begin(); it != other.Options.end();)
        it = IsKindName(it->first) ? other.Options.erase(it) : std::next(it);
    return other;
}

} // namespace quorvane
