// The worker's retries against a scripted client on a clock that jumps: passing faults are tried
// again after a backoff, answers about the page and the key are not, quota refusals are put
// back, a daily quota stops the run, and an abort ends a backoff at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "engine/worker.h"
#include "engine/worker_test_sink.h"

namespace velmora {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using testing_support::TQueueSink;
using testing_support::WaitForNoLiveWorkers;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

const std::string& Good(bool desktop) {
    static const std::string d = ReadFile(VELMORA_PSI_ANSWERS "/psi_fast_desktop.json");
    static const std::string m = ReadFile(VELMORA_PSI_ANSWERS "/psi_fast_mobile.json");
    return desktop ? d : m;
}

std::string ErrorFixture(const char* name) {
    return ReadFile(std::string(VELMORA_PSI_ANSWERS "/errors/") + name);
}

// Time moves only when a worker sleeps, by as much as it sleeps: minutes of backoff pass at once.
class TJumpClock : public IPacingClock {
  public:
    TTimePoint Now() override {
        std::lock_guard lock(FLock);
        return FNow;
    }
    void SleepMs(int ms) override {
        {
            std::lock_guard lock(FLock);
            FNow += std::chrono::milliseconds(ms);
        }
        std::this_thread::yield();
    }

  private:
    std::mutex FLock;
    TTimePoint FNow{std::chrono::hours(1)};
};

struct TReply {
    std::string Body;
    long Status = 200;
    std::string RetryAfter;
    int CurlError = 0;  // > 0: the transfer fails with this code
};

// Answers each strategy from its own list of replies; the last one repeats.
class TScriptedCurl : public http::ICurl {
  public:
    using TScript = std::map<std::string, std::vector<TReply>>;
    TScriptedCurl(TScript script, IPacingClock& clock,
                  std::vector<std::pair<std::string, TTimePoint>>& sent)
        : FScript(std::move(script)), FClock(clock), FSent(sent) {}
    ICurl& SetUserAgent(std::string_view) override { return *this; }
    ICurl& SetUrl(const http::ICurlStringBuilder& b) override {
        FUrl = b.Build();
        return *this;
    }
    ICurl& SetOpt(int, long) override { return *this; }
    ICurl& SwitchRecvToString() override { return *this; }
    ICurl& SetAbortPredicate(http::TAbortPredicate) override { return *this; }
    ICurl& SetTimeouts(long, long) override { return *this; }
    ICurl& Perform() override {
        const std::string strategy =
            FUrl.find("strategy=desktop") != std::string::npos ? "desktop" : "mobile";
        FSent.emplace_back(strategy, FClock.Now());
        auto& replies = FScript[strategy];
        const size_t n = FCount[strategy]++;
        const TReply reply = replies.empty() ? TReply{Good(strategy == "desktop")}
                                             : replies[std::min(n, replies.size() - 1)];
        FStatus = 0;
        FRetryAfter.clear();
        FBody.clear();
        if (reply.CurlError > 0) throw http::ECurlError(reply.CurlError, reply.Body);
        FBody =
            reply.Body.empty() && reply.Status == 200 ? Good(strategy == "desktop") : reply.Body;
        FStatus = reply.Status;
        FRetryAfter = reply.RetryAfter;
        return *this;
    }
    const std::string& ResponseBody() const override { return FBody; }
    ICurl& SetMaxBodyBytes(std::int64_t) override { return *this; }
    ICurl& FollowRedirects(long) override { return *this; }
    long ResponseCode() const override { return FStatus; }
    std::string ResponseHeader(std::string_view name) const override {
        return name == "Retry-After" ? FRetryAfter : std::string();
    }

