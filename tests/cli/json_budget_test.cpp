// velmora-cli's results for pipelines: JSON Lines, budgets, sitemaps from a site and its crawl.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "../io/test_site.h"
#include "cli/budget.h"
#include "cli/cli_crawl.h"
#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "cli/json_output.h"
#include "sim/simulator.h"

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The simulator for the checks and a one-file site for the sitemap.
class PipelineRun : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("velmora-pipeline-test-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        sim_ = std::make_unique<sim::Simulator>(sim::SimOptions{});
        ASSERT_TRUE(sim_->Start()) << sim_->Error();
        site_.Get("/sitemap.xml", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(sitemap_, "application/xml");
        });
        port_ = site_.bind_to_any_port("127.0.0.1");
        siteThread_ = std::thread([this] { site_.listen_after_bind(); });
        while (!site_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void TearDown() override {
        site_.stop();
        siteThread_.join();
        sim_->Stop();
        fs::remove_all(dir_);
    }
    // A run over these URLs, served as the site's sitemap.
    TCliOptions Options(const std::vector<std::string>& urls) {
        sitemap_ = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
        for (const std::string& u : urls) sitemap_ += "<url><loc>" + u + "</loc></url>";
        sitemap_ += "</urlset>";
        TCliOptions o;
        o.SitemapFile = "http://127.0.0.1:" + std::to_string(port_) + "/";
        o.Endpoint = sim_->Endpoint();
        o.Threads = 4;
        o.DelayMs = 100;
        o.Quiet = true;
        o.Retries = 0;  // each status as the first answer gives it
        // An empty settings file: the defaults, and nothing of this machine's own settings.
        o.IniFile = (dir_ / "empty.ini").string();
        std::ofstream(o.IniFile).flush();
        o.DbFile = (dir_ / "history.sqlite").string();  // never the user's own history
        o.JsonFile = (dir_ / "out.jsonl").string();
        return o;
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::vector<json> JsonLines() const {
        std::ifstream in(dir_ / "out.jsonl");
        std::vector<json> out;
        for (std::string line; std::getline(in, line);) out.push_back(json::parse(line));
        // The run's summary closes the file; these are the pages' lines.
        if (!out.empty() && out.back().contains("summary")) out.pop_back();
        return out;
    }

    fs::path dir_;
    std::unique_ptr<sim::Simulator> sim_;
    httplib::Server site_;
    std::string sitemap_;
    int port_ = 0;
    std::thread siteThread_;
};

TEST_F(PipelineRun, WritesOneJsonObjectPerUrlAndStrategy) {
    const struct {
        const char* url;
        const char* status;
        bool hasScore;
    } cases[] = {
        {"https://a.example/heavy", "ok", true},
        {"https://c.example/sim-notHTML", "not_html", false},
        {"https://d.example/sim-quota", "quota", false},
        {"https://e.example/sim-error500", "service_error", false},
        {"https://f.example/sim-badjson", "parse_error", false},
    };
    std::vector<std::string> urls;
    for (const auto& c : cases) urls.push_back(c.url);
    EXPECT_EQ(RunCli(Options(urls), "/nonexistent/"), kExitCompleted);
    std::map<std::pair<std::string, std::string>, json> byKey;
    for (const json& j : JsonLines())
        byKey[{j.at("url").get<std::string>(), j.at("strategy").get<std::string>()}] = j;
    ASSERT_EQ(byKey.size(), 2 * std::size(cases));
    for (const auto& c : cases) {
        for (const char* strategy : {"desktop", "mobile"}) {
            SCOPED_TRACE(std::string(c.url) + " " + strategy);
            const json& j = byKey[{c.url, strategy}];
            EXPECT_EQ(j["status"], c.status);
            EXPECT_EQ(j["score"].is_number(), c.hasScore) << j.dump();
            if (!c.hasScore) continue;
            // The Lighthouse 13 heavy page, with its real users' data.
            EXPECT_EQ(j["score"], std::string(strategy) == "desktop" ? 38 : 27);
            EXPECT_TRUE(j["error_code"].is_null());
            EXPECT_EQ(j["field_data"]["source"], "page") << j.dump();
            EXPECT_TRUE(j["field_data"]["metrics"]["LCP"]["p75"].is_number()) << j.dump();
            const json& lcp = j["metrics"]["largest-contentful-paint"];
            EXPECT_TRUE(lcp["value"].is_number()) << lcp.dump();
            EXPECT_TRUE(lcp["text"].is_string());
            EXPECT_TRUE(j["metrics"]["cumulative-layout-shift"]["value"].is_number()) << j.dump();
            EXPECT_TRUE(j["transfer_bytes"]["total"].is_number_integer()) << j.dump();
            EXPECT_TRUE(j["advice"].is_array());
        }
    }
    EXPECT_EQ(byKey[std::make_pair("https://e.example/sim-error500", "desktop")]["error_code"],
              500);
}

// The pages a crawl finds are the run's URLs, the start first, up to --max-pages.
TEST_F(PipelineRun, CrawlsASiteForItsUrls) {
    io::test::TTestSite site;
    site.Put("/", {.body = "<a href=/a>a</a><a href=/b>b</a><a href=/c>c</a><a href=/x.png>i</a>"});
    for (const char* page : {"/a", "/b", "/c"}) site.Put(page, {.body = "<a href=/>home</a>"});
    TCliOptions o = Options({});
    o.SitemapFile.clear();
    o.CrawlUrl = site.Url("/");
    o.MaxPages = 3;
    o.Quiet = false;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCli(o, "/nonexistent/"), kExitCompleted);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Обход остановлен на пределе страниц: 3"), std::string::npos) << err;
    const std::vector<json> lines = JsonLines();
    ASSERT_EQ(lines.size(), 6u);  // three pages, two strategies
    std::set<std::string> urls;
    for (const json& line : lines) urls.insert(line.at("url").get<std::string>());
    EXPECT_EQ(urls.size(), 3u);
    EXPECT_TRUE(urls.count(site.Url("/")));
    for (const std::string& request : site.Requests()) EXPECT_NE(request, "/x.png");
}

