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
// While the history refuses writes for a while, and once it takes them again.
inline constexpr const char* kMsgHistoryWritesDelayed =
    "Запись в историю проверок задерживается: %s; результаты ждут в памяти";
inline constexpr const char* kMsgHistoryWritesResumed =
    "Запись в историю проверок возобновлена, ожидавшие результаты записаны";

// A batch is written once it holds this many tasks or its oldest task has waited this long.
inline constexpr std::chrono::milliseconds kBatchDelay{1000};
inline constexpr size_t kBatchSize = 50;

class THistoryWriter {
  public:
    THistoryWriter(IHistoryStore& store, int64_t runId,
                   std::chrono::milliseconds maxDelay = kBatchDelay, size_t batchSize = kBatchSize,
                   TWritePatience patience = {});
    // Runs begin on the writer thread first (e.g. writing a new run's URL list) and writes to
    // the run it returns.
    using TBeginFn = std::function<TResult<int64_t>()>;
    explicit THistoryWriter(IHistoryStore& store, TBeginFn begin, TWritePatience patience = {});
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
    // What the user should know since the last call, once: that writing is delayed (the
    // results wait), that it goes on again, or that it gave up; empty otherwise. After giving
    // up the writer drops what it is given: the run goes on in memory.
    std::string TakeError();
    // Whether recording gave up: the history lacks some of the run.
    bool Lost();

  private:
    void Loop();
    // Runs write until it succeeds, fails for good, or the patience is spent; the lock is held
    // on entry and exit and released while writing or pausing.
    TResult<> Persist(std::unique_lock<std::mutex>& lock, const std::function<TResult<>()>& write);
    void GiveUp(const std::string& reason);

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
    bool FFailed = false;  // recording gave up
    std::string FError;
    const TWritePatience FPatience;
    std::thread FThread;
};

}  // namespace velmora::history
