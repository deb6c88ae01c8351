#include "io/sitemap_fetch.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <zlib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "http/curl.h"
#include "io/import_texts.h"
#include "io/robots.h"
#include "io/sitemap.h"
#include "io_test_util.h"

namespace velmora::io {
namespace {

using namespace std::chrono_literals;
using Urls = std::vector<std::string>;

const http::TCurlGlobal gCurlGlobal;

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

std::string Urlset(const Urls& locs, const std::string& filler = {}) {
    std::string s =
        R"(<?xml version="1.0"?><urlset xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)";
    for (const std::string& l : locs) s += "<url><loc>" + l + "</loc></url>";
    return s + filler + "</urlset>";
}

std::string Index(const Urls& locs) {
    std::string s =
        R"(<?xml version="1.0"?><sitemapindex xmlns="http://www.sitemaps.org/schemas/sitemap/0.9">)";
    for (const std::string& l : locs) s += "<sitemap><loc>" + l + "</loc></sitemap>";
    return s + "</sitemapindex>";
}

// A small site on 127.0.0.1: every path answers what the test put there, anything else 404.
// "{}" in a body becomes the server's own address.
class TSite {
  public:
    TSite() {
        server_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            std::unique_lock lock(mutex_);
            requests_.push_back(req.path);
            auto it = pages_.find(req.path);
            if (it == pages_.end()) {
                res.status = 404;
                return;
            }
            if (const auto wait = it->second.delay; wait.count() > 0) {
                lock.unlock();
                std::this_thread::sleep_for(wait);
                lock.lock();
            }
            res.body = it->second.body;
            if (!it->second.encoding.empty())
                res.set_header("Content-Encoding", it->second.encoding);
            res.set_header("Content-Type", "application/xml");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(1ms);
    }
    ~TSite() {
        server_.stop();
        thread_.join();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    void Put(const std::string& path, std::string body, std::string encoding = {},
             std::chrono::milliseconds delay = {}) {
        for (size_t at; (at = body.find("{}")) != std::string::npos;) body.replace(at, 2, Url(""));
        pages_[path] = {std::move(body), std::move(encoding), delay};
    }
    size_t RequestCount(const std::string& path) {
        const std::lock_guard lock(mutex_);
        return size_t(std::count(requests_.begin(), requests_.end(), path));
    }

  private:
    struct TPage {
        std::string body, encoding;
        std::chrono::milliseconds delay{};  // before the answer
    };
    httplib::Server server_;
    std::map<std::string, TPage> pages_;
    std::mutex mutex_;
    std::vector<std::string> requests_;
    int port_ = 0;
    std::thread thread_;
};

// Whether one of the left-out lines names the file and says why (no translator installed).
bool LeftOut(const TSitemapLoad& load, const std::string& address, const char* reason) {
    for (const std::string& line : load.leftOut)
        if (line.find(address) != std::string::npos && line.find(reason) != std::string::npos)
            return true;
    return false;
}

TEST(SitemapFetch, ReadsSitesIndexesAndGzip) {
    const struct {
        const char* name;
        std::map<std::string, std::pair<std::string, std::string>> pages;  // body, encoding
        std::string source;
        Urls urls;
    } cases[] = {
        {"robots.txt lines in order, field name in any case",
         {{"/robots.txt", {"User-agent: *\nSITEMAP: {}/b.xml # second\r\nsitemap:{}/a.xml\n", ""}},
          {"/a.xml", {Urlset({"https://x/a"}), ""}},
          {"/b.xml", {Urlset({"https://x/b"}), ""}}},
         "/",
         {"https://x/b", "https://x/a"}},
        {"no robots.txt: /sitemap.xml",
         {{"/sitemap.xml", {Urlset({"https://x/1", "https://x/2"}), ""}}},
         "",
         {"https://x/1", "https://x/2"}},
        {"robots.txt without Sitemap lines, given by name",
         {{"/robots.txt", {"User-agent: *\nDisallow: /private\n", ""}},
          {"/sitemap.xml", {Urlset({"https://x/1"}), ""}}},
         "/robots.txt",
         {"https://x/1"}},
        {"index: plain, .gz and gzip-encoded children in index order, nested index",
         {{"/sitemap.xml",
           {Index({"{}/plain.xml", "{}/packed.xml.gz", "{}/enc.xml", "{}/sub.xml"}), ""}},
          {"/plain.xml", {Urlset({"https://x/p"}), ""}},
          {"/packed.xml.gz", {Gzip(Urlset({"https://x/z1", "https://x/z2"})), ""}},
          {"/enc.xml", {Gzip(Urlset({"https://x/e"})), "gzip"}},
          {"/sub.xml", {Index({"{}/deep.xml"}), ""}},
          {"/deep.xml", {Urlset({"https://x/d"}), ""}}},
         "/sitemap.xml",
         {"https://x/p", "https://x/z1", "https://x/z2", "https://x/e", "https://x/d"}},
        {"a loop is read once",
         {{"/a.xml", {Index({"{}/b.xml", "{}/a.xml"}), ""}},
          {"/b.xml", {Index({"{}/a.xml", "{}/leaf.xml"}), ""}},
          {"/leaf.xml", {Urlset({"https://x/leaf"}), ""}}},
         "/a.xml",
         {"https://x/leaf"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TSite site;
        for (const auto& [path, page] : c.pages) site.Put(path, page.first, page.second);
        TResult<TSitemapLoad> load = LoadSitemap(site.Url(c.source), {});
        ASSERT_TRUE(load) << load.Error();
        EXPECT_EQ(load->urls, c.urls);
        EXPECT_TRUE(load->leftOut.empty()) << load->leftOut.front();
        for (const auto& [path, page] : c.pages) EXPECT_LE(site.RequestCount(path), 1u) << path;
    }
}

TEST(SitemapFetch, LeavesOutBadChildrenAndReadsTheRest) {
    // 60 MB of comments compress to about 60 KB.
    std::string comments;
    const std::string comment = "<!--" + std::string(1020, ' ') + "-->";
    while (comments.size() < (60u << 20)) comments += comment;
    const std::string bomb = Gzip(Urlset({"https://x/bomb"}, comments));
    Urls many;
    for (size_t i = 0; i <= kMaxSitemapUrls; ++i) many.push_back("https://x/m" + std::to_string(i));
    const struct {
        const char* child;  // path on the site, or an address as it stands in the index
        std::string body;
        const char* reason;
    } cases[] = {
        {"/bomb.xml.gz", bomb, kMsgSitemapTooLarge},
        {"/many.xml", Urlset(many), kMsgSitemapTooManyUrls},
        {"/missing.xml", "", "404"},
        {"/broken.xml.gz", Gzip(Urlset({"https://x/b"})).substr(0, 20), kMsgSitemapBadGzip},
        {"/not-xml.xml", "<html>", kMsgSitemapParseError},
        {"file:///etc/passwd", "", kMsgSitemapNotWeb},
        {"ftp://127.0.0.1/s.xml", "", kMsgSitemapNotWeb},
        {"/relative.xml", "", kMsgSitemapNotWeb},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.child);
        TSite site;
        const bool onSite = c.child[0] == '/' && std::string_view(c.child) != "/relative.xml";
        const std::string child = onSite ? site.Url(c.child) : c.child;
        site.Put("/sitemap.xml", Index({"{}/before.xml", child, "{}/after.xml"}));
        site.Put("/before.xml", Urlset({"https://x/before"}));
        site.Put("/after.xml", Urlset({"https://x/after"}));
        if (onSite && !c.body.empty()) site.Put(c.child, c.body);
        const auto start = std::chrono::steady_clock::now();
        TResult<TSitemapLoad> load = LoadSitemap(site.Url("/sitemap.xml"), {});
        ASSERT_TRUE(load) << load.Error();
        EXPECT_EQ(load->urls, (Urls{"https://x/before", "https://x/after"}));
        ASSERT_EQ(load->leftOut.size(), 1u);
        EXPECT_TRUE(LeftOut(*load, child, c.reason)) << load->leftOut.front();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    }
}

TEST(SitemapFetch, StopsAtTheDepthAndFileLimits) {
    TSite site;
    // Three levels are read; the fourth is left out.
    site.Put("/l1.xml", Index({"{}/l2.xml"}));
    site.Put("/l2.xml", Index({"{}/l3.xml", "{}/u2.xml"}));
    site.Put("/l3.xml", Index({"{}/l4.xml"}));
    site.Put("/l4.xml", Urlset({"https://x/too-deep"}));
    site.Put("/u2.xml", Urlset({"https://x/level3"}));
    TResult<TSitemapLoad> deep = LoadSitemap(site.Url("/l1.xml"), {});
    ASSERT_TRUE(deep) << deep.Error();
    EXPECT_EQ(deep->urls, Urls{"https://x/level3"});
    EXPECT_TRUE(LeftOut(*deep, site.Url("/l4.xml"), kMsgSitemapTooDeep));
    EXPECT_EQ(site.RequestCount("/l4.xml"), 0u);

    Urls children;
    for (size_t i = 0; i <= kMaxSitemapChildFiles; ++i)
        children.push_back("{}/c" + std::to_string(i) + ".xml");
    site.Put("/wide.xml", Index(children));
    site.Put("/c0.xml", Urlset({"https://x/c0"}));
    TResult<TSitemapLoad> wide = LoadSitemap(site.Url("/wide.xml"), {});
    ASSERT_TRUE(wide) << wide.Error();
    EXPECT_EQ(wide->urls, Urls{"https://x/c0"});
    EXPECT_TRUE(LeftOut(*wide, site.Url("/c1000.xml"), kMsgSitemapTooManyFiles));
    EXPECT_EQ(site.RequestCount("/c1000.xml"), 0u);
}

TEST(SitemapFetch, FailsWhenTheSourceCannotBeRead) {
    TSite site;
    site.Put("/robots.txt", "Sitemap: /etc/passwd\n");
    site.Put("/page.html", "<html><body>hello</body></html>");
    const struct {
        std::string source;
        const char* reason;
    } cases[] = {
        {site.Url("/none.xml"), "404"},
        {site.Url("/page.html"), kMsgSitemapNoUrlset},
        // A site-relative line is taken from the site, never from this computer.
        {site.Url("/"), "404"},
        {"http://127.0.0.1:1/sitemap.xml", kMsgSitemapDownloadFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        TResult<TSitemapLoad> load = LoadSitemap(c.source, {});
        ASSERT_FALSE(load);
        EXPECT_NE(load.Error().find(c.reason), std::string::npos) << load.Error();
    }
    EXPECT_EQ(site.RequestCount("/etc/passwd"), 1u);
}

TEST(SitemapFetch, AbortEndsTheDownloads) {
    TSite site;
    site.Put("/sitemap.xml", Urlset({"https://x/1"}));
    std::atomic<bool> abort{true};
    TSitemapFetchOptions options;
    options.abort = &abort;
    TResult<TSitemapLoad> load = LoadSitemap(site.Url("/sitemap.xml"), options);
    ASSERT_FALSE(load);
    EXPECT_EQ(load.Error(), kMsgSitemapAborted);
}

// A robots.txt of thousands of lines costs at most kMaxRobotsSitemaps downloads, each once.
TEST(SitemapFetch, RobotsLinesAreTakenOnceAndCapped) {
    TSite site;
    std::string robots;
    for (int i = 0; i < 6000; ++i) robots += "Sitemap: {}/s" + std::to_string(i % 2) + ".xml\n";
    for (int i = 0; i < 100; ++i) robots += "Sitemap: {}/m" + std::to_string(i) + ".xml\n";
    site.Put("/robots.txt", robots);
    for (int i = 0; i < 2; ++i)
        site.Put("/s" + std::to_string(i) + ".xml", Urlset({"https://x/s" + std::to_string(i)}));
    for (int i = 0; i < 100; ++i)
        site.Put("/m" + std::to_string(i) + ".xml", Urlset({"https://x/m" + std::to_string(i)}));
    TResult<TSitemapLoad> load = LoadSitemap(site.Url("/"), {});
    ASSERT_TRUE(load) << load.Error();
    EXPECT_EQ(load->urls.size(), kMaxRobotsSitemaps);
    EXPECT_EQ(site.RequestCount("/s0.xml"), 1u);
    EXPECT_EQ(site.RequestCount("/s1.xml"), 1u);
    EXPECT_EQ(site.RequestCount("/m47.xml"), 1u);
    EXPECT_EQ(site.RequestCount("/m48.xml"), 0u);
}

// The whole import has a deadline, whatever each server takes.
TEST(SitemapFetch, TheImportEndsAtItsDeadline) {
    TSite site;
    Urls children;
    for (int i = 0; i < 8; ++i) {
        const std::string path = "/slow" + std::to_string(i) + ".xml";
        site.Put(path, Urlset({"https://x/" + std::to_string(i)}), {}, 3000ms);
        children.push_back("{}" + path);
    }
    site.Put("/index.xml", Index(children));
    TSitemapFetchOptions options;
    options.timeout = 1s;
    const auto start = std::chrono::steady_clock::now();
    TResult<TSitemapLoad> load = LoadSitemap(site.Url("/index.xml"), options);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    ASSERT_TRUE(load) << load.Error();
    EXPECT_TRUE(load->urls.empty());
    EXPECT_EQ(load->leftOut.size(), 8u);
}

TEST(SitemapFetch, LocalIndexTakesRelativePathsAndWebAddresses) {
    TSite site;
    site.Put("/web.xml", Urlset({"https://x/web"}));
    test::TTempDir dir;
    std::filesystem::create_directory(dir.File("sub"));
    test::WriteBytes(dir.File("index.xml"), Index({"sub/a.xml", dir.File("b.xml.gz"),
                                                   site.Url("/web.xml"), "sub/missing.xml"}));
    test::WriteBytes(dir.File("sub/a.xml"), Urlset({"https://x/a"}));
    test::WriteBytes(dir.File("b.xml.gz"), Gzip(Urlset({"https://x/b"})));
    TResult<TSitemapLoad> load = LoadSitemap(dir.File("index.xml"), {});
    ASSERT_TRUE(load) << load.Error();
    EXPECT_EQ(load->urls, (Urls{"https://x/a", "https://x/b", "https://x/web"}));
    ASSERT_EQ(load->leftOut.size(), 1u);
    EXPECT_NE(load->leftOut[0].find(dir.File("sub/missing.xml")), std::string::npos);

    // A local file may be gzip-compressed too.
    TResult<TSitemap> packed = ParseSitemap(dir.File("b.xml.gz"));
    ASSERT_TRUE(packed) << packed.Error();
    EXPECT_EQ(packed->locs, Urls{"https://x/b"});
}

}  // namespace
}  // namespace velmora::io
