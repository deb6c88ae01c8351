#include "engine/run_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "base/translate.h"

namespace velmora {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// What a front end is told of a run.
class TFakeObserver : public IRunObserver {
  public:
    void TaskFinished(const TURLTaskInfo& t) override { Finished.push_back(t.Num); }
    void Progress(const TProgressStep& step) override {
        Steps.push_back(step);
        Pos = step.Done;
        Total = step.Total;
    }
    void Log(const TMsgForLog& line) override {
        LogTimes.insert(LogTimes.begin(), FormatLogTime(line.MsgTime));
        Lines.insert(Lines.begin(), line.MsgText);
    }
    void RunEnded(const TRunEnd& end) override { Ends.push_back(end); }

    std::vector<int32_t> Finished;
    std::vector<TProgressStep> Steps;
    int Pos = 0;
    int Total = 0;
    std::vector<std::string> Lines;  // newest first, as in the log pane
    std::vector<std::string> LogTimes;
    std::vector<TRunEnd> Ends;
};

// Plays the thread side: records what would run and counts it as active, as starting a real
// worker does.
class TFakeWorkers : public IWorkerFactory {
  public:
    void StartWorker(std::unique_ptr<TURLTaskInfo> task, const TWorkerRun& run) override {
        if (FailFrom >= 0 && static_cast<int>(Started.size()) >= FailFrom)
            throw std::runtime_error("no thread");
        task->InitMetricResults();
        Nums.push_back(task->Num);
        Keys.push_back(run.ApiKey);
        Pools.push_back(&run.Pool);
        Started.push_back(std::move(task));
        run.Pool.TaskStarted();
    }
    void JoinAll() override {
        ++Joins;
        if (OnJoin) OnJoin();
    }
    std::vector<int32_t> StartedNums() const { return Nums; }

    std::vector<std::unique_ptr<TURLTaskInfo>> Started;  // nulled when the test finishes one
    std::vector<int32_t> Nums;
    std::vector<std::string> Keys;
    std::vector<TURLTaskInfoPool*> Pools;
    int FailFrom = -1;
    int Joins = 0;
    std::function<void()> OnJoin;  // what waiting for the workers means in a test
};

class RunControllerTest : public ::testing::Test {
  protected:
    void AddUrls(int n) {
        for (int i = 0; i < n; ++i) Master.Add("https://site.test/" + std::to_string(i + 1));
    }
    static std::unique_ptr<TURLTaskResults> Results(TTaskResult d, TTaskResult m) {
        auto r = std::make_unique<TURLTaskResults>();
        r->TaskResult = {d, m};
        return r;
    }
    void RequestSent() {
        Ctl.Deliver(TWorkerEvent{TWorkerEventKind::RequestSent, nullptr, nullptr});
    }
    int32_t Active() { return Ctl.CurrentPool() ? Ctl.CurrentPool()->ActiveTasks() : 0; }
    // What the worker of Started[i] does at its end.
    void Finish(size_t i, TTaskResult d = trOK, TTaskResult m = trOK) {
        auto task = std::move(Workers.Started.at(i));
        ASSERT_TRUE(task);
        task->TaskResults->TaskResult = {d, m};
        Workers.Pools.at(i)->TaskEnded();
        Ctl.Deliver(TWorkerEvent{TWorkerEventKind::TaskFinished, std::move(task), nullptr});
        RequestSent();
    }
    bool Start(TRunScope scope, const std::vector<int32_t>& selected = {}) {
        TResult<bool> r = Ctl.Start(scope, selected);
        if (!r) StartErrors.push_back(r.Error());
        return r && *r;
    }

    TFakeObserver Seen;
    TURLTaskInfoList Master;
    TFakeWorkers Workers;
    TRunSettings Settings{"KEY-1", 8, 100};
    TRunController Ctl{Master, Workers, [this] { return Settings; }};
    std::vector<std::string> StartErrors;

