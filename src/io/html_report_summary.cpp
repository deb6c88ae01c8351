#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "base/translate.h"
#include "engine/score_bands.h"
#include "io/html_report_parts.h"

namespace velmora::io::report {
namespace {

// How many rows the summary's lists show at most: the table below has every page.
constexpr size_t kMaxFixRows = 30;
constexpr size_t kMaxResourceRows = 20;
constexpr size_t kMaxWorseRows = 20;

void RunRows(std::string& out, const TReportRun& run, bool older) {
    const std::pair<const char*, std::string> rows[] = {
        {older ? "Сравнивается с запуском" : "Запуск",
         run.RunId ? std::to_string(run.RunId) : std::string()},
        {"Название", run.Name},
        {"Источник URL", run.Source},
        {"Начат", run.Started},
        {"Настройки", run.Settings}};
    for (const auto& [label, value] : rows) {
        if (value.empty()) continue;
        out.append("<tr>");
        AppendElement(out, "th", Tr(label));
        AppendElement(out, "td", value);
        out.append("</tr>\n");
    }
}

void AppendHead(std::string& out, const TReportInput& input) {
    out.append("<header>\n");
    AppendElement(out, "h1",
                  Tr(input.Compared ? "Отчёт Velmora: сравнение запусков" : "Отчёт Velmora"));
    out.append("\n<table class=\"facts\">\n");
    RunRows(out, input.Run, false);
    if (input.Compared) RunRows(out, input.OlderRun, true);
    out.append("<tr>");
    AppendElement(out, "th", Tr("Страниц"));
    AppendElement(out, "td", std::to_string(input.Rows.size()));
    out.append("</tr>\n<tr>");
    AppendElement(out, "th", Tr("Отчёт составлен"));
    AppendElement(
        out, "td",
        input.Generated + (input.Generated.empty() ? "" : ", ") + "Velmora " VELMORA_VERSION);
    out.append("</tr>\n</table>\n</header>\n");
}

// The score distribution in ten bands of ten points, bars coloured as the score cells are.
void AppendChart(std::string& out, const std::vector<double>& scores) {
    std::array<int, 10> counts{};
    for (double s : scores) ++counts[std::min(9, static_cast<int>(s) / 10)];
    const int top = std::max(1, *std::max_element(counts.begin(), counts.end()));
    constexpr int kBarWidth = 34, kGap = 6, kHeight = 120, kBase = 140;
    out.append("<svg class=\"chart\" viewBox=\"0 0 400 170\" role=\"img\" aria-label=\"");
    AppendHtml(out, Tr("Распределение оценок"));
    out.append("\">\n");
    for (int b = 0; b < 10; ++b) {
        const int h = counts[b] * kHeight / top;
        const int x = 5 + b * (kBarWidth + kGap);
        const TScoreBand sb = ScoreBandOf(b * 10.0);
        const char* band = sb == sbGood ? "good" : sb == sbAverage ? "avg" : "poor";
        char bar[256];
        std::snprintf(bar, sizeof bar,
                      "<rect class=\"%s\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\"/>"
                      "<text x=\"%d\" y=\"%d\">%d</text><text class=\"axis\" x=\"%d\" "
                      "y=\"160\">%d</text>\n",
                      band, x, kBase - h, kBarWidth, h, x + kBarWidth / 2, kBase - h - 4, counts[b],
                      x + kBarWidth / 2, b * 10);
        out.append(bar);
    }
    out.append("</svg>\n");
}

void Figure(std::string& out, const char* label, const std::string& value) {
    out.append("<div class=\"figure\">");
    AppendElement(out, "span", value, "value");
    AppendElement(out, "span", Tr(label), "label");
    out.append("</div>");
}

void AppendStrategy(std::string& out, const TReportInput& input, TMetricaStrategy s) {
    TStrategyStats st = StrategyStatsOf(input.Rows, s);
    const char sep = input.DecimalSeparator;
    out.append("<section class=\"strategy\">\n");
    AppendElement(out, "h3", s == msDesktop ? "Desktop" : "Mobile");
    out.append("\n<div class=\"figures\">");
    Figure(out, "проверено страниц", std::to_string(st.Scores.size()));
    Figure(out, "с ошибкой", std::to_string(st.Failed));
    Figure(out, "медиана оценки", FormatFigure(Median(st.Scores), 0, sep));
    Figure(out, "Core Web Vitals пройдены",
           st.CwvJudged
               ? FormatFigure(100.0 * st.CwvPassed / st.CwvJudged, 0, sep) + " % (" +
                     std::to_string(st.CwvPassed) + "/" + std::to_string(st.CwvJudged) + ")"
               : Tr("нет полевых данных"));
    out.append("</div>\n");
    AppendChart(out, st.Scores);
    out.append("<table class=\"medians\"><tr>");
    for (size_t m = 0; m < st.Metrics.size(); ++m)
        AppendElement(out, "th", std::string(MetricaTable[m + 1].ShortName));
    out.append("</tr>\n<tr>");
    for (size_t m = 0; m < st.Metrics.size(); ++m)
        AppendElement(out, "td", MetricFigure(m + 1, Median(st.Metrics[m]), sep));
    out.append("</tr></table>\n");
    AppendElement(out, "p", Tr("Медианы по страницам, проверенным без ошибки."), "note");
    out.append("\n</section>\n");
}

// Per strategy the pages whose score fell against the older run, the largest fall first.
void AppendWorse(std::string& out, const TReportInput& input) {
    AppendHeading(out, "h2", "Стали хуже");
    const std::vector<TScoreChange> changes = ScoreChanges(input);
    bool any = false;
    for (TMetricaStrategy s : kStrategies) {
        std::vector<const TScoreChange*> worse;
        for (const TScoreChange& c : changes)
            if (c.Strategy == s && c.Delta < 0) worse.push_back(&c);
        if (worse.empty()) continue;
        any = true;
        std::stable_sort(worse.begin(), worse.end(),
                         [](auto* a, auto* b) { return a->Delta < b->Delta; });
        AppendElement(out, "h3",
                      std::string(s == msDesktop ? "Desktop" : "Mobile") + " (" +
                          std::to_string(worse.size()) + ")");
        out.append("\n<table class=\"list\"><tr>");
        for (const char* h : {"URL", "Было", "Стало", "Изменение"}) AppendElement(out, "th", Tr(h));
        out.append("</tr>\n");
        for (size_t i = 0; i < worse.size() && i < kMaxWorseRows; ++i) {
            out.append("<tr>");
            AppendElement(out, "td", worse[i]->Url, "url");
            AppendElement(out, "td", FormatFigure(worse[i]->Older, 0, '.'), "num");
            AppendElement(out, "td", FormatFigure(worse[i]->Newer, 0, '.'), "num");
            AppendElement(out, "td", FormatFigure(worse[i]->Delta, 0, '.'), "num down");
            out.append("</tr>\n");
        }
        out.append("</table>\n");
    }
    if (!any) AppendElement(out, "p", Tr("Ни одна страница не стала хуже."), "none");
}

}  // namespace

void AppendSummary(std::string& out, const TReportInput& input) {
    AppendHead(out, input);
    out.append("<main>\n");
    AppendHeading(out, "h2", "Оценки и метрики");
    out.append("<div class=\"strategies\">\n");
    for (TMetricaStrategy s : kStrategies) AppendStrategy(out, input, s);
    out.append("</div>\n");
    if (input.Compared) AppendWorse(out, input);
    AppendFixes(out, input, kMaxFixRows, kMaxResourceRows);
    AppendGroups(out, input);
    // The pages' table: the script fills it from the data block.
    AppendHeading(out, "h2", "Все страницы");
    out.append(
        "<div class=\"controls\"><span id=\"strategy\"><button type=\"button\" "
        "aria-pressed=\"true\">Desktop</button> <button type=\"button\" "
        "aria-pressed=\"false\">Mobile</button></span> <input type=\"search\" id=\"filter\"> "
        "<select id=\"which\"></select> <span id=\"shown\" class=\"note\"></span></div>\n"
        "<p class=\"note\" id=\"sort-hint\"></p>\n"
        "<table id=\"pages\"><thead></thead><tbody></tbody></table>\n"
        "<p><button type=\"button\" id=\"more\" hidden></button></p>\n</main>\n");
}

}  // namespace velmora::io::report
