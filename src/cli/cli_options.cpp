#include "cli/cli_options.h"

#include <charconv>

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

TParseResult ParseCommandLine(const std::vector<std::string>& args) {
    TParseResult r;
    auto& o = r.Options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                r.Error = "option " + a + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            o.Help = true;
        } else if (a == "--version") {
            o.Version = true;
        } else if (a == "--quiet" || a == "-q") {
            o.Quiet = true;
        } else if (a == "--stats") {
            o.Stats = true;
        } else if (a == "--key") {
            if (!value(v)) return r;
            o.ApiKey = v;
        } else if (a == "--threads") {
            if (!value(v)) return r;
            int n = 0;
            if (!ParseInt(v, io::kMaxThreadsMin, io::kMaxThreadsMax, n)) {
                r.Error = "--threads takes a whole number from " +
                          std::to_string(io::kMaxThreadsMin) + " to " +
                          std::to_string(io::kMaxThreadsMax) + ", not \"" + v + "\"";
                return r;
            }
            o.Threads = n;
        } else if (a == "--delay") {
            if (!value(v)) return r;
            int n = 0;
            if (!ParseInt(v, io::kReqPredelayMin, io::kReqPredelayMax, n)) {
                r.Error = "--delay takes a whole number of milliseconds from " +
                          std::to_string(io::kReqPredelayMin) + " to " +
                          std::to_string(io::kReqPredelayMax) + ", not \"" + v + "\"";
                return r;
            }
            o.DelayMs = n;
        } else if (a == "--endpoint") {
            if (!value(v)) return r;
            if (v.rfind("http://", 0) != 0 && v.rfind("https://", 0) != 0) {
                r.Error = "--endpoint must start with http:// or https://";
                return r;
            }
            while (!v.empty() && v.back() == '/') v.pop_back();
            o.Endpoint = v;
        } else if (a == "--sitemap") {
            if (!value(o.SitemapFile)) return r;
        } else if (a == "--desktop-csv") {
            if (!value(o.DesktopCsv)) return r;
        } else if (a == "--mobile-csv") {
            if (!value(o.MobileCsv)) return r;
        } else if (a == "--ini") {
            if (!value(o.IniFile)) return r;
        } else if (a == "--lang") {
            if (!value(v)) return r;
            if (v != "ru" && v != "en") {
                r.Error = "--lang takes ru or en, not \"" + v + "\"";
                return r;
            }
            o.Lang = v;
        } else if (a.size() > 1 && a[0] == '-') {
            r.Error = "unknown option " + a;
            return r;
        } else if (o.UrlFile.empty()) {
            o.UrlFile = a;
        } else {
            r.Error = "only one URL file may be given";
            return r;
        }
    }
    if (o.Help || o.Version) return r;
    if (o.UrlFile.empty() == o.SitemapFile.empty())
        r.Error =
            o.UrlFile.empty() ? "no URL file given" : "give a URL file or --sitemap, not both";
    return r;
}

}  // namespace velmora::cli
