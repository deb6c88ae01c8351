#include "cli/cli_options.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string_view>

#include "io/settings.h"

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

}  // namespace

std::string UsageText() {
    using namespace io;
    return "Usage: velmora-cli [options] URLFILE\n"
           "       velmora-cli [options] --sitemap FILE|URL\n"
           "       velmora-cli [options] --resume\n"
           "       velmora-cli runs [--csv] | compare RUN_A RUN_B --csv FILE |\n"
           "                   export RUN [--desktop-csv FILE] [--mobile-csv FILE] [--advice-csv "
           "FILE] |\n"
           "                   delete RUN\n"
           "Checks every URL of a text file (one per line) or a sitemap with PageSpeed Insights,\n"
           "for the strategies desktop and mobile.\n"
           "\n"
           "Options:\n"
           "  --key-file FILE      read the API key from the first line of FILE\n"
           "                       (default: $VELMORA_API_KEY, else api-key of Velmora.ini)\n"
           "  --key KEY            API key on the command line, where other users can see it\n"
           "  --threads N          worker threads, " +
           Range(kMaxThreadsMin, kMaxThreadsMax) + " (default: max-threads, else " +
           std::to_string(kMaxThreadsDefault) +
           ")\n"
           "  --delay MS           minimum delay between requests, " +
           Range(kReqPredelayMin, kReqPredelayMax) +
           " ms\n"
           "                       (default: req-predelay, else " +
           std::to_string(kReqPredelayDefault) +
           ")\n"
           "  --retries N          tries again after a passing fault, " +
           Range(kRetriesMin, kRetriesMax) + " (default: retries, else " +
           std::to_string(kRetriesDefault) +
           ")\n"
           "  --endpoint URL       service address before /pagespeedonline/v5/runPagespeed\n"
           "                       (default: endpoint of Velmora.ini, else "
           "https://www.googleapis.com)\n"
           "  --sitemap FILE|URL   read the URLs from a sitemap instead of a text file: a file,\n"
           "                       a sitemap's address or a site (https://site/: robots.txt);\n"
           "                       index files and gzip are followed\n"
           "  --sitemap-timeout S  give up a sitemap import after S seconds (default 300)\n"
           "  --desktop-csv FILE   write the desktop results as CSV\n"
           "  --mobile-csv FILE    write the mobile results as CSV\n"
           "  --advice-csv FILE    write every advice item of both strategies as CSV\n"
           "  --lang ru|en         language of log lines and CSV headers\n"
           "  --ini FILE           settings file to read defaults from\n"
           "  --json FILE|-        one JSON object per URL and strategy as each finishes\n"
           "                       (JSON Lines; - for stdout)\n"
           "  --fail-under SCORE   exit status 1 when a score is below SCORE (0..100)\n"
           "  --budget FILE        exit status 1 when a limit of this JSON file is broken\n"
           "  --quiet              no log lines and no progress bar\n"
           "  --stats              print run time and memory figures at the end\n"
           "  --db FILE            run history file (default: history of Velmora.ini, else\n"
           "                       ~/.local/share/Velmora/history.sqlite)\n"
           "  --no-history         keep no history of this run\n"
           "  --resume             continue the last unfinished run of the history\n"
           "\n"
           "History commands (each also takes --db and --lang):\n"
           "  runs [--csv]         list the runs: id, started, URLs, mean scores, state\n"
           "  compare A B --csv FILE  one row per URL and strategy: both runs' values and\n"
           "                       the changes from run A to run B\n"
           "  export RUN           write a past run's CSVs as they were written when it ran\n"
           "  delete RUN           delete a run from the history\n"
           "  --help               this text\n"
           "  --version            the program's version\n"
           "\n"
           "Log lines go to stderr as \"hh:mm:ss text\". Ctrl+C aborts the run; a second Ctrl+C\n"
           "ends at once. Exit status: 0 run completed (failed URLs are results), 1 a budget "
           "broken\n"
           "(listed on stderr), 2 bad arguments, unreadable input or an output that cannot be "
           "written,\n"
           "130 aborted.\n";
}

