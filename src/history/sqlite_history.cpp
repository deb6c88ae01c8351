#include "history/sqlite_history.h"

#include <ctime>

#include "base/translate.h"
#include "history/run_owner.h"
#include "history/run_recorder.h"
#include "history/schema_v4.h"

namespace velmora::history {
namespace {

// Version 1. Results are one row per URL and strategy, keyed by (run, URL number, strategy)
// without a rowid; advice titles and descriptions, which repeat across URLs and runs, are
// stored once in advice_texts and referenced from the results' advice field.
constexpr const char* kSchemaV1 = R"(
CREATE TABLE runs(
  id INTEGER PRIMARY KEY,
  started INTEGER NOT NULL,
  finished INTEGER,
  state INTEGER NOT NULL,
  lang TEXT NOT NULL,
  settings TEXT NOT NULL,
  url_count INTEGER NOT NULL,
  checked INTEGER NOT NULL DEFAULT 0,
  mean_desktop REAL,
  mean_mobile REAL);
CREATE TABLE run_urls(
  run_id INTEGER NOT NULL,
  num INTEGER NOT NULL,
  url TEXT NOT NULL,
  PRIMARY KEY(run_id, num)) WITHOUT ROWID;
CREATE INDEX run_urls_by_url ON run_urls(url);
CREATE TABLE advice_texts(
  id INTEGER PRIMARY KEY,
  title TEXT NOT NULL,
  descr TEXT NOT NULL,
  UNIQUE(title, descr));
CREATE TABLE results(
  run_id INTEGER NOT NULL,
  num INTEGER NOT NULL,
  strategy INTEGER NOT NULL,
  status INTEGER NOT NULL,
  error_code INTEGER NOT NULL,
  score REAL, fcp REAL, si REAL, lcp REAL, tti REAL, tbt REAL, cls REAL,
  texts TEXT NOT NULL,
  advice TEXT NOT NULL,
  finished_at INTEGER NOT NULL,
  PRIMARY KEY(run_id, num, strategy)) WITHOUT ROWID;
)";

// Version 2: the request outcome and the real users' data of each result; advice texts carry
// the audit they come from, and the same texts of another audit are a text of their own.
constexpr const char* kMigrationV2 = R"(
ALTER TABLE results ADD COLUMN http_status INTEGER NOT NULL DEFAULT 0;
ALTER TABLE results ADD COLUMN retries INTEGER NOT NULL DEFAULT 0;
ALTER TABLE results ADD COLUMN error_msg TEXT NOT NULL DEFAULT '';
ALTER TABLE results ADD COLUMN field TEXT NOT NULL DEFAULT '';
CREATE TABLE advice_texts_v2(
  id INTEGER PRIMARY KEY,
  title TEXT NOT NULL,
  descr TEXT NOT NULL,
  audit TEXT NOT NULL DEFAULT '',
  UNIQUE(title, descr, audit));
INSERT INTO advice_texts_v2(id, title, descr) SELECT id, title, descr FROM advice_texts;
DROP TABLE advice_texts;
ALTER TABLE advice_texts_v2 RENAME TO advice_texts;
)";

// Version 3: the process recording a run, so that a resume never joins a run still going, the
// machine and user that made it, and the user's name and note for it.
constexpr const char* kMigrationV3 = R"(
ALTER TABLE runs ADD COLUMN owner TEXT NOT NULL DEFAULT '';
ALTER TABLE runs ADD COLUMN machine TEXT NOT NULL DEFAULT '';
ALTER TABLE runs ADD COLUMN user_name TEXT NOT NULL DEFAULT '';
ALTER TABLE runs ADD COLUMN name TEXT NOT NULL DEFAULT '';
ALTER TABLE runs ADD COLUMN note TEXT NOT NULL DEFAULT '';
)";

int64_t Now() {
    return static_cast<int64_t>(std::time(nullptr));
}

