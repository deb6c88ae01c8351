// The filter bar above the result grids: a text (in the URL or the error), a status and a
// score band. Rows that do not match are hidden in both grids; the list itself is untouched.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <memory>

#include "engine/tasks.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QWidget;

namespace velmora::app {

class TURLGridModel;

// What a row must be to stay shown.
struct TGridFilterRule {
    enum TStatus { fsAll = 0, fsFailed, fsOk, fsUnchecked };
    enum TBand { fbAll = 0, fbGood, fbAverage, fbPoor };
    QString Text;  // part of the URL or of the error cell, ASCII case ignored; empty: any
    TStatus Status = fsAll;
    TBand Band = fbAll;
    // Only these task numbers, chosen on the "Across pages" tab; none: any.
    std::shared_ptr<const QSet<int32_t>> Pages;
    bool Empty() const { return Text.isEmpty() && Status == fsAll && Band == fbAll && !Pages; }
};

// Whether task's row in the grid of strategy s stays shown; errorText is the error cell.
bool RowMatches(const TURLTaskInfo& task, TMetricaStrategy s, const QString& errorText,
                const TGridFilterRule& rule);

class TGridFilter : public QObject {
    Q_OBJECT
  public:
    // Builds the bar into parent's new layout and follows both grids' models.
    TGridFilter(QWidget* bar, QTableView* desktopGrid, QTableView* mobileGrid);

    QLineEdit* edFilter = nullptr;
    QComboBox* cbFilterStatus = nullptr;
    QComboBox* cbFilterScore = nullptr;
    // Shown while the rows are limited to the pages of a summary row.
    QLabel* lbPageFilter = nullptr;
    QPushButton* btClearPageFilter = nullptr;

    // Keeps only these pages, named by what; an empty what and set clears the limit.
    void SetPages(const QSet<int32_t>& pages, const QString& what);
    void ClearPages() { SetPages({}, {}); }
    bool HasPages() const { return FPages != nullptr; }

    TGridFilterRule Rule() const;
    // Hides and shows the rows of both grids by the rule; run after every change of the rows.
    void Apply();
    // The combo boxes' texts follow the interface language.
    void Retranslate();

  private:
    // Rows first..last of grid; -1 for all.
    void ApplyTo(QTableView* grid, int first = -1, int last = -1);

    QTableView* FGrids[2];
    std::shared_ptr<const QSet<int32_t>> FPages;
    QString FPagesWhat;
};

}  // namespace velmora::app
