// The columns of a result grid, in display and export order.
#pragma once

#include "engine/metrica.h"

namespace velmora {

// One column per catalogue row after the score, which has its own column.
inline constexpr int kMetricColumnCount = static_cast<int>(MetricaTable.size()) - 1;
// The score and the six lab timings lead the catalogue (rows 0..6): the numbers a run is
// judged and compared by.
inline constexpr int kScoreAndTimings = 7;
inline constexpr int kLabTimings = kScoreAndTimings - 1;

// Plain enum so a column index from the toolkit compares without casts. New columns go
// between gcMetricEnd and gcCount, so the metric columns keep their numbers.
enum TGridColumn : int {
    gcNumber = 0,  // "№"
    gcURL,
    gcError,
    gcScore,
    gcInfo,  // the advice icon; never sorted
    gcFirstMetric,
    gcMetricEnd = gcFirstMetric + kMetricColumnCount,  // one past the last metric column
    // Real users' data of the same answer (see TFieldData).
    gcCwv = gcMetricEnd,
    gcLcpP75,
    gcInpP75,
    gcClsP75,
    gcField,
    // The columns every run has, in export order; the other categories' scores follow them.
    gcCount,
    gcAccessibility = gcCount,
    gcBestPractices,
    gcSeo,
    gcAgenticBrowsing,
    gcColumnEnd,  // one past the last column of all
};

constexpr bool IsMetricColumn(int col) {
    return col >= gcFirstMetric && col < gcMetricEnd;
}

// The score's column or one of the six lab timings' (gcFirstMetric onwards).
constexpr bool IsScoreOrTimingColumn(int col) {
    return col == gcScore || (col >= gcFirstMetric && col < gcFirstMetric + kLabTimings);
}

constexpr bool IsFieldColumn(int col) {
    return col >= gcCwv && col < gcCount;
}

// The scores of the categories other than performance, in CategoryTable's order.
constexpr bool IsCategoryColumn(int col) {
    return col >= gcAccessibility && col < gcColumnEnd;
}
constexpr int CategoryColumn(TCategory c) {
    return c == ctPerformance ? gcScore : gcAccessibility + (c - ctAccessibility);
}
constexpr TCategory ColumnCategory(int col) {
    return IsCategoryColumn(col) ? static_cast<TCategory>(ctAccessibility + (col - gcAccessibility))
                                 : ctPerformance;
}
// A score column of any category: same colours and numeric order.
constexpr bool IsCategoryScoreColumn(int col) {
    return col == gcScore || IsCategoryColumn(col);
}

}  // namespace velmora
