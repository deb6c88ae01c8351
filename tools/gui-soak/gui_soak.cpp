// The soak scenario through the window: N URLs (10 % with faults) checked at 20 threads and the
// minimum delay, for the categories given (default performance alone), for at most SECONDS, while
// the tool switches tabs and sorts the grid as a user would. A timer probe ticking every 5 ms
// records the longest stall of the event loop. At the end the shown grid is exported through the
// export button and every row is checked.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "app/url_grids.h"
#include "engine/process_tuning.h"
#include "http/curl.h"

using namespace velmora;

namespace {

const char* kFaults[] = {"/sim-notHTML", "/sim-quota", "/sim-error500", "/sim-badjson",
                         "/sim-empty",   "/sim-drop",  "/sim-hang",     "/sim-trickle"};

}  // namespace

int main(int argc, char** argv) {
    TuneProcessForWorkers();
    http::TCurlGlobal curl;
    QApplication qapp(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: gui-soak ENDPOINT URLS [CATEGORIES [SECONDS]]\n");
        return 2;
    }
    const QString endpoint = QString::fromLocal8Bit(argv[1]);
    const int urls = std::atoi(argv[2]);
    // A run cut short after this long (0: none) still gives the stall of the time it ran.
    const int limitSeconds = argc > 4 ? std::atoi(argv[4]) : 0;

    QTemporaryDir dir;
    QFile ini(dir.path() + "/Velmora.ini");
    if (!ini.open(QIODevice::WriteOnly)) return 1;
    ini.write("[PARAMS]\r\nmax-threads=20\r\nreq-predelay=100\r\n");
    if (argc > 3 && *argv[3]) ini.write("categories=" + QByteArray(argv[3]) + "\r\n");
    ini.close();
    QFile list(dir.path() + "/urls.txt");
    if (!list.open(QIODevice::WriteOnly)) return 1;
    for (int i = 0; i < urls; ++i) {
        QByteArray url = "https://gui" + QByteArray::number(i) + ".example";
        if (i % 10 == 9) url += kFaults[(i / 10) % std::size(kFaults)];
        list.write(url + "/page\n");
    }
    list.close();

    app::TAppOptions options;
    options.AppDir = dir.path() + "/";
    options.SettingsPath = ini.fileName();
    options.CatalogueDirs =
        app::DefaultCatalogueDirs(QCoreApplication::applicationDirPath() + "/../../src/app/");
    options.Endpoint = endpoint;
    options.NewsBaseUrl = endpoint;  // loopback only
    app::TfmMain window(options);
    window.show();
    QApplication::processEvents();
    if (!window.LoadUrlsFromTextFile(list.fileName())) return 1;

    // The probe: how late does a 5 ms timer fire while the run goes on?
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.elapsed(), worst = 0;
    std::vector<qint64> gaps;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        const qint64 gap = now - last - 5;
        worst = std::max(worst, gap);
        gaps.push_back(gap);
        last = now;
    });

    // A user at work: flips between the strategies and sorts by score now and then.
    int step = 0;
    QTimer user;
    user.setInterval(1500);
    QObject::connect(&user, &QTimer::timeout, [&] {
        ++step;
        if (step % 2)
            window.Ui().pcStrategy->setCurrentIndex(window.Ui().pcStrategy->currentIndex() ^ 1);
        QTableView* grid =
            window.Ui().pcStrategy->currentIndex() == 0 ? window.Ui().vtURLsD : window.Ui().vtURLsM;
        if (step % 3 == 0) Q_EMIT grid->horizontalHeader()->sectionClicked(3);
        if (step % 4 == 0) grid->scrollToBottom();
        if (step % 5 == 0) grid->scrollToTop();
    });

    window.Ui().btRunRequests->click();
    probe.start();
    user.start();
    QElapsedTimer runTime;
    runTime.start();
    while (window.Running()) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        if (limitSeconds > 0 && runTime.elapsed() > limitSeconds * 1000LL &&
            window.Ui().btAbortRequests->isEnabled()) {
            window.UrlGrids().Dialogs.Ask = [](const QString&) { return true; };
            window.Ui().btAbortRequests->click();
        }
    }
    probe.stop();
    user.stop();
    const double seconds = runTime.elapsed() / 1000.0;

    const QString csv = dir.path() + "/export.csv";
    window.UrlGrids().Dialogs.SaveFileName = [&](const QString&, const QString&, const QString&) {
        return csv;
    };
    window.Ui().btExport->click();
    QFile out(csv);
    int rows = -1;
    if (out.open(QIODevice::ReadOnly)) {
        while (!out.atEnd()) {
            out.readLine();
            ++rows;
        }
    }
    std::sort(gaps.begin(), gaps.end());
    const qint64 p99 = gaps.empty() ? 0 : gaps[gaps.size() * 99 / 100];
    size_t checked = 0;
    for (size_t i = 0; i < window.Master().Count(); ++i)
        checked += window.Master()[i].TaskResults != nullptr;
    std::printf(
        "urls=%d checked=%zu run_seconds=%.1f probe_ticks=%zu longest_stall_ms=%lld "
        "p99_stall_ms=%lld exported_rows=%d\n",
        urls, checked, seconds, gaps.size(), static_cast<long long>(worst),
        static_cast<long long>(p99), rows);
    window.close();
    if (limitSeconds > 0) return worst < 50 ? 0 : 1;
    return checked == size_t(urls) && rows == urls && worst < 50 ? 0 : 1;
}
