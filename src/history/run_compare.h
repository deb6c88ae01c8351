// Two runs side by side: which URLs they share and how each score and metric changed.
#pragma once

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

}  // namespace velmora::history