TRunRecord ReadRun(const TSqlStatement& st, int first) {
    TRunRecord r;
    r.Id = st.Int(first);
    r.Started = st.Int(first + 1);
    if (!st.IsNull(first + 2)) r.Finished = st.Int(first + 2);
    r.State = static_cast<TRunState>(st.Int(first + 3));
    r.Lang = std::string(st.Text(first + 4));
    r.Settings = std::string(st.Text(first + 5));
    r.Machine = std::string(st.Text(first + 6));
    r.User = std::string(st.Text(first + 7));
    r.Name = std::string(st.Text(first + 8));
    r.Note = std::string(st.Text(first + 9));
    r.Params.Strategies = ParseStrategies(st.Text(first + 10)).value_or(kBothStrategies);
    r.Params.Categories = ParseCategories(st.Text(first + 11)).value_or(kPerformanceOnly);
    r.Params.Locale = std::string(st.Text(first + 12));
    r.Params.Source = std::string(st.Text(first + 13));
    r.Params.Groups = std::string(st.Text(first + 14));
    return r;
}

constexpr const char* kRunColumns =
    "id, started, finished, state, lang, settings, machine, user_name, name, note, "
    "strategies, categories, locale, source, page_groups";
constexpr int kRunColumnCount = 15;

}  // namespace

TResult<std::unique_ptr<TSqliteHistory>> TSqliteHistory::OpenForReading(const std::string& path) {
    std::unique_ptr<TSqliteHistory> h(new TSqliteHistory);
    TResult<int64_t> version = Fail("");
    for (auto mode : {TSqlDatabase::TOpenMode::ReadOnly, TSqlDatabase::TOpenMode::Immutable}) {
        if (TResult<> r = h->FDb.Open(path, mode); !r) return r.Failure();
        version = h->CheckOwnFile(path);
        if (version || (version.Code() != SQLITE_CANTOPEN && version.Code() != SQLITE_READONLY))
            break;
    }
    if (!version) return version.Failure();
    // Reading never converts a file: one that needs migrating is read by a check first.
    if (*version < kSchemaVersion)
        return HistoryFailure(
            THistoryError::OlderVersion,
            FormatLog(Tr("история проверок записана прежней версией Velmora (схема %s); "
                         "её обновит следующая проверка"),
                      {std::to_string(*version)}));
    return h;
}

TResult<std::unique_ptr<TSqliteHistory>> TSqliteHistory::Open(const std::string& path) {
    std::unique_ptr<TSqliteHistory> h(new TSqliteHistory);
    if (TResult<> r = h->FDb.Open(path); !r) return r.Failure();
    // Read before anything is written or switched: a damaged file fails here, another
    // program's database and a newer Velmora's history are left exactly as they are.
    TResult<int64_t> version = h->CheckOwnFile(path);
    if (!version) return version.Failure();
    TResult<int64_t> wal = h->FDb.QueryInt("PRAGMA journal_mode=WAL");
    if (!wal) return wal.Failure();
    if (TResult<> r = h->FDb.Exec("PRAGMA synchronous=NORMAL"); !r) return r.Failure();
    if (TResult<> r = h->Migrate(*version); !r) return r.Failure();
    return h;
}

TResult<int64_t> TSqliteHistory::SchemaVersion() {
    TResult<int64_t> version = FDb.QueryInt("PRAGMA user_version");
    if (version && *version > kSchemaVersion) return NewerVersionFailure(*version);
    return version;
}

TResult<int64_t> TSqliteHistory::CheckOwnFile(const std::string& path) {
    TResult<int64_t> version = SchemaVersion();
    if (!version) return version.Failure();
    TResult<int64_t> appId = FDb.QueryInt("PRAGMA application_id");
    if (!appId) return appId.Failure();
    if (*appId == kApplicationId) return version;
    // Files made before the id was set are ours when they hold our tables only.
    TResult<int64_t> foreign = FDb.QueryInt(
        "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name NOT IN "
        "('runs', 'run_urls', 'advice_texts', 'results')");
    if (!foreign) return foreign.Failure();
    if (*appId == 0 && *foreign == 0) return version;
    return HistoryFailure(THistoryError::NotAHistory, FormatLog(Tr(kMsgNotAHistory), {path}));
}

