// The site summary read from recorded answers and from small hand-made pages.
#include "engine/site_summary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/interpret.h"
#include "engine/interpret_test_support.h"

namespace velmora {
namespace {

std::string Answer(const std::string& name) {
    return ReadFile(std::string(VELMORA_PSI_ANSWERS) + "/" + name);
}

// Pages checked from recorded answers; an empty name leaves that strategy unchecked.
class TPages {
  public:
    void Add(const std::string& desktop, const std::string& mobile,
             TCategorySet categories = kPerformanceOnly) {
        TURLTaskInfo& task = FList.Add("https://site.example/p" + std::to_string(FList.Count()));
        task.InitMetricResults();
        task.TaskResults->Categories = categories;
        static simdjson::dom::parser parser;
        for (TMetricaStrategy s : kStrategies) {
            const std::string& name = s == msDesktop ? desktop : mobile;
            if (name.empty()) continue;
            ASSERT_TRUE(InterpretBody(parser, Answer(name), s, task, '.', nullptr)) << name;
        }
    }
    std::vector<const TURLTaskInfo*> Rows() const {
        std::vector<const TURLTaskInfo*> rows;
        for (size_t i = 0; i < FList.Count(); ++i) rows.push_back(&FList[i]);
        return rows;
    }

  private:
    TURLTaskInfoList FList;
};

double SumOf(double v) {
    return std::isnan(v) ? 0.0 : v;
}

// The expected figures were counted by hand (a script over the answers' JSON): per strategy,
// the failing audits (score below 0.9, not informative, in error or manual) of the kept advice
// groups, the failures over all pages, and the sums of overallSavingsMs, the bytes
// (overallSavingsBytes, else Lighthouse 13's details.debugData.wastedBytes) and
// metricSavings.LCP over those failures.
TEST(SiteSummary, FixListCountsAndSavingsMatchAHandCountOfTheRecordedAnswers) {
    struct TExpected {
        size_t Rows;
        int32_t Failures;
        double Ms, Bytes, Lcp;
    };
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> pages;
        TCategorySet categories;
        TExpected desktop, mobile;
    };
    const Case cases[] = {
        {"Lighthouse 13, a heavy page twice",
         {{"psi13_heavy_desktop.json", "psi13_heavy_mobile.json"},
          {"psi13_heavy_desktop.json", "psi13_heavy_mobile.json"},
          {"psi13_fast_desktop.json", "psi13_fast_mobile.json"}},
         kPerformanceOnly,
         {14, 28, 1840, 20649418, 12800},
         {15, 30, 13500, 20286268, 92400}},
        {"four categories",
         {{"psi13cat/psi13cat_poor_desktop.json", "psi13cat/psi13cat_poor_mobile.json"},
          {"psi13cat/psi13cat_good_desktop.json", "psi13cat/psi13cat_good_mobile.json"},
          {"psi13cat/psi13cat_noindex_desktop.json", "psi13cat/psi13cat_noindex_mobile.json"}},
         kAllCategories,
         {31, 35, 720, 9186686, 6850},
         {33, 37, 4650, 9184781, 43850}},
        {"Lighthouse 12, one page unchecked on mobile",
         {{"psi_heavy_desktop.json", "psi_heavy_mobile.json"},
          {"psi_fast_desktop.json", "psi_fast_mobile.json"},
          {"psi_heavy_desktop.json", ""}},
         kPerformanceOnly,
         {9, 18, 5280, 5965840.5, 5300},
         {9, 9, 23850, 4241281.25, 23850}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TPages pages;
        for (const auto& [desktop, mobile] : c.pages) pages.Add(desktop, mobile, c.categories);
        const std::vector<TFixRow> fixes = SummarizeFixes(pages.Rows());
        for (TMetricaStrategy s : kStrategies) {
            const TExpected& want = s == msDesktop ? c.desktop : c.mobile;
            size_t rows = 0;
            int32_t failures = 0;
            double ms = 0, bytes = 0, lcp = 0;
            for (const TFixRow& f : fixes) {
                if (f.Strategy != s) continue;
                ++rows;
                failures += f.Pages;
                ms += SumOf(f.SavingsMs.Sum);
                bytes += SumOf(f.SavingsBytes.Sum);
                lcp += SumOf(f.MetricSavings[smLCP].Sum);
                EXPECT_EQ(f.TaskNums.size(), static_cast<size_t>(f.Pages));
            }
            EXPECT_EQ(rows, want.Rows) << StrategyText(s);
            EXPECT_EQ(failures, want.Failures) << StrategyText(s);
            EXPECT_DOUBLE_EQ(ms, want.Ms) << StrategyText(s);
            EXPECT_DOUBLE_EQ(bytes, want.Bytes) << StrategyText(s);
            EXPECT_DOUBLE_EQ(lcp, want.Lcp) << StrategyText(s);
        }
    }
}

// Lighthouse 13 and 12 answers of two pages both name the page's document among their
// failing audits' resources: one fix for both.
TEST(SiteSummary, SharedResourcesFindAResourceNamedByDifferentAnswers) {
    TPages pages;
    pages.Add("psi13_heavy_desktop.json", "psi13_heavy_mobile.json");
    pages.Add("psi_heavy_desktop.json", "psi_heavy_mobile.json");
    const std::vector<TSharedResource> resources = SummarizeResources(pages.Rows());
    for (TMetricaStrategy s : kStrategies) {
        std::vector<std::string> shared;
        for (const TSharedResource& r : resources)
            if (r.Strategy == s && r.Pages > 1) shared.push_back(r.Url);
        EXPECT_THAT(shared, ::testing::ElementsAre("http://127.0.0.1:8765/heavy/index.html"))
            << StrategyText(s);
    }
    for (size_t i = 1; i < resources.size(); ++i) {
        if (resources[i].Strategy != resources[i - 1].Strategy) continue;
        const TSavingsRank &a = resources[i - 1].Rank, &b = resources[i].Rank;
        EXPECT_TRUE(a.By < b.By || (a.By == b.By && a.Value >= b.Value)) << resources[i].Url;
    }
}

// What an audit's details name: web addresses only, sub-items too, each once with its largest
// figures, the largest savings first and no more than the cap.
TEST(SiteSummary, AdviceKeepsTheLargestWebResourcesOfItsDetails) {
    std::string items;
    for (int i = 1; i <= 12; ++i)
        items += R"j({"url": "https://cdn.example/s)j" + std::to_string(i) +
                 R"j(.js", "wastedMs": )j" + std::to_string(i * 10) + "},";
    const std::string details =
        R"j({"overallSavingsMs": 120, "overallSavingsBytes": 2048.5, "items": [)j" + items +
        R"j({"url": "data:image/png;base64,AAAA", "wastedMs": 9999},
            {"url": "javascript:void(0)", "wastedMs": 9999},
            {"url": "https://cdn.example/s12.js", "wastedMs": 5},
            {"node": {}, "subItems": {"items": [{"url": "http://img.example/a.png",
                                                 "wastedBytes": 700}]}},
            {"url": 42}]})j";
    const std::string savings = R"j({"LCP": 300, "TBT": 40.5, "CLS": 0.1, "XYZ": 5})j";
    simdjson::dom::parser detailsParser, savingsParser;
    simdjson::dom::element detailsJson, savingsJson;
    ASSERT_EQ(detailsParser.parse(details).get(detailsJson), simdjson::SUCCESS);
    ASSERT_EQ(savingsParser.parse(savings).get(savingsJson), simdjson::SUCCESS);
    const TAdviceFigures f = ReadAdviceFigures(savingsJson, detailsJson);
    EXPECT_FLOAT_EQ(f.Savings().Ms, 120);
    EXPECT_FLOAT_EQ(f.Savings().Bytes, 2048.5);
    EXPECT_FLOAT_EQ(f.Savings().Metric[smLCP], 300);
    EXPECT_FLOAT_EQ(f.Savings().Metric[smCLS], 0.1f);
    EXPECT_TRUE(std::isnan(f.Savings().Metric[smFCP]));
    EXPECT_FLOAT_EQ(f.Savings().RankMs(), 120);
    std::vector<std::string> urls;
    for (const TAdviceResource& r : f.Resources()) urls.push_back(r.Url.str());
    ASSERT_EQ(urls.size(), kMaxAdviceResources);
    EXPECT_EQ(urls.front(), "https://cdn.example/s12.js");
    EXPECT_FLOAT_EQ(f.Resources()[0].WastedMs, 120);
    EXPECT_EQ(urls.back(), "https://cdn.example/s3.js");
    // Ten timed items outrank the image that only wastes bytes.
    EXPECT_THAT(urls, ::testing::Not(::testing::Contains("http://img.example/a.png")));
    EXPECT_TRUE(TAdviceFigures(f) == f);
    // Without savings or web addresses there is nothing to keep.
    simdjson::dom::parser emptyParser;
    simdjson::dom::element empty;
    ASSERT_EQ(emptyParser.parse(std::string(R"j({"items": [{"url": "data:x"}]})j")).get(empty),
              simdjson::SUCCESS);
    EXPECT_TRUE(ReadAdviceFigures(std::nullopt, empty).Empty());
}

