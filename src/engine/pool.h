// The task pool of one run and the pacing of its requests.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

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
};

// The real monotonic clock: a change of the wall clock neither stalls nor bursts requests.
IPacingClock& SteadyPacingClock();

// Number of worker threads created and not yet finished.
extern std::atomic<int32_t> ActiveTaskCount;
// Set by the abort button, cleared when a run starts and when it has ended.
extern std::atomic<bool> AbortRequested;

class TURLTaskInfoPool {
  public:
    static constexpr int kRequestGapMs = 20;

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

    // Two-step reservation, kept for callers that want it; workers use ReserveRequest.
    bool GetNextRequestTime(TTimePoint& aDT);
    void RegisterLastRequest(TTimePoint aDT);

    // Takes the next reservation and registers the one after it in one step, so that two
    // workers can never both escape the pacing. The slot is the later of now and the previous
    // slot + delay + kRequestGapMs: consecutive requests leave at least that far apart, however
    // late their workers come back.
    TTimePoint ReserveRequest();
    // Waits until the clock is past aDT (to the millisecond), sleeping random steps of 0..19 ms
    // without the lock. False when abort was set first; then nothing may be sent.
    bool WaitForReservation(TTimePoint aDT, const std::atomic<bool>& abort);

    IPacingClock& Clock() { return FClock; }
    // The first reservation of the run: the pool's creation time.
    TTimePoint CreatedAt() const { return FCreatedAt; }
    int32_t RequestDelay() const { return FRequestDelay; }

  private:
    std::mutex FLock;
    std::vector<std::unique_ptr<TURLTaskInfo>> FList;
    TTimePoint FNextRequestCanRunAt;
    const TTimePoint FCreatedAt;
    bool FCanRunNextRequest = true;
    const int32_t FRequestDelay;
    IPacingClock& FClock;
};

}  // namespace velmora
