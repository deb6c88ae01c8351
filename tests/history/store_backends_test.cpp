// The same store tests on both backends: a SQLite file and a PostgreSQL database (a throw-away
// server that CTest starts with scripts/pg-test-server; without one these are skipped).
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "history/pg.h"
#include "history/run_owner.h"
#include "history/run_recorder.h"
#include "history/store_test_support.h"

namespace velmora::history {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The URI of the test server's "postgres" database, or empty without a server.
std::string ServerUri(const std::string& state) {
    const std::string dir = ReadLine(state);
    return dir.empty() ? std::string() : ReadLine(dir + "/uri");
}

// Runs SQL on a database of the test server; the first column of the first row, or -1.
int64_t PgQuery(const std::string& uri, const std::string& sql) {
    PGconn* c = PQconnectdb(uri.c_str());
    PGresult* r = PQexec(c, sql.c_str());
    int64_t v = -1;
    if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0 && !PQgetisnull(r, 0, 0))
        v = std::stoll(PQgetvalue(r, 0, 0));
    else if (PQresultStatus(r) != PGRES_COMMAND_OK && PQresultStatus(r) != PGRES_TUPLES_OK)
        ADD_FAILURE() << sql << ": " << PQerrorMessage(c);
    PQclear(r);
    PQfinish(c);
    return v;
}

class StoreBackends : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        static std::atomic<int> serial{0};
        const std::string unique = std::to_string(getpid()) + "_" + std::to_string(++serial);
        if (GetParam() == "postgresql") {
            FAdmin = ServerUri(VELMORA_PG_TEST_STATE);
            if (FAdmin.empty()) GTEST_SKIP() << "no PostgreSQL test server";
            const std::string name = "velmora_" + unique;
            PgQuery(FAdmin, "CREATE DATABASE " + name + " TEMPLATE template0 ENCODING 'UTF8'");
            FLocation = FAdmin;
            FLocation.replace(FLocation.find("/postgres?"), 10, "/" + name + "?");
            FDatabase = name;
        } else {
            FDir = fs::temp_directory_path() / ("velmora-backends-" + unique);
            fs::remove_all(FDir);
            FLocation = (FDir / "history.sqlite").string();
        }
    }
    void TearDown() override {
        if (!FDatabase.empty()) PgQuery(FAdmin, "DROP DATABASE " + FDatabase + " WITH (FORCE)");
        if (!FDir.empty()) fs::remove_all(FDir);
    }
    std::unique_ptr<IHistoryStore> Open() {
        TResult<TOpenedHistory> h = OpenHistory(FLocation);
        EXPECT_TRUE(h) << h.Error();
        return h ? std::move(h->Store) : nullptr;
    }
    int64_t Query(const std::string& sql) {
        if (!FDatabase.empty()) return PgQuery(FLocation, sql);
        sqlite3* db = nullptr;
        sqlite3_open(FLocation.c_str(), &db);
        sqlite3_busy_timeout(db, 2000);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
        const int rc = st ? sqlite3_step(st) : SQLITE_ERROR;
        const int64_t n = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
        sqlite3_finalize(st);
        sqlite3_close(db);
        return n;
    }

    std::string FLocation, FAdmin, FDatabase;
    fs::path FDir;
};

