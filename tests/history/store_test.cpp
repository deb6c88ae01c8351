// The SQLite history: what a run keeps, how it comes back, and damaged or unusable files.
#include <grp.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "engine/grid_text.h"
#include "engine/interpret.h"
#include "history/history_store.h"
#include "history/result_codec.h"
#include "history/sqlite_history.h"
#include "history/store_test_support.h"

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
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
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

    TResult<TLoadedRun> back = store->LoadRun(run.Id);
    ASSERT_TRUE(back) << back.Error();
    EXPECT_EQ(back->Run.Lang, "en");
    EXPECT_EQ(back->Run.Settings, "max-threads=4");
    EXPECT_EQ(back->Run.State, TRunState::rsUnfinished);
    const TURLTaskInfoList& loaded = back->List;
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

TEST_F(HistoryStore, RealAnswersComeBackWithFieldDataRequestOutcomeAndAdvice) {
    const TAnswered answered[] = {
        // The page's own field data in both strategies.
        {"synthetic_fielddata_heavy_mobile.json", "synthetic_fielddata_heavy_mobile.json"},
        // The origin's data, in a locale writing decimal commas.
        {"psi13_fast_desktop.json", "synthetic_fielddata_origin_fallback_mobile.json", ','},
        // No field data; desktop failed with a bare status after two more tries.
        {"", "psi13_fast_mobile.json"},
        // The four categories: their scores, failing audits with their groups, manual checks.
        {"psi13cat/psi13cat_poor_desktop.json", "psi13cat/psi13cat_poor_mobile.json", '.',
         kAllCategories},
    };
    std::vector<TStoredResult> live;
    for (size_t i = 0; i < std::size(answered); ++i)
        live.push_back(Interpreted(static_cast<int32_t>(i + 1), answered[i]));
    ASSERT_FALSE(live[0].Results.FieldData[msDesktop].Empty());
    ASSERT_EQ(live[1].Results.FieldData[msMobile].Source, fsOrigin);
    ASSERT_EQ(live[2].Results.ErrorText(msDesktop), "HTTP 503");
    ASSERT_FALSE(live[2].Results.ErrorMessage[msDesktop].empty());
    ASSERT_FALSE(live[0].Results.AdviceList[msMobile].empty());

    auto store = Open();
    ASSERT_TRUE(store);
    TRunRecord run;
    ASSERT_TRUE(store->BeginRun(run, {"https://site.example/1", "https://site.example/2",
                                      "https://site.example/3", "https://site.example/4"}));
    ASSERT_TRUE(store->WriteResults(run.Id, live));

    TResult<TLoadedRun> wholeRun = store->LoadRun(run.Id);
    TResult<TLoadedRun> comparedRun = store->LoadRunForCompare(run.Id);
    ASSERT_TRUE(wholeRun);
    ASSERT_TRUE(comparedRun);
    const TURLTaskInfoList& whole = wholeRun->List;
    const TURLTaskInfoList& compared = comparedRun->List;
    ASSERT_EQ(whole.Count(), 4u);
    ASSERT_EQ(compared.Count(), 4u);
    ASSERT_EQ(CellText(&whole[3], msDesktop, gcAccessibility), "24");
    for (size_t i = 0; i < live.size(); ++i) {
        ExpectSameTask(whole[i], live[i].Results, true);
        ExpectSameTask(compared[i], live[i].Results, false);
    }
    // The p75 comes back exactly: the grids sort by it.
    EXPECT_EQ(whole[0].TaskResults->FieldData[msMobile][fmLCP].P75,
              live[0].Results.FieldData[msMobile][fmLCP].P75);
}

// A history the first version of the program wrote: its schema and rows exactly as it left them.
constexpr const char* kVersionOneFile = R"(
PRAGMA journal_mode=WAL;
CREATE TABLE runs(id INTEGER PRIMARY KEY, started INTEGER NOT NULL, finished INTEGER,
  state INTEGER NOT NULL, lang TEXT NOT NULL, settings TEXT NOT NULL,
  url_count INTEGER NOT NULL, checked INTEGER NOT NULL DEFAULT 0, mean_desktop REAL,
  mean_mobile REAL);
CREATE TABLE run_urls(run_id INTEGER NOT NULL, num INTEGER NOT NULL, url TEXT NOT NULL,
  PRIMARY KEY(run_id, num)) WITHOUT ROWID;
CREATE INDEX run_urls_by_url ON run_urls(url);
CREATE TABLE advice_texts(id INTEGER PRIMARY KEY, title TEXT NOT NULL, descr TEXT NOT NULL,
  UNIQUE(title, descr));
CREATE TABLE results(run_id INTEGER NOT NULL, num INTEGER NOT NULL, strategy INTEGER NOT NULL,
  status INTEGER NOT NULL, error_code INTEGER NOT NULL,
  score REAL, fcp REAL, si REAL, lcp REAL, tti REAL, tbt REAL, cls REAL,
  texts TEXT NOT NULL, advice TEXT NOT NULL, finished_at INTEGER NOT NULL,
  PRIMARY KEY(run_id, num, strategy)) WITHOUT ROWID;
