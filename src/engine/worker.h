// The worker thread that checks one URL for both strategies.
#pragma once

#include <simdjson.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "engine/events.h"
#include "engine/pool.h"
#include "engine/retry.h"
#include "engine/run_controller.h"
#include "engine/tasks.h"
#include "http/curl.h"

namespace velmora {

inline constexpr const char* kDefaultEndpoint = "https://www.googleapis.com";
inline constexpr const char* kServicePath = "/pagespeedonline/v5/runPagespeed";
inline constexpr const char* kUserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:53.0) Gecko/20100101 Firefox/53.0";

// The service's full URL; a trailing "/" of the endpoint is dropped, never doubled.
std::string ServiceUrl(std::string_view endpoint);

// Everything a worker needs besides its task; shared by all workers of a front end.
struct TWorkerConfig {
    std::string Endpoint = kDefaultEndpoint;  // scheme, host and optional port
    ITaskEventSink* Sink = nullptr;
    std::function<std::shared_ptr<http::ICurl>()> NewClient;  // default: http::NewCurlClient
    char DecimalSeparator = '.';                              // of the user's locale
};

// One detached thread that checks one task for both strategies, owns its object and ends by
// itself. Whatever fails inside, it posts the finished task and a last request-sent event.
class TActiveTaskThread {
  public:
    // On the caller's thread: gives the copy empty results, raises ActiveTaskCount and starts
    // the thread. Throws (with ActiveTaskCount unchanged) only when no thread can be made.
    static void Create(std::unique_ptr<TURLTaskInfo> aURLTaskInfo, const std::string& sAPIKey,
                       TURLTaskInfoPool& pool, const TWorkerConfig& config);

    // Worker threads created and not yet ended; a thread leaves this count as its very last
    // step, after its client is released and its events are posted.
    static int32_t LiveThreads();

    TActiveTaskThread(const TActiveTaskThread&) = delete;
    TActiveTaskThread& operator=(const TActiveTaskThread&) = delete;

  private:
    TActiveTaskThread(std::unique_ptr<TURLTaskInfo> aURLTaskInfo, const std::string& sAPIKey,
                      TURLTaskInfoPool& pool, const TWorkerConfig& config);

    // How one try of a request ended.
    enum class TAttempt { Answered, Aborted, Stopped };

    void Execute();
    bool CheckStrategy(TMetricaStrategy s);
    // One paced request and its interpretation; fills outcome and sentAt when Answered.
    TAttempt Attempt(TMetricaStrategy s, TAttemptOutcome& outcome, TTimePoint& sentAt);
    // Takes a per-minute (or unknown) quota refusal; true when the request is to be put back.
    bool QuotaRefused(TTimePoint sentAt);
    void StopForDailyQuota();
    // Forgets what a failed try left in the results of s.
    void ClearStrategy(TMetricaStrategy s);
    // Left unchecked: a daily quota stopped the run before this request could go.
    bool NotChecked(TMetricaStrategy s);
    // Status 2 with its log line; always returns false.
    bool Aborted(TMetricaStrategy s);
    void Log(const char* pattern, const std::string& text = {});
    void PostLogMessage(std::string text);
    // Stores the last log line as the reason when strategy s failed.
    void KeepFailureReason(TMetricaStrategy s);
    void PostTaskFinished(std::unique_ptr<TURLTaskInfo> task);
    void PostRequestSent();

    std::unique_ptr<TURLTaskInfo> FURLTaskInfo;
    std::string FAPIKey;
    TURLTaskInfoPool& FPool;
    TWorkerConfig FConfig;
    std::shared_ptr<http::ICurl> FClient;
    std::string FClientError;  // why FClient could not be made
    std::string FLastLogLine;
    std::string FRetryAfter;  // the last answer's Retry-After header
    simdjson::dom::parser FParser;
};

// The usual IWorkerFactory: one TActiveTaskThread per task.
class TThreadWorkerFactory : public IWorkerFactory {
  public:
    explicit TThreadWorkerFactory(TWorkerConfig config) : FConfig(std::move(config)) {}
    void StartWorker(std::unique_ptr<TURLTaskInfo> task, const std::string& apiKey,
                     TURLTaskInfoPool& pool) override {
        TActiveTaskThread::Create(std::move(task), apiKey, pool, FConfig);
    }
    int32_t LiveWorkers() const override { return TActiveTaskThread::LiveThreads(); }
    const TWorkerConfig& Config() const { return FConfig; }

  private:
    TWorkerConfig FConfig;
};

}  // namespace velmora
