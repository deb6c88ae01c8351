// Memory of the desktop program holding one run of N URLs (default 10 000), either checked live
// (each answer interpreted and merged into the list, as the workers do) or opened from the run
// history. Each mode runs in a process of its own, so neither inherits the other's heap; see
// history_memory.sh. The answers are the recorded Lighthouse 13 ones, so advice, metrics and
// real users' data are as large as the service's.
//
//   history_memory prepare DB [N]   checks N URLs live and keeps the run in DB
//   history_memory live [N]         window with N URLs checked live
//   history_memory loaded DB        window with the run of DB opened
#include <malloc.h>
#include <simdjson.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "app/application.h"
#include "app/grid_model.h"
#include "app/history_page.h"
#include "app/main_window.h"
#include "app/main_window_ui.h"
#include "engine/interpret.h"
#include "history/history_store.h"
#include "http/curl.h"

namespace {

using namespace velmora;

std::string ReadAnswer(const char* name) {
    std::ifstream in(std::string(VELMORA_PSI_ANSWERS) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// N URLs with both strategies' results as the workers leave them: half fast pages, half heavy.
void CheckLive(TURLTaskInfoList& master, int n) {
    const std::string answers[2][2] = {
        {ReadAnswer("psi13_fast_desktop.json"), ReadAnswer("psi13_fast_mobile.json")},
        {ReadAnswer("psi13_heavy_desktop.json"), ReadAnswer("psi13_heavy_mobile.json")}};
    simdjson::dom::parser parser;
    const TLogFn quiet = [](const std::string&) {};
    for (int i = 0; i < n; ++i) {
        TURLTaskInfo& task = master.Add("https://site" + std::to_string(i) + ".example/page/" +
                                        std::to_string(i * 7919 % 100000));
        task.InitMetricResults();
        for (TMetricaStrategy s : kStrategies)
            InterpretBody(parser, answers[i % 2][s], s, task, '.', quiet);
        // As the worker leaves them before they are merged.
        task.TaskResults->MetricaValues.shrink_to_fit();
        for (auto& advice : task.TaskResults->AdviceList) advice.shrink_to_fit();
    }
}

struct TMemory {
    long RssKb = 0;
    long HeapKb = 0;  // bytes the program holds from malloc, mapped blocks included
};

TMemory Measure() {
    ::malloc_trim(0);
    TMemory m;
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    m.RssKb = resident * (::sysconf(_SC_PAGESIZE) / 1024);
    const struct mallinfo2 mi = ::mallinfo2();
    m.HeapKb = static_cast<long>((mi.uordblks + mi.hblkhd) / 1024);
    return m;
}

std::unique_ptr<app::TfmMain> ShowWindow(const QString& dir, const QString& history) {
    app::TAppOptions o;
    o.AppDir = dir + "/";
    o.SettingsPath = dir + "/Velmora.ini";
    o.HistoryPath = history;
    // Loopback only: the news pane gets nothing.
    o.NewsBaseUrl = QStringLiteral("http://127.0.0.1:9");
    auto w = std::make_unique<app::TfmMain>(o);
    w->show();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    return w;
}

int Report(const char* mode, const TMemory& before, const TMemory& after, size_t urls) {
    std::printf(
        "%s: %zu URLs, RSS %ld KB (+%ld KB for the run), heap %ld KB (+%ld KB), SQLite "
        "%lld KB\n",
        mode, urls, after.RssKb, after.RssKb - before.RssKb, after.HeapKb,
        after.HeapKb - before.HeapKb, static_cast<long long>(sqlite3_memory_used() / 1024));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    http::TCurlGlobal curl;
    app::TVelmoraApplication qapp(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const QString mode = args.value(0);
    QTemporaryDir dir;

    if (mode == "prepare" && args.size() >= 2) {
        TURLTaskInfoList master;
        CheckLive(master, args.value(2, "10000").toInt());
        auto opened = history::OpenSqliteHistory(args[1].toStdString());
        if (!opened) return std::fprintf(stderr, "%s\n", opened.Error().c_str()), 1;
        history::IHistoryStore& store = *opened->Store;
        history::TRunRecord run;
        run.Lang = "ru";
        std::vector<std::string> urls;
        std::vector<history::TStoredResult> batch;
        for (size_t i = 0; i < master.Count(); ++i) {
            urls.push_back(master[i].URL);
            batch.push_back({master[i].Num, *master[i].TaskResults, 0});
        }
        if (!store.BeginRun(run, urls) || !store.WriteResults(run.Id, batch) ||
            !store.FinishRun(run.Id, history::TRunState::rsCompleted))
            return std::fprintf(stderr, "the run could not be written\n"), 1;
        std::printf("prepared run %lld of %zu URLs\n", static_cast<long long>(run.Id),
                    master.Count());
        return 0;
    }
    if (mode == "live") {
        auto w = ShowWindow(dir.path(), dir.filePath("history.sqlite"));
        const TMemory before = Measure();
        app::TURLGridModel* models[] = {w->GridModel(msDesktop), w->GridModel(msMobile)};
        for (app::TURLGridModel* m : models) m->BeginBulkUpdate();
        CheckLive(w->Master(), args.value(1, "10000").toInt());
        for (app::TURLGridModel* m : models) m->EndBulkUpdate();
        // Kept in the history as a live check keeps it; measured once all is written.
        app::THistoryPage& page = *w->Ui().tsHistory;
        history::TRunRecorder& recorder = *page.Recorder();
        recorder.Begin(w->Master(), "ru", "");
        for (size_t i = 0; i < w->Master().Count(); ++i) recorder.Merged(w->Master()[i]);
        recorder.Finish(false, w->Master());
        for (int waited = 0; waited < 600; ++waited) {
            auto runs = page.Recorder()->Store().ListRuns();
            if (runs && !runs->empty() &&
                runs->front().Run.State == history::TRunState::rsCompleted &&
                runs->front().CheckedCount == static_cast<int32_t>(w->Master().Count()))
                break;
            ::usleep(50000);
        }
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
        return Report("live  ", before, Measure(), w->Master().Count());
    }
    if (mode == "loaded" && args.size() >= 2) {
        // A copy, so the window's own history is the run's and nothing else.
        const QString db = dir.filePath("history.sqlite");
        QFile::copy(args[1], db);
        auto w = ShowWindow(dir.path(), db);
        const TMemory before = Measure();
        if (!w->Ui().tsHistory->OpenRun(1, false)) return 1;
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
        return Report("loaded", before, Measure(), w->Master().Count());
    }
    std::fprintf(stderr, "usage: history_memory prepare DB [N] | live [N] | loaded DB\n");
    return 2;
}
