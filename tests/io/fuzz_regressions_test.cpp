// Inputs found by fuzzing that the io readers once got wrong.
#include <gtest/gtest.h>

#include <string>

#include "base/utf8.h"
#include "io/codepage.h"
#include "io/sitemap.h"
#include "io_test_util.h"

namespace velmora::io {
namespace {

using test::TTempDir;
using test::WriteBytes;

// The streaming XML parser checks CDATA sections for UTF-8 more loosely than the rest of the
// document: overlong forms (0xC0 0xAF is an overlong "/") slipped through as loc text.
TEST(FuzzRegressions, SitemapRefusesMalformedUtf8InCdata) {
    const char* const kCdata[] = {"\xC1\x9C", "\xC0\xAF", "\xE0\x80\xAF",
                                  "https://a.example/\xC0\xAF\xC0\xAF"};
    TTempDir dir;
    for (const char* cdata : kCdata) {
        SCOPED_TRACE(cdata);
        const std::string path = dir.File("sitemap.xml");
        WriteBytes(path,
                   std::string("<urlset><url><loc><![CDATA[") + cdata + "]]></loc></url></urlset>");
        const TResult<TSitemap> r = ParseSitemap(path);
        ASSERT_FALSE(r);
        EXPECT_NE(r.Error().find("UTF-8"), std::string::npos) << r.Error();
    }
    // Outside loc too: the verdict on the file does not depend on where the bytes sit.
    const std::string path = dir.File("elsewhere.xml");
    WriteBytes(
        path,
        "<urlset><url><loc>https://a.example/</loc><x><![CDATA[\xC0\xAF]]></x></url></urlset>");
    EXPECT_FALSE(ParseSitemap(path));
}

// The reader's message quotes the input cut after a fixed number of bytes, which split a
// two-byte character; the message must stay UTF-8 for the message box.
TEST(FuzzRegressions, SitemapErrorMessageStaysUtf8) {
    TTempDir dir;
    const std::string path = dir.File("sitemap.xml");
    WriteBytes(path, "<urlset>\n<!--" + std::string(47, 'a') + "\xC3\xA9\xC3\xA9xyz");
    const TResult<TSitemap> r = ParseSitemap(path);
    ASSERT_FALSE(r);
    EXPECT_NE(r.Error().find("Comment not terminated"), std::string::npos) << r.Error();
    EXPECT_TRUE(IsValidUtf8(r.Error())) << r.Error();
}

}  // namespace
}  // namespace velmora::io
