#include "app/accessible_names.h"

#include <QComboBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTableView>

#include "app/across_pages.h"
#include "app/grid_filter.h"
#include "app/history_page.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/news_browser.h"
#include "app/score_chart.h"
#include "app/translate.h"

namespace velmora::app {
namespace {

// A label's text as it is spoken: no mnemonic marker, markup or trailing colon.
QString Spoken(const QLabel* label) {
    QString text = label->text();
    text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    text.remove(QLatin1Char('&'));
    text = text.trimmed();
    if (text.endsWith(QLatin1Char(':'))) text.chop(1);
    return text;
}

}  // namespace

void NameForScreenReaders(TfmMain& window) {
    // Without this Qt names an input after the group around it: six inputs would all be
    // "Parameters".
    for (QLabel* label : window.findChildren<QLabel*>())
        if (QWidget* buddy = label->buddy()) buddy->setAccessibleName(Spoken(label));
    const TfmMain::TUi& ui = window.Ui();
    const std::pair<QWidget*, const char*> views[] = {
        {ui.vtURLsD, "Результаты: компьютеры"},
        {ui.vtURLsM, "Результаты: мобильные"},
        {ui.tsAcross->vtFixes, "Аудит"},
        {ui.tsAcross->vtResources, "Ресурс"},
        {ui.tsAcross->vtGroups, "Группа страниц"},
        {ui.lvLog, " Журнал "},
        {ui.lvMetrics, "Список метрик"},
        {ui.tsHistory->RunList(), " История "},
        {ui.crtURLScore, "Оценки страниц"},
        {ui.cbScoreCategory, "Категория оценок на графике"},
        {ui.wbNews, " Новости "},
        {ui.tsAcross->cbAcrossStrategy, "Стратегия"},
        {window.GridFilter().cbFilterStatus, "Фильтр по состоянию"},
        {window.GridFilter().cbFilterScore, "Фильтр по оценке"},
    };
    for (auto [view, text] : views) {
        QString name = TrQ(text).trimmed();
        if (name.endsWith(QLatin1Char(':'))) name.chop(1);
        view->setAccessibleName(name);
    }
}

}  // namespace velmora::app
