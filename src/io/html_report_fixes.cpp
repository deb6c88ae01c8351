#include <cmath>
#include <unordered_map>

#include "base/translate.h"
#include "io/html_report_parts.h"

namespace velmora::io::report {
namespace {

std::string StrategyName(TMetricaStrategy s) {
    return s == msDesktop ? "Desktop" : "Mobile";
}

std::string Percent(double share, char sep) {
    return std::isnan(share) ? "–" : FormatFigure(100 * share, 0, sep) + " %";
}

void HeaderRow(std::string& out, std::initializer_list<const char*> captions) {
    out.append("<tr>");
    for (const char* caption : captions) AppendElement(out, "th", Tr(caption));
    out.append("</tr>\n");
}

void NumberCell(std::string& out, const std::string& text) {
    AppendElement(out, "td", text, "num");
}

void FixRow(std::string& out, const TFixRow& fix, char sep) {
    out.append("<tr>");
    AppendElement(out, "td", fix.Title.str());
    std::string group(fix.GroupTitle.str());
    if (fix.Category != ctPerformance)
        group = std::string(CategoryTable[fix.Category].Key) + (group.empty() ? "" : ": ") + group;
    AppendElement(out, "td", group);
    NumberCell(out, std::to_string(fix.Pages));
    NumberCell(out, Percent(fix.Share, sep));
    NumberCell(out, FormatFigure(fix.TimeSavedMs.Sum, 0, sep));
    NumberCell(out, FormatFigure(fix.TimeSavedMs.Median, 0, sep));
    NumberCell(out, FormatFigure(fix.SavingsBytes.Sum / 1024, 0, sep));
    NumberCell(out, FormatFigure(fix.MedianScore, 0, sep));
    out.append("</tr>\n");
}

void ResourceRow(std::string& out, const TSharedResource& res, char sep) {
    out.append("<tr>");
    AppendElement(out, "td", res.Url, "url");
    AppendElement(out, "td", res.Title.str());
    NumberCell(out, std::to_string(res.Pages));
    NumberCell(out, FormatFigure(res.SavingsMs.Median, 0, sep));
    NumberCell(out, FormatFigure(res.SavingsBytes.Median / 1024, 0, sep));
    out.append("</tr>\n");
}

// Rows of one strategy from a list of both, at most max; false when it has none.
template <typename TRow, typename TWrite>
bool StrategyTable(std::string& out, const std::vector<TRow>& rows, TMetricaStrategy s, size_t max,
                   std::initializer_list<const char*> captions, TWrite write) {
    size_t shown = 0, all = 0;
    for (const TRow& row : rows) all += row.Strategy == s;
    if (all == 0) return false;
    AppendElement(out, "h3", StrategyName(s) + " (" + std::to_string(all) + ")");
    out.append("\n<table class=\"list\">\n");
    HeaderRow(out, captions);
    for (const TRow& row : rows) {
        if (row.Strategy != s) continue;
        if (shown++ == max) break;
        write(row);
    }
    out.append("</table>\n");
    if (all > max)
        AppendElement(out, "p", FormatLog(Tr("Показаны первые %d."), static_cast<int32_t>(max)),
                      "note");
    return true;
}

void NothingToShow(std::string& out) {
    AppendElement(out, "p", Tr("Нечего показать."), "none");
    out.append("\n");
}

}  // namespace

void AppendFixes(std::string& out, const TReportInput& input, size_t maxFixes,
                 size_t maxResources) {
    const char sep = input.DecimalSeparator;
    AppendHeading(out, "h2", "Что исправить");
    bool any = false;
    for (TMetricaStrategy s : kStrategies)
        any |= StrategyTable(out, input.Summary.Fixes, s, maxFixes,
                             {"Аудит", "Группа", "Страниц", "Доля", "Экономия, мс",
                              "Медиана экономии, мс", "Экономия, КиБ", "Медиана оценки"},
                             [&](const TFixRow& fix) { FixRow(out, fix, sep); });
    if (!any) NothingToShow(out);
    AppendHeading(out, "h2", "Общие ресурсы");
    any = false;
    for (TMetricaStrategy s : kStrategies)
        any |= StrategyTable(
            out, input.Summary.Resources, s, maxResources,
            {"Ресурс", "Аудит", "Страниц", "Медиана экономии, мс", "Медиана экономии, КиБ"},
            [&](const TSharedResource& res) { ResourceRow(out, res, sep); });
    if (!any) NothingToShow(out);
}

void AppendGroups(std::string& out, const TReportInput& input) {
    const char sep = input.DecimalSeparator;
    std::unordered_map<int32_t, std::string_view> urlByNum;
    for (const TURLTaskInfo* row : input.Rows)
        if (row) urlByNum.emplace(row->Num, row->URL);
    AppendHeading(out, "h2", "Группы страниц");
    bool any = false;
    for (TMetricaStrategy s : kStrategies)
        any |= StrategyTable(out, input.Summary.Groups, s, input.Summary.Groups.size(),
                             {"Группа", "Страниц", "Медиана оценки", "Хорошие", "Средние", "Плохие",
                              "Core Web Vitals пройдены", "Худшие страницы"},
                             [&](const TPageGroup& g) {
                                 out.append("<tr>");
                                 AppendElement(out, "td", g.Name);
                                 NumberCell(out, std::to_string(g.Pages));
                                 NumberCell(out, FormatFigure(g.MedianScore, 0, sep));
                                 for (double share : g.BandShare)
                                     NumberCell(out, Percent(share, sep));
                                 NumberCell(out, Percent(g.CwvPassRate, sep));
                                 out.append("<td class=\"url\">");
                                 for (int32_t num : g.Worst) {
                                     const auto it = urlByNum.find(num);
                                     if (it == urlByNum.end()) continue;
                                     AppendElement(out, "div", it->second);
                                 }
                                 out.append("</td></tr>\n");
                             });
    if (!any) NothingToShow(out);
}

}  // namespace velmora::io::report
