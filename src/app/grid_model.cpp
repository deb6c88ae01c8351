#include "app/grid_model.h"

#include <QBrush>
#include <QRegularExpression>
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "app/failure_text.h"
#include "app/icons.h"
#include "app/run_comparison.h"
#include "app/translate.h"
#include "engine/grid_sort.h"
#include "engine/grid_text.h"
#include "engine/score_bands.h"
#include "history/run_compare.h"

namespace velmora::app {
namespace {

constexpr QRgb kFailedRow = 0xF5A5A5;
constexpr QRgb kScorePoor = kScoreBandFill[sbPoor];
constexpr QRgb kScoreAverage = kScoreBandFill[sbAverage];
constexpr QRgb kScoreGood = kScoreBandFill[sbGood];
// Compare mode: pale, so the change's text stays easy to read on them.
constexpr QRgb kChangeBetter = 0xC6EFCE;
constexpr QRgb kChangeWorse = 0xFFC7CE;
constexpr QRgb kOnlyOlderRow = 0xE0E0E0;
constexpr QRgb kOnlyNewerCell = 0xD6E6F5;

Qt::Alignment CellAlignment(int col) {
    switch (col) {
        case gcURL:
            return Qt::AlignLeft | Qt::AlignVCenter;
        case gcError:
        case gcInfo:
        case gcCwv:
        case gcField:
            return Qt::AlignCenter;
        default:
            return Qt::AlignRight | Qt::AlignVCenter;
    }
}

// The score as the service's text gives it, or -1 when the text is no decimal integer.
int ScoreOf(const std::string& text) {
    bool ok = false;
    const int v = QString::fromStdString(text).toInt(&ok, 10);
    return ok ? v : -1;
}

}  // namespace

TURLGridModel::TURLGridModel(TURLTaskInfoList& tasks, TMetricaStrategy strategy, QObject* parent)
    : QAbstractTableModel(parent),
      FTasks(tasks),
      FStrategy(strategy),
      // The first header click toggles this: ascending on the desktop grid, descending on
      // the mobile one.
      FSortOrder(strategy == msDesktop ? Qt::DescendingOrder : Qt::AscendingOrder) {
    FRows.reserve(FTasks.Count());
    for (size_t i = 0; i < FTasks.Count(); ++i) FRows.push_back(&FTasks[i]);
}

int TURLGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TURLGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : gcColumnEnd;
}

TURLTaskInfo* TURLGridModel::TaskAt(int row) const {
    if (row < 0 || row >= static_cast<int>(FRows.size())) return nullptr;
    return FRows[static_cast<size_t>(row)];
}

int TURLGridModel::RowOf(const TURLTaskInfo* task) const {
    const auto it = std::find(FRows.begin(), FRows.end(), task);
    return it == FRows.end() ? -1 : static_cast<int>(it - FRows.begin());
}

namespace {

// A value's units in the interface language. The service and the export write them in English;
// only the grid speaks the user's language. A unit follows a digit and a space.
QString LocalUnits(QString text) {
    struct TUnit {
        const char* Source;
        const char* Shown;
    };
    static constexpr TUnit kUnits[] = {{"ms", N_("мс")}, {"s", N_("с")}, {"kb", N_("КБ")}};
    static const QRegularExpression kUnit(QStringLiteral("(?<=\\d[ \u00a0])(ms|s|kb)(?=$|[) ])"));
    if (!text.contains(kUnit)) return text;
    QString out;
    qsizetype from = 0;
    for (const QRegularExpressionMatch& m : kUnit.globalMatch(text)) {
        out += text.mid(from, m.capturedStart() - from);
        for (const TUnit& u : kUnits)
            if (m.captured() == QLatin1String(u.Source)) out += TrQ(u.Shown);
        from = m.capturedEnd();
    }
    return out + text.mid(from);
}

}  // namespace

QString TURLGridModel::CellDisplayText(int row, int col) const {
    const TURLTaskInfo* task = TaskAt(row);
    QString text = QString::fromStdString(CellText(task, FStrategy, col));
    // A red row says why, though the export keeps the service's own (empty) error text.
    if (col == gcError && text.isEmpty() && task && task->TaskResults)
        text = StopText(*task->TaskResults, FStrategy);
    return text;
}

