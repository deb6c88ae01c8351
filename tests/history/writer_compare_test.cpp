// The batching writer and the comparison of two runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "history/history_writer.h"
#include "history/run_compare.h"
#include "history/run_recorder.h"

namespace velmora::history {
namespace {

using namespace std::chrono_literals;

// Records the batches; can be told to fail.
class FakeStore final : public IHistoryStore {
  public:
    TResult<> BeginRun(TRunRecord& run, const std::vector<std::string>&) override {
        if (failBegin) return Fail("attempt to write a readonly database");
        run.Id = 7;
        return {};
    }
    TResult<> ReopenRun(int64_t) override { return {}; }
    TResult<> WriteResults(int64_t, const std::vector<TStoredResult>& batch) override {
        std::lock_guard lock(mutex);
        if (TResult<> refused = Refuse(); !refused) return refused;
        std::vector<int32_t> nums;
        for (const auto& r : batch) nums.push_back(r.Num);
        batches.push_back(nums);
        return {};
    }
    TResult<> FinishRun(int64_t id, TRunState state) override {
        std::lock_guard lock(mutex);
        if (TResult<> refused = Refuse(); !refused) return refused;
        ends.emplace_back(id, state);
        return {};
    }
    // The next refusals writes meet, of this kind.
    void RefuseNext(int count, THistoryError kind) {
        std::lock_guard lock(mutex);
        refusals = count;
        refusalKind = kind;
    }
    TResult<> Refuse() {
        if (refusals == 0) return {};
        --refusals;
        return HistoryFailure(refusalKind, "database is locked");
    }
    TResult<std::vector<TRunSummary>> ListRuns() override { return std::vector<TRunSummary>{}; }
    TResult<std::optional<int64_t>> LastResumableRun() override { return std::optional<int64_t>(); }
    TResult<TLoadedRun> LoadRun(int64_t) override { return TLoadedRun{}; }
    TResult<> DeleteRun(int64_t) override { return {}; }
    TResult<> NameRun(int64_t, const std::string&, const std::string&) override { return {}; }
    TResult<int> KeepNewest(int) override { return 0; }
    TResult<std::vector<TScorePoint>> ScoreTrend(const std::string&) override {
        return std::vector<TScorePoint>{};
    }
    size_t Batches() {
        std::lock_guard lock(mutex);
        return batches.size();
    }

