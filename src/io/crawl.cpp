#include "io/crawl.h"

#include <cmath>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "base/text.h"
#include "base/translate.h"
#include "http/curl.h"
#include "http/url.h"
#include "io/crawl_pace.h"
#include "io/html_links.h"
#include "io/import_texts.h"
#include "io/robots.h"
#include "io/sitemap_fetch.h"
#include "io/url_import.h"
#include "io/web_fetch.h"

namespace velmora::io {
namespace {

using TClock = std::chrono::steady_clock;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
// The parser's tree takes about 20 times the page; big pages are parsed one at a time.
constexpr size_t kBigPageBytes = 512 * 1024;

std::string HostWithoutWww(const std::string& host) {
    return host.starts_with("www.") ? host.substr(4) : host;
}

// One host's robots.txt and its pace.
struct TOriginState {
    TOriginState(int parallel, std::chrono::milliseconds minGap) : Pace(parallel, minGap) {}
    std::mutex RobotsLock;  // held while robots.txt is read, so it is read once
    bool RobotsRead = false;
    TRobotsRules Rules;
    std::string Refusal;  // why Rules forbid everything, when robots.txt was not read
    THostPace Pace;
};

struct TQueued {
    http::TUrl Url;
    int Depth = 0;
    int Tries = 0;  // answers of 429 or 503 so far
};

// A page the host asked to come back for (429, 503) is tried again this often.
constexpr int kMaxCrawlTries = 3;

// Each crawl thread keeps one client, so its connections to the site are kept between pages.
thread_local std::shared_ptr<http::ICurl> tCrawlClient;

// An answer fetched at its host's pace, or nothing when the crawl ended meanwhile.
struct TPacedAnswer {
    TResult<TWebAnswer> Answer;
    TClock::time_point Started;
};

class TCrawler {
  public:
    TCrawler(const http::TUrl& start, const TCrawlOptions& o)
        : FOptions(o), FSite(start), FDeadline(TClock::now() + CrawlTimeout(o)) {
        Remember(start);
        FQueue.push_back({start, 0});
    }

    TCrawlResult Run() {
        const int threads = std::clamp(FOptions.parallel, 1, kMaxParallelCrawlFetches);
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t)
            pool.emplace_back([this] {
                Work();
                tCrawlClient.reset();
            });
        Watch();
        for (std::thread& t : pool) t.join();
        Report();
        FResult.queued += FQueue.size();
        if (FResult.timedOut) {
            const size_t wanted = static_cast<size_t>(FOptions.maxPages) - FResult.urls.size();
            const double perRequest =
                std::chrono::duration<double>(TClock::now() - FStarted).count() /
                static_cast<double>(std::max<size_t>(FResult.fetched, 1));
            FResult.restEstimate = std::chrono::seconds(static_cast<long long>(
                std::ceil(perRequest * static_cast<double>(std::min(wanted, FResult.queued)))));
        }
        return std::move(FResult);
    }

    bool UserAborted() const { return FOptions.abort && FOptions.abort->load(); }
    const std::string& StartFailure() const { return FStartFailure; }

  private:
    // The calling thread: ends the crawl on abort or at the deadline and reports progress.
    void Watch() {
        std::unique_lock lock(FLock);
        auto reported = TClock::now();
        while (!FDone) {
            FChanged.wait_for(lock, kProgressInterval);
            if (!FStop && (UserAborted() || TClock::now() >= FDeadline)) {
                FResult.timedOut = !UserAborted();
                StopLocked();
            }
            // Every page wakes this thread; the front end wants a few repaints a second.
            if (TClock::now() - reported < kProgressInterval) continue;
            reported = TClock::now();
            lock.unlock();
            Report();
            lock.lock();
        }
    }

    void Report() {
        if (!FOptions.progress) return;
        TCrawlProgress p;
        {
            const std::lock_guard lock(FLock);
            p = {FResult.fetched, FQueue.size(), FResult.urls.size()};
        }
        FOptions.progress(p);
    }

