// Program entry: libcurl first, then the one-instance rule, then the window.
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QRandomGenerator>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/app_options.h"
#include "app/application.h"
#include "app/grid_model.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/single_instance.h"
#include "app/url_grids.h"
#include "engine/process_tuning.h"
#include "http/curl.h"
#include "sim/simulator.h"

using namespace velmora;

namespace {

// The demo answers from the local simulator with a visible but short think time.
std::unique_ptr<sim::Simulator> StartDemoSimulator(QString* error) {
    sim::SimOptions options;
    options.latencyMinMs = 300;
    options.latencyMaxMs = 1500;
    options.seed = QRandomGenerator::global()->generate();
    // A build runs from its tree; an installed program has the answers in its data folder.
    if (!QFileInfo::exists(QString::fromStdString(options.fixtureDir)))
        options.fixtureDir = VELMORA_INSTALLED_FIXTURES;
    auto simulator = std::make_unique<sim::Simulator>(options);
    if (!simulator->Start()) {
        *error = QString::fromStdString(simulator->Error());
        return nullptr;
    }
    return simulator;
}

// Opens, without waiting for it, the advice window of the first row that failed.
bool OpenFirstFailedAdvice(app::TfmMain& window) {
    QTableView* grid = window.UrlGrids().ActiveGrid();
    const app::TURLGridModel* model = window.GridModel(window.ShownStrategy());
    for (int r = 0; r < model->rowCount(); ++r) {
        const TURLTaskInfo* task = model->TaskAt(r);
        if (!task || !task->TaskResults) continue;
        const TTaskResult status = task->TaskResults->TaskResult[model->Strategy()];
        if (status == trOK || status == trNotChecked) continue;
        grid->setCurrentIndex(model->index(r, 1));
        QTimer::singleShot(0, &window,
                           [&window, grid] { window.UrlGrids().GridDoubleClick(grid); });
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before the toolkit starts, which needs a display.
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    if (const auto answer = app::InfoOptionAnswer(args)) {
        std::printf("%s\n", answer->toLocal8Bit().constData());
        return 0;
    }
    TuneProcessForWorkers();
    http::TCurlGlobal curl;
    app::TVelmoraApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Velmora"));
    application.setApplicationDisplayName(QStringLiteral("Velmora"));

    app::TAppOptions options;
    QString error;
    if (!app::ParseAppOptions(application.arguments().mid(1), options, &error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 2;
    }

    app::TSingleInstance instance;
    if (!instance.Acquire()) {
        // The running window comes to the front and takes this start's URL file.
        if (instance.AskRunningInstance(options.UrlsFile)) return 0;
        QMessageBox::warning(nullptr, QStringLiteral("Warning"),
                             QStringLiteral("Program already started!"));
        return 0;
    }

    options.AppDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    std::unique_ptr<sim::Simulator> simulator;
    if (options.Demo) {
        simulator = StartDemoSimulator(&error);
        if (!simulator) {
            std::fprintf(stderr, "Demo simulator: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
        const QString endpoint = QString::fromStdString(simulator->Endpoint());
        if (options.Endpoint.isEmpty()) options.Endpoint = endpoint;
        if (options.NewsBaseUrl.isEmpty()) options.NewsBaseUrl = endpoint;
    }

    int rc = 0;
    {
        app::TfmMain window(options);
        QObject::connect(&instance, &app::TSingleInstance::Activated, &window,
                         &app::TfmMain::ActivateFromSecondStart);
        window.show();
        if (options.ScreenshotPage == QLatin1String("params"))
            window.Ui().pcPages->setCurrentWidget(window.Ui().tsParams);
        if (options.AutoRun)
            // After the queued start-up work, which loads the URLs of --urls.
            QTimer::singleShot(200, &window, [&window] { window.btRunRequestsClick(); });
        if (!options.ScreenshotFile.isEmpty() &&
            options.ScreenshotPage == QLatin1String("advice")) {
            // The whole screen with the advice window of the first row that failed, as soon as
            // there is one; the delay is the longest wait for it.
            auto* poll = new QTimer(&window);
            auto waited = std::make_shared<QElapsedTimer>();
            waited->start();
            QObject::connect(poll, &QTimer::timeout, &window, [&window, &options, poll, waited] {
                const bool opened = OpenFirstFailedAdvice(window);
                if (!opened && waited->elapsed() < options.ScreenshotDelayMs) return;
                poll->stop();
                if (!opened) std::fprintf(stderr, "No failed row\n");
                QTimer::singleShot(800, &window, [&window, &options] {
                    QScreen* screen = window.screen();
                    if (!screen || !screen->grabWindow(0).save(options.ScreenshotFile))
                        std::fprintf(stderr, "Cannot save %s\n",
                                     options.ScreenshotFile.toLocal8Bit().constData());
                    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
                    window.close();
                });
            });
            poll->start(500);
        } else if (!options.ScreenshotFile.isEmpty()) {
            // For scripts: let the window settle (and a run progress), save it, then close.
            QTimer::singleShot(options.ScreenshotDelayMs, &window, [&window, &options] {
                if (!window.grab().save(options.ScreenshotFile))
                    std::fprintf(stderr, "Cannot save %s\n",
                                 options.ScreenshotFile.toLocal8Bit().constData());
                window.close();
            });
        }
        rc = application.exec();
    }
    if (simulator) simulator->Stop();
    return rc;
}
