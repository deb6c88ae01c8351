// What version 4 of the history adds, said once for both databases: the results' numbers as
// measured, the service's own words for a failure, the run's parameters as columns, and the
// view for dashboards. The dialects differ only in the few words TDialect names.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "history/history_store.h"
#include "history/result_codec.h"

namespace velmora::history {

struct TDialect {
    std::string_view Real;     // "REAL" / "DOUBLE PRECISION"
    std::string_view RunTime;  // SQL of a Unix-seconds column "started" as a time
};
inline constexpr TDialect kSqliteDialect{"REAL", "datetime(r.started, 'unixepoch')"};
inline constexpr TDialect kPgDialect{"DOUBLE PRECISION", "to_timestamp(r.started)"};

// Real users' p75s as columns of their own, for the view: LCP, INP, CLS, FCP, TTFB.
inline constexpr std::array<std::string_view, 5> kFieldColumns{
    "field_lcp", "field_inp", "field_cls", "field_fcp", "field_ttfb"};
using TFieldNumbers = std::array<std::optional<double>, kFieldColumns.size()>;
TFieldNumbers FieldNumbers(const TFieldData& data);
std::string FieldColumnList();

// The statements that take a version 3 database to version 4's tables and view; its rows'
// new columns are then filled by MigrateRowsToV4.
std::string SchemaV4Statements(const TDialect& d);

// The view "page_results": one row per run, page and strategy with plain columns.
std::string PageResultsView(const TDialect& d);

// A version 3 results row's new values, computed from what it kept.
struct TV4Row {
    TStoredNumbers Numbers;
    TFieldNumbers Field;
};
TV4Row V4RowOf(std::string_view texts, std::string_view field);

// A version 3 run's parameters, read from its settings text and the categories its rows
// asked for.
TRunParams V4ParamsOf(const std::string& settings, TCategorySet asked);

}  // namespace velmora::history