TGAdvice Failing(const char* id, double score, float ms, float bytes,
                 std::vector<std::string> urls = {}) {
    TGAdvice a;
    a.AuditId = TInternedText(id);
    a.Title = TInternedText(std::string("Title of ") + id);
    a.Score = score;
    a.AdviceGroupNdx = 2;
    TAdviceSavings savings;
    savings.Ms = ms;
    savings.Bytes = bytes;
    std::vector<TAdviceResource> resources;
    for (const std::string& url : urls) resources.push_back({TInternedText(url), ms, bytes});
    a.Figures = TAdviceFigures(savings, resources);
    return a;
}

TURLTaskInfo& Page(TURLTaskInfoList& list, const std::string& url, double score,
                   std::vector<TGAdvice> advice, TCwvVerdict verdict = cvNone) {
    TURLTaskInfo& task = list.Add(url);
    task.InitMetricResults();
    TURLTaskResults& r = *task.TaskResults;
    r.TaskResult[msDesktop] = trOK;
    r.MetricaValues.push_back({"performance", msDesktop, std::to_string(int(score)), 0, score});
    r.FieldData[msDesktop].Source = verdict == cvNone ? fsNone : fsPage;
    r.FieldData[msDesktop].Verdict = verdict;
    for (TGAdvice& a : advice) r.AdviceList[msDesktop].push_back(std::move(a));
    return task;
}

