// Comparing two runs of 10 000 URLs in the desktop grids: pairing the runs, filling both grids
// (sorted by the score's change) and computing the cells of the first screen, as a view asks
// for them. Loading the runs from the history is measured apart (bench_history) and here once
// more with the grids, and last in the window itself, for the whole of what the user waits for.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QTemporaryDir>
#include <array>
#include <filesystem>
#include <random>

#include "app/grid_model.h"
#include "app/history_page.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/run_comparison.h"
#include "history/history_store.h"

namespace {

using namespace velmora;
namespace fs = std::filesystem;

constexpr int kUrls = 10000;
constexpr int kChanged = 100;    // URLs each run has and the other has not
constexpr int kScreenRows = 40;  // rows a maximised grid shows

// A run's results shaped like the service's: score, six timings, sizes, eight advice items.
TURLTaskResults MakeResults(std::mt19937& rng) {
    TURLTaskResults r;
    r.TaskResult = {trOK, trOK};
    std::uniform_int_distribution<int> score(20, 100), ms(100, 9000), kb(5, 3000), advice(0, 39);
    char buf[32];
    for (TMetricaStrategy s : kStrategies) {
        r.MetricaValues.push_back({"performance", s, std::to_string(score(rng)), gcScore});
        for (int m = 1; m < static_cast<int>(MetricaTable.size()); ++m) {
            if (m == 5)
                std::snprintf(buf, sizeof buf, "%d ms", ms(rng) / 10);
            else if (m == 6)
                std::snprintf(buf, sizeof buf, "0.%03d", ms(rng) % 1000);
            else if (m < 5)
                std::snprintf(buf, sizeof buf, "%.1f s", ms(rng) / 1000.0);
            else
                std::snprintf(buf, sizeof buf, "%.1f kb", kb(rng) / 10.0);
            r.MetricaValues.push_back({MetricaTable[m].Key, s, buf, gcFirstMetric + m - 1});
        }
        for (int i = 0; i < 8; ++i) {
            const int n = advice(rng);
            TGAdvice& a = r.AdviceList[s].emplace_back();
            a.Title = TInternedText("Advice title " + std::to_string(n));
            a.AdviceText = TInternedText("Est savings of " + std::to_string(kb(rng)) + " KiB");
            a.Descr = TInternedText("Description " + std::to_string(n));
            a.AdviceGroupNdx = n % 3;
        }
    }
    return r;
}

// The older run lacks the first kChanged URLs of the newer one and has kChanged of its own.
void MakeRun(TURLTaskInfoList& list, bool newer, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int i = newer ? 0 : kChanged; i < kUrls + (newer ? 0 : kChanged); ++i) {
        TURLTaskInfo& t = list.Add("https://site.example/page/" + std::to_string(i));
        t.TaskResults = std::make_unique<TURLTaskResults>(MakeResults(rng));
    }
}

// What the user waits for once both runs are in memory: pairing, both grids' rows sorted by
// the change, the first screen's cells.
std::unique_ptr<app::TRunComparison> CompareAndFill(TURLTaskInfoList& newer, TURLTaskInfoList older,
                                                    app::TURLGridModel* const (&models)[2]) {
    auto comparison = std::make_unique<app::TRunComparison>(
        newer, std::move(older), history::TRunRecord{}, history::TRunRecord{}, '.');
    for (app::TURLGridModel* m : models) m->SetComparison(comparison.get());
    for (app::TURLGridModel* m : models)
        for (int row = 0; row < kScreenRows; ++row)
            for (int col = 0; col < gcCount; ++col)
                for (int role : {Qt::DisplayRole, Qt::BackgroundRole, Qt::ToolTipRole})
                    benchmark::DoNotOptimize(m->index(row, col).data(role));
    return comparison;
}

// Back to the normal grids, outside the timing.
void Leave(std::unique_ptr<app::TRunComparison>& comparison,
           app::TURLGridModel* const (&models)[2]) {
    for (app::TURLGridModel* m : models) m->SetComparison(nullptr);
    comparison.reset();
}

