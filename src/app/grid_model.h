// One strategy's view of the master list as a table of 17 columns.
#pragma once

#include <QAbstractTableModel>

#include "engine/tasks.h"

namespace velmora::app {

class TURLGridModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    TURLGridModel(TURLTaskInfoList& tasks, TMetricaStrategy strategy, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    TMetricaStrategy Strategy() const { return FStrategy; }
    // The master entry of a row, or null.
    TURLTaskInfo* TaskAt(int row) const;

    // The master list changed size or order.
    void Reload();
    // Every row's results changed.
    void RepaintAll();
    // The results of the entry at this master position changed.
    void RepaintRow(int row);
    // The fixed captions follow the interface language.
    void Retranslate();

  private:
    TURLTaskInfoList& FTasks;
    TMetricaStrategy FStrategy;
};

}  // namespace velmora::app
