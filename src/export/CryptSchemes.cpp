#include "export/CryptSchemes.h"

#include "base/CryptoPlugin.h"
#include "base/Errors.h"
#include "base/Workers.h"
#include "export/ExportTexts.h"
#include "export/ShaMulti.h"
#include "export/htpasswd.h"
#include "userdb/UserList.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace quorvane {

namespace {

// libxcrypt's work area (about 32 KiB); zeroed before first use as its manual asks, cleared
// when it goes since it held password-derived state.
struct TCryptArea {
    TCryptArea() : Data(std::make_unique<crypt_data>()) {
        std::memset(Data.get(), 0, sizeof *Data);
    }
    ~TCryptArea() { explicit_bzero(Data.get(), sizeof *Data); }
    TCryptArea(const TCryptArea&) = delete;
    TCryptArea& operator=(const TCryptArea&) = delete;
    std::unique_ptr<crypt_data> Data;
};

} // namespace

void CheckWorkFactor(TCryptKind kind, int workFactor) {
    if (kind == TCryptKind::Bcrypt) {
        if (workFactor < KBcryptCostMin || workFactor > KBcryptCostMax)
            throw EQuorvaneError(Msg(texts::BcryptCostRange, KBcryptCostMin, KBcryptCostMax));
    } else if (workFactor < KShaRoundsMin || workFactor > KShaRoundsMax) {
        throw EQuorvaneError(Msg(texts::ShaRoundsRange, KShaRoundsMin, KShaRoundsMax));
    }
}

namespace {

void CheckPassword(std::string_view password) {
    if (password.find('\0') != std::string_view::npos)
        throw EQuorvaneError(Msg(texts::CryptZeroByte));
}

EQuorvaneError RefusedSetting(std::string_view setting) {
    return EQuorvaneError(Msg(texts::CryptRefusesSetting, std::string(setting)));
}

std::string HashWith(std::string_view password, std::string_view setting, crypt_data& area) {
    CheckPassword(password);
    const std::string phrase(password), set(setting);
    const char* out =
        crypto::CryptLibrary().crypt_rn(phrase.c_str(), set.c_str(), &area, sizeof area);
    // A failure gives a null pointer, or a string starting with "*" that no setting starts with.
    if (out == nullptr || out[0] == '*') throw RefusedSetting(set);
    std::string hash(out);
    explicit_bzero(area.output, sizeof area.output);
    return hash;
}

} // namespace

std::string_view CryptPrefix(TCryptKind kind) {
    switch (kind) {
    case TCryptKind::Bcrypt:
        return "$2y$";
    case TCryptKind::Sha256:
        return "$5$";
    case TCryptKind::Sha512:
        return "$6$";
    }
    return "$6$";
}

std::string CryptSetting(TCryptKind kind, int workFactor, IRandomSource& random) {
    CheckWorkFactor(kind, workFactor);
    char bytes[16];
    for (char& b : bytes)
        b = static_cast<char>(random.Random(256));
    // crypt writes no "rounds=" for the default 5,000; a count of 0 asks for exactly that.
    const unsigned long count =
        kind != TCryptKind::Bcrypt && workFactor == KShaRoundsDefault ? 0 : workFactor;
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    const std::string prefix(CryptPrefix(kind));
    const char* made = crypto::CryptLibrary().crypt_gensalt_rn(
        prefix.c_str(), count, bytes, sizeof bytes, setting, sizeof setting);
    explicit_bzero(bytes, sizeof bytes);
    if (made == nullptr || made[0] == '*')
        throw EQuorvaneError(Msg(texts::CryptCannotMakeSalt, prefix));
    return setting;
}

std::string CryptSettingWithSalt(TCryptKind kind, int workFactor, std::string_view salt) {
    CheckWorkFactor(kind, workFactor);
    const bool alphabet = !salt.empty() && std::all_of(salt.begin(), salt.end(), [](char c) {
        return KCryptAlphabet.find(c) != std::string_view::npos;
    });
    std::string setting(CryptPrefix(kind));
    if (kind == TCryptKind::Bcrypt) {
        if (!alphabet || salt.size() != 22) throw EQuorvaneError(Msg(texts::BcryptSaltInvalid));
        setting += (workFactor < 10 ? "0" : "") + std::to_string(workFactor) + "$";
    } else {
        if (!alphabet || salt.size() > 16) throw EQuorvaneError(Msg(texts::ShaSaltInvalid));
        if (workFactor != KShaRoundsDefault)
            setting += "rounds=" + std::to_string(workFactor) + "$";
    }
    setting += salt;
    // libxcrypt is the judge of what it accepts (bcrypt's last salt character, for one).
    CryptHash("", setting);
    return setting;
}

std::string CryptHash(std::string_view password, std::string_view setting) {
    TCryptArea area;
    return HashWith(password, setting, *area.Data);
}

