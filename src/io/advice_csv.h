// The advice of every task as one CSV table, for tools that process it further.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "engine/tasks.h"
#include "io/csv.h"

namespace velmora::io {

// The header "URL;Strategy;Group;Audit id;Title;Display value;Score" (in the language in force),
// then one line per advice item of each task, desktop before mobile, groups in catalogue order.
// When a row asked for categories besides performance, a "Category" column (the category's id)
// follows Strategy and their failing audits follow performance's, in the answer's groups.
// Group and strategy are the service's ids; Score is the audit's 0..1 score with the locale's
// decimal separator, empty when the service sent none. Written as ExportGridCsv writes: in the
// code page when everything fits, else in UTF-8; failures read the same.
TResult<TCsvExport> ExportAdviceCsv(const std::string& path, const std::string& codepage,
                                    char decimalSeparator,
                                    const std::vector<const TURLTaskInfo*>& rows);

// "0.5", "0,5", "1", "0.83": the shortest text that reads back as the score.
std::string AdviceScoreText(std::optional<double> score, char decimalSeparator);

}  // namespace velmora::io
