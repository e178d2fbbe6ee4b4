// An export to three targets in three forms (bcrypt cost 5, SHA-512-crypt with 1,000 rounds,
// MD5) from one set of hash caches, against the three single-form builds in the same run, and
// the re-export of an unchanged database in all three against one cached build of each form.
// The argument is the number of users (100,000 in the measure; bcrypt at cost 5 takes
// about 2 ms a hash on one core, so that run takes minutes).
//
//   bench_forms --benchmark_filter=/100000 --benchmark_repetitions=3
//       --benchmark_report_aggregates_only=true
//
// What to compare: ThreeFormsOneExport at most the sum of the SingleForm lines;
// ThreeFormsReExport at most 1.2 times the slowest CachedSingleForm line (MD5's: its cache is
// checked by hashing again with the remembered salt).

#include "export/Consumers.h"
#include "export/DatabaseState.h"
#include "export/HashCache.h"
#include "export/HashSchemes.h"
#include "export/PasswordFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

using namespace quorvane;

namespace {

struct TFormCase {
    const char* Form;
    int WorkFactor;
};
const TFormCase KForms[] = {{"bcrypt", 5}, {"sha512", 1000}, {"md5", 0}};

const TUserList& Users(int count) {
    static std::map<int, TUserList> lists;
    TUserList& list = lists[count];
    if (list.Count() == 0) {
        list.PassType = TPasswordsType::ptMD5;
        for (int i = 0; i < count; ++i) {
            char login[16], password[16];
            std::snprintf(login, sizeof login, "User%06d", (i * 7919) % count);
            std::snprintf(password, sizeof password, "pw%08d", i);
            list.Add(login, password);
        }
    }
    return list;
}

std::string Build(const TUserList& list, const TFormCase& form, TFormHashCaches& caches) {
    TPasswordFileOptions options;
    options.Form = FormByCliName(form.Form);
    if (form.WorkFactor != 0) options.SchemeParam = form.WorkFactor;
    return BuildConsumerFile(list, HtpasswdConsumer(), options, caches).value();
}

// The state an export of all three forms leaves behind.
const TDatabaseStateData& Remembered(int count) {
    static std::map<int, TDatabaseStateData> states;
    TDatabaseStateData& state = states[count];
    if (state.FormHashes.empty()) {
        const TDatabaseStateData empty;
        TFormHashCaches caches(Users(count), empty);
        for (const TFormCase& form : KForms)
            Build(Users(count), form, caches);
        caches.Store(state);
    }
    return state;
}

void BM_ThreeFormsOneExport(benchmark::State& state) {
    const TUserList& list = Users(static_cast<int>(state.range(0)));
    const TDatabaseStateData empty;
    for (auto _ : state) {
        TFormHashCaches caches(list, empty);
        for (const TFormCase& form : KForms)
            benchmark::DoNotOptimize(Build(list, form, caches));
    }
}

void BM_SingleForm(benchmark::State& state) {
    const TUserList& list = Users(static_cast<int>(state.range(0)));
    const TFormCase& form = KForms[state.range(1)];
    state.SetLabel(form.Form);
    const TDatabaseStateData empty;
    for (auto _ : state) {
        TFormHashCaches caches(list, empty);
        benchmark::DoNotOptimize(Build(list, form, caches));
    }
}

void BM_ThreeFormsReExport(benchmark::State& state) {
    const TUserList& list = Users(static_cast<int>(state.range(0)));
    const TDatabaseStateData& remembered = Remembered(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TFormHashCaches caches(list, remembered);
        for (const TFormCase& form : KForms)
            benchmark::DoNotOptimize(Build(list, form, caches));
    }
}

void BM_CachedSingleForm(benchmark::State& state) {
    const TUserList& list = Users(static_cast<int>(state.range(0)));
    const TDatabaseStateData& remembered = Remembered(static_cast<int>(state.range(0)));
    const TFormCase& form = KForms[state.range(1)];
    state.SetLabel(form.Form);
    for (auto _ : state) {
        TFormHashCaches caches(list, remembered);
        benchmark::DoNotOptimize(Build(list, form, caches));
    }
}

// Wall time decides: the hashing runs on every processor.
void Sizes(benchmark::internal::Benchmark* b, bool perForm) {
    for (const int users : {10000, 100000})
        for (int form = 0; form < (perForm ? 3 : 1); ++form)
            perForm ? b->Args({users, form}) : b->Args({users});
    b->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime();
}

BENCHMARK(BM_ThreeFormsOneExport)->Apply([](auto* b) { Sizes(b, false); });
BENCHMARK(BM_SingleForm)->Apply([](auto* b) { Sizes(b, true); });
BENCHMARK(BM_ThreeFormsReExport)->Apply([](auto* b) { Sizes(b, false); });
BENCHMARK(BM_CachedSingleForm)->Apply([](auto* b) { Sizes(b, true); });

} // namespace
