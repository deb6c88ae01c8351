// Pacing of a real run: 200 URLs (400 requests), delay 100 ms, 8 threads, simulator latency
// 50..150 ms. From the simulator's own arrival log it checks that no request arrives before its
// reservation (run start + k x 120 ms) and compares the run's wall time with the ideal grid time.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli/console_window.h"
#include "cli/event_queue.h"
#include "engine/run_controller.h"
#include "engine/worker.h"
#include "http/curl.h"
#include "sim/simulator.h"

using namespace velmora;
using std::chrono::milliseconds;

int main(int argc, char** argv) {
    const int urls = argc > 1 ? std::atoi(argv[1]) : 200;
    const int delay = 100, threads = 8;
    http::TCurlGlobal curl;
    sim::SimOptions so;
    so.latencyMinMs = 50;
    so.latencyMaxMs = 150;
    sim::Simulator simulator(so);
    if (!simulator.Start()) {
        std::fprintf(stderr, "simulator: %s\n", simulator.Error().c_str());
        return 1;
    }
    TURLTaskInfoList master;
    for (int i = 0; i < urls; ++i) master.Add("https://site.example/page-" + std::to_string(i));

    static auto* queue = new cli::TEventQueue;
    TWorkerConfig config;
    config.Endpoint = simulator.Endpoint();
    config.Sink = queue;
    TThreadWorkerFactory workers(config);
    cli::TConsoleWindow window(master, true, false);
    CheckRunController controller(window, master, workers, [&] {
        return TRunSettings{"", threads, delay};
    });

    controller.btRunRequestsClick(TRunSender::btRunRequests);
    const TTimePoint runStart = controller.CurrentPool()->CreatedAt();
    while (controller.Running()) {
        if (auto ev = queue->Pop(milliseconds(50))) controller.WndProc(std::move(*ev));
    }
    const TTimePoint runEnd = TClock::now();
    controller.Shutdown([&] {
        bool any = false;
        while (auto ev = queue->Pop(milliseconds(0))) {
            controller.WndProc(std::move(*ev));
            any = true;
        }
        return any;
    });

    std::vector<int64_t> arrivals;  // ms since run start, in the simulator's clock
    const int64_t simOffset =
        std::chrono::duration_cast<milliseconds>(simulator.StartedAt() - runStart).count();
    for (const auto& r : simulator.Requests()) arrivals.push_back(r.arrivalMs + simOffset);
    simulator.Stop();
    std::sort(arrivals.begin(), arrivals.end());

    const int64_t step = delay + TURLTaskInfoPool::kRequestGapMs;
    int early = 0;
    int64_t worstLate = 0;
    for (size_t k = 0; k < arrivals.size(); ++k) {
        const int64_t reserved = int64_t(k) * step;
        if (arrivals[k] < reserved) ++early;
        worstLate = std::max(worstLate, arrivals[k] - reserved);
    }
    int ok = 0;
    for (size_t i = 0; i < master.Count(); ++i) {
        const auto& r = master[i].TaskResults;
        ok += r && !r->Failed();
    }
    const double wall = std::chrono::duration<double, std::milli>(runEnd - runStart).count();
    const double ideal = double(arrivals.size()) * double(step);
    std::printf("requests=%zu ok_urls=%d/%d early_arrivals=%d max_lag_behind_reservation_ms=%lld\n",
                arrivals.size(), ok, urls, early, static_cast<long long>(worstLate));
    std::printf("wall_ms=%.0f ideal_grid_ms=%.0f ratio=%.4f (target <= 1.02)\n", wall, ideal,
                wall / ideal);
    return early == 0 && wall <= 1.02 * ideal && ok == urls ? 0 : 1;
}
