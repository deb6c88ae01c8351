#include "io/web_fetch.h"

#include <algorithm>
#include <memory>

#include "base/translate.h"
#include "http/curl.h"
#include "io/import_texts.h"

namespace velmora::io {

TResult<TWebAnswer> FetchWeb(const TWebFetch& f) {
    try {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              f.deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return Fail(Tr(kMsgSitemapTimedOut), http::kTimedOutCode);
        std::shared_ptr<http::ICurl> own;
        http::ICurl* curl = f.client;
        if (!curl) curl = (own = http::NewCurlClient()).get();
        curl->SetUserAgent(kImportUserAgent)
            .SetTimeouts(f.connectTimeoutMs,
                         std::min<long>(f.transferTimeoutMs, static_cast<long>(left)))
            .FollowRedirects(f.maxRedirects)
            .SetMaxBodyBytes(f.maxBytes)
            .AcceptCompressed()
            .SwitchRecvToString()
            .SetUrl(*http::NewGetBuilder(f.url));
        curl->SetAbortPredicate(f.abort ? http::TAbortPredicate([a = f.abort] { return a->load(); })
                                        : http::TAbortPredicate());
        curl->Perform();
        TWebAnswer answer;
        answer.status = curl->ResponseCode();
        answer.body = curl->ResponseBody();
        answer.contentType = curl->ResponseHeader("Content-Type");
        answer.location = curl->ResponseHeader("Location");
        answer.retryAfter = curl->ResponseHeader("Retry-After");
        return answer;
    } catch (const http::ECurlError& e) {
        if (e.Code == http::kAbortedCode) return Fail(Tr(kMsgSitemapAborted), e.Code);
        if (e.Code == http::kBodyTooLargeCode) return Fail(Tr(kMsgSitemapTooLarge), e.Code);
        if (e.Code == http::kTimedOutCode && std::chrono::steady_clock::now() >= f.deadline)
            return Fail(Tr(kMsgSitemapTimedOut), e.Code);
        return Fail(Tr(kMsgSitemapDownloadFailed) + e.what(), e.Code);
    } catch (const std::exception& e) {
        return Fail(Tr(kMsgSitemapDownloadFailed) + e.what());
    }
}

}  // namespace velmora::io