    void StopLocked() {
        FStop = true;
        FStopFlag = true;
        http::WakeTransfers();
        for (const auto& [origin, state] : FOrigins) state->Pace.Wake();
        FChanged.notify_all();
    }

    void Work() {
        std::unique_lock lock(FLock);
        for (;;) {
            FChanged.wait(lock, [this] { return FStop || !FQueue.empty() || FActive == 0; });
            if (FStop || FQueue.empty()) break;
            TQueued item = std::move(FQueue.front());
            FQueue.pop_front();
            ++FActive;
            lock.unlock();
            Visit(std::move(item));
            lock.lock();
            --FActive;
            FChanged.notify_all();
        }
        FDone = FDone || FStop || (FQueue.empty() && FActive == 0);
        FChanged.notify_all();
    }

    bool OnSite(const http::TUrl& url) const {
        if (url.Scheme != FSite.Scheme || url.Port != FSite.Port) return false;
        if (url.Host == FSite.Host) return true;
        if (!FOptions.subdomains) return false;
        const std::string root = HostWithoutWww(FSite.Host);
        const size_t dot = url.Host.size() - root.size() - 1;
        return url.Host.size() > root.size() + 1 && url.Host.ends_with(root) &&
               url.Host[dot] == '.';
    }

    // False when the address was seen before or memory for addresses is spent.
    bool Remember(const http::TUrl& url) {
        if (FKnown.size() >= kMaxCrawlKnownUrls) return false;
        if (!FKnown.insert(url.Text()).second) return false;
        if (!url.HasQuery) return true;
        size_t& variants = FQueryVariants[url.Origin() + url.Path];
        if (variants >= kMaxQueryVariants) {
            ++FResult.queryVariantsOver;
            return false;
        }
        ++variants;
        return true;
    }

    TOriginState& Origin(const http::TUrl& url) {
        const std::lock_guard lock(FLock);
        std::unique_ptr<TOriginState>& state = FOrigins[url.Origin()];
        if (!state)
            state = std::make_unique<TOriginState>(
                std::clamp(FOptions.parallel, 1, kMaxParallelCrawlFetches), FOptions.hostDelay);
        return *state;
    }

    // One GET at the host's pace; nothing when the crawl ends before it may start.
    std::optional<TPacedAnswer> Get(TOriginState& origin, const http::TUrl& url,
                                    std::int64_t maxBytes) {
        if (!origin.Pace.Acquire(FStopFlag)) return std::nullopt;
        const TClock::time_point started = TClock::now();
        try {
            if (!tCrawlClient) tCrawlClient = http::NewCurlClient();
        } catch (const std::exception&) {
            tCrawlClient.reset();  // FetchWeb makes one of its own and says what failed
        }
        TResult<TWebAnswer> answer = FetchWeb({.url = url.Text(),
                                               .maxBytes = maxBytes,
                                               .connectTimeoutMs = FOptions.connectTimeoutMs,
                                               .transferTimeoutMs = FOptions.pageTimeoutMs,
                                               .deadline = FDeadline,
                                               .abort = &FStopFlag,
                                               .maxRedirects = 0,
                                               .client = tCrawlClient.get()});
        origin.Pace.Release(
            answer ? answer->status : 0,
            std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - started),
            answer ? answer->retryAfter : std::string());
        const std::lock_guard lock(FLock);
        ++FResult.fetched;
        // A transfer cut at the deadline may end a few milliseconds before it by this clock.
        if (!answer && TClock::now() + std::chrono::milliseconds(100) >= FDeadline &&
            !UserAborted())
            FResult.timedOut = true;
        return TPacedAnswer{std::move(answer), started};
    }

