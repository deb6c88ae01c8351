// Run control as the window sees it: the window effects the controller asks for, the worker
// events through the window's queue, the buttons and the log pane.
#include <QCoreApplication>
#include <QDateTime>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>

#include "app/grid_model.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/score_chart.h"
#include "app/translate.h"
#include "base/translate.h"

namespace velmora::app {

void TfmMain::btRunRequestsClick() {
    if (FController) FController->btRunRequestsClick(TRunSender::btRunRequests);
}

void TfmMain::btAbortRequestsClick() {
    if (FController) FController->btAbortRequestsClick();
}

void TfmMain::UpdateRunButtons() {
    if (FController) FController->UpdateRunButtons();
}

void TfmMain::AddToLog(const QString& sMessage) {
    InsertLogRow(FormatLogTime(std::chrono::system_clock::now()), sMessage.toStdString());
}

void TfmMain::Post(TWorkerEvent event) {
    QCoreApplication::postEvent(this, new TWorkerQEvent(std::move(event)));
}

bool TfmMain::event(QEvent* e) {
    const int type = e->type();
    if (type == WM_TASK_FINISHED || type == WM_TASK_LOG || type == WM_REQUEST_SENT) {
        auto* we = static_cast<TWorkerQEvent*>(e);
        ++FDelivered;
        if (FController) {
            ObserveWorkerEvent(we->Event);
            FController->WndProc(std::move(we->Event));
            EndRunProgressIfIdle();
        } else if (we->Event.Log) {
            // The start-up line arrives before the run control may exist.
            InsertLogRow(FormatLogTime(we->Event.Log->MsgTime), we->Event.Log->MsgText);
        }
        return true;
    }
    return QMainWindow::event(e);
}

void TfmMain::ShutdownRun() {
    if (!FController || !FController->Running()) return;
    FController->Shutdown([this] {
        const int before = FDelivered;
        QCoreApplication::sendPostedEvents(this);
        return FDelivered != before;
    });
}

void TfmMain::RunTaskStarted(int32_t num) {
    const auto now = FProgressClock();
    if (!FRunProgress.Active()) {
        // The first worker of a run: the pool holds the rest of its tasks.
        TURLTaskInfoPool* pool = FController ? FController->CurrentPool() : nullptr;
        FRunProgress.Start(pool ? static_cast<int>(pool->Count()) + 1 : 1, now);
        if (!FStuckTimer) {
            FStuckTimer = new QTimer(this);
            FStuckTimer->setInterval(5000);
            connect(FStuckTimer, &QTimer::timeout, this, &TfmMain::CheckStuckRequests);
        }
        FStuckTimer->start();
    }
    FRunProgress.TaskStarted(num, now);
    InvalidateTaskNum(num);
    ShowProgressText();
}

void TfmMain::ObserveWorkerEvent(const TWorkerEvent& event) {
    if (event.Id == WM_TASK_LOG && event.Log && event.Log->TaskNum > 0) {
        FRunProgress.TaskActivity(event.Log->TaskNum, FProgressClock());
    } else if (event.Id == WM_TASK_FINISHED && event.Task) {
        FRunProgress.TaskFinished(*event.Task);
        // A task the merge drops (aborted) still loses its "checking" mark.
        InvalidateTaskNum(event.Task->Num);
    }
}

void TfmMain::EndRunProgressIfIdle() {
    if (FController->Running()) {
        ShowProgressText();
        return;
    }
    if (!FRunProgress.Active()) return;
    if (FStuckTimer) FStuckTimer->stop();
    AddToLog(FRunProgress.Finish(FProgressClock()));
    RepaintAllRows();
}

void TfmMain::ShowProgressText() {
    if (!FRunProgress.Active()) return;
    FUi->pbProgress->setMaximum(std::max(FRunProgress.Total(), 1));
    FUi->pbProgress->setValue(FRunProgress.Done());
    FUi->pbProgress->setFormat(FRunProgress.ProgressText(FProgressClock()));
    FUi->pbProgress->setTextVisible(true);
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

// ---- ICheckRunWindow

void TfmMain::SetButtonEnabled(TRunButton button, bool enabled) {
    QPushButton* b = nullptr;
    switch (button) {
        case TRunButton::btRunRequests:
            FRunAllowed = enabled;
            b = FUi->btRunRequests;
            break;
        case TRunButton::btAbortRequests:
            b = FUi->btAbortRequests;
            break;
        case TRunButton::btInsertURLs4Clip:
            b = FUi->btInsertURLs4Clip;
            break;
        case TRunButton::btImportURLs4TXT:
            b = FUi->btImportURLs4TXT;
            break;
        case TRunButton::btImportURLs4XML:
            // Both sitemap imports go together.
            FUi->btImportURLs4Web->setEnabled(enabled);
            b = FUi->btImportURLs4XML;
            break;
        case TRunButton::btExport:
            b = FUi->btExport;
            break;
    }
    if (b) b->setEnabled(enabled);
}

void TfmMain::SetParamsEnabled(bool enabled) {
    FUi->gbParams->setEnabled(enabled);
}

void TfmMain::ShowProgress(bool visible) {
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

int TfmMain::ProgressPos() const {
    // QProgressBar reports minimum - 1 before its first value; the position is then 0.
    return qMax(FUi->pbProgress->value(), 0);
}

void TfmMain::ShowLogTab() {
    FUi->pcBottom->setCurrentWidget(FUi->tsLog);
}

void TfmMain::RepaintAllRows() {
    FModelD->RepaintAll();
    FModelM->RepaintAll();
}

void TfmMain::InvalidateTaskRow(const TURLTaskInfo& task) {
    GridModel(ShownStrategy())->RepaintTask(task);
}

void TfmMain::UpdateScoreChart() {
    FUi->crtURLScore->UpdateScoreChart(FMaster, ShownStrategy());
}

void TfmMain::pcStrategyChange() {
    UpdateScoreChart();
}

void TfmMain::pcPagesChange() {
    // Only a language change makes the chart's texts stale; it relabels on the way back.
    if (FUi->pcPages->currentWidget() != FUi->tsURLs || !FChartNeedsRelabel) return;
    FChartNeedsRelabel = false;
    UpdateScoreChart();
}

void TfmMain::ShowErrorBox(const std::string& text) {
    QMessageBox::critical(this, windowTitle(), QString::fromStdString(text));
}

TMetricaStrategy TfmMain::ShownStrategy() const {
    return FUi->pcStrategy->currentIndex() == 0 ? msDesktop : msMobile;
}

std::vector<TShownRow> TfmMain::ShownGridRows() const {
    const TMetricaStrategy s = ShownStrategy();
    QTableView* grid = s == msDesktop ? FUi->vtURLsD : FUi->vtURLsM;
    TURLGridModel* model = GridModel(s);
    std::vector<TShownRow> rows;
    const int n = model->rowCount();
    rows.reserve(static_cast<size_t>(n));
    QItemSelectionModel* sel = grid->selectionModel();
    for (int r = 0; r < n; ++r)
        rows.push_back({sel->isRowSelected(r, QModelIndex()), model->TaskAt(r)});
    return rows;
}

void TfmMain::InsertLogRow(const std::string& timeText, const std::string& message) {
    FUi->lvLog->insertRow(0);
    FUi->lvLog->setItem(0, 0, new QTableWidgetItem(QString::fromStdString(timeText)));
    auto* item = new QTableWidgetItem(QString::fromStdString(message));
    item->setToolTip(item->text());
    FUi->lvLog->setItem(0, 1, item);
}

}  // namespace velmora::app
