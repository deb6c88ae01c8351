// The pages' table travels as one compact JSON object that the page's script renders: markup
// for 20 000 rows would be several times larger and slower to open.
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "base/translate.h"
#include "engine/grid_text.h"
#include "engine/score_bands.h"
#include "engine/screenshot.h"
#include "io/html_report_parts.h"

namespace velmora::io::report {
namespace {

// What a column of the table shows; the script formats and sorts by it.
enum class TColumnKind { Score, Number, Text, OlderScore, Change };

struct TColumn {
    int GridColumn = -1;  // for Score, Number and Text
    TColumnKind Kind = TColumnKind::Text;
    std::string Caption;
};

std::vector<TColumn> Columns(const TReportInput& input) {
    std::vector<TColumn> cols;
    cols.push_back({gcScore, TColumnKind::Score, "Score"});
    if (input.Compared) {
        cols.push_back({-1, TColumnKind::OlderScore, Tr("Было")});
        cols.push_back({-1, TColumnKind::Change, "+/-"});
    }
    for (int col = gcFirstMetric; col < gcFirstMetric + kLabTimings; ++col)
        cols.push_back({col, TColumnKind::Number, GridColumnCaption(col)});
    const TCategorySet asked = AskedCategories(input.Rows);
    for (int c = ctAccessibility; c < static_cast<int>(CategoryTable.size()); ++c)
        if (HasCategory(asked, c))
            cols.push_back({CategoryColumn(static_cast<TCategory>(c)), TColumnKind::Score,
                            GridColumnCaption(CategoryColumn(static_cast<TCategory>(c)))});
    for (int col : {gcCwv, gcLcpP75, gcInpP75, gcClsP75, gcField})
        cols.push_back({col,
                        col == gcCwv || col == gcField ? TColumnKind::Text : TColumnKind::Number,
                        GridColumnCaption(col)});
    cols.push_back({gcError, TColumnKind::Text, GridColumnCaption(gcError)});
    return cols;
}

void AppendNumber(std::string& out, double value) {
    if (std::isnan(value) || std::isinf(value)) {
        out.append("null");
        return;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", value);
    out.append(buf);
}

// The number a cell sorts by: the value the service measured, or the field data's p75.
double SortNumber(const TURLTaskInfo& row, TMetricaStrategy s, int col) {
    const TURLTaskResults& r = *row.TaskResults;
    if (IsFieldColumn(col)) {
        const TFieldMetric m = col == gcLcpP75 ? fmLCP : col == gcInpP75 ? fmINP : fmCLS;
        return r.FieldData[s][m].Present ? r.FieldData[s][m].P75 : std::nan("");
    }
    for (const TMetricaValue& v : r.MetricaValues)
        if (v.Strategy == s && v.ColNum == col) return ValueNumber(v);
    return std::nan("");
}

// A cell: a bare number, a text, [text, number] where the text is the service's own, or null.
void AppendCell(std::string& out, const TColumn& col, const TURLTaskInfo& row,
                const TURLTaskInfo* older, TMetricaStrategy s) {
    switch (col.Kind) {
        case TColumnKind::OlderScore:
            return AppendNumber(out, ScoreOf(older, s));
        case TColumnKind::Change:
            return AppendNumber(out, ScoreOf(&row, s) - ScoreOf(older, s));
        default:
            break;
    }
    const std::string text = CellText(&row, s, col.GridColumn);
    if (text.empty()) {
        out.append("null");
        return;
    }
    const double number =
        col.Kind == TColumnKind::Text ? std::nan("") : SortNumber(row, s, col.GridColumn);
    if (col.Kind == TColumnKind::Score && !std::isnan(number)) return AppendNumber(out, number);
    if (std::isnan(number)) return AppendJsonString(out, text);
    out.push_back('[');
    AppendJsonString(out, text);
    out.push_back(',');
    AppendNumber(out, number);
    out.push_back(']');
}

// The texts a report repeats on thousands of pages (audit titles) are sent once.
class TTextTable {
  public:
    int IndexOf(const std::string& text) {
        const auto [it, added] = FIndex.emplace(&text, static_cast<int>(FTexts.size()));
        if (added) FTexts.push_back(&text);
        return it->second;
    }
    void Append(std::string& out) const {
        out.push_back('[');
        for (size_t i = 0; i < FTexts.size(); ++i) {
            if (i) out.push_back(',');
            AppendJsonString(out, *FTexts[i]);
        }
        out.push_back(']');
    }

  private:
    // Interned texts are one string each, so the address names the text.
    std::unordered_map<const std::string*, int> FIndex;
    std::vector<const std::string*> FTexts;
};

// A strategy's detail: [[title, display value, score 0-100 or null]...], the error message and
// the index of the screenshot (-1: none).
void AppendDetail(std::string& out, const TURLTaskResults& r, TMetricaStrategy s, int shot,
                  TTextTable& titles) {
    out.append("[[");
    bool first = true;
    for (const TGAdvice& a : r.AdviceList[s]) {
        if (!a.Failed()) continue;
        if (!first) out.push_back(',');
        first = false;
        out.push_back('[');
        out.append(std::to_string(titles.IndexOf(a.Title.str())));
        out.push_back(',');
        AppendJsonString(out, a.AdviceText);
        out.push_back(',');
        AppendNumber(out, a.Score ? std::round(*a.Score * 100) : std::nan(""));
        out.push_back(']');
    }
    out.append("],");
    AppendJsonString(out, r.ErrorMessage[s]);
    out.append(",").append(std::to_string(shot)).append("]");
}

void AppendColumns(std::string& out, const std::vector<TColumn>& cols) {
    static constexpr const char* kKinds[] = {"score", "num", "text", "score", "change"};
    out.append("\"cols\":[");
    for (size_t i = 0; i < cols.size(); ++i) {
        if (i) out.push_back(',');
        out.append("[");
        AppendJsonString(out, cols[i].Caption);
        out.append(",\"").append(kKinds[static_cast<int>(cols[i].Kind)]).append("\"]");
    }
    out.append("]");
}

void AppendTexts(std::string& out, const TReportInput& input) {
    const std::pair<const char*, const char*> texts[] = {
        {"filter", "Найти URL или ошибку"},
        {"all", "Все страницы"},
        {"errors", "С ошибкой"},
        {"poor", "Оценка ниже 50"},
        {"average", "Оценка 50–89"},
        {"good", "Оценка 90 и выше"},
        {"worse", "Стали хуже"},
        {"shown", "Показано страниц: %s из %s"},
        {"more", "Показать все"},
        {"audits", "Не пройденные аудиты"},
        {"noAudits", "Нет не пройденных аудитов."},
        {"error", "Ошибка"},
        {"shot", "Последний снимок экрана"},
        {"sortHint", "Щёлкните заголовок столбца, чтобы упорядочить страницы по нему."},
        {"table", "Все страницы"}};
    out.append("\"t\":{");
    bool first = true;
    for (const auto& [key, text] : texts) {
        if (!first) out.push_back(',');
        first = false;
        out.append("\"").append(key).append("\":");
        AppendJsonString(out, Tr(text));
    }
    out.append("},\"compared\":").append(input.Compared ? "true" : "false");
    // The script colours and filters by the same bands as every other view.
    out.append(",\"bands\":[").append(std::to_string(static_cast<int>(kGoodScoreFrom)));
    out.append(",").append(std::to_string(static_cast<int>(kAverageScoreFrom))).append("]");
}

}  // namespace

TShotsLeftOut AppendTableData(std::string& out, const TReportInput& input) {
    const std::vector<TColumn> cols = Columns(input);
    const std::vector<const TURLTaskInfo*> older = OlderMatches(input);
    out.push_back('{');
    AppendTexts(out, input);
    out.push_back(',');
    AppendColumns(out, cols);
    TTextTable titles;
    std::string shots = "[";
    int shotCount = 0;
    size_t shotBytes = 0;
    TShotsLeftOut left;
    out.append(",\"rows\":[");
    bool firstRow = true;
    for (size_t i = 0; i < input.Rows.size(); ++i) {
        const TURLTaskInfo* row = input.Rows[i];
        if (!row) continue;
        if (!firstRow) out.append(",\n");
        firstRow = false;
        out.append("[").append(std::to_string(row->Num)).append(",");
        AppendJsonString(out, row->URL);
        const TURLTaskInfo* was = older.empty() ? nullptr : older[i];
        for (TMetricaStrategy s : kStrategies) {
            out.append(",[");
            for (size_t c = 0; c < cols.size() && row->TaskResults; ++c) {
                if (c) out.push_back(',');
                AppendCell(out, cols[c], *row, was, s);
            }
            out.append("]");
        }
        for (TMetricaStrategy s : kStrategies) {
            out.push_back(',');
            if (!row->TaskResults) {
                out.append("null");
                continue;
            }
            int shot = -1;
            const std::string& data = row->TaskResults->FinalScreenshot[s];
            // Checked again: the results may come from anywhere, the page shows it as an image.
            if (input.Screenshots && data == kScreenshotTooLarge) {
                ++left.TooLarge;
            } else if (input.Screenshots && IsScreenshotDataUrl(data)) {
                if (shotBytes + data.size() > input.MaxScreenshotBytes) {
                    ++left.OverReport;
                } else {
                    shotBytes += data.size();
                    if (shotCount) shots.push_back(',');
                    AppendJsonString(shots, data);
                    shot = shotCount++;
                }
            }
            AppendDetail(out, *row->TaskResults, s, shot, titles);
        }
        out.append("]");
    }
    out.append("],\"titles\":");
    titles.Append(out);
    out.append(",\"shots\":").append(shots).append("]}");
    return left;
}

}  // namespace velmora::io::report