    // The host's rules, read once: a missing robots.txt allows everything, a server fault
    // forbids everything, as robots.txt's rules ask.
    const TRobotsRules* Rules(const http::TUrl& url) {
        TOriginState& origin = Origin(url);
        const std::lock_guard robotsLock(origin.RobotsLock);
        if (origin.RobotsRead) return &origin.Rules;
        http::TUrl robots = url;
        robots.Path = "/robots.txt";
        robots.HasQuery = false;
        std::optional<TPacedAnswer> paced;
        for (int tries = 0; tries < kMaxCrawlTries; ++tries) {
            paced = Get(origin, robots, kMaxRobotsBytes);
            if (!paced) return nullptr;
            if (!paced->Answer || !IsPause(paced->Answer->status)) break;
        }
        const TResult<TWebAnswer>& answer = paced->Answer;
        if (answer && answer->status == 200)
            origin.Rules = TRobotsRules(answer->body);
        else if (!answer || answer->status >= 500) {
            origin.Rules = TRobotsRules::DisallowAll();
            origin.Refusal = RobotsRefusal(answer);
        }
        // The delay applies from robots.txt's own request on.
        origin.Pace.SetCrawlDelay(origin.Rules.CrawlDelay(), paced->Started);
        origin.RobotsRead = true;
        return &origin.Rules;
    }

    static std::string RobotsRefusal(const TResult<TWebAnswer>& answer) {
        if (answer)
            return FormatLog(Tr(kMsgCrawlRobotsServerError), static_cast<int32_t>(answer->status));
        switch (answer.Code()) {
            case http::kCouldNotResolveHostCode:
            case http::kCouldNotConnectCode:
                return FormatLog(Tr(kMsgCrawlSiteUnreachable), 0, answer.Error());
            case http::kBodyTooLargeCode:
                return FormatLog(Tr(kMsgCrawlRobotsTooLarge),
                                 static_cast<int32_t>(kMaxRobotsBytes / 1024));
            default:
                return FormatLog(Tr(kMsgCrawlRobotsUnread), 0, answer.Error());
        }
    }

    // Why the start cannot be fetched: robots.txt's rule, or why robots.txt was not read.
    std::string Disallowed(const http::TUrl& url) {
        TOriginState& origin = Origin(url);
        const std::lock_guard robotsLock(origin.RobotsLock);
        return origin.Refusal.empty() ? Tr(kMsgCrawlStartDisallowed) : origin.Refusal;
    }

    bool Allowed(const http::TUrl& url) {
        const TRobotsRules* rules = Rules(url);
        if (!rules) return false;
        if (rules->Allowed(url.Path + (url.HasQuery ? "?" + url.Query : ""))) return true;
        const std::lock_guard lock(FLock);
        ++FResult.robotsDisallowed;
        return false;
    }

    void Count(size_t TCrawlResult::*field) {
        const std::lock_guard lock(FLock);
        ++(FResult.*field);
    }

    // The start may move from http to https and to its "www." sibling (or back), on the same
    // port; then that is the site. Any other move would crawl another server.
    bool AdoptStartRedirect(const http::TUrl& to) {
        const bool scheme =
            to.Scheme == FSite.Scheme || (FSite.Scheme == "http" && to.Scheme == "https");
        if (!scheme || to.Port != FSite.Port ||
            HostWithoutWww(to.Host) != HostWithoutWww(FSite.Host))
            return false;
        const std::lock_guard lock(FLock);
        FSite = to;
        FKnown.insert(to.Text());
        return true;
    }