    void SetUp() override { Ctl.SetObserver(&Seen); }
};

TEST_F(RunControllerTest, FullRunClearsResultsStartsTheFirstUrlAndShowsTheRun) {
    AddUrls(3);
    Master[1].TaskResults = Results(trOK, trOK);
    Start(TRunScope::All);

    ASSERT_TRUE(Ctl.Running());
    EXPECT_THAT(Workers.StartedNums(), ElementsAre(1));
    EXPECT_EQ(Workers.Keys[0], "KEY-1");
    EXPECT_EQ(Workers.Pools[0], Ctl.CurrentPool());
    EXPECT_EQ(Ctl.CurrentPool()->RequestDelay(), 100);
    EXPECT_EQ(Ctl.CurrentPool()->Count(), 2u);
    EXPECT_FALSE(Master[1].TaskResults);
    EXPECT_THAT(Seen.Finished, IsEmpty());
    EXPECT_FALSE(AnyChecked(Master));
    // The first worker's start is the run's first progress: nothing done, three to do.
    ASSERT_EQ(Seen.Steps.size(), 1u);
    EXPECT_EQ(Seen.Steps[0].StartedNum, 1);
    EXPECT_EQ(Seen.Steps[0].RunTasks, 3);
    EXPECT_EQ(Seen.Pos, 0);
    EXPECT_EQ(Seen.Total, 3);
    EXPECT_THAT(Seen.Lines, ElementsAre("Проверка запущена"));

    // A second way in while running does nothing.
    Start(TRunScope::All);
    EXPECT_EQ(Workers.Started.size(), 1u);
    EXPECT_EQ(Seen.Lines.size(), 1u);
}

TEST_F(RunControllerTest, RampsUpByOnePerRequestSentUpToTheLimitInListOrder) {
    AddUrls(20);
    Start(TRunScope::All);
    for (int i = 0; i < 12; ++i) {
        RequestSent();
        EXPECT_EQ(Active(), std::min(2 + i, 8));
    }
    // A worker ends: exactly one new worker takes its place.
    Finish(0);
    EXPECT_EQ(Active(), 8);
    EXPECT_EQ(Workers.Started.size(), 9u);
    // The limit is read afresh at every dispatch.
    Settings.MaxThreads = 9;
    RequestSent();
    RequestSent();
    EXPECT_EQ(Active(), 9);
    EXPECT_THAT(Workers.StartedNums(), ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10));
}

TEST_F(RunControllerTest, WithOneThreadUrlsAreCheckedStrictlyInListOrderThenTheRunEnds) {
    AddUrls(3);
    Settings.MaxThreads = 1;
    Start(TRunScope::All);
    RequestSent();  // desktop request of URL 1: no room for another worker
    RequestSent();
    EXPECT_EQ(Workers.Started.size(), 1u);
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(Workers.Started.size(), i + 1);
        Finish(i);
    }
    EXPECT_THAT(Workers.StartedNums(), ElementsAre(1, 2, 3));
    EXPECT_EQ(Master[0].TaskResults->TaskResult[msDesktop], trOK);

    EXPECT_FALSE(Ctl.Running());
    EXPECT_EQ(Seen.Pos, 3);
    ASSERT_EQ(Seen.Ends.size(), 1u);
    EXPECT_FALSE(Seen.Ends[0].Aborted);
    EXPECT_TRUE(AnyChecked(Master));

    // Late events: a request-sent is ignored, a finished task is still merged.
    RequestSent();
    EXPECT_EQ(Workers.Started.size(), 3u);
    auto late = std::make_unique<TURLTaskInfo>("x", 2);
    late->TaskResults = Results(trSendError, trOK);
    Ctl.Deliver(TWorkerEvent{TWorkerEventKind::TaskFinished, std::move(late), nullptr});
    EXPECT_EQ(Master[1].TaskResults->TaskResult[msDesktop], trSendError);
    EXPECT_EQ(Seen.Pos, 4);
    // The next run starts from a fresh pool.
    Start(TRunScope::All);
    EXPECT_TRUE(Ctl.Running());
    EXPECT_FALSE(AnyChecked(Master));
}

