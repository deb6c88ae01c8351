#include "app/score_trend_chart.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPen>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "app/translate.h"

namespace velmora::app {
namespace {

constexpr int kChartHeight = 190;
// The service's own colours for the two strategies would clash with the score bands; these
// stay apart from green, orange and red.
constexpr QRgb kSeriesColour[2] = {0x1A73E8, 0x8E24AA};
constexpr qreal kScorePad = 6;

}  // namespace

TScoreTrendChart::TScoreTrendChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("crtScoreTrend"));
    auto* chart = new QChart;
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->legend()->setAlignment(Qt::AlignRight);
    auto* x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("yyyy-MM-dd"));
    auto* y = new QValueAxis;
    // Room above 100 and below 0, so the markers of top and bottom scores are drawn whole;
    // the labels stay on the round scores.
    y->setRange(-kScorePad, 100 + kScorePad);
    y->setTickType(QValueAxis::TicksDynamic);
    y->setTickAnchor(0);
    y->setTickInterval(20);
    y->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (TMetricaStrategy s : kStrategies) {
        FSeries[s] = new QLineSeries;
        FSeries[s]->setName(TrQ(s == msDesktop ? N_("Компьютеры") : N_("Мобильные")));
        FSeries[s]->setPointsVisible(true);
        FSeries[s]->setMarkerSize(5);
        QPen pen(QColor(kSeriesColour[s]));
        pen.setWidth(2);
        FSeries[s]->setPen(pen);
        chart->addSeries(FSeries[s]);
        FSeries[s]->attachAxis(x);
        FSeries[s]->attachAxis(y);
    }
    FView = new QChartView(chart);
    FView->setObjectName(QStringLiteral("cvScoreTrend"));
    FView->setRenderHint(QPainter::Antialiasing);
    FView->setFixedHeight(kChartHeight);
    FNote = new QLabel;
    FNote->setObjectName(QStringLiteral("lbScoreTrend"));
    FNote->setWordWrap(true);
    FCategory = new QComboBox;
    FCategory->setObjectName(QStringLiteral("cbTrendCategory"));
    FCategory->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(FCategory, &QComboBox::currentIndexChanged, this, [this] { Draw(); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    // The note is the chart's caption, or all there is without a chart.
    auto* head = new QHBoxLayout;
    head->addWidget(FNote, 1);
    head->addWidget(FCategory);
    layout->addLayout(head);
    layout->addWidget(FView);
    SetTrend({});
}

void TScoreTrendChart::SetTrend(const std::vector<history::IHistoryStore::TScorePoint>& points) {
    FPoints = points;
    const QVariant kept = FCategory->currentData();
    const QSignalBlocker quiet(FCategory);
    FCategory->clear();
    for (size_t c = 0; c < CategoryTable.size(); ++c) {
        const auto category = static_cast<TCategory>(c);
        const bool scored = std::any_of(points.begin(), points.end(), [&](const auto& p) {
            return p.ScoreOf(msDesktop, category) || p.ScoreOf(msMobile, category);
        });
        if (scored || c == ctPerformance)
            FCategory->addItem(CategoryName(category), static_cast<int>(c));
    }
    FCategory->setCurrentIndex(std::max(0, FCategory->findData(kept)));
    FCategory->setVisible(FCategory->count() > 1);
    Draw();
}

void TScoreTrendChart::Draw() {
    const auto category = static_cast<TCategory>(FCategory->currentData().toInt());
    int64_t first = 0, last = 0;
    size_t most = 0;
    for (TMetricaStrategy s : kStrategies) {
        QList<QPointF> line;
        for (const history::IHistoryStore::TScorePoint& p : FPoints) {
            const std::optional<double> score = p.ScoreOf(s, category);
            if (!score) continue;
            line << QPointF(static_cast<qreal>(p.Started) * 1000.0, *score);
            first = first ? std::min(first, p.Started) : p.Started;
            last = std::max(last, p.Started);
        }
        most = std::max(most, static_cast<size_t>(line.size()));
        FSeries[s]->replace(line);
    }
    const bool drawn = most >= 2;
    FView->setVisible(drawn);
    FNote->setText(drawn ? TrQ("Оценка этого URL по всем сохранённым запускам")
                         : TrQ("График оценок появится, когда этот URL будет проверен хотя бы "
                               "в двух запусках."));
    if (!drawn) return;
    auto* x = qobject_cast<QDateTimeAxis*>(FView->chart()->axes(Qt::Horizontal).value(0));
    // Runs of one or two days are told apart by the hour.
    const int64_t span = last - first;
    x->setFormat(span < 2 * 86400 ? QStringLiteral("MM-dd hh:mm") : QStringLiteral("yyyy-MM-dd"));
    // A little room either side keeps the first and last points off the plot's edges.
    const int64_t pad = std::max<int64_t>(span / 20, 600);
    x->setRange(QDateTime::fromSecsSinceEpoch(first - pad),
                QDateTime::fromSecsSinceEpoch(last + pad));
    x->setTickCount(std::clamp(static_cast<int>(most), 2, 6));
}

}  // namespace velmora::app
