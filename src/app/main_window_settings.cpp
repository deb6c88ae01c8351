// The settings page: change markers of the parameters, the language choice, the metric
// descriptions and the links of the about box.
#include <QCheckBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/url_grids.h"
#include "app/web_links.h"
#include "engine/metrica.h"
#include "io/settings.h"

namespace velmora::app {

void TfmMain::cbAppLangChange() {
    ApplyLanguage();
    FillScoreCategories();
    UpdateURLListCaption();
    FChartNeedsRelabel = true;
    if (!KeepsSettings()) return;
    const TResult<> written =
        io::SaveLang(FSettingsPath.toStdString(), SelectedLangCode().toStdString());
    if (!written)
        QMessageBox::critical(this, windowTitle(), QString::fromStdString(written.Error()));
}

void TfmMain::MarkChanged(const QWidget* control) {
    FChangedParams.insert(control);
    // Written soon after the change, not only at a clean close: a crash must not cost it.
    // The short delay gathers the keystrokes of one edit into one write.
    if (!KeepsSettings()) return;
    if (!FSaveTimer) {
        FSaveTimer = new QTimer(this);
        FSaveTimer->setSingleShot(true);
        FSaveTimer->setInterval(kParamsSaveDelayMs);
        connect(FSaveTimer, &QTimer::timeout, this, [this] { SaveParamsNow(false); });
    }
    FSaveTimer->start();
}

bool TfmMain::SaveParamsNow(bool boxOnFailure) {
    if (FSaveTimer) FSaveTimer->stop();
    if (FChangedParams.isEmpty() || !KeepsSettings()) return true;
    io::TSettingsValues values;
    values.ApiKey = FUi->edAPIKey->text().toStdString();
    values.MaxThreads = FUi->edMaxTreads->value();
    values.ReqPredelay = FUi->edMinReqDelay->value();
    values.Retries = FUi->edRetries->value();
    values.ImportNoClear = FUi->cbImpNoClearURLs->isChecked();
    values.Categories = ChosenCategories();
    const TResult<> written = io::SaveParams(FSettingsPath.toStdString(), values);
    if (written) return true;
    const QString error = QString::fromStdString(written.Error());
    // During use the log tells once; the close, which is the last chance, asks for attention.
    if (boxOnFailure)
        QMessageBox::critical(this, windowTitle(), error);
    else if (error != FLastSaveError)
        AddToLog(error);
    FLastSaveError = error;
    return false;
}

void TfmMain::btShowAPIKeyClick(bool shown) {
    FUi->edAPIKey->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
}
void TfmMain::edAPIKeyChange() {
    MarkChanged(FUi->edAPIKey);
}
void TfmMain::edMaxTreadsChange() {
    MarkChanged(FUi->edMaxTreads);
}
void TfmMain::edMinReqDelayChange() {
    MarkChanged(FUi->edMinReqDelay);
}
void TfmMain::cbImpNoClearURLsClick() {
    MarkChanged(FUi->cbImpNoClearURLs);
}
void TfmMain::cbCategoryClick() {
    MarkChanged(FUi->cbCategoryAccessibility);
    FUrlGrids->ShowCategoryColumns(ChosenCategories());
    FillScoreCategories();
    UpdateScoreChart();
}

TCategorySet TfmMain::ChosenCategories() const {
    TCategorySet set = kPerformanceOnly;
    const std::pair<QCheckBox*, TCategory> boxes[] = {
        {FUi->cbCategoryAccessibility, ctAccessibility},
        {FUi->cbCategoryBestPractices, ctBestPractices},
        {FUi->cbCategorySeo, ctSeo}};
    for (auto [box, c] : boxes)
        if (box->isChecked()) set |= static_cast<TCategorySet>(1u << c);
    return set;
}

void TfmMain::FillMetricsList() {
    FUi->lvMetrics->setRowCount(0);
    int num = 0;
    for (const TMetricaInfo& m : MetricaTable) {
        ++num;
        const QString caption =
            QString::fromUtf8(m.Caption.data(), static_cast<int>(m.Caption.size()));
        const QString shortName =
            QString::fromUtf8(m.ShortName.data(), static_cast<int>(m.ShortName.size()));
        const int row = FUi->lvMetrics->rowCount();
        FUi->lvMetrics->insertRow(row);
        auto* numItem = new QTableWidgetItem(QString::number(num));
        numItem->setData(Qt::UserRole, num);
        FUi->lvMetrics->setItem(row, 0, numItem);
        FUi->lvMetrics->setItem(
            row, 1,
            new QTableWidgetItem(
                shortName.isEmpty() ? caption : QStringLiteral("%1 (%2)").arg(caption, shortName)));
    }
    FUi->lvMetrics->selectRow(0);
    sgMetricsClick();
}

void TfmMain::sgMetricsClick() {
    const auto rows = FUi->lvMetrics->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    const int num = FUi->lvMetrics->item(rows.first().row(), 0)->data(Qt::UserRole).toInt();
    if (num < 1 || num > static_cast<int>(MetricaTable.size())) return;
    const auto& descr = MetricaTable[static_cast<size_t>(num - 1)].Descr;
    FUi->lbMetricaDescr->setText(QStringLiteral(" ") +
                                 QString::fromUtf8(descr.data(), static_cast<int>(descr.size())));
}

void TfmMain::OpenWebPage(const char* path) {
    QDesktopServices::openUrl(QUrl(WebAddress(SelectedLangCode(), path)));
}
void TfmMain::lbGotoKeySiteLinkClick() {
    OpenWebPage(kPathApiKeyArticle);
}
void TfmMain::lbGotoSiteLinkClick() {
    OpenWebPage(kPathProgramPage);
}
void TfmMain::lbGotoPublisherSiteLinkClick() {
    OpenWebPage("/");
}

}  // namespace velmora::app
