#include "export/htpasswd.h"

#include "export/Md5Multi.h"
#include "export/md5.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <exception>
#include <functional>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace quorvane {

std::string To64(uint32_t value, int n) {
    std::string result;
    result.reserve(n > 0 ? static_cast<size_t>(n) : 0);
    for (int k = 0; k < n; ++k) {
        result += KCryptAlphabet[value & 0x3f];
        value >>= 6;
    }
    return result;
}

std::string MakeSalt(IRandomSource& random) {
    // Two draws of 24 bits, four characters each: a quarter of the calls into the system's
    // generator that one draw per character would need, and just as uniform.
    const uint32_t first = random.Random(1u << 24);
    return To64(first, 4) + To64(random.Random(1u << 24), 4);
}

std::string Apr1Crypt(std::string_view password, IRandomSource& random) {
    return Apr1CryptWithSalt(password, MakeSalt(random));
}

namespace {

// Clears a buffer that held password bytes, in a way the optimiser keeps.
template <class T> void Wipe(T& buffer) {
    explicit_bzero(buffer.data(), buffer.size());
}

// The digest's bytes: the four chaining words, each little-endian.
inline void DigestBytes(uint32_t state[4], TMD5Digest& f) {
    if constexpr (std::endian::native == std::endian::big)
        for (int k = 0; k < 4; ++k)
            state[k] = __builtin_bswap32(state[k]);
    std::memcpy(f.data(), state, 16);
}

} // namespace

std::string_view Apr1Salt(std::string_view salt) {
    if (salt.starts_with(KApr1Magic)) salt.remove_prefix(KApr1Magic.size());
    salt = salt.substr(0, std::min(salt.find('$'), salt.size()));
    return salt.substr(0, 8);
}

void Apr1InitialDigest(std::string_view password, std::string_view salt, uint8_t out[16]) {
    const auto* pw = reinterpret_cast<const uint8_t*>(password.data());
    const size_t len = password.size();

    TMD5Context main;
    MD5Init(main);
    MD5Update(main, pw, len);
    MD5Update(main, KApr1Magic.data(), KApr1Magic.size());
    MD5Update(main, salt.data(), salt.size());

    TMD5Context alternate;
    MD5Init(alternate);
    MD5Update(alternate, pw, len);
    MD5Update(alternate, salt.data(), salt.size());
    MD5Update(alternate, pw, len);
    TMD5Digest f = MD5Final(alternate);

    for (size_t p = len; p > 0; p -= std::min<size_t>(p, 16))
        MD5Update(main, f.data(), std::min<size_t>(p, 16));
    Wipe(f);
    // One byte per bit of the length: a zero byte (f is cleared) for a 1, the first password
    // byte for a 0.
    for (size_t i = len; i != 0; i >>= 1)
        MD5Update(main, (i & 1) ? f.data() : pw, 1);
    f = MD5Final(main);
    std::memcpy(out, f.data(), f.size());
    Wipe(f);
}

std::string Apr1Format(std::string_view salt, const uint8_t f[16]) {
    auto group = [&](int x, int y, int z) {
        return static_cast<uint32_t>(f[x]) << 16 | static_cast<uint32_t>(f[y]) << 8 | f[z];
    };
    std::string result;
    result.reserve(KApr1Length);
    result += KApr1Magic;
    result += salt;
    result += '$';
    result += To64(group(0, 6, 12), 4);
    result += To64(group(1, 7, 13), 4);
    result += To64(group(2, 8, 14), 4);
    result += To64(group(3, 9, 15), 4);
    result += To64(group(4, 10, 5), 4);
    result += To64(f[11], 2);
    return result;
}

std::string Apr1CryptWithSalt(std::string_view password, std::string_view saltText) {
    const std::string_view salt = Apr1Salt(saltText);
    const auto* pw = reinterpret_cast<const uint8_t*>(password.data());
    const size_t len = password.size();
    TMD5Digest f;
    Apr1InitialDigest(password, salt, f.data());

    // The thousand rounds: a round's message is the digest f and the password around the
    // optional salt and the optional second password, so there are only eight layouts. Each is
    // laid out and padded once; a round copies f into its place and runs the compression
    // function over the one to four blocks.
    const size_t maxMessage = 2 * len + salt.size() + 16;
    const size_t stride = (maxMessage + 8) / 64 * 64 + 64;
    struct TLayout {
        uint8_t* Message;
        size_t Blocks;
        size_t DigestAt;
    };
    std::vector<uint8_t> messages(8 * stride, 0);
    TLayout layouts[8];
    for (int kind = 0; kind < 8; ++kind) {
        const bool odd = kind & 1, withSalt = kind & 2, withPassword = kind & 4;
        TLayout& layout = layouts[kind];
        layout.Message = messages.data() + kind * stride;
        size_t n = 0;
        auto put = [&](const void* data, size_t size) {
            if (size) std::memcpy(layout.Message + n, data, size);
            n += size;
        };
        if (odd)
            put(pw, len);
        else {
            layout.DigestAt = n;
            n += 16;
        }
        if (withSalt) put(salt.data(), salt.size());
        if (withPassword) put(pw, len);
        if (odd) {
            layout.DigestAt = n;
            n += 16;
        } else
            put(pw, len);
        const size_t total = (n + 8) / 64 * 64 + 64;
        layout.Message[n] = 0x80;
        const uint64_t bits = static_cast<uint64_t>(n) << 3;
        for (int k = 0; k < 8; ++k)
            layout.Message[total - 8 + k] = static_cast<uint8_t>(bits >> (8 * k));
        layout.Blocks = total / 64;
    }
    for (int i = 0; i < 1000; ++i) {
        const TLayout& layout = layouts[(i & 1) | (i % 3 ? 2 : 0) | (i % 7 ? 4 : 0)];
        std::memcpy(layout.Message + layout.DigestAt, f.data(), 16);
        uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
        for (size_t b = 0; b < layout.Blocks; ++b)
            MD5Transform(state, layout.Message + 64 * b);
        DigestBytes(state, f);
    }
    Wipe(messages);

    std::string result = Apr1Format(salt, f.data());
    Wipe(f);
    return result;
}

void Apr1CryptBatch(const std::vector<std::string_view>& passwords,
                    const std::vector<std::string>& salts, std::vector<std::string>& out,
                    unsigned threads) {
    if (salts.size() != passwords.size())
        throw std::invalid_argument("Apr1CryptBatch: one salt per password is needed");
    const size_t count = passwords.size();
    out.assign(count, std::string());
    // Users side by side in the lanes of the vector registers, on every worker.
    Apr1CryptMultiParallel(passwords, salts, out, threads);
}

} // namespace quorvane