INSERT INTO runs VALUES(1, 1700000000, 1700000600, 1, 'en', 'max-threads=4', 2, 1, 87, NULL);
INSERT INTO run_urls VALUES(1, 1, 'https://a.example/'), (1, 2, 'https://b.example/');
INSERT INTO advice_texts VALUES(5, 'Reduce unused JavaScript', 'Defer loading scripts.');
INSERT INTO results VALUES
  (1, 1, 0, 1, 0, 87, 1200, NULL, NULL, NULL, NULL, NULL,
   '87' || char(31) || '1,2 s', '5' || char(31) || '0' || char(31) || 'Est savings of 120 KiB',
   1700000100),
  (1, 1, 1, 7, 500, NULL, NULL, NULL, NULL, NULL, NULL, NULL, '', '', 1700000100);
PRAGMA user_version=1;
)";

TEST_F(HistoryStore, VersionOneFileOpensMigratedAndKeepsItsRuns) {
    fs::create_directories(fs::path(path_).parent_path());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, kVersionOneFile, nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);

    auto store = Open();
    ASSERT_TRUE(store);
    EXPECT_EQ(Count("PRAGMA user_version"), kSchemaVersion);
    TResult<TLoadedRun> run = store->LoadRun(1);
    ASSERT_TRUE(run) << run.Error();
    EXPECT_EQ(run->Run.Settings, "max-threads=4");
    const TURLTaskInfoList& loaded = run->List;
    ASSERT_EQ(loaded.Count(), 2u);
    EXPECT_EQ(Row(loaded[0], msDesktop).substr(0, 27), "1;https://a.example/;;87;;1");
    EXPECT_EQ(CellText(&loaded[0], msDesktop, gcFirstMetric), "1,2 s");
    EXPECT_EQ(CellText(&loaded[0], msMobile, gcError), "500");
    EXPECT_TRUE(loaded[0].TaskResults->FieldData[msDesktop].Empty());
    EXPECT_EQ(CellText(&loaded[0], msDesktop, gcLcpP75), "");
    const TGAdviceList& advice = loaded[0].TaskResults->AdviceList[msDesktop];
    ASSERT_EQ(advice.size(), 1u);
    EXPECT_EQ(advice[0].Descr.str(), "Defer loading scripts.");
    EXPECT_EQ(advice[0].AdviceText, "Est savings of 120 KiB");
    EXPECT_FALSE(advice[0].Score);
    EXPECT_EQ(store->ListRuns()->front().MeanScore[msDesktop].value_or(0), 87);

    // The migrated file takes today's results, field data included.
    const TStoredResult fresh =
        Interpreted(2, {"psi13_fast_desktop.json", "synthetic_fielddata_heavy_mobile.json"});
    ASSERT_TRUE(store->ReopenRun(1));
    ASSERT_TRUE(store->WriteResults(1, {fresh}));
    TResult<TLoadedRun> again = store->LoadRun(1);
    ASSERT_TRUE(again);
    ExpectSameTask(again->List[1], fresh.Results, true);
    EXPECT_EQ(Count("SELECT count(*) FROM advice_texts WHERE id = 5"), 1);
}

TEST(FieldDataCodec, DamagedTextsGiveNoDataAndAbsentMetricsStayAbsent) {
    TFieldData data;
    data.Source = fsPage;
    data.Overall = fcAverage;
    data.Verdict = cvFailed;
    data.DecimalSeparator = ',';
    data[fmLCP] = {true, 2712.5, fcAverage};
    data[fmCLS] = {true, 0.14, fcAverage};
    const std::string text = EncodeFieldData(data);
    const TFieldData back = DecodeFieldData(text);
    EXPECT_EQ(EncodeFieldData(back), text);
    EXPECT_EQ(back[fmCLS].P75, 0.14);
    EXPECT_FALSE(back[fmINP].Present);
    EXPECT_EQ(back.DecimalSeparator, ',');
    EXPECT_EQ(EncodeFieldData(TFieldData{}), "");

    const std::string extra = text + "\x1f" + "1";
    std::string badEnum = text, badCategory = text;
    badEnum[0] = '7';
    badCategory.back() = 'x';
    const std::string cases[] = {
        "", "1", text.substr(0, text.size() - 2), extra, text + "\x1f", badEnum, badCategory};
    for (const std::string& bad : cases) EXPECT_TRUE(DecodeFieldData(bad).Empty()) << bad;
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
    // A run that is not there is named as such, whatever SQLite's own codes are.
    TResult<> again = store->DeleteRun(ids[1]);
    EXPECT_FALSE(again);
    EXPECT_EQ(HistoryErrorOf(again), THistoryError::NoSuchRun);
    EXPECT_EQ(HistoryErrorOf(store->LoadRun(ids[1])), THistoryError::NoSuchRun);
    EXPECT_EQ(HistoryErrorOf(store->LoadRunForCompare(ids[1])), THistoryError::NoSuchRun);
    EXPECT_EQ(*store->KeepNewest(1), 2);
    EXPECT_EQ(store->ListRuns()->size(), 1u);
    EXPECT_EQ(Count("SELECT count(*) FROM results"), 2);
    EXPECT_EQ(Count("SELECT count(*) FROM run_urls"), 2);
    EXPECT_EQ(*store->KeepNewest(0), 0);  // 0 keeps everything
}

