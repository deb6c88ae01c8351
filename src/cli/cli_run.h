// The whole run of velmora-cli: settings, import, check, export.
#pragma once

#include <atomic>
#include <string>

#include "cli/cli_options.h"
#include "engine/tasks.h"
#include "io/csv.h"

namespace velmora::session {
class TRunSession;
}

namespace velmora::cli {

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitBudgetBroken = 1;  // listed on stderr
inline constexpr int kExitBadInput = 2;
inline constexpr int kExitHistoryLost = 3;  // the run is checked, the history lacks part of it
inline constexpr int kExitAborted = 130;

// exeDir ends with "/". Returns the process exit status.
int RunCli(const TCliOptions& options, const std::string& exeDir);

// "velmora-cli: text" on stderr.
void Complain(const std::string& text);
// Writes one strategy's grid as CSV, in the session's code page, unless path is empty; false
// after a message.
bool ExportStrategy(const std::string& path, const session::TRunSession& session,
                    TMetricaStrategy s, const TURLTaskInfoList& master);
// Writes every advice item of both strategies as CSV unless path is empty; false after a message.
bool ExportAdvice(const std::string& path, const session::TRunSession& session,
                  const TURLTaskInfoList& master);

// Says why a CSV could not be written, or that it was written in UTF-8; false for the former.
bool ReportCsv(const std::string& path, const TResult<io::TCsvExport>& written);

// Asks a run in progress to abort, as the abort button does; safe in a signal handler.
void RequestAbortFromSignal();
// What RequestAbortFromSignal sets.
const std::atomic<bool>& AbortSignalled();

}  // namespace velmora::cli
