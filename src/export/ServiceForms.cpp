#include "export/ServiceForms.h"

#include "base/Crypto.h"
#include "base/CryptoPlugin.h"
#include "base/Errors.h"
#include "base/Workers.h"
#include "export/ExportTexts.h"
#include "export/StoredHash.h"
#include "export/md5.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

namespace quorvane {

namespace {

std::string Base64(const unsigned char* bytes, size_t size) {
    return crypto::Base64Encode(bytes, size);
}

// Standard base64 with its padding, exactly `expected` bytes; false for anything else.
bool FromBase64(std::string_view text, size_t expected, std::vector<unsigned char>& out) {
    if (text.empty() || text.size() % 4 != 0) return false;
    std::optional<std::string> decoded = crypto::Base64Decode(text);
    if (!decoded) return false;
    out.assign(decoded->begin(), decoded->end());
    explicit_bzero(decoded->data(), decoded->size());
    return out.size() == expected;
}

bool ParseInt(std::string_view text, int& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> SplitDollar(std::string_view text) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == '$') {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    return parts;
}

EQuorvaneError NotASetting(std::string_view setting) {
    return EQuorvaneError(Msg(texts::FormRefusesSetting, std::string(setting.substr(0, 24))));
}

constexpr size_t KPbkdf2SaltBytes = 12;
constexpr size_t KPbkdf2KeyBytes = 64;

struct TPbkdf2Setting {
    int Iterations = 0;
    std::vector<unsigned char> Salt;
    std::string_view Key; // the base64 key of a whole value; empty for a setting
};

// "$7$ITERATIONS$SALT" or "$7$ITERATIONS$SALT$KEY".
bool ParsePbkdf2(std::string_view text, TPbkdf2Setting& out) {
    const auto parts = SplitDollar(text);
    if (parts.size() < 4 || parts.size() > 5 || !parts[0].empty() || parts[1] != "7") return false;
    if (!ParseInt(parts[2], out.Iterations) || out.Iterations < KPbkdf2IterationsMin ||
        out.Iterations > KPbkdf2IterationsMax)
        return false;
    if (!FromBase64(parts[3], KPbkdf2SaltBytes, out.Salt)) return false;
    out.Key = parts.size() == 5 ? parts[4] : std::string_view();
    return true;
}

void EnsureSodium() {
    static const int ready = crypto::Sodium().sodium_init();
    if (ready < 0) throw std::runtime_error("libsodium cannot start");
}

struct TArgon2Setting {
    int Passes = 0;
    unsigned MemoryKiB = 0;
    std::vector<unsigned char> Salt;
};

// "$argon2id$v=19$m=M,t=T,p=1$SALT", with or without "$KEY" after it.
bool ParseArgon2(std::string_view text, TArgon2Setting& out) {
    const auto parts = SplitDollar(text);
    if (parts.size() < 5 || parts.size() > 6 || !parts[0].empty() || parts[1] != "argon2id" ||
        parts[2] != "v=19")
        return false;
    std::string_view params = parts[3];
    int memory = 0, passes = 0;
    if (!params.starts_with("m=")) return false;
    const size_t t = params.find(",t=");
    const size_t p = params.find(",p=1");
    if (t == std::string_view::npos || p == std::string_view::npos || p < t ||
        p + 4 != params.size() || !ParseInt(params.substr(2, t - 2), memory) ||
        !ParseInt(params.substr(t + 3, p - t - 3), passes) || memory < 8 || passes < 1)
        return false;
    out.MemoryKiB = static_cast<unsigned>(memory);
    out.Passes = passes;
    const std::string salt(parts[4]);
    out.Salt.assign(crypto_pwhash_SALTBYTES, 0);
    size_t size = 0;
    return crypto::Sodium().sodium_base642bin(out.Salt.data(), out.Salt.size(), salt.data(),
                                              salt.size(), nullptr, &size, nullptr,
                                              sodium_base64_VARIANT_ORIGINAL_NO_PADDING) == 0 &&
           size == crypto_pwhash_SALTBYTES;
}

std::string SodiumBase64(const unsigned char* bytes, size_t size) {
    std::string out(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL_NO_PADDING),
                    '\0');
    crypto::Sodium().sodium_bin2base64(out.data(), out.size(), bytes, size,
                                       sodium_base64_VARIANT_ORIGINAL_NO_PADDING);
    out.resize(out.find('\0'));
    return out;
}

} // namespace

std::string DigestValue(std::string_view login, std::string_view realm, std::string_view password) {
    TMD5Context context;
    MD5Init(context);
    MD5Update(context, login.data(), login.size());
    MD5Update(context, ":", 1);
    MD5Update(context, realm.data(), realm.size());
    MD5Update(context, ":", 1);
    MD5Update(context, password.data(), password.size());
    TMD5Digest digest = MD5Final(context);
    std::string value(realm);
    value += ':';
    value += crypto::LowerHex(digest.data(), digest.size());
    explicit_bzero(digest.data(), digest.size());
    return value;
}