// Reading commands open the history read-only: they change no file, and a read-only folder
// does not keep them from reading.
TEST_F(HistoryStore, ReadingChangesNothingAndWorksInAReadOnlyFolder) {
    {
        auto store = Open();
        ASSERT_TRUE(store);
        TRunRecord run;
        ASSERT_TRUE(store->BeginRun(run, {"https://a/"}));
    }
    const fs::path dir = fs::path(path_).parent_path();
    const std::string kept = ReadAll(path_);
    // As a user without write access to the folder; root would be let in anyway.
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                             fs::perms::others_exec);
    fs::permissions(path_, fs::perms::owner_read | fs::perms::others_read);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        TResult<TOpenedHistory> h = OpenSqliteHistory(path_, true);
        if (!h) {
            std::fprintf(stderr, "%s\n", h.Error().c_str());
            ::_exit(4);
        }
        TResult<std::vector<TRunSummary>> runs = h->Store->ListRuns();
        ::_exit(runs && runs->size() == 1 ? 0 : 5);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << WEXITSTATUS(status);
    fs::permissions(dir, fs::perms::owner_all);
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);

    // A damaged file and one of an older version are refused, neither moved nor converted.
    sqlite3* db = nullptr;
    sqlite3_open(path_.c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version=2", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::string damaged("SQLite format 3", 16);
    damaged += std::string(5000, 'x');
    for (const std::string& bytes : {ReadAll(path_), damaged}) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;
        TResult<TOpenedHistory> h = OpenSqliteHistory(path_, true);
        EXPECT_FALSE(h);
        EXPECT_EQ(ReadAll(path_), bytes);
        // SQLite's own journal files may appear beside it; nothing is put aside.
        for (const auto& e : fs::directory_iterator(dir))
            EXPECT_EQ(e.path().string().find(".damaged-"), std::string::npos) << h.Error();
    }
    EXPECT_NE(kept, damaged);
}

// Only what is recognisably a damaged history is put aside (never deleted); any other file of
// the user's is refused and left exactly as it was.
TEST_F(HistoryStore, DamagedHistoryIsPutAsideAnyOtherFileIsLeftAlone) {
    const fs::path dir = fs::path(path_).parent_path();
    fs::create_directories(dir);
    std::string damaged("SQLite format 3", 16);
    damaged += std::string(5000, 'x');
    const struct {
        const char* name;
        std::string bytes;
        bool foreignDatabase;
        bool putAside;
        bool refused;
    } cases[] = {
        {"damaged history", damaged, false, true, false},
        {"a text file", "notes of mine\n" + std::string(5000, 'x'), false, false, true},
        {"another program's database", {}, true, false, true},
        {"an empty file", {}, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& e : fs::directory_iterator(dir)) fs::remove(e.path());
        if (c.foreignDatabase) {
            sqlite3* db = nullptr;
            sqlite3_open(path_.c_str(), &db);
            sqlite3_exec(db, "CREATE TABLE notes(t TEXT); INSERT INTO notes VALUES('mine')",
                         nullptr, nullptr, nullptr);
            sqlite3_close(db);
        } else {
            std::ofstream(path_, std::ios::binary) << c.bytes;
        }
        const std::string before = ReadAll(path_);
        TResult<TOpenedHistory> h = OpenSqliteHistory(path_);
        std::string aside;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().string().find(".damaged-") != std::string::npos) aside = e.path().string();
        EXPECT_EQ(!aside.empty(), c.putAside);
        if (c.refused) {
            EXPECT_FALSE(h);
            EXPECT_EQ(HistoryErrorOf(h), THistoryError::NotAHistory);
            EXPECT_EQ(ReadAll(path_), before);
            continue;
        }
        ASSERT_TRUE(h) << h.Error();
        if (c.putAside) {
            EXPECT_NE(h->Notice.find(".damaged-"), std::string::npos) << h->Notice;
            EXPECT_EQ(ReadAll(aside), before);
        }
        TRunRecord run;
        EXPECT_TRUE(h->Store->BeginRun(run, {"https://a/"}));  // a fresh history works
        h->Store.reset();
        EXPECT_EQ(Count("PRAGMA application_id"), 0x564C4D52);
    }
    // Reading never creates one.
    for (const auto& e : fs::directory_iterator(dir)) fs::remove(e.path());
    EXPECT_FALSE(OpenSqliteHistory(path_, true));
    EXPECT_FALSE(fs::exists(path_));
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
    EXPECT_NE(newer.Error().find("более новой версией"), std::string::npos) << newer.Error();
    EXPECT_EQ(HistoryErrorOf(newer), THistoryError::NewerVersion);
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