TEST_F(RunControllerTest, MergeMovesResultsByNumAndGivesValuesTheirColumns) {
    AddUrls(3);
    Start(TRunScope::All);
    RequestSent();
    auto task = std::move(Workers.Started[1]);  // Num 2
    auto& values = task->TaskResults->MetricaValues;
    values.push_back({MetricaTable[0].Key, msDesktop, "90", 0});
    values.push_back({MetricaTable[1].Key, msMobile, "1 s", 0});
    values.push_back({MetricaTable[11].Key, msDesktop, "   1.0 kb", 0});
    values.push_back({"no-such-metric", msDesktop, "?", 0});
    task->TaskResults->TaskResult = {trOK, trOK};
    Workers.Pools[1]->TaskEnded();
    Ctl.Deliver(TWorkerEvent{TWorkerEventKind::TaskFinished, std::move(task), nullptr});

    ASSERT_TRUE(Master[1].TaskResults);
    std::vector<int32_t> cols;
    for (const auto& v : Master[1].TaskResults->MetricaValues) cols.push_back(v.ColNum);
    EXPECT_THAT(cols, ElementsAre(3, 5, 15, 0));
    EXPECT_EQ(Master[1].TaskResults->ValueTextByColNum(3, msDesktop), "90");
    EXPECT_FALSE(Master[0].TaskResults);
    EXPECT_THAT(Seen.Finished, ElementsAre(2));
    EXPECT_EQ(Seen.Pos, 1);

    // A Num that no entry has, and a null payload, change nothing but the progress.
    auto stray = std::make_unique<TURLTaskInfo>("x", 99);
    stray->TaskResults = Results(trOK, trOK);
    Ctl.Deliver(TWorkerEvent{TWorkerEventKind::TaskFinished, std::move(stray), nullptr});
    EXPECT_EQ(Seen.Pos, 2);
    Ctl.Deliver(TWorkerEvent{TWorkerEventKind::TaskFinished, nullptr, nullptr});
    EXPECT_EQ(Seen.Pos, 2);
    EXPECT_THAT(Seen.Finished, ElementsAre(2));
}

TEST_F(RunControllerTest, AbortStopsDispatchDropsAbortedTasksAndKeepsFinishedOnesExportable) {
    AddUrls(5);
    Start(TRunScope::All);
    RequestSent();
    RequestSent();  // workers for 1, 2, 3
    Ctl.Abort();
    EXPECT_TRUE(Ctl.CurrentPool()->AbortRequested());
    EXPECT_EQ(Seen.Lines[0], "Отмена проверки...");

    RequestSent();
    EXPECT_EQ(Workers.Started.size(), 3u);
    Finish(0, trOK, trOK);  // both answers were in before the abort: merged
    Finish(1, trOK, trAborted);
    EXPECT_TRUE(Ctl.Running());
    Finish(2, trAborted, trAborted);

    EXPECT_TRUE(Master[0].TaskResults);
    EXPECT_FALSE(Master[1].TaskResults);
    EXPECT_FALSE(Master[2].TaskResults);
    EXPECT_THAT(Seen.Finished, ElementsAre(1));
    EXPECT_EQ(Seen.Pos, 3);
    EXPECT_FALSE(Ctl.Running());
    ASSERT_EQ(Seen.Ends.size(), 1u);
    EXPECT_TRUE(Seen.Ends[0].Aborted);
    // URL 1 finished before the cancel: its results can be exported.
    EXPECT_TRUE(AnyChecked(Master));
    EXPECT_EQ(Workers.Started.size(), 3u);
}

TEST_F(RunControllerTest, ExportStaysDisabledWhenACancelledRunCheckedNothing) {
    AddUrls(2);
    Start(TRunScope::All);
    Ctl.Abort();
    Finish(0, trAborted, trAborted);
    EXPECT_FALSE(Ctl.Running());
    EXPECT_FALSE(AnyChecked(Master));
}