std::vector<const TURLTaskInfo*> RowsOf(const TURLTaskInfoList& list) {
    std::vector<const TURLTaskInfo*> rows;
    for (size_t i = 0; i < list.Count(); ++i) rows.push_back(&list[i]);
    return rows;
}

// Time saved ranks before bytes saved, each by pages x the median; a manual check, an
// informative audit (no score) and a passed one never count.
TEST(SiteSummary, FixRowsRankByPagesTimesMedianSavingAndSkipWhatNeverFails) {
    TURLTaskInfoList list;
    TGAdvice manual = Failing("focus-traps", 0, kNoSaving, kNoSaving);
    manual.Manual = true;
    manual.Figures = {};
    TGAdvice informative = Failing("long-tasks", 0, 900, kNoSaving);
    informative.Score = std::nullopt;
    Page(list, "https://a.example/1", 30,
         {Failing("scripts", 0, 100, 10), Failing("images", 0.5, kNoSaving, 9000), manual,
          informative, Failing("passed", 0.9, 5000, kNoSaving)});
    Page(list, "https://a.example/2", 50, {Failing("scripts", 0, 300, kNoSaving)});
    Page(list, "https://a.example/3", 70,
         {Failing("scripts", 0.2, 200, 30), Failing("fonts", 0, 500, kNoSaving)});
    list.Add("https://a.example/unchecked");
    const std::vector<TFixRow> fixes = SummarizeFixes(RowsOf(list));
    std::vector<std::string> order;
    for (const TFixRow& f : fixes) order.push_back(f.AuditId.str());
    // scripts: 3 pages x 200 ms; fonts: 1 x 500 ms; images: bytes only.
    ASSERT_THAT(order, ::testing::ElementsAre("scripts", "fonts", "images"));
    const TFixRow& scripts = fixes[0];
    EXPECT_EQ(scripts.Pages, 3);
    EXPECT_DOUBLE_EQ(scripts.Share, 1.0);
    EXPECT_DOUBLE_EQ(scripts.SavingsMs.Sum, 600);
    EXPECT_DOUBLE_EQ(scripts.SavingsMs.Median, 200);
    EXPECT_DOUBLE_EQ(scripts.SavingsBytes.Sum, 40);  // two pages name bytes
    EXPECT_DOUBLE_EQ(scripts.SavingsBytes.Median, 20);
    EXPECT_DOUBLE_EQ(scripts.MedianScore, 50);
    EXPECT_EQ(scripts.Rank.By, TSavingsRank::Time);
    EXPECT_DOUBLE_EQ(scripts.Rank.Value, 600);
    EXPECT_THAT(scripts.TaskNums, ::testing::ElementsAre(1, 2, 3));
    EXPECT_EQ(fixes[2].Rank.By, TSavingsRank::Bytes);
    EXPECT_EQ(fixes[2].GroupTitle, "Insights");
}

