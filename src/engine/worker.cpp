#include "engine/worker.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <thread>

#include "base/text.h"
#include "base/translate.h"
#include "engine/interpret.h"

namespace velmora {
std::string ServiceUrl(std::string_view endpoint) {
    while (!endpoint.empty() && endpoint.back() == '/') endpoint.remove_suffix(1);
    return std::string(endpoint) + kServicePath;
}

std::unique_ptr<simdjson::dom::parser> TParserShelf::Take() {
    {
        std::lock_guard lock(FLock);
        if (!FKept.empty()) {
            auto parser = std::move(FKept.back());
            FKept.pop_back();
            return parser;
        }
    }
    return std::make_unique<simdjson::dom::parser>();
}

void TParserShelf::Put(std::unique_ptr<simdjson::dom::parser> parser) noexcept {
    std::lock_guard lock(FLock);
    // Room for kKept was reserved: this never allocates.
    if (parser && FKept.size() < kKept) FKept.push_back(std::move(parser));
}

TActiveTaskThread::TActiveTaskThread(std::unique_ptr<TURLTaskInfo> aURLTaskInfo,
                                     const TWorkerRun& run, const TWorkerConfig& config,
                                     TParserShelf& parsers)
    : FURLTaskInfo(std::move(aURLTaskInfo)),
      FAPIKey(run.ApiKey),
      FLocale(run.Locale),
      FPool(run.Pool),
      FSink(run.Sink),
      FConfig(config),
      FParsers(parsers) {
    FURLTaskInfo->InitMetricResults();
    FURLTaskInfo->TaskResults->Categories = run.Categories | kPerformanceOnly;
    FURLTaskInfo->TaskResults->KeepScreenshot = run.Screenshots;
}

void TThreadWorkerFactory::StartWorker(std::unique_ptr<TURLTaskInfo> task, const TWorkerRun& run) {
    if (!task) throw std::invalid_argument("no task for the worker");
    auto worker = std::make_unique<TActiveTaskThread>(std::move(task), run, FConfig, FParsers);
    run.Pool.TaskStarted();
    std::lock_guard lock(FLock);
    FJobs.push_back(std::move(worker));
    ++FLive;
    // Each waiting thread takes one job; only when they are too few is another one made.
    if (FIdle >= FJobs.size()) {
        FWork.notify_one();
        return;
    }
    try {
        FThreads.emplace_back([this] { ThreadLoop(); });
    } catch (...) {
        FJobs.pop_back();
        --FLive;
        run.Pool.TaskEnded();
        throw;
    }
}

void TThreadWorkerFactory::ThreadLoop() {
    // Outlives the thread's tasks, so that its connection carries their requests; goes after
    // the lock is let go.
    std::shared_ptr<http::ICurl> client;
    std::unique_lock lock(FLock);
    for (;;) {
        ++FIdle;
        FWork.wait(lock, [this] { return FStopping || !FJobs.empty(); });
        --FIdle;
        if (FJobs.empty()) return;  // stopping, and nothing left to do
        std::unique_ptr<TActiveTaskThread> worker = std::move(FJobs.front());
        FJobs.pop_front();
        lock.unlock();
        worker->Execute(client);
        worker.reset();
        lock.lock();
        --FLive;
    }
}

void TThreadWorkerFactory::JoinAll() {
    {
        std::lock_guard lock(FLock);
        FStopping = true;
    }
    FWork.notify_all();
    for (std::thread& t : FThreads) t.join();
    std::lock_guard lock(FLock);
    FThreads.clear();
    FStopping = false;
}

int32_t TThreadWorkerFactory::LiveWorkers() const {
    std::lock_guard lock(FLock);
    return FLive;
}

void TActiveTaskThread::Execute(std::shared_ptr<http::ICurl>& client) {
    try {
        Log("URL %d: задача начата");
    } catch (...) {
    }
    try {
        if (!client) client = FConfig.NewClient ? FConfig.NewClient() : http::NewCurlClient();
        FClient = client;
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
            Log("URL %d: внутренняя ошибка: %s", failure, TLogLevel::Error);
            KeepFailureReason(s);
        } catch (...) {
        }
    }

    try {
        Log("URL %d: задача завершена");
    } catch (...) {
    }
    FPool.TaskEnded();
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
        // The predicate reads this task, which the thread's next one outlives.
        if (FClient) FClient->SetAbortPredicate({});
    } catch (...) {
    }
    FClient.reset();
}

bool TActiveTaskThread::Aborted(TMetricaStrategy s) {
    Log("URL %d: задача прервана");
    FURLTaskInfo->TaskResults->TaskResult[s] = trAborted;
    return false;
}

bool TActiveTaskThread::NotChecked(TMetricaStrategy s) {
    ClearStrategy(s);
    return false;
}