namespace {

// Hashes passwords[i] under settings[i] into out[i] for the listed i through libxcrypt, on up to
// `workers` threads, each with its own work area.
void LibxcryptBatch(const std::vector<std::string_view>& passwords,
                    const std::vector<std::string>& settings, std::vector<std::string>& out,
                    const std::vector<size_t>& users, size_t workers) {
    const size_t count = users.size();
    workers = std::min(workers, count);
    if (workers == 0) return;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    // Users are dealt out one at a time: a slow hash costs milliseconds, the counter nothing.
    RunShares(workers, [&](size_t) {
        try {
            TCryptArea area;
            for (size_t k = next++; k < count && !failed; k = next++)
                out[users[k]] = HashWith(passwords[users[k]], settings[users[k]], *area.Data);
        } catch (...) {
            failed = true; // the others stop at their next user
            throw;
        }
    });
}

} // namespace

void CryptHashBatch(const std::vector<std::string_view>& passwords,
                    const std::vector<std::string>& settings, std::vector<std::string>& out,
                    unsigned threads) {
    if (settings.size() != passwords.size())
        throw std::invalid_argument("CryptHashBatch: one setting per password is needed");
    const size_t count = passwords.size();
    out.assign(count, std::string());
    if (count == 0) return;
    threads = WorkerCount(threads);

    // SHA-crypt goes to the multi-buffer code, checked first as crypt would check it, so a
    // refusal comes before any work and with crypt's message; bcrypt goes to libxcrypt.
    std::vector<size_t> sha, others;
    for (size_t i = 0; i < count; ++i) {
        const std::string_view setting = settings[i];
        if (!setting.starts_with("$5$") && !setting.starts_with("$6$")) {
            others.push_back(i);
            continue;
        }
        CheckPassword(passwords[i]);
        TShaSetting parsed;
        if (!ParseShaSetting(setting, parsed) || !ShaPasswordAccepted(passwords[i]))
            throw RefusedSetting(setting);
        sha.push_back(i);
    }
    if (!sha.empty()) {
        std::vector<std::string_view> shaPasswords;
        std::vector<std::string> shaSettings, shaOut(sha.size());
        shaPasswords.reserve(sha.size());
        shaSettings.reserve(sha.size());
        for (size_t i : sha) {
            shaPasswords.push_back(passwords[i]);
            shaSettings.push_back(settings[i]);
        }
        ShaCryptMultiParallel(shaPasswords, shaSettings, shaOut, threads);
        for (size_t k = 0; k < sha.size(); ++k)
            out[sha[k]] = std::move(shaOut[k]);
    }
    LibxcryptBatch(passwords, settings, out, others, threads);
}

namespace {

// The fastest of a few runs: the others were slowed by whatever else the machine did.
double MeasureOnce(TCryptKind kind, int workFactor) {
    const std::string setting = CryptSetting(kind, workFactor);
    TCryptArea area;
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        HashWith("estimate", setting, *area.Data);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

} // namespace

double CryptSecondsPerHash(TCryptKind kind, int workFactor) {
    CheckWorkFactor(kind, workFactor);
    // Measured at the cheapest factor; a bcrypt cost step doubles the work, rounds add linearly.
    static std::mutex lock;
    static double base[3] = {0, 0, 0};
    const int slot = static_cast<int>(kind);
    const int baseFactor = kind == TCryptKind::Bcrypt ? KBcryptCostMin : KShaRoundsMin;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (base[slot] == 0) base[slot] = MeasureOnce(kind, baseFactor);
    }
    if (kind == TCryptKind::Bcrypt) return base[slot] * std::ldexp(1.0, workFactor - baseFactor);
    return base[slot] * workFactor / baseFactor;
}

TMessage DurationMessage(double seconds) {
    const auto about = [](const TMessageText& unit, double value) {
        return Msg(unit, static_cast<std::uint64_t>(std::llround(std::max(value, 0.0))));
    };
    if (seconds < 0.0005) return Msg(texts::DurationUnderMs);
    if (seconds < 0.9995) return about(texts::DurationMs, seconds * 1000);
    if (seconds < 59.5) return about(texts::DurationS, seconds);
    if (seconds < 3570) return about(texts::DurationMin, seconds / 60);
    return about(texts::DurationH, seconds / 3600);
}

TMessage ExportEstimateMessage(double secondsPerHash, size_t users, unsigned workers) {
    const double total = secondsPerHash * static_cast<double>(users) / std::max(1u, workers);
    if (users == 1) return Msg(texts::EstimateOneUser, DurationMessage(total));
    return Msg(texts::EstimateUsers, DurationMessage(total), Count(users));
}

TMessage ServerCostMessage(double secondsPerHash) {
    return Msg(texts::ServerCost, DurationMessage(secondsPerHash));
}

} // namespace quorvane
