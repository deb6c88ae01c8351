// The worker's protocol against a scripted HTTP client: what it sends, what it posts, and how
// it ends whatever happens.
#include "engine/worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <sstream>

#include "engine/fake_service.h"
#include "engine/run_controller.h"
#include "engine/worker_test_sink.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing_support::GoodAnswer;
using testing_support::TFakeAnswer;
using testing_support::TFakeCurl;
using testing_support::TFakeScript;
using testing_support::TQueueSink;
using testing_support::TResponder;
using testing_support::TWorkerThreads;

std::string HangUntilAbort(const std::string&, const http::TAbortPredicate& abort) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(abort && abort()) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    throw http::ECurlError(42, "Callback aborted");
}

constexpr const char* kEndpoint = "http://127.0.0.1:9";
const std::string kBase = std::string(kEndpoint) + kServicePath;

class WorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Config.Endpoint = kEndpoint;
        Config.NewClient = [s = Script] { return std::make_shared<TFakeCurl>(s); };
    }
    void TearDown() override {
        Pool->RequestAbort();  // a failed test must not leave a worker waiting
        Workers.JoinAll();
    }
    void StartWorker(const std::string& url, const std::string& key, int num,
                     ITaskEventSink& sink) {
        Workers.Start(std::make_unique<TURLTaskInfo>(url, num), key, *Pool, sink, Config);
    }
    // Runs one worker to its end and returns its finished task.
    std::unique_ptr<TURLTaskInfo> RunOne(const std::string& url, const std::string& key = "K",
                                         int num = 1) {
        StartWorker(url, key, num, Sink);
        EXPECT_TRUE(Sink.WaitForEnd());
        return Sink.TakeTask();
    }
    std::vector<std::string> Urls() {
        std::lock_guard lock(Script->M);
        return Script->Urls;
    }

    TTimePoint Start = TClock::now();
    std::unique_ptr<TURLTaskInfoPool> Pool = std::make_unique<TURLTaskInfoPool>(100);
    TQueueSink Sink;
    std::shared_ptr<TFakeScript> Script = std::make_shared<TFakeScript>();
    TWorkerConfig Config;
    TWorkerThreads Workers;  // last: joined before the pool and the sinks go
};

TEST_F(WorkerTest, TwoGoodAnswersPostTheirEventsInOrderAndArePaced) {
    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    Config.NewClient = [s = Script, open] {
        open.wait();
        return std::make_shared<TFakeCurl>(s);
    };
    Sink.CountedIn = Pool.get();
    StartWorker("https://site.test/a?b=1", "K-1", 3, Sink);
    EXPECT_EQ(Pool->ActiveTasks(), 1);  // counted before the start returns
    EXPECT_EQ(Workers.Live(), 1);
    gate.set_value();
    ASSERT_TRUE(Sink.WaitForEnd());

    EXPECT_THAT(
        Sink.Trace(),
        ElementsAre("URL 3: задача начата", "URL 3: отсылка запроса (desktop)", "REQUEST_SENT",
                    "URL 3: получен ответ", "URL 3: отсылка запроса (mobile)", "REQUEST_SENT",
                    "URL 3: получен ответ", "URL 3: задача завершена", "FINISHED", "REQUEST_SENT"));
    EXPECT_EQ(Sink.CountAtFinish, 0);  // lowered before the finished task is posted
    auto task = Sink.TakeTask();
    ASSERT_TRUE(task && task->TaskResults);
    EXPECT_EQ(task->Num, 3);
    EXPECT_EQ(task->TaskResults->TaskResult[msDesktop], trOK);
    EXPECT_EQ(task->TaskResults->TaskResult[msMobile], trOK);
    EXPECT_EQ(task->TaskResults->MetricaValues.size(), 26u);

    const std::string url = "&category=PERFORMANCE&url=https%3A//site.test/a%3Fb%3D1&key=K-1";
    EXPECT_THAT(Urls(),
                ElementsAre(kBase + "?strategy=desktop" + url, kBase + "?strategy=mobile" + url));
    std::lock_guard lock(Script->M);
    EXPECT_THAT(Script->Agents, ElementsAre(kUserAgent, kUserAgent));
    EXPECT_THAT(Script->Options, IsEmpty());  // certificate checks are never switched off
    // The pool's grid: the second request not before 100 + 20 ms after the pool was made.
    ASSERT_EQ(Script->PerformAt.size(), 2u);
    EXPECT_GE(Script->PerformAt[1] - Start, std::chrono::milliseconds(120));
}

