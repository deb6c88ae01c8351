// Two runs side by side: which URLs they share and how each score and metric changed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/tasks.h"

namespace velmora::history {

enum class TPresence : uint8_t { prBoth, prOnlyOlder, prOnlyNewer };

struct TComparedUrl {
    std::string_view Url;
    const TURLTaskInfo* Older = nullptr;  // null when the URL is only in the newer run
    const TURLTaskInfo* Newer = nullptr;  // null when only in the older run
    TPresence Presence() const {
        return !Older ? TPresence::prOnlyNewer
                      : (!Newer ? TPresence::prOnlyOlder : TPresence::prBoth);
    }
};

// The newer run's URLs in its order, then those only the older run has, in its order. URLs
// match exactly. The rows point into both lists, which must outlive them.
std::vector<TComparedUrl> PairRuns(const TURLTaskInfoList& older, const TURLTaskInfoList& newer);

// The change from one cell text to another, with its sign and the cells' unit: "+12",
// "-0.4 s", "+120 ms", "+0.012"; "0" (with the unit) when equal; empty when either is not a
// number. The precision is the finer of the two texts'; decimalSep writes the fraction.
std::string FormatChange(std::string_view older, std::string_view newer, char decimalSep);

// The grid columns two runs are compared in: the scores and the six lab metrics.
constexpr bool IsComparedColumn(int col) {
    return IsScoreOrTimingColumn(col) || IsCategoryColumn(col);
}

// The columns a comparison's CSV lists: the score, the six lab timings and the real users'
// p75 values, then the scores of the other categories either run asked for.
std::vector<int> ComparedCsvColumns(TCategorySet asked = kPerformanceOnly);

// The signed change from one cell text to another, in the units ParseGridNumber reads (seconds
// as milliseconds), so changes of one column sort by size; none when either is not a number.
std::optional<double> ChangeValue(std::string_view older, std::string_view newer);

enum class TChangeVerdict : uint8_t { cvNone, cvSame, cvBetter, cvWorse };

// Whether a change of column col is for the better: a higher score, a lower time or layout
// shift. cvSame when FormatChange would write "0"; cvNone when the column is not compared or
// either text is not a number.
TChangeVerdict ChangeVerdictOf(int col, std::string_view older, std::string_view newer);

}  // namespace velmora::history
