// Run control as the window sees it: its buttons start and abort runs through the session,
// and the session's observer calls keep the grids, the progress bar and the log up to date.
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>

#include "app/across_pages.h"
#include "app/grid_model.h"
#include "app/history_page.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/score_chart.h"
#include "app/translate.h"
#include "app/url_grids.h"
#include "base/translate.h"
#include "session/run_session.h"

namespace velmora::app {

void TfmMain::btRunRequestsClick() {
    // A full run clears every result first: losing them is asked, as a delete is.
    if (!Running() && AnyChecked(FMaster) &&
        !FUrlGrids->ConfirmLoss(
            TrQ("Проверить все URL заново? Текущие результаты будут потеряны.")))
        return;
    StartRun(TRunScope::All);
}

void TfmMain::btAbortRequestsClick() {
    if (!Running()) return;
    FUi->btAbortRequests->setEnabled(false);
    FSession->Abort();
}

void TfmMain::btContinueRequestsClick() {
    if (!CanContinue()) return;
    const auto& opened = FUi->tsHistory->OpenedRun();
    if (opened && history::Resumable(opened->State)) return FUi->tsHistory->ResumeRun(opened->Id);
    StartRun(TRunScope::Unchecked);
}

bool TfmMain::CanContinue() const {
    return FRunAllowed && !FUrlGrids->Comparing() && AnyChecked(FMaster) &&
           !FSession->Controller().UncheckedNums().empty();
}

bool TfmMain::Running() const {
    return FSession && FSession->Running();
}

history::TRunRecorder* TfmMain::HistoryRecorder() const {
    return FSession ? FSession->History() : nullptr;
}

void TfmMain::StartRun(TRunScope scope) {
    if (!FSession || Running()) return;
    const TResult<bool> started = FSession->Start(
        scope, scope == TRunScope::Selected ? SelectedNums() : std::vector<int32_t>{});
    // A full run cleared every result, whether it started or not.
    if (scope == TRunScope::All) RepaintAllRows();
    if (!started) {
        QMessageBox::critical(this, windowTitle(), QString::fromStdString(started.Error()));
        return;
    }
    if (!*started) return;
    ShowStatus(QString());
    UpdateRunButtons();
    ShowProgress(true);
    FUi->gbParams->setEnabled(false);
    FUi->pcBottom->setCurrentWidget(FUi->tsLog);
    FUi->tsHistory->RunStarted();
}

std::vector<int32_t> TfmMain::SelectedNums() const {
    const TMetricaStrategy s = ShownStrategy();
    QTableView* grid = s == msDesktop ? FUi->vtURLsD : FUi->vtURLsM;
    TURLGridModel* model = GridModel(s);
    QItemSelectionModel* sel = grid->selectionModel();
    std::vector<int32_t> nums;
    // Rows the filter hides are not acted on, though a select-all takes them in.
    for (int r = 0; r < model->rowCount(); ++r)
        if (TURLTaskInfo* task = model->TaskAt(r);
            task && !grid->isRowHidden(r) && sel->isRowSelected(r, QModelIndex()))
            nums.push_back(task->Num);
    return nums;
}

void TfmMain::UpdateRunButtons() {
    const bool idle = !Running();
    FRunAllowed = FSession && idle && !FMaster.Empty();
    FUi->btRunRequests->setEnabled(FRunAllowed);
    FUi->btContinueRequests->setEnabled(CanContinue());
    FUi->btAbortRequests->setEnabled(!idle);
    FUi->btInsertURLs4Clip->setEnabled(idle);
    FUi->btImportURLs4TXT->setEnabled(idle);
    // Both sitemap imports go together.
    FUi->btImportURLs4XML->setEnabled(idle);
    FUi->btImportURLs4Web->setEnabled(idle);
    FUi->btImportURLs4Crawl->setEnabled(idle);
    // Results already had stay exportable after a cancel; rows never checked export blank.
    FUi->btExport->setEnabled(idle && AnyChecked(FMaster));
    FUi->btExportSheet->setEnabled(FUi->btExport->isEnabled());
    FUi->btSaveReport->setEnabled(FUi->btExport->isEnabled());
}

void TfmMain::ShowStatus(const QString& text) {
    statusBar()->showMessage(text);
}

void TfmMain::AddToLog(const QString& sMessage, TLogLevel level) {
    InsertLogRow(FormatLogTime(std::chrono::system_clock::now()), sMessage.toStdString(), level);
}

void TfmMain::cbLogErrorsOnlyClick(bool errorsOnly) {
    for (int r = 0; r < FUi->lvLog->rowCount(); ++r) {
        const QTableWidgetItem* time = FUi->lvLog->item(r, 0);
        const bool info = !time || time->data(Qt::UserRole).toInt() == int(TLogLevel::Info);
        FUi->lvLog->setRowHidden(r, errorsOnly && info);
    }
}

void TfmMain::ShutdownRun() {
    if (FSession) FSession->Shutdown();
}

// ---- IRunObserver

void TfmMain::TaskFinished(const TURLTaskInfo& task) {
    InvalidateTaskRow(task);
    UpdateScoreChart();
}

void TfmMain::Progress(const TProgressStep& step) {
    if (step.StartedNum) RunTaskStarted(step.StartedNum, step.RunTasks);
    if (step.Finished) {
        FRunProgress.TaskFinished(*step.Finished);
        // A task the merge drops (aborted) still loses its "checking" mark.
        InvalidateTaskNum(step.Finished->Num);
    }
    if (FRunProgress.Active()) return ShowProgressText();
    SetProgressMax(step.Total);
    SetProgressPos(step.Done);
}

void TfmMain::ShowProgress(bool visible) {
    // The text straddles the fill and the empty part; styles that draw all of it in the
    // highlighted text colour (white) lose it on the empty part: one dark colour reads on both.
    QPalette palette = FUi->pbProgress->palette();
    palette.setColor(QPalette::HighlightedText, palette.color(QPalette::Text));
    FUi->pbProgress->setPalette(palette);
    FUi->pProgress->setVisible(visible);
}

void TfmMain::SetProgressMax(int max) {
    // During a run the bar counts the run's own tasks, which may be fewer than the list's.
    if (FRunProgress.Active()) return ShowProgressText();
    FUi->pbProgress->setTextVisible(false);
    FUi->pbProgress->setMaximum(max);
}

void TfmMain::SetProgressPos(int pos) {
    if (FRunProgress.Active()) return ShowProgressText();
    FUi->pbProgress->setValue(pos);
}

void TfmMain::Log(const TMsgForLog& line) {
    if (line.TaskNum > 0) FRunProgress.TaskActivity(line.TaskNum, FProgressClock());
    if (line.QuotaWaitUntil) {
        FRunProgress.QuotaWait(*line.QuotaWaitUntil);
        ShowProgressText();
    }
    InsertLogRow(FormatLogTime(line.MsgTime), line.MsgText, line.Level);
}

void TfmMain::RunEnded(const TRunEnd& end) {
    for (int32_t num : end.LeftByQuota) InvalidateTaskNum(num);
    UpdateRunButtons();
    FUi->gbParams->setEnabled(true);
    ShowProgress(false);
    FUi->tsHistory->RunEnded();
    EndRunProgress();
    ShowAcrossPages();
}

void TfmMain::RunTaskStarted(int32_t num, int runTasks) {
    const auto now = FProgressClock();
    if (!FRunProgress.Active()) {
        FRunProgress.Start(runTasks, now);
        if (!FStuckTimer) {
            FStuckTimer = new QTimer(this);
            // Every second: a quota's wait counts down in the progress text meanwhile.
            FStuckTimer->setInterval(1000);
            connect(FStuckTimer, &QTimer::timeout, this, [this] {
                CheckStuckRequests();
                ShowProgressText();
            });
        }
        FStuckTimer->start();
        FRunRequestsSeen = 0;
        FUi->lbPace->show();
    }
    FRunProgress.TaskStarted(num, now);
    InvalidateTaskNum(num);
    ShowProgressText();
}

void TfmMain::EndRunProgress() {
    if (!FRunProgress.Active()) return;
    if (FStuckTimer) FStuckTimer->stop();
    FUi->lbPace->hide();
    const auto now = FProgressClock();
    const bool notify = FRunProgress.TookLong(now);
    const QString summary = FRunProgress.Finish(now, FMaster);
    AddToLog(summary);
    ShowStatus(summary);
    RepaintAllRows();
    if (notify && FUrlGrids->Dialogs.Notify) FUrlGrids->Dialogs.Notify(windowTitle(), summary);
}

void TfmMain::ShowProgressText() {
    if (!FRunProgress.Active()) return;
    FUi->pbProgress->setMaximum(std::max(FRunProgress.Total(), 1));
    FUi->pbProgress->setValue(FRunProgress.Done());
    FUi->pbProgress->setFormat(FRunProgress.ProgressText(FProgressClock()));
    FUi->pbProgress->setTextVisible(true);
    ShowPaceText();
}

void TfmMain::ShowPaceText() {
    TURLTaskInfoPool* pool = FSession ? FSession->Controller().CurrentPool() : nullptr;
    if (!pool) return;
    const QDate today = QDate::currentDate();
    const int requests = pool->Requests();
    FRequestsToday.Add(today, requests - FRunRequestsSeen);
    FRunRequestsSeen = requests;
    FUi->lbPace->setText(TRunProgress::PaceText(FRequestsToday.Count(today), pool->GapMs()));
}

void TfmMain::CheckStuckRequests() {
    for (int32_t num : FRunProgress.NewlyStuck(FProgressClock()))
        AddToLog(
            QString::fromStdString(FormatLog(Tr("URL %d: запрос ждёт ответа дольше минуты"), num)));
}

void TfmMain::InvalidateTaskNum(int32_t num) {
    if (TURLTaskInfo* task = FMaster.FindByNum(num)) {
        FModelD->RepaintTask(*task);
        FModelM->RepaintTask(*task);
    }
}

void TfmMain::RepaintAllRows() {
    FModelD->RepaintAll();
    FModelM->RepaintAll();
}

void TfmMain::InvalidateTaskRow(const TURLTaskInfo& task) {
    GridModel(ShownStrategy())->RepaintTask(task);
}

void TfmMain::UpdateScoreChart() {
    const QVariant category = FUi->cbScoreCategory->currentData();
    FUi->crtURLScore->UpdateScoreChart(
        FMaster, ShownStrategy(),
        category.isValid() ? static_cast<TCategory>(category.toInt()) : ctPerformance);
}

void TfmMain::FillScoreCategories() {
    const QVariant shown = FUi->cbScoreCategory->currentData();
    const TCategorySet chosen = ChosenCategories();
    const QSignalBlocker quiet(FUi->cbScoreCategory);
    FUi->cbScoreCategory->clear();
    for (size_t c = 0; c < CategoryTable.size(); ++c) {
        if (!HasCategory(chosen, static_cast<int>(c))) continue;
        FUi->cbScoreCategory->addItem(CategoryName(static_cast<TCategory>(c)), static_cast<int>(c));
    }
    const int keep = FUi->cbScoreCategory->findData(shown);
    FUi->cbScoreCategory->setCurrentIndex(keep >= 0 ? keep : 0);
    // With performance alone there is nothing to choose.
    FUi->cbScoreCategory->setVisible(chosen != kPerformanceOnly);
}

void TfmMain::pcStrategyChange() {
    UpdateScoreChart();
    ShowAcrossPages();
}

void TfmMain::ShowAcrossPages() {
    if (FUi->pcStrategy->currentWidget() != FUi->tsAcross) return;
    std::vector<const TURLTaskInfo*> rows;
    rows.reserve(FMaster.Count());
    for (size_t i = 0; i < FMaster.Count(); ++i) rows.push_back(&FMaster[i]);
    FUi->tsAcross->Show(rows, GroupRules());
}

void TfmMain::pcPagesChange() {
    // Only a language change makes the chart's texts stale; it relabels on the way back.
    if (FUi->pcPages->currentWidget() == FUi->tsURLs) ShowAcrossPages();
    if (FUi->pcPages->currentWidget() != FUi->tsURLs || !FChartNeedsRelabel) return;
    FChartNeedsRelabel = false;
    UpdateScoreChart();
}

TMetricaStrategy TfmMain::ShownStrategy() const {
    const QWidget* shown = FUi->pcStrategy->currentWidget();
    if (shown == FUi->tsAcross) return FUi->tsAcross->Strategy();
    return shown == FUi->tsURLsD ? msDesktop : msMobile;
}

void TfmMain::InsertLogRow(const std::string& timeText, const std::string& message,
                           TLogLevel level) {
    FUi->lvLog->insertRow(0);
    auto* time = new QTableWidgetItem(QString::fromStdString(timeText));
    time->setData(Qt::UserRole, int(level));
    FUi->lvLog->setItem(0, 0, time);
    auto* item = new QTableWidgetItem(QString::fromStdString(message));
    item->setToolTip(item->text());
    if (level != TLogLevel::Info) item->setForeground(QColor(0xB0, 0x00, 0x20));
    FUi->lvLog->setItem(0, 1, item);
    if (level == TLogLevel::Info && FUi->cbLogErrorsOnly->isChecked())
        FUi->lvLog->setRowHidden(0, true);
}

}  // namespace velmora::app
