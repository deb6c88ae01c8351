#include "cli/cli_options.h"

#include <algorithm>
#include <array>
#include <charconv>
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
           "       velmora-cli [options] --sitemap FILE\n"
           "Checks every URL of a text file (one per line) or a sitemap with PageSpeed Insights,\n"
           "for the strategies desktop and mobile.\n"
           "\n"
           "Options:\n"
           "  --key KEY            API key (default: api-key of Velmora.ini)\n"
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
           "  --sitemap FILE       read the URLs from a sitemap instead of a text file\n"
           "  --desktop-csv FILE   write the desktop results as CSV\n"
           "  --mobile-csv FILE    write the mobile results as CSV\n"
           "  --lang ru|en         language of log lines and CSV headers\n"
           "  --ini FILE           settings file to read defaults from\n"
           "  --quiet              no log lines and no progress bar\n"
           "  --stats              print run time and memory figures at the end\n"
           "  --help               this text\n"
           "  --version            the program's version\n"
           "\n"
           "Log lines go to stderr as \"hh:mm:ss text\". Ctrl+C aborts the run; a second Ctrl+C\n"
           "ends at once. Exit status: 0 run completed (failed URLs are results), 2 bad arguments\n"
           "or unreadable input, 130 aborted.\n";
}

namespace {

// Options without a value; false when a is none of them.
bool TakeFlag(const std::string& a, TCliOptions& o) {
    if (a == "--help" || a == "-h") {
        o.Help = true;
    } else if (a == "--version") {
        o.Version = true;
    } else if (a == "--quiet" || a == "-q") {
        o.Quiet = true;
    } else if (a == "--stats") {
        o.Stats = true;
    } else {
        return false;
    }
    return true;
}

bool TakesValue(const std::string& a) {
    static constexpr std::array<std::string_view, 10> kWithValue{
        "--key",         "--threads",    "--delay", "--endpoint", "--sitemap",
        "--desktop-csv", "--mobile-csv", "--ini",   "--lang",     "--retries"};
    return std::find(kWithValue.begin(), kWithValue.end(), a) != kWithValue.end();
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

std::string TakeRetries(const std::string& v, TCliOptions& o) {
    int n = 0;
    if (!ParseInt(v, io::kRetriesMin, io::kRetriesMax, n))
        return "--retries takes a whole number from " + std::to_string(io::kRetriesMin) + " to " +
               std::to_string(io::kRetriesMax) + ", not \"" + v + "\"";
    o.Retries = n;
    return {};
}

std::string TakeEndpoint(std::string v, TCliOptions& o) {
    if (v.rfind("http://", 0) != 0 && v.rfind("https://", 0) != 0)
        return "--endpoint must start with http:// or https://";
    while (!v.empty() && v.back() == '/') v.pop_back();
    o.Endpoint = v;
    return {};
}

std::string TakeLang(const std::string& v, TCliOptions& o) {
    if (v != "ru" && v != "en") return "--lang takes ru or en, not \"" + v + "\"";
    o.Lang = v;
    return {};
}

// The value v of option a (one TakesValue accepts); the error text, or empty.
std::string TakeValue(const std::string& a, const std::string& v, TCliOptions& o) {
    if (a == "--threads") return TakeThreads(v, o);
    if (a == "--delay") return TakeDelay(v, o);
    if (a == "--retries") return TakeRetries(v, o);
    if (a == "--endpoint") return TakeEndpoint(v, o);
    if (a == "--lang") return TakeLang(v, o);
    if (a == "--key") o.ApiKey = v;
    if (a == "--sitemap") o.SitemapFile = v;
    if (a == "--desktop-csv") o.DesktopCsv = v;
    if (a == "--mobile-csv") o.MobileCsv = v;
    if (a == "--ini") o.IniFile = v;
    return {};
}

// Exactly one source of URLs.
std::string CheckUrlSource(const TCliOptions& o) {
    if (o.UrlFile.empty() != o.SitemapFile.empty()) return {};
    return o.UrlFile.empty() ? "no URL file given" : "give a URL file or --sitemap, not both";
}

}  // namespace

TParseResult ParseCommandLine(const std::vector<std::string>& args) {
    TParseResult r;
    auto& o = r.Options;
    for (size_t i = 0; i < args.size() && r.Error.empty(); ++i) {
        const std::string& a = args[i];
        if (TakeFlag(a, o)) continue;
        if (TakesValue(a)) {
            if (i + 1 >= args.size())
                r.Error = "option " + a + " needs a value";
            else
                r.Error = TakeValue(a, args[++i], o);
        } else if (a.size() > 1 && a[0] == '-') {
            r.Error = "unknown option " + a;
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
