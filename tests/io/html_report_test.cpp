// What a reader of the HTML report gets: texts of pages and of the service as text, never as
// markup; no way to load anything; the pages that got worse first; only real images.
#include "io/html_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "engine/interpret.h"
#include "engine/screenshot.h"
#include "io/io_test_util.h"

namespace velmora {
namespace {

using io::test::ReadBytes;
using io::test::TTempDir;

// A page checked in both strategies with this score, one advice item and an error text.
std::unique_ptr<TURLTaskInfo> Page(const std::string& url, int32_t num, double score,
                                   const std::string& title = "Reduce unused JavaScript") {
    auto row = std::make_unique<TURLTaskInfo>(url, num);
    row->InitMetricResults();
    TURLTaskResults& r = *row->TaskResults;
    for (TMetricaStrategy s : kStrategies) {
        r.TaskResult[s] = trOK;
        r.MetricaValues.push_back({"performance", s, std::to_string(int(score)), gcScore, score});
        TGAdvice advice;
        advice.Title = TInternedText(title);
        advice.AdviceText = TInternedText("Est savings of 1,200 KiB");
        advice.Score = 0.3;
        r.AdviceList[s].push_back(advice);
    }
    return row;
}

std::string Write(const TReportInput& input) {
    TTempDir dir;
    const std::string path = dir.File("report.html");
    std::string error;
    EXPECT_TRUE(WriteHtmlReport(path, input, error)) << error;
    return ReadBytes(path);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The data block the page's script reads, parsed as the browser's JSON.parse would.
nlohmann::json Data(const std::string& html) {
    const std::string open = "<script type=\"application/json\" id=\"report-data\">";
    const size_t from = html.find(open) + open.size();
    return nlohmann::json::parse(html.substr(from, html.find("</script>", from) - from));
}

struct THostileCase {
    const char* Where;
    std::string Text;
};

void PrintTo(const THostileCase& c, std::ostream* os) {
    *os << c.Where << ": " << c.Text;
}

class HtmlReportEscaping : public ::testing::TestWithParam<THostileCase> {};

// Each text lands in the summary's markup or in the script's data: either way it must come
// back as the same text, and the page must hold no element the text spelled.
TEST_P(HtmlReportEscaping, HostileTextStaysText) {
    const THostileCase& c = GetParam();
    const std::string where = c.Where;
    auto row = where == "title" ? Page("https://example.com/", 1, 40, c.Text)
                                : Page(where == "url" ? c.Text : "https://example.com/", 1, 40);
    if (where == "error") {
        row->TaskResults->TaskResult[msMobile] = trServiceError;
        row->TaskResults->ErrorMessage[msMobile] = c.Text;
    }
    TReportInput input;
    input.Rows = {row.get()};
    if (where == "source") input.Run.Source = c.Text;
    // The summary names pages too (the pages that got worse).
    auto older = Page(row->URL, 1, 90);
    input.Compared = true;
    input.OlderRows = {older.get()};
    const std::string html = Write(input);

    EXPECT_EQ(Count(html, "<script"), 2u) << "only the page's own two scripts";
    EXPECT_EQ(Count(html, "</script"), 2u);
    EXPECT_EQ(Count(html, "<img src=x"), 0u);
    EXPECT_EQ(Count(html, "<!--"), 0u);
    EXPECT_EQ(html.find(c.Text), std::string::npos) << "the text appears unescaped";
    const nlohmann::json data = Data(html);
    if (where == "url") {
        EXPECT_EQ(data["rows"][0][1], c.Text);
    } else if (where == "title") {
        EXPECT_EQ(data["titles"][0], c.Text);
    } else if (where == "error") {
        EXPECT_EQ(data["rows"][0][5][1], c.Text);
    }
}

const std::string kScript = "<script>alert(1)</script>";
const std::string kImg = "\"><img src=x onerror=alert(1)>";
const std::string kEnd = "</script><!--";
INSTANTIATE_TEST_SUITE_P(
    Texts, HtmlReportEscaping,
    ::testing::Values(THostileCase{"url", "https://example.com/" + kScript},
                      THostileCase{"url", "https://example.com/" + kImg},
                      THostileCase{"url", "https://example.com/" + kEnd + "\u2028x'&amp;"},
                      THostileCase{"title", kScript + " title"}, THostileCase{"title", kImg},
                      THostileCase{"error", kEnd + " " + kImg},
                      THostileCase{"source", "/tmp/" + kScript + kImg}),
    [](const ::testing::TestParamInfo<THostileCase>& info) {
        return info.param.Where + std::to_string(info.index);
    });

TEST(HtmlReport, PolicyAllowsOnlyWhatTheFileHolds) {
    auto row = Page("https://example.com/", 1, 95);
    TReportInput input;
    input.Rows = {row.get()};
    const std::string html = Write(input);
    const std::string policy =
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
        "'unsafe-inline'; script-src 'unsafe-inline'; img-src data:\">";
    const size_t at = html.find(policy);
    ASSERT_NE(at, std::string::npos);
    // Before anything it governs.
    EXPECT_LT(at, html.find("<style"));
    EXPECT_LT(at, html.find("<script"));
    for (const char* load : {"<link", "<iframe", "src=\"http", "url(http", "@import"})
        EXPECT_EQ(html.find(load), std::string::npos) << load;
}

// Three pages: A fell by 30, B rose, C fell by 1; the summary lists A, then C, and not B.
TEST(HtmlReport, ComparedReportListsWorsePagesFirst) {
    auto a = Page("https://example.com/a", 1, 60), b = Page("https://example.com/b", 2, 55),
         c = Page("https://example.com/c", 3, 79);
    auto oldC = Page("https://example.com/c", 1, 80), oldA = Page("https://example.com/a", 2, 90),
         oldB = Page("https://example.com/b", 3, 50);
    TReportInput input;
    input.Rows = {b.get(), c.get(), a.get()};
    input.Compared = true;
    input.OlderRows = {oldC.get(), oldA.get(), oldB.get()};
    const std::string html = Write(input);
    const size_t list = html.find("Стали хуже");
    const size_t table = html.find("report-data");
    const size_t posA = html.find("https://example.com/a", list);
    const size_t posC = html.find("https://example.com/c", list);
    ASSERT_NE(list, std::string::npos);
    EXPECT_LT(posA, posC);
    EXPECT_LT(posC, table);
    EXPECT_GT(html.find("https://example.com/b", list), table) << "B got better";
    EXPECT_NE(html.find("<td class=\"num down\">-30</td>", list), std::string::npos);
    // The table's data carries each page's change, matched by URL, not by position.
    const nlohmann::json rows = Data(html)["rows"];
    EXPECT_EQ(rows[2][2][2], -30);  // A: score, older score, change
    EXPECT_EQ(rows[0][2][2], 5);
}

TEST(HtmlReport, OnlyImageDataUrlsBecomeScreenshots) {
    struct TCase {
        std::string Data;
        bool Kept;
    };
    const TCase cases[] = {
        {"data:image/jpeg;base64,/9j/4AAQSkZJRgABAQ==", true},
        {"data:image/png;base64,iVBORw0KGgo=", true},
        {"data:image/webp;base64,UklGRg", true},
        {"data:image/svg+xml;base64,PHN2Zy8+", false},
        {"data:text/html;base64,PHNjcmlwdD4=", false},
        {"data:image/png;base64,AAAA\"><script>alert(1)</script>", false},
        {"data:image/png;base64,AA=A", false},
        {"data:image/png;base64,", false},
        {"javascript:alert(1)", false},
        {"DATA:IMAGE/PNG;BASE64,AAAA", false},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(IsScreenshotDataUrl(c.Data), c.Kept) << c.Data;
        auto row = Page("https://example.com/", 1, 50);
        row->TaskResults->FinalScreenshot[msDesktop] = c.Data;
        TReportInput input;
        input.Rows = {row.get()};
        for (bool asked : {false, true}) {
            input.Screenshots = asked;
            const nlohmann::json data = Data(Write(input));
            const bool shown = asked && c.Kept;
            EXPECT_EQ(data["shots"].size(), shown ? 1u : 0u) << c.Data;
            EXPECT_EQ(data["rows"][0][4][2], shown ? 0 : -1) << c.Data;
        }
    }
}

// Answers carrying huge screenshots: each is kept up to 1 MB, the report holds them up to its
// limit in row order, and it says how many it left out and why.
TEST(HtmlReport, ScreenshotsAreBoundedEachAndInTotal) {
    const auto shot = [](size_t bytes) {
        const std::string prefix = "data:image/jpeg;base64,";
        return prefix + std::string(bytes - prefix.size(), 'A');
    };
    simdjson::dom::parser parser;
    const struct {
        size_t Bytes;
        bool Kept;
    } sizes[] = {{400 << 10, true},
                 {kMaxScreenshotBytes, true},
                 {kMaxScreenshotBytes + 4, false},
                 {12 << 20, false}};
    for (const auto& c : sizes) {
        const std::string audit = R"({"details": {"data": ")" + shot(c.Bytes) + "\"}}";
        simdjson::dom::object object;
        ASSERT_EQ(parser.parse(audit).get(object), simdjson::SUCCESS);
        const std::string kept = FinalScreenshotOf(object);
        EXPECT_EQ(kept, c.Kept ? shot(c.Bytes) : std::string(kScreenshotTooLarge)) << c.Bytes;
    }

    std::vector<std::unique_ptr<TURLTaskInfo>> rows;
    TReportInput input;
    input.Screenshots = true;
    input.MaxScreenshotBytes = 1 << 20;
    for (int i = 0; i < 4; ++i) {
        rows.push_back(Page("https://example.com/" + std::to_string(i), i + 1, 50));
        rows.back()->TaskResults->FinalScreenshot[msDesktop] =
            i == 3 ? std::string(kScreenshotTooLarge) : shot(400 << 10);
        input.Rows.push_back(rows.back().get());
    }
    const std::string html = Write(input);
    const nlohmann::json data = Data(html);
    EXPECT_EQ(data["shots"].size(), 2u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(data["rows"][i][4][2], i < 2 ? i : -1) << i;
    EXPECT_NE(html.find("Снимков экрана не включено, каждый больше 1 МБ: 1"), std::string::npos);
    EXPECT_NE(html.find("Снимков экрана не включено сверх 1 МБ на отчёт: 1"), std::string::npos);
    EXPECT_LT(html.size(), (1u << 20) + (64u << 10));
}

TEST(HtmlReport, UnwritablePathFailsWithTheReason) {
    auto row = Page("https://example.com/", 1, 50);
    TReportInput input;
    input.Rows = {row.get()};
    std::string error;
    EXPECT_FALSE(WriteHtmlReport("/nonexistent-velmora-dir/report.html", input, error));
    EXPECT_NE(error.find("/nonexistent-velmora-dir/report.html"), std::string::npos) << error;
}

}  // namespace
}  // namespace velmora
