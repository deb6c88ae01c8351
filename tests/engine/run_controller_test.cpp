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

class TFakeWindow : public ICheckRunWindow {
  public:
    void SetButtonEnabled(TRunButton b, bool e) override { Buttons[b] = e; }
    void SetParamsEnabled(bool e) override { ParamsEnabled = e; }
    void ShowProgress(bool v) override { ProgressVisible = v; }
    void SetProgressMax(int m) override { ProgressMax = m; }
    void SetProgressPos(int p) override { Pos = p; }
    int ProgressPos() const override { return Pos; }
    void ShowLogTab() override { ++LogTabShown; }
    void RepaintAllRows() override { ++AllRepaints; }
    void InvalidateTaskRow(const TURLTaskInfo& t) override { Invalidated.push_back(t.Num); }
    void UpdateScoreChart() override { ++ChartUpdates; }
    void ShowErrorBox(const std::string& text) override { ErrorBoxes.push_back(text); }
    TMetricaStrategy ShownStrategy() const override { return Shown; }
    std::vector<TShownRow> ShownGridRows() const override { return Rows; }
    void InsertLogRow(const std::string& time, const std::string& msg) override {
        LogTimes.insert(LogTimes.begin(), time);
        Log.insert(Log.begin(), msg);
    }

    std::map<TRunButton, bool> Buttons;
    bool ParamsEnabled = true;
    bool ProgressVisible = false;
    int ProgressMax = 0;
    int Pos = 0;
    int LogTabShown = 0;
    int AllRepaints = 0;
    std::vector<int32_t> Invalidated;
    int ChartUpdates = 0;
    std::vector<std::string> ErrorBoxes;
    TMetricaStrategy Shown = msDesktop;
    std::vector<TShownRow> Rows;
    std::vector<std::string> Log;  // newest first, as in the log pane
    std::vector<std::string> LogTimes;
};

// Plays the thread side: records what would run and counts it as active, as creating a
// real worker does.
class TFakeWorkers : public IWorkerFactory {
  public:
    void StartWorker(std::unique_ptr<TURLTaskInfo> task, const std::string& apiKey,
                     TURLTaskInfoPool& pool) override {
        if (FailFrom >= 0 && static_cast<int>(Started.size()) >= FailFrom)
            throw std::runtime_error("no thread");
        task->InitMetricResults();
        Nums.push_back(task->Num);
        Keys.push_back(apiKey);
        Pools.push_back(&pool);
        Started.push_back(std::move(task));
        ActiveTaskCount.fetch_add(1);
    }
    std::vector<int32_t> StartedNums() const { return Nums; }

    std::vector<std::unique_ptr<TURLTaskInfo>> Started;  // nulled when the test finishes one
    std::vector<int32_t> Nums;
    std::vector<std::string> Keys;
    std::vector<TURLTaskInfoPool*> Pools;
    int FailFrom = -1;
};

class RunControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ActiveTaskCount = 0;
        AbortRequested = false;
    }
    void TearDown() override {
        ActiveTaskCount = 0;
        AbortRequested = false;
    }

    void AddUrls(int n) {
        for (int i = 0; i < n; ++i) Master.Add("https://site.test/" + std::to_string(i + 1));
    }
    static std::unique_ptr<TURLTaskResults> Results(TTaskResult d, TTaskResult m) {
        auto r = std::make_unique<TURLTaskResults>();
        r->TaskResult = {d, m};
        return r;
    }
    void RequestSent() { Ctl.WndProc(TWorkerEvent{WM_REQUEST_SENT, nullptr, nullptr}); }
    // What the worker of Started[i] does at its end.
    void Finish(size_t i, TTaskResult d = trOK, TTaskResult m = trOK) {
        auto task = std::move(Workers.Started.at(i));
        ASSERT_TRUE(task);
        task->TaskResults->TaskResult = {d, m};
        ActiveTaskCount.fetch_sub(1);
        Ctl.WndProc(TWorkerEvent{WM_TASK_FINISHED, std::move(task), nullptr});
        RequestSent();
    }
    bool Enabled(TRunButton b) { return Window.Buttons.at(b); }

    TFakeWindow Window;
    TURLTaskInfoList Master;
    TFakeWorkers Workers;
    TRunSettings Settings{"KEY-1", 8, 100};
    CheckRunController Ctl{Window, Master, Workers, [this] { return Settings; }};
};

