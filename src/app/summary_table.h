// A read-only table of summary rows (the fix list, shared resources, page groups): cells with
// their own sort keys, and per row the pages it stands for, so choosing a row can filter the
// grids. Column captions are design texts, translated when shown.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QSet>
#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

class QSortFilterProxyModel;
class QTableView;

namespace velmora::app {

struct TSummaryCell {
    QString Text;
    QVariant Sort;  // a number sorts as a number; none sorts by the text
    QString Tip;
    std::optional<QColor> Colour;
};

struct TSummaryRow {
    std::vector<TSummaryCell> Cells;
    QSet<int32_t> Pages;  // task numbers
    QString What;         // the row as the grids' filter names it
};

class TSummaryTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    TSummaryTableModel(std::vector<const char*> designHeaders, QObject* parent);

    void SetRows(std::vector<TSummaryRow> rows);
    const TSummaryRow& Row(int row) const { return FRows[static_cast<size_t>(row)]; }
    // Captions follow the interface language.
    void Retranslate();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

  private:
    std::vector<const char*> FHeaders;
    std::vector<TSummaryRow> FRows;
};

// A view over the model through a sorting proxy: every column sorts by its cells' keys, and
// the summary's own order holds until a header is clicked.
QTableView* SummaryView(const char* name, TSummaryTableModel* model);
// The model row behind a view row.
int SourceRow(const QTableView* view, int viewRow);

}  // namespace velmora::app
