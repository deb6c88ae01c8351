// Accessibility, best practices and SEO read from the same answer as performance.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "engine/grid_text.h"
#include "engine/interpret.h"
#include "engine/interpret_test_support.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;

using TIds = std::vector<std::string>;

TRun InterpretAsking(std::string_view body, TCategorySet categories,
                     TMetricaStrategy s = msDesktop) {
    static thread_local simdjson::dom::parser parser;
    TRun r;
    r.Task.InitMetricResults();
    r.Task.TaskResults->Categories = categories;
    r.Ok = InterpretBody(parser, body, s, r.Task, '.',
                         [&](const std::string& line) { r.Log.push_back(line); });
    // The grid reads the values by column, as the controller numbers them on merge.
    for (TMetricaValue& v : r.Task.TaskResults->MetricaValues) v.ColNum = ColNumByKey(v.Key);
    return r;
}

TIds AdviceIds(const TRun& r, TMetricaStrategy s, TCategory c, bool manual) {
    TIds ids;
    for (const TGAdvice& a : r.Results().AdviceList[s])
        if (a.Category == c && a.Manual == manual) ids.push_back(a.AuditId.str());
    return ids;
}

std::string File(const std::string& name) {
    return ReadFile(std::string(VELMORA_PSI_ANSWERS) + "/psi13cat/" + name);
}

const TIds kPoorA11y{"button-name",   "color-contrast",    "html-has-lang",
                     "image-alt",     "input-button-name", "label",
                     "meta-viewport", "target-size",       "landmark-one-main"};
const TIds kPoorBest{"paste-preventing-inputs", "image-aspect-ratio", "deprecations",
                     "errors-in-console"};
const TIds kPoorSeo{"meta-description", "link-text", "crawlable-anchors", "image-alt"};
const TIds kNoindexSeo{"is-crawlable", "canonical"};

TEST(InterpretCategoriesTest, RecordedAnswersGiveTheScoresAndFailingAuditsOfTheirReport) {
    struct Case {
        const char* file;
        TMetricaStrategy s;
        std::array<const char*, 4> scores;  // the grid's texts, category by category
        TIds a11y, best, seo;
    };
    const Case cases[] = {
        {"psi13cat_good_desktop.json", msDesktop, {"100", "100", "100", "100"}, {}, {}, {}},
        {"psi13cat_good_mobile.json", msMobile, {"100", "100", "100", "100"}, {}, {}, {}},
        {"psi13cat_poor_desktop.json",
         msDesktop,
         {"51", "24", "62", "67"},
         kPoorA11y,
         kPoorBest,
         kPoorSeo},
        {"psi13cat_poor_mobile.json",
         msMobile,
         {"22", "24", "62", "67"},
         kPoorA11y,
         kPoorBest,
         kPoorSeo},
        {"psi13cat_noindex_desktop.json",
         msDesktop,
         {"100", "100", "100", "61"},
         {},
         {},
         kNoindexSeo},
        {"psi13cat_noindex_mobile.json", msMobile, {"99", "100", "100", "61"}, {}, {}, kNoindexSeo},
        // A page the service could not load is a page error: no score at all.
        {"psi13cat_error404_mobile.json", msMobile, {"", "", "", ""}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TRun r = InterpretAsking(File(c.file), kAllCategories, c.s);
        for (size_t k = 0; k < 4; ++k)
            EXPECT_EQ(CellText(&r.Task, c.s, CategoryColumn(static_cast<TCategory>(k))),
                      c.scores[k])
                << CategoryTable[k].Key;
        EXPECT_THAT(AdviceIds(r, c.s, ctAccessibility, false), UnorderedElementsAreArray(c.a11y));
        EXPECT_THAT(AdviceIds(r, c.s, ctBestPractices, false), UnorderedElementsAreArray(c.best));
        EXPECT_THAT(AdviceIds(r, c.s, ctSeo, false), UnorderedElementsAreArray(c.seo));
        // The checks left to a person are listed apart and never among the failures.
        if (std::string_view(c.file).find("error404") == std::string_view::npos) {
            EXPECT_EQ(AdviceIds(r, c.s, ctAccessibility, true).size(), 10u);
            EXPECT_THAT(AdviceIds(r, c.s, ctSeo, true), ElementsAre("structured-data"));
        }
    }
}

TEST(InterpretCategoriesTest, TheErrorEnvelopeOfA404IsTheServicesErrorWithNoScores) {
    TRun r = InterpretAsking(File("psi13cat_error404_mobile_error-envelope.json"), kAllCategories,
                             msMobile);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Status(msMobile), trServiceError);
    EXPECT_EQ(r.Results().ErrorCode[msMobile], 500);
    for (int col : {int{gcScore}, int{gcAccessibility}, int{gcBestPractices}, int{gcSeo}})
        EXPECT_EQ(CellText(&r.Task, msMobile, col), "") << col;
}

