// SHA-256-crypt and SHA-512-crypt hashes per second of every multi-buffer path on one thread,
// against libxcrypt's crypt_rn doing the same work one user at a time in the same run.
//
//   taskset -c 1 bench_shamulti --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// The "vs_libxcrypt" counter divides a path's rate by crypt_rn's rate for the same hash, measured
// at start-up (printed first) on the wall clock like the rates it is compared with;
// BM_Libxcrypt repeats that baseline. Pinned to one core, the figures are per core. The
// 100,000-user export against an older build: bench/compare.py --only "export sha512".

#include "export/ShaMulti.h"

#include <benchmark/benchmark.h>

#include <crypt.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using namespace quorvane;

namespace {

constexpr size_t KBatchUsers = 256;

const char* PrefixOf(int64_t kind) {
    return kind == 0 ? "$5$" : "$6$";
}

// A batch like a generated user series: passwords of one length, 16-character salts all
// different, the default 5,000 rounds.
struct TBatch {
    std::vector<std::string> Passwords, Settings, Results;
    std::vector<std::string_view> Views;

    TBatch(size_t count, size_t length, int64_t kind) {
        for (size_t k = 0; k < count; ++k) {
            std::string password = std::to_string(1000000 + k);
            password.resize(length, 'p'); // the same length as PasswordOf
            Passwords.push_back(password);
            Settings.push_back(PrefixOf(kind) + ("Qv8.xZ/3salt" + std::to_string(1000 + k)));
        }
        Results.resize(count);
        Views.assign(Passwords.begin(), Passwords.end());
    }
};

// A password of the given length, as the batches use.
std::string PasswordOf(size_t length) {
    std::string password = "1000000";
    password.resize(length, 'p');
    return password;
}

// crypt_rn's rate for one hash and password length on this thread, measured once per run: the
// length decides how many blocks a round compresses, so the baseline must share it.
double LibxcryptRate(int64_t kind, size_t length) {
    static std::map<std::pair<int64_t, size_t>, double> rates;
    double& rate = rates[{kind, length}];
    if (rate == 0) {
        using TClock = std::chrono::steady_clock;
        auto area = std::make_unique<crypt_data>();
        std::memset(area.get(), 0, sizeof *area);
        const std::string setting = std::string(PrefixOf(kind)) + "Qv8.xZ/3salt1000";
        const std::string password = PasswordOf(length);
        int done = 0;
        const TClock::time_point start = TClock::now();
        TClock::time_point now = start;
        while (now - start < std::chrono::seconds(1)) {
            benchmark::DoNotOptimize(
                crypt_rn(password.c_str(), setting.c_str(), area.get(), sizeof *area));
            ++done;
            now = TClock::now();
        }
        rate = done / std::chrono::duration<double>(now - start).count();
    }
    return rate;
}

// Arguments: path, hash (0 SHA-256, 1 SHA-512), password length.
void BM_ShaMulti(benchmark::State& state) {
    const auto path = static_cast<TLanePath>(state.range(0));
    if (!ShaPaths().Available(path)) {
        state.SkipWithError("this processor cannot run the path");
        return;
    }
    TBatch batch(KBatchUsers, static_cast<size_t>(state.range(2)), state.range(1));
    auto area = std::make_unique<crypt_data>();
    std::memset(area.get(), 0, sizeof *area);
    ShaCryptMulti(batch.Views, batch.Settings, batch.Results, path);
    for (size_t k = 0; k < 4; ++k)
        if (batch.Results[k] != crypt_rn(batch.Passwords[k].c_str(), batch.Settings[k].c_str(),
                                         area.get(), sizeof *area)) {
            state.SkipWithError("the path disagrees with crypt_rn");
            return;
        }
    const double baseline = LibxcryptRate(state.range(1), static_cast<size_t>(state.range(2)));
    for (auto _ : state) {
        ShaCryptMulti(batch.Views, batch.Settings, batch.Results, path);
        benchmark::DoNotOptimize(batch.Results.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * KBatchUsers));
    state.SetLabel(LanePathName(path));
    state.counters["vs_libxcrypt"] =
        benchmark::Counter(static_cast<double>(state.iterations() * KBatchUsers) / baseline,
                           benchmark::Counter::kIsRate);
}

void PathArgs(benchmark::internal::Benchmark* b) {
    for (TLanePath path :
         {TLanePath::Scalar, TLanePath::Generic, TLanePath::Avx2, TLanePath::Avx512})
        if (ShaPaths().Available(path))
            for (int64_t kind : {0, 1})
                for (int64_t length : {10, 20})
                    b->Args({static_cast<int64_t>(path), kind, length});
}
BENCHMARK(BM_ShaMulti)->Apply(PathArgs)->UseRealTime()->Unit(benchmark::kMillisecond);

// The baseline: crypt_rn one user at a time. Arguments: hash, password length.
void BM_Libxcrypt(benchmark::State& state) {
    auto area = std::make_unique<crypt_data>();
    std::memset(area.get(), 0, sizeof *area);
    const std::string setting = std::string(PrefixOf(state.range(0))) + "Qv8.xZ/3salt1000";
    const std::string password = PasswordOf(static_cast<size_t>(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            crypt_rn(password.c_str(), setting.c_str(), area.get(), sizeof *area));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Libxcrypt)
    ->ArgsProduct({{0, 1}, {10, 20}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    for (size_t length : {10, 20})
        std::printf("libxcrypt baseline, one thread, %zu-byte passwords: SHA-256-crypt %.0f, "
                    "SHA-512-crypt %.0f hashes/s\n",
                    length, LibxcryptRate(0, length), LibxcryptRate(1, length));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
