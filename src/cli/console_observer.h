// How velmora-cli shows a run: log lines and a progress bar on stderr, and each finished task
// handed on (to the JSON Lines output).
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "engine/run_controller.h"

namespace velmora::cli {

class TConsoleObserver final : public IRunObserver {
  public:
    TConsoleObserver(const TURLTaskInfoList& master, bool quiet, bool progressBar)
        : FMaster(master), FQuiet(quiet), FProgressBar(progressBar) {}

    // Called with each task whose results have just come in, and at the end with each one a
    // daily quota left unchecked.
    void SetOnTaskFinished(std::function<void(const TURLTaskInfo&)> fn) {
        FOnTaskFinished = std::move(fn);
    }

    void TaskFinished(const TURLTaskInfo& task) override;
    void Progress(const TProgressStep& step) override;
    void Log(const TMsgForLog& line) override;
    void RunEnded(const TRunEnd& end) override;
    // Takes the bar off the terminal, as at a run's end.
    void EndProgress();

  private:
    void DrawBar();
    void ClearBar();

    const TURLTaskInfoList& FMaster;
    bool FQuiet;
    bool FProgressBar;
    bool FBarShown = false;
    int FMax = 0;
    int FPos = 0;
    std::function<void(const TURLTaskInfo&)> FOnTaskFinished;
};

}  // namespace velmora::cli
