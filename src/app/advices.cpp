#include "app/advices.h"

#include <QChartView>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "app/score_trend_chart.h"
#include "base/translate.h"
#include "engine/metrica.h"

namespace velmora::app {
namespace {

constexpr const char* kCaption = "Рекомендации и предупреждения";
constexpr const char* kColumnCaptions[2] = {"Параметр", "Описание"};
constexpr int kColumnWidths[2] = {340, 400};
constexpr QSize kWindowSize(765, 462);
constexpr int kTrendHeight = 200;

QString TrText(const char* msgid) {
    return QString::fromStdString(Tr(msgid));
}

QString FromView(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Listed apart under each category: checks the service leaves to a person.
constexpr const char* kManualCaption = "Проверьте вручную";

// A row of one advice item under parent.
void AddAdviceRow(QTreeWidgetItem* parent, const TGAdvice& advice, int groupNdx) {
    auto* row = new QTreeWidgetItem(parent);
    // Copies, never references: the task's results may be replaced while this is open.
    const QString title = QString::fromStdString(advice.Title.str());
    const QString text = QString::fromStdString(advice.AdviceText);
    row->setText(0, title);
    row->setText(1, text);
    row->setToolTip(0, title);
    row->setToolTip(1, text);
    row->setData(0, kNodeKindRole, 1);
    row->setData(0, kGroupNdxRole, groupNdx);
}

QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const QString& text, int groupNdx) {
    auto* node = new QTreeWidgetItem(parent);
    node->setText(0, text);
    node->setData(0, kNodeKindRole, 0);
    node->setData(0, kGroupNdxRole, groupNdx);
    return node;
}

// The failing audits of a category other than performance under its name, in the answer's
// groups, then its manual checks; nothing when the list holds none of the category.
void AddCategoryAdvice(QTreeWidget* tree, const TGAdviceList& list, TCategory c) {
    QTreeWidgetItem* category = nullptr;
    QTreeWidgetItem* group = nullptr;
    int32_t groupNdx = -1;
    for (bool manual : {false, true}) {
        for (const TGAdvice& advice : list) {
            if (advice.Category != c || advice.Manual != manual) continue;
            if (!category) {
                category = new QTreeWidgetItem(tree);
                category->setText(0, TrText(std::string(CategoryTable[c].Caption).c_str()));
                category->setData(0, kNodeKindRole, 0);
                category->setData(0, kGroupNdxRole, -1);
            }
            // Failing audits' groups count from 0; the manual checks' node is -1.
            const int32_t ndx = manual ? -1 : advice.AdviceGroupNdx;
            if (!group || ndx != groupNdx) {
                groupNdx = ndx;
                group = AddNode(category,
                                manual ? TrText(kManualCaption)
                                       : QString::fromStdString(advice.GroupTitle.str()),
                                groupNdx);
            }
            AddAdviceRow(group, advice, groupNdx);
        }
    }
}

bool HasNextSibling(const QModelIndex& index) {
    return index.row() + 1 < index.model()->rowCount(index.parent());
}

// A tree view asks its delegate for row heights without saying how wide the cell is, so a
// wrapped text would be cut to one line; this delegate measures against the column's width.
class TWrappingDelegate : public QStyledItemDelegate {
  public:
    explicit TWrappingDelegate(QTreeView* tree) : QStyledItemDelegate(tree), FTree(tree) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        int width = FTree->columnWidth(index.column());
        // The branches take their room from whichever column the user has moved first.
        if (FTree->header()->visualIndex(index.column()) == 0) {
            int depth = FTree->rootIsDecorated() ? 1 : 0;
            for (QModelIndex p = index.parent(); p.isValid(); p = p.parent()) ++depth;
            width -= depth * FTree->indentation();
        }
        // The style wraps only within a valid rectangle, so give it a height as well.
        opt.rect = QRect(0, 0, qMax(width, 1), qMax(option.rect.height(), 1));
        return QStyledItemDelegate::sizeHint(opt, index);
    }

  private:
    QTreeView* FTree;
};

}  // namespace

void TAdviceTree::drawBranches(QPainter* painter, const QRect& rect,
                               const QModelIndex& index) const {
    const int indent = indentation();
    if (indent < 8 || isRightToLeft() || !rootIsDecorated()) {
        QTreeWidget::drawBranches(painter, rect, index);
        return;
    }
    int depth = 0;
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent()) ++depth;

    painter->save();
    QPen dotted(palette().color(QPalette::Dark));
    dotted.setStyle(Qt::DotLine);
    painter->setPen(dotted);

    // The branch area holds one column of width indent per level, the row's own level last.
    const int top = rect.top();
    const int bottom = rect.bottom();
    const int midY = rect.top() + rect.height() / 2;
    auto columnMidX = [&](int level) { return rect.left() + level * indent + indent / 2; };

    QModelIndex ancestor = index.parent();
    for (int level = depth - 1; level >= 0; --level, ancestor = ancestor.parent())
        if (HasNextSibling(ancestor))
            painter->drawLine(columnMidX(level), top, columnMidX(level), bottom);

    const int midX = columnMidX(depth);
    const bool firstRoot = depth == 0 && index.row() == 0;
    painter->drawLine(midX, firstRoot ? midY : top, midX, HasNextSibling(index) ? bottom : midY);
    painter->drawLine(midX, midY, rect.left() + (depth + 1) * indent - 2, midY);

    if (model()->hasChildren(index)) {
        const int half = 4;
        const QRect box(midX - half, midY - half, 2 * half, 2 * half);
        painter->setPen(palette().color(QPalette::Dark));
        painter->setBrush(palette().color(QPalette::Base));
        painter->drawRect(box);
        painter->setPen(palette().color(QPalette::Text));
        painter->drawLine(midX - 2, midY, midX + 2, midY);
        if (!isExpanded(index)) painter->drawLine(midX, midY - 2, midX, midY + 2);
    }
    painter->restore();
}

