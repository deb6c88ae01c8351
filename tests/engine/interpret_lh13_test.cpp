// Advice as the service's report lists it, and real users' field data, on Lighthouse 12 and 13
// answers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "engine/interpret.h"
#include "engine/interpret_test_support.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

using TIds = std::vector<std::string>;

// Audit ids of the advice of s, per group in list order.
std::array<TIds, 3> AdviceIds(const TRun& r, TMetricaStrategy s) {
    std::array<TIds, 3> ids;
    for (const TGAdvice& a : r.Results().AdviceList[s]) {
        EXPECT_GE(a.AdviceGroupNdx, 0);
        EXPECT_LT(a.AdviceGroupNdx, 3);
        EXPECT_FALSE(a.Title.empty()) << a.AuditId.str();
        ids.at(a.AdviceGroupNdx).push_back(a.AuditId.str());
    }
    return ids;
}

const TGAdvice* FindAdvice(const TRun& r, TMetricaStrategy s, std::string_view id) {
    for (const TGAdvice& a : r.Results().AdviceList[s])
        if (a.AuditId == id) return &a;
    return nullptr;
}

TEST(InterpretAdviceTest, RealAnswersGiveTheAdviceTheServicesReportShows) {
    // Failing audits come first by their estimated savings, then the category's order; the
    // insights without a display value and the informative ones are there; passed audits
    // with a display value (total-byte-weight, bootup-time, mainthread-work-breakdown on the
    // fast page) are not.
    const TIds heavyDiagnosticsDesktop{
        "unused-css-rules", "unused-javascript", "unminified-css",    "unminified-javascript",
        "bootup-time",      "long-tasks",        "total-byte-weight", "unsized-images"};
    const TIds heavyInsightsDesktop{"cache-insight",           "image-delivery-insight",
                                    "render-blocking-insight", "cls-culprits-insight",
                                    "font-display-insight",    "lcp-breakdown-insight",
                                    "lcp-discovery-insight",   "network-dependency-tree-insight"};
    const TIds heavyDiagnosticsMobile{
        "unused-javascript", "unused-css-rules",          "unminified-javascript",
        "unminified-css",    "mainthread-work-breakdown", "long-tasks",
        "bootup-time",       "total-byte-weight",         "unsized-images"};
    TIds heavyInsightsMobile = heavyInsightsDesktop;
    heavyInsightsMobile.push_back("viewport-insight");
    struct Case {
        const char* file;
        TMetricaStrategy strategy;
        std::array<TIds, 3> ids;
    } cases[] = {
        {"psi13_fast_desktop.json", msDesktop, {TIds{}, TIds{}, {"lcp-breakdown-insight"}}},
        {"psi13_fast_mobile.json", msMobile, {TIds{}, {"long-tasks"}, {"lcp-breakdown-insight"}}},
        {"psi13_heavy_desktop.json",
         msDesktop,
         {TIds{}, heavyDiagnosticsDesktop, heavyInsightsDesktop}},
        {"psi13_heavy_mobile.json",
         msMobile,
         {TIds{}, heavyDiagnosticsMobile, heavyInsightsMobile}},
        {"synthetic_fielddata_heavy_mobile.json",
         msMobile,
         {TIds{}, heavyDiagnosticsMobile, heavyInsightsMobile}},
        // Lighthouse 12: audits that failed to run are shown as the report shows them.
        {"psi_fast_desktop.json",
         msDesktop,
         {TIds{},
          {"render-blocking-resources", "server-response-time", "prioritize-lcp-image",
           "total-byte-weight", "dom-size", "mainthread-work-breakdown",
           "largest-contentful-paint-element", "lcp-lazy-loaded", "layout-shifts",
           "non-composited-animations"},
          TIds{}}},
        {"psi_heavy_mobile.json",
         msMobile,
         {TIds{},
          {"uses-responsive-images",
           "uses-text-compression",
           "modern-image-formats",
           "unused-css-rules",
           "unused-javascript",
           "unminified-css",
           "unminified-javascript",
           "render-blocking-resources",
           "server-response-time",
           "prioritize-lcp-image",
           "total-byte-weight",
           "uses-long-cache-ttl",
           "dom-size",
           "critical-request-chains",
           "bootup-time",
           "mainthread-work-breakdown",
           "largest-contentful-paint-element",
           "lcp-lazy-loaded",
           "layout-shifts",
           "long-tasks",
           "non-composited-animations"},
          TIds{}}},
        // A failed check stores no advice.
        {"psi_pdf_desktop.json", msDesktop, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TRun r = Interpret(ReadFile(std::string(VELMORA_PSI_ANSWERS "/") + c.file), c.strategy);
        const auto ids = AdviceIds(r, c.strategy);
        for (size_t g = 0; g < ids.size(); ++g) {
            SCOPED_TRACE(AdviceGroupTable[g].Key);
            EXPECT_THAT(ids[g], ElementsAreArray(c.ids[g]));
        }
    }
}

TEST(InterpretAdviceTest, AdviceCarriesTheAuditsDisplayValueAndScore) {
    TRun r = Interpret(ReadFile(VELMORA_PSI_ANSWERS "/psi13_heavy_desktop.json"));
    ASSERT_TRUE(r.Ok);
    struct Case {
        const char* id;
        std::string text;
        std::optional<double> score;
    } cases[] = {
        {"cache-insight", "Est savings of 5,439" + kNbsp + "KiB", 0.0},
        {"cls-culprits-insight", "", 0.0},
        {"font-display-insight", "Est savings of 20" + kNbsp + "ms", 0.5},
        {"long-tasks", "3 long tasks found", 1.0},
        {"unsized-images", "", 0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const TGAdvice* a = FindAdvice(r, msDesktop, c.id);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->AdviceText, c.text);
        EXPECT_EQ(a->Score, c.score);
    }
    const TGAdvice* cache = FindAdvice(r, msDesktop, "cache-insight");
    EXPECT_EQ(cache->Title, "Use efficient cache lifetimes");
    EXPECT_FALSE(cache->Descr.empty());
}

std::string AnswerWithAdvice(const std::string& refs, const std::string& audits) {
    return R"({"lighthouseResult":{"categories":{"performance":{"score":0.5,"auditRefs":[)" + refs +
           R"(]}},"audits":{"resource-summary":{"details":{"items":[]}},)" + audits + "}}}";
}

TEST(InterpretAdviceTest, ModeAndScoreDecideWhatIsAdvice) {
    struct Case {
        const char* id;
        const char* modeAndScore;
        bool advice;
    } cases[] = {
        {"informative", R"("scoreDisplayMode":"informative","score":null)", true},
        {"informative-passed", R"("scoreDisplayMode":"informative","score":1)", true},
        {"error", R"("scoreDisplayMode":"error","score":null)", true},
        {"numeric-0.89", R"("scoreDisplayMode":"numeric","score":0.89)", true},
        {"numeric-0.9", R"("scoreDisplayMode":"numeric","score":0.9)", false},
        {"binary-0", R"("scoreDisplayMode":"binary","score":0)", true},
        {"binary-1", R"("scoreDisplayMode":"binary","score":1)", false},
        {"savings-0.5", R"("scoreDisplayMode":"metricSavings","score":0.5)", true},
        {"savings-null", R"("scoreDisplayMode":"metricSavings","score":null)", false},
        {"savings-text", R"("scoreDisplayMode":"metricSavings","score":"0")", false},
        {"not-applicable", R"("scoreDisplayMode":"notApplicable","score":null)", false},
        {"manual", R"("scoreDisplayMode":"manual","score":0)", false},
        {"unknown-mode", R"("scoreDisplayMode":"other","score":0)", false},
        {"no-mode-failed", R"("score":0.5)", true},
        {"no-mode-no-score", R"("displayValue":"1 s")", false},
    };
    std::string refs, audits;
    TIds expected;
    for (const auto& c : cases) {
        if (!refs.empty()) refs += ",", audits += ",";
        refs += R"({"id":")" + std::string(c.id) + R"(","group":"diagnostics"})";
        audits += "\"" + std::string(c.id) + R"(":{"title":"T",)" + c.modeAndScore + "}";
        if (c.advice) expected.push_back(c.id);
    }
    TRun r = Interpret(AnswerWithAdvice(refs, audits));
    ASSERT_TRUE(r.Ok);
    EXPECT_THAT(AdviceIds(r, msDesktop)[1], ElementsAreArray(expected));
}

