#include "engine/grid_text.h"

#include "base/translate.h"

namespace velmora {

namespace {
// Indexed by TGridColumn up to the first metric.
constexpr std::array<std::string_view, gcFirstMetric> kFixedCaptions{"№", "URL", "Ошибка", "Score",
                                                                     "Инфо"};
// Indexed by TGridColumn from gcCwv.
constexpr std::array<std::string_view, gcCount - gcCwv> kFieldCaptions{"CWV", "LCP p75", "INP p75",
                                                                       "CLS p75", "Полевые данные"};

TFieldMetric FieldMetricOfColumn(int col) {
    return col == gcLcpP75 ? fmLCP : col == gcInpP75 ? fmINP : fmCLS;
}

std::string VerdictText(TCwvVerdict v) {
    switch (v) {
        case cvPassed:
            return Tr("пройдена");
        case cvFailed:
            return Tr("не пройдена");
        case cvNone:
            break;
    }
    return {};
}

std::string SourceText(TFieldSource source) {
    switch (source) {
        case fsPage:
            return Tr("страница");
        case fsOrigin:
            return Tr("источник");
        case fsNone:
            break;
    }
    return Tr("нет");
}

std::string FieldCellText(const TURLTaskResults& r, TMetricaStrategy s, int col) {
    const TFieldData& data = r.FieldData[s];
    switch (col) {
        case gcCwv:
            return VerdictText(data.Verdict);
        case gcField:
            // "none" only where an answer said so; an unchecked or failed check says nothing.
            return data.Empty() && r.TaskResult[s] != trOK ? std::string()
                                                           : SourceText(data.Source);
        default: {
            const TFieldMetric m = FieldMetricOfColumn(col);
            return FieldMetricText(m, data[m], data.DecimalSeparator);
        }
    }
}

}  // namespace

std::string_view GridColumnCaptionSource(int col) {
    if (col >= 0 && col < static_cast<int>(kFixedCaptions.size())) return kFixedCaptions[col];
    if (IsFieldColumn(col)) return kFieldCaptions[col - gcCwv];
    if (IsCategoryColumn(col)) return CategoryTable[ColumnCategory(col)].Caption;
    if (IsMetricColumn(col)) {
        const auto& row = MetricaTable[col - gcFirstMetric + 1];
        return row.ShortName.empty() ? row.Caption : row.ShortName;
    }
    return {};
}

bool GridColumnCaptionTranslated(int col) {
    return (col >= 0 && col < static_cast<int>(kFixedCaptions.size())) || IsFieldColumn(col) ||
           IsCategoryColumn(col);
}

std::string GridColumnCaption(int col) {
    std::string_view src = GridColumnCaptionSource(col);
    if (GridColumnCaptionTranslated(col)) return Tr(std::string(src).c_str());
    return std::string(src);
}

std::string CellText(const TURLTaskInfo* task, TMetricaStrategy s, int col) {
    if (!task) return {};
    switch (col) {
        case gcNumber:
            return std::to_string(task->Num);
        case gcURL:
            return task->URL;
        case gcError:
            return task->TaskResults ? task->TaskResults->ErrorText(s) : std::string();
        default:
            if (!task->TaskResults) return {};
            if (IsFieldColumn(col)) return FieldCellText(*task->TaskResults, s, col);
            return task->TaskResults->ValueTextByColNum(col, s);
    }
}

TFieldCategory FieldCellCategory(const TURLTaskInfo* task, TMetricaStrategy s, int col) {
    if (!task || !task->TaskResults || !IsFieldColumn(col)) return fcNone;
    const TFieldData& data = task->TaskResults->FieldData[s];
    switch (col) {
        case gcCwv:
            return data.Verdict == cvPassed ? fcFast : data.Verdict == cvFailed ? fcSlow : fcNone;
        case gcField:
            return fcNone;
        default: {
            const TFieldMetricValue& v = data[FieldMetricOfColumn(col)];
            return v.Present ? v.Category : fcNone;
        }
    }
}

}  // namespace velmora