TEST_F(RunControllerTest, FullRunClearsResultsStartsTheFirstUrlAndShowsTheRun) {
    AddUrls(3);
    Master[1].TaskResults = Results(trOK, trOK);
    Ctl.btRunRequestsClick(TRunSender::btRunRequests);

    ASSERT_TRUE(Ctl.Running());
    EXPECT_THAT(Workers.StartedNums(), ElementsAre(1));
    EXPECT_EQ(Workers.Keys[0], "KEY-1");
    EXPECT_EQ(Workers.Pools[0], Ctl.CurrentPool());
    EXPECT_EQ(Ctl.CurrentPool()->RequestDelay(), 100);
    EXPECT_EQ(Ctl.CurrentPool()->Count(), 2u);
    EXPECT_FALSE(Master[1].TaskResults);
    EXPECT_EQ(Window.AllRepaints, 1);
    EXPECT_EQ(Window.ChartUpdates, 0);

    EXPECT_FALSE(Enabled(TRunButton::btRunRequests));
    EXPECT_TRUE(Enabled(TRunButton::btAbortRequests));
    EXPECT_FALSE(Enabled(TRunButton::btInsertURLs4Clip));
    EXPECT_FALSE(Enabled(TRunButton::btImportURLs4TXT));
    EXPECT_FALSE(Enabled(TRunButton::btImportURLs4XML));
    EXPECT_FALSE(Enabled(TRunButton::btExport));
    EXPECT_TRUE(Window.ProgressVisible);
    EXPECT_FALSE(Window.ParamsEnabled);
    EXPECT_EQ(Window.Pos, 0);
    EXPECT_EQ(Window.ProgressMax, 3);
    EXPECT_EQ(Window.LogTabShown, 1);
    EXPECT_THAT(Window.Log, ElementsAre("Проверка запущена"));

    // A second way in while running does nothing.
    Ctl.btRunRequestsClick(TRunSender::btRunRequests);
    EXPECT_EQ(Workers.Started.size(), 1u);
    EXPECT_EQ(Window.Log.size(), 1u);
}

TEST_F(RunControllerTest, RampsUpByOnePerRequestSentUpToTheLimitInListOrder) {
    AddUrls(20);
    Ctl.btRunRequestsClick(TRunSender::btRunRequests);
    for (int i = 0; i < 12; ++i) {
        RequestSent();
        EXPECT_EQ(ActiveTaskCount.load(), std::min(2 + i, 8));
    }
    // A worker ends: exactly one new worker takes its place.
    Finish(0);
    EXPECT_EQ(ActiveTaskCount.load(), 8);
    EXPECT_EQ(Workers.Started.size(), 9u);
    // The limit is read afresh at every dispatch.
    Settings.MaxThreads = 9;
    RequestSent();
    RequestSent();
    EXPECT_EQ(ActiveTaskCount.load(), 9);
    EXPECT_THAT(Workers.StartedNums(), ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10));
}

TEST_F(RunControllerTest, WithOneThreadUrlsAreCheckedStrictlyInListOrderThenTheRunEnds) {
    AddUrls(3);
    Settings.MaxThreads = 1;
    Ctl.btRunRequestsClick(TRunSender::btRunRequests);
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
    EXPECT_EQ(Window.Pos, 3);
    EXPECT_FALSE(Window.ProgressVisible);
    EXPECT_TRUE(Window.ParamsEnabled);
    EXPECT_TRUE(Enabled(TRunButton::btRunRequests));
    EXPECT_FALSE(Enabled(TRunButton::btAbortRequests));
    EXPECT_TRUE(Enabled(TRunButton::btImportURLs4TXT));
    EXPECT_TRUE(Enabled(TRunButton::btExport));

    // Late events: a request-sent is ignored, a finished task is still merged.
    RequestSent();
    EXPECT_EQ(Workers.Started.size(), 3u);
    auto late = std::make_unique<TURLTaskInfo>("x", 2);
    late->TaskResults = Results(trSendError, trOK);
    Ctl.WndProc(TWorkerEvent{WM_TASK_FINISHED, std::move(late), nullptr});
    EXPECT_EQ(Master[1].TaskResults->TaskResult[msDesktop], trSendError);
    EXPECT_EQ(Window.Pos, 4);
    // The next run starts from a fresh pool.
    Ctl.btRunRequestsClick(TRunSender::btRunRequests);
    EXPECT_TRUE(Ctl.Running());
    EXPECT_FALSE(Enabled(TRunButton::btExport));
}

