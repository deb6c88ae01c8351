#include "app/history_page.h"

#include <QAction>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/grid_model.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/run_comparison.h"
#include "app/translate.h"
#include "app/url_grids.h"
#include "base/translate.h"
#include "io/settings.h"
#include "session/run_session.h"

namespace velmora::app {
namespace {

using history::TRunState;

const char* StateSource(TRunState s) {
    switch (s) {
        case TRunState::rsCompleted:
            return "завершён";
        case TRunState::rsAborted:
            return "прерван";
        case TRunState::rsQuota:
            return "остановлен квотой";
        default:
            return "не завершён";
    }
}

constexpr int kStateRole = Qt::UserRole + 1;  // of a run's first cell: its TRunState

QString Mean(const std::optional<double>& v) {
    return v ? QString::number(*v, 'f', 1) : QString();
}

QTableWidgetItem* Cell(const QString& text, bool number = false) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

QPushButton* Button(const char* name, const char* text) {
    auto* b = new QPushButton(QString::fromUtf8(text));
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QString StartedText(int64_t started) {
    return QDateTime::fromSecsSinceEpoch(started).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

}  // namespace

THistoryPage::THistoryPage(TfmMain& window) : FWindow(window) {
    setObjectName(QStringLiteral("tsHistory"));
    lvRuns = new QTableWidget(0, 8, this);
    lvRuns->setObjectName(QStringLiteral("lvRuns"));
    lvRuns->setHorizontalHeaderLabels(
        {QString::fromUtf8(N_("Запуск")), QString::fromUtf8(N_("Начат")), QStringLiteral("URL"),
         QString::fromUtf8(N_("Компьютеры")), QString::fromUtf8(N_("Мобильные")),
         QString::fromUtf8(N_("Состояние")), QString::fromUtf8(N_("Кто")),
         QString::fromUtf8(N_("Название"))});
    lvRuns->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Two runs are picked to compare them: Ctrl+click, or Shift with the arrow keys.
    lvRuns->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvRuns->verticalHeader()->hide();
    lvRuns->horizontalHeader()->setStretchLastSection(true);
    // Tab leaves the list for the next control; the arrow keys move inside it.
    lvRuns->setTabKeyNavigation(false);
    lvRuns->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The start's date and time on one line, whatever the font.
    lvRuns->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    btOpenRun = Button("btOpenRun", N_("Открыть"));
    btContinueRun = Button("btContinueRun", N_("Продолжить"));
    btContinueRun->setToolTip(
        QString::fromUtf8(N_("Проверить URL запуска, у которых нет результата")));
    btDeleteRun = Button("btDeleteRun", N_("Удалить"));
    btNameRun = Button("btNameRun", N_("Назвать..."));
    btRefreshRuns = Button("btRefreshRuns", N_("Обновить"));
    btCompareRuns = Button("btCompareRuns", N_("Сравнить"));
    btCompareRuns->setToolTip(QString::fromUtf8(N_("Выберите два запуска")));
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b :
         {btOpenRun, btContinueRun, btCompareRuns, btDeleteRun, btNameRun, btRefreshRuns})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* keepLabel = new QLabel(QString::fromUtf8(N_("Хранить последних запусков (0 — все):")));
    keepLabel->setObjectName(QStringLiteral("lbHistoryKeep"));
    edHistoryKeep = new QSpinBox;
    edHistoryKeep->setObjectName(QStringLiteral("edHistoryKeep"));
    edHistoryKeep->setRange(0, 100000);
    keepLabel->setBuddy(edHistoryKeep);
    buttons->addWidget(keepLabel);
    buttons->addWidget(edHistoryKeep);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(lvRuns);
    layout->addLayout(CreatePlaceRow());
    connect(btOpenRun, &QPushButton::clicked, this, &THistoryPage::btOpenRunClick);
    connect(lvRuns, &QTableWidget::cellDoubleClicked, this, &THistoryPage::btOpenRunClick);
    connect(btDeleteRun, &QPushButton::clicked, this, &THistoryPage::btDeleteRunClick);
    connect(btNameRun, &QPushButton::clicked, this, &THistoryPage::btNameRunClick);
    // The list's menu holds what the buttons do; Enter opens the selected run and Delete
    // deletes it, asking first.
    lvRuns->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto listItem = [this](const char* name, const char* text, QList<QKeySequence> keys,
                           void (THistoryPage::*slot)()) {
        auto* a = new QAction(QString::fromUtf8(text), lvRuns);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WidgetShortcut);
        connect(a, &QAction::triggered, this, slot);
        lvRuns->addAction(a);
        return a;
    };
    miOpenRun = listItem("miOpenRun", N_("Открыть"),
                         {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)},
                         &THistoryPage::btOpenRunClick);
    miContinueRun =
        listItem("miContinueRun", N_("Продолжить"), {}, &THistoryPage::btContinueRunClick);
    miCompareRuns =
        listItem("miCompareRuns", N_("Сравнить"), {}, &THistoryPage::btCompareRunsClick);
    miNameRun = listItem("miNameRun", N_("Назвать..."), {}, &THistoryPage::btNameRunClick);
    miDeleteRun = listItem("miDeleteRun", N_("Удалить"), {QKeySequence(Qt::Key_Delete)},
                           &THistoryPage::btDeleteRunClick);
    connect(btContinueRun, &QPushButton::clicked, this, &THistoryPage::btContinueRunClick);
    connect(btRefreshRuns, &QPushButton::clicked, this, &THistoryPage::RefreshRuns);
    connect(btCompareRuns, &QPushButton::clicked, this, &THistoryPage::btCompareRunsClick);
    connect(lvRuns, &QTableWidget::itemSelectionChanged, this, &THistoryPage::UpdateButtons);
    connect(edHistoryKeep, &QSpinBox::valueChanged, this, &THistoryPage::edHistoryKeepChange);
    UpdateButtons();
    CreateCompareBar();
}

