// One host's pace during a crawl: how many requests may be in flight to it and when the next may
// start. The site sets the pace: a few requests at once while it answers quickly, fewer when it
// answers slowly, a pause when it says 429 or 503 (for as long as its Retry-After asks).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string_view>

namespace velmora::io {

// An answer slower than this halves the requests in flight to the host.
inline constexpr std::chrono::milliseconds kSlowCrawlAnswer{2000};
// The pause after a 429 or 503 without a usable Retry-After, doubled after each further one.
inline constexpr std::chrono::milliseconds kCrawlBackoffStart{1000};
// The longest pause a host's Retry-After may ask; the crawl's deadline still holds.
inline constexpr std::chrono::milliseconds kMaxCrawlBackoff{300'000};

class THostPace {
  public:
    using TClock = std::chrono::steady_clock;

    // parallel: requests in flight at most (>= 1); minGap: between two request starts.
    THostPace(int parallel, std::chrono::milliseconds minGap);

    // Waits for a free slot and the host's next moment; false when stop became true (then
    // call Wake to end the wait at once). Every true needs a Release.
    bool Acquire(const std::atomic<bool>& stop);
    // The outcome of an acquired request: the HTTP status (0: no answer), the time it took and
    // its Retry-After header (empty when none).
    void Release(long status, std::chrono::milliseconds took, std::string_view retryAfter);
    // robots.txt's Crawl-delay, counted from the request that fetched robots.txt.
    void SetCrawlDelay(std::chrono::milliseconds delay, TClock::time_point from);
    void Wake();

    // For tests and the log: the requests allowed at once now.
    int Window() const;

  private:
    std::chrono::milliseconds GapLocked() const;

    mutable std::mutex FLock;
    std::condition_variable FChanged;
    const int FParallel;
    const std::chrono::milliseconds FMinGap;
    std::chrono::milliseconds FCrawlDelay{0};
    std::chrono::milliseconds FBackoff{0};
    int FWindow;
    int FInFlight = 0;
    int FFastInRow = 0;
    TClock::time_point FNext{};
};

// The wait a Retry-After header asks (delta seconds or an HTTP date); negative when it asks
// none that can be read.
std::chrono::milliseconds RetryAfterWait(std::string_view value,
                                         std::chrono::system_clock::time_point now);

}  // namespace velmora::io
