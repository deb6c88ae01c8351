// One strategy's results as stored: the cell texts in a single field, the numbers the grids
// sort and compare by, the real users' data in a short field of its own, the request outcome,
// and the advice as references to distinct texts.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/tasks.h"

namespace velmora::history {

// The numeric columns of a results row, in order, and the metric or category each holds: the
// score 0-100, the six lab timings in ms (CLS unitless), the six transfer sizes in bytes, then
// the other categories' scores 0-100. NULL where the answer had no number.
struct TNumberColumn {
    std::string_view Column;
    std::string_view Key;   // the catalogue's or the category table's key
    std::string_view View;  // its name in the view page_results, unit included
};
inline constexpr std::array<TNumberColumn, 17> kNumberColumns{{
    {"score", "performance", "score"},
    {"fcp", "first-contentful-paint", "fcp_ms"},
    {"si", "speed-index", "si_ms"},
    {"lcp", "largest-contentful-paint", "lcp_ms"},
    {"tti", "interactive", "tti_ms"},
    {"tbt", "total-blocking-time", "tbt_ms"},
    {"cls", "cumulative-layout-shift", "cls"},
    {"html_bytes", "document", "html_bytes"},
    {"css_bytes", "stylesheet", "css_bytes"},
    {"js_bytes", "script", "js_bytes"},
    {"image_bytes", "image", "image_bytes"},
    {"font_bytes", "font", "font_bytes"},
    {"total_bytes", "total", "total_bytes"},
    {"accessibility", "accessibility", "accessibility"},
    {"best_practices", "best-practices", "best_practices"},
    {"seo", "seo", "seo"},
    {"agentic_browsing", "agentic-browsing", "agentic_browsing"},
}};
using TStoredNumbers = std::array<std::optional<double>, kNumberColumns.size()>;
// The number columns' names joined by ", ", for the stores' statements.
std::string NumberColumnList();

// The numbers a row of an older version keeps only as cell texts, read back from them: the
// score and timings exactly as the grid showed them, transfer sizes to the text's 0.1 KiB.
TStoredNumbers NumbersFromTexts(std::string_view texts);

struct TEncodedStrategy {
    TTaskResult Status = trNotChecked;
    int32_t ErrorCode = 0;
    int32_t HttpStatus = 0;
    int32_t Retries = 0;
    std::string ErrorMessage;
    TStoredNumbers Numbers;
    std::string ServiceCode, ServiceText;  // the service's own words for a failure
    // Display texts of the catalogue rows in order, "\x1f"-separated; when categories besides
    // performance were asked for, then the set and their three score texts.
    std::string Texts;
    // "textId\x1fgroup\x1fvalue\x1fscore" items, "\x1e"-separated; another category's items
    // and informative audits add "\x1fcategory\x1fmode\x1fgroupId\x1fgroupTitle" (mode 0 a
    // failing audit, 1 a manual check, 2 an informative audit); when an item has savings or
    // resources, an item "0\x1f<figures>" follows the last (see result_codec.cpp).
    std::string Advice;
    std::string Field;  // see EncodeFieldData; empty without real users' data
};

// A stored row as read back; the views point into the statement's current row.
struct TStoredStrategy {
    TTaskResult Status = trNotChecked;
    int32_t ErrorCode = 0;
    int32_t HttpStatus = 0;
    int32_t Retries = 0;
    std::string_view ErrorMessage;
    std::string_view ServiceCode, ServiceText;
    // Numbers as measured; a row of an older version that was never migrated has none, and
    // then its values keep only their texts.
    TStoredNumbers Numbers{};
    std::string_view Texts;
    std::string_view Advice;
    std::string_view Field;
};

// Id of an advice text (title, description and the audit it comes from), created on first use.
using TAdviceTextId = std::function<int64_t(const TGAdvice& advice)>;
struct TAdviceText {
    TInternedText Title, Descr, AuditId;
};
using TAdviceTextById = std::function<TAdviceText(int64_t id)>;

TEncodedStrategy EncodeStrategy(const TURLTaskResults& r, TMetricaStrategy s,
                                const TAdviceTextId& adviceId);
// Adds the strategy's status, values, field data and request outcome to r, and its advice
// unless adviceText is empty.
void DecodeStrategy(TMetricaStrategy s, const TStoredStrategy& row,
                    const TAdviceTextById& adviceText, TURLTaskResults& r);

// The other categories' scores (0-100) in a stored texts field, indexed by category; none for
// performance and for a category not asked for or not scored.
std::array<std::optional<double>, CategoryTable.size()> StoredCategoryScores(
    std::string_view texts);

// The categories a stored texts field says its request asked for.
TCategorySet StoredCategories(std::string_view texts);

// Appends the advice text ids an encoded advice field refers to.
void AppendAdviceTextIds(std::string_view advice, std::vector<int64_t>& ids);

// "source\x1foverall\x1fverdict\x1fseparator" then "\x1fp75\x1fcategory" per field metric, the
// p75 written exactly and empty when the metric is absent. Empty data is an empty text.
std::string EncodeFieldData(const TFieldData& data);
// Empty data for an empty or malformed text.
TFieldData DecodeFieldData(std::string_view text);

}  // namespace velmora::history
