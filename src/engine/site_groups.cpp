// The checked pages grouped by template, per strategy.
#include <algorithm>
#include <map>

#include "engine/score_bands.h"
#include "engine/site_summary.h"
#include "engine/summary_figures.h"
#include "http/url.h"

namespace velmora {
namespace {

struct TGroupTally {
    std::vector<int32_t> TaskNums;
    std::vector<std::pair<double, int32_t>> Scored;  // score, task
    int32_t CwvPassed = 0, CwvJudged = 0;
};

TPageGroup GroupRowOf(TMetricaStrategy s, std::string name, TGroupTally& t) {
    TPageGroup g;
    g.Strategy = s;
    g.Name = std::move(name);
    g.Pages = static_cast<int32_t>(t.Scored.size());
    std::vector<double> scores;
    scores.reserve(t.Scored.size());
    for (const auto& [score, task] : t.Scored) {
        scores.push_back(score);
        ++g.BandShare[ScoreBandOf(score)];
    }
    for (double& share : g.BandShare) share = g.Pages ? share / g.Pages : 0.0;
    g.MedianScore = Median(scores);
    if (t.CwvJudged > 0) g.CwvPassRate = double(t.CwvPassed) / t.CwvJudged;
    const size_t worst = std::min<size_t>(3, t.Scored.size());
    std::partial_sort(t.Scored.begin(), t.Scored.begin() + static_cast<std::ptrdiff_t>(worst),
                      t.Scored.end());
    for (size_t i = 0; i < worst; ++i) g.Worst.push_back(t.Scored[i].second);
    g.TaskNums = std::move(t.TaskNums);
    return g;
}

}  // namespace

std::string PageGroupOf(std::string_view url, const std::vector<TGroupRule>& rules) {
    for (const TGroupRule& rule : rules)
        if (GlobMatches(rule.Glob, url)) return rule.Name;
    return DefaultGroupName(url);
}

bool GlobMatches(std::string_view glob, std::string_view text) {
    // Greedy with one point of return: the last "*" seen absorbs one more character on a miss.
    size_t g = 0, t = 0, starG = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (g < glob.size() && (glob[g] == '?' || glob[g] == text[t])) {
            ++g;
            ++t;
        } else if (g < glob.size() && glob[g] == '*') {
            starG = g++;
            starT = t;
        } else if (starG != std::string_view::npos) {
            g = starG + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (g < glob.size() && glob[g] == '*') ++g;
    return g == glob.size();
}

std::string DefaultGroupName(std::string_view url) {
    const std::optional<http::TUrl> parsed = http::ParseUrl(url);
    if (!parsed) return std::string(url);
    std::string name = parsed->Host;
    if (!parsed->Port.empty()) name += ":" + parsed->Port;
    const std::string_view path = parsed->Path;
    const size_t start = path.find_first_not_of('/');
    if (start == std::string_view::npos) return name + "/";
    const size_t end = path.find('/', start);
    name += "/";
    name += path.substr(start, end == std::string_view::npos ? end : end - start);
    return name + "/";
}

std::vector<TPageGroup> SummarizeGroups(const std::vector<const TURLTaskInfo*>& rows,
                                        const std::vector<TGroupRule>& groupRules) {
    // The name of each row once: both strategies share it.
    std::vector<std::string> names(rows.size());
    std::vector<TPageGroup> out;
    for (TMetricaStrategy s : kStrategies) {
        std::map<std::string, TGroupTally, std::less<>> tallies;
        for (size_t i = 0; i < rows.size(); ++i) {
            const TURLTaskInfo* task = rows[i];
            if (!IsChecked(task, s)) continue;
            const double score = PerformanceScore(*task->TaskResults, s);
            if (std::isnan(score)) continue;
            if (names[i].empty()) names[i] = PageGroupOf(task->URL, groupRules);
            TGroupTally& t = tallies[names[i]];
            t.TaskNums.push_back(task->Num);
            t.Scored.emplace_back(score, task->Num);
            const TCwvVerdict verdict = task->TaskResults->FieldData[s].Verdict;
            if (verdict != cvNone) {
                ++t.CwvJudged;
                t.CwvPassed += verdict == cvPassed;
            }
        }
        const size_t first = out.size();
        for (auto& [name, tally] : tallies) out.push_back(GroupRowOf(s, name, tally));
        std::stable_sort(
            out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
            [](const TPageGroup& a, const TPageGroup& b) { return a.Pages > b.Pages; });
    }
    return out;
}

}  // namespace velmora