  private:
    TScript FScript;
    std::map<std::string, size_t> FCount;
    IPacingClock& FClock;
    std::vector<std::pair<std::string, TTimePoint>>& FSent;
    std::string FUrl, FBody, FRetryAfter;
    long FStatus = 0;
};

class WorkerRetryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ActiveTaskCount = 0;
        AbortRequested = false;
    }
    void TearDown() override {
        AbortRequested = true;
        if (Pool) Pool->WakeAll();
        EXPECT_TRUE(WaitForNoLiveWorkers());
        ActiveTaskCount = 0;
        AbortRequested = false;
    }
    std::unique_ptr<TURLTaskInfo> Run(TScriptedCurl::TScript script, int retries,
                                      IPacingClock& clock) {
        Pool = std::make_unique<TURLTaskInfoPool>(100, clock);
        Pool->SetMaxRetries(retries);
        TWorkerConfig config;
        config.Endpoint = "http://127.0.0.1:9/";
        config.Sink = Sink.get();
        config.NewClient = [this, script, &clock] {
            return std::make_shared<TScriptedCurl>(script, clock, Sent);
        };
        TActiveTaskThread::Create(std::make_unique<TURLTaskInfo>("https://site.test/", 5), "K",
                                  *Pool, config);
        EXPECT_TRUE(Sink->WaitForEnd());
        return Sink->TakeTask();
    }
    size_t SentFor(const std::string& strategy) const {
        return static_cast<size_t>(std::count_if(
            Sent.begin(), Sent.end(), [&](const auto& s) { return s.first == strategy; }));
    }

    TJumpClock Clock;
    std::unique_ptr<TURLTaskInfoPool> Pool;
    std::unique_ptr<TQueueSink> Sink = std::make_unique<TQueueSink>();
    std::vector<std::pair<std::string, TTimePoint>> Sent;
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

    ASSERT_EQ(Sent.size(), 4u);
    EXPECT_EQ(Sent[1].first, "desktop");
    EXPECT_GE(Sent[1].second - Sent[0].second, std::chrono::seconds(9)) << "Retry-After honoured";
    // Without Retry-After the first backoff is 5 s x 0.5..1.5.
    EXPECT_GE(Sent[3].second - Sent[2].second, std::chrono::milliseconds(2500));
    EXPECT_LE(Sent[3].second - Sent[2].second, std::chrono::milliseconds(7600));

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
        Sent.clear();
        Sink = std::make_unique<TQueueSink>();
        auto task = Run({{"desktop", {c.reply}}, {"mobile", {c.reply}}}, c.retries, Clock);
        ASSERT_TRUE(task);
        EXPECT_EQ(SentFor("desktop"), c.requests);
        EXPECT_EQ(SentFor("mobile"), c.requests);
        EXPECT_EQ(task->TaskResults->ErrorText(msMobile), c.errorText);
        ASSERT_TRUE(WaitForNoLiveWorkers());
    }
}

TEST_F(WorkerRetryTest, PerMinuteQuotaIsPutBackUntilTheWindowReopens) {
    const std::string minute = ErrorFixture("synthetic_error_quota_current.json");
    auto task = Run({{"desktop", {{minute, 429}, {}}}}, 2, Clock);
    ASSERT_TRUE(task);
    EXPECT_EQ(task->TaskResults->TaskResult[msDesktop], trOK);
    EXPECT_EQ(task->TaskResults->TaskResult[msMobile], trOK);
    ASSERT_EQ(Sent.size(), 3u);
    // Nothing answered within the minute: the whole window is waited before the next send.
    EXPECT_GE(Sent[1].second - Sent[0].second, TURLTaskInfoPool::kQuotaWindow);
    EXPECT_THAT(Sink->Trace(), Contains("квота достигнута: один запрос в 0.1 с"));
}

TEST_F(WorkerRetryTest, DailyQuotaStopsTheRunAndLeavesTheRestUnchecked) {
    std::string day = ErrorFixture("synthetic_error_quota_current.json");
    day.replace(day.find("Queries per minute"), 18, "Queries per day");
    auto task = Run({{"desktop", {{day, 429}}}}, 2, Clock);
    ASSERT_TRUE(task);
    EXPECT_EQ(task->TaskResults->TaskResult[msDesktop], trQuotaExceeded);
    EXPECT_EQ(task->TaskResults->TaskResult[msMobile], trNotChecked);
    EXPECT_EQ(Sent.size(), 1u);
    EXPECT_TRUE(Pool->Stopped());
    EXPECT_THAT(Sink->Trace(),
                Contains("URL 5: дневная квота API исчерпана, проверка остановлена"));
}

TEST_F(WorkerRetryTest, AbortDuringABackoffEndsAtOnce) {
    Pool = std::make_unique<TURLTaskInfoPool>(100);
    Pool->SetMaxRetries(2);
    TWorkerConfig config;
    config.Sink = Sink.get();
    config.NewClient = [this] {
        return std::make_shared<TScriptedCurl>(
            TScriptedCurl::TScript{{"desktop", {{"", 503, "60"}}}}, SteadyPacingClock(), Sent);
    };
    TActiveTaskThread::Create(std::make_unique<TURLTaskInfo>("https://site.test/", 5), "K", *Pool,
                              config);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto abortAt = TClock::now();
    AbortRequested = true;
    Pool->WakeAll();
    ASSERT_TRUE(Sink->WaitForEnd(1, std::chrono::seconds(2)));
    EXPECT_LT(TClock::now() - abortAt, std::chrono::milliseconds(100));
    auto task = Sink->TakeTask();
    ASSERT_TRUE(task);
    EXPECT_EQ(task->TaskResults->TaskResult[msDesktop], trAborted);
    EXPECT_EQ(Sent.size(), 1u);
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
