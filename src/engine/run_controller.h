// Control of a check run, free of any toolkit: the front end supplies the window effects,
// the worker factory and the run settings, and feeds worker events back in on its main thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/events.h"
#include "engine/pool.h"
#include "engine/tasks.h"

namespace velmora {

enum class TRunButton {
    btRunRequests,
    btAbortRequests,
    btInsertURLs4Clip,
    btImportURLs4TXT,
    btImportURLs4XML,
    btExport
};

// Which of the three ways in started a run.
// btResume continues an interrupted run: the URLs without results and those the quota refused.
enum class TRunSender { btRunRequests, miCheckSelected, miCheckWErrors, btResume };

struct TShownRow {
    bool Selected = false;
    TURLTaskInfo* Task = nullptr;  // the row's master entry, or null
};

// The window effects a run needs; all called on the main thread.
class ICheckRunWindow {
  public:
    virtual ~ICheckRunWindow() = default;
    virtual void SetButtonEnabled(TRunButton button, bool enabled) = 0;
    virtual void SetParamsEnabled(bool enabled) = 0;  // the parameters group as a whole
    virtual void ShowProgress(bool visible) = 0;
    virtual void SetProgressMax(int max) = 0;
    virtual void SetProgressPos(int pos) = 0;
    virtual int ProgressPos() const = 0;
    virtual void ShowLogTab() = 0;
    virtual void RepaintAllRows() = 0;
    virtual void InvalidateTaskRow(const TURLTaskInfo& task) = 0;
    virtual void UpdateScoreChart() = 0;
    virtual void ShowErrorBox(const std::string& text) = 0;
    virtual TMetricaStrategy ShownStrategy() const = 0;
    // Top-level rows of the shown grid in display order.
    virtual std::vector<TShownRow> ShownGridRows() const = 0;
    // Inserts a row at the top of the log list.
    virtual void InsertLogRow(const std::string& timeText, const std::string& message) = 0;
};

// Settings read from the parameter controls at the start of a run.
struct TRunSettings {
    std::string ApiKey;
    int32_t MaxThreads = 8;
    int32_t MinReqDelay = 1300;
    int32_t Retries = 2;  // tries again after a passing fault; 0 = none
};

// Starts one worker for a task; creating it raises ActiveTaskCount by one.
class IWorkerFactory {
  public:
    virtual ~IWorkerFactory() = default;
    virtual void StartWorker(std::unique_ptr<TURLTaskInfo> task, const std::string& apiKey,
                             TURLTaskInfoPool& pool) = 0;
    // Worker threads of this factory that have not yet ended. A worker lowers ActiveTaskCount
    // before its last two events, so only this count tells when it no longer touches the pool,
    // the event sink or libcurl.
    virtual int32_t LiveWorkers() const { return 0; }
};

// Follows a run from the main thread, e.g. to keep it in the run history.
class IRunObserver {
  public:
    virtual ~IRunObserver() = default;
    // The run started, its first task with it; results cleared first when sender is
    // btRunRequests.
    virtual void RunStarted(TRunSender sender) = 0;
    // A task's results were merged into the master list (also after the run ended: a worker's
    // last event may come late).
    virtual void TaskMerged(const TURLTaskInfo& task) = 0;
    virtual void RunEnded(bool aborted) = 0;
};

class CheckRunController {
  public:
    using TSettingsSource = std::function<TRunSettings()>;

    CheckRunController(ICheckRunWindow& window, TURLTaskInfoList& master, IWorkerFactory& workers,
                       TSettingsSource settings, IPacingClock& clock = SteadyPacingClock());
    ~CheckRunController();

    void btRunRequestsClick(TRunSender sender);
    void btAbortRequestsClick();
    void StartNextTask();
    void MergeFinishedTask(std::unique_ptr<TURLTaskInfo> task);
    void UpdateRunButtons();
    std::vector<int32_t> GetSelectedNums() const;
    std::vector<int32_t> GetErrorNums() const;
    std::vector<int32_t> GetUncheckedNums() const;
    // Told of the run's start, each merged task and its end (e.g. the run history); or null.
    void SetRunObserver(IRunObserver* observer) { FObserver = observer; }
    void AddToLog(const std::string& sMessage, std::chrono::system_clock::time_point aTime);
    // Routes one worker event (what the window's message procedure did).
    void WndProc(TWorkerEvent event);

    bool Running() const { return FPool != nullptr; }
    TURLTaskInfoPool* CurrentPool() const { return FPool.get(); }

    // For closing during a run: sets the abort flag, then calls drainEvents (which must deliver
    // the front end's queued worker events to WndProc) until no worker is active and the queue
    // is empty, then releases the pool. Nothing the workers use is freed before that.
    void Shutdown(const std::function<bool()>& drainEvents);

  private:
    // Starts a worker for the task; false (with the reason logged) when that fails.
    bool StartTask(std::unique_ptr<TURLTaskInfo> task);
    void EndRun();
    // After a daily quota: the URLs not handed out are marked unchecked, and the log says how
    // many are left and how to continue.
    void ReportDailyStop();

    ICheckRunWindow& FWindow;
    TURLTaskInfoList& FMaster;
    IWorkerFactory& FWorkers;
    TSettingsSource FSettings;
    IPacingClock& FClock;
    std::unique_ptr<TURLTaskInfoPool> FPool;
    int32_t FMaxThreads = 8;
    std::string FApiKey;
    IRunObserver* FObserver = nullptr;
};

}  // namespace velmora
