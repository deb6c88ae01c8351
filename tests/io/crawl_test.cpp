#include "io/crawl.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <set>

#include "http/curl.h"
#include "io/html_links.h"
#include "io/robots.h"
#include "test_site.h"

namespace velmora::io {
namespace {

using namespace std::chrono_literals;
using test::TSitePage;
using test::TTestSite;
using Paths = std::set<std::string>;

const http::TCurlGlobal gCurlGlobal;

TSitePage Html(std::string body) {
    return {.body = "<!doctype html><title>t</title>" + body};
}

TSitePage Redirect(std::string to) {
    return {.status = 302, .location = std::move(to)};
}

std::string Gzip(const std::string& plain) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY),
              Z_OK);
    std::string out(deflateBound(&z, plain.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Options for a quick test: no pacing.
TCrawlOptions Quick() {
    TCrawlOptions o;
    o.hostDelay = 0ms;
    o.pageTimeoutMs = 10'000;  // the test server packs pages with brotli; slow under sanitizers
    o.timeout = 30s;
    return o;
}

// The paths of the found URLs; an URL of another origin stays whole.
Paths Found(const TCrawlResult& r, const TTestSite& site) {
    Paths paths;
    for (const std::string& url : r.urls)
        paths.insert(url.starts_with(site.Origin()) ? url.substr(site.Origin().size()) : url);
    return paths;
}

struct TCrawlCase {
    const char* name;
    std::map<std::string, TSitePage> pages;
    Paths found;
    Paths neverFetched;  // targets the crawl must not request
};

void PrintTo(const TCrawlCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<TCrawlCase> Cases() {
    // Every date a page of its own that links to the next.
    std::string calendar;
    std::map<std::string, TSitePage> calendarSite{{"/", Html("<a href=/cal>c</a>")}};
    for (int day = 0; day < 10'000; ++day) {
        const std::string date = "/cal?date=" + std::to_string(day);
        calendar += "<a href=\"" + date + "\">" + std::to_string(day) + "</a>";
        calendarSite[date] = Html("<a href=\"/cal?date=" + std::to_string(day + 1) + "\">next</a>");
    }
    calendarSite["/cal"] = Html(calendar);
    return {
        {"links in broken markup, not in scripts, textareas or comments",
         {{"/", Html("<p><a href=/a>one<p><a href=/b class=x>two<table><a href='/c'>c</table>"
                     "<!--><a href=/d>d</a><script>var s='<a href=\"/no1\">';</script>"
                     "<textarea><a href=/no2></textarea><a href=\"/e\"class=y>e</a><a href=/f")},
          {"/a", Html("")},
          {"/b", Html("")},
          {"/c", Html("")},
          {"/d", Html("")},
          {"/e", Html("")},
          {"/no1", Html("")},
          {"/no2", Html("")}},
         {"/", "/a", "/b", "/c", "/d", "/e"},
         {"/no1", "/no2"}},
        {"base, relative and protocol-relative links, fragments and other schemes",
         {{"/", Html("<a href=/dir/page>p</a>")},
          {"/dir/page",
           Html("<a href=\"../up\">u</a><a href=\"same#frag\">s</a><a href=\"?q=1#x\">q</a>"
                "<a href=\"//{host}/proto\">p</a><a href=\"mailto:a@b\">m</a>"
                "<a href=\"javascript:go()\">j</a><a href=\"file:///etc/passwd\">f</a>"
                "<a href=\"  /spaced  \">s</a>")},
          {"/up", Html("<base href=\"/based/\"><a href=\"rel\">r</a><a href=#top>t</a>")},
          {"/dir/same", Html("")},
          {"/dir/page?q=1", Html("")},
          {"/proto", Html("")},
          {"/spaced", Html("")},
          {"/based/rel", Html("")},
          {"/based/", Html("")}},
         {"/", "/dir/page", "/up", "/dir/same", "/dir/page?q=1", "/proto", "/spaced", "/based/rel",
          "/based/"},
         {}},
        {"a link cycle is fetched once per page",
         {{"/", Html("<a href=/a>a</a><a href=\"{off}/x\">o</a><a href=\"//{off_host}/y\">o</a>")},
          {"/a", Html("<a href=/b>b</a><a href=/>home</a>")},
          {"/b", Html("<a href=/a>a</a><a href=/>home</a><a href=\"{}/\">home</a>")}},
         {"/", "/a", "/b"},
         {}},
        {"a calendar of 10 000 dates gives 20 query variants",
         calendarSite,
         [] {
             Paths p{"/", "/cal"};
             for (int day = 0; day < 20; ++day) p.insert("/cal?date=" + std::to_string(day));
             return p;
         }(),
         {"/cal?date=20", "/cal?date=9999"}},
        {"nofollow links and pages, canonical",
         {{"/", Html("<a rel=\"external NoFollow\" href=/nf>n</a><a href=/meta>m</a>"
                     "<a href=\"/dup?utm=1\">d</a><a href=/offcanon>o</a>"
                     "<link rel=alternate hreflang=de href=/de/><link rel=alternate href=/feed>")},
          {"/meta", Html("<meta name=ROBOTS content=\"noindex, NOFOLLOW\"><a href=/hidden>h</a>")},
          {"/dup?utm=1", Html("<link rel=canonical href=\"/orig\"><a href=/via-dup>v</a>")},
          {"/offcanon", Html("<link rel=canonical href=\"{off}/elsewhere\">")},
          {"/de/", Html("<link rel=canonical href=\"/de/\">")},
          {"/via-dup", Html("")},
          {"/nf", Html("")},
          {"/hidden", Html("")},
          {"/feed", Html("")}},
         {"/", "/meta", "/orig", "/de/", "/via-dup"},
         {"/nf", "/hidden", "/feed", "/orig"}},
        {"robots.txt: longest match, wildcards, $, the Velmora group",
         {{"/robots.txt",
           {.body = "User-agent: Googlebot\nDisallow: /\n\nUser-agent: *\nDisallow: /\n\n"
                    "User-agent: velmora\nDisallow: /private\nAllow: /private/open\n"
                    "Disallow: /*.pdf$\nDisallow: /*?session=\nAllow: /\n",
            .type = "text/plain"}},
          {"/", Html("<a href=/private/a>a</a><a href=/private/open/b>b</a><a href=/x.pdf>p</a>"
                     "<a href=/x.pdf.html>h</a><a href=\"/list?session=1\">s</a>"
                     "<a href=/list>l</a>")},
          {"/private/a", Html("")},
          {"/private/open/b", Html("")},
          {"/x.pdf", Html("")},
          {"/x.pdf.html", Html("")},
          {"/list?session=1", Html("")},
          {"/list", Html("")}},
         {"/", "/private/open/b", "/x.pdf.html", "/list"},
         {"/private/a", "/x.pdf", "/list?session=1"}},
        {"redirects: a chain within the site, too long a chain, off the site",
         {{"/", Html("<a href=/r1>1</a><a href=/long0>l</a><a href=/away>a</a><a href=/file>f</a>"
                     "<a href=/rel>r</a>")},
          {"/r1", Redirect("/r2")},
          {"/r2", Redirect("{}/r3")},
          {"/r3", Redirect("final")},
          {"/final", Html("")},
          {"/long0", Redirect("/long1")},
          {"/long1", Redirect("/long2")},
          {"/long2", Redirect("/long3")},
          {"/long3", Redirect("/long4")},
          {"/long4", Redirect("/long5")},
          {"/long5", Redirect("/long6")},
          {"/long6", Html("")},
          {"/away", Redirect("{off}/landing")},
          {"/file", Redirect("file:///etc/passwd")},
          {"/rel", Redirect("//{off_host}/landing")}},
         {"/", "/final"},
         {"/long6"}},
        {"only text/html answers are pages; gzip is unpacked",
         {{"/",
           {.body = Gzip("<a href=/img>i</a><a href=/json>j</a><a href=/plain>p</a>"
                         "<a href=/missing>m</a><a href=/err>e</a><a href=/upper>u</a>"),
            .encoding = "gzip"}},
          {"/img", {.body = "\x89PNG", .type = "image/png"}},
          {"/json", {.body = "{}", .type = "application/json"}},
          {"/plain", {.body = "<a href=/z>z</a>", .type = "text/plain"}},
          {"/err", {.body = "<a href=/z>z</a>", .status = 500}},
          {"/upper", {.body = "", .type = "TEXT/HTML"}}},
         {"/", "/upper"},
         {"/z"}},
    };
}

class CrawlSiteTest : public ::testing::TestWithParam<TCrawlCase> {};

TEST_P(CrawlSiteTest, FindsExactlyTheSitesPagesAndNothingOffSite) {
    TTestSite site, offSite;
    const std::string offHost = offSite.Origin().substr(std::string("http://").size());
    const std::string host = site.Origin().substr(std::string("http://").size());
    for (auto [target, page] : GetParam().pages) {
        for (std::string* text : {&page.body, &page.location}) {
            for (size_t at; (at = text->find("{off_host}")) != std::string::npos;)
                text->replace(at, 10, offHost);
            for (size_t at; (at = text->find("{host}")) != std::string::npos;)
                text->replace(at, 6, host);
        }
        site.Put(target, std::move(page), offSite.Origin());
    }
    TResult<TCrawlResult> r = CrawlSite(site.Url("/"), Quick());
    ASSERT_TRUE(r) << r.Error();
    EXPECT_EQ(Found(*r, site), GetParam().found);
    EXPECT_TRUE(offSite.Requests().empty());
    std::vector<std::string> requests = site.Requests();
    for (const std::string& target : GetParam().neverFetched)
        EXPECT_EQ(std::count(requests.begin(), requests.end(), target), 0) << target;
    // Each address once; robots.txt once.
    std::sort(requests.begin(), requests.end());
    EXPECT_EQ(std::adjacent_find(requests.begin(), requests.end()), requests.end());
}

// The start may move to its "www." sibling on the same port; another port is another server,
// and the crawl ends there with the reason instead of crawling it.
TEST(CrawlStart, MovesOnlyToItsSiblingOnTheSamePort) {
    TTestSite site, other;
    const std::string port = site.Origin().substr(site.Origin().rfind(':'));
    const std::string otherPort = other.Origin().substr(other.Origin().rfind(':'));
    other.Put("/", Html("<a href=/o>o</a>"));
    site.Put("/", Html("<a href=/a>a</a>"));
    site.Put("/a", Html(""));
    const struct {
        std::string location;
        bool followed;
    } cases[] = {
        {"http://www.localhost" + port + "/", true},
        {"http://127.0.0.1" + otherPort + "/", false},
        {"http://localhost" + otherPort + "/", false},
        {"http://www.localhost" + otherPort + "/", false},
    };
    for (const auto& c : cases) {
        site.Put("/start", Redirect(c.location));
        TResult<TCrawlResult> r = CrawlSite("http://localhost" + port + "/start", Quick());
        if (c.followed) {
            ASSERT_TRUE(r) << c.location << ": " << r.Error();
            EXPECT_EQ(r->urls, (std::vector<std::string>{"http://www.localhost" + port + "/",
                                                         "http://www.localhost" + port + "/a"}));
        } else {
            ASSERT_FALSE(r) << c.location;
            EXPECT_NE(r.Error().find(c.location), std::string::npos) << r.Error();
        }
    }
    EXPECT_TRUE(other.Requests().empty());
}

INSTANTIATE_TEST_SUITE_P(Sites, CrawlSiteTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

}  // namespace
}  // namespace velmora::io
