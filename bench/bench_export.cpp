// Throughput of the "$apr1$" hash on one thread, against the same 1002 digests done with
// OpenSSL's MD5 in the same run, and the time of a whole MD5-form export of 100,000 users.
//
//   bench_export --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
//
// With "--openssl-apr1 DB" it hashes the users an export of DB writes, one after another on
// one thread with OpenSSL's MD5, and prints their count and the processor time taken: the
// scalar baseline bench/whole_job.py sets the whole export against.

#include "OpensslApr1.h"
#include "base/DateUtil.h"
#include "export/PasswordFile.h"
#include "export/htpasswd.h"
#include "userdb/UserList.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

using namespace quorvane;

namespace {

using benchbase::OpensslApr1;

const std::string KSalt = "Qv8.xZ/3";

// The argument is the password length: 8 takes one block per round, 20 two on most rounds.
void BM_Apr1Crypt(benchmark::State& state) {
    const std::string password(static_cast<size_t>(state.range(0)), 'p');
    if (Apr1CryptWithSalt(password, KSalt) != OpensslApr1(password, KSalt))
        state.SkipWithError("the two computations disagree");
    for (auto _ : state)
        benchmark::DoNotOptimize(Apr1CryptWithSalt(password, KSalt));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Apr1Crypt)->Arg(8)->Arg(20);

void BM_OpensslMd5Baseline(benchmark::State& state) {
    const std::string password(static_cast<size_t>(state.range(0)), 'p');
    for (auto _ : state)
        benchmark::DoNotOptimize(OpensslApr1(password, KSalt));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OpensslMd5Baseline)->Arg(8)->Arg(20);

TUserList& HundredThousandUsers() {
    static TUserList list;
    if (list.Count() == 0) {
        for (int i = 0; i < 100000; ++i) {
            char login[16], password[16];
            std::snprintf(login, sizeof login, "User%06d", (i * 7919) % 100000);
            std::snprintf(password, sizeof password, "pw%08d", i);
            list.Add(login, password);
        }
    }
    return list;
}

// The order of the file alone: collation keys, sorting, namesakes.
void BM_Order100000Users(benchmark::State& state) {
    const TUserList& list = HundredThousandUsers();
    for (auto _ : state)
        benchmark::DoNotOptimize(PasswordFileEntries(list));
}
BENCHMARK(BM_Order100000Users)->Unit(benchmark::kMillisecond);

// A whole export in the MD5 form: 100,000 enabled users with 10-character passwords, hashed on
// every processor, written to a file.
void BM_Export100000Users(benchmark::State& state) {
    const TUserList& list = HundredThousandUsers();
    const std::string target =
        "/tmp/quorvane-bench-htpasswd-" + std::to_string(static_cast<long>(getpid()));
    for (auto _ : state) {
        if (!CreatePasswordFile(target, list, TPasswordsType::ptMD5))
            state.SkipWithError("aborted");
    }
    std::remove(target.c_str());
    state.SetItemsProcessed(state.iterations() * 100000);
}
// Wall time decides; the CPU column counts every thread of the process.
BENCHMARK(BM_Export100000Users)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

int OpensslOverDatabase(const char* path) {
    TUserList list;
    list.LoadFromFile(path);
    // The export's sweep first disables the users whose expiry has passed.
    const TDateTime now = Now();
    for (int i = 0; i < list.Count(); ++i)
        DisableIfExpired(list.Users(i), now);
    std::vector<const TUserProp*> written;
    for (const TUserProp* user : PasswordFileEntries(list))
        if (!user->Disable) written.push_back(user);
    const double start = ProcessCpuSeconds();
    size_t bytes = 0;
    for (const TUserProp* user : written)
        bytes += OpensslApr1(user->Password, KSalt).size();
    const double cpu = ProcessCpuSeconds() - start;
    if (bytes == 0 && !written.empty()) return 1;
    std::printf("%zu %.6f\n", written.size(), cpu);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--openssl-apr1") == 0)
        return OpensslOverDatabase(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
