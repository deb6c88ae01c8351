// One URL's score over the kept runs: a small line chart, desktop and mobile, dates along.
#pragma once

#include <QWidget>
#include <vector>

#include "engine/tasks.h"
#include "history/history_store.h"

class QChartView;
class QComboBox;
class QLabel;
class QLineSeries;

namespace velmora::app {

class TScoreTrendChart : public QWidget {
    Q_OBJECT
  public:
    explicit TScoreTrendChart(QWidget* parent = nullptr);

    // Points oldest first. A line needs two scores: with fewer in both strategies only a
    // short note is shown. The category choice is offered when the runs scored more than
    // performance, and is kept while that category has scores.
    void SetTrend(const std::vector<history::IHistoryStore::TScorePoint>& points);

    QLineSeries* Series(TMetricaStrategy s) const { return FSeries[s]; }
    QChartView* ChartView() const { return FView; }
    QLabel* Note() const { return FNote; }
    QComboBox* CategoryChoice() const { return FCategory; }

  private:
    void Draw();

    std::vector<history::IHistoryStore::TScorePoint> FPoints;
    QComboBox* FCategory = nullptr;
    QChartView* FView = nullptr;
    QLabel* FNote = nullptr;
    QLineSeries* FSeries[2] = {nullptr, nullptr};
};

}  // namespace velmora::app
