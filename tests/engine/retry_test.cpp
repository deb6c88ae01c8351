// What is tried again and how long to wait, and the cleaning of texts from the network.
#include "engine/retry.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "base/translate.h"

namespace velmora {
namespace {

using std::chrono::milliseconds;

TEST(Retry, WhichFailuresAreTriedAgain) {
    using K = TFailureKind;
    using Q = TQuotaKind;
    struct TCase {
        const char* what;
        TAttemptOutcome outcome;
        TFailureKind kind;
    } cases[] = {
        {"good answer", {trOK, 0, 200}, K::None},
        {"not HTML", {trNotHTML, 0, 400, 400}, K::None},
        {"service 500", {trServiceError, 0, 500, 500}, K::Passing},
        {"service 503 with a word for its code", {trServiceError, 0, 503, 999}, K::Passing},
        {"502 without JSON", {trServiceError, 0, 502, 0}, K::Passing},
        {"504 without JSON", {trServiceError, 0, 504, 0}, K::Passing},
        {"500 naming a page error", {trServiceError, 0, 500, 500, Q::None, true}, K::PageError},
        {"400 lighthouse error", {trServiceError, 0, 400, 400}, K::Final},
        {"key forbidden", {trServiceError, 0, 403, 403}, K::Final},
        {"per-minute quota", {trQuotaExceeded, 0, 429, 429, Q::PerMinute}, K::Quota},
        {"quota of unknown period", {trQuotaExceeded, 0, 429, 429, Q::Unknown}, K::Quota},
        {"daily quota", {trQuotaExceeded, 0, 429, 429, Q::Daily}, K::DailyQuota},
        {"429 without JSON", {trServiceError, 0, 429, 0}, K::Quota},
        {"empty or cut body on 200", {trParseError, 0, 200}, K::Passing},
        {"HTML error page on 404", {trServiceError, 0, 404, 0}, K::Final},
        {"connection refused", {trSendError, 7}, K::Passing},
        {"connection reset", {trSendError, 56}, K::Passing},
        {"nothing came back", {trSendError, 52}, K::Passing},
        {"partial body", {trSendError, 18}, K::Passing},
        {"time-out", {trSendError, 28}, K::Passing},
        {"certificate", {trSendError, 60}, K::Final},
        {"answer over the cap", {trSendError, 63}, K::Final},
        {"unknown answer shape", {trUnknownResponse, 0, 200}, K::Final},
        {"abort", {trAborted}, K::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ClassifyFailure(c.outcome), c.kind);
    }
}

TEST(Retry, QuotaPeriodFromTheServicesWording) {
    EXPECT_EQ(QuotaKindOf("Quota exceeded for quota metric 'Queries' and limit 'Queries per "
                          "minute' of service 'pagespeedonline.googleapis.com'",
                          "defaultPerMinutePerProject"),
              TQuotaKind::PerMinute);
    EXPECT_EQ(QuotaKindOf("Quota exceeded for quota metric 'Queries' and limit 'Queries per day' "
                          "of service 'pagespeedonline.googleapis.com'",
                          ""),
              TQuotaKind::Daily);
    EXPECT_EQ(QuotaKindOf("Quota exceeded.", "defaultPerDayPerProject"), TQuotaKind::Daily);
    EXPECT_EQ(QuotaKindOf("Quota exceeded for quota group 'default' and limit 'USER-100s'", ""),
              TQuotaKind::Unknown);
}

TEST(Retry, BackoffDoublesWithJitterAndHonoursRetryAfter) {
    EXPECT_EQ(BackoffDelay(1, 1.0), milliseconds(5000));
    EXPECT_EQ(BackoffDelay(2, 1.0), milliseconds(10000));
    EXPECT_EQ(BackoffDelay(3, 1.0), milliseconds(20000));
    EXPECT_EQ(BackoffDelay(1, 0.5), milliseconds(2500));
    EXPECT_EQ(BackoffDelay(2, 1.5), milliseconds(15000));
    EXPECT_EQ(BackoffDelay(2, 9.0), milliseconds(15000)) << "jitter is held to 0.5..1.5";
    EXPECT_EQ(BackoffDelay(10, 1.5), kBackoffMax);
    EXPECT_EQ(BackoffDelay(3, 1.0, 9), milliseconds(9000));
    EXPECT_EQ(BackoffDelay(1, 1.0, 0), milliseconds(0));
    EXPECT_EQ(BackoffDelay(1, 1.0, 86400), kBackoffMax);
    for (int i = 0; i < 100; ++i) {
        const double j = RandomJitter();
        EXPECT_GE(j, 0.5);
        EXPECT_LE(j, 1.5);
    }

    struct {
        const char* header;
        int seconds;
    } headers[] = {{"9", 9},
                   {" 120 ", 120},
                   {"0", 0},
                   {"", -1},
                   {"-3", -1},
                   {"1.5", -1},
                   {"Wed, 21 Oct 2015 07:28:00 GMT", -1}};
    for (const auto& h : headers) EXPECT_EQ(ParseRetryAfter(h.header), h.seconds) << h.header;
}

TEST(NetworkText, KeyValuesAreMaskedAndControlCharactersReplaced) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"GET /v5/runPagespeed?url=x&key=AIzaSECRET&strategy=mobile",
         "GET /v5/runPagespeed?url=x&key=***&strategy=mobile"},
        {"bad KEY=AIzaSECRET here", "bad KEY=*** here"},
        {"'key=AIzaSECRET'", "'key=***'"},
        {"monkey=banana", "monkey=banana"},
        {"key=", "key="},
        {"line\r\n12:00:00 forged\x1b[2J", "line  12:00:00 forged [2J"},
        {"c1 \xC2\x9B"
         "31m",
         "c1  31m"},
        {"Привет, é", "Привет, é"},
    };
    for (const auto& c : cases) EXPECT_EQ(SafeNetworkText(c.in), c.out) << c.in;
}

TEST(LogFormat, SeveralValuesFillTheirPlacesInOrder) {
    EXPECT_EQ(FormatLog("URL %d: %s, retry %d of %d in %d s", {"5", "HTTP 503", "1", "2", "9"}),
              "URL 5: HTTP 503, retry 1 of 2 in 9 s");
    EXPECT_EQ(FormatLog("%s%% and %s", {"50"}), "50% and ");
}

}  // namespace
}  // namespace velmora
