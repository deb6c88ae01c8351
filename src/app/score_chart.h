// The pie chart of good, average and poor performance scores in the URL page's button column.
#pragma once

#include <QChartView>
#include <QColor>
#include <QString>

#include "engine/score_bands.h"
#include "engine/tasks.h"

class QPieSeries;
class QPieSlice;

namespace velmora::app {

// How many URLs of the master list fall in each score band for one strategy.
struct TScoreBands {
    int Good = 0;     // 90..100
    int Average = 0;  // 50..89
    int Poor = 0;     // 0..49
    int Total() const { return Good + Average + Poor; }
};

// Band index of one score display text: 0 good, 1 average, 2 poor, -1 not counted (not a whole
// number, or outside 0..100). A score of 0 is a real result and is poor, as in the grid.
int ScoreBandOf(const std::string& displayText);

// One pass over the list; tasks without results or without a score of category c for s are
// skipped.
TScoreBands CountScoreBands(const TURLTaskInfoList& list, TMetricaStrategy s,
                            TCategory c = ctPerformance);

// count / total in per cent, rounded to the nearest whole number with a half going to the even
// neighbour (12.5 -> 12, 37.5 -> 38). Exact integer arithmetic, so no share lands a hair off a
// half. 0 when total is 0.
int ShareRoundHalfEven(int count, int total);

// The label and title patterns as written; they go through Tr() each time they are set.
inline constexpr const char* kScoreLabelPatterns[3] = {"Хорошо (%d%%)", "Средне (%d%%)",
                                                       "Плохо (%d%%)"};
inline constexpr const char* kScoreChartTitle = "Распределение\r\nскорости загрузки";

// The colours of the good, average and poor slices.
inline constexpr const std::array<uint32_t, 3>& kScoreBandColours = kScoreBandFill;

// Whether the desktop shows a visual theme, which decides the chart's background. On Linux a
// theme counts as active when the application style is not the classic "Windows" look and a
// desktop is there to supply one: a platform theme is forced (QT_QPA_PLATFORMTHEME) or a desktop
// session is named (XDG_CURRENT_DESKTOP or DESKTOP_SESSION). Otherwise (bare X server, kiosk,
// offscreen) the chart blends into its panel.
bool VisualThemeActive(const QString& styleName, const QString& platformThemeEnv,
                       const QString& currentDesktopEnv, const QString& desktopSessionEnv);
// The same for this process's style and environment.
bool VisualThemeActive();

class TScoreChart : public QChartView {
    Q_OBJECT
  public:
    explicit TScoreChart(QWidget* parent = nullptr);

    // Recounts the list for the strategy shown, writes values, labels and title, repaints.
    void UpdateScoreChart(const TURLTaskInfoList& list, TMetricaStrategy strategy,
                          TCategory category = ctPerformance);
    // White when the desktop has a visual theme, otherwise panelColour. Call once at start-up.
    void SetBackgroundByTheme(const QColor& panelColour);
    void SetBackground(const QColor& colour);

    QPieSeries* ScoreSlices() const { return FSeries; }
    TScoreBands Bands() const { return FBands; }
    // The title as shown, with "\n" for its line break.
    QString TitleText() const { return FTitle; }
    // Under the title: "Desktop: 12 of 30 checked", the scored rows of the list; empty for an
    // empty list.
    QString CoverageText() const { return FCoverage; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void LayoutChart();
    void SetTitle(const QString& plain);

    QPieSeries* FSeries = nullptr;
    QPieSlice* FSlices[3] = {};
    TScoreBands FBands;
    QString FTitle;
    QString FCoverage;
};

}  // namespace velmora::app
