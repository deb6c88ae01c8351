// Report rows made from the simulator's recorded answers (data/psi), interpreted as a run
// interprets them, scores spread over 0-100: for the report's benchmark and its browser check.
#pragma once

#include <simdjson.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/interpret.h"
#include "io/html_report.h"

namespace velmora::report_rows {

// Markup that must show as text wherever the report places it.
inline const char* kHostile[] = {"https://example.com/<script>alert(1)</script>",
                                 "https://example.com/\"><img src=x onerror=alert(1)>",
                                 "https://example.com/</script><!--"};

inline std::string Load(const std::string& name) {
    std::ifstream in(std::string(VELMORA_PSI_ANSWERS) + "/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The fast and the heavy page's answers of both strategies, interpreted with screenshots kept.
inline std::vector<std::unique_ptr<TURLTaskInfo>> Templates() {
    std::vector<std::unique_ptr<TURLTaskInfo>> templates;
    simdjson::dom::parser parser;
    const TLogFn log = [](const std::string&) {};
    for (const char* page : {"fast", "heavy"}) {
        auto task = std::make_unique<TURLTaskInfo>("https://example.com/", 1);
        task->InitMetricResults();
        task->TaskResults->KeepScreenshot = true;
        for (TMetricaStrategy s : kStrategies) {
            const std::string body =
                Load(std::string("psi13_") + page + "_" + std::string(StrategyText(s)) + ".json");
            InterpretBody(parser, body, s, *task, '.', log);
        }
        for (TMetricaValue& v : task->TaskResults->MetricaValues)
            if (const int32_t col = ColNumByKey(v.Key); col > 0) v.ColNum = col;
        templates.push_back(std::move(task));
    }
    return templates;
}

// n pages on 50 sections of one site; every 40th page's mobile check failed.
inline TURLTaskInfoList MakeRows(int n, bool hostile, int seed) {
    const auto templates = Templates();
    TURLTaskInfoList list;
    for (int i = 0; i < n; ++i) {
        const bool bad = hostile && i < static_cast<int>(std::size(kHostile));
        TURLTaskInfo& row = list.Add(bad ? kHostile[i]
                                         : "https://example.com/section-" + std::to_string(i % 50) +
                                               "/page-" + std::to_string(i) + ".html");
        row.TaskResults = std::make_unique<TURLTaskResults>(*templates[i % 3 == 0]->TaskResults);
        TURLTaskResults& r = *row.TaskResults;
        for (TMetricaValue& v : r.MetricaValues) {
            if (v.Key != "performance") continue;
            v.Number = static_cast<double>((i * 37 + seed + v.Strategy * 11) % 101);
            v.DisplayText = std::to_string(static_cast<int>(v.Number));
        }
        if (i % 40 == 7 || (hostile && i == 1)) {
            r.TaskResult[msMobile] = trServiceError;
            r.ErrorMessage[msMobile] =
                bad ? std::string("<script>alert(1)</script> failed") : "Lighthouse returned error";
        }
        if (bad && !r.AdviceList[msDesktop].empty()) {
            // The list's items are shared read-only; the hostile page gets a list of its own.
            TGAdviceList own;
            for (TGAdvice a : r.AdviceList[msDesktop]) {
                if (own.empty()) a.Title = TInternedText("\"><img src=x onerror=alert(1)>");
                own.push_back(std::move(a));
            }
            r.AdviceList[msDesktop] = std::move(own);
        }
    }
    return list;
}

inline long FileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return static_cast<long>(in.tellg());
}

inline std::vector<const TURLTaskInfo*> Rows(const TURLTaskInfoList& list) {
    std::vector<const TURLTaskInfo*> rows;
    for (size_t i = 0; i < list.Count(); ++i) rows.push_back(&list[i]);
    return rows;
}

inline TReportInput SampleInput(const TURLTaskInfoList& list, bool screenshots) {
    TReportInput input;
    input.Run.Source = "report_rows";
    input.Run.Started = "2026-12-11 06:00:00";
    input.Run.Settings = "max-threads=8, req-predelay=1300";
    input.Rows = Rows(list);
    input.Summary = SummarizeSite(input.Rows);
    input.Screenshots = screenshots;
    return input;
}

}  // namespace velmora::report_rows
