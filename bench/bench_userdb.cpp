// Save, load, Fingerprint and ChangeStamp of a users database of 100,000 users with realistic
// fields: 10-character logins and passwords, full names, e-mail addresses, some multi-line
// comments. Targets: load and save at most 0.3 s, Fingerprint at most 30 ms, peak memory at
// most 3 times the file's size.
//
// bench_userdb [benchmark flags]         the timings (medians with --benchmark_repetitions)
// bench_userdb --peak load|save FILE     peak resident memory of one load or one save, each in
//                                        a process of its own, against the file's size
// bench_userdb --make FILE N [K]         writes a database of N such users (for compare.py);
//                                        with K, every K-th is disabled and none has expired

#include "BenchUsers.h"
#include "userdb/DataLib.h"
#include "userdb/UserList.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvane;
using namespace quorvane::bench;

namespace {

long long FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

void BM_SaveToFile(benchmark::State& state) {
    TUserList& list = BigList();
    const std::string path = TempPath("bench-save");
    for (auto _ : state)
        list.SaveToFile(path);
    state.counters["file_bytes"] = static_cast<double>(FileSize(path));
    ::unlink(path.c_str());
}
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadFromFile(benchmark::State& state) {
    const std::string path = TempPath("bench-load");
    BigList().SaveToFile(path);
    for (auto _ : state) {
        TUserList list;
        list.LoadFromFile(path);
        benchmark::DoNotOptimize(list.Count());
    }
    state.counters["file_bytes"] = static_cast<double>(FileSize(path));
    ::unlink(path.c_str());
}
BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Fingerprint(benchmark::State& state) {
    const TUserList& list = BigList();
    for (auto _ : state)
        benchmark::DoNotOptimize(list.Fingerprint());
}
BENCHMARK(BM_Fingerprint)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ChangeStamp(benchmark::State& state) {
    const TUserList& list = BigList();
    for (auto _ : state)
        benchmark::DoNotOptimize(list.ChangeStamp());
}
BENCHMARK(BM_ChangeStamp)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline of the same run: only building the object stream, without summing it.
void BM_ObjectStreamOnly(benchmark::State& state) {
    const TUserList& list = BigList();
    for (auto _ : state)
        benchmark::DoNotOptimize(WriteObjectStream(list).size());
}
BENCHMARK(BM_ObjectStreamOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

long MaxRssKb() {
    struct rusage ru {};
    ::getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

int Peak(const std::string& what, const std::string& path) {
    if (what == "save") {
        TUserList list;
        Fill(list);
        const long before = MaxRssKb();
        list.SaveToFile(path);
        const long after = MaxRssKb();
        const double file = static_cast<double>(FileSize(path));
        std::printf("save: file %.0f bytes, peak RSS %ld KiB (%.2f x file), of which the list "
                    "itself %ld KiB; save adds %ld KiB (%.2f x file)\n",
                    file, after, after * 1024.0 / file, before, after - before,
                    (after - before) * 1024.0 / file);
        return 0;
    }
    if (what == "load") {
        const long before = MaxRssKb();
        TUserList list;
        list.LoadFromFile(path);
        const long after = MaxRssKb();
        const double file = static_cast<double>(FileSize(path));
        std::printf("load: %d users, file %.0f bytes, peak RSS %ld KiB (%.2f x file), "
                    "process before loading %ld KiB\n",
                    list.Count(), file, after, after * 1024.0 / file, before);
        return 0;
    }
    std::fprintf(stderr, "usage: bench_userdb --peak load|save FILE\n");
    return 2;
}

} // namespace

int Make(const std::string& path, const char* count, const char* leftOutEvery) {
    const int users = std::atoi(count);
    const int every = leftOutEvery != nullptr ? std::atoi(leftOutEvery) : 0;
    if (users < 0 || every < 0) return 2;
    TUserList list;
    Fill(list, users, every);
    list.SaveToFile(path);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--peak") == 0) return Peak(argv[2], argv[3]);
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--make") == 0)
        return Make(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
