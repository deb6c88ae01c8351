// The CLI's stand-in for the main window: log lines and a progress bar on stderr.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/run_controller.h"

namespace velmora::cli {

class TConsoleWindow final : public ICheckRunWindow {
  public:
    TConsoleWindow(TURLTaskInfoList& master, bool quiet, bool progressBar)
        : FMaster(master), FQuiet(quiet), FProgressBar(progressBar) {}

    void SetButtonEnabled(TRunButton, bool) override {}
    void SetParamsEnabled(bool) override {}
    void ShowProgress(bool visible) override;
    void SetProgressMax(int max) override { FMax = max; }
    void SetProgressPos(int pos) override;
    int ProgressPos() const override { return FPos; }
    void ShowLogTab() override {}
    void RepaintAllRows() override {}
    void InvalidateTaskRow(const TURLTaskInfo& task) override {
        if (FOnTaskFinished) FOnTaskFinished(task);
    }
    // Called with each task whose results have just come in (the JSON output).
    void SetOnTaskFinished(std::function<void(const TURLTaskInfo&)> fn) {
        FOnTaskFinished = std::move(fn);
    }
    void UpdateScoreChart() override {}
    void ShowErrorBox(const std::string& text) override;
    TMetricaStrategy ShownStrategy() const override { return msDesktop; }
    std::vector<TShownRow> ShownGridRows() const override;
    void InsertLogRow(const std::string& timeText, const std::string& message) override;

  private:
    void DrawBar();
    void ClearBar();

    TURLTaskInfoList& FMaster;
    bool FQuiet;
    bool FProgressBar;
    bool FBarShown = false;
    int FMax = 0;
    int FPos = 0;
    std::function<void(const TURLTaskInfo&)> FOnTaskFinished;
};

}  // namespace velmora::cli