TfmGoogleAdvice::TfmGoogleAdvice(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fmGoogleAdvice"));
    setModal(true);
    setSizeGripEnabled(false);

    FTree = new TAdviceTree(this);
    FTree->setObjectName(QStringLiteral("vtAdvices"));
    FTree->setColumnCount(2);
    FTree->setRootIsDecorated(true);
    FTree->setItemsExpandable(true);
    FTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FTree->setSelectionMode(QAbstractItemView::SingleSelection);
    FTree->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Titles can outgrow their column: wrap them and keep the whole text in a tool tip.
    FTree->setWordWrap(true);
    FTree->setUniformRowHeights(false);
    FTree->setTextElideMode(Qt::ElideRight);
    FTree->setItemDelegate(new TWrappingDelegate(FTree));

    QHeaderView* header = FTree->header();
    header->setSectionsMovable(true);
    header->setFirstSectionMovable(true);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    for (int c = 0; c < 2; ++c) header->resizeSection(c, kColumnWidths[c]);
    // Row heights depend on the column widths and order once texts wrap.
    connect(header, &QHeaderView::sectionResized, FTree, [this] { FTree->doItemsLayout(); });
    connect(header, &QHeaderView::sectionMoved, FTree, [this] { FTree->doItemsLayout(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FTree, 1);
    FTrend = new TScoreTrendChart(this);
    layout->addWidget(FTrend);

    // The design texts are the untranslated originals, so a generic window translator that
    // walks this window remembers the same texts that RetranslateTexts starts from.
    setWindowTitle(QString::fromUtf8(kCaption));
    FTree->setHeaderLabels(
        {QString::fromUtf8(kColumnCaptions[0]), QString::fromUtf8(kColumnCaptions[1])});

    resize(kWindowSize);
}

void TfmGoogleAdvice::SetScoreTrend(
    const std::vector<history::IHistoryStore::TScorePoint>& points) {
    FTrend->SetTrend(points);
    // The chart adds to the window rather than taking the advice's room.
    const bool drawn = !FTrend->ChartView()->isHidden();
    resize(width(), kWindowSize.height() + (drawn ? kTrendHeight : 0));
}

void TfmGoogleAdvice::RetranslateTexts() {
    setWindowTitle(TrText(kCaption));
    FTree->setHeaderLabels({TrText(kColumnCaptions[0]), TrText(kColumnCaptions[1])});
}

void TfmGoogleAdvice::FillAdvices(const TGAdviceList& list, const QString& errorLine) {
    FTree->clear();
    if (!errorLine.isEmpty()) {
        auto* error = new QTreeWidgetItem(FTree);
        error->setText(0, errorLine);
        error->setToolTip(0, errorLine);
        error->setForeground(0, QColor(0xB0, 0x00, 0x20));
        error->setFirstColumnSpanned(true);
        error->setData(0, kNodeKindRole, 0);
        error->setData(0, kGroupNdxRole, -1);
    }
    for (size_t g = 0; g < AdviceGroupTable.size(); ++g) {
        auto* group = new QTreeWidgetItem(FTree);
        group->setText(0, FromView(AdviceGroupTable[g].Caption));
        group->setData(0, kNodeKindRole, 0);
        group->setData(0, kGroupNdxRole, static_cast<int>(g));
        for (const TGAdvice& advice : list)
            if (advice.Category == ctPerformance &&
                advice.AdviceGroupNdx == static_cast<int32_t>(g))
                AddAdviceRow(group, advice, static_cast<int>(g));
    }
    for (size_t c = ctAccessibility; c < CategoryTable.size(); ++c)
        AddCategoryAdvice(FTree, list, static_cast<TCategory>(c));
    FTree->expandAll();
    FTree->setCurrentItem(FTree->topLevelItem(0));
    FTree->scrollToTop();
}

void TfmGoogleAdvice::ShowAdvices(const TGAdviceList& list, const QString& errorLine) {
    RetranslateTexts();
    FillAdvices(list, errorLine);
    CentreOnParent();
    exec();
    // Nothing here may touch list: while the window was open its owner may have freed it.
}

TAdviceNodeData TfmGoogleAdvice::NodeData(const QTreeWidgetItem* item) {
    TAdviceNodeData data;
    if (!item) return data;
    data.NodeKind = static_cast<uint8_t>(item->data(0, kNodeKindRole).toInt());
    data.GroupNdx = item->data(0, kGroupNdxRole).toInt();
    return data;
}

void TfmGoogleAdvice::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FTree->setFocus(Qt::OtherFocusReason);
}

void TfmGoogleAdvice::CentreOnParent() {
    QRect area;
    QWidget* anchor = parentWidget() ? parentWidget()->window() : nullptr;
    if (anchor && anchor->isVisible()) {
        area = anchor->frameGeometry();
    } else if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        area = s->availableGeometry();
    } else {
        return;
    }
    const QRect frame = frameGeometry();
    move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

}  // namespace velmora::app
