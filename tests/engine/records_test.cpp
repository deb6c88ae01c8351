// Catalogue, task records and the master list.
#include <gtest/gtest.h>

#include "engine/grid_text.h"
#include "engine/metrica.h"
#include "engine/tasks.h"

namespace velmora {
namespace {

TEST(Catalogue, ColNumByKeyIsExactAndFollowsRowOrder) {
    struct Case {
        const char* key;
        int32_t col;
    } cases[] = {
        {"performance", 3},
        {"first-contentful-paint", 5},
        {"cumulative-layout-shift", 10},
        {"document", 11},
        {"total", 16},
        {"Document", -1},
        {"Performance", -1},
        {"", -1},
        {"third-party", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(ColNumByKey(c.key), c.col) << c.key;
}

TEST(Catalogue, GridCaptionsUseShortNameOrCaption) {
    const char* expected[gcCount] = {"№", "URL", "Ошибка", "Score", "Инфо", "FCP", "SI", "LCP",
                                     "TTI", "TBT", "CLS", "HTML", "CSS", "JS", "Images", "Fonts",
                                     "TOTAL",
                                     // Real users' data follows the seventeen.
                                     "CWV", "LCP p75", "INP p75", "CLS p75", "Полевые данные"};
    for (int i = 0; i < gcCount; ++i) EXPECT_EQ(GridColumnCaption(i), expected[i]) << i;
    EXPECT_EQ(AdviceGroupTable.size(), 3u);
    EXPECT_EQ(AdviceGroupTable[2].Key, "insights");
}

TEST(Results, ErrorTextByStatus) {
    struct Case {
        TTaskResult status;
        int32_t code;
        const char* text;
    } cases[] = {
        {trSendError, 0, "SEND ERROR"},
        {trParseError, 0, "PARSE ERROR"},
        {trUnknownResponse, 0, "UNKNOWN RESPONSE"},
        {trNotHTML, 400, "NOT HTML"},
        {trQuotaExceeded, 429, "API QUOTA"},
        {trServiceError, 500, "500"},
        {trServiceError, 0, ""},
        {trServiceError, 999, "999"},
        {trOK, 0, ""},
        {trNotChecked, 0, ""},
        {trAborted, 7, "7"},
    };
    for (const auto& c : cases) {
        TURLTaskResults r;
        r.TaskResult[msMobile] = c.status;
        r.ErrorCode[msMobile] = c.code;
        EXPECT_EQ(r.ErrorText(msMobile), c.text) << int(c.status) << "/" << c.code;
        EXPECT_EQ(r.ErrorText(msDesktop), "");
    }
}

TEST(Results, ValueLookupsTakeTheFirstMatchOfTheStrategy) {
    TURLTaskResults r;
    r.MetricaValues.push_back({MetricaTable[0].Key, msDesktop, "90", 0});
    r.MetricaValues.push_back({MetricaTable[0].Key, msMobile, "45", 0});
    r.MetricaValues.push_back({MetricaTable[0].Key, msMobile, "46", 0});
    // Not yet merged: every ColNum is 0, so no column above 0 shows anything.
    EXPECT_EQ(r.ValueTextByColNum(3, msMobile), "");
    for (auto& v : r.MetricaValues) v.ColNum = ColNumByKey(v.Key);
    EXPECT_EQ(r.ValueTextByColNum(3, msMobile), "45");
    EXPECT_EQ(r.ValueTextByColNum(3, msDesktop), "90");
    EXPECT_EQ(r.ValueTextByColNum(5, msDesktop), "");
    ASSERT_NE(r.MetricaValues.GetValueByKey("performance", msMobile), nullptr);
    EXPECT_EQ(r.MetricaValues.GetValueByKey("performance", msMobile)->DisplayText, "45");
    EXPECT_EQ(r.MetricaValues.GetValueByKey("Performance", msMobile), nullptr);
}

TEST(Tasks, CopyCarriesUrlAndNumOnly) {
    TURLTaskInfo task("https://a.example/", 7);
    task.InitMetricResults();
    task.TaskResults->TaskResult[msDesktop] = trOK;
    TURLTaskInfo copy(task);
    EXPECT_EQ(copy.URL, task.URL);
    EXPECT_EQ(copy.Num, 7);
    EXPECT_EQ(copy.TaskResults, nullptr);
    ASSERT_NE(task.TaskResults, nullptr);
    task.ClearMetricResults();
    EXPECT_EQ(task.TaskResults, nullptr);
}

TEST(TaskList, UrlExistsIgnoresAsciiCaseOnly) {
    TURLTaskInfoList list;
    list.Add("https://Example.com/Path");
    list.Add("https://пример.рф/Страница");
    list.Add("");
    struct Case {
        const char* url;
        bool exists;
    } cases[] = {
        {"HTTPS://EXAMPLE.COM/PATH", true},
        {"https://example.com/path", true},
        {"https://example.com/path/", false},
        {" https://example.com/path", false},
        {"https://пример.рф/Страница", true},
        {"https://пример.рф/страница", false},  // non-ASCII letters are not folded
        {"", true},
    };
    for (const auto& c : cases) EXPECT_EQ(list.URLExists(c.url), c.exists) << c.url;
}

TEST(TaskList, DeleteRenumbersAndKeepsTheIndexInStep) {
    TURLTaskInfoList list;
    for (const char* u : {"a", "b", "c", "d", "B"}) list.Add(u);
    EXPECT_EQ(list.DeleteByNums({2, 4, 42}), 2u);
    ASSERT_EQ(list.Count(), 3u);
    const char* urls[] = {"a", "c", "B"};
    for (size_t i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(list[i].URL, urls[i]);
        EXPECT_EQ(list[i].Num, static_cast<int32_t>(i) + 1);
    }
    // "b" and "B" shared one index key; removing one keeps the other findable.
    EXPECT_TRUE(list.URLExists("b"));
    EXPECT_FALSE(list.URLExists("d"));
    EXPECT_EQ(list.FindByNum(3)->URL, "B");
    EXPECT_EQ(list.FindByNum(4), nullptr);
    list.Clear();
    EXPECT_FALSE(list.URLExists("a"));
    EXPECT_EQ(list.Add("x").Num, 1);
}

TEST(GridText, CellsOfATaskWithAndWithoutResults) {
    TURLTaskInfo task("https://a.example/?q=1", 3);
    EXPECT_EQ(CellText(&task, msDesktop, 0), "3");
    EXPECT_EQ(CellText(&task, msDesktop, 1), "https://a.example/?q=1");
    for (int col = 2; col < gcCount; ++col) EXPECT_EQ(CellText(&task, msDesktop, col), "");
    task.InitMetricResults();
    task.TaskResults->TaskResult = {trOK, trSendError};
    task.TaskResults->MetricaValues.push_back({MetricaTable[0].Key, msDesktop, "88", 3});
    task.TaskResults->MetricaValues.push_back({MetricaTable[7].Key, msDesktop, "   1.5 kb", 11});
    EXPECT_EQ(CellText(&task, msDesktop, 3), "88");
    EXPECT_EQ(CellText(&task, msDesktop, 11), "   1.5 kb");
    EXPECT_EQ(CellText(&task, msDesktop, 4), "");
    EXPECT_EQ(CellText(&task, msMobile, 2), "SEND ERROR");
    EXPECT_EQ(CellText(nullptr, msMobile, 0), "");
}

}  // namespace
}  // namespace velmora
