// The fixed vocabulary of a check: metrics, advice groups, interface languages.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

enum TMetricaKind : int32_t { mkScore = 0, mkAuditValue = 1, mkTransferSize = 2 };

struct TMetricaInfo {
    std::string_view Key;
    std::string_view Caption;
    std::string_view ShortName;
    TMetricaKind Kind;
    std::string_view Descr;
};

struct TAdviceGroupInfo {
    std::string_view Key;
    std::string_view Caption;
};

struct TAppLangInfo {
    std::string_view Name;
    std::string_view Code;
    // The system language (a locale's language code) that selects this row when no language
    // is asked for; empty in the catch-all row, which serves every other system language.
    std::string_view SystemCode;
};

inline constexpr std::array<TMetricaInfo, 13> MetricaTable{{
    {"performance", "Performance Score", "Score", mkScore,
     "The Performance score is a weighted average of the metric scores. To provide a good user "
     "experience, sites should strive to have a good score (90-100)."},
    {"first-contentful-paint", "First Contentful Paint", "FCP", mkAuditValue,
     "First Contentful Paint marks the time at which the first text or image is painted."},
    {"speed-index", "Speed Index", "SI", mkAuditValue,
     "Speed Index shows how quickly the contents of a page are visibly populated."},
    {"largest-contentful-paint", "Largest Contentful Paint", "LCP", mkAuditValue,
     "Largest Contentful Paint marks the time at which the largest text or image is painted."},
    {"interactive", "Time to Interactive", "TTI", mkAuditValue,
     "Time to interactive is the amount of time it takes for the page to become fully "
     "interactive."},
    {"total-blocking-time", "Total Blocking Time", "TBT", mkAuditValue,
     "Sum of all time periods between FCP and Time to Interactive, when task length exceeded "
     "50ms, expressed in milliseconds."},
    {"cumulative-layout-shift", "Cumulative Layout Shift", "CLS", mkAuditValue,
     "Cumulative Layout Shift measures the movement of visible elements within the viewport."},
    {"document", "HTML", "", mkTransferSize, ""},
    {"stylesheet", "CSS", "", mkTransferSize, ""},
    {"script", "JS", "", mkTransferSize, ""},
    {"image", "Images", "", mkTransferSize, ""},
    {"font", "Fonts", "", mkTransferSize, ""},
    {"total", "TOTAL", "", mkTransferSize, ""},
}};

// Lighthouse 13 files most advice under "insights"; without that row it would be dropped.
inline constexpr std::array<TAdviceGroupInfo, 3> AdviceGroupTable{{
    {"load-opportunities", "Opportunities"},
    {"diagnostics", "Diagnostics"},
    {"insights", "Insights"},
}};

// Real users' metrics as the service's field data names them, with the bounds of its good and
// poor categories (a p75 at or below Good is good, above Poor is poor). CLS is unitless; the
// service sends it multiplied by 100, the bounds here are the metric's own.
enum TFieldMetric : uint8_t { fmLCP = 0, fmINP = 1, fmCLS = 2, fmFCP = 3, fmTTFB = 4 };

struct TFieldMetricInfo {
    std::string_view Key;
    std::string_view ShortName;
    double Good;
    double Poor;
};

inline constexpr std::array<TFieldMetricInfo, 5> FieldMetricTable{{
    {"LARGEST_CONTENTFUL_PAINT_MS", "LCP", 2500, 4000},
    {"INTERACTION_TO_NEXT_PAINT", "INP", 200, 500},
    {"CUMULATIVE_LAYOUT_SHIFT_SCORE", "CLS", 0.1, 0.25},
    {"FIRST_CONTENTFUL_PAINT_MS", "FCP", 1800, 3000},
    {"EXPERIMENTAL_TIME_TO_FIRST_BYTE", "TTFB", 800, 1800},
}};

inline constexpr std::array<TAppLangInfo, 2> AppLangTable{{
    {"Русский", "ru", "ru"},
    {"English", "en", ""},
}};

// The Lighthouse categories a request can name, in the order the request names them; the
// performance category is always asked for. The numbers are stored in the history.
enum TCategory : uint8_t {
    ctPerformance = 0,
    ctAccessibility = 1,
    ctBestPractices = 2,
    ctSeo = 3,
    ctAgenticBrowsing = 4,  // asked by name only: "all" means the four classic categories
};

struct TCategoryInfo {
    std::string_view Key;          // as the answer and the settings name it
    std::string_view RequestName;  // the request's category= value
    std::string_view Caption;      // the grid column's caption, a message pattern
};

inline constexpr std::array<TCategoryInfo, 5> CategoryTable{{
    {"performance", "PERFORMANCE", "Score"},
    {"accessibility", "ACCESSIBILITY", "Доступность"},
    {"best-practices", "BEST_PRACTICES", "Рекомендации"},
    {"seo", "SEO", "SEO"},
    {"agentic-browsing", "AGENTIC_BROWSING", "Агентный просмотр"},
}};

// A set of categories: bit c stands for TCategory c.
using TCategorySet = uint8_t;
inline constexpr TCategorySet kPerformanceOnly = 1;
// "all": the four categories every Lighthouse report has.
inline constexpr TCategorySet kAllCategories = 0x0F;
// Every category a request can name.
inline constexpr TCategorySet kEveryCategory = (1u << CategoryTable.size()) - 1;
constexpr bool HasCategory(TCategorySet set, int c) {
    return (set >> c) & 1;
}

// "performance,seo" or "all" (ASCII case and blanks around ids ignored) as a set with
// performance in it; nothing when an id is unknown or the text is empty.
std::optional<TCategorySet> ParseCategories(std::string_view text);
// The ids of the set in table order, joined by ",": the settings file's and the CLI's form.
std::string CategoriesText(TCategorySet set);
// The valid ids, for messages: "performance, accessibility, best-practices, seo, all".
std::string CategoryIdsText();

// Result-grid column of a metric key (see TGridColumn): gcScore for the score, the metric
// columns for rows 1.., the category columns for the other categories' ids, else -1.
int32_t ColNumByKey(std::string_view key);

}  // namespace velmora
