#include "history/run_recorder.h"

namespace velmora::history {

TRunState EndState(bool aborted, const TURLTaskInfoList& master) {
    if (aborted) return TRunState::rsAborted;
    TRunState state = TRunState::rsCompleted;
    for (size_t i = 0; i < master.Count(); ++i) {
        const TURLTaskResults* r = master[i].TaskResults.get();
        if (!r) return TRunState::rsAborted;
        if (r->TaskResult[msDesktop] == trQuotaExceeded ||
            r->TaskResult[msMobile] == trQuotaExceeded)
            state = TRunState::rsQuota;
    }
    return state;
}

TRunRecorder::TRunRecorder(std::unique_ptr<IHistoryStore> store, int keepNewest)
    : store_(std::move(store)), keep_(keepNewest) {}

TRunRecorder::~TRunRecorder() {
    (void)Settle();
    if (writer_) writer_->Stop();
}

TResult<> TRunRecorder::Begin(const TURLTaskInfoList& master, const std::string& lang,
                              const std::string& settings) {
    (void)Settle();
    std::vector<std::string> urls;
    urls.reserve(master.Count());
    for (size_t i = 0; i < master.Count(); ++i) urls.push_back(master[i].URL);
    TRunRecord run;
    run.Lang = lang;
    run.Settings = settings;
    writer_.reset();
    runId_ = 0;
    if (TResult<> r = store_->BeginRun(run, urls); !r) return r;
    urls_ = std::move(urls);
    runId_ = run.Id;
    finished_ = false;
    writer_ = std::make_unique<THistoryWriter>(*store_, runId_);
    return {};
}

TResult<> TRunRecorder::Continue(int64_t runId, const TURLTaskInfoList& master) {
    (void)Settle();
    writer_.reset();
    runId_ = 0;
    if (TResult<> r = store_->ReopenRun(runId); !r) return r;
    urls_.clear();
    for (size_t i = 0; i < master.Count(); ++i) urls_.push_back(master[i].URL);
    runId_ = runId;
    finished_ = false;
    writer_ = std::make_unique<THistoryWriter>(*store_, runId_);
    return {};
}

void TRunRecorder::Release() {
    (void)Settle();
    if (writer_) {
        writer_->Stop();
        if (std::string e = writer_->TakeError(); !e.empty() && error_.empty()) error_ = e;
        writer_.reset();
    }
    runId_ = 0;
    urls_.clear();
    finished_ = false;
}

bool TRunRecorder::Holds(const TURLTaskInfoList& master) const {
    if (!runId_ || master.Count() != urls_.size()) return false;
    for (size_t i = 0; i < urls_.size(); ++i)
        if (master[i].URL != urls_[i]) return false;
    return true;
}

void TRunRecorder::Merged(const TURLTaskInfo& task) {
    if (!runId_) return;
    if (!writer_) writer_ = std::make_unique<THistoryWriter>(*store_, runId_);
    writer_->Add(task);
    if (finished_) lateTasks_ = true;
}

TResult<> TRunRecorder::Finish(bool aborted, const TURLTaskInfoList& master) {
    if (!runId_) return {};
    if (writer_) {
        writer_->Stop();
        if (std::string e = writer_->TakeError(); !e.empty() && error_.empty()) error_ = e;
        writer_.reset();
    }
    finished_ = true;
    lateTasks_ = false;
    lastAborted_ = aborted;
    lastMaster_ = &master;
    if (TResult<> r = store_->FinishRun(runId_, EndState(aborted, master)); !r) return r;
    if (TResult<int> r = store_->KeepNewest(keep_); !r) return Fail(r.Error(), r.Code());
    return {};
}

TResult<> TRunRecorder::Settle() {
    if (!finished_ || !lateTasks_ || !lastMaster_) return {};
    // The list may have been changed since: then the run keeps the end it had.
    if (Holds(*lastMaster_)) return Finish(lastAborted_, *lastMaster_);
    if (writer_) writer_->Stop();
    writer_.reset();
    lateTasks_ = false;
    return {};
}

std::string TRunRecorder::TakeError() {
    std::string e = std::exchange(error_, {});
    if (e.empty() && writer_) e = writer_->TakeError();
    return e;
}

}  // namespace velmora::history
