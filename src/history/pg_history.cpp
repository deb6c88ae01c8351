#include "history/pg_history.h"

#include <algorithm>
#include <ctime>
#include <span>

#include "base/translate.h"
#include "history/run_owner.h"
#include "history/run_recorder.h"
#include "history/schema_v4.h"

namespace velmora::history {
namespace {

// The same tables as the SQLite file's; advice texts are unique by a digest of their long
// texts, which a b-tree index could not hold whole.
constexpr const char* kPgSchemaV1 = R"(
CREATE TABLE runs(
  id BIGSERIAL PRIMARY KEY,
  started BIGINT NOT NULL,
  finished BIGINT,
  state INTEGER NOT NULL,
  lang TEXT NOT NULL,
  settings TEXT NOT NULL,
  url_count INTEGER NOT NULL,
  checked INTEGER NOT NULL DEFAULT 0,
  mean_desktop DOUBLE PRECISION,
  mean_mobile DOUBLE PRECISION,
  owner TEXT NOT NULL DEFAULT '',
  machine TEXT NOT NULL DEFAULT '',
  user_name TEXT NOT NULL DEFAULT '',
  name TEXT NOT NULL DEFAULT '',
  note TEXT NOT NULL DEFAULT '');
CREATE TABLE run_urls(
  run_id BIGINT NOT NULL,
  num INTEGER NOT NULL,
  url TEXT NOT NULL,
  PRIMARY KEY(run_id, num));
CREATE INDEX run_urls_by_url ON run_urls(url);
CREATE TABLE advice_texts(
  id BIGSERIAL PRIMARY KEY,
  title TEXT NOT NULL,
  descr TEXT NOT NULL,
  audit TEXT NOT NULL DEFAULT '');
CREATE UNIQUE INDEX advice_texts_key ON advice_texts(md5(title), md5(descr), audit);
CREATE TABLE results(
  run_id BIGINT NOT NULL,
  num INTEGER NOT NULL,
  strategy SMALLINT NOT NULL,
  status INTEGER NOT NULL,
  error_code INTEGER NOT NULL,
  score DOUBLE PRECISION, fcp DOUBLE PRECISION, si DOUBLE PRECISION, lcp DOUBLE PRECISION,
  tti DOUBLE PRECISION, tbt DOUBLE PRECISION, cls DOUBLE PRECISION,
  texts TEXT NOT NULL,
  advice TEXT NOT NULL,
  finished_at BIGINT NOT NULL,
  http_status INTEGER NOT NULL DEFAULT 0,
  retries INTEGER NOT NULL DEFAULT 0,
  error_msg TEXT NOT NULL DEFAULT '',
  field TEXT NOT NULL DEFAULT '',
  PRIMARY KEY(run_id, num, strategy));
)";

// The advisory lock key of schema changes: "VLMR", as the SQLite files' application id.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(1447841106)";

constexpr const char* kRunColumns =
    "id, started, finished, state, lang, settings, machine, user_name, name, note, "
    "strategies, categories, locale, source, page_groups";
constexpr int kRunColumnCount = 15;

TRunRecord ReadRun(const TPgResult& r, int row) {
    TRunRecord run;
    run.Id = r.Int(row, 0);
    run.Started = r.Int(row, 1);
    if (!r.IsNull(row, 2)) run.Finished = r.Int(row, 2);
    run.State = static_cast<TRunState>(r.Int(row, 3));
    run.Lang = std::string(r.Text(row, 4));
    run.Settings = std::string(r.Text(row, 5));
    run.Machine = std::string(r.Text(row, 6));
    run.User = std::string(r.Text(row, 7));
    run.Name = std::string(r.Text(row, 8));
    run.Note = std::string(r.Text(row, 9));
    run.Params.Strategies = ParseStrategies(r.Text(row, 10)).value_or(kBothStrategies);
    run.Params.Categories = ParseCategories(r.Text(row, 11)).value_or(kPerformanceOnly);
    run.Params.Locale = std::string(r.Text(row, 12));
    run.Params.Source = std::string(r.Text(row, 13));
    run.Params.Groups = std::string(r.Text(row, 14));
    return run;
}

std::optional<std::string> PgNumber(const std::optional<double>& n) {
    return n ? std::optional<std::string>(PgReal(*n)) : std::nullopt;
}

std::string Id(int64_t v) {
    return std::to_string(v);
}

// A text[] literal: every element quoted, quotes and backslashes escaped.
std::string TextArray(const std::vector<std::string_view>& items) {
    std::string out = "{";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out.push_back(',');
        out.push_back('"');
        for (char c : items[i]) {
            if (c == '"' || c == '\\') out.push_back('\\');
            out.push_back(c);
        }
        out.push_back('"');
    }
    out.push_back('}');
    return out;
}