TEST(InterpretCategoriesTest, FailingAuditsFollowTheCategoryGroupsWithTheirTitles) {
    TRun r = InterpretAsking(File("psi13cat_poor_desktop.json"), kAllCategories);
    std::vector<std::string> groups, titles;
    int32_t lastNdx = -1;
    for (const TGAdvice& a : r.Results().AdviceList[msDesktop]) {
        if (a.Category != ctAccessibility || a.Manual) continue;
        EXPECT_GE(a.AdviceGroupNdx, lastNdx) << a.AuditId.str();
        lastNdx = a.AdviceGroupNdx;
        if (groups.empty() || groups.back() != a.Group.str()) {
            groups.push_back(a.Group.str());
            titles.push_back(a.GroupTitle.str());
        }
    }
    // The category's auditRefs name its groups in this order.
    EXPECT_THAT(groups, ElementsAre("a11y-names-labels", "a11y-color-contrast", "a11y-language",
                                    "a11y-best-practices"));
    EXPECT_EQ(titles[0], "Names and labels");
    for (const TGAdvice& a : r.Results().AdviceList[msDesktop])
        if (a.Manual) {
            EXPECT_TRUE(a.Group.empty()) << a.AuditId.str();
        }
}

TEST(InterpretCategoriesTest, PerformanceOnlyReadsNothingOfTheOtherCategories) {
    TRun all = InterpretAsking(File("psi13cat_poor_desktop.json"), kAllCategories);
    TRun perf = InterpretAsking(File("psi13cat_poor_desktop.json"), kPerformanceOnly);
    ASSERT_TRUE(perf.Ok);
    for (const TMetricaValue& v : perf.Results().MetricaValues)
        EXPECT_LT(ColNumByKey(v.Key), gcCount) << v.Key;
    for (const TGAdvice& a : perf.Results().AdviceList[msDesktop])
        EXPECT_EQ(a.Category, ctPerformance) << a.AuditId.str();
    // Asking for more changes nothing of performance's values or advice.
    EXPECT_EQ(AdviceIds(all, msDesktop, ctPerformance, false),
              AdviceIds(perf, msDesktop, ctPerformance, false));
    EXPECT_EQ(all.Texts().size(), perf.Texts().size() + 3);
}

// A small answer with the four categories; each case spoils one.
std::string SmallAnswer(const std::string& accessibility) {
    return R"({"lighthouseResult":{"categories":{
        "performance":{"score":0.5,"auditRefs":[]},
        "best-practices":{"score":0.75,"auditRefs":[{"id":"x-bp","weight":1,"group":"g-bp"}]},
        "seo":{"score":1,"auditRefs":[{"id":"x-seo","weight":0,"group":"hidden"}]})" +
           accessibility + R"(},
        "categoryGroups":{"g-bp":{"title":"General"}},
        "audits":{"resource-summary":{"details":{"items":[]}},
            "x-bp":{"title":"BP","score":0,"scoreDisplayMode":"binary"},
            "x-seo":{"title":"Hidden","score":0,"scoreDisplayMode":"binary"}}}})";
}

TEST(InterpretCategoriesTest, ABrokenCategoryShowsNotAvailableAndTheOthersAreStillRead) {
    struct Case {
        const char* name;
        std::string accessibility;  // appended to "categories"
        const char* shown;
        const char* logged;
    };
    const Case cases[] = {
        {"missing", "", "N/A", "не содержит метрики \"accessibility\""},
        {"a string", R"(,"accessibility":"0.5")", "N/A", "не содержит метрики \"accessibility\""},
        {"score null", R"(,"accessibility":{"score":null})", "N/A",
         "не содержит значения метрики \"accessibility\""},
        {"score above 1", R"(,"accessibility":{"score":1.5})", "ERR", ""},
        {"score below 0", R"(,"accessibility":{"score":-0.1})", "ERR", ""},
        {"auditRefs a number", R"(,"accessibility":{"score":0.3,"auditRefs":7})", "30", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TRun r = InterpretAsking(SmallAnswer(c.accessibility), kAllCategories);
        ASSERT_TRUE(r.Ok);
        EXPECT_EQ(CellText(&r.Task, msDesktop, gcAccessibility), c.shown);
        EXPECT_EQ(CellText(&r.Task, msDesktop, gcScore), "50");
        EXPECT_EQ(CellText(&r.Task, msDesktop, gcBestPractices), "75");
        EXPECT_EQ(CellText(&r.Task, msDesktop, gcSeo), "100");
        EXPECT_THAT(AdviceIds(r, msDesktop, ctBestPractices, false), ElementsAre("x-bp"));
        // A weight-0 ref of the hidden group is not shown.
        EXPECT_THAT(AdviceIds(r, msDesktop, ctSeo, false), IsEmpty());
        if (*c.logged) {
            EXPECT_THAT(r.Log, testing::Contains(HasSubstr(c.logged)));
        }
    }
}

}  // namespace
}  // namespace velmora
