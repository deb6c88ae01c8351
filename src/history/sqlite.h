// A thin RAII layer over the SQLite C interface: a connection and prepared statements.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace velmora::history {

class TSqlStatement;

class TSqlDatabase {
  public:
    TSqlDatabase() = default;
    ~TSqlDatabase();
    TSqlDatabase(const TSqlDatabase&) = delete;
    TSqlDatabase& operator=(const TSqlDatabase&) = delete;

    enum class TOpenMode {
        ReadWrite,  // creates a missing file
        ReadOnly,
        // Read-only where SQLite cannot keep its shared-memory file beside the database (a
        // read-only folder): nothing can write the file there, so it is read as it stands.
        Immutable,
    };
    // Opens (or creates) the file. The result's Code() is SQLite's primary result code.
    TResult<> Open(const std::string& path, TOpenMode mode = TOpenMode::ReadWrite);
    void Close();
    bool IsOpen() const { return FDb != nullptr; }
    sqlite3* Handle() const { return FDb; }

    // Runs one or more statements without results.
    TResult<> Exec(const char* sql);
    // The first column of the first row as an integer (e.g. a PRAGMA); Code() as for Open.
    TResult<int64_t> QueryInt(const char* sql);
    TFailure LastFailure(std::string_view what) const;

  private:
    sqlite3* FDb = nullptr;
};

class TSqlStatement {
  public:
    TSqlStatement(TSqlDatabase& db, const char* sql);
    ~TSqlStatement();
    TSqlStatement(const TSqlStatement&) = delete;
    TSqlStatement& operator=(const TSqlStatement&) = delete;

    bool Prepared() const { return FStmt != nullptr; }
    // Parameters count from 1, as in SQLite.
    TSqlStatement& Bind(int i, int64_t v);
    TSqlStatement& Bind(int i, std::string_view v);
    TSqlStatement& Bind(int i, std::optional<double> v);
    // True while a row is there; false at the end or on failure (then Failed() is set).
    bool Step();
    bool Failed() const { return FFailed; }
    // Step for statements without rows; resets for the next use.
    TResult<> Run();
    void Reset();

    bool IsNull(int col) const;
    int64_t Int(int col) const;
    double Real(int col) const;
    std::string_view Text(int col) const;

  private:
    TSqlDatabase& FDb;
    sqlite3_stmt* FStmt = nullptr;
    bool FFailed = false;
};

// BEGIN IMMEDIATE .. COMMIT; rolls back unless Commit() succeeded.
class TSqlTransaction {
  public:
    explicit TSqlTransaction(TSqlDatabase& db);
    ~TSqlTransaction();
    TResult<> Begun() const { return FBegun; }
    TResult<> Commit();

  private:
    TSqlDatabase& FDb;
    TResult<> FBegun;
    bool FDone = false;
};

}  // namespace velmora::history
