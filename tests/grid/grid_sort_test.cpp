// The grids' row order, without a toolkit.
#include "engine/grid_sort.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(GridNumber, ReadsServiceTextsAsValues) {
    struct Case {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"1.2 s", 1200},
        {"850 ms", 850},
        {"850\xC2\xA0ms", 850},
        {"1.2\xC2\xA0s", 1200},
        {"11,890 ms", 11890},
        {"1,234,567 ms", 1234567},
        {"  12,5 kb", 12.5},
        {"  12.5 kb", 12.5},
        {"0.05", 0.05},
        {"100", 100},
        {"0,05", 0.05},
        {"", std::nullopt},
        {"N/A", std::nullopt},
        {"ERR", std::nullopt},
        {"12 parsecs", std::nullopt},
        {"1.2.3", std::nullopt},
        {",5", std::nullopt},
        {"ms", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto v = ParseGridNumber(c.text);
        ASSERT_EQ(v.has_value(), c.value.has_value());
        if (v) {
            EXPECT_DOUBLE_EQ(*v, *c.value);
        }
    }
}

TEST(GridText, AsciiCaseOnlyAndUtf16Order) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"abc", "ABC", 0},
        {"", "a", -1},
        {"ab", "a", 1},
        {"a", "b", -1},
        // Lower-casing, not upper-casing: "A" is 'a' (0x61), after '[' (0x5B).
        {"[", "A", -1},
        // Only ASCII letters fold.
        {"\xD0\x96", "\xD0\xB6", -1},
        // U+1F600 is a surrogate pair (0xD83D...) and so sorts before U+FF5E.
        {"\xF0\x9F\x98\x80", "\xEF\xBD\x9E", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        const int r = CompareGridText(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign);
        const int back = CompareGridText(c.b, c.a);
        EXPECT_EQ((back > 0) - (back < 0), -c.sign);
    }
}

TEST(GridText, NumbersInUrlsSortByValue) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"https://x/item/2", "https://x/item/10", -1},
        {"https://x/item/10", "https://x/item/9", 1},
        {"https://x/Item/2", "https://x/item/10", -1},  // ASCII case still ignored
        {"https://x/p1/a", "https://x/p1/b", -1},
        {"https://x/p10/a", "https://x/p9/b", 1},
        {"https://x/item/007", "https://x/item/7", 1},  // equal values: fewer zeros first
        {"https://x/item/7", "https://x/item/7", 0},
        {"https://x/item/2", "https://x/item/", 1},
        {"https://x/item/2", "https://x/items", -1},
        {"https://x/\xD0\x96/2", "https://x/\xD0\xB6/10", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        const int r = CompareNaturalText(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign);
        const int back = CompareNaturalText(c.b, c.a);
        EXPECT_EQ((back > 0) - (back < 0), -c.sign);
    }
}

class GridSortTest : public ::testing::Test {
  protected:
    // One task per text, the text as its desktop value of column col.
    void Fill(std::initializer_list<const char*> texts, int col) {
        for (const char* t : texts) {
            TURLTaskInfo& task = List.Add("http://x/" + std::to_string(List.Count() + 1));
            if (!*t && col != 3) continue;  // no results at all
            task.InitMetricResults();
            task.TaskResults->TaskResult[msDesktop] = trOK;
            if (*t) task.TaskResults->MetricaValues.push_back({"k", msDesktop, t, col});
        }
        for (size_t i = 0; i < List.Count(); ++i) Rows.push_back(&List[i]);
    }
    std::vector<int32_t> Nums() const {
        std::vector<int32_t> n;
        for (auto* t : Rows) n.push_back(t->Num);
        return n;
    }
    TURLTaskInfoList List;
    std::vector<TURLTaskInfo*> Rows;
};

TEST_F(GridSortTest, ScoreByValueTextsFirstEmptyLastStableBothWays) {
    //     1    2      3     4    5      6
    Fill({"9", "100", "45", "", "N/A", "45"}, 3);
    SortGridRows(Rows, msDesktop, 3, true);
    EXPECT_EQ(Nums(), (std::vector<int32_t>{5, 1, 3, 6, 2, 4}));
    SortGridRows(Rows, msDesktop, 3, false);
    EXPECT_EQ(Nums(), (std::vector<int32_t>{2, 3, 6, 1, 5, 4}));
    SortGridRows(Rows, msDesktop, 0, true);
    EXPECT_EQ(Nums(), (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));
}

TEST_F(GridSortTest, MetricUnitsShareOneScale) {
    Fill({"1.2\xC2\xA0s", "850\xC2\xA0ms", "11,890\xC2\xA0ms", "", "ERR", "0.9 s"}, 7);
    SortGridRows(Rows, msDesktop, 7, true);
    EXPECT_EQ(Nums(), (std::vector<int32_t>{5, 2, 6, 1, 3, 4}));
    // Another strategy has no values: every row ties and nothing moves.
    SortGridRows(Rows, msMobile, 7, false);
    EXPECT_EQ(Nums(), (std::vector<int32_t>{5, 2, 6, 1, 3, 4}));
}

TEST_F(GridSortTest, UrlIgnoresAsciiCaseAndInfoNeverSorts) {
    List.Add("http://b");
    List.Add("HTTP://A");
    List.Add("http://a");
    for (size_t i = 0; i < List.Count(); ++i) Rows.push_back(&List[i]);
    SortGridRows(Rows, msDesktop, 4, false);
    EXPECT_EQ(Nums(), (std::vector<int32_t>{1, 2, 3}));
    SortGridRows(Rows, msDesktop, 1, true);
    EXPECT_EQ(Nums(), (std::vector<int32_t>{2, 3, 1}));
    SortGridRows(Rows, msDesktop, 1, false);
    EXPECT_EQ(Nums(), (std::vector<int32_t>{1, 2, 3}));
}

}  // namespace
}  // namespace velmora
