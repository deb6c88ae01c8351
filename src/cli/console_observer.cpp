#include "cli/console_observer.h"

#include "base/translate.h"

namespace velmora::cli {

void TConsoleObserver::TaskFinished(const TURLTaskInfo& task) {
    if (FOnTaskFinished) FOnTaskFinished(task);
}

void TConsoleObserver::Progress(const TProgressStep& step) {
    FPos = step.Done;
    FMax = step.Total;
    if (!FProgressBar || FQuiet) return;
    FBarShown = true;
    DrawBar();
}

void TConsoleObserver::Log(const TMsgForLog& line) {
    const bool warning = line.Level == TLogLevel::Warning;
    if (FQuiet && !warning) return;
    // The window shows the newest line first; a terminal reads best oldest first, as they come.
    ClearBar();
    if (warning)
        std::fprintf(stderr, "velmora-cli: %s\n", line.MsgText.c_str());
    else
        std::fprintf(stderr, "%s %s\n", FormatLogTime(line.MsgTime).c_str(), line.MsgText.c_str());
    if (FBarShown) DrawBar();
}

void TConsoleObserver::EndProgress() {
    ClearBar();
    FBarShown = false;
}

void TConsoleObserver::RunEnded(const TRunEnd& end) {
    EndProgress();
    for (int32_t num : end.LeftByQuota)
        if (const TURLTaskInfo* task = FMaster.FindByNum(num)) TaskFinished(*task);
}

void TConsoleObserver::DrawBar() {
    constexpr int kWidth = 40;
    int max = FMax > 0 ? FMax : 1;
    int pos = FPos > max ? max : FPos;
    int filled = pos * kWidth / max;
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '.');
    std::fprintf(stderr, "\r[%s] %d/%d", bar.c_str(), FPos, FMax);
    std::fflush(stderr);
}

void TConsoleObserver::ClearBar() {
    if (!FBarShown) return;
    std::fprintf(stderr, "\r\033[K");
}

}  // namespace velmora::cli
