// The checked pages read as a site: which audits fail where and what fixing them would save,
// the resources many pages share, and the pages grouped by template. Computed from what a run
// holds (kept advice with its savings and resource addresses), for a live or a past run alike.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "engine/interned_text.h"
#include "engine/metrica.h"
#include "engine/tasks.h"

namespace velmora {

inline constexpr double kNoFigure = std::numeric_limits<double>::quiet_NaN();

// Rows rank first by what their savings are counted in, then by Value (largest first).
struct TSavingsRank {
    enum TBy : uint8_t { Time = 0, Bytes = 1, Pages = 2 } By = Pages;
    double Value = 0;  // pages x the median of the figure, or the pages alone
};

// A sum and a median over the pages that name a figure; NaN when none does.
struct TFigure {
    double Sum = kNoFigure;
    double Median = kNoFigure;
};

// One failing audit of one strategy across the checked pages. An audit fails on a page when
// the page's advice holds it with a score below 0.9; informative audits, audits in error and
// manual checks never do.
struct TFixRow {
    TMetricaStrategy Strategy = msDesktop;
    TCategory Category = ctPerformance;
    TInternedText AuditId, Title, GroupTitle;
    TInternedText Group;   // the group's id: AdviceGroupTable's key, or the answer's own
    int32_t Pages = 0;     // pages where it fails
    double Share = 0;      // of the strategy's checked pages, 0..1
    TFigure SavingsMs;     // details.overallSavingsMs
    TFigure SavingsBytes;  // details.overallSavingsBytes
    std::array<TFigure, kSavingsMetricKeys.size()> MetricSavings;  // metricSavings
    // The time a page saves: its overallSavingsMs, else its largest LCP, FCP, TBT or INP saving;
    // what answers of today give, whose insights carry metricSavings alone.
    TFigure TimeSavedMs;
    double MedianScore = kNoFigure;  // the performance score (0-100) of the affected pages
    std::vector<int32_t> TaskNums;   // the affected pages, for filtering the grids
    // What the order goes by: pages x the median time saved (each page's overallSavingsMs, else
    // its largest LCP, FCP, TBT or INP saving); rows without any time saved follow, by pages x
    // the median of overallSavingsBytes; rows with neither last, by pages.
    TSavingsRank Rank;
};

// One resource address that the advice of many pages names.
struct TSharedResource {
    TMetricaStrategy Strategy = msDesktop;
    std::string Url;
    TInternedText AuditId, Title;  // the audit naming it on the most pages
    int32_t Pages = 0;
    TFigure SavingsMs;     // the items' wastedMs; a page naming it twice counts its largest
    TFigure SavingsBytes;  // the items' wastedBytes
    std::vector<int32_t> TaskNums;
    TSavingsRank Rank;  // by wastedMs, else wastedBytes, else pages; as TFixRow's
};

// Pages of one template and one strategy: by default a host and the first segment of the path
// ("example.com/product/"), the home page alone ("example.com/"); or a user's pattern.
struct TPageGroup {
    TMetricaStrategy Strategy = msDesktop;
    std::string Name;
    int32_t Pages = 0;  // checked pages with a score
    double MedianScore = kNoFigure;
    std::array<double, 3> BandShare{};  // good, average, poor; 0..1
    double CwvPassRate = kNoFigure;     // of the pages with field data; NaN without any
    std::vector<int32_t> Worst;         // up to three task numbers, lowest score first
    std::vector<int32_t> TaskNums;      // the pages counted, in the order given
};

// A user's group: pages whose URL matches Glob ("*" any text, "?" one character; the whole URL
// as written, case-sensitive) belong to Name; the first matching rule wins, unmatched pages
// fall into their default group.
struct TGroupRule {
    std::string Name;
    std::string Glob;
};

inline constexpr size_t kMaxSharedResources = 50;

struct TSiteSummary {
    std::vector<TFixRow> Fixes;              // desktop then mobile; each by Rank, largest first
    std::vector<TSharedResource> Resources;  // top 50 per strategy by pages x savings
    std::vector<TPageGroup> Groups;          // desktop then mobile; each by pages, then name
};

// Strategies count the pages checked in them (status OK); rows without results are passed over.
TSiteSummary SummarizeSite(const std::vector<const TURLTaskInfo*>& rows,
                           const std::vector<TGroupRule>& groupRules = {});

// The parts of the summary, for those who need one alone.
std::vector<TFixRow> SummarizeFixes(const std::vector<const TURLTaskInfo*>& rows);
std::vector<TSharedResource> SummarizeResources(const std::vector<const TURLTaskInfo*>& rows);
std::vector<TPageGroup> SummarizeGroups(const std::vector<const TURLTaskInfo*>& rows,
                                        const std::vector<TGroupRule>& groupRules);
// The group of a URL when no rule takes it: "host/first-segment/", or "host/" for the home page;
// the URL itself when it is no web address.
std::string DefaultGroupName(std::string_view url);
// The group of a page: the first rule whose glob matches its URL, else DefaultGroupName.
std::string PageGroupOf(std::string_view url, const std::vector<TGroupRule>& rules);
// Glob matching as TGroupRule describes.
bool GlobMatches(std::string_view glob, std::string_view text);
// Counts as a failure in the summary (see TFixRow).
bool IsFailingAdvice(const TGAdvice& a);

}  // namespace velmora
