#pragma once
// What the tests of the many-users hash paths share: a batch of users, its results held to the
// one-user computation, and a progress sink that records and aborts.

#include "export/PasswordFile.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
