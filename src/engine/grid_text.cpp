#include "engine/grid_text.h"

#include "engine/events.h"

namespace velmora {

namespace {
constexpr std::array<std::string_view, 5> kFixedCaptions{"№", "URL", "Ошибка", "Score", "Инфо"};
}

std::string_view GridColumnCaptionSource(int col) {
    if (col >= 0 && col < static_cast<int>(kFixedCaptions.size())) return kFixedCaptions[col];
    if (col >= 5 && col < kGridColumnCount) {
        const auto& row = MetricaTable[col - 4];
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
        case 0:
            return std::to_string(task->Num);
        case 1:
            return task->URL;
        case 2:
            return task->TaskResults ? task->TaskResults->ErrorText(s) : std::string();
        default:
            return task->TaskResults ? task->TaskResults->ValueTextByColNum(col, s) : std::string();
    }
}

}  // namespace velmora