TEST(SiteSummary, DefaultGroupsAreHostAndFirstSegmentWithTheHomePageAlone) {
    struct Case {
        const char* url;
        const char* group;
    };
    const Case cases[] = {
        {"https://Shop.example/product/red-shoe?x=1", "shop.example/product/"},
        {"https://shop.example/product", "shop.example/product/"},
        {"http://shop.example:8080/blog/2024/post", "shop.example:8080/blog/"},
        {"https://shop.example/", "shop.example/"},
        {"https://shop.example", "shop.example/"},
        {"https://shop.example/?utm=mail", "shop.example/"},
        {"not a web address", "not a web address"},
    };
    for (const Case& c : cases) EXPECT_EQ(DefaultGroupName(c.url), c.group) << c.url;
}

TEST(SiteSummary, GlobsMatchTheWholeUrl) {
    struct Case {
        const char* glob;
        const char* text;
        bool match;
    };
    const Case cases[] = {
        {"*/product/*", "https://a.example/product/1", true},
        {"*/product/*", "https://a.example/products/1", false},
        {"https://a.example/?", "https://a.example/x", true},
        {"https://a.example/?", "https://a.example/xy", false},
        {"*", "", true},
        {"*a*b*c", "xxaybzzc", true},
        {"*a*b*c", "xxaybzzcd", false},
        {"*/Blog/*", "https://a.example/blog/1", false},
    };
    for (const Case& c : cases) EXPECT_EQ(GlobMatches(c.glob, c.text), c.match) << c.glob;
}

// A user's rules merge and rename groups, the first matching rule wins, pages no rule takes
// keep their default group; per group the median, the colour bands, Core Web Vitals and the
// worst pages.
TEST(SiteSummary, GroupsFollowTheFirstMatchingRuleThenTheDefault) {
    TURLTaskInfoList list;
    Page(list, "https://a.example/product/1", 95, {}, cvPassed);
    Page(list, "https://a.example/product/2", 40, {}, cvFailed);
    Page(list, "https://a.example/sale/3", 60, {});
    Page(list, "https://a.example/product/sale/4", 20, {});
    Page(list, "https://a.example/", 80, {}, cvPassed);
    Page(list, "https://a.example/blog/5", 10, {});
    const std::vector<TGroupRule> rules{
        {"Sales", "*/sale/*"}, {"Goods", "*/product/*"}, {"Goods", "*/sale/*"}};
    const std::vector<TPageGroup> groups = SummarizeGroups(RowsOf(list), rules);
    ASSERT_EQ(groups.size(), 4u);
    // By pages, then by name.
    const TPageGroup& sales = groups[1];
    EXPECT_EQ(sales.Name, "Sales");
    EXPECT_THAT(sales.TaskNums, ::testing::ElementsAre(3, 4));
    const TPageGroup& goods = groups[0];
    EXPECT_EQ(goods.Name, "Goods");
    EXPECT_EQ(goods.Pages, 2);
    EXPECT_DOUBLE_EQ(goods.MedianScore, 67.5);
    EXPECT_THAT(goods.BandShare, ::testing::ElementsAre(0.5, 0.0, 0.5));
    EXPECT_DOUBLE_EQ(goods.CwvPassRate, 0.5);
    EXPECT_THAT(goods.Worst, ::testing::ElementsAre(2, 1));
    EXPECT_EQ(groups[2].Name, "a.example/");
    EXPECT_DOUBLE_EQ(groups[2].CwvPassRate, 1.0);
    EXPECT_EQ(groups[3].Name, "a.example/blog/");
    EXPECT_TRUE(std::isnan(groups[3].CwvPassRate));
}

}  // namespace
}  // namespace velmora
