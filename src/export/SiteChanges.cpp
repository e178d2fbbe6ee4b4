#include "export/SiteChanges.h"

#include "base/AsciiCase.h"
#include "export/DatabaseState.h"
#include "export/ExportTexts.h"
#include "userdb/LoginRule.h"

#include <algorithm>
#include <cstdint>
#include <functional>

namespace quorvane {

namespace {

// The logins of a file's lines seen so far, each kept as its place in the text (a login runs
// from its line's start to the first ":"): a file of a million lines costs one table of
// places, not a node a line.
class TSeenLogins {
public:
    TSeenLogins(std::string_view text, std::size_t lines) : FText(text) {
        std::size_t capacity = 16;
        while (capacity < 2 * lines)
            capacity *= 2;
        FIndex.assign(capacity, 0);
    }
    // Whether login (a view into the text) is seen for the first time; it is seen from then on.
    bool Insert(std::string_view login) {
        const std::size_t mask = FIndex.size() - 1;
        for (std::size_t at = std::hash<std::string_view>()(login) & mask;; at = (at + 1) & mask) {
            const std::uint64_t place = FIndex[at];
            if (place == 0) {
                FIndex[at] = static_cast<std::uint64_t>(login.data() - FText.data()) + 1;
                return true;
            }
            const std::string_view rest = FText.substr(static_cast<std::size_t>(place - 1));
            if (rest.substr(0, rest.find(':')) == login) return false;
        }
    }

private:
    std::string_view FText;
    std::vector<std::uint64_t> FIndex; // place + 1 by hash of the login, open addressing; 0: free
};

// Calls user(number, login, value) for every line that counts as a user's; the number of the
// other lines.
// Calls line(number, login, value) for every line that reads as a user's, a login's later
// lines too; the number of the other lines.
template <class TLine> std::size_t WalkPasswordLines(std::string_view text, TLine&& line) {
    std::size_t others = 0;
    int number = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view one = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (!one.empty() && one.back() == '\r') one.remove_suffix(1);
        const std::optional<TPasswordLine> read = ReadPasswordLine(one);
        if (!read) {
            ++others;
            continue;
        }
        line(number, read->Login, read->Value);
    }
    return others;
}

template <class TUser> std::size_t WalkSiteFile(std::string_view text, TUser&& user) {
    // Every line is one at most: the table is never more than half full.
    TSeenLogins seen(text,
                     static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    std::size_t again = 0;
    const std::size_t others =
        WalkPasswordLines(text, [&](int number, std::string_view login, std::string_view value) {
            if (seen.Insert(login))
                user(number, login, value);
            else
                ++again; // servers stop at the first line of a login
        });
    return others + again;
}

} // namespace

std::optional<TPasswordLine> ReadPasswordLine(std::string_view line) {
    const size_t first = line.find_first_not_of(" \t");
    const size_t colon = line.find(':');
    if (first == std::string_view::npos || line[first] == '#' || colon == 0 ||
        colon == std::string_view::npos)
        return std::nullopt;
    const std::string_view rest = line.substr(colon + 1);
    return TPasswordLine{line.substr(0, colon), rest.substr(0, rest.find(':'))};
}

TSiteFile ParseSiteFile(std::string_view text) {
    TSiteFile file;
    file.OtherLines =
        WalkSiteFile(text, [&](int number, std::string_view login, std::string_view value) {
            file.Users.push_back({number, std::string(login), std::string(value)});
        });
    return file;
}

std::size_t SiteFileOtherLines(std::string_view text) {
    return WalkSiteFile(text, [](int, std::string_view, std::string_view) {});
}

TUserDigests UserDigestsOf(const TSiteFile& file) {
    TUserDigests digests;
    std::size_t bytes = 0;
    for (const TSiteUser& user : file.Users)
        bytes += user.Login.size();
    digests.reserve(file.Users.size(), bytes);
    for (const TSiteUser& user : file.Users)
        digests.emplace(user.Login, UserValueDigest(user.Value));
    return digests;
}

TUserDigests UserDigestsOf(std::string_view text) {
    TUserDigests digests;
    // A login is a small part of its line: room for a quarter of the text, grown if need be.
    digests.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1,
                    text.size() / 4);
    // The first line of a login is the one that counts, as in WalkSiteFile: the table keeps
    // the first digest of a login and passes over its later lines.
    WalkPasswordLines(text, [&](int, std::string_view login, std::string_view value) {
        digests.emplace(login, UserValueDigest(value));
    });
    return digests;
}

