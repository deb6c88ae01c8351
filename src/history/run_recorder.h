// Keeps one run in the history while it goes: begins or continues it, queues every merged
// task for the writer thread, and records how it ended. Both front ends use it on their main
// thread; nothing here waits on the disk except at the end of a run.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/run_controller.h"
#include "history/history_store.h"
#include "history/history_writer.h"

namespace velmora::history {

// How a run of master ended: aborted, or with URLs left unchecked (a task could not start),
// or refused by the quota, else completed.
TRunState EndState(bool aborted, const TURLTaskInfoList& master);

// What a run keeps of its parameters, as "key=value" lines; never the API key.
std::string RunSettingsText(const TRunSettings& run, const std::string& endpoint);

class TRunRecorder {
  public:
    TRunRecorder(std::unique_ptr<IHistoryStore> store, int keepNewest);
    ~TRunRecorder();

    IHistoryStore& Store() { return *store_; }
    // How many of the newest runs to keep (0: all); older ones go when a recorded run ends.
    void SetKeepNewest(int keep) { keep_ = keep; }

    // A new run of master's URL list.
    TResult<> Begin(const TURLTaskInfoList& master, const std::string& lang,
                    const std::string& settings);
    // Continues a run already loaded into master (resume, or re-checking some of its URLs).
    TResult<> Continue(int64_t runId, const TURLTaskInfoList& master);
    // The run being recorded, or 0.
    int64_t RunId();
    // Stops recording into the run (after writing what is queued); a later check begins anew.
    void Release();
    // Whether master still holds the recorded run's URL list, in order.
    bool Holds(const TURLTaskInfoList& master) const;

    // Queues a merged task. A task merged after Finish (a worker's last event can arrive after
    // the run ended) is still written, and the run's end is recorded again later.
    void Merged(const TURLTaskInfo& task);
    // Records the end, then the writer thread writes what is queued, ends the run and prunes
    // to the newest runs; the caller does not wait for the disk. master must outlive the
    // recorder or the next Begin/Continue.
    TResult<> Finish(bool aborted, const TURLTaskInfoList& master);
    // The first write failure since the last call, or empty.
    std::string TakeError();

  private:
    TResult<> Settle();  // a late task's run is finished again
    void JoinWriter();   // waits for the writer thread's last work, keeping its error

    std::unique_ptr<IHistoryStore> store_;
    int keep_ = 0;
    std::unique_ptr<THistoryWriter> writer_;
    bool active_ = false;  // a run is being recorded (its id may still be on its way)
    int64_t runId_ = 0;    // known once the writer has begun it
    std::vector<std::string> urls_;
    bool finished_ = false;
    bool lateTasks_ = false;
    bool lastAborted_ = false;
    const TURLTaskInfoList* lastMaster_ = nullptr;
    std::string error_;
};

}  // namespace velmora::history
