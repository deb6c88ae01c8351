// Writes a run's merged tasks to the history on a thread of its own, in batched transactions,
// so the thread that merges never waits on the disk.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "history/history_store.h"

namespace velmora::history {

// Message pattern of results the history could not take; %s is the store's reason.
inline constexpr const char* kMsgHistoryWriteFailed =
    "Не удалось записать результаты в историю проверок: %s";

class THistoryWriter {
  public:
    // A batch is written once it holds batchSize tasks or its oldest task has waited maxDelay.
    THistoryWriter(IHistoryStore& store, int64_t runId,
                   std::chrono::milliseconds maxDelay = std::chrono::milliseconds(1000),
                   size_t batchSize = 50);
    // Runs begin on the writer thread first (e.g. writing a new run's URL list) and writes to
    // the run it returns.
    using TBeginFn = std::function<TResult<int64_t>()>;
    explicit THistoryWriter(IHistoryStore& store, TBeginFn begin);
    ~THistoryWriter();
    THistoryWriter(const THistoryWriter&) = delete;
    THistoryWriter& operator=(const THistoryWriter&) = delete;

    // The run written to, once begin has run (waits for it); 0 when it failed.
    int64_t RunId();
    // Queues a copy of the task's results; never blocks on the disk.
    void Add(const TURLTaskInfo& task);
    // Writes what is queued and ends the thread. Later Adds are dropped.
    void Stop();
    // As Stop, then end(runId) on the writer thread; returns at once. A failure of end is
    // reported by TakeError after Stop.
    void StopWith(std::function<TResult<>(int64_t runId)> end);
    // The first write failure's message, once; empty otherwise. After a failure the writer
    // drops what it is given: the run goes on in memory.
    std::string TakeError();

  private:
    void Loop();

    IHistoryStore& FStore;
    TBeginFn FBegin;
    std::function<TResult<>(int64_t)> FEnd;
    int64_t FRunId = 0;
    bool FBegun = false;
    std::condition_variable FBegunCv;
    const std::chrono::milliseconds FMaxDelay;
    const size_t FBatchSize;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::vector<TStoredResult> FQueue;
    std::chrono::steady_clock::time_point FOldest;
    bool FStopping = false;
    bool FFailed = false;
    std::string FError;
    std::thread FThread;
};

}  // namespace velmora::history
