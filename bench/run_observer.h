// What a benchmark sees of a run: the last log line and the progress.
#pragma once

#include <string>

#include "engine/run_controller.h"

namespace velmora::bench {

class TBenchObserver final : public IRunObserver {
  public:
    void TaskFinished(const TURLTaskInfo&) override {}
    void Progress(const TProgressStep& step) override { Done = step.Done; }
    void Log(const TMsgForLog& line) override { LastLog = line.MsgText; }
    void RunEnded(const TRunEnd&) override {}

    int Done = 0;
    std::string LastLog;
};

}  // namespace velmora::bench
