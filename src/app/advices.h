// The modal window listing one task's advice for one strategy, grouped as in the catalogue.
#pragma once

#include <QDialog>
#include <QTreeWidget>
#include <cstdint>

#include "engine/tasks.h"
#include "history/history_store.h"

namespace velmora::app {

// What a row of vtAdvices is. The texts themselves are copied into the row at fill time, so the
// window never refers to advice items that a recheck may free while it is open.
struct TAdviceNodeData {
    uint8_t NodeKind = 0;  // 0 group row, 1 advice row
    int32_t GroupNdx = 0;  // AdviceGroupTable row
};

// Item data roles under which rows keep their TAdviceNodeData.
inline constexpr int kNodeKindRole = Qt::UserRole;
inline constexpr int kGroupNdxRole = Qt::UserRole + 1;

// A tree with dotted tree lines and +/- expand boxes whatever the application style.
class TAdviceTree : public QTreeWidget {
    Q_OBJECT
  public:
    using QTreeWidget::QTreeWidget;

  protected:
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;
};

class TScoreTrendChart;

class TfmGoogleAdvice : public QDialog {
    Q_OBJECT
  public:
    explicit TfmGoogleAdvice(QWidget* parent = nullptr);

    // Rebuilds the tree from the list and shows the window modally; returns when the user
    // closes it. The window is hidden, not destroyed, and serves the next call.
    // errorLine, when not empty, comes first: why the check of this row failed.
    void ShowAdvices(const TGAdviceList& list, const QString& errorLine = {});

    // The steps ShowAdvices takes before it runs the window, apart for callers that show it
    // themselves: caption and column titles through Tr() in the language now in force...
    void RetranslateTexts();
    // ...and the rows, all expanded.
    void FillAdvices(const TGAdviceList& list, const QString& errorLine = {});

    // The row's URL over the kept runs, below the advice; set before each ShowAdvices.
    void SetScoreTrend(const std::vector<history::IHistoryStore::TScorePoint>& points);

    QTreeWidget* Tree() const { return FTree; }
    TScoreTrendChart* Trend() const { return FTrend; }
    static TAdviceNodeData NodeData(const QTreeWidgetItem* item);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void CentreOnParent();

    TAdviceTree* FTree = nullptr;
    TScoreTrendChart* FTrend = nullptr;
};

}  // namespace velmora::app