std::optional<QColor> TURLGridModel::CellColour(int row, int col) const {
    const TURLTaskInfo* task = TaskAt(row);
    // A strategy the run did not ask for looks as a row never checked.
    if (!task || !task->TaskResults || !task->TaskResults->Asked(FStrategy)) return std::nullopt;
    const TURLTaskResults& r = *task->TaskResults;
    if (r.TaskResult[FStrategy] != trOK) return QColor(kFailedRow);
    if (IsFieldColumn(col)) {
        switch (FieldCellCategory(task, FStrategy, col)) {
            case fcFast:
                return QColor(kScoreGood);
            case fcAverage:
                return QColor(kScoreAverage);
            case fcSlow:
                return QColor(kScorePoor);
            case fcNone:
                return std::nullopt;
        }
    }
    if (!IsCategoryScoreColumn(col)) return std::nullopt;
    const TMetricaValue* score =
        r.MetricaValues.GetValueByKey(CategoryTable[ColumnCategory(col)].Key, FStrategy);
    if (!score || score->ColNum != col) return std::nullopt;
    const int v = ScoreOf(score->DisplayText);
    if (v < 0 || v > 100) return std::nullopt;
    return QColor(kScoreBandFill[velmora::ScoreBandOf(v)]);
}

int TURLGridModel::CellImageIndex(int row, int col) const {
    const TURLTaskInfo* task = TaskAt(row);
    if (col != gcInfo || !task || !task->TaskResults) return -1;
    const TURLTaskResults& r = *task->TaskResults;
    return r.TaskResult[FStrategy] == trOK && !r.AdviceList[FStrategy].empty() ? imgInfo
                                                                               : imgInfoGray;
}

QVariant TURLGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const int row = index.row(), col = index.column();
    switch (role) {
        case Qt::DisplayRole:
            if (col == gcError && FInFlight && TaskAt(row) && FInFlight(TaskAt(row)->Num))
                return TrQ("проверка…");
            if (col == gcInfo) return {};
            if (col == gcURL || col == gcError)
                return FComparison ? CompareText(row, col) : CellDisplayText(row, col);
            return LocalUnits(FComparison ? CompareText(row, col) : CellDisplayText(row, col));
        case Qt::ToolTipRole: {
            if (FComparison)
                if (QString tip = CompareToolTip(row, col); !tip.isEmpty()) return tip;
            // The column is narrow; the whole reason is one hover away.
            const TURLTaskInfo* task = TaskAt(row);
            if (col != gcError || !task || !task->TaskResults) return {};
            const QString text = OutcomeToolTip(*task->TaskResults, FStrategy);
            return text.isEmpty() ? QVariant() : QVariant(text);
        }
        case Qt::BackgroundRole:
            if (auto c = FComparison ? CompareColour(row, col) : CellColour(row, col))
                return QBrush(*c);
            return {};
        case Qt::DecorationRole: {
            const int img = CellImageIndex(row, col);
            if (img >= 0 && img < FImages.size()) return FImages[img];
            return {};
        }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(CellAlignment(col));
        default:
            return {};
    }
}

QVariant TURLGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return QString::fromStdString(GridColumnCaption(section));
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

void TURLGridModel::SortRows(int col, Qt::SortOrder order) {
    FSortColumn = col;
    FSortOrder = order;
    if (FRows.size() < 2 || col < 0 || col == gcInfo) return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<TURLTaskInfo*> tasksBefore;
    tasksBefore.reserve(static_cast<size_t>(before.size()));
    for (const QModelIndex& i : before) tasksBefore.push_back(TaskAt(i.row()));
    SortInPlace(col, order == Qt::AscendingOrder);
    std::unordered_map<const TURLTaskInfo*, int> rowOf;
    rowOf.reserve(FRows.size());
    for (size_t r = 0; r < FRows.size(); ++r) rowOf.emplace(FRows[r], static_cast<int>(r));
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after << index(rowOf.at(tasksBefore[static_cast<size_t>(i)]), before[i].column());
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TURLGridModel::BeginBulkUpdate() {
    if (FInBulk) return;
    LeaveComparisonFirst();
    FInBulk = true;
    beginResetModel();
}

void TURLGridModel::ClearRows() {
    FRows.clear();
}

void TURLGridModel::EndBulkUpdate() {
    if (!FInBulk) return;
    // The rows are always a permutation of the first tasks of the list; an import only appends.
    for (size_t i = FRows.size(); i < FTasks.Count(); ++i) FRows.push_back(&FTasks[i]);
    if (FSortColumn >= 0 && FSortColumn != gcInfo)
        SortInPlace(FSortColumn, FSortOrder == Qt::AscendingOrder);
    FInBulk = false;
    endResetModel();
}

int TURLGridModel::RemoveRowsByNums(const std::vector<int32_t>& nums) {
    LeaveComparisonFirst();
    const std::unordered_set<int32_t> gone(nums.begin(), nums.end());
    // Display rows [first, last) to remove, walked from the end so earlier rows keep their
    // indexes.
    std::vector<std::pair<int, int>> runs;
    int next = -1;  // the row after the last removed one, in the old numbering
    for (int r = 0; r < static_cast<int>(FRows.size());) {
        if (!gone.count(FRows[static_cast<size_t>(r)]->Num)) {
            ++r;
            continue;
        }
        const int first = r;
        while (r < static_cast<int>(FRows.size()) && gone.count(FRows[static_cast<size_t>(r)]->Num))
            ++r;
        runs.emplace_back(first, r);
        next = r < static_cast<int>(FRows.size()) ? r : -1;
    }
    int removedBeforeNext = 0;
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
        beginRemoveRows({}, it->first, it->second - 1);
        FRows.erase(FRows.begin() + it->first, FRows.begin() + it->second);
        endRemoveRows();
        if (next >= 0 && it->second <= next) removedBeforeNext += it->second - it->first;
    }
    return next >= 0 ? next - removedBeforeNext : -1;
}