void TActiveTaskThread::ClearStrategy(TMetricaStrategy s) {
    TURLTaskResults& r = *FURLTaskInfo->TaskResults;
    std::erase_if(r.MetricaValues, [s](const TMetricaValue& v) { return v.Strategy == s; });
    r.AdviceList[s].clear();
    r.ErrorCode[s] = 0;
    r.HttpStatus[s] = 0;
    r.TaskResult[s] = trNotChecked;
}

bool TActiveTaskThread::CheckStrategy(TMetricaStrategy s) {
    if (FURLTaskInfo->Keep[s]) return true;  // the run merges the earlier result back in
    if (FPool.AbortRequested()) return Aborted(s);
    if (FPool.Stopped()) return NotChecked(s);
    if (!FClient) throw std::runtime_error(FClientError);

    TURLTaskResults& results = *FURLTaskInfo->TaskResults;
    const int maxRetries = FPool.MaxRetries();
    int retries = 0;
    bool pageRetried = false;
    for (;;) {
        TAttemptOutcome outcome;
        TTimePoint sentAt;
        switch (Attempt(s, outcome, sentAt)) {
            case TAttempt::Aborted:
                return Aborted(s);
            case TAttempt::Stopped:
                return NotChecked(s);
            case TAttempt::Answered:
                break;
        }
        const TFailureKind kind = ClassifyFailure(outcome);
        if (kind == TFailureKind::DailyQuota) {
            StopForDailyQuota();
            return false;
        }
        // Without retries a refusal is the result; nothing is learned from it.
        if (kind == TFailureKind::Quota && maxRetries == 0) return false;
        if (kind == TFailureKind::Quota) {
            if (!QuotaRefused(sentAt, outcome.Quota)) return false;
            // Put back: the pool's pace holds the next try until the quota's window reopens.
            results.Retries[s] = static_cast<uint8_t>(std::min(results.Retries[s] + 1, 255));
            FPool.CountRetry();
            if (const int after = ParseRetryAfter(FRetryAfter); after >= 0) {
                if (!FPool.WaitUntil(FPool.Clock().Now() + std::chrono::seconds(after),
                                     FPool.AbortFlag()))
                    return FPool.AbortRequested() ? Aborted(s) : NotChecked(s);
            }
            ClearStrategy(s);
            continue;
        }
        if (outcome.HttpStatus != 0) FPool.NoteAccepted(sentAt);
        const bool again =
            retries < maxRetries &&
            (kind == TFailureKind::Passing || (kind == TFailureKind::PageError && !pageRetried));
        if (!again) return outcome.Result == trOK;

        ++retries;
        pageRetried = pageRetried || kind == TFailureKind::PageError;
        results.Retries[s] = static_cast<uint8_t>(std::min(results.Retries[s] + 1, 255));
        FPool.CountRetry();
        const auto delay = BackoffDelay(retries, RandomJitter(), ParseRetryAfter(FRetryAfter));
        const std::string what = outcome.HttpStatus >= 300
                                     ? "HTTP " + std::to_string(outcome.HttpStatus)
                                     : results.ErrorText(s);
        const auto seconds = (delay.count() + 500) / 1000;
        PostLogMessage(FormatLog(Tr("URL %d: %s, повтор %d из %d через %d с"),
                                 {std::to_string(FURLTaskInfo->Num), what, std::to_string(retries),
                                  std::to_string(maxRetries), std::to_string(seconds)}),
                       TLogLevel::Error);
        if (!FPool.WaitUntil(FPool.Clock().Now() + delay, FPool.AbortFlag()))
            return FPool.AbortRequested() ? Aborted(s) : NotChecked(s);
        ClearStrategy(s);
    }
}

void TActiveTaskThread::StopForDailyQuota() {
    if (!FPool.Stopped())
        Log("URL %d: дневная квота API исчерпана, проверка остановлена", {}, TLogLevel::Error);
    FPool.StopForDailyQuota();
}

bool TActiveTaskThread::QuotaRefused(TTimePoint sentAt, TQuotaKind kind) {
    const TQuotaReaction reaction = FPool.NoteQuotaRefusal(sentAt, kind);
    if (reaction.StopAsDaily) {
        StopForDailyQuota();
        return false;
    }
    if (reaction.PaceChanged) {
        char gap[32];
        std::snprintf(gap, sizeof gap, "%.1f", static_cast<double>(reaction.GapMs) / 1000.0);
        PostLogMessage(FormatLog(Tr("квота достигнута: один запрос в %s с"), {gap}),
                       TLogLevel::Info, reaction.NextRequestAt);
    }
    return true;
}

