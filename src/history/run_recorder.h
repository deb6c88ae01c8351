// Keeps one run in the history while it goes: begins or continues it, queues every merged
// task for the writer thread, and records how it ended. The run session uses it on the front
// end's main thread; nothing here waits on the disk except Release.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_controller.h"
#include "history/history_store.h"
#include "history/history_writer.h"

namespace velmora::history {

// How a run of master ended: aborted, or with URLs left unchecked (a task could not start),
// or refused by the quota, else completed.
TRunState EndState(bool aborted, const TURLTaskInfoList& master);

// What a run keeps of its parameters, as "key=value" lines; never the API key. A source (where
// the URLs came from) is kept as "source=..." when known, the page group rules as "groups=".
std::string RunSettingsText(const TRunSettings& run, const std::string& endpoint,
                            const std::string& source = {}, const std::string& groups = {});
// The source a run's settings text names, or empty.
std::string RunSource(const std::string& settings);
// A run that checked one strategy alone says so in its parameters; its loaded results learn
// which, so the other reads as not asked for.
void ApplyRunStrategies(TLoadedRun& loaded);

class TRunRecorder {
  public:
    TRunRecorder(std::unique_ptr<IHistoryStore> store, int keepNewest,
                 TWritePatience patience = {});
    ~TRunRecorder();
    TRunRecorder(const TRunRecorder&) = delete;
    TRunRecorder& operator=(const TRunRecorder&) = delete;

    IHistoryStore& Store() { return *FStore; }
    // How many of the newest runs to keep (0: all); older ones go when a recorded run ends.
    void SetKeepNewest(int keep) { FKeep = keep; }

    // A new run of master's URL list. The list is written on the writer thread, so a failure
    // to begin arrives through TakeError.
    void Begin(const TURLTaskInfoList& master, const std::string& lang,
               const std::string& settings);
    // Continues a run already loaded into master (resume, or re-checking some of its URLs);
    // fails, recording nothing, when the run cannot be reopened.
    TResult<> Continue(int64_t runId, const TURLTaskInfoList& master);
    // The run being recorded, or 0 (also while a new run's id is still on its way).
    int64_t RunId();
    // Writes what is queued and lets go of the run (waits for the disk); a later check begins
    // anew. A lasting failure of the writes is then in TakeError.
    void Release();
    // Whether master still holds the recorded run's URL list, in order.
    bool Holds(const TURLTaskInfoList& master) const;

    // Queues a merged task. A task merged after Finish is still written, and the run's end is
    // written again as it was.
    void Merged(const TURLTaskInfo& task);
    // Records the end; the writer thread writes what is queued, ends the run and prunes to
    // the newest runs. A failure of that arrives through TakeError.
    void Finish(bool aborted, const TURLTaskInfoList& master);
    // What the user should know about the writes since the last call (a delay, its end, a
    // failure), or empty.
    std::string TakeError();
    // Whether a run recorded since the recorder was made lacks results or its end in the
    // history: its writes failed for good.
    bool Lost() const { return FLost; }

  private:
    enum class TState {
        Idle,       // no run
        Recording,  // merged tasks go to the run
        Finished,   // its end is on the writer's way
        LateTasks,  // tasks came after the end; the end is written again when they are
    };
    void FinishWriter(TRunState state);
    void Settle();      // a run with late tasks gets its end written again
    void JoinWriter();  // waits for the writer thread's last work, keeping its error

    std::unique_ptr<IHistoryStore> FStore;
    int FKeep = 0;
    TWritePatience FPatience;
    std::unique_ptr<THistoryWriter> FWriter;
    TState FState = TState::Idle;
    std::optional<int64_t> FRunId;  // known once the writer has begun the run
    std::vector<std::string> FUrls;
    TRunState FEnd = TRunState::rsUnfinished;  // as Finish recorded it
    std::string FError;
    bool FLost = false;
};

}  // namespace velmora::history
