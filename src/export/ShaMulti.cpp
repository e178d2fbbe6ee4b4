#include "export/ShaMulti.h"

#include "base/Crypto.h"
#include "base/Workers.h"
#include "export/ShaMultiLanes.h"
#include "export/htpasswd.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <new>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace quorvane {

namespace {

TLanePaths GShaPaths("SHA-crypt");

// The unit of a resolved path.
TShaUnit UnitOf(TLanePath path) {
    switch (path) {
    case TLanePath::Generic:
        return ShaUnitGeneric();
#if defined(QUORVANE_LANES_X86)
    case TLanePath::Avx2:
        return ShaUnitAvx2();
    case TLanePath::Avx512:
        return ShaUnitAvx512();
#else
    case TLanePath::Avx2:
    case TLanePath::Avx512:
#endif
    case TLanePath::Auto:
    case TLanePath::Scalar:
        break;
    }
    return ShaUnitScalar();
}

size_t DigestBytes(TShaCryptKind kind) {
    return kind == TShaCryptKind::Sha256 ? 32 : 64;
}

// The system's crypt never writes these into a setting and refuses a setting holding them.
bool CryptRefusesByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= ' ' || u > '~' || c == '!' || c == '*' || c == ':' || c == ';' || c == '\\';
}

// OpenSSL's SHA-2 for the few digests before the rounds, one user at a time.
class TDigest {
public:
    void Start(TShaCryptKind kind) {
        const crypto::TDigestKind wanted = kind == TShaCryptKind::Sha256
                                               ? crypto::TDigestKind::Sha256
                                               : crypto::TDigestKind::Sha512;
        if (FDigest && FDigest->Kind() == wanted) {
            FDigest->Restart();
        } else {
            FDigest.emplace(wanted);
        }
    }
    void Add(const void* bytes, size_t n) { FDigest->Add(bytes, n); }
    void Add(std::string_view text) { Add(text.data(), text.size()); }
    void Finish(uint8_t* out) { FDigest->Finish(out); }

private:
    std::optional<crypto::TDigest> FDigest; // clears its state when it goes
};

// The bytes the rounds of one user start from: the digest of the password, the salt and the
// alternate digest, and the sequences P and S.
void Prepare(TDigest& h, TShaCryptKind kind, std::string_view pw, std::string_view salt,
             uint8_t* digest, uint8_t* p, uint8_t* s) {
    const size_t db = DigestBytes(kind);
    uint8_t alt[64], seq[64];
    h.Start(kind);
    h.Add(pw);
    h.Add(salt);
    h.Add(pw);
    h.Finish(alt);

    h.Start(kind);
    h.Add(pw);
    h.Add(salt);
    size_t n = pw.size();
    for (; n > db; n -= db)
        h.Add(alt, db);
    h.Add(alt, n);
    // One bit of the password's length at a time: the alternate digest for a 1, the password for
    // a 0.
    for (n = pw.size(); n > 0; n >>= 1) {
        if ((n & 1) != 0)
            h.Add(alt, db);
        else
            h.Add(pw);
    }
    h.Finish(digest);

    h.Start(kind);
    for (size_t k = 0; k < pw.size(); ++k)
        h.Add(pw);
    h.Finish(seq);
    for (size_t k = 0; k < pw.size(); ++k)
        p[k] = seq[k % db];

    h.Start(kind);
    for (size_t k = 0; k < 16u + digest[0]; ++k)
        h.Add(salt);
    h.Finish(seq);
    std::memcpy(s, seq, salt.size()); // a salt is shorter than a digest
    explicit_bzero(alt, sizeof alt);
    explicit_bzero(seq, sizeof seq);
}

// The byte orders of the published encoding: each triple gives 4 characters, lowest 6 bits
// first, from (first << 16) | (second << 8) | third; the last triple gives fewer.
struct TTriple {
    uint8_t A, B, C;
};
constexpr TTriple KSha256Order[] = {{0, 10, 20}, {21, 1, 11}, {12, 22, 2}, {3, 13, 23},
                                    {24, 4, 14}, {15, 25, 5}, {6, 16, 26}, {27, 7, 17},
                                    {18, 28, 8}, {9, 19, 29}};
constexpr TTriple KSha512Order[] = {
    {0, 21, 42},  {22, 43, 1},  {44, 2, 23},  {3, 24, 45},  {25, 46, 4},  {47, 5, 26},
    {6, 27, 48},  {28, 49, 7},  {50, 8, 29},  {9, 30, 51},  {31, 52, 10}, {53, 11, 32},
    {12, 33, 54}, {34, 55, 13}, {56, 14, 35}, {15, 36, 57}, {37, 58, 16}, {59, 17, 38},
    {18, 39, 60}, {40, 61, 19}, {62, 20, 41}};

