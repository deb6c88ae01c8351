// The checked pages read as a site: which audits fail where and what fixing them would save,
// the resources many pages share, and the pages grouped by template. Computed from what a run
// holds (kept advice with its savings and resource addresses), for a live or a past run alike.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/interned_text.h"
#include "engine/metrica.h"
#include "engine/tasks.h"

namespace velmora {

inline constexpr double kNoFigure = std::numeric_limits<double>::quiet_NaN();

// The metrics a saving is estimated for, in this order: LCP, FCP, CLS, TBT, INP.
enum TSavingsMetric : uint8_t { smLCP = 0, smFCP = 1, smCLS = 2, smTBT = 3, smINP = 4 };
inline constexpr std::array<std::string_view, 5> kSavingsMetricKeys{"LCP", "FCP", "CLS", "TBT",
                                                                    "INP"};

// A sum and a median over the pages that name a figure; NaN when none does.
struct TFigure {
    double Sum = kNoFigure;
    double Median = kNoFigure;
};

// One failing audit of one strategy across the checked pages.
struct TFixRow {
    TMetricaStrategy Strategy = msDesktop;
    TCategory Category = ctPerformance;
    TInternedText AuditId, Title, GroupTitle;
    int32_t Pages = 0;   // pages where it fails
    double Share = 0;    // of the strategy's checked pages, 0..1
    TFigure SavingsMs;   // details.overallSavingsMs
    TFigure SavingsBytes;  // details.overallSavingsBytes
    std::array<TFigure, kSavingsMetricKeys.size()> MetricSavings;  // metricSavings
    double MedianScore = kNoFigure;  // the performance score (0-100) of the affected pages
    std::vector<int32_t> TaskNums;   // the affected pages, for filtering the grids
};

// One resource address that the advice of many pages names.
struct TSharedResource {
    TMetricaStrategy Strategy = msDesktop;
    std::string Url;
    TInternedText AuditId, Title;  // the audit naming it on the most pages
    int32_t Pages = 0;
    TFigure SavingsMs;     // the items' wastedMs
    TFigure SavingsBytes;  // the items' wastedBytes
    std::vector<int32_t> TaskNums;
};

// Pages of one template (host and first path segment, or a user's pattern) and one strategy.
struct TPageGroup {
    TMetricaStrategy Strategy = msDesktop;
    std::string Name;
    int32_t Pages = 0;  // checked pages with a score
    double MedianScore = kNoFigure;
    std::array<double, 3> BandShare{};  // good, average, poor; 0..1
    double CwvPassRate = kNoFigure;     // of the pages with field data; NaN without any
    std::vector<int32_t> Worst;         // up to three task numbers, lowest score first
    std::vector<int32_t> TaskNums;
};

// A user's group: pages whose URL matches Glob ("*" any text, "?" one character) belong to
// Name; the first matching rule wins, unmatched pages fall into their default group.
struct TGroupRule {
    std::string Name;
    std::string Glob;
};

struct TSiteSummary {
    std::vector<TFixRow> Fixes;               // by pages x savings, largest first
    std::vector<TSharedResource> Resources;   // top 50 per strategy by pages x savings
    std::vector<TPageGroup> Groups;
};

TSiteSummary SummarizeSite(const std::vector<const TURLTaskInfo*>& rows,
                           const std::vector<TGroupRule>& groupRules = {});

}  // namespace velmora
