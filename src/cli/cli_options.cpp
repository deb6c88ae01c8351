#include "cli/cli_options.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string_view>

#include "engine/metrica.h"
#include "engine/tasks.h"
#include "io/crawl.h"
#include "io/settings.h"
#include "io/sitemap_fetch.h"

namespace velmora::cli {
namespace {

bool ParseInt(const std::string& text, int lo, int hi, int& out) {
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < lo || value > hi)
        return false;
    out = value;
    return true;
}

std::string Range(int lo, int hi) {
    return std::to_string(lo) + ".." + std::to_string(hi);
}

// A whole-number option: its range, its default for the usage, what the number is called in
// an error, and where it goes.
struct TWholeNumber {
    int Lo = 0, Hi = 0, Default = 0;
    const char* What = nullptr;
    void (*Store)(TCliOptions& o, int n) = nullptr;
};

// Checks a value and stores it; the error text, or empty.
using TTakeValue = std::string (*)(const std::string& value, TCliOptions& o);

// One command-line option. Exactly one of Flag, Text, Number and Take says what it sets.
struct TCliOption {
    const char* Name;
    const char* Alias = nullptr;    // also accepted; not listed in the usage
    const char* Command = nullptr;  // the row serves only this history command
    const char* Value = nullptr;    // the value's name in the usage; nullptr: the option takes none
    // Lines after the first are indented under it; "{range}" and "{default}" come from Number.
    // nullptr: not listed under the options.
    const char* Help = nullptr;
    bool TCliOptions::*Flag = nullptr;
    std::string TCliOptions::*Text = nullptr;
    TWholeNumber Number = {};
    TTakeValue Take = nullptr;
};

// In the order of the usage. Where two rows share a name, the first that serves the command
// wins.
const TCliOption kOptions[] = {
    {.Name = "--key-file",
     .Value = "FILE",
     .Help = "read the API key from the first line of FILE\n"
             "(default: $VELMORA_API_KEY, else api-key of Velmora.ini)",
     .Text = &TCliOptions::KeyFile},
    {.Name = "--key",
     .Value = "KEY",
     .Help = "API key on the command line, where other users can see it",
     .Take =
         [](const std::string& v, TCliOptions& o) {
             o.ApiKey = v;
             return std::string();
         }},
    {.Name = "--threads",
     .Value = "N",
     .Help = "worker threads, {range} (default: max-threads, else {default})",
     .Number = {io::kMaxThreadsMin, io::kMaxThreadsMax, io::kMaxThreadsDefault, "a whole number",
                [](TCliOptions& o, int n) { o.Threads = n; }}},
    {.Name = "--delay",
     .Value = "MS",
     .Help = "minimum delay between requests, {range} ms\n"
             "(default: req-predelay, else {default})",
     .Number = {io::kReqPredelayMin, io::kReqPredelayMax, io::kReqPredelayDefault,
                "a whole number of milliseconds", [](TCliOptions& o, int n) { o.DelayMs = n; }}},
    {.Name = "--retries",
     .Value = "N",
     .Help = "tries again after a passing fault, {range} (default: retries, else {default})",
     .Number = {io::kRetriesMin, io::kRetriesMax, io::kRetriesDefault, "a whole number",
                [](TCliOptions& o, int n) { o.Retries = n; }}},
    {.Name = "--endpoint",
     .Value = "URL",
     .Help = "service address before /pagespeedonline/v5/runPagespeed\n"
             "(default: endpoint of Velmora.ini, else https://www.googleapis.com)",
     .Take =
         [](const std::string& v, TCliOptions& o) {
             TResult<std::string> checked = io::CheckEndpoint(v);
             if (!checked)
                 return std::string(
                     "--endpoint must start with http:// or https:// and name a host");
             o.Endpoint = *checked;
             return std::string();
         }},
    {.Name = "--categories",
     .Value = "IDS",
     .Help = "Lighthouse categories to ask for besides performance, comma-separated:\n"
             "performance, accessibility, best-practices, seo, or all\n"
             "(default: categories of Velmora.ini, else performance)",
     .Take =
         [](const std::string& v, TCliOptions& o) {
             const std::optional<TCategorySet> set = ParseCategories(v);
             if (!set) return "--categories takes " + CategoryIdsText() + ", not \"" + v + "\"";
             o.Categories = *set;
             return std::string();
         }},
    {.Name = "--strategies",
     .Value = "S",
     .Help = "strategies to check: both, desktop or mobile; one alone spends\n"
             "half the quota (default: strategies of Velmora.ini, else both)",
     .Take =
         [](const std::string& v, TCliOptions& o) {
             const std::optional<TStrategySet> set = ParseStrategies(v);
             if (!set) return "--strategies takes both, desktop or mobile, not \"" + v + "\"";
             o.Strategies = *set;
             return std::string();
         }},
    {.Name = "--locale",
     .Value = "CODE",
     .Help = "language of the service's advice texts, e.g. en or ru\n"
             "(default: with request-locale=1 in Velmora.ini the --lang language,\n"
             "else the service's English)",
     .Take =
         [](const std::string& v, TCliOptions& o) {
             const bool valid = !v.empty() && v.size() <= 16 &&
                                v.find_first_not_of(
                                    "abcdefghijklmnopqrstuvwxyz"
                                    "ABCDEFGHIJKLMNOPQRSTUVWXYZ-_") == std::string::npos;
             if (!valid)
                 return "--locale takes a language code like en or pt-BR, not \"" + v + "\"";
             o.Locale = v;
             return std::string();
         }},
    {.Name = "--sitemap",
     .Value = "FILE|URL",
     .Help = "read the URLs from a sitemap instead of a text file: a file,\n"
             "a sitemap's address or a site (https://site/: robots.txt);\n"
             "index files and gzip are followed",
     .Text = &TCliOptions::SitemapFile},
    {.Name = "--sitemap-timeout",
     .Value = "S",
     .Help = "give up a sitemap import after S seconds (default {default})",
     .Number = {1, 24 * 3600, static_cast<int>(io::kDefaultSitemapTimeout.count()),
                "a whole number of seconds", [](TCliOptions& o, int n) { o.SitemapTimeoutS = n; }}},
    {.Name = "--crawl",
     .Value = "URL",
     .Help = "find the URLs by following the links of a site from URL\n"
             "(same scheme and host; robots.txt honoured)",
     .Text = &TCliOptions::CrawlUrl},
    {.Name = "--max-pages",
     .Value = "N",
     .Help = "pages a crawl finds at most, {range} (default {default})",
     .Number = {1, io::kCrawlMaxPagesMax, io::kCrawlMaxPagesDefault, "a whole number",
                [](TCliOptions& o, int n) { o.MaxPages = n; }}},
    {.Name = "--max-depth",
     .Value = "D",
     .Help = "links a crawl follows from the start, {range} (default {default})",
     .Number = {0, io::kCrawlMaxDepthMax, io::kCrawlMaxDepthDefault, "a whole number",
                [](TCliOptions& o, int n) { o.MaxDepth = n; }}},
    {.Name = "--crawl-timeout",
     .Value = "S",
     .Help = "give up a crawl after S seconds, keeping the pages found\n"
             "(default {default}, or 0.25 s per page of --max-pages when longer)",
     .Number = {1, 24 * 3600, static_cast<int>(io::kDefaultCrawlTimeout.count()),
                "a whole number of seconds", [](TCliOptions& o, int n) { o.CrawlTimeoutS = n; }}},
    {.Name = "--crawl-subdomains",
     .Help = "a crawl also takes the start host's sub-domains",
     .Flag = &TCliOptions::CrawlSubdomains},
    {.Name = "--crawl-rate",
     .Value = "N",
     .Help = "pages a second a crawl asks of a host at most, {range}\n"
             "(default: as fast as the site answers, 4 at once)",
     .Number = {1, 1000, 0, "a whole number", [](TCliOptions& o, int n) { o.CrawlRate = n; }}},
    {.Name = "--output", .Command = "crawl", .Value = "FILE", .Text = &TCliOptions::CrawlOutput},
    {.Name = "--desktop-csv",
     .Value = "FILE",
     .Help = "write the desktop results as CSV",
     .Text = &TCliOptions::DesktopCsv},
    {.Name = "--mobile-csv",
     .Value = "FILE",
     .Help = "write the mobile results as CSV",
     .Text = &TCliOptions::MobileCsv},
    {.Name = "--advice-csv",
     .Value = "FILE",
     .Help = "write every advice item of both strategies as CSV",
     .Text = &TCliOptions::AdviceCsv},
    {.Name = "--spreadsheet-csv",
     .Value = "FILE",
     .Help = "write both strategies for spreadsheets: UTF-8, \";\", numbers\n"
             "without units and with \".\"; the advice goes to FILE-advice.csv",
     .Text = &TCliOptions::SpreadsheetCsv},
    {.Name = "--report",
     .Value = "FILE",
     .Help = "write a self-contained HTML report of the run (also with\n"
             "export and compare: of the past run, of the two runs compared)",
     .Text = &TCliOptions::ReportFile},
    {.Name = "--report-screenshots",
     .Help = "the report shows each page's final screenshot; a check run\n"
             "only: the history keeps no screenshots, so a past run's report\n"
             "has none",
     .Flag = &TCliOptions::ReportScreenshots},
    {.Name = "--fixes-csv",
     .Value = "FILE",
     .Help = "write the failing audits across all pages: one line per\n"
             "strategy and audit, with pages, savings and median score",
     .Text = &TCliOptions::FixesCsv},
    {.Name = "--resources-csv",
     .Value = "FILE",
     .Help = "write the resources the failing audits of many pages name\n"
             "(top 50 per strategy by pages x savings)",
     .Text = &TCliOptions::ResourcesCsv},
    {.Name = "--groups-csv",
     .Value = "FILE",
     .Help = "write the pages grouped by host and first path segment, or\n"
             "by the groups of Velmora.ini: pages, median score, bands",
     .Text = &TCliOptions::GroupsCsv},
    {.Name = "--lang",
     .Value = "ru|en",
     .Help = "language of log lines and CSV headers",
     .Take =
         [](const std::string& v, TCliOptions& o) {
             if (v != "ru" && v != "en") return "--lang takes ru or en, not \"" + v + "\"";
             o.Lang = v;
             return std::string();
         }},
    {.Name = "--ini",
     .Value = "FILE",
     .Help = "settings file to read defaults from",
     .Text = &TCliOptions::IniFile},
    {.Name = "--json",
     .Value = "FILE|-",
     .Help = "one JSON object per URL and strategy as each finishes\n"
             "(JSON Lines; - for stdout); then a line with the site summary",
     .Text = &TCliOptions::JsonFile},
    {.Name = "--fail-under",
     .Value = "SCORE",
     .Help = "exit status 1 when a score is below SCORE ({range})",
     .Number = {0, 100, 0, "a score", [](TCliOptions& o, int n) { o.FailUnder = n; }}},
    {.Name = "--budget",
     .Value = "FILE",
     .Help = "exit status 1 when a limit of this JSON file is broken",
     .Text = &TCliOptions::BudgetFile},
    {.Name = "--against",
     .Value = "RUN",
     .Help = "compare each page with that run of the history (last: the\n"
             "newest finished run of the same URL file or sitemap)",
     .Take =
         [](const std::string& v, TCliOptions& o) {
             int id = 0;
             if (v != "last" && !ParseInt(v, 1, std::numeric_limits<int>::max(), id))
                 return "--against takes last or a run id, not \"" + v + "\"";
             o.Against = v;
             return std::string();
         }},
    {.Name = "--fail-on-drop",
     .Value = "N",
     .Help = "with --against: exit status 1 when a page's score fell by N\n"
             "points or more ({range}) or its Core Web Vitals went from passed to failed",
     .Number = {1, 100, 10, "a number of points", [](TCliOptions& o, int n) { o.FailOnDrop = n; }}},
    {.Name = "--quiet",
     .Alias = "-q",
     .Help = "no log lines and no progress bar",
     .Flag = &TCliOptions::Quiet},
    {.Name = "--stats",
     .Help = "print run time and memory figures at the end",
     .Flag = &TCliOptions::Stats},
    {.Name = "--db",
     .Value = "FILE",
     .Help = "run history file (default: history of Velmora.ini, else\n"
             "~/.local/share/Velmora/history.sqlite)",
     .Text = &TCliOptions::DbFile},
    {.Name = "--no-history",
     .Help = "keep no history of this run",
     .Flag = &TCliOptions::NoHistory},
    {.Name = "--resume",
     .Help = "continue the last unfinished run of the history",
     .Flag = &TCliOptions::Resume},
    {.Name = "--help", .Alias = "-h", .Help = "this text", .Flag = &TCliOptions::Help},
    {.Name = "--version", .Help = "the program's version", .Flag = &TCliOptions::Version},
    // Listed with the history commands.
    {.Name = "--csv", .Command = "compare", .Value = "FILE", .Text = &TCliOptions::CompareCsv},
    {.Name = "--csv", .Flag = &TCliOptions::CsvRows},
};

const TCliOption* FindOption(const std::string& arg, const std::string& command) {
    for (const TCliOption& option : kOptions) {
        if (arg != option.Name && (!option.Alias || arg != option.Alias)) continue;
        if (!option.Command || command == option.Command) return &option;
    }
    return nullptr;
}

// The value v of option; the error text, or empty.
std::string TakeValue(const TCliOption& option, const std::string& v, TCliOptions& o) {
    if (option.Text) {
        o.*option.Text = v;
        return {};
    }
    if (option.Take) return option.Take(v, o);
    const TWholeNumber& number = option.Number;
    int n = 0;
    if (!ParseInt(v, number.Lo, number.Hi, n))
        return std::string(option.Name) + " takes " + number.What + " from " +
               std::to_string(number.Lo) + " to " + std::to_string(number.Hi) + ", not \"" + v +
               "\"";
    number.Store(o, n);
    return {};
}

void Replace(std::string& text, std::string_view what, const std::string& with) {
    if (const size_t at = text.find(what); at != std::string::npos)
        text.replace(at, what.size(), with);
}

// The options' lines of the usage.
std::string OptionLines() {
    constexpr size_t kNameWidth = 21;
    std::string lines;
    for (const TCliOption& option : kOptions) {
        if (!option.Help) continue;
        std::string name = option.Name;
        if (option.Value) name += std::string(" ") + option.Value;
        std::string help = option.Help;
        Replace(help, "{range}", Range(option.Number.Lo, option.Number.Hi));
        Replace(help, "{default}", std::to_string(option.Number.Default));
        for (size_t at = 0; (at = help.find('\n', at)) != std::string::npos; at += kNameWidth + 3)
            help.insert(at + 1, kNameWidth + 2, ' ');
        name.resize(std::max(name.size(), kNameWidth), ' ');
        lines += "  " + name + help + "\n";
    }
    return lines;
}

}  // namespace