TEST_P(StoreBackends, RunsComeBackAsMergedAndAreListedTrendedAndDeleted) {
    auto store = Open();
    ASSERT_TRUE(store);
    const std::vector<TStoredResult> live = {
        Interpreted(
            1, {"synthetic_fielddata_heavy_mobile.json", "synthetic_fielddata_heavy_mobile.json"}),
        Interpreted(
            2, {"psi13_fast_desktop.json", "synthetic_fielddata_origin_fallback_mobile.json", ','}),
        Interpreted(3, {"", "psi13_fast_mobile.json"}),
        Interpreted(4, {"psi13cat/psi13cat_poor_desktop.json", "psi13cat/psi13cat_poor_mobile.json",
                        '.', kAllCategories}),
    };
    TRunRecord older;
    older.Lang = "en";
    older.Settings = "max-threads=4";
    ASSERT_TRUE(store->BeginRun(older, {"https://site.example/1", "https://site.example/2",
                                        "https://site.example/3", "https://site.example/4"}));
    // Written twice: the later write replaces the earlier one.
    ASSERT_TRUE(store->WriteResults(older.Id, {Checked(1, "10", "9.9 s")}));
    ASSERT_TRUE(store->WriteResults(older.Id, live));
    ASSERT_TRUE(store->FinishRun(older.Id, TRunState::rsCompleted));
    for (bool withAdvice : {true, false}) {
        TResult<TLoadedRun> back =
            withAdvice ? store->LoadRun(older.Id) : store->LoadRunForCompare(older.Id);
        ASSERT_TRUE(back) << back.Error();
        EXPECT_EQ(back->Run.Settings, "max-threads=4");
        ASSERT_EQ(back->List.Count(), 4u);
        for (size_t i = 0; i < live.size(); ++i)
            ExpectSameTask(back->List[i], live[i].Results, withAdvice);
    }
    // What came back above held savings and resources, not only empty figures.
    size_t resources = 0;
    for (const TGAdvice& a : live[3].Results.AdviceList[msMobile])
        resources += a.Figures.Resources().size();
    EXPECT_GT(resources, 10u);
    // The user's own words for a run, with a quote and a line break in them.
    ASSERT_TRUE(store->NameRun(older.Id, "Before the \"redesign\"", "checked by Anna\nfor QA"));
    EXPECT_EQ(HistoryErrorOf(store->NameRun(999, "x", "")), THistoryError::NoSuchRun);
    TResult<TLoadedRun> named = store->LoadRunForCompare(older.Id);
    ASSERT_TRUE(named);
    EXPECT_EQ(named->Run.Name, "Before the \"redesign\"");
    EXPECT_EQ(named->Run.Note, "checked by Anna\nfor QA");
    TRunRecord newer;
    ASSERT_TRUE(store->BeginRun(newer, {"https://site.example/1", "https://other.example/"}));
    ASSERT_TRUE(store->WriteResults(newer.Id, {Checked(1, "87", "1,2 s")}));

    TResult<std::vector<TRunSummary>> runs = store->ListRuns();
    ASSERT_TRUE(runs) << runs.Error();
    ASSERT_EQ(runs->size(), 2u);
    const TRunSummary &first = (*runs)[0], &second = (*runs)[1];
    EXPECT_EQ(first.Run.Id, newer.Id);  // newest first
    EXPECT_EQ(first.UrlCount, 2);
    EXPECT_EQ(first.CheckedCount, 1);  // unfinished: counted now
    EXPECT_EQ(first.MeanScore[msDesktop].value_or(-1), 87);
    EXPECT_FALSE(first.Run.Finished);
    EXPECT_EQ(second.CheckedCount, 4);
    EXPECT_EQ(second.Run.State, TRunState::rsCompleted);
    EXPECT_EQ(second.Run.Machine, ThisMachine());
    EXPECT_EQ(second.Run.User, ThisUser());
    EXPECT_EQ(second.Run.Name, "Before the \"redesign\"");
    EXPECT_EQ(first.Run.Name, "");

    TResult<std::vector<IHistoryStore::TScorePoint>> trend =
        store->ScoreTrend("https://site.example/1");
    ASSERT_TRUE(trend);
    ASSERT_EQ(trend->size(), 2u);
    EXPECT_EQ((*trend)[1].Score[msDesktop].value_or(-1), 87);
    // A run that asked for every category trends each of them; one that did not has none.
    trend = store->ScoreTrend("https://site.example/4");
    ASSERT_TRUE(trend);
    ASSERT_EQ(trend->size(), 1u);
    const IHistoryStore::TScorePoint& poor = (*trend)[0];
    EXPECT_EQ(poor.ScoreOf(msMobile, ctPerformance).value_or(-1), 22);
    EXPECT_EQ(poor.ScoreOf(msMobile, ctAccessibility).value_or(-1), 24);
    EXPECT_EQ(poor.ScoreOf(msDesktop, ctBestPractices).value_or(-1), 62);
    EXPECT_EQ(poor.ScoreOf(msDesktop, ctSeo).value_or(-1), 67);
    EXPECT_FALSE((*store->ScoreTrend("https://site.example/1"))[0].ScoreOf(msDesktop, ctSeo));

    EXPECT_EQ(*store->KeepNewest(1), 1);
    EXPECT_EQ(HistoryErrorOf(store->LoadRun(older.Id)), THistoryError::NoSuchRun);
    ASSERT_TRUE(store->DeleteRun(newer.Id));
    EXPECT_EQ(HistoryErrorOf(store->DeleteRun(newer.Id)), THistoryError::NoSuchRun);
    EXPECT_EQ(Query("SELECT count(*) FROM results"), 0);
    EXPECT_EQ(Query("SELECT count(*) FROM run_urls"), 0);
}

