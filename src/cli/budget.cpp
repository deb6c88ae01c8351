#include "cli/budget.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "base/text.h"

namespace velmora::cli {
namespace {

// A limit's key: a catalogue key, or a category's id for its score.
std::optional<std::string_view> FindMetric(const std::string& name) {
    const std::string lower = AsciiLower(name);
    if (lower == "score") return MetricaTable[0].Key;
    for (const TMetricaInfo& row : MetricaTable)
        if (row.Key == lower || (!row.ShortName.empty() && AsciiLower(row.ShortName) == lower))
            return row.Key;
    for (const TCategoryInfo& c : CategoryTable)
        if (c.Key == lower) return c.Key;
    return std::nullopt;
}

// Scores are minimums, every other metric a maximum.
bool IsScoreKey(std::string_view key) {
    for (const TCategoryInfo& c : CategoryTable)
        if (c.Key == key) return true;
    return false;
}

std::string Number(double d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", d);
    return buf;
}

}  // namespace

void AddScoreFloor(TBudget& budget, double minScore) {
    for (TMetricaStrategy s : kStrategies)
        budget.push_back({s, std::string(MetricaTable[0].Key), minScore});
}

namespace {

// The budget as JSON, or why not: a budget is a small object of objects, so deep nesting, a
// key given twice (which a parser would silently settle) and NUL bytes are refused.
TResult<nlohmann::json> ParseBudgetJson(const std::string& text) {
    if (text.find('\0') != std::string::npos) return Fail("the budget file holds a NUL byte");
    std::string problem;
    std::vector<std::vector<std::string>> keys;  // per open object, its keys so far
    const auto check = [&](int depth, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
        using E = nlohmann::json::parse_event_t;
        if (!problem.empty()) return false;
        if (depth > kMaxBudgetDepth) {
            problem = "the budget file nests deeper than " + std::to_string(kMaxBudgetDepth);
            return false;
        }
        if (event == E::object_start) keys.emplace_back();
        if (event == E::object_end && !keys.empty()) keys.pop_back();
        if (event == E::key && !keys.empty()) {
            const std::string key = parsed.get<std::string>();
            std::vector<std::string>& seen = keys.back();
            if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
                problem = "the budget file names \"" + key + "\" twice";
                return false;
            }
            seen.push_back(key);
        }
        return true;
    };
    nlohmann::json j = nlohmann::json::parse(text, check, false);
    if (!problem.empty()) return Fail(problem);
    if (j.is_discarded() || !j.is_object()) return Fail("the budget file is not a JSON object");
    return j;
}

}  // namespace

TResult<TBudget> ParseBudget(const std::string& text) {
    const TResult<nlohmann::json> parsed = ParseBudgetJson(text);
    if (!parsed) return parsed.Failure();
    const nlohmann::json& j = *parsed;
    TBudget budget;
    for (const auto& [section, limits] : j.items()) {
        std::vector<TMetricaStrategy> strategies;
        if (section == "desktop")
            strategies = {msDesktop};
        else if (section == "mobile")
            strategies = {msMobile};
        else if (section == "both")
            strategies = {msDesktop, msMobile};
        else
            return Fail("budget section \"" + section + "\" is none of desktop, mobile, both");
        if (!limits.is_object()) return Fail("budget section \"" + section + "\" is no object");
        for (const auto& [name, value] : limits.items()) {
            const std::optional<std::string_view> metric = FindMetric(name);
            if (!metric) return Fail("budget metric \"" + name + "\" is unknown");
            if (!value.is_number() || !std::isfinite(value.get<double>()) ||
                value.get<double>() < 0)
                return Fail("budget limit \"" + name + "\" is no number of 0 or more");
            if (IsScoreKey(*metric) && value.get<double>() > 100)
                return Fail("budget limit \"" + name + "\" is beyond a score's 100");
            for (TMetricaStrategy s : strategies)
                budget.push_back({s, std::string(*metric), value.get<double>()});
        }
    }
    return budget;
}

std::optional<std::string> BudgetOutsideRun(const TBudget& budget, TCategorySet categories) {
    for (const TBudgetLimit& limit : budget) {
        for (size_t c = ctAccessibility; c < CategoryTable.size(); ++c)
            if (limit.Key == CategoryTable[c].Key && !HasCategory(categories, static_cast<int>(c)))
                return "the budget limits " + limit.Key +
                       ", which this run does not ask for: add it to --categories";
    }
    return std::nullopt;
}

std::vector<std::string> BudgetBreaks(const TBudget& budget, const TURLTaskInfo& task) {
    std::vector<std::string> breaks;
    for (const TBudgetLimit& limit : budget) {
        // A strategy the run did not ask for has nothing to hold to a limit.
        if (task.TaskResults && !task.TaskResults->Asked(limit.Strategy)) continue;
        const TMetricaValue* v = task.TaskResults ? task.TaskResults->MetricaValues.GetValueByKey(
                                                        limit.Key, limit.Strategy)
                                                  : nullptr;
        const bool isScore = IsScoreKey(limit.Key);
        const std::string name = limit.Key == MetricaTable[0].Key ? "score" : limit.Key;
        std::string what;
        if (!v || !std::isfinite(v->Number))
            what = name + " missing";
        else if (isScore ? v->Number < limit.Limit : v->Number > limit.Limit)
            what = name + " " + Number(v->Number) + (isScore ? " < " : " > ") + Number(limit.Limit);
        if (!what.empty())
            breaks.push_back(task.URL + " (" + std::string(StrategyText(limit.Strategy)) +
                             "): " + what);
    }
    return breaks;
}

}  // namespace velmora::cli
