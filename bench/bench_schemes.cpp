// The slow password forms: bcrypt (cost 5) and SHA-512-crypt (5,000 rounds) through the
// password file writer's batch on one and on two workers, against libxcrypt's crypt_rn called in
// a plain loop on one thread in the same run; and a 10,000-user bcrypt export, first without
// and then with the hash cache.
//
//   bench_schemes --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "export/CryptSchemes.h"
#include "export/HashCache.h"
#include "export/PasswordFile.h"
#include "userdb/DataLib.h"

#include <benchmark/benchmark.h>

#include <crypt.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace quorvane;

namespace {

constexpr size_t KBatch = 64; // hashes per iteration of the batch benchmarks

TCryptKind KindOf(int64_t arg) {
    return arg == 0 ? TCryptKind::Bcrypt : TCryptKind::Sha512;
}
int FactorOf(int64_t arg) {
    return arg == 0 ? 5 : 5000;
}

// range(0): 0 bcrypt cost 5, 1 SHA-512-crypt 5,000 rounds.
void BM_LibxcryptLoop(benchmark::State& state) {
    const std::string setting = CryptSetting(KindOf(state.range(0)), FactorOf(state.range(0)));
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof *data);
    size_t i = 0;
    for (auto _ : state) {
        const std::string password = "password" + std::to_string(i++ % 1000);
        benchmark::DoNotOptimize(crypt_rn(password.c_str(), setting.c_str(), data.get(),
                                          static_cast<int>(sizeof *data)));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LibxcryptLoop)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// range(0) as above, range(1) the number of workers.
void BM_CryptHashBatch(benchmark::State& state) {
    std::vector<std::string> passwords, settings;
    for (size_t i = 0; i < KBatch; ++i) {
        passwords.push_back("password" + std::to_string(i));
        settings.push_back(CryptSetting(KindOf(state.range(0)), FactorOf(state.range(0))));
    }
    const std::vector<std::string_view> views(passwords.begin(), passwords.end());
    std::vector<std::string> out;
    for (auto _ : state)
        CryptHashBatch(views, settings, out, static_cast<unsigned>(state.range(1)));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * KBatch));
}
BENCHMARK(BM_CryptHashBatch)
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A database of 10,000 users in bcrypt cost 5 in a folder of its own, its cache beside it.
struct TExportSetup {
    TExportSetup() {
        char pattern[] = "/tmp/qvbench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        Folder = pattern;
        Db = Folder + "/site.udx";
        for (int i = 0; i < 10000; ++i) {
            char login[16], password[16];
            std::snprintf(login, sizeof login, "User%05d", (i * 7919) % 10000);
            std::snprintf(password, sizeof password, "pw%08d", i);
            TUserProp& user = List.AddBlank();
            user.Login = login;
            user.Password = password;
        }
        List.PassType = TPasswordsType::ptBcrypt;
        EnsureHashCacheKey(List);
        List.SaveToFile(Db);
    }
    ~TExportSetup() {
        std::error_code ec;
        std::filesystem::remove_all(Folder, ec);
    }
    // An export with the hashes of the last one remembered (reuse) or none.
    bool Export(bool reuse) {
        THashCache cache(List.HashCacheKey);
        if (reuse) cache.Load(Last);
        TPasswordFileOptions options;
        options.Cache = &cache;
        const bool ok =
            CreatePasswordFile(Folder + "/htpasswd", List, TPasswordsType::ptBcrypt, options);
        Last = cache.Entries();
        return ok;
    }
    std::string Folder, Db;
    TUserList List;
    THashTable Last;
};

TExportSetup& Setup() {
    static TExportSetup setup;
    return setup;
}

// The first export: no cache, every user hashed.
void BM_Export10000BcryptFirst(benchmark::State& state) {
    for (auto _ : state)
        if (!Setup().Export(false)) state.SkipWithError("export failed");
}
BENCHMARK(BM_Export10000BcryptFirst)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The next export of the unchanged database: every hash from the cache.
void BM_Export10000BcryptSecond(benchmark::State& state) {
    if (Setup().Last.empty()) Setup().Export(false);
    for (auto _ : state)
        if (!Setup().Export(true)) state.SkipWithError("export failed");
}
BENCHMARK(BM_Export10000BcryptSecond)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
