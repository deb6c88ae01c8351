#include "history/history_writer.h"

#include <ctime>
#include <utility>

#include "base/translate.h"

namespace velmora::history {

THistoryWriter::THistoryWriter(IHistoryStore& store, int64_t runId,
                               std::chrono::milliseconds maxDelay, size_t batchSize)
    : store_(store),
      begin_([runId] { return TResult<int64_t>(runId); }),
      maxDelay_(maxDelay),
      batchSize_(batchSize) {
    thread_ = std::thread([this] { Loop(); });
}

THistoryWriter::THistoryWriter(IHistoryStore& store, TBeginFn begin)
    : store_(store),
      begin_(std::move(begin)),
      maxDelay_(std::chrono::milliseconds(1000)),
      batchSize_(50) {
    thread_ = std::thread([this] { Loop(); });
}

int64_t THistoryWriter::RunId() {
    std::unique_lock lock(mutex_);
    begunCv_.wait(lock, [&] { return begun_; });
    return runId_;
}

void THistoryWriter::StopWith(std::function<TResult<>(int64_t)> end) {
    {
        std::lock_guard lock(mutex_);
        end_ = std::move(end);
        stopping_ = true;
    }
    wake_.notify_one();
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
    TResult<int64_t> begun = begin_();
    std::unique_lock lock(mutex_);
    begun_ = true;
    if (begun) {
        runId_ = *begun;
    } else {
        failed_ = true;
        error_ = FormatLog(Tr("Не удалось записать результаты в историю проверок: %s"), 0,
                           begun.Error());
    }
    begunCv_.notify_all();
    for (;;) {
        if (queue_.empty()) {
            if (stopping_) {
                if (end_ && runId_ && !failed_) {
                    auto end = std::move(end_);
                    lock.unlock();
                    TResult<> ended = end(runId_);
                    lock.lock();
                    if (!ended) error_ = ended.Error();
                }
                return;
            }
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
        TResult<> written = failed_ ? TResult<>() : store_.WriteResults(runId_, batch);
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
