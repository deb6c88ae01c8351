#include "io/spreadsheet_csv.h"

#include <charconv>
#include <cmath>

#include "engine/metrica.h"
#include "io/advice_csv.h"
#include "io/csv.h"

namespace velmora::io {
namespace {

std::string NumberText(double v) {
    if (std::isnan(v)) return {};
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

std::vector<std::string> Header() {
    std::vector<std::string> h{"Num", "URL", "Strategy", "Status", "Error"};
    for (const TMetricaInfo& m : MetricaTable) {
        std::string name(m.ShortName.empty() ? m.Caption : m.ShortName);
        // The unit is in the header, so the cells hold bare numbers.
        if (m.Kind == mkTransferSize) name += " bytes";
        if (m.Kind == mkAuditValue && m.Key != "cumulative-layout-shift") name += " ms";
        h.push_back(std::move(name));
    }
    return h;
}

std::vector<std::string> Line(const TURLTaskInfo& task, TMetricaStrategy s) {
    const TURLTaskResults& r = *task.TaskResults;
    std::string status = r.TaskResult[s] == trOK ? "OK" : r.ErrorText(s);
    if (status.empty()) status = r.TaskResult[s] == trAborted ? "ABORTED" : "NOT CHECKED";
    std::vector<std::string> fields{std::to_string(task.Num), task.URL,
                                    std::string(StrategyText(s)), status, r.ErrorMessage[s]};
    for (const TMetricaInfo& m : MetricaTable) {
        const TMetricaValue* v = r.MetricaValues.GetValueByKey(m.Key, s);
        fields.push_back(v ? NumberText(v->Number) : std::string());
    }
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
                               const std::vector<const TURLTaskInfo*>& rows) {
    TCsvWriter writer(kCodePageUtf8);
    if (TResult<> r = writer.Open(path); !r) return r;
    if (TResult<> r = writer.WriteLine(Header()); !r) return r;
    for (const TURLTaskInfo* task : rows) {
        if (!task || !task->TaskResults) continue;
        for (TMetricaStrategy s : kStrategies)
            if (TResult<> r = writer.WriteLine(Line(*task, s)); !r) return r;
    }
    if (TResult<> r = writer.Close(); !r) return r;
    TResult<TCsvExport> advice =
        ExportAdviceCsv(SpreadsheetAdvicePath(path), kCodePageUtf8, '.', rows);
    if (!advice) return Fail(advice.Error(), advice.Code());
    return {};
}

}  // namespace velmora::io
