// The run history at scale: 100 runs of 10 000 URLs (2 million result rows) generated here,
// never by the service. Figures: file size per result row, the front end's own cost of
// recording a 20 000-result run as it goes, listing runs, opening a run, comparing two.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "engine/grid_text.h"
#include "history/history_store.h"
#include "history/run_compare.h"
#include "history/run_recorder.h"

namespace {

using namespace velmora;
using namespace velmora::history;
namespace fs = std::filesystem;

constexpr int kRuns = 100;
constexpr int kUrls = 10000;

std::string DbPath() {
    return (fs::temp_directory_path() /
            ("velmora-bench-history-" + std::to_string(::getpid()) + ".sqlite"))
        .string();
}

// The history measured: a SQLite file of its own, or the empty PostgreSQL database that
// VELMORA_BENCH_HISTORY names (the runs are generated into it and left there).
std::string Location() {
    const char* uri = std::getenv("VELMORA_BENCH_HISTORY");
    return uri && *uri ? uri : DbPath();
}

// Results shaped like the service's: a score, six timings, sizes, eight advice items drawn
// from forty distinct texts, and real users' data for half the pages.
TURLTaskResults MakeResults(std::mt19937& rng) {
    TURLTaskResults r;
    r.TaskResult = {trOK, trOK};
    r.HttpStatus = {200, 200};
    std::uniform_int_distribution<int> score(20, 100), ms(100, 9000), kb(5, 3000), advice(0, 39);
    char buf[32];
    for (TMetricaStrategy s : kStrategies) {
        r.MetricaValues.push_back({"performance", s, std::to_string(score(rng)), gcScore});
        for (int m = 1; m <= 6; ++m) {
            if (m == 5)
                std::snprintf(buf, sizeof buf, "%d ms", ms(rng) / 10);
            else if (m == 6)
                std::snprintf(buf, sizeof buf, "0.%03d", ms(rng) % 1000);
            else
                std::snprintf(buf, sizeof buf, "%.1f s", ms(rng) / 1000.0);
            r.MetricaValues.push_back({MetricaTable[m].Key, s, buf, gcFirstMetric + m - 1});
        }
        for (int m = 7; m < static_cast<int>(MetricaTable.size()); ++m) {
            std::snprintf(buf, sizeof buf, "%.1f kb", kb(rng) / 10.0);
            r.MetricaValues.push_back({MetricaTable[m].Key, s, buf, gcFirstMetric + m - 1});
        }
        for (int a = 0; a < 8; ++a) {
            const int n = advice(rng);
            TGAdvice& item = r.AdviceList[s].emplace_back();
            item.Title = TInternedText("Advice title number " + std::to_string(n));
            item.AdviceText = TInternedText("Est savings of " + std::to_string(kb(rng)) + " KiB");
            item.Descr =
                TInternedText("A longer description of advice " + std::to_string(n) +
                              " that repeats across every URL and run, as the service's do.");
            item.AdviceGroupNdx = n % 3;
            item.AuditId = TInternedText("audit-" + std::to_string(n));
            item.Score = (n % 10) / 10.0;
        }
        if (score(rng) % 2 == 0) {
            TFieldData& f = r.FieldData[s];
            f.Source = fsPage;
            for (size_t m = 0; m < FieldMetricTable.size(); ++m) {
                const double p75 = m == fmCLS ? ms(rng) / 10000.0 : double(ms(rng) / 2);
                f.Metrics[m] = {true, p75, FieldCategoryByBounds(TFieldMetric(m), p75)};
            }
            f.Overall = f[fmLCP].Category;
            f.Verdict = CwvVerdictOf(f);
        }
    }
    return r;
}

struct TFixture {
    std::unique_ptr<IHistoryStore> store;
    std::vector<int64_t> runs;
    TURLTaskInfoList urls;