TEST_F(RunControllerTest, MergeMovesResultsByNumAndGivesValuesTheirColumns) {
    AddUrls(3);
    Ctl.btRunRequestsClick(TRunSender::btRunRequests);
    RequestSent();
    auto task = std::move(Workers.Started[1]);  // Num 2
    auto& values = task->TaskResults->MetricaValues;
    values.push_back({MetricaTable[0].Key, msDesktop, "90", 0});
    values.push_back({MetricaTable[1].Key, msMobile, "1 s", 0});
    values.push_back({MetricaTable[11].Key, msDesktop, "   1.0 kb", 0});
    values.push_back({"no-such-metric", msDesktop, "?", 0});
    task->TaskResults->TaskResult = {trOK, trOK};
    ActiveTaskCount.fetch_sub(1);
    Ctl.WndProc(TWorkerEvent{WM_TASK_FINISHED, std::move(task), nullptr});

    ASSERT_TRUE(Master[1].TaskResults);
    std::vector<int32_t> cols;
    for (const auto& v : Master[1].TaskResults->MetricaValues) cols.push_back(v.ColNum);
    EXPECT_THAT(cols, ElementsAre(3, 5, 15, 0));
    EXPECT_EQ(Master[1].TaskResults->ValueTextByColNum(3, msDesktop), "90");
    EXPECT_FALSE(Master[0].TaskResults);
    EXPECT_THAT(Window.Invalidated, ElementsAre(2));
    EXPECT_EQ(Window.ChartUpdates, 1);
    EXPECT_EQ(Window.Pos, 1);

    // A Num that no entry has, and a null payload, change nothing but the progress.
    auto stray = std::make_unique<TURLTaskInfo>("x", 99);
    stray->TaskResults = Results(trOK, trOK);
    Ctl.WndProc(TWorkerEvent{WM_TASK_FINISHED, std::move(stray), nullptr});
    EXPECT_EQ(Window.Pos, 2);
    Ctl.WndProc(TWorkerEvent{WM_TASK_FINISHED, nullptr, nullptr});
    EXPECT_EQ(Window.Pos, 2);
    EXPECT_THAT(Window.Invalidated, ElementsAre(2));
}

TEST_F(RunControllerTest, AbortStopsDispatchDropsAbortedTasksAndKeepsFinishedOnesExportable) {
    AddUrls(5);
    Ctl.btRunRequestsClick(TRunSender::btRunRequests);
    RequestSent();
    RequestSent();  // workers for 1, 2, 3
    Ctl.btAbortRequestsClick();
    EXPECT_TRUE(AbortRequested.load());
    EXPECT_FALSE(Enabled(TRunButton::btAbortRequests));
    EXPECT_EQ(Window.Log[0], "Отмена проверки...");

    RequestSent();
    EXPECT_EQ(Workers.Started.size(), 3u);
    Finish(0, trOK, trOK);  // both answers were in before the abort: merged
    Finish(1, trOK, trAborted);
    EXPECT_TRUE(Ctl.Running());
    EXPECT_FALSE(Enabled(TRunButton::btRunRequests));
    Finish(2, trAborted, trAborted);

    EXPECT_TRUE(Master[0].TaskResults);
    EXPECT_FALSE(Master[1].TaskResults);
    EXPECT_FALSE(Master[2].TaskResults);
    EXPECT_THAT(Window.Invalidated, ElementsAre(1));
    EXPECT_EQ(Window.Pos, 3);
    EXPECT_FALSE(Ctl.Running());
    EXPECT_FALSE(AbortRequested.load());
    // URL 1 finished before the cancel: its results can be exported.
    EXPECT_TRUE(Enabled(TRunButton::btExport));
    EXPECT_TRUE(Enabled(TRunButton::btRunRequests));
    EXPECT_EQ(Workers.Started.size(), 3u);
}

TEST_F(RunControllerTest, ExportStaysDisabledWhenACancelledRunCheckedNothing) {
    AddUrls(2);
    Ctl.btRunRequestsClick(TRunSender::btRunRequests);
    Ctl.btAbortRequestsClick();
    Finish(0, trAborted, trAborted);
    EXPECT_FALSE(Ctl.Running());
    EXPECT_FALSE(Enabled(TRunButton::btExport));
}

