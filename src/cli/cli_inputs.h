// Checks of velmora-cli's inputs and outputs made before the first request, so that no quota is
// spent on a run whose results could not be kept.
#pragma once

#include <string>

#include "base/result.h"
#include "cli/cli_options.h"

namespace velmora::cli {

// Fails, with the reason, when an output is also an input (URL file, sitemap, settings file,
// key file, budget file, the run history at historyPath with its journal files) or another
// output (the spreadsheet export's advice file included), compared after resolving symbolic links
// and hard links, or when an output cannot be created now.
TResult<> CheckOutputs(const TCliOptions& o, const std::string& iniPath,
                       const std::string& historyPath);

}  // namespace velmora::cli
