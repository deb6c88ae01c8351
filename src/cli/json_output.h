// Results for pipelines: one JSON object per URL and strategy (JSON Lines), as each finishes.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

#include "base/result.h"
#include "cli/regression_gate.h"
#include "engine/tasks.h"

namespace velmora::cli {

// A stable lower-case word for a check's outcome: ok, not_html, quota, ...
std::string_view StatusWord(TTaskResult r);

// The line (without its newline) describing one strategy's results of a task; with a run to
// compare with, also how the page changed since ("change").
std::string ResultJsonLine(const TURLTaskInfo& task, TMetricaStrategy s,
                           const TAgainstRun* against = nullptr);

// Writes the lines to a file, or to stdout for "-", flushing after each task so that a
// reader of the pipe sees results as they come.
class TJsonLinesWriter {
  public:
    ~TJsonLinesWriter();
    TResult<> Open(const std::string& path);
    void WriteTask(const TURLTaskInfo& task, const TAgainstRun* against = nullptr);
    // One line more, given without its newline.
    void WriteLine(const std::string& line);
    bool IsOpen() const { return FFd >= 0; }
    // Whether the task with this number has had its lines written.
    bool Wrote(int32_t num) const { return FWritten.count(num) != 0; }
    // The first write failure, or success.
    TResult<> Close();

  private:
    int FFd = -1;
    bool FOwnsFd = false;
    int FWriteErrno = 0;
    std::string FPath;
    std::unordered_set<int32_t> FWritten;
};

}  // namespace velmora::cli
