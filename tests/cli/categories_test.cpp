// velmora-cli with the four Lighthouse categories against the simulator, and a performance-only
// run that stays as it has always been written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "engine/grid_columns.h"
#include "sim/simulator.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::UnorderedElementsAreArray;
using TIds = std::vector<std::string>;

class CategoriesRun : public ::testing::Test {
  protected:
    void SetUp() override {
        FDir =
            fs::temp_directory_path() / ("velmora-categories-test-" + std::to_string(::getpid()));
        fs::create_directories(FDir);
        FSim = std::make_unique<sim::Simulator>(sim::SimOptions{});
        ASSERT_TRUE(FSim->Start()) << FSim->Error();
    }
    void TearDown() override {
        FSim->Stop();
        fs::remove_all(FDir);
    }
    std::string Path(const std::string& name) const { return (FDir / name).string(); }
    TCliOptions Options(const std::vector<std::string>& urls) {
        std::ofstream list(Path("urls.txt"), std::ios::binary);
        for (const std::string& u : urls) list << u << "\n";
        list.close();
        TCliOptions o;
        o.UrlFile = Path("urls.txt");
        o.Endpoint = FSim->Endpoint();
        o.Threads = 4;
        o.DelayMs = 100;
        o.Retries = 0;
        o.Lang = "en";
        o.Quiet = true;
        o.NoHistory = true;
        o.IniFile = Path("none.ini");
        std::ofstream(o.IniFile).flush();
        o.DesktopCsv = Path("d.csv");
        o.MobileCsv = Path("m.csv");
        o.AdviceCsv = Path("a.csv");
        o.JsonFile = Path("out.jsonl");
        return o;
    }
    // The CSV's rows split into fields; the header first.
    std::vector<std::vector<std::string>> Csv(const std::string& name) const {
        std::ifstream in(FDir / name, std::ios::binary);
        std::vector<std::vector<std::string>> rows;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::vector<std::string> fields;
            std::stringstream ss(line);
            for (std::string f; std::getline(ss, f, ';');) fields.push_back(f);
            if (!line.empty() && line.back() == ';') fields.emplace_back();
            rows.push_back(std::move(fields));
        }
        return rows;
    }
    std::vector<json> JsonLines() const {
        std::ifstream in(FDir / "out.jsonl");
        std::vector<json> out;
        for (std::string line; std::getline(in, line);) out.push_back(json::parse(line));
        // The run's summary closes the file; these are the pages' lines.
        if (!out.empty() && out.back().contains("summary")) out.pop_back();
        return out;
    }

    fs::path FDir;
    std::unique_ptr<sim::Simulator> FSim;
};

const TIds kPoorA11y{"button-name",   "color-contrast",    "html-has-lang",
                     "image-alt",     "input-button-name", "label",
                     "meta-viewport", "target-size",       "landmark-one-main"};
const TIds kPoorBest{"paste-preventing-inputs", "image-aspect-ratio", "deprecations",
                     "errors-in-console"};
const TIds kPoorSeo{"meta-description", "link-text", "crawlable-anchors", "image-alt"};

struct TExpected {
    const char* url;
    const char* strategy;
    std::vector<json> scores;  // performance, accessibility, best-practices, seo
    TIds a11y, best, seo;
};

const TExpected kExpected[] = {
    {"https://shop.example.test/good/", "desktop", {100, 100, 100, 100}, {}, {}, {}},
    {"https://shop.example.test/good/", "mobile", {100, 100, 100, 100}, {}, {}, {}},
    {"https://shop.example.test/poor/",
     "desktop",
     {51, 24, 62, 67},
     kPoorA11y,
     kPoorBest,
     kPoorSeo},
    {"https://shop.example.test/poor/", "mobile", {22, 24, 62, 67}, kPoorA11y, kPoorBest, kPoorSeo},
    {"https://shop.example.test/noindex/",
     "desktop",
     {100, 100, 100, 61},
     {},
     {},
     {"is-crawlable", "canonical"}},
    {"https://shop.example.test/noindex/",
     "mobile",
     {99, 100, 100, 61},
     {},
     {},
     {"is-crawlable", "canonical"}},
    {"https://shop.example.test/error404/",
     "mobile",
     {nullptr, nullptr, nullptr, nullptr},
     {},
     {},
     {}},
};

constexpr const char* kCategoryIds[] = {"performance", "accessibility", "best-practices", "seo"};