// A run to compare with that is not in the history is known before the crawl, not after it.
TEST_F(PipelineRun, AgainstARunNotThereStopsBeforeTheCrawl) {
    io::test::TTestSite site;
    site.Put("/", {.body = "<a href=/a>a</a>"});
    TCliOptions o = Options({});
    o.SitemapFile.clear();
    o.CrawlUrl = site.Url("/");
    for (const char* against : {"last", "7"}) {
        o.Against = against;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunCli(o, "/nonexistent/"), kExitBadInput) << against;
        ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(site.Requests().empty()) << against;
    }
}

// A crawl cut by its deadline says so even with --quiet: what it found, what was queued, and
// the JSON summary's "stopped".
TEST_F(PipelineRun, ACrawlCutByTimeSaysSo) {
    io::test::TTestSite site;
    site.Put("/robots.txt", {.body = "User-agent: *\nCrawl-delay: 1\n", .type = "text/plain"});
    site.Put("/", {.body = "<a href=/a>a</a><a href=/b>b</a><a href=/c>c</a><a href=/d>d</a>"});
    for (const char* page : {"/a", "/b", "/c", "/d"}) site.Put(page, {.body = "<p>"});
    TCliOptions o = Options({});
    o.SitemapFile.clear();
    o.CrawlUrl = site.Url("/");
    o.CrawlTimeoutS = 2;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunCli(o, "/nonexistent/"), kExitCompleted);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Обход остановлен: время вышло"), std::string::npos) << err;
    EXPECT_NE(err.find("ссылок в очереди: "), std::string::npos) << err;
    EXPECT_EQ(err.find("ссылок в очереди: 0;"), std::string::npos) << err;
    std::ifstream in(Path("out.jsonl"));
    std::string last;
    for (std::string line; std::getline(in, line);) last = line;
    EXPECT_EQ(json::parse(last)["summary"]["stopped"], "time") << last;
}

// velmora-cli crawl: the pages found, one per line, and nothing sent to the service.
TEST_F(PipelineRun, CrawlCommandWritesTheListAndChecksNothing) {
    io::test::TTestSite site, service;
    site.Put("/", {.body = "<a href=/a>a</a><a href=/b>b</a><a href=/c>c</a>"});
    for (const char* page : {"/a", "/b", "/c"}) site.Put(page, {.body = "<p>"});
    const std::string list = Path("found.txt");
    // The crawl command takes no service address: it has nothing to send.
    EXPECT_EQ(ParseCommandLine({"crawl", site.Url("/"), "--endpoint", service.Url("/")}).Error,
              "crawl does not take --endpoint");
    TParseResult parsed =
        ParseCommandLine({"crawl", site.Url("/"), "--max-pages", "3", "--output", list, "--quiet"});
    ASSERT_EQ(parsed.Error, "");
    EXPECT_EQ(RunCrawlCommand(parsed.Options, "/nonexistent/"), kExitCompleted);
    std::ifstream in(list);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], site.Url("/"));
    EXPECT_TRUE(service.Requests().empty());
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"crawl"}, {"crawl", "a", "b"}, {"--output", "x", "u.txt"}})
        EXPECT_NE(ParseCommandLine(bad).Error, "") << bad.size();
}

