// Command line of velmora-cli.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::cli {

struct TCliOptions {
    std::string UrlFile;
    std::string SitemapFile;             // a path or a web address
    std::optional<int> SitemapTimeoutS;  // the whole sitemap import, in seconds
    // Pages found by crawling a site from this address.
    std::string CrawlUrl;
    std::optional<int> MaxPages;
    std::optional<int> MaxDepth;
    std::optional<int> CrawlTimeoutS;  // the whole crawl, in seconds
    bool CrawlSubdomains = false;
    std::optional<int> CrawlRate;  // pages a second to a host at most
    std::string CrawlOutput;       // the crawl command's list; empty or "-": stdout
    std::optional<std::string> ApiKey;
    std::string KeyFile;  // first line holds the key; kept off the command line
    std::optional<int> Threads;
    std::optional<int> DelayMs;
    std::optional<int> Retries;  // tries again after a passing fault
    std::optional<std::string> Endpoint;
    std::optional<uint8_t> Categories;  // a TCategorySet
    std::optional<uint8_t> Strategies;  // a TStrategySet
    // The service's locale for advice texts; none: request-locale of the settings file.
    std::optional<std::string> Locale;
    std::string DesktopCsv;
    std::string MobileCsv;
    std::string AdviceCsv;       // every advice item of both strategies, one row each
    std::string SpreadsheetCsv;  // both strategies, bare numbers, UTF-8; advice beside it
    std::string ReportFile;      // the HTML report: of the run, or of export's and compare's runs
    bool ReportScreenshots = false;  // the run keeps the final screenshots for the report
    // The site summary: failing audits across pages, the resources many pages share, groups.
    std::string FixesCsv;
    std::string ResourcesCsv;
    std::string GroupsCsv;
    std::string Lang;     // empty: settings file, then the system's language
    std::string IniFile;  // empty: the usual settings file
    // Results for pipelines: JSON Lines file ("-" for stdout) and budgets.
    std::string JsonFile;
    std::optional<double> FailUnder;
    std::string BudgetFile;
    // A gate on regressions: the run compared with ("last" or a run id), and the score drop
    // that fails it (none: the JSON lines only carry the changes).
    std::string Against;
    std::optional<int> FailOnDrop;
    bool Quiet = false;
    bool Stats = false;  // memory and timing figures on stderr at the end
    bool Help = false;
    bool Version = false;
    // Run history: where it is kept, resuming, and the subcommands that read it.
    std::string DbFile;      // empty: the settings file's "history", else the default place
    bool NoHistory = false;  // --no-history
    bool Resume = false;     // --resume: continue the last unfinished run
    bool CsvRows = false;    // runs --csv
    std::string CompareCsv;  // compare ... --csv FILE
    std::string Command;     // crawl, runs, compare, export, delete; empty: a check
    std::vector<std::string> CommandArgs;
};

struct TParseResult {
    TCliOptions Options;
    std::string Error;  // empty when the command line is usable
};

TParseResult ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace velmora::cli