void Encode(std::string& out, uint32_t w, int n) {
    for (int k = 0; k < n; ++k) {
        out += KCryptAlphabet[w & 0x3f];
        w >>= 6;
    }
}

std::string Format(const TShaSetting& setting, const uint8_t* d) {
    std::string out(setting.Kind == TShaCryptKind::Sha256 ? "$5$" : "$6$");
    if (setting.RoundsGiven) out += "rounds=" + std::to_string(setting.Rounds) + "$";
    out += setting.Salt;
    out += '$';
    const auto triple = [&](const TTriple& t) {
        Encode(out, (uint32_t{d[t.A]} << 16) | (uint32_t{d[t.B]} << 8) | d[t.C], 4);
    };
    if (setting.Kind == TShaCryptKind::Sha256) {
        for (const TTriple& t : KSha256Order)
            triple(t);
        Encode(out, (uint32_t{d[31]} << 8) | d[30], 3);
    } else {
        for (const TTriple& t : KSha512Order)
            triple(t);
        Encode(out, d[63], 2);
    }
    return out;
}

// One batch, parsed and checked.
struct TBatch {
    std::span<const std::string_view> Passwords;
    std::vector<TShaSetting> Settings;
    std::span<std::string> Results;
    std::vector<size_t> Order; // sorted by hash, rounds, password and salt length
    // Group g is Order[GroupStart[g] .. GroupStart[g + 1]).
    std::vector<size_t> GroupStart;
};

TBatch Parse(std::span<const std::string_view> passwords, std::span<const std::string> settings,
             std::span<std::string> results, TShaUnit unit) {
    if (settings.size() != passwords.size() || results.size() != passwords.size())
        throw std::invalid_argument(
            "ShaCryptMulti: one setting and one result per password are needed");
    TBatch batch{passwords, std::vector<TShaSetting>(passwords.size()), results, {}, {}};
    for (size_t k = 0; k < passwords.size(); ++k) {
        if (!ParseShaSetting(settings[k], batch.Settings[k]))
            throw std::invalid_argument("ShaCryptMulti: the system's crypt refuses a setting");
        if (!ShaPasswordAccepted(passwords[k]))
            throw std::invalid_argument("ShaCryptMulti: the system's crypt refuses a password");
    }
    batch.Order.resize(passwords.size());
    std::iota(batch.Order.begin(), batch.Order.end(), size_t{0});
    const auto key = [&](size_t k) {
        const TShaSetting& s = batch.Settings[k];
        return std::make_tuple(s.Kind, s.Rounds, passwords[k].size(), s.Salt.size());
    };
    std::stable_sort(batch.Order.begin(), batch.Order.end(),
                     [&](size_t a, size_t b) { return key(a) < key(b); });
    // A group holds at most the lanes of its hash and never mixes hashes or rounds.
    for (size_t i = 0; i < batch.Order.size(); ++i) {
        const TShaSetting& s = batch.Settings[batch.Order[i]];
        const size_t lanes = s.Kind == TShaCryptKind::Sha256 ? unit.Sha256Lanes : unit.Sha512Lanes;
        bool fresh = batch.GroupStart.empty() || i - batch.GroupStart.back() == lanes;
        if (!fresh) {
            const TShaSetting& head = batch.Settings[batch.Order[batch.GroupStart.back()]];
            fresh = head.Kind != s.Kind || head.Rounds != s.Rounds;
        }
        if (fresh) batch.GroupStart.push_back(i);
    }
    batch.GroupStart.push_back(batch.Order.size());
    return batch;
}

