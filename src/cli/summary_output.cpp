#include "cli/summary_output.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "base/translate.h"
#include "cli/cli_run.h"
#include "io/import_texts.h"
#include "io/settings.h"
#include "io/summary_csv.h"

namespace velmora::cli {
namespace {

using nlohmann::json;

json Number(double v) {
    return std::isnan(v) ? json(nullptr) : json(v);
}

json FigureJson(const TFigure& f) {
    return {{"sum", Number(f.Sum)}, {"median", Number(f.Median)}};
}

json FixJson(const TFixRow& f) {
    json metrics = json::object();
    for (size_t m = 0; m < f.MetricSavings.size(); ++m)
        if (!std::isnan(f.MetricSavings[m].Sum))
            metrics[std::string(kSavingsMetricKeys[m])] = FigureJson(f.MetricSavings[m]);
    return {{"strategy", StrategyText(f.Strategy)},
            {"category", CategoryTable[f.Category].Key},
            {"group", f.Group.str()},
            {"audit", f.AuditId.str()},
            {"title", f.Title.str()},
            {"pages", f.Pages},
            {"share", f.Share},
            {"savings_ms", FigureJson(f.SavingsMs)},
            {"savings_bytes", FigureJson(f.SavingsBytes)},
            {"metric_savings", std::move(metrics)},
            {"median_score", Number(f.MedianScore)},
            {"rank_by", io::RankByText(f.Rank.By)},
            {"rank", f.Rank.Value}};
}

json ResourceJson(const TSharedResource& r) {
    return {{"strategy", StrategyText(r.Strategy)},
            {"url", r.Url},
            {"audit", r.AuditId.str()},
            {"title", r.Title.str()},
            {"pages", r.Pages},
            {"wasted_ms", FigureJson(r.SavingsMs)},
            {"wasted_bytes", FigureJson(r.SavingsBytes)},
            {"rank_by", io::RankByText(r.Rank.By)},
            {"rank", r.Rank.Value}};
}

json GroupJson(const TPageGroup& g, const std::vector<const TURLTaskInfo*>& rows) {
    return {{"strategy", StrategyText(g.Strategy)},
            {"name", g.Name},
            {"pages", g.Pages},
            {"median_score", Number(g.MedianScore)},
            {"bands",
             {{"good", g.BandShare[0]}, {"average", g.BandShare[1]}, {"poor", g.BandShare[2]}}},
            {"cwv_pass_rate", Number(g.CwvPassRate)},
            {"worst", io::UrlsOf(g.Worst, rows)}};
}

bool Written(const std::string& path, const TResult<>& r) {
    if (path.empty() || r) return true;
    Complain(Tr(io::kMsgExportFailed) + " " + r.Error());
    return false;
}

}  // namespace

bool WantsSummaryCsv(const TCliOptions& o) {
    return !o.FixesCsv.empty() || !o.ResourcesCsv.empty() || !o.GroupsCsv.empty();
}

bool LoadGroupRules(const std::string& text, std::vector<TGroupRule>& rules) {
    TResult<std::vector<TGroupRule>> parsed = io::ParseGroupRules(text);
    if (!parsed) {
        Complain(parsed.Error());
        return false;
    }
    rules = std::move(*parsed);
    return true;
}

bool WriteSummaryCsvs(const TCliOptions& o, const TSiteSummary& summary,
                      const std::vector<const TURLTaskInfo*>& rows) {
    bool ok = true;
    if (!o.FixesCsv.empty())
        ok = Written(o.FixesCsv, io::ExportFixesCsv(o.FixesCsv, summary.Fixes)) && ok;
    if (!o.ResourcesCsv.empty())
        ok = Written(o.ResourcesCsv, io::ExportResourcesCsv(o.ResourcesCsv, summary.Resources)) &&
             ok;
    if (!o.GroupsCsv.empty())
        ok = Written(o.GroupsCsv, io::ExportGroupsCsv(o.GroupsCsv, summary.Groups, rows)) && ok;
    return ok;
}

std::string SummaryJsonLine(const TSiteSummary& summary,
                            const std::vector<const TURLTaskInfo*>& rows, bool crawlTimedOut) {
    json fixes = json::array(), resources = json::array(), groups = json::array();
    for (const TFixRow& f : summary.Fixes) fixes.push_back(FixJson(f));
    for (const TSharedResource& r : summary.Resources) resources.push_back(ResourceJson(r));
    for (const TPageGroup& g : summary.Groups) groups.push_back(GroupJson(g, rows));
    json line = {{"summary", {{"fixes", fixes}, {"resources", resources}, {"groups", groups}}}};
    if (crawlTimedOut) line["summary"]["stopped"] = "time";
    return line.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace velmora::cli
