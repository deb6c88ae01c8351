// Which failed requests are worth another try, and how long to wait before it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "engine/tasks.h"

namespace velmora {

// Which quota an answer names.
enum class TQuotaKind : uint8_t { None, PerMinute, Daily, Unknown };

// What one request's failure means for the run.
enum class TFailureKind : uint8_t {
    None,        // answered: a result, or an answer about the page
    Passing,     // a fault of the service or the line; another try may well succeed
    PageError,   // the service could not load the page; worth one more try only
    Quota,       // the per-minute quota (or one of unknown period): put back, pace down
    DailyQuota,  // nothing more will pass today
    Final,       // the key, the request or the program: trying again changes nothing
};

// The facts of one attempt, gathered by the worker from the client and the interpretation.
struct TAttemptOutcome {
    TTaskResult Result = trNotChecked;
    int32_t CurlCode = 0;     // libcurl's code when the transfer failed, else 0
    long HttpStatus = 0;      // 0 when no answer came
    int32_t ServiceCode = 0;  // the error object's code
    TQuotaKind Quota = TQuotaKind::None;
    bool PageErrorMessage = false;  // FAILED_ or ERRORED_DOCUMENT_REQUEST
};

TFailureKind ClassifyFailure(const TAttemptOutcome& outcome);

// The quota an error names: its message or its ErrorInfo quota limit.
TQuotaKind QuotaKindOf(std::string_view message, std::string_view quotaLimit);

// Seconds of a Retry-After header given in seconds; negative when absent or in another form.
int ParseRetryAfter(std::string_view header);

inline constexpr std::chrono::milliseconds kBackoffBase{5000};
inline constexpr std::chrono::milliseconds kBackoffMax{120000};

// Wait before retry number n (1-based): kBackoffBase x 2^(n-1) x jitter, jitter in 0.5..1.5;
// a Retry-After of the answer (seconds, >= 0) wins. Never above kBackoffMax.
std::chrono::milliseconds BackoffDelay(int retry, double jitter, int retryAfterSeconds = -1);
// A jitter factor in 0.5..1.5 from a per-thread generator.
double RandomJitter();

}  // namespace velmora
