#include "app/url_grids.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <unordered_set>

#include "app/advices.h"
#include "app/confirm_loss.h"
#include "app/failure_text.h"
#include "app/grid_model.h"
#include "app/history_page.h"
#include "app/icons.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/translate.h"
#include "engine/grid_text.h"
#include "history/run_compare.h"
#include "io/settings.h"

namespace velmora::app {
namespace {

constexpr int kFixedWidths[] = {45, 270, 80, 80, 40};
constexpr int kMetricWidth = 65;
// Real users' columns, from gcCwv: the verdict and the source are words, not numbers.
constexpr int kFieldWidths[] = {90, 65, 65, 65, 110};
static_assert(std::size(kFieldWidths) == gcCount - gcCwv);
constexpr int kUrlMinWidth = 50;
constexpr int kErrorMinWidth = 50;
constexpr int kErrorMaxWidth = 1000;
constexpr int kSelectionAlpha = 90;
// The widest texts the service gives for a metric, and the widest short error text.
constexpr const char* kWidestMetricTexts[] = {"11,890 ms", "29.4 s", "0.999"};
constexpr const char* kWidestErrorText = "UNKNOWN RESPONSE";
// The widest value and change a compared column usually shows, by column from the score on;
// rarer wider ones are elided, and whole in the tool tip.
constexpr const char* kWidestComparedTexts[] = {"100 (-100)",         "",
                                                "19.4 s (-9.4 s)",    "19.4 s (-9.4 s)",
                                                "19.4 s (-9.4 s)",    "19.4 s (-9.4 s)",
                                                "1,890 ms (+890 ms)", "0.999 (-0.999)"};
static_assert(std::size(kWidestComparedTexts) == gcFirstMetric + kLabTimings - gcScore);
// The cell's margins and the grid line around the text.
constexpr int kCellPadding = 14;

int TextColumnWidth(const QTableView* grid, const char* text) {
    return grid->fontMetrics().horizontalAdvance(QString::fromLatin1(text)) + kCellPadding;
}

// Draws the selection as a translucent layer over the cell's own colour, and the advice icon
// centred in its column.
class TGridCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const bool selected = opt.state & QStyle::State_Selected;
        const bool focused = opt.state & QStyle::State_HasFocus;
        opt.state &= ~QStyle::State_Selected;
        opt.state &= ~QStyle::State_HasFocus;
        const QIcon icon = opt.icon;
        const bool centredIcon = index.column() == gcInfo && !icon.isNull();
        if (centredIcon) {
            opt.icon = QIcon();
            opt.features &= ~QStyleOptionViewItem::HasDecoration;
        }
        const QPalette::ColorGroup group =
            (opt.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
        // The view has already filled a selected row with the opaque highlight.
        if (selected) painter->fillRect(opt.rect, opt.palette.brush(group, QPalette::Base));
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        if (centredIcon) icon.paint(painter, opt.rect, Qt::AlignCenter);
        if (selected) {
            QColor highlight = opt.palette.color(group, QPalette::Highlight);
            highlight.setAlpha(kSelectionAlpha);
            painter->fillRect(opt.rect, highlight);
        }
        // The keyboard's place in the grid, visible whatever the style draws.
        if (focused) {
            painter->save();
            QPen pen(opt.palette.color(group, QPalette::Text));
            pen.setStyle(Qt::DotLine);
            painter->setPen(pen);
            painter->drawRect(opt.rect.adjusted(0, 0, -1, -1));
            painter->restore();
        }
    }
};

bool ClipboardHasText() {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    return mime && mime->hasText();
}

}  // namespace