TEST_F(RunControllerTest, ErrorRecheckChoosesCheckedEntriesThatFailedAndKeepsTheRest) {
    AddUrls(10);
    Master[1].TaskResults = Results(trOK, trOK);
    Master[2].TaskResults = Results(trSendError, trOK);
    Master[4].TaskResults = Results(trOK, trQuotaExceeded);
    Master[6].TaskResults = Results(trNotChecked, trNotChecked);
    EXPECT_THAT(Ctl.GetErrorNums(), ElementsAre(3, 5, 7));

    Ctl.btRunRequestsClick(TRunSender::miCheckWErrors);
    EXPECT_THAT(Workers.StartedNums(), ElementsAre(3));
    EXPECT_EQ(Window.AllRepaints, 0);
    EXPECT_TRUE(Master[1].TaskResults);
    EXPECT_TRUE(Master[2].TaskResults);  // kept until its new results arrive
    EXPECT_EQ(Window.ProgressMax, 10);
    RequestSent();
    RequestSent();
    Finish(0);
    Finish(1);
    Finish(2);
    EXPECT_THAT(Workers.StartedNums(), ElementsAre(3, 5, 7));
    EXPECT_FALSE(Ctl.Running());
    EXPECT_EQ(Window.Pos, 3);
    EXPECT_EQ(Master[2].TaskResults->TaskResult[msDesktop], trOK);
    EXPECT_EQ(Master[1].TaskResults->TaskResult[msDesktop], trOK);
}

TEST_F(RunControllerTest, SelectedRunUsesTheShownGridsSelectionInListOrder) {
    AddUrls(10);
    Master[0].TaskResults = Results(trOK, trOK);
    Window.Shown = msMobile;
    // Display order is the grid's sort order, not the list's.
    Window.Rows = {{true, &Master[8]}, {false, &Master[0]}, {true, nullptr}, {true, &Master[3]}};
    EXPECT_THAT(Ctl.GetSelectedNums(), ElementsAre(9, 4));

    Ctl.btRunRequestsClick(TRunSender::miCheckSelected);
    EXPECT_THAT(Workers.StartedNums(), ElementsAre(4));
    RequestSent();
    EXPECT_THAT(Workers.StartedNums(), ElementsAre(4, 9));
    Finish(0);
    Finish(1);
    EXPECT_FALSE(Ctl.Running());
    EXPECT_TRUE(Master[0].TaskResults);  // not chosen: untouched
    EXPECT_EQ(Window.Pos, 2);
    EXPECT_EQ(Window.ProgressMax, 10);
}

TEST_F(RunControllerTest, NothingToCheckStartsNoRun) {
    // Empty selection and no failed entries: nothing at all happens.
    AddUrls(2);
    Master[0].TaskResults = Results(trOK, trOK);
    for (TRunSender sender : {TRunSender::miCheckSelected, TRunSender::miCheckWErrors}) {
        Ctl.btRunRequestsClick(sender);
        EXPECT_FALSE(Ctl.Running());
        EXPECT_THAT(Workers.Started, IsEmpty());
        EXPECT_THAT(Window.Log, IsEmpty());
        EXPECT_THAT(Window.ErrorBoxes, IsEmpty());
        EXPECT_TRUE(Window.Buttons.empty());
        EXPECT_TRUE(Master[0].TaskResults);
    }
    // A full run of an empty list cannot take a first task.
    Master.Clear();
    Ctl.btRunRequestsClick(TRunSender::btRunRequests);
    EXPECT_FALSE(Ctl.Running());
    EXPECT_THAT(Window.ErrorBoxes,
                ElementsAre("Не удалось запустить первое задание, внутренняя ошибка"));
    EXPECT_THAT(Workers.Started, IsEmpty());
    EXPECT_THAT(Window.Log, IsEmpty());
    RequestSent();
    EXPECT_THAT(Workers.Started, IsEmpty());
}

TEST_F(RunControllerTest, TwoLateRequestSentEventsEndTheRunOnce) {
    AddUrls(2);
    Ctl.btRunRequestsClick(TRunSender::btRunRequests);
    RequestSent();
    // Both workers lower the count before their last events are handled.
    for (size_t i = 0; i < 2; ++i) {
        auto task = std::move(Workers.Started[i]);
        task->TaskResults->TaskResult = {trOK, trOK};
        ActiveTaskCount.fetch_sub(1);
        Ctl.WndProc(TWorkerEvent{WM_TASK_FINISHED, std::move(task), nullptr});
    }
    RequestSent();
    EXPECT_FALSE(Ctl.Running());
    EXPECT_TRUE(Enabled(TRunButton::btExport));
    Window.Buttons.clear();
    RequestSent();
    EXPECT_TRUE(Window.Buttons.empty());
}

