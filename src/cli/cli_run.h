// The whole run of velmora-cli: settings, import, check, export.
#pragma once

#include <string>

#include "cli/cli_options.h"

namespace velmora::cli {

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitBudgetBroken = 1;  // listed on stderr
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitAborted = 130;

// exeDir ends with "/". Returns the process exit status.
int RunCli(const TCliOptions& options, const std::string& exeDir);

// Asks a run in progress to abort, as the abort button does; safe in a signal handler.
void RequestAbortFromSignal();

}  // namespace velmora::cli
