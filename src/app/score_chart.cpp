#include "app/score_chart.h"

#include <QApplication>
#include <QBrush>
#include <QChart>
#include <QFont>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QPainter>
#include <QPen>
#include <QPieSeries>
#include <QPieSlice>
#include <QResizeEvent>
#include <QStyle>
#include <QtMath>
#include <charconv>

#include "app/translate.h"
#include "base/translate.h"

namespace velmora::app {

int ScoreBandOf(const std::string& displayText) {
    // Score texts are plain integers, possibly padded; anything else is a marker such as "N/A".
    size_t first = displayText.find_first_not_of(" \t");
    if (first == std::string::npos) return -1;
    size_t last = displayText.find_last_not_of(" \t");
    const char* begin = displayText.data() + first;
    const char* end = displayText.data() + last + 1;
    int score = 0;
    auto [ptr, ec] = std::from_chars(begin, end, score);
    if (ec != std::errc() || ptr != end) return -1;
    if (score < 0 || score > 100) return -1;
    return velmora::ScoreBandOf(score);
}

TScoreBands CountScoreBands(const TURLTaskInfoList& list, TMetricaStrategy s, TCategory c) {
    TScoreBands bands;
    for (size_t i = 0; i < list.Count(); ++i) {
        const TURLTaskInfo& task = list[i];
        if (!task.TaskResults) continue;
        const TMetricaValue* value =
            task.TaskResults->MetricaValues.GetValueByKey(CategoryTable[c].Key, s);
        if (!value) continue;
        switch (ScoreBandOf(value->DisplayText)) {
            case 0:
                ++bands.Good;
                break;
            case 1:
                ++bands.Average;
                break;
            case 2:
                ++bands.Poor;
                break;
            default:
                break;
        }
    }
    return bands;
}

int ShareRoundHalfEven(int count, int total) {
    if (total <= 0 || count <= 0) return 0;
    const long long scaled = static_cast<long long>(count) * 100;
    long long q = scaled / total;
    const long long twiceRest = (scaled % total) * 2;
    if (twiceRest > total || (twiceRest == total && q % 2 != 0)) ++q;
    return static_cast<int>(q);
}

bool VisualThemeActive(const QString& styleName, const QString& platformThemeEnv,
                       const QString& currentDesktopEnv, const QString& desktopSessionEnv) {
    if (styleName.compare(QLatin1String("windows"), Qt::CaseInsensitive) == 0) return false;
    return !platformThemeEnv.trimmed().isEmpty() || !currentDesktopEnv.trimmed().isEmpty() ||
           !desktopSessionEnv.trimmed().isEmpty();
}

bool VisualThemeActive() {
    const QString style = QApplication::style() ? QApplication::style()->name() : QString();
    return VisualThemeActive(style, qEnvironmentVariable("QT_QPA_PLATFORMTHEME"),
                             qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
                             qEnvironmentVariable("DESKTOP_SESSION"));
}

namespace {

QString TrText(const char* msgid) {
    return QString::fromStdString(Tr(msgid));
}

// The chart title is rich text; a CR LF (or a bare LF) in the translated title is a line break.
QString PlainTitle(const QString& translated) {
    QString text = translated;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

constexpr qreal kTitlePointSize = 9;
constexpr qreal kMinTitlePointSize = 6.5;

// Centred lines, as a two-line title reads best above a round pie.
QString TitleHtml(const QString& plain) {
    return QLatin1String("<center>") +
           plain.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>")) +
           QLatin1String("</center>");
}

}  // namespace

TScoreChart::TScoreChart(QWidget* parent) : QChartView(parent) {
    setObjectName(QStringLiteral("crtURLScore"));
    setFrameShape(QFrame::NoFrame);
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::NoRubberBand);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* chart = new QChart();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setDropShadowEnabled(false);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins());
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundPen(Qt::NoPen);

    QFont titleFont = font();
    titleFont.setPointSizeF(kTitlePointSize);
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    chart->setTitleBrush(QBrush(Qt::black));

    FSeries = new QPieSeries(chart);
    FSeries->setObjectName(QStringLiteral("srsScoreSlices"));
    FSeries->setPieSize(1.0);
    // Design values; the start-up refresh replaces them before the window is first seen.
    const qreal design[3] = {50, 30, 20};
    for (int i = 0; i < 3; ++i) {
        auto* slice = new QPieSlice(QString(), design[i]);
        FSlices[i] = slice;
        FSeries->append(slice);
    }
    chart->addSeries(FSeries);
    // Colours after addSeries: adding a series to a themed chart repaints it in theme colours.
    for (int i = 0; i < 3; ++i) {
        FSlices[i]->setBrush(QColor::fromRgb(kScoreBandColours[i]));
        FSlices[i]->setPen(Qt::NoPen);
        FSlices[i]->setBorderWidth(0);
        FSlices[i]->setLabelVisible(false);
        FSlices[i]->setExploded(false);
        FSlices[i]->setLabel(
            QString::fromStdString(FormatLog(kScoreLabelPatterns[i], static_cast<int>(design[i]))));
    }

    // A legend attached below the pie lays its entries side by side and truncates them to
    // "Хо..." in a column this narrow, so it is detached, stacks its entries (left alignment
    // is what makes a legend vertical) and is placed under the pie by LayoutChart.
    QLegend* legend = chart->legend();
    legend->setVisible(true);
    legend->setAlignment(Qt::AlignLeft);
    legend->detachFromChart();
    legend->setBackgroundVisible(false);
    legend->setBorderColor(Qt::transparent);
    legend->setShowToolTips(true);
    QFont legendFont = font();
    legendFont.setPointSizeF(8);
    legend->setFont(legendFont);
    legend->setLabelColor(Qt::black);
    legend->setContentsMargins(0, 0, 0, 0);
    legend->layout()->setContentsMargins(0, 2, 0, 2);

