#include "history/sqlite.h"

#include "history/history_store.h"

namespace velmora::history {

TSqlDatabase::~TSqlDatabase() {
    Close();
}

TResult<> TSqlDatabase::Open(const std::string& path) {
    Close();
    const int rc = sqlite3_open_v2(
        path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
        nullptr);
    if (rc != SQLITE_OK) {
        TFailure f = LastFailure(path);
        f.Code = rc & 0xff;
        Close();
        return f;
    }
    // Another program holding the file briefly must not fail a write at once.
    sqlite3_busy_timeout(db_, 3000);
    return {};
}

void TSqlDatabase::Close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

TFailure TSqlDatabase::LastFailure(std::string_view what) const {
    std::string text = db_ ? sqlite3_errmsg(db_) : "out of memory";
    const int code = db_ ? (sqlite3_errcode(db_) & 0xff) : 0;
    const THistoryError kind =
        code == SQLITE_NOTADB || code == SQLITE_CORRUPT ? THistoryError::Damaged
        : code == SQLITE_BUSY || code == SQLITE_LOCKED  ? THistoryError::Busy
                                                        : THistoryError::Other;
    return HistoryFailure(kind, std::string(what) + ": " + text, code);
}

TResult<> TSqlDatabase::Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        return LastFailure("SQLite");
    return {};
}

TResult<int64_t> TSqlDatabase::QueryInt(const char* sql) {
    TSqlStatement st(*this, sql);
    if (!st.Prepared()) return LastFailure("SQLite");
    if (!st.Step()) return st.Failed() ? LastFailure("SQLite") : TResult<int64_t>(int64_t{0});
    return st.Int(0);
}

TSqlStatement::TSqlStatement(TSqlDatabase& db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db.Handle(), sql, -1, &stmt_, nullptr) != SQLITE_OK) {
        stmt_ = nullptr;
        failed_ = true;
    }
}

TSqlStatement::~TSqlStatement() {
    sqlite3_finalize(stmt_);
}

TSqlStatement& TSqlStatement::Bind(int i, int64_t v) {
    sqlite3_bind_int64(stmt_, i, v);
    return *this;
}

TSqlStatement& TSqlStatement::Bind(int i, std::string_view v) {
    sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
}

TSqlStatement& TSqlStatement::Bind(int i, std::optional<double> v) {
    if (v)
        sqlite3_bind_double(stmt_, i, *v);
    else
        sqlite3_bind_null(stmt_, i);
    return *this;
}

bool TSqlStatement::Step() {
    if (!stmt_) return false;
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) failed_ = true;
    return false;
}

TResult<> TSqlStatement::Run() {
    if (!stmt_) return db_.LastFailure("SQLite");
    Step();
    TResult<> r;
    if (failed_) r = db_.LastFailure("SQLite");
    Reset();
    return r;
}

void TSqlStatement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    failed_ = stmt_ == nullptr;
}

bool TSqlStatement::IsNull(int col) const {
    return sqlite3_column_type(stmt_, col) == SQLITE_NULL;
}

int64_t TSqlStatement::Int(int col) const {
    return sqlite3_column_int64(stmt_, col);
}

double TSqlStatement::Real(int col) const {
    return sqlite3_column_double(stmt_, col);
}

std::string_view TSqlStatement::Text(int col) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    if (!p) return {};
    return {p, static_cast<size_t>(sqlite3_column_bytes(stmt_, col))};
}

TSqlTransaction::TSqlTransaction(TSqlDatabase& db) : db_(db), begun_(db.Exec("BEGIN IMMEDIATE")) {}

TSqlTransaction::~TSqlTransaction() {
    if (begun_ && !done_) (void)db_.Exec("ROLLBACK");
}

TResult<> TSqlTransaction::Commit() {
    if (!begun_) return begun_;
    TResult<> r = db_.Exec("COMMIT");
    done_ = r.Ok();
    return r;
}

}  // namespace velmora::history
