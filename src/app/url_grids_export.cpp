// The exports of the shown list: CSV of the shown grid, the spreadsheet file, the HTML report.
#include <QFile>
#include <QTableView>

#include "app/grid_model.h"
#include "app/history_page.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/run_comparison.h"
#include "app/translate.h"
#include "app/url_grids.h"
#include "base/translate.h"
#include "io/csv.h"
#include "io/import_texts.h"
#include "io/spreadsheet_csv.h"
#include "session/run_report.h"
#include "session/run_session.h"

namespace velmora::app {

void TURLGrids::btExportClick() {
    if (FWindow.Running() || !FWindow.Session()) return;
    const TMetricaStrategy s = FWindow.ShownStrategy();
    const char* name = s == msDesktop ? io::kExportFileNameDesktop : io::kExportFileNameMobile;
    const QString filter = TrQ(io::kDlgExportFilterName) + QStringLiteral(" (") +
                           QString::fromLatin1(io::kDlgExportFilterMask) + QLatin1Char(')');
    const QString path =
        Dialogs.SaveFileName
            ? Dialogs.SaveFileName(
                  TrQ(io::kDlgExportTitle),
                  DialogDir(TFileKind::Exports) + QLatin1Char('/') + QString::fromLatin1(name),
                  filter)
            : QString();
    if (path.isEmpty()) return;
    RememberDialogDir(TFileKind::Exports, path);
    const TURLGridModel* model = FWindow.GridModel(s);
    const std::vector<TURLTaskInfo*>& shown = model->DisplayRows();
    std::vector<const TURLTaskInfo*> rows(shown.begin(), shown.end());
    // Comparing, the export is the shown run's as its own export would be, in the grid's
    // order: the URLs only the older run had are not part of it.
    if (const TRunComparison* c = model->Comparison())
        std::erase_if(rows, [c](const TURLTaskInfo* t) { return !c->InNewer(t); });
    const std::string localPath = QFile::encodeName(path).toStdString();
    const TResult<io::TCsvExport> written = FWindow.Session()->ExportCsv(localPath, s, rows);
    if (!written) {
        Message(QMessageBox::Critical, TrQ(io::kMsgExportFailed),
                QString::fromStdString(written.Error()));
        return;
    }
    if (written->WrittenInUtf8)
        FWindow.AddToLog(
            QString::fromStdString(FormatLog(Tr(io::kLogCsvWrittenInUtf8), 0, localPath)));
    // The status bar tells of the last thing done, not of an import long before.
    FWindow.ShowStatus(TrQ("Экспорт записан: %1").arg(path));
}

void TURLGrids::btExportSheetClick() {
    if (FWindow.Running() || !Dialogs.SaveFileName) return;
    const QString title =
        TrQ("Экспорт для таблиц: UTF-8, разделитель — точка с запятой (%1), числа с точкой")
            .arg(QLatin1Char(io::kSpreadsheetSeparator));
    const QString path = Dialogs.SaveFileName(
        title, DialogDir(TFileKind::Exports) + QStringLiteral("/velmora_sheet.csv"),
        QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty()) return;
    RememberDialogDir(TFileKind::Exports, path);
    const std::vector<TURLTaskInfo*>& shown =
        FWindow.GridModel(FWindow.ShownStrategy())->DisplayRows();
    std::vector<const TURLTaskInfo*> rows(shown.begin(), shown.end());
    const std::string localPath = QFile::encodeName(path).toStdString();
    if (const TResult<> written = io::ExportSpreadsheetCsv(localPath, rows, FWindow.GroupRules());
        !written) {
        Message(QMessageBox::Critical, TrQ(io::kMsgExportFailed),
                QString::fromStdString(written.Error()));
        return;
    }
    const QString done =
        TrQ("Экспорт для таблиц записан: %1 и %2")
            .arg(path, QFile::decodeName(io::SpreadsheetAdvicePath(localPath).c_str()));
    FWindow.AddToLog(done);
    FWindow.ShowStatus(done);
}

namespace {

std::vector<const TURLTaskInfo*> AllRows(const TURLTaskInfoList& list) {
    std::vector<const TURLTaskInfo*> rows;
    rows.reserve(list.Count());
    for (size_t i = 0; i < list.Count(); ++i) rows.push_back(&list[i]);
    return rows;
}

// The kept run the grids show: opened from the history, or the one last recorded here.
std::optional<history::TRunRecord> ShownRun(const THistoryPage& history) {
    if (history.OpenedRun()) return history.OpenedRun();
    history::TRunRecorder* recorder = history.Recorder();
    const int64_t id = recorder ? recorder->RunId() : 0;
    if (!id) return std::nullopt;
    TResult<std::vector<history::TRunSummary>> runs = recorder->Store().ListRuns();
    if (!runs) return std::nullopt;
    for (const history::TRunSummary& r : *runs)
        if (r.Run.Id == id) return r.Run;
    return std::nullopt;
}

}  // namespace

void TURLGrids::btSaveReportClick() {
    if (FWindow.Running() || !FWindow.Session() || !Dialogs.SaveFileName) return;
    const THistoryPage& history = *FWindow.Ui().tsHistory;
    const TRunComparison* compared = history.Comparison();
    const QString path =
        Dialogs.SaveFileName(TrQ("Сохранить отчёт"),
                             DialogDir(TFileKind::Reports) + QStringLiteral("/velmora_report.html"),
                             TrQ("Страница HTML") + QStringLiteral(" (*.html)"));
    if (path.isEmpty()) return;
    RememberDialogDir(TFileKind::Reports, path);
    TReportInput input;
    input.Rows = AllRows(FWindow.Master());
    if (compared) {
        input.Run = session::ReportRunOf(compared->NewerRun());
        input.Compared = true;
        input.OlderRun = session::ReportRunOf(compared->OlderRun());
        input.OlderRows = AllRows(compared->Older());
    } else if (const std::optional<history::TRunRecord> run = ShownRun(history)) {
        input.Run = session::ReportRunOf(*run);
    }
    input.Screenshots = true;  // those the run kept
    const std::string localPath = QFile::encodeName(path).toStdString();
    const TResult<> written =
        session::WriteReport(localPath, input, *FWindow.Session(), FWindow.GroupRules());
    if (!written) {
        Message(QMessageBox::Critical, TrQ(io::kMsgExportFailed),
                QString::fromStdString(written.Error()));
        return;
    }
    FWindow.AddToLog(TrQ("Отчёт записан: %1").arg(path));
    FWindow.ShowStatus(TrQ("Отчёт записан: %1").arg(path));
}

}  // namespace velmora::app
