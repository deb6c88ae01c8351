// The site summary of a run of 10 000 URLs x 2 strategies: the fix list, the shared resources
// and the page groups, from results as the workers leave them.
#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/interpret.h"
#include "engine/site_summary.h"

namespace {

using namespace velmora;

constexpr int kUrls = 10000;
constexpr int kHosts = 100;

std::string Load(const std::string& name) {
    std::ifstream in(std::string(VELMORA_PSI_ANSWERS) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One template's results with its resources moved to a host of their own, so a site's
// resources are shared within it and not across sites.
TURLTaskResults OnHost(const TURLTaskResults& from, int host) {
    TURLTaskResults r = from;
    const std::string prefix = "https://cdn" + std::to_string(host) + ".example/";
    for (TMetricaStrategy s : kStrategies) {
        TGAdviceList moved;
        for (const TGAdvice& a : r.AdviceList[s]) {
            TGAdvice b = a;
            std::vector<TAdviceResource> resources;
            for (TAdviceResource res : a.Figures.Resources()) {
                const std::string& url = res.Url.str();
                res.Url = TInternedText(prefix + url.substr(url.find('/', 8) + 1));
                resources.push_back(res);
            }
            if (!a.Figures.Empty()) b.Figures = TAdviceFigures(a.Figures.Savings(), resources);
            moved.push_back(std::move(b));
        }
        moved.ShareManualChecks();
        r.AdviceList[s] = std::move(moved);
    }
    return r;
}

// Half poor pages and the rest good or noindex, all four categories asked for; the URLs are
// spread over 100 sites and a few sections each.
TURLTaskInfoList& Run() {
    static TURLTaskInfoList* list = [] {
        const char* pages[] = {"poor", "good", "poor", "noindex"};
        std::vector<TURLTaskResults> templates;
        simdjson::dom::parser parser;
        for (const char* page : pages) {
            TURLTaskInfo task("https://x.example/", 1);
            task.InitMetricResults();
            task.TaskResults->Categories = kAllCategories;
            for (TMetricaStrategy s : kStrategies) {
                const std::string name = std::string("psi13cat/psi13cat_") + page +
                                         (s == msDesktop ? "_desktop.json" : "_mobile.json");
                InterpretBody(parser, Load(name), s, task, '.', nullptr);
            }
            templates.push_back(*task.TaskResults);
        }
        std::vector<TURLTaskResults> variants;
        for (int host = 0; host < kHosts; ++host)
            for (const TURLTaskResults& t : templates) variants.push_back(OnHost(t, host));
        auto* l = new TURLTaskInfoList;
        const char* sections[] = {"product", "blog", "category", "help"};
        for (int i = 0; i < kUrls; ++i) {
            const int host = i % kHosts;
            TURLTaskInfo& task = l->Add("https://site" + std::to_string(host) + ".example/" +
                                        sections[(i / kHosts) % 4] + "/page-" + std::to_string(i));
            task.TaskResults = std::make_unique<TURLTaskResults>(
                variants[static_cast<size_t>(host) * templates.size() + i % templates.size()]);
        }
        return l;
    }();
    return *list;
}

void BM_SummarizeSite(benchmark::State& state) {
    const TURLTaskInfoList& list = Run();
    std::vector<const TURLTaskInfo*> rows;
    for (size_t i = 0; i < list.Count(); ++i) rows.push_back(&list[i]);
    const std::vector<TGroupRule> rules{{"Products", "*/product/*"}};
    size_t fixes = 0, resources = 0, groups = 0;
    for (auto _ : state) {
        const TSiteSummary summary = SummarizeSite(rows, rules);
        fixes = summary.Fixes.size();
        resources = summary.Resources.size();
        groups = summary.Groups.size();
        benchmark::DoNotOptimize(summary);
    }
    state.counters["fixes"] = double(fixes);
    state.counters["resources"] = double(resources);
    state.counters["groups"] = double(groups);
}
BENCHMARK(BM_SummarizeSite)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
