// What a result-grid cell shows; the CSV export writes the same texts.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "engine/grid_columns.h"
#include "engine/tasks.h"

namespace velmora {

// Untranslated caption of grid column col (see TGridColumn). The fixed columns' captions are
// message patterns for the translation function; the metric captions come from the catalogue as
// they are.
std::string_view GridColumnCaptionSource(int col);
// Whether the caption goes through the translation function.
bool GridColumnCaptionTranslated(int col);
// The caption in the language in force.
std::string GridColumnCaption(int col);

// Cell text for strategy s and column col; empty for a null task.
std::string CellText(const TURLTaskInfo* task, TMetricaStrategy s, int col);

// The category a real-user cell is coloured by: the p75's own for the metric columns, good or
// poor for the Core Web Vitals verdict; fcNone for every other cell.
TFieldCategory FieldCellCategory(const TURLTaskInfo* task, TMetricaStrategy s, int col);

}  // namespace velmora