TEST(InterpretAdviceTest, LargestSavingsFirstThenTheCategorysOrderWithinEachGroup) {
    // Savings compare LCP, then FCP, TBT, CLS; the older overall estimate ranks with LCP.
    struct Item {
        const char* id;
        const char* group;
        const char* savings;
    } items[] = {
        {"zero", "insights", R"("metricSavings":{"LCP":0,"FCP":0})"},
        {"fcp-500", "insights", R"("metricSavings":{"FCP":500})"},
        {"diag-small", "diagnostics", R"("metricSavings":{"LCP":10})"},
        {"lcp-300", "insights", R"("metricSavings":{"LCP":300})"},
        {"overall-400", "insights", R"("details":{"overallSavingsMs":400})"},
        {"none", "insights", ""},
        {"lcp-300-fcp-100", "insights", R"("metricSavings":{"LCP":300,"FCP":100})"},
        {"tbt-900", "insights", R"("metricSavings":{"TBT":900,"INP":5000})"},
        {"cls-0.2", "insights", R"("metricSavings":{"CLS":0.2})"},
        {"lcp-text", "insights", R"("metricSavings":{"LCP":"9000"})"},
        {"diag-big", "diagnostics", R"("metricSavings":{"LCP":20})"},
        {"both", "insights", R"("metricSavings":{"LCP":50},"details":{"overallSavingsMs":100000})"},
    };
    std::string refs, audits;
    for (const auto& i : items) {
        if (!refs.empty()) refs += ",", audits += ",";
        refs += R"({"id":")" + std::string(i.id) + R"(","group":")" + i.group + "\"}";
        audits += "\"" + std::string(i.id) +
                  R"(":{"title":"T","scoreDisplayMode":"metricSavings","score":0)" +
                  (*i.savings ? "," : "") + i.savings + "}";
    }
    TRun r = Interpret(AnswerWithAdvice(refs, audits));
    ASSERT_TRUE(r.Ok);
    EXPECT_THAT(
        AdviceIds(r, msDesktop),
        ElementsAre(IsEmpty(), ElementsAre("diag-big", "diag-small"),
                    ElementsAre("overall-400", "lcp-300-fcp-100", "lcp-300", "both", "fcp-500",
                                "tbt-900", "cls-0.2", "zero", "none", "lcp-text")));
    // The list itself runs group by group in the table's order.
    const auto& list = r.Results().AdviceList[msDesktop];
    ASSERT_EQ(list.size(), std::size(items));
    EXPECT_EQ(list.front().AuditId, "diag-big");
}

