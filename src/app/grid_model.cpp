#include "app/grid_model.h"

#include "engine/grid_text.h"

namespace velmora::app {

TURLGridModel::TURLGridModel(TURLTaskInfoList& tasks, TMetricaStrategy strategy, QObject* parent)
    : QAbstractTableModel(parent), FTasks(tasks), FStrategy(strategy) {}

int TURLGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FTasks.Count());
}

int TURLGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kGridColumnCount;
}

TURLTaskInfo* TURLGridModel::TaskAt(int row) const {
    if (row < 0 || row >= static_cast<int>(FTasks.Count())) return nullptr;
    return &FTasks[static_cast<size_t>(row)];
}

QVariant TURLGridModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return QString::fromStdString(CellText(TaskAt(index.row()), FStrategy, index.column()));
}

QVariant TURLGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return QString::fromStdString(GridColumnCaption(section));
}

void TURLGridModel::Reload() {
    beginResetModel();
    endResetModel();
}

void TURLGridModel::RepaintAll() {
    if (FTasks.Empty()) return;
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, kGridColumnCount - 1));
}

void TURLGridModel::RepaintRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    Q_EMIT dataChanged(index(row, 0), index(row, kGridColumnCount - 1));
}

void TURLGridModel::Retranslate() {
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, kGridColumnCount - 1);
}

}  // namespace velmora::app
