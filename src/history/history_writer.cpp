#include "history/history_writer.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <utility>

#include "base/translate.h"

namespace velmora::history {

THistoryWriter::THistoryWriter(IHistoryStore& store, int64_t runId,
                               std::chrono::milliseconds maxDelay, size_t batchSize,
                               TWritePatience patience)
    : FStore(store),
      FBegin([runId] { return TResult<int64_t>(runId); }),
      FMaxDelay(maxDelay),
      FBatchSize(batchSize),
      FPatience(patience) {
    FThread = std::thread([this] { Loop(); });
}

THistoryWriter::THistoryWriter(IHistoryStore& store, TBeginFn begin, TWritePatience patience)
    : FStore(store),
      FBegin(std::move(begin)),
      FMaxDelay(kBatchDelay),
      FBatchSize(kBatchSize),
      FPatience(patience) {
    FThread = std::thread([this] { Loop(); });
}

int64_t THistoryWriter::RunId() {
    std::unique_lock lock(FMutex);
    FBegunCv.wait(lock, [&] { return FBegun; });
    return FRunId;
}

void THistoryWriter::StopWith(std::function<TResult<>(int64_t)> end) {
    {
        std::lock_guard lock(FMutex);
        FEnd = std::move(end);
        FStopping = true;
    }
    FWake.notify_one();
}

THistoryWriter::~THistoryWriter() {
    Stop();
}

void THistoryWriter::Add(const TURLTaskInfo& task) {
    if (!task.TaskResults) return;
    TStoredResult item{task.Num, *task.TaskResults, static_cast<int64_t>(std::time(nullptr))};
    // The history keeps no screenshots; no copy of them need wait in the queue.
    item.Results.FinalScreenshot = {};
    std::lock_guard lock(FMutex);
    if (FStopping || FFailed) return;
    const bool first = FQueue.empty();
    if (first) FOldest = std::chrono::steady_clock::now();
    FQueue.push_back(std::move(item));
    // The first starts the writer's clock; a full batch ends its wait.
    if (first || FQueue.size() >= FBatchSize) FWake.notify_one();
}

void THistoryWriter::Stop() {
    {
        std::lock_guard lock(FMutex);
        FStopping = true;
    }
    FWake.notify_one();
    if (FThread.joinable()) FThread.join();
}

std::string THistoryWriter::TakeError() {
    std::lock_guard lock(FMutex);
    return std::exchange(FError, {});
}

bool THistoryWriter::Lost() {
    std::lock_guard lock(FMutex);
    return FFailed;
}

namespace {

// Failures that waiting cannot mend: all but the passing ones.
bool Lasting(THistoryError kind) {
    return kind != THistoryError::Busy;
}

}  // namespace

TResult<> THistoryWriter::Persist(std::unique_lock<std::mutex>& lock,
                                  const std::function<TResult<>()>& write) {
    std::optional<std::chrono::steady_clock::time_point> since;
    std::string delayed;
    auto pause = FPatience.FirstPause;
    for (;;) {
        lock.unlock();
        TResult<> r = write();
        lock.lock();
        if (r) {
            // A delay nobody has read about yet needs no word that it is over.
            if (since) FError = FError == delayed ? std::string() : Tr(kMsgHistoryWritesResumed);
            return r;
        }
        const auto now = std::chrono::steady_clock::now();
        if (Lasting(HistoryErrorOf(r)) || (since && now - *since >= FPatience.GiveUpAfter))
            return r;
        if (!since) {
            since = now;
            delayed = FormatLog(Tr(kMsgHistoryWritesDelayed), 0, r.Error());
            FError = delayed;
        }
        FWake.wait_for(lock, pause, [] { return false; });
        pause = std::min(pause * 2, FPatience.LongestPause);
    }
}

void THistoryWriter::GiveUp(const std::string& reason) {
    FFailed = true;
    FError = FormatLog(Tr(kMsgHistoryWriteFailed), 0, reason);
    FQueue.clear();
}

void THistoryWriter::Loop() {
    std::unique_lock lock(FMutex);
    int64_t runId = 0;
    TResult<> begun = Persist(lock, [&]() -> TResult<> {
        TResult<int64_t> r = FBegin();
        if (!r) return r.Failure();
        runId = *r;
        return {};
    });
    FBegun = true;
    if (begun)
        FRunId = runId;
    else
        GiveUp(begun.Error());
    FBegunCv.notify_all();
    for (;;) {
        if (FQueue.empty()) {
            if (FStopping) {
                if (FEnd && FRunId && !FFailed) {
                    auto end = std::move(FEnd);
                    if (TResult<> ended = Persist(lock, [&] { return end(FRunId); }); !ended)
                        GiveUp(ended.Error());
                }
                return;
            }
            FWake.wait(lock, [&] { return FStopping || !FQueue.empty(); });
            continue;
        }
        if (!FStopping && FQueue.size() < FBatchSize) {
            FWake.wait_until(lock, FOldest + FMaxDelay,
                             [&] { return FStopping || FQueue.size() >= FBatchSize; });
        }
        std::vector<TStoredResult> batch;
        batch.swap(FQueue);
        if (FFailed) continue;
        // Tasks merged meanwhile queue behind the batch, so a result re-checked later is
        // still written last.
        if (TResult<> written = Persist(lock, [&] { return FStore.WriteResults(FRunId, batch); });
            !written)
            GiveUp(written.Error());
    }
}

}  // namespace velmora::history
