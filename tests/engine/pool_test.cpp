// The run's task pool and the pacing of requests.
#include "engine/pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <queue>
#include <random>
#include <set>
#include <thread>
#include <vector>

namespace velmora {
namespace {

using std::chrono::milliseconds;

// A clock that only moves when somebody sleeps on it, so pacing needs no real waiting.
class TManualClock : public IPacingClock {
  public:
    TTimePoint Now() override {
        std::lock_guard lock(FLock);
        return FNow;
    }
    void SleepMs(int ms) override {
        std::lock_guard lock(FLock);
        FNow += milliseconds(ms);
        ++FSleeps;
        if (FOnSleep) FOnSleep();
    }
    void Advance(milliseconds d) {
        std::lock_guard lock(FLock);
        FNow += d;
    }
    int Sleeps() {
        std::lock_guard lock(FLock);
        return FSleeps;
    }
    std::function<void()> FOnSleep;

  private:
    std::mutex FLock;
    TTimePoint FNow{milliseconds(1'000'000)};
    int FSleeps = 0;
};

int64_t MsSince(TTimePoint from, TTimePoint to) {
    return std::chrono::duration_cast<milliseconds>(to - from).count();
}

TEST(Pool, HandsOutTasksInListOrderWhenFilledInReverse) {
    TManualClock clock;
    TURLTaskInfoPool pool(100, clock);
    std::unique_ptr<TURLTaskInfo> t;
    EXPECT_FALSE(pool.PickTask(t));
    EXPECT_EQ(t, nullptr);
    for (int num = 3; num >= 1; --num)
        pool.Add(std::make_unique<TURLTaskInfo>("u" + std::to_string(num), num));
    for (int num = 1; num <= 3; ++num) {
        ASSERT_TRUE(pool.PickTask(t));
        EXPECT_EQ(t->Num, num);
    }
    EXPECT_FALSE(pool.PickTask(t));
    EXPECT_EQ(t, nullptr);
    pool.Add(std::make_unique<TURLTaskInfo>("left", 9));
    pool.ClearTasks();
    EXPECT_EQ(pool.Count(), 0u);
}

TEST(Pool, TwoStepReservationRefusesASecondTakerUntilRegistered) {
    TManualClock clock;
    TURLTaskInfoPool pool(100, clock);
    TTimePoint first{}, second{};
    ASSERT_TRUE(pool.GetNextRequestTime(first));
    EXPECT_EQ(first, clock.Now());
    EXPECT_FALSE(pool.GetNextRequestTime(second));
    EXPECT_EQ(second, TTimePoint{});  // left unchanged
    pool.RegisterLastRequest(first + milliseconds(20));
    ASSERT_TRUE(pool.GetNextRequestTime(second));
    EXPECT_EQ(MsSince(first, second), 120);
}

TEST(Pool, BackToBackRequestsFollowTheGridAndSendWithinOneSleepStep) {
    TManualClock clock;
    const TTimePoint start = clock.Now();
    TURLTaskInfoPool pool(100, clock);
    std::atomic<bool> abort{false};
    std::vector<int64_t> sentAt;
    for (int k = 0; k < 4; ++k) {
        TTimePoint reserved = pool.ReserveRequest();
        EXPECT_EQ(MsSince(start, reserved), k * 120);
        ASSERT_TRUE(pool.WaitForReservation(reserved, abort));
        sentAt.push_back(MsSince(start, clock.Now()));
    }
    for (int k = 0; k < 4; ++k) {
        // Never before the reservation, at most one sleep step after it.
        EXPECT_GT(sentAt[k], k * 120);
        EXPECT_LE(sentAt[k], k * 120 + 20);
    }
}

// Slots that lie in the past are not handed out: a worker back long after the last slot goes
// now, and the next one waits delay + gap from that send, not from an old grid point.
TEST(Pool, LateWorkerGoesNowAndTheNextWaitsAFullGapFromIt) {
    TManualClock clock;
    const TTimePoint start = clock.Now();
    TURLTaskInfoPool pool(100, clock);
    for (int k = 0; k < 3; ++k) pool.ReserveRequest();  // 0, 120, 240
    clock.Advance(milliseconds(5000));
    EXPECT_EQ(MsSince(start, pool.ReserveRequest()), 5000);
    EXPECT_EQ(MsSince(start, pool.ReserveRequest()), 5120);
    clock.Advance(milliseconds(50));  // back before the next slot: it keeps its place
    EXPECT_EQ(MsSince(start, pool.ReserveRequest()), 5240);
}

TEST(Pool, WorkersBackTogetherLeaveAFullGapApart) {
    TManualClock clock;
    TURLTaskInfoPool pool(100, clock);
    pool.ReserveRequest();
    clock.Advance(milliseconds(3000));
    std::vector<TTimePoint> got(2);
    std::thread a([&] { got[0] = pool.ReserveRequest(); });
    std::thread b([&] { got[1] = pool.ReserveRequest(); });
    a.join();
    b.join();
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got[0], clock.Now());
    EXPECT_EQ(MsSince(got[0], got[1]), 120);
}

// A busy run as the real service makes it: every answer takes 1..3 s, so workers come back long
// after the slots reserved when they left. Consecutive sends never come closer than delay + gap.
TEST(Pool, SlowAnswersNeverBunchRequests) {
    for (int threads : {1, 8, 20}) {
        SCOPED_TRACE(threads);
        TManualClock clock;
        TURLTaskInfoPool pool(100, clock);
        std::minstd_rand rng(threads);
        using TReturn = std::pair<TTimePoint, int>;  // when a worker is back, which worker
        std::priority_queue<TReturn, std::vector<TReturn>, std::greater<>> back;
        for (int w = 0; w < threads; ++w) back.push({clock.Now(), w});
        std::vector<TTimePoint> sends;
        while (sends.size() < 400) {
            auto [at, w] = back.top();
            back.pop();
            if (at > clock.Now())
                clock.Advance(std::chrono::duration_cast<milliseconds>(at - clock.Now()));
            const TTimePoint slot = pool.ReserveRequest();
            EXPECT_GE(slot, at);  // never a slot before the moment it is asked for
            sends.push_back(slot);
            back.push({slot + milliseconds(1000 + rng() % 2001), w});
        }
        std::sort(sends.begin(), sends.end());
        int64_t smallest = INT64_MAX;
        for (size_t i = 1; i < sends.size(); ++i)
            smallest = std::min(smallest, MsSince(sends[i - 1], sends[i]));
        EXPECT_GE(smallest, 120);
    }
}

TEST(Pool, AbortEndsTheWaitAndKeepsTheReservationUsed) {
    TManualClock clock;
    const TTimePoint start = clock.Now();
    TURLTaskInfoPool pool(1000, clock);
    std::atomic<bool> abort{false};
    pool.ReserveRequest();
    TTimePoint mine = pool.ReserveRequest();
    clock.FOnSleep = [&] { abort = true; };
    EXPECT_FALSE(pool.WaitForReservation(mine, abort));
    EXPECT_LT(MsSince(start, clock.Now()), 20);
    EXPECT_EQ(MsSince(start, pool.ReserveRequest()), 2 * 1020);
}

TEST(Pool, ConcurrentWorkersNeverShareOrSkipAReservation) {
    TManualClock clock;
    const TTimePoint start = clock.Now();
    TURLTaskInfoPool pool(100, clock);
    std::mutex lock;
    std::set<int64_t> reserved;
    std::vector<std::thread> threads;
    for (int w = 0; w < 8; ++w) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                TTimePoint t = pool.ReserveRequest();
                std::lock_guard g(lock);
                reserved.insert(MsSince(start, t));
            }
        });
    }
    for (auto& t : threads) t.join();
    ASSERT_EQ(reserved.size(), 400u);
    int64_t k = 0;
    for (int64_t ms : reserved) EXPECT_EQ(ms, 120 * k++);
}

TEST(Pool, RealClockNeverSendsBeforeTheReservation) {
    TURLTaskInfoPool pool(100);
    std::atomic<bool> abort{false};
    const TTimePoint start = TClock::now();
    for (int k = 0; k < 3; ++k) {
        TTimePoint reserved = pool.ReserveRequest();
        ASSERT_TRUE(pool.WaitForReservation(reserved, abort));
        EXPECT_GE(MsSince(start, TClock::now()), k * 120);
    }
}

}  // namespace
}  // namespace velmora
