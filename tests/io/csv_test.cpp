#include "io/csv.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <tuple>

#include "base/translate.h"
#include "engine/metrica.h"
#include "io/advice_csv.h"
#include "io/spreadsheet_csv.h"
#include "io_test_util.h"

namespace velmora::io {
namespace {

using test::ReadBytes;
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

TEST(Csv, FormulaCellsGetAnApostropheNumbersStay) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"=1+1", "'=1+1"},
        {"+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
        {"-2+3", "'-2+3"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\t=1", "'\t=1"},
        {"\r=1", "\"'\r=1\""},
        {"=A1;B1", "\"'=A1;B1\""},
        {"-", "'-"},
        {"-1.", "'-1."},
        {"- 1", "'- 1"},
        {"-1 s;", "\"'-1 s;\""},
        {"-1.5", "-1.5"},
        {"+12", "+12"},
        {"-0,3 s", "-0,3 s"},
        {"+120 ms", "+120 ms"},
        {"a=1", "a=1"},
        {" =1", " =1"},
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

TEST_F(CsvExport, ExactBytesInTheCodePageWhenEveryFieldFits) {
    const std::string path = FDir.File("velmora_desktop.csv");
    TResult<TCsvExport> r = ExportGridCsv(path, "WINDOWS-1251", msDesktop, {&FList[0], &FList[1]});
    ASSERT_TRUE(r) << r.Error();
    EXPECT_FALSE(r->WrittenInUtf8);
    EXPECT_EQ(
        ReadBytes(path),
        "\xB9;URL;\xCE\xF8\xE8\xE1\xEA\xE0;Score;\xC8\xED\xF4\xEE;"
        "FCP;SI;LCP;TTI;TBT;CLS;HTML;CSS;JS;Images;Fonts;TOTAL;"
        "CWV;LCP p75;INP p75;CLS p75;\xCF\xEE\xEB\xE5\xE2\xFB\xE5\x20\xE4\xE0\xED\xED\xFB\xE5\r\n"
        "1;https://example.com/a;;97;;0,8 s;;;;;0,01; 12;;;;;1 234;"
        "\xED\xE5\x20\xEF\xF0\xEE\xE9\xE4\xE5\xED\xE0;2,1 "
        "s;;0,14;\xE8\xF1\xF2\xEE\xF7\xED\xE8\xEA\r\n"
        "2;\"https://example.com/b;c\";;;;;;;;;;;;;;;;;;;;\r\n");
}

TEST_F(CsvExport, UnfitFieldSwitchesTheFileToUtf8WithBom) {
    const std::string path = FDir.File("velmora_desktop.csv");
    TResult<TCsvExport> r = ExportGridCsv(path, "WINDOWS-1251", msDesktop, DisplayOrder());
    ASSERT_TRUE(r) << r.Error();
    EXPECT_TRUE(r->WrittenInUtf8);
    EXPECT_EQ(ReadBytes(path),
              "\xEF\xBB\xBF№;URL;Ошибка;Score;Инфо;"
              "FCP;SI;LCP;TTI;TBT;CLS;HTML;CSS;JS;Images;Fonts;TOTAL;"
              "CWV;LCP p75;INP p75;CLS p75;Полевые данные\r\n"
              "3;https://example.com/ü/日本;SEND ERROR;;;;;;;;;;;;;;;;;;;\r\n"
              "1;https://example.com/a;;97;;0,8 s;;;;;0,01; 12;;;;;1 234;"
              "не пройдена;2,1 s;;0,14;источник\r\n"
              "2;\"https://example.com/b;c\";;;;;;;;;;;;;;;;;;;;\r\n");

    // The mobile display value "≈ 6,1 с" has no place in either code page.
    ASSERT_TRUE(ExportGridCsv(path, "WINDOWS-1252", msMobile, {&FList[0]}));
    EXPECT_EQ(ReadBytes(path).substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(ReadBytes(path).find("1;https://example.com/a;;41;;;≈ 6,1 с;"), std::string::npos);
}

// Every CSV keeps what it was given: the advice file and any other table written through the
// one lossless rule switch to UTF-8 rather than write "?".
TEST_F(CsvExport, AdviceAndOtherTablesLoseNoCharacter) {
    TURLTaskInfo& d = FList.Add("http://пример.test/страница");
    d.InitMetricResults();
    TGAdvice advice;
    advice.Title = TInternedText("Reduce JS");
    advice.AdviceText = TInternedText("1,2 s");
    advice.AuditId = TInternedText("unused-javascript");
    advice.Score = 0.5;
    d.TaskResults->AdviceList[msDesktop].push_back(advice);
    const std::string path = FDir.File("advice.csv");
    FList[2].TaskResults->AdviceList[msMobile].push_back(advice);
    const struct {
        std::vector<const TURLTaskInfo*> rows;
        const char* codepage;
        bool utf8;
    } cases[] = {
        {{&FList[0]}, "WINDOWS-1251", false},  // the header alone: the code page
        {{&FList[3]}, "WINDOWS-1251", false},  // a Cyrillic address fits the Cyrillic page
        {{&FList[3]}, "WINDOWS-1252", true},   // but not a Western one
        {{&FList[3], &FList[2]}, "WINDOWS-1251", true},  // nor does Japanese
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codepage);
        TResult<TCsvExport> r = ExportAdviceCsv(path, c.codepage, '.', c.rows);
        ASSERT_TRUE(r) << r.Error();
        EXPECT_EQ(r->WrittenInUtf8, c.utf8);
        const std::string bytes = ReadBytes(path);
        EXPECT_EQ(bytes.find('?'), std::string::npos) << bytes;
        EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF", 0) == 0, c.utf8);
        if (c.utf8) {
            EXPECT_NE(bytes.find("http://пример.test/страница;desktop"), std::string::npos);
        }
    }

    // The rule itself, for tables of other shapes (the comparison of two runs).
    const TCsvProducer table = [](const TCsvLineSink& line) -> TResult<> {
        if (TResult<> r = line({"URL", "Score A"}); !r) return r;
        return line({"http://пример.test/", "97"});
    };
    ASSERT_TRUE(WriteCsvLossless(path, "WINDOWS-1252", table));
    EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBFURL;Score A\r\nhttp://пример.test/;97\r\n");
}

TEST(CsvCodePage, ScriptsInBothLanguages) {
    const struct {
        const char* name;
        std::string url, value;
        bool fitsCp1251, fitsCp1252;
    } cases[] = {
        {"Cyrillic", "https://сайт.рф/страница", "1,2 с", true, false},
        {"CJK", "https://example.jp/日本語", "1.2 秒", false, false},
        {"accented Latin", "https://example.fr/café-crème", "1,2 s", false, true},
        {"ASCII", "https://example.com/", "1,2 s", true, true},
    };
    for (const auto& c : cases) {
        TURLTaskInfoList list;
        TURLTaskInfo& t = list.Add(c.url);
        t.InitMetricResults();
        t.TaskResults->TaskResult = {trOK, trOK};
        t.TaskResults->MetricaValues.push_back(
            {"speed-index", msDesktop, c.value, ColNumByKey("speed-index")});
        // Each interface language with its code page and its own column captions.
        for (const auto& [cp, fits, translator] :
             {std::tuple{"WINDOWS-1251", c.fitsCp1251, TTranslateFn{nullptr}},
              std::tuple{"WINDOWS-1252", c.fitsCp1252, TTranslateFn{&RussianCaption}}}) {
            SCOPED_TRACE(std::string(c.name) + " in " + cp);
            SetTranslator(translator);
            TTempDir dir;
            const std::string path = dir.File("out.csv");
            TResult<TCsvExport> r = ExportGridCsv(path, cp, msDesktop, {&t});
            ASSERT_TRUE(r) << r.Error();
            EXPECT_EQ(r->WrittenInUtf8, !fits);
            const std::string bytes = ReadBytes(path);
            const std::string text =
                fits ? CodePageToUtf8(bytes, cp) : bytes.substr(3);  // after the BOM
            if (!fits) {
                EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
            }
            // Nothing was lost: the URL and the display value come back whole.
            EXPECT_NE(text.find("1;" + c.url + ";;"), std::string::npos) << text;
            EXPECT_NE(text.find(";" + c.value + ";"), std::string::npos) << text;
            EXPECT_EQ(text.find('?'), std::string::npos) << text;
        }
    }
    SetTranslator(nullptr);
}

TEST_F(CsvExport, CaptionsFollowTheLanguageInForce) {
    SetTranslator(&RussianCaption);
    const std::string path = FDir.File("velmora_mob.csv");
    ASSERT_TRUE(ExportGridCsv(path, "WINDOWS-1252", msMobile, {&FList[1]}));
    EXPECT_EQ(ReadBytes(path),
              "No.;URL;Error;Score;Info;FCP;SI;LCP;TTI;TBT;CLS;HTML;CSS;JS;Images;Fonts;TOTAL;"
              "CWV;LCP p75;INP p75;CLS p75;Field\r\n"
              "2;\"https://example.com/b;c\";;;;;;;;;;;;;;;;;;;;\r\n");
}

TEST_F(CsvExport, FailuresLeaveTheOldFileWhole) {
    const std::string noFolder = FDir.File("missing/velmora_desktop.csv");
    const TResult<TCsvExport> noFile =
        ExportGridCsv(noFolder, "WINDOWS-1251", msDesktop, DisplayOrder());
    EXPECT_FALSE(noFile);
    EXPECT_EQ(noFile.Error().rfind(noFolder + ": ", 0), 0u) << noFile.Error();

    // A device is written in place: every write fails, as on a full disk.
    const TResult<TCsvExport> full =
        ExportGridCsv("/dev/full", "WINDOWS-1251", msDesktop, DisplayOrder());
    EXPECT_FALSE(full);
    EXPECT_NE(full.Error().find("/dev/full: "), std::string::npos) << full.Error();

    // A read-only file is refused, not replaced behind its owner's back.
    const std::string readOnly = FDir.File("kept.csv");
    test::WriteBytes(readOnly, "old");
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    const TResult<TCsvExport> refused =
        ExportGridCsv(readOnly, "WINDOWS-1251", msDesktop, DisplayOrder());
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.Code(), EACCES);
    EXPECT_EQ(ReadBytes(readOnly), "old");

    // Only the files the test made are left: no temporary file stays behind.
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(FDir.Path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1u);

    TCsvWriter unopened("WINDOWS-1251");
    EXPECT_FALSE(unopened.WriteLine({"a"}));
}

TEST_F(CsvExport, AWriterDroppedMidwayLeavesTheOldFile) {
    const std::string path = FDir.File("d.csv");
    test::WriteBytes(path, "previous table\r\n");
    {
        TCsvWriter w("WINDOWS-1251");
        ASSERT_TRUE(w.Open(path));
        ASSERT_TRUE(w.WriteLine({"half", "written"}));
        // As a crash or a kill would: never closed.
        EXPECT_EQ(ReadBytes(path), "previous table\r\n");
    }
    EXPECT_EQ(ReadBytes(path), "previous table\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(FDir.Path()),
                            std::filesystem::directory_iterator()),
              1);

    // Through a symbolic link the file it points at is replaced; the link stays a link.
    const std::string link = FDir.File("link.csv");
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    ASSERT_TRUE(ExportGridCsv(link, "WINDOWS-1251", msDesktop, {&FList[0]}));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(path).rfind("\xB9;URL;", 0), 0u);
}

}  // namespace
}  // namespace velmora::io

