#include "sim/answers.h"

#include <gtest/gtest.h>
#include <simdjson.h>

#include <string>

namespace velmora::sim {
namespace {

TEST(JsonEscape, EscapesLikeTheServiceAndKeepsOutputValidUtf8) {
    struct Case {
        const char* name;
        std::string in, out;
    };
    const Case cases[] = {
        {"plain", "http://a.b/c", "http://a.b/c"},
        {"quote and backslash", "a\"b\\c", "a\\\"b\\\\c"},
        {"html and query characters", "<>&='", "\\u003c\\u003e\\u0026\\u003d\\u0027"},
        {"control characters", std::string("\n\t\x01\x1f", 4), "\\n\\t\\u0001\\u001f"},
        {"utf-8 kept", "\xD0\xBF\xC3\xA9\xF0\x9F\x98\x80", "\xD0\xBF\xC3\xA9\xF0\x9F\x98\x80"},
        {"stray continuation byte", "a\x80z", "a\\ufffdz"},
        {"truncated sequence at end", "a\xE2\x82", "a\\ufffd\\ufffd"},
        {"overlong encoding", "\xC0\xAF", "\\ufffd\\ufffd"},
        {"surrogate", "\xED\xA0\x80", "\\ufffd\\ufffd\\ufffd"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "\\ufffd\\ufffd\\ufffd\\ufffd"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JsonEscape(c.in), c.out) << c.name;
        simdjson::dom::parser parser;
        EXPECT_EQ(parser.parse("\"" + JsonEscape(c.in) + "\"").error(), simdjson::SUCCESS)
            << c.name;
    }
}

TEST(AnswerTemplate, FillsOnlyTheUrlMembersItKnows) {
    // A nested "id" before the top-level one and a URL-looking value elsewhere stay untouched.
    const std::string json = R"({"nested": {"id": "keep"}, "id" : "old",
        "loadingExperience": {"id": "old", "initial_url": "old"},
        "lighthouseResult": {"requestedUrl": "old", "finalUrl": "old", "other": "old",
                             "mainDocumentUrl": "old", "finalDisplayedUrl": "old"}})";
    AnswerTemplate t;
    std::string error;
    ASSERT_TRUE(t.Load(json, &error)) << error;
    EXPECT_EQ(t.Slots(), 7u);
    EXPECT_EQ(t.Render("N"), R"({"nested": {"id": "keep"}, "id" : "N",
        "loadingExperience": {"id": "N", "initial_url": "N"},
        "lighthouseResult": {"requestedUrl": "N", "finalUrl": "N", "other": "old",
                             "mainDocumentUrl": "N", "finalDisplayedUrl": "N"}})");
}

TEST(AnswerTemplate, RejectsTextWithoutTopLevelId) {
    for (const char* json : {R"({"a": {"id": "x"}})", "[]", "", R"({"id": 5})", R"({"id": "x)"}) {
        AnswerTemplate t;
        std::string error;
        EXPECT_FALSE(t.Load(json, &error)) << json;
        EXPECT_FALSE(error.empty());
    }
}

TEST(FixtureEdits, RemoveAuditsWhereverItSits) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {R"({"lighthouseResult": {"audits": {"a": {"b": "}"}}, "x": 1}})",
         R"({"lighthouseResult": {"x": 1}})"},
        {R"({"lighthouseResult": {"x": 1, "audits": {"a": [1, {"c": "\"{"}]}}})",
         R"({"lighthouseResult": {"x": 1}})"},
        {R"({"lighthouseResult": {"audits": {}}})", R"({"lighthouseResult": {}})"},
    };
    for (const Case& c : cases) {
        std::string s = c.in;
        EXPECT_TRUE(RemoveAudits(s));
        EXPECT_EQ(s, c.out);
    }
    std::string onlyNested = R"({"x": {"audits": {}}, "lighthouseResult": {"y": 2}})";
    EXPECT_FALSE(RemoveAudits(onlyNested));
}

TEST(FixtureEdits, NullPerformanceScoreTouchesOnlyThatScore) {
    std::string s =
        R"({"lighthouseResult": {"audits": {"x": {"score": 1}}, "categories": {"performance": )"
        R"({"auditRefs": [{"score": 2}], "score": 0.79}}}})";
    ASSERT_TRUE(NullPerformanceScore(s));
    EXPECT_EQ(
        s, R"({"lighthouseResult": {"audits": {"x": {"score": 1}}, "categories": {"performance": )"
           R"({"auditRefs": [{"score": 2}], "score": null}}}})");
    std::string none = R"({"lighthouseResult": {"categories": {}}})";
    EXPECT_FALSE(NullPerformanceScore(none));
}

}  // namespace
}  // namespace velmora::sim