    // Follows redirects within the site; the final HTML answer, or nothing. A page the host
    // asks to come back for is queued again (item.Tries counts).
    std::optional<TWebAnswer> FetchPage(http::TUrl& url, TQueued& item) {
        const bool isStart = item.Depth == 0;
        for (int hop = 0;; ++hop) {
            if (!Allowed(url)) {
                if (isStart) SetStartFailure(url.Text() + ": " + Disallowed(url));
                return std::nullopt;
            }
            std::optional<TPacedAnswer> paced = Get(Origin(url), url, FOptions.maxPageBytes);
            if (!paced) {
                Count(&TCrawlResult::queued);  // the crawl ended before it: still to visit
                return std::nullopt;
            }
            TResult<TWebAnswer>& answer = paced->Answer;
            if (answer && IsPause(answer->status) && ++item.Tries < kMaxCrawlTries) {
                Requeue({url, item.Depth, item.Tries});
                return std::nullopt;
            }
            if (!answer) {
                Count(answer.Code() == http::kBodyTooLargeCode ? &TCrawlResult::tooLarge
                                                               : &TCrawlResult::failed);
                if (isStart) SetStartFailure(url.Text() + ": " + answer.Error());
                return std::nullopt;
            }
            const long status = answer->status;
            if (status >= 300 && status < 400 && !answer->location.empty()) {
                std::optional<http::TUrl> to = http::ResolveUrl(url.Text(), answer->location);
                const bool onSite = to && (OnSite(*to) || (isStart && AdoptStartRedirect(*to)));
                if (!onSite) {
                    if (isStart)
                        SetStartFailure(url.Text() + ": " +
                                        FormatLog(Tr(kMsgCrawlStartOffSite), 0, answer->location));
                    Count(&TCrawlResult::redirectsOffSite);
                    return std::nullopt;
                }
                if (hop + 1 > kMaxCrawlRedirects) {
                    Count(&TCrawlResult::failed);
                    return std::nullopt;
                }
                {
                    const std::lock_guard lock(FLock);
                    if (!Remember(*to) && !isStart) return std::nullopt;  // known already
                }
                url = std::move(*to);
                continue;
            }
            if (status != 200) {
                Count(&TCrawlResult::failed);
                if (isStart)
                    SetStartFailure(url.Text() + ": " +
                                    FormatLog(Tr(kMsgSitemapHttpStatus), int32_t(status)));
                return std::nullopt;
            }
            if (!AsciiLower(answer->contentType).starts_with("text/html")) {
                if (isStart) SetStartFailure(url.Text() + ": " + Tr(kMsgCrawlStartNotHtml));
                Count(&TCrawlResult::notHtml);
                return std::nullopt;
            }
            return std::move(*answer);
        }
    }

    void SetStartFailure(std::string text) {
        const std::lock_guard lock(FLock);
        FStartFailure = std::move(text);
    }

    // Nothing when the crawl ends meanwhile.
    std::optional<THtmlLinks> Parse(const std::string& body) {
        const auto stop = [this] { return FStopFlag.load(); };
        if (body.size() < kBigPageBytes) return ReadHtmlLinks(body, stop);
        const std::lock_guard lock(FBigParse);
        return ReadHtmlLinks(body, stop);
    }

    static bool IsPause(long status) { return status == 429 || status == 503; }

    void Requeue(TQueued item) {
        const std::lock_guard lock(FLock);
        if (FStop) {
            ++FResult.queued;
            return;
        }
        FQueue.push_back(std::move(item));
        FChanged.notify_all();
    }

    void Visit(TQueued item) {
        http::TUrl url = item.Url;
        std::optional<TWebAnswer> answer = FetchPage(url, item);
        if (!answer) return;
        const std::optional<THtmlLinks> parsed = Parse(answer->body);
        answer.reset();
        if (!parsed) return;
        const THtmlLinks& links = *parsed;
        const std::string pageText = url.Text();
        std::optional<http::TUrl> page = url;
        if (!links.Canonical.empty()) {
            std::optional<http::TUrl> canonical = http::ResolveUrl(pageText, links.Canonical);
            if (canonical && canonical->Text() != pageText)
                page = OnSite(*canonical) && Allowed(*canonical) ? canonical : std::nullopt;
        }
        std::optional<http::TUrl> base = url;
        if (!links.Base.empty()) base = http::ResolveUrl(pageText, links.Base);
        std::vector<http::TUrl> next;
        if (base && !links.NoFollow && item.Depth < FOptions.maxDepth) {
            const std::string baseText = base->Text();
            for (const std::string& href : links.Links) {
                std::optional<http::TUrl> to = http::ResolveUrl(baseText, href);
                if (to && OnSite(*to) && !IsExcludedExtension(to->Path)) next.push_back(*to);
            }
        }
        const std::lock_guard lock(FLock);
        if (page) AddFound(page->Text());
        if (FStop) return;
        for (http::TUrl& to : next)
            if (Remember(to)) FQueue.push_back({std::move(to), item.Depth + 1});
        FChanged.notify_all();
    }