std::string UsageText() {
    return "Usage: velmora-cli [options] URLFILE\n"
           "       velmora-cli [options] --sitemap FILE|URL\n"
           "       velmora-cli [options] --crawl URL\n"
           "       velmora-cli [options] --resume\n"
           "       velmora-cli crawl URL [--max-pages N] [--max-depth D] [--crawl-timeout S]\n"
           "                   [--crawl-rate N] [--output FILE]\n"
           "       velmora-cli runs [--csv] | compare RUN_A RUN_B [--csv FILE] [--report FILE] |\n"
           "                   export RUN [--desktop-csv FILE] [--mobile-csv FILE] [--advice-csv "
           "FILE]\n"
           "                              [--fixes-csv FILE] [--resources-csv FILE]\n"
           "                              [--groups-csv FILE] [--report FILE] |\n"
           "                   delete RUN\n"
           "Checks every URL of a text file (one per line) or a sitemap with PageSpeed Insights,\n"
           "for the strategies desktop and mobile.\n"
           "\n"
           "Options:\n" +
           OptionLines() +
           "\n"
           "Crawl command:\n"
           "  crawl URL            find a site's pages as --crawl does and write them one per\n"
           "                       line to FILE (--output) or stdout; checks nothing\n"
           "\n"
           "History commands (each also takes --db and --lang):\n"
           "  runs [--csv]         list the runs: id, started, URLs, mean scores, state\n"
           "  compare A B --csv FILE  one row per URL and strategy: both runs' values and\n"
           "                       the changes from run A to run B; --report FILE: the HTML\n"
           "                       report of run B against run A, pages that got worse first\n"
           "  export RUN           write a past run's CSVs as they were written when it ran,\n"
           "                       or its HTML report (--report FILE, without screenshots)\n"
           "  delete RUN           delete a run from the history\n"
           "\n"
           "Log lines go to stderr as \"hh:mm:ss text\". Ctrl+C aborts the run; a second Ctrl+C\n"
           "ends at once. Exit status: 0 run completed (failed URLs are results), 1 a budget "
           "broken\n"
           "(listed on stderr), 2 bad arguments, unreadable input or an output that cannot be "
           "written,\n"
           "3 checked and written but the run history lacks part of the run, 130 aborted.\n";
}

