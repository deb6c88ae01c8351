// Workers with the real libcurl client against the local PageSpeed simulator on 127.0.0.1.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "engine/run_controller.h"
#include "engine/worker.h"
#include "engine/worker_test_sink.h"
#include "sim/simulator.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using testing_support::TQueueSink;
using testing_support::TWorkerThreads;

class WorkerSimTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { static http::TCurlGlobal curl; }

    void SetUp() override {
        ASSERT_TRUE(Sim.Start()) << Sim.Error();
        Config.Endpoint = Sim.Endpoint();
    }
    void TearDown() override {
        Pool.RequestAbort();
        Workers.JoinAll();
        Sim.Stop();
    }
    std::unique_ptr<TURLTaskInfo> RunOne(const std::string& url, const std::string& key,
                                         TQueueSink& sink) {
        Workers.Start(std::make_unique<TURLTaskInfo>(url, 1), key, Pool, sink, Config);
        EXPECT_TRUE(sink.WaitForEnd());
        return sink.TakeTask();
    }

    sim::Simulator Sim;
    TURLTaskInfoPool Pool{100};
    TQueueSink Sink;
    TWorkerConfig Config;
    TWorkerThreads Workers;  // last: joined before the pool and the sink go
};

TEST_F(WorkerSimTest, TwoGoodAnswersOverHttp) {
    const std::string url = "https://site.test/heavy?a=1&b=c d/é";
    auto task = RunOne(url, "K-9", Sink);
    ASSERT_TRUE(task);
    EXPECT_THAT(
        Sink.Trace(),
        ElementsAre("URL 1: задача начата", "URL 1: отсылка запроса (desktop)", "REQUEST_SENT",
                    "URL 1: получен ответ", "URL 1: отсылка запроса (mobile)", "REQUEST_SENT",
                    "URL 1: получен ответ", "URL 1: задача завершена", "FINISHED", "REQUEST_SENT"));
    const auto& r = *task->TaskResults;
    EXPECT_EQ(r.TaskResult[msDesktop], trOK);
    EXPECT_EQ(r.TaskResult[msMobile], trOK);
    // Today's answers for a heavy page, with its real users' data.
    EXPECT_EQ(r.MetricaValues.GetValueByKey("performance", msDesktop)->DisplayText, "38");
    EXPECT_EQ(r.MetricaValues.GetValueByKey("performance", msMobile)->DisplayText, "27");
    EXPECT_EQ(r.AdviceList[msMobile].size(), 18u);
    for (TMetricaStrategy s : kStrategies) {
        EXPECT_EQ(r.FieldData[s].Source, fsPage);
        EXPECT_EQ(r.FieldData[s].Verdict, cvFailed);
    }

    auto seen = Sim.Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].strategy, "desktop");
    EXPECT_EQ(seen[1].strategy, "mobile");
    for (const auto& rec : seen) {
        EXPECT_EQ(rec.url, url);  // one value, whatever it contains
        EXPECT_EQ(rec.key, "K-9");
        EXPECT_EQ(rec.userAgent, kUserAgent);
    }
}

TEST_F(WorkerSimTest, AnswersOfEveryKindEndWithTheirStatus) {
    struct Case {
        const char* marker;
        TTaskResult status;
        int32_t code;
    } cases[] = {
        {"/sim-array", trParseError, 0},         {"/sim-empty", trParseError, 0},
        {"/sim-badjson", trParseError, 0},       {"/sim-notHTML", trNotHTML, 400},
        {"/sim-quota", trQuotaExceeded, 429},    {"/sim-quota-legacy", trQuotaExceeded, 429},
        {"/sim-error500", trServiceError, 500},  {"/sim-drop", trSendError, 0},
        {"/sim-noaudits", trUnknownResponse, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.marker);
        TQueueSink sink;
        auto task = RunOne(std::string("https://site.test") + c.marker, "", sink);
        ASSERT_TRUE(task);
        for (TMetricaStrategy s : kStrategies) {
            EXPECT_EQ(task->TaskResults->TaskResult[s], c.status);
            EXPECT_EQ(task->TaskResults->ErrorCode[s], c.code);
        }
        Workers.JoinAll();
    }
    for (const auto& rec : Sim.Requests()) EXPECT_EQ(rec.key, "");
}

TEST_F(WorkerSimTest, ClosedPortIsASendErrorForBothStrategies) {
    Sim.Stop();  // nothing listens on its port any more
    auto task = RunOne("https://site.test/", "K", Sink);
    ASSERT_TRUE(task);
    EXPECT_EQ(task->TaskResults->TaskResult[msDesktop], trSendError);
    EXPECT_EQ(task->TaskResults->TaskResult[msMobile], trSendError);
    auto trace = Sink.Trace();
    EXPECT_EQ(std::count_if(trace.begin(), trace.end(),
                            [](const std::string& l) {
                                return l.rfind("URL 1: ОШИБКА отправки запроса: ", 0) == 0;
                            }),
              2);
}

