#include "userdb/UserView.h"
#include "base/AsciiCase.h"
#include "userdb/Groups.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace quorvane {

bool UserPassesFilter(const TUserProp& user, TUserFilter filter) {
    switch (filter) {
    case TUserFilter::All:
        return true;
    case TUserFilter::Enabled:
        return !user.Disable;
    case TUserFilter::Disabled:
        return user.Disable;
    }
    return true;
}

bool TUserReportFilter::Matches(const TUserProp& user, TDateTime now) const {
    if (!UserPassesFilter(user, State)) return false;
    if (ExpiringWithinDays && (user.Disable || !user.Expire || user.ExpireDate < now ||
                               user.ExpireDate > now + *ExpiringWithinDays))
        return false;
    if (Expired && !(user.Expire && now > user.ExpireDate)) return false;
    if (!Group.empty() && !UserInGroup(user, Group)) return false;
    return true;
}

namespace {

inline unsigned char FoldAZ(char c) {
    return static_cast<unsigned char>(AsciiUpper(c));
}

template <typename T> int Sign(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

TUserTextFilter::TUserTextFilter(const std::string& text) : FFolded(text) {
    for (char& c : FFolded)
        c = static_cast<char>(FoldAZ(c));
}

bool TUserTextFilter::FieldMatches(const std::string& field) const {
    const size_t n = FFolded.size();
    if (field.size() < n) return false;
    const auto* text = reinterpret_cast<const unsigned char*>(field.data());
    const auto first = static_cast<unsigned char>(FFolded[0]);
    // A letter is found in either case as its lower case with the 0x20 bit set; any other byte
    // as itself.
    const unsigned char caseBit = first >= 'A' && first <= 'Z' ? 0x20 : 0;
    const unsigned char wanted = first | caseBit;
    const auto matchesAt = [this, text, n](size_t i) {
        size_t k = 1;
        while (k < n &&
               FoldAZ(static_cast<char>(text[i + k])) == static_cast<unsigned char>(FFolded[k]))
            ++k;
        return k == n;
    };
    const size_t starts = field.size() - n + 1; // the places a match may begin
    size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Eight places at a time: a byte of x is zero where the first byte is found. The test
        // finds every zero byte, and may flag some above one, which are checked anyway.
        constexpr uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
        for (; i + 8 <= starts; i += 8) {
            uint64_t word;
            std::memcpy(&word, text + i, 8);
            const uint64_t x = (word | kOnes * caseBit) ^ kOnes * wanted;
            for (uint64_t flagged = (x - kOnes) & ~x & kHighs; flagged != 0;
                 flagged &= flagged - 1) {
                const size_t at = i + static_cast<size_t>(std::countr_zero(flagged)) / 8;
                if ((text[at] | caseBit) == wanted && matchesAt(at)) return true;
            }
        }
    }
    for (; i < starts; ++i)
        if ((text[i] | caseBit) == wanted && matchesAt(i)) return true;
    return false;
}

bool TUserTextFilter::Matches(const TUserProp& user) const {
    return FFolded.empty() || FieldMatches(user.Login) || FieldMatches(user.Email) ||
           FieldMatches(user.FullName);
}

bool TUserTextFilter::Narrows(const TUserTextFilter& wider) const {
    return FFolded.find(wider.FFolded) != std::string::npos;
}

int CompareFoldedText(const std::string& a, const std::string& b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = FoldAZ(a[i]);
        const unsigned char y = FoldAZ(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return Sign(a.size(), b.size());
}

int CompareUsers(const TUserProp& a, const TUserProp& b, int sortKey) {
    int result = 0;
    switch (std::abs(sortKey)) {
    case 1:
        result = CompareFoldedText(a.Login, b.Login);
        break;
    case 2:
        result = Sign(a.Disable, b.Disable);
        break;
    case 3:
        if (a.Expire != b.Expire)
            result = a.Expire ? -1 : 1; // "Never" lies beyond every date
        else if (a.Expire)
            result = Sign(a.ExpireDate, b.ExpireDate);
        break;
    case 4:
        result = CompareFoldedText(a.Email, b.Email);
        break;
    case 5:
        result = CompareFoldedText(a.FullName, b.FullName);
        break;
    case 6:
        result = Sign(a.CreatedDate, b.CreatedDate);
        break;
    case 7:
        result = Sign(a.HashOnly(), b.HashOnly());
        break;
    case 8:
        result = CompareFoldedText(a.Groups(), b.Groups());
        break;
    default:
        break;
    }
    return sortKey < 0 ? -result : result;
}

namespace {

// What a comparison needs of one user, kept together so that sorting stays in the cache.
struct TSortKey {
    uint64_t High = 0, Low = 0; // text keys: the first 16 folded bytes, big-endian, zero padded
    double Number = 0;          // other keys
    uint32_t Length = 0;        // text keys: the text's length
    int Position = 0;
};

void FoldedPrefix(const std::string& text, TSortKey& key) {
    unsigned char bytes[16] = {};
    const size_t n = text.size() < 16 ? text.size() : 16;
    for (size_t i = 0; i < n; ++i)
        bytes[i] = FoldAZ(text[i]);
    for (int i = 0; i < 8; ++i)
        key.High = (key.High << 8) | bytes[i];
    for (int i = 8; i < 16; ++i)
        key.Low = (key.Low << 8) | bytes[i];
    key.Length = text.size() > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(text.size());
}

const std::string& TextOf(const TUserProp& user, int column) {
    return column == 1   ? user.Login
           : column == 4 ? user.Email
           : column == 8 ? user.Groups()
                         : user.FullName;
}

} // namespace

std::vector<int> SortedOrder(const std::vector<TUserProp*>& users, int sortKey) {
    const int column = std::abs(sortKey);
    const bool text = column == 1 || column == 4 || column == 5 || column == 8;
    std::vector<TSortKey> keys(users.size());
    for (size_t i = 0; i < users.size(); ++i) {
        const TUserProp& user = *users[i];
        TSortKey& key = keys[i];
        key.Position = static_cast<int>(i);
        switch (column) {
        case 2:
            key.Number = user.Disable ? 1 : 0;
            break;
        case 3:
            key.High = user.Expire ? 0 : 1; // "Never" after every date
            key.Number = user.Expire ? user.ExpireDate : 0;
            break;
        case 6:
            key.Number = user.CreatedDate;
            break;
        case 7:
            key.Number = user.HashOnly() ? 1 : 0;
            break;
        default:
            if (text) FoldedPrefix(TextOf(user, column), key);
            break;
        }
    }
    auto compare = [&users, text, column](const TSortKey& a, const TSortKey& b) {
        if (a.High != b.High) return a.High < b.High ? -1 : 1;
        if (a.Low != b.Low) return a.Low < b.Low ? -1 : 1;
        if (!text) return Sign(a.Number, b.Number);
        // Equal first 16 bytes: texts that both fit decide by length, others by their rest.
        if (a.Length <= 16 && b.Length <= 16) return Sign(a.Length, b.Length);
        return CompareFoldedText(TextOf(*users[static_cast<size_t>(a.Position)], column),
                                 TextOf(*users[static_cast<size_t>(b.Position)], column));
    };
    if (sortKey < 0)
        std::stable_sort(
            keys.begin(), keys.end(),
            [&compare](const TSortKey& a, const TSortKey& b) { return compare(b, a) < 0; });
    else
        std::stable_sort(
            keys.begin(), keys.end(),
            [&compare](const TSortKey& a, const TSortKey& b) { return compare(a, b) < 0; });
    std::vector<int> order(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        order[i] = keys[i].Position;
    return order;
}

const char* UserStatusText(const TUserProp& user) {
    return user.Disable ? "Disabled" : "Enabled";
}

const char* UserStatusText(const TUserProp& user, TDateTime now) {
    if (!user.Disable && user.Expire && user.ExpireDate < now) return "Expired";
    return UserStatusText(user);
}

std::string UserCountText(int shown, int total) {
    std::string text = std::to_string(shown) + " user(s)";
    if (total - shown > 0) text += " (plus " + std::to_string(total - shown) + " hidden)";
    return text;
}

} // namespace quorvane
