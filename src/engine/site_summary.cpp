#include "engine/site_summary.h"

#include <algorithm>
#include <functional>
#include <unordered_map>

#include "engine/summary_figures.h"

namespace velmora {
namespace {

// One failing audit of one strategy while the pages are read.
struct TFixTally {
    const TGAdvice* First = nullptr;  // the first page's item: id, title, group
    int32_t LastTask = 0;
    std::vector<int32_t> TaskNums;
    std::vector<float> Ms, Bytes, RankMs;
    std::array<std::vector<float>, kSavingsMetricKeys.size()> Metric;
    std::vector<double> Scores;
};

struct TFixKey {
    const std::string* Audit;
    TCategory Category;
    bool operator==(const TFixKey&) const = default;
};
struct TFixKeyHash {
    size_t operator()(const TFixKey& k) const {
        return std::hash<const void*>{}(k.Audit) * 31u + k.Category;
    }
};

void AddFailure(TFixTally& t, const TGAdvice& a, int32_t task, double score) {
    if (t.LastTask == task && !t.TaskNums.empty()) return;  // the same audit twice on a page
    if (!t.First) t.First = &a;
    t.LastTask = task;
    t.TaskNums.push_back(task);
    const TAdviceSavings& s = a.Figures.Savings();
    AddGiven(t.Ms, s.Ms);
    AddGiven(t.Bytes, s.Bytes);
    AddGiven(t.RankMs, s.RankMs());
    for (size_t m = 0; m < s.Metric.size(); ++m) AddGiven(t.Metric[m], s.Metric[m]);
    if (!std::isnan(score)) t.Scores.push_back(score);
}

TFixRow FixRowOf(TMetricaStrategy s, TFixTally& t, int32_t checked) {
    const TGAdvice& a = *t.First;
    TFixRow row;
    row.Strategy = s;
    row.Category = a.Category;
    row.AuditId = a.AuditId;
    row.Title = a.Title;
    if (a.Category == ctPerformance) {
        // A damaged history may hold any number here.
        const auto ndx = static_cast<size_t>(a.AdviceGroupNdx);
        if (ndx < AdviceGroupTable.size()) {
            row.Group = TInternedText(AdviceGroupTable[ndx].Key);
            row.GroupTitle = TInternedText(AdviceGroupTable[ndx].Caption);
        }
    } else {
        row.Group = a.Group;
        row.GroupTitle = a.GroupTitle;
    }
    row.Pages = static_cast<int32_t>(t.TaskNums.size());
    row.Share = checked > 0 ? double(row.Pages) / checked : 0.0;
    row.SavingsMs = FigureOf(t.Ms);
    row.SavingsBytes = FigureOf(t.Bytes);
    for (size_t m = 0; m < row.MetricSavings.size(); ++m)
        row.MetricSavings[m] = FigureOf(t.Metric[m]);
    row.MedianScore = Median(t.Scores);
    row.TimeSavedMs = FigureOf(t.RankMs);
    row.Rank = RankOf(row.Pages, row.TimeSavedMs.Median, row.SavingsBytes.Median);
    row.TaskNums = std::move(t.TaskNums);
    return row;
}

}  // namespace

bool IsFailingAdvice(const TGAdvice& a) {
    return a.Failed() && a.Score && *a.Score < 0.9;
}

std::vector<TFixRow> SummarizeFixes(const std::vector<const TURLTaskInfo*>& rows) {
    std::vector<TFixRow> out;
    for (TMetricaStrategy s : kStrategies) {
        std::unordered_map<TFixKey, size_t, TFixKeyHash> index;
        std::vector<TFixTally> tallies;
        int32_t checked = 0;
        for (const TURLTaskInfo* task : rows) {
            if (!IsChecked(task, s)) continue;
            ++checked;
            const double score = PerformanceScore(*task->TaskResults, s);
            for (const TGAdvice& a : task->TaskResults->AdviceList[s]) {
                if (!IsFailingAdvice(a)) continue;
                auto [it, added] =
                    index.try_emplace(TFixKey{&a.AuditId.str(), a.Category}, tallies.size());
                if (added) tallies.emplace_back();
                AddFailure(tallies[it->second], a, task->Num, score);
            }
        }
        const size_t first = out.size();
        for (TFixTally& t : tallies) out.push_back(FixRowOf(s, t, checked));
        std::sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
                  [](const TFixRow& a, const TFixRow& b) {
                      if (RankBefore(a.Rank, b.Rank)) return true;
                      if (RankBefore(b.Rank, a.Rank)) return false;
                      if (a.Pages != b.Pages) return a.Pages > b.Pages;
                      if (a.Category != b.Category) return a.Category < b.Category;
                      return a.AuditId.str() < b.AuditId.str();
                  });
    }
    return out;
}

TSiteSummary SummarizeSite(const std::vector<const TURLTaskInfo*>& rows,
                           const std::vector<TGroupRule>& groupRules) {
    TSiteSummary summary;
    summary.Fixes = SummarizeFixes(rows);
    summary.Resources = SummarizeResources(rows);
    summary.Groups = SummarizeGroups(rows, groupRules);
    return summary;
}

}  // namespace velmora
