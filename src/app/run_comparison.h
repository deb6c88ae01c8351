// Two kept runs side by side: the newer one is the master list the grids show, the older one
// is held here, and each shown row knows its counterpart.
#pragma once

#include <vector>

#include "engine/tasks.h"
#include "history/history_store.h"
#include "history/run_compare.h"

namespace velmora::app {

class TRunComparison {
  public:
    // shown holds the newer run and must outlive the comparison; older is taken over.
    // decimalSep writes the fractions of the changes, as the cells write theirs.
    TRunComparison(const TURLTaskInfoList& shown, TURLTaskInfoList older,
                   history::TRunRecord olderRun, history::TRunRecord newerRun, char decimalSep);

    const history::TRunRecord& OlderRun() const { return FOlderRun; }
    const history::TRunRecord& NewerRun() const { return FNewerRun; }
    char DecimalSeparator() const { return FDecimalSep; }
    const TURLTaskInfoList& Older() const { return FOlder; }

    // Whether row is a task of the shown (newer) run rather than one only the older run has.
    bool InNewer(const TURLTaskInfo* row) const;
    history::TPresence PresenceOf(const TURLTaskInfo* row) const;
    // The older run's task for a row of the newer run, or null when the URL is new.
    const TURLTaskInfo* OlderOf(const TURLTaskInfo* row) const;
    // The rows only the older run has, in its order; the grids list them after the others.
    const std::vector<TURLTaskInfo*>& OlderOnly() const { return FOlderOnly; }

  private:
    const TURLTaskInfoList& FShown;
    TURLTaskInfoList FOlder;
    history::TRunRecord FOlderRun, FNewerRun;
    char FDecimalSep;
    std::vector<const TURLTaskInfo*> FOlderOf;  // by the shown task's Num - 1
    std::vector<TURLTaskInfo*> FOlderOnly;
};

}  // namespace velmora::app
