// The site summary as three files for spreadsheets: the fix list, the shared resources and the
// page groups. Written as the spreadsheet export is: UTF-8 with a byte-order mark, ";", numbers
// without units and with "." whatever the locale, empty where there is no figure; each file
// replaced whole or not at all.
#pragma once

#include <string>
#include <vector>

#include "base/result.h"
#include "engine/site_summary.h"

namespace velmora::io {

// "Strategy;Category;Group;Audit id;Title;Pages;Share;Savings ms sum;Savings ms median;
// Savings bytes sum;Savings bytes median;LCP ms sum;LCP ms median;FCP ms ...;CLS ...;TBT ms ...;
// INP ms ...;Median score;Rank by;Rank;Pages numbered", one line per strategy and audit in the
// summary's order. Share is 0..1; Rank by is time, bytes or pages; the page numbers are the
// grid's, space-separated.
TResult<> ExportFixesCsv(const std::string& path, const std::vector<TFixRow>& fixes);
// "Strategy;URL;Audit id;Title;Pages;Wasted ms sum;Wasted ms median;Wasted bytes sum;
// Wasted bytes median;Rank by;Rank;Pages numbered".
TResult<> ExportResourcesCsv(const std::string& path,
                             const std::vector<TSharedResource>& resources);
// "Strategy;Group;Pages;Median score;Good share;Average share;Poor share;CWV pass rate;
// Worst pages;Pages numbered": the worst pages as their URLs, space-separated.
TResult<> ExportGroupsCsv(const std::string& path, const std::vector<TPageGroup>& groups,
                          const std::vector<const TURLTaskInfo*>& rows);

// A number as these files and the JSON summary write it: shortest round-trip text with ".",
// empty for NaN.
std::string SummaryNumberText(double v);
std::string RankByText(TSavingsRank::TBy by);
// The URL of each task number among rows; empty for a number none has.
std::vector<std::string> UrlsOf(const std::vector<int32_t>& nums,
                                const std::vector<const TURLTaskInfo*>& rows);

}  // namespace velmora::io