THistoryPage::~THistoryPage() = default;

QLayout* THistoryPage::CreatePlaceRow() {
    auto* label = new QLabel(QString::fromUtf8(N_("Где хранить историю:")));
    label->setObjectName(QStringLiteral("lbHistoryPlace"));
    edHistoryPlace = new QLineEdit;
    edHistoryPlace->setObjectName(QStringLiteral("edHistoryPlace"));
    edHistoryPlace->setPlaceholderText(QString::fromStdString(history::DefaultHistoryPath()));
    label->setBuddy(edHistoryPlace);
    // A team's history is a PostgreSQL database; its password never goes into the settings.
    lbHistoryPlaceHint = new QLabel(QString::fromUtf8(
        N_("Файл SQLite, база PostgreSQL (postgresql://пользователь@сервер/база; пароль — в "
           "~/.pgpass или PGPASSWORD) или off. Действует со следующего запуска программы.")));
    lbHistoryPlaceHint->setObjectName(QStringLiteral("lbHistoryPlaceHint"));
    lbHistoryPlaceHint->setWordWrap(true);
    connect(edHistoryPlace, &QLineEdit::editingFinished, this, &THistoryPage::edHistoryPlaceChange);
    auto* row = new QGridLayout;
    row->addWidget(label, 0, 0);
    row->addWidget(edHistoryPlace, 0, 1);
    row->addWidget(lbHistoryPlaceHint, 1, 1);
    return row;
}

void THistoryPage::edHistoryPlaceChange() {
    const std::string place = edHistoryPlace->text().trimmed().toStdString();
    if (place == FShownPlace || !FWindow.KeepsSettings()) return;
    const TResult<> written = io::SaveHistoryPlace(FWindow.SettingsPath().toStdString(), place);
    if (!written) {
        FWindow.AddToLog(QString::fromStdString(written.Error()));
        edHistoryPlace->setText(QString::fromStdString(FShownPlace));
        return;
    }
    FShownPlace = place;
}

void THistoryPage::CreateCompareBar() {
    QWidget* bar = FWindow.Ui().pCompare;
    bar->setAutoFillBackground(true);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, QColor(0xFFF4C2));
    bar->setPalette(palette);
    lbCompare = new QLabel;
    lbCompare->setObjectName(QStringLiteral("lbCompare"));
    btLeaveCompare = Button("btLeaveCompare", N_("Закончить сравнение"));
    btCloseRun = Button("btCloseRun", N_("Закрыть запуск"));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(lbCompare, 1);
    layout->addWidget(btLeaveCompare);
    layout->addWidget(btCloseRun);
    connect(btLeaveCompare, &QPushButton::clicked, this, &THistoryPage::ReturnToWorkingList);
    connect(btCloseRun, &QPushButton::clicked, this, &THistoryPage::ReturnToWorkingList);
    for (TMetricaStrategy s : kStrategies)
        connect(FWindow.GridModel(s), &TURLGridModel::LeavingComparison, this,
                &THistoryPage::LeaveCompare);
}

