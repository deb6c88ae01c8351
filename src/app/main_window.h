// The main window: URL page with the grids, button column, news and log; settings page.
#pragma once

#include <QEvent>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QMargins>
#include <QRect>
#include <QSet>
#include <QStringList>
#include <memory>
#include <string>

#include "app/app_options.h"
#include "app/run_progress.h"
#include "app/window_translator.h"
#include "engine/run_controller.h"
#include "engine/site_summary.h"
#include "engine/tasks.h"

class QFrame;
class QTimer;
class QGridLayout;
class QGroupBox;
class QTableView;

namespace velmora::io {
struct TSettingsValues;
}
namespace velmora::history {
class TRunRecorder;
}
namespace velmora::session {
class TRunSession;
}

namespace velmora::app {

class TGridFilter;
class TURLGridModel;
class TURLGrids;

class TfmMain : public QMainWindow, public IRunObserver {
    Q_OBJECT
  public:
    explicit TfmMain(TAppOptions options, QWidget* parent = nullptr);
    ~TfmMain() override;

    // The window's controls (main_window_ui.h): built by the layout code and used by the
    // window's own parts only; tests reach them through Ui().
    struct TUi;
    const TUi& Ui() const { return *FUi; }
    // The result grids' behaviour, the imports and the export.
    TURLGrids& UrlGrids() const { return *FUrlGrids; }
    // The filter bar above the grids.
    TGridFilter& GridFilter() const { return *FGridFilter; }
    // The picture list shared by the buttons, tabs, grids and menu.
    const QList<QIcon>& Images() const { return FImages; }

    // --- Start-up, settings and language.
    void FormCreate();
    void FormShow();
    void ApplyLanguage();
    void cbAppLangChange();
    // False when the settings could not be written (the message has been shown).
    bool FormClose();
    void edAPIKeyChange();
    // Shows the key as typed while checked; a password field otherwise.
    void btShowAPIKeyClick(bool shown);
    // The page groups field: read, then kept in the settings file when every rule reads.
    void edGroupsChange();
    // Whether this session writes the settings file: a demo leaves real use's settings alone.
    bool KeepsSettings() const { return !FOptions.Demo; }
    // How long after a parameter's change it is written.
    static constexpr int kParamsSaveDelayMs = 300;
    void edMaxTreadsChange();
    void edMinReqDelayChange();
    void cbImpNoClearURLsClick();
    // Any category check box: the grids show the chosen categories' columns.
    void cbCategoryClick();
    // The categories the settings page's check boxes choose.
    TCategorySet ChosenCategories() const;
    // The strategies the settings page's choice asks for, and that choice's index for a set.
    TStrategySet ChosenStrategies() const;
    static int StrategiesIndex(TStrategySet set);
    // Whether the user (or the range check of a loaded value) changed this parameter's control
    // since start; the close writes the parameters only when one of them changed.
    bool ParamChanged(const QWidget* control) const { return FChangedParams.contains(control); }

    // --- Settings page.
    void sgMetricsClick();
    void lbGotoKeySiteLinkClick();
    void lbGotoSiteLinkClick();
    void lbGotoPublisherSiteLinkClick();
    // The user switched the main pages or the strategy tabs.
    void pcPagesChange();
    void pcStrategyChange();

    // --- Run control.
    void btRunRequestsClick();
    void btAbortRequestsClick();
    // Checks the rows without a result (and those the quota refused); an opened run that did
    // not finish is continued into itself.
    void btContinueRequestsClick();
    // Whether Continue has something to do: some rows are checked, others are not.
    bool CanContinue() const;
    // Starts a run over scope; the selected scope takes the shown grid's selection. Shows why
    // when it cannot start.
    void StartRun(TRunScope scope);
    bool Running() const;
    // The numbers of the rows selected in the grid shown, in display order.
    std::vector<int32_t> SelectedNums() const;
    void UpdateRunButtons();
    void AddToLog(const QString& sMessage, TLogLevel level = TLogLevel::Info);
    // Shows only the log's lines about failures while checked.
    void cbLogErrorsOnlyClick(bool errorsOnly);
    // A message in the status bar at the window's foot, kept until the next one.
    void ShowStatus(const QString& text);
    void UpdateURLListCaption();

    // Code of the language selected in cbAppLang.
    QString SelectedLangCode() const;
    // The system's language code read at creation ("ru", "en", ...; empty when none is set).
    const std::string& SystemLangCode() const { return FSysLangCode; }
    const QString& SettingsPath() const { return FSettingsPath; }
    const QString& AppDir() const { return FOptions.AppDir; }
    TURLTaskInfoList& Master() { return FMaster; }
    // The run session; null until the first show, or when the endpoint is unusable.
    session::TRunSession* Session() const { return FSession.get(); }
    history::TRunRecorder* HistoryRecorder() const;
    TURLGridModel* GridModel(TMetricaStrategy s) const {
        return s == msDesktop ? FModelD : FModelM;
    }
    // The parameters a run starting now would use.
    TRunSettings CurrentRunSettings() const;
    // The address the news pane was pointed at.
    QString NewsUrl() const { return FNewsUrl; }
    // Whether an import keeps the URLs already listed (the settings page's check box).
    bool KeepUrlsOnImport() const;
    // The user's answer to an import's question, kept as the settings' choice.
    void SetKeepUrlsOnImport(bool keep);
    // Whether a run may start now: the run control allows it while idle with URLs listed.
    bool RunAllowed() const { return FRunAllowed; }
    // Loads a text file of URLs through the window's text-file import, as the start-up
    // option does; false when nothing could be read (the message has been shown).
    bool LoadUrlsFromTextFile(const QString& path);
    // A second start of the program asked for this window: it comes to the front and, unless
    // a run is going, loads urlsFile when one was given.
    void ActivateFromSecondStart(const QString& urlsFile);

