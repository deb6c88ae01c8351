// The HTML report of velmora-cli: at the end of a run, of a past run, of two runs compared.
#pragma once

#include <string>
#include <vector>

#include "io/html_report.h"
#include "session/run_report.h"

namespace velmora::cli {

using session::ReportRunOf;

// Completes input as the session makes reports and writes it to path; false after a message.
bool SaveReport(const std::string& path, TReportInput& input, const session::TRunSession& session,
                const std::vector<TGroupRule>& groupRules);

}  // namespace velmora::cli
