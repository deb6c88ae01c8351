#include "engine/pool.h"

#include <algorithm>
#include <random>
#include <thread>

namespace velmora {

std::atomic<int32_t> ActiveTaskCount{0};
std::atomic<bool> AbortRequested{false};

namespace {

class TSteadyPacingClock final : public IPacingClock {
  public:
    TTimePoint Now() override { return TClock::now(); }
    void SleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

int RandomStepMs() {
    thread_local std::minstd_rand rng{std::random_device{}()};
    return static_cast<int>(rng() % 20);
}

int64_t WholeMs(TTimePoint t) {
    return std::chrono::floor<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

}  // namespace

IPacingClock& SteadyPacingClock() {
    static TSteadyPacingClock clock;
    return clock;
}

TURLTaskInfoPool::TURLTaskInfoPool(int32_t aDelay, IPacingClock& clock)
    : FNextRequestCanRunAt(clock.Now()),
      FCreatedAt(FNextRequestCanRunAt),
      FRequestDelay(aDelay),
      FClock(clock) {}

void TURLTaskInfoPool::Add(std::unique_ptr<TURLTaskInfo> task) {
    std::lock_guard lock(FLock);
    FList.push_back(std::move(task));
}

bool TURLTaskInfoPool::PickTask(std::unique_ptr<TURLTaskInfo>& TaskInfo) {
    TaskInfo.reset();
    std::lock_guard lock(FLock);
    if (FList.empty()) return false;
    TaskInfo = std::move(FList.back());
    FList.pop_back();
    return true;
}

void TURLTaskInfoPool::ClearTasks() {
    std::vector<std::unique_ptr<TURLTaskInfo>> gone;
    {
        std::lock_guard lock(FLock);
        gone.swap(FList);
    }
}

size_t TURLTaskInfoPool::Count() {
    std::lock_guard lock(FLock);
    return FList.size();
}

bool TURLTaskInfoPool::GetNextRequestTime(TTimePoint& aDT) {
    std::lock_guard lock(FLock);
    if (!FCanRunNextRequest) return false;
    aDT = FNextRequestCanRunAt;
    FCanRunNextRequest = false;
    return true;
}

void TURLTaskInfoPool::RegisterLastRequest(TTimePoint aDT) {
    std::lock_guard lock(FLock);
    FNextRequestCanRunAt = aDT + std::chrono::milliseconds(FRequestDelay);
    FCanRunNextRequest = true;
}

TTimePoint TURLTaskInfoPool::ReserveRequest() {
    // A slot that already lies in the past would let every worker back from a slow answer fire
    // at once; the gap is counted from the previous send, so a slot is never earlier than now.
    const TTimePoint now = FClock.Now();
    std::lock_guard lock(FLock);
    const TTimePoint reserved = std::max(now, FNextRequestCanRunAt);
    FNextRequestCanRunAt = reserved + std::chrono::milliseconds(kRequestGapMs) +
                           std::chrono::milliseconds(FRequestDelay);
    FCanRunNextRequest = true;
    return reserved;
}

bool TURLTaskInfoPool::WaitForReservation(TTimePoint aDT, const std::atomic<bool>& abort) {
    const int64_t due = WholeMs(aDT);
    for (;;) {
        if (abort.load()) return false;
        if (WholeMs(FClock.Now()) > due) return true;
        FClock.SleepMs(RandomStepMs());
    }
}

}  // namespace velmora
