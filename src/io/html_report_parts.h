// The pieces the HTML report is assembled from; internal to io.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "io/html_report.h"

namespace velmora::io::report {

// Appends text with &, <, >, " and ' as character references: safe in content and in quoted
// attribute values.
void AppendHtml(std::string& out, std::string_view text);
// Appends text as a JSON string that is also safe inside a <script> element: <, >, & and the
// line separators U+2028/U+2029 are escaped, so neither "</script>" nor "<!--" can appear.
void AppendJsonString(std::string& out, std::string_view text);

// <tag class="cls">text</tag>, the text escaped; no class attribute when cls is empty.
void AppendElement(std::string& out, std::string_view tag, std::string_view text,
                   std::string_view cls = {});
// A heading of a translated text, then a line break.
void AppendHeading(std::string& out, std::string_view tag, const char* text);

// The median of values; NaN when there are none. Reorders values.
double Median(std::vector<double>& values);
// A figure with that many decimals and that separator; "–" for NaN.
std::string FormatFigure(double value, int decimals, char separator);
// A lab metric's figure as the service shows it: seconds for timings, milliseconds for TBT,
// no unit for CLS. row indexes MetricaTable.
std::string MetricFigure(size_t row, double value, char separator);

// What one strategy's checked pages give the summary.
struct TStrategyStats {
    std::vector<double> Scores;                  // of the pages checked without error
    std::array<std::vector<double>, 6> Metrics;  // MetricaTable rows 1..6, the same pages
    int Failed = 0;                              // pages checked with an error
    int CwvJudged = 0, CwvPassed = 0;            // pages with a field-data verdict
};
TStrategyStats StrategyStatsOf(const std::vector<const TURLTaskInfo*>& rows, TMetricaStrategy s);

// A value's number; a run read from the history keeps only the text, which is then read as
// the grids read it (milliseconds for timings). NaN when it is no number.
double ValueNumber(const TMetricaValue& v);
// The performance score of a row's strategy, 0..100; NaN when it has none.
double ScoreOf(const TURLTaskInfo* row, TMetricaStrategy s);

// A page's score in both runs of a compared report, where both have one.
struct TScoreChange {
    TMetricaStrategy Strategy = msDesktop;
    std::string_view Url;
    double Older = 0, Newer = 0, Delta = 0;
};
std::vector<TScoreChange> ScoreChanges(const TReportInput& input);
// Each row's match among the older rows (by URL), or nullptr; empty unless compared.
std::vector<const TURLTaskInfo*> OlderMatches(const TReportInput& input);

// The fix list, the shared resources (each list up to so many rows per strategy) and the page
// groups of the input's summary.
void AppendFixes(std::string& out, const TReportInput& input, size_t maxFixes, size_t maxResources);
void AppendGroups(std::string& out, const TReportInput& input);

// The style sheet and the script of the page, without their elements.
std::string_view PageStyle();
std::string_view PageScript();

// Screenshots the table left out: each over kMaxScreenshotBytes (the run kept none of them), or
// beyond the input's MaxScreenshotBytes.
struct TShotsLeftOut {
    int TooLarge = 0;
    int OverReport = 0;
};

// The pages' table as one JSON object (rows, columns, texts) for the page's script; the
// screenshots in row order while they fit.
TShotsLeftOut AppendTableData(std::string& out, const TReportInput& input);

// The summary above the table: what was checked, per strategy the scores and metrics, the
// pages that got worse, the fix list, the shared resources and the page groups.
void AppendSummary(std::string& out, const TReportInput& input);

}  // namespace velmora::io::report
