#include "session/run_report.h"

#include <ctime>

#include "base/translate.h"
#include "history/run_recorder.h"
#include "http/url.h"
#include "session/run_session.h"

namespace velmora::session {
namespace {

std::string LocalTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string SettingsLine(const std::string& text) {
    std::string line;
    size_t from = 0;
    while (from <= text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        const std::string_view item(text.data() + from, end - from);
        if (!item.empty() && !item.starts_with("source=")) {
            if (!line.empty()) line += ", ";
            line += item;
        }
        from = end + 1;
    }
    return line;
}

}  // namespace

TReportRun ReportRunOf(const std::string& source, int64_t startedUnix,
                       const std::string& settingsText, const std::string& name, int64_t runId) {
    TReportRun run;
    // A report goes to others; runs kept by earlier versions may hold credentials still.
    run.Source = http::WithoutUserInfo(source);
    run.Started = startedUnix ? LocalTime(static_cast<std::time_t>(startedUnix)) : std::string();
    run.Settings = SettingsLine(http::WithoutUserInfo(settingsText));
    run.Name = name;
    run.RunId = runId;
    return run;
}

TReportRun ReportRunOf(const history::TRunRecord& record) {
    return ReportRunOf(history::RunSource(record.Settings), record.Started, record.Settings,
                       record.Name, record.Id);
}

TResult<> WriteReport(const std::string& path, TReportInput& input, const TRunSession& session,
                      const std::vector<TGroupRule>& groupRules) {
    input.Summary = SummarizeSite(input.Rows, groupRules);
    input.Lang = session.Lang();
    input.DecimalSeparator = session.DecimalSeparator();
    input.Generated = LocalTime(std::time(nullptr));
    std::string error;
    if (WriteHtmlReport(path, input, error)) return {};
    return Fail(FormatLog(Tr("Отчёт не записан: %s"), 0, error));
}

}  // namespace velmora::session
