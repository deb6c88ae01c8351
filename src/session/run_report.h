// The HTML report as both front ends make it: the run's head from its record or settings, the
// site summary with the user's page groups, the session's language and figures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "history/history_store.h"
#include "io/html_report.h"

namespace velmora::session {

class TRunSession;

// What the report's head says of a run; settingsText is the run's "key=value" lines, shown as
// one line without the source, which the head shows apart. Addresses lose their user-info.
TReportRun ReportRunOf(const std::string& source, int64_t startedUnix,
                       const std::string& settingsText, const std::string& name, int64_t runId);
TReportRun ReportRunOf(const history::TRunRecord& record);

// Adds the site summary (grouped by groupRules), the language, the decimal separator and the
// time of writing to input, and writes it to path.
TResult<> WriteReport(const std::string& path, TReportInput& input, const TRunSession& session,
                      const std::vector<TGroupRule>& groupRules);

}  // namespace velmora::session
