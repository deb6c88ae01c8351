// The score chart alone: score bands, shares, texts, look and theme. Its pictures come from
// scripts/screenshot, which shoots the window it sits in.
#include "app/score_chart.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QLegend>
#include <QLegendMarker>
#include <QPieSeries>
#include <QPieSlice>
#include <QStyle>
#include <QTest>
#include <optional>

#include "support/fake_english.h"
#include "support/qt_print.h"

namespace velmora::app::test {
namespace {

// A task with a score text per strategy; a null text means the strategy has no score value.
void AddTask(TURLTaskInfoList& list, const char* desktop, const char* mobile = nullptr) {
    TURLTaskInfo& task = list.Add("https://example.com/" + std::to_string(list.Count() + 1));
    task.InitMetricResults();
    const char* texts[2] = {desktop, mobile};
    for (TMetricaStrategy s : kStrategies) {
        if (!texts[s]) continue;
        task.TaskResults->MetricaValues.push_back({MetricaTable[0].Key, s, texts[s], gcScore});
    }
}

// The desktop scores as a list, comma separated ("" for none).
TURLTaskInfoList DesktopList(const QString& scores) {
    TURLTaskInfoList list;
    if (scores.isEmpty()) return list;
    for (const QString& s : scores.split(QLatin1Char(','))) AddTask(list, s.toStdString().c_str());
    return list;
}

QStringList SliceLabels(const QPieSeries* series) {
    QStringList labels;
    for (const QPieSlice* slice : series->slices()) labels << slice->label();
    return labels;
}

QList<int> SliceValues(const QPieSeries* series) {
    QList<int> values;
    for (const QPieSlice* slice : series->slices()) values << static_cast<int>(slice->value());
    return values;
}

// Restores one environment variable when the test ends.
class TEnvGuard {
  public:
    explicit TEnvGuard(const char* name) : FName(name) {
        if (qEnvironmentVariableIsSet(name)) FOld = qgetenv(name);
    }
    ~TEnvGuard() {
        if (FOld)
            qputenv(FName, *FOld);
        else
            qunsetenv(FName);
    }
    TEnvGuard(const TEnvGuard&) = delete;
    TEnvGuard& operator=(const TEnvGuard&) = delete;

