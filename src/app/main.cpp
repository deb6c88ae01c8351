// Program entry: libcurl first, then the one-instance rule, then the window.
#include <QFileInfo>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/app_options.h"
#include "app/application.h"
#include "app/main_window.h"
#include "app/screenshot_harness.h"
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

// Answers --help and --version, before the toolkit starts, which needs a display.
bool AnswerInfoOption(int argc, char* argv[]) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    const auto answer = app::InfoOptionAnswer(args);
    if (answer) std::printf("%s\n", answer->toLocal8Bit().constData());
    return answer.has_value();
}

// True when another instance runs: it comes to the front and takes this start's URL file.
bool HandOverToRunningInstance(app::TSingleInstance& instance, const app::TAppOptions& options) {
    if (!instance.Problem().isEmpty())
        std::fprintf(stderr, "velmora: no hand-over to a running instance: %s\n",
                     instance.Problem().toLocal8Bit().constData());
    if (instance.Acquire()) return false;
    if (!instance.AskRunningInstance(options.UrlsFile))
        QMessageBox::warning(nullptr, QStringLiteral("Warning"),
                             QStringLiteral("Program already started!"));
    return true;
}

// In demo mode the service and the news come from the local simulator, unless set otherwise.
void PointAtSimulator(const sim::Simulator& simulator, app::TAppOptions& options) {
    const QString endpoint = QString::fromStdString(simulator.Endpoint());
    if (options.Endpoint.isEmpty()) options.Endpoint = endpoint;
    if (options.NewsBaseUrl.isEmpty()) options.NewsBaseUrl = endpoint;
}

int RunWindow(app::TVelmoraApplication& application, app::TSingleInstance& instance,
              const app::TAppOptions& options) {
    app::TfmMain window(options);
    QObject::connect(&instance, &app::TSingleInstance::Activated, &window,
                     &app::TfmMain::ActivateFromSecondStart);
    window.show();
    if (options.AutoRun)
        // After the queued start-up work, which loads the URLs of --urls.
        QTimer::singleShot(200, &window, [&window] { window.btRunRequestsClick(); });
    app::ArrangeScreenshot(window, options);
    return application.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    if (AnswerInfoOption(argc, argv)) return 0;
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
    if (HandOverToRunningInstance(instance, options)) return 0;

    options.AppDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    std::unique_ptr<sim::Simulator> simulator;
    if (options.Demo) {
        simulator = StartDemoSimulator(&error);
        if (!simulator) {
            std::fprintf(stderr, "Demo simulator: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
        PointAtSimulator(*simulator, options);
    }
    const int rc = RunWindow(application, instance, options);
    if (simulator) simulator->Stop();
    return rc;
}
