// Control of a check run, free of any toolkit: the front end supplies the run settings and
// an observer, starts and aborts runs, and lets the controller deliver the workers' events on
// its main thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "engine/event_queue.h"
#include "engine/events.h"
#include "engine/pool.h"
#include "engine/tasks.h"

namespace velmora {

// Which entries of the master list a run checks.
enum class TRunScope {
    All,        // every entry, results cleared first
    Selected,   // the entries the front end names
    Failed,     // checked entries that failed; a good strategy keeps its result
    Unchecked,  // entries without results and those the quota refused: resuming a run
};

// Settings read at the start of a run; the thread limit is read again at every dispatch.
struct TRunSettings {
    std::string ApiKey;
    int32_t MaxThreads = 8;
    int32_t MinReqDelay = 1300;
    int32_t Retries = 2;                         // tries again after a passing fault; 0 = none
    TCategorySet Categories = kPerformanceOnly;  // performance is always asked for
    bool Screenshots = false;                    // keep the answers' final screenshots
    TStrategySet Strategies = kBothStrategies;
    // The service's language for advice texts ("locale="); empty: its own English.
    std::string Locale{};
};

// What changed in a run's progress.
struct TProgressStep {
    int Done = 0;            // tasks of the run merged so far
    int Total = 0;           // entries in the master list
    int RunTasks = 0;        // tasks the run took from the list
    int32_t StartedNum = 0;  // a worker just took this task; 0 when none did
    // The task copy a worker just handed back, merged or not (an aborted one is not); null
    // when none was.
    const TURLTaskInfo* Finished = nullptr;
};

// How a run ended.
struct TRunEnd {
    bool Aborted = false;
    // Entries a daily quota left unchecked: given empty results so that a recheck of errors
    // continues with them.
    std::vector<int32_t> LeftByQuota;
};

// Follows a run on the front end's main thread.
class IRunObserver {
  public:
    virtual ~IRunObserver() = default;
    // A task's results were merged into the master list (also after the run ended: a worker's
    // last event may come late).
    virtual void TaskFinished(const TURLTaskInfo& task) = 0;
    virtual void Progress(const TProgressStep& step) = 0;
    virtual void Log(const TMsgForLog& line) = 0;
    virtual void RunEnded(const TRunEnd& end) = 0;
};

// What a worker of a run is handed besides its task.
struct TWorkerRun {
    std::string ApiKey;
    TURLTaskInfoPool& Pool;
    ITaskEventSink& Sink;
    TCategorySet Categories = kPerformanceOnly;
    bool Screenshots = false;
    std::string Locale{};  // empty: none asked for
};

// Starts the workers of a run and owns their threads.
class IWorkerFactory {
  public:
    virtual ~IWorkerFactory() = default;
    // Starts one worker; it counts itself in run.Pool's active tasks before this returns.
    virtual void StartWorker(std::unique_ptr<TURLTaskInfo> task, const TWorkerRun& run) = 0;
    // Waits until every worker started so far has ended.
    virtual void JoinAll() = 0;
};

// Whether any entry of the list has results: then there is something to export.
bool AnyChecked(const TURLTaskInfoList& master);

class TRunController {
  public:
    using TSettingsSource = std::function<TRunSettings()>;

    TRunController(TURLTaskInfoList& master, IWorkerFactory& workers, TSettingsSource settings,
                   IPacingClock& clock = SteadyPacingClock());
    ~TRunController();
    TRunController(const TRunController&) = delete;
    TRunController& operator=(const TRunController&) = delete;

    void SetObserver(IRunObserver* observer) { FObserver = observer; }
    // Where the workers post; its arrival hook lets a front end schedule DeliverPending.
    TEventQueue& Events() { return FEvents; }

    // Starts a run over scope (selected: the numbers of the chosen entries, in any order).
    // True when it started; false when there was nothing to check (nothing happened); a
    // failure when not even the first worker could start.
    TResult<bool> Start(TRunScope scope, const std::vector<int32_t>& selected = {});
    void Abort();
    // Handles one worker event.
    void Deliver(TWorkerEvent event);
    // Delivers every queued event, waiting up to wait for the first; true when there was one.
    bool DeliverPending(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    // Delivers events until the run has ended; aborts once when abortWanted says so.
    void DeliverUntilEnded(const std::function<bool()>& abortWanted = {});
    // For closing during a run: aborts, joins every worker and delivers what they posted.
    void Shutdown();

    bool Running() const { return FPool != nullptr; }
    TURLTaskInfoPool* CurrentPool() const { return FPool.get(); }
    std::vector<int32_t> ErrorNums() const;
    std::vector<int32_t> UncheckedNums() const;
    void AddToLog(const std::string& sMessage, std::chrono::system_clock::time_point aTime,
                  TLogLevel level = TLogLevel::Info);

  private:
    std::vector<int32_t> ScopeNums(TRunScope scope, const std::vector<int32_t>& selected) const;
    void FillPool(TRunScope scope, const std::vector<int32_t>& nums);
    // Starts a worker for the task; false (with the reason logged) when that fails.
    bool StartTask(std::unique_ptr<TURLTaskInfo> task);
    void StartNextTask();
    void MergeFinishedTask(std::unique_ptr<TURLTaskInfo> task);
    void ReportProgress(int32_t startedNum, const TURLTaskInfo* finished = nullptr);
    // Joins the workers, merges what they posted, then reports the end.
    void EndRun();
    // After a daily quota: the URLs not handed out are marked unchecked, and the log says how
    // many are left and how to continue.
    std::vector<int32_t> ReportDailyStop();

    TURLTaskInfoList& FMaster;
    IWorkerFactory& FWorkers;
    TSettingsSource FSettings;
    IPacingClock& FClock;
    TEventQueue FEvents;
    std::unique_ptr<TURLTaskInfoPool> FPool;
    std::string FApiKey;
    std::string FLocale;
    TCategorySet FCategories = kPerformanceOnly;
    bool FScreenshots = false;
    TStrategySet FStrategies = kBothStrategies;
    int FDone = 0;
    int FRunTasks = 0;
    bool FEnding = false;  // EndRun is delivering the workers' last events
    IRunObserver* FObserver = nullptr;
};

}  // namespace velmora