// Field data of one metric as the cells will show it.
struct TFieldCell {
    std::string text;
    TFieldCategory category;
};

std::array<TFieldCell, 5> Cells(const TFieldData& d) {
    std::array<TFieldCell, 5> cells;
    for (size_t i = 0; i < cells.size(); ++i) {
        const auto m = static_cast<TFieldMetric>(i);
        cells[i] = {FieldMetricText(m, d[m], '.'), d[m].Category};
    }
    return cells;
}

MATCHER_P2(IsCell, text, category, "") {
    return arg.text == text && arg.category == category;
}

TEST(InterpretFieldDataTest, RealAndSyntheticAnswers) {
    TRun page =
        Interpret(ReadFile(VELMORA_PSI_ANSWERS "/synthetic_fielddata_heavy_mobile.json"), msMobile);
    ASSERT_TRUE(page.Ok);
    const TFieldData& p = page.Results().FieldData[msMobile];
    EXPECT_EQ(p.Source, fsPage);
    EXPECT_EQ(p.Overall, fcSlow);
    EXPECT_EQ(p.Verdict, cvFailed);
    // LCP, INP, CLS (sent as 14), FCP, TTFB.
    EXPECT_THAT(Cells(p), ElementsAre(IsCell("4.4 s", fcSlow), IsCell("312 ms", fcAverage),
                                      IsCell("0.14", fcAverage), IsCell("2.1 s", fcAverage),
                                      IsCell("1.3 s", fcAverage)));
    EXPECT_DOUBLE_EQ(p[fmLCP].P75, 4380);
    EXPECT_DOUBLE_EQ(p[fmCLS].P75, 0.14);
    EXPECT_TRUE(page.Results().FieldData[msDesktop].Empty());

    TRun origin = Interpret(
        ReadFile(VELMORA_PSI_ANSWERS "/synthetic_fielddata_origin_fallback_mobile.json"), msMobile);
    const TFieldData& o = origin.Results().FieldData[msMobile];
    EXPECT_EQ(o.Source, fsOrigin);
    EXPECT_EQ(o.Overall, fcAverage);
    EXPECT_EQ(o.Verdict, cvFailed);  // LCP is only average
    EXPECT_THAT(Cells(o), ElementsAre(IsCell("2.7 s", fcAverage), IsCell("180 ms", fcFast),
                                      IsCell("0.06", fcFast), IsCell("1.7 s", fcFast),
                                      IsCell("1.0 s", fcAverage)));

    // Low-traffic pages: loadingExperience with only initial_url is no data and no error.
    for (const char* file : {"psi13_heavy_desktop.json", "psi_fast_desktop.json"}) {
        SCOPED_TRACE(file);
        TRun none = Interpret(ReadFile(std::string(VELMORA_PSI_ANSWERS "/") + file));
        EXPECT_TRUE(none.Ok);
        const TFieldData& n = none.Results().FieldData[msDesktop];
        EXPECT_TRUE(n.Empty());
        EXPECT_EQ(n.Verdict, cvNone);
        EXPECT_EQ(n.Overall, fcNone);
        EXPECT_THAT(Cells(n),
                    ElementsAre(IsCell("", fcNone), IsCell("", fcNone), IsCell("", fcNone),
                                IsCell("", fcNone), IsCell("", fcNone)));
    }
}

