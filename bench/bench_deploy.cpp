// An export to several SFTP servers against one: the same 100,000-user password file goes to
// one server through the single-target upload (BM_OneServer), and to one and to three servers
// through the all-or-nothing deployment (BM_Servers/1, BM_Servers/3), each server an OpenSSH
// sshd of its own on loopback. The file is built once beforehand, so what is measured is the
// deployment: read before replace, upload, size check, keeping the replaced file, rename.
// BM_Records is the part of it that grows with the targets: the record of what was written,
// and the database's state with one such record per target, written and read back.
// BM_Interleaved takes turns with the three in one loop, so that a change in the machine's load
// meets them alike; its counters are the mean time of each (ms) and three servers' time as a
// multiple of one server's, by either path. BM_LocalFileInterleaved does the same for a whole
// one-target export to a local file against the bare build and write.
//
//   bench_deploy --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "TestUtil.h"
#include "TransportServers.h"

#include "base/AtomicFile.h"
#include "export/DatabaseState.h"
#include "job/ExportJob.h"
#include "job/Target.h"
#include "userdb/UserList.h"

#include <benchmark/benchmark.h>

#include <chrono>

#include <cstdlib>
#include <memory>

using namespace quorvane;

namespace {

constexpr int KUsers = 100000;

struct TBench {
    TTempDir State;
    std::vector<std::unique_ptr<transporttest::TSshd>> Servers;
    std::string Content;
    TUserList List;

    TBench() {
        // The replaced files are kept here, not in the user's own state folder.
        ::setenv("XDG_STATE_HOME", State.Path().c_str(), 1);
        for (int i = 0; i < 3; ++i)
            Servers.push_back(std::make_unique<transporttest::TSshd>());
        for (int i = 0; i < KUsers; ++i)
            List.Add("user" + std::to_string(i), "password of user " + std::to_string(i));
        TPasswordFileOptions options;
        Content = *BuildPasswordFile(List, TPasswordsType::ptMD5, options);
    }

    TTargetSettings Target(int i) const {
        const transporttest::TSshd& server = *Servers[static_cast<std::size_t>(i)];
        TTargetSettings t;
        t.Name = "web" + std::to_string(i + 1);
        t.ExportToFile = false;
        t.FtpProtocol = "sftp";
        t.FtpHost = server.Host();
        t.FtpUser = server.User();
        t.FtpKeyFile = server.Key("user").string();
        t.FtpHostKeys = server.Fingerprint();
        t.FtpPasswdFile = (server.Root() / "htpasswd").string();
        return t;
    }

    TExportSettings Settings() const {
        TExportSettings settings;
        settings.Content = Content;
        settings.Replace.Outside = TOutsideChanges::Overwrite;
        settings.Timeout = 60000;
        // As from the desktop or the command line: what was written is recorded beside the
        // database, by either path.
        settings.DatabasePath = (State.Path() / "site.udx").string();
        return settings;
    }
};

TBench& Bench() {
    static TBench bench;
    return bench;
}

// One export; false (with the error given to the state) when it did not succeed.
bool ExportOnce(benchmark::State& state, const TExportSettings& settings) {
    TExportJob job(Bench().List, settings);
    job.Start();
    job.Wait();
    const TExportResult& result = job.Result();
    if (result.Done) return true;
    state.SkipWithError(result.Outcomes.empty()
                            ? EnglishText(result.Error).c_str()
                            : EnglishText(TargetOutcomeMessage(result.Outcomes.front())).c_str());
    return false;
}

void Run(benchmark::State& state, const TExportSettings& settings) {
    for (auto _ : state)
        if (!ExportOnce(state, settings)) return;
    state.SetBytesProcessed(
        state.iterations() * static_cast<std::int64_t>(Bench().Content.size()) *
        (settings.Targets.empty() ? 1 : static_cast<std::int64_t>(settings.Targets.size())));
}

TExportSettings OneServer() {
    TExportSettings settings = Bench().Settings();
    const TTargetSettings target = Bench().Target(0);
    SetFirstTarget(Bench().List, target);
    settings.Targets = {{target, {}}};
    return settings;
}

TExportSettings Servers(int count) {
    TExportSettings settings = Bench().Settings();
    settings.PerTarget = true;
    for (int i = 0; i < count; ++i)
        settings.Targets.push_back({Bench().Target(i), {}});
    return settings;
}

void BM_OneServer(benchmark::State& state) {
    Run(state, OneServer());
}

void BM_Servers(benchmark::State& state) {
    Run(state, Servers(static_cast<int>(state.range(0))));
}

void BM_Interleaved(benchmark::State& state) {
    const TExportSettings ways[] = {OneServer(), Servers(1), Servers(3)};
    double spent[3] = {0, 0, 0};
    for (auto _ : state) {
        for (int i = 0; i < 3; ++i) {
            const auto start = std::chrono::steady_clock::now();
            if (!ExportOnce(state, ways[i])) return;
            spent[i] +=
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
        }
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["one_path_ms"] = spent[0] / n;
    state.counters["one_ms"] = spent[1] / n;
    state.counters["three_ms"] = spent[2] / n;
    state.counters["three_per_one"] = spent[2] / spent[1];
    state.counters["three_per_one_path"] = spent[2] / spent[0];
}

void BM_Records(benchmark::State& state) {
    for (auto _ : state) {
        TDatabaseStateData data;
        const TTargetRecord record = RecordOf(Bench().Content);
        for (int i = 0; i < state.range(0); ++i)
            data.Targets["web" + std::to_string(i)] = record;
        const TDatabaseStateData back = ParseStateText(StateText(data));
        if (back.Targets.size() != data.Targets.size()) state.SkipWithError("not read back");
    }
}

// A one-target export of the 100,000 users to a local file, built and written: through the job
// and its deployment (read before replace, kept version, atomic replacement), against the bare
// build and atomic write of the same file, taking turns. Counters: the mean of each (ms) and the
// job's time as a multiple of the bare path's.
void BM_LocalFileInterleaved(benchmark::State& state) {
    const std::string bare = (Bench().State.Path() / "bare.htpasswd").string();
    TExportSettings settings;
    settings.PassType = TPasswordsType::ptMD5;
    settings.Replace.Outside = TOutsideChanges::Overwrite;
    settings.Targets = {{FileTarget((Bench().State.Path() / "job.htpasswd").string()), {}}};
    double spent[2] = {0, 0};
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const std::optional<std::string> text =
            BuildPasswordFile(Bench().List, TPasswordsType::ptMD5, TPasswordFileOptions());
        WriteFileAtomically(bare, *text);
        spent[0] +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        start = std::chrono::steady_clock::now();
        if (!ExportOnce(state, settings)) return;
        spent[1] +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["bare_ms"] = spent[0] / n;
    state.counters["job_ms"] = spent[1] / n;
    state.counters["job_per_bare"] = spent[1] / spent[0];
}

} // namespace

BENCHMARK(BM_LocalFileInterleaved)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Records)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OneServer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Servers)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Interleaved)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);
