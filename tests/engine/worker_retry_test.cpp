// The worker's retries against a scripted client on a clock that jumps: passing faults are tried
// again after a backoff, answers about the page and the key are not, quota refusals are put
// back, a daily quota stops the run, and an abort ends a backoff at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "engine/fake_service.h"
#include "engine/worker.h"
#include "engine/worker_test_sink.h"

namespace velmora {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using testing_support::ErrorFixture;
using testing_support::FastAnswer;
using testing_support::IsDesktopRequest;
using testing_support::TFakeAnswer;
using testing_support::TFakeCurl;
using testing_support::TFakeScript;
using testing_support::TManualClock;
using testing_support::TQueueSink;
using testing_support::TResponder;
using testing_support::TWorkerThreads;

struct TReply {
    TReply(std::string body = {}, long status = 200, std::string retryAfter = {}, int curlError = 0)
        : Body(std::move(body)),
          Status(status),
          RetryAfter(std::move(retryAfter)),
          CurlError(curlError) {}
    std::string Body;  // empty with status 200: a recorded good answer
    long Status;
    std::string RetryAfter;
    int CurlError;  // > 0: the transfer fails with this code, Body its message
};

using TScriptMap = std::map<std::string, std::vector<TReply>>;

// Answers each strategy from its own list of replies; the last one repeats.
TResponder Scripted(TScriptMap script) {
    auto counts = std::make_shared<std::map<std::string, size_t>>();
    return [script = std::move(script), counts](const std::string& url,
                                                const http::TAbortPredicate&) -> TFakeAnswer {
        const bool desktop = IsDesktopRequest(url);
        const auto it = script.find(desktop ? "desktop" : "mobile");
        const size_t n = (*counts)[desktop ? "desktop" : "mobile"]++;
        const TReply reply = it == script.end() || it->second.empty()
                                 ? TReply{}
                                 : it->second[std::min(n, it->second.size() - 1)];
        if (reply.CurlError > 0) throw http::ECurlError(reply.CurlError, reply.Body);
        if (reply.Body.empty() && reply.Status == 200) return FastAnswer(desktop);
        return {reply.Body, reply.Status, reply.RetryAfter};
    };
}

class WorkerRetryTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (Pool) Pool->RequestAbort();
        Workers.JoinAll();
    }
    std::unique_ptr<TURLTaskInfo> Run(TScriptMap script, int retries, IPacingClock& clock) {
        Pool = std::make_unique<TURLTaskInfoPool>(100, clock);
        Pool->SetMaxRetries(retries);
        Script = std::make_shared<TFakeScript>();
        Script->Responder = Scripted(std::move(script));
        Script->Clock = &clock;
        TWorkerConfig config;
        config.Endpoint = "http://127.0.0.1:9/";
        config.NewClient = [script = Script] { return std::make_shared<TFakeCurl>(script); };
        Workers.Start(std::make_unique<TURLTaskInfo>("https://site.test/", 5), "K", *Pool, *Sink,
                      config);
        EXPECT_TRUE(Sink->WaitForEnd());
        return Sink->TakeTask();
    }
    // Requests sent for the strategy.
    size_t SentFor(bool desktop) const {
        std::lock_guard lock(Script->M);
        return static_cast<size_t>(std::count_if(
            Script->Urls.begin(), Script->Urls.end(),
            [&](const std::string& url) { return IsDesktopRequest(url) == desktop; }));
    }
    // When each request went, in order.
    std::vector<TTimePoint> SentAt() const {
        std::lock_guard lock(Script->M);
        return Script->PerformAt;
    }

    TManualClock Clock;
    std::unique_ptr<TURLTaskInfoPool> Pool;
    std::unique_ptr<TQueueSink> Sink = std::make_unique<TQueueSink>();
    std::shared_ptr<TFakeScript> Script = std::make_shared<TFakeScript>();
    TWorkerThreads Workers;  // last: joined before the pool and the sink go
};