TEST_F(CategoriesRun, AllCategoriesShowTheRecordedScoresAndFailingAuditsEverywhere) {
    std::vector<std::string> urls;
    for (const TExpected& e : kExpected)
        if (std::find(urls.begin(), urls.end(), e.url) == urls.end()) urls.push_back(e.url);
    TCliOptions o = Options(urls);
    ASSERT_TRUE(ParseCommandLine({"--categories", "all", "u.txt"}).Options.Categories);
    o.Categories = ParseCommandLine({"--categories", "all", "u.txt"}).Options.Categories;
    ASSERT_EQ(RunCli(o, "/nonexistent/"), kExitCompleted);

    std::map<std::pair<std::string, std::string>, json> lines;
    for (const json& j : JsonLines()) lines[{j.at("url"), j.at("strategy")}] = j;
    // url, strategy, category -> failing audit ids, as the advice CSV lists them.
    std::map<std::tuple<std::string, std::string, std::string>, TIds> adviceCsv;
    const auto advice = Csv("a.csv");
    ASSERT_FALSE(advice.empty());
    EXPECT_EQ(advice[0].size(), 8u);
    EXPECT_EQ(advice[0][2], "Категория");  // no catalogue: the source text
    for (size_t i = 1; i < advice.size(); ++i)
        adviceCsv[{advice[i][0], advice[i][1], advice[i][2]}].push_back(advice[i][4]);
    std::map<std::string, std::vector<std::string>> csvRows;
    for (const char* file : {"d.csv", "m.csv"}) {
        const auto rows = Csv(file);
        ASSERT_FALSE(rows.empty());
        // The four categories of "all"; agentic browsing is asked by name only.
        EXPECT_EQ(rows[0].size(), static_cast<size_t>(gcSeo + 1)) << file;
        for (size_t i = 1; i < rows.size(); ++i)
            csvRows[rows[i][1] + (file[0] == 'd' ? " desktop" : " mobile")] = rows[i];
    }

    for (const TExpected& e : kExpected) {
        SCOPED_TRACE(std::string(e.url) + " " + e.strategy);
        const json& j = lines[{e.url, e.strategy}];
        for (size_t c = 0; c < 4; ++c) EXPECT_EQ(j["categories"][kCategoryIds[c]], e.scores[c]);
        EXPECT_EQ(j["score"], e.scores[0]);
        const std::vector<std::string>& row = csvRows[std::string(e.url) + " " + e.strategy];
        ASSERT_EQ(row.size(), static_cast<size_t>(gcSeo + 1));
        for (size_t c = 1; c < 4; ++c) {
            const std::string cell = row[gcCount + c - 1];
            // A page the service could not load has no scores at all.
            EXPECT_EQ(cell, e.scores[c].is_null() ? "" : e.scores[c].dump()) << c;
        }
        const TIds* ids[] = {&e.a11y, &e.best, &e.seo};
        for (size_t c = 1; c < 4; ++c) {
            const char* id = kCategoryIds[c];
            EXPECT_THAT(j["category_advice"][id].get<TIds>(),
                        UnorderedElementsAreArray(*ids[c - 1]))
                << id;
            EXPECT_THAT((adviceCsv[{e.url, e.strategy, id}]),
                        UnorderedElementsAreArray(*ids[c - 1]))
                << id;
        }
    }
    // Manual checks are never failures.
    for (const auto& [key, ids] : adviceCsv)
        for (const std::string& id : ids)
            EXPECT_TRUE(id != "focusable-controls" && id != "structured-data") << id;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The pages' lines of a JSON Lines file: the last line, the run's summary, goes.
std::string PageLines(const std::string& text) {
    const size_t last = text.rfind("\n{\"summary\":");
    EXPECT_NE(last, std::string::npos) << "no summary line";
    return last == std::string::npos ? text : text.substr(0, last + 1);
}

// JSON Lines arrive as URLs finish; sorted, they compare whatever the order.
std::string SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream ss(text);
    for (std::string line; std::getline(ss, line);) lines.push_back(line + "\n");
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::string& line : lines) out += line;
    return out;
}

