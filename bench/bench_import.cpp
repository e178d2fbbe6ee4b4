// The imports of users from files, at 10,000, 40,000 and 200,000 lines, against reading and
// splitting the same text alone (the baseline of the same run): linear means the time per line
// stays the same as the file grows. Target: 200,000 lines of a password file imported in at
// most 2 s, also again over the same users with every line replacing one ("--on-conflict
// replace").
//
// bench_import --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "base/Random.h"
#include "export/HtpasswdImport.h"
#include "userdb/CSVImport.h"
#include "userdb/UserList.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace quorvane;

namespace {

// Logins that differ in case only now and then, values of every kind a site's file holds.
std::string PasswordFileText(int lines) {
    TLcgRandom r(4711);
    static const char* const kValues[] = {
        "$apr1$WmeOjj75$5cpk8XAoS6RQcPGkLm5i40",
        "$2y$05$6ZkXYL.VmcU7v9FzeDbBO.uawyatMbosZ3LfQY1OrkLbrwLiSGS3S",
        "{SHA}Ic5o83sXgQ4ET+PvVlWA+X1NfNc=", "*", "BdLn.EIveFex2"};
    std::string text;
    for (int i = 0; i < lines; ++i) {
        text += "user" + std::to_string(i) + (r.Random(2) ? "x" : "X") + ":" +
                kValues[r.Random(5)] + "\n";
    }
    return text;
}

std::string TextImportText(int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += "user" + std::to_string(i) + ",pw" + std::to_string(i) + ",u" + std::to_string(i) +
                "@example.org,\"User " + std::to_string(i) + "\"\r\n";
    return text;
}

void BM_SplitLinesOnly(benchmark::State& state) {
    const std::string text = PasswordFileText(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(SplitImportLines(text));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SplitLinesOnly)->Arg(10000)->Arg(40000)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_ImportHtpasswd(benchmark::State& state) {
    const std::string text = PasswordFileText(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TUserList list;
        const auto entries = ParseHtpasswd(text);
        benchmark::DoNotOptimize(ImportHtpasswd(list, entries, {}));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ImportHtpasswd)->Arg(10000)->Arg(40000)->Arg(200000)->Unit(benchmark::kMillisecond);

// The same file again over a database that holds its users: every line is a clash, replaced.
void BM_ImportHtpasswdReplacing(benchmark::State& state) {
    const std::string text = PasswordFileText(static_cast<int>(state.range(0)));
    const auto entries = ParseHtpasswd(text);
    for (auto _ : state) {
        state.PauseTiming();
        TUserList list;
        ImportHtpasswd(list, entries, {});
        state.ResumeTiming();
        benchmark::DoNotOptimize(
            ImportHtpasswd(list, ParseHtpasswd(text), [](const THtpasswdClash&) { return true; }));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ImportHtpasswdReplacing)
    ->Arg(10000)
    ->Arg(40000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);

// A text file imported into a database that already holds its users (each named as such).
void BM_ImportTextOverExisting(benchmark::State& state) {
    const std::string text = TextImportText(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        TUserList list;
        ImportUsersFromText(text, list);
        state.ResumeTiming();
        TImportReport report;
        TImportOptions options;
        options.SkipExisting = true;
        benchmark::DoNotOptimize(ImportUsersFromText(text, list, &report, options));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ImportTextOverExisting)
    ->Arg(10000)
    ->Arg(40000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);

} // namespace
