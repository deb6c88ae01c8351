// One GET of a file from another site for the imports: the User-Agent, the size cap, the time
// left of the import's deadline and its abort, and failures as translated reasons.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "base/result.h"
#include "http/curl.h"

namespace velmora::io {

// "Velmora/<version>", sent with every file an import fetches.
inline constexpr const char* kImportUserAgent = "Velmora/" VELMORA_VERSION;

struct TWebFetch {
    std::string url;
    std::int64_t maxBytes = 0;  // unpacked; beyond it the fetch fails with kMsgSitemapTooLarge
    long connectTimeoutMs = 15'000;
    long transferTimeoutMs = 60'000;  // shortened to what is left before deadline
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
    const std::atomic<bool>* abort = nullptr;
    // 0: a redirect is the answer (its Location in TWebAnswer::location).
    long maxRedirects = 0;
    // Reused when given (its connections kept for the next fetch), else one made for this
    // fetch.
    http::ICurl* client = nullptr;
};

struct TWebAnswer {
    long status = 0;
    std::string body;         // unpacked (gzip, deflate, brotli)
    std::string contentType;  // the Content-Type header
    std::string location;     // the Location header
    std::string retryAfter;   // the Retry-After header
};

// Any HTTP status is an answer; only a transfer that fails is a failure, with the translated
// reason: kMsgSitemapAborted, kMsgSitemapTimedOut (deadline passed), kMsgSitemapTooLarge,
// else kMsgSitemapDownloadFailed and libcurl's words; Code() is libcurl's (http::k...Code).
TResult<TWebAnswer> FetchWeb(const TWebFetch& fetch);

}  // namespace velmora::io
