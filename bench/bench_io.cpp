// File-format costs at the program's limit of 10 000 URLs: text import, sitemap import, export.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/metrica.h"
#include "io/csv.h"
#include "io/sitemap.h"
#include "io/url_import.h"

namespace {

using namespace velmora;
using namespace velmora::io;

constexpr int kUrls = 10000;

std::string TempDir() {
    static std::string dir = [] {
        std::string t = (std::filesystem::temp_directory_path() / "velmora-bench-XXXXXX").string();
        if (!mkdtemp(t.data())) std::abort();
        std::atexit([] { std::filesystem::remove_all(TempDir()); });
        return t;
    }();
    return dir;
}

std::string UrlOf(int i) {
    return "https://www.example-shop.com/catalog/section-" + std::to_string(i % 97) + "/product-" +
           std::to_string(i) + "?ref=sitemap";
}

void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

void BM_ImportTextFile(benchmark::State& state) {
    const std::string path = TempDir() + "/urls.txt";
    std::string text;
    for (int i = 0; i < kUrls; ++i) text += UrlOf(i) + "\r\n";
    WriteFile(path, text);
    for (auto _ : state) {
        TURLTaskInfoList list;
        TResult<std::vector<std::string>> r = ReadTextFileUrls(path, "WINDOWS-1252");
        if (!r) {
            state.SkipWithError(r.Error().c_str());
            break;
        }
        TImportReport st = AddURLTasks(list, *r);
        if (st.added != kUrls) state.SkipWithError("not all URLs added");
        benchmark::DoNotOptimize(list.Count());
    }
}
BENCHMARK(BM_ImportTextFile)->Unit(benchmark::kMillisecond)->Repetitions(10);

void BM_ImportSitemap(benchmark::State& state) {
    const std::string path = TempDir() + "/sitemap.xml";
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (int i = 0; i < kUrls; ++i)
        xml += "  <url>\n    <loc>" + UrlOf(i) +
               "</loc>\n    <lastmod>2024-05-01</lastmod>\n    <changefreq>weekly</changefreq>\n"
               "    <priority>0.8</priority>\n  </url>\n";
    xml += "</urlset>\n";
    WriteFile(path, xml);
    for (auto _ : state) {
        TURLTaskInfoList list;
        TResult<TSitemap> r = ParseSitemap(path);
        if (!r) {
            state.SkipWithError(r.Error().c_str());
            break;
        }
        TImportReport st = AddURLTasks(list, r->locs);
        if (st.added != kUrls) state.SkipWithError("not all URLs added");
        benchmark::DoNotOptimize(list.Count());
    }
}
BENCHMARK(BM_ImportSitemap)->Unit(benchmark::kMillisecond)->Repetitions(10);

void BM_ExportCsv(benchmark::State& state) {
    static const char* kTexts[] = {"87",  "1,2 s", "3,4 s", "2,5 s",  "4,1 s", "150 ms", "0,012",
                                   " 45", " 120",  " 830",  " 1 450", " 96",   " 2 541"};
    TURLTaskInfoList list;
    for (int i = 0; i < kUrls; ++i) {
        TURLTaskInfo& t = list.Add(UrlOf(i));
        t.InitMetricResults();
        t.TaskResults->TaskResult = {trOK, trOK};
        for (TMetricaStrategy s : kStrategies)
            for (size_t m = 0; m < MetricaTable.size(); ++m)
                t.TaskResults->MetricaValues.push_back(
                    {MetricaTable[m].Key, s, kTexts[m], ColNumByKey(MetricaTable[m].Key)});
    }
    std::vector<const TURLTaskInfo*> rows;
    for (size_t i = 0; i < list.Count(); ++i) rows.push_back(&list[i]);
    const std::string path = TempDir() + "/velmora_desktop.csv";
    for (auto _ : state) {
        if (TResult<TCsvExport> r = ExportGridCsv(path, "WINDOWS-1251", msDesktop, rows); !r)
            state.SkipWithError(r.Error().c_str());
    }
}
BENCHMARK(BM_ExportCsv)->Unit(benchmark::kMillisecond)->Repetitions(10);

}  // namespace

BENCHMARK_MAIN();
