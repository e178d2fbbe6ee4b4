// Opening a database of 100,000 users in the main window (load, expiry sweep, rows, sort,
// column widths) and sorting the open list by another column, offscreen.
//
// Typing in the quick filter: each keystroke that narrows the rows (typing on) and each that
// widens them (erasing after the word was pasted in), and each keystroke on its own as a word is
// typed and erased key by key.
//
// Targets: the open at most 2 s, a sort by another column at most 0.5 s, a keystroke in the
// filter under 100 ms. With QUORVANE_BENCH_DATABASE naming a database file, that file is opened
// instead (bench/compare.py opens 1,000,000 users so).

#include "ScriptedPrompts.h"
#include "TestUtil.h"
#include "persist/RegistryLib.h"
#include "ui/MainForm.h"
#include "ui/UsersModel.h"
#include "userdb/UserList.h"

#include <QApplication>
#include <QLineEdit>

#include <benchmark/benchmark.h>

using namespace quorvane;

namespace {

constexpr int kUsers = 100000;

// A database of realistic users: mixed logins, names and addresses, some disabled, some with
// expiry dates in the past and the future.
std::string MakeDatabase(const TTempDir& dir) {
    TUserList list;
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    const char* first[] = {"Anna", "Bob", "Carla", "Dmitri", "Eve", "Frank", "Gül", "Hiro"};
    const char* last[] = {"Smith", "Müller", "Nakamura", "Okafor", "Rossi", "Svensson", "Wong"};
    for (int i = 0; i < kUsers; ++i) {
        TUserProp& user = list.AddBlank();
        std::string login;
        const int length = 5 + static_cast<int>(next(8));
        for (int c = 0; c < length; ++c)
            login += static_cast<char>((next(3) == 0 ? 'A' : 'a') + next(26));
        user.Login = login + std::to_string(i);
        user.Password = "secret" + std::to_string(i);
        user.FullName = std::string(first[next(8)]) + " " + last[next(7)];
        user.Email = user.Login + "@example.org";
        user.CreatedDate = 45000 + next(2000) + next(1000) / 1000.0;
        user.Expire = next(3) == 0;
        user.ExpireDate = 45500 + next(3000) + 0.5;
        user.Disable = next(10) == 0;
    }
    const std::string path = dir.File("big.udx");
    list.SaveToFile(path);
    return path;
}

struct TFixture {
    TTempDir Dir;
    TScopedSettingsFile Store{QString::fromStdString(Dir.File("settings.ini"))};
    std::string File = qEnvironmentVariableIsEmpty("QUORVANE_BENCH_DATABASE")
                           ? MakeDatabase(Dir)
                           : qEnvironmentVariable("QUORVANE_BENCH_DATABASE").toStdString();
    TScriptedPrompts Prompts;
    std::unique_ptr<TfrmMain> Window;
    bool Opened = false;

    TFixture() {
        Window = std::make_unique<TfrmMain>();
        Window->Project.SetPrompts(&Prompts);
        Window->resize(900, 600);
        Window->show();
        QCoreApplication::processEvents();
    }
    void Open() {
        Prompts.OpenChoices.push_back(QString::fromStdString(File));
        Window->miOpenClick();
        QCoreApplication::processEvents(); // the list paints once
        Opened = true;
    }
};

TFixture& Fixture() {
    static TFixture fixture;
    return fixture;
}

void BM_OpenDatabase100k(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        f.Open();
        if (f.Window->Model()->rowCount() != f.Window->UserList().Count())
            state.SkipWithError("not every user shown");
    }
    state.counters["users"] = f.Window->UserList().Count();
}
BENCHMARK(BM_OpenDatabase100k)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(3)
    ->ReportAggregatesOnly(false);

void BM_SortByAnotherColumn100k(benchmark::State& state) {
    TFixture& f = Fixture();
    if (!f.Opened) f.Open();
    int column = 3;
    for (auto _ : state) {
        // Email, Full name, Created, Expiration Date, Login in turn: always another key.
        f.Window->lvwUsersColumnClick(column);
        QCoreApplication::processEvents();
        column = (column + 1) % 5 + 1;
    }
}
BENCHMARK(BM_SortByAnotherColumn100k)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);

// One keystroke in the filter box. Typing on: "s", "sm", ..., "smith" (the rows narrow).
// Erasing: "smith" back to "" (the rows widen, up to all 100,000, rebuilt and sorted).
void BM_FilterKeystroke100k(benchmark::State& state) {
    const bool typing = state.range(0) != 0;
    TFixture& f = Fixture();
    if (!f.Opened) f.Open();
    QLineEdit* box = f.Window->FilterBox();
    const QString word = QStringLiteral("smith");
    const qsizetype start = typing ? 0 : word.size(), end = word.size() - start;
    qsizetype length = end;
    for (auto _ : state) {
        if (length == end) {
            state.PauseTiming();
            box->setText(word.left(start));
            QCoreApplication::processEvents();
            length = start;
            state.ResumeTiming();
        }
        length += typing ? 1 : -1;
        box->setText(word.left(length));
        QCoreApplication::processEvents();
    }
    box->clear();
}
BENCHMARK(BM_FilterKeystroke100k)
    ->ArgName("typing")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(3);

// Each keystroke on its own, as a user types "smith" key by key and then erases it key by key:
// keystrokes 1 to 5 type, 6 to 10 erase. The keys before the one timed are typed untimed.
void BM_EachKeystroke(benchmark::State& state) {
    const auto keystroke = static_cast<qsizetype>(state.range(0));
    TFixture& f = Fixture();
    if (!f.Opened) f.Open();
    QLineEdit* box = f.Window->FilterBox();
    const QString word = QStringLiteral("smith");
    const auto textAfter = [&word](qsizetype key) {
        return word.left(key <= word.size() ? key : 2 * word.size() - key);
    };
    for (auto _ : state) {
        state.PauseTiming();
        box->clear();
        QCoreApplication::processEvents();
        for (qsizetype key = 1; key < keystroke; ++key) {
            box->setText(textAfter(key));
            QCoreApplication::processEvents();
        }
        state.ResumeTiming();
        box->setText(textAfter(keystroke));
        QCoreApplication::processEvents();
    }
    state.counters["rows"] = f.Window->Model()->rowCount();
    box->clear();
}
BENCHMARK(BM_EachKeystroke)
    ->ArgName("key")
    ->DenseRange(1, 10)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(3);

// Baseline in the same run: loading the file alone, without any window.
void BM_LoadFileOnly100k(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        TUserList list;
        list.LoadFromFile(f.File);
        benchmark::DoNotOptimize(list.Count());
    }
}
BENCHMARK(BM_LoadFileOnly100k)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(3);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    Fixture().Window.reset();
    benchmark::Shutdown();
    return 0;
}
