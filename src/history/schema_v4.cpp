#include "history/schema_v4.h"

#include "engine/metrica.h"

namespace velmora::history {

TFieldNumbers FieldNumbers(const TFieldData& data) {
    TFieldNumbers out{};
    if (data.Empty()) return out;
    for (size_t m = 0; m < out.size(); ++m)
        if (data.Metrics[m].Present) out[m] = data.Metrics[m].P75;
    return out;
}

std::string FieldColumnList() {
    std::string list;
    for (std::string_view c : kFieldColumns) {
        if (!list.empty()) list += ", ";
        list += c;
    }
    return list;
}

std::string SchemaV4Statements(const TDialect& d) {
    std::string sql;
    const auto add = [&sql](std::string_view table, std::string_view column,
                            std::string_view type) {
        sql.append("ALTER TABLE ").append(table).append(" ADD COLUMN ").append(column);
        sql.append(" ").append(type).append(";\n");
    };
    for (size_t c = kScoreAndTimings; c < kNumberColumns.size(); ++c)
        add("results", kNumberColumns[c].Column, d.Real);
    for (std::string_view c : kFieldColumns) add("results", c, d.Real);
    add("results", "service_code", "TEXT NOT NULL DEFAULT ''");
    add("results", "service_text", "TEXT NOT NULL DEFAULT ''");
    add("runs", "strategies", "TEXT NOT NULL DEFAULT 'both'");
    add("runs", "categories", "TEXT NOT NULL DEFAULT 'performance'");
    add("runs", "locale", "TEXT NOT NULL DEFAULT ''");
    add("runs", "source", "TEXT NOT NULL DEFAULT ''");
    add("runs", "page_groups", "TEXT NOT NULL DEFAULT ''");
    return sql + PageResultsView(d);
}

std::string PageResultsView(const TDialect& d) {
    // The status words are the JSON Lines' ones, so a query and a pipeline agree.
    constexpr std::array<std::string_view, 10> kStatus{
        "not_checked",      "ok",       "aborted",       "send_error", "parse_error",
        "unknown_response", "not_html", "service_error", "quota",      "page_error"};
    std::string status = "CASE x.status";
    for (size_t i = 0; i < kStatus.size(); ++i)
        status.append(" WHEN ").append(std::to_string(i)).append(" THEN '").append(kStatus[i]) +=
            "'";
    status += " ELSE 'unknown' END";
    std::string sql = "CREATE VIEW page_results AS SELECT r.id AS run_id, ";
    sql.append(d.RunTime).append(" AS run_time, r.name AS run_name, r.source AS run_source, ");
    sql +=
        "u.num AS num, u.url AS url, CASE x.strategy WHEN 0 THEN 'desktop' ELSE 'mobile' END "
        "AS strategy, ";
    sql += status + " AS status, x.service_code AS error_code, ";
    sql += "CASE WHEN x.service_text <> '' THEN x.service_text ELSE x.error_msg END AS error_text";
    for (const TNumberColumn& c : kNumberColumns)
        sql.append(", x.").append(c.Column).append(" AS ").append(c.View);
    const std::array<std::string_view, kFieldColumns.size()> field{
        "field_lcp_p75_ms", "field_inp_p75_ms", "field_cls_p75", "field_fcp_p75_ms",
        "field_ttfb_p75_ms"};
    for (size_t c = 0; c < kFieldColumns.size(); ++c)
        sql.append(", x.").append(kFieldColumns[c]).append(" AS ").append(field[c]);
    sql +=
        " FROM results x JOIN runs r ON r.id = x.run_id "
        "JOIN run_urls u ON u.run_id = x.run_id AND u.num = x.num;\n";
    return sql;
}

TV4Row V4RowOf(std::string_view texts, std::string_view field) {
    return {NumbersFromTexts(texts), FieldNumbers(DecodeFieldData(field))};
}

TRunParams V4ParamsOf(const std::string& settings, TCategorySet asked) {
    TRunParams p = RunParamsOf(settings);
    p.Categories |= asked;
    return p;
}

}  // namespace velmora::history
