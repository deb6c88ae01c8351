// What both stores share: their common failures, the choice of the run to resume, and which
// store a history location names.
#include "history/history_store.h"

#include "base/translate.h"
#include "history/pg_history.h"
#include "history/run_owner.h"

namespace velmora::history {

TFailure NoSuchRunFailure(int64_t runId) {
    return HistoryFailure(THistoryError::NoSuchRun,
                          FormatLog(Tr("нет запуска %s"), {std::to_string(runId)}));
}

TFailure InUseFailure(int64_t runId, const std::string& owner) {
    return HistoryFailure(
        THistoryError::InUse,
        FormatLog(Tr("запуск %s ещё идёт в другом процессе (%s); его можно продолжить, когда тот "
                     "закончится или прервётся"),
                  {std::to_string(runId), OwnerText(owner)}));
}

TFailure NewerVersionFailure(int64_t schemaVersion) {
    return HistoryFailure(THistoryError::NewerVersion,
                          FormatLog(Tr("история записана более новой версией Velmora (схема %s)"),
                                    {std::to_string(schemaVersion)}));
}

TFailure UnavailableFailure(const TFailure& why) {
    return TFailure{
        FormatLog(Tr("История проверок недоступна, результаты не сохраняются: %s"), 0, why.Message),
        why.Code, why.Kind};
}

TResult<std::optional<int64_t>> PickResumable(const std::vector<TRunClaim>& newestFirst) {
    const std::string me = ThisProcessOwner(), machine = ThisMachine();
    std::optional<TFailure> going;
    for (const TRunClaim& run : newestFirst) {
        // Another machine's runs are its own to resume.
        if (!run.Machine.empty() && run.Machine != machine) continue;
        if (run.Owner != me && OwnerAlive(run.Owner)) {
            if (!going) going = InUseFailure(run.Id, run.Owner);
            continue;
        }
        if (!Resumable(run.State)) break;
        return std::optional<int64_t>(run.Id);
    }
    if (going) return *going;
    return std::optional<int64_t>();
}

bool IsPostgresUri(const std::string& location) {
    return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

TResult<TOpenedHistory> OpenHistory(const std::string& location, bool forReading) {
    if (!IsPostgresUri(location)) return OpenSqliteHistory(location, forReading);
    TResult<std::unique_ptr<TPgHistory>> opened = TPgHistory::Open(location, forReading);
    if (!opened) return UnavailableFailure(opened.Failure());
    TOpenedHistory out;
    out.Store = std::move(*opened);
    // A server restarted or a network gone for a while: the run goes on, its results wait.
    out.Patience.GiveUpAfter = std::chrono::minutes(10);
    return out;
}

}  // namespace velmora::history
