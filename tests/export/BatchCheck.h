#pragma once
// What the tests of the many-users hash paths share: the paths, a batch of users, its results
// held to the one-user computation, a kernel's choice of path, and a progress sink that records
// and aborts.

#include "export/LanePaths.h"
#include "export/PasswordFile.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

constexpr quorvane::TLanePath KLanePaths[] = {
    quorvane::TLanePath::Scalar, quorvane::TLanePath::Generic, quorvane::TLanePath::Avx2,
    quorvane::TLanePath::Avx512};

// A parameterised test's name for its path: "avx2".
inline std::string PathParamName(const ::testing::TestParamInfo<quorvane::TLanePath>& info) {
    return quorvane::LanePathName(info.param);
}

// Passwords and, beside each, its setting (an "$apr1$" salt, a SHA-crypt setting).
struct TBatch {
    std::vector<std::string> Passwords, Settings;
    void Add(std::string password, std::string setting) {
        Passwords.push_back(std::move(password));
        Settings.push_back(std::move(setting));
    }
    std::size_t Size() const { return Passwords.size(); }
};

// The one-user result of Alone, each computed once for the whole program (the one-user code is
// slow in the sanitized debug build).
template <std::string (*Alone)(std::string_view, std::string_view)>
const std::string& OneUser(const std::string& password, const std::string& setting) {
    static std::map<std::pair<std::string, std::string>, std::string> cache;
    auto [it, added] = cache.try_emplace({password, setting});
    if (added) it->second = Alone(password, setting);
    return it->second;
}

// Compares the first results.size() users of the batch with Alone and names the first few that
// differ.
template <std::string (*Alone)(std::string_view, std::string_view)>
void ExpectSameAsOneUser(const TBatch& batch, const std::vector<std::string>& results) {
    ASSERT_LE(results.size(), batch.Size());
    int reported = 0;
    for (std::size_t k = 0; k < results.size(); ++k) {
        const std::string& expected = OneUser<Alone>(batch.Passwords[k], batch.Settings[k]);
        if (results[k] != expected && reported++ < 5)
            ADD_FAILURE() << "user " << k << ": password of " << batch.Passwords[k].size()
                          << " bytes, setting \"" << batch.Settings[k] << "\": got " << results[k]
                          << ", expected " << expected;
    }
    EXPECT_EQ(reported, 0) << "results that differ from the one-user computation";
}

// A kernel's choice of path: the portable paths run anywhere, the processor's AVX2 is known,
// the best path is one it has and not the slow portable one; a path it lacks is refused as the
// default and for a batch (hash(path) throws); any other, made the default, is what Auto runs,
// with that path's lanes (lanes(path)) and results (check(hash(Auto))). Auto then stands for the
// best path again.
template <class FHash, class FLanes, class FCheck>
void ExpectPathChoice(quorvane::TLanePaths& paths, const FHash& hash, const FLanes& lanes,
                      const FCheck& check) {
    using quorvane::TLanePath;
    EXPECT_TRUE(paths.Available(TLanePath::Scalar));
    EXPECT_TRUE(paths.Available(TLanePath::Generic));
    EXPECT_TRUE(paths.Available(paths.Best()));
    EXPECT_NE(paths.Best(), TLanePath::Auto);
    EXPECT_NE(paths.Best(), TLanePath::Generic);
#if defined(__x86_64__)
    EXPECT_EQ(paths.Available(TLanePath::Avx2), __builtin_cpu_supports("avx2") != 0);
#endif
    for (TLanePath path : KLanePaths) {
        SCOPED_TRACE(quorvane::LanePathName(path));
        if (!paths.Available(path)) {
            EXPECT_THROW(paths.SetDefault(path), std::invalid_argument);
            EXPECT_THROW(hash(path), std::invalid_argument);
            continue;
        }
        paths.SetDefault(path);
        EXPECT_EQ(paths.Default(), path);
        EXPECT_EQ(lanes(TLanePath::Auto), lanes(path));
        check(hash(TLanePath::Auto));
    }
    paths.SetDefault(TLanePath::Auto);
    EXPECT_EQ(paths.Default(), paths.Best());
}

// Records every progress text and asks for the abort after a given number of them.
class TRecordingProgress : public quorvane::IExportProgress {
public:
    explicit TRecordingProgress(std::size_t abortAfter = SIZE_MAX) : FAbortAfter(abortAfter) {}
    void Progress(const std::string& text) override { Texts.push_back(text); }
    bool CancelRequested() override { return Texts.size() >= FAbortAfter; }
    std::vector<std::string> Texts;

private:
    std::size_t FAbortAfter;
};