std::vector<QWidget*> THistoryPage::TabStops() const {
    return {btOpenRun,     btContinueRun, btCompareRuns, btDeleteRun,   btNameRun,
            btRefreshRuns, edHistoryKeep, lvRuns,        edHistoryPlace};
}

void THistoryPage::UpdateButtons() {
    const size_t selected = SelectedRunIds().size();
    // Open and delete act on one run: with two picked it would be unclear which.
    btOpenRun->setEnabled(selected == 1);
    btDeleteRun->setEnabled(selected == 1);
    btNameRun->setEnabled(selected == 1);
    // A comparison replaces the grids, which a check in progress is filling.
    btCompareRuns->setEnabled(selected == 2 && !FChecking);
    btContinueRun->setEnabled(selected == 1 && !FChecking && SelectedRunResumable());
    for (auto [item, button] : {std::pair{miOpenRun, btOpenRun},
                                {miContinueRun, btContinueRun},
                                {miCompareRuns, btCompareRuns},
                                {miNameRun, btNameRun},
                                {miDeleteRun, btDeleteRun}})
        item->setEnabled(button->isEnabled());
}

bool THistoryPage::SelectedRunResumable() const {
    for (QTableWidgetItem* item : lvRuns->selectedItems())
        if (item->column() == 0)
            return history::Resumable(static_cast<TRunState>(item->data(kStateRole).toInt()));
    return false;
}

void THistoryPage::btContinueRunClick() {
    const int64_t id = SelectedRunId();
    if (!id || FChecking || !SelectedRunResumable()) return;
    FWindow.Ui().pcPages->setCurrentWidget(FWindow.Ui().tsURLs);
    ResumeRun(id);
}

history::TRunRecorder* THistoryPage::Recorder() const {
    return FWindow.HistoryRecorder();
}

void THistoryPage::ShowStore(const io::TSettingsValues& settings) {
    {
        const QSignalBlocker quiet(edHistoryKeep);  // showing the setting is no change of it
        edHistoryKeep->setValue(settings.HistoryKeep);
    }
    FShownPlace = settings.History;
    edHistoryPlace->setText(QString::fromStdString(FShownPlace));
    RefreshRuns();
}

void THistoryPage::RefreshRuns() {
    lvRuns->clearSpans();
    lvRuns->setRowCount(0);
    if (!Recorder()) return;
    TResult<std::vector<history::TRunSummary>> runs = Recorder()->Store().ListRuns();
    if (!runs) {
        FWindow.AddToLog(QString::fromStdString(runs.Error()));
        return;
    }
    lvRuns->setRowCount(static_cast<int>(runs->size()));
    for (int row = 0; row < static_cast<int>(runs->size()); ++row) {
        const history::TRunSummary& r = (*runs)[row];
        auto* id = Cell(QString::number(r.Run.Id), true);
        id->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(r.Run.Id));
        id->setData(kStateRole, static_cast<int>(r.Run.State));
        lvRuns->setItem(row, 0, id);
        lvRuns->setItem(row, 1, Cell(StartedText(r.Run.Started)));
        lvRuns->setItem(row, 2, Cell(QString::number(r.UrlCount), true));
        if (r.CheckedCount < r.UrlCount) {
            // Means of a part would look like a whole run's.
            lvRuns->setItem(row, 3,
                            Cell(TrQ("проверено %1 из %2").arg(r.CheckedCount).arg(r.UrlCount)));
            lvRuns->setSpan(row, 3, 1, 2);
        } else {
            lvRuns->setItem(row, 3, Cell(Mean(r.MeanScore[msDesktop]), true));
            lvRuns->setItem(row, 4, Cell(Mean(r.MeanScore[msMobile]), true));
        }
        lvRuns->setItem(row, 5, Cell(TrQ(StateSource(r.Run.State))));
        // Who made it matters where several machines share one history.
        if (!r.Run.Machine.empty())
            lvRuns->setItem(row, 6, Cell(QString::fromStdString(r.Run.User + "@" + r.Run.Machine)));
        auto* name = Cell(QString::fromStdString(r.Run.Name));
        name->setToolTip(QString::fromStdString(r.Run.Note));
        name->setData(Qt::UserRole, QString::fromStdString(r.Run.Note));
        lvRuns->setItem(row, 7, name);
    }
}