namespace {

template <auto Field>
std::string SetText(const std::string& v, TCliOptions& o) {
    o.*Field = v;
    return {};
}

template <auto Field>
std::string SetFlag(const std::string&, TCliOptions& o) {
    o.*Field = true;
    return {};
}

std::string TakeThreads(const std::string& v, TCliOptions& o) {
    int n = 0;
    if (!ParseInt(v, io::kMaxThreadsMin, io::kMaxThreadsMax, n))
        return "--threads takes a whole number from " + std::to_string(io::kMaxThreadsMin) +
               " to " + std::to_string(io::kMaxThreadsMax) + ", not \"" + v + "\"";
    o.Threads = n;
    return {};
}

std::string TakeDelay(const std::string& v, TCliOptions& o) {
    int n = 0;
    if (!ParseInt(v, io::kReqPredelayMin, io::kReqPredelayMax, n))
        return "--delay takes a whole number of milliseconds from " +
               std::to_string(io::kReqPredelayMin) + " to " + std::to_string(io::kReqPredelayMax) +
               ", not \"" + v + "\"";
    o.DelayMs = n;
    return {};
}

std::string TakeSitemapTimeout(const std::string& v, TCliOptions& o) {
    int n = 0;
    if (!ParseInt(v, 1, 24 * 3600, n))
        return "--sitemap-timeout takes a whole number of seconds from 1 to 86400, not \"" + v +
               "\"";
    o.SitemapTimeoutS = n;
    return {};
}

std::string TakeRetries(const std::string& v, TCliOptions& o) {
    int n = 0;
    if (!ParseInt(v, io::kRetriesMin, io::kRetriesMax, n))
        return "--retries takes a whole number from " + std::to_string(io::kRetriesMin) + " to " +
               std::to_string(io::kRetriesMax) + ", not \"" + v + "\"";
    o.Retries = n;
    return {};
}

std::string TakeEndpoint(const std::string& v, TCliOptions& o) {
    TResult<std::string> checked = io::CheckEndpoint(v);
    if (!checked) return "--endpoint must start with http:// or https:// and name a host";
    o.Endpoint = *checked;
    return {};
}

std::string TakeLang(const std::string& v, TCliOptions& o) {
    if (v != "ru" && v != "en") return "--lang takes ru or en, not \"" + v + "\"";
    o.Lang = v;
    return {};
}

std::string TakeFailUnder(const std::string& v, TCliOptions& o) {
    int n = 0;
    if (!ParseInt(v, 0, 100, n))
        return "--fail-under takes a score from 0 to 100, not \"" + v + "\"";
    o.FailUnder = n;
    return {};
}

// "--csv" is the file of compare and a switch of runs.
std::string TakeCsv(const std::string& v, TCliOptions& o) {
    if (o.Command == "compare")
        o.CompareCsv = v;
    else
        o.CsvRows = true;
    return {};
}

enum class TArgument {
    kNone,
    kValue,
    kValueForCompare,  // a value after the compare command, none otherwise
};

// One accepted option, as curl's tool_getparam walks its table: the long name, a short alias,
// whether a value follows, and what it sets (the error text, or empty).
struct TCliOption {
    const char* Name;
    const char* Alias;
    TArgument Argument;
    std::string (*Apply)(const std::string& value, TCliOptions& o);
};

constexpr TCliOption kCliOptions[] = {
    {"--help", "-h", TArgument::kNone, SetFlag<&TCliOptions::Help>},
    {"--version", nullptr, TArgument::kNone, SetFlag<&TCliOptions::Version>},
    {"--quiet", "-q", TArgument::kNone, SetFlag<&TCliOptions::Quiet>},
    {"--stats", nullptr, TArgument::kNone, SetFlag<&TCliOptions::Stats>},
    {"--no-history", nullptr, TArgument::kNone, SetFlag<&TCliOptions::NoHistory>},
    {"--resume", nullptr, TArgument::kNone, SetFlag<&TCliOptions::Resume>},
    {"--key", nullptr, TArgument::kValue, SetText<&TCliOptions::ApiKey>},
    {"--key-file", nullptr, TArgument::kValue, SetText<&TCliOptions::KeyFile>},
    {"--threads", nullptr, TArgument::kValue, TakeThreads},
    {"--delay", nullptr, TArgument::kValue, TakeDelay},
    {"--retries", nullptr, TArgument::kValue, TakeRetries},
    {"--endpoint", nullptr, TArgument::kValue, TakeEndpoint},
    {"--sitemap", nullptr, TArgument::kValue, SetText<&TCliOptions::SitemapFile>},
    {"--sitemap-timeout", nullptr, TArgument::kValue, TakeSitemapTimeout},
    {"--desktop-csv", nullptr, TArgument::kValue, SetText<&TCliOptions::DesktopCsv>},
    {"--mobile-csv", nullptr, TArgument::kValue, SetText<&TCliOptions::MobileCsv>},
    {"--advice-csv", nullptr, TArgument::kValue, SetText<&TCliOptions::AdviceCsv>},
    {"--ini", nullptr, TArgument::kValue, SetText<&TCliOptions::IniFile>},
    {"--lang", nullptr, TArgument::kValue, TakeLang},
    // results for pipelines
    {"--json", nullptr, TArgument::kValue, SetText<&TCliOptions::JsonFile>},
    {"--fail-under", nullptr, TArgument::kValue, TakeFailUnder},
    {"--budget", nullptr, TArgument::kValue, SetText<&TCliOptions::BudgetFile>},
    // the run history
    {"--db", nullptr, TArgument::kValue, SetText<&TCliOptions::DbFile>},
    {"--csv", nullptr, TArgument::kValueForCompare, TakeCsv},
};

const TCliOption* FindCliOption(const std::string& a) {
    for (const TCliOption& o : kCliOptions)
        if (a == o.Name || (o.Alias && a == o.Alias)) return &o;
    return nullptr;
}

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
    if (o.Command == "compare" && o.CompareCsv.empty()) return "compare needs --csv FILE";
    if (o.Command == "export" && o.DesktopCsv.empty() && o.MobileCsv.empty() && o.AdviceCsv.empty())
        return "export needs --desktop-csv, --mobile-csv or --advice-csv";
    if (o.NoHistory) return o.Command + " reads the history: --no-history makes no sense";
    return {};
}

