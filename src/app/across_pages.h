// The "Across pages" tab beside the grids: the failing audits of all checked pages with what
// fixing them saves, the resources many pages share, and the pages grouped by template.
// Choosing a row asks for the grids to show only the pages it stands for.
#pragma once

#include <QSet>
#include <QWidget>
#include <vector>

#include "engine/site_summary.h"

class QComboBox;
class QLabel;
class QTableView;

namespace velmora::app {

class TSummaryTableModel;

// The tables' columns, in order.
enum TFixColumn {
    xcAudit,
    xcCategory,
    xcGroup,
    xcPages,
    xcShare,
    xcSavedSum,
    xcSavedMedian,
    xcSavedKb,
    xcMedianScore,
    xcFixColumns
};
enum TResourceColumn { rcResource, rcAudit, rcPages, rcSavedMedian, rcSavedKb, rcResourceColumns };
enum TGroupColumn {
    gpName,
    gpPages,
    gpMedianScore,
    gpGood,
    gpAverage,
    gpPoor,
    gpCwv,
    gpWorst,
    gpGroupColumns
};

class TAcrossPages : public QWidget {
    Q_OBJECT
  public:
    explicit TAcrossPages(QWidget* parent = nullptr);

    // Summarizes the rows and shows the summary; the rows must outlive only this call.
    void Show(const std::vector<const TURLTaskInfo*>& rows, const std::vector<TGroupRule>& rules);
    void ShowSummary(TSiteSummary summary);
    const TSiteSummary& Summary() const { return FSummary; }
    TMetricaStrategy Strategy() const;
    void Retranslate();

    QComboBox* cbAcrossStrategy = nullptr;
    QLabel* lbAcrossNote = nullptr;
    QTableView* vtFixes = nullptr;
    QTableView* vtResources = nullptr;
    QTableView* vtGroups = nullptr;

  Q_SIGNALS:
    // The pages of the chosen row, and what the row is, for the grids' filter.
    void PagesChosen(const QSet<int32_t>& pages, const QString& what);

  private:
    void Fill();
    void RowChosen(QTableView* view, TSummaryTableModel* model);

    bool FClearing = false;  // the other tables' selections are being cleared
    TSiteSummary FSummary;
    QHash<int32_t, QString> FUrls;  // task number -> URL, for the worst pages
    TSummaryTableModel* FFixes = nullptr;
    TSummaryTableModel* FResources = nullptr;
    TSummaryTableModel* FGroups = nullptr;
};

}  // namespace velmora::app