std::vector<int64_t> THistoryPage::SelectedRunIds() const {
    std::vector<int64_t> ids;
    for (int row = 0; row < lvRuns->rowCount(); ++row)
        if (QTableWidgetItem* item = lvRuns->item(row, 0); item && item->isSelected())
            ids.push_back(item->data(Qt::UserRole).toLongLong());
    return ids;
}

int64_t THistoryPage::SelectedRunId() const {
    const QList<QTableWidgetItem*> items = lvRuns->selectedItems();
    for (QTableWidgetItem* item : items)
        if (item->column() == 0) return item->data(Qt::UserRole).toLongLong();
    return 0;
}

bool THistoryPage::OpenRun(int64_t runId, bool forResume) {
    if (!Recorder() || FWindow.Running()) return false;
    // A run that cannot be read leaves the list shown as it was.
    TResult<history::TLoadedRun> run = Recorder()->Store().LoadRun(runId);
    if (!run) {
        FWindow.AddToLog(QString::fromStdString(run.Error()));
        return false;
    }
    // The user's own list waits for the opened run's close; a resumed run becomes their list.
    if (forResume) FWorkingList.reset();
    if (!forResume && !FOpenedRun && !FWorkingList) FWorkingList = std::move(FWindow.Master());
    ShowList(std::move(run->List));
    // Shown read-only: the recorder lets go of its run, so nothing checks into the past one.
    if (!forResume) Recorder()->Release();
    FOpenedRun.reset();
    if (!forResume) FOpenedRun = run->Run;
    ShowOpenedRun();
    return true;
}

void THistoryPage::ShowList(TURLTaskInfoList list) {
    TURLGridModel* models[] = {FWindow.GridModel(msDesktop), FWindow.GridModel(msMobile)};
    for (TURLGridModel* m : models) {
        m->BeginBulkUpdate();
        m->ClearRows();
    }
    // Undoing a change made in the list before would mix its URLs with the new list's.
    FWindow.UrlGrids().ForgetUndo();
    FWindow.Master() = std::move(list);
    for (TURLGridModel* m : models) m->EndBulkUpdate();
    FWindow.UpdateRunButtons();
    FWindow.UpdateURLListCaption();
    FWindow.UpdateScoreChart();
}

void THistoryPage::ReturnToWorkingList() {
    if (FWindow.Running()) return;
    LeaveCompare();
    if (FWorkingList) {
        ShowList(std::move(*FWorkingList));
        FWorkingList.reset();
    }
    FOpenedRun.reset();
    ShowOpenedRun();
}

void THistoryPage::ResumeRun(int64_t runId) {
    if (!OpenRun(runId, true)) return;
    if (TResult<> r = Recorder()->Continue(runId, FWindow.Master()); !r) {
        FWindow.AddToLog(QString::fromStdString(r.Error()));
        return;
    }
    FWindow.StartRun(TRunScope::Unchecked);
}

