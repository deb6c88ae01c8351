// CSV export of the grid that is shown.
#include <QFile>
#include <QTableView>

#include "app/grid_model.h"
#include "app/main_window.h"
#include "app/run_comparison.h"
#include "app/translate.h"
#include "app/url_grids.h"
#include "base/translate.h"
#include "io/csv.h"
#include "io/import_texts.h"
#include "io/spreadsheet_csv.h"
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
            ? Dialogs.SaveFileName(TrQ(io::kDlgExportTitle),
                                   FWindow.AppDir() + QString::fromLatin1(name), filter)
            : QString();
    if (path.isEmpty()) return;
    const TURLGridModel* model = FWindow.GridModel(s);
    const std::vector<TURLTaskInfo*>& shown = model->DisplayRows();
    std::vector<const TURLTaskInfo*> rows(shown.begin(), shown.end());
    // Comparing, the export is the shown run's as its own export would be, in the grid's
    // order: the URLs only the older run had are not part of it.
    if (const TRunComparison* c = model->Comparison())
        std::erase_if(rows, [c](const TURLTaskInfo* t) { return !c->InNewer(t); });
    const std::string localPath = QFile::encodeName(path).toStdString();
    const TResult<io::TCsvExport> written = FWindow.Session()->ExportCsv(localPath, s, rows);
    if (!written)
        Message(QMessageBox::Critical, TrQ(io::kMsgExportFailed),
                QString::fromStdString(written.Error()));
    else if (written->WrittenInUtf8)
        FWindow.AddToLog(
            QString::fromStdString(FormatLog(Tr(io::kLogCsvWrittenInUtf8), 0, localPath)));
}

void TURLGrids::btExportSheetClick() {
    if (FWindow.Running() || !Dialogs.SaveFileName) return;
    const QString title =
        TrQ("Экспорт для таблиц: UTF-8, разделитель — точка с запятой (%1), числа с точкой")
            .arg(QLatin1Char(io::kSpreadsheetSeparator));
    const QString path = Dialogs.SaveFileName(
        title, ImportDir() + QStringLiteral("/velmora_sheet.csv"), QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty()) return;
    const std::vector<TURLTaskInfo*>& shown =
        FWindow.GridModel(FWindow.ShownStrategy())->DisplayRows();
    std::vector<const TURLTaskInfo*> rows(shown.begin(), shown.end());
    const std::string localPath = QFile::encodeName(path).toStdString();
    if (const TResult<> written = io::ExportSpreadsheetCsv(localPath, rows); !written) {
        Message(QMessageBox::Critical, TrQ(io::kMsgExportFailed),
                QString::fromStdString(written.Error()));
        return;
    }
    FWindow.AddToLog(
        TrQ("Экспорт для таблиц записан: %1 и %2")
            .arg(path, QFile::decodeName(io::SpreadsheetAdvicePath(localPath).c_str())));
}

}  // namespace velmora::app
