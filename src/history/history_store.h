// The run history: every run's URL list and each finished task's results, kept as they arrive
// so that a run survives the program and can be resumed, listed, compared and exported again.
// Front ends talk to IHistoryStore only, so another database could stand behind it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "engine/tasks.h"

namespace velmora::history {

// How a run ended. The numbers are stored.
enum class TRunState : uint8_t {
    rsUnfinished = 0,  // still running, or the program died during it
    rsCompleted = 1,
    rsAborted = 2,
    rsQuota = 3,  // ended with answers refused for the daily quota
};

// Every state but rsCompleted leaves URLs to check; such a run can be resumed.
constexpr bool Resumable(TRunState s) {
    return s != TRunState::rsCompleted;
}

// What went wrong, for callers that act on it rather than only show the message.
enum class THistoryError : int {
    Other = 0,
    NoSuchRun,     // no run with that id
    Damaged,       // the file is not a readable history
    Busy,          // it cannot take this now (held by another program, a full disk, a lost
                   // connection to the server): waiting may mend it
    NewerVersion,  // written by a newer Velmora
    NotAHistory,   // a file of something else: never opened for writing, moved or replaced
    InUse,         // another live process records the run
    OlderVersion,  // written by an earlier Velmora: opening it for a check migrates it
};

// Message pattern of NotAHistory; %s is the file's path.
inline constexpr const char* kMsgNotAHistory = "%s — не история проверок Velmora; файл не изменён";

inline TFailure HistoryFailure(THistoryError kind, std::string message, int code = 0) {
    return TFailure{std::move(message), code, static_cast<int>(kind)};
}

template <typename T>
THistoryError HistoryErrorOf(const TResult<T>& r) {
    return static_cast<THistoryError>(r.Kind());
}

// The parameters a run asked with, kept as columns of their own so that a team can query
// them; the settings text holds the same as "key=value" lines (RunParamsOf reads them).
struct TRunParams {
    TStrategySet Strategies = kBothStrategies;
    TCategorySet Categories = kPerformanceOnly;
    std::string Locale;  // the service's language for advice texts; empty: its own
    std::string Source;  // the URL file, sitemap or crawl start; empty when not known
    std::string Groups;  // the page group rules as the settings file writes them

    friend bool operator==(const TRunParams&, const TRunParams&) = default;
};
// The parameters a settings text names; defaults for the keys it lacks.
TRunParams RunParamsOf(const std::string& settings);

// The run's own facts; what its exports need beyond the results.
struct TRunRecord {
    int64_t Id = 0;
    int64_t Started = 0;              // Unix seconds
    std::optional<int64_t> Finished;  // Unix seconds; none while unfinished
    TRunState State = TRunState::rsUnfinished;
    std::string Lang;      // interface language of the run: its CSV headers and code page
    std::string Settings;  // "key=value" lines of the parameters used
    std::string Machine;   // where it ran and who ran it; empty in files of earlier versions
    std::string User;
    std::string Name;  // the user's own words for it, both empty until given
    std::string Note;
    TRunParams Params;  // read from Settings when the run begins
};

// A run as it was kept: its facts and its URL list with the results as they were merged.
struct TLoadedRun {
    TRunRecord Run;
    TURLTaskInfoList List;
};

struct TRunSummary {
    TRunRecord Run;
    int32_t UrlCount = 0;
    int32_t CheckedCount = 0;                        // URLs with results
    std::array<std::optional<double>, 2> MeanScore;  // per strategy, over the scored URLs
};

// One merged task as it goes to the store: both strategies' results.
struct TStoredResult {
    int32_t Num = 0;
    TURLTaskResults Results;
    int64_t FinishedAt = 0;  // Unix seconds
};

class IHistoryStore {
  public:
    virtual ~IHistoryStore() = default;

    // A new unfinished run with its URL list in order (Num = position + 1), owned by this
    // process until it is finished. Sets run.Id.
    virtual TResult<> BeginRun(TRunRecord& run, const std::vector<std::string>& urls) = 0;
    // Marks a resumed run unfinished again and takes it for this process; InUse while another
    // live process records it.
    virtual TResult<> ReopenRun(int64_t runId) = 0;
    // Writes a batch in one transaction; a task written again replaces its earlier results.
    virtual TResult<> WriteResults(int64_t runId, const std::vector<TStoredResult>& batch) = 0;
    // Records the end and lets go of the run.
    virtual TResult<> FinishRun(int64_t runId, TRunState state) = 0;

