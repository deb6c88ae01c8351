// velmora-cli's command line: what each option sets, what it refuses, and the usage text.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_inputs.h"
#include "cli/cli_run.h"
#include "io/settings.h"
#include "io/sitemap_fetch.h"

namespace velmora::cli {
namespace {

TEST(CliOptions, ParsesAndRejects) {
    struct Case {
        std::vector<std::string> args;
        std::string error;  // substring; empty = accepted
    } cases[] = {
        {{"urls.txt"}, ""},
        {{"--threads", "20", "--delay", "100", "--lang", "ru", "urls.txt"}, ""},
        {{"--sitemap", "map.xml"}, ""},
        {{"--threads", "21", "urls.txt"}, "--threads"},
        {{"--threads", "0", "urls.txt"}, "--threads"},
        {{"--threads", "8x", "urls.txt"}, "--threads"},
        {{"--delay", "99", "urls.txt"}, "--delay"},
        {{"--delay", "10001", "urls.txt"}, "--delay"},
        {{"--retries", "0", "urls.txt"}, ""},
        {{"--retries", "6", "urls.txt"}, "--retries"},
        {{"--retries", "-1", "urls.txt"}, "--retries"},
        {{"--lang", "de", "urls.txt"}, "--lang"},
        {{"--endpoint", "ftp://x", "urls.txt"}, "--endpoint"},
        {{"--endpoint", "dict://127.0.0.1:2628/#", "urls.txt"}, "--endpoint"},
        {{"--endpoint", "file:///etc/passwd#", "urls.txt"}, "--endpoint"},
        {{"--key-file", "k.txt", "urls.txt"}, ""},
        {{"--key-file"}, "needs a value"},
        {{"--key"}, "needs a value"},
        {{"--bogus", "urls.txt"}, "unknown option"},
        {{}, "no URL file"},
        {{"a.txt", "b.txt"}, "only one"},
        {{"a.txt", "--sitemap", "m.xml"}, "give one of a URL file, --sitemap and --crawl"},
        {{"--crawl", "https://s/", "--sitemap", "m.xml"}, "give one of"},
        {{"--crawl", "https://s/"}, ""},
        {{"--crawl", "https://s/", "--max-pages", "10000", "--max-depth", "0", "--crawl-timeout",
          "5", "--crawl-subdomains"},
         ""},
        {{"--crawl", "https://s/", "--max-pages", "10001"},
         "--max-pages takes a whole number from 1 to 10000, not \"10001\""},
        {{"--max-depth", "3", "urls.txt"}, "belong to --crawl"},
        {{"--resume", "--crawl", "https://s/"}, "--resume takes its URLs from the history"},
        {{"--help"}, ""},
        {{"-h"}, ""},
        {{"--version"}, ""},
        {{"-q", "--stats", "--no-history", "urls.txt"}, ""},
        {{"--desktop-csv", "d.csv", "--mobile-csv", "m.csv", "--advice-csv", "a.csv", "--ini",
          "v.ini", "--db", "h.sqlite", "urls.txt"},
         ""},
        {{"urls.txt", "--advice-csv"}, "option --advice-csv needs a value"},
        {{"-q2", "urls.txt"}, "unknown option -q2"},
        {{"--sitemap", "m.xml", "--sitemap-timeout", "0"},
         "--sitemap-timeout takes a whole number of seconds from 1 to 86400, not \"0\""},
        {{"--report", "r.html", "--report-screenshots", "urls.txt"}, ""},
        {{"--report-screenshots", "urls.txt"}, "--report-screenshots needs --report"},
        {{"export", "3", "--report", "r.html"}, ""},
        {{"compare", "1", "2", "--report", "r.html"}, ""},
        {{"export", "3", "--report", "r.html", "--report-screenshots"},
         "the history keeps no screenshots"},
        {{"runs", "--report", "r.html"}, "runs does not take --report"},
    };
    for (const auto& c : cases) {
        TParseResult r = ParseCommandLine(c.args);
        if (c.error.empty()) {
            EXPECT_EQ(r.Error, "") << c.args.size();
        } else {
            EXPECT_NE(r.Error.find(c.error), std::string::npos) << r.Error;
        }
    }
    TParseResult r = ParseCommandLine({"--endpoint", "http://127.0.0.1:8080/", "u.txt"});
    EXPECT_EQ(r.Options.Endpoint.value_or(""), "http://127.0.0.1:8080");
}

// Each option lands in its own field.
TEST(CliOptions, EachOptionSetsItsOwnField) {
    using TField = std::string (*)(const TCliOptions&);
    const struct {
        std::vector<std::string> args;
        TField field;
        std::string expected;
    } cases[] = {
        {{"--key-file", "k.txt"}, [](const TCliOptions& o) { return o.KeyFile; }, "k.txt"},
        {{"--key", "K"}, [](const TCliOptions& o) { return o.ApiKey.value_or(""); }, "K"},
        {{"--threads", "20"},
         [](const TCliOptions& o) { return std::to_string(o.Threads.value_or(0)); },
         "20"},
        {{"--delay", "100"},
         [](const TCliOptions& o) { return std::to_string(o.DelayMs.value_or(0)); },
         "100"},
        {{"--retries", "5"},
         [](const TCliOptions& o) { return std::to_string(o.Retries.value_or(0)); },
         "5"},
        {{"--sitemap-timeout", "86400"},
         [](const TCliOptions& o) { return std::to_string(o.SitemapTimeoutS.value_or(0)); },
         "86400"},
        {{"--fail-under", "0"},
         [](const TCliOptions& o) { return o.FailUnder ? std::to_string(int(*o.FailUnder)) : ""; },
         "0"},
        {{"--desktop-csv", "d.csv"}, [](const TCliOptions& o) { return o.DesktopCsv; }, "d.csv"},
        {{"--mobile-csv", "m.csv"}, [](const TCliOptions& o) { return o.MobileCsv; }, "m.csv"},
        {{"--advice-csv", "a.csv"}, [](const TCliOptions& o) { return o.AdviceCsv; }, "a.csv"},
        {{"--spreadsheet-csv", "s.csv"},
         [](const TCliOptions& o) { return o.SpreadsheetCsv; },
         "s.csv"},
        {{"--lang", "en"}, [](const TCliOptions& o) { return o.Lang; }, "en"},
        {{"--ini", "v.ini"}, [](const TCliOptions& o) { return o.IniFile; }, "v.ini"},
        {{"--json", "-"}, [](const TCliOptions& o) { return o.JsonFile; }, "-"},
        {{"--budget", "b.json"}, [](const TCliOptions& o) { return o.BudgetFile; }, "b.json"},
        {{"--db", "h.sqlite"}, [](const TCliOptions& o) { return o.DbFile; }, "h.sqlite"},
        {{"-q"}, [](const TCliOptions& o) { return std::string(o.Quiet ? "on" : ""); }, "on"},
        {{"--stats"}, [](const TCliOptions& o) { return std::string(o.Stats ? "on" : ""); }, "on"},
        {{"--no-history"},
         [](const TCliOptions& o) { return std::string(o.NoHistory ? "on" : ""); },
         "on"},
        {{"-h"}, [](const TCliOptions& o) { return std::string(o.Help ? "on" : ""); }, "on"},
        {{"--version"},
         [](const TCliOptions& o) { return std::string(o.Version ? "on" : ""); },
         "on"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        std::vector<std::string> args = c.args;
        args.push_back("urls.txt");
        const TParseResult r = ParseCommandLine(args);
        ASSERT_EQ(r.Error, "");
        EXPECT_EQ(c.field(r.Options), c.expected);
        EXPECT_EQ(r.Options.UrlFile, "urls.txt");
    }
    // "--csv" names a file for compare and asks for CSV rows elsewhere.
    const TParseResult compare = ParseCommandLine({"compare", "1", "2", "--csv", "c.csv"});
    EXPECT_EQ(compare.Options.CompareCsv, "c.csv");
    EXPECT_FALSE(compare.Options.CsvRows);
    const TParseResult runs = ParseCommandLine({"runs", "--csv"});
    EXPECT_TRUE(runs.Options.CsvRows);
    EXPECT_EQ(runs.Options.CompareCsv, "");
}

// The usage is made from the options: the ranges and defaults are the ones the parser and the
// run use, and a help text of two lines keeps its second under the first.
TEST(CliOptions, UsageShowsTheRangesAndDefaultsInUse) {
    const std::string usage = UsageText();
    EXPECT_EQ(usage.find('{'), std::string::npos) << usage;
    const std::string lines[] = {
        "\n  --threads N          worker threads, " + std::to_string(io::kMaxThreadsMin) + ".." +
            std::to_string(io::kMaxThreadsMax) + " (default: max-threads, else " +
            std::to_string(io::kMaxThreadsDefault) + ")\n",
        "\n                       (default: req-predelay, else " +
            std::to_string(io::kReqPredelayDefault) + ")\n",
        "\n  --sitemap-timeout S  give up a sitemap import after S seconds (default " +
            std::to_string(io::kDefaultSitemapTimeout.count()) + ")\n",
        "\n  --fail-under SCORE   exit status 1 when a score is below SCORE (0..100)\n",
        "\n  --spreadsheet-csv FILE\n                       write both strategies for spreadsheets",
    };
    for (const std::string& line : lines) EXPECT_NE(usage.find(line), std::string::npos) << line;
}

TEST(CliOptions, LocaleIsOneTheServiceTranslatesInto) {
    const struct {
        const char* given;
        const char* sent;  // empty: refused
    } cases[] = {
        {"ru", "ru"},       {"pt-BR", "pt-BR"},   {"pt_BR", "pt-BR"},     {"PT_br", "pt-BR"},
        {"en_US", "en-US"}, {"es-419", "es-419"}, {"sr-latn", "sr-Latn"}, {"zh-TW", "zh-TW"},
        {"x", ""},          {"tlh", ""},          {"zz-ZZ-ZZ", ""},       {"en-", ""},
        {"", ""},           {"ru;drop", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        const TParseResult r = ParseCommandLine({"--locale", c.given, "urls.txt"});
        if (*c.sent) {
            EXPECT_EQ(r.Error, "");
            EXPECT_EQ(r.Options.Locale.value_or(""), c.sent);
        } else {
            EXPECT_NE(r.Error.find("--locale takes a language the service"), std::string::npos)
                << r.Error;
        }
    }
}

}  // namespace
}  // namespace velmora::cli
