#include "history/run_recorder.h"

#include <utility>

namespace velmora::history {

std::string RunSettingsText(const TRunSettings& run, const std::string& endpoint) {
    return "max-threads=" + std::to_string(run.MaxThreads) +
           "\nreq-predelay=" + std::to_string(run.MinReqDelay) + "\nendpoint=" + endpoint;
}

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
    JoinWriter();
}

void TRunRecorder::JoinWriter() {
    if (!writer_) return;
    if (!runId_) runId_ = writer_->RunId();
    writer_->Stop();
    if (std::string e = writer_->TakeError(); !e.empty() && error_.empty()) error_ = e;
    writer_.reset();
}

int64_t TRunRecorder::RunId() {
    if (!active_) return 0;
    if (!runId_ && writer_) runId_ = writer_->RunId();
    return runId_;
}

TResult<> TRunRecorder::Begin(const TURLTaskInfoList& master, const std::string& lang,
                              const std::string& settings) {
    (void)Settle();
    JoinWriter();
    urls_.clear();
    urls_.reserve(master.Count());
    for (size_t i = 0; i < master.Count(); ++i) urls_.push_back(master[i].URL);
    TRunRecord run;
    run.Lang = lang;
    run.Settings = settings;
    // The URL list is written on the writer thread: 10 000 rows would stall a window.
    writer_ = std::make_unique<THistoryWriter>(
        *store_, [store = store_.get(), run, urls = urls_]() mutable -> TResult<int64_t> {
            if (TResult<> r = store->BeginRun(run, urls); !r) return TFailure{r.Error(), r.Code()};
            return run.Id;
        });
    active_ = true;
    runId_ = 0;
    finished_ = false;
    lateTasks_ = false;
    return {};
}

TResult<> TRunRecorder::Continue(int64_t runId, const TURLTaskInfoList& master) {
    (void)Settle();
    JoinWriter();
    active_ = false;
    runId_ = 0;
    if (TResult<> r = store_->ReopenRun(runId); !r) return r;
    urls_.clear();
    for (size_t i = 0; i < master.Count(); ++i) urls_.push_back(master[i].URL);
    active_ = true;
    runId_ = runId;
    finished_ = false;
    lateTasks_ = false;
    writer_ = std::make_unique<THistoryWriter>(*store_, runId_);
    return {};
}

void TRunRecorder::Release() {
    (void)Settle();
    JoinWriter();
    active_ = false;
    runId_ = 0;
    urls_.clear();
    finished_ = false;
}

bool TRunRecorder::Holds(const TURLTaskInfoList& master) const {
    if (!active_ || master.Count() != urls_.size()) return false;
    for (size_t i = 0; i < urls_.size(); ++i)
        if (master[i].URL != urls_[i]) return false;
    return true;
}

void TRunRecorder::Merged(const TURLTaskInfo& task) {
    if (!active_) return;
    if (finished_ && !lateTasks_) {
        // The finished run's writer is ending: a new one takes the late tasks.
        JoinWriter();
        writer_ = std::make_unique<THistoryWriter>(*store_, runId_);
        lateTasks_ = true;
    }
    if (writer_) writer_->Add(task);
}

TResult<> TRunRecorder::Finish(bool aborted, const TURLTaskInfoList& master) {
    if (!active_ || !writer_) return {};
    const TRunState state = EndState(aborted, master);
    finished_ = true;
    lateTasks_ = false;
    lastAborted_ = aborted;
    lastMaster_ = &master;
    writer_->StopWith([store = store_.get(), state, keep = keep_](int64_t id) -> TResult<> {
        if (TResult<> r = store->FinishRun(id, state); !r) return r;
        if (TResult<int> r = store->KeepNewest(keep); !r) return Fail(r.Error(), r.Code());
        return {};
    });
    return {};
}

TResult<> TRunRecorder::Settle() {
    if (!finished_ || !lateTasks_ || !lastMaster_) return {};
    // The list may have been changed since: then the run keeps the end it had.
    if (Holds(*lastMaster_)) return Finish(lastAborted_, *lastMaster_);
    JoinWriter();
    lateTasks_ = false;
    return {};
}

std::string TRunRecorder::TakeError() {
    std::string e = std::exchange(error_, {});
    if (e.empty() && writer_) e = writer_->TakeError();
    return e;
}

}  // namespace velmora::history
