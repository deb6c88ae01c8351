// One URL typed into the list: the current row's URL changed, or a new one added at its end;
// also the notification the window gives at the end of a long run.
#include <QAction>
#include <QFontMetrics>
#include <QInputDialog>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTimer>
#include <algorithm>

#include "app/grid_model.h"
#include "app/history_page.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/translate.h"
#include "app/url_grids.h"
#include "base/text.h"
#include "io/url_import.h"

namespace velmora::app {
namespace {

// How long the tray icon stays after its message: the message needs it to be shown.
constexpr int kTrayStayMs = 15000;
constexpr int kUrlDialogMinWidth = 520;

QString RefusalText(io::TAddResult r, const QString& url) {
    switch (r) {
        case io::TAddResult::Duplicate:
            return TrQ("Такой URL уже есть в списке: %1").arg(url);
        case io::TAddResult::Excluded:
            return TrQ("Файлы картинок, скриптов и стилей не проверяются: %1").arg(url);
        case io::TAddResult::LimitReached:
            return TrQ("В списке уже %1 URL, больше добавить нельзя").arg(io::kMaxUrlCount);
        default:
            return TrQ("Это не URL: нужен полный адрес http:// или https:// с именем сайта: %1")
                .arg(url);
    }
}

}  // namespace

void TURLGrids::InitEditing() {
    Dialogs.AskText = [this](const QString& title, const QString& label, const QString& text) {
        QInputDialog dialog(&FWindow);
        dialog.setObjectName(QStringLiteral("dlgURL"));
        dialog.setWindowTitle(title);
        dialog.setLabelText(label);
        dialog.setTextValue(text);
        // A URL reads whole, up to most of the window's width.
        const int wanted = dialog.fontMetrics().horizontalAdvance(text) + 80;
        dialog.resize(std::clamp(wanted, kUrlDialogMinWidth, FWindow.width() * 3 / 4),
                      dialog.sizeHint().height());
        return dialog.exec() == QDialog::Accepted ? dialog.textValue() : QString();
    };
    Dialogs.Notify = [this](const QString& title, const QString& text) {
        if (!QSystemTrayIcon::isSystemTrayAvailable() || !QSystemTrayIcon::supportsMessages())
            return;
        if (!FTray) FTray = new QSystemTrayIcon(FWindow.windowIcon(), this);
        FTray->show();
        FTray->showMessage(title, text, QSystemTrayIcon::Information, kTrayStayMs);
        QTimer::singleShot(kTrayStayMs, FTray, [tray = FTray] { tray->hide(); });
    };
    auto item = [this](const char* name, const char* caption, const QKeySequence& key,
                       auto handler) {
        auto* a = new QAction(QString::fromUtf8(caption), pmURLs);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(key);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(a, &QAction::triggered, this, handler);
        pmURLs->insertAction(miDeleteURL, a);
        return a;
    };
    miEditURL = item("miEditURL", N_("Изменить URL..."), QKeySequence(Qt::Key_F2), [this] {
        if (CanEditURL()) miEditURLClick();
    });
    miAddURL = item("miAddURL", N_("Добавить URL..."), QKeySequence(Qt::Key_Insert), [this] {
        if (CanAddURL()) miAddURLClick();
    });
}

bool TURLGrids::CanEditURL() const {
    return CanAddURL() && ModelOf(ActiveGrid())->TaskAt(ActiveGrid()->currentIndex().row());
}

bool TURLGrids::CanAddURL() const {
    return !FWindow.Running() && !Comparing();
}

void TURLGrids::miEditURLClick() {
    const TURLTaskInfo* task = ModelOf(ActiveGrid())->TaskAt(ActiveGrid()->currentIndex().row());
    if (!task || !Dialogs.AskText) return;
    const int32_t num = task->Num;
    const QString typed =
        Dialogs.AskText(TrQ("Изменить URL"), TrQ("URL:"), QString::fromStdString(task->URL));
    if (!typed.isNull()) EditURL(num, typed);
}

void TURLGrids::miAddURLClick() {
    if (!Dialogs.AskText) return;
    const QString typed = Dialogs.AskText(TrQ("Добавить URL"), TrQ("URL:"), QString());
    if (!typed.isNull()) AddURL(typed);
}

std::string TURLGrids::AcceptableURL(const QString& text, const TURLTaskInfo* self) {
    std::string url(io::TrimControl(text.toStdString()));
    io::TAddResult r = io::CheckURLCandidate(FWindow.Master(), url);
    // The task's own URL in another case is no duplicate of it.
    if (r == io::TAddResult::Duplicate && self && AsciiLower(self->URL) == AsciiLower(url))
        r = io::TAddResult::Added;
    if (r == io::TAddResult::LimitReached && self) r = io::TAddResult::Added;
    if (r == io::TAddResult::Added || r == io::TAddResult::AddedAsHttps) return url;
    Message(QMessageBox::Warning, RefusalText(r, text.trimmed()));
    return {};
}

bool TURLGrids::EditURL(int32_t num, const QString& text) {
    TURLTaskInfo* task = FWindow.Master().FindByNum(num);
    if (!task || !CanAddURL()) return false;
    const std::string url = AcceptableURL(text, task);
    if (url.empty()) return false;
    if (url == task->URL) return true;
    if (task->TaskResults &&
        !ConfirmLoss(TrQ("Изменить URL? Результаты его проверки будут потеряны.")))
        return false;
    FWindow.Master().ChangeURL(num, url);
    task->ClearMetricResults();
    ListChanged(*task);
    return true;
}

bool TURLGrids::AddURL(const QString& text) {
    if (!CanAddURL()) return false;
    const std::string url = AcceptableURL(text, nullptr);
    if (url.empty()) return false;
    TURLGridModel* models[] = {FWindow.GridModel(msDesktop), FWindow.GridModel(msMobile)};
    for (TURLGridModel* m : models) m->BeginBulkUpdate();
    const TURLTaskInfo& added = FWindow.Master().Add(url);
    for (TURLGridModel* m : models) m->EndBulkUpdate();
    ListChanged(added);
    return true;
}

void TURLGrids::ListChanged(const TURLTaskInfo& task) {
    // An undo would put back a list that no longer is; a past run opened is no longer shown.
    ForgetUndo();
    FWindow.Ui().tsHistory->ForgetOpenedRun();
    // A changed URL may move in a sort by URL.
    for (TMetricaStrategy s : kStrategies) FWindow.GridModel(s)->Reload();
    FWindow.UpdateRunButtons();
    FWindow.UpdateURLListCaption();
    FWindow.UpdateScoreChart();
    QTableView* grid = ActiveGrid();
    const int row = ModelOf(grid)->RowOf(&task);
    if (row < 0) return;
    grid->setCurrentIndex(ModelOf(grid)->index(row, gcURL));
    grid->selectRow(row);
    grid->scrollTo(ModelOf(grid)->index(row, gcURL));
}

}  // namespace velmora::app