void TURLGridModel::NumbersChanged() {
    if (FRows.empty()) return;
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DisplayRole});
}

void TURLGridModel::Reload() {
    LeaveComparisonFirst();
    beginResetModel();
    FRows.clear();
    for (size_t i = 0; i < FTasks.Count(); ++i) FRows.push_back(&FTasks[i]);
    if (FSortColumn >= 0 && FSortColumn != gcInfo)
        SortInPlace(FSortColumn, FSortOrder == Qt::AscendingOrder);
    endResetModel();
}

void TURLGridModel::RepaintAll() {
    if (FRows.empty()) return;
    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, gcColumnEnd - 1));
}

void TURLGridModel::RepaintRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    Q_EMIT dataChanged(index(row, 0), index(row, gcColumnEnd - 1));
}

void TURLGridModel::RepaintTask(const TURLTaskInfo& task) {
    RepaintRow(RowOf(&task));
}

void TURLGridModel::Retranslate() {
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, gcColumnEnd - 1);
}

void TURLGridModel::SetComparison(const TRunComparison* comparison) {
    if (FInBulk) return;
    beginResetModel();
    FComparison = comparison;
    FRows.clear();
    FRows.reserve(FTasks.Count() + (comparison ? comparison->OlderOnly().size() : 0));
    for (size_t i = 0; i < FTasks.Count(); ++i) FRows.push_back(&FTasks[i]);
    if (comparison)
        FRows.insert(FRows.end(), comparison->OlderOnly().begin(), comparison->OlderOnly().end());
    if (FSortColumn >= 0 && FSortColumn != gcInfo)
        SortInPlace(FSortColumn, FSortOrder == Qt::AscendingOrder);
    endResetModel();
}

void TURLGridModel::LeaveComparisonFirst() {
    if (!FComparison) return;
    Q_EMIT LeavingComparison();
    // Nobody listening: the rows must still become the master list's before it changes.
    if (FComparison) SetComparison(nullptr);
}

void TURLGridModel::SortInPlace(int col, bool ascending) {
    if (!FComparison) {
        SortGridRows(FRows, FStrategy, col, ascending);
        return;
    }
    // The URLs the older run alone had stay below the shown run's, whatever the order.
    const auto split =
        std::stable_partition(FRows.begin(), FRows.end(),
                              [this](const TURLTaskInfo* t) { return FComparison->InNewer(t); });
    std::vector<TURLTaskInfo*> newer(FRows.begin(), split), older(split, FRows.end());
    if (history::IsComparedColumn(col))
        SortByChange(newer, col, ascending);
    else
        SortGridRows(newer, FStrategy, col, ascending);
    SortGridRows(older, FStrategy, col, ascending);
    std::copy(older.begin(), older.end(), std::copy(newer.begin(), newer.end(), FRows.begin()));
}

