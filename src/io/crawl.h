// Finds a site's pages by following its links from a start address: the candidate URLs of an
// import for sites without a usable sitemap.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/result.h"

namespace velmora::io {

inline constexpr int kCrawlMaxPagesDefault = 500;
inline constexpr int kCrawlMaxPagesMax = 10'000;
inline constexpr int kCrawlMaxDepthDefault = 5;
inline constexpr int kCrawlMaxDepthMax = 100;
// The deadline when none is given: at least this, more for many pages (CrawlTimeout).
inline constexpr std::chrono::seconds kDefaultCrawlTimeout{600};
// Of the default deadline per page asked: a site that takes a request every 250 ms still gives
// every page asked for.
inline constexpr std::chrono::milliseconds kCrawlTimeoutPerPage{250};
// Calendars and filters make endless addresses of one path.
inline constexpr size_t kMaxQueryVariants = 20;
inline constexpr int kMaxCrawlRedirects = 5;
inline constexpr std::int64_t kMaxPageBytes = 5 * 1024 * 1024;
inline constexpr long kPageTimeoutMs = 20'000;
// Requests in flight to a host, as polite crawlers of the field keep it; fewer while the host
// answers slowly (crawl_pace.h).
inline constexpr int kDefaultCrawlParallel = 4;
inline constexpr int kMaxParallelCrawlFetches = 16;
// No fixed pause between requests: the site's answers, its Crawl-delay and --crawl-rate set it.
inline constexpr std::chrono::milliseconds kDefaultCrawlHostDelay{0};
// Addresses the crawl remembers (fetched or waiting); beyond it new links are dropped, so that
// a site of endless addresses cannot fill memory.
inline constexpr size_t kMaxCrawlKnownUrls = 200'000;

// Counts shown while a crawl runs.
struct TCrawlProgress {
    size_t fetched = 0;  // requests answered or failed, robots.txt included
    size_t queued = 0;   // addresses waiting
    size_t found = 0;    // pages found
};

struct TCrawlOptions {
    int maxPages = kCrawlMaxPagesDefault;  // 1..kCrawlMaxPagesMax
    int maxDepth = kCrawlMaxDepthDefault;  // links from the start page are depth 1
    bool subdomains = false;  // also hosts ending in ".<start host>" (its "www." left out)
    std::chrono::milliseconds timeout{0};  // 0: CrawlTimeout's default for maxPages
    // Between two request starts to one host (1000 / --crawl-rate); a longer Crawl-delay of
    // robots.txt wins.
    std::chrono::milliseconds hostDelay = kDefaultCrawlHostDelay;
    int parallel = kDefaultCrawlParallel;  // 1..kMaxParallelCrawlFetches
    std::int64_t maxPageBytes = kMaxPageBytes;
    long pageTimeoutMs = kPageTimeoutMs;
    long connectTimeoutMs = 15'000;
    // Set from any thread to end the crawl; CrawlSite then fails with kMsgSitemapAborted.
    const std::atomic<bool>* abort = nullptr;
    // Called on the calling thread, at most every 100 ms and once at the end.
    std::function<void(const TCrawlProgress&)> progress;
};

struct TCrawlResult {
    std::vector<std::string> urls;  // the pages found, in the order found
    size_t fetched = 0;
    // Addresses left out, by reason.
    size_t robotsDisallowed = 0;
    size_t notHtml = 0;
    size_t failed = 0;  // no answer, an HTTP error, too many redirects
    size_t tooLarge = 0;
    size_t redirectsOffSite = 0;
    size_t queryVariantsOver = 0;
    bool pageLimit = false;  // stopped at maxPages
    bool timedOut = false;   // stopped at the deadline
    size_t queued = 0;       // links still waiting when the crawl stopped
    // For a crawl cut by its deadline: about how long the pages still to find (up to maxPages,
    // at most the links queued) would take at the pace the crawl had.
    std::chrono::seconds restEstimate{0};
};

// The crawl's deadline: options.timeout, else the default for options.maxPages.
std::chrono::milliseconds CrawlTimeout(const TCrawlOptions& options);

// Crawls from start (an http(s) address). Fails with a translated message when start is no web
// address, when the crawl is aborted, or when not even the start page could be read.
TResult<TCrawlResult> CrawlSite(const std::string& start, const TCrawlOptions& options);

// The result's skip reasons and stops as translated lines, only those that occurred.
std::vector<std::string> CrawlReportLines(const TCrawlResult& result);

}  // namespace velmora::io
