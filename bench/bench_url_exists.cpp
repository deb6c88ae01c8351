// Duplicate checks of an import: URLExists over a list of 10 000 URLs.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/tasks.h"

namespace {

std::string Url(int i) {
    return "https://www.Example-Shop.com/catalogue/section-" + std::to_string(i % 97) + "/item-" +
           std::to_string(i) + "?ref=sitemap";
}

void BM_URLExistsIn10000(benchmark::State& state) {
    velmora::TURLTaskInfoList list;
    for (int i = 0; i < 10000; ++i) list.Add(Url(i));
    std::vector<std::string> probes;
    for (int i = 0; i < 1000; ++i) probes.push_back(i % 2 ? Url(i * 7) : Url(20000 + i));
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.URLExists(probes[k++ % probes.size()]));
    }
}

// What an import of 10 000 new URLs pays for all of its duplicate checks and additions.
void BM_Import10000Unique(benchmark::State& state) {
    std::vector<std::string> urls;
    for (int i = 0; i < 10000; ++i) urls.push_back(Url(i));
    for (auto _ : state) {
        velmora::TURLTaskInfoList list;
        for (const auto& u : urls) {
            if (!list.URLExists(u)) list.Add(u);
        }
        benchmark::DoNotOptimize(list.Count());
    }
}

BENCHMARK(BM_URLExistsIn10000);
BENCHMARK(BM_Import10000Unique)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
