// Histories of earlier versions, as the last release wrote them, opened by this one: migrated
// once, their numbers read from the texts they kept, their parameters as columns.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "history/history_store.h"
#include "history/sqlite_history.h"

namespace velmora::history {
namespace {

namespace fs = std::filesystem;

void Exec(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

int64_t QueryInt(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    const int64_t v = st && sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return v;
}

double NumberOf(const TURLTaskInfo& task, TMetricaStrategy s, std::string_view key) {
    const TMetricaValue* v = task.TaskResults->MetricaValues.GetValueByKey(key, s);
    return v ? v->Number : std::nan("");
}

// The release's file holds run 1 (four categories, a poor, a good, a noindex and a 404 page)
// and run 2 (mobile only).
constexpr const char* kReleaseFile = VELMORA_TEST_DATA "/history/v3.sqlite";

TEST(HistoryMigration, ReleaseFilesOfVersionsTwoAndThreeKeepEveryNumberTheirTextsHeld) {
    const struct {
        int Version;
        const char* Downgrade;  // what makes the release's version 3 file one of that version
    } cases[] = {
        {3, ""},
        {2,
         "ALTER TABLE runs DROP COLUMN owner; ALTER TABLE runs DROP COLUMN machine;"
         "ALTER TABLE runs DROP COLUMN user_name; ALTER TABLE runs DROP COLUMN name;"
         "ALTER TABLE runs DROP COLUMN note; PRAGMA user_version=2;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Version);
        const fs::path dir =
            fs::temp_directory_path() /
            ("velmora-migration-" + std::to_string(getpid()) + "-" + std::to_string(c.Version));
        fs::remove_all(dir);
        fs::create_directories(dir);
        const std::string path = (dir / "history.sqlite").string();
        fs::copy_file(kReleaseFile, path);
        Exec(path, c.Downgrade);
        ASSERT_EQ(QueryInt(path, "PRAGMA user_version"), c.Version);
        // Opened as the history commands open it: read, yet brought up to date once.
        for (int opening = 0; opening < 2; ++opening) {
            TResult<TOpenedHistory> h = OpenHistory(path, true);
            ASSERT_TRUE(h) << h.Error();
            TResult<TLoadedRun> run = h->Store->LoadRun(1);
            ASSERT_TRUE(run) << run.Error();
            const TURLTaskInfo& poor = run->List[0];
            EXPECT_EQ(NumberOf(poor, msMobile, "performance"), 22);
            EXPECT_EQ(NumberOf(poor, msMobile, "largest-contentful-paint"), 24700);
            EXPECT_EQ(NumberOf(poor, msMobile, "total-blocking-time"), 2400);
            EXPECT_EQ(NumberOf(poor, msMobile, "cumulative-layout-shift"), 0.191);
            EXPECT_EQ(NumberOf(poor, msMobile, "accessibility"), 24);
            EXPECT_EQ(NumberOf(poor, msMobile, "seo"), 67);
            EXPECT_EQ(NumberOf(poor, msMobile, "total"), std::round(4584.1 * 1024));
            EXPECT_EQ(run->Run.Params.Categories, kAllCategories);
            EXPECT_EQ(run->Run.Params.Source, "/tmp/old/urls.txt");
            TResult<TLoadedRun> mobileOnly = h->Store->LoadRun(2);
            ASSERT_TRUE(mobileOnly) << mobileOnly.Error();
            EXPECT_EQ(mobileOnly->Run.Params.Strategies, TStrategySet{0b10});
            EXPECT_FALSE(mobileOnly->List[0].TaskResults->Asked(msDesktop));
        }
        EXPECT_EQ(QueryInt(path, "PRAGMA user_version"), kSchemaVersion);
        EXPECT_EQ(QueryInt(path, "SELECT count(*) FROM page_results WHERE run_id = 1"), 8);
        EXPECT_EQ(QueryInt(path,
                           "SELECT field_lcp FROM results WHERE run_id = 1 AND num = 1 "
                           "AND strategy = 1"),
                  4836);
        fs::remove_all(dir);
    }
}

}  // namespace
}  // namespace velmora::history
