// A URL's score over the kept runs: which points each line gets and when a note replaces it.
#include <gtest/gtest.h>

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineSeries>

#include "app/advices.h"
#include "app/score_trend_chart.h"
#include "support/fake_english.h"

namespace velmora::app::test {
namespace {

using TPoint = history::IHistoryStore::TScorePoint;
constexpr int64_t kDay = 86400;

QList<QPointF> Points(const TScoreTrendChart& chart, TMetricaStrategy s) {
    return chart.Series(s)->points();
}

TEST(ScoreTrend, EachStrategyGetsItsScoredRunsAndFewerThanTwoShowANote) {
    struct TCase {
        const char* Name;
        std::vector<TPoint> Points;
        size_t Desktop, Mobile;
        bool Drawn;
    };
    const TCase cases[] = {
        {"no history", {}, 0, 0, false},
        {"one run", {{1, 10 * kDay, {70.0, 40.0}}}, 1, 1, false},
        // A run whose check of the URL failed has no score: no point, no zero.
        {"second run failed", {{1, 10 * kDay, {70.0, 40.0}}, {2, 11 * kDay, {}}}, 1, 1, false},
        {"desktop twice, mobile once",
         {{1, 10 * kDay, {70.0, {}}}, {2, 11 * kDay, {75.0, 50.0}}},
         2,
         1,
         true},
    };
    TScoreTrendChart chart;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        chart.SetTrend(c.Points);
        EXPECT_EQ(static_cast<size_t>(Points(chart, msDesktop).size()), c.Desktop);
        EXPECT_EQ(static_cast<size_t>(Points(chart, msMobile).size()), c.Mobile);
        EXPECT_EQ(!chart.ChartView()->isHidden(), c.Drawn);
        EXPECT_FALSE(chart.Note()->text().isEmpty());
    }
    // Dates along, in milliseconds as the date axis takes them; the score up.
    EXPECT_EQ(Points(chart, msDesktop),
              QList<QPointF>({QPointF(10 * kDay * 1000.0, 70), QPointF(11 * kDay * 1000.0, 75)}));
    EXPECT_EQ(Points(chart, msMobile), QList<QPointF>({QPointF(11 * kDay * 1000.0, 50)}));
}

// Runs that scored more than performance offer those categories; the choice holds across a
// new URL's trend that has the category, and falls back to performance on one without.
TEST(ScoreTrend, EachScoredCategoryCanBeCharted) {
    TPoint older{1, 10 * kDay, {70.0, 40.0}}, newer{2, 11 * kDay, {75.0, 45.0}};
    older.CategoryScore[msDesktop][ctSeo] = 67;
    newer.CategoryScore[msDesktop][ctSeo] = 92;
    newer.CategoryScore[msMobile][ctSeo] = 90;
    TScoreTrendChart chart;
    chart.SetTrend({older, newer});
    QComboBox* choice = chart.CategoryChoice();
    ASSERT_FALSE(choice->isHidden());
    ASSERT_EQ(choice->count(), 2);  // performance and SEO: accessibility was never scored
    choice->setCurrentIndex(choice->findData(int{ctSeo}));
    EXPECT_EQ(Points(chart, msDesktop),
              QList<QPointF>({QPointF(10 * kDay * 1000.0, 67), QPointF(11 * kDay * 1000.0, 92)}));
    EXPECT_EQ(Points(chart, msMobile), QList<QPointF>({QPointF(11 * kDay * 1000.0, 90)}));

    older.CategoryScore[msDesktop][ctSeo] = 50;
    chart.SetTrend({older, newer});
    EXPECT_EQ(choice->currentData().toInt(), ctSeo);
    EXPECT_EQ(Points(chart, msDesktop).first().y(), 50);

    chart.SetTrend({{1, 10 * kDay, {70.0, 40.0}}, {2, 11 * kDay, {75.0, 45.0}}});
    EXPECT_TRUE(choice->isHidden());
    EXPECT_EQ(Points(chart, msDesktop).last().y(), 75);
}

// The markers of a perfect and of a zero score lie wholly inside the plot, not cut at its edge.
TEST(ScoreTrend, PointsAtTheTopAndBottomAreDrawnWhole) {
    TScoreTrendChart chart;
    chart.resize(500, 300);
    chart.show();
    chart.SetTrend({{1, 10 * kDay, {100.0, 0.0}}, {2, 11 * kDay, {100.0, 0.0}}});
    QCoreApplication::processEvents();
    QChart* c = chart.ChartView()->chart();
    const QRectF plot = c->plotArea();
    const qreal r = chart.Series(msDesktop)->markerSize() / 2;
    for (const QPointF& p : Points(chart, msDesktop) + Points(chart, msMobile)) {
        const QPointF at = c->mapToPosition(p, chart.Series(msDesktop));
        EXPECT_GE(at.y() - r, plot.top()) << p.y();
        EXPECT_LE(at.y() + r, plot.bottom()) << p.y();
    }
}

TEST(ScoreTrend, AdviceWindowGrowsForTheChartOnly) {
    TfmGoogleAdvice window;
    window.SetScoreTrend({});
    const int plain = window.height();
    window.SetScoreTrend({{1, 10 * kDay, {70.0, 40.0}}, {2, 12 * kDay, {80.0, 35.0}}});
    EXPECT_GT(window.height(), plain);
    window.SetScoreTrend({{1, 10 * kDay, {70.0, 40.0}}});
    EXPECT_EQ(window.height(), plain);
}

}  // namespace
}  // namespace velmora::app::test