TURLGrids::TURLGrids(TfmMain& window, QTableView* desktopGrid, QTableView* mobileGrid)
    : QObject(&window), FWindow(window), FGrids{desktopGrid, mobileGrid} {
    setObjectName(QStringLiteral("URLGrids"));
    Dialogs.OpenFileName = [this](const QString& title, const QString& dir, const QString& filter) {
        return QFileDialog::getOpenFileName(&FWindow, title, dir, filter);
    };
    Dialogs.SaveFileName = [this](const QString& title, const QString& proposed,
                                  const QString& filter) {
        return QFileDialog::getSaveFileName(&FWindow, title, proposed, filter);
    };
    Dialogs.Message = [this](QMessageBox::Icon icon, const QString& text, const QString& details) {
        QMessageBox box(icon, FWindow.windowTitle(), text, QMessageBox::Ok, &FWindow);
        if (!details.isEmpty()) box.setInformativeText(details);
        box.exec();
    };
    Dialogs.OpenUrl = [](const QUrl& address) { QDesktopServices::openUrl(address); };
    Dialogs.Confirm = [this](const QString& text, bool* dontAskAgain) {
        return AskBeforeLoss(&FWindow, text, dontAskAgain);
    };
    Dialogs.ChooseImport = [this](const QString& text, TImportChoice proposed) {
        return AskImportChoice(&FWindow, text, proposed);
    };
    Dialogs.Ask = [this](const QString& text) {
        QMessageBox box(QMessageBox::Question, FWindow.windowTitle(), text,
                        QMessageBox::Yes | QMessageBox::No, &FWindow);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    };
    Dialogs.ShowAdvices = [this](const TGAdviceList& list, const QString& errorLine,
                                 const std::vector<history::IHistoryStore::TScorePoint>& trend) {
        if (!FAdviceWindow) FAdviceWindow = new TfmGoogleAdvice(&FWindow);
        FAdviceWindow->SetScoreTrend(trend);
        FAdviceWindow->ShowAdvices(list, errorLine);
    };

    CreateMenu();
    InitEditing();
    SetupGrid(FGrids[msDesktop], true);
    SetupGrid(FGrids[msMobile], false);
}

QTableView* TURLGrids::ActiveGrid() const {
    return FGrids[FWindow.ShownStrategy()];
}

TURLGridModel* TURLGrids::ModelOf(const QTableView* grid) const {
    return FWindow.GridModel(grid == FGrids[msDesktop] ? msDesktop : msMobile);
}

void TURLGrids::SetupGrid(QTableView* grid, bool infoMovable) {
    TURLGridModel* model = ModelOf(grid);
    model->SetImages(FWindow.Images());
    grid->setItemDelegate(new TGridCellDelegate(grid));
    grid->setShowGrid(true);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->setSortingEnabled(false);
    grid->viewport()->setCursor(Qt::PointingHandCursor);

    QHeaderView* header = grid->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignCenter);
    header->setSectionsClickable(true);
    header->setSectionsMovable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, model->SortOrder());
    header->setMinimumSectionSize(16);
    for (int c = 0; c < static_cast<int>(std::size(kFixedWidths)); ++c)
        grid->setColumnWidth(c, kFixedWidths[c]);
    // The longest short error text stays whole; the full reason is in the cell's tool tip.
    grid->setColumnWidth(gcError,
                         std::max(kFixedWidths[gcError], TextColumnWidth(grid, kWidestErrorText)));

    connect(header, &QHeaderView::sectionResized, grid, [header](int col, int, int width) {
        if (col == gcURL && width < kUrlMinWidth) header->resizeSection(col, kUrlMinWidth);
        if (col == gcError && (width < kErrorMinWidth || width > kErrorMaxWidth))
            header->resizeSection(col, std::clamp(width, kErrorMinWidth, kErrorMaxWidth));
    });
    // The other categories' scores stand with the performance score, just after "Инфо".
    for (int c = gcAccessibility; c < gcColumnEnd; ++c)
        header->moveSection(header->visualIndex(c), gcFirstMetric + (c - gcAccessibility));
    // The fixed columns (and "Инфо" in the mobile grid) keep their places: a drag that would
    // shift one of them is undone.
    const int fixedCount = infoMovable ? gcInfo : gcFirstMetric;
    connect(header, &QHeaderView::sectionMoved, this,
            [this, header, fixedCount](int, int oldVisual, int newVisual) {
                if (FRevertingColumnMove) return;
                for (int c = 0; c < fixedCount; ++c) {
                    if (header->visualIndex(c) != c) {
                        FRevertingColumnMove = true;
                        header->moveSection(newVisual, oldVisual);
                        FRevertingColumnMove = false;
                        return;
                    }
                }
            });
    connect(header, &QHeaderView::sectionClicked, this,
            [this, grid](int col) { GridHeaderClick(grid, col); });
    connect(grid, &QTableView::doubleClicked, this, [this, grid] { GridDoubleClick(grid); });

    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grid, &QWidget::customContextMenuRequested, this, [this, grid](const QPoint& pos) {
        pmURLsPopup();
        pmURLs->popup(grid->viewport()->mapToGlobal(pos));
    });
    for (QAction* a : pmURLs->actions())
        if (!a->shortcut().isEmpty()) grid->addAction(a);
}

