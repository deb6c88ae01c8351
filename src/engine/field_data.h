// What real Chrome users experienced on a page (or its whole origin) over the last 28 days, as
// the service reports it beside the lab result of the same answer.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/metrica.h"

namespace velmora {

enum TFieldCategory : uint8_t { fcNone = 0, fcFast = 1, fcAverage = 2, fcSlow = 3 };
// Whether the page passes the Core Web Vitals; cvNone when the data cannot tell.
enum TCwvVerdict : uint8_t { cvNone = 0, cvPassed = 1, cvFailed = 2 };
// Whose data it is: the page's own, or the whole origin's when the page has too few visits.
enum TFieldSource : uint8_t { fsNone = 0, fsPage = 1, fsOrigin = 2 };

struct TFieldMetricValue {
    bool Present = false;
    // The 75th percentile in milliseconds; for CLS the layout-shift score itself (0.14).
    // Also the value a grid sorts by.
    double P75 = 0;
    TFieldCategory Category = fcNone;
};

struct TFieldData {
    std::array<TFieldMetricValue, FieldMetricTable.size()> Metrics{};
    TFieldCategory Overall = fcNone;
    TCwvVerdict Verdict = cvNone;
    TFieldSource Source = fsNone;
    // The locale's decimal separator the answer's other texts were written with, so the
    // grids show these values the same way.
    char DecimalSeparator = '.';

    // No field data: the cells stay empty.
    bool Empty() const { return Source == fsNone; }
    const TFieldMetricValue& operator[](TFieldMetric m) const { return Metrics[m]; }
    TFieldMetricValue& operator[](TFieldMetric m) { return Metrics[m]; }
};

// The category of a p75 by the metric's bounds; the service's own category takes precedence.
TFieldCategory FieldCategoryByBounds(TFieldMetric m, double p75);

// Passed when LCP, INP and CLS are all good; a page without INP data is judged on LCP and CLS
// alone; no verdict without LCP or CLS.
TCwvVerdict CwvVerdictOf(const TFieldData& data);

// The cell text of a metric: "2.1 s" (LCP, FCP, TTFB), "312 ms" (INP), "0.14" (CLS); empty when
// the metric is absent.
std::string FieldMetricText(TFieldMetric m, const TFieldMetricValue& v, char decimalSeparator);

}  // namespace velmora
