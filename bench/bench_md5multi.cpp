// "$apr1$" hashes per second of every multi-buffer path on one and two threads, against the same
// computation over OpenSSL's scalar MD5 in the same run, and a 100,000-user MD5 export end to
// end: through `quorvane-cli export` and through CreatePasswordFile in this process.
//
//   bench_md5multi --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// Hash rates are wall-clock: with two threads, two batches run at once and items/s counts both.
// The "vs_openssl" counter divides the rate by the one-thread OpenSSL rate measured at start-up
// (printed first); BM_OpensslBaseline repeats that baseline on one and two threads.

#include "OpensslApr1.h"
#include "export/Md5Multi.h"
#include "export/PasswordFile.h"
#include "export/htpasswd.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

using namespace quorvane;

namespace {

using benchbase::OpensslApr1;

// A batch like a generated user series: passwords of one length, salts all different.
struct TBatch {
    std::vector<std::string> Passwords, Salts, Results;
    std::vector<std::string_view> Views;

    TBatch(size_t count, size_t length) {
        for (size_t k = 0; k < count; ++k) {
            std::string password(length, 'a');
            for (size_t c = 0; c < length; ++c)
                password[c] = KCryptAlphabet[(k * 7 + c * 13) % 64];
            Passwords.push_back(password);
            Salts.push_back(To64(static_cast<uint32_t>(k * 2654435761u), 4) +
                            To64(static_cast<uint32_t>(k), 4));
        }
        Results.resize(count);
        Views.assign(Passwords.begin(), Passwords.end());
    }
};

// The one-thread OpenSSL rate, measured once per run on the wall clock like the rates it is
// compared with.
double OpensslRate() {
    static const double rate = [] {
        using TClock = std::chrono::steady_clock;
        const std::string password = "pw123456", salt = "Qv8.xZ/3";
        int done = 0;
        const TClock::time_point start = TClock::now();
        TClock::time_point now = start;
        while (now - start < std::chrono::milliseconds(500)) {
            benchmark::DoNotOptimize(OpensslApr1(password, salt));
            ++done;
            now = TClock::now();
        }
        return done / std::chrono::duration<double>(now - start).count();
    }();
    return rate;
}

constexpr size_t KBatchUsers = 1024;

// Arguments: path, password length. Each benchmark thread hashes batches of its own.
void BM_Md5Multi(benchmark::State& state) {
    const auto path = static_cast<TLanePath>(state.range(0));
    if (!Md5Paths().Available(path)) {
        state.SkipWithError("this processor cannot run the path");
        return;
    }
    TBatch batch(KBatchUsers, static_cast<size_t>(state.range(1)));
    Apr1CryptMulti(batch.Views, batch.Salts, batch.Results, path);
    for (size_t k = 0; k < 8; ++k)
        if (batch.Results[k] != OpensslApr1(batch.Passwords[k], batch.Salts[k])) {
            state.SkipWithError("the path disagrees with OpenSSL");
            return;
        }
    const double baseline = OpensslRate();
    for (auto _ : state) {
        Apr1CryptMulti(batch.Views, batch.Salts, batch.Results, path);
        benchmark::DoNotOptimize(batch.Results.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * KBatchUsers));
    state.SetLabel(LanePathName(path));
    state.counters["vs_openssl"] =
        benchmark::Counter(static_cast<double>(state.iterations() * KBatchUsers) / baseline,
                           benchmark::Counter::kIsRate);
}

void PathArgs(benchmark::internal::Benchmark* b) {
    for (TLanePath path :
         {TLanePath::Scalar, TLanePath::Generic, TLanePath::Avx2, TLanePath::Avx512})
        if (Md5Paths().Available(path))
            for (int length : {8, 20})
                b->Args({static_cast<int64_t>(path), length});
}
BENCHMARK(BM_Md5Multi)
    ->Apply(PathArgs)
    ->Threads(1)
    ->Threads(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The baseline: the same work over OpenSSL's MD5, one user at a time, on each thread.
void BM_OpensslBaseline(benchmark::State& state) {
    const std::string password(static_cast<size_t>(state.range(0)), 'p');
    for (auto _ : state)
        benchmark::DoNotOptimize(OpensslApr1(password, "Qv8.xZ/3"));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OpensslBaseline)->Arg(8)->Arg(20)->Threads(1)->Threads(2)->UseRealTime();

std::string GDatabase; // removed at the end of the run

// 100,000 enabled users with 10-character passwords, saved as a database once per run.
const std::string& HundredThousandUserDatabase() {
    if (GDatabase.empty())
        GDatabase = [] {
            TUserList list;
            for (int i = 0; i < 100000; ++i) {
                char login[16], password[16];
                std::snprintf(login, sizeof login, "User%06d", (i * 7919) % 100000);
                std::snprintf(password, sizeof password, "pw%08d", i);
                list.Add(login, password);
            }
            list.PassType = TPasswordsType::ptMD5;
            const std::string file =
                "/tmp/quorvane-bench-100k-" + std::to_string(static_cast<long>(getpid())) + ".udx";
            list.SaveToFile(file);
            return file;
        }();
    return GDatabase;
}

std::string OutputFile() {
    return "/tmp/quorvane-bench-100k-" + std::to_string(static_cast<long>(getpid())) + ".htpasswd";
}

bool LooksLikeTheExport(const std::string& file) {
    FILE* in = std::fopen(file.c_str(), "rb");
    if (in == nullptr) return false;
    size_t lines = 0;
    for (int c; (c = std::fgetc(in)) != EOF;)
        if (c == '\n') ++lines;
    std::fclose(in);
    return lines == 100000;
}

// The whole command: start-up, loading the database, the sweep, ordering, hashing on every
// processor, writing the file.
void BM_CliExport100000Users(benchmark::State& state) {
    const std::string database = HundredThousandUserDatabase();
    const std::string output = OutputFile();
    const std::string command = std::string("'") + QUORVANE_CLI_PATH + "' export '" + database +
                                "' --output '" + output + "' --format md5 2>/dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("quorvane-cli export failed");
            break;
        }
    }
    if (!LooksLikeTheExport(output))
        state.SkipWithError("the password file does not have 100,000 lines");
    std::remove(output.c_str());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 100000);
}
BENCHMARK(BM_CliExport100000Users)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// The same export inside this process, on the chosen path and on the portable scalar one.
void BM_CreatePasswordFile100000Users(benchmark::State& state) {
    const auto path = static_cast<TLanePath>(state.range(0));
    if (!Md5Paths().Available(path)) {
        state.SkipWithError("this processor cannot run the path");
        return;
    }
    TUserList list;
    list.LoadFromFile(HundredThousandUserDatabase());
    const std::string output = OutputFile();
    Md5Paths().SetDefault(path);
    for (auto _ : state)
        if (!CreatePasswordFile(output, list, TPasswordsType::ptMD5))
            state.SkipWithError("aborted");
    Md5Paths().SetDefault(TLanePath::Auto);
    if (!LooksLikeTheExport(output))
        state.SkipWithError("the password file does not have 100,000 lines");
    std::remove(output.c_str());
    state.SetLabel(LanePathName(path == TLanePath::Auto ? Md5Paths().Best() : path));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 100000);
}
BENCHMARK(BM_CreatePasswordFile100000Users)
    ->Arg(static_cast<int64_t>(TLanePath::Auto))
    ->Arg(static_cast<int64_t>(TLanePath::Scalar))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("OpenSSL baseline, one thread: %.0f hashes/s\n", OpensslRate());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!GDatabase.empty()) std::remove(GDatabase.c_str());
    return 0;
}
