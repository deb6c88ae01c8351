#include "engine/run_controller.h"

#include <exception>
#include <thread>
#include <unordered_set>

#include "base/translate.h"
#include "engine/metrica.h"

namespace velmora {

CheckRunController::CheckRunController(ICheckRunWindow& window, TURLTaskInfoList& master,
                                       IWorkerFactory& workers, TSettingsSource settings,
                                       IPacingClock& clock)
    : FWindow(window),
      FMaster(master),
      FWorkers(workers),
      FSettings(std::move(settings)),
      FClock(clock) {}

CheckRunController::~CheckRunController() {
    // A front end should have called Shutdown; if not, at least never free the pool under a
    // running worker. Queued events stay with the front end's sink.
    if (FPool) {
        AbortRequested.store(true);
        FPool->WakeAll();
        while (FWorkers.LiveWorkers() > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        FPool.reset();
        AbortRequested.store(false);
    }
}

bool CheckRunController::StartTask(std::unique_ptr<TURLTaskInfo> task) {
    const int32_t num = task->Num;
    try {
        FApiKey = FSettings().ApiKey;
        FWorkers.StartWorker(std::move(task), FApiKey, *FPool);
        return true;
    } catch (const std::exception& e) {
        AddToLog(FormatLog(Tr("URL %d: не удалось запустить задание: %s"), num, e.what()),
                 std::chrono::system_clock::now());
    } catch (...) {
        AddToLog(FormatLog(Tr("URL %d: не удалось запустить задание: %s"), num, "?"),
                 std::chrono::system_clock::now());
    }
    return false;
}

void CheckRunController::btRunRequestsClick(TRunSender sender) {
    if (FPool) return;
    AbortRequested.store(false);
    const bool all = sender == TRunSender::btRunRequests;
    if (all) {
        FMaster.ClearMetricResults();
        FWindow.RepaintAllRows();
    }
    std::unordered_set<int32_t> chosen;
    if (!all) {
        std::vector<int32_t> nums = sender == TRunSender::miCheckSelected ? GetSelectedNums()
                                    : sender == TRunSender::btResume      ? GetUncheckedNums()
                                                                          : GetErrorNums();
        if (nums.empty()) return;
        chosen.insert(nums.begin(), nums.end());
    }

    const TRunSettings settings = FSettings();
    FMaxThreads = settings.MaxThreads;
    FPool = std::make_unique<TURLTaskInfoPool>(settings.MinReqDelay, FClock);
    FPool->SetMaxRetries(settings.Retries);
    const bool errorsOnly = sender == TRunSender::miCheckWErrors;
    for (size_t i = FMaster.Count(); i-- > 0;) {
        const TURLTaskInfo& entry = FMaster[i];
        if (!all && !chosen.count(entry.Num)) continue;
        auto copy = std::make_unique<TURLTaskInfo>(entry);
        // Quota is spent only where the answer is missing; a good strategy keeps its result.
        if (errorsOnly && entry.TaskResults) {
            for (TMetricaStrategy s : kStrategies)
                copy->Keep[s] = entry.TaskResults->TaskResult[s] == trOK;
        }
        FPool->Add(std::move(copy));
    }

    std::unique_ptr<TURLTaskInfo> first;
    if (!FPool->PickTask(first) || !StartTask(std::move(first))) {
        FWindow.ShowErrorBox(Tr("Не удалось запустить первое задание, внутренняя ошибка"));
        FPool.reset();
        return;
    }

    UpdateRunButtons();
    FWindow.ShowProgress(true);
    FWindow.SetParamsEnabled(false);
    FWindow.SetProgressPos(0);
    FWindow.SetProgressMax(static_cast<int>(FMaster.Count()));
    FWindow.ShowLogTab();
    AddToLog(Tr("Проверка запущена"), std::chrono::system_clock::now());
    if (FObserver) FObserver->RunStarted(sender);
}

void CheckRunController::btAbortRequestsClick() {
    FWindow.SetButtonEnabled(TRunButton::btAbortRequests, false);
    AbortRequested.store(true);
    if (FPool) FPool->WakeAll();  // workers waiting for a slot or a retry end at once
    AddToLog(Tr("Отмена проверки..."), std::chrono::system_clock::now());
}

void CheckRunController::StartNextTask() {
    if (!FPool) return;
    if (!AbortRequested.load() && !FPool->Stopped()) {
        FMaxThreads = FSettings().MaxThreads;
        if (ActiveTaskCount.load() >= FMaxThreads) return;
        std::unique_ptr<TURLTaskInfo> task;
        if (FPool->PickTask(task)) {
            if (StartTask(std::move(task))) return;
            // No thread could be made: stop handing out tasks, as after an abort, so that
            // the run still ends once the workers already running are done.
            AbortRequested.store(true);
            FPool->WakeAll();
        }
    }
    if (ActiveTaskCount.load() != 0) return;
    EndRun();
}

void CheckRunController::EndRun() {
    if (FPool->Stopped()) ReportDailyStop();
    AddToLog(FormatLog(Tr("Проверка завершена: запросов %s, повторов %s"),
                       {std::to_string(FPool->Requests()), std::to_string(FPool->Retries())}),
             std::chrono::system_clock::now());
    FPool->ClearTasks();
    FPool.reset();
    UpdateRunButtons();
    FWindow.SetParamsEnabled(true);
    FWindow.ShowProgress(false);
    const bool aborted = AbortRequested.load();
    AbortRequested.store(false);
    if (FObserver) FObserver->RunEnded(aborted);
}

void CheckRunController::ReportDailyStop() {
    for (int32_t num : FPool->RemainingNums()) {
        if (TURLTaskInfo* entry = FMaster.FindByNum(num)) {
            // Unchecked but listed among the errors, so that a recheck continues with them.
            if (!entry->TaskResults) entry->InitMetricResults();
            FWindow.InvalidateTaskRow(*entry);
        }
    }
    size_t left = 0;
    for (size_t i = 0; i < FMaster.Count(); ++i) {
        const auto& r = FMaster[i].TaskResults;
        if (r &&
            (r->TaskResult[msDesktop] == trNotChecked || r->TaskResult[msMobile] == trNotChecked ||
             r->TaskResult[msDesktop] == trQuotaExceeded ||
             r->TaskResult[msMobile] == trQuotaExceeded))
            ++left;
    }
    AddToLog(FormatLog(Tr("Дневная квота API исчерпана, проверка остановлена. Осталось URL: %s. "
                          "Команда «Перепроверить URL с ошибками» продолжит их проверку завтра."),
                       {std::to_string(left)}),
             std::chrono::system_clock::now());
}

void CheckRunController::MergeFinishedTask(std::unique_ptr<TURLTaskInfo> task) {
    FWindow.SetProgressPos(FWindow.ProgressPos() + 1);
    if (!task || !task->TaskResults || task->TaskResults->Aborted()) return;
    TURLTaskInfo* entry = FMaster.FindByNum(task->Num);
    if (!entry) return;
    if (entry->TaskResults) {
        // A strategy kept from before keeps its values, advice and status.
        TURLTaskResults& fresh = *task->TaskResults;
        const TURLTaskResults& old = *entry->TaskResults;
        for (TMetricaStrategy s : kStrategies) {
            if (!task->Keep[s]) continue;
            fresh.TaskResult[s] = old.TaskResult[s];
            fresh.ErrorCode[s] = old.ErrorCode[s];
            fresh.HttpStatus[s] = old.HttpStatus[s];
            fresh.Retries[s] = old.Retries[s];
            fresh.AdviceList[s] = old.AdviceList[s];
            for (const TMetricaValue& v : old.MetricaValues)
                if (v.Strategy == s) fresh.MetricaValues.push_back(v);
        }
    }
    entry->TaskResults = std::move(task->TaskResults);
    for (TMetricaValue& v : entry->TaskResults->MetricaValues) {
        const int32_t col = ColNumByKey(v.Key);
        if (col > 0) v.ColNum = col;
    }
    if (FObserver) FObserver->TaskMerged(*entry);
    FWindow.InvalidateTaskRow(*entry);
    FWindow.UpdateScoreChart();
}

void CheckRunController::UpdateRunButtons() {
    const bool idle = ActiveTaskCount.load() == 0;
    FWindow.SetButtonEnabled(TRunButton::btRunRequests, idle && !FMaster.Empty());
    FWindow.SetButtonEnabled(TRunButton::btAbortRequests, !idle);
    FWindow.SetButtonEnabled(TRunButton::btInsertURLs4Clip, idle);
    FWindow.SetButtonEnabled(TRunButton::btImportURLs4TXT, idle);
    FWindow.SetButtonEnabled(TRunButton::btImportURLs4XML, idle);
    // Results already had stay exportable after a cancel; rows never checked export blank.
    bool anyChecked = false;
    for (size_t i = 0; i < FMaster.Count() && !anyChecked; ++i)
        anyChecked = FMaster[i].TaskResults != nullptr;
    FWindow.SetButtonEnabled(TRunButton::btExport, idle && anyChecked);
}

std::vector<int32_t> CheckRunController::GetSelectedNums() const {
    std::vector<int32_t> nums;
    for (const TShownRow& row : FWindow.ShownGridRows()) {
        if (row.Selected && row.Task) nums.push_back(row.Task->Num);
    }
    return nums;
}

std::vector<int32_t> CheckRunController::GetErrorNums() const {
    std::vector<int32_t> nums;
    for (size_t i = 0; i < FMaster.Count(); ++i) {
        const TURLTaskInfo& entry = FMaster[i];
        if (entry.TaskResults && entry.TaskResults->Failed()) nums.push_back(entry.Num);
    }
    return nums;
}

std::vector<int32_t> CheckRunController::GetUncheckedNums() const {
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

void CheckRunController::AddToLog(const std::string& sMessage,
                                  std::chrono::system_clock::time_point aTime) {
    FWindow.InsertLogRow(FormatLogTime(aTime), sMessage);
}

void CheckRunController::WndProc(TWorkerEvent event) {
    switch (event.Id) {
        case WM_TASK_FINISHED:
            if (event.Task) MergeFinishedTask(std::move(event.Task));
            break;
        case WM_TASK_LOG:
            if (event.Log) AddToLog(event.Log->MsgText, event.Log->MsgTime);
            break;
        case WM_REQUEST_SENT:
            StartNextTask();
            break;
        default:
            break;
    }
}

void CheckRunController::Shutdown(const std::function<bool()>& drainEvents) {
    AbortRequested.store(true);
    if (FPool) FPool->WakeAll();
    for (;;) {
        // Read the counts before draining: once they are 0 no worker can post any more, so a
        // drain that then finds nothing proves the queue is empty for good.
        const bool idle = ActiveTaskCount.load() == 0 && FWorkers.LiveWorkers() == 0;
        const bool delivered = drainEvents ? drainEvents() : false;
        if (idle && !delivered) break;
        if (!delivered) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const bool ended = FPool != nullptr;
    if (FPool) {
        FPool->ClearTasks();
        FPool.reset();
    }
    AbortRequested.store(false);
    if (ended && FObserver) FObserver->RunEnded(true);
}

}  // namespace velmora
