// The run history in one SQLite file (WAL, synchronous=NORMAL, schema version in user_version).
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>

#include "history/history_store.h"
#include "history/result_codec.h"
#include "history/sqlite.h"

namespace velmora::history {

inline constexpr int kSchemaVersion = 4;

class TSqliteHistory final : public IHistoryStore {
  public:
    // Opens the file and brings its schema up to date. Code() of a failure is SQLite's primary
    // result code (SQLITE_NOTADB / SQLITE_CORRUPT for a damaged file).
    static TResult<std::unique_ptr<TSqliteHistory>> Open(const std::string& path);
    // Opens an up-to-date history read-only, changing nothing, also in a read-only folder.
    static TResult<std::unique_ptr<TSqliteHistory>> OpenForReading(const std::string& path);
    // SQLite's application_id of our files: "VLMR".
    static constexpr int64_t kApplicationId = 0x564C4D52;

    TResult<> BeginRun(TRunRecord& run, const std::vector<std::string>& urls) override;
    TResult<> ReopenRun(int64_t runId) override;
    TResult<> WriteResults(int64_t runId, const std::vector<TStoredResult>& batch) override;
    TResult<> FinishRun(int64_t runId, TRunState state) override;
    TResult<std::vector<TRunSummary>> ListRuns() override;
    TResult<std::optional<int64_t>> LastResumableRun() override;
    TResult<TLoadedRun> LoadRun(int64_t runId) override;
    TResult<TLoadedRun> LoadRunForCompare(int64_t runId) override;
    TResult<> DeleteRun(int64_t runId) override;
    TResult<> NameRun(int64_t runId, const std::string& name, const std::string& note) override;
    TResult<int> KeepNewest(int keep) override;
    TResult<std::vector<TScorePoint>> ScoreTrend(const std::string& url) override;

  private:
    TSqliteHistory() = default;
    // The file's schema version; NewerVersion when a newer program wrote it.
    TResult<int64_t> SchemaVersion();
    // The file's schema version; fails unless the file is ours or new.
    TResult<int64_t> CheckOwnFile(const std::string& path);
    // Brings a file of seenVersion up to date.
    TResult<> Migrate(int64_t seenVersion);
    // Fills version 4's columns of the rows a version 3 file kept.
    TResult<> MigrateRowsToV4();
    TResult<> UpdateSummary(int64_t runId);
    TResult<int64_t> AdviceTextId(const TGAdvice& advice);
    TResult<TLoadedRun> LoadRunLocked(int64_t runId, bool withAdvice);
    TResult<> DeleteRunLocked(int64_t runId);

    std::mutex FMutex;  // one operation at a time: the writer thread and the front end share it
    TSqlDatabase FDb;
    // Distinct advice texts seen by this connection: most batches then never look them up.
    std::unordered_map<std::string, int64_t> FAdviceIds;
};

}  // namespace velmora::history
