// Retries and the quota's pace in a real run: 200 URLs (400 requests), 20 threads, simulator
// latency random 1..3 s. The simulator runs in a child process so that the run's own CPU time
// can be measured; its request log gives what was sent.
//   bench_retries quota  [URLS]  per-minute quota 120, delay 100: all OK, wall <= 1.15 x bound
//   bench_retries faults [URLS]  5 % random 500s + 2 % drops, delay 100: all OK, <= 1.1 x requests
//   bench_retries daily  [URLS]  daily quota 150, delay 100: stops by itself, 150 results kept,
//                                the rest unchecked; a recheck of errors the next "day" ends it
//   bench_retries cpu    [URLS]  delay 500, no faults: user + sys CPU seconds under 1
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "engine/run_controller.h"
#include "engine/worker.h"
#include "http/curl.h"
#include "run_observer.h"
#include "sim/simulator.h"

using namespace velmora;
using std::chrono::milliseconds;

namespace {

constexpr int kThreads = 20;

// A simulator in its own process; the parent learns its port through a pipe.
class TChildSimulator {
  public:
    TChildSimulator(sim::SimOptions options, const std::string& log) {
        options.latencyMinMs = 1000;
        options.latencyMaxMs = 3000;
        options.requestLogPath = log;
        int fds[2];
        if (pipe(fds) != 0) std::exit(1);
        FPid = fork();
        if (FPid == 0) {
            close(fds[0]);
            sim::Simulator s(options);
            int port = s.Start() ? s.Port() : 0;
            if (write(fds[1], &port, sizeof port) != sizeof port) _exit(1);
            close(fds[1]);
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, SIGTERM);
            pthread_sigmask(SIG_BLOCK, &set, nullptr);
            int sig = 0;
            sigwait(&set, &sig);
            s.Stop();
            _exit(0);
        }
        close(fds[1]);
        if (read(fds[0], &FPort, sizeof FPort) != sizeof FPort || FPort == 0) {
            std::fprintf(stderr, "simulator did not start\n");
            std::exit(1);
        }
        close(fds[0]);
    }
    ~TChildSimulator() {
        kill(FPid, SIGTERM);
        waitpid(FPid, nullptr, 0);
    }
    std::string Endpoint() const { return "http://127.0.0.1:" + std::to_string(FPort); }

  private:
    pid_t FPid = 0;
    int FPort = 0;
};

struct TLogCounts {
    int requests = 0, quota = 0, faults = 0;
};

TLogCounts CountLog(const std::string& path) {
    TLogCounts c;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        ++c.requests;
        if (line.find("\"outcome\":\"quota") != std::string::npos) ++c.quota;
        if (line.find("\"outcome\":\"fail") != std::string::npos ||
            line.find("\"outcome\":\"drop") != std::string::npos)
            ++c.faults;
    }
    return c;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct TRun {
    double wallS = 0, cpuS = 0;
    int okResults = 0, unchecked = 0;
    std::string lastLog;
};

TRun Run(const std::string& endpoint, TURLTaskInfoList& master, int delay, TRunScope scope) {
    TWorkerConfig config;
    config.Endpoint = endpoint;
    TThreadWorkerFactory workers(config);
    TRun r;
    TRunController controller(master, workers, [&] {
        TRunSettings s{"", kThreads, delay};
        s.Retries = 2;
        return s;
    });
    bench::TBenchObserver seen;
    controller.SetObserver(&seen);
    const double cpu0 = CpuSeconds();
    const TTimePoint t0 = TClock::now();
    (void)controller.Start(scope);
    controller.DeliverUntilEnded();
    r.wallS = std::chrono::duration<double>(TClock::now() - t0).count();
    r.cpuS = CpuSeconds() - cpu0;
    r.lastLog = seen.LastLog;
    for (size_t i = 0; i < master.Count(); ++i) {
        const auto& res = master[i].TaskResults;
        for (TMetricaStrategy s : kStrategies) {
            if (res && res->TaskResult[s] == trOK) ++r.okResults;
            if (!res || res->TaskResult[s] == trNotChecked) ++r.unchecked;
        }
    }
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "faults";
    const int urls = argc > 2 ? std::atoi(argv[2]) : 200;
    const int requests = 2 * urls;
    http::TCurlGlobal curl;
    TURLTaskInfoList master;
    for (int i = 0; i < urls; ++i) master.Add("https://site.example/page-" + std::to_string(i));
    const std::string log = "/tmp/bench_retries_" + std::to_string(getpid()) + ".jsonl";
    sim::SimOptions so;
    so.seed = 7;
    bool pass = true;

    if (what == "quota") {
        so.quotaPerMinute = 120;
        TChildSimulator s(so, log);
        const TRun r = Run(s.Endpoint(), master, 100, TRunScope::All);
        const TLogCounts c = CountLog(log);
        const double bound = requests / 120.0 * 60.0;
        std::printf(
            "quota: ok=%d/%d wall_s=%.1f bound_s=%.1f ratio=%.3f (<= 1.15) sent=%d "
            "(%.3f x) refused=%d\n",
            r.okResults, requests, r.wallS, bound, r.wallS / bound, c.requests,
            double(c.requests) / requests, c.quota);
        pass = r.okResults == requests && r.wallS <= 1.15 * bound;
    } else if (what == "faults") {
        so.failRate = 0.05;
        so.dropRate = 0.02;
        TChildSimulator s(so, log);
        const TRun r = Run(s.Endpoint(), master, 100, TRunScope::All);
        const TLogCounts c = CountLog(log);
        std::printf("faults: ok=%d/%d sent=%d (%.3f x, <= 1.1) faults=%d wall_s=%.1f\n",
                    r.okResults, requests, c.requests, double(c.requests) / requests, c.faults,
                    r.wallS);
        pass = r.okResults == requests && c.requests <= 1.1 * requests;
    } else if (what == "daily") {
        so.quotaPerDay = 150;
        TRun first;
        {
            TChildSimulator s(so, log);
            first = Run(s.Endpoint(), master, 100, TRunScope::All);
        }
        const TLogCounts c = CountLog(log);
        std::printf("daily: first run ok=%d unchecked=%d sent=%d wall_s=%.1f\n  last line: %s\n",
                    first.okResults, first.unchecked, c.requests, first.wallS,
                    first.lastLog.c_str());
        so.quotaPerDay = 0;  // the next day
        TChildSimulator s(so, log);
        const TRun second = Run(s.Endpoint(), master, 100, TRunScope::Failed);
        const TLogCounts c2 = CountLog(log);
        std::printf("daily: recheck ok=%d/%d sent=%d (%d needed)\n", second.okResults, requests,
                    c2.requests, requests - first.okResults);
        pass = first.okResults == 150 && second.okResults == requests &&
               c2.requests == requests - first.okResults;
    } else if (what == "cpu") {
        TChildSimulator s(so, log);
        const TRun r = Run(s.Endpoint(), master, 500, TRunScope::All);
        std::printf("cpu: ok=%d/%d cpu_s=%.3f (< 1) wall_s=%.1f\n", r.okResults, requests, r.cpuS,
                    r.wallS);
        pass = r.okResults == requests && r.cpuS < 1.0;
    } else {
        std::fprintf(stderr, "usage: bench_retries quota|faults|daily|cpu [URLS]\n");
        return 2;
    }
    std::remove(log.c_str());
    return pass ? 0 : 1;
}
