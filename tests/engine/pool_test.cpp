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

#include "engine/fake_service.h"

namespace velmora {
namespace {

using std::chrono::milliseconds;

using testing_support::TManualClock;

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

// The quota's pace is learned from the answers of the last minute, not guessed by doubling.
TEST(PoolQuota, PaceFollowsTheQuotaWaitsForTheWindowAndRecovers) {
    TManualClock clock;
    const TTimePoint start = clock.Now();
    TURLTaskInfoPool pool(100, clock);
    // 120 answered requests in the first 14.4 s, then a refusal.
    for (int k = 0; k < 120; ++k) pool.NoteAccepted(pool.ReserveRequest());
    clock.Advance(milliseconds(14'400));
    const TTimePoint refusedSend = pool.ReserveRequest();
    const TTimePoint inFlight = refusedSend - milliseconds(50);
    const TQuotaReaction first = pool.NoteQuotaRefusal(refusedSend);
    EXPECT_TRUE(first.PaceChanged);
    EXPECT_EQ(first.GapMs, 500);  // 60 s / 120
    EXPECT_FALSE(first.StopAsDaily);

    // A request that was in flight meets the same closed quota: nothing moves.
    const TQuotaReaction late = pool.NoteQuotaRefusal(inFlight);
    EXPECT_FALSE(late.PaceChanged);
    EXPECT_EQ(late.GapMs, 500);

    // Nothing goes before the oldest answer's minute is over; then one every 0.5 s.
    EXPECT_EQ(MsSince(start, pool.ReserveRequest()), 60'000);
    EXPECT_EQ(MsSince(start, pool.ReserveRequest()), 60'500);

    // A refusal of a request sent after the change learns again.
    clock.Advance(milliseconds(70'000));  // the first minute's answers have all left the window
    for (int k = 0; k < 30; ++k) pool.NoteAccepted(clock.Now() - milliseconds(k * 100));
    const TQuotaReaction again = pool.NoteQuotaRefusal(clock.Now());
    EXPECT_TRUE(again.PaceChanged);
    EXPECT_EQ(again.GapMs, 2000);  // 60 s / 30

    // A full quiet minute eases the pace a tenth back toward the user's delay, never below it.
    clock.Advance(milliseconds(61'000));
    pool.NoteAccepted(clock.Now());
    EXPECT_EQ(pool.GapMs(), 1800);
    for (int minute = 0; minute < 60; ++minute) {
        clock.Advance(milliseconds(61'000));
        pool.NoteAccepted(clock.Now());
    }
    EXPECT_EQ(pool.GapMs(), 120);
}

TEST(PoolQuota, RefusalsSpanningTwoMinutesWithoutAnAnswerMeanADailyQuota) {
    TManualClock clock;
    TURLTaskInfoPool pool(100, clock);
    TQuotaReaction r = pool.NoteQuotaRefusal(clock.Now());
    EXPECT_FALSE(r.StopAsDaily);
    EXPECT_EQ(pool.ReserveRequest(), clock.Now() + TURLTaskInfoPool::kQuotaWindow)
        << "with no answer in the window a whole window is waited";
    clock.Advance(milliseconds(61'000));
    EXPECT_FALSE(pool.NoteQuotaRefusal(clock.Now()).StopAsDaily);
    // An answer in between shows the quota reopens: the count starts over.
    pool.NoteAccepted(clock.Now());
    clock.Advance(milliseconds(61'000));
    EXPECT_FALSE(pool.NoteQuotaRefusal(clock.Now()).StopAsDaily);
    clock.Advance(milliseconds(61'000));
    EXPECT_FALSE(pool.NoteQuotaRefusal(clock.Now()).StopAsDaily);
    clock.Advance(milliseconds(61'000));
    EXPECT_TRUE(pool.NoteQuotaRefusal(clock.Now()).StopAsDaily);
}

// The service's word decides the quota's kind: refusals it calls per-minute never end the
// run, however long they go on; only those naming no kind fall to the time rule.
TEST(PoolQuota, ThreeMinutesOfRefusalsStopTheRunOnlyWhenTheyNameNoKind) {
    struct Case {
        TQuotaKind Kind;
        bool StopsAsDaily;
    } cases[] = {
        {TQuotaKind::PerMinute, false},
        {TQuotaKind::Unknown, true},
        {TQuotaKind::None, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Kind));
        TManualClock clock;
        TURLTaskInfoPool pool(100, clock);
        bool stopped = false;
        for (int minute = 0; minute <= 3; ++minute) {
            const TQuotaReaction r = pool.NoteQuotaRefusal(clock.Now(), c.Kind);
            stopped = stopped || r.StopAsDaily;
            if (minute == 0) {
                EXPECT_TRUE(r.PaceChanged);
                EXPECT_EQ(r.NextRequestAt, clock.Now() + TURLTaskInfoPool::kQuotaWindow)
                    << "the wait the window shows";
            }
            clock.Advance(milliseconds(61'000));
        }
        EXPECT_EQ(stopped, c.StopsAsDaily);
    }
}

// Waiting costs nothing: one sleep that an abort or a daily stop ends at once.
TEST(PoolWait, AbortOrStopEndsALongWaitAtOnce) {
    for (bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "daily stop" : "abort");
        TURLTaskInfoPool pool(100);
        std::atomic<bool> abort{false};
        const TTimePoint start = TClock::now();
        std::thread waiter(
            [&] { EXPECT_FALSE(pool.WaitUntil(start + std::chrono::minutes(1), abort)); });
        std::this_thread::sleep_for(milliseconds(50));
        if (stop) {
            pool.StopForDailyQuota();
        } else {
            abort = true;
            pool.WakeAll();
        }
        waiter.join();
        EXPECT_LT(TClock::now() - start, milliseconds(150));
        EXPECT_EQ(pool.Stopped(), stop);
    }
}

// A clock that can sleep to a point in one go, and counts how often it is asked to.
class TWaitCountingClock : public TManualClock {
  public:
    void SleepUntil(TTimePoint t, std::unique_lock<std::mutex>&,
                    std::condition_variable&) override {
        ++Waits;
        Advance(std::chrono::duration_cast<milliseconds>(t - Now()));
    }
    int Waits = 0;
};

TEST(PoolWait, AWorkerWaitsForItsSlotInOneSleep) {
    TWaitCountingClock clock;
    TURLTaskInfoPool pool(500, clock);
    std::atomic<bool> abort{false};
    TTimePoint slot{};
    for (int i = 0; i < 20; ++i) slot = pool.ReserveRequest();  // the last is ~10 s ahead
    ASSERT_TRUE(pool.WaitForReservation(slot, abort));
    EXPECT_EQ(clock.Waits, 1);
    EXPECT_GE(clock.Now(), slot);
    EXPECT_LT(clock.Now(), slot + milliseconds(20)) << "only the small arrival offset is added";
}

}  // namespace
}  // namespace velmora
