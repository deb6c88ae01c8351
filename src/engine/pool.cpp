#include "engine/pool.h"

#include <algorithm>
#include <random>
#include <thread>

#include "http/curl.h"

namespace velmora {

namespace {

using std::chrono::milliseconds;

// Clocks that only move when slept on are slept in steps no longer than this.
constexpr int kStepMs = 19;

class TSteadyPacingClock final : public IPacingClock {
  public:
    TTimePoint Now() override { return TClock::now(); }
    void SleepMs(int ms) override { std::this_thread::sleep_for(milliseconds(ms)); }
    void SleepUntil(TTimePoint t, std::unique_lock<std::mutex>& lock,
                    std::condition_variable& cv) override {
        cv.wait_until(lock, t);
    }
};

// 1..19 ms past the slot: arrivals do not land on a fixed grid.
milliseconds RandomOffset() {
    thread_local std::minstd_rand rng{std::random_device{}()};
    return milliseconds(1 + static_cast<int>(rng() % kStepMs));
}

}  // namespace

void IPacingClock::SleepUntil(TTimePoint t, std::unique_lock<std::mutex>& lock,
                              std::condition_variable&) {
    const auto left = std::chrono::ceil<milliseconds>(t - Now()).count();
    lock.unlock();
    SleepMs(static_cast<int>(std::clamp<int64_t>(left, 1, kStepMs)));
    lock.lock();
}

IPacingClock& SteadyPacingClock() {
    static TSteadyPacingClock clock;
    return clock;
}

TURLTaskInfoPool::TURLTaskInfoPool(int32_t aDelay, IPacingClock& clock)
    : FNextRequestCanRunAt(clock.Now()),
      FCreatedAt(FNextRequestCanRunAt),
      FRequestDelay(aDelay),
      FClock(clock),
      FGapMs(BaseGapMs()),
      FLastEase(FCreatedAt) {}

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

std::vector<int32_t> TURLTaskInfoPool::RemainingNums() {
    std::lock_guard lock(FLock);
    std::vector<int32_t> nums;
    nums.reserve(FList.size());
    for (const auto& t : FList) nums.push_back(t->Num);
    return nums;
}

TTimePoint TURLTaskInfoPool::ReserveRequest() {
    // A slot that already lies in the past would let every worker back from a slow answer fire
    // at once; the gap is counted from the previous send, so a slot is never earlier than now.
    const TTimePoint now = FClock.Now();
    std::lock_guard lock(FLock);
    const TTimePoint reserved = std::max(now, FNextRequestCanRunAt);
    FNextRequestCanRunAt = reserved + milliseconds(FGapMs);
    return reserved;
}

bool TURLTaskInfoPool::WaitForReservation(TTimePoint aDT, const std::atomic<bool>& abort) {
    return WaitUntil(std::chrono::floor<milliseconds>(aDT) + RandomOffset(), abort);
}

bool TURLTaskInfoPool::WaitUntil(TTimePoint t, const std::atomic<bool>& abort) {
    std::unique_lock lock(FLock);
    for (;;) {
        if (abort.load() || FStopped.load()) return false;
        const TTimePoint now = FClock.Now();
        if (now >= t) return true;
        // One wait to the slot: every abort and stop goes through WakeAll, so a waiting worker
        // costs nothing until then.
        FClock.SleepUntil(t, lock, FWake);
    }
}

void TURLTaskInfoPool::RequestAbort() {
    FAbort.store(true);
    WakeAll();
}

void TURLTaskInfoPool::WakeAll() {
    // Taking the lock orders the flag change before any waiter's next look at it.
    { std::lock_guard lock(FLock); }
    FWake.notify_all();
    http::WakeTransfers();
}

void TURLTaskInfoPool::ForgetOldAnswers(TTimePoint now) {
    while (!FAccepted.empty() && *FAccepted.begin() <= now - kQuotaWindow)
        FAccepted.erase(FAccepted.begin());
}

void TURLTaskInfoPool::NoteAccepted(TTimePoint sentAt) {
    const TTimePoint now = FClock.Now();
    std::lock_guard lock(FLock);
    FRefusedSince.reset();
    FAccepted.insert(sentAt);
    ForgetOldAnswers(now);
    // A quota shared with others may loosen again: a full quiet window brings the pace a
    // tenth back toward the user's delay; a refusal would learn it anew.
    const TTimePoint calmSince = std::max(FLastQuotaChange.value_or(FCreatedAt), FLastEase);
    if (FGapMs > BaseGapMs() && now - calmSince >= kQuotaWindow) {
        FGapMs = std::max(BaseGapMs(), FGapMs * 9 / 10);
        FLastEase = now;
    }
}

TQuotaReaction TURLTaskInfoPool::NoteQuotaRefusal(TTimePoint sentAt, TQuotaKind kind) {
    const TTimePoint now = FClock.Now();
    std::lock_guard lock(FLock);
    TQuotaReaction reaction;
    if (!FRefusedSince) FRefusedSince = now;
    reaction.StopAsDaily = kind != TQuotaKind::PerMinute && now - *FRefusedSince > kDailyAfter;
    // Requests in flight when the pace changed meet the same closed quota; they say nothing new.
    if (FLastQuotaChange && sentAt < *FLastQuotaChange) {
        reaction.GapMs = FGapMs;
        return reaction;
    }
    ForgetOldAnswers(now);
    const auto window = std::chrono::duration_cast<milliseconds>(kQuotaWindow).count();
    TTimePoint reopen;
    if (FAccepted.empty()) {
        // Nothing passed within the window: its start is unknown, so wait a whole one.
        reopen = now + kQuotaWindow;
    } else {
        FGapMs = std::max(BaseGapMs(), window / static_cast<int64_t>(FAccepted.size()));
        reopen = *FAccepted.begin() + kQuotaWindow;
    }
    FNextRequestCanRunAt = std::max(FNextRequestCanRunAt, reopen);
    FLastQuotaChange = now;
    reaction.PaceChanged = true;
    reaction.GapMs = FGapMs;
    reaction.NextRequestAt = FNextRequestCanRunAt;
    return reaction;
}

int64_t TURLTaskInfoPool::GapMs() {
    std::lock_guard lock(FLock);
    return FGapMs;
}

void TURLTaskInfoPool::StopForDailyQuota() {
    FStopped.store(true);
    WakeAll();
}

}  // namespace velmora