TEST_F(RunControllerTest, AWorkerThatCannotBeStartedIsReportedAndTheRunStillEnds) {
    AddUrls(3);
    Workers.FailFrom = 0;
    Ctl.btRunRequestsClick(TRunSender::btRunRequests);
    EXPECT_FALSE(Ctl.Running());
    EXPECT_THAT(Window.ErrorBoxes,
                ElementsAre("Не удалось запустить первое задание, внутренняя ошибка"));
    EXPECT_THAT(Window.Log, ElementsAre("URL 1: не удалось запустить задание: no thread"));

    Window.Log.clear();
    Workers.FailFrom = 1;
    Ctl.btRunRequestsClick(TRunSender::btRunRequests);
    RequestSent();  // URL 2 cannot start: no further task is handed out
    EXPECT_EQ(Window.Log[0], "URL 2: не удалось запустить задание: no thread");
    EXPECT_TRUE(Ctl.Running());
    Finish(0);
    EXPECT_FALSE(Ctl.Running());
    // URL 1 was checked before the run stopped short.
    EXPECT_TRUE(Enabled(TRunButton::btExport));
    EXPECT_FALSE(AbortRequested.load());
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
    Ctl.WndProc(
        TWorkerEvent{WM_TASK_LOG, nullptr, std::make_unique<TMsgForLog>(TMsgForLog{"second", t})});
    EXPECT_THAT(Window.Log, ElementsAre("second", "first"));
    EXPECT_THAT(Window.LogTimes, ElementsAre("09:05:07", "09:05:07"));
}

TEST_F(RunControllerTest, ShutdownWaitsForWorkersAndDeliversTheirLastEvents) {
    AddUrls(4);
    Ctl.btRunRequestsClick(TRunSender::btRunRequests);
    RequestSent();
    ASSERT_EQ(Workers.Started.size(), 2u);

    std::mutex m;
    std::deque<TWorkerEvent> queue;
    // Two workers notice the abort a little later and end the usual way.
    std::thread late([&] {
        for (size_t i = 0; i < 2; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            auto task = std::move(Workers.Started[i]);
            task->TaskResults->TaskResult = {trAborted, trAborted};
            ActiveTaskCount.fetch_sub(1);
            std::lock_guard lock(m);
            queue.push_back(TWorkerEvent{WM_TASK_FINISHED, std::move(task), nullptr});
            queue.push_back(TWorkerEvent{WM_REQUEST_SENT, nullptr, nullptr});
        }
    });
    Ctl.Shutdown([&] {
        std::deque<TWorkerEvent> batch;
        {
            std::lock_guard lock(m);
            batch.swap(queue);
        }
        for (auto& e : batch) Ctl.WndProc(std::move(e));
        return !batch.empty();
    });
    late.join();
    EXPECT_FALSE(Ctl.Running());
    EXPECT_EQ(Window.Pos, 2);
    EXPECT_EQ(Workers.Started.size(), 2u);
    EXPECT_FALSE(AbortRequested.load());
    EXPECT_EQ(ActiveTaskCount.load(), 0);
}

// A recheck of errors spends quota only on the strategy that failed; the good one stays.
TEST_F(RunControllerTest, ErrorRecheckAsksOnlyTheFailedStrategyAndKeepsTheGoodOne) {
    AddUrls(2);
    Master[0].TaskResults = Results(trOK, trSendError);
    Master[0].TaskResults->MetricaValues.push_back({"performance", msDesktop, "97", 3});
    Master[0].TaskResults->Retries[msDesktop] = 1;
    Master[1].TaskResults = Results(trOK, trOK);
    Ctl.btRunRequestsClick(TRunSender::miCheckWErrors);
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
    Window.Rows = {{true, &Master[0]}};
    Ctl.btRunRequestsClick(TRunSender::miCheckSelected);
    ASSERT_EQ(Workers.Started.size(), 2u);
    EXPECT_FALSE(Workers.Started[1]->Keep[msDesktop]);
    EXPECT_FALSE(Workers.Started[1]->Keep[msMobile]);
}

TEST_F(RunControllerTest, DailyQuotaEndsTheRunKeepsResultsAndListsTheRestForARecheck) {
    AddUrls(5);
    Settings.MaxThreads = 2;
    Ctl.btRunRequestsClick(TRunSender::btRunRequests);
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
    EXPECT_TRUE(Enabled(TRunButton::btExport)) << "the results are kept and can be exported";
    EXPECT_EQ(Master[0].TaskResults->TaskResult[msDesktop], trOK);
    EXPECT_THAT(Ctl.GetErrorNums(), ElementsAre(2, 3, 4, 5));
    ASSERT_GE(Window.Log.size(), 2u);
    EXPECT_EQ(Window.Log[0], "Проверка завершена: запросов 1, повторов 0");
    EXPECT_THAT(Window.Log[1], ::testing::HasSubstr("Осталось URL: 4."));
    EXPECT_THAT(Window.Log[1], ::testing::HasSubstr("«Перепроверить URL с ошибками»"));
}

}  // namespace
}  // namespace velmora