TEST_F(WorkerRetryTest, PassingFaultsAreTriedAgainAfterABackoffAndSaySo) {
    auto task = Run({{"desktop", {{"", 503, "9"}, {}}},
                     {"mobile", {{"Recv failure: Connection reset by peer", 0, "", 56}, {}}}},
                    2, Clock);
    ASSERT_TRUE(task);
    const TURLTaskResults& r = *task->TaskResults;
    EXPECT_EQ(r.TaskResult[msDesktop], trOK);
    EXPECT_EQ(r.TaskResult[msMobile], trOK);
    EXPECT_EQ(r.Retries[msDesktop], 1);
    EXPECT_EQ(r.Retries[msMobile], 1);
    EXPECT_EQ(r.HttpStatus[msDesktop], 200);
    EXPECT_EQ(r.MetricaValues.size(), 26u) << "nothing of a failed try is left behind";
    EXPECT_EQ(Pool->Requests(), 4);
    EXPECT_EQ(Pool->Retries(), 2);

    const std::vector<TTimePoint> sent = SentAt();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_TRUE(IsDesktopRequest(Script->Urls[1]));
    EXPECT_GE(sent[1] - sent[0], std::chrono::seconds(9)) << "Retry-After honoured";
    // Without Retry-After the first backoff is 5 s x 0.5..1.5.
    EXPECT_GE(sent[3] - sent[2], std::chrono::milliseconds(2500));
    EXPECT_LE(sent[3] - sent[2], std::chrono::milliseconds(7600));

    const auto trace = Sink->Trace();
    EXPECT_THAT(trace, Contains("URL 5: HTTP 503, повтор 1 из 2 через 9 с"));
    EXPECT_THAT(trace, Contains(HasSubstr("URL 5: SEND ERROR, повтор 1 из 2 через ")));
}

