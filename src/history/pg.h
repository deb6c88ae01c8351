// Thin RAII over libpq for the PostgreSQL history: one connection, text parameters, results
// read as text. Failures carry a THistoryError: a lost or refused connection is Busy, which the
// writer waits out.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace velmora::history {

class TPgResult {
  public:
    explicit TPgResult(PGresult* r = nullptr) : FResult(r) {}
    ~TPgResult() { PQclear(FResult); }
    TPgResult(TPgResult&& other) noexcept : FResult(other.FResult) { other.FResult = nullptr; }
    TPgResult& operator=(TPgResult&& other) noexcept;
    TPgResult(const TPgResult&) = delete;
    TPgResult& operator=(const TPgResult&) = delete;

    int Rows() const { return PQntuples(FResult); }
    bool IsNull(int row, int col) const { return PQgetisnull(FResult, row, col) != 0; }
    std::string_view Text(int row, int col) const;
    int64_t Int(int row, int col) const;
    double Real(int row, int col) const;

  private:
    PGresult* FResult;
};

// Parameters in text form; nullopt is SQL NULL.
using TPgParams = std::vector<std::optional<std::string>>;

class TPgConnection {
  public:
    TPgConnection() = default;
    ~TPgConnection() { Close(); }
    TPgConnection(const TPgConnection&) = delete;
    TPgConnection& operator=(const TPgConnection&) = delete;

    TResult<> Open(const std::string& uri);
    void Close();
    // Runs one statement; a lost connection is reset first (and the statement fails once, as
    // the server may or may not have run it: callers write idempotently).
    TResult<TPgResult> Exec(const std::string& sql, const TPgParams& params = {});
    // Runs statements without parameters and results (a script, BEGIN, COMMIT).
    TResult<> Run(const std::string& sql);

  private:
    // Resets a lost connection.
    TResult<> Connected();
    // The session's settings, after each connection.
    TResult<> Configure();
    // The result, or its failure (the result then freed).
    TResult<TPgResult> Checked(PGresult* raw) const;
    TFailure Failure(const PGresult* r) const;
    PGconn* FConn = nullptr;
    std::string FUri;
};

// BEGIN .. COMMIT; rolls back unless Commit() succeeded.
class TPgTransaction {
  public:
    explicit TPgTransaction(TPgConnection& db) : FDb(db), FBegun(db.Run("BEGIN")) {}
    ~TPgTransaction();
    TResult<> Begun() const { return FBegun; }
    TResult<> Commit();

  private:
    TPgConnection& FDb;
    TResult<> FBegun;
    bool FDone = false;
};

// A double in the shortest text that reads back as the same number.
std::string PgReal(double v);

}  // namespace velmora::history