namespace velmora::io::test {
namespace {

// One file for a spreadsheet: both strategies, bare numbers with ".", the reason beside the
// status; the advice in a second file beside it.
TEST(SpreadsheetCsv, BothStrategiesPlainNumbersAndTheAdviceBeside) {
    TTempDir dir;
    TURLTaskInfo a("https://a.example/x;y", 1), unchecked("https://b.example/", 2);
    a.InitMetricResults();
    TURLTaskResults& r = *a.TaskResults;
    r.TaskResult = {trOK, trServiceError};
    r.ErrorCode[msMobile] = 500;
    r.ErrorMessage[msMobile] = "the service failed";
    r.MetricaValues.push_back({"performance", msDesktop, "97", gcScore, 97});
    r.MetricaValues.push_back({"largest-contentful-paint", msDesktop, "1,2 s", 0, 1234.5});
    r.MetricaValues.push_back({"cumulative-layout-shift", msDesktop, "0,05", 0, 0.05});
    r.MetricaValues.push_back({"total", msDesktop, "1 024 KiB", 0, 1048576});
    TGAdvice advice;
    advice.AdviceText = TInternedText("Save 1.2 s");
    r.AdviceList[msDesktop].push_back(advice);
    const std::string path = dir.File("sheet.csv");
    ASSERT_TRUE(Succeeded(ExportSpreadsheetCsv(path, {&a, &unchecked})));
    EXPECT_EQ(ReadBytes(path),
              "\xEF\xBB\xBFNum;URL;Strategy;Status;Error;Score;FCP ms;SI ms;LCP ms;TTI ms;TBT "
              "ms;CLS;HTML bytes;CSS bytes;JS bytes;Images bytes;Fonts bytes;TOTAL bytes;"
              "Field LCP p75 ms;Field INP p75 ms;Field CLS p75;Field FCP p75 ms;"
              "Field TTFB p75 ms;Field source;Field CWV;Page group\r\n"
              // Whole milliseconds: a spreadsheet gets no binary noise.
              "1;\"https://a.example/x;y\";desktop;OK;;97;;;1235;;;0.05;;;;;;1048576;;;;;;;;"
              "\"a.example/x;y/\"\r\n"
              "1;\"https://a.example/x;y\";mobile;500;the service failed;;;;;;;;;;;;;;;;;;;;;"
              "\"a.example/x;y/\"\r\n");
    EXPECT_EQ(SpreadsheetAdvicePath(path), dir.File("sheet-advice.csv"));
    EXPECT_EQ(SpreadsheetAdvicePath("report"), "report-advice.csv");
    const std::string adviceFile = ReadBytes(dir.File("sheet-advice.csv"));
    EXPECT_EQ(adviceFile.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(adviceFile.find("Save 1.2 s"), std::string::npos);
}

}  // namespace
}  // namespace velmora::io::test
