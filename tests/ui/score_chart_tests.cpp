#include <QChart>
#include <QLegend>
#include <QLegendMarker>
#include <QPieSeries>
#include <QPieSlice>
#include <QStyle>
#include <QtTest>
#include <optional>

#include "app/score_chart.h"
#include "ui_test_support.h"

using namespace velmora;
using namespace velmora::app;

Q_DECLARE_METATYPE(QList<int>)

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

}  // namespace

class TScoreChartTests : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void bandOfScoreText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("band");
        QTest::newRow("100 good") << "100" << 0;
        QTest::newRow("90 good") << "90" << 0;
        QTest::newRow("89 average") << "89" << 1;
        QTest::newRow("50 average") << "50" << 1;
        QTest::newRow("49 poor") << "49" << 2;
        QTest::newRow("1 poor") << "1" << 2;
        // A measured 0 is the worst result, not a missing one; the grid colours it poor too.
        QTest::newRow("0 poor") << "0" << 2;
        QTest::newRow("padded") << "  72 " << 1;
        QTest::newRow("101 out of range") << "101" << -1;
        QTest::newRow("negative") << "-5" << -1;
        QTest::newRow("N/A marker") << "N/A" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("blank") << "   " << -1;
        QTest::newRow("letters") << "abc" << -1;
        QTest::newRow("trailing junk") << "95abc" << -1;
        QTest::newRow("fraction") << "7.5" << -1;
        QTest::newRow("overflow") << "99999999999999999999" << -1;
    }
    void bandOfScoreText() {
        QFETCH(QString, text);
        QFETCH(int, band);
        QCOMPARE(ScoreBandOf(text.toStdString()), band);
    }

    void shareRoundsHalfToEven_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("share");
        QTest::newRow("1 of 8 = 12.5") << 1 << 8 << 12;
        QTest::newRow("3 of 8 = 37.5") << 3 << 8 << 38;
        QTest::newRow("5 of 8 = 62.5") << 5 << 8 << 62;
        QTest::newRow("1 of 200 = 0.5") << 1 << 200 << 0;
        QTest::newRow("3 of 200 = 1.5") << 3 << 200 << 2;
        QTest::newRow("1 of 3") << 1 << 3 << 33;
        QTest::newRow("2 of 3") << 2 << 3 << 67;
        QTest::newRow("all") << 7 << 7 << 100;
        QTest::newRow("none counted") << 0 << 0 << 0;
        QTest::newRow("zero of some") << 0 << 5 << 0;
        QTest::newRow("10000 URLs") << 1 << 10000 << 0;
    }
    void shareRoundsHalfToEven() {
        QFETCH(int, count);
        QFETCH(int, total);
        QFETCH(int, share);
        QCOMPARE(ShareRoundHalfEven(count, total), share);
    }

    void countSkipsTasksWithoutScores() {
        TURLTaskInfoList list;
        AddTask(list, "95");
        list.Add("https://example.com/never-checked");  // no results at all
        AddTask(list, nullptr, "40");                   // mobile score only
        AddTask(list, "N/A");
        AddTask(list, "70");
        AddTask(list, "30");
        AddTask(list, "10");
        const TScoreBands d = CountScoreBands(list, msDesktop);
        QCOMPARE(d.Good, 1);
        QCOMPARE(d.Average, 1);
        QCOMPARE(d.Poor, 2);
        const TScoreBands m = CountScoreBands(list, msMobile);
        QCOMPARE(m.Good + m.Average, 0);
        QCOMPARE(m.Poor, 1);
    }

    void chartShowsCountsAndShares_data() {
        QTest::addColumn<QString>("scores");
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("95/70/30/10") << "95,70,30,10" << QList<int>{1, 1, 2}
                                     << QStringList{"Хорошо (25%)", "Средне (25%)", "Плохо (50%)"};
        QTest::newRow("1 of 8 good") << "95,70,70,70,70,70,70,70" << QList<int>{1, 7, 0}
                                     << QStringList{"Хорошо (12%)", "Средне (88%)", "Плохо (0%)"};
        QTest::newRow("3 of 8 good") << "95,99,100,70,70,70,10,10" << QList<int>{3, 3, 2}
                                     << QStringList{"Хорошо (38%)", "Средне (38%)", "Плохо (25%)"};
        QTest::newRow("nothing") << "" << QList<int>{0, 0, 0}
                                 << QStringList{"Хорошо (0%)", "Средне (0%)", "Плохо (0%)"};
        QTest::newRow("only unscored") << "N/A,,abc" << QList<int>{0, 0, 0}
                                       << QStringList{"Хорошо (0%)", "Средне (0%)", "Плохо (0%)"};
        QTest::newRow("score 0 is poor")
            << "0,95" << QList<int>{1, 0, 1}
            << QStringList{"Хорошо (50%)", "Средне (0%)", "Плохо (50%)"};
        QTest::newRow("N/A left out") << "N/A,95" << QList<int>{1, 0, 0}
                                      << QStringList{"Хорошо (100%)", "Средне (0%)", "Плохо (0%)"};
    }
    void chartShowsCountsAndShares() {
        QFETCH(QString, scores);
        QFETCH(QList<int>, values);
        QFETCH(QStringList, labels);
        TScoreChart chart;
        chart.UpdateScoreChart(DesktopList(scores), msDesktop);
        QCOMPARE(SliceValues(chart.Series1()), values);
        QCOMPARE(SliceLabels(chart.Series1()), labels);
        // The legend is where the user reads the labels.
        QStringList legend;
        for (QLegendMarker* m : chart.chart()->legend()->markers(chart.Series1()))
            legend << m->label();
        QCOMPARE(legend, labels);
    }

    void strategyTabsCountTheirOwnScores() {
        TURLTaskInfoList list;
        AddTask(list, "100", "40");
        TScoreChart chart;
        chart.UpdateScoreChart(list, msDesktop);
        QCOMPARE(SliceLabels(chart.Series1()),
                 (QStringList{"Хорошо (100%)", "Средне (0%)", "Плохо (0%)"}));
        chart.UpdateScoreChart(list, msMobile);
        QCOMPARE(SliceLabels(chart.Series1()),
                 (QStringList{"Хорошо (0%)", "Средне (0%)", "Плохо (100%)"}));
    }

    void textsFollowTheLanguageOnUpdateOnly() {
        const TURLTaskInfoList list = DesktopList("95,70,30,10");
        TScoreChart chart;
        chart.UpdateScoreChart(list, msDesktop);
        QCOMPARE(chart.TitleText(), QString("Распределение\nскорости загрузки"));

        uitest::TTranslatorGuard english(uitest::FakeEnglish);
        // The chart takes no part in window translation: nothing changes until it is updated.
        QCOMPARE(SliceLabels(chart.Series1()).first(), QString("Хорошо (25%)"));
        chart.UpdateScoreChart(list, msDesktop);
        QCOMPARE(SliceLabels(chart.Series1()),
                 (QStringList{"Good (25%)", "Average (25%)", "Poor (50%)"}));
        QCOMPARE(chart.TitleText(), QString("Score\ndistribution"));
    }

    void relabelFlagFiresOncePerLanguageChange() {
        TChartRelabelFlag flag;
        QVERIFY(!flag.Take());  // page switch without a language change
        flag.Set();
        QVERIFY(flag.Take());
        QVERIFY(!flag.Take());  // back to the URL page a second time
    }

    void lookMatchesTheDesign() {
        TScoreChart chart;
        QChart* c = chart.chart();
        QCOMPARE(chart.objectName(), QString("crtURLScore"));
        QCOMPARE(c->series().size(), 1);
        QCOMPARE(c->series().first(), chart.Series1());
        QCOMPARE(chart.Series1()->objectName(), QString("Series1"));
        QCOMPARE(chart.Series1()->count(), 3);
        const QColor colours[3] = {QColor(12, 207, 109), QColor(255, 166, 0), QColor(255, 80, 66)};
        for (int i = 0; i < 3; ++i) {
            const QPieSlice* slice = chart.Series1()->slices().at(i);
            QCOMPARE(slice->brush().color(), colours[i]);
            QCOMPARE(slice->pen().style(), Qt::NoPen);
            QVERIFY(!slice->isLabelVisible());
        }
        QVERIFY(c->legend()->isVisible());
        QVERIFY(!c->legend()->isAttachedToChart());
        QCOMPARE(c->animationOptions(), QChart::NoAnimation);
        QVERIFY(!c->isDropShadowEnabled());
        QCOMPARE(c->backgroundRoundness(), 0.0);
        QCOMPARE(c->margins().left() + c->margins().top() + c->margins().right(), 0);
        QVERIFY(c->titleFont().bold());
        QCOMPARE(c->titleBrush().color(), QColor(Qt::black));
        // Colours stay when the counts change.
        chart.UpdateScoreChart(DesktopList("95,10"), msDesktop);
        QCOMPARE(chart.Series1()->slices().at(2)->brush().color(), colours[2]);
    }

    // Its place in the button column is 158 x 255: title, pie and three legend rows must all be
    // inside it and must not overlap.
    void fitsItsPlaceInTheButtonColumn() {
        TScoreChart chart;
        chart.resize(158, 255);
        chart.UpdateScoreChart(DesktopList("95,70,30"), msDesktop);
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        QCoreApplication::processEvents();
        const QChart* c = chart.chart();
        const QRectF plot = c->plotArea();
        const QRectF legend = c->legend()->geometry();
        QVERIFY2(plot.top() >= 2 * QFontMetricsF(c->titleFont()).height(), "pie under the title");
        QVERIFY2(legend.top() >= plot.bottom(), "legend not below the pie");
        QVERIFY(legend.bottom() <= 255 && legend.left() >= 0 && legend.right() <= 158);
        QVERIFY2(qMin(plot.width(), plot.height()) >= 100, "pie too small to read");
        // Each legend row holds one whole label: no truncation to "Хо..." at this width.
        QFontMetricsF fm(c->legend()->font());
        for (const QPieSlice* slice : chart.Series1()->slices())
            QVERIFY(fm.horizontalAdvance(slice->label()) + 20 <= legend.width());
    }

    // Qt keeps the slice angles of the last non-empty state when every value drops to 0.
    void emptyPieDrawsNoStaleSlices() {
        TScoreChart chart;
        chart.resize(158, 255);
        chart.SetBackground(Qt::white);
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        auto centreColour = [&] {
            for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
            const QPointF centre = chart.chart()->plotArea().center();
            return chart.grab().toImage().pixelColor(centre.toPoint());
        };
        chart.UpdateScoreChart(DesktopList("95,10,10"), msDesktop);
        QVERIFY(centreColour() != QColor(Qt::white));
        chart.UpdateScoreChart(DesktopList(""), msDesktop);
        QCOMPARE(centreColour(), QColor(Qt::white));
        chart.UpdateScoreChart(DesktopList("70"), msDesktop);
        QCOMPARE(centreColour(), QColor(kScoreBandColours[1]));
    }

    void visualThemeRule_data() {
        QTest::addColumn<QString>("style");
        QTest::addColumn<QString>("platformTheme");
        QTest::addColumn<QString>("currentDesktop");
        QTest::addColumn<QString>("session");
        QTest::addColumn<bool>("active");
        QTest::newRow("GNOME session") << "fusion"
                                       << ""
                                       << "GNOME"
                                       << "gnome" << true;
        QTest::newRow("forced platform theme") << "fusion"
                                               << "gtk3"
                                               << ""
                                               << "" << true;
        QTest::newRow("bare X server") << "fusion"
                                       << ""
                                       << ""
                                       << "" << false;
        QTest::newRow("blank variables") << "fusion"
                                         << " "
                                         << ""
                                         << "" << false;
        QTest::newRow("classic style on a desktop") << "Windows"
                                                    << ""
                                                    << "KDE"
                                                    << "plasma" << false;
    }
    void visualThemeRule() {
        QFETCH(QString, style);
        QFETCH(QString, platformTheme);
        QFETCH(QString, currentDesktop);
        QFETCH(QString, session);
        QFETCH(bool, active);
        QCOMPARE(VisualThemeActive(style, platformTheme, currentDesktop, session), active);
    }

    void backgroundFollowsTheTheme() {
        TEnvGuard a("QT_QPA_PLATFORMTHEME"), b("XDG_CURRENT_DESKTOP"), c("DESKTOP_SESSION");
        const QColor panel(0xF0, 0xF0, 0xF0);
        qunsetenv("QT_QPA_PLATFORMTHEME");
        qunsetenv("DESKTOP_SESSION");
        qunsetenv("XDG_CURRENT_DESKTOP");
        TScoreChart chart;
        chart.SetBackgroundByTheme(panel);
        QCOMPARE(chart.chart()->backgroundBrush().color(), panel);
        // Painted edge to edge: no white frame or rounded corner around the panel colour.
        chart.resize(158, 255);
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        QCoreApplication::processEvents();
        const QImage shot = chart.grab().toImage();
        for (QPoint corner : {QPoint(0, 0), QPoint(157, 0), QPoint(0, 254), QPoint(157, 254)})
            QCOMPARE(shot.pixelColor(corner), panel);
        if (QApplication::style()->name().compare("windows", Qt::CaseInsensitive) != 0) {
            qputenv("XDG_CURRENT_DESKTOP", "GNOME");
            chart.SetBackgroundByTheme(panel);
            QCOMPARE(chart.chart()->backgroundBrush().color(), QColor(Qt::white));
        }
    }

    // Not a check of pixels: the pictures are for a person to look at. The test only makes
    // sure the chart renders at its place's size in both languages.
    void screenshots() {
        QWidget panel;
        panel.setFixedSize(158, 255);
        auto* chart = new TScoreChart(&panel);
        chart->setGeometry(0, 0, 158, 255);
        chart->SetBackground(QColor(Qt::white));
        const TURLTaskInfoList list = DesktopList("95,99,100,70,70,70,10,10");
        chart->UpdateScoreChart(list, msDesktop);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QVERIFY(!uitest::SaveScreenshot(&panel, "score_chart_ru.png").isEmpty());
        {
            uitest::TTranslatorGuard english(uitest::FakeEnglish);
            chart->UpdateScoreChart(list, msDesktop);
            QVERIFY(!uitest::SaveScreenshot(&panel, "score_chart_en.png").isEmpty());
        }
        chart->SetBackground(QColor(0xF0, 0xF0, 0xF0));
        chart->UpdateScoreChart(TURLTaskInfoList(), msDesktop);
        QVERIFY(!uitest::SaveScreenshot(&panel, "score_chart_empty_panel.png").isEmpty());
    }
};

QTEST_MAIN(TScoreChartTests)
#include "score_chart_tests.moc"
