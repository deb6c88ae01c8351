// Soak under faults: N URLs (default 10 000) checked at 20 threads and the minimum delay against
// the simulator, about 10 % of them answering with a fault. Then the same list again with an
// abort in the middle and a recheck of the URLs that failed. Prints what it measured and exits
// non-zero when any check fails. The simulator runs as a process of its own, so that the thread
// and memory figures are this program's alone. Run it through scripts/soak.
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/grid_text.h"
#include "engine/process_tuning.h"
#include "engine/run_controller.h"
#include "engine/worker.h"
#include "http/curl.h"
#include "io/csv.h"
#include "run_observer.h"

using namespace velmora;
using std::chrono::milliseconds;

namespace {

struct TFault {
    const char* Marker;    // empty: a normal page
    const char* Expected;  // error column for both strategies
};

// Every tenth URL misbehaves, cycling through the faults.
const TFault kFaults[] = {
    {"/sim-notHTML", "NOT HTML"},    {"/sim-quota", "API QUOTA"},   {"/sim-error500", "500"},
    {"/sim-badjson", "PARSE ERROR"}, {"/sim-empty", "PARSE ERROR"}, {"/sim-drop", "SEND ERROR"},
    {"/sim-hang", "SEND ERROR"},     {"/sim-trickle", ""},
};

int failures = 0;
void Check(bool ok, const std::string& what) {
    if (!ok) {
        ++failures;
        std::printf("FAILED: %s\n", what.c_str());
    }
}

long RssKb() {
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

long PeakRssKb() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

int ThreadCount() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/task")) {
        while (dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
        ::closedir(d);
    }
    return n;
}

struct TRun {
    TRunController& Controller;
    bench::TBenchObserver Seen;

    // Runs to the end; with abortAt > 0 aborts once that many tasks have come back.
    double Run(TRunScope scope, int abortAt) {
        const auto start = TClock::now();
        Controller.SetObserver(&Seen);
        (void)Controller.Start(scope);
        Controller.DeliverUntilEnded([&] { return abortAt > 0 && Seen.Done >= abortAt; });
        Controller.Shutdown();
        return std::chrono::duration<double>(TClock::now() - start).count();
    }
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Every URL has exactly one CSV row, and its error column is what its fault predicts.
void CheckExport(const TURLTaskInfoList& master, TMetricaStrategy s, const std::string& path,
                 const std::map<std::string, std::string>& expected, bool requireAll) {
    std::vector<const TURLTaskInfo*> rows;
    for (size_t i = 0; i < master.Count(); ++i) rows.push_back(&master[i]);
    const TResult<io::TCsvExport> written = io::ExportGridCsv(path, "WINDOWS-1252", s, rows);
    Check(written.Ok(), "export " + written.Error());
    std::istringstream in(ReadFile(path));
    std::string line;
    std::getline(in, line);  // header
    size_t count = 0, wrong = 0, unchecked = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> f;
        std::stringstream ls(line);
        std::string field;
        while (std::getline(ls, field, ';')) f.push_back(field);
        if (f.size() < 3) f.resize(3);
        ++count;
        auto it = expected.find(f[1]);
        if (it == expected.end()) {
            ++wrong;
            continue;
        }
        const bool hasScore = f.size() > 3 && !f[3].empty();
        if (f[2].empty() && !hasScore) {
            ++unchecked;
            if (requireAll) ++wrong;
        } else if (f[2] != it->second) {
            ++wrong;
            if (wrong < 5)
                std::printf("  %s: %s, expected \"%s\"\n", f[1].c_str(), f[2].c_str(),
                            it->second.c_str());
        }
    }
    std::printf("  %s: %zu rows, %zu unexpected, %zu unchecked\n", path.c_str(), count, wrong,
                unchecked);
    Check(count == master.Count(), "one row per URL in " + path);
    Check(wrong == 0, "statuses in " + path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: soak ENDPOINT URLS OUTDIR  (the simulator's hang must outlast "
                     "20 s)\n");
        return 2;
    }
    const std::string endpoint = argv[1];
    const int urls = std::atoi(argv[2]);
    const std::string outDir = argv[3];
    TuneProcessForWorkers();
    http::TCurlGlobal curl;

    TURLTaskInfoList master;
    std::map<std::string, std::string> expected;
    for (int i = 0; i < urls; ++i) {
        std::string url = "https://soak" + std::to_string(i) + ".example";
        const char* err = "";
        if (i % 10 == 9) {
            const TFault& f = kFaults[(i / 10) % std::size(kFaults)];
            url += f.Marker;
            err = f.Expected;
        } else if (i % 10 == 4) {
            url += "/heavy";
        }
        url += "/page";
        expected[url] = err;
        master.Add(url);
    }

    TWorkerConfig config;
    config.Endpoint = endpoint;
    config.NewClient = [] {
        auto c = http::NewCurlClient();
        c->SetTimeouts(5'000, 20'000);  // the hang outlasts this
        return c;
    };
    TThreadWorkerFactory workers(config);
    TRunController controller(master, workers, [] { return TRunSettings{"soak-key", 20, 100}; });
    TRun run{controller, {}};

    const int threadsBefore = ThreadCount();
    const long rssBefore = RssKb();
    std::printf("phase 1: %d URLs, 20 threads, delay 100 ms\n", urls);
    double seconds = run.Run(TRunScope::All, 0);
    const long rssAfter = RssKb();
    std::printf(
        "  run %.1f s; rss before %ld KiB, after %ld KiB (%.0f bytes retained per URL), "
        "peak %ld KiB\n",
        seconds, rssBefore, rssAfter, double(rssAfter - rssBefore) * 1024.0 / urls, PeakRssKb());
    Check(workers.LiveWorkers() == 0, "no worker left after the run");
    std::printf("  threads: %d before the run, %d after\n", threadsBefore, ThreadCount());
    Check(ThreadCount() <= threadsBefore, "no thread left behind");
    CheckExport(master, msDesktop, outDir + "/soak_desktop.csv", expected, true);
    CheckExport(master, msMobile, outDir + "/soak_mobile.csv", expected, true);

    std::printf("phase 2: the same list, aborted half way, then the failed URLs rechecked\n");
    seconds = run.Run(TRunScope::All, urls / 2);
    size_t withResults = 0;
    for (size_t i = 0; i < master.Count(); ++i) withResults += master[i].TaskResults != nullptr;
    std::printf("  aborted run %.1f s; %zu of %d URLs kept results\n", seconds, withResults, urls);
    Check(withResults > 0 && withResults < size_t(urls), "an abort keeps only finished tasks");
    Check(workers.LiveWorkers() == 0, "no worker left after the abort");
    const std::vector<int32_t> errored = controller.ErrorNums();
    seconds = run.Run(TRunScope::Failed, 0);
    std::printf("  recheck of %zu failed URLs %.1f s\n", errored.size(), seconds);
    CheckExport(master, msDesktop, outDir + "/soak_desktop_2.csv", expected, false);
    CheckExport(master, msMobile, outDir + "/soak_mobile_2.csv", expected, false);
    Check(ThreadCount() <= threadsBefore, "no thread left behind after phase 2");
    std::printf("%s: %d failed checks\n", failures ? "SOAK FAILED" : "soak passed", failures);
    return failures ? 1 : 0;
}
