// Run control as the window sees it: the window effects the controller asks for, the worker
// events through the window's queue, the buttons and the log pane.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>

#include "app/grid_model.h"
#include "app/main_window.h"
#include "app/score_chart.h"
#include "app/translate.h"
#include "app/url_grid.h"
#include "base/translate.h"

namespace velmora::app {

void TfmMain::ConnectHandlers() {
    UrlGrids = new TURLGrids(*this);
    connect(btRunRequests, &QPushButton::clicked, this, &TfmMain::btRunRequestsClick);
    connect(btAbortRequests, &QPushButton::clicked, this, &TfmMain::btAbortRequestsClick);
    // The window's default and cancel buttons: Enter runs, Esc aborts, while they can act.
    auto pressWhenUsable = [](QPushButton* b) {
        if (b->isEnabled() && b->isVisible()) b->animateClick();
    };
    for (int key : {Qt::Key_Return, Qt::Key_Enter})
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this,
                [this, pressWhenUsable] { pressWhenUsable(btRunRequests); });
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            [this, pressWhenUsable] { pressWhenUsable(btAbortRequests); });

    connect(edAPIKey, &QLineEdit::textChanged, this, &TfmMain::edAPIKeyChange);
    connect(edMaxTreads, &QSpinBox::textChanged, this, &TfmMain::edMaxTreadsChange);
    connect(edMinReqDelay, &QSpinBox::textChanged, this, &TfmMain::edMinReqDelayChange);
    connect(cbImpNoClearURLs, &QCheckBox::toggled, this, &TfmMain::cbImpNoClearURLsClick);
    connect(cbAppLang, &QComboBox::activated, this, &TfmMain::cbAppLangChange);
    connect(lvMetrics, &QTableWidget::itemSelectionChanged, this, &TfmMain::sgMetricsClick);
    connect(lbGotoKeySite, &QLabel::linkActivated, this, &TfmMain::lbGotoKeySiteLinkClick);
    connect(lbGotoSite, &QLabel::linkActivated, this, &TfmMain::lbGotoSiteLinkClick);
    connect(Label5, &QLabel::linkActivated, this, &TfmMain::Label5LinkClick);
}

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
            FController->WndProc(std::move(we->Event));
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

// ---- ICheckRunWindow

void TfmMain::SetButtonEnabled(TRunButton button, bool enabled) {
    QPushButton* b = nullptr;
    switch (button) {
        case TRunButton::btRunRequests:
            b = btRunRequests;
            break;
        case TRunButton::btAbortRequests:
            b = btAbortRequests;
            break;
        case TRunButton::btInsertURLs4Clip:
            b = btInsertURLs4Clip;
            break;
        case TRunButton::btImportURLs4TXT:
            b = btImportURLs4TXT;
            break;
        case TRunButton::btImportURLs4XML:
            b = btImportURLs4XML;
            break;
        case TRunButton::btExport:
            b = btExport;
            break;
    }
    if (b) b->setEnabled(enabled);
}

void TfmMain::SetParamsEnabled(bool enabled) {
    gbParams->setEnabled(enabled);
}

void TfmMain::ShowProgress(bool visible) {
    pProgress->setVisible(visible);
}

void TfmMain::SetProgressMax(int max) {
    ProgressBar->setMaximum(max);
}

void TfmMain::SetProgressPos(int pos) {
    ProgressBar->setValue(pos);
}

int TfmMain::ProgressPos() const {
    // QProgressBar reports minimum - 1 before its first value; the position is then 0.
    return qMax(ProgressBar->value(), 0);
}

void TfmMain::ShowLogTab() {
    pcBottom->setCurrentWidget(tsLog);
}

void TfmMain::RepaintAllRows() {
    FModelD->RepaintAll();
    FModelM->RepaintAll();
}

void TfmMain::InvalidateTaskRow(const TURLTaskInfo& task) {
    GridModel(ShownStrategy())->RepaintTask(task);
}

void TfmMain::UpdateScoreChart() {
    crtURLScore->UpdateScoreChart(FMaster, ShownStrategy());
}

void TfmMain::pcStrategyChange() {
    UpdateScoreChart();
}

void TfmMain::pcPagesChange() {
    // Only a language change makes the chart's texts stale; it relabels on the way back.
    if (pcPages->currentWidget() != tsURLs || !FChartNeedsRelabel) return;
    FChartNeedsRelabel = false;
    UpdateScoreChart();
}

void TfmMain::ShowErrorBox(const std::string& text) {
    QMessageBox::critical(this, windowTitle(), QString::fromStdString(text));
}

TMetricaStrategy TfmMain::ShownStrategy() const {
    return pcStrategy->currentIndex() == 0 ? msDesktop : msMobile;
}

std::vector<TShownRow> TfmMain::ShownGridRows() const {
    const TMetricaStrategy s = ShownStrategy();
    QTableView* grid = s == msDesktop ? vtURLsD : vtURLsM;
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
    lvLog->insertRow(0);
    lvLog->setItem(0, 0, new QTableWidgetItem(QString::fromStdString(timeText)));
    lvLog->setItem(0, 1, new QTableWidgetItem(QString::fromStdString(message)));
}

}  // namespace velmora::app
