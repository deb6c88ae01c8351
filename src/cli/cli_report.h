// The HTML report of velmora-cli: at the end of a run, of a past run, of two runs compared.
#pragma once

#include <string>

#include "history/history_store.h"
#include "io/html_report.h"

namespace velmora::session {
class TRunSession;
}

namespace velmora::cli {

// What the report's head says of a run: its settings text of "key=value" lines as one line.
TReportRun ReportRunOf(const std::string& source, int64_t startedUnix,
                       const std::string& settingsText, const std::string& name, int64_t runId);
TReportRun ReportRunOf(const history::TRunRecord& record);

// Adds the site summary, the language and the time to input and writes it to path; false
// after a message.
bool WriteReport(const std::string& path, TReportInput& input, const session::TRunSession& session);

}  // namespace velmora::cli
