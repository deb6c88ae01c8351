// The export for spreadsheets: both strategies in one UTF-8 file of plain numbers, the advice
// beside it in a second file. The grid's own CSV stays as it is for those who rely on it.
#pragma once

#include <string>
#include <vector>

#include "base/result.h"
#include "engine/site_summary.h"
#include "engine/tasks.h"

namespace velmora::io {

// The separator the spreadsheet file uses, for the dialog to name; numbers use ".".
inline constexpr char kSpreadsheetSeparator = ';';

// Writes path in UTF-8 with a byte-order mark: the header "Num;URL;Strategy;Status;Error;Score;
// FCP ms;...;CLS;HTML bytes;...", the scores of the other categories some row asked for, the
// real users' p75s, their source and verdict, and the page group; then per row with results
// one line per strategy, desktop first. Numbers carry no units and use "." whatever the locale
// (whole ms and bytes, CLS to four places); Status is "OK", the grid's short error or the
// service's code of a page error, Error the full reason in the service's words where it gave
// them. The advice goes to the
// advice file beside it (ExportAdviceCsv, UTF-8, "."), named by SpreadsheetAdvicePath. Each
// file is replaced whole or not at all.
TResult<> ExportSpreadsheetCsv(const std::string& path,
                               const std::vector<const TURLTaskInfo*>& rows,
                               const std::vector<TGroupRule>& groupRules = {});

// "report.csv" -> "report-advice.csv"; a name without ".csv" gets "-advice.csv" appended.
std::string SpreadsheetAdvicePath(const std::string& path);

}  // namespace velmora::io