void TURLGrids::SetMetricColumnWidths(QTableView* grid) {
    int width = kMetricWidth;
    for (const char* text : kWidestMetricTexts)
        width = std::max(width, TextColumnWidth(grid, text));
    for (int c = gcFirstMetric; c < gcMetricEnd; ++c) grid->setColumnWidth(c, width);
    for (int c = gcCwv; c < gcCount; ++c) grid->setColumnWidth(c, kFieldWidths[c - gcCwv]);
    for (int c = gcAccessibility; c < gcColumnEnd; ++c)
        grid->setColumnWidth(c, std::max(kFixedWidths[gcScore],
                                         TextColumnWidth(grid, GridColumnCaption(c).c_str())));
}

void TURLGrids::ShowCategoryColumns(TCategorySet categories) {
    for (QTableView* grid : FGrids)
        for (int c = gcAccessibility; c < gcColumnEnd; ++c)
            grid->setColumnHidden(c, !HasCategory(categories, ColumnCategory(c)));
}

void TURLGrids::FitCompareColumns(bool comparing) {
    for (TMetricaStrategy s : kStrategies) {
        QTableView* grid = FGrids[s];
        std::vector<int>& before = FWidthsBeforeCompare[s];
        if (!comparing) {
            for (size_t i = 0; i < before.size(); ++i)
                grid->setColumnWidth(static_cast<int>(i), before[i]);
            before.clear();
            continue;
        }
        if (before.empty())
            for (int c = 0; c < gcColumnEnd; ++c) before.push_back(grid->columnWidth(c));
        for (int c = 0; c < gcColumnEnd; ++c) {
            if (!history::IsComparedColumn(c)) continue;
            const int width =
                TextColumnWidth(grid, kWidestComparedTexts[IsCategoryColumn(c) ? 0 : c - gcScore]);
            grid->setColumnWidth(c, std::max(width, grid->columnWidth(c)));
        }
    }
}

void TURLGrids::CreateMenu() {
    pmURLs = new QMenu(&FWindow);
    pmURLs->setObjectName(QStringLiteral("pmURLs"));
    const QList<QIcon>& images = FWindow.Images();
    auto item = [this, &images](const char* name, const char* caption, int image,
                                const QKeySequence& shortcut, auto handler) {
        auto* a = new QAction(images.value(image), QString::fromUtf8(caption), pmURLs);
        a->setObjectName(QString::fromLatin1(name));
        if (!shortcut.isEmpty()) {
            a->setShortcut(shortcut);
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        }
        connect(a, &QAction::triggered, this, handler);
        pmURLs->addAction(a);
        return a;
    };
    // Every handler checks its rule again: a shortcut acts only when the rule holds right now.
    // Enter on a row opens its advice, never a run.
    miAdvices = item("miAdvices", N_("Рекомендации и предупреждения..."), imgInfo,
                     QKeySequence(Qt::Key_Return), [this] {
                         if (CanShowAdvices()) GridDoubleClick(miAdvices);
                     });
    miAdvices->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    miAdvicesSeparator = pmURLs->addSeparator();
    miAdvicesSeparator->setObjectName(QStringLiteral("miAdvicesSeparator"));
    miPaste4Clipboard = item("miPaste4Clipboard", N_("Вставить из буфера"), imgCopy,
                             QKeySequence(Qt::CTRL | Qt::Key_V), [this] {
                                 if (CanPaste()) btInsertURLs4ClipClick();
                             });
    miCheckSelected = item("miCheckSelected", N_("Проверить выбранные URL"), imgRefresh,
                           QKeySequence(Qt::CTRL | Qt::Key_R), [this] {
                               if (CanRunOrDelete() && ConfirmRecheckSelected())
                                   FWindow.StartRun(TRunScope::Selected);
                           });
    miCheckWErrors =
        item("miCheckWErrors", N_("Перепроверить URL с ошибками"), imgRefresh, {}, [this] {
            if (CanRunOrDelete()) FWindow.StartRun(TRunScope::Failed);
        });
    miContinue = item("miContinue", N_("Продолжить"), imgRefresh, {},
                      [this] { FWindow.btContinueRequestsClick(); });
    miOpenInGPSI = item("miOpenInGPSI", N_("Открыть в Google PageSpeed Insights"),
                        imgGooglePageSpeed, {}, [this] {
                            if (CanOpenInGPSI()) miOpenInGPSIClick();
                        });
    miDeleteURL =
        item("miDeleteURL", N_("Удалить"), imgDelete, QKeySequence(Qt::Key_Delete), [this] {
            if (CanRunOrDelete()) miDeleteURLClick();
        });
    miUndoDelete = item("miUndoDelete", N_("Отменить удаление или импорт"), imgDelete,
                        QKeySequence(Qt::CTRL | Qt::Key_Z), [this] {
                            if (CanUndoDelete()) miUndoDeleteClick();
                        });
    // Outside the open menu every item stays enabled so its shortcut reaches the handler,
    // which decides.
    connect(pmURLs, &QMenu::aboutToHide, this, [this] {
        for (QAction* a : pmURLs->actions()) a->setEnabled(true);
    });
}

