#include "export/HashCache.h"

#include "base/Random.h"
#include "export/PasswordFile.h"

#include <cstring>
#include <openssl/hmac.h>

namespace quorvane {

namespace {

constexpr size_t KTagDigits = 64;

std::string Hex(const unsigned char* data, size_t size) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out(2 * size, '0');
    for (size_t i = 0; i < size; ++i) {
        out[2 * i] = digits[data[i] >> 4];
        out[2 * i + 1] = digits[data[i] & 15];
    }
    return out;
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

std::optional<std::string> THashCache::Find(std::string_view form, int workFactor,
                                            std::string_view login,
                                            std::string_view password) const {
    if (!Keyed()) return std::nullopt;
    const auto it = FLoaded.find(std::string(login));
    if (it == FLoaded.end()) return std::nullopt;
    const THashEntry& entry = it->second;
    if (entry.Tag.size() != KTagDigits) return std::nullopt;
    const std::string expected = Tag(form, workFactor, login, password, entry.Hash);
    unsigned char diff = 0;
    for (size_t i = 0; i < KTagDigits; ++i)
        diff |= static_cast<unsigned char>(expected[i] ^ entry.Tag[i]);
    if (diff != 0) return std::nullopt;
    return entry.Hash;
}

const std::string* THashCache::Remembered(const std::string& login) const {
    const auto it = FLoaded.find(login);
    return it == FLoaded.end() ? nullptr : &it->second.Hash;
}

void THashCache::Put(std::string_view form, int workFactor, std::string_view login,
                     std::string_view password, const std::string& hash) {
    FNew[std::string(login)] =
        THashEntry{Keyed() ? Tag(form, workFactor, login, password, hash) : std::string(), hash};
}

std::string NewHashCacheKey() {
    unsigned char key[32];
    for (unsigned char& b : key)
        b = static_cast<unsigned char>(SecureRandom().Random(256));
    std::string text = Hex(key, sizeof key);
    explicit_bzero(key, sizeof key);
    return text;
}

bool EnsureHashCacheKey(TUserList& list) {
    if (!IsSlowPassType(list.PassType) || !list.HashCacheKey.empty()) return false;
    list.HashCacheKey = NewHashCacheKey();
    return true;
}

std::string HashFormId(const TUserList& list, TPasswordsType form, int param) {
    if (form == list.PassType && param == StoredSchemeParam(list, form)) return {};
    return std::string(PasswordsTypeName(form)) + "/" + std::to_string(param);
}

} // namespace quorvane