    // setChart releases the view's default chart without deleting it.
    QChart* defaultChart = QChartView::chart();
    setChart(chart);
    delete defaultChart;
    SetBackground(Qt::white);
    SetTitle(PlainTitle(QString::fromUtf8(kScoreChartTitle)));
}

void TScoreChart::SetBackground(const QColor& colour) {
    chart()->setBackgroundBrush(colour);
    setBackgroundBrush(colour);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colour);
    pal.setColor(QPalette::Base, colour);
    setPalette(pal);
}

void TScoreChart::SetBackgroundByTheme(const QColor& panelColour) {
    SetBackground(VisualThemeActive() ? QColor(Qt::white) : panelColour);
}

void TScoreChart::UpdateScoreChart(const TURLTaskInfoList& list, TMetricaStrategy strategy,
                                   TCategory category) {
    FBands = CountScoreBands(list, strategy, category);
    const int counts[3] = {FBands.Good, FBands.Average, FBands.Poor};
    const int total = FBands.Total();
    for (int i = 0; i < 3; ++i) {
        FSlices[i]->setValue(counts[i]);
        const int share = ShareRoundHalfEven(counts[i], total);
        FSlices[i]->setLabel(QString::fromStdString(FormatLog(Tr(kScoreLabelPatterns[i]), share)));
    }
    // With nothing counted Qt keeps the slice angles of the last non-empty state, which would
    // show a stale pie (a pie size of 0 does not help: empty slices are not re-laid out). A
    // transparent series draws nothing while the legend still shows the colours and 0%.
    FSeries->setOpacity(total > 0 ? 1.0 : 0.0);
    // The shares are of the scored rows only: how many those are, and of which strategy.
    FCoverage =
        list.Empty()
            ? QString()
            : TrQ("%1: проверено %2 из %3")
                  .arg(TrQ(strategy == msDesktop ? N_("Для компьютеров") : N_("Для мобильных")))
                  .arg(total)
                  .arg(list.Count());
    SetTitle(PlainTitle(TrText(kScoreChartTitle)));
    LayoutChart();
    viewport()->update();
}

void TScoreChart::SetTitle(const QString& plain) {
    FTitle = plain;
    QString html = TitleHtml(plain);
    if (!FCoverage.isEmpty())
        html += QLatin1String("<center><span style=\"font-weight:normal; font-size:7pt\">") +
                FCoverage.toHtmlEscaped() + QLatin1String("</span></center>");
    chart()->setTitle(html);
}

void TScoreChart::paintEvent(QPaintEvent* event) {
    QChartView::paintEvent(event);
    if (!hasFocus()) return;
    // The chart is a stop of Tab: the keyboard's place is drawn as on the grids' cells.
    QPainter painter(viewport());
    QPen pen(palette().color(QPalette::Text));
    pen.setStyle(Qt::DotLine);
    painter.setPen(pen);
    // Inset, so the edges keep the panel's colour.
    painter.drawRect(viewport()->rect().adjusted(1, 1, -2, -2));
}

void TScoreChart::focusInEvent(QFocusEvent* event) {
    QChartView::focusInEvent(event);
    viewport()->update();
}

void TScoreChart::focusOutEvent(QFocusEvent* event) {
    QChartView::focusOutEvent(event);
    viewport()->update();
}

void TScoreChart::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    LayoutChart();
}

void TScoreChart::LayoutChart() {
    QChart* c = chart();
    const QRectF area(QPointF(0, 0), QSizeF(viewport()->size()));
    if (area.width() < 1 || area.height() < 1) return;

    // The title must not be clipped: a translation with a longer line gets a smaller font.
    const QStringList lines = FTitle.split(QLatin1Char('\n'));
    QFont titleFont = c->titleFont();
    titleFont.setPointSizeF(kTitlePointSize);
    for (;;) {
        QFontMetricsF fm(titleFont);
        qreal widest = 0;
        for (const QString& line : lines) widest = qMax(widest, fm.horizontalAdvance(line));
        if (widest <= area.width() - 4 || titleFont.pointSizeF() <= kMinTitlePointSize) break;
        titleFont.setPointSizeF(titleFont.pointSizeF() - 0.5);
    }
    if (titleFont != c->titleFont()) c->setTitleFont(titleFont);

    // A detached legend stacks its entries top-down and starts a new column where the next one
    // would not fit. Laid out once with room to spare, it shows how tall its column is; then it
    // gets exactly that strip at the bottom, and the chart's bottom margin keeps the pie out.
    QLegend* legend = c->legend();
    const QRectF column(area.left() + 2, area.top(), area.width() - 4, area.height());
    legend->setGeometry(column);
    const QRectF used = legend->childrenBoundingRect();
    // The layout wraps once the next entry reaches its bottom margin counted twice; one more
    // pixel absorbs rounding.
    qreal legendHeight = used.bottom() + 2 * used.top() + 1;
    if (legendHeight <= 0 || legendHeight > area.height() / 2) legendHeight = area.height() / 3;
    // Centred under the pie, as the entries are narrower than the column.
    const qreal indent = qMax<qreal>(0, (column.width() - used.right()) / 2);
    legend->setGeometry(QRectF(column.left() + indent, area.bottom() - legendHeight,
                               column.width() - indent, legendHeight));
    const QMargins margins(0, 0, 0, qCeil(legendHeight));
    if (c->margins() != margins) c->setMargins(margins);
}

}  // namespace velmora::app
