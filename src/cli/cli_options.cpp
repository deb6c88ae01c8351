#include "cli/cli_options.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string_view>

#include "base/text.h"
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

// The languages Lighthouse translates its reports into, as the service spells them. A code it
// does not know would get English advice without a word, so the list is closed.
constexpr std::string_view kServiceLocales[] = {
    "ar",    "bg",    "ca",    "cs",    "da",      "de",   "el",     "en",    "en-AU",
    "en-GB", "en-IN", "en-US", "en-XL", "en-ZA",   "es",   "es-419", "fi",    "fil",
    "fr",    "he",    "hi",    "hr",    "hu",      "id",   "it",     "ja",    "ko",
    "lt",    "lv",    "nl",    "no",    "pl",      "pt",   "pt-BR",  "pt-PT", "ro",
    "ru",    "sk",    "sl",    "sr",    "sr-Latn", "sv",   "ta",     "te",    "th",
    "tr",    "uk",    "vi",    "zh",    "zh-HK",   "zh-TW"};

// The service's spelling of code ("pt_br" -> "pt-BR"), or empty when it knows no such locale.
std::string ServiceLocale(std::string code) {
    std::replace(code.begin(), code.end(), '_', '-');
    const std::string lower = AsciiLower(code);
    for (std::string_view known : kServiceLocales)
        if (AsciiLower(known) == lower) return std::string(known);
    return {};
}