std::string Metric(const char* key, const char* percentile, const char* category = nullptr) {
    std::string m = "\"" + std::string(key) + R"(":{"percentile":)" + percentile;
    if (category) m += R"(,"category":")" + std::string(category) + "\"";
    return m + "}";
}

std::string Experience(const std::vector<std::string>& metrics, const char* extra = "") {
    std::string s = R"({"id":"x","initial_url":"u","overall_category":"FAST","metrics":{)";
    for (size_t i = 0; i < metrics.size(); ++i) s += (i ? "," : "") + metrics[i];
    return s + "}" + extra + "}";
}

TEST(InterpretFieldDataTest, VerdictSourceAndCategoriesFromTheShapeOfTheData) {
    const std::string lcpFast = Metric("LARGEST_CONTENTFUL_PAINT_MS", "2000", "FAST");
    const std::string lcpAvg = Metric("LARGEST_CONTENTFUL_PAINT_MS", "3000", "AVERAGE");
    const std::string inpFast = Metric("INTERACTION_TO_NEXT_PAINT", "150", "FAST");
    const std::string inpSlow = Metric("INTERACTION_TO_NEXT_PAINT", "600", "SLOW");
    const std::string clsFast = Metric("CUMULATIVE_LAYOUT_SHIFT_SCORE", "5", "FAST");
    const std::string clsAvg = Metric("CUMULATIVE_LAYOUT_SHIFT_SCORE", "12", "AVERAGE");
    const std::string noData = R"({"initial_url":"u"})";
    struct Case {
        const char* name;
        std::string members;  // loadingExperience and originLoadingExperience
        TFieldSource source;
        TCwvVerdict verdict;
    } cases[] = {
        {"all good", R"("loadingExperience":)" + Experience({lcpFast, inpFast, clsFast}), fsPage,
         cvPassed},
        {"poor INP fails", R"("loadingExperience":)" + Experience({lcpFast, inpSlow, clsFast}),
         fsPage, cvFailed},
        {"no INP: judged on LCP and CLS",
         R"("loadingExperience":)" + Experience({lcpFast, clsFast}), fsPage, cvPassed},
        {"no INP, average CLS", R"("loadingExperience":)" + Experience({lcpFast, clsAvg}), fsPage,
         cvFailed},
        {"average LCP", R"("loadingExperience":)" + Experience({lcpAvg, inpFast, clsFast}), fsPage,
         cvFailed},
        {"no CLS: no verdict", R"("loadingExperience":)" + Experience({lcpFast, inpFast}), fsPage,
         cvNone},
        {"no LCP: no verdict", R"("loadingExperience":)" + Experience({inpSlow, clsAvg}), fsPage,
         cvNone},
        {"origin fallback",
         R"("loadingExperience":)" +
             Experience({lcpFast, inpFast, clsFast}, R"(,"origin_fallback":true)"),
         fsOrigin, cvPassed},
        {"origin_fallback false",
         R"("loadingExperience":)" +
             Experience({lcpFast, inpFast, clsFast}, R"(,"origin_fallback":false)"),
         fsPage, cvPassed},
        {"only the origin's data",
         R"("loadingExperience":)" + noData + R"(,"originLoadingExperience":)" +
             Experience({lcpAvg, clsFast}),
         fsOrigin, cvFailed},
        {"the page's data wins over the origin's",
         R"("loadingExperience":)" + Experience({lcpFast, clsFast}) +
             R"(,"originLoadingExperience":)" + Experience({lcpAvg, clsFast}),
         fsPage, cvPassed},
        {"nothing usable",
         R"("loadingExperience":)" +
             Experience({Metric("LARGEST_CONTENTFUL_PAINT_MS", "null", "FAST"),
                         Metric("CUMULATIVE_LAYOUT_SHIFT_SCORE", "-1", "FAST"),
                         Metric("INTERACTION_TO_NEXT_PAINT", "\"150\"", "FAST")}),
         fsNone, cvNone},
        {"loadingExperience no object", R"("loadingExperience":[1])", fsNone, cvNone},
        {"metrics an array", R"("loadingExperience":{"metrics":[]})", fsNone, cvNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TRun r = Interpret("{" + c.members +
                           R"(,"lighthouseResult":{"categories":{"performance":{"score":1,)"
                           R"("auditRefs":[]}},"audits":{"resource-summary":{"details":)"
                           R"({"items":[]}}}}})");
        EXPECT_TRUE(r.Ok);
        const TFieldData& d = r.Results().FieldData[msDesktop];
        EXPECT_EQ(d.Source, c.source);
        EXPECT_EQ(d.Verdict, c.verdict);
        EXPECT_EQ(d.Overall, c.source == fsNone ? fcNone : fcFast);
    }
}

TEST(InterpretFieldDataTest, MissingCategoryFollowsTheMetricsBounds) {
    struct Case {
        const char* key;
        const char* percentile;
        TFieldCategory category;
    } cases[] = {
        {"LARGEST_CONTENTFUL_PAINT_MS", "2500", fcFast},
        {"LARGEST_CONTENTFUL_PAINT_MS", "2501", fcAverage},
        {"LARGEST_CONTENTFUL_PAINT_MS", "4001", fcSlow},
        {"INTERACTION_TO_NEXT_PAINT", "200", fcFast},
        {"INTERACTION_TO_NEXT_PAINT", "500", fcAverage},
        {"CUMULATIVE_LAYOUT_SHIFT_SCORE", "10", fcFast},
        {"CUMULATIVE_LAYOUT_SHIFT_SCORE", "25", fcAverage},
        {"CUMULATIVE_LAYOUT_SHIFT_SCORE", "26", fcSlow},
        {"FIRST_CONTENTFUL_PAINT_MS", "3001", fcSlow},
        {"EXPERIMENTAL_TIME_TO_FIRST_BYTE", "801", fcAverage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + c.percentile);
        for (const char* category : {static_cast<const char*>(nullptr), "NONE"}) {
            TRun r = Interpret(R"({"loadingExperience":)" +
                               Experience({Metric(c.key, c.percentile, category)}) + "}");
            EXPECT_EQ(r.Status(), trUnknownResponse);                // the lab part is missing
            const TFieldData& d = r.Results().FieldData[msDesktop];  // still kept
            ASSERT_EQ(d.Source, fsPage);
            bool found = false;
            for (const TFieldMetricValue& v : d.Metrics) {
                if (!v.Present) continue;
                found = true;
                EXPECT_EQ(v.Category, c.category);
            }
            EXPECT_TRUE(found);
        }
    }
    // A service error is not read any further.
    TRun err = Interpret(R"({"error":{"code":500,"message":"m"},"loadingExperience":)" +
                         Experience({Metric("LARGEST_CONTENTFUL_PAINT_MS", "1")}) + "}");
    EXPECT_TRUE(err.Results().FieldData[msDesktop].Empty());
}

TEST(InterpretFieldDataTest, CellTexts) {
    struct Case {
        TFieldMetric metric;
        double p75;
        char sep;
        const char* text;
    } cases[] = {
        {fmLCP, 2105, '.', "2.1 s"}, {fmLCP, 2150, '.', "2.2 s"},   {fmLCP, 0, '.', "0.0 s"},
        {fmLCP, 999, '.', "1.0 s"},  {fmFCP, 12345, ',', "12,3 s"}, {fmTTFB, 49, '.', "0.0 s"},
        {fmINP, 312, '.', "312 ms"}, {fmINP, 312.5, '.', "313 ms"}, {fmINP, 0, '.', "0 ms"},
        {fmCLS, 0.14, '.', "0.14"},  {fmCLS, 0.05, ',', "0,05"},    {fmCLS, 1, '.', "1.00"},
        {fmCLS, 0.145, '.', "0.15"}, {fmCLS, 0, '.', "0.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FieldMetricText(c.metric, {true, c.p75, fcFast}, c.sep), c.text);
        EXPECT_EQ(FieldMetricText(c.metric, {false, c.p75, fcFast}, c.sep), "");
    }
}

// The final screenshot is kept only when the run asks for it, and only as an image data: URL.
TEST(InterpretScreenshotTest, KeptWhenAskedAndOnlyAsAnImage) {
    const std::string answer = ReadFile(VELMORA_PSI_ANSWERS "/psi13_heavy_desktop.json");
    // Changes the final screenshot's data, not the thumbnails' before it.
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string body = answer;
        const size_t at = body.find(from, body.find("\"final-screenshot\""));
        if (at != std::string::npos) body.replace(at, from.size(), to);
        return body;
    };
    const struct {
        std::string body;
        bool keep;
        const char* expected;  // the kept text's start; empty: nothing kept
    } cases[] = {
        {answer, true, "data:image/jpeg;base64,/9j/"},
        {answer, false, ""},
        {replaced("data:image/jpeg;base64,", "data:text/html;base64,"), true, ""},
        {replaced("data:image/jpeg;base64,/9j/", R"(data:image/jpeg;base64,\"><b>/9j/)"), true, ""},
    };
    simdjson::dom::parser parser;
    for (const auto& c : cases) {
        TURLTaskInfo task("https://example.com/", 1);
        task.InitMetricResults();
        task.TaskResults->KeepScreenshot = c.keep;
        ASSERT_TRUE(InterpretBody(parser, c.body, msDesktop, task, '.', [](const std::string&) {}));
        const std::string& kept = task.TaskResults->FinalScreenshot[msDesktop];
        if (*c.expected) {
            EXPECT_EQ(kept.rfind(c.expected, 0), 0u) << kept.substr(0, 40);
            EXPECT_GT(kept.size(), 10000u);
        } else {
            EXPECT_EQ(kept, "");
        }
        EXPECT_EQ(task.TaskResults->FinalScreenshot[msMobile], "");
    }
}

}  // namespace
}  // namespace velmora