std::string AdviceKey(std::string_view title, std::string_view descr, std::string_view audit) {
    std::string key;
    key.reserve(title.size() + descr.size() + audit.size() + 2);
    key.append(title).append(1, '\0').append(descr).append(1, '\0').append(audit);
    return key;
}

}  // namespace

TResult<std::unique_ptr<TPgHistory>> TPgHistory::Open(const std::string& uri, bool forReading) {
    std::unique_ptr<TPgHistory> h(new TPgHistory);
    if (TResult<> r = h->FDb.Open(uri); !r) return r.Failure();
    if (TResult<> r = h->Migrate(forReading); !r) return r.Failure();
    return h;
}

TResult<> TPgHistory::Migrate(bool forReading) {
    if (forReading) {
        TResult<TPgResult> v = FDb.Exec("SELECT version FROM velmora_schema");
        if (!v) return Fail(Tr("в этой базе данных нет истории проверок Velmora"));
        if (v->Rows() == 1 && v->Int(0, 0) > kPgSchemaVersion)
            return NewerVersionFailure(v->Int(0, 0));
        // An earlier version's tables are brought up to date once, as a check would.
        if (v->Rows() == 1 && v->Int(0, 0) == kPgSchemaVersion) return {};
    }
    // Machines starting together: one makes the schema, the others wait on the lock.
    TPgTransaction tx(FDb);
    if (!tx.Begun()) return tx.Begun();
    if (TResult<> r = FDb.Run(kSchemaLock); !r) return r;
    if (TResult<> r =
            FDb.Run("CREATE TABLE IF NOT EXISTS velmora_schema(version INTEGER NOT NULL)");
        !r)
        return r;
    TResult<TPgResult> v = FDb.Exec("SELECT version FROM velmora_schema");
    if (!v) return v.Failure();
    const int64_t version = v->Rows() ? v->Int(0, 0) : 0;
    if (version > kPgSchemaVersion) return NewerVersionFailure(version);
    if (version == kPgSchemaVersion) return tx.Commit();
    if (version < 1) {
        if (TResult<> r = FDb.Run(kPgSchemaV1); !r) return r;
    }
    if (version < 4) {
        if (TResult<> r = FDb.Run(SchemaV4Statements(kPgDialect)); !r) return r;
        if (TResult<> r = MigrateRowsToV4(); !r) return r;
    }
    if (TResult<> r = FDb.Run("DELETE FROM velmora_schema; INSERT INTO velmora_schema VALUES(" +
                              Id(kPgSchemaVersion) + ")");
        !r)
        return r;
    return tx.Commit();
}

