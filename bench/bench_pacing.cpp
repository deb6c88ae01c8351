// Pacing of a real run against a slow service: 100 URLs (200 requests), delay 100 ms, simulator
// latency random 1..3 s, for 8 and 20 threads. From the simulator's own arrival log it reports the
// smallest gap between consecutive arrivals (target: at least the delay; the 20 ms pacing gap may
// be eaten by the random wake-up step) and the run's wall time over its lower bound
// max(requests x (delay + 20 ms), requests x mean latency / threads) (target: at most 1.15).
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/run_controller.h"
#include "engine/worker.h"
#include "http/curl.h"
#include "run_observer.h"
#include "sim/simulator.h"

using namespace velmora;
using std::chrono::milliseconds;

namespace {

constexpr int kDelay = 100;
constexpr int kLatencyMinMs = 1000, kLatencyMaxMs = 3000;

struct TPacingFigures {
    size_t requests = 0;
    int okUrls = 0;
    int64_t smallestGapMs = 0;
    double wallMs = 0, boundMs = 0;
};

TPacingFigures RunOnce(int urls, int threads) {
    sim::SimOptions so;
    so.latencyMinMs = kLatencyMinMs;
    so.latencyMaxMs = kLatencyMaxMs;
    so.seed = unsigned(threads);
    sim::Simulator simulator(so);
    if (!simulator.Start()) {
        std::fprintf(stderr, "simulator: %s\n", simulator.Error().c_str());
        std::exit(1);
    }
    TURLTaskInfoList master;
    for (int i = 0; i < urls; ++i) master.Add("https://site.example/page-" + std::to_string(i));

    TWorkerConfig config;
    config.Endpoint = simulator.Endpoint();
    TThreadWorkerFactory workers(config);
    TRunController controller(master, workers, [&] { return TRunSettings{"", threads, kDelay}; });
    bench::TBenchObserver seen;
    controller.SetObserver(&seen);

    const TTimePoint runStart = TClock::now();
    (void)controller.Start(TRunScope::All);
    controller.DeliverUntilEnded();
    const TTimePoint runEnd = TClock::now();

    std::vector<int64_t> arrivals;
    for (const auto& r : simulator.Requests()) arrivals.push_back(r.arrivalMs);
    simulator.Stop();
    std::sort(arrivals.begin(), arrivals.end());

    TPacingFigures f;
    f.requests = arrivals.size();
    f.smallestGapMs = INT64_MAX;
    for (size_t k = 1; k < arrivals.size(); ++k)
        f.smallestGapMs = std::min(f.smallestGapMs, arrivals[k] - arrivals[k - 1]);
    for (size_t i = 0; i < master.Count(); ++i) {
        const auto& r = master[i].TaskResults;
        f.okUrls += r && !r->Failed();
    }
    f.wallMs = std::chrono::duration<double, std::milli>(runEnd - runStart).count();
    const double meanLatency = (kLatencyMinMs + kLatencyMaxMs) / 2.0;
    const double n = double(f.requests);
    f.boundMs = std::max(n * (kDelay + TURLTaskInfoPool::kRequestGapMs), n * meanLatency / threads);
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const int urls = argc > 1 ? std::atoi(argv[1]) : 100;
    http::TCurlGlobal curl;
    bool pass = true;
    for (int threads : {8, 20}) {
        const TPacingFigures f = RunOnce(urls, threads);
        const double ratio = f.wallMs / f.boundMs;
        std::printf(
            "threads=%d requests=%zu ok_urls=%d/%d smallest_gap_ms=%lld (target >= %d) "
            "wall_ms=%.0f bound_ms=%.0f ratio=%.3f (target <= 1.15)\n",
            threads, f.requests, f.okUrls, urls, static_cast<long long>(f.smallestGapMs), kDelay,
            f.wallMs, f.boundMs, ratio);
        pass = pass && f.smallestGapMs >= kDelay && ratio <= 1.15 && f.okUrls == urls;
    }
    return pass ? 0 : 1;
}
