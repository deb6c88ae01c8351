#include "history/sqlite.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "history/history_store.h"

namespace velmora::history {

TSqlDatabase::~TSqlDatabase() {
    Close();
}

TResult<> TSqlDatabase::Open(const std::string& path, TOpenMode mode) {
    Close();
    const int flags = mode == TOpenMode::ReadWrite
                          ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX
                          : SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX;
    std::string name = path;
    if (mode == TOpenMode::Immutable) {
        name = "file:";
        for (const unsigned char c : path) {
            // A URI: everything but unreserved characters and '/' is percent-encoded.
            if (std::isalnum(c) || std::strchr("/-._~", c)) {
                name.push_back(static_cast<char>(c));
            } else {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%%%02X", c);
                name.append(hex);
            }
        }
        name.append("?immutable=1");
    }
    const int rc = sqlite3_open_v2(name.c_str(), &FDb, flags, nullptr);
    if (rc != SQLITE_OK) {
        TFailure f = LastFailure(path);
        f.Code = rc & 0xff;
        Close();
        return f;
    }
    // Another program holding the file briefly must not fail a write at once.
    sqlite3_busy_timeout(FDb, 3000);
    return {};
}

void TSqlDatabase::Close() {
    if (FDb) sqlite3_close_v2(FDb);
    FDb = nullptr;
}

TFailure TSqlDatabase::LastFailure(std::string_view what) const {
    std::string text = FDb ? sqlite3_errmsg(FDb) : "out of memory";
    const int code = FDb ? (sqlite3_errcode(FDb) & 0xff) : 0;
    // A file held by another program, a full disk, a failing or read-only medium: waiting may
    // mend them. A statement the file cannot run (a schema that is not ours) it never will.
    const bool passing = code == SQLITE_BUSY || code == SQLITE_LOCKED || code == SQLITE_FULL ||
                         code == SQLITE_IOERR || code == SQLITE_READONLY ||
                         code == SQLITE_CANTOPEN || code == SQLITE_PROTOCOL;
    const THistoryError kind = code == SQLITE_NOTADB || code == SQLITE_CORRUPT
                                   ? THistoryError::Damaged
                               : passing ? THistoryError::Busy
                                         : THistoryError::Other;
    return HistoryFailure(kind, std::string(what) + ": " + text, code);
}

TResult<> TSqlDatabase::Exec(const char* sql) {
    if (sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        return LastFailure("SQLite");
    return {};
}

TResult<int64_t> TSqlDatabase::QueryInt(const char* sql) {
    TSqlStatement st(*this, sql);
    if (!st.Prepared()) return LastFailure("SQLite");
    if (!st.Step()) return st.Failed() ? LastFailure("SQLite") : TResult<int64_t>(int64_t{0});
    return st.Int(0);
}

TSqlStatement::TSqlStatement(TSqlDatabase& db, const char* sql) : FDb(db) {
    if (sqlite3_prepare_v2(db.Handle(), sql, -1, &FStmt, nullptr) != SQLITE_OK) {
        FStmt = nullptr;
        FFailed = true;
    }
}

TSqlStatement::~TSqlStatement() {
    sqlite3_finalize(FStmt);
}

TSqlStatement& TSqlStatement::Bind(int i, int64_t v) {
    sqlite3_bind_int64(FStmt, i, v);
    return *this;
}

TSqlStatement& TSqlStatement::Bind(int i, std::string_view v) {
    sqlite3_bind_text(FStmt, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
}

TSqlStatement& TSqlStatement::Bind(int i, std::optional<double> v) {
    if (v)
        sqlite3_bind_double(FStmt, i, *v);
    else
        sqlite3_bind_null(FStmt, i);
    return *this;
}

bool TSqlStatement::Step() {
    if (!FStmt) return false;
    const int rc = sqlite3_step(FStmt);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) FFailed = true;
    return false;
}

TResult<> TSqlStatement::Run() {
    if (!FStmt) return FDb.LastFailure("SQLite");
    Step();
    TResult<> r;
    if (FFailed) r = FDb.LastFailure("SQLite");
    Reset();
    return r;
}

void TSqlStatement::Reset() {
    sqlite3_reset(FStmt);
    sqlite3_clear_bindings(FStmt);
    FFailed = FStmt == nullptr;
}

bool TSqlStatement::IsNull(int col) const {
    return sqlite3_column_type(FStmt, col) == SQLITE_NULL;
}

int64_t TSqlStatement::Int(int col) const {
    return sqlite3_column_int64(FStmt, col);
}

double TSqlStatement::Real(int col) const {
    return sqlite3_column_double(FStmt, col);
}

std::string_view TSqlStatement::Text(int col) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(FStmt, col));
    if (!p) return {};
    return {p, static_cast<size_t>(sqlite3_column_bytes(FStmt, col))};
}

TSqlTransaction::TSqlTransaction(TSqlDatabase& db) : FDb(db), FBegun(db.Exec("BEGIN IMMEDIATE")) {}

TSqlTransaction::~TSqlTransaction() {
    if (FBegun && !FDone) (void)FDb.Exec("ROLLBACK");
}

TResult<> TSqlTransaction::Commit() {
    if (!FBegun) return FBegun;
    TResult<> r = FDb.Exec("COMMIT");
    FDone = r.Ok();
    return r;
}

}  // namespace velmora::history
