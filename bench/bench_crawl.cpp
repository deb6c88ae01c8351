// A crawl of a generated local site of 10 000 pages: pages per second without delays (bound by
// the parser, see BM_ParseSitePages) and at the default manners, and the peak memory.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <sys/resource.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "http/curl.h"
#include "io/crawl.h"
#include "io/html_links.h"

namespace {

using namespace velmora;
using namespace std::chrono_literals;

constexpr int kPages = 10'000;
constexpr int kLinksPerPage = 20;

// Page n links to its 20 children in a tree (n * 20 + 1 ...), to its parent and to a few pages
// elsewhere, inside about 20 KB of ordinary markup.
std::string Page(int n) {
    std::string html =
        "<!doctype html><html lang=en><head><meta charset=utf-8><title>Page " + std::to_string(n) +
        "</title><link rel=stylesheet href=/s.css><script src=/app.js></script></head><body>"
        "<header><nav><a href=/>Home</a> <a href=/p/1>Catalogue</a></nav></header><main>";
    for (int k = 1; k <= kLinksPerPage; ++k) {
        const int child = n * kLinksPerPage + k;
        if (child < kPages)
            html += "<div class=card><h2>Item " + std::to_string(child) +
                    "</h2><p>Some text about the item, with <b>bold</b> words &amp; more.</p>"
                    "<a href=\"/p/" +
                    std::to_string(child) + "\">more</a></div>\n";
    }
    for (int k = 0; k < 5; ++k)
        html += "<a href=\"/p/" + std::to_string((n * 7919 + k * 104729) % kPages) + "\">see</a>";
    while (html.size() < 20'000)
        html += "<p class=filler>Lorem ipsum dolor sit amet, consectetur adipiscing elit.</p>\n";
    return html + "</main></body></html>";
}

class TGeneratedSite {
  public:
    TGeneratedSite() {
        FServer.Get(R"(/p/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            Serve(Page(std::stoi(req.matches[1])), res);
        });
        FServer.Get("/",
                    [](const httplib::Request&, httplib::Response& res) { Serve(Page(0), res); });
        FPort = FServer.bind_to_any_port("127.0.0.1");
        FThread = std::thread([this] { FServer.listen_after_bind(); });
        while (!FServer.is_running()) std::this_thread::sleep_for(1ms);
    }
    ~TGeneratedSite() {
        FServer.stop();
        FThread.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/"; }

  private:
    // With a length given, cpp-httplib sends the page as it is: brotli at its highest level
    // would cost the server many times what the crawl measures.
    static void Serve(std::string page, httplib::Response& res) {
        auto body = std::make_shared<std::string>(std::move(page));
        res.set_content_provider(body->size(), "text/html",
                                 [body](size_t offset, size_t length, httplib::DataSink& sink) {
                                     return sink.write(body->data() + offset, length);
                                 });
    }

    httplib::Server FServer;
    int FPort = 0;
    std::thread FThread;
};

double PeakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void Crawl(benchmark::State& state, std::chrono::milliseconds hostDelay, int maxPages) {
    const http::TCurlGlobal curl;
    TGeneratedSite site;
    size_t found = 0;
    for (auto _ : state) {
        io::TCrawlOptions o;
        o.hostDelay = hostDelay;
        o.maxPages = maxPages;
        TResult<io::TCrawlResult> r = io::CrawlSite(site.Url(), o);
        if (!r) {
            state.SkipWithError(r.Error().c_str());
            break;
        }
        found = r->urls.size();
    }
    state.counters["pages"] = static_cast<double>(found);
    state.counters["pages_per_s"] = benchmark::Counter(
        static_cast<double>(found), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["peak_rss_mb"] = PeakRssMb();
}

// The whole site, delays off: four fetches at once, each page parsed.
void BM_CrawlSiteNoDelay(benchmark::State& state) {
    Crawl(state, 0ms, kPages);
}
BENCHMARK(BM_CrawlSiteNoDelay)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// Default manners: one request per 250 ms to the host, so 40 pages take ten seconds.
void BM_CrawlSiteDefaultManners(benchmark::State& state) {
    Crawl(state, io::kDefaultCrawlHostDelay, 40);
}
BENCHMARK(BM_CrawlSiteDefaultManners)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// The parser alone on the same pages, one thread: the bound of a crawl without delays.
void BM_ParseSitePages(benchmark::State& state) {
    std::vector<std::string> pages;
    for (int n = 0; n < 200; ++n) pages.push_back(Page(n * 37));
    size_t links = 0;
    for (auto _ : state)
        for (const std::string& page : pages) links += io::ReadHtmlLinks(page)->Links.size();
    benchmark::DoNotOptimize(links);
    state.counters["pages_per_s"] = benchmark::Counter(
        static_cast<double>(pages.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ParseSitePages)->Unit(benchmark::kMillisecond);

// A hostile page of N nested blocks: the parse stays linear in N and its memory bounded (run one
// size per process for its peak: --benchmark_filter=BM_ParseDeepPage/200000).
void BM_ParseDeepPage(benchmark::State& state) {
    std::string html = "<!doctype html><body>";
    for (int64_t i = 0; i < state.range(0); ++i) html += "<div class=x>";
    html += "<a href=/bottom>b</a>";
    const double before = PeakRssMb();
    size_t links = 0;
    for (auto _ : state) links += io::ReadHtmlLinks(html)->Links.size();
    if (links == 0) state.SkipWithError("the link at the bottom was lost");
    state.counters["page_mb"] = static_cast<double>(html.size()) / (1024.0 * 1024.0);
    state.counters["peak_rss_mb"] = PeakRssMb();
    state.counters["rss_growth_mb"] = PeakRssMb() - before;
}
BENCHMARK(BM_ParseDeepPage)->Arg(10'000)->Arg(50'000)->Arg(200'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
