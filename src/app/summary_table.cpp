#include "app/summary_table.h"

#include <QBrush>
#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QTableView>

#include "app/translate.h"

namespace velmora::app {

TSummaryTableModel::TSummaryTableModel(std::vector<const char*> designHeaders, QObject* parent)
    : QAbstractTableModel(parent), FHeaders(std::move(designHeaders)) {}

void TSummaryTableModel::SetRows(std::vector<TSummaryRow> rows) {
    beginResetModel();
    FRows = std::move(rows);
    endResetModel();
}

void TSummaryTableModel::Retranslate() {
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

int TSummaryTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TSummaryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FHeaders.size());
}

QVariant TSummaryTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<size_t>(index.row()) >= FRows.size()) return {};
    const std::vector<TSummaryCell>& cells = FRows[static_cast<size_t>(index.row())].Cells;
    if (static_cast<size_t>(index.column()) >= cells.size()) return {};
    const TSummaryCell& cell = cells[static_cast<size_t>(index.column())];
    switch (role) {
        case Qt::DisplayRole:
            return cell.Text;
        case Qt::ToolTipRole:
            return cell.Tip.isEmpty() ? QVariant(cell.Text) : QVariant(cell.Tip);
        case Qt::UserRole:
            return cell.Sort.isValid() ? cell.Sort : QVariant(cell.Text);
        case Qt::BackgroundRole:
            return cell.Colour ? QVariant(QBrush(*cell.Colour)) : QVariant();
        case Qt::TextAlignmentRole:
            return cell.Sort.isValid() ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
        default:
            return {};
    }
}

QVariant TSummaryTableModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        static_cast<size_t>(section) >= FHeaders.size())
        return {};
    return TrQ(FHeaders[static_cast<size_t>(section)]);
}

QTableView* SummaryView(const char* name, TSummaryTableModel* model) {
    auto* proxy = new QSortFilterProxyModel(model);
    proxy->setSourceModel(model);
    proxy->setSortRole(Qt::UserRole);
    proxy->setSortCaseSensitivity(Qt::CaseInsensitive);
    auto* view = new QTableView;
    view->setObjectName(QString::fromLatin1(name));
    view->setModel(proxy);
    view->setSortingEnabled(true);
    // The summary's own order (by pages x savings) until the user asks for another.
    view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    view->verticalHeader()->hide();
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->setTabKeyNavigation(false);
    return view;
}

int SourceRow(const QTableView* view, int viewRow) {
    const auto* proxy = qobject_cast<const QSortFilterProxyModel*>(view->model());
    return proxy ? proxy->mapToSource(proxy->index(viewRow, 0)).row() : viewRow;
}

}  // namespace velmora::app
