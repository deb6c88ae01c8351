// psi-sim: serves the PageSpeed simulator until SIGINT or SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "sim/simulator.h"

namespace {

constexpr char kUsage[] =
    "usage: psi-sim [--port N] [--latency MS | --latency MIN-MAX] [--quota N] [--log FILE]\n"
    "               [--fixtures DIR] [--hang-ms MS] [--slow-ms MS] [--trickle-ms MS] [--seed N]\n"
    "               [--quota-day N] [--fail-rate P] [--drop-rate P] [--hang-rate P]\n"
    "               [--retry-after S] [--keep-alive REQUESTS] [--keep-alive-s S]\n";

std::optional<int> ParseInt(std::string_view s, int lo, int hi) {
    if (s.empty() || s.size() > 9) return std::nullopt;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return std::nullopt;
    return v;
}

// A share from 0 to 1, e.g. "0.05".
std::optional<double> ParseShare(std::string_view s) {
    if (s.empty() || s.size() > 12) return std::nullopt;
    char* end = nullptr;
    const std::string text(s);
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !(v >= 0.0 && v <= 1.0)) return std::nullopt;
    return v;
}

int Fail(const std::string& message) {
    std::cerr << "psi-sim: " << message << "\n" << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    velmora::sim::SimOptions opt;
    constexpr int kMaxMs = 24 * 3600 * 1000;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (i + 1 >= argc) return Fail("unknown option or missing value: " + std::string(arg));
        const std::string_view value = argv[++i];
        auto number = [&](int lo, int hi) {
            auto v = ParseInt(value, lo, hi);
            if (!v) {
                std::cerr << "psi-sim: bad value for " << arg << ": '" << value << "' (expected "
                          << lo << ".." << hi << ")\n";
                std::exit(2);
            }
            return *v;
        };
        if (arg == "--port") {
            opt.port = number(0, 65535);
        } else if (arg == "--latency") {
            const size_t dash = value.find('-');
            auto lo = ParseInt(value.substr(0, dash), 0, kMaxMs);
            auto hi =
                dash == std::string_view::npos ? lo : ParseInt(value.substr(dash + 1), 0, kMaxMs);
            if (!lo || !hi || *hi < *lo) {
                return Fail("bad value for --latency: '" + std::string(value) +
                            "' (expected MS or MIN-MAX)");
            }
            opt.latencyMinMs = *lo;
            opt.latencyMaxMs = *hi;
        } else if (arg == "--quota") {
            opt.quotaPerMinute = number(0, 1000000);
        } else if (arg == "--log") {
            opt.requestLogPath = value;
        } else if (arg == "--fixtures") {
            opt.fixtureDir = value;
        } else if (arg == "--hang-ms") {
            opt.hangMs = number(0, kMaxMs);
        } else if (arg == "--slow-ms") {
            opt.slowMs = number(0, kMaxMs);
        } else if (arg == "--trickle-ms") {
            opt.trickleMs = number(0, kMaxMs);
        } else if (arg == "--quota-day") {
            opt.quotaPerDay = number(0, 100000000);
        } else if (arg == "--retry-after") {
            opt.retryAfterS = number(0, 86400);
        } else if (arg == "--fail-rate" || arg == "--drop-rate" || arg == "--hang-rate") {
            auto share = ParseShare(value);
            if (!share)
                return Fail("bad value for " + std::string(arg) + ": '" + std::string(value) +
                            "' (expected 0..1)");
            (arg == "--fail-rate"   ? opt.failRate
             : arg == "--drop-rate" ? opt.dropRate
                                    : opt.hangRate) = *share;
        } else if (arg == "--keep-alive") {
            opt.requestsPerConnection = number(1, 1000000);
        } else if (arg == "--keep-alive-s") {
            opt.keepAliveS = number(1, 3600);
        } else if (arg == "--seed") {
            opt.seed = static_cast<unsigned>(number(0, 999999999));
        } else {
            return Fail("unknown option " + std::string(arg));
        }
    }

    // Block the stop signals before any thread exists so that only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    velmora::sim::Simulator sim(opt);
    if (!sim.Start()) {
        std::cerr << "psi-sim: " << sim.Error() << "\n";
        return 1;
    }
    std::cout << "psi-sim listening on " << sim.Endpoint() << std::endl;
    int sig = 0;
    sigwait(&stopSignals, &sig);
    sim.Stop();
    return 0;
}
