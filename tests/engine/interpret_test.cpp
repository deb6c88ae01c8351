#include "engine/interpret.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/interpret_test_support.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// A complete answer whose parts the edge cases below replace one at a time.
std::string Answer(const std::string& performance, const std::string& audits) {
    return R"({"lighthouseResult":{"categories":{"performance":)" + performance + R"(},"audits":)" +
           audits + "}}";
}

const std::string kPerf = R"({"score":0.9,"auditRefs":[
    {"id":"a-diag","group":"diagnostics","title":"ref title"},
    {"id":"a-opp","group":"load-opportunities"},
    {"id":"a-ins","group":"insights"},
    {"id":"a-metric","group":"metrics"},
    {"id":"a-upper","group":"Diagnostics"},
    {"id":"a-notitle","group":"diagnostics"},
    {"id":"a-nodv","group":"diagnostics"},
    {"id":"a-emptydv","group":"diagnostics"},
    {"id":"a-missing","group":"diagnostics"},
    {"group":"diagnostics"},
    "not an object", 17, null]})";

const std::string kAuditValues =
    R"("first-contentful-paint":{"displayValue":"1.0 s"},
    "speed-index":{"displayValue":"2.0 s"},
    "largest-contentful-paint":{"displayValue":"3.0 s"},
    "interactive":{"displayValue":"4.0 s"},
    "total-blocking-time":{"displayValue":"50 ms"},
    "cumulative-layout-shift":{"displayValue":"0.1"},
    "a-diag":{"title":"Diag","description":"Diag descr","displayValue":"3 found",
              "scoreDisplayMode":"informative","score":null},
    "a-opp":{"title":"Opp","displayValue":"Est savings 1 s","scoreDisplayMode":"metricSavings",
             "score":0},
    "a-ins":{"title":"Ins","scoreDisplayMode":"numeric","score":0.4},
    "a-metric":{"title":"Metric","displayValue":"1 s","scoreDisplayMode":"numeric","score":0},
    "a-upper":{"title":"Upper","displayValue":"x","scoreDisplayMode":"numeric","score":0},
    "a-notitle":{"displayValue":"x","scoreDisplayMode":"numeric","score":0},
    "a-nodv":{"title":"Passed","displayValue":"1 KiB","scoreDisplayMode":"binary","score":1},
    "a-emptydv":{"title":"EmptyDV","displayValue":"","scoreDisplayMode":"error"})";

std::string Audits(const std::string& summary) {
    return "{" + kAuditValues + R"(,"resource-summary":)" + summary + "}";
}

const std::string kSummary = R"({"details":{"items":[
    {"resourceType":"total","transferSize":3584},
    {"resourceType":"image","transferSize":1536},
    "junk",
    {"resourceType":"Document","transferSize":1},
    {"resourceType":"document","transferSize":256},
    {"resourceType":"script","transferSize":0},
    {"resourceType":"stylesheet","transferSize":1024}]}})";