TResult<> TSqliteHistory::Migrate(int64_t seenVersion) {
    if (seenVersion == kSchemaVersion) return {};
    TSqlTransaction tx(FDb);
    if (!tx.Begun()) return tx.Begun();
    // Another process may have made the schema while this one waited for the transaction.
    TResult<int64_t> version = SchemaVersion();
    if (!version) return version.Failure();
    if (*version == kSchemaVersion) return tx.Commit();
    // Each step takes the file from one version to the next; later versions append steps.
    if (*version < 1) {
        if (TResult<> r = FDb.Exec(kSchemaV1); !r) return r;
    }
    if (*version < 2) {
        if (TResult<> r = FDb.Exec(kMigrationV2); !r) return r;
    }
    if (*version < 3) {
        if (TResult<> r = FDb.Exec(kMigrationV3); !r) return r;
    }
    if (*version < 4) {
        if (TResult<> r = FDb.Exec(SchemaV4Statements(kSqliteDialect).c_str()); !r) return r;
        if (TResult<> r = MigrateRowsToV4(); !r) return r;
    }
    const std::string stamp = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                              "; PRAGMA user_version=" + std::to_string(kSchemaVersion);
    if (TResult<> r = FDb.Exec(stamp.c_str()); !r) return r;
    return tx.Commit();
}

TResult<> TSqliteHistory::MigrateRowsToV4() {
    std::string set = "UPDATE results SET ";
    for (size_t c = kScoreAndTimings; c < kNumberColumns.size(); ++c)
        set.append(kNumberColumns[c].Column).append(" = ?, ");
    for (std::string_view c : kFieldColumns) set.append(c).append(" = ?, ");
    set.resize(set.size() - 2);
    set += " WHERE run_id = ? AND num = ? AND strategy = ?";
    TSqlStatement update(FDb, set.c_str());
    TSqlStatement rows(FDb, "SELECT run_id, num, strategy, texts, field FROM results");
    std::unordered_map<int64_t, TCategorySet> asked;
    while (rows.Step()) {
        const TV4Row row = V4RowOf(rows.Text(3), rows.Text(4));
        int i = 1;
        for (size_t c = kScoreAndTimings; c < kNumberColumns.size(); ++c)
            update.Bind(i++, row.Numbers[c]);
        for (const std::optional<double>& f : row.Field) update.Bind(i++, f);
        update.Bind(i, rows.Int(0)).Bind(i + 1, rows.Int(1)).Bind(i + 2, rows.Int(2));
        if (TResult<> r = update.Run(); !r) return r;
        asked[rows.Int(0)] |= StoredCategories(rows.Text(3));
    }
    if (rows.Failed()) return FDb.LastFailure("SQLite");
    TSqlStatement runs(FDb, "SELECT id, settings FROM runs");
    TSqlStatement params(FDb,
                         "UPDATE runs SET strategies = ?, categories = ?, locale = ?, source = ?, "
                         "page_groups = ? WHERE id = ?");
    while (runs.Step()) {
        const TRunParams p = V4ParamsOf(std::string(runs.Text(1)), asked[runs.Int(0)]);
        params.Bind(1, StrategiesText(p.Strategies)).Bind(2, CategoriesText(p.Categories));
        params.Bind(3, p.Locale).Bind(4, p.Source).Bind(5, p.Groups).Bind(6, runs.Int(0));
        if (TResult<> r = params.Run(); !r) return r;
    }
    if (runs.Failed()) return FDb.LastFailure("SQLite");
    return {};
}

