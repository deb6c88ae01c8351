#include "app/run_comparison.h"

namespace velmora::app {

TRunComparison::TRunComparison(const TURLTaskInfoList& shown, TURLTaskInfoList older,
                               history::TRunRecord olderRun, history::TRunRecord newerRun,
                               char decimalSep)
    : FShown(shown),
      FOlder(std::move(older)),
      FOlderRun(std::move(olderRun)),
      FNewerRun(std::move(newerRun)),
      FDecimalSep(decimalSep),
      FOlderOf(shown.Count(), nullptr) {
    for (const history::TComparedUrl& row : history::PairRuns(FOlder, FShown)) {
        if (row.Newer)
            FOlderOf[static_cast<size_t>(row.Newer->Num - 1)] = row.Older;
        else  // a task of FOlder, which this object owns and may hand out mutable
            FOlderOnly.push_back(const_cast<TURLTaskInfo*>(row.Older));
    }
}

bool TRunComparison::InNewer(const TURLTaskInfo* row) const {
    const auto i = static_cast<size_t>(row->Num - 1);
    return row->Num >= 1 && i < FShown.Count() && &FShown[i] == row;
}

history::TPresence TRunComparison::PresenceOf(const TURLTaskInfo* row) const {
    if (!InNewer(row)) return history::TPresence::prOnlyOlder;
    return OlderOf(row) ? history::TPresence::prBoth : history::TPresence::prOnlyNewer;
}

const TURLTaskInfo* TRunComparison::OlderOf(const TURLTaskInfo* row) const {
    if (!InNewer(row)) return nullptr;
    const auto i = static_cast<size_t>(row->Num - 1);
    return i < FOlderOf.size() ? FOlderOf[i] : nullptr;
}

}  // namespace velmora::app
