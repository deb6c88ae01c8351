#include "io/crawl_pace.h"

#include <algorithm>
#include <charconv>
#include <ctime>
#include <string>

namespace velmora::io {

THostPace::THostPace(int parallel, std::chrono::milliseconds minGap)
    : FParallel(std::max(parallel, 1)), FMinGap(minGap), FWindow(FParallel) {}

std::chrono::milliseconds THostPace::GapLocked() const {
    return std::max({FMinGap, FCrawlDelay, FBackoff});
}

bool THostPace::Acquire(const std::atomic<bool>& stop) {
    std::unique_lock lock(FLock);
    for (;;) {
        if (stop.load()) return false;
        const TClock::time_point now = TClock::now();
        if (FInFlight < FWindow && now >= FNext) {
            ++FInFlight;
            FNext = now + GapLocked();
            return true;
        }
        if (FInFlight >= FWindow)
            FChanged.wait(lock);
        else
            FChanged.wait_until(lock, FNext);
    }
}

void THostPace::Release(long status, std::chrono::milliseconds took, std::string_view retryAfter) {
    const std::lock_guard lock(FLock);
    --FInFlight;
    if (status == 429 || status == 503) {
        // The host asks for a pause: as long as its Retry-After says, else a gap that doubles
        // until answers come normally again; then one request at a time.
        const std::chrono::milliseconds asked =
            RetryAfterWait(retryAfter, std::chrono::system_clock::now());
        if (asked.count() < 0)
            FBackoff = std::clamp(FBackoff * 2, kCrawlBackoffStart, kMaxCrawlBackoff);
        const std::chrono::milliseconds pause =
            asked.count() >= 0 ? std::min(asked, kMaxCrawlBackoff) : FBackoff;
        FNext = std::max(FNext, TClock::now() + pause);
        FWindow = 1;
        FFastInRow = 0;
    } else if (status == 0 || took > kSlowCrawlAnswer) {
        FWindow = std::max(1, FWindow / 2);
        FFastInRow = 0;
    } else if (++FFastInRow >= FWindow) {
        // A window's worth of quick answers: one more at once, and a shorter pause.
        FFastInRow = 0;
        FWindow = std::min(FParallel, FWindow + 1);
        FBackoff = FBackoff / 2 < std::chrono::milliseconds(50) ? std::chrono::milliseconds(0)
                                                                : FBackoff / 2;
    }
    FChanged.notify_all();
}

void THostPace::SetCrawlDelay(std::chrono::milliseconds delay, TClock::time_point from) {
    const std::lock_guard lock(FLock);
    FCrawlDelay = delay;
    FNext = std::max(FNext, from + GapLocked());
    FChanged.notify_all();
}

void THostPace::Wake() {
    const std::lock_guard lock(FLock);
    FChanged.notify_all();
}

int THostPace::Window() const {
    const std::lock_guard lock(FLock);
    return FWindow;
}

std::chrono::milliseconds RetryAfterWait(std::string_view value,
                                         std::chrono::system_clock::time_point now) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.empty()) return std::chrono::milliseconds(-1);
    long long seconds = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (ec == std::errc() && end == value.data() + value.size())
        return seconds < 0 ? std::chrono::milliseconds(-1)
                           : std::chrono::milliseconds(std::min(seconds, 86'400LL) * 1000);
    // An HTTP date: "Sun, 06 Nov 1994 08:49:37 GMT".
    std::tm tm{};
    const std::string text(value);
    const char* parsed = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &tm);
    if (parsed == nullptr || *parsed != '\0') return std::chrono::milliseconds(-1);
    const auto at = std::chrono::system_clock::from_time_t(timegm(&tm));
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::duration_cast<std::chrono::milliseconds>(at - now));
}

}  // namespace velmora::io