TEST_F(PipelineRun, ExitStatusOneWhenABudgetIsBroken) {
    const struct {
        const char* name;
        std::vector<std::string> urls;
        std::optional<double> failUnder;
        std::string budget;  // file text; empty for none
        int exit;
    } cases[] = {
        {"score met", {"https://a.example/"}, 90, "", kExitCompleted},
        {"a failed check has no score",
         {"https://a.example/", "https://c.example/sim-notHTML"},
         50,
         "",
         kExitBudgetBroken},
        {"metric limit broken",
         {"https://a.example/"},
         {},
         R"({"mobile": {"LCP": 1}})",
         kExitBudgetBroken},
        {"generous limits",
         {"https://a.example/"},
         {},
         R"({"both": {"score": 90, "cls": 1, "total": 1e12}})",
         kExitCompleted},
        {"bad budget file", {"https://a.example/"}, {}, R"({"tablet": {}})", kExitBadInput},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TCliOptions o = Options(c.urls);
        o.FailUnder = c.failUnder;
        if (!c.budget.empty()) {
            std::ofstream(Path("budget.json")) << c.budget;
            o.BudgetFile = Path("budget.json");
        }
        EXPECT_EQ(RunCli(o, "/nonexistent/"), c.exit);
    }
}

TEST(Budget, ParsesLimitsAndFindsBreaks) {
    TResult<TBudget> b =
        ParseBudget(R"({"desktop": {"score": 90, "LCP": 2500}, "both": {"cls": 0.1}})");
    ASSERT_TRUE(b) << b.Error();
    ASSERT_EQ(b->size(), 4u);

    TURLTaskInfo task("https://x/", 1);
    task.InitMetricResults();
    auto add = [&](std::string_view key, TMetricaStrategy s, double n) {
        TMetricaValue v;
        v.Key = key;
        v.Strategy = s;
        v.Number = n;
        task.TaskResults->MetricaValues.push_back(v);
    };
    add("performance", msDesktop, 85);
    add("largest-contentful-paint", msDesktop, 2500);  // at the limit: kept
    add("cumulative-layout-shift", msDesktop, 0.25);
    // mobile CLS missing: a failed check breaks its budget
    EXPECT_EQ(BudgetBreaks(*b, task),
              (std::vector<std::string>{"https://x/ (desktop): cumulative-layout-shift 0.25 > 0.1",
                                        "https://x/ (mobile): cumulative-layout-shift missing",
                                        "https://x/ (desktop): score 85 < 90"}));

    // The other categories' scores are minimums as the performance score is.
    TResult<TBudget> categories = ParseBudget(
        R"({"both": {"accessibility": 90, "SEO": 60}, "desktop": {"best-practices": 50}})");
    ASSERT_TRUE(categories) << categories.Error();
    add("accessibility", msDesktop, 24);
    add("seo", msDesktop, 61);
    add("best-practices", msDesktop, 62);
    add("accessibility", msMobile, 90);
    EXPECT_EQ(BudgetBreaks(*categories, task),
              (std::vector<std::string>{"https://x/ (mobile): seo missing",
                                        "https://x/ (desktop): accessibility 24 < 90"}));
    EXPECT_FALSE(ParseBudget(R"({"both": {"seo": 101}})"));

    for (const char* bad : {"[1]", "{\"desktop\": {\"speed\": 1}}", "{\"desktop\": {\"lcp\": -1}}",
                            "{\"desktop\": {\"lcp\": \"fast\"}}", "{\"desktop\": 5}", "not json"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseBudget(bad));
    }

    // Each refused with its reason, and a hostile nesting without building it.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const struct {
        std::string text;
        const char* reason;
    } refused[] = {
        {R"({"desktop": {"score": 500}})", "beyond a score's 100"},
        {R"({"desktop": {"score": 90, "score": 10}})", "names \"score\" twice"},
        {R"({"desktop": {"lcp": 1}, "desktop": {"lcp": 2}})", "names \"desktop\" twice"},
        {std::string(R"({"desktop": {"score": 90}})") + std::string(3, '\0'), "NUL"},
        {"{\"desktop\": " + deep + "}", "nests deeper than 64"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.reason);
        const TResult<TBudget> r = ParseBudget(c.text);
        ASSERT_FALSE(r);
        EXPECT_NE(r.Error().find(c.reason), std::string::npos) << r.Error();
    }
    EXPECT_TRUE(ParseBudget(R"({"desktop": {"score": 100}, "mobile": {"score": 100}})"));
}

TEST(CliOptions, PipelineOptions) {
    TParseResult r = ParseCommandLine({"--json", "-", "--fail-under", "90", "--budget", "b.json",
                                       "--sitemap", "https://site.example/"});
    ASSERT_EQ(r.Error, "");
    EXPECT_EQ(r.Options.JsonFile, "-");
    EXPECT_EQ(r.Options.FailUnder.value_or(-1), 90);
    EXPECT_EQ(r.Options.BudgetFile, "b.json");
    for (const char* bad : {"101", "-1", "9x"})
        EXPECT_NE(ParseCommandLine({"--fail-under", bad, "u.txt"}).Error.find("--fail-under"),
                  std::string::npos);
}

}  // namespace
}  // namespace velmora::cli