TEST(InterpretTest, CompleteAnswerFillsValuesInCatalogueOrderAndKeepsMatchingAdvice) {
    TRun r = Interpret(Answer(kPerf, Audits(kSummary)), msMobile);
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(r.Status(msMobile), trOK);
    EXPECT_EQ(r.Status(msDesktop), trNotChecked);
    // No font item: no font value at all; "Document" matches nothing (keys are exact).
    EXPECT_THAT(r.Keys(), ElementsAre("performance", "first-contentful-paint", "speed-index",
                                      "largest-contentful-paint", "interactive",
                                      "total-blocking-time", "cumulative-layout-shift", "document",
                                      "stylesheet", "script", "image", "total"));
    EXPECT_THAT(r.Texts(msMobile),
                ElementsAre("90", "1.0 s", "2.0 s", "3.0 s", "4.0 s", "50 ms", "0.1", "   0.3 kb",
                            "   1.0 kb", "   0.0 kb", "   1.5 kb", "   3.5 kb"));
    for (const auto& v : r.Results().MetricaValues) EXPECT_EQ(v.ColNum, 0);
    EXPECT_THAT(r.Log, IsEmpty());

    // Grouped in the table's order; the advice takes the audit's own title, not the
    // reference's; a failing audit without a display value is advice with an empty text.
    const auto& advice = r.Results().AdviceList[msMobile];
    ASSERT_EQ(advice.size(), 4u);
    EXPECT_EQ(advice[0].Title, "Opp");
    EXPECT_EQ(advice[0].AuditId, "a-opp");
    EXPECT_EQ(advice[0].AdviceText, "Est savings 1 s");
    EXPECT_TRUE(advice[0].Descr.empty());
    EXPECT_EQ(advice[0].AdviceGroupNdx, 0);
    EXPECT_EQ(advice[0].Score, 0.0);
    EXPECT_EQ(advice[1].Title, "Diag");
    EXPECT_EQ(advice[1].AuditId, "a-diag");
    EXPECT_EQ(advice[1].Descr, "Diag descr");
    EXPECT_EQ(advice[1].AdviceText, "3 found");
    EXPECT_EQ(advice[1].AdviceGroupNdx, 1);
    EXPECT_EQ(advice[1].Score, std::nullopt);
    EXPECT_EQ(advice[2].Title, "EmptyDV");
    EXPECT_EQ(advice[2].AdviceText, "");
    EXPECT_EQ(advice[2].AdviceGroupNdx, 1);
    EXPECT_EQ(advice[3].Title, "Ins");
    EXPECT_EQ(advice[3].AdviceText, "");
    EXPECT_EQ(advice[3].AdviceGroupNdx, 2);
    EXPECT_EQ(advice[3].Score, 0.4);
    EXPECT_THAT(r.Results().AdviceList[msDesktop], IsEmpty());
}

TEST(InterpretTest, MissingValuesShowNAWithALogLineAndTheCheckStillSucceeds) {
    const std::string audits = R"({"first-contentful-paint":{},
        "speed-index":{"displayValue":null},
        "largest-contentful-paint":"not an object",
        "interactive":{"displayValue":{"x":1}},
        "total-blocking-time":{"displayValue":120},
        "resource-summary":{"details":{"items":[{"resourceType":"total"}]}}})";
    TRun r = Interpret(Answer(R"({"auditRefs":[]})", audits));
    ASSERT_TRUE(r.Ok);
    EXPECT_THAT(r.Texts(), ElementsAre("N/A", "N/A", "N/A", "N/A", "N/A", "120", "N/A", "N/A"));
    EXPECT_THAT(
        r.Log,
        ElementsAre("URL 7: ответ сервера не содержит значения метрики \"performance\"",
                    "URL 7: ответ сервера не содержит значения метрики \"first-contentful-paint\"",
                    "URL 7: ответ сервера не содержит значения метрики \"speed-index\"",
                    "URL 7: ответ сервера не содержит метрики \"largest-contentful-paint\"",
                    "URL 7: ответ сервера не содержит значения метрики \"interactive\"",
                    "URL 7: ответ сервера не содержит метрики \"cumulative-layout-shift\"",
                    "URL 7: ответ сервера не содержит значения метрики \"total\""));
}

