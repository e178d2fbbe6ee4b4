#include "export/HashCache.h"

#include "base/Errors.h"
#include "base/FileSafety.h"
#include "base/Random.h"
#include "userdb/DataLib.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <openssl/hmac.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

namespace {

constexpr std::string_view KHeader = "quorvane hash cache 1\n";
constexpr size_t KTagDigits = 64;
// Refuse to read a cache far larger than any real one (a damaged or foreign file).
constexpr size_t KMaxCacheBytes = size_t{1} << 30;

std::string Hex(const unsigned char* data, size_t size) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out(2 * size, '0');
    for (size_t i = 0; i < size; ++i) {
        out[2 * i] = digits[data[i] >> 4];
        out[2 * i + 1] = digits[data[i] & 15];
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool FromHex(std::string_view hex, std::string& out) {
    if (hex.size() % 2 != 0) return false;
    out.resize(hex.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) {
        const int hi = HexDigit(hex[2 * i]), lo = HexDigit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = static_cast<char>(hi << 4 | lo);
    }
    return true;
}

// Each field with its length in front, so that no two different inputs give the same message.
void AppendField(std::string& message, std::string_view field) {
    const uint64_t n = field.size();
    for (int i = 0; i < 8; ++i)
        message.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
    message.append(field);
}

} // namespace

std::string THashCache::Tag(std::string_view form, int workFactor, std::string_view login,
                            std::string_view password, std::string_view hash) const {
    std::string message;
    message.reserve(64 + form.size() + login.size() + password.size() + hash.size());
    AppendField(message, "quorvane hash cache entry");
    AppendField(message, form);
    AppendField(message, std::to_string(workFactor));
    AppendField(message, login);
    AppendField(message, password);
    AppendField(message, hash);
    unsigned char mac[32];
    unsigned int macSize = 0;
    HMAC(EVP_sha256(), FKey.data(), static_cast<int>(FKey.size()),
         reinterpret_cast<const unsigned char*>(message.data()), message.size(), mac, &macSize);
    explicit_bzero(message.data(), message.size());
    return Hex(mac, macSize);
}

void THashCache::Load(const std::string& path) {
    FLoaded.clear();
    if (!Usable()) return;
    // Only a regular file of this user is read: a fifo planted there must not hang the export.
    const std::optional<std::string> file = ReadSideFile(path, KMaxCacheBytes);
    if (!file || !std::string_view(*file).starts_with(KHeader)) return;
    const std::string& data = *file;
    std::string_view rest = std::string_view(data).substr(KHeader.size());
    // One entry a line: tag, hash, login in hexadecimal, separated by one blank.
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        const size_t a = line.find(' ');
        if (a != KTagDigits) continue;
        const size_t b = line.find(' ', a + 1);
        if (b == std::string_view::npos || b == a + 1) continue;
        std::string login;
        if (!FromHex(line.substr(b + 1), login)) continue;
        FLoaded[login] =
            TEntry{std::string(line.substr(0, a)), std::string(line.substr(a + 1, b - a - 1))};
    }
}

std::optional<std::string> THashCache::Find(std::string_view form, int workFactor,
                                            std::string_view login,
                                            std::string_view password) const {
    if (!Usable()) return std::nullopt;
    const auto it = FLoaded.find(std::string(login));
    if (it == FLoaded.end()) return std::nullopt;
    const TEntry& entry = it->second;
    const std::string expected = Tag(form, workFactor, login, password, entry.Hash);
    unsigned char diff = 0;
    for (size_t i = 0; i < KTagDigits; ++i)
        diff |= static_cast<unsigned char>(expected[i] ^ entry.Tag[i]);
    if (diff != 0) return std::nullopt;
    return entry.Hash;
}

void THashCache::Put(std::string_view form, int workFactor, std::string_view login,
                     std::string_view password, const std::string& hash) {
    if (!Usable()) return;
    FNew[std::string(login)] = TEntry{Tag(form, workFactor, login, password, hash), hash};
}

bool THashCache::Save(const std::string& path) const {
    if (!Usable()) return false;
    std::string data(KHeader);
    for (const auto& [login, entry] : FNew) {
        data += entry.Tag;
        data += ' ';
        data += entry.Hash;
        data += ' ';
        data += Hex(reinterpret_cast<const unsigned char*>(login.data()), login.size());
        data += '\n';
    }
    // Anything there that is not a private regular file of this user goes first, so the new one
    // is this user's own with 0600.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 &&
        (!S_ISREG(st.st_mode) || (st.st_mode & 077) != 0 || st.st_uid != ::geteuid()))
        ::unlink(path.c_str());
    try {
        WriteFileAtomically(path, data, 0600);
    } catch (const EQuorvaneError&) {
        return false;
    }
    return true;
}

std::string HashCachePath(const std::string& databasePath) {
    const size_t slash = databasePath.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : databasePath.substr(0, slash + 1);
    const std::string name =
        slash == std::string::npos ? databasePath : databasePath.substr(slash + 1);
    return folder + "." + name + ".hashes";
}

bool EnsureHashCacheKey(TUserList& list) {
    if (!IsSlowPassType(list.PassType) || !list.HashCacheKey.empty()) return false;
    unsigned char key[32];
    for (unsigned char& b : key)
        b = static_cast<unsigned char>(SecureRandom().Random(256));
    list.HashCacheKey = Hex(key, sizeof key);
    explicit_bzero(key, sizeof key);
    return true;
}

} // namespace quorvane
