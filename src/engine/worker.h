// The worker thread that checks one URL for both strategies.
#pragma once

#include <simdjson.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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

// Everything a worker needs besides its task and its run; shared by all workers of a front end.
struct TWorkerConfig {
    std::string Endpoint = kDefaultEndpoint;                  // scheme, host and optional port
    std::function<std::shared_ptr<http::ICurl>()> NewClient;  // default: http::NewCurlClient
    char DecimalSeparator = '.';                              // of the user's locale
};

// JSON parsers lent for one answer each to the workers of a factory. A parser keeps the memory
// of the largest answer it read; workers spend their time waiting for their turn and for the
// service, so a few parsers serve them all.
class TParserShelf {
  public:
    TParserShelf() { FKept.reserve(kKept); }
    TParserShelf(const TParserShelf&) = delete;
    TParserShelf& operator=(const TParserShelf&) = delete;

    // A kept parser, or a new one; back on the shelf when the lease ends.
    class TLease {
      public:
        explicit TLease(TParserShelf& shelf) : FShelf(shelf), FParser(shelf.Take()) {}
        ~TLease() { FShelf.Put(std::move(FParser)); }
        TLease(const TLease&) = delete;
        TLease& operator=(const TLease&) = delete;
        simdjson::dom::parser& Parser() { return *FParser; }

      private:
        TParserShelf& FShelf;
        std::unique_ptr<simdjson::dom::parser> FParser;
    };

  private:
    static constexpr size_t kKept = 4;
    std::unique_ptr<simdjson::dom::parser> Take();
    void Put(std::unique_ptr<simdjson::dom::parser> parser) noexcept;

    std::mutex FLock;
    std::vector<std::unique_ptr<simdjson::dom::parser>> FKept;
};

// Checks one task for both strategies on a thread of its own. Whatever fails inside, it lowers
// the run's active count, then posts the finished task and a last request-sent event.
class TActiveTaskThread {
  public:
    // On the caller's thread: gives the copy empty results. The caller has counted the task
    // as active in the run's pool.
    TActiveTaskThread(std::unique_ptr<TURLTaskInfo> aURLTaskInfo, const TWorkerRun& run,
                      const TWorkerConfig& config, TParserShelf& parsers);
    TActiveTaskThread(const TActiveTaskThread&) = delete;
    TActiveTaskThread& operator=(const TActiveTaskThread&) = delete;

    // The task's whole work. client is the thread's HTTP client, made here when the thread has
    // none yet, and kept for the thread's next task with its connection.
    void Execute(std::shared_ptr<http::ICurl>& client);

  private:
    // How one try of a request ended.
    enum class TAttempt { Answered, Aborted, Stopped };

    bool CheckStrategy(TMetricaStrategy s);
    // One paced request and its interpretation; fills outcome and sentAt when Answered.
    TAttempt Attempt(TMetricaStrategy s, TAttemptOutcome& outcome, TTimePoint& sentAt);
    // Takes a per-minute (or unknown) quota refusal; true when the request is to be put back.
    bool QuotaRefused(TTimePoint sentAt, TQuotaKind kind);
    void StopForDailyQuota();
    // Forgets what a failed try left in the results of s.
    void ClearStrategy(TMetricaStrategy s);
    // Left unchecked: a daily quota stopped the run before this request could go.
    bool NotChecked(TMetricaStrategy s);
    // Status 2 with its log line; always returns false.
    bool Aborted(TMetricaStrategy s);
    void Log(const char* pattern, const std::string& text = {}, TLogLevel level = TLogLevel::Info);
    // quotaWaitUntil: for a line about a quota's wait, when the next request may go.
    void PostLogMessage(std::string text, TLogLevel level = TLogLevel::Info,
                        std::optional<TTimePoint> quotaWaitUntil = {});
    // Stores the last log line as the reason when strategy s failed.
    void KeepFailureReason(TMetricaStrategy s);
    void PostTaskFinished(std::unique_ptr<TURLTaskInfo> task);
    void PostRequestSent();

    std::unique_ptr<TURLTaskInfo> FURLTaskInfo;
    std::string FAPIKey;
    std::string FLocale;
    TURLTaskInfoPool& FPool;
    ITaskEventSink& FSink;
    TWorkerConfig FConfig;
    std::shared_ptr<http::ICurl> FClient;
    std::string FClientError;  // why FClient could not be made
    std::string FLastLogLine;
    std::string FRetryAfter;  // the last answer's Retry-After header
    TParserShelf& FParsers;
};

// The usual IWorkerFactory: each task runs on a thread of this factory's own. A thread that
// finished its task takes the next one waiting, so a run of thousands of tasks makes about as
// many threads (and connections: a thread keeps its HTTP client) as it has tasks at once;
// JoinAll ends and joins them all.
class TThreadWorkerFactory : public IWorkerFactory {
  public:
    explicit TThreadWorkerFactory(TWorkerConfig config) : FConfig(std::move(config)) {}
    ~TThreadWorkerFactory() override { JoinAll(); }
    TThreadWorkerFactory(const TThreadWorkerFactory&) = delete;
    TThreadWorkerFactory& operator=(const TThreadWorkerFactory&) = delete;

    // Counts the task as active in the run before a thread takes it, so the count never dips
    // below the true number of workers. Throws (count unchanged) when no thread can be made.
    void StartWorker(std::unique_ptr<TURLTaskInfo> task, const TWorkerRun& run) override;
    void JoinAll() override;
    // Tasks handed over and not yet ended; a task ends after its events are posted.
    int32_t LiveWorkers() const;
    const TWorkerConfig& Config() const { return FConfig; }

  private:
    void ThreadLoop();

    TWorkerConfig FConfig;
    TParserShelf FParsers;
    mutable std::mutex FLock;
    std::condition_variable FWork;
    std::deque<std::unique_ptr<TActiveTaskThread>> FJobs;  // handed over, no thread yet
    size_t FIdle = 0;                                      // threads waiting for a job
    int32_t FLive = 0;                                     // jobs not yet ended
    bool FStopping = false;
    std::vector<std::thread> FThreads;
};

}  // namespace velmora
