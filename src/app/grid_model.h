// One strategy's view of the master list: every grid column, rows in the grid's own display order.
// Rows refer to master tasks; every text, colour and icon is computed when asked for.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>
#include <QList>
#include <functional>
#include <optional>
#include <vector>

#include "engine/tasks.h"

namespace velmora::app {

class TRunComparison;

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
    // The master entry of a row (display order), or null.
    TURLTaskInfo* TaskAt(int row) const;
    // The display row of a task, or -1.
    int RowOf(const TURLTaskInfo* task) const;
    const std::vector<TURLTaskInfo*>& DisplayRows() const { return FRows; }

    // A cell's text and background colour outside compare mode (no colour: the view's own).
    QString CellDisplayText(int row, int col) const;
    std::optional<QColor> CellColour(int row, int col) const;
    // A cell's picture: an index into the window's image list, or -1 for none.
    int CellImageIndex(int row, int col) const;

    // Tells which tasks are being checked right now; their error cell says so.
    void SetInFlight(std::function<bool(int32_t num)> inFlight) { FInFlight = std::move(inFlight); }

    // The pictures of column 4, by image-list index.
    void SetImages(const QList<QIcon>& images) { FImages = images; }

    // Sort state. The column is -1 until the first sort; the direction is what the next
    // header click toggles.
    int SortColumn() const { return FSortColumn; }
    Qt::SortOrder SortOrder() const { return FSortOrder; }
    void SetSortOrder(Qt::SortOrder order) { FSortOrder = order; }
    // Stable sort of all rows by col; selection and current row follow their tasks.
    void SortRows(int col, Qt::SortOrder order);

    // Bulk update: between the two calls the master list may be cleared (ClearRows first) and
    // appended to; the end appends rows for the new tasks and sorts again by the sort column.
    void BeginBulkUpdate();
    void ClearRows();
    void EndBulkUpdate();

    // Removes the rows of tasks with these numbers (before the tasks are freed). Returns the
    // display row that followed the last removed row, in the new numbering, or -1 when that
    // was the end or nothing went.
    int RemoveRowsByNums(const std::vector<int32_t>& nums);
    // The numbers changed (after a delete renumbered the master list).
    void NumbersChanged();

    // The master list changed size or order: rows in master order, sorted again.
    void Reload();
    // Every row's results changed.
    void RepaintAll();
    // The results of the display row changed.
    void RepaintRow(int row);
    // The results of this task changed: repaints the first row that refers to it.
    void RepaintTask(const TURLTaskInfo& task);
    // The fixed captions follow the interface language.
    void Retranslate();

    // Compare mode: the rows are the shown run's tasks, then those only the older run has; the
    // score and metric cells show their change and sort by it. Null ends it. Any change of the
    // rows by the master list (an import, a delete, opening a run) ends it first.
    void SetComparison(const TRunComparison* comparison);
    const TRunComparison* Comparison() const { return FComparison; }

  Q_SIGNALS:
    // Compare mode is about to end because the master list changes: whoever owns the
    // comparison ends it for both grids.
    void LeavingComparison();

  private:
    void LeaveComparisonFirst();
    void SortInPlace(int col, bool ascending);
    void SortByChange(std::vector<TURLTaskInfo*>& rows, int col, bool ascending) const;
    // Compare mode's texts, tool tips and colours; what the normal cell has when none.
    QString CompareText(int row, int col) const;
    QString CompareToolTip(int row, int col) const;
    std::optional<QColor> CompareColour(int row, int col) const;

    TURLTaskInfoList& FTasks;
    TMetricaStrategy FStrategy;
    std::vector<TURLTaskInfo*> FRows;
    QList<QIcon> FImages;
    std::function<bool(int32_t)> FInFlight;
    int FSortColumn = -1;
    Qt::SortOrder FSortOrder = Qt::AscendingOrder;
    bool FInBulk = false;
    const TRunComparison* FComparison = nullptr;
};

}  // namespace velmora::app
