// velmora-cli's commands on the run history: runs, compare, export and delete.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "engine/site_summary.h"
#include "session/run_session.h"

namespace velmora::cli {

// Runs o.Command against the session's history (the reason it has none is on stderr
// already). Returns the exit status.
// export writes the summary CSVs with groupRules.
int RunHistoryCommand(const TCliOptions& o, session::TRunSession& session,
                      const std::vector<TGroupRule>& groupRules);

}  // namespace velmora::cli
