#include "history/history_writer.h"

#include <ctime>
#include <utility>

#include "base/translate.h"

namespace velmora::history {

THistoryWriter::THistoryWriter(IHistoryStore& store, int64_t runId,
                               std::chrono::milliseconds maxDelay, size_t batchSize)
    : store_(store), runId_(runId), maxDelay_(maxDelay), batchSize_(batchSize) {
    thread_ = std::thread([this] { Loop(); });
}

THistoryWriter::~THistoryWriter() {
    Stop();
}

void THistoryWriter::Add(const TURLTaskInfo& task) {
    if (!task.TaskResults) return;
    TStoredResult item{task.Num, *task.TaskResults, static_cast<int64_t>(std::time(nullptr))};
    std::lock_guard lock(mutex_);
    if (stopping_ || failed_) return;
    const bool first = queue_.empty();
    if (first) oldest_ = std::chrono::steady_clock::now();
    queue_.push_back(std::move(item));
    // The first starts the writer's clock; a full batch ends its wait.
    if (first || queue_.size() >= batchSize_) wake_.notify_one();
}

void THistoryWriter::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

std::string THistoryWriter::TakeError() {
    std::lock_guard lock(mutex_);
    return std::exchange(error_, {});
}

void THistoryWriter::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (queue_.empty()) {
            if (stopping_) return;
            wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            continue;
        }
        if (!stopping_ && queue_.size() < batchSize_) {
            wake_.wait_until(lock, oldest_ + maxDelay_,
                             [&] { return stopping_ || queue_.size() >= batchSize_; });
        }
        std::vector<TStoredResult> batch;
        batch.swap(queue_);
        lock.unlock();
        TResult<> written = store_.WriteResults(runId_, batch);
        lock.lock();
        if (!written && !failed_) {
            failed_ = true;
            error_ = FormatLog(Tr("Не удалось записать результаты в историю проверок: %s"), 0,
                               written.Error());
            queue_.clear();
        }
    }
}

}  // namespace velmora::history
