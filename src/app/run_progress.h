// What the window tells about a running check: how far it is, how long it may still take,
// which rows are in flight, which have waited too long, and the summary at its end.
#pragma once

#include <QDate>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "engine/run_controller.h"
#include "engine/tasks.h"

namespace velmora::app {

// The requests this process has sent since local midnight, as the quota counts them.
class TDailyRequests {
  public:
    void Add(QDate today, int requests) {
        if (today != FDay) {
            FDay = today;
            FCount = 0;
        }
        FCount += requests;
    }
    int Count(QDate today) const { return today == FDay ? FCount : 0; }

  private:
    QDate FDay;
    int FCount = 0;
};

class TRunProgress {
  public:
    using TClock = std::chrono::steady_clock;
    // A request that has not answered after this long is worth a log line.
    static constexpr std::chrono::seconds kStuckAfter{60};
    // A run that took longer has most likely lost the user's eye: its end is worth a
    // notification.
    static constexpr std::chrono::seconds kNotifyAfter{60};

    bool Active() const { return FActive; }
    int Total() const { return FTotal; }
    int Done() const { return FOk + FFailed + FAborted; }
    bool InFlight(int32_t num) const { return FInFlight.count(num) != 0; }

    // A run of total tasks begins.
    void Start(int total, TClock::time_point now);
    void TaskStarted(int32_t num, TClock::time_point now);
    // The task logged something: it is moving, so its wait starts again.
    void TaskActivity(int32_t num, TClock::time_point now);
    // A quota holds every request back until then.
    void QuotaWait(TClock::time_point until) { FQuotaUntil = until; }
    // The task came back; its results (or none) decide how it counts.
    void TaskFinished(const TURLTaskInfo& task);
    // "checked / total (per cent), time left" for the progress bar, and the quota's wait while
    // one lasts; the time left counts the wait.
    QString ProgressText(TClock::time_point now) const;
    // Numbers of the tasks that have been silent for longer than kStuckAfter, each reported
    // once per wait.
    std::vector<int32_t> NewlyStuck(TClock::time_point now);
    // Ends the run; returns the log line with the counts of the run's rows as master holds
    // them at the end, and the time taken. Tasks that never came back (a cancel) count as
    // aborted.
    QString Finish(TClock::time_point now, const TURLTaskInfoList& master);

    // Whether the run, active or just finished, has taken longer than kNotifyAfter.
    bool TookLong(TClock::time_point now) const { return now - FStart > kNotifyAfter; }
    // "Requests today: n, gap x.x s" for the progress area.
    static QString PaceText(int requestsToday, int64_t gapMs);

    // "m:ss", or "h:mm:ss" from an hour on.
    static QString Duration(std::chrono::seconds d);

  private:
    struct TFlight {
        TClock::time_point Since;
        bool Reported = false;
    };
    bool FActive = false;
    int FTotal = 0;
    int FOk = 0;
    int FFailed = 0;
    int FAborted = 0;
    TClock::time_point FStart;
    TClock::time_point FQuotaUntil;
    std::unordered_map<int32_t, TFlight> FInFlight;
    std::vector<int32_t> FFinished;  // tasks that came back with results
};

}  // namespace velmora::app