std::string ServiceLocalesText() {
    std::string text;
    for (std::string_view known : kServiceLocales)
        text += (text.empty() ? "" : ", ") + std::string(known);
    return text;
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

// The commands an option serves, as bits: a check run and each history command.
enum : uint8_t {
    kForCheck = 1,
    kForRuns = 2,
    kForCompare = 4,
    kForExport = 8,
    kForDelete = 16,
    kForCrawl = 32,
    kForAll = 63,
};

// Checks a value and stores it; the error text, or empty.
using TTakeValue = std::string (*)(const std::string& value, TCliOptions& o);

// One command-line option. Exactly one of Flag, Text, Number and Take says what it sets.
struct TCliOption {
    const char* Name;
    const char* Alias = nullptr;  // also accepted; not listed in the usage
    uint8_t For = kForCheck;      // the commands that take it; others refuse it
    // Said when a command refuses it, where the name alone does not say why.
    const char* Why = nullptr;
    const char* Value = nullptr;  // the value's name in the usage; nullptr: the option takes none
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
     .Help = "delay between requests, {range} ms; requests leave\n"
             "at least MS + 20 ms apart (100: one every 120 ms)\n"
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
             "performance, accessibility, best-practices, seo, or all (the four),\n"
             "and agentic-browsing, asked by name only\n"
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
     .Help = "language of the service's advice texts, e.g. en, ru or pt-BR\n"
             "(default: with request-locale=1 in Velmora.ini the --lang language,\n"
             "else the service's English)",
     .Take =
         [](const std::string& v, TCliOptions& o) {
             const std::string locale = ServiceLocale(v);
             if (locale.empty())
                 return "--locale takes a language the service's reports are translated into (" +
                        ServiceLocalesText() + "), not \"" + v + "\"";
             o.Locale = locale;
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
     .For = kForCheck | kForCrawl,
     .Value = "N",
     .Help = "pages a crawl finds at most, {range} (default {default})",
     .Number = {1, io::kCrawlMaxPagesMax, io::kCrawlMaxPagesDefault, "a whole number",
                [](TCliOptions& o, int n) { o.MaxPages = n; }}},
    {.Name = "--max-depth",
     .For = kForCheck | kForCrawl,
     .Value = "D",
     .Help = "links a crawl follows from the start, {range} (default {default})",
     .Number = {0, io::kCrawlMaxDepthMax, io::kCrawlMaxDepthDefault, "a whole number",
                [](TCliOptions& o, int n) { o.MaxDepth = n; }}},
    {.Name = "--crawl-timeout",
     .For = kForCheck | kForCrawl,
     .Value = "S",
     .Help = "give up a crawl after S seconds, keeping the pages found\n"
             "(default {default}, or 0.25 s per page of --max-pages when longer)",
     .Number = {1, 24 * 3600, static_cast<int>(io::kDefaultCrawlTimeout.count()),
                "a whole number of seconds", [](TCliOptions& o, int n) { o.CrawlTimeoutS = n; }}},
    {.Name = "--crawl-subdomains",
     .For = kForCheck | kForCrawl,
     .Help = "a crawl also takes the start host's sub-domains",
     .Flag = &TCliOptions::CrawlSubdomains},
    {.Name = "--crawl-rate",
     .For = kForCheck | kForCrawl,
     .Value = "N",
     .Help = "pages a second a crawl asks of a host at most, {range}\n"
             "(default: as fast as the site answers, 4 at once)",
     .Number = {1, 1000, 0, "a whole number", [](TCliOptions& o, int n) { o.CrawlRate = n; }}},
    {.Name = "--output", .For = kForCrawl, .Value = "FILE", .Text = &TCliOptions::CrawlOutput},
    {.Name = "--desktop-csv",
     .For = kForCheck | kForExport,
     .Value = "FILE",
     .Help = "write the desktop results as CSV",
     .Text = &TCliOptions::DesktopCsv},
    {.Name = "--mobile-csv",
     .For = kForCheck | kForExport,
     .Value = "FILE",
     .Help = "write the mobile results as CSV",
     .Text = &TCliOptions::MobileCsv},
    {.Name = "--advice-csv",
     .For = kForCheck | kForExport,
     .Value = "FILE",
     .Help = "write every advice item of both strategies as CSV",
     .Text = &TCliOptions::AdviceCsv},
    {.Name = "--spreadsheet-csv",
     .For = kForCheck | kForExport,
     .Value = "FILE",
     .Help = "write both strategies for spreadsheets: UTF-8, \";\", numbers\n"
             "without units and with \".\"; the advice goes to FILE-advice.csv",
     .Text = &TCliOptions::SpreadsheetCsv},
    {.Name = "--report",
     .For = kForCheck | kForExport | kForCompare,
     .Value = "FILE",
     .Help = "write a self-contained HTML report of the run (also with\n"
             "export and compare: of the past run, of the two runs compared)",
     .Text = &TCliOptions::ReportFile},
    {.Name = "--report-screenshots",
     .Why = "the history keeps no screenshots",
     .Help = "the report shows each page's final screenshot; a check run\n"
             "only: the history keeps no screenshots, so a past run's report\n"
             "has none",
     .Flag = &TCliOptions::ReportScreenshots},
    {.Name = "--fixes-csv",
     .For = kForCheck | kForExport,
     .Value = "FILE",
     .Help = "write the failing audits across all pages: one line per\n"
             "strategy and audit, with pages, savings and median score",
     .Text = &TCliOptions::FixesCsv},
    {.Name = "--resources-csv",
     .For = kForCheck | kForExport,
     .Value = "FILE",
     .Help = "write the resources the failing audits of many pages name\n"
             "(top 50 per strategy by pages x savings)",
     .Text = &TCliOptions::ResourcesCsv},
    {.Name = "--groups-csv",
     .For = kForCheck | kForExport,
     .Value = "FILE",
     .Help = "write the pages grouped by host and first path segment, or\n"
             "by the groups of Velmora.ini: pages, median score, bands",
     .Text = &TCliOptions::GroupsCsv},
    {.Name = "--lang",
     .For = kForAll,
     .Value = "ru|en",
     .Help = "language of log lines and CSV headers",
     .Take =
         [](const std::string& v, TCliOptions& o) {
             if (v != "ru" && v != "en") return "--lang takes ru or en, not \"" + v + "\"";
             o.Lang = v;
             return std::string();
         }},
    {.Name = "--ini",
     .For = kForAll,
     .Value = "FILE",
     .Help = "settings file to read defaults from",
     .Text = &TCliOptions::IniFile},
    {.Name = "--json",
     .For = kForCheck | kForExport,
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
     .For = kForAll,
     .Help = "no log lines and no progress bar",
     .Flag = &TCliOptions::Quiet},
    {.Name = "--stats",
     .Help = "print run time and memory figures at the end",
     .Flag = &TCliOptions::Stats},
    {.Name = "--db",
     .For = kForAll,
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
    {.Name = "--help",
     .Alias = "-h",
     .For = kForAll,
     .Help = "this text",
     .Flag = &TCliOptions::Help},
    {.Name = "--version",
     .For = kForAll,
     .Help = "the program's version",
     .Flag = &TCliOptions::Version},
    // Listed with the history commands.
    {.Name = "--csv", .For = kForCompare, .Value = "FILE", .Text = &TCliOptions::CompareCsv},
    {.Name = "--csv", .For = kForRuns, .Flag = &TCliOptions::CsvRows},
};

uint8_t CommandBit(const std::string& command) {
    if (command == "runs") return kForRuns;
    if (command == "compare") return kForCompare;
    if (command == "export") return kForExport;
    if (command == "delete") return kForDelete;
    if (command == "crawl") return kForCrawl;
    return kForCheck;
}

bool Named(const TCliOption& option, const std::string& arg) {
    return arg == option.Name || (option.Alias && arg == option.Alias);
}

// The row of arg that serves the command; nullptr when none does.
const TCliOption* FindOption(const std::string& arg, const std::string& command) {
    for (const TCliOption& option : kOptions)
        if (Named(option, arg) && (option.For & CommandBit(command))) return &option;
    return nullptr;
}

// Any row of arg, whichever command it serves; nullptr for an unknown option.
const TCliOption* KnownOption(const std::string& arg) {
    for (const TCliOption& option : kOptions)
        if (Named(option, arg)) return &option;
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
        // A name as wide as its column leaves no room for the gap: its help starts below.
        if (name.size() >= kNameWidth) name += "\n" + std::string(kNameWidth + 2, ' ');
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
           "                              [--spreadsheet-csv FILE] [--json FILE|-]\n"
           "                              [--fixes-csv FILE] [--resources-csv FILE]\n"
           "                              [--groups-csv FILE] [--report FILE] |\n"
           "                   delete RUN\n"
           "Checks every URL of a text file (one per line) or a sitemap with PageSpeed Insights,\n"
           "for the strategies desktop and mobile.\n"
           "\n"
           "Options:\n" +
           OptionLines() +
           "\n"
           "Crawl command (also takes --lang, --ini and --quiet):\n"
           "  crawl URL            find a site's pages as --crawl does and write them one per\n"
           "                       line to FILE (--output) or stdout; checks nothing\n"
           "\n"
           "History commands (each also takes --db, --lang, --ini and --quiet, and refuses the\n"
           "options it would not use):\n"
           "  runs [--csv]         list the runs: id, started, URLs, mean scores, state\n"
           "  compare A B --csv FILE  one row per URL and strategy: both runs' values and\n"
           "                       the changes from run A to run B; --report FILE: the HTML\n"
           "                       report of run B against run A, pages that got worse first\n"
           "  export RUN           write a past run's CSVs as they were written when it ran,\n"
           "                       its JSON Lines (--json) and spreadsheet CSV with the\n"
           "                       numbers as measured, or its HTML report (--report FILE,\n"
           "                       without screenshots)\n"
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
        o.ResourcesCsv.empty() && o.GroupsCsv.empty() && o.SpreadsheetCsv.empty() &&
        o.JsonFile.empty())
        return "export needs --desktop-csv, --mobile-csv, --advice-csv, --spreadsheet-csv, "
               "--json, --report, --fixes-csv, --resources-csv or --groups-csv";
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
        } else if (const TCliOption* known = KnownOption(a)) {
            // Taken and then ignored, it would let a script believe it had an effect.
            r.Error = (o.Command.empty() ? std::string("a check run") : o.Command) +
                      " does not take " + a + (known->Why ? std::string(": ") + known->Why : "");
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