bool TURLGrids::CanShowAdvices() const {
    return !FWindow.Master().Empty();
}

bool TURLGrids::CanPaste() const {
    return !FWindow.Running() && ClipboardHasText();
}

bool TURLGrids::CanRunOrDelete() const {
    return FWindow.RunAllowed() && !FWindow.Running() && !FWindow.Master().Empty() && !Comparing();
}

bool TURLGrids::Comparing() const {
    return FWindow.GridModel(msDesktop)->Comparison() != nullptr;
}

bool TURLGrids::CanOpenInGPSI() const {
    return !FWindow.Master().Empty();
}

void TURLGrids::pmURLsPopup() {
    miAdvices->setEnabled(CanShowAdvices());
    miPaste4Clipboard->setEnabled(CanPaste());
    miCheckSelected->setEnabled(CanRunOrDelete());
    miCheckWErrors->setEnabled(CanRunOrDelete());
    miContinue->setEnabled(FWindow.CanContinue());
    miOpenInGPSI->setEnabled(CanOpenInGPSI());
    miDeleteURL->setEnabled(CanRunOrDelete());
    miEditURL->setEnabled(CanEditURL());
    miAddURL->setEnabled(CanAddURL());
    miUndoDelete->setEnabled(CanUndoDelete());
}

void TURLGrids::GridHeaderClick(QTableView* grid, int col) {
    TURLGridModel* model = ModelOf(grid);
    QHeaderView* header = grid->horizontalHeader();
    if (col == gcInfo || col < 0 || col >= gcColumnEnd) {
        // The header flips its arrow on every click; put back what the grid is sorted by.
        header->setSortIndicator(model->SortColumn() == gcInfo ? -1 : model->SortColumn(),
                                 model->SortOrder());
        return;
    }
    const Qt::SortOrder order =
        model->SortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    model->SortRows(col, order);
    header->setSortIndicator(col, order);
}

void TURLGrids::GridDoubleClick(QObject* sender) {
    auto* grid = qobject_cast<QTableView*>(sender);
    if (!grid) grid = ActiveGrid();
    const QModelIndex current = grid->currentIndex();
    if (!current.isValid()) return;
    const TURLGridModel* model = ModelOf(grid);
    const TURLTaskInfo* task = model->TaskAt(current.row());
    if (!task || !task->TaskResults) return;
    const TGAdviceList& list = task->TaskResults->AdviceList[model->Strategy()];
    const QString errorLine = FailureText(*task->TaskResults, model->Strategy());
    if (list.empty() && errorLine.isEmpty()) return;
    if (Dialogs.ShowAdvices)
        Dialogs.ShowAdvices(list, errorLine, FWindow.Ui().tsHistory->ScoreTrend(task->URL));
}

void TURLGrids::miOpenInGPSIClick() {
    QTableView* grid = ActiveGrid();
    const QModelIndex current = grid->currentIndex();
    if (!current.isValid()) return;
    const TURLTaskInfo* task = ModelOf(grid)->TaskAt(current.row());
    if (!task) return;
    // Encoded, so "&" or "#" in the URL cannot cut the query short.
    const QByteArray address =
        QByteArray(kPageSpeedWebPage) + QUrl::toPercentEncoding(QString::fromStdString(task->URL));
    if (Dialogs.OpenUrl) Dialogs.OpenUrl(QUrl::fromEncoded(address, QUrl::StrictMode));
}

