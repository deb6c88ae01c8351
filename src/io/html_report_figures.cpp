#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "base/translate.h"
#include "engine/grid_sort.h"
#include "io/html_report_parts.h"

namespace velmora::io::report {

void AppendElement(std::string& out, std::string_view tag, std::string_view text,
                   std::string_view cls) {
    out.append("<").append(tag);
    if (!cls.empty()) out.append(" class=\"").append(cls).append("\"");
    out.append(">");
    AppendHtml(out, text);
    out.append("</").append(tag).append(">");
}

void AppendHeading(std::string& out, std::string_view tag, const char* text) {
    AppendElement(out, tag, Tr(text));
    out.append("\n");
}

double Median(std::vector<double>& values) {
    if (values.empty()) return std::nan("");
    const size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + mid, values.end());
    if (values.size() % 2) return values[mid];
    const double upper = values[mid];
    return (*std::max_element(values.begin(), values.begin() + mid) + upper) / 2;
}

std::string FormatFigure(double value, int decimals, char separator) {
    if (std::isnan(value)) return "–";
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string text = buf;
    if (const size_t dot = text.find('.'); dot != std::string::npos) text[dot] = separator;
    return text == "-0" ? "0" : text;
}

std::string MetricFigure(size_t row, double value, char separator) {
    if (std::isnan(value)) return "–";
    const std::string_view key = MetricaTable[row].Key;
    if (key == "cumulative-layout-shift") return FormatFigure(value, 3, separator);
    if (key == "total-blocking-time") return FormatFigure(value, 0, separator) + " ms";
    return FormatFigure(value / 1000, 1, separator) + " s";
}

double ValueNumber(const TMetricaValue& v) {
    if (!std::isnan(v.Number)) return v.Number;
    return ParseGridNumber(v.DisplayText).value_or(std::nan(""));
}

double ScoreOf(const TURLTaskInfo* row, TMetricaStrategy s) {
    if (!row || !row->TaskResults || row->TaskResults->TaskResult[s] != trOK) return std::nan("");
    const TMetricaValue* v = row->TaskResults->MetricaValues.GetValueByKey("performance", s);
    return v ? ValueNumber(*v) : std::nan("");
}

TStrategyStats StrategyStatsOf(const std::vector<const TURLTaskInfo*>& rows, TMetricaStrategy s) {
    TStrategyStats st;
    for (const TURLTaskInfo* row : rows) {
        if (!row || !row->TaskResults) continue;
        const TURLTaskResults& r = *row->TaskResults;
        const TTaskResult result = r.TaskResult[s];
        if (result == trNotChecked || result == trAborted) continue;
        if (result != trOK) {
            ++st.Failed;
            continue;
        }
        if (r.FieldData[s].Verdict != cvNone) {
            ++st.CwvJudged;
            st.CwvPassed += r.FieldData[s].Verdict == cvPassed;
        }
        if (const double score = ScoreOf(row, s); !std::isnan(score)) st.Scores.push_back(score);
        for (size_t m = 0; m < st.Metrics.size(); ++m) {
            const TMetricaValue* v = r.MetricaValues.GetValueByKey(MetricaTable[m + 1].Key, s);
            if (!v) continue;
            if (const double n = ValueNumber(*v); !std::isnan(n)) st.Metrics[m].push_back(n);
        }
    }
    return st;
}

std::vector<const TURLTaskInfo*> OlderMatches(const TReportInput& input) {
    std::vector<const TURLTaskInfo*> matches;
    if (!input.Compared) return matches;
    std::unordered_map<std::string_view, const TURLTaskInfo*> byUrl;
    byUrl.reserve(input.OlderRows.size());
    for (const TURLTaskInfo* row : input.OlderRows)
        if (row) byUrl.emplace(row->URL, row);
    matches.reserve(input.Rows.size());
    for (const TURLTaskInfo* row : input.Rows) {
        const auto it = row ? byUrl.find(row->URL) : byUrl.end();
        matches.push_back(it == byUrl.end() ? nullptr : it->second);
    }
    return matches;
}

std::vector<TScoreChange> ScoreChanges(const TReportInput& input) {
    std::vector<TScoreChange> changes;
    const std::vector<const TURLTaskInfo*> older = OlderMatches(input);
    for (size_t i = 0; i < older.size(); ++i) {
        for (TMetricaStrategy s : kStrategies) {
            const double a = ScoreOf(older[i], s), b = ScoreOf(input.Rows[i], s);
            if (std::isnan(a) || std::isnan(b)) continue;
            changes.push_back({s, input.Rows[i]->URL, a, b, b - a});
        }
    }
    return changes;
}

}  // namespace velmora::io::report
