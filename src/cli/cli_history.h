// velmora-cli and the run history: keeping a check as it goes, resuming it, and the commands
// runs, compare, export and delete.
#pragma once

#include <memory>
#include <string>

#include "cli/cli_options.h"
#include "engine/run_controller.h"
#include "history/history_store.h"
#include "history/run_recorder.h"
#include "io/settings.h"

namespace velmora::cli {

// Begins and finishes the run itself (the end only after the late results are in); the
// controller reports the merged tasks.
class TCliHistory final : public IRunObserver {
  public:
    // The history the options and settings name, or null when it is switched off or cannot be
    // opened (then after one message on stderr: the check goes on without it).
    static std::unique_ptr<TCliHistory> Open(const TCliOptions& o, const io::TSettingsValues& s);

    history::IHistoryStore& Store() { return recorder_.Store(); }

    // Starts keeping a new run of the master list.
    void Begin(const TURLTaskInfoList& master, const std::string& lang,
               const std::string& settings);
    // Loads the last unfinished run into master and keeps writing to it; false (after a
    // message) when there is none. lang becomes the run's language.
    bool Resume(TURLTaskInfoList& master, std::string& lang);
    void RunStarted(TRunSender) override {}
    void TaskMerged(const TURLTaskInfo& task) override;
    void RunEnded(bool) override {}
    // Writes what is queued and records how the run ended.
    void Finish(bool aborted, const TURLTaskInfoList& master);

  private:
    TCliHistory(std::unique_ptr<history::IHistoryStore> store, int keep)
        : recorder_(std::move(store), keep) {}
    void ReportWriteError();

    history::TRunRecorder recorder_;
    bool reported_ = false;
};

// Runs o.Command against the history (null: it could not be opened); lang is the language
// in force. Returns the exit status.
int RunHistoryCommand(const TCliOptions& o, TCliHistory* history, const std::string& lang);

}  // namespace velmora::cli
