// What an answer becomes: the numbers as measured, the service's own words for a page it could
// not load, and advice that says which audits failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine/interpret_test_support.h"

namespace velmora {
namespace {

std::string Answer(const std::string& name) {
    return ReadFile(std::string(VELMORA_PSI_ANSWERS "/") + name);
}

TRun InterpretCategories(const std::string& body, TMetricaStrategy s) {
    static thread_local simdjson::dom::parser parser;
    TRun r;
    r.Task.InitMetricResults();
    r.Task.TaskResults->Categories = kAllCategories;
    r.Ok = InterpretBody(parser, body, s, r.Task, '.',
                         [&](const std::string& line) { r.Log.push_back(line); });
    return r;
}

std::string Replaced(std::string text, const std::string& what, const std::string& with) {
    const size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    if (at != std::string::npos) text.replace(at, what.size(), with);
    return text;
}

TEST(TypedResult, APageTheServiceCouldNotLoadIsAPageErrorInItsOwnWords) {
    const std::string notFound = Answer("psi13cat/psi13cat_error404_mobile.json");
    // A page that never painted answers the same way with another code.
    const std::string noPaint = Replaced(
        Replaced(notFound, "\"code\": \"ERRORED_DOCUMENT_REQUEST\"", "\"code\": \"NO_FCP\""),
        "(Status code: 404)", "The page did not paint any content.");
    const struct {
        const char* Name;
        std::string Body;
        TMetricaStrategy Strategy;
        const char* Code;
        const char* Text;  // in the message
    } cases[] = {
        {"404", notFound, msMobile, "ERRORED_DOCUMENT_REQUEST", "(Status code: 404)"},
        {"no paint", noPaint, msMobile, "NO_FCP", "did not paint any content"},
        {"pdf", Answer("psi_pdf_desktop.json"), msDesktop, "NOT_HTML", "not HTML"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TRun r = InterpretCategories(c.Body, c.Strategy);
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Status(c.Strategy), trPageError);
        EXPECT_EQ(r.Results().ServiceCode[c.Strategy], c.Code);
        EXPECT_NE(r.Results().ServiceText[c.Strategy].find(c.Text), std::string::npos)
            << r.Results().ServiceText[c.Strategy];
        // The export's error cell is the service's message, not a complaint about the answer.
        EXPECT_EQ(r.Results().ErrorText(c.Strategy), r.Results().ServiceText[c.Strategy]);
        ASSERT_FALSE(r.Log.empty());
        EXPECT_NE(r.Log.back().find(c.Text), std::string::npos) << r.Log.back();
        EXPECT_TRUE(r.Results().MetricaValues.empty());
    }
}

TEST(TypedResult, NumbersAreTheAnswersOwnNotTheDisplayedOnes) {
    const TRun r = InterpretCategories(Answer("psi13cat/psi13cat_poor_mobile.json"), msMobile);
    ASSERT_TRUE(r.Ok);
    const struct {
        const char* Key;
        double Number;
        const char* Text;  // what the grid shows of it
    } cases[] = {
        {"largest-contentful-paint", 24691.384, "24.7\xC2\xA0s"},
        {"total-blocking-time", 2398.000000000001, "2,400\xC2\xA0ms"},
        {"cumulative-layout-shift", 0.1914728250043607, "0.191"},
        {"performance", 22, "22"},
        {"accessibility", 24, "24"},
        {"total", 4694073, "4584.1 kb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Key);
        const TMetricaValue* v = r.Results().MetricaValues.GetValueByKey(c.Key, msMobile);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->Number, c.Number);
        EXPECT_EQ(v->DisplayText, c.Text);
    }
}

// A category the service added later is asked by name and read as the classic ones are.
TEST(TypedResult, AgenticBrowsingIsAskedByNameAndScored) {
    EXPECT_EQ(ParseCategories("all"), kAllCategories);
    EXPECT_EQ(ParseCategories("all, agentic-browsing"), kEveryCategory);
    EXPECT_EQ(ParseCategories("agentic-browsing"),
              TCategorySet(kPerformanceOnly | 1u << ctAgenticBrowsing));
    static thread_local simdjson::dom::parser parser;
    TRun r;
    r.Task.InitMetricResults();
    r.Task.TaskResults->Categories = kEveryCategory;
    r.Ok = InterpretBody(parser, Answer("psi13cat/psi13cat_agentic_mobile.json"), msMobile, r.Task,
                         '.', {});
    ASSERT_TRUE(r.Ok);
    const TMetricaValue* v = r.Results().MetricaValues.GetValueByKey("agentic-browsing", msMobile);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->Number, 20);
    std::vector<std::string> failing;
    for (const TGAdvice& a : r.Results().AdviceList[msMobile])
        if (a.Category == ctAgenticBrowsing && a.Failed()) failing.push_back(a.AuditId.str());
    std::sort(failing.begin(), failing.end());
    EXPECT_EQ(failing, (std::vector<std::string>{"agent-accessibility-tree", "ard-schema",
                                                 "llms-txt", "webmcp-schema-validity"}));
}

TEST(TypedResult, InformativeAuditsAreNeverFailures) {
    for (const char* file :
         {"psi13cat/psi13cat_good_desktop.json", "psi13cat/psi13cat_poor_mobile.json"}) {
        SCOPED_TRACE(file);
        const TMetricaStrategy s =
            std::string(file).find("mobile") != std::string::npos ? msMobile : msDesktop;
        const TRun r = InterpretCategories(Answer(file), s);
        ASSERT_TRUE(r.Ok);
        bool breakdownSeen = false;
        for (const TGAdvice& a : r.Results().AdviceList[s]) {
            if (a.AuditId.str() == "lcp-breakdown-insight" || a.AuditId.str() == "long-tasks") {
                breakdownSeen = true;
                EXPECT_TRUE(a.Informative);
                EXPECT_FALSE(a.Failed());
            }
            if (a.Failed()) {
                EXPECT_TRUE(a.Score.has_value()) << a.AuditId.str();
                EXPECT_LT(a.Score.value_or(1), 0.9) << a.AuditId.str();
            }
        }
        EXPECT_TRUE(breakdownSeen);
    }
}

TEST(TypedResult, LighthouseThirteenInsightsKeepTheirBytesInDebugData) {
    const TRun r = InterpretCategories(Answer("psi13cat/psi13cat_poor_mobile.json"), msMobile);
    ASSERT_TRUE(r.Ok);
    const struct {
        const char* Audit;
        float Bytes;
    } cases[] = {{"cache-insight", 4691440}, {"image-delivery-insight", 3728560}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Audit);
        const TGAdvice* found = nullptr;
        for (const TGAdvice& a : r.Results().AdviceList[msMobile])
            if (a.AuditId.str() == c.Audit) found = &a;
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->Figures.Savings().Bytes, c.Bytes);
    }
}

}  // namespace
}  // namespace velmora
