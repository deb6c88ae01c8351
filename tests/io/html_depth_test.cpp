// Deep markup: what the parser is given stays shallow whatever trick nests it, and the links
// read from it stay those a browser would follow.
#include "io/html_depth.h"

#include <gtest/gtest.h>
#include <gumbo.h>

#include <algorithm>
#include <string>

#include "io/html_links.h"

namespace velmora::io {
namespace {

std::string Repeat(const std::string& s, size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

// The depth of the tree gumbo makes of html.
size_t ParsedDepth(const std::string& html) {
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0;
    GumboOutput* out = gumbo_parse_with_options(&options, html.data(), html.size());
    size_t deepest = 0;
    std::vector<std::pair<const GumboNode*, size_t>> stack{{out->root, 1}};
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        deepest = std::max(deepest, depth);
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE) continue;
        const GumboVector& children = node->v.element.children;
        for (unsigned i = 0; i < children.length; ++i)
            stack.push_back({static_cast<const GumboNode*>(children.data[i]), depth + 1});
    }
    gumbo_destroy_output(&options, out);
    return deepest;
}

// Each pattern nests the parser's tree one or two levels per repeat, most of them by tags
// that a naive count of start and end tags takes as closed.
TEST(HtmlDepth, NoTrickNestsTheParsedTreeBeyondTheLimit) {
    const char* patterns[] = {
        "<div>",
        "<div/>",
        "<span><div></span>",
        "<div></body>",
        "<div></html>",
        "<li><ul></li>",
        "<p><b></p>x",
        "<form><div></form>",
        "<button><p></p></button><button>",
        "<table><tr><td>",
        "<svg><g><div/>",
        "<b><i><u><s>",
        "<template>",
        "<div><object></div>",
    };
    constexpr size_t kRepeats = 4000;
    constexpr size_t kLimit = 64;
    for (const char* pattern : patterns) {
        const std::string html = "<!doctype html><body>" + Repeat(pattern, kRepeats);
        const TFlattenedHtml flat = FlattenDeepHtml(html, kLimit);
        ASSERT_TRUE(flat.Html) << pattern;
        EXPECT_LE(ParsedDepth(*flat.Html), 2 * kLimit) << pattern;
    }
}

// Below the limit nothing changes; beyond it the links are read as before, and what holds no
// links (template and text areas) still gives none.
TEST(HtmlDepth, LinksSurviveTheCut) {
    const std::string deep = Repeat("<div class=\"a>b\">", 2000);
    const struct {
        std::string html;
        std::vector<std::string> links;
    } cases[] = {
        {"<p><a href=/a>a</a><div><a href=/b>b</a></div>", {"/a", "/b"}},
        {deep + "<a href=/deep>d</a><link rel=alternate hreflang=de href=/de>", {"/deep", "/de"}},
        {deep + "<template><div><a href=/t>t</a></div></template><a href=/after>x</a>", {"/after"}},
        {deep + "<textarea><a href=/ta></textarea><script>'<a href=/s>'</script><a href=/z>z",
         {"/z"}},
        {"<script>" + Repeat("<div>", 5000) + "</script><a href=/ok>o</a>", {"/ok"}},
        {"<!--" + Repeat("<div>", 5000) + "--><a href=/c>c</a>", {"/c"}},
    };
    for (const auto& c : cases) {
        const std::optional<THtmlLinks> links = ReadHtmlLinks(c.html);
        ASSERT_TRUE(links);
        EXPECT_EQ(links->Links, c.links) << c.html.substr(c.html.size() - 80);
    }
    EXPECT_FALSE(FlattenDeepHtml(cases[0].html).Html);
    EXPECT_EQ(ReadHtmlLinks(deep + "<meta name=robots content=nofollow>")->NoFollow, true);
}

TEST(HtmlDepth, StopsWhenAsked) {
    const std::string html = Repeat("<div>", 200'000);
    size_t asked = 0;
    EXPECT_FALSE(ReadHtmlLinks(html, [&] { return ++asked == 3; }));
    EXPECT_EQ(asked, 3u);
    asked = 0;
    EXPECT_TRUE(ReadHtmlLinks(html, [&] { return ++asked > 1000; }));
    EXPECT_GE(asked, html.size() / kHtmlStopCheckBytes - 1);
}

}  // namespace
}  // namespace velmora::io