namespace {

bool IsHistoryCommand(const std::string& a) {
    return a == "runs" || a == "compare" || a == "export" || a == "delete";
}

bool IsRunId(const std::string& a) {
    int id = 0;
    return ParseInt(a, 1, std::numeric_limits<int>::max(), id);
}

std::string CheckHistoryCommand(const TCliOptions& o) {
    const size_t want = o.Command == "runs" ? 0 : (o.Command == "compare" ? 2 : 1);
    if (o.CommandArgs.size() != want)
        return o.Command + " takes " + std::to_string(want) + " run id" + (want == 1 ? "" : "s");
    for (const std::string& id : o.CommandArgs)
        if (!IsRunId(id)) return "a run id is a whole number from 1, not \"" + id + "\"";
    if (o.Command == "compare" && o.CompareCsv.empty() && o.ReportFile.empty())
        return "compare needs --csv FILE or --report FILE";
    if (o.Command == "export" && o.DesktopCsv.empty() && o.MobileCsv.empty() &&
        o.AdviceCsv.empty() && o.ReportFile.empty() && o.FixesCsv.empty() &&
        o.ResourcesCsv.empty() && o.GroupsCsv.empty())
        return "export needs --desktop-csv, --mobile-csv, --advice-csv, --report, --fixes-csv, "
               "--resources-csv or --groups-csv";
    if (o.ReportScreenshots)
        return "--report-screenshots belongs to a check run: the history keeps no screenshots";
    if (!o.ReportFile.empty() && o.Command != "compare" && o.Command != "export")
        return "--report belongs to a check run, export and compare";
    if (o.NoHistory) return o.Command + " reads the history: --no-history makes no sense";
    return {};
}

// Exactly one source of URLs.
std::string CheckUrlSource(const TCliOptions& o) {
    if (o.Command == "crawl")
        return o.CommandArgs.size() == 1 ? std::string() : "crawl takes one address";
    if (!o.Command.empty()) return CheckHistoryCommand(o);
    if (o.CsvRows || !o.CompareCsv.empty()) return "--csv belongs to runs and compare";
    if (o.FailOnDrop && o.Against.empty()) return "--fail-on-drop needs --against";
    if (o.ReportScreenshots && o.ReportFile.empty()) return "--report-screenshots needs --report";
    if (!o.Against.empty() && o.NoHistory)
        return "--against reads the history: not with --no-history";
    if (o.Resume) {
        if (!o.UrlFile.empty() || !o.SitemapFile.empty() || !o.CrawlUrl.empty())
            return "--resume takes its URLs from the history, not from a file";
        return o.NoHistory ? "--resume needs the history, not --no-history" : std::string();
    }
    if (o.CrawlUrl.empty() &&
        (o.MaxPages || o.MaxDepth || o.CrawlTimeoutS || o.CrawlSubdomains || o.CrawlRate))
        return "--max-pages, --max-depth, --crawl-timeout, --crawl-subdomains and --crawl-rate "
               "belong to --crawl";
    const int sources = !o.UrlFile.empty() + !o.SitemapFile.empty() + !o.CrawlUrl.empty();
    if (sources == 1) return {};
    return sources == 0 ? "no URL file given" : "give one of a URL file, --sitemap and --crawl";
}

}  // namespace

TParseResult ParseCommandLine(const std::vector<std::string>& args) {
    TParseResult r;
    auto& o = r.Options;
    for (size_t i = 0; i < args.size() && r.Error.empty(); ++i) {
        const std::string& a = args[i];
        if (const TCliOption* option = FindOption(a, o.Command)) {
            if (!option->Value)
                o.*option->Flag = true;
            else if (i + 1 >= args.size())
                r.Error = "option " + a + " needs a value";
            else
                r.Error = TakeValue(*option, args[++i], o);
        } else if (a.size() > 1 && a[0] == '-') {
            r.Error = "unknown option " + a;
        } else if (i == 0 && (IsHistoryCommand(a) || a == "crawl")) {
            o.Command = a;
        } else if (!o.Command.empty()) {
            o.CommandArgs.push_back(a);
        } else if (o.UrlFile.empty()) {
            o.UrlFile = a;
        } else {
            r.Error = "only one URL file may be given";
        }
    }
    if (o.Command == "crawl" && o.CommandArgs.size() == 1) o.CrawlUrl = o.CommandArgs[0];
    if (r.Error.empty() && !o.Help && !o.Version) r.Error = CheckUrlSource(o);
    return r;
}

}  // namespace velmora::cli
