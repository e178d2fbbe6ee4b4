#include "UserView.h"

#include <cstdlib>

bool UserPassesFilter(const TUserProp& user, TUserFilter filter) {
    switch (filter) {
    case TUserFilter::All: return true;
    case TUserFilter::Enabled: return !user.Disable;
    case TUserFilter::Disabled: return user.Disable;
    }
    return true;
}

namespace {

inline unsigned char FoldAZ(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - ('a' - 'A')) : u;
}

template <typename T> int Sign(T a, T b) { return a < b ? -1 : (b < a ? 1 : 0); }

} // namespace

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
    case 1: result = CompareFoldedText(a.Login, b.Login); break;
    case 2: result = Sign(a.Disable, b.Disable); break;
    case 3:
        if (a.Expire != b.Expire)
            result = a.Expire ? 1 : -1;
        else if (a.Expire)
            result = Sign(a.ExpireDate, b.ExpireDate);
        break;
    case 4: result = CompareFoldedText(a.Email, b.Email); break;
    case 5: result = CompareFoldedText(a.FullName, b.FullName); break;
    case 6: result = Sign(a.CreatedDate, b.CreatedDate); break;
    default: break;
    }
    return sortKey < 0 ? -result : result;
}

const char* UserStatusText(const TUserProp& user) { return user.Disable ? "Disabled" : "Enabled"; }

std::string UserCountText(int shown, int total) {
    std::string text = std::to_string(shown) + " user(s)";
    if (total - shown > 0) text += " (plus " + std::to_string(total - shown) + " hidden)";
    return text;
}
