#include "engine/retry.h"

#include <algorithm>
#include <charconv>
#include <random>

#include "base/text.h"
#include "http/curl.h"

namespace velmora {
namespace {

// libcurl's codes of a passing fault of the line: refused, reset or dropped connections,
// partial or empty answers, time-outs.
constexpr int32_t kPassingCurlCodes[] = {
    http::kCouldNotConnectCode, http::kPartialFileCode, http::kTimedOutCode,
    http::kGotNothingCode,      http::kSendErrorCode,   http::kRecvErrorCode,
};

bool PassingStatus(long status) {
    return status == 500 || status == 502 || status == 503 || status == 504;
}

}  // namespace

TFailureKind ClassifyFailure(const TAttemptOutcome& o) {
    switch (o.Result) {
        case trOK:
        case trNotHTML:
        case trNotChecked:
        case trAborted:
            return TFailureKind::None;
        case trSendError:
            return std::find(std::begin(kPassingCurlCodes), std::end(kPassingCurlCodes),
                             o.CurlCode) != std::end(kPassingCurlCodes)
                       ? TFailureKind::Passing
                       : TFailureKind::Final;
        case trQuotaExceeded:
            return o.Quota == TQuotaKind::Daily ? TFailureKind::DailyQuota : TFailureKind::Quota;
        case trParseError:
            // A body cut short (or none) on a good status is a fault of the line; an HTTP error
            // without JSON counts by its status.
            if (o.HttpStatus == 429) return TFailureKind::Quota;
            if (o.HttpStatus == 200 || PassingStatus(o.HttpStatus)) return TFailureKind::Passing;
            return TFailureKind::Final;
        case trServiceError: {
            const long code = o.ServiceCode > 0 ? o.ServiceCode : o.HttpStatus;
            if (code == 429) return TFailureKind::Quota;
            if (!PassingStatus(code) && !PassingStatus(o.HttpStatus)) return TFailureKind::Final;
            return o.PageErrorMessage ? TFailureKind::PageError : TFailureKind::Passing;
        }
        case trUnknownResponse:
            return TFailureKind::Final;
        case trPageError:
            return TFailureKind::PageError;
    }
    return TFailureKind::Final;
}

TQuotaKind QuotaKindOf(std::string_view message, std::string_view quotaLimit) {
    const std::string text = AsciiLower(message);
    const std::string limit = AsciiLower(quotaLimit);
    if (text.find("per day") != std::string::npos || limit.find("perday") != std::string::npos)
        return TQuotaKind::Daily;
    if (text.find("per minute") != std::string::npos ||
        limit.find("perminute") != std::string::npos)
        return TQuotaKind::PerMinute;
    return TQuotaKind::Unknown;
}

int ParseRetryAfter(std::string_view header) {
    while (!header.empty() && header.front() == ' ') header.remove_prefix(1);
    while (!header.empty() && header.back() == ' ') header.remove_suffix(1);
    int seconds = -1;
    const auto r = std::from_chars(header.data(), header.data() + header.size(), seconds);
    if (header.empty() || r.ec != std::errc() || r.ptr != header.data() + header.size() ||
        seconds < 0)
        return -1;
    return seconds;
}

std::chrono::milliseconds BackoffDelay(int retry, double jitter, int retryAfterSeconds) {
    if (retryAfterSeconds >= 0)
        return std::min(std::chrono::milliseconds(int64_t{retryAfterSeconds} * 1000), kBackoffMax);
    const int doublings = std::clamp(retry - 1, 0, 16);
    const double ms = static_cast<double>(kBackoffBase.count()) * double(1 << doublings) *
                      std::clamp(jitter, 0.5, 1.5);
    return std::min(std::chrono::milliseconds(static_cast<int64_t>(ms)), kBackoffMax);
}

double RandomJitter() {
    thread_local std::minstd_rand rng{std::random_device{}()};
    return std::uniform_real_distribution<double>(0.5, 1.5)(rng);
}

}  // namespace velmora
