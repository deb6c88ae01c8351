// Stable sort of a full grid (10 000 checked rows) by the score, by a metric column and by the
// URL, whose numbers sort by value.
#include <benchmark/benchmark.h>

#include <string>

#include "engine/grid_sort.h"

namespace {

using namespace velmora;

// Checked tasks with texts as the service writes them: scores 0..100 and "N/A", LCP values in
// s and ms with a no-break space, a few failures.
TURLTaskInfoList& CheckedList() {
    static TURLTaskInfoList list = [] {
        TURLTaskInfoList l;
        uint32_t seed = 12345;
        auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
        for (int i = 0; i < 10000; ++i) {
            TURLTaskInfo& t = l.Add("https://site.test/page/" + std::to_string(i));
            t.InitMetricResults();
            TURLTaskResults& r = *t.TaskResults;
            for (TMetricaStrategy s : kStrategies) {
                const uint32_t n = next() >> 8;
                r.TaskResult[s] = n % 50 == 0 ? trServiceError : trOK;
                r.MetricaValues.push_back(
                    {"performance", s, n % 97 == 0 ? "N/A" : std::to_string(n % 101), 3});
                const uint32_t ms = 300 + n % 20000;
                std::string lcp = ms < 1000 ? std::to_string(ms) + "\xC2\xA0ms"
                                            : std::to_string(ms / 1000) + "." +
                                                  std::to_string(ms / 100 % 10) + "\xC2\xA0s";
                r.MetricaValues.push_back({"largest-contentful-paint", s, lcp, 7});
            }
        }
        return l;
    }();
    return list;
}

void SortBy(benchmark::State& state, int col) {
    TURLTaskInfoList& list = CheckedList();
    std::vector<TURLTaskInfo*> rows;
    for (size_t i = 0; i < list.Count(); ++i) rows.push_back(&list[i]);
    bool ascending = true;
    for (auto _ : state) {
        SortGridRows(rows, msMobile, col, ascending);
        ascending = !ascending;
        benchmark::DoNotOptimize(rows.data());
    }
}

void BM_SortGridByScore(benchmark::State& state) {
    SortBy(state, 3);
}
void BM_SortGridByLCP(benchmark::State& state) {
    SortBy(state, 7);
}
void BM_SortGridByUrl(benchmark::State& state) {
    SortBy(state, gcURL);
}
BENCHMARK(BM_SortGridByScore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortGridByUrl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortGridByLCP)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
