#include "app/across_pages.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <cmath>

#include "app/score_chart.h"
#include "app/summary_table.h"
#include "app/translate.h"

namespace velmora::app {
namespace {

bool Known(double v) {
    return !std::isnan(v);
}

TSummaryCell Number(double v, int decimals, const QString& suffix = {}) {
    if (!Known(v)) return {};
    return {QLocale().toString(v, 'f', decimals) + suffix, v, {}, {}};
}

TSummaryCell Seconds(double ms) {
    return Number(Known(ms) ? ms / 1000 : ms, 1);
}

TSummaryCell Kilobytes(double bytes) {
    return Number(Known(bytes) ? bytes / 1024 : bytes, 0);
}

TSummaryCell Share(double share) {
    return Number(Known(share) ? share * 100 : share, 0, QStringLiteral(" %"));
}

TSummaryCell Score(double score) {
    TSummaryCell cell = Number(score, 0);
    if (!cell.Text.isEmpty()) {
        const int band = ScoreBandOf(std::to_string(static_cast<int>(std::lround(score))));
        if (band >= 0) cell.Colour = QColor(kScoreBandColours[band]);
    }
    return cell;
}

TSummaryCell Text(const QString& text, const QString& tip = {}) {
    return {text, {}, tip, {}};
}

QString Qs(const std::string& s) {
    return QString::fromStdString(s);
}

QSet<int32_t> PageSet(const std::vector<int32_t>& nums) {
    return QSet<int32_t>(nums.begin(), nums.end());
}

// The metric savings of an audit as a tool tip: "LCP: 1,2 s" per metric it names.
QString MetricSavingsTip(const TFixRow& fix) {
    QStringList lines;
    for (size_t m = 0; m < kSavingsMetricKeys.size(); ++m) {
        const TFigure& f = fix.MetricSavings[m];
        if (!Known(f.Median)) continue;
        const bool cls = m == smCLS;
        lines << TrQ("%1: медиана %2, сумма %3")
                     .arg(QString::fromLatin1(kSavingsMetricKeys[m].data(),
                                              static_cast<int>(kSavingsMetricKeys[m].size())))
                     .arg(QLocale().toString(cls ? f.Median : f.Median / 1000, 'f', cls ? 3 : 1))
                     .arg(QLocale().toString(cls ? f.Sum : f.Sum / 1000, 'f', cls ? 3 : 1));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

TAcrossPages::TAcrossPages(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tsAcrossPages"));
    FFixes =
        new TSummaryTableModel({N_("Аудит"), N_("Категория"), N_("Группа"), N_("Страниц"),
                                N_("Доля"), N_("Экономия, с: сумма"), N_("Экономия, с: медиана"),
                                N_("Экономия, КБ: сумма"), N_("Оценка: медиана")},
                               this);
    FResources = new TSummaryTableModel({N_("Ресурс"), N_("Аудит"), N_("Страниц"),
                                         N_("Экономия, с: медиана"), N_("Экономия, КБ: сумма")},
                                        this);
    FGroups = new TSummaryTableModel(
        {N_("Группа страниц"), N_("Страниц"), N_("Оценка: медиана"), N_("Хорошие"), N_("Средние"),
         N_("Плохие"), N_("Core Web Vitals пройдены"), N_("Худшие страницы")},
        this);
    vtFixes = SummaryView("vtFixes", FFixes);
    vtResources = SummaryView("vtResources", FResources);
    vtGroups = SummaryView("vtGroups", FGroups);
    // The audit's title takes the room the figures leave at 1366 x 768.
    const int widths[xcFixColumns] = {250, 95, 85, 55, 55, 118, 128, 125, 110};
    for (int c = 0; c < xcFixColumns; ++c) vtFixes->horizontalHeader()->resizeSection(c, widths[c]);
    vtResources->horizontalHeader()->resizeSection(rcResource, 280);
    vtResources->horizontalHeader()->resizeSection(rcAudit, 150);
    vtGroups->horizontalHeader()->resizeSection(gpName, 220);

    cbAcrossStrategy = new QComboBox;
    cbAcrossStrategy->setObjectName(QStringLiteral("cbAcrossStrategy"));
    lbAcrossNote = new QLabel;
    lbAcrossNote->setObjectName(QStringLiteral("lbAcrossNote"));
    auto* head = new QHBoxLayout;
    head->setContentsMargins(2, 2, 2, 2);
    head->addWidget(cbAcrossStrategy);
    head->addWidget(lbAcrossNote, 1);

    auto* lower = new QSplitter(Qt::Horizontal);
    lower->setObjectName(QStringLiteral("spAcrossLower"));
    lower->addWidget(vtResources);
    lower->addWidget(vtGroups);
    auto* split = new QSplitter(Qt::Vertical);
    split->setObjectName(QStringLiteral("spAcross"));
    split->setChildrenCollapsible(false);
    split->addWidget(vtFixes);
    split->addWidget(lower);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(head);
    layout->addWidget(split, 1);

    Retranslate();
    connect(cbAcrossStrategy, &QComboBox::currentIndexChanged, this, [this] { Fill(); });
    for (auto [view, model] : {std::pair{vtFixes, FFixes}, std::pair{vtResources, FResources},
                               std::pair{vtGroups, FGroups}})
        connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this, view, model] { RowChosen(view, model); });
}

TMetricaStrategy TAcrossPages::Strategy() const {
    return cbAcrossStrategy->currentIndex() == 1 ? msMobile : msDesktop;
}

void TAcrossPages::Retranslate() {
    const QSignalBlocker quiet(cbAcrossStrategy);
    const int current = std::max(0, cbAcrossStrategy->currentIndex());
    cbAcrossStrategy->clear();
    cbAcrossStrategy->addItem(TrQ("Desktop"));
    cbAcrossStrategy->addItem(TrQ("Mobile"));
    cbAcrossStrategy->setCurrentIndex(current);
    for (TSummaryTableModel* m : {FFixes, FResources, FGroups}) m->Retranslate();
    Fill();
}

void TAcrossPages::Show(const std::vector<const TURLTaskInfo*>& rows,
                        const std::vector<TGroupRule>& rules) {
    FUrls.clear();
    for (const TURLTaskInfo* t : rows) FUrls.insert(t->Num, Qs(t->URL));
    ShowSummary(SummarizeSite(rows, rules));
}

void TAcrossPages::ShowSummary(TSiteSummary summary) {
    FSummary = std::move(summary);
    Fill();
}

void TAcrossPages::Fill() {
    const TMetricaStrategy s = Strategy();
    std::vector<TSummaryRow> fixes, resources, groups;
    for (const TFixRow& f : FSummary.Fixes) {
        if (f.Strategy != s) continue;
        TSummaryCell saved = Seconds(f.TimeSavedMs.Sum);
        saved.Tip = MetricSavingsTip(f);
        fixes.push_back(
            {{Text(Qs(f.Title.str()), Qs(f.AuditId.str())), Text(CategoryName(f.Category)),
              Text(Qs(f.GroupTitle.str())), Number(f.Pages, 0), Share(f.Share), saved,
              Seconds(f.TimeSavedMs.Median), Kilobytes(f.SavingsBytes.Sum), Score(f.MedianScore)},
             PageSet(f.TaskNums),
             Qs(f.Title.str())});
    }
    for (const TSharedResource& r : FSummary.Resources) {
        if (r.Strategy != s) continue;
        resources.push_back(
            {{Text(Qs(r.Url)), Text(Qs(r.Title.str()), Qs(r.AuditId.str())), Number(r.Pages, 0),
              Seconds(r.SavingsMs.Median), Kilobytes(r.SavingsBytes.Sum)},
             PageSet(r.TaskNums),
             Qs(r.Url)});
    }
    for (const TPageGroup& g : FSummary.Groups) {
        if (g.Strategy != s) continue;
        QStringList worst;
        for (int32_t num : g.Worst) worst << FUrls.value(num, QString::number(num));
        groups.push_back(
            {{Text(Qs(g.Name)), Number(g.Pages, 0), Score(g.MedianScore), Share(g.BandShare[0]),
              Share(g.BandShare[1]), Share(g.BandShare[2]), Share(g.CwvPassRate),
              Text(worst.join(QStringLiteral(", ")), worst.join(QLatin1Char('\n')))},
             PageSet(g.TaskNums),
             Qs(g.Name)});
    }
    const bool empty = fixes.empty() && resources.empty() && groups.empty();
    lbAcrossNote->setText(
        empty ? TrQ("Здесь появятся аудиты, которые не пройдены на проверенных страницах, когда "
                    "страницы будут проверены.")
              : TrQ("Выберите строку, чтобы в таблицах остались только её страницы; Esc "
                    "показывает все страницы."));
    FFixes->SetRows(std::move(fixes));
    FResources->SetRows(std::move(resources));
    FGroups->SetRows(std::move(groups));
}

void TAcrossPages::RowChosen(QTableView* view, TSummaryTableModel* model) {
    const QModelIndexList chosen = view->selectionModel()->selectedRows();
    if (chosen.isEmpty()) return;
    if (FClearing) return;
    // One choice at a time across the three tables.
    FClearing = true;
    for (QTableView* other : {vtFixes, vtResources, vtGroups})
        if (other != view) other->clearSelection();
    FClearing = false;
    const TSummaryRow& row = model->Row(SourceRow(view, chosen.first().row()));
    Q_EMIT PagesChosen(row.Pages, row.What);
}

}  // namespace velmora::app
