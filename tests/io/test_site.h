// A small web site on 127.0.0.1 for the import tests: every address answers what the test put
// there (any else 404), every request is logged.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace velmora::io::test {

struct TSitePage {
    std::string body{};
    std::string type = "text/html; charset=utf-8";
    int status = 200;
    std::string location{};  // for a redirect
    std::string encoding{};  // Content-Encoding
    std::string retryAfter{};
    std::chrono::milliseconds delay{};  // before the answer
    // Serves the body in chunks without a length; returns false to end the answer.
    std::function<bool(size_t offset, httplib::DataSink& sink)> stream{};
};

class TTestSite {
  public:
    TTestSite() {
        FServer.Get(
            ".*", [this](const httplib::Request& req, httplib::Response& res) { Serve(req, res); });
        FPort = FServer.bind_to_any_port("127.0.0.1");
        FThread = std::thread([this] { FServer.listen_after_bind(); });
        while (!FServer.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~TTestSite() {
        FStopping = true;
        FServer.stop();
        FThread.join();
    }
    std::string Origin() const { return "http://127.0.0.1:" + std::to_string(FPort); }
    std::string Url(const std::string& target) const { return Origin() + target; }

    // "{}" in body or location becomes Origin(); "{off}" becomes offOrigin.
    void Put(const std::string& target, TSitePage page, const std::string& offOrigin = {}) {
        Expand(page.body, offOrigin);
        Expand(page.location, offOrigin);
        const std::lock_guard lock(FLock);
        FPages[target] = std::move(page);
    }
    std::vector<std::string> Requests() {
        const std::lock_guard lock(FLock);
        return FRequests;
    }
    std::vector<std::chrono::steady_clock::time_point> RequestTimes() {
        const std::lock_guard lock(FLock);
        return FTimes;
    }
    bool Stopping() const { return FStopping; }
    // The client's connections (by its port) and the most requests served at once.
    size_t Connections() {
        const std::lock_guard lock(FLock);
        return FPorts.size();
    }
    int MostAtOnce() const { return FMostAtOnce; }
    // The Accept-Encoding of every request.
    std::vector<std::string> AcceptEncodings() {
        const std::lock_guard lock(FLock);
        return FEncodings;
    }

  private:
    void Expand(std::string& text, const std::string& offOrigin) const {
        for (size_t at; (at = text.find("{off}")) != std::string::npos;)
            text.replace(at, 5, offOrigin);
        for (size_t at; (at = text.find("{}")) != std::string::npos;) text.replace(at, 2, Origin());
    }

    void Serve(const httplib::Request& req, httplib::Response& res) {
        TSitePage page;
        {
            const std::lock_guard lock(FLock);
            FRequests.push_back(req.target);
            FTimes.push_back(std::chrono::steady_clock::now());
            FPorts.insert(req.remote_port);
            FEncodings.push_back(req.get_header_value("Accept-Encoding"));
            const auto it = FPages.find(req.target);
            if (it == FPages.end()) {
                res.status = 404;
                return;
            }
            page = it->second;
        }
        const int atOnce = ++FAtOnce;
        for (int most = FMostAtOnce;
             atOnce > most && !FMostAtOnce.compare_exchange_weak(most, atOnce);) {
        }
        std::this_thread::sleep_for(page.delay);
        --FAtOnce;
        res.status = page.status;
        if (!page.retryAfter.empty()) res.set_header("Retry-After", page.retryAfter);
        if (!page.location.empty()) res.set_header("Location", page.location);
        if (!page.encoding.empty()) res.set_header("Content-Encoding", page.encoding);
        if (page.stream) {
            res.set_chunked_content_provider(
                page.type, [stream = page.stream](size_t offset, httplib::DataSink& sink) {
                    if (!stream(offset, sink)) sink.done();
                    return true;
                });
            return;
        }
        res.set_content(page.body, page.type.c_str());
    }

    httplib::Server FServer;
    std::mutex FLock;
    std::map<std::string, TSitePage> FPages;
    std::vector<std::string> FRequests;
    std::vector<std::chrono::steady_clock::time_point> FTimes;
    std::set<int> FPorts;
    std::vector<std::string> FEncodings;
    std::atomic<int> FAtOnce{0};
    std::atomic<int> FMostAtOnce{0};
    std::atomic<bool> FStopping{false};
    int FPort = 0;
    std::thread FThread;
};

}  // namespace velmora::io::test
