// What encryption costs. One guess at the master password: Argon2id at 64 MiB with 1 to 24 passes
// (the parameters a new encryption uses must make it take at least 0.5 s). Save and load of
// 100,000 users, encrypted and plain, with the key derivation alone as the baseline of the same
// run: an encrypted load should take at most the derivation plus 10 % of the plain load, an
// encrypted save (which derives nothing: the key is kept) at most 50 % more than a plain one.
//
// bench_envelope [benchmark flags]   the timings (medians with --benchmark_repetitions)
// bench_envelope --guess-peak OPS    peak resident memory of one guess, in a process of its own

#include "BenchUsers.h"
#include "userdb/DataLib.h"
#include "userdb/Envelope.h"
#include "userdb/UserList.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

using namespace quorvane;
using namespace quorvane::bench;

namespace {

constexpr uint64_t kMemory = uint64_t{64} << 20;

TMasterCredentials Credentials() {
    return TMasterCredentials{TSecret(std::string_view("correct horse battery staple")), {}};
}

void BM_OneGuess(benchmark::State& state) {
    const TKdfParams params{static_cast<uint64_t>(state.range(0)), kMemory};
    for (auto _ : state)
        benchmark::DoNotOptimize(TDatabaseKey::Create(Credentials(), params));
    state.counters["MiB"] = static_cast<double>(kMemory >> 20);
}
BENCHMARK(BM_OneGuess)
    ->Arg(1)
    ->Arg(4)
    ->Arg(16)
    ->Arg(20)
    ->Arg(24)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The derivation with the parameters new files get: the baseline of the encrypted load.
void BM_DefaultGuess(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(TDatabaseKey::Create(Credentials()));
    state.counters["ops"] = static_cast<double>(DefaultKdfParams().OpsLimit);
}
BENCHMARK(BM_DefaultGuess)->Unit(benchmark::kMillisecond)->UseRealTime();

void Save(benchmark::State& state, bool encrypted) {
    TUserList& list = BigList();
    list.SetEncryption(encrypted ? TDatabaseKey::Create(Credentials()) : nullptr);
    const std::string path = TempPath("bench-envelope-save");
    for (auto _ : state)
        list.SaveToFile(path);
    ::unlink(path.c_str());
    list.SetEncryption(nullptr);
}

void Load(benchmark::State& state, bool encrypted) {
    TUserList& big = BigList();
    big.SetEncryption(encrypted ? TDatabaseKey::Create(Credentials()) : nullptr);
    const std::string path = TempPath("bench-envelope-load");
    big.SaveToFile(path);
    big.SetEncryption(nullptr);
    for (auto _ : state) {
        TUserList list;
        list.SetCredentialSource([](bool) { return Credentials(); });
        list.LoadFromFile(path);
        benchmark::DoNotOptimize(list.Count());
    }
    ::unlink(path.c_str());
}

void BM_SavePlain(benchmark::State& state) {
    Save(state, false);
}
void BM_SaveEncrypted(benchmark::State& state) {
    Save(state, true);
}
void BM_LoadPlain(benchmark::State& state) {
    Load(state, false);
}
void BM_LoadEncrypted(benchmark::State& state) {
    Load(state, true);
}
// The sealing alone, of the text of the same list held in memory: what encryption adds to a
// save at least.
void BM_SealOnly(benchmark::State& state) {
    const std::string text = ListText(BigList());
    const auto key = TDatabaseKey::Create(Credentials());
    for (auto _ : state) {
        size_t sealed = 0;
        TDatabaseKey::TSealer sealer(*key, [&sealed](const char*, size_t n) { sealed += n; });
        for (size_t at = 0; at < text.size(); at += 300000)
            sealer.Write(text.data() + at, std::min<size_t>(300000, text.size() - at));
        sealer.Finish();
        benchmark::DoNotOptimize(sealed);
    }
    state.counters["text_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_SealOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
// The envelope's own part of a load: the same file sealed with the cheapest key derivation
// (one pass over 8 KiB), so what remains is reading, opening and parsing.
void BM_LoadEncryptedCheapKdf(benchmark::State& state) {
    test_hooks::SetDefaultKdfParams({1, 8192});
    Load(state, true);
    test_hooks::SetDefaultKdfParams({});
}
BENCHMARK(BM_SavePlain)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveEncrypted)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadPlain)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadEncrypted)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadEncryptedCheapKdf)->Unit(benchmark::kMillisecond)->UseRealTime();

int GuessPeak(const char* ops) {
    struct rusage before {
    }, after{};
    ::getrusage(RUSAGE_SELF, &before);
    const TKdfParams params{static_cast<uint64_t>(std::atoi(ops)), kMemory};
    benchmark::DoNotOptimize(TDatabaseKey::Create(Credentials(), params));
    ::getrusage(RUSAGE_SELF, &after);
    std::printf("one guess at %s passes, 64 MiB: peak RSS %ld KiB, %ld KiB before\n", ops,
                after.ru_maxrss, before.ru_maxrss);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--guess-peak") == 0) return GuessPeak(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
