#include "http/url.h"

#include <gtest/gtest.h>

namespace velmora::http {
namespace {

TEST(ResolveUrl, OneSpellingPerAddress) {
    const struct {
        const char* base;
        const char* ref;
        const char* expected;  // "" when there is no http(s) address
    } cases[] = {
        {"http://Site.EXAMPLE:80/a/b/c?q=1", "../x", "http://site.example/a/x"},
        {"https://site.example/a/b", "//other.example/p", "https://other.example/p"},
        {"https://site.example/a/b?q=1#f", "#top", "https://site.example/a/b?q=1"},
        {"https://site.example/a/b?q=1", "", "https://site.example/a/b?q=1"},
        {"https://site.example/a/b", "?z=2#f", "https://site.example/a/b?z=2"},
        {"https://site.example/a/b", "  /trimmed\n", "https://site.example/trimmed"},
        {"https://site.example/a/", "d e.html", "https://site.example/a/d%20e.html"},
        {"https://site.example/", "/a/./b/../c", "https://site.example/a/c"},
        {"https://site.example:443/", "HTTP://SITE.example:8080", "http://site.example:8080/"},
        {"https://site.example/", "https://site.example?", "https://site.example/?"},
        {"https://site.example/", "mailto:a@b.example", ""},
        {"https://site.example/", "javascript:go()", ""},
        {"https://site.example/", "file:///etc/passwd", ""},
        {"https://site.example/", "ftp://site.example/", ""},
        {"https://site.example/", "http://", ""},
    };
    for (const auto& c : cases) {
        const std::optional<TUrl> url = ResolveUrl(c.base, c.ref);
        EXPECT_EQ(url ? url->Text() : std::string(), c.expected) << c.base << " + " << c.ref;
    }
}

TEST(ResolveUrl, PartsOfTheAddress) {
    const std::optional<TUrl> url = ParseUrl("https://Shop.Example:8443/a/b?x=1&y#frag");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->Origin(), "https://shop.example:8443");
    EXPECT_EQ(url->Path, "/a/b");
    EXPECT_EQ(url->Query, "x=1&y");
    EXPECT_FALSE(ParseUrl("/relative"));
}

}  // namespace
}  // namespace velmora::http