    // Newest first.
    virtual TResult<std::vector<TRunSummary>> ListRuns() = 0;
    // The newest run that no other live process records, when it is resumable; InUse when
    // there is none but a run still going.
    virtual TResult<std::optional<int64_t>> LastResumableRun() = 0;
    // The run with its URL list and its results as they were merged; NoSuchRun when there is
    // none.
    virtual TResult<TLoadedRun> LoadRun(int64_t runId) = 0;
    // LoadRun without the advice: the URL list and, per result, status, error, cell texts and
    // real users' data, which is all that comparing two runs shows. Several times faster than
    // LoadRun on large runs; the tasks' advice lists stay empty. A store without a faster way
    // loads the whole run.
    virtual TResult<TLoadedRun> LoadRunForCompare(int64_t runId) { return LoadRun(runId); }
    // NoSuchRun when there is no such run.
    virtual TResult<> DeleteRun(int64_t runId) = 0;
    // Gives the run a name and a note (empty: none); NoSuchRun when there is no such run.
    virtual TResult<> NameRun(int64_t runId, const std::string& name, const std::string& note) = 0;
    // Deletes all but the newest keep runs (keep 0: none), never one that another live process
    // records; returns how many went.
    virtual TResult<int> KeepNewest(int keep) = 0;
    // One URL's score per run, oldest first: the trend of that URL.
    struct TScorePoint {
        int64_t RunId = 0;
        int64_t Started = 0;
        std::array<std::optional<double>, 2> Score;  // performance, by strategy
        // The other categories' scores by strategy and category, where the run asked for them.
        std::array<std::array<std::optional<double>, CategoryTable.size()>, 2> CategoryScore{};

        std::optional<double> ScoreOf(TMetricaStrategy s, TCategory c) const {
            return c == ctPerformance ? Score[s] : CategoryScore[s][c];
        }
    };
    virtual TResult<std::vector<TScorePoint>> ScoreTrend(const std::string& url) = 0;
};

// Failures both stores give.
TFailure NoSuchRunFailure(int64_t runId);
TFailure InUseFailure(int64_t runId, const std::string& owner);
TFailure NewerVersionFailure(int64_t schemaVersion);
// Why the history cannot be used, said as a history that keeps nothing of this run.
TFailure UnavailableFailure(const TFailure& why);

// What a store knows of a run to choose the one to resume.
struct TRunClaim {
    int64_t Id = 0;
    TRunState State = TRunState::rsUnfinished;
    std::string Owner;
    std::string Machine;
};
// Of runs newest first: the newest run of this machine (or of no recorded machine) that no
// other live process records, if it is resumable; InUse when only runs still going are left.
TResult<std::optional<int64_t>> PickResumable(const std::vector<TRunClaim>& newestFirst);

// How long a failing write is tried again before recording gives up. Another program may
// hold the file for a while (a backup, a second Velmora's long transaction): meanwhile the
// results wait in memory.
struct TWritePatience {
    std::chrono::milliseconds GiveUpAfter{std::chrono::minutes(2)};
    std::chrono::milliseconds FirstPause{250};  // doubled after each failure
    std::chrono::milliseconds LongestPause{5000};
};

// A store that could be opened, and the one notice the user should see about opening it
// (e.g. that a damaged file was put aside), or empty.
struct TOpenedHistory {
    std::unique_ptr<IHistoryStore> Store;
    std::string Notice;
    // How long refused writes are waited out: a server may be restarted or the network may
    // come back, a local file is locked for seconds.
    TWritePatience Patience;
};

// Opens (creating when missing, with its folder) the SQLite history at path. A damaged file is
// renamed aside and a new one started (the notice says where the old one went); a file that
// cannot be opened at all (locked, unwritable, from a newer version) fails with a message.
// A file that is not recognisably a history (no SQLite header, or another program's database)
// fails with NotAHistory and is left as it is. forReading: the file is opened read-only (in a
// read-only folder too) and never created, moved aside or converted; a missing, damaged or
// older file fails with a message.
TResult<TOpenedHistory> OpenSqliteHistory(const std::string& path, bool forReading = false);

// Whether a history location names a PostgreSQL database rather than a file.
bool IsPostgresUri(const std::string& location);

// The history at location: a PostgreSQL database for a "postgresql://" (or "postgres://")
// URI, else the SQLite file as OpenSqliteHistory opens it.
TResult<TOpenedHistory> OpenHistory(const std::string& location, bool forReading = false);

// "$XDG_DATA_HOME/Velmora/history.sqlite", XDG_DATA_HOME defaulting to "~/.local/share".
std::string DefaultHistoryPath();

}  // namespace velmora::history
