#include "export/Md5Multi.h"

#include "base/Workers.h"
#include "export/Md5MultiLanes.h"
#include "export/htpasswd.h"
#include "export/md5.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <new>
#include <numeric>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace quorvane {

namespace {

TLanePaths GMd5Paths("MD5");

// The rounds and the lane count of one way of computing MD5.
struct TKernel {
    bool (*Rounds)(const TApr1LaneJob& job);
    size_t (*Lanes)();
};

// The kernel of a resolved path.
TKernel KernelOf(TLanePath path) {
    switch (path) {
    case TLanePath::Generic:
        return {Apr1RoundsGeneric, Apr1LanesGeneric};
#if defined(QUORVANE_LANES_X86)
    case TLanePath::Avx2:
        return {Apr1RoundsAvx2, Apr1LanesAvx2};
    case TLanePath::Avx512:
        return {Apr1RoundsAvx512, Apr1LanesAvx512};
#else
    case TLanePath::Avx2:
    case TLanePath::Avx512:
#endif
    case TLanePath::Auto:
    case TLanePath::Scalar:
        break;
    }
    return {Apr1RoundsScalar, Apr1LanesScalar};
}

bool RunRounds(TLanePath path, const TApr1LaneJob& job) {
    return KernelOf(path).Rounds(job);
}

using TMd5Digest = uint8_t[16];

// Hashes the users order[0], ..., order[count - 1] (indices into the spans) on the given path.
void HashRange(std::span<const std::string_view> passwords, std::span<const std::string> salts,
               std::span<std::string> results, const size_t* order, size_t count, TLanePath path) {
    if (count == 0) return;
    std::vector<const uint8_t*> pw, salt;
    std::vector<uint32_t> pwLen, saltLen;
    std::vector<uint8_t*> digest;
    std::vector<size_t> users;
    std::vector<TMd5Digest> digests(count);
    pw.reserve(count);
    salt.reserve(count);
    pwLen.reserve(count);
    saltLen.reserve(count);
    digest.reserve(count);
    users.reserve(count);
    for (size_t k = 0; k < count; ++k) {
        const size_t u = order[k];
        const std::string_view s = Apr1Salt(salts[u]);
        if (passwords[u].size() > KMaxLanePasswordLength) {
            // Too long for the lanes: the one-user computation, whose result is the same.
            results[u] = Apr1CryptWithSalt(passwords[u], s);
            continue;
        }
        Apr1InitialDigest(passwords[u], s, digests[k]);
        pw.push_back(reinterpret_cast<const uint8_t*>(passwords[u].data()));
        pwLen.push_back(static_cast<uint32_t>(passwords[u].size()));
        salt.push_back(reinterpret_cast<const uint8_t*>(s.data()));
        saltLen.push_back(static_cast<uint32_t>(s.size()));
        digest.push_back(digests[k]);
        users.push_back(u);
    }
    const TApr1LaneJob job{pw.size(),   pw.data(),      pwLen.data(),
                           salt.data(), saltLen.data(), digest.data()};
    if (!RunRounds(path, job)) throw std::bad_alloc();
    for (size_t k = 0; k < users.size(); ++k)
        results[users[k]] = Apr1Format(Apr1Salt(salts[users[k]]), digest[k]);
    explicit_bzero(digests.data(), digests.size() * sizeof(TMd5Digest));
}

// Indices of the passwords, shortest first (stable), so that lanes of a group share lengths.
std::vector<size_t> ByLength(std::span<const std::string_view> passwords) {
    std::vector<size_t> order(passwords.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return passwords[a].size() < passwords[b].size(); });
    return order;
}

void CheckSizes(size_t passwords, size_t salts, size_t results) {
    if (salts != passwords || results != passwords)
        throw std::invalid_argument(
            "Apr1CryptMulti: one salt and one result per password are needed");
}

} // namespace

TLanePaths& Md5Paths() {
    return GMd5Paths;
}

size_t Md5PathLanes(TLanePath path) {
    return KernelOf(GMd5Paths.Resolve(path)).Lanes();
}

void Apr1CryptMulti(std::span<const std::string_view> passwords, std::span<const std::string> salts,
                    std::span<std::string> results, TLanePath path) {
    CheckSizes(passwords.size(), salts.size(), results.size());
    const TLanePath resolved = GMd5Paths.Resolve(path);
    const std::vector<size_t> order = ByLength(passwords);
    HashRange(passwords, salts, results, order.data(), order.size(), resolved);
}

void Apr1CryptMultiParallel(std::span<const std::string_view> passwords,
                            std::span<const std::string> salts, std::span<std::string> results,
                            unsigned threads, TLanePath path) {
    CheckSizes(passwords.size(), salts.size(), results.size());
    const TLanePath resolved = GMd5Paths.Resolve(path);
    const size_t count = passwords.size();
    if (count == 0) return;
    threads = WorkerCount(threads);
    const std::vector<size_t> order = ByLength(passwords);

    // Whole groups go to the workers in turn, so no worker runs a half-empty group that another
    // one could have filled.
    const size_t lanes = Md5PathLanes(resolved);
    const size_t groups = (count + lanes - 1) / lanes;
    const size_t workers = std::min<size_t>(threads, groups);
    if (workers <= 1) {
        HashRange(passwords, salts, results, order.data(), count, resolved);
        return;
    }
    // Worker w takes groups w, w + workers, ...: the long passwords, sorted to the end, are
    // spread over all workers like the short ones.
    RunShares(workers, [&](size_t w) {
        std::vector<size_t> mine;
        mine.reserve((groups / workers + 1) * lanes);
        for (size_t g = w; g < groups; g += workers)
            for (size_t k = g * lanes; k < std::min(count, (g + 1) * lanes); ++k)
                mine.push_back(order[k]);
        HashRange(passwords, salts, results, mine.data(), mine.size(), resolved);
    });
}

} // namespace quorvane
