#include "app/grid_filter.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "app/grid_model.h"
#include "app/score_chart.h"
#include "app/translate.h"
#include "engine/metrica.h"

namespace velmora::app {
namespace {

constexpr const char* kStatusTexts[] = {N_("Все строки"), N_("С ошибками"), N_("Успешные"),
                                        N_("Не проверенные")};
constexpr const char* kBandTexts[] = {N_("Любая оценка"), N_("Хорошие (90–100)"),
                                      N_("Средние (50–89)"), N_("Плохие (0–49)")};

void FillCombo(QComboBox* combo, const char* const (&texts)[4]) {
    const int current = std::max(0, combo->currentIndex());
    combo->clear();
    for (const char* t : texts) combo->addItem(TrQ(t));
    combo->setCurrentIndex(current);
}

}  // namespace

bool RowMatches(const TURLTaskInfo& task, TMetricaStrategy s, const QString& errorText,
                const TGridFilterRule& rule) {
    const TURLTaskResults* r = task.TaskResults.get();
    switch (rule.Status) {
        case TGridFilterRule::fsAll:
            break;
        case TGridFilterRule::fsFailed:
            if (!r || !r->Asked(s) || r->TaskResult[s] == trOK) return false;
            break;
        case TGridFilterRule::fsOk:
            if (!r || r->TaskResult[s] != trOK) return false;
            break;
        case TGridFilterRule::fsUnchecked:
            if (r && r->Asked(s) && r->TaskResult[s] != trNotChecked) return false;
            break;
    }
    if (rule.Band != TGridFilterRule::fbAll) {
        const TMetricaValue* score =
            r ? r->MetricaValues.GetValueByKey(MetricaTable[0].Key, s) : nullptr;
        // ScoreBandOf: 0 good, 1 average, 2 poor.
        if (!score || ScoreBandOf(score->DisplayText) != rule.Band - 1) return false;
    }
    if (rule.Pages && !rule.Pages->contains(task.Num)) return false;
    if (rule.Text.isEmpty()) return true;
    return QString::fromStdString(task.URL).contains(rule.Text, Qt::CaseInsensitive) ||
           errorText.contains(rule.Text, Qt::CaseInsensitive);
}

TGridFilter::TGridFilter(QWidget* bar, QTableView* desktopGrid, QTableView* mobileGrid)
    : QObject(bar), FGrids{desktopGrid, mobileGrid} {
    setObjectName(QStringLiteral("GridFilter"));
    edFilter = new QLineEdit;
    edFilter->setObjectName(QStringLiteral("edFilter"));
    edFilter->setClearButtonEnabled(true);
    cbFilterStatus = new QComboBox;
    cbFilterStatus->setObjectName(QStringLiteral("cbFilterStatus"));
    cbFilterScore = new QComboBox;
    cbFilterScore->setObjectName(QStringLiteral("cbFilterScore"));
    auto* label = new QLabel(QString::fromUtf8(N_("Фильтр:")));
    label->setObjectName(QStringLiteral("lbFilter"));
    label->setBuddy(edFilter);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(label);
    layout->addWidget(edFilter, 1);
    layout->addWidget(cbFilterStatus);
    layout->addWidget(cbFilterScore);
    lbPageFilter = new QLabel;
    lbPageFilter->setObjectName(QStringLiteral("lbPageFilter"));
    lbPageFilter->setTextFormat(Qt::PlainText);
    lbPageFilter->setMaximumWidth(360);
    btClearPageFilter = new QPushButton(QString::fromUtf8(N_("Все страницы")));
    btClearPageFilter->setObjectName(QStringLiteral("btClearPageFilter"));
    layout->addWidget(lbPageFilter);
    layout->addWidget(btClearPageFilter);
    lbPageFilter->hide();
    btClearPageFilter->hide();
    connect(btClearPageFilter, &QPushButton::clicked, this, &TGridFilter::ClearPages);
    Retranslate();
    connect(edFilter, &QLineEdit::textChanged, this, &TGridFilter::Apply);
    for (QComboBox* c : {cbFilterStatus, cbFilterScore})
        connect(c, &QComboBox::currentIndexChanged, this, &TGridFilter::Apply);
    // A sort, a reset or new rows put rows where hidden ones were.
    for (QTableView* grid : FGrids) {
        QAbstractItemModel* m = grid->model();
        connect(m, &QAbstractItemModel::layoutChanged, this, [this, grid] { ApplyTo(grid); });
        connect(m, &QAbstractItemModel::modelReset, this, [this, grid] { ApplyTo(grid); });
        connect(m, &QAbstractItemModel::rowsInserted, this, [this, grid] { ApplyTo(grid); });
        connect(m, &QAbstractItemModel::rowsRemoved, this, [this, grid] { ApplyTo(grid); });
        // A row checked during a run may come to match, or stop matching.
        connect(m, &QAbstractItemModel::dataChanged, this,
                [this, grid](const QModelIndex& from, const QModelIndex& to) {
                    ApplyTo(grid, from.row(), to.row());
                });
    }
}

void TGridFilter::Retranslate() {
    FillCombo(cbFilterStatus, kStatusTexts);
    FillCombo(cbFilterScore, kBandTexts);
    edFilter->setPlaceholderText(TrQ("часть URL или ошибки"));
    if (FPages)
        lbPageFilter->setText(TrQ("Только страницы «%1»: %2").arg(FPagesWhat).arg(FPages->size()));
}

void TGridFilter::SetPages(const QSet<int32_t>& pages, const QString& what) {
    const bool limit = !pages.isEmpty() || !what.isEmpty();
    FPages = limit ? std::make_shared<const QSet<int32_t>>(pages) : nullptr;
    FPagesWhat = what;
    lbPageFilter->setVisible(limit);
    btClearPageFilter->setVisible(limit);
    if (limit) lbPageFilter->setToolTip(what);
    Retranslate();
    Apply();
}

TGridFilterRule TGridFilter::Rule() const {
    TGridFilterRule rule;
    rule.Text = edFilter->text().trimmed();
    rule.Status =
        static_cast<TGridFilterRule::TStatus>(std::max(0, cbFilterStatus->currentIndex()));
    rule.Band = static_cast<TGridFilterRule::TBand>(std::max(0, cbFilterScore->currentIndex()));
    rule.Pages = FPages;
    return rule;
}

void TGridFilter::Apply() {
    for (QTableView* grid : FGrids) ApplyTo(grid);
}

void TGridFilter::ApplyTo(QTableView* grid, int first, int last) {
    auto* model = qobject_cast<TURLGridModel*>(grid->model());
    if (!model) return;
    const TGridFilterRule rule = Rule();
    // Without a rule nothing is hidden, so a changed row needs no look.
    if (rule.Empty() && first >= 0) return;
    const int begin = std::max(0, first);
    const int end = last < 0 ? model->rowCount() : std::min(last + 1, model->rowCount());
    for (int r = begin; r < end; ++r) {
        const TURLTaskInfo* task = model->TaskAt(r);
        const bool shown =
            rule.Empty() || (task && RowMatches(*task, model->Strategy(),
                                                model->index(r, gcError).data().toString(), rule));
        if (grid->isRowHidden(r) == shown) grid->setRowHidden(r, !shown);
    }
}

}  // namespace velmora::app
