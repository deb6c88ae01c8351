// The site summary as velmora-cli writes it: three CSV files and a final JSON line.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "engine/site_summary.h"

namespace velmora::cli {

// --fixes-csv, --resources-csv or --groups-csv is given.
bool WantsSummaryCsv(const TCliOptions& o);
// The settings file's group rules into rules; false after a message when a rule is bad.
bool LoadGroupRules(const std::string& text, std::vector<TGroupRule>& rules);
// Writes each summary CSV the options name; false after a message when one could not be
// written (the others still are).
bool WriteSummaryCsvs(const TCliOptions& o, const TSiteSummary& summary,
                      const std::vector<const TURLTaskInfo*>& rows);
// {"summary": {"fixes": [...], "resources": [...], "groups": [...]}} on one line. Kept short:
// no page numbers; a group names its worst pages by URL. Figures without a value are null.
// crawlTimedOut adds "stopped": "time": the crawl that found the URLs was cut by its deadline.
std::string SummaryJsonLine(const TSiteSummary& summary,
                            const std::vector<const TURLTaskInfo*>& rows,
                            bool crawlTimedOut = false);

}  // namespace velmora::cli
