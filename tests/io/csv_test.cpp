#include "io/csv.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/translate.h"
#include "engine/metrica.h"
#include "io/advice_csv.h"
#include "io_test_util.h"

namespace velmora::io {
namespace {

using test::ReadBytes;
using test::Succeeded;
using test::TTempDir;

TEST(Csv, FieldQuotingOnlyWhenNeeded) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"https://example.com/a", "https://example.com/a"},
        {"", ""},
        {" 1,2 s", " 1,2 s"},  // leading spaces and commas stay as shown
        {"a;b", "\"a;b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"line\nbreak", "\"line\nbreak\""},
        {"cr\rhere", "\"cr\rhere\""},
        {"\"", "\"\"\"\""},
    };
    for (const auto& c : cases) EXPECT_EQ(CsvField(c.in), c.out) << c.in;
}

TEST(AdviceCsv, ScoreAsSentWithTheLocaleSeparator) {
    const struct {
        std::optional<double> score;
        char sep;
        const char* text;
    } cases[] = {
        {std::nullopt, '.', ""}, {0.0, '.', "0"},     {1.0, ',', "1"},
        {0.5, ',', "0,5"},       {0.83, '.', "0.83"}, {0.99, ',', "0,99"},
    };
    for (const auto& c : cases) EXPECT_EQ(AdviceScoreText(c.score, c.sep), c.text) << c.text;
}

void AddValue(TURLTaskResults& r, std::string_view key, TMetricaStrategy s, std::string text) {
    r.MetricaValues.push_back({key, s, std::move(text), ColNumByKey(key)});
}

std::string RussianCaption(const char* msgid) {
    if (std::strcmp(msgid, "№") == 0) return "No.";
    if (std::strcmp(msgid, "Ошибка") == 0) return "Error";
    if (std::strcmp(msgid, "Инфо") == 0) return "Info";
    if (std::strcmp(msgid, "Полевые данные") == 0) return "Field";
    if (std::strcmp(msgid, "нет") == 0) return "none";
    return msgid;
}

class CsvExport : public ::testing::Test {
  protected:
    void SetUp() override {
        TURLTaskInfo& a = FList.Add("https://example.com/a");
        a.InitMetricResults();
        TURLTaskResults& r = *a.TaskResults;
        r.TaskResult = {trOK, trOK};
        AddValue(r, "performance", msDesktop, "97");
        AddValue(r, "first-contentful-paint", msDesktop, "0,8 s");
        AddValue(r, "cumulative-layout-shift", msDesktop, "0,01");
        AddValue(r, "document", msDesktop, " 12");
        AddValue(r, "total", msDesktop, "1 234");
        AddValue(r, "performance", msMobile, "41");
        AddValue(r, "speed-index", msMobile, "≈ 6,1 с");  // "≈" is not in CP1251
        // Real users' data on desktop only; mobile's answer had none.
        TFieldData& field = r.FieldData[msDesktop];
        field.Source = fsOrigin;
        field.Verdict = cvFailed;
        field.DecimalSeparator = ',';
        field[fmLCP] = {true, 2140, fcFast};
        field[fmCLS] = {true, 0.14, fcAverage};

        FList.Add("https://example.com/b;c");  // never checked

        TURLTaskInfo& c = FList.Add("https://example.com/ü/日本");
        c.InitMetricResults();
        c.TaskResults->TaskResult = {trSendError, trQuotaExceeded};
    }
    void TearDown() override { SetTranslator(nullptr); }

    std::vector<const TURLTaskInfo*> DisplayOrder() { return {&FList[2], &FList[0], &FList[1]}; }

    TURLTaskInfoList FList;
    TTempDir FDir;
};

