#include "io/sitemap.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/translate.h"
#include "io/import_texts.h"
#include "io_test_util.h"

namespace velmora::io {
namespace {

using test::DataPath;
using test::TTempDir;
using test::WriteBytes;
using Urls = std::vector<std::string>;

// Told apart from the missing urlset by the message the user sees (no translator installed).
bool IsParseError(const TResult<TSitemap>& r) {
    return !r && r.Error().rfind(kMsgSitemapParseError, 0) == 0;
}

TEST(Sitemap, ReadsLocsByLocalNameAndNamespace) {
    const struct {
        const char* file;
        Urls locs;
    } cases[] = {
        // Pretty-printed loc, entity reference of the language, CDATA, a child element, and
        // only the first loc of an entry.
        {"sitemap_default_ns.xml",
         {"https://example.com/", "https://example.com/a?x=1&y=2", "https://example.com/b",
          "https://example.com/c", "https://example.com/first"}},
        // Prefixed elements are the same elements.
        {"sitemap_prefixed.xml", {"https://example.com/p1", "https://example.com/p2"}},
        // "url" and "loc" of another namespace are not sitemap entries.
        {"sitemap_foreign_ns.xml", {"https://example.com/ok"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TResult<TSitemap> r = ParseSitemap(DataPath(c.file));
        ASSERT_TRUE(r) << r.Error();
        EXPECT_EQ(r->locs, c.locs);
    }
}

TEST(Sitemap, ProgressCountsEveryChildButAdvancesPerLoc) {
    TResult<TSitemap> r = ParseSitemap(DataPath("sitemap_counts.xml"));
    ASSERT_TRUE(r) << r.Error();
    // comment + 5 url + processing instruction
    EXPECT_EQ(r->urlsetChildCount, 7u);
    // entries with a loc, the empty ones included
    EXPECT_EQ(r->urlWithLocCount, 4u);
    EXPECT_EQ(r->locs, (Urls{"https://example.com/1", "https://example.com/2"}));
}

TEST(Sitemap, NoUrlsetIsItsOwnOutcome) {
    TTempDir dir;
    WriteBytes(dir.File("feed.xml"), "<feed><url><loc>https://example.com/</loc></url></feed>");
    TResult<TSitemap> r = ParseSitemap(dir.File("feed.xml"));
    ASSERT_FALSE(r);
    EXPECT_EQ(r.Error(), kMsgSitemapNoUrlset);
}

TEST(Sitemap, IndexGivesItsChildFiles) {
    TResult<TSitemap> r = ParseSitemap(DataPath("sitemap_no_urlset.xml"));
    ASSERT_TRUE(r) << r.Error();
    EXPECT_TRUE(r->isIndex);
    EXPECT_EQ(r->locs, Urls{"https://example.com/sitemap1.xml"});
}

TEST(Sitemap, ErrorsCarryTheReadersMessage) {
    TTempDir dir;
    WriteBytes(dir.File("empty.xml"), "");
    WriteBytes(dir.File("late.xml"), "<sitemapindex></sitemapindex><extra/>");
    WriteBytes(dir.File("map.xml.gz"), std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00", 8));
    const struct {
        std::string path;
        const char* fragment;
    } cases[] = {
        {DataPath("sitemap_broken.xml"), "строка 4: Opening and ending tag mismatch: loc"},
        {dir.File("empty.xml"), "файл пуст"},
        // Not well-formed wins over the missing urlset.
        {dir.File("late.xml"), "Extra content at the end of the document"},
        {dir.File("missing.xml"), "Не удалось открыть файл: "},
        {dir.Path(), "Не удалось открыть файл: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        TResult<TSitemap> r = ParseSitemap(c.path);
        EXPECT_TRUE(IsParseError(r)) << r.Error();
        EXPECT_NE(r.Error().find(c.fragment), std::string::npos) << r.Error();
        EXPECT_EQ(r.Error().find('\n'), std::string::npos) << r.Error();
    }
    // A gzip file is unpacked; a broken one says why rather than calling the file empty.
    TResult<TSitemap> gz = ParseSitemap(dir.File("map.xml.gz"));
    ASSERT_FALSE(gz);
    EXPECT_NE(gz.Error().find("повреждённые данные gzip"), std::string::npos) << gz.Error();
}

TEST(Sitemap, EntitiesAreNeitherLoadedNorExpanded) {
    // An external entity outside loc is left alone: the file it names is never read.
    TResult<TSitemap> outside = ParseSitemap(DataPath("sitemap_xxe.xml"));
    ASSERT_TRUE(outside) << outside.Error();
    EXPECT_EQ(outside->locs, Urls{"https://example.com/a"});

    // Inside loc it would have to be expanded to make sense, so the file is refused.
    // The billion laughs stop at the reader's own amplification guard.
    const struct {
        const char* file;
        const char* message;
    } cases[] = {
        {"sitemap_xxe_in_loc.xml", "строка 7: ссылки на сущности в теге \"loc\" не поддерживаются"},
        {"sitemap_billion_laughs.xml", "Detected an entity reference loop"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TResult<TSitemap> r = ParseSitemap(DataPath(c.file));
        EXPECT_TRUE(IsParseError(r)) << r.Error();
        EXPECT_NE(r.Error().find(c.message), std::string::npos) << r.Error();
    }
}

TEST(Sitemap, FiftyThousandEntries) {
    TTempDir dir;
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (int i = 0; i < 50000; ++i)
        xml += "  <url>\n    <loc>https://example.com/section/page-" + std::to_string(i) +
               ".html</loc>\n    <lastmod>2024-05-01</lastmod>\n  </url>\n";
    xml += "</urlset>\n";
    WriteBytes(dir.File("sitemap.xml"), xml);
    TResult<TSitemap> r = ParseSitemap(dir.File("sitemap.xml"));
    ASSERT_TRUE(r) << r.Error();
    ASSERT_EQ(r->locs.size(), 50000u);
    EXPECT_EQ(r->urlsetChildCount, 50000u);
    EXPECT_EQ(r->locs.front(), "https://example.com/section/page-0.html");
    EXPECT_EQ(r->locs.back(), "https://example.com/section/page-49999.html");

    // One more, or a file over the protocol's size, is refused as its gzip twin would be.
    xml.insert(xml.rfind("</urlset>"), "  <url><loc>https://example.com/one-more</loc></url>\n");
    WriteBytes(dir.File("sitemap.xml"), xml);
    TResult<TSitemap> over = ParseSitemap(dir.File("sitemap.xml"));
    ASSERT_FALSE(over);
    EXPECT_EQ(over.Error(), Tr(kMsgSitemapTooManyUrls));
    std::filesystem::resize_file(dir.File("sitemap.xml"), kMaxSitemapBytes + 1);
    over = ParseSitemap(dir.File("sitemap.xml"));
    ASSERT_FALSE(over);
    EXPECT_EQ(over.Error(), Tr(kMsgSitemapTooLarge));
}

}  // namespace
}  // namespace velmora::io