TResult<> TPgHistory::MigrateRowsToV4() {
    std::string set = "UPDATE results SET ";
    int p = 1;
    for (size_t c = kScoreAndTimings; c < kNumberColumns.size(); ++c)
        set.append(kNumberColumns[c].Column).append(" = $").append(Id(p++)).append(", ");
    for (std::string_view c : kFieldColumns) set.append(c).append(" = $").append(Id(p++)) += ", ";
    set.resize(set.size() - 2);
    set +=
        " WHERE run_id = $" + Id(p) + " AND num = $" + Id(p + 1) + " AND strategy = $" + Id(p + 2);
    TResult<TPgResult> rows = FDb.Exec("SELECT run_id, num, strategy, texts, field FROM results");
    if (!rows) return rows.Failure();
    std::unordered_map<int64_t, TCategorySet> asked;
    for (int i = 0; i < rows->Rows(); ++i) {
        const TV4Row row = V4RowOf(rows->Text(i, 3), rows->Text(i, 4));
        TPgParams params;
        for (size_t c = kScoreAndTimings; c < kNumberColumns.size(); ++c)
            params.push_back(PgNumber(row.Numbers[c]));
        for (const std::optional<double>& f : row.Field) params.push_back(PgNumber(f));
        params.insert(params.end(), {std::string(rows->Text(i, 0)), std::string(rows->Text(i, 1)),
                                     std::string(rows->Text(i, 2))});
        if (TResult<TPgResult> r = FDb.Exec(set, params); !r) return r.Failure();
        asked[rows->Int(i, 0)] |= StoredCategories(rows->Text(i, 3));
    }
    TResult<TPgResult> runs = FDb.Exec("SELECT id, settings FROM runs");
    if (!runs) return runs.Failure();
    for (int i = 0; i < runs->Rows(); ++i) {
        const TRunParams rp = V4ParamsOf(std::string(runs->Text(i, 1)), asked[runs->Int(i, 0)]);
        if (TResult<TPgResult> r = FDb.Exec(
                "UPDATE runs SET strategies = $1, categories = $2, locale = $3, source = $4, "
                "page_groups = $5 WHERE id = $6",
                {std::string(StrategiesText(rp.Strategies)), CategoriesText(rp.Categories),
                 rp.Locale, rp.Source, rp.Groups, Id(runs->Int(i, 0))});
            !r)
            return r.Failure();
    }
    return {};
}

TResult<> TPgHistory::BeginRun(TRunRecord& run, const std::vector<std::string>& urls) {
    std::lock_guard lock(FMutex);
    TPgTransaction tx(FDb);
    if (!tx.Begun()) return tx.Begun();
    if (run.Started == 0) run.Started = static_cast<int64_t>(std::time(nullptr));
    run.Machine = ThisMachine();
    run.User = ThisUser();
    run.Params = RunParamsOf(run.Settings);
    TResult<TPgResult> ins = FDb.Exec(
        "INSERT INTO runs(started, state, lang, settings, url_count, owner, machine, user_name, "
        "strategies, categories, locale, source, page_groups) "
        "VALUES($1, 0, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12) RETURNING id",
        {Id(run.Started), run.Lang, run.Settings, Id(static_cast<int64_t>(urls.size())),
         ThisProcessOwner(), run.Machine, run.User,
         std::string(StrategiesText(run.Params.Strategies)), CategoriesText(run.Params.Categories),
         run.Params.Locale, run.Params.Source, run.Params.Groups});
    if (!ins) return ins.Failure();
    run.Id = ins->Int(0, 0);
    run.State = TRunState::rsUnfinished;
    run.Finished.reset();
    const std::vector<std::string_view> views(urls.begin(), urls.end());
    if (TResult<TPgResult> r =
            FDb.Exec("INSERT INTO run_urls(run_id, num, url) "
                     "SELECT $1, ord, u FROM unnest($2::text[]) WITH ORDINALITY AS t(u, ord)",
                     {Id(run.Id), TextArray(views)});
        !r)
        return r.Failure();
    return tx.Commit();
}

TResult<> TPgHistory::ReopenRun(int64_t runId) {
    std::lock_guard lock(FMutex);
    TPgTransaction tx(FDb);
    if (!tx.Begun()) return tx.Begun();
    TResult<TPgResult> owner =
        FDb.Exec("SELECT owner FROM runs WHERE id = $1 FOR UPDATE", {Id(runId)});
    if (!owner) return owner.Failure();
    if (owner->Rows() == 0) return NoSuchRunFailure(runId);
    const std::string me = ThisProcessOwner(), current(owner->Text(0, 0));
    if (current != me && OwnerAlive(current)) return InUseFailure(runId, current);
    if (TResult<TPgResult> r =
            FDb.Exec("UPDATE runs SET state = 0, finished = NULL, owner = $1 WHERE id = $2",
                     {me, Id(runId)});
        !r)
        return r.Failure();
    return tx.Commit();
}