TEST_F(CsvExport, ExactBytesInTheCodePage) {
    const std::string path = FDir.File("velmora_desktop.csv");
    ASSERT_TRUE(Succeeded(ExportGridCsv(path, "WINDOWS-1251", msDesktop, DisplayOrder())));
    EXPECT_EQ(
        ReadBytes(path),
        "\xB9;URL;\xCE\xF8\xE8\xE1\xEA\xE0;Score;\xC8\xED\xF4\xEE;"
        "FCP;SI;LCP;TTI;TBT;CLS;HTML;CSS;JS;Images;Fonts;TOTAL;"
        "CWV;LCP p75;INP p75;CLS p75;\xCF\xEE\xEB\xE5\xE2\xFB\xE5 \xE4\xE0\xED\xED\xFB\xE5\r\n"
        "3;https://example.com/?/??;SEND ERROR;;;;;;;;;;;;;;;;;;;\r\n"
        "1;https://example.com/a;;97;;0,8 s;;;;;0,01; 12;;;;;1 234;"
        "\xED\xE5 \xEF\xF0\xEE\xE9\xE4\xE5\xED\xE0;2,1 s;;0,14;\xE8\xF1\xF2\xEE\xF7\xED\xE8\xEA\r\n"
        "2;\"https://example.com/b;c\";;;;;;;;;;;;;;;;;;;;\r\n");

    ASSERT_TRUE(Succeeded(ExportGridCsv(path, "WINDOWS-1251", msMobile, {&FList[0]})));
    EXPECT_EQ(
        ReadBytes(path),
        "\xB9;URL;\xCE\xF8\xE8\xE1\xEA\xE0;Score;\xC8\xED\xF4\xEE;"
        "FCP;SI;LCP;TTI;TBT;CLS;HTML;CSS;JS;Images;Fonts;TOTAL;"
        "CWV;LCP p75;INP p75;CLS p75;\xCF\xEE\xEB\xE5\xE2\xFB\xE5 \xE4\xE0\xED\xED\xFB\xE5\r\n"
        "1;https://example.com/a;;41;;;? 6,1 \xF1;;;;;;;;;;;;;;;\xED\xE5\xF2\r\n");  // file emptied
                                                                                     // first
}

TEST_F(CsvExport, CaptionsFollowTheLanguageInForce) {
    SetTranslator(&RussianCaption);
    const std::string path = FDir.File("velmora_mob.csv");
    ASSERT_TRUE(Succeeded(ExportGridCsv(path, "WINDOWS-1252", msMobile, DisplayOrder())));
    EXPECT_EQ(ReadBytes(path),
              "No.;URL;Error;Score;Info;FCP;SI;LCP;TTI;TBT;CLS;HTML;CSS;JS;Images;Fonts;TOTAL;"
              "CWV;LCP p75;INP p75;CLS p75;Field\r\n"
              "3;https://example.com/\xFC/??;API QUOTA;;;;;;;;;;;;;;;;;;;\r\n"
              "1;https://example.com/a;;41;;;? 6,1 ?;;;;;;;;;;;;;;;none\r\n"
              "2;\"https://example.com/b;c\";;;;;;;;;;;;;;;;;;;;\r\n");
}

TEST_F(CsvExport, FailuresReturnFalse) {
    const std::string noFolder = FDir.File("missing/velmora_desktop.csv");
    const TResult<> noFile = ExportGridCsv(noFolder, "WINDOWS-1251", msDesktop, DisplayOrder());
    EXPECT_FALSE(noFile);
    EXPECT_EQ(noFile.Error().rfind(noFolder + ": ", 0), 0u) << noFile.Error();

    // Opens fine, every write fails: a full disk.
    const TResult<> full = ExportGridCsv("/dev/full", "WINDOWS-1251", msDesktop, DisplayOrder());
    EXPECT_FALSE(full);
    EXPECT_NE(full.Error().find("/dev/full: "), std::string::npos) << full.Error();

    TCsvWriter unopened("WINDOWS-1251");
    EXPECT_FALSE(unopened.WriteLine({"a"}));
}

}  // namespace
}  // namespace velmora::io