TEST_F(RunControllerTest, ErrorRecheckChoosesCheckedEntriesThatFailedAndKeepsTheRest) {
    AddUrls(10);
    Master[1].TaskResults = Results(trOK, trOK);
    Master[2].TaskResults = Results(trSendError, trOK);
    Master[4].TaskResults = Results(trOK, trQuotaExceeded);
    Master[6].TaskResults = Results(trNotChecked, trNotChecked);
    EXPECT_THAT(Ctl.ErrorNums(), ElementsAre(3, 5, 7));

    Start(TRunScope::Failed);
    EXPECT_THAT(Workers.StartedNums(), ElementsAre(3));
    EXPECT_TRUE(Master[1].TaskResults);
    EXPECT_TRUE(Master[2].TaskResults);  // kept until its new results arrive
    EXPECT_EQ(Seen.Total, 10);
    RequestSent();
    RequestSent();
    Finish(0);
    Finish(1);
    Finish(2);
    EXPECT_THAT(Workers.StartedNums(), ElementsAre(3, 5, 7));
    EXPECT_FALSE(Ctl.Running());
    EXPECT_EQ(Seen.Pos, 3);
    EXPECT_EQ(Master[2].TaskResults->TaskResult[msDesktop], trOK);
    EXPECT_EQ(Master[1].TaskResults->TaskResult[msDesktop], trOK);
}

TEST_F(RunControllerTest, SelectedRunChecksTheChosenEntriesInListOrder) {
    AddUrls(10);
    Master[0].TaskResults = Results(trOK, trOK);
    // Chosen in the grid's sort order, not the list's; a number no entry has is ignored.
    Start(TRunScope::Selected, {9, 4, 42});
    EXPECT_THAT(Workers.StartedNums(), ElementsAre(4));
    RequestSent();
    EXPECT_THAT(Workers.StartedNums(), ElementsAre(4, 9));
    Finish(0);
    Finish(1);
    EXPECT_FALSE(Ctl.Running());
    EXPECT_TRUE(Master[0].TaskResults);  // not chosen: untouched
    EXPECT_EQ(Seen.Pos, 2);
    EXPECT_EQ(Seen.Total, 10);
}

TEST_F(RunControllerTest, NothingToCheckStartsNoRun) {
    // Empty selection and no failed entries: nothing at all happens.
    AddUrls(2);
    Master[0].TaskResults = Results(trOK, trOK);
    for (TRunScope scope : {TRunScope::Selected, TRunScope::Failed}) {
        EXPECT_FALSE(Start(scope));
        EXPECT_FALSE(Ctl.Running());
        EXPECT_THAT(Workers.Started, IsEmpty());
        EXPECT_THAT(Seen.Lines, IsEmpty());
        EXPECT_THAT(StartErrors, IsEmpty());
        EXPECT_THAT(Seen.Steps, IsEmpty());
        EXPECT_TRUE(Master[0].TaskResults);
    }
    // A full run of an empty list cannot take a first task.
    Master.Clear();
    Start(TRunScope::All);
    EXPECT_FALSE(Ctl.Running());
    EXPECT_THAT(StartErrors, ElementsAre("Не удалось запустить первое задание, внутренняя ошибка"));
    EXPECT_THAT(Workers.Started, IsEmpty());
    EXPECT_THAT(Seen.Lines, IsEmpty());
    RequestSent();
    EXPECT_THAT(Workers.Started, IsEmpty());
}

TEST_F(RunControllerTest, TwoLateRequestSentEventsEndTheRunOnce) {
    AddUrls(2);
    Start(TRunScope::All);
    RequestSent();
    // Both workers lower the count before their last events are handled.
    for (size_t i = 0; i < 2; ++i) {
        auto task = std::move(Workers.Started[i]);
        task->TaskResults->TaskResult = {trOK, trOK};
        Workers.Pools[i]->TaskEnded();
        Ctl.Deliver(TWorkerEvent{TWorkerEventKind::TaskFinished, std::move(task), nullptr});
    }
    RequestSent();
    EXPECT_FALSE(Ctl.Running());
    EXPECT_TRUE(AnyChecked(Master));
    RequestSent();
    EXPECT_EQ(Seen.Ends.size(), 1u);
}