    // The progress bar below the grids, shown during a run or a long import.
    void ShowProgress(bool visible);
    void SetProgressMax(int max);
    void SetProgressPos(int pos);
    void RepaintAllRows();
    void InvalidateTaskRow(const TURLTaskInfo& task);
    void UpdateScoreChart();
    // The user's page groups from the settings page; the default grouping when none.
    const std::vector<TGroupRule>& GroupRules() const { return FGroupRules; }
    // Summarizes the listed pages on the "Across pages" tab when it is in view.
    void ShowAcrossPages();
    // The score chart's choice of the chosen categories, kept when still chosen.
    void FillScoreCategories();
    TMetricaStrategy ShownStrategy() const;
    // Inserts a line at the top of the log list.
    void InsertLogRow(const std::string& timeText, const std::string& message,
                      TLogLevel level = TLogLevel::Info);

    // IRunObserver
    void TaskFinished(const TURLTaskInfo& task) override;
    void Progress(const TProgressStep& step) override;
    void Log(const TMsgForLog& line) override;
    void RunEnded(const TRunEnd& end) override;

    // The clock of the run's progress texts and of the wait watch; tests set a known one.
    void SetProgressClock(std::function<TRunProgress::TClock::time_point()> clock) {
        FProgressClock = std::move(clock);
    }
    const TRunProgress& RunProgress() const { return FRunProgress; }
    // Looks for requests that have waited too long and logs them (a timer does this during
    // a run).
    void CheckStuckRequests();
    // Fits the window, frame included, into area (a screen's free area), centred.
    void PlaceInArea(const QRect& area);
    // The window manager's frame around the window, or a typical one before it is known.
    QMargins FrameMargins() const;

  protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // Tab and Shift+Tab follow PageTabStops on the pages that have them.
    bool focusNextPrevChild(bool next) override;

  private:
    void CreateComponents();
    QWidget* CreateUrlPage();
    QWidget* CreateButtonColumn();
    // The news and the log below the grids, the log with its errors-only switch.
    void CreateBottomPane();
    QWidget* CreateParamsPage();
    QGroupBox* CreateParamsGroup();
    // The API key's row with its show button and the link below it.
    QGridLayout* CreateApiKeyRows();
    // The Lighthouse categories' check boxes, performance always on.
    QWidget* CreateCategoryBoxes();
    QFrame* CreateAboutBox();
    void ConnectHandlers();
    // The steps of FormShow, in their order.
    void LoadParams(const io::TSettingsValues& settings);
    void CreateRunControl(const io::TSettingsValues& settings);
    void SelectLanguage(QString stored);
    void ShowGridsAndNews();
    // The service's address in force on the settings page, and in the status bar when it is
    // not the service's own.
    void ShowEndpoint(const io::TSettingsValues& settings);
    void ShowVersion();
    void LogStartAndLoadUrls();
    void SetTabOrder();
    // The controls of the page shown in the order Tab visits them: top to bottom, left to
    // right. Empty for a page that keeps the order of its layout.
    std::vector<QWidget*> PageTabStops() const;
    std::vector<QWidget*> ParamsTabStops() const;
    void FillMetricsList();
    void OpenWebPage(const char* path);
    QString NewsAddress() const;
    void ShutdownRun();
    void MarkChanged(const QWidget* control);
    // Writes the parameters when one changed; false when that failed (the reason is in a box
    // when boxOnFailure, else in the log once).
    bool SaveParamsNow(bool boxOnFailure);
    // The run's progress: a worker took a task, an event came in, the run may have ended.
    void RunTaskStarted(int32_t num, int runTasks);
    void EndRunProgress();
    void ShowProgressText();
    // The quota and pace line: requests today and the gap the run keeps now.
    void ShowPaceText();
    void InvalidateTaskNum(int32_t num);
    // Size and place (main_window_placement.cpp).
    void PlaceAtFirstShow();
    void SaveWindowPlacement();

    std::unique_ptr<TUi> FUi;
    QList<QIcon> FImages;
    TURLGrids* FUrlGrids = nullptr;
    TGridFilter* FGridFilter = nullptr;
    TAppOptions FOptions;
    QString FSettingsPath;
    std::string FSysLangCode;
    bool FWindowTranslated = false;
    bool FShown = false;
    bool FClosed = false;
    bool FChartNeedsRelabel = false;
    bool FRunAllowed = false;
    QSet<const QWidget*> FChangedParams;
    QString FNewsUrl;
    TWindowTranslator FTranslator;
    TURLTaskInfoList FMaster;
    TURLGridModel* FModelD = nullptr;
    TURLGridModel* FModelM = nullptr;
    TRunProgress FRunProgress;
    std::function<TRunProgress::TClock::time_point()> FProgressClock = TRunProgress::TClock::now;
    QTimer* FStuckTimer = nullptr;
    TDailyRequests FRequestsToday;
    int FRunRequestsSeen = 0;  // of the running pool's requests, those counted today
    QTimer* FSaveTimer = nullptr;
    QString FLastSaveError;
    std::vector<TGroupRule> FGroupRules;
    // Reads the page groups field into FGroupRules; false, after saying why, when a rule
    // does not read.
    bool ReadGroupRules();
    QRect FStoredGeometry;  // as the settings file had it, or empty
    bool FStoredMaximized = false;
    QRect FPlacedGeometry;  // where the first show put the window
    std::unique_ptr<session::TRunSession> FSession;
    QStringList FStartNotices;
    bool FHandingOver = false;  // a second start's request is being handled  // what opening the
                                // session had to say, logged after the start
};

}  // namespace velmora::app
