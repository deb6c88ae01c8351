// The simulator's insides, shared by its start-up (simulator.cpp) and its request handlers
// (handlers.cpp). Private to the library.
#pragma once

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "sim/answers.h"
#include "sim/faults.h"
#include "sim/fixtures.h"
#include "sim/simulator.h"

namespace velmora::sim {

using Clock = std::chrono::steady_clock;

inline constexpr char kJsonType[] = "application/json; charset=UTF-8";

// The service's JSON error document.
std::string ErrorBody(int code, std::string_view message, std::string_view reason,
                      std::string_view status);

struct Query {
    std::string url;
    std::string strategy;  // lower case
    bool hasStrategy = false;
    bool otherCategories = false;  // a category besides performance is asked for
};

struct Simulator::Impl {
    SimOptions FOptions;
    Fixtures FFixtures;
    std::unique_ptr<httplib::Server> FServer;
    std::thread FThread;
    int FPort = 0;
    std::string FError;
    Clock::time_point FStarted;

    // Wakes handlers that sleep (latency, hang, slow, trickle) when Stop begins.
    std::mutex FStopMu;
    std::condition_variable FStopCv;
    bool FStopping = false;

    mutable std::mutex FLogMu;
    std::vector<RequestRecord> FRecords;
    std::ofstream FLogFile;

    std::mutex FQuotaMu;
    std::deque<Clock::time_point> FQuotaWindow;
    int64_t FDayCount = 0;
    std::string FDailyQuota;  // the per-minute answer with the daily limit's wording

    std::mutex FRngMu;
    std::mt19937 FRng;

    // False when Stop interrupted the wait.
    bool WaitFor(int ms) {
        std::unique_lock lock(FStopMu);
        return !FStopCv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return FStopping; });
    }

    // The outcome of the quotas: empty when the request may pass.
    std::string TakeQuota() {
        std::lock_guard lock(FQuotaMu);
        if (FOptions.quotaPerDay > 0 && FDayCount >= FOptions.quotaPerDay) return "quota-day";
        if (FOptions.quotaPerMinute <= 0) {
            ++FDayCount;
            return {};
        }
        const auto now = Clock::now();
        while (!FQuotaWindow.empty() && now - FQuotaWindow.front() >= std::chrono::minutes(1)) {
            FQuotaWindow.pop_front();
        }
        if (FQuotaWindow.size() >= static_cast<size_t>(FOptions.quotaPerMinute))
            return "quota-minute";
        FQuotaWindow.push_back(now);
        ++FDayCount;
        return {};
    }

    // A random fault by the configured shares: "fail", "drop", "hang" or empty.
    std::string DrawFault() {
        if (FOptions.failRate <= 0 && FOptions.dropRate <= 0 && FOptions.hangRate <= 0) return {};
        double p = 0;
        {
            std::lock_guard lock(FRngMu);
            p = std::uniform_real_distribution<double>(0.0, 1.0)(FRng);
        }
        if (p < FOptions.failRate) return "fail";
        if (p < FOptions.failRate + FOptions.dropRate) return "drop";
        if (p < FOptions.failRate + FOptions.dropRate + FOptions.hangRate) return "hang";
        return {};
    }

    int LatencyMs() {
        int lo = std::max(0, FOptions.latencyMinMs), hi = std::max(lo, FOptions.latencyMaxMs);
        if (hi == lo) return lo;
        std::lock_guard lock(FRngMu);
        return std::uniform_int_distribution<int>(lo, hi)(FRng);
    }

    void Record(RequestRecord r) {
        std::lock_guard lock(FLogMu);
        if (FLogFile.is_open()) {
            FLogFile << "{\"arrivalMs\":" << r.arrivalMs << ",\"strategy\":\""
                     << JsonEscape(r.strategy) << "\",\"url\":\"" << JsonEscape(r.url)
                     << "\",\"key\":\"" << JsonEscape(r.key) << "\",\"userAgent\":\""
                     << JsonEscape(r.userAgent) << "\",\"acceptEncoding\":\""
                     << JsonEscape(r.acceptEncoding) << "\",\"clientPort\":" << r.clientPort
                     << ",\"outcome\":\"" << r.outcome << "\"}\n"
                     << std::flush;
        }
        FRecords.push_back(std::move(r));
    }

    static void Reply(httplib::Response& res, int status, std::string body) {
        res.status = status;
        res.body = std::move(body);
        res.set_header("Content-Type", kJsonType);
    }

    // Gzips a body the client asked so for, as the service does; a content provider's (drop,
    // trickle) passes unchanged.
    static void CompressIfAsked(const httplib::Request& req, httplib::Response& res);

    static void Drop(const httplib::Request& req, httplib::Response& res) {
        if (ShutdownOwnConnection(req.local_port, req.remote_port)) return;
        // Second best: httplib closes the connection when a provider fails, after the headers.
        res.set_content_provider(1, kJsonType,
                                 [](size_t, size_t, httplib::DataSink&) { return false; });
    }

    // One request, in steps: log it, refuse a malformed query, pace it, answer it.
    void Handle(const httplib::Request& req, httplib::Response& res);
    Query RecordRequest(const httplib::Request& req, Clock::time_point arrival,
                        std::string outcome);
    static bool RejectBadQuery(const Query& q, httplib::Response& res);
    // The quotas and the random faults; empty when the request is to be answered normally.
    std::string Decide();
    // False when the request got its answer here (a quota or a random fault).
    bool Misbehave(const std::string& outcome, const httplib::Request& req, httplib::Response& res);
    bool Pace(const httplib::Request& req, httplib::Response& res);
    void Answer(const Query& q, const httplib::Request& req, httplib::Response& res);
    void Trickle(std::string text, httplib::Response& res);

    // Start, in steps; each false one leaves error set.
    bool LoadAnswers();
    bool CheckPort();
    bool OpenLog();
    void ResetCounters();
    std::unique_ptr<httplib::Server> MakeServer(int* listenFd);
    bool Bind(httplib::Server& candidate);
    bool Launch(std::unique_ptr<httplib::Server> bound);
};

}  // namespace velmora::sim
