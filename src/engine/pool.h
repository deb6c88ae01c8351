// The task pool of one run and the pacing of its requests.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "engine/retry.h"
#include "engine/tasks.h"

namespace velmora {

using TClock = std::chrono::steady_clock;
using TTimePoint = TClock::time_point;

// Time source and sleep of the pacing; tests substitute a manual clock.
class IPacingClock {
  public:
    virtual ~IPacingClock() = default;
    virtual TTimePoint Now() = 0;
    virtual void SleepMs(int ms) = 0;
    // Sleeps (lock released) until t or until cv is notified, whichever is first; may return
    // early. The default sleeps one short step through SleepMs, for clocks that only move when
    // slept on.
    virtual void SleepUntil(TTimePoint t, std::unique_lock<std::mutex>& lock,
                            std::condition_variable& cv);
};

// The real monotonic clock: a change of the wall clock neither stalls nor bursts requests.
IPacingClock& SteadyPacingClock();

// How the pool took a quota refusal.
struct TQuotaReaction {
    bool PaceChanged = false;  // the gap between requests was learned anew
    int64_t GapMs = 0;         // the gap now in force
    bool StopAsDaily = false;  // refusals naming no kind have spanned too long for a minute's
    // When the pool lets the next request go: the quota's wait, when the pace was learned anew.
    TTimePoint NextRequestAt;
};

class TURLTaskInfoPool {
  public:
    static constexpr int kRequestGapMs = 20;
    // The window of a per-minute quota.
    static constexpr std::chrono::seconds kQuotaWindow{60};
    // Quota refusals that name no kind, with no success between them for longer than this,
    // mean a daily quota.
    static constexpr std::chrono::minutes kDailyAfter{2};

    explicit TURLTaskInfoPool(int32_t aDelay, IPacingClock& clock = SteadyPacingClock());
    ~TURLTaskInfoPool() { ClearTasks(); }
    TURLTaskInfoPool(const TURLTaskInfoPool&) = delete;
    TURLTaskInfoPool& operator=(const TURLTaskInfoPool&) = delete;

    // The window adds copies last task first, so that PickTask hands them out in list order.
    void Add(std::unique_ptr<TURLTaskInfo> task);
    // Moves the last task into TaskInfo; false (and TaskInfo empty) when the pool is empty.
    bool PickTask(std::unique_ptr<TURLTaskInfo>& TaskInfo);
    void ClearTasks();
    size_t Count();
    // The tasks not yet handed out, in no particular order.
    std::vector<int32_t> RemainingNums();

    // Takes the next reservation and registers the one after it in one step, so that two
    // workers can never both escape the pacing. The slot is the later of now and the previous
    // slot + the gap (delay + kRequestGapMs, or longer while a quota holds the pace back):
    // consecutive requests leave at least that far apart, however late their workers come back.
    TTimePoint ReserveRequest();
    // Waits until just past aDT (a small random offset spreads arrivals). False when abort was
    // set or the run stopped first; then nothing may be sent.
    bool WaitForReservation(TTimePoint aDT, const std::atomic<bool>& abort);
    // Waits until t in one sleep that WakeAll ends early. False on abort or stop.
    bool WaitUntil(TTimePoint t, const std::atomic<bool>& abort);
    // Wakes every waiter, and every transfer in progress, to look at the abort flag again.
    void WakeAll();

    // An answer (of any kind but a quota refusal) to a request sent at sentAt.
    void NoteAccepted(TTimePoint sentAt);
    // A quota refusal of a request sent at sentAt. Learns the pace from the answers of the last
    // window, unless the request left before the last change (it was in flight meanwhile). The
    // service's own word decides the quota's kind; only a refusal naming none is taken as the
    // daily quota after kDailyAfter of refusals.
    TQuotaReaction NoteQuotaRefusal(TTimePoint sentAt, TQuotaKind kind = TQuotaKind::Unknown);
    int64_t GapMs();

    // A daily quota: no more requests this run; waiters end at once.
    void StopForDailyQuota();
    bool Stopped() const { return FStopped.load(); }

    void SetMaxRetries(int retries) { FMaxRetries = retries; }
    int MaxRetries() const { return FMaxRetries; }
    void CountRequest() { FRequests.fetch_add(1); }
    void CountRetry() { FRetries.fetch_add(1); }
    int32_t Requests() const { return FRequests.load(); }
    int32_t Retries() const { return FRetries.load(); }

    IPacingClock& Clock() { return FClock; }
    int32_t RequestDelay() const { return FRequestDelay; }

    // Workers of this run that have started and not yet lowered the count near their end.
    int32_t ActiveTasks() const { return FActiveTasks.load(); }
    void TaskStarted() { FActiveTasks.fetch_add(1); }
    void TaskEnded() { FActiveTasks.fetch_sub(1); }
    // The run's abort: workers stop before their next request, waiters and transfers wake.
    void RequestAbort();
    bool AbortRequested() const { return FAbort.load(); }
    const std::atomic<bool>& AbortFlag() const { return FAbort; }

  private:
    int64_t BaseGapMs() const { return int64_t{FRequestDelay} + kRequestGapMs; }
    void ForgetOldAnswers(TTimePoint now);

    std::mutex FLock;
    std::condition_variable FWake;
    std::vector<std::unique_ptr<TURLTaskInfo>> FList;
    TTimePoint FNextRequestCanRunAt;
    const TTimePoint FCreatedAt;
    const int32_t FRequestDelay;
    IPacingClock& FClock;

    // The quota's pace, all under FLock.
    int64_t FGapMs;
    std::multiset<TTimePoint> FAccepted;  // send times of answered requests, last window
    std::optional<TTimePoint> FLastQuotaChange;
    std::optional<TTimePoint> FRefusedSince;  // first refusal with no answer after it
    TTimePoint FLastEase;

    std::atomic<bool> FStopped{false};
    std::atomic<bool> FAbort{false};
    std::atomic<int32_t> FActiveTasks{0};
    int FMaxRetries = 0;
    std::atomic<int32_t> FRequests{0};
    std::atomic<int32_t> FRetries{0};
};

}  // namespace velmora
