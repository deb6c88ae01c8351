#include "history/run_recorder.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "http/url.h"

namespace velmora::history {

namespace {

// The value of "key=" on a line of its own, or nothing.
std::optional<std::string> SettingsValue(const std::string& settings, std::string_view key) {
    for (size_t at = 0; at < settings.size();) {
        const size_t end = std::min(settings.find('\n', at), settings.size());
        const std::string_view line = std::string_view(settings).substr(at, end - at);
        if (line.size() > key.size() && line.substr(0, key.size()) == key &&
            line[key.size()] == '=')
            return std::string(line.substr(key.size() + 1));
        at = end + 1;
    }
    return std::nullopt;
}

}  // namespace

TRunParams RunParamsOf(const std::string& settings) {
    TRunParams p;
    if (auto v = SettingsValue(settings, "strategies"))
        p.Strategies = ParseStrategies(*v).value_or(kBothStrategies);
    if (auto v = SettingsValue(settings, "categories"))
        p.Categories = ParseCategories(*v).value_or(kPerformanceOnly);
    p.Locale = SettingsValue(settings, "locale").value_or("");
    p.Source = SettingsValue(settings, "source").value_or("");
    p.Groups = SettingsValue(settings, "groups").value_or("");
    return p;
}

std::string RunSettingsText(const TRunSettings& run, const std::string& endpoint,
                            const std::string& source, const std::string& groups) {
    std::string text = "max-threads=" + std::to_string(run.MaxThreads) +
                       "\nreq-predelay=" + std::to_string(run.MinReqDelay) +
                       "\nendpoint=" + http::WithoutUserInfo(endpoint);
    // One line each: a line break in a file name must not start a key of its own.
    if (!source.empty() && source.find('\n') == std::string::npos)
        text += "\nsource=" + http::WithoutUserInfo(source);
    // Both strategies are the usual run; only a choice of one is worth a line.
    if (run.Strategies != kBothStrategies && run.Strategies != 0)
        text += "\nstrategies=" + std::string(StrategiesText(run.Strategies));
    if (run.Categories != kPerformanceOnly)
        text += "\ncategories=" + CategoriesText(run.Categories);
    if (!run.Locale.empty()) text += "\nlocale=" + run.Locale;
    if (!groups.empty() && groups.find('\n') == std::string::npos) text += "\ngroups=" + groups;
    return text;
}

void ApplyRunStrategies(TLoadedRun& loaded) {
    const TStrategySet set = loaded.Run.Params.Strategies;
    if (set == kBothStrategies) return;
    for (size_t i = 0; i < loaded.List.Count(); ++i)
        if (TURLTaskResults* r = loaded.List[i].TaskResults.get()) r->Strategies = set;
}

std::string RunSource(const std::string& settings) {
    return RunParamsOf(settings).Source;
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

TRunRecorder::TRunRecorder(std::unique_ptr<IHistoryStore> store, int keepNewest,
                           TWritePatience patience)
    : FStore(std::move(store)), FKeep(keepNewest), FPatience(patience) {}

TRunRecorder::~TRunRecorder() {
    Settle();
    JoinWriter();
}

void TRunRecorder::JoinWriter() {
    if (!FWriter) return;
    if (!FRunId && FState != TState::Idle) {
        if (const int64_t id = FWriter->RunId()) FRunId = id;
    }
    FWriter->Stop();
    if (std::string e = FWriter->TakeError(); !e.empty() && FError.empty()) FError = e;
    if (FWriter->Lost()) FLost = true;
    FWriter.reset();
}

int64_t TRunRecorder::RunId() {
    if (FState == TState::Idle) return 0;
    if (!FRunId && FWriter) {
        if (const int64_t id = FWriter->RunId()) FRunId = id;
    }
    return FRunId.value_or(0);
}

void TRunRecorder::Begin(const TURLTaskInfoList& master, const std::string& lang,
                         const std::string& settings) {
    Settle();
    JoinWriter();
    FUrls.clear();
    FUrls.reserve(master.Count());
    for (size_t i = 0; i < master.Count(); ++i) FUrls.push_back(master[i].URL);
    TRunRecord run;
    run.Lang = lang;
    run.Settings = settings;
    // The URL list is written on the writer thread: 10 000 rows would stall a window.
    FWriter = std::make_unique<THistoryWriter>(
        *FStore,
        [store = FStore.get(), run, urls = FUrls]() mutable -> TResult<int64_t> {
            if (TResult<> r = store->BeginRun(run, urls); !r) return r.Failure();
            return run.Id;
        },
        FPatience);
    FState = TState::Recording;
    FRunId.reset();
}

TResult<> TRunRecorder::Continue(int64_t runId, const TURLTaskInfoList& master) {
    Settle();
    JoinWriter();
    FState = TState::Idle;
    FRunId.reset();
    if (TResult<> r = FStore->ReopenRun(runId); !r) return r;
    FUrls.clear();
    for (size_t i = 0; i < master.Count(); ++i) FUrls.push_back(master[i].URL);
    FState = TState::Recording;
    FRunId = runId;
    FWriter = std::make_unique<THistoryWriter>(*FStore, runId, kBatchDelay, kBatchSize, FPatience);
    return {};
}

void TRunRecorder::Release() {
    Settle();
    JoinWriter();
    FState = TState::Idle;
    FRunId.reset();
    FUrls.clear();
}

bool TRunRecorder::Holds(const TURLTaskInfoList& master) const {
    if (FState == TState::Idle || master.Count() != FUrls.size()) return false;
    for (size_t i = 0; i < FUrls.size(); ++i)
        if (master[i].URL != FUrls[i]) return false;
    return true;
}

void TRunRecorder::Merged(const TURLTaskInfo& task) {
    if (FState == TState::Idle) return;
    if (FState == TState::Finished) {
        // The finished run's writer is ending: a new one takes the late tasks.
        JoinWriter();
        if (FRunId)
            FWriter = std::make_unique<THistoryWriter>(*FStore, *FRunId, kBatchDelay, kBatchSize,
                                                       FPatience);
        FState = TState::LateTasks;
    }
    if (FWriter) FWriter->Add(task);
}

void TRunRecorder::Finish(bool aborted, const TURLTaskInfoList& master) {
    if (FState == TState::Idle || !FWriter) return;
    FinishWriter(EndState(aborted, master));
}

void TRunRecorder::FinishWriter(TRunState state) {
    FEnd = state;
    FState = TState::Finished;
    FWriter->StopWith([store = FStore.get(), state, keep = FKeep](int64_t id) -> TResult<> {
        if (TResult<> r = store->FinishRun(id, state); !r) return r;
        if (TResult<int> r = store->KeepNewest(keep); !r) return r.Failure();
        return {};
    });
}

void TRunRecorder::Settle() {
    if (FState != TState::LateTasks || !FWriter) return;
    FinishWriter(FEnd);
}

std::string TRunRecorder::TakeError() {
    std::string e = std::exchange(FError, {});
    if (e.empty() && FWriter) e = FWriter->TakeError();
    if (FWriter && FWriter->Lost()) FLost = true;
    return e;
}

}  // namespace velmora::history
