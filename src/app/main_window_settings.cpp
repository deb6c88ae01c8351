// The settings page: change markers of the parameters, the language choice, the metric
// descriptions and the links of the about box.
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>

#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/translate.h"
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
    values.Strategies = ChosenStrategies();
    values.RequestLocale = FUi->cbRequestLocale->isChecked();
    values.ReportScreenshots = FUi->cbReportScreenshots->isChecked();
    const TResult<> written = io::SaveParams(FSettingsPath.toStdString(), values);
    if (written) return true;
    const QString error = QString::fromStdString(written.Error());
    // During use the log tells once; the close, which is the last chance, asks for attention.
    if (boxOnFailure)
        QMessageBox::critical(this, windowTitle(), error);
    else if (error != FLastSaveError)
        AddToLog(error, TLogLevel::Error);
    FLastSaveError = error;
    return false;
}

bool TfmMain::ReadGroupRules() {
    TResult<std::vector<TGroupRule>> rules =
        io::ParseGroupRules(FUi->edGroups->text().toStdString());
    // A rule that does not read keeps the field marked, says why, and the grouping as it was.
    FUi->edGroups->setStyleSheet(rules ? QString()
                                       : QStringLiteral("QLineEdit { color: #C00000; }"));
    if (!rules) {
        AddToLog(QString::fromStdString(rules.Error()), TLogLevel::Error);
        return false;
    }
    FGroupRules = std::move(*rules);
    return true;
}

void TfmMain::edGroupsChange() {
    if (!ReadGroupRules()) return;
    ShowAcrossPages();
    if (!KeepsSettings()) return;
    if (const TResult<> written = io::SaveGroupRules(FSettingsPath.toStdString(), FGroupRules);
        !written)
        AddToLog(QString::fromStdString(written.Error()), TLogLevel::Error);
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

int TfmMain::StrategiesIndex(TStrategySet set) {
    if (set == (1u << msDesktop)) return 1;
    if (set == (1u << msMobile)) return 2;
    return 0;
}

TStrategySet TfmMain::ChosenStrategies() const {
    switch (FUi->cbStrategies->currentIndex()) {
        case 1:
            return 1u << msDesktop;
        case 2:
            return 1u << msMobile;
        default:
            return kBothStrategies;
    }
}

namespace {

// The metric list's names and descriptions in MetricaTable's order, in the interface language;
// null where the table's own text is the same in every language.
struct TMetricTexts {
    const char* Caption;
    const char* Descr;
};
constexpr TMetricTexts kMetricTexts[] = {
    {N_("Оценка производительности"),
     N_("Оценка производительности — взвешенное среднее оценок метрик. Чтобы пользователям было "
        "удобно, сайту стоит стремиться к хорошей оценке (90–100).")},
    {N_("Первая отрисовка контента"),
     N_("Первая отрисовка контента отмечает время, когда отрисован первый текст или изображение.")},
    {N_("Индекс скорости"),
     N_("Индекс скорости показывает, как быстро заполняется видимое содержимое страницы.")},
    {N_("Отрисовка крупнейшего контента"),
     N_("Отрисовка крупнейшего контента отмечает время, когда отрисован самый крупный текст или "
        "изображение.")},
    {N_("Время до интерактивности"),
     N_("Время до интерактивности — сколько времени нужно, чтобы страница стала полностью "
        "интерактивной.")},
    {N_("Общее время блокировки"),
     N_("Сумма всех промежутков между FCP и временем до интерактивности, когда задача длилась "
        "дольше 50 мс, в миллисекундах.")},
    {N_("Совокупное смещение макета"),
     N_("Совокупное смещение макета измеряет сдвиг видимых элементов в области просмотра.")},
    {nullptr, nullptr},
    {nullptr, nullptr},
    {nullptr, nullptr},
    {N_("Изображения"), nullptr},
    {N_("Шрифты"), nullptr},
    {N_("ИТОГО"), nullptr},
};
static_assert(std::size(kMetricTexts) == MetricaTable.size());

QString TextOf(const char* text, std::string_view fallback) {
    return text ? TrQ(text) : QString::fromUtf8(fallback.data(), static_cast<int>(fallback.size()));
}

}  // namespace

void TfmMain::FillMetricsList() {
    const auto current = FUi->lvMetrics->selectionModel()->selectedRows();
    const int keep = current.isEmpty() ? 0 : current.first().row();
    FUi->lvMetrics->setRowCount(0);
    for (size_t i = 0; i < MetricaTable.size(); ++i) {
        const TMetricaInfo& m = MetricaTable[i];
        const QString caption = TextOf(kMetricTexts[i].Caption, m.Caption);
        const QString shortName =
            QString::fromUtf8(m.ShortName.data(), static_cast<int>(m.ShortName.size()));
        const int row = FUi->lvMetrics->rowCount();
        FUi->lvMetrics->insertRow(row);
        auto* numItem = new QTableWidgetItem(QString::number(i + 1));
        numItem->setData(Qt::UserRole, static_cast<int>(i + 1));
        FUi->lvMetrics->setItem(row, 0, numItem);
        FUi->lvMetrics->setItem(
            row, 1,
            new QTableWidgetItem(
                shortName.isEmpty() ? caption : QStringLiteral("%1 (%2)").arg(caption, shortName)));
    }
    FUi->lvMetrics->selectRow(keep);
    sgMetricsClick();
}

void TfmMain::sgMetricsClick() {
    const auto rows = FUi->lvMetrics->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    const int num = FUi->lvMetrics->item(rows.first().row(), 0)->data(Qt::UserRole).toInt();
    if (num < 1 || num > static_cast<int>(MetricaTable.size())) return;
    const auto i = static_cast<size_t>(num - 1);
    FUi->lbMetricaDescr->setText(QStringLiteral(" ") +
                                 TextOf(kMetricTexts[i].Descr, MetricaTable[i].Descr));
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