TEST_F(RunControllerTest, AWorkerThatCannotBeStartedIsReportedAndTheRunStillEnds) {
    AddUrls(3);
    Workers.FailFrom = 0;
    Start(TRunScope::All);
    EXPECT_FALSE(Ctl.Running());
    EXPECT_THAT(StartErrors, ElementsAre("Не удалось запустить первое задание, внутренняя ошибка"));
    EXPECT_THAT(Seen.Lines, ElementsAre("URL 1: не удалось запустить задание: no thread"));

    Seen.Lines.clear();
    Workers.FailFrom = 1;
    Start(TRunScope::All);
    RequestSent();  // URL 2 cannot start: no further task is handed out
    EXPECT_EQ(Seen.Lines[0], "URL 2: не удалось запустить задание: no thread");
    EXPECT_TRUE(Ctl.Running());
    Finish(0);
    EXPECT_FALSE(Ctl.Running());
    // URL 1 was checked before the run stopped short.
    EXPECT_TRUE(AnyChecked(Master));
}

TEST_F(RunControllerTest, LogLinesGoOnTopWithTheirOwnTime) {
    std::tm tm{};
    tm.tm_year = 2024 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = 9;
    tm.tm_min = 5;
    tm.tm_sec = 7;
    tm.tm_isdst = -1;
    const auto t = std::chrono::system_clock::from_time_t(std::mktime(&tm));
    EXPECT_EQ(FormatLogTime(t), "09:05:07");
    EXPECT_EQ(FormatLogTime(t + std::chrono::hours(14) + std::chrono::milliseconds(999)),
              "23:05:07");

    Ctl.AddToLog("first", t);
    Ctl.Deliver(TWorkerEvent{TWorkerEventKind::Log, nullptr,
                             std::make_unique<TMsgForLog>(TMsgForLog{"second", t})});
    EXPECT_THAT(Seen.Lines, ElementsAre("second", "first"));
    EXPECT_THAT(Seen.LogTimes, ElementsAre("09:05:07", "09:05:07"));
}

TEST_F(RunControllerTest, ShutdownJoinsTheWorkersThenDeliversTheirLastEvents) {
    AddUrls(4);
    Start(TRunScope::All);
    RequestSent();
    ASSERT_EQ(Workers.Started.size(), 2u);

    // Two workers notice the abort a little later and end the usual way.
    std::thread late([&] {
        for (size_t i = 0; i < 2; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            auto task = std::move(Workers.Started[i]);
            task->TaskResults->TaskResult = {trAborted, trAborted};
            Workers.Pools[i]->TaskEnded();
            Ctl.Events().Post(
                TWorkerEvent{TWorkerEventKind::TaskFinished, std::move(task), nullptr});
            Ctl.Events().Post(TWorkerEvent{TWorkerEventKind::RequestSent, nullptr, nullptr});
        }
    });
    Workers.OnJoin = [&] {
        if (late.joinable()) late.join();
    };
    Ctl.Shutdown();
    Workers.OnJoin = nullptr;  // the thread goes with this test body; the controller stays
    EXPECT_FALSE(late.joinable()) << "the workers were joined";
    EXPECT_FALSE(Ctl.Running());
    EXPECT_EQ(Seen.Pos, 2);
    ASSERT_EQ(Seen.Ends.size(), 1u);
    EXPECT_TRUE(Seen.Ends[0].Aborted);
    EXPECT_EQ(Workers.Started.size(), 2u);
}

TEST_F(RunControllerTest, TwoRunsInOneProcessKeepTheirOwnAbortAndCount) {
    AddUrls(2);
    TURLTaskInfoList otherList;
    otherList.Add("https://other.test/1");
    TFakeWorkers otherWorkers;
    TRunController other{otherList, otherWorkers, [this] { return Settings; }};
    Start(TRunScope::All);
    ASSERT_TRUE(other.Start(TRunScope::All));
    Ctl.Abort();
    EXPECT_TRUE(Ctl.CurrentPool()->AbortRequested());
    EXPECT_FALSE(other.CurrentPool()->AbortRequested());
    EXPECT_EQ(other.CurrentPool()->ActiveTasks(), 1);
    Finish(0, trAborted, trAborted);
    EXPECT_FALSE(Ctl.Running());
    EXPECT_TRUE(other.Running());
}

