#include "engine/run_controller.h"

#include <exception>
#include <unordered_set>

#include "base/translate.h"
#include "engine/metrica.h"

namespace velmora {
namespace {

auto Now() {
    return std::chrono::system_clock::now();
}

}  // namespace

bool AnyChecked(const TURLTaskInfoList& master) {
    for (size_t i = 0; i < master.Count(); ++i)
        if (master[i].TaskResults) return true;
    return false;
}

TRunController::TRunController(TURLTaskInfoList& master, IWorkerFactory& workers,
                               TSettingsSource settings, IPacingClock& clock)
    : FMaster(master), FWorkers(workers), FSettings(std::move(settings)), FClock(clock) {}

TRunController::~TRunController() {
    // Never free the pool under a running worker; what they posted stays unread.
    if (FPool) FPool->RequestAbort();
    FWorkers.JoinAll();
}

bool TRunController::StartTask(std::unique_ptr<TURLTaskInfo> task) {
    const int32_t num = task->Num;
    std::string error = "?";
    try {
        FWorkers.StartWorker(std::move(task), TWorkerRun{FApiKey, *FPool, FEvents, FCategories,
                                                         FScreenshots, FLocale});
        ReportProgress(num);
        return true;
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
    }
    AddToLog(FormatLog(Tr("URL %d: не удалось запустить задание: %s"), num, error), Now(),
             TLogLevel::Error);
    return false;
}

std::vector<int32_t> TRunController::ScopeNums(TRunScope scope,
                                               const std::vector<int32_t>& selected) const {
    switch (scope) {
        case TRunScope::Selected:
            return selected;
        case TRunScope::Failed:
            return ErrorNums();
        case TRunScope::Unchecked:
            return UncheckedNums();
        case TRunScope::All:
            break;
    }
    return {};
}

void TRunController::FillPool(TRunScope scope, const std::vector<int32_t>& nums) {
    const std::unordered_set<int32_t> chosen(nums.begin(), nums.end());
    const bool all = scope == TRunScope::All;
    for (size_t i = FMaster.Count(); i-- > 0;) {
        const TURLTaskInfo& entry = FMaster[i];
        if (!all && !chosen.count(entry.Num)) continue;
        auto copy = std::make_unique<TURLTaskInfo>(entry);
        // Quota is spent only where the answer is missing; a good strategy keeps its result.
        if (scope == TRunScope::Failed && entry.TaskResults) {
            for (TMetricaStrategy s : kStrategies)
                copy->Keep[s] = entry.TaskResults->TaskResult[s] == trOK;
        }
        // A strategy not asked for costs no quota; whatever it holds stays.
        for (TMetricaStrategy s : kStrategies)
            if (!HasStrategy(FStrategies, s)) copy->Keep[s] = true;
        FPool->Add(std::move(copy));
    }
}

TResult<bool> TRunController::Start(TRunScope scope, const std::vector<int32_t>& selected) {
    if (FPool) return false;
    std::vector<int32_t> nums;
    if (scope == TRunScope::All) {
        FMaster.ClearMetricResults();
    } else {
        nums = ScopeNums(scope, selected);
        if (nums.empty()) return false;
    }

    const TRunSettings settings = FSettings();
    FApiKey = settings.ApiKey;
    FCategories = settings.Categories;
    FScreenshots = settings.Screenshots;
    FLocale = settings.Locale;
    FStrategies = settings.Strategies == 0 ? kBothStrategies : settings.Strategies;
    FPool = std::make_unique<TURLTaskInfoPool>(settings.MinReqDelay, FClock);
    FPool->SetMaxRetries(settings.Retries);
    FillPool(scope, nums);
    FDone = 0;
    FRunTasks = static_cast<int>(FPool->Count());

    std::unique_ptr<TURLTaskInfo> first;
    if (!FPool->PickTask(first) || !StartTask(std::move(first))) {
        FWorkers.JoinAll();
        FPool.reset();
        return Fail(Tr("Не удалось запустить первое задание, внутренняя ошибка"));
    }
    AddToLog(Tr("Проверка запущена"), Now());
    return true;
}

void TRunController::Abort() {
    if (!FPool) return;
    // Workers waiting for a slot, a retry or an answer end at once.
    FPool->RequestAbort();
    AddToLog(Tr("Отмена проверки..."), Now());
}

void TRunController::StartNextTask() {
    if (!FPool || FEnding) return;
    if (!FPool->AbortRequested() && !FPool->Stopped()) {
        if (FPool->ActiveTasks() >= FSettings().MaxThreads) return;
        std::unique_ptr<TURLTaskInfo> task;
        if (FPool->PickTask(task)) {
            if (StartTask(std::move(task))) return;
            // No thread could be made: stop handing out tasks, as after an abort, so that
            // the run still ends once the workers already running are done.
            FPool->RequestAbort();
        }
    }
    if (FPool->ActiveTasks() == 0) EndRun();
}

void TRunController::EndRun() {
    // Every worker is past its count; once joined, all it posted is queued, and merging that
    // first makes the end count every result and its summary the last line.
    FEnding = true;
    FWorkers.JoinAll();
    while (DeliverPending()) {
    }
    const bool aborted = FPool->AbortRequested();
    std::vector<int32_t> leftByQuota;
    if (FPool->Stopped()) leftByQuota = ReportDailyStop();
    AddToLog(FormatLog(Tr("Проверка завершена: запросов %s, повторов %s"),
                       {std::to_string(FPool->Requests()), std::to_string(FPool->Retries())}),
             Now());
    FPool.reset();
    FEnding = false;
    if (FObserver) FObserver->RunEnded(TRunEnd{aborted, std::move(leftByQuota)});
}

std::vector<int32_t> TRunController::ReportDailyStop() {
    std::vector<int32_t> marked;
    for (int32_t num : FPool->RemainingNums()) {
        if (TURLTaskInfo* entry = FMaster.FindByNum(num)) {
            // Unchecked but listed among the errors, so that a recheck continues with them.
            if (!entry->TaskResults) {
                entry->InitMetricResults();
                entry->TaskResults->Strategies = FStrategies;
            }
            marked.push_back(num);
        }
    }
    size_t left = 0;
    for (size_t i = 0; i < FMaster.Count(); ++i) {
        const auto& r = FMaster[i].TaskResults;
        if (!r) continue;
        for (TMetricaStrategy s : kStrategies) {
            if (r->Asked(s) &&
                (r->TaskResult[s] == trNotChecked || r->TaskResult[s] == trQuotaExceeded)) {
                ++left;
                break;
            }
        }
    }
    AddToLog(FormatLog(Tr("Дневная квота API исчерпана, проверка остановлена. Осталось URL: %s. "
                          "Команда «Перепроверить URL с ошибками» продолжит их проверку завтра."),
                       {std::to_string(left)}),
             Now(), TLogLevel::Error);
    return marked;
}

void TRunController::MergeFinishedTask(std::unique_ptr<TURLTaskInfo> task) {
    ++FDone;
    ReportProgress(0, task.get());
    if (!task || !task->TaskResults || task->TaskResults->Aborted()) return;
    TURLTaskInfo* entry = FMaster.FindByNum(task->Num);
    if (!entry) return;
    task->TaskResults->Strategies = FStrategies;
    if (entry->TaskResults) {
        // A strategy kept from before keeps its values, advice and status; it counts as asked
        // when it holds an answer to an earlier request.
        TURLTaskResults& fresh = *task->TaskResults;
        const TURLTaskResults& old = *entry->TaskResults;
        for (TMetricaStrategy s : kStrategies) {
            if (!task->Keep[s]) continue;
            if (old.Asked(s) && old.TaskResult[s] != trNotChecked)
                fresh.Strategies |= static_cast<TStrategySet>(1u << s);
            fresh.TaskResult[s] = old.TaskResult[s];
            fresh.ErrorCode[s] = old.ErrorCode[s];
            fresh.HttpStatus[s] = old.HttpStatus[s];
            fresh.Retries[s] = old.Retries[s];
            fresh.AdviceList[s] = old.AdviceList[s];
            fresh.FinalScreenshot[s] = old.FinalScreenshot[s];
            for (const TMetricaValue& v : old.MetricaValues)
                if (v.Strategy == s) fresh.MetricaValues.push_back(v);
        }
    }
    entry->TaskResults = std::move(task->TaskResults);
    for (TMetricaValue& v : entry->TaskResults->MetricaValues) {
        const int32_t col = ColNumByKey(v.Key);
        if (col > 0) v.ColNum = col;
    }
    if (FObserver) FObserver->TaskFinished(*entry);
}

void TRunController::ReportProgress(int32_t startedNum, const TURLTaskInfo* finished) {
    if (FObserver)
        FObserver->Progress(TProgressStep{FDone, static_cast<int>(FMaster.Count()), FRunTasks,
                                          startedNum, finished});
}

std::vector<int32_t> TRunController::ErrorNums() const {
    std::vector<int32_t> nums;
    for (size_t i = 0; i < FMaster.Count(); ++i) {
        const TURLTaskInfo& entry = FMaster[i];
        if (entry.TaskResults && entry.TaskResults->Failed()) nums.push_back(entry.Num);
    }
    return nums;
}

std::vector<int32_t> TRunController::UncheckedNums() const {
    std::vector<int32_t> nums;
    for (size_t i = 0; i < FMaster.Count(); ++i) {
        const TURLTaskInfo& entry = FMaster[i];
        const TURLTaskResults* r = entry.TaskResults.get();
        if (!r || r->TaskResult[msDesktop] == trQuotaExceeded ||
            r->TaskResult[msMobile] == trQuotaExceeded)
            nums.push_back(entry.Num);
    }
    return nums;
}

void TRunController::AddToLog(const std::string& sMessage,
                              std::chrono::system_clock::time_point aTime, TLogLevel level) {
    if (!FObserver) return;
    TMsgForLog line{sMessage, aTime};
    line.Level = level;
    FObserver->Log(line);
}

void TRunController::Deliver(TWorkerEvent event) {
    switch (event.Kind) {
        case TWorkerEventKind::TaskFinished:
            if (event.Task) MergeFinishedTask(std::move(event.Task));
            break;
        case TWorkerEventKind::Log:
            if (event.Log && FObserver) FObserver->Log(*event.Log);
            break;
        case TWorkerEventKind::RequestSent:
            StartNextTask();
            break;
    }
}

bool TRunController::DeliverPending(std::chrono::milliseconds wait) {
    bool any = false;
    while (std::optional<TWorkerEvent> ev =
               FEvents.Pop(any ? std::chrono::milliseconds(0) : wait)) {
        Deliver(std::move(*ev));
        any = true;
    }
    return any;
}

void TRunController::DeliverUntilEnded(const std::function<bool()>& abortWanted) {
    bool aborted = false;
    while (Running()) {
        // Events end the wait at once; the time-out only bounds how late an abort is seen.
        DeliverPending(std::chrono::milliseconds(250));
        if (!aborted && abortWanted && abortWanted()) {
            aborted = true;
            Abort();
        }
    }
}

void TRunController::Shutdown() {
    if (FPool) FPool->RequestAbort();
    FWorkers.JoinAll();
    // The workers' last request-sent events end the run.
    while (DeliverPending()) {
    }
    if (!FPool) return;
    // Workers that never reported their end (none of this factory's) cannot hold it open.
    FPool.reset();
    if (FObserver) FObserver->RunEnded(TRunEnd{true, {}});
}

}  // namespace velmora