// A connection the service drops is never sent to again behind the pool's back: every request
// the service sees is one the pool paced and counted.
TEST(WorkerSimDrops, EveryRequestTheServiceSeesWasPacedAndCounted) {
    static http::TCurlGlobal curl;
    sim::SimOptions so;
    so.dropRate = 0.4;
    so.seed = 7;
    so.requestsPerConnection = 100;  // connections kept alive, as the service keeps them
    sim::Simulator sim(so);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    TWorkerConfig config;
    config.Endpoint = sim.Endpoint();
    TURLTaskInfoPool pool{100};
    TQueueSink sink;
    TWorkerThreads workers;
    constexpr int kUrls = 12;
    for (int i = 1; i <= kUrls; ++i)
        workers.Start(std::make_unique<TURLTaskInfo>("https://site.test/p" + std::to_string(i), i),
                      "K", pool, sink, config);
    ASSERT_TRUE(sink.WaitForEnd(kUrls, std::chrono::seconds(30)));
    workers.JoinAll();
    const auto seen = sim.Requests();
    const auto dropped =
        std::count_if(seen.begin(), seen.end(), [](const auto& r) { return r.outcome == "drop"; });
    ASSERT_GT(dropped, 0) << "the seed must drop some";
    EXPECT_EQ(static_cast<int32_t>(seen.size()), pool.Requests());
    // A re-send behind the pool's back would arrive a moment after the drop; the pool's own
    // retry comes after its backoff. (Gaps between different requests are no proof here: the
    // simulator's own scheduling on a busy machine moves an arrival by tens of milliseconds.)
    for (size_t i = 0; i < seen.size(); ++i) {
        if (seen[i].outcome != "drop") continue;
        for (size_t j = i + 1; j < seen.size(); ++j) {
            if (seen[j].url != seen[i].url || seen[j].strategy != seen[i].strategy) continue;
            EXPECT_GE(seen[j].arrivalMs - seen[i].arrivalMs, pool.RequestDelay()) << seen[i].url;
            break;
        }
    }
    sim.Stop();
}

class TQuietObserver : public IRunObserver {
  public:
    void TaskFinished(const TURLTaskInfo&) override {}
    void Progress(const TProgressStep&) override {}
    void Log(const TMsgForLog&) override {}
    void RunEnded(const TRunEnd&) override {}
};

// A run asks for gzip and keeps each thread's connection from task to task: a handful of
// connections carry all of its requests, and the packed answers read as the plain ones do.
TEST(WorkerSimConnections, ARunAsksForGzipOverAConnectionPerThread) {
    static http::TCurlGlobal curl;
    sim::SimOptions so;
    so.requestsPerConnection = 1000;
    sim::Simulator sim(so);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    TURLTaskInfoList master;
    constexpr int kUrls = 24, kThreads = 4;
    for (int i = 0; i < kUrls; ++i)
        master.Add("https://site.test/" + std::string(i % 3 ? "page-" : "heavy-") +
                   std::to_string(i));
    TWorkerConfig config;
    config.Endpoint = sim.Endpoint();
    TThreadWorkerFactory workers(config);
    TRunController controller(master, workers, [] {
        TRunSettings settings{"K", kThreads, 100};
        settings.Categories = kAllCategories;
        return settings;
    });
    TQuietObserver observer;
    controller.SetObserver(&observer);
    (void)controller.Start(TRunScope::All);
    controller.DeliverUntilEnded();

    for (size_t i = 0; i < master.Count(); ++i) {
        SCOPED_TRACE(master[i].URL);
        ASSERT_TRUE(master[i].TaskResults);
        EXPECT_FALSE(master[i].TaskResults->Failed());
    }
    const auto seen = sim.Requests();
    ASSERT_EQ(seen.size(), 2u * kUrls);
    std::set<int> connections;
    for (const auto& r : seen) {
        EXPECT_NE(r.acceptEncoding.find("gzip"), std::string::npos) << r.acceptEncoding;
        connections.insert(r.clientPort);
    }
    EXPECT_LE(connections.size(), size_t{kThreads + 2});
    sim.Stop();
}

TEST_F(WorkerSimTest, AbortEndsAHangingTransferAtOnce) {
    Workers.Start(std::make_unique<TURLTaskInfo>("https://site.test/sim-hang", 1), "", Pool, Sink,
                  Config);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto abortAt = TClock::now();
    Pool.RequestAbort();
    ASSERT_TRUE(Sink.WaitForEnd(1, std::chrono::seconds(3)));
    EXPECT_LT(TClock::now() - abortAt, std::chrono::seconds(1));
    auto task = Sink.TakeTask();
    ASSERT_TRUE(task);
    EXPECT_EQ(task->TaskResults->TaskResult[msDesktop], trAborted);
    EXPECT_EQ(task->TaskResults->TaskResult[msMobile], trAborted);
    for (const auto& line : Sink.Trace())
        EXPECT_EQ(line.find("ОШИБКА отправки запроса"), std::string::npos) << line;
}

}  // namespace
}  // namespace velmora
