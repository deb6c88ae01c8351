// The run history in a PostgreSQL database shared by a team: the same tables as the SQLite
// file, runs of several machines side by side, the schema made and migrated once under an
// advisory lock.
#pragma once

#include <mutex>
#include <span>
#include <string>
#include <unordered_map>

#include "history/history_store.h"
#include "history/pg.h"
#include "history/result_codec.h"

namespace velmora::history {

// The first database schema matched the SQLite file's version 3 and was numbered 1; from
// version 4 on both number their schemas alike.
inline constexpr int kPgSchemaVersion = 4;

class TPgHistory final : public IHistoryStore {
  public:
    // Connects (any libpq URI: the password from ~/.pgpass or PGPASSWORD) and brings the schema
    // up to date unless forReading.
    static TResult<std::unique_ptr<TPgHistory>> Open(const std::string& uri, bool forReading);

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
    TPgHistory() = default;
    TResult<> Migrate(bool forReading);
    TResult<> MigrateRowsToV4();
    TResult<> AdviceTextIds(const std::vector<TStoredResult>& batch);
    // One multi-row upsert of the tasks' results.
    TResult<> InsertResults(int64_t runId, std::span<const TStoredResult> tasks,
                            const TAdviceTextId& adviceId);
    TResult<> LoadAdviceTexts();
    TResult<TLoadedRun> LoadRunLocked(int64_t runId, bool withAdvice);
    TResult<> DeleteRunLocked(int64_t runId);

    std::mutex FMutex;  // one operation at a time: the writer thread and the front end share it
    TPgConnection FDb;
    // Advice texts by their key (title, description, audit joined by NUL) and by id.
    std::unordered_map<std::string, int64_t> FAdviceIds;
    std::unordered_map<int64_t, TAdviceText> FAdviceTexts;
};

}  // namespace velmora::history