TActiveTaskThread::TAttempt TActiveTaskThread::Attempt(TMetricaStrategy s, TAttemptOutcome& outcome,
                                                       TTimePoint& sentAt) {
    const std::string strategy(StrategyText(s));
    auto builder = http::NewGetBuilder(ServiceUrl(FConfig.Endpoint));
    builder->Param("strategy", strategy);
    const TCategorySet categories = FURLTaskInfo->TaskResults->Categories;
    for (size_t c = 0; c < CategoryTable.size(); ++c)
        if (HasCategory(categories, static_cast<int>(c)))
            builder->Param("category", CategoryTable[c].RequestName);
    builder->Param("url", FURLTaskInfo->URL);
    if (!FLocale.empty()) builder->Param("locale", FLocale);
    // The service binds the key only under this lower-case name.
    if (!FAPIKey.empty()) builder->Param("key", FAPIKey);

    // Certificate verification stays on: the key travels in the query.
    // Only the pool sends a request again, paced and counted.
    FClient->SetUserAgent(kUserAgent)
        .SetUrl(*builder)
        .SwitchRecvToString()
        .AcceptCompressed()
        .SendEachRequestOnce()
        .SetAbortPredicate([this] { return FPool.AbortRequested(); });

    const TTimePoint reserved = FPool.ReserveRequest();
    if (!FPool.WaitForReservation(reserved, FPool.AbortFlag()))
        return FPool.AbortRequested() ? TAttempt::Aborted : TAttempt::Stopped;
    if (FPool.AbortRequested()) return TAttempt::Aborted;

    Log("URL %d: отсылка запроса (%s)", strategy);
    PostRequestSent();
    FPool.CountRequest();
    sentAt = FPool.Clock().Now();
    TURLTaskResults& results = *FURLTaskInfo->TaskResults;
    FRetryAfter.clear();
    try {
        FClient->Perform();
    } catch (const http::ECurl& e) {
        // An abort ends the transfer through the predicate; that is no send error.
        if (FPool.AbortRequested()) return TAttempt::Aborted;
        if (const auto* error = dynamic_cast<const http::ECurlError*>(&e))
            outcome.CurlCode = error->Code;
        Log("URL %d: ОШИБКА отправки запроса: %s", SafeNetworkText(e.what()), TLogLevel::Error);
        results.TaskResult[s] = trSendError;
        outcome.Result = trSendError;
        return TAttempt::Answered;
    }
    if (FPool.AbortRequested()) return TAttempt::Aborted;
    Log("URL %d: получен ответ");

    TAnswerContext context;
    context.HttpStatus = FClient->ResponseCode();
    results.HttpStatus[s] = static_cast<int32_t>(context.HttpStatus);
    FRetryAfter = FClient->ResponseHeader("Retry-After");
    {
        TParserShelf::TLease parser(FParsers);
        InterpretBody(
            parser.Parser(), FClient->ResponseBody(), s, *FURLTaskInfo, FConfig.DecimalSeparator,
            // The answer's interpretation logs only what went wrong with it.
            [this](const std::string& line) { PostLogMessage(line, TLogLevel::Error); }, &context);
    }
    FClient->ReleaseResponseBody();
    outcome.Result = results.TaskResult[s];
    outcome.HttpStatus = context.HttpStatus;
    outcome.ServiceCode = results.ErrorCode[s];
    outcome.Quota = context.Quota;
    outcome.PageErrorMessage = context.PageError;
    return TAttempt::Answered;
}

void TActiveTaskThread::Log(const char* pattern, const std::string& text, TLogLevel level) {
    PostLogMessage(FormatLog(Tr(pattern), FURLTaskInfo->Num, text), level);
}

void TActiveTaskThread::KeepFailureReason(TMetricaStrategy s) {
    TURLTaskResults& r = *FURLTaskInfo->TaskResults;
    if (r.TaskResult[s] == trOK || r.TaskResult[s] == trAborted) return;
    // The last line logged for this task is the one that told why it failed; its "URL n: "
    // prefix names the row, which the reader already knows.
    const size_t colon = FLastLogLine.find(": ");
    r.ErrorMessage[s] = colon == std::string::npos ? FLastLogLine : FLastLogLine.substr(colon + 2);
}

void TActiveTaskThread::PostLogMessage(std::string text, TLogLevel level,
                                       std::optional<TTimePoint> quotaWaitUntil) {
    FLastLogLine = text;
    auto msg = std::make_unique<TMsgForLog>(TMsgForLog{
        std::move(text), std::chrono::system_clock::now(), FURLTaskInfo ? FURLTaskInfo->Num : 0});
    msg->Level = level;
    msg->QuotaWaitUntil = quotaWaitUntil;
    FSink.Post(TWorkerEvent{TWorkerEventKind::Log, nullptr, std::move(msg)});
}

void TActiveTaskThread::PostTaskFinished(std::unique_ptr<TURLTaskInfo> task) {
    FSink.Post(TWorkerEvent{TWorkerEventKind::TaskFinished, std::move(task), nullptr});
}

void TActiveTaskThread::PostRequestSent() {
    FSink.Post(TWorkerEvent{TWorkerEventKind::RequestSent, nullptr, nullptr});
}

}  // namespace velmora