void TURLGrids::DeleteRowsByNums(QTableView* grid, const std::vector<int32_t>& nums) {
    TURLGridModel* model = ModelOf(grid);
    int next = model->RemoveRowsByNums(nums);
    if (model->rowCount() == 0) return;
    if (next < 0) next = model->rowCount() - 1;
    grid->selectionModel()->select(model->index(next, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TURLGrids::miDeleteURLClick() {
    if (FWindow.Running()) return;
    const std::vector<int32_t> nums = FWindow.SelectedNums();
    TURLTaskInfoList& master = FWindow.Master();
    int withResults = 0;
    for (int32_t num : nums)
        if (const TURLTaskInfo* t = master.FindByNum(num); t && t->TaskResults) ++withResults;
    if (withResults > 1 &&
        !ConfirmLoss(TrQ("Удалить строки (%1) вместе с результатами проверки?").arg(nums.size())))
        return;
    // Rows go before their tasks, so no grid ever refers to a freed task.
    for (QTableView* grid : FGrids) DeleteRowsByNums(grid, nums);
    const std::unordered_set<int32_t> gone(nums.begin(), nums.end());
    // Nothing deleted leaves the last delete's undo as it was.
    if (!nums.empty()) ForgetUndo();
    for (size_t i = 0; i < master.Count() && !nums.empty(); ++i) {
        TURLTaskInfo& t = master[i];
        const bool deleted = gone.count(t.Num) != 0;
        FUndo.push_back({t.URL, deleted, deleted ? std::move(t.TaskResults) : nullptr});
    }
    master.DeleteByNums(nums);
    for (TMetricaStrategy s : kStrategies) FWindow.GridModel(s)->NumbersChanged();
    FWindow.UpdateRunButtons();
    FWindow.UpdateURLListCaption();
    FWindow.UpdateScoreChart();
}

bool TURLGrids::ConfirmRecheckSelected() {
    int withResults = 0;
    for (int32_t num : FWindow.SelectedNums())
        if (const TURLTaskInfo* t = FWindow.Master().FindByNum(num); t && t->TaskResults)
            ++withResults;
    return withResults == 0 ||
           ConfirmLoss(TrQ("Проверить выбранные URL (%1) заново? Их результаты будут потеряны.")
                           .arg(withResults));
}

bool TURLGrids::CanUndoDelete() const {
    return !FUndo.empty() && !FWindow.Running() && !Comparing();
}

void TURLGrids::miUndoDeleteClick() {
    if (!CanUndoDelete()) return;
    TURLTaskInfoList& master = FWindow.Master();
    const auto keptCount = static_cast<size_t>(
        std::count_if(FUndo.begin(), FUndo.end(), [](const TUndoEntry& e) { return !e.Deleted; }));
    if (keptCount + FUndoAdded != master.Count()) {
        ForgetUndo();
        return;
    }
    // The rows kept by the change still lead the list, in order; the ones it removed go back
    // between them and the ones it appended go.
    std::vector<std::unique_ptr<TURLTaskResults>> kept;
    kept.reserve(keptCount);
    for (size_t i = 0; i < keptCount; ++i) kept.push_back(std::move(master[i].TaskResults));
    TURLGridModel* models[] = {FWindow.GridModel(msDesktop), FWindow.GridModel(msMobile)};
    for (TURLGridModel* m : models) m->BeginBulkUpdate();
    for (TURLGridModel* m : models) m->ClearRows();
    master.Clear();
    size_t next = 0;
    for (TUndoEntry& e : FUndo) {
        TURLTaskInfo& t = master.Add(e.URL);
        t.TaskResults = e.Deleted ? std::move(e.Results) : std::move(kept[next++]);
    }
    ForgetUndo();
    for (TURLGridModel* m : models) m->EndBulkUpdate();
    FWindow.UpdateRunButtons();
    FWindow.UpdateURLListCaption();
    FWindow.UpdateScoreChart();
}

bool TURLGrids::ConfirmLoss(const QString& text) {
    const std::string settings = FWindow.SettingsPath().toStdString();
    if (!io::LoadWindowSettings(settings).ConfirmLoss) return true;
    bool dontAskAgain = false;
    if (!Dialogs.Confirm || !Dialogs.Confirm(text, &dontAskAgain)) return false;
    // Only a yes is remembered: a tick beside a no must not let the next loss pass unasked.
    if (dontAskAgain && FWindow.KeepsSettings()) {
        const TResult<> written = io::SaveConfirmLoss(settings, false);
        if (!written) Message(QMessageBox::Warning, QString::fromStdString(written.Error()));
    }
    return true;
}

void TURLGrids::Message(QMessageBox::Icon icon, const QString& text, const QString& details) {
    if (Dialogs.Message) Dialogs.Message(icon, text, details);
}

}  // namespace velmora::app