TEST_P(StoreBackends, EveryRecordedAnswerComesBackAsTheSameTypedResult) {
    auto store = Open();
    ASSERT_TRUE(store);
    const std::vector<TAnswered> answers{
        {"psi_fast_desktop.json", "psi_fast_mobile.json"},
        {"psi_heavy_desktop.json", "psi_heavy_mobile.json", ','},
        {"psi_pdf_desktop.json", "psi_text_mobile.json"},
        {"psi13_fast_desktop.json", "psi13_fast_mobile.json"},
        {"psi13_heavy_desktop.json", "psi13_heavy_mobile.json"},
        {"synthetic_fielddata_heavy_mobile.json",
         "synthetic_fielddata_origin_fallback_mobile.json"},
        {"psi13cat/psi13cat_good_desktop.json", "psi13cat/psi13cat_good_mobile.json", '.',
         kAllCategories},
        {"psi13cat/psi13cat_poor_desktop.json", "psi13cat/psi13cat_poor_mobile.json", '.',
         kAllCategories},
        {"psi13cat/psi13cat_noindex_desktop.json", "psi13cat/psi13cat_noindex_mobile.json", '.',
         kAllCategories},
        {"", "psi13cat/psi13cat_error404_mobile.json", '.', kAllCategories},
    };
    std::vector<TStoredResult> live;
    std::vector<std::string> urls;
    for (size_t i = 0; i < answers.size(); ++i) {
        live.push_back(Interpreted(static_cast<int32_t>(i + 1), answers[i]));
        urls.push_back("https://site.example/" + std::to_string(i + 1));
    }
    TRunRecord run;
    run.Lang = "en";
    run.Settings = "max-threads=4\ncategories=" + CategoriesText(kAllCategories) +
                   "\nsource=https://site.example/\nlocale=de";
    ASSERT_TRUE(store->BeginRun(run, urls));
    ASSERT_TRUE(store->WriteResults(run.Id, live));
    ASSERT_TRUE(store->FinishRun(run.Id, TRunState::rsCompleted));
    TResult<TLoadedRun> back = store->LoadRun(run.Id);
    ASSERT_TRUE(back) << back.Error();
    ASSERT_EQ(back->List.Count(), live.size());
    for (size_t i = 0; i < live.size(); ++i) ExpectSameTask(back->List[i], live[i].Results, true);
    const TRunParams expected{kBothStrategies, kAllCategories, "de", "https://site.example/", ""};
    EXPECT_TRUE(back->Run.Params == expected);
    // The view a dashboard reads: the answer's LCP to the last digit, the 404 in its own words.
    EXPECT_EQ(Query("SELECT count(*) FROM page_results WHERE run_id = " + std::to_string(run.Id)),
              2 * static_cast<int64_t>(live.size()));
    EXPECT_EQ(
        Query(
            "SELECT round(lcp_ms * 1000) FROM page_results WHERE num = 8 AND strategy = 'mobile'"),
        24691384);
    EXPECT_EQ(Query("SELECT count(*) FROM page_results WHERE status = 'page_error' AND error_code "
                    "= 'ERRORED_DOCUMENT_REQUEST' AND error_text LIKE '%(Status code: 404)'"),
              1);
}

