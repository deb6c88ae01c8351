// The crawl's bounds: huge and endless pages, the deadline, pacing, page and depth limits.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>

#include "http/curl.h"
#include "io/crawl.h"
#include "io/crawl_pace.h"
#include "io/import_texts.h"
#include "io/robots.h"
#include "test_site.h"

namespace velmora::io {
namespace {

using namespace std::chrono_literals;
using test::TSitePage;
using test::TTestSite;
using TClock = std::chrono::steady_clock;

const http::TCurlGlobal gCurlGlobal;

TSitePage Html(std::string body) {
    return {.body = "<!doctype html>" + body};
}

std::vector<std::string> Paths(const TCrawlResult& r, const TTestSite& site) {
    std::vector<std::string> paths;
    for (const std::string& url : r.urls) paths.push_back(url.substr(site.Origin().size()));
    std::sort(paths.begin(), paths.end());
    return paths;
}

TCrawlOptions Quick() {
    TCrawlOptions o;
    o.hostDelay = 0ms;
    o.pageTimeoutMs = 1000;
    return o;
}

// A gigabyte of links made as it is sent, and a page that sends a little, then nothing.
TEST(CrawlLimits, HugeAndEndlessPagesAreLeftOutQuickly) {
    TTestSite site;
    std::atomic<size_t> sent{0};
    const std::string chunk = [] {
        std::string s;
        while (s.size() < 64 * 1024) s += "<a href=/huge-link>x</a>";
        return s;
    }();
    site.Put("/", Html("<a href=/huge>h</a><a href=/hang>e</a><a href=/ok>o</a>"));
    site.Put("/ok", Html(""));
    site.Put("/huge", {.stream = [&](size_t offset, httplib::DataSink& sink) {
                 if (offset >= (1ull << 30)) return false;
                 sent += chunk.size();
                 return sink.write(chunk.data(), chunk.size());
             }});
    site.Put("/hang", {.stream = [&site](size_t offset, httplib::DataSink& sink) {
                 if (offset == 0) return sink.write("<a href=/never>", 15);
                 std::this_thread::sleep_for(20ms);
                 return !site.Stopping() && sink.is_writable();
             }});
    // Time enough for 5 MB on a loaded machine under the sanitizers; the endless page takes it all.
    TCrawlOptions o = Quick();
    o.pageTimeoutMs = 3000;
    const auto started = TClock::now();
    TResult<TCrawlResult> r = CrawlSite(site.Url("/"), o);
    ASSERT_TRUE(r) << r.Error();
    EXPECT_LT(TClock::now() - started, 10s);
    EXPECT_EQ(Paths(*r, site), (std::vector<std::string>{"/", "/ok"}));
    EXPECT_EQ(r->tooLarge, 1u);
    EXPECT_EQ(r->failed, 1u);  // the endless page, at its time-out
    EXPECT_LT(sent.load(), 64u * 1024 * 1024);
}

TEST(CrawlLimits, TheDeadlineHoldsWhilePagesHang) {
    TTestSite site;
    const auto hang = [&site](size_t offset, httplib::DataSink& sink) {
        if (offset == 0) return sink.write("<p>", 3);
        std::this_thread::sleep_for(20ms);
        return !site.Stopping() && sink.is_writable();
    };
    site.Put("/", Html("<a href=/h1>1</a><a href=/h2>2</a><a href=/h3>3</a><a href=/h4>4</a>"
                       "<a href=/h5>5</a>"));
    for (const char* path : {"/h1", "/h2", "/h3", "/h4", "/h5"}) site.Put(path, {.stream = hang});
    TCrawlOptions o = Quick();
    o.pageTimeoutMs = kPageTimeoutMs;
    o.timeout = 1500ms;
    const auto started = TClock::now();
    TResult<TCrawlResult> r = CrawlSite(site.Url("/"), o);
    const auto took = TClock::now() - started;
    ASSERT_TRUE(r) << r.Error();
    EXPECT_GE(took, 1400ms);
    EXPECT_LT(took, 3s);
    EXPECT_TRUE(r->timedOut);
    EXPECT_EQ(Paths(*r, site), std::vector<std::string>{"/"});
}

// 200 000 nested blocks (2.6 MB, under the page cap) took gumbo minutes, past any deadline and
// abort; the crawl reads them well within its time and memory.
TEST(CrawlLimits, AHugelyNestedPageKeepsTheDeadline) {
    TTestSite site;
    std::string deep = "<!doctype html><body>";
    for (int i = 0; i < 200'000; ++i) deep += "<div class=x>";
    site.Put("/", Html("<a href=/deep>d</a>"));
    site.Put("/deep", Html(deep + "<a href=/bottom>b</a>"));
    site.Put("/bottom", Html(""));
    TCrawlOptions o = Quick();
    o.timeout = 5s;
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto started = TClock::now();
    TResult<TCrawlResult> r = CrawlSite(site.Url("/"), o);
    const auto took = TClock::now() - started;
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    ASSERT_TRUE(r) << r.Error();
    EXPECT_LT(took, 5s);
    EXPECT_FALSE(r->timedOut);
    EXPECT_EQ(Paths(*r, site), (std::vector<std::string>{"/", "/bottom", "/deep"}));
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 200 * 1024) << "KB more at the peak";
}

// Requests to one host keep the delay apart: the option's, or a longer Crawl-delay.
TEST(CrawlLimits, PacesRequestsToTheHost) {
    const struct {
        std::chrono::milliseconds hostDelay;
        const char* robots;
        std::chrono::milliseconds gap;
    } cases[] = {
        {250ms, "", 250ms},  // --crawl-rate 4
        {0ms, "User-agent: *\nCrawl-delay: 0.4\n", 400ms},
        {300ms, "User-agent: *\nCrawl-delay: 0.1\n", 300ms},
    };
    for (const auto& c : cases) {
        TTestSite site;
        if (*c.robots) site.Put("/robots.txt", {.body = c.robots, .type = "text/plain"});
        site.Put("/", Html("<a href=/a>a</a><a href=/b>b</a><a href=/c>c</a>"));
        for (const char* path : {"/a", "/b", "/c"}) site.Put(path, Html(""));
        TCrawlOptions o = Quick();
        o.hostDelay = c.hostDelay;
        TResult<TCrawlResult> r = CrawlSite(site.Url("/"), o);
        ASSERT_TRUE(r) << r.Error();
        EXPECT_EQ(r->urls.size(), 4u);
        const auto times = site.RequestTimes();
        ASSERT_EQ(times.size(), 5u);  // robots.txt and four pages
        // The gap after robots.txt counts from its request, so it applies too. The gap is kept
        // between starts at the crawl; robots.txt reaches the site later by a new connection's
        // setup.
        for (size_t i = 1; i < times.size(); ++i)
            EXPECT_GE(times[i] - times[i - 1], c.gap - 30ms) << c.robots << " request " << i;
    }
}

// Several requests in flight over kept connections, compressed answers asked: the site's pace,
// not a fixed one.
TEST(CrawlLimits, CrawlsAtTheSitesPaceOverKeptConnections) {
    TTestSite site;
    std::string start;
    for (int i = 0; i < 12; ++i) {
        site.Put("/" + std::to_string(i), {.body = "<p>", .delay = 100ms});
        start += "<a href=/" + std::to_string(i) + ">p</a>";
    }
    site.Put("/", Html(start));
    TCrawlOptions o;
    o.pageTimeoutMs = 5000;
    TResult<TCrawlResult> r = CrawlSite(site.Url("/"), o);
    ASSERT_TRUE(r) << r.Error();
    EXPECT_EQ(r->urls.size(), 13u);
    EXPECT_GE(site.MostAtOnce(), 2);
    EXPECT_LE(site.MostAtOnce(), kDefaultCrawlParallel);
    EXPECT_LE(site.Connections(), static_cast<size_t>(kDefaultCrawlParallel));
    for (const std::string& encoding : site.AcceptEncodings())
        EXPECT_NE(encoding.find("gzip"), std::string::npos) << encoding;
}

// 429 and 503 pause the host for as long as Retry-After asks, and the page is tried again.
TEST(CrawlLimits, PausesWhenTheSiteAsks) {
    TTestSite site;
    site.Put("/", Html("<a href=/busy>b</a><a href=/a>a</a>"));
    site.Put("/a", Html(""));
    site.Put("/busy", {.body = "", .status = 503, .retryAfter = "1"});
    TResult<TCrawlResult> r = CrawlSite(site.Url("/"), Quick());
    ASSERT_TRUE(r) << r.Error();
    EXPECT_EQ(Paths(*r, site), (std::vector<std::string>{"/", "/a"}));
    EXPECT_EQ(r->failed, 1u);
    const std::vector<std::string> requests = site.Requests();
    const auto times = site.RequestTimes();
    std::vector<TClock::time_point> busy;
    for (size_t i = 0; i < requests.size(); ++i)
        if (requests[i] == "/busy") busy.push_back(times[i]);
    ASSERT_EQ(busy.size(), 3u);
    for (size_t i = 1; i < busy.size(); ++i) EXPECT_GE(busy[i] - busy[i - 1], 950ms) << i;
}

TEST(CrawlLimits, TheDefaultDeadlineFitsThePagesAsked) {
    const struct {
        int maxPages;
        std::chrono::milliseconds timeout;
        std::chrono::milliseconds deadline;
    } cases[] = {
        {kCrawlMaxPagesDefault, 0ms, 600s},
        {kCrawlMaxPagesMax, 0ms, 2500s},
        {kCrawlMaxPagesMax, 5s, 5s},
    };
    for (const auto& c : cases) {
        TCrawlOptions o;
        o.maxPages = c.maxPages;
        o.timeout = c.timeout;
        EXPECT_EQ(CrawlTimeout(o), c.deadline) << c.maxPages;
    }
}

TEST(CrawlPace, FewerAtOnceWhileTheHostIsSlowOrBusy) {
    const struct {
        long status;
        std::chrono::milliseconds took;
        int windowAfter;  // starting from 4
    } cases[] = {
        {200, 50ms, 4}, {200, kSlowCrawlAnswer + 1ms, 2},
        {0, 50ms, 2},  // no answer
        {429, 50ms, 1}, {503, 50ms, 1},
        {404, 50ms, 4},
    };
    const std::atomic<bool> stop{false};
    for (const auto& c : cases) {
        THostPace pace(4, 0ms);
        ASSERT_TRUE(pace.Acquire(stop));
        pace.Release(c.status, c.took, "0");
        EXPECT_EQ(pace.Window(), c.windowAfter) << c.status << " " << c.took.count();
    }
    // Quick answers bring the requests at once back, one more per window of them.
    THostPace pace(4, 0ms);
    ASSERT_TRUE(pace.Acquire(stop));
    pace.Release(429, 10ms, "0");
    for (int i = 0; i < 1 + 2 + 3; ++i) {
        ASSERT_TRUE(pace.Acquire(stop));
        pace.Release(200, 10ms, "");
    }
    EXPECT_EQ(pace.Window(), 4);
}

TEST(CrawlPace, ReadsRetryAfter) {
    const auto now = std::chrono::system_clock::from_time_t(784111772);  // 08:49:32 GMT
    const std::pair<const char*, long long> cases[] = {{"120", 120'000},
                                                       {" 0 ", 0},
                                                       {"Sun, 06 Nov 1994 08:49:37 GMT", 5000},
                                                       {"Sun, 06 Nov 1994 08:00:00 GMT", 0},
                                                       {"soon", -1},
                                                       {"-3", -1},
                                                       {"", -1}};
    for (const auto& [value, ms] : cases)
        EXPECT_EQ(RetryAfterWait(value, now).count(), ms) << value;
}

TEST(CrawlLimits, StopsAtThePageLimitAndTheDepth) {
    TTestSite site;
    // A chain 0 -> 1 -> ... -> 9, and the start links to ten pages more.
    std::string start = "<a href=/0>0</a>";
    for (int i = 0; i < 10; ++i) {
        site.Put("/" + std::to_string(i), Html("<a href=/" + std::to_string(i + 1) + ">n</a>"));
        site.Put("/w" + std::to_string(i), Html(""));
        start += "<a href=/w" + std::to_string(i) + ">w</a>";
    }
    site.Put("/", Html(start));
    TCrawlOptions deep = Quick();
    deep.maxDepth = 3;
    deep.parallel = 1;
    TResult<TCrawlResult> r = CrawlSite(site.Url("/"), deep);
    ASSERT_TRUE(r) << r.Error();
    EXPECT_EQ(r->urls.size(), 1u + 10 + 3);  // the start, its 10, then /1 and /2 of the chain
    EXPECT_FALSE(r->pageLimit);
    EXPECT_EQ(std::count(r->urls.begin(), r->urls.end(), site.Url("/2")), 1);
    EXPECT_EQ(std::count(r->urls.begin(), r->urls.end(), site.Url("/3")), 0);

    TCrawlOptions few = Quick();
    few.maxPages = 5;
    const size_t before = site.Requests().size();
    r = CrawlSite(site.Url("/"), few);
    ASSERT_TRUE(r) << r.Error();
    EXPECT_EQ(r->urls.size(), 5u);
    EXPECT_TRUE(r->pageLimit);
    EXPECT_LE(site.Requests().size() - before, 1u + 5 + 4);  // robots.txt, then at most 4 at once
}

TEST(CrawlLimits, FailsWithAReasonWhenNothingCanBeCrawled) {
    TTestSite site;
    site.Put("/gone", {.status = 404});
    site.Put("/slow", {.stream = [&site](size_t, httplib::DataSink& sink) {
                 std::this_thread::sleep_for(20ms);
                 return !site.Stopping() && sink.is_writable();
             }});
    std::atomic<bool> abort{false};
    std::thread aborter([&] {
        std::this_thread::sleep_for(300ms);
        abort = true;
    });
    TCrawlOptions aborting = Quick();
    aborting.pageTimeoutMs = 20'000;
    aborting.abort = &abort;
    const auto started = TClock::now();
    TResult<TCrawlResult> aborted = CrawlSite(site.Url("/slow"), aborting);
    aborter.join();
    EXPECT_LT(TClock::now() - started, 2s);
    EXPECT_EQ(aborted.Error(), kMsgSitemapAborted);

    // The start itself gone, forbidden, leading off the site or no page: a reason, not nothing.
    site.Put("/robots.txt", {.body = "User-agent: *\nDisallow: /private", .type = "text/plain"});
    site.Put("/private", {.body = "<a href=/>x</a>"});
    site.Put("/moved", {.status = 301, .location = "https://elsewhere.invalid/"});
    site.Put("/data", {.body = "{}", .type = "application/json"});
    const std::pair<const char*, const char*> starts[] = {{"/gone", "404"},
                                                          {"/private", kMsgCrawlStartDisallowed},
                                                          {"/moved", "https://elsewhere.invalid/"},
                                                          {"/data", kMsgCrawlStartNotHtml}};
    for (const auto& [start, reason] : starts) {
        TResult<TCrawlResult> r = CrawlSite(site.Url(start), Quick());
        ASSERT_FALSE(r) << start;
        EXPECT_NE(r.Error().find(reason), std::string::npos) << r.Error();
        EXPECT_NE(r.Error().find(site.Url(start)), std::string::npos) << r.Error();
    }
    for (const char* start : {"ftp://127.0.0.1/", "file:///etc/passwd", "/relative", ""})
        EXPECT_EQ(CrawlSite(start, Quick()).Error(), kMsgSitemapNotWeb) << start;
}

// robots.txt that cannot be read forbids the site, but the reason given is what happened to it,
// not a rule the site never wrote.
TEST(CrawlLimits, SaysWhyRobotsTxtForbidsTheSite) {
    const std::string big(kMaxRobotsBytes + 1, '#');
    const struct {
        const char* name;
        std::optional<TSitePage> robots;  // none: the site is not there at all
        const char* reason;
    } cases[] = {
        {"server error", TSitePage{.body = "", .status = 500}, "robots.txt отвечает кодом 500"},
        {"too large", TSitePage{.body = big, .type = "text/plain"}, "robots.txt больше 512 КБ"},
        {"unreachable", std::nullopt, "сайт недоступен"},
    };
    for (const auto& c : cases) {
        std::string start;
        {
            TTestSite site;
            site.Put("/", Html("<a href=/a>a</a>"));
            if (c.robots) site.Put("/robots.txt", *c.robots);
            start = site.Url("/");
            if (c.robots) {
                TResult<TCrawlResult> r = CrawlSite(start, Quick());
                ASSERT_FALSE(r) << c.name;
                EXPECT_NE(r.Error().find(c.reason), std::string::npos) << r.Error();
                EXPECT_EQ(r.Error().find(kMsgCrawlStartDisallowed), std::string::npos) << r.Error();
                continue;
            }
        }
        TResult<TCrawlResult> r = CrawlSite(start, Quick());  // its server is gone
        ASSERT_FALSE(r) << c.name;
        EXPECT_NE(r.Error().find(c.reason), std::string::npos) << r.Error();
    }
}

// "*.localhost" is loopback to libcurl, so sub-domains can be served by one test server.
TEST(CrawlLimits, SubDomainsOnlyWhenAsked) {
    TTestSite site;
    const std::string port = site.Origin().substr(site.Origin().rfind(':'));
    site.Put("/", Html("<a href=\"http://sub.localhost" + port +
                       "/s\">s</a>"
                       "<a href=\"http://localhostx" +
                       port + "/n\">n</a>"));
    site.Put("/s", Html(""));
    for (const bool subdomains : {false, true}) {
        TCrawlOptions o = Quick();
        o.subdomains = subdomains;
        TResult<TCrawlResult> r = CrawlSite("http://localhost" + port + "/", o);
        ASSERT_TRUE(r) << r.Error();
        EXPECT_EQ(r->urls.size(), subdomains ? 2u : 1u);
    }
}

}  // namespace
}  // namespace velmora::io
