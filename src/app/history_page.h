// The History page: the runs kept in the run history, opening one into the grids, deleting
// one; and the window's link to the history while a check runs (it records each run and offers
// to continue an unfinished one at start-up).
#pragma once

#include <QLineEdit>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "engine/run_controller.h"
#include "history/run_recorder.h"

class QAction;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace velmora::io {
struct TSettingsValues;
}

namespace velmora::app {

class TfmMain;
class TRunComparison;

class THistoryPage : public QWidget {
    Q_OBJECT
  public:
    explicit THistoryPage(TfmMain& window);
    ~THistoryPage() override;

    // Shows the session's history (none when it is switched off or could not be opened) with
    // the settings' number of runs to keep.
    void ShowStore(const io::TSettingsValues& settings);
    bool HasStore() const { return Recorder() != nullptr; }
    // The session's recorder, or null.
    history::TRunRecorder* Recorder() const;

    // Fills the list of runs, newest first.
    void RefreshRuns();
    // Offers to continue the newest run when it did not finish; answered later, never modal.
    void OfferResume();
    // Loads the run into the grids. forResume: its unchecked URLs are then checked into it;
    // otherwise it is shown read-only (a later check is kept as a new run).
    bool OpenRun(int64_t runId, bool forResume);
    // Continues the newest unfinished run.
    void ResumeRun(int64_t runId);

    // Id of the run selected in the list, or 0.
    int64_t SelectedRunId() const;
    // Ids of the selected runs, in list order (newest first).
    std::vector<int64_t> SelectedRunIds() const;
    QTableWidget* RunList() const { return lvRuns; }
    // The page's controls in the order Tab visits them: the buttons above the list first.
    std::vector<QWidget*> TabStops() const;

    // Shows the newer of two runs in the grids with each score's and metric's change since
    // the older one; read-only until LeaveCompare, a check or another run is opened.
    bool CompareRuns(int64_t runA, int64_t runB);
    void LeaveCompare();
    // Ends a comparison or closes the opened run: the grids show the list the user had before
    // a run was opened, as it was.
    void ReturnToWorkingList();
    const TRunComparison* Comparison() const { return FComparison.get(); }
    // The texts made here, not designed, follow the interface language.
    void Retranslate();
    // The grids show another list than the opened run (an import replaced it, a check started).
    void ForgetOpenedRun();
    // The run shown read-only in the grids, if one is.
    const std::optional<history::TRunRecord>& OpenedRun() const { return FOpenedRun; }

    // One URL's score over every kept run, oldest first; empty without a history.
    std::vector<history::IHistoryStore::TScorePoint> ScoreTrend(const std::string& url) const;

    void btOpenRunClick();
    // Continues the selected run when it did not finish: its URLs without a result are checked
    // into it.
    void btContinueRunClick();
    // Keeps the newest runs only (0: all), from the next run's end; saved in the settings.
    void edHistoryKeepChange(int keep);
    // Where the history is kept, from the next start; saved in the settings.
    void edHistoryPlaceChange();
    QLayout* CreatePlaceRow();
    void btDeleteRunClick();
    // Gives the selected run a name and a note of the user's.
    void btNameRunClick();
    void btCompareRunsClick();

    // A check started or ended: no comparing meanwhile.
    void RunStarted();
    void RunEnded();

  protected:
    void showEvent(QShowEvent* e) override;

  private:
    void CreateCompareBar();
    void ShowCompareText();
    // Names the opened run in the window's title and the bar above the grids.
    void ShowOpenedRun();
    void UpdateButtons();
    // Puts list into the grids in place of what they show.
    void ShowList(TURLTaskInfoList list);
    bool SelectedRunResumable() const;

    TfmMain& FWindow;
    QTableWidget* lvRuns = nullptr;
    QSpinBox* edHistoryKeep = nullptr;
    QLineEdit* edHistoryPlace = nullptr;
    QLabel* lbHistoryPlaceHint = nullptr;
    std::string FShownPlace;  // as the settings hold it
    QPushButton* btOpenRun = nullptr;
    QPushButton* btContinueRun = nullptr;
    QPushButton* btDeleteRun = nullptr;
    // The list's menu: the buttons' actions, each enabled as its button is.
    QAction* miOpenRun = nullptr;
    QAction* miContinueRun = nullptr;
    QAction* miCompareRuns = nullptr;
    QAction* miNameRun = nullptr;
    QAction* miDeleteRun = nullptr;
    QPushButton* btNameRun = nullptr;
    QPushButton* btRefreshRuns = nullptr;
    QPushButton* btCompareRuns = nullptr;
    QLabel* lbCompare = nullptr;
    QPushButton* btLeaveCompare = nullptr;
    QPushButton* btCloseRun = nullptr;  // of a run opened read-only
    std::unique_ptr<TRunComparison> FComparison;
    std::optional<history::TRunRecord> FOpenedRun;
    // The list the grids showed before a run was opened or compared, with its results.
    std::optional<TURLTaskInfoList> FWorkingList;
    bool FChecking = false;  // between RunStarted and RunEnded
};

}  // namespace velmora::app