namespace {

// As the password file orders logins: a to z folded, then the bytes.
void SortChanges(TUserChanges& changes) {
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(changes.List.size());
    for (std::size_t i = 0; i < changes.List.size(); ++i)
        keys.emplace_back(ToAsciiLower(changes.List[i].Login), i);
    std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        if (int c = a.first.compare(b.first); c != 0) return c < 0;
        return changes.List[a.second].Login < changes.List[b.second].Login;
    });
    std::vector<TUserChange> sorted;
    sorted.reserve(keys.size());
    for (const auto& key : keys)
        sorted.push_back(std::move(changes.List[key.second]));
    changes.List = std::move(sorted);
}

void Count(TUserChanges& changes) {
    for (const TUserChange& change : changes.List)
        ++(change.Kind == TUserChangeKind::Added     ? changes.Added
           : change.Kind == TUserChangeKind::Removed ? changes.Removed
                                                     : changes.Changed);
}

} // namespace

TUserChanges CompareUsers(const TUserDigests& before, const TUserDigests& after) {
    TUserChanges changes;
    for (const auto& [login, digest] : after) {
        const auto it = before.find(login);
        if (it == before.end())
            changes.List.push_back({TUserChangeKind::Added, std::string(login)});
        else if (it->second != digest)
            changes.List.push_back({TUserChangeKind::Changed, std::string(login)});
    }
    for (const auto& [login, digest] : before)
        if (after.count(login) == 0)
            changes.List.push_back({TUserChangeKind::Removed, std::string(login)});
    SortChanges(changes);
    Count(changes);
    return changes;
}

TUserChanges UnknownUsers(const TUserDigests& there, const TLoginSlots& known) {
    TUserChanges changes;
    for (const auto& [login, digest] : there)
        if (known.count(std::string(login)) == 0)
            changes.List.push_back({TUserChangeKind::Added, std::string(login)});
    SortChanges(changes);
    Count(changes);
    return changes;
}

TMessage ChangeCountsMessage(const TUserChanges& changes) {
    std::vector<TMessage> parts;
    if (changes.Added > 0) parts.push_back(Msg(texts::CountAdded, Count(changes.Added)));
    if (changes.Removed > 0) parts.push_back(Msg(texts::CountRemoved, Count(changes.Removed)));
    if (changes.Changed > 0) parts.push_back(Msg(texts::CountChanged, Count(changes.Changed)));
    if (parts.empty()) return Msg(texts::NoUserChanges);
    return Msg(texts::ChangeCounts, Messages(std::move(parts)));
}

std::string ChangeListText(const TUserChanges& changes, std::size_t limit) {
    std::string text;
    const std::size_t shown =
        limit == 0 ? changes.List.size() : std::min(limit, changes.List.size());
    for (std::size_t i = 0; i < shown; ++i) {
        const TUserChange& change = changes.List[i];
        text += change.Kind == TUserChangeKind::Added     ? "+ "
                : change.Kind == TUserChangeKind::Removed ? "- "
                                                          : "~ ";
        AppendForOneLine(text, change.Login); // a site's login is anybody's bytes
        text += '\n';
    }
    if (shown < changes.List.size())
        text += "  ... and " + std::to_string(changes.List.size() - shown) + " more\n";
    return text + EnglishText(ChangeCountsMessage(changes)) + "\n";
}

} // namespace quorvane
