#include "io/spreadsheet_csv.h"

#include <charconv>
#include <cmath>

#include "engine/metrica.h"
#include "engine/site_summary.h"
#include "io/advice_csv.h"
#include "io/csv.h"

namespace velmora::io {
namespace {

std::string NumberText(double v) {
    if (!std::isfinite(v)) return {};
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

// Milliseconds, bytes and scores are whole; CLS keeps the four places Lighthouse measures, so
// no binary noise ("24713.884000000002") reaches a spreadsheet.
std::string CellNumber(double v, bool whole) {
    if (!std::isfinite(v)) return {};
    return NumberText(whole ? std::round(v) : std::round(v * 10000) / 10000);
}

bool IsCls(std::string_view key) {
    return key == "cumulative-layout-shift";
}

std::vector<std::string> Header(TCategorySet asked) {
    std::vector<std::string> h{"Num", "URL", "Strategy", "Status", "Error"};
    for (const TMetricaInfo& m : MetricaTable) {
        std::string name(m.ShortName.empty() ? m.Caption : m.ShortName);
        // The unit is in the header, so the cells hold bare numbers.
        if (m.Kind == mkTransferSize) name += " bytes";
        if (m.Kind == mkAuditValue && !IsCls(m.Key)) name += " ms";
        h.push_back(std::move(name));
    }
    for (size_t c = ctAccessibility; c < CategoryTable.size(); ++c)
        if (HasCategory(asked, static_cast<int>(c))) h.emplace_back(CategoryTable[c].Key);
    for (const TFieldMetricInfo& f : FieldMetricTable)
        h.push_back("Field " + std::string(f.ShortName) + " p75" + (f.Good < 1 ? "" : " ms"));
    h.insert(h.end(), {"Field source", "Field CWV", "Page group"});
    return h;
}

// The reason of a failure: the service's own words where it gave them, else ours; nothing for
// a page that did not fail (an unchecked row's log lines are no reason).
std::string ErrorCell(const TURLTaskResults& r, TMetricaStrategy s) {
    const TTaskResult result = r.TaskResult[s];
    if (result == trOK || result == trNotChecked || result == trAborted) return {};
    return r.ServiceText[s].empty() ? r.ErrorMessage[s] : r.ServiceText[s];
}

std::vector<std::string> Line(const TURLTaskInfo& task, TMetricaStrategy s, TCategorySet asked,
                              const std::vector<TGroupRule>& groupRules) {
    const TURLTaskResults& r = *task.TaskResults;
    std::string status = r.TaskResult[s] == trOK ? "OK" : r.ErrorText(s);
    if (status.empty()) status = r.TaskResult[s] == trAborted ? "ABORTED" : "NOT CHECKED";
    // A page error's text is its message, which the Error cell carries: the status says which.
    if (r.TaskResult[s] == trPageError) status = r.ServiceCode[s];
    std::vector<std::string> fields{std::to_string(task.Num), task.URL,
                                    std::string(StrategyText(s)), status, ErrorCell(r, s)};
    for (const TMetricaInfo& m : MetricaTable) {
        const TMetricaValue* v = r.MetricaValues.GetValueByKey(m.Key, s);
        fields.push_back(v ? CellNumber(v->Number, !IsCls(m.Key)) : std::string());
    }
    for (size_t c = ctAccessibility; c < CategoryTable.size(); ++c) {
        if (!HasCategory(asked, static_cast<int>(c))) continue;
        const TMetricaValue* v = r.MetricaValues.GetValueByKey(CategoryTable[c].Key, s);
        fields.push_back(v ? CellNumber(v->Number, true) : std::string());
    }
    const TFieldData& field = r.FieldData[s];
    for (size_t f = 0; f < FieldMetricTable.size(); ++f) {
        const TFieldMetricValue& m = field.Metrics[f];
        fields.push_back(field.Empty() || !m.Present ? std::string()
                                                     : CellNumber(m.P75, f != fmCLS));
    }
    fields.push_back(field.Empty() ? "" : field.Source == fsOrigin ? "origin" : "page");
    fields.push_back(field.Verdict == cvPassed   ? "passed"
                     : field.Verdict == cvFailed ? "failed"
                                                 : "");
    fields.push_back(PageGroupOf(task.URL, groupRules));
    return fields;
}

}  // namespace

std::string SpreadsheetAdvicePath(const std::string& path) {
    const std::string ext = ".csv";
    const bool csv =
        path.size() > ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0;
    return (csv ? path.substr(0, path.size() - ext.size()) : path) + "-advice.csv";
}

TResult<> ExportSpreadsheetCsv(const std::string& path,
                               const std::vector<const TURLTaskInfo*>& rows,
                               const std::vector<TGroupRule>& groupRules) {
    const TCategorySet asked = AskedCategories(rows);
    TCsvWriter writer(kCodePageUtf8);
    if (TResult<> r = writer.Open(path); !r) return r;
    if (TResult<> r = writer.WriteLine(Header(asked)); !r) return r;
    for (const TURLTaskInfo* task : rows) {
        if (!task || !task->TaskResults) continue;
        for (TMetricaStrategy s : kStrategies)
            if (TResult<> r = writer.WriteLine(Line(*task, s, asked, groupRules)); !r) return r;
    }
    if (TResult<> r = writer.Close(); !r) return r;
    TResult<TCsvExport> advice =
        ExportAdviceCsv(SpreadsheetAdvicePath(path), kCodePageUtf8, '.', rows);
    if (!advice) return Fail(advice.Error(), advice.Code());
    return {};
}

}  // namespace velmora::io