TEST(InterpretTest, MissingRequiredObjectStopsWithUnknownResponseAndKeepsEarlierValues) {
    const std::string noSummary = "{" + kAuditValues + "}";
    struct Case {
        const char* name;
        std::string json;
        size_t valuesKept;
        std::string logLine;
    } cases[] = {
        {"no lighthouseResult", R"({"kind":"x"})", 0,
         "URL 7: ответ сервера не содержит метрик, нет объекта \"lighthouseResult\""},
        {"lighthouseResult not an object", R"({"lighthouseResult":[]})", 0,
         "URL 7: ответ сервера не содержит метрик, нет объекта \"lighthouseResult\""},
        {"no categories", R"({"lighthouseResult":{"audits":{}}})", 0,
         "URL 7: ответ сервера не содержит метрик, нет объекта "
         "\"lighthouseResult.categories\""},
        {"performance null", R"({"lighthouseResult":{"categories":{"performance":null}}})", 0,
         "URL 7: ответ сервера не содержит метрик, нет объекта "
         "\"lighthouseResult.categories.performance\""},
        {"no auditRefs", Answer(R"({"score":0.5})", Audits(kSummary)), 1,
         "URL 7: ответ сервера не содержит метрик, нет объекта "
         "\"lighthouseResult.categories.performance.auditRefs\""},
        {"auditRefs an object", Answer(R"({"score":0.5,"auditRefs":{}})", Audits(kSummary)), 1,
         "URL 7: ответ сервера не содержит метрик, нет объекта "
         "\"lighthouseResult.categories.performance.auditRefs\""},
        {"no audits", R"({"lighthouseResult":{"categories":{"performance":)" + kPerf + "}}}", 1,
         "URL 7: ответ сервера не содержит метрик, нет объекта \"audits\""},
        {"no resource-summary", Answer(kPerf, noSummary), 1,
         "URL 7: ответ сервера не содержит объекта \"resource-summary\""},
        {"no details", Answer(kPerf, Audits(R"({"id":"resource-summary"})")), 7,
         "URL 7: ответ сервера не содержит объекта \"resource-summary.details\""},
        {"details a string", Answer(kPerf, Audits(R"({"details":"x"})")), 7,
         "URL 7: ответ сервера не содержит объекта \"resource-summary.details\""},
        {"no items", Answer(kPerf, Audits(R"({"details":{"type":"table"}})")), 7,
         "URL 7: ответ сервера не содержит объекта \"resource-summary.details.items\""},
        {"items an object", Answer(kPerf, Audits(R"({"details":{"items":{}}})")), 7,
         "URL 7: ответ сервера не содержит объекта \"resource-summary.details.items\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TRun r = Interpret(c.json);
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Status(), trUnknownResponse);
        EXPECT_EQ(r.Results().MetricaValues.size(), c.valuesKept);
        if (c.valuesKept > 0) {
            // The score was appended before the failing step and stays.
            EXPECT_EQ(r.Texts()[0], c.json.find("0.5") != std::string::npos ? "50" : "90");
        }
        ASSERT_FALSE(r.Log.empty());
        EXPECT_EQ(r.Log.back(), c.logLine);
        EXPECT_THAT(r.Results().AdviceList[msDesktop], IsEmpty());
    }
}

TEST(InterpretTest, ServiceErrorsAreClassifiedFromTheErrorObjectAlone) {
    struct Case {
        const char* json;
        TTaskResult status;
        int32_t code;
        std::string logLine;
    } cases[] = {
        {R"({"error":{"code":400,"message":"Lighthouse returned error: NOT_HTML. x"}})", trNotHTML,
         400, "URL 7: ссылка возвращает не HTML, метрик нет"},
        {R"({"error":{"code":429,"message":"Quota exceeded for quota group 'd'"}})",
         trQuotaExceeded, 429, "URL 7: исчерпана квота API: Quota exceeded for quota group 'd'"},
        {R"({"error":{"code":429,"status":"RESOURCE_EXHAUSTED"}})", trQuotaExceeded, 429,
         "URL 7: исчерпана квота API: RESOURCE_EXHAUSTED"},
        {R"({"error":{"code":500,"message":"boom"},"lighthouseResult":{}})", trServiceError, 500,
         "URL 7: сервер вернул необрабатываемую ошибку: boom"},
        // NOT_HTML is matched case-sensitively.
        {R"({"error":{"message":"lighthouse returned error: not_html"}})", trServiceError, 0,
         "URL 7: сервер вернул необрабатываемую ошибку: lighthouse returned error: not_html"},
        {R"({"error":{"code":"503","message":"m"}})", trServiceError, 503,
         "URL 7: сервер вернул необрабатываемую ошибку: m"},
        {R"({"error":{"code":500.5,"message":"m"}})", trServiceError, 999,
         "URL 7: сервер вернул необрабатываемую ошибку: m"},
        {R"({"error":{"code":9999999999,"message":"m"}})", trServiceError, 999,
         "URL 7: сервер вернул необрабатываемую ошибку: m"},
        {R"({"error":{"code":null,"message":"m"}})", trServiceError, 999,
         "URL 7: сервер вернул необрабатываемую ошибку: m"},
        {R"({"error":{"code":500,"message":{"text":"m"}}})", trUnknownResponse, 500,
         "URL 7: ОШИБКА извлечения текста ошибки"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        TRun r = Interpret(c.json);
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Status(), c.status);
        EXPECT_EQ(r.Results().ErrorCode[msDesktop], c.code);
        EXPECT_THAT(r.Log, ElementsAre(c.logLine));
        EXPECT_THAT(r.Results().MetricaValues, IsEmpty());
    }
    // An "error" that is no object is no service error: the answer is read as usual.
    TRun r = Interpret(R"({"error":"x"})");
    EXPECT_EQ(r.Status(), trUnknownResponse);
    EXPECT_THAT(r.Log.back(), HasSubstr("\"lighthouseResult\""));
}

