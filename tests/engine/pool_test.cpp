// The run's task pool and the pacing of requests.
#include "engine/pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
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

TEST(Pool, ReservationsFollowTheGridWhateverTheSendingTimes) {
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
    // After a quiet stretch the grid lags behind the clock and requests go out at once.
    clock.Advance(milliseconds(5000));
    int before = clock.Sleeps();
    TTimePoint late = pool.ReserveRequest();
    EXPECT_EQ(MsSince(start, late), 4 * 120);
    ASSERT_TRUE(pool.WaitForReservation(late, abort));
    EXPECT_EQ(clock.Sleeps(), before);
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