  private:
    const char* FName;
    std::optional<QByteArray> FOld;
};

TEST(ScoreChart, BandOfScoreText) {
    const struct {
        const char* Name;
        const char* Text;
        int Band;
    } cases[] = {
        {"100 good", "100", 0},
        {"90 good", "90", 0},
        {"89 average", "89", 1},
        {"50 average", "50", 1},
        {"49 poor", "49", 2},
        {"1 poor", "1", 2},
        // A measured 0 is the worst result, not a missing one; the grid colours it poor too.
        {"0 poor", "0", 2},
        {"padded", "  72 ", 1},
        {"101 out of range", "101", -1},
        {"negative", "-5", -1},
        {"N/A marker", "N/A", -1},
        {"empty", "", -1},
        {"blank", "   ", -1},
        {"letters", "abc", -1},
        {"trailing junk", "95abc", -1},
        {"fraction", "7.5", -1},
        {"overflow", "99999999999999999999", -1},
    };
    for (const auto& c : cases) EXPECT_EQ(ScoreBandOf(c.Text), c.Band) << c.Name;
}

TEST(ScoreChart, ShareRoundsHalfToEven) {
    const struct {
        const char* Name;
        int Count, Total, Share;
    } cases[] = {
        {"1 of 8 = 12.5", 1, 8, 12},   {"3 of 8 = 37.5", 3, 8, 38},
        {"5 of 8 = 62.5", 5, 8, 62},   {"1 of 200 = 0.5", 1, 200, 0},
        {"3 of 200 = 1.5", 3, 200, 2}, {"1 of 3", 1, 3, 33},
        {"2 of 3", 2, 3, 67},          {"all", 7, 7, 100},
        {"none counted", 0, 0, 0},     {"zero of some", 0, 5, 0},
        {"10000 URLs", 1, 10000, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ShareRoundHalfEven(c.Count, c.Total), c.Share) << c.Name;
}

TEST(ScoreChart, CountSkipsTasksWithoutScores) {
    TURLTaskInfoList list;
    AddTask(list, "95");
    list.Add("https://example.com/never-checked");  // no results at all
    AddTask(list, nullptr, "40");                   // mobile score only
    AddTask(list, "N/A");
    AddTask(list, "70");
    AddTask(list, "30");
    AddTask(list, "10");
    const TScoreBands d = CountScoreBands(list, msDesktop);
    EXPECT_EQ(d.Good, 1);
    EXPECT_EQ(d.Average, 1);
    EXPECT_EQ(d.Poor, 2);
    const TScoreBands m = CountScoreBands(list, msMobile);
    EXPECT_EQ(m.Good + m.Average, 0);
    EXPECT_EQ(m.Poor, 1);
}

TEST(ScoreChart, ShowsCountsAndShares) {
    const struct {
        const char* Name;
        QString Scores;
        QList<int> Values;
        QStringList Labels;
    } cases[] = {
        {"95/70/30/10", "95,70,30,10", {1, 1, 2}, {"Хорошо (25%)", "Средне (25%)", "Плохо (50%)"}},
        {"1 of 8 good",
         "95,70,70,70,70,70,70,70",
         {1, 7, 0},
         {"Хорошо (12%)", "Средне (88%)", "Плохо (0%)"}},
        {"3 of 8 good",
         "95,99,100,70,70,70,10,10",
         {3, 3, 2},
         {"Хорошо (38%)", "Средне (38%)", "Плохо (25%)"}},
        {"nothing", "", {0, 0, 0}, {"Хорошо (0%)", "Средне (0%)", "Плохо (0%)"}},
        {"only unscored", "N/A,,abc", {0, 0, 0}, {"Хорошо (0%)", "Средне (0%)", "Плохо (0%)"}},
        {"score 0 is poor", "0,95", {1, 0, 1}, {"Хорошо (50%)", "Средне (0%)", "Плохо (50%)"}},
        {"N/A left out", "N/A,95", {1, 0, 0}, {"Хорошо (100%)", "Средне (0%)", "Плохо (0%)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TScoreChart chart;
        chart.UpdateScoreChart(DesktopList(c.Scores), msDesktop);
        EXPECT_EQ(SliceValues(chart.ScoreSlices()), c.Values);
        EXPECT_EQ(SliceLabels(chart.ScoreSlices()), c.Labels);
        // The legend is where the user reads the labels.
        QStringList legend;
        for (QLegendMarker* m : chart.chart()->legend()->markers(chart.ScoreSlices()))
            legend << m->label();
        EXPECT_EQ(legend, c.Labels);
    }
}

TEST(ScoreChart, StrategyTabsCountTheirOwnScores) {
    TURLTaskInfoList list;
    AddTask(list, "100", "40");
    TScoreChart chart;
    chart.UpdateScoreChart(list, msDesktop);
    EXPECT_EQ(SliceLabels(chart.ScoreSlices()),
              (QStringList{"Хорошо (100%)", "Средне (0%)", "Плохо (0%)"}));
    chart.UpdateScoreChart(list, msMobile);
    EXPECT_EQ(SliceLabels(chart.ScoreSlices()),
              (QStringList{"Хорошо (0%)", "Средне (0%)", "Плохо (100%)"}));
}

TEST(ScoreChart, TextsFollowTheLanguageOnUpdateOnly) {
    const TURLTaskInfoList list = DesktopList("95,70,30,10");
    TScoreChart chart;
    chart.UpdateScoreChart(list, msDesktop);
    EXPECT_EQ(chart.TitleText(), QString("Распределение\nскорости загрузки"));

    TTranslatorGuard english(FakeEnglish);
    // The chart takes no part in window translation: nothing changes until it is updated.
    EXPECT_EQ(SliceLabels(chart.ScoreSlices()).first(), QString("Хорошо (25%)"));
    chart.UpdateScoreChart(list, msDesktop);
    EXPECT_EQ(SliceLabels(chart.ScoreSlices()),
              (QStringList{"Good (25%)", "Average (25%)", "Poor (50%)"}));
    EXPECT_EQ(chart.TitleText(), QString("Score\ndistribution"));
}

// What a user reads off the chart: one slice per band, sized by the counts, each band in its
// own colour, following every new result and showing the empty state for an empty list.
TEST(ScoreChart, SlicesFollowTheResults) {
    TScoreChart chart;
    // 3 good, 1 average, 2 poor.
    chart.UpdateScoreChart(DesktopList("95,99,70,30,10,100"), msDesktop);
    EXPECT_EQ(SliceValues(chart.ScoreSlices()), (QList<int>{3, 1, 2}));
    EXPECT_EQ(SliceLabels(chart.ScoreSlices()),
              (QStringList{"Хорошо (50%)", "Средне (17%)", "Плохо (33%)"}));
    QList<QColor> colours;
    for (const QPieSlice* slice : chart.ScoreSlices()->slices()) colours << slice->brush().color();
    EXPECT_EQ(colours,
              (QList<QColor>{kScoreBandColours[0], kScoreBandColours[1], kScoreBandColours[2]}));

    // A recheck moves the page that scored 30 into the good band.
    chart.UpdateScoreChart(DesktopList("95,99,70,95,10,100"), msDesktop);
    EXPECT_EQ(SliceValues(chart.ScoreSlices()), (QList<int>{4, 1, 1}));
    EXPECT_EQ(SliceLabels(chart.ScoreSlices()),
              (QStringList{"Хорошо (67%)", "Средне (17%)", "Плохо (17%)"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(chart.ScoreSlices()->slices().at(i)->brush().color(), colours[i]) << i;

    chart.UpdateScoreChart(TURLTaskInfoList(), msDesktop);
    EXPECT_EQ(SliceValues(chart.ScoreSlices()), (QList<int>{0, 0, 0}));
    EXPECT_EQ(SliceLabels(chart.ScoreSlices()),
              (QStringList{"Хорошо (0%)", "Средне (0%)", "Плохо (0%)"}));
}

// Its place in the button column is 158 x 255: title, pie and three legend rows must all be
// inside it and must not overlap.
TEST(ScoreChart, FitsItsPlaceInTheButtonColumn) {
    TScoreChart chart;
    chart.resize(158, 255);
    chart.UpdateScoreChart(DesktopList("95,70,30"), msDesktop);
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    QCoreApplication::processEvents();
    const QChart* c = chart.chart();
    const QRectF plot = c->plotArea();
    const QRectF legend = c->legend()->geometry();
    EXPECT_GE(plot.top(), 2 * QFontMetricsF(c->titleFont()).height()) << "pie under the title";
    EXPECT_GE(legend.top(), plot.bottom()) << "legend not below the pie";
    EXPECT_TRUE(legend.bottom() <= 255 && legend.left() >= 0 && legend.right() <= 158);
    EXPECT_GE(qMin(plot.width(), plot.height()), 100) << "pie too small to read";
    // Each legend row holds one whole label: no truncation to "Хо..." at this width.
    QFontMetricsF fm(c->legend()->font());
    for (const QPieSlice* slice : chart.ScoreSlices()->slices())
        EXPECT_LE(fm.horizontalAdvance(slice->label()) + 20, legend.width())
            << slice->label().toStdString();
}

// Qt keeps the slice angles of the last non-empty state when every value drops to 0.
TEST(ScoreChart, EmptyPieDrawsNoStaleSlices) {
    TScoreChart chart;
    chart.resize(158, 255);
    chart.SetBackground(Qt::white);
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    auto centreColour = [&] {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        const QPointF centre = chart.chart()->plotArea().center();
        return chart.grab().toImage().pixelColor(centre.toPoint());
    };
    chart.UpdateScoreChart(DesktopList("95,10,10"), msDesktop);
    EXPECT_NE(centreColour(), QColor(Qt::white));
    chart.UpdateScoreChart(DesktopList(""), msDesktop);
    EXPECT_EQ(centreColour(), QColor(Qt::white));
    chart.UpdateScoreChart(DesktopList("70"), msDesktop);
    EXPECT_EQ(centreColour(), QColor(kScoreBandColours[1]));
}

TEST(ScoreChart, VisualThemeRule) {
    const struct {
        const char* Name;
        const char* Style;
        const char* PlatformTheme;
        const char* CurrentDesktop;
        const char* Session;
        bool Active;
    } cases[] = {
        {"GNOME session", "fusion", "", "GNOME", "gnome", true},
        {"forced platform theme", "fusion", "gtk3", "", "", true},
        {"bare X server", "fusion", "", "", "", false},
        {"blank variables", "fusion", " ", "", "", false},
        {"classic style on a desktop", "Windows", "", "KDE", "plasma", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VisualThemeActive(c.Style, c.PlatformTheme, c.CurrentDesktop, c.Session),
                  c.Active)
            << c.Name;
}

TEST(ScoreChart, BackgroundFollowsTheTheme) {
    TEnvGuard a("QT_QPA_PLATFORMTHEME"), b("XDG_CURRENT_DESKTOP"), c("DESKTOP_SESSION");
    const QColor panel(0xF0, 0xF0, 0xF0);
    qunsetenv("QT_QPA_PLATFORMTHEME");
    qunsetenv("DESKTOP_SESSION");
    qunsetenv("XDG_CURRENT_DESKTOP");
    TScoreChart chart;
    chart.SetBackgroundByTheme(panel);
    EXPECT_EQ(chart.chart()->backgroundBrush().color(), panel);
    // Painted edge to edge: no white frame or rounded corner around the panel colour.
    chart.resize(158, 255);
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    QCoreApplication::processEvents();
    const QImage shot = chart.grab().toImage();
    for (QPoint corner : {QPoint(0, 0), QPoint(157, 0), QPoint(0, 254), QPoint(157, 254)})
        EXPECT_EQ(shot.pixelColor(corner), panel) << corner.x() << "," << corner.y();
    if (QApplication::style()->name().compare("windows", Qt::CaseInsensitive) != 0) {
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        chart.SetBackgroundByTheme(panel);
        EXPECT_EQ(chart.chart()->backgroundBrush().color(), QColor(Qt::white));
    }
}

}  // namespace
}  // namespace velmora::app::test