    std::mutex mutex;
    std::vector<std::vector<int32_t>> batches;
    bool failBegin = false;
    int refusals = 0;
    THistoryError refusalKind = THistoryError::Busy;
    std::vector<std::pair<int64_t, TRunState>> ends;
};

TURLTaskInfo Task(int32_t num) {
    TURLTaskInfo t("https://x/" + std::to_string(num), num);
    t.InitMetricResults();
    return t;
}

template <typename F>
bool WaitFor(F done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

TEST(HistoryWriter, WritesFullBatchesAtOnceAndTheRestWhenDueOrStopped) {
    FakeStore store;
    {
        // A delay far beyond the test: only the batch size can trigger the first write.
        THistoryWriter writer(store, 1, 60s, 3);
        for (int i = 1; i <= 3; ++i) writer.Add(Task(i));
        EXPECT_TRUE(WaitFor([&] { return store.Batches() == 1; }, 5s));
        writer.Add(Task(4));
        TURLTaskInfo unchecked("https://y/", 9);  // no results: nothing to keep
        writer.Add(unchecked);
        writer.Stop();        // writes the fourth
        writer.Add(Task(5));  // after Stop: dropped
    }
    ASSERT_EQ(store.batches.size(), 2u);
    EXPECT_EQ(store.batches[0], (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(store.batches[1], (std::vector<int32_t>{4}));

    FakeStore timed;
    THistoryWriter writer(timed, 1, 50ms, 50);
    writer.Add(Task(7));
    EXPECT_TRUE(WaitFor([&] { return timed.Batches() == 1; }, 5s));
}

// A store that refuses writes for a while (another program holds it) loses nothing: the
// results wait and the end is written; only refusals past the patience, or a kind of failure
// waiting cannot mend, end the recording.
TEST(HistoryWriter, RefusedWritesWaitAndAreWrittenUnlessTheRefusalLasts) {
    const TWritePatience patience{300ms, 5ms, 20ms};
    const struct {
        const char* Name;
        int Refusals;
        THistoryError Kind;
        bool Lost;
        const char* FirstNotice;
        const char* LastNotice;
    } cases[] = {
        {"a short lock", 4, THistoryError::Busy, false, "задерживается: database is locked",
         "возобновлена"},
        {"a lock past the patience", 1000, THistoryError::Busy, true, "задерживается",
         "Не удалось записать"},
        {"a run deleted meanwhile", 1, THistoryError::NoSuchRun, true, "Не удалось записать", ""},
        {"a statement the file cannot run", 1, THistoryError::Other, true, "Не удалось записать",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        FakeStore store;
        store.RefuseNext(c.Refusals, c.Kind);
        THistoryWriter writer(store, 1, 1ms, 50, patience);
        writer.Add(Task(1));
        std::string notice;
        EXPECT_TRUE(WaitFor([&] { return !(notice = writer.TakeError()).empty(); }, 5s));
        EXPECT_NE(notice.find(c.FirstNotice), std::string::npos) << notice;
        writer.Add(Task(2));  // merged while the first waits
        writer.StopWith(
            [&store](int64_t id) { return store.FinishRun(id, TRunState::rsCompleted); });
        writer.Stop();
        const std::string last = writer.TakeError();
        EXPECT_NE(last.find(c.LastNotice), std::string::npos) << last;
        EXPECT_EQ(writer.Lost(), c.Lost);
        std::vector<int32_t> written;
        for (const auto& b : store.batches) written.insert(written.end(), b.begin(), b.end());
        EXPECT_EQ(written, (c.Lost ? std::vector<int32_t>{} : std::vector<int32_t>{1, 2}));
        EXPECT_EQ(store.ends.size(), c.Lost ? 0u : 1u);
    }
}

TEST(RunRecorder, AFailedBeginReachesTheCallerAndNoEndIsWritten) {
    auto owned = std::make_unique<FakeStore>();
    FakeStore& store = *owned;
    store.failBegin = true;
    TRunRecorder recorder(std::move(owned), 0, TWritePatience{50ms, 5ms, 10ms});
    TURLTaskInfoList list;
    list.Add("https://x/1").InitMetricResults();
    recorder.Begin(list, "ru", "");
    recorder.Merged(list[0]);
    recorder.Finish(false, list);
    recorder.Release();
    EXPECT_NE(recorder.TakeError().find("readonly"), std::string::npos);
    EXPECT_TRUE(recorder.Lost());
    EXPECT_TRUE(store.ends.empty());
    EXPECT_TRUE(store.batches.empty());
}

TEST(RunRecorder, ATaskMergedAfterTheEndIsWrittenAndTheEndWrittenAgain) {
    auto owned = std::make_unique<FakeStore>();
    FakeStore& store = *owned;
    TRunRecorder recorder(std::move(owned), 0);
    TURLTaskInfoList list;
    for (int i = 1; i <= 2; ++i) list.Add("https://x/" + std::to_string(i)).InitMetricResults();
    recorder.Begin(list, "ru", "");
    recorder.Merged(list[0]);
    recorder.Finish(false, list);
    EXPECT_EQ(recorder.RunId(), 7);
    recorder.Merged(list[1]);  // a worker's last event after the end
    EXPECT_TRUE(recorder.Holds(list));
    recorder.Release();
    EXPECT_EQ(recorder.TakeError(), "");
    EXPECT_EQ(store.batches, (std::vector<std::vector<int32_t>>{{1}, {2}}));
    ASSERT_EQ(store.ends.size(), 2u);
    for (const auto& [id, state] : store.ends) {
        EXPECT_EQ(id, 7);
        EXPECT_EQ(state, TRunState::rsCompleted);
    }
    EXPECT_EQ(recorder.RunId(), 0);  // let go
}

TEST(RunCompare, ChangesCarrySignUnitAndPrecision) {
    struct Case {
        const char *older, *newer;
        char sep;
        const char* change;
    } cases[] = {
        {"55", "87", '.', "+32"},
        {"87", "55", '.', "-32"},
        {"1.6 s", "1.2 s", '.', "-0.4 s"},
        {"1,6 s", "2 s", ',', "+0,4 s"},
        {"1.2 s", "1.2 s", '.', "0 s"},
        {"120 ms", "90 ms", '.', "-30 ms"},
        {"1,200 ms", "1,320 ms", '.', "+120 ms"},  // thousands separators
        {"0.012", "0.3", '.', "+0.288"},
        {"12.5 kb", "10 kb", '.', "-2.5 kb"},
        {"0,14", "0,06", ',', "-0,08"},  // a real users' CLS p75 in a decimal-comma locale
        {"", "87", '.', ""},
        {"N/A", "1 s", '.', ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatChange(c.older, c.newer, c.sep), c.change) << c.older << " -> " << c.newer;
}

TEST(RunCompare, EveryCategoryScoreIsBetterHigherAndListedOnlyWhenAsked) {
    for (int col : {int{gcScore}, int{gcAccessibility}, int{gcBestPractices}, int{gcSeo}}) {
        EXPECT_EQ(ChangeVerdictOf(col, "24", "50"), TChangeVerdict::cvBetter) << col;
        EXPECT_EQ(ChangeVerdictOf(col, "67", "61"), TChangeVerdict::cvWorse) << col;
    }
    EXPECT_EQ(ChangeVerdictOf(gcFirstMetric, "1 s", "2 s"), TChangeVerdict::cvWorse);
    const std::vector<int> plain = ComparedCsvColumns();
    EXPECT_EQ(std::count_if(plain.begin(), plain.end(), IsCategoryColumn), 0);
    std::vector<int> withSeo = plain;
    withSeo.push_back(gcSeo);
    EXPECT_EQ(ComparedCsvColumns(kPerformanceOnly | 1 << ctSeo), withSeo);
}

TEST(RunCompare, PairsByUrlInTheNewerOrderThenTheOlderOnly) {
    TURLTaskInfoList older, newer;
    for (const char* u : {"https://a/", "https://gone/", "https://b/"}) older.Add(u);
    for (const char* u : {"https://b/", "https://new/", "https://a/"}) newer.Add(u);
    const std::vector<TComparedUrl> rows = PairRuns(older, newer);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].Url, "https://b/");
    EXPECT_EQ(rows[0].Older, &older[2]);
    EXPECT_EQ(rows[0].Presence(), TPresence::prBoth);
    EXPECT_EQ(rows[1].Presence(), TPresence::prOnlyNewer);
    EXPECT_EQ(rows[2].Older, &older[0]);
    EXPECT_EQ(rows[3].Url, "https://gone/");
    EXPECT_EQ(rows[3].Presence(), TPresence::prOnlyOlder);
}

}  // namespace
}  // namespace velmora::history