TEST(InterpretTest, ServiceErrorFixtures) {
    struct Case {
        const char* file;
        TTaskResult status;
        int32_t code;
        std::string errorText;
    } cases[] = {
        {"synthetic_error_not_html.json", trNotHTML, 400, "NOT HTML"},
        {"synthetic_error_quota_legacy.json", trQuotaExceeded, 429, "API QUOTA"},
        {"synthetic_error_quota_current.json", trQuotaExceeded, 429, "API QUOTA"},
        {"synthetic_error_failed_document_request.json", trServiceError, 500, "500"},
        {"synthetic_error_code_word.json", trServiceError, 999, "999"},
        {"synthetic_error_no_message.json", trUnknownResponse, 500, "UNKNOWN RESPONSE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TRun r = Interpret(ReadFile(std::string(VELMORA_PSI_ANSWERS "/errors/") + c.file));
        EXPECT_EQ(r.Status(), c.status);
        EXPECT_EQ(r.Results().ErrorCode[msDesktop], c.code);
        EXPECT_EQ(r.Results().ErrorText(msDesktop), c.errorText);
        EXPECT_EQ(r.Log.size(), 1u);
    }
}

TEST(InterpretTest, RealAnswers) {
    const std::string s = kNbsp;
    struct Case {
        const char* file;
        TMetricaStrategy strategy;
        TTaskResult status;
        std::vector<std::string> texts;  // score, six audit values, then the kb texts
    } cases[] = {
        {"psi_fast_desktop.json",
         msDesktop,
         trOK,
         {"100", "0.2" + s + "s", "0.2" + s + "s", "0.2" + s + "s", "0.2" + s + "s", "0" + s + "ms",
          "0", "   0.6 kb", "   0.0 kb", "   0.0 kb", "   0.0 kb", "   0.0 kb", "   0.6 kb"}},
        {"psi_fast_mobile.json",
         msMobile,
         trOK,
         {"100", "0.6" + s + "s", "0.6" + s + "s", "0.6" + s + "s", "0.7" + s + "s", "0" + s + "ms",
          "0", "   0.6 kb", "   0.0 kb", "   0.0 kb", "   0.0 kb", "   0.0 kb", "   0.6 kb"}},
        {"psi_heavy_desktop.json",
         msDesktop,
         trOK,
         {"79", "1.1" + s + "s", "1.1" + s + "s", "3.4" + s + "s", "3.4" + s + "s", "0" + s + "ms",
          "0.014", "   2.5 kb", " 421.0 kb", " 292.0 kb", "2509.7 kb", " 371.9 kb", "3597.1 kb"}},
        {"psi_heavy_mobile.json",
         msMobile,
         trOK,
         {"59", "6.2" + s + "s", "6.2" + s + "s", "20.8" + s + "s", "20.8" + s + "s",
          "20" + s + "ms", "0.048", "   2.5 kb", " 421.0 kb", " 292.0 kb", "2509.7 kb", " 371.9 kb",
          "3597.1 kb"}},
        // Lighthouse runtime error: the page error says it, and no metric is read.
        {"psi_pdf_desktop.json", msDesktop, trPageError, {}},
        {"psi_text_mobile.json", msMobile, trPageError, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TRun r = Interpret(ReadFile(std::string(VELMORA_PSI_ANSWERS "/") + c.file), c.strategy);
        EXPECT_EQ(r.Status(c.strategy), c.status);
        EXPECT_THAT(r.Texts(c.strategy), ElementsAreArray(c.texts));
        if (c.status != trOK) {
            ASSERT_FALSE(r.Log.empty());
            EXPECT_EQ(r.Log.back().rfind("URL 7: сервис не смог загрузить страницу: ", 0), 0u)
                << r.Log.back();
        }
    }
}

TEST(InterpretTest, ScoreRoundsHalfUpOnTheDecimalValue) {
    struct Case {
        const char* score;
        const char* text;
    } cases[] = {
        {"0.53", "53"},        {"0.59", "59"},  {"0.29", "29"},   {"0", "0"},
        {"1", "100"},          {"0.9", "90"},   {"0.795", "80"},  {"0.285", "29"},
        {"0.004", "0"},        {"0.005", "1"},  {"1.0", "100"},   {"5e-1", "50"},
        {"0.99999999", "100"}, {"1.01", "ERR"}, {"-0.01", "ERR"}, {"null", "N/A"},
        {"\"0.9\"", "N/A"},    {"true", "N/A"}, {"{}", "N/A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.score);
        TRun r = Interpret(R"({"lighthouseResult":{"categories":{"performance":{"score":)" +
                           std::string(c.score) + "}}}}");
        ASSERT_FALSE(r.Texts().empty());
        EXPECT_EQ(r.Texts()[0], c.text);
    }
}

TEST(InterpretTest, TransferSizeTexts) {
    struct Case {
        const char* size;
        char sep;
        const char* text;
    } cases[] = {
        {"0", '.', "   0.0 kb"},
        {"256", '.', "   0.3 kb"},
        {"1536", ',', "   1,5 kb"},
        {"51", '.', "   0.0 kb"},
        {"52", '.', "   0.1 kb"},
        {"1536", '.', "   1.5 kb"},
        {"123456789", '.', "120563.3 kb"},
        {"2147483647", '.', "2097152.0 kb"},
        {"1024.0", '.', "   1.0 kb"},
        {"2147483648", '.', "ERR"},
        {"1.5", '.', "ERR"},
        {"-1", '.', "ERR"},
        {"18446744073709551615", '.', "ERR"},
        {"\"1024\"", '.', "ERR"},
        {"null", '.', "ERR"},
        {"[]", '.', "ERR"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string audits = R"({"resource-summary":{"details":{"items":[
            {"resourceType":"document","transferSize":)" +
                                   std::string(c.size) + "}]}}}";
        TRun r = Interpret(Answer(R"({"score":1,"auditRefs":[]})", audits), msDesktop, c.sep);
        EXPECT_EQ(r.Status(), trOK);
        ASSERT_EQ(r.Texts().size(), 8u);
        EXPECT_EQ(r.Texts()[7], c.text);
        // An unusable size is shown as ERR without a log line; only the six absent audits log.
        EXPECT_EQ(r.Log.size(), 6u);
    }
}

TEST(InterpretTest, BodiesThatAreNoJsonObjectGiveParseError) {
    const char* cases[] = {"",         "[]",     "[{\"lighthouseResult\":{}}]",
                           "\"text\"", "42",     "null",
                           "{\"a\":",  "<html>", "{\"a\":\"\xFF\xFE\"}"};
    for (const char* body : cases) {
        SCOPED_TRACE(body);
        TRun r = Interpret(body);
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Status(), trParseError);
        ASSERT_EQ(r.Log.size(), 1u);
        EXPECT_THAT(r.Log[0], HasSubstr("URL 7: ОШИБКА парсинга ответа: "));
        EXPECT_GT(r.Log[0].size(), std::string("URL 7: ОШИБКА парсинга ответа: ").size());
    }
}

TEST(InterpretTest, OneParserServesManyAnswersOfDifferentSizes) {
    simdjson::dom::parser parser;
    const std::string big = ReadFile(VELMORA_PSI_ANSWERS "/psi_heavy_desktop.json");
    const std::string small = Answer(kPerf, Audits(kSummary));
    for (int i = 0; i < 3; ++i) {
        for (const std::string* body : {&big, &small}) {
            TURLTaskInfo task("u", 1);
            task.InitMetricResults();
            EXPECT_TRUE(InterpretBody(parser, *body, msDesktop, task, '.', nullptr));
        }
    }
}

}  // namespace
}  // namespace velmora
