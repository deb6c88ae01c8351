// Sums, medians and ranks shared by the parts of the site summary.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/grid_sort.h"
#include "engine/site_summary.h"

namespace velmora {

inline void AddGiven(std::vector<float>& figures, float v) {
    if (!std::isnan(v)) figures.push_back(v);
}

// The middle value, or the mean of the two middle ones; NaN for none. Reorders values.
template <typename T>
double Median(std::vector<T>& values) {
    if (values.empty()) return kNoFigure;
    const size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + mid, values.end());
    const double upper = values[mid];
    if (values.size() % 2) return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + mid);
    return (lower + upper) / 2;
}

inline TFigure FigureOf(std::vector<float>& values) {
    if (values.empty()) return {};
    double sum = 0;
    for (float v : values) sum += v;
    return {sum, Median(values)};
}

inline TSavingsRank RankOf(int32_t pages, double medianMs, double medianBytes) {
    if (!std::isnan(medianMs)) return {TSavingsRank::Time, pages * medianMs};
    if (!std::isnan(medianBytes)) return {TSavingsRank::Bytes, pages * medianBytes};
    return {TSavingsRank::Pages, double(pages)};
}

inline bool RankBefore(const TSavingsRank& a, const TSavingsRank& b) {
    if (a.By != b.By) return a.By < b.By;
    return a.Value > b.Value;
}

inline bool IsChecked(const TURLTaskInfo* task, TMetricaStrategy s) {
    return task && task->TaskResults && task->TaskResults->TaskResult[s] == trOK;
}

// The performance score 0-100; NaN when the answer had none. A run read from the history keeps
// the score's text only.
inline double PerformanceScore(const TURLTaskResults& r, TMetricaStrategy s) {
    const TMetricaValue* v = r.MetricaValues.GetValueByKey(MetricaTable[0].Key, s);
    if (!v) return kNoFigure;
    if (!std::isnan(v->Number)) return v->Number;
    return ParseGridNumber(v->DisplayText).value_or(kNoFigure);
}

}  // namespace velmora
