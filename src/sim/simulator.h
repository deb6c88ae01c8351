// A local stand-in for the PageSpeed Insights v5 service: answers runPagespeed requests on
// 127.0.0.1 from recorded answers, and misbehaves on purpose for URLs carrying a marker
// (see tools/psi-sim/README.md). Used by tests, benchmarks and the program's demo mode.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmora::sim {

// The recorded answers in the source tree the library was built from. An installed program
// finds them in its data folder instead.
std::string SourceTreeAnswerDir();

struct SimOptions {
    int port = 0;  // 0 = any free port
    // Delay before every answer: fixed when min == max, else uniform in [min, max].
    int latencyMinMs = 0;
    int latencyMaxMs = 0;
    int quotaPerMinute = 0;  // 0 = unlimited
    int quotaPerDay = 0;     // 0 = unlimited; a "day" is the simulator's lifetime
    // Shares (0..1) of requests answered with a random HTTP 500, a dropped connection, or a
    // connection held for hangMs and then dropped; drawn after the quotas.
    double failRate = 0;
    double dropRate = 0;
    double hangRate = 0;
    int retryAfterS = -1;  // >= 0: a Retry-After header on quota and random 500 answers
    std::string fixtureDir = SourceTreeAnswerDir();
    std::string requestLogPath;  // JSON lines; empty = no file
    int hangMs = 200000;         // how long "/sim-hang" keeps the client waiting
    int slowMs = 3000;           // extra delay of "/sim-slow"
    int trickleMs = 3000;        // total duration of a "/sim-trickle" answer
    unsigned seed = 1;           // for the random latency
    // Requests one connection may carry, as the real service's keep-alive allows. 1 (the
    // default) lets Stop end at once instead of waiting out an idle connection.
    int requestsPerConnection = 1;
    int keepAliveS = 5;  // how long an idle kept connection stays open
};

struct RequestRecord {
    int64_t arrivalMs = 0;  // since Start, steady clock
    std::string strategy, url, key, userAgent;
    std::string locale;  // the first "locale" parameter; empty when none came
    // The Accept-Encoding header as sent; an answer is gzipped when it names gzip.
    std::string acceptEncoding;
    // The client's port: requests of one connection share it, while it lasts.
    int clientPort = 0;
    // What the simulator did: "answer", "quota-minute", "quota-day", "fail", "drop", "hang".
    std::string outcome = "answer";
};

class Simulator {
  public:
    explicit Simulator(SimOptions options = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Loads the fixtures, binds 127.0.0.1 and serves on a background thread. False with Error()
    // set when the fixtures cannot be loaded, the log cannot be opened or the port is taken.
    bool Start();
    // Wakes every waiting handler, closes open connections and joins. Safe to call repeatedly.
    void Stop();

    bool Running() const;
    int Port() const;
    std::string Endpoint() const;  // "http://127.0.0.1:PORT"
    // The steady-clock moment that RequestRecord::arrivalMs counts from.
    std::chrono::steady_clock::time_point StartedAt() const;
    std::string Error() const;
    std::vector<RequestRecord> Requests() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};

}  // namespace velmora::sim