// A recheck of errors spends quota only on the strategy that failed; the good one stays.
TEST_F(RunControllerTest, ErrorRecheckAsksOnlyTheFailedStrategyAndKeepsTheGoodOne) {
    AddUrls(2);
    Master[0].TaskResults = Results(trOK, trSendError);
    Master[0].TaskResults->MetricaValues.push_back({"performance", msDesktop, "97", 3});
    Master[0].TaskResults->Retries[msDesktop] = 1;
    Master[1].TaskResults = Results(trOK, trOK);
    Start(TRunScope::Failed);
    ASSERT_EQ(Workers.Started.size(), 1u);
    EXPECT_TRUE(Workers.Started[0]->Keep[msDesktop]);
    EXPECT_FALSE(Workers.Started[0]->Keep[msMobile]);

    // The worker leaves a kept strategy unchecked and empty; the merge brings the old one back.
    Workers.Started[0]->TaskResults->MetricaValues.push_back({"performance", msMobile, "55", 3});
    Finish(0, trNotChecked, trOK);
    const TURLTaskResults& r = *Master[0].TaskResults;
    EXPECT_EQ(r.TaskResult[msDesktop], trOK);
    EXPECT_EQ(r.TaskResult[msMobile], trOK);
    EXPECT_EQ(r.Retries[msDesktop], 1);
    ASSERT_NE(r.MetricaValues.GetValueByKey("performance", msDesktop), nullptr);
    EXPECT_EQ(r.MetricaValues.GetValueByKey("performance", msDesktop)->DisplayText, "97");
    EXPECT_EQ(r.MetricaValues.GetValueByKey("performance", msMobile)->DisplayText, "55");

    // "Recheck selected" still asks both.
    Start(TRunScope::Selected, {1});
    ASSERT_EQ(Workers.Started.size(), 2u);
    EXPECT_FALSE(Workers.Started[1]->Keep[msDesktop]);
    EXPECT_FALSE(Workers.Started[1]->Keep[msMobile]);
}

TEST_F(RunControllerTest, DailyQuotaEndsTheRunKeepsResultsAndListsTheRestForARecheck) {
    AddUrls(5);
    Settings.MaxThreads = 2;
    Start(TRunScope::All);
    RequestSent();
    ASSERT_EQ(Workers.Started.size(), 2u);
    Finish(0);  // URL 1 done; URL 3 starts
    TURLTaskInfoPool* pool = Workers.Pools.at(0);
    pool->CountRequest();
    pool->StopForDailyQuota();  // URL 2's worker met the daily quota
    Finish(1, trQuotaExceeded, trNotChecked);
    EXPECT_TRUE(Ctl.Running());
    Finish(2, trNotChecked, trNotChecked);  // URL 3 was waiting for its slot
    EXPECT_FALSE(Ctl.Running());
    EXPECT_EQ(Workers.Started.size(), 3u) << "no task handed out after the stop";
    EXPECT_TRUE(AnyChecked(Master)) << "the results are kept and can be exported";
    EXPECT_EQ(Master[0].TaskResults->TaskResult[msDesktop], trOK);
    EXPECT_THAT(Ctl.ErrorNums(), ElementsAre(2, 3, 4, 5));
    ASSERT_GE(Seen.Lines.size(), 2u);
    EXPECT_EQ(Seen.Lines[0], "Проверка завершена: запросов 1, повторов 0");
    EXPECT_THAT(Seen.Lines[1], ::testing::HasSubstr("Осталось URL: 4."));
    EXPECT_THAT(Seen.Lines[1], ::testing::HasSubstr("«Перепроверить URL с ошибками»"));
}

}  // namespace
}  // namespace velmora