    TFixture() {
        if (!IsPostgresUri(Location())) fs::remove(DbPath());
        TResult<TOpenedHistory> opened = OpenHistory(Location());
        if (!opened) {
            std::fprintf(stderr, "%s\n", opened.Error().c_str());
            std::exit(1);
        }
        store = std::move(opened->Store);
        for (int i = 0; i < kUrls; ++i) urls.Add("https://site.example/page/" + std::to_string(i));
        std::vector<std::string> list;
        for (int i = 0; i < kUrls; ++i) list.push_back(urls[i].URL);
        std::mt19937 rng(7);
        const auto start = std::chrono::steady_clock::now();
        for (int run = 0; run < kRuns; ++run) {
            TRunRecord record;
            record.Lang = "en";
            (void)store->BeginRun(record, list);
            std::vector<TStoredResult> batch;
            for (int i = 0; i < kUrls; ++i) {
                batch.push_back({i + 1, MakeResults(rng), 0});
                if (batch.size() == 500) {
                    (void)store->WriteResults(record.Id, batch);
                    batch.clear();
                }
            }
            (void)store->WriteResults(record.Id, batch);
            (void)store->FinishRun(record.Id, TRunState::rsCompleted);
            runs.push_back(record.Id);
        }
        const double secs =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto bytes =
            IsPostgresUri(Location())
                ? 0
                : fs::file_size(DbPath()) +
                      (fs::exists(DbPath() + "-wal") ? fs::file_size(DbPath() + "-wal") : 0);
        std::printf(
            "history: %d runs x %d URLs, %.1f s to generate, %.1f MB, %.0f bytes per "
            "result row (URL and strategy)\n",
            kRuns, kUrls, secs, bytes / 1e6, double(bytes) / (2.0 * kRuns * kUrls));
    }
    ~TFixture() {
        store.reset();
        if (!IsPostgresUri(Location()))
            for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(DbPath() + suffix);
    }
};

TFixture& Fixture() {
    static TFixture f;
    return f;
}

// The front end's side of keeping one more run of 10 000 URLs as it goes: Begin, then one
// Merged per task on its own thread; the writer thread does the disk work.
void BM_RecordRunAsItGoes(benchmark::State& state) {
    TFixture& f = Fixture();
    TURLTaskInfoList master;
    std::mt19937 rng(11);
    for (int i = 0; i < kUrls; ++i) {
        master.Add(f.urls[i].URL);
        master[i].TaskResults = std::make_unique<TURLTaskResults>(MakeResults(rng));
    }
    double worstMs = 0, beginMs = 0, finishMs = 0;
    for (auto _ : state) {
        auto opened = OpenHistory(Location());
        TRunRecorder recorder(std::move(opened->Store), 0, opened->Patience);
        auto t0 = std::chrono::steady_clock::now();
        recorder.Begin(master, "en", "");
        beginMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                      .count();
        for (size_t i = 0; i < master.Count(); ++i) {
            const auto a = std::chrono::steady_clock::now();
            recorder.Merged(master[i]);
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a)
                    .count();
            worstMs = std::max(worstMs, ms);
        }
        t0 = std::chrono::steady_clock::now();
        recorder.Finish(false, master);
        finishMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                       .count();
        (void)recorder.Store().DeleteRun(recorder.RunId());
    }
    state.counters["begin_ms"] = beginMs;
    state.counters["worst_merge_ms"] = worstMs;
    state.counters["finish_ms"] = finishMs;
}
BENCHMARK(BM_RecordRunAsItGoes)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ListRuns(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        auto runs = f.store->ListRuns();
        benchmark::DoNotOptimize(runs->size());
    }
}
BENCHMARK(BM_ListRuns)->Unit(benchmark::kMillisecond);

void BM_OpenRun(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        TResult<TLoadedRun> run = f.store->LoadRun(f.runs[kRuns / 2]);
        benchmark::DoNotOptimize(run->List.Count());
    }
}
BENCHMARK(BM_OpenRun)->Unit(benchmark::kMillisecond);

// What a comparison reads of one run: no advice.
void BM_LoadRunForCompare(benchmark::State& state) {
    TFixture& f = Fixture();
    for (auto _ : state) {
        TResult<TLoadedRun> run = f.store->LoadRunForCompare(f.runs[kRuns / 2]);
        benchmark::DoNotOptimize(run->List.Count());
    }
}
BENCHMARK(BM_LoadRunForCompare)->Unit(benchmark::kMillisecond);

// Both runs loaded for comparison, paired by URL, and every change text computed: the score,
// the six timings and the three real-user p75 values.
void BM_CompareRuns(benchmark::State& state) {
    TFixture& f = Fixture();
    const std::vector<int> cols = ComparedCsvColumns();
    for (auto _ : state) {
        TResult<TLoadedRun> olderRun = f.store->LoadRunForCompare(f.runs[0]);
        TResult<TLoadedRun> newerRun = f.store->LoadRunForCompare(f.runs[kRuns - 1]);
        const TURLTaskInfoList& older = olderRun->List;
        const TURLTaskInfoList& newer = newerRun->List;
        size_t chars = 0;
        for (const TComparedUrl& row : PairRuns(older, newer)) {
            for (TMetricaStrategy s : kStrategies) {
                for (int col : cols) {
                    chars +=
                        FormatChange(CellText(row.Older, s, col), CellText(row.Newer, s, col), '.')
                            .size();
                }
            }
        }
        benchmark::DoNotOptimize(chars);
    }
}
BENCHMARK(BM_CompareRuns)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