void TURLGridModel::SortByChange(std::vector<TURLTaskInfo*>& rows, int col, bool ascending) const {
    struct TKeyed {
        double Change;
        TURLTaskInfo* Row;
    };
    std::vector<TKeyed> changed;
    std::vector<TURLTaskInfo*> unchanged;
    changed.reserve(rows.size());
    for (TURLTaskInfo* row : rows) {
        const TURLTaskInfo* older = FComparison->OlderOf(row);
        std::optional<double> change;
        if (older)
            change = history::ChangeValue(CellText(older, FStrategy, col),
                                          CellText(row, FStrategy, col));
        if (change)
            changed.push_back({*change, row});
        else
            unchanged.push_back(row);
    }
    // Rows without a change (new URLs, failed checks) follow in both directions: the changes
    // are what the user sorted for.
    std::stable_sort(changed.begin(), changed.end(), [ascending](const TKeyed& a, const TKeyed& b) {
        return ascending ? a.Change < b.Change : a.Change > b.Change;
    });
    size_t i = 0;
    for (const TKeyed& k : changed) rows[i++] = k.Row;
    for (TURLTaskInfo* row : unchanged) rows[i++] = row;
}

QString TURLGridModel::CompareText(int row, int col) const {
    const QString own = CellDisplayText(row, col);
    const TURLTaskInfo* task = TaskAt(row);
    if (!task) return own;
    switch (FComparison->PresenceOf(task)) {
        case history::TPresence::prOnlyOlder:
            // Its number belongs to the older run's list, which is not shown.
            // The URL stays whole; the number cell marks the row, its colour and tool tip tell.
            return col == gcNumber ? QStringLiteral("–") : own;
        case history::TPresence::prOnlyNewer:
            return col == gcNumber ? QStringLiteral("+") + own : own;
        case history::TPresence::prBoth:
            break;
    }
    if (!history::IsComparedColumn(col)) return own;
    const std::string change =
        history::FormatChange(CellText(FComparison->OlderOf(task), FStrategy, col),
                              CellText(task, FStrategy, col), FComparison->DecimalSeparator());
    return change.empty() ? own : own + QStringLiteral(" (") + QString::fromStdString(change) + ')';
}

QString TURLGridModel::CompareToolTip(int row, int col) const {
    const TURLTaskInfo* task = TaskAt(row);
    if (!task) return {};
    const QString older = QString::number(FComparison->OlderRun().Id);
    const QString newer = QString::number(FComparison->NewerRun().Id);
    switch (FComparison->PresenceOf(task)) {
        case history::TPresence::prOnlyOlder:
            return col == gcNumber || col == gcURL
                       ? TrQ("Этот URL есть только в старом запуске %1; показаны его результаты")
                             .arg(older)
                       : QString();
        case history::TPresence::prOnlyNewer:
            return col == gcNumber || col == gcURL
                       ? TrQ("Этот URL есть только в новом запуске %1").arg(newer)
                       : QString();
        case history::TPresence::prBoth:
            break;
    }
    if (!history::IsComparedColumn(col)) return {};
    const QString was =
        QString::fromStdString(CellText(FComparison->OlderOf(task), FStrategy, col));
    const QString now = CellDisplayText(row, col);
    const QString none = QStringLiteral("—");
    return TrQ("Запуск %1: %2\nЗапуск %3: %4")
        .arg(older, was.isEmpty() ? none : was, newer, now.isEmpty() ? none : now);
}

std::optional<QColor> TURLGridModel::CompareColour(int row, int col) const {
    const TURLTaskInfo* task = TaskAt(row);
    if (!task) return std::nullopt;
    switch (FComparison->PresenceOf(task)) {
        case history::TPresence::prOnlyOlder:
            return QColor(kOnlyOlderRow);
        case history::TPresence::prOnlyNewer:
            if (col == gcNumber || col == gcURL) return QColor(kOnlyNewerCell);
            return CellColour(row, col);
        case history::TPresence::prBoth:
            break;
    }
    if (!history::IsComparedColumn(col) || !task->TaskResults ||
        task->TaskResults->TaskResult[FStrategy] != trOK)
        return CellColour(row, col);
    // The score's own colour gives way to the direction of its change.
    switch (history::ChangeVerdictOf(col, CellText(FComparison->OlderOf(task), FStrategy, col),
                                     CellText(task, FStrategy, col))) {
        case history::TChangeVerdict::cvBetter:
            return QColor(kChangeBetter);
        case history::TChangeVerdict::cvWorse:
            return QColor(kChangeWorse);
        case history::TChangeVerdict::cvSame:
            return CellColour(row, col);
        case history::TChangeVerdict::cvNone:
            break;
    }
    // Nothing to compare with (the older check failed): the cell's own colour.
    return CellColour(row, col);
}

}  // namespace velmora::app