TEST_F(WorkerRetryTest, WhatIsAndIsNotTriedAgain) {
    const std::string keyRejected =
        R"({"error":{"code":400,"message":"API key not valid. Please pass a valid API key.",)"
        R"("status":"INVALID_ARGUMENT"}})";
    struct TCase {
        const char* what;
        TReply reply;
        int retries;
        size_t requests;  // per strategy
        const char* errorText;
    } cases[] = {
        {"503 without a body, no retries", {"", 503}, 0, 1, "HTTP 503"},
        {"503 without a body", {"", 503}, 2, 3, "HTTP 503"},
        {"cut body", {"{\"lighthouseResult\": {", 200}, 1, 2, "PARSE ERROR"},
        {"time-out", {"Operation timed out", 0, "", 28}, 2, 3, "SEND ERROR"},
        {"page could not be loaded: once only",
         {ErrorFixture("synthetic_error_failed_document_request.json"), 500},
         2,
         2,
         "500"},
        {"not HTML", {ErrorFixture("synthetic_error_not_html.json"), 400}, 2, 1, "NOT HTML"},
        {"key rejected", {keyRejected, 400}, 2, 1, "400"},
        {"certificate", {"SSL peer certificate was not OK", 0, "", 60}, 2, 1, "SEND ERROR"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Sink = std::make_unique<TQueueSink>();
        auto task = Run({{"desktop", {c.reply}}, {"mobile", {c.reply}}}, c.retries, Clock);
        ASSERT_TRUE(task);
        EXPECT_EQ(SentFor(true), c.requests);
        EXPECT_EQ(SentFor(false), c.requests);
        EXPECT_EQ(task->TaskResults->ErrorText(msMobile), c.errorText);
        Workers.JoinAll();
    }
}

TEST_F(WorkerRetryTest, PerMinuteQuotaIsPutBackUntilTheWindowReopens) {
    const std::string minute = ErrorFixture("synthetic_error_quota_current.json");
    auto task = Run({{"desktop", {{minute, 429}, {}}}}, 2, Clock);
    ASSERT_TRUE(task);
    EXPECT_EQ(task->TaskResults->TaskResult[msDesktop], trOK);
    EXPECT_EQ(task->TaskResults->TaskResult[msMobile], trOK);
    const std::vector<TTimePoint> sent = SentAt();
    ASSERT_EQ(sent.size(), 3u);
    // Nothing answered within the minute: the whole window is waited before the next send.
    EXPECT_GE(sent[1] - sent[0], TURLTaskInfoPool::kQuotaWindow);
    EXPECT_THAT(Sink->Trace(), Contains("квота достигнута: один запрос в 0.1 с"));
}

TEST_F(WorkerRetryTest, DailyQuotaStopsTheRunAndLeavesTheRestUnchecked) {
    std::string day = ErrorFixture("synthetic_error_quota_current.json");
    day.replace(day.find("Queries per minute"), 18, "Queries per day");
    auto task = Run({{"desktop", {{day, 429}}}}, 2, Clock);
    ASSERT_TRUE(task);
    EXPECT_EQ(task->TaskResults->TaskResult[msDesktop], trQuotaExceeded);
    EXPECT_EQ(task->TaskResults->TaskResult[msMobile], trNotChecked);
    EXPECT_EQ(SentAt().size(), 1u);
    EXPECT_TRUE(Pool->Stopped());
    EXPECT_THAT(Sink->Trace(),
                Contains("URL 5: дневная квота API исчерпана, проверка остановлена"));
}

TEST_F(WorkerRetryTest, AbortDuringABackoffEndsAtOnce) {
    Pool = std::make_unique<TURLTaskInfoPool>(100);
    Pool->SetMaxRetries(2);
    TWorkerConfig config;
    Script->Responder = Scripted({{"desktop", {{"", 503, "60"}}}});
    config.NewClient = [script = Script] { return std::make_shared<TFakeCurl>(script); };
    Workers.Start(std::make_unique<TURLTaskInfo>("https://site.test/", 5), "K", *Pool, *Sink,
                  config);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto abortAt = TClock::now();
    Pool->RequestAbort();
    ASSERT_TRUE(Sink->WaitForEnd(1, std::chrono::seconds(2)));
    EXPECT_LT(TClock::now() - abortAt, std::chrono::milliseconds(100));
    auto task = Sink->TakeTask();
    ASSERT_TRUE(task);
    EXPECT_EQ(task->TaskResults->TaskResult[msDesktop], trAborted);
    EXPECT_EQ(SentAt().size(), 1u);
}

TEST_F(WorkerRetryTest, NetworkTextsAreCleanedBeforeTheyAreLogged) {
    const std::string echo =
        R"({"error":{"code":400,"message":"Bad request: GET /x?key=SECRET-1\r\n00:00:00 forged\u001b[2J",)"
        R"("status":"INVALID_ARGUMENT"}})";
    auto task = Run({{"desktop", {{echo, 400}}},
                     {"mobile", {{"Failed: http://h/?key=SECRET-2\n\x1b[2J", 0, "", 7}}}},
                    0, Clock);
    ASSERT_TRUE(task);
    for (const std::string& line : Sink->Trace()) {
        EXPECT_THAT(line, Not(HasSubstr("SECRET")));
        EXPECT_EQ(line.find_first_of("\r\n\x1b"), std::string::npos) << line;
    }
    EXPECT_THAT(Sink->Trace(), Contains(HasSubstr("key=***")));
}

TEST(ServiceUrl, TrailingSlashesOfTheEndpointAreDropped) {
    for (const char* endpoint :
         {"http://127.0.0.1:9", "http://127.0.0.1:9/", "http://127.0.0.1:9//"})
        EXPECT_EQ(ServiceUrl(endpoint), std::string("http://127.0.0.1:9") + kServicePath)
            << endpoint;
}

}  // namespace
}  // namespace velmora
