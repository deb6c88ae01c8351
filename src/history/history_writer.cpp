#include "history/history_writer.h"

#include <ctime>
#include <utility>

#include "base/translate.h"

namespace velmora::history {

THistoryWriter::THistoryWriter(IHistoryStore& store, int64_t runId,
                               std::chrono::milliseconds maxDelay, size_t batchSize)
    : FStore(store),
      FBegin([runId] { return TResult<int64_t>(runId); }),
      FMaxDelay(maxDelay),
      FBatchSize(batchSize) {
    FThread = std::thread([this] { Loop(); });
}

THistoryWriter::THistoryWriter(IHistoryStore& store, TBeginFn begin)
    : FStore(store),
      FBegin(std::move(begin)),
      FMaxDelay(std::chrono::milliseconds(1000)),
      FBatchSize(50) {
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

void THistoryWriter::Loop() {
    TResult<int64_t> begun = FBegin();
    std::unique_lock lock(FMutex);
    FBegun = true;
    if (begun) {
        FRunId = *begun;
    } else {
        FFailed = true;
        FError = FormatLog(Tr(kMsgHistoryWriteFailed), 0, begun.Error());
    }
    FBegunCv.notify_all();
    for (;;) {
        if (FQueue.empty()) {
            if (FStopping) {
                if (FEnd && FRunId && !FFailed) {
                    auto end = std::move(FEnd);
                    lock.unlock();
                    TResult<> ended = end(FRunId);
                    lock.lock();
                    if (!ended) FError = ended.Error();
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
        lock.unlock();
        TResult<> written = FFailed ? TResult<>() : FStore.WriteResults(FRunId, batch);
        lock.lock();
        if (!written && !FFailed) {
            FFailed = true;
            FError = FormatLog(Tr(kMsgHistoryWriteFailed), 0, written.Error());
            FQueue.clear();
        }
    }
}

}  // namespace velmora::history