// The files in tests/data/cli/performance_only were written by the program before it could ask
// for other categories, from these URLs against the simulator.
TEST_F(CategoriesRun, PerformanceOnlyRunsWriteByteForByteWhatTheyAlwaysWrote) {
    const std::string golden = std::string(VELMORA_TEST_DATA) + "/cli/performance_only/";
    for (const char* categories : {"", "performance"}) {
        SCOPED_TRACE(categories);
        TCliOptions o = Options(
            {"https://shop.example.test/poor/", "https://a.example/heavy", "https://b.example/page",
             "https://c.example/sim-notHTML", "https://d.example/sim-error500",
             "https://e.example/sim-originfield/x", "https://f.example/sim-lh12/heavy"});
        o.Lang = "ru";
        o.Threads = 2;
        if (*categories)
            o.Categories =
                ParseCommandLine({"--categories", categories, "u.txt"}).Options.Categories;
        ASSERT_EQ(RunCli(o, "/nonexistent/"), kExitCompleted);
        for (const char* file : {"d.csv", "m.csv", "a.csv"})
            EXPECT_EQ(Slurp(Path(file)), Slurp(golden + file)) << file;
        EXPECT_EQ(SortedLines(PageLines(Slurp(Path("out.jsonl")))), Slurp(golden + "out.jsonl"));
    }
}

// One strategy alone: only its requests go, and the other's rows are unchecked, not failed, in
// every output and in the exit status, a budget included; the JSON Lines leave it out.
TEST_F(CategoriesRun, OneStrategyAskedForLeavesTheOtherUncheckedNotFailed) {
    const std::vector<std::string> urls{"https://a.example/heavy", "https://b.example/page"};
    for (const char* asked : {"mobile", "desktop"}) {
        SCOPED_TRACE(asked);
        const std::string other = std::string(asked) == "mobile" ? "desktop" : "mobile";
        const TParseResult parsed = ParseCommandLine(
            {"--strategies", asked, "--locale", "ru", "--fail-under", "1", "u.txt"});
        ASSERT_EQ(parsed.Error, "");
        TCliOptions o = Options(urls);
        o.Strategies = parsed.Options.Strategies;
        o.Locale = parsed.Options.Locale;
        o.FailUnder = parsed.Options.FailUnder;
        const size_t before = FSim->Requests().size();
        ASSERT_EQ(RunCli(o, "/nonexistent/"), kExitCompleted);
        const auto requests = FSim->Requests();
        ASSERT_EQ(requests.size() - before, urls.size());
        for (size_t i = before; i < requests.size(); ++i) {
            EXPECT_EQ(requests[i].strategy, asked);
            EXPECT_EQ(requests[i].locale, "ru");
        }
        // The JSON Lines hold the strategy asked for alone.
        const std::vector<json> lines = JsonLines();
        EXPECT_EQ(lines.size(), urls.size());
        for (const json& j : lines) {
            EXPECT_EQ(j.at("strategy"), asked) << j;
            EXPECT_EQ(j.at("status"), "ok") << j;
        }
        const auto rows = Csv(other == "desktop" ? "d.csv" : "m.csv");
        ASSERT_EQ(rows.size(), urls.size() + 1);
        for (size_t r = 1; r < rows.size(); ++r) EXPECT_EQ(rows[r][gcError], "") << r;
    }
}

TEST(CliOptions, StrategiesTakeBothDesktopOrMobile) {
    struct Case {
        const char* value;
        int set;  // -1: refused
    } cases[] = {{"both", kBothStrategies},
                 {"Desktop", 1 << msDesktop},
                 {"mobile", 1 << msMobile},
                 {"tablet", -1},
                 {"", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const TParseResult r = ParseCommandLine({"--strategies", c.value, "u.txt"});
        if (c.set < 0)
            EXPECT_EQ(r.Error, std::string("--strategies takes both, desktop or mobile, not \"") +
                                   c.value + "\"");
        else
            EXPECT_EQ(r.Options.Strategies.value_or(0), c.set);
    }
}

TEST(CliOptions, CategoriesTakeKnownIdsOrAll) {
    struct Case {
        const char* value;
        int set;  // -1: refused
    } cases[] = {
        {"all", kAllCategories},
        {"all,agentic-browsing", kEveryCategory},
        {"performance", kPerformanceOnly},
        {"seo", kPerformanceOnly | 1 << ctSeo},
        {"accessibility, Best-Practices",
         kPerformanceOnly | 1 << ctAccessibility | 1 << ctBestPractices},
        {"speed", -1},
        {"seo,,", -1},
        {"", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const TParseResult r = ParseCommandLine({"--categories", c.value, "u.txt"});
        if (c.set < 0) {
            EXPECT_EQ(r.Error, std::string("--categories takes performance, accessibility, "
                                           "best-practices, seo, agentic-browsing, all, not \"") +
                                   c.value + "\"");
        } else {
            EXPECT_EQ(r.Error, "");
            EXPECT_EQ(r.Options.Categories.value_or(0), c.set);
        }
    }
}

}  // namespace
}  // namespace velmora::cli
