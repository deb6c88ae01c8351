#include "io/url_import.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "base/utf8.h"
#include "io/codepage.h"
#include "io/file_read.h"
#include "io/import_texts.h"
#include "io_test_util.h"

namespace velmora::io {
namespace {

using test::DataPath;
using test::TTempDir;
using test::WriteBytes;
using Urls = std::vector<std::string>;

std::vector<std::string> ListUrls(const TURLTaskInfoList& list) {
    std::vector<std::string> out;
    for (size_t i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(list[i].Num, static_cast<int32_t>(i + 1)) << "Num is the 1-based position";
        out.push_back(list[i].URL);
    }
    return out;
}

TEST(ImportExtension, ExcludedExtensions) {
    const struct {
        const char* url;
        bool excluded;
    } cases[] = {
        {"https://example.com/img.png", true},
        {"https://example.com/app.JS", true},
        {"https://example.com/a.jpg", true},
        {"https://example.com/a.Jpeg", true},
        {"https://example.com/a.gif", true},
        {"https://example.com/favicon.ico", true},
        {"https://example.com/site.css", true},
        {"https://example.com/img.png?v=2", false},  // extension ".PNG?V=2"
        {"https://example.com/img.png#top", false},
        {"https://example.com/page", false},  // ".COM/PAGE"
        {"https://example.com/data.json", false},
        {"https://example.com/x.jsx", false},
        {"localhost", false},            // no dot at all
        {"https://host:8080/a", false},  // ":" comes last
        {"http://a.b/c.png:80", false},
        {"C:\\site\\logo.png", true},
        {"C:\\site.png\\logo", false},  // "\" comes last
        {"https://example.com/.css", true},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsExcludedExtension(c.url), c.excluded) << c.url;
}

TEST(ImportText, SplitClipboardText) {
    const struct {
        std::string text;
        Urls expected;
    } cases[] = {
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        // Blank lines stay, to be counted; the final break ends a line and makes none.
        {" \ta \t\r\n\r\n\x01 b\x1f\n\n", {"a", "", "b", ""}},
        {"a\n\rb", {"a", "", "b"}},  // LF then CR: two breaks
        {"inner space stays", {"inner space stays"}},
        {"", {}},
        {"\r\n\r\n", {"", ""}},
        {"a\n", {"a"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitClipboardText(c.text), c.expected) << c.text;
}

TEST(ImportText, ReadTextFileUrls) {
    const std::string cp1251 = "WINDOWS-1251";
    const struct {
        const char* file;
        Urls expected;
    } cases[] = {
        {"five_lines.txt",
         {"https://example.com/a", "HTTPS://EXAMPLE.COM/A", "", "https://example.com/a/logo.png",
          "https://example.com/b"}},
        // Trimmed like clipboard lines, so stray spaces do not make new URLs.
        {"five_lines_spaced.txt",
         {"https://example.com/a", "HTTPS://EXAMPLE.COM/A", "", "https://example.com/a/logo.png",
          "https://example.com/b"}},
        {"utf8_bom.txt", {"https://example.com/привет", "https://example.com/b"}},
        {"cp1251.txt", {"https://example.com/привет", "https://сайт.рф/"}},
        // Old Mac editors end lines in CR alone.
        {"cr_only.txt", {"https://example.com/a", "https://example.com/b"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TResult<Urls> r = ReadTextFileUrls(DataPath(c.file), cp1251);
        ASSERT_TRUE(r) << r.Error();
        EXPECT_EQ(*r, c.expected);
    }
}

TEST(ImportText, CodePageDecidesNonUtf8Files) {
    TTempDir dir;
    // "é" in CP1252 is 0xE9; the same byte in CP1251 is "й".
    WriteBytes(dir.File("u.txt"), "https://example.com/caf\xE9\n");
    EXPECT_EQ(*ReadTextFileUrls(dir.File("u.txt"), "WINDOWS-1252"),
              Urls{"https://example.com/café"});
    EXPECT_EQ(*ReadTextFileUrls(dir.File("u.txt"), "WINDOWS-1251"),
              Urls{"https://example.com/cafй"});
}

TEST(ImportText, MissingAndUnreadableFiles) {
    TTempDir dir;
    TResult<Urls> missing = ReadTextFileUrls(dir.File("none.txt"), "WINDOWS-1252");
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.Code(), ENOENT);
    EXPECT_EQ(missing.Error(), kMsgImportFileNotFound);

    // A folder opens but cannot be read.
    TResult<Urls> folder = ReadTextFileUrls(dir.Path(), "WINDOWS-1252");
    EXPECT_FALSE(folder);
    EXPECT_NE(folder.Code(), ENOENT);
    EXPECT_EQ(folder.Error().rfind("Не удалось прочитать файл: " + dir.Path() + " (", 0), 0u)
        << folder.Error();

    WriteBytes(dir.File("empty.txt"), "");
    TResult<Urls> empty = ReadTextFileUrls(dir.File("empty.txt"), "WINDOWS-1252");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST(ImportAdd, FiveLinesGiveTwoTasks) {
    const TResult<Urls> file = ReadTextFileUrls(DataPath("five_lines.txt"), "WINDOWS-1252");
    Urls clip = SplitClipboardText(
        " \thttps://example.com/a \r\n\tHTTPS://EXAMPLE.COM/A\t\r\n \r\n"
        "  https://example.com/a/logo.png\r\nhttps://example.com/b   \r\n");
    for (const Urls& source : {*file, clip}) {
        TURLTaskInfoList list;
        std::vector<int32_t> shown;
        TImportReport st =
            AddURLTasks(list, source, [&](TURLTaskInfo& t) { shown.push_back(t.Num); });
        EXPECT_EQ(ListUrls(list), (Urls{"https://example.com/a", "https://example.com/b"}));
        EXPECT_EQ(shown, (std::vector<int32_t>{1, 2}));
        EXPECT_EQ(st.added, 2u);
        EXPECT_EQ(st.duplicates, 1u);
        EXPECT_EQ(st.resourceFiles, 1u);
        EXPECT_FALSE(st.LimitReached());
    }
}

TEST(ImportAdd, AppendingNumbersAfterExistingTasks) {
    TURLTaskInfoList list;
    AddURLTasks(list, {"https://x/1", "https://x/2"});
    TImportReport st = AddURLTasks(list, {"https://X/2", "https://x/3", "", "https://x/3"});
    EXPECT_EQ(ListUrls(list), (Urls{"https://x/1", "https://x/2", "https://x/3"}));
    EXPECT_EQ(st.added, 1u);
    EXPECT_EQ(st.duplicates, 2u);
    EXPECT_EQ(st.empty, 1u);
}

TEST(ImportAdd, StopsAtTheLimit) {
    TURLTaskInfoList list;
    Urls first;
    for (int i = 0; i < 9999; ++i) first.push_back("https://example.com/" + std::to_string(i));
    ASSERT_EQ(AddURLTasks(list, first).added, 9999u);

    // Filtered and duplicate URLs before the limit do not trigger it.
    TImportReport st = AddURLTasks(list, {"https://example.com/0", "https://example.com/x.png",
                                          "https://new/1", "https://new/2", "https://new/3"});
    EXPECT_EQ(st.added, 1u);
    EXPECT_TRUE(st.LimitReached());
    EXPECT_EQ(st.overLimit, 2u);
    EXPECT_EQ(st.duplicates, 1u);
    EXPECT_EQ(st.resourceFiles, 1u);
    ASSERT_EQ(list.Count(), kMaxUrlCount);
    EXPECT_EQ(list[9999].URL, "https://new/1");
    EXPECT_EQ(list[9999].Num, 10000);

    // A full list still filters before it reports the limit.
    EXPECT_EQ(AddURLTask(list, "https://new/1"), TAddResult::Duplicate);
    EXPECT_EQ(AddURLTask(list, "https://new/4.css"), TAddResult::Excluded);
    EXPECT_EQ(AddURLTask(list, "https://new/4"), TAddResult::LimitReached);
    EXPECT_FALSE(AddURLTasks(list, {"https://example.com/1"}).LimitReached());
}

TEST(ImportAdd, ProgressComesInStepsAndEndsWithTheFeeding) {
    const auto numbered = [](const std::string& prefix, size_t n) {
        Urls urls;
        for (size_t i = 0; i < n; ++i) urls.push_back(prefix + std::to_string(i));
        return urls;
    };
    const struct {
        size_t alreadyListed, candidates;
        size_t calls, lastDone;
    } cases[] = {
        {0, 3, 3, 3},          // a short list: every candidate
        {0, 1000, 200, 1000},  // every 5th
        {0, 999, 249, 996},    // every 4th; the end is the caller's to show
        {9990, 1000, 2, 10},   // the limit stops the feeding and the calls
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.candidates);
        TURLTaskInfoList list;
        AddURLTasks(list, numbered("https://old.example/", c.alreadyListed));
        std::vector<size_t> told;
        AddURLTasks(list, numbered("https://new.example/", c.candidates), {},
                    [&](size_t done, size_t total) {
                        EXPECT_EQ(total, c.candidates);
                        told.push_back(done);
                    });
        ASSERT_EQ(told.size(), c.calls);
        EXPECT_EQ(told.back(), c.lastDone);
        for (size_t i = 0; i < told.size(); ++i) EXPECT_EQ(told[i], (i + 1) * told[0]);
    }
}

TEST(ImportText, EncodingsAndJunk) {
    TTempDir dir;
    const struct {
        const char* name;
        std::string bytes;
        Urls expected;
    } cases[] = {
        {"UTF-16LE with BOM",
         std::string("\xFF\xFE"
                     "h\0t\0t\0p\0:\0/\0/\0\x16\x04/\0\r\0\n\0x\0",
                     26),
         {"http://Ж/", "x"}},
        {"UTF-16BE with BOM", std::string("\xFE\xFF\0a\0\n\0b", 8), {"a", "b"}},
        {"CR LF, LF and CR alone", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        // Inner control characters stay in the line; AddURLTask refuses it.
        {"ESC inside", "a\x1b[2Jb\nc", {"a\x1b[2Jb", "c"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(dir.File("u.txt"), c.bytes);
        TResult<Urls> r = ReadTextFileUrls(dir.File("u.txt"), "WINDOWS-1252");
        ASSERT_TRUE(r) << r.Error();
        EXPECT_EQ(*r, c.expected);
    }
}

TEST(ImportText, SizeIsBoundedWhateverTheFileClaims) {
    // /dev/zero never ends; a sparse file claims far more than it holds.
    TResult<Urls> zero = ReadTextFileUrls("/dev/zero", "WINDOWS-1252");
    EXPECT_FALSE(zero);
    EXPECT_EQ(zero.Code(), EFBIG);
    EXPECT_EQ(zero.Error(), "Файл больше 64 МБ: /dev/zero");

    TTempDir dir;
    const std::string sparse = dir.File("sparse.txt");
    WriteBytes(sparse, "https://example.com/\n");
    ASSERT_EQ(truncate(sparse.c_str(), off_t{1} << 36), 0);  // 64 GB claimed
    TResult<Urls> big = ReadTextFileUrls(sparse, "WINDOWS-1252");
    EXPECT_FALSE(big);
    EXPECT_EQ(big.Code(), EFBIG);

    TResult<std::string> capped = ReadWholeFile("/dev/zero", 100);
    EXPECT_EQ(capped.Code(), EFBIG);
}

TEST(ImportAdd, EachSkipReasonIsCountedOnce) {
    const struct {
        std::string url;
        TAddResult result;
    } cases[] = {
        {"https://example.com/a", TAddResult::Added},
        {"HTTP://example.com/upper-scheme", TAddResult::Added},
        {"example.com/host-only", TAddResult::AddedAsHttps},
        {"example.com:8080/port-is-no-scheme", TAddResult::AddedAsHttps},
        {"https://example.com/A", TAddResult::Duplicate},
        {"https://example.com/cafe", TAddResult::Added},
        {"https://example.com/%63afe", TAddResult::Duplicate},
        {"https://example.com/logo.PNG", TAddResult::Excluded},
        {"ftp://example.com/", TAddResult::NotHttp},
        {"javascript:alert(1)", TAddResult::NotHttp},
        {"file:///etc/passwd", TAddResult::NotHttp},
        {std::string("https://example.com/\0x", 22), TAddResult::BadLine},
        {"https://example.com/\x1b[2J", TAddResult::BadLine},
        {"https://example.com/\xC2\x85", TAddResult::BadLine},      // C1 NEL
        {"https://example.com/\xEF\xBF\xBD", TAddResult::BadLine},  // undecodable byte
        {"https://example.com/" + std::string(kMaxUrlLength, 'x'), TAddResult::TooLong},
        {"https://example.com/" + std::string(kMaxUrlLength - 20, 'x'), TAddResult::Added},
        {"", TAddResult::Empty},
    };
    TURLTaskInfoList list;
    Urls all;
    for (const auto& c : cases) {
        EXPECT_EQ(AddURLTask(list, c.url), c.result) << c.url.substr(0, 40);
        all.push_back(c.url);
    }
    TURLTaskInfoList fresh;
    const TImportReport st = AddURLTasks(fresh, all);
    EXPECT_EQ(st.added, 6u);
    EXPECT_EQ(st.duplicates, 2u);
    EXPECT_EQ(st.resourceFiles, 1u);
    EXPECT_EQ(st.notHttp, 3u);
    EXPECT_EQ(st.badLines, 4u);
    EXPECT_EQ(st.tooLong, 1u);
    EXPECT_EQ(st.empty, 1u);
    EXPECT_EQ(
        ImportReportLines(st),
        (Urls{"Добавлено URL: 6", "Из них без схемы, добавлено с https://: 2",
              "Пропущено повторов: 2", "Пропущено не http(s): 3", "Пропущено файлов ресурсов: 1",
              "Пропущено строк с управляющими или нечитаемыми символами: 4",
              "Пропущено URL длиннее 8 КБ: 1", "Пропущено пустых строк: 1"}));
}

// What users' files hold besides URLs: each would cost quota, so each is skipped by reason.
TEST(ImportAdd, JunkIsNoUrlAndAHostWithoutSchemeIsTakenAsHttps) {
    const struct {
        std::string line;
        TAddResult result;
        std::string added;  // the list's URL, when one was added
    } cases[] = {
        {"not a url", TAddResult::NotUrl, ""},
        {"http//broken", TAddResult::NotUrl, ""},
        {"# comment line", TAddResult::Comment, ""},
        {"// comment too", TAddResult::Comment, ""},
        {"<a href=\"https://example.com/x\">x</a>", TAddResult::NotUrl, ""},
        {"https://", TAddResult::NotUrl, ""},
        {"https:///path", TAddResult::NotUrl, ""},
        {"https://example.com:http/", TAddResult::NotUrl, ""},
        {"127.0.0.1/admin", TAddResult::NotUrl, ""},
        {"localhost/page", TAddResult::NotUrl, ""},
        {"https://example.com/a page", TAddResult::NotUrl, ""},
        {"www.example.com/no-scheme", TAddResult::AddedAsHttps,
         "https://www.example.com/no-scheme"},
        {"сайт.рф/страница", TAddResult::AddedAsHttps, "https://сайт.рф/страница"},
        {"https://127.0.0.1/admin", TAddResult::Added, "https://127.0.0.1/admin"},
        {"http://user@example.org:8080/p?q#f", TAddResult::Added,
         "http://user@example.org:8080/p?q#f"},
        {"https://[::1]/", TAddResult::Added, "https://[::1]/"},
        {"https://localhost/", TAddResult::Added, "https://localhost/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TURLTaskInfoList list;
        EXPECT_EQ(AddURLTask(list, c.line), c.result);
        EXPECT_EQ(list.Count() ? list[0].URL : std::string(), c.added);
    }
    TURLTaskInfoList list;
    const TImportReport r =
        AddURLTasks(list, SplitClipboardText("# list\n\nnot a url\nwww.example.com/x\n\n"));
    EXPECT_EQ(ImportReportLines(r),
              (Urls{"Добавлено URL: 1", "Из них без схемы, добавлено с https://: 1",
                    "Пропущено строк, которые не являются URL: 1", "Пропущено комментариев: 1",
                    "Пропущено пустых строк: 2"}));
}

TEST(ImportText, BinaryDataIsNoUrlList) {
    std::string bytes(1 << 20, '\0');
    uint32_t x = 12345;
    for (char& c : bytes) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    TTempDir dir;
    for (const auto& [name, content] :
         {std::pair{"random.bin", bytes},
          std::pair{"utf16-no-bom.txt", std::string("h\0t\0t\0p\0\n\0", 10)}}) {
        WriteBytes(dir.File(name), content);
        TResult<Urls> r = ReadTextFileUrls(dir.File(name), "WINDOWS-1251");
        EXPECT_FALSE(r) << name;
        EXPECT_EQ(r.Error(),
                  "Файл не похож на текстовый (в нём есть нулевые байты): " + dir.File(name));
    }
}

TEST(CodePage, ConversionsNeverFail) {
    EXPECT_EQ(AnsiCodePageFor("ru"), "WINDOWS-1251");
    EXPECT_EQ(AnsiCodePageFor("RU"), "WINDOWS-1251");
    EXPECT_EQ(AnsiCodePageFor("en"), "WINDOWS-1252");
    EXPECT_EQ(AnsiCodePageFor(""), "WINDOWS-1252");

    const struct {
        std::string utf8, codepage, expected;
    } enc[] = {
        {"№ Ошибка", "WINDOWS-1251", "\xB9 \xCE\xF8\xE8\xE1\xEA\xE0"},
        {"a€b", "WINDOWS-1252",
         "a\x80"
         "b"},
        {"日本 x", "WINDOWS-1251", "?? x"},    // one "?" per character, not per byte
        {"😀é", "WINDOWS-1251", "??"},          // four-byte character, then é
        {"a\xFF\xC3", "WINDOWS-1252", "a??"},  // malformed and truncated input
        {"Ж", "NO-SUCH-CODEPAGE", "?"},
    };
    for (const auto& c : enc) EXPECT_EQ(Utf8ToCodePage(c.utf8, c.codepage), c.expected) << c.utf8;

    EXPECT_EQ(CodePageToUtf8("\xB9\xC6", "WINDOWS-1251"), "№Ж");
    EXPECT_EQ(CodePageToUtf8("a\x98z", "WINDOWS-1251"), "a\xEF\xBF\xBDz");  // undefined byte
    EXPECT_EQ(CodePageToUtf8("a\xE9", "NO-SUCH-CODEPAGE"), "a\xEF\xBF\xBD");

    const struct {
        std::string text;
        bool valid;
    } utf8[] = {{"plain", true},
                {"Жé😀", true},
                {"\xC0\xAF", false},
                {"\xED\xA0\x80", false},
                {"\xF4\x90\x80\x80", false},
                {"\xE2\x82", false},
                {"\x80", false}};
    for (const auto& c : utf8) EXPECT_EQ(IsValidUtf8(c.text), c.valid) << c.text;
}

}  // namespace
}  // namespace velmora::io
