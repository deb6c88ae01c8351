// The chart in the window: it counts the strategy shown and is refreshed at its moments only.
#include <QComboBox>
#include <QPieSeries>
#include <QPieSlice>
#include <QTabWidget>

#include "app/score_chart.h"
#include "support/window_env.h"

namespace velmora::app::test {
namespace {

// A checked master entry with a desktop and a mobile score.
void AddChecked(TfmMain& w, const std::string& url, const char* desktop, const char* mobile) {
    TURLTaskInfo& t = w.Master().Add(url);
    t.InitMetricResults();
    t.TaskResults->TaskResult = {trOK, trOK};
    t.TaskResults->MetricaValues.push_back({MetricaTable[0].Key, msDesktop, desktop, 3});
    t.TaskResults->MetricaValues.push_back({MetricaTable[0].Key, msMobile, mobile, 3});
}

QString GoodLabel(TfmMain& w) {
    return w.Ui().crtURLScore->ScoreSlices()->slices().at(0)->label();
}

TEST(ChartInWindow, FollowsTheStrategyTabAndRelabelsOnceAfterALanguageChange) {
    TLocaleEnv env("en_US.UTF-8");
    TAppDir dir;
    auto w = ShowWindow(dir.Options());
    EXPECT_EQ(GoodLabel(*w), "Good (0%)");  // refreshed at start-up, nothing counted

    AddChecked(*w, "https://a.example/", "100", "40");
    // Nothing but the listed moments refreshes the chart.
    EXPECT_EQ(w->Ui().crtURLScore->Bands().Total(), 0);
    w->Ui().pcStrategy->setCurrentIndex(1);
    EXPECT_EQ(w->Ui().crtURLScore->Bands().Poor, 1);
    w->Ui().pcStrategy->setCurrentIndex(0);
    EXPECT_EQ(w->Ui().crtURLScore->Bands().Good, 1);
    EXPECT_EQ(GoodLabel(*w), "Good (100%)");

    w->Ui().pcPages->setCurrentWidget(w->Ui().tsParams);
    w->Ui().cbAppLang->setCurrentIndex(w->Ui().cbAppLang->findData(QStringLiteral("ru")));
    w->cbAppLangChange();
    EXPECT_EQ(GoodLabel(*w), "Good (100%)");  // stays until the URL page is shown again
    w->Ui().pcPages->setCurrentWidget(w->Ui().tsURLs);
    EXPECT_EQ(GoodLabel(*w), "Хорошо (100%)");

    // Without another language change, going back to the URL page does not recount.
    AddChecked(*w, "https://b.example/", "95", "95");
    w->Ui().pcPages->setCurrentWidget(w->Ui().tsParams);
    w->Ui().pcPages->setCurrentWidget(w->Ui().tsURLs);
    EXPECT_EQ(w->Ui().crtURLScore->Bands().Good, 1);
}

}  // namespace
}  // namespace velmora::app::test
