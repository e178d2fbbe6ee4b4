// An export to several SFTP servers against one: the same 100,000-user password file goes to
// one server through the single-target upload (BM_OneServer), and to one and to three servers
// through the all-or-nothing deployment (BM_Servers/1, BM_Servers/3), each server an OpenSSH
// sshd of its own on loopback. The file is built once beforehand, so what is measured is the
// deployment: read before replace, upload, size check, keeping the replaced file, rename.
//
//   bench_deploy --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "TestUtil.h"
#include "TransportServers.h"

#include "job/ExportJob.h"
#include "userdb/UserList.h"

#include <benchmark/benchmark.h>

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
        return settings;
    }
};

TBench& Bench() {
    static TBench bench;
    return bench;
}

void Run(benchmark::State& state, TExportSettings settings) {
    for (auto _ : state) {
        TExportJob job(Bench().List, settings);
        job.Start();
        job.Wait();
        const TExportResult& result = job.Result();
        if (!result.Done) {
            state.SkipWithError(
                result.Outcomes.empty()
                    ? EnglishText(result.Error).c_str()
                    : EnglishText(TargetOutcomeMessage(result.Outcomes.front())).c_str());
            return;
        }
    }
    state.SetBytesProcessed(
        state.iterations() * static_cast<std::int64_t>(Bench().Content.size()) *
        (settings.Targets.empty() ? 1 : static_cast<std::int64_t>(settings.Targets.size())));
}

void BM_OneServer(benchmark::State& state) {
    TExportSettings settings = Bench().Settings();
    const TTargetSettings target = Bench().Target(0);
    TUserList& list = Bench().List;
    SetFirstTarget(list, target);
    settings.Target = TExportTarget::Server;
    settings.RemoteFile = target.FtpPasswdFile;
    Run(state, settings);
}

void BM_Servers(benchmark::State& state) {
    TExportSettings settings = Bench().Settings();
    settings.Target = TExportTarget::Several;
    for (int i = 0; i < state.range(0); ++i)
        settings.Targets.push_back({Bench().Target(i), {}});
    Run(state, settings);
}

} // namespace

BENCHMARK(BM_OneServer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Servers)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