TResult<> TPgHistory::AdviceTextIds(const std::vector<TStoredResult>& batch) {
    std::vector<std::string_view> titles, descrs, audits;
    std::unordered_map<std::string, bool> wanted;
    for (const TStoredResult& item : batch)
        for (TMetricaStrategy s : kStrategies)
            for (const TGAdvice& a : item.Results.AdviceList[s]) {
                std::string key = AdviceKey(a.Title.str(), a.Descr.str(), a.AuditId.str());
                if (FAdviceIds.count(key) || !wanted.emplace(std::move(key), true).second) continue;
                titles.push_back(a.Title.str());
                descrs.push_back(a.Descr.str());
                audits.push_back(a.AuditId.str());
            }
    if (titles.empty()) return {};
    const TPgParams arrays{TextArray(titles), TextArray(descrs), TextArray(audits)};
    if (TResult<TPgResult> r = FDb.Exec(
            "INSERT INTO advice_texts(title, descr, audit) "
            "SELECT * FROM unnest($1::text[], $2::text[], $3::text[]) ON CONFLICT DO NOTHING",
            arrays);
        !r)
        return r.Failure();
    TResult<TPgResult> ids = FDb.Exec(
        "SELECT a.id, a.title, a.descr, a.audit FROM advice_texts a JOIN "
        "unnest($1::text[], $2::text[], $3::text[]) AS t(title, descr, audit) "
        "ON md5(a.title) = md5(t.title) AND md5(a.descr) = md5(t.descr) AND a.audit = t.audit "
        "AND a.title = t.title AND a.descr = t.descr",
        arrays);
    if (!ids) return ids.Failure();
    for (int i = 0; i < ids->Rows(); ++i)
        FAdviceIds[AdviceKey(ids->Text(i, 1), ids->Text(i, 2), ids->Text(i, 3))] = ids->Int(i, 0);
    return {};
}

TResult<> TPgHistory::InsertResults(int64_t runId, std::span<const TStoredResult> tasks,
                                    const TAdviceTextId& adviceId) {
    const std::string numbers = NumberColumnList() + ", " + FieldColumnList();
    std::string sql =
        "INSERT INTO results(run_id, num, strategy, status, error_code, texts, advice, "
        "finished_at, http_status, retries, error_msg, field, service_code, service_text, " +
        numbers + ") VALUES ";
    const size_t perRow = 14 + kNumberColumns.size() + kFieldColumns.size();
    TPgParams params;
    params.reserve(tasks.size() * 2 * perRow);
    for (const TStoredResult& item : tasks) {
        for (TMetricaStrategy s : kStrategies) {
            const TEncodedStrategy e = EncodeStrategy(item.Results, s, adviceId);
            sql += params.empty() ? "(" : ",(";
            for (size_t p = 1; p <= perRow; ++p) {
                sql.push_back('$');
                sql += std::to_string(params.size() + p);
                sql.push_back(p < perRow ? ',' : ')');
            }
            params.insert(
                params.end(),
                {Id(runId), Id(item.Num), Id(s), Id(static_cast<int64_t>(e.Status)),
                 Id(e.ErrorCode), e.Texts, e.Advice, Id(item.FinishedAt), Id(e.HttpStatus),
                 Id(e.Retries), e.ErrorMessage, e.Field, e.ServiceCode, e.ServiceText});
            for (const std::optional<double>& n : e.Numbers) params.push_back(PgNumber(n));
            for (const std::optional<double>& f : FieldNumbers(item.Results.FieldData[s]))
                params.push_back(PgNumber(f));
        }
    }
    // A task written again (a re-check, or a batch retried after a lost answer) replaces its row.
    sql += " ON CONFLICT (run_id, num, strategy) DO UPDATE SET ";
    for (std::string_view column :
         {"status", "error_code", "texts", "advice", "finished_at", "http_status", "retries",
          "error_msg", "field", "service_code", "service_text"})
        sql.append(column).append(" = EXCLUDED.").append(column).append(", ");
    for (const TNumberColumn& c : kNumberColumns)
        sql.append(c.Column).append(" = EXCLUDED.").append(c.Column).append(", ");
    for (std::string_view c : kFieldColumns) sql.append(c).append(" = EXCLUDED.").append(c) += ", ";
    sql.resize(sql.size() - 2);
    if (TResult<TPgResult> r = FDb.Exec(sql, params); !r) return r.Failure();
    return {};
}

