#include "app/screenshot_harness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/across_pages.h"
#include "app/app_options.h"
#include "app/crawl_dialog.h"
#include "app/grid_model.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/url_grids.h"

namespace velmora::app {
namespace {

void ReportUnsaved(const QString& file) {
    std::fprintf(stderr, "Cannot save %s\n", file.toLocal8Bit().constData());
}

// Opens, without waiting for it, the advice window of the first row that failed, or with
// firstRow, of the grid's first row once it is checked.
bool OpenFirstFailedAdvice(TfmMain& window, bool firstRow) {
    QTableView* grid = window.UrlGrids().ActiveGrid();
    const TURLGridModel* model = window.GridModel(window.ShownStrategy());
    for (int r = 0; r < (firstRow ? std::min(1, model->rowCount()) : model->rowCount()); ++r) {
        const TURLTaskInfo* task = model->TaskAt(r);
        if (!task || !task->TaskResults) continue;
        const TTaskResult status = task->TaskResults->TaskResult[model->Strategy()];
        if (status == trNotChecked) continue;
        if (status == trOK && !firstRow) continue;
        grid->setCurrentIndex(model->index(r, 1));
        QTimer::singleShot(0, &window,
                           [&window, grid] { window.UrlGrids().GridDoubleClick(grid); });
        return true;
    }
    return false;
}

// The whole screen with the advice window of the first row that failed, as soon as there is
// one; the delay is the longest wait for it.
void ShootAdviceWhenFailed(TfmMain& window, const TAppOptions& options) {
    auto* poll = new QTimer(&window);
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    QObject::connect(poll, &QTimer::timeout, &window, [&window, &options, poll, waited] {
        const bool opened =
            OpenFirstFailedAdvice(window, options.ScreenshotPage == QLatin1String("advice-first"));
        if (!opened && waited->elapsed() < options.ScreenshotDelayMs) return;
        poll->stop();
        if (!opened) std::fprintf(stderr, "No failed row\n");
        QTimer::singleShot(800, &window, [&window, &options] {
            QScreen* screen = window.screen();
            if (!screen || !screen->grabWindow(0).save(options.ScreenshotFile))
                ReportUnsaved(options.ScreenshotFile);
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
            window.close();
        });
    });
    poll->start(500);
}

// The whole screen while the crawl dialog crawls the site of --screenshot-crawl.
void ShootCrawlDialog(TfmMain& window, const TAppOptions& options) {
    auto* dialog = new TCrawlDialog(&window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    dialog->edCrawlAddress->setText(options.ScreenshotCrawlUrl);
    dialog->btFind->click();
    QTimer::singleShot(options.ScreenshotDelayMs, &window, [&window, &options, dialog] {
        QScreen* screen = window.screen();
        if (!screen || !screen->grabWindow(0).save(options.ScreenshotFile))
            ReportUnsaved(options.ScreenshotFile);
        dialog->reject();
        QTimer::singleShot(500, &window, [&window] { window.close(); });
    });
}

// Lets the window settle (and a run progress), saves it, then closes it.
void ShootWindowAfterDelay(TfmMain& window, const TAppOptions& options) {
    QTimer::singleShot(options.ScreenshotDelayMs, &window, [&window, &options] {
        if (!window.grab().save(options.ScreenshotFile)) ReportUnsaved(options.ScreenshotFile);
        window.close();
    });
}

// After the delay the "Across pages" tab with its first audit chosen; "across-grid" then
// shows the desktop grid that choice limits.
void ShootAcrossPages(TfmMain& window, const TAppOptions& options) {
    QTimer::singleShot(options.ScreenshotDelayMs, &window, [&window, &options] {
        TAcrossPages* across = window.Ui().tsAcross;
        window.Ui().pcStrategy->setCurrentWidget(across);
        across->vtFixes->selectRow(0);
        if (options.ScreenshotPage == QLatin1String("across-grid"))
            window.Ui().pcStrategy->setCurrentWidget(window.Ui().tsURLsD);
        QTimer::singleShot(500, &window, [&window, &options] {
            if (!window.grab().save(options.ScreenshotFile)) ReportUnsaved(options.ScreenshotFile);
            window.close();
        });
    });
}

}  // namespace

void ArrangeScreenshot(TfmMain& window, const TAppOptions& options) {
    if (options.ScreenshotPage == QLatin1String("params"))
        window.Ui().pcPages->setCurrentWidget(window.Ui().tsParams);
    if (options.ScreenshotFile.isEmpty()) return;
    if (options.ScreenshotPage.startsWith(QLatin1String("advice")))
        ShootAdviceWhenFailed(window, options);
    else if (options.ScreenshotPage.startsWith(QLatin1String("across")))
        ShootAcrossPages(window, options);
    else if (options.ScreenshotPage == QLatin1String("crawl"))
        ShootCrawlDialog(window, options);
    else
        ShootWindowAfterDelay(window, options);
}

}  // namespace velmora::app
