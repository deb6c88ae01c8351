#include "engine/field_data.h"

#include <cmath>

namespace velmora {

TFieldCategory FieldCategoryByBounds(TFieldMetric m, double p75) {
    const TFieldMetricInfo& info = FieldMetricTable[m];
    if (p75 <= info.Good) return fcFast;
    if (p75 <= info.Poor) return fcAverage;
    return fcSlow;
}

TCwvVerdict CwvVerdictOf(const TFieldData& data) {
    const TFieldMetricValue& lcp = data[fmLCP];
    const TFieldMetricValue& inp = data[fmINP];
    const TFieldMetricValue& cls = data[fmCLS];
    if (!lcp.Present || !cls.Present) return cvNone;
    const bool good = lcp.Category == fcFast && cls.Category == fcFast &&
                      (!inp.Present || inp.Category == fcFast);
    return good ? cvPassed : cvFailed;
}

namespace {

// Rounded half up; the epsilon absorbs the binary error of a scaled decimal (0.145 x 100).
int64_t RoundedUnits(double scaled) {
    return static_cast<int64_t>(std::floor(scaled + 0.5 + 1e-9));
}

// units / 10^decimals written with that many decimals; the values are never negative.
std::string FixedText(int64_t units, int decimals, char decimalSeparator) {
    const int64_t scale = decimals == 2 ? 100 : 10;
    std::string frac = std::to_string(units % scale);
    if (static_cast<int>(frac.size()) < decimals) frac.insert(0, decimals - frac.size(), '0');
    return std::to_string(units / scale) + decimalSeparator + frac;
}

}  // namespace

std::string FieldMetricText(TFieldMetric m, const TFieldMetricValue& v, char decimalSeparator) {
    if (!v.Present) return {};
    switch (m) {
        case fmCLS:
            return FixedText(RoundedUnits(v.P75 * 100), 2, decimalSeparator);
        case fmINP:
            return std::to_string(RoundedUnits(v.P75)) + " ms";
        default:
            return FixedText(RoundedUnits(v.P75 / 100), 1, decimalSeparator) + " s";
    }
}

}  // namespace velmora