// Exactly one source of URLs.
std::string CheckUrlSource(const TCliOptions& o) {
    if (!o.Command.empty()) return CheckHistoryCommand(o);
    if (o.CsvRows || !o.CompareCsv.empty()) return "--csv belongs to runs and compare";
    if (o.Resume) {
        if (!o.UrlFile.empty() || !o.SitemapFile.empty())
            return "--resume takes its URLs from the history, not from a file";
        return o.NoHistory ? "--resume needs the history, not --no-history" : std::string();
    }
    if (o.UrlFile.empty() != o.SitemapFile.empty()) return {};
    return o.UrlFile.empty() ? "no URL file given" : "give a URL file or --sitemap, not both";
}

}  // namespace

TParseResult ParseCommandLine(const std::vector<std::string>& args) {
    TParseResult r;
    auto& o = r.Options;
    for (size_t i = 0; i < args.size() && r.Error.empty(); ++i) {
        const std::string& a = args[i];
        if (const TCliOption* option = FindCliOption(a)) {
            const bool takesValue =
                option->Argument == TArgument::kValue ||
                (option->Argument == TArgument::kValueForCompare && o.Command == "compare");
            if (!takesValue)
                r.Error = option->Apply({}, o);
            else if (i + 1 >= args.size())
                r.Error = "option " + a + " needs a value";
            else
                r.Error = option->Apply(args[++i], o);
        } else if (a.size() > 1 && a[0] == '-') {
            r.Error = "unknown option " + a;
        } else if (i == 0 && IsHistoryCommand(a)) {
            o.Command = a;
        } else if (!o.Command.empty()) {
            o.CommandArgs.push_back(a);
        } else if (o.UrlFile.empty()) {
            o.UrlFile = a;
        } else {
            r.Error = "only one URL file may be given";
        }
    }
    if (r.Error.empty() && !o.Help && !o.Version) r.Error = CheckUrlSource(o);
    return r;
}

}  // namespace velmora::cli