TEST_F(WorkerTest, QueryCarriesTheUrlAsOneValueAndTheKeyOnlyWhenGiven) {
    struct Case {
        std::string url, key, query;
    } cases[] = {
        {"https://a.test/", "", "&url=https%3A//a.test/"},
        {"https://a.test/p q?x=1&y=2#f", "k y",
         "&url=https%3A//a.test/p%20q%3Fx%3D1%26y%3D2%23f&key=k%20y"},
        {"https://пример.рф/é", "K",
         "&url=https%3A//%D0%BF%D1%80%D0%B8%D0%BC%D0%B5%D1%80.%D1%80%D1%84/%C3%A9&key=K"},
    };
    size_t n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        StartWorker(c.url, c.key, 1, Sink);
        ASSERT_TRUE(Sink.WaitForEnd(static_cast<int>(++n)));
        auto urls = Urls();
        ASSERT_EQ(urls.size(), 2 * n);
        EXPECT_EQ(urls[2 * n - 2], kBase + "?strategy=desktop&category=PERFORMANCE" + c.query);
    }
}

TEST_F(WorkerTest, QueryNamesEachCategoryAskedForInTheFixedOrderAfterTheStrategy) {
    struct Case {
        TCategorySet categories;
        std::string query;
    } cases[] = {
        {0, "&category=PERFORMANCE"},
        {1u << ctSeo | 1u << ctAccessibility,
         "&category=PERFORMANCE&category=ACCESSIBILITY&category=SEO"},
        {kAllCategories,
         "&category=PERFORMANCE&category=ACCESSIBILITY&category=BEST_PRACTICES&category=SEO"},
    };
    size_t n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        Workers.Start(std::make_unique<TURLTaskInfo>("https://a.test/", 1), "", *Pool, Sink, Config,
                      c.categories);
        ASSERT_TRUE(Sink.WaitForEnd(static_cast<int>(++n)));
        auto urls = Urls();
        ASSERT_EQ(urls.size(), 2 * n);
        EXPECT_EQ(urls[2 * n - 1], kBase + "?strategy=mobile" + c.query + "&url=https%3A//a.test/");
    }
}

TEST_F(WorkerTest, DesktopSendFailureStillTriesMobile) {
    Script->Responder = [](const std::string& url, const http::TAbortPredicate& a) {
        if (url.find("strategy=desktop") != std::string::npos)
            throw http::ECurlError(7, "Couldn't connect to server");
        return GoodAnswer(url, a);
    };
    auto task = RunOne("https://a.test/");
    ASSERT_TRUE(task);
    EXPECT_EQ(task->TaskResults->TaskResult[msDesktop], trSendError);
    EXPECT_EQ(task->TaskResults->TaskResult[msMobile], trOK);
    // The failed strategy keeps the log's reason, the good one none.
    EXPECT_EQ(task->TaskResults->ErrorMessage[msDesktop],
              "ОШИБКА отправки запроса: Couldn't connect to server");
    EXPECT_EQ(task->TaskResults->ErrorMessage[msMobile], "");
    EXPECT_EQ(Urls().size(), 2u);
    EXPECT_THAT(
        Sink.Trace(),
        ElementsAre("URL 1: задача начата", "URL 1: отсылка запроса (desktop)", "REQUEST_SENT",
                    "URL 1: ОШИБКА отправки запроса: Couldn't connect to server",
                    "URL 1: отсылка запроса (mobile)", "REQUEST_SENT", "URL 1: получен ответ",
                    "URL 1: задача завершена", "FINISHED", "REQUEST_SENT"));
}

TEST_F(WorkerTest, AbortWhileWaitingForTheReservationSendsNothing) {
    Pool = std::make_unique<TURLTaskInfoPool>(10000);
    Pool->ReserveRequest();  // the worker's turn now lies 10 s ahead
    StartWorker("https://a.test/", "", 4, Sink);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto abortAt = TClock::now();
    Pool->RequestAbort();
    ASSERT_TRUE(Sink.WaitForEnd(1, std::chrono::seconds(2)));
    EXPECT_LT(TClock::now() - abortAt, std::chrono::milliseconds(500));
    EXPECT_THAT(Urls(), IsEmpty());
    EXPECT_THAT(Sink.Trace(), ElementsAre("URL 4: задача начата", "URL 4: задача прервана",
                                          "URL 4: задача прервана", "URL 4: задача завершена",
                                          "FINISHED", "REQUEST_SENT"));
    auto task = Sink.TakeTask();
    ASSERT_TRUE(task);
    EXPECT_EQ(task->TaskResults->TaskResult[msDesktop], trAborted);
    EXPECT_EQ(task->TaskResults->TaskResult[msMobile], trAborted);
}

