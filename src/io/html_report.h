// One self-contained HTML file of a run (or of a run against an older one) to hand to others:
// it loads nothing from the network and shows every text of a page or the service as text.
#pragma once

#include <string>
#include <vector>

#include "engine/site_summary.h"
#include "engine/tasks.h"

namespace velmora {

inline constexpr size_t kMaxReportScreenshotBytes = 100u << 20;

// What was checked, as the report's head tells it.
struct TReportRun {
    std::string Source;    // the URL source: a file, a sitemap, "clipboard"...
    std::string Started;   // local date and time, as shown
    std::string Settings;  // the settings the requests were made with, one line
    std::string Name;      // the run's name in the history; may be empty
    long long RunId = 0;   // 0 when the run is not in the history
};

struct TReportInput {
    TReportRun Run;
    std::vector<const TURLTaskInfo*> Rows;
    // A compared report: the older run and its rows, matched to Rows by URL.
    bool Compared = false;
    TReportRun OlderRun;
    std::vector<const TURLTaskInfo*> OlderRows;
    TSiteSummary Summary;
    bool Screenshots = false;  // include each page's final screenshot where the run kept it
    // The screenshots' share of the file: those beyond it are left out (and counted), so that
    // the report stays one a browser opens.
    size_t MaxScreenshotBytes = kMaxReportScreenshotBytes;
    std::string Lang = "ru";      // the interface language's code, for the page's lang
    char DecimalSeparator = '.';  // of the figures the report computes
    std::string Generated;        // local date and time the report was made, as shown
};

// Writes the report to path (replacing it atomically); false with a message in error when it
// cannot be written.
bool WriteHtmlReport(const std::string& path, const TReportInput& input, std::string& error);

}  // namespace velmora
