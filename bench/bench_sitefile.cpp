// What the check before a replacement adds to an export: a 100,000-user MD5 export of an
// unchanged database, to a local file and to a loopback SFTP server, done the way it was before
// (build, then replace: BM_*Plain) and as the export job does it now (build reusing the
// remembered salts, read the target, compare, replace, record: BM_*Checked), and the read and
// comparison alone (BM_*CheckOnly), all in one run.
//
//   bench_sitefile --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "TransportServers.h"
#include "base/AtomicFile.h"
#include "export/PasswordFile.h"
#include "ftp/Transport.h"
#include "job/ExportJob.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

using namespace quorvane;

namespace {

namespace fs = std::filesystem;

constexpr const char* KRemote = "htpasswd";

// The database, its local target and the SFTP server, once for the run.
struct TSetup {
    TSetup() {
        for (int i = 0; i < 100000; ++i) {
            char login[16], password[16];
            std::snprintf(login, sizeof login, "User%06d", (i * 7919) % 100000);
            std::snprintf(password, sizeof password, "pw%08d", i);
            List.Add(login, password);
        }
        First(List)->PassFile = Target;
        First(List)->FtpHost = Sftp.Host();
        First(List)->FtpUser = transporttest::TAsyncSftp::kUser;
        First(List)->FtpProtocol = "sftp";
        First(List)->FtpPasswdFile = KRemote;
        const std::string known = Dir.File("known_hosts");
        WriteWholeFile(known, Sftp.KnownHostsLine());
        const std::string line =
            transporttest::Capture("ssh-keygen -l -E sha256 -f '" + known + "'");
        const size_t at = line.find("SHA256:");
        First(List)->FtpHostKeys = line.substr(at, line.find(' ', at) - at);
        List.SaveToFile(Db);
    }
    ~TSetup() { Sftp.Kill(); }

    // The export job as both front ends run it.
    bool Export(bool toServer) {
        TExportSettings settings;
        settings.PassType = TPasswordsType::ptMD5;
        settings.DatabasePath = Db;
        TTargetSettings target = FirstTarget(List);
        target.ExportToFile = !toServer;
        settings.Targets = {{target, transporttest::TAsyncSftp::kPassword}};
        TExportJob job(List, std::move(settings));
        job.Start();
        job.Wait();
        return job.Result().Done;
    }

    // A connected SFTP transport for the plain upload and the check alone.
    std::unique_ptr<IUploadTransport> Connect() {
        TFtpSettings server;
        server.Host = Sftp.Host();
        server.User = transporttest::TAsyncSftp::kUser;
        server.Password = transporttest::TAsyncSftp::kPassword;
        server.Protocol = TTransferProtocol::Sftp;
        server.HostKeyPins = {First(List)->FtpHostKeys};
        auto transport = MakeTransport(server, {});
        transport->Connect();
        return transport;
    }

    TTempDir Dir;
    std::string Db = Dir.File("site.udx"), Target = Dir.File("htpasswd"),
                Local = Dir.File("upload.tmp");
    transporttest::TAsyncSftp Sftp;
    TUserList List;
};

TSetup& Setup() {
    static TSetup setup;
    return setup;
}

// The record the check compares with: that of the file there now.
TTargetRecord RecordOfFile(const std::string& path) {
    return RecordOf(ReadWholeFile(path));
}

void BM_LocalPlain(benchmark::State& state) {
    TSetup& s = Setup();
    for (auto _ : state) {
        const std::optional<std::string> text = BuildPasswordFile(s.List, TPasswordsType::ptMD5);
        WriteFileAtomically(s.Target, *text, 0644);
    }
}

void BM_LocalChecked(benchmark::State& state) {
    TSetup& s = Setup();
    s.Export(false); // the record and the remembered salts of a previous export
    for (auto _ : state)
        if (!s.Export(false)) state.SkipWithError("the export did not go through");
}

void BM_LocalCheckOnly(benchmark::State& state) {
    TSetup& s = Setup();
    const std::string text = ReadWholeFile(s.Target);
    const TTargetRecord record = RecordOfFile(s.Target);
    TLoginSlots known;
    for (int i = 0; i < s.List.Count(); ++i)
        known.Add(s.List.Users(i).Login);
    for (auto _ : state) {
        TLocalFileTarget target(s.Target);
        benchmark::DoNotOptimize(CheckTarget(target, &record, text, known, {}));
    }
}

void BM_SftpPlain(benchmark::State& state) {
    TSetup& s = Setup();
    for (auto _ : state) {
        const std::optional<std::string> text = BuildPasswordFile(s.List, TPasswordsType::ptMD5);
        WriteFileAtomically(s.Local, *text, 0600);
        auto transport = s.Connect();
        SafeUpload(*transport, s.Local, static_cast<std::int64_t>(text->size()), KRemote);
        transport->Disconnect();
    }
}

void BM_SftpChecked(benchmark::State& state) {
    TSetup& s = Setup();
    s.Export(true);
    for (auto _ : state)
        if (!s.Export(true)) state.SkipWithError("the export did not go through");
}

void BM_SftpCheckOnly(benchmark::State& state) {
    TSetup& s = Setup();
    const std::string text = ReadWholeFile(s.Sftp.Root() / KRemote);
    const TTargetRecord record = RecordOf(text);
    TLoginSlots known;
    for (int i = 0; i < s.List.Count(); ++i)
        known.Add(s.List.Users(i).Login);
    auto transport = s.Connect();
    for (auto _ : state) {
        TServerFileTarget target(*transport, "bench", KRemote, s.Local);
        benchmark::DoNotOptimize(CheckTarget(target, &record, text, known, {}));
    }
    transport->Disconnect();
}

// Wall time decides: the hashing runs on every processor, the server in another process.
#define QUORVANE_SITE_BENCHMARK(name)                                                              \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime()
QUORVANE_SITE_BENCHMARK(BM_LocalPlain);
QUORVANE_SITE_BENCHMARK(BM_LocalChecked);
QUORVANE_SITE_BENCHMARK(BM_LocalCheckOnly);
QUORVANE_SITE_BENCHMARK(BM_SftpPlain);
QUORVANE_SITE_BENCHMARK(BM_SftpChecked);
QUORVANE_SITE_BENCHMARK(BM_SftpCheckOnly);

} // namespace