TEST_F(WorkerTest, AbortDuringOrRightAfterTheTransferDiscardsTheAnswer) {
    struct Case {
        const char* name;
        TResponder responder;
    } cases[] = {
        {"hanging transfer ended by the abort predicate", HangUntilAbort},
        {"answer arrives, then the abort",
         [this](const std::string& url, const http::TAbortPredicate& a) {
             Pool->RequestAbort();
             return GoodAnswer(url, a);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TQueueSink sink;
        Workers.JoinAll();
        Pool = std::make_unique<TURLTaskInfoPool>(100);
        Script->Responder = c.responder;
        StartWorker("https://a.test/", "", 2, sink);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto abortAt = TClock::now();
        Pool->RequestAbort();
        ASSERT_TRUE(sink.WaitForEnd(1, std::chrono::seconds(2)));
        EXPECT_LT(TClock::now() - abortAt, std::chrono::seconds(1));
        EXPECT_THAT(sink.Trace(),
                    ElementsAre("URL 2: задача начата", "URL 2: отсылка запроса (desktop)",
                                "REQUEST_SENT", "URL 2: задача прервана", "URL 2: задача прервана",
                                "URL 2: задача завершена", "FINISHED", "REQUEST_SENT"));
        auto task = sink.TakeTask();
        ASSERT_TRUE(task);
        EXPECT_EQ(task->TaskResults->TaskResult[msDesktop], trAborted);
        EXPECT_EQ(task->TaskResults->TaskResult[msMobile], trAborted);
        EXPECT_THAT(task->TaskResults->MetricaValues, IsEmpty());
        Workers.JoinAll();
    }
}

TEST_F(WorkerTest, BodiesThatAreNoJsonObjectGiveParseError) {
    for (const char* body : {"[]", "", "{\"lighthouseResult\":", "<html></html>"}) {
        SCOPED_TRACE(body);
        TQueueSink sink;
        Script->Responder = [body](const std::string&, const http::TAbortPredicate&) {
            return std::string(body);
        };
        StartWorker("https://a.test/", "", 5, sink);
        ASSERT_TRUE(sink.WaitForEnd());
        auto task = sink.TakeTask();
        ASSERT_TRUE(task);
        EXPECT_EQ(task->TaskResults->TaskResult[msDesktop], trParseError);
        EXPECT_EQ(task->TaskResults->TaskResult[msMobile], trParseError);
        EXPECT_EQ(task->TaskResults->ErrorMessage[msMobile].rfind("ОШИБКА парсинга ответа: ", 0),
                  0u);
        auto trace = sink.Trace();
        EXPECT_EQ(std::count_if(trace.begin(), trace.end(),
                                [](const std::string& l) {
                                    return l.rfind("URL 5: ОШИБКА парсинга ответа: ", 0) == 0;
                                }),
                  2);
        Workers.JoinAll();
    }
}

TEST_F(WorkerTest, FailuresOutsideTheRequestStillEndTheTaskWithUnknownResponse) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string logLine;
    } cases[] = {
        {"client cannot be created",
         [this] {
             Config.NewClient = []() -> std::shared_ptr<http::ICurl> {
                 throw http::ECurlInternal("cannot create a libcurl handle");
             };
         },
         "URL 6: внутренняя ошибка: cannot create a libcurl handle"},
        {"client refuses an option", [this] { Script->RefuseUserAgent = true; },
         "URL 6: внутренняя ошибка: An unknown option was passed in"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TQueueSink sink;
        Config.NewClient = [s = Script] { return std::make_shared<TFakeCurl>(s); };
        c.arrange();
        StartWorker("https://a.test/", "", 6, sink);
        ASSERT_TRUE(sink.WaitForEnd());
        EXPECT_THAT(sink.Trace(),
                    ElementsAre("URL 6: задача начата", c.logLine, c.logLine,
                                "URL 6: задача завершена", "FINISHED", "REQUEST_SENT"));
        auto task = sink.TakeTask();
        ASSERT_TRUE(task);
        EXPECT_EQ(task->TaskResults->TaskResult[msDesktop], trUnknownResponse);
        EXPECT_EQ(task->TaskResults->TaskResult[msMobile], trUnknownResponse);
        EXPECT_EQ(Pool->ActiveTasks(), 0);
        Workers.JoinAll();
    }
}

// The real pieces together: controller, thread factory, workers and the controller's queue,
// delivered on the test's thread as a front end's event loop would.
class TNullObserver : public IRunObserver {
  public:
    void TaskFinished(const TURLTaskInfo&) override {}
    void Progress(const TProgressStep& step) override { Pos = step.Done; }
    void Log(const TMsgForLog&) override { ++LogRows; }
    void RunEnded(const TRunEnd& end) override { Ends.push_back(end.Aborted); }
    int Pos = 0;
    int LogRows = 0;
    std::vector<bool> Ends;
};

class TCountingFactory : public TThreadWorkerFactory {
  public:
    using TThreadWorkerFactory::TThreadWorkerFactory;
    void StartWorker(std::unique_ptr<TURLTaskInfo> t, const TWorkerRun& run) override {
        TThreadWorkerFactory::StartWorker(std::move(t), run);
        MaxActive = std::max(MaxActive, run.Pool.ActiveTasks());
    }
    int32_t MaxActive = 0;
};

// Checks n URLs through a real controller and factory, delivering on this thread as a front
// end's event loop would; returns the list as the run left it.
TURLTaskInfoList CheckThrough(TThreadWorkerFactory& factory, int n, int threads,
                              TNullObserver& seen) {
    TURLTaskInfoList master;
    for (int i = 0; i < n; ++i) master.Add("https://site.test/" + std::to_string(i));
    TRunController ctl(master, factory, [threads] { return TRunSettings{"K", threads, 100}; });
    ctl.SetObserver(&seen);
    EXPECT_TRUE(ctl.Start(TRunScope::All));
    const auto until = TClock::now() + std::chrono::seconds(20);
    while (ctl.Running() && TClock::now() < until)
        ctl.DeliverPending(std::chrono::milliseconds(50));
    EXPECT_FALSE(ctl.Running());
    return master;
}

TEST_F(WorkerTest, ControllerRunsAllTasksThroughRealWorkerThreads) {
    TNullObserver seen;
    TCountingFactory factory(Config);
    const TURLTaskInfoList master = CheckThrough(factory, 7, 3, seen);
    EXPECT_LE(factory.MaxActive, 3);
    // Every result is in by the end: the end joins the workers and merges what they posted.
    EXPECT_EQ(seen.Pos, 7);
    EXPECT_EQ(factory.LiveWorkers(), 0);
    EXPECT_EQ(seen.Ends, std::vector<bool>{false});
    EXPECT_TRUE(AnyChecked(master));
    for (size_t i = 0; i < master.Count(); ++i) {
        ASSERT_TRUE(master[i].TaskResults) << i;
        EXPECT_FALSE(master[i].TaskResults->Failed()) << i;
        EXPECT_EQ(master[i].TaskResults->ValueTextByColNum(gcScore, msMobile), "100");
    }
    EXPECT_EQ(Urls().size(), 14u);
}

TEST_F(WorkerTest, AThreadThatFinishedItsTaskTakesTheNextOne) {
    // Thread ids may be reused after a join; a thread's own storage is never.
    std::atomic<int> threads{0};
    Script->Responder = [&](const std::string& url, const http::TAbortPredicate& abort) {
        thread_local bool counted = false;
        if (!std::exchange(counted, true)) ++threads;
        return GoodAnswer(url, abort);
    };
    TNullObserver seen;
    TThreadWorkerFactory factory(Config);
    CheckThrough(factory, 12, 2, seen);
    EXPECT_EQ(seen.Pos, 12);
    // Two at a time, and a thread still posting its last events while the next task starts.
    EXPECT_LE(threads.load(), 4);
    EXPECT_EQ(factory.LiveWorkers(), 0);
}

TEST_F(WorkerTest, ShutdownDuringARunEndsHangingTransfersAndJoinsEveryWorker) {
    Script->Responder = HangUntilAbort;
    TNullObserver seen;
    TURLTaskInfoList master;
    for (int i = 0; i < 10; ++i) master.Add("https://site.test/" + std::to_string(i));
    auto factory = std::make_unique<TThreadWorkerFactory>(Config);
    auto ctl = std::make_unique<TRunController>(master, *factory, [] {
        return TRunSettings{"", 4, 100};
    });
    ctl->SetObserver(&seen);
    ASSERT_TRUE(ctl->Start(TRunScope::All));
    const auto until = TClock::now() + std::chrono::milliseconds(300);
    while (TClock::now() < until) ctl->DeliverPending(std::chrono::milliseconds(20));
    ASSERT_GE(ctl->CurrentPool()->ActiveTasks(), 2);
    const auto closeAt = TClock::now();
    ctl->Shutdown();
    EXPECT_LT(TClock::now() - closeAt, std::chrono::seconds(1));
    EXPECT_EQ(factory->LiveWorkers(), 0);
    EXPECT_FALSE(ctl->Running());
    EXPECT_EQ(seen.Ends, std::vector<bool>{true});
    EXPECT_FALSE(AnyChecked(master));
    // Everything the workers used may go now.
    ctl.reset();
    factory.reset();
    for (size_t i = 0; i < master.Count(); ++i) EXPECT_FALSE(master[i].TaskResults);
}

}  // namespace
}  // namespace velmora