// Hashes group g of the batch.
void HashGroup(const TBatch& batch, size_t g, TShaUnit unit, TDigest& digest) {
    const size_t begin = batch.GroupStart[g], count = batch.GroupStart[g + 1] - begin;
    const TShaSetting& head = batch.Settings[batch.Order[begin]];
    std::vector<uint8_t> work(count * (KShaCryptMaxPassword + KShaCryptMaxSalt + 64));
    std::vector<const uint8_t*> p(count), s(count);
    std::vector<uint32_t> pLen(count), sLen(count);
    std::vector<uint8_t*> digests(count);
    for (size_t k = 0; k < count; ++k) {
        const size_t u = batch.Order[begin + k];
        const std::string_view pw = batch.Passwords[u];
        const std::string_view salt = batch.Settings[u].Salt;
        uint8_t* mine = work.data() + k * (KShaCryptMaxPassword + KShaCryptMaxSalt + 64);
        digests[k] = mine;
        p[k] = mine + 64;
        s[k] = mine + 64 + KShaCryptMaxPassword;
        pLen[k] = static_cast<uint32_t>(pw.size());
        sLen[k] = static_cast<uint32_t>(salt.size());
        Prepare(digest, head.Kind, pw, salt, mine, mine + 64, mine + 64 + KShaCryptMaxPassword);
    }
    const TShaLaneJob job{count,    head.Rounds, p.data(),      pLen.data(),
                          s.data(), sLen.data(), digests.data()};
    const bool ok =
        head.Kind == TShaCryptKind::Sha256 ? unit.Sha256Rounds(job) : unit.Sha512Rounds(job);
    if (!ok) {
        explicit_bzero(work.data(), work.size());
        throw std::bad_alloc();
    }
    for (size_t k = 0; k < count; ++k) {
        const size_t u = batch.Order[begin + k];
        batch.Results[u] = Format(batch.Settings[u], digests[k]);
    }
    explicit_bzero(work.data(), work.size());
}

} // namespace

TLanePaths& ShaPaths() {
    return GShaPaths;
}

size_t ShaPathLanes(TShaCryptKind kind, TLanePath path) {
    const TShaUnit unit = UnitOf(GShaPaths.Resolve(path));
    return kind == TShaCryptKind::Sha256 ? unit.Sha256Lanes : unit.Sha512Lanes;
}

bool ParseShaSetting(std::string_view setting, TShaSetting& out) {
    setting = setting.substr(0, setting.find('\0'));
    if (std::any_of(setting.begin(), setting.end(), CryptRefusesByte)) return false;
    TShaSetting parsed;
    if (setting.starts_with("$5$"))
        parsed.Kind = TShaCryptKind::Sha256;
    else if (setting.starts_with("$6$"))
        parsed.Kind = TShaCryptKind::Sha512;
    else
        return false;
    std::string_view rest = setting.substr(3);
    constexpr std::string_view roundsTag = "rounds=";
    if (rest.starts_with(roundsTag)) {
        rest.remove_prefix(roundsTag.size());
        // Neither zero nor a leading zero; crypt refuses, rather than clamps, a count out of range.
        if (rest.empty() || rest[0] < '1' || rest[0] > '9') return false;
        uint64_t rounds = 0;
        size_t digits = 0;
        for (; digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9'; ++digits) {
            rounds = rounds * 10 + static_cast<uint64_t>(rest[digits] - '0');
            if (rounds > static_cast<uint64_t>(999999999)) return false;
        }
        if (digits == rest.size() || rest[digits] != '$' || rounds < 1000) return false;
        parsed.Rounds = static_cast<uint32_t>(rounds);
        parsed.RoundsGiven = true;
        rest.remove_prefix(digits + 1);
    }
    parsed.Salt = rest.substr(0, std::min(rest.find('$'), KShaCryptMaxSalt));
    out = parsed;
    return true;
}

bool ShaPasswordAccepted(std::string_view password) {
    return password.size() <= KShaCryptMaxPassword && password.find('\0') == std::string_view::npos;
}

void ShaCryptMulti(std::span<const std::string_view> passwords,
                   std::span<const std::string> settings, std::span<std::string> results,
                   TLanePath path) {
    const TShaUnit unit = UnitOf(GShaPaths.Resolve(path));
    const TBatch batch = Parse(passwords, settings, results, unit);
    TDigest digest;
    for (size_t g = 0; g + 1 < batch.GroupStart.size(); ++g)
        HashGroup(batch, g, unit, digest);
}

void ShaCryptMultiParallel(std::span<const std::string_view> passwords,
                           std::span<const std::string> settings, std::span<std::string> results,
                           unsigned threads, TLanePath path) {
    const TShaUnit unit = UnitOf(GShaPaths.Resolve(path));
    const TBatch batch = Parse(passwords, settings, results, unit);
    const size_t groups = batch.GroupStart.size() - 1;
    if (groups == 0) return;
    threads = WorkerCount(threads);
    const size_t workers = std::min<size_t>(threads, groups);
    // Worker w takes groups w, w + workers, ...: the long passwords, sorted to the end, are
    // spread over all workers like the short ones.
    RunShares(workers, [&](size_t w) {
        TDigest digest;
        for (size_t g = w; g < groups; g += workers)
            HashGroup(batch, g, unit, digest);
    });
}

} // namespace quorvane
