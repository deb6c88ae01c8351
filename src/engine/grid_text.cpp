#include "engine/grid_text.h"

#include "base/translate.h"

namespace velmora {

namespace {
// Indexed by TGridColumn up to the first metric.
constexpr std::array<std::string_view, gcFirstMetric> kFixedCaptions{"№", "URL", "Ошибка", "Score",
                                                                     "Инфо"};
}  // namespace

std::string_view GridColumnCaptionSource(int col) {
    if (col >= 0 && col < static_cast<int>(kFixedCaptions.size())) return kFixedCaptions[col];
    if (IsMetricColumn(col)) {
        const auto& row = MetricaTable[col - gcFirstMetric + 1];
        return row.ShortName.empty() ? row.Caption : row.ShortName;
    }
    return {};
}

bool GridColumnCaptionTranslated(int col) {
    return col >= 0 && col < static_cast<int>(kFixedCaptions.size());
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
            return task->TaskResults ? task->TaskResults->ValueTextByColNum(col, s) : std::string();
    }
}

}  // namespace velmora