TResult<> TPgHistory::WriteResults(int64_t runId, const std::vector<TStoredResult>& batch) {
    // A statement takes at most 65 535 parameters; a batch that queued up while the server was
    // away can be far larger.
    constexpr size_t kTasksPerStatement = 250;
    std::lock_guard lock(FMutex);
    TPgTransaction tx(FDb);
    if (!tx.Begun()) return tx.Begun();
    TResult<> written = AdviceTextIds(batch);
    bool missing = false;
    auto adviceId = [&](const TGAdvice& a) -> int64_t {
        auto it = FAdviceIds.find(AdviceKey(a.Title.str(), a.Descr.str(), a.AuditId.str()));
        if (it == FAdviceIds.end()) missing = true;
        return it == FAdviceIds.end() ? 0 : it->second;
    };
    const std::span<const TStoredResult> all(batch);
    for (size_t at = 0; written && at < all.size(); at += kTasksPerStatement)
        written = InsertResults(
            runId, all.subspan(at, std::min(kTasksPerStatement, all.size() - at)), adviceId);
    if (written && missing) written = Fail("PostgreSQL: an advice text was not stored");
    if (written) written = tx.Commit();
    // A rolled-back batch may have taken advice ids that no longer exist.
    if (!written) FAdviceIds.clear();
    return written;
}

TResult<> TPgHistory::FinishRun(int64_t runId, TRunState state) {
    std::lock_guard lock(FMutex);
    TResult<TPgResult> r = FDb.Exec(
        "UPDATE runs SET state = $1, finished = $2, owner = '', "
        "checked = (SELECT count(*) FROM results WHERE run_id = $3 AND strategy = 0), "
        "mean_desktop = (SELECT avg(score) FROM results WHERE run_id = $3 AND strategy = 0), "
        "mean_mobile = (SELECT avg(score) FROM results WHERE run_id = $3 AND strategy = 1) "
        "WHERE id = $3",
        {Id(static_cast<int64_t>(state)), Id(static_cast<int64_t>(std::time(nullptr))), Id(runId)});
    if (!r) return r.Failure();
    return {};
}

TResult<std::vector<TRunSummary>> TPgHistory::ListRuns() {
    std::lock_guard lock(FMutex);
    TResult<TPgResult> r =
        FDb.Exec(std::string("SELECT ") + kRunColumns +
                 ", url_count, "
                 " CASE WHEN finished IS NULL THEN (SELECT count(*) FROM results "
                 "   WHERE run_id = runs.id AND strategy = 0) ELSE checked END, "
                 " CASE WHEN finished IS NULL THEN (SELECT avg(score) FROM results "
                 "   WHERE run_id = runs.id AND strategy = 0) ELSE mean_desktop END, "
                 " CASE WHEN finished IS NULL THEN (SELECT avg(score) FROM results "
                 "   WHERE run_id = runs.id AND strategy = 1) ELSE mean_mobile END "
                 "FROM runs ORDER BY id DESC");
    if (!r) return r.Failure();
    std::vector<TRunSummary> runs;
    for (int i = 0; i < r->Rows(); ++i) {
        TRunSummary s;
        s.Run = ReadRun(*r, i);
        constexpr int n = kRunColumnCount;
        s.UrlCount = static_cast<int32_t>(r->Int(i, n));
        s.CheckedCount = static_cast<int32_t>(r->Int(i, n + 1));
        if (!r->IsNull(i, n + 2)) s.MeanScore[msDesktop] = r->Real(i, n + 2);
        if (!r->IsNull(i, n + 3)) s.MeanScore[msMobile] = r->Real(i, n + 3);
        runs.push_back(std::move(s));
    }
    return runs;
}