    void AddFound(std::string url) {
        if (FStop || !FFound.insert(url).second) return;
        FResult.urls.push_back(std::move(url));
        if (FResult.urls.size() >= static_cast<size_t>(FOptions.maxPages)) {
            FResult.pageLimit = true;
            StopLocked();
        }
    }

    const TCrawlOptions& FOptions;
    http::TUrl FSite;  // scheme, host and port of the site
    const TClock::time_point FStarted = TClock::now();
    const TClock::time_point FDeadline;
    std::mutex FLock;  // everything below but the origins' own state
    std::condition_variable FChanged;
    std::deque<TQueued> FQueue;
    std::unordered_set<std::string> FKnown;
    std::unordered_map<std::string, size_t> FQueryVariants;
    std::unordered_set<std::string> FFound;
    std::map<std::string, std::unique_ptr<TOriginState>> FOrigins;
    std::mutex FBigParse;
    TCrawlResult FResult;
    std::string FStartFailure;
    int FActive = 0;
    bool FStop = false;
    bool FDone = false;
    std::atomic<bool> FStopFlag{false};  // FStop for the transfers' abort predicate
};

}  // namespace

std::vector<std::string> CrawlReportLines(const TCrawlResult& r) {
    std::vector<std::string> lines{
        FormatLog(Tr(kLogCrawlDone), {std::to_string(r.fetched), std::to_string(r.urls.size())})};
    const std::pair<size_t, const char*> counts[] = {{r.robotsDisallowed, kLogCrawlRobots},
                                                     {r.notHtml, kLogCrawlNotHtml},
                                                     {r.failed, kLogCrawlFailed},
                                                     {r.tooLarge, kLogCrawlTooLarge},
                                                     {r.redirectsOffSite, kLogCrawlOffSite},
                                                     {r.queryVariantsOver, kLogCrawlQueryVariants}};
    for (const auto& [count, text] : counts)
        if (count > 0) lines.push_back(FormatLog(Tr(text), static_cast<int32_t>(count)));
    if (r.pageLimit) lines.push_back(FormatLog(Tr(kLogCrawlPageLimit), int32_t(r.urls.size())));
    if (r.timedOut) {
        lines.push_back(Tr(kLogCrawlTimedOut));
        const long long minutes = (r.restEstimate.count() + 59) / 60;
        lines.push_back(FormatLog(Tr(kLogCrawlTimedOutRest),
                                  {std::to_string(r.urls.size()), std::to_string(r.queued),
                                   std::to_string(std::max(minutes, 1LL))}));
    }
    return lines;
}

std::chrono::milliseconds CrawlTimeout(const TCrawlOptions& options) {
    if (options.timeout.count() > 0) return options.timeout;
    return std::max<std::chrono::milliseconds>(
        kDefaultCrawlTimeout, kCrawlTimeoutPerPage * std::max(options.maxPages, 1));
}

TResult<TCrawlResult> CrawlSite(const std::string& start, const TCrawlOptions& options) {
    const std::optional<http::TUrl> url =
        IsWebAddress(start) ? http::ParseUrl(start) : std::nullopt;
    if (!url) return Fail(Tr(kMsgSitemapNotWeb));
    TCrawler crawler(*url, options);
    TCrawlResult result = crawler.Run();
    if (crawler.UserAborted()) return Fail(Tr(kMsgSitemapAborted));
    if (result.urls.empty() && !crawler.StartFailure().empty()) return Fail(crawler.StartFailure());
    return result;
}

}  // namespace velmora::io
