// Score and metric budgets a deployment pipeline can stop on.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "engine/tasks.h"

namespace velmora::cli {

// One limit: a score (performance's or another category's) must be at least Limit, any other
// metric at most Limit (ms, unitless CLS, bytes for transfer sizes).
struct TBudgetLimit {
    TMetricaStrategy Strategy = msDesktop;
    std::string Key;  // a catalogue key ("performance" for the score) or a category's id
    double Limit = 0;
};

using TBudget = std::vector<TBudgetLimit>;

// The minimum score for both strategies (--fail-under).
void AddScoreFloor(TBudget& budget, double minScore);

// A budget file's text: {"desktop": {"score": 90, "LCP": 2500, "cls": 0.1}, "mobile": {...},
// "both": {...}}; a metric is named by its catalogue key or short name, any case, and the other
// categories' scores by their ids ("accessibility", "best-practices", "seo"). The failure
// says what is wrong in English, as the other command line errors do.
TResult<TBudget> ParseBudget(const std::string& text);
// A budget is a few lines; a larger file is the wrong one, and is not read further.
inline constexpr size_t kMaxBudgetBytes = 1024 * 1024;
inline constexpr int kMaxBudgetDepth = 64;

// Why a budget cannot be judged by a run asking for these categories (a limit on a category the
// run leaves out); nothing when it can.
std::optional<std::string> BudgetOutsideRun(const TBudget& budget, TCategorySet categories);

// One line per broken limit of a task: "URL (strategy): what". A value missing from the
// results (a failed check) breaks its limit as well.
std::vector<std::string> BudgetBreaks(const TBudget& budget, const TURLTaskInfo& task);

}  // namespace velmora::cli
