// Parse and interpret each real answer of the service, against a bare parse of the same bytes.
#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "engine/interpret.h"

namespace {

// Lighthouse 12 answers, then today's Lighthouse 13 ones (one with real users' field data).
const char* kFixtures[] = {
    "psi_fast_desktop.json",   "psi_fast_mobile.json",     "psi_heavy_desktop.json",
    "psi_heavy_mobile.json",   "psi_pdf_desktop.json",     "psi_text_mobile.json",
    "psi13_fast_desktop.json", "psi13_heavy_desktop.json", "synthetic_fielddata_heavy_mobile.json"};
constexpr int kLastFixture = static_cast<int>(std::size(kFixtures)) - 1;
// Answers with the four Lighthouse categories, interpreted with all four asked for.
const char* kCategoryFixtures[] = {"psi13cat/psi13cat_good_mobile.json",
                                   "psi13cat/psi13cat_poor_desktop.json",
                                   "psi13cat/psi13cat_noindex_mobile.json"};
constexpr int kLastCategoryFixture = static_cast<int>(std::size(kCategoryFixtures)) - 1;

// With spare room at the end, as the HTTP client's receive buffer leaves it, so both
// benchmarks parse the bytes where they are.
std::string Load(const char* name) {
    std::ifstream in(std::string(VELMORA_PSI_ANSWERS) + "/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string body = ss.str();
    body.reserve(body.size() + simdjson::SIMDJSON_PADDING);
    return body;
}

void BM_BareParse(benchmark::State& state) {
    const std::string body = Load(kFixtures[state.range(0)]);
    simdjson::dom::parser parser;
    for (auto _ : state) {
        simdjson::dom::element doc;
        auto err = parser.parse(body).get(doc);
        benchmark::DoNotOptimize(err);
        benchmark::DoNotOptimize(doc);
    }
    state.SetLabel(kFixtures[state.range(0)]);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(body.size()));
}

void ParseAndInterpret(benchmark::State& state, const char* file,
                       velmora::TCategorySet categories) {
    const std::string body = Load(file);
    simdjson::dom::parser parser;
    const velmora::TLogFn log = [](const std::string&) {};
    for (auto _ : state) {
        velmora::TURLTaskInfo task("https://example.com/", 1);
        task.InitMetricResults();
        task.TaskResults->Categories = categories;
        bool ok = velmora::InterpretBody(parser, body, velmora::msDesktop, task, '.', log);
        benchmark::DoNotOptimize(ok);
    }
    state.SetLabel(file);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(body.size()));
}

void BM_ParseAndInterpret(benchmark::State& state) {
    ParseAndInterpret(state, kFixtures[state.range(0)], velmora::kPerformanceOnly);
}

void BM_BareParseFourCategories(benchmark::State& state) {
    const std::string body = Load(kCategoryFixtures[state.range(0)]);
    simdjson::dom::parser parser;
    for (auto _ : state) {
        simdjson::dom::element doc;
        auto err = parser.parse(body).get(doc);
        benchmark::DoNotOptimize(err);
        benchmark::DoNotOptimize(doc);
    }
    state.SetLabel(kCategoryFixtures[state.range(0)]);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(body.size()));
}

void BM_ParseAndInterpretFourCategories(benchmark::State& state) {
    ParseAndInterpret(state, kCategoryFixtures[state.range(0)], velmora::kAllCategories);
}

// The same answers with performance alone asked for: what reading the other three adds.
void BM_ParseAndInterpretFourCategoriesPerformanceOnly(benchmark::State& state) {
    ParseAndInterpret(state, kCategoryFixtures[state.range(0)], velmora::kPerformanceOnly);
}

BENCHMARK(BM_BareParse)->DenseRange(0, kLastFixture)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseAndInterpret)->DenseRange(0, kLastFixture)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareParseFourCategories)
    ->DenseRange(0, kLastCategoryFixture)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseAndInterpretFourCategories)
    ->DenseRange(0, kLastCategoryFixture)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseAndInterpretFourCategoriesPerformanceOnly)
    ->DenseRange(0, kLastCategoryFixture)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
