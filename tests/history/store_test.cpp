// The SQLite history: what a run keeps, how it comes back, and damaged or unusable files.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/grid_text.h"
#include "history/history_store.h"
#include "history/sqlite_history.h"

namespace velmora::history {
namespace {

namespace fs = std::filesystem;

class HistoryStore : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("velmora-history-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        path_ = (dir_ / "sub" / "history.sqlite").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }
    std::unique_ptr<IHistoryStore> Open() {
        TResult<TOpenedHistory> h = OpenSqliteHistory(path_);
        EXPECT_TRUE(h) << h.Error();
        return h ? std::move(h->Store) : nullptr;
    }
    int64_t Count(const char* sql) {
        sqlite3* db = nullptr;
        sqlite3_open(path_.c_str(), &db);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        int64_t n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
        sqlite3_finalize(st);
        sqlite3_close(db);
        return n;
    }

    fs::path dir_;
    std::string path_;
};

// A task as the worker leaves it: desktop checked with advice, mobile failed.
TStoredResult Checked(int32_t num, const std::string& score, const std::string& fcp) {
    TStoredResult r;
    r.Num = num;
    TURLTaskResults& t = r.Results;
    t.TaskResult = {trOK, trServiceError};
    t.ErrorCode = {0, 500};
    t.MetricaValues.push_back({"performance", msDesktop, score, 0});
    t.MetricaValues.push_back({"first-contentful-paint", msDesktop, fcp, 0});
    t.MetricaValues.push_back({"cumulative-layout-shift", msDesktop, "0,012", 0});
    t.MetricaValues.push_back({"total", msDesktop, "1 234,5 kb", 0});
    t.AdviceList[msDesktop].push_back(
        {TInternedText("Reduce unused JavaScript"), "Est savings of 120 KiB",
         TInternedText("Reduce unused JavaScript and defer loading scripts."), 0});
    t.AdviceList[msDesktop].push_back(
        {TInternedText("Avoid long main-thread tasks"), "3 long tasks found",
         TInternedText("Lists the longest tasks on the main thread."), 1});
    return r;
}

std::string Row(const TURLTaskInfo& t, TMetricaStrategy s) {
    std::string row;
    for (int c = 0; c < gcCount; ++c) row += CellText(&t, s, c) + ";";
    return row;
}

TEST_F(HistoryStore, RunComesBackAsItWasMerged) {
    auto store = Open();
    ASSERT_TRUE(store);
    TRunRecord run;
    run.Lang = "en";
    run.Settings = "max-threads=4";
    ASSERT_TRUE(store->BeginRun(run, {"https://a.example/", "https://b.example/", "https://c/"}));
    EXPECT_GT(run.Id, 0);
    // Written twice: the later write replaces the earlier one.
    ASSERT_TRUE(store->WriteResults(run.Id, {Checked(1, "10", "9.9 s")}));
    ASSERT_TRUE(
        store->WriteResults(run.Id, {Checked(1, "87", "1,2 s"), Checked(2, "55", "3.4 s")}));

    TURLTaskInfoList loaded;
    loaded.Add("stale");
    TResult<TRunRecord> back = store->LoadRun(run.Id, loaded);
    ASSERT_TRUE(back) << back.Error();
    EXPECT_EQ(back->Lang, "en");
    EXPECT_EQ(back->Settings, "max-threads=4");
    EXPECT_EQ(back->State, TRunState::rsUnfinished);
    ASSERT_EQ(loaded.Count(), 3u);
    EXPECT_EQ(loaded[2].URL, "https://c/");
    EXPECT_FALSE(loaded[2].TaskResults);  // never checked

    TURLTaskInfoList live;
    live.Add("https://a.example/");
    live.Add("https://b.example/");
    live[0].TaskResults = std::make_unique<TURLTaskResults>(Checked(1, "87", "1,2 s").Results);
    for (auto& v : live[0].TaskResults->MetricaValues) v.ColNum = ColNumByKey(v.Key);
    for (TMetricaStrategy s : kStrategies) EXPECT_EQ(Row(loaded[0], s), Row(live[0], s));
    EXPECT_EQ(Row(loaded[0], msMobile).substr(0, 25), "1;https://a.example/;500;");

    const TGAdviceList& advice = loaded[0].TaskResults->AdviceList[msDesktop];
    ASSERT_EQ(advice.size(), 2u);
    EXPECT_EQ(advice[1].Title.str(), "Avoid long main-thread tasks");
    EXPECT_EQ(advice[1].AdviceText, "3 long tasks found");
    EXPECT_EQ(advice[1].AdviceGroupNdx, 1);
    // Two URLs with the same two advice items: two distinct texts stored.
    EXPECT_EQ(Count("SELECT count(*) FROM advice_texts"), 2);
    EXPECT_EQ(Count("SELECT count(*) FROM results"), 4);
    EXPECT_EQ(Count("SELECT score FROM results WHERE num = 1 AND strategy = 0"), 87);
    EXPECT_EQ(Count("SELECT fcp FROM results WHERE num = 1 AND strategy = 0"), 1200);
    EXPECT_TRUE(fs::exists(path_ + "-wal"));
    EXPECT_EQ(Count("PRAGMA user_version"), kSchemaVersion);
}

TEST_F(HistoryStore, ListsResumesDeletesAndKeepsNewest) {
    auto store = Open();
    ASSERT_TRUE(store);
    std::vector<int64_t> ids;
    for (int i = 0; i < 4; ++i) {
        TRunRecord run;
        run.Lang = "ru";
        ASSERT_TRUE(store->BeginRun(run, {"https://a/", "https://b/"}));
        ASSERT_TRUE(store->WriteResults(run.Id, {Checked(1, std::to_string(60 + i), "1 s")}));
        ids.push_back(run.Id);
        if (i < 3) {
            const TRunState end = i == 1 ? TRunState::rsQuota : TRunState::rsCompleted;
            ASSERT_TRUE(store->FinishRun(run.Id, end));
        }
    }
    TResult<std::vector<TRunSummary>> runs = store->ListRuns();
    ASSERT_TRUE(runs);
    ASSERT_EQ(runs->size(), 4u);
    EXPECT_EQ((*runs)[0].Run.Id, ids[3]);  // newest first
    EXPECT_FALSE((*runs)[0].Run.Finished);
    EXPECT_EQ((*runs)[0].CheckedCount, 1);  // counted live while unfinished
    EXPECT_EQ((*runs)[0].MeanScore[msDesktop].value_or(0), 63);
    EXPECT_FALSE((*runs)[0].MeanScore[msMobile]);
    EXPECT_EQ((*runs)[1].MeanScore[msDesktop].value_or(0), 62);  // kept at the end
    EXPECT_EQ((*runs)[2].Run.State, TRunState::rsQuota);
    EXPECT_EQ((*runs)[1].UrlCount, 2);

    EXPECT_EQ(store->LastResumableRun()->value_or(0), ids[3]);
    ASSERT_TRUE(store->FinishRun(ids[3], TRunState::rsCompleted));
    EXPECT_FALSE(*store->LastResumableRun());
    ASSERT_TRUE(store->ReopenRun(ids[3]));
    EXPECT_EQ(store->LastResumableRun()->value_or(0), ids[3]);

    TResult<std::vector<IHistoryStore::TScorePoint>> trend = store->ScoreTrend("https://a/");
    ASSERT_TRUE(trend);
    ASSERT_EQ(trend->size(), 4u);
    EXPECT_EQ((*trend)[0].Score[msDesktop].value_or(0), 60);
    EXPECT_EQ((*trend)[3].Score[msDesktop].value_or(0), 63);

    EXPECT_TRUE(store->DeleteRun(ids[1]));
    TResult<> again = store->DeleteRun(ids[1]);
    EXPECT_FALSE(again);
    EXPECT_EQ(again.Code(), 1);
    TURLTaskInfoList list;
    EXPECT_FALSE(store->LoadRun(ids[1], list));
    EXPECT_EQ(*store->KeepNewest(1), 2);
    EXPECT_EQ(store->ListRuns()->size(), 1u);
    EXPECT_EQ(Count("SELECT count(*) FROM results"), 2);
    EXPECT_EQ(Count("SELECT count(*) FROM run_urls"), 2);
    EXPECT_EQ(*store->KeepNewest(0), 0);  // 0 keeps everything
}

TEST_F(HistoryStore, DamagedFileIsPutAsideNeverDeleted) {
    fs::create_directories(fs::path(path_).parent_path());
    const std::string garbage(5000, 'x');
    std::ofstream(path_, std::ios::binary) << garbage;
    TResult<TOpenedHistory> h = OpenSqliteHistory(path_);
    ASSERT_TRUE(h) << h.Error();
    EXPECT_NE(h->Notice.find(".damaged-"), std::string::npos) << h->Notice;
    std::string aside;
    for (const auto& e : fs::directory_iterator(fs::path(path_).parent_path()))
        if (e.path().string().find(".damaged-") != std::string::npos) aside = e.path().string();
    ASSERT_FALSE(aside.empty());
    std::ifstream in(aside, std::ios::binary);
    std::stringstream kept;
    kept << in.rdbuf();
    EXPECT_EQ(kept.str(), garbage);
    TRunRecord run;
    EXPECT_TRUE(h->Store->BeginRun(run, {"https://a/"}));  // a fresh history works
}

TEST_F(HistoryStore, UnusableFilesFailWithAMessage) {
    // A newer program's schema is left alone.
    {
        auto store = Open();
        ASSERT_TRUE(store);
    }
    sqlite3* db = nullptr;
    sqlite3_open(path_.c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    TResult<TOpenedHistory> newer = OpenSqliteHistory(path_);
    EXPECT_FALSE(newer);
    EXPECT_NE(newer.Error().find("newer"), std::string::npos) << newer.Error();
    EXPECT_TRUE(fs::exists(path_));

    // A folder where the file should be, and a folder that cannot be written.
    fs::create_directories(dir_ / "isdir.sqlite");
    EXPECT_FALSE(OpenSqliteHistory((dir_ / "isdir.sqlite").string()));
    if (::geteuid() != 0) {
        fs::create_directories(dir_ / "ro");
        fs::permissions(dir_ / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        TResult<TOpenedHistory> ro = OpenSqliteHistory((dir_ / "ro" / "h.sqlite").string());
        EXPECT_FALSE(ro);
        EXPECT_FALSE(ro.Error().empty());
        fs::permissions(dir_ / "ro", fs::perms::owner_all);
    }
}

}  // namespace
}  // namespace velmora::history