TResult<std::optional<int64_t>> TPgHistory::LastResumableRun() {
    std::lock_guard lock(FMutex);
    TResult<TPgResult> r = FDb.Exec("SELECT id, state, owner, machine FROM runs ORDER BY id DESC");
    if (!r) return r.Failure();
    std::vector<TRunClaim> runs;
    for (int i = 0; i < r->Rows(); ++i)
        runs.push_back({r->Int(i, 0), static_cast<TRunState>(r->Int(i, 1)),
                        std::string(r->Text(i, 2)), std::string(r->Text(i, 3))});
    return PickResumable(runs);
}

TResult<TLoadedRun> TPgHistory::LoadRun(int64_t runId) {
    std::lock_guard lock(FMutex);
    return LoadRunLocked(runId, true);
}

TResult<TLoadedRun> TPgHistory::LoadRunForCompare(int64_t runId) {
    std::lock_guard lock(FMutex);
    return LoadRunLocked(runId, false);
}

TResult<TLoadedRun> TPgHistory::LoadRunLocked(int64_t runId, bool withAdvice) {
    constexpr int kFirstNumber = 11;
    constexpr int kAdviceColumn = kFirstNumber + static_cast<int>(kNumberColumns.size());
    TResult<TPgResult> run =
        FDb.Exec(std::string("SELECT ") + kRunColumns + " FROM runs WHERE id = $1", {Id(runId)});
    if (!run) return run.Failure();
    if (run->Rows() == 0) return NoSuchRunFailure(runId);
    TLoadedRun loaded{ReadRun(*run, 0), {}};
    TResult<TPgResult> urls =
        FDb.Exec("SELECT url FROM run_urls WHERE run_id = $1 ORDER BY num", {Id(runId)});
    if (!urls) return urls.Failure();
    for (int i = 0; i < urls->Rows(); ++i) loaded.List.Add(std::string(urls->Text(i, 0)));
    TResult<TPgResult> res = FDb.Exec(
        "SELECT num, strategy, status, error_code, http_status, retries, error_msg, texts, field, "
        "service_code, service_text, " +
            NumberColumnList() + (withAdvice ? ", advice" : "") +
            " FROM results WHERE run_id = $1 ORDER BY num, strategy",
        {Id(runId)});
    if (!res) return res.Failure();
    TAdviceTextById adviceText;
    if (withAdvice) {
        // The texts this run uses and this connection has not seen: one round trip.
        std::vector<int64_t> ids;
        for (int i = 0; i < res->Rows(); ++i) AppendAdviceTextIds(res->Text(i, kAdviceColumn), ids);
        std::string wanted = "{";
        for (int64_t id : ids)
            if (!FAdviceTexts.count(id)) {
                if (wanted.size() > 1) wanted.push_back(',');
                wanted += Id(id);
            }
        if (wanted.size() > 1) {
            TResult<TPgResult> t = FDb.Exec(
                "SELECT id, title, descr, audit FROM advice_texts WHERE id = ANY($1::bigint[])",
                {wanted + "}"});
            if (!t) return t.Failure();
            for (int i = 0; i < t->Rows(); ++i)
                FAdviceTexts[t->Int(i, 0)] = {TInternedText(t->Text(i, 1)),
                                              TInternedText(t->Text(i, 2)),
                                              TInternedText(t->Text(i, 3))};
        }
        adviceText = [this](int64_t id) {
            auto it = FAdviceTexts.find(id);
            return it == FAdviceTexts.end() ? TAdviceText{} : it->second;
        };
    }
    for (int i = 0; i < res->Rows(); ++i) {
        TURLTaskInfo* task = loaded.List.FindByNum(static_cast<int32_t>(res->Int(i, 0)));
        if (!task) continue;
        if (!task->TaskResults) task->InitMetricResults();
        const auto s = res->Int(i, 1) == msMobile ? msMobile : msDesktop;
        TStoredStrategy row;
        row.Status = static_cast<TTaskResult>(res->Int(i, 2));
        row.ErrorCode = static_cast<int32_t>(res->Int(i, 3));
        row.HttpStatus = static_cast<int32_t>(res->Int(i, 4));
        row.Retries = static_cast<int32_t>(res->Int(i, 5));
        row.ErrorMessage = res->Text(i, 6);
        row.Texts = res->Text(i, 7);
        row.Field = res->Text(i, 8);
        row.ServiceCode = res->Text(i, 9);
        row.ServiceText = res->Text(i, 10);
        for (size_t c = 0; c < kNumberColumns.size(); ++c)
            if (const int col = kFirstNumber + static_cast<int>(c); !res->IsNull(i, col))
                row.Numbers[c] = res->Real(i, col);
        if (withAdvice) row.Advice = res->Text(i, kAdviceColumn);
        DecodeStrategy(s, row, adviceText, *task->TaskResults);
    }
    ApplyRunStrategies(loaded);
    return loaded;
}

