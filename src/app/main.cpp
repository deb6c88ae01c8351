// Program entry: libcurl first, then the one-instance rule, then the window.
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/app_options.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/single_instance.h"
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
        if (!options.ScreenshotFile.isEmpty()) {
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
