// The HTML report of 10 000 URLs x 2 strategies from the simulator's answers: time to write and
// size (the counter MB). tests/io/report_sample writes one such report for the browser.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "io/html_report.h"
#include "io/report_rows.h"

namespace {

using namespace velmora;
using namespace velmora::report_rows;

void BM_WriteHtmlReport(benchmark::State& state) {
    const TURLTaskInfoList list = MakeRows(static_cast<int>(state.range(0)), false, 0);
    const TReportInput input = SampleInput(list, state.range(1) != 0);
    const std::string path = "/tmp/velmora-bench-report.html";
    std::string error;
    for (auto _ : state)
        if (!WriteHtmlReport(path, input, error)) state.SkipWithError(error.c_str());
    state.counters["MB"] = static_cast<double>(FileSize(path)) / 1e6;
    state.SetLabel(state.range(1) ? "with screenshots" : "without screenshots");
    std::remove(path.c_str());
}
BENCHMARK(BM_WriteHtmlReport)
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