TEST_P(StoreBackends, ResumeAndPruneLeaveRunsOfLiveProcessesAndOtherMachines) {
    auto store = Open();
    ASSERT_TRUE(store);
    TRunRecord older, run, elsewhere;
    ASSERT_TRUE(store->BeginRun(older, {"https://a/"}));
    ASSERT_TRUE(store->FinishRun(older.Id, TRunState::rsAborted));
    ASSERT_TRUE(store->BeginRun(run, {"https://a/", "https://b/"}));
    // The newest of all is another machine's unfinished run: never this machine's to resume.
    ASSERT_TRUE(store->BeginRun(elsewhere, {"https://c/"}));
    Query("UPDATE runs SET machine = 'elsewhere', owner = '' WHERE id = " +
          std::to_string(elsewhere.Id));
    // The middle one passes to a live child, as if that process had begun it.
    TChild child;
    Query("UPDATE runs SET owner = '" + ProcessOwner(child.Pid()) +
          "' WHERE id = " + std::to_string(run.Id));

    TResult<std::optional<int64_t>> last = store->LastResumableRun();
    ASSERT_TRUE(last) << last.Error();
    EXPECT_EQ(last->value_or(0), older.Id);
    TResult<> reopened = store->ReopenRun(run.Id);
    EXPECT_EQ(HistoryErrorOf(reopened), THistoryError::InUse);
    EXPECT_NE(reopened.Error().find("pid " + std::to_string(child.Pid())), std::string::npos)
        << reopened.Error();
    ASSERT_TRUE(store->DeleteRun(older.Id));
    TResult<std::optional<int64_t>> none = store->LastResumableRun();
    EXPECT_EQ(HistoryErrorOf(none), THistoryError::InUse) << none.Error();
    TRunRecord newest;
    ASSERT_TRUE(store->BeginRun(newest, {"https://d/"}));
    ASSERT_TRUE(store->FinishRun(newest.Id, TRunState::rsCompleted));
    EXPECT_EQ(*store->KeepNewest(1), 1);  // the other machine's, not the live one
    EXPECT_EQ(Query("SELECT count(*) FROM runs WHERE id = " + std::to_string(run.Id)), 1);

    // Once the child is gone its run is free to resume, and resuming takes it.
    child.Kill();
    TResult<std::optional<int64_t>> after = store->LastResumableRun();
    ASSERT_TRUE(after) << after.Error();
    EXPECT_FALSE(after->has_value());  // the newest run is the completed one
    EXPECT_TRUE(store->ReopenRun(run.Id));
    ASSERT_TRUE(store->FinishRun(run.Id, TRunState::rsAborted));
    EXPECT_EQ(*store->KeepNewest(1), 1);  // nobody records it: old runs may go now
}

// Results that queued up while the store was away arrive as one large batch: more values than
// one SQL statement may carry.
TEST_P(StoreBackends, ABatchOfThousandsOfTasksIsWrittenWhole) {
    auto store = Open();
    ASSERT_TRUE(store);
    constexpr int kTasks = 2000;  // 4 000 rows of 19 values
    std::vector<std::string> urls;
    std::vector<TStoredResult> batch;
    for (int i = 1; i <= kTasks; ++i) {
        urls.push_back("https://site.example/" + std::to_string(i));
        batch.push_back(Checked(i, std::to_string(i % 100), "1 s"));
    }
    TRunRecord run;
    ASSERT_TRUE(store->BeginRun(run, urls));
    TResult<> written = store->WriteResults(run.Id, batch);
    ASSERT_TRUE(written) << written.Error();
    EXPECT_EQ(Query("SELECT count(*) FROM results"), 2 * kTasks);
}

// Several programs starting on a new history at once: one makes the schema, the others wait
// for it; every run is kept.
TEST_P(StoreBackends, SeveralProgramsStartingTogetherKeepEveryRun) {
    constexpr int kPrograms = 4;
    std::vector<std::thread> starts;
    std::atomic<int> recorded{0};
    std::mutex m;
    std::vector<std::string> errors;
    for (int i = 0; i < kPrograms; ++i) {
        starts.emplace_back([&] {
            TResult<TOpenedHistory> h = OpenHistory(FLocation);
            TRunRecord run;
            TResult<> begun = h ? h->Store->BeginRun(run, {"https://a/"}) : TResult<>(h.Failure());
            if (begun) ++recorded;
            std::lock_guard lock(m);
            if (!begun) errors.push_back(begun.Error());
        });
    }
    for (std::thread& t : starts) t.join();
    EXPECT_EQ(recorded.load(), kPrograms);
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_EQ(Query("SELECT count(*) FROM runs"), kPrograms);
}

