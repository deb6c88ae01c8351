// One URL's score over the kept runs: a small line chart, desktop and mobile, dates along.
#pragma once

#include <QWidget>
#include <vector>

#include "engine/tasks.h"
#include "history/history_store.h"

class QChartView;
class QLabel;
class QLineSeries;

namespace velmora::app {

class TScoreTrendChart : public QWidget {
    Q_OBJECT
  public:
    explicit TScoreTrendChart(QWidget* parent = nullptr);

    // Points oldest first. A line needs two scores: with fewer in both strategies only a
    // short note is shown.
    void SetTrend(const std::vector<history::IHistoryStore::TScorePoint>& points);

    QLineSeries* Series(TMetricaStrategy s) const { return FSeries[s]; }
    QChartView* ChartView() const { return FView; }
    QLabel* Note() const { return FNote; }

  private:
    QChartView* FView = nullptr;
    QLabel* FNote = nullptr;
    QLineSeries* FSeries[2] = {nullptr, nullptr};
};

}  // namespace velmora::app