TResult<> TSqliteHistory::BeginRun(TRunRecord& run, const std::vector<std::string>& urls) {
    std::lock_guard lock(FMutex);
    TSqlTransaction tx(FDb);
    if (!tx.Begun()) return tx.Begun();
    TSqlStatement ins(FDb,
                      "INSERT INTO runs(started, state, lang, settings, url_count, owner, "
                      "machine, user_name, strategies, categories, locale, source, page_groups) "
                      "VALUES(?, 0, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    if (run.Started == 0) run.Started = Now();
    run.Machine = ThisMachine();
    run.User = ThisUser();
    run.Params = RunParamsOf(run.Settings);
    ins.Bind(1, run.Started).Bind(2, run.Lang).Bind(3, run.Settings);
    ins.Bind(4, static_cast<int64_t>(urls.size())).Bind(5, ThisProcessOwner());
    ins.Bind(6, run.Machine).Bind(7, run.User);
    ins.Bind(8, StrategiesText(run.Params.Strategies));
    ins.Bind(9, CategoriesText(run.Params.Categories)).Bind(10, run.Params.Locale);
    ins.Bind(11, run.Params.Source).Bind(12, run.Params.Groups);
    if (TResult<> r = ins.Run(); !r) return r;
    run.Id = sqlite3_last_insert_rowid(FDb.Handle());
    run.State = TRunState::rsUnfinished;
    run.Finished.reset();
    TSqlStatement url(FDb, "INSERT INTO run_urls(run_id, num, url) VALUES(?, ?, ?)");
    for (size_t i = 0; i < urls.size(); ++i) {
        url.Bind(1, run.Id).Bind(2, static_cast<int64_t>(i + 1)).Bind(3, urls[i]);
        if (TResult<> r = url.Run(); !r) return r;
    }
    return tx.Commit();
}

TResult<> TSqliteHistory::ReopenRun(int64_t runId) {
    std::lock_guard lock(FMutex);
    // Claimed in one transaction: two processes resuming together cannot both take the run.
    TSqlTransaction tx(FDb);
    if (!tx.Begun()) return tx.Begun();
    TSqlStatement owner(FDb, "SELECT owner FROM runs WHERE id = ?");
    owner.Bind(1, runId);
    if (!owner.Step()) {
        if (owner.Failed()) return FDb.LastFailure("SQLite");
        return NoSuchRunFailure(runId);
    }
    const std::string me = ThisProcessOwner(), current(owner.Text(0));
    if (current != me && OwnerAlive(current)) return InUseFailure(runId, current);
    TSqlStatement st(FDb, "UPDATE runs SET state = 0, finished = NULL, owner = ? WHERE id = ?");
    if (TResult<> r = st.Bind(1, me).Bind(2, runId).Run(); !r) return r;
    return tx.Commit();
}

TResult<int64_t> TSqliteHistory::AdviceTextId(const TGAdvice& a) {
    const std::string_view title = a.Title.str(), descr = a.Descr.str(), audit = a.AuditId.str();
    std::string key;
    key.reserve(title.size() + descr.size() + audit.size() + 2);
    key.append(title).append(1, '\0').append(descr).append(1, '\0').append(audit);
    if (auto it = FAdviceIds.find(key); it != FAdviceIds.end()) return it->second;
    TSqlStatement ins(FDb,
                      "INSERT OR IGNORE INTO advice_texts(title, descr, audit) VALUES(?, ?, ?)");
    if (TResult<> r = ins.Bind(1, title).Bind(2, descr).Bind(3, audit).Run(); !r)
        return r.Failure();
    TSqlStatement sel(FDb,
                      "SELECT id FROM advice_texts WHERE title = ? AND descr = ? AND audit = ?");
    sel.Bind(1, title).Bind(2, descr).Bind(3, audit);
    if (!sel.Step()) return FDb.LastFailure("SQLite");
    FAdviceIds.emplace(std::move(key), sel.Int(0));
    return sel.Int(0);
}

TResult<> TSqliteHistory::WriteResults(int64_t runId, const std::vector<TStoredResult>& batch) {
    std::lock_guard lock(FMutex);
    TSqlTransaction tx(FDb);
    if (!tx.Begun()) return tx.Begun();
    std::string sql =
        "INSERT OR REPLACE INTO results(run_id, num, strategy, status, error_code, texts, advice, "
        "finished_at, http_status, retries, error_msg, field, service_code, service_text, " +
        NumberColumnList() + ", " + FieldColumnList() + ") VALUES(?";
    for (size_t i = 1; i < 14 + kNumberColumns.size() + kFieldColumns.size(); ++i) sql += ", ?";
    TSqlStatement ins(FDb, (sql + ")").c_str());
    std::optional<TFailure> adviceFailure;  // the first advice text that could not be kept
    auto adviceId = [&](const TGAdvice& a) -> int64_t {
        TResult<int64_t> id = AdviceTextId(a);
        if (!id && !adviceFailure) adviceFailure = id.Failure();
        return id ? *id : 0;
    };
    for (const TStoredResult& item : batch) {
        for (TMetricaStrategy s : kStrategies) {
            const TEncodedStrategy e = EncodeStrategy(item.Results, s, adviceId);
            if (adviceFailure) return *adviceFailure;
            ins.Bind(1, runId).Bind(2, int64_t{item.Num}).Bind(3, int64_t{s});
            ins.Bind(4, static_cast<int64_t>(e.Status)).Bind(5, int64_t{e.ErrorCode});
            ins.Bind(6, e.Texts).Bind(7, e.Advice).Bind(8, item.FinishedAt);
            ins.Bind(9, int64_t{e.HttpStatus}).Bind(10, int64_t{e.Retries});
            ins.Bind(11, e.ErrorMessage).Bind(12, e.Field);
            ins.Bind(13, e.ServiceCode).Bind(14, e.ServiceText);
            int col = 15;
            for (const std::optional<double>& n : e.Numbers) ins.Bind(col++, n);
            for (const std::optional<double>& f : FieldNumbers(item.Results.FieldData[s]))
                ins.Bind(col++, f);
            if (TResult<> r = ins.Run(); !r) return r;
        }
    }
    TResult<> committed = tx.Commit();
    // A rolled-back batch may have taken advice ids that no longer exist.
    if (!committed) FAdviceIds.clear();
    return committed;
}

TResult<> TSqliteHistory::UpdateSummary(int64_t runId) {
    TSqlStatement st(FDb,
                     "UPDATE runs SET "
                     "checked = (SELECT count(*) FROM results WHERE run_id = ?1 AND strategy = 0), "
                     "mean_desktop = (SELECT avg(score) FROM results "
                     "  WHERE run_id = ?1 AND strategy = 0), "
                     "mean_mobile = (SELECT avg(score) FROM results "
                     "  WHERE run_id = ?1 AND strategy = 1) "
                     "WHERE id = ?1");
    return st.Bind(1, runId).Run();
}

TResult<> TSqliteHistory::FinishRun(int64_t runId, TRunState state) {
    std::lock_guard lock(FMutex);
    TSqlTransaction tx(FDb);
    if (!tx.Begun()) return tx.Begun();
    TSqlStatement st(FDb, "UPDATE runs SET state = ?, finished = ?, owner = '' WHERE id = ?");
    st.Bind(1, static_cast<int64_t>(state)).Bind(2, Now()).Bind(3, runId);
    if (TResult<> r = st.Run(); !r) return r;
    if (TResult<> r = UpdateSummary(runId); !r) return r;
    return tx.Commit();
}

TResult<std::vector<TRunSummary>> TSqliteHistory::ListRuns() {
    std::lock_guard lock(FMutex);
    // A finished run's figures were kept when it ended; an unfinished one's are counted now.
    TSqlStatement st(FDb, (std::string("SELECT ") + kRunColumns +
                           ", url_count, "
                           " CASE WHEN finished IS NULL THEN (SELECT count(*) FROM results "
                           "   WHERE run_id = runs.id AND strategy = 0) ELSE checked END, "
                           " CASE WHEN finished IS NULL THEN (SELECT avg(score) FROM results "
                           "   WHERE run_id = runs.id AND strategy = 0) ELSE mean_desktop END, "
                           " CASE WHEN finished IS NULL THEN (SELECT avg(score) FROM results "
                           "   WHERE run_id = runs.id AND strategy = 1) ELSE mean_mobile END "
                           "FROM runs ORDER BY id DESC")
                              .c_str());
    std::vector<TRunSummary> runs;
    while (st.Step()) {
        TRunSummary s;
        s.Run = ReadRun(st, 0);
        s.UrlCount = static_cast<int32_t>(st.Int(kRunColumnCount));
        s.CheckedCount = static_cast<int32_t>(st.Int(kRunColumnCount + 1));
        if (!st.IsNull(kRunColumnCount + 2)) s.MeanScore[msDesktop] = st.Real(kRunColumnCount + 2);
        if (!st.IsNull(kRunColumnCount + 3)) s.MeanScore[msMobile] = st.Real(kRunColumnCount + 3);
        runs.push_back(std::move(s));
    }
    if (st.Failed()) return FDb.LastFailure("SQLite");
    return runs;
}

TResult<std::optional<int64_t>> TSqliteHistory::LastResumableRun() {
    std::lock_guard lock(FMutex);
    TSqlStatement st(FDb, "SELECT id, state, owner, machine FROM runs ORDER BY id DESC");
    std::vector<TRunClaim> runs;
    while (st.Step())
        runs.push_back({st.Int(0), static_cast<TRunState>(st.Int(1)), std::string(st.Text(2)),
                        std::string(st.Text(3))});
    if (st.Failed()) return FDb.LastFailure("SQLite");
    return PickResumable(runs);
}

TResult<TLoadedRun> TSqliteHistory::LoadRun(int64_t runId) {
    std::lock_guard lock(FMutex);
    return LoadRunLocked(runId, true);
}

TResult<TLoadedRun> TSqliteHistory::LoadRunForCompare(int64_t runId) {
    std::lock_guard lock(FMutex);
    return LoadRunLocked(runId, false);
}

TResult<TLoadedRun> TSqliteHistory::LoadRunLocked(int64_t runId, bool withAdvice) {
    TSqlStatement run(FDb,
                      (std::string("SELECT ") + kRunColumns + " FROM runs WHERE id = ?").c_str());
    run.Bind(1, runId);
    if (!run.Step()) {
        if (run.Failed()) return FDb.LastFailure("SQLite");
        return NoSuchRunFailure(runId);
    }
    TLoadedRun loaded{ReadRun(run, 0), {}};
    TURLTaskInfoList& master = loaded.List;
    TSqlStatement urls(FDb, "SELECT url FROM run_urls WHERE run_id = ? ORDER BY num");
    urls.Bind(1, runId);
    while (urls.Step()) master.Add(std::string(urls.Text(0)));
    if (urls.Failed()) return FDb.LastFailure("SQLite");

    std::unordered_map<int64_t, TAdviceText> texts;
    TSqlStatement text(FDb, "SELECT title, descr, audit FROM advice_texts WHERE id = ?");
    TAdviceTextById adviceText;
    if (withAdvice) {
        adviceText = [&](int64_t id) {
            auto it = texts.find(id);
            if (it != texts.end()) return it->second;
            TAdviceText t;
            text.Bind(1, id);
            if (text.Step())
                t = {TInternedText(text.Text(0)), TInternedText(text.Text(1)),
                     TInternedText(text.Text(2))};
            text.Reset();
            return texts.emplace(id, std::move(t)).first->second;
        };
    }
    // Without advice the advice field is not even read out of the row.
    const std::string columns =
        "SELECT num, strategy, status, error_code, http_status, retries, "
        "error_msg, texts, field, service_code, service_text, " +
        NumberColumnList();
    constexpr int kFirstNumber = 11;
    const int adviceColumn = kFirstNumber + static_cast<int>(kNumberColumns.size());
    TSqlStatement res(FDb, (columns + (withAdvice ? ", advice" : "") +
                            " FROM results WHERE run_id = ? ORDER BY num, strategy")
                               .c_str());
    res.Bind(1, runId);
    while (res.Step()) {
        TURLTaskInfo* task = master.FindByNum(static_cast<int32_t>(res.Int(0)));
        if (!task) continue;
        if (!task->TaskResults) task->InitMetricResults();
        const auto s = res.Int(1) == msMobile ? msMobile : msDesktop;
        TStoredStrategy row;
        row.Status = static_cast<TTaskResult>(res.Int(2));
        row.ErrorCode = static_cast<int32_t>(res.Int(3));
        row.HttpStatus = static_cast<int32_t>(res.Int(4));
        row.Retries = static_cast<int32_t>(res.Int(5));
        row.ErrorMessage = res.Text(6);
        row.Texts = res.Text(7);
        row.Field = res.Text(8);
        row.ServiceCode = res.Text(9);
        row.ServiceText = res.Text(10);
        for (size_t c = 0; c < kNumberColumns.size(); ++c)
            if (const int col = kFirstNumber + static_cast<int>(c); !res.IsNull(col))
                row.Numbers[c] = res.Real(col);
        if (withAdvice) row.Advice = res.Text(adviceColumn);
        DecodeStrategy(s, row, adviceText, *task->TaskResults);
    }
    if (res.Failed()) return FDb.LastFailure("SQLite");
    ApplyRunStrategies(loaded);
    return loaded;
}

TResult<> TSqliteHistory::DeleteRunLocked(int64_t runId) {
    for (const char* sql :
         {"DELETE FROM results WHERE run_id = ?", "DELETE FROM run_urls WHERE run_id = ?",
          "DELETE FROM runs WHERE id = ?"}) {
        TSqlStatement st(FDb, sql);
        if (TResult<> r = st.Bind(1, runId).Run(); !r) return r;
    }
    return {};
}

TResult<> TSqliteHistory::DeleteRun(int64_t runId) {
    std::lock_guard lock(FMutex);
    TSqlTransaction tx(FDb);
    if (!tx.Begun()) return tx.Begun();
    if (TResult<> r = DeleteRunLocked(runId); !r) return r;
    if (sqlite3_changes(FDb.Handle()) == 0) return NoSuchRunFailure(runId);
    return tx.Commit();
}

TResult<> TSqliteHistory::NameRun(int64_t runId, const std::string& name, const std::string& note) {
    std::lock_guard lock(FMutex);
    TSqlStatement st(FDb, "UPDATE runs SET name = ?, note = ? WHERE id = ?");
    if (TResult<> r = st.Bind(1, name).Bind(2, note).Bind(3, runId).Run(); !r) return r;
    if (sqlite3_changes(FDb.Handle()) == 0) return NoSuchRunFailure(runId);
    return {};
}

TResult<int> TSqliteHistory::KeepNewest(int keep) {
    if (keep <= 0) return 0;
    std::lock_guard lock(FMutex);
    std::vector<int64_t> old;
    {
        TSqlStatement st(FDb, "SELECT id, owner FROM runs ORDER BY id DESC LIMIT -1 OFFSET ?");
        st.Bind(1, int64_t{keep});
        // A run another process is recording stays, however old.
        while (st.Step())
            if (!OwnerAlive(std::string(st.Text(1)))) old.push_back(st.Int(0));
        if (st.Failed()) return FDb.LastFailure("SQLite");
    }
    if (old.empty()) return 0;
    TSqlTransaction tx(FDb);
    if (!tx.Begun()) return tx.Begun().Failure();
    for (int64_t id : old) {
        if (TResult<> r = DeleteRunLocked(id); !r) return r.Failure();
    }
    if (TResult<> r = tx.Commit(); !r) return r.Failure();
    return static_cast<int>(old.size());
}

TResult<std::vector<IHistoryStore::TScorePoint>> TSqliteHistory::ScoreTrend(
    const std::string& url) {
    std::lock_guard lock(FMutex);
    TSqlStatement st(FDb,
                     "SELECT r.id, r.started, d.score, d.texts, m.score, m.texts "
                     "FROM run_urls u JOIN runs r ON r.id = u.run_id "
                     "LEFT JOIN results d ON d.run_id = u.run_id AND d.num = u.num "
                     " AND d.strategy = 0 "
                     "LEFT JOIN results m ON m.run_id = u.run_id AND m.num = u.num "
                     " AND m.strategy = 1 "
                     "WHERE u.url = ? ORDER BY r.id");
    st.Bind(1, url);
    std::vector<TScorePoint> points;
    while (st.Step()) {
        TScorePoint p;
        p.RunId = st.Int(0);
        p.Started = st.Int(1);
        for (TMetricaStrategy s : kStrategies) {
            const int col = 2 + 2 * s;
            if (!st.IsNull(col)) p.Score[s] = st.Real(col);
            if (!st.IsNull(col + 1)) p.CategoryScore[s] = StoredCategoryScores(st.Text(col + 1));
        }
        points.push_back(p);
    }
    if (st.Failed()) return FDb.LastFailure("SQLite");
    return points;
}

}  // namespace velmora::history