TResult<> TPgHistory::DeleteRunLocked(int64_t runId) {
    for (const char* sql :
         {"DELETE FROM results WHERE run_id = $1", "DELETE FROM run_urls WHERE run_id = $1"})
        if (TResult<TPgResult> r = FDb.Exec(sql, {Id(runId)}); !r) return r.Failure();
    TResult<TPgResult> r = FDb.Exec("DELETE FROM runs WHERE id = $1 RETURNING id", {Id(runId)});
    if (!r) return r.Failure();
    if (r->Rows() == 0) return NoSuchRunFailure(runId);
    return {};
}

TResult<> TPgHistory::DeleteRun(int64_t runId) {
    std::lock_guard lock(FMutex);
    TPgTransaction tx(FDb);
    if (!tx.Begun()) return tx.Begun();
    if (TResult<> r = DeleteRunLocked(runId); !r) return r;
    return tx.Commit();
}

TResult<> TPgHistory::NameRun(int64_t runId, const std::string& name, const std::string& note) {
    std::lock_guard lock(FMutex);
    TResult<TPgResult> r = FDb.Exec(
        "UPDATE runs SET name = $1, note = $2 WHERE id = $3 RETURNING id", {name, note, Id(runId)});
    if (!r) return r.Failure();
    if (r->Rows() == 0) return NoSuchRunFailure(runId);
    return {};
}

TResult<int> TPgHistory::KeepNewest(int keep) {
    if (keep <= 0) return 0;
    std::lock_guard lock(FMutex);
    TResult<TPgResult> r =
        FDb.Exec("SELECT id, owner FROM runs ORDER BY id DESC OFFSET $1", {Id(keep)});
    if (!r) return r.Failure();
    std::vector<int64_t> old;
    // A run another process records stays, however old.
    for (int i = 0; i < r->Rows(); ++i)
        if (!OwnerAlive(std::string(r->Text(i, 1)))) old.push_back(r->Int(i, 0));
    if (old.empty()) return 0;
    TPgTransaction tx(FDb);
    if (!tx.Begun()) return tx.Begun().Failure();
    for (int64_t id : old)
        if (TResult<> d = DeleteRunLocked(id); !d) return d.Failure();
    if (TResult<> c = tx.Commit(); !c) return c.Failure();
    return static_cast<int>(old.size());
}

TResult<std::vector<IHistoryStore::TScorePoint>> TPgHistory::ScoreTrend(const std::string& url) {
    std::lock_guard lock(FMutex);
    TResult<TPgResult> r = FDb.Exec(
        "SELECT r.id, r.started, d.score, d.texts, m.score, m.texts "
        "FROM run_urls u JOIN runs r ON r.id = u.run_id "
        "LEFT JOIN results d ON d.run_id = u.run_id AND d.num = u.num AND d.strategy = 0 "
        "LEFT JOIN results m ON m.run_id = u.run_id AND m.num = u.num AND m.strategy = 1 "
        "WHERE u.url = $1 ORDER BY r.id",
        {url});
    if (!r) return r.Failure();
    std::vector<TScorePoint> points;
    for (int i = 0; i < r->Rows(); ++i) {
        TScorePoint p;
        p.RunId = r->Int(i, 0);
        p.Started = r->Int(i, 1);
        for (TMetricaStrategy s : kStrategies) {
            const int col = 2 + 2 * s;
            if (!r->IsNull(i, col)) p.Score[s] = r->Real(i, col);
            if (!r->IsNull(i, col + 1))
                p.CategoryScore[s] = StoredCategoryScores(r->Text(i, col + 1));
        }
        points.push_back(p);
    }
    return points;
}

}  // namespace velmora::history