INSTANTIATE_TEST_SUITE_P(, StoreBackends, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

// The server killed in the middle of a run and started again: the recorder waits, and every
// result reaches the database once.
TEST(PostgresHistory, ARunRidesOutAServerRestart) {
    const std::string state =
        (fs::temp_directory_path() / ("velmora-pg-restart-" + std::to_string(getpid()))).string();
    const std::string script = VELMORA_PG_TEST_SERVER;
    if (ServerUri(VELMORA_PG_TEST_STATE).empty()) GTEST_SKIP() << "no PostgreSQL test server";
    ASSERT_EQ(std::system((script + " start " + state + " >/dev/null").c_str()), 0);
    const std::string uri = ServerUri(state);
    ASSERT_FALSE(uri.empty());
    {
        TResult<TOpenedHistory> h = OpenHistory(uri);
        ASSERT_TRUE(h) << h.Error();
        TRunRecorder recorder(std::move(h->Store), 0, h->Patience);
        TURLTaskInfoList list;
        constexpr int kTasks = 120;
        for (int i = 1; i <= kTasks; ++i) list.Add("https://site.example/" + std::to_string(i));
        recorder.Begin(list, "en", "");
        std::string notices;
        for (int i = 0; i < kTasks; ++i) {
            list[i].TaskResults =
                std::make_unique<TURLTaskResults>(Checked(i + 1, "50", "1 s").Results);
            recorder.Merged(list[i]);
            if (i == 40) {
                ASSERT_EQ(std::system((script + " kill " + state).c_str()), 0);
            }
            if (i == 80) {
                ASSERT_EQ(std::system((script + " start-again " + state).c_str()), 0);
            }
            notices += recorder.TakeError();
            std::this_thread::sleep_for(20ms);
        }
        recorder.Finish(false, list);
        recorder.Release();
        notices += recorder.TakeError();
        EXPECT_FALSE(recorder.Lost()) << notices;
        EXPECT_NE(notices.find("PostgreSQL"), std::string::npos) << notices;  // the delay said
    }
    EXPECT_EQ(PgQuery(uri, "SELECT count(*) FROM results"), 240);
    EXPECT_EQ(PgQuery(uri, "SELECT count(DISTINCT (num, strategy)) FROM results"), 240);
    EXPECT_EQ(PgQuery(uri, "SELECT state FROM runs"), 1);
    EXPECT_EQ(std::system((script + " stop " + state).c_str()), 0);
}

// libpq says of a password file open to others only "WARNING: ..." on stderr, nameless; the
// program says it under its own name, and libpq nothing.
TEST(PgConnection, APasswordFileOpenToOthersIsSaidUnderTheProgramsName) {
    const fs::path file =
        fs::temp_directory_path() / ("velmora-pgpass-" + std::to_string(::getpid()));
    std::ofstream(file) << "127.0.0.1:1:velmora:velmora:secret\n";
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    const char* before = std::getenv("PGPASSFILE");
    const std::string saved = before ? before : "";
    ::setenv("PGPASSFILE", file.c_str(), 1);
    ::testing::internal::CaptureStderr();
    TPgConnection db;
    EXPECT_FALSE(db.Open("postgresql://velmora@127.0.0.1:1/velmora?connect_timeout=3"));
    const std::string err = ::testing::internal::GetCapturedStderr();
    before ? ::setenv("PGPASSFILE", saved.c_str(), 1) : ::unsetenv("PGPASSFILE");
    fs::remove(file);
    EXPECT_EQ(err.find("WARNING"), std::string::npos) << err;
    EXPECT_EQ(err.rfind(std::string(program_invocation_short_name) + ": PostgreSQL: ", 0), 0u)
        << err;
    EXPECT_NE(err.find(file.string()), std::string::npos) << err;
}

}  // namespace
}  // namespace velmora::history