bool VerifyDigestValue(std::string_view password, std::string_view value, std::string_view login) {
    const size_t colon = value.rfind(':');
    if (colon == std::string_view::npos || value.size() - colon - 1 != 32) return false;
    std::string computed = DigestValue(login, value.substr(0, colon), password);
    const bool match = SecretsEqual(computed, value);
    explicit_bzero(computed.data(), computed.size());
    return match;
}

std::string Pbkdf2Setting(IRandomSource& random, int iterations) {
    unsigned char salt[KPbkdf2SaltBytes];
    for (unsigned char& b : salt)
        b = static_cast<unsigned char>(random.Random(256));
    return std::string(KPbkdf2Prefix) + std::to_string(iterations) + "$" +
           Base64(salt, sizeof salt);
}

std::string Pbkdf2Hash(std::string_view password, std::string_view setting) {
    TPbkdf2Setting parsed;
    if (!ParsePbkdf2(setting, parsed)) throw NotASetting(setting);
    unsigned char key[KPbkdf2KeyBytes];
    if (!crypto::Pbkdf2Hmac(crypto::TDigestKind::Sha512, password, parsed.Salt.data(),
                            parsed.Salt.size(), parsed.Iterations, key, sizeof key))
        throw NotASetting(setting);
    std::string value = std::string(KPbkdf2Prefix) + std::to_string(parsed.Iterations) + "$" +
                        Base64(parsed.Salt.data(), parsed.Salt.size()) + "$" +
                        Base64(key, sizeof key);
    explicit_bzero(key, sizeof key);
    return value;
}

bool VerifyPbkdf2(std::string_view password, std::string_view value) {
    TPbkdf2Setting parsed;
    if (!ParsePbkdf2(value, parsed) || parsed.Key.empty()) return false;
    std::string computed = Pbkdf2Hash(password, value);
    const bool match = SecretsEqual(computed, value);
    explicit_bzero(computed.data(), computed.size());
    return match;
}

std::string Argon2idSetting(IRandomSource& random, int passes) {
    unsigned char salt[crypto_pwhash_SALTBYTES];
    for (unsigned char& b : salt)
        b = static_cast<unsigned char>(random.Random(256));
    return std::string(KArgon2idPrefix) + "v=19$m=" + std::to_string(KArgon2MemoryKiB) +
           ",t=" + std::to_string(passes) + ",p=1$" + SodiumBase64(salt, sizeof salt);
}

std::string Argon2idHash(std::string_view password, std::string_view setting) {
    EnsureSodium();
    TArgon2Setting parsed;
    if (!ParseArgon2(setting, parsed)) throw NotASetting(setting);
    unsigned char key[32];
    if (crypto::Sodium().crypto_pwhash(
            key, sizeof key, password.data(), password.size(), parsed.Salt.data(),
            static_cast<unsigned long long>(parsed.Passes),
            static_cast<size_t>(parsed.MemoryKiB) * 1024, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw NotASetting(setting);
    std::string value =
        std::string(KArgon2idPrefix) + "v=19$m=" + std::to_string(parsed.MemoryKiB) +
        ",t=" + std::to_string(parsed.Passes) + ",p=1$" +
        SodiumBase64(parsed.Salt.data(), parsed.Salt.size()) + "$" + SodiumBase64(key, sizeof key);
    explicit_bzero(key, sizeof key);
    return value;
}

bool VerifyArgon2(std::string_view password, std::string_view value) {
    EnsureSodium();
    const std::string stored(value); // crypto_pwhash_str_verify reads a C string
    if (stored.find('\0') != std::string::npos) return false;
    if (stored.starts_with("$argon2id$"))
        return crypto::Sodium().crypto_pwhash_argon2id_str_verify(stored.c_str(), password.data(),
                                                                  password.size()) == 0;
    if (stored.starts_with("$argon2i$"))
        return crypto::Sodium().crypto_pwhash_argon2i_str_verify(stored.c_str(), password.data(),
                                                                 password.size()) == 0;
    return false;
}

void HashEachOnWorkers(const std::vector<std::string_view>& passwords,
                       const std::vector<std::string>& settings, std::vector<std::string>& out,
                       unsigned threads,
                       std::string (*hash)(std::string_view password, std::string_view setting)) {
    if (settings.size() != passwords.size())
        throw std::invalid_argument("HashEachOnWorkers: one setting per password is needed");
    const size_t count = passwords.size();
    out.assign(count, std::string());
    const size_t workers = std::min<size_t>(WorkerCount(threads), count);
    if (workers == 0) return;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    RunShares(workers, [&](size_t) {
        try {
            for (size_t k = next++; k < count && !failed; k = next++)
                out[k] = hash(passwords[k], settings[k]);
        } catch (...) {
            failed = true;
            throw;
        }
    });
}

} // namespace quorvane
