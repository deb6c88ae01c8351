// One run session, toolkit-free, shared by the desktop window and velmora-cli: it takes the
// settings file's values and the front end's choices, and owns the endpoint check, the
// language and decimal separator, the run history, the run control and the export of a run.
// A front end puts options or widgets in and implements IRunObserver to see the run.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "engine/run_controller.h"
#include "engine/worker.h"
#include "history/run_recorder.h"
#include "io/csv.h"
#include "io/settings.h"

namespace velmora::session {

// What the front end decided beyond the settings file; empty means "as the settings say".
struct TSessionChoices {
    std::string Endpoint;     // the command line's
    std::string Lang;         // the interface language asked for
    std::string HistoryPath;  // another history file than the settings name
    bool NoHistory = false;
    // Only reading the history (listing, comparing, exporting): nothing is created or changed.
    bool HistoryForReading = false;
    // The decimal separator of the user's locale; 0: the C library's idea of it.
    char DecimalSeparator = 0;
    // The parameters of a run, read when one starts (the window reads its controls).
    TRunController::TSettingsSource RunSettings;
    // How workers reach the service; tests put a scripted client here.
    std::function<std::shared_ptr<http::ICurl>()> NewClient;
    IPacingClock* Clock = nullptr;  // null: the real one
};

// The run history's file the settings and choices name; empty when it is switched off.
std::string HistoryPath(const io::TSettingsValues& settings, const TSessionChoices& choices);

class TRunSession final : private IRunObserver {
  public:
    // Fails only for an endpoint that is no http(s) address. What the user should be told
    // about the start (a key sent in clear, a history put aside or not opened) is in Notices().
    static TResult<std::unique_ptr<TRunSession>> Open(const io::TSettingsValues& settings,
                                                      TSessionChoices choices,
                                                      TURLTaskInfoList& master,
                                                      IRunObserver& frontEnd);
    ~TRunSession() override;
    TRunSession(const TRunSession&) = delete;
    TRunSession& operator=(const TRunSession&) = delete;

    const std::vector<std::string>& Notices() const { return FNotices; }
    const std::string& Endpoint() const { return FWorkers.Config().Endpoint; }
    char DecimalSeparator() const { return FWorkers.Config().DecimalSeparator; }

    // The interface language and the code page of its CSV files.
    const std::string& Lang() const { return FLang; }
    const std::string& CodePage() const { return FCodePage; }
    void UseLanguage(const std::string& code);

    // --- The run.
    TResult<bool> Start(TRunScope scope, const std::vector<int32_t>& selected = {});
    void Abort() { FController.Abort(); }
    bool Running() const { return FController.Running(); }
    TRunController& Controller() { return FController; }
    // Aborts a run in progress and waits for its workers; the history writes what it has.
    void Shutdown();

    // --- The history; null when switched off or not opened.
    history::TRunRecorder* History() { return FRecorder.get(); }
    // The file named as the history is something else, left untouched: no run may go on as if
    // it were recorded.
    bool HistoryRefused() const { return FHistoryRefused; }
    // Where the next run's URLs come from (a URL file's absolute path, a sitemap's address),
    // kept with the run so that a later run of the same source can find it.
    void SetSource(std::string source) { FSource = std::move(source); }
    // The history lacks part of a run this session recorded: its writes failed for good.
    bool HistoryLost() const { return FRecorder && FRecorder->Lost(); }
    // Loads the newest unfinished run into the list, in its own language, to be continued
    // with Start(TRunScope::Unchecked).
    TResult<> LoadUnfinishedRun();
    // Waits until the history has written everything; a lasting write failure is logged.
    void FinishHistory();

    // --- Export in the language's code page.
    TResult<io::TCsvExport> ExportCsv(const std::string& path, TMetricaStrategy s,
                                      const std::vector<const TURLTaskInfo*>& rows) const;
    TResult<io::TCsvExport> ExportAdviceCsv(const std::string& path,
                                            const std::vector<const TURLTaskInfo*>& rows) const;

  private:
    TRunSession(TURLTaskInfoList& master, IRunObserver& frontEnd, TWorkerConfig config,
                TRunController::TSettingsSource runSettings, IPacingClock& clock);
    void OpenHistory(const io::TSettingsValues& settings, const TSessionChoices& choices);
    void RecordStart(TRunScope scope);
    void Warn(const std::string& text);
    void LogHistoryError();

    // IRunObserver: the controller's events, recorded and passed on.
    void TaskFinished(const TURLTaskInfo& task) override;
    void Progress(const TProgressStep& step) override { FFrontEnd.Progress(step); }
    void Log(const TMsgForLog& line) override { FFrontEnd.Log(line); }
    void RunEnded(const TRunEnd& end) override;

    TURLTaskInfoList& FMaster;
    IRunObserver& FFrontEnd;
    TRunController::TSettingsSource FRunSettings;
    TThreadWorkerFactory FWorkers;
    TRunController FController;
    std::unique_ptr<history::TRunRecorder> FRecorder;
    std::string FLang;
    std::string FCodePage;
    std::string FSource;
    std::vector<std::string> FNotices;
    bool FHistoryRefused = false;
};

}  // namespace velmora::session
