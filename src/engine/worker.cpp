#include "engine/worker.h"

#include <exception>
#include <stdexcept>
#include <thread>

#include "base/translate.h"
#include "engine/interpret.h"

namespace velmora {
namespace {

std::atomic<int32_t> gLiveThreads{0};

}  // namespace

int32_t TActiveTaskThread::LiveThreads() {
    return gLiveThreads.load();
}

TActiveTaskThread::TActiveTaskThread(std::unique_ptr<TURLTaskInfo> aURLTaskInfo,
                                     const std::string& sAPIKey, TURLTaskInfoPool& pool,
                                     const TWorkerConfig& config)
    : FURLTaskInfo(std::move(aURLTaskInfo)), FAPIKey(sAPIKey), FPool(pool), FConfig(config) {
    FURLTaskInfo->InitMetricResults();
}

void TActiveTaskThread::Create(std::unique_ptr<TURLTaskInfo> aURLTaskInfo,
                               const std::string& sAPIKey, TURLTaskInfoPool& pool,
                               const TWorkerConfig& config) {
    if (!aURLTaskInfo) throw std::invalid_argument("TActiveTaskThread: no task");
    std::unique_ptr<TActiveTaskThread> self(
        new TActiveTaskThread(std::move(aURLTaskInfo), sAPIKey, pool, config));
    // Counted before the thread runs, so the count can never dip below the true number of
    // workers, and the caller sees it raised as soon as Create returns.
    ActiveTaskCount.fetch_add(1);
    gLiveThreads.fetch_add(1);
    try {
        std::thread([worker = std::move(self)]() mutable {
            worker->Execute();
            worker.reset();
            gLiveThreads.fetch_sub(1);  // the last touch of anything shared
        }).detach();
    } catch (...) {
        ActiveTaskCount.fetch_sub(1);
        gLiveThreads.fetch_sub(1);
        throw;
    }
}

void TActiveTaskThread::Execute() {
    try {
        Log("URL %d: задача начата");
    } catch (...) {
    }
    try {
        FClient = FConfig.NewClient ? FConfig.NewClient() : http::NewCurlClient();
        if (!FClient) FClientError = "no HTTP client";
    } catch (const std::exception& e) {
        FClientError = e.what();
    } catch (...) {
        FClientError = "unknown error";
    }

    for (TMetricaStrategy s : kStrategies) {
        // Nothing may skip the end below, or the run would never see this worker go.
        std::string failure;
        try {
            CheckStrategy(s);
            KeepFailureReason(s);
            continue;
        } catch (const std::exception& e) {
            failure = e.what();
        } catch (...) {
            failure = "unknown error";
        }
        FURLTaskInfo->TaskResults->TaskResult[s] = trUnknownResponse;
        try {
            Log("URL %d: внутренняя ошибка: %s", failure);
            KeepFailureReason(s);
        } catch (...) {
        }
    }

    try {
        Log("URL %d: задача завершена");
    } catch (...) {
    }
    ActiveTaskCount.fetch_sub(1);
    // The results may live for hours in a list of 10 000; keep no growth slack.
    if (auto& results = FURLTaskInfo->TaskResults) {
        results->MetricaValues.shrink_to_fit();
        for (auto& advice : results->AdviceList) advice.shrink_to_fit();
    }
    try {
        PostTaskFinished(std::move(FURLTaskInfo));
    } catch (...) {
    }
    try {
        PostRequestSent();
    } catch (...) {
    }
    FClient.reset();
}

bool TActiveTaskThread::Aborted(TMetricaStrategy s) {
    Log("URL %d: задача прервана");
    FURLTaskInfo->TaskResults->TaskResult[s] = trAborted;
    return false;
}

bool TActiveTaskThread::CheckStrategy(TMetricaStrategy s) {
    if (AbortRequested.load()) return Aborted(s);
    const std::string strategy(StrategyText(s));
    if (!FClient) throw std::runtime_error(FClientError);

    auto builder = http::NewGetBuilder(FConfig.Endpoint + kServicePath);
    builder->Param("strategy", strategy)
        .Param("category", "PERFORMANCE")
        .Param("url", FURLTaskInfo->URL);
    // The service binds the key only under this lower-case name.
    if (!FAPIKey.empty()) builder->Param("key", FAPIKey);

    // Certificate verification stays on: the key travels in the query.
    FClient->SetUserAgent(kUserAgent).SetUrl(*builder).SwitchRecvToString().SetAbortPredicate([] {
        return AbortRequested.load();
    });

    const TTimePoint reserved = FPool.ReserveRequest();
    if (!FPool.WaitForReservation(reserved, AbortRequested)) return Aborted(s);
    if (AbortRequested.load()) return Aborted(s);

    Log("URL %d: отсылка запроса (%s)", strategy);
    PostRequestSent();
    try {
        FClient->Perform();
    } catch (const http::ECurl& e) {
        // An abort ends the transfer through the predicate; that is no send error.
        if (AbortRequested.load()) return Aborted(s);
        Log("URL %d: ОШИБКА отправки запроса: %s", e.what());
        FURLTaskInfo->TaskResults->TaskResult[s] = trSendError;
        return false;
    }
    if (AbortRequested.load()) return Aborted(s);
    Log("URL %d: получен ответ");

    return InterpretBody(FParser, FClient->ResponseBody(), s, *FURLTaskInfo,
                         FConfig.DecimalSeparator,
                         [this](const std::string& line) { PostLogMessage(line); });
}

void TActiveTaskThread::Log(const char* pattern, const std::string& text) {
    PostLogMessage(FormatLog(Tr(pattern), FURLTaskInfo->Num, text));
}

void TActiveTaskThread::KeepFailureReason(TMetricaStrategy s) {
    TURLTaskResults& r = *FURLTaskInfo->TaskResults;
    if (r.TaskResult[s] == trOK || r.TaskResult[s] == trAborted) return;
    // The last line logged for this task is the one that told why it failed; its "URL n: "
    // prefix names the row, which the reader already knows.
    const size_t colon = FLastLogLine.find(": ");
    r.ErrorMessage[s] = colon == std::string::npos ? FLastLogLine : FLastLogLine.substr(colon + 2);
}

void TActiveTaskThread::PostLogMessage(std::string text) {
    FLastLogLine = text;
    if (!FConfig.Sink) return;
    auto msg =
        std::make_unique<TMsgForLog>(TMsgForLog{std::move(text), std::chrono::system_clock::now(),
                                                FURLTaskInfo ? FURLTaskInfo->Num : 0});
    FConfig.Sink->Post(TWorkerEvent{WM_TASK_LOG, nullptr, std::move(msg)});
}

void TActiveTaskThread::PostTaskFinished(std::unique_ptr<TURLTaskInfo> task) {
    if (!FConfig.Sink) return;
    FConfig.Sink->Post(TWorkerEvent{WM_TASK_FINISHED, std::move(task), nullptr});
}

void TActiveTaskThread::PostRequestSent() {
    if (!FConfig.Sink) return;
    FConfig.Sink->Post(TWorkerEvent{WM_REQUEST_SENT, nullptr, nullptr});
}

}  // namespace velmora