void THistoryPage::OfferResume() {
    if (!Recorder()) return;
    TResult<std::optional<int64_t>> last = Recorder()->Store().LastResumableRun();
    if (!last || !*last) return;
    const int64_t runId = **last;
    // A run the user aborted on purpose is not pressed on them: History continues it.
    if (TResult<std::vector<history::TRunSummary>> runs = Recorder()->Store().ListRuns(); runs)
        for (const history::TRunSummary& r : *runs)
            if (r.Run.Id == runId && r.Run.State == TRunState::rsAborted) return;
    auto* box = new QMessageBox(QMessageBox::Question, FWindow.windowTitle(),
                                TrQ("Последняя проверка не была завершена. Продолжить её?"),
                                QMessageBox::NoButton, &FWindow);
    box->setObjectName(QStringLiteral("dlgResume"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->addButton(TrQ("Продолжить"), QMessageBox::YesRole)->setObjectName("btResumeRun");
    box->addButton(TrQ("Открыть без проверки"), QMessageBox::ActionRole)
        ->setObjectName("btResumeOpen");
    // Enter must not start thousands of requests unasked.
    QPushButton* no = box->addButton(QMessageBox::No);
    box->setDefaultButton(no);
    box->setEscapeButton(no);
    connect(box, &QMessageBox::finished, this, [this, box, runId] {
        const QString clicked = box->clickedButton() ? box->clickedButton()->objectName() : "";
        if (clicked == QLatin1String("btResumeRun")) ResumeRun(runId);
        if (clicked == QLatin1String("btResumeOpen") && OpenRun(runId, false))
            FWindow.Ui().pcPages->setCurrentWidget(FWindow.Ui().tsURLs);
    });
    box->open();
}

void THistoryPage::btOpenRunClick() {
    const int64_t id = SelectedRunId();
    // The user asked to see it: the grids come to the front.
    if (id && OpenRun(id, false)) FWindow.Ui().pcPages->setCurrentWidget(FWindow.Ui().tsURLs);
}

void THistoryPage::btCompareRunsClick() {
    const std::vector<int64_t> ids = SelectedRunIds();
    if (ids.size() == 2) CompareRuns(ids[0], ids[1]);
}

bool THistoryPage::CompareRuns(int64_t runA, int64_t runB) {
    if (!Recorder() || FWindow.Running() || runA == runB) return false;
    // Ids grow with time: the larger is the newer run, whichever was picked first.
    const int64_t olderId = std::min(runA, runB), newerId = std::max(runA, runB);
    TResult<history::TLoadedRun> olderRun = Recorder()->Store().LoadRunForCompare(olderId);
    if (!olderRun) {
        FWindow.AddToLog(QString::fromStdString(olderRun.Error()));
        return false;
    }
    // Opening the newer run ends any comparison before (its rows are about to go).
    if (!OpenRun(newerId, false)) return false;
    history::TRunRecord newerRun;
    newerRun.Id = newerId;
    if (TResult<std::vector<history::TRunSummary>> runs = Recorder()->Store().ListRuns(); runs)
        for (const history::TRunSummary& r : *runs)
            if (r.Run.Id == newerId) newerRun = r.Run;
    FComparison = std::make_unique<TRunComparison>(FWindow.Master(), std::move(olderRun->List),
                                                   std::move(olderRun->Run), std::move(newerRun),
                                                   FWindow.Session()->DecimalSeparator());
    for (TMetricaStrategy s : kStrategies) FWindow.GridModel(s)->SetComparison(FComparison.get());
    FWindow.UrlGrids().FitCompareColumns(true);
    ShowCompareText();
    btLeaveCompare->show();
    btCloseRun->hide();
    FWindow.Ui().pCompare->show();
    FWindow.Ui().pcPages->setCurrentWidget(FWindow.Ui().tsURLs);
    FWindow.UpdateRunButtons();
    return true;
}

void THistoryPage::ShowCompareText() {
    lbCompare->setText(
        TrQ("Сравнение: запуск %1 (%2) со старым запуском %3 (%4). Зелёный — лучше, красный — "
            "хуже; в скобках — изменение.")
            .arg(FComparison->NewerRun().Id)
            .arg(StartedText(FComparison->NewerRun().Started))
            .arg(FComparison->OlderRun().Id)
            .arg(StartedText(FComparison->OlderRun().Started)));
}

void THistoryPage::ShowOpenedRun() {
    const QString title = TrQ("Velmora");
    if (!FOpenedRun) {
        FWindow.setWindowTitle(title);
        if (!FComparison) FWindow.Ui().pCompare->hide();
        return;
    }
    QString run = TrQ("запуск %1 от %2").arg(FOpenedRun->Id).arg(StartedText(FOpenedRun->Started));
    if (!FOpenedRun->Name.empty())
        run += QStringLiteral(" «%1»").arg(QString::fromStdString(FOpenedRun->Name));
    // The program's name goes last, as the desktop writes titles: a title that ends with it
    // gets no second one from the window system.
    FWindow.setWindowTitle(run + QStringLiteral(" — ") + title);
    if (FComparison) return;
    QString text = TrQ("Открыт %1: только для просмотра, новая проверка сохранится как "
                       "новый запуск.")
                       .arg(run);
    if (!FOpenedRun->Note.empty())
        text += QLatin1Char(' ') + TrQ("Заметка: %1").arg(QString::fromStdString(FOpenedRun->Note));
    lbCompare->setText(text);
    btLeaveCompare->hide();
    btCloseRun->show();
    FWindow.Ui().pCompare->show();
}

void THistoryPage::ForgetOpenedRun() {
    if (!FOpenedRun) return;
    // What the grids show now is the user's list.
    FWorkingList.reset();
    FOpenedRun.reset();
    ShowOpenedRun();
}

void THistoryPage::Retranslate() {
    RefreshRuns();
    ShowOpenedRun();
    if (!FComparison) return;
    ShowCompareText();
    for (TMetricaStrategy s : kStrategies) FWindow.GridModel(s)->RepaintAll();
}

void THistoryPage::LeaveCompare() {
    if (!FComparison) return;
    // The grids let go of the older run's rows before they are freed.
    for (TMetricaStrategy s : kStrategies) FWindow.GridModel(s)->SetComparison(nullptr);
    FComparison.reset();
    FWindow.UrlGrids().FitCompareColumns(false);
    FWindow.Ui().pCompare->hide();
    // The newer run stays in the grids as an opened one.
    ShowOpenedRun();
    FWindow.UpdateRunButtons();
}

std::vector<history::IHistoryStore::TScorePoint> THistoryPage::ScoreTrend(
    const std::string& url) const {
    if (!Recorder()) return {};
    TResult<std::vector<history::IHistoryStore::TScorePoint>> trend =
        Recorder()->Store().ScoreTrend(url);
    if (!trend) {
        FWindow.AddToLog(QString::fromStdString(trend.Error()));
        return {};
    }
    return std::move(*trend);
}

void THistoryPage::edHistoryKeepChange(int keep) {
    if (Recorder()) Recorder()->SetKeepNewest(keep);
    if (!FWindow.KeepsSettings()) return;
    const TResult<> written = io::SaveHistoryKeep(FWindow.SettingsPath().toStdString(), keep);
    if (!written) FWindow.AddToLog(QString::fromStdString(written.Error()));
}

void THistoryPage::btNameRunClick() {
    const int64_t id = SelectedRunId();
    const int row = lvRuns->currentRow();
    if (!id || !Recorder() || row < 0 || !lvRuns->item(row, 7)) return;
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgNameRun"));
    dialog.setWindowTitle(TrQ("Название и заметка запуска %1").arg(id));
    auto* edName = new QLineEdit(lvRuns->item(row, 7)->text());
    edName->setObjectName(QStringLiteral("edRunName"));
    auto* edNote = new QPlainTextEdit(lvRuns->item(row, 7)->data(Qt::UserRole).toString());
    edNote->setObjectName(QStringLiteral("edRunNote"));
    edNote->setTabChangesFocus(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(TrQ("Название:"), edName);
    form->addRow(TrQ("Заметка:"), edNote);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return;
    const std::string name = edName->text().trimmed().toStdString();
    const std::string note = edNote->toPlainText().trimmed().toStdString();
    if (TResult<> r = Recorder()->Store().NameRun(id, name, note); !r) {
        FWindow.AddToLog(QString::fromStdString(r.Error()));
        return;
    }
    if (FOpenedRun && FOpenedRun->Id == id) {
        FOpenedRun->Name = name;
        FOpenedRun->Note = note;
        ShowOpenedRun();
    }
    RefreshRuns();
    // The list is read anew; the run just named stays the selected one.
    for (int r = 0; r < lvRuns->rowCount(); ++r)
        if (lvRuns->item(r, 0)->data(Qt::UserRole).toLongLong() == id) lvRuns->selectRow(r);
}

void THistoryPage::btDeleteRunClick() {
    const int64_t id = SelectedRunId();
    if (!id || !Recorder()) return;
    // The run being checked stays.
    if (FWindow.Running() && id == Recorder()->RunId()) return;
    // Nothing brings a deleted run back.
    if (!FWindow.UrlGrids().ConfirmLoss(
            TrQ("Удалить запуск %1 из истории? Его результаты нельзя будет вернуть.").arg(id)))
        return;
    if (TResult<> r = Recorder()->Store().DeleteRun(id); !r)
        FWindow.AddToLog(QString::fromStdString(r.Error()));
    if (id == Recorder()->RunId()) Recorder()->Release();
    RefreshRuns();
}

void THistoryPage::RunStarted() {
    FChecking = true;
    UpdateButtons();
    // A check shows its own results, never changes against a past run.
    LeaveCompare();
    ForgetOpenedRun();
}

void THistoryPage::RunEnded() {
    FChecking = false;
    UpdateButtons();
}

void THistoryPage::showEvent(QShowEvent* e) {
    // The run's end is written on the writer thread: the list is read when it is looked at.
    RefreshRuns();
    QWidget::showEvent(e);
}

}  // namespace velmora::app