void BM_CompareAndFillGrids(benchmark::State& state) {
    TURLTaskInfoList newer;
    MakeRun(newer, true, 1);
    app::TURLGridModel desktop(newer, msDesktop), mobile(newer, msMobile);
    app::TURLGridModel* const models[2] = {&desktop, &mobile};
    for (app::TURLGridModel* m : models) m->SortRows(gcScore, Qt::DescendingOrder);
    for (auto _ : state) {
        state.PauseTiming();
        TURLTaskInfoList older;
        MakeRun(older, false, 2);
        state.ResumeTiming();
        auto comparison = CompareAndFill(newer, std::move(older), models);
        state.PauseTiming();
        Leave(comparison, models);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CompareAndFillGrids)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// Keeps the older and the newer run in a history at path; their ids, older first.
std::array<int64_t, 2> KeepBothRuns(const std::string& path) {
    std::array<int64_t, 2> ids{0, 0};
    auto opened = history::OpenSqliteHistory(path);
    for (bool isNewer : {false, true}) {
        TURLTaskInfoList list;
        MakeRun(list, isNewer, isNewer ? 1 : 2);
        history::TRunRecord run;
        std::vector<std::string> urls;
        std::vector<history::TStoredResult> batch;
        for (size_t i = 0; i < list.Count(); ++i) {
            urls.push_back(list[i].URL);
            batch.push_back({list[i].Num, *list[i].TaskResults, 0});
        }
        (void)opened->Store->BeginRun(run, urls);
        (void)opened->Store->WriteResults(run.Id, batch);
        (void)opened->Store->FinishRun(run.Id, history::TRunState::rsCompleted);
        ids[isNewer] = run.Id;
    }
    return ids;
}

// The same with both runs loaded from a history first (the whole wait).
void BM_LoadCompareAndFillGrids(benchmark::State& state) {
    const std::string path =
        (fs::temp_directory_path() / ("velmora-bench-compare-" + std::to_string(::getpid())))
            .string();
    const std::array<int64_t, 2> ids = KeepBothRuns(path);
    auto opened = history::OpenSqliteHistory(path);
    TURLTaskInfoList newer;
    app::TURLGridModel desktop(newer, msDesktop), mobile(newer, msMobile);
    app::TURLGridModel* const models[2] = {&desktop, &mobile};
    for (auto _ : state) {
        TResult<history::TLoadedRun> olderRun =
            opened->Store->LoadRunForCompare(ids[0]);  // as the window does
        TURLTaskInfoList older = std::move(olderRun->List);
        TResult<history::TLoadedRun> newerRun = opened->Store->LoadRun(ids[1]);
        for (app::TURLGridModel* m : models) m->BeginBulkUpdate();
        for (app::TURLGridModel* m : models) m->ClearRows();
        newer = std::move(newerRun->List);
        for (app::TURLGridModel* m : models) m->EndBulkUpdate();
        auto comparison = CompareAndFill(newer, std::move(older), models);
        state.PauseTiming();
        Leave(comparison, models);
        state.ResumeTiming();
    }
    opened->Store.reset();
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path + suffix);
}
BENCHMARK(BM_LoadCompareAndFillGrids)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// The whole of it in the window, as the user's click on "Сравнить" runs it: both runs loaded,
// both grids filled, the compare bar shown, the shown grid painted.
void BM_CompareInTheWindow(benchmark::State& state) {
    QTemporaryDir dir;
    const QString db = dir.filePath("history.sqlite");
    KeepBothRuns(db.toStdString());
    app::TAppOptions o;
    o.AppDir = dir.path() + "/";
    o.SettingsPath = dir.filePath("Velmora.ini");
    o.HistoryPath = db;
    o.NewsBaseUrl = QStringLiteral("http://127.0.0.1:9");  // loopback only
    app::TfmMain window(o);
    window.resize(1366, 740);
    window.show();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    for (auto _ : state) {
        if (!window.Ui().tsHistory->CompareRuns(1, 2)) state.SkipWithError("no comparison");
        window.repaint();
        state.PauseTiming();
        window.Ui().tsHistory->LeaveCompare();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CompareInTheWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
